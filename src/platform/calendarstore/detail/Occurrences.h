#pragma once
// Not installed: occurrences of repeating events: expanding a series (rules, dates,
// exclusions, detached occurrences) and the edits that split or end one.

#include "platform/calendarstore/CalendarValues.h"
#include "platform/calendarstore/detail/ICalendarMapping.h"
#include "platform/calendarstore/detail/Ical.h"

#include <optional>

namespace platform::detail {

bool isRecurring(icalcomponent *master);
/** Whether [start, end) overlaps [from, to); an invalid bound is open. */
bool overlaps(const QDateTime &start, const QDateTime &end, const QDateTime &from, const QDateTime &to);
QDateTime recurrenceIdOf(icalcomponent *c);

struct Expansion
{
    QList<QDateTime> starts; // excluded dates removed unless asked to keep them
    int ruleCountBefore = 0; // rule instances before the limit (for splitting COUNT rules)
};

/** How many occurrences one listing may still expand; a listing past it is cut, and says so. */
struct ListingBudget
{
    static constexpr qsizetype kMaxOccurrences = 50000;
    qsizetype left = kMaxOccurrences;
    bool cut = false;
};

/** The starts of a series before \a to (every one when \a to is invalid, up to a cap).
    With \a from (an hour before the earliest start wanted, for clocks set back), starts
    before that hour's end are passed over, and rules may be entered there. Each rule gets a
    bounded number of steps; \a budget, when given, bounds the starts of a whole listing. */
Expansion seriesStarts(icalcomponent *master, const QDateTime &to, QStringList *problems, bool keepExcluded = false,
                       const QDateTime &from = {}, ListingBudget *budget = nullptr);

/** The occurrence of series \a base from \a start to \a end, as a listing hands it out. */
CalEvent occurrenceOf(const CalEvent &base, const QDateTime &start, const QDateTime &end);
/** Every occurrence of event \a uid overlapping [from, to), detached ones included. */
QList<CalEvent> expand(icalcomponent *root, const Origin &origin, const QString &uid, const QDateTime &from,
                       const QDateTime &to, QStringList *problems);
/** The same for the components \a comps of one event, found already. */
QList<CalEvent> expand(const std::vector<icalcomponent *> &comps, const Origin &origin, const QDateTime &from,
                       const QDateTime &to, QStringList *problems, ListingBudget *budget);
/** The occurrence of event \a uid that started at \a occurrence (invalid: the first one). */
std::optional<CalEvent> eventIn(icalcomponent *root, const Origin &origin, const QString &uid,
                                const QDateTime &occurrence);

// ---- Editing a series -------------------------------------------------------------------

/** \a t written in the form of the master's start (its zone, or a date, or floating), as
    RECURRENCE-ID and EXDATE values must be. */
ical::TimeWrite likeStart(icalcomponent *master, const QDateTime &t);
/** The detached occurrence of \a occurrence among \a comps, or null. */
icalcomponent *overrideFor(const std::vector<icalcomponent *> &comps, const QDateTime &occurrence);
/** Ends the series before \a occurrence. */
void endSeriesBefore(icalcomponent *master, const QDateTime &occurrence);

} // namespace platform::detail
