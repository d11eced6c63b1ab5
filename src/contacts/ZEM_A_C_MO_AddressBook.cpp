#include "ZEM_A_C_MO_AddressBook.h"

#include "ZEM_A_ContactKeys.h"
#include "ZEM_A_E_ABEngine.h"
#include "ZEM_A_E_MO_AddressBook.h"
#include "foundation/ZEM_F_C_StoreGroup.h"
#include "platform/addressbook/AddressBook.h"
#include "platform/store/DataModel.h"
#include "platform/store/StoreContext.h"
#include "records/ZEM_A_E_ManagedObject.h"

ZEM_RECORD_CLASS(ZEM_A_C_MO_AddressBook)

using platform::PersistentObject;
namespace keys = ZEM_A_ContactKeys;

namespace {

const QString &kUid = keys::uid;
const QString &kNotes = keys::notes;
const QString &kImPersonStatus = keys::imPersonStatus;

ZEM_A_C_MO_AddressBook &contact(PersistentObject &object)
{
    return static_cast<ZEM_A_C_MO_AddressBook &>(object);
}

ZEM_A_E_MO_AddressBook *engine()
{
    return ZEM_A_E_MO_AddressBook::shared();
}

// The image the instant-messaging service shows for a status number.
QString statusImageName(int status)
{
    switch (status) {
    case 1: return QStringLiteral("NSStatusUnavailable");
    case 2: return QStringLiteral("NSStatusPartiallyAvailable");
    case 3: return QStringLiteral("NSStatusAway");
    case 4: return QStringLiteral("NSStatusAvailable");
    default: return QStringLiteral("NSStatusNone");
    }
}

const std::pair<const char *, const char *> kCountries[] = {
    {"ae", "United Arab Emirates"}, {"ar", "Argentina"}, {"at", "Austria"}, {"au", "Australia"},
    {"ba", "Bosnia and Herzegovina"}, {"be", "Belgium"}, {"bg", "Bulgaria"}, {"bh", "Bahrain"},
    {"br", "Brazil"}, {"ca", "Canada"}, {"ch", "Switzerland"}, {"cn", "China"}, {"cs", "Czech"},
    {"de", "Germany"}, {"dk", "Denmark"}, {"eg", "Egypt"}, {"es", "Spain"}, {"fi", "Finland"},
    {"fr", "France"}, {"gr", "Greece"}, {"gl", "Greenland"}, {"hk", "Hong Kong"}, {"hr", "Croatia"},
    {"hu", "Hungary"}, {"ie", "Ireland"}, {"il", "Israel"}, {"id", "Indonesia"}, {"in", "India"},
    {"is", "Iceland"}, {"it", "Italy"}, {"ja", "Japan"}, {"jo", "Jordan"}, {"kr", "South Korea"},
    {"kw", "Kuwait"}, {"lb", "Lebanon"}, {"lu", "Luxembourg"}, {"mk", "Macedonia"}, {"mx", "Mexico"},
    {"nl", "Netherlands"}, {"no", "Norway"}, {"nz", "New Zealand"}, {"om", "Oman"}, {"pl", "Poland"},
    {"pt", "Portugal"}, {"qa", "Qatar"}, {"ro", "Romania"}, {"ru", "Russian Federation"},
    {"sa", "Saudi Arabia"}, {"se", "Sweden"}, {"sg", "Singapore"}, {"si", "Slovenia"}, {"sk", "Slovakia"},
    {"sy", "Syrian Arab Republic"}, {"tw", "Taiwan"}, {"tr", "Turkey"}, {"ua", "Ukraine"},
    {"uk", "United Kingdom"}, {"us", "United States"}, {"ye", "Yemen"}, {"yu", "Serbia and Montenegro"},
    {"za", "South Africa"},
};

const std::pair<const char *, const QString &> kCalDates[] = {
    {"anniversaryCalDate", keys::anniversary}, {"birthdayCalDate", keys::birthday},
    {"creationCalDate", keys::creationDate}, {"modificationCalDate", keys::modificationDate},
};

} // namespace

ZEM_A_C_MO_AddressBook::ZEM_A_C_MO_AddressBook(QObject *parent) : ZEM_A_C_ManagedObject(parent) {}

ZEM_A_C_MO_AddressBook::~ZEM_A_C_MO_AddressBook() = default;

const QStringList &ZEM_A_C_MO_AddressBook::mirroredKeys()
{
    static const QStringList keys = [] {
        QStringList list = ZEM_A_E_ABEngine::addressBookKeys();
        list.removeOne(keys::uid);
        list.append(keys::phoneOther);
        return list;
    }();
    return keys;
}

void ZEM_A_C_MO_AddressBook::initialize()
{
    ZEM_A_C_ManagedObject::initialize();
    const QMetaObject &cls = staticMetaObject;
    using platform::RecordClass;
    const std::pair<QString, QString> both[] = {
        {keys::notes, QStringLiteral("notesString")},
        {keys::anniversary, QStringLiteral("anniversaryCalDate")},
        {keys::birthday, QStringLiteral("birthdayCalDate")},
        {keys::creationDate, QStringLiteral("creationCalDate")},
        {keys::modificationDate, QStringLiteral("modificationCalDate")},
        {keys::imPersonStatus, QStringLiteral("imPersonStatusImageData")},
        {QStringLiteral("contactImageData"), QStringLiteral("contactImage")},
        {QStringLiteral("imageForUid"), QStringLiteral("contactImage")},
    };
    for (const auto &[a, b] : both)
        setKeysBoth(cls, a, b);

    for (const QString &key : mirroredKeys()) {
        RecordClass::registerGetter(cls, key, [key](PersistentObject &o) { return contact(o).objectForKey(key); });
        RecordClass::registerSetter(cls, key, [key](PersistentObject &o, const QVariant &v) {
            contact(o).setValueABSupport(v, key);
        });
    }
    RecordClass::registerSetter(cls, kNotes, [](PersistentObject &o, const QVariant &v) { contact(o).setNotes(v); });
    RecordClass::registerSetter(cls, kUid, [](PersistentObject &o, const QVariant &v) { contact(o).setUid(v.toString()); });
    RecordClass::registerSetter(cls, kImPersonStatus,
                                [](PersistentObject &o, const QVariant &v) { contact(o).setImPersonStatus(v); });

    using Getter = RecordClass::Getter;
    const std::pair<const char *, Getter> derived[] = {
        {"displayName", [](PersistentObject &o) { return contact(o).displayName(); }},
        {"showByCompany", [](PersistentObject &o) { return QVariant(contact(o).showByCompany()); }},
        {"contactPersonCount", [](PersistentObject &o) { return QVariant(contact(o).contactPersonCount()); }},
        {"contactImageSort", [](PersistentObject &o) { return QVariant(contact(o).contactPersonCount()); }},
        {"contactImage", [](PersistentObject &o) { return QVariant(contact(o).contactImage()); }},
        {"contactImageData", [](PersistentObject &o) { return QVariant(contact(o).contactImageData()); }},
        {"imageForUid", [](PersistentObject &o) { return QVariant(contact(o).imageForUid()); }},
        {"contactPhoto", [](PersistentObject &o) { return QVariant(contact(o).contactPhoto()); }},
        {"imPersonStatusImage", [](PersistentObject &o) { return QVariant(contact(o).imPersonStatusImage()); }},
        {"imPersonStatusImageData", [](PersistentObject &o) { return QVariant(contact(o).imPersonStatusImageData()); }},
        {"contactImPersonStatusCount", [](PersistentObject &o) { return QVariant(contact(o).contactImPersonStatusCount()); }},
        {"imPersonStatusImageSort", [](PersistentObject &o) { return QVariant(contact(o).contactImPersonStatusCount()); }},
        {"notesString", [](PersistentObject &o) { return contact(o).notesString(); }},
        {"notesStringShort", [](PersistentObject &o) {
             return QVariant::fromValue(ZEM_A_E_ManagedObject::shared()->restrictAttributedStringLength(
                 contact(o).notesString().value<platform::AttributedString>(), 0));
         }},
        {"noteSearch", [](PersistentObject &o) {
             return QVariant(contact(o).notesString().value<platform::AttributedString>().string());
         }},
        {"primaryEmail", [](PersistentObject &o) { return contact(o).primaryEmail(); }},
        {"userMainAddressStreet", [](PersistentObject &o) { return contact(o).mainAddressValue(QStringLiteral("Street")); }},
        {"userMainAddressCity", [](PersistentObject &o) { return contact(o).mainAddressValue(QStringLiteral("City")); }},
        {"userMainAddressState", [](PersistentObject &o) { return contact(o).mainAddressValue(QStringLiteral("State")); }},
        {"userMainAddressZipCode", [](PersistentObject &o) { return contact(o).mainAddressValue(QStringLiteral("ZIP")); }},
        {"userMainAddressCountry", [](PersistentObject &o) { return contact(o).mainAddressValue(QStringLiteral("Country")); }},
        {"searchString", [](PersistentObject &o) { return QVariant(engine()->searchString(&contact(o))); }},
        {"userFullName", [](PersistentObject &o) { return QVariant(engine()->userFullName(&contact(o))); }},
        {"userFullAddress", [](PersistentObject &o) { return QVariant(engine()->userFullAddress(&contact(o))); }},
        {"userCallInfo", [](PersistentObject &o) { return QVariant(engine()->userCallInfo(&contact(o))); }},
    };
    for (const auto &[key, getter] : derived)
        RecordClass::registerGetter(cls, QString::fromLatin1(key), getter);
    const char *const kinds[] = {"Home", "Work", "Other"};
    for (int kind = 0; kind < 3; ++kind) {
        const QString suffix = QString::fromLatin1(kinds[kind]);
        RecordClass::registerGetter(cls, QStringLiteral("userFullAddress") + suffix, [kind](PersistentObject &o) {
            return QVariant(engine()->userFullAddressSupport(kind, &contact(o)));
        });
        RecordClass::registerGetter(cls, QStringLiteral("userCallInfo") + suffix, [kind](PersistentObject &o) {
            return QVariant(engine()->userCallInfoSupport(kind, &contact(o)));
        });
        RecordClass::registerGetter(cls, QStringLiteral("userFullNameAddress") + suffix, [kind](PersistentObject &o) {
            return QVariant(engine()->userFullNameAddressSupport(kind, &contact(o)));
        });
    }
    for (const auto &[calKey, dateKey] : kCalDates) {
        const QString date = dateKey;
        RecordClass::registerGetter(cls, QString::fromLatin1(calKey),
                                    [date](PersistentObject &o) { return QVariant(contact(o).calDate(date)); });
        RecordClass::registerSetter(cls, QString::fromLatin1(calKey), [date](PersistentObject &o, const QVariant &v) {
            contact(o).setCalDate(v.toDateTime(), date);
        });
    }
    RecordClass::registerSetter(cls, QStringLiteral("imageForUid"),
                                [](PersistentObject &o, const QVariant &v) { contact(o).setImageForUid(v.toByteArray()); });
    RecordClass::registerSetter(cls, QStringLiteral("notesString"),
                                [](PersistentObject &o, const QVariant &v) { contact(o).setNotesString(v); });
}

QString ZEM_A_C_MO_AddressBook::uid()
{
    return objectForKeySupport(kUid).toString();
}

void ZEM_A_C_MO_AddressBook::setUid(const QString &uid)
{
    setValueSupport(uid, kUid);
}

QVariant ZEM_A_C_MO_AddressBook::objectForKey(const QString &key)
{
    const QVariant stored = objectForKeySupport(key);
    if (stored.isValid() && !stored.isNull())
        return stored;
    const QVariant value = getAddressBookForKey(key, true);
    // Kept without notices: filling in is not a change anyone should react to.
    setPrimitiveValue(value, key);
    return value;
}

QVariant ZEM_A_C_MO_AddressBook::getAddressBookForKey(const QString &key, bool shared)
{
    if (const auto it = m_addressBookDict.constFind(key); it != m_addressBookDict.constEnd())
        return *it;
    const QVariant value = ZEM_A_E_ABEngine::shared()->valueForKey(key, uid(), shared);
    m_addressBookDict.insert(key, value);
    return value;
}

void ZEM_A_C_MO_AddressBook::setValueABSupport(const QVariant &value, const QString &key)
{
    setValueSupport(value, key);
    m_addressBookDict.insert(key, engine()->setValueABSupport(value, key, this));
}

void ZEM_A_C_MO_AddressBook::setNotes(const QVariant &notes)
{
    const bool empty = !notes.isValid() || notes.toString().isEmpty();
    setValueABSupport(empty ? QVariant() : notes, kNotes);
}

void ZEM_A_C_MO_AddressBook::setImPersonStatus(const QVariant &status)
{
    setPrimitiveValue(status, kImPersonStatus);
}

void ZEM_A_C_MO_AddressBook::releaseAddressBookDict()
{
    QStringList keys;
    const platform::StoreContext *context = managedObjectContext();
    const platform::EntityDescription *entity =
        context && context->model() ? context->model()->entity(entityName()) : nullptr;
    if (entity) {
        for (const auto &attribute : entity->attributes)
            keys.append(attribute.name);
    } else {
        keys = mirroredKeys();
    }
    keys.removeAll(kUid);
    QStringList cached;
    for (const QString &key : std::as_const(keys)) {
        if (m_addressBookDict.contains(key))
            cached.append(key);
    }
    if (cached.isEmpty())
        return;
    // One fresh read of the person for all fields, rather than one per field.
    const QVariantMap fresh = ZEM_A_E_ABEngine::shared()->getValuesUidDict(uid(), cached, false);
    for (const QString &key : std::as_const(cached)) {
        const QVariant now = fresh.value(key);
        const QVariant was = m_addressBookDict.value(key);
        if (now.isValid() == was.isValid() && now.toString() == was.toString())
            continue;
        const QVariant value = now.isValid() ? now : QVariant(QStringLiteral(""));
        setValueSupport(value, key);
        m_addressBookDict.insert(key, value);
    }
}

// ---- Derived values --------------------------------------------------------------------

int ZEM_A_C_MO_AddressBook::personFlags()
{
    return ZEM_A_E_ABEngine::shared()->valueForKey(platform::kABPersonFlags, uid(), true).toInt();
}

QVariant ZEM_A_C_MO_AddressBook::displayName()
{
    const QString first = valueForKey(keys::firstName).toString();
    const QString last = valueForKey(keys::lastName).toString();
    const QString middle = valueForKey(keys::middleName).toString();
    const QString company = valueForKey(keys::companyName).toString();
    const int flags = personFlags();
    if ((flags & platform::kABShowAsMask) == platform::kABShowAsCompany && !company.isEmpty())
        return company;
    if (!first.isEmpty() && !last.isEmpty()) {
        if ((flags & platform::kABNameOrderingMask) == platform::kABLastNameFirst)
            return QStringLiteral("%1 %2%3").arg(last, first, middle.isEmpty() ? QString() : u' ' + middle);
        return first + (middle.isEmpty() ? QStringLiteral(" ") : u' ' + middle + u' ') + last;
    }
    if (!first.isEmpty() || !last.isEmpty())
        return last.isEmpty() ? first : last;
    return company.isEmpty() ? QVariant() : QVariant(company);
}

bool ZEM_A_C_MO_AddressBook::showByCompany()
{
    return (personFlags() & platform::kABShowAsMask) == platform::kABShowAsCompany
        && !valueForKey(keys::companyName).toString().isEmpty();
}

int ZEM_A_C_MO_AddressBook::contactPersonCount()
{
    return showByCompany() ? 0 : 1;
}

QImage ZEM_A_C_MO_AddressBook::contactImage()
{
    const platform::ABPerson *me = platform::AddressBook::sharedAddressBook()->me();
    const QString id = uid();
    QString name;
    if (me && !id.isEmpty() && me->uniqueId() == id)
        name = QStringLiteral("NSUser");
    else
        name = showByCompany() ? QStringLiteral("OVCompany") : QStringLiteral("OVPerson");
    return ZEM_F_C_StoreGroup::shared()->imageForKey(name);
}

QByteArray ZEM_A_C_MO_AddressBook::contactImageData()
{
    return ZEM_A_E_MO_AddressBook::tiffData(contactImage());
}

QByteArray ZEM_A_C_MO_AddressBook::imageForUid()
{
    return engine()->imageForUid(this);
}

void ZEM_A_C_MO_AddressBook::setImageForUid(const QByteArray &data)
{
    engine()->setImageForUid(data, this);
}

QImage ZEM_A_C_MO_AddressBook::contactPhoto()
{
    return engine()->contactPhoto(this);
}

QImage ZEM_A_C_MO_AddressBook::imPersonStatusImage()
{
    const QVariant status = primitiveValueForKey(kImPersonStatus);
    if (!status.isValid() || status.isNull())
        return {};
    return ZEM_F_C_StoreGroup::shared()->imageForKey(statusImageName(status.toInt()));
}

QByteArray ZEM_A_C_MO_AddressBook::imPersonStatusImageData()
{
    return ZEM_A_E_MO_AddressBook::tiffData(imPersonStatusImage());
}

int ZEM_A_C_MO_AddressBook::contactImPersonStatusCount()
{
    return primitiveValueForKey(kImPersonStatus).toInt() > 1 ? 1 : 0;
}

QDateTime ZEM_A_C_MO_AddressBook::calDate(const QString &dateKey)
{
    return ZEM_A_E_ABEngine::parseDateString(valueForKey(dateKey).toString());
}

void ZEM_A_C_MO_AddressBook::setCalDate(const QDateTime &date, const QString &dateKey)
{
    setValueForKey(ZEM_A_E_ABEngine::dateString(date), dateKey);
}

QVariant ZEM_A_C_MO_AddressBook::notesString()
{
    return QVariant::fromValue(ZEM_A_E_ManagedObject::shared()->getAttributedString(valueForKey(kNotes).toString()));
}

void ZEM_A_C_MO_AddressBook::setNotesString(const QVariant &text)
{
    const QString plain = text.canConvert<platform::AttributedString>()
        ? text.value<platform::AttributedString>().string()
        : text.toString();
    setNotes(plain);
}

QVariant ZEM_A_C_MO_AddressBook::primaryEmail()
{
    const ZEM_A_E_ABEngine::PersonRef person = ZEM_A_E_ABEngine::shared()->getPersonShared(uid());
    if (!person)
        return {};
    const auto emails = person->valueForProperty(platform::kABEmailProperty).value<platform::ABMultiValue>();
    const QString primary = emails.primaryIdentifier();
    return primary.isEmpty() ? QVariant() : emails.valueForIdentifier(primary);
}

QVariant ZEM_A_C_MO_AddressBook::mainAddressValue(const QString &part)
{
    const ZEM_A_E_ABEngine::PersonRef person = ZEM_A_E_ABEngine::shared()->getPersonShared(uid());
    if (!person)
        return {};
    const auto addresses = person->valueForProperty(platform::kABAddressProperty).value<platform::ABMultiValue>();
    const QString primary = addresses.primaryIdentifier();
    if (primary.isEmpty())
        return {};
    const QString value = addresses.valueForIdentifier(primary).toMap().value(part).toString();
    return value.isEmpty() ? QVariant() : QVariant(value);
}

const QHash<QString, QString> &ZEM_A_C_MO_AddressBook::countryDict()
{
    if (m_countryDict.isEmpty()) {
        // Names are the keys: as stored, a name gives its code and a code gives nothing.
        for (const auto &[code, name] : kCountries)
            m_countryDict.insert(QString::fromLatin1(name), QString::fromLatin1(code));
    }
    return m_countryDict;
}

QVariant ZEM_A_C_MO_AddressBook::countryForCoutryCode(const QVariant &key)
{
    if (!key.isValid() || key.isNull())
        return {};
    const auto it = countryDict().constFind(key.toString());
    return it == countryDict().constEnd() ? QVariant() : QVariant(*it);
}

QString ZEM_A_C_MO_AddressBook::saveNotesName() const
{
    return QStringLiteral("Address Book");
}
