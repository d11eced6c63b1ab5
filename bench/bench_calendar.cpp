// The calendar store on generated folders of 7,000 and 2,000 event and to-do files: one
// year of occurrences and the open to-dos, each from opening the store as the organiser's
// listing does (the default store, watched), and the parts: reading the folder with and
// without its watcher, and each query on a store already open.
// bench/peers.sh times the same work in the organiser's listing beside khal and todoman.
#include "BenchFolders.h"
#include "BenchMain.h"

#include "platform/calendarstore/CalendarStore.h"

#include <QApplication>

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
    CalendarStore::resetDefaultCalendarStore();
    return CalendarStore::defaultCalendarStore();
}

void BM_YearOfOccurrences(benchmark::State &state)
{
    benchfolders::PeakMemory memory;
    qsizetype occurrences = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(occurrences = yearOfOccurrences(*openDefault(state)));
    state.counters["occurrences"] = double(occurrences);
    memory.report(state);
    CalendarStore::resetDefaultCalendarStore();
}
BENCHMARK(BM_YearOfOccurrences)->Arg(7000)->ArgName("files")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_OpenTodos(benchmark::State &state)
{
    benchfolders::PeakMemory memory;
    qsizetype todos = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(todos = openTodos(*openDefault(state)));
    state.counters["open_todos"] = double(todos);
    memory.report(state);
    CalendarStore::resetDefaultCalendarStore();
}
BENCHMARK(BM_OpenTodos)->Arg(7000)->Arg(2000)->ArgName("files")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

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

} // namespace

int main(int argc, char **argv)
{
    return runKitBenchmarks<QApplication>(argc, argv,
                                          [] { return !folder(7000).isEmpty() && !folder(2000).isEmpty(); });
}
