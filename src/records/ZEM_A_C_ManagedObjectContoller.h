#pragma once

#include "foundation/ZEM_F_B_Securitry.h"
#include "platform/Application.h"
#include "platform/store/DataModel.h"
#include "zem_appkit_export.h"

#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

namespace platform {
class PersistentStoreCoordinator;
class StoreContext;
} // namespace platform

/**
 * Owns one store of records for its owner: finds the data model in a bundle's resources,
 * decides where the store file lives and in which format, opens it (read-only unless told
 * otherwise), hands out the store context, and saves on request or when the application
 * quits.
 *
 * Nothing is opened until the context is first asked for; fields changed after that have
 * no effect on the open store.
 *
 * **Example**
 * \code
 * auto *sounds = new ZEM_A_C_ManagedObjectContoller(u"org.example.Notes"_s, u"Sounds"_s, u"SoundsData"_s);
 * sounds->setReadOnly(false);
 * auto records = sounds->managedObjectContext()->fetch(u"Sounds"_s, u"use = %d"_s, {1});
 * \endcode
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_ManagedObjectContoller : public ZEM_F_B_Securitry
{
    Q_OBJECT
public:
    /** initWith:model:file: */
    ZEM_A_C_ManagedObjectContoller(const QString &bundleIdentifier, const QString &modelName,
                                   const QString &dataFileName, QObject *parent = nullptr);
    ~ZEM_A_C_ManagedObjectContoller() override;

    /** The data model, loaded once from "<resources>/<modelName>.json"; null when it could not be. */
    const platform::DataModel *managedObjectModel();
    /** The coordinator, created and given its store once; it stays even when the store could not be added. */
    platform::PersistentStoreCoordinator *persistentStoreCoordinator();
    /** The context, created on first use; schedules managedObjectContextFinsihedSupport(). */
    platform::StoreContext *managedObjectContext();
    /** Why the store could not be added, when it could not. */
    std::optional<ZEM_Error> storeError() const;

    QString dataStorageDir() const { return m_dataStorageDir; }
    void setDataStorageDir(const QString &value) { m_dataStorageDir = value; }
    QString dataStorageType() const { return m_dataStorageType; }
    void setDataStorageType(const QString &value) { m_dataStorageType = value; }
    QString dataFileName() const { return m_dataFileName; }
    void setDataFileName(const QString &value) { m_dataFileName = value; }
    QString modelName() const { return m_modelName; }
    void setModelName(const QString &value) { m_modelName = value; }
    QString bundleIdentifier() const { return m_bundleIdentifier; }
    void setBundleIdentifier(const QString &value) { m_bundleIdentifier = value; }
    /** The application folder name; a null string means the host's getAppName. */
    QString appName() const { return m_appName; }
    void setAppName(const QString &value) { m_appName = value; }
    bool readOnly() const { return m_readOnly; }
    void setReadOnly(bool value) { m_readOnly = value; }
    bool useAppWrapper() const { return m_useAppWrapper; }
    void setUseAppWrapper(bool value) { m_useAppWrapper = value; }
    bool ignoreNoFileError() const { return m_ignoreNoFileError; }
    void setIgnoreNoFileError(bool value) { m_ignoreNoFileError = value; }
    bool sqlFileExists() const { return m_sqlFileExists; }
    void setSqlFileExists(bool value) { m_sqlFileExists = value; }

    /** "sql" for the SQLite store type, else "xml". */
    QString getStorageExtention() const;
    /** The folder of the store file. */
    QString applicationSupportFolder();
    /** The store file; notes in sqlFileExists when the file is known to exist. */
    QUrl getStorageURL();

    /** Saves; on success the undo history ends, on failure the error is shown. */
    Q_INVOKABLE bool saveAction(QObject *sender = nullptr);
    /** Saves; on failure the error is shown; the undo history stays. */
    Q_INVOKABLE bool saveOnQuitAction(QObject *sender = nullptr);
    /** The quit decision: save what is unsaved, or ask whether to quit anyway. */
    platform::TerminateReply applicationShouldTerminate(QObject *application = nullptr);

    /** Runs once on the pass of the event loop after the context was made; a subclass's hook. */
    Q_INVOKABLE virtual void managedObjectContextFinsihedSupport();
    Q_INVOKABLE bool debugSystem() const;

private:
    QString folderFor(const QString &dir) const;
    QString effectiveAppName() const;

    platform::PersistentStoreCoordinator *m_persistentStoreCoordinator = nullptr;
    std::optional<platform::DataModel> m_managedObjectModel;
    platform::StoreContext *m_managedObjectContext = nullptr;
    QString m_dataStorageDir;
    QString m_dataStorageType;
    QString m_dataFileName;
    QString m_modelName;
    QString m_bundleIdentifier;
    QString m_appName;
    bool m_readOnly = true;
    bool m_useAppWrapper = false;
    bool m_ignoreNoFileError = true;
    bool m_sqlFileExists = false;

    bool m_modelTried = false;
    std::optional<ZEM_Error> m_storeError;
};
