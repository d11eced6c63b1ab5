// The address book engine on real card files: key classification, reading every kind
// of field, the write rules for multi-values and addresses, refusals with their messages
// and log lines, and saving.
#include "ContactsFixture.h"

#include "contacts/ZEM_A_E_ABEngine.h"

using namespace platform;

namespace {

QVariantMap request(const QString &key, const QString &uid, const QString &value)
{
    return {{u"key"_qs, key}, {u"uid"_qs, uid}, {u"value"_qs, value}};
}

const QString kAnna = u"anna-berg"_qs;

QStringList annaLines()
{
    return {u"N:Berg;Anna;;;"_qs, u"FN:Anna Berg"_qs, u"ORG:Berg & Söhne;Einkauf"_qs,
            u"NOTE:Met at the fair\\nTwice"_qs, u"BDAY:1970-03-05"_qs, u"TEL;TYPE=WORK:+49 30 111"_qs,
            u"TEL;TYPE=WORK:+49 30 222"_qs, u"EMAIL;TYPE=HOME:anna@example.org"_qs,
            u"ADR;TYPE=HOME:;;Hauptstr. 1;Berlin;BE;10115;Germany"_qs, u"X-ABShowAs:COMPANY"_qs};
}

} // namespace

class tst_ZEM_A_E_ABEngine : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        fx = std::make_unique<contacts::Fixture>();
        anna = fx->writeCard(kAnna, annaLines());
        fx->writeCard(u"bare"_qs, {u"N:Bare;Ben;;;"_qs, u"FN:Ben Bare"_qs});
        QCOMPARE(AddressBook::sharedAddressBook()->people().size(), 2);
    }

    void cleanup()
    {
        fx.reset();
    }

    void mapsAndKeyLists()
    {
        const std::pair<const ZEM_A_E_ABEngine::Map &, int> sizes[] = {
            {ab->stringDictionary(), 14},       {ab->dateDictionary(), 3},        {ab->emailDictionary(), 3},
            {ab->phoneDictionary(), 8},         {ab->urlDictionary(), 4},         {ab->relatedNamesDictionary(), 11},
            {ab->aimDictionary(), 3},           {ab->icqDictionary(), 3},         {ab->jabberDictionary(), 3},
            {ab->msnDictionary(), 3},           {ab->yahooDictionary(), 3},       {ab->otherDatesDictionary(), 1},
            {ab->addressHomeDictionary(), 6},   {ab->addressWorkDictionary(), 6}, {ab->addressOtherDictionary(), 6},
            {ab->multiDictionary(), 41},        {ab->multiDateDictionary(), 1},   {ab->addressDictionary(), 18},
        };
        for (const auto &[map, size] : sizes)
            QCOMPARE(map.size(), size);
        // Every key of the list but uid is a field of exactly one kind.
        const QStringList keys = ab->getAddressBookKeys().split(u":~:"_qs);
        QCOMPARE(keys.size(), 76);
        QCOMPARE(keys.first(), u"aimInstantHome"_qs);
        QCOMPARE(keys.last(), u"yahooInstantWork"_qs);
        for (const QString &key : keys) {
            const int kinds = ab->checkStringValue(key) + ab->checkDateValue(key) + ab->checkMultiValue(key)
                + ab->checkMultiDateValue(key) + ab->checkAddressValue(key);
            QCOMPARE(kinds, key == u"uid" ? 0 : 1);
        }
        QVERIFY(!keys.contains(u"phoneOther"_qs));
        QCOMPARE(ab->getAddressBookPickerKeys(), u"firstName:~:lastName:~:companyName:~:uid"_qs);
        QCOMPARE(ab->stripKeySuffix(u"abcdef"_qs, u"zz"_qs), u"abcd"_qs);
        QCOMPARE(ab->stripKeySuffix(u"a"_qs, u"zz"_qs), u""_qs);

        QCOMPARE(ab->convertStringValue(u"title"_qs), kABDepartmentProperty);
        QCOMPARE(ab->convertMultiValue(u"otherEmail"_qs), u"_$!<Other>!$_"_qs);
        QCOMPARE(ab->convertMultiValue(u"homePage"_qs), u"_$!<Home>!$_"_qs);
        QCOMPARE(ab->convertMultiValue(u"mainPage"_qs), kABHomePageLabel);
        QCOMPARE(ab->getMultValueLabel(u"jabberInstantWork"_qs), kABJabberInstantProperty);
        QCOMPARE(ab->getMultValueLabel(u"PhoneOther"_qs), kABPhoneProperty);
        QVERIFY(ab->getMultValueLabel(u"birthday"_qs).isNull());
        QCOMPARE(ab->getMultValueDateLabel(u"anniversary"_qs), kABOtherDatesProperty);
        QCOMPARE(ab->getAddressType(u"otherAddressZip"_qs), kABOtherLabel);
        QVERIFY(ab->convertAddressValue(u"firstName"_qs).isNull());
    }

    void readingEveryKind()
    {
        for (bool shared : {true, false}) {
            QCOMPARE(ab->valueForKey(u"firstName"_qs, anna, shared), QVariant(u"Anna"_qs));
            QCOMPARE(ab->valueForKey(u"companyName"_qs, anna, shared), QVariant(u"Berg & Söhne"_qs));
            QCOMPARE(ab->valueForKey(u"title"_qs, anna, shared), QVariant(u"Einkauf"_qs));
            QCOMPARE(ab->valueForKey(u"notes"_qs, anna, shared), QVariant(u"Met at the fair\nTwice"_qs));
            // The first of two work numbers.
            QCOMPARE(ab->valueForKey(u"phoneWork"_qs, anna, shared), QVariant(u"+49 30 111"_qs));
            QCOMPARE(ab->valueForKey(u"homeEmail"_qs, anna, shared), QVariant(u"anna@example.org"_qs));
            QCOMPARE(ab->valueForKey(u"homeAddressZip"_qs, anna, shared), QVariant(u"10115"_qs));
            QCOMPARE(ab->valueForKey(u"workAddressZip"_qs, anna, shared), QVariant(u""_qs));
            const QString birthday = ab->valueForKey(u"birthday"_qs, anna, shared).toString();
            QVERIFY2(birthday.startsWith(u"1970-03-05 "), qPrintable(birthday));
            QCOMPARE(ab->parseDateString(birthday).date(), QDate(1970, 3, 5));
            QCOMPARE(ab->valueForKey(kABPersonFlags, anna, shared).toInt() & kABShowAsMask, kABShowAsCompany);
            QCOMPARE(ab->valueForKey(u"uid"_qs, anna, shared), QVariant(anna));
            QCOMPARE(ab->valueForKey(u"phoneMobile"_qs, anna, shared), QVariant(u""_qs));
            QCOMPARE(ab->valueForKey(u"PhoneOther"_qs, anna, shared), QVariant(u""_qs));
            QCOMPARE(ab->valueForKey(u"noSuchKey"_qs, anna, shared), QVariant(u""_qs));
        }
        const QVariantMap picker = ab->getPickerValuesUid(anna);
        QCOMPARE(picker.size(), 4);
        QCOMPARE(picker.value(u"lastName"_qs), QVariant(u"Berg"_qs));
        QCOMPARE(picker.value(u"uid"_qs), QVariant(anna));
        const QVariantMap all = ab->abAllValuesForUid(anna);
        QCOMPARE(all.size(), 76);
        QCOMPARE(all.value(u"homeAddressCity"_qs), QVariant(u"Berlin"_qs));
    }

    // Dates are shown in the zone TZ names now, which a host may change while it runs.
    void datesInLocalTime_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QDateTime>("date");
        QTest::addColumn<QString>("shown");
        const auto utc = [](int y, int mo, int d, int h, int mi) { return QDateTime(QDate(y, mo, d), QTime(h, mi), Qt::UTC); };
        QTest::newRow("summer") << QByteArray("Europe/Berlin") << utc(2021, 7, 1, 12, 0) << u"2021-07-01 14:00:00 +0200"_qs;
        QTest::newRow("other zone") << QByteArray("America/New_York") << utc(2021, 1, 1, 3, 0) << u"2020-12-31 22:00:00 -0500"_qs;
        QTest::newRow("half hours") << QByteArray("Asia/Kolkata") << utc(1999, 5, 5, 0, 0) << u"1999-05-05 05:30:00 +0530"_qs;
        QTest::newRow("at a change") << QByteArray("Europe/Berlin") << utc(2021, 3, 28, 1, 30) << u"2021-03-28 03:30:00 +0200"_qs;
        QTest::newRow("a second begun before 1970") << QByteArray("Europe/Berlin")
                                                   << QDateTime::fromMSecsSinceEpoch(-500, Qt::UTC)
                                                   << u"1970-01-01 00:59:59 +0100"_qs;
    }

    void datesInLocalTime()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDateTime, date);
        QFETCH(QString, shown);
        qputenv("TZ", zone);
        const auto restore = qScopeGuard([] { qputenv("TZ", "Europe/Berlin"); });
        QCOMPARE(ab->dateString(date), shown);
        // A day stored as local midnight keeps its day.
        QCOMPARE(ab->dateString(QDateTime(QDate(1960, 1, 5), QTime(0, 0))).left(20), u"1960-01-05 00:00:00 "_qs);
    }

    void readingWithoutPerson()
    {
        for (const QString &uid : {u"nobody:ABPerson"_qs, QString()}) {
            QCOMPARE(ab->valueForKey(u"firstName"_qs, uid, true), QVariant(u""_qs));
            QCOMPARE(ab->valueForKey(u"birthday"_qs, uid, false), QVariant(u""_qs));
            QCOMPARE(ab->valueForKey(kABPersonFlags, uid, true), QVariant(u""_qs));
            QVERIFY(!ab->getPersonShared(uid));
        }
        QCOMPARE(ab->valueForKey(u"uid"_qs, u"nobody:ABPerson"_qs, true), QVariant(u"nobody:ABPerson"_qs));
        QCOMPARE(ab->valueForKey(u"uid"_qs, QString(), true), QVariant(u""_qs));
    }

    void multiValueWrites()
    {
        const QString ben = u"bare"_qs + kABPersonSuffix;
        // No phones yet: one mobile entry holding the number, not an extra empty one.
        QVERIFY(ab->setBookValue(request(u"phoneMobile"_qs, ben, u"0171 555"_qs)).isNull());
        ABMultiValue phones = contacts::multi(ab->getPersonShared(ben).get(), kABPhoneProperty);
        QCOMPARE(phones.count(), 1);
        QCOMPARE(phones.labelAt(0), kABPhoneMobileLabel);
        QCOMPARE(phones.valueAt(0), QVariant(u"0171 555"_qs));

        // Two work numbers: the first is replaced, the second kept.
        QVERIFY(ab->setBookValue(request(u"phoneWork"_qs, anna, u"+49 30 999"_qs)).isNull());
        phones = contacts::multi(ab->getPersonShared(anna).get(), kABPhoneProperty);
        QCOMPARE(phones.count(), 2);
        QCOMPARE(phones.valueAt(0), QVariant(u"+49 30 999"_qs));
        QCOMPARE(phones.valueAt(1), QVariant(u"+49 30 222"_qs));

        // The empty string empties the entry but keeps it.
        QVERIFY(ab->setBookValue(request(u"homeEmail"_qs, anna, u""_qs)).isNull());
        const ABMultiValue emails = contacts::multi(ab->getPersonShared(anna).get(), kABEmailProperty);
        QCOMPARE(emails.count(), 1);
        QCOMPARE(emails.valueAt(0), QVariant(u""_qs));

        // A date entry: added, then cleared.
        QVERIFY(ab->setBookValue(request(u"anniversary"_qs, anna, u"2001-06-09 00:00:00 +0200"_qs)).isNull());
        ABMultiValue dates = contacts::multi(ab->getPersonShared(anna).get(), kABOtherDatesProperty);
        QCOMPARE(dates.count(), 1);
        QCOMPARE(dates.labelAt(0), kABAnniversaryLabel);
        QCOMPARE(dates.valueAt(0).toDateTime().toUTC(), QDateTime(QDate(2001, 6, 8), QTime(22, 0), Qt::UTC));
        QVERIFY(ab->setBookValue(request(u"anniversary"_qs, anna, u""_qs)).isNull());
        QCOMPARE(contacts::multi(ab->getPersonShared(anna).get(), kABOtherDatesProperty).count(), 0);

        // Nothing is on disk until saved.
        QVERIFY(!fx->fileText(kAnna).contains("999"));
        QVERIFY(ab->hasUnsavedChanges());
    }

    void addressWrites()
    {
        // A home address only: writing the work city adds a work address holding just the city.
        QVERIFY(ab->setBookValue(request(u"workAddressCity"_qs, anna, u"Potsdam"_qs)).isNull());
        ABMultiValue addresses = contacts::multi(ab->getPersonShared(anna).get(), kABAddressProperty);
        QCOMPARE(addresses.count(), 2);
        QCOMPARE(addresses.labelAt(1), kABWorkLabel);
        QCOMPARE(addresses.valueAt(1).toMap(), QVariantMap({{kABAddressCityKey, u"Potsdam"_qs}}));

        // Changing the home postal code keeps the other parts.
        QVERIFY(ab->setBookValue(request(u"homeAddressZip"_qs, anna, u"10117"_qs)).isNull());
        addresses = contacts::multi(ab->getPersonShared(anna).get(), kABAddressProperty);
        const QVariantMap home = addresses.valueAt(0).toMap();
        QCOMPARE(home.value(kABAddressZIPKey), QVariant(u"10117"_qs));
        QCOMPARE(home.value(kABAddressStreetKey), QVariant(u"Hauptstr. 1"_qs));
        QCOMPARE(home.value(kABAddressCityKey), QVariant(u"Berlin"_qs));
        QCOMPARE(ab->valueForKey(u"homeAddressZip"_qs, anna, true), QVariant(u"10117"_qs));

        // A person without addresses gets one address with the part.
        const QString ben = u"bare"_qs + kABPersonSuffix;
        QVERIFY(ab->setBookValue(request(u"otherAddressCountry"_qs, ben, u"Norway"_qs)).isNull());
        addresses = contacts::multi(ab->getPersonShared(ben).get(), kABAddressProperty);
        QCOMPARE(addresses.count(), 1);
        QCOMPARE(addresses.labelAt(0), kABOtherLabel);
        QCOMPARE(addresses.valueAt(0).toMap(), QVariantMap({{kABAddressCountryKey, u"Norway"_qs}}));
    }

    void stringAndDateWrites()
    {
        auto person = ab->getPersonShared(anna);
        QVERIFY(ab->setBookValue(request(u"nickname"_qs, anna, u"Annie"_qs)).isNull());
        QCOMPARE(person->valueForProperty(kABNicknameProperty), QVariant(u"Annie"_qs));
        // The empty string clears a string field.
        QVERIFY(ab->setBookValue(request(u"notes"_qs, anna, u""_qs)).isNull());
        QVERIFY(!person->valueForProperty(kABNoteProperty).isValid());
        // And a date.
        QVERIFY(person->valueForProperty(kABBirthdayProperty).isValid());
        QVERIFY(ab->setBookValue(request(u"birthday"_qs, anna, u""_qs)).isNull());
        QVERIFY(!person->valueForProperty(kABBirthdayProperty).isValid());
        // A date in the field form round-trips.
        QVERIFY(ab->setBookValue(request(u"birthday"_qs, anna, u"1980-12-24 00:00:00 +0100"_qs)).isNull());
        QCOMPARE(ab->valueForKey(u"birthday"_qs, anna, true), QVariant(u"1980-12-24 00:00:00 +0100"_qs));
    }

    void refusedRequests_data()
    {
        QTest::addColumn<QVariantMap>("request");
        QTest::addColumn<QString>("message");
        const QString bad = u"SetBookValue failed beacuse of bad dictionary"_qs;
        QVariantMap four = request(u"firstName"_qs, u"anna-berg:ABPerson"_qs, u"Ann"_qs);
        four.insert(u"save"_qs, true);
        QTest::newRow("fourth entry") << four << bad;
        QTest::newRow("empty") << QVariantMap() << bad;
        QTest::newRow("unknown key") << request(u"shoeSize"_qs, u"anna-berg:ABPerson"_qs, u"38"_qs) << bad;
        QTest::newRow("uid, not a field") << request(u"uid"_qs, u"anna-berg:ABPerson"_qs, u"x"_qs) << bad;
        QTest::newRow("no person") << request(u"firstName"_qs, u"ghost:ABPerson"_qs, u"Ann"_qs)
                                   << u"No Person found for ghost:ABPerson"_qs;
    }

    void refusedRequests()
    {
        QFETCH(QVariantMap, request);
        QFETCH(QString, message);
        QCOMPARE(ab->setBookValue(request), message);
        QCOMPARE(ab->valueForKey(u"firstName"_qs, anna, true), QVariant(u"Anna"_qs));
        QVERIFY(!ab->hasUnsavedChanges());
    }

    void incompleteRequestLogsEachMissingEntry()
    {
        // Three entries, but the value is missing: one log line, then the M07 text.
        const QVariantMap noValue{{u"key"_qs, u"firstName"_qs}, {u"uid"_qs, anna}, {u"valeur"_qs, u"Ann"_qs}};
        QTest::ignoreMessage(QtWarningMsg, "ABController SetBookString: failed for empty dictionary for value");
        QCOMPARE(ab->setBookValue(noValue), u"Organiser failed setting the Address Book k:firstName to:nil"_qs);

        // A date that is no date is refused, keeping the stored one, with three log lines.
        QTest::ignoreMessage(QtWarningMsg, "ABController SetBookDate: failed for uid: anna-berg:ABPerson");
        QTest::ignoreMessage(QtWarningMsg, "ABController SetBookDate: failed for key: birthday");
        QTest::ignoreMessage(QtWarningMsg, "ABController SetBookDate: failed for value: next Tuesday");
        QCOMPARE(ab->setBookValue(request(u"birthday"_qs, anna, u"next Tuesday"_qs)),
                 u"Organiser failed setting the Address Book k:birthday to:next Tuesday"_qs);
        QVERIFY(ab->valueForKey(u"birthday"_qs, anna, true).toString().startsWith(u"1970-03-05"));
    }

    void saving()
    {
        const QByteArray before = fx->fileText(kAnna);
        const QDateTime modified = QFileInfo(fx->path(kAnna)).lastModified();
        // Nothing to save: the M04 text and the file untouched.
        QCOMPARE(ab->saveChangesToAddressBook(), u"Organiser Address Book has no changes"_qs);
        QCOMPARE(fx->fileText(kAnna), before);
        QCOMPARE(QFileInfo(fx->path(kAnna)).lastModified(), modified);

        QVERIFY(ab->setBookValue(request(u"phoneMobile"_qs, anna, u"0171 555"_qs)).isNull());
        QCOMPARE(fx->stored()->people().size(), 2);
        QCOMPARE(ab->valueForKey(u"phoneMobile"_qs, anna, false), QVariant(u""_qs)); // not stored yet
        QCOMPARE(ab->saveChangesToAddressBook(), u"Organiser saved the Address Book changes"_qs);
        QCOMPARE(ab->valueForKey(u"phoneMobile"_qs, anna, false), QVariant(u"0171 555"_qs));
        QVERIFY(!ab->hasUnsavedChanges());
        // The rest of the card is as it was.
        const QByteArray after = fx->fileText(kAnna);
        QVERIFY(after.contains("Met at the fair\\nTwice"));
        QVERIFY(after.contains("X-ABShowAs:COMPANY"));

        // A save flag saves right after the change.
        QVERIFY(ab->setBookValue(request(u"jobTitle"_qs, anna, u"Buyer"_qs), true).isNull());
        QVERIFY(!ab->hasUnsavedChanges());
        QCOMPARE(ab->valueForKey(u"jobTitle"_qs, anna, false), QVariant(u"Buyer"_qs));

        // Another program changed the same field meanwhile: the save fails with the reason.
        QVERIFY(ab->setBookValue(request(u"jobTitle"_qs, anna, u"Head Buyer"_qs)).isNull());
        QVERIFY(zemtest::writeFile(fx->path(kAnna), fx->fileText(kAnna).replace("TITLE:Buyer", "TITLE:Chief")));
        const QString failed = ab->saveChangesToAddressBook();
        QVERIFY2(failed.startsWith(u"Organiser failed to save the Address Book changes error is "), qPrintable(failed));
        QVERIFY(ab->hasUnsavedChanges());
        QVERIFY(fx->fileText(kAnna).contains("TITLE:Chief"));
    }

private:
    std::unique_ptr<contacts::Fixture> fx;
    ZEM_A_E_ABEngine *ab = ZEM_A_E_ABEngine::shared();
    QString anna;
};

ZEM_TEST_MAIN(tst_ZEM_A_E_ABEngine)
#include "tst_ZEM_A_E_ABEngine.moc"
