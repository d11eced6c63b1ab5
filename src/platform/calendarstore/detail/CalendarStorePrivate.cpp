// The calendar store's folder: reading calendars and item files, noticing what changed
// and announcing it, and writing files safely.
#include "platform/calendarstore/detail/CalendarStorePrivate.h"

#include "platform/calendarstore/detail/CalValues.h"
#include "platform/calendarstore/detail/IcsSplice.h"
#include "platform/calendarstore/detail/ItemCache.h"
#include "platform/calendarstore/detail/Occurrences.h"
#include "platform/detail/ChangeNotices.h"

#include "platform/PlatformLog.h"

#include "foundation/detail/ZEM_F_Files.h"

#include <QColor>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

#include <list>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace platform {

using namespace detail;
using namespace detail::ical;

namespace {

// A calendar's title, colour and metadata are a line or two; more is not one of them.
constexpr qint64 kMaxCalendarFileBytes = 1 << 20;

// A calendar file's bytes; empty when it is missing, or unreadable (said in \a problems).
QByteArray readCalendarFile(const QDir &dir, const QString &uid, const QString &name, QStringList *problems)
{
    const QString path = dir.filePath(name);
    if (!ZEM_F_Files::stampOf(path).exists)
        return {};
    auto bytes = ZEM_F_Files::readRegularFile(path, kMaxCalendarFileBytes);
    if (!bytes) {
        if (problems)
            problems->append(u"%1/%2: %3"_s.arg(uid, name, bytes.error().message));
        return {};
    }
    return *bytes;
}

QColor parseColor(QString s)
{
    s = s.trimmed();
    // The folder format writes "#RRGGBBAA"; Qt reads eight digits as "#AARRGGBB".
    if (s.size() == 9 && s.startsWith(u'#')) {
        bool ok = false;
        const uint v = s.mid(1).toUInt(&ok, 16);
        return ok ? QColor(int(v >> 24), int((v >> 16) & 0xff), int((v >> 8) & 0xff), int(v & 0xff)) : QColor();
    }
    const QColor c = QColor::fromString(s);
    return c.isValid() ? c : QColor();
}

ZEM_Error noCalendarFile(const QString &fileName)
{
    return ZEM_Error::make(ZEM_Error::Conflict,
                           u"%1 was changed by another program and can no longer be read."_s.arg(fileName),
                           {fileName});
}

} // namespace

bool CalendarStorePrivate::linksOutside(const QString &root, const QString &dirPath)
{
    const QFileInfo info(dirPath);
    if (!info.isSymLink())
        return false;
    const QString target = info.canonicalFilePath();
    const QString canonicalRoot = QFileInfo(root).canonicalFilePath();
    return target.isEmpty() || canonicalRoot.isEmpty() || !target.startsWith(canonicalRoot + u'/');
}

CalCalendar CalendarStorePrivate::readCalendar(const QString &root, const QString &uid, QByteArray *meta,
                                               QStringList *problems)
{
    CalCalendar cal;
    CalCalendarData &data = CalValues::of(cal);
    data.uid = uid;
    const QString dirPath = QDir(root).filePath(uid);
    const QDir dir(dirPath);
    const QByteArray name = readCalendarFile(dir, uid, u"displayname"_s, problems);
    const QByteArray color = readCalendarFile(dir, uid, u"color"_s, problems);
    const QByteArray json = readCalendarFile(dir, uid, kMetaFileName, problems);
    data.title = QString::fromUtf8(name).trimmed();
    if (data.title.isEmpty())
        data.title = uid;
    data.color = parseColor(QString::fromUtf8(color));
    const QJsonObject o = QJsonDocument::fromJson(json).object();
    if (const QString type = o.value(u"type"_s).toString(); !type.isEmpty())
        data.type = type;
    data.notes = o.value(u"notes"_s).toString();
    data.editable = o.value(u"editable"_s).toBool(true) && QFileInfo(dirPath).isWritable()
                    && !linksOutside(root, dirPath);
    if (meta)
        *meta = name + '\0' + color + '\0' + json + '\0' + (data.editable ? '1' : '0');
    return cal;
}

std::unique_ptr<CalendarStorePrivate::IcsFile> CalendarStorePrivate::readFile(const QString &calendarUid,
                                                                              const QString &fileName,
                                                                              const QByteArray &bytes, bool toCache)
{
    auto file = std::make_unique<IcsFile>();
    file->fileName = fileName;
    file->bytes = bytes;
    Parsed parsed = parseIcs(bytes, madeUidSeed(calendarUid, fileName));
    file->problems = parsed.problems;
    file->lossy = parsed.lossy;
    file->root = std::move(parsed.root);
    if (!file->root)
        return file;
    QHash<QString, qsizetype> byUid;
    for (icalcomponent *cal : calendarsOf(file->root.get())) {
        for (icalcomponent *c : children(cal, ICAL_ANY_COMPONENT)) {
            if (!isItem(c))
                continue;
            const QString uid = text(icalcomponent_get_uid(c));
            if (uid.isEmpty()) {
                file->problems.append(u"an item without a UID; skipped"_s);
                continue;
            }
            // Read once here so that what cannot be read is reported when the file is.
            QStringList itemProblems;
            qsizetype at = file->indexOf(uid, &byUid);
            if (at < 0) {
                at = file->items.size();
                file->items.append({uid, icalcomponent_isa(c) == ICAL_VTODO_COMPONENT});
                file->spans.emplace_back();
            }
            IcsFile::Span &span = file->spans[size_t(at)];
            span.comps.push_back(c);
            // An item of one component is handed out as read; others need their components.
            const auto cache = [&](CalCalendarItem &item, bool alone) {
                if (!toCache)
                    return;
                span.cached = span.comps.size() == 1 && alone && itemcache::cacheable(CalValues::of(item))
                                  ? itemcache::encodeItem(CalValues::of(item))
                                  : QByteArray();
            };
            if (icalcomponent_isa(c) == ICAL_VTODO_COMPONENT) {
                CalTask t;
                ics::readItem(t, c, cal, &itemProblems);
                cache(t, true);
                span.done = t.isCompleted() || CalValues::of(t).cancelled;
            } else {
                CalEvent e;
                ics::readItem(e, c, cal, &itemProblems);
                const bool series = !hasRecurrenceId(c) && isRecurring(c);
                CalValues::of(e).occurrence = e.startDate();
                cache(e, !series && !hasRecurrenceId(c));
                if (series)
                    seriesStarts(c, e.startDate().addSecs(1), &itemProblems);
                span.open = span.open || series || !e.startDate().isValid();
                if (e.startDate().isValid()) {
                    const qint64 start = e.startDate().toMSecsSinceEpoch();
                    const qint64 end = e.endDate().isValid() ? e.endDate().toMSecsSinceEpoch() : start;
                    span.first = std::min(span.first, start);
                    span.last = std::max({span.last, start, end});
                }
            }
            for (const QString &p : std::as_const(itemProblems))
                if (!file->problems.contains(p))
                    file->problems.append(p);
        }
    }
    if (file->items.isEmpty() && file->problems.isEmpty())
        file->problems.append(u"holds no event or to-do"_s);
    return file;
}

qsizetype CalendarStorePrivate::IcsFile::indexOf(const QString &uid, QHash<QString, qsizetype> *byUid) const
{
    constexpr qsizetype kFew = 16;
    if (!byUid || items.size() <= kFew) {
        for (qsizetype i = 0; i < items.size(); ++i)
            if (items[i].first == uid)
                return i;
        return -1;
    }
    if (byUid->size() < items.size())
        for (qsizetype i = byUid->size(); i < items.size(); ++i)
            byUid->insert(items[i].first, i);
    return byUid->value(uid, -1);
}

void CalendarStorePrivate::scan(bool announce)
{
    struct Seen
    {
        bool task;
        QString path;
        FileState state;
    };
    QHash<QString, Seen> before; // uid -> what the last read found
    for (const auto &[calUid, f] : folders)
        for (const auto &[name, file] : f.files)
            for (const auto &[uid, task] : file->items)
                if (index.value(uid) == std::pair(calUid, name))
                    before.insert(uid, {task, filePath(calUid, name), file->state()});
    QHash<QString, QByteArray> calendarsBefore;
    for (const auto &[calUid, f] : folders)
        calendarsBefore.insert(calUid, f.meta);

    // Listed first, read and parsed on every core, then taken in the listing's order, so
    // that what is found and reported is the same however the work was shared out.
    struct Entry
    {
        QString name;
        QString relPath; // in the folder index
        bool ics = false;
        std::optional<QByteArray> bytes;
        QString readError;
        bool keep = false; // unchanged since the last read
        std::unique_ptr<IcsFile> fresh;
        QByteArray payload; // for the folder index, of a file read now
        ZEM_F_Files::Stamp stamp; // of the bytes read
    };
    struct Listed
    {
        QString calUid;
        Folder folder;
        QStringList problems;
        std::vector<Entry> entries;
        // Its entries are stamped through it: a path walk for each costs as much as the stamp.
        int dirFd = -1;
        Listed() = default;
        Listed(const Listed &) = delete;
        Listed &operator=(const Listed &) = delete;
        ~Listed()
        {
            if (dirFd >= 0)
                ::close(dirFd);
        }
    };
    std::list<Listed> listed; // never moved: the work below points into it
    // Files added from here on are told again; those before are read now.
    newFiles.forget();
    newFiles.watch({}, folder);
    const QDir root(folder);
    for (const QString &calUid : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        if (calUid.startsWith(u'.'))
            continue;
        Listed &l = listed.emplace_back();
        l.calUid = calUid;
        newFiles.watch(calUid, root.filePath(calUid));
        l.folder.calendar = readCalendar(folder, calUid, &l.folder.meta, &l.problems);
        l.dirFd = ::open(QFile::encodeName(calendarPath(calUid)).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        // System: pipes, devices and broken links are listed to be reported, never opened.
        for (const QString &name : namesOfNonFolders(root.filePath(calUid)))
            if (!name.startsWith(u'.') && name != u"displayname" && name != u"color") {
                Entry &e = l.entries.emplace_back();
                e.name = name;
                e.ics = name.endsWith(u".ics"_s, Qt::CaseInsensitive);
            }
    }
    std::vector<std::pair<const Listed *, Entry *>> work;
    for (Listed &l : listed)
        for (Entry &e : l.entries)
            if (e.ics)
                work.emplace_back(&l, &e);
    initLibical();
    if (!folderIndexTried) {
        folderIndexTried = true;
        folderIndex = FolderIndex::open(folder, itemcache::indexKind(), itemcache::kVersion);
    }
    // Payloads are handed over, not copied: the store keeps the index open as long as it lives.
    FolderIndex *cache = folderIndex.get();
    forEachIndex(qsizetype(work.size()), 32, [&](qsizetype i) {
        const auto &[l, e] = work[size_t(i)];
        e->relPath = l->calUid + u'/' + e->name;
        const ZEM_F_Files::Stamp now = l->dirFd >= 0 ? ZEM_F_Files::stampAt(l->dirFd, e->name)
                                                     : ZEM_F_Files::stampOf(filePath(l->calUid, e->name));
        // Only looked at here: the folders as last read stay as they are until all is read.
        const IcsFile *was = nullptr;
        if (const auto old = folders.find(l->calUid); old != folders.end())
            if (const auto it = old->second.files.find(e->name); it != old->second.files.end())
                was = it->second.get();
        // A file changed within its timestamp's tick may keep its key: read to compare.
        if (was && now.regular && was->key == now && FolderIndex::isSettled(now)) {
            e->keep = true;
            return;
        }
        if (cache && now.regular)
            if (auto payload = cache->take(e->relPath, now))
                if ((e->fresh = fromPayload(e->name, now, std::move(*payload))))
                    return;
        const ZEM_Result<QByteArray> read = ZEM_F_Files::readRegularFile(filePath(l->calUid, e->name),
                                                                         ZEM_F_Files::DefaultMaxBytes,
                                                                         &e->stamp);
        if (!read) {
            e->readError = read.error().message;
            // A plain file unreadable for now: keep what we knew.
            e->keep = was && now.regular;
            return;
        }
        e->bytes = *read;
        // Written again the same: what was read of it holds (under its new key).
        if (was && was->parsed && was->bytes == *read) {
            e->keep = true;
            return;
        }
        e->fresh = readFile(l->calUid, e->name, *read, cache);
        e->fresh->key = e->stamp;
        if (cache)
            e->payload = payloadOf(*e->fresh);
    });

    std::map<QString, Folder> now;
    QStringList newProblems;
    qsizetype indexed = 0; // entries of the folder index whose files are listed
    for (Listed &l : listed) {
        const QString &calUid = l.calUid;
        for (const QString &p : std::as_const(l.problems))
            if (!problems.contains(p))
                qCWarning(zemPlatform).noquote() << "CalendarStore:" << p;
        newProblems += l.problems;
        auto old = folders.find(calUid);
        for (Entry &e : l.entries) {
            const QString &name = e.name;
            if (!e.ics) {
                const QString path = filePath(calUid, name);
                if (!reportedOthers.contains(path)) {
                    reportedOthers.insert(path);
                    qCWarning(zemPlatform).noquote() << "CalendarStore:" << calUid + u'/' + name
                                                     << "is not a calendar item; skipped";
                }
                continue;
            }
            std::unique_ptr<IcsFile> file = e.keep ? std::move(old->second.files.find(name)->second)
                                                   : std::move(e.fresh);
            if (e.keep && e.bytes)
                file->key = e.stamp;
            if (!file && !e.bytes) {
                newProblems.append(u"%1/%2: %3"_s.arg(calUid, name, e.readError));
                if (!problems.contains(newProblems.last()))
                    qCWarning(zemPlatform).noquote() << "CalendarStore:" << newProblems.last();
                continue;
            }
            if (!e.keep)
                for (const QString &p : std::as_const(file->problems))
                    qCWarning(zemPlatform).noquote() << "CalendarStore:" << u"%1/%2: %3"_s.arg(calUid, name, p);
            for (const QString &p : std::as_const(file->problems))
                newProblems.append(u"%1/%2: %3"_s.arg(calUid, name, p));
            if (folderIndex && !e.payload.isEmpty())
                folderIndex->put(e.relPath, file->key, e.payload);
            if (folderIndex && folderIndex->entries().contains(e.relPath))
                ++indexed;
            // Names come sorted.
            l.folder.files.emplace_hint(l.folder.files.end(), name, std::move(file));
        }
        now.emplace(calUid, std::move(l.folder));
    }
    folders = std::move(now);
    if (folderIndex) {
        for (auto it = folderIndex->entries().cbegin(); indexed < folderIndex->entries().size()
                                                        && it != folderIndex->entries().cend(); ++it) {
            const qsizetype slash = it.key().indexOf(u'/');
            const auto f = folders.find(it.key().left(slash));
            if (slash < 0 || f == folders.end() || !f->second.files.count(it.key().mid(slash + 1)))
                folderIndex->forget(it.key());
        }
        folderIndex->commit();
    }

    index.clear();
    for (const auto &[calUid, f] : folders) {
        for (const auto &[name, file] : f.files) {
            for (const auto &[uid, task] : file->items) {
                if (const auto other = index.constFind(uid); other != index.constEnd()) {
                    const QString line = u"%1/%2: the same UID as %3/%4; skipped"_s.arg(calUid, name, other->first,
                                                                                       other->second);
                    if (!problems.contains(line))
                        qCWarning(zemPlatform).noquote() << "CalendarStore:" << line;
                    newProblems.append(line);
                    continue;
                }
                index.insert(uid, {calUid, name});
            }
        }
    }
    problems = newProblems;
    if (watcher)
        watchPaths();
    if (!announce)
        return;

    detail::Changes changes[3]; // calendars, events, to-dos
    for (const auto &[calUid, f] : folders) {
        const int who = isOwnWrite(calendarPath(calUid), f.meta) ? detail::Changes::ThisProcess
                                                                 : detail::Changes::OtherProgram;
        if (!calendarsBefore.contains(calUid))
            changes[0].inserted[who].append(calUid);
        else if (calendarsBefore.value(calUid) != f.meta)
            changes[0].updated[who].append(calUid);
    }
    for (auto it = calendarsBefore.cbegin(); it != calendarsBefore.cend(); ++it)
        if (!folders.count(it.key()))
            changes[0].deleted[isOwnWrite(calendarPath(it.key()), std::nullopt) ? 1 : 0].append(it.key());
    for (auto it = index.cbegin(); it != index.cend(); ++it) {
        const IcsFile *file = fileOf(it.key());
        const QString path = filePath(it->first, it->second);
        bool task = false;
        for (const auto &[uid, t] : file->items)
            if (uid == it.key())
                task = t;
        const int kind = task ? 2 : 1;
        const int who = isOwnWrite(path, file->bytes) ? 1 : 0;
        const auto was = before.constFind(it.key());
        if (was == before.constEnd())
            changes[kind].inserted[who].append(it.key());
        else if (was->path != path || file->state().differsFrom(was->state))
            changes[kind].updated[who].append(it.key());
    }
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        if (!index.contains(it.key()))
            changes[it->task ? 2 : 1].deleted[isOwnWrite(it->path, std::nullopt) ? 1 : 0].append(it.key());

    static const detail::NoticeNames names[3] = {
        {kCalCalendarsChangedExternallyNotification, kCalInsertedRecordsKey, kCalUpdatedRecordsKey,
         kCalDeletedRecordsKey, kCalSenderProcessNameKey, kCalSenderProcessIDKey},
        {kCalEventsChangedExternallyNotification, kCalInsertedRecordsKey, kCalUpdatedRecordsKey,
         kCalDeletedRecordsKey, kCalSenderProcessNameKey, kCalSenderProcessIDKey},
        {kCalTasksChangedExternallyNotification, kCalInsertedRecordsKey, kCalUpdatedRecordsKey,
         kCalDeletedRecordsKey, kCalSenderProcessNameKey, kCalSenderProcessIDKey},
    };
    for (int kind = 0; kind < 3; ++kind) {
        detail::announce(changes[kind], names[kind],
                         [this, kind](const QStringList &inserted, const QStringList &updated,
                                      const QStringList &deleted, const QString &sender) {
                             if (kind == 0)
                                 emit q->calendarsChanged(inserted, updated, deleted, sender);
                             else if (kind == 1)
                                 emit q->eventsChanged(inserted, updated, deleted, sender);
                             else
                                 emit q->tasksChanged(inserted, updated, deleted, sender);
                         });
    }
}

void CalendarStorePrivate::startWatching()
{
    watcher.emplace(q, [this] { scan(true); });
    watchPaths();
}

void CalendarStorePrivate::watchPaths()
{
    // Folders tell of files added, removed and renamed over; a file rewritten in place is
    // only seen by watching it.
    QStringList dirs{folder};
    QStringList files;
    for (const auto &[calUid, f] : folders) {
        const QDir dir(calendarPath(calUid));
        dirs << dir.path();
        files << dir.filePath(u"displayname"_s) << dir.filePath(u"color"_s) << dir.filePath(kMetaFileName);
        for (const auto &[name, file] : f.files)
            files << dir.filePath(name);
    }
    watcher->watchOnly(dirs, files);
}

ZEM_Result<void> CalendarStorePrivate::checkCalendar(const QString &calendarUid) const
{
    if (calendarUid.isEmpty())
        return ZEM_Error::make(ZEM_Error::InvalidArgument, u"The item has no calendar."_s);
    const auto f = folders.find(calendarUid);
    if (f == folders.end())
        return ZEM_Error::make(ZEM_Error::NotFound, u"There is no calendar “%1”."_s.arg(calendarUid), {calendarUid});
    // Looked at again: the folder may have become a link since it was read.
    if (!f->second.calendar.isEditable() || linksOutside(folder, calendarPath(calendarUid)))
        return ZEM_Error::make(ZEM_Error::WriteFailed,
                               u"The calendar “%1” is read-only."_s.arg(f->second.calendar.title()), {calendarUid});
    return {};
}

ZEM_Result<void> CalendarStorePrivate::writeFile(const QString &calendarUid, const QString &fileName,
                                                 const QByteArray &bytes, const std::optional<QByteArray> &base,
                                                 bool lossy)
{
    const QString path = filePath(calendarUid, fileName);
    const QByteArray original = base.value_or(QByteArray());
    if (lossy) {
        // Written by libical alone (see writeBack()), lines it could not read are lost: the
        // file as it was is kept beside.
        const QDir dir(calendarPath(calendarUid));
        const QString keep = dir.filePath(kOriginalsFolder + u'/' + fileName);
        // Never through a link: the copy lands in this folder or nowhere.
        if (!ZEM_F_Files::stampOf(keep).exists && dir.mkpath(kOriginalsFolder)
            && !ZEM_F_Files::passesThroughLink(dir.path(), keep)) {
            if (auto kept = ZEM_F_Files::replaceFile(keep, original, ZEM_F_Files::Expected::absent()); !kept)
                return kept.error();
            qCWarning(zemPlatform).noquote() << "CalendarStore:" << fileName
                                             << "had lines that cannot be kept; the original is in" << keep;
        }
    }
    const auto expected = base ? ZEM_F_Files::Expected::bytes(*base) : ZEM_F_Files::Expected::absent();
    if (auto written = ZEM_F_Files::replaceFile(path, bytes, expected); !written) {
        changedWhileWriting = written.error().code == ZEM_Error::Conflict;
        qCWarning(zemPlatform).noquote() << "CalendarStore:" << written.error().message;
        return written.error();
    }
    ownWrites().insert(path, bytes);
    return {};
}

ZEM_Result<void> CalendarStorePrivate::removeFile(const QString &calendarUid, const QString &fileName,
                                                  const QByteArray &base)
{
    const QString path = filePath(calendarUid, fileName);
    if (auto removed = ZEM_F_Files::removeFile(path, ZEM_F_Files::Expected::bytes(base)); !removed) {
        changedWhileWriting = removed.error().code == ZEM_Error::Conflict;
        return removed.error();
    }
    ownWrites().insert(path, std::nullopt);
    return {};
}

ZEM_Result<void> CalendarStorePrivate::retryingRaces(const std::function<ZEM_Result<void>()> &save)
{
    // Another program saving at the same moment again and again is not waited out for ever.
    for (int attempt = 1;; ++attempt) {
        changedWhileWriting = false;
        auto done = save();
        if (done || !changedWhileWriting || attempt == 3)
            return done;
    }
}

QString CalendarStorePrivate::newUid() const
{
    QString uid;
    do
        uid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    while (index.contains(uid));
    return uid;
}

QString CalendarStorePrivate::freeFileName(const QString &calendarUid, const QString &uid) const
{
    QString name = fileNameForUid(uid, u".ics"_s);
    // A link there, even a broken one, is taken: it is never written through.
    for (int n = 2; ZEM_F_Files::stampOf(filePath(calendarUid, name)).exists; ++n)
        name = fileNameForUid(uid, u".ics"_s).chopped(4) + u"-%1.ics"_s.arg(n);
    return name;
}

// Gives a new item a UID, or checks that the one it brings is not taken. Another program
// may have written an item with that UID since the last read: the files added since (as
// the system told them) and the file named after the UID are read, not the whole folder.
ZEM_Result<void> CalendarStorePrivate::claimUid(QString &uid)
{
    if (uid.isEmpty()) {
        uid = newUid();
        return {};
    }
    if (!readNewFiles())
        scan(true);
    const QString named = fileNameForUid(uid, u".ics"_s);
    for (const auto &[calUid, f] : folders)
        if (!index.contains(uid) && !f.files.count(named) && QFile::exists(filePath(calUid, named)))
            rereadFile(calUid, named);
    const bool taken = index.contains(uid);
    if (taken)
        return ZEM_Error::make(ZEM_Error::InvalidArgument, u"An item with the UID %1 already exists."_s.arg(uid),
                               {uid});
    return {};
}

// Writes \a doc to a file of its own in the calendar; the origin its items then have.
ZEM_Result<Origin> CalendarStorePrivate::writeNewFile(const QString &calendarUid, const QString &uid,
                                                      icalcomponent *doc, const Origin *from)
{
    // An item moving from another file takes that file's lines along (its own, the calendar's).
    std::optional<QByteArray> carried;
    if (from)
        carried = splice(from->bytes, madeUidSeed(from->calendarUid, from->fileName), doc, false);
    Origin origin{calendarUid, freeFileName(calendarUid, uid), carried ? *carried : serialize(doc), {}};
    if (auto w = writeFile(calendarUid, origin.fileName, origin.bytes, std::nullopt, false); !w)
        return w.error();
    return origin;
}

// A file that is gone reads as not existing; one that no longer parses is a conflict.
ZEM_Result<CalendarStorePrivate::ItemFile> CalendarStorePrivate::readItemFile(const QString &calendarUid,
                                                                              const QString &fileName) const
{
    if (auto ok = checkCalendar(calendarUid); !ok)
        return ok.error();
    ItemFile file;
    file.origin = Origin{calendarUid, fileName, {}, {}};
    const QString path = filePath(calendarUid, fileName);
    const ZEM_F_Files::Stamp stamp = ZEM_F_Files::stampOf(path);
    if (!stamp.exists)
        return file;
    if (!stamp.regular) {
        const QString what = QFileInfo(path).isSymLink() ? u"a symbolic link"_s : u"not a plain file"_s;
        return ZEM_Error::make(ZEM_Error::WriteFailed,
                               u"Cannot save %1: it is %2, which is never written through."_s.arg(path, what),
                               {path});
    }
    const auto bytes = ZEM_F_Files::readRegularFile(path, ZEM_F_Files::DefaultMaxBytes, &file.origin.stamp);
    if (!bytes)
        return bytes.error();
    file.exists = true;
    file.origin.bytes = *bytes;
    file.parsed = parseIcs(*bytes, madeUidSeed(calendarUid, fileName));
    if (!file.parsed.root)
        return noCalendarFile(fileName);
    return file;
}

// Writes back what is left in \a file, or removes it when no item is left; the bytes written.
ZEM_Result<QByteArray> CalendarStorePrivate::writeBack(const ItemFile &file)
{
    const Origin &o = file.origin;
    if (!hasItems(file.root())) {
        if (auto r = removeFile(o.calendarUid, o.fileName, o.bytes); !r)
            return r.error();
        return QByteArray();
    }
    // Only the lines of what changed are written; libical writes the whole file only when
    // that cannot be done, which the check after splicing tells.
    const std::optional<QByteArray> spliced = splice(o.bytes, madeUidSeed(o.calendarUid, o.fileName), file.root(),
                                                     file.parsed.bare);
    if (!spliced)
        qCWarning(zemPlatform).noquote() << "CalendarStore:" << o.fileName << "is written whole";
    const QByteArray bytes = spliced ? *spliced : serialize(file.root());
    if (auto w = writeFile(o.calendarUid, o.fileName, bytes, o.bytes, !spliced && file.parsed.lossy); !w)
        return w.error();
    return bytes;
}

} // namespace platform
