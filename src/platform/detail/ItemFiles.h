#pragma once
// What the folder stores (address book, calendars) share about their item files: safe file
// names, atomic writes, and telling this process's own writes from other programs' edits.

#include "foundation/ZEM_Result.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>

namespace platform::detail {

/** "<uid><suffix>" with characters no file name may hold (and a leading dot) made "_". */
QString fileNameForUid(const QString &uid, const QString &suffix);

/** Writes \a bytes to a temporary file beside \a path, syncs it and renames it over \a path. */
ZEM_Result<void> writeFileAtomically(const QString &path, const QByteArray &bytes);

/** What this process last wrote to each file (nullopt: removed it), for every store of it. */
QHash<QString, std::optional<QByteArray>> &ownWrites();

/** The name change notices carry for this process's own saves: the host's application name. */
QString ownProcessName();

} // namespace platform::detail
