#pragma once

#include "zem_appkit_export.h"

#include <QDate>
#include <QDateTime>

namespace platform {

/**
 * The current instant, in the process's default time zone. Every "today" of the kit asks
 * here, so tests can pin the clock to the last minute of a month or of a year.
 */
class ZEM_APPKIT_EXPORT Clock
{
public:
    /** Now, as local time; the pinned instant while one is set. */
    static QDateTime now();
    /** The calendar date of now() in the default time zone. */
    static QDate today();

    /** Pins now() to \a instant (taken as local time) until reset(). */
    static void setNowForTesting(const QDateTime &instant);
    /** Lets now() follow the system clock again. */
    static void reset();
    static bool isPinned();
};

} // namespace platform
