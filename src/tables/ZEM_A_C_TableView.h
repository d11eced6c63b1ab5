#pragma once

#include "foundation/ZEM_F_Notification.h"
#include "platform/store/Predicate.h"
#include "tables/ZEM_A_C_ArrayController.h"
#include "zem_appkit_export.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <QMenu>
#include <QTableView>
#include <QTimer>

class QMenu;
class QMimeData;
class QUndoStack;
class ZEM_A_C_ManagedObjectContoller;
class ZEM_A_C_TableColumn;
namespace platform {
class StoreContext;
}

/**
 * The table of every list: a QTableView whose model is its array controller, with
 * per-table behaviour flags, keys (Delete, Space, arrows that wrap around), row colours
 * and grid lines from the host settings, drawing suspended while the enclosing view
 * scrolls or resizes, copy and drag-out of the selection as tab-delimited text, header
 * tool tips, column order and size commands, a manual row order and a key-view chain.
 *
 * Collaborators call its operations by name (platform::perform), so every operation
 * another class may ask for is a slot or Q_INVOKABLE. The Command key is Ctrl here and
 * Option is Alt.
 *
 * Columns are the model's sections; tableColumns() holds one ZEM_A_C_TableColumn each, in
 * model order, and the header's visual order is the display order.
 *
 * **Example**
 * \code
 * auto *table = new ZEM_A_C_TableView;
 * table->setArrayController(people);   // people->setColumnIdentifiers({"1:lastName", ...})
 * table->awakeFromNib();
 * table->setTableCanReorder(true);
 * \endcode
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_TableView : public QTableView
{
    Q_OBJECT
    Q_PROPERTY(QObject *controller READ controller WRITE setController)
    Q_PROPERTY(QWidget *nextTableView READ nextTableView WRITE setNextTableView)
    Q_PROPERTY(QWidget *firstTextField READ firstTextField WRITE setFirstTextField)
    Q_PROPERTY(QWidget *searchField READ searchField WRITE setSearchField)
    Q_PROPERTY(ZEM_A_C_ArrayController *arrayController READ arrayController WRITE setArrayController)
    Q_PROPERTY(QWidget *splitView READ splitView WRITE setSplitView)
    Q_PROPERTY(QString reloadControllerClass READ reloadControllerClass WRITE setReloadControllerClass)
    Q_PROPERTY(bool exportCSV READ exportCSV WRITE setExportCSV)
    Q_PROPERTY(bool tableCanSort READ tableCanSort WRITE setTableCanSort)
    Q_PROPERTY(bool tableCanReorder READ tableCanReorder WRITE setTableCanReorder)
    Q_PROPERTY(bool tableCanDragOut READ tableCanDragOut WRITE setTableCanDragOut)
    Q_PROPERTY(bool tableCanDragIn READ tableCanDragIn WRITE setTableCanDragIn)
    Q_PROPERTY(bool tableChangeHeaderSort READ tableChangeHeaderSort WRITE setTableChangeHeaderSort)
    Q_PROPERTY(bool tableCanDelete READ tableCanDelete WRITE setTableCanDelete)
    Q_PROPERTY(bool isBoundsChanging READ isBoundsChanging WRITE setIsBoundsChanging)
    Q_PROPERTY(bool canDrawRows READ canDrawRows WRITE setCanDrawRows)
    Q_PROPERTY(bool canDuplicateRows READ canDuplicateRows WRITE setCanDuplicateRows)
    Q_PROPERTY(bool acceptUrls READ acceptUrls WRITE setAcceptUrls)
    Q_PROPERTY(bool acceptFileTypes READ acceptFileTypes WRITE setAcceptFileTypes)
    Q_PROPERTY(bool tableSavesOnChanges READ tableSavesOnChanges WRITE setTableSavesOnChanges)
    Q_PROPERTY(bool hasMenu READ hasMenu WRITE setHasMenu)
    Q_PROPERTY(bool useTab READ useTab WRITE setUseTab)
    Q_PROPERTY(bool isEditingText READ isEditingText WRITE setIsEditingText)
    Q_PROPERTY(int gridStyleMask READ gridStyleMask)

public:
    /** The grid style mask: which grid lines are drawn. */
    enum GridLines { GridNone = 0, GridVertical = 1, GridHorizontal = 2 };

    explicit ZEM_A_C_TableView(QWidget *parent = nullptr);
    ~ZEM_A_C_TableView() override;

    // Outlets (not owned).
    QObject *controller() const { return m_controller; }
    void setController(QObject *value) { m_controller = value; }
    QWidget *nextTableView() const { return m_nextTableView; }
    void setNextTableView(QWidget *value) { m_nextTableView = value; }
    QWidget *firstTextField() const { return m_firstTextField; }
    void setFirstTextField(QWidget *value) { m_firstTextField = value; }
    QWidget *searchField() const { return m_searchField; }
    void setSearchField(QWidget *value) { m_searchField = value; }
    Q_INVOKABLE ZEM_A_C_ArrayController *arrayController() const { return m_arrayController; }
    /** Shows \a value's arranged records and keeps both selections in step. */
    void setArrayController(ZEM_A_C_ArrayController *value);
    QWidget *splitView() const { return m_splitView; }
    void setSplitView(QWidget *value) { m_splitView = value; }
    QString reloadControllerClass() const { return m_reloadControllerClass; }
    void setReloadControllerClass(const QString &value) { m_reloadControllerClass = value; }

    // Flags, each read by its name (also by name through platform::perform).
    Q_INVOKABLE bool exportCSV() const { return m_exportCSV; }
    Q_INVOKABLE void setExportCSV(bool value) { m_exportCSV = value; }
    Q_INVOKABLE bool tableCanSort() const { return m_tableCanSort; }
    Q_INVOKABLE void setTableCanSort(bool value) { m_tableCanSort = value; }
    Q_INVOKABLE bool tableCanReorder() const { return m_tableCanReorder; }
    Q_INVOKABLE void setTableCanReorder(bool value) { m_tableCanReorder = value; }
    Q_INVOKABLE bool tableCanDragOut() const { return m_tableCanDragOut; }
    Q_INVOKABLE void setTableCanDragOut(bool value) { m_tableCanDragOut = value; }
    Q_INVOKABLE bool tableCanDragIn() const { return m_tableCanDragIn; }
    Q_INVOKABLE void setTableCanDragIn(bool value) { m_tableCanDragIn = value; }
    Q_INVOKABLE bool tableChangeHeaderSort() const { return m_tableChangeHeaderSort; }
    Q_INVOKABLE void setTableChangeHeaderSort(bool value) { m_tableChangeHeaderSort = value; }
    Q_INVOKABLE bool tableCanDelete() const { return m_tableCanDelete; }
    Q_INVOKABLE void setTableCanDelete(bool value) { m_tableCanDelete = value; }
    Q_INVOKABLE bool isBoundsChanging() const { return m_isBoundsChanging; }
    Q_INVOKABLE void setIsBoundsChanging(bool value) { m_isBoundsChanging = value; }
    Q_INVOKABLE bool canDrawRows() const { return m_canDrawRows; }
    Q_INVOKABLE void setCanDrawRows(bool value) { m_canDrawRows = value; }
    Q_INVOKABLE bool canDuplicateRows() const { return m_canDuplicateRows; }
    Q_INVOKABLE void setCanDuplicateRows(bool value) { m_canDuplicateRows = value; }
    Q_INVOKABLE bool acceptUrls() const { return m_acceptUrls; }
    Q_INVOKABLE void setAcceptUrls(bool value) { m_acceptUrls = value; }
    Q_INVOKABLE bool acceptFileTypes() const { return m_acceptFileTypes; }
    Q_INVOKABLE void setAcceptFileTypes(bool value) { m_acceptFileTypes = value; }
    Q_INVOKABLE bool tableSavesOnChanges() const { return m_tableSavesOnChanges; }
    Q_INVOKABLE void setTableSavesOnChanges(bool value) { m_tableSavesOnChanges = value; }
    Q_INVOKABLE bool hasMenu() const { return m_hasMenu; }
    Q_INVOKABLE void setHasMenu(bool value) { m_hasMenu = value; }
    Q_INVOKABLE bool useTab() const { return m_useTab; }
    /** Tab moves from cell to cell when on, else leaves the table. */
    Q_INVOKABLE void setUseTab(bool value);
    Q_INVOKABLE bool isEditingText() const { return m_isEditingText; }
    Q_INVOKABLE void setIsEditingText(bool value) { m_isEditingText = value; }
    /** Sets the YES-by-default flags (canDrawRows, tableCanSort, ...) to \a value. */
    void setHasTrueValue(bool value);
    /** Sets the NO-by-default flags (tableCanReorder, ...) to \a value. */
    void setHasFalseValue(bool value);
    /** Sets canDrawRows; turning it on posts "UpdateTableRowColors" about this table. */
    Q_INVOKABLE void setCanDrawRowsValue(const QVariant &number);

    /**
     * Start-up: default flags, observations, colour settings, the array controller as
     * model; a second later the header tool tips.
     */
    Q_INVOKABLE void awakeFromNib();

    // Hooks for subclasses.
    Q_INVOKABLE virtual QWidget *nextChildTableView() const { return nullptr; }
    /** Filters every cell text of the exports; answers \a text unchanged here. */
    Q_INVOKABLE virtual QString replaceCharacterInString(const QString &text) const { return text; }
    Q_INVOKABLE QObject *table() { return this; }

    // The store behind the array controller.
    Q_INVOKABLE ZEM_A_C_ManagedObjectContoller *managedObject() const;
    platform::StoreContext *managedObjectContext() const;
    QUndoStack *undoManager() const;
    Q_INVOKABLE void undo(QObject *sender = nullptr);
    Q_INVOKABLE void redo(QObject *sender = nullptr);

    /** The window, or the drawer's parent window when the table sits in a drawer. */
    Q_INVOKABLE QWidget *getWindow() const;
    Q_INVOKABLE int mouseRowForEvent(const QPoint &viewportPos) const { return rowAt(viewportPos.y()); }
    /** Scrolls the selected row (column) into view after a quarter second; see scrollTimer(). */
    Q_INVOKABLE void scrollAfterDelay();
    Q_INVOKABLE void scrollColumnAfterDelay();
    /** The pending quarter-second scroll (a test fires it instead of waiting). */
    QTimer *scrollTimer() const { return m_scrollTimer; }
    Q_INVOKABLE void selectOnlyRowIndexes(const QList<int> &rows);
    /**
     * Selects the columns at display positions \a columns (adding to the selection when
     * \a extend). Columns are selected in the selection model, as the header selects them.
     */
    Q_INVOKABLE void selectColumnIndexes(const QList<int> &columns, bool extend = false);
    /** The selected columns, as display positions, ascending; none while every row is selected. */
    QList<int> selectedColumnIndexes() const;
    /** The selected rows, ascending. */
    QList<int> selectedRowIndexes() const;
    Q_INVOKABLE void setAutosaveName(const QString &name);
    QString autosaveName() const { return m_autosaveName; }
    /** The controller's member performed with this table by double click, Space or Ctrl+arrow. */
    Q_INVOKABLE void setDoubleActionSel(const QString &selector) { m_doubleAction = selector; }
    QString doubleActionSel() const { return m_doubleAction; }
    /** The column shown by \a key becomes a check box drawing \a imageName when on. */
    Q_INVOKABLE void initCheckBoxCellsFixed(const QString &key, const QString &imageName);
    /** The context menu built from \a descriptors with this table as controller. */
    Q_INVOKABLE void resetMenuTableView(const QVariantList &descriptors);
    /** The context menu resetMenuTableView() built; null before. */
    QMenu *contextMenu() const { return m_contextMenu; }

    // Row drag and drop, decided by the array controller.
    /** Accepts drags of \a types (as the array controller registers them). */
    Q_INVOKABLE void registerForDraggedTypes(const QStringList &types);
    QStringList registeredDraggedTypes() const { return m_draggedTypes; }

    // Columns (ZEM_A_C_TableViewColumns.cpp).
    QList<ZEM_A_C_TableColumn *> tableColumns() const { return m_columns; }
    /** Replaces the column object of \a column's section (owned from now on). */
    void setTableColumn(ZEM_A_C_TableColumn *column);
    /** The columns in display order. */
    QList<ZEM_A_C_TableColumn *> displayedColumns() const;
    /** "7:name" gives "07"; "12:name" gives "12". */
    Q_INVOKABLE static QString convertIdentifier(const QString &identifier);
    /** The key: the text after the last ":". */
    Q_INVOKABLE static QString getIdentifierString(const QString &identifier);
    Q_INVOKABLE ZEM_A_C_TableColumn *findColumn(const QString &key) const;
    /** The header of the column showing \a key shows \a image; nothing when either is missing. */
    Q_INVOKABLE void setHeaderCellImage(const QString &key, const QImage &image);
    Q_INVOKABLE ZEM_A_C_TableColumn *getColumnFromShortIdentifier(const QString &shortIdentifier) const;
    Q_INVOKABLE QStringList getCurrentColumnOrder() const;
    Q_INVOKABLE QStringList setTableColumnOrderSupport(int mode) const;
    Q_INVOKABLE bool compareColumnOrder(int mode) const;
    /** Rearranges the columns in the order of the item's tag (mode 0 to 3). */
    Q_INVOKABLE void setTableColumnOrder(QObject *menuItem);
    void applyTableColumnOrder(int mode);
    /** Tag 4 original widths, 5 maximum, 6 minimum. */
    Q_INVOKABLE void setTableColumnSize(QObject *menuItem);
    /** Mode 1 original, 2 maximum, 3 minimum width, for \a column or (null) all. */
    Q_INVOKABLE void setTableColumnSizeSupport(int mode, ZEM_A_C_TableColumn *column = nullptr);

    // Sorting and the manual order.
    /** Sorts only while tableCanSort is on and the host has not turned header sorting off. */
    void setSortDescriptors(const QList<platform::SortDescriptor> &descriptors);
    bool headerSortingAllowed() const;
    Q_INVOKABLE void resetSortOrderForTable();
    /** Numbers the arranged records' "sortOrder" 1, 2, 3...; answers the arranged records. */
    Q_INVOKABLE QList<QObject *> resortArrayContent();
    Q_INVOKABLE void setToCurrentOrder(QObject *sender = nullptr);

    // Copy and export (ZEM_A_C_TableViewExport.cpp).
    Q_INVOKABLE void copy(QObject *sender = nullptr);
    Q_INVOKABLE void copyAsTabDelimited(bool rows);
    Q_INVOKABLE QString tabularStringWithSelectedRows() const;
    Q_INVOKABLE QString tabularStringWithSelectedColumns() const;
    QString tabularStringWithSelectedRowsData() const;
    QString tabularStringWithSelectedColumnsData() const;
    QString tabularStringWithSelectedRowsWithManagedObject() const;
    QString tabularStringWithSelectedColumnsWithManagedObject() const;
    /** The clipboard or drag form of an export: text/plain, text/rtf and text/html tables. */
    static QMimeData *exportMimeData(const QString &text);

    // Header tool tips.
    Q_INVOKABLE void setHeaderCellToolTips();
    Q_INVOKABLE void activateIdentifierToolTips();
    Q_INVOKABLE void deactivateIdentifierToolTips();
    Q_INVOKABLE void columnsChanged(const ZEM_F_Notification &notification = {});
    /** The header tool tip at \a pos of the header's viewport; empty where there is none. */
    QString headerToolTipAt(const QPoint &pos) const;

    Q_INVOKABLE bool validateMenuItem(QObject *menuItem) const;
    /** 0 no grid, 1 vertical lines, 2 horizontal lines, 3 both, from the host settings. */
    Q_INVOKABLE static int getGridSetttings();
    int gridStyleMask() const { return m_gridStyleMask; }

    /** The next key view by the chain: child table, detail field, next table, search field. */
    Q_INVOKABLE QWidget *nextKeyView() const;
    /** Edits the cell; without \a byEvent only when useTab or isEditingText is on. */
    Q_INVOKABLE bool editColumn(int column, int row, bool byEvent = false);
    Q_INVOKABLE bool editColumnSuper(int column, int row);
    /** Header cells painted as metal (a ZEM_A_C_TableHeaderView only); header sorting off. */
    Q_INVOKABLE void setupTableHeaderMetalCell();
    /** QTableView's, then the header's clicks sort and never select the column's cells. */
    void setHorizontalHeader(QHeaderView *header);

    /** The enclosing scroll view: the nearest scroll area around the table. */
    QWidget *enclosingScrollView() const;

public Q_SLOTS:
    void removeObserverTable(const ZEM_F_Notification &notification);
    void reloadTableData(const ZEM_F_Notification &notification);
    void updateTableRowColors(const ZEM_F_Notification &notification = {});
    void viewStartedChanging(const ZEM_F_Notification &notification);
    void viewFinishedChanging(const ZEM_F_Notification &notification);
    void splitViewDidResizeSubviews(const ZEM_F_Notification &notification);
    /** After a live resize of the window ends. */
    void viewDidEndLiveResize();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;
    bool focusNextPrevChild(bool next) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void wireHeader();
    /** Validates a drop at \a pos with the controller: the action, and the (retargeted) row and operation. */
    Qt::DropAction validateDrop(QDropEvent *event, int *row, int *operation);
    void syncColumns();
    void selectionFromController();
    void selectionToController();
    void headerClicked(int logicalIndex);
    bool startExportDrag(QMouseEvent *event);
    void performDoubleAction(bool later);
    void observeColumnChanges(bool on);
    static int tagOf(const QObject *menuItem);

    QPointer<QObject> m_controller;
    QPointer<QWidget> m_nextTableView, m_firstTextField, m_searchField, m_splitView;
    QPointer<ZEM_A_C_ArrayController> m_arrayController;
    QString m_reloadControllerClass;
    bool m_exportCSV = true, m_tableCanSort = true, m_tableCanReorder = false, m_tableCanDragOut = false,
         m_tableCanDragIn = false, m_tableChangeHeaderSort = true, m_tableCanDelete = true,
         m_isBoundsChanging = false, m_canDrawRows = true, m_canDuplicateRows = false, m_acceptUrls = false,
         m_acceptFileTypes = false, m_tableSavesOnChanges = false, m_hasMenu = true, m_useTab = false,
         m_isEditingText = false;
    int m_gridStyleMask = GridNone;
    QString m_autosaveName;
    QString m_doubleAction;
    QList<ZEM_A_C_TableColumn *> m_columns;
    QList<QPair<int, QString>> m_headerToolTips; // logical index, text
    QList<QMetaObject::Connection> m_columnObservers;
    QPointer<QMenu> m_contextMenu;
    QStringList m_draggedTypes;
    QTimer *m_scrollTimer = nullptr;
    QTimer *m_scrollColumnTimer = nullptr;
    bool m_syncingSelection = false;
};
