#include "TableRows.h"
#include "ZemTestEnv.h"

#include "foundation/ZEM_F_E_Notifications.h"
#include "foundation/ZEM_F_HostDelegate.h"
#include "platform/Alerts.h"
#include "platform/Application.h"
#include "platform/RtfReader.h"
#include "platform/store/PersistentObject.h"
#include "platform/store/StoreContext.h"
#include "records/ZEM_A_C_ManagedObjectContoller.h"
#include "tables/ZEM_A_C_ArrayController.h"
#include "tables/ZEM_A_C_TableColumn.h"
#include "tables/ZEM_A_C_TableHeaderMetalCell.h"
#include "tables/ZEM_A_C_TableHeaderView.h"
#include "tables/ZEM_A_C_TableView.h"

#include <QAction>
#include <QClipboard>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QScrollArea>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTextTable>
#include <QVBoxLayout>

#include <memory>

using platform::SortDescriptor;

namespace {

/** The host that answers double actions and reload requests, counting them. */
class HostController : public QObject
{
    Q_OBJECT
public:
    int opened = 0, reloads = 0;
    Q_INVOKABLE void openRecord(QObject *) { ++opened; }
    Q_INVOKABLE void reloadTableData(QObject *) { ++reloads; }
};

class ShoutingTable : public ZEM_A_C_TableView
{
public:
    QString replaceCharacterInString(const QString &text) const override { return text.toUpper(); }
};

QObject *menuItem(QObject *parent, const char *selector, int tag)
{
    auto *item = new QAction(parent);
    item->setProperty("selector", QString::fromLatin1(selector));
    item->setProperty("tag", tag);
    return item;
}

} // namespace

class tst_ZEM_A_C_TableView : public QObject
{
    Q_OBJECT

    std::vector<std::unique_ptr<Person>> m_rows;
    std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<ZEM_F_SettingsHostDelegate> m_host;
    std::unique_ptr<QWidget> m_window;
    ZEM_A_C_ArrayController *m_controller = nullptr;
    ZEM_A_C_TableView *m_table = nullptr;

    /** Five people A..E (ages 20..24) in a shown table with columns lastName, firstName, age. */
    void makeTable(int rows = 5, ZEM_A_C_TableView *table = nullptr)
    {
        m_window = std::make_unique<QWidget>();
        auto *layout = new QVBoxLayout(m_window.get());
        m_controller = new ZEM_A_C_ArrayController(m_window.get());
        m_controller->setColumnIdentifiers({QStringLiteral("1:lastName"), QStringLiteral("2:firstName"),
                                            QStringLiteral("3:age")});
        QList<QObject *> content;
        for (int i = 0; i < rows; ++i) {
            m_rows.push_back(std::make_unique<Person>(QStringLiteral("f%1").arg(i), QString(QChar(u'A' + i)), 20 + i, i + 1));
            content.append(m_rows.back().get());
        }
        m_controller->setContent(content);
        m_table = table ? table : new ZEM_A_C_TableView;
        layout->addWidget(m_table);
        m_table->setArrayController(m_controller);
        m_table->awakeFromNib();
        m_window->resize(500, 300);
        QVERIFY(zemtest::showExposed(*m_window));
    }

    void setSetting(const char *key, const QVariant &value) { m_settings->setValue(QString::fromLatin1(key), value); }

    QList<int> selection() const { return m_controller->selectionIndexes(); }

    QStringList lastNames() const
    {
        QStringList names;
        for (QObject *r : m_controller->arrangedObjects())
            names.append(static_cast<Person *>(r)->lastName());
        return names;
    }

    void clickHeader(int logical)
    {
        QHeaderView *header = m_table->horizontalHeader();
        const QPoint at(header->sectionViewportPosition(logical) + header->sectionSize(logical) / 2, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }

    QPoint cellCenter(int row, int column) const { return m_table->visualRect(m_controller->index(row, column)).center(); }

private slots:
    void init()
    {
        m_settings = std::make_unique<QSettings>(ZemTestEnv::current()->configHome() + QStringLiteral("/table.ini"),
                                                 QSettings::IniFormat);
        m_settings->clear();
        m_host = std::make_unique<ZEM_F_SettingsHostDelegate>(QStringLiteral("Test"), QString(), m_settings.get());
        ZEM_F_Host::setDelegate(m_host.get());
    }
    void cleanup()
    {
        m_window.reset();
        m_rows.clear();
        ZEM_F_Host::setDelegate(nullptr);
        m_host.reset();
        m_settings.reset();
    }

    void startUpResetsFlags()
    {
        makeTable();
        m_table->setTableCanDelete(false);
        m_table->setTableCanReorder(true);
        m_table->awakeFromNib();
        QVERIFY(m_table->tableCanDelete() && m_table->canDrawRows() && m_table->exportCSV() && m_table->hasMenu());
        QVERIFY(!m_table->tableCanReorder() && !m_table->useTab() && !m_table->tableSavesOnChanges());
        QVERIFY(!m_table->tabKeyNavigation());
        QCOMPARE(m_table->property("tableCanSort").toBool(), true);
    }

    void arrowsWrapAroundAndFallBack()
    {
        makeTable();
        m_controller->setSelectionIndexes({4});
        QTest::keyClick(m_table, Qt::Key_Down);
        QCOMPARE(selection(), QList<int>{0});
        QVERIFY(m_table->scrollTimer()->isActive());
        QTest::keyClick(m_table, Qt::Key_Up);
        QCOMPARE(selection(), QList<int>{4});
        QTest::keyClick(m_table, Qt::Key_Up);
        QCOMPARE(selection(), QList<int>{3});
        // Two rows selected: the base handling, which never wraps to the top.
        m_controller->setSelectionIndexes({3, 4});
        QTest::keyClick(m_table, Qt::Key_Down);
        QVERIFY(!selection().contains(0));
        QVERIFY(selection().contains(4));
    }

    void arrowOnOneRowDoesNothing()
    {
        makeTable(1);
        m_controller->setSelectionIndexes({0});
        QTest::keyClick(m_table, Qt::Key_Up);
        QCOMPARE(selection(), QList<int>{0});
    }

    void deleteKey_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<bool>("select");
        QTest::addColumn<bool>("canDelete");
        QTest::addColumn<int>("left");
        QTest::newRow("plain") << int(Qt::Key_Delete) << Qt::KeyboardModifiers() << true << true << 4;
        QTest::newRow("backspace") << int(Qt::Key_Backspace) << Qt::KeyboardModifiers() << true << true << 4;
        QTest::newRow("keypad") << int(Qt::Key_Delete) << Qt::KeyboardModifiers(Qt::KeypadModifier) << true << true << 4;
        QTest::newRow("shift") << int(Qt::Key_Delete) << Qt::KeyboardModifiers(Qt::ShiftModifier) << true << true << 5;
        QTest::newRow("no selection") << int(Qt::Key_Delete) << Qt::KeyboardModifiers() << false << true << 5;
        QTest::newRow("flag off") << int(Qt::Key_Delete) << Qt::KeyboardModifiers() << true << false << 5;
    }
    void deleteKey()
    {
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(bool, select);
        QFETCH(bool, canDelete);
        QFETCH(int, left);
        makeTable();
        platform::RecordingAlertResponder responder;
        responder.queueAlertAnswer(1); // "Delete"
        m_table->setTableCanDelete(canDelete);
        m_controller->setSelectionIndexes(select ? QList<int>{2} : QList<int>{});
        QTest::keyClick(m_table, Qt::Key(key), modifiers);
        QCOMPARE(m_controller->contentCount(), left);
        QCOMPARE(responder.alerts().size(), left == 4 ? 1 : 0);
    }

    void spaceAndCommandArrowPerformDoubleAction()
    {
        makeTable();
        HostController host;
        m_table->setController(&host);
        m_table->setDoubleActionSel(QStringLiteral("openRecord:"));
        m_controller->setSelectionIndexes({1});
        QTest::keyClick(m_table, Qt::Key_Space);
        QCOMPARE(host.opened, 1);
        QTest::keyClick(m_table, Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(host.opened, 1); // on the next pass of the event loop
        QTRY_COMPARE(host.opened, 2);
        QCOMPARE(selection(), QList<int>{1});
        m_controller->setSelectionIndexes({1, 2});
        QTest::keyClick(m_table, Qt::Key_Space);
        QCoreApplication::processEvents();
        QCOMPARE(host.opened, 2);
    }

    void gridSettings_data()
    {
        QTest::addColumn<bool>("horizontal");
        QTest::addColumn<bool>("vertical");
        QTest::addColumn<int>("mask");
        QTest::newRow("none") << false << false << 0;
        QTest::newRow("vertical") << false << true << 1;
        QTest::newRow("horizontal") << true << false << 2;
        QTest::newRow("both") << true << true << 3;
    }
    void gridSettings()
    {
        QFETCH(bool, horizontal);
        QFETCH(bool, vertical);
        QFETCH(int, mask);
        makeTable();
        setSetting("TableHorizontalLines", horizontal);
        setSetting("TableVerticalLines", vertical);
        setSetting("EnableTableRowColoring", true);
        QCOMPARE(m_table->getGridSetttings(), mask);
        QCOMPARE(m_table->gridStyleMask(), 0); // until told
        ZEM_F_E_Notifications::shared()->postNotificationNameObject(QStringLiteral("UpdateTableRowColors"),
                                                                    ZEM_F_Notification::wrap(m_table));
        QCOMPARE(m_table->gridStyleMask(), mask);
        QVERIFY(m_table->alternatingRowColors());

        // The lines drawn: the right edge of a cell for vertical, its bottom for horizontal.
        const QImage image = m_table->viewport()->grab().toImage();
        const QRect cell = m_table->visualRect(m_controller->index(1, 1));
        const QColor inside = image.pixelColor(cell.left() + 3, cell.top() + 3);
        QCOMPARE(image.pixelColor(cell.right(), cell.top() + 3) != inside, vertical);
        QCOMPARE(image.pixelColor(cell.left() + 3, cell.bottom()) != inside, horizontal);
    }

    void colourNotificationAboutAnotherViewOnlyRedraws()
    {
        makeTable();
        setSetting("TableVerticalLines", true);
        QObject other;
        m_table->setIsBoundsChanging(true);
        ZEM_F_E_Notifications::shared()->postNotificationNameObject(QStringLiteral("UpdateTableRowColors"),
                                                                    ZEM_F_Notification::wrap(&other));
        QCOMPARE(m_table->gridStyleMask(), 0);
        QVERIFY(!m_table->isBoundsChanging());
    }

    void scrollingSuspendsRowDrawing()
    {
        QScrollArea area;
        auto *table = new ZEM_A_C_TableView;
        area.setWidget(table);
        table->awakeFromNib();
        auto *notes = ZEM_F_E_Notifications::shared();
        QObject stranger;
        notes->postNotificationNameObject(QStringLiteral("ViewStartedChanging"), ZEM_F_Notification::wrap(&stranger));
        QVERIFY(!table->isBoundsChanging());
        notes->postNotificationNameObject(QStringLiteral("ViewStartedChanging"), ZEM_F_Notification::wrap(&area));
        QVERIFY(table->isBoundsChanging());
        notes->postNotificationNameObject(QStringLiteral("ViewFiinshedChanging"), ZEM_F_Notification::wrap(&area));
        QVERIFY(!table->isBoundsChanging());
        table->setCanDrawRows(false);
        notes->postNotificationNameObject(QStringLiteral("ViewStartedChanging"), ZEM_F_Notification::wrap(&area));
        QVERIFY(!table->isBoundsChanging());
    }

    void rowExportFiltersInDisplayOrderAndSkipsImages()
    {
        makeTable(5, new ShoutingTable);
        m_controller->setColumnIdentifiers({QStringLiteral("1:lastName"), QStringLiteral("2:firstName"),
                                            QStringLiteral("3:age"), QStringLiteral("4:birthday")});
        m_rows[3]->setBirthday(QImage(4, 4, QImage::Format_RGB32));
        m_rows[1]->setBirthday(QStringLiteral("may"));
        m_table->horizontalHeader()->moveSection(2, 0); // age first
        m_controller->setSelectionIndexes({3, 1});
        QCOMPARE(m_table->tabularStringWithSelectedRows(), QStringLiteral("21\tB\tF1\tMAY\t\r23\tD\tF3\t\r"));
    }

    void columnExportEmptiesNullFields()
    {
        makeTable(3);
        m_controller->setColumnIdentifiers({QStringLiteral("1:lastName"), QStringLiteral("2:birthday"),
                                            QStringLiteral("3:age")});
        m_rows[0]->setBirthday(QStringLiteral("(null)"));
        m_rows[2]->setBirthday(QStringLiteral("june"));
        m_table->selectColumnIndexes({2, 1});
        QCOMPARE(m_table->tabularStringWithSelectedColumns(),
                 QStringLiteral("birthday\tage\n\t20\n\t21\njune\t22\n"));
    }

    // With a store behind it, the exports read the records by key, skip keys a record does
    // not have, and go in the controller's selection order.
    void recordExportsWithAStore()
    {
        QTemporaryDir resources;
        QFile model(resources.filePath(QStringLiteral("Sounds.json")));
        QVERIFY(model.open(QIODevice::WriteOnly));
        model.write(R"({"entities": [{"name": "Sounds", "attributes": [{"name": "sound", "type": "string"},
                                                                       {"name": "note", "type": "string"}]}]})");
        model.close();
        platform::Application::registerBundle(QStringLiteral("org.example.TableExport"), resources.path());
        ZEM_A_C_ManagedObjectContoller store(QStringLiteral("org.example.TableExport"), QStringLiteral("Sounds"),
                                             QStringLiteral("Data"));
        store.setReadOnly(false);
        for (const auto &[sound, note] : {std::pair{"Bell", "(null)"}, std::pair{"Horn", "loud"}}) {
            platform::PersistentObject *record = store.managedObjectContext()->insertNewObject(QStringLiteral("Sounds"));
            record->setValueForKey(QString::fromLatin1(sound), QStringLiteral("sound"));
            record->setValueForKey(QString::fromLatin1(note), QStringLiteral("note"));
        }
        QVERIFY(store.managedObjectContext()->save());

        ZEM_A_C_ArrayController controller;
        controller.setManagedObject(&store);
        controller.setEntityName(QStringLiteral("Sounds"));
        QVERIFY(controller.setColumnIdentifiers({QStringLiteral("1:sound"), QStringLiteral("2:nope"), QStringLiteral("3:note")}));
        controller.setSortDescriptors({SortDescriptor{QStringLiteral("sound"), false, false}});
        controller.awakeFromNib();
        ZEM_A_C_TableView table;
        table.setArrayController(&controller);
        table.awakeFromNib();
        QCOMPARE(controller.arrangedCount(), 2);
        controller.setSelectionIndexes({1, 0});
        QCOMPARE(table.tabularStringWithSelectedRows(), QStringLiteral("Horn\tloud\t\rBell\t(null)\t\r"));
        controller.setSelectionIndexes({});
        table.selectColumnIndexes({2, 1, 0});
        QCOMPARE(table.tabularStringWithSelectedColumns(), QStringLiteral("sound\tnope\tnote\nHorn\tloud\nBell\t\n"));
    }

    void copyWritesPlainRtfAndHtmlTables()
    {
        makeTable();
        QClipboard *clipboard = QGuiApplication::clipboard();
        clipboard->setText(QStringLiteral("before"));
        m_table->copy();
        QCOMPARE(clipboard->text(), QStringLiteral("before")); // nothing selected

        m_controller->setSelectionIndexes({0, 2});
        m_table->copy();
        const QMimeData *mime = clipboard->mimeData();
        QCOMPARE(mime->text(), QStringLiteral("A\tf0\t20\t\rC\tf2\t22\t\r"));

        QTextDocument html;
        html.setHtml(mime->html());
        QTextTable *table = nullptr;
        for (QTextBlock b = html.begin(); b.isValid() && !table; b = b.next())
            table = qobject_cast<QTextTable *>(QTextCursor(b).currentTable());
        QVERIFY(table);
        QCOMPARE(table->rows(), 2);
        QCOMPARE(table->columns(), 3);
        const auto cellText = [table](int r, int c) {
            QTextCursor from = table->cellAt(r, c).firstCursorPosition();
            from.setPosition(table->cellAt(r, c).lastPosition(), QTextCursor::KeepAnchor);
            return from.selectedText();
        };
        QCOMPARE(cellText(1, 0), QStringLiteral("C"));
        QCOMPARE(cellText(1, 2), QStringLiteral("22"));

        const QByteArray rtf = mime->data(QStringLiteral("text/rtf"));
        const auto read = platform::RtfReader::read(rtf);
        QVERIFY(read.has_value());
        QCOMPARE(read.value().string().remove(QLatin1Char('\n')), QStringLiteral("Af020Cf222"));
        QCOMPARE(rtf.count("\\cell "), 0);
        QCOMPARE(rtf.count("\\cell\n"), 6);
        QCOMPARE(rtf.count("\\row"), 2);
        // Text the RTF syntax uses, and text outside ASCII, read back as written.
        std::unique_ptr<QMimeData> odd(ZEM_A_C_TableView::exportMimeData(QStringLiteral("{a}\\\u00e9\u4e2d\t2\r")));
        QCOMPARE(platform::RtfReader::read(odd->data(QStringLiteral("text/rtf"))).value().string().remove(QLatin1Char('\n')),
                 QStringLiteral("{a}\\\u00e9\u4e2d2"));

        // Selected columns win over selected rows.
        m_table->selectColumnIndexes({0});
        m_table->copy();
        QCOMPARE(clipboard->text(), QStringLiteral("lastName\nA\nB\nC\nD\nE\n"));
        // Every row selected is a row selection, though every column is then selected too.
        m_table->selectAll();
        m_table->copy();
        QVERIFY(clipboard->text().startsWith(QStringLiteral("A\tf0\t20\t\rB")));
    }

    void headerViewSelectsColumnsAndPaintsMetalCells()
    {
        makeTable(2);
        auto *header = new ZEM_A_C_TableHeaderView(Qt::Horizontal);
        m_table->setHorizontalHeader(header);
        header->show();
        m_controller->setSelectionIndexes({1});
        const QPoint age(header->sectionViewportPosition(2) + 5, 5);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::AltModifier | Qt::ShiftModifier, age);
        QCOMPARE(m_table->selectedColumnIndexes(), QList<int>{2});
        QCOMPARE(m_table->tabularStringWithSelectedColumns(), QStringLiteral("age\n20\n21\n"));
        clickHeader(2); // still sorts, not selecting the column
        QCOMPARE(m_controller->sortDescriptors().size(), 1);
        m_table->setupTableHeaderMetalCell();
        QVERIFY(!m_table->tableCanSort() && !m_table->tableChangeHeaderSort());
        QVERIFY(header->sectionCell(0));
        QCOMPARE(header->sectionCell(0)->title(), QStringLiteral("lastName"));
    }

    void optionCommandPressDragsInsteadOfSelecting()
    {
        makeTable();
        m_controller->setSelectionIndexes({0});
        const Qt::KeyboardModifiers both = Qt::AltModifier | Qt::ControlModifier;
        QTest::mousePress(m_table->viewport(), Qt::LeftButton, both, cellCenter(3, 0));
        QCOMPARE(selection(), QList<int>{0}); // the export was dragged; the selection stays
        QTest::mouseRelease(m_table->viewport(), Qt::LeftButton, both, cellCenter(3, 0));
        m_table->setExportCSV(false);
        QTest::mousePress(m_table->viewport(), Qt::LeftButton, both, cellCenter(3, 0));
        QVERIFY(selection().contains(3));
    }

    void identifiersAndShortIdentifiers()
    {
        QCOMPARE(ZEM_A_C_TableView::convertIdentifier(QStringLiteral("7:name")), QStringLiteral("07"));
        QCOMPARE(ZEM_A_C_TableView::convertIdentifier(QStringLiteral("12:a:b")), QStringLiteral("12"));
        QCOMPARE(ZEM_A_C_TableView::getIdentifierString(QStringLiteral("12:a:b")), QStringLiteral("b"));
        makeTable();
        QCOMPARE(m_table->getColumnFromShortIdentifier(QStringLiteral("02"))->key(), QStringLiteral("firstName"));
        QCOMPARE(m_table->getColumnFromShortIdentifier(QStringLiteral("3"))->key(), QStringLiteral("age"));
        QVERIFY(!m_table->getColumnFromShortIdentifier(QStringLiteral("09")));
        QCOMPARE(m_table->findColumn(QStringLiteral("age"))->section(), 2);
        QVERIFY(!m_table->findColumn(QStringLiteral("missing")));

        QImage mark(8, 8, QImage::Format_ARGB32);
        mark.fill(Qt::red);
        m_table->setHeaderCellImage(QStringLiteral("missing"), mark);
        m_table->setHeaderCellImage(QStringLiteral("firstName"), QImage());
        for (int section = 0; section < 3; ++section)
            QVERIFY(!m_table->model()->headerData(section, Qt::Horizontal, Qt::DecorationRole).isValid());
        m_table->setHeaderCellImage(QStringLiteral("age"), mark);
        QCOMPARE(m_table->model()->headerData(2, Qt::Horizontal, Qt::DecorationRole).value<QPixmap>().toImage().pixel(0, 0),
                 QColor(Qt::red).rgb());
    }

    void columnOrderModes()
    {
        makeTable();
        const QStringList start{QStringLiteral("01"), QStringLiteral("02"), QStringLiteral("03")};
        QVERIFY(!m_table->validateMenuItem(menuItem(this, "setTableColumnOrder:", 0)));
        QVERIFY(m_table->validateMenuItem(menuItem(this, "setTableColumnOrder:", 1)));
        m_table->setTableColumnOrder(menuItem(this, "setTableColumnOrder:", 1)); // by title: age, firstName, lastName
        QCOMPARE(m_table->getCurrentColumnOrder(), (QStringList{QStringLiteral("03"), QStringLiteral("02"), QStringLiteral("01")}));
        QVERIFY(m_table->compareColumnOrder(1));
        m_table->horizontalHeader()->moveSection(0, 1); // 02 03 01
        const QStringList moved = m_table->getCurrentColumnOrder();
        m_table->applyTableColumnOrder(3);
        QCOMPARE(m_table->getCurrentColumnOrder(), (QStringList{QStringLiteral("01"), QStringLiteral("03"), QStringLiteral("02")}));
        m_table->applyTableColumnOrder(3);
        QCOMPARE(m_table->getCurrentColumnOrder(), moved);
        m_table->applyTableColumnOrder(0);
        QCOMPARE(m_table->getCurrentColumnOrder(), start);
    }

    void columnSizes()
    {
        makeTable();
        ZEM_A_C_TableColumn *age = m_table->findColumn(QStringLiteral("age"));
        const int original = age->width();
        QCOMPARE(age->originalWidth(), double(original));
        age->setWidth(original + 40);
        m_table->setTableColumnSize(menuItem(this, "setTableColumnSize:", 4));
        QCOMPARE(age->width(), original);
        age->setMinWidth(33);
        m_table->setTableColumnSizeSupport(3, age);
        QCOMPARE(age->width(), 33);
        QCOMPARE(m_table->findColumn(QStringLiteral("lastName"))->width(), original);
    }

    void columnSortPrototypes()
    {
        ZEM_A_C_TableColumn plain;
        plain.setIdentifier(QStringLiteral("1:birthday"));
        QCOMPARE(plain.sortDescriptorPrototype().keyPath, QStringLiteral("birthdaySort"));
        ZEM_A_C_TableColumnSort cut;
        cut.setIdentifier(QStringLiteral("2:lastNameExtra"));
        cut.setSortDescriptorPrototype({QStringLiteral("lastNameString"), false, false});
        QCOMPARE(cut.sortDescriptorPrototype().keyPath, QStringLiteral("lastName"));
        QCOMPARE(cut.sortDescriptorPrototype().ascending, false);
        cut.setSortDescriptorPrototype({QStringLiteral("age"), true, false});
        QCOMPARE(cut.sortDescriptorPrototype().keyPath, QStringLiteral("age"));
    }

    void headerClicksSortUnlessTurnedOff_data()
    {
        QTest::addColumn<bool>("settingOn");
        QTest::addColumn<bool>("canSort");
        QTest::addColumn<bool>("sorts");
        QTest::newRow("allowed") << false << true << true;
        QTest::newRow("setting on") << true << true << false;
        QTest::newRow("table cannot sort") << false << false << false;
    }
    void headerClicksSortUnlessTurnedOff()
    {
        QFETCH(bool, settingOn);
        QFETCH(bool, canSort);
        QFETCH(bool, sorts);
        makeTable();
        setSetting("DisbleTableColumnHeaderSorting", settingOn);
        m_table->setTableCanSort(canSort);
        m_table->findColumn(QStringLiteral("age"))->setSortDescriptorPrototype({QStringLiteral("age"), false, false});
        const QStringList before = lastNames();
        clickHeader(2);
        const QStringList byAgeDown{QStringLiteral("E"), QStringLiteral("D"), QStringLiteral("C"), QStringLiteral("B"),
                                    QStringLiteral("A")};
        QCOMPARE(lastNames(), sorts ? byAgeDown : before);
        if (!sorts)
            return;
        clickHeader(2); // the same header again reverses
        QCOMPARE(lastNames(), before);
    }

    void manualOrderFromCurrentSort()
    {
        makeTable();
        QVERIFY(!m_table->validateMenuItem(menuItem(this, "setToCurrentOrder:", 0)));
        m_controller->setSortDescriptors({SortDescriptor{QStringLiteral("age"), false, false}});
        QVERIFY(m_table->validateMenuItem(menuItem(this, "setToCurrentOrder:", 0)));
        m_controller->setSelectionIndexes({1});
        m_table->setToCurrentOrder();
        QCOMPARE(m_rows[4]->sortOrder(), 1);
        QCOMPARE(m_rows[0]->sortOrder(), 5);
        QVERIFY(selection().isEmpty());
        m_table->resetSortOrderForTable();
        QVERIFY(m_controller->sortDescriptors().isEmpty());
    }

    void copyAndUndoMenuItems()
    {
        makeTable();
        QVERIFY(!m_table->validateMenuItem(menuItem(this, "copy:", 0)));
        m_controller->setSelectionIndexes({0});
        QVERIFY(m_table->validateMenuItem(menuItem(this, "copy:", 0)));
        QVERIFY(!m_table->validateMenuItem(menuItem(this, "undo:", 0))); // no store controller
        QVERIFY(m_table->validateMenuItem(menuItem(this, "anythingElse:", 0)));
    }

    void keyViewChain()
    {
        makeTable();
        auto *detail = new QLineEdit(m_window.get());
        auto *next = new QLineEdit(m_window.get());
        auto *search = new QLineEdit(m_window.get());
        m_window->layout()->addWidget(detail);
        m_window->layout()->addWidget(next);
        m_window->layout()->addWidget(search);
        for (QWidget *w : {detail, next, search})
            w->show();
        m_table->setFirstTextField(detail);
        m_table->setNextTableView(next);
        m_table->setSearchField(search);
        QCOMPARE(m_table->nextKeyView(), detail);
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        m_table->setFocus();
        QTest::keyClick(m_table, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), detail);
        m_controller->search(QStringLiteral("nobody"), QStringLiteral("lastName"));
        QCOMPARE(m_table->nextKeyView(), next);
        m_table->setNextTableView(nullptr);
        QCOMPARE(m_table->nextKeyView(), search);
    }

    void editWithoutEventOnlyWithTabOrUserEdit()
    {
        makeTable();
        QVERIFY(!m_table->editColumn(0, 0));
        QVERIFY(!m_table->viewport()->findChild<QLineEdit *>());
        m_table->setUseTab(true);
        QVERIFY(m_table->editColumn(0, 0));
        QVERIFY(m_table->viewport()->findChild<QLineEdit *>());
    }

    void tableInDrawerReportsParentWindow()
    {
        QWidget main;
        QWidget drawer(&main, Qt::Drawer);
        auto *table = new ZEM_A_C_TableView(&drawer);
        QCOMPARE(table->getWindow(), &main);
        ZEM_A_C_TableView loose;
        QCOMPARE(loose.getWindow(), &loose);
    }

    void headerToolTipsFollowColumns()
    {
        makeTable();
        QHeaderView *header = m_table->horizontalHeader();
        m_table->findColumn(QStringLiteral("age"))->setToolTip(QStringLiteral("Years"));
        const auto ageTip = [&] {
            return m_table->headerToolTipAt(QPoint(header->sectionViewportPosition(2) + 5, 5));
        };
        QCOMPARE(ageTip(), QString());
        m_table->activateIdentifierToolTips();
        QCOMPARE(ageTip(), QStringLiteral("Years"));
        m_table->findColumn(QStringLiteral("age"))->setToolTip(QStringLiteral("Age in years"));
        header->moveSection(2, 0); // a move repeats the tips
        QCOMPARE(ageTip(), QStringLiteral("Age in years"));
        m_table->deactivateIdentifierToolTips();
        QCOMPARE(ageTip(), QString());
    }

    void checkBoxCellToggles()
    {
        makeTable();
        m_table->initCheckBoxCellsFixed(QStringLiteral("age"), QStringLiteral("NumbersDragImage"));
        m_rows[0]->setAge(0);
        QTest::mouseClick(m_table->viewport(), Qt::LeftButton, {}, cellCenter(0, 2));
        QCOMPARE(m_rows[0]->age(), 1);
        QTest::mouseClick(m_table->viewport(), Qt::LeftButton, {}, cellCenter(0, 2));
        QCOMPARE(m_rows[0]->age(), 0);
    }

    void rowsDroppedAboveARowMoveThere()
    {
        makeTable();
        m_controller->setRegisterForDragged();
        QVERIFY(m_table->registeredDraggedTypes().contains(QStringLiteral("TABLE_MOVED_ROWS_TYPE")));
        QMimeData mime;
        m_table->setTableCanReorder(true);
        QVERIFY(m_controller->tableViewWriteRows(m_table, {0}, &mime));
        // The upper quarter of row 3: above it.
        const QRect target = m_table->visualRect(m_controller->index(3, 0));
        const QPoint at(target.center().x(), target.top() + 2);
        QWidget *viewport = m_table->viewport();
        QDragEnterEvent enter(at, Qt::MoveAction | Qt::CopyAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(viewport, &enter);
        QVERIFY(enter.isAccepted());
        QDragMoveEvent move(at, Qt::MoveAction | Qt::CopyAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(viewport, &move);
        QVERIFY(move.isAccepted());
        QCOMPARE(move.dropAction(), Qt::MoveAction);
        QDropEvent drop(at, Qt::MoveAction | Qt::CopyAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(viewport, &drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(lastNames(), (QStringList{QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("A"),
                                           QStringLiteral("D"), QStringLiteral("E")}));
        // Reordering off: the same drop is refused and changes nothing.
        m_table->setTableCanReorder(false);
        m_table->setTableCanDragOut(true);
        QDropEvent refused(at, Qt::MoveAction | Qt::CopyAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(viewport, &refused);
        QVERIFY(!refused.isAccepted());
        QCOMPARE(lastNames().first(), QStringLiteral("B"));
    }

    void reloadAndDetachByNotification()
    {
        makeTable();
        HostController host;
        m_table->setController(&host);
        m_table->setReloadControllerClass(QStringLiteral("HostController"));
        ZEM_A_C_TableView other;
        auto *notes = ZEM_F_E_Notifications::shared();
        notes->postNotificationNameObject(QStringLiteral("ReloadTableData"), ZEM_F_Notification::wrap(m_table));
        QCOMPARE(host.reloads, 0); // not about itself
        notes->postNotificationNameObject(QStringLiteral("ReloadTableData"), ZEM_F_Notification::wrap(&other));
        QCOMPARE(host.reloads, 1);
        notes->postNotificationNameObject(QStringLiteral("RemoveObserverTable"), ZEM_F_Notification::wrap(&host));
        notes->postNotificationNameObject(QStringLiteral("ReloadTableData"), ZEM_F_Notification::wrap(&other));
        QCOMPARE(host.reloads, 1);
    }
};

ZEM_TEST_MAIN(tst_ZEM_A_C_TableView)
#include "tst_ZEM_A_C_TableView.moc"
