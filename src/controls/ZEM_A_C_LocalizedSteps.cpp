#include "ZEM_A_C_LocalizedSteps.h"

#include "ZEM_A_C_Localized.h"
#include "foundation/ZEM_F_E_Language.h"

#include <QObject>
#include <QVariant>

namespace ZEM_A_C_LocalizedSteps {

namespace {

const QString kLabel = QStringLiteral("NL");
const QString kToolTip = QStringLiteral("NT");

bool shows(const QObject *control, const char *property, const QString &text)
{
    return !text.isEmpty() && control->property(property).toString() == text;
}

QString madeUpToolTip(const ZEM_A_C_Localized &lang, const QString &nounKey,
                      const ZEM_F_Notification &notification)
{
    return QStringLiteral("%1 %2").arg(ZEM_A_C_Localized::text(lang.titleKey, kLabel, notification),
                                       ZEM_A_C_Localized::text(nounKey, kLabel, notification));
}

} // namespace

bool checkTitle(QObject *control, ZEM_A_C_Localized &lang, const char *textProperty,
                bool (ZEM_F_E_Language::*check)(QObject *))
{
    if (!(lang.hasTitle &&
          shows(control, textProperty, ZEM_A_C_Localized::text(lang.titleKey, kLabel, {}))))
        lang.hasTitle = (ZEM_A_C_Localized::engine()->*check)(control);
    return lang.hasTitle;
}

void checkToolTipSupport(QObject *control, ZEM_A_C_Localized &lang, const QString &title,
                         const QString &nounKey)
{
    if (lang.hasToolTip &&
        shows(control, "toolTip", ZEM_A_C_Localized::text(lang.toolTipKey, kToolTip, {})))
        return;
    if (lang.hasMadeUpToolTip && !lang.titleKey.isEmpty() &&
        shows(control, "toolTip", madeUpToolTip(lang, nounKey, {})))
        return;
    ZEM_F_E_Language *engine = ZEM_A_C_Localized::engine();
    lang.hasToolTip = engine->checkToolTip(control, lang.hasTitle ? title : QString());
    lang.hasMadeUpToolTip =
        !nounKey.isEmpty() && engine->checkMadeUpToolTip(control, ZEM_A_C_Localized::noun(nounKey));
}

void setToolTipUnlessTitle(QObject *control, const QString &toolTip, const QString &title)
{
    if (!toolTip.isEmpty() && toolTip != title)
        control->setProperty("toolTip", toolTip);
}

void applyLanguage(QObject *control, const ZEM_A_C_Localized &lang, const char *textProperty,
                   bool titleShown, const QString &nounKey, const ZEM_F_Notification &notification)
{
    if (lang.hasTitle && titleShown)
        control->setProperty(textProperty,
                             ZEM_A_C_Localized::text(lang.titleKey, kLabel, notification));
    if (lang.hasToolTip)
        control->setProperty("toolTip",
                             ZEM_A_C_Localized::text(lang.toolTipKey, kToolTip, notification));
    // A title key taken away later (an image-only button) leaves nothing to make one up from.
    if (lang.hasMadeUpToolTip && !nounKey.isEmpty() && !lang.titleKey.isEmpty())
        control->setProperty("toolTip", madeUpToolTip(lang, nounKey, notification));
}

void titleAndToolTipCall(QObject *control, const ZEM_A_C_Localized &lang, const char *textProperty,
                         bool titleShown, const QString &nounKey, const QString &resetNounKey,
                         const ZEM_F_Notification &notification)
{
    if (ZEM_A_C_Localized::isReset(notification)) {
        // The noun in the language returned to, not in the one still active.
        ZEM_A_C_Localized::engine()->resetTitleAndToolTip(
            control, resetNounKey.isEmpty()
                         ? QString()
                         : ZEM_A_C_Localized::text(resetNounKey, kLabel, notification));
        return;
    }
    applyLanguage(control, lang, textProperty, titleShown, nounKey, notification);
}

void checkWindowTitle(QObject *window, ZEM_A_C_Localized &lang)
{
    lang.hasTitle =
        !lang.ignoreTitle && checkTitle(window, lang, "title", &ZEM_F_E_Language::checkTitle);
}

void windowTitleCall(QObject *window, const ZEM_A_C_Localized &lang,
                     const ZEM_F_Notification &notification)
{
    // Read at each change, so a title ignored only after the load is still left alone.
    if (!lang.ignoreTitle)
        titleAndToolTipCall(window, lang, "title", true, QString(), QString(), notification);
}

} // namespace ZEM_A_C_LocalizedSteps
