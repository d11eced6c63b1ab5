#include "platform/detail/ItemFiles.h"

#include "foundation/ZEM_F_HostDelegate.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>


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

QString ownProcessName()
{
    if (ZEM_F_HostDelegate *delegate = ZEM_F_Host::delegate())
        return delegate->getAppName();
    return QCoreApplication::applicationName();
}

FolderWatcher::FolderWatcher(QObject *owner, std::function<void()> changed)
    : m_watcher(new QFileSystemWatcher(owner)), m_debounce(new QTimer(owner))
{
    m_debounce->setSingleShot(true);
    m_debounce->setInterval(100);
    QObject::connect(m_debounce, &QTimer::timeout, owner, std::move(changed));
    const auto poke = [debounce = m_debounce] { debounce->start(); };
    QObject::connect(m_watcher, &QFileSystemWatcher::directoryChanged, owner, poke);
    QObject::connect(m_watcher, &QFileSystemWatcher::fileChanged, owner, poke);
}

void FolderWatcher::watchOnly(const QStringList &paths)
{
    // A file replaced by a rename is a new file to the watcher: watch the current set anew.
    const QStringList watched = m_watcher->files() + m_watcher->directories();
    if (!watched.isEmpty())
        m_watcher->removePaths(watched);
    QStringList add;
    for (const QString &p : paths)
        if (QFileInfo::exists(p))
            add.append(p);
    if (!add.isEmpty())
        m_watcher->addPaths(add);
}

void FolderWatcher::watchAlso(const QString &path)
{
    // A file replaced by a rename is a new file to the watcher: watch it anew.
    m_watcher->removePath(path);
    if (QFileInfo::exists(path))
        m_watcher->addPath(path);
}

void FolderWatcher::cancelPending()
{
    m_debounce->stop();
}

} // namespace platform::detail
