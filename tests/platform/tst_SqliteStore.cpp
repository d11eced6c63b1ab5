#include "TestFiles.h"
#include "ZemTestEnv.h"

#include "platform/store/DataModel.h"
#include "platform/store/PersistentObject.h"
#include "platform/store/Predicate.h"
#include "platform/store/SqliteStore.h"
#include "platform/store/StoreContext.h"

#include <QFile>
#include <QSize>
#include <QTemporaryDir>

#include <sqlite3.h>
#include <unistd.h>

#include <cmath>
#include <limits>

using namespace platform;
using namespace Qt::StringLiterals;

namespace {

// Every attribute type, a to-one/to-many pair, a to-many without inverse and a
// many-to-many pair.
const char kModel[] = R"({ "entities": [
  { "name": "Calendar",
    "attributes": [ { "name": "title", "type": "string" }, { "name": "color", "type": "integer" } ],
    "relationships": [
      { "name": "events", "destination": "Event", "toMany": true, "inverse": "calendar" },
      { "name": "pinned", "destination": "Event", "toMany": true } ] },
  { "name": "Event",
    "attributes": [
      { "name": "title", "type": "string" }, { "name": "count", "type": "integer" },
      { "name": "ratio", "type": "double" }, { "name": "done", "type": "boolean" },
      { "name": "start", "type": "date" }, { "name": "payload", "type": "binary" } ],
    "relationships": [
      { "name": "calendar", "destination": "Calendar", "inverse": "events" },
      { "name": "tags", "destination": "Tag", "toMany": true, "inverse": "events" } ] },
  { "name": "Tag",
    "attributes": [ { "name": "name", "type": "string" } ],
    "relationships": [ { "name": "events", "destination": "Event", "toMany": true, "inverse": "tags" } ] }
] })";

using zemtest::readFile;
using zemtest::writeFile;

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

QStringList idsOf(const ObjectRefList &refs)
{
    QStringList ids;
    for (const ObjectRef &ref : refs)
        ids.append(ref.objectID);
    return ids;
}

// One step of a key path over loaded values: into a map, or into each map of a list.
QVariant step(const QVariant &value, const QString &key)
{
    if (value.typeId() == QMetaType::QVariantMap)
        return value.toMap().value(key);
    if (value.typeId() == QMetaType::QVariantList) {
        QVariantList out;
        for (const QVariant &element : value.toList()) {
            const QVariant v = step(element, key);
            if (v.typeId() == QMetaType::QVariantList)
                out.append(v.toList());
            else
                out.append(v);
        }
        return out;
    }
    return {};
}

QVariant atPath(const QVariantMap &values, const QString &keyPath)
{
    QVariant v = values;
    for (const QString &key : keyPath.split(u'.'))
        v = step(v, key);
    return v;
}

// "title:a,ratio:d,title:ci" → sort descriptors.
QList<SortDescriptor> sortsFrom(const QString &text)
{
    QList<SortDescriptor> sorts;
    for (const QString &item : text.split(u',', Qt::SkipEmptyParts)) {
        const QStringList parts = item.split(u':');
        SortDescriptor sort;
        sort.keyPath = parts.value(0);
        sort.ascending = !parts.value(1).startsWith(u'd');
        sort.caseInsensitive = parts.value(1).endsWith(u'i');
        sorts.append(sort);
    }
    return sorts;
}

} // namespace

class tst_SqliteStore : public QObject
{
    Q_OBJECT

private:
    DataModel m_model;
    QTemporaryDir m_dir;
    int m_files = 0;
    QString m_samplePath;
    QStringList m_sampleEvents;

    QString newPath() { return m_dir.filePath(u"store%1.sqlite"_s.arg(++m_files)); }

    std::unique_ptr<SqliteStore> open(const QString &path, bool readOnly = false)
    {
        auto store = SqliteStore::open(m_model, path, StoreOptions{readOnly});
        if (!store) {
            QTest::qFail(qPrintable(store.error().message), __FILE__, __LINE__);
            return nullptr;
        }
        return std::move(*store);
    }

    static QVariantMap load(SqliteStore &store, const QString &entity, const QString &id)
    {
        StoreContext scratch;
        auto values = store.loadValues(*scratch.registerObject(entity, id));
        return values ? *values : QVariantMap();
    }

    // An event's loaded values with its calendar's and tags' values in place of their refs.
    static QVariantMap nestedEvent(SqliteStore &store, const QString &id)
    {
        QVariantMap values = load(store, u"Event"_s, id);
        if (values.contains(u"calendar"_s)) {
            const ObjectRef ref = values.value(u"calendar"_s).value<ObjectRef>();
            values.insert(u"calendar"_s, load(store, ref.entityName, ref.objectID));
        }
        QVariantList tags;
        for (const ObjectRef &ref : values.value(u"tags"_s).value<ObjectRefList>())
            tags.append(load(store, ref.entityName, ref.objectID));
        values.insert(u"tags"_s, tags);
        return values;
    }

    QString buildSampleStore(QStringList *eventIDs);

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        auto model = DataModel::fromJson(kModel);
        QVERIFY2(model, qPrintable(model ? QString() : model.error().message));
        m_model = *model;
        m_samplePath = buildSampleStore(&m_sampleEvents);
        QCOMPARE(m_sampleEvents.size(), 10);
    }

    void newStoreLayout()
    {
        const QString path = newPath();
        {
            auto store = open(path);
            QVERIFY(store);
            QCOMPARE(store->type(), u"SQLite"_s);
            QCOMPARE(store->path(), path);
            QVERIFY(!store->isReadOnly());
        }
        RawConnection raw(path);
        QCOMPARE(raw.text("PRAGMA journal_mode"), u"wal"_s);
        QCOMPARE(raw.text("SELECT Z_VALUE FROM Z_METADATA WHERE Z_KEY = 'fingerprint'").toUtf8(), m_model.fingerprint());
        // One join table for the many-to-many pair, none for the side derived from a to-one.
        QCOMPARE(raw.text("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name LIKE 'Z\\_%' ESCAPE '\\'"
                          " AND name NOT IN ('Z_METADATA', 'Z_PRIMARYKEY')"),
                 u"2"_s);
        QCOMPARE(raw.text("SELECT count(*) FROM sqlite_master WHERE type = 'index' AND tbl_name = 'ZEVENT'"), u"1"_s);
    }

    void attributeRoundTrip_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QVariant>("expected");

        const QString nasty = u"a\u0000b \u00e4\u0308 \U0001F600 \uFFFD\r\n\t"_s;
        QTest::newRow("text") << u"title"_s << QVariant(nasty) << QVariant(nasty);
        QTest::newRow("empty text is kept") << u"title"_s << QVariant(QString(u""_s)) << QVariant(QString(u""_s));
        QTest::newRow("missing text") << u"title"_s << QVariant() << QVariant();
        QTest::newRow("zero is kept") << u"count"_s << QVariant(qint64(0)) << QVariant(qint64(0));
        QTest::newRow("largest integer") << u"count"_s << QVariant(std::numeric_limits<qint64>::max())
                                         << QVariant(std::numeric_limits<qint64>::max());
        QTest::newRow("smallest integer") << u"count"_s << QVariant(std::numeric_limits<qint64>::min())
                                          << QVariant(std::numeric_limits<qint64>::min());
        QTest::newRow("int becomes qint64") << u"count"_s << QVariant(int(-7)) << QVariant(qint64(-7));
        QTest::newRow("integer from text") << u"count"_s << QVariant(u" 42 "_s) << QVariant(qint64(42));
        QTest::newRow("double") << u"ratio"_s << QVariant(0.1) << QVariant(0.1);
        QTest::newRow("negative zero reads back as zero") << u"ratio"_s << QVariant(-0.0) << QVariant(0.0);
        QTest::newRow("infinity") << u"ratio"_s << QVariant(-qInf()) << QVariant(-qInf());
        QTest::newRow("NaN reads back as NaN") << u"ratio"_s << QVariant(qQNaN()) << QVariant(qQNaN());
        QTest::newRow("smallest double") << u"ratio"_s << QVariant(std::numeric_limits<double>::denorm_min())
                                         << QVariant(std::numeric_limits<double>::denorm_min());
        QTest::newRow("false is kept") << u"done"_s << QVariant(false) << QVariant(false);
        QTest::newRow("true") << u"done"_s << QVariant(true) << QVariant(true);
        const QDateTime summer(QDate(2026, 7, 1), QTime(23, 59, 58, 999), Qt::UTC);
        QTest::newRow("date to the ms") << u"start"_s << QVariant(summer) << QVariant(summer.toLocalTime());
        const QDateTime old = QDateTime::fromMSecsSinceEpoch(-1, Qt::UTC);
        QTest::newRow("date before 1970") << u"start"_s << QVariant(old) << QVariant(old.toLocalTime());
        QTest::newRow("invalid date is no value") << u"start"_s << QVariant(QDateTime()) << QVariant();
        QTest::newRow("binary with NUL") << u"payload"_s << QVariant(QByteArray("\0\xff\0x", 4))
                                         << QVariant(QByteArray("\0\xff\0x", 4));
        QTest::newRow("empty binary is kept") << u"payload"_s << QVariant(QByteArray("")) << QVariant(QByteArray(""));
    }

    void attributeRoundTrip()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, value);
        QFETCH(QVariant, expected);
        const QString path = newPath();
        QString id;
        {
            auto store = open(path);
            QVERIFY(store);
            StoreContext context;
            context.setPersistentStore(store.get());
            PersistentObject *event = context.insertNewObject(u"Event"_s);
            event->setValueForKey(value, key);
            auto saved = context.save();
            QVERIFY2(saved, qPrintable(saved ? QString() : saved.error().message));
            id = event->objectID();
        }
        auto store = open(path, true);
        QVERIFY(store);
        const QVariantMap values = load(*store, u"Event"_s, id);
        QCOMPARE(values.contains(key), expected.isValid());
        if (!expected.isValid())
            return;
        const QVariant loaded = values.value(key);
        QCOMPARE(loaded.metaType(), expected.metaType());
        if (expected.typeId() == QMetaType::Double) {
            const double x = loaded.toDouble(), y = expected.toDouble();
            QCOMPARE(std::isnan(x), std::isnan(y));
            if (!std::isnan(y)) {
                QCOMPARE(x, y);
                QCOMPARE(std::signbit(x), std::signbit(y));
            }
        } else if (expected.typeId() == QMetaType::QDateTime) {
            QCOMPARE(loaded.toDateTime().toMSecsSinceEpoch(), expected.toDateTime().toMSecsSinceEpoch());
            QCOMPARE(loaded.toDateTime().timeSpec(), Qt::LocalTime);
        } else {
            QCOMPARE(loaded, expected);
        }
        // Through a context too, as an application reads it.
        StoreContext context;
        context.setPersistentStore(store.get());
        QCOMPARE(context.registerObject(u"Event"_s, id)->valueForKey(key).metaType(), expected.metaType());
    }

    void uncoercibleValueFailsWhole()
    {
        const QString path = newPath();
        auto store = open(path);
        QVERIFY(store);
        StoreContext context;
        context.setPersistentStore(store.get());
        PersistentObject *good = context.insertNewObject(u"Event"_s);
        good->setValueForKey(u"fine"_s, u"title"_s);
        PersistentObject *bad = context.insertNewObject(u"Event"_s);
        bad->setValueForKey(u"twelve"_s, u"count"_s);
        auto saved = context.save();
        QVERIFY(!saved);
        QCOMPARE(saved.error().code, ZEM_Error::InvalidArgument);
        QVERIFY2(saved.error().message.contains(u"count"_s), qPrintable(saved.error().message));
        QVERIFY(good->objectID().startsWith(u"x-temp/"_s));
        QCOMPARE(store->fetchObjectIDs({u"Event"_s, {}, {}, 0})->size(), 0);
    }

    void relationsRoundTrip()
    {
        const QString path = newPath();
        QString work, first, second, orphan, urgent, later;
        {
            auto store = open(path);
            QVERIFY(store);
            StoreContext context, elsewhere;
            context.setPersistentStore(store.get());
            PersistentObject *calendar = context.insertNewObject(u"Calendar"_s);
            PersistentObject *e1 = context.insertNewObject(u"Event"_s);
            PersistentObject *e2 = context.insertNewObject(u"Event"_s);
            PersistentObject *e3 = context.insertNewObject(u"Event"_s);
            PersistentObject *t1 = context.insertNewObject(u"Tag"_s);
            PersistentObject *t2 = context.insertNewObject(u"Tag"_s);
            // Primitive values bypass the context's inverse upkeep: each link is held by one
            // side only, and the store must derive the other.
            e2->setPrimitiveValue(PersistentObject::toVariant(calendar), u"calendar"_s);
            e1->setPrimitiveValue(PersistentObject::toVariant(calendar), u"calendar"_s);
            calendar->setPrimitiveValue(PersistentObject::toVariant(RecordSet{e2}), u"pinned"_s);
            e1->setPrimitiveValue(PersistentObject::toVariant(RecordSet{t1, t2}), u"tags"_s);
            t2->setPrimitiveValue(PersistentObject::toVariant(RecordSet{e2}), u"events"_s);
            // A record of no store cannot be pointed at.
            PersistentObject *stranger = elsewhere.insertNewObject(u"Calendar"_s);
            e3->setPrimitiveValue(PersistentObject::toVariant(stranger), u"calendar"_s);
            auto saved = context.save();
            QVERIFY2(saved, qPrintable(saved ? QString() : saved.error().message));
            work = calendar->objectID(), first = e1->objectID(), second = e2->objectID(), orphan = e3->objectID();
            urgent = t1->objectID(), later = t2->objectID();
        }
        QCOMPARE(QSet<QString>({work, first, second, orphan, urgent, later}).size(), 6);
        auto store = open(path, true);
        QVERIFY(store);
        const QVariantMap calendar = load(*store, u"Calendar"_s, work);
        QCOMPARE(idsOf(calendar.value(u"events"_s).value<ObjectRefList>()), QStringList({first, second}));
        QCOMPARE(idsOf(calendar.value(u"pinned"_s).value<ObjectRefList>()), QStringList({second}));
        const QVariantMap e1 = load(*store, u"Event"_s, first);
        QCOMPARE(e1.value(u"calendar"_s).value<ObjectRef>(), (ObjectRef{u"Calendar"_s, work}));
        QCOMPARE(idsOf(e1.value(u"tags"_s).value<ObjectRefList>()), QStringList({urgent, later}));
        QCOMPARE(idsOf(load(*store, u"Event"_s, second).value(u"tags"_s).value<ObjectRefList>()), QStringList({later}));
        QCOMPARE(idsOf(load(*store, u"Tag"_s, later).value(u"events"_s).value<ObjectRefList>()),
                 QStringList({first, second}));
        QVERIFY(!load(*store, u"Event"_s, orphan).contains(u"calendar"_s));
        QCOMPARE(load(*store, u"Event"_s, orphan).value(u"tags"_s).value<ObjectRefList>(), ObjectRefList());
    }

    void updatesRewriteLinks()
    {
        const QString path = newPath();
        QString calendarID, e1ID, e2ID, tagID;
        {
            auto store = open(path);
            QVERIFY(store);
            StoreContext context;
            context.setPersistentStore(store.get());
            PersistentObject *calendar = context.insertNewObject(u"Calendar"_s);
            PersistentObject *e1 = context.insertNewObject(u"Event"_s);
            PersistentObject *e2 = context.insertNewObject(u"Event"_s);
            PersistentObject *tag = context.insertNewObject(u"Tag"_s);
            e1->setValueForKey(PersistentObject::toVariant(calendar), u"calendar"_s);
            e1->setValueForKey(PersistentObject::toVariant(RecordSet{tag}), u"tags"_s);
            QVERIFY(context.save());
            calendarID = calendar->objectID(), e1ID = e1->objectID(), e2ID = e2->objectID(), tagID = tag->objectID();
        }
        {
            // A new context over the saved file: change links from the to-many sides only.
            auto store = open(path);
            QVERIFY(store);
            StoreContext context;
            context.setPersistentStore(store.get());
            PersistentObject *calendar = context.registerObject(u"Calendar"_s, calendarID);
            PersistentObject *e2 = context.registerObject(u"Event"_s, e2ID);
            PersistentObject *tag = context.registerObject(u"Tag"_s, tagID);
            calendar->setValueForKey(PersistentObject::toVariant(RecordSet{e2}), u"events"_s);
            tag->setValueForKey(PersistentObject::toVariant(RecordSet{e2}), u"events"_s);
            calendar->setValueForKey(u"Renamed"_s, u"title"_s);
            auto saved = context.save();
            QVERIFY2(saved, qPrintable(saved ? QString() : saved.error().message));
        }
        auto store = open(path, true);
        QVERIFY(store);
        QVERIFY(!load(*store, u"Event"_s, e1ID).contains(u"calendar"_s));
        QCOMPARE(load(*store, u"Event"_s, e2ID).value(u"calendar"_s).value<ObjectRef>().objectID, calendarID);
        QCOMPARE(idsOf(load(*store, u"Event"_s, e1ID).value(u"tags"_s).value<ObjectRefList>()), QStringList());
        QCOMPARE(idsOf(load(*store, u"Event"_s, e2ID).value(u"tags"_s).value<ObjectRefList>()), QStringList({tagID}));
        QCOMPARE(load(*store, u"Calendar"_s, calendarID).value(u"title"_s), QVariant(u"Renamed"_s));
    }

    void deletesRemoveRowsAndLinks()
    {
        const QString path = newPath();
        auto store = open(path);
        QVERIFY(store);
        QString calendarID, goneID, keptID, tagID;
        {
            StoreContext context;
            context.setPersistentStore(store.get());
            PersistentObject *calendar = context.insertNewObject(u"Calendar"_s);
            PersistentObject *gone = context.insertNewObject(u"Event"_s);
            PersistentObject *kept = context.insertNewObject(u"Event"_s);
            PersistentObject *tag = context.insertNewObject(u"Tag"_s);
            gone->setValueForKey(PersistentObject::toVariant(calendar), u"calendar"_s);
            kept->setValueForKey(PersistentObject::toVariant(calendar), u"calendar"_s);
            gone->setValueForKey(PersistentObject::toVariant(RecordSet{tag}), u"tags"_s);
            calendar->setValueForKey(PersistentObject::toVariant(RecordSet{gone, kept}), u"pinned"_s);
            QVERIFY(context.save());
            calendarID = calendar->objectID(), goneID = gone->objectID(), keptID = kept->objectID();
            tagID = tag->objectID();
        }
        {
            // Only the deleted event is loaded: links to it from unloaded records go too.
            StoreContext context;
            context.setPersistentStore(store.get());
            context.deleteObject(context.registerObject(u"Event"_s, goneID));
            auto saved = context.save();
            QVERIFY2(saved, qPrintable(saved ? QString() : saved.error().message));
        }
        StoreContext scratch;
        auto missing = store->loadValues(*scratch.registerObject(u"Event"_s, goneID));
        QVERIFY(!missing);
        QCOMPARE(missing.error().code, ZEM_Error::NotFound);
        QCOMPARE(idsOf(load(*store, u"Tag"_s, tagID).value(u"events"_s).value<ObjectRefList>()), QStringList());
        const QVariantMap calendar = load(*store, u"Calendar"_s, calendarID);
        QCOMPARE(idsOf(calendar.value(u"events"_s).value<ObjectRefList>()), QStringList({keptID}));
        QCOMPARE(idsOf(calendar.value(u"pinned"_s).value<ObjectRefList>()), QStringList({keptID}));
        {
            // The calendar goes: the kept event no longer points at it.
            StoreContext context;
            context.setPersistentStore(store.get());
            context.deleteObject(context.registerObject(u"Calendar"_s, calendarID));
            QVERIFY(context.save());
        }
        QVERIFY(!load(*store, u"Event"_s, keptID).contains(u"calendar"_s));
        RawConnection raw(path);
        QCOMPARE(raw.text("SELECT count(*) FROM Z_CALENDAR_PINNED"), u"0"_s);
        QCOMPARE(raw.text("SELECT count(*) FROM Z_EVENT_TAGS"), u"0"_s);
    }

    void keysAreNeverReused()
    {
        const QString path = newPath();
        QStringList ids;
        {
            auto store = open(path);
            QVERIFY(store);
            StoreContext context;
            context.setPersistentStore(store.get());
            QList<PersistentObject *> events;
            for (int i = 0; i < 3; ++i)
                events.append(context.insertNewObject(u"Event"_s));
            PersistentObject *calendar = context.insertNewObject(u"Calendar"_s);
            QVERIFY(context.save());
            for (PersistentObject *e : std::as_const(events))
                ids.append(e->objectID());
            QCOMPARE(ids, QStringList({u"Event/1"_s, u"Event/2"_s, u"Event/3"_s}));
            QCOMPARE(calendar->objectID(), u"Calendar/1"_s);
            context.deleteObject(events.last());
            QVERIFY(context.save());
        }
        auto store = open(path);
        QVERIFY(store);
        StoreContext context;
        context.setPersistentStore(store.get());
        PersistentObject *next = context.insertNewObject(u"Event"_s);
        QVERIFY(context.save());
        QCOMPARE(next->objectID(), u"Event/4"_s);
        QCOMPARE(*store->fetchObjectIDs({u"Event"_s, {}, {}, 0}), QStringList({u"Event/1"_s, u"Event/2"_s, u"Event/4"_s}));
    }

    void badObjectIDs_data()
    {
        QTest::addColumn<QString>("entity");
        QTest::addColumn<QString>("id");
        QTest::addColumn<int>("code");
        QTest::newRow("temporary") << u"Event"_s << u"x-temp/0b5bd4c6-3b7e-4cf3-9d0b-8a1b5e2f6a11"_s
                                   << int(ZEM_Error::InvalidArgument);
        QTest::newRow("no number") << u"Event"_s << u"Event/abc"_s << int(ZEM_Error::InvalidArgument);
        QTest::newRow("zero") << u"Event"_s << u"Event/0"_s << int(ZEM_Error::InvalidArgument);
        QTest::newRow("leading zero") << u"Event"_s << u"Event/01"_s << int(ZEM_Error::InvalidArgument);
        QTest::newRow("too large") << u"Event"_s << u"Event/99999999999999999999"_s << int(ZEM_Error::InvalidArgument);
        QTest::newRow("no such record") << u"Event"_s << u"Event/999"_s << int(ZEM_Error::NotFound);
        QTest::newRow("other entity") << u"Event"_s << u"Calendar/1"_s << int(ZEM_Error::NotFound);
        QTest::newRow("unknown entity") << u"Meeting"_s << u"Meeting/1"_s << int(ZEM_Error::NotFound);
    }

    void badObjectIDs()
    {
        QFETCH(QString, entity);
        QFETCH(QString, id);
        QFETCH(int, code);
        auto store = open(m_samplePath, true);
        QVERIFY(store);
        StoreContext scratch;
        auto values = store->loadValues(*scratch.registerObject(entity, id));
        QVERIFY(!values);
        QCOMPARE(int(values.error().code), code);
        QVERIFY(!values.error().message.isEmpty());
    }

    void fetchMatchesMemory_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QVariantList>("arguments");
        const QDateTime noon(QDate(2026, 1, 10), QTime(12, 0), Qt::UTC);
        QTest::newRow("text equal") << u"title == 'Alpha'"_s << QVariantList();
        QTest::newRow("text not equal counts missing") << u"title != 'Alpha'"_s << QVariantList();
        QTest::newRow("equal ignoring case") << u"title ==[c] 'ALPHA'"_s << QVariantList();
        QTest::newRow("contains [cd]") << u"title CONTAINS[cd] 'APF'"_s << QVariantList();
        QTest::newRow("begins with astral") << u"title BEGINSWITH %@"_s << QVariantList{u"\U0001F600"_s};
        QTest::newRow("like with astral") << u"title LIKE '*\U0001F389*'"_s << QVariantList();
        QTest::newRow("text order, code points") << u"title > '\uFFFC'"_s << QVariantList();
        QTest::newRow("text below") << u"title < 'b'"_s << QVariantList();
        QTest::newRow("matches") << u"title MATCHES '[A-Z].*'"_s << QVariantList();
        QTest::newRow("integer range") << u"count >= 2 AND count <= 7"_s << QVariantList();
        QTest::newRow("integer vs double") << u"count > 2.5"_s << QVariantList();
        QTest::newRow("largest integer") << u"count == %@"_s << QVariantList{std::numeric_limits<qint64>::max()};
        QTest::newRow("double order skips NaN") << u"ratio < 0.5"_s << QVariantList();
        QTest::newRow("double not equal") << u"ratio != 0.25"_s << QVariantList();
        QTest::newRow("boolean") << u"done == YES"_s << QVariantList();
        QTest::newRow("false or missing") << u"done == NO OR done == nil"_s << QVariantList();
        QTest::newRow("date after") << u"start > %@"_s << QVariantList{noon};
        QTest::newRow("binary equal") << u"payload == %@"_s << QVariantList{QByteArray("\0a", 2)};
        QTest::newRow("in list") << u"count IN {1, 3, 5}"_s << QVariantList();
        QTest::newRow("text in list") << u"title IN {'Alpha', 'beta'}"_s << QVariantList();
        QTest::newRow("number against text") << u"title == 3 OR count == '3' OR title == 'Zeta'"_s << QVariantList();
        QTest::newRow("constant on the left") << u"3 < count"_s << QVariantList();
        QTest::newRow("substring IN") << u"'eta' IN title"_s << QVariantList();
        QTest::newRow("to-one path") << u"calendar.title == 'Work'"_s << QVariantList();
        QTest::newRow("to-one path, not equal") << u"calendar.title != 'Work'"_s << QVariantList();
        QTest::newRow("no calendar") << u"calendar == nil"_s << QVariantList();
        QTest::newRow("to-many path") << u"ANY tags.name == 'urgent'"_s << QVariantList();
        QTest::newRow("to-many in a conjunction") << u"tags.name == 'later' AND count > 1"_s << QVariantList();
        QTest::newRow("two key paths") << u"count < ratio"_s << QVariantList();
        QTest::newRow("negation") << u"NOT (title CONTAINS 'a') AND count < 4"_s << QVariantList();
        QTest::newRow("negated missing") << u"NOT (ratio > 0)"_s << QVariantList();
        QTest::newRow("key argument") << u"%K ENDSWITH[c] %@"_s << QVariantList{u"title"_s, u"PARTY"_s};
        QTest::newRow("always") << u"TRUEPREDICATE"_s << QVariantList();
        QTest::newRow("never") << u"FALSEPREDICATE"_s << QVariantList();
    }

    void fetchMatchesMemory()
    {
        QFETCH(QString, format);
        QFETCH(QVariantList, arguments);
        auto predicate = Predicate::parse(format, arguments);
        QVERIFY2(predicate, qPrintable(predicate ? QString() : predicate.error().message));
        auto store = open(m_samplePath, true);
        QVERIFY(store);
        QStringList expected;
        for (const QString &id : std::as_const(m_sampleEvents))
            if (predicate->evaluate(nestedEvent(*store, id)))
                expected.append(id);
        auto fetched = store->fetchObjectIDs({u"Event"_s, *predicate, {}, 0});
        QVERIFY2(fetched, qPrintable(fetched ? QString() : fetched.error().message));
        QCOMPARE(*fetched, expected);
        // The sample must tell matching from not matching.
        if (!format.endsWith(u"PREDICATE"_s))
            QVERIFY2(!expected.isEmpty() && expected.size() < m_sampleEvents.size(), qPrintable(expected.join(u' ')));
    }

    void fetchSortsAndLimits_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("sorts");
        QTest::addColumn<int>("limit");
        QTest::newRow("title") << QString() << u"title:a"_s << 0;
        QTest::newRow("title descending") << QString() << u"title:d"_s << 0;
        QTest::newRow("title ignoring case") << QString() << u"title:ai"_s << 0;
        QTest::newRow("title ignoring case, descending") << QString() << u"title:di"_s << 0;
        QTest::newRow("ratio with NaN and missing") << QString() << u"ratio:a"_s << 0;
        QTest::newRow("ratio descending") << QString() << u"ratio:d"_s << 0;
        QTest::newRow("two keys") << QString() << u"done:a,count:d"_s << 0;
        QTest::newRow("dates") << QString() << u"start:a"_s << 0;
        QTest::newRow("binary") << QString() << u"payload:d"_s << 0;
        QTest::newRow("to-one path") << QString() << u"calendar.title:a,title:a"_s << 0;
        QTest::newRow("to-many path") << QString() << u"tags.name:d"_s << 0;
        QTest::newRow("limit") << QString() << u"count:a"_s << 3;
        QTest::newRow("filter, sort, limit") << u"title != nil"_s << u"title:d"_s << 4;
        QTest::newRow("memory filter with limit") << u"ANY tags.name == 'later' OR count > 4"_s << u"count:a"_s << 2;
        QTest::newRow("limit only") << u"done == NO"_s << QString() << 1;
    }

    void fetchSortsAndLimits()
    {
        QFETCH(QString, format);
        QFETCH(QString, sorts);
        QFETCH(int, limit);
        Predicate predicate;
        if (!format.isEmpty()) {
            auto parsed = Predicate::parse(format);
            QVERIFY2(parsed, qPrintable(parsed ? QString() : parsed.error().message));
            predicate = *parsed;
        }
        const QList<SortDescriptor> descriptors = sortsFrom(sorts);
        auto store = open(m_samplePath, true);
        QVERIFY(store);
        QList<std::pair<QString, QVariantMap>> rows;
        for (const QString &id : std::as_const(m_sampleEvents)) {
            const QVariantMap values = nestedEvent(*store, id);
            if (predicate.evaluate(values))
                rows.append({id, values});
        }
        std::stable_sort(rows.begin(), rows.end(), [&descriptors](const auto &a, const auto &b) {
            return SortDescriptor::compare(
                       descriptors, [&a](const QString &k) { return atPath(a.second, k); },
                       [&b](const QString &k) { return atPath(b.second, k); })
                   < 0;
        });
        QStringList expected;
        for (const auto &row : std::as_const(rows))
            expected.append(row.first);
        if (limit > 0)
            expected = expected.mid(0, limit);
        auto fetched = store->fetchObjectIDs({u"Event"_s, predicate, descriptors, limit});
        QVERIFY2(fetched, qPrintable(fetched ? QString() : fetched.error().message));
        QCOMPARE(*fetched, expected);
    }

    void fetchByRecord()
    {
        auto store = open(m_samplePath, true);
        QVERIFY(store);
        StoreContext context;
        context.setPersistentStore(store.get());
        const QString workID = load(*store, u"Event"_s, m_sampleEvents.at(0)).value(u"calendar"_s).value<ObjectRef>().objectID;
        PersistentObject *work = context.registerObject(u"Calendar"_s, workID);
        QStringList inWork;
        for (const QString &id : std::as_const(m_sampleEvents))
            if (load(*store, u"Event"_s, id).value(u"calendar"_s).value<ObjectRef>().objectID == workID)
                inWork.append(id);
        QCOMPARE(inWork.size(), 2);
        auto byRecord = store->fetchObjectIDs({u"Event"_s, *Predicate::parse(u"calendar == %@"_s, {QVariant::fromValue(work)}), {}, 0});
        QVERIFY(byRecord);
        QCOMPARE(*byRecord, inWork);
        auto inList = store->fetchObjectIDs(
            {u"Event"_s, *Predicate::parse(u"calendar IN %@"_s, {PersistentObject::toVariant(RecordSet{work})}), {}, 0});
        QVERIFY(inList);
        QCOMPARE(*inList, inWork);
        auto notWork = store->fetchObjectIDs({u"Event"_s, *Predicate::parse(u"calendar != %@"_s, {QVariant::fromValue(work)}), {}, 0});
        QVERIFY(notWork);
        QCOMPARE(notWork->size(), m_sampleEvents.size() - inWork.size());
    }

    void fetchRejectsUnknownKeys_data()
    {
        QTest::addColumn<QString>("entity");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("sort");
        QTest::addColumn<int>("code");
        QTest::newRow("unknown key") << u"Event"_s << u"location == 'x'"_s << QString() << int(ZEM_Error::InvalidArgument);
        QTest::newRow("past an attribute") << u"Event"_s << u"title.length == 1"_s << QString() << int(ZEM_Error::InvalidArgument);
        QTest::newRow("unknown after a relation") << u"Event"_s << u"calendar.owner == nil"_s << QString()
                                                  << int(ZEM_Error::InvalidArgument);
        QTest::newRow("unknown sort key") << u"Event"_s << QString() << u"priority:a"_s << int(ZEM_Error::InvalidArgument);
        QTest::newRow("unknown entity") << u"Meeting"_s << QString() << QString() << int(ZEM_Error::NotFound);
    }

    void fetchRejectsUnknownKeys()
    {
        QFETCH(QString, entity);
        QFETCH(QString, format);
        QFETCH(QString, sort);
        QFETCH(int, code);
        auto store = open(m_samplePath, true);
        QVERIFY(store);
        const Predicate predicate = format.isEmpty() ? Predicate() : *Predicate::parse(format);
        auto fetched = store->fetchObjectIDs({entity, predicate, sortsFrom(sort), 0});
        QVERIFY(!fetched);
        QCOMPARE(int(fetched.error().code), code);
    }

    void readOnly()
    {
        const QString missing = newPath();
        auto none = SqliteStore::open(m_model, missing, StoreOptions{true});
        QVERIFY(!none);
        QCOMPARE(none.error().code, ZEM_Error::NotFound);
        QVERIFY(!QFile::exists(missing));

        const QString empty = newPath();
        QVERIFY(writeFile(empty, {}));
        auto emptyStore = SqliteStore::open(m_model, empty, StoreOptions{true});
        QVERIFY(!emptyStore);
        QCOMPARE(emptyStore.error().code, ZEM_Error::ParseFailed);
        QCOMPARE(readFile(empty), QByteArray());

        const QByteArray before = readFile(m_samplePath);
        QVERIFY(!before.isEmpty());
        {
            auto store = open(m_samplePath, true);
            QVERIFY(store);
            QVERIFY(store->isReadOnly());
            QCOMPARE(store->fetchObjectIDs({u"Event"_s, {}, {}, 0})->size(), m_sampleEvents.size());
            StoreContext context;
            context.setPersistentStore(store.get());
            PersistentObject *known = context.registerObject(u"Event"_s, m_sampleEvents.first());
            known->setValueForKey(u"changed"_s, u"title"_s);
            context.insertNewObject(u"Tag"_s);
            auto saved = context.save();
            QVERIFY(!saved);
            QCOMPARE(saved.error().code, ZEM_Error::WriteFailed);
            // Asked directly too, whatever the context checks first.
            PersistentStore::Changes changes;
            changes.updated.append(known);
            auto direct = store->saveChanges(changes);
            QVERIFY(!direct);
            QCOMPARE(direct.error().code, ZEM_Error::WriteFailed);
        }
        QCOMPARE(readFile(m_samplePath), before);
    }

    void emptyFileBecomesStore()
    {
        const QString path = newPath();
        QVERIFY(writeFile(path, {}));
        auto store = open(path);
        QVERIFY(store);
        StoreContext context;
        context.setPersistentStore(store.get());
        context.insertNewObject(u"Tag"_s);
        QVERIFY(context.save());
        QCOMPARE(store->fetchObjectIDs({u"Tag"_s, {}, {}, 0})->size(), 1);
    }

    void schemaMismatch_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("named");
        QByteArray extra = kModel;
        extra.replace(R"({ "name": "payload", "type": "binary" })",
                      R"({ "name": "payload", "type": "binary" }, { "name": "location", "type": "string" })");
        QTest::newRow("extra attribute") << extra << u"Event.location"_s;
        QByteArray retyped = kModel;
        retyped.replace(R"({ "name": "done", "type": "boolean" })", R"({ "name": "done", "type": "date" })");
        QTest::newRow("attribute of another type") << retyped << u"Event.done"_s;
        QByteArray fewer = kModel;
        fewer.replace(R"({ "name": "color", "type": "integer" })", R"({ "name": "colour", "type": "integer" })");
        QTest::newRow("renamed attribute") << fewer << u"Calendar.col"_s;
        QByteArray oneWay = kModel;
        oneWay.replace(R"({ "name": "pinned", "destination": "Event", "toMany": true })",
                       R"({ "name": "pinned", "destination": "Event" })");
        QTest::newRow("to-many became to-one") << oneWay << u"Calendar.pinned"_s;
    }

    void schemaMismatch()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, named);
        auto other = DataModel::fromJson(json);
        QVERIFY2(other, qPrintable(other ? QString() : other.error().message));
        QVERIFY(other->fingerprint() != m_model.fingerprint());
        const QString path = newPath();
        QVERIFY(QFile::copy(m_samplePath, path));
        const QByteArray before = readFile(path);
        for (bool readOnly : {false, true}) {
            auto store = SqliteStore::open(*other, path, StoreOptions{readOnly});
            QVERIFY(!store);
            QCOMPARE(store.error().code, ZEM_Error::Conflict);
            QVERIFY2(store.error().message.contains(named), qPrintable(store.error().message));
        }
        QCOMPARE(readFile(path), before);
        QVERIFY(open(path));
    }

    void tamperedTableIsConflict()
    {
        const QString path = newPath();
        QVERIFY(QFile::copy(m_samplePath, path));
        {
            RawConnection raw(path);
            QVERIFY2(raw.exec("ALTER TABLE ZTAG ADD COLUMN ZEXTRA TEXT"), qPrintable(raw.lastError()));
        }
        auto store = SqliteStore::open(m_model, path, {});
        QVERIFY(!store);
        QCOMPARE(store.error().code, ZEM_Error::Conflict);
        QVERIFY2(store.error().message.contains(u"ZEXTRA"_s), qPrintable(store.error().message));
    }

    void notAStore_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray sample = readFile(m_samplePath);
        QVERIFY(sample.size() > 8192);
        QByteArray noise(6000, '\0');
        for (int i = 0; i < noise.size(); ++i)
            noise[i] = char((i * 7919 + 13) % 251);
        QTest::newRow("noise") << noise;
        QTest::newRow("text") << QByteArray("hello, world\n");
        QTest::newRow("header only") << QByteArray("SQLite format 3\0", 16);
        for (qsizetype cut : {qsizetype(100), qsizetype(1000), qsizetype(4096), qsizetype(4196), sample.size() / 2,
                              sample.size() - 1})
            QTest::newRow(qPrintable(u"cut at %1"_s.arg(cut))) << sample.left(cut);
        QByteArray scribbled = sample;
        for (qsizetype i = 4096; i < scribbled.size(); i += 3)
            scribbled[i] = char(0xA5);
        QTest::newRow("scribbled pages") << scribbled;
    }

    void notAStore()
    {
        QFETCH(QByteArray, bytes);
        for (bool readOnly : {true, false}) {
            const QString path = newPath();
            QVERIFY(writeFile(path, bytes));
            auto store = SqliteStore::open(m_model, path, StoreOptions{readOnly});
            if (store) {
                // A file damaged past what opening reads must fail when read, never crash.
                auto all = (*store)->fetchObjectIDs({u"Event"_s, Predicate::parse(u"title != 'x'"_s).value(), {}, 0});
                QVERIFY(!all);
                QVERIFY2(all.error().code == ZEM_Error::ParseFailed || all.error().code == ZEM_Error::ReadFailed,
                         qPrintable(all.error().message));
            } else {
                QVERIFY2(store.error().code == ZEM_Error::ParseFailed || store.error().code == ZEM_Error::ReadFailed,
                         qPrintable(store.error().message));
                QVERIFY(store.error().message.contains(path));
            }
            QCOMPARE(readFile(path), bytes);
        }
    }

    void foreignDatabase()
    {
        const QString path = newPath();
        {
            RawConnection raw(path);
            QVERIFY(raw.exec("CREATE TABLE notes (body TEXT); INSERT INTO notes VALUES ('keep me')"));
        }
        const QByteArray before = readFile(path);
        for (bool readOnly : {true, false}) {
            auto store = SqliteStore::open(m_model, path, StoreOptions{readOnly});
            QVERIFY(!store);
            QCOMPARE(store.error().code, ZEM_Error::ParseFailed);
        }
        QCOMPARE(readFile(path), before);
    }

    void unwritableFolder()
    {
        if (geteuid() == 0)
            QSKIP("root writes into any folder, so there is nothing to test");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString existing = dir.filePath(u"kept.sqlite"_s);
        QVERIFY(QFile::copy(m_samplePath, existing));
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
        QCOMPARE(readFile(existing), readFile(m_samplePath));
    }

    void lockedSaveChangesNothing()
    {
        const QString path = newPath();
        auto store = open(path);
        QVERIFY(store);
        StoreContext context;
        context.setPersistentStore(store.get());
        PersistentObject *first = context.insertNewObject(u"Event"_s);
        PersistentObject *second = context.insertNewObject(u"Event"_s);
        first->setValueForKey(u"one"_s, u"title"_s);
        QVERIFY(context.save());

        first->setValueForKey(u"changed"_s, u"title"_s);
        context.deleteObject(second);
        PersistentObject *third = context.insertNewObject(u"Event"_s);
        const QString temporary = third->objectID();
        store->setBusyTimeout(0);
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
        QCOMPARE(*store->fetchObjectIDs({u"Event"_s, {}, {}, 0}), QStringList({u"Event/1"_s, u"Event/2"_s}));
        QCOMPARE(load(*store, u"Event"_s, u"Event/1"_s).value(u"title"_s), QVariant(u"one"_s));

        auto saved = context.save();
        QVERIFY2(saved, qPrintable(saved ? QString() : saved.error().message));
        QCOMPARE(third->objectID(), u"Event/3"_s);
        QCOMPARE(*store->fetchObjectIDs({u"Event"_s, {}, {}, 0}), QStringList({u"Event/1"_s, u"Event/3"_s}));
    }

    void failedSaveRollsBackWrites()
    {
        const QString path = newPath();
        auto store = open(path);
        QVERIFY(store);
        StoreContext context;
        context.setPersistentStore(store.get());
        PersistentObject *kept = context.insertNewObject(u"Event"_s);
        PersistentObject *doomed = context.insertNewObject(u"Event"_s);
        kept->setValueForKey(u"kept"_s, u"title"_s);
        QVERIFY(context.save());

        // The row that fails comes after rows already written in the same save.
        kept->setValueForKey(u"renamed"_s, u"title"_s);
        context.deleteObject(doomed);
        PersistentObject *a = context.insertNewObject(u"Event"_s);
        PersistentObject *b = context.insertNewObject(u"Event"_s);
        PersistentObject *c = context.insertNewObject(u"Event"_s);
        b->setValueForKey(QVariant::fromValue(QSize(1, 2)), u"payload"_s);
        auto failed = context.save();
        QVERIFY(!failed);
        QCOMPARE(failed.error().code, ZEM_Error::InvalidArgument);
        QVERIFY(a->objectID().startsWith(u"x-temp/"_s));
        QCOMPARE(*store->fetchObjectIDs({u"Event"_s, {}, {}, 0}), QStringList({u"Event/1"_s, u"Event/2"_s}));
        QCOMPARE(load(*store, u"Event"_s, u"Event/1"_s).value(u"title"_s), QVariant(u"kept"_s));

        b->setValueForKey(QByteArray("ok"), u"payload"_s);
        auto saved = context.save();
        QVERIFY2(saved, qPrintable(saved ? QString() : saved.error().message));
        // The failed save handed out no keys.
        QCOMPARE(QStringList({a->objectID(), b->objectID(), c->objectID()}),
                 QStringList({u"Event/3"_s, u"Event/4"_s, u"Event/5"_s}));
    }

    void manyRecords()
    {
        // Large enough to show quadratic work; timing belongs to the benchmarks.
        constexpr int count = 20000;
        const QString path = newPath();
        auto store = open(path);
        QVERIFY(store);
        StoreContext context;
        context.setPersistentStore(store.get());
        context.setUndoEnabled(false);
        for (int i = 0; i < count; ++i) {
            PersistentObject *event = context.insertNewObject(u"Event"_s);
            event->setPrimitiveValue(qint64(i), u"count"_s);
            event->setPrimitiveValue(u"event %1"_s.arg(i), u"title"_s);
        }
        auto saved = context.save();
        QVERIFY2(saved, qPrintable(saved ? QString() : saved.error().message));
        auto all = store->fetchObjectIDs({u"Event"_s, {}, {}, 0});
        QVERIFY(all);
        QCOMPARE(all->size(), count);
        QCOMPARE(all->last(), u"Event/%1"_s.arg(count));
        auto some = store->fetchObjectIDs({u"Event"_s, *Predicate::parse(u"count >= %d AND title ENDSWITH '7'"_s, {count - 100}),
                                           sortsFrom(u"count:d"_s), 0});
        QVERIFY(some);
        QCOMPARE(some->size(), 10);
        QCOMPARE(some->first(), u"Event/%1"_s.arg(count - 2));
    }
};

QString tst_SqliteStore::buildSampleStore(QStringList *eventIDs)
{
    const QString path = m_dir.filePath(u"sample.sqlite"_s);
    auto store = open(path);
    if (!store)
        return {};
    StoreContext context;
    context.setPersistentStore(store.get());
    auto calendar = [&context](const QVariant &title) {
        PersistentObject *c = context.insertNewObject(u"Calendar"_s);
        c->setValueForKey(title, u"title"_s);
        return c;
    };
    PersistentObject *work = calendar(u"Work"_s), *home = calendar(u"home"_s), *untitled = calendar({});
    auto tag = [&context](const QString &name) {
        PersistentObject *t = context.insertNewObject(u"Tag"_s);
        t->setValueForKey(name, u"name"_s);
        return t;
    };
    PersistentObject *urgent = tag(u"urgent"_s), *later = tag(u"later"_s);
    struct Sample
    {
        QVariant title, count, ratio, done, start, payload;
        PersistentObject *calendar;
        RecordSet tags;
    };
    const auto utc = [](int y, int m, int d, int h, int min, int ms) {
        return QVariant(QDateTime(QDate(y, m, d), QTime(h, min, 0, ms), Qt::UTC));
    };
    const QList<Sample> samples{
        {u"Alpha"_s, 3, 0.25, true, utc(2026, 1, 10, 10, 0, 123), QByteArray("\0a", 2), work, {urgent}},
        {u"alpha"_s, 0, qQNaN(), false, {}, {}, home, {}},
        {u"\u00c4pfel und Birnen"_s, 7, 1.5, {}, utc(1969, 12, 31, 23, 59, 999), {}, nullptr, {urgent, later}},
        {u""_s, -5, {}, false, {}, QByteArray("\0b", 2), work, {}},
        {{}, {}, {}, {}, {}, {}, nullptr, {}},
        {u"Beta \U0001F389 party"_s, std::numeric_limits<qint64>::max(), -0.0, {}, {}, QByteArray(""), nullptr, {}},
        {u"\uFFFD zz"_s, 2, 0.5, true, utc(2026, 1, 10, 12, 0, 1), {}, untitled, {later}},
        {u"\U0001F600 smile"_s, 5, 1e300, {}, {}, QByteArray("\xff", 1), untitled, {}},
        {u"beta"_s, 3, 4.0, true, utc(2026, 1, 10, 12, 0, 0), {}, home, {later}},
        {u"Zeta"_s, 1, -3.0, {}, utc(2030, 5, 5, 0, 0, 0), {}, nullptr, {urgent}},
    };
    QList<PersistentObject *> events;
    for (const Sample &s : samples) {
        PersistentObject *e = context.insertNewObject(u"Event"_s);
        const QList<std::pair<const char *, QVariant>> values{{"title", s.title}, {"count", s.count}, {"ratio", s.ratio},
                                                              {"done", s.done},   {"start", s.start}, {"payload", s.payload}};
        for (const auto &[key, value] : values)
            if (value.isValid())
                e->setValueForKey(value, QString::fromLatin1(key));
        if (s.calendar)
            e->setValueForKey(PersistentObject::toVariant(s.calendar), u"calendar"_s);
        e->setValueForKey(PersistentObject::toVariant(s.tags), u"tags"_s);
        events.append(e);
    }
    auto saved = context.save();
    if (!saved) {
        QTest::qFail(qPrintable(saved.error().message), __FILE__, __LINE__);
        return {};
    }
    for (PersistentObject *e : std::as_const(events))
        eventIDs->append(e->objectID());
    return path;
}

ZEM_TEST_MAIN(tst_SqliteStore)
#include "tst_SqliteStore.moc"
