#include "ZemTestEnv.h"

#include "foundation/ZEM_F_E_Notifications.h"
#include "platform/store/PersistentObject.h"
#include "platform/store/StoreContext.h"
#include "platform/store/StoreCoordinator.h"
#include "records/ZEM_A_C_ObjectController.h"

#include <QPushButton>
#include <QUndoStack>

using namespace platform;

namespace {

class SecondController : public QObject
{
    Q_OBJECT
public:
    int checks = 0;
    Q_INVOKABLE void checkButtons() { ++checks; }
};

// A context over a real XML store file, so that saves really happen.
struct Edited
{
    QTemporaryDir dir;
    std::unique_ptr<PersistentStoreCoordinator> coordinator;
    StoreContext context;
    PersistentObject *record = nullptr;

    Edited()
    {
        auto model = DataModel::fromJson(R"({"entities": [{"name": "Note", "attributes": [{"name": "text"}]}]})");
        coordinator = std::make_unique<PersistentStoreCoordinator>(*model);
        if (!coordinator->addPersistentStore(PersistentStoreCoordinator::xmlStoreType(), dir.filePath(u"n.xml"_qs)))
            qFatal("no store");
        context.setPersistentStoreCoordinator(coordinator.get());
        record = context.insertNewObject(u"Note"_qs);
        if (!context.save())
            qFatal("no save");
    }
};

} // namespace

class tst_ZEM_A_C_ObjectController : public QObject
{
    Q_OBJECT
private slots:
    void saveButtonFollowsOwnContext()
    {
        Edited mine, other;
        QPushButton save;
        save.setEnabled(true);
        ZEM_A_C_ObjectController controller;
        controller.setManagedObject(mine.record);
        controller.setSaveButton(&save);
        controller.awakeFromNib();
        QVERIFY(!save.isEnabled());
        QCOMPARE(controller.managedObjectContext(), &mine.context);
        QCOMPARE(controller.undoManager(), mine.context.undoManager());

        // The objects-changed notice comes at the end of the event-loop pass.
        mine.record->setValueForKey(u"edited"_qs, u"text"_qs);
        QVERIFY(!save.isEnabled());
        QTRY_VERIFY(save.isEnabled());
        QVERIFY(mine.context.save());
        QVERIFY(!save.isEnabled());

        // Another context's changes and saves leave the button alone.
        other.record->setValueForKey(u"elsewhere"_qs, u"text"_qs);
        other.context.processPendingChanges();
        QVERIFY(!save.isEnabled());
        mine.record->setValueForKey(u"again"_qs, u"text"_qs);
        mine.context.processPendingChanges();
        QVERIFY(save.isEnabled());
        QVERIFY(other.context.save());
        QVERIFY(save.isEnabled());
    }

    void secondControllerAskedWhenItAnswers()
    {
        Edited mine;
        SecondController second;
        QObject mute;
        ZEM_A_C_ObjectController controller;
        controller.setManagedObject(mine.record);
        controller.setController(&second);
        controller.awakeFromNib();
        QCOMPARE(second.checks, 1);
        mine.record->setValueForKey(u"x"_qs, u"text"_qs);
        mine.context.processPendingChanges();
        QCOMPARE(second.checks, 2);

        // Without a button or with a controller that cannot check, nothing breaks.
        controller.setController(&mute);
        controller.checkButtons();
        QCOMPARE(second.checks, 2);
    }

    void goneControllerHearsNothing()
    {
        Edited mine;
        const int before = ZEM_F_E_Notifications::shared()->observerCount();
        {
            ZEM_A_C_ObjectController controller;
            controller.setManagedObject(mine.record);
            controller.awakeFromNib();
            QCOMPARE(ZEM_F_E_Notifications::shared()->observerCount(&controller), 2);
        }
        QCOMPARE(ZEM_F_E_Notifications::shared()->observerCount(), before);
        mine.record->setValueForKey(u"x"_qs, u"text"_qs);
        mine.context.processPendingChanges();
        QVERIFY(mine.context.save());
    }
};

ZEM_TEST_MAIN(tst_ZEM_A_C_ObjectController)
#include "tst_ZEM_A_C_ObjectController.moc"
