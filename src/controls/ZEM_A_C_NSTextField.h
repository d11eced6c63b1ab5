#pragma once

#include "ZEM_A_C_Localized.h"
#include "foundation/ZEM_F_Notification.h"
#include "zem_appkit_export.h"

#include <QLineEdit>

/** A text field whose value and tool tip follow the active language. */
class ZEM_APPKIT_EXPORT ZEM_A_C_NSTextField : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(QString stringValue READ stringValue WRITE setStringValue)
    Q_PROPERTY(QString titleKey READ titleKey WRITE setTitleKey)
    Q_PROPERTY(QString toolTipKey READ toolTipKey WRITE setToolTipKey)
    Q_PROPERTY(bool hasTitle READ hasTitle)
    Q_PROPERTY(bool hasToolTip READ hasToolTip)
public:
    explicit ZEM_A_C_NSTextField(QWidget *parent = nullptr);
    explicit ZEM_A_C_NSTextField(const QString &value, QWidget *parent = nullptr);
    ~ZEM_A_C_NSTextField() override;

    /** The value; the text shown unless a subclass shows it otherwise. */
    virtual QString stringValue() const { return text(); }
    virtual void setStringValue(const QString &value) { setText(value); }

    QString titleKey() const { return m_lang.titleKey; }
    void setTitleKey(const QString &key) { m_lang.titleKey = key; }
    QString toolTipKey() const { return m_lang.toolTipKey; }
    void setToolTipKey(const QString &key) { m_lang.toolTipKey = key; }
    bool hasTitle() const { return m_lang.hasTitle; }
    bool hasToolTip() const { return m_lang.hasToolTip; }

    /** Hands the value and tool tip to the language engine and follows language changes. */
    Q_INVOKABLE virtual void awakeFromNib();
    /** The language change: the number 0 restores the loaded texts, any other language fetches
     * them. */
    Q_INVOKABLE virtual void languageCall(const ZEM_F_Notification &notification);

    /** Sets the value and hands it to the language engine again. */
    void setNewStringValue(const QString &value);

protected:
    ZEM_A_C_Localized m_lang{this};
};
