#pragma once

#include <platform/Alerts.h>

/**
 * Answers the kit's alerts and panels on the console: each alert is written to stderr and
 * answered with its default (first) button, each panel is cancelled. The organiser installs
 * it when nobody could answer a dialog: without a display, or with input that is not a
 * terminal.
 */
class ConsoleAlertResponder : public platform::AlertResponder
{
public:
    /** Installs itself when wanted() says so; uninstalls on destruction. */
    ConsoleAlertResponder();
    ~ConsoleAlertResponder() override;
    ConsoleAlertResponder(const ConsoleAlertResponder &) = delete;
    ConsoleAlertResponder &operator=(const ConsoleAlertResponder &) = delete;

    /** True on the offscreen or minimal platform, or when standard input is no terminal. */
    static bool wanted();

    int answerAlert(const platform::AlertRequest &request) override;
    platform::PanelResult answerOpenPanel(const platform::OpenPanelRequest &request) override;
    platform::PanelResult answerSavePanel(const platform::SavePanelRequest &request) override;
};
