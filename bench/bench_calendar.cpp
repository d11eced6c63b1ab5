// The calendar store on generated folders of 7,000 and 2,000 event and to-do files: one
// year of occurrences and the open to-dos, each from opening the store as the organiser's
// listing does (the default store, watched), and the parts: reading the folder with and
// without its watcher, and each query on a store already open. Then the work that must
// grow with what is asked, not with the folder: new events saved one by one into a folder
// of 5,000 files, and a month listed from one file of 20,000 events.
// bench/peers.sh times the same work in the organiser's listing beside khal and todoman.
#include "BenchFolders.h"
#include "BenchMain.h"

#include "platform/calendarstore/CalendarStore.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <functional>
#include <optional>

using namespace platform;

namespace {

// The year gen_folders.py lists by default: its events spread over the two years before
// and the year after it.
const QDateTime kYearStart(QDate(2025, 1, 1), QTime(0, 0));
const QDateTime kYearEnd(QDate(2026, 1, 1), QTime(0, 0));

QString folder(int files)
{
    return benchfolders::generated(QStringLiteral("calendars"), files);
}

qsizetype yearOfOccurrences(const CalendarStore &store)
{
    return store.eventsWithPredicate(CalendarStore::eventPredicateWithStartDate(kYearStart, kYearEnd, {})).size();
}

qsizetype openTodos(const CalendarStore &store)
{
    return store.tasksWithPredicate(CalendarStore::taskPredicateWithUncompletedTasks({})).size();
}

// Opens the default store on the folder of state.range(0) files, as a host's first use does.
CalendarStore *openDefault(benchmark::State &state)
{
    CalendarStore::setDefaultFolder(folder(int(state.range(0))));
    return CalendarStore::defaultCalendarStore();
}

// Untimed, before each run: the store of the run before closed and, with no index
// (state.range(1) 0), its index removed.
void betweenRuns(benchmark::State &state)
{
    state.PauseTiming();
    CalendarStore::resetDefaultCalendarStore();
    if (!state.range(1))
        benchfolders::dropIndexes();
    state.ResumeTiming();
}

// The folder's index in the cache folder: none (0, every file read) or made by an open
// before (1), as for every open after a host's first.
void prepareIndex(benchmark::State &state, const std::function<void()> &open)
{
    benchfolders::dropIndexes();
    if (state.range(1))
        open();
}

void BM_YearOfOccurrences(benchmark::State &state)
{
    benchfolders::PeakMemory memory;
    qsizetype occurrences = 0;
    prepareIndex(state, [&] { yearOfOccurrences(*openDefault(state)); });
    for (auto _ : state) {
        betweenRuns(state);
        benchmark::DoNotOptimize(occurrences = yearOfOccurrences(*openDefault(state)));
    }
    state.counters["occurrences"] = double(occurrences);
    memory.report(state);
    CalendarStore::resetDefaultCalendarStore();
}
BENCHMARK(BM_YearOfOccurrences)->ArgsProduct({{7000}, {0, 1}})->ArgNames({"files", "index"})
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_OpenTodos(benchmark::State &state)
{
    benchfolders::PeakMemory memory;
    qsizetype todos = 0;
    prepareIndex(state, [&] { openTodos(*openDefault(state)); });
    for (auto _ : state) {
        betweenRuns(state);
        benchmark::DoNotOptimize(todos = openTodos(*openDefault(state)));
    }
    state.counters["open_todos"] = double(todos);
    memory.report(state);
    CalendarStore::resetDefaultCalendarStore();
}
BENCHMARK(BM_OpenTodos)->ArgsProduct({{7000, 2000}, {0, 1}})->ArgNames({"files", "index"})
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Reading the folder alone, without (0) and with (1) the watcher the default store sets up.
void BM_Open(benchmark::State &state)
{
    benchfolders::PeakMemory memory;
    for (auto _ : state) {
        CalendarStore store(folder(int(state.range(0))), state.range(1) != 0);
        benchmark::DoNotOptimize(store.calendars().size());
    }
    memory.report(state);
}
BENCHMARK(BM_Open)->ArgsProduct({{7000, 2000}, {0, 1}})->ArgNames({"files", "watch"})
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The queries alone, on a store already open.
void BM_YearQueryOpenStore(benchmark::State &state)
{
    const CalendarStore store(folder(int(state.range(0))));
    for (auto _ : state)
        benchmark::DoNotOptimize(yearOfOccurrences(store));
}
BENCHMARK(BM_YearQueryOpenStore)->Arg(7000)->ArgName("files")->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TodoQueryOpenStore(benchmark::State &state)
{
    const CalendarStore store(folder(int(state.range(0))));
    for (auto _ : state)
        benchmark::DoNotOptimize(openTodos(store));
}
BENCHMARK(BM_TodoQueryOpenStore)->Arg(7000)->Arg(2000)->ArgName("files")->Unit(benchmark::kMillisecond)->UseRealTime();

// state.range(0) new events saved one by one into a copy of the folder of 5,000 files.
void BM_SaveNewEvents(benchmark::State &state)
{
    const QString source = folder(5000);
    // Made and dropped while the timer is paused: only the saves are timed.
    std::optional<CalendarStore> store;
    std::optional<QTemporaryDir> copy;
    for (auto _ : state) {
        state.PauseTiming();
        store.reset();
        copy.emplace();
        QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), source + QStringLiteral("/."), copy->path()});
        store.emplace(copy->path());
        const CalCalendar calendar = store->calendars().value(0);
        state.ResumeTiming();
        for (int i = 0; i < state.range(0); ++i) {
            CalEvent ev = CalEvent::event();
            ev.setCalendar(calendar);
            ev.setTitle(QStringLiteral("New %1").arg(i));
            ev.setStartDate(kYearStart.addSecs(i * 3600LL));
            ev.setEndDate(ev.startDate().addSecs(1800));
            if (!store->saveEvent(ev, CalSpanThisEvent)) {
                state.SkipWithError("a save failed");
                return;
            }
        }
    }
    state.counters["per_save_us"] =
        benchmark::Counter(double(state.range(0)) * double(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SaveNewEvents)->Arg(1000)->Arg(2000)->ArgName("events")->Unit(benchmark::kMillisecond)->UseRealTime()
    ->Iterations(2);

// One file of 20,000 events, one a day from 2020 at varying hours; a fifth repeat weekly
// for ten weeks.
QString bigFile()
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big/events.ics"));
    if (QFile::exists(path))
        return dir.path();
    QDir().mkpath(dir.filePath(QStringLiteral("big")));
    QByteArray ics = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//bench//EN\r\n";
    const QDateTime first(QDate(2020, 1, 1), QTime(8, 0), Qt::UTC);
    for (int i = 0; i < 20000; ++i) {
        const QDateTime start = first.addDays(i / 8).addSecs((i % 8) * 5400);
        const QByteArray at = start.toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")).toLatin1();
        const QByteArray end = start.addSecs(3600).toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")).toLatin1();
        ics += "BEGIN:VEVENT\r\nUID:big-" + QByteArray::number(i) + "\r\nDTSTAMP:20200101T000000Z\r\nDTSTART:" + at
               + "\r\nDTEND:" + end + "\r\nSUMMARY:Event " + QByteArray::number(i) + "\r\n"
               + (i % 5 == 0 ? "RRULE:FREQ=WEEKLY;COUNT=10\r\n" : "") + "END:VEVENT\r\n";
    }
    ics += "END:VCALENDAR\r\n";
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(ics) != ics.size())
        return {};
    return dir.path();
}

void BM_MonthOfBigFile(benchmark::State &state)
{
    const CalendarStore store(bigFile());
    const QDateTime from(QDate(2023, 3, 1), QTime(0, 0), Qt::UTC);
    qsizetype occurrences = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(occurrences = store.eventsWithPredicate(
                                     CalendarStore::eventPredicateWithStartDate(from, from.addMonths(1), {})).size());
    state.counters["occurrences"] = double(occurrences);
}
BENCHMARK(BM_MonthOfBigFile)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    return runKitBenchmarks<QApplication>(argc, argv,
                                          [] {
        return !folder(7000).isEmpty() && !folder(2000).isEmpty() && !folder(5000).isEmpty() && !bigFile().isEmpty();
    });
}
