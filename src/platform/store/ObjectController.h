#pragma once

#include "zem_appkit_export.h"

#include <QObject>
#include <QPointer>

class QUndoStack;

namespace platform {

class PersistentObject;
class StoreContext;

/**
 * A controller for one record: the object a window's fields edit and the store context
 * they edit it in (the record's own unless one is set).
 */
class ZEM_APPKIT_EXPORT ObjectController : public QObject
{
    Q_OBJECT
public:
    explicit ObjectController(QObject *parent = nullptr);
    ~ObjectController() override;

    PersistentObject *content() const;
    void setContent(PersistentObject *record);

    /** The context set, else the content's. */
    StoreContext *managedObjectContext() const;
    void setManagedObjectContext(StoreContext *context);
    /** The context's undo stack, or null without a context. */
    QUndoStack *undoManager() const;

Q_SIGNALS:
    void contentChanged();

private:
    QPointer<PersistentObject> m_content;
    QPointer<StoreContext> m_context;
};

} // namespace platform
