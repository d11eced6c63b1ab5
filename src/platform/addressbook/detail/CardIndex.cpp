#include "platform/addressbook/detail/CardIndex.h"

#include "platform/addressbook/detail/CardCodec.h"

#include <QCryptographicHash>
#include <QTimeZone>

using namespace Qt::StringLiterals;

namespace platform::detail::card {

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
    codec::Writer w;
    w.bytes(file.digest);
    w.strings(file.readProblems);
    w.number<qint32>(qint32(file.cards.size()));
    for (const SeenCard &c : file.cards) {
        w.string(c.uid);
        w.bytes(c.digest);
        w.number<quint8>(c.group);
        if (!c.values.packInto(w.out))
            return {};
    }
    return w.out;
}

std::optional<SeenFile> decodeSeenFile(const QByteArray &payload)
{
    // Each card's values stay packed in the payload (which they share) until used.
    codec::Reader r{payload.constData(), payload.constData() + payload.size()};
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
        const char *values = r.at;
        r.skipValues();
        if (r.ok)
            c.values = CardValues::packed(payload, values - payload.constData(), r.at - values);
        file.cards.append(std::move(c));
    }
    if (!r.ok || r.at != r.end)
        return std::nullopt;
    return file;
}

} // namespace platform::detail::card
