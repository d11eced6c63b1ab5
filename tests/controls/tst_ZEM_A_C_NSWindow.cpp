// Localized windows, dialogs and tab pages: titles and labels that follow the language,
// windows whose title is ignored, and tab labels kept with the tab widget.
#include "ZemTestEnv.h"
#include "LocalizedControlsFrench.h"

#include "controls/ZEM_A_C_NSPanel.h"
#include "controls/ZEM_A_C_NSTabViewItem.h"
#include "controls/ZEM_A_C_NSWindow.h"
#include "foundation/ZEM_F_E_Language.h"
#include "foundation/ZEM_F_HostDelegate.h"
#include "foundation/ZEM_F_PropertyList.h"
#include "services/ZEM_A_L_Language.h"

#include <QDir>
#include <QTabWidget>

class tst_ZEM_A_C_NSWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void windowTitles_data();
    void windowTitles();
    void ignoredTitleIsNeverTouched();
    void tabLabelFollowsTheLanguage();
    void tabLabelGivenBeforeTheTabWidget();

private:
    ZEM_F_E_Language *engine = nullptr;
    std::unique_ptr<ZEM_F_SettingsHostDelegate> host;
};

void tst_ZEM_A_C_NSWindow::initTestCase()
{
    QVERIFY(ZEM_A_L_Language::isRegistered());
    host = std::make_unique<ZEM_F_SettingsHostDelegate>(QStringLiteral("Organiser"));
    ZEM_F_Host::setDelegate(host.get());
    engine = ZEM_F_E_Language::shared();
    ZEM_F_StringTable french;
    french.insert(QStringLiteral("NL:Contacts"), QStringLiteral("Personnes"));
    french.insert(QStringLiteral("NL:Options"), QStringLiteral("Réglages"));
    french.insert(QStringLiteral("NL:Notes"), QStringLiteral("Remarques"));
    QVERIFY(french::write(french));
}

void tst_ZEM_A_C_NSWindow::init()
{
    QVERIFY(engine->setActiveLanguage(QStringLiteral("English")));
}

void tst_ZEM_A_C_NSWindow::windowTitles_data()
{
    QTest::addColumn<bool>("panel");
    QTest::newRow("window") << false;
    QTest::newRow("panel") << true;
}

void tst_ZEM_A_C_NSWindow::windowTitles()
{
    QFETCH(bool, panel);
    const auto check = [this](auto &window) {
        window.setWindowTitle(QStringLiteral("Contacts"));
        window.awakeFromNib();
        QVERIFY(window.hasTitle());
        QCOMPARE(window.titleKey(), u"NL:Contacts"_qs);
        QCOMPARE(window.property("title").toString(), u"Contacts"_qs);

        QVERIFY(engine->setActiveLanguage(QStringLiteral("French")));
        QCOMPARE(window.windowTitle(), u"Personnes"_qs);
        QVERIFY(engine->setActiveLanguage(QStringLiteral("English")));
        QCOMPARE(window.windowTitle(), u"Contacts"_qs);

        // A new title is checked again and followed from then on.
        window.setNewTitle(QStringLiteral("Options"));
        QCOMPARE(window.titleKey(), u"NL:Options"_qs);
        QVERIFY(engine->setActiveLanguage(QStringLiteral("French")));
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

void tst_ZEM_A_C_NSWindow::ignoredTitleIsNeverTouched()
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

    QVERIFY(engine->setActiveLanguage(QStringLiteral("French")));
    QCOMPARE(window.windowTitle(), u"Contacts"_qs);
    QCOMPARE(panel.windowTitle(), u"Options"_qs);

    // Resets too leave the title as it is shown.
    window.setWindowTitle(QStringLiteral("Shown now"));
    panel.setWindowTitle(QStringLiteral("Shown now"));
    QVERIFY(engine->setActiveLanguage(QStringLiteral("English")));
    QCOMPARE(window.windowTitle(), u"Shown now"_qs);
    QCOMPARE(panel.windowTitle(), u"Shown now"_qs);

    window.setNewTitle(QStringLiteral("Notes"));
    QVERIFY(!window.hasTitle());
    QVERIFY(engine->setActiveLanguage(QStringLiteral("French")));
    QCOMPARE(window.windowTitle(), u"Notes"_qs);
}

void tst_ZEM_A_C_NSWindow::tabLabelFollowsTheLanguage()
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

    QVERIFY(engine->setActiveLanguage(QStringLiteral("French")));
    QCOMPARE(tabs.tabText(0), u"Remarques"_qs);
    QCOMPARE(tabs.tabText(1), u"Réglages"_qs);
    QCOMPARE(notes->label(), u"Remarques"_qs);

    // The tab widget may rename the tab itself; the page reads its label from there.
    tabs.setTabText(1, QStringLiteral("Elsewhere"));
    QCOMPARE(options->label(), u"Elsewhere"_qs);

    QVERIFY(engine->setActiveLanguage(QStringLiteral("English")));
    QCOMPARE(tabs.tabText(0), u"Notes"_qs);
    QCOMPARE(tabs.tabText(1), u"Options"_qs);

    // A page moved in front keeps its own label.
    tabs.removeTab(1);
    tabs.insertTab(0, options, QStringLiteral("Options"));
    QVERIFY(engine->setActiveLanguage(QStringLiteral("French")));
    QCOMPARE(tabs.tabText(0), u"Réglages"_qs);
    QCOMPARE(tabs.tabText(1), u"Remarques"_qs);
}

void tst_ZEM_A_C_NSWindow::tabLabelGivenBeforeTheTabWidget()
{
    auto *page = new ZEM_A_C_NSTabViewItem(QStringLiteral("Notes"));
    QCOMPARE(page->tabWidget(), nullptr);
    QCOMPARE(page->label(), u"Notes"_qs);
    QTabWidget tabs;
    tabs.addTab(page, QString());
    QTRY_COMPARE(tabs.tabText(0), u"Notes"_qs);
    page->awakeFromNib();
    QVERIFY(engine->setActiveLanguage(QStringLiteral("French")));
    QCOMPARE(tabs.tabText(0), u"Remarques"_qs);

    // Outside a tab widget the page keeps the label itself.
    ZEM_A_C_NSTabViewItem loose(QStringLiteral("Options"));
    loose.awakeFromNib();
    QCOMPARE(loose.label(), u"Réglages"_qs);
    QVERIFY(engine->setActiveLanguage(QStringLiteral("English")));
    QCOMPARE(loose.label(), u"Options"_qs);
}

ZEM_TEST_MAIN(tst_ZEM_A_C_NSWindow)
#include "tst_ZEM_A_C_NSWindow.moc"
