#pragma once

#include "foundation/ZEM_F_Notification.h"
#include "platform/store/ObjectController.h"
#include "platform/store/PersistentObject.h"
#include "zem_appkit_export.h"

#include <QAbstractButton>
#include <QPointer>

/**
 * The controller of a window that edits one record: keeps the window's save button
 * enabled exactly while the record's store context has unsaved changes, and passes the
 * same check on to a second controller that answers checkButtons.
 *
 * The context watched is the record's at awakeFromNib(); a record set later with another
 * context is not watched.
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_ObjectController : public platform::ObjectController
{
    Q_OBJECT
    Q_PROPERTY(platform::PersistentObject *managedObject READ managedObject WRITE setManagedObject)
    Q_PROPERTY(QObject *controller READ controller WRITE setController)
    Q_PROPERTY(QAbstractButton *saveButton READ saveButton WRITE setSaveButton)
public:
    explicit ZEM_A_C_ObjectController(QObject *parent = nullptr);
    ~ZEM_A_C_ObjectController() override;

    platform::PersistentObject *managedObject() const;
    QObject *controller() const { return m_controller; }
    QAbstractButton *saveButton() const { return m_saveButton; }
    /** Outlets, connected by the interface loader (or by hand before awakeFromNib()). */
    void setManagedObject(platform::PersistentObject *record);
    void setController(QObject *controller) { m_controller = controller; }
    void setSaveButton(QAbstractButton *button) { m_saveButton = button; }

    Q_INVOKABLE void awakeFromNib();
    Q_INVOKABLE void checkButtons();
    Q_INVOKABLE void setUpNotificationsObjectController();
    Q_INVOKABLE void contextObjectsDidChangeNotification(const ZEM_F_Notification &notification);
    Q_INVOKABLE void contextDidSaveNotification(const ZEM_F_Notification &notification);

private:
    void checkIfFromOurContext(const ZEM_F_Notification &notification);

    QPointer<QObject> m_controller;
    QPointer<QAbstractButton> m_saveButton;
    QPointer<platform::StoreContext> m_watched;
};
