#include "TestImages.h"
#include "ZemTestEnv.h"

#include "foundation/ZEM_F_C_StoreGroup.h"
#include "foundation/ZEM_F_HostDelegate.h"
#include "services/ZEM_A_E_Image.h"
#include "services/ZEM_A_E_ImageEngine.h"
#include "services/ZEM_A_I_ImageEngine.h"

#include <QSettings>

using zemtest::filled;
using zemtest::halfRed;

class tst_ZEM_A_E_ImageEngine : public QObject
{
    Q_OBJECT
private slots:
    void viewStartsWithBandsAndPlusDarker()
    {
        ZEM_A_I_ImageEngine view(QSize(13, 4));
        QCOMPARE(view.compositingOperator(), 11);
        QCOMPARE(view.sRect(), QRect(0, 0, 4, 4));
        QCOMPARE(view.dRect(), QRect(4, 0, 4, 4));
        QCOMPARE(view.rRect(), QRect(8, 0, 4, 4));
        QCOMPARE(view.sourceColor().alpha(), 0);
        QCOMPARE(view.destColor().alpha(), 0);
        QCOMPARE(view.backgroundColor().alpha(), 0);
        for (const QImage &image : {view.source(), view.destination(), view.result()}) {
            QCOMPARE(image.size(), QSize(4, 4));
            QCOMPARE(image.pixelColor(2, 2).alpha(), 0);
        }
    }

    void resultFollowsOperatorInRange()
    {
        ZEM_A_I_ImageEngine view(QSize(12, 4));
        view.setDestColor(QColor(128, 128, 128));
        QVERIFY(view.changeCustomImageTo(halfRed()));
        QCOMPARE(view.result().pixelColor(1, 1), QColor(128, 0, 0)); // plus-darker, the first operator
        QVERIFY(view.setOperator(13));
        QCOMPARE(view.result().pixelColor(1, 1), QColor(255, 128, 128));
        QCOMPARE(view.result().pixelColor(3, 1), QColor(128, 128, 128));
        // A refused operator keeps the operator and this result.
        QVERIFY(!view.setOperator(14));
        QVERIFY(!view.setOperator(-1));
        QCOMPARE(view.compositingOperator(), 13);
        QCOMPARE(view.result().pixelColor(1, 1), QColor(255, 128, 128));
        QVERIFY(view.setOperator(0));
        QCOMPARE(view.returnResult(), view.result());
    }

    void customImage()
    {
        ZEM_A_I_ImageEngine view(QSize(12, 4));
        QVERIFY(!view.changeCustomImageTo(QImage()));
        QVERIFY(view.customImage().isNull());

        // Resized to the band: a 2 × 1 image, left red and right clear, covers the band.
        QVERIFY(view.changeCustomImageTo(halfRed(QSize(2, 1))));
        QCOMPARE(view.customImage().size(), QSize(4, 4));
        QCOMPARE(view.source().pixelColor(0, 3), QColor(255, 0, 0));
        QCOMPARE(view.source().pixelColor(3, 0).alpha(), 0);

        // A refused image keeps the one in place.
        QVERIFY(!view.changeCustomImageTo(QImage()));
        QCOMPARE(view.source().pixelColor(0, 3), QColor(255, 0, 0));

        QVERIFY(view.changeCustomImageTo(filled(QSize(4, 4), Qt::blue)));
        QCOMPARE(view.source().pixelColor(0, 3), QColor(Qt::blue));
        view.setOperator(2);
        QCOMPARE(view.result().pixelColor(3, 0), QColor(Qt::blue));
    }

    void backgroundImage()
    {
        ZEM_A_I_ImageEngine view(QSize(12, 4));
        view.setOperator(2);
        view.setDestColor(Qt::green);
        QCOMPARE(view.destination().pixelColor(3, 3), QColor(Qt::green));
        QVERIFY(view.changeBackgroundImageTo(filled(QSize(8, 8), Qt::blue)));
        QCOMPARE(view.backgroundImage().size(), QSize(4, 4));
        QCOMPARE(view.destination().pixelColor(3, 3), QColor(Qt::blue));
        QCOMPARE(view.result().pixelColor(3, 3), QColor(Qt::blue));
        // No image clears it: the colour shows again, and the answer is false.
        QVERIFY(!view.changeBackgroundImageTo(QImage()));
        QVERIFY(view.backgroundImage().isNull());
        QCOMPARE(view.destination().pixelColor(3, 3), QColor(Qt::green));
        QCOMPARE(view.result().pixelColor(3, 3), QColor(Qt::green));
        view.setDestColor(Qt::yellow);
        QCOMPARE(view.result().pixelColor(3, 3), QColor(Qt::yellow));
    }

    void paintsBackgroundAndBands()
    {
        ZEM_A_I_ImageEngine view(QSize(30, 10));
        view.setBackColor(Qt::white);
        view.setDestColor(Qt::blue);
        view.setOperator(2);
        QVERIFY(view.changeCustomImageTo(filled(QSize(10, 10), Qt::red)));
        const QImage shot = view.grab().toImage();
        QCOMPARE(shot.size(), QSize(30, 10));
        QCOMPARE(shot.pixelColor(5, 5), QColor(Qt::red));   // source band
        QCOMPARE(shot.pixelColor(15, 5), QColor(Qt::blue)); // destination band
        QCOMPARE(shot.pixelColor(25, 5), QColor(Qt::red));  // result: red over blue
        // Each band is framed.
        const QColor frame = view.palette().color(QPalette::WindowText);
        QCOMPARE(shot.pixelColor(10, 5), frame);
        QCOMPARE(shot.pixelColor(19, 0), frame);
    }

    void composeImage_data()
    {
        QTest::addColumn<int>("operation");
        QTest::addColumn<QColor>("covered");   // where the image is red
        QTest::addColumn<QColor>("uncovered"); // where it is clear
        const QColor grey(128, 128, 128);
        // The operators' arithmetic is the compositing's own (tst_ZEM_A_Y_NSImage); these rows
        // show the operator reaches it.
        QTest::newRow("copy") << 1 << QColor(255, 0, 0) << QColor(0, 0, 0, 0);
        QTest::newRow("plus-lighter") << 13 << QColor(255, 128, 128) << grey;
    }

    void composeImage()
    {
        QFETCH(int, operation);
        QFETCH(QColor, covered);
        QFETCH(QColor, uncovered);
        ZEM_A_E_ImageEngine *engine = ZEM_A_E_ImageEngine::shared();
        // A background image left from an earlier call must not show.
        QVERIFY(!engine->composeBackgroundImage(halfRed(), filled(QSize(4, 4), Qt::blue), 2)
                     .isNull());
        const QImage result =
            engine->composeImage(halfRed(), QColor(128, 128, 128), operation);
        QCOMPARE(result.size(), QSize(48, 48));
        QCOMPARE(result.pixelColor(10, 10), covered);
        QCOMPARE(result.pixelColor(40, 10), uncovered);
        QCOMPARE(engine->imageEngine()->compositingOperator(), operation);
    }

    void composeBackgroundImage()
    {
        ZEM_A_E_ImageEngine *engine = ZEM_A_E_ImageEngine::shared();
        const QImage result = engine->composeBackgroundImage(
            halfRed(), filled(QSize(4, 4), QColor(128, 128, 128)), 11);
        QCOMPARE(result.pixelColor(10, 10), QColor(128, 0, 0));
        QCOMPARE(result.pixelColor(40, 10), QColor(128, 128, 128));
    }

    void composeRefusesBadInput()
    {
        ZEM_A_E_ImageEngine *engine = ZEM_A_E_ImageEngine::shared();
        QVERIFY(!engine->composeImage(halfRed(), Qt::green, 3).isNull());
        QVERIFY(engine->composeImage(QImage(), Qt::green, 3).isNull());
        QVERIFY(engine->composeImage(halfRed(), Qt::green, 14).isNull());
        QCOMPARE(engine->imageEngine()->compositingOperator(), 3);
        QVERIFY(engine->composeBackgroundImage(QImage(), halfRed(), 2).isNull());
        QVERIFY(engine->composeBackgroundImage(halfRed(), QImage(), 99).isNull());
    }

    void composeDefaultImage()
    {
        QTemporaryDir dir;
        QSettings settings(dir.filePath(QStringLiteral("host.ini")), QSettings::IniFormat);
        settings.setValue(QStringLiteral("CornerColor"), QStringLiteral("#00ff00"));
        ZEM_F_SettingsHostDelegate host(QStringLiteral("Organiser"), {}, &settings);
        ZEM_F_Host::setDelegate(&host);
        auto restore = qScopeGuard([] { ZEM_F_Host::setDelegate(nullptr); });

        QImage corner = filled(QSize(4, 4), Qt::transparent);
        corner.setPixelColor(3, 3, QColor(40, 40, 40));
        ZEM_A_E_ImageEngine *engine = ZEM_A_E_ImageEngine::shared();
        const QImage tinted = engine->composeDefaultImage(corner, QStringLiteral("CornerColor"));
        QCOMPARE(tinted.size(), QSize(4, 4));
        QCOMPARE(tinted.pixelColor(3, 3), QColor(Qt::green));
        QCOMPARE(tinted.pixelColor(0, 0).alpha(), 0);
        QCOMPARE(tinted, engine->composeImageNoBackGroundColor(corner, Qt::green, 3));

        // A colour the host does not have leaves the image as it was.
        const QImage untinted = engine->composeDefaultImage(corner, QStringLiteral("NoSuchColor"));
        QCOMPARE(untinted.pixelColor(3, 3), QColor(40, 40, 40));
    }

    void storeImages()
    {
        ZEM_F_C_StoreGroup *store = ZEM_F_C_StoreGroup::shared();
        store->setImage(QStringLiteral("TestPicture"), filled(QSize(32, 16), Qt::blue));
        auto restore = qScopeGuard([store] { store->removeImage(QStringLiteral("TestPicture")); });
        ZEM_A_E_Image *images = ZEM_A_E_Image::shared();

        const QImage empty = images->emptyImage(QSize(5, 3));
        QCOMPARE(empty.size(), QSize(5, 3));
        QCOMPARE(empty.pixelColor(4, 2).alpha(), 0);
        QVERIFY(images->emptyImage(QSize(0, 3)).isNull());

        // Resized without keeping the aspect ratio.
        QCOMPARE(images->getImage(QStringLiteral("TestPicture"), QSize(10, 10)).size(), QSize(10, 10));
        QCOMPARE(images->getImageCopy(QStringLiteral("TestPicture"), QSize(32, 16)).pixelColor(0, 0),
                 QColor(Qt::blue));

        QVERIFY(images->getImage(QStringLiteral("NoSuchImage"), QSize(10, 10)).isNull());
        QVERIFY(images->getImageCopy(QStringLiteral("TestPicture"), QSize(-1, 10)).isNull());

        const QImage cell = images->getCellScaledImage(filled(QSize(40, 20), Qt::blue));
        QCOMPARE(cell.size(), QSize(12, 12));
        QCOMPARE(cell.pixelColor(6, 6), QColor(Qt::blue));
        QVERIFY(images->getCellScaledImage(QImage()).isNull());
    }
};

ZEM_TEST_MAIN(tst_ZEM_A_E_ImageEngine)
#include "tst_ZEM_A_E_ImageEngine.moc"
