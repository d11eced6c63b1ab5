#pragma once

#include "controls/ZEM_A_C_TextFieldNoResponder.h"
#include "platform/store/Predicate.h"
#include "records/ZEM_A_C_ManagedObjectContoller.h"
#include "tables/ZEM_A_C_DraggingInfo.h"
#include "zem_appkit_export.h"

#include <QAbstractButton>
#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QVariant>
#include <QWidget>

#include <memory>

class QUndoStack;
namespace tables::detail {
class Arrangement;
}
namespace platform {
class DataModel;
class PersistentObject;
class StoreContext;
} // namespace platform

/**
 * Arranges the records of one table: content -> case-insensitive search on one key ->
 * filter predicate -> sort descriptors, with a selection, counters and the editing
 * commands the host tables share.
 *
 * It is itself the QAbstractTableModel a table view shows: the arranged records are the
 * model's rows, so there is no second object to keep in step with every rearrangement.
 * Columns come from column identifiers "<position>:<key>"; a cell reads and writes the
 * record's value at that key.
 *
 * Records are persistent records, dictionary rows (ZEM_A_C_ArrayControllerObject) or any
 * QObject with properties. The controller does not own content set from outside; records
 * made by newObject() belong to the store context, or else to this controller.
 *
 * Vocabulary: count() is the number of SELECTED records, arrangedCount() the number shown,
 * contentCount() the number before search and filter.
 *
 * **Example**
 * \code
 * auto *people = new ZEM_A_C_ArrayController;
 * people->setColumnIdentifiers({u"1:lastName"_s, u"2:firstName"_s});
 * people->setContent(rows);
 * people->setDefaultSortDescriptors(u"lastName"_s);
 * people->search(u"ann"_s, u"firstName"_s);
 * tableView->setModel(people);
 * \endcode
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_ArrayController : public QAbstractTableModel
{
    Q_OBJECT
    // What an interface file may set: the outlets by object name, and the settings.
    Q_PROPERTY(ZEM_A_C_ManagedObjectContoller *managedObject READ managedObject WRITE setManagedObject)
    Q_PROPERTY(QObject *controller READ controller WRITE setController)
    Q_PROPERTY(QObject *preferncePane READ preferncePane WRITE setPreferncePane)
    Q_PROPERTY(ZEM_A_C_ArrayController *parentArrayController READ parentArrayController WRITE setParentArrayController)
    Q_PROPERTY(ZEM_A_C_ArrayController *mirrorArrayController READ mirrorArrayController WRITE setMirrorArrayController)
    Q_PROPERTY(QWidget *window READ window WRITE setWindow)
    Q_PROPERTY(QObject *table READ table WRITE setTable)
    Q_PROPERTY(QObject *shadowTable READ shadowTable WRITE setShadowTable)
    Q_PROPERTY(QAbstractButton *saveButton READ saveButton WRITE setSaveButton)
    Q_PROPERTY(QAbstractButton *resetButton READ resetButton WRITE setResetButton)
    Q_PROPERTY(QAbstractButton *deleteButton READ deleteButton WRITE setDeleteButton)
    Q_PROPERTY(QAbstractButton *addButton READ addButton WRITE setAddButton)
    Q_PROPERTY(QAbstractButton *printButton READ printButton WRITE setPrintButton)
    Q_PROPERTY(ZEM_A_C_TextFieldNoResponder *countF READ countF WRITE setCountF)
    Q_PROPERTY(ZEM_A_C_TextFieldNoResponder *selectedF READ selectedF WRITE setSelectedF)
    Q_PROPERTY(ZEM_A_C_TextFieldNoResponder *totalF READ totalF WRITE setTotalF)
    Q_PROPERTY(QWidget *editTextViewB READ editTextViewB WRITE setEditTextViewB)
    Q_PROPERTY(QString searchKey READ searchKey WRITE setSearchKey)
    Q_PROPERTY(QString searchString READ searchString WRITE setSearchString)
    Q_PROPERTY(bool isAboveDrop READ isAboveDrop WRITE setIsAboveDrop)
    Q_PROPERTY(bool avoidsEmptySelection READ avoidsEmptySelection WRITE setAvoidsEmptySelection)
    Q_PROPERTY(QString entityName READ entityName WRITE setEntityName)
    Q_PROPERTY(QString objectClassName READ objectClassName WRITE setObjectClassName)
    Q_PROPERTY(QStringList columnIdentifiers READ columnIdentifiers WRITE setColumnIdentifiersProperty)
public:
    explicit ZEM_A_C_ArrayController(QObject *parent = nullptr);
    ~ZEM_A_C_ArrayController() override;

    // Outlets (not owned). The table views and the notes button are kept as plain objects
    // and asked by name.
    ZEM_A_C_ManagedObjectContoller *managedObject() const { return m_managedObject; }
    void setManagedObject(ZEM_A_C_ManagedObjectContoller *value) { m_managedObject = value; }
    QObject *controller() const { return m_controller; }
    void setController(QObject *value) { m_controller = value; }
    QObject *preferncePane() const { return m_preferncePane; }
    void setPreferncePane(QObject *value) { m_preferncePane = value; }
    ZEM_A_C_ArrayController *parentArrayController() const { return m_parentArrayController; }
    void setParentArrayController(ZEM_A_C_ArrayController *value) { m_parentArrayController = value; }
    ZEM_A_C_ArrayController *mirrorArrayController() const { return m_mirrorArrayController; }
    void setMirrorArrayController(ZEM_A_C_ArrayController *value) { m_mirrorArrayController = value; }
    QWidget *window() const { return m_window; }
    void setWindow(QWidget *value) { m_window = value; }
    QObject *table() const { return m_table; }
    void setTable(QObject *value) { m_table = value; }
    QObject *shadowTable() const { return m_shadowTable; }
    void setShadowTable(QObject *value) { m_shadowTable = value; }
    QAbstractButton *saveButton() const { return m_saveButton; }
    void setSaveButton(QAbstractButton *value) { m_saveButton = value; }
    QAbstractButton *resetButton() const { return m_resetButton; }
    void setResetButton(QAbstractButton *value) { m_resetButton = value; }
    QAbstractButton *deleteButton() const { return m_deleteButton; }
    void setDeleteButton(QAbstractButton *value) { m_deleteButton = value; }
    QAbstractButton *addButton() const { return m_addButton; }
    void setAddButton(QAbstractButton *value) { m_addButton = value; }
    QAbstractButton *printButton() const { return m_printButton; }
    void setPrintButton(QAbstractButton *value) { m_printButton = value; }
    ZEM_A_C_TextFieldNoResponder *countF() const { return m_countF; }
    void setCountF(ZEM_A_C_TextFieldNoResponder *value) { m_countF = value; }
    ZEM_A_C_TextFieldNoResponder *selectedF() const { return m_selectedF; }
    void setSelectedF(ZEM_A_C_TextFieldNoResponder *value) { m_selectedF = value; }
    ZEM_A_C_TextFieldNoResponder *totalF() const { return m_totalF; }
    void setTotalF(ZEM_A_C_TextFieldNoResponder *value) { m_totalF = value; }
    QWidget *editTextViewB() const { return m_editTextViewB; }
    void setEditTextViewB(QWidget *value) { m_editTextViewB = value; }

    QString searchString() const { return m_searchString; }
    void setSearchString(const QString &value);
    QString searchKey() const { return m_searchKey; }
    void setSearchKey(const QString &value);
    bool hasChanged() const { return m_hasChanged; }
    void setHasChanged(bool value) { m_hasChanged = value; }
    /** When on, rearranging selects the first row rather than leave the selection empty. Off by default. */
    bool avoidsEmptySelection() const { return m_avoidsEmptySelection; }
    void setAvoidsEmptySelection(bool value) { m_avoidsEmptySelection = value; }
    /** Turns avoidsEmptySelection() back on after a fetch turned it off. */
    Q_INVOKABLE void updateAvoidsEmptySelection() { m_avoidsEmptySelection = true; }
    bool isAboveDrop() const { return m_isAboveDrop; }
    void setIsAboveDrop(bool value) { m_isAboveDrop = value; }

    /** The entity newObject() inserts into the store controller's context, and fetch() reads. */
    QString entityName() const { return m_entityName; }
    void setEntityName(const QString &value) { m_entityName = value; }
    /** The registered class newObject() makes when there is no store controller. */
    QString objectClassName() const { return m_objectClassName; }
    void setObjectClassName(const QString &value) { m_objectClassName = value; }

    /** The process-wide add counter, starting at 1. */
    static int addCount();
    /** Advances the add counter; answers its value before the increment. */
    static int bumpAddCount();

    // Content and arrangement.
    QList<QObject *> content() const { return m_content; }
    /** setNewContent(), then the store controller's loadDefaultData: when it answers it. */
    void setContent(const QList<QObject *> &records);
    /** Replaces the content and rearranges. */
    void setNewContent(const QList<QObject *> &records);
    /** setNewContent(), then has-changes set to setWindowHasChangesPrefsController(false). */
    void setContentChanged(const QList<QObject *> &records);
    QList<QObject *> arrangedObjects() const;
    platform::Predicate filterPredicate() const { return m_filterPredicate; }
    /** Rearranges; the always-true predicate means no filter. Half a second later a lone match is selected. */
    void setFilterPredicate(const platform::Predicate &predicate);
    /** When exactly one record is arranged, selects it and focuses the table. */
    Q_INVOKABLE void delayedSelectRecordIfOne();
    QList<platform::SortDescriptor> sortDescriptors() const { return m_sortDescriptors; }
    void setSortDescriptors(const QList<platform::SortDescriptor> &descriptors);
    /** When no sort descriptors are set, sorts ascending by \a key. */
    void setDefaultSortDescriptors(const QString &key);
    /** Stores the search text and key, rearranges and updates the counters. */
    void search(const QString &text, const QString &key);
    /** Arranges the content again (search, filter, sort), keeping the selected records that stay. */
    Q_INVOKABLE void rearrangeObjects();
    /**
     * Forgets what the arrangement read from the records. Changes through a store
     * context and dictionary rows set by key are noticed at the next arrangement; call
     * this after changing records any other way (a row's own setter called directly).
     */
    void recordsDidChange();
    /**
     * Start-up once the outlets are set: has-changes off; with a store controller the
     * buttons follow the context's changes and saves, and the entity's records are fetched.
     */
    Q_INVOKABLE void awakeFromNib();
    /** With a store controller and an entity: the entity's records; then rearranges. */
    Q_INVOKABLE void fetch(QObject *sender = nullptr);

    // Columns.
    /** Columns "<position>:<key>"; refuses (false, nothing changed) an identifier without a key. */
    bool setColumnIdentifiers(const QStringList &identifiers);
    QStringList columnIdentifiers() const { return m_columnIdentifiers; }
    void setColumnIdentifiersProperty(const QStringList &identifiers) { setColumnIdentifiers(identifiers); }
    QString columnKey(int column) const { return m_columnKeys.value(column); }

    // Queries.
    int count() const { return int(m_selected.size()); }
    int arrangedCount() const { return int(m_arranged.size()); }
    int contentCount() const { return int(m_content.size()); }
    bool hasSelection() const { return count() != 0; }
    bool hasArrangedSelection() const { return arrangedCount() != 0; }
    bool countIsOne() const { return count() == 1; }
    bool countIsZero() const { return count() == 0; }
    bool countIsNotZero() const { return count() > 0; }
    bool countIsMoreThanOne() const { return count() > 1; }
    /** The store context's unsaved changes; without a store controller the hasChanged flag. */
    bool hasChanges() const;
    QObject *firstObject() const;
    QObject *lastObject() const;
    QList<QObject *> selectedObjects() const;
    /** Arranged rows of the selected records, ascending. */
    QList<int> selectionIndexes() const;
    QObject *objectAtRow(int row) const;
    QObject *objectAtNumber(const QVariant &number) const { return objectAtRow(number.toInt()); }
    QList<QObject *> objectAtRowArray(int row) const;
    QList<QObject *> objectAtNumberArray(const QVariant &number) const { return objectAtRowArray(number.toInt()); }
    platform::StoreContext *managedObjectContext() const;
    QUndoStack *undoManager() const;
    const platform::DataModel *managedObjectModel() const;
    /** A new record: inserted into the context as entityName(), else of objectClassName(). */
    QObject *newObject();
    static QList<int> indexSetFromRows(const QVariantList &rows);
    static int rowsAboveRow(int row, const QList<int> &indexSet);
    /** "M02:Deleting" for more than one selected record, else "M03:Deleting", as the language has it. */
    QString deleteWarningText() const;

    // Selection.
    bool selectObject(QObject *record);
    bool selectObjectRow(int row);
    bool selectObjectNumber(const QVariant &number) { return selectObjectRow(number.toInt()); }
    /** Selects the arranged rows given (others ignored). */
    void setSelectionIndexes(const QList<int> &rows);

    // Editing.
    Q_INVOKABLE void add(QObject *sender = nullptr);
    /** A new record at the first selected row (the first row when none is), selected. */
    Q_INVOKABLE void insert(QObject *sender = nullptr);
    void addObject(QObject *record);
    void addObjects(const QList<QObject *> &records);
    QObject *addNewRecordAtRow(int row);
    /** Inserts \a records as one block at the arranged \a row, selects it, marks changed. */
    bool addRecordsToArrayController(const QList<QObject *> &records, int row);
    /** The arranged row where new records go, by the "RowInsertionPoint" preference. */
    int tableRowInsertionPoint() const { return insertionPoint(false); }
    int tableRowInsertionPointEnd() const { return insertionPoint(true); }
    /** Sets each value of \a values at its key path of \a record; answers the record. */
    static QObject *createNewWithDict(const QVariantMap &values, QObject *record);
    /** A new record of \a record's entity in the context, with all its attribute values. */
    platform::PersistentObject *createNewManagedObjectFromObject(platform::PersistentObject *record);
    /**
     * The guarded delete of the selection: refused with a notice when a table forbids it,
     * else done at once when the host turned the warning off, else after the user confirms.
     */
    Q_INVOKABLE void remove(QObject *sender = nullptr);
    /** Ends the delete warning: \a returnCode 0 (the "Delete" button) deletes, others do nothing. */
    Q_INVOKABLE void doDeleteSheet(int returnCode);
    /** Removes the selected records (deleting them from the context), unguarded. */
    Q_INVOKABLE void superRemove(QObject *sender = nullptr);
    void removeObject(QObject *record);
    Q_INVOKABLE void removeAllObjects(QObject *sender = nullptr);
    /**
     * Gives the moved arranged \a rows the sort orders after \a dropRow and renumbers the
     * others around them, then refetches. Refused (empty, nothing changed) when a row is
     * out of range or an arranged record has no "sortOrder".
     */
    QList<QObject *> resetSortOrder(const QList<int> &rows, int dropRow);
    void rollback();

    // Has-changes state.
    void setHasChanges(bool flag);
    void setHasChangesOnly(bool flag);
    void setHasChangesValue(bool flag) { m_hasChanged = flag; }
    /** A hook for subclasses: the has-changes value to apply; answers \a flag. */
    virtual bool setWindowHasChangesPrefsController(bool flag) { return flag; }

    Q_INVOKABLE void updateCountField();
    Q_INVOKABLE void checkButtons();

    // Drag and drop (ZEM_A_C_ArrayControllerDrag.cpp).
    /**
     * Builds the dragged types: the two private row types, then the further types of the
     * pane, the controller, the table and this controller (each that answers
     * getAdditionPBoardTypes); the table and the shadow table register them.
     */
    Q_INVOKABLE void setRegisterForDragged();
    QStringList registeredDraggedTypes() const { return m_registeredTypes; }
    /** The handler-name form of a pasteboard type: the two spaced legacy names lose their spaces. */
    static QString convertPasteBoradType(const QString &type);
    /** The type of \a types this controller handles; null when none. */
    QString checkTableHasPBoardType(const QStringList &types) const;
    /** A hook for subclasses: false keeps drops of \a type from the host's handlers; answers true. */
    virtual bool checkExcludeType(const ZEM_A_C_DraggingInfo &info, const QString &type);
    /** Writes the arranged \a rows to \a pasteboard; false, writing nothing, when the table forbids dragging. */
    bool tableViewWriteRows(QObject *tableView, const QList<int> &rows, QMimeData *pasteboard);
    /** The operation a drop at \a proposedRow would do; retargets \a info (dropRow, dropOperation). */
    Qt::DropAction tableViewValidateDrop(QObject *tableView, ZEM_A_C_DraggingInfo &info, int proposedRow,
                                         int proposedDropOperation);
    /** Performs a drop validated before; false leaves content and has-changes untouched. */
    bool tableViewAcceptDrop(QObject *tableView, const ZEM_A_C_DraggingInfo &info, int row, int dropOperation);

    // The model.
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    /** A column's title (its key until one is set) and tool tip. */
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant &value, int role = Qt::EditRole) override;
    // The model's drag and drop goes through the table-view operations above, as the table.
    Qt::DropActions supportedDragActions() const override;
    Qt::DropActions supportedDropActions() const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    bool canDropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                         const QModelIndex &parent) const override;
    bool dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                      const QModelIndex &parent) override;

Q_SIGNALS:
    void selectionDidChange();

private:
    int insertionPoint(bool end) const;
    void addFollowUp();
    void removeRecords(const QList<QObject *> &records);
    void scheduleCountUpdate();
    /** Arranges anew; \a before, the records arranged until now, decides a layout change over a reset. */
    void rearrangeFrom(const QList<QObject *> &oldContent, QList<int> oldArranged);
    /** Each old row's new row when the same records are arranged again; empty otherwise. */
    QList<int> newRowsOfOldRows(const QList<QObject *> &oldContent, const QList<int> &oldArranged,
                                const QList<int> &arranged) const;
    /** The first of the pane, the controller, the table and this controller that answers \a name. */
    QObject *firstAnswering(const char *name) const;
    /** The drag info and (row, operation) a model-side drop at row/parent stands for. */
    ZEM_A_C_DraggingInfo modelDrop(const QMimeData *data, int row, const QModelIndex &parent, int *dropRow,
                                   int *operation) const;

    QPointer<ZEM_A_C_ManagedObjectContoller> m_managedObject;
    QPointer<QObject> m_controller;
    QPointer<QObject> m_preferncePane;
    QPointer<ZEM_A_C_ArrayController> m_parentArrayController;
    QPointer<ZEM_A_C_ArrayController> m_mirrorArrayController;
    QPointer<QWidget> m_window;
    QPointer<QObject> m_table;
    QPointer<QObject> m_shadowTable;
    QPointer<QAbstractButton> m_saveButton, m_resetButton, m_deleteButton, m_addButton, m_printButton;
    QPointer<ZEM_A_C_TextFieldNoResponder> m_countF, m_selectedF, m_totalF;
    QPointer<QWidget> m_editTextViewB;
    QString m_searchString;
    QString m_searchKey;
    bool m_hasChanged = false;
    bool m_isAboveDrop = false;
    bool m_avoidsEmptySelection = false;
    QString m_entityName;
    QString m_objectClassName;

    QList<QObject *> m_content;
    QList<int> m_arranged;         // content rows, in arranged order
    QList<QObject *> m_selected;   // in arranged order
    platform::Predicate m_filterPredicate;
    QList<platform::SortDescriptor> m_sortDescriptors;
    QStringList m_columnIdentifiers;
    QStringList m_columnKeys;
    QHash<QPair<int, int>, QVariant> m_headers;
    quint64 m_valueStamp = 0;   // the record value changes the arrangement's reads have seen   // (section, role) -> value a column set
    std::unique_ptr<tables::detail::Arrangement> m_arrangement;
    QTimer m_countTimer;
    // Children, so a test can find a pending timer and fire it at once.
    QTimer *m_selectIfOneTimer = nullptr;
    QTimer *m_restoreAvoidsTimer = nullptr;
    int m_lastTotal = 0;
    QStringList m_registeredTypes;
};
