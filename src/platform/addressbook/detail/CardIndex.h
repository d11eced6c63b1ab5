#pragma once
// Not installed: what the address book keeps of each card file in the folder index, so that
// a file whose stamp did not change since it was read is neither read nor parsed again.

#include "platform/addressbook/detail/AddressBookPrivate.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace platform::detail::card {

/** Bumped whenever what a card file reads as, or the payload's layout, changes: an index of
    another version is made anew. */
inline constexpr int kCardIndexVersion = 1;

/** The index kind of card files read under the current time zone: dates without an offset
    read as local times, so an index made under another zone is never used. */
QString cardIndexKind();

/** Tells one content of a card or file from another without keeping its bytes. */
QByteArray contentDigest(const QByteArray &bytes);

/** What \a file read as (its digest, read problems and cards), or empty when it cannot be
    kept: the file is then read again next time. */
QByteArray encodeSeenFile(const SeenFile &file);
/** The file encodeSeenFile() made \a payload of; nullopt when it does not read as one. */
std::optional<SeenFile> decodeSeenFile(const QByteArray &payload);

} // namespace platform::detail::card
