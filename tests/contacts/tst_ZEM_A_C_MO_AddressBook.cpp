// The contact record over real card files: lazy filling and write-through, the display
// name rules, refresh after another program's edit, calendar-date forms, photos, the
// text blocks and the search string.
#include "ContactsFixture.h"
#include "TestImages.h"

#include "contacts/ZEM_A_C_MO_AddressBook.h"
#include "contacts/ZEM_A_E_ABEngine.h"
#include "contacts/ZEM_A_E_MO_AddressBook.h"
#include "foundation/ZEM_F_C_StoreGroup.h"
#include "platform/AttributedString.h"
#include "platform/store/StoreContext.h"

#include <QBuffer>

using namespace platform;

namespace {

QString text(ZEM_A_C_MO_AddressBook *contact, const char *key)
{
    return contact->valueForKey(QString::fromLatin1(key)).toString();
}

} // namespace

class tst_ZEM_A_C_MO_AddressBook : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        fx = std::make_unique<contacts::Fixture>();
        context = std::make_unique<StoreContext>();
    }

    void cleanup()
    {
        context.reset();
        fx.reset();
    }

    void fieldsFillOnceAndWriteThrough()
    {
        const QString uid = fx->writeCard(u"p1"_qs, {u"N:Berg;Anna;;;"_qs, u"TEL;TYPE=CELL:0171 1"_qs});
        ZEM_A_C_MO_AddressBook *contact = contactFor(uid);
        QCOMPARE(text(contact, "phoneMobile"), u"0171 1"_qs);
        // The address book changes; the record keeps what it read first.
        auto person = ZEM_A_E_ABEngine::shared()->getPersonShared(uid);
        ABMultiValue phones = contacts::multi(person.get(), kABPhoneProperty);
        phones.replaceValueAtIndex(0, u"0171 2"_qs);
        QVERIFY(person->setValue(QVariant::fromValue(phones), kABPhoneProperty));
        QCOMPARE(text(contact, "phoneMobile"), u"0171 1"_qs);
        QCOMPARE(contact->addressBookDict().value(u"phoneMobile"_qs), QVariant(u"0171 1"_qs));

        // A field the address book lacks reads as the empty string.
        QCOMPARE(contact->valueForKey(u"nickname"_qs), QVariant(u""_qs));

        // Setting stores with a notice and writes the address book at once.
        int notices = 0;
        contact->addObserver(u"lastName"_qs, context.get(), [&notices](const ChangeNotice &) { ++notices; });
        contact->setValueForKey(u"Lind"_qs, u"lastName"_qs);
        QCOMPARE(notices, 1);
        QCOMPARE(person->valueForProperty(kABLastNameProperty), QVariant(u"Lind"_qs));
        QCOMPARE(contact->addressBookDict().value(u"lastName"_qs), QVariant(u"Lind"_qs));
        QCOMPARE(text(contact, "lastName"), u"Lind"_qs);
    }

    void notesAndStatus()
    {
        const QString uid = fx->writeCard(u"p2"_qs, {u"N:Berg;Anna;;;"_qs, u"NOTE:old"_qs});
        ZEM_A_C_MO_AddressBook *contact = contactFor(uid);
        QCOMPARE(contact->valueForKey(u"noteSearch"_qs), QVariant(u"old"_qs));
        contact->setValueForKey(u""_qs, u"notes"_qs);
        // Stored as no value, sent as the empty string, which clears the note.
        QVERIFY(!contact->primitiveValueForKey(u"notes"_qs).isValid());
        QCOMPARE(contact->addressBookDict().value(u"notes"_qs), QVariant(u""_qs));
        QVERIFY(!ZEM_A_E_ABEngine::shared()->getPersonShared(uid)->valueForProperty(kABNoteProperty).isValid());

        contact->setValueForKey(QVariant::fromValue(AttributedString(u"new note"_qs)), u"notesString"_qs);
        QCOMPARE(ZEM_A_E_ABEngine::shared()->valueForKey(u"notes"_qs, uid, true), QVariant(u"new note"_qs));

        const std::pair<QVariant, int> counts[] = {{QVariant(), 0}, {0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}};
        for (const auto &[status, count] : counts) {
            contact->setImPersonStatus(status);
            QCOMPARE(contact->valueForKey(u"contactImPersonStatusCount"_qs).toInt(), count);
        }
    }

    void displayName_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("flags");
        QTest::addColumn<QVariant>("name");
        QTest::addColumn<bool>("byCompany");
        const QString anna = u"N:Berg;Anna;;;"_qs;
        const QString maria = u"N:Berg;Anna;Maria;;"_qs;
        const QString org = u"ORG:Acme"_qs;
        QTest::newRow("first last") << QStringList{anna} << 0 << QVariant(u"Anna Berg"_qs) << false;
        QTest::newRow("with middle") << QStringList{maria} << 0 << QVariant(u"Anna Maria Berg"_qs) << false;
        QTest::newRow("last first") << QStringList{anna} << 0x10 << QVariant(u"Berg Anna"_qs) << false;
        QTest::newRow("last first, middle") << QStringList{maria} << 0x10 << QVariant(u"Berg Anna Maria"_qs) << false;
        QTest::newRow("first first flag") << QStringList{anna} << 0x20 << QVariant(u"Anna Berg"_qs) << false;
        QTest::newRow("company only") << QStringList{u"N:;;;;"_qs, org} << 0 << QVariant(u"Acme"_qs) << false;
        QTest::newRow("first only") << QStringList{u"N:;Anna;;;"_qs} << 0 << QVariant(u"Anna"_qs) << false;
        QTest::newRow("last only") << QStringList{u"N:Berg;;;;"_qs, org} << 0 << QVariant(u"Berg"_qs) << false;
        QTest::newRow("nothing") << QStringList{u"N:;;;;"_qs} << 0 << QVariant() << false;
        QTest::newRow("as company") << QStringList{anna, org} << 1 << QVariant(u"Acme"_qs) << true;
        QTest::newRow("as company, none") << QStringList{anna} << 1 << QVariant(u"Anna Berg"_qs) << false;
        QTest::newRow("as company, last first") << QStringList{anna, org} << 0x11 << QVariant(u"Acme"_qs) << true;
    }

    void displayName()
    {
        QFETCH(QStringList, lines);
        QFETCH(int, flags);
        QFETCH(QVariant, name);
        QFETCH(bool, byCompany);
        const QString uid = fx->writeCard(u"dn"_qs, lines);
        ZEM_A_C_MO_AddressBook *contact = contactFor(uid);
        QVERIFY(ZEM_A_E_ABEngine::shared()->getPersonShared(uid)->setValue(flags, kABPersonFlags));
        QCOMPARE(contact->displayName(), name);
        QCOMPARE(contact->showByCompany(), byCompany);
        QCOMPARE(contact->valueForKey(u"contactPersonCount"_qs).toInt(), byCompany ? 0 : 1);
    }

    void refreshTakesOverOutsideEdits()
    {
        const QString uid = fx->writeCard(u"p3"_qs, {u"N:Berg;Anna;;;"_qs, u"NICKNAME:Annie"_qs});
        ZEM_A_C_MO_AddressBook *contact = contactFor(uid);
        QCOMPARE(text(contact, "lastName"), u"Berg"_qs);
        QCOMPARE(text(contact, "nickname"), u"Annie"_qs);
        QStringList changed;
        for (const QString &key : {u"lastName"_qs, u"nickname"_qs, u"firstName"_qs})
            contact->addObserver(key, context.get(), [&changed](const ChangeNotice &n) { changed << n.key; });

        // Another program renames her, first and last name; only lastName was read before.
        fx->writeCard(u"p3"_qs, {u"N:Lind;Anne;;;"_qs, u"NICKNAME:Annie"_qs});
        contact->releaseAddressBookDict();
        QCOMPARE(changed, QStringList{u"lastName"_qs});
        QCOMPARE(contact->primitiveValueForKey(u"lastName"_qs), QVariant(u"Lind"_qs));
        QCOMPARE(contact->addressBookDict().value(u"lastName"_qs), QVariant(u"Lind"_qs));
        QVERIFY(!contact->addressBookDict().contains(u"firstName"_qs));

        // A field cleared outside becomes the empty string.
        fx->writeCard(u"p3"_qs, {u"N:Lind;Anne;;;"_qs});
        changed.clear();
        contact->releaseAddressBookDict();
        QCOMPARE(changed, QStringList{u"nickname"_qs});
        QCOMPARE(text(contact, "nickname"), u""_qs);
    }

    void calendarDates()
    {
        const QString uid = fx->writeCard(u"p4"_qs, {u"N:Berg;Anna;;;"_qs});
        ZEM_A_C_MO_AddressBook *contact = contactFor(uid);
        QVERIFY(!contact->calDate(u"birthday"_qs).isValid());
        // The tests run in Europe/Berlin: +01:00 in March 1970.
        contact->setValueForKey(QDateTime(QDate(1970, 3, 5), QTime(0, 0)), u"birthdayCalDate"_qs);
        QCOMPARE(contact->primitiveValueForKey(u"birthday"_qs), QVariant(u"1970-03-05 00:00:00 +0100"_qs));
        QCOMPARE(contact->valueForKey(u"birthdayCalDate"_qs).toDateTime(),
                 QDateTime(QDate(1970, 3, 5), QTime(0, 0)));
        const QDateTime stored =
            ZEM_A_E_ABEngine::shared()->getPersonShared(uid)->valueForProperty(kABBirthdayProperty).toDateTime();
        QCOMPARE(stored.toLocalTime().date(), QDate(1970, 3, 5));
        // Summer time gives +0200; text that is no date gives no date.
        contact->setValueForKey(QDateTime(QDate(1999, 7, 1), QTime(12, 30, 5)), u"anniversaryCalDate"_qs);
        QCOMPARE(text(contact, "anniversary"), u"1999-07-01 12:30:05 +0200"_qs);
        contact->setPrimitiveValue(u"soon"_qs, u"creationDate"_qs);
        QVERIFY(!contact->valueForKey(u"creationCalDate"_qs).toDateTime().isValid());
    }

    void imagesAndPhoto()
    {
        ZEM_F_C_StoreGroup *images = ZEM_F_C_StoreGroup::shared();
        images->setImage(u"OVPerson"_qs, zemtest::filled(QSize(4, 4), Qt::red));
        images->setImage(u"OVCompany"_qs, zemtest::filled(QSize(4, 4), Qt::green));
        images->setImage(u"NSUser"_qs, zemtest::filled(QSize(4, 4), Qt::blue));

        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        zemtest::filled(QSize(8, 8), Qt::yellow).save(&buffer, "PNG");
        const QString uid = fx->writeCard(u"p5"_qs, {u"N:Berg;Anna;;;"_qs, u"ORG:Acme"_qs,
                                                     u"PHOTO;ENCODING=b;TYPE=PNG:"_qs + QString::fromLatin1(png.toBase64())});
        const QString plain = fx->writeCard(u"p6"_qs, {u"N:Lind;Ben;;;"_qs});
        ZEM_A_C_MO_AddressBook *anna = contactFor(uid);
        ZEM_A_C_MO_AddressBook *ben = contactFor(plain);

        QCOMPARE(anna->contactImage().pixelColor(0, 0), QColor(Qt::red));
        QVERIFY(ZEM_A_E_ABEngine::shared()->getPersonShared(uid)->setValue(kABShowAsCompany, kABPersonFlags));
        QCOMPARE(anna->contactImage().pixelColor(0, 0), QColor(Qt::green));
        QVERIFY(AddressBook::sharedAddressBook()->setMe(
            dynamic_cast<ABPerson *>(AddressBook::sharedAddressBook()->recordForUniqueId(plain))));
        QCOMPARE(ben->contactImage().pixelColor(0, 0), QColor(Qt::blue));
        QCOMPARE(QImage::fromData(ben->contactImageData()).pixelColor(0, 0), QColor(Qt::blue));

        QCOMPARE(anna->imageForUid(), png);
        QCOMPARE(anna->contactPhoto().pixelColor(3, 3), QColor(Qt::yellow));
        // Without a photo: the card image.
        const QImage card = QImage::fromData(ben->imageForUid());
        QCOMPARE(card.size(), images->imageForKey(u"VCard"_qs).size());

        // Setting a photo stores it at once and touches the modification date.
        ben->setValueForKey(QByteArray(png), u"imageForUid"_qs);
        const auto stored = fx->stored();
        const auto *storedBen = dynamic_cast<ABPerson *>(stored->recordForUniqueId(plain));
        QVERIFY(storedBen);
        QCOMPARE(storedBen->imageData(), png);
        QCOMPARE(ben->imageForUid(), png);
        QVERIFY(ben->addressBookDict().contains(u"modificationDate"_qs));
        // A record without uid gets nothing set.
        auto *nobody = context->insertNewObject<ZEM_A_C_MO_AddressBook>();
        nobody->setImageForUid(png);
        QCOMPARE(QImage::fromData(nobody->imageForUid()).size(), card.size());
    }

    void primaryEntries()
    {
        const QString uid = fx->writeCard(
            u"p7"_qs, {u"N:Berg;Anna;;;"_qs, u"EMAIL;TYPE=HOME:a@home.example"_qs, u"EMAIL;TYPE=WORK,PREF:a@work.example"_qs,
                       u"ADR;TYPE=HOME:;;Hauptstr. 1;Berlin;;10115;Germany"_qs,
                       u"ADR;TYPE=WORK,PREF:;;Am Markt 2;Potsdam;BB;14467;"_qs});
        ZEM_A_C_MO_AddressBook *contact = contactFor(uid);
        QCOMPARE(contact->valueForKey(u"primaryEmail"_qs), QVariant(u"a@work.example"_qs));
        QCOMPARE(contact->valueForKey(u"userMainAddressCity"_qs), QVariant(u"Potsdam"_qs));
        QCOMPARE(contact->valueForKey(u"userMainAddressZipCode"_qs), QVariant(u"14467"_qs));
        QVERIFY(!contact->valueForKey(u"userMainAddressCountry"_qs).isValid()); // empty counts as none

        // Without a preferred entry the first one is the primary one.
        const QString none = fx->writeCard(u"p8"_qs, {u"N:Lind;Ben;;;"_qs, u"EMAIL;TYPE=HOME:b@home.example"_qs,
                                                      u"EMAIL;TYPE=WORK:b@work.example"_qs,
                                                      u"ADR;TYPE=WORK:;;Kai 3;Kiel;;24103;"_qs});
        ZEM_A_C_MO_AddressBook *ben = contactFor(none);
        QCOMPARE(ben->valueForKey(u"primaryEmail"_qs), QVariant(u"b@home.example"_qs));
        QCOMPARE(ben->valueForKey(u"userMainAddressStreet"_qs), QVariant(u"Kai 3"_qs));

        const QString bare = fx->writeCard(u"p9"_qs, {u"N:Ek;Cai;;;"_qs});
        QVERIFY(!contactFor(bare)->valueForKey(u"primaryEmail"_qs).isValid());
    }

    void countryTable()
    {
        auto *contact = context->insertNewObject<ZEM_A_C_MO_AddressBook>();
        QCOMPARE(contact->countryDict().size(), 61);
        QCOMPARE(contact->countryForCoutryCode(u"Germany"_qs), QVariant(u"de"_qs));
        QCOMPARE(contact->countryForCoutryCode(u"United Kingdom"_qs), QVariant(u"uk"_qs));
        QVERIFY(!contact->countryForCoutryCode(u"de"_qs).isValid());
        QVERIFY(!contact->countryForCoutryCode(QVariant()).isValid());
    }

    void addressBlocks_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("block");
        QTest::newRow("full work") << QStringList{u"ORG:Acme"_qs, u"ADR;TYPE=WORK:;;1 Main St;Springfield;IL;62701;USA"_qs}
                                   << 1 << u"Acme\n1 Main St\nSpringfield, IL 62701 USA"_qs;
        QTest::newRow("city and zip") << QStringList{u"ADR;TYPE=WORK:;;;Springfield;;62701;"_qs} << 1
                                      << u"Springfield 62701"_qs;
        QTest::newRow("company street country")
            << QStringList{u"ORG:Acme"_qs, u"ADR;TYPE=HOME:;;1 Main St;;;;USA"_qs} << 0 << u"Acme\n1 Main St\nUSA"_qs;
        QTest::newRow("state only") << QStringList{u"ADR;TYPE=HOME:;;;;IL;;"_qs} << 0 << u"IL"_qs;
        QTest::newRow("street and state") << QStringList{u"ADR;TYPE=HOME:;;1 Main St;;IL;;"_qs} << 0
                                          << u"1 Main St\nIL"_qs;
        QTest::newRow("zip and country") << QStringList{u"ADR;TYPE=HOME:;;;;;62701;USA"_qs} << 0 << u"62701 USA"_qs;
        QTest::newRow("kind 3 is home") << QStringList{u"ADR;TYPE=HOME:;;;Oslo;;;"_qs} << 3 << u"Oslo"_qs;
        QTest::newRow("other kind") << QStringList{u"ADR;TYPE=HOME:;;;Oslo;;;"_qs, u"ADR:;;;Bergen;;;"_qs} << 2
                                    << u"Bergen"_qs;
    }

    void addressBlocks()
    {
        QFETCH(QStringList, lines);
        QFETCH(int, kind);
        QFETCH(QString, block);
        ZEM_A_C_MO_AddressBook *contact = contactFor(fx->writeCard(u"ad"_qs, QStringList{u"N:Berg;Anna;;;"_qs} + lines));
        ZEM_A_E_MO_AddressBook *texts = ZEM_A_E_MO_AddressBook::shared();
        QCOMPARE(texts->userFullAddressSupport(kind, contact), block);
        QCOMPARE(texts->userFullNameAddressSupport(kind, contact), u"Anna Berg\n"_qs + block);
        // The three blocks always make three lines.
        QCOMPARE(texts->userFullAddress(contact).count(u'\n'), 2 + block.count(u'\n'));
    }

    void callBlocksAndSearch()
    {
        ZEM_A_E_MO_AddressBook *texts = ZEM_A_E_MO_AddressBook::shared();
        ZEM_A_C_MO_AddressBook *mobile = contactFor(fx->writeCard(u"c1"_qs, {u"N:;Anna;;;"_qs, u"TEL;TYPE=CELL:0171 1"_qs}));
        for (int kind : {0, 1, 2, 7})
            QCOMPARE(texts->userCallInfoSupport(kind, mobile), u"Mobile:\t0171 1"_qs);
        QCOMPARE(mobile->valueForKey(u"userCallInfo"_qs), QVariant(u"Mobile:\t0171 1\nMobile:\t0171 1\nMobile:\t0171 1"_qs));
        QCOMPARE(mobile->valueForKey(u"userFullAddress"_qs), QVariant(u"\n\n"_qs));
        // Every name read holds at least the empty string, so the first rule applies.
        QCOMPARE(mobile->valueForKey(u"searchString"_qs), QVariant(u"Anna  "_qs));
        QCOMPARE(texts->userFullName(mobile), u"Anna"_qs);

        ZEM_A_C_MO_AddressBook *full = contactFor(fx->writeCard(
            u"c2"_qs, {u"N:Berg;Anna;;;"_qs, u"ORG:Acme"_qs, u"TEL;TYPE=MAIN:1"_qs, u"TEL;TYPE=HOME:2"_qs,
                       u"TEL;TYPE=WORK:3"_qs, u"TEL;TYPE=PAGER:5"_qs, u"TEL;TYPE=HOME,FAX:6"_qs,
                       u"TEL;TYPE=WORK,FAX:7"_qs, u"EMAIL;TYPE=WORK:w@example.org"_qs,
                       u"item1.URL:https://work.example"_qs, u"item1.X-ABLabel:_$!<Work>!$_"_qs,
                       u"TEL;TYPE=OTHER:99"_qs}));
        QCOMPARE(texts->userCallInfoSupport(1, full),
                 u"Main:\t1\nHome:\t2\nWork:\t3\nPager:\t5\nFax H.:\t6\nFax W.:\t7\nEmail:\tw@example.org\nWeb:\thttps://work.example"_qs);
        QCOMPARE(texts->userCallInfoSupport(0, full), u"Main:\t1\nHome:\t2\nWork:\t3\nPager:\t5\nFax H.:\t6\nFax W.:\t7"_qs);
        QCOMPARE(full->valueForKey(u"searchString"_qs), QVariant(u"Anna Berg Acme"_qs));

        // No uid at all: every name is the empty string.
        auto *nobody = context->insertNewObject<ZEM_A_C_MO_AddressBook>();
        QCOMPARE(nobody->valueForKey(u"searchString"_qs), QVariant(u"  "_qs));
        QVERIFY(!nobody->displayName().isValid());
        QCOMPARE(texts->userFullNameAddressSupport(0, nobody), u""_qs);
    }

private:
    ZEM_A_C_MO_AddressBook *contactFor(const QString &uid);

    std::unique_ptr<contacts::Fixture> fx;
    std::unique_ptr<StoreContext> context;
};

ZEM_A_C_MO_AddressBook *tst_ZEM_A_C_MO_AddressBook::contactFor(const QString &uid)
{
    AddressBook::resetSharedAddressBook();
    auto *contact = context->insertNewObject<ZEM_A_C_MO_AddressBook>();
    contact->setUid(uid);
    return contact;
}

ZEM_TEST_MAIN(tst_ZEM_A_C_MO_AddressBook)
#include "tst_ZEM_A_C_MO_AddressBook.moc"
