#pragma once

#include "foundation/ZEM_F_Notification.h"
#include "zem_appkit_export.h"

#include <QString>
#include <QStringList>

class QObject;
class ZEM_F_E_Language;

/**
 * What every localized control keeps and does alike: the message keys and flags the
 * language engine fills, registering for language changes with the dictionary entry a
 * second later, and letting go in the teardown. A wrapper holds one as a member, exposes
 * the keys as properties (the engine writes them by name) and forwards to it.
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_Localized
{
public:
    explicit ZEM_A_C_Localized(QObject *control);
    ~ZEM_A_C_Localized();
    ZEM_A_C_Localized(const ZEM_A_C_Localized &) = delete;
    ZEM_A_C_Localized &operator=(const ZEM_A_C_Localized &) = delete;

    QString titleKey;
    QString toolTipKey;
    QString paletteKey;
    QString currentToolTipKey;
    QStringList titleKeys;
    QStringList toolTipKeys;
    bool hasTitle = false;
    bool hasTitles = false;
    bool hasToolTip = false;
    bool hasToolTips = false;
    bool hasMadeUpToolTip = false;
    bool hasMadeUpToolTips = false;
    bool hasPalette = false;
    bool ignoreTitle = false;

    /**
     * Registers the control for language changes and enters its keys (and, with \a cells,
     * those of its cells or segments) in the language dictionary one second later.
     */
    void registerForLanguage(bool cells = false);

    /** True for the notification that restores the loaded texts: the number 0. */
    static bool isReset(const ZEM_F_Notification &notification);
    static ZEM_F_E_Language *engine();
    /** The text of a noun key in the active language ("NL:Button" gives "Button"). */
    static QString noun(const QString &key);
    /** The text of \a key in the language \a notification announces. */
    static QString text(const QString &key, const QString &kind, const ZEM_F_Notification &notification);

private:
    QObject *m_control;
};
