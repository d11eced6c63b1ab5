// Table columns: header titles and tool tips that follow the language, made-up header tool
// tips, the reset, and columns whose view has no such section.
#include "LocalizedControlsFrench.h"

#include "controls/ZEM_A_C_NSTableColumn.h"

#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTableView>

class tst_ZEM_A_C_NSTableColumn : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(french::setUp()); }
    void init() { QVERIFY(french::use("English")); }

    void headerFollowsTheLanguage_data()
    {
        QTest::addColumn<QString>("tip");
        QTest::addColumn<bool>("hasToolTip");
        QTest::addColumn<bool>("madeUp");
        QTest::addColumn<QString>("englishTip");
        QTest::addColumn<QString>("frenchTip");
        QTest::newRow("own tool tip") << "Keep a copy" << true << false << "Keep a copy" << "Garder une copie";
        QTest::newRow("made up") << "" << false << true << "Name Column" << "Nom Colonne";
        QTest::newRow("tool tip equal to the title") << "Name" << false << false << "Name" << "Name";
    }

    void headerFollowsTheLanguage()
    {
        QFETCH(QString, tip);
        QFETCH(bool, hasToolTip);
        QFETCH(bool, madeUp);
        QFETCH(QString, englishTip);
        QFETCH(QString, frenchTip);

        QStandardItemModel model(2, 3);
        QTableView view;
        view.setModel(&model);
        ZEM_A_C_NSTableColumn column(&view, 1);
        column.setTitle(u"Name"_qs);
        column.setToolTip(tip);
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), u"Name"_qs);
        column.awakeFromNib();
        QVERIFY(column.hasTitle());
        QCOMPARE(column.titleKey(), u"NL:Name"_qs);
        QCOMPARE(column.hasToolTip(), hasToolTip);
        QCOMPARE(column.hasMadeUpToolTip(), madeUp);
        QCOMPARE(column.toolTip(), englishTip);

        // The view is told its header changed, so it is drawn again.
        QSignalSpy changed(&model, &QAbstractItemModel::headerDataChanged);
        QVERIFY(french::use("French"));
        QVERIFY(!changed.isEmpty());
        QCOMPARE(changed.first().at(1).toInt(), 1);
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), u"Nom"_qs);
        QCOMPARE(model.headerData(1, Qt::Horizontal, Qt::ToolTipRole).toString(), frenchTip);
        if (hasToolTip || madeUp)
            QCOMPARE(column.currentToolTipKey(), frenchTip);
        // Other sections are left alone.
        QCOMPARE(model.headerData(0, Qt::Horizontal).toInt(), 1);

        QVERIFY(french::use("English"));
        QCOMPARE(column.title(), u"Name"_qs);
        QCOMPARE(column.toolTip(), englishTip);

        column.setTitle(u"x"_qs);
        column.languageCall(french::reset());
        QCOMPARE(column.title(), u"Name"_qs);
        QCOMPARE(column.toolTip(), englishTip);
    }

    void columnWithoutSection()
    {
        // Past the model's columns, or without a view, the column keeps its texts itself.
        QStandardItemModel model(1, 1);
        QTableView view;
        view.setModel(&model);
        ZEM_A_C_NSTableColumn column(&view, 4);
        column.setTitle(u"Save"_qs);
        column.awakeFromNib();
        QCOMPARE(column.toolTip(), u"Save Column"_qs);
        QVERIFY(french::use("French"));
        QCOMPARE(column.title(), u"Enregistrer"_qs);
        QCOMPARE(column.toolTip(), u"Enregistrer Colonne"_qs);

        ZEM_A_C_NSTableColumn loose;
        loose.setTitle(u"Print"_qs);
        loose.awakeFromNib();
        QCOMPARE(loose.title(), u"Imprimer"_qs);
        {
            QTableView gone;
            loose.setTableView(&gone);
        }
        QCOMPARE(loose.tableView(), nullptr);
        QVERIFY(french::use("English"));
        QCOMPARE(loose.title(), u"Print"_qs);
    }
};

ZEM_TEST_MAIN(tst_ZEM_A_C_NSTableColumn)
#include "tst_ZEM_A_C_NSTableColumn.moc"
