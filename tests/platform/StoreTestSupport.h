#pragma once
// What the store tests share: file helpers, and for the contract tests (tst_StoreContract,
// tst_StoreFetchContract) one model for both stores, opening either by its type, and a
// sample store of each.

#include "platform/store/DataModel.h"
#include "platform/store/PersistentObject.h"
#include "platform/store/SqliteStore.h"
#include "platform/store/StoreContext.h"
#include "platform/store/XmlStore.h"

#include <QFile>
#include <QHash>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>

namespace storetest {

using namespace platform;

inline QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// QVERIFY2 builds its message even when the check passes.
template <typename T> QByteArray why(const ZEM_Result<T> &result)
{
    return result ? QByteArray() : result.error().message.toUtf8();
}

// Many lines of non-ASCII text.
inline QString hugeString()
{
    QString s;
    for (int i = 0; i < 2000; ++i)
        s += QStringLiteral("zeile %1 — ünïcödé\n").arg(i);
    return s;
}

// ---------------------------------------------------------------------------------------
// The contract

// Every attribute type; to-one/to-many, many-to-many and one-to-one pairs; a to-many and a
// to-one without inverse.
inline const char kModel[] = R"({ "entities": [
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
      { "name": "tags", "destination": "Tag", "toMany": true, "inverse": "events" },
      { "name": "previous", "destination": "Event" },
      { "name": "badge", "destination": "Badge", "inverse": "owner" } ] },
  { "name": "Tag",
    "attributes": [ { "name": "name", "type": "string" } ],
    "relationships": [ { "name": "events", "destination": "Event", "toMany": true, "inverse": "tags" } ] },
  { "name": "Badge",
    "attributes": [ { "name": "code", "type": "integer" } ],
    "relationships": [ { "name": "owner", "destination": "Event", "inverse": "badge" } ] }
] })";

// The store types, as PersistentStore::type() names them.
inline const QString kSqlite = QStringLiteral("SQLite");
inline const QString kXml = QStringLiteral("XML");
inline const QStringList kStoreTypes{kSqlite, kXml};

inline ZEM_Result<std::unique_ptr<PersistentStore>> openStore(const QString &type, const DataModel &model,
                                                              const QString &path, bool readOnly = false)
{
    if (type == kSqlite) {
        auto store = SqliteStore::open(model, path, StoreOptions{readOnly});
        if (!store)
            return store.error();
        return std::unique_ptr<PersistentStore>(std::move(*store));
    }
    auto store = XmlStore::open(model, path, StoreOptions{readOnly});
    if (!store)
        return store.error();
    return std::unique_ptr<PersistentStore>(std::move(*store));
}

// A row per store for tests that need nothing else.
inline void storeRows()
{
    QTest::addColumn<QString>("store");
    for (const QString &type : kStoreTypes)
        QTest::newRow(qPrintable(type)) << type;
}

// A store opened on a file and a context over it, as one program holds them. The store is
// null, and the test has failed, when the file would not open.
struct Session
{
    std::unique_ptr<PersistentStore> store;
    StoreContext context;

    Session(const QString &type, const DataModel &model, const QString &path, bool readOnly = false)
    {
        auto opened = openStore(type, model, path, readOnly);
        if (!opened) {
            QTest::qFail(qPrintable(opened.error().message), __FILE__, __LINE__);
            return;
        }
        store = std::move(*opened);
        context.setPersistentStore(store.get());
    }
};

inline QVariantMap load(PersistentStore &store, const QString &entity, const QString &id)
{
    StoreContext scratch;
    auto values = store.loadValues(*scratch.registerObject(entity, id));
    return values ? *values : QVariantMap();
}

inline ObjectRef refOf(const PersistentObject *record)
{
    return ObjectRef{record->entityName(), record->objectID()};
}

// What \a store holds for a record of another context.
inline QVariantMap load(PersistentStore &store, const PersistentObject *record)
{
    return load(store, record->entityName(), record->objectID());
}

inline QStringList allIDs(PersistentStore &store, const QString &entity)
{
    return store.fetchObjectIDs({entity, {}, {}, 0}).value_or(QStringList{QStringLiteral("(failed)")});
}

// The model, a folder, and in it a sample store of each type: ten events with values of
// every kind (and none), in three calendars, with two tags.
class ContractFixture
{
public:
    DataModel model;
    QTemporaryDir dir;
    QHash<QString, QString> samplePath;
    QHash<QString, QStringList> sampleEvents;

    // Fails the test (and answers false) when the model or a sample cannot be made.
    bool build()
    {
        auto parsed = DataModel::fromJson(kModel);
        if (!parsed || !dir.isValid()) {
            QTest::qFail(parsed ? "no temporary folder" : qPrintable(parsed.error().message), __FILE__, __LINE__);
            return false;
        }
        model = *parsed;
        for (const QString &type : kStoreTypes)
            if (!buildSample(type))
                return false;
        return true;
    }

    QString newPath(const QString &type) { return dir.filePath(QStringLiteral("store%1.%2").arg(++m_files).arg(type)); }

    std::unique_ptr<PersistentStore> open(const QString &type, const QString &path, bool readOnly = false)
    {
        auto store = openStore(type, model, path, readOnly);
        if (!store) {
            QTest::qFail(qPrintable(store.error().message), __FILE__, __LINE__);
            return nullptr;
        }
        return std::move(*store);
    }

private:
    bool buildSample(const QString &type)
    {
        const QString path = dir.filePath(QStringLiteral("sample.") + type);
        Session session(type, model, path);
        if (!session.store)
            return false;
        StoreContext &context = session.context;
        auto calendar = [&context](const QVariant &title) {
            PersistentObject *c = context.insertNewObject(QStringLiteral("Calendar"));
            c->setValueForKey(title, QStringLiteral("title"));
            return c;
        };
        PersistentObject *work = calendar(QStringLiteral("Work")), *home = calendar(QStringLiteral("home"));
        PersistentObject *untitled = calendar({});
        auto tag = [&context](const QString &name) {
            PersistentObject *t = context.insertNewObject(QStringLiteral("Tag"));
            t->setValueForKey(name, QStringLiteral("name"));
            return t;
        };
        PersistentObject *urgent = tag(QStringLiteral("urgent")), *later = tag(QStringLiteral("later"));
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
            {u"Alpha"_qs, 3, 0.25, true, utc(2026, 1, 10, 10, 0, 123), QByteArray("\0a", 2), work, {urgent}},
            {u"alpha"_qs, 0, qQNaN(), false, {}, {}, home, {}},
            {u"\u00c4pfel und Birnen"_qs, 7, 1.5, {}, utc(1969, 12, 31, 23, 59, 999), {}, nullptr, {urgent, later}},
            {u""_qs, -5, {}, false, {}, QByteArray("\0b", 2), work, {}},
            {{}, {}, {}, {}, {}, {}, nullptr, {}},
            {u"Beta \U0001F389 party"_qs, std::numeric_limits<qint64>::max(), -0.0, {}, {}, QByteArray(""), nullptr, {}},
            {u"\uFFFD zz"_qs, 2, 0.5, true, utc(2026, 1, 10, 12, 0, 1), {}, untitled, {later}},
            {u"\U0001F600 smile"_qs, 5, 1e300, {}, {}, QByteArray("\xff", 1), untitled, {}},
            {u"beta"_qs, 3, 4.0, true, utc(2026, 1, 10, 12, 0, 0), {}, home, {later}},
            {u"Zeta"_qs, 1, -3.0, {}, utc(2030, 5, 5, 0, 0, 0), {}, nullptr, {urgent}},
        };
        QList<PersistentObject *> events;
        for (const Sample &s : samples) {
            PersistentObject *e = context.insertNewObject(QStringLiteral("Event"));
            const QList<std::pair<const char *, QVariant>> values{{"title", s.title}, {"count", s.count},
                                                                  {"ratio", s.ratio}, {"done", s.done},
                                                                  {"start", s.start}, {"payload", s.payload}};
            for (const auto &[key, value] : values)
                if (value.isValid())
                    e->setValueForKey(value, QString::fromLatin1(key));
            if (s.calendar)
                e->setValueForKey(PersistentObject::toVariant(s.calendar), QStringLiteral("calendar"));
            e->setValueForKey(PersistentObject::toVariant(s.tags), QStringLiteral("tags"));
            events.append(e);
        }
        auto saved = context.save();
        if (!saved) {
            QTest::qFail(qPrintable(saved.error().message), __FILE__, __LINE__);
            return false;
        }
        QStringList &ids = sampleEvents[type];
        for (PersistentObject *e : std::as_const(events))
            ids.append(e->objectID());
        samplePath.insert(type, path);
        return ids.size() == 10;
    }

    int m_files = 0;
};

} // namespace storetest
