#include "ZEM_F_ClassRegistry.h"

#include <QHash>

namespace {
struct Entry
{
    ZEM_F_ClassRegistry::Factory factory;
    ZEM_F_ClassRegistry::SharedAccessor shared;
};

// Function-local so registrations from other libraries' static initialisers never meet
// an unconstructed table.
QHash<QString, Entry> &table()
{
    static QHash<QString, Entry> t;
    return t;
}
} // namespace

bool ZEM_F_ClassRegistry::registerFactory(const QString &className, Factory factory)
{
    if (className.isEmpty() || !factory)
        return false;
    table()[className].factory = std::move(factory);
    return true;
}

bool ZEM_F_ClassRegistry::registerShared(const QString &className, SharedAccessor accessor)
{
    if (className.isEmpty() || !accessor)
        return false;
    table()[className].shared = std::move(accessor);
    return true;
}

bool ZEM_F_ClassRegistry::contains(const QString &className)
{
    return table().contains(className);
}

QObject *ZEM_F_ClassRegistry::create(const QString &className, QObject *parent)
{
    const auto it = table().constFind(className);
    return it != table().cend() && it->factory ? it->factory(parent) : nullptr;
}

QObject *ZEM_F_ClassRegistry::shared(const QString &className)
{
    const auto it = table().constFind(className);
    return it != table().cend() && it->shared ? it->shared() : nullptr;
}

QStringList ZEM_F_ClassRegistry::classNames()
{
    return table().keys();
}
