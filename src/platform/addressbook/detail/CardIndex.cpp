#include "platform/addressbook/detail/CardIndex.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QTimeZone>

using namespace Qt::StringLiterals;

namespace platform::detail::card {

namespace {

// A fixed stream format: the payload reads the same whichever Qt wrote it.
constexpr QDataStream::Version kStreamVersion = QDataStream::Qt_6_0;

enum ValueTag : quint8 { Plain = 0, Multi = 1 };

// A multi-value is kept as its entries in order and its primary entry; reading adds them
// again, which gives back the identifiers a fresh read hands out ("0", "1", ...).
bool writeMulti(QDataStream &out, const ABMultiValue &multi)
{
    for (int i = 0; i < multi.count(); ++i)
        if (multi.identifierAt(i) != QString::number(i))
            return false;
    out << quint8(Multi) << qint32(multi.count()) << qint32(multi.indexForIdentifier(multi.primaryIdentifier()));
    for (const ABMultiValue::Entry &e : multi.entries())
        out << e.label << e.value;
    return true;
}

ABMultiValue readMulti(QDataStream &in)
{
    qint32 count = 0;
    qint32 primary = -1;
    in >> count >> primary;
    ABMultiValue multi;
    for (qint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        QString label;
        QVariant value;
        in >> label >> value;
        if (multi.addValue(value, label).isEmpty())
            in.setStatus(QDataStream::ReadCorruptData);
    }
    if (primary >= 0)
        multi.setPrimaryIdentifier(multi.identifierAt(primary));
    return multi;
}

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
    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    out.setVersion(kStreamVersion);
    out << file.digest << file.readProblems << qint32(file.cards.size());
    for (const SeenCard &c : file.cards) {
        out << c.uid << c.digest << c.group << qint32(c.values.size());
        for (auto it = c.values.cbegin(); it != c.values.cend(); ++it) {
            out << it.key();
            if (it->metaType() == QMetaType::fromType<ABMultiValue>()) {
                if (!writeMulti(out, it->value<ABMultiValue>()))
                    return {};
            } else {
                out << quint8(Plain) << *it;
            }
        }
    }
    return out.status() == QDataStream::Ok ? payload : QByteArray();
}

std::optional<SeenFile> decodeSeenFile(const QByteArray &payload)
{
    QDataStream in(payload);
    in.setVersion(kStreamVersion);
    SeenFile file;
    qint32 cards = -1;
    in >> file.digest >> file.readProblems >> cards;
    if (cards < 0)
        return std::nullopt;
    const QHash<QString, KeyInfo> &keys = keyTable();
    for (qint32 i = 0; i < cards && in.status() == QDataStream::Ok; ++i) {
        SeenCard c;
        qint32 values = -1;
        in >> c.uid >> c.digest >> c.group >> values;
        for (qint32 v = 0; v < values && in.status() == QDataStream::Ok; ++v) {
            QString key;
            quint8 tag = Plain;
            in >> key >> tag;
            // The book's own key strings, shared by every record, rather than a copy each.
            if (const auto known = keys.constFind(key); known != keys.constEnd())
                key = known.key();
            QVariant value;
            if (tag == Multi)
                value = QVariant::fromValue(readMulti(in));
            else
                in >> value;
            c.values.insert(c.values.cend(), key, std::move(value));
        }
        file.cards.append(std::move(c));
    }
    if (in.status() != QDataStream::Ok || !in.atEnd())
        return std::nullopt;
    return file;
}

} // namespace platform::detail::card
