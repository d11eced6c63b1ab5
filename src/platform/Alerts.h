#pragma once

#include "zem_appkit_export.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <deque>
#include <functional>

/**
 * The one door through which every alert and every open or save panel of the kit
 * passes. By default it shows Qt dialogs; a test (or a host that answers panels itself)
 * installs an AlertResponder, which then receives every request instead and answers it.
 */
namespace platform {

/** One alert: up to three buttons, shown as a sheet on a window or as a modal panel. */
struct ZEM_APPKIT_EXPORT AlertRequest
{
    enum class Style {
        Sheet, ///< window-modal on `window`, answered later through the callback
        Panel, ///< application-modal, answered before Alerts::runAlert() returns
    };

    QString title;
    QString text;
    /** Extra detail shown below the text; may be empty. */
    QString informativeText;
    /** One to three button titles, the first being the default button. */
    QStringList buttons;
    QPointer<QWidget> window;
    /**
     * The style asked for. Alerts::runAlert() turns Sheet into Panel when the window is
     * missing or hidden, so a responder sees the style actually used.
     */
    Style style = Style::Panel;
    /** The object the alert reports to; kept for responders and the caller's callback. */
    QPointer<QObject> delegate;
};

/** One open panel. */
struct ZEM_APPKIT_EXPORT OpenPanelRequest
{
    QString prompt;
    QString directory;
    /** Qt name filters ("Images (*.png *.jpg)"); empty: all files. */
    QStringList nameFilters;
    bool allowsMultiple = false;
    bool chooseDirectories = false;
    QPointer<QWidget> window;
};

/** One save panel. */
struct ZEM_APPKIT_EXPORT SavePanelRequest
{
    QString prompt;
    QString directory;
    /** The name proposed for the file. */
    QString fileName;
    QStringList nameFilters;
    QPointer<QWidget> window;
};

/** The answer of a panel: the chosen paths, or cancelled (no paths). */
struct ZEM_APPKIT_EXPORT PanelResult
{
    bool accepted = false;
    QStringList paths;

    static PanelResult cancelled() { return {}; }
    static PanelResult chosen(QStringList paths) { return {!paths.isEmpty(), std::move(paths)}; }
};

/** Answers requests in place of the dialogs. Installed with Alerts::setResponder(). */
class ZEM_APPKIT_EXPORT AlertResponder
{
public:
    virtual ~AlertResponder();
    /** The index of the button pressed, or -1 for an alert closed without a button. */
    virtual int answerAlert(const AlertRequest &request) = 0;
    virtual PanelResult answerOpenPanel(const OpenPanelRequest &request) = 0;
    virtual PanelResult answerSavePanel(const SavePanelRequest &request) = 0;
};

/**
 * Runs alerts and panels.
 *
 * **Example**
 * \code
 * platform::AlertRequest r;
 * r.title = title; r.text = text; r.buttons = {ok};
 * r.window = window; r.style = platform::AlertRequest::Style::Sheet;
 * platform::Alerts::runAlert(r, [](int button) { ... });
 * \endcode
 */
class ZEM_APPKIT_EXPORT Alerts
{
public:
    using AlertCallback = std::function<void(int button)>;

    /**
     * Shows \a request. As a sheet (asked for, and the window given and visible) the
     * message box is window-modal and opened without blocking, and \a done is called when
     * it is answered; otherwise an application-modal box runs to its end and \a done is
     * called before this returns. An installed responder answers at once in both cases.
     * Answers the button index when known on return, else -1 (a sheet still open).
     */
    static int runAlert(AlertRequest request, AlertCallback done = {});

    /** Runs an open panel (a non-native QFileDialog unless a responder answers). */
    static PanelResult runOpenPanel(const OpenPanelRequest &request);
    /** Runs a save panel (a non-native QFileDialog unless a responder answers). */
    static PanelResult runSavePanel(const SavePanelRequest &request);

    /** Installs \a responder (not owned); null brings the dialogs back. */
    static void setResponder(AlertResponder *responder);
    static AlertResponder *responder();

    /** The style \a request is shown in: Sheet only with a visible window. */
    static AlertRequest::Style resolvedStyle(const AlertRequest &request);
};

/**
 * A responder that records every request and answers from queues: queued button
 * indexes and panel results in order, then the first button and "cancelled". It
 * installs itself on construction (unless told not to) and uninstalls on destruction.
 */
class ZEM_APPKIT_EXPORT RecordingAlertResponder : public AlertResponder
{
public:
    explicit RecordingAlertResponder(bool install = true);
    ~RecordingAlertResponder() override;
    Q_DISABLE_COPY_MOVE(RecordingAlertResponder)

    int answerAlert(const AlertRequest &request) override;
    PanelResult answerOpenPanel(const OpenPanelRequest &request) override;
    PanelResult answerSavePanel(const SavePanelRequest &request) override;

    void queueAlertAnswer(int button) { m_alertAnswers.push_back(button); }
    void queueOpenAnswer(PanelResult result) { m_openAnswers.push_back(std::move(result)); }
    void queueSaveAnswer(PanelResult result) { m_saveAnswers.push_back(std::move(result)); }

    const QList<AlertRequest> &alerts() const { return m_alerts; }
    const QList<OpenPanelRequest> &openPanels() const { return m_openPanels; }
    const QList<SavePanelRequest> &savePanels() const { return m_savePanels; }
    void clear();

private:
    bool m_installed = false;
    QList<AlertRequest> m_alerts;
    QList<OpenPanelRequest> m_openPanels;
    QList<SavePanelRequest> m_savePanels;
    std::deque<int> m_alertAnswers;
    std::deque<PanelResult> m_openAnswers;
    std::deque<PanelResult> m_saveAnswers;
};

} // namespace platform
