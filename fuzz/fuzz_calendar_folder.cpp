// Whole calendar folders: the input is cut into items at lines "%%" and each becomes a
// file of one of two calendars, so that the store meets several files at once (the same
// uid twice, overrides apart from their series). An item "LINK n" is a link to item n (or
// to nothing), "LINK fifo" and "LINK zero" links to a pipe and to /dev/zero, which a reader
// that follows them would block on or read forever, "FIFO" a pipe itself, and
// "RULE <rule>" an event repeating by that rule with some exclusions.
// Opening the store and listing a range must end, within the listing's limit, and every
// occurrence listed must be found again by its uid.
#include "platform/calendarstore/CalendarStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <sys/stat.h>

using namespace platform;

namespace {

[[noreturn]] void failed(const char *what)
{
    std::fprintf(stderr, "fuzz_calendar_folder: %s\n", what);
    std::abort();
}

QByteArray ruleItem(const QByteArray &rule, int n)
{
    QByteArray ics = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:fuzz\r\nBEGIN:VEVENT\r\nUID:rule-" + QByteArray::number(n)
                     + "\r\nDTSTART:20200101T090000Z\r\nDTEND:20200101T093000Z\r\nRRULE:" + rule.trimmed() + "\r\n";
    for (int i = 0; i < 3; ++i)
        ics += "EXDATE:2020010" + QByteArray::number(2 + i) + "T090000Z\r\n";
    return ics + "END:VEVENT\r\nEND:VCALENDAR\r\n";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 64 * 1024)
        return 0; // a folder of bounded files; size alone is the other targets' business
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    QList<QByteArray> items = input.split('\n');
    QList<QByteArray> files{QByteArray()};
    for (const QByteArray &line : std::as_const(items)) {
        if (line.trimmed() == "%%") {
            if (files.size() == 8)
                break;
            files.append(QByteArray());
        } else {
            files.last() += line + '\n';
        }
    }

    QTemporaryDir dir;
    for (const char *cal : {"a", "b"})
        if (!QDir().mkpath(dir.filePath(QString::fromLatin1(cal))))
            failed("cannot make the calendar folders");
    const auto pathOf = [&](qsizetype i) {
        return dir.filePath(QStringLiteral("%1/item%2.ics").arg(QLatin1String(i % 2 ? "b" : "a")).arg(i));
    };
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QByteArray &bytes = files.at(i);
        if (bytes.startsWith("LINK ")) {
            const QByteArray to = bytes.mid(5).trimmed();
            const int target = to.toInt();
            const QString fifo = dir.filePath(QStringLiteral("pipe"));
            if (to == "fifo" && !QFile::exists(fifo) && ::mkfifo(QFile::encodeName(fifo).constData(), 0600) != 0)
                failed("cannot make a pipe");
            QFile::link(to == "fifo"   ? fifo
                        : to == "zero" ? QStringLiteral("/dev/zero")
                        : target >= 0 && target < files.size() ? pathOf(target)
                                                                : dir.filePath(QStringLiteral("gone")),
                        pathOf(i));
            continue;
        }
        if (bytes.trimmed() == "FIFO") {
            if (::mkfifo(QFile::encodeName(pathOf(i)).constData(), 0600) != 0)
                failed("cannot make a pipe");
            continue;
        }
        QFile file(pathOf(i));
        const QByteArray written = bytes.startsWith("RULE ") ? ruleItem(bytes.mid(5), int(i)) : bytes;
        if (!file.open(QIODevice::WriteOnly) || file.write(written) != written.size())
            failed("cannot write an item");
    }

    CalendarStore store(dir.path());
    const QDateTime from(QDate(2020, 1, 1), QTime(0, 0), Qt::UTC);
    const QList<CalEvent> events =
        store.eventsWithPredicate(CalendarStore::eventPredicateWithStartDate(from, from.addYears(2), {}));
    // Series share the listing's limit of 50,000; single events and moved occurrences are
    // few in files this small.
    if (events.size() > 60000)
        failed("a listing went past its limit");
    for (const CalEvent &e : events.mid(0, 16)) {
        if (!store.eventWithUID(e.uid(), e.occurrence()))
            failed("an occurrence listed cannot be looked up");
        if (e.endDate() < e.startDate())
            failed("an occurrence ends before it starts");
    }
    (void)store.tasksWithPredicate({});
    return 0;
}
