#pragma once

#include "platform/store/PersistentObject.h"
#include "platform/store/RecordClass.h"
#include "zem_appkit_export.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <utility>

class QUndoStack;

/**
 * The base of every stored record (contacts, calendar items, events, to-dos, alarms):
 * uniform value and relation access with change notices, two-way dependent keys, bulk
 * assignment, and forwarders to ZEM_A_E_ManagedObject.
 *
 * A subclass declares Q_OBJECT, a constructor taking a parent, and a static initialize()
 * that calls its superclass's first and then registers its dependent keys; its .cpp
 * names it with ZEM_RECORD_CLASS so a data model can name it.
 *
 * **Example**
 * \code
 * void ZEM_A_C_MO_Example::initialize()
 * {
 *     ZEM_A_C_ManagedObject::initialize();
 *     setKeysBoth<ZEM_A_C_MO_Example>(u"notes"_s, u"notesString"_s);
 * }
 * \endcode
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_ManagedObject : public platform::PersistentObject
{
    Q_OBJECT
public:
    /** Key paths and values in the order they are assigned. */
    using KeyPathValues = QList<std::pair<QString, QVariant>>;

    Q_INVOKABLE explicit ZEM_A_C_ManagedObject(QObject *parent = nullptr);
    ~ZEM_A_C_ManagedObject() override;

    static void initialize();

    /** The value under \a key, read with access notices. */
    Q_INVOKABLE QVariant objectForKeySupport(const QString &key);
    /** Stores \a value under \a key (one key: dots are part of it) with change notices. */
    Q_INVOKABLE virtual void setValueSupport(const QVariant &value, const QString &key);

    /** The related record (PersistentObject*) or set (platform::RecordSet) under \a key. */
    Q_INVOKABLE QVariant relationForKey(const QString &key);
    /** Stores a to-one or to-many relation value under \a key with change notices. */
    Q_INVOKABLE void setRelation(const QVariant &relation, const QString &key);
    void setRelation(platform::PersistentObject *record, const QString &key);
    void setRelation(const platform::RecordSet &records, const QString &key);

    /** Adds \a record to the set under \a key: one union notice before and one after, with {record}. */
    void addRelationObject(platform::PersistentObject *record, const QString &key);
    /** Removes \a record from the set under \a key, with minus notices of {record}. */
    void removeRelationObject(platform::PersistentObject *record, const QString &key);
    /** The set under \a key takes the union with \a records. */
    void addRelations(const platform::RecordSet &records, const QString &key);
    /** The set under \a key loses every member of \a records. */
    void removeRelations(const platform::RecordSet &records, const QString &key);

    /**
     * Assigns each value through setValueForKeyPath() (so subclass setters run), in the
     * list's order; returns this record.
     */
    ZEM_A_C_ManagedObject *setCDRecordValuesFromDict(const KeyPathValues &values);
    /** As above in the map's order: its keys sorted. */
    ZEM_A_C_ManagedObject *setCDRecordValuesFromDict(const QVariantMap &values);

    /** The undo stack of the record's context; null outside a context. */
    Q_INVOKABLE QUndoStack *undoManager() const;
    Q_INVOKABLE QString getSetAccessor(const QString &key) const;
    Q_INVOKABLE QString convertedDateString(const QDateTime &date) const;
    /** The file name offered when the record's notes are saved as rich text; "" here. */
    Q_INVOKABLE virtual QString saveNotesName() const;

    /** Leaves every notification of ZEM_F_E_Notifications::shared(). */
    void didTurnIntoFault() override;

    /**
     * For records of \a cls: a change of \a keyA notifies observers of \a keyB, then a
     * change of \a keyB notifies those of \a keyA. Call it from the class's initialize(),
     * usually through the template, which names the class: setKeysBoth<MyRecord>(a, b).
     */
    static void setKeysBoth(const QMetaObject &cls, const QString &keyA, const QString &keyB);
    /** setKeysBoth() with \a keyA and each key of \a keys, in order. */
    static void setKeysBothArray(const QMetaObject &cls, const QString &keyA, const QStringList &keys);

    template<class T>
    static void setKeysBoth(const QString &keyA, const QString &keyB)
    {
        setKeysBoth(T::staticMetaObject, keyA, keyB);
    }
    template<class T>
    static void setKeysBothArray(const QString &keyA, const QStringList &keys)
    {
        setKeysBothArray(T::staticMetaObject, keyA, keys);
    }

private:
    void mutateSet(const platform::RecordSet &records, const QString &key, platform::SetMutationKind kind);
};
