// The array controller against a plain QSortFilterProxyModel over a QStandardItemModel
// doing the same work in the same run: 100,000 dictionary rows, one search keystroke,
// a sort by one key, and the memory both hold; the table view against a plain QTableView:
// one screen of rows painted, and 10,000 selected rows copied as text.

#include "BenchFolders.h"
#include "BenchMain.h"

#include "platform/store/Predicate.h"
#include "tables/ZEM_A_C_ArrayController.h"
#include "tables/ZEM_A_C_ArrayControllerObject.h"
#include "tables/ZEM_A_C_TableView.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QImage>
#include <QTableView>
#include <QRandomGenerator>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr int kRows = 100000;

class Row : public ZEM_A_C_ArrayControllerObject
{
public:
    Row()
        : ZEM_A_C_ArrayControllerObject(table())
    {
    }
    QString firstName() const { return m_first; }
    void setFirstName(const QString &v) { m_first = v; }
    QString lastName() const { return m_last; }
    void setLastName(const QString &v) { m_last = v; }
    QString city() const { return m_city; }
    void setCity(const QString &v) { m_city = v; }
    int age() const { return m_age; }
    void setAge(int v) { m_age = v; }
    static const Accessors &table()
    {
        static const Accessors t{ZEM_ROW_KEY(Row, firstName, setFirstName), ZEM_ROW_KEY(Row, lastName, setLastName),
                                 ZEM_ROW_KEY(Row, city, setCity), ZEM_ROW_KEY(Row, age, setAge)};
        return t;
    }

private:
    QString m_first, m_last, m_city;
    int m_age = 0;
};

QString word(QRandomGenerator &rng, bool capital)
{
    static const char *syllables[] = {"ma", "ri", "son", "ber", "ka", "lo", "ten", "vi", "da", "nor", "el", "us",
                                      "ha", "gen", "to", "pe", "ra", "win", "sch", "ott"};
    QString w;
    const int n = 2 + int(rng.bounded(3));
    for (int i = 0; i < n; ++i)
        w += QString::fromLatin1(syllables[rng.bounded(20)]);
    if (capital)
        w[0] = w[0].toUpper();
    return w;
}

/** The same 100,000 people for both sides: first name, last name, city, age. */
struct People
{
    QList<QStringList> texts;
    QList<int> ages;
    People()
    {
        QRandomGenerator rng(42);
        for (int i = 0; i < kRows; ++i) {
            texts.append({word(rng, true), word(rng, true), word(rng, rng.bounded(2))});
            ages.append(int(rng.bounded(100)));
        }
    }
};

const People &people()
{
    static const People p;
    return p;
}

struct KitTable
{
    std::vector<std::unique_ptr<Row>> rows;
    ZEM_A_C_ArrayController controller;
    KitTable()
    {
        QList<QObject *> content;
        for (int i = 0; i < kRows; ++i) {
            auto row = std::make_unique<Row>();
            row->setFirstName(people().texts[i][0]);
            row->setLastName(people().texts[i][1]);
            row->setCity(people().texts[i][2]);
            row->setAge(people().ages[i]);
            row->setAllKeys({QStringLiteral("firstName"), QStringLiteral("lastName"), QStringLiteral("city"),
                             QStringLiteral("age")});
            content.append(row.get());
            rows.push_back(std::move(row));
        }
        controller.setColumnIdentifiers({QStringLiteral("1:firstName"), QStringLiteral("2:lastName"),
                                         QStringLiteral("3:city"), QStringLiteral("4:age")});
        controller.setContent(content);
    }
};

struct QtTable
{
    QStandardItemModel model{kRows, 4};
    QSortFilterProxyModel proxy;
    QtTable()
    {
        for (int i = 0; i < kRows; ++i) {
            for (int c = 0; c < 3; ++c)
                model.setItem(i, c, new QStandardItem(people().texts[i][c]));
            auto *age = new QStandardItem;
            age->setData(people().ages[i], Qt::DisplayRole);
            model.setItem(i, 3, age);
        }
        proxy.setSourceModel(&model);
        proxy.setFilterCaseSensitivity(Qt::CaseInsensitive);
        proxy.setFilterKeyColumn(1);
    }
};

// One keystroke in the search field: "ma" <-> "mar" on the last name, sorted by last name.
const QString kKeystroke[] = {QStringLiteral("ma"), QStringLiteral("mar")};

void BM_SearchKeystroke_Kit(benchmark::State &state)
{
    KitTable t;
    t.controller.setSortDescriptors({platform::SortDescriptor{QStringLiteral("lastName"), true, false}});
    t.controller.search(kKeystroke[0], QStringLiteral("lastName"));
    int i = 1;
    for (auto _ : state)
        t.controller.search(kKeystroke[i++ % 2], QStringLiteral("lastName"));
    t.controller.search(kKeystroke[1], QStringLiteral("lastName"));
    state.counters["shown"] = t.controller.arrangedCount(); // the same on both sides
}
BENCHMARK(BM_SearchKeystroke_Kit)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SearchKeystroke_Qt(benchmark::State &state)
{
    QtTable t;
    t.proxy.sort(1, Qt::AscendingOrder);
    t.proxy.setFilterFixedString(kKeystroke[0]);
    int i = 1;
    for (auto _ : state)
        t.proxy.setFilterFixedString(kKeystroke[i++ % 2]);
    t.proxy.setFilterFixedString(kKeystroke[1]);
    state.counters["shown"] = t.proxy.rowCount(); // the same on both sides
}
BENCHMARK(BM_SearchKeystroke_Qt)->Unit(benchmark::kMillisecond)->UseRealTime();

// A click on another column's header: sort all rows by a key not sorted by before.
void BM_SortByOneKey_Kit(benchmark::State &state)
{
    KitTable t;
    const QString keys[] = {QStringLiteral("lastName"), QStringLiteral("city")};
    int i = 0;
    for (auto _ : state)
        t.controller.setSortDescriptors({platform::SortDescriptor{keys[i++ % 2], true, false}});
    state.counters["shown"] = t.controller.arrangedCount();
}
BENCHMARK(BM_SortByOneKey_Kit)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SortByOneKey_Qt(benchmark::State &state)
{
    QtTable t;
    int i = 0;
    for (auto _ : state)
        t.proxy.sort(1 + i++ % 2, Qt::AscendingOrder);
    state.counters["shown"] = t.proxy.rowCount();
}
BENCHMARK(BM_SortByOneKey_Qt)->Unit(benchmark::kMillisecond)->UseRealTime();

// What 100,000 rows cost to hold, arranged and searchable, sorted by last name.
void BM_Memory_Kit(benchmark::State &state)
{
    people();
    for (auto _ : state) {
        benchfolders::PeakMemory memory;
        auto t = std::make_unique<KitTable>();
        t->controller.setSortDescriptors({platform::SortDescriptor{QStringLiteral("lastName"), true, false}});
        t->controller.search(kKeystroke[0], QStringLiteral("lastName"));
        memory.report(state);
    }
}
BENCHMARK(BM_Memory_Kit)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Memory_Qt(benchmark::State &state)
{
    people();
    for (auto _ : state) {
        benchfolders::PeakMemory memory;
        auto t = std::make_unique<QtTable>();
        t->proxy.sort(1, Qt::AscendingOrder);
        t->proxy.setFilterFixedString(kKeystroke[0]);
        memory.report(state);
    }
}
BENCHMARK(BM_Memory_Qt)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// One screen of rows in the middle of the table, painted offscreen into an image.
template<class View>
void paintScreen(benchmark::State &state, View &view, QAbstractItemModel *model)
{
    view.resize(800, 600);
    view.show();
    view.scrollTo(model->index(kRows / 2, 0), QAbstractItemView::PositionAtTop);
    QCoreApplication::processEvents();
    QImage image(view.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        view.viewport()->render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["rows"] = view.viewport()->height() / view.verticalHeader()->defaultSectionSize();
}

void BM_PaintScreen_Kit(benchmark::State &state)
{
    KitTable t;
    ZEM_A_C_TableView view;
    view.setArrayController(&t.controller);
    view.awakeFromNib();
    paintScreen(state, view, &t.controller);
}
BENCHMARK(BM_PaintScreen_Kit)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PaintScreen_Qt(benchmark::State &state)
{
    QtTable t;
    QTableView view;
    view.setModel(&t.proxy);
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.verticalHeader()->hide();
    paintScreen(state, view, &t.proxy);
}
BENCHMARK(BM_PaintScreen_Qt)->Unit(benchmark::kMillisecond)->UseRealTime();

constexpr int kCopied = 10000;

// Copy of 10,000 selected rows: the tab-delimited text and the clipboard write.
void BM_CopyRows_Kit(benchmark::State &state)
{
    KitTable t;
    ZEM_A_C_TableView view;
    view.setArrayController(&t.controller);
    QList<int> rows;
    for (int i = 0; i < kCopied; ++i)
        rows.append(i * 7);
    t.controller.setSelectionIndexes(rows);
    for (auto _ : state)
        view.copy();
    state.counters["chars"] = double(QGuiApplication::clipboard()->text().size());
}
BENCHMARK(BM_CopyRows_Kit)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CopyRows_Qt(benchmark::State &state)
{
    QtTable t;
    QTableView view;
    view.setModel(&t.proxy);
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    QItemSelection selection;
    for (int i = 0; i < kCopied; ++i)
        selection.select(t.proxy.index(i * 7, 0), t.proxy.index(i * 7, 3));
    view.selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    for (auto _ : state) {
        // The same export by hand: selected rows ascending, columns in display order. The
        // rows come from the ranges: selectedRows() is quadratic in separately selected rows.
        QList<int> selected;
        for (const QItemSelectionRange &range : view.selectionModel()->selection())
            for (int row = range.top(); row <= range.bottom(); ++row)
                selected.append(row);
        std::sort(selected.begin(), selected.end());
        QString text;
        for (int row : std::as_const(selected)) {
            for (int visual = 0; visual < 4; ++visual) {
                const int column = view.horizontalHeader()->logicalIndex(visual);
                text += t.proxy.index(row, column).data().toString() + QLatin1Char('\t');
            }
            text += QLatin1Char('\r');
        }
        QGuiApplication::clipboard()->setMimeData(ZEM_A_C_TableView::exportMimeData(text));
    }
    state.counters["chars"] = double(QGuiApplication::clipboard()->text().size());
}
BENCHMARK(BM_CopyRows_Qt)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    return runKitBenchmarks<QApplication>(argc, argv, [] { return !people().texts.isEmpty(); });
}
