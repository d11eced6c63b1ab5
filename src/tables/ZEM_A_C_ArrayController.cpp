#include "ZEM_A_C_ArrayController.h"

#include "controls/ZEM_A_C_TextFieldNoResponder.h"
#include "foundation/ZEM_F_ClassRegistry.h"
#include "foundation/ZEM_F_E_Language.h"
#include "foundation/ZEM_F_HostDelegate.h"
#include "platform/Invoke.h"
#include "platform/store/DataModel.h"
#include "platform/store/PersistentObject.h"
#include "platform/store/StoreContext.h"
#include "platform/Alerts.h"
#include "records/ZEM_A_C_ManagedObjectContoller.h"
#include "services/ZEM_A_C_Sheets.h"
#include "tables/ZEM_A_C_ArrayControllerObject.h"
#include "tables/detail/Arrangement.h"
#include "tables/detail/Ask.h"
#include "tables/detail/RecordValues.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHash>
#include <QSet>
#include <QWidget>

#include <algorithm>

using tables::detail::answersYes;
using tables::detail::ask;
using tables::detail::recordValue;
using tables::detail::setRecordValue;

namespace {

int g_addCount = 1;

const QString kSortOrder = QStringLiteral("sortOrder");

// The delete warning's return codes: the alternate button ("Delete") answers 0.
constexpr int kDeleteReturn = 0;
constexpr int kCancelReturn = 1;

} // namespace

ZEM_A_C_ArrayController::ZEM_A_C_ArrayController(QObject *parent)
    : QAbstractTableModel(parent)
    , m_arrangement(std::make_unique<tables::detail::Arrangement>())
{
    m_arrangement->setContent(&m_content);
    m_countTimer.setSingleShot(true);
    m_countTimer.setInterval(500);
    connect(&m_countTimer, &QTimer::timeout, this, &ZEM_A_C_ArrayController::updateCountField);
    m_selectIfOneTimer = new QTimer(this);
    m_selectIfOneTimer->setObjectName(QStringLiteral("selectIfOneTimer"));
    m_selectIfOneTimer->setSingleShot(true);
    m_selectIfOneTimer->setInterval(500);
    connect(m_selectIfOneTimer, &QTimer::timeout, this, &ZEM_A_C_ArrayController::delayedSelectRecordIfOne);
    m_restoreAvoidsTimer = new QTimer(this);
    m_restoreAvoidsTimer->setObjectName(QStringLiteral("restoreAvoidsEmptySelectionTimer"));
    m_restoreAvoidsTimer->setSingleShot(true);
    m_restoreAvoidsTimer->setInterval(250);
    connect(m_restoreAvoidsTimer, &QTimer::timeout, this, &ZEM_A_C_ArrayController::updateAvoidsEmptySelection);
}

ZEM_A_C_ArrayController::~ZEM_A_C_ArrayController() = default;

int ZEM_A_C_ArrayController::addCount()
{
    return g_addCount;
}

int ZEM_A_C_ArrayController::bumpAddCount()
{
    return g_addCount++;
}

void ZEM_A_C_ArrayController::setSearchString(const QString &value)
{
    m_searchString = value;
}

void ZEM_A_C_ArrayController::setSearchKey(const QString &value)
{
    m_searchKey = value;
}

// --- content and arrangement ---

void ZEM_A_C_ArrayController::setContent(const QList<QObject *> &records)
{
    setNewContent(records);
    if (m_managedObject && platform::respondsTo(m_managedObject, "loadDefaultData:"))
        platform::perform(m_managedObject, "loadDefaultData:", {QVariant::fromValue<QObject *>(this)});
}

void ZEM_A_C_ArrayController::setNewContent(const QList<QObject *> &records)
{
    const QList<QObject *> oldContent = m_content;   // shared, not copied
    m_content = records;
    m_arrangement->invalidate();
    rearrangeFrom(oldContent, m_arranged);
}

QList<QObject *> ZEM_A_C_ArrayController::arrangedObjects() const
{
    QList<QObject *> records;
    records.reserve(m_arranged.size());
    for (int i : m_arranged)
        records.append(m_content.at(i));
    return records;
}

void ZEM_A_C_ArrayController::setFilterPredicate(const platform::Predicate &predicate)
{
    m_filterPredicate = predicate;
    rearrangeObjects();
    m_selectIfOneTimer->start();
}

void ZEM_A_C_ArrayController::delayedSelectRecordIfOne()
{
    if (arrangedCount() != 1)
        return;
    if (auto *view = qobject_cast<QWidget *>(m_table.data()))
        view->setFocus();
    selectObjectRow(0);
    if (m_table && platform::respondsTo(m_table, "selectOnlyRowIndexes:"))
        platform::perform(m_table, "selectOnlyRowIndexes:", {QVariant::fromValue(QList<int>{0})});
}

void ZEM_A_C_ArrayController::setSortDescriptors(const QList<platform::SortDescriptor> &descriptors)
{
    m_sortDescriptors = descriptors;
    rearrangeObjects();
}

void ZEM_A_C_ArrayController::setDefaultSortDescriptors(const QString &key)
{
    if (m_sortDescriptors.isEmpty())
        setSortDescriptors({platform::SortDescriptor{key, true, false}});
}

void ZEM_A_C_ArrayController::search(const QString &text, const QString &key)
{
    m_searchString = text;
    m_searchKey = key;
    rearrangeObjects();
    updateCountField();
}

void ZEM_A_C_ArrayController::rearrangeObjects()
{
    rearrangeFrom(m_content, m_arranged);
}

QList<int> ZEM_A_C_ArrayController::newRowsOfOldRows(const QList<QObject *> &oldContent,
                                                    const QList<int> &oldArranged,
                                                    const QList<int> &arranged) const
{
    // Only the same records in another order (a sort, a reorder) have a mapping; a search
    // or filter changes the count and costs nothing here.
    if (oldArranged.size() != arranged.size())
        return {};
    QList<int> newRows(oldArranged.size(), -1);
    if (oldContent.constData() == m_content.constData()) {
        QList<int> rowOfContent(m_content.size(), -1);
        for (int row = 0; row < arranged.size(); ++row)
            rowOfContent[arranged.at(row)] = row;
        for (int row = 0; row < oldArranged.size(); ++row)
            if ((newRows[row] = rowOfContent.at(oldArranged.at(row))) < 0)
                return {};
        return newRows;
    }
    QHash<QObject *, int> rowOfRecord;
    rowOfRecord.reserve(arranged.size());
    for (int row = 0; row < arranged.size(); ++row)
        rowOfRecord.insert(m_content.at(arranged.at(row)), row);
    if (rowOfRecord.size() != arranged.size())
        return {};
    for (int row = 0; row < oldArranged.size(); ++row)
        if ((newRows[row] = rowOfRecord.value(oldContent.at(oldArranged.at(row)), -1)) < 0)
            return {};
    return newRows;
}

void ZEM_A_C_ArrayController::rearrangeFrom(const QList<QObject *> &oldContent, QList<int> oldArranged)
{
    // Values read earlier are stale once a record changed by key or in the context.
    const platform::StoreContext *context = managedObjectContext();
    const quint64 stamp = (context ? context->valueChanges() : 0) + ZEM_A_C_ArrayControllerObject::valueChanges();
    if (stamp != m_valueStamp) {
        m_arrangement->invalidate();
        m_valueStamp = stamp;
    }
    QList<int> arranged = m_arrangement->arrange(m_searchKey, m_searchString, m_filterPredicate, m_sortDescriptors);
    // The same records in another order keep the views' selection and current cell: a
    // layout change moves them; anything else resets the model.
    const QList<int> newRows = newRowsOfOldRows(oldContent, oldArranged, arranged);
    const bool sameRecords = !newRows.isEmpty();
    if (sameRecords) {
        Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        const QModelIndexList from = persistentIndexList();
        QModelIndexList to;
        to.reserve(from.size());
        for (const QModelIndex &index : from)
            to.append(index.isValid() && index.row() < newRows.size()
                          ? createIndex(newRows.at(index.row()), index.column())
                          : QModelIndex());
        m_arranged = std::move(arranged);
        changePersistentIndexList(from, to);
    } else {
        beginResetModel();
        m_arranged = std::move(arranged);
    }
    const bool hadSelection = !m_selected.isEmpty();
    if (hadSelection) {
        const QSet<QObject *> selected(m_selected.cbegin(), m_selected.cend());
        m_selected.clear();
        for (int i : std::as_const(m_arranged))
            if (selected.contains(m_content.at(i)))
                m_selected.append(m_content.at(i));
    }
    const bool selectFirst = m_avoidsEmptySelection && m_selected.isEmpty() && !m_arranged.isEmpty();
    if (selectFirst)
        m_selected.append(m_content.at(m_arranged.first()));
    if (sameRecords)
        Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    else
        endResetModel();
    if (hadSelection || selectFirst)
        Q_EMIT selectionDidChange();
    scheduleCountUpdate();
}

void ZEM_A_C_ArrayController::recordsDidChange()
{
    m_arrangement->invalidate();
}

void ZEM_A_C_ArrayController::awakeFromNib()
{
    setHasChangesOnly(false);
    if (platform::StoreContext *context = managedObjectContext()) {
        connect(context, &platform::StoreContext::objectsDidChange, this, &ZEM_A_C_ArrayController::checkButtons,
                Qt::UniqueConnection);
        connect(context, &platform::StoreContext::didSave, this, &ZEM_A_C_ArrayController::checkButtons,
                Qt::UniqueConnection);
        fetch(this);
    }
}

void ZEM_A_C_ArrayController::fetch(QObject *)
{
    // A user who cleared the selection keeps it clear across the refetch.
    if (m_avoidsEmptySelection) {
        m_avoidsEmptySelection = !(m_selected.isEmpty() && !m_arranged.isEmpty());
        m_restoreAvoidsTimer->start();
    }
    platform::StoreContext *context = managedObjectContext();
    if (context && !m_entityName.isEmpty()) {
        platform::FetchRequest request;
        request.entityName = m_entityName;
        if (auto records = context->fetch(request)) {
            setNewContent(QList<QObject *>(records->cbegin(), records->cend()));
            return;
        }
    }
    m_arrangement->invalidate();
    rearrangeObjects();
}

// --- columns ---

bool ZEM_A_C_ArrayController::setColumnIdentifiers(const QStringList &identifiers)
{
    QStringList keys;
    for (const QString &identifier : identifiers) {
        const qsizetype colon = identifier.lastIndexOf(u':');
        if (colon < 0 || colon == identifier.size() - 1)
            return false;
        keys.append(identifier.mid(colon + 1));
    }
    beginResetModel();
    m_columnIdentifiers = identifiers;
    m_columnKeys = keys;
    m_headers.clear();
    endResetModel();
    return true;
}

// --- queries ---

bool ZEM_A_C_ArrayController::hasChanges() const
{
    if (m_managedObject)
        return managedObjectContext() && managedObjectContext()->hasChanges();
    return m_hasChanged;
}

QObject *ZEM_A_C_ArrayController::firstObject() const
{
    return m_selected.isEmpty() ? nullptr : m_selected.first();
}

QObject *ZEM_A_C_ArrayController::lastObject() const
{
    return m_selected.isEmpty() ? nullptr : m_selected.last();
}

QList<QObject *> ZEM_A_C_ArrayController::selectedObjects() const
{
    return m_selected;
}

QList<int> ZEM_A_C_ArrayController::selectionIndexes() const
{
    QList<int> rows;
    if (m_selected.isEmpty())
        return rows;
    const QSet<QObject *> selected(m_selected.cbegin(), m_selected.cend());
    for (int row = 0; row < m_arranged.size(); ++row)
        if (selected.contains(m_content.at(m_arranged.at(row))))
            rows.append(row);
    return rows;
}

QObject *ZEM_A_C_ArrayController::objectAtRow(int row) const
{
    return row >= 0 && row < m_arranged.size() ? m_content.at(m_arranged.at(row)) : nullptr;
}

QList<QObject *> ZEM_A_C_ArrayController::objectAtRowArray(int row) const
{
    QObject *record = objectAtRow(row);
    return record ? QList<QObject *>{record} : QList<QObject *>{};
}

platform::StoreContext *ZEM_A_C_ArrayController::managedObjectContext() const
{
    return m_managedObject ? m_managedObject->managedObjectContext() : nullptr;
}

QUndoStack *ZEM_A_C_ArrayController::undoManager() const
{
    platform::StoreContext *context = managedObjectContext();
    return context ? context->undoManager() : nullptr;
}

const platform::DataModel *ZEM_A_C_ArrayController::managedObjectModel() const
{
    return m_managedObject ? m_managedObject->managedObjectModel() : nullptr;
}

QObject *ZEM_A_C_ArrayController::newObject()
{
    if (platform::StoreContext *context = managedObjectContext(); context && !m_entityName.isEmpty())
        return context->insertNewObject(m_entityName);
    return m_objectClassName.isEmpty() ? nullptr : ZEM_F_ClassRegistry::create(m_objectClassName, this);
}

QList<int> ZEM_A_C_ArrayController::indexSetFromRows(const QVariantList &rows)
{
    QList<int> indexes;
    for (const QVariant &row : rows)
        indexes.append(row.toInt());
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    return indexes;
}

int ZEM_A_C_ArrayController::rowsAboveRow(int row, const QList<int> &indexSet)
{
    return int(std::count_if(indexSet.cbegin(), indexSet.cend(), [row](int i) { return i < row; }));
}

QString ZEM_A_C_ArrayController::deleteWarningText() const
{
    return ZEM_F_E_Language::shared()->stringForKey(
        countIsMoreThanOne() ? QStringLiteral("M02:Deleting") : QStringLiteral("M03:Deleting"));
}

// --- selection ---

bool ZEM_A_C_ArrayController::selectObject(QObject *record)
{
    for (int row = 0; row < m_arranged.size(); ++row)
        if (m_content.at(m_arranged.at(row)) == record)
            return selectObjectRow(row);
    return false;
}

bool ZEM_A_C_ArrayController::selectObjectRow(int row)
{
    if (row < 0 || row >= m_arranged.size())
        return false;
    setSelectionIndexes({row});
    return true;
}

void ZEM_A_C_ArrayController::setSelectionIndexes(const QList<int> &rows)
{
    QList<int> sorted = rows;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    m_selected.clear();
    for (int row : std::as_const(sorted))
        if (QObject *record = objectAtRow(row))
            m_selected.append(record);
    Q_EMIT selectionDidChange();
    checkButtons();
}

// --- editing ---

void ZEM_A_C_ArrayController::add(QObject *)
{
    if (QObject *record = newObject())
        addObject(record);
}

void ZEM_A_C_ArrayController::insert(QObject *)
{
    const QList<int> rows = selectionIndexes();
    addNewRecordAtRow(rows.isEmpty() ? 0 : rows.first());
}

void ZEM_A_C_ArrayController::addObject(QObject *record)
{
    addObjects({record});
}

void ZEM_A_C_ArrayController::addObjects(const QList<QObject *> &records)
{
    if (records.isEmpty())
        return;
    addRecordsToArrayController(records, arrangedCount());
    addFollowUp();
}

void ZEM_A_C_ArrayController::addFollowUp()
{
    setHasChanges(setWindowHasChangesPrefsController(true));
    for (QObject *table : {m_table.data(), m_shadowTable.data()})
        if (table && platform::respondsTo(table, "scrollAfterDelay"))
            platform::performAfterDelay(table, "scrollAfterDelay", {}, 0.25);
}

QObject *ZEM_A_C_ArrayController::addNewRecordAtRow(int row)
{
    QObject *record = newObject();
    if (record)
        addRecordsToArrayController({record}, row);
    return record;
}

bool ZEM_A_C_ArrayController::addRecordsToArrayController(const QList<QObject *> &records, int row)
{
    if (records.isEmpty())
        return false;
    row = std::clamp(row, 0, arrangedCount());
    // The block goes into the content before the record now shown at the row, else at its end.
    const int at = row < arrangedCount() ? m_arranged.at(row) : int(m_content.size());
    const int k = int(records.size());
    beginInsertRows({}, row, row + k - 1);
    for (int i = 0; i < k; ++i)
        m_content.insert(at + i, records.at(i));
    for (int &i : m_arranged)
        if (i >= at)
            i += k;
    for (int i = 0; i < k; ++i)
        m_arranged.insert(row + i, at + i);
    m_arrangement->invalidate();
    endInsertRows();
    QList<int> block;
    for (int i = 0; i < k; ++i)
        block.append(row + i);
    setSelectionIndexes(block);
    setHasChanges(setWindowHasChangesPrefsController(true));
    return true;
}

int ZEM_A_C_ArrayController::insertionPoint(bool end) const
{
    const int preference = ZEM_F_Host::defaults()->getIntFromClass(QStringLiteral("RowInsertionPoint"));
    int row = 0;
    if (QObject *last = lastObject())
        row = int(m_content.indexOf(last)) + (end ? 1 : preference);
    else
        row = (end || preference) ? arrangedCount() : 0;
    // With a search or filter the content position can lie past the rows shown.
    return std::clamp(row, 0, arrangedCount());
}

QObject *ZEM_A_C_ArrayController::createNewWithDict(const QVariantMap &values, QObject *record)
{
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        setRecordValue(record, it.value(), it.key());
    return record;
}

platform::PersistentObject *ZEM_A_C_ArrayController::createNewManagedObjectFromObject(platform::PersistentObject *record)
{
    platform::StoreContext *context = managedObjectContext();
    if (!context || !record)
        return nullptr;
    platform::PersistentObject *copy = context->insertNewObject(record->entityName());
    const platform::DataModel *model = context->model();
    const platform::EntityDescription *entity = model ? model->entity(record->entityName()) : nullptr;
    if (entity) {
        for (const platform::AttributeDescription &attribute : entity->attributes)
            copy->setValueForKey(record->valueForKey(attribute.name), attribute.name);
    } else {
        for (const QString &key : record->primitiveKeys())
            copy->setValueForKey(record->valueForKey(key), key);
    }
    return copy;
}

void ZEM_A_C_ArrayController::removeRecords(const QList<QObject *> &records)
{
    if (records.isEmpty())
        return;
    const QSet<QObject *> gone(records.cbegin(), records.cend());
    platform::StoreContext *context = managedObjectContext();
    QList<int> remap(m_content.size(), -1);
    QList<QObject *> kept;
    kept.reserve(m_content.size());
    QList<QObject *> removed;
    for (int i = 0; i < m_content.size(); ++i) {
        QObject *record = m_content.at(i);
        if (gone.contains(record)) {
            removed.append(record);
            continue;
        }
        remap[i] = int(kept.size());
        kept.append(record);
    }
    if (removed.isEmpty())
        return;
    beginResetModel();
    m_content = std::move(kept);
    QList<int> arranged;
    arranged.reserve(m_arranged.size());
    for (int i : std::as_const(m_arranged))
        if (remap.at(i) >= 0)
            arranged.append(remap.at(i));
    m_arranged = std::move(arranged);
    m_selected.removeIf([&gone](QObject *record) { return gone.contains(record); });
    m_arrangement->invalidate();
    endResetModel();
    for (QObject *record : std::as_const(removed)) {
        auto *object = qobject_cast<platform::PersistentObject *>(record);
        if (context && object && object->managedObjectContext() == context)
            context->deleteObject(object);
        else if (record->parent() == this)
            record->deleteLater();
    }
    Q_EMIT selectionDidChange();
    scheduleCountUpdate();
}

void ZEM_A_C_ArrayController::remove(QObject *)
{
    ZEM_F_E_Language *language = ZEM_F_E_Language::shared();
    const QString title = language->stringForKey(QStringLiteral("A:Delete"));
    for (QObject *table : {m_table.data(), m_shadowTable.data()}) {
        if (answersYes(ask(table, "checkCanDeleteRecords"))) {
            ZEM_A_C_Sheets::oKAlertSheet(title, language->stringForKey(QStringLiteral("M01:Deleting")),
                                         language->stringForKeyLook(QStringLiteral("NL:Ok")),
                                         QApplication::activeWindow(), this);
            return;
        }
    }
    if (ZEM_F_Host::defaults()->getStringFromClassIsTrue(QStringLiteral("DisbleDeleteMutipleRecordsWarning"))) {
        doDeleteSheet(kDeleteReturn);
        return;
    }
    QWidget *window = qobject_cast<QWidget *>(ask(m_table, "getWindow").value<QObject *>());
    if (!window)
        window = m_window;
    platform::AlertRequest request;
    request.title = title;
    request.text = deleteWarningText();
    request.buttons = {language->stringForKeyLook(QStringLiteral("NL:Cancel")),
                       language->stringForKeyLook(QStringLiteral("NL:Delete"))};
    request.window = window;
    request.delegate = this;
    request.style = platform::AlertRequest::Style::Sheet;
    platform::Alerts::runAlert(std::move(request), [guard = QPointer<ZEM_A_C_ArrayController>(this)](int button) {
        if (guard)
            guard->doDeleteSheet(button == 1 ? kDeleteReturn : kCancelReturn);
    });
}

void ZEM_A_C_ArrayController::doDeleteSheet(int returnCode)
{
    if (returnCode != kDeleteReturn)
        return;
    superRemove(this);
    for (QObject *table : {m_table.data(), m_shadowTable.data()})
        if (table && platform::respondsTo(table, "scrollAfterDelay"))
            platform::performAfterDelay(table, "scrollAfterDelay", {}, 0);
}

void ZEM_A_C_ArrayController::superRemove(QObject *)
{
    removeRecords(m_selected);
    if (m_mirrorArrayController)
        fetch(this);
    setHasChanges(setWindowHasChangesPrefsController(true));
}

void ZEM_A_C_ArrayController::removeObject(QObject *record)
{
    removeRecords({record});
    setHasChanges(setWindowHasChangesPrefsController(true));
}

void ZEM_A_C_ArrayController::removeAllObjects(QObject *)
{
    removeRecords(m_content);
    setHasChanges(setWindowHasChangesPrefsController(true));
}

QList<QObject *> ZEM_A_C_ArrayController::resetSortOrder(const QList<int> &rows, int dropRow)
{
    if (rows.isEmpty())
        return {};
    for (int row : rows)
        if (row < 0 || row >= arrangedCount())
            return {};
    const QList<QObject *> arranged = arrangedObjects();
    for (QObject *record : arranged)
        if (!tables::detail::recordAnswers(record, kSortOrder))
            return {};
    QList<QObject *> moved;
    int order = dropRow;
    for (int row : rows) {
        moved.append(arranged.at(row));
        setRecordValue(arranged.at(row), ++order, kSortOrder);
    }
    const QSet<QObject *> movedSet(moved.cbegin(), moved.cend());
    for (int i = 0; i < arranged.size(); ++i) {
        QObject *record = arranged.at(i);
        if (!movedSet.contains(record))
            setRecordValue(record, i < dropRow ? i + 1 : ++order, kSortOrder);
    }
    m_arrangement->invalidate();
    if (m_parentArrayController)
        m_parentArrayController->fetch(this);
    else
        fetch(this);
    setHasChanges(setWindowHasChangesPrefsController(true));
    return moved;
}

void ZEM_A_C_ArrayController::rollback()
{
    if (platform::StoreContext *context = managedObjectContext())
        context->rollback();
}

// --- has-changes, counters, buttons ---

void ZEM_A_C_ArrayController::setHasChanges(bool flag)
{
    if (flag && m_table && m_controller) {
        // A table that saves on every change saves now instead of marking the window edited.
        const QByteArray controllerClass = ask(m_table, "reloadControllerClass").toString().toLatin1();
        if (ask(m_table, "tableSavesOnChanges").toBool() && !controllerClass.isEmpty()
            && m_controller->inherits(controllerClass.constData()) && platform::respondsTo(m_table, "saveAction:")) {
            platform::performAfterDelay(m_table, "saveAction:", {QVariant::fromValue<QObject *>(this)}, 0);
            return;
        }
    }
    setHasChangesOnly(flag);
}

void ZEM_A_C_ArrayController::setHasChangesOnly(bool flag)
{
    setHasChangesValue(flag);
    updateCountField();
    checkButtons();
}

void ZEM_A_C_ArrayController::scheduleCountUpdate()
{
    m_countTimer.start();
}

void ZEM_A_C_ArrayController::updateCountField()
{
    if (m_countF)
        m_countF->setStringValue(QString::number(arrangedCount()));
    if (m_selectedF)
        m_selectedF->setStringValue(QString::number(count()));
    if (m_filterPredicate.isTrue())
        m_lastTotal = arrangedCount();
    if (m_totalF)
        m_totalF->setStringValue(QString::number(m_lastTotal));
}

void ZEM_A_C_ArrayController::checkButtons()
{
    if (m_table && platform::respondsTo(m_table, "setIsEditingText:"))
        platform::perform(m_table, "setIsEditingText:", {false});
    if (m_addButton)
        m_addButton->setEnabled(true);
    if (m_deleteButton)
        m_deleteButton->setEnabled(hasSelection());
    if (m_printButton)
        m_printButton->setEnabled(hasArrangedSelection());
    if (m_editTextViewB)
        m_editTextViewB->setEnabled(countIsOne());
    const bool changes = hasChanges();
    if (m_saveButton)
        m_saveButton->setEnabled(changes);
    if (m_window)
        m_window->setWindowModified(changes);
    updateCountField();
}

// --- the model ---

int ZEM_A_C_ArrayController::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : arrangedCount();
}

int ZEM_A_C_ArrayController::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columnKeys.size());
}

QVariant ZEM_A_C_ArrayController::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    QObject *record = objectAtRow(index.row());
    return record && index.column() < m_columnKeys.size() ? recordValue(record, m_columnKeys.at(index.column()))
                                                           : QVariant();
}

bool ZEM_A_C_ArrayController::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || role != Qt::EditRole || index.column() >= m_columnKeys.size())
        return false;
    QObject *record = objectAtRow(index.row());
    if (!record || !setRecordValue(record, value, m_columnKeys.at(index.column())))
        return false;
    m_arrangement->invalidate();
    Q_EMIT dataChanged(index.siblingAtColumn(0), index.siblingAtColumn(columnCount() - 1));
    return true;
}

Qt::ItemFlags ZEM_A_C_ArrayController::flags(const QModelIndex &index) const
{
    // Drops land on rows or, below the last row or in an empty table, on the table itself.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsDragEnabled
            | Qt::ItemIsDropEnabled
                           : Qt::ItemIsDropEnabled;
}

QVariant ZEM_A_C_ArrayController::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_columnKeys.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    const int stored = role == Qt::EditRole ? int(Qt::DisplayRole) : role;
    if (const auto found = m_headers.constFind({section, stored}); found != m_headers.cend())
        return *found;
    if (stored == Qt::DisplayRole)
        return m_columnKeys.at(section);
    return {};
}

bool ZEM_A_C_ArrayController::setHeaderData(int section, Qt::Orientation orientation, const QVariant &value, int role)
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_columnKeys.size())
        return false;
    m_headers.insert({section, role == Qt::EditRole ? int(Qt::DisplayRole) : role}, value);
    emit headerDataChanged(orientation, section, section);
    return true;
}
