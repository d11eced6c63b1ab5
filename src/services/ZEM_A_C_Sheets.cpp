#include "ZEM_A_C_Sheets.h"

#include "platform/Alerts.h"

void ZEM_A_C_Sheets::oKAlertSheet(const QString &title, const QString &text,
                                  const QString &button, QWidget *win, QObject *cont)
{
    platform::AlertRequest request;
    request.title = title;
    request.text = text;
    request.buttons = {button};
    request.window = win;
    request.delegate = cont;
    request.style = platform::AlertRequest::Style::Sheet;
    // Alerts falls back to a modal panel when the window is missing or hidden.
    platform::Alerts::runAlert(std::move(request));
}
