#pragma once

#include "platform/store/ChangeNotice.h"
#include "zem_appkit_export.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>

namespace platform {

class RecordClass;
class StoreContext;

/**
 * A record's storage and its change machinery: values kept under text keys, observers
 * told before and after each change, dependent keys, key-path access and the hooks a
 * persistent store uses to load values lazily.
 *
 * Values are read and written at three levels:
 * - primitiveValueForKey() / setPrimitiveValue(): the stored value, nothing else;
 * - willChangeValueForKey() / didChangeValueForKey() around a primitive write: observers
 *   of the key and of its dependent keys are told, and the owning StoreContext records the
 *   change (updated objects, one undo step per event-loop pass);
 * - valueForKey() / setValueForKey() and their key-path forms: the class's own accessor
 *   (see RecordClass), else the generic path above.
 *
 * A to-one relation is stored as a PersistentObject* value, a to-many relation as a
 * RecordSet value (see toVariant()).
 *
 * A record that a store knows but has not loaded is a fault: its first access asks the
 * context to load its values (StoreContext::fireFault()).
 *
 * **Example**
 * \code
 * record->addObserver(u"notes"_s, this, [](const platform::ChangeNotice &n) {
 *     qDebug() << n.key << n.oldValue << "->" << n.newValue;
 * });
 * record->setValueForKeyPath(u"Some text"_s, u"notes"_s);
 * \endcode
 */
class ZEM_APPKIT_EXPORT PersistentObject : public QObject
{
    Q_OBJECT
public:
    using Handler = std::function<void(const ChangeNotice &)>;

    explicit PersistentObject(QObject *parent = nullptr);
    ~PersistentObject() override;
    Q_DISABLE_COPY_MOVE(PersistentObject)

    /** The class-side hook of every record class; the base registers nothing. */
    static void initialize();

    /** The context that owns the record, or null for a record outside any context. */
    StoreContext *managedObjectContext() const;
    /** The entity the record was inserted or registered as (its class name by default). */
    QString entityName() const;
    /** The record's identity in its store; stores assign it, inserted records get a temporary one. */
    QString objectID() const;
    bool isFault() const;
    bool isDeleted() const;

    /** The stored value under \a key, loading the record first when it is a fault. */
    QVariant primitiveValueForKey(const QString &key);
    /** Stores \a value under \a key, without any notice; an invalid value removes the key. */
    void setPrimitiveValue(const QVariant &value, const QString &key);
    /** The keys that hold a value. */
    QStringList primitiveKeys();

    /** Marks read access to \a key; loads a fault. */
    void willAccessValueForKey(const QString &key);
    void didAccessValueForKey(const QString &key);

    /** Announces a change of \a key: prior notices for the key and its dependent keys. */
    void willChangeValueForKey(const QString &key);
    /** Ends the change begun by willChangeValueForKey(\a key): the context records it, then observers hear of it. */
    void didChangeValueForKey(const QString &key);
    /** As above for a set-valued key that gains (Union) or loses (Minus) \a objects. */
    void willChangeValueForKey(const QString &key, SetMutationKind kind, const RecordSet &objects);
    void didChangeValueForKey(const QString &key, SetMutationKind kind, const RecordSet &objects);

    /** The class's getter for \a key, else the stored value with access notices. */
    QVariant valueForKey(const QString &key);
    /** The class's setter for \a key, else the stored value changed with change notices. */
    void setValueForKey(const QVariant &value, const QString &key);
    /** valueForKey() after following the to-one relations named before the last dot. */
    QVariant valueForKeyPath(const QString &keyPath);
    /**
     * setValueForKey() on the record reached by following the to-one relations named
     * before the last dot of \a keyPath; nothing happens when one of them is empty.
     */
    void setValueForKeyPath(const QVariant &value, const QString &keyPath);

    /**
     * Calls \a handler with the notices of \a key chosen by \a options, until \a context
     * is destroyed or removeObserver(\a context) is called. A null context keeps the
     * registration for the record's life. Answers false for an empty key or no handler.
     */
    bool addObserver(const QString &key, QObject *context, Handler handler,
                     ObserveOptions options = ObserveOption::After);
    /** Removes every registration made with \a context. */
    void removeObserver(QObject *context);
    /** Removes the registrations made with \a context for \a key. */
    void removeObserver(QObject *context, const QString &key);
    /** Live registrations. */
    int observerCount() const;

    /** The record's class tables, initialising the class on first use. */
    RecordClass *recordClass() const;

    /** The record a to-one value holds, or null. */
    static PersistentObject *fromVariant(const QVariant &value);
    /** The records a to-many value holds; empty for any other value. */
    static RecordSet setFromVariant(const QVariant &value);
    static QVariant toVariant(PersistentObject *record);
    static QVariant toVariant(const RecordSet &records);

    /** Called after the record became a fault (its values dropped); does nothing here. */
    virtual void didTurnIntoFault();
    /** Called once when the record is inserted, after the model's defaults; does nothing here. */
    virtual void awakeFromInsert();
    /** Called each time the record's values are loaded from its store; does nothing here. */
    virtual void awakeFromFetch();

Q_SIGNALS:
    /** After every change notice of \a key, dependent keys included. */
    void valueDidChange(const QString &key);

private:
    friend class StoreContext;
    void beginChange(const QString &key, ChangeKind kind, const RecordSet &objects);
    void endChange(const QString &key, ChangeKind kind, const RecordSet &objects);
    void notify(const ChangeNotice &notice);
    void notifyDependents(const QString &key, bool prior);
    void fireFaultIfNeeded();

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace platform

Q_DECLARE_METATYPE(platform::ChangeNotice)
