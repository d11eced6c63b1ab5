#pragma once

#include "records/ZEM_A_C_ManagedObject.h"
#include "zem_appkit_export.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

/**
 * The contact record: a record that mirrors one person of the system address book,
 * identified by `uid` (the person's unique id). Every other field is a string that the
 * record keeps in its store and mirrors through ZEM_A_E_ABEngine:
 *
 * - a field without a stored value is filled from the address book on its first read;
 * - a field that is set is stored and handed to the address book at once (in memory;
 *   ZEM_A_E_ABEngine::saveChangesToAddressBook() saves);
 * - releaseAddressBookDict() takes over what another program changed, for the fields
 *   this record has read or written.
 *
 * Fields are read and set by key (valueForKey("phoneMobile"), setValueForKey(...)), so a
 * data model names them as string attributes; the derived display keys (displayName,
 * userFullAddress, searchString, ...) are read the same way.
 *
 * **Example**
 * \code
 * auto *contact = qobject_cast<ZEM_A_C_MO_AddressBook *>(context->insertNewObject(u"Contact"_s));
 * contact->setUid(person->uniqueId());
 * qDebug() << contact->displayName() << contact->valueForKey(u"phoneMobile"_s);
 * \endcode
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_MO_AddressBook : public ZEM_A_C_ManagedObject
{
    Q_OBJECT
public:
    Q_INVOKABLE explicit ZEM_A_C_MO_AddressBook(QObject *parent = nullptr);
    ~ZEM_A_C_MO_AddressBook() override;
    static void initialize();

    /** The 76 mirrored field keys. */
    static const QStringList &mirroredKeys();

    QString uid();
    void setUid(const QString &uid);

    /** The getter of every mirrored field: the stored value, else the address book's. */
    QVariant objectForKey(const QString &key);
    /** The setter of every mirrored field: stores with notices and writes the address book. */
    void setValueABSupport(const QVariant &value, const QString &key);
    /** The cached address-book value of \a key, asking the engine (and caching) on a miss. */
    QVariant getAddressBookForKey(const QString &key, bool shared);
    /** Re-reads the cached fields from the stored address book, taking over what differs. */
    void releaseAddressBookDict();
    const QVariantMap &addressBookDict() const { return m_addressBookDict; }

    void setNotes(const QVariant &notes);
    void setImPersonStatus(const QVariant &status);

    // ---- Derived values ------------------------------------------------------------------
    QVariant displayName();
    bool showByCompany();
    int contactPersonCount();
    QImage contactImage();
    QByteArray contactImageData();
    QByteArray imageForUid();
    void setImageForUid(const QByteArray &data);
    QImage contactPhoto();
    QImage imPersonStatusImage();
    QByteArray imPersonStatusImageData();
    int contactImPersonStatusCount();
    /** The date of a date field ("birthday", ...) or an invalid QDateTime. */
    QDateTime calDate(const QString &dateKey);
    void setCalDate(const QDateTime &date, const QString &dateKey);
    QVariant notesString();
    void setNotesString(const QVariant &text);
    QVariant primaryEmail();
    /** A part ("Street", "City", "State", "ZIP", "Country") of the primary address. */
    QVariant mainAddressValue(const QString &part);
    /** The country table looked up with \a key (names are its keys, codes its values). */
    QVariant countryForCoutryCode(const QVariant &key);
    const QHash<QString, QString> &countryDict();

    QString saveNotesName() const override;

private:
    int personFlags();

    QVariantMap m_addressBookDict;
    QHash<QString, QString> m_countryDict;
};
