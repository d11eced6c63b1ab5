#include "platform/detail/ItemFiles.h"

#include "foundation/ZEM_F_HostDelegate.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QSocketNotifier>
#include <QTimer>

#ifdef Q_OS_LINUX
#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <thread>
#include <vector>
#endif


namespace platform::detail {

QString fileNameForUid(const QString &uid, const QString &suffix)
{
    QString name;
    name.reserve(uid.size() + suffix.size());
    for (QChar c : uid) {
        const bool unsafe = c.unicode() < 0x20 || c == u'/' || c == u'\\' || c == u':' || c == u'*'
                            || c == u'?' || c == u'"' || c == u'<' || c == u'>' || c == u'|';
        name.append(unsafe ? u'_' : c);
    }
    // A leading dot would hide the item from sync tools.
    if (name.startsWith(u'.'))
        name[0] = u'_';
    // File names end at 255 bytes; leave room for the suffix and a writer's temporary prefix.
    constexpr qsizetype kMaxNameBytes = 150;
    if (name.toUtf8().size() > kMaxNameBytes) {
        const QByteArray hash = QCryptographicHash::hash(uid.toUtf8(), QCryptographicHash::Sha256).toHex();
        QString head = name.left(64);
        while (head.toUtf8().size() > 64 || (!head.isEmpty() && head.back().isHighSurrogate()))
            head.chop(1);
        name = head + u'-' + QString::fromLatin1(hash);
    }
    return name + suffix;
}

QHash<QString, std::optional<QByteArray>> &ownWrites()
{
    static QHash<QString, std::optional<QByteArray>> writes;
    return writes;
}

bool isOwnWrite(const QString &path, const std::optional<QByteArray> &bytes)
{
    const auto &own = ownWrites();
    const auto w = own.constFind(path);
    return w != own.constEnd() && *w == bytes;
}

QStringList namesOfNonFolders(const QString &dir)
{
    QStringList names;
    DIR *d = opendir(QFile::encodeName(dir).constData());
    if (!d)
        return names;
    while (const dirent *e = readdir(d)) {
        if (e->d_name[0] == '.' || e->d_type == DT_DIR)
            continue;
        struct stat st;
        // The type of what a link names, or of an entry the file system did not tell.
        if ((e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) && fstatat(dirfd(d), e->d_name, &st, 0) == 0
            && S_ISDIR(st.st_mode))
            continue;
        names.append(QFile::decodeName(e->d_name));
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

void settleLocalZone()
{
    // ":/etc/localtime" is the default the C library reads when TZ is unset, and Qt reads
    // it as the system zone too; set, it is only looked at again when TZ changes.
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
}

QString ownProcessName()
{
    if (ZEM_F_HostDelegate *delegate = ZEM_F_Host::delegate())
        return delegate->getAppName();
    return QCoreApplication::applicationName();
}

namespace {

#ifdef Q_OS_LINUX
// A folder's own entries (added, removed, renamed in or out) and what happens to the files
// in it (written in place, closed after writing, permissions), and the folder going away.
constexpr uint32_t kFolderEvents = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE
                                   | IN_MODIFY | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
#endif

// "a/b/c.ics" -> {"a/b", "c.ics"}
std::pair<QString, QString> splitPath(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0)
        return {QStringLiteral("."), path};
    return {slash == 0 ? QStringLiteral("/") : path.left(slash), path.mid(slash + 1)};
}

} // namespace

FolderWatcher::FolderWatcher(QObject *owner, std::function<void()> changed)
    : m_owner(owner), m_debounce(new QTimer(owner))
{
    m_debounce->setSingleShot(true);
    m_debounce->setInterval(100);
    QObject::connect(m_debounce, &QTimer::timeout, owner, std::move(changed));
#ifdef Q_OS_LINUX
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd >= 0) {
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, owner);
        QObject::connect(m_notifier, &QSocketNotifier::activated, owner, [this] { readEvents(); });
    }
#endif
}

FolderWatcher::~FolderWatcher()
{
    delete m_notifier; // before its descriptor closes
    delete m_debounce;
    delete m_fallback;
#ifdef Q_OS_LINUX
    if (m_fd >= 0)
        ::close(m_fd);
#endif
}

void FolderWatcher::watchOnly(const QStringList &folders, const QStringList &files)
{
    if (m_fd < 0) {
        watchEachPath(folders + files);
        return;
    }
#ifdef Q_OS_LINUX
    QHash<QString, Watch> wanted;
    for (const QString &f : folders) {
        Watch &w = wanted[QDir::cleanPath(f)];
        w.whole = true;
    }
    for (const QString &f : files) {
        auto [folder, name] = splitPath(f);
        auto w = wanted.find(folder);
        if (w == wanted.end())
            w = wanted.find(folder = QDir::cleanPath(folder));
        if (w == wanted.end())
            w = wanted.insert(folder, Watch{});
        if (!w->whole)
            w->names.insert(name);
    }
    QHash<int, Watch> now;
    for (auto it = wanted.begin(); it != wanted.end(); ++it) {
        // The same folder reached by two paths is one watch.
        const int wd = inotify_add_watch(m_fd, QFile::encodeName(it.key()).constData(), kFolderEvents);
        if (wd < 0)
            continue; // not there now: its parent's watch tells when it comes
        Watch &w = now[wd];
        w.folder = it.key();
        w.whole = w.whole || it->whole;
        w.names.unite(it->names);
    }
    for (auto it = m_watches.cbegin(); it != m_watches.cend(); ++it)
        if (!now.contains(it.key()))
            inotify_rm_watch(m_fd, it.key());
    m_watches = std::move(now);
#endif
}

void FolderWatcher::watchAlso(const QString &path)
{
    if (m_fd < 0) {
        // A file replaced by a rename is a new file to the watcher: watch it anew.
        if (!m_fallback)
            watchEachPath({});
        m_fallback->removePath(path);
        if (QFileInfo::exists(path))
            m_fallback->addPath(path);
        return;
    }
#ifdef Q_OS_LINUX
    const auto [folder, name] = splitPath(path);
    for (const Watch &w : std::as_const(m_watches))
        if (w.folder == folder && (w.whole || w.names.contains(name)))
            return;
    const int wd = inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), kFolderEvents);
    if (wd < 0)
        return;
    Watch &w = m_watches[wd];
    w.folder = folder;
    w.names.insert(name);
#endif
}

void FolderWatcher::readEvents()
{
#ifdef Q_OS_LINUX
    bool poke = false;
    readInotifyEvents(m_fd, [&](const inotify_event &e) {
        const auto w = m_watches.constFind(e.wd);
        if (e.mask & IN_Q_OVERFLOW) {
            poke = true; // events were lost: whatever changed, a scan finds it
        } else if (w == m_watches.constEnd()) {
            return; // a watch dropped since
        } else if (e.mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) {
            poke = true; // the folder itself went, and with it what was watched in it
            if (e.mask & IN_IGNORED)
                m_watches.erase(w);
        } else if (w->whole || (e.len && w->names.contains(QFile::decodeName(e.name)))) {
            poke = true;
        }
    });
    if (poke)
        m_debounce->start();
#endif
}

void readInotifyEvents(int fd, const std::function<void(const inotify_event &)> &each)
{
#ifdef Q_OS_LINUX
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        for (ssize_t at = 0; at < n;) {
            const auto *e = reinterpret_cast<const inotify_event *>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + e->len);
            each(*e);
        }
    }
#else
    Q_UNUSED(fd);
    Q_UNUSED(each);
#endif
}

void forEachIndex(qsizetype count, qsizetype perThread, const std::function<void(qsizetype)> &work)
{
    const qsizetype threads = std::min<qsizetype>({qsizetype(std::thread::hardware_concurrency()),
                                                   count / std::max<qsizetype>(perThread, 1), 8});
    std::atomic<qsizetype> next{0};
    const auto run = [&] {
        for (qsizetype i = next++; i < count; i = next++)
            work(i);
    };
    std::vector<std::thread> helpers;
    for (qsizetype t = 1; t < threads; ++t)
        helpers.emplace_back(run);
    run();
    for (std::thread &t : helpers)
        t.join();
}

void FolderWatcher::watchEachPath(const QStringList &paths)
{
    if (!m_fallback) {
        m_fallback = new QFileSystemWatcher(m_owner);
        const auto poke = [debounce = m_debounce] { debounce->start(); };
        QObject::connect(m_fallback, &QFileSystemWatcher::directoryChanged, m_owner, poke);
        QObject::connect(m_fallback, &QFileSystemWatcher::fileChanged, m_owner, poke);
    }
    // A file replaced by a rename is a new file to the watcher: watch the current set anew.
    const QStringList watched = m_fallback->files() + m_fallback->directories();
    if (!watched.isEmpty())
        m_fallback->removePaths(watched);
    QStringList add;
    for (const QString &p : paths)
        if (QFileInfo::exists(p))
            add.append(p);
    if (!add.isEmpty())
        m_fallback->addPaths(add);
}

void FolderWatcher::cancelPending()
{
    m_debounce->stop();
}

} // namespace platform::detail
