#pragma once

#include "zem_foundation_export.h"

#include <QMetaMethod>
#include <QMetaType>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>
#include <QVariantMap>

/**
 * One posted notification: its name, the object it is about and extra information.
 *
 * The object is a QVariant so that a notification can carry a QObject (compared by
 * identity) or a plain value such as the language number of a language change.
 */
struct ZEM_FOUNDATION_EXPORT ZEM_F_Notification
{
    QString name;
    QVariant object;
    QVariantMap userInfo;

    /** The object as a QObject, or null when it is a plain value or none. */
    QObject *objectAsQObject() const;
    /** Wraps a QObject so it compares by identity. */
    static QVariant wrap(QObject *object);

    /**
     * The member of \a receiver named \a name ("languageCall", or the selector
     * "languageCall:") that can be told of a notification: a slot or Q_INVOKABLE taking a
     * ZEM_F_Notification, else one taking nothing; invalid when it has neither.
     */
    static QMetaMethod handlerMethod(const QObject *receiver, QByteArray name);
    /** Calls \a method, found by handlerMethod(), on \a receiver with this notification. */
    void deliver(QObject *receiver, const QMetaMethod &method) const;
};

Q_DECLARE_METATYPE(ZEM_F_Notification)
