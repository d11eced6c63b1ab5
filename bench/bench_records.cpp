// Tables read and write record values by key many times per redraw and per edit, often
// with views observing them: value access must stay a hash probe plus the notices.
#include "platform/store/PersistentObject.h"
#include "platform/store/RecordClass.h"
#include "platform/store/StoreContext.h"
#include "records/ZEM_A_C_ManagedObject.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

class BenchRecord : public ZEM_A_C_ManagedObject
{
    Q_OBJECT
public:
    explicit BenchRecord(QObject *parent = nullptr) : ZEM_A_C_ManagedObject(parent) {}

    static void initialize()
    {
        ZEM_A_C_ManagedObject::initialize();
        setKeysBoth(staticMetaObject, QStringLiteral("notes"), QStringLiteral("notesString"));
        platform::RecordClass::registerSetter(staticMetaObject, QStringLiteral("title"),
                                              [](platform::PersistentObject &o, const QVariant &v) {
                                                  static_cast<BenchRecord &>(o).setValueSupport(v, QStringLiteral("title"));
                                              });
    }
};

ZEM_RECORD_CLASS(BenchRecord)

namespace {

const QString kNotes = QStringLiteral("notes");
const QString kTitle = QStringLiteral("title");

void addObservers(platform::PersistentObject &record, QObject *context, int count, int64_t *calls)
{
    for (int i = 0; i < count; ++i) {
        record.addObserver(kNotes, context, [calls](const platform::ChangeNotice &) { ++*calls; },
                           platform::ObserveOption::Prior | platform::ObserveOption::After);
        record.addObserver(QStringLiteral("notesString"), context,
                           [calls](const platform::ChangeNotice &) { ++*calls; });
    }
}

void BM_SetValueSupport(benchmark::State &state)
{
    BenchRecord record;
    QObject context;
    int64_t calls = 0;
    addObservers(record, &context, int(state.range(0)), &calls);
    int i = 0;
    for (auto _ : state)
        record.setValueSupport(++i, kNotes);
    state.counters["notices"] = benchmark::Counter(double(calls), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_SetValueSupport)->Arg(0)->Arg(4);

void BM_ObjectForKeySupport(benchmark::State &state)
{
    BenchRecord record;
    QObject context;
    int64_t calls = 0;
    addObservers(record, &context, int(state.range(0)), &calls);
    record.setValueSupport(QStringLiteral("text"), kNotes);
    for (auto _ : state)
        benchmark::DoNotOptimize(record.objectForKeySupport(kNotes));
}
BENCHMARK(BM_ObjectForKeySupport)->Arg(0)->Arg(4);

void BM_SetValueInContext(benchmark::State &state)
{
    // Every change in a context also records an undo command.
    platform::StoreContext context;
    auto *record = context.insertNewObject<BenchRecord>();
    int i = 0;
    for (auto _ : state) {
        record->setValueSupport(++i, kNotes);
        if (i % 1000 == 0) {
            state.PauseTiming();
            context.removeAllUndoActions();
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_SetValueInContext);

void BM_SetValueForKeyPathTable(benchmark::State &state)
{
    BenchRecord owner, record;
    owner.setRelation(&record, QStringLiteral("item"));
    const QString path = state.range(0) ? QStringLiteral("item.title") : kTitle;
    platform::PersistentObject &target = state.range(0) ? static_cast<platform::PersistentObject &>(owner) : record;
    int i = 0;
    for (auto _ : state)
        target.setValueForKeyPath(++i, path);
}
BENCHMARK(BM_SetValueForKeyPathTable)->Arg(0)->Arg(1);

void BM_ValueForKeyGeneric(benchmark::State &state)
{
    BenchRecord record;
    record.setValueSupport(1, kNotes);
    for (auto _ : state)
        benchmark::DoNotOptimize(record.valueForKey(kNotes));
}
BENCHMARK(BM_ValueForKeyGeneric);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

#include "bench_records.moc"
