#pragma once

#include "ChangeNotice.h"
#include "foundation/ZEM_Result.h"
#include "zem_appkit_export.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <memory>

class QUndoStack;

namespace platform {

class PersistentObject;

/**
 * What a store context asks of the store behind it. A store keeps records by entity and
 * object id; the context creates faults for the records a store hands out
 * (StoreContext::registerObject()) and asks for their values on first access.
 */
class ZEM_APPKIT_EXPORT PersistentStore
{
public:
    /** The changes one save writes; every record belongs to the context being saved. */
    struct Changes
    {
        QList<PersistentObject *> inserted;
        QList<PersistentObject *> updated;
        QList<PersistentObject *> deleted;
    };

    virtual ~PersistentStore();

    /** The stored values of \a record (by its entityName() and objectID()), key to value. */
    virtual ZEM_Result<QVariantMap> loadValues(const PersistentObject &record) = 0;
    /**
     * Writes \a changes all or nothing. May give inserted records their permanent ids
     * through StoreContext::setObjectID().
     */
    virtual ZEM_Result<void> saveChanges(const Changes &changes) = 0;
    virtual bool isReadOnly() const { return false; }
};

/**
 * The scratch pad records live in: it owns them, tracks which were inserted, changed and
 * deleted since the last save, records undoable changes and saves through its store.
 *
 * Every change made through a record's will/did-change path becomes one undo command;
 * all commands of one pass of the event loop form one undo step. At the end of each pass
 * (or on processPendingChanges()) the context posts objectsDidChangeNotification() through
 * ZEM_F_E_Notifications with the context as object and the records inserted, updated and
 * deleted since the previous post under "inserted", "updated" and "deleted".
 */
class ZEM_APPKIT_EXPORT StoreContext : public QObject
{
    Q_OBJECT
public:
    explicit StoreContext(QObject *parent = nullptr);
    ~StoreContext() override;
    Q_DISABLE_COPY_MOVE(StoreContext)

    /** "NSManagedObjectContextObjectsDidChangeNotification" */
    static QString objectsDidChangeNotification();
    /** "NSManagedObjectContextDidSaveNotification" */
    static QString didSaveNotification();

    /**
     * A new record of the class registered under \a entityName (ZEM_RECORD_CLASS), or a
     * plain PersistentObject when no record class has that name, inserted into the context.
     */
    PersistentObject *insertNewObject(const QString &entityName);
    template<class T>
    T *insertNewObject()
    {
        auto *record = new T;
        insertObject(record);
        return record;
    }
    /** Takes \a record (outside any context) into the context as inserted. */
    void insertObject(PersistentObject *record, const QString &entityName = {});
    /**
     * A fault for the record \a objectID of \a entityName that the store holds: its values
     * are loaded on first access. The same record when it is already registered.
     */
    PersistentObject *registerObject(const QString &entityName, const QString &objectID);
    /** The registered record with \a objectID, or null. */
    PersistentObject *objectWithID(const QString &objectID) const;
    /**
     * Marks \a record deleted: to-one values of other records that point at it are cleared
     * and it leaves their to-many sets (both through the change path, so those changes can
     * be undone). The record itself stays alive, owned by the context, until the context ends.
     */
    void deleteObject(PersistentObject *record);

    QList<PersistentObject *> registeredObjects() const;
    RecordSet insertedObjects() const;
    RecordSet updatedObjects() const;
    RecordSet deletedObjects() const;
    /** True while inserted, updated or deleted records wait for a save. */
    bool hasChanges() const;

    /** Ends the open undo step and posts the changes not yet announced. */
    void processPendingChanges();

    /** The context's undo stack; never null. */
    QUndoStack *undoManager() const;
    /** Undoes the last step (closing the open one first). */
    void undo();
    void redo();
    /** Forgets the undo history, closing the open step first. */
    void removeAllUndoActions();
    /** While false, changes are not recorded for undo. */
    void setUndoEnabled(bool enabled);
    bool isUndoEnabled() const;

    /** The store behind the context (not owned), or null. */
    PersistentStore *persistentStore() const;
    void setPersistentStore(PersistentStore *store);

    /**
     * Writes the pending changes through the store and forgets them; posts
     * didSaveNotification(). With no changes it succeeds at once; with changes but no store,
     * or a read-only one, it fails and keeps every change.
     */
    ZEM_Result<void> save();

    /**
     * Turns \a record back into a fault: its values are dropped (unsaved changes of it
     * too) and reloaded on next access, and its didTurnIntoFault() runs. Only records the
     * store knows (registered, not inserted) can be; answers false for others.
     */
    bool refreshObject(PersistentObject *record);
    /** Loads a fault's values from the store; a failed load keeps it a fault and logs why. */
    void fireFault(PersistentObject *record);
    /** Gives \a record its store id. */
    void setObjectID(PersistentObject *record, const QString &objectID);

Q_SIGNALS:
    /** With the same information as objectsDidChangeNotification(). */
    void objectsDidChange(const QVariantMap &userInfo);
    void didSave();

private:
    friend class PersistentObject;
    void recordChange(PersistentObject *record, const QString &key, const QVariant &oldValue,
                      const QVariant &newValue);
    void forgetObject(PersistentObject *record);
    void scheduleEndOfPass();
    void endUndoGroup();
    void adopt(PersistentObject *record, const QString &entityName);

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace platform
