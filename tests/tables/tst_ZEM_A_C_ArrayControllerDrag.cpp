#include "TableRows.h"
#include "ZemTestEnv.h"

#include "foundation/ZEM_F_HostDelegate.h"
#include "platform/Pasteboard.h"
#include "platform/store/Predicate.h"
#include "tables/ZEM_A_C_ArrayController.h"

#include <QCoreApplication>
#include <QMimeData>
#include <QSettings>
#include <QTableView>
#include <QUrl>

#include <memory>

namespace {

/** Rows that stand for a web page or a folder. */
class Link : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString url MEMBER url)
public:
    QString url;
};

class Folder : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString folder MEMBER folder)
public:
    QString folder;
};

/** The table's behaviour flags, as the table view answers them by name. */
class FakeTable : public QObject
{
    Q_OBJECT
public:
    struct
    {
        bool reorder = false, dragOut = false, dragIn = false, duplicate = false, files = false;
    } f;
    int resorts = 0;
    Q_INVOKABLE bool tableCanReorder() const { return f.reorder; }
    Q_INVOKABLE bool tableCanDragOut() const { return f.dragOut; }
    Q_INVOKABLE bool tableCanDragIn() const { return f.dragIn; }
    Q_INVOKABLE bool canDuplicateRows() const { return f.duplicate; }
    Q_INVOKABLE bool acceptFileTypes() const { return f.files; }
    Q_INVOKABLE void resortArrayContent() { ++resorts; }
};

/** The host's window controller: further types, a file judge, drop handlers, a search reset. */
class Host : public QObject
{
    Q_OBJECT
public:
    QStringList types;
    QVariant answer = true;  // what the drop handlers and the file judge answer
    QStringList calls;       // "<handler> <row> <property list as text>"
    QObject *resetBy = nullptr;
    Q_INVOKABLE QStringList getAdditionPBoardTypes() const { return types; }
    Q_INVOKABLE QVariant acceptsTableDrop(const QVariant &paths) { return note("accepts", paths, -1); }
    Q_INVOKABLE QVariant dropNSFilenamesPboardType(const QVariant &l, int row) { return note("files", l, row); }
    Q_INVOKABLE QVariant dropAppleURLPasteboardType(const QVariant &l, int row) { return note("url", l, row); }
    Q_INVOKABLE QVariant dropContactsType(const QVariant &l, int row) { return note("contacts", l, row); }
    Q_INVOKABLE void resetAction(QObject *sender) { resetBy = sender; }

private:
    QVariant note(const char *what, const QVariant &list, int row)
    {
        calls.append(QStringLiteral("%1 %2 %3").arg(QLatin1String(what)).arg(row).arg(list.toStringList().join(u',')));
        return answer;
    }
};

/** A subclass with the mail and moved-rows hooks, and one that keeps a type from the host. */
class MailController : public ZEM_A_C_ArrayController
{
    Q_OBJECT
public:
    QStringList calls;
    bool excludeContacts = false;
    Q_INVOKABLE bool dropEmail(const ZEM_A_C_DraggingInfo &i, int row) { return note("mail", i, row); }
    Q_INVOKABLE bool dropMove(const ZEM_A_C_DraggingInfo &i, int row) { return note("move", i, row); }
    bool checkExcludeType(const ZEM_A_C_DraggingInfo &, const QString &type) override
    {
        return !(excludeContacts && type == QLatin1String("ContactsType"));
    }
    bool note(const char *what, const ZEM_A_C_DraggingInfo &info, int row)
    {
        calls.append(QStringLiteral("%1 %2 %3").arg(QLatin1String(what)).arg(row).arg(info.pasteboard != nullptr));
        return true;
    }
};

/** A real item view with a table's flag, for drops through Qt's own event handling. */
class FlaggedView : public QTableView
{
    Q_OBJECT
public:
    Q_INVOKABLE bool canDuplicateRows() const { return true; }
};

/** A controller on a fake table and a host, with five people A..E, sort orders 1..5. */
struct Rig
{
    FakeTable table;
    Host host;
    ZEM_A_C_ArrayController c;
    std::vector<std::unique_ptr<Person>> people;
    Rig()
    {
        c.setTable(&table);
        c.setController(&host);
        c.setColumnIdentifiers({QStringLiteral("1:lastName")});
        for (int i = 0; i < 5; ++i)
            people.push_back(std::make_unique<Person>(QStringLiteral("f"), QString(QChar(u'A' + i)), 20, i + 1));
        for (auto &p : people)
            rows.append(p.get());
        c.setContent(rows);
    }
    QList<QObject *> rows;
};

QStringList lastNames(const QList<QObject *> &records)
{
    QStringList names;
    for (QObject *r : records)
        names.append(static_cast<Person *>(r)->lastName());
    return names;
}

} // namespace

class tst_ZEM_A_C_ArrayControllerDrag : public QObject
{
    Q_OBJECT

private slots:
    // The types a lone row declares depend on what its record stands for.
    void writeRowsDeclaresTypesByRecord_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QStringList>("extraTypes");
        QTest::newRow("url") << "url" << "https://example.org/a b" << QStringList{platform::kStringType, platform::kUrlType};
        QTest::newRow("url not ascii") << "url" << "https://exämple.org" << QStringList();
        QTest::newRow("url empty") << "url" << "" << QStringList();
        QTest::newRow("folder") << "folder" << "/tmp/projects" << QStringList{platform::kFilenamesType};
    }
    void writeRowsDeclaresTypesByRecord()
    {
        QFETCH(QString, kind);
        QFETCH(QString, value);
        QFETCH(QStringList, extraTypes);
        Rig r;
        r.table.f.dragOut = true;
        Link link, other;
        Folder folder;
        link.url = folder.folder = value;
        r.c.setContent({&other, kind == QLatin1String("url") ? static_cast<QObject *>(&link) : &folder});
        QMimeData mime;
        QVERIFY(r.c.tableViewWriteRows(&r.table, {1}, &mime));
        QCOMPARE(r.c.selectionIndexes(), QList<int>{1}); // the unselected dragged row becomes the selection
        const QStringList types = platform::pasteboardTypes(&mime);
        QCOMPARE(QSet<QString>(types.cbegin(), types.cend()),
                 QSet<QString>({tables::kCopiedRowsType, tables::kMovedRowsType}) + QSet<QString>(extraTypes.cbegin(), extraTypes.cend()));
        if (extraTypes.contains(platform::kUrlType)) {
            QCOMPARE(mime.text(), value);
            QCOMPARE(mime.urls(), QList<QUrl>{QUrl(QStringLiteral("https://example.org/a%20b"))});
        }
        if (extraTypes.contains(platform::kFilenamesType))
            QCOMPARE(platform::propertyList(&mime, platform::kFilenamesType), QVariant(QStringList{value}));
    }

    // Several rows go in the table's order; a drag not allowed, or of rows not shown, writes
    // nothing; "DisbleTableRowDragging" stops reordering only.
    void writeRowsOrderAndRefusals()
    {
        QSettings settings(ZemTestEnv::current()->configHome() + QStringLiteral("/drag.ini"), QSettings::IniFormat);
        settings.setValue(QStringLiteral("DisbleTableRowDragging"), true);
        ZEM_F_SettingsHostDelegate host(QStringLiteral("Test"), {}, &settings);
        ZEM_F_Host::setDelegate(&host);
        Rig r;
        r.table.f.reorder = true;
        QMimeData mime;
        const bool reorderWrote = r.c.tableViewWriteRows(&r.table, {0}, &mime);
        r.table.f.dragOut = true;
        const bool dragOutWrote = r.c.tableViewWriteRows(&r.table, {3, 1}, &mime);
        ZEM_F_Host::setDelegate(nullptr);
        QVERIFY(!reorderWrote);
        QVERIFY(dragOutWrote);
        QCOMPARE(platform::propertyList(&mime, tables::kMovedRowsType), QVariant(QVariantList{3, 1}));
        QCOMPARE(lastNames(platform::propertyList(&mime, tables::kCopiedRowsType).value<QList<QObject *>>()),
                 (QStringList{"D", "B"}));
        QCOMPARE(platform::localSource(&mime, tables::kMovedRowsType), &r.table);
        QVERIFY(r.c.selectionIndexes().isEmpty()); // only a lone row is selected for the drag
        QMimeData empty;
        QVERIFY(!r.c.tableViewWriteRows(&r.table, {5}, &empty));
        r.c.setContent({});
        QVERIFY(!r.c.tableViewWriteRows(&r.table, {0}, &empty));
        QVERIFY(empty.formats().isEmpty());
    }

    // Moving row 0 to drop row 3 renumbers B, C, A, D, E; views keep their cells through it.
    void internalMoveRenumbers()
    {
        Rig r;
        r.table.f.reorder = true;
        QMimeData mime;
        QVERIFY(r.c.tableViewWriteRows(&r.table, {0}, &mime));
        ZEM_A_C_DraggingInfo info{&r.table, &mime};
        QCOMPARE(r.c.tableViewValidateDrop(&r.table, info, 3, 0), Qt::MoveAction);
        QCOMPARE(r.c.sortDescriptors().value(0).keyPath, QStringLiteral("sortOrder"));
        QCOMPARE(info.dropRow, 3);
        QCOMPARE(info.dropOperation, tables::kDropAbove);
        const QPersistentModelIndex a = r.c.index(0, 0);
        QVERIFY(r.c.tableViewAcceptDrop(&r.table, info, info.dropRow, info.dropOperation));
        QCOMPARE(lastNames(r.c.arrangedObjects()), (QStringList{"B", "C", "A", "D", "E"}));
        QCOMPARE(r.people[0]->sortOrder(), 4);
        QCOMPARE(r.c.selectedObjects(), QList<QObject *>{r.people[0].get()});
        QCOMPARE(a.row(), 2);
        QVERIFY(r.c.hasChanged());
        QCOMPARE(r.table.resorts, 0); // on the next pass of the event loop
        QTRY_COMPARE(r.table.resorts, 1);
    }

    // Rows without a manual order cannot be reordered: refused at drop time, nothing changed.
    void internalDropWithoutSortOrderRefused()
    {
        Rig r;
        r.table.f.reorder = r.table.f.dragIn = true;
        Note x, y;
        r.c.setContent({&x, &y});
        QMimeData mime;
        QVERIFY(r.c.tableViewWriteRows(&r.table, {0}, &mime));
        ZEM_A_C_DraggingInfo info{&r.table, &mime};
        QCOMPARE(r.c.tableViewValidateDrop(&r.table, info, 2, 0), Qt::CopyAction);
        QVERIFY(!r.c.tableViewAcceptDrop(&r.table, info, 2, 1));
        QCOMPARE(r.c.arrangedObjects(), (QList<QObject *>{&x, &y}));
        QVERIFY(!r.c.hasChanged());
    }

    // A hidden record asks the host to reset the search; an external drop lands on a row
    // unless drops go above, and on an empty table it is refused; the file judge may refuse.
    void validateExternalDrop()
    {
        Rig r;
        r.table.f.files = true;
        r.host.types = {platform::kFilenamesType};
        QMimeData mime;
        platform::setPropertyList(&mime, platform::kFilenamesType, QStringList{QStringLiteral("/tmp/f")});
        ZEM_A_C_DraggingInfo info{nullptr, &mime};
        r.c.setFilterPredicate(*platform::Predicate::parse(QStringLiteral("lastName != 'C'")));
        QCOMPARE(r.c.tableViewValidateDrop(&r.table, info, 2, 1), Qt::CopyAction);
        QCOMPARE(r.host.resetBy, &r.c);
        QCOMPARE(info.dropRow, 2);
        QCOMPARE(info.dropOperation, tables::kDropOn);
        r.c.setIsAboveDrop(true);
        QCOMPARE(r.c.tableViewValidateDrop(&r.table, info, 1, 0), Qt::CopyAction);
        QCOMPARE(info.dropOperation, tables::kDropAbove);
        QCOMPARE(r.c.tableViewValidateDrop(&r.table, info, -1, 0), Qt::IgnoreAction);
        QCOMPARE(r.c.tableViewValidateDrop(&r.table, info, r.c.arrangedCount() + 1, 0), Qt::IgnoreAction);
        r.c.setIsAboveDrop(false);
        r.c.setContent({});
        QCOMPARE(r.c.tableViewValidateDrop(&r.table, info, 0, 1), Qt::IgnoreAction);
        r.c.setContent(r.rows);
        r.host.answer = QVariant();
        QCOMPARE(r.c.tableViewValidateDrop(&r.table, info, 1, 0), Qt::IgnoreAction);
        QCOMPARE(r.host.calls.last(), QStringLiteral("accepts -1 /tmp/f"));
    }

    // Drops go by name to "drop<type>:row:" of the host with the type's list; a nil answer
    // refuses and leaves has-changes untouched.
    void acceptDispatchesByTypeName_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QVariant>("list");
        QTest::addColumn<QString>("call");
        QTest::newRow("files") << platform::kFilenamesType << QVariant(QStringList{"/tmp/a", "/tmp/b"}) << "files 2 /tmp/a,/tmp/b";
        QTest::newRow("url") << platform::kUrlType << QVariant(QStringLiteral("https://x.org/")) << "url 2 https://x.org/";
        QTest::newRow("host type") << "ContactsType" << QVariant(QVariantList{7}) << "contacts 2 7";
    }
    void acceptDispatchesByTypeName()
    {
        QFETCH(QString, type);
        QFETCH(QVariant, list);
        QFETCH(QString, call);
        Rig r;
        r.host.types = {QStringLiteral("Unoffered"), type};
        QMimeData mime;
        QVERIFY(platform::setPropertyList(&mime, type, list));
        r.host.answer = QVariant();
        QVERIFY(!r.c.tableViewAcceptDrop(&r.table, {nullptr, &mime}, 2, 0));
        QVERIFY(!r.c.hasChanged());
        r.host.answer = true;
        QVERIFY(r.c.tableViewAcceptDrop(&r.table, {nullptr, &mime}, 2, 0));
        QCOMPARE(r.host.calls, (QStringList{call, call}));
        QVERIFY(r.c.hasChanged());
    }

    // The hooks of a subclass: mail drops, rows moved from another table, excluded types.
    void subclassHooks()
    {
        Rig other;
        other.table.f.reorder = true;
        FakeTable table;
        table.f.dragIn = true;
        Host host;
        host.types = {tables::kAutomatorType, QStringLiteral("ContactsType")};
        MailController c;
        c.setTable(&table);
        c.setController(&host);
        c.setContent(other.rows);

        QMimeData mail;
        platform::setPropertyList(&mail, tables::kAutomatorType, QVariantList{1, 2});
        ZEM_A_C_DraggingInfo mailInfo{nullptr, &mail};
        QCOMPARE(c.tableViewValidateDrop(&table, mailInfo, 1, 0), Qt::MoveAction);
        QVERIFY(c.tableViewAcceptDrop(&table, mailInfo, -4, 0));
        QMimeData moved;
        QVERIFY(other.c.tableViewWriteRows(&other.table, {0}, &moved));
        ZEM_A_C_DraggingInfo movedInfo{&other.table, &moved};
        QCOMPARE(c.tableViewValidateDrop(&table, movedInfo, 1, 0), Qt::MoveAction);
        QVERIFY(c.tableViewAcceptDrop(&table, movedInfo, 3, 0));
        QCOMPARE(c.calls, (QStringList{QStringLiteral("mail 0 1"), QStringLiteral("move 3 1")}));

        c.excludeContacts = true;
        QMimeData contacts;
        platform::setPropertyList(&contacts, QStringLiteral("ContactsType"), QVariantList{1});
        QVERIFY(!c.tableViewAcceptDrop(&table, {nullptr, &contacts}, 0, 0));
        QVERIFY(host.calls.isEmpty());
    }

    // Records from another table are duplicated only when the table allows it, and only
    // while they belong to this process.
    void externalRowsDuplicated()
    {
        Rig from, to;
        from.table.f.dragOut = true;
        to.c.setContent({to.rows.last()});
        QMimeData mime;
        QVERIFY(from.c.tableViewWriteRows(&from.table, {1, 2}, &mime));
        QVERIFY(!to.c.tableViewAcceptDrop(&to.table, {&from.table, &mime}, 0, 0));
        to.table.f.duplicate = true;
        QMimeData foreign; // the same rows as another process would offer them
        QByteArray token = mime.data(tables::kCopiedRowsType);
        const QByteArray ours = "zem-local:" + QByteArray::number(QCoreApplication::applicationPid()) + ':';
        QVERIFY(token.startsWith(ours));
        foreign.setData(tables::kCopiedRowsType, token.replace(0, ours.size(), "zem-local:1:"));
        QVERIFY(!to.c.tableViewAcceptDrop(&to.table, {nullptr, &foreign}, 0, 0));
        QCOMPARE(to.c.contentCount(), 1);
        QVERIFY(to.c.tableViewAcceptDrop(&to.table, {&from.table, &mime}, 0, 0));
        QCOMPARE(lastNames(to.c.arrangedObjects()), (QStringList{"B", "C", "E"}));
        QCOMPARE(to.c.selectionIndexes(), (QList<int>{0, 1}));
    }

    // The handled type: moved rows first for a table that takes them in, else the first
    // offered type of the first host list; registration lists them all, in order.
    void handledTypeAndRegistration()
    {
        Rig r;
        Host pane;
        pane.types = {QStringLiteral("P1"), QStringLiteral("P2")};
        r.host.types = {QStringLiteral("H1")};
        r.c.setPreferncePane(&pane);
        r.c.setRegisterForDragged();
        QCOMPARE(r.c.registeredDraggedTypes(), (QStringList{tables::kCopiedRowsType, tables::kMovedRowsType, "P1", "P2", "H1"}));
        const QStringList offered{"H1", "P2", tables::kMovedRowsType};
        QCOMPARE(r.c.checkTableHasPBoardType(offered), QStringLiteral("P2"));
        QVERIFY(r.c.checkTableHasPBoardType({"H1"}).isNull());
        r.table.f.dragIn = true;
        QCOMPARE(r.c.checkTableHasPBoardType(offered), tables::kMovedRowsType);
    }

    // An item view drops through the model: rows of another table land on the row under the cursor.
    void dropThroughItemView()
    {
        Rig from, to;
        from.table.f.dragOut = true;
        to.c.setContent({to.rows.at(0), to.rows.at(1)});
        FlaggedView view;
        view.setModel(&to.c);
        view.setDragDropMode(QAbstractItemView::DragDrop);
        to.c.setTable(&view);
        view.resize(300, 200);
        QVERIFY(zemtest::showExposed(view));
        std::unique_ptr<QMimeData> mime(from.c.mimeData({from.c.index(4, 0)}));
        QVERIFY(mime);
        const QPoint at = view.visualRect(to.c.index(1, 0)).center();
        QDragEnterEvent enter(at, Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view.viewport(), &enter);
        QDragMoveEvent move(at, Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view.viewport(), &move);
        QDropEvent drop(at, Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view.viewport(), &drop);
        QVERIFY(enter.isAccepted() && move.isAccepted() && drop.isAccepted());
        QCOMPARE(lastNames(to.c.arrangedObjects()), (QStringList{"A", "E", "B"}));
    }
};

ZEM_TEST_MAIN(tst_ZEM_A_C_ArrayControllerDrag)
#include "tst_ZEM_A_C_ArrayControllerDrag.moc"
