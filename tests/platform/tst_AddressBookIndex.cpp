// The address book's index in the cache folder: a second open (also of a second book) takes
// unchanged files from it without parsing them, a file changed behind it in any way is read
// again, so the book never shows a stale value; an index that cannot be used costs reading.
#include "TestFiles.h"
#include "ZemTestEnv.h"

#include "platform/addressbook/AddressBook.h"
#include "platform/addressbook/detail/AddressBookPrivate.h"
#include "platform/detail/FolderIndex.h"

#include <QDir>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>

using namespace platform;
using namespace Qt::StringLiterals;
using detail::FolderIndex;
using detail::card::filesParsed;
using zemtest::crlf;
using zemtest::writeFile;

namespace {

QByteArray card(const QByteArray &uid, const QByteArray &last)
{
    return crlf("BEGIN:VCARD\nVERSION:3.0\nUID:" + uid + "\nN:" + last + ";Ann;;;\nFN:Ann " + last
                + "\nTEL;TYPE=CELL:+1 555 0100\nBDAY:1980-02-03\nEND:VCARD\n");
}

QString lastName(const AddressBook &book, const QString &uid)
{
    ABRecord *r = book.recordForUniqueId(uid + kABPersonSuffix);
    return r ? r->valueForProperty(kABLastNameProperty).toString() : u"(none)"_s;
}

// The index files kept for \a folder, whatever their kind.
QStringList indexFiles(const QString &folder)
{
    const QFileInfo any(FolderIndex::pathFor(folder, u"x"_s));
    QStringList files;
    for (const QFileInfo &f : any.absoluteDir().entryInfoList({any.fileName().chopped(8) + u"cards-*.sqlite"_s}))
        files.append(f.absoluteFilePath());
    return files;
}

} // namespace

class tst_AddressBookIndex : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;

    QString path(const char *name) const { return m_dir->filePath(QString::fromLatin1(name)); }

private slots:
    // Files written a moment ago count as settled, so the index records them.
    void initTestCase() { FolderIndex::setSettleWindowForTesting(0); }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(writeFile(path("a.vcf"), card("a", "Alder")) && writeFile(path("b.vcf"), card("b", "Birch")));
        QVERIFY(writeFile(path("c.vcf"), card("c", "Cedar")));
    }

    void secondOpenTakesEveryValueFromIndex()
    {
        int before = filesParsed();
        AddressBook first(m_dir->path());
        QCOMPARE(first.people().size(), 3);
        QCOMPARE(filesParsed() - before, 3);
        before = filesParsed();
        AddressBook second(m_dir->path());
        QCOMPARE(second.people().size(), 3);
        QCOMPARE(filesParsed() - before, 0);
        for (ABPerson *p : first.people())
            for (const QString &key : {kABLastNameProperty, kABPhoneProperty, kABBirthdayProperty})
                QCOMPARE(second.recordForUniqueId(p->uniqueId())->valueForProperty(key), p->valueForProperty(key));
        // Both books save through the one index; what is saved from index values is merged
        // with the file as it is now.
        QVERIFY(first.recordForUniqueId(u"a"_s + kABPersonSuffix)->setValue(u"Aspen"_s, kABLastNameProperty));
        QVERIFY(first.save());
        QVERIFY(second.recordForUniqueId(u"b"_s + kABPersonSuffix)->setValue(u"Beech"_s, kABLastNameProperty));
        QVERIFY(writeFile(path("b.vcf"), card("b", "Birch").replace("+1 555 0100", "+1 555 0199")));
        QVERIFY(second.save());
        AddressBook third(m_dir->path());
        QCOMPARE(lastName(third, u"a"_s), u"Aspen"_s);
        QCOMPARE(lastName(third, u"b"_s), u"Beech"_s);
        QVERIFY(zemtest::readFile(path("b.vcf")).contains("0199"));
    }

    // A card from the index is held as its packed values until edited: every value reads as
    // from the file (none for a property it lacks); an edit undone is no edit, so another
    // program's change is taken; one edit saved keeps every other value.
    void editOfIndexedCardKeepsEveryOtherValue()
    {
        const QByteArray bytes = crlf("BEGIN:VCARD\nVERSION:3.0\nUID:r\nN:Rowan;Ann;;;\nFN:Ann Rowan\n"
                                      "TEL;TYPE=CELL:+1 555 0100\nTEL;TYPE=HOME:+1 555 0101\n"
                                      "EMAIL;TYPE=WORK:ann@example.org\nADR;TYPE=HOME:;;1 Elm St;Springfield;;12345;\n"
                                      "BDAY:1980-02-03\nPHOTO;ENCODING=b;TYPE=PNG:iVBORw0K\nNOTE:Ñandú\nEND:VCARD\n");
        QVERIFY(writeFile(path("r.vcf"), bytes));
        const QStringList keys{kABFirstNameProperty, kABLastNameProperty, kABPhoneProperty, kABEmailProperty,
                               kABAddressProperty, kABBirthdayProperty, kABNoteProperty, kABOrganizationProperty};
        const auto valuesOf = [&keys](const AddressBook &book) {
            book.people(); // the whole folder, through the index
            auto *r = static_cast<ABPerson *>(book.recordForUniqueId(u"r"_s + kABPersonSuffix));
            QVariantList out{r ? r->imageData() : QByteArray()};
            for (const QString &key : keys)
                out.append(r ? r->valueForProperty(key) : u"(none)"_s);
            return out;
        };
        QVariantList read = valuesOf(AddressBook(m_dir->path()));
        QVERIFY(!read.first().toByteArray().isEmpty() && !read.last().isValid());
        const int parsed = filesParsed();
        AddressBook book(m_dir->path(), true);
        QCOMPARE(valuesOf(book), read);
        QCOMPARE(filesParsed(), parsed);
        ABRecord *r = book.recordForUniqueId(u"r"_s + kABPersonSuffix);
        QVERIFY(r->setValue(u"Oak"_s, kABLastNameProperty) && r->setValue(u"Rowan"_s, kABLastNameProperty));
        QVERIFY(writeFile(path("r.vcf"), QByteArray(bytes).replace("Ñandú", "Elsewhere")));
        QTRY_COMPARE(r->valueForProperty(kABNoteProperty), QVariant(u"Elsewhere"_s));
        QVERIFY(r->setValue(u"Oak"_s, kABLastNameProperty));
        QVERIFY(book.save());
        read[keys.indexOf(kABLastNameProperty) + 1] = u"Oak"_s;
        read[keys.indexOf(kABNoteProperty) + 1] = u"Elsewhere"_s;
        QCOMPARE(valuesOf(AddressBook(m_dir->path())), read);
    }

    void editsBehindTheIndexAreSeen()
    {
        { AddressBook warm(m_dir->path()); QCOMPARE(warm.people().size(), 3); }
        AddressBook watching(m_dir->path(), true);
        QCOMPARE(lastName(watching, u"a"_s), u"Alder"_s);
        // Same size, same modification time: only the change time tells; renamed over with
        // size and times restored: only the inode tells.
        struct stat st;
        QVERIFY(::stat(QFile::encodeName(path("a.vcf")).constData(), &st) == 0);
        const timespec times[2] = {st.st_atim, st.st_mtim};
        const auto writeKeepingTimes = [&](const char *name, const QByteArray &bytes) {
            return writeFile(path(name), bytes)
                && ::utimensat(AT_FDCWD, QFile::encodeName(path(name)).constData(), times, 0) == 0;
        };
        QVERIFY(writeKeepingTimes("a.vcf", card("a", "Aspen")));
        QVERIFY(writeKeepingTimes("new.tmp", card("b", "Balsa")));
        QVERIFY(::rename(QFile::encodeName(path("new.tmp")).constData(), QFile::encodeName(path("b.vcf")).constData()) == 0);
        QVERIFY(QFile::remove(path("c.vcf")));
        QVERIFY(writeFile(path("d.vcf"), card("d", "Dogwood")));

        AddressBook fresh(m_dir->path());
        for (const AddressBook *book : {&watching, &fresh}) {
            QTRY_COMPARE(lastName(*book, u"a"_s), u"Aspen"_s);
            QTRY_COMPARE(lastName(*book, u"b"_s), u"Balsa"_s);
            QTRY_COMPARE(lastName(*book, u"c"_s), u"(none)"_s);
            QCOMPARE(lastName(*book, u"d"_s), u"Dogwood"_s);
        }
    }

    void unusableIndexOnlyCostsReading_data()
    {
        QTest::addColumn<QByteArray>("damage");
        QTest::newRow("garbage") << QByteArray("garbage");
        QTest::newRow("truncated") << QByteArray("truncate");
        QTest::newRow("cannot be made") << QByteArray("unwritable");
        QTest::newRow("held by another process") << QByteArray("held");
    }

    void unusableIndexOnlyCostsReading()
    {
        QFETCH(QByteArray, damage);
        { AddressBook warm(m_dir->path()); QCOMPARE(warm.people().size(), 3); }
        const QStringList files = indexFiles(m_dir->path());
        QCOMPARE(files.size(), 1);
        const QString index = files.first();
        const QString cacheDir = QFileInfo(index).absolutePath();
        sqlite3 *other = nullptr;
        if (damage == "unwritable") {
            // A read-only folder does not stop root: a folder where the file goes does.
            QVERIFY(QFile::remove(index) && QDir().mkdir(index));
            QVERIFY(::chmod(QFile::encodeName(cacheDir).constData(), 0500) == 0);
        } else if (damage == "held") {
            QCOMPARE(sqlite3_open(QFile::encodeName(index).constData(), &other), SQLITE_OK);
            QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE; DELETE FROM files", nullptr, nullptr, nullptr), SQLITE_OK);
        } else {
            QFile f(index);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(damage == "garbage" ? f.write(QByteArray(4096, 'x')) == 4096 : f.resize(f.size() / 2));
        }
        QVERIFY(writeFile(path("a.vcf"), card("a", "Aspen")));
        AddressBook book(m_dir->path());
        ::chmod(QFile::encodeName(cacheDir).constData(), 0700);
        sqlite3_close(other); // its transaction is rolled back
        QCOMPARE(book.people().size(), 3);
        QCOMPARE(lastName(book, u"a"_s), u"Aspen"_s);
        QCOMPARE(lastName(book, u"c"_s), u"Cedar"_s);
    }

    // Dates read as local times: an index made in one zone is not used in another.
    void otherTimeZoneReadsFiles()
    {
        const QByteArray zone = qgetenv("TZ");
        qputenv("TZ", "Asia/Tokyo");
        { AddressBook tokyo(m_dir->path()); QCOMPARE(tokyo.people().size(), 3); }
        qputenv("TZ", "America/New_York");
        const int before = filesParsed();
        AddressBook newYork(m_dir->path());
        QCOMPARE(newYork.people().size(), 3);
        const QVariant birthday = newYork.recordForUniqueId(u"a"_s + kABPersonSuffix)->valueForProperty(kABBirthdayProperty);
        qputenv("TZ", zone);
        QCOMPARE(filesParsed() - before, 3);
        QCOMPARE(birthday.toDateTime().time(), QTime(0, 0));
    }
};

ZEM_TEST_MAIN(tst_AddressBookIndex)
#include "tst_AddressBookIndex.moc"
