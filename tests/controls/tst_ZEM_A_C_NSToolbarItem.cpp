// Toolbar items: label, palette label and tool tip that follow the language once the host
// sets them up, the made-up tool tip, the reset, and the setters.
#include "LocalizedControlsFrench.h"

#include "controls/ZEM_A_C_NSToolbarItem.h"

class tst_ZEM_A_C_NSToolbarItem : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(french::setUp()); }
    void init() { QVERIFY(french::use("English")); }

    void textsFollowTheLanguage_data()
    {
        QTest::addColumn<QString>("palette");
        QTest::addColumn<QString>("tip");
        QTest::addColumn<QString>("frenchPalette");
        QTest::addColumn<QString>("englishTip");
        QTest::addColumn<QString>("frenchTip");
        QTest::newRow("own palette label and tool tip")
            << "Print all" << "Keep a copy" << "Tout imprimer" << "Keep a copy" << "Garder une copie";
        QTest::newRow("palette label follows the label, made-up tool tip")
            << "" << "" << "Imprimer" << "Print Tool Bar Item" << "Imprimer Outil";
    }

    void textsFollowTheLanguage()
    {
        QFETCH(QString, palette);
        QFETCH(QString, tip);
        QFETCH(QString, frenchPalette);
        QFETCH(QString, englishTip);
        QFETCH(QString, frenchTip);

        ZEM_A_C_NSToolbarItem item(u"Print"_qs);
        item.setPaletteLabel(palette);
        item.setToolTip(tip);
        item.setUpLanguageSupport();
        QVERIFY(item.hasTitle());
        QCOMPARE(item.hasPalette(), !palette.isEmpty());
        QCOMPARE(item.hasToolTip(), !tip.isEmpty());
        QCOMPARE(item.hasMadeUpToolTip(), tip.isEmpty());
        QCOMPARE(item.toolTip(), englishTip);

        QVERIFY(french::use("French"));
        QCOMPARE(item.label(), u"Imprimer"_qs);
        QCOMPARE(item.text(), u"Imprimer"_qs);
        QCOMPARE(item.paletteLabel(), frenchPalette);
        QCOMPARE(item.toolTip(), frenchTip);
        QCOMPARE(item.QAction::toolTip(), frenchTip);

        QVERIFY(french::use("English"));
        QCOMPARE(item.label(), u"Print"_qs);
        QCOMPARE(item.toolTip(), englishTip);

        item.setLabel(u"x"_qs);
        item.setPaletteLabel(u"y"_qs);
        item.languageCall(french::reset());
        QCOMPARE(item.label(), u"Print"_qs);
        QCOMPARE(item.paletteLabel(), palette.isEmpty() ? u"y"_qs : palette);
        QCOMPARE(item.toolTip(), englishTip);
    }

    void notSetUpStaysAsIs()
    {
        ZEM_A_C_NSToolbarItem item(u"Save"_qs);
        QVERIFY(french::use("French"));
        QCOMPARE(item.label(), u"Save"_qs);
        QCOMPARE(item.toolTip(), QString());
        QVERIFY(item.titleKey().isEmpty());
    }

    void setters()
    {
        ZEM_A_C_NSToolbarItem item(u"Save"_qs);
        item.setUpLanguageSupport();
        QVERIFY(item.hasMadeUpToolTip());

        item.setNewLabel(u"Delete"_qs);
        QCOMPARE(item.titleKey(), u"NL:Delete"_qs);
        item.setNewLabel(u"-"_qs);
        QVERIFY(!item.hasTitle());
        item.setNewLabel(u"Delete"_qs);

        item.setNewPaletteLabel(u"Print all"_qs);
        QVERIFY(item.hasPalette());
        QCOMPARE(item.paletteKey(), u"NP:Print all"_qs);
        item.setNewPaletteLabel(QString());
        QCOMPARE(item.paletteKey(), u"NP:Print all"_qs);
        // A palette key without a row of its own shows its text, as label keys do.
        QCOMPARE(item.paletteLabel(), u"Print all"_qs);

        // A tool tip equal to the label, or empty, is not set; the check runs again anyway.
        item.setToolTip(QString());
        item.setNewToolTip(u"Delete"_qs);
        QVERIFY(!item.hasToolTip());
        QCOMPARE(item.toolTip(), u"Delete Tool Bar Item"_qs);
        item.setNewToolTip(QString());
        QCOMPARE(item.toolTip(), u"Delete Tool Bar Item"_qs);
        item.setNewToolTip(u"Remove the record"_qs);
        QVERIFY(item.hasToolTip());
        QCOMPARE(item.toolTipKey(), u"NT:Remove the record"_qs);

        QVERIFY(french::use("French"));
        QCOMPARE(item.label(), u"Supprimer"_qs);
        QCOMPARE(item.paletteLabel(), u"Tout imprimer"_qs);
        QCOMPARE(item.toolTip(), u"Supprimer la fiche"_qs);
    }
};

ZEM_TEST_MAIN(tst_ZEM_A_C_NSToolbarItem)
#include "tst_ZEM_A_C_NSToolbarItem.moc"
