// The address book on a folder of 10,000 generated cards: what a contact list costs (open
// the shared book and read every field a contact record mirrors, through the contact
// engine as hosts do), what a card view costs (one person by UID, read afresh), and the
// parts: reading the folder with and without its watcher, and the field reads alone.
// bench/peers.sh times the same work in the organiser's listing beside khard.
#include "BenchFolders.h"
#include "BenchMain.h"

#include "contacts/ZEM_A_C_MO_AddressBook.h"
#include "contacts/ZEM_A_E_ABEngine.h"
#include "platform/addressbook/AddressBook.h"

#include <QApplication>
#include <QStandardPaths>
#include <QThread>

using namespace platform;

namespace {

constexpr int kCards = 10000;

QString folder()
{
    static const QString f = benchfolders::generated(QStringLiteral("contacts"), kCards);
    return f;
}

// The same reads the organiser's --list-contacts makes; the number of values read.
qsizetype readEveryField(ZEM_A_E_ABEngine *engine)
{
    qsizetype values = 0;
    for (const QString &uid : engine->getAllServerRecords()) {
        const QVariantMap fields = engine->getValuesUidDict(uid, ZEM_A_C_MO_AddressBook::mirroredKeys(), true);
        for (const QVariant &value : fields)
            values += !value.toString().isEmpty();
    }
    return values;
}

// The index the book keeps in the cache folder: removed, or made and left in place.
void prepareIndex(bool warm)
{
    benchfolders::dropIndexes();
    if (!warm)
        return;
    AddressBook(folder()).people();
}

// Arg(0) with no index (every file read and parsed, the index written), Arg(1) with the
// index an earlier open left.
void BM_OpenAndReadEveryField(benchmark::State &state)
{
    const bool warm = state.range(0) != 0;
    prepareIndex(warm);
    benchfolders::PeakMemory memory;
    ZEM_A_E_ABEngine *engine = ZEM_A_E_ABEngine::shared();
    qsizetype values = 0;
    for (auto _ : state) {
        // Untimed: the book of the run before closed and, cold, the index removed.
        state.PauseTiming();
        AddressBook::resetSharedAddressBook();
        if (!warm)
            prepareIndex(false);
        state.ResumeTiming();
        values = readEveryField(engine);
        benchmark::DoNotOptimize(values);
    }
    state.counters["people"] = double(AddressBook::sharedAddressBook()->people().size());
    state.counters["values"] = double(values);
    memory.report(state);
    AddressBook::resetSharedAddressBook();
}
BENCHMARK(BM_OpenAndReadEveryField)->Arg(0)->Arg(1)->ArgName("warm")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Reading the folder alone; Arg(1) with the watcher the shared book sets up.
void BM_Open(benchmark::State &state)
{
    benchfolders::PeakMemory memory;
    qsizetype people = 0;
    for (auto _ : state) {
        AddressBook book(folder(), state.range(0) != 0);
        people = book.people().size();
        benchmark::DoNotOptimize(people);
    }
    state.counters["people"] = double(people);
    memory.report(state);
}
BENCHMARK(BM_Open)->Arg(0)->Arg(1)->ArgName("watch")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The field reads alone, on a book already open.
void BM_ReadEveryFieldOpenBook(benchmark::State &state)
{
    ZEM_A_E_ABEngine *engine = ZEM_A_E_ABEngine::shared();
    AddressBook::resetSharedAddressBook();
    AddressBook::sharedAddressBook();
    for (auto _ : state)
        benchmark::DoNotOptimize(readEveryField(engine));
    AddressBook::resetSharedAddressBook();
}
BENCHMARK(BM_ReadEveryFieldOpenBook)->Unit(benchmark::kMillisecond)->UseRealTime();

// One person among 10,000 read afresh (a new view of the folder), every mirrored field:
// what the organiser's --show-contact does.
void BM_PersonByUid(benchmark::State &state)
{
    ZEM_A_E_ABEngine *engine = ZEM_A_E_ABEngine::shared();
    const QString uid = [] {
        AddressBook book(folder());
        return book.people().at(book.people().size() / 2)->uniqueId();
    }();
    benchfolders::PeakMemory memory;
    bool found = false;
    for (auto _ : state) {
        const QVariantMap values = engine->getValuesUidDict(uid, ZEM_A_C_MO_AddressBook::mirroredKeys(), false);
        found = !values.value(QStringLiteral("lastName")).toString().isEmpty();
        benchmark::DoNotOptimize(values);
    }
    if (!found)
        state.SkipWithError("the person was not found");
    memory.report(state);
}
BENCHMARK(BM_PersonByUid)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

int main(int argc, char **argv)
{
    return runKitBenchmarks<QApplication>(argc, argv, [] {
        if (folder().isEmpty())
            return false;
        // The book's index goes in a cache folder of its own, never the user's.
        qputenv("XDG_CACHE_HOME", QDir(benchfolders::scratch().path()).filePath(QStringLiteral("cache")).toLocal8Bit());
        AddressBook::setDefaultFolder(folder());
        return true;
    });
}
