#include "platform/store/StoreCoordinator.h"

#include "platform/store/SqliteStore.h"
#include "platform/store/XmlStore.h"

namespace platform {

PersistentStore::~PersistentStore() = default;

PersistentStoreCoordinator::PersistentStoreCoordinator(const DataModel &model, QObject *parent)
    : QObject(parent), m_model(model)
{
}

PersistentStoreCoordinator::~PersistentStoreCoordinator() = default;

QString PersistentStoreCoordinator::sqliteStoreType()
{
    return QStringLiteral("SQLite");
}

QString PersistentStoreCoordinator::xmlStoreType()
{
    return QStringLiteral("XML");
}

const DataModel &PersistentStoreCoordinator::model() const
{
    return m_model;
}

ZEM_Result<PersistentStore *> PersistentStoreCoordinator::addPersistentStore(const QString &type, const QString &path,
                                                                             const StoreOptions &options)
{
    if (path.isEmpty())
        return ZEM_Error::make(ZEM_Error::InvalidArgument, tr("No file was given for the store."));
    std::unique_ptr<PersistentStore> store;
    if (type == sqliteStoreType()) {
        auto opened = SqliteStore::open(m_model, path, options);
        if (!opened)
            return opened.error();
        store = std::move(*opened);
    } else {
        auto opened = XmlStore::open(m_model, path, options);
        if (!opened)
            return opened.error();
        store = std::move(*opened);
    }
    return addPersistentStore(std::move(store));
}

PersistentStore *PersistentStoreCoordinator::addPersistentStore(std::unique_ptr<PersistentStore> store)
{
    if (!store)
        return nullptr;
    m_stores.push_back(std::move(store));
    return m_stores.back().get();
}

PersistentStore *PersistentStoreCoordinator::persistentStore() const
{
    return m_stores.empty() ? nullptr : m_stores.front().get();
}

int PersistentStoreCoordinator::storeCount() const
{
    return int(m_stores.size());
}

} // namespace platform
