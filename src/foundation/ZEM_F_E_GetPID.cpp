#include "ZEM_F_E_GetPID.h"

#include <QDir>
#include <QFile>

#include <algorithm>

namespace {

// The kernel keeps 15 bytes of a process's name.
constexpr qsizetype CommLength = 15;

QByteArray readProcFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return {};
    return file.read(4096);
}

QByteArray programName(QByteArray cmdline)
{
    while (cmdline.endsWith('\0'))
        cmdline.chop(1);
    QByteArray first = cmdline.left(cmdline.indexOf('\0') >= 0 ? cmdline.indexOf('\0')
                                                               : cmdline.size());
    // Programs that rewrite their arguments as one line ("name: worker") keep the name
    // as its first word.
    if (first.size() == cmdline.size() && !QFile::exists(QString::fromLocal8Bit(first))) {
        if (const qsizetype space = first.indexOf(' '); space > 0)
            first.truncate(space);
        if (first.endsWith(':'))
            first.chop(1);
    }
    const qsizetype slash = first.lastIndexOf('/');
    return slash >= 0 ? first.mid(slash + 1) : first;
}

} // namespace

ZEM_F_E_GetPID::ZEM_F_E_GetPID(QObject *parent) : ZEM_F_B_Securitry(parent) {}

ZEM_F_E_GetPID::~ZEM_F_E_GetPID() = default;

ZEM_F_E_GetPID *ZEM_F_E_GetPID::shared()
{
    static ZEM_F_E_GetPID *const engine = new ZEM_F_E_GetPID;
    return engine;
}

int ZEM_F_E_GetPID::getPIDForProcessName(const QString &name) const
{
    const QList<int> ids = processIds(name);
    return ids.isEmpty() ? 0 : ids.first();
}

QList<int> ZEM_F_E_GetPID::processIds(const QString &name) const
{
    QList<int> ids;
    const QByteArray wanted = name.toLocal8Bit();
    if (wanted.isEmpty() || wanted.contains('/'))
        return ids;
    const QDir proc(QStringLiteral("/proc"));
    const QStringList entries = proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool isPid = false;
        const int pid = entry.toInt(&isPid);
        if (!isPid || pid <= 0)
            continue;
        const QString base = proc.filePath(entry);
        const QByteArray comm = readProcFile(base + QStringLiteral("/comm")).trimmed();
        if (comm.isEmpty())
            continue; // gone, or not ours to read
        // A name longer than comm holds can only match through the program name.
        if (wanted.size() <= CommLength && comm == wanted) {
            ids << pid;
            continue;
        }
        const QByteArray cmdline = readProcFile(base + QStringLiteral("/cmdline"));
        if (!cmdline.isEmpty() && programName(cmdline) == wanted)
            ids << pid;
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}
