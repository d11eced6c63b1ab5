#include "platform/store/ObjectController.h"

#include "platform/store/PersistentObject.h"
#include "platform/store/StoreContext.h"

namespace platform {

ObjectController::ObjectController(QObject *parent) : QObject(parent) {}

ObjectController::~ObjectController() = default;

PersistentObject *ObjectController::content() const
{
    return m_content;
}

void ObjectController::setContent(PersistentObject *record)
{
    if (m_content == record)
        return;
    m_content = record;
    Q_EMIT contentChanged();
}

StoreContext *ObjectController::managedObjectContext() const
{
    if (m_context)
        return m_context;
    return m_content ? m_content->managedObjectContext() : nullptr;
}

void ObjectController::setManagedObjectContext(StoreContext *context)
{
    m_context = context;
}

QUndoStack *ObjectController::undoManager() const
{
    StoreContext *context = managedObjectContext();
    return context ? context->undoManager() : nullptr;
}

} // namespace platform
