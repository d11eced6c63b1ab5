#include "ZemTestEnv.h"

#include "foundation/ZEM_F_E_Notifications.h"
#include "platform/store/StoreContext.h"
#include "records/ZEM_A_C_ManagedObject.h"

#include <QUndoStack>

using platform::ChangeKind;
using platform::ChangeNotice;
using platform::ObserveOption;
using platform::PersistentObject;
using platform::RecordSet;

class Note : public ZEM_A_C_ManagedObject
{
    Q_OBJECT
public:
    explicit Note(QObject *parent = nullptr) : ZEM_A_C_ManagedObject(parent) {}

    static void initialize()
    {
        ZEM_A_C_ManagedObject::initialize();
        setKeysBoth<Note>(QStringLiteral("notes"), QStringLiteral("notesString"));
        setKeysBothArray<Note>(QStringLiteral("dueDate"),
                               {QStringLiteral("dueDateString"), QStringLiteral("dueDateColor")});
    }

    Q_INVOKABLE void setTitle(const QString &title)
    {
        order.append(QStringLiteral("title"));
        setValueSupport(title.toUpper(), QStringLiteral("title"));
    }
    Q_INVOKABLE void setPriority(int priority)
    {
        order.append(QStringLiteral("priority"));
        setValueSupport(priority, QStringLiteral("priority"));
    }
    Q_INVOKABLE void languageCall() { ++languageCalls; }
    QString saveNotesName() const override { return QStringLiteral("Note File"); }

    QStringList order;
    int languageCalls = 0;
};
ZEM_RECORD_CLASS(Note)

namespace {
struct Log
{
    QList<ChangeNotice> notices;
    void watch(PersistentObject *record, const QStringList &keys)
    {
        for (const QString &key : keys)
            record->addObserver(key, nullptr, [this](const ChangeNotice &n) { notices.append(n); },
                                ObserveOption::Prior | ObserveOption::After);
    }
    QStringList keys() const
    {
        QStringList k;
        for (const ChangeNotice &n : notices)
            k.append((n.prior ? u"will:"_qs : u"did:"_qs) + n.key);
        return k;
    }
};
} // namespace

class tst_ZEM_A_C_ManagedObject : public QObject
{
    Q_OBJECT
private slots:
    void valueSupportDoesNotSplitDots()
    {
        Note note, other;
        note.setRelation(&other, QStringLiteral("a"));
        Log log;
        log.watch(&note, {QStringLiteral("a.b")});
        note.setValueSupport(5, QStringLiteral("a.b"));
        QCOMPARE(note.primitiveValueForKey(QStringLiteral("a.b")).toInt(), 5);
        QVERIFY(other.primitiveKeys().isEmpty());
        QCOMPARE(note.objectForKeySupport(QStringLiteral("a.b")).toInt(), 5);
        QCOMPARE(log.keys(), (QStringList{u"will:a.b"_qs, u"did:a.b"_qs}));
        // The key-path setter does follow the dot.
        note.setValueForKeyPath(6, QStringLiteral("a.b"));
        QCOMPARE(other.primitiveValueForKey(QStringLiteral("b")).toInt(), 6);
    }

    void keysBothNotifyEachOther_data()
    {
        QTest::addColumn<QString>("changed");
        QTest::addColumn<QStringList>("heard");
        QTest::newRow("notes") << "notes" << QStringList{"notes", "notesString"};
        QTest::newRow("notesString") << "notesString" << QStringList{"notesString", "notes"};
        QTest::newRow("dueDate") << "dueDate" << QStringList{"dueDate", "dueDateString", "dueDateColor"};
        QTest::newRow("dueDateColor") << "dueDateColor" << QStringList{"dueDateColor", "dueDate"};
        QTest::newRow("unrelated") << "title2" << QStringList{"title2"};
    }

    void keysBothNotifyEachOther()
    {
        QFETCH(QString, changed);
        QFETCH(QStringList, heard);
        Note note;
        Log log;
        log.watch(&note, {u"notes"_qs, u"notesString"_qs, u"dueDate"_qs, u"dueDateString"_qs, u"dueDateColor"_qs,
                          u"title2"_qs});
        note.setValueSupport(QStringLiteral("x"), changed);
        QStringList expected;
        for (const QString &k : heard)
            expected.append(u"will:"_qs + k);
        for (const QString &k : heard)
            expected.append(u"did:"_qs + k);
        QCOMPARE(log.keys(), expected);
    }

    void setMutations_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QList<int>>("given");
        QTest::addColumn<QList<int>>("after");
        // Records 0..3; the set starts as {0, 1}.
        QTest::newRow("add one") << "addRelationObject" << int(ChangeKind::Union) << QList<int>{2} << QList<int>{0, 1, 2};
        QTest::newRow("add one already there") << "addRelationObject" << int(ChangeKind::Union) << QList<int>{1} << QList<int>{0, 1};
        QTest::newRow("remove one") << "removeRelationObject" << int(ChangeKind::Minus) << QList<int>{0} << QList<int>{1};
        QTest::newRow("remove one absent") << "removeRelationObject" << int(ChangeKind::Minus) << QList<int>{3} << QList<int>{0, 1};
        QTest::newRow("add several") << "addRelations" << int(ChangeKind::Union) << QList<int>{1, 2, 3} << QList<int>{0, 1, 2, 3};
        QTest::newRow("remove several") << "removeRelations" << int(ChangeKind::Minus) << QList<int>{0, 1, 3} << QList<int>{};
    }

    void setMutations()
    {
        QFETCH(QString, operation);
        QFETCH(int, kind);
        QFETCH(QList<int>, given);
        QFETCH(QList<int>, after);

        platform::StoreContext context;
        auto *note = context.insertNewObject<Note>();
        QList<Note *> r;
        for (int i = 0; i < 4; ++i)
            r.append(context.insertNewObject<Note>());
        note->setRelation(RecordSet{r[0], r[1]}, QStringLiteral("members"));
        context.processPendingChanges();
        context.removeAllUndoActions();

        Log log;
        log.watch(note, {QStringLiteral("members")});
        RecordSet givenSet;
        for (int i : given)
            givenSet.insert(r[i]);
        if (operation == u"addRelationObject")
            note->addRelationObject(r[given.first()], QStringLiteral("members"));
        else if (operation == u"removeRelationObject")
            note->removeRelationObject(r[given.first()], QStringLiteral("members"));
        else if (operation == u"addRelations")
            note->addRelations(givenSet, QStringLiteral("members"));
        else
            note->removeRelations(givenSet, QStringLiteral("members"));

        RecordSet expected;
        for (int i : after)
            expected.insert(r[i]);
        QCOMPARE(PersistentObject::setFromVariant(note->relationForKey(QStringLiteral("members"))), expected);
        // Exactly one notice before and one after, of the operation's kind and with the given set.
        QCOMPARE(log.notices.size(), 2);
        QVERIFY(log.notices[0].prior);
        QVERIFY(!log.notices[1].prior);
        for (const ChangeNotice &n : std::as_const(log.notices)) {
            QCOMPARE(int(n.kind), kind);
            QCOMPARE(n.objects, givenSet);
        }
        QCOMPARE(PersistentObject::setFromVariant(log.notices[1].newValue), expected);

        // The mutation is undoable as one step.
        context.undo();
        QCOMPARE(PersistentObject::setFromVariant(note->relationForKey(QStringLiteral("members"))),
                 (RecordSet{r[0], r[1]}));
    }

    void toOneRelation()
    {
        Note note, target;
        Log log;
        log.watch(&note, {QStringLiteral("owner")});
        note.setRelation(&target, QStringLiteral("owner"));
        QCOMPARE(PersistentObject::fromVariant(note.relationForKey(QStringLiteral("owner"))), &target);
        note.setRelation(static_cast<PersistentObject *>(nullptr), QStringLiteral("owner"));
        QVERIFY(!note.relationForKey(QStringLiteral("owner")).isValid());
        QCOMPARE(log.keys(), (QStringList{u"will:owner"_qs, u"did:owner"_qs, u"will:owner"_qs, u"did:owner"_qs}));
        QCOMPARE(PersistentObject::fromVariant(log.notices[3].oldValue), &target);
    }

    void valuesFromDictInOrder()
    {
        Note note, child;
        note.setRelation(&child, QStringLiteral("child"));
        ZEM_A_C_ManagedObject *result = note.setCDRecordValuesFromDict(ZEM_A_C_ManagedObject::KeyPathValues{
            {u"priority"_qs, u"3"_qs}, {u"title"_qs, u"milk"_qs}, {u"color"_qs, u"red"_qs}, {u"child.title"_qs, u"eggs"_qs}});
        QCOMPARE(result, &note);
        QCOMPARE(note.order, (QStringList{u"priority"_qs, u"title"_qs}));
        QCOMPARE(note.primitiveValueForKey(u"priority"_qs), QVariant(3));
        QCOMPARE(note.primitiveValueForKey(u"title"_qs).toString(), u"MILK"_qs);
        QCOMPARE(note.primitiveValueForKey(u"color"_qs).toString(), u"red"_qs);
        QCOMPARE(child.primitiveValueForKey(u"title"_qs).toString(), u"EGGS"_qs);

        // A map is assigned in its key order.
        Note other;
        other.setCDRecordValuesFromDict(QVariantMap{{u"title"_qs, u"b"_qs}, {u"priority"_qs, 1}});
        QCOMPARE(other.order, (QStringList{u"priority"_qs, u"title"_qs}));
    }

    void forwarders()
    {
        platform::StoreContext context;
        auto *inContext = context.insertNewObject<ZEM_A_C_ManagedObject>();
        QCOMPARE(inContext->undoManager(), context.undoManager());
        ZEM_A_C_ManagedObject loose;
        QCOMPARE(loose.undoManager(), nullptr);
        QCOMPARE(loose.saveNotesName(), QString(""));
        QVERIFY(!loose.saveNotesName().isNull());
        QCOMPARE(loose.valueForKey(u"saveNotesName"_qs).toString(), QString(""));
        Note note;
        QCOMPARE(note.valueForKey(u"saveNotesName"_qs).toString(), u"Note File"_qs);
        QCOMPARE(loose.getSetAccessor(u"homeAddressCity"_qs), u"setHomeAddressCity:"_qs);
        QVERIFY(loose.convertedDateString(QDateTime()).isNull());
        QCOMPARE(loose.convertedDateString(QDateTime(QDate(2001, 2, 3), QTime(4, 5))), u"Feb 03, 2001"_qs);
    }

    void faultLeavesNotifications()
    {
        struct OneRow : platform::PersistentStore
        {
            ZEM_Result<QVariantMap> loadValues(const PersistentObject &) override { return QVariantMap{{u"title"_qs, u"T"_qs}}; }
            ZEM_Result<void> saveChanges(const Changes &) override { return {}; }
            QString type() const override { return u"Row"_qs; }
            QString path() const override { return {}; }
            const platform::DataModel &model() const override { return m_model; }
            ZEM_Result<QStringList> fetchObjectIDs(const platform::FetchRequest &) override { return QStringList(); }
            platform::DataModel m_model;
        } store;
        platform::StoreContext context;
        context.setPersistentStore(&store);
        auto *note = qobject_cast<Note *>(context.registerObject(u"Note"_qs, u"n1"_qs));
        QVERIFY(note);
        QCOMPARE(note->valueForKey(u"title"_qs).toString(), u"T"_qs);
        auto *centre = ZEM_F_E_Notifications::shared();
        QVERIFY(centre->addObserver(note, "languageCall", u"LanguageCall"_qs));
        QVERIFY(centre->addObserver(note, "languageCall", u"ResetMenu"_qs));
        centre->postNotificationName(u"LanguageCall"_qs);
        QCOMPARE(note->languageCalls, 1);

        QVERIFY(context.refreshObject(note));
        QCOMPARE(centre->observerCount(note), 0);
        centre->postNotificationName(u"LanguageCall"_qs);
        QCOMPARE(note->languageCalls, 1);
        // Its values come back on the next access; nothing else was lost.
        QCOMPARE(note->valueForKey(u"title"_qs).toString(), u"T"_qs);
    }

    void registeredByName()
    {
        platform::StoreContext context;
        PersistentObject *base = context.insertNewObject(u"ZEM_A_C_ManagedObject"_qs);
        QVERIFY(qobject_cast<ZEM_A_C_ManagedObject *>(base));
        QVERIFY(qobject_cast<Note *>(context.insertNewObject(u"Note"_qs)));
    }
};

ZEM_TEST_MAIN(tst_ZEM_A_C_ManagedObject)
#include "tst_ZEM_A_C_ManagedObject.moc"
