// What only the SQLite store has: its tables and metadata, files that are SQLite but not
// ours, locks held by other connections, and many records in one save. What both stores
// promise is in tst_StoreContract and tst_StoreFetchContract.

#include "StoreTestSupport.h"
#include "ZemTestEnv.h"

#include "platform/store/Predicate.h"

#include <sqlite3.h>
#include <unistd.h>

using namespace platform;
using namespace storetest;
using namespace Qt::StringLiterals;

namespace {

// A connection of the test's own, beside the store's.
class RawConnection
{
public:
    explicit RawConnection(const QString &path)
    {
        sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    }
    ~RawConnection() { sqlite3_close_v2(m_db); }
    bool exec(const char *sql) { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }
    QString lastError() const { return QString::fromUtf8(sqlite3_errmsg(m_db)); }
    QString text(const char *sql)
    {
        sqlite3_stmt *s = nullptr;
        QString out;
        if (sqlite3_prepare_v2(m_db, sql, -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
            out = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s, 0)));
        sqlite3_finalize(s);
        return out;
    }

private:
    sqlite3 *m_db = nullptr;
};

} // namespace

class tst_SqliteStore : public QObject
{
    Q_OBJECT

private:
    ContractFixture m_fixture;
    const DataModel &m_model = m_fixture.model;

    QString newPath() { return m_fixture.newPath(kSqlite); }

    // A copy of the sample store, to change.
    QString sampleCopy()
    {
        const QString path = newPath();
        return QFile::copy(m_fixture.samplePath.value(kSqlite), path) ? path : QString();
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_fixture.build()); }

    void newStoreLayout()
    {
        const QString path = newPath();
        QVERIFY(m_fixture.open(kSqlite, path)); // made, and closed again
        RawConnection raw(path);
        QCOMPARE(raw.text("PRAGMA journal_mode"), u"wal"_s);
        QCOMPARE(raw.text("SELECT Z_VALUE FROM Z_METADATA WHERE Z_KEY = 'fingerprint'").toUtf8(), m_model.fingerprint());
        // One join table for the many-to-many pair, none for the side derived from a to-one.
        QCOMPARE(raw.text("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name LIKE 'Z\\_%' ESCAPE '\\'"
                          " AND name NOT IN ('Z_METADATA', 'Z_PRIMARYKEY')"),
                 u"2"_s);
        // An index for each to-one column.
        QCOMPARE(raw.text("SELECT count(*) FROM sqlite_master WHERE type = 'index' AND tbl_name = 'ZEVENT'"), u"3"_s);
    }

    void emptyFileBecomesStore()
    {
        const QString path = newPath();
        QVERIFY(writeBytes(path, {}));
        Session session(kSqlite, m_model, path);
        QVERIFY(session.store);
        session.context.insertNewObject(u"Tag"_s);
        QVERIFY(session.context.save());
        QCOMPARE(allIDs(*session.store, u"Tag"_s).size(), 1);
    }

    void otherHandsAreRefused_data()
    {
        QTest::addColumn<QByteArray>("sql"); // run on a store of ours, or on a new file for CREATE
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("a column added") << QByteArray("ALTER TABLE ZTAG ADD COLUMN ZEXTRA TEXT")
                                        << int(ZEM_Error::Conflict) << u"ZEXTRA"_s;
        QTest::newRow("another program's database")
            << QByteArray("CREATE TABLE notes (body TEXT); INSERT INTO notes VALUES ('keep me')")
            << int(ZEM_Error::ParseFailed) << u"not a store"_s;
    }

    void otherHandsAreRefused()
    {
        QFETCH(QByteArray, sql);
        QFETCH(int, code);
        QFETCH(QString, mentions);
        const QString path = sql.startsWith("CREATE") ? newPath() : sampleCopy();
        QVERIFY(!path.isEmpty());
        {
            RawConnection raw(path);
            QVERIFY2(raw.exec(sql.constData()), qPrintable(raw.lastError()));
        }
        const QByteArray before = fileBytes(path);
        for (bool readOnly : {true, false}) {
            auto store = SqliteStore::open(m_model, path, StoreOptions{readOnly});
            QVERIFY(!store);
            QCOMPARE(int(store.error().code), code);
            QVERIFY2(store.error().message.contains(mentions), qPrintable(store.error().message));
        }
        QCOMPARE(fileBytes(path), before);
    }

    void unwritableFolder()
    {
        if (geteuid() == 0)
            QSKIP("root writes into any folder, so there is nothing to test");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString existing = dir.filePath(u"kept.sqlite"_s);
        const QString sample = m_fixture.samplePath.value(kSqlite);
        QVERIFY(QFile::copy(sample, existing));
        QVERIFY(QFile::setPermissions(existing, QFile::ReadOwner));
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
        const QString fresh = dir.filePath(u"new.sqlite"_s);
        auto created = SqliteStore::open(m_model, fresh, {});
        auto writable = SqliteStore::open(m_model, existing, {});
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::setPermissions(existing, QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(!created);
        QCOMPARE(created.error().code, ZEM_Error::WriteFailed);
        QVERIFY(!QFile::exists(fresh));
        QVERIFY(!writable);
        QCOMPARE(writable.error().code, ZEM_Error::WriteFailed);
        QCOMPARE(fileBytes(existing), fileBytes(sample));
    }

    void lockedSaveChangesNothing()
    {
        const QString path = newPath();
        Session session(kSqlite, m_model, path);
        QVERIFY(session.store);
        StoreContext &context = session.context;
        PersistentObject *first = context.insertNewObject(u"Event"_s);
        PersistentObject *second = context.insertNewObject(u"Event"_s);
        first->setValueForKey(u"one"_s, u"title"_s);
        QVERIFY(context.save());

        first->setValueForKey(u"changed"_s, u"title"_s);
        context.deleteObject(second);
        PersistentObject *third = context.insertNewObject(u"Event"_s);
        const QString temporary = third->objectID();
        static_cast<SqliteStore *>(session.store.get())->setBusyTimeout(0);
        {
            RawConnection other(path);
            QVERIFY2(other.exec("BEGIN EXCLUSIVE"), qPrintable(other.lastError()));
            auto saved = context.save();
            QVERIFY(!saved);
            QCOMPARE(saved.error().code, ZEM_Error::WriteFailed);
            QVERIFY2(saved.error().message.contains(u"locked"_s), qPrintable(saved.error().message));
            QVERIFY(other.exec("ROLLBACK"));
        }
        QCOMPARE(third->objectID(), temporary);
        QVERIFY(context.hasChanges());
        QCOMPARE(allIDs(*session.store, u"Event"_s), QStringList({u"Event/1"_s, u"Event/2"_s}));
        QCOMPARE(load(*session.store, u"Event"_s, u"Event/1"_s).value(u"title"_s), QVariant(u"one"_s));

        auto saved = context.save();
        QVERIFY2(saved, why(saved));
        QCOMPARE(third->objectID(), u"Event/3"_s);
        QCOMPARE(allIDs(*session.store, u"Event"_s), QStringList({u"Event/1"_s, u"Event/3"_s}));
    }

    void manyRecords()
    {
        // Large enough to show quadratic work; timing belongs to the benchmarks.
        constexpr int count = 20000;
        Session session(kSqlite, m_model, newPath());
        QVERIFY(session.store);
        StoreContext &context = session.context;
        context.setUndoEnabled(false);
        for (int i = 0; i < count; ++i) {
            PersistentObject *event = context.insertNewObject(u"Event"_s);
            event->setPrimitiveValue(qint64(i), u"count"_s);
            event->setPrimitiveValue(u"event %1"_s.arg(i), u"title"_s);
        }
        auto saved = context.save();
        QVERIFY2(saved, why(saved));
        const QStringList all = allIDs(*session.store, u"Event"_s);
        QCOMPARE(all.size(), count);
        QCOMPARE(all.last(), u"Event/%1"_s.arg(count));
        auto some = session.store->fetchObjectIDs({u"Event"_s, *Predicate::parse(u"count >= %d AND title ENDSWITH '7'"_s, {count - 100}),
                                           {SortDescriptor{u"count"_s, false}}, 0});
        QVERIFY(some);
        QCOMPARE(some->size(), 10);
        QCOMPARE(some->first(), u"Event/%1"_s.arg(count - 2));
    }
};

ZEM_TEST_MAIN(tst_SqliteStore)
#include "tst_SqliteStore.moc"
