#include "contacts/detail/LocalWallTime.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>

namespace contacts_detail {

namespace {

// localtime_r, unlike mktime, does not read the zone again; tzset() when TZ changed keeps
// it current for tests and hosts that set TZ at run time.
void followTimeZone()
{
    static std::mutex lock;
    static bool known = false;
    static bool wasSet = false;
    static std::string last;
    const std::lock_guard guard(lock);
    const char *tz = std::getenv("TZ");
    if (known && wasSet == (tz != nullptr) && (!tz || last == tz))
        return;
    tzset();
    known = true;
    wasSet = tz != nullptr;
    last = tz ? tz : "";
}

bool local(qint64 seconds, std::tm &out)
{
    const std::time_t t = seconds;
    return localtime_r(&t, &out) != nullptr;
}

std::optional<long> offsetAt(qint64 seconds)
{
    std::tm tm{};
    return local(seconds, tm) ? std::optional<long>(tm.tm_gmtoff) : std::nullopt;
}

// The offset that holds for a whole day either side of \a seconds, or nullopt when it changes.
std::optional<long> steadyOffset(qint64 seconds)
{
    constexpr qint64 day = 86400;
    const std::optional<long> before = offsetAt(seconds - day);
    const std::optional<long> after = offsetAt(seconds + day);
    if (!before || !after || *before != *after)
        return std::nullopt;
    return before;
}

} // namespace

std::optional<WallTime> localWallTime(const QDateTime &date)
{
    if (!date.isValid())
        return std::nullopt;
    followTimeZone();
    qint64 instant = 0;
    if (date.timeSpec() == Qt::LocalTime) {
        // The wall time is given; its offset is the zone's when none changes nearby.
        const qint64 wall = (date.date().toJulianDay() - QDate(1970, 1, 1).toJulianDay()) * 86400
                            + date.time().msecsSinceStartOfDay() / 1000;
        const std::optional<long> offset = steadyOffset(wall);
        if (!offset || offsetAt(wall - *offset) != offset)
            return std::nullopt;
        instant = wall - *offset;
    } else {
        const qint64 msecs = date.toMSecsSinceEpoch();
        instant = msecs / 1000 - (msecs % 1000 < 0 ? 1 : 0); // floor: a second started before it
        if (!steadyOffset(instant))
            return std::nullopt;
    }
    std::tm tm{};
    if (!local(instant, tm) || tm.tm_year + 1900 < 1 || tm.tm_year + 1900 > 9999)
        return std::nullopt;
    return WallTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, int(tm.tm_gmtoff)};
}

} // namespace contacts_detail
