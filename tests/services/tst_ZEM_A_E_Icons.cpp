#include "TestImages.h"
#include "ZemTestEnv.h"

#include "foundation/ZEM_F_C_StoreGroup.h"
#include "foundation/ZEM_F_HostDelegate.h"
#include "platform/ButtonCell.h"
#include "platform/ImagePosition.h"
#include "services/ZEM_A_E_Icons.h"

#include <QAction>
#include <QPushButton>
#include <QToolButton>

using platform::ImagePosition;
Q_DECLARE_METATYPE(ImagePosition)

using zemtest::filled;

namespace {
QImage imageOf(const QObject *control, const char *property = "image")
{
    return control->property(property).value<QImage>();
}

// A menu item's target that answers cellSize.
class CellOwner : public QObject
{
    Q_OBJECT
public:
    Q_INVOKABLE QSize cellSize() const { return QSize(100, 20); }
};

// A menu item's target that answers only frame.
class FrameOwner : public QObject
{
    Q_OBJECT
public:
    Q_INVOKABLE QRect frame() const { return QRect(5, 5, 80, 14); }
};

// A cell class of its own, which the icon engine does not serve.
class OwnCell : public platform::ButtonCell
{
    Q_OBJECT
};

} // namespace

class tst_ZEM_A_E_Icons : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        auto *settings =
            new QSettings(m_dir.filePath(QStringLiteral("host.ini")), QSettings::IniFormat, this);
        m_host = new ZEM_F_SettingsHostDelegate(QStringLiteral("Organiser"), {}, settings);
        ZEM_F_Host::setDelegate(m_host);
        ZEM_F_C_StoreGroup *store = ZEM_F_C_StoreGroup::shared();
        store->setImage(QStringLiteral("TestMain"), filled(QSize(32, 32), Qt::blue));
        store->setImage(QStringLiteral("TestAlt"), filled(QSize(32, 32), Qt::green));
        store->setImage(QStringLiteral("AddToolSmall"), filled(QSize(8, 8), Qt::red));
        store->setImage(QStringLiteral("DeleteToolSmall"), filled(QSize(8, 8), Qt::yellow));
    }

    void cleanupTestCase()
    {
        ZEM_F_Host::setDelegate(nullptr);
        delete m_host;
    }

    void sizeByControlClass_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QSize>("size");
        QTest::newRow("push button: its own size") << "button" << QSize(40, 24);
        QTest::newRow("tool button: its own size") << "toolbutton" << QSize(30, 30);
        QTest::newRow("menu item, target with cell height 20") << "cellSize" << QSize(16, 16);
        QTest::newRow("menu item, widget target 30 high") << "widget" << QSize(26, 26);
        QTest::newRow("menu item, target with frame 14 high") << "frame" << QSize(10, 10);
        QTest::newRow("menu item, target answering neither") << "plain" << QSize(32, 32);
        QTest::newRow("menu item without target") << "none" << QSize(32, 32);
    }

    void sizeByControlClass()
    {
        QFETCH(QString, kind);
        QFETCH(QSize, size);
        QPushButton button;
        button.resize(40, 24);
        QToolButton toolButton;
        toolButton.resize(30, 30);
        QAction action;
        CellOwner cellOwner;
        FrameOwner frameOwner;
        QObject plain;
        QWidget widget;
        widget.setGeometry(0, 0, 200, 30);
        const QHash<QString, QObject *> targets{
            {u"cellSize"_qs, &cellOwner}, {u"widget"_qs, &widget}, {u"frame"_qs, &frameOwner}, {u"plain"_qs, &plain}};
        if (targets.contains(kind))
            action.setProperty("target", QVariant::fromValue(targets.value(kind)));
        QObject *control = QHash<QString, QObject *>{{u"button"_qs, &button}, {u"toolbutton"_qs, &toolButton}}.value(kind, &action);

        ZEM_A_E_Icons::shared()->buttonImage(control, QStringLiteral("TestMain"), QString(), 1);
        const QImage image = imageOf(control);
        QCOMPARE(image.size(), size);
        QCOMPARE(image.pixelColor(size.width() / 2, size.height() / 2), QColor(Qt::blue));
        const QIcon icon =
            control == &action ? action.icon() : qobject_cast<QAbstractButton *>(control)->icon();
        QVERIFY(!icon.isNull());
        QCOMPARE(icon.availableSizes(QIcon::Normal, QIcon::Off), QList<QSize>{size});
        if (auto *b = qobject_cast<QAbstractButton *>(control))
            QCOMPARE(b->iconSize(), size);
    }

    void buttonCell()
    {
        platform::ButtonCell cell(QStringLiteral("Today"));
        QSignalSpy changed(&cell, &platform::ButtonCell::changed);
        ZEM_A_E_Icons::shared()->buttonImage(&cell, QStringLiteral("TestMain"),
                                             QStringLiteral("TestAlt"), 2);
        QCOMPARE(cell.image().size(), QSize(32, 32));
        QCOMPARE(cell.image().pixelColor(0, 0), QColor(Qt::blue));
        QCOMPARE(cell.alternateImage().pixelColor(0, 0), QColor(Qt::green));
        QCOMPARE(cell.imagePosition(), ImagePosition::ImageLeft);
        QCOMPARE(platform::imagePosition(&cell), ImagePosition::ImageLeft);
        QCOMPARE(changed.size(), 3);
        // A subclass is not "exactly a cell": it gets nothing.
        OwnCell own;
        QVERIFY(!ZEM_A_E_Icons::shared()->buttonSupport(QStringLiteral("TestMain"), &own, false, true));
        QVERIFY(own.image().isNull());
    }

    void noResizeKeepsOwnSize()
    {
        QPushButton button;
        button.resize(40, 24);
        ZEM_A_E_Icons::shared()->buttonImageNoResize(&button, QStringLiteral("TestMain"), QString(), 1);
        QCOMPARE(imageOf(&button).size(), QSize(32, 32));
        QCOMPARE(button.iconSize(), QSize(32, 32));
    }

    void alternateImageIsOnState()
    {
        QPushButton button;
        button.resize(20, 20);
        ZEM_A_E_Icons *icons = ZEM_A_E_Icons::shared();
        icons->buttonImage(&button, QStringLiteral("TestMain"), QStringLiteral("TestAlt"), 1);
        auto colourOf = [&](QIcon::State state) {
            return button.icon()
                .pixmap(QSize(20, 20), QIcon::Normal, state)
                .toImage()
                .pixelColor(10, 10);
        };
        QCOMPARE(colourOf(QIcon::Off), QColor(Qt::blue));
        QCOMPARE(colourOf(QIcon::On), QColor(Qt::green));
        // Setting the main image again keeps the alternate one.
        QVERIFY(icons->buttonSupport(QStringLiteral("AddToolSmall"), &button, false, true));
        QCOMPARE(colourOf(QIcon::Off), QColor(Qt::red));
        QCOMPARE(colourOf(QIcon::On), QColor(Qt::green));
    }

    void missingImageKeepsOldAndLogsOnce()
    {
        QPushButton button;
        button.resize(20, 20);
        ZEM_A_E_Icons *icons = ZEM_A_E_Icons::shared();
        icons->buttonImage(&button, QStringLiteral("TestMain"), QString(), 1);
        const qint64 iconKey = button.icon().cacheKey();
        // One line for each missing image: a second one fails the test.
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
        QTest::ignoreMessage(QtWarningMsg, "Organiser problem getting image NoSuchImage");
        icons->buttonImage(&button, QStringLiteral("NoSuchImage"), QString(), ZEM_A_E_Icons::keepPosition);
        QCOMPARE(button.icon().cacheKey(), iconKey);
        QCOMPARE(imageOf(&button).pixelColor(0, 0), QColor(Qt::blue));

        QTest::ignoreMessage(QtWarningMsg, "Organiser problem getting image Missing");
        QVERIFY(!icons->buttonSupport(QStringLiteral("Missing"), &button, true, true));
        QVERIFY(imageOf(&button, "alternateImage").isNull());
    }

    void otherClassesGetNothing()
    {
        QWidget widget;
        QObject object;
        ZEM_A_E_Icons *icons = ZEM_A_E_Icons::shared();
        for (QObject *o : {static_cast<QObject *>(&widget), &object, static_cast<QObject *>(nullptr)}) {
            QVERIFY(!icons->buttonSupport(QStringLiteral("TestMain"), o, false, true));
            QVERIFY(!o || !o->property("image").isValid());
        }
    }

    void position_data()
    {
        QTest::addColumn<qint64>("pos");
        QTest::addColumn<ImagePosition>("expected"); // on a push button at ImageBelow before
        QTest::addColumn<int>("style");              // on a tool button that followed the style
        const int followed = Qt::ToolButtonFollowStyle;
        QTest::newRow("no image") << qint64(0) << ImagePosition::NoImage << int(Qt::ToolButtonTextOnly);
        QTest::newRow("image only") << qint64(1) << ImagePosition::ImageOnly << int(Qt::ToolButtonIconOnly);
        QTest::newRow("left") << qint64(2) << ImagePosition::ImageLeft << int(Qt::ToolButtonTextBesideIcon);
        QTest::newRow("right") << qint64(3) << ImagePosition::ImageRight << int(Qt::ToolButtonTextBesideIcon);
        QTest::newRow("below") << qint64(4) << ImagePosition::ImageBelow << int(Qt::ToolButtonTextUnderIcon);
        QTest::newRow("above") << qint64(5) << ImagePosition::ImageAbove << int(Qt::ToolButtonTextUnderIcon);
        QTest::newRow("all ones") << qint64(-1) << ImagePosition::ImageBelow << followed;
        QTest::newRow("all ones, unsigned") << qint64(0xFFFFFFFF) << ImagePosition::ImageBelow << followed;
        QTest::newRow("not a position") << qint64(7) << ImagePosition::ImageBelow << followed;
    }

    void position()
    {
        QFETCH(qint64, pos);
        QFETCH(ImagePosition, expected);
        QFETCH(int, style);
        QPushButton button;
        platform::setImagePosition(&button, ImagePosition::ImageBelow);
        QToolButton toolButton;
        toolButton.setToolButtonStyle(Qt::ToolButtonFollowStyle);
        for (QObject *control : {static_cast<QObject *>(&button), static_cast<QObject *>(&toolButton)})
            ZEM_A_E_Icons::shared()->buttonImage(control, QStringLiteral("TestMain"), QString(), pos);
        QCOMPARE(platform::imagePosition(&button), expected);
        QVERIFY(!imageOf(&button).isNull());
        QCOMPARE(int(toolButton.toolButtonStyle()), style);
    }

    void setUpIconSupportKeys()
    {
        QPushButton add, remove, spare;
        for (QPushButton *b : {&add, &remove, &spare})
            b->resize(8, 8);
        platform::setImagePosition(&add, ImagePosition::ImageAbove);
        // The key is name, then prefix, then type.
        ZEM_A_E_Icons::shared()->setUpIconSupport({&add, &remove, &spare},
                                                  {QStringLiteral("Add"), QStringLiteral("Delete")},
                                                  QStringLiteral("Small"), QStringLiteral("Tool"));
        QCOMPARE(imageOf(&add).pixelColor(4, 4), QColor(Qt::red));
        QCOMPARE(imageOf(&remove).pixelColor(4, 4), QColor(Qt::yellow));
        QCOMPARE(platform::imagePosition(&add), ImagePosition::ImageOnly);
        QCOMPARE(platform::imagePosition(&remove), ImagePosition::ImageOnly);
        // A control without a name of its own is left alone.
        QVERIFY(imageOf(&spare).isNull());
        QVERIFY(spare.icon().isNull());

        QPushButton only;
        only.resize(8, 8);
        ZEM_A_E_Icons::shared()->setUpIconSupportOnly({&only}, {QStringLiteral("AddToolSmall")});
        QCOMPARE(imageOf(&only).pixelColor(4, 4), QColor(Qt::red));
    }

    void sameImagesForAnArray()
    {
        QPushButton first, second;
        first.resize(10, 10);
        second.resize(20, 6);
        ZEM_A_E_Icons::shared()->buttonImageWithArray({&first, &second}, QStringLiteral("TestMain"),
                                                      QStringLiteral("TestAlt"), 3);
        for (QPushButton *b : {&first, &second}) {
            QCOMPARE(imageOf(b).size(), b->size());
            QCOMPARE(imageOf(b, "alternateImage").pixelColor(0, 0), QColor(Qt::green));
            QCOMPARE(platform::imagePosition(b), ImagePosition::ImageRight);
        }
    }

    void swatch_data()
    {
        QTest::addColumn<QColor>("color");
        QTest::addColumn<QColor>("centre");
        QTest::newRow("black tints opaque") << QColor(Qt::black) << QColor(0, 0, 0);
        QTest::newRow("red tints at 0.8") << QColor(Qt::red) << QColor(204, 0, 0);
        QTest::newRow("a colour's own alpha is replaced") << QColor(0, 0, 255, 40) << QColor(0, 0, 204);
        QTest::newRow("white") << QColor(Qt::white) << QColor(204, 204, 204);
    }

    void swatch()
    {
        QFETCH(QColor, color);
        QFETCH(QColor, centre);
        const QImage swatch = ZEM_A_E_Icons::shared()->getImageForColor(color);
        QCOMPARE(swatch.size(), QSize(12, 12));
        QCOMPARE(swatch.pixelColor(6, 6), centre);
        // The corners are clear in both images; the border of "BorderCell" shows through the
        // half-covered edge of the tinted "BlankCell".
        QCOMPARE(swatch.pixelColor(0, 0).alpha(), 0);
        const QColor edge = swatch.pixelColor(5, 0);
        QCOMPARE(edge.alpha(), 255);
        QVERIFY2(edge != centre && edge != QColor(128, 128, 128), qPrintable(edge.name()));

        QVERIFY(ZEM_A_E_Icons::shared()->getImageForColor(QColor()).isNull());
    }

    void popUpImageHasOnlyTheSwatch()
    {
        QAction item;
        item.setProperty("target", QVariant::fromValue<QObject *>(nullptr));
        ZEM_A_E_Icons *icons = ZEM_A_E_Icons::shared();
        icons->buttonImage(&item, QStringLiteral("TestMain"), QStringLiteral("TestAlt"), 1);
        QVERIFY(!item.icon().availableSizes(QIcon::Normal, QIcon::On).isEmpty());

        icons->setPopUpImage(&item, Qt::red);
        const QIcon icon = item.icon();
        QCOMPARE(icon.availableSizes(QIcon::Normal, QIcon::Off), QList<QSize>{QSize(12, 12)});
        QVERIFY(icon.availableSizes(QIcon::Normal, QIcon::On).isEmpty());
        QVERIFY(icon.availableSizes(QIcon::Active, QIcon::On).isEmpty());
        QCOMPARE(icon.pixmap(QSize(12, 12)).toImage().pixelColor(6, 6), QColor(204, 0, 0));

        // An invalid colour gives no swatch and leaves the item as it was.
        const qint64 key = item.icon().cacheKey();
        icons->setPopUpImage(&item, QColor());
        QCOMPARE(item.icon().cacheKey(), key);
        icons->setPopUpImage(nullptr, Qt::red);
    }

private:
    ZEM_F_SettingsHostDelegate *m_host = nullptr;
    QTemporaryDir m_dir;
};

ZEM_TEST_MAIN(tst_ZEM_A_E_Icons)
#include "tst_ZEM_A_E_Icons.moc"
