#include "ZEM_A_C_TableScrollView.h"

#include "controls/ZEM_A_C_NSMenu.h"
#include "controls/ZEM_A_E_MenuSupport.h"
#include "foundation/ZEM_F_E_Language.h"
#include "foundation/ZEM_F_E_Notifications.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QStyle>
#include <QTableView>
#include <QTimer>

using namespace Qt::StringLiterals;

ZEM_A_C_TableScroller::ZEM_A_C_TableScroller(Qt::Orientation orientation, QWidget *parent)
    : QScrollBar(orientation, parent)
{
}

void ZEM_A_C_TableScroller::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (m_ignoresMultipleClicks) {
        event->accept();
        return;
    }
    QScrollBar::mouseDoubleClickEvent(event);
}

void ZEM_A_C_TableScroller::contextMenuEvent(QContextMenuEvent *event)
{
    if (!m_menu) {
        QScrollBar::contextMenuEvent(event);
        return;
    }
    m_menu->popup(event->globalPos());
    event->accept();
}

ZEM_A_C_TableScrollView::ZEM_A_C_TableScrollView(QWidget *parent)
    : ZEM_A_C_NSScrollView(parent)
    , m_horizontalScroller(new ZEM_A_C_TableScroller(Qt::Horizontal, this))
    , m_verticalScroller(new ZEM_A_C_TableScroller(Qt::Vertical, this))
    , m_menuTimer(new QTimer(this))
{
    // The area's own bars stay hidden but keep their ranges; the scrollers show them.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    // Tab goes to the table inside, never to its wrapper; only a click on the view itself
    // gives it the focus (mousePressEvent).
    setFocusPolicy(Qt::NoFocus);
    m_menuTimer->setObjectName(u"resetMenuTimer"_s);
    m_menuTimer->setSingleShot(true);
    m_menuTimer->setInterval(1000);
    connect(m_menuTimer, &QTimer::timeout, this, &ZEM_A_C_TableScrollView::resetMenu);
    setDocumentView(nullptr);
}

ZEM_A_C_TableScrollView::~ZEM_A_C_TableScrollView()
{
    ZEM_F_E_Notifications::shared()->removeObserver(this);
}

void ZEM_A_C_TableScrollView::setDocumentView(QWidget *document)
{
    for (const auto &connection : std::as_const(m_mirrorConnections))
        disconnect(connection);
    m_mirrorConnections.clear();
    if (document)
        setWidget(document);
    auto *table = qobject_cast<QAbstractScrollArea *>(document);
    if (table) {
        setWidgetResizable(true);
        table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
    QAbstractScrollArea *source = table ? table : static_cast<QAbstractScrollArea *>(this);
    mirror(source->horizontalScrollBar(), m_horizontalScroller);
    mirror(source->verticalScrollBar(), m_verticalScroller);
    tile();
}

void ZEM_A_C_TableScrollView::mirror(QScrollBar *source, ZEM_A_C_TableScroller *scroller)
{
    auto copy = [source, scroller] {
        scroller->setRange(source->minimum(), source->maximum());
        scroller->setPageStep(source->pageStep());
        scroller->setSingleStep(source->singleStep());
        scroller->setValue(source->value());
    };
    copy();
    m_mirrorConnections << connect(source, &QScrollBar::rangeChanged, scroller, copy)
                        << connect(source, &QScrollBar::valueChanged, scroller, &QScrollBar::setValue)
                        << connect(scroller, &QScrollBar::valueChanged, source, &QScrollBar::setValue);
}

void ZEM_A_C_TableScrollView::setHasHorizontalScroller(bool value)
{
    m_hasHorizontalScroller = value;
    tile();
}

void ZEM_A_C_TableScrollView::setHasVerticalScroller(bool value)
{
    m_hasVerticalScroller = value;
    tile();
}

int ZEM_A_C_TableScrollView::scrollerWidth() const
{
    return m_verticalScroller->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_verticalScroller);
}

void ZEM_A_C_TableScrollView::setHorizontalRulerView(QWidget *ruler)
{
    if (m_horizontalRuler && m_horizontalRuler != ruler)
        delete m_horizontalRuler;
    m_horizontalRuler = ruler;
    if (ruler)
        ruler->setParent(this);
    tile();
}

void ZEM_A_C_TableScrollView::setRulersVisible(bool visible)
{
    m_rulersVisible = visible;
    tile();
}

int ZEM_A_C_TableScrollView::horizontalRulerHeight() const
{
    return m_rulersVisible && m_horizontalRuler ? m_horizontalRuler->height() : 0;
}

int ZEM_A_C_TableScrollView::documentHeaderHeight() const
{
    // The height the table gives its header (QTableView::updateGeometries).
    auto *table = qobject_cast<QTableView *>(widget());
    if (!table || table->horizontalHeader()->isHidden())
        return 0;
    const QHeaderView *header = table->horizontalHeader();
    return qBound(header->minimumHeight(), header->sizeHint().height(), header->maximumHeight());
}

void ZEM_A_C_TableScrollView::setHorizontalScrollerAccessory(QWidget *view, bool onRightSide)
{
    m_horizontalAccessory = view;
    m_onRightSide = onRightSide;
    if (view) {
        view->setParent(this);
        view->show();
    }
    tile();
}

void ZEM_A_C_TableScrollView::setVerticalScrollerAccessory(QWidget *view, bool atTop)
{
    m_verticalAccessory = view;
    m_atTop = atTop;
    if (view) {
        view->setParent(this);
        view->show();
    }
    tile();
}

void ZEM_A_C_TableScrollView::tile()
{
    const int width = this->width();
    const int height = this->height();
    const int scroller = scrollerWidth();
    const int rulerHeight = horizontalRulerHeight();
    const int headerHeight = documentHeaderHeight();
    const bool hasH = m_hasHorizontalScroller;
    const bool hasV = m_hasVerticalScroller;

    // The base tiling: ruler on top, vertical scroller right of the content below the
    // ruler and the table's header, horizontal scroller along the bottom.
    if (m_horizontalRuler) {
        m_horizontalRuler->setVisible(rulerHeight > 0);
        m_horizontalRuler->setGeometry(0, 0, width, rulerHeight);
    }
    setViewportMargins(0, rulerHeight, hasV ? scroller : 0, hasH ? scroller : 0);
    const int top = rulerHeight + headerHeight;
    QRect vertical(width - scroller, top, scroller, height - top - (hasH ? scroller : 0));
    QRect horizontal(0, height - scroller, width - (hasV ? scroller : 0), scroller);

    if (QWidget *accessory = m_verticalAccessory) {
        const int accessoryHeight = accessory->height();
        vertical.setHeight(vertical.height() - accessoryHeight);
        int y;
        if (m_atTop) {
            y = rulerHeight + headerHeight;
            vertical.translate(0, accessoryHeight);
        } else {
            y = height - accessoryHeight - (m_horizontalAccessory ? scroller : 0) - 3;
        }
        accessory->setGeometry(width - scroller, y, scroller, accessoryHeight);
        accessory->raise();
        accessory->update();
    }
    if (QWidget *accessory = m_horizontalAccessory) {
        const int accessoryHeight = accessory->height() != scroller ? 11 : accessory->height();
        const int accessoryWidth = accessory->width();
        const int oldX = horizontal.x();
        horizontal.setWidth(horizontal.width() - accessoryWidth);
        int x;
        if (m_onRightSide) {
            x = horizontal.x() + horizontal.width();
        } else {
            x = oldX;
            horizontal.moveLeft(oldX + accessoryWidth);
        }
        accessory->setGeometry(x, height - (accessoryHeight + 1), accessoryWidth, accessoryHeight);
        accessory->raise();
        accessory->update();
    }
    m_verticalScroller->setVisible(hasV);
    m_verticalScroller->setGeometry(vertical);
    m_horizontalScroller->setVisible(hasH);
    m_horizontalScroller->setGeometry(horizontal);
}

void ZEM_A_C_TableScrollView::resizeEvent(QResizeEvent *event)
{
    ZEM_A_C_NSScrollView::resizeEvent(event);
    tile();
}

bool ZEM_A_C_TableScrollView::event(QEvent *event)
{
    // A scroll area drops presses on itself (outside the viewport) unhandled; this view
    // takes them, as it takes those the document leaves to the viewport.
    if (event->type() == QEvent::MouseButtonPress) {
        mousePressEvent(static_cast<QMouseEvent *>(event));
        return true;
    }
    return ZEM_A_C_NSScrollView::event(event);
}

void ZEM_A_C_TableScrollView::mousePressEvent(QMouseEvent *event)
{
    ZEM_A_C_NSScrollView::mousePressEvent(event);
    setFocus(Qt::MouseFocusReason);
    event->accept();
}

void ZEM_A_C_TableScrollView::speedHorizontalOn(QObject *)
{
    m_horizontalScroller->setIgnoresMultipleClicks(true);
}

void ZEM_A_C_TableScrollView::speedHorizontalOff(QObject *)
{
    m_horizontalScroller->setIgnoresMultipleClicks(false);
}

void ZEM_A_C_TableScrollView::speedVerticalOn(QObject *)
{
    m_verticalScroller->setIgnoresMultipleClicks(true);
}

void ZEM_A_C_TableScrollView::speedVerticalOff(QObject *)
{
    m_verticalScroller->setIgnoresMultipleClicks(false);
}

void ZEM_A_C_TableScrollView::awakeFromNib()
{
    ZEM_A_C_NSScrollView::awakeFromNib();
    if (m_horizontalAccessory)
        setHorizontalScrollerAccessory(m_horizontalAccessory, false);
    if (m_verticalAccessory)
        setVerticalScrollerAccessory(m_verticalAccessory, true);
    auto *centre = ZEM_F_E_Notifications::shared();
    centre->removeObserver(this, u"ResetMenu"_s, {});
    centre->addObserver(this, "resetMenu", u"ResetMenu"_s);
    m_menuTimer->start();
}

void ZEM_A_C_TableScrollView::setScrollerMenu(ZEM_A_C_TableScroller *scroller, const QString &onAction,
                                              const QString &offAction)
{
    const auto *menus = ZEM_A_E_MenuSupport::shared();
    const auto *language = ZEM_F_E_Language::shared();
    const QVariantList descriptors{
        menus->setUpContextMenuArray({}, {}, language->stringForKeyLook(u"NL:Speed Scroll On"_s), onAction),
        menus->setUpContextMenuArray({}, {}, language->stringForKeyLook(u"NL:Speed Scroll Off"_s), offAction)};
    QMenu *menu = menus->setContextMenu(descriptors, this);
    delete scroller->menu();
    menu->setParent(scroller, menu->windowFlags());
    connect(menu, &QMenu::aboutToShow, this, [this, menu] {
        for (QAction *action : menu->actions())
            action->setEnabled(validateMenuItem(action));
    });
    scroller->setMenu(menu);
}

void ZEM_A_C_TableScrollView::resetMenu()
{
    setScrollerMenu(m_horizontalScroller, u"speedHorizontalOn"_s, u"speedHorizontalOff"_s);
    setScrollerMenu(m_verticalScroller, u"speedVerticalOn"_s, u"speedVerticalOff"_s);
}

bool ZEM_A_C_TableScrollView::validateMenuItem(QObject *item) const
{
    if (!item)
        return false;
    QString selector = item->property("selector").toString();
    if (selector.endsWith(u':'))
        selector.chop(1);
    const bool horizontal = m_horizontalScroller->ignoresMultipleClicks();
    const bool vertical = m_verticalScroller->ignoresMultipleClicks();
    if (selector == u"speedHorizontalOn")
        return !horizontal;
    if (selector == u"speedHorizontalOff")
        return horizontal;
    if (selector == u"speedVerticalOn")
        return !vertical;
    if (selector == u"speedVerticalOff")
        return vertical;
    return false;
}
