#pragma once

#include "zem_appkit_export.h"

#include <QPointF>
#include <QPointer>
#include <QWidget>

class ZEM_A_I_RoundedView;
class ZEM_A_I_TransparentView;

/**
 * The large-type window: a frameless, translucent tool window without shadow that stays
 * above other windows, made of a rounded dark backdrop (ZEM_A_I_RoundedView) holding a
 * text view (ZEM_A_I_TransparentView).
 *
 * It closes when it stops being the active window and on a plain click. A click with
 * Ctrl held (the command key here) records initialLocation(); dragging with Ctrl held
 * moves the window through moveWindowSupport(true), kept clear of the screen edges and
 * the dock.
 *
 * Positions are in Qt's screen coordinates: origin at the top left, y growing downwards.
 * The window is frameless, so its frame and its geometry are the same rectangle.
 */
class ZEM_APPKIT_EXPORT ZEM_A_I_TransparentWindow : public QWidget
{
    Q_OBJECT
public:
    /** The largest size of the text, in pixels. */
    static constexpr double MaxFontSize = 288;
    /** Texts longer than this show their first MaxCharacters characters. */
    static constexpr int MaxCharacters = 20;

    explicit ZEM_A_I_TransparentWindow(QWidget *parent = nullptr);
    ~ZEM_A_I_TransparentWindow() override;

    ZEM_A_I_TransparentView *textView() const { return m_textView; }
    ZEM_A_I_RoundedView *roundedView() const { return m_roundedView; }

    /**
     * Fits the window to its text view's text, for the width W of the window's screen:
     * the text is cut to its first 20 characters (n of them, counted as Unicode code
     * points; an empty text is sized as one character), margin = 10 with a hidden dock
     * and tile size + 10 otherwise, raw = ((W - margin) / n) * 1.35 and the font size is
     * the smaller of raw and 288. The window becomes n * (font size / 1.5) wide, plus 50
     * when raw exceeded 288, and 1.25 * font size high; its origin stays. The whole text
     * is set bold, centred and white with a drop shadow, at the font size in pixels.
     */
    Q_INVOKABLE void setWindowText();

    /**
     * Moves the window clear of its screen's edges: 10 pixels from each, and a further
     * tile size + 10 from the side a visible dock sits on. When \a dragging the new
     * origin is the mouse position less initialLocation(), else the current origin.
     */
    Q_INVOKABLE void moveWindowSupport(bool dragging);
    /** As moveWindowSupport(bool), with the mouse at \a globalMouse in screen coordinates. */
    void moveWindowSupport(bool dragging, const QPointF &globalMouse);

    /** The mouse position less the window origin when the last Ctrl-click began. */
    QPointF initialLocation() const { return m_initialLocation; }
    void setInitialLocation(const QPointF &location) { m_initialLocation = location; }

    /** The font size setWindowText() chose, in pixels (0 before the first call). */
    double fontSize() const { return m_fontSize; }

    /**
     * The family the text is drawn in: "Lucida Grande" when installed, else the
     * application's default family.
     */
    static QString textFontFamily();

    /**
     * Names the window for saving its position ("<app>TransparentWindow"): the name
     * becomes the window's objectName, and its origin is kept in the application's
     * QSettings under "WindowFrames/<name>" each time it hides or a drag ends. Answers
     * true when a saved origin was found and the window moved there.
     */
    bool setFrameAutosaveName(const QString &name);
    QString frameAutosaveName() const { return objectName(); }
    /** The QSettings key of the saved origin for \a name. */
    static QString frameSettingsKey(const QString &name);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void saveFrame() const;

    ZEM_A_I_RoundedView *m_roundedView = nullptr;
    ZEM_A_I_TransparentView *m_textView = nullptr;
    QPointF m_initialLocation;
    double m_fontSize = 0;
    bool m_dragging = false;
    bool m_wasActive = false;
};
