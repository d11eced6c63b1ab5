// Segmented controls: segment labels and tool tips that follow the language, made-up tool
// tips, the reset, centring in the resize view, and the setters that fill segments in order.
#include "LocalizedControlsFrench.h"
#include "TestImages.h"

#include "controls/ZEM_A_C_SegmentPopUpButton.h"
#include "controls/ZEM_A_C_SegmentedControl.h"
#include "foundation/ZEM_F_C_StoreGroup.h"

#include <QMenu>
#include <QToolButton>

class tst_ZEM_A_C_SegmentedControl : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(french::setUp());
        ZEM_F_C_StoreGroup::shared()->setImage(QStringLiteral("TestPin"),
                                               zemtest::filled(QSize(32, 40), Qt::red));
    }

    void init() { QVERIFY(french::use("English")); }

    void segmentsFollowTheLanguage()
    {
        ZEM_A_C_NSSegmentedControl control(4);
        control.setTitles({u"Save"_qs, QString(), u"Delete"_qs, u"Print"_qs});
        control.setToolTips({u"Keep a copy"_qs, QString(), QString(), u"Remove the record"_qs});
        control.setToolTip(u"Remove the record"_qs);
        control.awakeFromNib();
        QVERIFY(control.hasTitles());
        QVERIFY(control.hasToolTip());
        QVERIFY(control.hasToolTips());
        QVERIFY(control.hasMadeUpToolTips());
        // One key per segment, empty where a segment has no text.
        QCOMPARE(control.titleKeys(), QStringList({u"NL:Save"_qs, QString(), u"NL:Delete"_qs, u"NL:Print"_qs}));
        QCOMPARE(control.toolTipKeys(), QStringList({u"NT:Keep a copy"_qs, QString(), QString(), u"NT:Remove the record"_qs}));
        QCOMPARE(control.segmentToolTip(2), u"Delete Button"_qs);

        QCOMPARE(french::roundTrip([&control] { return control.titles(); }),
                 u"Save||Delete|Print / Enregistrer||Supprimer|Imprimer / Save||Delete|Print"_qs);
        // The segments' tool tips, then the control's own.
        QCOMPARE(french::roundTrip([&control] { return control.toolTips() << control.toolTip(); }),
                 u"Keep a copy||Delete Button|Remove the record|Remove the record / "
                 u"Garder une copie||Supprimer Bouton|Supprimer la fiche|Supprimer la fiche / "
                 u"Keep a copy||Delete Button|Remove the record|Remove the record"_qs);

        control.setLabel(0, u"x"_qs);
        control.languageCall(french::reset());
        QCOMPARE(control.label(0), u"Save"_qs);
        QVERIFY(french::entered("NL:Delete"));
    }

    void centredInResizeView()
    {
        QWidget window;
        window.resize(400, 100);
        ZEM_A_C_NSSegmentedControl control(2, &window);
        control.setTitles({u"Save"_qs, u"Print"_qs});
        control.move(3, 17);
        control.awakeFromNib();
        control.setResizeView(&window);
        QVERIFY(french::use("French"));
        QCOMPARE(control.size(), control.sizeHint());
        QCOMPARE(control.x(), 200 - control.width() / 2);
        QCOMPARE(control.y(), 17);

        // Without a resize view it is only sized to fit.
        control.setResizeView(nullptr);
        control.move(5, 17);
        control.languageCall(french::reset());
        QCOMPARE(control.pos(), QPoint(5, 17));
        QCOMPARE(control.size(), control.sizeHint());
    }

    void settersFillInOrder()
    {
        ZEM_A_C_SegmentedControl control(3);

        control.setCellLabels({u"A"_qs, u"B"_qs, u"C"_qs, u"D (no segment)"_qs});
        QCOMPARE(control.titles(), QStringList({u"A"_qs, u"B"_qs, u"C"_qs}));
        control.setCellToolTip(u"first"_qs);
        QCOMPARE(control.toolTips(), QStringList({u"first"_qs, QString(), QString()}));

        QMenu one, two;
        control.setCellMenus({&one, &two});
        QCOMPARE(control.menu(0), &one);
        QCOMPARE(control.menu(1), &two);
        QCOMPARE(control.menu(2), nullptr);
        control.setCellMenu(&two);
        QCOMPARE(control.menu(0), &two);

        const QImage dot = zemtest::filled(QSize(4, 4), Qt::blue);
        control.setCellImages({QImage(), dot});
        QVERIFY(control.image(0).isNull());
        QCOMPARE(control.image(1), dot);
        QCOMPARE(control.image(7), QImage());

        // Fewer segments drop the surplus ones' values with them.
        control.setSegmentCount(1);
        QCOMPARE(control.titles(), QStringList{u"A"_qs});
        control.setSegmentCount(-3);
        QCOMPARE(control.segmentCount(), 0);
        control.setCellLabels({u"ignored"_qs});
        QVERIFY(control.titles().isEmpty());
    }

    void imagesFromTheStore()
    {
        ZEM_A_C_SegmentedControl control(2);
        control.setCellImageNames({u"TestPin"_qs, u"NoSuchImage"_qs});
        QCOMPARE(control.image(0).size(), QSize(16, 16));
        QCOMPARE(control.image(0).pixelColor(8, 8), QColor(Qt::red));
        QVERIFY(control.image(1).isNull());
        // The store keeps its own image at its own size.
        QCOMPARE(ZEM_F_C_StoreGroup::shared()->imageForKey(u"TestPin"_qs).size(), QSize(32, 40));
        control.setCellImageName(QString());
        QVERIFY(control.image(0).isNull());
    }

    void tabViewToolTipsAndClearedLabels()
    {
        ZEM_A_C_SegmentedControl control(5);
        control.setCellLabels({u"Name"_qs, u"Print"_qs, u"Save"_qs, u"Delete"_qs, u"Notes"_qs});
        control.setCellToolTipsFromLabels();
        QCOMPARE(control.segmentToolTip(0), u"Name Tab View"_qs);
        QCOMPARE(control.segmentToolTip(4), u"Notes Tab View"_qs);
        QVERIFY(french::use("French"));
        control.setCellToolTipsFromLabels();
        QCOMPARE(control.segmentToolTip(1), u"Onglet Print"_qs);

        control.clearCellLabels();
        QCOMPARE(control.titles(), QStringList({QString(), u"Print"_qs, QString(), u"Delete"_qs, QString()}));
    }

    void popUpSegment()
    {
        ZEM_A_C_SegmentPopUpButton button;
        QMenu menu;
        button.setUpSegment(&menu, u"TestPin"_qs, u"Choose a view"_qs);
        QCOMPARE(button.segmentCount(), 1);
        QCOMPARE(button.menu(0), &menu);
        QCOMPARE(button.image(0).size(), QSize(32, 40));
        QCOMPARE(button.segmentToolTip(0), u"Choose a view"_qs);
        QCOMPARE(button.segmentButton(0)->popupMode(), QToolButton::InstantPopup);
    }

    void neverTakesFocus()
    {
        ZEM_A_C_SegmentedControl control(2);
        control.setSegmentCount(3);
        QCOMPARE(control.focusPolicy(), Qt::NoFocus);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(control.segmentButton(i)->focusPolicy(), Qt::NoFocus);

        control.setSelectedSegment(2);
        QCOMPARE(control.selectedSegment(), 2);
        control.setSelectedSegment(0);
        QCOMPARE(control.selectedSegment(), 0);
        QVERIFY(!control.segmentButton(2)->isChecked());
        control.setSelectedSegment(-1);
        QCOMPARE(control.selectedSegment(), -1);
    }
};

ZEM_TEST_MAIN(tst_ZEM_A_C_SegmentedControl)
#include "tst_ZEM_A_C_SegmentedControl.moc"
