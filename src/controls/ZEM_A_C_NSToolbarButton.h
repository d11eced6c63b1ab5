#pragma once

#include "ZEM_A_C_Localized.h"
#include "foundation/ZEM_F_Notification.h"
#include "zem_appkit_export.h"

#include <QToolButton>

/**
 * A tool button whose title and tool tip follow the active language; without a tool tip
 * of its own it gets its title followed by the noun "Tool Bar Item".
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_NSToolbarButton : public QToolButton
{
    Q_OBJECT
    Q_PROPERTY(QString title READ title WRITE setTitle)
    Q_PROPERTY(QString titleKey READ titleKey WRITE setTitleKey)
    Q_PROPERTY(QString toolTipKey READ toolTipKey WRITE setToolTipKey)
    Q_PROPERTY(bool hasTitle READ hasTitle)
    Q_PROPERTY(bool hasToolTip READ hasToolTip)
    Q_PROPERTY(bool hasMadeUpToolTip READ hasMadeUpToolTip)
public:
    explicit ZEM_A_C_NSToolbarButton(QWidget *parent = nullptr);
    ~ZEM_A_C_NSToolbarButton() override;

    QString title() const { return text(); }
    void setTitle(const QString &title) { setText(title); }
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

    static QString nounKey() { return QStringLiteral("B:ToolBarItem"); }

protected:
    ZEM_A_C_Localized m_lang{this};
};
