#include "TestImages.h"
#include "ZemTestEnv.h"

#include "services/ZEM_A_Y_NSImage.h"

#include <QImage>

using zemtest::filled;
using zemtest::halfRed;

class tst_ZEM_A_Y_NSImage : public QObject
{
    Q_OBJECT
private slots:
    void operations_data()
    {
        QTest::addColumn<int>("operation");
        QTest::addColumn<QColor>("covered");   // where the source is red
        QTest::addColumn<QColor>("uncovered"); // where the source is clear
        const QColor grey(128, 128, 128);
        const QColor clear(0, 0, 0, 0);
        QTest::newRow("clear") << 0 << clear << clear;
        QTest::newRow("copy") << 1 << QColor(255, 0, 0) << clear;
        QTest::newRow("source-over") << 2 << QColor(255, 0, 0) << grey;
        QTest::newRow("source-in") << 3 << QColor(255, 0, 0) << clear;
        QTest::newRow("source-out") << 4 << clear << clear;
        QTest::newRow("destination-over") << 6 << grey << grey;
        QTest::newRow("destination-out") << 8 << clear << grey;
        QTest::newRow("xor") << 10 << clear << grey;
        // 255 - ((255 - 255) + (255 - 128)) = 128 for red; green and blue fall below 0.
        QTest::newRow("plus-darker") << 11 << QColor(128, 0, 0) << grey;
        QTest::newRow("highlight") << 12 << QColor(255, 0, 0) << grey;
        QTest::newRow("plus-lighter") << 13 << QColor(255, 128, 128) << grey;
    }

    void operations()
    {
        QFETCH(int, operation);
        QFETCH(QColor, covered);
        QFETCH(QColor, uncovered);
        QImage destination = filled(QSize(4, 4), QColor(128, 128, 128));
        QVERIFY(compositeImage(destination, QPoint(0, 0), halfRed(), operation));
        for (int y = 0; y < 4; ++y) {
            QCOMPARE(destination.pixelColor(1, y), covered);
            QCOMPARE(destination.pixelColor(2, y), uncovered);
        }
    }

    void plusDarkerWithPartialAlpha()
    {
        // Over a clear destination the source stays as it is; a clear source leaves the
        // destination; two half-covered pixels add their coverage.
        QImage destination = filled(QSize(3, 1), Qt::transparent);
        destination.setPixelColor(1, 0, QColor(0, 0, 255, 128));
        destination.setPixelColor(2, 0, QColor(255, 255, 255, 128));
        QImage source = filled(QSize(3, 1), Qt::transparent);
        source.setPixelColor(0, 0, QColor(0, 255, 0, 128));
        source.setPixelColor(2, 0, QColor(255, 255, 255, 128));
        QVERIFY(compositeImage(destination, QPoint(0, 0), source, 11));
        const QImage premultiplied = destination.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QCOMPARE(premultiplied.pixel(0, 0), qRgba(0, 128, 0, 128));
        QCOMPARE(premultiplied.pixel(1, 0), qRgba(0, 0, 128, 128));
        QCOMPARE(premultiplied.pixel(2, 0), qRgba(255, 255, 255, 255));
    }

    void onlyTheCoveredAreaChanges()
    {
        for (int operation : {0, 1, 3, 11}) {
            QImage destination = filled(QSize(4, 4), QColor(128, 128, 128));
            QVERIFY(compositeImage(destination, QPoint(2, 2), filled(QSize(4, 4), Qt::blue), operation));
            QCOMPARE(destination.pixelColor(1, 1), QColor(128, 128, 128));
            QCOMPARE(destination.pixelColor(3, 1), QColor(128, 128, 128));
            QVERIFY(destination.pixelColor(3, 3) != QColor(128, 128, 128));
        }
    }

    void unknownOperationChangesNothing()
    {
        for (int operation : {-1, 14, 1000}) {
            QImage destination = filled(QSize(2, 2), QColor(128, 128, 128));
            const QImage before = destination;
            QVERIFY(!isCompositingOperation(operation));
            QVERIFY(!compositeImage(destination, QPoint(0, 0), halfRed(), operation));
            QCOMPARE(destination, before);
        }
        QImage destination = filled(QSize(2, 2), Qt::red);
        QVERIFY(!compositeImage(destination, QPoint(0, 0), QImage(), 2));
        QImage none;
        QVERIFY(!compositeImage(none, QPoint(0, 0), halfRed(), 2));
    }

    void tint_data()
    {
        QTest::addColumn<int>("operation");
        QTest::addColumn<QColor>("color");
        QTest::addColumn<QColor>("opaque"); // where the image is opaque
        QTest::addColumn<QColor>("half");   // where it is half covered
        const QColor clear(0, 0, 0, 0);
        QTest::newRow("source-in") << 3 << QColor(0, 255, 0) << QColor(0, 255, 0) << QColor(0, 255, 0, 128);
        QTest::newRow("source-in keeps the colour's alpha")
            << 3 << QColor(0, 255, 0, 102) << QColor(0, 255, 0, 102) << QColor(0, 255, 0, 51);
        QTest::newRow("plus-lighter") << 13 << QColor(255, 0, 0) << QColor(255, 0, 0) << QColor(255, 0, 0, 128);
        QTest::newRow("plus-lighter at 0.8") << 13 << QColor(255, 0, 0, 204) << QColor(204, 0, 0) << QColor(204, 0, 0, 128);
        QTest::newRow("copy") << 1 << QColor(0, 0, 255, 204) << QColor(0, 0, 255, 204) << QColor(0, 0, 255, 102);
        QTest::newRow("clear") << 0 << QColor(0, 0, 255) << clear << clear;
    }

    void tint()
    {
        QFETCH(int, operation);
        QFETCH(QColor, color);
        QFETCH(QColor, opaque);
        QFETCH(QColor, half);
        // The image's own colours must not show: white, half covered, and clear pixels.
        QImage image = filled(QSize(4, 4), Qt::transparent);
        image.setPixelColor(0, 0, QColor(255, 255, 255));
        image.setPixelColor(1, 0, QColor(255, 255, 255, 128));
        const QImage tinted = composeImageViewWithColor(image, color, operation);
        QCOMPARE(tinted.size(), image.size());
        QCOMPARE(tinted.pixelColor(0, 0), opaque);
        const QColor halfSeen = tinted.pixelColor(1, 0);
        QVERIFY2(qAbs(halfSeen.red() - half.red()) <= 2 && qAbs(halfSeen.green() - half.green()) <= 2 &&
                     qAbs(halfSeen.blue() - half.blue()) <= 2 &&
                     qAbs(halfSeen.alpha() - half.alpha()) <= 1,
                 qPrintable(halfSeen.name(QColor::HexArgb)));
        QCOMPARE(tinted.pixelColor(3, 3).alpha(), 0);
        QCOMPARE(image.pixelColor(0, 0), QColor(255, 255, 255)); // the receiver is untouched
    }

    void tintRefusesBadInput()
    {
        const QImage image = filled(QSize(2, 2), Qt::white);
        QVERIFY(composeImageViewWithColor(QImage(), Qt::red, 3).isNull());
        QVERIFY(composeImageViewWithColor(image, QColor(), 3).isNull());
        QVERIFY(composeImageViewWithColor(image, Qt::red, 14).isNull());
        QVERIFY(composeImageViewWithColor(image, Qt::red, -1).isNull());
    }
};

ZEM_TEST_MAIN(tst_ZEM_A_Y_NSImage)
#include "tst_ZEM_A_Y_NSImage.moc"
