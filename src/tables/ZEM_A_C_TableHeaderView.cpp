#include "ZEM_A_C_TableHeaderView.h"

#include "ZEM_A_C_TableHeaderMetalCell.h"
#include "controls/ZEM_A_C_NSMenu.h"
#include "controls/ZEM_A_E_MenuSupport.h"
#include "foundation/ZEM_F_E_Language.h"
#include "foundation/ZEM_F_E_Notifications.h"
#include "platform/Invoke.h"
#include "tables/detail/Ask.h"

#include <QContextMenuEvent>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

using namespace Qt::StringLiterals;

ZEM_A_C_TableHeaderView::ZEM_A_C_TableHeaderView(Qt::Orientation orientation, QWidget *parent)
    : QHeaderView(orientation, parent)
    , m_menuTimer(new QTimer(this))
{
    // As the header a table makes for itself; clicks are what this header is about.
    setSectionsClickable(true);
    setHighlightSections(true);
    m_menuTimer->setObjectName(u"resetMenuTimer"_s);
    m_menuTimer->setSingleShot(true);
    m_menuTimer->setInterval(0);
    connect(m_menuTimer, &QTimer::timeout, this, &ZEM_A_C_TableHeaderView::resetMenu);
}

ZEM_A_C_TableHeaderView::~ZEM_A_C_TableHeaderView()
{
    ZEM_F_E_Notifications::shared()->removeObserver(this);
}

bool ZEM_A_C_TableHeaderView::tableAnswers(const char *name) const
{
    QObject *table = this->table();
    return tables::detail::answersYes(tables::detail::ask(table, name));
}

void ZEM_A_C_TableHeaderView::setSectionCell(int logicalIndex, ZEM_A_C_TableHeaderMetalCell *cell)
{
    if (ZEM_A_C_TableHeaderMetalCell *old = m_cells.take(logicalIndex); old && old != cell)
        delete old;
    if (cell) {
        cell->setParent(this);
        m_cells.insert(logicalIndex, cell);
    }
    viewport()->update();
}

ZEM_A_C_TableHeaderMetalCell *ZEM_A_C_TableHeaderView::sectionCell(int logicalIndex) const
{
    return m_cells.value(logicalIndex);
}

void ZEM_A_C_TableHeaderView::resetMenu()
{
    delete m_menu;
    QObject *table = this->table();
    if (!table || !tableAnswers("tableChangeHeaderSort"))
        return;
    const auto *menus = ZEM_A_E_MenuSupport::shared();
    const auto *language = ZEM_F_E_Language::shared();
    auto item = [&](const char *key, const char *action, int tag) {
        return menus->setUpContextMenuArrayWithTag({}, {}, language->stringForKeyLook(QString::fromLatin1(key)),
                                                   QString::fromLatin1(action), tag);
    };
    QVariantList descriptors;
    const bool hasStore = tables::detail::answersYes(tables::detail::ask(table, "managedObject"));
    if (hasStore)
        descriptors << item("NL:Set Row Order to Current Sort", "setToCurrentOrder:", 7);
    descriptors << menus->setUpMenuSeparator()
                << item("NL:Reset Table Columns To Original Order", "setTableColumnOrder:", 0)
                << item("NL:Reverse Table Columns Order", "setTableColumnOrder:", 3)
                << menus->setUpMenuSeparator()
                << item("NL:Sort Table Columns Order Ascending", "setTableColumnOrder:", 1)
                << item("NL:Sort Table Columns Order Descending", "setTableColumnOrder:", 2)
                << menus->setUpMenuSeparator()
                << item("NL:Reset All Table Columns To Original Size", "setTableColumnSize:", 4)
                << item("NL:Reset All Table Columns To Maximum Size", "setTableColumnSize:", 5)
                << item("NL:Reset All Table Columns To Minimum Size", "setTableColumnSize:", 6);
    QMenu *menu = menus->setContextMenu(descriptors, table);
    menu->setParent(this, menu->windowFlags());
    // The enabling is the table's.
    connect(menu, &QMenu::aboutToShow, this, [this, menu] {
        QObject *table = this->table();
        if (!platform::respondsTo(table, "validateMenuItem:"))
            return;
        for (QAction *action : menu->actions()) {
            if (!action->isSeparator())
                action->setEnabled(platform::perform(table, "validateMenuItem:", {QVariant::fromValue<QObject *>(action)}).toBool());
        }
    });
    m_menu = menu;
}

void ZEM_A_C_TableHeaderView::paintEvent(QPaintEvent *event)
{
    QHeaderView::paintEvent(event);
    if (!m_observing) {
        m_observing = ZEM_F_E_Notifications::shared()->addObserver(this, "resetMenu", u"ResetMenu"_s);
    }
    m_menuTimer->start();
}

void ZEM_A_C_TableHeaderView::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    ZEM_A_C_TableHeaderMetalCell *cell = m_cells.value(logicalIndex);
    if (!cell) {
        QHeaderView::paintSection(painter, rect, logicalIndex);
        return;
    }
    // In Qt the column's title lives in the model.
    if (model()) {
        const QVariant title = model()->headerData(logicalIndex, orientation(), Qt::DisplayRole);
        if (title.isValid())
            cell->setTitle(title.toString());
    }
    cell->drawWithFrame(painter, rect, this);
}

void ZEM_A_C_TableHeaderView::toggleColumnSelection(int column)
{
    QItemSelectionModel *selection = selectionModel();
    if (!selection || !model())
        return;
    const QModelIndex parent = rootIndex();
    if (selection->isColumnSelected(column, parent)) {
        selection->select(model()->index(0, column, parent),
                          QItemSelectionModel::Deselect | QItemSelectionModel::Columns);
        return;
    }
    QItemSelection columns;
    for (const QModelIndex &index : selection->selectedColumns())
        columns.select(index, index);
    const QModelIndex index = model()->index(0, column, parent);
    columns.select(index, index);
    selection->select(columns, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Columns);
}

void ZEM_A_C_TableHeaderView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QHeaderView::mousePressEvent(event);
        return;
    }
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    event->accept();
    if (modifiers & Qt::ControlModifier) {
        tables::detail::ask(table(), "resetSortOrderForTable");
        return;
    }
    if ((modifiers & Qt::AltModifier) && (modifiers & Qt::ShiftModifier)) {
        const int column = logicalIndexAt(event->position().toPoint());
        if (column >= 0)
            toggleColumnSelection(column);
        return;
    }
    if (!tableAnswers("tableCanSort"))
        return;
    QHeaderView::mousePressEvent(event);
    if (platform::respondsTo(table(), "scrollColumnAfterDelay"))
        platform::performAfterDelay(table(), "scrollColumnAfterDelay", {}, 0);
}

void ZEM_A_C_TableHeaderView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || tableAnswers("tableCanSort")) {
        QHeaderView::mouseDoubleClickEvent(event);
        return;
    }
    event->accept();
}

void ZEM_A_C_TableHeaderView::contextMenuEvent(QContextMenuEvent *event)
{
    if (!m_menu) {
        QHeaderView::contextMenuEvent(event);
        return;
    }
    m_menu->popup(event->globalPos());
    event->accept();
}
