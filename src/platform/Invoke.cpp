#include "platform/Invoke.h"

#include "platform/PlatformLog.h"

#include <QMetaMethod>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <vector>

namespace {

bool isCallable(const QMetaMethod &m)
{
    return m.methodType() == QMetaMethod::Slot || m.methodType() == QMetaMethod::Method;
}

bool hasMember(const QMetaObject *meta, const QByteArray &name)
{
    for (int i = meta->methodCount() - 1; i >= 0; --i) {
        const QMetaMethod m = meta->method(i);
        if (isCallable(m) && m.name() == name)
            return true;
    }
    return false;
}

QList<QByteArray> keywords(QByteArrayView selector)
{
    QList<QByteArray> parts;
    for (const QByteArray &part : QByteArray(selector.data(), selector.size()).split(':')) {
        if (!part.isEmpty())
            parts.append(part);
    }
    return parts;
}

bool isNullObjectPointer(const QVariant &v)
{
    return (v.metaType().flags() & QMetaType::PointerToQObject) && !v.value<QObject *>();
}

/**
 * Prepares \a arg for a parameter of type \a type in \a storage. Answers false when it
 * cannot be had as that type; \a exact tells whether no conversion was needed.
 */
bool prepareArgument(const QVariant &arg, QMetaType type, QVariant &storage, bool &exact)
{
    exact = true;
    if (type == QMetaType::fromType<QVariant>()) {
        storage = arg;
        return true;
    }
    if (!type.isValid())
        return false;
    if (!arg.isValid()) {
        storage = QVariant(type);
        return true;
    }
    if (arg.metaType() == type) {
        storage = arg;
        return true;
    }
    exact = false;
    // A null object converts to any object pointer type, which QVariant refuses.
    if ((type.flags() & QMetaType::PointerToQObject) && isNullObjectPointer(arg)) {
        storage = QVariant(type);
        return true;
    }
    storage = arg;
    return storage.canConvert(type) && storage.convert(type);
}

} // namespace

namespace platform {

QByteArray memberNameForSelector(const QObject *object, QByteArrayView selectorOrName)
{
    const QList<QByteArray> parts = keywords(selectorOrName);
    if (parts.isEmpty())
        return {};
    if (parts.size() == 1 || !object)
        return parts.first();
    QByteArray camel = parts.first();
    for (qsizetype i = 1; i < parts.size(); ++i) {
        QByteArray word = parts.at(i);
        word[0] = char(std::toupper(static_cast<unsigned char>(word[0])));
        camel += word;
    }
    return hasMember(object->metaObject(), camel) ? camel : parts.first();
}

bool respondsTo(const QObject *object, QByteArrayView selectorOrName)
{
    if (!object)
        return false;
    const QByteArray name = memberNameForSelector(object, selectorOrName);
    return !name.isEmpty() && hasMember(object->metaObject(), name);
}

QVariant perform(QObject *object, QByteArrayView selectorOrName, const QVariantList &args,
                 bool *ok)
{
    if (ok)
        *ok = false;
    if (!object) {
        qCWarning(zemPlatform) << "perform:" << selectorOrName << "sent to no object";
        return {};
    }
    const QByteArray name = memberNameForSelector(object, selectorOrName);
    const QMetaObject *meta = object->metaObject();
    const qsizetype count = args.size();

    // The best overload takes every argument and needs the fewest conversions; walking
    // from the most derived class down keeps a subclass's member ahead of its base's.
    QMetaMethod best;
    std::vector<QVariant> bestStorage;
    int bestConversions = -1;
    for (int i = meta->methodCount() - 1; i >= 0; --i) {
        const QMetaMethod m = meta->method(i);
        if (!isCallable(m) || m.parameterCount() != count || m.name() != name)
            continue;
        std::vector<QVariant> storage(static_cast<size_t>(count));
        int conversions = 0;
        bool fits = true;
        for (qsizetype a = 0; a < count && fits; ++a) {
            bool exact = true;
            fits = prepareArgument(args.at(a), m.parameterMetaType(int(a)), storage[size_t(a)],
                                   exact);
            conversions += exact ? 0 : 1;
        }
        if (fits && (bestConversions < 0 || conversions < bestConversions)) {
            best = m;
            bestStorage = std::move(storage);
            bestConversions = conversions;
            if (conversions == 0)
                break;
        }
    }
    if (!best.isValid()) {
        qCWarning(zemPlatform) << "perform:" << meta->className() << "has no member"
                                     << name << "taking" << count << "fitting argument(s)";
        return {};
    }

    std::vector<void *> argv(size_t(count) + 1, nullptr);
    const QMetaType returnType = best.returnMetaType();
    QVariant result;
    if (returnType == QMetaType::fromType<QVariant>()) {
        argv[0] = &result;
    } else if (returnType.isValid() && returnType.id() != QMetaType::Void) {
        result = QVariant(returnType);
        argv[0] = result.data();
    }
    for (qsizetype a = 0; a < count; ++a) {
        QVariant &slot = bestStorage[size_t(a)];
        argv[size_t(a) + 1] = best.parameterMetaType(int(a)) == QMetaType::fromType<QVariant>()
            ? static_cast<void *>(&slot)
            : slot.data();
    }
    QMetaObject::metacall(object, QMetaObject::InvokeMetaMethod, best.methodIndex(), argv.data());
    if (ok)
        *ok = true;
    return result;
}

void performAfterDelay(QObject *target, QByteArrayView selectorOrName, const QVariantList &args,
                       double seconds)
{
    if (!target) {
        qCWarning(zemPlatform) << "performAfterDelay:" << selectorOrName
                                     << "sent to no object";
        return;
    }
    const int msec = std::isfinite(seconds) && seconds > 0
        ? int(std::lround(std::min(seconds, 2.0e6) * 1000.0))
        : 0;
    // The target as the timer's context drops the call when the target goes; the
    // QPointer covers the target being destroyed from within the same pass.
    QTimer::singleShot(msec, target,
                       [guard = QPointer<QObject>(target),
                        selector = QByteArray(selectorOrName.data(), selectorOrName.size()),
                        args] {
                           if (guard)
                               perform(guard.data(), selector, args);
                       });
}

} // namespace platform
