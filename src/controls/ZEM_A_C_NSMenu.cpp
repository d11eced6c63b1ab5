#include "ZEM_A_C_NSMenu.h"

#include "platform/InterfaceLoader.h"
#include "foundation/ZEM_F_E_Language.h"
#include "foundation/ZEM_F_E_Notifications.h"

#include <QTimer>

namespace {
constexpr int dictionaryDelayMs = 1000;
}

ZEM_A_C_NSMenu::ZEM_A_C_NSMenu(QWidget *parent) : QMenu(parent) {}

ZEM_A_C_NSMenu::ZEM_A_C_NSMenu(const QString &title, QWidget *parent) : QMenu(title, parent) {}

ZEM_A_C_NSMenu::~ZEM_A_C_NSMenu()
{
    ZEM_F_E_Language::shared()->removeObjectNotifications(this);
    ZEM_F_E_Notifications::shared()->removeObserver(this);
}

void ZEM_A_C_NSMenu::awakeFromNib()
{
    ZEM_F_E_Language *engine = ZEM_F_E_Language::shared();
    m_hasTitle = engine->checkTitle(this);
    engine->setObjectNotifications(this);
    // Timed with the control as context, not the engine: a control gone within the second
    // must not reach the engine as a dangling pointer.
    QTimer::singleShot(dictionaryDelayMs, this, [this] { ZEM_F_E_Language::shared()->addToLangDictionary(this); });
}

void ZEM_A_C_NSMenu::languageCall(const ZEM_F_Notification &notification)
{
    ZEM_F_E_Language *engine = ZEM_F_E_Language::shared();
    if (isResetNotification(notification)) {
        engine->resetTitleAndToolTip(this, {});
        return;
    }
    if (m_hasTitle)
        setTitle(engine->l(m_titleKey, QStringLiteral("NL"), notification));
}

bool ZEM_A_C_NSMenu::isResetNotification(const ZEM_F_Notification &notification)
{
    // Only a number counts: a language named by text ("English") is a language like any other.
    switch (notification.object.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
    case QMetaType::Float:
        return notification.object.toDouble() == 0.0;
    default:
        return false;
    }
}

ZEM_INTERFACE_CLASS(ZEM_A_C_NSMenu)
