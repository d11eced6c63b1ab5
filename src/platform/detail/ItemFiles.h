#pragma once
// What the folder stores (address book, calendars) share about their item files: safe file
// names, atomic writes, and telling this process's own writes from other programs' edits.

#include "foundation/ZEM_Result.h"
#include "zem_appkit_export.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

struct inotify_event;
class QFileSystemWatcher;
class QObject;
class QSocketNotifier;
class QTimer;

namespace platform::detail {

/**
 * "<uid><suffix>" with characters no file name may hold (and a leading dot) made "_". A
 * UID too long for a file name (they may be any length) gives its first characters and a
 * SHA-256 of the whole UID instead, under 200 bytes; the UID itself stays in the file.
 */
ZEM_APPKIT_EXPORT QString fileNameForUid(const QString &uid, const QString &suffix);

/** What this process last wrote to each file (nullopt: removed it), for every store of it. */
QHash<QString, std::optional<QByteArray>> &ownWrites();

/** Whether this process's last write to \a path left it holding \a bytes (nullopt: removed it). */
bool isOwnWrite(const QString &path, const std::optional<QByteArray> &bytes);

/** The name change notices carry for this process's own saves: the host's application name. */
QString ownProcessName();

/** Makes local times cheap to convert for the rest of the process: with TZ unset, the C
    library looks at the system's zone file again on every conversion (a stat() each, and a
    folder's items convert hundreds of thousands). The zone stays the system's own. */
void settleLocalZone();

/** The names of what folder \a dir holds other than folders (files, links to files, broken
    links, pipes, devices), without hidden ones, sorted: as QDir lists Files | System, without
    looking at each file (a folder of thousands is listed on every read). */
QStringList namesOfNonFolders(const QString &dir);

/** Runs \a work once for each index below \a count, on this thread and, where there are
    \a perThread indexes for each, on the machine's other cores. */
void forEachIndex(qsizetype count, qsizetype perThread, const std::function<void(qsizetype)> &work);

/** Calls \a each for every event waiting on the inotify descriptor \a fd (non-blocking). */
void readInotifyEvents(int fd, const std::function<void(const inotify_event &)> &each);

/**
 * Watches a store's folders and files and calls \a changed once per burst of changes, 100 ms
 * after the last one: sync tools and editors touch a file several times in a row. Its Qt
 * objects are children of \a owner, and \a changed runs in the owner's context.
 *
 * On Linux one inotify watch per folder reports every file in it (written in place,
 * renamed over, added, removed), so setting up costs the same for ten files or ten
 * thousand; elsewhere, or when the system gives no inotify instance, each path is watched.
 */
class FolderWatcher
{
public:
    FolderWatcher(QObject *owner, std::function<void()> changed);
    ~FolderWatcher();
    FolderWatcher(const FolderWatcher &) = delete;
    FolderWatcher &operator=(const FolderWatcher &) = delete;

    /** Watches exactly those of \a folders (their entries and every file in them) and \a files
        that exist now. */
    void watchOnly(const QStringList &folders, const QStringList &files);
    /** Watches the file \a path too, leaving the rest as it is (one file a save wrote). */
    void watchAlso(const QString &path);
    /** Drops a call still waiting for its burst to end. */
    void cancelPending();

private:
    struct Watch
    {
        QString folder;
        bool whole = false;     // every name in it counts, not only names
        QSet<QString> names;    // files watched alone in it
    };
    void readEvents();
    void watchEachPath(const QStringList &paths);

    QObject *m_owner;
    QTimer *m_debounce;
    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QHash<int, Watch> m_watches; // inotify watch -> what it stands for
    QFileSystemWatcher *m_fallback = nullptr;
};

} // namespace platform::detail
