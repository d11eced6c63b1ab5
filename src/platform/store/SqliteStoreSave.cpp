// The SQLite store's saves: one transaction that writes only what the records changed
// against the rows as they were loaded, and refuses rows another program changed since.

#include "platform/store/SqliteStore.h"

#include "platform/store/PersistentObject.h"
#include "platform/store/SqliteStore_p.h"
#include "platform/store/StoreContext.h"
#include "platform/store/detail/ObjectIDText.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

namespace platform {

using detail::objectIDText;
using namespace detail::sqlite;

namespace {

// The records or ObjectRefs a to-many value holds.
QVariantList membersOf(const QVariant &value)
{
    QVariantList members;
    if (value.metaType() == QMetaType::fromType<RecordSet>()) {
        for (PersistentObject *record : PersistentObject::setFromVariant(value))
            members.append(PersistentObject::toVariant(record));
    } else if (value.metaType() == QMetaType::fromType<ObjectRefList>()) {
        for (const ObjectRef &ref : value.value<ObjectRefList>())
            members.append(QVariant::fromValue(ref));
    } else if (value.typeId() == QMetaType::QVariantList) {
        members = value.toList();
    }
    return members;
}

} // namespace

struct SqliteStore::Private::SaveState
{
    QHash<const PersistentObject *, qint64> insertedKeys;
    QSet<const PersistentObject *> deletedRecords;
    QSet<std::pair<int, qint64>> deletedKeys;
    QHash<std::pair<int, qint64>, bool> known;
    // Per-row buffers, reused from row to row.
    std::vector<QByteArray> keep;
    QVariantList attributes;
    QList<qint64> toOnes;
    // What the rows of inserted and updated records hold once saved.
    QHash<std::pair<int, qint64>, RowBase> written;

    struct LinkChange
    {
        const ToManyLink *link;
        qint64 key;
        QList<qint64> added, removed;
    };
    std::vector<LinkChange> linkChanges;
};

// The key of the record \a value names (a record or an ObjectRef) as a destination of
// entity \a destination, or 0 when it is nothing this save can point at.
ZEM_Result<qint64> SqliteStore::Private::targetKey(const QVariant &value, int destination, SaveState &state)
{
    const QString &destinationName = layout.entities.at(destination).name;
    QString entity;
    qint64 key = 0;
    if (value.metaType().flags() & QMetaType::PointerToQObject) {
        PersistentObject *record = PersistentObject::fromVariant(value);
        if (!record || record->entityName() != destinationName)
            return qint64(0);
        if (const auto it = state.insertedKeys.constFind(record); it != state.insertedKeys.cend())
            return *it;
        if (record->isDeleted() || state.deletedRecords.contains(record))
            return qint64(0);
        const StoreContext *context = record->managedObjectContext();
        if (!context || context->persistentStore() != q)
            return qint64(0);
        if (!parseObjectID(record->objectID(), &entity, &key) || entity != destinationName)
            return qint64(0);
    } else if (value.metaType() == QMetaType::fromType<ObjectRef>()) {
        const ObjectRef ref = value.value<ObjectRef>();
        if (ref.entityName != destinationName || !parseObjectID(ref.objectID, &entity, &key) || entity != destinationName)
            return qint64(0);
    } else {
        return qint64(0);
    }
    const std::pair<int, qint64> id{destination, key};
    if (state.deletedKeys.contains(id))
        return qint64(0);
    if (const auto it = state.known.constFind(id); it != state.known.cend())
        return *it ? key : qint64(0);
    const ZEM_Result<bool> exists = rowExists(destination, key);
    if (!exists)
        return exists.error();
    state.known.insert(id, *exists);
    return *exists ? key : qint64(0);
}

ZEM_Result<QSet<qint64>> SqliteStore::Private::targetKeys(const QVariant &value, int destination, SaveState &state)
{
    QSet<qint64> keys;
    for (const QVariant &member : membersOf(value)) {
        const ZEM_Result<qint64> key = targetKey(member, destination, state);
        if (!key)
            return key.error();
        if (*key)
            keys.insert(*key);
    }
    return keys;
}

ZEM_Result<void> SqliteStore::Private::writeRow(PersistentObject *record, int entity, qint64 key, bool insert,
                                                SaveState &state)
{
    const EntityLayout &e = layout.entities.at(entity);
    const QString what = u"Cannot save to the store"_s;
    // Every value first: reading one may load a record, which uses statements of its own.
    QVariantList &attributes = state.attributes;
    attributes.clear();
    for (const AttributeColumn &a : e.attributes) {
        const QVariant raw = record->primitiveValueForKey(a.attribute.name);
        QVariant value = a.attribute.coerce(raw);
        const bool noDate = raw.typeId() == QMetaType::QDateTime && !raw.toDateTime().isValid();
        if (!value.isValid() && raw.isValid() && !raw.isNull() && !noDate)
            return failure(ZEM_Error::InvalidArgument,
                           u"Cannot save %1 to the store %2: its %3 (%4) cannot be stored as %5."_s.arg(
                               objectIDText(e.name, key), path, a.attribute.name, QString::fromLatin1(raw.typeName()),
                               AttributeDescription::typeName(a.attribute.type)));
        attributes.append(std::move(value));
    }
    QList<qint64> &toOnes = state.toOnes;
    toOnes.clear();
    for (const ToOneColumn &t : e.toOnes) {
        const ZEM_Result<qint64> target = targetKey(record->primitiveValueForKey(t.name), t.destination, state);
        if (!target)
            return target.error();
        toOnes.append(*target);
    }

    RowBase &saved = state.written[{entity, key}];
    saved.columns = attributes;
    for (qint64 target : std::as_const(toOnes))
        saved.columns.append(target);

    // An update writes the columns that differ from the row as loaded, where the file still
    // holds what was loaded there (or already what is written).
    const qsizetype attributeCount = e.attributes.size();
    const auto base = insert ? bases.constEnd() : bases.constFind({entity, key});
    QList<qsizetype> changed;
    if (base != bases.constEnd()) {
        for (qsizetype c = 0; c < saved.columns.size(); ++c) {
            const bool same = c < attributeCount
                                  ? sameStored(saved.columns.at(c), base->columns.at(c), e.attributes.at(c).attribute.type)
                                  : saved.columns.at(c).toLongLong() == base->columns.at(c).toLongLong();
            if (!same)
                changed.append(c);
        }
        if (changed.isEmpty()) {
            const ZEM_Result<bool> exists = rowExists(entity, key);
            if (!exists)
                return exists.error();
            if (!*exists)
                return changedError(entity, key);
            return {};
        }
    }
    const auto columnName = [&e, attributeCount](qsizetype c) {
        return c < attributeCount ? e.attributes.at(c).column : e.toOnes.at(c - attributeCount).column;
    };
    const auto bindColumn = [&](sqlite3_stmt *s, int index, qsizetype c, const QVariant &value) {
        if (c < attributeCount)
            return bindValue(s, index, value, e.attributes.at(c).attribute.type, state.keep);
        const qint64 target = value.toLongLong();
        return target ? sqlite3_bind_int64(s, index, target) : sqlite3_bind_null(s, index);
    };
    QByteArray sql = insert ? e.insertSql : e.updateSql;
    if (base != bases.constEnd()) {
        QByteArrayList assignments, conditions;
        for (qsizetype i = 0; i < changed.size(); ++i) {
            const QByteArray column = columnName(changed.at(i));
            const QByteArray now = '?' + QByteArray::number(i + 2);
            const QByteArray was = '?' + QByteArray::number(changed.size() + i + 2);
            assignments.append(column + " = " + now);
            conditions.append(" AND (" + column + " IS " + was + " OR " + column + " IS " + now + ')');
        }
        sql = "UPDATE " + e.table + " SET " + assignments.join(", ") + " WHERE \"Z_PK\" = ?1" + conditions.join();
    }
    ZEM_Result<sqlite3_stmt *> prepared = statement(sql, ZEM_Error::WriteFailed, what);
    if (!prepared)
        return prepared.error();
    state.keep.clear();
    const StatementUse use(*prepared);
    int index = 1;
    int rc = sqlite3_bind_int64(use, index++, key);
    if (base == bases.constEnd()) {
        for (qsizetype c = 0; c < saved.columns.size() && rc == SQLITE_OK; ++c)
            rc = bindColumn(use, index++, c, saved.columns.at(c));
    } else {
        for (qsizetype c : std::as_const(changed))
            if (rc == SQLITE_OK)
                rc = bindColumn(use, index++, c, saved.columns.at(c));
        for (qsizetype c : std::as_const(changed))
            if (rc == SQLITE_OK)
                rc = bindColumn(use, index++, c, base->columns.at(c));
    }
    if (rc != SQLITE_OK || sqlite3_step(use) != SQLITE_DONE)
        return sqlError(ZEM_Error::WriteFailed, what);
    if (!insert && sqlite3_changes(db) == 0)
        return changedError(entity, key);
    return {};
}

// Conflict for a row that is gone from the file or holds what another program saved.
ZEM_Error SqliteStore::Private::changedError(int entity, qint64 key)
{
    const QString id = objectIDText(layout.entities.at(entity).name, key);
    const ZEM_Result<bool> exists = rowExists(entity, key);
    if (!exists)
        return exists.error();
    if (!*exists)
        return failure(ZEM_Error::Conflict, u"Cannot save %1 to the store %2: the record is no longer in it."_s.arg(id, path));
    return failure(ZEM_Error::Conflict,
                   u"Cannot save %1 to the store %2: another program changed it since it was read."_s.arg(id, path));
}

ZEM_Result<bool> SqliteStore::Private::rowExists(int entity, qint64 key)
{
    const QString what = u"Cannot save to the store"_s;
    ZEM_Result<sqlite3_stmt *> prepared = statement(layout.entities.at(entity).existsSql, ZEM_Error::WriteFailed, what);
    if (!prepared)
        return prepared.error();
    const StatementUse use(*prepared);
    sqlite3_bind_int64(use, 1, key);
    const int rc = sqlite3_step(use);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        return sqlError(ZEM_Error::WriteFailed, what);
    return rc == SQLITE_ROW;
}

// A record is deleted only as it was loaded: deleting it would drop another program's edits.
ZEM_Result<void> SqliteStore::Private::checkDeletable(int entity, qint64 key)
{
    const auto base = bases.constFind({entity, key});
    if (base == bases.constEnd())
        return {};
    const EntityLayout &e = layout.entities.at(entity);
    const QString what = u"Cannot save to the store"_s;
    QByteArray sql = "SELECT 1 FROM " + e.table + " WHERE \"Z_PK\" = ?1";
    int index = 2;
    for (const AttributeColumn &a : e.attributes)
        sql += " AND " + a.column + " IS ?" + QByteArray::number(index++);
    for (const ToOneColumn &t : e.toOnes)
        sql += " AND " + t.column + " IS ?" + QByteArray::number(index++);
    ZEM_Result<sqlite3_stmt *> prepared = statement(sql, ZEM_Error::WriteFailed, what);
    if (!prepared)
        return prepared.error();
    std::vector<QByteArray> keep;
    const StatementUse use(*prepared);
    int rc = sqlite3_bind_int64(use, 1, key);
    for (qsizetype c = 0; c < base->columns.size() && rc == SQLITE_OK; ++c) {
        const QVariant &value = base->columns.at(c);
        if (c < e.attributes.size())
            rc = bindValue(use, int(c + 2), value, e.attributes.at(c).attribute.type, keep);
        else
            rc = value.toLongLong() ? sqlite3_bind_int64(use, int(c + 2), value.toLongLong()) : sqlite3_bind_null(use, int(c + 2));
    }
    if (rc != SQLITE_OK)
        return sqlError(ZEM_Error::WriteFailed, what);
    rc = sqlite3_step(use);
    if (rc == SQLITE_ROW)
        return {};
    if (rc != SQLITE_DONE)
        return sqlError(ZEM_Error::WriteFailed, what);
    const ZEM_Result<bool> exists = rowExists(entity, key);
    if (!exists)
        return exists.error();
    if (!*exists)
        return {}; // deleted by another program too
    return changedError(entity, key);
}

// After a commit: the rows as this save left them.
void SqliteStore::Private::updateBases(const SaveState &state)
{
    for (const auto &id : state.deletedKeys)
        bases.remove(id);
    for (auto it = state.written.cbegin(); it != state.written.cend(); ++it)
        bases.insert(it.key(), it.value());
    // Links kept in the destination's to-one column changed that row too.
    for (const SaveState::LinkChange &change : state.linkChanges) {
        if (change.link->kind != ToManyLink::Inverse)
            continue;
        const EntityLayout &destination = layout.entities.at(change.link->destination);
        qsizetype column = destination.attributes.size();
        for (const ToOneColumn &t : destination.toOnes) {
            if (t.name == change.link->inverseName)
                break;
            ++column;
        }
        for (qint64 k : change.removed)
            if (auto it = bases.find({change.link->destination, k}); it != bases.end() && it->columns.at(column).toLongLong() == change.key)
                it->columns[column] = qint64(0);
        for (qint64 k : change.added)
            if (auto it = bases.find({change.link->destination, k}); it != bases.end())
                it->columns[column] = change.key;
    }
    // Deleting a record emptied the to-one columns that pointed at it.
    if (state.deletedKeys.isEmpty())
        return;
    for (auto it = bases.begin(); it != bases.end(); ++it) {
        const EntityLayout &e = layout.entities.at(it.key().first);
        for (qsizetype t = 0; t < e.toOnes.size(); ++t) {
            QVariant &value = it->columns[e.attributes.size() + t];
            if (state.deletedKeys.contains({e.toOnes.at(t).destination, value.toLongLong()}))
                value = qint64(0);
        }
    }
}

ZEM_Result<void> SqliteStore::Private::writeChanges(const Changes &changes, SaveState &state)
{
    const QString what = u"Cannot save to the store"_s;

    // Keys for the new records first, so links among them resolve. Keys of deleted records
    // are never reused: the counter keeps the highest key ever given.
    QHash<int, QList<PersistentObject *>> insertedByEntity;
    QList<int> insertOrder;
    for (PersistentObject *record : changes.inserted) {
        const int entity = entityIndex(record->entityName());
        if (!insertedByEntity.contains(entity))
            insertOrder.append(entity);
        insertedByEntity[entity].append(record);
    }
    QHash<int, qint64> highest;
    for (int entity : std::as_const(insertOrder)) {
        const EntityLayout &e = layout.entities.at(entity);
        ZEM_Result<sqlite3_stmt *> counter = statement("SELECT \"Z_MAX\" FROM \"Z_PRIMARYKEY\" WHERE \"Z_NAME\" = ?1",
                                                       ZEM_Error::WriteFailed, what);
        if (!counter)
            return counter.error();
        qint64 top = 0;
        {
            const StatementUse use(*counter);
            const QByteArray name = e.name.toUtf8();
            sqlite3_bind_text64(use, 1, name.constData(), sqlite3_uint64(name.size()), SQLITE_STATIC, SQLITE_UTF8);
            const int rc = sqlite3_step(use);
            if (rc == SQLITE_ROW)
                top = sqlite3_column_int64(use, 0);
            else if (rc != SQLITE_DONE)
                return sqlError(ZEM_Error::WriteFailed, what);
        }
        ZEM_Result<sqlite3_stmt *> maximum = statement(e.maxSql, ZEM_Error::WriteFailed, what);
        if (!maximum)
            return maximum.error();
        {
            const StatementUse use(*maximum);
            if (sqlite3_step(use) != SQLITE_ROW)
                return sqlError(ZEM_Error::WriteFailed, what);
            top = std::max(top, qint64(sqlite3_column_int64(use, 0)));
        }
        const QList<PersistentObject *> &records = insertedByEntity.value(entity);
        if (top < 0 || top > std::numeric_limits<qint64>::max() - records.size())
            return failure(ZEM_Error::WriteFailed, u"Cannot save to the store %1: no keys are left for %2."_s.arg(path, e.name));
        for (PersistentObject *record : records)
            state.insertedKeys.insert(record, ++top);
        highest.insert(entity, top);
    }

    QList<std::pair<int, qint64>> deletions;
    for (PersistentObject *record : changes.deleted) {
        QString entity;
        qint64 key = 0;
        parseObjectID(record->objectID(), &entity, &key);
        const std::pair<int, qint64> id{entityIndex(entity), key};
        state.deletedRecords.insert(record);
        state.deletedKeys.insert(id);
        deletions.append(id);
        if (ZEM_Result<void> r = checkDeletable(id.first, id.second); !r)
            return r;
    }

    // Link changes against the stored state, before anything is written: a record that
    // did not change a link leaves it as the other side sets it.
    auto collectLinks = [&](PersistentObject *record, int entity, qint64 key, bool inserted) -> ZEM_Result<void> {
        for (const ToManyLink &link : layout.entities.at(entity).toManys) {
            ZEM_Result<QSet<qint64>> current = targetKeys(record->primitiveValueForKey(link.name), link.destination, state);
            if (!current)
                return current.error();
            // Against the links as loaded where known, so links another program made or
            // dropped since stay as it left them.
            QSet<qint64> stored;
            const auto base = inserted ? bases.constEnd() : bases.constFind({entity, key});
            if (base != bases.constEnd()) {
                const QList<qint64> &keys = base->links.at(&link - layout.entities.at(entity).toManys.constData());
                stored = QSet<qint64>(keys.cbegin(), keys.cend());
            } else if (!inserted) {
                ZEM_Result<QList<qint64>> keys = relatedKeys(link, key, ZEM_Error::WriteFailed);
                if (!keys)
                    return keys.error();
                stored = QSet<qint64>(keys->cbegin(), keys->cend());
            }
            QList<qint64> now(current->cbegin(), current->cend());
            std::sort(now.begin(), now.end());
            state.written[{entity, key}].links.append(now);
            SaveState::LinkChange change{&link, key, {}, {}};
            for (qint64 k : std::as_const(*current))
                if (!stored.contains(k))
                    change.added.append(k);
            for (qint64 k : std::as_const(stored))
                if (!current->contains(k))
                    change.removed.append(k);
            if (!change.added.isEmpty() || !change.removed.isEmpty()) {
                std::sort(change.added.begin(), change.added.end());
                std::sort(change.removed.begin(), change.removed.end());
                state.linkChanges.push_back(std::move(change));
            }
        }
        return {};
    };
    QList<std::pair<int, qint64>> updates;
    for (PersistentObject *record : changes.updated) {
        QString entity;
        qint64 key = 0;
        parseObjectID(record->objectID(), &entity, &key);
        const int index = entityIndex(entity);
        updates.append({index, key});
        if (ZEM_Result<void> r = collectLinks(record, index, key, false); !r)
            return r;
    }
    for (PersistentObject *record : changes.inserted) {
        const int entity = entityIndex(record->entityName());
        if (ZEM_Result<void> r = collectLinks(record, entity, state.insertedKeys.value(record), true); !r)
            return r;
    }

    for (PersistentObject *record : changes.inserted)
        if (ZEM_Result<void> r = writeRow(record, entityIndex(record->entityName()), state.insertedKeys.value(record), true, state);
            !r)
            return r;
    for (qsizetype i = 0; i < changes.updated.size(); ++i)
        if (ZEM_Result<void> r = writeRow(changes.updated.at(i), updates.at(i).first, updates.at(i).second, false, state); !r)
            return r;

    for (const SaveState::LinkChange &change : state.linkChanges) {
        for (const auto &[keys, sql] : {std::pair(&change.removed, &change.link->removeSql),
                                        std::pair(&change.added, &change.link->addSql)}) {
            if (keys->isEmpty())
                continue;
            ZEM_Result<sqlite3_stmt *> prepared = statement(*sql, ZEM_Error::WriteFailed, what);
            if (!prepared)
                return prepared.error();
            for (qint64 other : *keys) {
                const StatementUse use(*prepared);
                sqlite3_bind_int64(use, 1, change.key);
                sqlite3_bind_int64(use, 2, other);
                if (sqlite3_step(use) != SQLITE_DONE)
                    return sqlError(ZEM_Error::WriteFailed, what);
            }
        }
    }

    for (const auto &[entity, key] : std::as_const(deletions)) {
        const EntityLayout &e = layout.entities.at(entity);
        for (const QByteArray &sql : QByteArrayList{e.deleteSql} + e.cleanupSql) {
            ZEM_Result<sqlite3_stmt *> prepared = statement(sql, ZEM_Error::WriteFailed, what);
            if (!prepared)
                return prepared.error();
            const StatementUse use(*prepared);
            sqlite3_bind_int64(use, 1, key);
            if (sqlite3_step(use) != SQLITE_DONE)
                return sqlError(ZEM_Error::WriteFailed, what);
        }
    }

    for (auto it = highest.cbegin(); it != highest.cend(); ++it) {
        ZEM_Result<sqlite3_stmt *> prepared =
            statement("INSERT OR REPLACE INTO \"Z_PRIMARYKEY\" (\"Z_NAME\", \"Z_MAX\") VALUES (?1, ?2)",
                      ZEM_Error::WriteFailed, what);
        if (!prepared)
            return prepared.error();
        const StatementUse use(*prepared);
        const QByteArray name = layout.entities.at(it.key()).name.toUtf8();
        sqlite3_bind_text64(use, 1, name.constData(), sqlite3_uint64(name.size()), SQLITE_STATIC, SQLITE_UTF8);
        sqlite3_bind_int64(use, 2, it.value());
        if (sqlite3_step(use) != SQLITE_DONE)
            return sqlError(ZEM_Error::WriteFailed, what);
    }
    return {};
}

ZEM_Result<void> SqliteStore::saveChanges(const Changes &changes)
{
    if (d->readOnly)
        return d->failure(ZEM_Error::WriteFailed, u"The store %1 is open read-only."_s.arg(d->path));
    if (changes.inserted.isEmpty() && changes.updated.isEmpty() && changes.deleted.isEmpty())
        return {};
    // Every record must belong here before anything is written.
    for (PersistentObject *record : changes.inserted)
        if (!record || d->entityIndex(record->entityName()) < 0)
            return d->failure(ZEM_Error::InvalidArgument,
                              u"Cannot save to the store %1: it has no entity %2."_s.arg(
                                  d->path, record ? record->entityName() : u"(none)"_s));
    for (const QList<PersistentObject *> *list : {&changes.updated, &changes.deleted}) {
        for (PersistentObject *record : *list) {
            QString entity;
            qint64 key = 0;
            if (!record || !parseObjectID(record->objectID(), &entity, &key) || entity != record->entityName()
                || d->entityIndex(entity) < 0)
                return d->failure(ZEM_Error::InvalidArgument,
                                  u"Cannot save to the store %1: \"%2\" is not one of its records."_s.arg(
                                      d->path, record ? record->objectID() : u"(none)"_s));
        }
    }

    if (ZEM_Result<void> begun = d->exec("BEGIN IMMEDIATE", ZEM_Error::WriteFailed, u"Cannot save to the store"_s);
        !begun)
        return begun;
    Private::SaveState state;
    ZEM_Result<void> written = d->writeChanges(changes, state);
    if (written)
        written = d->exec("COMMIT", ZEM_Error::WriteFailed, u"Cannot save to the store"_s);
    if (!written) {
        d->rollback();
        return written;
    }
    d->updateBases(state);
    for (PersistentObject *record : changes.inserted)
        if (StoreContext *context = record->managedObjectContext())
            context->setObjectID(record, objectIDText(record->entityName(), state.insertedKeys.value(record)));
    return {};
}

} // namespace platform
