#include "TestFiles.h"
#include "ZemTestEnv.h"

#include "foundation/ZEM_F_HostDelegate.h"
#include "foundation/ZEM_F_PropertyList.h"
#include "services/ZEM_A_E_DockSupport.h"

#include <QScreen>
#include <QSettings>
#include <QWidget>

#include <memory>

using namespace Qt::StringLiterals;
using Dock = ZEM_A_E_DockSupport;

// The dock answers on this machine come either from a plist in the private HOME or, when
// there is none, from the desktop-panel reader; each test sets up the one it needs.
class tst_ZEM_A_E_DockSupport : public QObject
{
    Q_OBJECT
private slots:
    void init() { cleanup(); }

    void cleanup()
    {
        QFile::remove(Dock::shared()->dockPlistFile());
        Dock::setDesktopPanelReader({});
        ZEM_F_Host::setDelegate(nullptr);
        m_host.reset();
        m_settings.reset();
    }

    void plistPath()
    {
        QCOMPARE(Dock::shared()->dockPlistFile(),
                 ZemTestEnv::current()->home() + u"/Library/Preferences/com.apple.dock.plist"_s);
    }

    void readFile_data()
    {
        QTest::addColumn<QVariantMap>("plist");
        QTest::addColumn<bool>("autohide");
        QTest::addColumn<QString>("orientation");
        QTest::addColumn<double>("tilesize");

        QTest::newRow("visible left") << dock(false, u"left"_s, 48) << false << u"left"_s << 48.0;
        QTest::newRow("hidden bottom") << dock(true, u"bottom"_s, 64) << true << u"bottom"_s << 64.0;
        QTest::newRow("integer tile size")
            << QVariantMap{{u"tilesize"_s, qlonglong(36)}, {u"orientation"_s, u"right"_s}} << false << u"right"_s << 36.0;
        QTest::newRow("fractional tile size") << dock(false, u"top"_s, 47.5) << false << u"top"_s << 47.5;
        QTest::newRow("no keys") << QVariantMap{} << false << QString() << 0.0;
        QTest::newRow("orientation not a string")
            << QVariantMap{{u"orientation"_s, qlonglong(2)}, {u"tilesize"_s, 30.0}} << false << QString() << 30.0;
        QTest::newRow("negative tile size") << dock(false, u"left"_s, -20) << false << u"left"_s << 0.0;
        QTest::newRow("tile size as text") << QVariantMap{{u"tilesize"_s, u"big"_s}} << false << QString() << 0.0;
    }

    void readFile()
    {
        QFETCH(QVariantMap, plist);
        QFETCH(bool, autohide);
        QFETCH(QString, orientation);
        QFETCH(double, tilesize);
        // The desktop must not be asked while a readable file exists.
        Dock::setDesktopPanelReader([] { return Dock::DockPreferences{true, u"top"_s, 99}; });
        writeDock(plist);

        Dock *d = Dock::shared();
        QCOMPARE(d->getDockAutohide(), autohide);
        QCOMPARE(d->getDockOrientation(), orientation);
        QCOMPARE(d->getDockTilesize(), tilesize);
        for (const QString &side : {u"left"_s, u"right"_s, u"top"_s, u"bottom"_s})
            QCOMPARE(d->dockOreintationIs(side), side == orientation);
        QVERIFY(!d->dockOreintationIs(QString()));
    }

    void unreadableFile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("code");
        QTest::newRow("not xml") << QByteArray("\x00\x01 binary junk", 15) << int(ZEM_Error::ParseFailed);
        QTest::newRow("truncated") << QByteArray("<plist><dict><key>autohide</key>") << int(ZEM_Error::ParseFailed);
        QTest::newRow("array root") << ZEM_F_PropertyList::write(QVariantList{u"left"_s}) << int(ZEM_Error::InvalidArgument);
        QTest::newRow("string root") << ZEM_F_PropertyList::write(u"left"_s) << int(ZEM_Error::InvalidArgument);
    }

    void unreadableFile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, code);
        writeRaw(bytes);
        auto read = Dock::shared()->readDockPreferenceFile();
        QVERIFY(!read);
        QCOMPARE(int(read.error().code), code);
        QVERIFY(!read.error().message.isEmpty());

        // Unreadable counts as missing: the desktop answers.
        Dock::setDesktopPanelReader([] { return Dock::DockPreferences{false, u"right"_s, 24}; });
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u".*com\\.apple\\.dock\\.plist.*"_s));
        QCOMPARE(Dock::shared()->returnEdgeBuffer(0, Dock::RightEdge), 34.0);
    }

    void missingFileAsksDesktop()
    {
        auto read = Dock::shared()->readDockPreferenceFile();
        QVERIFY(!read);
        QCOMPARE(read.error().code, ZEM_Error::NotFound);

        // The offscreen screen has no panel: the answers for a missing file.
        QScreen *screen = QGuiApplication::primaryScreen();
        QVERIFY(screen);
        QCOMPARE(screen->geometry(), screen->availableGeometry());
        Dock *d = Dock::shared();
        QCOMPARE(d->getDockAutohide(), false);
        QCOMPARE(d->getDockOrientation(), QString());
        QCOMPARE(d->getDockTilesize(), 0.0);
        QVERIFY(!d->dockOreintationIs(u"bottom"_s));

        int asked = 0;
        Dock::setDesktopPanelReader([&asked] {
            ++asked;
            return Dock::DockPreferences{false, u"left"_s, 32};
        });
        QCOMPARE(d->getDockOrientation(), u"left"_s);
        QCOMPARE(d->getDockTilesize(), 32.0);
        QCOMPARE(asked, 2);

        // A file written later wins at the next question: nothing is cached.
        writeDock(dock(true, u"bottom"_s, 50));
        QCOMPARE(d->getDockOrientation(), u"bottom"_s);
        QCOMPARE(asked, 2);
    }

    void returnEdgeBuffer_data()
    {
        QTest::addColumn<bool>("autohide");
        QTest::addColumn<QString>("orientation");
        QTest::addColumn<int>("side");
        QTest::addColumn<double>("margin");

        // offset 5, tile size 48: base = 15, with the dock = 63.
        struct Row
        {
            bool autohide;
            const char *orientation;
            int side;
            double margin;
        };
        const Row rows[] = {
            {false, "left", 0, 63},   {false, "left", 2, 15},   {false, "left", 1, 15},
            {false, "right", 0, 15},  {false, "right", 2, 63},  {false, "right", 1, 15},
            {false, "top", 0, 63},    {false, "top", 2, 63},    {false, "top", 1, 63},
            {false, "bottom", 0, 63}, {false, "bottom", 2, 63}, {false, "bottom", 7, 63},
            {false, "", 0, 15},       {false, "", 2, 15},       {false, "middle", 2, 15},
            {true, "left", 0, 15},    {true, "left", 2, 15},    {true, "right", 2, 15},
            {true, "right", 0, 15},   {true, "top", 0, 15},     {true, "top", 2, 15},
            {true, "bottom", 0, 15},  {true, "bottom", 2, 15},  {true, "", 1, 15},
        };
        for (const Row &r : rows) {
            QTest::addRow("%s %s side %d", r.autohide ? "hidden" : "visible", r.orientation, r.side)
                << r.autohide << QString::fromLatin1(r.orientation) << r.side << r.margin;
        }
    }

    void returnEdgeBuffer()
    {
        QFETCH(bool, autohide);
        QFETCH(QString, orientation);
        QFETCH(int, side);
        QFETCH(double, margin);
        writeDock(dock(autohide, orientation, 48));
        QCOMPARE(Dock::shared()->returnEdgeBuffer(5, side), margin);
        // The offset adds one to one.
        QCOMPARE(Dock::shared()->returnEdgeBuffer(25, side), margin + 20);
    }

    void panelFromGeometry_data()
    {
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QString>("orientation");
        QTest::addColumn<double>("tilesize");

        const QRect screen(0, 0, 1920, 1080);
        QTest::newRow("no panel") << screen << screen << QString() << 0.0;
        QTest::newRow("bottom") << screen << QRect(0, 0, 1920, 1032) << u"bottom"_s << 48.0;
        QTest::newRow("top") << screen << QRect(0, 32, 1920, 1048) << u"top"_s << 32.0;
        QTest::newRow("left") << screen << QRect(64, 0, 1856, 1080) << u"left"_s << 64.0;
        QTest::newRow("right") << screen << QRect(0, 0, 1880, 1080) << u"right"_s << 40.0;
        QTest::newRow("top bar and left dock") << screen << QRect(70, 27, 1850, 1053) << u"left"_s << 70.0;
        QTest::newRow("equal insets prefer bottom") << screen << QRect(0, 30, 1920, 1020) << u"bottom"_s << 30.0;
        QTest::newRow("second screen, right") << QRect(1920, 0, 1280, 1024) << QRect(1920, 0, 1230, 1024) << u"right"_s << 50.0;
        QTest::newRow("invalid available") << screen << QRect() << QString() << 0.0;
    }

    void panelFromGeometry()
    {
        QFETCH(QRect, geometry);
        QFETCH(QRect, available);
        QFETCH(QString, orientation);
        QFETCH(double, tilesize);
        const Dock::DockPreferences panel = Dock::panelFromGeometry(geometry, available);
        QCOMPARE(panel.orientation, orientation);
        QCOMPARE(panel.tilesize, tilesize);
        QCOMPARE(panel.autohide, false);
    }

    void checkForOffSetAndDock_data()
    {
        QTest::addColumn<QVariantMap>("plist");
        QTest::addColumn<double>("offset");
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("expected");

        // Screen 800 wide, window 100 wide, tile size 48: margins 10 without and 58 with the dock.
        const QVariantMap left = dock(false, u"left"_s, 48);
        const QVariantMap right = dock(false, u"right"_s, 48);
        QTest::newRow("left dock, window under it") << left << 0.0 << 20.0 << 58.0;
        QTest::newRow("left dock, window at the margin") << left << 0.0 << 58.0 << 58.0;
        QTest::newRow("left dock, window clear") << left << 0.0 << 100.0 << 100.0;
        QTest::newRow("left dock, window off the right") << left << 0.0 << 750.0 << 700.0;
        QTest::newRow("left dock, setting offset") << left << 12.75 << 60.0 << 70.0;
        QTest::newRow("right dock, window clear") << right << 0.0 << 100.0 << 100.0;
        QTest::newRow("right dock, room for the left margin") << right << 0.0 << 650.0 << 650.0;
        QTest::newRow("right dock, too close") << right << 0.0 << 695.0 << 642.0;
        QTest::newRow("right dock, past the edge") << right << 0.0 << 750.0 << 642.0;
        QTest::newRow("right dock, setting offset") << right << 4.0 << 750.0 << 638.0;
        QTest::newRow("right dock hidden") << dock(true, u"right"_s, 48) << 0.0 << 750.0 << 690.0;
        QTest::newRow("bottom dock, past the edge") << dock(false, u"bottom"_s, 48) << 0.0 << 750.0 << 700.0;
        QTest::newRow("no dock, past the edge") << QVariantMap{} << 0.0 << 790.0 << 700.0;
        QTest::newRow("no dock, inside") << QVariantMap{} << 0.0 << 300.0 << 300.0;
        QTest::newRow("no dock, left of the screen stays") << QVariantMap{} << 0.0 << -30.0 << -30.0;
    }

    void checkForOffSetAndDock()
    {
        QFETCH(QVariantMap, plist);
        QFETCH(double, offset);
        QFETCH(double, x);
        QFETCH(double, expected);
        QScreen *screen = QGuiApplication::primaryScreen();
        QVERIFY(screen);
        if (screen->geometry().x() != 0 || screen->geometry().width() != 800)
            QSKIP("The rows assume the offscreen platform's screen, 800 wide");

        writeDock(plist);
        if (offset != 0)
            useOffset(offset);
        const QRectF rect(x, 120, 100, 80);
        QWidget window;
        for (QWidget *w : {&window, static_cast<QWidget *>(nullptr)}) {
            const QRectF moved = Dock::shared()->checkForOffSetAndDock(rect, w);
            QCOMPARE(moved, QRectF(expected, 120, 100, 80));
        }
    }

private:
    // A host whose settings hold \a offset as the window offset.
    void useOffset(double offset)
    {
        m_settings = std::make_unique<QSettings>(ZemTestEnv::current()->configHome() + u"/dock.ini"_s,
                                                 QSettings::IniFormat);
        m_settings->setValue(u"WindowOffSet"_s, offset);
        m_host = std::make_unique<ZEM_F_SettingsHostDelegate>(u"DockTest"_s, QString(), m_settings.get());
        ZEM_F_Host::setDelegate(m_host.get());
    }

    static void writeDock(const QVariant &root) { writeRaw(ZEM_F_PropertyList::write(root)); }

    static void writeRaw(const QByteArray &bytes)
    {
        QVERIFY(zemtest::writeFile(Dock::shared()->dockPlistFile(), bytes));
    }

    static QVariantMap dock(bool autohide, const QString &orientation, double tilesize)
    {
        return {{u"autohide"_s, autohide}, {u"orientation"_s, orientation}, {u"tilesize"_s, tilesize}};
    }

    std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<ZEM_F_SettingsHostDelegate> m_host;
};

ZEM_TEST_MAIN(tst_ZEM_A_E_DockSupport)
#include "tst_ZEM_A_E_DockSupport.moc"
