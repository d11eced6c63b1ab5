#pragma once
// Not installed: a record's values as the address book holds them. A card nobody edited is
// kept as its values' packed bytes (a few hundred bytes, where the decoded map of strings,
// multi-values and nodes takes several times that); a value is read from them when asked
// for, and the first edit decodes them into a map kept from then on.

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <functional>

namespace platform::detail::card {

class CardValues
{
public:
    CardValues() = default;
    CardValues(QVariantMap map) : m_map(std::move(map)) {}

    /** The values packed (codec::Writer::values) at \a offset of \a payload, \a size bytes
        long, which codec::Reader::skipValues() has found whole. The payload is shared. */
    static CardValues packed(const QByteArray &payload, qsizetype offset, qsizetype size);
    /** \a map packed, or kept as a map when it cannot be. */
    static CardValues packedFrom(const QVariantMap &map);

    bool isPacked() const { return !m_packed.isNull(); }

    /** Invalid when there is no value for \a key. */
    QVariant value(const QString &key) const;
    /** Calls \a visit with each key (in order) and value, but keys starting with
        \a skipPrefix, whose values are never made. */
    void forEach(const std::function<void(const QString &, const QVariant &)> &visit,
                 QChar skipPrefix = QChar()) const;
    /** The values as a map (decoded for this call when packed). */
    QVariantMap toMap() const;
    /** The map to change; packed values are decoded into it first, and it is kept. */
    QVariantMap &edit();

    /** Whether both are the same packed bytes or the same map: certainly the same values. */
    bool isSharedWith(const CardValues &other) const;
    /** Whether both hold the same values, a value that is invalid being no value, and
        multi-values alike whatever their identifiers. */
    bool sameAs(const CardValues &other) const;

    /** Appends the values packed to \a out; false when they cannot be packed. */
    bool packInto(QByteArray &out) const;

private:
    QByteArrayView bytes() const { return QByteArrayView(m_packed).sliced(m_offset, m_size); }

    QByteArray m_packed; // null when the values are the map
    qint32 m_offset = 0;
    qint32 m_size = 0;
    QVariantMap m_map;
};

} // namespace platform::detail::card
