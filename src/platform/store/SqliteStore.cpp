// The SQLite store: loading rows, saving changes in one transaction, and fetching (through
// detail/SqlBuilder). The tables and opening a file are in SqliteSchema.cpp.

#include "platform/store/SqliteStore.h"

#include "platform/store/PersistentObject.h"
#include "platform/store/SqliteStore_p.h"
#include "platform/store/StoreContext.h"
#include "platform/store/detail/ObjectIDText.h"
#include "platform/store/detail/SqlBuilder.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

namespace platform {

using detail::objectIDText;
using namespace detail::sqlite;

namespace {

using Node = Predicate::Node;
using NodeKind = Predicate::NodeKind;
using NodePtr = std::shared_ptr<const Node>;

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

// Records given to a fetch compare as the ObjectRef the store loads for them.
QVariant storeConstant(const QVariant &value)
{
    if (value.metaType().flags() & QMetaType::PointerToQObject) {
        PersistentObject *record = PersistentObject::fromVariant(value);
        return record ? QVariant::fromValue(ObjectRef{record->entityName(), record->objectID()}) : QVariant();
    }
    if (value.metaType() == QMetaType::fromType<RecordSet>()) {
        QList<PersistentObject *> records = PersistentObject::setFromVariant(value).values();
        std::sort(records.begin(), records.end(),
                  [](PersistentObject *a, PersistentObject *b) { return a->objectID() < b->objectID(); });
        QVariantList refs;
        for (PersistentObject *record : std::as_const(records))
            refs.append(QVariant::fromValue(ObjectRef{record->entityName(), record->objectID()}));
        return refs;
    }
    if (value.typeId() == QMetaType::QVariantList) {
        QVariantList list = value.toList();
        for (QVariant &element : list)
            element = storeConstant(element);
        return list;
    }
    return value;
}

} // namespace

// ---------------------------------------------------------------------------------------
// Loading

ZEM_Result<std::optional<QVariantMap>> SqliteStore::Private::readRow(int entity, qint64 key)
{
    const EntityLayout &e = layout.entities.at(entity);
    const QString what = u"Cannot read from the store"_s;
    ZEM_Result<sqlite3_stmt *> prepared = statement(e.selectSql, ZEM_Error::ReadFailed, what);
    if (!prepared)
        return prepared.error();
    const StatementUse use(*prepared);
    sqlite3_bind_int64(use, 1, key);
    const int rc = sqlite3_step(use);
    if (rc == SQLITE_DONE)
        return std::optional<QVariantMap>();
    if (rc != SQLITE_ROW)
        return sqlError(ZEM_Error::ReadFailed, what);
    QVariantMap values;
    int column = 1;
    for (const AttributeColumn &a : e.attributes) {
        const QVariant value = valueFrom(sqlite3_column_value(use, column++), a.attribute.type);
        if (value.isValid())
            values.insert(a.attribute.name, value);
    }
    for (const ToOneColumn &t : e.toOnes) {
        sqlite3_value *value = sqlite3_column_value(use, column++);
        if (sqlite3_value_type(value) == SQLITE_NULL)
            continue;
        const QString &destination = layout.entities.at(t.destination).name;
        values.insert(t.name, QVariant::fromValue(ObjectRef{destination, objectIDText(destination, sqlite3_value_int64(value))}));
    }
    return std::optional<QVariantMap>(std::move(values));
}

ZEM_Result<QList<qint64>> SqliteStore::Private::relatedKeys(const ToManyLink &link, qint64 key, ZEM_Error::Code code)
{
    const QString what = code == ZEM_Error::ReadFailed ? u"Cannot read from the store"_s : u"Cannot save to the store"_s;
    ZEM_Result<sqlite3_stmt *> prepared = statement(link.selectSql, code, what);
    if (!prepared)
        return prepared.error();
    const StatementUse use(*prepared);
    sqlite3_bind_int64(use, 1, key);
    QList<qint64> keys;
    int rc;
    while ((rc = sqlite3_step(use)) == SQLITE_ROW)
        keys.append(sqlite3_column_int64(use, 0));
    if (rc != SQLITE_DONE)
        return sqlError(code, what);
    return keys;
}

// ---------------------------------------------------------------------------------------
// Saving

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
    const QString what = u"Cannot save to the store"_s;
    ZEM_Result<sqlite3_stmt *> prepared = statement(layout.entities.at(destination).existsSql, ZEM_Error::WriteFailed, what);
    if (!prepared)
        return prepared.error();
    const StatementUse use(*prepared);
    sqlite3_bind_int64(use, 1, key);
    const int rc = sqlite3_step(use);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        return sqlError(ZEM_Error::WriteFailed, what);
    state.known.insert(id, rc == SQLITE_ROW);
    return rc == SQLITE_ROW ? key : qint64(0);
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

    ZEM_Result<sqlite3_stmt *> prepared = statement(insert ? e.insertSql : e.updateSql, ZEM_Error::WriteFailed, what);
    if (!prepared)
        return prepared.error();
    state.keep.clear();
    const StatementUse use(*prepared);
    int index = 1;
    int rc = sqlite3_bind_int64(use, index++, key);
    for (qsizetype i = 0; i < e.attributes.size() && rc == SQLITE_OK; ++i)
        rc = bindValue(use, index++, attributes.at(i), e.attributes.at(i).attribute.type, state.keep);
    for (qsizetype i = 0; i < toOnes.size() && rc == SQLITE_OK; ++i)
        rc = toOnes.at(i) ? sqlite3_bind_int64(use, index++, toOnes.at(i)) : sqlite3_bind_null(use, index++);
    if (rc != SQLITE_OK || sqlite3_step(use) != SQLITE_DONE)
        return sqlError(ZEM_Error::WriteFailed, what);
    if (!insert && sqlite3_changes(db) == 0)
        return failure(ZEM_Error::Conflict, u"Cannot save %1 to the store %2: the record is no longer in it."_s.arg(
                                                objectIDText(e.name, key), path));
    return {};
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
    }

    // Link changes against the stored state, before anything is written: a record that
    // did not change a link leaves it as the other side sets it.
    auto collectLinks = [&](PersistentObject *record, int entity, qint64 key, bool inserted) -> ZEM_Result<void> {
        for (const ToManyLink &link : layout.entities.at(entity).toManys) {
            ZEM_Result<QSet<qint64>> current = targetKeys(record->primitiveValueForKey(link.name), link.destination, state);
            if (!current)
                return current.error();
            QSet<qint64> stored;
            if (!inserted) {
                ZEM_Result<QList<qint64>> keys = relatedKeys(link, key, ZEM_Error::WriteFailed);
                if (!keys)
                    return keys.error();
                stored = QSet<qint64>(keys->cbegin(), keys->cend());
            }
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

// ---------------------------------------------------------------------------------------
// Fetching

std::optional<ZEM_Error> SqliteStore::Private::checkKeyPath(int entity, const QString &keyPath) const
{
    const QStringList parts = keyPath.split(u'.');
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const EntityLayout &e = layout.entities.at(entity);
        const QString &part = parts.at(i);
        const bool last = i + 1 == parts.size();
        if (e.attribute(part)) {
            if (last)
                return std::nullopt;
            return failure(ZEM_Error::InvalidArgument,
                           u"The key path \"%1\" goes on past the attribute %2.%3."_s.arg(keyPath, e.name, part));
        }
        if (const ToOneColumn *t = e.toOne(part))
            entity = t->destination;
        else if (const ToManyLink *l = e.toMany(part))
            entity = l->destination;
        else
            return failure(ZEM_Error::InvalidArgument,
                           u"%1 has no attribute or relationship \"%2\" (in the key path \"%3\")."_s.arg(e.name, part, keyPath));
    }
    return std::nullopt;
}

// A copy of \a node whose key paths are known to the model and whose records are ObjectRefs.
ZEM_Result<NodePtr> SqliteStore::Private::prepareNode(const Node &node, int entity) const
{
    auto copy = std::make_shared<Node>(node);
    if (node.kind == NodeKind::Comparison) {
        for (Predicate::Operand *operand : {&copy->lhs, &copy->rhs}) {
            if (operand->isKeyPath) {
                if (auto e = checkKeyPath(entity, operand->keyPath))
                    return *e;
            } else {
                operand->constant = storeConstant(operand->constant);
            }
        }
    }
    for (auto &child : copy->children) {
        if (!child)
            continue;
        ZEM_Result<NodePtr> prepared = prepareNode(*child, entity);
        if (!prepared)
            return prepared.error();
        child = *prepared;
    }
    return NodePtr(std::move(copy));
}

// ---------------------------------------------------------------------------------------

SqliteStore::SqliteStore() : d(std::make_unique<Private>())
{
    d->q = this;
}

SqliteStore::~SqliteStore() = default;

ZEM_Result<std::unique_ptr<SqliteStore>> SqliteStore::open(const DataModel &model, const QString &path,
                                                            const StoreOptions &options)
{
    if (path.isEmpty())
        return ZEM_Error::make(ZEM_Error::InvalidArgument, u"A store needs a file name."_s);
    ZEM_Result<Layout> layout = buildLayout(model);
    if (!layout)
        return layout.error();
    const QFileInfo info(path);
    const bool existed = info.exists();
    if (!existed && options.readOnly)
        return ZEM_Error::make(ZEM_Error::NotFound, u"There is no store at %1."_s.arg(path), {path});
    if (info.isDir())
        return ZEM_Error::make(ZEM_Error::ReadFailed, u"The store %1 is a folder."_s.arg(path), {path});

    std::unique_ptr<SqliteStore> store(new SqliteStore);
    store->d->model = model;
    store->d->path = path;
    store->d->readOnly = options.readOnly;
    store->d->layout = std::move(*layout);
    ZEM_Result<void> opened = store->d->openConnection(existed);
    if (!opened) {
        store.reset();
        if (!existed) {
            // Nothing of a store that could not be made stays behind.
            for (const char *suffix : {"", "-wal", "-shm", "-journal"})
                QFile::remove(path + QLatin1String(suffix));
        }
        return opened.error();
    }
    return store;
}

QString SqliteStore::type() const
{
    return u"SQLite"_s;
}

QString SqliteStore::path() const
{
    return d->path;
}

const DataModel &SqliteStore::model() const
{
    return d->model;
}

bool SqliteStore::isReadOnly() const
{
    return d->readOnly;
}

void SqliteStore::setBusyTimeout(int milliseconds)
{
    sqlite3_busy_timeout(d->db, std::max(0, milliseconds));
}

ZEM_Result<QVariantMap> SqliteStore::loadValues(const PersistentObject &record)
{
    const int entity = d->entityIndex(record.entityName());
    if (entity < 0)
        return d->failure(ZEM_Error::NotFound,
                          u"The store %1 has no entity %2."_s.arg(d->path, record.entityName()));
    QString idEntity;
    qint64 key = 0;
    if (!parseObjectID(record.objectID(), &idEntity, &key))
        return d->failure(ZEM_Error::InvalidArgument,
                          u"\"%1\" is not an object id of the store %2."_s.arg(record.objectID(), d->path));
    if (idEntity != record.entityName())
        return d->failure(ZEM_Error::NotFound, u"The store %1 has no %2 with the id %3."_s.arg(
                                                   d->path, record.entityName(), record.objectID()));
    ZEM_Result<std::optional<QVariantMap>> row = d->readRow(entity, key);
    if (!row)
        return row.error();
    if (!row->has_value())
        return d->failure(ZEM_Error::NotFound, u"The store %1 has no record %2."_s.arg(d->path, record.objectID()));
    QVariantMap values = std::move(**row);
    for (const ToManyLink &link : d->layout.entities.at(entity).toManys) {
        ZEM_Result<QList<qint64>> keys = d->relatedKeys(link, key, ZEM_Error::ReadFailed);
        if (!keys)
            return keys.error();
        const QString &destination = d->layout.entities.at(link.destination).name;
        ObjectRefList refs;
        refs.reserve(keys->size());
        for (qint64 k : std::as_const(*keys))
            refs.append(ObjectRef{destination, objectIDText(destination, k)});
        values.insert(link.name, QVariant::fromValue(refs));
    }
    return values;
}

ZEM_Result<QStringList> SqliteStore::fetchObjectIDs(const FetchRequest &request)
{
    const int entity = d->entityIndex(request.entityName);
    if (entity < 0)
        return d->failure(ZEM_Error::NotFound, u"The store %1 has no entity %2."_s.arg(d->path, request.entityName));
    const EntityLayout &e = d->layout.entities.at(entity);
    ZEM_Result<NodePtr> prepared = d->prepareNode(request.predicate.root(), entity);
    if (!prepared)
        return prepared.error();
    const Predicate predicate(*prepared);
    for (const SortDescriptor &sort : request.sortDescriptors)
        if (auto error = d->checkKeyPath(entity, sort.keyPath))
            return *error;

    SqlBuilder builder(d->layout);
    const QByteArray alias = "t0";
    QByteArray where;
    bool whereComplete = true;
    if (auto sql = builder.condition(predicate.root(), entity, alias)) {
        where = *sql;
    } else {
        // Filter what SQL can of a conjunction; the whole predicate is checked in memory.
        whereComplete = false;
        QByteArrayList parts;
        if (predicate.root().kind == NodeKind::And) {
            for (const auto &child : predicate.root().children) {
                if (!child)
                    continue;
                const qsizetype mark = builder.mark();
                if (auto part = builder.condition(*child, entity, alias))
                    parts.append(*part);
                else
                    builder.rewind(mark);
            }
        }
        where = parts.join(" AND ");
    }
    QByteArrayList order;
    bool orderComplete = true;
    for (const SortDescriptor &sort : request.sortDescriptors) {
        auto term = builder.orderTerm(sort, entity, alias);
        if (!term) {
            orderComplete = false;
            order.clear();
            break;
        }
        order.append(*term);
    }
    order.append(alias + ".\"Z_PK\" ASC");
    const int limit = std::max(0, request.fetchLimit);

    QByteArray sql = "SELECT " + alias + ".\"Z_PK\" FROM " + e.table + ' ' + alias;
    if (!where.isEmpty() && where != "1")
        sql += " WHERE " + where;
    sql += " ORDER BY " + order.join(", ");
    if (whereComplete && orderComplete && limit > 0)
        sql += " LIMIT " + QByteArray::number(limit);

    const QString what = u"Cannot fetch from the store"_s;
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v3(d->db, sql.constData(), int(sql.size()), 0, &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        return d->sqlError(ZEM_Error::ReadFailed, what);
    }
    QList<qint64> keys;
    {
        const StatementPtr statement(raw);
        if (builder.bind(raw) != SQLITE_OK)
            return d->sqlError(ZEM_Error::ReadFailed, what);
        int rc;
        while ((rc = sqlite3_step(raw)) == SQLITE_ROW)
            keys.append(sqlite3_column_int64(raw, 0));
        if (rc != SQLITE_DONE)
            return d->sqlError(ZEM_Error::ReadFailed, what);
    }

    if (!whereComplete || !orderComplete) {
        StoredValues values(
            d->layout, [this](int entity, qint64 key) { return d->readRow(entity, key); },
            [this](const ToManyLink &link, qint64 key) { return d->relatedKeys(link, key, ZEM_Error::ReadFailed); });
        auto getter = [&values, entity](qint64 key) {
            return [&values, entity, key](const QString &keyPath) { return values.value(entity, key, keyPath); };
        };
        if (!whereComplete) {
            QList<qint64> matching;
            for (qint64 key : std::as_const(keys)) {
                if (predicate.evaluate(getter(key)))
                    matching.append(key);
                if (orderComplete && limit > 0 && matching.size() == limit)
                    break;
            }
            keys = std::move(matching);
        }
        if (!orderComplete)
            std::stable_sort(keys.begin(), keys.end(), [&](qint64 a, qint64 b) {
                return SortDescriptor::compare(request.sortDescriptors, getter(a), getter(b)) < 0;
            });
        if (values.error)
            return *values.error;
    }
    if (limit > 0 && keys.size() > limit)
        keys.resize(limit);

    QStringList ids;
    ids.reserve(keys.size());
    for (qint64 key : std::as_const(keys))
        ids.append(objectIDText(e.name, key));
    return ids;
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
    for (PersistentObject *record : changes.inserted)
        if (StoreContext *context = record->managedObjectContext())
            context->setObjectID(record, objectIDText(record->entityName(), state.insertedKeys.value(record)));
    return {};
}

} // namespace platform
