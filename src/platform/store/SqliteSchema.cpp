// The schema of the SQLite store: the tables, columns and statements a model maps to, how
// values map to columns, and opening a file: creating the tables of a new store, or checking
// those of an existing one against the model.

#include "platform/store/SqliteStore_p.h"

#include "platform/store/detail/ObjectIDText.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QtNumeric>

#include <cmath>

using namespace Qt::StringLiterals;

namespace platform {

namespace detail::sqlite {

namespace {

QString sqlType(AttributeType type)
{
    switch (type) {
    case AttributeType::String:
        return u"TEXT"_s;
    case AttributeType::Double:
        return u"REAL"_s;
    case AttributeType::Binary:
        return u"BLOB"_s;
    case AttributeType::Integer:
    case AttributeType::Boolean:
    case AttributeType::Date:
        break;
    }
    return u"INTEGER"_s;
}

} // namespace

QByteArray quote(const QString &identifier)
{
    QByteArray out = identifier.toUtf8();
    out.replace('"', "\"\"");
    return '"' + out + '"';
}

bool parseObjectID(const QString &id, QString *entity, qint64 *key)
{
    QStringView name;
    if (!parseObjectIDText(id, &name, key))
        return false;
    *entity = name.toString();
    return true;
}

ZEM_Result<Layout> buildLayout(const DataModel &model)
{
    Layout layout;
    const QList<EntityDescription> entities = model.entities();
    for (qsizetype i = 0; i < entities.size(); ++i)
        layout.index.insert(entities.at(i).name, int(i));

    // SQLite folds identifiers, so two names that differ only in case would share a table.
    QHash<QString, QString> tableNames{{u"Z_METADATA"_s, u"the metadata"_s}, {u"Z_PRIMARYKEY"_s, u"the key counters"_s}};
    auto claimTable = [&tableNames](const QString &name, const QString &owner) -> std::optional<ZEM_Error> {
        const QString key = name.toUpper();
        if (const auto it = tableNames.constFind(key); it != tableNames.constEnd())
            return ZEM_Error::make(ZEM_Error::InvalidArgument,
                                   u"The model cannot be stored in SQLite: %1 and %2 both need the table %3."_s.arg(
                                       *it, owner, name));
        tableNames.insert(key, owner);
        return std::nullopt;
    };

    for (const EntityDescription &e : entities) {
        EntityLayout el;
        el.name = e.name;
        el.tableName = u'Z' + e.name.toUpper();
        el.table = quote(el.tableName);
        if (auto clash = claimTable(el.tableName, u"entity "_s + e.name))
            return *clash;
        layout.entities.append(el);
    }

    for (qsizetype i = 0; i < entities.size(); ++i) {
        const EntityDescription &e = entities.at(i);
        EntityLayout &el = layout.entities[i];
        TableSpec spec{el.tableName, u"entity "_s + e.name, {{u"Z_PK"_s, u"INTEGER"_s}}};
        QSet<QString> columnNames{u"Z_PK"_s};
        auto claimColumn = [&](const QString &column, const QString &what) -> std::optional<ZEM_Error> {
            if (columnNames.contains(column.toUpper()))
                return ZEM_Error::make(ZEM_Error::InvalidArgument,
                                       u"The model cannot be stored in SQLite: %1.%2 needs the column %3, "
                                       "which another name of %1 maps to too."_s.arg(e.name, what, column));
            columnNames.insert(column.toUpper());
            return std::nullopt;
        };
        layout.items.insert(u"entity:"_s + e.name, QString());

        for (const AttributeDescription &a : e.attributes) {
            const QString column = u'Z' + a.name.toUpper();
            if (auto clash = claimColumn(column, a.name))
                return *clash;
            el.attributes.append({a, quote(column)});
            spec.columns.append({column, sqlType(a.type)});
            layout.items.insert(u"attribute:%1.%2"_s.arg(e.name, a.name), AttributeDescription::typeName(a.type));
        }

        for (const RelationshipDescription &r : e.relationships) {
            const int dest = layout.index.value(r.destinationEntity, -1);
            if (dest < 0)
                return ZEM_Error::make(ZEM_Error::InvalidArgument,
                                       u"%1.%2 points to the missing entity %3."_s.arg(e.name, r.name, r.destinationEntity));
            const EntityLayout &destLayout = layout.entities.at(dest);
            const RelationshipDescription *inverse = model.inverseOf(e.name, r.name);
            layout.items.insert(u"relationship:%1.%2"_s.arg(e.name, r.name),
                                r.destinationEntity + (r.toMany ? u" to-many"_s : u" to-one"_s)
                                    + (inverse ? u" inverse "_s + inverse->name : QString()));
            if (!r.toMany) {
                const QString column = u'Z' + r.name.toUpper();
                if (auto clash = claimColumn(column, r.name))
                    return *clash;
                el.toOnes.append({r.name, dest, quote(column)});
                spec.columns.append({column, u"INTEGER"_s});
                const QString indexName = u"ZI_"_s + e.name.toUpper() + u'_' + r.name.toUpper();
                if (auto clash = claimTable(indexName, u"the index of %1.%2"_s.arg(e.name, r.name)))
                    return *clash;
                layout.schema.append("CREATE INDEX " + quote(indexName) + " ON " + el.table + " (" + quote(column) + ")");
                continue;
            }
            ToManyLink link;
            link.name = r.name;
            link.destination = dest;
            if (inverse && !inverse->toMany) {
                // Read from the destination's to-one column; nothing of its own to store.
                link.kind = ToManyLink::Inverse;
                link.inverseName = inverse->name;
                const QByteArray column = quote(u'Z' + inverse->name.toUpper());
                link.selectSql = "SELECT \"Z_PK\" FROM " + destLayout.table + " WHERE " + column + " = ?1 ORDER BY \"Z_PK\"";
                link.addSql = "UPDATE " + destLayout.table + " SET " + column + " = ?1 WHERE \"Z_PK\" = ?2";
                link.removeSql = "UPDATE " + destLayout.table + " SET " + column + " = NULL WHERE \"Z_PK\" = ?2 AND "
                                 + column + " = ?1";
                el.toManys.append(link);
                continue;
            }
            link.kind = ToManyLink::Join;
            const bool symmetric = inverse && r.destinationEntity == e.name && inverse->name == r.name;
            // Both sides of a to-many pair share one table, owned by the side that sorts first.
            const bool owner = !inverse || symmetric
                               || std::pair(e.name, r.name) < std::pair(r.destinationEntity, inverse->name);
            const QString ownerEntity = owner ? e.name : r.destinationEntity;
            const QString ownerRelationship = owner ? r.name : inverse->name;
            const QString tableName = u"Z_"_s + ownerEntity.toUpper() + u'_' + ownerRelationship.toUpper();
            const QByteArray table = quote(tableName);
            if (owner) {
                const QString what = u"relationship %1.%2"_s.arg(ownerEntity, ownerRelationship);
                if (auto clash = claimTable(tableName, what))
                    return *clash;
                const QString indexName = u"ZI_"_s + tableName;
                if (auto clash = claimTable(indexName, u"the index of "_s + what))
                    return *clash;
                layout.tables.append({tableName, what, {{u"Z_SRC"_s, u"INTEGER"_s}, {u"Z_DST"_s, u"INTEGER"_s}}});
                layout.schema.append("CREATE TABLE " + table
                                     + " (\"Z_SRC\" INTEGER NOT NULL, \"Z_DST\" INTEGER NOT NULL,"
                                       " PRIMARY KEY (\"Z_SRC\", \"Z_DST\")) WITHOUT ROWID");
                layout.schema.append("CREATE INDEX " + quote(indexName) + " ON " + table + " (\"Z_DST\", \"Z_SRC\")");
                for (int side : {int(i), dest}) {
                    const QByteArray column = side == int(i) ? "\"Z_SRC\"" : "\"Z_DST\"";
                    const QByteArray sql = "DELETE FROM " + table + " WHERE " + column + " = ?1";
                    if (!layout.entities[side].cleanupSql.contains(sql))
                        layout.entities[side].cleanupSql.append(sql);
                }
            }
            if (symmetric) {
                // A relationship that is its own inverse: a pair is one row, whichever side wrote it.
                link.selectSql = "SELECT \"Z_DST\" FROM " + table + " WHERE \"Z_SRC\" = ?1 UNION SELECT \"Z_SRC\" FROM "
                                 + table + " WHERE \"Z_DST\" = ?1 ORDER BY 1";
                link.addSql = "INSERT OR IGNORE INTO " + table + " (\"Z_SRC\", \"Z_DST\") VALUES (min(?1, ?2), max(?1, ?2))";
                link.removeSql = "DELETE FROM " + table + " WHERE \"Z_SRC\" = min(?1, ?2) AND \"Z_DST\" = max(?1, ?2)";
            } else {
                const QByteArray own = owner ? "\"Z_SRC\"" : "\"Z_DST\"";
                const QByteArray other = owner ? "\"Z_DST\"" : "\"Z_SRC\"";
                link.selectSql = "SELECT " + other + " FROM " + table + " WHERE " + own + " = ?1 ORDER BY " + other;
                link.addSql = "INSERT OR IGNORE INTO " + table + " (" + own + ", " + other + ") VALUES (?1, ?2)";
                link.removeSql = "DELETE FROM " + table + " WHERE " + own + " = ?1 AND " + other + " = ?2";
            }
            el.toManys.append(link);
        }

        QByteArrayList columns{"\"Z_PK\""};
        for (const AttributeColumn &a : std::as_const(el.attributes))
            columns.append(a.column);
        for (const ToOneColumn &t : std::as_const(el.toOnes))
            columns.append(t.column);
        QByteArrayList placeholders, assignments;
        for (qsizetype c = 0; c < columns.size(); ++c) {
            placeholders.append("?" + QByteArray::number(c + 1));
            if (c > 0)
                assignments.append(columns.at(c) + " = ?" + QByteArray::number(c + 1));
        }
        if (assignments.isEmpty())
            assignments.append("\"Z_PK\" = ?1");
        QByteArrayList definitions{"\"Z_PK\" INTEGER PRIMARY KEY"};
        for (qsizetype c = 1; c < spec.columns.size(); ++c)
            definitions.append(quote(spec.columns.at(c).first) + ' ' + spec.columns.at(c).second.toUtf8());
        layout.schema.prepend("CREATE TABLE " + el.table + " (" + definitions.join(", ") + ")");
        el.insertSql = "INSERT INTO " + el.table + " (" + columns.join(", ") + ") VALUES (" + placeholders.join(", ") + ")";
        el.updateSql = "UPDATE " + el.table + " SET " + assignments.join(", ") + " WHERE \"Z_PK\" = ?1";
        el.selectSql = "SELECT " + columns.join(", ") + " FROM " + el.table + " WHERE \"Z_PK\" = ?1";
        el.deleteSql = "DELETE FROM " + el.table + " WHERE \"Z_PK\" = ?1";
        el.existsSql = "SELECT 1 FROM " + el.table + " WHERE \"Z_PK\" = ?1";
        el.maxSql = "SELECT max(\"Z_PK\") FROM " + el.table;
        layout.tables.prepend(spec);
    }

    // Deleting a record empties every to-one column that points at it.
    for (const EntityLayout &source : std::as_const(layout.entities))
        for (const ToOneColumn &t : source.toOnes)
            layout.entities[t.destination].cleanupSql.append("UPDATE " + source.table + " SET " + t.column
                                                             + " = NULL WHERE " + t.column + " = ?1");
    return layout;
}

// ---------------------------------------------------------------------------------------
// Values

QVariant valueFrom(sqlite3_value *value, AttributeType type)
{
    const int storage = sqlite3_value_type(value);
    if (storage == SQLITE_NULL)
        return {};
    switch (type) {
    case AttributeType::String: {
        const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(value));
        const int size = sqlite3_value_bytes(value);
        return QString::fromUtf8(text ? text : "", size);
    }
    case AttributeType::Integer:
        return QVariant(qint64(sqlite3_value_int64(value)));
    case AttributeType::Double:
        // NaN cannot be a REAL in SQLite; it is kept as text.
        if (storage == SQLITE_TEXT || storage == SQLITE_BLOB)
            return QVariant(qQNaN());
        return QVariant(sqlite3_value_double(value));
    case AttributeType::Boolean:
        return QVariant(sqlite3_value_int64(value) != 0);
    case AttributeType::Date:
        return QVariant(QDateTime::fromMSecsSinceEpoch(sqlite3_value_int64(value)));
    case AttributeType::Binary: {
        const void *blob = sqlite3_value_blob(value);
        const int size = sqlite3_value_bytes(value);
        return QVariant(QByteArray(blob ? static_cast<const char *>(blob) : "", size));
    }
    }
    return {};
}

bool sameStored(const QVariant &a, const QVariant &b, AttributeType type)
{
    if (!a.isValid() || !b.isValid())
        return a.isValid() == b.isValid();
    switch (type) {
    case AttributeType::String:
        return a.toString() == b.toString();
    case AttributeType::Integer:
        return a.toLongLong() == b.toLongLong();
    case AttributeType::Double: {
        const double x = a.toDouble(), y = b.toDouble();
        return (std::isnan(x) && std::isnan(y)) || x == y; // the file keeps no negative zero
    }
    case AttributeType::Boolean:
        return a.toBool() == b.toBool();
    case AttributeType::Date:
        return a.toDateTime().toMSecsSinceEpoch() == b.toDateTime().toMSecsSinceEpoch();
    case AttributeType::Binary:
        return a.toByteArray() == b.toByteArray();
    }
    return false;
}

int bindValue(sqlite3_stmt *statement, int index, const QVariant &value, AttributeType type,
              std::vector<QByteArray> &keep)
{
    if (!value.isValid())
        return sqlite3_bind_null(statement, index);
    switch (type) {
    case AttributeType::String:
        keep.push_back(value.toString().toUtf8());
        return sqlite3_bind_text64(statement, index, keep.back().constData(), sqlite3_uint64(keep.back().size()),
                                   SQLITE_STATIC, SQLITE_UTF8);
    case AttributeType::Integer:
        return sqlite3_bind_int64(statement, index, value.toLongLong());
    case AttributeType::Double: {
        const double d = value.toDouble();
        if (std::isnan(d))
            return sqlite3_bind_text(statement, index, "NaN", 3, SQLITE_STATIC);
        return sqlite3_bind_double(statement, index, d);
    }
    case AttributeType::Boolean:
        return sqlite3_bind_int64(statement, index, value.toBool() ? 1 : 0);
    case AttributeType::Date:
        return sqlite3_bind_int64(statement, index, value.toDateTime().toMSecsSinceEpoch());
    case AttributeType::Binary:
        keep.push_back(value.toByteArray());
        return sqlite3_bind_blob64(statement, index, keep.back().constData(), sqlite3_uint64(keep.back().size()),
                                   SQLITE_STATIC);
    }
    return sqlite3_bind_null(statement, index);
}

} // namespace detail::sqlite

using namespace detail::sqlite;

// ---------------------------------------------------------------------------------------
// Opening

ZEM_Result<void> SqliteStore::Private::openConnection(bool existed)
{
    const int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)
                      | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_PRIVATECACHE;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, flags, nullptr) != SQLITE_OK)
        return sqlError(existed || readOnly ? ZEM_Error::ReadFailed : ZEM_Error::WriteFailed,
                        existed ? u"Cannot open the store"_s : u"Cannot create the store"_s);
    sqlite3_busy_timeout(db, kDefaultBusyTimeout);
    // The file is data, not code: its schema may not run our functions or write itself.
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    if (sqlite3_create_function_v2(db, "zem_compare", 6, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_DIRECTONLY,
                                   nullptr, compareFunction, nullptr, nullptr, nullptr)
            != SQLITE_OK
        || sqlite3_create_collation_v2(db, "ZEM_FOLD", SQLITE_UTF8, nullptr, foldCollation, nullptr) != SQLITE_OK)
        return sqlError(ZEM_Error::ReadFailed, u"Cannot prepare the store"_s);
    if (!readOnly && sqlite3_db_readonly(db, "main") == 1)
        return failure(ZEM_Error::WriteFailed, u"The store %1 cannot be written; open it read-only."_s.arg(path));

    const ZEM_Result<qint64> applicationID = queryInteger("PRAGMA application_id", ZEM_Error::ReadFailed,
                                                          u"Cannot read the store"_s);
    if (!applicationID)
        return applicationID.error();
    // SQLite reads a last page cut short as if it were whole; a file is whole pages.
    const ZEM_Result<qint64> pageSize = queryInteger("PRAGMA page_size", ZEM_Error::ReadFailed, u"Cannot read the store"_s);
    if (!pageSize)
        return pageSize.error();
    if (*pageSize > 0 && QFileInfo(path).size() % *pageSize != 0)
        return failure(ZEM_Error::ParseFailed, u"The store %1 is cut short: it does not end on a page boundary."_s.arg(path));
    const ZEM_Result<qint64> objects = queryInteger("SELECT count(*) FROM sqlite_master", ZEM_Error::ReadFailed,
                                                    u"Cannot read the store"_s);
    if (!objects)
        return objects.error();
    if (*applicationID == 0 && *objects == 0) {
        if (readOnly)
            return failure(ZEM_Error::ParseFailed, u"The store %1 is empty."_s.arg(path));
        if (ZEM_Result<void> created = createSchema(); !created)
            return created;
    } else {
        foundStore = true;
        if (ZEM_Result<void> checked = checkStore(); !checked)
            return checked;
    }
    if (!readOnly) {
        if (ZEM_Result<void> r = exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL", ZEM_Error::WriteFailed,
                                      u"Cannot prepare the store"_s);
            !r)
            return r;
    }
    return {};
}

// An existing file: a store of this kit, for this model.
ZEM_Result<void> SqliteStore::Private::checkStore()
{
    const ZEM_Result<qint64> applicationID = queryInteger("PRAGMA application_id", ZEM_Error::ReadFailed,
                                                          u"Cannot read the store"_s);
    if (!applicationID)
        return applicationID.error();
    if (*applicationID != kApplicationID)
        return failure(ZEM_Error::ParseFailed, u"%1 is an SQLite database but not a store of this kit."_s.arg(path));
    return verifySchema();
}

ZEM_Result<void> SqliteStore::Private::createSchema()
{
    const QString what = u"Cannot create the store"_s;
    // The journal mode can only change outside a transaction; an empty WAL file left by a
    // crash right after is simply new again next time.
    if (ZEM_Result<void> r = exec("PRAGMA journal_mode=WAL", ZEM_Error::WriteFailed, what); !r)
        return r;
    if (ZEM_Result<void> r = exec("BEGIN IMMEDIATE", ZEM_Error::WriteFailed, what); !r)
        return r;
    // Another program opening the same new file may have made the store first.
    const ZEM_Result<qint64> objects = queryInteger("SELECT count(*) FROM sqlite_master", ZEM_Error::WriteFailed, what);
    if (!objects || *objects > 0) {
        rollback();
        if (!objects)
            return objects.error();
        foundStore = true;
        return checkStore();
    }
    auto run = [&]() -> ZEM_Result<void> {
        QByteArrayList sql{"PRAGMA application_id = " + QByteArray::number(kApplicationID),
                           "PRAGMA user_version = " + QByteArray::number(kFormatVersion),
                           "CREATE TABLE \"Z_METADATA\" (\"Z_KEY\" TEXT PRIMARY KEY, \"Z_VALUE\" TEXT NOT NULL)",
                           "CREATE TABLE \"Z_PRIMARYKEY\" (\"Z_NAME\" TEXT PRIMARY KEY, \"Z_MAX\" INTEGER NOT NULL)"};
        sql += layout.schema;
        for (const QByteArray &statement : std::as_const(sql))
            if (ZEM_Result<void> r = exec(statement, ZEM_Error::WriteFailed, what); !r)
                return r;
        QMap<QString, QString> rows = layout.items;
        rows.insert(u"format"_s, u"ZEM_AppKit store"_s);
        rows.insert(u"fingerprint"_s, QString::fromUtf8(model.fingerprint()));
        sqlite3_stmt *raw = nullptr;
        const QByteArray insert = "INSERT INTO \"Z_METADATA\" (\"Z_KEY\", \"Z_VALUE\") VALUES (?1, ?2)";
        if (sqlite3_prepare_v2(db, insert.constData(), int(insert.size()), &raw, nullptr) != SQLITE_OK) {
            sqlite3_finalize(raw);
            return sqlError(ZEM_Error::WriteFailed, what);
        }
        const StatementPtr statement(raw);
        for (auto it = rows.cbegin(); it != rows.cend(); ++it) {
            const QByteArray key = it.key().toUtf8(), value = it.value().toUtf8();
            sqlite3_bind_text64(raw, 1, key.constData(), sqlite3_uint64(key.size()), SQLITE_STATIC, SQLITE_UTF8);
            sqlite3_bind_text64(raw, 2, value.constData(), sqlite3_uint64(value.size()), SQLITE_STATIC, SQLITE_UTF8);
            const int rc = sqlite3_step(raw);
            if (rc != SQLITE_DONE)
                return sqlError(ZEM_Error::WriteFailed, what);
            sqlite3_reset(raw);
        }
        return exec("COMMIT", ZEM_Error::WriteFailed, what);
    };
    ZEM_Result<void> result = run();
    if (!result)
        rollback();
    return result;
}

ZEM_Result<void> SqliteStore::Private::verifySchema()
{
    const QString what = u"Cannot read the store"_s;
    auto conflict = [this](const QString &message) {
        return failure(ZEM_Error::Conflict, u"The store %1 was written for another model: %2"_s.arg(path, message));
    };

    QMap<QString, QString> stored;
    QString fingerprint;
    {
        sqlite3_stmt *raw = nullptr;
        const QByteArray sql = "SELECT \"Z_KEY\", \"Z_VALUE\" FROM \"Z_METADATA\"";
        if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &raw, nullptr) != SQLITE_OK) {
            sqlite3_finalize(raw);
            const ZEM_Error e = sqlError(ZEM_Error::ReadFailed, what);
            if (e.code != ZEM_Error::ReadFailed)
                return e;
            return failure(ZEM_Error::ParseFailed, u"%1 is not a store of this kit: %2"_s.arg(path, e.message));
        }
        const StatementPtr statement(raw);
        int rc;
        while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
            const auto *k = reinterpret_cast<const char *>(sqlite3_column_text(raw, 0));
            const QString key = QString::fromUtf8(k ? k : "", sqlite3_column_bytes(raw, 0));
            const auto *v = reinterpret_cast<const char *>(sqlite3_column_text(raw, 1));
            const QString value = QString::fromUtf8(v ? v : "", sqlite3_column_bytes(raw, 1));
            if (key == u"fingerprint")
                fingerprint = value;
            else if (key.startsWith(u"entity:") || key.startsWith(u"attribute:") || key.startsWith(u"relationship:"))
                stored.insert(key, value);
        }
        if (rc != SQLITE_DONE)
            return sqlError(ZEM_Error::ReadFailed, what);
    }
    auto named = [](const QString &item) {
        QString text = item;
        return text.replace(text.indexOf(u':'), 1, u' ');
    };
    for (auto it = layout.items.cbegin(); it != layout.items.cend(); ++it) {
        const auto found = stored.constFind(it.key());
        if (found == stored.cend())
            return conflict(u"the model's %1 is not in the store."_s.arg(named(it.key())));
        if (*found != it.value())
            return conflict(u"%1 is \"%2\" in the store but \"%3\" in the model."_s.arg(named(it.key()), *found, it.value()));
    }
    for (auto it = stored.cbegin(); it != stored.cend(); ++it)
        if (!layout.items.contains(it.key()))
            return conflict(u"the store's %1 is not in the model."_s.arg(named(it.key())));

    // The tables themselves, in case the file was changed by other hands.
    QSet<QString> tables;
    {
        sqlite3_stmt *raw = nullptr;
        const QByteArray sql = "SELECT name FROM sqlite_master WHERE type = 'table'";
        if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &raw, nullptr) != SQLITE_OK) {
            sqlite3_finalize(raw);
            return sqlError(ZEM_Error::ReadFailed, what);
        }
        const StatementPtr statement(raw);
        int rc;
        while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
            const auto *name = reinterpret_cast<const char *>(sqlite3_column_text(raw, 0));
            tables.insert(QString::fromUtf8(name ? name : "", sqlite3_column_bytes(raw, 0)).toUpper());
        }
        if (rc != SQLITE_DONE)
            return sqlError(ZEM_Error::ReadFailed, what);
    }
    for (const TableSpec &spec : std::as_const(layout.tables)) {
        if (!tables.remove(spec.name.toUpper()))
            return conflict(u"the table %1 of %2 is missing."_s.arg(spec.name, spec.owner));
        sqlite3_stmt *raw = nullptr;
        const QByteArray sql = "PRAGMA table_info(" + quote(spec.name) + ")";
        if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &raw, nullptr) != SQLITE_OK) {
            sqlite3_finalize(raw);
            return sqlError(ZEM_Error::ReadFailed, what);
        }
        const StatementPtr statement(raw);
        QHash<QString, QString> columns;
        int rc;
        while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
            const auto *name = reinterpret_cast<const char *>(sqlite3_column_text(raw, 1));
            const auto *type = reinterpret_cast<const char *>(sqlite3_column_text(raw, 2));
            columns.insert(QString::fromUtf8(name ? name : "").toUpper(), QString::fromUtf8(type ? type : "").toUpper());
        }
        if (rc != SQLITE_DONE)
            return sqlError(ZEM_Error::ReadFailed, what);
        for (const auto &[column, type] : spec.columns) {
            const auto found = columns.constFind(column.toUpper());
            if (found == columns.cend())
                return conflict(u"the column %1 of %2 is missing."_s.arg(column, spec.owner));
            if (*found != type)
                return conflict(u"the column %1 of %2 is %3, not %4."_s.arg(column, spec.owner, *found, type));
            columns.remove(column.toUpper());
        }
        if (!columns.isEmpty())
            return conflict(u"the table of %1 has a column %2 the model lacks."_s.arg(spec.owner, columns.keys().first()));
    }
    tables.remove(u"Z_METADATA"_s);
    tables.remove(u"Z_PRIMARYKEY"_s);
    for (const QString &table : std::as_const(tables))
        if (!table.startsWith(u"SQLITE_"))
            return conflict(u"the store has a table %1 the model lacks."_s.arg(table));
    if (fingerprint.toUtf8() != model.fingerprint())
        return conflict(u"its fingerprint differs."_s);
    return {};
}

} // namespace platform
