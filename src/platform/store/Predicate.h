#pragma once

#include "foundation/ZEM_Result.h"
#include "zem_appkit_export.h"

#include <QFlags>
#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

#include <functional>
#include <memory>

namespace platform {

class PersistentObject;

/**
 * A condition on records, parsed from a format string:
 *
 * \code
 * auto p = platform::Predicate::parse(u"lastName BEGINSWITH[c] %@ AND age >= %d"_s,
 *                                     {u"b"_s, 18});
 * if (p && p->evaluate(record)) ...
 * \endcode
 *
 * Grammar (keywords in any case):
 * - comparisons `lhs op rhs` with op one of `==` `=` `!=` `<>` `<` `<=` `=<` `>` `>=` `=>`,
 *   `CONTAINS`, `BEGINSWITH`, `ENDSWITH`, `LIKE` (`*` and `?` wildcards), `MATCHES`
 *   (a regular expression matching the whole text), `IN`; the text operators and `==`/`!=`
 *   (and `IN`) take the options `[c]` (ignore case), `[d]` (ignore diacritics) or `[cd]`;
 *   the ordering operators take none;
 * - operands: key paths (`name`, `calendar.title`), quoted texts ('…' or "…" with
 *   backslash escapes), numbers, `TRUE`/`YES`, `FALSE`/`NO`, `NIL`/`NULL`, lists
 *   `{1, 2, 3}`, and the arguments `%@` (any value), `%d` `%i` `%ld` `%u` (integer),
 *   `%f` `%lf` (double), `%K` (a key path);
 * - `AND`/`&&`, `OR`/`||`, `NOT`/`!`, parentheses, `TRUEPREDICATE`, `FALSEPREDICATE`.
 *   NOT binds tighter than AND, AND tighter than OR;
 * - `ANY` or `SOME` before a key path on the left (the default meaning, see below);
 * - values without a literal of their own: `CAST("2026-12-05T10:00:00.000Z", "NSDate")`
 *   (ISO 8601, or a number of seconds since 1970), `CAST("base64", "NSData")` and
 *   `CAST("nan", "NSNumber")` (also "inf", "-inf");
 * - `#` before a key (`#in`) makes it a key even when it is a keyword.
 *
 * Errors name the position as an offset into the format (0 for its first character);
 * parentheses, NOTs and lists nest at most maximumDepth deep.
 *
 * Values compare as their kind: numbers (integers, doubles, booleans) by value, texts by
 * code point, dates by instant, data by bytes. Values of different kinds are never equal
 * and never ordered. NIL equals only a missing value; ordering with NIL is false.
 * A key path that passes through a to-many relation yields a list; a comparison with such
 * a list on its left holds when it holds for any element.
 */
class ZEM_APPKIT_EXPORT Predicate
{
public:
    enum class Operator {
        Equal,
        NotEqual,
        Less,
        LessOrEqual,
        Greater,
        GreaterOrEqual,
        Contains,
        BeginsWith,
        EndsWith,
        Like,
        Matches,
        In,
    };
    enum class Option { CaseInsensitive = 0x1, DiacriticInsensitive = 0x2 };
    Q_DECLARE_FLAGS(Options, Option)

    struct Operand
    {
        bool isKeyPath = false;
        QString keyPath;   ///< when isKeyPath
        /**
         * Otherwise; a QVariantList for `{…}`, invalid for NIL. One type per kind: integers
         * as qint64 (quint64 above its range), doubles, bool, QString, QDateTime in UTC,
         * QByteArray, QVariantList (string lists and record sets given as `%@` too);
         * records stay PersistentObject*.
         */
        QVariant constant;
    };

    enum class NodeKind { True, False, Comparison, And, Or, Not };

    /** The parsed tree; public so that stores can translate it into their own queries. */
    struct Node
    {
        NodeKind kind = NodeKind::True;
        // Comparison:
        Operand lhs;
        Operator op = Operator::Equal;
        Operand rhs;
        Options options;
        // And, Or (two or more), Not (one):
        QList<std::shared_ptr<const Node>> children;
    };

    /** The value of a key path for the object being tested. */
    using ValueGetter = std::function<QVariant(const QString &keyPath)>;

    /** The predicate that always holds. */
    Predicate();
    explicit Predicate(std::shared_ptr<const Node> root);

    /**
     * Parses \a format, filling `%` arguments from \a arguments in order. Errors name the
     * position and what was expected; too few or too many arguments are errors.
     */
    static ZEM_Result<Predicate> parse(const QString &format, const QVariantList &arguments = {});
    static Predicate comparison(const QString &keyPath, Operator op, const QVariant &value,
                                Options options = {});
    static Predicate andPredicate(const QList<Predicate> &predicates);
    static Predicate orPredicate(const QList<Predicate> &predicates);
    static Predicate notPredicate(const Predicate &predicate);

    const Node &root() const;
    /** True for the always-true predicate. */
    bool isTrue() const;

    bool evaluate(const ValueGetter &valueForKeyPath) const;
    /** Against a record's valueForKeyPath(). */
    bool evaluate(PersistentObject *record) const;
    /** Against a map; a dotted key path descends into nested maps. */
    bool evaluate(const QVariantMap &values) const;

    /**
     * A format string that parse() turns back into an equal predicate. Constants that have
     * no literal (records, custom types) come out in a CAST form that parse() refuses.
     */
    QString format() const;

    /**
     * The same tree: same structure, operators, options, key paths and constants of the
     * same type and value (dates by instant, NaN equal to NaN).
     */
    bool operator==(const Predicate &other) const;

    /** How deep parentheses, NOTs and lists may nest in a format. */
    static constexpr int maximumDepth = 256;

    /** One comparison of two values, as evaluate() does it (no list expansion on the left). */
    static bool compare(const QVariant &lhs, Operator op, const QVariant &rhs, Options options = {});
    /**
     * The order of two values for sorting: negative, zero or positive. Missing values come
     * first; values of different kinds order by kind (numbers, texts, dates, data, other).
     */
    static int order(const QVariant &a, const QVariant &b, bool caseInsensitive = false);
    /** \a text folded as the options ask (lower case, diacritics removed), for comparing. */
    static QString fold(const QString &text, Options options);

private:
    std::shared_ptr<const Node> m_root;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(Predicate::Options)

/** One sort key of a fetch or an arrangement. */
struct ZEM_APPKIT_EXPORT SortDescriptor
{
    QString keyPath;
    bool ascending = true;
    bool caseInsensitive = false;

    /** Negative when \a a comes before \a b, by Predicate::order(). */
    int compare(const QVariant &a, const QVariant &b) const;
    /** Compares two objects over several descriptors through their getters. */
    static int compare(const QList<SortDescriptor> &descriptors, const Predicate::ValueGetter &a,
                       const Predicate::ValueGetter &b);
};

/** What a fetch asks for: the records of one entity that match, in order. */
struct ZEM_APPKIT_EXPORT FetchRequest
{
    QString entityName;
    Predicate predicate;
    QList<SortDescriptor> sortDescriptors;
    /** At most this many records; 0 for all. */
    int fetchLimit = 0;
};

} // namespace platform
