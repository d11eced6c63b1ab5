// Localized windows, dialogs and tab pages: titles and labels that follow the language,
// windows whose title is ignored, and tab labels kept with the tab widget.
#include "ZemTestEnv.h"
#include "LocalizedControlsFrench.h"

#include "controls/ZEM_A_C_NSPanel.h"
#include "controls/ZEM_A_C_NSTabViewItem.h"
#include "controls/ZEM_A_C_NSWindow.h"
#include "foundation/ZEM_F_E_Language.h"

#include <QTabWidget>

class tst_ZEM_A_C_NSWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(zemFrenchLanguage({
            {"NL:Contacts", "Personnes"},
            {"NL:Options", "Réglages"},
            {"NL:Notes", "Remarques"},
        }));
    }

    void init() { QVERIFY(french::use("English")); }

    void windowTitles_data()
    {
        QTest::addColumn<bool>("panel");
        QTest::newRow("window") << false;
        QTest::newRow("panel") << true;
    }

    void windowTitles()
    {
        QFETCH(bool, panel);
        const auto check = [](auto &window) {
            window.setWindowTitle(QStringLiteral("Contacts"));
            window.awakeFromNib();
            QVERIFY(window.hasTitle());
            QCOMPARE(window.titleKey(), u"NL:Contacts"_qs);
            QCOMPARE(french::roundTrip([&window] { return window.windowTitle(); }), u"Contacts / Personnes / Contacts"_qs);

            // A new title is checked again and followed from then on.
            window.setNewTitle(QStringLiteral("Options"));
            QCOMPARE(window.titleKey(), u"NL:Options"_qs);
            QVERIFY(french::use("French"));
            QCOMPARE(window.windowTitle(), u"Réglages"_qs);
        };
        if (panel) {
            ZEM_A_C_NSPanel dialog;
            check(dialog);
        } else {
            ZEM_A_C_NSWindow window;
            check(window);
        }
    }

    void ignoredTitleIsNeverTouched()
    {
        ZEM_A_C_NSWindow window;
        window.setIgnoreTitle(true);
        window.setWindowTitle(QStringLiteral("Contacts"));
        window.awakeFromNib();
        QVERIFY(!window.hasTitle());
        QCOMPARE(window.titleKey(), QString());

        ZEM_A_C_NSPanel panel;
        panel.setWindowTitle(QStringLiteral("Options"));
        panel.awakeFromNib();
        QVERIFY(panel.hasTitle());
        // Ignored only after the load: still left alone from then on.
        panel.setProperty("ignoreTitle", true);

        QVERIFY(french::use("French"));
        QCOMPARE(window.windowTitle(), u"Contacts"_qs);
        QCOMPARE(panel.windowTitle(), u"Options"_qs);

        // Resets too leave the title as it is shown.
        window.setWindowTitle(QStringLiteral("Shown now"));
        panel.setWindowTitle(QStringLiteral("Shown now"));
        QVERIFY(french::use("English"));
        QCOMPARE(window.windowTitle(), u"Shown now"_qs);
        QCOMPARE(panel.windowTitle(), u"Shown now"_qs);

        window.setNewTitle(QStringLiteral("Notes"));
        QVERIFY(!window.hasTitle());
        QVERIFY(french::use("French"));
        QCOMPARE(window.windowTitle(), u"Notes"_qs);
    }

    void tabLabelFollowsTheLanguage()
    {
        QTabWidget tabs;
        auto *notes = new ZEM_A_C_NSTabViewItem;
        auto *options = new ZEM_A_C_NSTabViewItem;
        tabs.addTab(notes, QStringLiteral("Notes"));
        tabs.addTab(options, QStringLiteral("Options"));
        QCOMPARE(notes->tabWidget(), &tabs);
        QCOMPARE(options->label(), u"Options"_qs);
        notes->awakeFromNib();
        options->awakeFromNib();
        QCOMPARE(notes->titleKey(), u"NL:Notes"_qs);
        QVERIFY(options->hasTitle());

        const auto texts = [&tabs] { return QStringList{tabs.tabText(0), tabs.tabText(1)}; };
        QCOMPARE(french::roundTrip(texts), u"Notes|Options / Remarques|Réglages / Notes|Options"_qs);
        QCOMPARE(notes->label(), u"Notes"_qs);

        // The tab widget may rename the tab itself; the page reads its label from there.
        tabs.setTabText(1, QStringLiteral("Elsewhere"));
        QCOMPARE(options->label(), u"Elsewhere"_qs);

        // A page moved in front keeps its own label.
        tabs.removeTab(1);
        tabs.insertTab(0, options, QStringLiteral("Options"));
        QVERIFY(french::use("French"));
        QCOMPARE(tabs.tabText(0), u"Réglages"_qs);
        QCOMPARE(tabs.tabText(1), u"Remarques"_qs);
    }

    void tabLabelGivenBeforeTheTabWidget()
    {
        auto *page = new ZEM_A_C_NSTabViewItem(QStringLiteral("Notes"));
        QCOMPARE(page->tabWidget(), nullptr);
        QCOMPARE(page->label(), u"Notes"_qs);
        QTabWidget tabs;
        tabs.addTab(page, QString());
        QTRY_COMPARE(tabs.tabText(0), u"Notes"_qs);
        page->awakeFromNib();
        QCOMPARE(french::roundTrip([&tabs] { return tabs.tabText(0); }), u"Notes / Remarques / Notes"_qs);

        // Outside a tab widget the page keeps the label itself.
        ZEM_A_C_NSTabViewItem loose(QStringLiteral("Options"));
        loose.awakeFromNib();
        QCOMPARE(french::roundTrip([&loose] { return loose.label(); }), u"Options / Réglages / Options"_qs);
    }

};

ZEM_TEST_MAIN(tst_ZEM_A_C_NSWindow)
#include "tst_ZEM_A_C_NSWindow.moc"
