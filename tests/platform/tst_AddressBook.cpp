#include "ZemTestEnv.h"

#include "foundation/ZEM_F_E_Notifications.h"
#include "foundation/ZEM_F_HostDelegate.h"
#include "platform/addressbook/AddressBook.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <unistd.h>

using namespace platform;
using namespace Qt::StringLiterals;

namespace {

QByteArray crlf(QByteArray text)
{
    text.replace("\r\n", "\n");
    return text.replace("\n", "\r\n");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The logical lines of a card: unfolded, with property names in upper case (the case of
// a name carries no meaning, and cards are written with upper-case names).
QList<QByteArray> lines(const QByteArray &text)
{
    QList<QByteArray> out;
    for (QByteArray l : text.split('\n')) {
        if (l.endsWith('\r'))
            l.chop(1);
        if ((l.startsWith(' ') || l.startsWith('\t')) && !out.isEmpty())
            out.last().append(l.mid(1));
        else if (!l.isEmpty())
            out.append(l);
    }
    for (QByteArray &l : out) {
        qsizetype end = 0;
        while (end < l.size() && l[end] != ';' && l[end] != ':')
            ++end;
        const qsizetype dot = l.lastIndexOf('.', end);
        for (qsizetype i = dot < 0 ? 0 : dot + 1; i < end; ++i)
            l[i] = QChar::toUpper(uchar(l[i]));
    }
    return out;
}

// Everything a person card can carry, as an iOS-style 3.0 export writes it.
const QByteArray kAda = crlf(R"(BEGIN:VCARD
VERSION:3.0
PRODID:-//Example//Contacts 1.0//EN
UID:ada-1
N:Lovelace;Ada;Augusta;Countess;of Lovelace
FN:Ada Lovelace
NICKNAME:Ada
X-MAIDENNAME:Byron
X-PHONETIC-FIRST-NAME:AY-duh
X-PHONETIC-LAST-NAME:LUV-lace
ORG:Analytical Engines;Programming
TITLE:Analyst
NOTE:First line\nsecond line\, with comma
BDAY:1815-12-10
REV:2020-01-02T10:11:12Z
X-CREATED:2019-05-06T07:08:09Z
TEL;TYPE=CELL:+44 20 7946 0001
TEL;TYPE=HOME,FAX;TYPE=PREF:+44 20 7946 0002
item1.TEL:+44 20 7946 0003
item1.X-ABLabel:Cottage
TEL;TYPE=WORK;X-CUSTOM=keep:+44 20 7946 0004
TEL:+44 20 7946 0005
EMAIL;TYPE=INTERNET;TYPE=HOME:ada@example.org
EMAIL;TYPE=INTERNET,WORK:ada@engines.example
item2.URL:https\://ada.example.org
item2.X-ABLabel:_$!<HomePage>!$_
URL;TYPE=WORK:https://engines.example
item3.ADR;TYPE=HOME:;Flat 2;12 St James's Square;London;;SW1Y 4JH;United Kingdom
item3.X-ABADR:gb
ADR;TYPE=WORK:;;1 Engine Row;Cambridge;Cambs;CB1;UK
X-AIM;TYPE=HOME:adaaim
IMPP;TYPE=WORK:xmpp:ada@jabber.example
IMPP:skype:ada.skype
X-ABRELATEDNAMES;TYPE=pref:William King
item4.X-ABRELATEDNAMES:Annabella
item4.X-ABLabel:_$!<Mother>!$_
item5.X-ABDATE:1835-07-08
item5.X-ABLabel:_$!<Anniversary>!$_
X-ABShowAs:COMPANY
X-ZEM-NAME-ORDER:LAST-FIRST
PHOTO;ENCODING=b;TYPE=PNG:iVBORw0KGgo=
X-UNKNOWN;FOO=bar:keep me exactly\, please
END:VCARD
)");

const QByteArray kGrace4 = crlf(R"(BEGIN:VCARD
VERSION:4.0
UID:urn:uuid:grace-4
FN:Grace Hopper
N:Hopper;Grace;Brewster Murray;;
BDAY:--1209
ANNIVERSARY:19300615
TEL;VALUE=uri;TYPE="voice,cell";PREF=1:tel:+1-555-0100
TEL;TYPE=work:+1-555-0101
EMAIL;PREF=2:grace@navy.example
EMAIL;PREF=1:grace@home.example
RELATED;TYPE=spouse;VALUE=text:Vincent Hopper
RELATED;TYPE=co-worker;VALUE=text:Howard
IMPP;TYPE=home:aim:gracehopper
IMPP:icq:12345
IMPP:msnim:grace@msn.example
IMPP:ymsgr:grace_y
PHOTO:data:image/png;base64,iVBORw0KGgo=
END:VCARD
)");

ABMultiValue multi(ABRecord *r, const QString &property)
{
    return r->valueForProperty(property).value<ABMultiValue>();
}

QVariantMap address(std::initializer_list<std::pair<QString, QString>> parts)
{
    QVariantMap m;
    for (const auto &[k, v] : parts)
        m.insert(k, v);
    return m;
}

struct NoticeLog
{
    QList<QVariantMap> infos;
};

} // namespace

class tst_AddressBook : public QObject
{
    Q_OBJECT

private slots:
    void multiValueKeepsIdentifiers();
    void readsEveryPropertyOf30();
    void readsEveryPropertyOf40();
    void readsDates_data();
    void readsDates();
    void editingOneFieldKeepsEveryOtherLine();
    void editingAMultiValueKeepsUnchangedEntries();
    void newPersonAndGroupReadBack();
    void groupsAndMembers();
    void fileNamesAndMissingUid();
    void meIsRemembered();
    void removeRecordDeletesFileAndKeepsPointer();
    void mergesOtherProgramsEdits();
    void conflictKeepsFileAndEdit();
    void unwritableFolderKeepsEdits();
    void failedWriteKeepsEdits();
    void editing40And21Cards();
    void badFilesAreSkipped();
    void refreshAnnouncesChanges();
    void watcherAnnouncesChanges();
    void ownSavesCarryOurName();
    void sharedBookUsesDefaultFolder();
    void khardReadsOurCards();
    void weReadKhardCards();

private:
    static QString khardConfig(const QTemporaryDir &tmp, const QString &folder);
};

void tst_AddressBook::multiValueKeepsIdentifiers()
{
    ABMultiValue mv;
    QVERIFY(mv.addValue(QVariant(), kABHomeLabel).isEmpty());
    const QString a = mv.addValue(u"a@example.org"_s, kABHomeLabel);
    const QString b = mv.addValue(u"b@example.org"_s, kABWorkLabel);
    QVERIFY(!a.isEmpty() && a != b);
    QVERIFY(mv.primaryIdentifier().isEmpty());
    QVERIFY(!mv.setPrimaryIdentifier(u"nope"_s));
    QVERIFY(mv.setPrimaryIdentifier(b));

    ABMultiValue copy = mv;
    QVERIFY(copy.removeValueAtIndex(0));
    const QString c = copy.addValue(u"c@example.org"_s, u"Cottage"_s);
    // Identifiers go with their entries and are never handed out twice.
    QVERIFY(c != a && c != b);
    QCOMPARE(copy.indexForIdentifier(b), 0);
    QCOMPARE(copy.valueForIdentifier(b).toString(), u"b@example.org"_s);
    QCOMPARE(copy.primaryIdentifier(), b);
    QCOMPARE(mv.count(), 2); // the original is untouched
    QCOMPARE(mv.identifierAt(0), a);

    QVERIFY(copy.replaceLabelAtIndex(0, kABOtherLabel));
    QVERIFY(copy.replaceValueAtIndex(0, u"bb@example.org"_s));
    QVERIFY(!copy.replaceValueAtIndex(5, u"x"_s));
    QCOMPARE(copy.identifierAt(0), b);
    QVERIFY(copy.removeValueAtIndex(0));
    QVERIFY(copy.primaryIdentifier().isEmpty()); // the primary entry went with it
    QVERIFY(!copy.valueAt(3).isValid());
    QVERIFY(copy.labelAt(-1).isEmpty());
}

void tst_AddressBook::readsEveryPropertyOf30()
{
    QTemporaryDir dir;
    writeFile(dir.filePath(u"ada-1.vcf"_s), kAda);
    AddressBook book(dir.path());
    QVERIFY2(book.problems().isEmpty(), qPrintable(book.problems().join(u'\n')));
    QCOMPARE(book.people().size(), 1);
    ABPerson *p = book.people().first();
    QCOMPARE(p->uniqueId(), u"ada-1:ABPerson"_s);
    QCOMPARE(book.recordForUniqueId(u"ada-1:ABPerson"_s), p);
    QVERIFY(!book.recordForUniqueId(u"ada-1:ABGroup"_s));

    QCOMPARE(p->valueForProperty(kABLastNameProperty).toString(), u"Lovelace"_s);
    QCOMPARE(p->valueForProperty(kABFirstNameProperty).toString(), u"Ada"_s);
    QCOMPARE(p->valueForProperty(kABMiddleNameProperty).toString(), u"Augusta"_s);
    QCOMPARE(p->valueForProperty(kABTitleProperty).toString(), u"Countess"_s);
    QCOMPARE(p->valueForProperty(kABSuffixProperty).toString(), u"of Lovelace"_s);
    QCOMPARE(p->valueForProperty(kABNicknameProperty).toString(), u"Ada"_s);
    QCOMPARE(p->valueForProperty(kABMaidenNameProperty).toString(), u"Byron"_s);
    QCOMPARE(p->valueForProperty(kABFirstNamePhoneticProperty).toString(), u"AY-duh"_s);
    QCOMPARE(p->valueForProperty(kABLastNamePhoneticProperty).toString(), u"LUV-lace"_s);
    QVERIFY(!p->valueForProperty(kABMiddleNamePhoneticProperty).isValid());
    QCOMPARE(p->valueForProperty(kABOrganizationProperty).toString(), u"Analytical Engines"_s);
    QCOMPARE(p->valueForProperty(kABDepartmentProperty).toString(), u"Programming"_s);
    QCOMPARE(p->valueForProperty(kABJobTitleProperty).toString(), u"Analyst"_s);
    QCOMPARE(p->valueForProperty(kABNoteProperty).toString(), u"First line\nsecond line, with comma"_s);
    QCOMPARE(p->valueForProperty(kABBirthdayProperty).toDateTime().date(), QDate(1815, 12, 10));
    QCOMPARE(p->valueForProperty(kABModificationDateProperty).toDateTime(),
             QDateTime(QDate(2020, 1, 2), QTime(10, 11, 12), Qt::UTC));
    QCOMPARE(p->valueForProperty(kABCreationDateProperty).toDateTime(),
             QDateTime(QDate(2019, 5, 6), QTime(7, 8, 9), Qt::UTC));
    QCOMPARE(p->valueForProperty(kABPersonFlags).toInt(), kABShowAsCompany | kABLastNameFirst);
    QCOMPARE(p->imageData(), QByteArray::fromBase64("iVBORw0KGgo="));

    const ABMultiValue phones = multi(p, kABPhoneProperty);
    QCOMPARE(phones.count(), 5);
    const QStringList phoneLabels = {kABPhoneMobileLabel, kABPhoneHomeFAXLabel, u"Cottage"_s,
                                     kABPhoneWorkLabel, kABOtherLabel};
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(phones.labelAt(i), phoneLabels[i]);
        QCOMPARE(phones.valueAt(i).toString(), u"+44 20 7946 000%1"_s.arg(i + 1));
    }
    QCOMPARE(phones.primaryIdentifier(), phones.identifierAt(1));

    const ABMultiValue emails = multi(p, kABEmailProperty);
    QCOMPARE(emails.count(), 2);
    QCOMPARE(emails.labelAt(0), kABEmailHomeLabel);
    QCOMPARE(emails.labelAt(1), kABEmailWorkLabel);
    QCOMPARE(emails.primaryIdentifier(), emails.identifierAt(0)); // no preference: the first

    const ABMultiValue urls = multi(p, kABURLsProperty);
    QCOMPARE(urls.count(), 2);
    QCOMPARE(urls.valueAt(0).toString(), u"https://ada.example.org"_s);
    QCOMPARE(urls.labelAt(0), kABHomePageLabel);
    QCOMPARE(urls.labelAt(1), kABWorkLabel);
    QCOMPARE(p->valueForProperty(kABHomePageProperty).toString(), u"https://ada.example.org"_s);

    const ABMultiValue addresses = multi(p, kABAddressProperty);
    QCOMPARE(addresses.count(), 2);
    QCOMPARE(addresses.labelAt(0), kABAddressHomeLabel);
    QCOMPARE(addresses.valueAt(0).toMap(),
             address({{kABAddressStreetKey, u"12 St James's Square\nFlat 2"_s},
                      {kABAddressCityKey, u"London"_s},
                      {kABAddressZIPKey, u"SW1Y 4JH"_s},
                      {kABAddressCountryKey, u"United Kingdom"_s},
                      {kABAddressCountryCodeKey, u"gb"_s}}));
    QCOMPARE(addresses.valueAt(1).toMap(),
             address({{kABAddressStreetKey, u"1 Engine Row"_s}, {kABAddressCityKey, u"Cambridge"_s},
                      {kABAddressStateKey, u"Cambs"_s}, {kABAddressZIPKey, u"CB1"_s},
                      {kABAddressCountryKey, u"UK"_s}}));
    QCOMPARE(addresses.labelAt(1), kABAddressWorkLabel);

    QCOMPARE(multi(p, kABAIMInstantProperty).valueAt(0).toString(), u"adaaim"_s);
    QCOMPARE(multi(p, kABAIMInstantProperty).labelAt(0), kABAIMHomeLabel);
    QCOMPARE(multi(p, kABJabberInstantProperty).valueAt(0).toString(), u"ada@jabber.example"_s);
    QCOMPARE(multi(p, kABJabberInstantProperty).labelAt(0), kABJabberWorkLabel);
    QVERIFY(!p->valueForProperty(kABICQInstantProperty).isValid()); // skype: is none of ours

    const ABMultiValue related = multi(p, kABRelatedNamesProperty);
    QCOMPARE(related.count(), 2);
    QCOMPARE(related.valueAt(1).toString(), u"Annabella"_s);
    QCOMPARE(related.labelAt(1), kABMotherLabel);
    QCOMPARE(related.primaryIdentifier(), related.identifierAt(0));

    const ABMultiValue dates = multi(p, kABOtherDatesProperty);
    QCOMPARE(dates.count(), 1);
    QCOMPARE(dates.labelAt(0), kABAnniversaryLabel);
    QCOMPARE(dates.valueAt(0).toDateTime().date(), QDate(1835, 7, 8));
}

void tst_AddressBook::readsEveryPropertyOf40()
{
    QTemporaryDir dir;
    writeFile(dir.filePath(u"grace.vcf"_s), kGrace4);
    AddressBook book(dir.path());
    QCOMPARE(book.people().size(), 1);
    ABPerson *p = book.people().first();
    QCOMPARE(p->uniqueId(), u"urn:uuid:grace-4:ABPerson"_s);
    QCOMPARE(p->valueForProperty(kABMiddleNameProperty).toString(), u"Brewster Murray"_s);
    QCOMPARE(p->valueForProperty(kABBirthdayProperty).toDateTime().date(), QDate(1604, 12, 9));

    const ABMultiValue phones = multi(p, kABPhoneProperty);
    QCOMPARE(phones.count(), 2);
    QCOMPARE(phones.labelAt(0), kABPhoneMobileLabel);
    QCOMPARE(phones.primaryIdentifier(), phones.identifierAt(0));
    QCOMPARE(phones.labelAt(1), kABPhoneWorkLabel);
    // A "tel:" URI reads as the number, and an edited number stays a URI.
    QCOMPARE(phones.valueAt(0).toString(), u"+1-555-0100"_s);
    ABMultiValue edited = phones;
    QVERIFY(edited.replaceValueAtIndex(0, u"+1-555-0199"_s));
    QVERIFY(p->setValue(QVariant::fromValue(edited), kABPhoneProperty));
    QVERIFY(book.save());
    QVERIFY(readFile(dir.filePath(u"grace.vcf"_s)).contains(":tel:+1-555-0199"));

    const ABMultiValue emails = multi(p, kABEmailProperty);
    QCOMPARE(emails.primaryIdentifier(), emails.identifierAt(1)); // PREF=1 beats PREF=2
    QCOMPARE(emails.labelAt(0), kABOtherLabel);

    const ABMultiValue related = multi(p, kABRelatedNamesProperty);
    QCOMPARE(related.count(), 2);
    QCOMPARE(related.labelAt(0), kABSpouseLabel);
    QCOMPARE(related.valueAt(0).toString(), u"Vincent Hopper"_s);
    QCOMPARE(related.labelAt(1), kABOtherLabel);

    const ABMultiValue dates = multi(p, kABOtherDatesProperty);
    QCOMPARE(dates.labelAt(0), kABAnniversaryLabel);
    QCOMPARE(dates.valueAt(0).toDateTime().date(), QDate(1930, 6, 15));

    QCOMPARE(multi(p, kABAIMInstantProperty).valueAt(0).toString(), u"gracehopper"_s);
    QCOMPARE(multi(p, kABAIMInstantProperty).labelAt(0), kABHomeLabel);
    QCOMPARE(multi(p, kABICQInstantProperty).valueAt(0).toString(), u"12345"_s);
    QCOMPARE(multi(p, kABMSNInstantProperty).valueAt(0).toString(), u"grace@msn.example"_s);
    QCOMPARE(multi(p, kABYahooInstantProperty).valueAt(0).toString(), u"grace_y"_s);
    QCOMPARE(p->imageData(), QByteArray::fromBase64("iVBORw0KGgo="));
}

void tst_AddressBook::readsDates_data()
{
    QTest::addColumn<QByteArray>("bday");
    QTest::addColumn<QDateTime>("expected");
    const QDate d(1980, 5, 17);
    QTest::newRow("extended") << "1980-05-17"_ba << QDateTime(d, QTime(0, 0));
    QTest::newRow("basic") << "19800517"_ba << QDateTime(d, QTime(0, 0));
    QTest::newRow("value=date") << "1980-05-17"_ba << QDateTime(d, QTime(0, 0));
    QTest::newRow("no year, 4.0") << "--0517"_ba << QDateTime(QDate(1604, 5, 17), QTime(0, 0));
    QTest::newRow("no year, dashes") << "--05-17"_ba << QDateTime(QDate(1604, 5, 17), QTime(0, 0));
    QTest::newRow("no year, 1604") << "1604-05-17"_ba << QDateTime(QDate(1604, 5, 17), QTime(0, 0));
    QTest::newRow("utc") << "1980-05-17T10:20:30Z"_ba << QDateTime(d, QTime(10, 20, 30), Qt::UTC);
    QTest::newRow("basic utc") << "19800517T102030Z"_ba << QDateTime(d, QTime(10, 20, 30), Qt::UTC);
    QTest::newRow("offset") << "1980-05-17T12:20:30+02:00"_ba << QDateTime(d, QTime(10, 20, 30), Qt::UTC);
    QTest::newRow("fraction") << "1980-05-17T10:20:30.250Z"_ba << QDateTime(d, QTime(10, 20, 30), Qt::UTC);
    QTest::newRow("garbage") << "soon"_ba << QDateTime();
    QTest::newRow("bad month") << "1980-13-01"_ba << QDateTime();
}

void tst_AddressBook::readsDates()
{
    QFETCH(QByteArray, bday);
    QFETCH(QDateTime, expected);
    QTemporaryDir dir;
    writeFile(dir.filePath(u"d.vcf"_s),
              crlf("BEGIN:VCARD\nVERSION:3.0\nUID:d\nFN:D\nN:D;;;;\nBDAY:" + bday + "\nEND:VCARD\n"));
    AddressBook book(dir.path());
    QCOMPARE(book.people().size(), 1);
    const QVariant v = book.people().first()->valueForProperty(kABBirthdayProperty);
    QCOMPARE(v.toDateTime(), expected);
    QCOMPARE(book.problems().isEmpty(), expected.isValid());

    // A date reads back as the same date after a round trip.
    if (expected.isValid()) {
        ABPerson *p = book.people().first();
        QVERIFY(p->setValue(u"x"_s, kABNoteProperty));
        QVERIFY(book.save());
        AddressBook again(dir.path());
        QCOMPARE(again.people().first()->valueForProperty(kABBirthdayProperty).toDateTime(), expected);
    }
}

void tst_AddressBook::editingOneFieldKeepsEveryOtherLine()
{
    QTemporaryDir dir;
    const QString adaPath = dir.filePath(u"ada-1.vcf"_s);
    const QString gracePath = dir.filePath(u"grace.vcf"_s);
    writeFile(adaPath, kAda);
    writeFile(gracePath, kGrace4);
    AddressBook book(dir.path());
    QVERIFY(!book.hasUnsavedChanges());
    ABPerson *ada = static_cast<ABPerson *>(book.recordForUniqueId(u"ada-1:ABPerson"_s));
    QVERIFY(ada);
    QVERIFY(ada->setValue(u"Analyst and poet"_s, kABJobTitleProperty));
    QVERIFY(book.hasUnsavedChanges());
    QVERIFY(book.save());
    QVERIFY(!book.hasUnsavedChanges());

    QCOMPARE(readFile(gracePath), kGrace4); // the other card is not touched
    QList<QByteArray> expected = lines(kAda);
    expected.replace(expected.indexOf("TITLE:Analyst"), "TITLE:Analyst and poet");
    QCOMPARE(lines(readFile(adaPath)), expected);

    // A name change rewrites N and FN and nothing else.
    QVERIFY(ada->setValue(u"Ava"_s, kABFirstNameProperty));
    QVERIFY(ada->setValue(0, kABPersonFlags));
    QVERIFY(book.save());
    const QList<QByteArray> after = lines(readFile(adaPath));
    QVERIFY(after.contains("N:Lovelace;Ava;Augusta;Countess;of Lovelace"));
    QVERIFY(after.contains("FN:Countess Ava Augusta Lovelace of Lovelace"));
    QVERIFY(!after.contains("X-ABSHOWAS:COMPANY"));
    QVERIFY(!after.contains("X-ZEM-NAME-ORDER:LAST-FIRST"));
    QCOMPARE(after.size(), expected.size() - 2);
    QVERIFY(after.contains("X-UNKNOWN;FOO=bar:keep me exactly\\, please"));
    QVERIFY(after.contains("IMPP:skype:ada.skype"));
    QVERIFY(after.contains("PHOTO;ENCODING=b;TYPE=PNG:iVBORw0KGgo="));

    // Changing the photo rewrites just that line; the new bytes read back.
    const QByteArray jpeg = QByteArray::fromHex("ffd8ffe000104a46494600010100000100010000ffd9");
    QVERIFY(ada->setImageData(jpeg));
    QVERIFY(book.save());
    AddressBook again(dir.path());
    QCOMPARE(static_cast<ABPerson *>(again.recordForUniqueId(u"ada-1:ABPerson"_s))->imageData(), jpeg);
    QVERIFY(ada->setImageData({}));
    QVERIFY(book.save());
    QVERIFY(!readFile(adaPath).contains("PHOTO"));

    // Values of the wrong type are refused.
    QVERIFY(!ada->setValue(42, kABNoteProperty));
    QVERIFY(!ada->setValue(u"x"_s, kABPhoneProperty));
    QVERIFY(!ada->setValue(u"x"_s, kABGroupNameProperty));
    QVERIFY(!ada->setValue(u"x"_s, u"NoSuchProperty"_s));
    QVERIFY(!book.hasUnsavedChanges());
}

void tst_AddressBook::editingAMultiValueKeepsUnchangedEntries()
{
    QTemporaryDir dir;
    const QString adaPath = dir.filePath(u"ada-1.vcf"_s);
    writeFile(adaPath, kAda);
    AddressBook book(dir.path());
    ABPerson *ada = book.people().first();
    ABMultiValue phones = multi(ada, kABPhoneProperty);
    const QString cottage = phones.identifierAt(2);
    QVERIFY(phones.replaceValueAtIndex(3, u"+44 20 7946 9999"_s)); // keeps label and X-CUSTOM
    QVERIFY(phones.removeValueAtIndex(4));
    phones.addValue(u"+44 1 pager"_s, kABPhonePagerLabel);
    phones.addValue(u"+44 2 boat"_s, u"Boat"_s);
    QVERIFY(phones.setPrimaryIdentifier(cottage));
    QVERIFY(ada->setValue(QVariant::fromValue(phones), kABPhoneProperty));
    QVERIFY(ada->setValue(u"https://new.example"_s, kABHomePageProperty));
    QVERIFY(book.save());

    const QList<QByteArray> after = lines(readFile(adaPath));
    QVERIFY(after.contains("TEL;TYPE=CELL:+44 20 7946 0001"));
    QVERIFY2(after.contains("TEL;TYPE=HOME,FAX:+44 20 7946 0002"), after.join('\n').constData());
    QVERIFY(after.contains("item1.TEL;TYPE=PREF:+44 20 7946 0003"));
    QVERIFY(after.contains("item1.X-ABLABEL:Cottage"));
    QVERIFY(after.contains("TEL;TYPE=WORK;X-CUSTOM=keep:+44 20 7946 9999"));
    QVERIFY(!after.contains("TEL:+44 20 7946 0005"));
    QVERIFY(after.contains("TEL;TYPE=PAGER:+44 1 pager"));
    QVERIFY(after.contains("item6.TEL:+44 2 boat"));
    QVERIFY(after.contains("item6.X-ABLABEL:Boat"));
    QVERIFY(after.contains("item2.URL:https://new.example"));
    // Lines of other properties are all still there.
    for (const QByteArray &l : lines(kAda))
        if (!l.startsWith("TEL") && !l.startsWith("item1.") && !l.startsWith("item2.URL"))
            QVERIFY2(after.contains(l), l.constData());

    // The entries read back with their labels; our identifiers survive the save.
    const ABMultiValue saved = multi(ada, kABPhoneProperty);
    QCOMPARE(saved.primaryIdentifier(), cottage);
    AddressBook again(dir.path());
    const ABMultiValue reread = multi(again.people().first(), kABPhoneProperty);
    QCOMPARE(reread.count(), 6);
    QCOMPARE(reread.labelAt(4), kABPhonePagerLabel);
    QCOMPARE(reread.labelAt(5), u"Boat"_s);
    QCOMPARE(reread.primaryIdentifier(), reread.identifierAt(2));
}

void tst_AddressBook::newPersonAndGroupReadBack()
{
    QTemporaryDir dir;
    QString personId, groupId;
    {
        AddressBook book(dir.path());
        ABPerson *p = book.addPerson();
        QVERIFY(book.hasUnsavedChanges());
        QVERIFY(p->setValue(u"Katherine"_s, kABFirstNameProperty));
        QVERIFY(p->setValue(u"Johnson"_s, kABLastNameProperty));
        QVERIFY(p->setValue(u"NASA; Langley"_s, kABOrganizationProperty));
        QVERIFY(p->setValue(QDate(1918, 8, 26), kABBirthdayProperty));
        QVERIFY(p->setValue(QDateTime(QDate(2021, 3, 4), QTime(5, 6, 7), Qt::UTC), kABCreationDateProperty));
        QVERIFY(p->setValue(kABShowAsCompany | kABFirstNameFirst, kABPersonFlags));
        ABMultiValue emails;
        emails.addValue(u"kj@nasa.example"_s, kABEmailWorkLabel);
        const QString home = emails.addValue(u"kj@home.example"_s, kABEmailHomeLabel);
        emails.setPrimaryIdentifier(home);
        QVERIFY(p->setValue(QVariant::fromValue(emails), kABEmailProperty));
        ABMultiValue addresses;
        addresses.addValue(address({{kABAddressStreetKey, u"1 Main St\nSuite 2"_s},
                                    {kABAddressCityKey, u"Hampton"_s},
                                    {kABAddressCountryCodeKey, u"us"_s}}),
                           u"Summer house"_s);
        QVERIFY(p->setValue(QVariant::fromValue(addresses), kABAddressProperty));
        ABMultiValue dates;
        dates.addValue(QDateTime(QDate(1939, 11, 25), QTime(0, 0)), kABAnniversaryLabel);
        QVERIFY(p->setValue(QVariant::fromValue(dates), kABOtherDatesProperty));
        ABMultiValue badDates;
        badDates.addValue(u"not a date"_s, kABOtherLabel);
        QVERIFY(!p->setValue(QVariant::fromValue(badDates), kABOtherDatesProperty));
        ABMultiValue jabber;
        jabber.addValue(u"kj@jabber.example"_s, kABJabberWorkLabel);
        QVERIFY(p->setValue(QVariant::fromValue(jabber), kABJabberInstantProperty));
        QVERIFY(p->setImageData("\x89PNG\r\n\x1a\n rest"));

        ABGroup *g = book.addGroup();
        QVERIFY(g->setValue(u"Computers"_s, kABGroupNameProperty));
        QVERIFY(!g->setValue(u"x"_s, kABFirstNameProperty));
        QVERIFY(g->addMember(p));
        QCOMPARE(g->members(), QList<ABPerson *>{p});
        QCOMPARE(p->parentGroups(), QList<ABGroup *>{g});
        personId = p->uniqueId();
        groupId = g->uniqueId();
        QVERIFY(book.save());
        QVERIFY(!book.hasUnsavedChanges());

        const QString uid = personId.chopped(kABPersonSuffix.size());
        const QByteArray text = readFile(dir.filePath(uid + u".vcf"_s));
        QVERIFY(text.startsWith("BEGIN:VCARD\r\nVERSION:3.0\r\n"));
        QVERIFY(text.contains("\r\nUID:" + uid.toUtf8() + "\r\n"));
        QVERIFY(text.contains("\r\nFN:NASA\\; Langley\r\n")); // shown as the company
        QVERIFY(text.contains("\r\nN:Johnson;Katherine;;;\r\n"));
        QVERIFY(text.contains("\r\nEMAIL;TYPE=HOME,PREF:kj@home.example\r\n")
                || text.contains("\r\nEMAIL;TYPE=HOME;TYPE=PREF:kj@home.example\r\n"));
        QVERIFY(text.contains("\r\nX-ABSHOWAS:COMPANY\r\n"));
        QVERIFY(text.contains("\r\nX-ZEM-NAME-ORDER:FIRST-LAST\r\n"));
        const QByteArray groupText = readFile(dir.filePath(groupId.chopped(kABGroupSuffix.size()) + u".vcf"_s));
        QVERIFY(groupText.contains("\r\nX-ADDRESSBOOKSERVER-KIND:group\r\n"));
        QVERIFY(groupText.contains("\r\nX-ADDRESSBOOKSERVER-MEMBER:urn:uuid:" + uid.toUtf8() + "\r\n"));
        QVERIFY(groupText.contains("\r\nFN:Computers\r\n"));
    }
    AddressBook book(dir.path());
    QVERIFY(book.problems().isEmpty());
    auto *p = static_cast<ABPerson *>(book.recordForUniqueId(personId));
    auto *g = static_cast<ABGroup *>(book.recordForUniqueId(groupId));
    QVERIFY(p && g);
    QCOMPARE(p->valueForProperty(kABFirstNameProperty).toString(), u"Katherine"_s);
    QCOMPARE(p->valueForProperty(kABOrganizationProperty).toString(), u"NASA; Langley"_s);
    QCOMPARE(p->valueForProperty(kABBirthdayProperty).toDateTime(), QDateTime(QDate(1918, 8, 26), QTime(0, 0)));
    QCOMPARE(p->valueForProperty(kABCreationDateProperty).toDateTime(),
             QDateTime(QDate(2021, 3, 4), QTime(5, 6, 7), Qt::UTC));
    QCOMPARE(p->valueForProperty(kABPersonFlags).toInt(), kABShowAsCompany | kABFirstNameFirst);
    const ABMultiValue emails = multi(p, kABEmailProperty);
    QCOMPARE(emails.count(), 2);
    QCOMPARE(emails.labelAt(0), kABEmailWorkLabel);
    QCOMPARE(emails.primaryIdentifier(), emails.identifierAt(1));
    const ABMultiValue addresses = multi(p, kABAddressProperty);
    QCOMPARE(addresses.labelAt(0), u"Summer house"_s);
    QCOMPARE(addresses.valueAt(0).toMap(),
             address({{kABAddressStreetKey, u"1 Main St\nSuite 2"_s}, {kABAddressCityKey, u"Hampton"_s},
                      {kABAddressCountryCodeKey, u"us"_s}}));
    QCOMPARE(multi(p, kABOtherDatesProperty).labelAt(0), kABAnniversaryLabel);
    QCOMPARE(multi(p, kABJabberInstantProperty).valueAt(0).toString(), u"kj@jabber.example"_s);
    QCOMPARE(multi(p, kABJabberInstantProperty).labelAt(0), kABWorkLabel);
    QCOMPARE(p->imageData(), QByteArray("\x89PNG\r\n\x1a\n rest"));
    QCOMPARE(g->valueForProperty(kABGroupNameProperty).toString(), u"Computers"_s);
    QCOMPARE(g->members(), QList<ABPerson *>{p});
}

void tst_AddressBook::groupsAndMembers()
{
    QTemporaryDir dir;
    writeFile(dir.filePath(u"a.vcf"_s), crlf("BEGIN:VCARD\nVERSION:3.0\nUID:a\nFN:A\nN:A;;;;\nEND:VCARD\n"));
    writeFile(dir.filePath(u"b.vcf"_s), crlf("BEGIN:VCARD\nVERSION:3.0\nUID:b\nFN:B\nN:B;;;;\nEND:VCARD\n"));
    const QByteArray group4 = crlf(R"(BEGIN:VCARD
VERSION:4.0
KIND:group
UID:g4
FN:Friends
MEMBER:urn:uuid:a
MEMBER:mailto:someone@example.org
MEMBER:urn:uuid:b
MEMBER:urn:uuid:not-here
END:VCARD
)");
    const QString groupPath = dir.filePath(u"g4.vcf"_s);
    writeFile(groupPath, group4);
    AddressBook book(dir.path());
    QCOMPARE(book.people().size(), 2);
    QCOMPARE(book.groups().size(), 1);
    ABGroup *g = book.groups().first();
    QCOMPARE(g->uniqueId(), u"g4:ABGroup"_s);
    QCOMPARE(g->valueForProperty(kABGroupNameProperty).toString(), u"Friends"_s);
    ABPerson *a = book.people().at(0), *b = book.people().at(1);
    QCOMPARE(g->members(), (QList<ABPerson *>{a, b}));
    QCOMPARE(b->parentGroups(), QList<ABGroup *>{g});

    QVERIFY(g->removeMember(a));
    QVERIFY(!g->removeMember(a));
    QVERIFY(book.save());
    QList<QByteArray> expected = lines(group4);
    expected.removeAll("MEMBER:urn:uuid:a");
    QCOMPARE(lines(readFile(groupPath)), expected);

    QVERIFY(g->addMember(a));
    QVERIFY(book.save());
    const QList<QByteArray> after = lines(readFile(groupPath));
    QVERIFY(after.contains("MEMBER:urn:uuid:a")); // 4.0 cards keep 4.0 members
    QVERIFY(after.contains("MEMBER:mailto:someone@example.org"));
    QVERIFY(after.contains("MEMBER:urn:uuid:not-here"));
    QVERIFY(after.contains("VERSION:4.0"));
    QCOMPARE(g->members().size(), 2);
}

void tst_AddressBook::fileNamesAndMissingUid()
{
    QTemporaryDir dir;
    writeFile(dir.filePath(u"b-no-uid.vcf"_s), crlf("BEGIN:VCARD\nVERSION:3.0\nFN:Nouid\nN:Nouid;;;;\nEND:VCARD\n"));
    writeFile(dir.filePath(u"a.vcf"_s), crlf("BEGIN:VCARD\nVERSION:3.0\nUID:zzz\nFN:Z\nN:Z;;;;\nEND:VCARD\n"));
    writeFile(dir.filePath(u"notes.txt"_s), "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:txt\r\nEND:VCARD\r\n");
    AddressBook book(dir.path());
    QCOMPARE(book.people().size(), 2);
    // File-name order, not UID order.
    QCOMPARE(book.people().at(0)->uniqueId(), u"zzz:ABPerson"_s);
    ABPerson *nouid = book.people().at(1);
    QCOMPARE(nouid->uniqueId(), u"b-no-uid:ABPerson"_s);
    QVERIFY(nouid->setValue(u"note"_s, kABNoteProperty));
    QVERIFY(book.save());
    QVERIFY(readFile(dir.filePath(u"b-no-uid.vcf"_s)).contains("\r\nUID:b-no-uid\r\n"));

    // UIDs with characters a file name cannot hold.
    writeFile(dir.filePath(u"odd.vcf"_s),
              crlf("BEGIN:VCARD\nVERSION:3.0\nUID:a/b:c\nFN:Odd\nN:Odd;;;;\nEND:VCARD\n"));
    book.refresh();
    auto *odd = book.recordForUniqueId(u"a/b:c:ABPerson"_s);
    QVERIFY(odd);
    QVERIFY(book.removeRecord(odd));
    QVERIFY(book.save());
    ABPerson *p = book.addPerson();
    QVERIFY(p->setValue(u"New"_s, kABLastNameProperty));
    QVERIFY(book.save());
    const QString uid = p->uniqueId().chopped(kABPersonSuffix.size());
    QVERIFY(QFile::exists(dir.filePath(uid + u".vcf"_s)));
}

void tst_AddressBook::meIsRemembered()
{
    QTemporaryDir dir;
    QString id;
    {
        AddressBook book(dir.path());
        QVERIFY(!book.me());
        ABPerson *p = book.addPerson();
        QVERIFY(p->setValue(u"Me"_s, kABLastNameProperty));
        QVERIFY(book.setMe(p));
        QCOMPARE(book.me(), p);
        QVERIFY(book.save());
        id = p->uniqueId();
    }
    const QStringList hidden = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    QStringList dotFiles = hidden.filter(QRegularExpression(u"^\\."_s));
    QCOMPARE(dotFiles.size(), 1);
    AddressBook book(dir.path());
    QVERIFY(book.me());
    QCOMPARE(book.me()->uniqueId(), id);
    QCOMPARE(book.people().size(), 1); // the dot file is not a card
    QVERIFY(book.setMe(nullptr));
    QVERIFY(book.save());
    AddressBook again(dir.path());
    QVERIFY(!again.me());
}

void tst_AddressBook::removeRecordDeletesFileAndKeepsPointer()
{
    QTemporaryDir dir;
    writeFile(dir.filePath(u"ada-1.vcf"_s), kAda);
    AddressBook book(dir.path());
    ABPerson *ada = book.people().first();
    QVERIFY(book.removeRecord(ada));
    QVERIFY(!book.removeRecord(ada));
    QVERIFY(book.people().isEmpty());
    QVERIFY(!book.recordForUniqueId(u"ada-1:ABPerson"_s));
    QVERIFY(QFile::exists(dir.filePath(u"ada-1.vcf"_s))); // until saved
    QVERIFY(book.save());
    QVERIFY(!QFile::exists(dir.filePath(u"ada-1.vcf"_s)));
    // The pointer still answers with its last values but takes no edits.
    QCOMPARE(ada->valueForProperty(kABFirstNameProperty).toString(), u"Ada"_s);
    QVERIFY(!ada->setValue(u"x"_s, kABNoteProperty));
}

void tst_AddressBook::mergesOtherProgramsEdits()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"ada-1.vcf"_s);
    writeFile(path, kAda);
    AddressBook book(dir.path());
    ABPerson *ada = book.people().first();
    QVERIFY(ada->setValue(u"Merged note"_s, kABNoteProperty));

    // Another program changes the job title and adds a line of its own.
    QByteArray theirs = kAda;
    theirs.replace("TITLE:Analyst", "TITLE:Enchantress of Numbers");
    theirs.replace("END:VCARD", "X-OTHER-APP:1\r\nEND:VCARD");
    writeFile(path, theirs);

    const auto saved = book.save();
    QVERIFY2(saved, saved ? "" : qPrintable(saved.error().message));
    const QList<QByteArray> after = lines(readFile(path));
    QVERIFY(after.contains("TITLE:Enchantress of Numbers"));
    QVERIFY(after.contains("X-OTHER-APP:1"));
    QVERIFY(after.contains("NOTE:Merged note"));
    QCOMPARE(after.size(), lines(theirs).size());
    QCOMPARE(ada->valueForProperty(kABJobTitleProperty).toString(), u"Enchantress of Numbers"_s);
}

void tst_AddressBook::conflictKeepsFileAndEdit()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"ada-1.vcf"_s);
    writeFile(path, kAda);
    AddressBook book(dir.path());
    ABPerson *ada = book.people().first();
    QVERIFY(ada->setValue(u"Ours"_s, kABNoteProperty));
    QByteArray theirs = kAda;
    theirs.replace("NOTE:First line", "NOTE:Theirs");
    writeFile(path, theirs);

    const auto saved = book.save();
    QVERIFY(!saved);
    QCOMPARE(saved.error().code, ZEM_Error::Conflict);
    QCOMPARE(saved.error().arguments, (QStringList{u"ada-1"_s, kABNoteProperty}));
    QVERIFY(saved.error().message.contains(u"ada-1.vcf"_s));
    QCOMPARE(readFile(path), theirs);
    QVERIFY(book.hasUnsavedChanges());
    QCOMPARE(ada->valueForProperty(kABNoteProperty).toString(), u"Ours"_s);

    // Removing a card another program changed is a conflict too.
    AddressBook other(dir.path());
    QVERIFY(other.removeRecord(other.people().first()));
    writeFile(path, kAda);
    QVERIFY(!other.save());
    QVERIFY(QFile::exists(path));
}

void tst_AddressBook::unwritableFolderKeepsEdits()
{
    if (::geteuid() == 0)
        QSKIP("root writes into read-only folders");
    QTemporaryDir dir;
    writeFile(dir.filePath(u"ada-1.vcf"_s), kAda);
    AddressBook book(dir.path());
    ABPerson *ada = book.people().first();
    QVERIFY(ada->setValue(u"Changed"_s, kABNoteProperty));
    QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    const auto saved = book.save();
    QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QVERIFY(!saved);
    QCOMPARE(saved.error().code, ZEM_Error::WriteFailed);
    QVERIFY(!saved.error().message.isEmpty());
    QVERIFY(book.hasUnsavedChanges());
    QCOMPARE(readFile(dir.filePath(u"ada-1.vcf"_s)), kAda);
    QVERIFY(book.save());
    QVERIFY(readFile(dir.filePath(u"ada-1.vcf"_s)).contains("NOTE:Changed"));
}

void tst_AddressBook::failedWriteKeepsEdits()
{
    // Runs as root too: a folder where the card's file should go cannot be replaced.
    QTemporaryDir dir;
    AddressBook book(dir.path());
    ABPerson *p = book.addPerson();
    QVERIFY(p->setValue(u"Blocked"_s, kABLastNameProperty));
    const QString uid = p->uniqueId().chopped(kABPersonSuffix.size());
    const QString path = dir.filePath(uid + u".vcf"_s);
    QVERIFY(QDir().mkdir(path));
    const auto saved = book.save();
    QVERIFY(!saved);
    QCOMPARE(saved.error().code, ZEM_Error::WriteFailed);
    QVERIFY(saved.error().message.contains(path));
    QVERIFY(book.hasUnsavedChanges());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList()); // no leftovers

    // The folder's path taken by a file: nothing can be written.
    QVERIFY(QDir().rmdir(path));
    QTemporaryDir elsewhere;
    const QString moved = elsewhere.filePath(u"moved"_s);
    QVERIFY(QDir().rename(dir.path(), moved));
    writeFile(dir.path(), "not a folder");
    QVERIFY(!book.save());
    QVERIFY(book.hasUnsavedChanges());
    QVERIFY(QFile::remove(dir.path()));
    QVERIFY(QDir().rename(moved, dir.path()));

    QVERIFY(book.save());
    QVERIFY(!book.hasUnsavedChanges());
    QVERIFY(readFile(path).contains("\r\nN:Blocked;;;;\r\n"));
}

void tst_AddressBook::editing40And21Cards()
{
    QTemporaryDir dir;
    const QString gracePath = dir.filePath(u"grace.vcf"_s);
    writeFile(gracePath, kGrace4);
    const QString oldPath = dir.filePath(u"old.vcf"_s);
    writeFile(oldPath, crlf("BEGIN:VCARD\nVERSION:2.1\nUID:old\nN:Old;Timer\nFN:Timer Old\n"
                            "TEL;WORK;PREF:+1 555 0111\n"
                            "NOTE;ENCODING=QUOTED-PRINTABLE:caf=C3=A9\nEND:VCARD\n"));
    AddressBook book(dir.path());
    auto *grace = static_cast<ABPerson *>(book.recordForUniqueId(u"urn:uuid:grace-4:ABPerson"_s));
    auto *old = static_cast<ABPerson *>(book.recordForUniqueId(u"old:ABPerson"_s));
    QVERIFY(grace && old);
    QCOMPARE(old->valueForProperty(kABNoteProperty).toString(), u"café"_s);
    QCOMPARE(multi(old, kABPhoneProperty).labelAt(0), kABPhoneWorkLabel);

    ABMultiValue related = multi(grace, kABRelatedNamesProperty);
    related.addValue(u"Mary"_s, kABMotherLabel);
    related.addValue(u"Bob"_s, kABFriendLabel);
    QVERIFY(grace->setValue(QVariant::fromValue(related), kABRelatedNamesProperty));
    ABMultiValue jabber;
    const QString j = jabber.addValue(u"grace@jabber.example"_s, kABJabberWorkLabel);
    jabber.setPrimaryIdentifier(j);
    QVERIFY(grace->setValue(QVariant::fromValue(jabber), kABJabberInstantProperty));
    ABMultiValue dates = multi(grace, kABOtherDatesProperty);
    dates.addValue(QDateTime(QDate(1604, 3, 1), QTime(0, 0)), u"Launch"_s);
    QVERIFY(grace->setValue(QVariant::fromValue(dates), kABOtherDatesProperty));
    QVERIFY(old->setValue(u"Timer"_s, kABNicknameProperty));
    QVERIFY(book.save());

    const QList<QByteArray> g = lines(readFile(gracePath));
    QVERIFY(g.contains("VERSION:4.0"));
    QVERIFY(g.contains("RELATED;TYPE=spouse;VALUE=text:Vincent Hopper"));
    QVERIFY(g.contains("RELATED;TYPE=friend;VALUE=text:Bob"));
    QVERIFY(g.contains("item2.RELATED;VALUE=text:Mary"));
    QVERIFY(g.contains("item2.X-ABLABEL:_$!<Mother>!$_"));
    QVERIFY(g.contains("IMPP;TYPE=work;PREF=1:xmpp:grace@jabber.example"));
    QVERIFY(g.contains("item1.X-ABDATE:--0301"));
    QVERIFY(g.contains("item1.X-ABLABEL:Launch"));
    // Lines of properties that did not change are all still there.
    for (const QByteArray &l : lines(kGrace4))
        QVERIFY2(g.contains(l), l.constData());

    const QList<QByteArray> o = lines(readFile(oldPath));
    QVERIFY(o.contains("VERSION:3.0"));
    QVERIFY(o.contains("NICKNAME:Timer"));
    QVERIFY(o.contains("NOTE:café"));
    QVERIFY2(o.contains("TEL;TYPE=WORK;TYPE=PREF:+1 555 0111"), o.join('|').constData());

    AddressBook again(dir.path());
    auto *g2 = static_cast<ABPerson *>(again.recordForUniqueId(u"urn:uuid:grace-4:ABPerson"_s));
    const ABMultiValue r = multi(g2, kABRelatedNamesProperty);
    QCOMPARE(r.count(), 4);
    QCOMPARE(r.labelAt(2), kABMotherLabel);
    QCOMPARE(r.labelAt(3), kABFriendLabel);
    QCOMPARE(multi(g2, kABJabberInstantProperty).primaryIdentifier(),
             multi(g2, kABJabberInstantProperty).identifierAt(0));
    QCOMPARE(multi(g2, kABOtherDatesProperty).valueAt(1).toDateTime().date(), QDate(1604, 3, 1));
    QCOMPARE(multi(again.recordForUniqueId(u"old:ABPerson"_s), kABPhoneProperty).primaryIdentifier(),
             multi(again.recordForUniqueId(u"old:ABPerson"_s), kABPhoneProperty).identifierAt(0));
}

void tst_AddressBook::badFilesAreSkipped()
{
    QTemporaryDir dir;
    writeFile(dir.filePath(u"00-good.vcf"_s), crlf("BEGIN:VCARD\nVERSION:3.0\nUID:good\nFN:Good\nN:Good;;;;\nEND:VCARD\n"));
    // A continuation line with nothing to continue, and a line without a colon.
    writeFile(dir.filePath(u"01-folding.vcf"_s),
              crlf(" continued from nowhere\nBEGIN:VCARD\nVERSION:3.0\nUID:fold\nFN:Folded\nN:Fold;;;;\nBROKEN LINE\nEND:VCARD\n"));
    writeFile(dir.filePath(u"02-photo.vcf"_s),
              crlf("BEGIN:VCARD\nVERSION:3.0\nUID:photo\nFN:Photo\nN:Photo;;;;\nPHOTO;ENCODING=b;TYPE=JPEG:!!!not base64!!!\nEND:VCARD\n"));
    writeFile(dir.filePath(u"03-version.vcf"_s),
              crlf("BEGIN:VCARD\nVERSION:9.9\nUID:ver\nFN:Version\nEND:VCARD\n"));
    writeFile(dir.filePath(u"04-binary.vcf"_s), QByteArray("\x00\x01\x02\xff\xfe PNG\x00", 11));
    writeFile(dir.filePath(u"05-empty.vcf"_s), QByteArray());
    writeFile(dir.filePath(u"06-truncated.vcf"_s), crlf("BEGIN:VCARD\nVERSION:3.0\nUID:trunc\nFN:Trunc\n"));

    AddressBook book(dir.path());
    QStringList ids;
    for (ABPerson *p : book.people())
        ids.append(p->uniqueId());
    QVERIFY(ids.contains(u"good:ABPerson"_s));
    QVERIFY(ids.contains(u"fold:ABPerson"_s));
    QVERIFY(ids.contains(u"photo:ABPerson"_s));
    QVERIFY(ids.contains(u"ver:ABPerson"_s)); // read as far as it goes
    QVERIFY(!ids.contains(QString())); // nothing came from the binary or empty file
    const QStringList problems = book.problems();
    for (const char *file : {"01-folding.vcf", "02-photo.vcf", "03-version.vcf", "04-binary.vcf",
                             "05-empty.vcf", "06-truncated.vcf"})
        QVERIFY2(!problems.filter(QString::fromLatin1(file)).isEmpty(), file);
    QVERIFY(problems.filter(u"00-good"_s).isEmpty());
    auto *photo = static_cast<ABPerson *>(book.recordForUniqueId(u"photo:ABPerson"_s));
    QVERIFY(photo->imageData().isEmpty());
    QCOMPARE(photo->valueForProperty(kABLastNameProperty).toString(), u"Photo"_s);
}

void tst_AddressBook::refreshAnnouncesChanges()
{
    QTemporaryDir dir;
    writeFile(dir.filePath(u"ada-1.vcf"_s), kAda);
    writeFile(dir.filePath(u"b.vcf"_s), crlf("BEGIN:VCARD\nVERSION:3.0\nUID:b\nFN:B\nN:B;;;;\nEND:VCARD\n"));
    AddressBook book(dir.path());
    ABPerson *ada = book.people().first();
    QSignalSpy spy(&book, &AddressBook::changed);
    QList<QVariantMap> notices;
    QObject context;
    ZEM_F_E_Notifications::shared()->addObserver(&context, kABDatabaseChangedExternallyNotification, {},
                                                 [&](const ZEM_F_Notification &n) { notices.append(n.userInfo); });

    book.refresh();
    QCOMPARE(spy.size(), 0); // nothing changed

    QByteArray changed = kAda;
    changed.replace("NOTE:First line", "NOTE:Outside");
    writeFile(dir.filePath(u"ada-1.vcf"_s), changed);
    writeFile(dir.filePath(u"c.vcf"_s), crlf("BEGIN:VCARD\nVERSION:3.0\nUID:c\nFN:C\nN:C;;;;\nEND:VCARD\n"));
    QVERIFY(QFile::remove(dir.filePath(u"b.vcf"_s)));
    book.refresh();
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy[0][0].toStringList(), QStringList{u"c:ABPerson"_s});
    QCOMPARE(spy[0][1].toStringList(), QStringList{u"ada-1:ABPerson"_s});
    QCOMPARE(spy[0][2].toStringList(), QStringList{u"b:ABPerson"_s});
    QCOMPARE(spy[0][3].toString(), QString());
    QCOMPARE(notices.size(), 1);
    QCOMPARE(notices[0].value(kABInsertedRecords).toStringList(), QStringList{u"c:ABPerson"_s});
    QCOMPARE(notices[0].value(kABDeletedRecords).toStringList(), QStringList{u"b:ABPerson"_s});
    QVERIFY(notices[0].contains(kABSenderProcessName));

    // The book took the new state; the same record object holds it.
    QCOMPARE(book.people().first(), ada);
    QCOMPARE(ada->valueForProperty(kABNoteProperty).toString().left(7), u"Outside"_s);
    QVERIFY(!book.recordForUniqueId(u"b:ABPerson"_s));
    QVERIFY(book.recordForUniqueId(u"c:ABPerson"_s));

    // A card we hold an edit for keeps the edit; the outside change is merged on save.
    QVERIFY(ada->setValue(u"Our job"_s, kABJobTitleProperty));
    changed.replace("NICKNAME:Ada", "NICKNAME:Countess");
    writeFile(dir.filePath(u"ada-1.vcf"_s), changed);
    book.refresh();
    QCOMPARE(spy.size(), 2);
    QCOMPARE(ada->valueForProperty(kABJobTitleProperty).toString(), u"Our job"_s);
    QVERIFY(book.save());
    QCOMPARE(ada->valueForProperty(kABNicknameProperty).toString(), u"Countess"_s);
    ZEM_F_E_Notifications::shared()->removeObserver(&context);
}

void tst_AddressBook::watcherAnnouncesChanges()
{
    QTemporaryDir dir;
    AddressBook book(dir.path(), true);
    QSignalSpy spy(&book, &AddressBook::changed);
    const QString path = dir.filePath(u"w.vcf"_s);
    writeFile(path, crlf("BEGIN:VCARD\nVERSION:3.0\nUID:w\nFN:W\nN:W;;;;\nEND:VCARD\n"));
    QTRY_COMPARE(spy.size(), 1);
    QCOMPARE(spy[0][0].toStringList(), QStringList{u"w:ABPerson"_s});
    QCOMPARE(book.people().size(), 1);

    // Rewritten in place, not replaced.
    writeFile(path, crlf("BEGIN:VCARD\nVERSION:3.0\nUID:w\nFN:W2\nN:W2;;;;\nEND:VCARD\n"));
    QTRY_COMPARE(spy.size(), 2);
    QCOMPARE(spy[1][1].toStringList(), QStringList{u"w:ABPerson"_s});
    QCOMPARE(book.people().first()->valueForProperty(kABLastNameProperty).toString(), u"W2"_s);

    QVERIFY(QFile::remove(path));
    QTRY_COMPARE(spy.size(), 3);
    QCOMPARE(spy[2][2].toStringList(), QStringList{u"w:ABPerson"_s});
    QVERIFY(book.people().isEmpty());
    QCOMPARE(spy[2][3].toString(), QString());
}

void tst_AddressBook::ownSavesCarryOurName()
{
    const QString appName = ZEM_F_Host::appName();
    QVERIFY(!appName.isEmpty());
    QTemporaryDir dir;
    AddressBook watching(dir.path(), true);
    QSignalSpy watchingSpy(&watching, &AddressBook::changed);
    AddressBook editor(dir.path());
    QSignalSpy editorSpy(&editor, &AddressBook::changed);
    ABPerson *p = editor.addPerson();
    QVERIFY(p->setValue(u"Own"_s, kABLastNameProperty));
    QVERIFY(editor.save());

    // Another book of this process sees our save through its watcher...
    QTRY_COMPARE(watchingSpy.size(), 1);
    QCOMPARE(watchingSpy[0][0].toStringList(), QStringList{p->uniqueId()});
    QCOMPARE(watchingSpy[0][3].toString(), appName);
    // ...and the saving book announces it at its next read.
    editor.refresh();
    QCOMPARE(editorSpy.size(), 1);
    QCOMPARE(editorSpy[0][0].toStringList(), QStringList{p->uniqueId()});
    QCOMPARE(editorSpy[0][3].toString(), appName);

    QVERIFY(editor.removeRecord(p));
    QVERIFY(editor.save());
    QTRY_COMPARE(watchingSpy.size(), 2);
    QCOMPARE(watchingSpy[1][2].toStringList(), QStringList{p->uniqueId()});
    QCOMPARE(watchingSpy[1][3].toString(), appName);
}

void tst_AddressBook::sharedBookUsesDefaultFolder()
{
    const QString expected = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                             + u"/contacts/default"_s;
    QCOMPARE(AddressBook::defaultFolder(), expected);
    QVERIFY(expected.startsWith(ZemTestEnv::current()->dataHome()));
    QTemporaryDir dir;
    writeFile(dir.filePath(u"ada-1.vcf"_s), kAda);
    AddressBook::setDefaultFolder(dir.path());
    AddressBook::resetSharedAddressBook();
    AddressBook *shared = AddressBook::sharedAddressBook();
    QCOMPARE(AddressBook::sharedAddressBook(), shared);
    QCOMPARE(shared->people().size(), 1);
    auto view = AddressBook::addressBook();
    QCOMPARE(view->folder(), QDir(dir.path()).absolutePath());
    QVERIFY(view.get() != shared);

    // The shared book follows edits made through another book.
    QSignalSpy spy(shared, &AddressBook::changed);
    QVERIFY(view->people().first()->setValue(u"Via view"_s, kABNoteProperty));
    QVERIFY(view->save());
    QTRY_COMPARE(spy.size(), 1);
    QCOMPARE(shared->people().first()->valueForProperty(kABNoteProperty).toString(), u"Via view"_s);

    AddressBook::resetSharedAddressBook();
    AddressBook::setDefaultFolder({});
    QCOMPARE(AddressBook::defaultFolder(), expected);
}

QString tst_AddressBook::khardConfig(const QTemporaryDir &tmp, const QString &folder)
{
    const QString config = tmp.filePath(u"config"_s);
    QDir().mkpath(config + u"/khard"_s);
    QFile f(config + u"/khard/khard.conf"_s);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    f.write("[addressbooks]\n[[test]]\npath = " + folder.toUtf8()
            + "\n[general]\ndefault_action = list\neditor = /bin/true\nmerge_editor = /bin/true\n");
    return config;
}

namespace {

QByteArray runKhard(const QString &config, const QStringList &args, const QByteArray &input = {})
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"XDG_CONFIG_HOME"_s, config);
    env.insert(u"EDITOR"_s, u"/bin/true"_s);
    env.remove(u"LD_PRELOAD"_s);
    p.setProcessEnvironment(env);
    p.start(u"khard"_s, args);
    if (!p.waitForStarted())
        return {};
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
    }
    if (p.exitCode() != 0)
        qWarning() << "khard" << args << p.readAllStandardError();
    return p.readAllStandardOutput();
}

} // namespace

void tst_AddressBook::khardReadsOurCards()
{
    if (QStandardPaths::findExecutable(u"khard"_s).isEmpty())
        QSKIP("khard is not installed");
    QTemporaryDir tmp;
    const QString folder = tmp.filePath(u"book"_s);
    {
        AddressBook book(folder);
        ABPerson *p = book.addPerson();
        QVERIFY(p->setValue(u"Dorothy"_s, kABFirstNameProperty));
        QVERIFY(p->setValue(u"Vaughan"_s, kABLastNameProperty));
        ABMultiValue emails;
        emails.addValue(u"dorothy@example.org"_s, kABEmailWorkLabel);
        QVERIFY(p->setValue(QVariant::fromValue(emails), kABEmailProperty));
        ABMultiValue phones;
        phones.addValue(u"+1 555 0142"_s, kABPhoneMobileLabel);
        phones.addValue(u"+1 555 0143"_s, u"Lab"_s);
        QVERIFY(p->setValue(QVariant::fromValue(phones), kABPhoneProperty));
        QVERIFY(book.save());
    }
    const QString config = khardConfig(tmp, folder);
    QVERIFY(!config.isEmpty());
    const QByteArray list = runKhard(config, {u"list"_s, u"-p"_s});
    QVERIFY2(list.contains("Dorothy Vaughan"), list.constData());
    const QByteArray email = runKhard(config, {u"email"_s, u"-p"_s});
    QVERIFY2(email.contains("dorothy@example.org\tDorothy Vaughan"), email.constData());
    const QByteArray phone = runKhard(config, {u"phone"_s, u"-p"_s}).toLower();
    QVERIFY2(phone.contains("+1 555 0142\tdorothy vaughan\tcell"), phone.constData());
    QVERIFY2(phone.contains("+1 555 0143\tdorothy vaughan\tlab"), phone.constData());
}

void tst_AddressBook::weReadKhardCards()
{
    if (QStandardPaths::findExecutable(u"khard"_s).isEmpty())
        QSKIP("khard is not installed");
    QTemporaryDir tmp;
    const QString folder = tmp.filePath(u"book"_s);
    QVERIFY(QDir().mkpath(folder));
    const QString config = khardConfig(tmp, folder);
    const QString input = tmp.filePath(u"new.yaml"_s);
    writeFile(input, "First name : Mary\nLast name  : Jackson\nPhone :\n    cell : +1 555 0199\n"
                     "Email :\n    work : mary@example.org\n");
    runKhard(config, {u"new"_s, u"-a"_s, u"test"_s, u"-i"_s, input});

    AddressBook book(folder);
    QCOMPARE(book.people().size(), 1);
    ABPerson *p = book.people().first();
    QCOMPARE(p->valueForProperty(kABFirstNameProperty).toString(), u"Mary"_s);
    QCOMPARE(p->valueForProperty(kABLastNameProperty).toString(), u"Jackson"_s);
    QCOMPARE(multi(p, kABEmailProperty).valueAt(0).toString(), u"mary@example.org"_s);
    QCOMPARE(multi(p, kABEmailProperty).labelAt(0), kABEmailWorkLabel);
    QCOMPARE(multi(p, kABPhoneProperty).valueAt(0).toString(), u"+1 555 0199"_s);
    QCOMPARE(multi(p, kABPhoneProperty).labelAt(0), kABPhoneMobileLabel);

    // An edit of ours keeps what khard wrote, and khard still reads it.
    QVERIFY(p->setValue(u"Engineer"_s, kABJobTitleProperty));
    QVERIFY(book.save());
    QVERIFY2(runKhard(config, {u"email"_s, u"-p"_s}).contains("mary@example.org\tMary Jackson"),
             "khard lost the card");
}

ZEM_TEST_MAIN(tst_AddressBook)
#include "tst_AddressBook.moc"
