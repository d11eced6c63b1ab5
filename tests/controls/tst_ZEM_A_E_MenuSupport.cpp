// The menu engine: descriptors, context menus aimed at a controller, the language menu
// built from the language files on disk, the toggling titles and commands that need a window.
#include "TestFiles.h"
#include "ZemTestEnv.h"

#include "controls/ZEM_A_C_NSMenu.h"
#include "controls/ZEM_A_C_NSMenuItem.h"
#include "foundation/ZEM_F_C_StoreGroup.h"
#include "foundation/ZEM_F_ClassRegistry.h"
#include "foundation/ZEM_F_E_Language.h"
#include "foundation/ZEM_F_E_Notifications.h"
#include "foundation/ZEM_F_HostDelegate.h"
#include "foundation/ZEM_F_PropertyList.h"
#include "platform/Alerts.h"
#include "controls/ZEM_A_E_MenuSupport.h"
#include "services/ZEM_A_E_Icons.h"
#include "services/ZEM_A_L_Language.h"

#include <QDir>
#include <QMenuBar>
#include <QTimer>
#include <QWidget>

class MenuHost : public ZEM_F_SettingsHostDelegate
{
public:
    MenuHost() : ZEM_F_SettingsHostDelegate(QStringLiteral("Organiser")) {}
    bool useAppLanguages() const override { return languages; }
    bool useAppDocument() const override { return documents; }
    bool languages = true;
    bool documents = false;
};

// Stands for the host's controller: records every command it is sent.
class CommandTarget : public QObject
{
    Q_OBJECT
public:
    QStringList commands;
    QList<int> tags;
    QVariantList objects;
public slots:
    void switchLanguages(QObject *sender)
    {
        commands.append(u"switchLanguages"_qs);
        tags.append(sender->property("tag").toInt());
    }
    void saveRecords(QObject *sender)
    {
        commands.append(u"saveRecords"_qs);
        tags.append(sender->property("tag").toInt());
    }
    void showCalendar(const QVariant &object)
    {
        commands.append(u"showCalendar"_qs);
        objects.append(object);
    }
};

// The host's document class: as a window's delegate, and as the class that makes documents.
class OrganiserDoc : public QObject
{
    Q_OBJECT
public:
    explicit OrganiserDoc(bool closed = false) : closed(closed) {}
    bool closed = false;
    int newDocuments = 0;
    Q_INVOKABLE bool isClosed() const { return closed; }
    Q_INVOKABLE QObject *sharedDocumentController() { return this; }
    Q_INVOKABLE void newDocument(QObject *) { ++newDocuments; }
};

namespace {

using Map = QVariantMap;

QStringList titles(const QWidget *menu)
{
    QStringList out;
    const QList<QAction *> actions = menu->actions();
    for (const QAction *a : actions)
        out.append(a->isSeparator() ? u"-"_qs : a->text());
    return out;
}

OrganiserDoc *sharedDocClass()
{
    static OrganiserDoc doc;
    return &doc;
}

// The command openSel() has put off: the timer it left on the target, null when none.
QTimer *pendingCommand(const QObject &target)
{
    QList<QTimer *> timers = target.findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly);
    timers.removeIf([](const QTimer *timer) { return !timer->isActive(); });
    return timers.size() == 1 ? timers.first() : nullptr;
}

// Checks that the command waits \a seconds, then runs it now.
bool runPendingCommand(const QObject &target, int seconds)
{
    QTimer *timer = pendingCommand(target);
    if (!timer || timer->interval() != seconds * 1000 || !timer->isSingleShot())
        return false;
    timer->stop();
    return QMetaObject::invokeMethod(timer, "timeout");
}

// A main window whose Settings menu holds a stale language menu, a target for its commands,
// and a count of the menu-changed notifications.
struct LanguageMenuWindow
{
    LanguageMenuWindow()
    {
        bar->addMenu(u"File"_qs);
        QMenu *settings = bar->addMenu(u"Settings"_qs);
        settings->addAction(u"Preferences..."_qs);
        languages = settings->addMenu(u"Languages"_qs);
        languages->addAction(u"Stale"_qs);
        const auto count = [this](const ZEM_F_Notification &) { ++changes; };
        ZEM_F_E_Notifications::shared()->addObserver(&context, u"MenuHasChanged"_qs, {}, count);
    }
    QWidget window;
    QMenuBar *bar = new QMenuBar(&window);
    QMenu *languages = nullptr;
    CommandTarget target;
    int changes = 0;
    QObject context;
};

} // namespace

class tst_ZEM_A_E_MenuSupport : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(ZEM_A_L_Language::isRegistered());
        ZEM_F_Host::setDelegate(&host);
        menus = ZEM_A_E_MenuSupport::shared();
        QCOMPARE(ZEM_F_ClassRegistry::shared(u"ZEM_A_E_MenuSupport"_qs), menus);
        QVERIFY(ZEM_F_ClassRegistry::registerShared(u"OrganiserDoc"_qs, [] { return static_cast<QObject *>(sharedDocClass()); }));
    }

    void init()
    {
        host.languages = true;
        host.documents = false;
        qunsetenv("ZEM_DEBUG_MACHINE");
        QVERIFY(ZEM_F_E_Language::shared()->setActiveLanguage(u"English"_qs));
    }

    void cleanup()
    {
        windows.clear();
        QTRY_VERIFY(!QApplication::activeWindow());
    }

    void descriptors_data()
    {
        QTest::addColumn<QVariantMap>("made");
        QTest::addColumn<QVariantMap>("expected");
        QTest::newRow("everything") << menus->setUpContextMenuArray(u"p"_qs, u"VCard"_qs, u"L:Print"_qs, u"print:"_qs)
                                    << Map{{u"title"_qs, u"L:Print"_qs}, {u"selector"_qs, u"print:"_qs},
                                            {u"image"_qs, u"VCard"_qs}, {u"keyBoard"_qs, u"p"_qs}};
        QTest::newRow("title alone") << menus->setUpContextMenuArray({}, {}, u"L:Print"_qs, {})
                                     << Map{{u"title"_qs, u"L:Print"_qs}};
        QTest::newRow("no image") << menus->setUpContextMenuArray(u"p"_qs, {}, u"L:Print"_qs, u"print:"_qs)
                                  << Map{{u"title"_qs, u"L:Print"_qs}, {u"selector"_qs, u"print:"_qs}, {u"keyBoard"_qs, u"p"_qs}};
        QTest::newRow("tag always") << menus->setUpContextMenuArrayWithTag({}, {}, u"L:Clear"_qs, u"clear:"_qs, 0)
                                    << Map{{u"title"_qs, u"L:Clear"_qs}, {u"selector"_qs, u"clear:"_qs}, {u"tag"_qs, 0}};
        QTest::newRow("separator") << menus->setUpMenuSeparator()
                                   << Map{{u"title"_qs, QString()}, {u"selector"_qs, QString()}};
    }

    void descriptors()
    {
        QFETCH(QVariantMap, made);
        QFETCH(QVariantMap, expected);
        QCOMPARE(made, expected);
    }

    void descriptorsFromArrays()
    {
        // Separators take no tag, image or key: the arrays are read by the titled entries only.
        const QVariantList list = menus->setUpContextMenuArrayWithArray(
            {u"A"_qs, u""_qs, u"B"_qs, u"C"_qs}, {u"i1"_qs, u"i2"_qs, u"i3"_qs}, {}, {u"a"_qs, u"b"_qs},
            u"pick:"_qs, 5);
        QCOMPARE(list.size(), 4);
        QCOMPARE(list.at(0).toMap(), (Map{{u"title"_qs, u"A"_qs}, {u"selector"_qs, u"pick:"_qs}, {u"image"_qs, u"i1"_qs},
                                          {u"keyBoard"_qs, u"a"_qs}, {u"tag"_qs, 5}}));
        QCOMPARE(list.at(1).toMap(), menus->setUpMenuSeparator());
        QCOMPARE(list.at(2).toMap(), (Map{{u"title"_qs, u"B"_qs}, {u"selector"_qs, u"pick:"_qs}, {u"image"_qs, u"i2"_qs},
                                          {u"keyBoard"_qs, u"b"_qs}, {u"tag"_qs, 6}}));
        // Past the end of the keys: no key equivalent.
        QCOMPARE(list.at(3).toMap(), (Map{{u"title"_qs, u"C"_qs}, {u"selector"_qs, u"pick:"_qs}, {u"image"_qs, u"i3"_qs},
                                          {u"tag"_qs, 7}}));

        // One image for all wins over the images array.
        const QVariantList one = menus->setUpContextMenuArrayWithArray({u"A"_qs, u"B"_qs}, {u"i1"_qs, u"i2"_qs},
                                                                       u"only"_qs, {}, u"pick:"_qs, 0);
        QCOMPARE(one.at(0).toMap().value(u"image"_qs), u"only"_qs);
        QCOMPARE(one.at(1).toMap().value(u"image"_qs), u"only"_qs);
        QCOMPARE(one.at(1).toMap().value(u"tag"_qs), 1);
        QVERIFY(menus->setUpContextMenuArrayWithArray({}, {}, {}, {}, u"pick:"_qs, 0).isEmpty());
    }

    void contextMenu()
    {
        CommandTarget controller;
        const QVariantList descriptors{
            menus->setUpContextMenuArray({}, {}, u"Save"_qs, u"saveRecords:"_qs),
            menus->setUpMenuSeparator(),
            menus->setUpContextMenuArray(u"p"_qs, u"VCard"_qs, u"L:Print"_qs, u"saveRecords:"_qs),
            QVariant(u"not a descriptor"_qs),
            menus->setUpContextMenuArrayWithTag({}, {}, u"Tagged"_qs, u"saveRecords:"_qs, 42)};
        QTest::ignoreMessage(QtWarningMsg, "setContextMenu: entry 3 is not a menu item descriptor");
        std::unique_ptr<ZEM_A_C_NSMenu> menu(menus->setContextMenu(descriptors, &controller));
        QVERIFY(menu);
        QCOMPARE(menu->title(), QString());
        QCOMPARE(titles(menu.get()), (QStringList{u"Save"_qs, u"-"_qs, u"Print..."_qs, u"Tagged"_qs}));

        const QList<QAction *> actions = menu->actions();
        QList<int> tags;
        for (QAction *action : actions) {
            if (auto *item = qobject_cast<ZEM_A_C_NSMenuItem *>(action)) {
                QCOMPARE(item->target(), &controller);
                QVERIFY(item->hasTitle());
                tags.append(item->tag());
            }
        }
        // Without a tag an item takes its position, separators and skipped entries counted.
        QCOMPARE(tags, (QList<int>{0, 2, 42}));
        auto *print = qobject_cast<ZEM_A_C_NSMenuItem *>(actions.at(2));
        QCOMPARE(print->titleKey(), u"L:Print"_qs);
        QCOMPARE(print->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
        QCOMPARE(print->property("image").value<QImage>().size(), QSize(16, 16));
        QVERIFY(!print->icon().isNull());
        QVERIFY(actions.at(0)->icon().isNull());

        actions.at(3)->trigger();
        QCOMPARE(controller.commands, QStringList{u"saveRecords"_qs});
        QCOMPARE(controller.tags, QList<int>{42});

        std::unique_ptr<ZEM_A_C_NSMenu> empty(menus->setContextMenu({}, &controller));
        QVERIFY(empty->actions().isEmpty());
    }

    void addMenuItemPosition_data()
    {
        QTest::addColumn<int>("insertCount");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("0 appends") << 0 << QStringList{u"One"_qs, u"Two"_qs, u"Three"_qs, u"New"_qs};
        QTest::newRow("-1 goes first") << -1 << QStringList{u"New"_qs, u"One"_qs, u"Two"_qs, u"Three"_qs};
        QTest::newRow("index") << 1 << QStringList{u"One"_qs, u"New"_qs, u"Two"_qs, u"Three"_qs};
        QTest::newRow("past the end appends") << 99 << QStringList{u"One"_qs, u"Two"_qs, u"Three"_qs, u"New"_qs};
        QTest::newRow("other negatives append") << -5 << QStringList{u"One"_qs, u"Two"_qs, u"Three"_qs, u"New"_qs};
    }

    void addMenuItemPosition()
    {
        QFETCH(int, insertCount);
        QFETCH(QStringList, expected);
        CommandTarget target;
        QMenu menu;
        for (const char *t : {"One", "Two", "Three"})
            menu.addAction(QString::fromLatin1(t));
        ZEM_A_C_NSMenuItem *item = menus->addMenuItem(&menu, u"New"_qs, u"saveRecords:"_qs, 9, u"n"_qs, &target, insertCount);
        QVERIFY(item);
        QCOMPARE(titles(&menu), expected);
        QCOMPARE(item->tag(), 9);
        QCOMPARE(item->selector(), u"saveRecords:"_qs);
        QCOMPARE(item->keyEquivalent(), u"n"_qs);
        QVERIFY(item->hasTitle()); // the start-up ran
        item->trigger();
        QCOMPARE(target.tags, QList<int>{9});

        ZEM_A_C_NSMenuItem *bare = menus->addMenuItem(&menu, u"Bare"_qs, {}, 0, {}, nullptr, 0);
        QVERIFY(bare->selector().isEmpty());
        QVERIFY(bare->shortcut().isEmpty());
        QVERIFY(!bare->performAction());
        QCOMPARE(menus->addMenuItem(nullptr, u"New"_qs, {}, 0, {}, nullptr, 0), nullptr);
    }

    void menuImage()
    {
        QCOMPARE(menus->getMenuImage(u"VCard"_qs).size(), QSize(16, 16));
        QTest::ignoreMessage(QtWarningMsg, "Organiser problem getting image NoSuchImage");
        QVERIFY(menus->getMenuImage(u"NoSuchImage"_qs).isNull());

        // A missing image leaves the item without an icon rather than failing the menu.
        QTest::ignoreMessage(QtWarningMsg, "Organiser problem getting image NoSuchImage");
        std::unique_ptr<ZEM_A_C_NSMenu> menu(menus->setContextMenu(
            {menus->setUpContextMenuArray({}, u"NoSuchImage"_qs, u"Save"_qs, u"saveRecords:"_qs)}, nullptr));
        QCOMPARE(menu->actions().size(), 1);
        QVERIFY(menu->actions().first()->icon().isNull());
    }

    void removal()
    {
        QMenu main;
        QMenu *file = main.addMenu(u"File"_qs);
        file->addAction(u"Open"_qs);
        file->addAction(u"Close"_qs);
        main.addAction(u"Edit"_qs);

        menus->removeMenuItem(&main, u"File"_qs, u"Close"_qs);
        QCOMPARE(titles(file), QStringList{u"Open"_qs});
        menus->removeMenuItem(&main, u"File"_qs, u"Missing"_qs);
        menus->removeMenuItem(&main, u"Edit"_qs, u"Open"_qs); // Edit has no submenu
        menus->removeMenuItem(&main, u"Missing"_qs, u"Open"_qs);
        QCOMPARE(titles(file), QStringList{u"Open"_qs});

        menus->removeMainMenuItem(&main, u"Edit"_qs);
        QCOMPARE(titles(&main), QStringList{u"File"_qs});
        menus->removeMainMenuItem(&main, u"Missing"_qs);
        menus->removeMainMenuItem(nullptr, u"File"_qs);
        menus->removeBaseMenuItems(&main);
        QCOMPARE(titles(&main), QStringList{u"File"_qs});
    }

    void languageMenu_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<bool>("debugMachine");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QList<int>>("languageTags");
        const QStringList head{u"Language Preferences..."_qs, u"Switch To Last Language"_qs, u"-"_qs, u"English"_qs};
        const QStringList debug{u"-"_qs, u"Cycle Languages"_qs, u"Create File..."_qs, u"Load All Nib Files"_qs};
        QTest::newRow("no files") << QStringList{} << false << head << QList<int>{0};
        QTest::newRow("no files, development machine") << QStringList{} << true << head + debug << QList<int>{0};
        QTest::newRow("listed, unlisted and English")
            << QStringList{u"German"_qs, u"English"_qs, u"Klingon"_qs, u"French"_qs} << false
            << head + QStringList{u"-"_qs, u"French"_qs, u"German"_qs} << QList<int>{0, 2, 3};
        QTest::newRow("only unlisted and English") << QStringList{u"English"_qs, u"Klingon"_qs} << false << head
                                                   << QList<int>{0};
        QTest::newRow("files, development machine")
            << QStringList{u"Portuguese (Brazil)"_qs} << true
            << head + QStringList{u"-"_qs, u"Portuguese (Brazil)"_qs} + debug << QList<int>{0, 15};
    }

    void languageMenu()
    {
        QFETCH(QStringList, files);
        QFETCH(bool, debugMachine);
        QFETCH(QStringList, expected);
        QFETCH(QList<int>, languageTags);
        writeLanguageFiles(files);
        if (debugMachine)
            qputenv("ZEM_DEBUG_MACHINE", "1");

        LanguageMenuWindow w;
        QVERIFY(menus->addLanguageMenus(w.bar, &w.target));
        QCOMPARE(titles(w.languages), expected);
        QCOMPARE(w.changes, 1);
        // Built again, the menu is replaced rather than added to.
        QVERIFY(menus->addLanguageMenus(w.bar, &w.target));
        QCOMPARE(titles(w.languages), expected);
        QCOMPARE(w.changes, 2);

        QList<int> tags;
        const QList<QAction *> actions = w.languages->actions();
        for (QAction *action : actions) {
            auto *item = qobject_cast<ZEM_A_C_NSMenuItem *>(action);
            if (!item)
                continue;
            QCOMPARE(item->target(), &w.target);
            if (item->selector() == u"switchLanguages:"_qs)
                tags.append(item->tag());
        }
        QCOMPARE(tags, languageTags);

        auto *last = qobject_cast<ZEM_A_C_NSMenuItem *>(actions.at(1));
        QCOMPARE(last->selector(), u"switchToLastLanguages:"_qs);
        QCOMPARE(last->keyEquivalent(), u"W"_qs);
        QCOMPARE(qobject_cast<ZEM_A_C_NSMenuItem *>(actions.at(3))->keyEquivalent(), u"M"_qs);
        if (debugMachine)
            QCOMPARE(qobject_cast<ZEM_A_C_NSMenuItem *>(actions.last())->selector(), u"loadLanguageNibFiles:"_qs);

        // The item of a language tells the target which language by its tag.
        actions.at(languageTags.size() > 1 ? 5 : 3)->trigger();
        QCOMPARE(w.target.commands, QStringList{u"switchLanguages"_qs});
        QCOMPARE(w.target.tags, QList<int>{languageTags.size() > 1 ? languageTags.at(1) : 0});
    }

    void languageMenuDeclinedOrMissing()
    {
        writeLanguageFiles({u"French"_qs});
        QCOMPARE(menus->findLanguages(), QStringList{u"French"_qs});
        QCOMPARE(menus->findLanguagesForAppExt(ZEM_F_E_Language::languagesFolder(), u"Planner"_qs, u"plist"_qs),
                 QStringList{u"Italian"_qs});
        QCOMPARE(menus->findLanguagesSupport(QDir::tempPath() + u"/no-such-folder"_qs), QStringList{});

        LanguageMenuWindow w;
        host.languages = false;
        QVERIFY(!menus->addLanguageMenus(w.bar, &w.target));
        QCOMPARE(titles(w.languages), QStringList{u"Stale"_qs});

        host.languages = true;
        QVERIFY(menus->addLanguageMenus(nullptr, &w.target));
        QCOMPARE(w.changes, 0);
        QCOMPARE(titles(w.languages), QStringList{u"Stale"_qs});
    }

    void languageMenuPlace_data()
    {
        // The menus of the bar; the one without a title holds a language menu of its own.
        QTest::addColumn<QStringList>("barMenus");
        QTest::addColumn<QString>("named");  // the menu the host names, if any
        QTest::addColumn<QString>("holder"); // where the language menu ends up; "" on the bar
        QTest::newRow("settings before view") << QStringList{u"File"_qs, u"View"_qs, u"Settings"_qs} << QString()
                                              << u"Settings"_qs;
        QTest::newRow("view") << QStringList{u"File"_qs, u"View"_qs} << QString() << u"View"_qs;
        QTest::newRow("neither: a menu of its own") << QStringList{u"File"_qs} << QString() << QString();
        // A menu without a title cannot be seen on Linux: its language menu is no place for one.
        QTest::newRow("not the invisible application menu")
            << QStringList{u""_qs, u"File"_qs} << QString() << QString();
        QTest::newRow("named by the host") << QStringList{u"File"_qs, u"Tools"_qs, u"Settings"_qs}
                                           << u"Tools"_qs << u"Tools"_qs;
    }

    void languageMenuPlace()
    {
        QFETCH(QStringList, barMenus);
        QFETCH(QString, named);
        QFETCH(QString, holder);
        writeLanguageFiles({});
        QMenuBar bar;
        QMenu *namedMenu = nullptr;
        QMenu *invisible = nullptr;
        for (const QString &title : std::as_const(barMenus)) {
            QMenu *menu = bar.addMenu(title);
            if (title.isEmpty())
                (invisible = menu)->addMenu(u"Languages"_qs)->addAction(u"Stale"_qs);
            if (!named.isEmpty() && title == named)
                namedMenu = menu;
        }
        CommandTarget target;
        QVERIFY(menus->addLanguageMenus(&bar, &target, namedMenu));

        // Found where a user looks, once, under its visible title, however often it is built.
        QVERIFY(menus->addLanguageMenus(&bar, &target, namedMenu));
        QList<QMenu *> found;
        for (QMenu *menu : bar.findChildren<QMenu *>())
            if (menu->title() == u"Languages"_qs && menu->parent() != invisible)
                found.append(menu);
        QCOMPARE(found.size(), 1);
        QWidget *expectedHolder = &bar;
        for (QAction *action : bar.actions())
            if (!holder.isEmpty() && action->text() == holder)
                expectedHolder = action->menu();
        QVERIFY(expectedHolder->actions().contains(found.first()->menuAction()));
        QCOMPARE(titles(found.first()).at(3), u"English"_qs);
        if (invisible)
            QCOMPARE(titles(invisible->actions().first()->menu()), QStringList{u"Stale"_qs});
    }

    void languageMenuTicksTheActiveLanguage()
    {
        writeLanguageFiles({u"French"_qs, u"German"_qs});
        LanguageMenuWindow w;
        QVERIFY(menus->addLanguageMenus(w.bar, &w.target));
        const auto ticked = [&w] {
            QStringList out;
            for (const QAction *action : w.languages->actions())
                if (action->isChecked())
                    out.append(action->text());
            return out;
        };
        QCOMPARE(ticked(), QStringList{u"English"_qs});
        QVERIFY(ZEM_F_E_Language::shared()->setActiveLanguage(u"German"_qs));
        QCOMPARE(ticked(), QStringList{u"German"_qs});
        QVERIFY(menus->addLanguageMenus(w.bar, &w.target));
        QCOMPARE(ticked(), QStringList{u"German"_qs});
    }

    void matrixState()
    {
        QMenu menu;
        QList<ZEM_A_C_NSMenuItem *> items;
        for (int tag = 0; tag < 3; ++tag)
            items.append(menus->addMenuItem(&menu, u"Item %1"_qs.arg(tag), {}, tag, {}, nullptr, 0));
        for (ZEM_A_C_NSMenuItem *item : std::as_const(items))
            QCOMPARE(menus->validateMatrixMenuSupport(item, 1), item->tag() != 1);
        QCOMPARE(items.at(1)->state(), 1);
        QVERIFY(items.at(1)->isChecked());
        QVERIFY(!items.at(1)->isEnabled());
        // The mark of the item on is the store's radio mark; the others show none.
        const QImage radio = ZEM_F_C_StoreGroup::shared()->imageForKey(u"NSMenuRadio"_qs);
        QVERIFY(!radio.isNull());
        QCOMPARE(items.at(1)->onStateImage(), radio);
        QVERIFY(!items.at(1)->icon().isNull());
        QVERIFY(items.at(0)->icon().isNull());
        QCOMPARE(items.at(0)->state(), 0);
        QVERIFY(items.at(0)->isEnabled());
        QVERIFY(!items.at(2)->isChecked());

        // The choice moves: the old item is enabled and unmarked again.
        for (ZEM_A_C_NSMenuItem *item : std::as_const(items))
            menus->validateMatrixMenuSupport(item, 2);
        QVERIFY(items.at(1)->isEnabled());
        QVERIFY(!items.at(1)->isChecked());
        QVERIFY(items.at(2)->isChecked());

        QVERIFY(!menus->validateMatrixMenuListSupport(items.at(0), true));
        QCOMPARE(items.at(0)->state(), 1);
        QVERIFY(menus->validateMatrixMenuListSupport(items.at(0), false));
        QCOMPARE(items.at(0)->state(), 0);

        // A plain action takes the same marks.
        QAction plain(u"Plain"_qs);
        plain.setProperty("tag", 4);
        QVERIFY(!menus->validateMatrixMenuSupport(&plain, 4));
        QVERIFY(plain.isChecked());
        QCOMPARE(plain.property("state").toInt(), 1);
        QVERIFY(!plain.icon().isNull());
        QVERIFY(!menus->validateMatrixMenuSupport(nullptr, 4));

        // A plain action with a colour swatch keeps it whatever its state.
        QAction swatch(u"Red"_qs);
        ZEM_A_E_Icons::shared()->setPopUpImage(&swatch, Qt::red);
        for (bool on : {true, false}) {
            menus->validateMatrixMenuListSupport(&swatch, on);
            QCOMPARE(swatch.icon().pixmap(12, 12).toImage().pixelColor(6, 6), QColor(204, 0, 0));
            QCOMPARE(swatch.isChecked(), on);
        }
    }

    void toggledTitles_data()
    {
        QTest::addColumn<QString>("helper");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("flag");
        QTest::addColumn<QString>("expected");
        QTest::newRow("show becomes hide") << "onOff" << "Show Toolbar" << true << "Hide Toolbar";
        QTest::newRow("hide becomes show") << "onOff" << "Hide Toolbar" << false << "Show Toolbar";
        QTest::newRow("shorter than the prefix") << "onOff" << "Sh" << true << "Hide";
        QTest::newRow("as long as the prefix") << "showHide" << "Show" << true << "Hide";
        QTest::newRow("empty title") << "showHide" << "" << false << "Show";
        QTest::newRow("open becomes close") << "openClose" << "Open Drawer" << true << "Close Drawer";
        QTest::newRow("close becomes open") << "openClose" << "Close Notes Drawer" << false << "Open Drawer";
        QTest::newRow("one word") << "openClose" << "Drawer" << true << "Close Drawer";
        QTest::newRow("open: empty") << "openClose" << "" << false << "Open ";
    }

    void toggledTitles()
    {
        QFETCH(QString, helper);
        QFETCH(QString, title);
        QFETCH(bool, flag);
        QFETCH(QString, expected);
        ZEM_A_C_NSMenuItem item(title, {});
        if (helper == u"onOff"_qs)
            QVERIFY(menus->onOffMenuSupport(&item, flag));
        else if (helper == u"showHide"_qs)
            QVERIFY(menus->showHideMenuSupport(&item, flag));
        else
            QVERIFY(menus->openCloseMenuSupport(&item, flag));
        QCOMPARE(item.title(), expected);
        // Only the on/off helper touches the state.
        QCOMPARE(item.state(), helper == u"onOff"_qs && flag ? 1 : 0);
    }

    void prefixNotAscii()
    {
        // A prefix that is not plain ASCII has no byte length to cut: it is put in front.
        QCOMPARE(ZEM_A_E_MenuSupport::replacePrefix(u"Show Toolbar"_qs, u"Montrér"_qs), u"MontrérShow Toolbar"_qs);
    }

    void openSelNotAllowed()
    {
        platform::RecordingAlertResponder alerts;
        CommandTarget target;
        auto window = std::make_unique<QWidget>();
        QVERIFY(!menus->openSel(u"showCalendar:"_qs, window.get(), 3, false, u"Calendar"_qs, &target));
        QCOMPARE(alerts.alerts().size(), 1);
        const platform::AlertRequest &alert = alerts.alerts().first();
        QCOMPARE(alert.title, u"Menu Alert:"_qs);
        QCOMPARE(alert.text, u"Calendar is not active yet!"_qs);
        QCOMPARE(alert.buttons, QStringList{u"Ok"_qs});
        QCOMPARE(alert.window.data(), window.get());
        QVERIFY(!window->isVisible());
        QVERIFY(target.children().isEmpty()); // nothing put off for later
    }

    void openSelBringsGivenWindowForward()
    {
        CommandTarget target;
        QWidget *window = newWindow();
        QVERIFY(!QApplication::activeWindow());
        QVERIFY(!menus->openSel(u"showCalendar:"_qs, window, 3, true, u"Calendar"_qs, &target));
        QVERIFY(window->isVisible());
        QVERIFY(target.commands.isEmpty()); // not at once: a second later
        QVERIFY(runPendingCommand(target, 1));
        QCOMPARE(target.commands, QStringList{u"showCalendar"_qs});
        QCOMPARE(target.objects, QVariantList{3});
    }

    void openSelWithActiveWindow()
    {
        CommandTarget target;
        QWidget *window = newWindow();
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));

        // The caller runs the command itself: only the answer tells it to.
        QVERIFY(menus->openSel(u"showCalendar:"_qs, window, 3, true, u"Calendar"_qs, &target));
        QVERIFY(menus->openSel(u"showCalendar:"_qs, nullptr, 3, true, u"Calendar"_qs, &target));
        QVERIFY(!menus->openSel(QString(), window, 3, true, u"Calendar"_qs, &target));
        QVERIFY(target.children().isEmpty()); // nothing put off for later
        QVERIFY(target.commands.isEmpty());
    }

    void openSelFindsDocumentWindow()
    {
        CommandTarget target;
        OrganiserDoc closedDoc(true);
        OrganiserDoc openDoc(false);
        QObject notADoc;
        for (QObject *delegate : {static_cast<QObject *>(&notADoc), static_cast<QObject *>(&closedDoc),
                                  static_cast<QObject *>(&openDoc)}) {
            newWindow()->setProperty("delegate", QVariant::fromValue(delegate));
        }
        QVERIFY(!menus->openSel(u"showCalendar:"_qs, nullptr, u"record"_qs, true, u"Calendar"_qs, &target));
        QVERIFY(!windows.at(0)->isVisible());
        QVERIFY(!windows.at(1)->isVisible());
        QVERIFY(windows.at(2)->isVisible());
        QCOMPARE(sharedDocClass()->newDocuments, 0);
        QVERIFY(runPendingCommand(target, 2));
        QCOMPARE(target.commands, QStringList{u"showCalendar"_qs});
        QCOMPARE(target.objects, QVariantList{u"record"_qs});
    }

    void openSelMakesNewDocument()
    {
        CommandTarget target;
        sharedDocClass()->newDocuments = 0;
        OrganiserDoc closedDoc(true);
        newWindow()->setProperty("delegate",
                                 QVariant::fromValue(static_cast<QObject *>(&closedDoc)));

        // A host without documents gets none made; the command is still sent.
        QVERIFY(!menus->openSel(u"showCalendar:"_qs, nullptr, 1, true, u"Calendar"_qs, &target));
        QCOMPARE(sharedDocClass()->newDocuments, 0);
        QVERIFY(!windows.back()->isVisible());
        QVERIFY(runPendingCommand(target, 2));

        host.documents = true;
        QVERIFY(!menus->openSel(u"showCalendar:"_qs, nullptr, 2, true, u"Calendar"_qs, &target));
        QCOMPARE(sharedDocClass()->newDocuments, 1);
        QVERIFY(runPendingCommand(target, 2));
        QVERIFY(!menus->openSel(QString(), nullptr, 2, true, u"Calendar"_qs, &target));
        QCOMPARE(sharedDocClass()->newDocuments, 2);
        QCOMPARE(pendingCommand(target), nullptr); // no command to run
        QCOMPARE(target.objects, (QVariantList{1, 2}));
    }

private:
    // A window the test owns until it ends.
    QWidget *newWindow() { return windows.emplace_back(std::make_unique<QWidget>()).get(); }

    void writeLanguageFiles(const QStringList &languages)
    {
        QDir folder(ZEM_F_E_Language::languagesFolder());
        QVERIFY(folder.removeRecursively() || !folder.exists());
        const QByteArray empty = ZEM_F_PropertyList::writeStringTable(ZEM_F_StringTable());
        for (const QString &language : languages) {
            const QString path = folder.filePath(u"Organiser_%1.plist"_qs.arg(language));
            QVERIFY(zemtest::writeFile(path, empty));
        }
        // A file of another application and a file of another kind are not language files.
        QVERIFY(zemtest::writeFile(folder.filePath(u"Planner_Italian.plist"_qs), {}));
        QVERIFY(zemtest::writeFile(folder.filePath(u"Organiser_Dutch.txt"_qs), {}));
        ZEM_F_E_Language::shared()->reloadLanguageFiles();
    }

    ZEM_A_E_MenuSupport *menus = nullptr;
    MenuHost host;
    std::vector<std::unique_ptr<QWidget>> windows;
};

ZEM_TEST_MAIN(tst_ZEM_A_E_MenuSupport)
#include "tst_ZEM_A_E_MenuSupport.moc"
