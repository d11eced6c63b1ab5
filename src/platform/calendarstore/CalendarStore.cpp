#include "platform/calendarstore/CalendarStore.h"

#include "platform/detail/ItemFiles.h"

#include "platform/PlatformLog.h"

#include "foundation/ZEM_F_E_Notifications.h"
#include "foundation/ZEM_F_HostDelegate.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimeZone>
#include <QUuid>

#include <libical/ical.h>

#include <algorithm>
#include <functional>
#include <vector>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace platform {

// ---- Value types ----------------------------------------------------------------------------

bool CalAlarm::operator==(const CalAlarm &o) const
{
    return m_action == o.m_action && m_emailAddress == o.m_emailAddress && m_sound == o.m_sound
           && m_url == o.m_url && m_absoluteTrigger == o.m_absoluteTrigger
           && m_absoluteTrigger.isValid() == o.m_absoluteTrigger.isValid()
           && m_relativeTrigger == o.m_relativeTrigger;
}

bool CalAttendee::operator==(const CalAttendee &o) const
{
    return m_commonName == o.m_commonName && m_address == o.m_address && m_status == o.m_status;
}

CalRecurrenceEnd CalRecurrenceEnd::endWithEndDate(const QDateTime &date)
{
    CalRecurrenceEnd end;
    end.m_usesEndDate = true;
    end.m_endDate = date;
    return end;
}

CalRecurrenceEnd CalRecurrenceEnd::endWithOccurrenceCount(int count)
{
    CalRecurrenceEnd end;
    end.m_count = count;
    return end;
}

using platform::detail::fileNameForUid;
using platform::detail::ownProcessName;
using platform::detail::ownWrites;
using platform::detail::writeFileAtomically;

namespace {

const QString kTitle = u"title"_s;
const QString kNotes = u"notes"_s;
const QString kUrl = u"url"_s;
const QString kCalendarUid = u"calendarUid"_s;
const QString kAlarms = u"alarms"_s;
const QString kStart = u"startDate"_s;
const QString kEnd = u"endDate"_s;
const QString kAllDay = u"isAllDay"_s;
const QString kLocation = u"location"_s;
const QString kAttendees = u"attendees"_s;
const QString kRule = u"recurrenceRule"_s;
const QString kPriority = u"priority"_s;
const QString kDue = u"dueDate"_s;
const QString kCompletedDate = u"completedDate"_s;
const QString kCompleted = u"isCompleted"_s;

// Dates compare by instant and by kind: a floating 09:00 is not the same value as 09:00 UTC
// even where the two happen to fall together.
bool sameValue(const QVariant &a, const QVariant &b)
{
    if (!a.isValid() || !b.isValid())
        return a.isValid() == b.isValid();
    if (a.metaType() == QMetaType::fromType<QDateTime>() && b.metaType() == QMetaType::fromType<QDateTime>()) {
        const QDateTime x = a.toDateTime(), y = b.toDateTime();
        return x == y && (x.timeSpec() == Qt::LocalTime) == (y.timeSpec() == Qt::LocalTime);
    }
    return a == b;
}

} // namespace

void CalCalendarItem::set(const QString &key, const QVariant &value)
{
    const bool empty = !value.isValid() || (value.metaType() == QMetaType::fromType<QString>() && value.toString().isNull())
                       || (value.metaType() == QMetaType::fromType<QDateTime>() && !value.toDateTime().isValid());
    if (empty)
        m_values.remove(key);
    else
        m_values.insert(key, value);
}

void CalCalendarItem::setCalendarUid(const QString &uid)
{
    set(kCalendarUid, uid.isEmpty() ? QVariant() : QVariant(uid));
}

void CalCalendarItem::setUrl(const QUrl &url)
{
    set(kUrl, url.isEmpty() ? QVariant() : QVariant(url));
}

QList<CalAlarm> CalCalendarItem::alarms() const
{
    return m_values.value(kAlarms).value<QList<CalAlarm>>();
}

void CalCalendarItem::setAlarms(const QList<CalAlarm> &alarms)
{
    set(kAlarms, alarms.isEmpty() ? QVariant() : QVariant::fromValue(alarms));
}

void CalCalendarItem::addAlarm(const CalAlarm &alarm)
{
    QList<CalAlarm> list = alarms();
    list.append(alarm);
    setAlarms(list);
}

void CalCalendarItem::removeAlarm(const CalAlarm &alarm)
{
    QList<CalAlarm> list = alarms();
    list.removeOne(alarm);
    setAlarms(list);
}

bool CalCalendarItem::hasChanges() const
{
    if (m_new)
        return true;
    QStringList keys = m_values.keys() + m_base.keys();
    for (const QString &key : keys)
        if (!sameValue(m_values.value(key), m_base.value(key)))
            return true;
    return false;
}

QList<CalAttendee> CalEvent::attendees() const
{
    return value(kAttendees).value<QList<CalAttendee>>();
}

void CalEvent::setAttendees(const QList<CalAttendee> &attendees)
{
    set(kAttendees, attendees.isEmpty() ? QVariant() : QVariant::fromValue(attendees));
}

std::optional<CalRecurrenceRule> CalEvent::recurrenceRule() const
{
    const QVariant v = value(kRule);
    if (!v.isValid())
        return std::nullopt;
    return v.value<CalRecurrenceRule>();
}

void CalEvent::setRecurrenceRule(const std::optional<CalRecurrenceRule> &rule)
{
    set(kRule, rule ? QVariant::fromValue(*rule) : QVariant());
}

void CalTask::setCompletedDate(const QDateTime &date)
{
    set(kCompletedDate, date);
    set(kCompleted, date.isValid() ? QVariant(true) : QVariant());
}

void CalTask::setIsCompleted(bool completed)
{
    if (completed) {
        if (!completedDate().isValid())
            set(kCompletedDate, QDateTime::currentDateTimeUtc());
        set(kCompleted, true);
    } else {
        set(kCompletedDate, QVariant());
        set(kCompleted, QVariant());
    }
}

// ---- libical ------------------------------------------------------------------------------

namespace {

struct IcalFree
{
    void operator()(icalcomponent *c) const { icalcomponent_free(c); }
};
using IcalPtr = std::unique_ptr<icalcomponent, IcalFree>;

void initLibical()
{
    static const bool done = [] {
        // Bad input is ours to report, never a reason to abort the process.
        icalerror_set_errors_are_fatal(0);
        return true;
    }();
    (void)done;
}

// A value as read; a bare carriage return inside it (only a broken file has one) reads as a
// line break, which is how it is written back.
QString text(const char *s)
{
    if (!s)
        return {};
    QString out = QString::fromUtf8(s);
    if (out.contains(u'\r'))
        out.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n');
    return out;
}

QByteArray asIcal(icalcomponent *c)
{
    char *s = icalcomponent_as_ical_string_r(c);
    QByteArray out(s ? s : "");
    icalmemory_free_buffer(s);
    return out;
}

QByteArray asIcal(icalproperty *p)
{
    char *s = icalproperty_as_ical_string_r(p);
    QByteArray out(s ? s : "");
    icalmemory_free_buffer(s);
    return out;
}

// The whole file: several calendars in one file come back as an XROOT we never write.
QByteArray serialize(icalcomponent *root)
{
    if (icalcomponent_isa(root) != ICAL_XROOT_COMPONENT)
        return asIcal(root);
    QByteArray out;
    for (icalcomponent *c = icalcomponent_get_first_component(root, ICAL_ANY_COMPONENT); c;
         c = icalcomponent_get_next_component(root, ICAL_ANY_COMPONENT))
        out += asIcal(c);
    return out;
}

// Content lines of a file after unfolding, to tell whether the parser kept them all.
int contentLines(const QByteArray &bytes)
{
    int n = 0;
    bool lineStart = true;
    for (char c : bytes) {
        if (c == '\n' || c == '\r') {
            lineStart = true;
            continue;
        }
        if (lineStart && c != ' ' && c != '\t')
            ++n;
        lineStart = false;
    }
    return n;
}

std::vector<icalcomponent *> children(icalcomponent *parent, icalcomponent_kind kind)
{
    std::vector<icalcomponent *> out;
    for (icalcomponent *c = icalcomponent_get_first_component(parent, kind); c;
         c = icalcomponent_get_next_component(parent, kind))
        out.push_back(c);
    return out;
}

std::vector<icalproperty *> properties(icalcomponent *c, icalproperty_kind kind)
{
    std::vector<icalproperty *> out;
    for (icalproperty *p = icalcomponent_get_first_property(c, kind); p;
         p = icalcomponent_get_next_property(c, kind))
        out.push_back(p);
    return out;
}

// Turns the parser's error lines back into what they replaced where it can: a line whose
// value it could not read is kept (as a line of its own name) so that writing the file
// back does not drop it. Returns the problems found.
QStringList restoreErrors(icalcomponent *c)
{
    QStringList problems;
    for (icalproperty *p : properties(c, ICAL_XLICERROR_PROPERTY)) {
        const QString message = text(icalproperty_get_xlicerror(p));
        problems.append(message);
        // "Can't parse as RECUR value in RRULE property. Removing entire property: <value>",
        // "No value for TZID property. Removing entire property:"
        static const QString removing = u" property. Removing entire property:"_s;
        static const QString valueIn = u" value in "_s;
        static const QString noValue = u"No value for "_s;
        const qsizetype r = message.indexOf(removing);
        qsizetype v = message.lastIndexOf(valueIn, r);
        qsizetype nameAt = v + valueIn.size();
        if (v < 0 && message.startsWith(noValue)) {
            v = 0;
            nameAt = noValue.size();
        }
        if (r > 0 && v >= 0 && nameAt < r) {
            const QByteArray name = message.mid(nameAt, r - nameAt).toUtf8();
            const QByteArray value = message.mid(r + removing.size()).trimmed().toUtf8();
            icalproperty *kept = icalproperty_new_x(value.constData());
            icalproperty_set_x_name(kept, name.constData());
            icalcomponent_add_property(c, kept);
        }
        icalcomponent_remove_property(c, p);
        icalproperty_free(p);
    }
    for (icalcomponent *child : children(c, ICAL_ANY_COMPONENT))
        problems += restoreErrors(child);
    return problems;
}

struct Parsed
{
    IcalPtr root;
    QStringList problems;
    bool lossy = false; // the parser dropped lines it could not keep
};

Parsed parseIcs(QByteArray bytes)
{
    initLibical();
    Parsed out;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    if (bytes.contains('\0'))
        bytes.truncate(bytes.indexOf('\0'));
    icalcomponent *c = icalparser_parse_string(bytes.constData());
    if (!c) {
        out.problems.append(u"not an iCalendar file"_s);
        return out;
    }
    const icalcomponent_kind kind = icalcomponent_isa(c);
    if (kind == ICAL_VEVENT_COMPONENT || kind == ICAL_VTODO_COMPONENT) {
        icalcomponent *cal = icalcomponent_new_vcalendar();
        icalcomponent_add_component(cal, c);
        c = cal;
        out.problems.append(u"no VCALENDAR around the item"_s);
    } else if (kind != ICAL_VCALENDAR_COMPONENT && kind != ICAL_XROOT_COMPONENT) {
        icalcomponent_free(c);
        out.problems.append(u"not an iCalendar file"_s);
        return out;
    }
    out.root.reset(c);
    out.problems += restoreErrors(c);
    int written = contentLines(serialize(c));
    out.lossy = written < contentLines(bytes);
    if (out.lossy)
        out.problems.append(u"some lines cannot be kept when the file is written"_s);
    return out;
}

// The calendars of a file: the root, or each calendar of a file holding several.
std::vector<icalcomponent *> calendarsOf(icalcomponent *root)
{
    if (icalcomponent_isa(root) == ICAL_XROOT_COMPONENT)
        return children(root, ICAL_VCALENDAR_COMPONENT);
    return {root};
}

bool isItem(icalcomponent *c)
{
    const icalcomponent_kind k = icalcomponent_isa(c);
    return k == ICAL_VEVENT_COMPONENT || k == ICAL_VTODO_COMPONENT;
}

bool hasRecurrenceId(icalcomponent *c)
{
    return icalcomponent_get_first_property(c, ICAL_RECURRENCEID_PROPERTY) != nullptr;
}

// Every component of \a uid, masters and overrides, in file order.
std::vector<icalcomponent *> componentsOf(icalcomponent *root, const QString &uid)
{
    std::vector<icalcomponent *> out;
    const QByteArray id = uid.toUtf8();
    for (icalcomponent *cal : calendarsOf(root))
        for (icalcomponent *c : children(cal, ICAL_ANY_COMPONENT))
            if (isItem(c) && id == QByteArray(icalcomponent_get_uid(c) ? icalcomponent_get_uid(c) : ""))
                out.push_back(c);
    return out;
}

icalcomponent *masterOf(const std::vector<icalcomponent *> &comps)
{
    for (icalcomponent *c : comps)
        if (!hasRecurrenceId(c))
            return c;
    return nullptr;
}

// ---- Time ---------------------------------------------------------------------------------

// The IANA id Qt knows for a TZID: itself, a Windows name's zone, or the tail of a
// prefixed id ("/softwarestudio.org/Olson_20011030_5/Asia/Calcutta").
QByteArray ianaFor(const QByteArray &tzid)
{
    static QHash<QByteArray, QByteArray> cache;
    const auto hit = cache.constFind(tzid);
    if (hit != cache.constEnd())
        return *hit;
    QByteArray found;
    if (!tzid.isEmpty()) {
        if (QTimeZone::isTimeZoneIdAvailable(tzid)) {
            found = tzid;
        } else if (const QByteArray win = QTimeZone::windowsIdToDefaultIanaId(tzid); !win.isEmpty()) {
            found = win;
        } else {
            for (qsizetype i = tzid.indexOf('/'); i >= 0 && found.isEmpty(); i = tzid.indexOf('/', i + 1)) {
                const QByteArray tail = tzid.mid(i + 1);
                if (!tail.isEmpty() && QTimeZone::isTimeZoneIdAvailable(tail))
                    found = tail;
            }
        }
    }
    cache.insert(tzid, found);
    return found;
}

// Building a zone reads its rules: keep the ones in use.
QTimeZone qtZone(const QByteArray &iana)
{
    static QHash<QByteArray, QTimeZone> zones;
    auto it = zones.find(iana);
    if (it == zones.end())
        it = zones.insert(iana, QTimeZone(iana));
    return *it;
}

bool isUtcId(const QByteArray &id)
{
    return id == "UTC" || id == "Etc/UTC" || id == "Z" || id == "GMT" || id == "Etc/GMT";
}

icaltimezone *zoneFor(icalcomponent *calendar, const QByteArray &tzid)
{
    if (tzid.isEmpty())
        return nullptr;
    if (calendar && icalcomponent_isa(calendar) == ICAL_VCALENDAR_COMPONENT)
        if (icaltimezone *z = icalcomponent_get_timezone(calendar, tzid.constData()))
            return z;
    if (icaltimezone *z = icaltimezone_get_builtin_timezone(tzid.constData()))
        return z;
    const QByteArray iana = ianaFor(tzid);
    if (!iana.isEmpty())
        return icaltimezone_get_builtin_timezone(iana.constData());
    return nullptr;
}

QByteArray tzidOf(icalproperty *p)
{
    icalparameter *param = icalproperty_get_first_parameter(p, ICAL_TZID_PARAMETER);
    return param && icalparameter_get_tzid(param) ? QByteArray(icalparameter_get_tzid(param)) : QByteArray();
}

struct TimeRead
{
    QDateTime value;
    bool floating = false;
    bool date = false;
};

// A date-time as Qt holds it: all-day dates and floating times as local times, zoned times
// in their zone (or at their instant in local time when Qt does not know the zone).
TimeRead toQt(icaltimetype t, const QByteArray &tzid, icalcomponent *calendar, QStringList *problems)
{
    TimeRead out;
    if (icaltime_is_null_time(t) || !icaltime_is_valid_time(t))
        return out;
    const QDate date(t.year, t.month, t.day);
    if (!date.isValid())
        return out;
    if (t.is_date) {
        out.value = QDateTime(date, QTime(0, 0));
        out.date = true;
        out.floating = true;
        return out;
    }
    const QTime clock(t.hour, t.minute, std::min(t.second, 59));
    if (icaltime_is_utc(t) || isUtcId(tzid)) {
        out.value = QDateTime(date, clock, Qt::UTC);
        return out;
    }
    if (tzid.isEmpty()) {
        out.value = QDateTime(date, clock);
        out.floating = true;
        return out;
    }
    const QByteArray iana = ianaFor(tzid);
    if (icaltimezone *zone = zoneFor(calendar, tzid)) {
        icaltimetype wall = t;
        wall.zone = nullptr;
        const time_t secs = icaltime_as_timet_with_zone(wall, zone);
        const QDateTime instant = QDateTime::fromSecsSinceEpoch(qint64(secs), Qt::UTC);
        out.value = iana.isEmpty() ? instant.toLocalTime() : instant.toTimeZone(qtZone(iana));
        return out;
    }
    if (!iana.isEmpty()) {
        out.value = QDateTime(date, clock, qtZone(iana));
        return out;
    }
    if (problems)
        problems->append(u"unknown time zone “%1”: read as local time"_s.arg(QString::fromUtf8(tzid)));
    out.value = QDateTime(date, clock);
    out.floating = true;
    return out;
}

TimeRead timeOf(icalproperty *p, icalcomponent *calendar, QStringList *problems)
{
    if (!p)
        return {};
    icalvalue *v = icalproperty_get_value(p);
    if (!v)
        return {};
    const icalvalue_kind kind = icalvalue_isa(v);
    icaltimetype t;
    if (kind == ICAL_DATE_VALUE)
        t = icalvalue_get_date(v);
    else if (kind == ICAL_DATETIME_VALUE)
        t = icalvalue_get_datetime(v);
    else if (kind == ICAL_DATETIMEPERIOD_VALUE) {
        const icaldatetimeperiodtype dp = icalvalue_get_datetimeperiod(v);
        t = icaltime_is_null_time(dp.time) ? dp.period.start : dp.time;
    } else
        return {};
    return toQt(t, tzidOf(p), calendar, problems);
}

icaltimezone *utcZone()
{
    return icaltimezone_get_utc_timezone();
}

icaltimetype icalDate(const QDate &d)
{
    icaltimetype t = icaltime_null_date();
    t.year = d.year();
    t.month = d.month();
    t.day = d.day();
    return t;
}

icaltimetype icalWall(const QDateTime &dt)
{
    icaltimetype t = icaltime_null_time();
    t.year = dt.date().year();
    t.month = dt.date().month();
    t.day = dt.date().day();
    t.hour = dt.time().hour();
    t.minute = dt.time().minute();
    t.second = dt.time().second();
    t.is_date = 0;
    return t;
}

// Adds the definition of zone \a id to the calendar when it has none.
void ensureZone(icalcomponent *calendar, const QByteArray &id, icaltimezone *builtin)
{
    if (!calendar || icalcomponent_get_timezone(calendar, id.constData()))
        return;
    icalcomponent *def = icaltimezone_get_component(builtin);
    if (!def)
        return;
    icalcomponent *copy = icalcomponent_new_clone(def);
    for (icalproperty *p : properties(copy, ICAL_TZID_PROPERTY))
        icalproperty_set_tzid(p, id.constData());
    icalcomponent_add_component(calendar, copy);
}

struct TimeWrite
{
    icaltimetype time = icaltime_null_time();
    QByteArray tzid;
};

// How a date is written: a DATE for all-day values, a floating time for values read
// floating, else in the value's zone (the system zone for local times) with its
// definition added to the calendar, or in UTC when libical does not know the zone.
TimeWrite fromQt(const QDateTime &dt, bool allDay, bool floating, icalcomponent *calendar)
{
    TimeWrite out;
    if (!dt.isValid())
        return out;
    if (allDay) {
        out.time = icalDate(dt.date());
        return out;
    }
    if (floating && dt.timeSpec() == Qt::LocalTime) {
        out.time = icalWall(dt);
        return out;
    }
    QByteArray id;
    if (dt.timeSpec() == Qt::TimeZone)
        id = dt.timeZone().id();
    else if (dt.timeSpec() == Qt::LocalTime)
        id = QTimeZone::systemTimeZoneId();
    if (!id.isEmpty() && !isUtcId(id)) {
        if (icaltimezone *zone = icaltimezone_get_builtin_timezone(id.constData())) {
            out.time = icalWall(dt.toTimeZone(QTimeZone(id)));
            out.tzid = id;
            ensureZone(calendar, id, zone);
            return out;
        }
    }
    out.time = icalWall(dt.toUTC());
    out.time.zone = utcZone();
    return out;
}

void setTimeValue(icalproperty *p, const TimeWrite &w)
{
    icalproperty_set_value(p, w.time.is_date ? icalvalue_new_date(w.time) : icalvalue_new_datetime(w.time));
    icalproperty_remove_parameter_by_kind(p, ICAL_TZID_PARAMETER);
    icalproperty_remove_parameter_by_kind(p, ICAL_VALUE_PARAMETER);
    if (!w.tzid.isEmpty())
        icalproperty_add_parameter(p, icalparameter_new_tzid(w.tzid.constData()));
}

// Sets (or with an invalid value removes) a date property, keeping its other parameters.
void setTimeProperty(icalcomponent *c, icalproperty_kind kind, const TimeWrite &w)
{
    std::vector<icalproperty *> props = properties(c, kind);
    if (icaltime_is_null_time(w.time)) {
        for (icalproperty *p : props) {
            icalcomponent_remove_property(c, p);
            icalproperty_free(p);
        }
        return;
    }
    icalproperty *p = props.empty() ? nullptr : props.front();
    if (!p) {
        p = icalproperty_new(kind);
        icalcomponent_add_property(c, p);
    }
    setTimeValue(p, w);
}

void removeProperties(icalcomponent *c, icalproperty_kind kind)
{
    for (icalproperty *p : properties(c, kind)) {
        icalcomponent_remove_property(c, p);
        icalproperty_free(p);
    }
}

void setTextProperty(icalcomponent *c, icalproperty_kind kind, const QVariant &value)
{
    if (!value.isValid()) {
        removeProperties(c, kind);
        return;
    }
    icalproperty *p = icalcomponent_get_first_property(c, kind);
    if (!p) {
        p = icalproperty_new(kind);
        icalcomponent_add_property(c, p);
    }
    const QByteArray utf8 = value.metaType() == QMetaType::fromType<QUrl>()
                                ? value.toUrl().toString(QUrl::FullyEncoded).toUtf8()
                                : value.toString().toUtf8();
    icalproperty_set_value(p, kind == ICAL_URL_PROPERTY ? icalvalue_new_uri(utf8.constData())
                                                        : icalvalue_new_text(utf8.constData()));
}

QString textOf(icalcomponent *c, icalproperty_kind kind)
{
    icalproperty *p = icalcomponent_get_first_property(c, kind);
    if (!p)
        return {};
    icalvalue *v = icalproperty_get_value(p);
    if (!v)
        return {};
    if (icalvalue_isa(v) == ICAL_TEXT_VALUE)
        return text(icalvalue_get_text(v) ? icalvalue_get_text(v) : "");
    return text(icalvalue_as_ical_string(v));
}

void stampChanged(icalcomponent *c)
{
    TimeWrite now;
    now.time = icalWall(QDateTime::currentDateTimeUtc());
    now.time.zone = utcZone();
    setTimeProperty(c, ICAL_DTSTAMP_PROPERTY, now);
    setTimeProperty(c, ICAL_LASTMODIFIED_PROPERTY, now);
}

QString stripMailto(QString s)
{
    if (s.startsWith(u"mailto:"_s, Qt::CaseInsensitive))
        s.remove(0, 7);
    return s;
}

} // namespace

// ---- Items and components ------------------------------------------------------------------

/** Moves values between store items and the components of their files. */
struct CalIcs
{
    static CalAlarm alarmFrom(icalcomponent *a, icalcomponent *cal)
    {
        CalAlarm alarm;
        alarm.m_action = textOf(a, ICAL_ACTION_PROPERTY);
        if (icalproperty *t = icalcomponent_get_first_property(a, ICAL_TRIGGER_PROPERTY)) {
            const icaltriggertype trigger = icalproperty_get_trigger(t);
            if (!icaltime_is_null_time(trigger.time))
                alarm.m_absoluteTrigger = toQt(trigger.time, tzidOf(t), cal, nullptr).value;
            else
                alarm.m_relativeTrigger = icaldurationtype_as_int(trigger.duration);
        }
        if (alarm.m_action == kCalAlarmActionEmail)
            if (icalproperty *p = icalcomponent_get_first_property(a, ICAL_ATTENDEE_PROPERTY))
                alarm.m_emailAddress = stripMailto(text(icalproperty_get_attendee(p)));
        if (icalproperty *p = icalcomponent_get_first_property(a, ICAL_ATTACH_PROPERTY)) {
            icalattach *attach = icalproperty_get_attach(p);
            const QString where = attach && icalattach_get_is_url(attach) ? text(icalattach_get_url(attach)) : QString();
            if (alarm.m_action == kCalAlarmActionAudio)
                alarm.m_sound = where;
            else if (alarm.m_action == kCalAlarmActionProcedure)
                alarm.m_url = QUrl(where);
        }
        alarm.m_source = asIcal(a);
        return alarm;
    }

    static void setAttach(icalcomponent *a, const QString &where)
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
    static icalcomponent *alarmComponent(const CalAlarm &alarm, const QString &title, icalcomponent *cal)
    {
        icalcomponent *a = nullptr;
        CalAlarm was;
        if (!alarm.m_source.isEmpty()) {
            a = icalcomponent_new_from_string(alarm.m_source.constData());
            if (a && icalcomponent_isa(a) != ICAL_VALARM_COMPONENT) {
                icalcomponent_free(a);
                a = nullptr;
            }
            if (a)
                was = alarmFrom(a, cal);
        }
        if (!a) {
            a = icalcomponent_new_valarm();
            was.m_action.clear();
            was.m_relativeTrigger = -1e300; // forces the trigger to be written
        }
        if (was.m_action != alarm.m_action) {
            removeProperties(a, ICAL_ACTION_PROPERTY);
            const QByteArray line = "ACTION:" + alarm.m_action.toUtf8();
            icalproperty *p = icalproperty_new_from_string(line.constData());
            if (!p) {
                p = icalproperty_new_x(alarm.m_action.toUtf8().constData());
                icalproperty_set_x_name(p, "ACTION");
            }
            icalcomponent_add_property(a, p);
        }
        const bool triggerSame = was.m_absoluteTrigger.isValid() == alarm.m_absoluteTrigger.isValid()
                                 && (alarm.m_absoluteTrigger.isValid()
                                         ? was.m_absoluteTrigger == alarm.m_absoluteTrigger
                                         : was.m_relativeTrigger == alarm.m_relativeTrigger);
        if (!triggerSame) {
            removeProperties(a, ICAL_TRIGGER_PROPERTY);
            icaltriggertype trigger;
            if (alarm.m_absoluteTrigger.isValid()) {
                trigger.time = icalWall(alarm.m_absoluteTrigger.toUTC());
                trigger.time.zone = utcZone();
                trigger.duration = icaldurationtype_null_duration();
            } else {
                trigger = icaltriggertype_from_int(int(alarm.m_relativeTrigger));
            }
            icalproperty *p = icalproperty_new_trigger(trigger);
            if (alarm.m_absoluteTrigger.isValid())
                icalproperty_add_parameter(p, icalparameter_new_value(ICAL_VALUE_DATETIME));
            icalcomponent_add_property(a, p);
        }
        if (alarm.m_action == kCalAlarmActionEmail && was.m_emailAddress != alarm.m_emailAddress) {
            removeProperties(a, ICAL_ATTENDEE_PROPERTY);
            if (!alarm.m_emailAddress.isEmpty()) {
                const QByteArray to = "mailto:" + alarm.m_emailAddress.toUtf8();
                icalcomponent_add_property(a, icalproperty_new_attendee(to.constData()));
            }
        }
        if (alarm.m_action == kCalAlarmActionAudio && (was.m_sound != alarm.m_sound || was.m_action != alarm.m_action))
            setAttach(a, alarm.m_sound);
        if (alarm.m_action == kCalAlarmActionProcedure && (was.m_url != alarm.m_url || was.m_action != alarm.m_action))
            setAttach(a, alarm.m_url.toString(QUrl::FullyEncoded));
        // What the format requires of each kind.
        const bool needsText = alarm.m_action == kCalAlarmActionDisplay || alarm.m_action == kCalAlarmActionEmail;
        if (needsText && !icalcomponent_get_first_property(a, ICAL_DESCRIPTION_PROPERTY)) {
            const QByteArray d = (title.isEmpty() ? u"Reminder"_s : title).toUtf8();
            icalcomponent_add_property(a, icalproperty_new_description(d.constData()));
        }
        if (alarm.m_action == kCalAlarmActionEmail && !icalcomponent_get_first_property(a, ICAL_SUMMARY_PROPERTY)) {
            const QByteArray s = (title.isEmpty() ? u"Reminder"_s : title).toUtf8();
            icalcomponent_add_property(a, icalproperty_new_summary(s.constData()));
        }
        return a;
    }

    static CalAttendee attendeeFrom(icalproperty *p)
    {
        CalAttendee a;
        a.m_address = QUrl(text(icalproperty_get_attendee(p)));
        if (icalparameter *cn = icalproperty_get_first_parameter(p, ICAL_CN_PARAMETER))
            a.m_commonName = text(icalparameter_get_cn(cn));
        a.m_status = text(icalproperty_get_parameter_as_string(p, "PARTSTAT"));
        a.m_source = asIcal(p);
        return a;
    }

    static icalproperty *attendeeProperty(const CalAttendee &a)
    {
        icalproperty *p = a.m_source.isEmpty() ? nullptr : icalproperty_new_from_string(a.m_source.constData());
        if (p && icalproperty_isa(p) != ICAL_ATTENDEE_PROPERTY) {
            icalproperty_free(p);
            p = nullptr;
        }
        const CalAttendee was = p ? attendeeFrom(p) : CalAttendee();
        const QByteArray address = a.m_address.toString(QUrl::FullyEncoded).toUtf8();
        if (!p)
            p = icalproperty_new_attendee(address.constData());
        else if (was.m_address != a.m_address)
            icalproperty_set_attendee(p, address.constData());
        if (!p)
            return nullptr;
        if (was.m_commonName != a.m_commonName || was.m_source.isEmpty()) {
            icalproperty_remove_parameter_by_kind(p, ICAL_CN_PARAMETER);
            if (!a.m_commonName.isEmpty())
                icalproperty_add_parameter(p, icalparameter_new_cn(a.m_commonName.toUtf8().constData()));
        }
        if (was.m_status != a.m_status || was.m_source.isEmpty()) {
            icalproperty_remove_parameter_by_name(p, "PARTSTAT");
            if (!a.m_status.isEmpty())
                icalproperty_set_parameter_from_string(p, "PARTSTAT", a.m_status.toUtf8().constData());
        }
        return p;
    }

    static std::optional<CalRecurrenceRule> ruleFrom(icalcomponent *c, icalcomponent *cal)
    {
        icalproperty *p = icalcomponent_get_first_property(c, ICAL_RRULE_PROPERTY);
        if (!p)
            return std::nullopt;
        const icalrecurrencetype r = icalproperty_get_rrule(p);
        CalRecurrenceRule rule;
        switch (r.freq) {
        case ICAL_DAILY_RECURRENCE: rule.m_type = CalRecurrenceRule::Daily; break;
        case ICAL_WEEKLY_RECURRENCE: rule.m_type = CalRecurrenceRule::Weekly; break;
        case ICAL_MONTHLY_RECURRENCE: rule.m_type = CalRecurrenceRule::Monthly; break;
        case ICAL_YEARLY_RECURRENCE: rule.m_type = CalRecurrenceRule::Yearly; break;
        default: rule.m_type = CalRecurrenceRule::Other; break;
        }
        rule.m_interval = std::max<int>(1, r.interval);
        if (!icaltime_is_null_time(r.until))
            rule.m_end = CalRecurrenceEnd::endWithEndDate(toQt(r.until, {}, cal, nullptr).value);
        else if (r.count > 0)
            rule.m_end = CalRecurrenceEnd::endWithOccurrenceCount(r.count);
        rule.m_text = text(icalproperty_get_value_as_string(p));
        return rule;
    }

    // The rule written for an event whose start is written as \a start.
    static icalrecurrencetype ruleValue(const CalRecurrenceRule &rule, const TimeWrite &start)
    {
        icalrecurrencetype r;
        icalrecurrencetype_clear(&r);
        if (!rule.m_text.isEmpty())
            r = icalrecurrencetype_from_string(rule.m_text.toUtf8().constData());
        if (r.freq == ICAL_NO_RECURRENCE)
            icalrecurrencetype_clear(&r);
        switch (rule.m_type) {
        case CalRecurrenceRule::Daily: r.freq = ICAL_DAILY_RECURRENCE; break;
        case CalRecurrenceRule::Weekly: r.freq = ICAL_WEEKLY_RECURRENCE; break;
        case CalRecurrenceRule::Monthly: r.freq = ICAL_MONTHLY_RECURRENCE; break;
        case CalRecurrenceRule::Yearly: r.freq = ICAL_YEARLY_RECURRENCE; break;
        case CalRecurrenceRule::Other: break;
        }
        r.interval = short(std::clamp(rule.m_interval, 1, 32767));
        r.until = icaltime_null_time();
        r.count = 0;
        if (rule.m_end && rule.m_end->usesEndDate() && rule.m_end->endDate().isValid()) {
            const QDateTime until = rule.m_end->endDate();
            if (start.time.is_date) {
                r.until = icalDate(until.date());
            } else if (start.tzid.isEmpty() && !start.time.zone) {
                r.until = icalWall(until);
            } else {
                r.until = icalWall(until.toUTC());
                r.until.zone = utcZone();
            }
        } else if (rule.m_end && !rule.m_end->usesEndDate()) {
            r.count = std::max(1, rule.m_end->occurrenceCount());
        }
        return r;
    }

    static TimeWrite startWrite(icalcomponent *c)
    {
        TimeWrite w;
        if (icalproperty *p = icalcomponent_get_first_property(c, ICAL_DTSTART_PROPERTY)) {
            w.time = icalproperty_get_dtstart(p);
            w.tzid = tzidOf(p);
        }
        return w;
    }

    static void setRule(icalcomponent *c, const QVariant &value)
    {
        removeProperties(c, ICAL_RRULE_PROPERTY);
        if (!value.isValid())
            return;
        icalcomponent_add_property(c, icalproperty_new_rrule(ruleValue(value.value<CalRecurrenceRule>(), startWrite(c))));
    }

    static void readItem(CalCalendarItem &item, icalcomponent *c, icalcomponent *cal, QStringList *problems)
    {
        const bool event = icalcomponent_isa(c) == ICAL_VEVENT_COMPONENT;
        item.m_uid = text(icalcomponent_get_uid(c));
        item.m_dateStamp = timeOf(icalcomponent_get_first_property(c, ICAL_DTSTAMP_PROPERTY), cal, nullptr).value;
        QVariantMap &v = item.m_values;
        const QString calendarUid = v.value(kCalendarUid).toString();
        v.clear();
        item.m_floating.clear();
        item.set(kCalendarUid, calendarUid.isEmpty() ? QVariant() : QVariant(calendarUid));
        auto setText = [&](const QString &key, icalproperty_kind kind) {
            if (icalcomponent_get_first_property(c, kind))
                item.set(key, textOf(c, kind));
        };
        setText(kTitle, ICAL_SUMMARY_PROPERTY);
        setText(kNotes, ICAL_DESCRIPTION_PROPERTY);
        if (icalcomponent_get_first_property(c, ICAL_URL_PROPERTY))
            item.set(kUrl, QUrl(textOf(c, ICAL_URL_PROPERTY)));
        QList<CalAlarm> alarms;
        for (icalcomponent *a : children(c, ICAL_VALARM_COMPONENT))
            alarms.append(alarmFrom(a, cal));
        if (!alarms.isEmpty())
            v.insert(kAlarms, QVariant::fromValue(alarms));

        if (event) {
            setText(kLocation, ICAL_LOCATION_PROPERTY);
            const TimeRead start = timeOf(icalcomponent_get_first_property(c, ICAL_DTSTART_PROPERTY), cal, problems);
            if (!start.value.isValid() && problems)
                problems->append(u"event %1 has no start"_s.arg(item.m_uid));
            item.set(kStart, start.value);
            if (start.date)
                v.insert(kAllDay, true);
            if (start.floating && !start.date)
                item.m_floating.insert(kStart);
            QDateTime end;
            if (icalproperty *p = icalcomponent_get_first_property(c, ICAL_DTEND_PROPERTY)) {
                const TimeRead e = timeOf(p, cal, problems);
                end = e.value;
                if (e.floating && !e.date)
                    item.m_floating.insert(kEnd);
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
                item.m_floating.insert(kEnd);
            item.set(kEnd, end);
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
            item.set(kDue, due.value);
            if (due.date)
                item.m_floating.insert(kDue + u"#date"_s);
            else if (due.floating)
                item.m_floating.insert(kDue);
            const TimeRead done = timeOf(icalcomponent_get_first_property(c, ICAL_COMPLETED_PROPERTY), cal, problems);
            item.set(kCompletedDate, done.value);
            icalproperty *status = icalcomponent_get_first_property(c, ICAL_STATUS_PROPERTY);
            if (done.value.isValid() || (status && icalproperty_get_status(status) == ICAL_STATUS_COMPLETED))
                v.insert(kCompleted, true);
        }
        item.m_base = v;
    }

    // Writes the fields named in \a keys from \a item into component \a c.
    static void apply(icalcomponent *c, icalcomponent *cal, const CalCalendarItem &item, QStringList keys)
    {
        const QVariantMap &v = item.m_values;
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
                                fromQt(value.toDateTime(), allDay, item.m_floating.contains(kStart), cal));
            } else if (key == kEnd) {
                removeProperties(c, ICAL_DURATION_PROPERTY);
                setTimeProperty(c, ICAL_DTEND_PROPERTY,
                                fromQt(value.toDateTime(), allDay, item.m_floating.contains(kEnd), cal));
            } else if (key == kDue) {
                const QDateTime due = value.toDateTime();
                const bool asDate = item.m_floating.contains(kDue + u"#date"_s) && due.timeSpec() == Qt::LocalTime
                                    && due.time() == QTime(0, 0);
                removeProperties(c, ICAL_DURATION_PROPERTY);
                setTimeProperty(c, ICAL_DUE_PROPERTY, fromQt(due, asDate, item.m_floating.contains(kDue), cal));
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
    static IcalPtr newDocument(const CalCalendarItem &item, bool event)
    {
        initLibical();
        IcalPtr cal(icalcomponent_new_vcalendar());
        icalcomponent_add_property(cal.get(), icalproperty_new_version("2.0"));
        icalcomponent_add_property(cal.get(), icalproperty_new_prodid("-//ZEM AppKit//Calendar Store//EN"));
        icalcomponent *c = event ? icalcomponent_new_vevent() : icalcomponent_new_vtodo();
        icalcomponent_add_property(c, icalproperty_new_uid(item.m_uid.toUtf8().constData()));
        icalcomponent_add_component(cal.get(), c);
        TimeWrite now;
        now.time = icalWall(QDateTime::currentDateTimeUtc());
        now.time.zone = utcZone();
        setTimeProperty(c, ICAL_CREATED_PROPERTY, now);
        QStringList keys = item.m_values.keys();
        keys.removeAll(kCalendarUid);
        apply(c, cal.get(), item, keys);
        return cal;
    }
};

// ---- Occurrences ---------------------------------------------------------------------------

namespace {

// A rule that never ends is expanded this far at most, so that no query runs away.
constexpr int kMaxOccurrences = 100000;

const QString kMetaFileName = u".zem-calendar.json"_s;
const QString kOriginalsFolder = u".zem-originals"_s;

icalcomponent *calendarOf(icalcomponent *c)
{
    icalcomponent *parent = icalcomponent_get_parent(c);
    return parent ? parent : c;
}

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

struct Expansion
{
    QList<QDateTime> starts; // excluded dates removed unless asked to keep them
    int ruleCountBefore = 0; // rule instances before the limit (for splitting COUNT rules)
};

// The starts of a series before \a to (every one when \a to is invalid, up to the cap).
// With \a from, rules without a count may skip the starts before it.
Expansion seriesStarts(icalcomponent *master, const QDateTime &to, QStringList *problems, bool keepExcluded = false,
                       const QDateTime &from = {})
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

// Where an item came from, stamped on every copy handed out.
struct Origin
{
    QString calendarUid;
    QString fileName;
    QByteArray bytes;
};

} // namespace

/** Events and to-dos as the files of a store hold them. */
class CalendarStorePrivate
{
public:
    struct IcsFile
    {
        QString fileName;
        QByteArray bytes;
        IcalPtr root;
        bool lossy = false;
        QStringList problems;
        QList<std::pair<QString, bool>> items; // uid, is a to-do
    };
    struct Folder
    {
        CalCalendar calendar;
        QByteArray meta;
        std::map<QString, std::unique_ptr<IcsFile>> files;
    };

    CalendarStore *q = nullptr;
    QString folder;
    std::map<QString, Folder> folders;

    template<typename Item>
    static void stamp(Item &item, const Origin &origin)
    {
        item.setCalendarUid(origin.calendarUid);
        item.m_base.insert(kCalendarUid, origin.calendarUid);
        item.m_new = false;
        item.m_fileCalendarUid = origin.calendarUid;
        item.m_fileName = origin.fileName;
        item.m_revision = origin.bytes;
    }
    template<typename Item>
    static ZEM_Result<void> mergeCheck(const Item &ours, const std::optional<Item> &theirs, const QStringList &keys);
    QHash<QString, std::pair<QString, QString>> index; // item uid -> calendar uid, file name
    QStringList problems;
    QSet<QString> reportedOthers;
    std::optional<detail::FolderWatcher> watcher;

    QString calendarPath(const QString &calendarUid) const { return QDir(folder).filePath(calendarUid); }
    QString filePath(const QString &calendarUid, const QString &fileName) const
    {
        return QDir(calendarPath(calendarUid)).filePath(fileName);
    }

    const IcsFile *fileOf(const QString &uid) const
    {
        const auto where = index.constFind(uid);
        if (where == index.constEnd())
            return nullptr;
        const auto f = folders.find(where->first);
        if (f == folders.end())
            return nullptr;
        const auto file = f->second.files.find(where->second);
        return file == f->second.files.end() ? nullptr : file->second.get();
    }

    static CalCalendar readCalendar(const QString &dirPath, const QString &uid, QByteArray *meta);
    static std::unique_ptr<IcsFile> readFile(const QString &fileName, const QByteArray &bytes);
    void scan(bool announce);
    void startWatching();
    void watchPaths();

    // Items of a parsed file.
    static CalEvent eventFrom(icalcomponent *c, const Origin &origin, QStringList *problems)
    {
        CalEvent e;
        CalIcs::readItem(e, c, calendarOf(c), problems);
        stamp(e, origin);
        e.m_base = e.m_values;
        return e;
    }
    static QList<CalEvent> expand(icalcomponent *root, const Origin &origin, const QString &uid,
                                  const QDateTime &from, const QDateTime &to, QStringList *problems);
    static std::optional<CalEvent> eventIn(icalcomponent *root, const Origin &origin, const QString &uid,
                                           const QDateTime &occurrence);
    static std::optional<CalTask> taskIn(icalcomponent *root, const Origin &origin, const QString &uid);

    ZEM_Result<void> checkCalendar(const QString &calendarUid) const;
    ZEM_Result<void> writeFile(const QString &calendarUid, const QString &fileName, const QByteArray &bytes,
                               const QByteArray &original, bool lossy);
    ZEM_Result<void> removeFile(const QString &calendarUid, const QString &fileName);
    QString newUid() const;
    QString freeFileName(const QString &calendarUid, const QString &uid) const;

    // A file of the store as it is on disk now, read to change or remove items in it.
    struct ItemFile
    {
        bool exists = false;
        Parsed parsed;
        Origin origin; // its bytes are the file's

        icalcomponent *root() const { return parsed.root.get(); }
    };
    ZEM_Result<void> claimUid(QString &uid);
    ZEM_Result<Origin> writeNewFile(const QString &calendarUid, const QString &uid, icalcomponent *doc);
    ZEM_Result<ItemFile> readItemFile(const QString &calendarUid, const QString &fileName) const;
    ZEM_Result<QByteArray> writeBack(const ItemFile &file);
};

namespace {


std::optional<QByteArray> readBytes(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    return f.readAll();
}

QColor parseColor(QString s)
{
    s = s.trimmed();
    // The folder format writes "#RRGGBBAA"; Qt reads eight digits as "#AARRGGBB".
    if (s.size() == 9 && s.startsWith(u'#')) {
        bool ok = false;
        const uint v = s.mid(1).toUInt(&ok, 16);
        return ok ? QColor(int(v >> 24), int((v >> 16) & 0xff), int((v >> 8) & 0xff), int(v & 0xff)) : QColor();
    }
    const QColor c = QColor::fromString(s);
    return c.isValid() ? c : QColor();
}

QString colorText(const QColor &c)
{
    QString s = c.name(QColor::HexRgb).toUpper();
    if (c.alpha() != 255)
        s += u"%1"_s.arg(c.alpha(), 2, 16, QLatin1Char('0')).toUpper();
    return s;
}

QString defaultFolderSetting;
std::unique_ptr<CalendarStore> sharedStore;

} // namespace

CalCalendar CalendarStorePrivate::readCalendar(const QString &dirPath, const QString &uid, QByteArray *meta)
{
    CalCalendar cal;
    cal.m_uid = uid;
    const QDir dir(dirPath);
    const QByteArray name = readBytes(dir.filePath(u"displayname"_s)).value_or(QByteArray());
    const QByteArray color = readBytes(dir.filePath(u"color"_s)).value_or(QByteArray());
    const QByteArray json = readBytes(dir.filePath(kMetaFileName)).value_or(QByteArray());
    cal.m_title = QString::fromUtf8(name).trimmed();
    if (cal.m_title.isEmpty())
        cal.m_title = uid;
    cal.m_color = parseColor(QString::fromUtf8(color));
    const QJsonObject o = QJsonDocument::fromJson(json).object();
    if (const QString type = o.value(u"type"_s).toString(); !type.isEmpty())
        cal.m_type = type;
    cal.m_notes = o.value(u"notes"_s).toString();
    cal.m_editable = o.value(u"editable"_s).toBool(true) && QFileInfo(dirPath).isWritable();
    if (meta)
        *meta = name + '\0' + color + '\0' + json + '\0' + (cal.m_editable ? '1' : '0');
    return cal;
}

std::unique_ptr<CalendarStorePrivate::IcsFile> CalendarStorePrivate::readFile(const QString &fileName,
                                                                              const QByteArray &bytes)
{
    auto file = std::make_unique<IcsFile>();
    file->fileName = fileName;
    file->bytes = bytes;
    Parsed parsed = parseIcs(bytes);
    file->problems = parsed.problems;
    file->lossy = parsed.lossy;
    file->root = std::move(parsed.root);
    if (!file->root)
        return file;
    QSet<QString> seen;
    for (icalcomponent *cal : calendarsOf(file->root.get())) {
        for (icalcomponent *c : children(cal, ICAL_ANY_COMPONENT)) {
            if (!isItem(c))
                continue;
            const QString uid = text(icalcomponent_get_uid(c));
            if (uid.isEmpty()) {
                file->problems.append(u"an item without a UID; skipped"_s);
                continue;
            }
            // Read once here so that what cannot be read is reported when the file is.
            QStringList itemProblems;
            if (icalcomponent_isa(c) == ICAL_VTODO_COMPONENT) {
                CalTask t;
                CalIcs::readItem(t, c, cal, &itemProblems);
            } else {
                CalEvent e;
                CalIcs::readItem(e, c, cal, &itemProblems);
                if (!hasRecurrenceId(c) && isRecurring(c))
                    seriesStarts(c, e.startDate().addSecs(1), &itemProblems);
            }
            for (const QString &p : std::as_const(itemProblems))
                if (!file->problems.contains(p))
                    file->problems.append(p);
            if (seen.contains(uid))
                continue;
            seen.insert(uid);
            file->items.append({uid, icalcomponent_isa(c) == ICAL_VTODO_COMPONENT});
        }
    }
    if (file->items.isEmpty() && file->problems.isEmpty())
        file->problems.append(u"holds no event or to-do"_s);
    return file;
}

QList<CalEvent> CalendarStorePrivate::expand(icalcomponent *root, const Origin &origin, const QString &uid,
                                             const QDateTime &from, const QDateTime &to, QStringList *problems)
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
        rule = base.m_values.value(kRule);
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
                occurrence.set(kStart, s);
                occurrence.set(kEnd, e);
                occurrence.m_base = occurrence.m_values;
                occurrence.m_occurrence = s;
                out.append(occurrence);
            }
        } else if (start.isValid() && overlaps(start, base.endDate(), from, to)) {
            base.m_occurrence = start;
            out.append(base);
        }
    }
    for (const auto &[rid, c] : overrides) {
        CalEvent e = eventFrom(c, origin, problems);
        if (!e.startDate().isValid() || !overlaps(e.startDate(), e.endDate(), from, to))
            continue;
        if (rule.isValid() && !e.m_values.contains(kRule)) {
            // An occurrence shows its series' rule.
            e.m_values.insert(kRule, rule);
            e.m_base.insert(kRule, rule);
        }
        e.m_occurrence = rid.isValid() ? rid : e.startDate();
        e.m_detached = true;
        out.append(e);
    }
    return out;
}

std::optional<CalEvent> CalendarStorePrivate::eventIn(icalcomponent *root, const Origin &origin,
                                                      const QString &uid, const QDateTime &occurrence)
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
            if (e.m_detached && e.m_occurrence == wanted)
                return e;
    }
    for (const CalEvent &e : expand(root, origin, uid, wanted, wanted.addSecs(1), nullptr))
        if (!e.m_detached && e.m_occurrence == wanted)
            return e;
    return std::nullopt;
}

std::optional<CalTask> CalendarStorePrivate::taskIn(icalcomponent *root, const Origin &origin, const QString &uid)
{
    const std::vector<icalcomponent *> comps = componentsOf(root, uid);
    icalcomponent *master = masterOf(comps);
    if (!master && !comps.empty())
        master = comps.front();
    if (!master || icalcomponent_isa(master) != ICAL_VTODO_COMPONENT)
        return std::nullopt;
    CalTask t;
    CalIcs::readItem(t, master, calendarOf(master), nullptr);
    stamp(t, origin);
    t.m_base = t.m_values;
    return t;
}

void CalendarStorePrivate::scan(bool announce)
{
    struct Seen
    {
        bool task;
        QString path;
        QByteArray bytes;
    };
    QHash<QString, Seen> before; // uid -> what the last read found
    for (const auto &[calUid, f] : folders)
        for (const auto &[name, file] : f.files)
            for (const auto &[uid, task] : file->items)
                if (index.value(uid) == std::pair(calUid, name))
                    before.insert(uid, {task, filePath(calUid, name), file->bytes});
    QHash<QString, QByteArray> calendarsBefore;
    for (const auto &[calUid, f] : folders)
        calendarsBefore.insert(calUid, f.meta);

    std::map<QString, Folder> now;
    QStringList newProblems;
    const QDir root(folder);
    for (const QString &calUid : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        if (calUid.startsWith(u'.'))
            continue;
        Folder nf;
        const QString dirPath = root.filePath(calUid);
        nf.calendar = readCalendar(dirPath, calUid, &nf.meta);
        auto old = folders.find(calUid);
        const QDir dir(dirPath);
        for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
            if (name.startsWith(u'.') || name == u"displayname" || name == u"color")
                continue;
            const QString path = dir.filePath(name);
            if (!name.endsWith(u".ics"_s, Qt::CaseInsensitive)) {
                if (!reportedOthers.contains(path)) {
                    reportedOthers.insert(path);
                    qCWarning(zemPlatform).noquote() << "CalendarStore:" << calUid + u'/' + name
                                                     << "is not a calendar item; skipped";
                }
                continue;
            }
            const std::optional<QByteArray> bytes = readBytes(path);
            std::unique_ptr<IcsFile> file;
            if (old != folders.end()) {
                auto was = old->second.files.find(name);
                if (was != old->second.files.end() && (!bytes || was->second->bytes == *bytes))
                    file = std::move(was->second); // unchanged, or unreadable for now: keep what we knew
            }
            if (!file && !bytes) {
                newProblems.append(u"%1/%2: cannot be read"_s.arg(calUid, name));
                qCWarning(zemPlatform).noquote() << "CalendarStore:" << newProblems.last();
                continue;
            }
            if (!file) {
                file = readFile(name, *bytes);
                for (const QString &p : std::as_const(file->problems))
                    qCWarning(zemPlatform).noquote() << "CalendarStore:" << u"%1/%2: %3"_s.arg(calUid, name, p);
            }
            for (const QString &p : std::as_const(file->problems))
                newProblems.append(u"%1/%2: %3"_s.arg(calUid, name, p));
            nf.files.emplace(name, std::move(file));
        }
        now.emplace(calUid, std::move(nf));
    }
    folders = std::move(now);

    index.clear();
    for (const auto &[calUid, f] : folders) {
        for (const auto &[name, file] : f.files) {
            for (const auto &[uid, task] : file->items) {
                if (const auto other = index.constFind(uid); other != index.constEnd()) {
                    const QString line = u"%1/%2: the same UID as %3/%4; skipped"_s.arg(calUid, name, other->first,
                                                                                       other->second);
                    if (!problems.contains(line))
                        qCWarning(zemPlatform).noquote() << "CalendarStore:" << line;
                    newProblems.append(line);
                    continue;
                }
                index.insert(uid, {calUid, name});
            }
        }
    }
    problems = newProblems;
    if (watcher)
        watchPaths();
    if (!announce)
        return;

    const auto &own = ownWrites();
    auto mine = [&](const QString &path, const std::optional<QByteArray> &bytes) {
        const auto w = own.constFind(path);
        return w != own.constEnd() && *w == bytes;
    };
    // [kind][who]: kind 0 calendars, 1 events, 2 to-dos; who 0 other programs, 1 this process.
    QStringList ins[3][2], upd[3][2], del[3][2];
    for (const auto &[calUid, f] : folders) {
        const int who = mine(calendarPath(calUid), f.meta) ? 1 : 0;
        if (!calendarsBefore.contains(calUid))
            ins[0][who].append(calUid);
        else if (calendarsBefore.value(calUid) != f.meta)
            upd[0][who].append(calUid);
    }
    for (auto it = calendarsBefore.cbegin(); it != calendarsBefore.cend(); ++it)
        if (!folders.count(it.key()))
            del[0][mine(calendarPath(it.key()), std::nullopt) ? 1 : 0].append(it.key());
    for (auto it = index.cbegin(); it != index.cend(); ++it) {
        const IcsFile *file = fileOf(it.key());
        const QString path = filePath(it->first, it->second);
        bool task = false;
        for (const auto &[uid, t] : file->items)
            if (uid == it.key())
                task = t;
        const int kind = task ? 2 : 1;
        const int who = mine(path, file->bytes) ? 1 : 0;
        const auto was = before.constFind(it.key());
        if (was == before.constEnd())
            ins[kind][who].append(it.key());
        else if (was->path != path || was->bytes != file->bytes)
            upd[kind][who].append(it.key());
    }
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        if (!index.contains(it.key()))
            del[it->task ? 2 : 1][mine(it->path, std::nullopt) ? 1 : 0].append(it.key());

    static const QString names[3] = {kCalCalendarsChangedExternallyNotification,
                                     kCalEventsChangedExternallyNotification,
                                     kCalTasksChangedExternallyNotification};
    for (int kind = 0; kind < 3; ++kind) {
        for (int who = 0; who < 2; ++who) {
            if (ins[kind][who].isEmpty() && upd[kind][who].isEmpty() && del[kind][who].isEmpty())
                continue;
            const QString sender = who ? ownProcessName() : QString();
            QVariantMap info;
            if (!ins[kind][who].isEmpty())
                info.insert(kCalInsertedRecordsKey, ins[kind][who]);
            if (!upd[kind][who].isEmpty())
                info.insert(kCalUpdatedRecordsKey, upd[kind][who]);
            if (!del[kind][who].isEmpty())
                info.insert(kCalDeletedRecordsKey, del[kind][who]);
            info.insert(kCalSenderProcessIDKey, who ? QCoreApplication::applicationPid() : qint64(0));
            info.insert(kCalSenderProcessNameKey, sender);
            if (kind == 0)
                emit q->calendarsChanged(ins[kind][who], upd[kind][who], del[kind][who], sender);
            else if (kind == 1)
                emit q->eventsChanged(ins[kind][who], upd[kind][who], del[kind][who], sender);
            else
                emit q->tasksChanged(ins[kind][who], upd[kind][who], del[kind][who], sender);
            ZEM_F_E_Notifications::shared()->postNotification(ZEM_F_Notification{names[kind], {}, info});
        }
    }
}

void CalendarStorePrivate::startWatching()
{
    watcher.emplace(q, [this] { scan(true); });
    watchPaths();
}

void CalendarStorePrivate::watchPaths()
{
    // Folders tell of files added, removed and renamed over; a file rewritten in place is
    // only seen by watching it.
    QStringList wanted{folder};
    for (const auto &[calUid, f] : folders) {
        const QDir dir(calendarPath(calUid));
        wanted << dir.path() << dir.filePath(u"displayname"_s) << dir.filePath(u"color"_s)
               << dir.filePath(kMetaFileName);
        for (const auto &[name, file] : f.files)
            wanted << dir.filePath(name);
    }
    watcher->watchOnly(wanted);
}

ZEM_Result<void> CalendarStorePrivate::checkCalendar(const QString &calendarUid) const
{
    if (calendarUid.isEmpty())
        return ZEM_Error::make(ZEM_Error::InvalidArgument, u"The item has no calendar."_s);
    const auto f = folders.find(calendarUid);
    if (f == folders.end())
        return ZEM_Error::make(ZEM_Error::NotFound, u"There is no calendar “%1”."_s.arg(calendarUid), {calendarUid});
    if (!f->second.calendar.isEditable())
        return ZEM_Error::make(ZEM_Error::WriteFailed,
                               u"The calendar “%1” is read-only."_s.arg(f->second.calendar.title()), {calendarUid});
    return {};
}

ZEM_Result<void> CalendarStorePrivate::writeFile(const QString &calendarUid, const QString &fileName,
                                                 const QByteArray &bytes, const QByteArray &original, bool lossy)
{
    const QString path = filePath(calendarUid, fileName);
    if (lossy) {
        // libical could not keep every line of this file: keep the file as it was beside.
        const QDir dir(calendarPath(calendarUid));
        const QString keep = dir.filePath(kOriginalsFolder + u'/' + fileName);
        if (!QFile::exists(keep) && dir.mkpath(kOriginalsFolder)) {
            if (auto kept = writeFileAtomically(keep, original); !kept)
                return kept.error();
            qCWarning(zemPlatform).noquote() << "CalendarStore:" << fileName
                                             << "had lines that cannot be kept; the original is in" << keep;
        }
    }
    if (auto written = writeFileAtomically(path, bytes); !written) {
        qCWarning(zemPlatform).noquote() << "CalendarStore:" << written.error().message;
        return written.error();
    }
    ownWrites().insert(path, bytes);
    return {};
}

ZEM_Result<void> CalendarStorePrivate::removeFile(const QString &calendarUid, const QString &fileName)
{
    const QString path = filePath(calendarUid, fileName);
    if (QFile::exists(path) && !QFile::remove(path))
        return ZEM_Error::make(ZEM_Error::WriteFailed, u"Could not remove %1"_s.arg(path), {path});
    ownWrites().insert(path, std::nullopt);
    return {};
}

QString CalendarStorePrivate::newUid() const
{
    QString uid;
    do
        uid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    while (index.contains(uid));
    return uid;
}

QString CalendarStorePrivate::freeFileName(const QString &calendarUid, const QString &uid) const
{
    QString name = fileNameForUid(uid, u".ics"_s);
    for (int n = 2; QFile::exists(filePath(calendarUid, name)); ++n)
        name = fileNameForUid(uid, u".ics"_s).chopped(4) + u"-%1.ics"_s.arg(n);
    return name;
}

// ---- Changing files ----------------------------------------------------------------------------

namespace {

// \a t written in the form of the master's start (its zone, or a date, or floating), as
// RECURRENCE-ID and EXDATE values must be.
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

bool hasItems(icalcomponent *root)
{
    for (icalcomponent *cal : calendarsOf(root))
        for (icalcomponent *c : children(cal, ICAL_ANY_COMPONENT))
            if (isItem(c))
                return true;
    return false;
}

void removeComponent(icalcomponent *c)
{
    icalcomponent_remove_component(icalcomponent_get_parent(c), c);
    icalcomponent_free(c);
}

// A new calendar with the header lines and zones of the calendar holding \a like.
IcalPtr newCalendarLike(icalcomponent *like)
{
    IcalPtr cal(icalcomponent_new_vcalendar());
    icalcomponent *from = calendarOf(like);
    for (icalproperty_kind kind : {ICAL_VERSION_PROPERTY, ICAL_PRODID_PROPERTY, ICAL_CALSCALE_PROPERTY})
        if (icalproperty *p = icalcomponent_get_first_property(from, kind))
            icalcomponent_add_property(cal.get(), icalproperty_new_clone(p));
    if (!icalcomponent_get_first_property(cal.get(), ICAL_VERSION_PROPERTY))
        icalcomponent_add_property(cal.get(), icalproperty_new_version("2.0"));
    for (icalcomponent *z : children(from, ICAL_VTIMEZONE_COMPONENT))
        icalcomponent_add_component(cal.get(), icalcomponent_new_clone(z));
    return cal;
}

// Moves every component of \a uid into a calendar of its own.
IcalPtr extract(icalcomponent *root, const QString &uid)
{
    const std::vector<icalcomponent *> comps = componentsOf(root, uid);
    if (comps.empty())
        return {};
    IcalPtr cal = newCalendarLike(comps.front());
    for (icalcomponent *c : comps) {
        icalcomponent_remove_component(icalcomponent_get_parent(c), c);
        icalcomponent_add_component(cal.get(), c);
    }
    return cal;
}

// Ends the series before \a occurrence.
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

// The fields that differ between two states of an item.
QStringList changedKeys(const QVariantMap &values, const QVariantMap &base)
{
    QStringList keys = values.keys() + base.keys();
    keys.removeDuplicates();
    keys.removeAll(kCalendarUid);
    keys.removeIf([&](const QString &k) { return sameValue(values.value(k), base.value(k)); });
    return keys;
}

ZEM_Error conflict(const QString &title, const QString &fileName, const QString &why)
{
    const QString name = title.isEmpty() ? fileName : title;
    return ZEM_Error::make(ZEM_Error::Conflict,
                           u"“%1” was changed by another program (%2): %3"_s.arg(name, fileName, why),
                           {name, fileName});
}

// The field a person reads in a conflict.
QString fieldName(const QString &key)
{
    static const QHash<QString, QString> names = {
        {kTitle, u"the title"_s},        {kNotes, u"the notes"_s},         {kUrl, u"the URL"_s},
        {kAlarms, u"the alarms"_s},      {kStart, u"the start"_s},         {kEnd, u"the end"_s},
        {kAllDay, u"all-day"_s},         {kLocation, u"the location"_s},   {kAttendees, u"the attendees"_s},
        {kRule, u"the repeat rule"_s},   {kPriority, u"the priority"_s},   {kDue, u"the due date"_s},
        {kCompletedDate, u"the completion date"_s}, {kCompleted, u"completion"_s},
    };
    return names.value(key, key);
}

ZEM_Error noCalendarFile(const QString &fileName)
{
    return ZEM_Error::make(ZEM_Error::Conflict,
                           u"%1 was changed by another program and can no longer be read."_s.arg(fileName),
                           {fileName});
}

} // namespace

// Refuses a save when another program changed a field the caller changed too.
template<typename Item>
ZEM_Result<void> CalendarStorePrivate::mergeCheck(const Item &ours, const std::optional<Item> &theirs, const QStringList &keys)
{
    if (!theirs)
        return conflict(ours.title(), ours.m_fileName, u"it was removed there"_s);
    for (const QString &key : keys) {
        const QVariant t = theirs->m_values.value(key);
        if (!sameValue(t, ours.m_base.value(key)) && !sameValue(t, ours.m_values.value(key)))
            return conflict(ours.title(), ours.m_fileName, u"both changed %1"_s.arg(fieldName(key)));
    }
    return {};
}

// Gives a new item a UID, or checks that the one it brings is not taken. Another program
// may have written an item with that UID since the last read: read the folder again first,
// or the new file would hide that item.
ZEM_Result<void> CalendarStorePrivate::claimUid(QString &uid)
{
    if (uid.isEmpty()) {
        uid = newUid();
        return {};
    }
    scan(true);
    if (index.contains(uid))
        return ZEM_Error::make(ZEM_Error::InvalidArgument, u"An item with the UID %1 already exists."_s.arg(uid),
                               {uid});
    return {};
}

// Writes \a doc to a file of its own in the calendar; the origin its items then have.
ZEM_Result<Origin> CalendarStorePrivate::writeNewFile(const QString &calendarUid, const QString &uid,
                                                      icalcomponent *doc)
{
    Origin origin{calendarUid, freeFileName(calendarUid, uid), serialize(doc)};
    if (auto w = writeFile(calendarUid, origin.fileName, origin.bytes, {}, false); !w)
        return w.error();
    return origin;
}

// A file that is gone reads as not existing; one that no longer parses is a conflict.
ZEM_Result<CalendarStorePrivate::ItemFile> CalendarStorePrivate::readItemFile(const QString &calendarUid,
                                                                              const QString &fileName) const
{
    if (auto ok = checkCalendar(calendarUid); !ok)
        return ok.error();
    ItemFile file;
    file.origin = Origin{calendarUid, fileName, {}};
    const std::optional<QByteArray> bytes = readBytes(filePath(calendarUid, fileName));
    if (!bytes)
        return file;
    file.exists = true;
    file.origin.bytes = *bytes;
    file.parsed = parseIcs(*bytes);
    if (!file.parsed.root)
        return noCalendarFile(fileName);
    return file;
}

// Writes back what is left in \a file, or removes it when no item is left; the bytes written.
ZEM_Result<QByteArray> CalendarStorePrivate::writeBack(const ItemFile &file)
{
    const Origin &o = file.origin;
    if (!hasItems(file.root())) {
        if (auto r = removeFile(o.calendarUid, o.fileName); !r)
            return r.error();
        return QByteArray();
    }
    QByteArray bytes = serialize(file.root());
    if (auto w = writeFile(o.calendarUid, o.fileName, bytes, o.bytes, file.parsed.lossy); !w)
        return w.error();
    return bytes;
}

// ---- CalendarStore ---------------------------------------------------------------------------

QString CalendarStore::defaultFolder()
{
    if (!defaultFolderSetting.isEmpty())
        return defaultFolderSetting;
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u"/calendars"_s;
}

void CalendarStore::setDefaultFolder(const QString &folder)
{
    defaultFolderSetting = folder;
}

CalendarStore *CalendarStore::defaultCalendarStore()
{
    if (!sharedStore) {
        static bool cleanupAdded = false;
        if (!cleanupAdded) {
            // The store holds a watcher: drop it while the application object still exists.
            qAddPostRoutine(&CalendarStore::resetDefaultCalendarStore);
            cleanupAdded = true;
        }
        sharedStore = std::make_unique<CalendarStore>(defaultFolder(), true);
    }
    return sharedStore.get();
}

void CalendarStore::resetDefaultCalendarStore()
{
    sharedStore.reset();
}

CalendarStore::CalendarStore(const QString &folder, bool watch, QObject *parent)
    : QObject(parent), d(std::make_unique<CalendarStorePrivate>())
{
    initLibical();
    d->q = this;
    d->folder = QDir::cleanPath(QDir(folder).absolutePath());
    if (!QDir().mkpath(d->folder))
        qCWarning(zemPlatform) << "CalendarStore: cannot create" << d->folder;
    d->scan(false);
    if (watch)
        d->startWatching();
}

CalendarStore::~CalendarStore() = default;

QString CalendarStore::folder() const
{
    return d->folder;
}

QStringList CalendarStore::problems() const
{
    return d->problems;
}

void CalendarStore::refresh()
{
    if (d->watcher)
        d->watcher->cancelPending();
    d->scan(true);
}

QList<CalCalendar> CalendarStore::calendars() const
{
    QList<CalCalendar> out;
    for (const auto &[uid, f] : d->folders)
        out.append(f.calendar);
    std::stable_sort(out.begin(), out.end(), [](const CalCalendar &a, const CalCalendar &b) {
        return a.title().compare(b.title(), Qt::CaseInsensitive) < 0;
    });
    return out;
}

std::optional<CalCalendar> CalendarStore::calendarWithUID(const QString &uid) const
{
    const auto f = d->folders.find(uid);
    if (f == d->folders.end())
        return std::nullopt;
    return f->second.calendar;
}

ZEM_Result<void> CalendarStore::saveCalendar(CalCalendar &calendar)
{
    QString uid = calendar.m_uid;
    if (uid.isEmpty()) {
        do
            uid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        while (QFileInfo::exists(d->calendarPath(uid)));
    } else if (uid.contains(u'/') || uid.startsWith(u'.')) {
        return ZEM_Error::make(ZEM_Error::InvalidArgument, u"“%1” cannot name a calendar."_s.arg(uid), {uid});
    }
    const QString path = d->calendarPath(uid);
    if (!QDir().mkpath(path))
        return ZEM_Error::make(ZEM_Error::WriteFailed, u"Could not create the calendar folder %1"_s.arg(path), {path});
    const QDir dir(path);
    if (auto w = writeFileAtomically(dir.filePath(u"displayname"_s), calendar.title().toUtf8()); !w)
        return w.error();
    if (calendar.color().isValid()) {
        if (auto w = writeFileAtomically(dir.filePath(u"color"_s), colorText(calendar.color()).toUtf8()); !w)
            return w.error();
    } else {
        QFile::remove(dir.filePath(u"color"_s));
    }
    QJsonObject o;
    if (calendar.type() != kCalCalendarTypeLocal)
        o.insert(u"type"_s, calendar.type());
    if (!calendar.notes().isEmpty())
        o.insert(u"notes"_s, calendar.notes());
    if (!calendar.isEditable())
        o.insert(u"editable"_s, false);
    if (o.isEmpty()) {
        QFile::remove(dir.filePath(kMetaFileName));
    } else if (auto w = writeFileAtomically(dir.filePath(kMetaFileName), QJsonDocument(o).toJson()); !w) {
        return w.error();
    }
    QByteArray meta;
    calendar = CalendarStorePrivate::readCalendar(path, uid, &meta);
    ownWrites().insert(path, meta);
    d->scan(true);
    return {};
}

ZEM_Result<void> CalendarStore::removeCalendar(const CalCalendar &calendar)
{
    if (calendar.uid().isEmpty() || !d->folders.count(calendar.uid()))
        return ZEM_Error::make(ZEM_Error::NotFound, u"There is no calendar “%1”."_s.arg(calendar.title()),
                               {calendar.uid()});
    const QString path = d->calendarPath(calendar.uid());
    for (const auto &[name, file] : d->folders.at(calendar.uid()).files)
        ownWrites().insert(d->filePath(calendar.uid(), name), std::nullopt);
    if (!QDir(path).removeRecursively())
        return ZEM_Error::make(ZEM_Error::WriteFailed, u"Could not remove the calendar folder %1"_s.arg(path), {path});
    ownWrites().insert(path, std::nullopt);
    d->scan(true);
    return {};
}

namespace {

QStringList calendarUids(const QList<CalCalendar> &calendars)
{
    QStringList out;
    for (const CalCalendar &c : calendars)
        out.append(c.uid());
    return out;
}

} // namespace

CalEventPredicate CalendarStore::eventPredicateWithStartDate(const QDateTime &start, const QDateTime &end,
                                                             const QList<CalCalendar> &calendars)
{
    return CalEventPredicate{start, end, {}, calendarUids(calendars)};
}

CalEventPredicate CalendarStore::eventPredicateWithStartDate(const QDateTime &start, const QDateTime &end,
                                                             const QString &uid,
                                                             const QList<CalCalendar> &calendars)
{
    return CalEventPredicate{start, end, uid, calendarUids(calendars)};
}

CalTaskPredicate CalendarStore::taskPredicateWithCalendars(const QList<CalCalendar> &calendars)
{
    return CalTaskPredicate{calendarUids(calendars), false};
}

CalTaskPredicate CalendarStore::taskPredicateWithUncompletedTasks(const QList<CalCalendar> &calendars)
{
    return CalTaskPredicate{calendarUids(calendars), true};
}

QList<CalEvent> CalendarStore::eventsWithPredicate(const CalEventPredicate &predicate) const
{
    QList<CalEvent> out;
    if (!predicate.startDate.isValid() || !predicate.endDate.isValid())
        return out;
    for (const auto &[calUid, f] : d->folders) {
        if (!predicate.calendarUids.isEmpty() && !predicate.calendarUids.contains(calUid))
            continue;
        for (const auto &[name, file] : f.files) {
            if (!file->root)
                continue;
            for (const auto &[uid, task] : file->items) {
                if (task || (!predicate.uid.isEmpty() && uid != predicate.uid)
                    || d->index.value(uid) != std::pair(calUid, name))
                    continue;
                out += CalendarStorePrivate::expand(file->root.get(), Origin{calUid, name, file->bytes}, uid,
                                                    predicate.startDate, predicate.endDate, nullptr);
            }
        }
    }
    std::stable_sort(out.begin(), out.end(), [](const CalEvent &a, const CalEvent &b) {
        if (a.startDate() != b.startDate())
            return a.startDate() < b.startDate();
        return a.uid() < b.uid();
    });
    return out;
}

QList<CalTask> CalendarStore::tasksWithPredicate(const CalTaskPredicate &predicate) const
{
    QList<CalTask> out;
    for (const auto &[calUid, f] : d->folders) {
        if (!predicate.calendarUids.isEmpty() && !predicate.calendarUids.contains(calUid))
            continue;
        for (const auto &[name, file] : f.files) {
            if (!file->root)
                continue;
            for (const auto &[uid, task] : file->items) {
                if (!task || d->index.value(uid) != std::pair(calUid, name))
                    continue;
                std::optional<CalTask> t = CalendarStorePrivate::taskIn(file->root.get(),
                                                                        Origin{calUid, name, file->bytes}, uid);
                if (t && !(predicate.uncompletedOnly && t->isCompleted()))
                    out.append(*t);
            }
        }
    }
    return out;
}

std::optional<CalEvent> CalendarStore::eventWithUID(const QString &uid, const QDateTime &occurrence) const
{
    const CalendarStorePrivate::IcsFile *file = d->fileOf(uid);
    if (!file || !file->root)
        return std::nullopt;
    const auto where = d->index.value(uid);
    return CalendarStorePrivate::eventIn(file->root.get(), Origin{where.first, where.second, file->bytes}, uid,
                                         occurrence);
}

std::optional<CalTask> CalendarStore::taskWithUID(const QString &uid) const
{
    const CalendarStorePrivate::IcsFile *file = d->fileOf(uid);
    if (!file || !file->root)
        return std::nullopt;
    const auto where = d->index.value(uid);
    return CalendarStorePrivate::taskIn(file->root.get(), Origin{where.first, where.second, file->bytes}, uid);
}

ZEM_Result<void> CalendarStore::saveEvent(CalEvent &event, CalSpan span)
{
    const QString target = event.calendarUid();
    if (auto ok = d->checkCalendar(target); !ok)
        return ok;
    if (!event.startDate().isValid())
        return ZEM_Error::make(ZEM_Error::InvalidArgument, u"The event “%1” has no start date."_s.arg(event.title()));
    if (event.endDate().isValid() && event.endDate() < event.startDate())
        return ZEM_Error::make(ZEM_Error::InvalidArgument,
                               u"The event “%1” ends before it starts."_s.arg(event.title()));
    if (!event.endDate().isValid())
        event.setEndDate(event.isAllDay() ? event.startDate().addDays(1) : event.startDate());
    if (const auto rule = event.recurrenceRule()) {
        const auto end = rule->recurrenceEnd();
        if (rule->recurrenceInterval() < 1 || (end && !end->usesEndDate() && end->occurrenceCount() < 1)
            || (end && end->usesEndDate() && !end->endDate().isValid()))
            return ZEM_Error::make(ZEM_Error::InvalidArgument,
                                   u"The repeat rule of “%1” is not valid."_s.arg(event.title()));
    }

    if (event.m_new) {
        if (auto ok = d->claimUid(event.m_uid); !ok)
            return ok;
        IcalPtr doc = CalIcs::newDocument(event, true);
        const auto written = d->writeNewFile(target, event.m_uid, doc.get());
        if (!written)
            return written.error();
        if (auto saved = CalendarStorePrivate::eventIn(doc.get(), *written, event.m_uid, {}))
            event = *saved;
        d->scan(true);
        return {};
    }

    const QString fromCalendar = event.m_fileCalendarUid;
    const bool moving = target != fromCalendar;
    auto file = d->readItemFile(fromCalendar, event.m_fileName);
    if (!file)
        return file.error();
    if (!file->exists)
        return conflict(event.title(), event.m_fileName, u"its file was removed there"_s);
    icalcomponent *root = file->root();
    const Origin &diskOrigin = file->origin;
    const QStringList ours = changedKeys(event.m_values, event.m_base);
    if (diskOrigin.bytes != event.m_revision) {
        const auto theirs = CalendarStorePrivate::eventIn(root, diskOrigin, event.m_uid, event.m_occurrence);
        if (auto merged = CalendarStorePrivate::mergeCheck(event, theirs, ours); !merged)
            return merged;
    }
    if (ours.isEmpty() && !moving) {
        if (auto now = CalendarStorePrivate::eventIn(root, diskOrigin, event.m_uid, event.m_occurrence))
            event = *now;
        return {};
    }

    const std::vector<icalcomponent *> comps = componentsOf(root, event.m_uid);
    icalcomponent *master = masterOf(comps);
    const bool recurring = isRecurring(master);
    const QDateTime occurrence = event.m_occurrence;
    icalcomponent *detached = overrideFor(comps, occurrence);
    const QDateTime firstStart = master ? CalendarStorePrivate::eventFrom(master, diskOrigin, nullptr).startDate()
                                        : QDateTime();
    const bool whole = !recurring || (span == CalSpanFutureEvents && (!occurrence.isValid() || occurrence == firstStart));

    IcalPtr split;
    QString splitUid;
    QDateTime refreshAt; // the occurrence the caller's event becomes; invalid: the first
    if (!recurring) {
        icalcomponent *c = detached ? detached : master;
        if (!c)
            return conflict(event.title(), event.m_fileName, u"it was removed there"_s);
        CalIcs::apply(c, calendarOf(c), event, ours);
        refreshAt = detached ? occurrence : QDateTime();
    } else if (span == CalSpanThisEvent) {
        QStringList keys = ours;
        keys.removeAll(kRule); // one occurrence has no rule of its own
        if (!detached) {
            detached = icalcomponent_new_clone(master);
            for (icalproperty_kind kind : {ICAL_RRULE_PROPERTY, ICAL_RDATE_PROPERTY, ICAL_EXDATE_PROPERTY,
                                           ICAL_RECURRENCEID_PROPERTY, ICAL_DURATION_PROPERTY})
                removeProperties(detached, kind);
            setTimeProperty(detached, ICAL_RECURRENCEID_PROPERTY, likeStart(master, occurrence));
            setTimeProperty(detached, ICAL_DTSTART_PROPERTY,
                            likeStart(master, event.m_base.value(kStart).toDateTime()));
            setTimeProperty(detached, ICAL_DTEND_PROPERTY, likeStart(master, event.m_base.value(kEnd).toDateTime()));
            icalcomponent_add_component(calendarOf(master), detached);
        }
        CalIcs::apply(detached, calendarOf(detached), event, keys);
        refreshAt = occurrence;
    } else if (whole) {
        CalIcs::apply(master, calendarOf(master), event, ours);
    } else {
        // This occurrence and the later ones become a series of their own.
        splitUid = d->newUid();
        split = newCalendarLike(master);
        icalcomponent *next = icalcomponent_new_clone(master);
        icalcomponent_set_uid(next, splitUid.toUtf8().constData());
        removeProperties(next, ICAL_RECURRENCEID_PROPERTY);
        setTimeProperty(next, ICAL_DTSTART_PROPERTY, likeStart(master, event.m_base.value(kStart).toDateTime()));
        if (icalcomponent_get_first_property(next, ICAL_DTEND_PROPERTY))
            setTimeProperty(next, ICAL_DTEND_PROPERTY, likeStart(master, event.m_base.value(kEnd).toDateTime()));
        const Expansion before = seriesStarts(master, occurrence, nullptr, true);
        for (icalproperty *p : properties(next, ICAL_RRULE_PROPERTY)) {
            icalrecurrencetype r = icalproperty_get_rrule(p);
            if (r.count > 0) {
                r.count = std::max(1, r.count - before.ruleCountBefore);
                icalproperty_set_rrule(p, r);
            }
        }
        for (icalproperty_kind kind : {ICAL_RDATE_PROPERTY, ICAL_EXDATE_PROPERTY}) {
            for (icalproperty *p : properties(next, kind))
                if (timeOf(p, calendarOf(master), nullptr).value < occurrence) {
                    icalcomponent_remove_property(next, p);
                    icalproperty_free(p);
                }
        }
        endSeriesBefore(master, occurrence);
        for (icalproperty *p : properties(master, ICAL_EXDATE_PROPERTY))
            if (timeOf(p, calendarOf(master), nullptr).value >= occurrence) {
                icalcomponent_remove_property(master, p);
                icalproperty_free(p);
            }
        icalcomponent_add_component(split.get(), next);
        for (icalcomponent *c : comps) {
            if (c == master || recurrenceIdOf(c) < occurrence)
                continue;
            icalcomponent_remove_component(icalcomponent_get_parent(c), c);
            icalcomponent_set_uid(c, splitUid.toUtf8().constData());
            icalcomponent_add_component(split.get(), c);
        }
        CalIcs::apply(next, split.get(), event, ours);
        stampChanged(master);
    }

    // The caller's event lives on in the split-off series, in the moved copy, or in its file.
    const QString uid = split ? splitUid : event.m_uid;
    Origin saved{fromCalendar, event.m_fileName, {}};
    IcalPtr movedDoc;
    icalcomponent *savedRoot = root;
    if (split || moving) {
        if (!split)
            movedDoc = extract(root, event.m_uid);
        savedRoot = split ? split.get() : movedDoc.get();
        const auto written = d->writeNewFile(target, uid, savedRoot);
        if (!written)
            return written.error();
        saved = *written;
    }
    const auto kept = d->writeBack(*file);
    if (!kept)
        return kept.error();
    if (savedRoot == root)
        saved.bytes = *kept;
    if (auto now = CalendarStorePrivate::eventIn(savedRoot, saved, uid, split ? QDateTime() : refreshAt))
        event = *now;
    d->scan(true);
    return {};
}

ZEM_Result<void> CalendarStore::removeEvent(const CalEvent &event, CalSpan span)
{
    if (event.m_new)
        return ZEM_Error::make(ZEM_Error::NotFound, u"The event “%1” is not in the store."_s.arg(event.title()));
    auto file = d->readItemFile(event.m_fileCalendarUid, event.m_fileName);
    if (!file)
        return file.error();
    if (!file->exists)
        return {}; // already gone
    icalcomponent *root = file->root();
    const Origin &diskOrigin = file->origin;
    if (diskOrigin.bytes != event.m_revision) {
        const auto theirs = CalendarStorePrivate::eventIn(root, diskOrigin, event.m_uid, event.m_occurrence);
        if (!theirs)
            return {}; // removed there too
        if (!changedKeys(theirs->m_values, event.m_base).isEmpty())
            return conflict(event.title(), event.m_fileName, u"it was changed there and removed here"_s);
    }
    const std::vector<icalcomponent *> comps = componentsOf(root, event.m_uid);
    icalcomponent *master = masterOf(comps);
    const QDateTime occurrence = event.m_occurrence;
    const QDateTime firstStart = master ? CalendarStorePrivate::eventFrom(master, diskOrigin, nullptr).startDate()
                                        : QDateTime();
    if (!isRecurring(master)) {
        if (master || span == CalSpanFutureEvents) {
            for (icalcomponent *c : comps)
                removeComponent(c);
        } else if (icalcomponent *c = overrideFor(comps, occurrence)) {
            removeComponent(c);
        }
    } else if (span == CalSpanFutureEvents && (!occurrence.isValid() || occurrence <= firstStart)) {
        for (icalcomponent *c : comps)
            removeComponent(c);
    } else if (span == CalSpanThisEvent) {
        if (icalcomponent *c = overrideFor(comps, occurrence))
            removeComponent(c);
        const TimeWrite x = likeStart(master, occurrence);
        icalproperty *p = icalproperty_new_exdate(x.time);
        icalcomponent_add_property(master, p);
        setTimeValue(p, x);
        stampChanged(master);
    } else {
        for (icalcomponent *c : comps)
            if (c != master && recurrenceIdOf(c) >= occurrence)
                removeComponent(c);
        endSeriesBefore(master, occurrence);
        stampChanged(master);
    }
    if (const auto kept = d->writeBack(*file); !kept)
        return kept.error();
    d->scan(true);
    return {};
}

ZEM_Result<void> CalendarStore::saveTask(CalTask &task)
{
    const QString target = task.calendarUid();
    if (auto ok = d->checkCalendar(target); !ok)
        return ok;
    if (task.m_new) {
        if (auto ok = d->claimUid(task.m_uid); !ok)
            return ok;
        IcalPtr doc = CalIcs::newDocument(task, false);
        const auto written = d->writeNewFile(target, task.m_uid, doc.get());
        if (!written)
            return written.error();
        if (auto saved = CalendarStorePrivate::taskIn(doc.get(), *written, task.m_uid))
            task = *saved;
        d->scan(true);
        return {};
    }
    const QString fromCalendar = task.m_fileCalendarUid;
    const bool moving = target != fromCalendar;
    auto file = d->readItemFile(fromCalendar, task.m_fileName);
    if (!file)
        return file.error();
    if (!file->exists)
        return conflict(task.title(), task.m_fileName, u"its file was removed there"_s);
    icalcomponent *root = file->root();
    const Origin &diskOrigin = file->origin;
    const QStringList ours = changedKeys(task.m_values, task.m_base);
    if (diskOrigin.bytes != task.m_revision)
        if (auto merged = CalendarStorePrivate::mergeCheck(task, CalendarStorePrivate::taskIn(root, diskOrigin, task.m_uid), ours); !merged)
            return merged;
    if (ours.isEmpty() && !moving) {
        if (auto now = CalendarStorePrivate::taskIn(root, diskOrigin, task.m_uid))
            task = *now;
        return {};
    }
    const std::vector<icalcomponent *> comps = componentsOf(root, task.m_uid);
    icalcomponent *c = masterOf(comps);
    if (!c)
        return conflict(task.title(), task.m_fileName, u"it was removed there"_s);
    CalIcs::apply(c, calendarOf(c), task, ours);

    Origin saved{fromCalendar, task.m_fileName, {}};
    IcalPtr movedDoc;
    icalcomponent *savedRoot = root;
    if (moving) {
        movedDoc = extract(root, task.m_uid);
        savedRoot = movedDoc.get();
        const auto written = d->writeNewFile(target, task.m_uid, savedRoot);
        if (!written)
            return written.error();
        saved = *written;
    }
    const auto kept = d->writeBack(*file);
    if (!kept)
        return kept.error();
    if (!moving)
        saved.bytes = *kept;
    if (auto now = CalendarStorePrivate::taskIn(savedRoot, saved, task.m_uid))
        task = *now;
    d->scan(true);
    return {};
}

ZEM_Result<void> CalendarStore::removeTask(const CalTask &task)
{
    if (task.m_new)
        return ZEM_Error::make(ZEM_Error::NotFound, u"The to-do “%1” is not in the store."_s.arg(task.title()));
    auto file = d->readItemFile(task.m_fileCalendarUid, task.m_fileName);
    if (!file)
        return file.error();
    if (!file->exists)
        return {}; // already gone
    icalcomponent *root = file->root();
    if (file->origin.bytes != task.m_revision) {
        const auto theirs = CalendarStorePrivate::taskIn(root, file->origin, task.m_uid);
        if (!theirs)
            return {};
        if (!changedKeys(theirs->m_values, task.m_base).isEmpty())
            return conflict(task.title(), task.m_fileName, u"it was changed there and removed here"_s);
    }
    for (icalcomponent *c : componentsOf(root, task.m_uid))
        removeComponent(c);
    if (const auto kept = d->writeBack(*file); !kept)
        return kept.error();
    d->scan(true);
    return {};
}

CalItemsRead CalendarStore::readICalendarData(const QByteArray &data)
{
    CalItemsRead out;
    Parsed parsed = parseIcs(data);
    out.problems = parsed.problems;
    if (!parsed.root)
        return out;
    const Origin origin{{}, {}, data};
    for (icalcomponent *cal : calendarsOf(parsed.root.get())) {
        for (icalcomponent *c : platform::children(cal, ICAL_ANY_COMPONENT)) {
            if (icalcomponent_isa(c) == ICAL_VEVENT_COMPONENT) {
                CalEvent e = CalendarStorePrivate::eventFrom(c, origin, &out.problems);
                e.m_occurrence = hasRecurrenceId(c) ? recurrenceIdOf(c) : e.startDate();
                e.m_detached = hasRecurrenceId(c);
                e.m_new = true;
                out.events.append(e);
            } else if (icalcomponent_isa(c) == ICAL_VTODO_COMPONENT) {
                CalTask t;
                CalIcs::readItem(t, c, cal, &out.problems);
                out.tasks.append(t);
            }
        }
    }
    return out;
}

QByteArray CalendarStore::iCalendarData(const CalEvent &event)
{
    CalEvent copy = event;
    if (copy.m_uid.isEmpty())
        copy.m_uid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    return serialize(CalIcs::newDocument(copy, true).get());
}

QByteArray CalendarStore::iCalendarData(const CalTask &task)
{
    CalTask copy = task;
    if (copy.m_uid.isEmpty())
        copy.m_uid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    return serialize(CalIcs::newDocument(copy, false).get());
}

} // namespace platform
