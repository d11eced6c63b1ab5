// A store context with a data model, over both kinds of store file: what a host sees when
// it inserts, relates, deletes, fetches, undoes and saves records.
#include "ZemTestEnv.h"

#include "foundation/ZEM_F_E_Notifications.h"
#include "platform/store/DataModel.h"
#include "platform/store/PersistentObject.h"
#include "platform/store/RecordClass.h"
#include "platform/store/StoreContext.h"
#include "platform/store/StoreCoordinator.h"

#include <QUndoStack>

using namespace platform;

class TestCalendar : public PersistentObject
{
    Q_OBJECT
public:
    explicit TestCalendar(QObject *parent = nullptr) : PersistentObject(parent) {}
    static void initialize() {}
    void awakeFromInsert() override { ++inserts; }
    void awakeFromFetch() override { ++fetches; }
    int inserts = 0;
    int fetches = 0;
};
ZEM_RECORD_CLASS(TestCalendar)

namespace {

const char kModel[] = R"({"entities": [
  {"name": "Calendar", "class": "TestCalendar",
   "attributes": [{"name": "title", "type": "string"}],
   "relationships": [{"name": "items", "destination": "Item", "toMany": true, "inverse": "calendar",
                      "deleteRule": "cascade"}]},
  {"name": "Item",
   "attributes": [{"name": "title", "type": "string", "default": "Untitled"},
                  {"name": "priority", "type": "integer", "default": 2},
                  {"name": "done", "type": "boolean", "default": false},
                  {"name": "due", "type": "date"},
                  {"name": "score", "type": "double"},
                  {"name": "blob", "type": "binary"}],
   "relationships": [{"name": "calendar", "destination": "Calendar", "inverse": "items"},
                     {"name": "tags", "destination": "Tag", "toMany": true, "inverse": "items"},
                     {"name": "partner", "destination": "Item", "inverse": "partner"},
                     {"name": "note", "destination": "Note"}]},
  {"name": "Tag", "attributes": [{"name": "name", "type": "string"}],
   "relationships": [{"name": "items", "destination": "Item", "toMany": true, "inverse": "tags"}]},
  {"name": "Note", "attributes": [{"name": "text", "type": "string"}]}
]})";

DataModel testModel()
{
    auto model = DataModel::fromJson(kModel);
    if (!model)
        qFatal("%s", qPrintable(model.error().message));
    return *model;
}

// One store file and a context over it that can be thrown away and opened again.
struct Fixture
{
    QString type;
    QTemporaryDir dir;
    DataModel model = testModel();
    std::unique_ptr<StoreContext> context;
    std::unique_ptr<PersistentStoreCoordinator> coordinator;

    explicit Fixture(QString storeType) : type(std::move(storeType)) {}

    QString path() const
    {
        return dir.filePath(type == PersistentStoreCoordinator::sqliteStoreType() ? u"store.sql"_qs
                                                                                 : u"store.xml"_qs);
    }
    bool open(bool readOnly = false)
    {
        context.reset();
        coordinator = std::make_unique<PersistentStoreCoordinator>(model);
        StoreOptions options;
        options.readOnly = readOnly;
        auto store = coordinator->addPersistentStore(type, path(), options);
        if (!store) {
            qWarning() << store.error().message;
            return false;
        }
        context = std::make_unique<StoreContext>();
        context->setPersistentStoreCoordinator(coordinator.get());
        return true;
    }
    QList<PersistentObject *> all(const QString &entity, const QString &sortKey = {})
    {
        QList<SortDescriptor> sorts;
        if (!sortKey.isEmpty())
            sorts.append(SortDescriptor{sortKey});
        auto records = context->fetch({entity, {}, sorts});
        return records ? *records : QList<PersistentObject *>();
    }
    PersistentObject *item(const QString &title)
    {
        auto *r = context->insertNewObject(u"Item"_qs);
        r->setValueForKey(title, u"title"_qs);
        return r;
    }
};

QStringList titles(const QList<PersistentObject *> &records, const QString &key = u"title"_qs)
{
    QStringList out;
    for (PersistentObject *r : records)
        out.append(r->valueForKey(key).toString());
    return out;
}

QStringList titles(const RecordSet &records)
{
    QStringList out = titles(QList<PersistentObject *>(records.cbegin(), records.cend()));
    out.sort();
    return out;
}

RecordSet setOf(PersistentObject *record, const QString &key)
{
    return PersistentObject::setFromVariant(record->valueForKey(key));
}

PersistentObject *oneOf(PersistentObject *record, const QString &key)
{
    return PersistentObject::fromVariant(record->valueForKey(key));
}

class Editor : public QObject
{
    Q_OBJECT
public:
    bool answer = true;
    int asked = 0;
    Q_INVOKABLE bool commitEditing()
    {
        ++asked;
        return answer;
    }
};
} // namespace

class tst_StoreContextModel : public QObject
{
    Q_OBJECT
private slots:
    void modelErrors_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("mentions");
        const auto row = [](const char *tag, const char *entities, const QString &mentions) {
            QTest::newRow(tag) << QByteArray(R"({"entities": [)") + entities + "]}" << mentions;
        };
        QTest::newRow("not json") << QByteArray("{entities") << u"not valid JSON"_qs;
        QTest::newRow("no entities") << QByteArray(R"({"entity": []})") << u"entities"_qs;
        row("unknown type", R"({"name": "A", "attributes": [{"name": "x", "type": "money"}]})", u"money"_qs);
        row("entity twice", R"({"name": "A"}, {"name": "A"})", u"twice"_qs);
        row("attribute twice", R"({"name": "A", "attributes": [{"name": "x"}, {"name": "x"}]})", u"\"x\""_qs);
        row("relation clashes with attribute",
            R"({"name": "A", "attributes": [{"name": "x"}], "relationships": [{"name": "x", "destination": "A"}]})",
            u"\"x\""_qs);
        row("missing destination", R"({"name": "A", "relationships": [{"name": "b", "destination": "B"}]})", u"\"B\""_qs);
        row("inverse not pointing back",
            R"({"name": "A", "relationships": [{"name": "b", "destination": "B", "inverse": "a"}]},
               {"name": "B", "relationships": [{"name": "a", "destination": "A", "inverse": "other"}]})",
            u"A.b"_qs);
        row("bad default", R"({"name": "A", "attributes": [{"name": "n", "type": "integer", "default": 1.5}]})", u"A.n"_qs);
        row("unknown delete rule",
            R"({"name": "A", "relationships": [{"name": "a", "destination": "A", "deleteRule": "deny"}]})", u"deny"_qs);
    }

    void modelErrors()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, mentions);
        const auto model = DataModel::fromJson(json);
        QVERIFY(!model);
        QCOMPARE(model.error().code, ZEM_Error::ParseFailed);
        QVERIFY2(model.error().message.contains(mentions), qPrintable(model.error().message));
    }

    void modelDefaultsAndFingerprint()
    {
        const DataModel model = testModel();
        const EntityDescription *item = model.entity(u"Item"_qs);
        QVERIFY(item);
        QCOMPARE(item->className, u"Item"_qs);
        QCOMPARE(model.entity(u"Calendar"_qs)->className, u"TestCalendar"_qs);
        // JSON numbers are doubles; an integer attribute's default must come out as one.
        QCOMPARE(item->attribute(u"priority"_qs)->defaultValue.typeId(), QMetaType::LongLong);
        QCOMPARE(model.inverseOf(u"Item"_qs, u"calendar"_qs)->name, u"items"_qs);
        QVERIFY(!model.inverseOf(u"Item"_qs, u"note"_qs));

        const auto missing = DataModel::fromFile(QDir::temp().filePath(u"no-such-model.json"_qs));
        QVERIFY(!missing);
        QCOMPARE(missing.error().code, ZEM_Error::NotFound);

        // A default is no part of the stored layout (that a type is, tst_StoreContract checks).
        const auto otherDefault = DataModel::fromJson(QByteArray(kModel).replace("\"default\": 2", "\"default\": 5"));
        QVERIFY(otherDefault);
        QCOMPARE(otherDefault->fingerprint(), model.fingerprint());
    }

    // Every test runs over both kinds of store file; those of the model alone ignore it.
    void initTestCase_data()
    {
        QTest::addColumn<QString>("type");
        QTest::newRow("sqlite") << PersistentStoreCoordinator::sqliteStoreType();
        QTest::newRow("xml") << PersistentStoreCoordinator::xmlStoreType();
    }

    void roundTripEveryTypeAndRelation()
    {
        QFETCH_GLOBAL(QString, type);
        Fixture f(type);
        QVERIFY(f.open());

        auto *calendar = qobject_cast<TestCalendar *>(f.context->insertNewObject(u"Calendar"_qs));
        QVERIFY(calendar);
        QCOMPARE(calendar->inserts, 1);
        calendar->setValueForKey(u"Work"_qs, u"title"_qs);

        auto *item = f.context->insertNewObject(u"Item"_qs);
        QCOMPARE(item->valueForKey(u"title"_qs).toString(), u"Untitled"_qs);
        QCOMPARE(item->valueForKey(u"priority"_qs).toLongLong(), 2);
        // Values of every type are tst_StoreContract's; here they pass through a coordinator.
        item->setValueForKey(u"Grüße 😀 <&>"_qs, u"title"_qs);
        item->setValueForKey(PersistentObject::toVariant(calendar), u"calendar"_qs);
        auto *tag = f.context->insertNewObject(u"Tag"_qs);
        tag->setValueForKey(u"urgent"_qs, u"name"_qs);
        item->setValueForKey(PersistentObject::toVariant(RecordSet{tag}), u"tags"_qs);
        auto *note = f.context->insertNewObject(u"Note"_qs);
        note->setValueForKey(u"n"_qs, u"text"_qs);
        item->setValueForKey(PersistentObject::toVariant(note), u"note"_qs);
        f.item(QString(u""_qs));

        const auto saved = f.context->save();
        QVERIFY2(saved, saved ? "" : qPrintable(saved.error().message));
        QVERIFY(!item->objectID().startsWith(u"x-temp/"_qs));

        QVERIFY(f.open());
        const auto items = f.all(u"Item"_qs, u"title"_qs);
        QCOMPARE(items.size(), 2);
        // Fetched records are not loaded until they are read.
        QVERIFY(items[0]->isFault() && items[1]->isFault());
        PersistentObject *back = items[1];
        QCOMPARE(items[0]->valueForKey(u"title"_qs), QVariant(QString(u""_qs)));
        QCOMPARE(back->valueForKey(u"title"_qs).toString(), u"Grüße 😀 <&>"_qs);

        auto *calendarBack = qobject_cast<TestCalendar *>(oneOf(back, u"calendar"_qs));
        QVERIFY(calendarBack);
        QCOMPARE(calendarBack->valueForKey(u"title"_qs).toString(), u"Work"_qs);
        QCOMPARE(calendarBack->fetches, 1);
        QCOMPARE(setOf(calendarBack, u"items"_qs), RecordSet{back});
        QCOMPARE(setOf(back, u"tags"_qs).size(), 1);
        PersistentObject *tagBack = *setOf(back, u"tags"_qs).begin();
        QCOMPARE(tagBack->valueForKey(u"name"_qs).toString(), u"urgent"_qs);
        QCOMPARE(setOf(tagBack, u"items"_qs), RecordSet{back});
        QCOMPARE(oneOf(back, u"note"_qs)->valueForKey(u"text"_qs).toString(), u"n"_qs);
        QVERIFY(!f.context->hasChanges());
    }

    void inverseSidesFollow()
    {
        QFETCH_GLOBAL(QString, type);
        Fixture f(type);
        QVERIFY(f.open());
        auto *home = f.context->insertNewObject(u"Calendar"_qs);
        auto *work = f.context->insertNewObject(u"Calendar"_qs);
        auto *a = f.item(u"a"_qs);
        auto *b = f.item(u"b"_qs);
        auto *c = f.item(u"c"_qs);
        f.context->processPendingChanges();

        a->setValueForKey(PersistentObject::toVariant(home), u"calendar"_qs);
        QCOMPARE(setOf(home, u"items"_qs), RecordSet{a});
        // Adding to the to-many side sets the other side's to-one.
        home->setValueForKey(PersistentObject::toVariant(RecordSet{a, b}), u"items"_qs);
        QCOMPARE(oneOf(b, u"calendar"_qs), home);
        // Moving a record takes it out of its former calendar.
        b->setValueForKey(PersistentObject::toVariant(work), u"calendar"_qs);
        QCOMPARE(setOf(home, u"items"_qs), RecordSet{a});
        QCOMPARE(setOf(work, u"items"_qs), RecordSet{b});

        // One-to-one: a partner taken by another lets go of its former partner.
        a->setValueForKey(PersistentObject::toVariant(b), u"partner"_qs);
        QCOMPARE(oneOf(b, u"partner"_qs), a);
        f.context->processPendingChanges();
        c->setValueForKey(PersistentObject::toVariant(b), u"partner"_qs);
        QCOMPARE(oneOf(b, u"partner"_qs), c);
        QCOMPARE(oneOf(a, u"partner"_qs), nullptr);
        f.context->processPendingChanges();

        // One undo step puts back both sides of every relation it touched.
        f.context->undo();
        QCOMPARE(oneOf(b, u"partner"_qs), a);
        QCOMPARE(oneOf(a, u"partner"_qs), b);
        QCOMPARE(oneOf(c, u"partner"_qs), nullptr);
        QCOMPARE(setOf(home, u"items"_qs), RecordSet{a});

        QVERIFY(f.context->save());
        QVERIFY(f.open());
        const auto items = f.all(u"Item"_qs, u"title"_qs);
        QCOMPARE(titles(items), (QStringList{u"a"_qs, u"b"_qs, u"c"_qs}));
        QCOMPARE(oneOf(items[0], u"partner"_qs), items[1]);
        QCOMPARE(oneOf(items[1], u"partner"_qs), items[0]);
        QCOMPARE(titles(setOf(oneOf(items[1], u"calendar"_qs), u"items"_qs)), QStringList{u"b"_qs});
    }

    void deleteRules()
    {
        QFETCH_GLOBAL(QString, type);
        Fixture f(type);
        QVERIFY(f.open());
        auto *work = f.context->insertNewObject(u"Calendar"_qs);
        work->setValueForKey(u"Work"_qs, u"title"_qs);
        auto *keep = f.context->insertNewObject(u"Calendar"_qs);
        keep->setValueForKey(u"Keep"_qs, u"title"_qs);
        auto *tag = f.context->insertNewObject(u"Tag"_qs);
        auto *note = f.context->insertNewObject(u"Note"_qs);
        PersistentObject *items[3];
        for (int i = 0; i < 3; ++i) {
            items[i] = f.item(QString::number(i));
            items[i]->setValueForKey(PersistentObject::toVariant(i < 2 ? work : keep), u"calendar"_qs);
            items[i]->setValueForKey(PersistentObject::toVariant(RecordSet{tag}), u"tags"_qs);
            items[i]->setValueForKey(PersistentObject::toVariant(note), u"note"_qs);
        }
        QVERIFY(f.context->save());
        f.context->removeAllUndoActions();

        // Cascade: the calendar takes its items along; nullify: the tag lets go of them.
        f.context->deleteObject(work);
        QVERIFY(work->isDeleted() && items[0]->isDeleted() && items[1]->isDeleted());
        QVERIFY(!items[2]->isDeleted());
        QCOMPARE(setOf(tag, u"items"_qs), RecordSet{items[2]});
        f.context->processPendingChanges();

        // A relation without an inverse is found and cleared when its target goes.
        f.context->deleteObject(note);
        QCOMPARE(items[2]->valueForKey(u"note"_qs), QVariant());
        f.context->processPendingChanges();

        f.context->undo();
        QCOMPARE(oneOf(items[2], u"note"_qs), note);
        f.context->undo();
        QVERIFY(!work->isDeleted() && !items[0]->isDeleted());
        QCOMPARE(setOf(work, u"items"_qs), (RecordSet{items[0], items[1]}));
        QCOMPARE(setOf(tag, u"items"_qs), (RecordSet{items[0], items[1], items[2]}));
        f.context->redo();
        QVERIFY(f.context->save());

        QVERIFY(f.open());
        QCOMPARE(titles(f.all(u"Calendar"_qs, u"title"_qs)), QStringList{u"Keep"_qs});
        QCOMPARE(titles(f.all(u"Item"_qs)), QStringList{u"2"_qs});
        const auto tags = f.all(u"Tag"_qs);
        QCOMPARE(tags.size(), 1);
        QCOMPARE(titles(setOf(tags[0], u"items"_qs)), QStringList{u"2"_qs});
    }

    void fetchMergesUnsavedChanges()
    {
        QFETCH_GLOBAL(QString, type);
        Fixture f(type);
        QVERIFY(f.open());
        for (const char *t : {"banana", "Birch", "apple", "bee", "cherry"})
            f.item(QString::fromLatin1(t));
        QVERIFY(f.context->save());
        QVERIFY(f.open());

        const FetchRequest request{u"Item"_qs, *Predicate::parse(u"title BEGINSWITH[c] %@"_qs, {u"b"_qs}),
                                   {SortDescriptor{u"title"_qs, true, true}}};
        auto found = f.context->fetch(request);
        QVERIFY(found);
        QCOMPARE(titles(*found), (QStringList{u"banana"_qs, u"bee"_qs, u"Birch"_qs}));

        // Unsaved: one inserted that matches, one changed out of the match, one changed into
        // it, one deleted.
        f.item(u"blue"_qs);
        found->at(0)->setValueForKey(u"avocado"_qs, u"title"_qs);
        const auto cherry = f.context->fetch(u"Item"_qs, u"title == %@"_qs, {u"cherry"_qs});
        QVERIFY(cherry && cherry->size() == 1);
        cherry->first()->setValueForKey(u"Bramble"_qs, u"title"_qs);
        f.context->deleteObject(found->at(1));
        auto merged = f.context->fetch(request);
        QVERIFY(merged);
        QCOMPARE(titles(*merged), (QStringList{u"Birch"_qs, u"blue"_qs, u"Bramble"_qs}));
        FetchRequest limited = request;
        limited.fetchLimit = 2;
        QCOMPARE(titles(*f.context->fetch(limited)), (QStringList{u"Birch"_qs, u"blue"_qs}));
        QCOMPARE(*f.context->count(request), 3);

        const auto bad = f.context->fetch(u"Item"_qs, u"title ==="_qs);
        QVERIFY(!bad);
        const auto unknown = f.context->fetch(u"Nothing"_qs, QString());
        QVERIFY(!unknown);
        QCOMPARE(unknown.error().code, ZEM_Error::NotFound);
    }

    void undoStepsOfANewRecord()
    {
        QFETCH_GLOBAL(QString, type);
        Fixture f(type);
        QVERIFY(f.open());
        auto *calendar = f.context->insertNewObject(u"Calendar"_qs);
        QVERIFY(f.context->save());
        f.context->removeAllUndoActions();

        auto *item = f.item(u"first"_qs);
        item->setValueForKey(3, u"priority"_qs);
        item->setValueForKey(PersistentObject::toVariant(calendar), u"calendar"_qs);
        f.context->processPendingChanges();
        item->setValueForKey(u"second"_qs, u"title"_qs);
        f.context->processPendingChanges();

        f.context->undo();
        QCOMPARE(item->valueForKey(u"title"_qs).toString(), u"first"_qs);
        f.context->undo();
        QVERIFY(item->isDeleted());
        QVERIFY(!f.context->insertedObjects().contains(item));
        QVERIFY(setOf(calendar, u"items"_qs).isEmpty());
        f.context->redo();
        QVERIFY(!item->isDeleted());
        QCOMPARE(item->valueForKey(u"title"_qs).toString(), u"first"_qs);
        QCOMPARE(item->valueForKey(u"priority"_qs).toLongLong(), 3);
        QCOMPARE(setOf(calendar, u"items"_qs), RecordSet{item});
        f.context->redo();
        QCOMPARE(item->valueForKey(u"title"_qs).toString(), u"second"_qs);
        QVERIFY(f.context->save());
    }

    void undoAcrossSave()
    {
        QFETCH_GLOBAL(QString, type);
        Fixture f(type);
        QVERIFY(f.open());
        auto *a = f.item(u"first"_qs);
        f.context->processPendingChanges();
        QVERIFY(f.context->save());

        a->setValueForKey(u"second"_qs, u"title"_qs);
        f.context->processPendingChanges();
        auto *b = f.item(u"other"_qs);
        f.context->processPendingChanges();
        QVERIFY(f.context->save());
        QVERIFY(!f.context->hasChanges());

        // Undoing a saved insertion deletes the record at the next save; undoing a saved
        // change brings the old value back as a change.
        f.context->undo();
        QVERIFY(b->isDeleted());
        QVERIFY(f.context->deletedObjects().contains(b));
        f.context->undo();
        QCOMPARE(a->valueForKey(u"title"_qs).toString(), u"first"_qs);
        QVERIFY(f.context->hasChanges());
        QVERIFY(f.context->save());

        QVERIFY(f.open());
        QCOMPARE(titles(f.all(u"Item"_qs)), QStringList{u"first"_qs});
    }

    void rollbackRestoresSavedState()
    {
        QFETCH_GLOBAL(QString, type);
        Fixture f(type);
        QVERIFY(f.open());
        auto *kept = f.item(u"kept"_qs);
        auto *gone = f.item(u"to delete"_qs);
        QVERIFY(f.context->save());

        kept->setValueForKey(u"changed"_qs, u"title"_qs);
        f.context->deleteObject(gone);
        auto *added = f.item(u"added"_qs);
        f.context->processPendingChanges();
        QVERIFY(f.context->hasChanges());

        f.context->rollback();
        QVERIFY(!f.context->hasChanges());
        QVERIFY(!f.context->undoManager()->canUndo());
        QCOMPARE(kept->valueForKey(u"title"_qs).toString(), u"kept"_qs);
        QVERIFY(!gone->isDeleted());
        QCOMPARE(added->managedObjectContext(), nullptr);
        QCOMPARE(titles(f.all(u"Item"_qs, u"title"_qs)), (QStringList{u"kept"_qs, u"to delete"_qs}));
    }
    void commitEditingAsksEditors()
    {
        StoreContext context;
        QVERIFY(context.commitEditing());
        Editor first, second;
        QObject plain;
        context.objectDidBeginEditing(&plain);
        context.objectDidBeginEditing(&first);
        context.objectDidBeginEditing(&second);
        QVERIFY(context.commitEditing());
        QCOMPARE(first.asked, 1);
        second.answer = false;
        QVERIFY(!context.commitEditing());
        context.objectDidEndEditing(&second);
        QVERIFY(context.commitEditing());
        QCOMPARE(second.asked, 2);
        {
            Editor dying;
            dying.answer = false;
            context.objectDidBeginEditing(&dying);
        }
        QVERIFY(context.commitEditing());
    }
};

ZEM_TEST_MAIN(tst_StoreContextModel)
#include "tst_StoreContextModel.moc"
