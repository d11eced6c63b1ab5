#include "ZEM_A_C_TableView.h"

#include "controls/ZEM_A_C_NSMenu.h"
#include "controls/ZEM_A_E_MenuSupport.h"
#include "foundation/ZEM_F_C_StoreGroup.h"
#include "foundation/ZEM_F_E_Notifications.h"
#include "foundation/ZEM_F_HostDelegate.h"
#include "platform/Invoke.h"
#include "platform/Pasteboard.h"
#include "records/ZEM_A_C_ManagedObjectContoller.h"
#include "tables/ZEM_A_C_ArrayController.h"
#include "tables/ZEM_A_C_DraggingInfo.h"
#include "tables/ZEM_A_C_TableColumn.h"
#include "tables/ZEM_A_C_TableHeaderMetalCell.h"
#include "tables/ZEM_A_C_TableHeaderView.h"
#include "tables/detail/RecordValues.h"
#include "tables/detail/TableViewDelegates.h"

#include <QAbstractScrollArea>
#include <QContextMenuEvent>
#include <QDrag>
#include <QDropEvent>
#include <QMimeData>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QSettings>
#include <QToolTip>
#include <QUndoStack>

namespace {

const QString kRemoveObserverTable = QStringLiteral("RemoveObserverTable");
const QString kReloadTableData = QStringLiteral("ReloadTableData");
const QString kUpdateTableRowColors = QStringLiteral("UpdateTableRowColors");
const QString kViewStartedChanging = QStringLiteral("ViewStartedChanging");
const QString kViewFinishedChanging = QStringLiteral("ViewFiinshedChanging");
const QString kSplitViewDidResize = QStringLiteral("NSSplitViewDidResizeSubviewsNotification");
const QString kMenuBarChild = QStringLiteral("ZEM_C_C_C_MenuBarChild");

ZEM_F_E_Notifications *center()
{
    return ZEM_F_E_Notifications::shared();
}

bool isSetting(const char *key)
{
    return ZEM_F_Host::defaults()->getStringFromClassIsTrue(QString::fromLatin1(key)) != 0;
}

} // namespace

ZEM_A_C_TableView::ZEM_A_C_TableView(QWidget *parent)
    : QTableView(parent)
{
    setSelectionBehavior(SelectRows);
    setSelectionMode(ExtendedSelection);
    setTabKeyNavigation(false);
    // The grid is drawn by the delegate, horizontal and vertical lines apart.
    setShowGrid(false);
    setItemDelegate(new tables::detail::GridDelegate(this));
    verticalHeader()->hide();

    wireHeader();

    m_scrollTimer = new QTimer(this);
    m_scrollTimer->setObjectName(QStringLiteral("scrollAfterDelay"));
    m_scrollTimer->setSingleShot(true);
    m_scrollTimer->setInterval(250);
    connect(m_scrollTimer, &QTimer::timeout, this, &ZEM_A_C_TableView::scrollAfterDelay);
}

ZEM_A_C_TableView::~ZEM_A_C_TableView()
{
    center()->removeObserver(this);
    observeColumnChanges(false);
    delete m_contextMenu;
}

void ZEM_A_C_TableView::setHorizontalHeader(QHeaderView *header)
{
    horizontalHeader()->viewport()->removeEventFilter(this);
    QTableView::setHorizontalHeader(header);
    wireHeader();
}

void ZEM_A_C_TableView::wireHeader()
{
    QHeaderView *header = horizontalHeader();
    header->setSectionsMovable(true);
    header->setSectionsClickable(true);
    // Header clicks sort; they never select the column's cells.
    disconnect(header, SIGNAL(sectionPressed(int)), this, nullptr);
    disconnect(header, SIGNAL(sectionEntered(int)), this, nullptr);
    connect(header, &QHeaderView::sectionClicked, this, &ZEM_A_C_TableView::headerClicked, Qt::UniqueConnection);
    header->viewport()->installEventFilter(this);
}

void ZEM_A_C_TableView::setupTableHeaderMetalCell()
{
    m_tableCanSort = false;
    m_tableChangeHeaderSort = false;
    auto *header = qobject_cast<ZEM_A_C_TableHeaderView *>(horizontalHeader());
    if (!header)
        return;
    for (ZEM_A_C_TableColumn *column : std::as_const(m_columns))
        header->setSectionCell(column->section(), new ZEM_A_C_TableHeaderMetalCell(column->title()));
}

void ZEM_A_C_TableView::setArrayController(ZEM_A_C_ArrayController *value)
{
    if (m_arrayController)
        disconnect(m_arrayController, nullptr, this, nullptr);
    m_arrayController = value;
    setModel(value);
    syncColumns();
    if (!value)
        return;
    if (!value->table())
        value->setTable(this);
    connect(value, &ZEM_A_C_ArrayController::selectionDidChange, this, &ZEM_A_C_TableView::selectionFromController);
    connect(value, &QAbstractItemModel::modelReset, this, [this] {
        syncColumns();
        selectionFromController();
    });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &ZEM_A_C_TableView::selectionToController);
    selectionFromController();
}

void ZEM_A_C_TableView::syncColumns()
{
    const int count = model() ? model()->columnCount() : 0;
    while (m_columns.size() > count)
        delete m_columns.takeLast();
    while (m_columns.size() < count)
        m_columns.append(new ZEM_A_C_TableColumn(this, int(m_columns.size()), this));
}

void ZEM_A_C_TableView::setTableColumn(ZEM_A_C_TableColumn *column)
{
    const int section = column->section();
    if (section < 0 || section >= m_columns.size())
        return;
    column->setParent(this);
    column->setTableView(this);
    delete m_columns[section];
    m_columns[section] = column;
}

void ZEM_A_C_TableView::selectionFromController()
{
    if (!m_arrayController || m_syncingSelection || !selectionModel())
        return;
    const QList<int> rows = m_arrayController->selectionIndexes();
    // Already shown (a column selection, which selects no whole row, stays).
    if (rows == selectedRowIndexes())
        return;
    m_syncingSelection = true;
    QItemSelection selection;
    const int lastColumn = model()->columnCount() - 1;
    for (int row : rows)
        selection.select(model()->index(row, 0), model()->index(row, qMax(0, lastColumn)));
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (!rows.isEmpty())
        selectionModel()->setCurrentIndex(model()->index(rows.last(), qMax(0, currentIndex().column())),
                                          QItemSelectionModel::NoUpdate);
    m_syncingSelection = false;
}

void ZEM_A_C_TableView::selectionToController()
{
    if (!m_arrayController || m_syncingSelection)
        return;
    m_syncingSelection = true;
    m_arrayController->setSelectionIndexes(selectedRowIndexes());
    m_syncingSelection = false;
}

QList<int> ZEM_A_C_TableView::selectedRowIndexes() const
{
    // From the ranges, not QItemSelectionModel::selectedRows(), which is quadratic in the
    // number of separately selected rows.
    QList<int> rows;
    if (!model() || !selectionModel())
        return rows;
    const int lastColumn = model()->columnCount() - 1;
    for (const QItemSelectionRange &range : selectionModel()->selection())
        if (range.left() == 0 && range.right() == lastColumn)
            for (int row = range.top(); row <= range.bottom(); ++row)
                rows.append(row);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void ZEM_A_C_TableView::setHasTrueValue(bool value)
{
    m_canDrawRows = m_tableCanSort = m_tableChangeHeaderSort = m_tableCanDelete = m_hasMenu = m_exportCSV = value;
}

void ZEM_A_C_TableView::setHasFalseValue(bool value)
{
    m_tableCanReorder = m_tableCanDragOut = m_tableCanDragIn = m_isBoundsChanging = m_canDuplicateRows = m_acceptUrls =
        m_acceptFileTypes = m_tableSavesOnChanges = value;
    setUseTab(value);
}

void ZEM_A_C_TableView::setUseTab(bool value)
{
    m_useTab = value;
    setTabKeyNavigation(value);
}

void ZEM_A_C_TableView::setCanDrawRowsValue(const QVariant &number)
{
    m_canDrawRows = number.toBool();
    if (m_canDrawRows)
        center()->postNotificationNameObject(kUpdateTableRowColors, ZEM_F_Notification::wrap(this));
}

void ZEM_A_C_TableView::awakeFromNib()
{
    setHasTrueValue(true);
    setHasFalseValue(false);
    center()->removeObserver(this);
    center()->addObserver(this, "removeObserverTable", kRemoveObserverTable);
    center()->addObserver(this, "reloadTableData", kReloadTableData);
    center()->addObserver(this, "updateTableRowColors", kUpdateTableRowColors);
    center()->addObserver(this, "viewStartedChanging", kViewStartedChanging);
    center()->addObserver(this, "viewFinishedChanging", kViewFinishedChanging);
    center()->addObserver(this, "splitViewDidResizeSubviews", kSplitViewDidResize);
    updateTableRowColors();
    if (m_arrayController && model() != m_arrayController)
        setArrayController(m_arrayController);
    for (ZEM_A_C_TableColumn *column : std::as_const(m_columns))
        column->awakeFromNib();
    platform::performAfterDelay(this, "activateIdentifierToolTips", {}, 1.0);
}

// --- the store behind ---

ZEM_A_C_ManagedObjectContoller *ZEM_A_C_TableView::managedObject() const
{
    return m_arrayController ? m_arrayController->managedObject() : nullptr;
}

platform::StoreContext *ZEM_A_C_TableView::managedObjectContext() const
{
    return m_arrayController ? m_arrayController->managedObjectContext() : nullptr;
}

QUndoStack *ZEM_A_C_TableView::undoManager() const
{
    return m_arrayController ? m_arrayController->undoManager() : nullptr;
}

void ZEM_A_C_TableView::undo(QObject *)
{
    if (QUndoStack *stack = undoManager())
        stack->undo();
}

void ZEM_A_C_TableView::redo(QObject *)
{
    if (QUndoStack *stack = undoManager())
        stack->redo();
}

QWidget *ZEM_A_C_TableView::getWindow() const
{
    QWidget *w = window();
    if (w && w->windowType() == Qt::Drawer && w->parentWidget())
        return w->parentWidget()->window();
    return w;
}

void ZEM_A_C_TableView::scrollAfterDelay()
{
    const QList<int> rows = selectedRowIndexes();
    if (!rows.isEmpty() && model())
        scrollTo(model()->index(rows.last(), qMax(0, currentIndex().column())));
}

void ZEM_A_C_TableView::scrollColumnAfterDelay()
{
    const QList<int> columns = selectedColumnIndexes();
    if (!columns.isEmpty() && model() && model()->rowCount() > 0)
        scrollTo(model()->index(qMax(0, currentIndex().row()), horizontalHeader()->logicalIndex(columns.last())));
}

void ZEM_A_C_TableView::selectOnlyRowIndexes(const QList<int> &rows)
{
    if (m_arrayController) {
        m_arrayController->setSelectionIndexes(rows);
        return;
    }
    if (!model() || !selectionModel())
        return;
    QItemSelection selection;
    for (int row : rows)
        selection.select(model()->index(row, 0), model()->index(row, qMax(0, model()->columnCount() - 1)));
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void ZEM_A_C_TableView::selectColumnIndexes(const QList<int> &columns, bool extend)
{
    if (!model() || !selectionModel())
        return;
    QItemSelection selection;
    const int lastRow = qMax(0, model()->rowCount() - 1);
    for (int visual : columns) {
        const int logical = horizontalHeader()->logicalIndex(visual);
        if (logical >= 0)
            selection.select(model()->index(0, logical), model()->index(lastRow, logical));
    }
    selectionModel()->select(selection, (extend ? QItemSelectionModel::Select : QItemSelectionModel::ClearAndSelect)
                                             | QItemSelectionModel::Columns);
}

QList<int> ZEM_A_C_TableView::selectedColumnIndexes() const
{
    QList<int> visual;
    if (!model() || !selectionModel() || model()->rowCount() == 0)
        return visual;
    // Every row selected selects every column too: that is a row selection.
    if (selectedRowIndexes().size() == model()->rowCount())
        return visual;
    const int lastRow = model()->rowCount() - 1;
    for (const QItemSelectionRange &range : selectionModel()->selection())
        if (range.top() == 0 && range.bottom() == lastRow)
            for (int column = range.left(); column <= range.right(); ++column)
                visual.append(horizontalHeader()->visualIndex(column));
    std::sort(visual.begin(), visual.end());
    visual.erase(std::unique(visual.begin(), visual.end()), visual.end());
    return visual;
}

void ZEM_A_C_TableView::setAutosaveName(const QString &name)
{
    m_autosaveName = name;
    if (name.isEmpty())
        return;
    const QString key = QStringLiteral("NSTableView Columns %1").arg(name);
    QSettings settings;
    if (settings.contains(key))
        horizontalHeader()->restoreState(settings.value(key).toByteArray());
    auto save = [this, key] { QSettings().setValue(key, horizontalHeader()->saveState()); };
    connect(horizontalHeader(), &QHeaderView::sectionMoved, this, save);
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, save);
}

void ZEM_A_C_TableView::initCheckBoxCellsFixed(const QString &key, const QString &imageName)
{
    if (ZEM_A_C_TableColumn *column = findColumn(key))
        setItemDelegateForColumn(column->section(), new tables::detail::CheckBoxDelegate(
                                                        this, ZEM_F_C_StoreGroup::shared()->imageForKey(imageName)));
}

void ZEM_A_C_TableView::resetMenuTableView(const QVariantList &descriptors)
{
    delete m_contextMenu;
    if (descriptors.isEmpty())   // no items: no menu at all
        return;
    m_contextMenu = ZEM_A_E_MenuSupport::shared()->setContextMenu(descriptors, this);
    m_contextMenu->setParent(this, m_contextMenu->windowFlags());
}

void ZEM_A_C_TableView::contextMenuEvent(QContextMenuEvent *event)
{
    if (m_hasMenu && m_contextMenu) {
        for (QAction *action : m_contextMenu->actions())
            action->setEnabled(validateMenuItem(action));
        m_contextMenu->popup(event->globalPos());
        return;
    }
    QTableView::contextMenuEvent(event);
}

// --- keys and mouse ---

void ZEM_A_C_TableView::performDoubleAction(bool later)
{
    if (m_doubleAction.isEmpty() || !m_controller)
        return;
    const QByteArray selector = m_doubleAction.toLatin1();
    const QVariantList args{QVariant::fromValue<QObject *>(this)};
    if (later)
        platform::performAfterDelay(m_controller, selector, args, 0);
    else if (platform::respondsTo(m_controller, selector))
        platform::perform(m_controller, selector, args);
}

void ZEM_A_C_TableView::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers();
    // "Plain": no modifier, or only the keypad's.
    const bool plain = mods == Qt::NoModifier || mods == Qt::KeypadModifier;
    const bool command = mods.testFlag(Qt::ControlModifier);
    const bool arrow = key == Qt::Key_Up || key == Qt::Key_Down;
    const int rows = model() ? model()->rowCount() : 0;
    const QList<int> selected = selectedRowIndexes();
    const int sel = selected.isEmpty() ? -1 : selected.last();
    const int n = int(selected.size());

    if ((key == Qt::Key_Delete || key == Qt::Key_Backspace) && m_tableCanDelete && sel != -1 && plain && rows >= 1) {
        if (m_arrayController)
            m_arrayController->remove(this);
    } else if (key == Qt::Key_Space && plain && rows >= 1 && sel != -1 && n == 1) {
        performDoubleAction(false);
    } else if (arrow && command && rows > 0 && sel != -1 && n == 1) {
        performDoubleAction(true);
    } else if (arrow && plain && rows > 0 && m_arrayController && n == 1 && sel != -1) {
        if (rows >= 2) {
            const int last = m_arrayController->arrangedCount() - 1;
            if (key == Qt::Key_Up)
                m_arrayController->setSelectionIndexes({sel == 0 ? last : sel - 1});
            else
                m_arrayController->setSelectionIndexes({sel >= last ? 0 : sel + 1});
        }
    } else {
        QTableView::keyPressEvent(event);
    }
    m_scrollTimer->start();
}

void ZEM_A_C_TableView::mousePressEvent(QMouseEvent *event)
{
    const Qt::KeyboardModifiers mods = event->modifiers();
    if (m_exportCSV && event->button() == Qt::LeftButton && mods.testFlag(Qt::AltModifier)
        && mods.testFlag(Qt::ControlModifier) && !mods.testFlag(Qt::ShiftModifier) && startExportDrag(event))
        return;
    QTableView::mousePressEvent(event);
}

void ZEM_A_C_TableView::paintEvent(QPaintEvent *event)
{
    // Rows are not drawn while drawing is off or the enclosing view scrolls or resizes.
    if (!m_canDrawRows || m_isBoundsChanging)
        return;
    QTableView::paintEvent(event);
}

// --- editing and the key-view chain ---

bool ZEM_A_C_TableView::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
    if (event) {
        const bool editing = QTableView::edit(index, trigger, event);
        if (editing && state() == EditingState)
            m_isEditingText = true;
        return editing;
    }
    // A current-index change asks too; it is no edit request unless the view edits on it.
    if (trigger == CurrentChanged && !editTriggers().testFlag(CurrentChanged))
        return false;
    if (!m_useTab && !m_isEditingText) {
        if (QWidget *next = nextKeyView())
            next->setFocus(Qt::TabFocusReason);
        return false;
    }
    return QTableView::edit(index, trigger, event);
}

bool ZEM_A_C_TableView::editColumn(int column, int row, bool byEvent)
{
    if (!model())
        return false;
    const QModelIndex index = model()->index(row, column);
    if (byEvent) {
        QEvent request(QEvent::None);
        return edit(index, AllEditTriggers, &request);
    }
    return edit(index, AllEditTriggers, nullptr);
}

bool ZEM_A_C_TableView::editColumnSuper(int column, int row)
{
    if (!model())
        return false;
    m_isEditingText = true;
    return QTableView::edit(model()->index(row, column), AllEditTriggers, nullptr);
}

QWidget *ZEM_A_C_TableView::nextKeyView() const
{
    const bool shown = m_arrayController && m_arrayController->hasArrangedSelection();
    if (m_arrayController) {
        if (QWidget *child = nextChildTableView())
            return child;
        if (m_firstTextField && shown)
            return m_firstTextField;
        if (m_nextTableView)
            return m_nextTableView;
    }
    if (!shown && m_searchField)
        return m_searchField;
    return nextInFocusChain();
}

bool ZEM_A_C_TableView::focusNextPrevChild(bool next)
{
    if (next && state() != EditingState) {
        QWidget *target = nextKeyView();
        if (target && target != this && target->isEnabled() && target->isVisible()) {
            target->setFocus(Qt::TabFocusReason);
            return true;
        }
    }
    return QTableView::focusNextPrevChild(next);
}

void ZEM_A_C_TableView::focusInEvent(QFocusEvent *event)
{
    if (m_arrayController) {
        platform::performAfterDelay(m_arrayController, "checkButtons", {}, 0);
        QObject *host = m_arrayController->controller();
        if (host && platform::respondsTo(host, "setSearchFieldPredicate"))
            platform::perform(host, "setSearchFieldPredicate");
    }
    QTableView::focusInEvent(event);
}

void ZEM_A_C_TableView::focusOutEvent(QFocusEvent *event)
{
    if (state() != EditingState)
        m_isEditingText = false;
    QTableView::focusOutEvent(event);
}

// --- sorting and the manual order ---

bool ZEM_A_C_TableView::headerSortingAllowed() const
{
    // Only a setting turned on stops header sorting: a host that never wrote it keeps sorting.
    return m_tableCanSort && !isSetting("DisbleTableColumnHeaderSorting");
}

void ZEM_A_C_TableView::setSortDescriptors(const QList<platform::SortDescriptor> &descriptors)
{
    if (!headerSortingAllowed() || !m_arrayController)
        return;
    m_arrayController->setSortDescriptors(descriptors);
}

void ZEM_A_C_TableView::headerClicked(int logicalIndex)
{
    QHeaderView *header = horizontalHeader();
    if (!headerSortingAllowed() || !m_arrayController || logicalIndex < 0 || logicalIndex >= m_columns.size()) {
        header->setSortIndicatorShown(false);
        return;
    }
    platform::SortDescriptor prototype = m_columns.at(logicalIndex)->sortDescriptorPrototype();
    const QList<platform::SortDescriptor> current = m_arrayController->sortDescriptors();
    if (!current.isEmpty() && current.first().keyPath == prototype.keyPath)
        prototype.ascending = !current.first().ascending;
    setSortDescriptors({prototype});
    header->setSortIndicatorShown(true);
    header->setSortIndicator(logicalIndex, prototype.ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void ZEM_A_C_TableView::resetSortOrderForTable()
{
    if (!m_arrayController)
        return;
    if (m_arrayController->managedObject()) {
        m_arrayController->setSortDescriptors({});
        m_arrayController->fetch(nullptr);
    } else {
        setSortDescriptors({});
        viewport()->update();
    }
    horizontalHeader()->setSortIndicatorShown(false);
    m_arrayController->setSelectionIndexes({});
}

QList<QObject *> ZEM_A_C_TableView::resortArrayContent()
{
    if (!m_arrayController)
        return {};
    const QList<QObject *> arranged = m_arrayController->arrangedObjects();
    static const QString sortOrder = QStringLiteral("sortOrder");
    if (arranged.size() >= 2 && tables::detail::recordAnswers(arranged.last(), sortOrder)) {
        for (int i = 0; i < arranged.size(); ++i)
            tables::detail::setRecordValue(arranged.at(i), i + 1, sortOrder);
        m_arrayController->recordsDidChange();
    }
    return arranged;
}

void ZEM_A_C_TableView::setToCurrentOrder(QObject *)
{
    if (!m_arrayController || m_arrayController->sortDescriptors().isEmpty())
        return;
    m_arrayController->setContent(resortArrayContent());
    if (ZEM_A_C_ManagedObjectContoller *store = m_arrayController->managedObject())
        store->saveAction(nullptr);
    m_arrayController->fetch(nullptr);
    m_arrayController->setSelectionIndexes({});
}

// --- menus and settings ---

int ZEM_A_C_TableView::tagOf(const QObject *menuItem)
{
    return menuItem ? menuItem->property("tag").toInt() : 0;
}

bool ZEM_A_C_TableView::validateMenuItem(QObject *menuItem) const
{
    if (!menuItem)
        return true;
    QString selector = menuItem->property("selector").toString();
    if (selector.endsWith(QLatin1Char(':')))
        selector.chop(1);
    const int tag = tagOf(menuItem);
    if (selector == QLatin1String("setTableColumnOrder"))
        return tag < 0 || tag > 2 || !compareColumnOrder(tag);
    if (selector == QLatin1String("setToCurrentOrder"))
        return m_arrayController && !m_arrayController->sortDescriptors().isEmpty();
    if (selector == QLatin1String("copy"))
        return !selectedColumnIndexes().isEmpty() || !selectedRowIndexes().isEmpty();
    if (selector == QLatin1String("undo") || selector == QLatin1String("redo")) {
        QUndoStack *stack = managedObject() ? undoManager() : nullptr;
        return stack && (selector == QLatin1String("undo") ? stack->canUndo() : stack->canRedo());
    }
    return true;
}

int ZEM_A_C_TableView::getGridSetttings()
{
    return (isSetting("TableVerticalLines") ? GridVertical : 0) | (isSetting("TableHorizontalLines") ? GridHorizontal : 0);
}

// --- notifications ---

QWidget *ZEM_A_C_TableView::enclosingScrollView() const
{
    for (QWidget *w = parentWidget(); w; w = w->parentWidget())
        if (qobject_cast<QAbstractScrollArea *>(w))
            return w;
    return nullptr;
}

void ZEM_A_C_TableView::removeObserverTable(const ZEM_F_Notification &notification)
{
    if (!m_controller || notification.objectAsQObject() != m_controller)
        return;
    center()->removeObserver(this);
    observeColumnChanges(false);
}

void ZEM_A_C_TableView::reloadTableData(const ZEM_F_Notification &notification)
{
    QObject *other = notification.objectAsQObject();
    if (m_reloadControllerClass.isEmpty() || !m_controller
        || !m_controller->inherits(m_reloadControllerClass.toLatin1().constData()) || !other || other == this
        || other->metaObject() != metaObject() || !platform::respondsTo(m_controller, "reloadTableData:"))
        return;
    platform::perform(m_controller, "reloadTableData:", {QVariant::fromValue<QObject *>(this)});
}

void ZEM_A_C_TableView::updateTableRowColors(const ZEM_F_Notification &notification)
{
    QObject *object = notification.objectAsQObject();
    const bool ours = !notification.object.isValid() || object == this
                      || (object && (object == enclosingScrollView() || object == m_splitView));
    if (ours) {
        setAlternatingRowColors(isSetting("EnableTableRowColoring"));
        m_gridStyleMask = getGridSetttings();
    }
    m_isBoundsChanging = false;
    viewport()->update();
}

void ZEM_A_C_TableView::viewStartedChanging(const ZEM_F_Notification &notification)
{
    QObject *object = notification.objectAsQObject();
    if (object && object == enclosingScrollView() && !m_isBoundsChanging && m_canDrawRows) {
        m_isBoundsChanging = true;
        viewport()->update();
    }
}

void ZEM_A_C_TableView::viewFinishedChanging(const ZEM_F_Notification &notification)
{
    QObject *object = notification.objectAsQObject();
    if (m_canDrawRows && object && (object == enclosingScrollView() || object == this || object == m_splitView))
        center()->postNotificationNameObject(kUpdateTableRowColors, ZEM_F_Notification::wrap(this));
}

void ZEM_A_C_TableView::splitViewDidResizeSubviews(const ZEM_F_Notification &notification)
{
    QObject *object = notification.objectAsQObject();
    if (!object || object != m_splitView)
        return;
    QPointer<QWidget> split = m_splitView;
    QTimer::singleShot(0, this, [split] {
        if (split)
            center()->postNotificationNameObject(kUpdateTableRowColors, ZEM_F_Notification::wrap(split));
    });
}

void ZEM_A_C_TableView::viewDidEndLiveResize()
{
    if (m_canDrawRows)
        QTimer::singleShot(0, this, [this] {
            center()->postNotificationNameObject(kUpdateTableRowColors, ZEM_F_Notification::wrap(this));
        });
    QWidget *w = window();
    if (w && QLatin1String(w->metaObject()->className()) == kMenuBarChild) {
        if (platform::respondsTo(w, "windowResizeSupport"))
            platform::perform(w, "windowResizeSupport");
        if (platform::respondsTo(w, "resetIsResizingNo"))
            platform::performAfterDelay(w, "resetIsResizingNo", {}, 0);
    }
}

// --- header tool tips ---

void ZEM_A_C_TableView::setHeaderCellToolTips()
{
    m_headerToolTips.clear();
    for (ZEM_A_C_TableColumn *column : std::as_const(m_columns))
        if (!column->identifier().isEmpty())
            m_headerToolTips.append({column->section(), column->currentToolTipKey()});
}

void ZEM_A_C_TableView::observeColumnChanges(bool on)
{
    for (const QMetaObject::Connection &c : std::as_const(m_columnObservers))
        disconnect(c);
    m_columnObservers.clear();
    if (!on)
        return;
    m_columnObservers.append(connect(horizontalHeader(), &QHeaderView::sectionMoved, this, [this] { columnsChanged(); }));
    m_columnObservers.append(connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this] { columnsChanged(); }));
}

void ZEM_A_C_TableView::activateIdentifierToolTips()
{
    setHeaderCellToolTips();
    observeColumnChanges(true);
}

void ZEM_A_C_TableView::deactivateIdentifierToolTips()
{
    m_headerToolTips.clear();
    observeColumnChanges(false);
}

void ZEM_A_C_TableView::columnsChanged(const ZEM_F_Notification &)
{
    setHeaderCellToolTips();
}

QString ZEM_A_C_TableView::headerToolTipAt(const QPoint &pos) const
{
    const int logical = horizontalHeader()->logicalIndexAt(pos);
    for (const auto &[section, text] : m_headerToolTips)
        if (section == logical)
            return text;
    return {};
}

bool ZEM_A_C_TableView::eventFilter(QObject *watched, QEvent *event)
{
    // The type first: a replaced header's viewport still sends events while it is destroyed.
    if (event->type() == QEvent::ToolTip && watched == horizontalHeader()->viewport()) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const QString text = headerToolTipAt(help->pos());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, horizontalHeader()->viewport());
        return true;
    }
    return QTableView::eventFilter(watched, event);
}
