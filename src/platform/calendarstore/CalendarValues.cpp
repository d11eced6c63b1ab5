#include "platform/calendarstore/CalendarValues.h"

#include "platform/calendarstore/detail/CalValues.h"

namespace platform {

namespace detail {

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

} // namespace detail

using namespace detail;

// ---- CalAlarm -------------------------------------------------------------------------------

CalAlarm::CalAlarm() : d(new CalAlarmData) {}
CalAlarm::CalAlarm(const CalAlarm &other) = default;
CalAlarm &CalAlarm::operator=(const CalAlarm &other) = default;
CalAlarm::~CalAlarm() = default;

QString CalAlarm::action() const { return d->action; }
void CalAlarm::setAction(const QString &action) { d->action = action; }
QString CalAlarm::emailAddress() const { return d->emailAddress; }
void CalAlarm::setEmailAddress(const QString &address) { d->emailAddress = address; }
QString CalAlarm::sound() const { return d->sound; }
void CalAlarm::setSound(const QString &sound) { d->sound = sound; }
QUrl CalAlarm::url() const { return d->url; }
void CalAlarm::setUrl(const QUrl &url) { d->url = url; }
QDateTime CalAlarm::absoluteTrigger() const { return d->absoluteTrigger; }
void CalAlarm::setAbsoluteTrigger(const QDateTime &date) { d->absoluteTrigger = date; }
double CalAlarm::relativeTrigger() const { return d->relativeTrigger; }
void CalAlarm::setRelativeTrigger(double seconds) { d->relativeTrigger = seconds; }

bool CalAlarm::operator==(const CalAlarm &other) const
{
    const CalAlarmData &o = *other.d;
    return d->action == o.action && d->emailAddress == o.emailAddress && d->sound == o.sound
           && d->url == o.url && d->absoluteTrigger == o.absoluteTrigger
           && d->absoluteTrigger.isValid() == o.absoluteTrigger.isValid()
           && d->relativeTrigger == o.relativeTrigger;
}

// ---- CalAttendee ----------------------------------------------------------------------------

CalAttendee::CalAttendee() : d(new CalAttendeeData) {}
CalAttendee::CalAttendee(const QString &commonName, const QUrl &address) : CalAttendee()
{
    d->commonName = commonName;
    d->address = address;
}
CalAttendee::CalAttendee(const CalAttendee &other) = default;
CalAttendee &CalAttendee::operator=(const CalAttendee &other) = default;
CalAttendee::~CalAttendee() = default;

QString CalAttendee::commonName() const { return d->commonName; }
void CalAttendee::setCommonName(const QString &name) { d->commonName = name; }
QUrl CalAttendee::address() const { return d->address; }
void CalAttendee::setAddress(const QUrl &address) { d->address = address; }
QString CalAttendee::status() const { return d->status; }
void CalAttendee::setStatus(const QString &status) { d->status = status; }

bool CalAttendee::operator==(const CalAttendee &other) const
{
    const CalAttendeeData &o = *other.d;
    return d->commonName == o.commonName && d->address == o.address && d->status == o.status;
}

// ---- Recurrence -----------------------------------------------------------------------------

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

CalRecurrenceRule::CalRecurrenceRule() : d(new CalRecurrenceRuleData) {}
CalRecurrenceRule::CalRecurrenceRule(Type type, int interval, std::optional<CalRecurrenceEnd> end)
    : CalRecurrenceRule()
{
    d->type = type;
    d->interval = interval;
    d->end = end;
}
CalRecurrenceRule::CalRecurrenceRule(const CalRecurrenceRule &other) = default;
CalRecurrenceRule &CalRecurrenceRule::operator=(const CalRecurrenceRule &other) = default;
CalRecurrenceRule::~CalRecurrenceRule() = default;

CalRecurrenceRule::Type CalRecurrenceRule::recurrenceType() const { return d->type; }
void CalRecurrenceRule::setRecurrenceType(Type type) { d->type = type; }
int CalRecurrenceRule::recurrenceInterval() const { return d->interval; }
void CalRecurrenceRule::setRecurrenceInterval(int interval) { d->interval = interval; }
std::optional<CalRecurrenceEnd> CalRecurrenceRule::recurrenceEnd() const { return d->end; }
void CalRecurrenceRule::setRecurrenceEnd(std::optional<CalRecurrenceEnd> end) { d->end = end; }
QString CalRecurrenceRule::iCalendarText() const { return d->text; }

bool CalRecurrenceRule::operator==(const CalRecurrenceRule &other) const
{
    const CalRecurrenceRuleData &o = *other.d;
    return d->type == o.type && d->interval == o.interval && d->end == o.end && d->text == o.text;
}

// ---- CalCalendar ----------------------------------------------------------------------------

CalCalendar::CalCalendar() : d(new CalCalendarData) {}
CalCalendar::CalCalendar(const CalCalendar &other) = default;
CalCalendar &CalCalendar::operator=(const CalCalendar &other) = default;
CalCalendar::~CalCalendar() = default;

QString CalCalendar::uid() const { return d->uid; }
QString CalCalendar::title() const { return d->title; }
void CalCalendar::setTitle(const QString &title) { d->title = title; }
QColor CalCalendar::color() const { return d->color; }
void CalCalendar::setColor(const QColor &color) { d->color = color; }
QString CalCalendar::type() const { return d->type; }
void CalCalendar::setType(const QString &type) { d->type = type; }
QString CalCalendar::notes() const { return d->notes; }
void CalCalendar::setNotes(const QString &notes) { d->notes = notes; }
bool CalCalendar::isEditable() const { return d->editable; }
void CalCalendar::setEditable(bool editable) { d->editable = editable; }

bool CalCalendar::operator==(const CalCalendar &other) const
{
    const CalCalendarData &o = *other.d;
    return d->uid == o.uid && d->title == o.title && d->color == o.color && d->type == o.type
           && d->notes == o.notes && d->editable == o.editable;
}

// ---- Items ----------------------------------------------------------------------------------

CalCalendarItem::CalCalendarItem() : d(new CalItemData) {}
CalCalendarItem::CalCalendarItem(const CalCalendarItem &other) = default;
CalCalendarItem &CalCalendarItem::operator=(const CalCalendarItem &other) = default;
CalCalendarItem::~CalCalendarItem() = default;

QString CalCalendarItem::uid() const
{
    return d->uid;
}

QDateTime CalCalendarItem::dateStamp() const
{
    return d->dateStamp;
}

bool CalCalendarItem::isNew() const
{
    return d->isNew;
}

QVariant CalCalendarItem::value(const QString &key) const
{
    return d->values.value(key);
}

void CalCalendarItem::set(const QString &key, const QVariant &value)
{
    const bool empty = !value.isValid() || (value.metaType() == QMetaType::fromType<QString>() && value.toString().isNull())
                       || (value.metaType() == QMetaType::fromType<QDateTime>() && !value.toDateTime().isValid());
    if (empty)
        d->values.remove(key);
    else
        d->values.insert(key, value);
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
    return d->values.value(kAlarms).value<QList<CalAlarm>>();
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
    if (d->isNew)
        return true;
    QStringList keys = d->values.keys() + d->base.keys();
    for (const QString &key : keys)
        if (!sameValue(d->values.value(key), d->base.value(key)))
            return true;
    return false;
}

QDateTime CalEvent::occurrence() const
{
    return CalValues::of(*this).occurrence;
}

bool CalEvent::isDetached() const
{
    return CalValues::of(*this).detached;
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

} // namespace platform
