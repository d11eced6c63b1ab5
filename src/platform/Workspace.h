#pragma once

#include "zem_appkit_export.h"

#include "foundation/ZEM_Result.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

/**
 * The desktop's workspace: opening URLs with their default handler, launching
 * applications and showing files in the file manager. Requests are checked here and then
 * handed to a backend: by default the desktop itself; a host or a test may install
 * another (RecordingWorkspace records them instead).
 */
namespace platform {

/** Does what the Workspace asks; requests reach it already checked. */
class ZEM_APPKIT_EXPORT WorkspaceBackend
{
public:
    virtual ~WorkspaceBackend();
    virtual ZEM_Result<void> openURL(const QUrl &url) = 0;
    /** \a program is an existing executable's path. */
    virtual ZEM_Result<void> launchApplication(const QString &program,
                                               const QStringList &arguments) = 0;
    /** \a path is an existing file or folder, absolute. */
    virtual ZEM_Result<void> revealFile(const QString &path) = 0;
};

class ZEM_APPKIT_EXPORT Workspace
{
public:
    /** Opens \a url with its default handler. An empty or invalid URL is an error. */
    static ZEM_Result<void> openURL(const QUrl &url);
    /**
     * Starts the application \a nameOrPath (found with findApplication()) with
     * \a arguments, detached. An application that cannot be found is an error.
     */
    static ZEM_Result<void> launchApplication(const QString &nameOrPath,
                                              const QStringList &arguments = {});
    /**
     * Shows \a path in the file manager: its folder opened with the file selected where
     * the file manager allows, else the folder alone. A missing file is an error.
     */
    static ZEM_Result<void> revealFile(const QString &path);

    /**
     * The executable of the application \a name, or an empty string. A name holding a
     * slash is taken as a path. Otherwise the executables on PATH are searched first, then
     * the desktop entries ("*.desktop") in the "applications" folders of the XDG data
     * folders, matched by file name (with or without ".desktop", or its last dotted part:
     * "org.example.Mail" for "mail"), or by their Name, case ignored; the entry's Exec
     * program is answered. A trailing ".app" is ignored ("Mail.app" looks for "Mail").
     */
    static QString findApplication(const QString &name);

    /** Installs \a backend (not owned); null brings the desktop backend back. */
    static void setBackend(WorkspaceBackend *backend);
    /** The installed backend, or the desktop one; never null. */
    static WorkspaceBackend *backend();
};

/** What a RecordingWorkspace saw. */
struct ZEM_APPKIT_EXPORT WorkspaceRequest
{
    enum class Kind { OpenURL, LaunchApplication, RevealFile };
    Kind kind = Kind::OpenURL;
    QUrl url;
    /** The program launched or the file revealed. */
    QString path;
    QStringList arguments;
};

/**
 * A backend that records each request and answers success, or the configured failure.
 * It installs itself on construction (unless told not to) and uninstalls on destruction.
 */
class ZEM_APPKIT_EXPORT RecordingWorkspace : public WorkspaceBackend
{
public:
    explicit RecordingWorkspace(bool install = true);
    ~RecordingWorkspace() override;
    Q_DISABLE_COPY_MOVE(RecordingWorkspace)

    ZEM_Result<void> openURL(const QUrl &url) override;
    ZEM_Result<void> launchApplication(const QString &program,
                                       const QStringList &arguments) override;
    ZEM_Result<void> revealFile(const QString &path) override;

    /** Every later request is recorded and answered with \a error (none: success). */
    void setFailure(std::optional<ZEM_Error> error) { m_failure = std::move(error); }

    const QList<WorkspaceRequest> &requests() const { return m_requests; }
    void clear() { m_requests.clear(); }

private:
    ZEM_Result<void> record(WorkspaceRequest request);

    bool m_installed = false;
    std::optional<ZEM_Error> m_failure;
    QList<WorkspaceRequest> m_requests;
};

} // namespace platform
