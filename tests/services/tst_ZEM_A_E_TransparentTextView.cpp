#include "ZemTestEnv.h"

#include "foundation/ZEM_F_HostDelegate.h"
#include "foundation/ZEM_F_PropertyList.h"
#include "services/ZEM_A_E_DockSupport.h"
#include "services/ZEM_A_E_TransparentTextView.h"
#include "services/ZEM_A_I_RoundedView.h"
#include "services/ZEM_A_I_TransparentView.h"
#include "services/ZEM_A_I_TransparentWindow.h"

#include <QDir>
#include <QGraphicsDropShadowEffect>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSettings>
#include <QTextBlock>
#include <QTextCursor>

using namespace Qt::StringLiterals;
using Dock = ZEM_A_E_DockSupport;

class tst_ZEM_A_E_TransparentTextView : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QScreen *screen = QGuiApplication::primaryScreen();
        QVERIFY(screen);
        if (screen->geometry().topLeft() != QPoint(0, 0) || screen->geometry().width() != 800)
            QSKIP("The expected sizes assume the offscreen platform's screen, 800 wide at the origin");
    }

    void init() { cleanup(); }

    // No dock file and no window shown, before and after each test.
    void cleanup()
    {
        QFile::remove(Dock::shared()->dockPlistFile());
        if (auto *w = ZEM_A_E_TransparentTextView::shared()->window())
            w->hide();
    }

    void loadsOnce()
    {
        auto *engine = ZEM_A_E_TransparentTextView::shared();
        QVERIFY(engine->loadNibFile());
        QVERIFY(engine->isLoaded());
        ZEM_A_I_TransparentWindow *window = engine->window();
        QVERIFY(window);
        QVERIFY(engine->loadNibFile());
        QCOMPARE(engine->window(), window);
        QCOMPARE(engine->textView(), window->textView());

        QCOMPARE(window->objectName(), ZEM_F_Host::appName() + u"TransparentWindow"_s);
        QVERIFY(ZEM_F_Host::appName().size() > 0);
        const Qt::WindowFlags flags = window->windowFlags();
        QCOMPARE(flags & Qt::WindowType_Mask, Qt::Tool);
        const Qt::WindowFlags bare = Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::NoDropShadowWindowHint;
        QCOMPARE(flags & bare, bare);
        QVERIFY(window->testAttribute(Qt::WA_TranslucentBackground));
        QVERIFY(!window->testAttribute(Qt::WA_DeleteOnClose));
        QVERIFY(window->textView()->isReadOnly());
        QVERIFY(!window->textView()->viewport()->autoFillBackground());
        QCOMPARE(window->textView()->palette().color(QPalette::Base).alpha(), 0);
    }

    void sizing_data()
    {
        QTest::addColumn<QVariantMap>("plist"); // empty: no file
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<double>("fontSize");
        QTest::addColumn<QSize>("size");

        const QVariantMap none;
        const QVariantMap bottom{{u"autohide"_s, false}, {u"orientation"_s, u"bottom"_s}, {u"tilesize"_s, 64.0}};
        const QVariantMap hidden{{u"autohide"_s, true}, {u"orientation"_s, u"bottom"_s}, {u"tilesize"_s, 64.0}};
        const QString twenty = u"ABCDEFGHIJKLMNOPQRST"_s;

        // W = 800. One character: raw = 790 * 1.35 > 288, so 288 and 288 / 1.5 + 50 = 242.
        QTest::newRow("one character") << none << u"7"_s << u"7"_s << 288.0 << QSize(242, 360);
        QTest::newRow("two emoji are two characters")
            << none << u"\U0001F600\U0001F600"_s << u"\U0001F600\U0001F600"_s << 288.0 << QSize(434, 360);
        // Four: raw = 790 / 4 * 1.35 = 266.625 stays below 288, no extra 50.
        QTest::newRow("four characters") << none << u"5551"_s << u"5551"_s << 266.625 << QSize(711, 333);
        // 25 characters: the first 20, raw = 790 / 20 * 1.35 = 53.325.
        QTest::newRow("25 characters") << none << twenty + u"UVWXY"_s << twenty << 53.325 << QSize(711, 67);
        QTest::newRow("exactly 20") << none << twenty << twenty << 53.325 << QSize(711, 67);
        // A visible dock of 64: margin 74, raw = 726 / 20 * 1.35 = 49.005.
        QTest::newRow("visible dock") << bottom << twenty << twenty << 49.005 << QSize(653, 61);
        QTest::newRow("hidden dock") << hidden << twenty << twenty << 53.325 << QSize(711, 67);
    }

    void sizing()
    {
        QFETCH(QVariantMap, plist);
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QFETCH(double, fontSize);
        QFETCH(QSize, size);
        if (!plist.isEmpty())
            writeDock(plist);

        auto *engine = ZEM_A_E_TransparentTextView::shared();
        QVERIFY(engine->showTransparentWindow(text));
        ZEM_A_I_TransparentWindow *window = engine->window();
        QVERIFY(window->isVisible());
        QCOMPARE(engine->textView()->string(), shown);
        QVERIFY(qAbs(window->fontSize() - fontSize) < 1e-9);
        QCOMPARE(window->size(), size);
        QCOMPARE(engine->textView()->currentFont().pixelSize(), qRound(fontSize));
        // Kept inside the screen.
        QVERIFY(QGuiApplication::primaryScreen()->geometry().contains(window->frameGeometry()));
    }

    void textAttributes()
    {
        auto *engine = ZEM_A_E_TransparentTextView::shared();
        // Eight characters: raw = 790 / 8 * 1.35 = 133.3125.
        QVERIFY(engine->showTransparentWindow(u"0171 555"_s));
        QCOMPARE(engine->window()->fontSize(), 133.3125);
        ZEM_A_I_TransparentView *view = engine->textView();
        QTextDocument *document = view->document();
        QTextBlock block = document->firstBlock();
        QCOMPARE(block.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        for (int position : {0, 4, 7}) {
            QTextCursor cursor(document);
            cursor.setPosition(position);
            cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
            const QTextCharFormat format = cursor.charFormat();
            QCOMPARE(format.foreground().color(), QColor(Qt::white));
            QCOMPARE(format.font().weight(), QFont::Bold);
            QCOMPARE(format.font().family(), ZEM_A_I_TransparentWindow::textFontFamily());
            QCOMPARE(format.font().pixelSize(), 133);
        }
        auto *shadow = qobject_cast<QGraphicsDropShadowEffect *>(view->graphicsEffect());
        QVERIFY(shadow);
        QCOMPARE(shadow->offset(), QPointF(6, 6));
        QCOMPARE(shadow->blurRadius(), 3.0);
        QCOMPARE(shadow->color(), QColor(0, 0, 0, 204));
    }

    void moveWindowSupport_data()
    {
        QTest::addColumn<QVariantMap>("plist");
        QTest::addColumn<QPoint>("start");
        QTest::addColumn<QPoint>("expected");

        // Screen 800 wide and H high, window 200 x 100, tile size 40: a visible dock adds 50.
        const int h = QGuiApplication::primaryScreen()->geometry().height();
        auto dockAt = [](const QString &side, bool autohide) {
            return QVariantMap{{u"autohide"_s, autohide}, {u"orientation"_s, side}, {u"tilesize"_s, 40.0}};
        };
        const QVariantMap none;
        QTest::newRow("inside") << none << QPoint(100, 100) << QPoint(100, 100);
        QTest::newRow("inside, next to a left dock") << dockAt(u"left"_s, false) << QPoint(5, 100) << QPoint(5, 100);
        QTest::newRow("left, no dock") << none << QPoint(-30, 100) << QPoint(10, 100);
        QTest::newRow("left, dock left") << dockAt(u"left"_s, false) << QPoint(-30, 100) << QPoint(60, 100);
        // One condition ignores a hidden dock on every side.
        QTest::newRow("left, hidden dock left") << dockAt(u"left"_s, true) << QPoint(-30, 100) << QPoint(10, 100);
        QTest::newRow("left, dock right") << dockAt(u"right"_s, false) << QPoint(-30, 100) << QPoint(10, 100);
        QTest::newRow("right, no dock") << none << QPoint(700, 100) << QPoint(590, 100);
        QTest::newRow("right, dock right") << dockAt(u"right"_s, false) << QPoint(700, 100) << QPoint(540, 100);
        QTest::newRow("right, dock left") << dockAt(u"left"_s, false) << QPoint(700, 100) << QPoint(590, 100);
        QTest::newRow("top, no dock") << none << QPoint(100, -20) << QPoint(100, 10);
        QTest::newRow("top, dock top") << dockAt(u"top"_s, false) << QPoint(100, -20) << QPoint(100, 60);
        QTest::newRow("top, dock bottom") << dockAt(u"bottom"_s, false) << QPoint(100, -20) << QPoint(100, 10);
        QTest::newRow("bottom, no dock") << none << QPoint(100, h - 50) << QPoint(100, h - 110);
        QTest::newRow("bottom, dock bottom") << dockAt(u"bottom"_s, false) << QPoint(100, h - 50) << QPoint(100, h - 160);
        QTest::newRow("bottom, dock top") << dockAt(u"top"_s, false) << QPoint(100, h - 50) << QPoint(100, h - 110);
        QTest::newRow("bottom edge on the screen's") << none << QPoint(100, h - 100) << QPoint(100, h - 100);
        QTest::newRow("top left corner") << none << QPoint(-50, -50) << QPoint(10, 10);
        QTest::newRow("bottom right corner, dock right") << dockAt(u"right"_s, false) << QPoint(900, h + 100) << QPoint(540, h - 110);
    }

    void moveWindowSupport()
    {
        QFETCH(QVariantMap, plist);
        QFETCH(QPoint, start);
        QFETCH(QPoint, expected);
        if (!plist.isEmpty())
            writeDock(plist);
        ZEM_A_I_TransparentWindow window;
        window.resize(200, 100);
        window.move(start);
        window.moveWindowSupport(false);
        QCOMPARE(window.pos(), expected);
    }

    void roundedViewPixels()
    {
        ZEM_A_I_RoundedView view;
        view.resize(200, 100);
        QImage image(200, 100, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        view.render(&image);

        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(image.pixel(199, 99)), 0);
        // Radius 25: (5, 5) lies outside the corner's arc, (9, 9) inside it.
        QCOMPARE(qAlpha(image.pixel(5, 5)), 0);
        QCOMPARE(qAlpha(image.pixel(194, 94)), 0);
        QVERIFY(qAlpha(image.pixel(9, 9)) >= 88);
        for (const QPoint p : {QPoint(100, 50), QPoint(2, 50), QPoint(100, 97), QPoint(30, 2)}) {
            const QColor c = QColor::fromRgba(image.pixel(p));
            QVERIFY2(qAbs(c.alpha() - 89) <= 1, qPrintable(u"alpha %1 at %2,%3"_s.arg(c.alpha()).arg(p.x()).arg(p.y())));
            QCOMPARE(image.pixel(p) & 0xFFFFFFu, 0u); // black
        }
    }

    void roundedPathSmallSizes()
    {
        QVERIFY(ZEM_A_I_RoundedView::backdropPath(QSizeF(0, 0)).isEmpty());
        const QPainterPath small = ZEM_A_I_RoundedView::backdropPath(QSizeF(30, 20));
        QVERIFY(!small.isEmpty());
        QVERIFY(small.contains(QPointF(15, 10)));
        QVERIFY(!small.contains(QPointF(0.5, 0.5)));
        QCOMPARE(small.boundingRect(), QRectF(0, 0, 30, 20));
    }

    void plainClickCloses()
    {
        auto *engine = ZEM_A_E_TransparentTextView::shared();
        ZEM_A_I_TransparentWindow *window = shown(u"42"_s);
        QVERIFY(window);
        // A Ctrl-click on the text keeps it open and records where the mouse took it.
        QWidget *viewport = engine->textView()->viewport();
        const QPoint local(15, 20);
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, local);
        QVERIFY(window->isVisible());
        QCOMPARE(window->initialLocation(), QPointF(viewport->mapTo(window, local)));
        // A plain click on the text closes it.
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, local);
        QVERIFY(!window->isVisible());

        // And on the backdrop itself.
        QVERIFY(engine->showTransparentWindow(u"42"_s));
        QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
        QVERIFY(!window->isVisible());
    }

    void ctrlDragMovesWindow()
    {
        ZEM_A_I_TransparentWindow *window = shown(u"12"_s);
        QVERIFY(window);
        window->move(100, 100);
        QWidget *viewport = window->textView()->viewport();
        const QPoint grab(30, 20);
        const QPoint grabInWindow = viewport->mapTo(window, grab);

        sendMouse(viewport, QEvent::MouseButtonPress, grab, Qt::ControlModifier);
        QVERIFY(window->isVisible());
        // Move the mouse 40 right and 25 down in screen terms.
        sendMouse(viewport, QEvent::MouseMove, grab + QPoint(40, 25), Qt::ControlModifier);
        QCOMPARE(window->pos(), QPoint(140, 125));
        QCOMPARE(window->initialLocation(), QPointF(grabInWindow));

        // Without Ctrl the drag does nothing.
        sendMouse(viewport, QEvent::MouseMove, grab + QPoint(90, 90), Qt::NoModifier);
        QCOMPARE(window->pos(), QPoint(140, 125));

        // Far past the left edge: held 10 from it.
        const QPoint farLeft = viewport->mapFromGlobal(QPoint(-400, 300));
        sendMouse(viewport, QEvent::MouseMove, farLeft, Qt::ControlModifier);
        QCOMPARE(window->pos().x(), 10);
        sendMouse(viewport, QEvent::MouseButtonRelease, farLeft, Qt::ControlModifier);
        QVERIFY(window->isVisible());
    }

    void closesWhenDeactivated()
    {
        auto *engine = ZEM_A_E_TransparentTextView::shared();
        QVERIFY(engine->showTransparentWindow(u"99"_s));
        ZEM_A_I_TransparentWindow *window = engine->window();
        QVERIFY(QTest::qWaitForWindowActive(window));

        QWidget other;
        other.resize(100, 100);
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QTRY_VERIFY(!window->isVisible());
    }

    void frameIsSavedAndRestored()
    {
        const QString name = u"FrameTestTransparentWindow"_s;
        QSettings().remove(ZEM_A_I_TransparentWindow::frameSettingsKey(name));
        {
            ZEM_A_I_TransparentWindow window;
            QVERIFY(!window.setFrameAutosaveName(name));
            QCOMPARE(window.frameAutosaveName(), name);
            window.resize(200, 100);
            window.move(123, 234);
            QVERIFY(zemtest::showExposed(window));
            window.hide();
        }
        ZEM_A_I_TransparentWindow again;
        QVERIFY(again.setFrameAutosaveName(name));
        QCOMPARE(again.pos(), QPoint(123, 234));
        // Another name has nothing saved.
        ZEM_A_I_TransparentWindow other;
        QVERIFY(!other.setFrameAutosaveName(u"OtherTransparentWindow"_s));
    }

private:
    // The large-type window showing \a text, once it is on the screen; null if it is not.
    static ZEM_A_I_TransparentWindow *shown(const QString &text)
    {
        auto *engine = ZEM_A_E_TransparentTextView::shared();
        if (!engine->showTransparentWindow(text) || !QTest::qWaitForWindowExposed(engine->window()))
            return nullptr;
        return engine->window();
    }

    static void writeDock(const QVariantMap &plist)
    {
        const QString path = Dock::shared()->dockPlistFile();
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QVERIFY(ZEM_F_PropertyList::writeFile(path, plist));
    }

    // A left-button press, a move with it held, or its release.
    void sendMouse(QWidget *target, QEvent::Type type, QPoint local, Qt::KeyboardModifiers modifiers)
    {
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, QPointF(local), QPointF(target->mapToGlobal(local)), button, held, modifiers);
        QCoreApplication::sendEvent(target, &event);
    }
};

ZEM_TEST_MAIN(tst_ZEM_A_E_TransparentTextView)
#include "tst_ZEM_A_E_TransparentTextView.moc"
