#include "ZEM_A_C_Localized.h"

#include "ZEM_A_C_NSMenu.h"
#include "foundation/ZEM_F_E_Language.h"
#include "foundation/ZEM_F_E_Notifications.h"

#include <QObject>
#include <QTimer>

namespace {
constexpr int kDictionaryDelayMs = 1000;
}

ZEM_A_C_Localized::ZEM_A_C_Localized(QObject *control) : m_control(control) {}

ZEM_A_C_Localized::~ZEM_A_C_Localized()
{
    ZEM_F_E_Language::shared()->removeObjectNotifications(m_control);
    ZEM_F_E_Notifications::shared()->removeObserver(m_control);
}

void ZEM_A_C_Localized::registerForLanguage(bool cells)
{
    engine()->setObjectNotifications(m_control);
    // Timed with the control as context: a control gone within the second must not reach
    // the engine as a dangling pointer.
    QObject *control = m_control;
    QTimer::singleShot(kDictionaryDelayMs, control, [control, cells] {
        engine()->addToLangDictionary(control);
        if (cells)
            engine()->addMultiToLangDictionary(control);
    });
}

bool ZEM_A_C_Localized::isReset(const ZEM_F_Notification &notification)
{
    return ZEM_A_C_NSMenu::isResetNotification(notification);
}

ZEM_F_E_Language *ZEM_A_C_Localized::engine()
{
    return ZEM_F_E_Language::shared();
}

QString ZEM_A_C_Localized::noun(const QString &key)
{
    return key.startsWith(QStringLiteral("NL:")) || key.startsWith(QStringLiteral("NT:"))
               ? engine()->stringForKeyLook(key)
               : engine()->stringForKey(key);
}

QString ZEM_A_C_Localized::text(const QString &key, const QString &kind, const ZEM_F_Notification &notification)
{
    return engine()->l(key, kind, notification);
}
