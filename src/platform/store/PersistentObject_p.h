#pragma once

// Not installed: the state a record shares with its StoreContext.

#include "platform/store/PersistentObject.h"

#include <QHash>
#include <QPointer>

#include <algorithm>
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

// A record's values. Records hold a few dozen keys at most, and there are many records:
// a flat list searched in order costs less memory and time than a hash table each.
class ValueMap
{
public:
    QVariant value(const QString &key) const
    {
        const auto it = find(key);
        return it == m_items.end() ? QVariant() : it->second;
    }
    void insert(const QString &key, const QVariant &value)
    {
        const auto it = std::find_if(m_items.begin(), m_items.end(), [&key](const auto &item) { return item.first == key; });
        if (it != m_items.end())
            it->second = value;
        else
            m_items.emplace_back(key, value);
    }
    void remove(const QString &key)
    {
        std::erase_if(m_items, [&key](const auto &item) { return item.first == key; });
    }
    QStringList keys() const
    {
        QStringList out;
        out.reserve(qsizetype(m_items.size()));
        for (const auto &item : m_items)
            out.append(item.first);
        return out;
    }
    void clear() { m_items.clear(); }

private:
    std::vector<std::pair<QString, QVariant>>::const_iterator find(const QString &key) const
    {
        return std::find_if(m_items.begin(), m_items.end(), [&key](const auto &item) { return item.first == key; });
    }
    std::vector<std::pair<QString, QVariant>> m_items;
};

} // namespace detail

struct PersistentObject::Private
{
    detail::ValueMap values;
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
