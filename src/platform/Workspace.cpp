#include "platform/Workspace.h"

#include <QDesktopServices>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace platform {

namespace {

struct DesktopEntry
{
    QString name;
    QString exec;
    bool usable = false;
};

DesktopEntry readDesktopEntry(const QString &path)
{
    DesktopEntry entry;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return entry;
    bool inMain = false;
    bool hidden = false;
    QString type;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inMain = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inMain)
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if (key == QLatin1String("Name"))
            entry.name = value;
        else if (key == QLatin1String("Exec"))
            entry.exec = value;
        else if (key == QLatin1String("Hidden"))
            hidden = value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
        else if (key == QLatin1String("Type"))
            type = value;
    }
    entry.usable = !hidden && !entry.exec.isEmpty()
        && (type.isEmpty() || type == QLatin1String("Application"));
    return entry;
}

/** The program of an Exec line: its first word, double quotes honoured. */
QString execProgram(const QString &exec)
{
    QString program;
    bool quoted = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (c == u'"') {
            quoted = !quoted;
        } else if (c == u'\\' && quoted && i + 1 < exec.size()) {
            program += exec.at(++i);
        } else if (c.isSpace() && !quoted) {
            if (!program.isEmpty())
                break;
        } else {
            program += c;
        }
    }
    return program;
}

QString executablePath(const QString &program)
{
    if (program.isEmpty())
        return {};
    if (program.contains(u'/')) {
        const QFileInfo info(program);
        return info.isFile() && info.isExecutable() ? info.absoluteFilePath() : QString();
    }
    return QStandardPaths::findExecutable(program);
}

bool fileIdMatches(const QString &fileName, const QString &name)
{
    QString id = fileName;
    id.chop(int(qstrlen(".desktop")));
    if (id.compare(name, Qt::CaseInsensitive) == 0)
        return true;
    const qsizetype dot = id.lastIndexOf(u'.');
    return dot >= 0 && id.mid(dot + 1).compare(name, Qt::CaseInsensitive) == 0;
}

QString findInDesktopEntries(const QString &name)
{
    QStringList files;
    for (const QString &dir :
         QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation)) {
        QDirIterator it(dir, {QStringLiteral("*.desktop")}, QDir::Files | QDir::Readable,
                        QDirIterator::Subdirectories);
        QStringList here;
        while (it.hasNext())
            here << it.next();
        here.sort();
        files << here;
    }
    // File names are more specific than display names: look at all of them first.
    for (const QString &file : std::as_const(files)) {
        if (!fileIdMatches(QFileInfo(file).fileName(), name))
            continue;
        const DesktopEntry entry = readDesktopEntry(file);
        if (entry.usable) {
            if (QString path = executablePath(execProgram(entry.exec)); !path.isEmpty())
                return path;
        }
    }
    for (const QString &file : std::as_const(files)) {
        const DesktopEntry entry = readDesktopEntry(file);
        if (entry.usable && entry.name.compare(name, Qt::CaseInsensitive) == 0) {
            if (QString path = executablePath(execProgram(entry.exec)); !path.isEmpty())
                return path;
        }
    }
    return {};
}

class DesktopWorkspace : public WorkspaceBackend
{
public:
    ZEM_Result<void> openURL(const QUrl &url) override
    {
        if (QDesktopServices::openUrl(url))
            return {};
        return ZEM_Error::make(ZEM_Error::Unavailable,
                               QStringLiteral("No application opens %1").arg(url.toString()),
                               {url.toString()});
    }

    ZEM_Result<void> launchApplication(const QString &program,
                                       const QStringList &arguments) override
    {
        if (QProcess::startDetached(program, arguments))
            return {};
        return ZEM_Error::make(ZEM_Error::Unavailable,
                               QStringLiteral("Could not start %1").arg(program), {program});
    }

    ZEM_Result<void> revealFile(const QString &path) override
    {
        // File managers that select the file they are given; any other desktop gets the
        // folder opened.
        static const char *const selecting[][2] = {
            {"nautilus", "--select"}, {"dolphin", "--select"}, {"caja", "--select"},
            {"nemo", nullptr}};
        for (const auto &manager : selecting) {
            const QString program = QStandardPaths::findExecutable(QLatin1String(manager[0]));
            if (program.isEmpty())
                continue;
            QStringList arguments;
            if (manager[1])
                arguments << QLatin1String(manager[1]);
            arguments << path;
            if (QProcess::startDetached(program, arguments))
                return {};
        }
        const QFileInfo info(path);
        return openURL(QUrl::fromLocalFile(info.isDir() ? path : info.absolutePath()));
    }
};

WorkspaceBackend *g_backend = nullptr;

WorkspaceBackend *desktopBackend()
{
    static DesktopWorkspace *const backend = new DesktopWorkspace;
    return backend;
}

} // namespace

WorkspaceBackend::~WorkspaceBackend() = default;

ZEM_Result<void> Workspace::openURL(const QUrl &url)
{
    if (url.isEmpty())
        return ZEM_Error::make(ZEM_Error::InvalidArgument, QStringLiteral("The URL is empty"));
    if (!url.isValid() || url.scheme().isEmpty())
        return ZEM_Error::make(ZEM_Error::InvalidArgument,
                               QStringLiteral("Not a URL: %1").arg(url.toString()),
                               {url.toString()});
    return backend()->openURL(url);
}

ZEM_Result<void> Workspace::launchApplication(const QString &nameOrPath,
                                              const QStringList &arguments)
{
    if (nameOrPath.trimmed().isEmpty())
        return ZEM_Error::make(ZEM_Error::InvalidArgument,
                               QStringLiteral("No application named"));
    const QString program = findApplication(nameOrPath);
    if (program.isEmpty())
        return ZEM_Error::make(ZEM_Error::NotFound,
                               QStringLiteral("Application not found: %1").arg(nameOrPath),
                               {nameOrPath});
    return backend()->launchApplication(program, arguments);
}

ZEM_Result<void> Workspace::revealFile(const QString &path)
{
    if (path.isEmpty())
        return ZEM_Error::make(ZEM_Error::InvalidArgument, QStringLiteral("No file named"));
    const QFileInfo info(path);
    if (!info.exists())
        return ZEM_Error::make(ZEM_Error::NotFound,
                               QStringLiteral("No such file: %1").arg(path), {path});
    return backend()->revealFile(info.absoluteFilePath());
}

QString Workspace::findApplication(const QString &name)
{
    QString wanted = name.trimmed();
    if (wanted.endsWith(QLatin1String(".app"), Qt::CaseInsensitive))
        wanted.chop(4);
    if (wanted.isEmpty())
        return {};
    if (wanted.contains(u'/'))
        return executablePath(wanted);
    if (QString path = QStandardPaths::findExecutable(wanted); !path.isEmpty())
        return path;
    if (wanted != wanted.toLower()) {
        if (QString path = QStandardPaths::findExecutable(wanted.toLower()); !path.isEmpty())
            return path;
    }
    return findInDesktopEntries(wanted);
}

void Workspace::setBackend(WorkspaceBackend *backend) { g_backend = backend; }

WorkspaceBackend *Workspace::backend() { return g_backend ? g_backend : desktopBackend(); }

RecordingWorkspace::RecordingWorkspace(bool install) : m_installed(install)
{
    if (install)
        Workspace::setBackend(this);
}

RecordingWorkspace::~RecordingWorkspace()
{
    if (m_installed && Workspace::backend() == this)
        Workspace::setBackend(nullptr);
}

ZEM_Result<void> RecordingWorkspace::record(WorkspaceRequest request)
{
    m_requests.append(std::move(request));
    if (m_failure)
        return *m_failure;
    return {};
}

ZEM_Result<void> RecordingWorkspace::openURL(const QUrl &url)
{
    return record({WorkspaceRequest::Kind::OpenURL, url, {}, {}});
}

ZEM_Result<void> RecordingWorkspace::launchApplication(const QString &program,
                                                       const QStringList &arguments)
{
    return record({WorkspaceRequest::Kind::LaunchApplication, {}, program, arguments});
}

ZEM_Result<void> RecordingWorkspace::revealFile(const QString &path)
{
    return record({WorkspaceRequest::Kind::RevealFile, QUrl::fromLocalFile(path), path, {}});
}

} // namespace platform
