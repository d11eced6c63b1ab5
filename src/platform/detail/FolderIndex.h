#pragma once
// Not installed: a folder store's index of what it read from each file, kept in the user's
// cache folder so that a store opens without parsing files that did not change. The files
// stay the truth: an entry is used only while its file's key (size, times, inode) is the
// one it was made from, and an index that cannot be read is rebuilt.

#include "foundation/detail/ZEM_F_Files.h"
#include "zem_appkit_export.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <memory>
#include <optional>

struct sqlite3;

namespace platform::detail {

/** What tells one state of a file from another without reading it. The change time cannot
    be set by other programs, so an edit that restores size and modification time is seen. */
using FileKey = ZEM_F_Files::Stamp;

class ZEM_APPKIT_EXPORT FolderIndex
{
public:
    struct Entry
    {
        FileKey key;
        QByteArray payload;
    };

    /** The index of \a folder's \a kind of data in format \a version, in the user's cache
        folder; made anew when missing, unreadable or of another version. Null when no index
        can be kept (no cache folder, or one inside \a folder): the store then reads files. */
    static std::unique_ptr<FolderIndex> open(const QString &folder, const QString &kind, int version);
    /** Where open() keeps the index of \a folder's \a kind. */
    static QString pathFor(const QString &folder, const QString &kind);

    ~FolderIndex();
    FolderIndex(const FolderIndex &) = delete;
    FolderIndex &operator=(const FolderIndex &) = delete;

    /** The entries as read at open, by file path relative to the folder. */
    const QHash<QString, Entry> &entries() const { return m_entries; }
    /** The payload stored for \a relPath while its file still has \a key. */
    std::optional<QByteArray> lookup(const QString &relPath, const FileKey &key) const;
    /** lookup(), handing the payload over rather than keeping a copy, so that a store reading
        every entry never holds them all twice. Several threads may take different paths. */
    std::optional<QByteArray> take(const QString &relPath, const FileKey &key);

    /** Records \a payload for \a relPath's state \a key; written by commit(). A file touched
        so recently that it may change again within the same timestamp tick is not recorded,
        so it is read again next time. */
    void put(const QString &relPath, const FileKey &key, const QByteArray &payload);
    void forget(const QString &relPath);
    /** Whether a file in state \a key was last touched long enough ago that a later change
        is bound to change its key: only such states are recorded, or trusted unread. */
    static bool isSettled(const FileKey &key);
    /** For tests: how long a touched file counts as unsettled (negative: the default). */
    static void setSettleWindowForTesting(qint64 ns);
    /** Writes what put() and forget() recorded in one transaction; false (and nothing
        written) when another process holds the index too long or it cannot be written. */
    bool commit();

private:
    FolderIndex(sqlite3 *db, QHash<QString, Entry> entries);

    sqlite3 *m_db;
    QHash<QString, Entry> m_entries;
    QHash<QString, std::optional<Entry>> m_pending; // nullopt: forget
};

} // namespace platform::detail
