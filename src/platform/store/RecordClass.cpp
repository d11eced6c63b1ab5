#include "platform/store/RecordClass.h"

#include "platform/store/PersistentObject.h"
#include "platform/PlatformLog.h"

#include <QHash>
#include <QMetaMethod>

namespace platform {

namespace {

// Bumped by every registration; a class's cached lookups are dropped when it moved on.
quint64 g_generation = 1;

enum class Resolution { None, Table, Method };

struct Resolved
{
    Resolution kind = Resolution::None;
    int methodIndex = -1;
};

bool isAccessorCandidate(const QMetaMethod &m)
{
    return m.access() == QMetaMethod::Public
        && (m.methodType() == QMetaMethod::Method || m.methodType() == QMetaMethod::Slot);
}

// Most derived first, and never QObject's own members.
int findMethod(const QMetaObject *cls, const QByteArray &name, int parameterCount, bool needsResult)
{
    const int floor = QObject::staticMetaObject.methodCount();
    for (int i = cls->methodCount() - 1; i >= floor; --i) {
        const QMetaMethod m = cls->method(i);
        if (m.parameterCount() != parameterCount || m.name() != name || !isAccessorCandidate(m))
            continue;
        if (needsResult && m.returnMetaType().id() == QMetaType::Void)
            continue;
        return i;
    }
    return -1;
}

QVariant invokeGetter(QObject *object, const QMetaMethod &m)
{
    const QMetaType type = m.returnMetaType();
    if (type.id() == QMetaType::QVariant) {
        QVariant result;
        m.invoke(object, Qt::DirectConnection, Q_RETURN_ARG(QVariant, result));
        return result;
    }
    QVariant result(type);
    if (!m.invoke(object, Qt::DirectConnection, QGenericReturnArgument(type.name(), result.data())))
        return {};
    return result;
}

void invokeSetter(QObject *object, const QMetaMethod &m, const QVariant &value)
{
    const QMetaType type = m.parameterMetaType(0);
    if (type.id() == QMetaType::QVariant) {
        m.invoke(object, Qt::DirectConnection, Q_ARG(QVariant, value));
        return;
    }
    QVariant argument = value;
    if (!argument.isValid()) {
        argument = QVariant(type);
    } else if (argument.metaType() != type && !argument.convert(type)) {
        qCWarning(zemPlatform) << "cannot pass" << value.metaType().name() << "to"
                               << object->metaObject()->className() << m.methodSignature();
        return;
    }
    m.invoke(object, Qt::DirectConnection, QGenericArgument(type.name(), argument.constData()));
}

} // namespace

struct RecordClass::Private
{
    const QMetaObject *cls = nullptr;
    bool initialized = false;
    Initializer initializer = nullptr;

    // What this class registered itself.
    QHash<QString, Getter> getters;
    QHash<QString, Setter> setters;
    QHash<QString, QStringList> dependents;

    // Lookups through the superclasses, valid for one generation.
    quint64 generation = 0;
    QHash<QString, QStringList> mergedDependents;
    mutable QHash<QString, Resolved> resolvedGetters;
    mutable QHash<QString, Resolved> resolvedSetters;
    mutable QHash<QString, Getter> getterFns;
    mutable QHash<QString, Setter> setterFns;
};

struct RecordClassRegistry
{
    static QHash<const QMetaObject *, RecordClass *> &table()
    {
        static auto *t = new QHash<const QMetaObject *, RecordClass *>;
        return *t;
    }

    static RecordClass *entry(const QMetaObject *cls)
    {
        RecordClass *&e = table()[cls];
        if (!e)
            e = new RecordClass(cls);
        return e;
    }

    static void refresh(const RecordClass *rc)
    {
        RecordClass::Private *d = rc->d;
        if (d->generation == g_generation)
            return;
        d->generation = g_generation;
        d->mergedDependents.clear();
        d->resolvedGetters.clear();
        d->resolvedSetters.clear();
        d->getterFns.clear();
        d->setterFns.clear();
        // Superclass first, so each class's list keeps the order of registration from the top.
        QList<const QMetaObject *> chain;
        for (const QMetaObject *m = d->cls; m; m = m->superClass())
            chain.prepend(m);
        for (const QMetaObject *m : std::as_const(chain)) {
            const auto it = table().constFind(m);
            if (it == table().cend())
                continue;
            const RecordClass::Private *sd = (*it)->d;
            for (auto dep = sd->dependents.cbegin(); dep != sd->dependents.cend(); ++dep) {
                QStringList &merged = d->mergedDependents[dep.key()];
                for (const QString &k : dep.value())
                    if (!merged.contains(k))
                        merged.append(k);
            }
        }
    }

    template<class Fn>
    static const Fn *lookup(const RecordClass::Private *d, QHash<QString, Fn> RecordClass::Private::*own,
                            const QString &key)
    {
        for (const QMetaObject *m = d->cls; m; m = m->superClass()) {
            const auto it = table().constFind(m);
            if (it == table().cend())
                continue;
            const QHash<QString, Fn> &h = (*it)->d->*own;
            const auto f = h.constFind(key);
            if (f != h.cend())
                return &f.value();
        }
        return nullptr;
    }
};

RecordClass::RecordClass(const QMetaObject *cls) : d(new Private)
{
    d->cls = cls;
}

RecordClass::~RecordClass()
{
    delete d;
}

RecordClass *RecordClass::forMetaObject(const QMetaObject *cls)
{
    Q_ASSERT(cls);
    RecordClass *rc = RecordClassRegistry::entry(cls);
    if (!rc->d->initialized) {
        // Marked first: an initializer that touches its own class must not run itself again.
        rc->d->initialized = true;
        QList<Initializer> inherited;
        for (const QMetaObject *m = cls->superClass(); m; m = m->superClass()) {
            RecordClass *super = forMetaObject(m);
            if (super->d->initializer)
                inherited.append(super->d->initializer);
        }
        if (rc->d->initializer && !inherited.contains(rc->d->initializer))
            rc->d->initializer();
    }
    RecordClassRegistry::refresh(rc);
    return rc;
}

void RecordClass::registerInitializer(const QMetaObject &cls, Initializer initializer)
{
    RecordClass *rc = RecordClassRegistry::entry(&cls);
    rc->d->initializer = initializer;
    ++g_generation;
}

void RecordClass::registerGetter(const QMetaObject &cls, const QString &key, Getter getter)
{
    if (key.isEmpty() || !getter)
        return;
    RecordClassRegistry::entry(&cls)->d->getters.insert(key, std::move(getter));
    ++g_generation;
}

void RecordClass::registerSetter(const QMetaObject &cls, const QString &key, Setter setter)
{
    if (key.isEmpty() || !setter)
        return;
    RecordClassRegistry::entry(&cls)->d->setters.insert(key, std::move(setter));
    ++g_generation;
}

void RecordClass::addDependentKey(const QMetaObject &cls, const QString &key, const QString &dependentKey)
{
    if (key.isEmpty() || dependentKey.isEmpty() || key == dependentKey)
        return;
    QStringList &list = RecordClassRegistry::entry(&cls)->d->dependents[key];
    if (!list.contains(dependentKey))
        list.append(dependentKey);
    ++g_generation;
}

QString RecordClass::setterNameForKey(const QString &key)
{
    if (key.isEmpty())
        return QStringLiteral("set");
    // The first character as a title would write it: "ß" gives "Ss", "ǆ" gives "ǅ".
    const int firstLength = key.at(0).isHighSurrogate() && key.size() > 1 ? 2 : 1;
    const QString first = key.left(firstLength);
    QString capital = first.toUpper();
    if (capital.size() > first.size()) {
        capital = capital.left(1) + capital.mid(1).toLower();
    } else {
        const char32_t title = QChar::toTitleCase(first.toUcs4().value(0));
        capital = QString::fromUcs4(&title, 1);
    }
    return QStringLiteral("set") + capital + key.mid(firstLength);
}

const QMetaObject *RecordClass::metaObject() const
{
    return d->cls;
}

const QStringList &RecordClass::dependentKeys(const QString &key) const
{
    RecordClassRegistry::refresh(this);
    static const QStringList none;
    if (d->mergedDependents.isEmpty())
        return none;
    const auto it = d->mergedDependents.constFind(key);
    return it == d->mergedDependents.cend() ? none : it.value();
}

bool RecordClass::hasDependentKeys() const
{
    RecordClassRegistry::refresh(this);
    return !d->mergedDependents.isEmpty();
}

bool RecordClass::getValue(PersistentObject &object, const QString &key, QVariant *value) const
{
    RecordClassRegistry::refresh(this);
    auto it = d->resolvedGetters.constFind(key);
    if (it == d->resolvedGetters.cend()) {
        Resolved r;
        if (const Getter *fn = RecordClassRegistry::lookup(d, &Private::getters, key)) {
            r.kind = Resolution::Table;
            d->getterFns.insert(key, *fn);
        } else if ((r.methodIndex = findMethod(d->cls, key.toUtf8(), 0, true)) >= 0) {
            r.kind = Resolution::Method;
        }
        it = d->resolvedGetters.insert(key, r);
    }
    switch (it->kind) {
    case Resolution::None:
        return false;
    case Resolution::Table:
        *value = d->getterFns.value(key)(object);
        return true;
    case Resolution::Method:
        *value = invokeGetter(&object, d->cls->method(it->methodIndex));
        return true;
    }
    return false;
}

bool RecordClass::setValue(PersistentObject &object, const QString &key, const QVariant &value) const
{
    RecordClassRegistry::refresh(this);
    auto it = d->resolvedSetters.constFind(key);
    if (it == d->resolvedSetters.cend()) {
        Resolved r;
        if (const Setter *fn = RecordClassRegistry::lookup(d, &Private::setters, key)) {
            r.kind = Resolution::Table;
            d->setterFns.insert(key, *fn);
        } else if ((r.methodIndex = findMethod(d->cls, setterNameForKey(key).toUtf8(), 1, false)) >= 0) {
            r.kind = Resolution::Method;
        }
        it = d->resolvedSetters.insert(key, r);
    }
    switch (it->kind) {
    case Resolution::None:
        return false;
    case Resolution::Table:
        d->setterFns.value(key)(object, value);
        return true;
    case Resolution::Method:
        invokeSetter(&object, d->cls->method(it->methodIndex), value);
        return true;
    }
    return false;
}

} // namespace platform
