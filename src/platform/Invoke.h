#pragma once

#include "zem_appkit_export.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QVariant>
#include <QVariantList>

class QObject;

/**
 * Calling members by name: how the kit asks a collaborator whether it answers an
 * optional operation and then calls it.
 *
 * A name is either a plain member name ("reloadData") or a selector written with colons
 * ("dropContacts:row:", "removeObserver:name:object:"). A selector names the member called
 * after all its keywords in camel case ("removeObserverNameObject") when the class has
 * one, else the member called after its first keyword ("dropContacts"). Only slots and
 * Q_INVOKABLE members take part.
 *
 * **Example**
 * \code
 * if (platform::respondsTo(controller, "dropContacts:row:"))
 *     platform::perform(controller, "dropContacts:row:", {QVariant::fromValue(records), row});
 * \endcode
 */
namespace platform {

/**
 * The member name \a selectorOrName resolves to on \a object's class, as described above.
 * Answers the first keyword when the object is null or has neither name.
 */
ZEM_APPKIT_EXPORT QByteArray memberNameForSelector(const QObject *object,
                                                   QByteArrayView selectorOrName);

/** True when \a object has a slot or Q_INVOKABLE member that \a selectorOrName names. */
ZEM_APPKIT_EXPORT bool respondsTo(const QObject *object, QByteArrayView selectorOrName);

/**
 * Calls the member \a selectorOrName names on \a object with \a args, choosing the
 * overload whose parameter count equals the argument count (and, among several, the one
 * whose parameter types take the arguments without conversion). Each argument is
 * converted to its parameter's type; a QVariant parameter gets the argument as it is, and
 * an invalid argument gives the parameter's default value.
 *
 * Answers the member's return value (an invalid QVariant for void members). When no
 * member fits or an argument cannot be converted, nothing is called, a warning is logged,
 * \a ok is set to false and an invalid QVariant is answered.
 */
ZEM_APPKIT_EXPORT QVariant perform(QObject *object, QByteArrayView selectorOrName,
                                   const QVariantList &args = {}, bool *ok = nullptr);

/**
 * Calls perform(\a target, \a selectorOrName, \a args) from the event loop after
 * \a seconds (0: on the loop's next pass). Nothing happens when the target is destroyed
 * before then.
 */
ZEM_APPKIT_EXPORT void performAfterDelay(QObject *target, QByteArrayView selectorOrName,
                                         const QVariantList &args, double seconds);

} // namespace platform
