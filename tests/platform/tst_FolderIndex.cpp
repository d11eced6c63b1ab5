// The index a folder store keeps in the cache folder: an entry is given back only for the
// file state it was made from, and an index that cannot be used is made anew, never trusted.

#include "ZemTestEnv.h"

#include "platform/detail/FolderIndex.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

using namespace platform::detail;
using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kLongAgoNs = 1'600'000'000'000'000'000; // 2020: clearly older than now

FileKey oldKey(qint64 size)
{
    return FileKey{true, true, size, kLongAgoNs, kLongAgoNs + 5, 42, 7};
}

} // namespace

class tst_FolderIndex : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;

    std::unique_ptr<FolderIndex> openIndex(int version = 1)
    {
        return FolderIndex::open(m_folder.path(), u"test"_s, version);
    }

    // An index holding one entry, "a.ics" at oldKey(10), closed again.
    void writeOneEntry()
    {
        auto index = openIndex();
        QVERIFY(index);
        index->put(u"a.ics"_s, oldKey(10), "payload");
        QVERIFY(index->commit());
    }

private slots:
    void init()
    {
        const QString path = FolderIndex::pathFor(m_folder.path(), u"test"_s);
        for (const QString &suffix : {u""_s, u"-wal"_s, u"-shm"_s})
            QFile::remove(path + suffix);
    }

    void entryOnlyForItsFileState()
    {
        writeOneEntry();
        auto index = openIndex();
        QVERIFY(index);
        QCOMPARE(index->lookup(u"a.ics"_s, oldKey(10)), QByteArray("payload"));
        // Each part of the key on its own tells another state of the file.
        FileKey k = oldKey(10);
        for (auto change : {&FileKey::mtimeNs, &FileKey::ctimeNs, &FileKey::size}) {
            FileKey other = k;
            other.*change += 1;
            QVERIFY(!index->lookup(u"a.ics"_s, other));
        }
        FileKey replaced = k;
        replaced.inode += 1; // same size and times, another file renamed over it
        QVERIFY(!index->lookup(u"a.ics"_s, replaced));
        QVERIFY(!index->lookup(u"b.ics"_s, k));

        index->forget(u"a.ics"_s);
        QVERIFY(index->commit());
        QVERIFY(openIndex()->entries().isEmpty());
    }

    void fileTouchedJustNowIsNotRecorded()
    {
        QFile file(m_folder.filePath(u"new.ics"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("BEGIN:VCALENDAR\r\n");
        file.close();
        const FileKey key = ZEM_F_Files::stampOf(file.fileName());
        QCOMPARE(key.size, 17);
        auto index = openIndex();
        index->put(u"new.ics"_s, key, "parsed");
        QVERIFY(index->commit());
        QVERIFY(!openIndex()->lookup(u"new.ics"_s, key));
    }

    void unusableIndexIsMadeAnew_data()
    {
        QTest::addColumn<QByteArray>("damage");
        QTest::newRow("garbage") << QByteArray("garbage");
        QTest::newRow("truncated") << QByteArray("truncate");
        QTest::newRow("other version") << QByteArray("version");
        QTest::newRow("another program's database") << QByteArray("foreign");
    }
    void unusableIndexIsMadeAnew()
    {
        QFETCH(QByteArray, damage);
        writeOneEntry();
        const QString path = FolderIndex::pathFor(m_folder.path(), u"test"_s);
        QFile file(path);
        if (damage == "garbage") {
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(QByteArray(5000, 'x'));
        } else if (damage == "truncate") {
            QVERIFY(file.resize(file.size() / 2 + 100));
        } else if (damage == "foreign") {
            sqlite3 *db = nullptr;
            QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
            QCOMPARE(sqlite3_exec(db, "PRAGMA application_id=1", nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(db);
        }
        file.close();
        auto index = openIndex(damage == "version" ? 2 : 1);
        QVERIFY(index);
        QVERIFY(index->entries().isEmpty());
        index->put(u"a.ics"_s, oldKey(11), "again");
        QVERIFY(index->commit());
        QCOMPARE(openIndex(damage == "version" ? 2 : 1)->lookup(u"a.ics"_s, oldKey(11)), QByteArray("again"));
    }

    // Whether a write gets through depends on who runs the test (root writes anyway); what
    // matters is that the index serves its entries and says truly whether it kept a new one.
    void readOnlyIndexStillServes()
    {
        writeOneEntry();
        const QString path = FolderIndex::pathFor(m_folder.path(), u"test"_s);
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
        auto index = openIndex();
        QVERIFY(index);
        QCOMPARE(index->lookup(u"a.ics"_s, oldKey(10)), QByteArray("payload"));
        index->put(u"b.ics"_s, oldKey(3), "more");
        const bool kept = index->commit();
        QCOMPARE(bool(index->lookup(u"b.ics"_s, oldKey(3))), kept);
        QCOMPARE(bool(openIndex()->lookup(u"b.ics"_s, oldKey(3))), kept);
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
    }

    void twoWritersShareOneIndex()
    {
        auto first = openIndex();
        auto second = openIndex();
        QVERIFY(first && second);
        first->put(u"a.ics"_s, oldKey(1), "first");
        second->put(u"b.ics"_s, oldKey(2), "second");
        QVERIFY(first->commit());
        QVERIFY(second->commit());

        // A writer holding the index makes a commit give up rather than wait, and write nothing.
        sqlite3 *db = nullptr;
        const QString path = FolderIndex::pathFor(m_folder.path(), u"test"_s);
        QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        first->put(u"c.ics"_s, oldKey(3), "blocked");
        QVERIFY(!first->commit());
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db);

        const auto both = openIndex()->entries();
        QCOMPARE(both.size(), 2);
        QCOMPARE(both.value(u"a.ics"_s).payload, QByteArray("first"));
        QCOMPARE(both.value(u"b.ics"_s).payload, QByteArray("second"));
    }

    void noIndexInsideTheFolder()
    {
        const QByteArray cache = qgetenv("XDG_CACHE_HOME");
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_folder.filePath(u".cache"_s)));
        const bool none = !openIndex();
        qputenv("XDG_CACHE_HOME", cache);
        QVERIFY(none);
    }
};

ZEM_TEST_MAIN(tst_FolderIndex)
#include "tst_FolderIndex.moc"
