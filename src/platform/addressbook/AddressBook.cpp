// The address book's records and public calls. The folder is read, watched, merged and
// saved in detail/AddressBookFolder.cpp; how a card maps to a person's values is in
// detail/CardMapping.cpp and detail/CardWriter.cpp.
#include "platform/addressbook/AddressBook.h"

#include "platform/addressbook/detail/AddressBookPrivate.h"
#include "platform/detail/SharedStore.h"

#include "platform/PlatformLog.h"

using namespace Qt::StringLiterals;

namespace platform {

using namespace detail::card;
using platform::detail::fileNameForUid;

namespace {

detail::SharedStore<AddressBook> sharedBook(u"/contacts/default"_s);

} // namespace

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

void ABRecord::forEachValue(const std::function<void(const QString &, const QVariant &)> &visit) const
{
    const CardState *s = m_book->d->stateFor(this);
    if (!s)
        return;
    s->values.forEach(visit, u'\u0001'); // not the book's own values (photo, members)
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
    s->values.edit().insert(property, v);
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
    s->values.edit().remove(property);
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
        s->values.edit().remove(kImageKey);
    else
        s->values.edit().insert(kImageKey, data);
    d->unsaved = true;
    return true;
}

QList<ABGroup *> ABPerson::parentGroups() const
{
    AddressBookPrivate *d = addressBook()->d.get();
    d->load();
    const CardState *self = d->stateFor(this);
    QList<ABGroup *> out;
    if (!d->isLive(self))
        return out;
    for (CardState *s : d->sortedCards())
        if (s->group && s->values.value(kMembersKey).toStringList().contains(self->uid))
            out.append(static_cast<ABGroup *>(s->record.get()));
    return out;
}

QList<ABPerson *> ABGroup::members() const
{
    AddressBookPrivate *d = addressBook()->d.get();
    d->load();
    const CardState *self = d->stateFor(this);
    QList<ABPerson *> out;
    if (!self)
        return out;
    for (const QString &uid : self->values.value(kMembersKey).toStringList()) {
        const CardState *s = d->byUid.value(uid);
        if (s && !s->group)
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
    self->values.edit().insert(kMembersKey, uids);
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
        self->values.edit().remove(kMembersKey);
    else
        self->values.edit().insert(kMembersKey, uids);
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
    detail::settleLocalZone();
    d->q = this;
    d->folder = QDir::cleanPath(QDir(folder).absolutePath());
    if (!QDir().mkpath(d->folder))
        qCWarning(zemPlatform) << "AddressBook: cannot create" << d->folder;
    // A book that watches needs the whole folder now to tell what changes; one that does
    // not reads it when first asked for more than a card by its UID.
    if (watch) {
        d->scan(false);
        d->startWatching();
    }
}

AddressBook::~AddressBook() = default;

QString AddressBook::folder() const
{
    return d->folder;
}

QStringList AddressBook::problems() const
{
    d->load();
    QStringList out;
    for (const SeenFile &f : std::as_const(d->seen))
        out.append(f.problems);
    return out + d->meProblems;
}

ABRecord *AddressBook::recordForUniqueId(const QString &uniqueId) const
{
    const bool group = uniqueId.endsWith(kABGroupSuffix);
    if (!group && !uniqueId.endsWith(kABPersonSuffix))
        return nullptr;
    const QString uid = uniqueId.chopped(group ? kABGroupSuffix.size() : kABPersonSuffix.size());
    const CardState *s = d->byUid.value(uid);
    if (!s && !d->loaded) {
        // The file named for the UID, where sync tools put it; the folder only when not there.
        s = d->readAlone(uid);
        if (!s) {
            d->load();
            s = d->byUid.value(uid);
        }
    }
    return s && s->group == group ? s->record.get() : nullptr;
}

QList<ABPerson *> AddressBook::people() const
{
    d->load();
    QList<ABPerson *> out;
    for (CardState *s : d->sortedCards())
        if (!s->group)
            out.append(static_cast<ABPerson *>(s->record.get()));
    return out;
}

QList<ABGroup *> AddressBook::groups() const
{
    d->load();
    QList<ABGroup *> out;
    for (CardState *s : d->sortedCards())
        if (s->group)
            out.append(static_cast<ABGroup *>(s->record.get()));
    return out;
}

ABPerson *AddressBook::me() const
{
    d->load();
    const CardState *s = d->byUid.value(d->meUid);
    return s && !s->group ? static_cast<ABPerson *>(s->record.get()) : nullptr;
}

bool AddressBook::setMe(ABPerson *person)
{
    d->load();
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
    auto card = std::make_shared<VCard>();
    VCardProperty uidLine;
    uidLine.name = u"UID"_s;
    uidLine.setText(uid);
    card->properties.append(uidLine);
    if (group) {
        VCardProperty kind;
        kind.name = u"X-ADDRESSBOOKSERVER-KIND"_s;
        kind.rawValue = u"group"_s;
        card->properties.append(kind);
    }
    s->baseValues = CardValues(mapCard(*card, nullptr).values);
    s->draft = std::move(card);
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
    d->load();
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
    d->load();
    return d->save();
}

void AddressBook::refresh()
{
    if (d->watcher)
        d->watcher->cancelPending();
    d->scan(true);
}

} // namespace platform
