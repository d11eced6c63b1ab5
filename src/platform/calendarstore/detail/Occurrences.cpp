// Occurrences of repeating events: a series expanded into the occurrences a range holds,
// one occurrence found by its original start, and the edits that split or end a series.
#include "platform/calendarstore/detail/Occurrences.h"

#include "platform/calendarstore/detail/CalValues.h"

#include <QSet>

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

namespace platform::detail {

using namespace ical;

namespace {

// The steps one rule may take in one expansion: calls of libical's iterator, or candidate
// times of a rule finer than a day. A rule that needs more is reported and expanded no further.
constexpr int kMaxSteps = 100000;
// Without a listing's budget, one series is expanded this far at most.
constexpr int kMaxOccurrences = 100000;

// EXDATE dates exclude a whole day, date-times one instant: both looked up, never scanned.
struct Exclusions
{
    QSet<QDate> days;
    QSet<qint64> instants;

    bool contains(const QDateTime &start) const
    {
        return days.contains(start.date()) || instants.contains(start.toMSecsSinceEpoch());
    }
};

Exclusions exclusionsOf(icalcomponent *master)
{
    Exclusions out;
    // An all-day series has days only: a date-time excludes the day it falls on.
    icalproperty *dtstart = icalcomponent_get_first_property(master, ICAL_DTSTART_PROPERTY);
    const bool allDay = dtstart && icalproperty_get_dtstart(dtstart).is_date;
    for (icalproperty *p : properties(master, ICAL_EXDATE_PROPERTY))
        if (TimeRead t = timeOf(p, calendarOf(master), nullptr); t.value.isValid()) {
            if (t.date || allDay)
                out.days.insert(t.value.date());
            else
                out.instants.insert(t.value.toMSecsSinceEpoch());
        }
    return out;
}

QString ruleText(icalproperty *p)
{
    return text(icalproperty_get_value_as_string(p));
}

// ---- Rules finer than a day ---------------------------------------------------------------
// libical steps them second by second (minute, hour) through every day they leave out, inside
// one call and up to the year 2582, and loses their step when entered late: they are
// expanded here, on the wall clock of their start as libical does, skipping whole days,
// hours and minutes that cannot match.

bool hasData(const short *by)
{
    return by[0] != ICAL_RECURRENCE_ARRAY_MAX;
}

// A part that limits: no values let everything through; values are compared as libical does.
bool passes(const short *by, int v)
{
    if (!hasData(by))
        return true;
    for (int i = 0; by[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i)
        if (by[i] == v)
            return true;
    return false;
}

// A part that expands: its values in order, or the start's own.
QList<int> expansion(const short *by, int own)
{
    QList<int> out;
    for (int i = 0; by[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i)
        out.append(by[i]);
    if (out.isEmpty())
        out.append(own);
    std::sort(out.begin(), out.end());
    return out;
}

// icaltime_day_of_week's numbering: 1 is Sunday.
int icalWeekday(const QDate &d)
{
    return d.dayOfWeek() % 7 + 1;
}

// libical's week number, counted from the rule's first day of the week.
int weekNumber(const QDate &d, int weekStart)
{
    const auto weeksIn = [](int year) {
        const int dow = icalWeekday(QDate(year, 1, 1));
        return 52 + (dow == 5 || (dow == 4 && QDate::isLeapYear(year)));
    };
    int dow = icalWeekday(d) - (weekStart - 1);
    if (dow <= 0)
        dow += 7;
    const int week = (d.dayOfYear() - dow + 10) / 7;
    if (week < 1)
        return weeksIn(d.year() - 1);
    return week > weeksIn(d.year()) ? 1 : week;
}

bool dayMatches(const icalrecurrencetype &r, const QDate &d)
{
    return passes(r.by_month, d.month()) && passes(r.by_month_day, d.day()) && passes(r.by_year_day, d.dayOfYear())
           && passes(r.by_day, icalWeekday(d)) && (!hasData(r.by_week_no) || passes(r.by_week_no, weekNumber(d, r.week_start)));
}

qint64 floorDiv(qint64 a, qint64 b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

qint64 ceilDiv(qint64 a, qint64 b)
{
    return -floorDiv(-a, b);
}

// Wall-clock times as seconds, counted as if they were UTC.
qint64 wallSeconds(const icaltimetype &t)
{
    return QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second), Qt::UTC).toSecsSinceEpoch();
}

icaltimetype wallTime(qint64 secs, const icaltimetype &like)
{
    const QDateTime w = QDateTime::fromSecsSinceEpoch(secs, Qt::UTC);
    icaltimetype t = like;
    t.year = w.date().year();
    t.month = w.date().month();
    t.day = w.date().day();
    t.hour = w.time().hour();
    t.minute = w.time().minute();
    t.second = w.time().second();
    t.is_date = 0;
    return t;
}

struct RuleWalk
{
    icalcomponent *cal = nullptr;
    QByteArray tzid;
    bool utc = false;
    QDateTime to;
    QDateTime keepFrom; // earlier starts end before the range: passed over, not kept
    QDateTime until; // invalid: none
    qsizetype cap = kMaxOccurrences; // starts this rule may add
    int steps = 0;
    bool outOfSteps = false;
    bool capped = false;
    QList<QDateTime> starts;

    // Adds the start at wall time \a next; false once the walk is over.
    bool add(icaltimetype next)
    {
        next.zone = utc ? utcZone() : nullptr;
        const QDateTime q = toQt(next, tzid, cal, nullptr).value;
        if (!q.isValid() || (to.isValid() && q >= to) || (until.isValid() && q > until))
            return false;
        if (keepFrom.isValid() && q < keepFrom)
            return true;
        if (starts.size() >= cap) {
            capped = true;
            return false;
        }
        starts.append(q);
        return true;
    }
};

// The starts of a rule finer than a day from \a start (a wall time), entered at \a from
// (a wall time; 0: from the start) when its count allows.
void walkFine(const icalrecurrencetype &r, const icaltimetype &start, qint64 from, RuleWalk &walk)
{
    const qint64 unit = r.freq == ICAL_SECONDLY_RECURRENCE ? 1 : r.freq == ICAL_MINUTELY_RECURRENCE ? 60 : 3600;
    const qint64 step = unit * std::max<qint64>(1, r.interval);
    const qint64 s0 = wallSeconds(start);
    const bool plain = !hasData(r.by_second) && !hasData(r.by_minute) && !hasData(r.by_hour) && !hasData(r.by_day)
                       && !hasData(r.by_month_day) && !hasData(r.by_year_day) && !hasData(r.by_week_no)
                       && !hasData(r.by_month);
    // A count is kept by walking from the start, unless every step is an occurrence.
    qint64 k = (r.count == 0 || plain) && from > s0 ? std::max<qint64>(0, floorDiv(from - s0, step) - 1) : 0;
    qint64 counted = plain ? k : 0;
    // Past its end in wall time (zones differ by at most a day) the walk is over.
    const qint64 limit = walk.to.isValid() ? walk.to.toSecsSinceEpoch() + walk.to.offsetFromUtc() + 2 * 86400
                                           : std::numeric_limits<qint64>::max();
    const QList<int> seconds = expansion(r.by_second, start.second);
    const QList<int> minutes = expansion(r.by_minute, start.minute);
    const auto next = [&](qint64 boundary) { k = std::max(k + 1, ceilDiv(boundary - s0, step)); };
    while (true) {
        if (++walk.steps > kMaxSteps) {
            walk.outOfSteps = true;
            return;
        }
        const qint64 t = s0 + k * step;
        if (t > limit || t < s0)
            return;
        const qint64 day = floorDiv(t, 86400) * 86400;
        const QDate date = QDateTime::fromSecsSinceEpoch(day, Qt::UTC).date();
        if (!dayMatches(r, date)) {
            next(day + 86400);
            continue;
        }
        const qint64 hour = floorDiv(t, 3600) * 3600;
        if (!passes(r.by_hour, int((t - day) / 3600))) {
            next(hour + 3600);
            continue;
        }
        const qint64 minute = floorDiv(t, 60) * 60;
        if (r.freq != ICAL_HOURLY_RECURRENCE && !passes(r.by_minute, int((t - hour) / 60))) {
            next(minute + 60);
            continue;
        }
        QList<qint64> found;
        if (r.freq == ICAL_SECONDLY_RECURRENCE) {
            if (passes(r.by_second, int(t - minute)))
                found.append(t);
        } else if (r.freq == ICAL_MINUTELY_RECURRENCE) {
            for (int sec : seconds)
                found.append(minute + sec);
        } else {
            for (int min : minutes)
                for (int sec : seconds)
                    found.append(hour + min * 60 + sec);
        }
        for (qint64 f : found) {
            if (f < s0)
                continue;
            if (r.count > 0 && ++counted > r.count)
                return;
            if (!walk.add(wallTime(f, start)))
                return;
        }
        ++k;
    }
}

// The starts of a rule of a day or coarser, as libical's iterator gives them.
void walkIcal(icalrecur_iterator *it, RuleWalk &walk, int *ruleCount)
{
    for (icaltimetype next = icalrecur_iterator_next(it); !icaltime_is_null_time(next);
         next = icalrecur_iterator_next(it)) {
        if (++walk.steps > kMaxSteps) {
            walk.outOfSteps = true;
            return;
        }
        const qsizetype before = walk.starts.size();
        if (!walk.add(next))
            return;
        *ruleCount += int(walk.starts.size() - before);
    }
}

bool isFine(const icalrecurrencetype &r)
{
    return r.freq == ICAL_SECONDLY_RECURRENCE || r.freq == ICAL_MINUTELY_RECURRENCE || r.freq == ICAL_HOURLY_RECURRENCE;
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

Expansion seriesStarts(icalcomponent *master, const QDateTime &to, QStringList *problems, bool keepExcluded,
                       const QDateTime &from, ListingBudget *budget)
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
    const auto problem = [&](const QString &line) {
        if (problems && !problems->contains(line))
            problems->append(line);
    };
    // \a from in the start's form: a date, a time on its zone's clock, or a floating time.
    icaltimetype skip = icaltime_null_time();
    if (from.isValid()) {
        if (start.is_date)
            skip = icalDate(from.toLocalTime().date());
        else if (start.zone)
            skip = icaltime_from_timet_with_zone(time_t(from.toSecsSinceEpoch()), 0, start.zone);
        else
            skip = icalWall(from.toLocalTime());
    }
    bool capped = false;
    for (icalproperty *p : properties(master, ICAL_RRULE_PROPERTY)) {
        const icalrecurrencetype rule = icalproperty_get_rrule(p);
        if (rule.freq == ICAL_NO_RECURRENCE)
            continue;
        RuleWalk walk;
        walk.cal = cal;
        walk.tzid = tzid;
        walk.utc = utc;
        walk.to = to;
        // \a from lies an hour before the earliest start whose occurrence reaches the range
        // (a clock set back repeats an hour).
        walk.keepFrom = from.isValid() ? from.addSecs(3600) : QDateTime();
        if (budget)
            walk.cap = budget->left - out.starts.size();
        const bool fine = isFine(rule) && !start.is_date;
        if (fine && !icaltime_is_null_time(rule.until)) {
            // libical keeps the end of its own walks; this one keeps it here.
            icaltimetype until = rule.until;
            const bool untilUtc = icaltime_is_utc(until) && !until.is_date;
            if (until.is_date) {
                until.is_date = 0;
                until.hour = 23;
                until.minute = until.second = 59;
            }
            until.zone = untilUtc ? utcZone() : nullptr;
            walk.until = toQt(until, untilUtc ? QByteArray() : tzid, cal, nullptr).value;
        }
        if (fine) {
            walkFine(rule, start, from.isValid() ? wallSeconds(skip) : 0, walk);
            if (walk.starts.isEmpty() && !walk.outOfSteps && !from.isValid() && problems) {
                // Nothing before the end asked for: make sure the rule matches at all.
                RuleWalk probe = walk;
                probe.to = {};
                probe.keepFrom = {};
                probe.cap = 1;
                probe.steps = 0;
                walkFine(rule, start, 0, probe);
                walk.outOfSteps = probe.outOfSteps;
            }
            out.ruleCountBefore += int(walk.starts.size());
        } else {
            icalrecur_iterator *it = icalrecur_iterator_new(rule, start);
            if (!it) {
                problem(u"repeat rule “%1” cannot be used"_s.arg(ruleText(p)));
                continue;
            }
            if (from.isValid() && rule.count == 0) {
                // A long series is entered near the range rather than walked from its start.
                if (icaltime_compare(skip, start) > 0 && !icalrecur_iterator_set_start(it, skip)) {
                    icalrecur_iterator_free(it);
                    it = icalrecur_iterator_new(rule, start);
                }
            }
            walkIcal(it, walk, &out.ruleCountBefore);
            icalrecur_iterator_free(it);
        }
        capped = capped || walk.capped;
        if (walk.outOfSteps && walk.starts.isEmpty() && !from.isValid())
            problem(u"repeat rule “%1” finds no occurrence within %2 steps; it is not expanded"_s.arg(ruleText(p))
                        .arg(kMaxSteps));
        else if (walk.outOfSteps)
            problem(u"repeat rule “%1” expanded only %2 steps far"_s.arg(ruleText(p)).arg(kMaxSteps));
        if (walk.capped && budget)
            budget->cut = true;
        else if (walk.capped)
            problem(u"repeat rule “%1” expanded to its first %2 occurrences only"_s.arg(ruleText(p))
                        .arg(kMaxOccurrences));
        out.starts += walk.starts;
    }
    for (icalproperty *p : properties(master, ICAL_RDATE_PROPERTY))
        if (TimeRead t = timeOf(p, cal, nullptr); t.value.isValid() && (!to.isValid() || t.value < to))
            out.starts.append(t.value);
    if (out.starts.isEmpty() && !capped) {
        // A rule that cannot be used leaves the event as it stands.
        if (TimeRead t = timeOf(dtstart, cal, nullptr); t.value.isValid() && (!to.isValid() || t.value < to))
            out.starts.append(t.value);
    }
    std::sort(out.starts.begin(), out.starts.end());
    out.starts.erase(std::unique(out.starts.begin(), out.starts.end()), out.starts.end());
    if (!keepExcluded) {
        const Exclusions excluded = exclusionsOf(master);
        if (!excluded.days.isEmpty() || !excluded.instants.isEmpty())
            out.starts.removeIf([&](const QDateTime &s) { return excluded.contains(s); });
    }
    if (budget)
        budget->left = std::max<qsizetype>(0, budget->left - out.starts.size());
    return out;
}

QDateTime recurrenceIdOf(icalcomponent *c)
{
    return timeOf(icalcomponent_get_first_property(c, ICAL_RECURRENCEID_PROPERTY), calendarOf(c), nullptr).value;
}

// ---- Occurrences of an event ----------------------------------------------------------------

CalEvent occurrenceOf(const CalEvent &base, const QDateTime &start, const QDateTime &end)
{
    CalEvent occurrence = base;
    CalValues::set(occurrence, kStart, start);
    CalValues::set(occurrence, kEnd, end);
    CalItemData &data = CalValues::of(occurrence);
    data.base = data.values;
    data.occurrence = start;
    return occurrence;
}

QList<CalEvent> expand(icalcomponent *root, const Origin &origin, const QString &uid, const QDateTime &from,
                       const QDateTime &to, QStringList *problems)
{
    return expand(componentsOf(root, uid), origin, from, to, problems, nullptr);
}

QList<CalEvent> expand(const std::vector<icalcomponent *> &comps, const Origin &origin, const QDateTime &from,
                       const QDateTime &to, QStringList *problems, ListingBudget *budget)
{
    QList<CalEvent> out;
    icalcomponent *master = masterOf(comps);
    QList<std::pair<QDateTime, icalcomponent *>> overrides;
    QSet<qint64> detachedStarts;
    for (icalcomponent *c : comps)
        if (c != master && icalcomponent_isa(c) == ICAL_VEVENT_COMPONENT) {
            overrides.append({recurrenceIdOf(c), c});
            if (overrides.last().first.isValid())
                detachedStarts.insert(overrides.last().first.toMSecsSinceEpoch());
        }
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
            for (const QDateTime &s : seriesStarts(master, to, problems, false, skipTo, budget).starts) {
                if (detachedStarts.contains(s.toMSecsSinceEpoch()))
                    continue;
                const QDateTime e = base.isAllDay() ? s.addDays(days) : s.addSecs(secs);
                if (!overlaps(s, e, from, to))
                    continue;
                out.append(occurrenceOf(base, s, e));
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
