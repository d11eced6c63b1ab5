// Every visible text goes through these lookups, many times per language switch; they
// must stay a hash probe or two.
#include "foundation/ZEM_F_E_Language.h"
#include "foundation/ZEM_F_HostDelegate.h"
#include "foundation/ZEM_F_PropertyList.h"
#include "services/ZEM_A_L_Language.h"

#include "BenchMain.h"

#include <QCoreApplication>
#include <QDir>
#include <QSaveFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

ZEM_F_E_Language *engine() { return ZEM_F_E_Language::shared(); }

// A French file of the size a real one has: a translation for most table keys.
bool setUpFrench()
{
    ZEM_F_StringTable table;
    const ZEM_F_StringTable *defaults = ZEM_A_L_Language::shared()->lk();
    for (qsizetype i = 0; i < defaults->size(); i += 2) {
        const QString &key = defaults->keys().at(i);
        table.insert(key, QStringLiteral("fr ") + defaults->value(key));
    }
    table.insert(QStringLiteral("NL:Show"), QStringLiteral("Afficher"));
    const QString folder = ZEM_F_E_Language::languagesFolder();
    QDir().mkpath(folder);
    if (!ZEM_F_PropertyList::writeStringTableFile(folder + QStringLiteral("/Bench_French.plist"), table))
        return false;
    return bool(engine()->setActiveLanguage(QStringLiteral("French")));
}

void BM_StringForKeyActiveHit(benchmark::State &state)
{
    const QString key = QStringLiteral("B:Hide"); // translated
    for (auto _ : state)
        benchmark::DoNotOptimize(engine()->stringForKey(key));
}
BENCHMARK(BM_StringForKeyActiveHit);

void BM_StringForKeyDefaultFallback(benchmark::State &state)
{
    const QString key = QStringLiteral("B:Open"); // only in the default table
    for (auto _ : state)
        benchmark::DoNotOptimize(engine()->stringForKey(key));
}
BENCHMARK(BM_StringForKeyDefaultFallback);

void BM_StringForKeyLookFallback(benchmark::State &state)
{
    const QString key = QStringLiteral("NL:Add New Record");
    for (auto _ : state)
        benchmark::DoNotOptimize(engine()->stringForKeyLook(key));
}
BENCHMARK(BM_StringForKeyLookFallback);

void BM_LWithNotification(benchmark::State &state)
{
    const ZEM_F_Notification n{QStringLiteral("LanguageCall"), QVariant(2), {}};
    const QString key = QStringLiteral("B:Hide");
    const QString kind = QStringLiteral("NL");
    for (auto _ : state)
        benchmark::DoNotOptimize(engine()->l(key, kind, n));
}
BENCHMARK(BM_LWithNotification);

void BM_LOtherLanguage(benchmark::State &state)
{
    // English announced while French is active: the default table answers.
    const ZEM_F_Notification n{QStringLiteral("LanguageCall"), QVariant(0), {}};
    const QString key = QStringLiteral("B:Hide");
    const QString kind = QStringLiteral("NL");
    for (auto _ : state)
        benchmark::DoNotOptimize(engine()->l(key, kind, n));
}
BENCHMARK(BM_LOtherLanguage);

} // namespace

int main(int argc, char **argv)
{
    return runKitBenchmarks<QCoreApplication>(argc, argv, setUpFrench);
}
