// Reading the calendar store: calendars, items, occurrences, samples and change notices;
// saving is tst_CalendarStoreSaves.
#include "CalendarFixture.h"
#include "ContentLines.h"

#include "foundation/ZEM_F_E_Notifications.h"

#include <QRegularExpression>
#include <QTimeZone>
#include <QSignalSpy>

using namespace caltest;
using zemtest::announced;

namespace {

// The items of \a store as the golden ".read" files show them: the problems the store met,
// then each item's fields, with an event's time zone and first occurrences.
QByteArray itemsRead(const CalendarStore &store, const QStringList &events, const QStringList &tasks)
{
    QStringList out = store.problems();
    const auto add = [&out](const QString &head, const QVariantMap &fields) {
        out << head;
        for (auto it = fields.cbegin(); it != fields.cend(); ++it)
            out << u"  %1: %2"_s.arg(it.key(), it->typeId() == QMetaType::QStringList ? it->toStringList().join(u" / "_s)
                                                                                   : it->toString())
                       .replace(u'\n', u"\\n"_s);
    };
    for (const QString &uid : events) {
        const CalEvent e = *store.eventWithUID(uid);
        QVariantMap fields = describe(e);
        const Qt::TimeSpec spec = e.startDate().timeSpec();
        fields.insert(u"zone"_s, spec == Qt::TimeZone ? QString::fromLatin1(e.startDate().timeZone().id())
                                                      : spec == Qt::UTC ? u"UTC"_s : u"floating"_s);
        fields.insert(u"stamp"_s, utc(e.dateStamp()));
        QStringList occurrences;
        for (const CalEvent &o : eventsOf(store, uid).mid(0, 6))
            occurrences << (o.isAllDay() ? o.startDate().date().toString(Qt::ISODate) + u" to "_s
                                               + o.endDate().date().toString(Qt::ISODate)
                                         : utc(o.startDate()) + u" to "_s + utc(o.endDate()))
                               + (o.isDetached() ? u" detached: "_s + o.title() : QString());
        fields.insert(u"occurrences"_s, occurrences);
        add(u"event "_s + uid, fields);
    }
    for (const QString &uid : tasks) {
        const CalTask t = *store.taskWithUID(uid);
        QVariantMap fields = describe(t);
        fields.insert(u"stamp"_s, utc(t.dateStamp()));
        add(u"task "_s + uid, fields);
    }
    return out.join(u'\n').toUtf8() + '\n';
}

} // namespace

class tst_CalendarStore : public QObject
{
    Q_OBJECT
private slots:
    void calendars()
    {
        QTemporaryDir dir;
        makeCalendar(dir, u"work"_s, "Work\n", "#FF000080");
        const QString home = makeCalendar(dir, u"home"_s, "Home", "#00ff00");
        QVERIFY(writeFile(home + u"/.zem-calendar.json"_s, R"({"type": "CalDAV", "notes": "Family things", "editable": false})"));
        QVERIFY(QDir().mkpath(dir.filePath(u"bare"_s)));
        QVERIFY(QDir().mkpath(dir.filePath(u".hidden"_s)));
        QVERIFY(writeFile(dir.filePath(u"work/readme.txt"_s), "not a calendar"));

        CalendarStore store(dir.path());
        QStringList titles;
        for (const CalCalendar &c : store.calendars())
            titles << c.title();
        QCOMPARE(titles, (QStringList{u"bare"_s, u"Home"_s, u"Work"_s})); // by title; a folder without one shows its name
        const CalCalendar work = *store.calendarWithUID(u"work"_s);
        QCOMPARE(work.color(), QColor(255, 0, 0, 128)); // "#RRGGBBAA"
        QCOMPARE(work.type(), kCalCalendarTypeLocal);
        QVERIFY(work.isEditable());
        const CalCalendar h = *store.calendarWithUID(u"home"_s);
        QCOMPARE(h.color(), QColor(0, 255, 0));
        QCOMPARE(h.type(), kCalCalendarTypeCalDAV);
        QCOMPARE(h.notes(), u"Family things"_s);
        QVERIFY(!h.isEditable());
        QVERIFY(!store.calendarWithUID(u".hidden"_s));

        // Saved, read again, removed.
        CalCalendar cal = CalCalendar::calendar();
        cal.setTitle(u"Birthdays"_s);
        cal.setColor(QColor(10, 20, 30));
        cal.setType(kCalCalendarTypeBirthday);
        cal.setNotes(u"From the address book"_s);
        QVERIFY(store.saveCalendar(cal));
        QCOMPARE(readFile(dir.filePath(cal.uid() + u"/displayname"_s)), "Birthdays"_ba);
        QCOMPARE(readFile(dir.filePath(cal.uid() + u"/color"_s)), "#0A141E"_ba);
        const CalCalendar read = *CalendarStore(dir.path()).calendarWithUID(cal.uid());
        QCOMPARE(read, cal);
        QCOMPARE(read.type(), kCalCalendarTypeBirthday);
        QCOMPARE(store.removeCalendar(CalCalendar::calendar()).error().code, ZEM_Error::NotFound);
        QVERIFY(store.removeCalendar(cal));
        QVERIFY(!QFileInfo::exists(dir.filePath(cal.uid())));
        QCOMPARE(store.calendars().size(), 3);
    }

    // The fields of the to-dos of todos.ics are in its golden files (see corpus()).
    void findsTasks()
    {
        QTemporaryDir dir;
        makeCalendar(dir, u"todo"_s, "To do");
        QVERIFY(writeFile(dir.filePath(u"todo/t.ics"_s), readFile(sample(u"todos.ics"_s))));
        CalendarStore store(dir.path());
        QCOMPARE(store.tasksWithPredicate(CalendarStore::taskPredicateWithCalendars(store.calendars())).size(), 2);
        QCOMPARE(store.tasksWithPredicate(CalendarStore::taskPredicateWithCalendars({CalCalendar::calendar()})).size(), 0);
        const QList<CalTask> open = store.tasksWithPredicate(CalendarStore::taskPredicateWithUncompletedTasks({}));
        QCOMPARE(open.size(), 1);
        QCOMPARE(open[0].uid(), u"t1"_s);
        QVERIFY(!store.eventWithUID(u"t1"_s)); // a to-do is not an event
        QVERIFY(!store.taskWithUID(u"missing"_s));
    }

    void findsOccurrences()
    {
        QTemporaryDir dir;
        makeCalendar(dir, u"work"_s, "Work");
        QVERIFY(writeFile(dir.filePath(u"work/series-1.ics"_s), kSeries));
        CalendarStore store(dir.path());
        // Where the occurrences fall across the change of clocks is in series.ics.read.expected.
        const QList<CalEvent> all = eventsOf(store);
        const QDateTime apr3(QDate(2024, 4, 3), QTime(7, 0), Qt::UTC), apr10(QDate(2024, 4, 10), QTime(7, 0), Qt::UTC);
        QCOMPARE(all[2].occurrence(), apr3);
        QCOMPARE(all[3].occurrence(), all[3].startDate());
        QCOMPARE(all[2].recurrenceRule()->recurrenceType(), CalRecurrenceRule::Weekly); // shows its series' rule

        // Ranges: an occurrence overlapping the start counts; one starting at the end does not;
        // the moved occurrence is found where it went, not where it was.
        const auto count = [&](const QDateTime &from, qint64 seconds, const QList<CalCalendar> &in = {}) {
            return store.eventsWithPredicate(CalendarStore::eventPredicateWithStartDate(from, from.addSecs(seconds), in)).size();
        };
        const QDateTime mar20(QDate(2024, 3, 20), QTime(8, 30), Qt::UTC);
        QCOMPARE(count(mar20, 60), 1);
        QCOMPARE(count(mar20.addSecs(-3600), 1800), 0);
        QCOMPARE(count(apr3, 3600), 0);
        QCOMPARE(count(apr3.addSecs(7200), 1800), 1);
        QCOMPARE(count(mar20, 60, {CalCalendar::calendar()}), 0);
        QCOMPARE(store.eventsWithPredicate({}).size(), 0); // a predicate without a range finds nothing

        // One occurrence by its original start.
        QCOMPARE(store.eventWithUID(u"series-1"_s)->startDate(), QDateTime(QDate(2024, 3, 13), QTime(8, 0), Qt::UTC));
        QCOMPARE(store.eventWithUID(u"series-1"_s, apr10)->startDate(), apr10);
        QCOMPARE(store.eventWithUID(u"series-1"_s, apr3)->title(), u"Standup (moved)"_s);
        QVERIFY(!store.eventWithUID(u"series-1"_s, QDateTime(QDate(2024, 3, 27), QTime(8, 0), Qt::UTC))); // excluded
        QVERIFY(!store.eventWithUID(u"series-1"_s, apr10.addSecs(60)));                                 // not one
        QVERIFY(!store.eventWithUID(u"series-1"_s, apr10.addDays(7)));                                  // after the count
    }

    void longSeriesAreEnteredNearTheRange()
    {
        OneCalendar dir;
        QVERIFY(writeFile(dir.filePath(u"cal/long.ics"_s),
                          calendar("BEGIN:VEVENT\nUID:long\nDTSTART;TZID=Europe/London:20000103T233000\n"
                                   "DTEND;TZID=Europe/London:20000104T003000\nRRULE:FREQ=WEEKLY;BYDAY=MO,WE,FR\n"
                                   "EXDATE;TZID=Europe/London:20240327T233000\nSUMMARY:Late\nEND:VEVENT\n"
                                   "BEGIN:VEVENT\nUID:secondly\nDTSTART:20240101T000000Z\nRRULE:FREQ=SECONDLY\n"
                                   "SUMMARY:Ticks\nEND:VEVENT\n")));
        CalendarStore store(dir.path());
        const auto starts = [&](const QDateTime &from, qint64 seconds, const QString &uid) {
            QStringList out;
            for (const CalEvent &e : store.eventsWithPredicate(
                     CalendarStore::eventPredicateWithStartDate(from, from.addSecs(seconds), uid, {})))
                out << utc(e.startDate());
            return out;
        };
        // The week of the spring change of clocks in 2024, 24 years after the start.
        const QDateTime from(QDate(2024, 3, 25), QTime(0, 0), Qt::UTC);
        QCOMPARE(starts(from, 8 * 86400, u"long"_s), (QStringList{u"2024-03-25T23:30:00Z"_s, u"2024-03-29T23:30:00Z"_s,
                                                                 u"2024-04-01T22:30:00Z"_s})); // summer time from 31 March
        // An occurrence that began the day before the range and runs into it is in it.
        QCOMPARE(starts(from.addDays(1), 900, u"long"_s), QStringList{u"2024-03-25T23:30:00Z"_s});
        // A rule that never ends gives what the range holds, far from its start too.
        const QDateTime later(QDate(2024, 6, 1), QTime(12, 0), Qt::UTC);
        const QStringList ticks = starts(later, 10, u"secondly"_s);
        QCOMPARE(ticks.size(), 10);
        QCOMPARE(ticks.first(), utc(later));
        QCOMPARE(ticks.last(), utc(later.addSecs(9)));
    }
    // Enough files to be read on several threads, defining "Europe/Berlin" two ways: each time
    // converts by its own file's definition, and what is reported comes in the files' order.
    void zonesByEachFilesDefinition()
    {
        OneCalendar dir;
        const auto write = [&](int i, const QByteArray &offset) {
            const QByteArray uid = "e" + QByteArray::number(i).rightJustified(2, '0');
            return writeFile(dir.filePath(u"cal/%1.ics"_s.arg(QString::fromLatin1(uid))),
                             crlf("BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:x\nBEGIN:VTIMEZONE\nTZID:Europe/Berlin\n"
                                  "BEGIN:STANDARD\nDTSTART:19700101T000000\nTZOFFSETFROM:" + offset + "\nTZOFFSETTO:"
                                  + offset + "\nEND:STANDARD\nEND:VTIMEZONE\nBEGIN:VEVENT\nUID:" + uid
                                  + "\nDTSTAMP:20240101T000000Z\nDTSTART;TZID=Europe/Berlin:20240701T100000\n"
                                    "RRULE:FREQ=DAILY;COUNT=2\n"
                                  + (i % 10 ? "" : "DTEND;TZID=Nowhere/Atlantis:20240701T110000\n")
                                  + "END:VEVENT\nEND:VCALENDAR\n"));
        };
        QStringList expectedProblems;
        for (int i = 0; i < 80; ++i) {
            QVERIFY(write(i, i % 2 ? "+0300" : "+0100"));
            if (i % 10 == 0)
                expectedProblems << u"cal/e%1.ics: unknown time zone “Nowhere/Atlantis”: read as local time"_s.arg(i, 2, 10, QLatin1Char('0'));
        }
        CalendarStore store(dir.path());
        QCOMPARE(store.problems(), expectedProblems);
        const auto startsOf = [&](int i) {
            QStringList out;
            for (const CalEvent &e : eventsOf(store, u"e%1"_s.arg(i, 2, 10, QLatin1Char('0'))))
                out << utc(e.startDate());
            return out;
        };
        for (int i = 0; i < 80; ++i) {
            const QString hour = i % 2 ? u"07"_s : u"09"_s;
            QCOMPARE(startsOf(i), (QStringList{u"2024-07-01T%1:00:00Z"_s.arg(hour), u"2024-07-02T%1:00:00Z"_s.arg(hour)}));
        }
        // A definition changed behind the store is read anew.
        QVERIFY(write(1, "+0400"));
        store.refresh();
        QCOMPARE(startsOf(1), (QStringList{u"2024-07-01T06:00:00Z"_s, u"2024-07-02T06:00:00Z"_s}));
        QCOMPARE(startsOf(3).first(), u"2024-07-01T07:00:00Z"_s);
    }

    void refreshAnnouncesChanges()
    {
        OneCalendar dir;
        QVERIFY(writeFile(dir.filePath(u"cal/rich.ics"_s), kRichEvent));
        QVERIFY(writeFile(dir.filePath(u"cal/d.ics"_s), daily("d")));
        CalendarStore store(dir.path());
        QSignalSpy events(&store, &CalendarStore::eventsChanged);
        QSignalSpy tasks(&store, &CalendarStore::tasksChanged);
        QSignalSpy calendars(&store, &CalendarStore::calendarsChanged);
        QList<ZEM_F_Notification> notices;
        QObject context;
        for (const QString &name : {kCalEventsChangedExternallyNotification, kCalTasksChangedExternallyNotification,
                                    kCalCalendarsChangedExternallyNotification})
            ZEM_F_E_Notifications::shared()->addObserver(&context, name, {},
                                                         [&](const ZEM_F_Notification &n) { notices.append(n); });

        store.refresh();
        QCOMPARE(events.size() + tasks.size() + calendars.size(), 0);

        QVERIFY(writeFile(dir.filePath(u"cal/rich.ics"_s), QByteArray(kRichEvent).replace("Room 4", "Room 6")));
        QVERIFY(QFile::remove(dir.filePath(u"cal/d.ics"_s)));
        QVERIFY(writeFile(dir.filePath(u"cal/new.ics"_s), daily("new")));
        QVERIFY(writeFile(dir.filePath(u"cal/todo.ics"_s), calendar("BEGIN:VTODO\nUID:todo\nSUMMARY:T\nEND:VTODO\n")));
        makeCalendar(dir, u"other"_s, "Other");
        QVERIFY(writeFile(dir.filePath(u"cal/color"_s), "#112233"));
        store.refresh();
        QCOMPARE(announced(events), QStringList{u"+new ~rich-1 -d by "_s});
        QCOMPARE(announced(tasks), QStringList{u"+todo ~ - by "_s});
        QCOMPARE(announced(calendars), QStringList{u"+other ~cal - by "_s});
        QCOMPARE(notices.size(), 3);
        for (const ZEM_F_Notification &n : std::as_const(notices))
            QCOMPARE(n.userInfo.value(kCalSenderProcessIDKey).toLongLong(), 0);
        const auto eventNotice = std::find_if(notices.cbegin(), notices.cend(), [](const ZEM_F_Notification &n) {
            return n.name == kCalEventsChangedExternallyNotification;
        });
        QCOMPARE(eventNotice->userInfo.value(kCalInsertedRecordsKey).toStringList(), QStringList{u"new"_s});
        QCOMPARE(eventNotice->userInfo.value(kCalDeletedRecordsKey).toStringList(), QStringList{u"d"_s});
        QCOMPARE(store.eventWithUID(u"rich-1"_s)->location(), u"Room 6"_s);

        // Our own saves are announced as ours.
        notices.clear();
        CalEvent e = *store.eventWithUID(u"rich-1"_s);
        e.setTitle(u"Mine"_s);
        QVERIFY(store.saveEvent(e, CalSpanThisEvent));
        QCOMPARE(notices.size(), 1);
        QCOMPARE(notices[0].userInfo.value(kCalSenderProcessIDKey).toLongLong(), QCoreApplication::applicationPid());
        QCOMPARE(notices[0].userInfo.value(kCalUpdatedRecordsKey).toStringList(), QStringList{u"rich-1"_s});
        ZEM_F_E_Notifications::shared()->removeObserver(&context);
    }

    void watcherAnnouncesChanges()
    {
        OneCalendar dir;
        CalendarStore store(dir.path(), true);
        QSignalSpy spy(&store, &CalendarStore::eventsChanged);
        QVERIFY(writeFile(dir.filePath(u"cal/d.ics"_s), daily("d")));
        QTRY_COMPARE(spy.size(), 1);
        QVERIFY(writeFile(dir.filePath(u"cal/d.ics"_s), daily("d", "LOCATION:Park\n")));
        QTRY_COMPARE(spy.size(), 2);
        QCOMPARE(store.eventWithUID(u"d"_s)->location(), u"Park"_s);
        QVERIFY(QFile::remove(dir.filePath(u"cal/d.ics"_s)));
        QTRY_COMPARE(spy.size(), 3);
        QCOMPARE(announced(spy), (QStringList{u"+d ~ - by "_s, u"+ ~d - by "_s, u"+ ~ -d by "_s}));
    }

    void badInputIsSkippedOrReadInPart()
    {
        OneCalendar dir;
        const auto event = [](const QByteArray &uid, const QByteArray &lines) {
            return calendar("BEGIN:VEVENT\nUID:" + uid + '\n' + lines + "END:VEVENT\n");
        };
        QVERIFY(writeFile(dir.filePath(u"cal/good.ics"_s), daily("good")));
        QVERIFY(writeFile(dir.filePath(u"cal/garbage.ics"_s), "this is not a calendar\n\x01\x02"));
        QVERIFY(writeFile(dir.filePath(u"cal/cut.ics"_s), "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:cut\r\nSUMMARY:x"));
        QVERIFY(writeFile(dir.filePath(u"cal/empty.ics"_s), ""));
        QVERIFY(writeFile(dir.filePath(u"cal/picture.jpg"_s), "\xFF\xD8\xFF\xE0 not ics"));
        QVERIFY(writeFile(dir.filePath(u"cal/zone.ics"_s),
                          event("zone", "DTSTART;TZID=Nowhere/Atlantis:20240601T100000\n"
                                        "DTEND;TZID=Nowhere/Atlantis:20240601T110000\nSUMMARY:Lost city\n")));
        QVERIFY(writeFile(dir.filePath(u"cal/rule.ics"_s),
                          event("rule", "DTSTART:20240601T100000Z\nRRULE:FREQ=WEEKLY;BYDAY=XX\nSUMMARY:Odd rule\n")));
        CalendarStore store(dir.path());
        QCOMPARE(eventsOf(store, u"good"_s).size(), 5);
        QVERIFY(!store.eventWithUID(u"cut"_s));
        const QString problems = store.problems().join(u'\n');
        QVERIFY2(problems.contains(u"garbage.ics: not an iCalendar file"_s), qPrintable(problems));
        QVERIFY2(problems.contains(u"Nowhere/Atlantis"_s), qPrintable(problems));
        QVERIFY2(problems.contains(u"rule.ics"_s), qPrintable(problems));

        // An unknown zone reads as local time.
        QCOMPARE(store.eventWithUID(u"zone"_s)->startDate(), QDateTime(QDate(2024, 6, 1), QTime(10, 0)));
        // A rule libical rejects leaves a single event, and survives an edit of another field.
        CalEvent odd = *store.eventWithUID(u"rule"_s);
        QVERIFY(!odd.recurrenceRule());
        QCOMPARE(eventsOf(store, u"rule"_s).size(), 1);
        odd.setTitle(u"Still odd"_s);
        QVERIFY(store.saveEvent(odd, CalSpanThisEvent));
        QVERIFY(lines(readFile(dir.filePath(u"cal/rule.ics"_s))).contains(u"RRULE:FREQ=WEEKLY;BYDAY=XX"_s));

        // A line libical cannot read at all stays through an edit of another line, and no copy
        // of the file is kept beside.
        const QByteArray dropped = event("odd", "DTSTART:20240601T100000Z\nFOOBAR;Q=1:zz\nSUMMARY:Odd\n");
        QVERIFY(writeFile(dir.filePath(u"cal/odd.ics"_s), dropped));
        store.refresh();
        CalEvent oddEvent = *store.eventWithUID(u"odd"_s);
        oddEvent.setTitle(u"Even"_s);
        QVERIFY(store.saveEvent(oddEvent, CalSpanThisEvent));
        QVERIFY(lines(readFile(dir.filePath(u"cal/odd.ics"_s))).contains(u"FOOBAR;Q=1:zz"_s));
        QVERIFY(!QFile::exists(dir.filePath(u"cal/.zem-originals"_s)));
        QCOMPARE(store.eventWithUID(u"odd"_s)->title(), u"Even"_s);

        // Lines that cannot be told apart as libical reads them (an END of nothing open): the
        // file is written whole, and kept beside as it was.
        const QByteArray stray = event("stray", "DTSTART:20240601T100000Z\nFOOBAR:x\nEND:VTHING\n");
        QVERIFY(writeFile(dir.filePath(u"cal/stray.ics"_s), stray));
        store.refresh();
        CalEvent whole = *store.eventWithUID(u"stray"_s);
        whole.setTitle(u"Whole"_s);
        QVERIFY(store.saveEvent(whole, CalSpanThisEvent));
        QCOMPARE(readFile(dir.filePath(u"cal/.zem-originals/stray.ics"_s)), stray);
        QVERIFY(!store.calendarWithUID(u".zem-originals"_s));
    }

    // Files as other programs write them: items without a UID, bare items without a calendar
    // around them, Latin-1 text, a date-time EXDATE on an all-day series, an event without a
    // start, a cancelled to-do.
    void everyRealFileIsRead()
    {
        OneCalendar dir;
        const QString noUid = dir.filePath(u"cal/nouid.ics"_s);
        QVERIFY(writeFile(noUid, "BEGIN:VCALENDAR\nVERSION:2.0\nBEGIN:VEVENT\nDTSTART:20240601T100000Z\nSUMMARY:First\n"
                                 "END:VEVENT\nBEGIN:VEVENT\nDTSTART:20240602T100000Z\nSUMMARY:Second\nEND:VEVENT\nEND:VCALENDAR\n"));
        const QString bare = dir.filePath(u"cal/bare.ics"_s);
        QVERIFY(writeFile(bare, "BEGIN:VEVENT\nUID:b1\nDTSTART:20240603T100000Z\nSUMMARY:B1\nEND:VEVENT\n"
                                "BEGIN:VEVENT\nUID:b2\nDTSTART:20240604T100000Z\nSUMMARY:B2\nEND:VEVENT\n"));
        const QString latin = dir.filePath(u"cal/latin.ics"_s);
        QVERIFY(writeFile(latin, "BEGIN:VCALENDAR\nVERSION:2.0\nBEGIN:VEVENT\nUID:l\nDTSTART:20240605T100000Z\n"
                                 "SUMMARY:Tv\xe5\nLOCATION:K\xf6ln\nEND:VEVENT\nEND:VCALENDAR\n"));
        QVERIFY(writeFile(dir.filePath(u"cal/exdate.ics"_s),
                          "BEGIN:VCALENDAR\nVERSION:2.0\nBEGIN:VEVENT\nUID:x\nDTSTART;VALUE=DATE:20240701\n"
                          "RRULE:FREQ=DAILY;COUNT=3\nEXDATE;TZID=Europe/London:20240702T000000\nSUMMARY:Days\n"
                          "END:VEVENT\nEND:VCALENDAR\n"));
        QVERIFY(writeFile(dir.filePath(u"cal/nostart.ics"_s),
                          "BEGIN:VCALENDAR\nVERSION:2.0\nBEGIN:VEVENT\nUID:n\nDTSTAMP:20240610T090000Z\nSUMMARY:When?\n"
                          "END:VEVENT\nEND:VCALENDAR\n"));
        QVERIFY(writeFile(dir.filePath(u"cal/cancelled.ics"_s),
                          "BEGIN:VCALENDAR\nVERSION:2.0\nBEGIN:VTODO\nUID:c\nSUMMARY:Never mind\nSTATUS:CANCELLED\n"
                          "END:VTODO\nEND:VCALENDAR\n"));
        CalendarStore store(dir.path());
        const QString problems = store.problems().join(u'\n');

        // Items without a UID: the same uid at every read, written into the file only when saved.
        QMap<QString, QString> uidOf; // by title
        QStringList titles;
        for (const CalEvent &e : eventsOf(store))
            titles << e.title(), uidOf.insert(e.title(), e.uid());
        titles.sort();
        QCOMPARE(titles, (QStringList{u"B1"_s, u"B2"_s, u"Days"_s, u"Days"_s, u"First"_s, u"Second"_s, u"Två"_s,
                                      u"When?"_s}));
        const QStringList uids{uidOf.value(u"First"_s), uidOf.value(u"Second"_s)};
        QVERIFY(!uids[0].isEmpty() && uids[0] != uids[1]);
        QCOMPARE(CalendarStore(dir.path()).eventWithUID(uids[1])->title(), u"Second"_s);
        QVERIFY(!readFile(noUid).contains("UID"));
        CalEvent second = *store.eventWithUID(uids[1]);
        second.setTitle(u"Zwei"_s);
        QVERIFY(store.saveEvent(second, CalSpanThisEvent));
        QCOMPARE(lines(readFile(noUid)).filter(u"UID"_s), QStringList{u"UID:"_s + uids[1]});
        QCOMPARE(CalendarStore(dir.path()).eventWithUID(uids[0])->title(), u"First"_s);

        // Bare items stay bare when one of them is saved, with the zone it now needs beside it.
        CalEvent b2 = *store.eventWithUID(u"b2"_s);
        const QDateTime paris(QDate(2024, 6, 4), QTime(9, 0), QTimeZone("Europe/Paris"));
        b2.setStartDate(paris);
        b2.setEndDate(paris.addSecs(3600));
        QVERIFY(store.saveEvent(b2, CalSpanThisEvent));
        QVERIFY(!readFile(bare).contains("VCALENDAR"));
        QCOMPARE(CalendarStore(dir.path()).eventWithUID(u"b2"_s)->startDate(), paris);

        // Latin-1: read by detection and said; an edit keeps the other lines' bytes.
        QVERIFY2(problems.contains(u"latin.ics: not in UTF-8; read as Latin-1"_s), qPrintable(problems));
        CalEvent tva = *store.eventWithUID(u"l"_s);
        QCOMPARE(tva.location(), u"Köln"_s);
        tva.setTitle(u"Två två"_s);
        QVERIFY(store.saveEvent(tva, CalSpanThisEvent));
        QVERIFY(readFile(latin).contains("LOCATION:K\xf6ln\n"));
        QCOMPARE(CalendarStore(dir.path()).eventWithUID(u"l"_s)->title(), u"Två två"_s);

        // The excluded date-time falls on 2 July: that day is not an occurrence.
        QStringList days;
        for (const CalEvent &e : eventsOf(store, u"x"_s))
            days << e.startDate().date().toString(Qt::ISODate);
        QCOMPARE(days, (QStringList{u"2024-07-01"_s, u"2024-07-03"_s}));

        // Without a start: shown on the day it was stamped, and said.
        QVERIFY2(problems.contains(u"nostart.ics: event n has no start"_s), qPrintable(problems));
        QCOMPARE(store.eventWithUID(u"n"_s)->startDate().date(), QDate(2024, 6, 10));

        QCOMPARE(store.tasksWithPredicate(CalendarStore::taskPredicateWithUncompletedTasks({})).size(), 0);
        QCOMPARE(store.tasksWithPredicate(CalendarStore::taskPredicateWithCalendars({})).size(), 1);
    }

    void corpus_data()
    {
        QTest::addColumn<QString>("file");
        const QDir data(QStringLiteral(ZEM_SOURCE_DIR "/tests/platform/data/ics"));
        const QStringList files = data.entryList({u"*.ics"_s}, QDir::Files, QDir::Name);
        QVERIFY(files.size() >= 5);
        for (const QString &f : files)
            QTest::newRow(qPrintable(f)) << data.filePath(f);
    }

    // Each sample loads with every item it holds, as its golden file NAME.ics.read.expected
    // shows them; exported and read again, every item keeps its fields; saved unchanged, the
    // file stays as it was; with every item renamed, every other field stays, the only lines
    // that differ are the titles and the stamps of the saves, and the file is the golden
    // NAME.ics.expected (with those stamps shown as "<saved>").
    void corpus()
    {
        QFETCH(QString, file);
        QTemporaryDir dir;
        makeCalendar(dir, u"cal"_s, "Corpus");
        const QString path = dir.filePath(u"cal/item.ics"_s);
        const QByteArray original = readFile(file);
        QVERIFY(writeFile(path, original));
        CalendarStore store(dir.path());
        const CalItemsRead read = CalendarStore::readICalendarData(original);
        QStringList eventUids, taskUids;
        for (const CalEvent &e : read.events) {
            const CalItemsRead again = CalendarStore::readICalendarData(CalendarStore::iCalendarData(e));
            QCOMPARE(again.events.size(), 1);
            QCOMPARE(describe(again.events[0]), describe(e));
            if (!eventUids.contains(e.uid()))
                eventUids << e.uid();
        }
        for (const CalTask &t : read.tasks) {
            QCOMPARE(describe(CalendarStore::readICalendarData(CalendarStore::iCalendarData(t)).tasks.value(0)), describe(t));
            taskUids << t.uid();
        }
        QCOMPARE(store.tasksWithPredicate({}).size(), taskUids.size());
        ZEM_COMPARE_GOLDEN(itemsRead(store, eventUids, taskUids), file + u".read.expected"_s);

        for (const QString &uid : std::as_const(eventUids)) {
            CalEvent e = *store.eventWithUID(uid);
            QVERIFY(!e.hasChanges());
            QVERIFY(store.saveEvent(e, CalSpanThisEvent));
        }
        QCOMPARE(readFile(path), original);

        const QDateTime saved = QDateTime::currentDateTimeUtc().addSecs(-1);
        for (const QString &uid : std::as_const(eventUids)) {
            CalEvent e = *store.eventWithUID(uid);
            e.setTitle(u"Renamed"_s);
            const QVariantMap wanted = describe(e);
            QVERIFY(store.saveEvent(e, CalSpanFutureEvents));
            QCOMPARE(describe(*CalendarStore(dir.path()).eventWithUID(uid)), wanted);
        }
        for (const QString &uid : std::as_const(taskUids)) {
            CalTask t = *store.taskWithUID(uid);
            t.setTitle(u"Renamed"_s);
            const QVariantMap wanted = describe(t);
            QVERIFY(store.saveTask(t));
            QCOMPARE(describe(*CalendarStore(dir.path()).taskWithUID(uid)), wanted);
        }
        const QByteArray written = readFile(path);
        // Byte for byte, every line but those of the title and the stamps of a change.
        const auto [gone, added] = zemtest::lineDiff(zemtest::rawLines(original), zemtest::rawLines(written));
        for (const QByteArray &line : gone + added)
            QVERIFY2(QList<QByteArray>({"SUMMARY", "DTSTAMP", "LAST-MODIFIED"}).contains(zemtest::propertyName(line)), line);
        ZEM_COMPARE_GOLDEN(maskStamps(written, saved), file + u".expected"_s);
    }

    void defaultStore()
    {
        QTemporaryDir dir;
        CalendarStore::setDefaultFolder(dir.filePath(u"cals"_s));
        CalendarStore::resetDefaultCalendarStore();
        CalendarStore *store = CalendarStore::defaultCalendarStore();
        QCOMPARE(store, CalendarStore::defaultCalendarStore());
        QCOMPARE(store->folder(), QDir(dir.filePath(u"cals"_s)).absolutePath());
        QVERIFY(QFileInfo(store->folder()).isDir());
        CalendarStore::resetDefaultCalendarStore();
        CalendarStore::setDefaultFolder({});
        QVERIFY(CalendarStore::defaultFolder().startsWith(ZemTestEnv::current()->dataHome()));
    }
};

ZEM_TEST_MAIN(tst_CalendarStore)
#include "tst_CalendarStore.moc"
