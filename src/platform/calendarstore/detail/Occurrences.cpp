// Occurrences of repeating events: a series expanded into the occurrences a range holds,
// one occurrence found by its original start, and the edits that split or end a series.
#include "platform/calendarstore/detail/Occurrences.h"

#include "platform/calendarstore/detail/CalValues.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace platform::detail {

using namespace ical;

namespace {

// A rule that never ends is expanded this far at most, so that no query runs away.
constexpr int kMaxOccurrences = 100000;

// An excluded start: EXDATE dates exclude a whole day, date-times one instant.
bool isExcluded(const QDateTime &start, const QList<TimeRead> &exdates)
{
    for (const TimeRead &x : exdates)
        if (x.date ? x.value.date() == start.date() : x.value == start)
            return true;
    return false;
}

QList<TimeRead> exdatesOf(icalcomponent *master)
{
    QList<TimeRead> out;
    for (icalproperty *p : properties(master, ICAL_EXDATE_PROPERTY))
        if (TimeRead t = timeOf(p, calendarOf(master), nullptr); t.value.isValid())
            out.append(t);
    return out;
}

} // namespace

bool isRecurring(icalcomponent *master)
{
    if (!master)
        return false;
    if (icalcomponent_get_first_property(master, ICAL_RDATE_PROPERTY))
        return true;
    icalproperty *p = icalcomponent_get_first_property(master, ICAL_RRULE_PROPERTY);
    return p && icalproperty_get_rrule(p).freq != ICAL_NO_RECURRENCE;
}

bool overlaps(const QDateTime &start, const QDateTime &end, const QDateTime &from, const QDateTime &to)
{
    if (to.isValid() && start >= to)
        return false;
    if (from.isValid() && !(end > from || (start == end && start >= from)))
        return false;
    return true;
}

// The starts of a series before \a to (every one when \a to is invalid, up to the cap).
// With \a from, rules without a count may skip the starts before it.
Expansion seriesStarts(icalcomponent *master, const QDateTime &to, QStringList *problems, bool keepExcluded,
                       const QDateTime &from)
{
    Expansion out;
    icalcomponent *cal = calendarOf(master);
    icalproperty *dtstart = icalcomponent_get_first_property(master, ICAL_DTSTART_PROPERTY);
    if (!dtstart)
        return out;
    icaltimetype start = icalproperty_get_dtstart(dtstart);
    const QByteArray tzid = tzidOf(dtstart);
    const bool utc = icaltime_is_utc(start) || isUtcId(tzid);
    start.zone = utc ? utcZone() : nullptr;
    if (icaltimezone *zone = zoneFor(cal, tzid); zone && !utc)
        start.zone = zone;
    for (icalproperty *p : properties(master, ICAL_RRULE_PROPERTY)) {
        const icalrecurrencetype rule = icalproperty_get_rrule(p);
        if (rule.freq == ICAL_NO_RECURRENCE)
            continue;
        icalrecur_iterator *it = icalrecur_iterator_new(rule, start);
        if (!it) {
            if (problems)
                problems->append(u"repeat rule “%1” cannot be used"_s.arg(text(icalproperty_get_value_as_string(p))));
            continue;
        }
        if (from.isValid() && rule.count == 0) {
            // A long series is entered near the range rather than walked from its start.
            icaltimetype skip;
            if (start.is_date)
                skip = icalDate(from.toLocalTime().date());
            else if (start.zone)
                skip = icaltime_from_timet_with_zone(time_t(from.toSecsSinceEpoch()), 0, start.zone);
            else
                skip = icalWall(from.toLocalTime());
            if (icaltime_compare(skip, start) > 0 && !icalrecur_iterator_set_start(it, skip)) {
                icalrecur_iterator_free(it);
                it = icalrecur_iterator_new(rule, start);
            }
        }
        int n = 0;
        for (icaltimetype next = icalrecur_iterator_next(it); !icaltime_is_null_time(next);
             next = icalrecur_iterator_next(it)) {
            if (++n > kMaxOccurrences) {
                if (problems)
                    problems->append(u"repeat rule expanded to its first %1 occurrences only"_s.arg(kMaxOccurrences));
                break;
            }
            next.zone = utc ? utcZone() : nullptr;
            const QDateTime q = toQt(next, tzid, cal, nullptr).value;
            if (!q.isValid())
                break;
            if (to.isValid() && q >= to)
                break;
            out.starts.append(q);
            ++out.ruleCountBefore;
        }
        icalrecur_iterator_free(it);
    }
    for (icalproperty *p : properties(master, ICAL_RDATE_PROPERTY))
        if (TimeRead t = timeOf(p, cal, nullptr); t.value.isValid() && (!to.isValid() || t.value < to))
            out.starts.append(t.value);
    if (out.starts.isEmpty()) {
        // A rule libical cannot use leaves the event as it stands.
        if (TimeRead t = timeOf(dtstart, cal, nullptr); t.value.isValid() && (!to.isValid() || t.value < to))
            out.starts.append(t.value);
    }
    std::sort(out.starts.begin(), out.starts.end());
    out.starts.erase(std::unique(out.starts.begin(), out.starts.end()), out.starts.end());
    if (!keepExcluded) {
        const QList<TimeRead> exdates = exdatesOf(master);
        out.starts.removeIf([&](const QDateTime &s) { return isExcluded(s, exdates); });
    }
    return out;
}

QDateTime recurrenceIdOf(icalcomponent *c)
{
    return timeOf(icalcomponent_get_first_property(c, ICAL_RECURRENCEID_PROPERTY), calendarOf(c), nullptr).value;
}

// ---- Occurrences of an event ----------------------------------------------------------------

QList<CalEvent> expand(icalcomponent *root, const Origin &origin, const QString &uid, const QDateTime &from,
                       const QDateTime &to, QStringList *problems)
{
    QList<CalEvent> out;
    const std::vector<icalcomponent *> comps = componentsOf(root, uid);
    icalcomponent *master = masterOf(comps);
    QList<std::pair<QDateTime, icalcomponent *>> overrides;
    for (icalcomponent *c : comps)
        if (c != master && icalcomponent_isa(c) == ICAL_VEVENT_COMPONENT)
            overrides.append({recurrenceIdOf(c), c});
    QVariant rule;
    if (master && icalcomponent_isa(master) == ICAL_VEVENT_COMPONENT) {
        CalEvent base = eventFrom(master, origin, problems);
        rule = CalValues::of(base).values.value(kRule);
        const QDateTime start = base.startDate();
        if (isRecurring(master) && start.isValid()) {
            const QDateTime end = base.endDate();
            const qint64 secs = start.secsTo(end);
            const qint64 days = start.date().daysTo(end.date());
            // Occurrences that began before the range may run into it.
            const QDateTime skipTo = !from.isValid()    ? QDateTime()
                                     : base.isAllDay() ? from.addDays(-days - 2)
                                                       : from.addSecs(-secs - 3600);
            for (const QDateTime &s : seriesStarts(master, to, problems, false, skipTo).starts) {
                const bool detached = std::any_of(overrides.cbegin(), overrides.cend(),
                                                  [&](const auto &o) { return o.first == s; });
                if (detached)
                    continue;
                const QDateTime e = base.isAllDay() ? s.addDays(days) : s.addSecs(secs);
                if (!overlaps(s, e, from, to))
                    continue;
                CalEvent occurrence = base;
                CalValues::set(occurrence, kStart, s);
                CalValues::set(occurrence, kEnd, e);
                CalItemData &data = CalValues::of(occurrence);
                data.base = data.values;
                data.occurrence = s;
                out.append(occurrence);
            }
        } else if (start.isValid() && overlaps(start, base.endDate(), from, to)) {
            CalValues::of(base).occurrence = start;
            out.append(base);
        }
    }
    for (const auto &[rid, c] : overrides) {
        CalEvent e = eventFrom(c, origin, problems);
        if (!e.startDate().isValid() || !overlaps(e.startDate(), e.endDate(), from, to))
            continue;
        CalItemData &data = CalValues::of(e);
        if (rule.isValid() && !data.values.contains(kRule)) {
            // An occurrence shows its series' rule.
            data.values.insert(kRule, rule);
            data.base.insert(kRule, rule);
        }
        data.occurrence = rid.isValid() ? rid : e.startDate();
        data.detached = true;
        out.append(e);
    }
    return out;
}

std::optional<CalEvent> eventIn(icalcomponent *root, const Origin &origin, const QString &uid,
                                const QDateTime &occurrence)
{
    const std::vector<icalcomponent *> comps = componentsOf(root, uid);
    if (comps.empty() || icalcomponent_isa(comps.front()) != ICAL_VEVENT_COMPONENT)
        return std::nullopt;
    icalcomponent *master = masterOf(comps);
    QDateTime wanted = occurrence;
    if (!wanted.isValid()) {
        // The first occurrence: the master's start, or the first detached one without a master.
        wanted = master ? eventFrom(master, origin, nullptr).startDate() : recurrenceIdOf(comps.front());
        if (!wanted.isValid())
            return std::nullopt;
    }
    // Detached occurrences are found by their original start wherever they moved to.
    for (icalcomponent *c : comps) {
        if (c == master)
            continue;
        // A second component without a RECURRENCE-ID stands apart under its own start.
        const QDateTime start = eventFrom(c, origin, nullptr).startDate();
        const QDateTime rid = recurrenceIdOf(c);
        if ((rid.isValid() ? rid : start) != wanted)
            continue;
        for (const CalEvent &e : expand(root, origin, uid, start, start.addSecs(1), nullptr))
            if (e.isDetached() && e.occurrence() == wanted)
                return e;
    }
    for (const CalEvent &e : expand(root, origin, uid, wanted, wanted.addSecs(1), nullptr))
        if (!e.isDetached() && e.occurrence() == wanted)
            return e;
    return std::nullopt;
}

// ---- Editing a series -----------------------------------------------------------------------

TimeWrite likeStart(icalcomponent *master, const QDateTime &t)
{
    TimeWrite w;
    icalproperty *p = icalcomponent_get_first_property(master, ICAL_DTSTART_PROPERTY);
    if (!p || !t.isValid())
        return w;
    const icaltimetype s = icalproperty_get_dtstart(p);
    const QByteArray tzid = tzidOf(p);
    if (s.is_date) {
        w.time = icalDate(t.date());
    } else if (icaltime_is_utc(s) || isUtcId(tzid)) {
        w.time = icalWall(t.toUTC());
        w.time.zone = utcZone();
    } else if (tzid.isEmpty()) {
        w.time = icalWall(t.toLocalTime());
    } else if (icaltimezone *zone = zoneFor(calendarOf(master), tzid)) {
        w.time = icaltime_from_timet_with_zone(time_t(t.toSecsSinceEpoch()), 0, zone);
        w.time.zone = nullptr;
        w.tzid = tzid;
    } else {
        w.time = icalWall(t.toLocalTime());
        w.tzid = tzid;
    }
    return w;
}

icalcomponent *overrideFor(const std::vector<icalcomponent *> &comps, const QDateTime &occurrence)
{
    for (icalcomponent *c : comps)
        if (hasRecurrenceId(c) && recurrenceIdOf(c) == occurrence)
            return c;
    return nullptr;
}

void endSeriesBefore(icalcomponent *master, const QDateTime &occurrence)
{
    icalproperty *dtstart = icalcomponent_get_first_property(master, ICAL_DTSTART_PROPERTY);
    const icaltimetype s = dtstart ? icalproperty_get_dtstart(dtstart) : icaltime_null_time();
    const bool floating = dtstart && !s.is_date && !icaltime_is_utc(s) && tzidOf(dtstart).isEmpty();
    for (icalproperty *p : properties(master, ICAL_RRULE_PROPERTY)) {
        icalrecurrencetype r = icalproperty_get_rrule(p);
        if (s.is_date) {
            r.until = icalDate(occurrence.date().addDays(-1));
        } else if (floating) {
            r.until = icalWall(occurrence.addSecs(-1));
        } else {
            r.until = icalWall(occurrence.addSecs(-1).toUTC());
            r.until.zone = utcZone();
        }
        r.count = 0;
        icalproperty_set_rrule(p, r);
    }
    for (icalproperty *p : properties(master, ICAL_RDATE_PROPERTY))
        if (timeOf(p, calendarOf(master), nullptr).value >= occurrence) {
            icalcomponent_remove_property(master, p);
            icalproperty_free(p);
        }
}

} // namespace platform::detail
