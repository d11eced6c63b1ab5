#pragma once

#include "foundation/ZEM_F_Notification.h"

#include <QString>

class QObject;
class ZEM_A_C_Localized;
class ZEM_F_E_Language;

/**
 * The load and language-change steps that the localized controls share, so that each
 * wrapper only names its text property, its title check and its noun.
 *
 * A control passed here carries the text property it names and the key and flag
 * properties of ZEM_A_C_Localized, which the engine writes by name.
 */
namespace ZEM_A_C_LocalizedSteps {

/**
 * The title check \a check of \a textProperty, the result being hasTitle. A text that
 * still shows its title key's text keeps that key: checked again while another language is
 * active, the text would otherwise pass for a key of its own.
 */
bool checkTitle(QObject *control, ZEM_A_C_Localized &lang, const char *textProperty,
                bool (ZEM_F_E_Language::*check)(QObject *));

/**
 * hasToolTip from the engine's tool tip check against the title (null when the title is
 * not localized), then hasMadeUpToolTip for \a nounKey (none when empty). As with the
 * title, a tool tip still showing what the last check gave it keeps its key.
 */
void checkToolTipSupport(QObject *control, ZEM_A_C_Localized &lang, const QString &title,
                         const QString &nounKey);

/** Shows \a toolTip unless it is empty or the \a title itself. */
void setToolTipUnlessTitle(QObject *control, const QString &toolTip, const QString &title);

/**
 * The language change after the reset test: the text in \a textProperty from the title key
 * when hasTitle and \a titleShown, the tool tip from the tool tip key, or the made-up one.
 */
void applyLanguage(QObject *control, const ZEM_A_C_Localized &lang, const char *textProperty,
                   bool titleShown, const QString &nounKey, const ZEM_F_Notification &notification);

/**
 * The whole language change of a control with one title and tool tip: the reset with the
 * noun key's text on the number 0 (\a resetNounKey, empty for none), else applyLanguage().
 */
void titleAndToolTipCall(QObject *control, const ZEM_A_C_Localized &lang, const char *textProperty,
                         bool titleShown, const QString &nounKey, const QString &resetNounKey,
                         const ZEM_F_Notification &notification);

/** A window's title check: skipped, with hasTitle NO, when the title is to be ignored. */
void checkWindowTitle(QObject *window, ZEM_A_C_Localized &lang);

/** A window's language change; nothing at all, not even the reset, when the title is ignored. */
void windowTitleCall(QObject *window, const ZEM_A_C_Localized &lang,
                     const ZEM_F_Notification &notification);

} // namespace ZEM_A_C_LocalizedSteps
