#pragma once

#include "zem_appkit_export.h"

#include <QColor>
#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QSharedDataPointer>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariant>

#include <optional>

namespace platform {

namespace detail {
struct CalAlarmData;
struct CalAttendeeData;
struct CalRecurrenceRuleData;
struct CalCalendarData;
struct CalItemData;
struct CalValues;
} // namespace detail

// ---- Names -----------------------------------------------------------------------------------

// Calendar types. A calendar folder says its type in its ".zem-calendar.json" file; a folder
// without one is a local calendar.
inline const QString kCalCalendarTypeLocal = QStringLiteral("Local");
inline const QString kCalCalendarTypeCalDAV = QStringLiteral("CalDAV");
inline const QString kCalCalendarTypeIMAP = QStringLiteral("IMAP");
inline const QString kCalCalendarTypeExchange = QStringLiteral("Exchange");
inline const QString kCalCalendarTypeSubscription = QStringLiteral("Subscription");
inline const QString kCalCalendarTypeBirthday = QStringLiteral("Birthday");

// Alarm actions, as iCalendar names them.
inline const QString kCalAlarmActionAudio = QStringLiteral("AUDIO");
inline const QString kCalAlarmActionDisplay = QStringLiteral("DISPLAY");
inline const QString kCalAlarmActionEmail = QStringLiteral("EMAIL");
inline const QString kCalAlarmActionProcedure = QStringLiteral("PROCEDURE");

/** Which occurrences of a repeating event a save or a removal touches. */
enum CalSpan {
    CalSpanThisEvent = 0,   ///< the one occurrence
    CalSpanFutureEvents = 1 ///< that occurrence and every later one
};

/** To-do priorities as iCalendar codes them (1 to 4 read as high, 6 to 9 as low). */
enum CalPriority { CalPriorityNone = 0, CalPriorityHigh = 1, CalPriorityMedium = 5, CalPriorityLow = 9 };

// ---- Values ---------------------------------------------------------------------------------
// Implicitly shared: copies are cheap and a change detaches. What the store keeps about
// where a value came from is in a private part the store reads.

/**
 * An alarm of an event or to-do: an action with a trigger, either relative to the item's
 * start (or due date) in seconds, negative before, or at an absolute date. A value type;
 * an alarm read from a file keeps that file's other alarm lines through edits.
 */
class ZEM_APPKIT_EXPORT CalAlarm
{
public:
    CalAlarm();
    CalAlarm(const CalAlarm &other);
    CalAlarm &operator=(const CalAlarm &other);
    ~CalAlarm();

    /** A new display alarm with a relative trigger of 0. */
    static CalAlarm alarm() { return CalAlarm(); }

    QString action() const;
    void setAction(const QString &action);
    /** The address an EMAIL alarm goes to (without "mailto:"). */
    QString emailAddress() const;
    void setEmailAddress(const QString &address);
    /** The sound an AUDIO alarm plays: a name or a file URL's text. */
    QString sound() const;
    void setSound(const QString &sound);
    /** The file a PROCEDURE alarm opens or runs. */
    QUrl url() const;
    void setUrl(const QUrl &url);
    /** Invalid for a relative alarm. Setting a valid date makes the alarm absolute. */
    QDateTime absoluteTrigger() const;
    void setAbsoluteTrigger(const QDateTime &date);
    double relativeTrigger() const;
    void setRelativeTrigger(double seconds);

    /** Equal when every field above is; where each came from does not count. */
    bool operator==(const CalAlarm &other) const;

private:
    friend struct detail::CalValues;
    QSharedDataPointer<detail::CalAlarmData> d;
};

/** Someone invited to an event. */
class ZEM_APPKIT_EXPORT CalAttendee
{
public:
    CalAttendee();
    CalAttendee(const QString &commonName, const QUrl &address);
    CalAttendee(const CalAttendee &other);
    CalAttendee &operator=(const CalAttendee &other);
    ~CalAttendee();

    QString commonName() const;
    void setCommonName(const QString &name);
    /** Usually a "mailto:" URL. */
    QUrl address() const;
    void setAddress(const QUrl &address);
    /** The participation status ("ACCEPTED", "NEEDS-ACTION", ...), empty when not given. */
    QString status() const;
    void setStatus(const QString &status);
    bool operator==(const CalAttendee &other) const;

private:
    friend struct detail::CalValues;
    QSharedDataPointer<detail::CalAttendeeData> d;
};

/** How a repeating event ends: at a date, or after a number of occurrences. */
class ZEM_APPKIT_EXPORT CalRecurrenceEnd
{
public:
    static CalRecurrenceEnd endWithEndDate(const QDateTime &date);
    static CalRecurrenceEnd endWithOccurrenceCount(int count);
    bool usesEndDate() const { return m_usesEndDate; }
    QDateTime endDate() const { return m_endDate; }
    int occurrenceCount() const { return m_count; }
    bool operator==(const CalRecurrenceEnd &) const = default;

private:
    bool m_usesEndDate = false;
    QDateTime m_endDate;
    int m_count = 0;
};

/**
 * The repeat rule of an event. The kit sets the type, interval and end; a rule read from a
 * file keeps its other parts (days of the week, positions, ...) when those are changed.
 */
class ZEM_APPKIT_EXPORT CalRecurrenceRule
{
public:
    enum Type { Daily = 0, Weekly = 1, Monthly = 2, Yearly = 3, Other = 4 };

    CalRecurrenceRule();
    CalRecurrenceRule(Type type, int interval, std::optional<CalRecurrenceEnd> end = std::nullopt);
    CalRecurrenceRule(const CalRecurrenceRule &other);
    CalRecurrenceRule &operator=(const CalRecurrenceRule &other);
    ~CalRecurrenceRule();

    Type recurrenceType() const;
    void setRecurrenceType(Type type);
    int recurrenceInterval() const;
    void setRecurrenceInterval(int interval);
    /** None: the rule repeats for ever. */
    std::optional<CalRecurrenceEnd> recurrenceEnd() const;
    void setRecurrenceEnd(std::optional<CalRecurrenceEnd> end);
    /** The rule as it stood in the file ("FREQ=WEEKLY;BYDAY=MO,WE"), empty for a new rule. */
    QString iCalendarText() const;

    bool operator==(const CalRecurrenceRule &other) const;

private:
    friend struct detail::CalValues;
    QSharedDataPointer<detail::CalRecurrenceRuleData> d;
};

/**
 * A calendar: a sub-folder of the store's folder. Its uid is the folder's name, its title
 * and colour are the folder's "displayname" and "color" files.
 */
class ZEM_APPKIT_EXPORT CalCalendar
{
public:
    CalCalendar();
    CalCalendar(const CalCalendar &other);
    CalCalendar &operator=(const CalCalendar &other);
    ~CalCalendar();

    /** A new calendar, not yet in a store: local, editable, untitled. */
    static CalCalendar calendar() { return CalCalendar(); }

    QString uid() const;
    QString title() const;
    void setTitle(const QString &title);
    /** Invalid when the calendar has no colour. */
    QColor color() const;
    void setColor(const QColor &color);
    QString type() const;
    void setType(const QString &type);
    QString notes() const;
    void setNotes(const QString &notes);
    /** False for a calendar marked read-only and for a folder this user cannot write. */
    bool isEditable() const;
    void setEditable(bool editable);

    bool operator==(const CalCalendar &other) const;

private:
    friend struct detail::CalValues;
    QSharedDataPointer<detail::CalCalendarData> d;
};

/**
 * What events and to-dos share. Items are values: the store hands out copies, callers
 * change them and hand them back to CalendarStore::saveEvent() or saveTask(). An item
 * remembers what it was read as, so a save writes only the fields the caller changed and
 * can tell them from what another program changed in the meantime.
 */
class ZEM_APPKIT_EXPORT CalCalendarItem
{
public:
    CalCalendarItem(const CalCalendarItem &other);
    CalCalendarItem &operator=(const CalCalendarItem &other);
    ~CalCalendarItem();

    QString uid() const;
    /** The calendar that holds the item; setting another one moves the item on save. */
    QString calendarUid() const { return string(QStringLiteral("calendarUid")); }
    void setCalendarUid(const QString &uid);
    void setCalendar(const CalCalendar &calendar) { setCalendarUid(calendar.uid()); }

    QString title() const { return string(QStringLiteral("title")); }
    void setTitle(const QString &title) { set(QStringLiteral("title"), title); }
    QString notes() const { return string(QStringLiteral("notes")); }
    void setNotes(const QString &notes) { set(QStringLiteral("notes"), notes); }
    QUrl url() const { return value(QStringLiteral("url")).toUrl(); }
    void setUrl(const QUrl &url);
    /** When the item was last written (DTSTAMP); invalid for a new item. */
    QDateTime dateStamp() const;

    QList<CalAlarm> alarms() const;
    bool hasAlarm() const { return !alarms().isEmpty(); }
    void setAlarms(const QList<CalAlarm> &alarms);
    void addAlarm(const CalAlarm &alarm);
    /** Removes the first alarm equal to \a alarm. */
    void removeAlarm(const CalAlarm &alarm);

    /** Not yet in the store. */
    bool isNew() const;
    /** Holds changes not yet saved. */
    bool hasChanges() const;

protected:
    CalCalendarItem();
    QVariant value(const QString &key) const;
    QString string(const QString &key) const { return value(key).toString(); }
    void set(const QString &key, const QVariant &value);

private:
    friend struct detail::CalValues;
    QSharedDataPointer<detail::CalItemData> d;
};

/**
 * An event, or one occurrence of a repeating event. All-day events start at midnight of
 * their first day and end at midnight after their last day, in local time whatever the
 * time zone; floating times are local times. Other dates carry their time zone.
 */
class ZEM_APPKIT_EXPORT CalEvent : public CalCalendarItem
{
public:
    /** A new event, not yet in a store. */
    static CalEvent event() { return CalEvent(); }

    QDateTime startDate() const { return value(QStringLiteral("startDate")).toDateTime(); }
    void setStartDate(const QDateTime &date) { set(QStringLiteral("startDate"), date); }
    QDateTime endDate() const { return value(QStringLiteral("endDate")).toDateTime(); }
    void setEndDate(const QDateTime &date) { set(QStringLiteral("endDate"), date); }
    bool isAllDay() const { return value(QStringLiteral("isAllDay")).toBool(); }
    void setIsAllDay(bool allDay) { set(QStringLiteral("isAllDay"), allDay ? QVariant(true) : QVariant()); }
    QString location() const { return string(QStringLiteral("location")); }
    void setLocation(const QString &location) { set(QStringLiteral("location"), location); }

    /** The start this occurrence has in its series (its original start); the start date
        for an event that does not repeat, invalid for a new event. */
    QDateTime occurrence() const;
    /** This occurrence was changed apart from its series. */
    bool isDetached() const;

    QList<CalAttendee> attendees() const;
    void setAttendees(const QList<CalAttendee> &attendees);

    std::optional<CalRecurrenceRule> recurrenceRule() const;
    /** None makes the event single; saved with the whole series (CalSpanFutureEvents). */
    void setRecurrenceRule(const std::optional<CalRecurrenceRule> &rule);
};

/** A to-do. */
class ZEM_APPKIT_EXPORT CalTask : public CalCalendarItem
{
public:
    /** A new to-do, not yet in a store. */
    static CalTask task() { return CalTask(); }

    /** 0 none, 1 (high) to 9 (low); see CalPriority. */
    int priority() const { return value(QStringLiteral("priority")).toInt(); }
    void setPriority(int priority) { set(QStringLiteral("priority"), priority ? QVariant(priority) : QVariant()); }
    /** Invalid when the to-do has no due date. */
    QDateTime dueDate() const { return value(QStringLiteral("dueDate")).toDateTime(); }
    void setDueDate(const QDateTime &date) { set(QStringLiteral("dueDate"), date); }
    /** When it was completed; invalid while open. */
    QDateTime completedDate() const { return value(QStringLiteral("completedDate")).toDateTime(); }
    /** A valid date also marks the to-do completed, an invalid one open. */
    void setCompletedDate(const QDateTime &date);
    bool isCompleted() const { return value(QStringLiteral("isCompleted")).toBool(); }
    /** Completing stamps the completion date with now when it has none; reopening clears it. */
    void setIsCompleted(bool completed);
};

/** Which events eventsWithPredicate() gives: those overlapping [startDate, endDate). */
struct CalEventPredicate
{
    QDateTime startDate;
    QDateTime endDate;
    QString uid;               ///< only this event's occurrences, when not empty
    QStringList calendarUids;  ///< only these calendars; every calendar when empty
};

/** Which to-dos tasksWithPredicate() gives. */
struct CalTaskPredicate
{
    QStringList calendarUids; ///< every calendar when empty
    bool uncompletedOnly = false;
};

/** What CalendarStore::readICalendarData() found in some bytes. */
struct CalItemsRead
{
    QList<CalEvent> events; ///< the events as stored: one per series, overrides apart
    QList<CalTask> tasks;
    QStringList problems;
};

} // namespace platform

Q_DECLARE_METATYPE(platform::CalAlarm)
Q_DECLARE_METATYPE(platform::CalAttendee)
Q_DECLARE_METATYPE(platform::CalRecurrenceRule)
