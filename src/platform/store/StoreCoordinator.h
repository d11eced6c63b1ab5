#pragma once

#include "platform/store/DataModel.h"
#include "platform/store/PersistentStore.h"
#include "foundation/ZEM_Result.h"
#include "zem_appkit_export.h"

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

namespace platform {

/**
 * Joins a data model to the stores that hold its records. Contexts reach their store
 * through it (StoreContext::setPersistentStoreCoordinator()).
 *
 * **Example**
 * \code
 * auto model = platform::DataModel::fromFile(path);
 * platform::PersistentStoreCoordinator coordinator(*model);
 * auto store = coordinator.addPersistentStore(platform::PersistentStoreCoordinator::sqliteStoreType(),
 *                                             folder + u"/Data.sql"_s, {.readOnly = false});
 * if (!store) qWarning() << store.error().message;
 * \endcode
 */
class ZEM_APPKIT_EXPORT PersistentStoreCoordinator : public QObject
{
    Q_OBJECT
public:
    explicit PersistentStoreCoordinator(const DataModel &model, QObject *parent = nullptr);
    ~PersistentStoreCoordinator() override;
    Q_DISABLE_COPY_MOVE(PersistentStoreCoordinator)

    /** "SQLite" */
    static QString sqliteStoreType();
    /** "XML" */
    static QString xmlStoreType();

    const DataModel &model() const;

    /**
     * Opens the store of \a type at \a path and adds it; the coordinator owns it. Any type
     * other than sqliteStoreType() opens an XML store. On failure nothing is added.
     */
    ZEM_Result<PersistentStore *> addPersistentStore(const QString &type, const QString &path,
                                                     const StoreOptions &options = {});
    /** Adds a store opened elsewhere, for the same model. */
    PersistentStore *addPersistentStore(std::unique_ptr<PersistentStore> store);
    /** The first store added, or null. */
    PersistentStore *persistentStore() const;
    int storeCount() const;

private:
    DataModel m_model;
    std::vector<std::unique_ptr<PersistentStore>> m_stores;
};

} // namespace platform
