#include "TableRows.h"
#include "ZemTestEnv.h"

#include "foundation/ZEM_F_HostDelegate.h"
#include "platform/Pasteboard.h"
#include "platform/store/Predicate.h"
#include "tables/ZEM_A_C_ArrayController.h"

#include <QCoreApplication>
#include <QMimeData>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QUrl>

#include <memory>

namespace {

/** A row that stands for a web page or a folder. */
class Link : public ZEM_A_C_ArrayControllerObject
{
public:
    explicit Link(const QString &url)
        : ZEM_A_C_ArrayControllerObject(table())
        , m_url(url)
    {
    }
    QString url() const { return m_url; }
    void setUrl(const QString &v) { m_url = v; }
    static const Accessors &table()
    {
        static const Accessors t{ZEM_ROW_KEY(Link, url, setUrl)};
        return t;
    }

private:
    QString m_url;
};

class Folder : public ZEM_A_C_ArrayControllerObject
{
public:
    explicit Folder(const QString &path)
        : ZEM_A_C_ArrayControllerObject(table())
        , m_folder(path)
    {
    }
    QString folder() const { return m_folder; }
    void setFolder(const QString &v) { m_folder = v; }
    static const Accessors &table()
    {
        static const Accessors t{ZEM_ROW_KEY(Folder, folder, setFolder)};
        return t;
    }

private:
    QString m_folder;
};

/** The table's behaviour flags, as the table view answers them by name. */
struct Flags
{
    bool reorder = false, dragOut = false, dragIn = false, duplicate = false, files = false;
};

class FakeTable : public QObject
{
    Q_OBJECT
public:
    Flags f;
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
    Q_INVOKABLE QVariant dropNSFilenamesPboardType(const QVariant &list, int row) { return note("files", list, row); }
    Q_INVOKABLE QVariant dropAppleURLPasteboardType(const QVariant &list, int row) { return note("url", list, row); }
    Q_INVOKABLE QVariant dropContactsType(const QVariant &list, int row) { return note("contacts", list, row); }
    Q_INVOKABLE void resetAction(QObject *sender) { resetBy = sender; }

private:
    QVariant note(const char *what, const QVariant &list, int row)
    {
        const QStringList items = list.toStringList();
        calls.append(QStringLiteral("%1 %2 %3").arg(QLatin1String(what)).arg(row).arg(items.isEmpty() ? list.toString() : items.join(u',')));
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
    Q_INVOKABLE bool dropEmail(const ZEM_A_C_DraggingInfo &info, int row) { return note("mail", info, row); }
    Q_INVOKABLE bool dropMove(const ZEM_A_C_DraggingInfo &info, int row) { return note("move", info, row); }
    bool checkExcludeType(const ZEM_A_C_DraggingInfo &, const QString &type) override
    {
        return !(excludeContacts && type == QLatin1String("ContactsType"));
    }

private:
    bool note(const char *what, const ZEM_A_C_DraggingInfo &info, int row)
    {
        calls.append(QStringLiteral("%1 %2 %3").arg(QLatin1String(what)).arg(row).arg(info.pasteboard != nullptr));
        return true;
    }
};

/** A real item view with the table's flags, for drops that go through Qt's own event handling. */
class FlaggedView : public QTableView
{
    Q_OBJECT
public:
    Q_INVOKABLE bool canDuplicateRows() const { return true; }
};

} // namespace

class tst_ZEM_A_C_ArrayControllerDrag : public QObject
{
    Q_OBJECT

    std::vector<std::unique_ptr<QObject>> m_rows;

    template<typename T, typename... Args>
    QObject *row(Args &&...args)
    {
        m_rows.push_back(std::make_unique<T>(std::forward<Args>(args)...));
        return m_rows.back().get();
    }

    /** Five people A..E with sort orders 1..5. */
    QList<QObject *> people()
    {
        QList<QObject *> list;
        for (int i = 0; i < 5; ++i)
            list.append(row<Person>(QStringLiteral("f"), QString(QChar(u'A' + i)), 20, i + 1));
        return list;
    }

    static QStringList lastNames(const QList<QObject *> &records)
    {
        QStringList names;
        for (QObject *r : records)
            names.append(static_cast<Person *>(r)->lastName());
        return names;
    }

private slots:
    void cleanup() { m_rows.clear(); }

    // The types a single row declares depend on what its record stands for.
    void writeRowsDeclaresTypesByRecord_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QStringList>("extraTypes");
        const QStringList none;
        QTest::newRow("url") << "url" << "https://example.org/a b" << QStringList{platform::kStringType, platform::kUrlType};
        QTest::newRow("url not ascii") << "url" << "https://exämple.org" << none;
        QTest::newRow("url empty") << "url" << "" << none;
        QTest::newRow("folder") << "folder" << "/tmp/projects" << QStringList{platform::kFilenamesType};
    }
    void writeRowsDeclaresTypesByRecord()
    {
        QFETCH(QString, kind);
        QFETCH(QString, value);
        QFETCH(QStringList, extraTypes);
        FakeTable table;
        table.f.dragOut = true;
        ZEM_A_C_ArrayController c;
        c.setTable(&table);
        QObject *record = kind == QLatin1String("url") ? row<Link>(value) : row<Folder>(value);
        c.setContent({row<Link>(QStringLiteral("https://other.org")), record});
        QMimeData mime;
        QVERIFY(c.tableViewWriteRows(&table, {1}, &mime));
        QCOMPARE(c.selectionIndexes(), QList<int>{1}); // the unselected dragged row becomes the selection
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

    // Several rows: no URL even when each record has one; rows and records in the table's order.
    void writeRowsKeepsRowOrder()
    {
        FakeTable table;
        table.f.reorder = true;
        ZEM_A_C_ArrayController c;
        c.setTable(&table);
        c.setContent(people());
        QMimeData mime;
        QVERIFY(c.tableViewWriteRows(&table, {3, 1}, &mime));
        QCOMPARE(platform::propertyList(&mime, tables::kMovedRowsType), QVariant(QVariantList{3, 1}));
        QCOMPARE(lastNames(platform::propertyList(&mime, tables::kCopiedRowsType).value<QList<QObject *>>()),
                 (QStringList{QStringLiteral("D"), QStringLiteral("B")}));
        QCOMPARE(platform::localSource(&mime, tables::kMovedRowsType), &table);
        QVERIFY(c.selectionIndexes().isEmpty()); // only a lone row is selected for the drag
    }

    // A drag not allowed writes nothing; "DisbleTableRowDragging" stops reordering only.
    void writeRowsRefused()
    {
        QSettings settings(ZemTestEnv::current()->configHome() + QStringLiteral("/drag.ini"), QSettings::IniFormat);
        settings.setValue(QStringLiteral("DisbleTableRowDragging"), true);
        ZEM_F_SettingsHostDelegate host(QStringLiteral("Test"), {}, &settings);
        ZEM_F_Host::setDelegate(&host);
        FakeTable table;
        table.f.reorder = true;
        ZEM_A_C_ArrayController c;
        c.setTable(&table);
        c.setContent(people());
        QMimeData mime;
        const bool reorderWrote = c.tableViewWriteRows(&table, {0}, &mime);
        table.f.dragOut = true;
        const bool dragOutWrote = c.tableViewWriteRows(&table, {0}, &mime);
        ZEM_F_Host::setDelegate(nullptr);
        QVERIFY(!reorderWrote);
        QVERIFY(dragOutWrote);
        QMimeData empty;
        QVERIFY(!c.tableViewWriteRows(&table, {5}, &empty)); // past the last row
        c.setContent({});
        QVERIFY(!c.tableViewWriteRows(&table, {0}, &empty));
        QVERIFY(empty.formats().isEmpty());
    }

    // Moving row 0 to drop row 3 renumbers B, C, A, D, E; views keep their cells through it.
    void internalMoveRenumbers()
    {
        FakeTable table;
        table.f.reorder = true;
        ZEM_A_C_ArrayController c;
        c.setColumnIdentifiers({QStringLiteral("1:lastName")});
        c.setTable(&table);
        c.setContent(people());
        QMimeData mime;
        QVERIFY(c.tableViewWriteRows(&table, {0}, &mime));
        ZEM_A_C_DraggingInfo info{&table, &mime};
        QCOMPARE(c.tableViewValidateDrop(&table, info, 3, 0), Qt::MoveAction);
        QCOMPARE(c.sortDescriptors().value(0).keyPath, QStringLiteral("sortOrder"));
        QCOMPARE(info.dropRow, 3);
        QCOMPARE(info.dropOperation, tables::kDropAbove);
        const QPersistentModelIndex a = c.index(0, 0);
        QSignalSpy resets(&c, &QAbstractItemModel::modelReset);
        QVERIFY(c.tableViewAcceptDrop(&table, info, info.dropRow, info.dropOperation));
        QCOMPARE(lastNames(c.arrangedObjects()), (QStringList{"B", "C", "A", "D", "E"}));
        QCOMPARE(static_cast<Person *>(c.objectAtRow(2))->sortOrder(), 4);
        QCOMPARE(c.selectedObjects(), QList<QObject *>{c.objectAtRow(2)});
        QCOMPARE(a.row(), 2);
        QCOMPARE(resets.count(), 0);
        QVERIFY(c.hasChanged());
        QCOMPARE(table.resorts, 0); // on the next pass of the event loop
        QTRY_COMPARE(table.resorts, 1);
    }

    // Rows without a manual order cannot be reordered: refused at drop time, nothing changed.
    void internalDropWithoutSortOrderRefused()
    {
        FakeTable table;
        table.f.reorder = true;
        table.f.dragIn = true;
        ZEM_A_C_ArrayController c;
        c.setTable(&table);
        c.setContent({row<Note>(QStringLiteral("x")), row<Note>(QStringLiteral("y"))});
        QMimeData mime;
        QVERIFY(c.tableViewWriteRows(&table, {0}, &mime));
        ZEM_A_C_DraggingInfo info{&table, &mime};
        QCOMPARE(c.tableViewValidateDrop(&table, info, 2, 0), Qt::CopyAction);
        QVERIFY(!c.tableViewAcceptDrop(&table, info, 2, 1));
        QCOMPARE(c.objectAtRow(0), c.content().at(0));
        QVERIFY(!c.hasChanged());
    }

    // Validation: a hidden record asks the host to reset the search; an external drop lands
    // on a row unless drops go above, and on an empty table it is refused.
    void validateExternalDrop()
    {
        FakeTable table;
        table.f.files = true;
        Host host;
        host.types = {platform::kFilenamesType};
        ZEM_A_C_ArrayController c;
        c.setTable(&table);
        c.setController(&host);
        QMimeData mime;
        platform::setPropertyList(&mime, platform::kFilenamesType, QStringList{QStringLiteral("/tmp/f")});
        ZEM_A_C_DraggingInfo info{nullptr, &mime};
        QCOMPARE(c.tableViewValidateDrop(&table, info, 0, 1), Qt::IgnoreAction);
        c.setContent(people());
        c.setFilterPredicate(*platform::Predicate::parse(QStringLiteral("lastName != 'C'")));
        QCOMPARE(c.tableViewValidateDrop(&table, info, 2, 1), Qt::CopyAction);
        QCOMPARE(host.resetBy, &c);
        QCOMPARE(info.dropRow, 2);
        QCOMPARE(info.dropOperation, tables::kDropOn);
        c.setIsAboveDrop(true);
        QCOMPARE(c.tableViewValidateDrop(&table, info, 1, 0), Qt::CopyAction);
        QCOMPARE(info.dropOperation, tables::kDropAbove);
        QCOMPARE(c.tableViewValidateDrop(&table, info, -1, 0), Qt::IgnoreAction);
        QCOMPARE(c.tableViewValidateDrop(&table, info, c.arrangedCount() + 1, 0), Qt::IgnoreAction);
        host.answer = QVariant(); // the file judge says no
        QCOMPARE(c.tableViewValidateDrop(&table, info, 1, 0), Qt::IgnoreAction);
        QCOMPARE(host.calls.last(), QStringLiteral("accepts -1 /tmp/f"));
    }

    // Drops go by name to "drop<type>:row:" of the first who answers, with the type's list.
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
        FakeTable table;
        table.f.dragIn = true;
        Host host;
        host.types = {QStringLiteral("Unoffered"), type};
        ZEM_A_C_ArrayController c;
        c.setTable(&table);
        c.setController(&host);
        c.setContent(people());
        QMimeData mime;
        QVERIFY(platform::setPropertyList(&mime, type, list));
        ZEM_A_C_DraggingInfo info{nullptr, &mime};
        host.answer = QVariant(); // a nil result: refused, has-changes untouched
        QVERIFY(!c.tableViewAcceptDrop(&table, info, 2, 0));
        QVERIFY(!c.hasChanged());
        host.answer = true;
        QVERIFY(c.tableViewAcceptDrop(&table, info, 2, 0));
        QCOMPARE(host.calls, (QStringList{call, call}));
        QVERIFY(c.hasChanged());
    }

    // The hooks of a subclass: mail drops, rows moved from another table, excluded types.
    void subclassHooks()
    {
        FakeTable table, otherTable;
        table.f.dragIn = true;
        otherTable.f.reorder = true;
        Host host;
        host.types = {tables::kAutomatorType, QStringLiteral("ContactsType")};
        MailController c;
        c.setTable(&table);
        c.setController(&host);
        c.setContent(people());

        QMimeData mail;
        platform::setPropertyList(&mail, tables::kAutomatorType, QVariantList{1, 2});
        ZEM_A_C_DraggingInfo mailInfo{nullptr, &mail};
        QCOMPARE(c.tableViewValidateDrop(&table, mailInfo, 1, 0), Qt::MoveAction);
        QVERIFY(c.tableViewAcceptDrop(&table, mailInfo, -4, 0));

        ZEM_A_C_ArrayController other;
        other.setTable(&otherTable);
        other.setContent(people());
        QMimeData moved;
        QVERIFY(other.tableViewWriteRows(&otherTable, {0}, &moved));
        ZEM_A_C_DraggingInfo movedInfo{&otherTable, &moved};
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
        FakeTable source, target;
        source.f.dragOut = true;
        ZEM_A_C_ArrayController from, to;
        from.setTable(&source);
        from.setContent(people());
        to.setTable(&target);
        to.setContent({row<Person>(QStringLiteral("f"), QStringLiteral("Z"), 1)});
        QMimeData mime;
        QVERIFY(from.tableViewWriteRows(&source, {1, 2}, &mime));
        QVERIFY(!to.tableViewAcceptDrop(&target, {&source, &mime}, 0, 0));
        target.f.duplicate = true;
        QMimeData foreign; // the same rows as another process would offer them
        QByteArray token = mime.data(tables::kCopiedRowsType);
        const QByteArray ours = "zem-local:" + QByteArray::number(QCoreApplication::applicationPid()) + ':';
        QVERIFY(token.startsWith(ours));
        token.replace(0, ours.size(), "zem-local:1:");
        foreign.setData(tables::kCopiedRowsType, token);
        QVERIFY(!to.tableViewAcceptDrop(&target, {nullptr, &foreign}, 0, 0));
        QCOMPARE(to.contentCount(), 1);
        QVERIFY(to.tableViewAcceptDrop(&target, {&source, &mime}, 0, 0));
        QCOMPARE(lastNames(to.arrangedObjects()), (QStringList{"B", "C", "Z"}));
        QCOMPARE(to.selectionIndexes(), (QList<int>{0, 1}));
    }

    // The types the controller handles: moved rows first for a table that takes them in,
    // else the first offered type of the first host list, in registration order.
    void handledTypeAndRegistration()
    {
        FakeTable table;
        Host pane, host;
        pane.types = {QStringLiteral("P1"), QStringLiteral("P2")};
        host.types = {QStringLiteral("H1")};
        ZEM_A_C_ArrayController c;
        c.setTable(&table);
        c.setController(&host);
        c.setPreferncePane(&pane);
        c.setRegisterForDragged();
        QCOMPARE(c.registeredDraggedTypes(),
                 (QStringList{tables::kCopiedRowsType, tables::kMovedRowsType, "P1", "P2", "H1"}));
        const QStringList offered{"H1", "P2", tables::kMovedRowsType};
        QCOMPARE(c.checkTableHasPBoardType(offered), QStringLiteral("P2"));
        QVERIFY(c.checkTableHasPBoardType({"H1"}).isNull());
        table.f.dragIn = true;
        QCOMPARE(c.checkTableHasPBoardType(offered), tables::kMovedRowsType);
        QCOMPARE(ZEM_A_C_ArrayController::convertPasteBoradType("NeXT plain ascii pasteboard type"),
                 QStringLiteral("NeXTPlainAsciiPasteboardType"));
    }

    // A plain item view drops through the model: rows of another table land on the row under the cursor.
    void dropThroughItemView()
    {
        FakeTable source;
        source.f.dragOut = true;
        ZEM_A_C_ArrayController from, to;
        from.setTable(&source);
        from.setContent(people());
        from.setColumnIdentifiers({QStringLiteral("1:lastName")});
        to.setColumnIdentifiers({QStringLiteral("1:lastName")});
        to.setContent({row<Person>(QStringLiteral("f"), QStringLiteral("Y"), 1), row<Person>(QStringLiteral("f"), QStringLiteral("Z"), 2)});
        FlaggedView view;
        view.setModel(&to);
        view.setDragDropMode(QAbstractItemView::DragDrop);
        to.setTable(&view);
        view.resize(300, 200);
        QVERIFY(zemtest::showExposed(view));
        std::unique_ptr<QMimeData> mime(from.mimeData({from.index(4, 0)}));
        QVERIFY(mime);
        const QPoint at = view.visualRect(to.index(1, 0)).center();
        QDragEnterEvent enter(at, Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view.viewport(), &enter);
        QVERIFY(enter.isAccepted());
        QDragMoveEvent move(at, Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view.viewport(), &move);
        QVERIFY(move.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view.viewport(), &drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(lastNames(to.arrangedObjects()), (QStringList{"Y", "E", "Z"}));
    }
};

ZEM_TEST_MAIN(tst_ZEM_A_C_ArrayControllerDrag)
#include "tst_ZEM_A_C_ArrayControllerDrag.moc"
