#include "platform/store/StoreContext.h"

#include "platform/store/PersistentObject.h"
#include "platform/store/PersistentObject_p.h"
#include "platform/Invoke.h"
#include "platform/PlatformLog.h"
#include "platform/store/StoreCoordinator.h"
#include "platform/store/detail/StoreUndoCommands.h"
#include "foundation/ZEM_F_ClassRegistry.h"
#include "foundation/ZEM_F_E_Notifications.h"

#include <QHash>
#include <QPointer>
#include <QTimer>
#include <QUndoStack>

#include <algorithm>
#include <atomic>

namespace platform {

namespace {

using detail::PresenceCommand;
using detail::ValueChangeCommand;

RecordSet recordsIn(const QVariant &value)
{
    if (PersistentObject *one = PersistentObject::fromVariant(value))
        return RecordSet{one};
    return PersistentObject::setFromVariant(value);
}

const QString kTemporaryPrefix = QStringLiteral("x-temp/");

bool isTemporaryID(const QString &objectID)
{
    return objectID.startsWith(kTemporaryPrefix);
}

template<class Records>
QVariantList wrapAll(const Records &records)
{
    QVariantList list;
    list.reserve(records.size());
    for (PersistentObject *r : records)
        list.append(QVariant::fromValue(r));
    return list;
}

} // namespace

struct StoreContext::Private
{
    std::unique_ptr<QUndoStack> undo;
    QList<PersistentObject *> registered;
    QList<PersistentObject *> orphans; // rolled back: out of the context, still ours to free
    QHash<QString, PersistentObject *> byID;
    RecordSet inserted, updated, deleted;                      // since the last save
    RecordSet pendingInserted, pendingUpdated, pendingDeleted; // since the last notice
    PersistentStore *store = nullptr;
    QPointer<PersistentStoreCoordinator> coordinator;
    RecordSet insertedThisStep;
    QList<QPointer<QObject>> editors;
    bool undoGroupOpen = false;
    bool endOfPassScheduled = false;
    bool replaying = false;
    bool undoEnabled = true;
    bool destroying = false;
    quint64 valueChanges = 0;
};

StoreContext::StoreContext(QObject *parent) : QObject(parent), d(std::make_unique<Private>())
{
    d->undo = std::make_unique<QUndoStack>();
}

StoreContext::~StoreContext()
{
    d->destroying = true;
    // Commands hold weak pointers, but dropping them first keeps undo from ever running
    // into half-destroyed records.
    d->undo.reset();
    QList<PersistentObject *> records = d->registered;
    records += d->orphans;
    d->registered.clear();
    d->orphans.clear();
    for (PersistentObject *record : std::as_const(records)) {
        record->d->context = nullptr;
        delete record;
    }
}

QString StoreContext::objectsDidChangeNotification()
{
    return QStringLiteral("NSManagedObjectContextObjectsDidChangeNotification");
}

QString StoreContext::didSaveNotification()
{
    return QStringLiteral("NSManagedObjectContextDidSaveNotification");
}

void StoreContext::adopt(PersistentObject *record, const QString &entityName)
{
    record->d->context = this;
    if (!entityName.isEmpty())
        record->d->entityName = entityName;
    d->registered.append(record);
    // Temporary ids are looked up rarely; keeping them out of the table spares a bulk
    // insert a hash insertion and removal per record.
    if (!record->d->objectID.isEmpty() && !isTemporaryID(record->d->objectID))
        d->byID.insert(record->d->objectID, record);
}

PersistentObject *StoreContext::createRecord(const QString &entityName) const
{
    QString className = entityName;
    if (const DataModel *m = model())
        if (const EntityDescription *entity = m->entity(entityName))
            className = entity->className;
    QObject *object = ZEM_F_ClassRegistry::create(className);
    auto *record = qobject_cast<PersistentObject *>(object);
    if (!record) {
        delete object;
        record = new PersistentObject;
    }
    return record;
}

PersistentObject *StoreContext::insertNewObject(const QString &entityName)
{
    PersistentObject *record = createRecord(entityName);
    if (const DataModel *m = model())
        if (const EntityDescription *entity = m->entity(entityName))
            for (const AttributeDescription &a : entity->attributes)
                if (a.defaultValue.isValid())
                    record->d->values.insert(a.name, a.defaultValue);
    insertObject(record, entityName);
    record->awakeFromInsert();
    return record;
}

void StoreContext::insertObject(PersistentObject *record, const QString &entityName)
{
    if (!record || record->d->context)
        return;
    static std::atomic<quint64> nextTemporary{0};
    record->d->objectID = kTemporaryPrefix + QString::number(++nextTemporary);
    adopt(record, entityName);
    // Run the class's initialize now rather than in the middle of the first change.
    record->recordClass();
    d->inserted.insert(record);
    d->pendingInserted.insert(record);
    scheduleEndOfPass();
    pushPresence(record, true);
}

PersistentObject *StoreContext::registerObject(const QString &entityName, const QString &objectID)
{
    if (objectID.isEmpty())
        return nullptr;
    if (PersistentObject *known = d->byID.value(objectID))
        return known;
    PersistentObject *record = createRecord(entityName);
    record->d->objectID = objectID;
    record->d->fault = true;
    adopt(record, entityName);
    return record;
}

PersistentObject *StoreContext::objectWithID(const QString &objectID) const
{
    if (!isTemporaryID(objectID))
        return d->byID.value(objectID);
    for (PersistentObject *record : std::as_const(d->inserted))
        if (record->d->objectID == objectID)
            return record;
    return nullptr;
}

void StoreContext::deleteObject(PersistentObject *record)
{
    if (!record || record->d->context != this || record->d->deleted)
        return;
    // Its values must outlive the deletion, for undo and for a store that re-inserts it.
    record->fireFaultIfNeeded();
    const DataModel *m = model();
    const EntityDescription *entity = m ? m->entity(record->entityName()) : nullptr;
    RecordSet cascade;
    if (entity) {
        for (const RelationshipDescription &r : entity->relationships) {
            const RecordSet related = recordsIn(record->d->values.value(r.name));
            if (r.deleteRule == DeleteRule::Cascade)
                cascade.unite(related);
            if (r.inverseName.isEmpty() || related.isEmpty())
                continue;
            // Letting go of the related records lets them go of this one (keepInverseInStep).
            record->willChangeValueForKey(r.name);
            record->setPrimitiveValue({}, r.name);
            record->didChangeValueForKey(r.name);
        }
        // Relations without an inverse cannot be followed back: look for them.
        for (const EntityDescription &other : m->entities())
            for (const RelationshipDescription &r : other.relationships)
                if (r.destinationEntity == entity->name && r.inverseName.isEmpty())
                    nullifyReferences(record, r.name, other.name);
    } else {
        nullifyReferences(record, {}, {});
    }
    setPresent(record, false);
    pushPresence(record, false);
    for (PersistentObject *other : std::as_const(cascade))
        deleteObject(other);
}

void StoreContext::nullifyReferences(PersistentObject *record, const QString &onlyKey, const QString &onlyEntity)
{
    const QList<PersistentObject *> others = d->registered;
    for (PersistentObject *other : others) {
        if (other == record || other->d->deleted || other->d->fault)
            continue;
        if (!onlyEntity.isEmpty() && other->entityName() != onlyEntity)
            continue;
        const QStringList keys = onlyKey.isEmpty() ? other->d->values.keys() : QStringList{onlyKey};
        for (const QString &key : keys) {
            const QVariant value = other->d->values.value(key);
            if (PersistentObject::fromVariant(value) == record) {
                other->willChangeValueForKey(key);
                other->setPrimitiveValue({}, key);
                other->didChangeValueForKey(key);
            } else if (value.metaType() == QMetaType::fromType<RecordSet>()) {
                RecordSet members = PersistentObject::setFromVariant(value);
                if (!members.contains(record))
                    continue;
                const RecordSet gone{record};
                other->willChangeValueForKey(key, SetMutationKind::Minus, gone);
                members.remove(record);
                other->setPrimitiveValue(PersistentObject::toVariant(members), key);
                other->didChangeValueForKey(key, SetMutationKind::Minus, gone);
            }
        }
    }
}

void StoreContext::setPresent(PersistentObject *record, bool present)
{
    if (record->d->context != this || record->d->deleted != present)
        return;
    record->d->deleted = !present;
    if (!present) {
        d->updated.remove(record);
        d->pendingUpdated.remove(record);
        if (d->inserted.remove(record)) {
            // Never saved: nothing for the store to delete, nothing left to announce.
            if (!d->pendingInserted.remove(record))
                d->pendingDeleted.insert(record);
        } else {
            d->deleted.insert(record);
            d->pendingDeleted.insert(record);
        }
    } else if (d->deleted.remove(record)) {
        // Still in the store; its values may have changed before it was deleted.
        if (!d->pendingDeleted.remove(record))
            d->pendingInserted.insert(record);
        d->updated.insert(record);
    } else {
        // Gone from the store (or never there): it goes in again.
        d->inserted.insert(record);
        d->pendingInserted.insert(record);
    }
    scheduleEndOfPass();
}

void StoreContext::pushPresence(PersistentObject *record, bool present)
{
    if (d->replaying || !d->undoEnabled || d->destroying)
        return;
    openUndoGroup();
    if (present)
        d->insertedThisStep.insert(record);
    d->undo->push(new PresenceCommand(record, present, &d->replaying,
                                      [this](PersistentObject *r, bool p) { setPresent(r, p); }));
}

QList<PersistentObject *> StoreContext::registeredObjects() const
{
    return d->registered;
}

RecordSet StoreContext::insertedObjects() const
{
    return d->inserted;
}

RecordSet StoreContext::updatedObjects() const
{
    return d->updated;
}

RecordSet StoreContext::deletedObjects() const
{
    return d->deleted;
}

quint64 StoreContext::valueChanges() const
{
    return d->valueChanges;
}

bool StoreContext::hasChanges() const
{
    return !d->inserted.isEmpty() || !d->updated.isEmpty() || !d->deleted.isEmpty();
}

void StoreContext::recordChange(PersistentObject *record, const QString &key, const QVariant &oldValue,
                                const QVariant &newValue)
{
    if (d->destroying || record->d->deleted)
        return;
    const bool same = oldValue.metaType() == newValue.metaType() && oldValue == newValue;
    if (same)
        return;
    ++d->valueChanges;
    if (!d->inserted.contains(record)) {
        d->updated.insert(record);
        d->pendingUpdated.insert(record);
    }
    scheduleEndOfPass();
    // Undo and redo replay the other side's changes as commands of their own.
    if (!d->replaying)
        keepInverseInStep(record, key, oldValue, newValue);
    if (d->replaying || !d->undoEnabled)
        return;
    // A record inserted in this same step leaves with its insertion when the step is
    // undone and comes back as it was at the step's end: its own changes need no commands.
    if (d->undoGroupOpen && d->insertedThisStep.contains(record))
        return;
    openUndoGroup();
    d->undo->push(new ValueChangeCommand(this, record, key, oldValue, newValue, &d->replaying));
}

void StoreContext::keepInverseInStep(PersistentObject *record, const QString &key, const QVariant &oldValue,
                                     const QVariant &newValue)
{
    const DataModel *m = model();
    if (!m)
        return;
    const RelationshipDescription *inverse = m->inverseOf(record->entityName(), key);
    if (!inverse)
        return;
    const RecordSet before = recordsIn(oldValue);
    const RecordSet after = recordsIn(newValue);
    const QString &back = inverse->name;
    for (PersistentObject *other : before) {
        if (after.contains(other) || other->d->context != this)
            continue;
        if (inverse->toMany) {
            RecordSet members = PersistentObject::setFromVariant(other->primitiveValueForKey(back));
            if (!members.contains(record))
                continue;
            const RecordSet gone{record};
            other->willChangeValueForKey(back, SetMutationKind::Minus, gone);
            members.remove(record);
            other->setPrimitiveValue(PersistentObject::toVariant(members), back);
            other->didChangeValueForKey(back, SetMutationKind::Minus, gone);
        } else if (PersistentObject::fromVariant(other->primitiveValueForKey(back)) == record) {
            other->willChangeValueForKey(back);
            other->setPrimitiveValue({}, back);
            other->didChangeValueForKey(back);
        }
    }
    for (PersistentObject *other : after) {
        if (before.contains(other) || other->d->context != this)
            continue;
        if (inverse->toMany) {
            RecordSet members = PersistentObject::setFromVariant(other->primitiveValueForKey(back));
            if (members.contains(record))
                continue;
            const RecordSet added{record};
            other->willChangeValueForKey(back, SetMutationKind::Union, added);
            members.insert(record);
            other->setPrimitiveValue(PersistentObject::toVariant(members), back);
            other->didChangeValueForKey(back, SetMutationKind::Union, added);
        } else if (PersistentObject::fromVariant(other->primitiveValueForKey(back)) != record) {
            // Its former partner lets go of it in turn, through this same path.
            other->willChangeValueForKey(back);
            other->setPrimitiveValue(PersistentObject::toVariant(record), back);
            other->didChangeValueForKey(back);
        }
    }
}

void StoreContext::forgetObject(PersistentObject *record)
{
    if (d->destroying)
        return;
    d->registered.removeOne(record);
    if (!record->d->objectID.isEmpty() && d->byID.value(record->d->objectID) == record)
        d->byID.remove(record->d->objectID);
    for (RecordSet *set : {&d->inserted, &d->updated, &d->deleted, &d->pendingInserted,
                           &d->pendingUpdated, &d->pendingDeleted})
        set->remove(record);
}

void StoreContext::scheduleEndOfPass()
{
    if (d->endOfPassScheduled)
        return;
    d->endOfPassScheduled = true;
    QTimer::singleShot(0, this, [this] {
        d->endOfPassScheduled = false;
        processPendingChanges();
    });
}

void StoreContext::openUndoGroup()
{
    if (d->undoGroupOpen)
        return;
    d->undo->beginMacro(tr("Change"));
    d->undoGroupOpen = true;
}

void StoreContext::endUndoGroup()
{
    if (!d->undoGroupOpen)
        return;
    d->undoGroupOpen = false;
    d->insertedThisStep.clear();
    d->undo->endMacro();
}

void StoreContext::processPendingChanges()
{
    endUndoGroup();
    if (d->pendingInserted.isEmpty() && d->pendingUpdated.isEmpty() && d->pendingDeleted.isEmpty())
        return;
    QVariantMap info;
    info.insert(QStringLiteral("inserted"), wrapAll(d->pendingInserted));
    info.insert(QStringLiteral("updated"), wrapAll(d->pendingUpdated));
    info.insert(QStringLiteral("deleted"), wrapAll(d->pendingDeleted));
    d->pendingInserted.clear();
    d->pendingUpdated.clear();
    d->pendingDeleted.clear();
    Q_EMIT objectsDidChange(info);
    ZEM_F_E_Notifications::shared()->postNotificationNameObject(objectsDidChangeNotification(),
                                                                ZEM_F_Notification::wrap(this), info);
}

QUndoStack *StoreContext::undoManager() const
{
    return d->undo.get();
}

void StoreContext::undo()
{
    endUndoGroup();
    d->undo->undo();
}

void StoreContext::redo()
{
    endUndoGroup();
    d->undo->redo();
}

void StoreContext::removeAllUndoActions()
{
    endUndoGroup();
    d->undo->clear();
}

void StoreContext::setUndoEnabled(bool enabled)
{
    if (!enabled)
        endUndoGroup();
    d->undoEnabled = enabled;
}

bool StoreContext::isUndoEnabled() const
{
    return d->undoEnabled;
}

PersistentStore *StoreContext::persistentStore() const
{
    if (d->store)
        return d->store;
    return d->coordinator ? d->coordinator->persistentStore() : nullptr;
}

PersistentStoreCoordinator *StoreContext::persistentStoreCoordinator() const
{
    return d->coordinator;
}

void StoreContext::setPersistentStoreCoordinator(PersistentStoreCoordinator *coordinator)
{
    d->coordinator = coordinator;
}

const DataModel *StoreContext::model() const
{
    if (d->coordinator)
        return &d->coordinator->model();
    if (d->store)
        return &d->store->model();
    return nullptr;
}

void StoreContext::setPersistentStore(PersistentStore *store)
{
    d->store = store;
}

ZEM_Result<void> StoreContext::save()
{
    processPendingChanges();
    if (!hasChanges())
        return {};
    PersistentStore *store = persistentStore();
    if (!store)
        return ZEM_Error::make(ZEM_Error::Unavailable, tr("The context has no store to save to."));
    if (store->isReadOnly())
        return ZEM_Error::make(ZEM_Error::WriteFailed, tr("The store %1 is read-only.").arg(store->path()),
                               {store->path()});
    PersistentStore::Changes changes;
    // In the order the records joined the context, so a store writes them reproducibly.
    for (PersistentObject *record : std::as_const(d->registered)) {
        if (d->inserted.contains(record))
            changes.inserted.append(record);
        else if (d->updated.contains(record))
            changes.updated.append(record);
        else if (d->deleted.contains(record))
            changes.deleted.append(record);
    }
    ZEM_Result<void> result = store->saveChanges(changes);
    if (!result)
        return result;
    d->inserted.clear();
    d->updated.clear();
    d->deleted.clear();
    QVariantMap info;
    info.insert(QStringLiteral("inserted"), wrapAll(changes.inserted));
    info.insert(QStringLiteral("updated"), wrapAll(changes.updated));
    info.insert(QStringLiteral("deleted"), wrapAll(changes.deleted));
    Q_EMIT didSave();
    ZEM_F_E_Notifications::shared()->postNotificationNameObject(didSaveNotification(),
                                                                ZEM_F_Notification::wrap(this), info);
    return {};
}

bool StoreContext::refreshObject(PersistentObject *record)
{
    if (!record || record->d->context != this || d->inserted.contains(record) || record->d->deleted)
        return false;
    if (record->d->fault)
        return true;
    record->d->values.clear();
    record->d->fault = true;
    d->updated.remove(record);
    d->pendingUpdated.remove(record);
    record->didTurnIntoFault();
    return true;
}

void StoreContext::fireFault(PersistentObject *record)
{
    if (!record || !record->d->fault)
        return;
    PersistentStore *store = persistentStore();
    if (!store) {
        qCWarning(zemPlatform) << "no store to load" << record->entityName() << record->objectID();
        return;
    }
    ZEM_Result<QVariantMap> values = store->loadValues(*record);
    if (!values) {
        qCWarning(zemPlatform) << "cannot load" << record->entityName() << record->objectID() << ":"
                               << values.error().message;
        return;
    }
    record->d->fault = false;
    for (auto it = values->cbegin(); it != values->cend(); ++it) {
        const QVariant value = recordsForRefs(it.value());
        if (value.isValid())
            record->d->values.insert(it.key(), value);
    }
    record->awakeFromFetch();
}

QVariant StoreContext::recordsForRefs(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<ObjectRef>()) {
        const auto &ref = *static_cast<const ObjectRef *>(value.constData());
        return PersistentObject::toVariant(registerObject(ref.entityName, ref.objectID));
    }
    if (value.metaType() == QMetaType::fromType<ObjectRefList>()) {
        RecordSet records;
        for (const ObjectRef &ref : *static_cast<const ObjectRefList *>(value.constData()))
            if (PersistentObject *r = registerObject(ref.entityName, ref.objectID))
                records.insert(r);
        return PersistentObject::toVariant(records);
    }
    return value;
}

ZEM_Result<QList<PersistentObject *>> StoreContext::fetch(const FetchRequest &request)
{
    if (request.entityName.isEmpty())
        return ZEM_Error::make(ZEM_Error::InvalidArgument, tr("A fetch needs an entity."));
    const DataModel *m = model();
    if (m && !m->entity(request.entityName))
        return ZEM_Error::make(ZEM_Error::NotFound, tr("The model has no entity %1.").arg(request.entityName),
                               {request.entityName});

    // Changed records of the entity are tested as they are now, so the store's answer
    // may need records added, dropped and re-sorted.
    QList<PersistentObject *> pending;
    for (PersistentObject *r : std::as_const(d->registered))
        if ((d->inserted.contains(r) || d->updated.contains(r)) && r->entityName() == request.entityName)
            pending.append(r);

    QList<PersistentObject *> result;
    QSet<PersistentObject *> seen;
    if (PersistentStore *store = persistentStore()) {
        FetchRequest storeRequest = request;
        if (!pending.isEmpty())
            storeRequest.fetchLimit = 0;
        ZEM_Result<QStringList> ids = store->fetchObjectIDs(storeRequest);
        if (!ids)
            return ids.error();
        result.reserve(ids->size());
        for (const QString &id : std::as_const(*ids)) {
            PersistentObject *r = registerObject(request.entityName, id);
            if (!r || r->d->deleted || d->updated.contains(r))
                continue;
            result.append(r);
            seen.insert(r);
        }
    }
    if (pending.isEmpty())
        return result;

    bool added = false;
    for (PersistentObject *r : std::as_const(pending)) {
        if (seen.contains(r) || r->d->deleted || !request.predicate.evaluate(r))
            continue;
        result.append(r);
        added = true;
    }
    if (added && !request.sortDescriptors.isEmpty()) {
        std::stable_sort(result.begin(), result.end(), [&request](PersistentObject *a, PersistentObject *b) {
            return SortDescriptor::compare(
                       request.sortDescriptors, [a](const QString &k) { return a->valueForKeyPath(k); },
                       [b](const QString &k) { return b->valueForKeyPath(k); })
                   < 0;
        });
    }
    if (request.fetchLimit > 0 && result.size() > request.fetchLimit)
        result.resize(request.fetchLimit);
    return result;
}

ZEM_Result<QList<PersistentObject *>> StoreContext::fetch(const QString &entityName, const QString &predicateFormat,
                                                         const QVariantList &arguments,
                                                         const QList<SortDescriptor> &sortDescriptors)
{
    FetchRequest request;
    request.entityName = entityName;
    request.sortDescriptors = sortDescriptors;
    if (!predicateFormat.isEmpty()) {
        ZEM_Result<Predicate> predicate = Predicate::parse(predicateFormat, arguments);
        if (!predicate)
            return predicate.error();
        request.predicate = *predicate;
    }
    return fetch(request);
}

ZEM_Result<int> StoreContext::count(const FetchRequest &request)
{
    ZEM_Result<QList<PersistentObject *>> records = fetch(request);
    if (!records)
        return records.error();
    return int(records->size());
}

void StoreContext::rollback()
{
    endUndoGroup();
    d->undo->clear();
    QList<PersistentObject *> kept;
    kept.reserve(d->registered.size());
    for (PersistentObject *record : std::as_const(d->registered)) {
        if (d->inserted.contains(record)) {
            // It leaves the context but stays alive, until the context goes, for whoever holds it.
            record->d->deleted = true;
            record->d->context = nullptr;
            d->orphans.append(record);
            if (d->byID.value(record->d->objectID) == record)
                d->byID.remove(record->d->objectID);
            continue;
        }
        if (d->updated.contains(record) || d->deleted.contains(record)) {
            record->d->deleted = false;
            record->d->values.clear();
            record->d->fault = true;
            record->didTurnIntoFault();
        }
        kept.append(record);
    }
    d->registered = std::move(kept);
    for (RecordSet *set : {&d->inserted, &d->updated, &d->deleted, &d->pendingInserted, &d->pendingUpdated,
                           &d->pendingDeleted})
        set->clear();
}

bool StoreContext::commitEditing()
{
    const QList<QPointer<QObject>> editors = d->editors;
    for (const QPointer<QObject> &editor : editors) {
        if (!editor || !respondsTo(editor, "commitEditing"))
            continue;
        bool ok = false;
        const QVariant answer = perform(editor, "commitEditing", {}, &ok);
        if (ok && answer.isValid() && !answer.toBool())
            return false;
    }
    return true;
}

void StoreContext::objectDidBeginEditing(QObject *editor)
{
    if (editor && !d->editors.contains(editor))
        d->editors.append(editor);
}

void StoreContext::objectDidEndEditing(QObject *editor)
{
    d->editors.removeAll(editor);
}

void StoreContext::setObjectID(PersistentObject *record, const QString &objectID)
{
    if (!record || record->d->context != this || objectID.isEmpty())
        return;
    if (d->byID.value(record->d->objectID) == record)
        d->byID.remove(record->d->objectID);
    record->d->objectID = objectID;
    d->byID.insert(objectID, record);
}

} // namespace platform
