#pragma once
// Not installed: what the calendar store does with libical: parsing and writing files,
// walking components, and moving dates between libical and Qt.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTimeZone>
#include <QVariant>

#include <libical/ical.h>

#include <memory>
#include <vector>

namespace platform::detail::ical {

// Also unbinds the tree's zone definitions (IcalZones.h).
struct IcalFree
{
    void operator()(icalcomponent *c) const;
};
using IcalPtr = std::unique_ptr<icalcomponent, IcalFree>;

/** Makes libical report bad input rather than abort; called before any parsing. */
void initLibical();

/** A value as read; a bare carriage return (only a broken file has one) reads as a line break. */
QString text(const char *s);
QByteArray asIcal(icalcomponent *c);
QByteArray asIcal(icalproperty *p);
/** The whole file: several calendars in one file come back as an XROOT we never write. */
QByteArray serialize(icalcomponent *root);

std::vector<icalcomponent *> children(icalcomponent *parent, icalcomponent_kind kind);
std::vector<icalproperty *> properties(icalcomponent *c, icalproperty_kind kind);

struct Parsed
{
    IcalPtr root;
    QStringList problems;
    bool lossy = false; // the parser dropped lines it could not keep
    bool bare = false;  // items without a VCALENDAR around them: root is one made to hold them
};

/** \a bytes as UTF-8: themselves, or read as Latin-1 when they are not UTF-8 (\a latin1 set). */
QByteArray utf8Text(const QByteArray &bytes, bool *latin1);

/** A file's calendar; lines the parser cannot read are kept as lines of their own name, and
    its zone definitions convert through the zones shared by content (IcalZones.h). With
    \a where (the file as "calendar/name"), an item without a UID is given one made from
    \a where and its place in the file, marked as made (see isMadeUid()). */
Parsed parseIcs(QByteArray bytes, const QString &where = {});
/** The items of a file as written: the root, the calendars of a file holding several, or the
    items of a file holding them bare. */
std::vector<icalcomponent *> topOf(icalcomponent *root, bool bare);
/** Whether \a p is a UID that parseIcs() made, which a file gets only when its item is saved. */
bool isMadeUid(icalproperty *p);
/** Makes the made UID of \a c its own, to be written with it. */
void keepUid(icalcomponent *c);

// ---- Components ---------------------------------------------------------------------------

/** The calendars of a file: the root, or each calendar of a file holding several. */
std::vector<icalcomponent *> calendarsOf(icalcomponent *root);
/** The calendar holding \a c (itself when it has no parent). */
icalcomponent *calendarOf(icalcomponent *c);
bool isItem(icalcomponent *c);
bool hasRecurrenceId(icalcomponent *c);
/** Every component of \a uid, masters and overrides, in file order. */
std::vector<icalcomponent *> componentsOf(icalcomponent *root, const QString &uid);
icalcomponent *masterOf(const std::vector<icalcomponent *> &comps);
bool hasItems(icalcomponent *root);
void removeComponent(icalcomponent *c);
/** A new calendar with the header lines and zones of the calendar holding \a like. */
IcalPtr newCalendarLike(icalcomponent *like);
/** Moves every component of \a uid into a calendar of its own. */
IcalPtr extract(icalcomponent *root, const QString &uid);

// ---- Time ---------------------------------------------------------------------------------

bool isUtcId(const QByteArray &id);
/** The system's zone \a iana, built once for the process. */
QTimeZone zoneNamed(const QByteArray &iana);
/** The zone \a tzid names in \a calendar: its own definition (shared with the files that
    define it alike), else libical's zone of that name. */
icaltimezone *zoneFor(icalcomponent *calendar, const QByteArray &tzid);
QByteArray tzidOf(icalproperty *p);

struct TimeRead
{
    QDateTime value;
    bool floating = false;
    bool date = false;
};

/** A date-time as Qt holds it: all-day dates and floating times as local times, zoned
    times in their zone (or at their instant in local time when Qt does not know the zone). */
TimeRead toQt(icaltimetype t, const QByteArray &tzid, icalcomponent *calendar, QStringList *problems);
TimeRead timeOf(icalproperty *p, icalcomponent *calendar, QStringList *problems);

icaltimezone *utcZone();
icaltimetype icalDate(const QDate &d);
icaltimetype icalWall(const QDateTime &dt);

struct TimeWrite
{
    icaltimetype time = icaltime_null_time();
    QByteArray tzid;
};

/** How a date is written: a DATE for all-day values, a floating time for values read
    floating, else in the value's zone (the system zone for local times) with its
    definition added to the calendar, or in UTC when libical does not know the zone. */
TimeWrite fromQt(const QDateTime &dt, bool allDay, bool floating, icalcomponent *calendar);
void setTimeValue(icalproperty *p, const TimeWrite &w);
/** Sets (or with an invalid value removes) a date property, keeping its other parameters. */
void setTimeProperty(icalcomponent *c, icalproperty_kind kind, const TimeWrite &w);

// ---- Properties ---------------------------------------------------------------------------

void removeProperties(icalcomponent *c, icalproperty_kind kind);
void setTextProperty(icalcomponent *c, icalproperty_kind kind, const QVariant &value);
QString textOf(icalcomponent *c, icalproperty_kind kind);
/** DTSTAMP and LAST-MODIFIED set to now. */
void stampChanged(icalcomponent *c);

} // namespace platform::detail::ical
