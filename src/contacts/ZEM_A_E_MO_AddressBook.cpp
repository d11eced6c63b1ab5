#include "ZEM_A_E_MO_AddressBook.h"

#include "ContactsLog.h"
#include "ZEM_A_C_MO_AddressBook.h"
#include "ZEM_A_ContactKeys.h"
#include "ZEM_A_E_ABEngine.h"
#include "foundation/ZEM_F_C_StoreGroup.h"
#include "foundation/ZEM_F_ClassRegistry.h"

#include <QBuffer>
#include <QImageWriter>

namespace keys = ZEM_A_ContactKeys;

namespace {

[[maybe_unused]] const bool registered = ZEM_F_ClassRegistry::registerShared(
    QStringLiteral("ZEM_A_E_MO_AddressBook"), [] { return static_cast<QObject *>(ZEM_A_E_MO_AddressBook::shared()); });

// The keys of an address kind (0 home, 1 work, 2 other).
struct KindKeys
{
    const QString &street, &city, &state, &zip, &country, &email, &page;
};

const KindKeys &kindKeys(int kind)
{
    static const KindKeys kinds[] = {
        {keys::homeAddressStreet, keys::homeAddressCity, keys::homeAddressState, keys::homeAddressZip,
         keys::homeAddressCountry, keys::homeEmail, keys::homePage},
        {keys::workAddressStreet, keys::workAddressCity, keys::workAddressState, keys::workAddressZip,
         keys::workAddressCountry, keys::workEmail, keys::workPage},
        {keys::otherAddressStreet, keys::otherAddressCity, keys::otherAddressState, keys::otherAddressZip,
         keys::otherAddressCountry, keys::otherEmail, keys::otherPage},
    };
    return kinds[kind == 1 || kind == 2 ? kind : 0];
}

// A field read through the record's getter; a null QString when it has no value.
QString field(ZEM_A_C_MO_AddressBook *record, const QString &key)
{
    const QVariant value = record->valueForKey(key);
    return value.isValid() && !value.isNull() ? value.toString() : QString();
}

bool present(const QString &value)
{
    return !value.isEmpty();
}

QByteArray vcardImageData()
{
    return ZEM_A_E_MO_AddressBook::tiffData(ZEM_F_C_StoreGroup::shared()->imageForKey(QStringLiteral("VCard")));
}

} // namespace

ZEM_A_E_MO_AddressBook::ZEM_A_E_MO_AddressBook(QObject *parent) : ZEM_F_B_Securitry(parent) {}

ZEM_A_E_MO_AddressBook::~ZEM_A_E_MO_AddressBook() = default;

ZEM_A_E_MO_AddressBook *ZEM_A_E_MO_AddressBook::shared()
{
    static auto *instance = new ZEM_A_E_MO_AddressBook;
    return instance;
}

QByteArray ZEM_A_E_MO_AddressBook::tiffData(const QImage &image)
{
    if (image.isNull())
        return {};
    static const bool hasTiff = QImageWriter::supportedImageFormats().contains("tiff");
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, hasTiff ? "TIFF" : "PNG");
    return data;
}

QVariant ZEM_A_E_MO_AddressBook::objectForKey(const QString &key, ZEM_A_C_MO_AddressBook *record)
{
    return record ? record->objectForKey(key) : QVariant();
}

QVariant ZEM_A_E_MO_AddressBook::setValueABSupport(const QVariant &value, const QString &key,
                                                   ZEM_A_C_MO_AddressBook *record)
{
    const QString text = value.isValid() && !value.isNull() ? value.toString() : QStringLiteral("");
    const QVariantMap request{{QStringLiteral("key"), key},
                              {QStringLiteral("uid"), record ? record->uid() : QString()},
                              {QStringLiteral("value"), text}};
    // A refused write is logged by the engine; the record keeps its new value either way.
    ZEM_A_E_ABEngine::shared()->setBookValue(request);
    return text;
}

QByteArray ZEM_A_E_MO_AddressBook::imageForUid(ZEM_A_C_MO_AddressBook *record)
{
    const QString uid = record ? record->uid() : QString();
    if (!uid.isEmpty()) {
        const ZEM_A_E_ABEngine::PersonRef person = ZEM_A_E_ABEngine::shared()->getPerson(uid);
        if (person && !person->imageData().isEmpty())
            return person->imageData();
    }
    return vcardImageData();
}

void ZEM_A_E_MO_AddressBook::setImageForUid(const QByteArray &data, ZEM_A_C_MO_AddressBook *record)
{
    const QString uid = record ? record->uid() : QString();
    if (uid.isEmpty())
        return;
    const QString &modified = keys::modificationDate;
    record->setValueForKey(record->valueForKey(modified), modified);
    const QByteArray image = data.isEmpty() ? vcardImageData() : data;
    // A photo is stored at once, like the stored book it is read back from.
    const ZEM_A_E_ABEngine::PersonRef person = ZEM_A_E_ABEngine::shared()->getPerson(uid);
    if (!person || !person->setImageData(image)) {
        qCWarning(zemContacts) << "Cannot set the photo of" << uid;
        return;
    }
    if (const ZEM_Result<void> saved = person->addressBook()->save(); !saved)
        qCWarning(zemContacts).noquote() << "Cannot save the photo of" << uid << ":" << saved.error().message;
}

QImage ZEM_A_E_MO_AddressBook::contactPhoto(ZEM_A_C_MO_AddressBook *record)
{
    return QImage::fromData(imageForUid(record));
}

QDateTime ZEM_A_E_MO_AddressBook::getAnniversary(ZEM_A_C_MO_AddressBook *record) { return record->calDate(keys::anniversary); }
QDateTime ZEM_A_E_MO_AddressBook::getBirthday(ZEM_A_C_MO_AddressBook *record) { return record->calDate(keys::birthday); }
QDateTime ZEM_A_E_MO_AddressBook::getCreationDate(ZEM_A_C_MO_AddressBook *record) { return record->calDate(keys::creationDate); }
QDateTime ZEM_A_E_MO_AddressBook::getModificationDate(ZEM_A_C_MO_AddressBook *record) { return record->calDate(keys::modificationDate); }
void ZEM_A_E_MO_AddressBook::setAnniversary(const QDateTime &date, ZEM_A_C_MO_AddressBook *record) { record->setCalDate(date, keys::anniversary); }
void ZEM_A_E_MO_AddressBook::setBirthday(const QDateTime &date, ZEM_A_C_MO_AddressBook *record) { record->setCalDate(date, keys::birthday); }
void ZEM_A_E_MO_AddressBook::setCreationDate(const QDateTime &date, ZEM_A_C_MO_AddressBook *record) { record->setCalDate(date, keys::creationDate); }
void ZEM_A_E_MO_AddressBook::setModificationDate(const QDateTime &date, ZEM_A_C_MO_AddressBook *record) { record->setCalDate(date, keys::modificationDate); }

// ---- Text blocks -----------------------------------------------------------------------

QString ZEM_A_E_MO_AddressBook::userFullName(ZEM_A_C_MO_AddressBook *record)
{
    const QString first = field(record, keys::firstName);
    const QString last = field(record, keys::lastName);
    if (present(first) && present(last))
        return first + u' ' + last;
    if (present(first))
        return first;
    return present(last) ? last : QStringLiteral("");
}

QString ZEM_A_E_MO_AddressBook::userFullAddressSupport(int kind, ZEM_A_C_MO_AddressBook *record)
{
    const KindKeys &k = kindKeys(kind);
    const QString company = field(record, keys::companyName);
    const QString street = field(record, k.street);
    const QString city = field(record, k.city);
    const QString state = field(record, k.state);
    const QString zip = field(record, k.zip);
    const QString country = field(record, k.country);

    QString block;
    const auto add = [&block](const QString &value, const QString &separator) {
        if (!present(value))
            return false;
        if (!block.isEmpty())
            block += separator;
        block += value;
        return true;
    };
    const QString newline = QStringLiteral("\n");
    add(company, newline);
    add(street, newline);
    const bool hasCity = add(city, newline);
    const bool hasState = add(state, hasCity ? QStringLiteral(", ") : newline);
    const bool hasZip = add(zip, hasCity || hasState ? QStringLiteral(" ") : newline);
    add(country, hasCity || hasState || hasZip ? QStringLiteral(" ") : newline);
    return block;
}

QString ZEM_A_E_MO_AddressBook::userFullAddress(ZEM_A_C_MO_AddressBook *record)
{
    return QStringLiteral("%1\n%2\n%3")
        .arg(userFullAddressSupport(0, record), userFullAddressSupport(1, record), userFullAddressSupport(2, record));
}

QString ZEM_A_E_MO_AddressBook::userCallInfoSupport(int kind, ZEM_A_C_MO_AddressBook *record)
{
    const KindKeys &k = kindKeys(kind);
    const std::pair<const char *, const QString &> lines[] = {
        {"Main", keys::phoneMain},      {"Home", keys::phoneHome},       {"Work", keys::phoneWork},
        {"Mobile", keys::phoneMobile},  {"Pager", keys::phonePager},     {"Fax H.", keys::phoneHomeFax},
        {"Fax W.", keys::phoneWorkFax}, {"Email", k.email},              {"Web", k.page},
    };
    QStringList block;
    for (const auto &[label, key] : lines) {
        const QString value = field(record, key);
        if (present(value))
            block.append(QStringLiteral("%1:\t%2").arg(QLatin1String(label), value));
    }
    return block.join(u'\n');
}

QString ZEM_A_E_MO_AddressBook::userCallInfo(ZEM_A_C_MO_AddressBook *record)
{
    return QStringLiteral("%1\n%2\n%3")
        .arg(userCallInfoSupport(0, record), userCallInfoSupport(1, record), userCallInfoSupport(2, record));
}

QString ZEM_A_E_MO_AddressBook::userFullNameAddressSupport(int kind, ZEM_A_C_MO_AddressBook *record)
{
    QString text = userFullName(record);
    const QString address = userFullAddressSupport(kind, record);
    if (!address.isEmpty()) {
        if (!text.isEmpty())
            text += u'\n';
        text += address;
    }
    return text;
}

QString ZEM_A_E_MO_AddressBook::searchString(ZEM_A_C_MO_AddressBook *record)
{
    // Here any value counts, the empty string included.
    const QString first = field(record, keys::firstName);
    const QString last = field(record, keys::lastName);
    const QString company = field(record, keys::companyName);
    const bool f = !first.isNull(), l = !last.isNull(), c = !company.isNull();
    if (f && l && c)
        return QStringLiteral("%1 %2 %3").arg(first, last, company);
    if (f && c)
        return first + u' ' + company;
    if (c && l)
        return company + u' ' + last;
    if (f && l)
        return first + u' ' + last;
    if (f)
        return first;
    if (l)
        return last;
    return c ? company : QStringLiteral("");
}
