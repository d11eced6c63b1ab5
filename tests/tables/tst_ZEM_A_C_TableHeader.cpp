#include "ZemTestEnv.h"

#include "controls/ZEM_A_C_NSMenuItem.h"
#include "foundation/ZEM_F_C_StoreGroup.h"
#include "foundation/ZEM_F_E_Notifications.h"
#include "tables/ZEM_A_C_TableHeaderMetalCell.h"
#include "tables/ZEM_A_C_TableHeaderView.h"
#include "tables/ZEM_A_C_TableScrollView.h"
#include "tables/ZEM_A_C_TextViewNoBackground.h"

#include <QLineEdit>
#include <QPainter>
#include <QStandardItemModel>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

// The table as the header asks it, by name.
class HeaderTable : public QTableView
{
    Q_OBJECT
public:
    bool changeHeaderSort = true, canSort = true;
    QObject *store = nullptr;
    int resets = 0, columnScrolls = 0;

    Q_INVOKABLE bool tableChangeHeaderSort() const { return changeHeaderSort; }
    Q_INVOKABLE bool tableCanSort() const { return canSort; }
    Q_INVOKABLE QObject *managedObject() const { return store; }
    Q_INVOKABLE void resetSortOrderForTable() { ++resets; horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder); }
    Q_INVOKABLE void scrollColumnAfterDelay() { ++columnScrolls; }
    Q_INVOKABLE bool validateMenuItem(QObject *item) const { return item->property("tag").toInt() != 3; }
};

QStandardItemModel *names(QObject *parent)
{
    auto *model = new QStandardItemModel(0, 3, parent);
    model->setHorizontalHeaderLabels({u"Name"_s, u"Town"_s, u"Age"_s});
    for (const QString &row : {u"Cleo Rome 30"_s, u"Ann Oslo 41"_s, u"Bea Bonn 25"_s}) {
        QList<QStandardItem *> items;
        for (const QString &value : row.split(u' '))
            items << new QStandardItem(value);
        model->appendRow(items);
    }
    return model;
}

QString column(const QAbstractItemModel *model, int col)
{
    QStringList values;
    for (int row = 0; row < model->rowCount(); ++row)
        values << model->index(row, col).data().toString();
    return values.join(u' ');
}

QImage twoToneImage(QColor top, QColor rest)
{
    QImage image(1, 4, QImage::Format_ARGB32);
    image.fill(rest);
    image.setPixelColor(0, 0, top);
    return image;
}

QStringList describe(const QMenu *menu)
{
    QStringList items;
    for (QAction *action : menu->actions())
        items << (action->isSeparator() ? u"-"_s
                                        : action->text() + u'|' + action->property("selector").toString() + u'|'
                          + action->property("tag").toString() + (action->isEnabled() ? u""_s : u"|off"_s));
    return items;
}

// A sorted three-column table in a shown window, with the header under test.
struct HeaderFixture
{
    QWidget window;
    HeaderTable *table = new HeaderTable;
    ZEM_A_C_TableHeaderView *header = new ZEM_A_C_TableHeaderView(Qt::Horizontal);

    HeaderFixture()
    {
        (new QVBoxLayout(&window))->addWidget(table);
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

    // Flags: V vertical accessory, T at top, H horizontal accessory, R on the right side,
    // U ruler shown, S horizontal accessory as high as a scroller.
    void tilePlacesAccessoriesBesideScrollers_data()
    {
        QTest::addColumn<QString>("flags");
        for (const char *flags : {"", "VT", "VTU", "V", "VH", "H", "HR", "HRS", "VTHRU"})
            QTest::newRow(*flags ? flags : "none") << QString::fromLatin1(flags);
    }
    void tilePlacesAccessoriesBesideScrollers()
    {
        QFETCH(QString, flags);
        const bool vertical = flags.contains(u'V'), atTop = flags.contains(u'T'), horizontal = flags.contains(u'H');
        const bool onRightSide = flags.contains(u'R'), ruler = flags.contains(u'U');
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
        auto *vAccessory = new QWidget(&scroll);
        vAccessory->resize(30, 25);
        auto *hAccessory = new QWidget(&scroll);
        hAccessory->resize(40, flags.contains(u'S') ? sw : 9);
        if (horizontal)
            scroll.setHorizontalScrollerAccessory(hAccessory, onRightSide);
        if (vertical)
            scroll.setVerticalScrollerAccessory(vAccessory, atTop);
        scroll.setRulersVisible(ruler); // tiles again

        const int top = (ruler ? 20 : 0) + headerHeight;
        QRect vScroller(W - sw, top, sw, H - top - sw);
        QRect hScroller(0, H - sw, W - sw, sw);
        if (vertical) {
            QCOMPARE(vAccessory->geometry(), QRect(W - sw, atTop ? top : H - 25 - (horizontal ? sw : 0) - 3, sw, 25));
            vScroller.adjust(0, atTop ? 25 : 0, 0, atTop ? 0 : -25);
        }
        if (horizontal) {
            const int height = flags.contains(u'S') ? sw : 11;
            QCOMPARE(hAccessory->geometry(), QRect(onRightSide ? W - sw - 40 : 0, H - height - 1, 40, height));
            hScroller.adjust(onRightSide ? 0 : 40, 0, onRightSide ? -40 : 0, 0);
        }
        QCOMPARE(scroll.verticalScroller()->geometry(), vScroller);
        QCOMPARE(scroll.horizontalScroller()->geometry(), hScroller);
        QCOMPARE(scroll.viewport()->geometry(), QRect(0, top - headerHeight, W - sw, H - sw - (top - headerHeight)));
    }

    void scrollersMirrorTheTableAndAClickFocusesTheView()
    {
        QWidget window;
        auto *scroll = new ZEM_A_C_TableScrollView(&window);
        auto *table = new QTableView;
        table->setModel(new QStandardItemModel(200, 2, table));
        scroll->setDocumentView(table);
        scroll->resize(200, 150);
        QVERIFY(zemtest::showExposed(window));
        QScrollBar *inner = table->verticalScrollBar();
        QTRY_VERIFY(inner->maximum() > 0);
        QCOMPARE(scroll->verticalScroller()->maximum(), inner->maximum());
        scroll->verticalScroller()->setValue(10);
        QCOMPARE(inner->value(), 10);
        table->scrollToBottom();
        QCOMPARE(scroll->verticalScroller()->value(), inner->maximum());

        auto *field = new QLineEdit(&window);
        field->show();
        field->setFocus();
        const int sw = scroll->scrollerWidth(); // the corner between the scrollers is the view's own
        QTest::mouseClick(scroll, Qt::LeftButton, {}, QPoint(200 - sw / 2, 150 - sw / 2));
        QCOMPARE(window.focusWidget(), scroll);
    }

    void startUpPlacesAccessoriesAndSpeedScrollMenusFollowTheScrollers()
    {
        ZEM_A_C_TableScrollView scroll;
        auto *hAccessory = new QWidget, *vAccessory = new QWidget;
        scroll.setHorizontalScrollerAccessory(hAccessory); // stored only, placed at start-up
        scroll.setVerticalScrollerAccessory(vAccessory);
        scroll.setHorizontalAccessoryIsOnRightSide(true);
        scroll.awakeFromNib();
        QVERIFY(hAccessory->parentWidget() == &scroll && vAccessory->parentWidget() == &scroll);
        QVERIFY(!scroll.onRightSide() && scroll.atTop());
        auto *timer = scroll.findChild<QTimer *>(u"resetMenuTimer"_s);
        QVERIFY(timer && timer->isActive());
        QCOMPARE(timer->interval(), 1000);

        QVERIFY(!scroll.horizontalScroller()->menu());
        ZEM_F_E_Notifications::shared()->postNotificationName(u"ResetMenu"_s);
        QMenu *hMenu = scroll.horizontalScroller()->menu(), *vMenu = scroll.verticalScroller()->menu();
        QVERIFY(hMenu && vMenu);
        emit hMenu->aboutToShow();
        QCOMPARE(describe(hMenu), (QStringList{u"Speed Scroll On|speedHorizontalOn|0"_s,
                                               u"Speed Scroll Off|speedHorizontalOff|1|off"_s}));
        hMenu->actions().at(0)->trigger();
        QVERIFY(scroll.horizontalScroller()->ignoresMultipleClicks());
        QVERIFY(!scroll.verticalScroller()->ignoresMultipleClicks());
        emit hMenu->aboutToShow();
        emit vMenu->aboutToShow();
        QCOMPARE(describe(hMenu), (QStringList{u"Speed Scroll On|speedHorizontalOn|0|off"_s,
                                               u"Speed Scroll Off|speedHorizontalOff|1"_s}));
        QCOMPARE(describe(vMenu), (QStringList{u"Speed Scroll On|speedVerticalOn|0"_s,
                                               u"Speed Scroll Off|speedVerticalOff|1|off"_s}));
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

    void headerMenu_data()
    {
        QTest::addColumn<bool>("changeHeaderSort");
        QTest::addColumn<bool>("withStore");
        QTest::addColumn<QStringList>("items");
        const QStringList common = QStringList{
            u"-;Reset Table Columns To Original Order|setTableColumnOrder:|0;Reverse Table Columns Order|setTableColumnOrder:|3|off;-"_s,
            u"Sort Table Columns Order Ascending|setTableColumnOrder:|1;Sort Table Columns Order Descending|setTableColumnOrder:|2;-"_s,
            u"Reset All Table Columns To Original Size|setTableColumnSize:|4;Reset All Table Columns To Maximum Size|setTableColumnSize:|5"_s,
            u"Reset All Table Columns To Minimum Size|setTableColumnSize:|6"_s}.join(u';').split(u';');
        QTest::newRow("no header sort") << false << true << QStringList();
        QTest::newRow("no store") << true << false << common;
        QTest::newRow("store") << true << true << QStringList{u"Set Row Order to Current Sort|setToCurrentOrder:|7"_s} + common;
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
        f.header->grab(); // drawing schedules the menu for the next pass
        auto *timer = f.header->findChild<QTimer *>(u"resetMenuTimer"_s);
        QVERIFY(timer && timer->isActive() && timer->interval() == 0);
        QVERIFY(!f.header->menu());
        QCoreApplication::processEvents();
        QCOMPARE(f.header->menu() != nullptr, !items.isEmpty());
        if (items.isEmpty())
            return;
        emit f.header->menu()->aboutToShow(); // enabling is the table's: it refuses tag 3
        QCOMPARE(describe(f.header->menu()), items);
        for (QAction *action : f.header->menu()->actions())
            QVERIFY(action->isSeparator() || action->property("target").value<QObject *>() == f.table);

        f.table->changeHeaderSort = false;
        ZEM_F_E_Notifications::shared()->postNotificationName(u"ResetMenu"_s);
        QVERIFY(!f.header->menu());
    }

    void modifierClicks()
    {
        HeaderFixture f;
        QVERIFY(zemtest::showExposed(f.window));
        f.click(1, Qt::ControlModifier); // removes the sort, sorts nothing
        QCOMPARE(f.table->resets, 1);
        QCOMPARE(f.header->sortIndicatorSection(), -1);
        QCOMPARE(column(f.table->model(), 0), u"Ann Bea Cleo"_s);

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
        QVERIFY(!selection->isSelected(f.table->model()->index(1, 1))); // not extending
        f.click(0, altShift);
        QCOMPARE(selectedColumns(), QList<int>{2});
        QTest::mouseClick(f.header->viewport(), Qt::LeftButton, altShift, QPoint(f.header->length() + 5, 5));
        QCOMPARE(selectedColumns(), QList<int>{2});
        QCOMPARE(f.header->sortIndicatorSection(), -1);
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
        QCOMPARE(column(f.table->model(), 0), u"Ann Bea Cleo"_s);
        QCOMPARE(doubleClicks.count(), 0);
        QCoreApplication::processEvents();
        QCOMPARE(f.table->columnScrolls, 0);

        f.table->canSort = true;
        f.click(1);
        QCOMPARE(f.header->sortIndicatorSection(), 1);
        QCOMPARE(column(f.table->model(), 1), u"Bonn Oslo Rome"_s);
        QCOMPARE(f.table->columnScrolls, 0); // on the next pass, not during the click
        QTRY_COMPARE(f.table->columnScrolls, 1);
    }

    void metalCellPainting()
    {
        ZEM_A_C_TableHeaderMetalCell cell;
        QVERIFY(!cell.image().isNull());
        QCOMPARE(cell.image(), ZEM_F_C_StoreGroup::shared()->imageForKey(u"MetalColumnHeader"_s));
        cell.setImage(twoToneImage(Qt::red, Qt::blue));
        QImage canvas(60, 20, QImage::Format_ARGB32);
        canvas.fill(Qt::green);
        cell.drawWithFrame(std::make_unique<QPainter>(&canvas).get(), QRectF(0, 0, 60, 20));
        for (int x : {0, 30, 59}) {
            QCOMPARE(canvas.pixelColor(x, 0), QColor(Qt::red)); // the image's top row
            for (int y = 1; y <= 18; ++y)
                QCOMPARE(canvas.pixelColor(x, y), QColor(Qt::blue));
            QCOMPARE(canvas.pixelColor(x, 19), QColor(Qt::green));
        }

        // The title: dark pixels centred in the cell, nothing outside its measured box.
        const QColor grey(128, 128, 128);
        cell.setTitle(u"WWWW"_s);
        QFont font;
        font.setPixelSize(14);
        cell.setFont(font);
        cell.setImage(twoToneImage(grey, grey));
        canvas = QImage(120, 30, QImage::Format_ARGB32);
        canvas.fill(Qt::green);
        cell.drawWithFrame(std::make_unique<QPainter>(&canvas).get(), QRectF(0, 0, 120, 30));
        const QSizeF size = QFontMetricsF(font).size(Qt::TextSingleLine, u"WWWW"_s);
        const QRectF box = QRectF((120 - size.width()) / 2 - 0.5, (30 - size.height()) / 2 + 0.5, size.width(),
                                  size.height()).adjusted(-2, -2, 2, 2);
        int dark = 0, outside = 0;
        for (int y = 1; y < 29; ++y) {
            for (int x = 0; x < 120; ++x) {
                const int g = qGray(canvas.pixel(x, y));
                if (box.contains(QPointF(x + 0.5, y + 0.5)))
                    dark += g < 40;
                else
                    outside += g != 128;
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
        const int x1 = f.header->sectionViewportPosition(1) + 3, x0 = f.header->sectionViewportPosition(0) + 3;
        QCOMPARE(shot.pixelColor(x1, 0), QColor(Qt::red));
        QCOMPARE(shot.pixelColor(x1, 2), QColor(Qt::blue));
        QVERIFY(shot.pixelColor(x0, 2) != QColor(Qt::blue));
        QCOMPARE(cell->title(), u"Town"_s);
    }

    void textViewTakesFocusOnlyOnADevelopmentMachineAndShowsWhatLiesBehind_data()
    {
        QTest::addColumn<QByteArray>("debugMachine");
        QTest::newRow("user's machine") << QByteArray("0");
        QTest::newRow("development machine") << QByteArray("1");
    }
    void textViewTakesFocusOnlyOnADevelopmentMachineAndShowsWhatLiesBehind()
    {
        QFETCH(QByteArray, debugMachine);
        const bool focus = debugMachine == "1";
        qputenv("ZEM_DEBUG_MACHINE", debugMachine);
        QWidget window;
        window.setAutoFillBackground(true);
        window.setPalette(QPalette(Qt::red));
        auto *field = new QLineEdit(&window);
        auto *view = new ZEM_A_C_TextViewNoBackground(&window);
        view->setGeometry(0, 30, 200, 100);
        QVERIFY(window.grab().toImage().pixelColor(100, 80) != QColor(Qt::red));
        view->awakeFromNib();
        QCOMPARE(window.grab().toImage().pixelColor(100, 80), QColor(Qt::red));
        QCOMPARE(view->delegate(), view);
        QVERIFY(zemtest::showExposed(window));
        field->setFocus();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(50, 50));
        QCOMPARE(window.focusWidget() == view, focus);
        view->setFocus();
        QCOMPARE(window.focusWidget() == view, focus);
    }
};

ZEM_TEST_MAIN(tst_ZEM_A_C_TableHeader)
#include "tst_ZEM_A_C_TableHeader.moc"
