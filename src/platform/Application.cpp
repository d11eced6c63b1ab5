#include "platform/Application.h"

#include "platform/Alerts.h"
#include "foundation/ZEM_F_E_Language.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>

namespace platform {

namespace {
struct State
{
    QString mainIdentifier;
    QString mainResources;
    QHash<QString, QString> bundles;
    Application::ErrorPresenter presenter;
};

State &state()
{
    static State s;
    return s;
}
} // namespace

QString Application::applicationSupportFolder()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return base.isEmpty() ? QDir::tempPath() : base;
}

QString Application::mainBundleIdentifier()
{
    return state().mainIdentifier.isEmpty() ? QCoreApplication::applicationName() : state().mainIdentifier;
}

void Application::setMainBundleIdentifier(const QString &identifier)
{
    state().mainIdentifier = identifier;
}

QString Application::mainResourcesPath()
{
    if (!state().mainResources.isEmpty())
        return state().mainResources;
    const QString program = QCoreApplication::applicationDirPath();
    for (const QString &candidate : {program + QStringLiteral("/../share/") + QCoreApplication::applicationName(),
                                     program + QStringLiteral("/resources")})
        if (QFileInfo(candidate).isDir())
            return QDir::cleanPath(candidate);
    return program;
}

void Application::setMainResourcesPath(const QString &path)
{
    state().mainResources = path;
}

void Application::registerBundle(const QString &identifier, const QString &resourcesPath)
{
    if (!identifier.isEmpty())
        state().bundles.insert(identifier, resourcesPath);
}

QString Application::resourcesPathForBundle(const QString &identifier)
{
    if (const auto it = state().bundles.constFind(identifier); it != state().bundles.cend())
        return *it;
    if (!identifier.isEmpty() && identifier == mainBundleIdentifier())
        return mainResourcesPath();
    return {};
}

bool Application::presentError(const ZEM_Error &error, QWidget *window)
{
    if (state().presenter)
        return state().presenter(error, window);
    AlertRequest request;
    request.text = error.message;
    request.buttons = {ZEM_F_E_Language::shared()->stringForKeyLook(QStringLiteral("NL:Ok"))};
    request.window = window;
    request.style = window ? AlertRequest::Style::Sheet : AlertRequest::Style::Panel;
    Alerts::runAlert(request);
    return false;
}

void Application::setErrorPresenter(ErrorPresenter presenter)
{
    state().presenter = std::move(presenter);
}

} // namespace platform
