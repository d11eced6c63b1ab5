// The SQLite store: loading rows and fetching (through detail/SqlBuilder). Saving is in
// SqliteStoreSave.cpp, the tables and opening a file in SqliteSchema.cpp.

#include "platform/store/SqliteStore.h"

#include "platform/store/PersistentObject.h"
#include "platform/store/SqliteStore_p.h"
#include "platform/store/StoreContext.h"
#include "platform/store/detail/ObjectIDText.h"
#include "platform/store/detail/SqlBuilder.h"
#include "foundation/detail/ZEM_F_Files.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <optional>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace platform {

using detail::objectIDText;
using namespace detail::sqlite;

namespace {

using Node = Predicate::Node;
using NodeKind = Predicate::NodeKind;
using NodePtr = std::shared_ptr<const Node>;

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

ZEM_Result<std::optional<QVariantMap>> SqliteStore::Private::readRow(int entity, qint64 key, QVariantList *columns)
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
        if (columns)
            columns->append(value);
        if (value.isValid())
            values.insert(a.attribute.name, value);
    }
    for (const ToOneColumn &t : e.toOnes) {
        sqlite3_value *value = sqlite3_column_value(use, column++);
        const bool none = sqlite3_value_type(value) == SQLITE_NULL;
        if (columns)
            columns->append(none ? qint64(0) : qint64(sqlite3_value_int64(value)));
        if (none)
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
    bool existed = info.exists() || info.isSymLink();
    if (!existed && options.readOnly)
        return ZEM_Error::make(ZEM_Error::NotFound, u"There is no store at %1."_s.arg(path), {path});
    if (info.isDir())
        return ZEM_Error::make(ZEM_Error::ReadFailed, u"The store %1 is a folder."_s.arg(path), {path});
    // A new store's file is made here, so that an open that fails removes a file it made
    // and never one another program made at the same moment.
    std::optional<ZEM_F_Files::Stamp> made;
    if (!existed) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd >= 0) {
            ::close(fd);
            made = ZEM_F_Files::stampOf(path);
        } else if (errno == EEXIST) {
            existed = true;
        }
    }

    std::unique_ptr<SqliteStore> store(new SqliteStore);
    store->d->model = model;
    store->d->path = path;
    store->d->readOnly = options.readOnly;
    store->d->layout = std::move(*layout);
    ZEM_Result<void> opened = store->d->openConnection(existed);
    if (!opened) {
        const bool foundStore = store->d->foundStore;
        store.reset();
        // Nothing of a store that could not be made stays behind; SQLite itself only clears
        // journals beside an empty file, not the file. A store someone else wrote stays.
        if (made && !foundStore && ZEM_F_Files::stampOf(path).inode == made->inode) {
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
    Private::RowBase base;
    ZEM_Result<std::optional<QVariantMap>> row = d->readRow(entity, key, &base.columns);
    if (!row)
        return row.error();
    if (!row->has_value())
        return d->failure(ZEM_Error::NotFound, u"The store %1 has no record %2."_s.arg(d->path, record.objectID()));
    QVariantMap values = std::move(**row);
    for (const ToManyLink &link : d->layout.entities.at(entity).toManys) {
        ZEM_Result<QList<qint64>> keys = d->relatedKeys(link, key, ZEM_Error::ReadFailed);
        if (!keys)
            return keys.error();
        base.links.append(*keys);
        const QString &destination = d->layout.entities.at(link.destination).name;
        ObjectRefList refs;
        refs.reserve(keys->size());
        for (qint64 k : std::as_const(*keys))
            refs.append(ObjectRef{destination, objectIDText(destination, k)});
        values.insert(link.name, QVariant::fromValue(refs));
    }
    if (!d->readOnly)
        d->bases.insert({entity, key}, std::move(base));
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

} // namespace platform
