// The development table: its abilities, menu and record commands exist only on a
// development machine.
#include "TableRows.h"
#include "ZemTestEnv.h"

#include "foundation/ZEM_F_ClassRegistry.h"
#include "tables/ZEM_A_C_ArrayController.h"
#include "tables/ZEM_A_C_TableViewDisplay.h"

#include <QAction>
#include <QMenu>

namespace {
[[maybe_unused]] const bool registered = ZEM_F_ClassRegistry::registerFactory(
    QStringLiteral("Person"), [](QObject *parent) -> QObject * { return new Person(parent); });
}

class tst_ZEM_A_C_TableViewDisplay : public QObject
{
    Q_OBJECT

    // A table over three people with the second selected, started up on a machine that is
    // (or is not) a development machine, its deferred menu built.
    struct Fixture
    {
        ZEM_A_C_ArrayController controller;
        ZEM_A_C_TableViewDisplay table;
        explicit Fixture(bool development, bool hasMenu = true)
        {
            qputenv("ZEM_DEBUG_MACHINE", development ? "1" : "0");
            controller.setObjectClassName(QStringLiteral("Person"));
            controller.setContent({new Person(QStringLiteral("a"), QStringLiteral("A"), 1, 1),
                                   new Person(QStringLiteral("b"), QStringLiteral("B"), 2, 2),
                                   new Person(QStringLiteral("c"), QStringLiteral("C"), 3, 3)});
            for (QObject *record : controller.content())
                record->setParent(&controller);
            QVERIFY(controller.setColumnIdentifiers({QStringLiteral("1:lastName")}));
            table.setArrayController(&controller);
            controller.setSelectionIndexes({1});
            table.awakeFromNib();
            table.setHasMenu(hasMenu);
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
        }
        ~Fixture() { qunsetenv("ZEM_DEBUG_MACHINE"); }
        QStringList menu() const
        {
            QStringList items;
            if (table.contextMenu())
                for (QAction *action : table.contextMenu()->actions())
                    items.append(action->text() + u'|' + action->property("selector").toString() + u'|'
                                 + QString::number(action->property("tag").toInt()));
            return items;
        }
    };

private slots:
    void elsewhereNothing()
    {
        Fixture f(false);
        QCOMPARE(f.table.tableCanSort(), false);
        QCOMPARE(f.table.tableCanReorder(), false);
        QCOMPARE(f.table.tableChangeHeaderSort(), false);
        QCOMPARE(f.table.tableCanDelete(), false);
        QCOMPARE(f.table.exportCSV(), false);
        QVERIFY(f.menu().isEmpty());
        QCOMPARE(f.controller.selectionIndexes(), QList<int>());
        f.table.newAction();
        f.table.insertAction();
        QCOMPARE(f.controller.arrangedCount(), 3);
    }

    void onADevelopmentMachine()
    {
        Fixture f(true);
        QVERIFY(f.table.tableCanSort() && f.table.tableCanReorder() && f.table.tableChangeHeaderSort()
                && f.table.tableCanDelete() && f.table.exportCSV());
        // Start-up deselected the row selected before it.
        QCOMPARE(f.controller.selectionIndexes(), QList<int>());
        QCOMPARE(f.menu(), QStringList({u"Add New Record|newAction:|1"_qs, u"Insert New Record|insertAction:|2"_qs,
                                        u"Delete Records|deleteAction:|3"_qs, u"Save Changes|saveChanges:|4"_qs,
                                        u"Fetch Records|fetchRecords:|4"_qs}));
        f.table.newAction();
        QCOMPARE(f.controller.arrangedCount(), 4);
        f.controller.setSelectionIndexes({1});
        f.table.insertAction();
        QCOMPARE(f.controller.arrangedCount(), 5);
        QCOMPARE(f.controller.selectionIndexes(), QList<int>{1});
        QVERIFY(static_cast<Person *>(f.controller.objectAtRow(1))->lastName().isEmpty());
        QCOMPARE(static_cast<Person *>(f.controller.objectAtRow(2))->lastName(), QStringLiteral("B"));

        Fixture withoutMenu(true, false);
        withoutMenu.table.resetMenu();
        QVERIFY(withoutMenu.menu().isEmpty());
    }
};

ZEM_TEST_MAIN(tst_ZEM_A_C_TableViewDisplay)
#include "tst_ZEM_A_C_TableViewDisplay.moc"
