#pragma once
// Asking a collaborator for an optional operation by name, and reading its answer.

#include "platform/Invoke.h"

#include <QObject>
#include <QVariant>

namespace tables::detail {

/** The answer of an optional operation of \a object; invalid when it has none. */
inline QVariant ask(QObject *object, const char *name, const QVariantList &args = {})
{
    return object && platform::respondsTo(object, name) ? platform::perform(object, name, args) : QVariant();
}

/** Whether an optional operation's answer is a yes: a true flag or any other non-null value. */
inline bool answersYes(const QVariant &answer)
{
    if (!answer.isValid() || answer.isNull())
        return false;
    if (answer.metaType().flags() & QMetaType::PointerToQObject)
        return answer.value<QObject *>() != nullptr;
    if (answer.canConvert<bool>())
        return answer.toBool();
    return true;
}

} // namespace tables::detail
