#pragma once
// The main() of a benchmark program that runs the kit as a host would: a throw-away data
// and settings home (never the user's own), an application object and a host delegate.

#include "foundation/ZEM_F_HostDelegate.h"

#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <functional>

template<class Application>
int runKitBenchmarks(int argc, char **argv, const std::function<bool()> &setUp)
{
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", QDir(home.path()).filePath(QStringLiteral("data")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", QDir(home.path()).filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", QDir(home.path()).filePath(QStringLiteral("cache")).toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    Application app(argc, argv);
    ZEM_F_SettingsHostDelegate delegate(QStringLiteral("Bench"));
    ZEM_F_Host::setDelegate(&delegate);
    if (!setUp()) {
        std::fprintf(stderr, "cannot set up the benchmark\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ZEM_F_Host::setDelegate(nullptr);
    return 0;
}
