#include "ZEM_A_E_MO_AddressBook.h"

#include "ContactsLog.h"
#include "ZEM_A_C_MO_AddressBook.h"
#include "ZEM_A_E_ABEngine.h"
#include "foundation/ZEM_F_C_StoreGroup.h"
#include "foundation/ZEM_F_ClassRegistry.h"

#include <QBuffer>
#include <QImageWriter>

namespace {

[[maybe_unused]] const bool registered = ZEM_F_ClassRegistry::registerShared(
    QStringLiteral("ZEM_A_E_MO_AddressBook"), [] { return static_cast<QObject *>(ZEM_A_E_MO_AddressBook::shared()); });

QString kindPrefix(int kind)
{
    switch (kind) {
    case 1: return QStringLiteral("work");
    case 2: return QStringLiteral("other");
    default: return QStringLiteral("home");
    }
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
    const QString modified = QStringLiteral("modificationDate");
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

QDateTime ZEM_A_E_MO_AddressBook::getAnniversary(ZEM_A_C_MO_AddressBook *record) { return record->calDate(QStringLiteral("anniversary")); }
QDateTime ZEM_A_E_MO_AddressBook::getBirthday(ZEM_A_C_MO_AddressBook *record) { return record->calDate(QStringLiteral("birthday")); }
QDateTime ZEM_A_E_MO_AddressBook::getCreationDate(ZEM_A_C_MO_AddressBook *record) { return record->calDate(QStringLiteral("creationDate")); }
QDateTime ZEM_A_E_MO_AddressBook::getModificationDate(ZEM_A_C_MO_AddressBook *record) { return record->calDate(QStringLiteral("modificationDate")); }
void ZEM_A_E_MO_AddressBook::setAnniversary(const QDateTime &date, ZEM_A_C_MO_AddressBook *record) { record->setCalDate(date, QStringLiteral("anniversary")); }
void ZEM_A_E_MO_AddressBook::setBirthday(const QDateTime &date, ZEM_A_C_MO_AddressBook *record) { record->setCalDate(date, QStringLiteral("birthday")); }
void ZEM_A_E_MO_AddressBook::setCreationDate(const QDateTime &date, ZEM_A_C_MO_AddressBook *record) { record->setCalDate(date, QStringLiteral("creationDate")); }
void ZEM_A_E_MO_AddressBook::setModificationDate(const QDateTime &date, ZEM_A_C_MO_AddressBook *record) { record->setCalDate(date, QStringLiteral("modificationDate")); }

// ---- Text blocks -----------------------------------------------------------------------

QString ZEM_A_E_MO_AddressBook::userFullName(ZEM_A_C_MO_AddressBook *record)
{
    const QString first = field(record, QStringLiteral("firstName"));
    const QString last = field(record, QStringLiteral("lastName"));
    if (present(first) && present(last))
        return first + u' ' + last;
    if (present(first))
        return first;
    return present(last) ? last : QStringLiteral("");
}

QString ZEM_A_E_MO_AddressBook::userFullAddressSupport(int kind, ZEM_A_C_MO_AddressBook *record)
{
    const QString prefix = kindPrefix(kind);
    const auto part = [&](const char *format) {
        return field(record, QString::fromLatin1(format).replace(QStringLiteral("%@"), prefix));
    };
    const QString company = field(record, QStringLiteral("companyName"));
    const QString street = part("%@AddressStreet");
    const QString city = part("%@AddressCity");
    const QString state = part("%@AddressState");
    const QString zip = part("%@AddressZip");
    const QString country = part("%@AddressCountry");

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
    const QString prefix = kindPrefix(kind);
    const std::pair<const char *, QString> lines[] = {
        {"Main", QStringLiteral("phoneMain")},     {"Home", QStringLiteral("phoneHome")},
        {"Work", QStringLiteral("phoneWork")},     {"Mobile", QStringLiteral("phoneMobile")},
        {"Pager", QStringLiteral("phonePager")},   {"Fax H.", QStringLiteral("phoneHomeFax")},
        {"Fax W.", QStringLiteral("phoneWorkFax")}, {"Email", prefix + QLatin1String("Email")},
        {"Web", prefix + QLatin1String("Page")},
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
    const QString first = field(record, QStringLiteral("firstName"));
    const QString last = field(record, QStringLiteral("lastName"));
    const QString company = field(record, QStringLiteral("companyName"));
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
