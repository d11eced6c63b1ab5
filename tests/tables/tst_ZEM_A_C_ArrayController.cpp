#include "TableRows.h"
#include "ZemTestEnv.h"

#include "foundation/ZEM_F_ClassRegistry.h"
#include "foundation/ZEM_F_HostDelegate.h"
#include "platform/Alerts.h"
#include "platform/Application.h"
#include "platform/store/StoreContext.h"
#include "records/ZEM_A_C_ManagedObjectContoller.h"
#include "platform/store/PersistentObject.h"
#include "platform/store/Predicate.h"
#include "tables/ZEM_A_C_ArrayController.h"
#include "tables/ZEM_A_C_TableScrollView.h"
#include "tables/ZEM_A_C_TableView.h"
#include "platform/InterfaceLoader.h"

#include <QBuffer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSettings>
#include <QTableView>
#include <QTimer>
#include <QTimerEvent>

#include <memory>

using platform::SortDescriptor;

namespace {

[[maybe_unused]] const bool personRegistered =
    ZEM_F_ClassRegistry::registerFactory(QStringLiteral("Person"), [](QObject *parent) -> QObject * { return new Person(parent); });

QStringList lastNames(const QList<QObject *> &records)
{
    QStringList names;
    for (QObject *r : records)
        names.append(static_cast<Person *>(r)->lastName());
    return names;
}

/** Stands in for the table view: refuses deletes on demand and records what it is told. */
class FakeTable : public QObject
{
    Q_OBJECT
public:
    bool refuses = false;
    QList<int> shownRows;
    Q_INVOKABLE QVariant checkCanDeleteRecords() const { return refuses ? QVariant(true) : QVariant(); }
    Q_INVOKABLE void selectOnlyRowIndexes(const QList<int> &rows) { shownRows = rows; }
};

} // namespace

class tst_ZEM_A_C_ArrayController : public QObject
{
    Q_OBJECT

    std::vector<std::unique_ptr<QObject>> m_rows;

    /** Five people A..E in content order, with sort orders 1..5. */
    QList<QObject *> people()
    {
        QList<QObject *> list;
        const char *names[] = {"A", "B", "C", "D", "E"};
        for (int i = 0; i < 5; ++i) {
            m_rows.push_back(std::make_unique<Person>(QStringLiteral("first"), QString::fromLatin1(names[i]), 20 + i, i + 1));
            list.append(m_rows.back().get());
        }
        return list;
    }

private slots:
    void cleanup() { m_rows.clear(); }

    void searchThenFilterThenSort()
    {
        ZEM_A_C_ArrayController c;
        QList<QObject *> content;
        for (auto [first, last, age] : {std::tuple{"ann", "HANSEN", 30}, {"bob", "Hanna", 10}, {"cy", "Meyer", 50},
                                        {"Dee", "johansson", 40}, {"eve", "Han", 35}}) {
            m_rows.push_back(std::make_unique<Person>(QString::fromLatin1(first), QString::fromLatin1(last), age));
            content.append(m_rows.back().get());
        }
        c.setContent(content);
        c.setFilterPredicate(*platform::Predicate::parse(QStringLiteral("age >= 30")));
        c.setSortDescriptors({SortDescriptor{QStringLiteral("firstName"), false, true}});
        c.search(QStringLiteral("han"), QStringLiteral("lastName"));
        QCOMPARE(lastNames(c.arrangedObjects()), (QStringList{QStringLiteral("Han"), QStringLiteral("johansson"), QStringLiteral("HANSEN")}));
        QCOMPARE(c.contentCount(), 5);
        // An empty text or an empty key shows every record the filter keeps.
        c.search(QString(), QStringLiteral("lastName"));
        QCOMPARE(c.arrangedCount(), 4);
        c.search(QStringLiteral("han"), QString());
        QCOMPARE(c.arrangedCount(), 4);
        c.search(QStringLiteral("DEE"), QStringLiteral("firstName"));
        QCOMPARE(c.arrangedCount(), 1);
    }

    // Rows given a value by key are read again; values are not kept past a change.
    void changedRowsAreReadAgain()
    {
        ZEM_A_C_ArrayController c;
        c.setContent(people());
        c.setSortDescriptors({SortDescriptor{QStringLiteral("lastName"), true, false}});
        c.search(QStringLiteral("c"), QStringLiteral("lastName"));
        QCOMPARE(c.arrangedCount(), 1);
        static_cast<Person *>(c.content().first())->setObject(QStringLiteral("Zc"), QStringLiteral("lastName"));
        c.search(QStringLiteral("c"), QStringLiteral("lastName"));
        QCOMPARE(lastNames(c.arrangedObjects()), QStringList({QStringLiteral("C"), QStringLiteral("Zc")}));
        c.search(QString(), QStringLiteral("lastName"));
        QCOMPARE(lastNames(c.arrangedObjects()).last(), QStringLiteral("Zc"));
    }

    void searchKeystrokeReadsNoValueAgain()
    {
        ZEM_A_C_ArrayController c;
        QList<QObject *> content;
        for (auto [last, age] : {std::pair{"Annika", 3}, {"Bob", 1}, {"anne", 2}, {"Hanna", 4}}) {
            m_rows.push_back(std::make_unique<Person>(QString(), QString::fromLatin1(last), age));
            content.append(m_rows.back().get());
        }
        c.setContent(content);
        c.setSortDescriptors({SortDescriptor{QStringLiteral("lastName"), false, true}});
        c.search(QStringLiteral("an"), QStringLiteral("lastName"));
        Person::lastNameReads = 0;
        c.search(QStringLiteral("ann"), QStringLiteral("lastName"));
        c.setSortDescriptors({SortDescriptor{QStringLiteral("lastName"), true, true}});
        QCOMPARE(Person::lastNameReads, 0);
        QCOMPARE(lastNames(c.arrangedObjects()), (QStringList{QStringLiteral("anne"), QStringLiteral("Annika"), QStringLiteral("Hanna")}));
        // An edit through the model is seen by the next search and sort.
        QVERIFY(!c.setData(c.index(0, 0), QStringLiteral("Bea"))); // no columns yet
        QVERIFY(c.setColumnIdentifiers({QStringLiteral("1:lastName")}));
        QVERIFY(c.setData(c.index(0, 0), QStringLiteral("Zanna")));
        c.rearrangeObjects();
        QCOMPARE(lastNames(c.arrangedObjects()), (QStringList{QStringLiteral("Annika"), QStringLiteral("Hanna"), QStringLiteral("Zanna")}));
    }

    // The cached typed keys must order exactly as the descriptors order the values themselves.
    void sortMatchesDescriptorOrder()
    {
        auto *rng = QRandomGenerator::global();
        const QVariantList pool{QVariant(), 3, -1, 2.5, QStringLiteral("b"), QStringLiteral("B"), QStringLiteral("a"),
                                QStringLiteral("\u00e9t\u00e9"), QStringLiteral("\U0001F600"), QStringLiteral("\uFB01"), true,
                                // Texts alike in their first four units, and astral ones beside U+FFxx.
                                QStringLiteral("abcd\U0001F600"), QStringLiteral("abcd\uFF21"), QStringLiteral("abcde"),
                                QStringLiteral("abcd"), QStringLiteral("ABCDe"), QStringLiteral("\U0001F600xyz"),
                                QStringLiteral("\uFF21xyz")};
        for (int round = 0; round < 40; ++round) {
            const int mode = round % 3; // texts, numbers, mixed kinds
            QList<QObject *> content;
            for (int i = 0; i < 60; ++i) {
                auto p = std::make_unique<Person>(QString(), QString(), int(rng->bounded(3)));
                QVariant v = pool.at(rng->bounded(int(pool.size())));
                if (mode == 0 && v.isValid() && v.typeId() != QMetaType::QString)
                    v = QStringLiteral("x");
                if (mode == 1 && v.typeId() == QMetaType::QString)
                    v = int(rng->bounded(5)) - 2;
                p->setBirthday(v);
                content.append(p.get());
                m_rows.push_back(std::move(p));
            }
            // One key alone takes another path than several.
            QList<SortDescriptor> descriptors{{QStringLiteral("birthday"), bool(round % 4 < 2), round % 5 < 3}};
            if (round % 7 < 4)
                descriptors.append({QStringLiteral("age"), false, false});
            ZEM_A_C_ArrayController c;
            c.setContent(content);
            c.setSortDescriptors(descriptors);
            const QList<QObject *> arranged = c.arrangedObjects();
            for (int i = 1; i < arranged.size(); ++i) {
                auto *a = static_cast<Person *>(arranged[i - 1]), *b = static_cast<Person *>(arranged[i]);
                const int order = SortDescriptor::compare(
                    descriptors, [a](const QString &k) { return a->objectForKey(k); },
                    [b](const QString &k) { return b->objectForKey(k); });
                QVERIFY2(order < 0 || (order == 0 && content.indexOf(a) < content.indexOf(b)),
                         qPrintable(QStringLiteral("round %1 row %2").arg(round).arg(i)));
            }
            m_rows.clear();
        }
    }

    void countersFollowSelection()
    {
        ZEM_A_C_ArrayController c;
        c.setContent(people());
        QVERIFY(c.countIsZero() && !c.hasSelection() && c.hasArrangedSelection());
        QVERIFY(!c.firstObject() && !c.lastObject());
        c.setSelectionIndexes({3, 1});
        QCOMPARE(c.count(), 2);
        QCOMPARE(c.arrangedCount(), 5);
        QVERIFY(c.countIsMoreThanOne() && c.countIsNotZero() && !c.countIsOne());
        QCOMPARE(c.firstObject(), c.objectAtRow(1));
        QCOMPARE(c.lastObject(), c.objectAtRow(3));
        // A filter that hides one selected record drops it from the selection.
        c.setFilterPredicate(*platform::Predicate::parse(QStringLiteral("age >= 22")));
        QCOMPARE(c.arrangedCount(), 3);
        QVERIFY(c.countIsOne());
        QCOMPARE(c.selectionIndexes(), QList<int>{1});
        QVERIFY(!c.selectObjectRow(3));
        QVERIFY(c.selectObject(c.objectAtRow(0)));
    }

    // Answer 0 is "Cancel", the default button; 1 is "Delete".
    void deleteAsksFirst()
    {
        ZEM_A_C_ArrayController c;
        c.setContent(people());
        platform::RecordingAlertResponder responder;
        c.selectObjectRow(0);
        responder.queueAlertAnswer(0);
        c.remove();
        QCOMPARE(responder.alerts().size(), 1);
        const platform::AlertRequest cancelled = responder.alerts().first();
        QCOMPARE(cancelled.title, QStringLiteral("Delete Alert:"));
        QCOMPARE(cancelled.text, QStringLiteral("Warning you are about to one record item!"));
        QCOMPARE(cancelled.buttons, (QStringList{QStringLiteral("Cancel"), QStringLiteral("Delete")}));
        QCOMPARE(c.contentCount(), 5);
        QVERIFY(!c.hasChanged());

        c.setSelectionIndexes({1, 2});
        responder.queueAlertAnswer(1);
        c.remove();
        QCOMPARE(responder.alerts().size(), 2);
        QCOMPARE(responder.alerts().last().text, QStringLiteral("Warning you are about to delete multiple record items?"));
        QCOMPARE(lastNames(c.arrangedObjects()), (QStringList{QStringLiteral("A"), QStringLiteral("D"), QStringLiteral("E")}));
        QVERIFY(c.hasChanged());
    }

    void deleteWithoutWarningWhenSettingOn()
    {
        QSettings settings(ZemTestEnv::current()->configHome() + QStringLiteral("/delete.ini"), QSettings::IniFormat);
        settings.setValue(QStringLiteral("DisbleDeleteMutipleRecordsWarning"), true);
        ZEM_F_SettingsHostDelegate host(QStringLiteral("Test"), {}, &settings);
        ZEM_F_Host::setDelegate(&host);
        ZEM_A_C_ArrayController c;
        c.setContent(people());
        platform::RecordingAlertResponder responder;
        c.setSelectionIndexes({0, 4});
        c.remove();
        ZEM_F_Host::setDelegate(nullptr);
        QVERIFY(responder.alerts().isEmpty());
        QCOMPARE(c.contentCount(), 3);
        QVERIFY(c.hasChanged());
    }

    // Either table may forbid the delete; the refusal needs no answer and deletes nothing.
    void deleteRefusedByEitherTable()
    {
        for (bool shadow : {false, true}) {
            ZEM_A_C_ArrayController c;
            FakeTable table, other;
            c.setTable(&table);
            c.setShadowTable(&other);
            (shadow ? other : table).refuses = true;
            c.setContent(people());
            c.selectObjectRow(0);
            platform::RecordingAlertResponder responder;
            responder.queueAlertAnswer(0);
            c.remove();
            QCOMPARE(responder.alerts().size(), 1);
            QCOMPARE(responder.alerts().first().text, QStringLiteral("The record you have selected, can not be deleted!"));
            QCOMPARE(responder.alerts().first().buttons, QStringList{QStringLiteral("Ok")});
            QCOMPARE(c.contentCount(), 5);
            QVERIFY(!c.hasChanged());
            m_rows.clear();
        }
    }

    void filterLeavingOneSelectsIt()
    {
        ZEM_A_C_ArrayController c;
        FakeTable table;
        c.setTable(&table);
        c.setContent(people());
        auto *timer = c.findChild<QTimer *>(QStringLiteral("selectIfOneTimer"));
        QVERIFY(timer);
        const auto fire = [timer] {
            QVERIFY(timer->isActive());
            QCOMPARE(timer->interval(), 500);
            QTimerEvent event(timer->timerId());
            QCoreApplication::sendEvent(timer, &event);
        };
        c.setFilterPredicate(*platform::Predicate::parse(QStringLiteral("age >= 23")));
        fire();
        QVERIFY(c.countIsZero());
        QVERIFY(table.shownRows.isEmpty());
        c.setFilterPredicate(*platform::Predicate::parse(QStringLiteral("age == 22")));
        fire();
        QCOMPARE(lastNames(c.selectedObjects()), QStringList{QStringLiteral("C")});
        QCOMPARE(table.shownRows, QList<int>{0});
    }

    void fetchKeepsAnEmptySelectionEmpty()
    {
        ZEM_A_C_ArrayController c;
        c.setAvoidsEmptySelection(true);
        c.setContent(people());
        QCOMPARE(c.selectionIndexes(), QList<int>{0});
        c.setSelectionIndexes({});
        c.fetch();
        QVERIFY(c.countIsZero());
        QVERIFY(!c.avoidsEmptySelection());
        auto *timer = c.findChild<QTimer *>(QStringLiteral("restoreAvoidsEmptySelectionTimer"));
        QVERIFY(timer && timer->isActive());
        QCOMPARE(timer->interval(), 250);
        QTimerEvent event(timer->timerId());
        QCoreApplication::sendEvent(timer, &event);
        QVERIFY(c.avoidsEmptySelection());
        QVERIFY(c.countIsZero());
    }

    void insertionPoint_data()
    {
        QTest::addColumn<int>("preference");
        QTest::addColumn<int>("selected");
        QTest::addColumn<int>("expected");
        QTest::newRow("after selection") << 1 << 2 << 3;
        QTest::newRow("at selection") << 0 << 2 << 2;
        QTest::newRow("top") << 0 << -1 << 0;
        QTest::newRow("end") << 1 << -1 << 5;
    }

    void insertionPoint()
    {
        QFETCH(int, preference);
        QFETCH(int, selected);
        QFETCH(int, expected);
        QSettings settings(ZemTestEnv::current()->configHome() + QStringLiteral("/rows.ini"), QSettings::IniFormat);
        settings.setValue(QStringLiteral("RowInsertionPoint"), preference);
        ZEM_F_SettingsHostDelegate host(QStringLiteral("Test"), {}, &settings);
        ZEM_F_Host::setDelegate(&host);
        ZEM_A_C_ArrayController c;
        c.setObjectClassName(QStringLiteral("Person"));
        c.setContent(people());
        if (selected >= 0)
            c.selectObjectRow(selected);
        QCOMPARE(c.tableRowInsertionPoint(), expected);
        QCOMPARE(c.tableRowInsertionPointEnd(), selected >= 0 ? selected + 1 : 5);
        QObject *added = c.addNewRecordAtRow(c.tableRowInsertionPoint());
        QVERIFY(added);
        QCOMPARE(c.objectAtRow(expected), added);
        QCOMPARE(c.content().indexOf(added), expected);
        QCOMPARE(c.selectedObjects(), QList<QObject *>{added});
        QVERIFY(c.hasChanges());
        // Behind a search the content position of the selection may lie past the rows shown.
        c.search(QStringLiteral("e"), QStringLiteral("lastName"));
        c.selectObjectRow(0);
        QCOMPARE(c.tableRowInsertionPointEnd(), 1);
        ZEM_F_Host::setDelegate(nullptr);
    }

    void addCounterStartsAtOne()
    {
        QCOMPARE(ZEM_A_C_ArrayController::addCount(), 1);
        QCOMPARE(ZEM_A_C_ArrayController::bumpAddCount(), 1);
        QCOMPARE(ZEM_A_C_ArrayController::addCount(), 2);
    }

    void reorderRenumbers()
    {
        ZEM_A_C_ArrayController c;
        c.setContent(people());
        c.setDefaultSortDescriptors(QStringLiteral("sortOrder"));
        c.setDefaultSortDescriptors(QStringLiteral("lastName")); // kept: descriptors are set
        const QList<QObject *> moved = c.resetSortOrder({0}, 3);
        QCOMPARE(lastNames(moved), QStringList{QStringLiteral("A")});
        QCOMPARE(lastNames(c.arrangedObjects()), (QStringList{QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("A"),
                                                              QStringLiteral("D"), QStringLiteral("E")}));
        QCOMPARE(static_cast<Person *>(c.objectAtRow(4))->sortOrder(), 6);
        QVERIFY(c.hasChanged());
    }

    void reorderRefusedWithoutSortOrder()
    {
        ZEM_A_C_ArrayController c;
        Note a(QStringLiteral("a")), b(QStringLiteral("b"));
        c.setContent({&a, &b});
        QVERIFY(c.resetSortOrder({0}, 1).isEmpty());
        QVERIFY(c.resetSortOrder({7}, 1).isEmpty());
        QVERIFY(!c.hasChanged());
        // A persistent record answers for the keys it holds.
        platform::PersistentObject r, s;
        r.setValueForKey(1, QStringLiteral("sortOrder"));
        s.setValueForKey(2, QStringLiteral("sortOrder"));
        c.setContent({&r, &s});
        QCOMPARE(c.resetSortOrder({1}, 0), QList<QObject *>{&s});
        QCOMPARE(r.valueForKey(QStringLiteral("sortOrder")), QVariant(2));
    }

    void emptyContentForEveryCommand()
    {
        ZEM_A_C_ArrayController c;
        c.setContent({});
        c.search(QStringLiteral("x"), QStringLiteral("lastName"));
        c.setSortDescriptors({SortDescriptor{QStringLiteral("lastName")}});
        QVERIFY(!c.selectObjectRow(0));
        QVERIFY(!c.selectObject(nullptr));
        QVERIFY(!c.objectAtRow(0) && !c.firstObject() && c.objectAtRowArray(0).isEmpty());
        QCOMPARE(c.tableRowInsertionPoint(), 0);
        QVERIFY(!c.addRecordsToArrayController({}, 0));
        QVERIFY(!c.addNewRecordAtRow(0)); // no class to make records of
        QVERIFY(c.resetSortOrder({0}, 0).isEmpty());
        c.superRemove();
        c.removeAllObjects();
        c.removeObject(nullptr);
        c.add();
        c.fetch();
        QCOMPARE(c.arrangedCount(), 0);
        QCOMPARE(c.rowCount(), 0);
    }

    void columnIdentifiersNeedAKey()
    {
        ZEM_A_C_ArrayController c;
        QVERIFY(c.setColumnIdentifiers({QStringLiteral("01:lastName"), QStringLiteral("2:a:age")}));
        QVERIFY(!c.setColumnIdentifiers({QStringLiteral("lastName")}));
        QVERIFY(!c.setColumnIdentifiers({QStringLiteral("03:firstName"), QStringLiteral("04:")}));
        QCOMPARE(c.columnCount(), 2);
        QCOMPARE(c.columnKey(1), QStringLiteral("age"));
    }

    void storeRecords()
    {
        QTemporaryDir resources;
        QFile model(resources.filePath(QStringLiteral("Sounds.json")));
        QVERIFY(model.open(QIODevice::WriteOnly));
        model.write(R"({"entities": [{"name": "Sounds", "attributes": [{"name": "sound", "type": "string"}]}]})");
        model.close();
        platform::Application::registerBundle(QStringLiteral("org.example.Tables"), resources.path());
        ZEM_A_C_ManagedObjectContoller store(QStringLiteral("org.example.Tables"), QStringLiteral("Sounds"), QStringLiteral("Data"));
        store.setReadOnly(false);
        platform::StoreContext *context = store.managedObjectContext();
        context->insertNewObject(QStringLiteral("Sounds"))->setValueForKey(QStringLiteral("Bell"), QStringLiteral("sound"));
        QVERIFY(context->save());

        ZEM_A_C_ArrayController c;
        QPushButton save;
        c.setManagedObject(&store);
        c.setEntityName(QStringLiteral("Sounds"));
        c.setSaveButton(&save);
        c.awakeFromNib();
        QCOMPARE(c.arrangedCount(), 1);
        QVERIFY(!save.isEnabled());
        c.add();
        QCOMPARE(c.arrangedCount(), 2);
        QCOMPARE(context->insertedObjects().size(), 1);
        QVERIFY(save.isEnabled());
        c.removeObject(c.objectAtRow(0));
        QVERIFY(c.resetSortOrder({0}, 0).isEmpty()); // the entity has no sortOrder
        QVERIFY(c.hasChanges());
        QVERIFY(context->save());
        QVERIFY(!save.isEnabled());
        c.fetch();
        QCOMPARE(c.arrangedCount(), 1);
        auto *kept = qobject_cast<platform::PersistentObject *>(c.objectAtRow(0));
        QVERIFY(kept && kept->valueForKey(QStringLiteral("sound")).toString().isEmpty());

        // A value changed in the context, in the same pass, is what the next search reads.
        c.search(QStringLiteral("gong"), QStringLiteral("sound"));
        QCOMPARE(c.arrangedCount(), 0);
        kept->setValueForKey(QStringLiteral("Gong"), QStringLiteral("sound"));
        c.search(QStringLiteral("gong"), QStringLiteral("sound"));
        QCOMPARE(c.arrangedCount(), 1);
    }

    void tableViewShowsArrangedCells()
    {
        ZEM_A_C_ArrayController c;
        c.setContent(people());
        QVERIFY(c.setColumnIdentifiers({QStringLiteral("1:lastName"), QStringLiteral("2:age")}));
        c.setSortDescriptors({SortDescriptor{QStringLiteral("age"), false, false}});
        QTableView view;
        view.setModel(&c);
        QVERIFY(zemtest::showExposed(view));
        QCOMPARE(view.model()->index(0, 0).data().toString(), QStringLiteral("E"));
        QCOMPARE(view.model()->index(4, 1).data().toInt(), 20);
        c.removeObject(c.objectAtRow(0));
        QCOMPARE(view.model()->index(0, 0).data().toString(), QStringLiteral("D"));
        c.search(QStringLiteral("c"), QStringLiteral("lastName"));
        QCOMPARE(view.model()->rowCount(), 1);
        QCOMPARE(view.model()->index(0, 1).data().toInt(), 22);
        view.model()->setData(view.model()->index(0, 1), 99);
        QCOMPARE(static_cast<Person *>(c.objectAtRow(0))->age(), 99);
    }

    // A table window from one interface file: the controller is an object of the file, its
    // outlets name the file's widgets and its settings are the file's.
    void builtFromAnInterfaceFile()
    {
        QBuffer file;
        file.setData(R"(<ui version="4.0"><widget class="QWidget" name="window"><layout class="QVBoxLayout" name="box">
            <item><widget class="ZEM_A_C_TableScrollView" name="scroll">
              <property name="documentView"><cstring>table</cstring></property>
              <property name="verticalAccessory"><cstring>addButton</cstring></property>
            </widget></item>
            <item><widget class="ZEM_A_C_TableView" name="table"/></item>
            <item><widget class="QPushButton" name="addButton"/></item>
            <item><widget class="QPushButton" name="deleteButton"/></item>
            <item><widget class="ZEM_A_C_TextFieldNoResponder" name="countField"/></item>
            <item><widget class="ZEM_A_C_ArrayController" name="people">
              <property name="columnIdentifiers"><stringlist><string>1:lastName</string><string>2:age</string></stringlist></property>
              <property name="searchKey"><string>lastName</string></property>
              <property name="table"><cstring>table</cstring></property>
              <property name="deleteButton"><cstring>deleteButton</cstring></property>
              <property name="countF"><cstring>countField</cstring></property>
            </widget></item></layout></widget></ui>)");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QString error;
        std::unique_ptr<QWidget> window(platform::InterfaceLoader::load(&file, nullptr, &error));
        QVERIFY2(window, qPrintable(error));
        auto *c = window->findChild<ZEM_A_C_ArrayController *>(QStringLiteral("people"));
        QVERIFY(c);
        auto *table = window->findChild<ZEM_A_C_TableView *>(QStringLiteral("table"));
        QCOMPARE(c->table(), table);
        // The scroll view shows the table, and start-up put the accessory beside its scroller.
        auto *scroll = window->findChild<ZEM_A_C_TableScrollView *>(QStringLiteral("scroll"));
        QVERIFY(scroll);
        QCOMPARE(scroll->documentView(), table);
        QCOMPARE(window->findChild<QWidget *>(QStringLiteral("addButton"))->parentWidget(), scroll);
        QCOMPARE(c->columnKey(1), QStringLiteral("age"));
        c->setContent(people());
        c->search(QStringLiteral("c"), c->searchKey());   // the file's search key
        QCOMPARE(c->arrangedCount(), 1);
        c->updateCountField();
        QCOMPARE(c->countF()->text(), QStringLiteral("1"));
        c->checkButtons();
        QVERIFY(!c->deleteButton()->isEnabled());

        // Titles a column sets stay until the columns change.
        QVERIFY(c->setHeaderData(1, Qt::Horizontal, QStringLiteral("Age")));
        QCOMPARE(c->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Age"));
        QCOMPARE(c->headerData(0, Qt::Horizontal).toString(), QStringLiteral("lastName"));
        QVERIFY(!c->setHeaderData(2, Qt::Horizontal, QStringLiteral("none")));
        QVERIFY(c->setColumnIdentifiers({QStringLiteral("1:age")}));
        QCOMPARE(c->headerData(0, Qt::Horizontal).toString(), QStringLiteral("age"));
    }
};

ZEM_TEST_MAIN(tst_ZEM_A_C_ArrayController)
#include "tst_ZEM_A_C_ArrayController.moc"
