// What the calendar store keeps so that its work grows with what is asked, not with the
// folder: listings that pass over items outside their range and find an item's components
// without walking its file, new files learnt of as the system tells them, and a file this
// process wrote read again alone.
#include "platform/calendarstore/detail/CalendarStorePrivate.h"

#include "platform/calendarstore/detail/Occurrences.h"
#include "platform/detail/ChangeNotices.h"

#include "platform/PlatformLog.h"

#include "foundation/detail/ZEM_F_Files.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace platform {

using namespace detail;
using namespace detail::ical;

namespace {

std::optional<QByteArray> readBytes(const QString &path, ZEM_F_Files::Stamp *stamp)
{
    auto bytes = ZEM_F_Files::readRegularFile(path, ZEM_F_Files::DefaultMaxBytes, stamp);
    return bytes ? std::optional<QByteArray>(std::move(bytes.value())) : std::nullopt;
}

// Whether an item spanning \a span may have an occurrence in [from, to) (as instants).
bool mayOverlap(const CalendarStorePrivate::IcsFile::Span &span, qint64 from, qint64 to)
{
    return span.open || (span.first < to && span.last >= from);
}

} // namespace

bool CalendarStorePrivate::readNewFiles()
{
    const auto added = newFiles.take();
    if (!added)
        return false;
    for (const auto &[calUid, name] : *added) {
        const auto f = folders.find(calUid);
        if (!name.startsWith(u'.') && name.endsWith(u".ics"_s, Qt::CaseInsensitive) && f != folders.end()
            && !f->second.files.count(name) && ZEM_F_Files::stampOf(filePath(calUid, name)).regular)
            rereadFile(calUid, name);
    }
    return true;
}

void CalendarStorePrivate::rereadFile(const QString &calUid, const QString &name)
{
    const auto f = folders.find(calUid);
    ZEM_F_Files::Stamp stamp;
    const std::optional<QByteArray> bytes = readBytes(filePath(calUid, name), &stamp);
    if (f == folders.end() || !bytes) {
        scan(true);
        return;
    }
    std::unique_ptr<IcsFile> &slot = f->second.files[name];
    QHash<QString, bool> before; // uid -> is a to-do, of the items this file gave the index
    if (slot)
        for (const auto &[uid, task] : slot->items)
            if (index.value(uid) == std::pair(calUid, name))
                before.insert(uid, task);
    std::unique_ptr<IcsFile> file = readFile(calUid, name, *bytes);
    file->key = stamp;
    for (const auto &[uid, task] : file->items) {
        if (index.contains(uid) && index.value(uid) != std::pair(calUid, name)) {
            // Which of two files with one uid is read is decided over the whole folder.
            slot = std::move(file);
            scan(true);
            return;
        }
    }
    for (const auto &[uid, task] : file->items)
        before.remove(uid);
    if (!before.isEmpty()) {
        // An item left the file: another file may hold its uid, skipped until now.
        slot = std::move(file);
        scan(true);
        return;
    }

    const QString prefix = calUid + u'/' + name + u": "_s;
    problems.removeIf([&](const QString &line) { return line.startsWith(prefix); });
    for (const QString &p : std::as_const(file->problems)) {
        problems.append(prefix + p);
        qCWarning(zemPlatform).noquote() << "CalendarStore:" << problems.last();
    }
    const FileState oldState = slot ? slot->state() : FileState();
    const bool existed = bool(slot);
    QSet<QString> old;
    if (slot)
        for (const auto &[uid, task] : slot->items)
            old.insert(uid);
    slot = std::move(file);
    const IcsFile &now = *slot;

    const QString path = filePath(calUid, name);
    const int who = isOwnWrite(path, now.bytes) ? Changes::ThisProcess : Changes::OtherProgram;
    Changes changes[2]; // events, to-dos
    for (const auto &[uid, task] : now.items) {
        index.insert(uid, {calUid, name});
        if (!old.contains(uid))
            changes[task].inserted[who].append(uid);
        else if (!existed || now.state().differsFrom(oldState))
            changes[task].updated[who].append(uid);
    }
    if (watcher)
        watcher->watchAlso(path);
    static const NoticeNames names[2] = {
        {kCalEventsChangedExternallyNotification, kCalInsertedRecordsKey, kCalUpdatedRecordsKey,
         kCalDeletedRecordsKey, kCalSenderProcessNameKey, kCalSenderProcessIDKey},
        {kCalTasksChangedExternallyNotification, kCalInsertedRecordsKey, kCalUpdatedRecordsKey,
         kCalDeletedRecordsKey, kCalSenderProcessNameKey, kCalSenderProcessIDKey},
    };
    for (int kind = 0; kind < 2; ++kind)
        announce(changes[kind], names[kind],
                 [this, kind](const QStringList &inserted, const QStringList &updated, const QStringList &deleted,
                              const QString &sender) {
                     if (kind == 0)
                         emit q->eventsChanged(inserted, updated, deleted, sender);
                     else
                         emit q->tasksChanged(inserted, updated, deleted, sender);
                 });
}

QList<CalEvent> CalendarStorePrivate::eventsIn(const CalEventPredicate &predicate)
{
    QList<CalEvent> out;
    const QDateTime &from = predicate.startDate;
    const QDateTime &to = predicate.endDate;
    if (!from.isValid() || !to.isValid())
        return out;
    const qint64 fromMs = from.toMSecsSinceEpoch();
    const qint64 toMs = to.toMSecsSinceEpoch();
    const auto wanted = [&](const QString &calUid, const QString &name, const IcsFile &file, qsizetype i) {
        const auto &[uid, task] = file.items[i];
        return !task && (predicate.uid.isEmpty() || uid == predicate.uid)
               && mayOverlap(file.spans[size_t(i)], fromMs, toMs) && index.value(uid) == std::pair(calUid, name);
    };
    struct InScope
    {
        const QString *calUid;
        const QString *name;
        IcsFile *file;
        std::optional<QList<CalEvent>> cached; // every wanted item, when all are cached
    };
    std::vector<InScope> files;
    for (const auto &[calUid, f] : folders)
        if (predicate.calendarUids.isEmpty() || predicate.calendarUids.contains(calUid))
            for (const auto &[name, file] : f.files)
                files.push_back({&calUid, &name, file.get(), std::nullopt});
    // Files listed from the index whose items are not all cached are read first, together;
    // then the items of every file that are cached are made on every core, and the rest
    // expanded from their components.
    std::vector<std::pair<QString, IcsFile *>> toLoad;
    for (const InScope &s : files)
        if (!s.file->parsed)
            for (qsizetype i = 0; i < s.file->items.size(); ++i)
                if (const IcsFile::Span &span = s.file->spans[size_t(i)];
                    span.cached.isEmpty() && !seriesCovers(span, fromMs, toMs) && wanted(*s.calUid, *s.name, *s.file, i)) {
                    toLoad.emplace_back(*s.calUid, s.file);
                    break;
                }
    load(toLoad);
    forEachIndex(qsizetype(files.size()), 256, [&](qsizetype n) {
        InScope &s = files[size_t(n)];
        QList<CalEvent> events;
        for (qsizetype i = 0; i < s.file->items.size(); ++i) {
            if (!wanted(*s.calUid, *s.name, *s.file, i))
                continue;
            if (s.file->spans[size_t(i)].cached.isEmpty()) {
                if (!seriesFromPayload(*s.calUid, *s.file, i, from, to, &events))
                    return; // read below
                continue;
            }
            const auto e = cachedItem<CalEvent>(*s.calUid, *s.file, i);
            if (!e)
                return; // read below
            if (e->startDate().isValid() && overlaps(e->startDate(), e->endDate(), from, to))
                events.append(*e);
        }
        s.cached = std::move(events);
    });

    ListingBudget budget;
    QStringList found;
    // Files whose series were expanded here: the index keeps their occurrences for listings
    // within the same range.
    std::vector<std::pair<const QString *, const InScope *>> expanded;
    for (InScope &s : files) {
        const QString &calUid = *s.calUid;
        const QString &name = *s.name;
        IcsFile *file = s.file;
        if (s.cached) {
            out += *s.cached;
            continue;
        }
        load({{calUid, file}}); // a cached item that could not be read: the file is
        for (qsizetype i = 0; i < file->items.size(); ++i) {
            if (!file->root || !wanted(calUid, name, *file, i))
                continue;
            IcsFile::Span &span = file->spans[size_t(i)];
            if (span.cached.isEmpty() && seriesFromPayload(calUid, *file, i, from, to, &out))
                continue;
            QStringList lines;
            const QList<CalEvent> events = expand(span.comps, Origin{calUid, name, file->bytes, file->key}, from, to,
                                                  &lines, &budget);
            out += events;
            for (const QString &line : std::as_const(lines))
                found.append(u"%1/%2: %3"_s.arg(calUid, name, line));
            // What gave problems is expanded again, so that they are told again.
            if (span.cached.isEmpty() && lines.isEmpty() && !budget.cut) {
                span.series = seriesPayload(events, fromMs, toMs);
                if (!span.series.isEmpty() && (expanded.empty() || expanded.back().second != &s))
                    expanded.emplace_back(&calUid, &s);
            }
        }
    }
    if (folderIndex && !expanded.empty()) {
        for (const auto &[calUid, s] : expanded)
            folderIndex->put(*calUid + u'/' + *s->name, s->file->key, payloadOf(*s->file));
        folderIndex->commit();
    }
    if (budget.cut)
        found.append(u"a listing stopped at its first %1 occurrences (from %2 to %3)"_s.arg(
            QString::number(ListingBudget::kMaxOccurrences), from.toString(Qt::ISODate), to.toString(Qt::ISODate)));
    for (const QString &line : std::as_const(found)) {
        if (problems.contains(line))
            continue;
        problems.append(line);
        qCWarning(zemPlatform).noquote() << "CalendarStore:" << line;
    }
    return byStart(std::move(out));
}

QList<CalTask> CalendarStorePrivate::tasksIn(const CalTaskPredicate &predicate)
{
    const auto inScope = [&](const QString &calUid) {
        return predicate.calendarUids.isEmpty() || predicate.calendarUids.contains(calUid);
    };
    std::vector<std::pair<QString, IcsFile *>> toLoad;
    for (const auto &[calUid, f] : folders)
        if (inScope(calUid))
            for (const auto &[name, file] : f.files)
                if (!file->parsed)
                    for (qsizetype i = 0; i < file->items.size(); ++i)
                        if (file->items[i].second && file->spans[size_t(i)].cached.isEmpty()) {
                            toLoad.emplace_back(calUid, file.get());
                            break;
                        }
    load(toLoad);

    QList<CalTask> out;
    for (const auto &[calUid, f] : folders) {
        if (!inScope(calUid))
            continue;
        for (const auto &[name, file] : f.files) {
            for (qsizetype i = 0; i < file->items.size(); ++i) {
                const auto [uid, task] = file->items[i]; // a copy: loading replaces the file's items
                if (!task || index.value(uid) != std::pair(calUid, name))
                    continue;
                if (const IcsFile::Span &span = file->spans[size_t(i)];
                    predicate.uncompletedOnly && span.done && !span.cached.isEmpty())
                    continue;
                std::optional<CalTask> t;
                if (!file->parsed && !(t = cachedItem<CalTask>(calUid, *file, i)))
                    load({{calUid, file.get()}});
                if (!t && file->root)
                    t = taskIn(file->root.get(), Origin{calUid, name, file->bytes, file->key}, uid);
                if (t && !(predicate.uncompletedOnly && (t->isCompleted() || CalValues::of(*t).cancelled)))
                    out.append(*t);
            }
        }
    }
    return out;
}

// By start, then uid. Each start is turned into an instant once: comparing two local times
// asks the C library, which looks at the system's zone file again each time.
QList<CalEvent> CalendarStorePrivate::byStart(QList<CalEvent> events)
{
    std::vector<std::pair<qint64, qsizetype>> order;
    order.reserve(size_t(events.size()));
    for (qsizetype i = 0; i < events.size(); ++i) {
        const QDateTime start = events[i].startDate();
        if (!start.isValid()) {
            // Not an instant: compared as QDateTime orders them.
            std::stable_sort(events.begin(), events.end(), [](const CalEvent &a, const CalEvent &b) {
                if (a.startDate() != b.startDate())
                    return a.startDate() < b.startDate();
                return a.uid() < b.uid();
            });
            return events;
        }
        order.emplace_back(start.toMSecsSinceEpoch(), i);
    }
    std::stable_sort(order.begin(), order.end(), [&](const auto &a, const auto &b) {
        if (a.first != b.first)
            return a.first < b.first;
        return events[a.second].uid() < events[b.second].uid();
    });
    QList<CalEvent> out;
    out.reserve(events.size());
    for (const auto &[start, i] : order)
        out.append(std::move(events[i]));
    return out;
}

} // namespace platform
