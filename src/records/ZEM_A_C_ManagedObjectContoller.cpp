#include "ZEM_A_C_ManagedObjectContoller.h"

#include "foundation/ZEM_F_E_DebugMachine.h"
#include "foundation/ZEM_F_E_Language.h"
#include "foundation/ZEM_F_HostDelegate.h"
#include "platform/Alerts.h"
#include "platform/Invoke.h"
#include "platform/PlatformLog.h"
#include "platform/store/StoreContext.h"
#include "platform/store/StoreCoordinator.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

ZEM_A_C_ManagedObjectContoller::ZEM_A_C_ManagedObjectContoller(const QString &bundleIdentifier,
                                                               const QString &modelName,
                                                               const QString &dataFileName, QObject *parent)
    : ZEM_F_B_Securitry(parent),
      m_dataStorageDir(QStringLiteral("SQLData")),
      m_dataStorageType(platform::PersistentStoreCoordinator::sqliteStoreType()),
      m_dataFileName(dataFileName),
      m_modelName(modelName),
      m_bundleIdentifier(bundleIdentifier)
{
}

ZEM_A_C_ManagedObjectContoller::~ZEM_A_C_ManagedObjectContoller()
{
    // The context's records read through the store while they go.
    delete m_managedObjectContext;
    delete m_persistentStoreCoordinator;
}

bool ZEM_A_C_ManagedObjectContoller::debugSystem() const
{
    return ZEM_F_E_DebugMachine::shared()->checkIsDebugMachine();
}

const platform::DataModel *ZEM_A_C_ManagedObjectContoller::managedObjectModel()
{
    if (!m_modelTried) {
        m_modelTried = true;
        const QString resources = platform::Application::resourcesPathForBundle(m_bundleIdentifier);
        const QString path = QStringLiteral("%1/%2.json").arg(resources, m_modelName);
        ZEM_Result<platform::DataModel> model = resources.isEmpty()
                                                    ? ZEM_Result<platform::DataModel>(ZEM_Error::make(
                                                          ZEM_Error::NotFound, QStringLiteral("no bundle")))
                                                    : platform::DataModel::fromFile(path);
        if (model)
            m_managedObjectModel = std::move(*model);
        else if (debugSystem())
            qCWarning(zemPlatform).noquote()
                << QStringLiteral("NSManagedObjectModel failed to be created with file: %1").arg(path);
    }
    return m_managedObjectModel ? &*m_managedObjectModel : nullptr;
}

QString ZEM_A_C_ManagedObjectContoller::getStorageExtention() const
{
    return m_dataStorageType == platform::PersistentStoreCoordinator::sqliteStoreType() ? QStringLiteral("sql")
                                                                                       : QStringLiteral("xml");
}

QString ZEM_A_C_ManagedObjectContoller::effectiveAppName() const
{
    return m_appName.isNull() ? ZEM_F_Host::appName() : m_appName;
}

QString ZEM_A_C_ManagedObjectContoller::folderFor(const QString &dir) const
{
    return platform::Application::applicationSupportFolder() + u'/'
           + QStringLiteral("%1/%2").arg(effectiveAppName(), dir);
}

QString ZEM_A_C_ManagedObjectContoller::applicationSupportFolder()
{
    if (!m_useAppWrapper)
        return folderFor(m_dataStorageDir);
    const QString development = folderFor(QStringLiteral("SQLDataApp"));
    if (debugSystem() && QFileInfo(development).isDir()) {
        m_dataStorageDir = QStringLiteral("SQLDataApp");
        return development;
    }
    return platform::Application::mainResourcesPath();
}

QUrl ZEM_A_C_ManagedObjectContoller::getStorageURL()
{
    const QString path = applicationSupportFolder() + u'/'
                         + QStringLiteral("%1.%2").arg(m_dataFileName, getStorageExtention());
    if (!m_readOnly && !QFileInfo::exists(path))
        return QUrl::fromLocalFile(path);
    m_sqlFileExists = true;
    return QUrl::fromLocalFile(path);
}

platform::PersistentStoreCoordinator *ZEM_A_C_ManagedObjectContoller::persistentStoreCoordinator()
{
    if (m_persistentStoreCoordinator)
        return m_persistentStoreCoordinator;
    const platform::DataModel *model = managedObjectModel();
    m_persistentStoreCoordinator = new platform::PersistentStoreCoordinator(model ? *model : platform::DataModel());
    platform::StoreOptions options;
    options.readOnly = m_readOnly;
    const QString path = getStorageURL().toLocalFile();

    ZEM_Result<platform::PersistentStore *> added = ZEM_Error{};
    if (!model) {
        added = ZEM_Error::make(ZEM_Error::NotFound,
                                tr("The data model \"%1\" could not be loaded, so the store %2 cannot be opened.")
                                    .arg(m_modelName, path),
                                {m_modelName, path});
    } else {
        // A new writable store needs its folder; a read-only one must already be there.
        if (!m_readOnly)
            QDir().mkpath(QFileInfo(path).absolutePath());
        added = m_persistentStoreCoordinator->addPersistentStore(m_dataStorageType, path, options);
    }
    if (!added) {
        m_storeError = added.error();
        qCInfo(zemPlatform) << "store not added:" << added.error().message;
        if (!m_ignoreNoFileError)
            platform::Application::presentError(added.error());
    }
    return m_persistentStoreCoordinator;
}

std::optional<ZEM_Error> ZEM_A_C_ManagedObjectContoller::storeError() const
{
    return m_storeError;
}

platform::StoreContext *ZEM_A_C_ManagedObjectContoller::managedObjectContext()
{
    if (m_managedObjectContext)
        return m_managedObjectContext;
    platform::PersistentStoreCoordinator *coordinator = persistentStoreCoordinator();
    if (coordinator) {
        m_managedObjectContext = new platform::StoreContext;
        m_managedObjectContext->setPersistentStoreCoordinator(coordinator);
    }
    // A timer of its own rather than a queued call, so that what is pending can be seen.
    auto *finished = new QTimer(this);
    finished->setObjectName(QStringLiteral("managedObjectContextFinsihedSupport"));
    finished->setSingleShot(true);
    connect(finished, &QTimer::timeout, this, [this, finished] {
        finished->deleteLater();
        platform::perform(this, "managedObjectContextFinsihedSupport");
    });
    finished->start(0);
    return m_managedObjectContext;
}

void ZEM_A_C_ManagedObjectContoller::managedObjectContextFinsihedSupport() {}

bool ZEM_A_C_ManagedObjectContoller::saveAction(QObject *)
{
    platform::StoreContext *context = managedObjectContext();
    if (!context)
        return false;
    const ZEM_Result<void> saved = context->save();
    if (!saved) {
        platform::Application::presentError(saved.error());
        return false;
    }
    context->removeAllUndoActions();
    return true;
}

bool ZEM_A_C_ManagedObjectContoller::saveOnQuitAction(QObject *)
{
    platform::StoreContext *context = managedObjectContext();
    if (!context)
        return false;
    const ZEM_Result<void> saved = context->save();
    if (!saved)
        platform::Application::presentError(saved.error());
    return bool(saved);
}

platform::TerminateReply ZEM_A_C_ManagedObjectContoller::applicationShouldTerminate(QObject *)
{
    using platform::TerminateReply;
    platform::StoreContext *context = m_managedObjectContext;
    if (!context)
        return TerminateReply::Now;
    if (!context->commitEditing())
        return TerminateReply::Cancel;
    if (!context->hasChanges())
        return TerminateReply::Now;
    const ZEM_Result<void> saved = context->save();
    if (saved)
        return TerminateReply::Now;
    if (platform::Application::presentError(saved.error()))
        return TerminateReply::Cancel;

    ZEM_F_E_Language *language = ZEM_F_E_Language::shared();
    platform::AlertRequest request;
    request.text = language->stringForKey(QStringLiteral("M:QuitAnyways"));
    request.buttons = {language->stringForKey(QStringLiteral("B:QuitAnyway")),
                       language->stringForKeyLook(QStringLiteral("NL:Cancel"))};
    request.style = platform::AlertRequest::Style::Panel;
    return platform::Alerts::runAlert(request) == 0 ? TerminateReply::Now : TerminateReply::Cancel;
}
