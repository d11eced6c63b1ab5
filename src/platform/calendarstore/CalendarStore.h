#pragma once

#include "zem_appkit_export.h"
#include "foundation/ZEM_Result.h"

#include <QColor>
#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>

#include <memory>
#include <optional>

namespace platform {

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

// Change notices, posted through ZEM_F_E_Notifications::shared() when the folder changed.
// userInfo holds the non-empty lists of uids (calendar uids for the calendars notice), the
// sender's process id (this process for its own saves, 0 for other programs) and name.
inline const QString kCalCalendarsChangedExternallyNotification =
    QStringLiteral("CalCalendarsChangedExternallyNotification");
inline const QString kCalEventsChangedExternallyNotification =
    QStringLiteral("CalEventsChangedExternallyNotification");
inline const QString kCalTasksChangedExternallyNotification =
    QStringLiteral("CalTasksChangedExternallyNotification");
inline const QString kCalInsertedRecordsKey = QStringLiteral("CalInsertedRecordsKey");
inline const QString kCalUpdatedRecordsKey = QStringLiteral("CalUpdatedRecordsKey");
inline const QString kCalDeletedRecordsKey = QStringLiteral("CalDeletedRecordsKey");
inline const QString kCalSenderProcessIDKey = QStringLiteral("CalSenderProcessIDKey");
inline const QString kCalSenderProcessNameKey = QStringLiteral("CalSenderProcessNameKey");

/** Which occurrences of a repeating event a save or a removal touches. */
enum CalSpan {
    CalSpanThisEvent = 0,   ///< the one occurrence
    CalSpanFutureEvents = 1 ///< that occurrence and every later one
};

/** To-do priorities as iCalendar codes them (1 to 4 read as high, 6 to 9 as low). */
enum CalPriority { CalPriorityNone = 0, CalPriorityHigh = 1, CalPriorityMedium = 5, CalPriorityLow = 9 };

// ---- Values ---------------------------------------------------------------------------------

/**
 * An alarm of an event or to-do: an action with a trigger, either relative to the item's
 * start (or due date) in seconds, negative before, or at an absolute date. A value type;
 * an alarm read from a file keeps that file's other alarm lines through edits.
 */
class ZEM_APPKIT_EXPORT CalAlarm
{
public:
    /** A new display alarm with a relative trigger of 0. */
    static CalAlarm alarm() { return CalAlarm(); }

    QString action() const { return m_action; }
    void setAction(const QString &action) { m_action = action; }
    /** The address an EMAIL alarm goes to (without "mailto:"). */
    QString emailAddress() const { return m_emailAddress; }
    void setEmailAddress(const QString &address) { m_emailAddress = address; }
    /** The sound an AUDIO alarm plays: a name or a file URL's text. */
    QString sound() const { return m_sound; }
    void setSound(const QString &sound) { m_sound = sound; }
    /** The file a PROCEDURE alarm opens or runs. */
    QUrl url() const { return m_url; }
    void setUrl(const QUrl &url) { m_url = url; }
    /** Invalid for a relative alarm. Setting a valid date makes the alarm absolute. */
    QDateTime absoluteTrigger() const { return m_absoluteTrigger; }
    void setAbsoluteTrigger(const QDateTime &date) { m_absoluteTrigger = date; }
    double relativeTrigger() const { return m_relativeTrigger; }
    void setRelativeTrigger(double seconds) { m_relativeTrigger = seconds; }

    /** Equal when every field above is; where each came from does not count. */
    bool operator==(const CalAlarm &other) const;

private:
    friend class CalendarStorePrivate;
    friend struct CalIcs;
    QString m_action = kCalAlarmActionDisplay;
    QString m_emailAddress;
    QString m_sound;
    QUrl m_url;
    QDateTime m_absoluteTrigger;
    double m_relativeTrigger = 0;
    QByteArray m_source; // the VALARM as read
};

/** Someone invited to an event. */
class ZEM_APPKIT_EXPORT CalAttendee
{
public:
    CalAttendee() = default;
    CalAttendee(const QString &commonName, const QUrl &address)
        : m_commonName(commonName), m_address(address) {}
    QString commonName() const { return m_commonName; }
    void setCommonName(const QString &name) { m_commonName = name; }
    /** Usually a "mailto:" URL. */
    QUrl address() const { return m_address; }
    void setAddress(const QUrl &address) { m_address = address; }
    /** The participation status ("ACCEPTED", "NEEDS-ACTION", ...), empty when not given. */
    QString status() const { return m_status; }
    void setStatus(const QString &status) { m_status = status; }
    bool operator==(const CalAttendee &other) const;

private:
    friend struct CalIcs;
    QString m_commonName;
    QUrl m_address;
    QString m_status;
    QByteArray m_source; // the ATTENDEE line as read
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

    CalRecurrenceRule() = default;
    CalRecurrenceRule(Type type, int interval, std::optional<CalRecurrenceEnd> end = std::nullopt)
        : m_type(type), m_interval(interval), m_end(end) {}

    Type recurrenceType() const { return m_type; }
    void setRecurrenceType(Type type) { m_type = type; }
    int recurrenceInterval() const { return m_interval; }
    void setRecurrenceInterval(int interval) { m_interval = interval; }
    /** None: the rule repeats for ever. */
    std::optional<CalRecurrenceEnd> recurrenceEnd() const { return m_end; }
    void setRecurrenceEnd(std::optional<CalRecurrenceEnd> end) { m_end = end; }
    /** The rule as it stood in the file ("FREQ=WEEKLY;BYDAY=MO,WE"), empty for a new rule. */
    QString iCalendarText() const { return m_text; }

    bool operator==(const CalRecurrenceRule &) const = default;

private:
    friend struct CalIcs;
    Type m_type = Daily;
    int m_interval = 1;
    std::optional<CalRecurrenceEnd> m_end;
    QString m_text;
};

/**
 * A calendar: a sub-folder of the store's folder. Its uid is the folder's name, its title
 * and colour are the folder's "displayname" and "color" files.
 */
class ZEM_APPKIT_EXPORT CalCalendar
{
public:
    /** A new calendar, not yet in a store: local, editable, untitled. */
    static CalCalendar calendar() { return CalCalendar(); }

    QString uid() const { return m_uid; }
    QString title() const { return m_title; }
    void setTitle(const QString &title) { m_title = title; }
    /** Invalid when the calendar has no colour. */
    QColor color() const { return m_color; }
    void setColor(const QColor &color) { m_color = color; }
    QString type() const { return m_type; }
    void setType(const QString &type) { m_type = type; }
    QString notes() const { return m_notes; }
    void setNotes(const QString &notes) { m_notes = notes; }
    /** False for a calendar marked read-only and for a folder this user cannot write. */
    bool isEditable() const { return m_editable; }
    void setEditable(bool editable) { m_editable = editable; }

    bool operator==(const CalCalendar &) const = default;

private:
    friend class CalendarStore;
    friend class CalendarStorePrivate;
    QString m_uid;
    QString m_title;
    QColor m_color;
    QString m_type = kCalCalendarTypeLocal;
    QString m_notes;
    bool m_editable = true;
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
    QString uid() const { return m_uid; }
    /** The calendar that holds the item; setting another one moves the item on save. */
    QString calendarUid() const { return m_values.value(QStringLiteral("calendarUid")).toString(); }
    void setCalendarUid(const QString &uid);
    void setCalendar(const CalCalendar &calendar) { setCalendarUid(calendar.uid()); }

    QString title() const { return string(QStringLiteral("title")); }
    void setTitle(const QString &title) { set(QStringLiteral("title"), title); }
    QString notes() const { return string(QStringLiteral("notes")); }
    void setNotes(const QString &notes) { set(QStringLiteral("notes"), notes); }
    QUrl url() const { return m_values.value(QStringLiteral("url")).toUrl(); }
    void setUrl(const QUrl &url);
    /** When the item was last written (DTSTAMP); invalid for a new item. */
    QDateTime dateStamp() const { return m_dateStamp; }

    QList<CalAlarm> alarms() const;
    bool hasAlarm() const { return !alarms().isEmpty(); }
    void setAlarms(const QList<CalAlarm> &alarms);
    void addAlarm(const CalAlarm &alarm);
    /** Removes the first alarm equal to \a alarm. */
    void removeAlarm(const CalAlarm &alarm);

    /** Not yet in the store. */
    bool isNew() const { return m_new; }
    /** Holds changes not yet saved. */
    bool hasChanges() const;

protected:
    CalCalendarItem() = default;
    QVariant value(const QString &key) const { return m_values.value(key); }
    QString string(const QString &key) const { return m_values.value(key).toString(); }
    void set(const QString &key, const QVariant &value);

private:
    friend class CalendarStore;
    friend class CalendarStorePrivate;
    friend struct CalIcs;
    QString m_uid;
    QDateTime m_dateStamp;
    QVariantMap m_values; // field -> value, absent when the item has none
    QVariantMap m_base;   // the fields as last read or saved
    QSet<QString> m_floating; // date fields read as floating times
    bool m_new = true;
    // Where the item was read from.
    QString m_fileCalendarUid;
    QString m_fileName;
    QByteArray m_revision; // the file's bytes when read
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
    QDateTime occurrence() const { return m_occurrence; }
    /** This occurrence was changed apart from its series. */
    bool isDetached() const { return m_detached; }

    QList<CalAttendee> attendees() const;
    void setAttendees(const QList<CalAttendee> &attendees);

    std::optional<CalRecurrenceRule> recurrenceRule() const;
    /** None makes the event single; saved with the whole series (CalSpanFutureEvents). */
    void setRecurrenceRule(const std::optional<CalRecurrenceRule> &rule);

private:
    friend class CalendarStore;
    friend class CalendarStorePrivate;
    friend struct CalIcs;
    QDateTime m_occurrence;
    bool m_detached = false;
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

class CalendarStorePrivate;

/**
 * The user's calendars: a folder holding one sub-folder per calendar, each with
 * "displayname" and "color" files and one ".ics" file per event or to-do (the "vdir" layout
 * that CalDAV sync tools and terminal calendars use). Files are read, written and repeating
 * events expanded with libical.
 *
 * A save writes the item's file to a temporary file in the same folder, flushes it and
 * renames it over the old one. Only the fields the caller changed are rewritten; every
 * other line, the kit's or not, is kept. An item another program changed on disk since it
 * was read is merged when the two sides changed different fields, and refused with
 * ZEM_Error::Conflict when both changed the same one (the file and the caller's item both
 * stay as they are).
 *
 * Files another program adds, changes or removes are noticed (the folder is watched) and
 * announced with the three change notices above and the changed() signals. Files that
 * cannot be read are skipped with a log line (see problems()); a file read only in part
 * (a bad line, an unknown time zone) gives what could be read.
 *
 * Editing one occurrence of a repeating event (CalSpanThisEvent) detaches it from its
 * series; removing it excludes it. CalSpanFutureEvents from the first occurrence changes
 * the whole series; from a later one it ends the series there and (on save) starts a new
 * series, with a new uid, holding the change.
 *
 * **Example**
 * \code
 * CalendarStore *store = CalendarStore::defaultCalendarStore();
 * CalEvent ev = CalEvent::event();
 * ev.setCalendar(store->calendars().value(0));
 * ev.setTitle(u"Dentist"_s);
 * ev.setStartDate(QDateTime(QDate(2026, 3, 14), QTime(9, 0)));
 * ev.setEndDate(ev.startDate().addSecs(3600));
 * if (auto saved = store->saveEvent(ev, CalSpanThisEvent); !saved)
 *     qWarning() << saved.error().message;
 * \endcode
 */
class ZEM_APPKIT_EXPORT CalendarStore : public QObject
{
    Q_OBJECT
public:
    /** The folder the default store reads: set by the host, else "<generic data>/calendars". */
    static QString defaultFolder();
    static void setDefaultFolder(const QString &folder);
    /** The process-wide store on the default folder, created (and watched) on first use. */
    static CalendarStore *defaultCalendarStore();
    /** Drops the default store, so the next call reads the default folder again. */
    static void resetDefaultCalendarStore();

    /** Reads \a folder (created when missing). \a watch follows edits by other programs. */
    explicit CalendarStore(const QString &folder, bool watch = false, QObject *parent = nullptr);
    ~CalendarStore() override;

    QString folder() const;
    /** One line for each file skipped or read only in part at the last read. */
    QStringList problems() const;

    // Calendars, in title order.
    QList<CalCalendar> calendars() const;
    std::optional<CalCalendar> calendarWithUID(const QString &uid) const;
    /** Creates (a new calendar gets its uid here) or updates a calendar's folder. */
    ZEM_Result<void> saveCalendar(CalCalendar &calendar);
    /** Removes the calendar's folder with every item in it. */
    ZEM_Result<void> removeCalendar(const CalCalendar &calendar);

    // Queries.
    static CalEventPredicate eventPredicateWithStartDate(const QDateTime &start, const QDateTime &end,
                                                         const QList<CalCalendar> &calendars);
    static CalEventPredicate eventPredicateWithStartDate(const QDateTime &start, const QDateTime &end,
                                                         const QString &uid,
                                                         const QList<CalCalendar> &calendars);
    static CalTaskPredicate taskPredicateWithCalendars(const QList<CalCalendar> &calendars);
    static CalTaskPredicate taskPredicateWithUncompletedTasks(const QList<CalCalendar> &calendars);
    /** Every occurrence overlapping the range, ordered by start. */
    QList<CalEvent> eventsWithPredicate(const CalEventPredicate &predicate) const;
    QList<CalTask> tasksWithPredicate(const CalTaskPredicate &predicate) const;

    /** The event with \a uid; with an \a occurrence, that occurrence of it. */
    std::optional<CalEvent> eventWithUID(const QString &uid, const QDateTime &occurrence = {}) const;
    std::optional<CalTask> taskWithUID(const QString &uid) const;

    // Writes. On success the item is updated to what was written (a new item gets its uid).
    ZEM_Result<void> saveEvent(CalEvent &event, CalSpan span);
    ZEM_Result<void> removeEvent(const CalEvent &event, CalSpan span);
    ZEM_Result<void> saveTask(CalTask &task);
    ZEM_Result<void> removeTask(const CalTask &task);

    /** Reads the folder again now (what the watcher does), announcing what changed. */
    void refresh();

    /** The events and to-dos in iCalendar bytes (an attachment, an export). */
    static CalItemsRead readICalendarData(const QByteArray &data);
    /** A whole iCalendar file holding the item, as the store would write it new. */
    static QByteArray iCalendarData(const CalEvent &event);
    static QByteArray iCalendarData(const CalTask &task);

signals:
    void calendarsChanged(const QStringList &inserted, const QStringList &updated,
                          const QStringList &deleted, const QString &senderProcessName);
    void eventsChanged(const QStringList &inserted, const QStringList &updated,
                       const QStringList &deleted, const QString &senderProcessName);
    void tasksChanged(const QStringList &inserted, const QStringList &updated,
                      const QStringList &deleted, const QString &senderProcessName);

private:
    std::unique_ptr<CalendarStorePrivate> d;
};

} // namespace platform

Q_DECLARE_METATYPE(platform::CalAlarm)
Q_DECLARE_METATYPE(platform::CalAttendee)
Q_DECLARE_METATYPE(platform::CalRecurrenceRule)
