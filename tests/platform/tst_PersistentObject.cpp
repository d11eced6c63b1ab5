#include "ZemTestEnv.h"

#include "foundation/ZEM_F_E_Notifications.h"
#include "platform/store/PersistentObject.h"
#include "platform/store/RecordClass.h"
#include "platform/store/StoreContext.h"

#include <QUndoStack>

using namespace platform;

namespace {
QStringList &initLog()
{
    static QStringList log;
    return log;
}

// A store holding values in memory, keyed by object id: enough to drive faults and saves.
class MapStore : public PersistentStore
{
public:
    QHash<QString, QVariantMap> rows;
    int loads = 0;
    bool failSave = false;
    bool readOnly = false;

    ZEM_Result<QVariantMap> loadValues(const PersistentObject &record) override
    {
        ++loads;
        if (!rows.contains(record.objectID()))
            return ZEM_Error::make(ZEM_Error::NotFound, QStringLiteral("no row"));
        return rows.value(record.objectID());
    }
    ZEM_Result<void> saveChanges(const Changes &changes) override
    {
        if (failSave)
            return ZEM_Error::make(ZEM_Error::WriteFailed, QStringLiteral("disk full"));
        lastInserted = changes.inserted.size();
        lastUpdated = changes.updated.size();
        lastDeleted = changes.deleted.size();
        return {};
    }
    bool isReadOnly() const override { return readOnly; }
    QString type() const override { return QStringLiteral("Map"); }
    QString path() const override { return {}; }
    const DataModel &model() const override { return m_model; }
    ZEM_Result<QStringList> fetchObjectIDs(const FetchRequest &) override { return QStringList(); }
    DataModel m_model;
    qsizetype lastInserted = 0, lastUpdated = 0, lastDeleted = 0;
};
} // namespace

class Person : public PersistentObject
{
    Q_OBJECT
public:
    explicit Person(QObject *parent = nullptr) : PersistentObject(parent) {}

    static void initialize()
    {
        initLog().append(QStringLiteral("Person"));
        RecordClass::addDependentKey(staticMetaObject, QStringLiteral("firstName"), QStringLiteral("fullName"));
        RecordClass::addDependentKey(staticMetaObject, QStringLiteral("a"), QStringLiteral("b"));
        RecordClass::addDependentKey(staticMetaObject, QStringLiteral("b"), QStringLiteral("a"));
        RecordClass::registerSetter<Person>(QStringLiteral("nickName"), &Person::storeNickName);
        RecordClass::registerGetter<Person>(QStringLiteral("fullName"), &Person::fullName);
    }

    void storeNickName(const QString &name)
    {
        tableSetterCalls++;
        willChangeValueForKey(QStringLiteral("nickName"));
        setPrimitiveValue(name.toUpper(), QStringLiteral("nickName"));
        didChangeValueForKey(QStringLiteral("nickName"));
    }
    QString fullName()
    {
        return valueForKey(QStringLiteral("firstName")).toString() + QLatin1Char(' ')
            + valueForKey(QStringLiteral("lastName")).toString();
    }

    Q_INVOKABLE void setLastName(const QString &name)
    {
        invokableSetterCalls++;
        willChangeValueForKey(QStringLiteral("lastName"));
        setPrimitiveValue(name.trimmed(), QStringLiteral("lastName"));
        didChangeValueForKey(QStringLiteral("lastName"));
    }
    Q_INVOKABLE int age() { return 42; }

    int tableSetterCalls = 0;
    int invokableSetterCalls = 0;
    int faultTurns = 0;
    void didTurnIntoFault() override { ++faultTurns; }
};
ZEM_RECORD_CLASS(Person)

// Declares no initialize(): Person's must not run again for it.
class Employee : public Person
{
    Q_OBJECT
public:
    explicit Employee(QObject *parent = nullptr) : Person(parent) {}
};
ZEM_RECORD_CLASS(Employee)

class Manager : public Employee
{
    Q_OBJECT
public:
    explicit Manager(QObject *parent = nullptr) : Employee(parent) {}
    static void initialize() { initLog().append(QStringLiteral("Manager")); }
};
ZEM_RECORD_CLASS(Manager)

// Records what one observer hears.
struct Recorder
{
    QList<ChangeNotice> notices;
    PersistentObject::Handler handler()
    {
        return [this](const ChangeNotice &n) { notices.append(n); };
    }
    QStringList keys() const
    {
        QStringList k;
        for (const ChangeNotice &n : notices)
            k.append((n.prior ? QStringLiteral("will:") : QStringLiteral("did:")) + n.key);
        return k;
    }
};

class tst_PersistentObject : public QObject
{
    Q_OBJECT
private slots:
    void initializeRunsOncePerClassSuperclassFirst()
    {
        initLog().clear();
        Manager m;
        m.valueForKey(QStringLiteral("x"));
        m.valueForKey(QStringLiteral("y"));
        Employee e;
        e.valueForKey(QStringLiteral("x"));
        QCOMPARE(initLog(), (QStringList{QStringLiteral("Person"), QStringLiteral("Manager")}));
        // Person's dependent keys reach its subclasses.
        QCOMPARE(m.recordClass()->dependentKeys(QStringLiteral("firstName")), QStringList{QStringLiteral("fullName")});
    }

    void observersHearPriorAndAfterWithValues()
    {
        Person p;
        p.setPrimitiveValue(QStringLiteral("Ann"), QStringLiteral("firstName"));
        Recorder both, after;
        QObject ctx;
        QVERIFY(p.addObserver(QStringLiteral("firstName"), &ctx, both.handler(), ObserveOption::Prior | ObserveOption::After));
        QVERIFY(p.addObserver(QStringLiteral("firstName"), &ctx, after.handler()));
        QVERIFY(!p.addObserver(QString(), &ctx, after.handler()));
        QSignalSpy spy(&p, &PersistentObject::valueDidChange);

        p.setValueForKey(QStringLiteral("Bea"), QStringLiteral("firstName"));

        QCOMPARE(both.keys(), (QStringList{QStringLiteral("will:firstName"), QStringLiteral("did:firstName")}));
        QCOMPARE(both.notices[0].oldValue.toString(), QStringLiteral("Ann"));
        QVERIFY(!both.notices[0].newValue.isValid());
        QCOMPARE(both.notices[1].oldValue.toString(), QStringLiteral("Ann"));
        QCOMPARE(both.notices[1].newValue.toString(), QStringLiteral("Bea"));
        QCOMPARE(both.notices[1].kind, ChangeKind::Setting);
        QCOMPARE(both.notices[1].object, &p);
        QCOMPARE(after.notices.size(), 1);
        // firstName and its dependent fullName.
        QCOMPARE(spy.size(), 2);

        p.removeObserver(&ctx, QStringLiteral("firstName"));
        QCOMPARE(p.observerCount(), 0);
        p.setValueForKey(QStringLiteral("Cy"), QStringLiteral("firstName"));
        QCOMPARE(after.notices.size(), 1);
    }

    void dependentKeysNotifyWithoutRecursion()
    {
        Person p;
        Recorder r;
        for (const QString &key : {QStringLiteral("a"), QStringLiteral("b")})
            p.addObserver(key, nullptr, r.handler(), ObserveOption::Prior | ObserveOption::After);

        p.setValueForKey(1, QStringLiteral("a"));
        QCOMPARE(r.keys(), (QStringList{u"will:a"_qs, u"will:b"_qs, u"did:a"_qs, u"did:b"_qs}));
        QVERIFY(r.notices[3].dependent);
        QVERIFY(!r.notices[2].dependent);

        r.notices.clear();
        p.setValueForKey(2, QStringLiteral("b"));
        QCOMPARE(r.keys(), (QStringList{u"will:b"_qs, u"will:a"_qs, u"did:b"_qs, u"did:a"_qs}));
    }

    void destroyedObserverContextIsNeverCalled()
    {
        Person p;
        auto calls = std::make_shared<int>(0);
        auto *ctx = new QObject;
        p.addObserver(QStringLiteral("x"), ctx, [calls](const ChangeNotice &) { ++*calls; });
        p.setValueForKey(1, QStringLiteral("x"));
        QCOMPARE(*calls, 1);
        delete ctx;
        QCOMPARE(p.observerCount(), 0);
        p.setValueForKey(2, QStringLiteral("x"));
        QCOMPARE(*calls, 1);
    }

    void handlerMayRemoveObserversWhileNotified()
    {
        Person p;
        QObject first, second;
        int firstCalls = 0, secondCalls = 0, addedCalls = 0;
        p.addObserver(QStringLiteral("x"), &first, [&](const ChangeNotice &) {
            ++firstCalls;
            p.removeObserver(&first);
            p.removeObserver(&second);
            p.addObserver(QStringLiteral("x"), &first, [&](const ChangeNotice &) { ++addedCalls; });
        });
        p.addObserver(QStringLiteral("x"), &second, [&](const ChangeNotice &) { ++secondCalls; });
        p.setValueForKey(1, QStringLiteral("x"));
        QCOMPARE(firstCalls, 1);
        QCOMPARE(secondCalls, 0);
        QCOMPARE(addedCalls, 0);
        p.setValueForKey(2, QStringLiteral("x"));
        QCOMPARE(firstCalls, 1);
        QCOMPARE(addedCalls, 1);
        QCOMPARE(p.observerCount(), 1);
    }

    void keyPathAssignment_data()
    {
        QTest::addColumn<QString>("keyPath");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("storedKey");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("tableCalls");
        QTest::addColumn<int>("invokableCalls");
        QTest::addColumn<bool>("onBoss");

        QTest::newRow("table setter") << "nickName" << QVariant(u"bo"_qs) << "nickName" << QVariant(u"BO"_qs) << 1 << 0 << false;
        QTest::newRow("invokable setter") << "lastName" << QVariant(u" Lee "_qs) << "lastName" << QVariant(u"Lee"_qs) << 0 << 1 << false;
        QTest::newRow("invokable setter converts") << "lastName" << QVariant(7) << "lastName" << QVariant(u"7"_qs) << 0 << 1 << false;
        QTest::newRow("generic") << "city" << QVariant(u"Oslo"_qs) << "city" << QVariant(u"Oslo"_qs) << 0 << 0 << false;
        QTest::newRow("through to-one") << "boss.lastName" << QVariant(u"Kim "_qs) << "lastName" << QVariant(u"Kim"_qs) << 0 << 1 << true;
        QTest::newRow("through to-one, generic") << "boss.city" << QVariant(u"Rome"_qs) << "city" << QVariant(u"Rome"_qs) << 0 << 0 << true;
    }

    void keyPathAssignment()
    {
        QFETCH(QString, keyPath);
        QFETCH(QVariant, value);
        QFETCH(QString, storedKey);
        QFETCH(QVariant, stored);
        QFETCH(int, tableCalls);
        QFETCH(int, invokableCalls);
        QFETCH(bool, onBoss);

        Person p, boss;
        p.setPrimitiveValue(PersistentObject::toVariant(&boss), QStringLiteral("boss"));
        Recorder r;
        Person &target = onBoss ? boss : p;
        target.addObserver(storedKey, nullptr, r.handler());

        p.setValueForKeyPath(value, keyPath);

        QCOMPARE(target.primitiveValueForKey(storedKey), stored);
        QCOMPARE(target.tableSetterCalls, tableCalls);
        QCOMPARE(target.invokableSetterCalls, invokableCalls);
        QCOMPARE(r.notices.size(), 1);
        Person &other = onBoss ? p : boss;
        QVERIFY(!other.primitiveValueForKey(storedKey).isValid());

        // A missing link in the path assigns nothing.
        Person lonely;
        lonely.setValueForKeyPath(value, QStringLiteral("boss.") + storedKey);
        QVERIFY(lonely.primitiveKeys().isEmpty());
    }

    void keyPathReading()
    {
        Person p, boss;
        p.setPrimitiveValue(PersistentObject::toVariant(&boss), QStringLiteral("boss"));
        boss.setPrimitiveValue(QStringLiteral("Ida"), QStringLiteral("firstName"));
        boss.setPrimitiveValue(QStringLiteral("Moe"), QStringLiteral("lastName"));
        QCOMPARE(p.valueForKeyPath(QStringLiteral("boss.fullName")).toString(), QStringLiteral("Ida Moe"));
        QCOMPARE(p.valueForKeyPath(QStringLiteral("boss.age")).toInt(), 42);
        QCOMPARE(p.valueForKeyPath(QStringLiteral("boss.firstName")).toString(), QStringLiteral("Ida"));
        QVERIFY(!p.valueForKeyPath(QStringLiteral("nobody.firstName")).isValid());
        // A member that returns nothing is not a getter.
        QVERIFY(!p.valueForKey(QStringLiteral("deleteLater")).isValid());
    }

    void contextTracksChangesAndPostsOncePerPass()
    {
        StoreContext context;
        QSignalSpy changes(&context, &StoreContext::objectsDidChange);
        int posted = 0;
        QObject watcher;
        ZEM_F_E_Notifications::shared()->addObserver(&watcher, StoreContext::objectsDidChangeNotification(),
                                                     ZEM_F_Notification::wrap(&context),
                                                     [&](const ZEM_F_Notification &) { ++posted; });

        PersistentObject *p = context.insertNewObject(QStringLiteral("Person"));
        QVERIFY(qobject_cast<Person *>(p));
        QCOMPARE(p->managedObjectContext(), &context);
        PersistentObject *plain = context.insertNewObject(QStringLiteral("NoSuchClass"));
        QCOMPARE(plain->entityName(), QStringLiteral("NoSuchClass"));
        p->setValueForKey(1, QStringLiteral("x"));
        p->setValueForKey(2, QStringLiteral("x"));
        QVERIFY(context.hasChanges());
        QCOMPARE(context.insertedObjects().size(), 2);
        QVERIFY(context.updatedObjects().isEmpty());
        QTRY_COMPARE(changes.size(), 1);
        QCOMPARE(posted, 1);
        QCOMPARE(changes.first().first().toMap().value(QStringLiteral("inserted")).toList().size(), 2);
    }

    void undoRestoresValueWithNotices()
    {
        StoreContext context;
        auto *p = context.insertNewObject<Person>();
        p->setPrimitiveValue(QStringLiteral("old"), QStringLiteral("note"));
        context.processPendingChanges(); // the insertion is a step of its own
        Recorder r;
        p->addObserver(QStringLiteral("note"), nullptr, r.handler());
        p->setValueForKey(QStringLiteral("new"), QStringLiteral("note"));
        context.processPendingChanges();
        QCOMPARE(context.undoManager()->count(), 2);

        context.undo();
        QCOMPARE(p->primitiveValueForKey(QStringLiteral("note")).toString(), QStringLiteral("old"));
        QCOMPARE(r.notices.size(), 2);
        QCOMPARE(r.notices.last().newValue.toString(), QStringLiteral("old"));
        context.redo();
        QCOMPARE(p->primitiveValueForKey(QStringLiteral("note")).toString(), QStringLiteral("new"));
        // Undo and redo replay changes without recording new steps.
        QCOMPARE(context.undoManager()->count(), 2);
        QCOMPARE(context.undoManager()->index(), 2);

        // Setting an equal value is no change to undo.
        p->setValueForKey(QStringLiteral("new"), QStringLiteral("note"));
        context.processPendingChanges();
        QCOMPARE(context.undoManager()->count(), 2);
    }

    void oneUndoStepPerEventLoopPass()
    {
        StoreContext context;
        auto *p = context.insertNewObject<Person>();
        p->setValueForKey(1, QStringLiteral("x"));
        p->setValueForKey(QStringLiteral("a"), QStringLiteral("y"));
        p->setValueForKey(2, QStringLiteral("x"));
        // The step stays open until the next pass of the event loop.
        QVERIFY(!context.undoManager()->canUndo());
        QTRY_VERIFY(context.undoManager()->canUndo());
        QCOMPARE(context.undoManager()->count(), 1);
        p->setValueForKey(3, QStringLiteral("x"));
        QVERIFY(!context.undoManager()->canUndo());
        QTRY_VERIFY(context.undoManager()->canUndo());
        QCOMPARE(context.undoManager()->count(), 2);

        context.undoManager()->undo();
        QCOMPARE(p->primitiveValueForKey(QStringLiteral("x")).toInt(), 2);

        context.setUndoEnabled(false);
        p->setValueForKey(9, QStringLiteral("x"));
        context.processPendingChanges();
        QCOMPARE(context.undoManager()->index(), 1);
    }

    void deleteClearsRelationsUndoably()
    {
        StoreContext context;
        auto *a = context.insertNewObject<Person>();
        auto *b = context.insertNewObject<Person>();
        auto *c = context.insertNewObject<Person>();
        a->setValueForKey(PersistentObject::toVariant(b), QStringLiteral("boss"));
        a->setValueForKey(PersistentObject::toVariant(RecordSet{b, c}), QStringLiteral("friends"));
        context.processPendingChanges();
        Recorder r;
        a->addObserver(QStringLiteral("friends"), nullptr, r.handler());

        context.deleteObject(b);
        QVERIFY(b->isDeleted());
        QCOMPARE(b->managedObjectContext(), &context);
        QCOMPARE(PersistentObject::fromVariant(a->primitiveValueForKey(QStringLiteral("boss"))), nullptr);
        QCOMPARE(PersistentObject::setFromVariant(a->primitiveValueForKey(QStringLiteral("friends"))), RecordSet{c});
        QCOMPARE(r.notices.size(), 1);
        QCOMPARE(r.notices[0].kind, ChangeKind::Minus);
        QCOMPARE(r.notices[0].objects, RecordSet{b});
        // Never saved, so nothing is left for a store to delete.
        QVERIFY(context.deletedObjects().isEmpty());

        context.undo();
        QCOMPARE(PersistentObject::fromVariant(a->primitiveValueForKey(QStringLiteral("boss"))), b);
        QCOMPARE(PersistentObject::setFromVariant(a->primitiveValueForKey(QStringLiteral("friends"))), (RecordSet{b, c}));
    }

    void faultsLoadOnFirstAccess()
    {
        MapStore store;
        store.rows.insert(QStringLiteral("p1"), {{QStringLiteral("firstName"), QStringLiteral("Eve")}});
        StoreContext context;
        context.setPersistentStore(&store);
        auto *p = qobject_cast<Person *>(context.registerObject(QStringLiteral("Person"), QStringLiteral("p1")));
        QVERIFY(p);
        QCOMPARE(context.registerObject(QStringLiteral("Person"), QStringLiteral("p1")), p);
        QVERIFY(p->isFault());
        QCOMPARE(store.loads, 0);
        QCOMPARE(p->valueForKey(QStringLiteral("firstName")).toString(), QStringLiteral("Eve"));
        QVERIFY(!p->isFault());
        p->valueForKey(QStringLiteral("firstName"));
        QCOMPARE(store.loads, 1);
        QVERIFY(!context.hasChanges());

        p->setValueForKey(QStringLiteral("Zoe"), QStringLiteral("firstName"));
        QCOMPARE(context.updatedObjects(), RecordSet{p});
        QVERIFY(context.refreshObject(p));
        QVERIFY(p->isFault());
        QCOMPARE(p->faultTurns, 1);
        QVERIFY(!context.hasChanges());
        QCOMPARE(p->valueForKey(QStringLiteral("firstName")).toString(), QStringLiteral("Eve"));
        QCOMPARE(store.loads, 2);

        // A record the store does not know stays a fault and reads as empty.
        PersistentObject *ghost = context.registerObject(QStringLiteral("Person"), QStringLiteral("p404"));
        QVERIFY(!ghost->valueForKey(QStringLiteral("firstName")).isValid());
        QVERIFY(ghost->isFault());
        // Inserted records have nothing to reload.
        QVERIFY(!context.refreshObject(context.insertNewObject(QStringLiteral("Person"))));
    }

    void saveOutcomes()
    {
        StoreContext context;
        QVERIFY(context.save());
        auto *p = context.insertNewObject<Person>();
        p->setValueForKey(1, QStringLiteral("x"));
        {
            const auto r = context.save();
            QVERIFY(!r);
            QCOMPARE(r.error().code, ZEM_Error::Unavailable);
            QVERIFY(context.hasChanges());
        }
        MapStore store;
        context.setPersistentStore(&store);
        store.readOnly = true;
        QVERIFY(!context.save());
        store.readOnly = false;
        store.failSave = true;
        QVERIFY(!context.save());
        QVERIFY(context.hasChanges());
        store.failSave = false;
        QSignalSpy saved(&context, &StoreContext::didSave);
        QVERIFY(context.save());
        QCOMPARE(saved.size(), 1);
        QCOMPARE(store.lastInserted, 1);
        QVERIFY(!context.hasChanges());

        p->setValueForKey(2, QStringLiteral("x"));
        QCOMPARE(context.updatedObjects(), RecordSet{p});
        context.deleteObject(p);
        QCOMPARE(context.deletedObjects(), RecordSet{p});
        QVERIFY(context.updatedObjects().isEmpty());
        QVERIFY(context.save());
        QCOMPARE(store.lastDeleted, 1);
        QCOMPARE(store.lastUpdated, 0);
    }
};

ZEM_TEST_MAIN(tst_PersistentObject)
#include "tst_PersistentObject.moc"
