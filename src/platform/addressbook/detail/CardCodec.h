#pragma once
// Not installed: the byte layout of a card's values, shared by the folder index (which
// stores it) and CardValues (which holds it until the values are edited). Little-endian
// numbers, strings in UTF-8, each value behind a tag saying its type.

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>
#include <QtEndian>

#include <cstring>

namespace platform {
class ABMultiValue;
}

namespace platform::detail::card::codec {

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
    /** False for a value whose read would not give it back (the output is then unusable). */
    bool value(const QVariant &v);
    /** A record's values: their count, then each key and value. */
    bool values(const QVariantMap &map);

private:
    bool multi(const ABMultiValue &m);
};

struct Reader
{
    const char *at;
    const char *end;
    bool ok = true;

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
    // A string's or byte array's bytes, without making either; null for a null one.
    const char *span(qint32 *size)
    {
        *size = number<qint32>();
        if (*size == -1)
            return nullptr;
        return take(*size);
    }
    QByteArray bytes()
    {
        qint32 size;
        const char *p = span(&size);
        return p ? QByteArray(p, size) : QByteArray();
    }
    QString string()
    {
        qint32 size;
        const char *p = span(&size);
        return p ? QString::fromUtf8(p, size) : QString();
    }
    // Keys and labels repeat in every card: each is held once per thread.
    QString sharedString()
    {
        qint32 size;
        const char *p = span(&size);
        return shared(p, size);
    }
    /** The string of the UTF-8 \a size bytes at \a p (null for null \a p), held once. */
    static QString shared(const char *p, qint32 size);
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
    QVariant value();
    /** Past the next value without making it, setting ok false where value() would; false
        when the value read would be invalid. */
    bool skipValue();
    /** Past a record's values (as Writer::values wrote them). */
    void skipValues();
    QVariantMap values();

private:
    ABMultiValue multi();
};

} // namespace platform::detail::card::codec
