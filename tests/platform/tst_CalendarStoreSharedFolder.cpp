// The calendar store in a folder it shares with sync tools and other programs: their edits
// before and in the middle of a save, links where files or calendars were, pipes and devices.
#include "CalendarFixture.h"

#include "foundation/detail/ZEM_F_Files.h"

#include <QDirIterator>

#include <sys/stat.h>

using namespace caltest;

namespace {

// Runs \a act once, as another program would, when the store is about to replace or remove
// \a path: after it read the file, before the file is replaced.
class DuringWrite
{
public:
    DuringWrite(const QString &path, std::function<void()> act)
    {
        ZEM_F_Files::setBeforeCheckForTesting([path, act, done = std::make_shared<bool>(false)](const QString &p) {
            if (p == path && !*done) {
                *done = true;
                act();
            }
        });
    }
    ~DuringWrite() { ZEM_F_Files::setBeforeCheckForTesting({}); }
};

} // namespace

class tst_CalendarStoreSharedFolder : public QObject
{
    Q_OBJECT
private slots:
    void editsMadeDuringASave_data()
    {
        QTest::addColumn<bool>("during");       // while the store writes; else before the save
        QTest::addColumn<QByteArray>("theirs"); // the file as another program leaves it; empty: removed
        QTest::addColumn<QString>("ours");      // "title" (retitled "Ours"), "remove", "move", "nothing"
        QTest::addColumn<QString>("conflict");  // why the save is refused; empty: it succeeds
        QTest::addColumn<QStringList>("lines"); // lines the file then holds

        QByteArray other = kRichEvent;
        other.replace("Room 4", "Room 5").replace("kept:keep me", "kept:theirs");
        const auto retitled = [](const QByteArray &title) { return QByteArray(kRichEvent).replace("Planning", title); };
        for (const bool during : {false, true}) {
            const auto row = [during](const char *name) -> QTestData & {
                return QTest::addRow("%s, %s", name, during ? "during the save" : "before it") << during;
            };
            row("other fields are merged") << other << u"title"_s << QString()
                                           << QStringList{u"SUMMARY:Ours"_s, u"LOCATION;LANGUAGE=de:Room 5"_s,
                                                          u"X-CUSTOM-THING;X-PARAM=kept:theirs"_s};
            row("the same change") << retitled("Ours") << u"title"_s << QString() << QStringList{u"SUMMARY:Ours"_s};
            // Conflicts keep both sides: the file as they wrote it, our edit in our item.
            row("the same field") << retitled("Theirs") << u"title"_s << u"both changed the title"_s
                                  << QStringList{u"SUMMARY:Theirs"_s};
            row("changed there, removed here") << other << u"remove"_s << u"it was changed there and removed here"_s
                                               << QStringList{u"LOCATION;LANGUAGE=de:Room 5"_s};
            // A removed event comes back neither in its file nor in the calendar it moves to.
            row("removed there, changed here") << QByteArray() << u"title"_s << u"its file was removed there"_s
                                               << QStringList{};
            row("removed there, moved here") << QByteArray() << u"move"_s << u"its file was removed there"_s
                                             << QStringList{};
        }
        QTest::newRow("removed there, unchanged here") << false << QByteArray() << u"nothing"_s << QString()
                                                       << QStringList{};
    }

    void editsMadeDuringASave()
    {
        QFETCH(bool, during);
        QFETCH(QByteArray, theirs);
        QFETCH(QString, ours);
        QFETCH(QString, conflict);
        QFETCH(QStringList, lines);

        QTemporaryDir dir;
        makeCalendar(dir, u"work"_s, "Work");
        makeCalendar(dir, u"home"_s, "Home");
        const QString path = dir.filePath(u"work/rich-1.ics"_s);
        QVERIFY(writeFile(path, kRichEvent));
        CalendarStore store(dir.path());
        CalEvent e = *store.eventWithUID(u"rich-1"_s);
        const auto edit = [&] { QVERIFY(theirs.isEmpty() ? QFile::remove(path) : writeFile(path, theirs)); };
        if (!during)
            edit();
        const DuringWrite racing(path, edit);

        if (ours == u"title")
            e.setTitle(u"Ours"_s);
        else if (ours == u"move")
            e.setCalendarUid(u"home"_s);
        const auto done = ours == u"remove" ? store.removeEvent(e, CalSpanThisEvent) : store.saveEvent(e, CalSpanThisEvent);
        if (conflict.isEmpty()) {
            QVERIFY2(done, done ? "" : qPrintable(done.error().message));
            if (!theirs.isEmpty())
                QCOMPARE(describe(e), describe(*store.eventWithUID(u"rich-1"_s))); // their change taken in
        } else {
            QVERIFY(!done);
            QCOMPARE(done.error().code, ZEM_Error::Conflict);
            QVERIFY2(done.error().message.contains(conflict), qPrintable(done.error().message));
            QVERIFY(e.hasChanges() || ours == u"remove");
        }
        if (theirs.isEmpty()) {
            QCOMPARE(snapshot(dir.path()).keys(),
                     QStringList({u"home/color"_s, u"home/displayname"_s, u"work/color"_s, u"work/displayname"_s}));
            return;
        }
        if (!conflict.isEmpty())
            QCOMPARE(readFile(path), theirs);
        const QStringList now = ::lines(readFile(path));
        for (const QString &line : lines)
            QVERIFY2(now.contains(line), qPrintable(line));
    }

    void neverWritesThroughALink_data()
    {
        QTest::addColumn<QString>("name"); // the file in the calendar that becomes a link
        QTest::addColumn<bool>("dangling"); // the link names a file that does not exist yet

        QTest::newRow("an event's file") << u"rich-1.ics"_s << false;
        QTest::newRow("displayname") << u"displayname"_s << false;
        QTest::newRow("color") << u"color"_s << false;
        QTest::newRow("calendar metadata") << u".zem-calendar.json"_s << false;
        QTest::newRow("a new event's file name") << u"new-1.ics"_s << true;
    }

    void neverWritesThroughALink()
    {
        QFETCH(QString, name);
        QFETCH(bool, dangling);
        QTemporaryDir dir;
        QTemporaryDir outside;
        makeCalendar(dir, u"work"_s, "Work");
        QVERIFY(writeFile(dir.filePath(u"work/rich-1.ics"_s), kRichEvent));
        QVERIFY(writeFile(dir.filePath(u"work/.zem-calendar.json"_s), R"({"notes": "n"})"));
        CalendarStore store(dir.path());
        const QString target = outside.filePath(u"target"_s);
        const QString link = dir.filePath(u"work/"_s + name);
        if (!dangling)
            QVERIFY(writeFile(target, readFile(link)));
        QFile::remove(link);
        QVERIFY(QFile::link(target, link));
        const QByteArray before = readFile(target);

        ZEM_Result<void> done;
        if (name.endsWith(u".ics"_s) && dangling) {
            CalEvent e = CalendarStore::readICalendarData(QByteArray(kRichEvent).replace("UID:rich-1", "UID:new-1")).events[0];
            e.setCalendarUid(u"work"_s);
            done = store.saveEvent(e, CalSpanThisEvent);
            QVERIFY2(done, done ? "" : qPrintable(done.error().message)); // written beside the link
            QVERIFY(store.eventWithUID(u"new-1"_s));
        } else if (name.endsWith(u".ics"_s)) {
            CalEvent e = *store.eventWithUID(u"rich-1"_s);
            e.setTitle(u"Ours"_s);
            done = store.saveEvent(e, CalSpanThisEvent);
        } else {
            CalCalendar cal = *store.calendarWithUID(u"work"_s);
            cal.setTitle(u"Renamed"_s);
            cal.setColor(Qt::red);
            cal.setNotes(u"changed"_s);
            done = store.saveCalendar(cal);
        }
        if (!dangling) {
            QVERIFY(!done);
            QCOMPARE(done.error().code, ZEM_Error::WriteFailed);
            QVERIFY2(done.error().message.contains(u"symbolic link"_s), qPrintable(done.error().message));
        }
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(readFile(target), before);
        QCOMPARE(QFileInfo::exists(target), !dangling);
    }

    // A calendar folder that is a link to a folder outside the calendars may be read, never
    // written into, and removing it removes the link alone.
    void calendarFolderLinkedOutside()
    {
        QTemporaryDir dir;
        QTemporaryDir outside;
        makeCalendar(outside, u"elsewhere"_s, "Elsewhere");
        QVERIFY(writeFile(outside.filePath(u"elsewhere/rich-1.ics"_s), kRichEvent));
        QVERIFY(QFile::link(outside.filePath(u"elsewhere"_s), dir.filePath(u"linked"_s)));
        QVERIFY(QFile::link(u"/"_s, dir.filePath(u"root"_s)));
        makeCalendar(dir, u"inside"_s, "Inside");
        QVERIFY(QFile::link(dir.filePath(u"inside"_s), dir.filePath(u"alias"_s)));
        const auto files = snapshot(outside.path());

        CalendarStore store(dir.path());
        QVERIFY(!store.calendarWithUID(u"root"_s)->isEditable());
        QVERIFY(!store.calendarWithUID(u"linked"_s)->isEditable());
        QVERIFY(store.calendarWithUID(u"alias"_s)->isEditable());
        QCOMPARE(store.eventWithUID(u"rich-1"_s)->title(), u"Planning"_s);

        CalEvent e = *store.eventWithUID(u"rich-1"_s);
        e.setTitle(u"Ours"_s);
        QCOMPARE(store.saveEvent(e, CalSpanThisEvent).error().code, ZEM_Error::WriteFailed);
        CalCalendar cal = *store.calendarWithUID(u"linked"_s);
        cal.setTitle(u"Renamed"_s);
        QCOMPARE(store.saveCalendar(cal).error().code, ZEM_Error::WriteFailed);
        QVERIFY(store.removeCalendar(cal));
        QVERIFY(!QFileInfo::exists(dir.filePath(u"linked"_s)));
        QCOMPARE(snapshot(outside.path()), files);
        QVERIFY(!store.calendarWithUID(u"linked"_s));
    }

    void specialFilesAreReportedNotRead_data()
    {
        QTest::addColumn<QString>("name");   // the file in the calendar
        QTest::addColumn<QString>("target"); // what it links to: "pipe", a path; empty: it is a pipe itself

        QTest::newRow("an item linked to a pipe") << u"a.ics"_s << u"pipe"_s;
        QTest::newRow("an item linked to /dev/zero") << u"a.ics"_s << u"/dev/zero"_s;
        QTest::newRow("an item that is a pipe") << u"a.ics"_s << QString();
        QTest::newRow("displayname linked to a pipe") << u"displayname"_s << u"pipe"_s;
        QTest::newRow("color linked to /dev/zero") << u"color"_s << u"/dev/zero"_s;
        QTest::newRow("metadata linked to /dev/zero") << u".zem-calendar.json"_s << u"/dev/zero"_s;
    }

    void specialFilesAreReportedNotRead()
    {
        QFETCH(QString, name);
        QFETCH(QString, target);
        QTemporaryDir dir;
        QTemporaryDir outside;
        makeCalendar(dir, u"cal"_s, "Cal");
        QVERIFY(writeFile(dir.filePath(u"cal/rich-1.ics"_s), kRichEvent));
        const QString path = dir.filePath(u"cal/"_s + name);
        QFile::remove(path);
        const QString pipe = target.isEmpty() ? path : outside.filePath(u"pipe"_s);
        if (target.isEmpty() || target == u"pipe")
            QVERIFY(::mkfifo(QFile::encodeName(pipe).constData(), 0600) == 0);
        if (!target.isEmpty())
            QVERIFY(QFile::link(target == u"pipe" ? pipe : target, path));

        const CalendarStore store(dir.path());
        QCOMPARE(store.eventWithUID(u"rich-1"_s)->title(), u"Planning"_s);
        QVERIFY2(store.problems().filter(u"cal/"_s + name).size() == 1, qPrintable(store.problems().join(u'\n')));
    }
};

ZEM_TEST_MAIN(tst_CalendarStoreSharedFolder)
#include "tst_CalendarStoreSharedFolder.moc"
