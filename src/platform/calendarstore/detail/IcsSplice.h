#pragma once
// Not installed: writing a changed calendar back into the text it was read from, so that
// every line the change did not touch keeps its bytes.

#include <QByteArray>
#include <QString>

#include <libical/ical.h>

#include <optional>

namespace platform::detail::ical {

/**
 * \a original (a file read with parseIcs(original, \a where)) rewritten to mean \a after,
 * that file's calendar as changed since (its items bare when \a afterBare). Only the lines
 * of the properties that differ, in the components that differ, are written anew (by
 * libical, in the file's line ends); a removed component's lines go; every other line keeps
 * its bytes, lines libical cannot read included. libical reads the result back to check it
 * means \a after; none when it does not.
 */
std::optional<QByteArray> splice(const QByteArray &original, const QString &where, icalcomponent *after,
                                 bool afterBare);

} // namespace platform::detail::ical
