#include "ZEM_A_I_TransparentWindow.h"

#include "ZEM_A_E_DockSupport.h"
#include "ZEM_A_I_RoundedView.h"
#include "ZEM_A_I_TransparentView.h"

#include <QApplication>
#include <QCursor>
#include <QFontDatabase>
#include <QGraphicsDropShadowEffect>
#include <QMouseEvent>
#include <QScreen>
#include <QSettings>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QVBoxLayout>

#include <algorithm>

ZEM_A_I_TransparentWindow::ZEM_A_I_TransparentWindow(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                          | Qt::NoDropShadowWindowHint)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
    // The window is built once and reused for every text.
    setAttribute(Qt::WA_DeleteOnClose, false);

    m_roundedView = new ZEM_A_I_RoundedView(this);
    m_textView = new ZEM_A_I_TransparentView(m_roundedView);
    // The layouts must not hold the window larger than setWindowText() makes it.
    m_textView->setMinimumSize(1, 1);
    m_roundedView->setMinimumSize(1, 1);

    auto *shadow = new QGraphicsDropShadowEffect(m_textView);
    // Right and down by 6 pixels (Qt's y grows downwards).
    shadow->setOffset(6, 6);
    shadow->setBlurRadius(3);
    shadow->setColor(QColor(0, 0, 0, qRound(0.8 * 255)));
    m_textView->setGraphicsEffect(shadow);

    auto *inner = new QVBoxLayout(m_roundedView);
    inner->setContentsMargins(0, 0, 0, 0);
    inner->addWidget(m_textView);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSizeConstraint(QLayout::SetNoConstraint);
    outer->addWidget(m_roundedView);
}

ZEM_A_I_TransparentWindow::~ZEM_A_I_TransparentWindow() = default;

QString ZEM_A_I_TransparentWindow::textFontFamily()
{
    const QString preferred = QStringLiteral("Lucida Grande");
    if (QFontDatabase::families().contains(preferred))
        return preferred;
    return QApplication::font().family();
}

void ZEM_A_I_TransparentWindow::setWindowText()
{
    QList<uint> characters = m_textView->toPlainText().toUcs4();
    if (characters.size() > MaxCharacters)
        characters.resize(MaxCharacters);
    const QString text = QString::fromUcs4(reinterpret_cast<const char32_t *>(characters.constData()),
                                           characters.size());
    const double n = double(std::max<qsizetype>(characters.size(), 1));

    const ZEM_A_E_DockSupport::DockPreferences dock = ZEM_A_E_DockSupport::shared()->dockPreferences();
    const double margin = dock.autohide ? 10.0 : dock.tilesize + 10.0;
    const QScreen *screen = ZEM_A_E_DockSupport::screenForWindow(this);
    const double screenWidth = screen ? screen->geometry().width() : 0.0;
    const double raw = ((screenWidth - margin) / n) * 1.35;
    // A screen narrower than the margin would give no size at all: keep one pixel.
    m_fontSize = std::max(std::min(raw, MaxFontSize), 1.0);

    const double width = n * (m_fontSize / 1.5) + (raw > MaxFontSize ? 50.0 : 0.0);
    const double height = 1.25 * m_fontSize;

    QFont font(textFontFamily());
    font.setBold(true);
    font.setPixelSize(std::max(1, qRound(m_fontSize)));

    m_textView->document()->setDefaultFont(font);
    m_textView->setPlainText(text);
    QTextCursor cursor(m_textView->document());
    cursor.select(QTextCursor::Document);
    QTextCharFormat characterFormat;
    characterFormat.setFont(font);
    characterFormat.setForeground(QColor(Qt::white));
    cursor.setCharFormat(characterFormat);
    QTextBlockFormat blockFormat;
    blockFormat.setAlignment(Qt::AlignHCenter);
    cursor.mergeBlockFormat(blockFormat);

    const QPoint origin = pos();
    resize(qRound(width), qRound(height));
    move(origin);
}

void ZEM_A_I_TransparentWindow::moveWindowSupport(bool dragging)
{
    moveWindowSupport(dragging, QCursor::pos());
}

void ZEM_A_I_TransparentWindow::moveWindowSupport(bool dragging, const QPointF &globalMouse)
{
    const QScreen *screen = ZEM_A_E_DockSupport::screenForWindow(this);
    if (!screen)
        return;
    const QRectF s = screen->geometry();
    const QSizeF size = frameGeometry().size();
    const QPointF origin = dragging ? globalMouse - m_initialLocation : QPointF(frameGeometry().topLeft());

    const ZEM_A_E_DockSupport::DockPreferences dock = ZEM_A_E_DockSupport::shared()->dockPreferences();
    const double dockBand = dock.tilesize + 10;
    auto dockOn = [&](QStringView side) { return !dock.autohide && dock.orientation == side; };
    // A menu bar belongs to the top panel here, which the dock preferences already
    // report as a dock on top.
    const double menuBar = 0;

    double x = origin.x();
    double y = origin.y();
    // Top edge above the screen (less the menu bar): bring it down.
    if (y < s.top() + menuBar) {
        y = s.top() + menuBar + 10;
        if (dockOn(u"top"))
            y += dockBand;
    }
    // Bottom edge below the screen: bring it up.
    if (y + size.height() > s.top() + s.height()) {
        y = s.top() + s.height() - size.height() - 10;
        if (dockOn(u"bottom"))
            y -= dockBand;
    }
    if (x < s.left()) {
        x = s.left() + 10;
        if (dockOn(u"left"))
            x += dockBand;
    }
    if (x > s.left() + s.width() - size.width()) {
        x = s.left() + s.width() - size.width() - 10;
        if (dockOn(u"right"))
            x -= dockBand;
    }
    move(qRound(x), qRound(y));
}

bool ZEM_A_I_TransparentWindow::setFrameAutosaveName(const QString &name)
{
    setObjectName(name);
    if (name.isEmpty())
        return false;
    const QVariant saved = QSettings().value(frameSettingsKey(name));
    if (saved.typeId() != QMetaType::QPoint)
        return false;
    move(saved.toPoint());
    return true;
}

QString ZEM_A_I_TransparentWindow::frameSettingsKey(const QString &name)
{
    return QStringLiteral("WindowFrames/") + name;
}

void ZEM_A_I_TransparentWindow::saveFrame() const
{
    if (objectName().isEmpty())
        return;
    QSettings().setValue(frameSettingsKey(objectName()), pos());
}

void ZEM_A_I_TransparentWindow::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    if (event->modifiers() & Qt::ControlModifier) {
        m_initialLocation = event->globalPosition() - QPointF(frameGeometry().topLeft());
        m_dragging = true;
        return;
    }
    close();
}

void ZEM_A_I_TransparentWindow::mouseMoveEvent(QMouseEvent *event)
{
    event->accept();
    if (m_dragging && (event->buttons() & Qt::LeftButton) && (event->modifiers() & Qt::ControlModifier))
        moveWindowSupport(true, event->globalPosition());
}

void ZEM_A_I_TransparentWindow::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    if (m_dragging)
        saveFrame();
    m_dragging = false;
}

void ZEM_A_I_TransparentWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ActivationChange)
        return;
    if (isActiveWindow()) {
        m_wasActive = true;
    } else if (m_wasActive) {
        m_wasActive = false;
        if (isVisible())
            close();
    }
}

void ZEM_A_I_TransparentWindow::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_dragging = false;
    saveFrame();
}
