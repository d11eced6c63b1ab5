#include "platform/addressbook/detail/CardValues.h"

#include "platform/addressbook/detail/CardCodec.h"
#include "platform/addressbook/detail/CardMapping.h"

namespace platform::detail::card {

namespace {

// Whether the UTF-8 \a size bytes at \a p spell \a key, without making a string of them:
// keys are ASCII but for what a future version might add.
bool spells(const char *p, qint32 size, QStringView key)
{
    if (size < key.size())
        return false; // UTF-8 takes as many units as UTF-16 at least
    for (qint32 i = 0; i < size; ++i) {
        const auto c = static_cast<uchar>(p[i]);
        if (c >= 0x80)
            return QString::fromUtf8(p, size) == key;
        if (i >= key.size() || c != key[i].unicode())
            return false;
    }
    return size == key.size();
}

codec::Reader readerOf(QByteArrayView bytes)
{
    return codec::Reader{bytes.data(), bytes.data() + bytes.size()};
}

} // namespace

CardValues CardValues::packed(const QByteArray &payload, qsizetype offset, qsizetype size)
{
    Q_ASSERT(offset >= 0 && size >= 0 && offset + size <= payload.size());
    CardValues v;
    v.m_packed = payload;
    v.m_offset = qint32(offset);
    v.m_size = qint32(size);
    return v;
}

CardValues CardValues::packedFrom(const QVariantMap &map)
{
    codec::Writer w;
    if (!w.values(map))
        return CardValues(map);
    w.out.squeeze();
    return packed(w.out, 0, w.out.size());
}

QVariant CardValues::value(const QString &key) const
{
    if (!isPacked())
        return m_map.value(key);
    codec::Reader r = readerOf(bytes());
    qint32 size;
    for (qint32 i = 0, n = r.count(); i < n && r.ok; ++i) {
        const char *name = r.span(&size);
        if (name && spells(name, size, key))
            return r.value();
        r.skipValue();
    }
    return {};
}

void CardValues::forEach(const std::function<void(const QString &, const QVariant &)> &visit,
                         QChar skipPrefix) const
{
    if (!isPacked()) {
        for (auto it = m_map.cbegin(); it != m_map.cend(); ++it)
            if (skipPrefix.isNull() || !it.key().startsWith(skipPrefix))
                visit(it.key(), it.value());
        return;
    }
    codec::Reader r = readerOf(bytes());
    const char skip = char(skipPrefix.unicode()); // keys to skip start with an ASCII mark
    Q_ASSERT(skipPrefix.unicode() < 0x80);
    qint32 size;
    for (qint32 i = 0, n = r.count(); i < n && r.ok; ++i) {
        const char *name = r.span(&size);
        if (!skipPrefix.isNull() && name && size > 0 && *name == skip) {
            r.skipValue();
            continue;
        }
        const QString key = codec::Reader::shared(name, size);
        const QVariant value = r.value();
        if (r.ok)
            visit(key, value);
    }
}

QVariantMap CardValues::toMap() const
{
    if (!isPacked())
        return m_map;
    codec::Reader r = readerOf(bytes());
    return r.values();
}

QVariantMap &CardValues::edit()
{
    if (isPacked()) {
        m_map = toMap();
        m_packed = QByteArray();
        m_offset = m_size = 0;
    }
    return m_map;
}

bool CardValues::isSharedWith(const CardValues &other) const
{
    if (isPacked() != other.isPacked())
        return false;
    if (!isPacked())
        return m_map.isSharedWith(other.m_map);
    return m_packed.constData() == other.m_packed.constData() && m_offset == other.m_offset
        && m_size == other.m_size;
}

bool CardValues::sameAs(const CardValues &other) const
{
    if (isSharedWith(other) || (isPacked() && other.isPacked() && bytes() == other.bytes()))
        return true;
    const QVariantMap mine = toMap();
    const QVariantMap theirs = other.toMap();
    for (auto it = mine.cbegin(); it != mine.cend(); ++it)
        if (!sameValue(it.value(), theirs.value(it.key())))
            return false;
    for (auto it = theirs.cbegin(); it != theirs.cend(); ++it)
        if (!mine.contains(it.key()) && it.value().isValid())
            return false;
    return true;
}

bool CardValues::packInto(QByteArray &out) const
{
    if (isPacked()) {
        out.append(bytes());
        return true;
    }
    codec::Writer w{std::move(out)};
    const bool ok = w.values(m_map);
    out = std::move(w.out);
    return ok;
}

} // namespace platform::detail::card
