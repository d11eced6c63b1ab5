// The address book in a folder it shares with sync tools and other programs: files holding
// several cards, edits, removals and renames made by others (also in the middle of a save),
// links, pipes and devices where cards should be, read-only cards and very long UIDs, and a
// card looked up by the file named for its UID before the folder is read.
#include "TestFiles.h"
#include "ZemTestEnv.h"

#include "platform/addressbook/AddressBook.h"
#include "foundation/detail/ZEM_F_Files.h"
#include "platform/detail/ItemFiles.h"

#include <QTemporaryDir>

#include <sys/stat.h>

using namespace platform;
using namespace Qt::StringLiterals;
using zemtest::crlf;
using zemtest::readFile;
using zemtest::writeFile;

namespace {

QByteArray card(const QByteArray &uid, const QByteArray &more = {})
{
    return crlf("BEGIN:VCARD\nVERSION:3.0\nUID:" + uid + "\nFN:" + uid + "\nN:" + uid + ";;;;\n" + more
                + "END:VCARD\n");
}

QString lastName(ABRecord *r)
{
    return r ? r->valueForProperty(kABLastNameProperty).toString() : u"(none)"_s;
}

// Plays another program at the moment the book is about to replace a file: once.
struct OutsideEdit
{
    explicit OutsideEdit(std::function<void(const QString &)> edit)
    {
        ZEM_F_Files::setBeforeCheckForTesting([edit = std::move(edit)](const QString &path) {
            auto once = edit;
            ZEM_F_Files::setBeforeCheckForTesting({});
            once(path);
        });
    }
    ~OutsideEdit() { ZEM_F_Files::setBeforeCheckForTesting({}); }
};

} // namespace

class tst_AddressBookSharedFolder : public QObject
{
    Q_OBJECT

private slots:
    void multiCardFileKeepsEveryCard()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"export.vcf"_s);
        const QByteArray first = card("one", "NOTE:kept\\, as it was\n");
        const QByteArray nouid = crlf("BEGIN:VCARD\nVERSION:3.0\nFN:No Uid\nN:Uid;No;;;\nEND:VCARD\n");
        const QByteArray last = "BEGIN:VCARD\nVERSION:2.1\nN:Three;;;;\nFN:Three\nUID:three\nEND:VCARD"; // no final line end
        QVERIFY(writeFile(path, first + nouid + last));
        AddressBook book(dir.path());
        QCOMPARE(book.people().size(), 3);
        QVERIFY2(book.problems().isEmpty(), qPrintable(book.problems().join(u'\n')));
        QCOMPARE(lastName(book.recordForUniqueId(u"export-2:ABPerson"_s)), u"Uid"_s);

        QVERIFY(book.recordForUniqueId(u"export-2:ABPerson"_s)->setValue(u"Edited"_s, kABLastNameProperty));
        QVERIFY(book.save());
        QByteArray saved = readFile(path);
        QVERIFY2(saved.startsWith(first) && saved.endsWith(last), saved.constData());
        QVERIFY(saved.contains("\r\nN:Edited;No;;;\r\n"));

        QVERIFY(book.removeRecord(book.recordForUniqueId(u"one:ABPerson"_s)));
        QVERIFY(book.save());
        saved = readFile(path);
        QVERIFY(!saved.contains("UID:one") && saved.endsWith(last));
        AddressBook again(dir.path());
        QCOMPARE(again.people().size(), 2);
        QCOMPARE(lastName(again.recordForUniqueId(u"export-2:ABPerson"_s)), u"Edited"_s);
        QCOMPARE(lastName(again.recordForUniqueId(u"three:ABPerson"_s)), u"Three"_s);
    }

    // Another program edits the card before the save, or between the book's last look at the
    // file and its write: another property is merged, the same one or a removal is a conflict
    // that keeps both their file and our edit.
    void outsideEdits_data()
    {
        QTest::addColumn<bool>("during");
        QTest::addColumn<QByteArray>("theirs"); // the card as they leave it; ours has "NOTE:Old"
        QTest::addColumn<bool>("remove");       // we remove the card, else we set its note
        QTest::addColumn<bool>("merges");
        const QByteArray title = QByteArray(card("a", "NOTE:Old\n")).replace("END:", "TITLE:Theirs\r\nEND:");
        for (const bool during : {false, true}) {
            const auto row = [during](const char *name) -> QTestData & {
                return QTest::addRow("%s, %s", name, during ? "during the save" : "before it") << during;
            };
            row("another property") << title << false << true;
            row("the same property") << card("a", "NOTE:Theirs\n") << false << false;
            row("changed there, removed here") << title << true << false;
        }
    }

    void outsideEdits()
    {
        QFETCH(bool, during);
        QFETCH(QByteArray, theirs);
        QFETCH(bool, remove);
        QFETCH(bool, merges);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"a.vcf"_s);
        QVERIFY(writeFile(path, card("a", "NOTE:Old\n")));
        AddressBook book(dir.path());
        ABPerson *a = book.people().first();
        QVERIFY(remove ? book.removeRecord(a) : a->setValue(u"Ours"_s, kABNoteProperty));
        if (!during)
            QVERIFY(writeFile(path, theirs));
        OutsideEdit edit([&](const QString &p) { QVERIFY(!during || (p == path && writeFile(p, theirs))); });

        const auto saved = book.save();
        QCOMPARE(bool(saved), merges);
        if (merges) {
            QCOMPARE(readFile(path), QByteArray(theirs).replace("NOTE:Old", "NOTE:Ours"));
            QCOMPARE(a->valueForProperty(kABJobTitleProperty).toString(), u"Theirs"_s);
            return;
        }
        QCOMPARE(saved.error().code, ZEM_Error::Conflict);
        QCOMPARE(saved.error().arguments, (QStringList{u"a"_s, remove ? QString() : kABNoteProperty}));
        QVERIFY2(saved.error().message.contains(u"a.vcf"_s), qPrintable(saved.error().message));
        QCOMPARE(readFile(path), theirs);
        QVERIFY(book.hasUnsavedChanges());
        QCOMPARE(a->valueForProperty(kABNoteProperty).toString(), remove ? u"Old"_s : u"Ours"_s);
    }

    void removedOrRenamedElsewhere_data()
    {
        QTest::addColumn<bool>("rename");
        QTest::addColumn<bool>("refreshFirst");
        QTest::addColumn<bool>("edit");
        QTest::newRow("removed, seen") << false << true << false;
        QTest::newRow("removed, seen, edited here") << false << true << true;
        QTest::newRow("removed, unseen, edited here") << false << false << true;
        QTest::newRow("renamed, seen, edited here") << true << true << true;
        QTest::newRow("renamed, unseen, edited here") << true << false << true;
    }

    // A removal by another program wins unless the card was edited here; a renamed card is
    // one card, at its new name.
    void removedOrRenamedElsewhere()
    {
        QFETCH(bool, rename);
        QFETCH(bool, refreshFirst);
        QFETCH(bool, edit);
        QTemporaryDir dir;
        const QString oldPath = dir.filePath(u"a.vcf"_s);
        const QString newPath = dir.filePath(u"z-renamed.vcf"_s);
        QVERIFY(writeFile(oldPath, card("a")));
        QVERIFY(writeFile(dir.filePath(u"b.vcf"_s), card("b")));
        AddressBook book(dir.path());
        ABRecord *a = book.recordForUniqueId(u"a:ABPerson"_s);
        if (edit)
            QVERIFY(a->setValue(u"Ours"_s, kABNoteProperty));
        QVERIFY(rename ? QFile::rename(oldPath, newPath) : QFile::remove(oldPath));
        if (refreshFirst)
            book.refresh();
        QVERIFY(book.recordForUniqueId(u"b:ABPerson"_s)->setValue(u"Other card"_s, kABNoteProperty));

        const auto saved = book.save();
        QVERIFY(!QFile::exists(oldPath));
        QVERIFY(book.problems().isEmpty());
        if (rename) {
            QVERIFY(saved);
            QCOMPARE(book.people().size(), 2);
            QCOMPARE(book.recordForUniqueId(u"a:ABPerson"_s), a);
            QVERIFY(readFile(newPath).contains("\r\nNOTE:Ours\r\n"));
        } else if (edit) {
            QVERIFY(!saved);
            QCOMPARE(saved.error().code, ZEM_Error::Conflict);
            QCOMPARE(saved.error().arguments.value(0), u"a"_s);
            QVERIFY(book.hasUnsavedChanges());
        } else {
            QVERIFY(saved);
            QCOMPARE(book.people().size(), 1);
        }
        QVERIFY(readFile(dir.filePath(u"b.vcf"_s)).contains("\r\nNOTE:Other card\r\n") == bool(saved));
    }

    void linksAndSpecialFilesAreNeverFollowed()
    {
        QTemporaryDir dir;
        QTemporaryDir outside;
        const QString target = outside.filePath(u"profile"_s);
        const QByteArray targetBytes = card("elsewhere");
        QVERIFY(writeFile(target, targetBytes));
        QVERIFY(::mkfifo(QFile::encodeName(outside.filePath(u"pipe"_s)).constData(), 0600) == 0);
        QVERIFY(::mkfifo(QFile::encodeName(dir.filePath(u"pipe.vcf"_s)).constData(), 0600) == 0);
        QVERIFY(QFile::link(target, dir.filePath(u"link.vcf"_s)));
        QVERIFY(QFile::link(outside.filePath(u"pipe"_s), dir.filePath(u"pipelink.vcf"_s)));
        QVERIFY(QFile::link(u"/dev/zero"_s, dir.filePath(u"zero.vcf"_s)));
        QVERIFY(QFile::link(target, dir.filePath(u".zem-me"_s)));
        QVERIFY(writeFile(dir.filePath(u"good.vcf"_s), card("good")));

        AddressBook book(dir.path());
        QCOMPARE(book.people().size(), 1);
        for (const char *name : {"link.vcf", "pipe.vcf", "pipelink.vcf", "zero.vcf", ".zem-me"})
            QVERIFY2(!book.problems().filter(QString::fromLatin1(name)).isEmpty(), name);

        // Neither the dot file nor a card that became a link after it was read is written through.
        ABPerson *good = book.people().first();
        QVERIFY(book.setMe(good));
        auto saved = book.save();
        QVERIFY(!saved && saved.error().code == ZEM_Error::WriteFailed);
        QVERIFY(good->setValue(u"Edited"_s, kABNoteProperty));
        QVERIFY(QFile::remove(dir.filePath(u"good.vcf"_s)) && QFile::link(target, dir.filePath(u"good.vcf"_s)));
        saved = book.save();
        QVERIFY(!saved && saved.error().code == ZEM_Error::WriteFailed);
        QVERIFY(saved.error().message.contains(u"link"_s));
        QCOMPARE(readFile(target), targetBytes);
    }

    // Removing is refused where editing is: a read-only card stays as it is.
    void readOnlyCardIsNeitherEditedNorRemoved()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"locked.vcf"_s);
        QVERIFY(writeFile(path, card("locked")));
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));
        AddressBook book(dir.path());
        ABPerson *locked = book.people().first();
        QVERIFY(locked->setValue(u"Edited"_s, kABNoteProperty));
        const auto edited = book.save();
        QVERIFY(!edited && edited.error().code == ZEM_Error::WriteFailed);

        AddressBook other(dir.path());
        QVERIFY(other.removeRecord(other.people().first()));
        const auto removed = other.save();
        QVERIFY(!removed);
        QCOMPARE(removed.error().code, edited.error().code);
        QCOMPARE(readFile(path), card("locked"));
    }

    void longUidsGetShortFileNames()
    {
        QTemporaryDir dir;
        const QString common = QString(300, u'x') + u"é/"_s;
        const QString a = detail::fileNameForUid(common + u"a"_s, u".vcf"_s);
        const QString b = detail::fileNameForUid(common + u"b"_s, u".vcf"_s);
        QVERIFY2(a.toUtf8().size() < 200 && a.endsWith(u".vcf"_s) && a.startsWith(u"xxxx"_s), qPrintable(a));
        QVERIFY(a != b && !a.contains(u'/'));
        QCOMPARE(detail::fileNameForUid(u"short:uid"_s, u".ics"_s), u"short_uid.ics"_s);
        QVERIFY(writeFile(dir.filePath(a), card("long")));
    }

    void lookupByFileNameThenWholeFolder()
    {
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath(u"0-copy.vcf"_s), card("x", "NOTE:copy\n")));
        QVERIFY(writeFile(dir.filePath(u"x.vcf"_s), card("x")));
        QVERIFY(writeFile(dir.filePath(u"y-renamed.vcf"_s), card("y")));
        QVERIFY(writeFile(dir.filePath(u"z.vcf"_s), card("other")));
        // Enough cards for the folder to be read on several threads, in file-name order all the same.
        QStringList expected{u"x"_s};
        for (int i = 0; i < 300; ++i) {
            const QString uid = u"p%1"_s.arg(i, 3, 10, QChar(u'0'));
            QVERIFY(writeFile(dir.filePath(uid + u".vcf"_s), card(uid.toLatin1())));
            expected << uid;
        }
        expected << u"y"_s << u"other"_s;

        AddressBook book(dir.path());
        // Read from x.vcf alone: the earlier file holding the same UID is not known yet.
        ABRecord *x = book.recordForUniqueId(u"x:ABPerson"_s);
        QVERIFY(x && x->valueForProperty(kABNoteProperty).isNull());
        QVERIFY(x->setValue(u"Edited"_s, kABFirstNameProperty));
        QCOMPARE(lastName(book.recordForUniqueId(u"y:ABPerson"_s)), u"y"_s); // not in y.vcf: the folder is read
        QVERIFY(!book.recordForUniqueId(u"z:ABPerson"_s));
        // The folder places each card as if read whole at first: the first file holds x, in the
        // record already handed out, which keeps its edit.
        QStringList names;
        for (ABPerson *p : book.people())
            names << lastName(p);
        QCOMPARE(names, expected);
        QCOMPARE(book.people().first(), x);
        QCOMPARE(book.problems(), QStringList{u"x.vcf: the same UID as 0-copy.vcf; skipped"_s});
        QVERIFY(book.save());
        QCOMPARE(x->valueForProperty(kABNoteProperty).toString(), u"copy"_s);
        QVERIFY(readFile(dir.filePath(u"0-copy.vcf"_s)).contains("\r\nN:x;Edited;;;\r\nNOTE:copy\r\n"));
        QCOMPARE(readFile(dir.filePath(u"x.vcf"_s)), card("x"));
    }
};

ZEM_TEST_MAIN(tst_AddressBookSharedFolder)
#include "tst_AddressBookSharedFolder.moc"
