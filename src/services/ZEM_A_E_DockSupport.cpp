#include "ZEM_A_E_DockSupport.h"

#include "foundation/ZEM_F_ClassRegistry.h"
#include "foundation/ZEM_F_HostDelegate.h"
#include "foundation/ZEM_F_PropertyList.h"
#include "platform/PlatformLog.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QVariantMap>
#include <QWidget>

#include <array>

namespace {
[[maybe_unused]] const bool registered = ZEM_F_ClassRegistry::registerShared(
    QStringLiteral("ZEM_A_E_DockSupport"), [] { return static_cast<QObject *>(ZEM_A_E_DockSupport::shared()); });

ZEM_A_E_DockSupport::DesktopPanelReader &panelReader()
{
    static ZEM_A_E_DockSupport::DesktopPanelReader reader;
    return reader;
}

ZEM_A_E_DockSupport::DockPreferences defaultPanel()
{
    return ZEM_A_E_DockSupport::panelOfScreen(QGuiApplication::primaryScreen());
}
} // namespace

ZEM_A_E_DockSupport::ZEM_A_E_DockSupport(QObject *parent) : ZEM_F_B_Securitry(parent) {}

ZEM_A_E_DockSupport::~ZEM_A_E_DockSupport() = default;

ZEM_A_E_DockSupport *ZEM_A_E_DockSupport::shared()
{
    static auto *instance = new ZEM_A_E_DockSupport;
    return instance;
}

QString ZEM_A_E_DockSupport::dockPlistFile() const
{
    return QDir::homePath() + QStringLiteral("/Library/Preferences/com.apple.dock.plist");
}

ZEM_Result<ZEM_A_E_DockSupport::DockPreferences> ZEM_A_E_DockSupport::readDockPreferenceFile() const
{
    const QString path = dockPlistFile();
    if (!QFileInfo::exists(path))
        return ZEM_Error::make(ZEM_Error::NotFound,
                               QStringLiteral("The dock preference file %1 does not exist").arg(path), {path});
    auto root = ZEM_F_PropertyList::readFile(path);
    if (!root)
        return root.error();
    if (root->typeId() != QMetaType::QVariantMap)
        return ZEM_Error::make(ZEM_Error::InvalidArgument,
                               QStringLiteral("The dock preference file %1 does not hold a dictionary").arg(path),
                               {path});
    const QVariantMap map = root->toMap();
    DockPreferences prefs;
    prefs.autohide = map.value(QStringLiteral("autohide")).toBool();
    const QVariant orientation = map.value(QStringLiteral("orientation"));
    if (orientation.typeId() == QMetaType::QString)
        prefs.orientation = orientation.toString();
    bool ok = false;
    const double tilesize = map.value(QStringLiteral("tilesize")).toDouble(&ok);
    // A negative or non-numeric tile size would pull windows under the dock; ignore it.
    prefs.tilesize = ok && tilesize > 0 ? tilesize : 0;
    return prefs;
}

ZEM_A_E_DockSupport::DockPreferences ZEM_A_E_DockSupport::dockPreferences() const
{
    auto file = readDockPreferenceFile();
    if (file)
        return *file;
    if (file.error().code != ZEM_Error::NotFound)
        qCWarning(zemPlatform).noquote() << file.error().message;
    const DesktopPanelReader &reader = panelReader();
    return reader ? reader() : defaultPanel();
}

bool ZEM_A_E_DockSupport::getDockAutohide() const
{
    return dockPreferences().autohide;
}

QString ZEM_A_E_DockSupport::getDockOrientation() const
{
    return dockPreferences().orientation;
}

double ZEM_A_E_DockSupport::getDockTilesize() const
{
    return dockPreferences().tilesize;
}

bool ZEM_A_E_DockSupport::dockOreintationIs(const QString &orientation) const
{
    const QString current = getDockOrientation();
    return !current.isEmpty() && current == orientation;
}

double ZEM_A_E_DockSupport::returnEdgeBuffer(int offset, int side) const
{
    const double base = double(offset) + 10.0;
    const DockPreferences dock = dockPreferences();
    if (dock.autohide)
        return base;
    const double with = base + dock.tilesize;
    if (dock.orientation == u"top" || dock.orientation == u"bottom")
        return with;
    if (side == RightEdge)
        return dock.orientation == u"right" ? with : base;
    if (side == LeftEdge)
        return dock.orientation == u"left" ? with : base;
    return base;
}

double ZEM_A_E_DockSupport::getOpenOffSet() const
{
    return ZEM_F_Host::defaults()->getNumberFromClass(QStringLiteral("WindowOffSet"));
}

QRectF ZEM_A_E_DockSupport::checkForOffSetAndDock(const QRectF &rect, QWidget *window) const
{
    QScreen *screen = window ? window->screen() : QGuiApplication::screenAt(rect.center().toPoint());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect screenRect = screen ? screen->geometry() : QRect();
    const double left = screenRect.x();
    const double s = screenRect.width();
    const double w = rect.width();
    double x = rect.x() - left;
    const int off = int(getOpenOffSet());
    const QString orientation = getDockOrientation();

    auto withX = [&](double newX) {
        QRectF moved = rect;
        moved.moveLeft(newX + left);
        return moved;
    };

    const double leftMargin = returnEdgeBuffer(off, LeftEdge);
    if (orientation == u"left" && leftMargin >= x)
        return withX(leftMargin);
    if (orientation == u"right" && !(x + w < s && leftMargin < s - x - w))
        return withX(s - w - returnEdgeBuffer(off, RightEdge));
    if (x + w > s)
        x = s - w;
    return withX(x);
}

void ZEM_A_E_DockSupport::setDesktopPanelReader(DesktopPanelReader reader)
{
    panelReader() = std::move(reader);
}

ZEM_A_E_DockSupport::DockPreferences ZEM_A_E_DockSupport::panelFromGeometry(const QRect &geometry,
                                                                            const QRect &available)
{
    DockPreferences panel;
    if (!geometry.isValid() || !available.isValid())
        return panel;
    struct Inset
    {
        const char16_t *side;
        int size;
    };
    const std::array<Inset, 4> insets{{
        {u"bottom", geometry.bottom() - available.bottom()},
        {u"left", available.left() - geometry.left()},
        {u"right", geometry.right() - available.right()},
        {u"top", available.top() - geometry.top()},
    }};
    const Inset *largest = nullptr;
    for (const Inset &inset : insets) {
        if (inset.size > 0 && (!largest || inset.size > largest->size))
            largest = &inset;
    }
    if (largest) {
        panel.orientation = QString::fromUtf16(largest->side);
        panel.tilesize = largest->size;
    }
    return panel;
}

ZEM_A_E_DockSupport::DockPreferences ZEM_A_E_DockSupport::panelOfScreen(const QScreen *screen)
{
    if (!screen)
        return {};
    return panelFromGeometry(screen->geometry(), screen->availableGeometry());
}

QScreen *ZEM_A_E_DockSupport::screenForWindow(const QWidget *window)
{
    QScreen *screen = window ? window->screen() : nullptr;
    return screen ? screen : QGuiApplication::primaryScreen();
}
