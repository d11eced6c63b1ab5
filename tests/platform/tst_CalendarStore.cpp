#include "TestFiles.h"
#include "ZemTestEnv.h"

#include "foundation/ZEM_F_E_Notifications.h"
#include "platform/calendarstore/CalendarStore.h"

#include <QDirIterator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimeZone>

#include <ctime>
#include <functional>

using namespace platform;
using namespace Qt::StringLiterals;
using zemtest::crlf;
using zemtest::readFile;
using zemtest::writeFile;

using Edit = std::function<void(CalEvent &)>; // none: remove the occurrence
Q_DECLARE_METATYPE(Edit)

namespace {

QStringList lines(const QByteArray &text)
{
    QStringList out;
    for (const QByteArray &line : zemtest::unfoldedLines(text))
        out.append(QString::fromUtf8(line));
    return out;
}

// The lines of the events and to-dos (not of zones or alarms) that start with one of \a prefixes.
QStringList linesStarting(const QByteArray &text, const QStringList &prefixes)
{
    QStringList out;
    int depth = 0;
    for (const QString &l : lines(text)) {
        if (l == u"BEGIN:VEVENT" || l == u"BEGIN:VTODO")
            depth = 1;
        else if (l.startsWith(u"BEGIN:"_s) && depth)
            ++depth;
        else if (l.startsWith(u"END:"_s) && depth)
            --depth;
        else if (depth == 1 && std::any_of(prefixes.begin(), prefixes.end(), [&](const QString &p) { return l.startsWith(p); }))
            out.append(l);
    }
    return out;
}

// A calendar folder with a title and colour; its path, empty when it could not be made.
QString makeCalendar(const QTemporaryDir &dir, const QString &uid, const QByteArray &title,
                     const QByteArray &color = "#3366CC")
{
    const QString path = dir.filePath(uid);
    const bool made = writeFile(path + u"/displayname"_s, title)
                      && (color.isEmpty() || writeFile(path + u"/color"_s, color));
    return made ? path : QString();
}

// Every file under \a root with its bytes.
QMap<QString, QByteArray> snapshot(const QString &root)
{
    QMap<QString, QByteArray> out;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        out.insert(QDir(root).relativeFilePath(path), readFile(path));
    }
    return out;
}

QString utc(const QDateTime &dt)
{
    return dt.toUTC().toString(Qt::ISODate);
}

// Every field of an event or to-do, for comparing two reads.
QVariantMap describe(const CalCalendarItem &item)
{
    QVariantMap m{{u"uid"_s, item.uid()}, {u"title"_s, item.title()}, {u"notes"_s, item.notes()},
                  {u"url"_s, item.url()}, {u"calendar"_s, item.calendarUid()}};
    QStringList alarms;
    for (const CalAlarm &a : item.alarms())
        alarms << u"%1|%2|%3|%4|%5|%6"_s.arg(a.action(), a.emailAddress(), a.sound(), a.url().toString(),
                                              utc(a.absoluteTrigger()))
                      .arg(a.relativeTrigger());
    m.insert(u"alarms"_s, alarms);
    return m;
}

QVariantMap describe(const CalEvent &e)
{
    QVariantMap m = describe(static_cast<const CalCalendarItem &>(e));
    m.insert(u"start"_s, e.isAllDay() ? e.startDate().toString(Qt::ISODate) : utc(e.startDate()));
    m.insert(u"end"_s, e.isAllDay() ? e.endDate().toString(Qt::ISODate) : utc(e.endDate()));
    m.insert(u"allDay"_s, e.isAllDay());
    m.insert(u"location"_s, e.location());
    QStringList attendees;
    for (const CalAttendee &a : e.attendees())
        attendees << a.commonName() + u'|' + a.address().toString() + u'|' + a.status();
    m.insert(u"attendees"_s, attendees);
    if (const auto rule = e.recurrenceRule()) {
        const auto end = rule->recurrenceEnd();
        m.insert(u"rule"_s, u"%1/%2/%3/%4"_s.arg(rule->recurrenceType()).arg(rule->recurrenceInterval())
                               .arg(end ? utc(end->endDate()) : QString())
                               .arg(end ? end->occurrenceCount() : -1));
    }
    return m;
}

QVariantMap describe(const CalTask &t)
{
    QVariantMap m = describe(static_cast<const CalCalendarItem &>(t));
    m.insert(u"priority"_s, t.priority());
    m.insert(u"due"_s, t.dueDate().toString(Qt::ISODate));
    m.insert(u"completed"_s, utc(t.completedDate()));
    m.insert(u"isCompleted"_s, t.isCompleted());
    return m;
}

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

QString sample(const QString &name)
{
    return QStringLiteral(ZEM_SOURCE_DIR "/tests/platform/data/ics/") + name;
}

// An event with every field the kit maps and some it does not, and four kinds of alarm.
const QByteArray kRichEvent = readFile(sample(u"rich.ics"_s));

// Weekly at 09:00 Berlin time across the spring change of clocks (31 March 2024), with one
// week excluded and one moved.
const QByteArray kSeries = readFile(sample(u"series.ics"_s));

// Daily at 08:00 New York time (12:00 UTC), 1 to 5 May 2024; \a extra goes into the event,
// \a after behind it.
QByteArray daily(const QByteArray &uid, const QByteArray &extra = {}, const QByteArray &after = {})
{
    return crlf("BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//Example//Test//EN\nBEGIN:VEVENT\nUID:" + uid
                + "\nDTSTAMP:20240101T000000Z\nDTSTART;TZID=America/New_York:20240501T080000\n"
                  "DTEND;TZID=America/New_York:20240501T083000\nRRULE:FREQ=DAILY;COUNT=5\nSUMMARY:Daily\n"
                + extra + "END:VEVENT\n" + after + "END:VCALENDAR\n");
}

// An occurrence of "d" moved to \a time New York time and named \a title.
QByteArray detached(const QByteArray &day, const QByteArray &time, const QByteArray &title)
{
    return "BEGIN:VEVENT\nUID:d\nRECURRENCE-ID;TZID=America/New_York:202405" + day + "T080000\n"
           "DTSTART;TZID=America/New_York:202405" + day + 'T' + time + "\nDTEND;TZID=America/New_York:202405"
           + day + 'T' + time.left(2) + "5900\nSUMMARY:" + title + "\nEND:VEVENT\n";
}

QList<CalEvent> eventsOf(const CalendarStore &store, const QString &uid = {})
{
    return store.eventsWithPredicate(CalendarStore::eventPredicateWithStartDate(
        QDateTime(QDate(1990, 1, 1), QTime(0, 0), Qt::UTC), QDateTime(QDate(2040, 1, 1), QTime(0, 0), Qt::UTC),
        uid, store.calendars()));
}

// What a store announced, one line a signal: "+inserted ~updated -deleted by sender".
QStringList announced(const QSignalSpy &spy)
{
    QStringList out;
    for (const QList<QVariant> &args : spy)
        out << u"+%1 ~%2 -%3 by %4"_s.arg(args[0].toStringList().join(u','), args[1].toStringList().join(u','),
                                          args[2].toStringList().join(u','), args[3].toString());
    return out;
}

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
    void calendars();
    void findsTasks();
    void writesEveryFieldAndReadsItBack_data();
    void writesEveryFieldAndReadsItBack();
    void newItemWithATakenUidIsRefused_data();
    void newItemWithATakenUidIsRefused();
    void findsOccurrences();
    void longSeriesAreEnteredNearTheRange();
    void allDayAndFloatingKeepTheirDates_data();
    void allDayAndFloatingKeepTheirDates();
    void editingASeries_data();
    void editingASeries();
    void filesHoldingSeveralItems();
    void tasksSaveMergeAndRemove();
    void movingBetweenCalendars();
    void readOnlyCalendarsRefuseWrites();
    void otherProgramsEdits_data();
    void otherProgramsEdits();
    void refreshAnnouncesChanges();
    void watcherAnnouncesChanges();
    void badInputIsSkippedOrReadInPart();
    void corpus_data();
    void corpus();
    void defaultStore();
};

void tst_CalendarStore::calendars()
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
void tst_CalendarStore::findsTasks()
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

void tst_CalendarStore::writesEveryFieldAndReadsItBack_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::newRow("Berlin") << "Europe/Berlin"_ba;
    QTest::newRow("Los Angeles") << "America/Los_Angeles"_ba;
    QTest::newRow("UTC") << "UTC"_ba;
}

void tst_CalendarStore::writesEveryFieldAndReadsItBack()
{
    QFETCH(QByteArray, zone);
    const auto inZone = timeZone(zone);
    QTemporaryDir dir;
    makeCalendar(dir, u"cal"_s, "Cal");
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

void tst_CalendarStore::newItemWithATakenUidIsRefused_data()
{
    QTest::addColumn<QByteArray>("item");  // the calendar the new item is read from
    QTest::addColumn<bool>("writtenLater"); // the item with that UID came after the store read the folder

    QTest::newRow("an event's UID") << kRichEvent << false;
    QTest::newRow("a to-do with an event's UID")
        << crlf("BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:x\nBEGIN:VTODO\nUID:rich-1\nSUMMARY:T\nEND:VTODO\nEND:VCALENDAR\n")
        << false;
    QTest::newRow("a UID another program wrote since") << kRichEvent << true;
}

void tst_CalendarStore::newItemWithATakenUidIsRefused()
{
    QFETCH(QByteArray, item);
    QFETCH(bool, writtenLater);
    QTemporaryDir dir;
    makeCalendar(dir, u"cal"_s, "Cal");
    const QString path = dir.filePath(u"cal/rich.ics"_s);
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

void tst_CalendarStore::findsOccurrences()
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

void tst_CalendarStore::longSeriesAreEnteredNearTheRange()
{
    QTemporaryDir dir;
    makeCalendar(dir, u"cal"_s, "Cal");
    QVERIFY(writeFile(dir.filePath(u"cal/long.ics"_s), crlf(R"(BEGIN:VCALENDAR
VERSION:2.0
PRODID:x
BEGIN:VEVENT
UID:long
DTSTART;TZID=Europe/London:20000103T233000
DTEND;TZID=Europe/London:20000104T003000
RRULE:FREQ=WEEKLY;BYDAY=MO,WE,FR
EXDATE;TZID=Europe/London:20240327T233000
SUMMARY:Late
END:VEVENT
BEGIN:VEVENT
UID:secondly
DTSTART:20240101T000000Z
RRULE:FREQ=SECONDLY
SUMMARY:Ticks
END:VEVENT
END:VCALENDAR
)")));
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

void tst_CalendarStore::allDayAndFloatingKeepTheirDates_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::newRow("UTC") << "UTC"_ba;
    QTest::newRow("Honolulu") << "Pacific/Honolulu"_ba;
    QTest::newRow("Kiritimati") << "Pacific/Kiritimati"_ba;
    QTest::newRow("Berlin") << "Europe/Berlin"_ba;
}

void tst_CalendarStore::allDayAndFloatingKeepTheirDates()
{
    QFETCH(QByteArray, zone);
    const auto inZone = timeZone(zone);
    QTemporaryDir dir;
    makeCalendar(dir, u"cal"_s, "Cal");
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

void tst_CalendarStore::editingASeries_data()
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

void tst_CalendarStore::editingASeries()
{
    QFETCH(QByteArray, file);
    QFETCH(int, index);
    QFETCH(int, span);
    QFETCH(Edit, edit);
    QFETCH(int, error);
    QFETCH(QStringList, occurrences);
    QFETCH(QStringList, lines);

    QTemporaryDir dir;
    makeCalendar(dir, u"cal"_s, "Cal");
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
void tst_CalendarStore::filesHoldingSeveralItems()
{
    QTemporaryDir dir;
    makeCalendar(dir, u"cal"_s, "Cal");
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

void tst_CalendarStore::tasksSaveMergeAndRemove()
{
    QTemporaryDir dir;
    makeCalendar(dir, u"cal"_s, "Cal");
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

void tst_CalendarStore::movingBetweenCalendars()
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

void tst_CalendarStore::readOnlyCalendarsRefuseWrites()
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

void tst_CalendarStore::otherProgramsEdits_data()
{
    QTest::addColumn<QByteArray>("theirs"); // the file as another program left it; empty: removed
    QTest::addColumn<bool>("remove");       // we remove the event, else we retitle it "Ours"
    QTest::addColumn<QString>("conflict");  // why the save is refused; empty: it succeeds
    QTest::addColumn<QStringList>("lines"); // lines the file then holds

    QByteArray other = kRichEvent;
    other.replace("Room 4", "Room 5").replace("kept:keep me", "kept:theirs");
    QTest::newRow("other fields are merged") << other << false << QString()
                                             << QStringList{u"SUMMARY:Ours"_s, u"LOCATION;LANGUAGE=de:Room 5"_s,
                                                            u"X-CUSTOM-THING;X-PARAM=kept:theirs"_s};
    QTest::newRow("the same change") << QByteArray(kRichEvent).replace("SUMMARY:Planning", "SUMMARY:Ours") << false
                                     << QString() << QStringList{u"SUMMARY:Ours"_s};
    // Conflicts keep both sides: the file as they wrote it, our edit in our item.
    QTest::newRow("the same field") << QByteArray(kRichEvent).replace("SUMMARY:Planning", "SUMMARY:Theirs") << false
                                    << u"both changed the title"_s << QStringList{u"SUMMARY:Theirs"_s};
    QTest::newRow("changed there, removed here") << other << true << u"it was changed there and removed here"_s
                                                 << QStringList{u"LOCATION;LANGUAGE=de:Room 5"_s};
    QTest::newRow("removed there, changed here") << QByteArray() << false << u"its file was removed there"_s
                                                 << QStringList{};
}

void tst_CalendarStore::otherProgramsEdits()
{
    QFETCH(QByteArray, theirs);
    QFETCH(bool, remove);
    QFETCH(QString, conflict);
    QFETCH(QStringList, lines);

    QTemporaryDir dir;
    makeCalendar(dir, u"work"_s, "Work");
    const QString path = dir.filePath(u"work/rich-1.ics"_s);
    QVERIFY(writeFile(path, kRichEvent));
    CalendarStore store(dir.path());
    CalEvent e = *store.eventWithUID(u"rich-1"_s);
    QVERIFY(theirs.isEmpty() ? QFile::remove(path) : writeFile(path, theirs));

    e.setTitle(u"Ours"_s);
    const auto done = remove ? store.removeEvent(e, CalSpanThisEvent) : store.saveEvent(e, CalSpanThisEvent);
    QCOMPARE(e.title(), u"Ours"_s);
    if (conflict.isEmpty()) {
        QVERIFY2(done, done ? "" : qPrintable(done.error().message));
        QCOMPARE(describe(e), describe(*store.eventWithUID(u"rich-1"_s))); // their change taken in
    } else {
        QVERIFY(!done);
        QCOMPARE(done.error().code, ZEM_Error::Conflict);
        QVERIFY2(done.error().message.contains(conflict), qPrintable(done.error().message));
        QCOMPARE(readFile(path), theirs);
        QVERIFY(e.hasChanges());
    }
    const QStringList now = ::lines(readFile(path));
    for (const QString &line : lines)
        QVERIFY2(now.contains(line), qPrintable(line));
}

void tst_CalendarStore::refreshAnnouncesChanges()
{
    QTemporaryDir dir;
    makeCalendar(dir, u"cal"_s, "Cal");
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
    QVERIFY(writeFile(dir.filePath(u"cal/todo.ics"_s),
                      crlf("BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:x\nBEGIN:VTODO\nUID:todo\nSUMMARY:T\nEND:VTODO\nEND:VCALENDAR\n")));
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

void tst_CalendarStore::watcherAnnouncesChanges()
{
    QTemporaryDir dir;
    makeCalendar(dir, u"cal"_s, "Cal");
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

void tst_CalendarStore::badInputIsSkippedOrReadInPart()
{
    QTemporaryDir dir;
    makeCalendar(dir, u"cal"_s, "Cal");
    const auto event = [](const QByteArray &uid, const QByteArray &lines) {
        return crlf("BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:x\nBEGIN:VEVENT\nUID:" + uid + '\n' + lines
                    + "END:VEVENT\nEND:VCALENDAR\n");
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

    // A line libical cannot keep at all: the file as it was is kept beside before the edit.
    const QByteArray dropped = event("odd", "DTSTART:20240601T100000Z\nFOOBAR;Q=1:zz\nSUMMARY:Odd\n");
    QVERIFY(writeFile(dir.filePath(u"cal/odd.ics"_s), dropped));
    store.refresh();
    QVERIFY(store.problems().join(u'\n').contains(u"odd.ics: some lines cannot be kept"_s));
    CalEvent oddEvent = *store.eventWithUID(u"odd"_s);
    oddEvent.setTitle(u"Even"_s);
    QVERIFY(store.saveEvent(oddEvent, CalSpanThisEvent));
    QCOMPARE(readFile(dir.filePath(u"cal/.zem-originals/odd.ics"_s)), dropped);
    QCOMPARE(store.eventWithUID(u"odd"_s)->title(), u"Even"_s);
    QVERIFY(!store.calendarWithUID(u".zem-originals"_s));
}

void tst_CalendarStore::corpus_data()
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
// file stays as it was; with every item renamed, its first alarm moved and its last attendee
// renamed, every other field stays, and the file is the golden NAME.ics.expected (with the
// stamps the saves wrote shown as "<saved>"), where lines the kit does not map stay too.
void tst_CalendarStore::corpus()
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

    // Edited, every item keeps what it was not asked to change, in the file and as read again.
    const QDateTime saved = QDateTime::currentDateTimeUtc().addSecs(-1);
    const auto edit = [](CalCalendarItem &item) {
        item.setTitle(u"Renamed"_s);
        if (QList<CalAlarm> alarms = item.alarms(); !alarms.isEmpty()) {
            alarms[0].setRelativeTrigger(-7200);
            item.setAlarms(alarms);
        }
    };
    for (const QString &uid : std::as_const(eventUids)) {
        CalEvent e = *store.eventWithUID(uid);
        edit(e);
        if (QList<CalAttendee> people = e.attendees(); !people.isEmpty()) {
            people.last().setCommonName(u"Robert"_s);
            e.setAttendees(people);
        }
        const QVariantMap wanted = describe(e);
        QVERIFY(store.saveEvent(e, CalSpanFutureEvents));
        QCOMPARE(describe(*CalendarStore(dir.path()).eventWithUID(uid)), wanted);
    }
    for (const QString &uid : std::as_const(taskUids)) {
        CalTask t = *store.taskWithUID(uid);
        edit(t);
        const QVariantMap wanted = describe(t);
        QVERIFY(store.saveTask(t));
        QCOMPARE(describe(*CalendarStore(dir.path()).taskWithUID(uid)), wanted);
    }
    // Stamps the saves wrote: shown as "<saved>". This form of a time sorts as the time does.
    const QByteArray since = saved.toString(u"yyyyMMdd'T'HHmmss'Z'"_s).toLatin1();
    QList<QByteArray> written = readFile(path).split('\n');
    for (QByteArray &line : written) {
        const qsizetype colon = line.indexOf(':');
        const QByteArray value = line.mid(colon + 1).chopped(line.endsWith('\r') ? 1 : 0);
        if ((line.startsWith("DTSTAMP") || line.startsWith("LAST-MODIFIED") || line.startsWith("CREATED"))
            && value.size() == since.size() && value >= since)
            line.replace(colon + 1, value.size(), "<saved>");
    }
    ZEM_COMPARE_GOLDEN(written.join('\n'), file + u".expected"_s);
}

void tst_CalendarStore::defaultStore()
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

ZEM_TEST_MAIN(tst_CalendarStore)
#include "tst_CalendarStore.moc"
