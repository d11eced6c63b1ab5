// The array controller's drag and drop: writing rows to the pasteboard, validating and
// accepting drops from its table views, and the same through the model's MIME interface.

#include "ZEM_A_C_ArrayController.h"

#include "foundation/ZEM_F_HostDelegate.h"
#include "platform/Invoke.h"
#include "platform/Pasteboard.h"
#include "tables/detail/Ask.h"
#include "tables/detail/RecordValues.h"

#include <QAbstractButton>
#include <QMimeData>
#include <QUrl>

#include <algorithm>

using tables::detail::answersYes;
using tables::detail::ask;
using tables::detail::recordAnswers;
using tables::detail::recordValue;

namespace {

const QString kSortOrderKey = QStringLiteral("sortOrder");

bool tableSays(QObject *table, const char *flag)
{
    return answersYes(ask(table, flag));
}

QList<int> movedRows(const QMimeData *pasteboard)
{
    QList<int> rows;
    for (const QVariant &row : platform::propertyList(pasteboard, tables::kMovedRowsType).toList())
        rows.append(row.toInt());
    return rows;
}

/** The record's URL when its text, percent-escaped as ASCII, makes a valid one; empty otherwise. */
QUrl recordUrl(const QString &text)
{
    for (QChar c : text)
        if (c.unicode() > 0x7f)
            return {};
    const QUrl url = QUrl::fromEncoded(QUrl::toPercentEncoding(text, "!#$%&'()*+,/:;=?@[]~"), QUrl::StrictMode);
    return url.isValid() && !url.isEmpty() ? url : QUrl();
}

} // namespace

void ZEM_A_C_ArrayController::setRegisterForDragged()
{
    QStringList types{tables::kCopiedRowsType, tables::kMovedRowsType};
    for (QObject *object : {m_preferncePane.data(), m_controller.data(), m_table.data(), static_cast<QObject *>(this)})
        if (object && platform::respondsTo(object, "getAdditionPBoardTypes"))
            types.append(platform::perform(object, "getAdditionPBoardTypes").toStringList());
    m_registeredTypes = types;
    for (QObject *table : {m_table.data(), m_shadowTable.data()})
        ask(table, "registerForDraggedTypes:", {types});
}

QString ZEM_A_C_ArrayController::convertPasteBoradType(const QString &type)
{
    if (type == QLatin1String("Apple URL pasteboard type"))
        return QStringLiteral("AppleURLPasteboardType");
    if (type == QLatin1String("NeXT plain ascii pasteboard type"))
        return QStringLiteral("NeXTPlainAsciiPasteboardType");
    return type;
}

QObject *ZEM_A_C_ArrayController::firstAnswering(const char *name) const
{
    for (QObject *object : {m_preferncePane.data(), m_controller.data(), m_table.data(),
                            static_cast<QObject *>(const_cast<ZEM_A_C_ArrayController *>(this))})
        if (object && platform::respondsTo(object, name))
            return object;
    return nullptr;
}

QString ZEM_A_C_ArrayController::checkTableHasPBoardType(const QStringList &types) const
{
    if (types.contains(tables::kMovedRowsType) && tableSays(m_table, "tableCanDragIn"))
        return tables::kMovedRowsType;
    QObject *provider = firstAnswering("getAdditionPBoardTypes");
    if (!provider)
        return {};
    for (const QString &type : platform::perform(provider, "getAdditionPBoardTypes").toStringList())
        if (types.contains(type))
            return type;
    return {};
}

bool ZEM_A_C_ArrayController::checkExcludeType(const ZEM_A_C_DraggingInfo &, const QString &)
{
    return true;
}

bool ZEM_A_C_ArrayController::tableViewWriteRows(QObject *tableView, const QList<int> &rows, QMimeData *pasteboard)
{
    const bool allowed = (tableSays(m_table, "tableCanReorder")
                          && !ZEM_F_Host::defaults()->getStringFromClassIsTrue(QStringLiteral("DisbleTableRowDragging")))
        || tableSays(m_table, "tableCanDragOut");
    if (!allowed || !pasteboard || rows.isEmpty())
        return false;
    for (int row : rows)
        if (row < 0 || row >= arrangedCount())
            return false;
    const int first = rows.first();
    if (rows.size() == 1 && !selectionIndexes().contains(first))
        setSelectionIndexes({first});

    if (rows.size() == 1) {
        QObject *record = objectAtRow(first);
        if (recordAnswers(record, QStringLiteral("url"))) {
            const QString text = recordValue(record, QStringLiteral("url")).toString();
            const QUrl url = recordUrl(text);
            if (url.isValid()) {
                platform::setPropertyList(pasteboard, platform::kStringType, text);
                platform::setPropertyList(pasteboard, platform::kUrlType, url);
            }
        } else if (recordAnswers(record, QStringLiteral("folder"))) {
            platform::setPropertyList(pasteboard, platform::kFilenamesType,
                                      QStringList{recordValue(record, QStringLiteral("folder")).toString()});
        }
    }
    QVariantList rowNumbers;
    QList<QObject *> records;
    for (int row : rows) {
        rowNumbers.append(row);
        records.append(objectAtRow(row));
    }
    platform::setLocalPropertyList(pasteboard, tables::kMovedRowsType, rowNumbers, tableView);
    platform::setLocalPropertyList(pasteboard, tables::kCopiedRowsType, QVariant::fromValue(records), tableView);
    return true;
}

Qt::DropAction ZEM_A_C_ArrayController::tableViewValidateDrop(QObject *tableView, ZEM_A_C_DraggingInfo &info,
                                                              int proposedRow, int)
{
    if (proposedRow < 0 || proposedRow > arrangedCount())
        return Qt::IgnoreAction;
    const bool internal = info.source && (info.source == m_table || info.source == m_shadowTable);
    if (!internal) {
        if (info.source && m_table && info.source->metaObject() == m_table->metaObject()
            && !tableSays(m_table, "tableCanDragIn"))
            return Qt::IgnoreAction;
        if (tableView && platform::respondsTo(tableView, "acceptsDragingInfo:")
            && !answersYes(platform::perform(tableView, "acceptsDragingInfo:", {QVariant::fromValue(info)})))
            return Qt::IgnoreAction;
    } else if ((tableSays(m_table, "tableCanDragIn") || tableSays(m_table, "tableCanDragOut"))
               && !tableSays(m_table, "tableCanReorder")) {
        return Qt::IgnoreAction;
    }

    const QString type = checkTableHasPBoardType(platform::pasteboardTypes(info.pasteboard));
    if (type == platform::kFilenamesType) {
        if (QObject *judge = firstAnswering("acceptsTableDrop:")) {
            const QVariant paths = platform::propertyList(info.pasteboard, type);
            if (!answersYes(platform::perform(judge, "acceptsTableDrop:", {paths})))
                return Qt::IgnoreAction;
        }
    }

    Qt::DropAction operation = Qt::IgnoreAction;
    for (const char *flag : {"tableCanDragIn", "canDuplicateRows", "acceptUrls", "acceptFileTypes"})
        if (tableSays(m_table, flag))
            operation = Qt::CopyAction;

    if (internal && tableSays(m_table, "tableCanReorder")) {
        const QList<int> rows = movedRows(info.pasteboard);
        QObject *last = rows.isEmpty() ? nullptr : objectAtRow(rows.last());
        if (last && recordAnswers(last, kSortOrderKey)) {
            setSortDescriptors({platform::SortDescriptor{kSortOrderKey, true, false}});
            operation = Qt::MoveAction;
        }
    }

    if (!type.isEmpty()) {
        if (type == tables::kAutomatorType && platform::respondsTo(this, "dropEmail:row:")
            && platform::propertyList(info.pasteboard, type).toList().size() > 1)
            operation = Qt::MoveAction;
        else if (type != platform::kFilenamesType && platform::respondsTo(this, "dropMove:row:")
                 && type == tables::kMovedRowsType)
            operation = Qt::MoveAction;
    }

    if (contentCount() != arrangedCount()) {
        for (QObject *resetter : {m_preferncePane.data(), m_controller.data(), static_cast<QObject *>(m_resetButton.data())})
            if (resetter && platform::respondsTo(resetter, "resetAction:")) {
                platform::perform(resetter, "resetAction:", {QVariant::fromValue<QObject *>(this)});
                break;
            }
    }

    if (operation == Qt::IgnoreAction)
        return Qt::IgnoreAction;
    if (!internal && !m_isAboveDrop) {
        if (arrangedCount() == 0)
            return Qt::IgnoreAction;
        info.dropRow = proposedRow;
        info.dropOperation = tables::kDropOn;
    } else {
        info.dropRow = proposedRow;
        info.dropOperation = tables::kDropAbove;
    }
    return operation;
}

bool ZEM_A_C_ArrayController::tableViewAcceptDrop(QObject *, const ZEM_A_C_DraggingInfo &info, int row, int)
{
    row = std::max(row, 0);
    const bool internal = info.source && (info.source == m_table || info.source == m_shadowTable);
    bool done = false;
    if (internal) {
        const QList<int> rows = movedRows(info.pasteboard);
        QObject *last = rows.isEmpty() ? nullptr : objectAtRow(rows.last());
        if (!last || !recordAnswers(last, kSortOrderKey))
            return false;
        const QList<QObject *> moved = resetSortOrder(rows, row);
        if (moved.isEmpty())
            return false;
        QList<int> selection;
        const QList<QObject *> arranged = arrangedObjects();
        for (QObject *record : moved)
            selection.append(int(arranged.indexOf(record)));
        setSelectionIndexes(selection);
        done = true;
    } else if (tableSays(m_table, "canDuplicateRows")) {
        const auto records = platform::propertyList(info.pasteboard, tables::kCopiedRowsType).value<QList<QObject *>>();
        done = addRecordsToArrayController(records, row);
    }

    if (!done) {
        const QString type = checkTableHasPBoardType(platform::pasteboardTypes(info.pasteboard));
        if (type.isEmpty())
            return false;
        QVariant result;
        if (type == tables::kAutomatorType && platform::respondsTo(this, "dropEmail:row:")) {
            result = platform::perform(this, "dropEmail:row:", {QVariant::fromValue(info), row});
        } else if (type != platform::kFilenamesType && type == tables::kMovedRowsType
                   && platform::respondsTo(this, "dropMove:row:")) {
            result = platform::perform(this, "dropMove:row:", {QVariant::fromValue(info), row});
        } else {
            const QByteArray handler = QStringLiteral("drop%1:row:").arg(convertPasteBoradType(type)).toUtf8();
            QObject *target = nullptr;
            if (m_preferncePane && platform::respondsTo(m_preferncePane, handler))
                target = m_preferncePane;
            else
                for (QObject *object : {m_controller.data(), m_table.data(), static_cast<QObject *>(this)})
                    if (object && platform::respondsTo(object, handler) && checkExcludeType(info, type)) {
                        target = object;
                        break;
                    }
            if (!target)
                return false;
            result = platform::perform(target, handler, {platform::propertyList(info.pasteboard, type), row});
        }
        if (!answersYes(result))
            return false;
    }

    if (m_table && platform::respondsTo(m_table, "resortArrayContent"))
        platform::performAfterDelay(m_table, "resortArrayContent", {}, 0);
    setHasChanges(setWindowHasChangesPrefsController(true));
    return true;
}

// --- the model side: a plain item view drags and drops as the controller's table ---

Qt::DropActions ZEM_A_C_ArrayController::supportedDragActions() const
{
    return Qt::CopyAction | Qt::MoveAction;
}

Qt::DropActions ZEM_A_C_ArrayController::supportedDropActions() const
{
    return Qt::CopyAction | Qt::MoveAction;
}

QStringList ZEM_A_C_ArrayController::mimeTypes() const
{
    const QStringList types = m_registeredTypes.isEmpty()
        ? QStringList{tables::kCopiedRowsType, tables::kMovedRowsType} : m_registeredTypes;
    QStringList formats;
    for (const QString &type : types)
        for (const QString &format : platform::mimeFormatsForType(type))
            if (!formats.contains(format))
                formats.append(format);
    return formats;
}

QMimeData *ZEM_A_C_ArrayController::mimeData(const QModelIndexList &indexes) const
{
    QList<int> rows;
    for (const QModelIndex &index : indexes)
        if (index.isValid() && !rows.contains(index.row()))
            rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    auto *mime = new QMimeData;
    // Writing may select the dragged row, as a drag from the table does.
    if (!const_cast<ZEM_A_C_ArrayController *>(this)->tableViewWriteRows(m_table, rows, mime)) {
        delete mime;
        return nullptr;
    }
    return mime;
}

ZEM_A_C_DraggingInfo ZEM_A_C_ArrayController::modelDrop(const QMimeData *data, int row, const QModelIndex &parent,
                                                        int *dropRow, int *operation) const
{
    ZEM_A_C_DraggingInfo info;
    info.pasteboard = data;
    info.source = platform::localSource(data, tables::kMovedRowsType);
    if (row >= 0) {
        *dropRow = row;
        *operation = tables::kDropAbove;
    } else if (parent.isValid()) {
        *dropRow = parent.row();
        *operation = tables::kDropOn;
    } else {
        *dropRow = arrangedCount();
        *operation = tables::kDropAbove;
    }
    return info;
}

bool ZEM_A_C_ArrayController::canDropMimeData(const QMimeData *data, Qt::DropAction, int row, int,
                                              const QModelIndex &parent) const
{
    int dropRow = 0, operation = 0;
    ZEM_A_C_DraggingInfo info = modelDrop(data, row, parent, &dropRow, &operation);
    // Validation may reset a search or switch to the manual order, as it does for the table.
    auto *self = const_cast<ZEM_A_C_ArrayController *>(this);
    return self->tableViewValidateDrop(m_table, info, dropRow, operation) != Qt::IgnoreAction;
}

bool ZEM_A_C_ArrayController::dropMimeData(const QMimeData *data, Qt::DropAction, int row, int,
                                           const QModelIndex &parent)
{
    int dropRow = 0, operation = 0;
    ZEM_A_C_DraggingInfo info = modelDrop(data, row, parent, &dropRow, &operation);
    if (tableViewValidateDrop(m_table, info, dropRow, operation) == Qt::IgnoreAction)
        return false;
    return tableViewAcceptDrop(m_table, info, info.dropRow, info.dropOperation);
}
