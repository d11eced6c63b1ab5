#include "platform/store/SqliteStore.h"

#include "platform/store/PersistentObject.h"
#include "platform/store/StoreContext.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QtNumeric>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <functional>
#include <limits>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace platform {

namespace {

using Node = Predicate::Node;
using NodeKind = Predicate::NodeKind;
using NodePtr = std::shared_ptr<const Node>;
using Operator = Predicate::Operator;

// "ZEMS" in the file header: a store of this kit, told apart from other SQLite files
// before anything else is read.
constexpr int kApplicationID = 0x5A454D53;
constexpr int kFormatVersion = 1;
constexpr int kDefaultBusyTimeout = 5000;
constexpr char kVariantPointer[] = "zem-variant";
// zem_compare() type code for an argument bound as a pointer to a QVariant.
constexpr int kBoundVariant = 100;
// More IN elements than this go through zem_compare() rather than one parameter each.
constexpr qsizetype kMaxInListParameters = 500;

QByteArray quote(const QString &identifier)
{
    QByteArray out = identifier.toUtf8();
    out.replace('"', "\"\"");
    return '"' + out + '"';
}

QString objectIDFor(const QString &entity, qint64 key)
{
    return entity + u'/' + QString::number(key);
}

// "<entity>/<key>" with a positive key written the way objectIDFor() writes it.
bool parseObjectID(const QString &id, QString *entity, qint64 *key)
{
    const qsizetype slash = id.lastIndexOf(u'/');
    if (slash <= 0 || slash + 1 >= id.size())
        return false;
    const QStringView digits = QStringView(id).mid(slash + 1);
    if (digits.front() == u'0')
        return false;
    for (QChar c : digits)
        if (c < u'0' || c > u'9')
            return false;
    bool ok = false;
    const qint64 n = digits.toLongLong(&ok);
    if (!ok || n <= 0)
        return false;
    *entity = id.left(slash);
    *key = n;
    return true;
}

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

// ---------------------------------------------------------------------------------------
// Layout: the tables, columns and statements a model maps to

struct AttributeColumn
{
    AttributeDescription attribute;
    QByteArray column;
};

struct ToOneColumn
{
    QString name;
    int destination = -1;
    QByteArray column;
};

struct ToManyLink
{
    enum Kind { Inverse, Join };
    QString name;
    int destination = -1;
    Kind kind = Join;
    // ?1 is the record's key, ?2 the destination's.
    QByteArray selectSql, addSql, removeSql;
};

struct EntityLayout
{
    QString name;
    QString tableName;
    QByteArray table;
    QList<AttributeColumn> attributes;
    QList<ToOneColumn> toOnes;
    QList<ToManyLink> toManys;
    QByteArray insertSql, updateSql, selectSql, deleteSql, existsSql, maxSql;
    // Run with ?1 = the key of a deleted record: its join rows, and to-one links to it.
    QList<QByteArray> cleanupSql;

    const AttributeColumn *attribute(QStringView name) const
    {
        for (const AttributeColumn &a : attributes)
            if (a.attribute.name == name)
                return &a;
        return nullptr;
    }
    const ToOneColumn *toOne(QStringView name) const
    {
        for (const ToOneColumn &t : toOnes)
            if (t.name == name)
                return &t;
        return nullptr;
    }
    const ToManyLink *toMany(QStringView name) const
    {
        for (const ToManyLink &l : toManys)
            if (l.name == name)
                return &l;
        return nullptr;
    }
};

struct TableSpec
{
    QString name;
    QString owner; // what the table is for, for messages
    QList<std::pair<QString, QString>> columns; // name, declared type
};

struct Layout
{
    QList<EntityLayout> entities;
    QHash<QString, int> index;
    QList<TableSpec> tables;
    QList<QByteArray> schema;
    // What the file records of the model, compared item by item on open.
    QMap<QString, QString> items;
};

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

// Binds \a value, already coerced to \a type; texts and data must stay alive in \a keep
// until the statement has run.
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

// ---------------------------------------------------------------------------------------
// Functions the connection gets

QVariant functionArgument(sqlite3_value *value, int type)
{
    if (type == kBoundVariant) {
        const auto *bound = static_cast<const QVariant *>(sqlite3_value_pointer(value, kVariantPointer));
        return bound ? *bound : QVariant();
    }
    if (type < int(AttributeType::String) || type > int(AttributeType::Binary))
        return {};
    return valueFrom(value, AttributeType(type));
}

// zem_compare(op, options, a, a's type, b, b's type): Predicate::compare() on two values,
// each a column of the given attribute type or a bound QVariant.
// Case-insensitive text tests where both sides are plain ASCII: folding and normalising
// ASCII change nothing but letter case, so a byte comparison gives the same answer as the
// full Unicode path at a fraction of its cost. Answers -1 when the shortcut does not apply.
int asciiTextCompare(Operator op, Predicate::Options options, sqlite3_value *column, int columnType,
                     sqlite3_value *bound, int boundType)
{
    if (!options.testFlag(Predicate::Option::CaseInsensitive) || columnType != int(AttributeType::String)
        || boundType != kBoundVariant || sqlite3_value_type(column) != SQLITE_TEXT)
        return -1;
    if (op != Operator::BeginsWith && op != Operator::Contains && op != Operator::EndsWith
        && op != Operator::Equal && op != Operator::NotEqual)
        return -1;
    const auto *variant = static_cast<const QVariant *>(sqlite3_value_pointer(bound, kVariantPointer));
    if (!variant || variant->typeId() != QMetaType::QString)
        return -1;
    const QString &needle = *static_cast<const QString *>(variant->constData());
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(column));
    const qsizetype size = sqlite3_value_bytes(column);
    const auto ascii = [](char c) { return static_cast<unsigned char>(c) < 0x80; };
    if (!text || !std::all_of(text, text + size, ascii))
        return -1;
    QByteArray folded(needle.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < needle.size(); ++i) {
        const char16_t c = needle.at(i).unicode();
        if (c >= 0x80)
            return -1;
        folded[i] = char(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
    const auto matchAt = [&](qsizetype at) {
        for (qsizetype i = 0; i < folded.size(); ++i)
            if (lower(text[at + i]) != folded[i])
                return false;
        return true;
    };
    const qsizetype n = folded.size();
    switch (op) {
    case Operator::BeginsWith:
        return size >= n && matchAt(0);
    case Operator::EndsWith:
        return size >= n && matchAt(size - n);
    case Operator::Equal:
        return size == n && matchAt(0);
    case Operator::NotEqual:
        return !(size == n && matchAt(0));
    default:
        for (qsizetype at = 0; at + n <= size; ++at)
            if (matchAt(at))
                return 1;
        return 0;
    }
}

void compareFunction(sqlite3_context *context, int, sqlite3_value **argv)
{
    const int op = sqlite3_value_int(argv[0]);
    if (op < int(Operator::Equal) || op > int(Operator::In)) {
        sqlite3_result_int(context, 0);
        return;
    }
    const auto options = Predicate::Options::fromInt(sqlite3_value_int(argv[1]) & 0x3);
    if (const int quick = asciiTextCompare(Operator(op), options, argv[2], sqlite3_value_int(argv[3]), argv[4],
                                           sqlite3_value_int(argv[5]));
        quick >= 0) {
        sqlite3_result_int(context, quick);
        return;
    }
    const QVariant a = functionArgument(argv[2], sqlite3_value_int(argv[3]));
    const QVariant b = functionArgument(argv[4], sqlite3_value_int(argv[5]));
    sqlite3_result_int(context, Predicate::compare(a, Operator(op), b, options) ? 1 : 0);
}

// The ZEM_FOLD collation: texts in the case-insensitive order of Predicate::order().
int foldCollation(void *, int sizeA, const void *a, int sizeB, const void *b)
{
    const QString x = QString::fromUtf8(static_cast<const char *>(a), sizeA);
    const QString y = QString::fromUtf8(static_cast<const char *>(b), sizeB);
    return Predicate::order(x, y, true);
}

// ---------------------------------------------------------------------------------------
// Statements

struct Finalizer
{
    void operator()(sqlite3_stmt *statement) const { sqlite3_finalize(statement); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, Finalizer>;

// A cached statement in use: reset and unbound when the use ends, so it never holds a
// read open or points at freed text.
class StatementUse
{
public:
    explicit StatementUse(sqlite3_stmt *statement) : m_statement(statement) {}
    ~StatementUse()
    {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }
    StatementUse(const StatementUse &) = delete;
    StatementUse &operator=(const StatementUse &) = delete;
    operator sqlite3_stmt *() const { return m_statement; }

private:
    sqlite3_stmt *m_statement;
};

} // namespace

// ---------------------------------------------------------------------------------------

struct SqliteStore::Private
{
    SqliteStore *q = nullptr;
    DataModel model;
    QString path;
    bool readOnly = false;
    sqlite3 *db = nullptr;
    Layout layout;
    QHash<QByteArray, sqlite3_stmt *> statements;

    ~Private()
    {
        for (sqlite3_stmt *statement : std::as_const(statements))
            sqlite3_finalize(statement);
        if (db)
            sqlite3_close_v2(db);
    }

    int entityIndex(const QString &name) const { return layout.index.value(name, -1); }

    ZEM_Error failure(ZEM_Error::Code code, const QString &message) const
    {
        return ZEM_Error::make(code, message, {path});
    }

    // \a what failed, with SQLite's reason; damaged files read as ParseFailed.
    ZEM_Error sqlError(ZEM_Error::Code code, const QString &what) const
    {
        const int rc = db ? sqlite3_errcode(db) & 0xff : SQLITE_CANTOPEN;
        if (code == ZEM_Error::ReadFailed && (rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT))
            code = ZEM_Error::ParseFailed;
        const QString reason = db ? QString::fromUtf8(sqlite3_errmsg(db)) : u"out of memory"_s;
        return failure(code, u"%1 %2: %3"_s.arg(what, path, reason));
    }

    ZEM_Result<sqlite3_stmt *> statement(const QByteArray &sql, ZEM_Error::Code code, const QString &what)
    {
        if (sqlite3_stmt *cached = statements.value(sql))
            return cached;
        sqlite3_stmt *prepared = nullptr;
        if (sqlite3_prepare_v3(db, sql.constData(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &prepared, nullptr)
            != SQLITE_OK) {
            sqlite3_finalize(prepared);
            return sqlError(code, what);
        }
        statements.insert(sql, prepared);
        return prepared;
    }

    ZEM_Result<void> exec(const QByteArray &sql, ZEM_Error::Code code, const QString &what)
    {
        if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
            return sqlError(code, what);
        return {};
    }

    void rollback()
    {
        if (!sqlite3_get_autocommit(db))
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    }

    ZEM_Result<qint64> queryInteger(const QByteArray &sql, ZEM_Error::Code code, const QString &what)
    {
        sqlite3_stmt *raw = nullptr;
        if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &raw, nullptr) != SQLITE_OK) {
            sqlite3_finalize(raw);
            return sqlError(code, what);
        }
        const StatementPtr statement(raw);
        const int rc = sqlite3_step(raw);
        if (rc == SQLITE_ROW)
            return qint64(sqlite3_column_int64(raw, 0));
        if (rc == SQLITE_DONE)
            return qint64(0);
        return sqlError(code, what);
    }

    ZEM_Result<void> openConnection(bool existed);
    ZEM_Result<void> createSchema();
    ZEM_Result<void> verifySchema();

    ZEM_Result<std::optional<QVariantMap>> readRow(int entity, qint64 key);
    ZEM_Result<QList<qint64>> relatedKeys(const ToManyLink &link, qint64 key, ZEM_Error::Code code);

    ZEM_Result<NodePtr> prepareNode(const Node &node, int entity) const;
    std::optional<ZEM_Error> checkKeyPath(int entity, const QString &keyPath) const;

    struct SaveState;
    ZEM_Result<qint64> targetKey(const QVariant &value, int destination, SaveState &state);
    ZEM_Result<QSet<qint64>> targetKeys(const QVariant &value, int destination, SaveState &state);
    ZEM_Result<void> writeChanges(const Changes &changes, SaveState &state);
    ZEM_Result<void> writeRow(PersistentObject *record, int entity, qint64 key, bool insert, SaveState &state);
};

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
    } else if (*applicationID != kApplicationID) {
        return failure(ZEM_Error::ParseFailed, u"%1 is an SQLite database but not a store of this kit."_s.arg(path));
    } else if (ZEM_Result<void> verified = verifySchema(); !verified) {
        return verified;
    }
    if (!readOnly) {
        if (ZEM_Result<void> r = exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL", ZEM_Error::WriteFailed,
                                      u"Cannot prepare the store"_s);
            !r)
            return r;
    }
    return {};
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
        values.insert(t.name, QVariant::fromValue(ObjectRef{destination, objectIDFor(destination, sqlite3_value_int64(value))}));
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
                               objectIDFor(e.name, key), path, a.attribute.name, QString::fromLatin1(raw.typeName()),
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
                                                objectIDFor(e.name, key), path));
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

namespace {

// The kinds SQL compares the way Predicate::compare() does; anything else goes through
// zem_compare().
enum class SqlKind { Number, Text, Date, Data };

SqlKind sqlKind(AttributeType type)
{
    switch (type) {
    case AttributeType::Integer:
    case AttributeType::Double:
    case AttributeType::Boolean:
        return SqlKind::Number;
    case AttributeType::String:
        return SqlKind::Text;
    case AttributeType::Date:
        return SqlKind::Date;
    case AttributeType::Binary:
        break;
    }
    return SqlKind::Data;
}

struct Bind
{
    enum Type { Integer, Real, Text, Pointer } type = Integer;
    qint64 integer = 0;
    double real = 0;
    QByteArray text;
    const QVariant *pointer = nullptr;
};

// A constant as SQL binds it for a column of \a kind, when that compares exactly as
// Predicate::compare() would; nullopt for constants of other kinds or with no exact form.
std::optional<Bind> simpleBind(const QVariant &value, SqlKind kind)
{
    Bind b;
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
        if (kind != SqlKind::Number)
            return std::nullopt;
        b.integer = value.toLongLong();
        return b;
    case QMetaType::ULongLong:
        if (kind != SqlKind::Number || value.toULongLong() > quint64(std::numeric_limits<qint64>::max()))
            return std::nullopt;
        b.integer = value.toLongLong();
        return b;
    case QMetaType::Double:
        if (kind != SqlKind::Number || std::isnan(value.toDouble()))
            return std::nullopt;
        b.type = Bind::Real;
        b.real = value.toDouble();
        return b;
    case QMetaType::QString: {
        const QString text = value.toString();
        if (kind != SqlKind::Text || !text.isValidUtf16())
            return std::nullopt;
        b.type = Bind::Text;
        b.text = text.toUtf8();
        return b;
    }
    case QMetaType::QDateTime: {
        const QDateTime date = value.toDateTime();
        if (kind != SqlKind::Date || !date.isValid())
            return std::nullopt;
        b.integer = date.toMSecsSinceEpoch();
        return b;
    }
    default:
        return std::nullopt;
    }
}

// Whether \a value is certainly of another kind than every stored value of \a kind.
bool otherKind(const QVariant &value, SqlKind kind)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return kind != SqlKind::Number;
    case QMetaType::QString:
        return kind != SqlKind::Text;
    case QMetaType::QDateTime:
        return value.toDateTime().isValid() && kind != SqlKind::Date;
    case QMetaType::QByteArray:
        return kind != SqlKind::Data;
    default:
        return false;
    }
}

Operator mirrored(Operator op)
{
    switch (op) {
    case Operator::Less:
        return Operator::Greater;
    case Operator::LessOrEqual:
        return Operator::GreaterOrEqual;
    case Operator::Greater:
        return Operator::Less;
    case Operator::GreaterOrEqual:
        return Operator::LessOrEqual;
    default:
        return op;
    }
}

QByteArray sqlOperator(Operator op)
{
    switch (op) {
    case Operator::Less:
        return "<";
    case Operator::LessOrEqual:
        return "<=";
    case Operator::Greater:
        return ">";
    case Operator::GreaterOrEqual:
        return ">=";
    default:
        return "=";
    }
}

bool isOrdering(Operator op)
{
    return op == Operator::Less || op == Operator::LessOrEqual || op == Operator::Greater
           || op == Operator::GreaterOrEqual;
}

// Turns predicates and sort descriptors into SQL over table alias t0 and binds their
// constants. Every condition it writes is 0 or 1, never NULL, so NOT works as in memory.
class SqlBuilder
{
public:
    explicit SqlBuilder(const Layout &layout) : m_layout(layout) {}

    std::optional<QByteArray> condition(const Node &node, int entity, const QByteArray &alias)
    {
        const qsizetype mark = m_binds.size();
        auto sql = translate(node, entity, alias);
        if (!sql)
            m_binds.resize(mark);
        return sql;
    }

private:
    std::optional<QByteArray> translate(const Node &node, int entity, const QByteArray &alias)
    {
        switch (node.kind) {
        case NodeKind::True:
            return QByteArray("1");
        case NodeKind::False:
            return QByteArray("0");
        case NodeKind::Not: {
            if (node.children.isEmpty() || !node.children.first())
                return QByteArray("0");
            const auto inner = condition(*node.children.first(), entity, alias);
            if (!inner)
                return std::nullopt;
            return "(NOT " + *inner + ")";
        }
        case NodeKind::And:
        case NodeKind::Or: {
            QByteArrayList parts;
            for (const auto &child : node.children) {
                if (!child)
                    continue;
                const auto part = condition(*child, entity, alias);
                if (!part)
                    return std::nullopt;
                parts.append(*part);
            }
            if (parts.isEmpty())
                return QByteArray(node.kind == NodeKind::And ? "1" : "0");
            return "(" + parts.join(node.kind == NodeKind::And ? " AND " : " OR ") + ")";
        }
        case NodeKind::Comparison:
            return comparison(node, entity, alias);
        }
        return std::nullopt;
    }

public:
    std::optional<QByteArray> orderTerm(const SortDescriptor &sort, int entity, const QByteArray &alias)
    {
        const auto v = value(entity, alias, sort.keyPath);
        if (!v || v->reference >= 0)
            return std::nullopt;
        const QByteArray direction = sort.ascending ? " ASC" : " DESC";
        switch (v->type) {
        case AttributeType::String:
            return v->sql + (sort.caseInsensitive ? " COLLATE ZEM_FOLD" : "") + direction;
        case AttributeType::Double:
            // Missing first, then NaN (kept as text), then numbers.
            return "CASE typeof(" + v->sql + ") WHEN 'null' THEN 0 WHEN 'text' THEN 1 ELSE 2 END" + direction + ", "
                   + v->sql + direction;
        default:
            return v->sql + direction;
        }
    }

    qsizetype mark() const { return m_binds.size(); }
    void rewind(qsizetype mark) { m_binds.resize(mark); }

    int bind(sqlite3_stmt *statement) const
    {
        int rc = SQLITE_OK;
        for (size_t i = 0; i < m_binds.size() && rc == SQLITE_OK; ++i) {
            const Bind &b = m_binds.at(i);
            const int index = int(i) + 1;
            switch (b.type) {
            case Bind::Integer:
                rc = sqlite3_bind_int64(statement, index, b.integer);
                break;
            case Bind::Real:
                rc = sqlite3_bind_double(statement, index, b.real);
                break;
            case Bind::Text:
                rc = sqlite3_bind_text64(statement, index, b.text.constData(), sqlite3_uint64(b.text.size()),
                                         SQLITE_STATIC, SQLITE_UTF8);
                break;
            case Bind::Pointer:
                rc = sqlite3_bind_pointer(statement, index, const_cast<QVariant *>(b.pointer), kVariantPointer, nullptr);
                break;
            }
        }
        return rc;
    }

private:
    struct Value
    {
        QByteArray sql;
        AttributeType type = AttributeType::String;
        int reference = -1; // the destination entity when the path ends in a to-one
    };

    // A key path through to-one relationships as one SQL value, NULL where it has none.
    std::optional<Value> value(int entity, const QByteArray &alias, const QString &keyPath)
    {
        const qsizetype dot = keyPath.indexOf(u'.');
        const QString name = dot < 0 ? keyPath : keyPath.left(dot);
        const EntityLayout &e = m_layout.entities.at(entity);
        if (const AttributeColumn *a = e.attribute(name)) {
            if (dot >= 0)
                return std::nullopt;
            return Value{alias + '.' + a->column, a->attribute.type, -1};
        }
        const ToOneColumn *t = e.toOne(name);
        if (!t)
            return std::nullopt;
        const QByteArray column = alias + '.' + t->column;
        if (dot < 0)
            return Value{column, AttributeType::Integer, t->destination};
        const QByteArray inner = "t" + QByteArray::number(++m_aliases);
        const auto rest = value(t->destination, inner, keyPath.mid(dot + 1));
        if (!rest)
            return std::nullopt;
        return Value{"(SELECT " + rest->sql + " FROM " + m_layout.entities.at(t->destination).table + ' ' + inner
                         + " WHERE " + inner + ".\"Z_PK\" = " + column + ")",
                     rest->type, rest->reference};
    }

    QByteArray parameter(Bind b)
    {
        m_binds.push_back(std::move(b));
        return "?" + QByteArray::number(qsizetype(m_binds.size()));
    }

    QByteArray variantParameter(const QVariant &v)
    {
        m_constants.push_back(v);
        Bind b;
        b.type = Bind::Pointer;
        b.pointer = &m_constants.back();
        return parameter(std::move(b));
    }

    QByteArray exact(const Node &node, const QByteArray &a, int aType, const QByteArray &b, int bType)
    {
        return "zem_compare(" + QByteArray::number(int(node.op)) + ", " + QByteArray::number(node.options.toInt()) + ", "
               + a + ", " + QByteArray::number(aType) + ", " + b + ", " + QByteArray::number(bType) + ")";
    }

    std::optional<QByteArray> comparison(const Node &node, int entity, const QByteArray &alias)
    {
        const bool keyLeft = node.lhs.isKeyPath, keyRight = node.rhs.isKeyPath;
        if (!keyLeft && !keyRight) {
            const bool holds = Predicate(std::make_shared<Node>(node)).evaluate(Predicate::ValueGetter());
            return QByteArray(holds ? "1" : "0");
        }
        if (keyLeft && keyRight) {
            const auto a = value(entity, alias, node.lhs.keyPath);
            const auto b = value(entity, alias, node.rhs.keyPath);
            if (!a || !b || a->reference >= 0 || b->reference >= 0)
                return std::nullopt;
            return exact(node, a->sql, int(a->type), b->sql, int(b->type));
        }
        const QVariant &constant = keyLeft ? node.rhs.constant : node.lhs.constant;
        // A list on the left is compared element by element.
        if (!keyLeft && (constant.typeId() == QMetaType::QVariantList || constant.typeId() == QMetaType::QStringList))
            return std::nullopt;
        const auto v = value(entity, alias, keyLeft ? node.lhs.keyPath : node.rhs.keyPath);
        if (!v)
            return std::nullopt;
        if (v->reference >= 0)
            return referenceComparison(node, *v, constant, keyLeft);
        if (auto simple = simpleComparison(node, *v, constant, keyLeft))
            return simple;
        const QByteArray c = variantParameter(constant);
        return keyLeft ? exact(node, v->sql, int(v->type), c, kBoundVariant)
                       : exact(node, c, kBoundVariant, v->sql, int(v->type));
    }

    std::optional<QByteArray> simpleComparison(const Node &node, const Value &v, const QVariant &constant, bool keyLeft)
    {
        if (node.options)
            return std::nullopt;
        const Operator op = keyLeft ? node.op : mirrored(node.op);
        const bool equality = op == Operator::Equal || op == Operator::NotEqual;
        if (!constant.isValid()) {
            // NIL equals only a missing value; nothing else holds with it.
            if (op == Operator::Equal)
                return "(" + v.sql + " IS NULL)";
            if (op == Operator::NotEqual)
                return "(" + v.sql + " IS NOT NULL)";
            return QByteArray("0");
        }
        const SqlKind kind = sqlKind(v.type);
        if ((equality || isOrdering(op)) && otherKind(constant, kind))
            return QByteArray(op == Operator::NotEqual ? "1" : "0");
        if (equality || isOrdering(op)) {
            const auto b = simpleBind(constant, kind);
            if (!b)
                return std::nullopt;
            const QByteArray p = parameter(*b);
            if (op == Operator::Equal)
                return "(" + v.sql + " IS " + p + ")";
            if (op == Operator::NotEqual)
                return "(" + v.sql + " IS NOT " + p + ")";
            const QByteArray test = v.sql + ' ' + sqlOperator(op) + ' ' + p;
            if (v.type == AttributeType::Double)
                return "coalesce(typeof(" + v.sql + ") = 'real' AND " + test + ", 0)";
            return "coalesce(" + test + ", 0)";
        }
        if (op == Operator::In && keyLeft && constant.typeId() == QMetaType::QVariantList) {
            const QVariantList list = constant.toList();
            if (list.isEmpty() || list.size() > kMaxInListParameters)
                return std::nullopt;
            const qsizetype mark = m_binds.size();
            QByteArrayList parameters;
            for (const QVariant &element : list) {
                const auto b = simpleBind(element, kind);
                if (!b) {
                    m_binds.resize(mark);
                    return std::nullopt;
                }
                parameters.append(parameter(*b));
            }
            if (v.type == AttributeType::Double)
                return "coalesce(typeof(" + v.sql + ") = 'real' AND " + v.sql + " IN (" + parameters.join(", ") + "), 0)";
            return "coalesce(" + v.sql + " IN (" + parameters.join(", ") + "), 0)";
        }
        return std::nullopt;
    }

    // A to-one relation compared with NIL or records (as ObjectRefs).
    std::optional<QByteArray> referenceComparison(const Node &node, const Value &v, const QVariant &constant, bool keyLeft)
    {
        const QString &destination = m_layout.entities.at(v.reference).name;
        auto keyOf = [&destination](const QVariant &c) -> qint64 {
            if (c.metaType() != QMetaType::fromType<ObjectRef>())
                return -1;
            const ObjectRef ref = c.value<ObjectRef>();
            QString entity;
            qint64 key = 0;
            if (ref.entityName != destination || !parseObjectID(ref.objectID, &entity, &key) || entity != destination
                || objectIDFor(destination, key) != ref.objectID)
                return 0;
            return key;
        };
        if (node.options)
            return std::nullopt;
        if (node.op == Operator::Equal || node.op == Operator::NotEqual) {
            const bool equal = node.op == Operator::Equal;
            if (!constant.isValid())
                return "(" + v.sql + (equal ? " IS NULL)" : " IS NOT NULL)");
            const qint64 key = keyOf(constant);
            if (key < 0)
                return std::nullopt;
            if (key == 0)
                return QByteArray(equal ? "0" : "1");
            Bind b;
            b.integer = key;
            return "(" + v.sql + (equal ? " IS " : " IS NOT ") + parameter(b) + ")";
        }
        if (node.op == Operator::In && keyLeft && constant.typeId() == QMetaType::QVariantList) {
            const QVariantList list = constant.toList();
            if (list.size() > kMaxInListParameters)
                return std::nullopt;
            QList<qint64> keys;
            for (const QVariant &element : list) {
                const qint64 key = keyOf(element);
                if (key < 0)
                    return std::nullopt;
                if (key > 0)
                    keys.append(key);
            }
            if (keys.isEmpty())
                return QByteArray("0");
            QByteArrayList parameters;
            for (qint64 key : std::as_const(keys)) {
                Bind b;
                b.integer = key;
                parameters.append(parameter(b));
            }
            return "coalesce(" + v.sql + " IN (" + parameters.join(", ") + "), 0)";
        }
        return std::nullopt;
    }

    const Layout &m_layout;
    std::vector<Bind> m_binds;
    std::deque<QVariant> m_constants;
    int m_aliases = 0;
};

// Stored values for evaluating in memory what SQL could not: rows are read once each, and
// to-many keys only when a key path asks for them.
class StoredValues
{
public:
    using RowReader = std::function<ZEM_Result<std::optional<QVariantMap>>(int entity, qint64 key)>;
    using KeyReader = std::function<ZEM_Result<QList<qint64>>(const ToManyLink &link, qint64 key)>;

    StoredValues(const Layout &layout, RowReader readRow, KeyReader readKeys)
        : m_layout(layout), m_readRow(std::move(readRow)), m_readKeys(std::move(readKeys))
    {
    }

    QVariant value(int entity, qint64 key, const QString &keyPath)
    {
        QVariantMap *row = this->row(entity, key);
        if (!row)
            return {};
        const qsizetype dot = keyPath.indexOf(u'.');
        const QString name = dot < 0 ? keyPath : keyPath.left(dot);
        const QString rest = dot < 0 ? QString() : keyPath.mid(dot + 1);
        const EntityLayout &e = m_layout.entities.at(entity);
        if (e.attribute(name))
            return dot < 0 ? row->value(name) : QVariant();
        if (const ToOneColumn *t = e.toOne(name)) {
            const QVariant ref = row->value(name);
            if (dot < 0 || !ref.isValid())
                return ref;
            QString destination;
            qint64 destinationKey = 0;
            if (!parseObjectID(ref.value<ObjectRef>().objectID, &destination, &destinationKey))
                return {};
            return value(t->destination, destinationKey, rest);
        }
        const ToManyLink *link = e.toMany(name);
        if (!link)
            return {};
        if (!row->contains(name)) {
            ZEM_Result<QList<qint64>> keys = m_readKeys(*link, key);
            if (!keys) {
                if (!error)
                    error = keys.error();
                return {};
            }
            row->insert(name, QVariant::fromValue(*keys));
        }
        const QList<qint64> keys = row->value(name).value<QList<qint64>>();
        QVariantList out;
        out.reserve(keys.size());
        const QString &destination = m_layout.entities.at(link->destination).name;
        for (qint64 k : keys) {
            if (dot < 0) {
                out.append(QVariant::fromValue(ObjectRef{destination, objectIDFor(destination, k)}));
                continue;
            }
            const QVariant v = value(link->destination, k, rest);
            if (v.typeId() == QMetaType::QVariantList)
                out.append(v.toList());
            else
                out.append(v);
        }
        return out;
    }

    std::optional<ZEM_Error> error;

private:
    QVariantMap *row(int entity, qint64 key)
    {
        const std::pair<int, qint64> id{entity, key};
        auto it = m_rows.find(id);
        if (it == m_rows.end()) {
            ZEM_Result<std::optional<QVariantMap>> loaded = m_readRow(entity, key);
            if (!loaded) {
                if (!error)
                    error = loaded.error();
                return nullptr;
            }
            it = m_rows.insert(id, loaded->value_or(QVariantMap()));
            if (!loaded->has_value())
                m_missing.insert(id);
        }
        return m_missing.contains(id) ? nullptr : &*it;
    }

    const Layout &m_layout;
    RowReader m_readRow;
    KeyReader m_readKeys;
    QHash<std::pair<int, qint64>, QVariantMap> m_rows;
    QSet<std::pair<int, qint64>> m_missing;
};

} // namespace

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
            refs.append(ObjectRef{destination, objectIDFor(destination, k)});
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
        ids.append(objectIDFor(e.name, key));
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
            context->setObjectID(record, objectIDFor(record->entityName(), state.insertedKeys.value(record)));
    return {};
}

} // namespace platform
