#include "platform/addressbook/detail/CardCodec.h"

#include "platform/addressbook/ABMultiValue.h"
#include "platform/addressbook/detail/CardMapping.h"

#include <QDataStream>
#include <QDateTime>
#include <QIODevice>

namespace platform::detail::card::codec {

namespace {

enum Tag : quint8 {
    Invalid,
    String,
    LocalDateTime, // milliseconds since the epoch; read back as local time
    Int,
    Bytes,
    Strings,
    Map,
    Multi,
    Other, // any other value, through QDataStream
};

template <typename T> const T &get(const QVariant &v)
{
    return *static_cast<const T *>(v.constData());
}

// A fixed stream format for Other: the bytes read the same whichever Qt wrote them.
constexpr QDataStream::Version kStreamVersion = QDataStream::Qt_6_0;

constexpr qsizetype kMaxShared = 4096;

QVariant readOther(const QByteArray &bytes, bool *ok)
{
    QDataStream stream(bytes);
    stream.setVersion(kStreamVersion);
    QVariant v;
    stream >> v;
    *ok = *ok && stream.status() == QDataStream::Ok;
    return v;
}

} // namespace

// A multi-value is kept as its entries in order and its primary entry; reading adds them
// again, which gives back the identifiers a fresh read hands out ("0", "1", ...). False for
// one whose identifiers would not come back so.
bool Writer::multi(const ABMultiValue &m)
{
    for (int i = 0; i < m.count(); ++i)
        if (m.identifierAt(i) != QString::number(i))
            return false;
    number<qint32>(qint32(m.count()));
    number<qint32>(qint32(m.indexForIdentifier(m.primaryIdentifier())));
    for (const ABMultiValue::Entry &e : m.entries()) {
        string(e.label);
        if (!value(e.value))
            return false;
    }
    return true;
}

bool Writer::values(const QVariantMap &map)
{
    number<qint32>(qint32(map.size()));
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        string(it.key());
        if (!value(*it))
            return false;
    }
    return true;
}

bool Writer::value(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::UnknownType:
        number<quint8>(Invalid);
        return true;
    case QMetaType::QString:
        number<quint8>(String);
        string(get<QString>(v));
        return true;
    case QMetaType::Int:
        number<quint8>(Int);
        number<qint32>(get<int>(v));
        return true;
    case QMetaType::QByteArray:
        number<quint8>(Bytes);
        bytes(get<QByteArray>(v));
        return true;
    case QMetaType::QStringList:
        number<quint8>(Strings);
        strings(get<QStringList>(v));
        return true;
    case QMetaType::QVariantMap:
        number<quint8>(Map);
        return values(get<QVariantMap>(v));
    case QMetaType::QDateTime: {
        const QDateTime &dt = get<QDateTime>(v);
        if (dt.timeSpec() == Qt::LocalTime && dt.isValid()) {
            number<quint8>(LocalDateTime);
            number<qint64>(dt.toMSecsSinceEpoch());
            return true;
        }
        break;
    }
    default:
        if (v.metaType() == QMetaType::fromType<ABMultiValue>()) {
            number<quint8>(Multi);
            return multi(get<ABMultiValue>(v));
        }
    }
    QByteArray other;
    QDataStream stream(&other, QIODevice::WriteOnly);
    stream.setVersion(kStreamVersion);
    stream << v;
    number<quint8>(Other);
    bytes(other);
    return stream.status() == QDataStream::Ok;
}

QString Reader::shared(const char *p, qint32 size)
{
    thread_local QSet<QString> held = [] {
        // The book's own key strings, shared by every record, rather than a copy each.
        const QList<QString> keys = keyTable().keys();
        return QSet<QString>(keys.cbegin(), keys.cend());
    }();
    QString s = p ? QString::fromUtf8(p, size) : QString();
    // Labels may be anything a person typed: a thread keeps only so many.
    if (held.size() >= kMaxShared && !held.contains(s))
        return s;
    return *held.insert(s);
}

ABMultiValue Reader::multi()
{
    const qint32 n = count();
    const qint32 primary = number<qint32>();
    ABMultiValue m;
    for (qint32 i = 0; i < n && ok; ++i) {
        const QString label = sharedString();
        m.addValue(value(), label);
    }
    ok = ok && m.count() == n;
    if (primary >= 0)
        m.setPrimaryIdentifier(m.identifierAt(primary));
    return m;
}

QVariantMap Reader::values()
{
    QVariantMap map;
    const qint32 n = count();
    for (qint32 i = 0; i < n && ok; ++i) {
        const QString key = sharedString();
        map.insert(map.cend(), key, value());
    }
    return map;
}

QVariant Reader::value()
{
    switch (number<quint8>()) {
    case Invalid:
        return {};
    case String:
        return string();
    case LocalDateTime:
        return QDateTime::fromMSecsSinceEpoch(number<qint64>(), Qt::LocalTime);
    case Int:
        return number<qint32>();
    case Bytes:
        return bytes();
    case Strings:
        return strings();
    case Map:
        return values();
    case Multi:
        return QVariant::fromValue(multi());
    case Other:
        return readOther(bytes(), &ok);
    default:
        ok = false;
        return {};
    }
}

bool Reader::skipValue()
{
    qint32 size;
    switch (number<quint8>()) {
    case Invalid:
        return false;
    case String:
    case Bytes:
        span(&size);
        break;
    case LocalDateTime:
        take(sizeof(qint64));
        break;
    case Int:
        take(sizeof(qint32));
        break;
    case Strings:
        for (qint32 i = 0, n = count(); i < n && ok; ++i)
            span(&size);
        break;
    case Map:
        skipValues();
        break;
    case Multi: {
        const qint32 n = count();
        number<qint32>(); // the primary entry
        for (qint32 i = 0; i < n && ok; ++i) {
            span(&size);
            // An entry without a value is not added: the multi-value would not read back.
            ok = skipValue() && ok;
        }
        break;
    }
    case Other:
        // Rare, and only reading it tells whether it reads.
        return readOther(bytes(), &ok).isValid();
    default:
        ok = false;
    }
    return true;
}

void Reader::skipValues()
{
    qint32 size;
    for (qint32 i = 0, n = count(); i < n && ok; ++i) {
        span(&size);
        skipValue();
    }
}

} // namespace platform::detail::card::codec
