// Calendar files arrive from sync servers, mail invitations and other programs' exports:
// reading one must never crash or hang, whatever a store accepts must expand within its
// limits, and every event or to-do read must come back unchanged from a write and a
// second read.
#include "platform/calendarstore/CalendarStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace platform;

namespace {

[[noreturn]] void failed(const char *what, const QByteArray &written)
{
    std::fprintf(stderr, "fuzz_ics: %s\nwritten:\n%s\n", what, written.constData());
    std::abort();
}

QString utc(const QDateTime &dt)
{
    return dt.toUTC().toString(Qt::ISODateWithMs);
}

QStringList fields(const CalCalendarItem &item)
{
    QStringList out{item.uid(), item.title(), item.notes(), item.url().toString()};
    for (const CalAlarm &a : item.alarms())
        out << a.action() << a.emailAddress() << a.sound() << a.url().toString() << utc(a.absoluteTrigger())
            << QString::number(a.relativeTrigger());
    return out;
}

QStringList fields(const CalEvent &e)
{
    QStringList out = fields(static_cast<const CalCalendarItem &>(e));
    out << (e.isAllDay() ? e.startDate().date().toString(Qt::ISODate) : utc(e.startDate()))
        << (e.isAllDay() ? e.endDate().date().toString(Qt::ISODate) : utc(e.endDate()))
        << QString::number(e.isAllDay()) << e.location();
    for (const CalAttendee &a : e.attendees())
        out << a.commonName() << a.address().toString() << a.status();
    if (const auto rule = e.recurrenceRule()) {
        out << QString::number(rule->recurrenceType()) << QString::number(rule->recurrenceInterval());
        if (const auto end = rule->recurrenceEnd())
            out << utc(end->endDate()) << QString::number(end->occurrenceCount());
    }
    return out;
}

QStringList fields(const CalTask &t)
{
    QStringList out = fields(static_cast<const CalCalendarItem &>(t));
    out << QString::number(t.priority()) << utc(t.dueDate()) << utc(t.completedDate())
        << QString::number(t.isCompleted());
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const CalItemsRead read = CalendarStore::readICalendarData(input);

    for (const CalEvent &e : read.events) {
        const QByteArray written = CalendarStore::iCalendarData(e);
        const CalItemsRead again = CalendarStore::readICalendarData(written);
        if (again.events.size() != 1)
            failed("a written event did not read back as one event", written);
        QStringList back = fields(again.events.first());
        if (e.uid().isEmpty())
            back[0].clear(); // an item without a uid gets one when written
        if (back != fields(e)) {
            std::fprintf(stderr, "read:    %s\nre-read: %s\n", qPrintable(fields(e).join(u'|')),
                         qPrintable(back.join(u'|')));
            failed("event changed in a write and read", written);
        }
    }
    for (const CalTask &t : read.tasks) {
        const QByteArray written = CalendarStore::iCalendarData(t);
        const CalItemsRead again = CalendarStore::readICalendarData(written);
        if (again.tasks.size() != 1)
            failed("a written to-do did not read back as one to-do", written);
        QStringList back = fields(again.tasks.first());
        if (t.uid().isEmpty())
            back[0].clear();
        if (back != fields(t))
            failed("to-do changed in a write and read", written);
    }

    // The same bytes as a file of a store: loaded, expanded over a bounded range, looked up.
    static QTemporaryDir dir;
    QDir().mkpath(dir.filePath(QStringLiteral("cal")));
    QFile file(dir.filePath(QStringLiteral("cal/item.ics")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(input) != input.size())
        failed("cannot write the input file", {});
    file.close();
    CalendarStore store(dir.path());
    const QDateTime from(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC);
    const QList<CalEvent> events = store.eventsWithPredicate(
        CalendarStore::eventPredicateWithStartDate(from, from.addYears(30), store.calendars()));
    // Lookups walk a series up to the occurrence: a sample of them keeps a run short.
    for (const CalEvent &e : events.mid(0, 64)) {
        if (!store.eventWithUID(e.uid(), e.occurrence()))
            failed("an occurrence listed cannot be looked up", input);
        if (e.endDate() < e.startDate())
            failed("an occurrence ends before it starts", input);
    }
    (void)store.tasksWithPredicate({});

    // An edit is written into the file's own lines (see IcsSplice.h) and reads back.
    if (!events.isEmpty()) {
        if (std::optional<CalEvent> e = store.eventWithUID(events.first().uid())) {
            e->setTitle(QStringLiteral("Edited"));
            if (store.saveEvent(*e, CalSpanFutureEvents)) {
                const std::optional<CalEvent> again = CalendarStore(dir.path()).eventWithUID(e->uid());
                if (!again || again->title() != QStringLiteral("Edited"))
                    failed("an edit did not read back", input);
            }
        }
    }
    return 0;
}
