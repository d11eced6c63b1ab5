#pragma once

// Not installed: the state a record shares with its StoreContext.

#include "PersistentObject.h"

#include <QHash>
#include <QPointer>

#include <vector>

namespace platform {

namespace detail {
struct Observer
{
    QString key;
    QPointer<QObject> context;
    bool hasContext = false;
    PersistentObject::Handler handler;
    ObserveOptions options;
    bool removed = false;
};

struct PendingChange
{
    QString key;
    ChangeKind kind;
    RecordSet objects;
    QVariant oldValue;
};

} // namespace detail

struct PersistentObject::Private
{
    QHash<QString, QVariant> values;
    StoreContext *context = nullptr;
    QString entityName;
    QString objectID;
    bool fault = false;
    bool firing = false;
    bool deleted = false;
    RecordClass *cls = nullptr;
    std::vector<detail::PendingChange> pending;
    // Entries are only erased outside notification, so a raw Observer* taken while
    // notifying stays valid even when a handler adds or removes observers.
    std::vector<std::unique_ptr<detail::Observer>> observers;
    int notifyDepth = 0;
    bool needsCompact = false;

    void compact()
    {
        std::erase_if(observers, [](const std::unique_ptr<detail::Observer> &o) {
            return o->removed || (o->hasContext && !o->context);
        });
        needsCompact = false;
    }
    void markRemoved(const std::function<bool(const detail::Observer &)> &match)
    {
        for (auto &o : observers)
            if (!o->removed && match(*o))
                o->removed = true;
        if (notifyDepth == 0)
            compact();
        else
            needsCompact = true;
    }
};

} // namespace platform
