#pragma once
// Not installed: local wall time without glibc reading the time zone again on every call.

#include <QDateTime>

#include <optional>

namespace contacts_detail {

struct WallTime
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    int offset = 0; // seconds east of UTC
};

/**
 * \a date as local wall time and offset, as QDateTime::toLocalTime() and offsetFromUtc()
 * give them. Those call mktime, which looks at the zone file again each time (a file
 * status call per date); this reads the zone again only when TZ changed. nullopt within a
 * day of a change of offset (where gaps and overlaps follow Qt's own rules) and outside the
 * years 1 to 9999: the caller then asks Qt.
 */
std::optional<WallTime> localWallTime(const QDateTime &date);

} // namespace contacts_detail
