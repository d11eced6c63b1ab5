#pragma once
// Not installed: fetches of the SQLite store written as SQL. What SQL cannot express the
// store evaluates in memory over StoredValues, so a fetch answers as Predicate::evaluate().

#include "platform/store/SqliteStore_p.h"

#include <QByteArray>
#include <QVariantMap>

#include <deque>
#include <functional>

namespace platform::detail::sqlite {

struct Bind
{
    enum Type { Integer, Real, Text, Pointer } type = Integer;
    qint64 integer = 0;
    double real = 0;
    QByteArray text;
    const QVariant *pointer = nullptr;
};

// Turns predicates and sort descriptors into SQL over table alias t0 and binds their
// constants. Every condition it writes is 0 or 1, never NULL, so NOT works as in memory.
class SqlBuilder
{
public:
    explicit SqlBuilder(const Layout &layout) : m_layout(layout) {}

    /** \a node as a condition, or nullopt (binding nothing) where SQL cannot express it. */
    std::optional<QByteArray> condition(const Predicate::Node &node, int entity, const QByteArray &alias);
    /** An ORDER BY term, or nullopt where SQL cannot order as SortDescriptor does. */
    std::optional<QByteArray> orderTerm(const SortDescriptor &sort, int entity, const QByteArray &alias);

    qsizetype mark() const { return m_binds.size(); }
    void rewind(qsizetype mark) { m_binds.resize(mark); }

    /** Binds the constants of everything written so far as ?1, ?2, ... */
    int bind(sqlite3_stmt *statement) const;

private:
    struct Value
    {
        QByteArray sql;
        AttributeType type = AttributeType::String;
        int reference = -1; // the destination entity when the path ends in a to-one
    };

    std::optional<QByteArray> translate(const Predicate::Node &node, int entity, const QByteArray &alias);
    std::optional<Value> value(int entity, const QByteArray &alias, const QString &keyPath);
    QByteArray parameter(Bind b);
    QByteArray variantParameter(const QVariant &v);
    QByteArray exact(const Predicate::Node &node, const QByteArray &a, int aType, const QByteArray &b, int bType);
    std::optional<QByteArray> comparison(const Predicate::Node &node, int entity, const QByteArray &alias);
    std::optional<QByteArray> simpleComparison(const Predicate::Node &node, const Value &v, const QVariant &constant,
                                               bool keyLeft);
    std::optional<QByteArray> referenceComparison(const Predicate::Node &node, const Value &v,
                                                  const QVariant &constant, bool keyLeft);

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

    QVariant value(int entity, qint64 key, const QString &keyPath);

    std::optional<ZEM_Error> error;

private:
    QVariantMap *row(int entity, qint64 key);

    const Layout &m_layout;
    RowReader m_readRow;
    KeyReader m_readKeys;
    QHash<std::pair<int, qint64>, QVariantMap> m_rows;
    QSet<std::pair<int, qint64>> m_missing;
};

} // namespace platform::detail::sqlite
