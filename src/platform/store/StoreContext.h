#pragma once

#include "platform/store/ChangeNotice.h"
#include "platform/store/PersistentStore.h"
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
class PersistentStoreCoordinator;

/**
 * The scratch pad records live in: it owns them, tracks which were inserted, changed and
 * deleted since the last save, records undoable changes and saves through its store.
 *
 * Every change made through a record's will/did-change path becomes one undo command;
 * all commands of one pass of the event loop form one undo step. At the end of each pass
 * (or on processPendingChanges()) the context posts objectsDidChangeNotification() through
 * ZEM_F_E_Notifications with the context as object and the records inserted, updated and
 * deleted since the previous post under "inserted", "updated" and "deleted".
 *
 * With a data model (through a coordinator) the context also keeps both sides of a
 * relation with an inverse in step, applies delete rules, creates records as the classes
 * the model names and gives inserted records the model's defaults. Inserting and deleting
 * are undoable like value changes.
 *
 * **Example**
 * \code
 * platform::StoreContext context;
 * context.setPersistentStoreCoordinator(&coordinator);
 * auto people = context.fetch({u"Person"_s, *platform::Predicate::parse(u"lastName BEGINSWITH[c] %@"_s, {u"b"_s}),
 *                              {{u"lastName"_s}}});
 * if (people) for (auto *p : *people) qDebug() << p->valueForKey(u"lastName"_s);
 * \endcode
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
     * A new record of the class the model names for \a entityName (else the class registered
     * under that name with ZEM_RECORD_CLASS, else a plain PersistentObject), inserted into the
     * context with the model's default values; its awakeFromInsert() runs last.
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
     * Marks \a record deleted: records related to it let go of it, and those its cascading
     * relations reach are deleted too (all through the change path, so one undo brings
     * everything back). Without a model every registered record is searched for values
     * that point at it. The record itself stays alive, owned by the context, until the
     * context ends.
     */
    void deleteObject(PersistentObject *record);

    /**
     * The saved records the request asks for, merged with what the context has not saved:
     * deleted records are left out, changed and inserted ones are tested as they are now.
     * Records come back as faults where they are not loaded yet. Without a store only
     * inserted records are searched.
     */
    ZEM_Result<QList<PersistentObject *>> fetch(const FetchRequest &request);
    /** fetch() of \a entityName with a predicate format and its arguments. */
    ZEM_Result<QList<PersistentObject *>> fetch(const QString &entityName, const QString &predicateFormat,
                                                const QVariantList &arguments = {},
                                                const QList<SortDescriptor> &sortDescriptors = {});
    /** How many records fetch(\a request) would give. */
    ZEM_Result<int> count(const FetchRequest &request);

    QList<PersistentObject *> registeredObjects() const;
    RecordSet insertedObjects() const;
    RecordSet updatedObjects() const;
    RecordSet deletedObjects() const;
    /** True while inserted, updated or deleted records wait for a save. */
    bool hasChanges() const;
    /** How many value changes records of this context have had; only ever grows. */
    quint64 valueChanges() const;

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

    /** The store behind the context (not owned): the one set, else the coordinator's, or null. */
    PersistentStore *persistentStore() const;
    void setPersistentStore(PersistentStore *store);
    PersistentStoreCoordinator *persistentStoreCoordinator() const;
    /** Takes the model and store of \a coordinator (not owned). */
    void setPersistentStoreCoordinator(PersistentStoreCoordinator *coordinator);
    /** The coordinator's model, else the store's, or null. */
    const DataModel *model() const;

    /**
     * Drops every change since the last save: inserted records leave the context, changed
     * and deleted ones become faults again with their saved values, and the undo history
     * ends.
     */
    void rollback();

    /**
     * Asks every editor registered with objectDidBeginEditing() to finish its edit (its
     * Q_INVOKABLE bool commitEditing()); false as soon as one refuses.
     */
    bool commitEditing();
    void objectDidBeginEditing(QObject *editor);
    void objectDidEndEditing(QObject *editor);

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
    void openUndoGroup();
    void endUndoGroup();
    void adopt(PersistentObject *record, const QString &entityName);
    PersistentObject *createRecord(const QString &entityName) const;
    void setPresent(PersistentObject *record, bool present);
    void pushPresence(PersistentObject *record, bool present);
    void keepInverseInStep(PersistentObject *record, const QString &key, const QVariant &oldValue,
                           const QVariant &newValue);
    void nullifyReferences(PersistentObject *record, const QString &key, const QString &entityName);
    QVariant recordsForRefs(const QVariant &value);

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace platform
