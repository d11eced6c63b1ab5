#pragma once

#include "zem_appkit_export.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <type_traits>

/**
 * A table row that reads and writes like a dictionary while its values live in the
 * properties of a subclass: reading a key calls the subclass's getter of that name, writing
 * a key calls the setter "set" + the key with its first letter capitalised. The pairs come
 * from a per-class table built once (ZEM_ROW_KEY), so a lookup is one hash probe and one
 * call through a plain function pointer.
 *
 * **Example**
 * \code
 * class Person : public ZEM_A_C_ArrayControllerObject {
 * public:
 *     Person() : ZEM_A_C_ArrayControllerObject(table()) {}
 *     QString firstName() const { return m_first; }
 *     void setFirstName(const QString &v) { m_first = v; }
 *     static const Accessors &table() {
 *         static const Accessors t{ZEM_ROW_KEY(Person, firstName, setFirstName)};
 *         return t;
 *     }
 * private:
 *     QString m_first;
 * };
 * \endcode
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_ArrayControllerObject : public QObject
{
    Q_OBJECT
public:
    using Getter = QVariant (*)(const ZEM_A_C_ArrayControllerObject &);
    using Setter = void (*)(ZEM_A_C_ArrayControllerObject &, const QVariant &);

    /** One key: the getter's name and the setter's name with their functions. */
    struct Accessor
    {
        QString getterName;
        QString setterName;
        Getter get = nullptr;
        Setter set = nullptr;
    };

    /** A class's accessors: getters by getter name, setters by setter name. */
    class ZEM_APPKIT_EXPORT Accessors
    {
    public:
        Accessors(std::initializer_list<Accessor> accessors);
        Getter getter(const QString &name) const { return m_getters.value(name); }
        Setter setter(const QString &name) const { return m_setters.value(name); }

    private:
        QHash<QString, Getter> m_getters;
        QHash<QString, Setter> m_setters;
    };

    /** \a accessors: the subclass's table (static, outlives every row). */
    explicit ZEM_A_C_ArrayControllerObject(const Accessors &accessors, QObject *parent = nullptr);
    ~ZEM_A_C_ArrayControllerObject() override;

    QStringList allKeys() const { return m_allKeys; }
    void setAllKeys(const QStringList &keys) { m_allKeys = keys; }

    /** The getter named \a key; invalid when the class has none. */
    QVariant objectForKey(const QString &key) const;
    /** The setter "set" + \a key capitalised, with \a value; false when the class has none. */
    bool setObject(const QVariant &value, const QString &key);
    /** How many values rows have been given by key, in this process; only ever grows. */
    static quint64 valueChanges() { return s_valueChanges; }
    /** Replaces the current value by an empty value of its kind; nothing without a value. */
    void removeObjectForKey(const QString &key);
    /** The keys, in order. */
    QStringList keyEnumerator() const { return m_allKeys; }
    /** The number of allKeys, whatever values are set. */
    int count() const { return int(m_allKeys.size()); }
    /** allKeys becomes the old keys followed by \a keys. */
    void setAddToAllKeys(const QStringList &keys);
    /** Sets the value at each key path of \a values; answers this row. */
    ZEM_A_C_ArrayControllerObject *setRecordValuesFromDict(const QVariantMap &values);
    /** Adds \a keys; each of them without a value gets the empty value of \a className. */
    void setInitialVales(const QStringList &keys, const QString &className);

    /** True when the class has a getter named \a key. */
    bool answers(const QString &key) const { return m_accessors->getter(key) != nullptr; }
    /** objectForKey() of the first key, then on into a row or map it holds. */
    QVariant valueForKeyPath(const QString &keyPath) const;
    /** setObject() on the row the key path reaches; false when it reaches none. */
    bool setValueForKeyPath(const QVariant &value, const QString &keyPath);

    /** "set" and \a key with its first character capitalised. */
    static QString setterNameForKey(const QString &key);
    /** A missing value: invalid, or a null text, data or object. */
    static bool isNil(const QVariant &value);

    /** Wraps a member getter and setter as an Accessor; use through ZEM_ROW_KEY. */
    template<class T, auto GetterMember, auto SetterMember>
    static Accessor accessor(const char *getterName, const char *setterName)
    {
        return {QString::fromLatin1(getterName), QString::fromLatin1(setterName),
                [](const ZEM_A_C_ArrayControllerObject &row) {
                    return QVariant::fromValue((static_cast<const T &>(row).*GetterMember)());
                },
                [](ZEM_A_C_ArrayControllerObject &row, const QVariant &value) {
                    using Arg = typename SetterArg<decltype(SetterMember)>::type;
                    (static_cast<T &>(row).*SetterMember)(value.value<Arg>());
                }};
    }

private:
    static quint64 s_valueChanges;   // main thread only, as the rows are
    template<class M>
    struct SetterArg;
    template<class C, class A>
    struct SetterArg<void (C::*)(A)>
    {
        using type = std::remove_cvref_t<A>;
    };

    const Accessors *m_accessors;
    QStringList m_allKeys;
};

/** One entry of a row class's accessor table: its getter \a key and its setter \a setter. */
#define ZEM_ROW_KEY(Class, key, setter)                                                            \
    ZEM_A_C_ArrayControllerObject::accessor<Class, &Class::key, &Class::setter>(#key, #setter)
