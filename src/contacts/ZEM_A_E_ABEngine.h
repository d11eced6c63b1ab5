#pragma once

#include "foundation/ZEM_F_B_Securitry.h"
#include "platform/addressbook/AddressBook.h"
#include "zem_appkit_export.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <array>
#include <memory>

/**
 * The one gateway between the contact record's field keys ("firstName", "phoneMobile",
 * "workAddressCity", ...) and the system address book: it translates a key into an address
 * book property, a multi-value label or an address part, reads one field of a person as a
 * string, writes one field from a {"key", "uid", "value"} request, saves, and lists people
 * and groups.
 *
 * Writes change the shared address book in memory; saveChangesToAddressBook() writes them
 * to disk. Nothing is shown to the user from here: failures are logged and returned as
 * message texts, success as a null QString.
 *
 * "Fresh" reads (the shared flag clear) open the stored address book anew for each call,
 * so they see other programs' edits; read several fields at once with getValuesUidDict().
 *
 * **Example**
 * \code
 * auto *ab = ZEM_A_E_ABEngine::shared();
 * QString error = ab->setBookValue({{u"key"_s, u"phoneMobile"_s}, {u"uid"_s, uid},
 *                                   {u"value"_s, u"+49 171 5550100"_s}});
 * if (error.isNull())
 *     ab->saveChangesToAddressBook();
 * \endcode
 */
class ZEM_APPKIT_EXPORT ZEM_A_E_ABEngine : public ZEM_F_B_Securitry
{
    Q_OBJECT
public:
    using Map = QHash<QString, QString>;
    /** A person of the shared book (not owned) or of a fresh view (kept open while held). */
    using PersonRef = std::shared_ptr<platform::ABPerson>;

    static ZEM_A_E_ABEngine *shared();
    ~ZEM_A_E_ABEngine() override;

    // ---- The translation maps, each built on first use -----------------------------------
    const Map &stringDictionary();
    const Map &dateDictionary();
    const Map &emailDictionary();
    const Map &phoneDictionary();
    const Map &urlDictionary();
    const Map &relatedNamesDictionary();
    const Map &aimDictionary();
    const Map &icqDictionary();
    const Map &jabberDictionary();
    const Map &msnDictionary();
    const Map &yahooDictionary();
    const Map &otherDatesDictionary();
    const Map &addressHomeDictionary();
    const Map &addressWorkDictionary();
    const Map &addressOtherDictionary();
    const Map &multiDictionary();
    const Map &multiDateDictionary();
    const Map &addressDictionary();

    // ---- Key classification --------------------------------------------------------------
    bool checkStringValue(const QString &key);
    bool checkDateValue(const QString &key);
    bool checkMultiValue(const QString &key);
    bool checkMultiDateValue(const QString &key);
    bool checkAddressValue(const QString &key);
    /** The property, label or part of a key of the map; a null QString outside it. */
    QString convertStringValue(const QString &key);
    QString convertDateValue(const QString &key);
    QString convertMultiValue(const QString &key);
    QString convertMultiDateValue(const QString &key);
    QString convertAddressValue(const QString &key);
    /** The property of a multi key ("PhoneOther" also gives the phone property). */
    QString getMultValueLabel(const QString &key);
    QString getMultValueDateLabel(const QString &key);
    /** The address type label of an address key. */
    QString getAddressType(const QString &key);

    // ---- People --------------------------------------------------------------------------
    PersonRef getPersonShared(const QString &uid);
    PersonRef getPerson(const QString &uid);
    bool hasUnsavedChanges();
    QStringList getAllServerRecords();
    QStringList getAllGroupRecords();

    // ---- Reading -------------------------------------------------------------------------
    /** The field as a string ("" for nothing); kABPersonFlags as a number. */
    QVariant valueForKey(const QString &key, const QString &uid, bool shared);
    QVariant getValueForKey(const QString &key, platform::ABPerson *person, const QString &uid);
    QVariantMap getAllValuesUid(const QString &uid, bool shared);
    QVariantMap abAllValuesSharedForUid(const QString &uid);
    QVariantMap abAllValuesForUid(const QString &uid);
    QVariantMap getPickerValuesUid(const QString &uid);
    QVariantMap getValuesUidDict(const QString &uid, const QStringList &keys, bool shared);
    QVariant getRecordValue(platform::ABPerson *person, const QString &key);
    QVariant getRecordDateValue(platform::ABPerson *person, const QString &key);
    QVariant getRecordMultiValue(platform::ABPerson *person, const QString &key);
    QVariant getRecordMultiDateValue(platform::ABPerson *person, const QString &key);
    QVariant getRecordAddressValue(platform::ABPerson *person, const QString &key);
    QVariant getLabel(const QString &label, const QString &property, platform::ABPerson *person);
    QVariant getDateLabel(const QString &label, const QString &property, platform::ABPerson *person);
    QVariant getAddressLabel(const QString &part, platform::ABPerson *person, const QString &type);
    /** The first entry whose label equals \a label; false when none or \a multi is empty. */
    bool findFirstMatch(const platform::ABMultiValue &multi, const QString &label, int *index);

    // ---- Key lists -----------------------------------------------------------------------
    /** The full key list joined with ":~:". */
    QString getAddressBookKeys();
    QString getAddressBookPickerKeys();
    /** \a string less as many trailing characters as \a suffix has (not compared). */
    QString stripKeySuffix(const QString &string, const QString &suffix);

    // ---- Writing (null QString = success, else the message) --------------------------------
    QString setBookValue(const QVariantMap &request);
    QString setBookValue(const QVariantMap &request, bool save);
    QString setBookString(const QVariantMap &request, bool save);
    QString setBookDate(const QVariantMap &request, bool save);
    QString setBookMulti(const QVariantMap &request, bool save);
    QString setBookMultiDate(const QVariantMap &request, bool save);
    QString setBookAddress(const QVariantMap &request, bool save);
    bool addAddressValue(const QString &value, const QString &part, const QString &type,
                         platform::ABPerson *person);
    bool addAddressWithMultiValue(const QString &value, const QString &part, const QString &type,
                                  platform::ABPerson *person, platform::ABMultiValue multi);
    QString saveChangesToAddressBook();

    // ---- Messages ------------------------------------------------------------------------
    QString personNotFoundForUid(const QString &uid);
    QString logSetValueFailure(const QString &name, const QString &uid, const QString &key,
                               const QString &value);
    QString logSetValueDictFailure(const QString &name, const QString &uid, const QString &key,
                                   const QString &value);
    QString getFailureMessage(const QString &key, const QString &value);
    QString getSuccessfulMessage(const QString &key, const QString &value, bool save);

    /** The date form fields use: "%Y-%m-%d %H:%M:%S %z". */
    static QString dateString(const QDateTime &date);
    /** Reads dateString()'s form; an invalid QDateTime for anything else. */
    static QDateTime parseDateString(const QString &text);
    /** Every key of the address book, in order (75 mirrored keys and "uid"). */
    static const QStringList &addressBookKeys();

private:
    explicit ZEM_A_E_ABEngine(QObject *parent = nullptr);
    const Map &lazyMap(int which);
    QString setMultiSupport(const QVariantMap &request, bool save, bool dates);

    // Fixed slots, so a map handed out stays where it is while others are built.
    std::array<std::unique_ptr<const Map>, 18> m_maps;
};
