// Two store objects on one file, as two programs of a host would have: a save never undoes
// what the other saved. Also what the XML store leaves and refuses in its folder.

#include "StoreTestSupport.h"
#include "ZemTestEnv.h"

#include "foundation/detail/ZEM_F_Files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;
using namespace storetest;
using namespace Qt::StringLiterals;

namespace {

// The event \a id of \a program, loaded now, as a program shows it.
PersistentObject *shown(Session &program, const QString &id)
{
    PersistentObject *record = program.context.registerObject(u"Event"_s, id);
    record->valueForKey(u"title"_s);
    return record;
}

} // namespace

class tst_StoreSharedFile : public QObject
{
    Q_OBJECT

private:
    ContractFixture m_fixture;

    // A new store file holding one event ("Old", 1) with one tag; its id in \a id.
    QString makeStore(const QString &type, QString *id)
    {
        const QString path = m_fixture.newPath(type);
        Session session(type, m_fixture.model, path);
        if (!session.store)
            return {};
        PersistentObject *event = session.context.insertNewObject(u"Event"_s);
        event->setValueForKey(u"Old"_s, u"title"_s);
        event->setValueForKey(1, u"count"_s);
        PersistentObject *tag = session.context.insertNewObject(u"Tag"_s);
        event->setValueForKey(PersistentObject::toVariant(RecordSet{tag}), u"tags"_s);
        if (!session.context.save())
            return {};
        *id = event->objectID();
        return path;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_fixture.build()); }

    // Both programs read the event, the first saves a new title, then the second saves
    // another title and a new event: the second save is refused whole.
    void secondSaveOfTheSameRecordConflicts_data() { storeRows(); }
    void secondSaveOfTheSameRecordConflicts()
    {
        QFETCH(QString, store);
        QString id;
        const QString path = makeStore(store, &id);
        QVERIFY(!path.isEmpty());
        Session first(store, m_fixture.model, path), second(store, m_fixture.model, path);
        QVERIFY(first.store && second.store);
        PersistentObject *mine = shown(first, id), *theirs = shown(second, id);

        mine->setValueForKey(u"First"_s, u"title"_s);
        QVERIFY(first.context.save());
        theirs->setValueForKey(u"Second"_s, u"title"_s);
        second.context.insertNewObject(u"Event"_s);
        const auto saved = second.context.save();
        QVERIFY(!saved);
        QCOMPARE(saved.error().code, ZEM_Error::Conflict);

        auto reader = m_fixture.open(store, path);
        QVERIFY(reader);
        QCOMPARE(load(*reader, u"Event"_s, id).value(u"title"_s), QVariant(u"First"_s));
        QCOMPARE(allIDs(*reader, u"Event"_s), QStringList{id});
    }

    // SQLite writes only what a save changed: edits of other columns and links by another
    // program stay; deleting a record another program changed is refused.
    void sqliteKeepsWhatTheOtherChanged()
    {
        QString id;
        const QString path = makeStore(kSqlite, &id);
        QVERIFY(!path.isEmpty());
        Session first(kSqlite, m_fixture.model, path), second(kSqlite, m_fixture.model, path);
        QVERIFY(first.store && second.store);
        PersistentObject *mine = shown(first, id), *theirs = shown(second, id);

        mine->setValueForKey(u"First"_s, u"title"_s);
        PersistentObject *newTag = first.context.insertNewObject(u"Tag"_s);
        RecordSet tags = PersistentObject::setFromVariant(mine->valueForKey(u"tags"_s));
        tags.insert(newTag);
        mine->setValueForKey(PersistentObject::toVariant(tags), u"tags"_s);
        QVERIFY(first.context.save());
        theirs->setValueForKey(2, u"count"_s);
        const auto saved = second.context.save();
        QVERIFY2(saved, why(saved).constData());

        auto reader = m_fixture.open(kSqlite, path);
        QVERIFY(reader);
        const QVariantMap values = load(*reader, u"Event"_s, id);
        QCOMPARE(values.value(u"title"_s), QVariant(u"First"_s));
        QCOMPARE(values.value(u"count"_s).toLongLong(), 2);
        QCOMPARE(values.value(u"tags"_s).value<ObjectRefList>().size(), 2);

        // The second program read the count it saved, but not the first one's title.
        mine->setValueForKey(u"Again"_s, u"title"_s);
        QVERIFY(first.context.save());
        second.context.deleteObject(theirs);
        const auto deleted = second.context.save();
        QVERIFY(!deleted);
        QCOMPARE(deleted.error().code, ZEM_Error::Conflict);
        QCOMPARE(allIDs(*reader, u"Event"_s), QStringList{id});
    }

    // A writer holds "<store>.lock" while it saves; another waits for it, then gives up.
    void xmlWaitsForTheWriterLock()
    {
        QString id;
        const QString path = makeStore(kXml, &id);
        QVERIFY(!path.isEmpty());
        Session program(kXml, m_fixture.model, path);
        QVERIFY(program.store);
        static_cast<XmlStore *>(program.store.get())->setBusyTimeout(0);
        const QByteArray before = fileBytes(path);

        const int lock = ::open(QFile::encodeName(path + u".lock"_s).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        QVERIFY(lock >= 0);
        QCOMPARE(::flock(lock, LOCK_EX | LOCK_NB), 0);
        shown(program, id)->setValueForKey(u"Locked"_s, u"title"_s);
        const auto saved = program.context.save();
        QVERIFY(!saved);
        QCOMPARE(saved.error().code, ZEM_Error::WriteFailed);
        QCOMPARE(fileBytes(path), before);
        ::close(lock);
        QVERIFY(program.context.save());
        QVERIFY(fileBytes(path).contains("Locked"));
    }

    // A read-only store file is not replaced; one named through a link is, in its place.
    void xmlReplacesOnlyWhatItMay()
    {
        QString id;
        const QString path = makeStore(kXml, &id);
        QVERIFY(!path.isEmpty());
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        const QByteArray before = fileBytes(path);
        Session program(kXml, m_fixture.model, path);
        QVERIFY(program.store);
        shown(program, id)->setValueForKey(u"New"_s, u"title"_s);
        const auto saved = program.context.save();
        QVERIFY(!saved);
        QCOMPARE(saved.error().code, ZEM_Error::WriteFailed);
        QCOMPARE(fileBytes(path), before);

        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
        const QString link = path + u".link"_s;
        QVERIFY(QFile::link(path, link));
        Session linked(kXml, m_fixture.model, link);
        QVERIFY(linked.store);
        shown(linked, id)->setValueForKey(u"Through"_s, u"title"_s);
        QVERIFY(linked.context.save());
        QVERIFY(QFileInfo(link).isSymLink());
        QVERIFY(fileBytes(path).contains("Through"));
    }

    // Temporaries a killed writer left are removed on open once old enough to be nobody's.
    void xmlRemovesStaleTemporaries()
    {
        QString id;
        const QString path = makeStore(kXml, &id);
        QVERIFY(!path.isEmpty());
        const QString name = QFileInfo(path).fileName();
        const QString stale = m_fixture.dir.filePath(ZEM_F_Files::temporaryPrefix(name) + u"dead"_s);
        const QString young = m_fixture.dir.filePath(ZEM_F_Files::temporaryPrefix(name) + u"busy"_s);
        const QString other = m_fixture.dir.filePath(ZEM_F_Files::temporaryPrefix(u"other.xml"_s) + u"dead"_s);
        for (const QString &file : {stale, young, other}) {
            QVERIFY(writeBytes(file, QByteArray(4096, 'x')));
            if (file != young) {
                QFile f(file);
                QVERIFY(f.open(QIODevice::ReadWrite));
                QVERIFY(f.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-3600), QFileDevice::FileModificationTime));
            }
        }
        QVERIFY(m_fixture.open(kXml, path));
        QVERIFY(!QFile::exists(stale));
        QVERIFY(QFile::exists(young));
        QVERIFY(QFile::exists(other));
    }
};

ZEM_TEST_MAIN(tst_StoreSharedFile)
#include "tst_StoreSharedFile.moc"
