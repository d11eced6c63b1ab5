// The calendar store's use of the folder index: what it keeps of each file, files listed
// from it, and reading such a file when more than its cached items is wanted.
#include "platform/calendarstore/detail/CalendarStorePrivate.h"

#include "platform/calendarstore/detail/ItemCache.h"

#include <QIODevice>

namespace platform {

using namespace detail;
using namespace detail::ical;

namespace {

constexpr quint32 kFileMagic = 0x5A43460A; // what payloadOf() writes first

} // namespace

QByteArray CalendarStorePrivate::payloadOf(const IcsFile &file)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << kFileMagic << file.lossy << file.problems << quint32(file.items.size());
    for (const auto &[uid, task] : file.items)
        out << uid << task;
    out << quint32(file.spans.size());
    for (auto it = file.spans.cbegin(); it != file.spans.cend(); ++it) {
        out << it.key() << it->open << it->first << it->last;
    }
    out << file.cached;
    return bytes;
}

std::unique_ptr<CalendarStorePrivate::IcsFile> CalendarStorePrivate::fromPayload(const QString &fileName,
                                                                                const ZEM_F_Files::Stamp &key,
                                                                                const QByteArray &payload)
{
    auto file = std::make_unique<IcsFile>();
    file->fileName = fileName;
    file->key = key;
    file->parsed = false;
    QDataStream in(payload);
    quint32 magic = 0;
    quint32 count = 0;
    in >> magic;
    if (magic != kFileMagic)
        return nullptr;
    in >> file->lossy >> file->problems >> count;
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        QString uid;
        bool task = false;
        in >> uid >> task;
        file->items.append({uid, task});
    }
    in >> count;
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        QString uid;
        IcsFile::Span span;
        in >> uid >> span.open >> span.first >> span.last;
        file->spans.insert(uid, span);
    }
    in >> file->cached;
    if (in.status() != QDataStream::Ok || !in.atEnd())
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
                for (icalcomponent *cal : calendarsOf(parsed.root.get()))
                    for (icalcomponent *c : children(cal, ICAL_ANY_COMPONENT))
                        if (const auto span = file->spans.find(text(icalcomponent_get_uid(c)));
                            isItem(c) && span != file->spans.end())
                            span->comps.push_back(c);
                file->bytes = *bytes;
                file->root = std::move(parsed.root);
                file->parsed = true;
                return;
            }
        }
        // Read as it is now, which may be newer than what the index said of it.
        std::unique_ptr<IcsFile> fresh = readFile(calUid, file->fileName, *bytes);
        fresh->key = stamp;
        *file = std::move(*fresh);
    });
}

template<typename Item>
std::optional<Item> CalendarStorePrivate::cachedItem(const QString &calUid, const IcsFile &file,
                                                     const QString &uid) const
{
    const auto bytes = file.cached.constFind(uid);
    if (bytes == file.cached.constEnd())
        return std::nullopt;
    Item item = [] {
        if constexpr (std::is_same_v<Item, CalEvent>)
            return CalEvent::event();
        else
            return CalTask::task();
    }();
    CalItemData &data = CalValues::of(item);
    if (!itemcache::decodeItem(*bytes, data))
        return std::nullopt;
    item.setCalendarUid(calUid);
    data.isNew = false;
    data.fileCalendarUid = calUid;
    data.fileName = file.fileName;
    data.revisionStamp = file.key;
    data.base = data.values;
    return item;
}

template std::optional<CalEvent> CalendarStorePrivate::cachedItem(const QString &, const IcsFile &,
                                                                  const QString &) const;
template std::optional<CalTask> CalendarStorePrivate::cachedItem(const QString &, const IcsFile &,
                                                                 const QString &) const;

CalendarStorePrivate::IcsFile *CalendarStorePrivate::parsedFileOf(const QString &uid)
{
    auto *file = const_cast<IcsFile *>(fileOf(uid));
    if (file)
        load({{index.value(uid).first, file}});
    return file;
}

} // namespace platform
