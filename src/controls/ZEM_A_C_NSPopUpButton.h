#pragma once

#include "ZEM_A_C_Localized.h"
#include "foundation/ZEM_F_Notification.h"
#include "zem_appkit_export.h"

#include <QComboBox>

/**
 * A pop-up button whose title (the text of the chosen item) and tool tip follow the
 * active language. Without a tool tip of its own it gets its title followed by the noun
 * "Pull Down Button"; the return to the loaded texts does not make that one up again.
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_NSPopUpButton : public QComboBox
{
    Q_OBJECT
    Q_PROPERTY(QString title READ title WRITE setTitle)
    Q_PROPERTY(QString titleKey READ titleKey WRITE setTitleKey)
    Q_PROPERTY(QString toolTipKey READ toolTipKey WRITE setToolTipKey)
    Q_PROPERTY(bool hasTitle READ hasTitle)
    Q_PROPERTY(bool hasToolTip READ hasToolTip)
    Q_PROPERTY(bool hasMadeUpToolTip READ hasMadeUpToolTip)
public:
    explicit ZEM_A_C_NSPopUpButton(QWidget *parent = nullptr);
    ~ZEM_A_C_NSPopUpButton() override;

    /** The text of the chosen item; empty without one. */
    QString title() const { return currentText(); }
    /** Renames the chosen item; without one, adds an item titled \a title (unless empty) and
     * chooses it. */
    void setTitle(const QString &title);
    QString titleKey() const { return m_lang.titleKey; }
    void setTitleKey(const QString &key) { m_lang.titleKey = key; }
    QString toolTipKey() const { return m_lang.toolTipKey; }
    void setToolTipKey(const QString &key) { m_lang.toolTipKey = key; }
    bool hasTitle() const { return m_lang.hasTitle; }
    bool hasToolTip() const { return m_lang.hasToolTip; }
    bool hasMadeUpToolTip() const { return m_lang.hasMadeUpToolTip; }

    /** Hands the title and tool tip to the language engine and follows language changes. */
    Q_INVOKABLE virtual void awakeFromNib();
    /** The language change: the number 0 restores the loaded texts, any other language fetches
     * them. */
    Q_INVOKABLE virtual void languageCall(const ZEM_F_Notification &notification);

    /** Sets the title and hands it to the language engine again. */
    void setNewTitle(const QString &title);
    /** Sets the tool tip unless it is empty or the title, then checks the tool tip again. */
    void setNewToolTip(const QString &toolTip);

    static QString nounKey() { return QStringLiteral("B:PullDownButton"); }

protected:
    void checkToolTipSupport();

    ZEM_A_C_Localized m_lang{this};
};
