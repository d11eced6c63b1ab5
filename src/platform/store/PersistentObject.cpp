#include "platform/store/PersistentObject.h"
#include "platform/store/PersistentObject_p.h"

#include "platform/store/RecordClass.h"
#include "platform/store/StoreContext.h"

namespace platform {

namespace {
ChangeKind kindOf(SetMutationKind kind)
{
    return kind == SetMutationKind::Union ? ChangeKind::Union : ChangeKind::Minus;
}
} // namespace

PersistentObject::PersistentObject(QObject *parent) : QObject(parent), d(std::make_unique<Private>()) {}

PersistentObject::~PersistentObject()
{
    if (d->context)
        d->context->forgetObject(this);
}

void PersistentObject::initialize() {}

StoreContext *PersistentObject::managedObjectContext() const
{
    return d->context;
}

QString PersistentObject::entityName() const
{
    return d->entityName.isEmpty() ? QString::fromLatin1(metaObject()->className()) : d->entityName;
}

QString PersistentObject::objectID() const
{
    return d->objectID;
}

bool PersistentObject::isFault() const
{
    return d->fault;
}

bool PersistentObject::isDeleted() const
{
    return d->deleted;
}

void PersistentObject::fireFaultIfNeeded()
{
    if (d->fault && !d->firing && d->context) {
        d->firing = true;
        d->context->fireFault(this);
        d->firing = false;
    }
}

QVariant PersistentObject::primitiveValueForKey(const QString &key)
{
    fireFaultIfNeeded();
    return d->values.value(key);
}

void PersistentObject::setPrimitiveValue(const QVariant &value, const QString &key)
{
    fireFaultIfNeeded();
    if (value.isValid())
        d->values.insert(key, value);
    else
        d->values.remove(key);
}

QStringList PersistentObject::primitiveKeys()
{
    fireFaultIfNeeded();
    return d->values.keys();
}

void PersistentObject::willAccessValueForKey(const QString &)
{
    fireFaultIfNeeded();
}

void PersistentObject::didAccessValueForKey(const QString &) {}

void PersistentObject::willChangeValueForKey(const QString &key)
{
    beginChange(key, ChangeKind::Setting, {});
}

void PersistentObject::didChangeValueForKey(const QString &key)
{
    endChange(key, ChangeKind::Setting, {});
}

void PersistentObject::willChangeValueForKey(const QString &key, SetMutationKind kind, const RecordSet &objects)
{
    beginChange(key, kindOf(kind), objects);
}

void PersistentObject::didChangeValueForKey(const QString &key, SetMutationKind kind, const RecordSet &objects)
{
    endChange(key, kindOf(kind), objects);
}

void PersistentObject::beginChange(const QString &key, ChangeKind kind, const RecordSet &objects)
{
    fireFaultIfNeeded();
    d->pending.push_back({key, kind, objects, d->values.value(key)});
    if (!d->observers.empty())
        notify(ChangeNotice{this, key, kind, objects, d->pending.back().oldValue, {}, true, false});
    notifyDependents(key, true);
}

void PersistentObject::endChange(const QString &key, ChangeKind kind, const RecordSet &objects)
{
    // The matching will-change is the latest one for the key; a did without a will still
    // notifies, with no old value.
    QVariant oldValue;
    for (auto it = d->pending.rbegin(); it != d->pending.rend(); ++it) {
        if (it->key == key) {
            oldValue = std::move(it->oldValue);
            d->pending.erase(std::next(it).base());
            break;
        }
    }
    const QVariant newValue = d->values.value(key);
    if (d->context)
        d->context->recordChange(this, key, oldValue, newValue);
    if (!d->observers.empty())
        notify(ChangeNotice{this, key, kind, objects, oldValue, newValue, false, false});
    Q_EMIT valueDidChange(key);
    notifyDependents(key, false);
}

void PersistentObject::notifyDependents(const QString &key, bool prior)
{
    const RecordClass *cls = recordClass();
    if (!cls->hasDependentKeys())
        return;
    // A copy: a handler may register keys and so rebuild the class's table.
    const QStringList dependents = cls->dependentKeys(key);
    for (const QString &dependent : dependents) {
        if (!d->observers.empty())
            notify(ChangeNotice{this, dependent, ChangeKind::Setting, {}, {}, {}, prior, true});
        if (!prior)
            Q_EMIT valueDidChange(dependent);
    }
}

void PersistentObject::notify(const ChangeNotice &notice)
{
    const ObserveOption wanted = notice.prior ? ObserveOption::Prior : ObserveOption::After;
    ++d->notifyDepth;
    // Observers added by a handler hear from the next notice on.
    const size_t count = d->observers.size();
    for (size_t i = 0; i < count && i < d->observers.size(); ++i) {
        detail::Observer *o = d->observers[i].get();
        if (o->removed || !o->options.testFlag(wanted) || o->key != notice.key)
            continue;
        if (o->hasContext && !o->context) {
            o->removed = true;
            d->needsCompact = true;
            continue;
        }
        o->handler(notice);
    }
    if (--d->notifyDepth == 0 && d->needsCompact)
        d->compact();
}

QVariant PersistentObject::valueForKey(const QString &key)
{
    QVariant value;
    if (recordClass()->getValue(*this, key, &value))
        return value;
    willAccessValueForKey(key);
    value = d->values.value(key);
    didAccessValueForKey(key);
    return value;
}

void PersistentObject::setValueForKey(const QVariant &value, const QString &key)
{
    if (recordClass()->setValue(*this, key, value))
        return;
    willChangeValueForKey(key);
    setPrimitiveValue(value, key);
    didChangeValueForKey(key);
}

QVariant PersistentObject::valueForKeyPath(const QString &keyPath)
{
    const qsizetype dot = keyPath.indexOf(QLatin1Char('.'));
    if (dot < 0)
        return valueForKey(keyPath);
    PersistentObject *next = fromVariant(valueForKey(keyPath.left(dot)));
    return next ? next->valueForKeyPath(keyPath.mid(dot + 1)) : QVariant();
}

void PersistentObject::setValueForKeyPath(const QVariant &value, const QString &keyPath)
{
    const qsizetype dot = keyPath.indexOf(QLatin1Char('.'));
    if (dot < 0) {
        setValueForKey(value, keyPath);
        return;
    }
    if (PersistentObject *next = fromVariant(valueForKey(keyPath.left(dot))))
        next->setValueForKeyPath(value, keyPath.mid(dot + 1));
}

bool PersistentObject::addObserver(const QString &key, QObject *context, Handler handler,
                                   ObserveOptions options)
{
    if (key.isEmpty() || !handler || !options)
        return false;
    auto o = std::make_unique<detail::Observer>();
    o->key = key;
    o->context = context;
    o->hasContext = context != nullptr;
    o->handler = std::move(handler);
    o->options = options;
    d->observers.push_back(std::move(o));
    return true;
}

void PersistentObject::removeObserver(QObject *context)
{
    d->markRemoved([context](const detail::Observer &o) { return o.context == context; });
}

void PersistentObject::removeObserver(QObject *context, const QString &key)
{
    d->markRemoved([context, &key](const detail::Observer &o) { return o.context == context && o.key == key; });
}

int PersistentObject::observerCount() const
{
    int n = 0;
    for (const auto &o : d->observers)
        if (!o->removed && (!o->hasContext || o->context))
            ++n;
    return n;
}

RecordClass *PersistentObject::recordClass() const
{
    // Checked each time: a constructor of a subclass would otherwise see its base's class.
    const QMetaObject *mo = metaObject();
    if (!d->cls || d->cls->metaObject() != mo)
        d->cls = RecordClass::forMetaObject(mo);
    return d->cls;
}

PersistentObject *PersistentObject::fromVariant(const QVariant &value)
{
    if (!value.isValid() || !(value.metaType().flags() & QMetaType::PointerToQObject))
        return nullptr;
    return qobject_cast<PersistentObject *>(*static_cast<QObject *const *>(value.constData()));
}

RecordSet PersistentObject::setFromVariant(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<RecordSet>())
        return *static_cast<const RecordSet *>(value.constData());
    RecordSet records;
    if (value.metaType() == QMetaType::fromType<QVariantList>()) {
        for (const QVariant &v : *static_cast<const QVariantList *>(value.constData()))
            if (PersistentObject *record = fromVariant(v))
                records.insert(record);
    }
    return records;
}

QVariant PersistentObject::toVariant(PersistentObject *record)
{
    return record ? QVariant::fromValue(record) : QVariant();
}

QVariant PersistentObject::toVariant(const RecordSet &records)
{
    return QVariant::fromValue(records);
}

void PersistentObject::didTurnIntoFault() {}

void PersistentObject::awakeFromInsert() {}

void PersistentObject::awakeFromFetch() {}

} // namespace platform
