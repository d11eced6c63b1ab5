// The address book's index in the cache folder: a second open takes unchanged files from it
// without parsing them, and a file changed behind it in any way is read again, so the book
// never shows a stale value; an index that cannot be used only costs the reading.
#include "TestFiles.h"
#include "ZemTestEnv.h"

#include "platform/addressbook/AddressBook.h"
#include "platform/addressbook/detail/AddressBookPrivate.h"
#include "platform/detail/FolderIndex.h"

#include <QDir>
#include <QTemporaryDir>

#include <fcntl.h>
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
    return QDir(any.absolutePath()).entryList({any.fileName().chopped(8) + u"cards-*.sqlite"_s}, QDir::Files);
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
        for (ABPerson *p : first.people()) {
            ABRecord *r = second.recordForUniqueId(p->uniqueId());
            QVERIFY(r);
            for (const QString &key : {kABLastNameProperty, kABPhoneProperty, kABBirthdayProperty})
                QCOMPARE(r->valueForProperty(key), p->valueForProperty(key));
        }
        // What is saved from index values is merged with the file as it is now.
        QVERIFY(second.recordForUniqueId(u"b"_s + kABPersonSuffix)->setValue(u"Beech"_s, kABLastNameProperty));
        QVERIFY(writeFile(path("b.vcf"), card("b", "Birch").replace("+1 555 0100", "+1 555 0199")));
        QVERIFY(second.save());
        AddressBook third(m_dir->path());
        QCOMPARE(lastName(third, u"b"_s), u"Beech"_s);
        QVERIFY(zemtest::readFile(path("b.vcf")).contains("0199"));
    }

    void editsBehindTheIndexAreSeen()
    {
        { AddressBook warm(m_dir->path()); QCOMPARE(warm.people().size(), 3); }
        AddressBook watching(m_dir->path(), true);
        QCOMPARE(lastName(watching, u"a"_s), u"Alder"_s);
        // Same size, same modification time: only the change time tells.
        struct stat st;
        QVERIFY(::stat(QFile::encodeName(path("a.vcf")).constData(), &st) == 0);
        QVERIFY(writeFile(path("a.vcf"), card("a", "Aspen")));
        const timespec times[2] = {st.st_atim, st.st_mtim};
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(path("a.vcf")).constData(), times, 0) == 0);
        // Renamed over with size and times restored: a new inode.
        QVERIFY(::stat(QFile::encodeName(path("b.vcf")).constData(), &st) == 0);
        QVERIFY(writeFile(path("new.tmp"), card("b", "Balsa")));
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(path("new.tmp")).constData(), times, 0) == 0);
        QVERIFY(::rename(QFile::encodeName(path("new.tmp")).constData(), QFile::encodeName(path("b.vcf")).constData()) == 0);
        QVERIFY(QFile::remove(path("c.vcf")));
        QVERIFY(writeFile(path("d.vcf"), card("d", "Dogwood")));

        QTRY_COMPARE(lastName(watching, u"a"_s), u"Aspen"_s);
        QTRY_COMPARE(lastName(watching, u"b"_s), u"Balsa"_s);
        QTRY_COMPARE(watching.people().size(), 3);
        AddressBook fresh(m_dir->path());
        QCOMPARE(lastName(fresh, u"a"_s), u"Aspen"_s);
        QCOMPARE(lastName(fresh, u"b"_s), u"Balsa"_s);
        QCOMPARE(lastName(fresh, u"c"_s), u"(none)"_s);
        QCOMPARE(lastName(fresh, u"d"_s), u"Dogwood"_s);
    }

    void unusableIndexOnlyCostsReading_data()
    {
        QTest::addColumn<QByteArray>("damage");
        QTest::newRow("garbage") << QByteArray("garbage");
        QTest::newRow("truncated") << QByteArray("truncate");
        QTest::newRow("read-only folder") << QByteArray("read-only");
    }

    void unusableIndexOnlyCostsReading()
    {
        QFETCH(QByteArray, damage);
        { AddressBook warm(m_dir->path()); QCOMPARE(warm.people().size(), 3); }
        const QStringList files = indexFiles(m_dir->path());
        QCOMPARE(files.size(), 1);
        const QString index = QFileInfo(FolderIndex::pathFor(m_dir->path(), u"x"_s)).absoluteDir().filePath(files.first());
        const QString cacheDir = QFileInfo(index).absolutePath();
        if (damage == "read-only") {
            QVERIFY(QFile::remove(index));
            QVERIFY(::chmod(QFile::encodeName(cacheDir).constData(), 0500) == 0);
        } else {
            QFile f(index);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(damage == "garbage" ? f.write(QByteArray(4096, 'x')) == 4096 : f.resize(f.size() / 2));
        }
        QVERIFY(writeFile(path("a.vcf"), card("a", "Aspen")));
        AddressBook book(m_dir->path());
        ::chmod(QFile::encodeName(cacheDir).constData(), 0700);
        QCOMPARE(book.people().size(), 3);
        QCOMPARE(lastName(book, u"a"_s), u"Aspen"_s);
        QCOMPARE(lastName(book, u"c"_s), u"Cedar"_s);
    }

    void twoBooksShareOneIndex()
    {
        AddressBook one(m_dir->path());
        AddressBook two(m_dir->path());
        QCOMPARE(two.people().size(), 3);
        QVERIFY(one.recordForUniqueId(u"a"_s + kABPersonSuffix)->setValue(u"Aspen"_s, kABLastNameProperty));
        QVERIFY(one.save());
        QVERIFY(two.recordForUniqueId(u"c"_s + kABPersonSuffix)->setValue(u"Cypress"_s, kABLastNameProperty));
        QVERIFY(two.save());
        AddressBook three(m_dir->path());
        QCOMPARE(lastName(three, u"a"_s), u"Aspen"_s);
        QCOMPARE(lastName(three, u"c"_s), u"Cypress"_s);
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
        const QDateTime birthday = newYork.recordForUniqueId(u"a"_s + kABPersonSuffix)->valueForProperty(kABBirthdayProperty).toDateTime();
        qputenv("TZ", zone);
        QCOMPARE(filesParsed() - before, 3);
        QCOMPARE(birthday.time(), QTime(0, 0));
    }
};

ZEM_TEST_MAIN(tst_AddressBookIndex)
#include "tst_AddressBookIndex.moc"
