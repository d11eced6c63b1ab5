#include "platform/store/detail/PredicateValues.h"

#include "platform/store/ChangeNotice.h"
#include "platform/store/PersistentObject.h"

#include <QDate>
#include <QDateTime>
#include <QStringList>

#include <cmath>
#include <cstring>
#include <limits>

namespace platform::detail {

// ---------------------------------------------------------------------------------------
// Values

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

namespace {

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

} // namespace

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

} // namespace platform::detail
