#pragma once

#include "foundation/ZEM_F_B_Securitry.h"
#include "foundation/ZEM_Result.h"
#include "zem_appkit_export.h"

#include <QPointer>
#include <QString>

class ZEM_A_I_TransparentWindow;
class ZEM_A_I_TransparentView;

/**
 * Shows a short text (a phone number, a field's value) in very large white letters on a
 * dark rounded backdrop that floats above other windows, sized to the screen and kept
 * clear of the dock.
 *
 * The window is built on first use and reused for the life of the process.
 *
 * **Example**
 * \code
 * ZEM_A_E_TransparentTextView::shared()->showTransparentWindow(number);
 * \endcode
 */
class ZEM_APPKIT_EXPORT ZEM_A_E_TransparentTextView : public ZEM_F_B_Securitry
{
    Q_OBJECT
public:
    static ZEM_A_E_TransparentTextView *shared();

    /**
     * Builds the window once: later calls do nothing. It is named for saving its
     * position "<app>TransparentWindow" with the host's application name (see
     * ZEM_A_I_TransparentWindow::setFrameAutosaveName()). Fails with
     * ZEM_Error::Unavailable when the process runs no widget application.
     */
    ZEM_Result<void> loadNibFile();

    /**
     * Shows \a string: builds the window if needed, sets the text, fits the window to it,
     * keeps it clear of the screen edges and the dock, and brings it to the front as the
     * active window. The first time, without a saved position, the window is centred on
     * its screen. Answers false (and logs loadNibFile()'s error) when it cannot be shown.
     */
    Q_INVOKABLE bool showTransparentWindow(const QString &string);

    /** The large-type window, or null before loadNibFile(). */
    ZEM_A_I_TransparentWindow *window() const;
    /** Its text view, or null before loadNibFile(). */
    ZEM_A_I_TransparentView *textView() const;
    bool isLoaded() const { return m_isLoaded; }

    ~ZEM_A_E_TransparentTextView() override;

private:
    explicit ZEM_A_E_TransparentTextView(QObject *parent = nullptr);

    QPointer<ZEM_A_I_TransparentWindow> m_window;
    bool m_isLoaded = false;
    bool m_placed = false;
};
