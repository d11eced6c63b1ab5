// The address book: a folder of cards read, watched, merged and saved. How a card maps to
// a person's values is in detail/CardMapping.cpp and detail/CardWriter.cpp.
#include "platform/addressbook/AddressBook.h"

#include "platform/addressbook/detail/CardMapping.h"
#include "platform/detail/ChangeNotices.h"
#include "platform/detail/ItemFiles.h"
#include "platform/detail/SharedStore.h"

#include "platform/PlatformLog.h"
#include "platform/addressbook/VCard.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QMap>
#include <QUuid>

#include <algorithm>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace platform {

using namespace detail::card;
using platform::detail::fileNameForUid;
using platform::detail::ownWrites;
using platform::detail::writeFileAtomically;

namespace {

// The user's own card: a UID in a dot file, so sync tools leave it alone.
const QString kMeFileName = u".zem-me"_s;

detail::SharedStore<AddressBook> sharedBook(u"/contacts/default"_s);

struct CardState
{
    std::unique_ptr<ABRecord> record;
    QString uid;
    QString fileName;
    // The file as last read or written; onDisk false for a card never saved (or whose
    // file another program removed while we held an edit).
    bool onDisk = false;
    QByteArray baseBytes;
    VCard baseCard;
    Mapping baseMap;
    QVariantMap values;

    bool isDirty() const
    {
        if (!onDisk)
            return true;
        QStringList keys = values.keys();
        keys.append(baseMap.values.keys());
        for (const QString &key : keys)
            if (!sameValue(values.value(key), baseMap.values.value(key)))
                return true;
        return false;
    }

    void takeFile(const QByteArray &bytes, const VCard &card, Mapping map)
    {
        onDisk = true;
        baseBytes = bytes;
        baseCard = card;
        baseMap = std::move(map);
        values = baseMap.values;
    }
};

struct SeenFile
{
    QByteArray bytes;
    QString uniqueId; // empty when the file gave no card
    QStringList problems;
};

} // namespace

class AddressBookPrivate
{
public:
    AddressBook *q = nullptr;
    QString folder;
    std::vector<std::unique_ptr<CardState>> cards;
    // Removed records stay allocated until the book goes, so callers' pointers never dangle.
    std::vector<std::unique_ptr<CardState>> removed;
    // Removed records whose files save() deletes.
    std::vector<CardState *> toDelete;
    QHash<QString, CardState *> byUid;
    QHash<const ABRecord *, CardState *> stateOf;
    QMap<QString, SeenFile> seen; // file name -> what the last scan found
    QString meUid;
    bool meDirty = false;
    bool unsaved = false;
    std::optional<detail::FolderWatcher> watcher;

    QString pathOf(const QString &fileName) const { return QDir(folder).filePath(fileName); }

    CardState *stateFor(const ABRecord *record) const { return stateOf.value(record); }

    bool isLive(const CardState *s) const { return s && byUid.value(s->uid) == s; }

    CardState *addCard(const QString &uid, const QString &fileName, bool group)
    {
        auto s = std::make_unique<CardState>();
        s->uid = uid;
        s->fileName = fileName;
        if (group)
            s->record.reset(new ABGroup(q, uid));
        else
            s->record.reset(new ABPerson(q, uid));
        s->baseMap.group = group;
        CardState *raw = s.get();
        stateOf.insert(raw->record.get(), raw);
        byUid.insert(uid, raw);
        cards.push_back(std::move(s));
        return raw;
    }

    void retire(CardState *s)
    {
        byUid.remove(s->uid);
        auto it = std::find_if(cards.begin(), cards.end(), [s](const auto &c) { return c.get() == s; });
        if (it != cards.end()) {
            removed.push_back(std::move(*it));
            cards.erase(it);
        }
    }

    QList<CardState *> sortedCards() const
    {
        QList<CardState *> list;
        for (const auto &c : cards)
            list.append(c.get());
        std::sort(list.begin(), list.end(),
                  [](const CardState *a, const CardState *b) { return a->fileName < b->fileName; });
        return list;
    }

    QString newUid() const
    {
        QString uid;
        do
            uid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        while (byUid.contains(uid) || QFile::exists(pathOf(fileNameForUid(uid, u".vcf"_s))));
        return uid;
    }

    void scan(bool announce);
    ZEM_Result<void> save();
    void startWatching();
    void watchFiles();
};

void AddressBookPrivate::scan(bool announce)
{
    QDir dir(folder);
    const QStringList files = dir.entryList({u"*.vcf"_s}, QDir::Files, QDir::Name);
    QMap<QString, SeenFile> now;
    detail::Changes changes;

    for (const QString &fileName : files) {
        const QString path = pathOf(fileName);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            const QString why = u"%1: cannot be read: %2"_s.arg(fileName, file.errorString());
            qCWarning(zemPlatform) << "AddressBook:" << why;
            // Keep what we knew of it: an unreadable file is not a removed card.
            SeenFile kept = seen.value(fileName);
            kept.problems = {why};
            now.insert(fileName, kept);
            continue;
        }
        const QByteArray bytes = file.readAll();
        const auto previous = seen.constFind(fileName);
        if (previous != seen.constEnd() && previous->bytes == bytes) {
            now.insert(fileName, *previous);
            continue;
        }

        SeenFile entry;
        entry.bytes = bytes;
        const VCardReadResult read = readVCards(bytes);
        for (const QString &p : read.problems)
            entry.problems.append(fileName + u": "_s + p);
        if (read.cards.isEmpty()) {
            if (read.problems.isEmpty())
                entry.problems.append(fileName + u": not a vCard"_s);
        } else {
            if (read.cards.size() > 1)
                entry.problems.append(u"%1: holds %2 cards; only the first is read"_s.arg(fileName)
                                          .arg(read.cards.size()));
            const VCard &card = read.cards.first();
            QString uid = card.uid().trimmed();
            if (uid.isEmpty())
                uid = fileName.chopped(4);
            QStringList mapProblems;
            Mapping map = mapCard(card, &mapProblems);
            for (const QString &p : mapProblems)
                entry.problems.append(fileName + u": "_s + p);
            CardState *s = byUid.value(uid);
            const bool removedHere = std::any_of(toDelete.begin(), toDelete.end(),
                                                 [&](const CardState *r) { return r->uid == uid; });
            if (removedHere) {
                // Removed here and not yet saved: save() settles it (a conflict if changed there).
                entry.uniqueId = uid + (map.group ? kABGroupSuffix : kABPersonSuffix);
            } else if (s && s->fileName != fileName) {
                entry.problems.append(u"%1: the same UID as %2; skipped"_s.arg(fileName, s->fileName));
            } else {
                entry.uniqueId = uid + (map.group ? kABGroupSuffix : kABPersonSuffix);
                if (!s) {
                    s = addCard(uid, fileName, map.group);
                    s->takeFile(bytes, card, std::move(map));
                } else if (s->baseMap.group != map.group) {
                    entry.problems.append(u"%1: changed between person and group; skipped"_s.arg(fileName));
                    entry.uniqueId.clear();
                } else if (s->baseBytes != bytes && !s->isDirty()) {
                    Mapping fresh = std::move(map);
                    adoptIdentifiers(fresh, s->values);
                    s->takeFile(bytes, card, std::move(fresh));
                }
            }
        }
        for (const QString &p : entry.problems)
            qCWarning(zemPlatform).noquote() << "AddressBook:" << p;

        const QString oldId = previous != seen.constEnd() ? previous->uniqueId : QString();
        const int who = detail::isOwnWrite(path, bytes) ? detail::Changes::ThisProcess : detail::Changes::OtherProgram;
        if (!entry.uniqueId.isEmpty()) {
            if (oldId.isEmpty())
                changes.inserted[who].append(entry.uniqueId);
            else
                changes.updated[who].append(entry.uniqueId);
        } else if (!oldId.isEmpty()) {
            changes.deleted[who].append(oldId);
        }
        now.insert(fileName, entry);
    }

    for (auto it = seen.constBegin(); it != seen.constEnd(); ++it) {
        if (now.contains(it.key()))
            continue;
        const int who = detail::isOwnWrite(pathOf(it.key()), std::nullopt) ? detail::Changes::ThisProcess
                                                                          : detail::Changes::OtherProgram;
        if (!it->uniqueId.isEmpty())
            changes.deleted[who].append(it->uniqueId);
        CardState *s = byUid.value(it->uniqueId.section(u':', 0, -2));
        if (s && s->fileName == it.key() && s->onDisk) {
            if (s->isDirty()) {
                // Another program removed a card we hold an edit for: save() writes it again.
                s->onDisk = false;
            } else {
                retire(s);
            }
        }
    }
    seen = now;

    if (!meDirty) {
        QFile me(pathOf(kMeFileName));
        meUid = me.open(QIODevice::ReadOnly) ? QString::fromUtf8(me.readAll()).trimmed() : QString();
    }
    if (watcher)
        watchFiles();

    if (!announce)
        return;
    static const detail::NoticeNames names{kABDatabaseChangedExternallyNotification, kABInsertedRecords,
                                           kABUpdatedRecords, kABDeletedRecords, kABSenderProcessName, {}};
    detail::announce(changes, names, [this](const QStringList &inserted, const QStringList &updated,
                                            const QStringList &deleted, const QString &sender) {
        emit q->changed(inserted, updated, deleted, sender);
    });
}

void AddressBookPrivate::startWatching()
{
    watcher.emplace(q, [this] { scan(true); });
    watchFiles();
}

void AddressBookPrivate::watchFiles()
{
    // The folder tells of files added, removed and renamed over; a file rewritten in place
    // is only seen by watching the file itself.
    QStringList wanted{folder};
    for (auto it = seen.constBegin(); it != seen.constEnd(); ++it)
        wanted.append(pathOf(it.key()));
    wanted.append(pathOf(kMeFileName));
    watcher->watchOnly(wanted);
}

namespace {

QString cardName(const CardState &s)
{
    const QString name = s.baseMap.group ? s.values.value(kABGroupNameProperty).toString()
                                         : displayName(s.values);
    return name.isEmpty() ? s.fileName : name;
}

// The name a person reads for an internal key.
QString propertyName(const QString &key)
{
    if (key == kImageKey)
        return u"Image"_s;
    if (key == kMembersKey)
        return u"Members"_s;
    return key;
}

ZEM_Error conflict(const CardState &s, const QString &key, const QString &why)
{
    return ZEM_Error::make(ZEM_Error::Conflict,
                           u"“%1” was changed by another program (%2): %3"_s.arg(cardName(s), s.fileName, why),
                           {s.uid, propertyName(key)});
}

} // namespace

ZEM_Result<void> AddressBookPrivate::save()
{
    struct Plan
    {
        CardState *state;
        VCard base;
        Mapping map;
        QVariantMap values;
        std::optional<QByteArray> disk;
    };
    std::vector<Plan> plans;

    // First find out whether every card can be written, so that a conflict writes nothing.
    for (CardState *s : sortedCards()) {
        if (!s->isDirty())
            continue;
        Plan plan{s, s->baseCard, s->baseMap, s->values, std::nullopt};
        QFile file(pathOf(s->fileName));
        if (file.open(QIODevice::ReadOnly))
            plan.disk = file.readAll();
        const bool changedThere = plan.disk && (!s->onDisk || *plan.disk != s->baseBytes);
        if (changedThere) {
            const VCardReadResult read = readVCards(*plan.disk);
            if (read.cards.isEmpty())
                return conflict(*s, {}, u"the file on disk is no longer a vCard"_s);
            Mapping there = mapCard(read.cards.first(), nullptr);
            if (there.group != s->baseMap.group)
                return conflict(*s, {}, u"it is no longer a person or no longer a group"_s);
            // Multi-values the other program left alone keep our identifiers, so their lines
            // are found by the entries we hold.
            adoptIdentifiers(there, s->baseMap.values);
            QVariantMap merged = there.values;
            QStringList keys = s->values.keys() + s->baseMap.values.keys() + there.values.keys();
            keys.removeDuplicates();
            for (const QString &key : keys) {
                const QVariant ancestor = s->baseMap.values.value(key);
                const QVariant ours = s->values.value(key);
                const QVariant theirs = there.values.value(key);
                const bool weChanged = !sameValue(ours, ancestor);
                const bool theyChanged = !sameValue(theirs, ancestor);
                if (weChanged && theyChanged && !sameValue(ours, theirs))
                    return conflict(*s, key, u"both changed %1"_s.arg(propertyName(key)));
                if (weChanged) {
                    if (ours.isValid())
                        merged.insert(key, ours);
                    else
                        merged.remove(key);
                }
            }
            plan.base = read.cards.first();
            plan.map = std::move(there);
            plan.values = merged;
        }
        plans.push_back(std::move(plan));
    }
    for (CardState *s : toDelete) {
        QFile file(pathOf(s->fileName));
        if (file.open(QIODevice::ReadOnly) && file.readAll() != s->baseBytes)
            return conflict(*s, {}, u"it was changed there and removed here"_s);
    }

    if (!QDir().mkpath(folder))
        return ZEM_Error::make(ZEM_Error::WriteFailed,
                               u"Could not create the address book folder %1"_s.arg(folder), {folder});
    for (Plan &plan : plans) {
        CardState *s = plan.state;
        const WrittenCard out = writeCard(plan.base, plan.map, plan.values, s->uid);
        const QByteArray bytes = writeVCard(out.card, out.version);
        const QString path = pathOf(s->fileName);
        if (!plan.disk || *plan.disk != bytes) {
            if (auto written = writeFileAtomically(path, bytes); !written) {
                qCWarning(zemPlatform).noquote() << "AddressBook:" << written.error().message;
                return written.error();
            }
            ownWrites().insert(path, bytes);
        }
        const VCardReadResult reread = readVCards(bytes);
        if (reread.cards.isEmpty()) {
            // Cannot happen with a card we wrote; keep the edit rather than lose it.
            qCWarning(zemPlatform) << "AddressBook: the card written to" << path << "does not read back";
            continue;
        }
        Mapping fresh = mapCard(reread.cards.first(), nullptr);
        adoptIdentifiers(fresh, plan.values);
        s->takeFile(bytes, reread.cards.first(), std::move(fresh));
    }
    while (!toDelete.empty()) {
        CardState *s = toDelete.back();
        const QString path = pathOf(s->fileName);
        if (QFile::exists(path) && !QFile::remove(path))
            return ZEM_Error::make(ZEM_Error::WriteFailed,
                                   u"Could not remove %1"_s.arg(path), {path});
        ownWrites().insert(path, std::nullopt);
        s->onDisk = false;
        toDelete.pop_back();
    }
    if (meDirty) {
        const QString path = pathOf(kMeFileName);
        if (meUid.isEmpty()) {
            if (QFile::exists(path) && !QFile::remove(path))
                return ZEM_Error::make(ZEM_Error::WriteFailed, u"Could not remove %1"_s.arg(path), {path});
        } else if (auto written = writeFileAtomically(path, meUid.toUtf8() + '\n'); !written) {
            return written.error();
        }
        meDirty = false;
    }
    unsaved = false;
    return {};
}

// ---- Records ---------------------------------------------------------------------------------

ABRecord::ABRecord(AddressBook *book, QString uid) : m_book(book), m_uid(std::move(uid)) {}

ABRecord::~ABRecord() = default;

QString ABRecord::uniqueId() const
{
    return m_uid + (isGroup() ? kABGroupSuffix : kABPersonSuffix);
}

QVariant ABRecord::valueForProperty(const QString &property) const
{
    const CardState *s = m_book->d->stateFor(this);
    if (!s || property.startsWith(u'\u0001'))
        return {};
    if (property == kABHomePageProperty) {
        const ABMultiValue urls = multiOf(s->values.value(kABURLsProperty));
        for (int i = 0; i < urls.count(); ++i)
            if (urls.labelAt(i) == kABHomePageLabel)
                return urls.valueAt(i);
        return {};
    }
    return s->values.value(property);
}

namespace {

bool entriesFit(const QString &key, const ABMultiValue &mv)
{
    for (const ABMultiValue::Entry &e : mv.entries()) {
        const QMetaType type = e.value.metaType();
        if (key == kABAddressProperty ? type != QMetaType::fromType<QVariantMap>()
            : key == kABOtherDatesProperty ? type != QMetaType::fromType<QDateTime>()
                                           : type != QMetaType::fromType<QString>())
            return false;
    }
    return true;
}

} // namespace

bool ABRecord::setValue(const QVariant &value, const QString &property)
{
    AddressBookPrivate *d = m_book->d.get();
    CardState *s = d->stateFor(this);
    if (!d->isLive(s))
        return false;
    if (!value.isValid())
        return removeValueForProperty(property);
    if (property == kABHomePageProperty) {
        // The home page is the first web address labelled as one.
        if (isGroup() || value.metaType() != QMetaType::fromType<QString>())
            return false;
        ABMultiValue urls = multiOf(s->values.value(kABURLsProperty));
        int at = -1;
        for (int i = 0; i < urls.count() && at < 0; ++i)
            if (urls.labelAt(i) == kABHomePageLabel)
                at = i;
        if (value.toString().isEmpty()) {
            if (at >= 0)
                urls.removeValueAtIndex(at);
        } else if (at >= 0) {
            urls.replaceValueAtIndex(at, value);
        } else {
            urls.addValue(value, kABHomePageLabel);
        }
        return setValue(urls.isEmpty() ? QVariant() : QVariant::fromValue(urls), kABURLsProperty);
    }
    const auto info = keyTable().constFind(property);
    if (info == keyTable().constEnd() || property.startsWith(u'\u0001')
        || !(isGroup() ? info->group : info->person))
        return false;
    QVariant v = value;
    switch (info->kind) {
    case Kind::Text:
        if (v.metaType() != QMetaType::fromType<QString>())
            return false;
        if (v.toString().isEmpty())
            return removeValueForProperty(property);
        break;
    case Kind::Date:
        if (v.metaType() == QMetaType::fromType<QDate>())
            v = QDateTime(v.toDate(), QTime(0, 0));
        if (v.metaType() != QMetaType::fromType<QDateTime>() || !v.toDateTime().isValid())
            return false;
        break;
    case Kind::Flags: {
        const int id = v.metaType().id();
        if (id != QMetaType::Int && id != QMetaType::UInt && id != QMetaType::LongLong
            && id != QMetaType::Long)
            return false;
        v = v.toInt();
        if (v.toInt() == 0)
            return removeValueForProperty(property);
        break;
    }
    case Kind::Multi:
        if (v.metaType() != QMetaType::fromType<ABMultiValue>() || !entriesFit(property, v.value<ABMultiValue>()))
            return false;
        if (v.value<ABMultiValue>().isEmpty())
            return removeValueForProperty(property);
        break;
    case Kind::Image:
    case Kind::Members:
        return false;
    }
    s->values.insert(property, v);
    d->unsaved = true;
    return true;
}

bool ABRecord::removeValueForProperty(const QString &property)
{
    AddressBookPrivate *d = m_book->d.get();
    CardState *s = d->stateFor(this);
    if (!d->isLive(s))
        return false;
    if (property == kABHomePageProperty)
        return setValue(QString(), property);
    const auto info = keyTable().constFind(property);
    if (info == keyTable().constEnd() || property.startsWith(u'\u0001')
        || !(isGroup() ? info->group : info->person))
        return false;
    s->values.remove(property);
    d->unsaved = true;
    return true;
}

QByteArray ABPerson::imageData() const
{
    const CardState *s = addressBook()->d->stateFor(this);
    return s ? s->values.value(kImageKey).toByteArray() : QByteArray();
}

bool ABPerson::setImageData(const QByteArray &data)
{
    AddressBookPrivate *d = addressBook()->d.get();
    CardState *s = d->stateFor(this);
    if (!d->isLive(s))
        return false;
    if (data.isEmpty())
        s->values.remove(kImageKey);
    else
        s->values.insert(kImageKey, data);
    d->unsaved = true;
    return true;
}

QList<ABGroup *> ABPerson::parentGroups() const
{
    const AddressBookPrivate *d = addressBook()->d.get();
    const CardState *self = d->stateFor(this);
    QList<ABGroup *> out;
    if (!d->isLive(self))
        return out;
    for (CardState *s : d->sortedCards())
        if (s->baseMap.group && s->values.value(kMembersKey).toStringList().contains(self->uid))
            out.append(static_cast<ABGroup *>(s->record.get()));
    return out;
}

QList<ABPerson *> ABGroup::members() const
{
    const AddressBookPrivate *d = addressBook()->d.get();
    const CardState *self = d->stateFor(this);
    QList<ABPerson *> out;
    if (!self)
        return out;
    for (const QString &uid : self->values.value(kMembersKey).toStringList()) {
        const CardState *s = d->byUid.value(uid);
        if (s && !s->baseMap.group)
            out.append(static_cast<ABPerson *>(s->record.get()));
    }
    return out;
}

bool ABGroup::addMember(ABPerson *person)
{
    AddressBookPrivate *d = addressBook()->d.get();
    CardState *self = d->stateFor(this);
    CardState *member = person ? d->stateFor(person) : nullptr;
    if (!d->isLive(self) || !d->isLive(member))
        return false;
    QStringList uids = self->values.value(kMembersKey).toStringList();
    if (uids.contains(member->uid))
        return true;
    uids.append(member->uid);
    self->values.insert(kMembersKey, uids);
    d->unsaved = true;
    return true;
}

bool ABGroup::removeMember(ABPerson *person)
{
    AddressBookPrivate *d = addressBook()->d.get();
    CardState *self = d->stateFor(this);
    CardState *member = person ? d->stateFor(person) : nullptr;
    if (!d->isLive(self) || !member)
        return false;
    QStringList uids = self->values.value(kMembersKey).toStringList();
    if (!uids.removeOne(member->uid))
        return false;
    if (uids.isEmpty())
        self->values.remove(kMembersKey);
    else
        self->values.insert(kMembersKey, uids);
    d->unsaved = true;
    return true;
}

// ---- AddressBook -----------------------------------------------------------------------------

QString AddressBook::defaultFolder()
{
    return sharedBook.defaultFolder();
}

void AddressBook::setDefaultFolder(const QString &folder)
{
    sharedBook.setDefaultFolder(folder);
}

AddressBook *AddressBook::sharedAddressBook()
{
    return sharedBook.instance(&AddressBook::resetSharedAddressBook);
}

std::unique_ptr<AddressBook> AddressBook::addressBook()
{
    return std::make_unique<AddressBook>(defaultFolder());
}

void AddressBook::resetSharedAddressBook()
{
    sharedBook.reset();
}

AddressBook::AddressBook(const QString &folder, bool watch, QObject *parent)
    : QObject(parent), d(std::make_unique<AddressBookPrivate>())
{
    d->q = this;
    d->folder = QDir::cleanPath(QDir(folder).absolutePath());
    if (!QDir().mkpath(d->folder))
        qCWarning(zemPlatform) << "AddressBook: cannot create" << d->folder;
    d->scan(false);
    if (watch)
        d->startWatching();
}

AddressBook::~AddressBook() = default;

QString AddressBook::folder() const
{
    return d->folder;
}

QStringList AddressBook::problems() const
{
    QStringList out;
    for (const SeenFile &f : std::as_const(d->seen))
        out.append(f.problems);
    return out;
}

ABRecord *AddressBook::recordForUniqueId(const QString &uniqueId) const
{
    const bool group = uniqueId.endsWith(kABGroupSuffix);
    if (!group && !uniqueId.endsWith(kABPersonSuffix))
        return nullptr;
    const QString uid = uniqueId.chopped(group ? kABGroupSuffix.size() : kABPersonSuffix.size());
    const CardState *s = d->byUid.value(uid);
    return s && s->baseMap.group == group ? s->record.get() : nullptr;
}

QList<ABPerson *> AddressBook::people() const
{
    QList<ABPerson *> out;
    for (CardState *s : d->sortedCards())
        if (!s->baseMap.group)
            out.append(static_cast<ABPerson *>(s->record.get()));
    return out;
}

QList<ABGroup *> AddressBook::groups() const
{
    QList<ABGroup *> out;
    for (CardState *s : d->sortedCards())
        if (s->baseMap.group)
            out.append(static_cast<ABGroup *>(s->record.get()));
    return out;
}

ABPerson *AddressBook::me() const
{
    const CardState *s = d->byUid.value(d->meUid);
    return s && !s->baseMap.group ? static_cast<ABPerson *>(s->record.get()) : nullptr;
}

bool AddressBook::setMe(ABPerson *person)
{
    QString uid;
    if (person) {
        const CardState *s = d->stateFor(person);
        if (!d->isLive(s))
            return false;
        uid = s->uid;
    }
    if (uid == d->meUid && !d->meDirty)
        return true;
    d->meUid = uid;
    d->meDirty = true;
    d->unsaved = true;
    return true;
}

namespace {

CardState *startCard(AddressBookPrivate *d, bool group)
{
    const QString uid = d->newUid();
    CardState *s = d->addCard(uid, fileNameForUid(uid, u".vcf"_s), group);
    VCardProperty uidLine;
    uidLine.name = u"UID"_s;
    uidLine.setText(uid);
    s->baseCard.properties.append(uidLine);
    if (group) {
        VCardProperty kind;
        kind.name = u"X-ADDRESSBOOKSERVER-KIND"_s;
        kind.rawValue = u"group"_s;
        s->baseCard.properties.append(kind);
    }
    s->baseMap = mapCard(s->baseCard, nullptr);
    d->unsaved = true;
    return s;
}

} // namespace

ABPerson *AddressBook::addPerson()
{
    return static_cast<ABPerson *>(startCard(d.get(), false)->record.get());
}

ABGroup *AddressBook::addGroup()
{
    return static_cast<ABGroup *>(startCard(d.get(), true)->record.get());
}

bool AddressBook::removeRecord(ABRecord *record)
{
    CardState *s = record ? d->stateFor(record) : nullptr;
    if (!d->isLive(s))
        return false;
    if (s->onDisk)
        d->toDelete.push_back(s);
    d->retire(s);
    d->unsaved = true;
    return true;
}

bool AddressBook::hasUnsavedChanges() const
{
    return d->unsaved;
}

ZEM_Result<void> AddressBook::save()
{
    return d->save();
}

void AddressBook::refresh()
{
    if (d->watcher)
        d->watcher->cancelPending();
    d->scan(true);
}

} // namespace platform
