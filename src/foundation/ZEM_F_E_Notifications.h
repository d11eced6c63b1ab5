#pragma once

#include "ZEM_F_B_Securitry.h"
#include "ZEM_F_Notification.h"

#include <QByteArray>
#include <QMetaMethod>
#include <QPointer>

#include <functional>
#include <memory>

/**
 * The notification centre: synchronous, main thread, observers held weakly.
 *
 * An observer registers a selector (the name of one of its slots or Q_INVOKABLE
 * members, taking a ZEM_F_Notification or nothing) for a notification name and an
 * optional object; a null object matches any. A posted notification calls every
 * matching observer in registration order. An observer that is destroyed is simply
 * skipped and forgotten: observers are held by QPointer, so a missed removeObserver()
 * in a teardown can never call into freed memory.
 *
 * **Example**
 * \code
 * ZEM_F_E_Notifications::shared()->addObserver(this, "resetMenu", u"ResetMenu"_s, {});
 * ZEM_F_E_Notifications::shared()->postNotificationName(u"ResetMenu"_s);
 * \endcode
 */
class ZEM_FOUNDATION_EXPORT ZEM_F_E_Notifications : public ZEM_F_B_Securitry
{
    Q_OBJECT
public:
    using Handler = std::function<void(const ZEM_F_Notification &)>;

    /** The default centre. */
    static ZEM_F_E_Notifications *shared();
    /** The workspace's centre: application launched and terminated notices. */
    static ZEM_F_E_Notifications *workspace();

    /**
     * Registers \a observer's member \a selector for notifications named \a name (empty:
     * any name) about \a object (null: any object). The selector may be written as a
     * member name ("languageCall") or as a selector ("languageCall:"). Returns false,
     * registering nothing, when the observer is null or has no such member.
     */
    bool addObserver(QObject *observer, const QByteArray &selector, const QString &name,
                     const QVariant &object = {});
    /** As above with a function; it is dropped when \a context is destroyed. */
    bool addObserver(QObject *context, const QString &name, const QVariant &object,
                     Handler handler);
    /** Registers with the workspace's centre, as addObserver() does here. */
    bool addObserverWorkSpace(QObject *observer, const QByteArray &selector, const QString &name,
                              const QVariant &object = {});

    /** Removes every registration of \a observer. */
    void removeObserver(QObject *observer);
    /** Removes the registrations of \a observer for \a name (empty: any) and \a object (null: any). */
    void removeObserver(QObject *observer, const QString &name, const QVariant &object);

    void postNotificationName(const QString &name);
    void postNotificationNameObject(const QString &name, const QVariant &object);
    void postNotificationNameObject(const QString &name, const QVariant &object,
                                    const QVariantMap &userInfo);
    void postNotification(const ZEM_F_Notification &notification);

    /** Live registrations (dead observers not counted). */
    int observerCount() const;
    /** Live registrations of \a observer. */
    int observerCount(const QObject *observer) const;

    explicit ZEM_F_E_Notifications(QObject *parent = nullptr);
    ~ZEM_F_E_Notifications() override;

private:
    struct Registration;
    void compact();
    std::vector<std::shared_ptr<Registration>> m_registrations;
    int m_postDepth = 0;
    bool m_needsCompact = false;
};
