#include "ConsoleAlerts.h"

#include <QGuiApplication>
#include <QTextStream>

#include <unistd.h>

namespace {

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

} // namespace

ConsoleAlertResponder::ConsoleAlertResponder()
{
    if (wanted())
        platform::Alerts::setResponder(this);
}

ConsoleAlertResponder::~ConsoleAlertResponder()
{
    if (platform::Alerts::responder() == this)
        platform::Alerts::setResponder(nullptr);
}

bool ConsoleAlertResponder::wanted()
{
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")
        || !::isatty(STDIN_FILENO);
}

int ConsoleAlertResponder::answerAlert(const platform::AlertRequest &request)
{
    QStringList parts;
    for (const QString &part : {request.title, request.text, request.informativeText})
        if (!part.isEmpty())
            parts << part;
    const QString button = request.buttons.value(0, QStringLiteral("OK"));
    err() << "Alert: " << parts.join(QStringLiteral(" | ")) << " [answered: " << button << "]\n";
    err().flush();
    return 0;
}

platform::PanelResult ConsoleAlertResponder::answerOpenPanel(const platform::OpenPanelRequest &request)
{
    err() << "Open panel cancelled: " << request.prompt << '\n';
    err().flush();
    return platform::PanelResult::cancelled();
}

platform::PanelResult ConsoleAlertResponder::answerSavePanel(const platform::SavePanelRequest &request)
{
    err() << "Save panel cancelled: " << request.prompt << '\n';
    err().flush();
    return platform::PanelResult::cancelled();
}
