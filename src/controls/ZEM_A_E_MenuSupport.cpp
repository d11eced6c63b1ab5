#include "ZEM_A_E_MenuSupport.h"

#include "services/ZEM_A_C_Sheets.h"
#include "services/ZEM_A_E_Image.h"
#include "controls/ZEM_A_C_NSMenu.h"
#include "controls/ZEM_A_C_NSMenuItem.h"
#include "foundation/ZEM_F_C_StoreGroup.h"
#include "foundation/ZEM_F_ClassRegistry.h"
#include "foundation/ZEM_F_E_DebugMachine.h"
#include "foundation/ZEM_F_E_Language.h"
#include "foundation/ZEM_F_E_Notifications.h"
#include "foundation/ZEM_F_HostDelegate.h"
#include "platform/Invoke.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QBuffer>
#include <QIcon>
#include <QLoggingCategory>
#include <QMenu>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace {
[[maybe_unused]] const bool registered =
    ZEM_F_ClassRegistry::registerShared(QStringLiteral("ZEM_A_E_MenuSupport"), [] {
        return static_cast<QObject *>(ZEM_A_E_MenuSupport::shared());
    });

Q_LOGGING_CATEGORY(zemMenus, "zem.services.menus")

const QString kTitle = QStringLiteral("title");
const QString kSelector = QStringLiteral("selector");
const QString kImage = QStringLiteral("image");
const QString kKeyBoard = QStringLiteral("keyBoard");
const QString kTag = QStringLiteral("tag");

constexpr QSize menuImageSize(16, 16);
constexpr double commandDelayShown = 1.0;
constexpr double commandDelayFound = 2.0;

QAction *findAction(const QWidget *menu, const QString &title)
{
    if (!menu)
        return nullptr;
    const QList<QAction *> actions = menu->actions();
    for (QAction *action : actions) {
        if (!action->isSeparator() && action->text() == title)
            return action;
    }
    return nullptr;
}

void removeAction(QWidget *menu, QAction *action)
{
    menu->removeAction(action);
    // An item the menu made or was given is the menu's to delete; someone else's stays.
    if (action->parent() == menu)
        delete action;
}

QObject *documentClass()
{
    return ZEM_F_ClassRegistry::shared(ZEM_F_Host::appName() + QStringLiteral("Doc"));
}

// The window's delegate: what it names in its "delegate" property, else the window itself.
QObject *windowDelegate(QWidget *window)
{
    if (QObject *delegate = window->property("delegate").value<QObject *>())
        return delegate;
    return window;
}

void bringToFront(QWidget *window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

// A menu title as shown, without the mnemonic marks.
QString shownTitle(const QAction *action)
{
    return QString(action->text()).remove(u'&');
}

// The submenu titled \a title below \a menu, looking only through menus a user can see:
// a menu without a title (a Cocoa-style application menu) shows nothing on Linux.
QMenu *findVisibleSubmenu(const QWidget *menu, const QString &title)
{
    if (!menu)
        return nullptr;
    const QList<QAction *> actions = menu->actions();
    for (const QAction *action : actions) {
        if (!action->menu() || shownTitle(action).isEmpty())
            continue;
        if (shownTitle(action) == title)
            return action->menu();
        if (QMenu *found = findVisibleSubmenu(action->menu(), title))
            return found;
    }
    return nullptr;
}

// The first menu of the bar \a bar shown as one of \a titles or named (objectName) as one
// of \a names, which is what Qt Designer calls a menu made with such a title.
QMenu *topMenu(const QWidget *bar, const QStringList &titles, const QStringList &names)
{
    const QList<QAction *> actions = bar->actions();
    for (const QAction *action : actions) {
        QMenu *menu = action->menu();
        if (menu && (titles.contains(shownTitle(action))
                     || names.contains(menu->objectName(), Qt::CaseInsensitive)))
            return menu;
    }
    return nullptr;
}

// Where the language menu goes when the host has none and names no place: the settings
// menu, else the view menu, else a menu of its own on the bar before the help menu.
QMenu *makeLanguagesMenu(QWidget *mainMenu, QMenu *holder)
{
    const ZEM_F_E_Language *language = ZEM_F_E_Language::shared();
    const auto look = [language](const char *key) { return language->stringForKeyLook(QString::fromLatin1(key)); };
    QWidget *place = holder;
    QAction *before = nullptr;
    if (!place)
        place = topMenu(mainMenu, {look("NL:Settings"), look("NL:Preferences")},
                        {QStringLiteral("menuSettings"), QStringLiteral("settingsMenu"),
                         QStringLiteral("menuPreferences"), QStringLiteral("preferencesMenu")});
    if (!place)
        place = topMenu(mainMenu, {look("NL:View")}, {QStringLiteral("menuView"), QStringLiteral("viewMenu")});
    if (!place) {
        place = mainMenu;
        if (QMenu *help = topMenu(mainMenu, {look("NL:Help")}, {QStringLiteral("menuHelp"), QStringLiteral("helpMenu")}))
            before = help->menuAction();
    }
    auto *languages = new ZEM_A_C_NSMenu(QStringLiteral("NL:Languages"), place);
    languages->setObjectName(QStringLiteral("menuLanguages"));
    languages->awakeFromNib(); // shows the title in the active language and follows it
    place->insertAction(before, languages->menuAction());
    return languages;
}

const char *const languageItemsName = "zemLanguageItems";

// Ticks the item of the active language, and only it.
void tickActiveLanguage(const QActionGroup *items)
{
    const int active = ZEM_F_E_Language::languageIndex(ZEM_F_E_Language::shared()->activeLanguage());
    const QList<QAction *> actions = items->actions();
    for (QAction *action : actions)
        action->setChecked(action->property("tag").toInt() == active);
}
} // namespace

ZEM_A_E_MenuSupport::ZEM_A_E_MenuSupport(QObject *parent) : ZEM_F_B_Securitry(parent) {}

ZEM_A_E_MenuSupport::~ZEM_A_E_MenuSupport() = default;

ZEM_A_E_MenuSupport *ZEM_A_E_MenuSupport::shared()
{
    static auto *instance = new ZEM_A_E_MenuSupport;
    return instance;
}

// ---- Descriptors ---------------------------------------------------------------------

QVariantMap ZEM_A_E_MenuSupport::setUpContextMenuArray(const QString &key, const QString &image,
                                                       const QString &title, const QString &action) const
{
    QVariantMap descriptor{{kTitle, title}};
    if (!action.isEmpty())
        descriptor.insert(kSelector, action);
    if (!image.isEmpty())
        descriptor.insert(kImage, image);
    if (!key.isEmpty())
        descriptor.insert(kKeyBoard, key);
    return descriptor;
}

QVariantMap ZEM_A_E_MenuSupport::setUpContextMenuArrayWithTag(const QString &key, const QString &image,
                                                              const QString &title, const QString &action,
                                                              int tag) const
{
    QVariantMap descriptor = setUpContextMenuArray(key, image, title, action);
    descriptor.insert(kTag, tag);
    return descriptor;
}

QVariantMap ZEM_A_E_MenuSupport::setUpMenuSeparator() const
{
    return {{kTitle, QString()}, {kSelector, QString()}};
}

QVariantList ZEM_A_E_MenuSupport::setUpContextMenuArrayWithArray(const QStringList &titles,
                                                                 const QStringList &images,
                                                                 const QString &image,
                                                                 const QStringList &keys,
                                                                 const QString &action, int start) const
{
    QVariantList descriptors;
    int tag = start;
    qsizetype used = 0; // entries of images and keys taken so far
    for (const QString &title : titles) {
        if (title.isEmpty()) {
            descriptors.append(setUpMenuSeparator());
            continue;
        }
        const QString itemImage = !image.isEmpty() ? image : images.value(used);
        descriptors.append(setUpContextMenuArrayWithTag(keys.value(used), itemImage, title, action, tag));
        ++used;
        ++tag;
    }
    return descriptors;
}

// ---- Menus ---------------------------------------------------------------------------

ZEM_A_C_NSMenu *ZEM_A_E_MenuSupport::setContextMenu(const QVariantList &descriptors, QObject *controller) const
{
    auto *menu = new ZEM_A_C_NSMenu(QString());
    for (qsizetype i = 0; i < descriptors.size(); ++i) {
        const QVariant &entry = descriptors.at(i);
        if (entry.typeId() != QMetaType::QVariantMap) {
            qCWarning(zemMenus) << "setContextMenu: entry" << i << "is not a menu item descriptor";
            continue;
        }
        const QVariantMap descriptor = entry.toMap();
        const QString title = descriptor.value(kTitle).toString();
        if (title.isEmpty()) {
            menu->addSeparator();
            continue;
        }
        auto *item = new ZEM_A_C_NSMenuItem(title, descriptor.value(kSelector).toString(), menu);
        item->setTarget(controller);
        item->setTag(descriptor.contains(kTag) ? descriptor.value(kTag).toInt() : int(i));
        if (descriptor.contains(kImage)) {
            const QImage image = getMenuImage(descriptor.value(kImage).toString());
            item->setProperty("image", image);
            if (!image.isNull())
                item->setIcon(QIcon(QPixmap::fromImage(image)));
        }
        if (descriptor.contains(kKeyBoard))
            item->setKeyEquivalent(descriptor.value(kKeyBoard).toString());
        item->awakeFromNib();
        menu->addAction(item);
    }
    return menu;
}

ZEM_A_C_NSMenuItem *ZEM_A_E_MenuSupport::addMenuItem(QMenu *menu, const QString &title, const QString &sel,
                                                     int tag, const QString &keyBoard, QObject *target,
                                                     int insertCount) const
{
    if (!menu)
        return nullptr;
    auto *item = new ZEM_A_C_NSMenuItem(title, QString(), menu);
    item->setTarget(target);
    item->setTag(tag);
    if (!sel.isEmpty())
        item->setSelector(sel);
    if (!keyBoard.isEmpty())
        item->setKeyEquivalent(keyBoard);
    const QList<QAction *> actions = menu->actions();
    QAction *before = nullptr;
    if (insertCount > 0)
        before = actions.value(insertCount); // past the end: null, which appends
    else if (insertCount == -1)
        before = actions.value(0);
    menu->insertAction(before, item);
    item->awakeFromNib();
    return item;
}

QImage ZEM_A_E_MenuSupport::getMenuImage(const QString &name) const
{
    const QImage stored = ZEM_F_C_StoreGroup::shared()->imageForKey(name);
    if (stored.isNull()) {
        qCWarning(zemMenus, "%s problem getting image %s", qUtf8Printable(ZEM_F_Host::appName()),
                  qUtf8Printable(name));
        return {};
    }
    // A copy that shares nothing with the store: written out losslessly and read back.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImage copy;
    if (stored.save(&buffer, "PNG"))
        copy.loadFromData(bytes, "PNG");
    if (copy.isNull())
        copy = stored.copy();
    const QImage sized = ZEM_A_E_Image::resized(copy, menuImageSize);
    return sized.isNull() ? copy.scaled(menuImageSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation) : sized;
}

void ZEM_A_E_MenuSupport::removeMainMenuItem(QWidget *menu, const QString &title) const
{
    if (QAction *action = findAction(menu, title))
        removeAction(menu, action);
}

void ZEM_A_E_MenuSupport::removeMenuItem(QWidget *menu, const QString &title, const QString &itemTitle) const
{
    QAction *action = findAction(menu, title);
    QMenu *submenu = action ? action->menu() : nullptr;
    if (QAction *item = findAction(submenu, itemTitle))
        removeAction(submenu, item);
}

void ZEM_A_E_MenuSupport::removeBaseMenuItems(QWidget *menu) const
{
    Q_UNUSED(menu)
}

// ---- Language menu -------------------------------------------------------------------

bool ZEM_A_E_MenuSupport::addLanguageMenus(QWidget *mainMenu, QObject *target, QMenu *holder) const
{
    if (!ZEM_F_Host::delegate()->useAppLanguages())
        return false;

    const QString languagesTitle = ZEM_F_E_Language::shared()->stringForKeyLook(QStringLiteral("NL:Languages"));
    if (!holder && !mainMenu)
        return true;
    QMenu *languages = nullptr;
    if (holder) {
        QAction *item = findAction(holder, languagesTitle);
        languages = item ? item->menu() : nullptr;
    } else {
        languages = findVisibleSubmenu(mainMenu, languagesTitle);
    }
    if (!languages)
        languages = makeLanguagesMenu(mainMenu, holder);

    languages->clear();
    delete languages->findChild<QActionGroup *>(QLatin1String(languageItemsName), Qt::FindDirectChildrenOnly);
    auto *languageItems = new QActionGroup(languages);
    languageItems->setObjectName(QLatin1String(languageItemsName));
    const auto add = [&](const QString &title, const char *sel, int tag, const QString &key) {
        ZEM_A_C_NSMenuItem *item = addMenuItem(languages, title, QString::fromLatin1(sel), tag, key, target, 0);
        if (qstrcmp(sel, "switchLanguages:") == 0) {
            item->setCheckable(true);
            languageItems->addAction(item);
        }
    };
    add(QStringLiteral("L:LanguagePrefs"), "languagePreferences:", 0, {});
    add(QStringLiteral("L:LastLanguage"), "switchToLastLanguages:", 0, QStringLiteral("W"));
    languages->addSeparator();
    // The key rather than its text, so the item can follow later language changes.
    add(ZEM_F_E_Language::languageTitleKey(QStringLiteral("English")), "switchLanguages:", 0, QStringLiteral("M"));

    const QStringList found = findLanguages();
    if (!found.isEmpty()) {
        languages->addSeparator();
        for (const QString &language : found)
            add(ZEM_F_E_Language::languageTitleKey(language), "switchLanguages:",
                ZEM_F_E_Language::languageIndex(language), {});
    }
    if (ZEM_F_E_DebugMachine::shared()->checkIsDebugMachine()) {
        languages->addSeparator();
        add(QStringLiteral("L:CycleLanguages"), "cycleLanguages:", 0, {});
        add(QStringLiteral("L:CreateLanguages"), "showLanguages:", 0, {});
        add(QStringLiteral("L:LoadAllNibs"), "loadLanguageNibFiles:", 0, {});
    }
    // The tick follows the engine: after each switch, and after a click on a language the
    // host may have refused (the click itself ticks the item clicked).
    tickActiveLanguage(languageItems);
    connect(ZEM_F_E_Language::shared(), &ZEM_F_E_Language::languageChanged, languageItems,
            [languageItems] { tickActiveLanguage(languageItems); });
    connect(languageItems, &QActionGroup::triggered, languageItems,
            [languageItems] { tickActiveLanguage(languageItems); });
    ZEM_F_E_Notifications::shared()->postNotificationName(QStringLiteral("MenuHasChanged"));
    return true;
}

QStringList ZEM_A_E_MenuSupport::findLanguages() const
{
    return findLanguagesSupport(ZEM_F_E_Language::languagesFolder());
}

QStringList ZEM_A_E_MenuSupport::findLanguagesSupport(const QString &folder) const
{
    return findLanguagesForAppExt(folder, ZEM_F_Host::appName(), QStringLiteral("plist"));
}

QStringList ZEM_A_E_MenuSupport::findLanguagesForAppExt(const QString &folder, const QString &app,
                                                        const QString &ext) const
{
    // The engine's file search already keeps listed languages only, English excepted;
    // its keys come sorted.
    return ZEM_F_E_Language::findLanguageFiles(folder, app, ext).keys();
}

// ---- Item state ----------------------------------------------------------------------

void ZEM_A_E_MenuSupport::setItemState(QAction *item, bool on) const
{
    const QImage radio = on ? ZEM_F_C_StoreGroup::shared()->imageForKey(QStringLiteral("NSMenuRadio")) : QImage();
    if (auto *menuItem = qobject_cast<ZEM_A_C_NSMenuItem *>(item)) {
        menuItem->setOnStateImage(radio);
        menuItem->setState(on ? ZEM_A_C_NSMenuItem::OnState : ZEM_A_C_NSMenuItem::OffState);
        return;
    }
    if (on)
        item->setCheckable(true);
    item->setChecked(on);
    item->setProperty("state", on ? 1 : 0);
    // An action with an image of its own (a colour swatch) keeps showing it; the check the
    // style draws shows the state.
    if (item->property("image").value<QImage>().isNull())
        item->setIcon(radio.isNull() ? QIcon() : QIcon(QPixmap::fromImage(radio)));
}

bool ZEM_A_E_MenuSupport::validateMatrixMenuSupport(QAction *item, int value) const
{
    if (!item)
        return false;
    const bool current = item->property("tag").toInt() == value;
    setItemState(item, current);
    // Qt has no validation pass that would read the answer, so the item takes it itself.
    item->setEnabled(!current);
    return !current;
}

bool ZEM_A_E_MenuSupport::validateMatrixMenuListSupport(QAction *item, bool flag) const
{
    if (item)
        setItemState(item, flag);
    return !flag;
}

QString ZEM_A_E_MenuSupport::replacePrefix(const QString &title, const QString &prefix)
{
    bool ascii = true;
    for (QChar c : prefix)
        ascii = ascii && c.unicode() < 0x80;
    const qsizetype n = ascii ? prefix.size() : 0;
    return prefix + (n < title.size() ? title.mid(n) : QString());
}

bool ZEM_A_E_MenuSupport::onOffMenuSupport(QAction *item, bool flag) const
{
    if (!item)
        return true;
    setItemState(item, flag);
    return showHideMenuSupport(item, flag);
}

bool ZEM_A_E_MenuSupport::showHideMenuSupport(QAction *item, bool flag) const
{
    if (!item)
        return true;
    const ZEM_F_E_Language *language = ZEM_F_E_Language::shared();
    const QString prefix = flag ? language->stringForKey(QStringLiteral("B:Hide"))
                                : language->stringForKeyLook(QStringLiteral("NL:Show"));
    item->setText(replacePrefix(item->text(), prefix));
    return true;
}

bool ZEM_A_E_MenuSupport::openCloseMenuSupport(QAction *item, bool flag) const
{
    if (!item)
        return true;
    const ZEM_F_E_Language *language = ZEM_F_E_Language::shared();
    const QString prefix = flag ? language->stringForKeyLook(QStringLiteral("NL:Close"))
                                : language->stringForKey(QStringLiteral("B:Open"));
    const QString old = item->text();
    const QString lastWord = old.mid(old.lastIndexOf(u' ') + 1);
    item->setText(prefix + u' ' + lastWord);
    return true;
}

// ---- Commands that need a window -----------------------------------------------------

bool ZEM_A_E_MenuSupport::openSel(const QString &sel, QWidget *window, const QVariant &object, bool allowed,
                                  const QString &feature, QObject *target) const
{
    const ZEM_F_E_Language *language = ZEM_F_E_Language::shared();
    QWidget *keyWindow = QApplication::activeWindow();
    const QByteArray selector = sel.toUtf8();
    // A single-shot timer child of the target: it goes with the target, and whoever wants
    // to know what is pending (a test) finds it there.
    const auto runLater = [&](double seconds) {
        if (selector.isEmpty() || !target)
            return;
        auto *timer = new QTimer(target);
        timer->setSingleShot(true);
        timer->setInterval(int(seconds * 1000));
        connect(timer, &QTimer::timeout, timer, [timer, target = QPointer<QObject>(target), selector, object] {
            timer->deleteLater();
            if (target)
                platform::perform(target, selector, {object});
        });
        timer->start();
    };

    if (!allowed) {
        QString text = language->stringForKey(QStringLiteral("M:MenuText"));
        text.replace(QStringLiteral("%@"), feature);
        ZEM_A_C_Sheets::oKAlertSheet(language->stringForKey(QStringLiteral("A:Menu")), text,
                                     language->stringForKeyLook(QStringLiteral("NL:Ok")),
                                     window ? window : keyWindow, target);
        return false;
    }
    if (!keyWindow && window) {
        bringToFront(window);
        runLater(commandDelayShown);
        return false;
    }
    if (window || keyWindow)
        return !selector.isEmpty();

    const QByteArray docClassName = (ZEM_F_Host::appName() + QStringLiteral("Doc")).toUtf8();
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    for (QWidget *candidate : windows) {
        QObject *delegate = windowDelegate(candidate);
        if (!delegate->inherits(docClassName.constData()) || !platform::respondsTo(delegate, "isClosed"))
            continue;
        if (platform::perform(delegate, "isClosed").toBool())
            continue;
        bringToFront(candidate);
        runLater(commandDelayFound);
        return false;
    }

    if (ZEM_F_Host::delegate()->useAppDocument()) {
        QObject *docClass = documentClass();
        QObject *controller = platform::respondsTo(docClass, "sharedDocumentController")
            ? platform::perform(docClass, "sharedDocumentController").value<QObject *>()
            : nullptr;
        if (platform::respondsTo(controller, "newDocument:"))
            platform::perform(controller, "newDocument:", {QVariant::fromValue<QObject *>(nullptr)});
        else
            qCWarning(zemMenus) << "openSel: no document controller for" << docClassName;
    }
    runLater(commandDelayFound);
    return false;
}
