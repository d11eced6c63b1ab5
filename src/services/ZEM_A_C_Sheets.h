#pragma once

#include "zem_appkit_export.h"

#include <QString>

class QObject;
class QWidget;

/**
 * The one-button alert through which the kit reports every user-facing error and notice.
 * Texts arrive already looked up in the active language.
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_Sheets
{
public:
    /**
     * Shows \a title and \a text with the single button \a button: as a sheet on \a win
     * when it is given and visible, reporting to \a cont; otherwise as an
     * application-modal panel. Nothing is done with the answer.
     */
    static void oKAlertSheet(const QString &title, const QString &text, const QString &button,
                             QWidget *win, QObject *cont);
};
