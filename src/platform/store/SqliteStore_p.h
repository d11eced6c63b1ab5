#pragma once
// Not installed: what the files of the SQLite store share. The layout a model maps to and
// the connection are made and checked in SqliteSchema.cpp, fetches are written as SQL by
// detail/SqlBuilder, and SqliteStore.cpp loads, saves and fetches.

#include "platform/store/Predicate.h"
#include "platform/store/SqliteStore.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QVariant>

#include <sqlite3.h>

#include <memory>
#include <optional>
#include <vector>

namespace platform {

namespace detail::sqlite {

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

/** \a identifier as a quoted SQL identifier. */
QByteArray quote(const QString &identifier);

/** The id text form's parts, with the entity as a text of its own. */
bool parseObjectID(const QString &id, QString *entity, qint64 *key);

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
    // Inverse: the destination's to-one relationship whose column holds the link.
    QString inverseName;
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


/** The layout of \a model; InvalidArgument when two of its names need one table or column. */
ZEM_Result<Layout> buildLayout(const DataModel &model);

// ---------------------------------------------------------------------------------------
// Values

/** The stored \a value as an attribute of \a type has it. */
QVariant valueFrom(sqlite3_value *value, AttributeType type);

/** Whether \a a and \a b, values of \a type (or none), are stored alike. */
bool sameStored(const QVariant &a, const QVariant &b, AttributeType type);

/**
 * Binds \a value, already coerced to \a type; texts and data must stay alive in \a keep
 * until the statement has run.
 */
int bindValue(sqlite3_stmt *statement, int index, const QVariant &value, AttributeType type,
              std::vector<QByteArray> &keep);

// ---------------------------------------------------------------------------------------
// Statements and the functions the connection gets

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


/** zem_compare(op, options, a, a's type, b, b's type): Predicate::compare() in SQL. */
void compareFunction(sqlite3_context *context, int, sqlite3_value **argv);
/** The ZEM_FOLD collation: texts in the case-insensitive order of Predicate::order(). */
int foldCollation(void *, int sizeA, const void *a, int sizeB, const void *b);

} // namespace detail::sqlite

struct SqliteStore::Private
{
    SqliteStore *q = nullptr;
    DataModel model;
    QString path;
    bool readOnly = false;
    sqlite3 *db = nullptr;
    detail::sqlite::Layout layout;
    QHash<QByteArray, sqlite3_stmt *> statements;

    // A row as this store last loaded it for a record or wrote it: a save writes only the
    // columns and links that differ from it, and only where the file still holds it, so
    // another program's save in between is kept or reported, never undone. One per row,
    // whichever context loaded it last.
    struct RowBase
    {
        QVariantList columns; // the attributes as valueFrom() gives them, then to-one keys (0: none)
        QList<QList<qint64>> links; // per to-many relationship, ascending
    };
    QHash<std::pair<int, qint64>, RowBase> bases;
    // Set on open when the file held a store, so a failed open never removes another's.
    bool foundStore = false;

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
        const QString reason = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("out of memory");
        return failure(code, QStringLiteral("%1 %2: %3").arg(what, path, reason));
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
        const detail::sqlite::StatementPtr statement(raw);
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

    ZEM_Result<void> checkStore();

    ZEM_Result<std::optional<QVariantMap>> readRow(int entity, qint64 key, QVariantList *columns = nullptr);
    ZEM_Result<QList<qint64>> relatedKeys(const detail::sqlite::ToManyLink &link, qint64 key, ZEM_Error::Code code);

    ZEM_Result<std::shared_ptr<const Predicate::Node>> prepareNode(const Predicate::Node &node, int entity) const;
    std::optional<ZEM_Error> checkKeyPath(int entity, const QString &keyPath) const;

    struct SaveState;
    ZEM_Result<qint64> targetKey(const QVariant &value, int destination, SaveState &state);
    ZEM_Result<QSet<qint64>> targetKeys(const QVariant &value, int destination, SaveState &state);
    ZEM_Result<void> writeChanges(const Changes &changes, SaveState &state);
    ZEM_Result<void> writeRow(PersistentObject *record, int entity, qint64 key, bool insert, SaveState &state);
    ZEM_Result<void> checkDeletable(int entity, qint64 key);
    ZEM_Result<bool> rowExists(int entity, qint64 key);
    ZEM_Error changedError(int entity, qint64 key);
    void updateBases(const SaveState &state);
};

} // namespace platform
