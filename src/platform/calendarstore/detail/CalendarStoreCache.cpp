// The calendar store's use of the folder index: what it keeps of each file, files listed
// from it, and reading such a file when more than its cached items is wanted.
#include "platform/calendarstore/detail/CalendarStorePrivate.h"

#include "platform/calendarstore/detail/ItemCache.h"
#include "platform/calendarstore/detail/Occurrences.h"

#include <QIODevice>
#include <QtEndian>

namespace platform {

using namespace detail;
using namespace detail::ical;

namespace {

constexpr quint32 kFileMagic = 0x5A43460A; // what payloadOf() writes first
constexpr quint32 kSeriesMagic = 0x5A43530A; // what seriesPayload() writes first
// A series with more occurrences in a listing than this is expanded from its file each time.
constexpr qsizetype kMaxKeptOccurrences = 4000;

// An item of \a file as it came from it: in its calendar and file, not new.
void placeItem(CalCalendarItem &item, const QString &calUid, const CalendarStorePrivate::IcsFile &file)
{
    CalItemData &data = CalValues::of(item);
    item.setCalendarUid(calUid);
    data.isNew = false;
    data.fileCalendarUid = calUid;
    data.fileName = file.fileName;
    data.revisionStamp = file.key;
    if (file.parsed)
        data.revision = file.bytes; // as an item read from the components has it
    data.base = data.values;
}

// What payloadOf() writes, read without a stream: every unchanged file's payload is read at
// every open. Byte arrays are handed out over the payload's bytes, which the file keeps.
constexpr QDataStream::Version kPayloadStreamVersion = QDataStream::Qt_6_0;

struct PayloadReader
{
    const char *at;
    const char *end;
    bool ok = true;

    const char *take(qsizetype n)
    {
        if (!ok || n < 0 || end - at < n) {
            ok = false;
            return nullptr;
        }
        const char *p = at;
        at += n;
        return p;
    }
    template<typename T> T number()
    {
        const char *p = take(sizeof(T));
        return p ? qFromBigEndian<T>(p) : T{};
    }
    bool flag() { return number<qint8>() != 0; }
    // A count of entries that each take a byte at least.
    quint32 count()
    {
        const quint32 n = number<quint32>();
        ok = ok && n <= quint32(end - at);
        return ok ? n : 0;
    }
    QString string()
    {
        const quint32 size = number<quint32>();
        if (size == 0xFFFFFFFF)
            return {};
        const char *p = (size % 2) ? (ok = false, nullptr) : take(qsizetype(size));
        if (!p)
            return {};
        QString s(qsizetype(size / 2), Qt::Uninitialized);
        qFromBigEndian<char16_t>(p, size / 2, s.data());
        return s;
    }
    QByteArray bytes()
    {
        const quint32 size = number<quint32>();
        if (size == 0xFFFFFFFF)
            return {};
        const char *p = take(qsizetype(size));
        return p ? QByteArray::fromRawData(p, qsizetype(size)) : QByteArray();
    }
};

} // namespace

QByteArray CalendarStorePrivate::payloadOf(const IcsFile &file)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(kPayloadStreamVersion); // the layout PayloadReader reads
    out << kFileMagic << file.lossy << file.problems << quint32(file.items.size());
    for (qsizetype i = 0; i < file.items.size(); ++i) {
        const IcsFile::Span &span = file.spans[size_t(i)];
        out << file.items[i].first << file.items[i].second << span.open << span.done << span.first << span.last
            << span.cached
            << span.series;
    }
    return bytes;
}

std::unique_ptr<CalendarStorePrivate::IcsFile> CalendarStorePrivate::fromPayload(const QString &fileName,
                                                                                const ZEM_F_Files::Stamp &key,
                                                                                QByteArray payload)
{
    auto file = std::make_unique<IcsFile>();
    file->fileName = fileName;
    file->key = key;
    file->parsed = false;
    file->payload = std::move(payload);
    PayloadReader in{file->payload.constData(), file->payload.constData() + file->payload.size()};
    if (in.number<quint32>() != kFileMagic)
        return nullptr;
    file->lossy = in.flag();
    const quint32 problems = in.count();
    for (quint32 i = 0; i < problems && in.ok; ++i)
        file->problems.append(in.string());
    const quint32 count = in.count();
    file->items.reserve(count);
    file->spans.reserve(count);
    for (quint32 i = 0; i < count && in.ok; ++i) {
        QString uid = in.string();
        const bool task = in.flag();
        IcsFile::Span &span = file->spans.emplace_back();
        span.open = in.flag();
        span.done = in.flag();
        span.first = in.number<qint64>();
        span.last = in.number<qint64>();
        span.cached = in.bytes();
        span.series = in.bytes();
        file->items.append({std::move(uid), task});
    }
    if (!in.ok || in.at != in.end)
        return nullptr;
    return file;
}

void CalendarStorePrivate::load(const std::vector<std::pair<QString, IcsFile *>> &files) const
{
    forEachIndex(qsizetype(files.size()), 16, [&](qsizetype i) {
        const auto &[calUid, file] = files[size_t(i)];
        if (file->parsed)
            return;
        ZEM_F_Files::Stamp stamp;
        const auto bytes = ZEM_F_Files::readRegularFile(filePath(calUid, file->fileName),
                                                        ZEM_F_Files::DefaultMaxBytes, &stamp);
        if (!bytes) {
            // Gone or unreadable since the folder was read: its items are not listed until
            // the folder is read again.
            file->parsed = true;
            return;
        }
        if (stamp == file->key) {
            // What the index said of it holds: only its components are wanted now.
            Parsed parsed = parseIcs(*bytes, madeUidSeed(calUid, file->fileName));
            if (parsed.root) {
                for (auto &span : file->spans)
                    span.comps.clear();
                QHash<QString, qsizetype> byUid;
                for (icalcomponent *cal : calendarsOf(parsed.root.get()))
                    for (icalcomponent *c : children(cal, ICAL_ANY_COMPONENT))
                        if (const qsizetype at = isItem(c) ? file->indexOf(text(icalcomponent_get_uid(c)), &byUid) : -1;
                            at >= 0)
                            file->spans[size_t(at)].comps.push_back(c);
                file->bytes = *bytes;
                file->root = std::move(parsed.root);
                file->parsed = true;
                return;
            }
        }
        // Read as it is now, which may be newer than what the index said of it.
        std::unique_ptr<IcsFile> fresh = readFile(calUid, file->fileName, *bytes, true);
        fresh->key = stamp;
        *file = std::move(*fresh);
    });
}

template<typename Item>
std::optional<Item> CalendarStorePrivate::cachedItem(const QString &calUid, const IcsFile &file, qsizetype i) const
{
    const QByteArray &bytes = file.spans[size_t(i)].cached;
    if (bytes.isEmpty())
        return std::nullopt;
    Item item = [] {
        if constexpr (std::is_same_v<Item, CalEvent>)
            return CalEvent::event();
        else
            return CalTask::task();
    }();
    if (!itemcache::decodeItem(bytes, CalValues::of(item)))
        return std::nullopt;
    placeItem(item, calUid, file);
    return item;
}

QByteArray CalendarStorePrivate::seriesPayload(const QList<CalEvent> &occurrences, qint64 from, qint64 to)
{
    if (occurrences.size() > kMaxKeptOccurrences)
        return {};
    QList<const CalEvent *> regular;
    QList<const CalEvent *> detached;
    for (const CalEvent &e : occurrences)
        (CalValues::of(e).detached ? detached : regular).append(&e);
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    // The regular occurrences differ from one another in their times alone.
    out << kSeriesMagic << from << to
        << (regular.isEmpty() ? QByteArray() : itemcache::encodeItem(CalValues::of(*regular.first())))
        << quint32(regular.size());
    for (const CalEvent *e : std::as_const(regular)) {
        itemcache::writeTime(out, e->startDate());
        itemcache::writeTime(out, e->endDate());
    }
    out << quint32(detached.size());
    for (const CalEvent *e : std::as_const(detached))
        out << itemcache::encodeItem(CalValues::of(*e));
    return bytes;
}

bool CalendarStorePrivate::seriesCovers(const IcsFile::Span &span, qint64 from, qint64 to)
{
    if (span.series.isEmpty())
        return false;
    QDataStream in(span.series);
    quint32 magic = 0;
    qint64 keptFrom = 0;
    qint64 keptTo = 0;
    in >> magic >> keptFrom >> keptTo;
    return in.status() == QDataStream::Ok && magic == kSeriesMagic && keptFrom <= from && to <= keptTo;
}

bool CalendarStorePrivate::seriesFromPayload(const QString &calUid, const IcsFile &file, qsizetype i,
                                             const QDateTime &from, const QDateTime &to, QList<CalEvent> *out) const
{
    const IcsFile::Span &span = file.spans[size_t(i)];
    if (!seriesCovers(span, from.toMSecsSinceEpoch(), to.toMSecsSinceEpoch()))
        return false;
    QDataStream in(span.series);
    quint32 magic = 0;
    qint64 keptFrom = 0;
    qint64 keptTo = 0;
    QByteArray first;
    quint32 count = 0;
    in >> magic >> keptFrom >> keptTo >> first >> count;
    CalEvent like = CalEvent::event();
    if (count && !itemcache::decodeItem(first, CalValues::of(like)))
        return false;
    placeItem(like, calUid, file);
    QList<CalEvent> found;
    for (quint32 n = 0; n < count && in.status() == QDataStream::Ok; ++n) {
        const QDateTime start = itemcache::readTime(in);
        const QDateTime end = itemcache::readTime(in);
        if (!overlaps(start, end, from, to))
            continue;
        found.append(occurrenceOf(like, start, end));
    }
    in >> count;
    for (quint32 n = 0; n < count && in.status() == QDataStream::Ok; ++n) {
        QByteArray bytes;
        in >> bytes;
        CalEvent e = CalEvent::event();
        if (!itemcache::decodeItem(bytes, CalValues::of(e)))
            return false;
        placeItem(e, calUid, file);
        if (e.startDate().isValid() && overlaps(e.startDate(), e.endDate(), from, to))
            found.append(e);
    }
    if (in.status() != QDataStream::Ok || !in.atEnd())
        return false;
    *out += found;
    return true;
}

template std::optional<CalEvent> CalendarStorePrivate::cachedItem(const QString &, const IcsFile &, qsizetype) const;
template std::optional<CalTask> CalendarStorePrivate::cachedItem(const QString &, const IcsFile &, qsizetype) const;

CalendarStorePrivate::IcsFile *CalendarStorePrivate::parsedFileOf(const QString &uid)
{
    auto *file = const_cast<IcsFile *>(fileOf(uid));
    if (file)
        load({{index.value(uid).first, file}});
    return file;
}

} // namespace platform
