// Controls whose only localized text is their tool tip: the tool tip follows the language
// and comes back on the reset, preset tool tips, and tab views without tabs.
#include "LocalizedControlsFrench.h"

#include "controls/ZEM_A_C_NSColorWell.h"
#include "controls/ZEM_A_C_NSComboBox.h"
#include "controls/ZEM_A_C_NSDatePicker.h"
#include "controls/ZEM_A_C_NSImageView.h"
#include "controls/ZEM_A_C_NSMovieView.h"
#include "controls/ZEM_A_C_NSScrollView.h"
#include "controls/ZEM_A_C_NSSearchField.h"
#include "controls/ZEM_A_C_NSSlider.h"
#include "controls/ZEM_A_C_NSStepper.h"
#include "controls/ZEM_A_C_NSTabView.h"
#include "controls/ZEM_A_C_NSTextView.h"

#include <functional>

using Factory = std::function<QWidget *()>;
Q_DECLARE_METATYPE(Factory)

namespace {

template <class T>
Factory make()
{
    return [] { return new T; };
}

void awake(QWidget *control)
{
    QVERIFY(QMetaObject::invokeMethod(control, "awakeFromNib"));
}

} // namespace

class tst_ZEM_A_C_ToolTipOnly : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(french::setUp()); }
    void init() { QVERIFY(french::use("English")); }

    void toolTipFollowsTheLanguage_data()
    {
        QTest::addColumn<Factory>("factory");
        QTest::newRow("colour well") << make<ZEM_A_C_NSColorWell>();
        QTest::newRow("combo box") << make<ZEM_A_C_NSComboBox>();
        QTest::newRow("image view") << make<ZEM_A_C_NSImageView>();
        QTest::newRow("slider") << make<ZEM_A_C_NSSlider>();
        QTest::newRow("stepper") << make<ZEM_A_C_NSStepper>();
        QTest::newRow("text view") << make<ZEM_A_C_NSTextView>();
        QTest::newRow("scroll view") << make<ZEM_A_C_NSScrollView>();
        QTest::newRow("movie view") << make<ZEM_A_C_NSMovieView>();
        QTest::newRow("tab view") << make<ZEM_A_C_NSTabView>();
    }

    void toolTipFollowsTheLanguage()
    {
        QFETCH(Factory, factory);
        std::unique_ptr<QWidget> control(factory());
        control->setToolTip(u"Pick a colour"_qs);
        awake(control.get());
        QCOMPARE(control->property("toolTipKey").toString(), u"NT:Pick a colour"_qs);
        QVERIFY(control->property("hasToolTip").toBool());
        QVERIFY(!control->property("hasTitle").toBool());
        QVERIFY(!control->property("hasMadeUpToolTip").toBool());

        QCOMPARE(french::roundTrip([&control] { return control->toolTip(); }),
                 u"Pick a colour / Choisir une couleur / Pick a colour"_qs);

        control->setToolTip(u"changed"_qs);
        QVERIFY(QMetaObject::invokeMethod(control.get(), "languageCall", Q_ARG(ZEM_F_Notification, french::reset())));
        QCOMPARE(control->toolTip(), u"Pick a colour"_qs);

        // Without a tool tip there is nothing to localize and none is made up.
        std::unique_ptr<QWidget> bare(factory());
        awake(bare.get());
        QVERIFY(!bare->property("hasToolTip").toBool());
        QVERIFY(french::use("French"));
        QCOMPARE(bare->toolTip(), QString());
    }

    void presetToolTips_data()
    {
        QTest::addColumn<Factory>("factory");
        QTest::addColumn<QString>("english");
        QTest::addColumn<QString>("french");
        QTest::newRow("date picker") << make<ZEM_A_C_NSDatePicker>() << "Date Picker" << "Choix de date";
        QTest::newRow("search field") << make<ZEM_A_C_NSSearchField>() << "Search Field" << "Champ de recherche";
    }

    void presetToolTips()
    {
        QFETCH(Factory, factory);
        QFETCH(QString, english);
        QFETCH(QString, french);
        // A tool tip of its own gives way to the preset one.
        std::unique_ptr<QWidget> control(factory());
        control->setToolTip(u"Pick a colour"_qs);
        awake(control.get());
        QCOMPARE(control->toolTip(), english);
        QVERIFY(french::use("French"));
        QCOMPARE(control->toolTip(), french);

        // Loaded while French is active, it still shows French and returns to English.
        std::unique_ptr<QWidget> late(factory());
        awake(late.get());
        QCOMPARE(late->toolTip(), french);
        QVERIFY(french::use("English"));
        QCOMPARE(late->toolTip(), english);
        QCOMPARE(control->toolTip(), english);
    }

    void tabViewTypes_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("localized");
        QTest::addColumn<QTabWidget::TabPosition>("position");
        QTest::newRow("top") << 0 << true << QTabWidget::North;
        QTest::newRow("left") << 1 << true << QTabWidget::West;
        QTest::newRow("bottom") << 2 << true << QTabWidget::South;
        QTest::newRow("right") << 3 << true << QTabWidget::East;
        QTest::newRow("no tabs, bezel") << 4 << false << QTabWidget::North;
        QTest::newRow("no tabs, line") << 5 << false << QTabWidget::North;
        QTest::newRow("no tabs, no border") << 6 << false << QTabWidget::North;
    }

    void tabViewTypes()
    {
        QFETCH(int, type);
        QFETCH(bool, localized);
        QFETCH(QTabWidget::TabPosition, position);
        ZEM_A_C_NSTabView view;
        view.addTab(new QWidget, u"One"_qs);
        view.setTabViewType(type);
        QCOMPARE(view.tabViewType(), type);
        QCOMPARE(view.tabPosition(), position);
        QCOMPARE(view.tabBar()->isVisibleTo(&view), localized);
        view.setToolTip(u"Keep a copy"_qs);
        view.awakeFromNib();
        QCOMPARE(view.hasToolTip(), localized);
        QVERIFY(french::use("French"));
        QCOMPARE(view.toolTip(), localized ? u"Garder une copie"_qs : u"Keep a copy"_qs);

        // A type outside 0 to 6 changes nothing.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"tab view type 7"_qs));
        view.setTabViewType(7);
        QCOMPARE(view.tabViewType(), type);
    }

    void editableComboAndColourWell()
    {
        ZEM_A_C_NSComboBox combo;
        QVERIFY(combo.isEditable());

        ZEM_A_C_NSColorWell well;
        QSignalSpy changed(&well, &ZEM_A_C_NSColorWell::colorChanged);
        QVERIFY(well.icon().isNull());
        well.setColor(Qt::green);
        QCOMPARE(well.color(), QColor(Qt::green));
        QCOMPARE(well.icon().pixmap(well.iconSize()).toImage().pixelColor(4, 4), QColor(Qt::green));
        well.setColor(Qt::green);
        QCOMPARE(changed.size(), 1);
        well.setColor(QColor());
        QVERIFY(well.icon().isNull());
        QCOMPARE(changed.size(), 2);
    }
};

ZEM_TEST_MAIN(tst_ZEM_A_C_ToolTipOnly)
#include "tst_ZEM_A_C_ToolTipOnly.moc"
