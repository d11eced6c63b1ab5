#pragma once
// Not installed: the time zones files define, shared by content. libical turns each file's
// VTIMEZONE into a zone of that file and works out its transitions anew for each file,
// which was most of the time a folder took to read; files that define a zone alike now
// share one zone, worked out once.

#include <libical/ical.h>

#include <QByteArray>
#include <QHash>

#include <map>
#include <mutex>

namespace platform::detail::ical {

/**
 * One libical zone per distinct VTIMEZONE text in use by a parsed file, for the whole
 * process. A tree's definitions are bound to their zones by adopt() when it is parsed and
 * unbound by release() before it is freed (IcalFree does); a zone lives while a bound
 * definition does. The key is the definition's text, not its TZID: two files may define
 * "Europe/Berlin" differently and each converts by its own. Thread-safe; libical guards
 * a zone's transitions itself, so one zone serves conversions on several threads.
 */
class ZoneDefinitions
{
public:
    static ZoneDefinitions &shared();

    /** Binds every VTIMEZONE of \a root (a calendar or several) to the zone of its text. */
    void adopt(icalcomponent *root);
    /** Unbinds the VTIMEZONEs of \a root; zones no longer bound are freed. */
    void release(icalcomponent *root);
    /** The shared zone of \a vtimezone when its tree was adopted, else null. */
    icaltimezone *zoneOf(icalcomponent *vtimezone) const;
    /** How many distinct definitions are in use. */
    qsizetype size() const;

private:
    struct Zone
    {
        icaltimezone *zone = nullptr;
        int bound = 0;
    };
    using Zones = std::map<QByteArray, Zone>;

    mutable std::mutex m_lock;
    Zones m_zones;                                  // by definition text
    QHash<icalcomponent *, Zones::iterator> m_bound; // VTIMEZONE of an adopted tree -> its zone
};

} // namespace platform::detail::ical
