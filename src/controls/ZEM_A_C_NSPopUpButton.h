#pragma once

#include "ZEM_A_C_Localized.h"
#include "foundation/ZEM_F_Notification.h"
#include "zem_appkit_export.h"

#include <QComboBox>
#include <QList>

class ZEM_A_C_NSMenu;
class ZEM_A_C_NSMenuItem;

/**
 * A pop-up button: a choice of items, each a localized menu item (ZEM_A_C_NSMenuItem) of
 * the pop-up's menu().
 *
 * The combo box's rows are the menu's items, both ways: addItem(), insertItem(),
 * removeItem() and a form file's items make and drop menu items, and items put in or taken
 * from the menu are rows. What an item carries (its title, image, state, enabled flag,
 * data) is what its row shows, so a colour swatch or a state set on an item appears in the
 * pop-up.
 *
 * Every item follows the active language with its own title key, from the pop-up's load
 * on (items added later too); the pop-up grows to fit its new texts. Its title is the text
 * of the chosen item, and its titleKey that item's key. Without a tool tip of its own it
 * gets the chosen item's title followed by the noun "Pull Down Button"; the return to the
 * loaded texts does not make that one up again.
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_NSPopUpButton : public QComboBox
{
    Q_OBJECT
    Q_PROPERTY(QString title READ title WRITE setTitle)
    Q_PROPERTY(QString titleKey READ titleKey)
    Q_PROPERTY(QString toolTipKey READ toolTipKey WRITE setToolTipKey)
    Q_PROPERTY(bool hasTitle READ hasTitle)
    Q_PROPERTY(bool hasToolTip READ hasToolTip)
    Q_PROPERTY(bool hasMadeUpToolTip READ hasMadeUpToolTip)
public:
    explicit ZEM_A_C_NSPopUpButton(QWidget *parent = nullptr);
    ~ZEM_A_C_NSPopUpButton() override;

    /** The items, in order; owned by the pop-up. */
    ZEM_A_C_NSMenu *menu() const { return m_menu; }
    /** The item at \a index; null outside the pop-up or for an item of another class. */
    ZEM_A_C_NSMenuItem *itemAtIndex(int index) const;
    /** The chosen item, or null. */
    ZEM_A_C_NSMenuItem *selectedItem() const { return itemAtIndex(currentIndex()); }

    /** The text of the chosen item; empty without one. */
    QString title() const { return currentText(); }
    /** Renames the chosen item; without one, adds an item titled \a title (unless empty) and
     * chooses it. */
    void setTitle(const QString &title);
    /** The chosen item's title key; empty without one. */
    QString titleKey() const;
    QString toolTipKey() const { return m_lang.toolTipKey; }
    void setToolTipKey(const QString &key) { m_lang.toolTipKey = key; }
    /** Whether the chosen item's title is localized. */
    bool hasTitle() const;
    bool hasToolTip() const { return m_lang.hasToolTip; }
    bool hasMadeUpToolTip() const { return m_lang.hasMadeUpToolTip; }

    /** Hands every item and the tool tip to the language engine and follows language changes. */
    Q_INVOKABLE virtual void awakeFromNib();
    /** The language change of the tool tip (each item follows on its own): the number 0
     * restores the loaded tool tip, any other language fetches it. */
    Q_INVOKABLE virtual void languageCall(const ZEM_F_Notification &notification);

    /** Sets the chosen item's title and hands it to the language engine again. */
    void setNewTitle(const QString &title);
    /** Sets the tool tip unless it is empty or the title, then checks the tool tip again. */
    void setNewToolTip(const QString &toolTip);

    static QString nounKey() { return QStringLiteral("B:PullDownButton"); }

protected:
    void checkToolTipSupport();

    ZEM_A_C_Localized m_lang{this};

private:
    void awakeItem(QAction *item);
    /** Outside a layout the pop-up sizes itself: it widens to fit its texts. */
    void growToFit();

    ZEM_A_C_NSMenu *m_menu;
    bool m_awake = false;
};
