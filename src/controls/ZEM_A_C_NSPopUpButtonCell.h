#pragma once

#include "ZEM_A_C_Localized.h"
#include "foundation/ZEM_F_Notification.h"
#include "platform/ButtonCell.h"
#include "zem_appkit_export.h"

/** The cell of a pop-up button: its title follows the active language; it has no tool tip of its
 * own. */
class ZEM_APPKIT_EXPORT ZEM_A_C_NSPopUpButtonCell : public platform::ButtonCell
{
    Q_OBJECT
    Q_PROPERTY(QString titleKey READ titleKey WRITE setTitleKey)
    Q_PROPERTY(bool hasTitle READ hasTitle)
public:
    explicit ZEM_A_C_NSPopUpButtonCell(QObject *parent = nullptr);
    explicit ZEM_A_C_NSPopUpButtonCell(const QString &title, QObject *parent = nullptr);
    ~ZEM_A_C_NSPopUpButtonCell() override;

    QString titleKey() const { return m_lang.titleKey; }
    void setTitleKey(const QString &key) { m_lang.titleKey = key; }
    bool hasTitle() const { return m_lang.hasTitle; }

    /** Hands the title to the language engine and follows language changes. */
    Q_INVOKABLE virtual void awakeFromNib();
    /** The language change: the number 0 restores the loaded title, any other language fetches it.
     */
    Q_INVOKABLE virtual void languageCall(const ZEM_F_Notification &notification);

protected:
    ZEM_A_C_Localized m_lang{this};
};
