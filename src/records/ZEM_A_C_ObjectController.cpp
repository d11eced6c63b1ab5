#include "ZEM_A_C_ObjectController.h"

#include "foundation/ZEM_F_E_Notifications.h"
#include "platform/Invoke.h"
#include "platform/store/PersistentObject.h"
#include "platform/store/StoreContext.h"

ZEM_A_C_ObjectController::ZEM_A_C_ObjectController(QObject *parent) : platform::ObjectController(parent) {}

ZEM_A_C_ObjectController::~ZEM_A_C_ObjectController()
{
    ZEM_F_E_Notifications::shared()->removeObserver(this);
}

platform::PersistentObject *ZEM_A_C_ObjectController::managedObject() const
{
    return content();
}

void ZEM_A_C_ObjectController::setManagedObject(platform::PersistentObject *record)
{
    setContent(record);
}

void ZEM_A_C_ObjectController::awakeFromNib()
{
    checkButtons();
    setUpNotificationsObjectController();
}

void ZEM_A_C_ObjectController::checkButtons()
{
    platform::PersistentObject *record = managedObject();
    platform::StoreContext *context = record ? record->managedObjectContext() : nullptr;
    if (m_saveButton)
        m_saveButton->setEnabled(context && context->hasChanges());
    if (m_controller && m_controller != this && platform::respondsTo(m_controller, "checkButtons"))
        platform::perform(m_controller, "checkButtons");
}

void ZEM_A_C_ObjectController::setUpNotificationsObjectController()
{
    platform::PersistentObject *record = managedObject();
    m_watched = record ? record->managedObjectContext() : nullptr;
    if (!m_watched)
        return;
    const QVariant sender = ZEM_F_Notification::wrap(m_watched);
    auto *center = ZEM_F_E_Notifications::shared();
    center->addObserver(this, "contextObjectsDidChangeNotification:",
                        platform::StoreContext::objectsDidChangeNotification(), sender);
    center->addObserver(this, "contextDidSaveNotification:", platform::StoreContext::didSaveNotification(), sender);
}

void ZEM_A_C_ObjectController::checkIfFromOurContext(const ZEM_F_Notification &notification)
{
    platform::PersistentObject *record = managedObject();
    if (record && notification.objectAsQObject() == record->managedObjectContext())
        checkButtons();
}

void ZEM_A_C_ObjectController::contextObjectsDidChangeNotification(const ZEM_F_Notification &notification)
{
    checkIfFromOurContext(notification);
}

void ZEM_A_C_ObjectController::contextDidSaveNotification(const ZEM_F_Notification &notification)
{
    checkIfFromOurContext(notification);
}
