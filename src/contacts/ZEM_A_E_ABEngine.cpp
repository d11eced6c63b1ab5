#include "ZEM_A_E_ABEngine.h"
#include "contacts/detail/ABPersonFields.h"
#include "contacts/detail/LocalWallTime.h"

#include "ContactsLog.h"
#include "ZEM_A_ContactKeys.h"
#include "foundation/ZEM_F_ClassRegistry.h"
#include "foundation/ZEM_F_E_Language.h"
#include "foundation/ZEM_F_Format.h"
#include "foundation/ZEM_F_HostDelegate.h"

#include <QRegularExpression>

#include <QTimeZone>

#include <algorithm>
#include <map>
#include <optional>
#include <vector>

using namespace platform;
namespace keys = ZEM_A_ContactKeys;
using namespace contacts_detail;

namespace {

[[maybe_unused]] const bool registered = ZEM_F_ClassRegistry::registerShared(
    QStringLiteral("ZEM_A_E_ABEngine"), [] { return static_cast<QObject *>(ZEM_A_E_ABEngine::shared()); });

const QString kBadDictionary = QStringLiteral("SetBookValue failed beacuse of bad dictionary");
const QString kKeySeparator = QStringLiteral(":~:");
// The name of a group record; not a field of the contact record.
const QString kGroupNameKey = QStringLiteral("groupName");

enum MapId {
    StringMap, DateMap, EmailMap, PhoneMap, UrlMap, RelatedMap, AimMap, IcqMap, JabberMap, MsnMap,
    YahooMap, OtherDatesMap, AddressHomeMap, AddressWorkMap, AddressOtherMap, MultiMap,
    MultiDateMap, AddressMap,
};

using Pairs = std::initializer_list<std::pair<const QString &, const QString &>>;

ZEM_A_E_ABEngine::Map makeMap(Pairs pairs)
{
    ZEM_A_E_ABEngine::Map map;
    for (const auto &[key, value] : pairs)
        map.insert(key, value);
    return map;
}

// An instant-messaging service's keys for its home, work and other entries.
ZEM_A_E_ABEngine::Map instantMap(const QString (&ids)[3], const QString &home, const QString &work)
{
    return makeMap({{ids[0], home}, {ids[1], work}, {ids[2], kABOtherLabel}});
}

// An address kind's keys for street, city, state, ZIP, country and country code.
ZEM_A_E_ABEngine::Map addressMap(const QString (&ids)[6])
{
    return makeMap({{ids[0], kABAddressStreetKey}, {ids[1], kABAddressCityKey}, {ids[2], kABAddressStateKey},
                    {ids[3], kABAddressZIPKey}, {ids[4], kABAddressCountryKey},
                    {ids[5], kABAddressCountryCodeKey}});
}

QString orNil(const QString &text)
{
    return text.isNull() ? QStringLiteral("nil") : text;
}

QString appNameLocalized()
{
    ZEM_F_HostDelegate *host = ZEM_F_Host::delegate();
    return host ? host->getAppNameLocalized() : QString();
}

QString message(const char *key, const QStringList &arguments)
{
    return ZEM_F_Format::fill(ZEM_F_E_Language::shared()->stringForKey(QString::fromLatin1(key)), arguments);
}

// A request entry as a string; a null QString when it is missing.
QString entry(const QVariantMap &request, const QString &name)
{
    const QVariant value = request.value(name);
    if (!value.isValid() || value.isNull())
        return {};
    QString text = value.toString();
    if (text.isNull())
        text = QStringLiteral(""); // present but empty stays present
    return text;
}

ABMultiValue multiValue(const ABPerson *person, const QString &property)
{
    return person ? person->valueForProperty(property).value<ABMultiValue>() : ABMultiValue();
}

} // namespace

ZEM_A_E_ABEngine::ZEM_A_E_ABEngine(QObject *parent) : ZEM_F_B_Securitry(parent) {}

ZEM_A_E_ABEngine::~ZEM_A_E_ABEngine() = default;

ZEM_A_E_ABEngine *ZEM_A_E_ABEngine::shared()
{
    static auto *instance = new ZEM_A_E_ABEngine;
    return instance;
}

const ZEM_A_E_ABEngine::Map &ZEM_A_E_ABEngine::lazyMap(int which)
{
    if (m_maps.at(which))
        return *m_maps.at(which);
    Map map;
    switch (which) {
    case StringMap:
        map = makeMap({{keys::companyName, kABOrganizationProperty}, {keys::firstName, kABFirstNameProperty},
                       {keys::firstNamePhonetic, kABFirstNamePhoneticProperty}, {keys::jobTitle, kABJobTitleProperty},
                       {keys::lastName, kABLastNameProperty}, {keys::lastNamePhonetic, kABLastNamePhoneticProperty},
                       {keys::notes, kABNoteProperty}, {keys::middleName, kABMiddleNameProperty},
                       {keys::middleNamePhonetic, kABMiddleNamePhoneticProperty}, {keys::title, kABDepartmentProperty},
                       {keys::suffix, kABSuffixProperty}, {keys::nickname, kABNicknameProperty},
                       {keys::maidenName, kABMaidenNameProperty}, {kGroupNameKey, kABGroupNameProperty}});
        break;
    case DateMap:
        map = makeMap({{keys::birthday, kABBirthdayProperty}, {keys::creationDate, kABCreationDateProperty},
                       {keys::modificationDate, kABModificationDateProperty}});
        break;
    case EmailMap:
        map = makeMap({{keys::homeEmail, kABEmailHomeLabel}, {keys::workEmail, kABEmailWorkLabel},
                       {keys::otherEmail, kABOtherLabel}});
        break;
    case PhoneMap:
        map = makeMap({{keys::phoneHome, kABPhoneHomeLabel}, {keys::phoneHomeFax, kABPhoneHomeFAXLabel},
                       {keys::phoneMain, kABPhoneMainLabel}, {keys::phoneMobile, kABPhoneMobileLabel},
                       {keys::phonePager, kABPhonePagerLabel}, {keys::phoneWork, kABPhoneWorkLabel},
                       {keys::phoneWorkFax, kABPhoneWorkFAXLabel}, {keys::phoneOther, kABOtherLabel}});
        break;
    case UrlMap:
        map = makeMap({{keys::mainPage, kABHomePageLabel}, {keys::homePage, kABHomeLabel},
                       {keys::workPage, kABWorkLabel}, {keys::otherPage, kABOtherLabel}});
        break;
    case RelatedMap:
        map = makeMap({{keys::relationshipAssistant, kABAssistantLabel}, {keys::relationshipBrother, kABBrotherLabel},
                       {keys::relationshipChild, kABChildLabel}, {keys::relationshipFather, kABFatherLabel},
                       {keys::relationshipFriend, kABFriendLabel}, {keys::relationshipManager, kABManagerLabel},
                       {keys::relationshipMother, kABMotherLabel}, {keys::relationshipParent, kABParentLabel},
                       {keys::relationshipPartner, kABPartnerLabel}, {keys::relationshipSister, kABSisterLabel},
                       {keys::relationshipSpouse, kABSpouseLabel}});
        break;
    case AimMap:
        map = instantMap({keys::aimInstantHome, keys::aimInstantWork, keys::aimInstantOther}, kABAIMHomeLabel,
                         kABAIMWorkLabel);
        break;
    case IcqMap:
        map = instantMap({keys::icqInstantHome, keys::icqInstantWork, keys::icqInstantOther}, kABICQHomeLabel,
                         kABICQWorkLabel);
        break;
    case JabberMap:
        map = instantMap({keys::jabberInstantHome, keys::jabberInstantWork, keys::jabberInstantOther},
                         kABJabberHomeLabel, kABJabberWorkLabel);
        break;
    case MsnMap:
        map = instantMap({keys::msnInstantHome, keys::msnInstantWork, keys::msnInstantOther}, kABMSNHomeLabel,
                         kABMSNWorkLabel);
        break;
    case YahooMap:
        map = instantMap({keys::yahooInstantHome, keys::yahooInstantWork, keys::yahooInstantOther},
                         kABYahooHomeLabel, kABYahooWorkLabel);
        break;
    case OtherDatesMap: map = makeMap({{keys::anniversary, kABAnniversaryLabel}}); break;
    case AddressHomeMap:
        map = addressMap({keys::homeAddressStreet, keys::homeAddressCity, keys::homeAddressState,
                          keys::homeAddressZip, keys::homeAddressCountry, keys::homeAddressCountryCode});
        break;
    case AddressWorkMap:
        map = addressMap({keys::workAddressStreet, keys::workAddressCity, keys::workAddressState,
                          keys::workAddressZip, keys::workAddressCountry, keys::workAddressCountryCode});
        break;
    case AddressOtherMap:
        map = addressMap({keys::otherAddressStreet, keys::otherAddressCity, keys::otherAddressState,
                          keys::otherAddressZip, keys::otherAddressCountry, keys::otherAddressCountryCode});
        break;
    case MultiMap:
        for (int part : {EmailMap, PhoneMap, UrlMap, RelatedMap, AimMap, IcqMap, JabberMap, MsnMap, YahooMap})
            map.insert(lazyMap(part));
        break;
    case MultiDateMap: map = lazyMap(OtherDatesMap); break;
    case AddressMap:
        for (int part : {AddressHomeMap, AddressWorkMap, AddressOtherMap})
            map.insert(lazyMap(part));
        break;
    }
    m_maps.at(which) = std::make_unique<const Map>(std::move(map));
    return *m_maps.at(which);
}

const ZEM_A_E_ABEngine::Map &ZEM_A_E_ABEngine::stringDictionary() { return lazyMap(StringMap); }
const ZEM_A_E_ABEngine::Map &ZEM_A_E_ABEngine::dateDictionary() { return lazyMap(DateMap); }
const ZEM_A_E_ABEngine::Map &ZEM_A_E_ABEngine::emailDictionary() { return lazyMap(EmailMap); }
const ZEM_A_E_ABEngine::Map &ZEM_A_E_ABEngine::phoneDictionary() { return lazyMap(PhoneMap); }
const ZEM_A_E_ABEngine::Map &ZEM_A_E_ABEngine::urlDictionary() { return lazyMap(UrlMap); }
const ZEM_A_E_ABEngine::Map &ZEM_A_E_ABEngine::relatedNamesDictionary() { return lazyMap(RelatedMap); }
const ZEM_A_E_ABEngine::Map &ZEM_A_E_ABEngine::aimDictionary() { return lazyMap(AimMap); }
const ZEM_A_E_ABEngine::Map &ZEM_A_E_ABEngine::icqDictionary() { return lazyMap(IcqMap); }
const ZEM_A_E_ABEngine::Map &ZEM_A_E_ABEngine::jabberDictionary() { return lazyMap(JabberMap); }
const ZEM_A_E_ABEngine::Map &ZEM_A_E_ABEngine::msnDictionary() { return lazyMap(MsnMap); }
const ZEM_A_E_ABEngine::Map &ZEM_A_E_ABEngine::yahooDictionary() { return lazyMap(YahooMap); }
const ZEM_A_E_ABEngine::Map &ZEM_A_E_ABEngine::otherDatesDictionary() { return lazyMap(OtherDatesMap); }
const ZEM_A_E_ABEngine::Map &ZEM_A_E_ABEngine::addressHomeDictionary() { return lazyMap(AddressHomeMap); }
const ZEM_A_E_ABEngine::Map &ZEM_A_E_ABEngine::addressWorkDictionary() { return lazyMap(AddressWorkMap); }
const ZEM_A_E_ABEngine::Map &ZEM_A_E_ABEngine::addressOtherDictionary() { return lazyMap(AddressOtherMap); }
const ZEM_A_E_ABEngine::Map &ZEM_A_E_ABEngine::multiDictionary() { return lazyMap(MultiMap); }
const ZEM_A_E_ABEngine::Map &ZEM_A_E_ABEngine::multiDateDictionary() { return lazyMap(MultiDateMap); }
const ZEM_A_E_ABEngine::Map &ZEM_A_E_ABEngine::addressDictionary() { return lazyMap(AddressMap); }

bool ZEM_A_E_ABEngine::checkStringValue(const QString &key) { return stringDictionary().contains(key); }
bool ZEM_A_E_ABEngine::checkDateValue(const QString &key) { return dateDictionary().contains(key); }
bool ZEM_A_E_ABEngine::checkMultiValue(const QString &key) { return multiDictionary().contains(key); }
bool ZEM_A_E_ABEngine::checkMultiDateValue(const QString &key) { return multiDateDictionary().contains(key); }
bool ZEM_A_E_ABEngine::checkAddressValue(const QString &key) { return addressDictionary().contains(key); }
QString ZEM_A_E_ABEngine::convertStringValue(const QString &key) { return stringDictionary().value(key); }
QString ZEM_A_E_ABEngine::convertDateValue(const QString &key) { return dateDictionary().value(key); }
QString ZEM_A_E_ABEngine::convertMultiValue(const QString &key) { return multiDictionary().value(key); }
QString ZEM_A_E_ABEngine::convertMultiDateValue(const QString &key) { return multiDateDictionary().value(key); }
QString ZEM_A_E_ABEngine::convertAddressValue(const QString &key) { return addressDictionary().value(key); }

QString ZEM_A_E_ABEngine::getMultValueLabel(const QString &key)
{
    const std::pair<int, const QString &> order[] = {
        {EmailMap, kABEmailProperty},           {PhoneMap, kABPhoneProperty},
        {UrlMap, kABURLsProperty},              {RelatedMap, kABRelatedNamesProperty},
        {AimMap, kABAIMInstantProperty},        {IcqMap, kABICQInstantProperty},
        {JabberMap, kABJabberInstantProperty},  {MsnMap, kABMSNInstantProperty},
        {YahooMap, kABYahooInstantProperty},
    };
    for (const auto &[map, property] : order) {
        if (lazyMap(map).contains(key))
            return property;
    }
    if (key == u"PhoneOther")
        return kABPhoneProperty;
    return {};
}

QString ZEM_A_E_ABEngine::getMultValueDateLabel(const QString &key)
{
    return otherDatesDictionary().contains(key) ? kABOtherDatesProperty : QString();
}

QString ZEM_A_E_ABEngine::getAddressType(const QString &key)
{
    if (addressHomeDictionary().contains(key))
        return kABHomeLabel;
    if (addressWorkDictionary().contains(key))
        return kABWorkLabel;
    if (addressOtherDictionary().contains(key))
        return kABOtherLabel;
    return {};
}

// ---- People ----------------------------------------------------------------------------

ZEM_A_E_ABEngine::PersonRef ZEM_A_E_ABEngine::getPersonShared(const QString &uid)
{
    if (uid.isEmpty())
        return {};
    auto *person = dynamic_cast<ABPerson *>(AddressBook::sharedAddressBook()->recordForUniqueId(uid));
    // The shared book lives for the process: the reference owns nothing.
    return person ? PersonRef(std::shared_ptr<void>(), person) : PersonRef();
}

ZEM_A_E_ABEngine::PersonRef ZEM_A_E_ABEngine::getPerson(const QString &uid)
{
    if (uid.isEmpty())
        return {};
    std::shared_ptr<AddressBook> book = AddressBook::addressBook();
    auto *person = book ? dynamic_cast<ABPerson *>(book->recordForUniqueId(uid)) : nullptr;
    // The person keeps its freshly opened book alive for as long as it is held.
    return person ? PersonRef(book, person) : PersonRef();
}

bool ZEM_A_E_ABEngine::hasUnsavedChanges()
{
    return AddressBook::sharedAddressBook()->hasUnsavedChanges();
}

QStringList ZEM_A_E_ABEngine::getAllServerRecords()
{
    QStringList ids;
    for (const ABPerson *person : AddressBook::sharedAddressBook()->people())
        ids.append(person->uniqueId());
    return ids;
}

QStringList ZEM_A_E_ABEngine::getAllGroupRecords()
{
    QStringList ids;
    for (const ABGroup *group : AddressBook::sharedAddressBook()->groups())
        ids.append(group->uniqueId());
    return ids;
}

// ---- Reading ---------------------------------------------------------------------------

QString ZEM_A_E_ABEngine::dateString(const QDateTime &date)
{
    if (!date.isValid())
        return {};
    // By hand: a contact list formats thousands of dates, and a format string is parsed each time.
    const auto format = [](int year, int month, int day, int hour, int minute, int second, int offset) {
        char text[32];
        char *end = text;
        const auto digits = [&end](int value, int count, char after) {
            for (int i = count - 1; i >= 0; --i, value /= 10)
                end[i] = char('0' + value % 10);
            end += count;
            if (after)
                *end++ = after;
        };
        const int minutes = qAbs(offset) / 60;
        digits(year, 4, '-');
        digits(month, 2, '-');
        digits(day, 2, ' ');
        digits(hour, 2, ':');
        digits(minute, 2, ':');
        digits(second, 2, ' ');
        *end++ = offset < 0 ? '-' : '+';
        digits(minutes / 60, 2, 0);
        digits(minutes % 60, 2, 0);
        return QString::fromLatin1(text, end - text);
    };
    if (const std::optional<WallTime> w = localWallTime(date))
        return format(w->year, w->month, w->day, w->hour, w->minute, w->second, w->offset);
    const QDateTime local = date.toLocalTime();
    const int offset = local.offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    const QDate day = local.date();
    const QTime clock = local.time();
    if (day.year() < 1 || day.year() > 9999) {
        return local.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) + (offset < 0 ? u'-' : u'+')
            + QStringLiteral("%1%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0'));
    }
    return format(day.year(), day.month(), day.day(), clock.hour(), clock.minute(), clock.second(), offset);
}

QDateTime ZEM_A_E_ABEngine::parseDateString(const QString &text)
{
    static const QRegularExpression form(
        QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2}) (\\d{2}):(\\d{2}):(\\d{2}) ([+-])(\\d{2})(\\d{2})$"));
    const QRegularExpressionMatch m = form.match(text.trimmed());
    if (!m.hasMatch())
        return {};
    const auto n = [&m](int i) { return m.captured(i).toInt(); };
    const QDate date(n(1), n(2), n(3));
    const QTime time(n(4), n(5), n(6));
    const int offset = (n(8) * 60 + n(9)) * 60 * (m.captured(7) == u"-" ? -1 : 1);
    if (!date.isValid() || !time.isValid() || n(9) > 59)
        return {};
    return QDateTime(date, time, Qt::OffsetFromUTC, offset);
}

QVariant ZEM_A_E_ABEngine::valueForKey(const QString &key, const QString &uid, bool shared)
{
    const PersonRef person = shared ? getPersonShared(uid) : getPerson(uid);
    return getValueForKey(key, person.get(), uid);
}

QVariant ZEM_A_E_ABEngine::getValueForKey(const QString &key, ABPerson *person, const QString &uid)
{
    const FieldTable &table = fieldTable(this);
    const auto field = table.fields.constFind(key);
    if (field == table.fields.cend())
        return QStringLiteral("");
    return PersonFields(person, table).read(*field, uid);
}

QVariantMap ZEM_A_E_ABEngine::getAllValuesUid(const QString &uid, bool shared)
{
    return getValuesUidDict(uid, addressBookKeys(), shared);
}

QVariantMap ZEM_A_E_ABEngine::abAllValuesSharedForUid(const QString &uid) { return getAllValuesUid(uid, true); }
QVariantMap ZEM_A_E_ABEngine::abAllValuesForUid(const QString &uid) { return getAllValuesUid(uid, false); }

QVariantMap ZEM_A_E_ABEngine::getPickerValuesUid(const QString &uid)
{
    return getValuesUidDict(uid, getAddressBookPickerKeys().split(kKeySeparator), true);
}

QVariantMap ZEM_A_E_ABEngine::getValuesUidDict(const QString &uid, const QStringList &keys, bool shared)
{
    const PersonRef person = shared ? getPersonShared(uid) : getPerson(uid);
    const FieldTable &table = fieldTable(this);
    const ResolvedKeys &resolved = resolveKeys(table, keys);
    const PersonFields fields(person.get(), table);
    // A copy of the keys' map, filled in its order; a QMap adopts it whole.
    std::map<QString, QVariant> values = resolved.shape;
    auto field = resolved.fields.cbegin();
    for (auto &entry : values)
        entry.second = fields.read(**field++, uid);
    return QVariantMap(std::move(values));
}

QVariant ZEM_A_E_ABEngine::getRecordValue(ABPerson *person, const QString &key)
{
    return person ? person->valueForProperty(convertStringValue(key)) : QVariant();
}

QVariant ZEM_A_E_ABEngine::getRecordDateValue(ABPerson *person, const QString &key)
{
    return person ? person->valueForProperty(convertDateValue(key)) : QVariant();
}

QVariant ZEM_A_E_ABEngine::getRecordMultiValue(ABPerson *person, const QString &key)
{
    return person ? getLabel(convertMultiValue(key), getMultValueLabel(key), person) : QVariant();
}

QVariant ZEM_A_E_ABEngine::getRecordMultiDateValue(ABPerson *person, const QString &key)
{
    return person ? getDateLabel(convertMultiDateValue(key), getMultValueDateLabel(key), person) : QVariant();
}

QVariant ZEM_A_E_ABEngine::getRecordAddressValue(ABPerson *person, const QString &key)
{
    return person ? getAddressLabel(convertAddressValue(key), person, getAddressType(key)) : QVariant();
}

QVariant ZEM_A_E_ABEngine::getLabel(const QString &label, const QString &property, ABPerson *person)
{
    const ABMultiValue multi = multiValue(person, property);
    int index = -1;
    return findFirstMatch(multi, label, &index) ? multi.valueAt(index) : QVariant();
}

QVariant ZEM_A_E_ABEngine::getDateLabel(const QString &label, const QString &property, ABPerson *person)
{
    return getLabel(label, property, person);
}

QVariant ZEM_A_E_ABEngine::getAddressLabel(const QString &part, ABPerson *person, const QString &type)
{
    const ABMultiValue multi = multiValue(person, kABAddressProperty);
    int index = -1;
    if (!findFirstMatch(multi, type, &index))
        return {};
    return multi.valueAt(index).toMap().value(part);
}

bool ZEM_A_E_ABEngine::findFirstMatch(const ABMultiValue &multi, const QString &label, int *index)
{
    for (int i = 0; i < multi.count(); ++i) {
        if (multi.labelAt(i).compare(label) == 0) {
            if (index)
                *index = i;
            return true;
        }
    }
    return false;
}

// ---- Key lists -------------------------------------------------------------------------

const QStringList &ZEM_A_E_ABEngine::addressBookKeys()
{
    // Alphabetical; phoneOther is mirrored but not in the list.
    static const QStringList list = {
        keys::aimInstantHome, keys::aimInstantOther, keys::aimInstantWork, keys::anniversary, keys::birthday,
        keys::companyName, keys::creationDate, keys::firstName, keys::firstNamePhonetic, keys::homeAddressCity,
        keys::homeAddressCountry, keys::homeAddressCountryCode, keys::homeAddressState, keys::homeAddressStreet,
        keys::homeAddressZip, keys::homeEmail, keys::homePage, keys::icqInstantHome, keys::icqInstantOther,
        keys::icqInstantWork, keys::jabberInstantHome, keys::jabberInstantOther, keys::jabberInstantWork,
        keys::jobTitle, keys::lastName, keys::lastNamePhonetic, keys::maidenName, keys::mainPage, keys::middleName,
        keys::middleNamePhonetic, keys::modificationDate, keys::msnInstantHome, keys::msnInstantOther,
        keys::msnInstantWork, keys::nickname, keys::notes, keys::otherAddressCity, keys::otherAddressCountry,
        keys::otherAddressCountryCode, keys::otherAddressState, keys::otherAddressStreet, keys::otherAddressZip,
        keys::otherEmail, keys::otherPage, keys::phoneHome, keys::phoneHomeFax, keys::phoneMain, keys::phoneMobile,
        keys::phonePager, keys::phoneWork, keys::phoneWorkFax, keys::relationshipAssistant,
        keys::relationshipBrother, keys::relationshipChild, keys::relationshipFather, keys::relationshipFriend,
        keys::relationshipManager, keys::relationshipMother, keys::relationshipParent, keys::relationshipPartner,
        keys::relationshipSister, keys::relationshipSpouse, keys::suffix, keys::title, keys::uid,
        keys::workAddressCity, keys::workAddressCountry, keys::workAddressCountryCode, keys::workAddressState,
        keys::workAddressStreet, keys::workAddressZip, keys::workEmail, keys::workPage, keys::yahooInstantHome,
        keys::yahooInstantOther, keys::yahooInstantWork,
    };
    return list;
}

QString ZEM_A_E_ABEngine::getAddressBookKeys()
{
    return addressBookKeys().join(kKeySeparator);
}

QString ZEM_A_E_ABEngine::getAddressBookPickerKeys()
{
    return QStringList{keys::firstName, keys::lastName, keys::companyName, keys::uid}.join(kKeySeparator);
}

QString ZEM_A_E_ABEngine::stripKeySuffix(const QString &string, const QString &suffix)
{
    return string.left(qMax<qsizetype>(0, string.size() - suffix.size()));
}

// ---- Writing ---------------------------------------------------------------------------

QString ZEM_A_E_ABEngine::setBookValue(const QVariantMap &request)
{
    return setBookValue(request, false);
}

QString ZEM_A_E_ABEngine::setBookValue(const QVariantMap &request, bool save)
{
    if (request.size() != 3)
        return kBadDictionary;
    const QString key = request.value(QStringLiteral("key")).toString();
    if (checkStringValue(key))
        return setBookString(request, save);
    if (checkDateValue(key))
        return setBookDate(request, save);
    if (checkMultiValue(key))
        return setBookMulti(request, save);
    if (checkMultiDateValue(key))
        return setBookMultiDate(request, save);
    if (checkAddressValue(key))
        return setBookAddress(request, save);
    return kBadDictionary;
}

namespace {
// What every write starts with: the request's entries and the person it names.
struct Request
{
    QString uid;
    QString key;
    QString value;
    ZEM_A_E_ABEngine::PersonRef person;

    /** The message that ends the write before any change, or a null QString to go on. */
    QString refusal(ZEM_A_E_ABEngine *ab, const QString &name, std::initializer_list<QString> translations) const
    {
        if (!person)
            return ab->personNotFoundForUid(uid);
        const bool translated = std::none_of(translations.begin(), translations.end(),
                                             [](const QString &t) { return t.isNull(); });
        if (uid.isNull() || !translated || value.isNull())
            return ab->logSetValueDictFailure(name, uid, key, value);
        return {};
    }
};

Request readRequest(ZEM_A_E_ABEngine *ab, const QVariantMap &request)
{
    Request r{entry(request, QStringLiteral("uid")), entry(request, QStringLiteral("key")),
              entry(request, QStringLiteral("value")), {}};
    r.person = ab->getPersonShared(r.uid);
    return r;
}
} // namespace

QString ZEM_A_E_ABEngine::setBookString(const QVariantMap &request, bool save)
{
    const Request r = readRequest(this, request);
    const QString property = convertStringValue(r.key);
    const QString name = QStringLiteral("SetBookString:");
    if (const QString refused = r.refusal(this, name, {property}); !refused.isNull())
        return refused;
    const PersonRef &person = r.person;
    // The empty string clears the field rather than storing an empty value.
    const QVariant value = r.value.isEmpty() ? QVariant() : QVariant(r.value);
    if (!person->setValue(value, property))
        return logSetValueFailure(name, r.uid, r.key, r.value);
    return getSuccessfulMessage(r.key, r.value, save);
}

QString ZEM_A_E_ABEngine::setBookDate(const QVariantMap &request, bool save)
{
    const Request r = readRequest(this, request);
    const QString property = convertDateValue(r.key);
    const QString name = QStringLiteral("SetBookDate:");
    if (const QString refused = r.refusal(this, name, {property}); !refused.isNull())
        return refused;
    const PersonRef &person = r.person;
    const QDateTime date = r.value.isEmpty() ? QDateTime() : parseDateString(r.value);
    // Text that is no date fails rather than silently removing the stored date.
    if (!r.value.isEmpty() && !date.isValid())
        return logSetValueFailure(name, r.uid, r.key, r.value);
    if (!person->setValue(date.isValid() ? QVariant(date) : QVariant(), property))
        return logSetValueFailure(name, r.uid, r.key, r.value);
    return getSuccessfulMessage(r.key, r.value, save);
}

QString ZEM_A_E_ABEngine::setBookMulti(const QVariantMap &request, bool save)
{
    return setMultiSupport(request, save, false);
}

QString ZEM_A_E_ABEngine::setBookMultiDate(const QVariantMap &request, bool save)
{
    return setMultiSupport(request, save, true);
}

QString ZEM_A_E_ABEngine::setMultiSupport(const QVariantMap &request, bool save, bool dates)
{
    const Request r = readRequest(this, request);
    const QString label = dates ? convertMultiDateValue(r.key) : convertMultiValue(r.key);
    const QString property = dates ? getMultValueDateLabel(r.key) : getMultValueLabel(r.key);
    const QString name = dates ? QStringLiteral("SetBookMultiDate:") : QStringLiteral("SetBookMulti:");
    if (const QString refused = r.refusal(this, name, {label, property}); !refused.isNull())
        return refused;
    const PersonRef &person = r.person;

    QVariant value(r.value);
    if (dates) {
        const QDateTime date = r.value.isEmpty() ? QDateTime() : parseDateString(r.value);
        if (!r.value.isEmpty() && !date.isValid())
            return logSetValueFailure(name, r.uid, r.key, r.value);
        value = date.isValid() ? QVariant(date) : QVariant();
    }
    const QVariant stored = person->valueForProperty(property);
    ABMultiValue multi = stored.value<ABMultiValue>();
    if (!stored.isValid() && value.isValid())
        multi.addValue(QStringLiteral(""), label);

    int index = -1;
    if (findFirstMatch(multi, label, &index)) {
        // No date clears the entry: a date list holds no empty entries.
        const bool replaced = value.isValid() ? multi.replaceValueAtIndex(index, value)
                                              : multi.removeValueAtIndex(index);
        if (!replaced)
            return logSetValueFailure(name + QStringLiteral(" -> Replace"), r.uid, r.key, r.value);
    } else if (value.isValid() && multi.addValue(value, label).isEmpty()) {
        return logSetValueFailure(name + QStringLiteral(" -> Add"), r.uid, r.key, r.value);
    }
    if (!person->setValue(QVariant::fromValue(multi), property))
        return logSetValueFailure(name, r.uid, r.key, r.value);
    return getSuccessfulMessage(r.key, r.value, save);
}

QString ZEM_A_E_ABEngine::setBookAddress(const QVariantMap &request, bool save)
{
    const Request r = readRequest(this, request);
    const QString part = convertAddressValue(r.key);
    const QString type = getAddressType(r.key);
    const QString name = QStringLiteral("SetBookAddress:");
    if (const QString refused = r.refusal(this, name, {part, type}); !refused.isNull())
        return refused;
    const PersonRef &person = r.person;

    const QVariant stored = person->valueForProperty(kABAddressProperty);
    ABMultiValue multi = stored.value<ABMultiValue>();
    if (!stored.isValid())
        multi.addValue(QVariantMap{{part, QStringLiteral("")}}, type);
    int index = -1;
    if (findFirstMatch(multi, type, &index)) {
        QVariantMap address = multi.valueAt(index).toMap();
        address.insert(part, r.value);
        if (!multi.replaceValueAtIndex(index, address))
            return logSetValueFailure(name + QStringLiteral(" -> Replace"), r.uid, r.key, r.value);
        if (!person->setValue(QVariant::fromValue(multi), kABAddressProperty))
            return logSetValueFailure(name, r.uid, r.key, r.value);
    } else if (!addAddressWithMultiValue(r.value, part, type, person.get(), multi)) {
        return logSetValueFailure(name + QStringLiteral(" -> Add"), r.uid, r.key, r.value);
    }
    return getSuccessfulMessage(r.key, r.value, save);
}

bool ZEM_A_E_ABEngine::addAddressValue(const QString &value, const QString &part, const QString &type,
                                       ABPerson *person)
{
    return addAddressWithMultiValue(value, part, type, person, ABMultiValue());
}

bool ZEM_A_E_ABEngine::addAddressWithMultiValue(const QString &value, const QString &part,
                                                const QString &type, ABPerson *person, ABMultiValue multi)
{
    if (!person || multi.addValue(QVariantMap{{part, value}}, type).isEmpty())
        return false;
    return person->setValue(QVariant::fromValue(multi), kABAddressProperty);
}

QString ZEM_A_E_ABEngine::saveChangesToAddressBook()
{
    AddressBook *book = AddressBook::sharedAddressBook();
    if (!book->hasUnsavedChanges())
        return message("M04:AddressBook", {appNameLocalized()});
    const ZEM_Result<void> saved = book->save();
    if (saved)
        return message("M05:AddressBook", {appNameLocalized()});
    return message("M06:AddressBook", {appNameLocalized(), saved.error().message});
}

// ---- Messages --------------------------------------------------------------------------

QString ZEM_A_E_ABEngine::personNotFoundForUid(const QString &uid)
{
    return QStringLiteral("No Person found for %1").arg(orNil(uid));
}

QString ZEM_A_E_ABEngine::logSetValueFailure(const QString &name, const QString &uid, const QString &key,
                                             const QString &value)
{
    const auto or_ = [](const QString &text, const char *missing) {
        return text.isNull() ? QString::fromLatin1(missing) : text;
    };
    qCWarning(zemContacts).noquote() << QStringLiteral("ABController %1 failed for uid: %2").arg(name, or_(uid, "nil uid!"));
    qCWarning(zemContacts).noquote() << QStringLiteral("ABController %1 failed for key: %2").arg(name, or_(key, "nil key!"));
    qCWarning(zemContacts).noquote()
        << QStringLiteral("ABController %1 failed for value: %2").arg(name, or_(value, "nil value!"));
    return getFailureMessage(key, value);
}

QString ZEM_A_E_ABEngine::logSetValueDictFailure(const QString &name, const QString &uid, const QString &key,
                                                 const QString &value)
{
    const std::pair<const QString &, const char *> parts[] = {{uid, "uid"}, {key, "key"}, {value, "value"}};
    for (const auto &[text, what] : parts) {
        if (text.isNull())
            qCWarning(zemContacts).noquote()
                << QStringLiteral("ABController %1 failed for empty dictionary for %2").arg(name, QLatin1String(what));
    }
    return getFailureMessage(key, value);
}

QString ZEM_A_E_ABEngine::getFailureMessage(const QString &key, const QString &value)
{
    return message("M07:AddressBook", {orNil(appNameLocalized()), orNil(key), orNil(value)});
}

QString ZEM_A_E_ABEngine::getSuccessfulMessage(const QString &, const QString &, bool save)
{
    if (save)
        saveChangesToAddressBook();
    return {};
}
