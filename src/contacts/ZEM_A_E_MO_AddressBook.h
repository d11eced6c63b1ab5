#pragma once

#include "foundation/ZEM_F_B_Securitry.h"
#include "zem_appkit_export.h"

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QString>
#include <QVariant>

class ZEM_A_C_MO_AddressBook;

/**
 * The stateless side of the contact record: its field reads and writes through the
 * address book engine, its photo and calendar-date forms, and the text blocks a host
 * shows, copies or searches (full name, address, call and name-and-address blocks per
 * address kind, search string).
 *
 * Address kinds: 1 work, 2 other, anything else home. Text blocks read the record's
 * fields through their getters (so unread fields are filled from the address book on the
 * way); their labels and separators are fixed English text, never localized.
 *
 * **Example**
 * \code
 * QString label = ZEM_A_E_MO_AddressBook::shared()->userFullNameAddressSupport(1, contact);
 * \endcode
 */
class ZEM_APPKIT_EXPORT ZEM_A_E_MO_AddressBook : public ZEM_F_B_Securitry
{
    Q_OBJECT
public:
    static ZEM_A_E_MO_AddressBook *shared();
    ~ZEM_A_E_MO_AddressBook() override;

    QVariant objectForKey(const QString &key, ZEM_A_C_MO_AddressBook *record);
    /** Writes \a value of \a key to the address book; returns the value sent ("" for none). */
    QVariant setValueABSupport(const QVariant &value, const QString &key, ZEM_A_C_MO_AddressBook *record);

    QByteArray imageForUid(ZEM_A_C_MO_AddressBook *record);
    void setImageForUid(const QByteArray &data, ZEM_A_C_MO_AddressBook *record);
    QImage contactPhoto(ZEM_A_C_MO_AddressBook *record);

    QDateTime getAnniversary(ZEM_A_C_MO_AddressBook *record);
    void setAnniversary(const QDateTime &date, ZEM_A_C_MO_AddressBook *record);
    QDateTime getBirthday(ZEM_A_C_MO_AddressBook *record);
    void setBirthday(const QDateTime &date, ZEM_A_C_MO_AddressBook *record);
    QDateTime getCreationDate(ZEM_A_C_MO_AddressBook *record);
    void setCreationDate(const QDateTime &date, ZEM_A_C_MO_AddressBook *record);
    QDateTime getModificationDate(ZEM_A_C_MO_AddressBook *record);
    void setModificationDate(const QDateTime &date, ZEM_A_C_MO_AddressBook *record);

    // ---- Text blocks ---------------------------------------------------------------------
    QString userFullName(ZEM_A_C_MO_AddressBook *record);
    QString userFullAddressSupport(int kind, ZEM_A_C_MO_AddressBook *record);
    QString userFullAddress(ZEM_A_C_MO_AddressBook *record);
    QString userCallInfoSupport(int kind, ZEM_A_C_MO_AddressBook *record);
    QString userCallInfo(ZEM_A_C_MO_AddressBook *record);
    QString userFullNameAddressSupport(int kind, ZEM_A_C_MO_AddressBook *record);
    QString searchString(ZEM_A_C_MO_AddressBook *record);

    /** The TIFF form of \a image (PNG where no TIFF writer is installed); empty for no image. */
    static QByteArray tiffData(const QImage &image);

private:
    explicit ZEM_A_E_MO_AddressBook(QObject *parent = nullptr);
};
