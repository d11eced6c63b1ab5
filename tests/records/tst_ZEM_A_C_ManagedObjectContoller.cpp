#include "ZemTestEnv.h"

#include "foundation/ZEM_F_HostDelegate.h"
#include "platform/Alerts.h"
#include "platform/Application.h"
#include "platform/store/PersistentObject.h"
#include "platform/store/StoreContext.h"
#include "platform/store/StoreCoordinator.h"
#include "records/ZEM_A_C_ManagedObjectContoller.h"

#include <QTimer>
#include <QUndoStack>

using platform::TerminateReply;

namespace {

const char kSoundsModel[] = R"({"entities": [{"name": "Sounds", "attributes": [
    {"name": "sound", "type": "string"}, {"name": "use", "type": "integer", "default": 0}]}]})";

const QString kBundle = u"org.example.Notes"_qs;

class Counting : public ZEM_A_C_ManagedObjectContoller
{
    Q_OBJECT
public:
    using ZEM_A_C_ManagedObjectContoller::ZEM_A_C_ManagedObjectContoller;
    int finished = 0;
    void managedObjectContextFinsihedSupport() override { ++finished; }
};

// Refuses to let an edit end, as a field holding an invalid entry would.
class StubbornEditor : public QObject
{
    Q_OBJECT
public:
    Q_INVOKABLE bool commitEditing() { return false; }
};

} // namespace

class tst_ZEM_A_C_ManagedObjectContoller : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_host = std::make_unique<ZEM_F_SettingsHostDelegate>(u"Notes"_qs);
        ZEM_F_Host::setDelegate(m_host.get());
        QFile model(m_resources.filePath(u"Sounds.json"_qs));
        QVERIFY(model.open(QIODevice::WriteOnly));
        model.write(kSoundsModel);
        model.close();
        platform::Application::registerBundle(kBundle, m_resources.path());
    }

    void init()
    {
        qunsetenv("ZEM_DEBUG_MACHINE");
        QDir(support() + u"/Notes"_qs).removeRecursively();
    }

    void cleanup()
    {
        platform::Application::setErrorPresenter({});
    }

    void defaultsAndLocation()
    {
        ZEM_A_C_ManagedObjectContoller c(kBundle, u"Sounds"_qs, u"SoundsData"_qs);
        // Read-only and quiet about a missing file by default: openReadWriteAndReadOnly and
        // missingStoreShownOnlyWhenAsked rely on that.
        QCOMPARE(c.dataStorageType(), platform::PersistentStoreCoordinator::sqliteStoreType());
        QVERIFY(c.appName().isNull());
        QVERIFY(!c.useAppWrapper());
        QVERIFY(!c.sqlFileExists());

        // The host's application name places the folder in the private data home.
        QCOMPARE(support(), ZemTestEnv::current()->dataHome());
        QCOMPARE(c.applicationSupportFolder(), support() + u"/Notes/SQLData"_qs);
        QCOMPARE(c.getStorageURL(), QUrl::fromLocalFile(support() + u"/Notes/SQLData/SoundsData.sql"_qs));

        c.setDataStorageType(platform::PersistentStoreCoordinator::xmlStoreType());
        QCOMPARE(c.getStorageExtention(), u"xml"_qs);
        c.setDataStorageType(u"Binary"_qs);
        QCOMPARE(c.getStorageExtention(), u"xml"_qs);
        c.setAppName(u"Other"_qs);
        QCOMPARE(c.applicationSupportFolder(), support() + u"/Other/SQLData"_qs);
    }

    void locationRules_data()
    {
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<bool>("fileThere");
        QTest::addColumn<bool>("exists");
        QTest::newRow("read-only, no file") << true << false << true;
        QTest::newRow("read-write, no file") << false << false << false;
        QTest::newRow("read-write, file") << false << true << true;
    }

    void locationRules()
    {
        QFETCH(bool, readOnly);
        QFETCH(bool, fileThere);
        QFETCH(bool, exists);
        ZEM_A_C_ManagedObjectContoller c(kBundle, u"Sounds"_qs, u"SoundsData"_qs);
        c.setReadOnly(readOnly);
        const QString path = c.applicationSupportFolder() + u"/SoundsData.sql"_qs;
        if (fileThere) {
            QVERIFY(QDir().mkpath(c.applicationSupportFolder()));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QCOMPARE(c.getStorageURL().toLocalFile(), path);
        QCOMPARE(c.sqlFileExists(), exists);
    }

    void modelLookup()
    {
        ZEM_A_C_ManagedObjectContoller c(kBundle, u"Sounds"_qs, u"SoundsData"_qs);
        const platform::DataModel *model = c.managedObjectModel();
        QVERIFY(model);
        QCOMPARE(model->entityNames(), QStringList{u"Sounds"_qs});
        QCOMPARE(c.managedObjectModel(), model);

        // A missing model is quiet on a user's machine and logged on a developer's.
        ZEM_A_C_ManagedObjectContoller quiet(kBundle, u"Missing"_qs, u"Data"_qs);
        QVERIFY(!quiet.managedObjectModel());
        qputenv("ZEM_DEBUG_MACHINE", "1");
        ZEM_A_C_ManagedObjectContoller loud(kBundle, u"Missing"_qs, u"Data"_qs);
        QTest::ignoreMessage(QtWarningMsg, qPrintable(u"NSManagedObjectModel failed to be created with file: "_qs
                                                      + m_resources.filePath(u"Missing.json"_qs)));
        QVERIFY(!loud.managedObjectModel());
        ZEM_A_C_ManagedObjectContoller noBundle(u"org.example.None"_qs, u"Sounds"_qs, u"Data"_qs);
        QTest::ignoreMessage(QtWarningMsg, "NSManagedObjectModel failed to be created with file: /Sounds.json");
        QVERIFY(!noBundle.managedObjectModel());
    }

    void openReadWriteAndReadOnly()
    {
        {
            ZEM_A_C_ManagedObjectContoller writer(kBundle, u"Sounds"_qs, u"SoundsData"_qs);
            writer.setReadOnly(false);
            platform::StoreContext *context = writer.managedObjectContext();
            QVERIFY(context);
            QVERIFY(!writer.storeError());
            QCOMPARE(context, writer.managedObjectContext());
            auto *sound = context->insertNewObject(u"Sounds"_qs);
            sound->setValueForKey(u"Glass"_qs, u"sound"_qs);
            sound->setValueForKey(1, u"use"_qs);
            QVERIFY(writer.saveAction());
        }
        QVERIFY(QFileInfo::exists(support() + u"/Notes/SQLData/SoundsData.sql"_qs));

        ZEM_A_C_ManagedObjectContoller reader(kBundle, u"Sounds"_qs, u"SoundsData"_qs);
        auto found = reader.managedObjectContext()->fetch(u"Sounds"_qs, u"use = %d"_qs, {1});
        QVERIFY(found);
        QCOMPARE(found->size(), 1);
        QCOMPARE(found->first()->valueForKey(u"sound"_qs).toString(), u"Glass"_qs);
        QVERIFY(reader.persistentStoreCoordinator()->persistentStore()->isReadOnly());
    }

    void missingStoreShownOnlyWhenAsked()
    {
        platform::RecordingAlertResponder responder;
        ZEM_A_C_ManagedObjectContoller silent(kBundle, u"Sounds"_qs, u"Absent"_qs);
        platform::StoreContext *context = silent.managedObjectContext();
        // The context is there without a store: fetches find nothing, saves fail.
        QVERIFY(context);
        QVERIFY(silent.storeError());
        QCOMPARE(silent.storeError()->code, ZEM_Error::NotFound);
        QVERIFY(responder.alerts().isEmpty());
        QVERIFY(context->fetch(u"Sounds"_qs, QString())->isEmpty());
        context->insertNewObject(u"Sounds"_qs);
        QVERIFY(!context->save());
        QVERIFY(!QFileInfo::exists(support() + u"/Notes/SQLData/Absent.sql"_qs));

        ZEM_A_C_ManagedObjectContoller shown(kBundle, u"Sounds"_qs, u"Absent"_qs);
        shown.setIgnoreNoFileError(false);
        shown.managedObjectContext();
        QCOMPARE(responder.alerts().size(), 1);
        QVERIFY(responder.alerts().first().text.contains(u"Absent.sql"_qs));

        // No model: the store cannot be opened, and says why.
        ZEM_A_C_ManagedObjectContoller noModel(kBundle, u"Missing"_qs, u"Data"_qs);
        noModel.setReadOnly(false);
        noModel.setIgnoreNoFileError(false);
        QVERIFY(noModel.managedObjectContext());
        QCOMPARE(responder.alerts().size(), 2);
        QVERIFY(responder.alerts().last().text.contains(u"Missing"_qs));
    }

    void contextHookRunsOnce()
    {
        Counting c(kBundle, u"Sounds"_qs, u"SoundsData"_qs);
        c.setReadOnly(false);
        const auto scheduled = [&c] {
            int active = 0;
            for (QTimer *timer : c.findChildren<QTimer *>(u"managedObjectContextFinsihedSupport"_qs))
                active += timer->isActive() ? 1 : 0;
            return active;
        };
        c.managedObjectContext();
        c.managedObjectContext();
        QCOMPARE(c.finished, 0); // on the next pass, not now
        QCOMPARE(scheduled(), 1);
        QTRY_COMPARE(c.finished, 1);
        QCOMPARE(scheduled(), 0); // nothing left that could run it again
    }

    void saveActionEndsUndoHistoryOnlyOnSuccess()
    {
        ZEM_A_C_ManagedObjectContoller c(kBundle, u"Sounds"_qs, u"SoundsData"_qs);
        c.setReadOnly(false);
        platform::StoreContext *context = c.managedObjectContext();
        auto *sound = context->insertNewObject(u"Sounds"_qs);
        sound->setValueForKey(u"a"_qs, u"sound"_qs);
        context->processPendingChanges();
        sound->setValueForKey(u"b"_qs, u"sound"_qs);
        context->processPendingChanges();
        QVERIFY(c.saveOnQuitAction());
        QVERIFY(context->undoManager()->canUndo());
        sound->setValueForKey(u"c"_qs, u"sound"_qs);
        QVERIFY(c.saveAction());
        QVERIFY(!context->undoManager()->canUndo());

        // A failing save shows its error and keeps the history.
        platform::RecordingAlertResponder responder;
        ZEM_A_C_ManagedObjectContoller ro(kBundle, u"Sounds"_qs, u"SoundsData"_qs);
        platform::StoreContext *roContext = ro.managedObjectContext();
        roContext->fetch(u"Sounds"_qs, QString())->first()->setValueForKey(u"d"_qs, u"sound"_qs);
        roContext->processPendingChanges();
        QVERIFY(!ro.saveAction());
        QCOMPARE(responder.alerts().size(), 1);
        QVERIFY(roContext->undoManager()->canUndo());
    }

    void quitDecision_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<int>("alertAnswer");
        QTest::addColumn<bool>("presenterHandles");
        QTest::addColumn<int>("reply");
        QTest::addColumn<int>("alerts");
        QTest::newRow("no context") << u"none"_qs << 0 << false << int(TerminateReply::Now) << 0;
        QTest::newRow("edit not committed") << u"editing"_qs << 0 << false << int(TerminateReply::Cancel) << 0;
        QTest::newRow("nothing changed") << u"clean"_qs << 0 << false << int(TerminateReply::Now) << 0;
        QTest::newRow("saved") << u"saves"_qs << 0 << false << int(TerminateReply::Now) << 0;
        QTest::newRow("save fails, quit anyway") << u"fails"_qs << 0 << false << int(TerminateReply::Now) << 2;
        QTest::newRow("save fails, cancel") << u"fails"_qs << 1 << false << int(TerminateReply::Cancel) << 2;
        QTest::newRow("save fails, error handled") << u"fails"_qs << 0 << true << int(TerminateReply::Cancel) << 0;
    }

    void quitDecision()
    {
        QFETCH(QString, situation);
        QFETCH(int, alertAnswer);
        QFETCH(bool, presenterHandles);
        QFETCH(int, reply);
        QFETCH(int, alerts);

        { // a saved record for the read-only case to change
            ZEM_A_C_ManagedObjectContoller seed(kBundle, u"Sounds"_qs, u"SoundsData"_qs);
            seed.setReadOnly(false);
            seed.managedObjectContext()->insertNewObject(u"Sounds"_qs);
            QVERIFY(seed.saveAction());
        }
        platform::RecordingAlertResponder responder;
        responder.queueAlertAnswer(0); // the error
        responder.queueAlertAnswer(alertAnswer);
        int presented = 0;
        if (presenterHandles)
            platform::Application::setErrorPresenter([&presented](const ZEM_Error &, QWidget *) {
                ++presented;
                return true;
            });

        ZEM_A_C_ManagedObjectContoller c(kBundle, u"Sounds"_qs, u"SoundsData"_qs);
        c.setReadOnly(situation == u"fails"_qs);
        StubbornEditor editor;
        if (situation != u"none"_qs) {
            platform::StoreContext *context = c.managedObjectContext();
            if (situation == u"editing"_qs)
                context->objectDidBeginEditing(&editor);
            if (situation != u"clean"_qs)
                context->fetch(u"Sounds"_qs, QString())->first()->setValueForKey(u"x"_qs, u"sound"_qs);
        }
        QCOMPARE(int(c.applicationShouldTerminate()), reply);
        QCOMPARE(responder.alerts().size(), alerts);
        QCOMPARE(presented, presenterHandles ? 1 : 0);
        if (alerts == 2) {
            const platform::AlertRequest &quit = responder.alerts().last();
            QVERIFY(quit.title.isEmpty());
            QCOMPARE(quit.text, u"Could not save changes while quitting. Quit Anyway?"_qs);
            QCOMPARE(quit.buttons, (QStringList{u"Quit Anyway"_qs, u"Cancel"_qs}));
        }
        if (situation == u"saves"_qs) {
            ZEM_A_C_ManagedObjectContoller reader(kBundle, u"Sounds"_qs, u"SoundsData"_qs);
            QCOMPARE(reader.managedObjectContext()->fetch(u"Sounds"_qs, u"sound == 'x'"_qs)->size(), 1);
        }
    }

private:
    QString support() const { return platform::Application::applicationSupportFolder(); }
    QTemporaryDir m_resources;
    std::unique_ptr<ZEM_F_SettingsHostDelegate> m_host;
};

ZEM_TEST_MAIN(tst_ZEM_A_C_ManagedObjectContoller)
#include "tst_ZEM_A_C_ManagedObjectContoller.moc"
