#include "platform/store/XmlStore.h"

#include "platform/store/PersistentObject.h"
#include "platform/store/StoreContext.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QRandomGenerator>
#include <QSet>
#include <QXmlStreamReader>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// Ids stay below this so that "largest + 1" can never overflow.
constexpr qint64 kMaxNumber = std::numeric_limits<qint64>::max() - 1;

// ---------------------------------------------------------------------------------------
// The model as the store uses it: entities, attributes and relationships by index.

struct EntityInfo
{
    QString name;
    QList<AttributeDescription> attributes;
    QList<RelationshipDescription> relationships;
    QList<int> destination; // entity index per relationship
    QList<int> inverse;     // relationship index in the destination, or -1
    QHash<QString, int> attributeIndex;
    QHash<QString, int> relationshipIndex;
};

struct Schema
{
    QList<EntityInfo> entities;
    QHash<QString, int> entityIndex;
    QByteArray fingerprint;
};

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

bool hasSpace(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.isSpace(); });
}

ZEM_Result<std::shared_ptr<const Schema>> makeSchema(const DataModel &model)
{
    auto schema = std::make_shared<Schema>();
    schema->fingerprint = model.fingerprint();
    const QList<EntityDescription> entities = model.entities();
    for (const EntityDescription &e : entities) {
        schema->entityIndex.insert(e.name, int(schema->entities.size()));
        schema->entities.append(EntityInfo());
    }
    for (qsizetype i = 0; i < entities.size(); ++i) {
        const EntityDescription &e = entities.at(i);
        // References are written as whitespace-separated "<entity>/<n>" words.
        if (e.name.isEmpty() || hasSpace(e.name) || !isXmlSafe(e.name))
            return ZEM_Error::make(
                ZEM_Error::InvalidArgument,
                QStringLiteral("The entity name \"%1\" cannot be kept in an XML store.")
                    .arg(e.name));
        EntityInfo &info = schema->entities[i];
        info.name = e.name;
        info.attributes = e.attributes;
        info.relationships = e.relationships;
        for (qsizetype a = 0; a < e.attributes.size(); ++a) {
            if (!isXmlSafe(e.attributes.at(a).name))
                return ZEM_Error::make(
                    ZEM_Error::InvalidArgument,
                    QStringLiteral("The name of an attribute of %1 cannot be kept in XML.")
                        .arg(e.name));
            info.attributeIndex.insert(e.attributes.at(a).name, int(a));
        }
        for (qsizetype r = 0; r < e.relationships.size(); ++r) {
            const RelationshipDescription &rel = e.relationships.at(r);
            if (!isXmlSafe(rel.name))
                return ZEM_Error::make(
                    ZEM_Error::InvalidArgument,
                    QStringLiteral("The name of a relationship of %1 cannot be kept in XML.")
                        .arg(e.name));
            info.relationshipIndex.insert(rel.name, int(r));
            const int dest = schema->entityIndex.value(rel.destinationEntity, -1);
            if (dest < 0)
                return ZEM_Error::make(ZEM_Error::InvalidArgument,
                                       QStringLiteral("%1.%2 points to the missing entity \"%3\".")
                                           .arg(e.name, rel.name, rel.destinationEntity));
            info.destination.append(dest);
            const EntityDescription &destination = entities.at(dest);
            int inverse = -1;
            if (!rel.inverseName.isEmpty()) {
                for (qsizetype k = 0; k < destination.relationships.size(); ++k)
                    if (destination.relationships.at(k).name == rel.inverseName)
                        inverse = int(k);
            }
            info.inverse.append(inverse);
        }
    }
    return std::shared_ptr<const Schema>(std::move(schema));
}

// ---------------------------------------------------------------------------------------
// The graph: records by their number, values by attribute and relationship index.

struct Record
{
    int entity = -1;
    QList<QVariant> attributes;     // invalid: no value
    QList<QList<qint64>> relations; // destination numbers, ascending; at most one for to-one
};

struct Graph
{
    QMap<qint64, Record> records;
    qint64 next = 1;
};

Record emptyRecord(const Schema &schema, int entity)
{
    Record r;
    r.entity = entity;
    r.attributes.resize(schema.entities.at(entity).attributes.size());
    r.relations.resize(schema.entities.at(entity).relationships.size());
    return r;
}

QString objectID(const Schema &schema, int entity, qint64 number)
{
    return schema.entities.at(entity).name + QLatin1Char('/') + QString::number(number);
}

// The n of an id; false unless \a digits are plain digits without a leading zero (so
// that every id has one spelling) and in range.
bool parseNumber(QStringView digits, qint64 *number)
{
    if (digits.isEmpty() || digits.front() == QLatin1Char('0'))
        return false;
    for (QChar c : digits)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    bool ok = false;
    const qint64 n = digits.toLongLong(&ok);
    if (!ok || n < 1 || n > kMaxNumber)
        return false;
    *number = n;
    return true;
}

// "<entity>/<n>" split into its parts; false when it is not of that form.
bool splitID(QStringView id, QStringView *entity, qint64 *number)
{
    const qsizetype slash = id.lastIndexOf(QLatin1Char('/'));
    if (slash <= 0 || !parseNumber(id.mid(slash + 1), number))
        return false;
    *entity = id.left(slash);
    return true;
}

bool containsSorted(const QList<qint64> &list, qint64 n)
{
    return std::binary_search(list.cbegin(), list.cend(), n);
}

void insertSorted(QList<qint64> &list, qint64 n)
{
    if (list.isEmpty() || list.constLast() < n) {
        list.append(n);
        return;
    }
    const auto it = std::lower_bound(list.cbegin(), list.cend(), n);
    if (it == list.cend() || *it != n)
        list.insert(it - list.cbegin(), n);
}

void removeSorted(QList<qint64> &list, qint64 n)
{
    const auto it = std::lower_bound(list.cbegin(), list.cend(), n);
    if (it != list.cend() && *it == n)
        list.removeAt(it - list.cbegin());
}

Record *findRecord(Graph &graph, qint64 n)
{
    const auto it = graph.records.find(n);
    return it == graph.records.end() ? nullptr : &it.value();
}

// Both sides of a link go together; the graph must already be detached, so that record
// pointers stay valid while links change.
void unlink(Graph &graph, const Schema &schema, qint64 from, int rel, qint64 to)
{
    Record *source = findRecord(graph, from);
    if (!source)
        return;
    removeSorted(source->relations[rel], to);
    const EntityInfo &entity = schema.entities.at(source->entity);
    const int inverse = entity.inverse.at(rel);
    if (inverse < 0)
        return;
    Record *target = findRecord(graph, to);
    if (target && target->entity == entity.destination.at(rel))
        removeSorted(target->relations[inverse], from);
}

// unlink() for each of \a targets (ascending), with the own side cleaned in one pass.
void unlinkAll(Graph &graph, const Schema &schema, qint64 from, int rel,
               const QList<qint64> &targets)
{
    Record *source = findRecord(graph, from);
    if (!source || targets.isEmpty())
        return;
    QList<qint64> &own = source->relations[rel];
    QList<qint64> kept;
    kept.reserve(own.size());
    std::set_difference(own.cbegin(), own.cend(), targets.cbegin(), targets.cend(),
                        std::back_inserter(kept));
    if (kept.size() == own.size())
        return;
    QList<qint64> removed;
    std::set_difference(own.cbegin(), own.cend(), kept.cbegin(), kept.cend(),
                        std::back_inserter(removed));
    own = kept;
    const EntityInfo &entity = schema.entities.at(source->entity);
    const int inverse = entity.inverse.at(rel);
    if (inverse < 0)
        return;
    for (qint64 to : std::as_const(removed)) {
        Record *target = findRecord(graph, to);
        if (target && target->entity == entity.destination.at(rel))
            removeSorted(target->relations[inverse], from);
    }
}

void link(Graph &graph, const Schema &schema, qint64 from, int rel, qint64 to)
{
    Record *source = findRecord(graph, from);
    Record *target = findRecord(graph, to);
    if (!source || !target)
        return;
    const EntityInfo &entity = schema.entities.at(source->entity);
    if (target->entity != entity.destination.at(rel))
        return;
    if (!entity.relationships.at(rel).toMany) {
        const QList<qint64> old = source->relations.at(rel);
        for (qint64 o : old)
            if (o != to)
                unlink(graph, schema, from, rel, o);
    }
    insertSorted(source->relations[rel], to);
    const int inverse = entity.inverse.at(rel);
    if (inverse < 0)
        return;
    if (!schema.entities.at(target->entity).relationships.at(inverse).toMany) {
        const QList<qint64> old = target->relations.at(inverse);
        for (qint64 o : old)
            if (o != from)
                unlink(graph, schema, to, inverse, o);
    }
    insertSorted(target->relations[inverse], from);
}

// Whether \a rel of \a entity is derived from the other side rather than stored on its own.
bool isDerivedSide(const Schema &schema, int entity, int rel)
{
    const EntityInfo &info = schema.entities.at(entity);
    const int inverse = info.inverse.at(rel);
    return inverse >= 0 && info.relationships.at(rel).toMany &&
           !schema.entities.at(info.destination.at(rel)).relationships.at(inverse).toMany;
}

// ---------------------------------------------------------------------------------------
// Values as text.

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

struct EncodedValue
{
    QString text;
    QString encoding; // empty for plain text
};

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

// ---------------------------------------------------------------------------------------
// Writing.

// Appends \a text to \a out as XML character data, or as an attribute value (where
// whitespace other than spaces is escaped too, since readers turn it into spaces).
void appendEscaped(QByteArray &out, QStringView text, bool attribute)
{
    const QByteArray utf8 = text.toUtf8();
    const char *begin = utf8.constData();
    const char *end = begin + utf8.size();
    const char *plain = begin;
    for (const char *p = begin; p != end; ++p) {
        const char *entity = nullptr;
        switch (*p) {
        case '&':
            entity = "&amp;";
            break;
        case '<':
            entity = "&lt;";
            break;
        case '>':
            entity = "&gt;";
            break;
        case '\r':
            entity = "&#13;";
            break;
        case '"':
            entity = attribute ? "&quot;" : nullptr;
            break;
        case '\t':
            entity = attribute ? "&#9;" : nullptr;
            break;
        case '\n':
            entity = attribute ? "&#10;" : nullptr;
            break;
        default:
            break;
        }
        if (!entity)
            continue;
        out.append(plain, p - plain);
        out.append(entity);
        plain = p + 1;
    }
    out.append(plain, end - plain);
}

// The file as XmlStore documents it. Written by hand rather than with QXmlStreamWriter:
// the format is small and flat, and large stores save several times faster this way.
// Every text reaching here is XML-safe (names are checked with the model, values encoded).
QByteArray serialize(const Schema &schema, const Graph &graph)
{
    QByteArray out;
    out.reserve(qsizetype(graph.records.size()) * 160 + 256);
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<store version=\"1\" model=\"";
    appendEscaped(out, QString::fromLatin1(schema.fingerprint), true);
    out += "\" next=\"" + QByteArray::number(graph.next) + "\">\n";
    // Names as they appear in the file, escaped once.
    QList<QByteArray> entityNames;
    QList<QList<QByteArray>> attributeStarts, relationshipStarts, destinationPrefixes;
    for (const EntityInfo &entity : schema.entities) {
        QByteArray name;
        appendEscaped(name, entity.name, true);
        entityNames.append(name);
        QList<QByteArray> starts;
        for (const AttributeDescription &a : entity.attributes) {
            QByteArray start = "        <attribute name=\"";
            appendEscaped(start, a.name, true);
            start += "\" type=\"" + typeWord(a.type).toLatin1() + '"';
            starts.append(start);
        }
        attributeStarts.append(starts);
        starts.clear();
        for (const RelationshipDescription &r : entity.relationships) {
            QByteArray start = "        <relationship name=\"";
            appendEscaped(start, r.name, true);
            start += r.toMany ? "\" type=\"to-many\">" : "\" type=\"to-one\">";
            starts.append(start);
        }
        relationshipStarts.append(starts);
    }
    for (qsizetype e = 0; e < schema.entities.size(); ++e) {
        QList<QByteArray> prefixes;
        for (int destination : schema.entities.at(e).destination) {
            QByteArray prefix;
            appendEscaped(prefix, schema.entities.at(destination).name, false);
            prefixes.append(prefix + '/');
        }
        destinationPrefixes.append(prefixes);
    }

    for (auto it = graph.records.cbegin(); it != graph.records.cend(); ++it) {
        const Record &record = it.value();
        const EntityInfo &entity = schema.entities.at(record.entity);
        out += "    <object entity=\"" + entityNames.at(record.entity) + "\" id=\"" +
               QByteArray::number(it.key());
        bool empty = true;
        for (qsizetype a = 0; a < record.attributes.size(); ++a) {
            const QVariant &value = record.attributes.at(a);
            if (!value.isValid())
                continue;
            if (empty)
                out += "\">\n";
            empty = false;
            const EncodedValue encoded = encodeValue(entity.attributes.at(a).type, value);
            out += attributeStarts.at(record.entity).at(a);
            if (!encoded.encoding.isEmpty())
                out += " encoding=\"" + encoded.encoding.toLatin1() + '"';
            out += '>';
            appendEscaped(out, encoded.text, false);
            out += "</attribute>\n";
        }
        for (qsizetype r = 0; r < record.relations.size(); ++r) {
            const QList<qint64> &targets = record.relations.at(r);
            if (targets.isEmpty())
                continue;
            if (empty)
                out += "\">\n";
            empty = false;
            out += relationshipStarts.at(record.entity).at(r);
            const QByteArray &prefix = destinationPrefixes.at(record.entity).at(r);
            for (qsizetype i = 0; i < targets.size(); ++i) {
                if (i)
                    out += ' ';
                out += prefix;
                out += QByteArray::number(targets.at(i));
            }
            out += "</relationship>\n";
        }
        out += empty ? "\"/>\n" : "    </object>\n";
    }
    out += "</store>\n";
    return out;
}

// Replaces \a path by \a bytes so that a crash at any moment leaves the old or the new
// file: a temporary file in the same folder, synced, renamed over, and the folder synced.
ZEM_Result<void> writeAtomically(const QString &path, const QByteArray &bytes)
{
    QFileInfo info(path);
    if (info.isSymLink())
        info = QFileInfo(info.symLinkTarget());
    const QString folder = info.absolutePath();
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    const auto failure = [&](const QString &step, int error) {
        return ZEM_Error::make(
            ZEM_Error::WriteFailed,
            QStringLiteral("Cannot save %1: %2 (%3).").arg(path, step, qt_error_string(error)),
            {path});
    };

    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temp = QFile::encodeName(folder + QStringLiteral("/.") + info.fileName() +
                                 QStringLiteral(".tmp-") +
                                 QString::number(QRandomGenerator::global()->generate64(), 36));
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return failure(QStringLiteral("cannot create a file in %1").arg(folder), errno);

    const auto abandon = [&](const QString &step, int error) {
        if (fd >= 0)
            ::close(fd);
        ::unlink(temp.constData());
        return failure(step, error);
    };
    // A replaced file keeps its permissions; a new one gets the usual ones (umask applied).
    struct stat st;
    if (::stat(target.constData(), &st) == 0)
        (void)::fchmod(fd, st.st_mode & 07777);

    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return abandon(QStringLiteral("writing failed"), errno);
        }
        data += n;
        left -= n;
    }
    if (::fsync(fd) != 0)
        return abandon(QStringLiteral("syncing to disk failed"), errno);
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0)
        return abandon(QStringLiteral("closing failed"), errno);
    if (::rename(temp.constData(), target.constData()) != 0)
        return abandon(QStringLiteral("replacing the file failed"), errno);

    // Without this the rename may not survive a power cut. The new file is in place either
    // way, so a folder that cannot be synced is no reason to report a failed save.
    const int dirfd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirfd >= 0) {
        (void)::fsync(dirfd);
        ::close(dirfd);
    }
    return {};
}

// ---------------------------------------------------------------------------------------
// Reading.

class Reader
{
public:
    Reader(const Schema &schema, const QByteArray &bytes, QString source)
        : m_schema(schema), m_xml(bytes), m_source(std::move(source))
    {
    }

    ZEM_Result<Graph> run()
    {
        bool sawRoot = false;
        while (!m_failed && !m_xml.atEnd()) {
            switch (m_xml.readNext()) {
            case QXmlStreamReader::DTD:
                // Refused outright: entity declarations are how expansion attacks start.
                fail(QStringLiteral("document type declarations are not allowed"));
                break;
            case QXmlStreamReader::EntityReference:
                fail(QStringLiteral("unknown entity reference \"&%1;\"").arg(m_xml.name()));
                break;
            case QXmlStreamReader::StartElement:
                if (m_xml.name() != u"store") {
                    fail(QStringLiteral("the root element is <%1>, not <store>").arg(m_xml.name()));
                    break;
                }
                sawRoot = true;
                readStore();
                break;
            default:
                break;
            }
        }
        if (!m_failed && m_xml.hasError()) {
            if (m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError)
                fail(sawRoot ? QStringLiteral("the data ends early (is the file cut short?)")
                             : QStringLiteral("there is no <store> element"));
            else
                fail(notWellFormed());
        }
        if (!m_failed && !sawRoot)
            fail(QStringLiteral("there is no <store> element"));
        if (!m_failed)
            resolveLinks();
        if (m_failed)
            return m_error;
        m_graph.next =
            std::max(m_graph.next, m_graph.records.isEmpty() ? 1 : m_graph.records.lastKey() + 1);
        return std::move(m_graph);
    }

private:
    struct PendingLinks
    {
        qint64 record;
        int relationship;
        QList<qint64> targets;
        qint64 line, column;
    };

    QString notWellFormed() const
    {
        QString why = m_xml.errorString();
        while (why.endsWith(QLatin1Char('.')))
            why.chop(1);
        return QStringLiteral("the XML is not well-formed: %1").arg(why);
    }

    QString where(qint64 line, qint64 column) const
    {
        return QStringLiteral("%1, line %2, column %3").arg(m_source).arg(line).arg(column);
    }

    void fail(const QString &what, ZEM_Error::Code code = ZEM_Error::ParseFailed)
    {
        failAt(what, m_xml.lineNumber(), m_xml.columnNumber(), code);
    }

    void failAt(const QString &what, qint64 line, qint64 column,
                ZEM_Error::Code code = ZEM_Error::ParseFailed)
    {
        if (m_failed)
            return;
        m_failed = true;
        m_error = ZEM_Error::make(code, QStringLiteral("%1: %2.").arg(where(line, column), what),
                                  {m_source, QString::number(line), QString::number(column)});
    }

    // False (and failed) when the element has an attribute other than \a allowed.
    bool onlyAttributes(std::initializer_list<const char16_t *> allowed)
    {
        for (const QXmlStreamAttribute &a : m_xml.attributes()) {
            const bool known =
                std::any_of(allowed.begin(), allowed.end(), [&](const char16_t *name) {
                    return a.qualifiedName() == QStringView(name);
                });
            if (!known) {
                fail(QStringLiteral("<%1> has the unexpected attribute \"%2\"")
                         .arg(m_xml.name(), a.qualifiedName()));
                return false;
            }
        }
        return true;
    }

    // Skips what may stand between elements; false (and failed) for anything else.
    bool skippable()
    {
        switch (m_xml.tokenType()) {
        case QXmlStreamReader::Comment:
        case QXmlStreamReader::ProcessingInstruction:
            return true;
        case QXmlStreamReader::Characters:
            if (m_xml.isWhitespace())
                return true;
            fail(QStringLiteral("unexpected text \"%1\"").arg(m_xml.text().trimmed().left(20)));
            return false;
        case QXmlStreamReader::EntityReference:
            fail(QStringLiteral("unknown entity reference \"&%1;\"").arg(m_xml.name()));
            return false;
        default:
            fail(QStringLiteral("unexpected %1").arg(m_xml.tokenString()));
            return false;
        }
    }

    // The format is flat (store, object, value) and every other element is refused where
    // it starts, so nesting never goes deeper than three levels.
    void readStore()
    {
        if (!onlyAttributes({u"version", u"model", u"next"}))
            return;
        const QXmlStreamAttributes attributes = m_xml.attributes();
        if (attributes.value(QLatin1String("version")) != u"1") {
            fail(attributes.hasAttribute(QLatin1String("version"))
                     ? QStringLiteral("the store version \"%1\" is not supported")
                           .arg(attributes.value(QLatin1String("version")))
                     : QStringLiteral("<store> has no version"));
            return;
        }
        if (attributes.value(QLatin1String("model")) != QLatin1String(m_schema.fingerprint)) {
            fail(QStringLiteral(
                     "the file was written for another data model (model \"%1\", expected \"%2\")")
                     .arg(attributes.value(QLatin1String("model")),
                          QLatin1String(m_schema.fingerprint)),
                 ZEM_Error::Conflict);
            return;
        }
        if (attributes.hasAttribute(QLatin1String("next"))) {
            bool ok = false;
            const QStringView text = attributes.value(QLatin1String("next"));
            const qint64 next = text.toLongLong(&ok);
            if (!ok || next < 1 || next > kMaxNumber + 1) {
                fail(QStringLiteral("\"%1\" is not a valid next id").arg(text));
                return;
            }
            m_graph.next = next;
        }
        while (!m_failed && !m_xml.atEnd()) {
            switch (m_xml.readNext()) {
            case QXmlStreamReader::StartElement:
                if (m_xml.name() != u"object") {
                    fail(QStringLiteral("unexpected element <%1> in <store>").arg(m_xml.name()));
                    return;
                }
                readObject();
                break;
            case QXmlStreamReader::EndElement:
                return;
            case QXmlStreamReader::Invalid:
                return; // the reader's error is reported by run()
            default:
                if (!skippable())
                    return;
            }
        }
    }

    void readObject()
    {
        if (!onlyAttributes({u"entity", u"id"}))
            return;
        const QXmlStreamAttributes attributes = m_xml.attributes();
        const QString entityName = attributes.value(QLatin1String("entity")).toString();
        const int entity = m_schema.entityIndex.value(entityName, -1);
        if (entity < 0) {
            fail(attributes.hasAttribute(QLatin1String("entity"))
                     ? QStringLiteral("the entity \"%1\" is not in the data model").arg(entityName)
                     : QStringLiteral("<object> has no entity"));
            return;
        }
        const QStringView idText = attributes.value(QLatin1String("id"));
        qint64 number = 0;
        if (!parseNumber(idText, &number)) {
            fail(attributes.hasAttribute(QLatin1String("id"))
                     ? QStringLiteral("\"%1\" is not a valid id").arg(idText)
                     : QStringLiteral("<object> has no id"));
            return;
        }
        if (const auto other = m_graph.records.constFind(number); other != m_graph.records.cend()) {
            fail(QStringLiteral("the id %1 is used twice (%2 and %3)")
                     .arg(number)
                     .arg(m_schema.entities.at(other->entity).name, entityName));
            return;
        }
        const EntityInfo &info = m_schema.entities.at(entity);
        Record record = emptyRecord(m_schema, entity);
        QList<bool> seenRelationship(info.relationships.size(), false);

        while (!m_failed && !m_xml.atEnd()) {
            switch (m_xml.readNext()) {
            case QXmlStreamReader::StartElement:
                if (m_xml.name() == u"attribute")
                    readAttribute(info, entityName, record);
                else if (m_xml.name() == u"relationship")
                    readRelationship(info, entityName, number, seenRelationship);
                else
                    fail(QStringLiteral("unexpected element <%1> in <object>").arg(m_xml.name()));
                break;
            case QXmlStreamReader::EndElement:
                m_graph.records.insert(number, std::move(record));
                return;
            case QXmlStreamReader::Invalid:
                return;
            default:
                if (!skippable())
                    return;
            }
        }
    }

    // The element's text; on a child element or bad XML the reader fails.
    QString elementText()
    {
        QString text = m_xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
        if (m_xml.hasError() && !m_failed) {
            if (m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError)
                fail(QStringLiteral("the data ends early (is the file cut short?)"));
            else
                fail(notWellFormed());
        }
        return text;
    }

    void readAttribute(const EntityInfo &info, const QString &entityName, Record &record)
    {
        if (!onlyAttributes({u"name", u"type", u"encoding"}))
            return;
        const qint64 line = m_xml.lineNumber(), column = m_xml.columnNumber();
        const QXmlStreamAttributes attributes = m_xml.attributes();
        const QString name = attributes.value(QLatin1String("name")).toString();
        const int index = info.attributeIndex.value(name, -1);
        if (index < 0) {
            fail(QStringLiteral("%1 has no attribute \"%2\" in the data model")
                     .arg(entityName, name));
            return;
        }
        const AttributeDescription &desc = info.attributes.at(index);
        if (attributes.hasAttribute(QLatin1String("type")) &&
            attributes.value(QLatin1String("type")) != typeWord(desc.type)) {
            fail(QStringLiteral("%1.%2 is of type %3, not %4")
                     .arg(entityName, name, typeWord(desc.type),
                          attributes.value(QLatin1String("type"))));
            return;
        }
        if (record.attributes.at(index).isValid()) {
            fail(QStringLiteral("%1.%2 is given twice").arg(entityName, name));
            return;
        }
        const QString encoding = attributes.value(QLatin1String("encoding")).toString();
        const QString text = elementText();
        if (m_failed)
            return;
        QString why;
        const QVariant value = decodeValue(desc.type, text, encoding, &why);
        if (!value.isValid()) {
            failAt(QStringLiteral("%1.%2: %3").arg(entityName, name, why), line, column);
            return;
        }
        record.attributes[index] = value;
    }

    void readRelationship(const EntityInfo &info, const QString &entityName, qint64 number,
                          QList<bool> &seen)
    {
        if (!onlyAttributes({u"name", u"type"}))
            return;
        const qint64 line = m_xml.lineNumber(), column = m_xml.columnNumber();
        const QXmlStreamAttributes attributes = m_xml.attributes();
        const QString name = attributes.value(QLatin1String("name")).toString();
        const int index = info.relationshipIndex.value(name, -1);
        if (index < 0) {
            fail(QStringLiteral("%1 has no relationship \"%2\" in the data model")
                     .arg(entityName, name));
            return;
        }
        const RelationshipDescription &desc = info.relationships.at(index);
        const QString kind = desc.toMany ? QStringLiteral("to-many") : QStringLiteral("to-one");
        if (attributes.hasAttribute(QLatin1String("type")) &&
            attributes.value(QLatin1String("type")) != kind) {
            fail(QStringLiteral("%1.%2 is %3, not %4")
                     .arg(entityName, name, kind, attributes.value(QLatin1String("type"))));
            return;
        }
        if (seen.at(index)) {
            fail(QStringLiteral("%1.%2 is given twice").arg(entityName, name));
            return;
        }
        seen[index] = true;
        const QString text = elementText();
        if (m_failed)
            return;
        const QString &destination = m_schema.entities.at(info.destination.at(index)).name;
        PendingLinks pending{number, index, {}, line, column};
        const QStringView all(text);
        qsizetype i = 0;
        while (i < all.size()) {
            while (i < all.size() && all[i].isSpace())
                ++i;
            qsizetype end = i;
            while (end < all.size() && !all[end].isSpace())
                ++end;
            if (end == i)
                break;
            const QStringView word = all.mid(i, end - i);
            QStringView refEntity;
            qint64 ref = 0;
            if (!splitID(word, &refEntity, &ref)) {
                failAt(QStringLiteral("%1.%2: \"%3\" is not an object id")
                           .arg(entityName, name, word.left(40)),
                       line, column);
                return;
            }
            if (refEntity != destination) {
                failAt(QStringLiteral("%1/%2.%3 points to %4, but it holds %5 objects only")
                           .arg(entityName)
                           .arg(number)
                           .arg(name, word, destination),
                       line, column);
                return;
            }
            pending.targets.append(ref);
            i = end;
        }
        // In id order, so that linking appends rather than inserts.
        std::sort(pending.targets.begin(), pending.targets.end());
        pending.targets.erase(std::unique(pending.targets.begin(), pending.targets.end()),
                              pending.targets.end());
        if (!desc.toMany && pending.targets.size() > 1) {
            failAt(QStringLiteral("%1.%2 is to-one but names %3 objects")
                       .arg(entityName, name)
                       .arg(pending.targets.size()),
                   line, column);
            return;
        }
        m_pending.append(std::move(pending));
    }

    void resolveLinks()
    {
        // Checked first, so that a bad reference is reported wherever it is.
        for (const PendingLinks &p : std::as_const(m_pending)) {
            const EntityInfo &entity =
                m_schema.entities.at(m_graph.records.constFind(p.record)->entity);
            const int destination = entity.destination.at(p.relationship);
            for (qint64 n : p.targets) {
                const auto target = m_graph.records.constFind(n);
                if (target != m_graph.records.cend() && target->entity == destination)
                    continue;
                const QString what = QStringLiteral("%1/%2.%3")
                                         .arg(entity.name)
                                         .arg(p.record)
                                         .arg(entity.relationships.at(p.relationship).name);
                const QString ref =
                    m_schema.entities.at(destination).name + QLatin1Char('/') + QString::number(n);
                if (target == m_graph.records.cend())
                    failAt(
                        QStringLiteral("%1 points to %2, which is not in the file").arg(what, ref),
                        p.line, p.column);
                else
                    failAt(QStringLiteral("%1 names %2, but object %3 is a %4")
                               .arg(what, ref)
                               .arg(n)
                               .arg(m_schema.entities.at(target->entity).name),
                           p.line, p.column);
                return;
            }
        }
        // Then linked in id order, so both sides agree whatever the file said.
        std::stable_sort(
            m_pending.begin(), m_pending.end(),
            [](const PendingLinks &a, const PendingLinks &b) { return a.record < b.record; });
        m_graph.records.detach();
        for (const PendingLinks &p : std::as_const(m_pending)) {
            const int entity = m_graph.records.constFind(p.record)->entity;
            if (isDerivedSide(m_schema, entity, p.relationship))
                continue;
            for (qint64 target : p.targets)
                link(m_graph, m_schema, p.record, p.relationship, target);
        }
    }

    const Schema &m_schema;
    QXmlStreamReader m_xml;
    QString m_source;
    Graph m_graph;
    QList<PendingLinks> m_pending;
    bool m_failed = false;
    ZEM_Error m_error;
};

// ---------------------------------------------------------------------------------------
// Fetching.

// The value of \a keyPath for record \a number; lists where the path passes a to-many
// relationship.
QVariant valueAt(const Schema &schema, const Graph &graph, const Record &record,
                 QStringView keyPath)
{
    const qsizetype dot = keyPath.indexOf(QLatin1Char('.'));
    const QStringView head = dot < 0 ? keyPath : keyPath.left(dot);
    const QStringView rest = dot < 0 ? QStringView() : keyPath.mid(dot + 1);
    const EntityInfo &entity = schema.entities.at(record.entity);
    const QString key = head.toString();
    if (const auto a = entity.attributeIndex.constFind(key); a != entity.attributeIndex.cend())
        return dot < 0 ? record.attributes.at(*a) : QVariant();
    const auto r = entity.relationshipIndex.constFind(key);
    if (r == entity.relationshipIndex.cend())
        return {};
    const QList<qint64> &targets = record.relations.at(*r);
    const bool toMany = entity.relationships.at(*r).toMany;
    const auto valueOf = [&](qint64 n) -> QVariant {
        const auto target = graph.records.constFind(n);
        if (target == graph.records.cend())
            return {};
        if (dot < 0)
            return QVariant::fromValue(ObjectRef{schema.entities.at(target->entity).name,
                                                 objectID(schema, target->entity, n)});
        return valueAt(schema, graph, *target, rest);
    };
    if (!toMany)
        return targets.isEmpty() ? QVariant() : valueOf(targets.constFirst());
    QVariantList list;
    list.reserve(targets.size());
    for (qint64 n : targets) {
        const QVariant v = valueOf(n);
        if (v.typeId() == QMetaType::QVariantList)
            list += v.toList();
        else
            list.append(v);
    }
    return list;
}

// Null when every step of \a keyPath names a key of the model; else what is wrong.
QString checkKeyPath(const Schema &schema, int entity, const QString &keyPath)
{
    int current = entity;
    const QStringList parts = keyPath.split(QLatin1Char('.'));
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const EntityInfo &info = schema.entities.at(current);
        if (info.attributeIndex.contains(parts.at(i))) {
            if (i + 1 < parts.size())
                return QStringLiteral("%1.%2 is an attribute, not a relationship")
                    .arg(info.name, parts.at(i));
            return {};
        }
        const auto r = info.relationshipIndex.constFind(parts.at(i));
        if (r == info.relationshipIndex.cend())
            return QStringLiteral("%1 has no key \"%2\"").arg(info.name, parts.at(i));
        current = info.destination.at(*r);
    }
    return {};
}

// Records in constants become ObjectRefs, the form relationships take in a fetch.
QVariant refsForRecords(const QVariant &value)
{
    if (PersistentObject *record = PersistentObject::fromVariant(value))
        return QVariant::fromValue(ObjectRef{record->entityName(), record->objectID()});
    if (value.metaType() == QMetaType::fromType<RecordSet>()) {
        QVariantList list;
        for (PersistentObject *record : PersistentObject::setFromVariant(value))
            list.append(QVariant::fromValue(ObjectRef{record->entityName(), record->objectID()}));
        return list;
    }
    if (value.typeId() == QMetaType::QVariantList) {
        QVariantList list = value.toList();
        for (QVariant &v : list)
            v = refsForRecords(v);
        return list;
    }
    return value;
}

std::shared_ptr<const Predicate::Node> prepare(const Schema &schema, int entity,
                                               const Predicate::Node &node, QString *problem)
{
    auto copy = std::make_shared<Predicate::Node>(node);
    for (Predicate::Operand *operand : {&copy->lhs, &copy->rhs}) {
        if (operand->isKeyPath) {
            if (problem->isEmpty())
                *problem = checkKeyPath(schema, entity, operand->keyPath);
        } else {
            operand->constant = refsForRecords(operand->constant);
        }
    }
    for (auto &child : copy->children)
        if (child)
            child = prepare(schema, entity, *child, problem);
    return copy;
}

} // namespace

// ---------------------------------------------------------------------------------------

struct XmlStore::Private
{
    DataModel model;
    std::shared_ptr<const Schema> schema;
    QString path;
    bool readOnly = false;
    Graph graph;

    int entityOf(const QString &name) const { return schema->entityIndex.value(name, -1); }

    // The number of the stored record \a id of \a entityName, or 0.
    qint64 numberOf(const Graph &g, const QString &entityName, const QString &id) const
    {
        QStringView idEntity;
        qint64 n = 0;
        if (!splitID(id, &idEntity, &n) || (!entityName.isEmpty() && idEntity != entityName))
            return 0;
        const auto it = g.records.constFind(n);
        if (it == g.records.cend() || schema->entities.at(it->entity).name != idEntity)
            return 0;
        return n;
    }
};

XmlStore::XmlStore(std::unique_ptr<Private> p) : d(std::move(p)) {}

XmlStore::~XmlStore() = default;

ZEM_Result<std::unique_ptr<XmlStore>> XmlStore::open(const DataModel &model, const QString &path,
                                                     const StoreOptions &options)
{
    ZEM_Result<std::shared_ptr<const Schema>> schema = makeSchema(model);
    if (!schema)
        return schema.error();
    auto p = std::make_unique<Private>();
    p->model = model;
    p->schema = *schema;
    p->path = path;
    p->readOnly = options.readOnly;

    QFile file(path);
    if (!file.exists()) {
        if (options.readOnly)
            return ZEM_Error::make(ZEM_Error::NotFound,
                                   QStringLiteral("The store %1 does not exist.").arg(path),
                                   {path});
        return std::unique_ptr<XmlStore>(new XmlStore(std::move(p)));
    }
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly))
        return ZEM_Error::make(
            ZEM_Error::ReadFailed,
            QStringLiteral("Cannot read the store %1: %2").arg(path, file.errorString()), {path});
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return ZEM_Error::make(
            ZEM_Error::ReadFailed,
            QStringLiteral("Cannot read the store %1: %2").arg(path, file.errorString()), {path});
    ZEM_Result<Graph> graph = Reader(**schema, bytes, path).run();
    if (!graph)
        return graph.error();
    p->graph = std::move(*graph);
    return std::unique_ptr<XmlStore>(new XmlStore(std::move(p)));
}

ZEM_Result<std::unique_ptr<XmlStore>> XmlStore::read(const DataModel &model, const QByteArray &xml)
{
    ZEM_Result<std::shared_ptr<const Schema>> schema = makeSchema(model);
    if (!schema)
        return schema.error();
    ZEM_Result<Graph> graph = Reader(**schema, xml, QStringLiteral("XML data")).run();
    if (!graph)
        return graph.error();
    auto p = std::make_unique<Private>();
    p->model = model;
    p->schema = *schema;
    p->graph = std::move(*graph);
    return std::unique_ptr<XmlStore>(new XmlStore(std::move(p)));
}

QByteArray XmlStore::toXml() const
{
    return serialize(*d->schema, d->graph);
}

bool XmlStore::hasSameContents(const XmlStore &other) const
{
    if (d->schema->fingerprint != other.d->schema->fingerprint ||
        d->graph.next != other.d->graph.next ||
        d->graph.records.size() != other.d->graph.records.size())
        return false;
    for (auto a = d->graph.records.cbegin(), b = other.d->graph.records.cbegin();
         a != d->graph.records.cend(); ++a, ++b) {
        if (a.key() != b.key() || a->entity != b->entity ||
            a->relations.size() != b->relations.size() ||
            a->attributes.size() != b->attributes.size())
            return false;
        for (qsizetype i = 0; i < a->relations.size(); ++i)
            if (!std::equal(a->relations.at(i).cbegin(), a->relations.at(i).cend(),
                            b->relations.at(i).cbegin(), b->relations.at(i).cend()))
                return false;
        for (qsizetype i = 0; i < a->attributes.size(); ++i)
            if (!sameValue(a->attributes.at(i), b->attributes.at(i)))
                return false;
    }
    return true;
}

qsizetype XmlStore::recordCount() const
{
    return d->graph.records.size();
}

QString XmlStore::type() const
{
    return QStringLiteral("XML");
}

QString XmlStore::path() const
{
    return d->path;
}

const DataModel &XmlStore::model() const
{
    return d->model;
}

bool XmlStore::isReadOnly() const
{
    return d->readOnly;
}

ZEM_Result<QVariantMap> XmlStore::loadValues(const PersistentObject &record)
{
    const Schema &schema = *d->schema;
    const qint64 n = d->numberOf(d->graph, record.entityName(), record.objectID());
    if (n == 0)
        return ZEM_Error::make(ZEM_Error::NotFound,
                               QStringLiteral("The store has no %1 with the id %2.")
                                   .arg(record.entityName(), record.objectID()),
                               {record.entityName(), record.objectID()});
    const Record &stored = d->graph.records.find(n).value();
    const EntityInfo &entity = schema.entities.at(stored.entity);
    QVariantMap values;
    for (qsizetype a = 0; a < stored.attributes.size(); ++a) {
        const QVariant &value = stored.attributes.at(a);
        if (!value.isValid())
            continue;
        values.insert(entity.attributes.at(a).name, value.typeId() == QMetaType::QDateTime
                                                        ? QVariant(value.toDateTime().toLocalTime())
                                                        : value);
    }
    for (qsizetype r = 0; r < stored.relations.size(); ++r) {
        const QString &destination = schema.entities.at(entity.destination.at(r)).name;
        const QList<qint64> &targets = stored.relations.at(r);
        if (entity.relationships.at(r).toMany) {
            ObjectRefList refs;
            refs.reserve(targets.size());
            for (qint64 t : targets)
                refs.append(ObjectRef{destination, objectID(schema, entity.destination.at(r), t)});
            values.insert(entity.relationships.at(r).name, QVariant::fromValue(refs));
        } else if (!targets.isEmpty()) {
            values.insert(entity.relationships.at(r).name,
                          QVariant::fromValue(
                              ObjectRef{destination, objectID(schema, entity.destination.at(r),
                                                              targets.constFirst())}));
        }
    }
    return values;
}

ZEM_Result<QStringList> XmlStore::fetchObjectIDs(const FetchRequest &request)
{
    const Schema &schema = *d->schema;
    const int entity = d->entityOf(request.entityName);
    if (entity < 0)
        return ZEM_Error::make(
            ZEM_Error::InvalidArgument,
            QStringLiteral("Cannot fetch: the entity \"%1\" is not in the data model.")
                .arg(request.entityName),
            {request.entityName});
    QString problem;
    const Predicate predicate(prepare(schema, entity, request.predicate.root(), &problem));
    for (const SortDescriptor &s : request.sortDescriptors)
        if (problem.isEmpty())
            problem = checkKeyPath(schema, entity, s.keyPath);
    if (!problem.isEmpty())
        return ZEM_Error::make(
            ZEM_Error::InvalidArgument,
            QStringLiteral("Cannot fetch %1: %2.").arg(request.entityName, problem),
            {request.entityName});

    const Graph &graph = d->graph;
    const bool everything = request.predicate.isTrue();
    const bool stopEarly = request.sortDescriptors.isEmpty() && request.fetchLimit > 0;
    QList<QMap<qint64, Record>::const_iterator> matches;
    for (auto it = graph.records.cbegin(); it != graph.records.cend(); ++it) {
        if (it->entity != entity)
            continue;
        const Record &record = it.value();
        if (!everything && !predicate.evaluate([&](const QString &keyPath) {
                return valueAt(schema, graph, record, keyPath);
            }))
            continue;
        matches.append(it);
        if (stopEarly && matches.size() >= request.fetchLimit)
            break;
    }
    if (!request.sortDescriptors.isEmpty()) {
        // Stable, so that ties keep id order, which is insertion order.
        std::stable_sort(matches.begin(), matches.end(), [&](const auto &a, const auto &b) {
            return SortDescriptor::compare(
                       request.sortDescriptors,
                       [&](const QString &keyPath) {
                           return valueAt(schema, graph, a.value(), keyPath);
                       },
                       [&](const QString &keyPath) {
                           return valueAt(schema, graph, b.value(), keyPath);
                       }) < 0;
        });
    }
    if (request.fetchLimit > 0 && matches.size() > request.fetchLimit)
        matches.resize(request.fetchLimit);
    QStringList ids;
    ids.reserve(matches.size());
    for (const auto &it : std::as_const(matches))
        ids.append(objectID(schema, entity, it.key()));
    return ids;
}

ZEM_Result<void> XmlStore::saveChanges(const Changes &changes)
{
    if (d->readOnly)
        return ZEM_Error::make(
            ZEM_Error::WriteFailed,
            QStringLiteral("Cannot save %1: the store is read-only.").arg(d->path), {d->path});
    if (changes.inserted.isEmpty() && changes.updated.isEmpty() && changes.deleted.isEmpty())
        return {};
    const Schema &schema = *d->schema;
    const Graph &before = d->graph;
    Graph work = before;
    work.records.detach();

    // Records given as values only count when they belong to the context being saved.
    StoreContext *context = nullptr;
    for (const auto *list : {&changes.inserted, &changes.updated, &changes.deleted})
        if (!list->isEmpty() && !context)
            context = list->constFirst()->managedObjectContext();

    // Numbers for the new records first, so that links among them resolve.
    QHash<PersistentObject *, qint64> assigned;
    for (PersistentObject *record : changes.inserted) {
        const int entity = d->entityOf(record->entityName());
        if (entity < 0)
            return ZEM_Error::make(
                ZEM_Error::InvalidArgument,
                QStringLiteral(
                    "Cannot save a record of the entity \"%1\": it is not in the data model.")
                    .arg(record->entityName()),
                {record->entityName()});
        if (work.next > kMaxNumber)
            return ZEM_Error::make(ZEM_Error::WriteFailed,
                                   QStringLiteral("Cannot save %1: no ids are left.").arg(d->path),
                                   {d->path});
        const qint64 n = work.next++;
        assigned.insert(record, n);
        work.records.insert(n, emptyRecord(schema, entity));
    }

    // Deleted records take their links with them, on both sides. Lists that lose members
    // are cleaned once each, so deleting most of a large group stays linear.
    QSet<qint64> gone;
    QSet<int> goneEntities;
    for (PersistentObject *record : changes.deleted) {
        if (const qint64 n = d->numberOf(work, record->entityName(), record->objectID()))
            gone.insert(n);
    }
    QSet<std::pair<qint64, int>> touched; // (record, relationship) holding a deleted record
    for (qint64 n : std::as_const(gone)) {
        const Record &stored = *findRecord(work, n);
        const EntityInfo &info = schema.entities.at(stored.entity);
        goneEntities.insert(stored.entity);
        for (qsizetype r = 0; r < stored.relations.size(); ++r)
            if (info.inverse.at(r) >= 0)
                for (qint64 t : stored.relations.at(r))
                    if (!gone.contains(t))
                        touched.insert({t, info.inverse.at(r)});
    }
    for (const auto &[t, r] : std::as_const(touched))
        findRecord(work, t)->relations[r].removeIf([&](qint64 x) { return gone.contains(x); });
    for (qint64 n : std::as_const(gone))
        work.records.remove(n);
    // Links without an inverse are only known from the side that holds them.
    if (!gone.isEmpty()) {
        for (auto it = work.records.begin(); it != work.records.end(); ++it) {
            const EntityInfo &info = schema.entities.at(it->entity);
            for (qsizetype r = 0; r < info.relationships.size(); ++r) {
                if (info.inverse.at(r) >= 0 || !goneEntities.contains(info.destination.at(r)))
                    continue;
                if (std::any_of(it->relations.at(r).cbegin(), it->relations.at(r).cend(),
                                [&](qint64 t) { return gone.contains(t); }))
                    it->relations[r].removeIf([&](qint64 t) { return gone.contains(t); });
            }
        }
    }

    const auto resolveInto = [&](const auto &self, const QVariant &value, int destination,
                                 QList<qint64> &out) -> void {
        const auto add = [&](const QString &entityName, const QString &id) {
            const qint64 n = d->numberOf(work, entityName, id);
            if (n != 0 && work.records.value(n).entity == destination)
                out.append(n);
        };
        if (!value.isValid())
            return;
        if (value.metaType() == QMetaType::fromType<RecordSet>()) {
            for (PersistentObject *record : PersistentObject::setFromVariant(value))
                self(self, PersistentObject::toVariant(record), destination, out);
        } else if (PersistentObject *record = PersistentObject::fromVariant(value)) {
            if (record->managedObjectContext() != context || record->isDeleted())
                return;
            if (const auto it = assigned.constFind(record); it != assigned.cend()) {
                if (work.records.value(*it).entity == destination)
                    out.append(*it);
            } else {
                add(record->entityName(), record->objectID());
            }
        } else if (value.metaType() == QMetaType::fromType<ObjectRef>()) {
            const ObjectRef ref = value.value<ObjectRef>();
            add(ref.entityName, ref.objectID);
        } else if (value.metaType() == QMetaType::fromType<ObjectRefList>()) {
            for (const ObjectRef &ref : value.value<ObjectRefList>())
                add(ref.entityName, ref.objectID);
        } else if (value.typeId() == QMetaType::QString) {
            add({}, value.toString());
        } else if (value.typeId() == QMetaType::QVariantList) {
            for (const QVariant &v : value.toList())
                self(self, v, destination, out);
        }
    };

    // Values of the inserted and changed records: attributes first, links once all values
    // are known.
    struct Written
    {
        qint64 number;
        bool isNew;
        QList<QList<qint64>> relations;
    };
    QList<Written> written;
    written.reserve(changes.inserted.size() + changes.updated.size());
    for (const QList<PersistentObject *> *list : {&changes.inserted, &changes.updated}) {
        const bool isNew = list == &changes.inserted;
        for (PersistentObject *record : *list) {
            const qint64 n = isNew ? assigned.value(record)
                                   : d->numberOf(work, record->entityName(), record->objectID());
            Record *stored = n ? findRecord(work, n) : nullptr;
            if (!stored)
                return ZEM_Error::make(
                    ZEM_Error::NotFound,
                    QStringLiteral("Cannot save %1 %2: the store does not hold it.")
                        .arg(record->entityName(), record->objectID()),
                    {record->entityName(), record->objectID()});
            const EntityInfo &info = schema.entities.at(stored->entity);
            for (qsizetype a = 0; a < info.attributes.size(); ++a) {
                const AttributeDescription &desc = info.attributes.at(a);
                const QVariant raw = record->primitiveValueForKey(desc.name);
                QVariant value;
                if (raw.isValid() && !raw.isNull()) {
                    value = desc.coerce(raw);
                    if (!value.isValid())
                        return ZEM_Error::make(
                            ZEM_Error::InvalidArgument,
                            QStringLiteral("Cannot save %1.%2 of %3: a %4 cannot hold %5.")
                                .arg(info.name, desc.name, record->objectID(), typeWord(desc.type),
                                     QString::fromLatin1(raw.typeName())),
                            {info.name, desc.name});
                }
                stored->attributes[a] = normalized(desc.type, value);
            }
            Written w{n, isNew, {}};
            for (qsizetype r = 0; r < info.relationships.size(); ++r) {
                QList<qint64> now;
                resolveInto(resolveInto,
                            record->primitiveValueForKey(info.relationships.at(r).name),
                            info.destination.at(r), now);
                // Sorted once here: sets come in hash order, and sorted inserts would be quadratic.
                std::sort(now.begin(), now.end());
                now.erase(std::unique(now.begin(), now.end()), now.end());
                if (!info.relationships.at(r).toMany && now.size() > 1)
                    now.resize(1);
                w.relations.append(now);
            }
            written.append(std::move(w));
        }
    }

    // A to-many side whose inverse is to-one follows the to-one values; only a new record's
    // list is taken as it is, and first, so that to-one values saved with it decide.
    for (const Written &w : std::as_const(written)) {
        if (!w.isNew)
            continue;
        const int entity = work.records.value(w.number).entity;
        for (qsizetype r = 0; r < w.relations.size(); ++r)
            if (isDerivedSide(schema, entity, int(r)))
                for (qint64 t : w.relations.at(r))
                    link(work, schema, w.number, int(r), t);
    }
    // Only links that differ from the store move, so a record saved with an unchanged side
    // does not undo the change another record of the same save made.
    for (const Written &w : std::as_const(written)) {
        const auto previous = before.records.constFind(w.number);
        const Record *old =
            w.isNew || previous == before.records.cend() ? nullptr : &previous.value();
        const int entity = findRecord(work, w.number)->entity;
        for (qsizetype r = 0; r < w.relations.size(); ++r) {
            if (isDerivedSide(schema, entity, int(r)))
                continue;
            const QList<qint64> &now = w.relations.at(r);
            const QList<qint64> was = old ? old->relations.at(r) : QList<qint64>();
            QList<qint64> dropped;
            std::set_difference(was.cbegin(), was.cend(), now.cbegin(), now.cend(),
                                std::back_inserter(dropped));
            unlinkAll(work, schema, w.number, int(r), dropped);
            for (qint64 t : now)
                if (!containsSorted(was, t))
                    link(work, schema, w.number, int(r), t);
        }
    }

    if (!d->path.isEmpty()) {
        const QByteArray bytes = serialize(schema, work);
        if (ZEM_Result<void> result = writeAtomically(d->path, bytes); !result)
            return result;
    }
    d->graph = std::move(work);
    for (auto it = assigned.cbegin(); it != assigned.cend(); ++it)
        if (StoreContext *owner = it.key()->managedObjectContext())
            owner->setObjectID(
                it.key(), objectID(schema, d->graph.records.value(it.value()).entity, it.value()));
    return {};
}

} // namespace platform
