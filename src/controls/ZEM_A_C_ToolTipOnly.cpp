#include "ZEM_A_C_ToolTipOnly.h"

#include "ZEM_A_C_LocalizedSteps.h"

#include <QObject>

namespace ZEM_A_C_ToolTipOnlySteps {

void awake(QObject *control, ZEM_A_C_Localized &lang, const QString &presetKey, bool checkToolTip)
{
    if (!presetKey.isEmpty())
        control->setProperty("toolTip", presetKey); // the engine shows a key's text at once
    lang.hasTitle = false;
    lang.hasMadeUpToolTip = false;
    if (checkToolTip)
        ZEM_A_C_LocalizedSteps::checkToolTipSupport(control, lang, QString(), QString());
    else
        lang.hasToolTip = false;
    lang.registerForLanguage();
}

void languageCall(QObject *control, const ZEM_A_C_Localized &lang, const ZEM_F_Notification &notification)
{
    ZEM_A_C_LocalizedSteps::titleAndToolTipCall(control, lang, "toolTip", false, QString(), QString(),
                                                notification);
}

} // namespace ZEM_A_C_ToolTipOnlySteps
