#include "ZemTestEnv.h"

#include "tables/ZEM_A_C_ArrayControllerColoredColumn.h"

#include <QColor>
#include <QGuiApplication>
#include <QPalette>

namespace {

class Label : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString name MEMBER name)
    Q_PROPERTY(QVariant colour MEMBER colour)
public:
    QString name = QStringLiteral("n");
    QVariant colour;
};

} // namespace

class tst_ZEM_A_C_ArrayControllerColoredColumn : public QObject
{
    Q_OBJECT

private slots:
    // A colour cell shows its record's colour with black text; white takes the row's
    // alternating background; other columns and missing colours stay unpainted.
    void colourCells()
    {
        QPalette palette = QGuiApplication::palette();
        palette.setColor(QPalette::Base, QColor(250, 250, 250));
        palette.setColor(QPalette::AlternateBase, QColor(230, 240, 255));
        QGuiApplication::setPalette(palette);
        Label rows[4];
        rows[0].colour = rows[1].colour = QColor(Qt::white);
        rows[2].colour = QStringLiteral("#ff0000");
        ZEM_A_C_ArrayControllerColoredColumn c;
        c.setColumnIdentifiers({QStringLiteral("1:name"), QStringLiteral("2:colour")});
        c.setContent({&rows[0], &rows[1], &rows[2], &rows[3]});
        QVERIFY(!c.data(c.index(2, 1), Qt::BackgroundRole).isValid()); // not marked yet
        c.setColorColumnKeys({QStringLiteral("colour")});
        QCOMPARE(c.data(c.index(0, 1), Qt::BackgroundRole).value<QColor>(), QColor(250, 250, 250));
        QCOMPARE(c.data(c.index(1, 1), Qt::BackgroundRole).value<QColor>(), QColor(230, 240, 255));
        QCOMPARE(c.data(c.index(2, 1), Qt::BackgroundRole).value<QColor>(), QColor(Qt::red));
        QCOMPARE(c.data(c.index(2, 1), Qt::ForegroundRole).value<QColor>(), QColor(Qt::black));
        QVERIFY(!c.data(c.index(3, 1), Qt::BackgroundRole).isValid());
        QVERIFY(!c.data(c.index(2, 0), Qt::BackgroundRole).isValid());
        QCOMPARE(c.data(c.index(2, 0), Qt::DisplayRole), QVariant(QStringLiteral("n")));
    }
};

ZEM_TEST_MAIN(tst_ZEM_A_C_ArrayControllerColoredColumn)
#include "tst_ZEM_A_C_ArrayControllerColoredColumn.moc"
