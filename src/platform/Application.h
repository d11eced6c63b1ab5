#pragma once

#include "foundation/ZEM_Result.h"
#include "zem_appkit_export.h"

#include <QString>

#include <functional>

class QWidget;

/**
 * What the kit asks of the running application: where its resources and per-user data
 * live, how it shows an error, and how it answers a request to quit.
 */
namespace platform {

/** The answer to a request to quit; the numbers are those callers store. */
enum class TerminateReply { Cancel = 0, Now = 1, Later = 2 };

class ZEM_APPKIT_EXPORT Application
{
public:
    using ErrorPresenter = std::function<bool(const ZEM_Error &error, QWidget *window)>;

    /**
     * The per-user folder under which applications keep their data (the XDG data home,
     * e.g. ~/.local/share); the temporary folder when there is none.
     */
    static QString applicationSupportFolder();

    /** The identifier of the application's own bundle (default: the application name). */
    static QString mainBundleIdentifier();
    static void setMainBundleIdentifier(const QString &identifier);
    /**
     * The application's resources folder: the one set, else <program folder>/../share/<name>
     * or <program folder>/resources when they exist, else the program folder.
     */
    static QString mainResourcesPath();
    static void setMainResourcesPath(const QString &path);
    /** Makes \a identifier's resources the folder \a resourcesPath. */
    static void registerBundle(const QString &identifier, const QString &resourcesPath);
    /** The resources folder of the bundle \a identifier, or empty when no bundle has it. */
    static QString resourcesPathForBundle(const QString &identifier);

    /**
     * Shows \a error to the user: the installed presenter's answer, else a one-button
     * alert with the error's message (through the alert seam) and false. True means the
     * error was handled and the caller should not go on as if it had failed.
     */
    static bool presentError(const ZEM_Error &error, QWidget *window = nullptr);
    /** Installs \a presenter in place of the alert; an empty one restores the alert. */
    static void setErrorPresenter(ErrorPresenter presenter);
};

} // namespace platform
