// The primary entry of a multi-value read from a card: the preferred entry, else the
// first one; a save neither loses that nor writes a preference the card did not have.
#include "ZemTestEnv.h"

#include "platform/addressbook/AddressBook.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace platform;
using namespace Qt::StringLiterals;

namespace {

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

ABMultiValue multi(const ABRecord *record, const QString &property)
{
    return record ? record->valueForProperty(property).value<ABMultiValue>() : ABMultiValue();
}

} // namespace

class tst_ABPrimaryEntry : public QObject
{
    Q_OBJECT
private slots:
    void firstEntryWithoutPreference()
    {
        QTemporaryDir dir;
        const QString path = QDir(dir.path()).filePath(u"p.vcf"_s);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:p\r\nFN:Ben Lind\r\nN:Lind;Ben;;;\r\n"
                "EMAIL;TYPE=HOME:b@home.example\r\nEMAIL;TYPE=WORK:b@work.example\r\n"
                "TEL;TYPE=CELL:+49 1\r\nTEL;TYPE=WORK;TYPE=PREF:+49 2\r\nEND:VCARD\r\n");
        f.close();

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
        const QByteArray after = readFile(path);
        QVERIFY(after.contains("EMAIL;TYPE=HOME:b@home.example\r\n"));
        QVERIFY(after.contains("EMAIL;TYPE=WORK:b@work.example\r\n"));
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
};

ZEM_TEST_MAIN(tst_ABPrimaryEntry)
#include "tst_ABPrimaryEntry.moc"
