// Saves, edits and removals of the calendar store; reading is tst_CalendarStore, other
// programs' edits are tst_CalendarStoreSharedFolder.
#include "CalendarFixture.h"

#include <QDirIterator>
#include <QTimeZone>

#include <ctime>
#include <functional>

using namespace caltest;

using Edit = std::function<void(CalEvent &)>; // none: remove the occurrence
Q_DECLARE_METATYPE(Edit)

namespace {


// Runs the rest of the test in another default time zone.
[[nodiscard]] auto timeZone(const QByteArray &zone)
{
    const QByteArray old = qgetenv("TZ");
    qputenv("TZ", zone);
    tzset();
    return qScopeGuard([old] {
        qputenv("TZ", old);
        tzset();
    });
}

// A row per default time zone, named by the zone.
void zoneRows(std::initializer_list<const char *> zones)
{
    QTest::addColumn<QByteArray>("zone");
    for (const char *zone : zones)
        QTest::newRow(zone) << QByteArray(zone);
}

// An occurrence of "d" moved to \a time New York time and named \a title.
QByteArray detached(const QByteArray &day, const QByteArray &time, const QByteArray &title)
{
    return "BEGIN:VEVENT\nUID:d\nRECURRENCE-ID;TZID=America/New_York:202405" + day + "T080000\n"
           "DTSTART;TZID=America/New_York:202405" + day + 'T' + time + "\nDTEND;TZID=America/New_York:202405"
           + day + 'T' + time.left(2) + "5900\nSUMMARY:" + title + "\nEND:VEVENT\n";
}

} // namespace

class tst_CalendarStoreSaves : public QObject
{
    Q_OBJECT
private slots:
    void writesEveryFieldAndReadsItBack_data() { zoneRows({"Europe/Berlin", "America/Los_Angeles", "UTC"}); }

    void writesEveryFieldAndReadsItBack()
    {
        QFETCH(QByteArray, zone);
        const auto inZone = timeZone(zone);
        OneCalendar dir;
        CalendarStore store(dir.path());

        CalEvent ev = CalEvent::event();
        ev.setCalendar(*store.calendarWithUID(u"cal"_s));
        ev.setTitle(u"Launch; with, punctuation\\"_s);
        ev.setNotes(u"Two\nlines"_s);
        ev.setLocation(u"Pad 39A"_s);
        ev.setUrl(QUrl(u"https://example.com/a b"_s));
        const QTimeZone tokyo("Asia/Tokyo");
        ev.setStartDate(QDateTime(QDate(2024, 7, 1), QTime(21, 0), tokyo));
        ev.setEndDate(QDateTime(QDate(2024, 7, 1), QTime(23, 15), tokyo));
        ev.setAttendees({CalAttendee(u"Ann Smith"_s, QUrl(u"mailto:ann@example.com"_s)),
                         CalAttendee(u"Ben"_s, QUrl(u"mailto:ben@example.com"_s))});
        ev.setRecurrenceRule(CalRecurrenceRule(CalRecurrenceRule::Weekly, 2, CalRecurrenceEnd::endWithOccurrenceCount(3)));
        CalAlarm display = CalAlarm::alarm();
        display.setRelativeTrigger(-1800);
        CalAlarm mail = CalAlarm::alarm();
        mail.setAction(kCalAlarmActionEmail);
        mail.setEmailAddress(u"me@example.com"_s);
        mail.setAbsoluteTrigger(QDateTime(QDate(2024, 6, 30), QTime(7, 30), Qt::UTC));
        CalAlarm sound = CalAlarm::alarm();
        sound.setAction(kCalAlarmActionAudio);
        sound.setSound(u"Glass"_s);
        sound.setRelativeTrigger(60);
        CalAlarm run = CalAlarm::alarm();
        run.setAction(kCalAlarmActionProcedure);
        run.setUrl(QUrl::fromLocalFile(u"/opt/run me.sh"_s));
        ev.setAlarms({display, mail, sound, run});
        QVariantMap expected = describe(ev);
        QVERIFY(ev.isNew());
        QVERIFY(store.saveEvent(ev, CalSpanThisEvent));
        QVERIFY(!ev.isNew());
        QVERIFY(!ev.hasChanges());
        expected.insert(u"uid"_s, ev.uid());

        const QByteArray file = readFile(dir.filePath(u"cal/"_s + ev.uid() + u".ics"_s));
        QCOMPARE(linesStarting(file, {u"DTSTART"_s}), QStringList{u"DTSTART;TZID=Asia/Tokyo:20240701T210000"_s});
        QVERIFY(file.contains("BEGIN:VTIMEZONE\r\nTZID:Asia/Tokyo\r\n"));
        CalendarStore again(dir.path());
        QCOMPARE(describe(*again.eventWithUID(ev.uid())), expected);
        QCOMPARE(eventsOf(again, ev.uid()).size(), 3);

        CalTask task = CalTask::task();
        task.setCalendarUid(u"cal"_s);
        task.setTitle(u"File taxes"_s);
        task.setPriority(CalPriorityMedium);
        task.setDueDate(QDateTime(QDate(2025, 4, 15), QTime(17, 0), QTimeZone("America/New_York")));
        task.setAlarms({display});
        task.setIsCompleted(true);
        QVERIFY(task.completedDate().isValid());
        task.setCompletedDate(QDateTime(QDate(2025, 4, 1), QTime(8, 0), Qt::UTC));
        QVERIFY(store.saveTask(task));
        QCOMPARE(describe(*CalendarStore(dir.path()).taskWithUID(task.uid())), describe(task));

        // An event without an end lasts a moment.
        CalEvent moment = CalEvent::event();
        moment.setCalendarUid(u"cal"_s);
        moment.setStartDate(QDateTime(QDate(2024, 8, 1), QTime(9, 0)));
        QVERIFY(store.saveEvent(moment, CalSpanThisEvent));
        QCOMPARE(CalendarStore(dir.path()).eventWithUID(moment.uid())->endDate(), moment.startDate());
    }

    void newItemWithATakenUidIsRefused_data()
    {
        QTest::addColumn<QByteArray>("item");   // the calendar the new item is read from
        QTest::addColumn<QString>("file");      // the file holding the event with that UID
        QTest::addColumn<bool>("writtenLater"); // it came after the store read the folder

        QTest::newRow("an event's UID") << kRichEvent << u"rich.ics"_s << false;
        QTest::newRow("a to-do with an event's UID")
            << calendar("BEGIN:VTODO\nUID:rich-1\nSUMMARY:T\nEND:VTODO\n") << u"rich.ics"_s << false;
        // Written since, in a file named after the UID and in one of another name.
        QTest::newRow("a UID written since") << kRichEvent << u"rich-1.ics"_s << true;
        QTest::newRow("a UID written since elsewhere") << kRichEvent << u"rich.ics"_s << true;
    }

    void newItemWithATakenUidIsRefused()
    {
        QFETCH(QByteArray, item);
        QFETCH(QString, file);
        QFETCH(bool, writtenLater);
        OneCalendar dir;
        const QString path = dir.filePath(u"cal/"_s + file);
        if (!writtenLater)
            QVERIFY(writeFile(path, kRichEvent));
        CalendarStore store(dir.path());
        if (writtenLater)
            QVERIFY(writeFile(path, kRichEvent));
        const auto before = snapshot(dir.path());

        // An import: items read from bytes are new and bring their UID.
        const CalItemsRead read = CalendarStore::readICalendarData(item);
        ZEM_Result<void> saved;
        if (!read.events.isEmpty()) {
            CalEvent copy = read.events[0];
            copy.setCalendarUid(u"cal"_s);
            copy.setTitle(u"Copy"_s);
            saved = store.saveEvent(copy, CalSpanThisEvent);
        } else {
            CalTask copy = read.tasks.value(0);
            copy.setCalendarUid(u"cal"_s);
            saved = store.saveTask(copy);
        }
        QVERIFY(!saved);
        QCOMPARE(saved.error().code, ZEM_Error::InvalidArgument);
        QVERIFY2(saved.error().message.contains(u"rich-1"_s), qPrintable(saved.error().message));
        QCOMPARE(snapshot(dir.path()), before);
        QCOMPARE(store.eventWithUID(u"rich-1"_s)->title(), u"Planning"_s);
        QVERIFY(store.problems().isEmpty());
    }

    void allDayAndFloatingKeepTheirDates_data()
    {
        zoneRows({"UTC", "Pacific/Honolulu", "Pacific/Kiritimati", "Europe/Berlin"});
    }

    void allDayAndFloatingKeepTheirDates()
    {
        QFETCH(QByteArray, zone);
        const auto inZone = timeZone(zone);
        OneCalendar dir;
        const QString path = dir.filePath(u"cal/holiday.ics"_s);
        QVERIFY(writeFile(path, readFile(sample(u"holiday.ics"_s)))); // a yearly all-day event and a floating one
        CalendarStore store(dir.path());
        const CalEvent holiday = *store.eventWithUID(u"holiday"_s);
        QVERIFY(holiday.isAllDay());
        QCOMPARE(holiday.startDate(), QDateTime(QDate(2024, 3, 10), QTime(0, 0)));
        QCOMPARE(holiday.endDate(), QDateTime(QDate(2024, 3, 12), QTime(0, 0)));
        const QList<CalEvent> years = eventsOf(store, u"holiday"_s);
        QCOMPARE(years.size(), 2);
        QCOMPARE(years[1].startDate(), QDateTime(QDate(2025, 3, 10), QTime(0, 0)));
        QCOMPARE(years[1].alarms().value(0).relativeTrigger(), -43200.0);
        const CalEvent wake = *store.eventWithUID(u"floating"_s);
        QCOMPARE(wake.startDate().timeSpec(), Qt::LocalTime);
        QCOMPARE(wake.startDate(), QDateTime(QDate(2024, 3, 10), QTime(9, 30)));

        // Edits keep the dates as dates and floating times floating.
        CalEvent edited = wake;
        edited.setEndDate(QDateTime(QDate(2024, 3, 10), QTime(11, 0)));
        QVERIFY(store.saveEvent(edited, CalSpanThisEvent));
        CalEvent second = *store.eventWithUID(u"holiday"_s, years[1].occurrence());
        second.setTitle(u"Holiday 2025"_s);
        QVERIFY(store.saveEvent(second, CalSpanThisEvent));
        const QByteArray file = readFile(path);
        QVERIFY(linesStarting(file, {u"DTEND"_s}).contains(u"DTEND:20240310T110000"_s));
        QVERIFY(linesStarting(file, {u"RECURRENCE-ID"_s}).contains(u"RECURRENCE-ID;VALUE=DATE:20250310"_s));
        QCOMPARE(store.eventWithUID(u"holiday"_s, years[1].occurrence())->title(), u"Holiday 2025"_s);

        // A new all-day event is written as dates of the day it was made for.
        CalEvent fresh = CalEvent::event();
        fresh.setCalendarUid(u"cal"_s);
        fresh.setIsAllDay(true);
        fresh.setStartDate(QDateTime(QDate(2024, 12, 31), QTime(0, 0)));
        fresh.setEndDate(QDateTime(QDate(2025, 1, 1), QTime(0, 0)));
        QVERIFY(store.saveEvent(fresh, CalSpanThisEvent));
        const QByteArray made = readFile(dir.filePath(u"cal/"_s + fresh.uid() + u".ics"_s));
        QCOMPARE(linesStarting(made, {u"DTSTART"_s}), QStringList{u"DTSTART;VALUE=DATE:20241231"_s});
        QCOMPARE(linesStarting(made, {u"DTEND"_s}), QStringList{u"DTEND;VALUE=DATE:20250101"_s});
    }

    void editingASeries_data()
    {
        QTest::addColumn<QByteArray>("file"); // cal/d.ics
        QTest::addColumn<int>("index");       // of the occurrence edited or removed
        QTest::addColumn<int>("span");
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<int>("error");               // 0: the save succeeds
        QTest::addColumn<QStringList>("occurrences"); // afterwards: series ("d", or "new" split off), UTC start, title
        QTest::addColumn<QStringList>("lines");       // afterwards, sorted: the start, rule and exception lines of each file

        const QString d1 = u"d 05-01 12:00 Daily"_s, d2 = u"d 05-02 12:00 Daily"_s, d3 = u"d 05-03 12:00 Daily"_s,
                      d4 = u"d 05-04 12:00 Daily"_s, d5 = u"d 05-05 12:00 Daily"_s;
        const QString start = u"d.ics DTSTART;TZID=America/New_York:20240501T080000"_s,
                      count5 = u"d.ics RRULE:FREQ=DAILY;COUNT=5"_s;
        const QStringList moved3 = {start, u"d.ics DTSTART;TZID=America/New_York:20240503T090000"_s,
                                    u"d.ics RECURRENCE-ID;TZID=America/New_York:20240503T080000"_s, count5};
        const Edit remove;

        QTest::newRow("one occurrence") << daily("d") << 2 << int(CalSpanThisEvent) << Edit([](CalEvent &e) {
            e.setTitle(u"Special"_s);
            e.setStartDate(e.startDate().addSecs(3600));
            e.setEndDate(e.endDate().addSecs(3600));
            e.setRecurrenceRule(std::nullopt); // ignored for one occurrence
        }) << 0 << QStringList{d1, d2, u"d 05-03 13:00 Special detached"_s, d4, d5} << moved3;
        QTest::newRow("a detached occurrence again")
            << daily("d", {}, detached("03", "090000", "Special")) << 2 << int(CalSpanThisEvent)
            << Edit([](CalEvent &e) { e.setLocation(u"Elsewhere"_s); }) << 0
            << QStringList{d1, d2, u"d 05-03 13:00 Special @Elsewhere detached"_s, d4, d5} << moved3;
        QTest::newRow("remove one") << daily("d") << 1 << int(CalSpanThisEvent) << remove << 0 << QStringList{d1, d3, d4, d5}
                                    << QStringList{start, u"d.ics EXDATE;TZID=America/New_York:20240502T080000"_s, count5};
        QTest::newRow("remove this and later") << daily("d") << 2 << int(CalSpanFutureEvents) << remove << 0
                                               << QStringList{d1, d2}
                                               << QStringList{start, u"d.ics RRULE:FREQ=DAILY;UNTIL=20240503T115959Z"_s};
        QTest::newRow("remove from the first on") << daily("d") << 0 << int(CalSpanFutureEvents) << remove << 0
                                                  << QStringList{} << QStringList{};
        // The later part becomes a series of its own, with the exceptions that fall in it.
        QTest::newRow("this and later split off")
            << daily("d", "EXDATE;TZID=America/New_York:20240505T080000\n") << 2 << int(CalSpanFutureEvents)
            << Edit([](CalEvent &e) { e.setTitle(u"Later"_s); }) << 0
            << QStringList{d1, d2, u"new 05-03 12:00 Later"_s, u"new 05-04 12:00 Later"_s}
            << QStringList{start, u"d.ics RRULE:FREQ=DAILY;UNTIL=20240503T115959Z"_s,
                           u"new.ics DTSTART;TZID=America/New_York:20240503T080000"_s,
                           u"new.ics EXDATE;TZID=America/New_York:20240505T080000"_s, u"new.ics RRULE:FREQ=DAILY;COUNT=3"_s};
        QTest::newRow("split takes detached occurrences along")
            << daily("d", {}, detached("04", "090000", "Late one")) << 1 << int(CalSpanFutureEvents)
            << Edit([](CalEvent &e) { e.setLocation(u"Hall"_s); }) << 0
            << QStringList{d1, u"new 05-02 12:00 Daily @Hall"_s, u"new 05-03 12:00 Daily @Hall"_s,
                           u"new 05-04 13:00 Late one detached"_s, u"new 05-05 12:00 Daily @Hall"_s}
            << QStringList{start, u"d.ics RRULE:FREQ=DAILY;UNTIL=20240502T115959Z"_s,
                           u"new.ics DTSTART;TZID=America/New_York:20240502T080000"_s,
                           u"new.ics DTSTART;TZID=America/New_York:20240504T090000"_s,
                           u"new.ics RECURRENCE-ID;TZID=America/New_York:20240504T080000"_s, u"new.ics RRULE:FREQ=DAILY;COUNT=4"_s};
        QTest::newRow("the whole series") << daily("d") << 0 << int(CalSpanFutureEvents) << Edit([](CalEvent &e) {
            e.setTitle(u"Renamed"_s);
            e.setRecurrenceRule(CalRecurrenceRule(CalRecurrenceRule::Daily, 2, CalRecurrenceEnd::endWithEndDate(
                                                      QDateTime(QDate(2024, 5, 9), QTime(0, 0), Qt::UTC))));
        }) << 0 << QStringList{u"d 05-01 12:00 Renamed"_s, u"d 05-03 12:00 Renamed"_s, u"d 05-05 12:00 Renamed"_s,
                               u"d 05-07 12:00 Renamed"_s}
           << QStringList{start, u"d.ics RRULE:FREQ=DAILY;UNTIL=20240509T000000Z;INTERVAL=2"_s};
        QTest::newRow("dropping the rule") << daily("d") << 0 << int(CalSpanFutureEvents)
                                           << Edit([](CalEvent &e) { e.setRecurrenceRule(std::nullopt); }) << 0
                                           << QStringList{d1} << QStringList{start};
        // Invalid changes are refused before anything is written.
        QTest::newRow("every 0 days") << daily("d") << 0 << int(CalSpanFutureEvents) << Edit([](CalEvent &e) {
            e.setRecurrenceRule(CalRecurrenceRule(CalRecurrenceRule::Daily, 0));
        }) << int(ZEM_Error::InvalidArgument) << QStringList{d1, d2, d3, d4, d5} << QStringList{start, count5};
        QTest::newRow("ends before it starts") << daily("d") << 0 << int(CalSpanFutureEvents) << Edit([](CalEvent &e) {
            e.setEndDate(e.startDate().addSecs(-1));
        }) << int(ZEM_Error::InvalidArgument) << QStringList{d1, d2, d3, d4, d5} << QStringList{start, count5};
    }

    void editingASeries()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, index);
        QFETCH(int, span);
        QFETCH(Edit, edit);
        QFETCH(int, error);
        QFETCH(QStringList, occurrences);
        QFETCH(QStringList, lines);

        OneCalendar dir;
        QVERIFY(writeFile(dir.filePath(u"cal/d.ics"_s), file));
        CalendarStore store(dir.path());
        CalEvent e = eventsOf(store, u"d"_s).value(index);
        ZEM_Result<void> done;
        if (edit) {
            edit(e);
            done = store.saveEvent(e, CalSpan(span));
        } else {
            done = store.removeEvent(e, CalSpan(span));
        }
        QCOMPARE(done ? 0 : int(done.error().code), error);
        // The saved item is what the store now holds for its occurrence.
        if (done && edit)
            QCOMPARE(describe(e), describe(*store.eventWithUID(e.uid(), e.occurrence())));

        QStringList got;
        for (const CalEvent &o : eventsOf(store))
            got << u"%1 %2 %3%4%5"_s.arg(o.uid() == u"d" ? u"d"_s : u"new"_s, o.startDate().toUTC().toString(u"MM-dd hh:mm"),
                                         o.title(), o.location().isEmpty() ? QString() : u" @"_s + o.location(),
                                         o.isDetached() ? u" detached"_s : QString());
        QCOMPARE(got, occurrences);
        QStringList written;
        for (const QString &name : QDir(dir.filePath(u"cal"_s)).entryList({u"*.ics"_s}, QDir::Files)) {
            const QStringList found = linesStarting(readFile(dir.filePath(u"cal/"_s + name)),
                                                    {u"DTSTART"_s, u"RRULE"_s, u"EXDATE"_s, u"RECURRENCE-ID"_s});
            QVERIFY2(!found.isEmpty(), qPrintable(name + u" is left without an event"_s));
            for (const QString &line : found)
                written << (name == u"d.ics" ? name : u"new.ics"_s) + u' ' + line;
        }
        written.sort();
        QCOMPARE(written, lines);
    }

    // An edit of one item of several.ics keeping the others is in its golden file (see corpus()).
    void filesHoldingSeveralItems()
    {
        OneCalendar dir;
        const QString path = dir.filePath(u"cal/many.ics"_s);
        QVERIFY(writeFile(path, readFile(sample(u"several.ics"_s))));
        CalendarStore store(dir.path());
        QCOMPARE(eventsOf(store).size(), 2);
        QVERIFY(store.removeEvent(*store.eventWithUID(u"two"_s), CalSpanThisEvent));
        QVERIFY(store.removeTask(*store.taskWithUID(u"three"_s)));
        QVERIFY(!store.eventWithUID(u"two"_s));
        QCOMPARE(lines(readFile(path)).filter(u"UID:"_s), QStringList{u"UID:one"_s}); // "one" is still in it
        QCOMPARE(CalendarStore(dir.path()).eventWithUID(u"one"_s)->title(), u"One"_s);
    }

    // An edit rewrites only the changed property's line, a removal takes only its item's lines
    // and a move carries the item's lines along: every other line keeps its bytes, whatever
    // libical makes of it (unknown properties, parameters and components, folding, LF ends).
    void writesKeepEveryOtherLine()
    {
        OneCalendar dir;
        makeCalendar(dir, u"other"_s, "Other");
        const QByteArray head = "BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//Other//EN\nTZ:+01\n", tail = "END:VCALENDAR\n";
        const QByteArray a = "BEGIN:VEVENT\nUID:a\nDTSTAMP:20240101T000000Z\nDTSTART:20240601T100000Z\n"
                             "SUMMARY;FOO=bar:Old\nDESCRIPTION:folded by another program at a pl\n ace of its own\n"
                             "GEO:;\nDCREATED:20240101T000000\nRELATED-TO;GROUP=x:b\ncategories:one,two\n"
                             "EXDATE:20240608T100000Z,20240615T100000Z\nBEGIN:X-THING\nA:b\nEND:X-THING\nEND:VEVENT\n";
        const QByteArray b = "BEGIN:VEVENT\nUID:b\nDTSTART:20240602T100000Z\nSUMMARY;FOO=bar:Bee\nGEO:;\nEND:VEVENT\n";
        const QByteArray c = "BEGIN:VTODO\nUID:c\nSUMMARY:See\nGEO:;\nEND:VTODO\n";
        const QString path = dir.filePath(u"cal/abc.ics"_s);
        QVERIFY(writeFile(path, head + a + b + c + tail));
        CalendarStore store(dir.path());
        const QDateTime since = QDateTime::currentDateTimeUtc().addSecs(-1);

        CalEvent ea = *store.eventWithUID(u"a"_s);
        ea.setTitle(u"New"_s);
        QVERIFY(store.saveEvent(ea, CalSpanThisEvent));
        const QByteArray edited = QByteArray(a)
                                      .replace("SUMMARY;FOO=bar:Old", "SUMMARY;FOO=bar:New")
                                      .replace("DTSTAMP:20240101T000000Z", "DTSTAMP:<saved>")
                                      .replace("BEGIN:X-THING", "LAST-MODIFIED:<saved>\nBEGIN:X-THING");
        QCOMPARE(maskStamps(readFile(path), since), head + edited + b + c + tail);

        QVERIFY(store.removeTask(*store.taskWithUID(u"c"_s)));
        QCOMPARE(maskStamps(readFile(path), since), head + edited + b + tail);

        CalEvent eb = *store.eventWithUID(u"b"_s);
        eb.setCalendarUid(u"other"_s);
        QVERIFY(store.saveEvent(eb, CalSpanThisEvent));
        QCOMPARE(maskStamps(readFile(path), since), head + edited + tail);
        const QByteArray moved = QByteArray(b).replace("END:VEVENT", "DTSTAMP:<saved>\nLAST-MODIFIED:<saved>\nEND:VEVENT");
        QCOMPARE(maskStamps(readFile(dir.filePath(u"other/b.ics"_s)), since), head + moved + tail);
    }

    void tasksSaveMergeAndRemove()
    {
        OneCalendar dir;
        CalendarStore store(dir.path());
        CalTask task = CalTask::task();
        task.setCalendarUid(u"cal"_s);
        task.setTitle(u"Call"_s);
        task.setDueDate(QDateTime(QDate(2024, 2, 1), QTime(0, 0)));
        QVERIFY(store.saveTask(task));
        task.setIsCompleted(true);
        QVERIFY(store.saveTask(task));
        QVERIFY(store.taskWithUID(task.uid())->isCompleted());
        const QString path = dir.filePath(u"cal/"_s + task.uid() + u".ics"_s);
        QVERIFY(readFile(path).contains("STATUS:COMPLETED"));
        task.setIsCompleted(false);
        QVERIFY(store.saveTask(task));
        QVERIFY(!store.taskWithUID(task.uid())->isCompleted());
        QVERIFY(!readFile(path).contains("COMPLETED:"));

        // Another program's change to another field is taken in; the same change on both sides is no conflict.
        QByteArray theirs = readFile(path);
        theirs.replace("SUMMARY:Call", "SUMMARY:Same\r\nPRIORITY:5");
        QVERIFY(writeFile(path, theirs));
        task.setTitle(u"Same"_s);
        QVERIFY(store.saveTask(task));
        QCOMPARE(task.priority(), 5);

        QVERIFY(store.removeTask(task));
        QVERIFY(!QFile::exists(path));
        QVERIFY(!store.taskWithUID(task.uid()));
        CalTask nowhere = CalTask::task();
        QCOMPARE(store.saveTask(nowhere).error().code, ZEM_Error::InvalidArgument);
        nowhere.setCalendarUid(u"missing"_s);
        QCOMPARE(store.saveTask(nowhere).error().code, ZEM_Error::NotFound);
    }

    void movingBetweenCalendars()
    {
        QTemporaryDir dir;
        makeCalendar(dir, u"a"_s, "A");
        makeCalendar(dir, u"b"_s, "B");
        QVERIFY(writeFile(dir.filePath(u"a/series-1.ics"_s), kSeries));
        CalendarStore store(dir.path());
        CalEvent e = *store.eventWithUID(u"series-1"_s);
        e.setCalendarUid(u"b"_s);
        QVERIFY(store.saveEvent(e, CalSpanFutureEvents));
        QVERIFY(!QFile::exists(dir.filePath(u"a/series-1.ics"_s)));
        QVERIFY(QFile::exists(dir.filePath(u"b/series-1.ics"_s)));
        QCOMPARE(eventsOf(store, u"series-1"_s).size(), 4); // the detached occurrence moved along
        QCOMPARE(store.eventWithUID(u"series-1"_s)->calendarUid(), u"b"_s);
    }

    void readOnlyCalendarsRefuseWrites()
    {
        QTemporaryDir dir;
        const QString ro = makeCalendar(dir, u"ro"_s, "Read only");
        QVERIFY(writeFile(ro + u"/.zem-calendar.json"_s, R"({"type": "Subscription", "editable": false})"));
        QVERIFY(writeFile(ro + u"/rich.ics"_s, kRichEvent));
        CalendarStore store(dir.path());
        CalEvent e = *store.eventWithUID(u"rich-1"_s);
        e.setTitle(u"No"_s);
        QCOMPARE(store.saveEvent(e, CalSpanThisEvent).error().code, ZEM_Error::WriteFailed);
        QCOMPARE(store.removeEvent(e, CalSpanThisEvent).error().code, ZEM_Error::WriteFailed);
        QCOMPARE(readFile(ro + u"/rich.ics"_s), kRichEvent);
    }
};

ZEM_TEST_MAIN(tst_CalendarStoreSaves)
#include "tst_CalendarStoreSaves.moc"
