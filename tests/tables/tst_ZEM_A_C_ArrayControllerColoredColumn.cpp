#include "ZemTestEnv.h"

#include "tables/ZEM_A_C_ArrayControllerColoredColumn.h"
#include "tables/ZEM_A_C_ArrayControllerObject.h"

#include <QColor>
#include <QGuiApplication>
#include <QPalette>

#include <memory>

namespace {

class Label : public ZEM_A_C_ArrayControllerObject
{
public:
    Label(const QString &name, const QVariant &colour)
        : ZEM_A_C_ArrayControllerObject(table())
        , m_name(name)
        , m_colour(colour)
    {
    }
    QString name() const { return m_name; }
    void setName(const QString &v) { m_name = v; }
    QVariant colour() const { return m_colour; }
    void setColour(const QVariant &v) { m_colour = v; }
    static const Accessors &table()
    {
        static const Accessors t{ZEM_ROW_KEY(Label, name, setName), ZEM_ROW_KEY(Label, colour, setColour)};
        return t;
    }

private:
    QString m_name;
    QVariant m_colour;
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
        std::vector<std::unique_ptr<Label>> rows;
        for (const QVariant &colour : {QVariant(QColor(Qt::white)), QVariant(QColor(Qt::white)),
                                       QVariant(QStringLiteral("#ff0000")), QVariant()})
            rows.push_back(std::make_unique<Label>(QStringLiteral("n"), colour));
        ZEM_A_C_ArrayControllerColoredColumn c;
        c.setColumnIdentifiers({QStringLiteral("1:name"), QStringLiteral("2:colour")});
        c.setContent({rows[0].get(), rows[1].get(), rows[2].get(), rows[3].get()});
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
