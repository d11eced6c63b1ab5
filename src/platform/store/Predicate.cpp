// The evaluator: comparisons of values, key paths through records and maps, and the
// public face of Predicate. The parser and the formatter live in files of their own.

#include "platform/store/Predicate.h"

#include "platform/store/ChangeNotice.h"
#include "platform/store/PersistentObject.h"
#include "platform/store/detail/PredicateValues.h"

#include <QRegularExpression>

#include <cmath>
#include <functional>
#include <optional>

using namespace Qt::StringLiterals;

namespace platform {

namespace {

using namespace detail;

// ---------------------------------------------------------------------------------------
// Comparing

// Full case folding: Qt folds one unit to one unit, so the expansions (ß → ss, ﬁ → fi,
// İ → i̇) come from the full upper and lower case mappings it does know.
QString caseFolded(const QString &text)
{
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text.at(i).unicode();
        if (u < 0x80) {
            out.append(QChar(u >= 'A' && u <= 'Z' ? char16_t(u + 0x20) : u));
            continue;
        }
        char32_t c = u;
        if (QChar::isHighSurrogate(u) && i + 1 < n && text.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(u, text.at(i + 1).unicode());
            ++i;
        } else if (QChar::isSurrogate(u)) {
            out.append(QChar(u)); // a lone half stays as it is
            continue;
        }
        const char32_t simple = QChar::toCaseFolded(c);
        const QString single = QString::fromUcs4(&simple, 1);
        const QString upper = single.toUpper();
        if (upper.toUcs4().size() > 1) {
            out.append(upper.toLower().toCaseFolded());
            continue;
        }
        const QString lower = QString::fromUcs4(&c, 1).toLower();
        if (lower.toUcs4().size() > 1)
            out.append(lower.toCaseFolded());
        else
            out.append(single);
    }
    return out;
}

QString withoutMarks(const QString &text)
{
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t c = text.at(i).unicode();
        qsizetype len = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < n && text.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text.at(i).unicode(), text.at(i + 1).unicode());
            len = 2;
        }
        const QChar::Category cat = QChar::category(c);
        if (cat != QChar::Mark_NonSpacing && cat != QChar::Mark_Enclosing)
            out.append(text.constData() + i, len);
        i += len - 1;
    }
    return out;
}

// Wildcard matching for LIKE: `*` any run, `?` one character, `\` takes the next literally.
// One backtrack point is enough for `*`, so this stays O(text × pattern) at worst.
bool likeMatches(const QString &text, const QString &pattern)
{
    struct Item
    {
        enum { Literal, One, Any } kind;
        char32_t c;
    };
    QList<Item> items;
    const QList<uint> p = pattern.toUcs4();
    for (qsizetype i = 0; i < p.size(); ++i) {
        const uint c = p.at(i);
        if (c == '\\' && i + 1 < p.size())
            items.append({Item::Literal, char32_t(p.at(++i))});
        else if (c == '*') {
            if (items.isEmpty() || items.last().kind != Item::Any)
                items.append({Item::Any, 0});
        } else if (c == '?')
            items.append({Item::One, 0});
        else
            items.append({Item::Literal, char32_t(c)});
    }
    const QList<uint> t = text.toUcs4();
    qsizetype ti = 0, pi = 0, starP = -1, starT = 0;
    while (ti < t.size()) {
        if (pi < items.size() &&
            (items.at(pi).kind == Item::One ||
             (items.at(pi).kind == Item::Literal && items.at(pi).c == t.at(ti)))) {
            ++ti;
            ++pi;
        } else if (pi < items.size() && items.at(pi).kind == Item::Any) {
            starP = pi++;
            starT = ti;
        } else if (starP >= 0) {
            pi = starP + 1;
            ti = ++starT;
        } else {
            return false;
        }
    }
    while (pi < items.size() && items.at(pi).kind == Item::Any)
        ++pi;
    return pi == items.size();
}

QRegularExpression::PatternOptions regexOptions(Options options)
{
    QRegularExpression::PatternOptions o = QRegularExpression::UseUnicodePropertiesOption |
                                           QRegularExpression::DotMatchesEverythingOption;
    if (options & Option::CaseInsensitive)
        o |= QRegularExpression::CaseInsensitiveOption;
    return o;
}

bool regexMatches(const QString &text, const QString &pattern, Options options)
{
    // Fetches test one pattern against many records: keep the last one compiled.
    thread_local QString lastPattern;
    thread_local QRegularExpression::PatternOptions lastOptions;
    thread_local QRegularExpression lastRegex;
    const QRegularExpression::PatternOptions o = regexOptions(options);
    if (pattern != lastPattern || o != lastOptions || !lastRegex.isValid()) {
        lastRegex = QRegularExpression(QRegularExpression::anchoredPattern(pattern), o);
        lastPattern = pattern;
        lastOptions = o;
    }
    return lastRegex.isValid() && lastRegex.match(text).hasMatch();
}

bool equalValues(const QVariant &a, const QVariant &b, Options options);

std::optional<int> orderedCompare(const QVariant &a, const QVariant &b, Options options)
{
    const Kind k = kindOf(a);
    if (k != kindOf(b))
        return std::nullopt;
    switch (k) {
    case Kind::Number:
        return compareNumbers(numberOf(a), numberOf(b));
    case Kind::Text:
        if (options)
            return compareCodePoints(Predicate::fold(textOf(a), options),
                                     Predicate::fold(textOf(b), options));
        return compareCodePoints(textOf(a), textOf(b));
    case Kind::Date:
        return threeWay(msecsOf(a), msecsOf(b));
    case Kind::Data:
        return compareBytes(a.toByteArray(), b.toByteArray());
    default:
        return std::nullopt;
    }
}

bool equalValues(const QVariant &a, const QVariant &b, Options options)
{
    const Kind k = kindOf(a);
    if (k != kindOf(b))
        return false;
    switch (k) {
    case Kind::Missing:
        return true;
    case Kind::Number:
    case Kind::Date:
    case Kind::Data: {
        const auto c = orderedCompare(a, b, {});
        return c && *c == 0;
    }
    case Kind::Text:
        if (options)
            return Predicate::fold(textOf(a), options) == Predicate::fold(textOf(b), options);
        return textOf(a) == textOf(b);
    case Kind::List: {
        const QVariantList x = listOf(a), y = listOf(b);
        if (x.size() != y.size())
            return false;
        for (qsizetype i = 0; i < x.size(); ++i)
            if (!equalValues(x.at(i), y.at(i), options))
                return false;
        return true;
    }
    case Kind::Object:
        return *static_cast<QObject *const *>(a.constData()) ==
               *static_cast<QObject *const *>(b.constData());
    case Kind::Other:
        return a.metaType() == b.metaType() && a == b;
    }
    return false;
}

int kindRank(Kind k)
{
    switch (k) {
    case Kind::Missing:
        return 0;
    case Kind::Number:
        return 1;
    case Kind::Text:
        return 2;
    case Kind::Date:
        return 3;
    case Kind::Data:
        return 4;
    case Kind::List:
        return 5;
    case Kind::Object:
        return 6;
    case Kind::Other:
        return 7;
    }
    return 7;
}

// ---------------------------------------------------------------------------------------
// Key paths through values

// One step of a key path: into a map, a record, or each element of a to-many value.
QVariant stepInto(const QVariant &value, const QString &key)
{
    switch (value.typeId()) {
    case QMetaType::QVariantMap:
        return static_cast<const QVariantMap *>(value.constData())->value(key);
    case QMetaType::QVariantHash:
        return static_cast<const QVariantHash *>(value.constData())->value(key);
    default:
        break;
    }
    if (PersistentObject *record = PersistentObject::fromVariant(value))
        return record->valueForKey(key);
    if (kindOf(value) == Kind::List) {
        QVariantList out;
        for (const QVariant &element : listOf(value)) {
            const QVariant v = stepInto(element, key);
            if (kindOf(v) == Kind::List)
                out.append(listOf(v));
            else
                out.append(v);
        }
        return out;
    }
    return {};
}

QVariant valueAtPath(QVariant value, const QString &keyPath)
{
    qsizetype start = 0;
    while (true) {
        const qsizetype dot = keyPath.indexOf(u'.', start);
        const QString key = keyPath.mid(start, dot < 0 ? -1 : dot - start);
        value = stepInto(value, key);
        if (dot < 0)
            return value;
        start = dot + 1;
    }
}

// ---------------------------------------------------------------------------------------
// Evaluation

QVariant operandValue(const Predicate::Operand &operand, const Predicate::ValueGetter &get)
{
    if (!operand.isKeyPath)
        return operand.constant;
    return normalized(get ? get(operand.keyPath) : QVariant());
}

bool evaluateNode(const Predicate::Node &node, const Predicate::ValueGetter &get)
{
    switch (node.kind) {
    case Predicate::NodeKind::True:
        return true;
    case Predicate::NodeKind::False:
        return false;
    case Predicate::NodeKind::And:
        for (const auto &child : node.children)
            if (child && !evaluateNode(*child, get))
                return false;
        return true;
    case Predicate::NodeKind::Or:
        for (const auto &child : node.children)
            if (child && evaluateNode(*child, get))
                return true;
        return false;
    case Predicate::NodeKind::Not:
        if (node.children.isEmpty() || !node.children.first())
            return false;
        return !evaluateNode(*node.children.first(), get);
    case Predicate::NodeKind::Comparison: {
        const QVariant lhs = operandValue(node.lhs, get);
        const QVariant rhs = operandValue(node.rhs, get);
        if (kindOf(lhs) == Kind::List) {
            for (const QVariant &element : listOf(lhs))
                if (Predicate::compare(element, node.op, rhs, node.options))
                    return true;
            return false;
        }
        return Predicate::compare(lhs, node.op, rhs, node.options);
    }
    }
    return false;
}

// ---------------------------------------------------------------------------------------
// The same tree

const NodePtr &trueNode()
{
    static const NodePtr node = std::make_shared<Predicate::Node>();
    return node;
}

// Constants are the same when they are the same value of the same type.
bool sameConstant(const QVariant &a, const QVariant &b)
{
    if (a.metaType() != b.metaType())
        return false;
    if (!a.isValid())
        return true;
    switch (kindOf(a)) {
    case Kind::Number:
        if (a.typeId() == QMetaType::Double || a.typeId() == QMetaType::Float) {
            const double x = a.toDouble(), y = b.toDouble();
            return (std::isnan(x) && std::isnan(y)) || x == y;
        }
        return equalValues(a, b, {});
    case Kind::List: {
        const QVariantList x = listOf(a), y = listOf(b);
        if (x.size() != y.size())
            return false;
        for (qsizetype i = 0; i < x.size(); ++i)
            if (!sameConstant(x.at(i), y.at(i)))
                return false;
        return true;
    }
    case Kind::Missing:
        return kindOf(b) == Kind::Missing;
    default:
        return equalValues(a, b, {});
    }
}

bool sameOperand(const Predicate::Operand &a, const Predicate::Operand &b)
{
    if (a.isKeyPath != b.isKeyPath)
        return false;
    return a.isKeyPath ? a.keyPath == b.keyPath : sameConstant(a.constant, b.constant);
}

bool sameNode(const Predicate::Node &a, const Predicate::Node &b)
{
    if (a.kind != b.kind)
        return false;
    if (a.kind == Predicate::NodeKind::Comparison)
        return a.op == b.op && a.options == b.options && sameOperand(a.lhs, b.lhs) &&
               sameOperand(a.rhs, b.rhs);
    if (a.children.size() != b.children.size())
        return false;
    for (qsizetype i = 0; i < a.children.size(); ++i) {
        const NodePtr &x = a.children.at(i), &y = b.children.at(i);
        if (!x || !y ? x != y : !sameNode(*x, *y))
            return false;
    }
    return true;
}

} // namespace

// -----------------------------------------------------------------------------------------

Predicate::Predicate() : m_root(trueNode()) {}

Predicate::Predicate(std::shared_ptr<const Node> root) : m_root(root ? std::move(root) : trueNode())
{
}

Predicate Predicate::comparison(const QString &keyPath, Operator op, const QVariant &value,
                                Options options)
{
    auto node = std::make_shared<Node>();
    node->kind = NodeKind::Comparison;
    node->lhs.isKeyPath = true;
    node->lhs.keyPath = keyPath;
    node->op = op;
    node->rhs.constant = canonicalConstant(value);
    node->options = options;
    return Predicate(node);
}

Predicate Predicate::andPredicate(const QList<Predicate> &predicates)
{
    if (predicates.isEmpty())
        return Predicate();
    if (predicates.size() == 1)
        return predicates.first();
    auto node = std::make_shared<Node>();
    node->kind = NodeKind::And;
    for (const Predicate &p : predicates)
        node->children.append(p.m_root);
    return Predicate(node);
}

Predicate Predicate::orPredicate(const QList<Predicate> &predicates)
{
    if (predicates.size() == 1)
        return predicates.first();
    auto node = std::make_shared<Node>();
    node->kind = predicates.isEmpty() ? NodeKind::False : NodeKind::Or;
    for (const Predicate &p : predicates)
        node->children.append(p.m_root);
    return Predicate(node);
}

Predicate Predicate::notPredicate(const Predicate &predicate)
{
    auto node = std::make_shared<Node>();
    node->kind = NodeKind::Not;
    node->children.append(predicate.m_root);
    return Predicate(node);
}

const Predicate::Node &Predicate::root() const
{
    return *m_root;
}

bool Predicate::isTrue() const
{
    return m_root->kind == NodeKind::True;
}

bool Predicate::evaluate(const ValueGetter &valueForKeyPath) const
{
    return evaluateNode(*m_root, valueForKeyPath);
}

bool Predicate::evaluate(PersistentObject *record) const
{
    const QVariant start = PersistentObject::toVariant(record);
    return evaluate([&start](const QString &keyPath) { return valueAtPath(start, keyPath); });
}

bool Predicate::evaluate(const QVariantMap &values) const
{
    const QVariant start(values);
    return evaluate([&start](const QString &keyPath) { return valueAtPath(start, keyPath); });
}

bool Predicate::operator==(const Predicate &other) const
{
    return m_root == other.m_root || sameNode(*m_root, *other.m_root);
}

bool Predicate::compare(const QVariant &lhs, Operator op, const QVariant &rhs, Options options)
{
    switch (op) {
    case Operator::Equal:
        return equalValues(lhs, rhs, options);
    case Operator::NotEqual:
        return !equalValues(lhs, rhs, options);
    case Operator::Less:
    case Operator::LessOrEqual:
    case Operator::Greater:
    case Operator::GreaterOrEqual: {
        const std::optional<int> c = orderedCompare(lhs, rhs, options);
        if (!c)
            return false;
        if (op == Operator::Less)
            return *c < 0;
        if (op == Operator::LessOrEqual)
            return *c <= 0;
        if (op == Operator::Greater)
            return *c > 0;
        return *c >= 0;
    }
    case Operator::Contains:
    case Operator::BeginsWith:
    case Operator::EndsWith:
    case Operator::Like: {
        if (!isText(lhs) || !isText(rhs))
            return false;
        const QString text = fold(textOf(lhs), options), part = fold(textOf(rhs), options);
        if (op == Operator::Contains)
            return text.contains(part);
        if (op == Operator::BeginsWith)
            return text.startsWith(part);
        if (op == Operator::EndsWith)
            return text.endsWith(part);
        return likeMatches(text, part);
    }
    case Operator::Matches: {
        if (!isText(lhs) || !isText(rhs))
            return false;
        // Case is left to the expression engine: folding the pattern would change escapes
        // such as \D into \d.
        const Options diacritics = options & Option::DiacriticInsensitive;
        return regexMatches(fold(textOf(lhs), diacritics), fold(textOf(rhs), diacritics), options);
    }
    case Operator::In: {
        const QVariant container = normalized(rhs);
        if (kindOf(container) == Kind::List) {
            for (const QVariant &element : listOf(container))
                if (equalValues(lhs, element, options))
                    return true;
            return false;
        }
        if (isText(lhs) && isText(container))
            return fold(textOf(container), options).contains(fold(textOf(lhs), options));
        return false;
    }
    }
    return false;
}

int Predicate::order(const QVariant &a, const QVariant &b, bool caseInsensitive)
{
    const Kind ka = kindOf(a), kb = kindOf(b);
    if (ka != kb)
        return threeWay(kindRank(ka), kindRank(kb));
    switch (ka) {
    case Kind::Missing:
        return 0;
    case Kind::Number: {
        const Number x = numberOf(a), y = numberOf(b);
        const bool xnan = x.type == Number::Real && std::isnan(x.d);
        const bool ynan = y.type == Number::Real && std::isnan(y.d);
        if (xnan || ynan)
            return threeWay(!xnan, !ynan); // NaN first among numbers
        return compareNumbers(x, y).value_or(0);
    }
    case Kind::Text: {
        const QString x = textOf(a), y = textOf(b);
        if (caseInsensitive) {
            if (const int c = compareCodePoints(fold(x, Option::CaseInsensitive),
                                                fold(y, Option::CaseInsensitive)))
                return c;
        }
        return compareCodePoints(x, y);
    }
    case Kind::Date:
        return threeWay(msecsOf(a), msecsOf(b));
    case Kind::Data:
        return compareBytes(a.toByteArray(), b.toByteArray());
    case Kind::List: {
        const QVariantList x = listOf(a), y = listOf(b);
        for (qsizetype i = 0; i < qMin(x.size(), y.size()); ++i)
            if (const int c = order(x.at(i), y.at(i), caseInsensitive))
                return c;
        return threeWay(x.size(), y.size());
    }
    case Kind::Object: {
        QObject *x = *static_cast<QObject *const *>(a.constData());
        QObject *y = *static_cast<QObject *const *>(b.constData());
        if (x == y)
            return 0;
        auto *rx = qobject_cast<PersistentObject *>(x);
        auto *ry = qobject_cast<PersistentObject *>(y);
        if (rx && ry) {
            if (const int c = compareCodePoints(rx->entityName(), ry->entityName()))
                return c;
            if (const int c = compareCodePoints(rx->objectID(), ry->objectID()))
                return c;
        }
        return std::less<QObject *>()(x, y) ? -1 : 1;
    }
    case Kind::Other: {
        if (a.metaType() != b.metaType())
            return threeWay(a.metaType().id(), b.metaType().id());
        const QPartialOrdering c = QVariant::compare(a, b);
        if (c == QPartialOrdering::Less)
            return -1;
        if (c == QPartialOrdering::Greater)
            return 1;
        return 0;
    }
    }
    return 0;
}

QString Predicate::fold(const QString &text, Options options)
{
    if (!options)
        return text;
    QString s = text.normalized(QString::NormalizationForm_D);
    if (options & Option::CaseInsensitive)
        s = caseFolded(s).normalized(QString::NormalizationForm_D);
    if (options & Option::DiacriticInsensitive)
        s = withoutMarks(s);
    return s.normalized(QString::NormalizationForm_C);
}

int SortDescriptor::compare(const QVariant &a, const QVariant &b) const
{
    const int c = Predicate::order(a, b, caseInsensitive);
    return ascending ? c : -c;
}

int SortDescriptor::compare(const QList<SortDescriptor> &descriptors,
                            const Predicate::ValueGetter &a, const Predicate::ValueGetter &b)
{
    for (const SortDescriptor &d : descriptors) {
        const QVariant x = a ? normalized(a(d.keyPath)) : QVariant();
        const QVariant y = b ? normalized(b(d.keyPath)) : QVariant();
        if (const int c = d.compare(x, y))
            return c;
    }
    return 0;
}

} // namespace platform