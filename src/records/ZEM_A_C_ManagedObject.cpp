#include "ZEM_A_C_ManagedObject.h"

#include "ZEM_A_E_ManagedObject.h"
#include "foundation/ZEM_F_E_Notifications.h"
#include "platform/store/StoreContext.h"

#include <QUndoStack>

using platform::PersistentObject;
using platform::RecordSet;
using platform::SetMutationKind;

ZEM_RECORD_CLASS(ZEM_A_C_ManagedObject)

ZEM_A_C_ManagedObject::ZEM_A_C_ManagedObject(QObject *parent) : PersistentObject(parent) {}

ZEM_A_C_ManagedObject::~ZEM_A_C_ManagedObject() = default;

void ZEM_A_C_ManagedObject::initialize()
{
    PersistentObject::initialize();
}

QVariant ZEM_A_C_ManagedObject::objectForKeySupport(const QString &key)
{
    willAccessValueForKey(key);
    QVariant value = primitiveValueForKey(key);
    didAccessValueForKey(key);
    return value;
}

void ZEM_A_C_ManagedObject::setValueSupport(const QVariant &value, const QString &key)
{
    willChangeValueForKey(key);
    setPrimitiveValue(value, key);
    didChangeValueForKey(key);
}

QVariant ZEM_A_C_ManagedObject::relationForKey(const QString &key)
{
    return objectForKeySupport(key);
}

void ZEM_A_C_ManagedObject::setRelation(const QVariant &relation, const QString &key)
{
    setValueSupport(relation, key);
}

void ZEM_A_C_ManagedObject::setRelation(PersistentObject *record, const QString &key)
{
    setValueSupport(toVariant(record), key);
}

void ZEM_A_C_ManagedObject::setRelation(const RecordSet &records, const QString &key)
{
    setValueSupport(toVariant(records), key);
}

void ZEM_A_C_ManagedObject::mutateSet(const RecordSet &records, const QString &key, SetMutationKind kind)
{
    willChangeValueForKey(key, kind, records);
    RecordSet members = setFromVariant(primitiveValueForKey(key));
    if (kind == SetMutationKind::Union)
        members.unite(records);
    else
        members.subtract(records);
    setPrimitiveValue(toVariant(members), key);
    didChangeValueForKey(key, kind, records);
}

void ZEM_A_C_ManagedObject::addRelationObject(PersistentObject *record, const QString &key)
{
    mutateSet(record ? RecordSet{record} : RecordSet{}, key, SetMutationKind::Union);
}

void ZEM_A_C_ManagedObject::removeRelationObject(PersistentObject *record, const QString &key)
{
    mutateSet(record ? RecordSet{record} : RecordSet{}, key, SetMutationKind::Minus);
}

void ZEM_A_C_ManagedObject::addRelations(const RecordSet &records, const QString &key)
{
    mutateSet(records, key, SetMutationKind::Union);
}

void ZEM_A_C_ManagedObject::removeRelations(const RecordSet &records, const QString &key)
{
    mutateSet(records, key, SetMutationKind::Minus);
}

ZEM_A_C_ManagedObject *ZEM_A_C_ManagedObject::setCDRecordValuesFromDict(const KeyPathValues &values)
{
    for (const auto &[keyPath, value] : values)
        setValueForKeyPath(value, keyPath);
    return this;
}

ZEM_A_C_ManagedObject *ZEM_A_C_ManagedObject::setCDRecordValuesFromDict(const QVariantMap &values)
{
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        setValueForKeyPath(it.value(), it.key());
    return this;
}

QUndoStack *ZEM_A_C_ManagedObject::undoManager() const
{
    const platform::StoreContext *context = managedObjectContext();
    return context ? context->undoManager() : nullptr;
}

QString ZEM_A_C_ManagedObject::getSetAccessor(const QString &key) const
{
    return ZEM_A_E_ManagedObject::shared()->getSetAccessor(key);
}

QString ZEM_A_C_ManagedObject::convertedDateString(const QDateTime &date) const
{
    return ZEM_A_E_ManagedObject::shared()->convertedDateString(date);
}

QString ZEM_A_C_ManagedObject::saveNotesName() const
{
    return QStringLiteral("");
}

void ZEM_A_C_ManagedObject::didTurnIntoFault()
{
    ZEM_F_E_Notifications::shared()->removeObserver(this);
}

void ZEM_A_C_ManagedObject::setKeysBoth(const QMetaObject &cls, const QString &keyA, const QString &keyB)
{
    platform::RecordClass::addDependentKey(cls, keyA, keyB);
    platform::RecordClass::addDependentKey(cls, keyB, keyA);
}

void ZEM_A_C_ManagedObject::setKeysBothArray(const QMetaObject &cls, const QString &keyA, const QStringList &keys)
{
    for (const QString &keyB : keys)
        setKeysBoth(cls, keyA, keyB);
}
