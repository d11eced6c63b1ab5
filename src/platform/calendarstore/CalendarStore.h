#pragma once

#include "zem_appkit_export.h"
#include "foundation/ZEM_Result.h"
#include "platform/calendarstore/CalendarValues.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace platform {

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
    /** One line for each file skipped or read only in part at the last read, and for what a
        listing since could not expand in full (a repeat rule, too many occurrences). */
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
