#pragma once
// Not installed: the iCalendar mapping, which moves an item's fields to and from the
// VEVENT or VTODO component of its file, rewriting only the fields that changed.

#include "platform/calendarstore/CalendarValues.h"
#include "platform/calendarstore/detail/CalValues.h"
#include "platform/calendarstore/detail/Ical.h"

#include "foundation/detail/ZEM_F_Files.h"

#include <optional>

namespace platform::detail {

namespace ics {

/** Reads component \a c of calendar \a cal into \a item; what cannot be read goes to \a problems. */
void readItem(CalCalendarItem &item, icalcomponent *c, icalcomponent *cal, QStringList *problems);
/** Writes the fields named in \a keys from \a item into component \a c. */
void apply(icalcomponent *c, icalcomponent *cal, const CalCalendarItem &item, QStringList keys);
/** A new calendar holding a new component for \a item. */
ical::IcalPtr newDocument(const CalCalendarItem &item, bool event);

} // namespace ics

/** Where an item came from, stamped on every copy handed out. */
struct Origin
{
    QString calendarUid;
    QString fileName;
    QByteArray bytes;
    ZEM_F_Files::Stamp stamp; // the file's state, where its bytes were not read
};

/** Whether the file as \a disk read it is still the one item \a data was read from. */
inline bool unchangedSince(const Origin &disk, const CalItemData &data)
{
    return data.revision.isEmpty() ? disk.stamp == data.revisionStamp : disk.bytes == data.revision;
}

/** The event component \a c as the store hands it out. */
CalEvent eventFrom(icalcomponent *c, const Origin &origin, QStringList *problems);
/** The to-do \a uid of a parsed file. */
std::optional<CalTask> taskIn(icalcomponent *root, const Origin &origin, const QString &uid);

} // namespace platform::detail
