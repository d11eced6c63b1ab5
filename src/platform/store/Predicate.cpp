#include "platform/store/Predicate.h"

#include "platform/store/ChangeNotice.h"
#include "platform/store/PersistentObject.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QRegularExpression>
#include <QStringList>

#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <optional>

using namespace Qt::StringLiterals;

namespace platform {

namespace {

using NodePtr = std::shared_ptr<const Predicate::Node>;
using Operator = Predicate::Operator;
using Option = Predicate::Option;
using Options = Predicate::Options;

// ---------------------------------------------------------------------------------------
// Values

enum class Kind { Missing, Number, Text, Date, Data, List, Object, Other };

bool isRecordSet(const QVariant &v)
{
    return v.metaType() == QMetaType::fromType<RecordSet>();
}

Kind kindOf(const QVariant &v)
{
    if (!v.isValid())
        return Kind::Missing;
    switch (v.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return Kind::Number;
    case QMetaType::QString:
    case QMetaType::QChar:
        return Kind::Text;
    case QMetaType::QDateTime:
        return v.toDateTime().isValid() ? Kind::Date : Kind::Missing;
    case QMetaType::QDate:
        return v.toDate().isValid() ? Kind::Date : Kind::Missing;
    case QMetaType::QByteArray:
        return Kind::Data;
    case QMetaType::QVariantList:
    case QMetaType::QStringList:
        return Kind::List;
    case QMetaType::Nullptr:
        return Kind::Missing;
    default:
        break;
    }
    if (isRecordSet(v))
        return Kind::List;
    if (v.metaType().flags() & QMetaType::PointerToQObject) {
        return *static_cast<QObject *const *>(v.constData()) ? Kind::Object : Kind::Missing;
    }
    return Kind::Other;
}

QVariantList listOf(const QVariant &v)
{
    if (v.typeId() == QMetaType::QVariantList)
        return v.toList();
    QVariantList list;
    if (v.typeId() == QMetaType::QStringList) {
        const QStringList texts = v.toStringList();
        list.reserve(texts.size());
        for (const QString &t : texts)
            list.append(t);
    } else if (isRecordSet(v)) {
        const RecordSet &records = *static_cast<const RecordSet *>(v.constData());
        list.reserve(records.size());
        for (PersistentObject *r : records)
            list.append(PersistentObject::toVariant(r));
    }
    return list;
}

// Lists reach the comparisons in one shape whatever they came as.
QVariant normalized(const QVariant &v)
{
    if (v.typeId() == QMetaType::QStringList || isRecordSet(v))
        return listOf(v);
    return v;
}

QString textOf(const QVariant &v)
{
    return v.typeId() == QMetaType::QChar ? QString(v.value<QChar>()) : v.toString();
}

qint64 msecsOf(const QVariant &v)
{
    if (v.typeId() == QMetaType::QDate)
        return v.toDate().startOfDay(Qt::UTC).toMSecsSinceEpoch();
    return v.toDateTime().toMSecsSinceEpoch();
}

// A number kept as what it is: a double is never widened from or narrowed to an integer.
struct Number
{
    enum Type { Signed, Unsigned, Real } type = Signed;
    qint64 i = 0;
    quint64 u = 0;
    double d = 0;
};

Number numberOf(const QVariant &v)
{
    Number n;
    switch (v.typeId()) {
    case QMetaType::Double:
        n.type = Number::Real;
        n.d = v.toDouble();
        break;
    case QMetaType::Float:
        n.type = Number::Real;
        n.d = double(v.toFloat());
        break;
    case QMetaType::Bool:
        n.i = v.toBool() ? 1 : 0;
        break;
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UChar:
        n.u = v.toULongLong();
        if (n.u > quint64(std::numeric_limits<qint64>::max()))
            n.type = Number::Unsigned;
        else
            n.i = qint64(n.u);
        break;
    default:
        n.i = v.toLongLong();
        break;
    }
    return n;
}

template <typename T> int threeWay(T a, T b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Compares a double with an integer exactly: the integral part as an integer, then the
// fraction decides.
std::optional<int> compareRealSigned(double d, qint64 i)
{
    if (std::isnan(d))
        return std::nullopt;
    if (d >= 9223372036854775808.0)
        return 1;
    if (d < -9223372036854775808.0)
        return -1;
    const double t = std::trunc(d);
    const qint64 ti = qint64(t);
    if (ti != i)
        return threeWay(ti, i);
    return threeWay(d - t, 0.0);
}

std::optional<int> compareRealUnsigned(double d, quint64 u)
{
    if (std::isnan(d))
        return std::nullopt;
    if (d < 0)
        return -1;
    if (d >= 18446744073709551616.0)
        return 1;
    const double t = std::trunc(d);
    const quint64 tu = quint64(t);
    if (tu != u)
        return threeWay(tu, u);
    return threeWay(d - t, 0.0);
}

std::optional<int> compareNumbers(const Number &a, const Number &b)
{
    auto flip = [](std::optional<int> c) { return c ? std::optional<int>(-*c) : c; };
    switch (a.type) {
    case Number::Signed:
        switch (b.type) {
        case Number::Signed:
            return threeWay(a.i, b.i);
        case Number::Unsigned:
            return a.i < 0 ? -1 : threeWay(quint64(a.i), b.u);
        case Number::Real:
            return flip(compareRealSigned(b.d, a.i));
        }
        break;
    case Number::Unsigned:
        switch (b.type) {
        case Number::Signed:
            return b.i < 0 ? 1 : threeWay(a.u, quint64(b.i));
        case Number::Unsigned:
            return threeWay(a.u, b.u);
        case Number::Real:
            return flip(compareRealUnsigned(b.d, a.u));
        }
        break;
    case Number::Real:
        switch (b.type) {
        case Number::Signed:
            return compareRealSigned(a.d, b.i);
        case Number::Unsigned:
            return compareRealUnsigned(a.d, b.u);
        case Number::Real:
            if (std::isnan(a.d) || std::isnan(b.d))
                return std::nullopt;
            return threeWay(a.d, b.d);
        }
        break;
    }
    return std::nullopt;
}

// UTF-16 units compared as code points: surrogates move above U+E000..U+FFFF, which is
// the order UTF-8 bytes (and so the SQLite store) give.
int compareCodePoints(QStringView a, QStringView b)
{
    auto fix = [](char16_t u) -> char16_t {
        if (u < 0xD800)
            return u;
        return u >= 0xE000 ? char16_t(u - 0x800) : char16_t(u + 0x2000);
    };
    const qsizetype n = qMin(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t x = a[i].unicode(), y = b[i].unicode();
        if (x != y)
            return fix(x) < fix(y) ? -1 : 1;
    }
    return threeWay(a.size(), b.size());
}

int compareBytes(const QByteArray &a, const QByteArray &b)
{
    const qsizetype n = qMin(a.size(), b.size());
    if (n > 0) {
        if (const int c = std::memcmp(a.constData(), b.constData(), size_t(n)))
            return c < 0 ? -1 : 1;
    }
    return threeWay(a.size(), b.size());
}

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

// Constants in one type per kind, so that what format() writes reads back as the same tree.
QVariant canonicalConstant(const QVariant &v)
{
    switch (kindOf(v)) {
    case Kind::Missing:
        return QVariant();
    case Kind::Number: {
        if (v.typeId() == QMetaType::Bool)
            return v;
        const Number n = numberOf(v);
        if (n.type == Number::Real)
            return n.d;
        if (n.type == Number::Unsigned)
            return n.u;
        return n.i;
    }
    case Kind::Text:
        return textOf(v);
    case Kind::Date:
        return QDateTime::fromMSecsSinceEpoch(msecsOf(v), Qt::UTC);
    case Kind::List: {
        QVariantList out;
        for (const QVariant &element : listOf(v))
            out.append(canonicalConstant(element));
        return out;
    }
    default:
        return v;
    }
}

bool isText(const QVariant &v)
{
    return kindOf(v) == Kind::Text;
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
// Key paths

bool isKeyStart(char32_t c)
{
    return c == '_' || c == '$' || QChar::isLetter(c);
}

bool isKeyPart(char32_t c)
{
    return isKeyStart(c) || QChar::isNumber(c) || QChar::isMark(c);
}

char32_t codePointAt(QStringView s, qsizetype i, qsizetype *length)
{
    const char16_t u = s[i].unicode();
    if (QChar::isHighSurrogate(u) && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
        *length = 2;
        return QChar::surrogateToUcs4(u, s[i + 1].unicode());
    }
    *length = 1;
    return u;
}

bool isKey(QStringView segment)
{
    if (segment.isEmpty())
        return false;
    for (qsizetype i = 0, len = 0; i < segment.size(); i += len) {
        const char32_t c = codePointAt(segment, i, &len);
        if (i == 0 ? !isKeyStart(c) : !isKeyPart(c))
            return false;
    }
    return true;
}

bool isKeyPathText(const QString &path)
{
    for (QStringView segment : QStringView(path).split(u'.'))
        if (!isKey(segment))
            return false;
    return true;
}

bool isKeyword(QStringView word)
{
    static const char *const words[] = {
        "AND",
        "OR",
        "NOT",
        "IN",
        "CONTAINS",
        "BEGINSWITH",
        "ENDSWITH",
        "LIKE",
        "MATCHES",
        "TRUE",
        "FALSE",
        "YES",
        "NO",
        "NIL",
        "NULL",
        "TRUEPREDICATE",
        "FALSEPREDICATE",
        "ANY",
        "SOME",
        "CAST",
    };
    for (const char *w : words)
        if (word.compare(QLatin1StringView(w), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

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
// Formatting

QString operatorText(Operator op)
{
    switch (op) {
    case Operator::Equal:
        return u"=="_s;
    case Operator::NotEqual:
        return u"!="_s;
    case Operator::Less:
        return u"<"_s;
    case Operator::LessOrEqual:
        return u"<="_s;
    case Operator::Greater:
        return u">"_s;
    case Operator::GreaterOrEqual:
        return u">="_s;
    case Operator::Contains:
        return u"CONTAINS"_s;
    case Operator::BeginsWith:
        return u"BEGINSWITH"_s;
    case Operator::EndsWith:
        return u"ENDSWITH"_s;
    case Operator::Like:
        return u"LIKE"_s;
    case Operator::Matches:
        return u"MATCHES"_s;
    case Operator::In:
        return u"IN"_s;
    }
    return u"=="_s;
}

void appendQuoted(QString &out, const QString &text)
{
    out.append(u'"');
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        switch (u) {
        case '"':
            out.append(u"\\\"");
            break;
        case '\\':
            out.append(u"\\\\");
            break;
        case '\n':
            out.append(u"\\n");
            break;
        case '\r':
            out.append(u"\\r");
            break;
        case '\t':
            out.append(u"\\t");
            break;
        default:
            if (u < 0x20 || u == 0x7F)
                out.append(u"\\u"_s + QString::number(u, 16).rightJustified(4, u'0'));
            else
                out.append(ch);
        }
    }
    out.append(u'"');
}

QString doubleText(double d)
{
    if (std::isnan(d))
        return u"CAST(\"nan\", \"NSNumber\")"_s;
    if (std::isinf(d))
        return d > 0 ? u"1e999"_s : u"-1e999"_s;
    if (d == 0)
        return std::signbit(d) ? u"-0.0"_s : u"0.0"_s;
    QString text = QString::number(d, 'g', QLocale::FloatingPointShortest);
    if (!text.contains(u'.') && !text.contains(u'e'))
        text.append(u".0");
    return text;
}

void appendConstant(QString &out, const QVariant &value)
{
    switch (kindOf(value)) {
    case Kind::Missing:
        out.append(u"NIL");
        return;
    case Kind::Number: {
        if (value.typeId() == QMetaType::Bool) {
            out.append(value.toBool() ? u"TRUE" : u"FALSE");
            return;
        }
        const Number n = numberOf(value);
        if (n.type == Number::Real)
            out.append(doubleText(n.d));
        else if (n.type == Number::Unsigned)
            out.append(QString::number(n.u));
        else
            out.append(QString::number(n.i));
        return;
    }
    case Kind::Text:
        appendQuoted(out, textOf(value));
        return;
    case Kind::Date: {
        const qint64 ms = msecsOf(value);
        const QDateTime utc = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
        QString iso = utc.date().year() >= 0 && utc.date().year() <= 9999
                          ? utc.toString(Qt::ISODateWithMs)
                          : QString();
        out.append(u"CAST(");
        if (!iso.isEmpty()) {
            appendQuoted(out, iso);
        } else {
            // Outside four-digit years ISO text has no form Qt reads back: seconds instead.
            const qint64 whole = ms / 1000, part = ms % 1000;
            if (part == 0)
                out.append(QString::number(whole));
            else
                out.append((ms < 0 ? u"-"_s : QString()) + QString::number(qAbs(whole)) + u'.' +
                           QString::number(qAbs(part)).rightJustified(3, u'0'));
        }
        out.append(u", \"NSDate\")");
        return;
    }
    case Kind::Data:
        out.append(u"CAST(");
        appendQuoted(out, QString::fromLatin1(value.toByteArray().toBase64()));
        out.append(u", \"NSData\")");
        return;
    case Kind::List: {
        out.append(u'{');
        bool first = true;
        for (const QVariant &element : listOf(value)) {
            if (!first)
                out.append(u", ");
            first = false;
            appendConstant(out, element);
        }
        out.append(u'}');
        return;
    }
    case Kind::Object: {
        // No literal can name a live record; this form makes parse() fail loudly.
        auto *record = PersistentObject::fromVariant(value);
        out.append(u"CAST(");
        appendQuoted(out, record ? record->objectID() : QString());
        out.append(u", ");
        appendQuoted(out, record ? record->entityName() : QString::fromLatin1(value.typeName()));
        out.append(u')');
        return;
    }
    case Kind::Other:
        out.append(u"CAST(");
        appendQuoted(out, value.toString());
        out.append(u", ");
        appendQuoted(out, QString::fromLatin1(value.typeName()));
        out.append(u')');
        return;
    }
}

void appendKeyPath(QString &out, const QString &keyPath)
{
    bool first = true;
    for (QStringView segment : QStringView(keyPath).split(u'.')) {
        if (!first)
            out.append(u'.');
        first = false;
        if (isKeyword(segment))
            out.append(u'#');
        out.append(segment);
    }
}

void appendOperand(QString &out, const Predicate::Operand &operand)
{
    if (operand.isKeyPath)
        appendKeyPath(out, operand.keyPath);
    else
        appendConstant(out, operand.constant);
}

void appendNode(QString &out, const Predicate::Node &node);

void appendChild(QString &out, const NodePtr &child, bool parenthesize)
{
    if (!child) {
        out.append(u"TRUEPREDICATE");
        return;
    }
    if (parenthesize)
        out.append(u'(');
    appendNode(out, *child);
    if (parenthesize)
        out.append(u')');
}

void appendNode(QString &out, const Predicate::Node &node)
{
    using NK = Predicate::NodeKind;
    switch (node.kind) {
    case NK::True:
        out.append(u"TRUEPREDICATE");
        return;
    case NK::False:
        out.append(u"FALSEPREDICATE");
        return;
    case NK::Comparison:
        appendOperand(out, node.lhs);
        out.append(u' ');
        out.append(operatorText(node.op));
        if (node.options) {
            out.append(u'[');
            if (node.options & Option::CaseInsensitive)
                out.append(u'c');
            if (node.options & Option::DiacriticInsensitive)
                out.append(u'd');
            out.append(u']');
        }
        out.append(u' ');
        appendOperand(out, node.rhs);
        return;
    case NK::Not: {
        out.append(u"NOT ");
        const NodePtr child = node.children.isEmpty() ? nullptr : node.children.first();
        appendChild(out, child, child && (child->kind == NK::And || child->kind == NK::Or));
        return;
    }
    case NK::And:
    case NK::Or: {
        if (node.children.isEmpty()) {
            out.append(node.kind == NK::And ? u"TRUEPREDICATE" : u"FALSEPREDICATE");
            return;
        }
        bool first = true;
        for (const NodePtr &child : node.children) {
            if (!first)
                out.append(node.kind == NK::And ? u" AND " : u" OR ");
            first = false;
            // Parentheses keep nested groups as they were: AND binds tighter than OR.
            const bool group = child && (child->kind == NK::Or ||
                                         (child->kind == NK::And && node.kind == NK::And));
            appendChild(out, child, group);
        }
        return;
    }
    }
}

// ---------------------------------------------------------------------------------------
// Parsing

struct Token
{
    enum Kind {
        End,
        Word,     // a key or keyword; `escaped` after `#`
        Text,     // a quoted text, unescaped
        Number,   // value holds qint64, quint64 or double
        Argument, // text holds the conversion: "@", "K", "d", "f"
        LParen,
        RParen,
        LBrace,
        RBrace,
        LBracket,
        RBracket,
        Comma,
        Dot,
        Op,  // a comparison symbol in text
        And, // &&
        Or,  // ||
        Not, // !
    };
    Kind kind = End;
    qsizetype pos = 0;
    QString text;
    QVariant value;
    bool escaped = false;
    int argument = -1; // index into the arguments for Argument tokens
};

ZEM_Error parseError(const QString &what, qsizetype pos)
{
    return ZEM_Error::make(ZEM_Error::ParseFailed, u"%1 at %2"_s.arg(what).arg(pos),
                           {QString::number(pos)});
}

class Tokenizer
{
public:
    explicit Tokenizer(const QString &format) : m_s(format) {}

    // Every token in one pass; nullopt with error() set on bad input.
    std::optional<QList<Token>> run()
    {
        QList<Token> tokens;
        int arguments = 0;
        while (true) {
            skipSpace();
            Token t;
            t.pos = m_i;
            if (m_i >= m_s.size()) {
                tokens.append(t);
                return tokens;
            }
            if (!next(t, arguments))
                return std::nullopt;
            tokens.append(std::move(t));
        }
    }

    const ZEM_Error &error() const { return m_error; }

private:
    QChar at(qsizetype i) const { return i < m_s.size() ? m_s.at(i) : QChar(); }

    void skipSpace()
    {
        while (m_i < m_s.size() && m_s.at(m_i).isSpace())
            ++m_i;
    }

    bool fail(const QString &what, qsizetype pos)
    {
        m_error = parseError(what, pos);
        return false;
    }

    bool next(Token &t, int &arguments)
    {
        const QChar c = m_s.at(m_i);
        const char16_t u = c.unicode();
        auto single = [&](Token::Kind kind) {
            t.kind = kind;
            ++m_i;
            return true;
        };
        // The canonical spelling in text; `length` characters of the format are consumed.
        auto symbol = [&](const char16_t *text, Token::Kind kind, qsizetype length) {
            t.kind = kind;
            t.text = QString::fromUtf16(text);
            m_i += length;
            return true;
        };
        switch (u) {
        case '(':
            return single(Token::LParen);
        case ')':
            return single(Token::RParen);
        case '{':
            return single(Token::LBrace);
        case '}':
            return single(Token::RBrace);
        case '[':
            return single(Token::LBracket);
        case ']':
            return single(Token::RBracket);
        case ',':
            return single(Token::Comma);
        case '.':
            return single(Token::Dot);
        case '"':
        case '\'':
            return text(t);
        case '%':
            return argument(t, arguments);
        case '#':
            ++m_i;
            if (!word(t))
                return fail(u"expected a key after '#'"_s, t.pos);
            t.escaped = true;
            return true;
        case '=':
            if (at(m_i + 1) == u'=')
                return symbol(u"==", Token::Op, 2);
            if (at(m_i + 1) == u'<')
                return symbol(u"<=", Token::Op, 2);
            if (at(m_i + 1) == u'>')
                return symbol(u">=", Token::Op, 2);
            return symbol(u"==", Token::Op, 1);
        case '!':
            if (at(m_i + 1) == u'=')
                return symbol(u"!=", Token::Op, 2);
            return single(Token::Not);
        case '<':
            if (at(m_i + 1) == u'=')
                return symbol(u"<=", Token::Op, 2);
            if (at(m_i + 1) == u'>')
                return symbol(u"!=", Token::Op, 2);
            return symbol(u"<", Token::Op, 1);
        case '>':
            if (at(m_i + 1) == u'=')
                return symbol(u">=", Token::Op, 2);
            return symbol(u">", Token::Op, 1);
        case '&':
            if (at(m_i + 1) == u'&')
                return symbol(u"&&", Token::And, 2);
            break;
        case '|':
            if (at(m_i + 1) == u'|')
                return symbol(u"||", Token::Or, 2);
            break;
        case '-':
            if (at(m_i + 1).isDigit() && at(m_i + 1).unicode() < 0x80)
                return number(t);
            break;
        default:
            if (u >= '0' && u <= '9')
                return number(t);
            if (word(t))
                return true;
            break;
        }
        qsizetype len = 0;
        const char32_t cp = codePointAt(m_s, m_i, &len);
        const QString shown = QChar::isPrint(cp)
                                  ? u"'"_s + QString::fromUcs4(&cp, 1) + u"'"_s
                                  : u"U+%1"_s.arg(uint(cp), 4, 16, QLatin1Char('0')).toUpper();
        return fail(u"unexpected character %1"_s.arg(shown), m_i);
    }

    bool word(Token &t)
    {
        qsizetype len = 0;
        if (m_i >= m_s.size() || !isKeyStart(codePointAt(m_s, m_i, &len)))
            return false;
        const qsizetype start = m_i;
        m_i += len;
        while (m_i < m_s.size() && isKeyPart(codePointAt(m_s, m_i, &len)))
            m_i += len;
        t.kind = Token::Word;
        t.text = m_s.mid(start, m_i - start);
        return true;
    }

    static bool asciiDigit(QChar c) { return c.unicode() >= '0' && c.unicode() <= '9'; }

    bool number(Token &t)
    {
        const qsizetype start = m_i;
        if (at(m_i) == u'-')
            ++m_i;
        while (asciiDigit(at(m_i)))
            ++m_i;
        bool real = false;
        if (at(m_i) == u'.' && asciiDigit(at(m_i + 1))) {
            real = true;
            ++m_i;
            while (asciiDigit(at(m_i)))
                ++m_i;
        }
        if (at(m_i) == u'e' || at(m_i) == u'E') {
            qsizetype j = m_i + 1;
            if (at(j) == u'+' || at(j) == u'-')
                ++j;
            if (!asciiDigit(at(j)))
                return fail(u"expected the digits of an exponent"_s, j);
            real = true;
            m_i = j;
            while (asciiDigit(at(m_i)))
                ++m_i;
        }
        const QByteArray digits = m_s.mid(start, m_i - start).toLatin1();
        t.kind = Token::Number;
        t.text = QString::fromLatin1(digits);
        if (!real) {
            const bool negative = digits.startsWith('-');
            quint64 magnitude = 0;
            const char *first = digits.constData() + (negative ? 1 : 0);
            const auto r = std::from_chars(first, digits.constData() + digits.size(), magnitude);
            if (r.ec == std::errc()) {
                constexpr quint64 limit = quint64(std::numeric_limits<qint64>::max());
                if (!negative && magnitude <= limit)
                    t.value = qint64(magnitude);
                else if (!negative)
                    t.value = magnitude;
                else if (magnitude <= limit + 1)
                    t.value = qint64(0 - magnitude);
                else
                    real = true;
            } else {
                real = true; // too large for 64 bits: as a double
            }
        }
        if (real)
            t.value = parseDouble(digits);
        return true;
    }

    static double parseDouble(const QByteArray &digits)
    {
        double d = 0;
        const auto r = std::from_chars(digits.constData(), digits.constData() + digits.size(), d);
        if (r.ec == std::errc::result_out_of_range) {
            const bool negative = digits.startsWith('-');
            const qsizetype e = qMax(digits.indexOf('e'), digits.indexOf('E'));
            const bool tiny = e >= 0 && digits.at(e + 1) == '-';
            d = tiny ? 0.0 : std::numeric_limits<double>::infinity();
            if (negative)
                d = -d;
        }
        return d;
    }

    static int hexValue(QChar c)
    {
        const char16_t u = c.unicode();
        if (u >= '0' && u <= '9')
            return u - '0';
        if (u >= 'a' && u <= 'f')
            return u - 'a' + 10;
        if (u >= 'A' && u <= 'F')
            return u - 'A' + 10;
        return -1;
    }

    bool text(Token &t)
    {
        const QChar quote = m_s.at(m_i);
        const qsizetype start = m_i++;
        QString value;
        while (true) {
            if (m_i >= m_s.size())
                return fail(u"unterminated text starting"_s, start);
            // Copy the plain run in one go.
            qsizetype j = m_i;
            while (j < m_s.size() && m_s.at(j) != quote && m_s.at(j) != u'\\')
                ++j;
            value.append(QStringView(m_s).mid(m_i, j - m_i));
            m_i = j;
            if (m_i >= m_s.size())
                continue;
            if (m_s.at(m_i) == quote) {
                ++m_i;
                break;
            }
            // A backslash.
            const QChar e = at(m_i + 1);
            switch (e.unicode()) {
            case 'n':
                value.append(u'\n');
                break;
            case 'r':
                value.append(u'\r');
                break;
            case 't':
                value.append(u'\t');
                break;
            case '\\':
            case '"':
            case '\'':
                value.append(e);
                break;
            case 'u': {
                int code = 0;
                for (int k = 0; k < 4; ++k) {
                    const int h = hexValue(at(m_i + 2 + k));
                    if (h < 0)
                        return fail(u"expected four hex digits after \\u"_s, m_i);
                    code = code * 16 + h;
                }
                value.append(QChar(char16_t(code)));
                m_i += 6;
                continue;
            }
            default:
                if (m_i + 1 >= m_s.size())
                    return fail(u"unterminated text starting"_s, start);
                // Unknown escapes stay as written, so regular expressions read naturally.
                value.append(u'\\');
                value.append(e);
                break;
            }
            m_i += 2;
        }
        t.kind = Token::Text;
        t.text = std::move(value);
        return true;
    }

    bool argument(Token &t, int &arguments)
    {
        static const char *const specs[] = {"lld", "lli", "llu", "ld", "li", "lu", "lf",
                                            "@",   "K",   "d",   "i",  "u",  "f"};
        for (const char *spec : specs) {
            const QLatin1StringView s(spec);
            if (QStringView(m_s).mid(m_i + 1).startsWith(s)) {
                t.kind = Token::Argument;
                const char last = spec[qstrlen(spec) - 1];
                t.text = last == 'i' || last == 'u' ? u"d"_s : QString(QLatin1Char(last));
                t.argument = arguments++;
                m_i += 1 + s.size();
                return true;
            }
        }
        const QString shown = at(m_i + 1).isNull() ? u"%"_s : u"%"_s + at(m_i + 1);
        return fail(u"unknown argument '%1'"_s.arg(shown), m_i);
    }

    const QString &m_s;
    qsizetype m_i = 0;
    ZEM_Error m_error;
};

class Parser
{
public:
    Parser(QList<Token> tokens, const QVariantList &arguments)
        : m_t(std::move(tokens)), m_args(arguments)
    {
    }

    ZEM_Result<Predicate> run()
    {
        NodePtr root = parseOr();
        if (!root)
            return *m_error;
        if (peek().kind != Token::End)
            return parseError(u"expected AND, OR or the end"_s, peek().pos);
        if (m_used < m_args.size())
            return ZEM_Error::make(
                ZEM_Error::InvalidArgument,
                u"too many arguments: %1 given, %2 used"_s.arg(m_args.size()).arg(m_used),
                {QString::number(m_args.size()), QString::number(m_used)});
        return Predicate(root);
    }

private:
    const Token &peek() const { return m_t.at(m_p); }
    const Token &take() { return m_t.at(m_p < m_t.size() - 1 ? m_p++ : m_p); }

    bool isWord(const Token &t, const char *word) const
    {
        return t.kind == Token::Word && !t.escaped &&
               t.text.compare(QLatin1StringView(word), Qt::CaseInsensitive) == 0;
    }

    std::nullptr_t fail(ZEM_Error error)
    {
        if (!m_error)
            m_error = std::move(error);
        return nullptr;
    }
    std::nullptr_t fail(const QString &what, qsizetype pos) { return fail(parseError(what, pos)); }

    bool enter(qsizetype pos)
    {
        if (++m_depth > Predicate::maximumDepth) {
            fail(u"nesting deeper than %1 levels"_s.arg(Predicate::maximumDepth), pos);
            return false;
        }
        return true;
    }
    void leave() { --m_depth; }

    NodePtr group(Predicate::NodeKind kind, QList<NodePtr> children)
    {
        if (children.size() == 1)
            return children.first();
        auto node = std::make_shared<Predicate::Node>();
        node->kind = kind;
        node->children = std::move(children);
        return node;
    }

    NodePtr parseOr()
    {
        QList<NodePtr> children;
        NodePtr first = parseAnd();
        if (!first)
            return nullptr;
        children.append(first);
        while (peek().kind == Token::Or || isWord(peek(), "OR")) {
            take();
            NodePtr next = parseAnd();
            if (!next)
                return nullptr;
            children.append(next);
        }
        return group(Predicate::NodeKind::Or, std::move(children));
    }

    NodePtr parseAnd()
    {
        QList<NodePtr> children;
        NodePtr first = parseNot();
        if (!first)
            return nullptr;
        children.append(first);
        while (peek().kind == Token::And || isWord(peek(), "AND")) {
            take();
            NodePtr next = parseNot();
            if (!next)
                return nullptr;
            children.append(next);
        }
        return group(Predicate::NodeKind::And, std::move(children));
    }

    NodePtr parseNot()
    {
        if (peek().kind == Token::Not || isWord(peek(), "NOT")) {
            if (!enter(take().pos))
                return nullptr;
            NodePtr child = parseNot();
            leave();
            if (!child)
                return nullptr;
            auto node = std::make_shared<Predicate::Node>();
            node->kind = Predicate::NodeKind::Not;
            node->children.append(child);
            return node;
        }
        return parsePrimary();
    }

    NodePtr parsePrimary()
    {
        const Token &t = peek();
        if (t.kind == Token::LParen) {
            if (!enter(take().pos))
                return nullptr;
            NodePtr inner = parseOr();
            leave();
            if (!inner)
                return nullptr;
            if (peek().kind != Token::RParen)
                return fail(u"expected ')'"_s, peek().pos);
            take();
            return inner;
        }
        if (isWord(t, "TRUEPREDICATE") || isWord(t, "FALSEPREDICATE")) {
            auto node = std::make_shared<Predicate::Node>();
            node->kind =
                isWord(t, "TRUEPREDICATE") ? Predicate::NodeKind::True : Predicate::NodeKind::False;
            take();
            return node;
        }
        return parseComparison();
    }

    std::optional<Operator> comparisonOperator(const Token &t) const
    {
        if (t.kind == Token::Op) {
            if (t.text == u"==")
                return Operator::Equal;
            if (t.text == u"!=")
                return Operator::NotEqual;
            if (t.text == u"<")
                return Operator::Less;
            if (t.text == u"<=")
                return Operator::LessOrEqual;
            if (t.text == u">")
                return Operator::Greater;
            if (t.text == u">=")
                return Operator::GreaterOrEqual;
        }
        static const std::pair<const char *, Operator> words[] = {
            {"CONTAINS", Operator::Contains}, {"BEGINSWITH", Operator::BeginsWith},
            {"ENDSWITH", Operator::EndsWith}, {"LIKE", Operator::Like},
            {"MATCHES", Operator::Matches},   {"IN", Operator::In},
        };
        for (const auto &[word, op] : words)
            if (isWord(t, word))
                return op;
        return std::nullopt;
    }

    NodePtr parseComparison()
    {
        auto node = std::make_shared<Predicate::Node>();
        node->kind = Predicate::NodeKind::Comparison;
        if (!parseOperand(node->lhs, true))
            return nullptr;
        const Token &opToken = peek();
        const std::optional<Operator> op = comparisonOperator(opToken);
        if (!op)
            return fail(u"expected an operator"_s, opToken.pos);
        node->op = *op;
        take();
        if (peek().kind == Token::LBracket) {
            const qsizetype at = take().pos;
            const Token &letters = peek();
            Options options;
            bool good = letters.kind == Token::Word && !letters.escaped;
            for (const QChar c : letters.text) {
                if (c.toLower() == u'c')
                    options |= Option::CaseInsensitive;
                else if (c.toLower() == u'd')
                    options |= Option::DiacriticInsensitive;
                else
                    good = false;
            }
            if (!good)
                return fail(u"expected the options c, d or cd"_s, letters.pos);
            take();
            if (peek().kind != Token::RBracket)
                return fail(u"expected ']'"_s, peek().pos);
            take();
            const bool ordering = *op == Operator::Less || *op == Operator::LessOrEqual ||
                                  *op == Operator::Greater || *op == Operator::GreaterOrEqual;
            if (ordering)
                return fail(u"options are not allowed with '%1'"_s.arg(operatorText(*op)), at);
            node->options = options;
        }
        const qsizetype rhsPos = peek().pos;
        if (!parseOperand(node->rhs, false))
            return nullptr;
        if (node->op == Operator::Matches && !node->rhs.isKeyPath && isText(node->rhs.constant)) {
            const QRegularExpression re(
                QRegularExpression::anchoredPattern(textOf(node->rhs.constant)));
            if (!re.isValid())
                return fail(u"invalid regular expression (%1)"_s.arg(re.errorString()), rhsPos);
        }
        return node;
    }

    // An argument's value, checked against its conversion.
    bool argumentValue(const Token &t, QVariant *value)
    {
        if (t.argument >= m_args.size()) {
            fail(ZEM_Error::make(
                ZEM_Error::InvalidArgument,
                u"too few arguments: %1 at %2 has no value (%3 given)"_s.arg(u'%' + t.text)
                    .arg(t.pos)
                    .arg(m_args.size()),
                {QString::number(t.pos)}));
            return false;
        }
        m_used = qMax(m_used, t.argument + 1);
        const QVariant &given = m_args.at(t.argument);
        auto wrongType = [&](const QString &wanted) {
            fail(ZEM_Error::make(ZEM_Error::InvalidArgument,
                                 u"%1 at %2 needs %3, not %4"_s.arg(u'%' + t.text)
                                     .arg(t.pos)
                                     .arg(wanted, given.isValid()
                                                      ? QString::fromLatin1(given.typeName())
                                                      : u"nothing"_s),
                                 {QString::number(t.pos)}));
            return false;
        };
        if (t.text == u"d") {
            bool ok = false;
            qint64 n = 0;
            if (kindOf(given) == Kind::Number) {
                const Number num = numberOf(given);
                ok = num.type != Number::Real || (std::isfinite(num.d) && std::abs(num.d) < 9.2e18);
                n = num.type == Number::Real     ? qint64(num.d)
                    : num.type == Number::Signed ? num.i
                                                 : qint64(num.u);
            } else if (given.canConvert<qint64>()) {
                n = given.toLongLong(&ok);
            }
            if (!ok)
                return wrongType(u"an integer"_s);
            *value = n;
            return true;
        }
        if (t.text == u"f") {
            bool ok = false;
            const double d = given.canConvert<double>() ? given.toDouble(&ok) : 0;
            if (!ok || kindOf(given) == Kind::Missing)
                return wrongType(u"a number"_s);
            *value = d;
            return true;
        }
        *value = canonicalConstant(given);
        return true;
    }

    bool keyPathArgument(const Token &t, QString *path)
    {
        QVariant given;
        if (t.argument >= m_args.size())
            return argumentValue(t, &given);
        m_used = qMax(m_used, t.argument + 1);
        given = m_args.at(t.argument);
        if (given.typeId() != QMetaType::QString || !isKeyPathText(given.toString())) {
            fail(ZEM_Error::make(ZEM_Error::InvalidArgument,
                                 u"%K at %1 needs a key path text, not %2"_s.arg(t.pos).arg(
                                     given.typeId() == QMetaType::QString
                                         ? u"\"%1\""_s.arg(given.toString())
                                         : QString::fromLatin1(given.typeName())),
                                 {QString::number(t.pos)}));
            return false;
        }
        *path = given.toString();
        return true;
    }

    bool parseKeyPath(QString *path)
    {
        const Token &first = take();
        *path = first.text;
        while (peek().kind == Token::Dot) {
            take();
            if (peek().kind != Token::Word) {
                fail(u"expected a key after '.'"_s, peek().pos);
                return false;
            }
            path->append(u'.');
            path->append(take().text);
        }
        return true;
    }

    bool parseOperand(Predicate::Operand &operand, bool left)
    {
        const Token &t = peek();
        if (isWord(t, "ANY") || isWord(t, "SOME")) {
            if (!left) {
                fail(u"expected a key path or value"_s, t.pos);
                return false;
            }
            take();
            const Token &path = peek();
            if (path.kind == Token::Argument && path.text == u"K") {
                operand.isKeyPath = true;
                return keyPathArgument(take(), &operand.keyPath);
            }
            if (path.kind != Token::Word || (!path.escaped && isKeyword(path.text))) {
                fail(u"expected a key path after ANY"_s, path.pos);
                return false;
            }
            operand.isKeyPath = true;
            return parseKeyPath(&operand.keyPath);
        }
        if (t.kind == Token::Word && (t.escaped || !isKeyword(t.text))) {
            operand.isKeyPath = true;
            return parseKeyPath(&operand.keyPath);
        }
        if (t.kind == Token::Argument && t.text == u"K") {
            operand.isKeyPath = true;
            return keyPathArgument(take(), &operand.keyPath);
        }
        operand.isKeyPath = false;
        return parseValue(&operand.constant);
    }

    bool parseValue(QVariant *value)
    {
        const Token &t = peek();
        switch (t.kind) {
        case Token::Text:
            *value = take().text;
            return true;
        case Token::Number:
            *value = take().value;
            return true;
        case Token::Argument:
            if (t.text == u"K") {
                fail(u"expected a value, not %K"_s, t.pos);
                return false;
            }
            return argumentValue(take(), value);
        case Token::LBrace:
            return parseList(value);
        case Token::Word:
            if (isWord(t, "TRUE") || isWord(t, "YES")) {
                take();
                *value = true;
                return true;
            }
            if (isWord(t, "FALSE") || isWord(t, "NO")) {
                take();
                *value = false;
                return true;
            }
            if (isWord(t, "NIL") || isWord(t, "NULL")) {
                take();
                *value = QVariant();
                return true;
            }
            if (isWord(t, "CAST"))
                return parseCast(value);
            break;
        default:
            break;
        }
        fail(u"expected a key path or value"_s, t.pos);
        return false;
    }

    bool parseList(QVariant *value)
    {
        if (!enter(take().pos))
            return false;
        QVariantList list;
        if (peek().kind != Token::RBrace) {
            while (true) {
                if (peek().kind == Token::Word && (peek().escaped || !isKeyword(peek().text))) {
                    fail(u"expected a value"_s, peek().pos);
                    return false;
                }
                QVariant element;
                if (!parseValue(&element))
                    return false;
                list.append(element);
                if (peek().kind == Token::Comma) {
                    take();
                    continue;
                }
                if (peek().kind == Token::RBrace)
                    break;
                fail(u"expected ',' or '}'"_s, peek().pos);
                return false;
            }
        }
        take();
        leave();
        *value = list;
        return true;
    }

    bool expect(Token::Kind kind, const char *shown)
    {
        if (peek().kind != kind) {
            fail(u"expected %1"_s.arg(QLatin1StringView(shown)), peek().pos);
            return false;
        }
        take();
        return true;
    }

    bool parseCast(QVariant *value)
    {
        take();
        if (!expect(Token::LParen, "'(' after CAST"))
            return false;
        const Token &source = peek();
        if (source.kind != Token::Text && source.kind != Token::Number) {
            fail(u"expected a text or number to cast"_s, source.pos);
            return false;
        }
        take();
        if (!expect(Token::Comma, "','"))
            return false;
        const Token &type = peek();
        if (type.kind != Token::Text) {
            fail(u"expected a type name text"_s, type.pos);
            return false;
        }
        take();
        if (!expect(Token::RParen, "')'"))
            return false;

        if (type.text.compare(u"NSDate"_s, Qt::CaseInsensitive) == 0) {
            if (source.kind == Token::Number) {
                const Number n = numberOf(source.value);
                // Kept within ±2^53 ms so that seconds written back read back exactly.
                constexpr double limit = 1e12;
                const double seconds = n.type == Number::Real     ? n.d
                                       : n.type == Number::Signed ? double(n.i)
                                                                  : double(n.u);
                if (!(std::abs(seconds) <= limit)) {
                    fail(u"date out of range"_s, source.pos);
                    return false;
                }
                const qint64 ms =
                    n.type == Number::Signed ? n.i * 1000 : std::llround(seconds * 1000);
                *value = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
                return true;
            }
            const QDateTime date = QDateTime::fromString(source.text, Qt::ISODateWithMs);
            if (!date.isValid()) {
                fail(u"expected an ISO 8601 date"_s, source.pos);
                return false;
            }
            *value = date.toUTC();
            return true;
        }
        if (type.text.compare(u"NSData"_s, Qt::CaseInsensitive) == 0) {
            const auto decoded = QByteArray::fromBase64Encoding(
                source.text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
            if (source.kind != Token::Text || !decoded) {
                fail(u"expected base64 data"_s, source.pos);
                return false;
            }
            *value = *decoded;
            return true;
        }
        if (type.text.compare(u"NSNumber"_s, Qt::CaseInsensitive) == 0) {
            if (source.kind == Token::Number) {
                *value = source.value;
                return true;
            }
            const QString s = source.text.trimmed().toLower();
            if (s == u"nan" || s == u"inf" || s == u"+inf" || s == u"-inf") {
                const double inf = std::numeric_limits<double>::infinity();
                *value = s == u"nan"          ? std::numeric_limits<double>::quiet_NaN()
                         : s.startsWith(u'-') ? -inf
                                              : inf;
                return true;
            }
            Tokenizer inner(s);
            const auto tokens = inner.run();
            if (!tokens || tokens->size() != 2 || tokens->first().kind != Token::Number) {
                fail(u"expected a number"_s, source.pos);
                return false;
            }
            *value = tokens->first().value;
            return true;
        }
        fail(u"unknown type \"%1\" for CAST"_s.arg(type.text), type.pos);
        return false;
    }

    QList<Token> m_t;
    const QVariantList &m_args;
    qsizetype m_p = 0;
    int m_depth = 0;
    qsizetype m_used = 0;
    std::optional<ZEM_Error> m_error;
};

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

ZEM_Result<Predicate> Predicate::parse(const QString &format, const QVariantList &arguments)
{
    Tokenizer tokenizer(format);
    auto tokens = tokenizer.run();
    if (!tokens)
        return tokenizer.error();
    return Parser(std::move(*tokens), arguments).run();
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

QString Predicate::format() const
{
    QString out;
    appendNode(out, *m_root);
    return out;
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
