#pragma once
// Not installed: a ".vcf" file as the cards it holds, each with the bytes it occupies, so
// that one card of an export holding several can be rewritten or removed while every
// other byte of the file stays as it was.

#include "platform/addressbook/VCard.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

namespace platform::detail::card {

struct FileCard
{
    VCard card;
    QString uid;      ///< the card's UID, or one made from the file name when it has none
    QByteArray bytes; ///< the card's own bytes in the file
    qsizetype start = 0;
    qsizetype end = 0;
};

struct CardFile
{
    QList<FileCard> cards;
    /** False when the file holds several cards whose bytes could not be told apart (a
        UTF-16 export, say): they are read, but the file cannot be rewritten card by card. */
    bool splittable = true;
    QStringList problems; ///< the reader's, each "line N: ..."

    int indexOf(const QString &uid) const;
};

/**
 * Reads every card of \a bytes. A card without a UID is named after the file
 * (\a baseName, then "<baseName>-2" ... for later cards), as sync tools name such cards.
 * A file with one card is that card from its first byte to its last.
 */
CardFile readCardFile(const QByteArray &bytes, const QString &baseName);

/**
 * \a bytes (read as \a file) with the cards of \a changes replaced by new bytes, or removed
 * (nullopt); every other byte is kept.
 */
QByteArray rewriteCardFile(const QByteArray &bytes, const CardFile &file,
                           const QMap<int, std::optional<QByteArray>> &changes);

} // namespace platform::detail::card
