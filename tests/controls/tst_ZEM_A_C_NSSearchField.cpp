// The search field stepping through its table's rows with the arrow keys while the other
// keys edit the search text; its placeholder and Qt's own texts following the language.
#include "LocalizedControlsFrench.h"

#include "controls/ZEM_A_C_NSSearchField.h"

#include <QDialogButtonBox>
#include <QMenu>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>

namespace {

struct Window
{
    QWidget window;
    ZEM_A_C_NSSearchField *field = new ZEM_A_C_NSSearchField(&window);
    QTableView *table = new QTableView(&window);
    QStandardItemModel model;

    explicit Window(int rows) : model(rows, 2)
    {
        table->setModel(&model);
        table->setSelectionBehavior(QAbstractItemView::SelectRows);
        field->setTable(table);
    }
    int selectedRow() const
    {
        const QModelIndexList rows = table->selectionModel()->selectedRows();
        return rows.size() == 1 ? rows.first().row() : -1;
    }
    // Selects \a row; -1 selects none.
    void select(int row)
    {
        table->selectionModel()->clear();
        if (row >= 0)
            table->selectionModel()->setCurrentIndex(model.index(row, 0), QItemSelectionModel::ClearAndSelect |
                                                                              QItemSelectionModel::Rows);
    }
};

// A top-level widget that counts the language changes Qt tells it of.
class LanguageWatcher : public QWidget
{
public:
    int changes = 0;

protected:
    void changeEvent(QEvent *event) override
    {
        if (event->type() == QEvent::LanguageChange)
            ++changes;
        QWidget::changeEvent(event);
    }
};

} // namespace

class tst_ZEM_A_C_NSSearchField : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(zemFrenchLanguage({{"NL:Search", "Rechercher"}})); }
    void cleanupTestCase() { QVERIFY(french::use("English")); }

    void placeholderAndQtTextsFollowTheLanguage()
    {
        ZEM_A_C_NSSearchField field;
        field.setPlaceholderText(QStringLiteral("Search"));
        field.awakeFromNib();
        LanguageWatcher watcher; // never shown
        QDialogButtonBox buttons(QDialogButtonBox::Cancel);
        const QPushButton *cancel = buttons.button(QDialogButtonBox::Cancel);

        QVERIFY(french::use("French"));
        QCOMPARE(field.placeholderText(), u"Rechercher"_qs);
        QTRY_VERIFY(watcher.changes > 0);
        QTRY_COMPARE(cancel->text(), u"Annuler"_qs);
        // Qt makes a text field's context menu when asked: in the language of the moment.
        const std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
        QVERIFY(std::any_of(menu->actions().cbegin(), menu->actions().cend(), [](const QAction *action) {
            return action->text().startsWith(u"Tout sélectionner"_qs);
        }));

        watcher.changes = 0;
        QVERIFY(french::use("English"));
        QCOMPARE(field.placeholderText(), u"Search"_qs);
        QTRY_COMPARE(cancel->text(), u"Cancel"_qs);
        QTRY_VERIFY(watcher.changes > 0);
    }

    void arrowsWrapThroughRows_data()
    {
        QTest::addColumn<int>("selected");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("expected");
        QTest::newRow("up from the first wraps to the last") << 0 << int(Qt::Key_Up) << 4;
        QTest::newRow("up") << 3 << int(Qt::Key_Up) << 2;
        QTest::newRow("down") << 1 << int(Qt::Key_Down) << 2;
        QTest::newRow("down from the last wraps to the first") << 4 << int(Qt::Key_Down) << 0;
        QTest::newRow("down with none selected") << -1 << int(Qt::Key_Down) << 0;
        QTest::newRow("up with none selected") << -1 << int(Qt::Key_Up) << 4;
    }

    void arrowsWrapThroughRows()
    {
        QFETCH(int, selected);
        QFETCH(int, key);
        QFETCH(int, expected);
        Window w(5);
        w.select(selected);
        QTest::keyClick(w.field, Qt::Key(key));
        QCOMPARE(w.selectedRow(), expected);

        // The same through the arrow-key entry point.
        w.select(selected);
        QVERIFY(w.field->handleArrowKeyEventNoModifier(key));
        QCOMPARE(w.selectedRow(), expected);
    }

    void oneRowArrowsDoNothing()
    {
        Window w(1);
        w.select(0);
        QTest::keyClick(w.field, Qt::Key_Down);
        QTest::keyClick(w.field, Qt::Key_Up);
        QCOMPARE(w.selectedRow(), 0);
        Window empty(0);
        QTest::keyClick(empty.field, Qt::Key_Down);
        QCOMPARE(empty.selectedRow(), -1);
        QVERIFY(empty.field->handleArrowKeyEventNoModifier(Qt::Key_Up));
    }

    void otherKeysEditTheText()
    {
        Window w(5);
        w.select(2);
        QTest::keyClicks(w.field, u"ab"_qs);
        QTest::keyClick(w.field, Qt::Key_Left);
        QTest::keyClick(w.field, Qt::Key_X);
        QCOMPARE(w.field->text(), u"axb"_qs);
        QCOMPARE(w.selectedRow(), 2);
        QVERIFY(!w.field->handleArrowKeyEventNoModifier(Qt::Key_Left));
    }

    void withoutTableKeysAreTheFields()
    {
        ZEM_A_C_NSSearchField field;
        QVERIFY(!field.handleArrowKeyEventNoModifier(Qt::Key_Up));
        QTest::keyClicks(&field, u"abc"_qs);
        QTest::keyClick(&field, Qt::Key_Up);
        QTest::keyClick(&field, Qt::Key_Home);
        QTest::keyClick(&field, Qt::Key_Z);
        QCOMPARE(field.text(), u"zabc"_qs);

        // A table without a model, or one that is gone, is no table.
        {
            QTableView table;
            field.setTable(&table);
            QTest::keyClick(&field, Qt::Key_Down);
            QTest::keyClick(&field, Qt::Key_End);
            QTest::keyClick(&field, Qt::Key_Y);
            QCOMPARE(field.text(), u"zabcy"_qs);
        }
        QCOMPARE(field.table(), nullptr);
        QVERIFY(!field.handleArrowKeyEventNoModifier(Qt::Key_Down));
    }

    void nextKeyViewIsTheTable()
    {
        Window w(3);
        QCOMPARE(w.field->nextKeyView(), w.table);
        QCOMPARE(w.field->nextInFocusChain(), w.table);
    }
};

ZEM_TEST_MAIN(tst_ZEM_A_C_NSSearchField)
#include "tst_ZEM_A_C_NSSearchField.moc"
