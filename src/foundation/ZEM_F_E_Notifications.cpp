#include "ZEM_F_E_Notifications.h"

#include "ZEM_F_Log.h"

#include <QMetaObject>

#include <algorithm>

QObject *ZEM_F_Notification::objectAsQObject() const
{
    return object.metaType().flags().testFlag(QMetaType::PointerToQObject)
               ? object.value<QObject *>()
               : nullptr;
}

QVariant ZEM_F_Notification::wrap(QObject *object)
{
    return object ? QVariant::fromValue(object) : QVariant();
}

QMetaMethod ZEM_F_Notification::handlerMethod(const QObject *receiver, QByteArray name)
{
    if (!receiver)
        return {};
    if (const qsizetype colon = name.indexOf(':'); colon >= 0)
        name.truncate(colon);
    const QMetaObject *meta = receiver->metaObject();
    QMetaMethod noArgument;
    // From the most derived class up, so a subclass's member wins.
    for (int i = meta->methodCount() - 1; i >= 0; --i) {
        const QMetaMethod m = meta->method(i);
        if (m.name() != name || m.methodType() == QMetaMethod::Signal)
            continue;
        if (m.parameterCount() == 1
            && m.parameterMetaType(0) == QMetaType::fromType<ZEM_F_Notification>())
            return m;
        if (m.parameterCount() == 0 && !noArgument.isValid())
            noArgument = m;
    }
    return noArgument;
}

void ZEM_F_Notification::deliver(QObject *receiver, const QMetaMethod &method) const
{
    if (method.parameterCount() == 1)
        method.invoke(receiver, Qt::DirectConnection, Q_ARG(ZEM_F_Notification, *this));
    else
        method.invoke(receiver, Qt::DirectConnection);
}

struct ZEM_F_E_Notifications::Registration
{
    QPointer<QObject> observer;
    bool hadObserver = false;
    QMetaMethod method;
    Handler handler;
    QString name;
    QVariant object;
    bool removed = false;

    bool alive() const { return !removed && (!hadObserver || observer); }
};

namespace {

// Object filters compare QObjects by identity and plain values by equality.
bool objectMatches(const QVariant &filter, const QVariant &object)
{
    if (!filter.isValid())
        return true;
    const bool filterIsObject = filter.metaType().flags().testFlag(QMetaType::PointerToQObject);
    const bool objectIsObject = object.metaType().flags().testFlag(QMetaType::PointerToQObject);
    if (filterIsObject || objectIsObject) {
        return filterIsObject && objectIsObject
               && filter.value<QObject *>() == object.value<QObject *>();
    }
    return filter == object;
}

} // namespace

ZEM_F_E_Notifications::ZEM_F_E_Notifications(QObject *parent) : ZEM_F_B_Securitry(parent) {}

ZEM_F_E_Notifications::~ZEM_F_E_Notifications() = default;

ZEM_F_E_Notifications *ZEM_F_E_Notifications::shared()
{
    static ZEM_F_E_Notifications *const centre = new ZEM_F_E_Notifications;
    return centre;
}

ZEM_F_E_Notifications *ZEM_F_E_Notifications::workspace()
{
    static ZEM_F_E_Notifications *const centre = new ZEM_F_E_Notifications;
    return centre;
}

bool ZEM_F_E_Notifications::addObserver(QObject *observer, const QByteArray &selector,
                                        const QString &name, const QVariant &object)
{
    if (!observer) {
        qCWarning(zemFoundation) << "addObserver: no observer for" << name;
        return false;
    }
    const QMetaMethod method = ZEM_F_Notification::handlerMethod(observer, selector);
    if (!method.isValid()) {
        qCWarning(zemFoundation) << "addObserver:" << observer->metaObject()->className()
                                 << "does not answer" << selector;
        return false;
    }
    auto r = std::make_shared<Registration>();
    r->observer = observer;
    r->hadObserver = true;
    r->method = method;
    r->name = name;
    r->object = object;
    m_registrations.push_back(std::move(r));
    return true;
}

bool ZEM_F_E_Notifications::addObserver(QObject *context, const QString &name,
                                        const QVariant &object, Handler handler)
{
    if (!handler)
        return false;
    auto r = std::make_shared<Registration>();
    r->observer = context;
    r->hadObserver = context != nullptr;
    r->handler = std::move(handler);
    r->name = name;
    r->object = object;
    m_registrations.push_back(std::move(r));
    return true;
}

bool ZEM_F_E_Notifications::addObserverWorkSpace(QObject *observer, const QByteArray &selector,
                                                 const QString &name, const QVariant &object)
{
    return workspace()->addObserver(observer, selector, name, object);
}

void ZEM_F_E_Notifications::removeObserver(QObject *observer)
{
    removeObserver(observer, QString(), QVariant());
}

void ZEM_F_E_Notifications::removeObserver(QObject *observer, const QString &name,
                                           const QVariant &object)
{
    if (!observer)
        return;
    for (auto &r : m_registrations) {
        if (r->observer != observer)
            continue;
        if (!name.isEmpty() && r->name != name)
            continue;
        if (object.isValid() && !objectMatches(object, r->object))
            continue;
        r->removed = true;
        m_needsCompact = true;
    }
    compact();
}

void ZEM_F_E_Notifications::postNotificationName(const QString &name)
{
    postNotification(ZEM_F_Notification{name, {}, {}});
}

void ZEM_F_E_Notifications::postNotificationNameObject(const QString &name, const QVariant &object)
{
    postNotification(ZEM_F_Notification{name, object, {}});
}

void ZEM_F_E_Notifications::postNotificationNameObject(const QString &name, const QVariant &object,
                                                       const QVariantMap &userInfo)
{
    postNotification(ZEM_F_Notification{name, object, userInfo});
}

void ZEM_F_E_Notifications::postNotification(const ZEM_F_Notification &notification)
{
    // Observers may add or remove registrations while being called: walk a snapshot and
    // re-check each entry before calling it.
    const auto snapshot = m_registrations;
    ++m_postDepth;
    for (const auto &r : snapshot) {
        if (!r->alive()) {
            m_needsCompact = true;
            continue;
        }
        if (!r->name.isEmpty() && r->name != notification.name)
            continue;
        if (!objectMatches(r->object, notification.object))
            continue;
        if (r->handler)
            r->handler(notification);
        else
            notification.deliver(r->observer.data(), r->method);
    }
    --m_postDepth;
    compact();
}

void ZEM_F_E_Notifications::compact()
{
    if (m_postDepth > 0 || !m_needsCompact)
        return;
    m_registrations.erase(std::remove_if(m_registrations.begin(), m_registrations.end(),
                                         [](const auto &r) { return !r->alive(); }),
                          m_registrations.end());
    m_needsCompact = false;
}

int ZEM_F_E_Notifications::observerCount() const
{
    return int(std::count_if(m_registrations.begin(), m_registrations.end(),
                             [](const auto &r) { return r->alive(); }));
}

int ZEM_F_E_Notifications::observerCount(const QObject *observer) const
{
    return int(std::count_if(m_registrations.begin(), m_registrations.end(), [&](const auto &r) {
        return r->alive() && r->hadObserver && r->observer == observer;
    }));
}
