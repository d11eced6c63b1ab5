// The iCalendar mapping: an item's fields to and from its component, alarms, attendees and
// repeat rules included; what the file holds beyond them is kept.
#include "platform/calendarstore/detail/ICalendarMapping.h"

#include "platform/calendarstore/detail/CalValues.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace platform::detail {

using namespace ical;

namespace ics {

namespace {

QString stripMailto(QString s)
{
    if (s.startsWith(u"mailto:"_s, Qt::CaseInsensitive))
        s.remove(0, 7);
    return s;
}

CalAlarm alarmFrom(icalcomponent *a, icalcomponent *cal)
{
    CalAlarm alarm;
    CalAlarmData &ad = CalValues::of(alarm);
    ad.action = textOf(a, ICAL_ACTION_PROPERTY);
    if (icalproperty *t = icalcomponent_get_first_property(a, ICAL_TRIGGER_PROPERTY)) {
        const icaltriggertype trigger = icalproperty_get_trigger(t);
        if (!icaltime_is_null_time(trigger.time))
            ad.absoluteTrigger = toQt(trigger.time, tzidOf(t), cal, nullptr).value;
        else
            ad.relativeTrigger = icaldurationtype_as_int(trigger.duration);
    }
    if (ad.action == kCalAlarmActionEmail)
        if (icalproperty *p = icalcomponent_get_first_property(a, ICAL_ATTENDEE_PROPERTY))
            ad.emailAddress = stripMailto(text(icalproperty_get_attendee(p)));
    if (icalproperty *p = icalcomponent_get_first_property(a, ICAL_ATTACH_PROPERTY)) {
        icalattach *attach = icalproperty_get_attach(p);
        const QString where = attach && icalattach_get_is_url(attach) ? text(icalattach_get_url(attach)) : QString();
        if (ad.action == kCalAlarmActionAudio)
            ad.sound = where;
        else if (ad.action == kCalAlarmActionProcedure)
            ad.url = QUrl(where);
    }
    ad.source = asIcal(a);
    return alarm;
}

void setAttach(icalcomponent *a, const QString &where)
{
    removeProperties(a, ICAL_ATTACH_PROPERTY);
    if (where.isEmpty())
        return;
    const QByteArray utf8 = where.toUtf8();
    icalattach *attach = icalattach_new_from_url(utf8.constData());
    if (!attach)
        return;
    icalcomponent_add_property(a, icalproperty_new_attach(attach));
    icalattach_unref(attach);
}

// The alarm's component: the one it was read from with the changed fields rewritten,
// or a new one.
icalcomponent *alarmComponent(const CalAlarm &alarm, const QString &title, icalcomponent *cal)
{
    const CalAlarmData &ad = CalValues::of(alarm);
    icalcomponent *a = nullptr;
    CalAlarm was;
    if (!ad.source.isEmpty()) {
        a = icalcomponent_new_from_string(ad.source.constData());
        if (a && icalcomponent_isa(a) != ICAL_VALARM_COMPONENT) {
            icalcomponent_free(a);
            a = nullptr;
        }
        if (a)
            was = alarmFrom(a, cal);
    }
    CalAlarmData &wd = CalValues::of(was);
    if (!a) {
        a = icalcomponent_new_valarm();
        wd.action.clear();
        wd.relativeTrigger = -1e300; // forces the trigger to be written
    }
    if (wd.action != ad.action) {
        removeProperties(a, ICAL_ACTION_PROPERTY);
        const QByteArray line = "ACTION:" + ad.action.toUtf8();
        icalproperty *p = icalproperty_new_from_string(line.constData());
        if (!p) {
            p = icalproperty_new_x(ad.action.toUtf8().constData());
            icalproperty_set_x_name(p, "ACTION");
        }
        icalcomponent_add_property(a, p);
    }
    const bool triggerSame = wd.absoluteTrigger.isValid() == ad.absoluteTrigger.isValid()
                             && (ad.absoluteTrigger.isValid()
                                     ? wd.absoluteTrigger == ad.absoluteTrigger
                                     : wd.relativeTrigger == ad.relativeTrigger);
    if (!triggerSame) {
        removeProperties(a, ICAL_TRIGGER_PROPERTY);
        icaltriggertype trigger;
        if (ad.absoluteTrigger.isValid()) {
            trigger.time = icalWall(ad.absoluteTrigger.toUTC());
            trigger.time.zone = utcZone();
            trigger.duration = icaldurationtype_null_duration();
        } else {
            trigger = icaltriggertype_from_int(int(ad.relativeTrigger));
        }
        icalproperty *p = icalproperty_new_trigger(trigger);
        if (ad.absoluteTrigger.isValid())
            icalproperty_add_parameter(p, icalparameter_new_value(ICAL_VALUE_DATETIME));
        icalcomponent_add_property(a, p);
    }
    if (ad.action == kCalAlarmActionEmail && wd.emailAddress != ad.emailAddress) {
        removeProperties(a, ICAL_ATTENDEE_PROPERTY);
        if (!ad.emailAddress.isEmpty()) {
            const QByteArray to = "mailto:" + ad.emailAddress.toUtf8();
            icalcomponent_add_property(a, icalproperty_new_attendee(to.constData()));
        }
    }
    if (ad.action == kCalAlarmActionAudio && (wd.sound != ad.sound || wd.action != ad.action))
        setAttach(a, ad.sound);
    if (ad.action == kCalAlarmActionProcedure && (wd.url != ad.url || wd.action != ad.action))
        setAttach(a, ad.url.toString(QUrl::FullyEncoded));
    // What the format requires of each kind.
    const bool needsText = ad.action == kCalAlarmActionDisplay || ad.action == kCalAlarmActionEmail;
    if (needsText && !icalcomponent_get_first_property(a, ICAL_DESCRIPTION_PROPERTY)) {
        const QByteArray d = (title.isEmpty() ? u"Reminder"_s : title).toUtf8();
        icalcomponent_add_property(a, icalproperty_new_description(d.constData()));
    }
    if (ad.action == kCalAlarmActionEmail && !icalcomponent_get_first_property(a, ICAL_SUMMARY_PROPERTY)) {
        const QByteArray s = (title.isEmpty() ? u"Reminder"_s : title).toUtf8();
        icalcomponent_add_property(a, icalproperty_new_summary(s.constData()));
    }
    return a;
}

CalAttendee attendeeFrom(icalproperty *p)
{
    CalAttendee a;
    CalAttendeeData &ad = CalValues::of(a);
    ad.address = QUrl(text(icalproperty_get_attendee(p)));
    if (icalparameter *cn = icalproperty_get_first_parameter(p, ICAL_CN_PARAMETER))
        ad.commonName = text(icalparameter_get_cn(cn));
    ad.status = text(icalproperty_get_parameter_as_string(p, "PARTSTAT"));
    ad.source = asIcal(p);
    return a;
}

icalproperty *attendeeProperty(const CalAttendee &a)
{
    const CalAttendeeData &ad = CalValues::of(a);
    icalproperty *p = ad.source.isEmpty() ? nullptr : icalproperty_new_from_string(ad.source.constData());
    if (p && icalproperty_isa(p) != ICAL_ATTENDEE_PROPERTY) {
        icalproperty_free(p);
        p = nullptr;
    }
    const CalAttendee was = p ? attendeeFrom(p) : CalAttendee();
    const CalAttendeeData &wd = CalValues::of(was);
    const QByteArray address = ad.address.toString(QUrl::FullyEncoded).toUtf8();
    if (!p)
        p = icalproperty_new_attendee(address.constData());
    else if (wd.address != ad.address)
        icalproperty_set_attendee(p, address.constData());
    if (!p)
        return nullptr;
    if (wd.commonName != ad.commonName || wd.source.isEmpty()) {
        icalproperty_remove_parameter_by_kind(p, ICAL_CN_PARAMETER);
        if (!ad.commonName.isEmpty())
            icalproperty_add_parameter(p, icalparameter_new_cn(ad.commonName.toUtf8().constData()));
    }
    if (wd.status != ad.status || wd.source.isEmpty()) {
        icalproperty_remove_parameter_by_name(p, "PARTSTAT");
        if (!ad.status.isEmpty())
            icalproperty_set_parameter_from_string(p, "PARTSTAT", ad.status.toUtf8().constData());
    }
    return p;
}

std::optional<CalRecurrenceRule> ruleFrom(icalcomponent *c, icalcomponent *cal)
{
    icalproperty *p = icalcomponent_get_first_property(c, ICAL_RRULE_PROPERTY);
    if (!p)
        return std::nullopt;
    const icalrecurrencetype r = icalproperty_get_rrule(p);
    CalRecurrenceRule rule;
    CalRecurrenceRuleData &rd = CalValues::of(rule);
    switch (r.freq) {
    case ICAL_DAILY_RECURRENCE: rd.type = CalRecurrenceRule::Daily; break;
    case ICAL_WEEKLY_RECURRENCE: rd.type = CalRecurrenceRule::Weekly; break;
    case ICAL_MONTHLY_RECURRENCE: rd.type = CalRecurrenceRule::Monthly; break;
    case ICAL_YEARLY_RECURRENCE: rd.type = CalRecurrenceRule::Yearly; break;
    default: rd.type = CalRecurrenceRule::Other; break;
    }
    rd.interval = std::max<int>(1, r.interval);
    if (!icaltime_is_null_time(r.until)) {
        QDateTime until = toQt(r.until, {}, cal, nullptr).value;
        // An all-day series ends on a day, as it is written back, even where its file gives a time.
        const icalproperty *start = icalcomponent_get_first_property(c, ICAL_DTSTART_PROPERTY);
        if (start && icalproperty_get_dtstart(start).is_date && until.isValid())
            until = QDateTime(until.date(), QTime(0, 0));
        rd.end = CalRecurrenceEnd::endWithEndDate(until);
    }
    else if (r.count > 0)
        rd.end = CalRecurrenceEnd::endWithOccurrenceCount(r.count);
    rd.text = text(icalproperty_get_value_as_string(p));
    return rule;
}

// The rule written for an event whose start is written as \a start.
icalrecurrencetype ruleValue(const CalRecurrenceRule &rule, const TimeWrite &start)
{
    const CalRecurrenceRuleData &rd = CalValues::of(rule);
    icalrecurrencetype r;
    icalrecurrencetype_clear(&r);
    if (!rd.text.isEmpty())
        r = icalrecurrencetype_from_string(rd.text.toUtf8().constData());
    if (r.freq == ICAL_NO_RECURRENCE)
        icalrecurrencetype_clear(&r);
    switch (rd.type) {
    case CalRecurrenceRule::Daily: r.freq = ICAL_DAILY_RECURRENCE; break;
    case CalRecurrenceRule::Weekly: r.freq = ICAL_WEEKLY_RECURRENCE; break;
    case CalRecurrenceRule::Monthly: r.freq = ICAL_MONTHLY_RECURRENCE; break;
    case CalRecurrenceRule::Yearly: r.freq = ICAL_YEARLY_RECURRENCE; break;
    case CalRecurrenceRule::Other: break;
    }
    r.interval = short(std::clamp(rd.interval, 1, 32767));
    r.until = icaltime_null_time();
    r.count = 0;
    if (rd.end && rd.end->usesEndDate() && rd.end->endDate().isValid()) {
        const QDateTime until = rd.end->endDate();
        if (start.time.is_date) {
            r.until = icalDate(until.date());
        } else if (start.tzid.isEmpty() && !start.time.zone) {
            r.until = icalWall(until);
        } else {
            r.until = icalWall(until.toUTC());
            r.until.zone = utcZone();
        }
    } else if (rd.end && !rd.end->usesEndDate()) {
        r.count = std::max(1, rd.end->occurrenceCount());
    }
    return r;
}

TimeWrite startWrite(icalcomponent *c)
{
    TimeWrite w;
    if (icalproperty *p = icalcomponent_get_first_property(c, ICAL_DTSTART_PROPERTY)) {
        w.time = icalproperty_get_dtstart(p);
        w.tzid = tzidOf(p);
    }
    return w;
}

void setRule(icalcomponent *c, const QVariant &value)
{
    removeProperties(c, ICAL_RRULE_PROPERTY);
    if (!value.isValid())
        return;
    icalcomponent_add_property(c, icalproperty_new_rrule(ruleValue(value.value<CalRecurrenceRule>(), startWrite(c))));
}

} // namespace

void readItem(CalCalendarItem &item, icalcomponent *c, icalcomponent *cal, QStringList *problems)
{
    CalItemData &data = CalValues::of(item);
    const bool event = icalcomponent_isa(c) == ICAL_VEVENT_COMPONENT;
    data.uid = text(icalcomponent_get_uid(c));
    data.dateStamp = timeOf(icalcomponent_get_first_property(c, ICAL_DTSTAMP_PROPERTY), cal, nullptr).value;
    QVariantMap &v = data.values;
    const QString calendarUid = v.value(kCalendarUid).toString();
    v.clear();
    data.floating.clear();
    CalValues::set(item, kCalendarUid, calendarUid.isEmpty() ? QVariant() : QVariant(calendarUid));
    auto setText = [&](const QString &key, icalproperty_kind kind) {
        if (icalcomponent_get_first_property(c, kind))
            CalValues::set(item, key, textOf(c, kind));
    };
    setText(kTitle, ICAL_SUMMARY_PROPERTY);
    setText(kNotes, ICAL_DESCRIPTION_PROPERTY);
    if (icalcomponent_get_first_property(c, ICAL_URL_PROPERTY))
        CalValues::set(item, kUrl, QUrl(textOf(c, ICAL_URL_PROPERTY)));
    QList<CalAlarm> alarms;
    for (icalcomponent *a : children(c, ICAL_VALARM_COMPONENT))
        alarms.append(alarmFrom(a, cal));
    if (!alarms.isEmpty())
        v.insert(kAlarms, QVariant::fromValue(alarms));

    if (event) {
        setText(kLocation, ICAL_LOCATION_PROPERTY);
        TimeRead start = timeOf(icalcomponent_get_first_property(c, ICAL_DTSTART_PROPERTY), cal, problems);
        if (!start.value.isValid()) {
            // Shown on a day that it names rather than nowhere: its end's, or its stamp's.
            for (icalproperty_kind kind : {ICAL_DTEND_PROPERTY, ICAL_DTSTAMP_PROPERTY, ICAL_CREATED_PROPERTY})
                if (const TimeRead t = timeOf(icalcomponent_get_first_property(c, kind), cal, nullptr);
                    !start.value.isValid() && t.value.isValid())
                    start = TimeRead{QDateTime(t.value.toLocalTime().date(), QTime(0, 0)), true, true};
            if (problems)
                problems->append(start.value.isValid()
                                     ? u"event %1 has no start: shown on %2"_s.arg(data.uid, start.value.date().toString(Qt::ISODate))
                                     : u"event %1 has no start"_s.arg(data.uid));
        }
        CalValues::set(item, kStart, start.value);
        if (start.date)
            v.insert(kAllDay, true);
        if (start.floating && !start.date)
            data.floating.insert(kStart);
        QDateTime end;
        if (icalproperty *p = icalcomponent_get_first_property(c, ICAL_DTEND_PROPERTY)) {
            const TimeRead e = timeOf(p, cal, problems);
            end = e.value;
            if (e.floating && !e.date)
                data.floating.insert(kEnd);
        } else if (icalproperty *d = icalcomponent_get_first_property(c, ICAL_DURATION_PROPERTY)) {
            const int secs = icaldurationtype_as_int(icalproperty_get_duration(d));
            end = start.date ? start.value.addDays(secs / 86400) : start.value.addSecs(secs);
        } else if (start.value.isValid()) {
            end = start.date ? start.value.addDays(1) : start.value;
        }
        if (start.value.isValid() && end.isValid() && end < start.value)
            end = start.value;
        // An end that cannot be read counts as none, as it will once written back.
        if (start.value.isValid() && !end.isValid())
            end = start.date ? start.value.addDays(1) : start.value;
        if (start.floating && !start.date && end.isValid())
            data.floating.insert(kEnd);
        CalValues::set(item, kEnd, end);
        QList<CalAttendee> attendees;
        for (icalproperty *p : properties(c, ICAL_ATTENDEE_PROPERTY))
            attendees.append(attendeeFrom(p));
        if (!attendees.isEmpty())
            v.insert(kAttendees, QVariant::fromValue(attendees));
        if (auto rule = ruleFrom(c, cal))
            v.insert(kRule, QVariant::fromValue(*rule));
    } else {
        if (icalproperty *p = icalcomponent_get_first_property(c, ICAL_PRIORITY_PROPERTY))
            if (int priority = icalproperty_get_priority(p); priority > 0 && priority <= 9)
                v.insert(kPriority, priority);
        const TimeRead due = timeOf(icalcomponent_get_first_property(c, ICAL_DUE_PROPERTY), cal, problems);
        CalValues::set(item, kDue, due.value);
        if (due.date)
            data.floating.insert(kDue + u"#date"_s);
        else if (due.floating)
            data.floating.insert(kDue);
        const TimeRead done = timeOf(icalcomponent_get_first_property(c, ICAL_COMPLETED_PROPERTY), cal, problems);
        CalValues::set(item, kCompletedDate, done.value);
        icalproperty *status = icalcomponent_get_first_property(c, ICAL_STATUS_PROPERTY);
        if (done.value.isValid() || (status && icalproperty_get_status(status) == ICAL_STATUS_COMPLETED))
            v.insert(kCompleted, true);
        data.cancelled = status && icalproperty_get_status(status) == ICAL_STATUS_CANCELLED;
    }
    data.base = v;
}

// Writes the fields named in \a keys from \a item into component \a c.
void apply(icalcomponent *c, icalcomponent *cal, const CalCalendarItem &item, QStringList keys)
{
    const CalItemData &data = CalValues::of(item);
    const QVariantMap &v = data.values;
    const bool allDay = v.value(kAllDay).toBool();
    if (keys.contains(kAllDay))
        keys << kStart << kEnd;
    // Dates first (a rule's end is written in the start's form), completion before its
    // date so that an explicit date wins.
    auto rank = [](const QString &key) {
        return key == kStart || key == kEnd ? 0 : key == kCompleted ? 1 : 2;
    };
    std::stable_sort(keys.begin(), keys.end(),
                     [&](const QString &a, const QString &b) { return rank(a) < rank(b); });
    keys.removeDuplicates();
    for (const QString &key : std::as_const(keys)) {
        const QVariant value = v.value(key);
        if (key == kTitle)
            setTextProperty(c, ICAL_SUMMARY_PROPERTY, value);
        else if (key == kNotes)
            setTextProperty(c, ICAL_DESCRIPTION_PROPERTY, value);
        else if (key == kLocation)
            setTextProperty(c, ICAL_LOCATION_PROPERTY, value);
        else if (key == kUrl)
            setTextProperty(c, ICAL_URL_PROPERTY, value);
        else if (key == kStart) {
            setTimeProperty(c, ICAL_DTSTART_PROPERTY,
                            fromQt(value.toDateTime(), allDay, data.floating.contains(kStart), cal));
        } else if (key == kEnd) {
            removeProperties(c, ICAL_DURATION_PROPERTY);
            setTimeProperty(c, ICAL_DTEND_PROPERTY,
                            fromQt(value.toDateTime(), allDay, data.floating.contains(kEnd), cal));
        } else if (key == kDue) {
            const QDateTime due = value.toDateTime();
            const bool asDate = data.floating.contains(kDue + u"#date"_s) && due.timeSpec() == Qt::LocalTime
                                && due.time() == QTime(0, 0);
            removeProperties(c, ICAL_DURATION_PROPERTY);
            setTimeProperty(c, ICAL_DUE_PROPERTY, fromQt(due, asDate, data.floating.contains(kDue), cal));
        } else if (key == kCompletedDate) {
            const QDateTime done = value.toDateTime();
            setTimeProperty(c, ICAL_COMPLETED_PROPERTY,
                            fromQt(done.isValid() ? done.toUTC() : done, false, false, cal));
        } else if (key == kCompleted) {
            icalproperty *status = icalcomponent_get_first_property(c, ICAL_STATUS_PROPERTY);
            if (value.toBool()) {
                removeProperties(c, ICAL_STATUS_PROPERTY);
                icalcomponent_add_property(c, icalproperty_new_status(ICAL_STATUS_COMPLETED));
                if (icalproperty *pc = icalcomponent_get_first_property(c, ICAL_PERCENTCOMPLETE_PROPERTY))
                    icalproperty_set_percentcomplete(pc, 100);
            } else {
                if (status && icalproperty_get_status(status) == ICAL_STATUS_COMPLETED) {
                    removeProperties(c, ICAL_STATUS_PROPERTY);
                    icalcomponent_add_property(c, icalproperty_new_status(ICAL_STATUS_NEEDSACTION));
                }
                removeProperties(c, ICAL_COMPLETED_PROPERTY);
                removeProperties(c, ICAL_PERCENTCOMPLETE_PROPERTY);
            }
        } else if (key == kPriority) {
            removeProperties(c, ICAL_PRIORITY_PROPERTY);
            if (value.toInt() > 0)
                icalcomponent_add_property(c, icalproperty_new_priority(std::clamp(value.toInt(), 1, 9)));
        } else if (key == kAlarms) {
            for (icalcomponent *a : children(c, ICAL_VALARM_COMPONENT)) {
                icalcomponent_remove_component(c, a);
                icalcomponent_free(a);
            }
            const QString title = v.value(kTitle).toString();
            for (const CalAlarm &alarm : value.value<QList<CalAlarm>>())
                icalcomponent_add_component(c, alarmComponent(alarm, title, cal));
        } else if (key == kAttendees) {
            removeProperties(c, ICAL_ATTENDEE_PROPERTY);
            for (const CalAttendee &a : value.value<QList<CalAttendee>>())
                if (icalproperty *p = attendeeProperty(a))
                    icalcomponent_add_property(c, p);
        } else if (key == kRule) {
            setRule(c, value);
        }
    }
    stampChanged(c);
}

// A new calendar holding a new component for \a item.
IcalPtr newDocument(const CalCalendarItem &item, bool event)
{
    const CalItemData &data = CalValues::of(item);
    initLibical();
    IcalPtr cal(icalcomponent_new_vcalendar());
    icalcomponent_add_property(cal.get(), icalproperty_new_version("2.0"));
    icalcomponent_add_property(cal.get(), icalproperty_new_prodid("-//ZEM AppKit//Calendar Store//EN"));
    icalcomponent *c = event ? icalcomponent_new_vevent() : icalcomponent_new_vtodo();
    icalcomponent_add_property(c, icalproperty_new_uid(data.uid.toUtf8().constData()));
    icalcomponent_add_component(cal.get(), c);
    TimeWrite now;
    now.time = icalWall(QDateTime::currentDateTimeUtc());
    now.time.zone = utcZone();
    setTimeProperty(c, ICAL_CREATED_PROPERTY, now);
    QStringList keys = data.values.keys();
    keys.removeAll(kCalendarUid);
    apply(c, cal.get(), item, keys);
    return cal;
}

} // namespace ics

namespace {

// Reads component \a c into \a item as the store hands items out: in its calendar and file,
// without changes.
void readStored(CalCalendarItem &item, icalcomponent *c, const Origin &origin, QStringList *problems)
{
    ics::readItem(item, c, calendarOf(c), problems);
    item.setCalendarUid(origin.calendarUid);
    CalItemData &data = CalValues::of(item);
    data.isNew = false;
    data.fileCalendarUid = origin.calendarUid;
    data.fileName = origin.fileName;
    data.revision = origin.bytes;
    data.revisionStamp = origin.stamp;
    data.base = data.values;
}

} // namespace

CalEvent eventFrom(icalcomponent *c, const Origin &origin, QStringList *problems)
{
    CalEvent e;
    readStored(e, c, origin, problems);
    return e;
}

std::optional<CalTask> taskIn(icalcomponent *root, const Origin &origin, const QString &uid)
{
    const std::vector<icalcomponent *> comps = componentsOf(root, uid);
    icalcomponent *master = masterOf(comps);
    if (!master && !comps.empty())
        master = comps.front();
    if (!master || icalcomponent_isa(master) != ICAL_VTODO_COMPONENT)
        return std::nullopt;
    CalTask t;
    readStored(t, master, origin, nullptr);
    return t;
}

} // namespace platform::detail
