#pragma once
// Not installed: the private part of the calendar value types, which the store and its
// iCalendar mapping read and set, and the field keys items keep their values under.

#include "platform/calendarstore/CalendarValues.h"

#include "foundation/detail/ZEM_F_Files.h"

#include <QByteArray>
#include <QSet>
#include <QSharedData>
#include <QVariantMap>

namespace platform::detail {

// The keys of an item's fields; an item without a value for one has none.
inline const QString kTitle = QStringLiteral("title");
inline const QString kNotes = QStringLiteral("notes");
inline const QString kUrl = QStringLiteral("url");
inline const QString kCalendarUid = QStringLiteral("calendarUid");
inline const QString kAlarms = QStringLiteral("alarms");
inline const QString kStart = QStringLiteral("startDate");
inline const QString kEnd = QStringLiteral("endDate");
inline const QString kAllDay = QStringLiteral("isAllDay");
inline const QString kLocation = QStringLiteral("location");
inline const QString kAttendees = QStringLiteral("attendees");
inline const QString kRule = QStringLiteral("recurrenceRule");
inline const QString kPriority = QStringLiteral("priority");
inline const QString kDue = QStringLiteral("dueDate");
inline const QString kCompletedDate = QStringLiteral("completedDate");
inline const QString kCompleted = QStringLiteral("isCompleted");

/** Whether two field values are the same; dates compare by instant and by kind, so a
    floating 09:00 is not the same value as 09:00 UTC even where the two fall together. */
bool sameValue(const QVariant &a, const QVariant &b);

struct CalAlarmData : QSharedData
{
    QString action = kCalAlarmActionDisplay;
    QString emailAddress;
    QString sound;
    QUrl url;
    QDateTime absoluteTrigger;
    double relativeTrigger = 0;
    QByteArray source; // the VALARM as read
};

struct CalAttendeeData : QSharedData
{
    QString commonName;
    QUrl address;
    QString status;
    QByteArray source; // the ATTENDEE line as read
};

struct CalRecurrenceRuleData : QSharedData
{
    CalRecurrenceRule::Type type = CalRecurrenceRule::Daily;
    int interval = 1;
    std::optional<CalRecurrenceEnd> end;
    QString text; // the RRULE value as read
};

struct CalCalendarData : QSharedData
{
    QString uid;
    QString title;
    QColor color;
    QString type = kCalCalendarTypeLocal;
    QString notes;
    bool editable = true;
};

/** What an event or to-do holds. */
struct CalItemData : QSharedData
{
    QString uid;
    QDateTime dateStamp;
    QVariantMap values;   // field -> value, absent when the item has none
    QVariantMap base;     // the fields as last read or saved
    QSet<QString> floating; // date fields read as floating times
    bool isNew = true;
    // Where the item was read from.
    QString fileCalendarUid;
    QString fileName;
    QByteArray revision; // the file's bytes when read
    ZEM_F_Files::Stamp revisionStamp; // its state, for an item listed without reading them
    bool cancelled = false; // STATUS:CANCELLED, which a to-do list does not show as open
    // Events only.
    QDateTime occurrence;
    bool detached = false;
};

/** The way in to the private part of the value types. */
struct CalValues
{
    static CalAlarmData &of(CalAlarm &v) { return *v.d; }
    static const CalAlarmData &of(const CalAlarm &v) { return *v.d; }
    static CalAttendeeData &of(CalAttendee &v) { return *v.d; }
    static const CalAttendeeData &of(const CalAttendee &v) { return *v.d; }
    static CalRecurrenceRuleData &of(CalRecurrenceRule &v) { return *v.d; }
    static const CalRecurrenceRuleData &of(const CalRecurrenceRule &v) { return *v.d; }
    static CalCalendarData &of(CalCalendar &v) { return *v.d; }
    static const CalCalendarData &of(const CalCalendar &v) { return *v.d; }
    static CalItemData &of(CalCalendarItem &v) { return *v.d; }
    static const CalItemData &of(const CalCalendarItem &v) { return *v.d; }
    /** Sets a field as the item's setters do: an empty value removes it. */
    static void set(CalCalendarItem &item, const QString &key, const QVariant &value) { item.set(key, value); }
};

} // namespace platform::detail
