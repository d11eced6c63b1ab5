// The calendar store's public side: calendars, queries, and saving and removing events
// and to-dos. The folder's reading and writing is in detail/CalendarStorePrivate.cpp, the
// iCalendar mapping in detail/ICalendarMapping.cpp, occurrences in detail/Occurrences.cpp.
#include "platform/calendarstore/CalendarStore.h"

#include "platform/calendarstore/detail/CalValues.h"
#include "platform/calendarstore/detail/CalendarStorePrivate.h"
#include "platform/calendarstore/detail/ICalendarMapping.h"
#include "platform/calendarstore/detail/Ical.h"
#include "platform/calendarstore/detail/Occurrences.h"
#include "platform/detail/ItemFiles.h"
#include "platform/detail/SharedStore.h"

#include "platform/PlatformLog.h"

#include "foundation/detail/ZEM_F_Files.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

#include <algorithm>
#include <type_traits>

using namespace Qt::StringLiterals;

namespace platform {

using namespace detail;
using namespace detail::ical;

namespace {

detail::SharedStore<CalendarStore> sharedStore(u"/calendars"_s);

QString colorText(const QColor &c)
{
    QString s = c.name(QColor::HexRgb).toUpper();
    if (c.alpha() != 255)
        s += u"%1"_s.arg(c.alpha(), 2, 16, QLatin1Char('0')).toUpper();
    return s;
}

// Removes the folder \a path and what it holds; a link in it goes, what it names stays.
bool removeFolder(const QString &path)
{
    const QDir dir(path);
    const auto all = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
    for (const QFileInfo &entry : dir.entryInfoList(all)) {
        const bool removed = entry.isDir() && !entry.isSymLink() ? removeFolder(entry.filePath())
                                                                 : bool(ZEM_F_Files::removeFile(entry.filePath()));
        if (!removed)
            return false;
    }
    return QDir().rmdir(path);
}

// The fields that differ between two states of an item.
QStringList changedKeys(const QVariantMap &values, const QVariantMap &base)
{
    QStringList keys = values.keys() + base.keys();
    keys.removeDuplicates();
    keys.removeAll(kCalendarUid);
    keys.removeIf([&](const QString &k) { return sameValue(values.value(k), base.value(k)); });
    return keys;
}

ZEM_Error conflict(const QString &title, const QString &fileName, const QString &why)
{
    const QString name = title.isEmpty() ? fileName : title;
    return ZEM_Error::make(ZEM_Error::Conflict,
                           u"“%1” was changed by another program (%2): %3"_s.arg(name, fileName, why),
                           {name, fileName});
}

// The field a person reads in a conflict.
QString fieldName(const QString &key)
{
    static const QHash<QString, QString> names = {
        {kTitle, u"the title"_s},        {kNotes, u"the notes"_s},         {kUrl, u"the URL"_s},
        {kAlarms, u"the alarms"_s},      {kStart, u"the start"_s},         {kEnd, u"the end"_s},
        {kAllDay, u"all-day"_s},         {kLocation, u"the location"_s},   {kAttendees, u"the attendees"_s},
        {kRule, u"the repeat rule"_s},   {kPriority, u"the priority"_s},   {kDue, u"the due date"_s},
        {kCompletedDate, u"the completion date"_s}, {kCompleted, u"completion"_s},
    };
    return names.value(key, key);
}

// Refuses a save when another program changed a field the caller changed too.
template<typename Item>
ZEM_Result<void> mergeCheck(const Item &ours, const std::optional<Item> &theirs, const QStringList &keys)
{
    const CalItemData &data = CalValues::of(ours);
    if (!theirs)
        return conflict(ours.title(), data.fileName, u"it was removed there"_s);
    for (const QString &key : keys) {
        const QVariant t = CalValues::of(*theirs).values.value(key);
        if (!sameValue(t, data.base.value(key)) && !sameValue(t, data.values.value(key)))
            return conflict(ours.title(), data.fileName, u"both changed %1"_s.arg(fieldName(key)));
    }
    return {};
}

// How a save finds the item it wrote: an event by its occurrence, a to-do by its uid.
template<typename Item>
std::optional<Item> itemIn(icalcomponent *root, const Origin &origin, const QString &uid, const QDateTime &occurrence);

template<>
std::optional<CalEvent> itemIn<CalEvent>(icalcomponent *root, const Origin &origin, const QString &uid,
                                         const QDateTime &occurrence)
{
    return eventIn(root, origin, uid, occurrence);
}

template<>
std::optional<CalTask> itemIn<CalTask>(icalcomponent *root, const Origin &origin, const QString &uid, const QDateTime &)
{
    return taskIn(root, origin, uid);
}

} // namespace

// What every save of an item starts with: a new item is written to a file of its own and
// read back; for an item in the store, its file is read as it is now and the caller's
// changes checked against another program's. Nothing to go on with when that was all.
template<typename Item>
ZEM_Result<std::optional<CalendarStorePrivate::SaveStart>> CalendarStorePrivate::beginSave(Item &item)
{
    const QString target = item.calendarUid();
    CalItemData &data = CalValues::of(item);
    if (data.isNew) {
        if (auto ok = claimUid(data.uid); !ok)
            return ok.error();
        const QString uid = data.uid;
        IcalPtr doc = ics::newDocument(item, std::is_same_v<Item, CalEvent>);
        const auto written = writeNewFile(target, uid, doc.get());
        if (!written)
            return written.error();
        if (auto saved = itemIn<Item>(doc.get(), *written, uid, {}))
            item = *saved;
        rereadFile(target, written->fileName);
        return std::optional<SaveStart>();
    }

    const QString fromCalendar = data.fileCalendarUid;
    const bool moving = target != fromCalendar;
    const QStringList ours = changedKeys(data.values, data.base);
    // An item another program removed is not written again unless the caller changed it.
    const bool changedHere = moving || !ours.isEmpty();
    auto file = readItemFile(fromCalendar, data.fileName);
    if (!file)
        return file.error();
    if (!file->exists) {
        if (!changedHere)
            return std::optional<SaveStart>();
        return conflict(item.title(), data.fileName, u"its file was removed there"_s);
    }
    icalcomponent *root = file->root();
    const Origin &diskOrigin = file->origin;
    if (!unchangedSince(diskOrigin, data)) {
        const auto theirs = itemIn<Item>(root, diskOrigin, data.uid, data.occurrence);
        if (!theirs && !changedHere)
            return std::optional<SaveStart>();
        if (auto merged = mergeCheck(item, theirs, ours); !merged)
            return merged.error();
    }
    if (ours.isEmpty() && !moving) {
        if (auto now = itemIn<Item>(root, diskOrigin, data.uid, data.occurrence))
            item = *now;
        return std::optional<SaveStart>();
    }
    // A UID the store made for the item is written with it from now on.
    for (icalcomponent *c : componentsOf(root, data.uid))
        keepUid(c);
    return std::optional<SaveStart>(SaveStart{std::move(*file), ours, moving});
}

// Writes a changed item: \a apart (a series split off) or, when \a moving, item \a itemUid
// taken out of \a file, to a file of its own in \a target; then what is left of \a file.
// Where item \a uid now is.
ZEM_Result<CalendarStorePrivate::Saved> CalendarStorePrivate::writeSave(const ItemFile &file, IcalPtr apart,
                                                                      bool moving, const QString &target,
                                                                      const QString &itemUid, const QString &uid)
{
    Saved out{std::move(apart), file.root(), Origin{file.origin.calendarUid, file.origin.fileName, {}, {}}};
    if (out.own || moving) {
        const bool carried = !out.own;
        if (!out.own)
            out.own = extract(file.root(), itemUid);
        out.root = out.own.get();
        const auto written = writeNewFile(target, uid, out.root, carried ? &file.origin : nullptr);
        if (!written)
            return written.error();
        out.origin = *written;
    }
    const auto kept = writeBack(file);
    if (!kept) {
        // The item must not live on twice: take back the file written for it above.
        if (out.own || moving) {
            const bool raced = changedWhileWriting;
            (void)removeFile(out.origin.calendarUid, out.origin.fileName, out.origin.bytes);
            changedWhileWriting = raced;
        }
        return kept.error();
    }
    if (out.root == file.root())
        out.origin.bytes = *kept;
    return out;
}

// What every removal of an item starts with: its file as it is now. Nothing to remove when
// the file or the item is gone already; refused when another program changed the item.
template<typename Item>
ZEM_Result<std::optional<CalendarStorePrivate::ItemFile>> CalendarStorePrivate::beginRemove(const Item &item) const
{
    const CalItemData &data = CalValues::of(item);
    if (data.isNew) {
        const QString text = std::is_same_v<Item, CalEvent> ? u"The event “%1” is not in the store."_s
                                                            : u"The to-do “%1” is not in the store."_s;
        return ZEM_Error::make(ZEM_Error::NotFound, text.arg(item.title()));
    }
    auto file = readItemFile(data.fileCalendarUid, data.fileName);
    if (!file)
        return file.error();
    if (!file->exists)
        return std::optional<ItemFile>(); // already gone
    if (!unchangedSince(file->origin, data)) {
        const auto theirs = itemIn<Item>(file->root(), file->origin, data.uid, data.occurrence);
        if (!theirs)
            return std::optional<ItemFile>(); // removed there too
        if (!changedKeys(CalValues::of(*theirs).values, data.base).isEmpty())
            return conflict(item.title(), data.fileName, u"it was changed there and removed here"_s);
    }
    return std::optional<ItemFile>(std::move(*file));
}

// ---- CalendarStore ---------------------------------------------------------------------------

QString CalendarStore::defaultFolder()
{
    return sharedStore.defaultFolder();
}

void CalendarStore::setDefaultFolder(const QString &folder)
{
    sharedStore.setDefaultFolder(folder);
}

CalendarStore *CalendarStore::defaultCalendarStore()
{
    return sharedStore.instance(&CalendarStore::resetDefaultCalendarStore);
}

void CalendarStore::resetDefaultCalendarStore()
{
    sharedStore.reset();
}

CalendarStore::CalendarStore(const QString &folder, bool watch, QObject *parent)
    : QObject(parent), d(std::make_unique<CalendarStorePrivate>())
{
    initLibical();
    settleLocalZone();
    d->q = this;
    d->folder = QDir::cleanPath(QDir(folder).absolutePath());
    if (!QDir().mkpath(d->folder))
        qCWarning(zemPlatform) << "CalendarStore: cannot create" << d->folder;
    d->scan(false);
    if (watch)
        d->startWatching();
}

CalendarStore::~CalendarStore() = default;

QString CalendarStore::folder() const
{
    return d->folder;
}

QStringList CalendarStore::problems() const
{
    return d->problems;
}

void CalendarStore::refresh()
{
    if (d->watcher)
        d->watcher->cancelPending();
    d->scan(true);
}

QList<CalCalendar> CalendarStore::calendars() const
{
    QList<CalCalendar> out;
    for (const auto &[uid, f] : d->folders)
        out.append(f.calendar);
    std::stable_sort(out.begin(), out.end(), [](const CalCalendar &a, const CalCalendar &b) {
        return a.title().compare(b.title(), Qt::CaseInsensitive) < 0;
    });
    return out;
}

std::optional<CalCalendar> CalendarStore::calendarWithUID(const QString &uid) const
{
    const auto f = d->folders.find(uid);
    if (f == d->folders.end())
        return std::nullopt;
    return f->second.calendar;
}

ZEM_Result<void> CalendarStore::saveCalendar(CalCalendar &calendar)
{
    QString uid = calendar.uid();
    if (uid.isEmpty()) {
        do
            uid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        while (QFileInfo::exists(d->calendarPath(uid)));
    } else if (uid.contains(u'/') || uid.startsWith(u'.')) {
        return ZEM_Error::make(ZEM_Error::InvalidArgument, u"“%1” cannot name a calendar."_s.arg(uid), {uid});
    }
    const QString path = d->calendarPath(uid);
    if (CalendarStorePrivate::linksOutside(d->folder, path))
        return ZEM_Error::make(ZEM_Error::WriteFailed,
                               u"The calendar folder %1 is a link to a folder outside the calendars and is never "
                               u"written into."_s.arg(path),
                               {path});
    if (!QDir().mkpath(path))
        return ZEM_Error::make(ZEM_Error::WriteFailed, u"Could not create the calendar folder %1"_s.arg(path), {path});
    const QDir dir(path);
    // Refused before anything is written, so that a calendar is not left half saved.
    for (const QString &name : {u"displayname"_s, u"color"_s, kMetaFileName}) {
        const QString file = dir.filePath(name);
        if (const auto stamp = ZEM_F_Files::stampOf(file); stamp.exists && !stamp.regular) {
            const QString what = QFileInfo(file).isSymLink() ? u"a symbolic link"_s : u"not a plain file"_s;
            return ZEM_Error::make(ZEM_Error::WriteFailed,
                                   u"Cannot save %1: it is %2, which is never written through."_s.arg(file, what),
                                   {file});
        }
    }
    if (auto w = ZEM_F_Files::replaceFile(dir.filePath(u"displayname"_s), calendar.title().toUtf8()); !w)
        return w.error();
    if (calendar.color().isValid()) {
        if (auto w = ZEM_F_Files::replaceFile(dir.filePath(u"color"_s), colorText(calendar.color()).toUtf8()); !w)
            return w.error();
    } else if (auto r = ZEM_F_Files::removeFile(dir.filePath(u"color"_s)); !r) {
        return r.error();
    }
    QJsonObject o;
    if (calendar.type() != kCalCalendarTypeLocal)
        o.insert(u"type"_s, calendar.type());
    if (!calendar.notes().isEmpty())
        o.insert(u"notes"_s, calendar.notes());
    if (!calendar.isEditable())
        o.insert(u"editable"_s, false);
    if (o.isEmpty()) {
        if (auto r = ZEM_F_Files::removeFile(dir.filePath(kMetaFileName)); !r)
            return r.error();
    } else if (auto w = ZEM_F_Files::replaceFile(dir.filePath(kMetaFileName), QJsonDocument(o).toJson()); !w) {
        return w.error();
    }
    QByteArray meta;
    calendar = CalendarStorePrivate::readCalendar(d->folder, uid, &meta);
    ownWrites().insert(path, meta);
    d->scan(true);
    return {};
}

ZEM_Result<void> CalendarStore::removeCalendar(const CalCalendar &calendar)
{
    if (calendar.uid().isEmpty() || !d->folders.count(calendar.uid()))
        return ZEM_Error::make(ZEM_Error::NotFound, u"There is no calendar “%1”."_s.arg(calendar.title()),
                               {calendar.uid()});
    const QString path = d->calendarPath(calendar.uid());
    for (const auto &[name, file] : d->folders.at(calendar.uid()).files)
        ownWrites().insert(d->filePath(calendar.uid(), name), std::nullopt);
    if (QFileInfo(path).isSymLink()) {
        // The link goes; what it names is not the store's to remove.
        if (auto r = ZEM_F_Files::removeFile(path); !r)
            return r.error();
    } else if (!removeFolder(path)) {
        return ZEM_Error::make(ZEM_Error::WriteFailed, u"Could not remove the calendar folder %1"_s.arg(path), {path});
    }
    ownWrites().insert(path, std::nullopt);
    d->scan(true);
    return {};
}

namespace {

QStringList calendarUids(const QList<CalCalendar> &calendars)
{
    QStringList out;
    for (const CalCalendar &c : calendars)
        out.append(c.uid());
    return out;
}

} // namespace

CalEventPredicate CalendarStore::eventPredicateWithStartDate(const QDateTime &start, const QDateTime &end,
                                                             const QList<CalCalendar> &calendars)
{
    return CalEventPredicate{start, end, {}, calendarUids(calendars)};
}

CalEventPredicate CalendarStore::eventPredicateWithStartDate(const QDateTime &start, const QDateTime &end,
                                                             const QString &uid,
                                                             const QList<CalCalendar> &calendars)
{
    return CalEventPredicate{start, end, uid, calendarUids(calendars)};
}

CalTaskPredicate CalendarStore::taskPredicateWithCalendars(const QList<CalCalendar> &calendars)
{
    return CalTaskPredicate{calendarUids(calendars), false};
}

CalTaskPredicate CalendarStore::taskPredicateWithUncompletedTasks(const QList<CalCalendar> &calendars)
{
    return CalTaskPredicate{calendarUids(calendars), true};
}

QList<CalEvent> CalendarStore::eventsWithPredicate(const CalEventPredicate &predicate) const
{
    return d->eventsIn(predicate);
}

QList<CalTask> CalendarStore::tasksWithPredicate(const CalTaskPredicate &predicate) const
{
    return d->tasksIn(predicate);
}

std::optional<CalEvent> CalendarStore::eventWithUID(const QString &uid, const QDateTime &occurrence) const
{
    const CalendarStorePrivate::IcsFile *file = d->parsedFileOf(uid);
    if (!file || !file->root)
        return std::nullopt;
    const auto where = d->index.value(uid);
    return eventIn(file->root.get(), Origin{where.first, where.second, file->bytes, file->key}, uid, occurrence);
}

std::optional<CalTask> CalendarStore::taskWithUID(const QString &uid) const
{
    const CalendarStorePrivate::IcsFile *file = d->parsedFileOf(uid);
    if (!file || !file->root)
        return std::nullopt;
    const auto where = d->index.value(uid);
    return taskIn(file->root.get(), Origin{where.first, where.second, file->bytes, file->key}, uid);
}

namespace {

// One try at saving an event; the file may change under it (see retryingRaces()).
ZEM_Result<void> saveEventOnce(CalendarStorePrivate *d, CalEvent &event, CalSpan span)
{
    const QString target = event.calendarUid();
    auto start = d->beginSave(event);
    if (!start)
        return start.error();
    if (!*start)
        return {};
    const CalendarStorePrivate::SaveStart &save = **start;
    const CalItemData &data = CalValues::of(std::as_const(event));
    icalcomponent *root = save.file.root();
    const Origin &diskOrigin = save.file.origin;
    const QStringList &ours = save.changed;

    const std::vector<icalcomponent *> comps = componentsOf(root, data.uid);
    icalcomponent *master = masterOf(comps);
    const bool recurring = isRecurring(master);
    const QDateTime occurrence = data.occurrence;
    icalcomponent *detached = overrideFor(comps, occurrence);
    const QDateTime firstStart = master ? eventFrom(master, diskOrigin, nullptr).startDate()
                                        : QDateTime();
    const bool whole = !recurring || (span == CalSpanFutureEvents && (!occurrence.isValid() || occurrence == firstStart));

    IcalPtr split;
    QString splitUid;
    QDateTime refreshAt; // the occurrence the caller's event becomes; invalid: the first
    if (!recurring) {
        icalcomponent *c = detached ? detached : master;
        if (!c)
            return conflict(event.title(), data.fileName, u"it was removed there"_s);
        ics::apply(c, calendarOf(c), event, ours);
        refreshAt = detached ? occurrence : QDateTime();
    } else if (span == CalSpanThisEvent) {
        QStringList keys = ours;
        keys.removeAll(kRule); // one occurrence has no rule of its own
        if (!detached) {
            detached = icalcomponent_new_clone(master);
            for (icalproperty_kind kind : {ICAL_RRULE_PROPERTY, ICAL_RDATE_PROPERTY, ICAL_EXDATE_PROPERTY,
                                           ICAL_RECURRENCEID_PROPERTY, ICAL_DURATION_PROPERTY})
                removeProperties(detached, kind);
            setTimeProperty(detached, ICAL_RECURRENCEID_PROPERTY, likeStart(master, occurrence));
            setTimeProperty(detached, ICAL_DTSTART_PROPERTY,
                            likeStart(master, data.base.value(kStart).toDateTime()));
            setTimeProperty(detached, ICAL_DTEND_PROPERTY, likeStart(master, data.base.value(kEnd).toDateTime()));
            icalcomponent_add_component(calendarOf(master), detached);
        }
        ics::apply(detached, calendarOf(detached), event, keys);
        refreshAt = occurrence;
    } else if (whole) {
        ics::apply(master, calendarOf(master), event, ours);
    } else {
        // This occurrence and the later ones become a series of their own.
        splitUid = d->newUid();
        split = newCalendarLike(master);
        icalcomponent *next = icalcomponent_new_clone(master);
        icalcomponent_set_uid(next, splitUid.toUtf8().constData());
        removeProperties(next, ICAL_RECURRENCEID_PROPERTY);
        setTimeProperty(next, ICAL_DTSTART_PROPERTY, likeStart(master, data.base.value(kStart).toDateTime()));
        if (icalcomponent_get_first_property(next, ICAL_DTEND_PROPERTY))
            setTimeProperty(next, ICAL_DTEND_PROPERTY, likeStart(master, data.base.value(kEnd).toDateTime()));
        const Expansion before = seriesStarts(master, occurrence, nullptr, true);
        for (icalproperty *p : properties(next, ICAL_RRULE_PROPERTY)) {
            icalrecurrencetype r = icalproperty_get_rrule(p);
            if (r.count > 0) {
                r.count = std::max(1, r.count - before.ruleCountBefore);
                icalproperty_set_rrule(p, r);
            }
        }
        for (icalproperty_kind kind : {ICAL_RDATE_PROPERTY, ICAL_EXDATE_PROPERTY}) {
            for (icalproperty *p : properties(next, kind))
                if (timeOf(p, calendarOf(master), nullptr).value < occurrence) {
                    icalcomponent_remove_property(next, p);
                    icalproperty_free(p);
                }
        }
        endSeriesBefore(master, occurrence);
        for (icalproperty *p : properties(master, ICAL_EXDATE_PROPERTY))
            if (timeOf(p, calendarOf(master), nullptr).value >= occurrence) {
                icalcomponent_remove_property(master, p);
                icalproperty_free(p);
            }
        icalcomponent_add_component(split.get(), next);
        for (icalcomponent *c : comps) {
            if (c == master || recurrenceIdOf(c) < occurrence)
                continue;
            icalcomponent_remove_component(icalcomponent_get_parent(c), c);
            icalcomponent_set_uid(c, splitUid.toUtf8().constData());
            icalcomponent_add_component(split.get(), c);
        }
        ics::apply(next, split.get(), event, ours);
        stampChanged(master);
    }

    // The caller's event lives on in the split-off series, in the moved copy, or in its file.
    const QString uid = split ? splitUid : data.uid;
    const QDateTime at = split ? QDateTime() : refreshAt;
    const auto saved = d->writeSave(save.file, std::move(split), save.moving, target, data.uid, uid);
    if (!saved)
        return saved.error();
    if (auto now = eventIn(saved->root, saved->origin, uid, at))
        event = *now;
    d->scan(true);
    return {};
}

} // namespace

ZEM_Result<void> CalendarStore::saveEvent(CalEvent &event, CalSpan span)
{
    const QString target = event.calendarUid();
    if (auto ok = d->checkCalendar(target); !ok)
        return ok;
    if (!event.startDate().isValid())
        return ZEM_Error::make(ZEM_Error::InvalidArgument, u"The event “%1” has no start date."_s.arg(event.title()));
    if (event.endDate().isValid() && event.endDate() < event.startDate())
        return ZEM_Error::make(ZEM_Error::InvalidArgument,
                               u"The event “%1” ends before it starts."_s.arg(event.title()));
    if (!event.endDate().isValid())
        event.setEndDate(event.isAllDay() ? event.startDate().addDays(1) : event.startDate());
    if (const auto rule = event.recurrenceRule()) {
        const auto end = rule->recurrenceEnd();
        if (rule->recurrenceInterval() < 1 || (end && !end->usesEndDate() && end->occurrenceCount() < 1)
            || (end && end->usesEndDate() && !end->endDate().isValid()))
            return ZEM_Error::make(ZEM_Error::InvalidArgument,
                                   u"The repeat rule of “%1” is not valid."_s.arg(event.title()));
    }

    return d->retryingRaces([&] { return saveEventOnce(d.get(), event, span); });
}

namespace {

ZEM_Result<void> removeEventOnce(CalendarStorePrivate *d, const CalEvent &event, CalSpan span)
{
    auto start = d->beginRemove(event);
    if (!start)
        return start.error();
    if (!*start)
        return {};
    const CalendarStorePrivate::ItemFile &file = **start;
    const CalItemData &data = CalValues::of(event);
    icalcomponent *root = file.root();
    const Origin &diskOrigin = file.origin;
    const std::vector<icalcomponent *> comps = componentsOf(root, data.uid);
    icalcomponent *master = masterOf(comps);
    const QDateTime occurrence = data.occurrence;
    const QDateTime firstStart = master ? eventFrom(master, diskOrigin, nullptr).startDate()
                                        : QDateTime();
    if (!isRecurring(master)) {
        if (master || span == CalSpanFutureEvents) {
            for (icalcomponent *c : comps)
                removeComponent(c);
        } else if (icalcomponent *c = overrideFor(comps, occurrence)) {
            removeComponent(c);
        }
    } else if (span == CalSpanFutureEvents && (!occurrence.isValid() || occurrence <= firstStart)) {
        for (icalcomponent *c : comps)
            removeComponent(c);
    } else if (span == CalSpanThisEvent) {
        if (icalcomponent *c = overrideFor(comps, occurrence))
            removeComponent(c);
        const TimeWrite x = likeStart(master, occurrence);
        icalproperty *p = icalproperty_new_exdate(x.time);
        icalcomponent_add_property(master, p);
        setTimeValue(p, x);
        stampChanged(master);
    } else {
        for (icalcomponent *c : comps)
            if (c != master && recurrenceIdOf(c) >= occurrence)
                removeComponent(c);
        endSeriesBefore(master, occurrence);
        stampChanged(master);
    }
    if (const auto kept = d->writeBack(file); !kept)
        return kept.error();
    d->scan(true);
    return {};
}

} // namespace

ZEM_Result<void> CalendarStore::removeEvent(const CalEvent &event, CalSpan span)
{
    return d->retryingRaces([&] { return removeEventOnce(d.get(), event, span); });
}

namespace {

ZEM_Result<void> saveTaskOnce(CalendarStorePrivate *d, CalTask &task)
{
    const QString target = task.calendarUid();
    auto start = d->beginSave(task);
    if (!start)
        return start.error();
    if (!*start)
        return {};
    const CalendarStorePrivate::SaveStart &save = **start;
    const CalItemData &data = CalValues::of(std::as_const(task));
    const std::vector<icalcomponent *> comps = componentsOf(save.file.root(), data.uid);
    icalcomponent *c = masterOf(comps);
    if (!c)
        return conflict(task.title(), data.fileName, u"it was removed there"_s);
    ics::apply(c, calendarOf(c), task, save.changed);

    const QString uid = data.uid;
    const auto saved = d->writeSave(save.file, {}, save.moving, target, uid, uid);
    if (!saved)
        return saved.error();
    if (auto now = taskIn(saved->root, saved->origin, uid))
        task = *now;
    d->scan(true);
    return {};
}

} // namespace

ZEM_Result<void> CalendarStore::saveTask(CalTask &task)
{
    const QString target = task.calendarUid();
    if (auto ok = d->checkCalendar(target); !ok)
        return ok;
    return d->retryingRaces([&] { return saveTaskOnce(d.get(), task); });
}

namespace {

ZEM_Result<void> removeTaskOnce(CalendarStorePrivate *d, const CalTask &task)
{
    auto start = d->beginRemove(task);
    if (!start)
        return start.error();
    if (!*start)
        return {};
    const CalendarStorePrivate::ItemFile &file = **start;
    for (icalcomponent *c : componentsOf(file.root(), CalValues::of(task).uid))
        removeComponent(c);
    if (const auto kept = d->writeBack(file); !kept)
        return kept.error();
    d->scan(true);
    return {};
}

} // namespace

ZEM_Result<void> CalendarStore::removeTask(const CalTask &task)
{
    return d->retryingRaces([&] { return removeTaskOnce(d.get(), task); });
}

CalItemsRead CalendarStore::readICalendarData(const QByteArray &data)
{
    CalItemsRead out;
    Parsed parsed = parseIcs(data);
    out.problems = parsed.problems;
    if (!parsed.root)
        return out;
    const Origin origin{{}, {}, data, {}};
    for (icalcomponent *cal : calendarsOf(parsed.root.get())) {
        for (icalcomponent *c : ical::children(cal, ICAL_ANY_COMPONENT)) {
            if (icalcomponent_isa(c) == ICAL_VEVENT_COMPONENT) {
                CalEvent e = eventFrom(c, origin, &out.problems);
                CalItemData &data = CalValues::of(e);
                data.occurrence = hasRecurrenceId(c) ? recurrenceIdOf(c) : e.startDate();
                data.detached = hasRecurrenceId(c);
                data.isNew = true;
                out.events.append(e);
            } else if (icalcomponent_isa(c) == ICAL_VTODO_COMPONENT) {
                CalTask t;
                ics::readItem(t, c, cal, &out.problems);
                out.tasks.append(t);
            }
        }
    }
    return out;
}

QByteArray CalendarStore::iCalendarData(const CalEvent &event)
{
    CalEvent copy = event;
    if (CalValues::of(copy).uid.isEmpty())
        CalValues::of(copy).uid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    return serialize(ics::newDocument(copy, true).get());
}

QByteArray CalendarStore::iCalendarData(const CalTask &task)
{
    CalTask copy = task;
    if (CalValues::of(copy).uid.isEmpty())
        CalValues::of(copy).uid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    return serialize(ics::newDocument(copy, false).get());
}

} // namespace platform
