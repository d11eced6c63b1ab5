#pragma once

#include "platform/store/DataModel.h"
#include "platform/store/Predicate.h"
#include "foundation/ZEM_Result.h"
#include "zem_appkit_export.h"

#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace platform {

class PersistentObject;

/**
 * A record as a store names it in loaded values: a to-one relation loads as one ObjectRef,
 * a to-many relation as an ObjectRefList. The context turns them into records (faults
 * where not yet loaded).
 */
struct ObjectRef
{
    QString entityName;
    QString objectID;
    friend bool operator==(const ObjectRef &, const ObjectRef &) = default;
};
using ObjectRefList = QList<ObjectRef>;

/** How a store is opened. */
struct StoreOptions
{
    /** Open for reading only: nothing is created and every save fails. */
    bool readOnly = false;
};

/**
 * Where records of a StoreContext are kept. A store holds records of the entities of its
 * model by object id: ids are unique within the store across entities and stay the
 * same for the life of the record.
 *
 * A store answers for its saved state only; the context adds what it has not saved yet.
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

    /** "SQLite" or "XML". */
    virtual QString type() const = 0;
    /** The file behind the store. */
    virtual QString path() const = 0;
    virtual const DataModel &model() const = 0;
    virtual bool isReadOnly() const { return false; }

    /**
     * The stored values of \a record (by its entityName() and objectID()): every attribute
     * that has a value, to-one relations as ObjectRef, to-many relations as ObjectRefList.
     * NotFound when the store has no such record.
     */
    virtual ZEM_Result<QVariantMap> loadValues(const PersistentObject &record) = 0;

    /**
     * The ids of the saved records of the request's entity that match its predicate, in the
     * order of its sort descriptors (ties in the order of insertion), at most fetchLimit.
     * Values are not loaded into records: callers register faults for the ids.
     */
    virtual ZEM_Result<QStringList> fetchObjectIDs(const FetchRequest &request) = 0;

    /**
     * Writes \a changes all or nothing: after a failure the store and its file are as they
     * were. Attributes are read with PersistentObject::primitiveValueForKey() and coerced
     * to the model's types; relations to records that are neither stored nor inserted in
     * this save are written as empty. Gives inserted records their permanent ids through
     * StoreContext::setObjectID() once the save has succeeded.
     */
    virtual ZEM_Result<void> saveChanges(const Changes &changes) = 0;
};

} // namespace platform

Q_DECLARE_METATYPE(platform::ObjectRef)
Q_DECLARE_METATYPE(platform::ObjectRefList)
