#include "OrganiserCalendar.h"

#include <platform/calendarstore/CalendarStore.h>

#include <QHash>

#include <algorithm>

namespace {

QString when(const platform::CalEvent &event)
{
    const QDateTime start = event.startDate().toLocalTime();
    if (event.isAllDay())
        return start.toString(QStringLiteral("ddd dd MMM")) + QStringLiteral("  all day    ");
    return start.toString(QStringLiteral("ddd dd MMM  HH:mm")) + u'-'
        + event.endDate().toLocalTime().toString(QStringLiteral("HH:mm"));
}

} // namespace

bool showCalendar(QTextStream &out)
{
    platform::CalendarStore *store = platform::CalendarStore::defaultCalendarStore();
    const QList<platform::CalCalendar> calendars = store->calendars();
    out << "Calendars: " << store->folder() << '\n';
    QHash<QString, QString> titles;
    for (const platform::CalCalendar &calendar : calendars) {
        titles.insert(calendar.uid(), calendar.title());
        out << "  " << calendar.title() << " (" << calendar.color().name() << ")\n";
    }
    for (const QString &problem : store->problems())
        out << "  skipped: " << problem << '\n';

    const QDateTime start(QDate::currentDate(), QTime(0, 0));
    const QDateTime end = start.addDays(7);
    const auto events = store->eventsWithPredicate(
        platform::CalendarStore::eventPredicateWithStartDate(start, end, calendars));
    out << "The coming week (" << events.size() << " occurrences):\n";
    for (const platform::CalEvent &event : events) {
        out << "  " << when(event) << "  " << event.title();
        if (!event.location().isEmpty())
            out << " @ " << event.location();
        out << "  [" << titles.value(event.calendarUid()) << "]\n";
    }

    auto tasks = store->tasksWithPredicate(platform::CalendarStore::taskPredicateWithUncompletedTasks(calendars));
    std::sort(tasks.begin(), tasks.end(), [](const platform::CalTask &a, const platform::CalTask &b) {
        return a.dueDate() < b.dueDate();
    });
    out << "Open to-dos:\n";
    for (const platform::CalTask &task : std::as_const(tasks)) {
        out << "  " << (task.dueDate().isValid() ? task.dueDate().toLocalTime().toString(QStringLiteral("dd MMM yyyy"))
                                                 : QStringLiteral("no due date"))
            << "  " << task.title() << '\n';
    }
    return !calendars.isEmpty();
}
