#pragma once

#include "zem_appkit_export.h"
#include "foundation/ZEM_Result.h"
#include "platform/addressbook/ABMultiValue.h"

#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>

namespace platform {

class AddressBook;
class ABGroup;

// ---- Property names, labels and address parts ------------------------------------------
// The names are what the kit's code uses; the values are ours. Labels use the
// "_$!<Name>!$_" form that vCards carry in X-ABLabel, so such labels read as themselves.

inline const QString kABFirstNameProperty = QStringLiteral("First");
inline const QString kABMiddleNameProperty = QStringLiteral("Middle");
inline const QString kABLastNameProperty = QStringLiteral("Last");
inline const QString kABFirstNamePhoneticProperty = QStringLiteral("FirstPhonetic");
inline const QString kABMiddleNamePhoneticProperty = QStringLiteral("MiddlePhonetic");
inline const QString kABLastNamePhoneticProperty = QStringLiteral("LastPhonetic");
inline const QString kABNicknameProperty = QStringLiteral("Nickname");
inline const QString kABMaidenNameProperty = QStringLiteral("MaidenName");
inline const QString kABTitleProperty = QStringLiteral("Title");   ///< personal title ("Dr.")
inline const QString kABSuffixProperty = QStringLiteral("Suffix");
inline const QString kABDepartmentProperty = QStringLiteral("ABDepartment");
inline const QString kABJobTitleProperty = QStringLiteral("JobTitle");
inline const QString kABOrganizationProperty = QStringLiteral("Organization");
inline const QString kABNoteProperty = QStringLiteral("Note");
inline const QString kABHomePageProperty = QStringLiteral("HomePage"); ///< the person's main web page (string)
inline const QString kABBirthdayProperty = QStringLiteral("Birthday");            ///< QDateTime
inline const QString kABCreationDateProperty = QStringLiteral("Creation");        ///< QDateTime
inline const QString kABModificationDateProperty = QStringLiteral("Modification"); ///< QDateTime
inline const QString kABPersonFlags = QStringLiteral("ABPersonFlags");            ///< int
inline const QString kABGroupNameProperty = QStringLiteral("GroupName");
// Multi-values (ABMultiValue); the entry values are strings unless said.
inline const QString kABOtherDatesProperty = QStringLiteral("ABOtherDates"); ///< entry values QDateTime
inline const QString kABEmailProperty = QStringLiteral("Email");
inline const QString kABPhoneProperty = QStringLiteral("Phone");
inline const QString kABURLsProperty = QStringLiteral("URLs");
inline const QString kABRelatedNamesProperty = QStringLiteral("ABRelatedNames");
inline const QString kABAIMInstantProperty = QStringLiteral("AIMInstant");
inline const QString kABICQInstantProperty = QStringLiteral("ICQInstant");
inline const QString kABJabberInstantProperty = QStringLiteral("JabberInstant");
inline const QString kABMSNInstantProperty = QStringLiteral("MSNInstant");
inline const QString kABYahooInstantProperty = QStringLiteral("YahooInstant");
inline const QString kABAddressProperty = QStringLiteral("Address"); ///< entry values QVariantMap part → string

inline const QString kABHomeLabel = QStringLiteral("_$!<Home>!$_");
inline const QString kABWorkLabel = QStringLiteral("_$!<Work>!$_");
inline const QString kABOtherLabel = QStringLiteral("_$!<Other>!$_");
inline const QString kABAddressHomeLabel = kABHomeLabel;
inline const QString kABAddressWorkLabel = kABWorkLabel;
inline const QString kABEmailHomeLabel = kABHomeLabel;
inline const QString kABEmailWorkLabel = kABWorkLabel;
inline const QString kABPhoneMainLabel = QStringLiteral("_$!<Main>!$_");
inline const QString kABPhoneHomeLabel = kABHomeLabel;
inline const QString kABPhoneWorkLabel = kABWorkLabel;
inline const QString kABPhoneMobileLabel = QStringLiteral("_$!<Mobile>!$_");
inline const QString kABPhonePagerLabel = QStringLiteral("_$!<Pager>!$_");
inline const QString kABPhoneHomeFAXLabel = QStringLiteral("_$!<HomeFAX>!$_");
inline const QString kABPhoneWorkFAXLabel = QStringLiteral("_$!<WorkFAX>!$_");
inline const QString kABHomePageLabel = QStringLiteral("_$!<HomePage>!$_");
inline const QString kABAnniversaryLabel = QStringLiteral("_$!<Anniversary>!$_");
inline const QString kABAssistantLabel = QStringLiteral("_$!<Assistant>!$_");
inline const QString kABBrotherLabel = QStringLiteral("_$!<Brother>!$_");
inline const QString kABChildLabel = QStringLiteral("_$!<Child>!$_");
inline const QString kABFatherLabel = QStringLiteral("_$!<Father>!$_");
inline const QString kABFriendLabel = QStringLiteral("_$!<Friend>!$_");
inline const QString kABManagerLabel = QStringLiteral("_$!<Manager>!$_");
inline const QString kABMotherLabel = QStringLiteral("_$!<Mother>!$_");
inline const QString kABParentLabel = QStringLiteral("_$!<Parent>!$_");
inline const QString kABPartnerLabel = QStringLiteral("_$!<Partner>!$_");
inline const QString kABSisterLabel = QStringLiteral("_$!<Sister>!$_");
inline const QString kABSpouseLabel = QStringLiteral("_$!<Spouse>!$_");
inline const QString kABAIMHomeLabel = kABHomeLabel;
inline const QString kABAIMWorkLabel = kABWorkLabel;
inline const QString kABICQHomeLabel = kABHomeLabel;
inline const QString kABICQWorkLabel = kABWorkLabel;
inline const QString kABJabberHomeLabel = kABHomeLabel;
inline const QString kABJabberWorkLabel = kABWorkLabel;
inline const QString kABMSNHomeLabel = kABHomeLabel;
inline const QString kABMSNWorkLabel = kABWorkLabel;
inline const QString kABYahooHomeLabel = kABHomeLabel;
inline const QString kABYahooWorkLabel = kABWorkLabel;

inline const QString kABAddressStreetKey = QStringLiteral("Street");
inline const QString kABAddressCityKey = QStringLiteral("City");
inline const QString kABAddressStateKey = QStringLiteral("State");
inline const QString kABAddressZIPKey = QStringLiteral("ZIP");
inline const QString kABAddressCountryKey = QStringLiteral("Country");
inline const QString kABAddressCountryCodeKey = QStringLiteral("CountryCode");

// Person flags: show-as bits and name-ordering bits.
constexpr int kABShowAsMask = 0x07;
constexpr int kABShowAsPerson = 0x00;
constexpr int kABShowAsCompany = 0x01;
constexpr int kABNameOrderingMask = 0x38;
constexpr int kABDefaultNameOrdering = 0x00;
constexpr int kABLastNameFirst = 0x10;
constexpr int kABFirstNameFirst = 0x20;

// Identifier suffixes of people and groups.
inline const QString kABPersonSuffix = QStringLiteral(":ABPerson");
inline const QString kABGroupSuffix = QStringLiteral(":ABGroup");

// The change notice, posted through the foundation's notification centre
// (ZEM_F_E_Notifications::shared()) when the folder changed; userInfo holds the three
// lists of unique ids (only the non-empty ones) and the sender's process name.
inline const QString kABDatabaseChangedExternallyNotification =
    QStringLiteral("ABDatabaseChangedExternallyNotification");
inline const QString kABInsertedRecords = QStringLiteral("ABInsertedRecords");
inline const QString kABUpdatedRecords = QStringLiteral("ABUpdatedRecords");
inline const QString kABDeletedRecords = QStringLiteral("ABDeletedRecords");
inline const QString kABSenderProcessName = QStringLiteral("ABSenderProcessName");

/**
 * A person or group of an address book. Values are read and set by property name:
 * strings, QDateTime for dates, int for kABPersonFlags, ABMultiValue (in a QVariant)
 * for the multi-value properties. Owned by its address book.
 *
 * A record the book no longer holds (removed with removeRecord(), or whose file another
 * program removed while it held no edit) stays allocated until the book is destroyed, so
 * pointers callers keep never dangle: it still answers its last values, refuses edits,
 * and the book no longer lists it or finds it by id.
 *
 * Groups take kABGroupNameProperty, kABCreationDateProperty and
 * kABModificationDateProperty; people take every other property. kABHomePageProperty is
 * not stored on its own: it is the first kABURLsProperty entry labelled kABHomePageLabel,
 * and setting it changes (or adds, or with an empty text removes) that entry.
 * kABModificationDateProperty is written only when a caller sets it.
 */
class ZEM_APPKIT_EXPORT ABRecord
{
public:
    virtual ~ABRecord();

    /** "<vCard UID>:ABPerson" or "<vCard UID>:ABGroup". */
    QString uniqueId() const;
    virtual bool isGroup() const = 0;
    AddressBook *addressBook() const { return m_book; }

    /** Invalid when the record has no value for \a property. */
    QVariant valueForProperty(const QString &property) const;
    /** Calls \a visit with each property the record holds a value for, in name order, and
        that value: one pass for a caller that reads many properties. kABHomePageProperty,
        which is read from kABURLsProperty, is not visited. */
    void forEachValue(const std::function<void(const QString &property, const QVariant &value)> &visit) const;
    /** Sets (an invalid \a value removes) the value; refused (false) when the value's type
        does not fit the property, for a property the record does not take, and for a
        record its book no longer holds. An empty text or list, and flags 0, remove the
        value; a QDate is taken as that day's local midnight. The change stays in memory
        until the book is saved. */
    bool setValue(const QVariant &value, const QString &property);
    bool removeValueForProperty(const QString &property);

protected:
    ABRecord(AddressBook *book, QString uid);

private:
    friend class AddressBook;
    friend class AddressBookPrivate;
    AddressBook *m_book;
    QString m_uid;
};

class ZEM_APPKIT_EXPORT ABPerson : public ABRecord
{
public:
    bool isGroup() const override { return false; }
    /** The photo's bytes (JPEG, PNG, ... as stored); empty when there is none. */
    QByteArray imageData() const;
    bool setImageData(const QByteArray &data);
    QList<ABGroup *> parentGroups() const;

private:
    friend class AddressBookPrivate;
    using ABRecord::ABRecord;
};

class ZEM_APPKIT_EXPORT ABGroup : public ABRecord
{
public:
    bool isGroup() const override { return true; }
    /** Members that are people of the same book; members the book does not hold are kept but not listed. */
    QList<ABPerson *> members() const;
    bool addMember(ABPerson *person);
    bool removeMember(ABPerson *person);

private:
    friend class AddressBookPrivate;
    using ABRecord::ABRecord;
};

class AddressBookPrivate;

/**
 * The user's address book: a folder of vCard files, one person or group per ".vcf" file
 * (the "vdir" layout that CardDAV sync tools use), or several in an exported file. Edits
 * stay in memory until save(), which writes only the files whose cards changed, each to a
 * temporary file in the same folder that is flushed and renamed over the old one; in a
 * file holding several cards, every other card keeps its bytes.
 *
 * A card another program changed on disk since it was read is not overwritten blindly,
 * even when the change lands while save() runs (each file is checked again just before it
 * is replaced): when the two sides changed different properties they are merged; when
 * both changed the same property, save() fails with ZEM_Error::Conflict naming the card
 * and keeps both the file and the unsaved edit. A card another program removed is gone
 * from the book, unless it holds an edit of that card: then save() fails with Conflict.
 * A card another program renamed or moved to another file is followed there.
 *
 * Files another program adds, changes or removes are noticed (the folder is watched) and
 * announced with kABDatabaseChangedExternallyNotification; the shared book takes the new
 * state of cards it holds no unsaved edit for.
 *
 * Files that cannot be read as a vCard are skipped with a log line (see problems()), and
 * so are links, pipes, devices and files too large for a card: they are never opened for
 * reading nor written through. Saving a card whose file is such a thing, or read-only,
 * fails with ZEM_Error::WriteFailed; so does saving the removal of a read-only card.
 *
 * Cards keep every line the kit does not map, and a save rewrites only the lines of the
 * values that changed (entries of a multi-value that did not change keep their lines).
 * New cards are written as vCard 3.0, others in their own version (2.1 as 3.0). Entry
 * labels with a standard TYPE (home, work, cell, fax, ...) are written as TYPE; any other
 * label goes in an "itemN.X-ABLabel" line. The addresses' street part holds the extended
 * address on a second line when the card has one. The user's own card is named in the
 * dot file ".zem-me" of the folder.
 *
 * A card of KIND org or location is a person shown as a company (kABShowAsCompany), its
 * FN the company name when it has no ORG; showing it as a person turns its KIND line to
 * "individual". A person's card without a name (no N, or an empty one) shows its FN: the
 * last word is the last name, the words before it the first name; an N line is written
 * only when a name part is set or the FN no longer says those names.
 *
 * Change notices name the sender process: this application's name
 * (ZEM_F_Host::delegate()->getAppName()) for files any book of this process wrote, an
 * empty name for other programs' edits. A book announces its own saves at its next read
 * of the folder (the watcher's, or refresh()).
 *
 * **Example**
 * \code
 * AddressBook *book = AddressBook::sharedAddressBook();
 * ABPerson *p = book->addPerson();
 * p->setValue(u"Ada"_s, kABFirstNameProperty);
 * if (auto saved = book->save(); !saved)
 *     qWarning() << saved.error().message; // the edit stays, unsaved
 * \endcode
 */
class ZEM_APPKIT_EXPORT AddressBook : public QObject
{
    Q_OBJECT
public:
    /** The folder the shared book reads: set by the host, else "<generic data>/contacts/default". */
    static QString defaultFolder();
    static void setDefaultFolder(const QString &folder);
    /** The process-wide book on the default folder, created on first use. */
    static AddressBook *sharedAddressBook();
    /** A newly opened view of what is stored now in the default folder. */
    static std::unique_ptr<AddressBook> addressBook();
    /** Drops the shared book, so the next sharedAddressBook() reads the default folder again. */
    static void resetSharedAddressBook();

    /**
     * Opens \a folder (created when missing). \a watch reads it now and follows edits by
     * other programs; without it the folder is read when first needed, and a card asked for
     * by its unique id alone is read from the file named for its UID (the folder only when
     * that file does not hold it). The first read of the folder announces nothing but what
     * changed in cards read before it.
     */
    explicit AddressBook(const QString &folder, bool watch = false, QObject *parent = nullptr);
    ~AddressBook() override;

    QString folder() const;
    /** One line for each file skipped or read only in part at the last read. */
    QStringList problems() const;

    ABRecord *recordForUniqueId(const QString &uniqueId) const;
    /** People and groups in file-name order. */
    QList<ABPerson *> people() const;
    QList<ABGroup *> groups() const;

    /** The user's own card, or null. */
    ABPerson *me() const;
    bool setMe(ABPerson *person);

    /** A new person or group with a new UID, unsaved. */
    ABPerson *addPerson();
    ABGroup *addGroup();
    bool removeRecord(ABRecord *record);

    bool hasUnsavedChanges() const;
    /** Writes the changed cards; the error's message is for people. */
    ZEM_Result<void> save();

    /** Reads the folder again now (what the watcher does), announcing what changed. */
    void refresh();

signals:
    /** The folder changed: the unique ids inserted, updated and deleted. */
    void changed(const QStringList &inserted, const QStringList &updated, const QStringList &deleted,
                 const QString &senderProcessName);

private:
    friend class ABRecord;
    friend class ABPerson;
    friend class ABGroup;
    std::unique_ptr<AddressBookPrivate> d;
};

} // namespace platform
