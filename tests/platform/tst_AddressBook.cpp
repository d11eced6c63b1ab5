#include "ContentLines.h"
#include "TestFiles.h"
#include "ZemTestEnv.h"

#include "foundation/ZEM_F_E_Notifications.h"
#include "foundation/ZEM_F_HostDelegate.h"
#include "platform/addressbook/AddressBook.h"

#include <QCryptographicHash>
#include <QImage>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <unistd.h>

using namespace platform;
using namespace Qt::StringLiterals;
using zemtest::announced;
using zemtest::crlf;
using zemtest::lineDiff;
using zemtest::propertyName;
using zemtest::rawLines;
using zemtest::readFile;
using zemtest::writeFile;

namespace {

// The logical lines of a card, with property names in upper case (the case of a name
// carries no meaning, and cards are written with upper-case names).
QList<QByteArray> lines(const QByteArray &text)
{
    QList<QByteArray> out = zemtest::unfoldedLines(text);
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

QByteArray card(const QByteArray &uid, const QByteArray &more = {})
{
    return crlf("BEGIN:VCARD\nVERSION:3.0\nUID:" + uid + "\nFN:" + uid + "\nN:" + uid + ";;;;\n" + more + "END:VCARD\n");
}

QString sample(const QString &name)
{
    return QStringLiteral(ZEM_SOURCE_DIR "/tests/platform/data/vcard/") + name;
}

// Everything a person card can carry, as an iOS-style 3.0 export writes it, and a 4.0 card.
const QByteArray kAda = readFile(sample(u"ada.vcf"_s));
const QByteArray kGrace4 = readFile(sample(u"grace.vcf"_s));

ABMultiValue multi(const ABRecord *r, const QString &property)
{
    return r ? r->valueForProperty(property).value<ABMultiValue>() : ABMultiValue();
}

QString text(const QVariant &v)
{
    if (v.typeId() == QMetaType::QDateTime) { // a day, or an instant
        const QDateTime t = v.toDateTime();
        return t.timeSpec() == Qt::LocalTime && t.time() == QTime(0, 0) ? t.date().toString(Qt::ISODate)
                                                                       : t.toUTC().toString(Qt::ISODate);
    }
    if (v.typeId() == QMetaType::QVariantMap) {
        QStringList parts;
        for (auto it = v.toMap().cbegin(); it != v.toMap().cend(); ++it)
            parts << it.key() + u'=' + it.value().toString();
        return parts.join(u"; ").replace(u'\n', u"\\n"_s);
    }
    return v.toString().replace(u'\n', u"\\n"_s);
}

// Every property of a record, one line each; entries of a multi-value as "property
// label: value", the primary one (the first when none is chosen) marked '*'.
QStringList describe(ABRecord *r)
{
    QStringList out;
    for (const QString &p : {kABFirstNameProperty, kABMiddleNameProperty, kABLastNameProperty, kABTitleProperty,
                             kABSuffixProperty, kABNicknameProperty, kABMaidenNameProperty, kABFirstNamePhoneticProperty,
                             kABMiddleNamePhoneticProperty, kABLastNamePhoneticProperty, kABOrganizationProperty,
                             kABDepartmentProperty, kABJobTitleProperty, kABNoteProperty, kABHomePageProperty,
                             kABBirthdayProperty, kABCreationDateProperty, kABModificationDateProperty, kABPersonFlags,
                             kABGroupNameProperty})
        if (const QVariant v = r->valueForProperty(p); v.isValid())
            out << p + u": "_s + text(v);
    for (const QString &p : {kABPhoneProperty, kABEmailProperty, kABURLsProperty, kABAddressProperty,
                             kABRelatedNamesProperty, kABOtherDatesProperty, kABAIMInstantProperty, kABICQInstantProperty,
                             kABJabberInstantProperty, kABMSNInstantProperty, kABYahooInstantProperty}) {
        const ABMultiValue mv = multi(r, p);
        const QString primary = mv.primaryIdentifier().isEmpty() ? mv.identifierAt(0) : mv.primaryIdentifier();
        for (int i = 0; i < mv.count(); ++i)
            out << u"%1 %2%3: %4"_s.arg(p, mv.identifierAt(i) == primary ? u"*"_s : QString(),
                                         mv.labelAt(i), text(mv.valueAt(i)));
    }
    if (const QByteArray image = r->isGroup() ? QByteArray() : static_cast<ABPerson *>(r)->imageData(); !image.isEmpty()) {
        const QImage picture = QImage::fromData(image);
        out << u"image: %1 bytes, md5 %2, starts %3%4"_s.arg(image.size())
                   .arg(QString::fromLatin1(QCryptographicHash::hash(image, QCryptographicHash::Md5).toHex().left(8)),
                        QString::fromLatin1(image.left(4).toHex()),
                        picture.isNull() ? QString() : u", %1x%2"_s.arg(picture.width()).arg(picture.height()));
    }
    return out;
}

} // namespace

namespace {

// khard, run with a configuration of its own that lists \a folder; what it printed.
QByteArray runKhard(const QString &folder, const QStringList &args)
{
    const QString config = QFileInfo(folder).absolutePath() + u"/config"_s;
    if (!writeFile(config + u"/khard/khard.conf"_s,
                   "[addressbooks]\n[[test]]\npath = " + folder.toUtf8()
                       + "\n[general]\ndefault_action = list\neditor = /bin/true\nmerge_editor = /bin/true\n"))
        return {};
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"XDG_CONFIG_HOME"_s, config);
    env.insert(u"EDITOR"_s, u"/bin/true"_s);
    env.remove(u"LD_PRELOAD"_s);
    p.setProcessEnvironment(env);
    p.start(u"khard"_s, args);
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

class tst_AddressBook : public QObject
{
    Q_OBJECT

private slots:
    void multiValueKeepsIdentifiers()
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

    // The primary entry of a multi-value read from a card: the preferred entry, else the
    // first one; a save neither loses that nor writes a preference the card did not have.
    void firstEntryWithoutPreference()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"p.vcf"_s);
        const QByteArray emailLines = "EMAIL;TYPE=HOME:b@home.example\r\nEMAIL;TYPE=WORK:b@work.example\r\n";
        QVERIFY(writeFile(path, card("p", emailLines + "TEL;TYPE=CELL:+49 1\nTEL;TYPE=WORK;TYPE=PREF:+49 2\n")));

        AddressBook book(dir.path());
        ABPerson *p = book.people().value(0);
        QVERIFY(p);
        const ABMultiValue emails = multi(p, kABEmailProperty);
        QCOMPARE(emails.primaryIdentifier(), emails.identifierAt(0));
        const ABMultiValue phones = multi(p, kABPhoneProperty);
        QCOMPARE(phones.primaryIdentifier(), phones.identifierAt(1)); // a preference still wins

        // Another edit leaves the e-mail lines as they were: no preference is written.
        QVERIFY(p->setValue(u"Met at the fair"_s, kABNoteProperty));
        QVERIFY(book.save());
        QVERIFY(readFile(path).contains(emailLines));
        QCOMPARE(multi(p, kABEmailProperty).primaryIdentifier(), emails.identifierAt(0));
    }

    void newPersonKeepsPrimaryAndIdentifiers()
    {
        QTemporaryDir dir;
        AddressBook book(dir.path());
        ABPerson *p = book.addPerson();
        ABMultiValue emails;
        emails.addValue(u"gone@example.org"_s, kABHomeLabel);
        const QString first = emails.addValue(u"a@example.org"_s, kABWorkLabel);
        emails.addValue(u"b@example.org"_s, kABOtherLabel);
        QVERIFY(emails.removeValueAtIndex(0));
        QVERIFY(p->setValue(QVariant::fromValue(emails), kABEmailProperty));
        QVERIFY(book.save());

        // Read back, the first entry is the primary one, under the caller's identifier.
        const ABMultiValue saved = multi(p, kABEmailProperty);
        QCOMPARE(saved.identifierAt(0), first);
        QCOMPARE(saved.primaryIdentifier(), first);
        QVERIFY(!book.hasUnsavedChanges());
        AddressBook again(dir.path());
        const ABMultiValue reread = multi(again.people().value(0), kABEmailProperty);
        QCOMPARE(reread.valueForIdentifier(reread.primaryIdentifier()), QVariant(u"a@example.org"_s));
    }

    void samples_data()
    {
        QTest::addColumn<QString>("file");
        const QDir data(sample({}));
        for (const QString &name : data.entryList({u"*.vcf"_s}, QDir::Files, QDir::Name))
            QTest::newRow(qPrintable(name)) << data.filePath(name);
    }

    // Each sample of tst_VCard's corpus, alone in a folder: the records the book reads from it
    // are the golden file NAME.vcf.people.expected. One field changed in one record rewrites
    // only that property's lines (NAME.vcf.edited.expected); after the same edits of every
    // person the file is the golden NAME.vcf.saved.expected, and reads back as it was saved.
    void samples()
    {
        QFETCH(QString, file);
        QTemporaryDir dir;
        const QString path = dir.filePath(QFileInfo(file).fileName());
        QVERIFY(writeFile(path, readFile(file)));
        AddressBook book(dir.path());
        QStringList out = book.problems().replaceInStrings(dir.path(), u"<folder>"_s);
        QList<ABRecord *> records;
        for (ABPerson *p : book.people())
            records << p;
        for (ABGroup *g : book.groups())
            records << g;
        for (ABRecord *r : std::as_const(records)) {
            QVERIFY(book.recordForUniqueId(r->uniqueId()) == r);
            QVERIFY(!book.recordForUniqueId(QString(r->uniqueId()).replace(kABPersonSuffix, kABGroupSuffix)) || r->isGroup());
            out << r->uniqueId();
            for (const QString &line : describe(r))
                out << u"  "_s + line;
            if (r->isGroup())
                for (ABPerson *member : static_cast<ABGroup *>(r)->members())
                    out << u"  member: "_s + member->uniqueId();
        }
        ZEM_COMPARE_GOLDEN(out.join(u'\n').toUtf8() + '\n', file + u".people.expected"_s);

        // One field of one record: every other line keeps its bytes (a card without a UID gains one).
        const QByteArray original = readFile(path);
        ABRecord *first = records.first();
        QVERIFY(first->setValue(u"Edited; once, über\\back\nline 2"_s, first->isGroup() ? kABGroupNameProperty : kABNoteProperty));
        QVERIFY(book.save());
        const auto [gone, added] = lineDiff(rawLines(original), rawLines(readFile(path)));
        const QByteArray changed = first->isGroup() ? "FN" : "NOTE";
        const bool hadUid = original.contains("\nUID:") || original.contains("\nuid:");
        for (const QByteArray &line : gone)
            QVERIFY2(propertyName(line) == changed, line.constData());
        for (const QByteArray &line : added)
            QVERIFY2(propertyName(line) == changed || (!hadUid && propertyName(line) == "UID"), line.constData());
        QVERIFY(added.size() <= 2 && gone.size() <= 1);
        ZEM_COMPARE_GOLDEN(readFile(path), file + u".edited.expected"_s);

        // The same edits of every person: names, a flag, each kind of list (an entry changed, one
        // removed, new ones with standard and own labels, the primary one moved) and the photo.
        const QByteArray png = QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAIAAAABCAIAAAB7QOjdAAAADUlEQVR4nGP4zwAE/wEHAAH/4iOeWQAAAABJRU5ErkJggg==");
        QHash<ABPerson *, QString> boats;
        QHash<ABPerson *, QStringList> edited;
        for (ABPerson *p : book.people()) {
            QVERIFY(p->setValue(u"Ava"_s, kABFirstNameProperty) && p->setValue(0, kABPersonFlags));
            QVERIFY(p->setValue(u"Timer"_s, kABNicknameProperty) && p->setValue(u"https://new.example"_s, kABHomePageProperty));
            ABMultiValue phones = multi(p, kABPhoneProperty); // a tel: URI stays a URI
            QVERIFY(phones.isEmpty() || phones.replaceValueAtIndex(0, u"+1-555-0199"_s));
            QVERIFY(phones.count() < 3 || phones.removeValueAtIndex(phones.count() - 1));
            phones.addValue(u"+44 1 pager"_s, kABPhonePagerLabel);
            boats[p] = phones.addValue(u"+44 2 boat"_s, u"Boat"_s);
            QVERIFY(phones.setPrimaryIdentifier(boats[p]));
            ABMultiValue related = multi(p, kABRelatedNamesProperty);
            related.addValue(u"Mary"_s, kABMotherLabel);
            related.addValue(u"Bob"_s, kABFriendLabel);
            ABMultiValue jabber;
            jabber.setPrimaryIdentifier(jabber.addValue(u"someone@jabber.example"_s, kABJabberWorkLabel));
            ABMultiValue dates = multi(p, kABOtherDatesProperty);
            dates.addValue(QDateTime(QDate(1604, 3, 1), QTime(0, 0)), u"Launch"_s); // no year
            for (const auto &[property, value] : {std::pair{kABPhoneProperty, phones}, {kABRelatedNamesProperty, related},
                                                  {kABJabberInstantProperty, jabber}, {kABOtherDatesProperty, dates}})
                QVERIFY(p->setValue(QVariant::fromValue(value), property));
            QVERIFY(p->setImageData(p->imageData().isEmpty() ? png : QByteArray()));
            edited[p] = describe(p);
        }
        QVERIFY(book.save());
        ZEM_COMPARE_GOLDEN(readFile(path), file + u".saved.expected"_s);
        AddressBook again(dir.path());
        for (ABPerson *p : book.people()) {
            QCOMPARE(multi(p, kABPhoneProperty).primaryIdentifier(), boats[p]); // identifiers survive a save
            QCOMPARE(describe(again.recordForUniqueId(p->uniqueId())), edited[p]);
        }
    }

    void readsDates_data()
    {
        QTest::addColumn<QByteArray>("bday");
        QTest::addColumn<QDateTime>("expected");
        const QDate d(1980, 5, 17);
        QTest::newRow("extended") << "1980-05-17"_ba << QDateTime(d, QTime(0, 0));
        QTest::newRow("basic") << "19800517"_ba << QDateTime(d, QTime(0, 0));
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

    void readsDates()
    {
        QFETCH(QByteArray, bday);
        QFETCH(QDateTime, expected);
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath(u"d.vcf"_s), card("d", "BDAY:" + bday + '\n')));
        AddressBook book(dir.path());
        QCOMPARE(book.people().size(), 1);
        ABPerson *p = book.people().first();
        QCOMPARE(p->valueForProperty(kABBirthdayProperty).toDateTime(), expected);
        QCOMPARE(book.problems().isEmpty(), expected.isValid());

        // A date reads back as the same date after a round trip.
        if (expected.isValid()) {
            QVERIFY(p->setValue(u"x"_s, kABNoteProperty));
            QVERIFY(book.save());
            QCOMPARE(AddressBook(dir.path()).people().first()->valueForProperty(kABBirthdayProperty).toDateTime(), expected);
        }
    }

    void editingOneFieldKeepsEveryOtherLine()
    {
        QTemporaryDir dir;
        const QString adaPath = dir.filePath(u"ada-1.vcf"_s);
        const QString gracePath = dir.filePath(u"grace.vcf"_s);
        QVERIFY(writeFile(adaPath, kAda));
        QVERIFY(writeFile(gracePath, kGrace4));
        // A file in Latin-1, not UTF-8: read by detection, and its new lines are Latin-1 too.
        const QString latinPath = dir.filePath(u"tva.vcf"_s);
        const QByteArray latin = "BEGIN:VCARD\nVERSION:3.0\nUID:tva\nN:Tv\xE5;;;;\nFN:Tv\xE5\nNOTE:gr\xF6n\nEND:VCARD\n";
        QVERIFY(writeFile(latinPath, latin));
        AddressBook book(dir.path());
        QVERIFY(!book.hasUnsavedChanges());
        QVERIFY2(book.problems().join(u' ').contains(u"tva.vcf: line 4: value is not UTF-8"_s), qPrintable(book.problems().join(u' ')));
        ABRecord *tva = book.recordForUniqueId(u"tva:ABPerson"_s);
        QCOMPARE(tva->valueForProperty(kABLastNameProperty).toString(), u"Två"_s);
        auto *ada = static_cast<ABPerson *>(book.recordForUniqueId(u"ada-1:ABPerson"_s));
        QVERIFY(ada->setValue(u"Analyst and poet"_s, kABJobTitleProperty));
        QVERIFY(tva->setValue(u"blå, 😀"_s, kABNoteProperty) && tva->setValue(u"Två Två"_s, kABJobTitleProperty));
        QVERIFY(book.hasUnsavedChanges());
        QVERIFY(book.save());
        QVERIFY(!book.hasUnsavedChanges());

        QCOMPARE(readFile(gracePath), kGrace4); // the other card is not touched
        QCOMPARE(readFile(adaPath), QByteArray(kAda).replace("TITLE:Analyst\r\n", "TITLE:Analyst and poet\r\n"));
        // A character Latin-1 lacks keeps its line in UTF-8.
        QCOMPARE(readFile(latinPath), QByteArray(latin).replace("NOTE:gr\xF6n\n", "NOTE:bl\xC3\xA5\\, \xF0\x9F\x98\x80\n")
                                          .replace("END:", "TITLE:Tv\xE5 Tv\xE5\nEND:"));

        // Values of the wrong type are refused.
        QVERIFY(!ada->setValue(42, kABNoteProperty));
        QVERIFY(!ada->setValue(u"x"_s, kABPhoneProperty));
        QVERIFY(!ada->setValue(u"x"_s, kABGroupNameProperty));
        QVERIFY(!ada->setValue(u"x"_s, u"NoSuchProperty"_s));
        QVERIFY(!book.hasUnsavedChanges());
    }

    void newPersonAndGroupReadBack()
    {
        QTemporaryDir dir;
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
        emails.setPrimaryIdentifier(emails.addValue(u"kj@home.example"_s, kABEmailHomeLabel));
        QVERIFY(p->setValue(QVariant::fromValue(emails), kABEmailProperty));
        ABMultiValue addresses;
        addresses.addValue(QVariantMap{{kABAddressStreetKey, u"1 Main St\nSuite 2"_s}, {kABAddressCityKey, u"Hampton"_s},
                                       {kABAddressCountryCodeKey, u"us"_s}},
                           u"Summer house"_s);
        QVERIFY(p->setValue(QVariant::fromValue(addresses), kABAddressProperty));
        ABMultiValue badDates;
        badDates.addValue(u"not a date"_s, kABOtherLabel);
        QVERIFY(!p->setValue(QVariant::fromValue(badDates), kABOtherDatesProperty));
        QVERIFY(p->setImageData("\x89PNG\r\n\x1a\n rest"));

        ABGroup *g = book.addGroup();
        QVERIFY(g->setValue(u"Computers"_s, kABGroupNameProperty));
        QVERIFY(!g->setValue(u"x"_s, kABFirstNameProperty));
        QVERIFY(g->addMember(p));
        QCOMPARE(g->members(), QList<ABPerson *>{p});
        QCOMPARE(p->parentGroups(), QList<ABGroup *>{g});
        QVERIFY(book.save());
        QVERIFY(!book.hasUnsavedChanges());

        const QString uid = p->uniqueId().chopped(kABPersonSuffix.size());
        const QList<QByteArray> text = lines(readFile(dir.filePath(uid + u".vcf"_s)));
        QCOMPARE(text.mid(0, 3), (QList<QByteArray>{"BEGIN:VCARD", "VERSION:3.0", "UID:" + uid.toUtf8()}));
        QVERIFY(text.contains("FN:NASA\\; Langley")); // shown as the company
        QVERIFY(text.contains("N:Johnson;Katherine;;;"));
        QVERIFY(text.contains("EMAIL;TYPE=HOME,PREF:kj@home.example") || text.contains("EMAIL;TYPE=HOME;TYPE=PREF:kj@home.example"));
        QVERIFY(text.contains("X-ABSHOWAS:COMPANY"));
        QVERIFY(text.contains("X-ZEM-NAME-ORDER:FIRST-LAST"));
        const QList<QByteArray> groupText = lines(readFile(dir.filePath(g->uniqueId().chopped(kABGroupSuffix.size()) + u".vcf"_s)));
        QVERIFY(groupText.contains("X-ADDRESSBOOKSERVER-KIND:group"));
        QVERIFY(groupText.contains("X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:" + uid.toUtf8()));
        QVERIFY(groupText.contains("FN:Computers"));

        AddressBook again(dir.path());
        QVERIFY(again.problems().isEmpty());
        auto *p2 = static_cast<ABPerson *>(again.recordForUniqueId(p->uniqueId()));
        auto *g2 = static_cast<ABGroup *>(again.recordForUniqueId(g->uniqueId()));
        QCOMPARE(describe(p2), describe(p));
        QCOMPARE(describe(g2), QStringList{u"GroupName: Computers"_s});
        QCOMPARE(g2->members(), QList<ABPerson *>{p2});
    }

    void groupsAndMembers()
    {
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath(u"a.vcf"_s), card("a")));
        QVERIFY(writeFile(dir.filePath(u"b.vcf"_s), card("b")));
        const QByteArray group4 = crlf("BEGIN:VCARD\nVERSION:4.0\nKIND:group\nUID:g4\nFN:Friends\nMEMBER:urn:uuid:a\n"
                                       "MEMBER:mailto:someone@example.org\nMEMBER:urn:uuid:b\nMEMBER:urn:uuid:not-here\nEND:VCARD\n");
        const QString groupPath = dir.filePath(u"g4.vcf"_s);
        QVERIFY(writeFile(groupPath, group4));
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
        QCOMPARE(readFile(groupPath), QByteArray(group4).replace("MEMBER:urn:uuid:a\r\n", ""));

        QVERIFY(g->addMember(a));
        QVERIFY(book.save());
        // Back after the other members, as a 4.0 member.
        QCOMPARE(readFile(groupPath), QByteArray(group4).replace("MEMBER:urn:uuid:a\r\n", "")
                                          .replace("not-here\r\n", "not-here\r\nMEMBER:urn:uuid:a\r\n"));
        QCOMPARE(g->members().size(), 2);
    }

    // An organisation's card is a person shown as a company and named by its FN, until it is
    // shown as a person: then its KIND line says so and its name moves to ORG.
    void organisationCard()
    {
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath(u"k.vcf"_s), crlf("BEGIN:VCARD\nVERSION:4.0\nKIND:org\nUID:k\nFN:Harbour Office\nEND:VCARD\n")));
        AddressBook book(dir.path());
        ABRecord *k = book.recordForUniqueId(u"k:ABPerson"_s);
        QCOMPARE(describe(k), (QStringList{u"Organization: Harbour Office"_s, u"ABPersonFlags: 1"_s}));
        QVERIFY(k->setValue(kABLastNameFirst, kABPersonFlags));
        QVERIFY(book.save());
        QVERIFY(readFile(dir.filePath(u"k.vcf"_s)).contains("\r\nKIND:individual\r\n"));
        QCOMPARE(describe(AddressBook(dir.path()).recordForUniqueId(u"k:ABPerson"_s)),
                 (QStringList{u"Organization: Harbour Office"_s, u"ABPersonFlags: 16"_s}));
    }

    // A card without a name shows its FN, and gets an N line only when a name part is set.
    void formattedNameWithoutN()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"f.vcf"_s);
        const QByteArray before = crlf("BEGIN:VCARD\nVERSION:3.0\nUID:f\nFN:Ada  King Lovelace\nEND:VCARD\n");
        QVERIFY(writeFile(path, before) && writeFile(dir.filePath(u"g.vcf"_s), QByteArray(before).replace("UID:f", "UID:g")));
        AddressBook book(dir.path());
        ABRecord *f = book.recordForUniqueId(u"f:ABPerson"_s), *g = book.recordForUniqueId(u"g:ABPerson"_s);
        QCOMPARE(describe(f), (QStringList{u"First: Ada King"_s, u"Last: Lovelace"_s}));
        QVERIFY(f->setValue(u"x"_s, kABNoteProperty));
        QVERIFY(book.save());
        QCOMPARE(readFile(path), QByteArray(before).replace("END:", "NOTE:x\r\nEND:"));
        QVERIFY(f->setValue(u"Augusta"_s, kABFirstNameProperty));
        // Shown last name first, such a card keeps its names in N, so that it reads the same.
        QVERIFY(g->setValue(kABLastNameFirst, kABPersonFlags));
        QVERIFY(book.save());
        QCOMPARE(lines(readFile(path)), lines(crlf("BEGIN:VCARD\nVERSION:3.0\nUID:f\nFN:Augusta Lovelace\nNOTE:x\n"
                                                   "N:Lovelace;Augusta;;;\nEND:VCARD\n")));
        QCOMPARE(describe(AddressBook(dir.path()).recordForUniqueId(g->uniqueId())),
                 (QStringList{u"First: Ada King"_s, u"Last: Lovelace"_s, u"ABPersonFlags: 16"_s}));
    }

    void fileNamesAndMissingUid()
    {
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath(u"b-no-uid.vcf"_s), crlf("BEGIN:VCARD\nVERSION:3.0\nFN:Nouid\nN:Nouid;;;;\nEND:VCARD\n")));
        QVERIFY(writeFile(dir.filePath(u"a.vcf"_s), card("zzz")));
        QVERIFY(writeFile(dir.filePath(u"notes.txt"_s), card("txt")));
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
        QVERIFY(writeFile(dir.filePath(u"odd.vcf"_s), card("a/b:c")));
        book.refresh();
        auto *odd = book.recordForUniqueId(u"a/b:c:ABPerson"_s);
        QVERIFY(odd);
        QVERIFY(book.removeRecord(odd));
        QVERIFY(book.save());
        ABPerson *p = book.addPerson();
        QVERIFY(p->setValue(u"New"_s, kABLastNameProperty));
        QVERIFY(book.save());
        QVERIFY(QFile::exists(dir.filePath(p->uniqueId().chopped(kABPersonSuffix.size()) + u".vcf"_s)));
    }

    void meIsRemembered()
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
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).filter(QRegularExpression(u"^\\."_s)).size(), 1);
        AddressBook book(dir.path());
        QCOMPARE(book.me()->uniqueId(), id);
        QCOMPARE(book.people().size(), 1); // the dot file is not a card
        QVERIFY(book.setMe(nullptr));
        QVERIFY(book.save());
        QVERIFY(!AddressBook(dir.path()).me());
    }

    void removeRecordDeletesFileAndKeepsPointer()
    {
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath(u"ada-1.vcf"_s), kAda));
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

    void failedSavesKeepEdits()
    {
        QTemporaryDir dir;
        const QString adaPath = dir.filePath(u"ada-1.vcf"_s);
        QVERIFY(writeFile(adaPath, kAda));
        AddressBook book(dir.path());
        ABPerson *p = book.addPerson();
        QVERIFY(p->setValue(u"Blocked"_s, kABLastNameProperty));
        const QString path = dir.filePath(p->uniqueId().chopped(kABPersonSuffix.size()) + u".vcf"_s);
        const auto failsKeepingEdits = [&](const char *what) {
            const auto saved = book.save();
            QVERIFY2(!saved, what);
            QCOMPARE(saved.error().code, ZEM_Error::WriteFailed);
            QVERIFY(!saved.error().message.isEmpty());
            QVERIFY(book.hasUnsavedChanges());
        };

        // A folder where the card's file should go cannot be replaced (as root too).
        QVERIFY(QDir().mkdir(path));
        failsKeepingEdits("a folder in the file's place");
        QVERIFY(QDir().rmdir(path));
        // The folder's path taken by a file: nothing can be written.
        QTemporaryDir elsewhere;
        const QString moved = elsewhere.filePath(u"moved"_s);
        QVERIFY(QDir().rename(dir.path(), moved));
        QVERIFY(writeFile(dir.path(), "not a folder"));
        failsKeepingEdits("a file in the folder's place");
        QVERIFY(QFile::remove(dir.path()));
        QVERIFY(QDir().rename(moved, dir.path()));
        // A folder that cannot be written to keeps an edited card as it was.
        QVERIFY(book.recordForUniqueId(u"ada-1:ABPerson"_s)->setValue(u"Changed"_s, kABNoteProperty));
        if (::geteuid() != 0) {
            QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
            failsKeepingEdits("a read-only folder");
            QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"ada-1.vcf"_s}); // no leftovers
        QCOMPARE(readFile(adaPath), kAda);

        QVERIFY(book.save());
        QVERIFY(!book.hasUnsavedChanges());
        QVERIFY(readFile(path).contains("\r\nN:Blocked;;;;\r\n"));
        QVERIFY(readFile(adaPath).contains("\r\nNOTE:Changed\r\n"));
    }

    void badFilesAreSkipped()
    {
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath(u"00-good.vcf"_s), card("good")));
        // A continuation line with nothing to continue, and a line without a colon.
        QVERIFY(writeFile(dir.filePath(u"01-folding.vcf"_s), " continued from nowhere\r\n" + card("fold", "BROKEN LINE\n")));
        QVERIFY(writeFile(dir.filePath(u"02-photo.vcf"_s), card("photo", "PHOTO;ENCODING=b;TYPE=JPEG:!!!not base64!!!\n")));
        QVERIFY(writeFile(dir.filePath(u"03-version.vcf"_s), QByteArray(card("ver")).replace("VERSION:3.0", "VERSION:9.9")));
        QVERIFY(writeFile(dir.filePath(u"04-binary.vcf"_s), QByteArray("\x00\x01\x02\xff\xfe PNG\x00", 11)));
        QVERIFY(writeFile(dir.filePath(u"05-empty.vcf"_s), QByteArray()));
        QVERIFY(writeFile(dir.filePath(u"06-truncated.vcf"_s), crlf("BEGIN:VCARD\nVERSION:3.0\nUID:trunc\nFN:Trunc\n")));

        AddressBook book(dir.path());
        QStringList ids;
        for (ABPerson *p : book.people())
            ids.append(p->uniqueId());
        // Read as far as they go; nothing came from the binary or empty file.
        QCOMPARE(ids, (QStringList{u"good:ABPerson"_s, u"fold:ABPerson"_s, u"photo:ABPerson"_s, u"ver:ABPerson"_s,
                                   u"trunc:ABPerson"_s}));
        const QStringList problems = book.problems();
        for (const char *file : {"01-folding.vcf", "02-photo.vcf", "03-version.vcf", "04-binary.vcf", "05-empty.vcf",
                                 "06-truncated.vcf"})
            QVERIFY2(!problems.filter(QString::fromLatin1(file)).isEmpty(), file);
        QVERIFY(problems.filter(u"00-good"_s).isEmpty());
        auto *photo = static_cast<ABPerson *>(book.recordForUniqueId(u"photo:ABPerson"_s));
        QVERIFY(photo->imageData().isEmpty());
        QCOMPARE(photo->valueForProperty(kABLastNameProperty).toString(), u"photo"_s);
    }

    void refreshAnnouncesChanges()
    {
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath(u"ada-1.vcf"_s), kAda));
        QVERIFY(writeFile(dir.filePath(u"b.vcf"_s), card("b")));
        AddressBook book(dir.path());
        ABPerson *ada = book.people().first();
        QSignalSpy spy(&book, &AddressBook::changed);
        QList<QVariantMap> notices;
        QObject context;
        ZEM_F_E_Notifications::shared()->addObserver(&context, kABDatabaseChangedExternallyNotification, {},
                                                     [&](const ZEM_F_Notification &n) { notices.append(n.userInfo); });

        book.refresh();
        QCOMPARE(spy.size(), 0); // nothing changed

        QByteArray changed = QByteArray(kAda).replace("NOTE:First line", "NOTE:Outside");
        QVERIFY(writeFile(dir.filePath(u"ada-1.vcf"_s), changed));
        QVERIFY(writeFile(dir.filePath(u"c.vcf"_s), card("c")));
        QVERIFY(QFile::remove(dir.filePath(u"b.vcf"_s)));
        book.refresh();
        QCOMPARE(announced(spy), QStringList{u"+c:ABPerson ~ada-1:ABPerson -b:ABPerson by "_s});
        QCOMPARE(notices.size(), 1);
        QCOMPARE(notices[0].value(kABInsertedRecords).toStringList(), QStringList{u"c:ABPerson"_s});
        QCOMPARE(notices[0].value(kABDeletedRecords).toStringList(), QStringList{u"b:ABPerson"_s});
        QVERIFY(notices[0].contains(kABSenderProcessName));

        // The book took the new state; the same record object holds it.
        QCOMPARE(book.people().first(), ada);
        QVERIFY(ada->valueForProperty(kABNoteProperty).toString().startsWith(u"Outside"_s));
        QVERIFY(!book.recordForUniqueId(u"b:ABPerson"_s));
        QVERIFY(book.recordForUniqueId(u"c:ABPerson"_s));

        // A card we hold an edit for keeps the edit; the outside change is merged on save.
        QVERIFY(ada->setValue(u"Our job"_s, kABJobTitleProperty));
        QVERIFY(writeFile(dir.filePath(u"ada-1.vcf"_s), changed.replace("NICKNAME:Ada", "NICKNAME:Countess")));
        book.refresh();
        QCOMPARE(spy.size(), 2);
        QCOMPARE(ada->valueForProperty(kABJobTitleProperty).toString(), u"Our job"_s);
        QVERIFY(book.save());
        QCOMPARE(ada->valueForProperty(kABNicknameProperty).toString(), u"Countess"_s);
        ZEM_F_E_Notifications::shared()->removeObserver(&context);
    }

    void watcherAnnouncesChanges()
    {
        QTemporaryDir dir;
        AddressBook book(dir.path(), true);
        QSignalSpy spy(&book, &AddressBook::changed);
        const QString path = dir.filePath(u"w.vcf"_s);
        QVERIFY(writeFile(path, card("w")));
        QTRY_COMPARE(spy.size(), 1);
        QCOMPARE(book.people().size(), 1);
        QVERIFY(writeFile(path, QByteArray(card("w")).replace("N:w;", "N:W2;"))); // rewritten in place, not replaced
        QTRY_COMPARE(spy.size(), 2);
        QCOMPARE(book.people().first()->valueForProperty(kABLastNameProperty).toString(), u"W2"_s);
        QVERIFY(QFile::remove(path));
        QTRY_COMPARE(spy.size(), 3);
        QVERIFY(book.people().isEmpty());
        QCOMPARE(announced(spy), (QStringList{u"+w:ABPerson ~ - by "_s, u"+ ~w:ABPerson - by "_s, u"+ ~ -w:ABPerson by "_s}));
    }

    void ownSavesCarryOurName()
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

        // Another book of this process sees our save through its watcher, and the saving book
        // announces it at its next read.
        QTRY_COMPARE(watchingSpy.size(), 1);
        editor.refresh();
        const QString saved = u"+%1 ~ - by %2"_s.arg(p->uniqueId(), appName);
        QCOMPARE(announced(watchingSpy), QStringList{saved});
        QCOMPARE(announced(editorSpy), QStringList{saved});

        QVERIFY(editor.removeRecord(p));
        QVERIFY(editor.save());
        QTRY_COMPARE(watchingSpy.size(), 2);
        QCOMPARE(announced(watchingSpy).last(), u"+ ~ -%1 by %2"_s.arg(p->uniqueId(), appName));
    }

    void sharedBookUsesDefaultFolder()
    {
        const QString expected = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u"/contacts/default"_s;
        QCOMPARE(AddressBook::defaultFolder(), expected);
        QVERIFY(expected.startsWith(ZemTestEnv::current()->dataHome()));
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath(u"ada-1.vcf"_s), kAda));
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

    // khard reads the cards we write; we read the cards khard writes, and an edit of ours
    // keeps what khard wrote.
    void khardAndWeReadEachOthersCards()
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
        const QByteArray list = runKhard(folder, {u"list"_s, u"-p"_s});
        QVERIFY2(list.contains("Dorothy Vaughan"), list.constData());
        const QByteArray email = runKhard(folder, {u"email"_s, u"-p"_s});
        QVERIFY2(email.contains("dorothy@example.org\tDorothy Vaughan"), email.constData());
        const QByteArray phone = runKhard(folder, {u"phone"_s, u"-p"_s}).toLower();
        QVERIFY2(phone.contains("+1 555 0142\tdorothy vaughan\tcell"), phone.constData());
        QVERIFY2(phone.contains("+1 555 0143\tdorothy vaughan\tlab"), phone.constData());

        const QString input = tmp.filePath(u"new.yaml"_s);
        QVERIFY(writeFile(input, "First name : Mary\nLast name  : Jackson\nPhone :\n    cell : +1 555 0199\n"
                                 "Email :\n    work : mary@example.org\n"));
        runKhard(folder, {u"new"_s, u"-a"_s, u"test"_s, u"-i"_s, input});
        AddressBook book(folder);
        QCOMPARE(book.people().size(), 2);
        ABPerson *p = book.people().first();
        if (p->valueForProperty(kABFirstNameProperty) != u"Mary"_s)
            p = book.people().last();
        QStringList read = describe(p);
        read.removeIf([](const QString &line) { return line.startsWith(u"Modification: "_s); }); // khard's stamp
        QCOMPARE(read, (QStringList{u"First: Mary"_s, u"Last: Jackson"_s, u"Phone *_$!<Mobile>!$_: +1 555 0199"_s,
                                           u"Email *_$!<Work>!$_: mary@example.org"_s}));
        QVERIFY(p->setValue(u"Engineer"_s, kABJobTitleProperty));
        QVERIFY(book.save());
        QVERIFY2(runKhard(folder, {u"email"_s, u"-p"_s}).contains("mary@example.org\tMary Jackson"), "khard lost the card");
    }
};

ZEM_TEST_MAIN(tst_AddressBook)
#include "tst_AddressBook.moc"
