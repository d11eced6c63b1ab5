#include "StoreContext.h"

#include "PersistentObject.h"
#include "PersistentObject_p.h"
#include "PlatformLog.h"
#include "foundation/ZEM_F_ClassRegistry.h"
#include "foundation/ZEM_F_E_Notifications.h"

#include <QHash>
#include <QPointer>
#include <QTimer>
#include <QUndoStack>
#include <QUuid>

namespace platform {

PersistentStore::~PersistentStore() = default;

namespace {

// One value change; undo and redo put the other value back through the change path, so
// observers hear of it like of any change.
class ValueChangeCommand : public QUndoCommand
{
public:
    ValueChangeCommand(StoreContext *context, PersistentObject *record, QString key, QVariant oldValue,
                       QVariant newValue, bool *replaying)
        : m_context(context), m_record(record), m_key(std::move(key)), m_old(std::move(oldValue)),
          m_new(std::move(newValue)), m_replaying(replaying)
    {
        setText(QStringLiteral("Change %1").arg(m_key));
    }

    void undo() override { apply(m_old); }
    void redo() override
    {
        // The change has already happened when the command is pushed.
        if (m_pushed)
            apply(m_new);
        m_pushed = true;
    }

private:
    void apply(const QVariant &value)
    {
        if (!m_record || !m_context)
            return;
        const bool was = *m_replaying;
        *m_replaying = true;
        m_record->willChangeValueForKey(m_key);
        m_record->setPrimitiveValue(value, m_key);
        m_record->didChangeValueForKey(m_key);
        *m_replaying = was;
    }

    QPointer<StoreContext> m_context;
    QPointer<PersistentObject> m_record;
    QString m_key;
    QVariant m_old;
    QVariant m_new;
    bool *m_replaying;
    bool m_pushed = false;
};

QVariantList wrapAll(const RecordSet &records)
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
    QHash<QString, PersistentObject *> byID;
    RecordSet inserted, updated, deleted;                      // since the last save
    RecordSet pendingInserted, pendingUpdated, pendingDeleted; // since the last notice
    PersistentStore *store = nullptr;
    bool undoGroupOpen = false;
    bool endOfPassScheduled = false;
    bool replaying = false;
    bool undoEnabled = true;
    bool destroying = false;
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
    const QList<PersistentObject *> records = d->registered;
    d->registered.clear();
    for (PersistentObject *record : records) {
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
    record->setParent(this);
    record->d->context = this;
    if (!entityName.isEmpty())
        record->d->entityName = entityName;
    d->registered.append(record);
    if (!record->d->objectID.isEmpty())
        d->byID.insert(record->d->objectID, record);
}

PersistentObject *StoreContext::insertNewObject(const QString &entityName)
{
    QObject *object = ZEM_F_ClassRegistry::create(entityName);
    auto *record = qobject_cast<PersistentObject *>(object);
    if (!record) {
        delete object;
        record = new PersistentObject;
    }
    insertObject(record, entityName);
    return record;
}

void StoreContext::insertObject(PersistentObject *record, const QString &entityName)
{
    if (!record || record->d->context)
        return;
    record->d->objectID = QStringLiteral("x-temp/") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    adopt(record, entityName);
    // Run the class's initialize now rather than in the middle of the first change.
    record->recordClass();
    d->inserted.insert(record);
    d->pendingInserted.insert(record);
    scheduleEndOfPass();
}

PersistentObject *StoreContext::registerObject(const QString &entityName, const QString &objectID)
{
    if (objectID.isEmpty())
        return nullptr;
    if (PersistentObject *known = d->byID.value(objectID))
        return known;
    QObject *object = ZEM_F_ClassRegistry::create(entityName);
    auto *record = qobject_cast<PersistentObject *>(object);
    if (!record) {
        delete object;
        record = new PersistentObject;
    }
    record->d->objectID = objectID;
    record->d->fault = true;
    adopt(record, entityName);
    return record;
}

PersistentObject *StoreContext::objectWithID(const QString &objectID) const
{
    return d->byID.value(objectID);
}

void StoreContext::deleteObject(PersistentObject *record)
{
    if (!record || record->d->context != this || record->d->deleted)
        return;
    // Relations that point at the record let go of it first, undoably.
    const QList<PersistentObject *> others = d->registered;
    for (PersistentObject *other : others) {
        if (other == record || other->d->deleted || other->d->fault)
            continue;
        const QStringList keys = other->d->values.keys();
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
    record->d->deleted = true;
    d->updated.remove(record);
    d->pendingUpdated.remove(record);
    if (d->inserted.remove(record)) {
        // Never saved: nothing for the store to delete.
        d->pendingInserted.remove(record);
    } else {
        d->deleted.insert(record);
        d->pendingDeleted.insert(record);
    }
    scheduleEndOfPass();
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
    if (!d->inserted.contains(record)) {
        d->updated.insert(record);
        d->pendingUpdated.insert(record);
    }
    scheduleEndOfPass();
    if (d->replaying || !d->undoEnabled)
        return;
    if (!d->undoGroupOpen) {
        d->undo->beginMacro(tr("Change"));
        d->undoGroupOpen = true;
    }
    d->undo->push(new ValueChangeCommand(this, record, key, oldValue, newValue, &d->replaying));
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

void StoreContext::endUndoGroup()
{
    if (!d->undoGroupOpen)
        return;
    d->undoGroupOpen = false;
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
    return d->store;
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
    if (!d->store)
        return ZEM_Error::make(ZEM_Error::Unavailable, tr("The context has no store to save to."));
    if (d->store->isReadOnly())
        return ZEM_Error::make(ZEM_Error::WriteFailed, tr("The store is read-only."));
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
    ZEM_Result<void> result = d->store->saveChanges(changes);
    if (!result)
        return result;
    d->inserted.clear();
    d->updated.clear();
    d->deleted.clear();
    QVariantMap info;
    info.insert(QStringLiteral("inserted"), wrapAll(RecordSet(changes.inserted.cbegin(), changes.inserted.cend())));
    info.insert(QStringLiteral("updated"), wrapAll(RecordSet(changes.updated.cbegin(), changes.updated.cend())));
    info.insert(QStringLiteral("deleted"), wrapAll(RecordSet(changes.deleted.cbegin(), changes.deleted.cend())));
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
    if (!d->store) {
        qCWarning(zemPlatform) << "no store to load" << record->entityName() << record->objectID();
        return;
    }
    ZEM_Result<QVariantMap> values = d->store->loadValues(*record);
    if (!values) {
        qCWarning(zemPlatform) << "cannot load" << record->entityName() << record->objectID() << ":"
                               << values.error().message;
        return;
    }
    record->d->fault = false;
    for (auto it = values->cbegin(); it != values->cend(); ++it)
        if (it.value().isValid())
            record->d->values.insert(it.key(), it.value());
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
