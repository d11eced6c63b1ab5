#include "ZemTestEnv.h"

#include "controls/ZEM_A_C_NSMenuItem.h"
#include "foundation/ZEM_F_C_StoreGroup.h"
#include "foundation/ZEM_F_E_Notifications.h"
#include "tables/ZEM_A_C_TableHeaderMetalCell.h"
#include "tables/ZEM_A_C_TableHeaderView.h"
#include "tables/ZEM_A_C_TableScrollView.h"
#include "tables/ZEM_A_C_TextViewNoBackground.h"

#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QStandardItemModel>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

// The table as the header asks it, by name; the real table view lives elsewhere.
class HeaderTable : public QTableView
{
    Q_OBJECT
public:
    bool changeHeaderSort = true;
    bool canSort = true;
    QObject *store = nullptr;
    int resets = 0;
    int columnScrolls = 0;

    Q_INVOKABLE bool tableChangeHeaderSort() const { return changeHeaderSort; }
    Q_INVOKABLE bool tableCanSort() const { return canSort; }
    Q_INVOKABLE QObject *managedObject() const { return store; }
    Q_INVOKABLE void resetSortOrderForTable()
    {
        ++resets;
        horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    }
    Q_INVOKABLE void scrollColumnAfterDelay() { ++columnScrolls; }
    Q_INVOKABLE bool validateMenuItem(QObject *item) const { return item->property("tag").toInt() != 3; }
};

QStandardItemModel *names(QObject *parent)
{
    auto *model = new QStandardItemModel(0, 3, parent);
    model->setHorizontalHeaderLabels({u"Name"_s, u"Town"_s, u"Age"_s});
    for (const auto &[name, town, age] : {std::tuple{"Cleo", "Rome", "30"}, {"Ann", "Oslo", "41"}, {"Bea", "Bonn", "25"}})
        model->appendRow({new QStandardItem(QString::fromLatin1(name)), new QStandardItem(QString::fromLatin1(town)),
                          new QStandardItem(QString::fromLatin1(age))});
    return model;
}

QStringList column(const QAbstractItemModel *model, int col)
{
    QStringList values;
    for (int row = 0; row < model->rowCount(); ++row)
        values << model->index(row, col).data().toString();
    return values;
}

QImage twoToneImage(QColor top, QColor rest)
{
    QImage image(1, 4, QImage::Format_ARGB32);
    image.fill(rest);
    image.setPixelColor(0, 0, top);
    return image;
}

// A header of three columns in a shown window, its table answering by name.
struct HeaderFixture
{
    QWidget window;
    HeaderTable *table = new HeaderTable;
    ZEM_A_C_TableHeaderView *header = new ZEM_A_C_TableHeaderView(Qt::Horizontal);

    HeaderFixture()
    {
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(table);
        table->setModel(names(table));
        table->setHorizontalHeader(header);
        table->setSortingEnabled(true);
        table->sortByColumn(0, Qt::AscendingOrder);
        window.resize(400, 200);
    }
    QPoint centreOf(int section) const
    {
        return {header->sectionViewportPosition(section) + header->sectionSize(section) / 2, header->height() / 2};
    }
    void click(int section, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, modifiers, centreOf(section));
    }
};

} // namespace

class tst_ZEM_A_C_TableHeader : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { qunsetenv("ZEM_DEBUG_MACHINE"); }

    // ---- Scroll view --------------------------------------------------------------

    void tilePlacesAccessoriesBesideScrollers_data()
    {
        QTest::addColumn<bool>("vertical");
        QTest::addColumn<bool>("atTop");
        QTest::addColumn<bool>("horizontal");
        QTest::addColumn<bool>("onRightSide");
        QTest::addColumn<bool>("ruler");
        QTest::addColumn<bool>("scrollerHighAccessory");
        QTest::newRow("none") << false << false << false << false << false << false;
        QTest::newRow("vertical at top") << true << true << false << false << false << false;
        QTest::newRow("vertical at top below ruler") << true << true << false << false << true << false;
        QTest::newRow("vertical at bottom") << true << false << false << false << false << false;
        QTest::newRow("vertical at bottom beside horizontal") << true << false << true << false << false << false;
        QTest::newRow("horizontal on the left") << false << false << true << false << false << false;
        QTest::newRow("horizontal on the right") << false << false << true << true << false << false;
        QTest::newRow("horizontal as high as a scroller") << false << false << true << true << false << true;
        QTest::newRow("both, ruler shown") << true << true << true << true << true << false;
    }
    void tilePlacesAccessoriesBesideScrollers()
    {
        QFETCH(bool, vertical);
        QFETCH(bool, atTop);
        QFETCH(bool, horizontal);
        QFETCH(bool, onRightSide);
        QFETCH(bool, ruler);
        QFETCH(bool, scrollerHighAccessory);
        const int W = 300, H = 200;
        ZEM_A_C_TableScrollView scroll;
        auto *table = new QTableView;
        table->setModel(names(table));
        scroll.setDocumentView(table);
        scroll.resize(W, H);
        const int sw = scroll.style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        const int headerHeight = table->horizontalHeader()->sizeHint().height();
        QVERIFY(sw > 0 && sw != 9 && headerHeight > 0);

        auto *rulerView = new QWidget;
        rulerView->setFixedHeight(20);
        scroll.setHorizontalRulerView(rulerView);
        auto *vAccessory = new QWidget;
        vAccessory->resize(30, 25);
        auto *hAccessory = new QWidget;
        hAccessory->resize(40, scrollerHighAccessory ? sw : 9);
        if (horizontal)
            scroll.setHorizontalScrollerAccessory(hAccessory, onRightSide);
        else
            delete hAccessory;
        if (vertical)
            scroll.setVerticalScrollerAccessory(vAccessory, atTop);
        else
            delete vAccessory;
        scroll.setRulersVisible(ruler);

        const int rulerHeight = ruler ? 20 : 0;
        QRect vScroller(W - sw, rulerHeight + headerHeight, sw, H - rulerHeight - headerHeight - sw);
        QRect hScroller(0, H - sw, W - sw, sw);
        if (vertical) {
            const QRect expected(W - sw, atTop ? rulerHeight + headerHeight : H - 25 - (horizontal ? sw : 0) - 3, sw, 25);
            QCOMPARE(vAccessory->geometry(), expected);
            vScroller.setHeight(vScroller.height() - 25);
            if (atTop)
                vScroller.translate(0, 25);
        }
        if (horizontal) {
            const int height = scrollerHighAccessory ? sw : 11;
            const QRect expected(onRightSide ? W - sw - 40 : 0, H - height - 1, 40, height);
            QCOMPARE(hAccessory->geometry(), expected);
            hScroller.setWidth(hScroller.width() - 40);
            if (!onRightSide)
                hScroller.moveLeft(40);
        }
        QCOMPARE(scroll.verticalScroller()->geometry(), vScroller);
        QCOMPARE(scroll.horizontalScroller()->geometry(), hScroller);
        QCOMPARE(scroll.viewport()->geometry(), QRect(0, rulerHeight, W - sw, H - sw - rulerHeight));
    }

    void scrollersMirrorTheTable()
    {
        ZEM_A_C_TableScrollView scroll;
        auto *table = new QTableView;
        auto *model = new QStandardItemModel(200, 2, table);
        table->setModel(model);
        scroll.setDocumentView(table);
        scroll.resize(200, 150);
        QVERIFY(zemtest::showExposed(scroll));
        QTRY_VERIFY(table->verticalScrollBar()->maximum() > 0);
        QCOMPARE(scroll.verticalScroller()->maximum(), table->verticalScrollBar()->maximum());
        scroll.verticalScroller()->setValue(10);
        QCOMPARE(table->verticalScrollBar()->value(), 10);
        table->scrollToBottom();
        QCOMPARE(scroll.verticalScroller()->value(), table->verticalScrollBar()->maximum());
    }

    void speedScrollMenusFollowTheScrollers()
    {
        ZEM_A_C_TableScrollView scroll;
        scroll.awakeFromNib();
        auto *timer = scroll.findChild<QTimer *>(u"resetMenuTimer"_s);
        QVERIFY(timer && timer->isActive());
        QCOMPARE(timer->interval(), 1000);
        QVERIFY(!scroll.horizontalScroller()->menu());
        ZEM_F_E_Notifications::shared()->postNotificationName(u"ResetMenu"_s);
        QMenu *hMenu = scroll.horizontalScroller()->menu();
        QMenu *vMenu = scroll.verticalScroller()->menu();
        QVERIFY(hMenu && vMenu);

        auto describe = [](QMenu *menu) {
            QStringList items;
            for (QAction *action : menu->actions())
                items << action->text() + u'>' + action->property("selector").toString() + u'>'
                        + (action->isEnabled() ? u"on"_s : u"off"_s);
            return items;
        };
        emit hMenu->aboutToShow();
        QCOMPARE(describe(hMenu), (QStringList{u"Speed Scroll On>speedHorizontalOn>on"_s,
                                               u"Speed Scroll Off>speedHorizontalOff>off"_s}));
        hMenu->actions().at(0)->trigger();
        QVERIFY(scroll.horizontalScroller()->ignoresMultipleClicks());
        QVERIFY(!scroll.verticalScroller()->ignoresMultipleClicks());
        emit hMenu->aboutToShow();
        emit vMenu->aboutToShow();
        QCOMPARE(describe(hMenu), (QStringList{u"Speed Scroll On>speedHorizontalOn>off"_s,
                                               u"Speed Scroll Off>speedHorizontalOff>on"_s}));
        QCOMPARE(describe(vMenu), (QStringList{u"Speed Scroll On>speedVerticalOn>on"_s,
                                               u"Speed Scroll Off>speedVerticalOff>off"_s}));
        ZEM_A_C_NSMenuItem other(u"Other"_s, u"copy:"_s);
        QVERIFY(!scroll.validateMenuItem(&other));
    }

    void speedScrollDropsTheSecondClickOfADoubleClick()
    {
        ZEM_A_C_TableScrollView scroll;
        scroll.resize(300, 200);
        ZEM_A_C_TableScroller *scroller = scroll.verticalScroller();
        for (bool speed : {false, true}) {
            speed ? scroll.speedVerticalOn() : scroll.speedVerticalOff();
            scroller->setRange(0, 10000);
            scroller->setPageStep(100);
            scroller->setValue(0);
            const QPoint trough(scroller->width() / 2, scroller->height() - 30);
            QTest::mouseClick(scroller, Qt::LeftButton, {}, trough);
            QTest::mouseDClick(scroller, Qt::LeftButton, {}, trough);
            QTest::mouseRelease(scroller, Qt::LeftButton, {}, trough);
            QCOMPARE(scroller->value(), speed ? 100 : 200);
        }
    }

    void aClickMakesTheScrollViewFirstResponder()
    {
        QWidget window;
        auto *field = new QLineEdit(&window);
        auto *scroll = new ZEM_A_C_TableScrollView(&window);
        scroll->setGeometry(0, 30, 200, 150);
        QVERIFY(zemtest::showExposed(window));
        field->setFocus();
        QCOMPARE(window.focusWidget(), field);
        // The corner between the two scrollers belongs to the scroll view itself.
        const int sw = scroll->scrollerWidth();
        QTest::mouseClick(scroll, Qt::LeftButton, {}, QPoint(200 - sw / 2, 150 - sw / 2));
        QCOMPARE(window.focusWidget(), scroll);
    }

    // ---- Header view ----------------------------------------------------------------

    void headerMenu_data()
    {
        QTest::addColumn<bool>("changeHeaderSort");
        QTest::addColumn<bool>("withStore");
        QTest::addColumn<QStringList>("items");
        const QStringList common{u"|-1"_s,
                                 u"Reset Table Columns To Original Order|setTableColumnOrder:|0"_s,
                                 u"Reverse Table Columns Order|setTableColumnOrder:|3"_s,
                                 u"|-1"_s,
                                 u"Sort Table Columns Order Ascending|setTableColumnOrder:|1"_s,
                                 u"Sort Table Columns Order Descending|setTableColumnOrder:|2"_s,
                                 u"|-1"_s,
                                 u"Reset All Table Columns To Original Size|setTableColumnSize:|4"_s,
                                 u"Reset All Table Columns To Maximum Size|setTableColumnSize:|5"_s,
                                 u"Reset All Table Columns To Minimum Size|setTableColumnSize:|6"_s};
        QTest::newRow("no header sort") << false << true << QStringList();
        QTest::newRow("no store") << true << false << common;
        QTest::newRow("store") << true << true
                               << QStringList{u"Set Row Order to Current Sort|setToCurrentOrder:|7"_s} + common;
    }
    void headerMenu()
    {
        QFETCH(bool, changeHeaderSort);
        QFETCH(bool, withStore);
        QFETCH(QStringList, items);
        HeaderFixture f;
        QObject store;
        f.table->changeHeaderSort = changeHeaderSort;
        f.table->store = withStore ? &store : nullptr;
        QVERIFY(!f.header->menu());
        // Drawing schedules the menu for the next pass.
        f.header->grab();
        auto *timer = f.header->findChild<QTimer *>(u"resetMenuTimer"_s);
        QVERIFY(timer && timer->isActive());
        QCOMPARE(timer->interval(), 0);
        QCoreApplication::processEvents();
        QVERIFY(!timer->isActive());
        if (items.isEmpty()) {
            QVERIFY(!f.header->menu());
            return;
        }
        QVERIFY(f.header->menu());
        QStringList found;
        for (QAction *action : f.header->menu()->actions()) {
            if (action->isSeparator()) {
                found << u"|-1"_s;
                continue;
            }
            QCOMPARE(action->property("target").value<QObject *>(), f.table);
            found << action->text() + u'|' + action->property("selector").toString() + u'|'
                    + QString::number(action->property("tag").toInt());
        }
        QCOMPARE(found, items);
        // Enabling is the table's: it refuses tag 3.
        emit f.header->menu()->aboutToShow();
        for (QAction *action : f.header->menu()->actions())
            QCOMPARE(action->isEnabled(), action->isSeparator() || action->property("tag").toInt() != 3);

        // "ResetMenu" rebuilds it from the table's answers at that time.
        f.table->changeHeaderSort = false;
        ZEM_F_E_Notifications::shared()->postNotificationName(u"ResetMenu"_s);
        QVERIFY(!f.header->menu());
    }

    void controlClickRemovesTheSort()
    {
        HeaderFixture f;
        QVERIFY(zemtest::showExposed(f.window));
        QCOMPARE(column(f.table->model(), 0), (QStringList{u"Ann"_s, u"Bea"_s, u"Cleo"_s}));
        f.click(1, Qt::ControlModifier);
        QCOMPARE(f.table->resets, 1);
        QCOMPARE(f.header->sortIndicatorSection(), -1);
        QCOMPARE(column(f.table->model(), 0), (QStringList{u"Ann"_s, u"Bea"_s, u"Cleo"_s}));
        QCoreApplication::processEvents();
        QCOMPARE(f.table->columnScrolls, 0);
    }

    void plainClickSortsOnlyWhenTheTableCanSort()
    {
        HeaderFixture f;
        QVERIFY(zemtest::showExposed(f.window));
        f.table->canSort = false;
        QSignalSpy doubleClicks(f.header, &QHeaderView::sectionDoubleClicked);
        f.click(1);
        QTest::mouseDClick(f.header->viewport(), Qt::LeftButton, {}, f.centreOf(1));
        QTest::mouseRelease(f.header->viewport(), Qt::LeftButton, {}, f.centreOf(1));
        QCOMPARE(f.header->sortIndicatorSection(), 0);
        QCOMPARE(column(f.table->model(), 0), (QStringList{u"Ann"_s, u"Bea"_s, u"Cleo"_s}));
        QCOMPARE(doubleClicks.count(), 0);
        QCoreApplication::processEvents();
        QCOMPARE(f.table->columnScrolls, 0);

        f.table->canSort = true;
        f.click(1);
        QCOMPARE(f.header->sortIndicatorSection(), 1);
        QCOMPARE(column(f.table->model(), 1), (QStringList{u"Bonn"_s, u"Oslo"_s, u"Rome"_s}));
        QCOMPARE(f.table->columnScrolls, 0); // on the next pass, not during the click
        QTRY_COMPARE(f.table->columnScrolls, 1);
    }

    void altShiftClickTogglesTheColumnInTheSelection()
    {
        HeaderFixture f;
        QVERIFY(zemtest::showExposed(f.window));
        QItemSelectionModel *selection = f.table->selectionModel();
        f.table->selectColumn(0);
        selection->select(f.table->model()->index(1, 1), QItemSelectionModel::Select);
        auto selectedColumns = [selection] {
            QList<int> columns;
            for (const QModelIndex &index : selection->selectedColumns())
                columns << index.column();
            std::sort(columns.begin(), columns.end());
            return columns;
        };
        const Qt::KeyboardModifiers altShift = Qt::AltModifier | Qt::ShiftModifier;
        f.click(2, altShift);
        QCOMPARE(selectedColumns(), (QList<int>{0, 2}));
        QVERIFY(!selection->isSelected(f.table->model()->index(1, 1)));
        f.click(0, altShift);
        QCOMPARE(selectedColumns(), QList<int>{2});
        QCOMPARE(f.header->sortIndicatorSection(), 0);
        // A point past the last column selects nothing.
        QTest::mouseClick(f.header->viewport(), Qt::LeftButton, altShift, QPoint(f.header->length() + 5, 5));
        QCOMPARE(selectedColumns(), QList<int>{2});
    }

    // ---- Metal cell ------------------------------------------------------------------

    void metalCellStretchesTheImageRows()
    {
        ZEM_A_C_TableHeaderMetalCell cell;
        QCOMPARE(cell.image(), ZEM_F_C_StoreGroup::shared()->imageForKey(u"MetalColumnHeader"_s));
        QVERIFY(!cell.image().isNull());
        cell.setImage(twoToneImage(Qt::red, Qt::blue));
        QImage canvas(60, 20, QImage::Format_ARGB32);
        canvas.fill(Qt::green);
        {
            QPainter painter(&canvas);
            cell.drawWithFrame(&painter, QRectF(0, 0, 60, 20));
        }
        for (int x : {0, 30, 59}) {
            QCOMPARE(canvas.pixelColor(x, 0), QColor(Qt::red));
            for (int y = 1; y <= 18; ++y)
                QCOMPARE(canvas.pixelColor(x, y), QColor(Qt::blue));
            QCOMPARE(canvas.pixelColor(x, 19), QColor(Qt::green));
        }
    }

    void metalCellCentresItsTitle()
    {
        const QColor grey(128, 128, 128);
        ZEM_A_C_TableHeaderMetalCell cell(u"WWWW"_s);
        QFont font;
        font.setPixelSize(14);
        cell.setFont(font);
        cell.setImage(twoToneImage(grey, grey));
        QImage canvas(120, 30, QImage::Format_ARGB32);
        {
            QPainter painter(&canvas);
            cell.drawWithFrame(&painter, QRectF(0, 0, 120, 30));
        }
        const QSizeF size = QFontMetricsF(font).size(Qt::TextSingleLine, u"WWWW"_s);
        const QRectF text((120 - size.width()) / 2 - 0.5, (30 - size.height()) / 2 + 0.5, size.width(), size.height());
        int dark = 0, outside = 0;
        for (int y = 1; y < 29; ++y) {
            for (int x = 0; x < 120; ++x) {
                const int g = qGray(canvas.pixel(x, y));
                const bool in = text.adjusted(-2, -2, 2, 2).contains(QPointF(x + 0.5, y + 0.5));
                if (!in)
                    outside += g != 128;
                else if (g < 40)
                    ++dark;
            }
        }
        QCOMPARE(outside, 0);
        QVERIFY2(dark > 20, qPrintable(QString::number(dark)));
    }

    void headerPaintsSectionsThatHaveACell()
    {
        HeaderFixture f;
        auto *cell = new ZEM_A_C_TableHeaderMetalCell;
        cell->setImage(twoToneImage(Qt::red, Qt::blue));
        f.header->setSectionCell(1, cell);
        QCOMPARE(cell->parent(), f.header);
        QVERIFY(zemtest::showExposed(f.window));
        const QImage shot = f.header->viewport()->grab().toImage();
        const int x1 = f.header->sectionViewportPosition(1) + 3;
        const int x0 = f.header->sectionViewportPosition(0) + 3;
        QCOMPARE(shot.pixelColor(x1, 0), QColor(Qt::red));
        QCOMPARE(shot.pixelColor(x1, 2), QColor(Qt::blue));
        QVERIFY(shot.pixelColor(x0, 2) != QColor(Qt::blue));
        QCOMPARE(cell->title(), u"Town"_s);
    }

    // ---- Text view -------------------------------------------------------------------

    void textViewTakesFocusOnlyOnADevelopmentMachine_data()
    {
        QTest::addColumn<QByteArray>("debugMachine");
        QTest::addColumn<bool>("focus");
        QTest::newRow("user's machine") << QByteArray("0") << false;
        QTest::newRow("development machine") << QByteArray("1") << true;
    }
    void textViewTakesFocusOnlyOnADevelopmentMachine()
    {
        QFETCH(QByteArray, debugMachine);
        QFETCH(bool, focus);
        qputenv("ZEM_DEBUG_MACHINE", debugMachine);
        QWidget window;
        auto *field = new QLineEdit(&window);
        auto *view = new ZEM_A_C_TextViewNoBackground(&window);
        view->setGeometry(0, 30, 200, 100);
        view->awakeFromNib();
        QCOMPARE(view->delegate(), view);
        QVERIFY(zemtest::showExposed(window));
        field->setFocus();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(50, 50));
        QCOMPARE(window.focusWidget() == view, focus);
        view->setFocus();
        QCOMPARE(window.focusWidget() == view, focus);
    }

    void textViewShowsWhatLiesBehindIt()
    {
        QWidget window;
        window.setAutoFillBackground(true);
        QPalette palette = window.palette();
        palette.setColor(QPalette::Window, Qt::red);
        window.setPalette(palette);
        auto *view = new ZEM_A_C_TextViewNoBackground(&window);
        view->setGeometry(10, 10, 100, 60);
        window.resize(120, 80);
        QCOMPARE(window.grab().toImage().pixelColor(60, 40) == QColor(Qt::red), false);
        view->awakeFromNib();
        QCOMPARE(window.grab().toImage().pixelColor(60, 40), QColor(Qt::red));
    }
};

ZEM_TEST_MAIN(tst_ZEM_A_C_TableHeader)
#include "tst_ZEM_A_C_TableHeader.moc"
