// Matrices of button cells: cell titles and tool tips that follow the language, untitled
// cells that take no key, made-up tool tips, the reset, and matrices left alone.
#include "LocalizedControlsFrench.h"

#include "controls/ZEM_A_C_NSMatrix.h"
#include "platform/ButtonCell.h"

#include <QAbstractButton>

class tst_ZEM_A_C_NSMatrix : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(french::setUp()); }
    void init() { QVERIFY(french::use("English")); }

    void cellsFollowTheLanguage()
    {
        ZEM_A_C_NSMatrix matrix(ZEM_A_C_NSMatrix::PushButtons, 2);
        matrix.addCell(QStringLiteral("Save"));
        matrix.addCell(QStringLiteral("Delete"));
        matrix.setToolTips({QStringLiteral("Keep a copy"), QStringLiteral("Remove the record")});
        matrix.setToolTip(QStringLiteral("Remove the record"));
        matrix.awakeFromNib();
        QVERIFY(matrix.hasTitles());
        QVERIFY(matrix.hasToolTip());
        QVERIFY(matrix.hasToolTips());
        QVERIFY(!matrix.hasMadeUpToolTips());
        QCOMPARE(matrix.titleKeys(), QStringList({u"NL:Save"_qs, u"NL:Delete"_qs}));
        QCOMPARE(matrix.toolTipKeys(), QStringList({u"NT:Keep a copy"_qs, u"NT:Remove the record"_qs}));
        QCOMPARE(matrix.toolTipKey(), u"NT:Remove the record"_qs);

        // The cells' titles, then the second cell's button; back to English is the return to
        // the loaded texts.
        QCOMPARE(french::roundTrip([&matrix] { return matrix.titles() << matrix.buttonAt(1)->text(); }),
                 u"Save|Delete|Delete / Enregistrer|Supprimer|Supprimer / Save|Delete|Delete"_qs);
        // The cells' tool tips, then the matrix's own.
        QCOMPARE(french::roundTrip([&matrix] { return matrix.toolTips() << matrix.toolTip(); }),
                 u"Keep a copy|Remove the record|Remove the record / Garder une copie|Supprimer la fiche|"
                 u"Supprimer la fiche / Keep a copy|Remove the record|Remove the record"_qs);

        matrix.setTitles({u"x"_qs, u"y"_qs});
        matrix.languageCall(french::reset());
        QCOMPARE(matrix.titles(), QStringList({u"Save"_qs, u"Delete"_qs}));

        QVERIFY(french::entered("NT:Keep a copy"));
    }

    void untitledFirstCellTakesNoKey()
    {
        ZEM_A_C_NSMatrix matrix;
        matrix.addCell();
        matrix.addCell(QStringLiteral("Print"));
        matrix.addCell(QStringLiteral("Save"));
        matrix.awakeFromNib();
        QCOMPARE(matrix.titleKeys(), QStringList({u"NL:Print"_qs, u"NL:Save"_qs}));

        QVERIFY(french::use("French"));
        QCOMPARE(matrix.titles(), QStringList({QString(), u"Imprimer"_qs, u"Enregistrer"_qs}));
        QCOMPARE(matrix.buttonAt(0)->text(), QString());
        QCOMPARE(matrix.buttonAt(0)->toolTip(), QString());

        // Each cell keeps the key it was loaded with: a cell emptied later does not hand its
        // key on to the cells after it.
        matrix.cellAt(1)->setTitle(QString());
        matrix.languageCall(ZEM_F_Notification{QStringLiteral("LanguageCall"), QVariant(2), {}});
        QCOMPARE(matrix.titles(), QStringList({QString(), QString(), u"Enregistrer"_qs}));
    }

    void madeUpCellToolTips()
    {
        ZEM_A_C_NSMatrix matrix;
        matrix.addCell(QStringLiteral("Save"));
        matrix.addCell(QStringLiteral("Delete"));
        matrix.setToolTips({QString(), QStringLiteral("Remove the record")});
        matrix.awakeFromNib();
        QVERIFY(!matrix.hasToolTip());
        QVERIFY(matrix.hasMadeUpToolTips());
        // A cell with its own tool tip keeps it; the other is made up in the new language.
        QCOMPARE(french::roundTrip([&matrix] { return matrix.toolTips(); }),
                 u"Save Button|Remove the record / Enregistrer Bouton|Supprimer la fiche / "
                 u"Save Button|Remove the record"_qs);
    }

    void negativeTagIsNeverLocalized()
    {
        ZEM_A_C_NSMatrix matrix;
        matrix.setTag(-1);
        matrix.addCell(QStringLiteral("Name"));
        matrix.setToolTip(QStringLiteral("Keep a copy"));
        matrix.awakeFromNib();
        ZEM_A_C_NSMatrix witness;
        witness.addCell(QStringLiteral("Witness Cell"));
        witness.awakeFromNib();
        QVERIFY(!matrix.hasTitles());
        QVERIFY(matrix.titleKeys().isEmpty());
        QVERIFY(matrix.toolTipKey().isEmpty());
        QVERIFY(french::use("French"));
        QCOMPARE(matrix.titles(), QStringList{u"Name"_qs});
        QCOMPARE(matrix.toolTip(), u"Keep a copy"_qs);
        // Entered with the same delay as the witness's key, had it been registered.
        QVERIFY(french::entered("NL:Witness Cell"));
        QVERIFY(!french::dictionary().contains(u"NL:Name"_qs));
    }

    void radioMode()
    {
        ZEM_A_C_NSMatrix matrix(ZEM_A_C_NSMatrix::RadioButtons, 2);
        for (const char *title : {"Save", "Delete", "Print"})
            matrix.addCell(QString::fromLatin1(title));
        QCOMPARE(matrix.cellCount(), 3);
        QCOMPARE(matrix.cellAt(3), nullptr);
        QCOMPARE(matrix.buttonAt(-1), nullptr);
        QCOMPARE(matrix.selectedIndex(), -1);
        matrix.buttonAt(2)->click();
        QCOMPARE(matrix.selectedIndex(), 2);
        matrix.buttonAt(0)->click();
        QCOMPARE(matrix.selectedIndex(), 0);
        QVERIFY(!matrix.buttonAt(2)->isChecked());

        // An image-only cell shows no title.
        matrix.cellAt(1)->setImagePosition(platform::ImagePosition::ImageOnly);
        QCOMPARE(matrix.buttonAt(1)->text(), QString());
        QCOMPARE(matrix.titles().at(1), u"Delete"_qs);
    }
};

ZEM_TEST_MAIN(tst_ZEM_A_C_NSMatrix)
#include "tst_ZEM_A_C_NSMatrix.moc"
