#include "platform/addressbook/detail/CardIndex.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QSet>
#include <QTimeZone>
#include <QtEndian>

#include <cstring>

using namespace Qt::StringLiterals;

namespace platform::detail::card {

namespace {

// The payload is read for every unchanged file at every open, so it is a plain layout of its
// own: little-endian numbers, strings in UTF-8, each value behind a tag saying its type.
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

// A fixed stream format for Other: the payload reads the same whichever Qt wrote it.
constexpr QDataStream::Version kStreamVersion = QDataStream::Qt_6_0;

struct Writer
{
    QByteArray out;

    template <typename T> void number(T v)
    {
        v = qToLittleEndian(v);
        out.append(reinterpret_cast<const char *>(&v), sizeof v);
    }
    void bytes(const QByteArray &b)
    {
        number<qint32>(b.isNull() ? -1 : qint32(b.size()));
        out.append(b);
    }
    void string(const QString &s) { bytes(s.isNull() ? QByteArray() : s.toUtf8()); }
    void strings(const QStringList &list)
    {
        number<qint32>(qint32(list.size()));
        for (const QString &s : list)
            string(s);
    }

    // A multi-value is kept as its entries in order and its primary entry; reading adds them
    // again, which gives back the identifiers a fresh read hands out ("0", "1", ...). False
    // for one whose identifiers would not come back so.
    bool multi(const ABMultiValue &m)
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

    bool value(const QVariant &v)
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
        case QMetaType::QVariantMap: {
            const QVariantMap &map = get<QVariantMap>(v);
            number<quint8>(Map);
            number<qint32>(qint32(map.size()));
            for (auto it = map.cbegin(); it != map.cend(); ++it) {
                string(it.key());
                if (!value(*it))
                    return false;
            }
            return true;
        }
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
};

constexpr qsizetype kMaxShared = 4096;

struct Reader
{
    const char *at;
    const char *end;
    bool ok = true;
    // Keys and labels repeat in every card: each is held once (per reading thread).
    QSet<QString> &shared;

    template <typename T> T number()
    {
        T v{};
        if (end - at < qsizetype(sizeof v)) {
            ok = false;
            return v;
        }
        memcpy(&v, at, sizeof v);
        at += sizeof v;
        return qFromLittleEndian(v);
    }
    // The next \a size bytes, or null when there are not as many.
    const char *take(qint32 size)
    {
        if (size < 0 || end - at < size) {
            ok = false;
            return nullptr;
        }
        const char *p = at;
        at += size;
        return p;
    }
    QByteArray bytes()
    {
        const qint32 size = number<qint32>();
        if (size == -1)
            return {};
        const char *p = take(size);
        return p ? QByteArray(p, size) : QByteArray();
    }
    QString string()
    {
        const qint32 size = number<qint32>();
        if (size == -1)
            return {};
        const char *p = take(size);
        return p ? QString::fromUtf8(p, size) : QString();
    }
    QString sharedString()
    {
        QString s = string();
        // Labels may be anything a person typed: a thread keeps only so many.
        if (shared.size() >= kMaxShared && !shared.contains(s))
            return s;
        return *shared.insert(s);
    }
    qint32 count()
    {
        const qint32 n = number<qint32>();
        ok = ok && n >= 0 && n <= end - at; // every entry takes a byte at least
        return ok ? n : 0;
    }
    QStringList strings()
    {
        QStringList list;
        const qint32 n = count();
        list.reserve(n);
        for (qint32 i = 0; i < n && ok; ++i)
            list.append(string());
        return list;
    }
    ABMultiValue multi()
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
    QVariant value()
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
        case Map: {
            QVariantMap map;
            const qint32 n = count();
            for (qint32 i = 0; i < n && ok; ++i) {
                const QString key = sharedString();
                map.insert(map.cend(), key, value());
            }
            return map;
        }
        case Multi:
            return QVariant::fromValue(multi());
        case Other: {
            QDataStream stream(bytes());
            stream.setVersion(kStreamVersion);
            QVariant v;
            stream >> v;
            ok = ok && stream.status() == QDataStream::Ok;
            return v;
        }
        default:
            ok = false;
            return {};
        }
    }
};

} // namespace

QString cardIndexKind()
{
    const QByteArray zone = QTimeZone::systemTimeZoneId() + '\n' + qgetenv("TZ");
    return u"cards-"_s + QString::fromLatin1(contentDigest(zone).toHex().left(16));
}

QByteArray contentDigest(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1);
}

QByteArray encodeSeenFile(const SeenFile &file)
{
    Writer w;
    w.bytes(file.digest);
    w.strings(file.readProblems);
    w.number<qint32>(qint32(file.cards.size()));
    for (const SeenCard &c : file.cards) {
        w.string(c.uid);
        w.bytes(c.digest);
        w.number<quint8>(c.group);
        w.number<qint32>(qint32(c.values.size()));
        for (auto it = c.values.cbegin(); it != c.values.cend(); ++it) {
            w.string(it.key());
            if (!w.value(*it))
                return {};
        }
    }
    return w.out;
}

std::optional<SeenFile> decodeSeenFile(const QByteArray &payload)
{
    thread_local QSet<QString> shared = [] {
        // The book's own key strings, shared by every record, rather than a copy each.
        const QList<QString> keys = keyTable().keys();
        return QSet<QString>(keys.cbegin(), keys.cend());
    }();
    Reader r{payload.constData(), payload.constData() + payload.size(), true, shared};
    SeenFile file;
    file.digest = r.bytes();
    file.readProblems = r.strings();
    const qint32 cards = r.count();
    file.cards.reserve(cards);
    for (qint32 i = 0; i < cards && r.ok; ++i) {
        SeenCard c;
        c.uid = r.string();
        c.digest = r.bytes();
        if (c.digest == file.digest)
            c.digest = file.digest; // a file of one card: one digest held, not two
        c.group = r.number<quint8>() != 0;
        const qint32 values = r.count();
        for (qint32 v = 0; v < values && r.ok; ++v) {
            const QString key = r.sharedString();
            c.values.insert(c.values.cend(), key, r.value());
        }
        file.cards.append(std::move(c));
    }
    if (!r.ok || r.at != r.end)
        return std::nullopt;
    return file;
}

} // namespace platform::detail::card
