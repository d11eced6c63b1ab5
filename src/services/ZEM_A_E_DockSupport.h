#pragma once

#include "foundation/ZEM_F_B_Securitry.h"
#include "foundation/ZEM_Result.h"
#include "zem_appkit_export.h"

#include <QRect>
#include <QRectF>
#include <QString>

#include <functional>

class QScreen;
class QWidget;

/**
 * Keeps windows clear of the screen edges and of the dock (or the desktop's panel).
 *
 * Every question re-reads the dock's preference file (dockPlistFile()), so a change the
 * user makes to the dock is seen at once. The keys read are "autohide" (boolean),
 * "orientation" ("left", "right", "top" or "bottom") and "tilesize" (points).
 *
 * Linux desktops have no such file. When it is missing the engine asks the desktop-panel
 * reader instead: by default the primary screen's panel, found by comparing its full
 * geometry with its available geometry (see panelFromGeometry()). A file that exists but
 * cannot be read is logged and treated as missing.
 *
 * Sides are numbered as the callers number them: 0 is the left edge, 2 the right edge.
 */
class ZEM_APPKIT_EXPORT ZEM_A_E_DockSupport : public ZEM_F_B_Securitry
{
    Q_OBJECT
public:
    /** What the dock (or a desktop panel) tells about itself. */
    struct DockPreferences
    {
        bool autohide = false;
        /** "left", "right", "top", "bottom", or empty when there is no dock. */
        QString orientation;
        double tilesize = 0;
    };
    using DesktopPanelReader = std::function<DockPreferences()>;

    enum Side { LeftEdge = 0, RightEdge = 2 };

    static ZEM_A_E_DockSupport *shared();

    /** The home folder + "/Library/Preferences/com.apple.dock.plist". */
    Q_INVOKABLE QString dockPlistFile() const;

    Q_INVOKABLE bool getDockAutohide() const;
    /** "left", "right", "top", "bottom", or an empty string when none is known. */
    Q_INVOKABLE QString getDockOrientation() const;
    Q_INVOKABLE double getDockTilesize() const;
    /** True when the dock's orientation is \a orientation; never for an unknown one. */
    Q_INVOKABLE bool dockOreintationIs(const QString &orientation) const;

    /**
     * The margin a window keeps from the edge \a side: \a offset + 10, plus the tile size
     * when a visible dock sits on that side, or at the top or bottom (whatever the side).
     */
    Q_INVOKABLE double returnEdgeBuffer(int offset, int side) const;

    /** The host's setting "WindowOffSet", 0 when unset. */
    Q_INVOKABLE double getOpenOffSet() const;

    /**
     * \a rect moved horizontally so that it stays clear of a dock on the left or right and
     * of the right edge of the screen that holds \a window (null: the screen under the
     * rectangle's centre, else the primary screen). Only x ever changes. Positions are
     * taken from the screen's left edge, so a screen that does not start at x = 0 behaves
     * like one that does.
     */
    Q_INVOKABLE QRectF checkForOffSetAndDock(const QRectF &rect, QWidget *window) const;

    /**
     * All three dock answers from one reading. The file's values when it exists and
     * reads; otherwise the desktop panel reader's answer.
     */
    DockPreferences dockPreferences() const;

    /**
     * The dock preference file alone: ZEM_Error::NotFound when it is missing,
     * ParseFailed when it is not a property list, InvalidArgument when its root is not a
     * dictionary. Missing keys read as false, empty and 0.
     */
    ZEM_Result<DockPreferences> readDockPreferenceFile() const;

    /**
     * Replaces the reader asked when the preference file is missing; an empty function
     * restores the default (the primary screen's panel).
     */
    static void setDesktopPanelReader(DesktopPanelReader reader);

    /**
     * The panel that \a geometry less \a available reveals: the side with the largest
     * inset is the orientation and the inset its tile size (ties go to bottom, left,
     * right, top in that order). No inset gives no orientation and tile size 0. A panel
     * is always visible: autohide is false.
     */
    static DockPreferences panelFromGeometry(const QRect &geometry, const QRect &available);
    /** panelFromGeometry() for \a screen; the empty answer for a null screen. */
    static DockPreferences panelOfScreen(const QScreen *screen);

    /** The screen a window lives on: its own, else the primary screen (may be null). */
    static QScreen *screenForWindow(const QWidget *window);

    ~ZEM_A_E_DockSupport() override;

private:
    explicit ZEM_A_E_DockSupport(QObject *parent = nullptr);
};
