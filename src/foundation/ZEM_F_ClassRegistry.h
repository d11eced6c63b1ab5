#pragma once

#include "zem_foundation_export.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

/**
 * Classes known by name, as a host names its record classes in its data model or the
 * language engine names the kit's string table. A class registers a factory (a new
 * instance) or a shared-instance accessor (an engine's shared()), or both.
 *
 * Registration is a table entry and nothing else, so the kit may register its classes
 * from static initialisers without running any of its code at load.
 */
class ZEM_FOUNDATION_EXPORT ZEM_F_ClassRegistry
{
public:
    using Factory = std::function<QObject *(QObject *parent)>;
    using SharedAccessor = std::function<QObject *()>;

    static bool registerFactory(const QString &className, Factory factory);
    static bool registerShared(const QString &className, SharedAccessor accessor);

    static bool contains(const QString &className);
    /** A new instance of the class, or null when it has no factory. */
    static QObject *create(const QString &className, QObject *parent = nullptr);
    /** The class's shared instance, or null when it has none. */
    static QObject *shared(const QString &className);
    static QStringList classNames();
};
