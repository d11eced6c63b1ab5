#pragma once
// Reading and replacing files in folders that other programs share: sync tools, editors and
// whoever else may put a link, a pipe or a device where a file was, or edit a file between
// our read and our write. Nothing here follows a link or blocks on a special file.

#include "foundation/ZEM_Result.h"
#include "zem_foundation_export.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace ZEM_F_Files {

/** What identifies one version of a file without reading it (from lstat). */
struct ZEM_FOUNDATION_EXPORT Stamp
{
    bool exists = false;
    bool regular = false; ///< a plain file (not a link, folder, pipe or device)
    qint64 size = 0;
    qint64 mtimeNs = 0;
    qint64 ctimeNs = 0;
    quint64 inode = 0;
    quint64 device = 0;

    bool operator==(const Stamp &) const = default;
};

/** The stamp of \a path itself; a link is described, not followed. */
ZEM_FOUNDATION_EXPORT Stamp stampOf(const QString &path);
/** The stamp of entry \a name of the open folder \a dirFd: for many entries of one folder,
    without resolving the folder's path again for each. */
ZEM_FOUNDATION_EXPORT Stamp stampAt(int dirFd, const QString &name);

/** Large enough for any card, calendar or language file a person keeps. */
inline constexpr qint64 DefaultMaxBytes = qint64(256) << 20;

/**
 * The bytes of the regular file \a path. A link, folder, pipe, socket or device is refused
 * (ReadFailed, saying what it is) without being opened for reading, so none of them can
 * block or feed endless data; so is a file larger than \a maxBytes. \a stamp, when given,
 * receives the stamp of the file that was read.
 */
ZEM_FOUNDATION_EXPORT ZEM_Result<QByteArray> readRegularFile(const QString &path,
                                                             qint64 maxBytes = DefaultMaxBytes,
                                                             Stamp *stamp = nullptr);

/** What a replace or remove expects to find, checked immediately before it acts. */
struct ZEM_FOUNDATION_EXPORT Expected
{
    /** Anything may be there: the caller does not care what it replaces. */
    static Expected anything() { return {}; }
    /** No file may be there: a new item must not overwrite one another program made. */
    static Expected absent() { return Expected{true, std::nullopt}; }
    /** Exactly these bytes, as read before: another program's edit in between is a conflict. */
    static Expected bytes(QByteArray base) { return Expected{true, std::move(base)}; }

    bool checked = false;
    std::optional<QByteArray> content;
};

enum class Links {
    Refuse, ///< a link at the path is refused: an item file is never written through
    Follow, ///< the file a link names is replaced (a store file the host named through a link)
};

/**
 * Replaces \a path by \a bytes so that a crash at any moment leaves the old or the new file:
 * a temporary file beside it, synced, renamed over, and the folder synced. The old file's
 * permissions are kept. Refused with Conflict (nothing written) when the file is no longer
 * what \a expected says; refused with WriteFailed when the path is a link (Links::Refuse),
 * a folder or special file, or a file without write permission for its owner.
 */
ZEM_FOUNDATION_EXPORT ZEM_Result<void> replaceFile(const QString &path, const QByteArray &bytes,
                                                   const Expected &expected = Expected::anything(),
                                                   Links links = Links::Refuse);

/**
 * Removes \a path, a link itself and never what it names. Conflict when the file is no
 * longer what \a expected says; a file already gone is no error unless bytes were expected.
 */
ZEM_FOUNDATION_EXPORT ZEM_Result<void> removeFile(const QString &path,
                                                  const Expected &expected = Expected::anything());

/** Whether \a path is a link or lies inside a linked folder below \a root (both absolute). */
ZEM_FOUNDATION_EXPORT bool passesThroughLink(const QString &root, const QString &path);

/**
 * Removes the hidden temporaries replaceFile() leaves in \a folder when a process dies
 * mid-write, for the file names starting with \a prefix, when older than \a minAgeSeconds
 * (a younger one may belong to a writer still at work).
 */
ZEM_FOUNDATION_EXPORT int removeStaleTemporaries(const QString &folder, const QString &prefix = {},
                                                 int minAgeSeconds = 60);

/**
 * For tests: \a hook is called with the path replaceFile() or removeFile() acts on at the
 * last moment before it checks what it expects to find, so a test can play another program
 * that edits the file between a store's read and its write. Not called again from inside
 * itself; an empty hook ends it.
 */
ZEM_FOUNDATION_EXPORT void setBeforeCheckForTesting(std::function<void(const QString &path)> hook);

/** The name replaceFile() gives its temporaries for \a fileName start with this. */
ZEM_FOUNDATION_EXPORT QString temporaryPrefix(const QString &fileName);

} // namespace ZEM_F_Files
