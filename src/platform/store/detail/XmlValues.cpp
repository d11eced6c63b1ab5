// Values of the XML store as text, and back: one spelling each, so files stay canonical.

#include "platform/store/XmlStore_p.h"

#include <QDateTime>
#include <QtEndian>

#include <cmath>

namespace platform::detail::xml {

// Whether XML 1.0 can carry \a text exactly as element content. Carriage returns are
// out too: readers turn them into line feeds.
bool isXmlSafe(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == 0x9 || c == 0xA)
            continue;
        if (c < 0x20 || c == 0xFFFE || c == 0xFFFF)
            return false;
        if (QChar::isHighSurrogate(c)) {
            if (i + 1 >= text.size() || !QChar::isLowSurrogate(text[i + 1].unicode()))
                return false;
            ++i;
        } else if (QChar::isLowSurrogate(c)) {
            return false;
        }
    }
    return true;
}

// Looked up for every value written and read, so made once.
const QString &typeWord(AttributeType type)
{
    static const QString words[] = {
        AttributeDescription::typeName(AttributeType::String),
        AttributeDescription::typeName(AttributeType::Integer),
        AttributeDescription::typeName(AttributeType::Double),
        AttributeDescription::typeName(AttributeType::Boolean),
        AttributeDescription::typeName(AttributeType::Date),
        AttributeDescription::typeName(AttributeType::Binary),
    };
    return words[int(type)];
}

namespace {

// Dates in the file are UTC, so they convert by calendar arithmetic alone (proleptic
// Gregorian, like QDate); going through QDateTime's text forms costs a time zone look-up
// per value, which dominates large files.
constexpr qint64 kMsPerDay = 86400000;

qint64 daysFromCivil(qint64 y, int m, int d)
{
    y -= m <= 2;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const qint64 yoe = y - era * 400;
    const qint64 doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const qint64 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(qint64 z, qint64 *y, int *m, int *d)
{
    z += 719468;
    const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
    const qint64 doe = z - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    *d = int(doy - (153 * mp + 2) / 5 + 1);
    *m = int(mp < 10 ? mp + 3 : mp - 9);
    *y = yoe + era * 400 + (*m <= 2);
}

// "YYYY-MM-DDTHH:MM:SS.mmmZ" for the years 1 to 9999, else empty.
QString isoText(qint64 ms)
{
    if (ms < -62135596800000LL || ms > 253402300799999LL)
        return {};
    const qint64 days = (ms >= 0 ? ms : ms - kMsPerDay + 1) / kMsPerDay;
    qint64 rest = ms - days * kMsPerDay;
    qint64 y = 0;
    int m = 0, d = 0;
    civilFromDays(days, &y, &m, &d);
    char buffer[25];
    const auto put = [&](int at, qint64 value, int width) {
        for (int i = width - 1; i >= 0; --i, value /= 10)
            buffer[at + i] = char('0' + value % 10);
    };
    put(0, y, 4);
    buffer[4] = '-';
    put(5, m, 2);
    buffer[7] = '-';
    put(8, d, 2);
    buffer[10] = 'T';
    put(11, rest / 3600000, 2);
    rest %= 3600000;
    buffer[13] = ':';
    put(14, rest / 60000, 2);
    rest %= 60000;
    buffer[16] = ':';
    put(17, rest / 1000, 2);
    buffer[19] = '.';
    put(20, rest % 1000, 3);
    buffer[23] = 'Z';
    return QString::fromLatin1(buffer, 24);
}

// The instant of an isoText() form; false for any other text (which may still be ISO 8601).
bool parseIsoText(QStringView text, qint64 *ms)
{
    static constexpr char pattern[] = "dddd-dd-ddTdd:dd:dd.dddZ";
    if (text.size() != 24)
        return false;
    for (int i = 0; i < 24; ++i) {
        const char16_t c = text[i].unicode();
        if (pattern[i] == 'd' ? (c < u'0' || c > u'9') : c != char16_t(pattern[i]))
            return false;
    }
    const auto number = [&](int at, int width) {
        int value = 0;
        for (int i = 0; i < width; ++i)
            value = value * 10 + (text[at + i].unicode() - u'0');
        return value;
    };
    const int y = number(0, 4), m = number(5, 2), d = number(8, 2);
    const int h = number(11, 2), min = number(14, 2), s = number(17, 2), milli = number(20, 3);
    if (y < 1 || m < 1 || m > 12 || d < 1 || h > 23 || min > 59 || s > 59)
        return false;
    const qint64 days = daysFromCivil(y, m, d);
    qint64 cy = 0;
    int cm = 0, cd = 0;
    civilFromDays(days, &cy, &cm, &cd);
    if (cy != y || cm != m || cd != d) // the 31st of a short month, 29 February of other years
        return false;
    *ms = days * kMsPerDay + ((h * 60 + min) * 60 + s) * 1000 + milli;
    return true;
}

QString doubleText(double d)
{
    if (std::isnan(d))
        return QStringLiteral("nan");
    if (d == 0 && std::signbit(d))
        return QStringLiteral("-0");
    return QString::number(d, 'g', QLocale::FloatingPointShortest);
}

} // namespace

EncodedValue encodeValue(AttributeType type, const QVariant &value)
{
    switch (type) {
    case AttributeType::String: {
        const QString text = value.toString();
        if (isXmlSafe(text))
            return {text, {}};
        QByteArray units(text.size() * 2, Qt::Uninitialized);
        for (qsizetype i = 0; i < text.size(); ++i)
            qToLittleEndian<quint16>(text.at(i).unicode(), units.data() + 2 * i);
        return {QString::fromLatin1(units.toBase64()), QStringLiteral("base64")};
    }
    case AttributeType::Integer:
        return {QString::number(value.toLongLong()), {}};
    case AttributeType::Double:
        return {doubleText(value.toDouble()), {}};
    case AttributeType::Boolean:
        return {value.toBool() ? QStringLiteral("true") : QStringLiteral("false"), {}};
    case AttributeType::Date: {
        const qint64 ms = value.toDateTime().toMSecsSinceEpoch();
        if (QString iso = isoText(ms); !iso.isEmpty())
            return {iso, {}};
        return {QString::number(ms), QStringLiteral("msecs")};
    }
    case AttributeType::Binary:
        return {QString::fromLatin1(value.toByteArray().toBase64()), {}};
    }
    return {};
}

// The value \a text stands for, or an empty QVariant with \a why filled in.
QVariant decodeValue(AttributeType type, const QString &text, const QString &encoding, QString *why)
{
    const auto fail = [&](const QString &message) {
        *why = message;
        return QVariant();
    };
    const auto quoted = [&] {
        return text.size() > 40 ? text.left(40) + QStringLiteral("…") : text;
    };
    const bool base64 = encoding == u"base64";
    if (!encoding.isEmpty() && !(type == AttributeType::String && base64) &&
        !(type == AttributeType::Date && encoding == u"msecs"))
        return fail(QStringLiteral("the encoding \"%1\" does not apply to the type %2")
                        .arg(encoding, typeWord(type)));

    switch (type) {
    case AttributeType::String: {
        if (!base64)
            return QVariant(text);
        const auto decoded = QByteArray::fromBase64Encoding(
            text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded || decoded.decoded.size() % 2 != 0)
            return fail(QStringLiteral("\"%1\" is not base 64 of UTF-16 text").arg(quoted()));
        QString result(decoded.decoded.size() / 2, Qt::Uninitialized);
        for (qsizetype i = 0; i < result.size(); ++i)
            result[i] = QChar(qFromLittleEndian<quint16>(decoded.decoded.constData() + 2 * i));
        return QVariant(result);
    }
    case AttributeType::Integer: {
        bool ok = false;
        const qint64 n = text.toLongLong(&ok);
        return ok ? QVariant(n) : fail(QStringLiteral("\"%1\" is not an integer").arg(quoted()));
    }
    case AttributeType::Double: {
        const QString t = text.trimmed();
        if (t == u"nan")
            return QVariant(std::numeric_limits<double>::quiet_NaN());
        bool ok = false;
        const double d = t.toDouble(&ok);
        // toDouble() also takes "NaN" and other spellings; one spelling each keeps files canonical.
        return ok && !std::isnan(d) ? QVariant(d)
                                    : fail(QStringLiteral("\"%1\" is not a double").arg(quoted()));
    }
    case AttributeType::Boolean: {
        const QString t = text.trimmed();
        if (t == u"true")
            return QVariant(true);
        if (t == u"false")
            return QVariant(false);
        return fail(QStringLiteral("\"%1\" is not a boolean (true or false)").arg(quoted()));
    }
    case AttributeType::Date: {
        QDateTime dt;
        qint64 ms = 0;
        if (encoding == u"msecs") {
            bool ok = false;
            ms = text.toLongLong(&ok);
            if (ok)
                dt = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
        } else if (parseIsoText(text, &ms)) {
            return QVariant(QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC));
        } else {
            dt = QDateTime::fromString(text.trimmed(), Qt::ISODateWithMs);
        }
        if (!dt.isValid())
            return fail(QStringLiteral("\"%1\" is not a date").arg(quoted()));
        // Out here a date would not come back the same in local time.
        const QDateTime local = dt.toLocalTime();
        if (!local.isValid() || local.toMSecsSinceEpoch() != dt.toMSecsSinceEpoch())
            return fail(QStringLiteral("the date \"%1\" is out of range").arg(quoted()));
        return QVariant(dt.toUTC());
    }
    case AttributeType::Binary: {
        const auto decoded = QByteArray::fromBase64Encoding(
            text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            return fail(QStringLiteral("\"%1\" is not base 64").arg(quoted()));
        return QVariant(decoded.decoded);
    }
    }
    return fail(QStringLiteral("unknown type"));
}

// A value as the graph keeps it: dates in UTC, as in the file, so that loading a large file
// needs no time zone look-ups; loadValues() hands them out in local time.
QVariant normalized(AttributeType type, const QVariant &value)
{
    if (type == AttributeType::Date && value.isValid())
        return QVariant(value.toDateTime().toUTC());
    return value;
}

bool sameValue(const QVariant &a, const QVariant &b)
{
    if (a.isValid() != b.isValid())
        return false;
    if (!a.isValid())
        return true;
    if (a.typeId() != b.typeId())
        return false;
    if (a.typeId() == QMetaType::Double) {
        const double x = a.toDouble(), y = b.toDouble();
        return (std::isnan(x) && std::isnan(y)) || (x == y && std::signbit(x) == std::signbit(y));
    }
    if (a.typeId() == QMetaType::QString)
        return a.toString() == b.toString();
    return a == b;
}

} // namespace platform::detail::xml
