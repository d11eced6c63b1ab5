#pragma once

#include "zem_appkit_export.h"
#include "foundation/ZEM_F_ClassRegistry.h"

#include <QMetaObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <type_traits>

namespace platform {

class PersistentObject;

/**
 * The class side of records: per-class tables of accessors and dependent keys, and the
 * class's one-time initialize.
 *
 * Tables are kept per QMetaObject; a lookup on a class also sees what its superclasses
 * registered (nearest class first) and is cached until the next registration.
 *
 * A record class's static initialize() runs once, lazily, before the class is first used
 * through these tables (superclasses first). A class that does not declare its own
 * initialize() inherits its superclass's, which is not run a second time for it.
 *
 * **Example**
 * \code
 * // in Contact.cpp
 * ZEM_RECORD_CLASS(Contact)
 * void Contact::initialize()
 * {
 *     ZEM_A_C_ManagedObject::initialize();
 *     setKeysBoth<Contact>(u"notes"_s, u"notesString"_s);
 *     platform::RecordClass::registerSetter<Contact>(u"firstName"_s, &Contact::setFirstName);
 * }
 * \endcode
 */
class ZEM_APPKIT_EXPORT RecordClass
{
public:
    using Getter = std::function<QVariant(PersistentObject &)>;
    using Setter = std::function<void(PersistentObject &, const QVariant &)>;
    using Initializer = void (*)();

    /** The tables of \a cls, after running the pending initializers of it and its superclasses. */
    static RecordClass *forMetaObject(const QMetaObject *cls);

    static void registerInitializer(const QMetaObject &cls, Initializer initializer);
    static void registerGetter(const QMetaObject &cls, const QString &key, Getter getter);
    static void registerSetter(const QMetaObject &cls, const QString &key, Setter setter);
    /** From now on a change of \a key also notifies the observers of \a dependentKey. */
    static void addDependentKey(const QMetaObject &cls, const QString &key,
                                const QString &dependentKey);

    /** Registers a member setter taking the value as any type a QVariant converts to. */
    template<class T, class V>
    static void registerSetter(const QString &key, void (T::*member)(V))
    {
        using Value = std::remove_cvref_t<V>;
        registerSetter(T::staticMetaObject, key, [member](PersistentObject &object, const QVariant &v) {
            (static_cast<T &>(object).*member)(v.value<Value>());
        });
    }
    /** Registers a member getter. */
    template<class T, class R>
    static void registerGetter(const QString &key, R (T::*member)())
    {
        registerGetter(T::staticMetaObject, key, [member](PersistentObject &object) {
            return QVariant::fromValue((static_cast<T &>(object).*member)());
        });
    }
    template<class T, class R>
    static void registerGetter(const QString &key, R (T::*member)() const)
    {
        registerGetter(T::staticMetaObject, key, [member](PersistentObject &object) {
            return QVariant::fromValue((static_cast<const T &>(object).*member)());
        });
    }

    /**
     * Makes \a T known by its class name: a factory in ZEM_F_ClassRegistry (so a store
     * context can create it by name) and its initialize() as the class's initializer.
     * Use through ZEM_RECORD_CLASS.
     */
    template<class T>
    static bool registerClass()
    {
        ZEM_F_ClassRegistry::registerFactory(QString::fromLatin1(T::staticMetaObject.className()),
                                             [](QObject *parent) -> QObject * { return new T(parent); });
        registerInitializer(T::staticMetaObject, &T::initialize);
        return true;
    }

    /** The setter's member name for \a key: "set" and the key with its first character capitalised. */
    static QString setterNameForKey(const QString &key);

    const QMetaObject *metaObject() const;

    /** The keys whose observers hear of a change of \a key (direct dependents only). */
    const QStringList &dependentKeys(const QString &key) const;
    bool hasDependentKeys() const;

    /**
     * Reads \a key with the class's getter: a registered one, else a public Q_INVOKABLE
     * member or slot named as the key taking no argument. Answers false when there is none.
     */
    bool getValue(PersistentObject &object, const QString &key, QVariant *value) const;
    /**
     * Assigns \a key with the class's setter: a registered one, else a public Q_INVOKABLE
     * member or slot named setterNameForKey(key) taking one argument. Answers false when
     * there is none.
     */
    bool setValue(PersistentObject &object, const QString &key, const QVariant &value) const;

    RecordClass(const RecordClass &) = delete;
    RecordClass &operator=(const RecordClass &) = delete;

private:
    friend struct RecordClassRegistry;
    explicit RecordClass(const QMetaObject *cls);
    ~RecordClass();
    struct Private;
    Private *d; // classes live for the process, like their meta-objects
};

} // namespace platform

/** Registers a record class by name with its factory and initialize(); use once, in its .cpp. */
#define ZEM_RECORD_CLASS(T)                                                                        \
    namespace {                                                                                    \
    [[maybe_unused]] const bool zemRecordClassRegistered_##T = ::platform::RecordClass::registerClass<T>(); \
    }
