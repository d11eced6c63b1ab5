#pragma once

#include "ZEM_A_C_Localized.h"
#include "foundation/ZEM_F_Notification.h"
#include "zem_appkit_export.h"

#include <QString>

class QObject;

// Out of line so that the template's instances, compiled wherever a wrapper is used, reach
// the library's own steps.
namespace ZEM_A_C_ToolTipOnlySteps {
ZEM_APPKIT_EXPORT void awake(QObject *control, ZEM_A_C_Localized &lang, const QString &presetKey, bool checkToolTip);
ZEM_APPKIT_EXPORT void languageCall(QObject *control, const ZEM_A_C_Localized &lang,
                                    const ZEM_F_Notification &notification);
} // namespace ZEM_A_C_ToolTipOnlySteps

/**
 * The localized side of a control whose only localized text is its tool tip: no title,
 * no made-up tool tip; the tool tip is checked without a title and follows each language
 * change, and the number 0 restores it.
 *
 * A wrapper derives from ZEM_A_C_ToolTipOnly<QtClass>, declares the key and flag
 * properties below with Q_PROPERTY, and calls awakeToolTipOnly() and
 * languageCallToolTipOnly() from its awakeFromNib() and languageCall().
 */
template <class Base>
class ZEM_A_C_ToolTipOnly : public Base
{
public:
    using Base::Base;

    QString toolTipKey() const { return m_lang.toolTipKey; }
    void setToolTipKey(const QString &key) { m_lang.toolTipKey = key; }
    bool hasTitle() const { return m_lang.hasTitle; }
    bool hasToolTip() const { return m_lang.hasToolTip; }
    bool hasMadeUpToolTip() const { return m_lang.hasMadeUpToolTip; }

protected:
    /**
     * Shows \a presetKey's text as the tool tip first when given, checks the tool tip
     * unless \a checkToolTip is false, and registers for language changes.
     */
    void awakeToolTipOnly(const QString &presetKey = QString(), bool checkToolTip = true)
    {
        ZEM_A_C_ToolTipOnlySteps::awake(this, m_lang, presetKey, checkToolTip);
    }

    void languageCallToolTipOnly(const ZEM_F_Notification &notification)
    {
        ZEM_A_C_ToolTipOnlySteps::languageCall(this, m_lang, notification);
    }

    ZEM_A_C_Localized m_lang{this};
};

/** The properties every tool-tip-only wrapper declares, for moc. */
#define ZEM_A_C_TOOLTIP_ONLY_PROPERTIES                                                                   \
    Q_PROPERTY(QString toolTipKey READ toolTipKey WRITE setToolTipKey)                                    \
    Q_PROPERTY(bool hasTitle READ hasTitle)                                                               \
    Q_PROPERTY(bool hasToolTip READ hasToolTip)                                                           \
    Q_PROPERTY(bool hasMadeUpToolTip READ hasMadeUpToolTip)
