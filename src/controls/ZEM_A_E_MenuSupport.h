#pragma once

#include "foundation/ZEM_F_B_Securitry.h"
#include "zem_appkit_export.h"

#include <QImage>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

class QAction;
class QMenu;
class QWidget;
class ZEM_A_C_NSMenu;
class ZEM_A_C_NSMenuItem;

/**
 * Context menus, the language menu and the titles of toggling menu items.
 *
 * A context menu is described as a list of menu item descriptors, each a QVariantMap:
 *
 * | Key | Value |
 * |---|---|
 * | "title" | the text shown, usually a message key; "" marks a separator |
 * | "selector" | the action's selector, called on the menu's controller ("" on a separator) |
 * | "image" | the name of an image of the image store, shown at 16 × 16 |
 * | "keyBoard" | the key equivalent (see ZEM_A_C_NSMenuItem) |
 * | "tag" | an int; without it the item's position in the list |
 *
 * Only "title" is always there. A control builds its list in its `resetMenu`, hands it to
 * setContextMenu() with the object that handles the actions, and installs the menu it
 * gets back; it does so at start-up and whenever "ResetMenu" is posted.
 *
 * **Example**
 * \code
 * auto *menus = ZEM_A_E_MenuSupport::shared();
 * const QVariantList items{
 *     menus->setUpContextMenuArray({}, {}, u"L:Print"_s, u"printRecords:"_s),
 *     menus->setUpMenuSeparator(),
 *     menus->setUpContextMenuArrayWithTag(u"c"_s, {}, u"L:Clear"_s, u"clear:"_s, 7)};
 * ZEM_A_C_NSMenu *menu = menus->setContextMenu(items, this);
 * \endcode
 */
class ZEM_APPKIT_EXPORT ZEM_A_E_MenuSupport : public ZEM_F_B_Securitry
{
    Q_OBJECT
public:
    static ZEM_A_E_MenuSupport *shared();

    // ---- Descriptors ------------------------------------------------------------------
    // Each builder leaves out the keys of optional arguments that are not given (empty).

    /** A descriptor of \a title calling \a action, with key equivalent \a key and image \a image. */
    Q_INVOKABLE QVariantMap setUpContextMenuArray(const QString &key, const QString &image,
                                                  const QString &title, const QString &action) const;
    /** As setUpContextMenuArray(), with "tag" always set. */
    Q_INVOKABLE QVariantMap setUpContextMenuArrayWithTag(const QString &key, const QString &image,
                                                         const QString &title, const QString &action,
                                                         int tag) const;
    /** A separator: "title" and "selector" both "". */
    Q_INVOKABLE QVariantMap setUpMenuSeparator() const;
    /**
     * One descriptor per title, all calling \a action. A "" title gives a separator; every
     * other title takes the next tag (counting from \a start), the single \a image or else
     * the next entry of \a images, and the next entry of \a keys. Separators use up no tag,
     * image or key; missing entries are left out.
     */
    Q_INVOKABLE QVariantList setUpContextMenuArrayWithArray(const QStringList &titles,
                                                            const QStringList &images,
                                                            const QString &image,
                                                            const QStringList &keys,
                                                            const QString &action, int start) const;

    // ---- Menus -------------------------------------------------------------------------

    /**
     * A new menu with an empty title holding one item per descriptor, aimed at
     * \a controller, each item localized (ZEM_A_C_NSMenuItem::awakeFromNib()). The caller
     * owns the menu; entries that are not descriptors are skipped.
     */
    Q_INVOKABLE ZEM_A_C_NSMenu *setContextMenu(const QVariantList &descriptors, QObject *controller) const;
    /**
     * Adds a localized item titled \a title to \a menu, calling \a sel (empty: nothing) on
     * \a target, with \a tag and the key equivalent \a keyBoard (empty: none). A positive
     * \a insertCount inserts at that index (appending past the end), -1 inserts first,
     * anything else appends. Answers the item, or null when there is no menu.
     */
    Q_INVOKABLE ZEM_A_C_NSMenuItem *addMenuItem(QMenu *menu, const QString &title, const QString &sel,
                                                int tag, const QString &keyBoard, QObject *target,
                                                int insertCount) const;
    /** A copy of the stored image \a name at 16 × 16; null when the store has none. */
    Q_INVOKABLE QImage getMenuImage(const QString &name) const;

    /** Removes (and deletes) the item of \a menu titled \a title, when there is one. */
    Q_INVOKABLE void removeMainMenuItem(QWidget *menu, const QString &title) const;
    /** In the submenu of \a menu's item titled \a title, removes the item titled \a itemTitle. */
    Q_INVOKABLE void removeMenuItem(QWidget *menu, const QString &title, const QString &itemTitle) const;
    /** A hook for subclasses; does nothing here. */
    Q_INVOKABLE virtual void removeBaseMenuItems(QWidget *menu) const;

    // ---- Language menu -----------------------------------------------------------------

    /**
     * Builds, or rebuilds, the language menu: a submenu titled with "NL:Languages"
     * ("Languages", in the active language).
     *
     * Where it is: in \a holder when the host names a menu (made there when missing);
     * otherwise the first such submenu in the visible menus of \a mainMenu (a menu bar or
     * a menu; menus without a title are passed over, as Linux shows them as nothing); when
     * there is none, one is made at the end of the settings menu ("NL:Settings" or
     * "NL:Preferences", or a menu named menuSettings), else of the view menu ("NL:View",
     * menuView), else on \a mainMenu itself before its help menu.
     *
     * What it holds, every item aimed at \a target:
     * | Item | Operation of \a target called | Tag |
     * |---|---|---|
     * | "Language Preferences..." | `languagePreferences:` | 0 |
     * | "Switch To Last Language" (Ctrl+Shift+W) | `switchToLastLanguages:` | 0 |
     * | "English" (Ctrl+Shift+M), then one item per language file found | `switchLanguages:` | the language's number |
     * | on a development machine: "Cycle Languages", "Create File...", "Load All Nib Files" | `cycleLanguages:`, `showLanguages:`, `loadLanguageNibFiles:` | 0 |
     *
     * Each operation is called by name with the menu item (a ZEM_A_C_NSMenuItem, whose
     * "tag" tells the languages apart) as its only argument; the host switches with
     * ZEM_F_E_Language::setActiveLanguage(int). The language items are exclusive and the
     * active language's is ticked, following every switch. The host delegate is asked
     * `useAppLanguages` and `getAppName` (which names the language files).
     *
     * Posts "MenuHasChanged". Answers false, changing nothing, when the host declines
     * languages; true otherwise, also when there is neither a \a mainMenu nor a \a holder.
     */
    Q_INVOKABLE bool addLanguageMenus(QWidget *mainMenu, QObject *target, QMenu *holder = nullptr) const;
    /** The languages with a file in the languages folder, sorted, English excluded. */
    Q_INVOKABLE QStringList findLanguages() const;
    /** findLanguagesForAppExt() with the host's application name and "plist". */
    Q_INVOKABLE QStringList findLanguagesSupport(const QString &folder) const;
    /**
     * The languages of the files below \a folder whose relative path begins with \a app
     * and whose extension is \a ext: the file name less the application name and one
     * separator; only names of the language list, never English; sorted.
     */
    Q_INVOKABLE QStringList findLanguagesForAppExt(const QString &folder, const QString &app,
                                                   const QString &ext) const;

    // ---- Item state --------------------------------------------------------------------

    /** On, and disabled, when the item's tag is \a value; answers whether it stays enabled. */
    Q_INVOKABLE bool validateMatrixMenuSupport(QAction *item, int value) const;
    /** On when \a flag is set; answers !flag. */
    Q_INVOKABLE bool validateMatrixMenuListSupport(QAction *item, bool flag) const;
    /** On or off as \a flag, with the title prefixed "Hide" (on) or "Show" (off). */
    Q_INVOKABLE bool onOffMenuSupport(QAction *item, bool flag) const;
    /** The title change of onOffMenuSupport() alone. */
    Q_INVOKABLE bool showHideMenuSupport(QAction *item, bool flag) const;
    /** The title becomes "Close" (flag) or "Open", a blank, and the old title's last word. */
    Q_INVOKABLE bool openCloseMenuSupport(QAction *item, bool flag) const;

    /**
     * \a prefix followed by \a title less as many leading characters as \a prefix has
     * ASCII bytes (none when \a prefix is not plain ASCII). A title shorter than that
     * gives the prefix alone.
     */
    static QString replacePrefix(const QString &title, const QString &prefix);

    // ---- Commands that need a window ---------------------------------------------------

    /**
     * Runs the menu command \a sel (a selector of \a target taking \a object; empty: none)
     * that needs an open document window:
     * - not \a allowed: an alert "<feature> is not active yet!" on \a window (or the
     *   active window); false.
     * - no active window but \a window given: \a window comes to the front and the command
     *   runs 1 s later; false.
     * - \a window given or a window active: true when there is a command for the caller
     *   to run itself, else false.
     * - otherwise the first window whose delegate (its "delegate" property, else the window
     *   itself) is of the class "<app>Doc" and answers isClosed with false comes to the
     *   front, and the command runs 2 s later; false.
     * - no such window: when the host uses documents, the document class (registered by
     *   name as "<app>Doc") makes a new document through its sharedDocumentController; the
     *   command runs 2 s later; false.
     * A command put off for later waits in a single-shot QTimer made a child of \a target.
     */
    Q_INVOKABLE bool openSel(const QString &sel, QWidget *window, const QVariant &object, bool allowed,
                             const QString &feature, QObject *target) const;

    ~ZEM_A_E_MenuSupport() override;

protected:
    explicit ZEM_A_E_MenuSupport(QObject *parent = nullptr);

private:
    void setItemState(QAction *item, bool on) const;
};
