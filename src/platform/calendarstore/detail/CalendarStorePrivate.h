#pragma once
// Not installed: the calendar store's state: the folder as last read, the index of its
// items, and the reading and writing of its files (CalendarStorePrivate.cpp); the saves
// and removals that use them are in CalendarStore.cpp.

#include "platform/calendarstore/CalendarStore.h"
#include "platform/calendarstore/detail/ICalendarMapping.h"
#include "platform/calendarstore/detail/Ical.h"
#include "platform/calendarstore/detail/NewFiles.h"
#include "platform/detail/FolderIndex.h"
#include "platform/detail/ItemFiles.h"

#include <QDir>
#include <QHash>
#include <QSet>

#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>

namespace platform {

namespace detail {
// A calendar's type, notes and read-only mark; a folder without it is a local calendar.
inline const QString kMetaFileName = QStringLiteral(".zem-calendar.json");
// Where a file is kept as it was when it must be written by libical alone, which cannot
// keep all of its lines (lossless writes keep them: see IcsSplice.h).
inline const QString kOriginalsFolder = QStringLiteral(".zem-originals");
// What the UID made for an item without one is made from, with the item's place in the file.
inline QString madeUidSeed(const QString &calendarUid, const QString &fileName)
{
    return calendarUid + u'/' + fileName;
}
} // namespace detail

/** Events and to-dos as the files of a store hold them. */
class CalendarStorePrivate
{
public:
    // What tells one content of a file from another: its bytes where both were read, else
    // its key.
    struct FileState
    {
        bool parsed = true;
        QByteArray bytes;
        ZEM_F_Files::Stamp key;

        bool differsFrom(const FileState &other) const
        {
            return parsed && other.parsed ? bytes != other.bytes : !(key == other.key);
        }
    };
    struct IcsFile
    {
        QString fileName;
        ZEM_F_Files::Stamp key; // the state of the file it was read from
        // False for a file listed from the folder index: its bytes are read, and parsed, when
        // something needs more than the items cached.
        bool parsed = true;
        QByteArray bytes;
        detail::ical::IcalPtr root;
        bool lossy = false;
        QStringList problems;
        QList<std::pair<QString, bool>> items; // uid, is a to-do
        // Each item's components and the times they span, so that a listing finds an item
        // without walking the file and passes over items outside its range. A file holds
        // one item or a few: a list beside items, not a table for each file.
        struct Span
        {
            std::vector<icalcomponent *> comps;
            // As instants: compared for every item of a listing.
            qint64 first = std::numeric_limits<qint64>::max();
            qint64 last = std::numeric_limits<qint64>::min();
            bool open = false; // a series, or an item without dates: always expanded
            bool done = false; // a to-do completed or cancelled (as cached: see cached)
            // The item as listings hand it out (see ItemCache.h); empty when that needs the
            // file parsed.
            QByteArray cached;
            // A series' occurrences in the range of a listing that expanded it (see
            // seriesPayload()): a later listing within that range needs no parse.
            QByteArray series;
        };
        std::vector<Span> spans; // of items[i]
        // The index's payload a file listed from it was read from: its spans' cached and
        // series bytes are views of it, not copies.
        QByteArray payload;

        /** The place of item \a uid in items, or -1; \a byUid, when given, is filled on
            first use for files of many items. */
        qsizetype indexOf(const QString &uid, QHash<QString, qsizetype> *byUid = nullptr) const;

        FileState state() const { return {parsed, bytes, key}; }
    };
    struct Folder
    {
        CalCalendar calendar;
        QByteArray meta;
        std::map<QString, std::unique_ptr<IcsFile>> files;
    };

    CalendarStore *q = nullptr;
    QString folder;
    std::map<QString, Folder> folders;
    QHash<QString, std::pair<QString, QString>> index; // item uid -> calendar uid, file name
    QStringList problems;
    QSet<QString> reportedOthers;
    std::optional<detail::FolderWatcher> watcher;
    // Files other programs added since the last read: read as they come, so that a new
    // item's uid is checked without reading the folder again.
    detail::NewFiles newFiles;

    // Calendar uids and file names are names of the folder's entries: joined, not resolved.
    QString calendarPath(const QString &calendarUid) const
    {
        return folder.endsWith(u'/') ? folder + calendarUid : folder + u'/' + calendarUid;
    }
    QString filePath(const QString &calendarUid, const QString &fileName) const
    {
        return calendarPath(calendarUid) + u'/' + fileName;
    }

    const IcsFile *fileOf(const QString &uid) const
    {
        const auto where = index.constFind(uid);
        if (where == index.constEnd())
            return nullptr;
        const auto f = folders.find(where->first);
        if (f == folders.end())
            return nullptr;
        const auto file = f->second.files.find(where->second);
        return file == f->second.files.end() ? nullptr : file->second.get();
    }


    /** Whether the calendar folder \a dirPath is a link to somewhere outside \a root: such a
        calendar is read, never written into. */
    static bool linksOutside(const QString &root, const QString &dirPath);
    /** Calendar \a uid of the store in \a root; what cannot be read goes to \a problems. */
    static CalCalendar readCalendar(const QString &root, const QString &uid, QByteArray *meta,
                                    QStringList *problems = nullptr);
    /** \a bytes of a file read and parsed; with \a toCache, the items a listing can hand out
        from the folder index are kept in cached. */
    static std::unique_ptr<IcsFile> readFile(const QString &calendarUid, const QString &fileName,
                                             const QByteArray &bytes, bool toCache = false);
    // ---- The folder index (CalendarStoreCache.cpp) -------------------------------------------
    /** What the folder index keeps of \a file. */
    static QByteArray payloadOf(const IcsFile &file);
    /** A file as the index kept it; null when the payload cannot be read. */
    static std::unique_ptr<IcsFile> fromPayload(const QString &fileName, const ZEM_F_Files::Stamp &key,
                                                QByteArray payload);
    /** What the index keeps of a series: \a occurrences, all of its occurrences in [from, to),
        as an expansion made them; empty when they are too many to keep. */
    static QByteArray seriesPayload(const QList<CalEvent> &occurrences, qint64 from, qint64 to);
    /** Whether item \a span's series payload holds every occurrence in [from, to). */
    static bool seriesCovers(const IcsFile::Span &span, qint64 from, qint64 to);
    /** Appends to \a out the occurrences in [from, to) of item \a i of \a file from its
        series payload; false when that cannot tell them. */
    bool seriesFromPayload(const QString &calUid, const IcsFile &file, qsizetype i, const QDateTime &from,
                           const QDateTime &to, QList<CalEvent> *out) const;
    /** Reads and parses the files among \a files listed from the index, on every core. */
    void load(const std::vector<std::pair<QString, IcsFile *>> &files) const;
    /** Item \a i of \a file (listed from the index) as a listing hands it out. */
    template<typename Item>
    std::optional<Item> cachedItem(const QString &calUid, const IcsFile &file, qsizetype i) const;
    // Opened at the first read of the folder; null when no index can be kept.
    std::unique_ptr<detail::FolderIndex> folderIndex;
    bool folderIndexTried = false;
    /** The file of item \a uid, parsed. */
    IcsFile *parsedFileOf(const QString &uid);
    void scan(bool announce);
    void startWatching();
    void watchPaths();

    ZEM_Result<void> checkCalendar(const QString &calendarUid) const;
    // Both act only when the file still holds \a base (absent: no file), as read before; when
    // another program changed it since, they refuse with Conflict and set changedWhileWriting.
    ZEM_Result<void> writeFile(const QString &calendarUid, const QString &fileName, const QByteArray &bytes,
                               const std::optional<QByteArray> &base, bool lossy);
    ZEM_Result<void> removeFile(const QString &calendarUid, const QString &fileName, const QByteArray &base);
    bool changedWhileWriting = false;
    /** Runs \a save again while another program changed a file between its read and its
        write: each run reads the file anew and merges, or refuses, as for earlier edits. */
    ZEM_Result<void> retryingRaces(const std::function<ZEM_Result<void>()> &save);
    QString newUid() const;
    QString freeFileName(const QString &calendarUid, const QString &uid) const;

    // A file of the store as it is on disk now, read to change or remove items in it.
    struct ItemFile
    {
        bool exists = false;
        detail::ical::Parsed parsed;
        detail::Origin origin; // its bytes are the file's

        icalcomponent *root() const { return parsed.root.get(); }
    };
    ZEM_Result<void> claimUid(QString &uid);
    // ---- Keeping up without reading the folder (CalendarStoreIndex.cpp) ------------------------
    /** Reads the files other programs added since the last read, announcing their items;
        false when the system lost count of them. */
    bool readNewFiles();
    /** Reads again one file this process wrote, and announces what changed in it. */
    void rereadFile(const QString &calendarUid, const QString &fileName);
    /** The occurrences a predicate asks for; what could not be expanded goes into problems. */
    QList<CalEvent> eventsIn(const CalEventPredicate &predicate);
    /** The to-dos a predicate asks for, in calendar and file order. */
    QList<CalTask> tasksIn(const CalTaskPredicate &predicate);
    static QList<CalEvent> byStart(QList<CalEvent> events);
    /** Writes \a doc to a new file; carrying the lines of the file \a from when the item moves. */
    ZEM_Result<detail::Origin> writeNewFile(const QString &calendarUid, const QString &uid, icalcomponent *doc,
                                            const detail::Origin *from = nullptr);
    ZEM_Result<ItemFile> readItemFile(const QString &calendarUid, const QString &fileName) const;
    ZEM_Result<QByteArray> writeBack(const ItemFile &file);

    // ---- Saving and removing an item (CalendarStore.cpp) ---------------------------------------------

    /** A save that goes on to change the item's file: the file as it is now, the fields
        the caller changed and whether the item moves to another calendar. */
    struct SaveStart
    {
        ItemFile file;
        QStringList changed;
        bool moving = false;
    };
    template<typename Item>
    ZEM_Result<std::optional<SaveStart>> beginSave(Item &item);

    /** Where a saved item is now: the calendar holding it, and the file it came from. */
    struct Saved
    {
        detail::ical::IcalPtr own; // a calendar of its own, when the item left its file
        icalcomponent *root = nullptr;
        detail::Origin origin;
    };
    /** What a removal goes on with: the file holding the item; none when there is nothing
        left to remove. */
    template<typename Item>
    ZEM_Result<std::optional<ItemFile>> beginRemove(const Item &item) const;

    ZEM_Result<Saved> writeSave(const ItemFile &file, detail::ical::IcalPtr apart, bool moving,
                                const QString &target, const QString &itemUid, const QString &uid);
};

} // namespace platform
