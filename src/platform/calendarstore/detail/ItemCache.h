#pragma once
// Not installed: what the calendar store keeps of a file in the folder index, so that an
// unchanged file is listed without being read or parsed again. Only what a listing hands
// out is kept: items that need their file's components (a series, a to-do that repeats)
// are marked, and such a file is parsed when a listing reaches it.

#include "platform/calendarstore/detail/CalValues.h"
#include "zem_appkit_export.h"

#include <QDataStream>
#include <QDateTime>
#include <QHash>
#include <QStringList>

#include <optional>

namespace platform::detail::itemcache {

/** Bumped whenever what is written here, or how items are read from files, changes. */
inline constexpr int kVersion = 5;

/** The index's kind for the calendar store: local times read from zoned times depend on the
    system's zone, so an index made under one zone is never used under another. */
ZEM_APPKIT_EXPORT QString indexKind();

/** One item as a listing hands it out, without where it is kept (calendar, file, revision). */
QByteArray encodeItem(const CalItemData &data);
/** False, and \a data untouched, when \a bytes are not what encodeItem() wrote. */
bool decodeItem(const QByteArray &bytes, CalItemData &data);

/** Whether an item read from a file can be handed out from its cached form: it carries no
    value that only its components can give (a rule to expand). */
bool cacheable(const CalItemData &data);

void writeTime(QDataStream &out, const QDateTime &t);
QDateTime readTime(QDataStream &in);

} // namespace platform::detail::itemcache
