#pragma once
// What the folder-store benchmarks share: the generated folders (bench/gen_folders.py, the
// same generator and seed bench/peers.sh uses, so both measure the same bytes) and the peak
// memory of each benchmark.

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QString>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <sys/resource.h>

#include <cstdio>
#include <fstream>
#include <string>

#include <unistd.h>

namespace benchfolders {

/** The folder all generated data of this process goes in, removed at exit. */
inline const QTemporaryDir &scratch()
{
    static const QTemporaryDir dir;
    return dir;
}

/** Writes \a count items of \a what ("contacts" or "calendars") once; the folder, or empty on failure. */
inline QString generated(const QString &what, int count)
{
    const QString folder = QDir(scratch().path()).filePath(what + QString::number(count));
    if (QDir(folder).exists())
        return folder;
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    QProcess gen;
    gen.setProcessChannelMode(QProcess::ForwardedChannels);
    if (!python.isEmpty())
        gen.start(python, {QStringLiteral(ZEM_SOURCE_DIR "/bench/gen_folders.py"), what, folder, QString::number(count)});
    if (python.isEmpty() || !gen.waitForFinished(300000) || gen.exitStatus() != QProcess::NormalExit
        || gen.exitCode() != 0) {
        std::fprintf(stderr, "cannot generate %s %d with python3\n", qPrintable(what), count);
        return {};
    }
    // A user's folder is on disk, not being written back: the kernel's writing of thousands of
    // new files would take the cores from the first runs. And a file changed in the last two
    // seconds is never indexed (it may change again within its time stamp): the folder is let
    // age as a user's folder has.
    ::sync();
    QThread::msleep(2100);
    return folder;
}

/** Removes the folder indexes the kit keeps in the cache folder: the next open reads every file. */
inline void dropIndexes()
{
    QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
         + QStringLiteral("/zemappkit/folder-index"))
        .removeRecursively();
}

inline double residentMiB(const char *field)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field, 0) == 0)
            return std::stod(line.substr(std::string(field).size())) / 1024.0;
    return 0;
}

/**
 * The process's peak resident memory while it lives: what was resident when it was made
 * (base_MiB) and the highest it went until report() (peak_MiB, getrusage's ru_maxrss after
 * the peak was reset to the current size through /proc/self/clear_refs). Where the reset
 * is refused, peak_MiB is the peak since the process started, and says so in peak_reset.
 */
class PeakMemory
{
public:
    PeakMemory()
    {
        malloc_trim(0); // what earlier benchmarks freed does not count as this one's
        std::FILE *clear = std::fopen("/proc/self/clear_refs", "w");
        m_reset = clear && std::fputs("5", clear) >= 0;
        if (clear)
            m_reset = (std::fclose(clear) == 0) && m_reset;
        m_base = residentMiB("VmRSS:");
    }

    void report(benchmark::State &state) const
    {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        state.counters["base_MiB"] = m_base;
        state.counters["peak_MiB"] = double(usage.ru_maxrss) / 1024.0;
        if (!m_reset)
            state.counters["peak_reset"] = 0;
    }

private:
    double m_base = 0;
    bool m_reset = false;
};

} // namespace benchfolders
