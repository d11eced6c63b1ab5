#include "ZemTestEnv.h"

#include "foundation/ZEM_F_E_Notifications.h"
#include "platform/calendarstore/CalendarStore.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimeZone>

#include <ctime>

using namespace platform;
using namespace Qt::StringLiterals;

namespace {

QByteArray crlf(QByteArray text)
{
    text.replace("\r\n", "\n");
    return text.replace("\n", "\r\n");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(f.write(bytes), bytes.size());
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The logical lines of an iCalendar file, unfolded.
QStringList lines(const QByteArray &text)
{
    QStringList out;
    for (QByteArray l : text.split('\n')) {
        if (l.endsWith('\r'))
            l.chop(1);
        if ((l.startsWith(' ') || l.startsWith('\t')) && !out.isEmpty())
            out.last().append(QString::fromUtf8(l.mid(1)));
        else if (!l.isEmpty())
            out.append(QString::fromUtf8(l));
    }
    return out;
}

// The lines of the events and to-dos (not of zones or alarms) that start with \a prefix.
QStringList linesStarting(const QByteArray &text, const QString &prefix)
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
        else if (depth == 1 && l.startsWith(prefix))
            out.append(l);
    }
    return out;
}

// A calendar folder with a title and colour.
QString makeCalendar(const QTemporaryDir &dir, const QString &uid, const QByteArray &title,
                     const QByteArray &color = "#3366CC")
{
    const QString path = dir.filePath(uid);
    QDir().mkpath(path);
    writeFile(path + u"/displayname"_s, title);
    if (!color.isEmpty())
        writeFile(path + u"/color"_s, color);
    return path;
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

// Runs the test's body in another default time zone and puts the old one back.
class TimeZoneScope
{
public:
    explicit TimeZoneScope(const QByteArray &zone) : m_old(qgetenv("TZ"))
    {
        qputenv("TZ", zone);
        tzset();
    }
    ~TimeZoneScope()
    {
        qputenv("TZ", m_old);
        tzset();
    }

private:
    QByteArray m_old;
};

const QByteArray kRichEvent = crlf(R"(BEGIN:VCALENDAR
VERSION:2.0
PRODID:-//Example//Test//EN
X-WR-CALNAME:Kept
BEGIN:VEVENT
UID:rich-1
DTSTAMP:20240301T120000Z
DTSTART;TZID=Europe/Berlin:20240320T100000
DTEND;TZID=Europe/Berlin:20240320T113000
SUMMARY:Planning
DESCRIPTION:Line one\nLine two\, with comma
LOCATION;LANGUAGE=de:Room 4
URL:https://example.com/meeting?id=7
CATEGORIES:Work,Plans
X-CUSTOM-THING;X-PARAM=kept:keep me
ORGANIZER;CN=Boss:mailto:boss@example.com
ATTENDEE;CN="Doe, Jane";PARTSTAT=ACCEPTED;X-ROLE=x:mailto:jane@example.com
ATTENDEE;CN=Bob:mailto:bob@example.com
BEGIN:VALARM
ACTION:DISPLAY
TRIGGER:-PT15M
DESCRIPTION:Soon
X-ALARM-EXTRA:stays
END:VALARM
BEGIN:VALARM
ACTION:EMAIL
TRIGGER;VALUE=DATE-TIME:20240319T080000Z
SUMMARY:Mail
DESCRIPTION:Mail body
ATTENDEE:mailto:me@example.com
END:VALARM
BEGIN:VALARM
ACTION:AUDIO
TRIGGER:PT0S
ATTACH;VALUE=URI:Basso
END:VALARM
BEGIN:VALARM
ACTION:PROCEDURE
TRIGGER:-P1D
ATTACH:file:///usr/local/bin/remind.sh
END:VALARM
END:VEVENT
END:VCALENDAR
)");

// Weekly at 09:00 Berlin time across the spring change of clocks (31 March 2024), with one
// week excluded and one moved.
const QByteArray kSeries = crlf(R"(BEGIN:VCALENDAR
VERSION:2.0
PRODID:-//Example//Test//EN
BEGIN:VEVENT
UID:series-1
DTSTAMP:20240301T120000Z
DTSTART;TZID=Europe/Berlin:20240313T090000
DTEND;TZID=Europe/Berlin:20240313T100000
RRULE:FREQ=WEEKLY;COUNT=5
EXDATE;TZID=Europe/Berlin:20240327T090000
SUMMARY:Standup
END:VEVENT
BEGIN:VEVENT
UID:series-1
DTSTAMP:20240301T120000Z
RECURRENCE-ID;TZID=Europe/Berlin:20240403T090000
DTSTART;TZID=Europe/Berlin:20240403T110000
DTEND;TZID=Europe/Berlin:20240403T120000
SUMMARY:Standup (moved)
END:VEVENT
END:VCALENDAR
)");

QByteArray daily(const QByteArray &uid, const QByteArray &extra = {})
{
    return crlf("BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//Example//Test//EN\nBEGIN:VEVENT\nUID:" + uid
                + "\nDTSTAMP:20240101T000000Z\nDTSTART;TZID=America/New_York:20240501T080000\n"
                  "DTEND;TZID=America/New_York:20240501T083000\nRRULE:FREQ=DAILY;COUNT=5\nSUMMARY:Daily\n"
                + extra + "END:VEVENT\nEND:VCALENDAR\n");
}

QList<CalEvent> allEvents(const CalendarStore &store)
{
    return store.eventsWithPredicate(CalendarStore::eventPredicateWithStartDate(
        QDateTime(QDate(1990, 1, 1), QTime(0, 0), Qt::UTC), QDateTime(QDate(2040, 1, 1), QTime(0, 0), Qt::UTC),
        store.calendars()));
}

QList<CalEvent> eventsOf(const CalendarStore &store, const QString &uid)
{
    return store.eventsWithPredicate(CalendarStore::eventPredicateWithStartDate(
        QDateTime(QDate(1990, 1, 1), QTime(0, 0), Qt::UTC), QDateTime(QDate(2040, 1, 1), QTime(0, 0), Qt::UTC),
        uid, store.calendars()));
}

} // namespace

class tst_CalendarStore : public QObject
{
    Q_OBJECT
private slots:
    void calendarsFromFolders();
    void savesCalendars();
    void readsEveryEventField();
    void readsEveryTaskField();
    void writesEveryFieldAndReadsItBack_data();
    void writesEveryFieldAndReadsItBack();
    void editKeepsWhatTheKitDoesNotMap();
    void unchangedItemIsNotRewritten();
    void expandsAcrossDaylightSaving();
    void longSeriesAreEnteredNearTheRange();
    void eventWithUidFindsOccurrences();
    void allDayAndFloatingKeepTheirDates_data();
    void allDayAndFloatingKeepTheirDates();
    void editingOneOccurrence();
    void removingOccurrences();
    void editingFutureOccurrencesSplitsTheSeries();
    void splittingTakesDetachedOccurrencesAlong();
    void filesHoldingSeveralItems();
    void editingTheWholeSeries();
    void tasksSaveAndRemove();
    void movingBetweenCalendars();
    void readOnlyCalendarsRefuseWrites();
    void mergesChangesThatDoNotOverlap();
    void refusesOverlappingChanges();
    void refreshAnnouncesChanges();
    void watcherAnnouncesChanges();
    void badInputIsSkippedOrReadInPart();
    void corpusLoadsAndRoundTrips_data();
    void corpusLoadsAndRoundTrips();
    void defaultStore();
    void newItemWithTakenUidIsRefused();
};

void tst_CalendarStore::calendarsFromFolders()
{
    QTemporaryDir dir;
    makeCalendar(dir, u"work"_s, "Work\n", "#FF000080");
    const QString home = makeCalendar(dir, u"home"_s, "Home", "#00ff00");
    writeFile(home + u"/.zem-calendar.json"_s,
              R"({"type": "CalDAV", "notes": "Family things", "editable": false})");
    QDir().mkpath(dir.filePath(u"bare"_s));
    QDir().mkpath(dir.filePath(u".hidden"_s));
    writeFile(dir.filePath(u"work/readme.txt"_s), "not a calendar");

    CalendarStore store(dir.path());
    const QList<CalCalendar> cals = store.calendars();
    QCOMPARE(cals.size(), 3);
    // By title: a folder without a name shows its folder name.
    QCOMPARE(cals[0].title(), u"bare"_s);
    QCOMPARE(cals[1].title(), u"Home"_s);
    QCOMPARE(cals[2].title(), u"Work"_s);

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
    QVERIFY(!store.calendarWithUID(u"nothing"_s));
}

void tst_CalendarStore::savesCalendars()
{
    QTemporaryDir dir;
    CalendarStore store(dir.path());
    CalCalendar cal = CalCalendar::calendar();
    cal.setTitle(u"Birthdays"_s);
    cal.setColor(QColor(10, 20, 30));
    cal.setType(kCalCalendarTypeBirthday);
    cal.setNotes(u"From the address book"_s);
    QVERIFY(store.saveCalendar(cal));
    QVERIFY(!cal.uid().isEmpty());
    QCOMPARE(readFile(dir.filePath(cal.uid() + u"/displayname"_s)), QByteArray("Birthdays"));
    QCOMPARE(readFile(dir.filePath(cal.uid() + u"/color"_s)), QByteArray("#0A141E"));

    CalendarStore again(dir.path());
    const CalCalendar read = *again.calendarWithUID(cal.uid());
    QCOMPARE(read, cal);
    QCOMPARE(read.type(), kCalCalendarTypeBirthday);

    CalCalendar bad = CalCalendar::calendar();
    QCOMPARE(store.removeCalendar(bad).error().code, ZEM_Error::NotFound);
    QVERIFY(store.removeCalendar(cal));
    QVERIFY(!QFileInfo::exists(dir.filePath(cal.uid())));
    QVERIFY(store.calendars().isEmpty());
}

void tst_CalendarStore::readsEveryEventField()
{
    QTemporaryDir dir;
    makeCalendar(dir, u"work"_s, "Work");
    writeFile(dir.filePath(u"work/rich-1.ics"_s), kRichEvent);
    CalendarStore store(dir.path());
    QVERIFY2(store.problems().isEmpty(), qPrintable(store.problems().join(u'\n')));

    const CalEvent e = *store.eventWithUID(u"rich-1"_s);
    QCOMPARE(e.uid(), u"rich-1"_s);
    QCOMPARE(e.calendarUid(), u"work"_s);
    QCOMPARE(e.title(), u"Planning"_s);
    QCOMPARE(e.notes(), u"Line one\nLine two, with comma"_s);
    QCOMPARE(e.location(), u"Room 4"_s);
    QCOMPARE(e.url(), QUrl(u"https://example.com/meeting?id=7"_s));
    QCOMPARE(e.dateStamp(), QDateTime(QDate(2024, 3, 1), QTime(12, 0), Qt::UTC));
    QCOMPARE(e.startDate(), QDateTime(QDate(2024, 3, 20), QTime(9, 0), Qt::UTC));
    QCOMPARE(e.startDate().timeZone().id(), QByteArray("Europe/Berlin"));
    QCOMPARE(e.endDate(), QDateTime(QDate(2024, 3, 20), QTime(10, 30), Qt::UTC));
    QCOMPARE(e.occurrence(), e.startDate());
    QVERIFY(!e.isAllDay());
    QVERIFY(!e.isDetached());
    QVERIFY(!e.recurrenceRule());

    const QList<CalAttendee> people = e.attendees();
    QCOMPARE(people.size(), 2);
    QCOMPARE(people[0].commonName(), u"Doe, Jane"_s);
    QCOMPARE(people[0].address(), QUrl(u"mailto:jane@example.com"_s));
    QCOMPARE(people[0].status(), u"ACCEPTED"_s);
    QCOMPARE(people[1].commonName(), u"Bob"_s);

    const QList<CalAlarm> alarms = e.alarms();
    QCOMPARE(alarms.size(), 4);
    QCOMPARE(alarms[0].action(), kCalAlarmActionDisplay);
    QCOMPARE(alarms[0].relativeTrigger(), -900.0);
    QVERIFY(!alarms[0].absoluteTrigger().isValid());
    QCOMPARE(alarms[1].action(), kCalAlarmActionEmail);
    QCOMPARE(alarms[1].emailAddress(), u"me@example.com"_s);
    QCOMPARE(alarms[1].absoluteTrigger(), QDateTime(QDate(2024, 3, 19), QTime(8, 0), Qt::UTC));
    QCOMPARE(alarms[2].action(), kCalAlarmActionAudio);
    QCOMPARE(alarms[2].sound(), u"Basso"_s);
    QCOMPARE(alarms[2].relativeTrigger(), 0.0);
    QCOMPARE(alarms[3].action(), kCalAlarmActionProcedure);
    QCOMPARE(alarms[3].url(), QUrl(u"file:///usr/local/bin/remind.sh"_s));
    QCOMPARE(alarms[3].relativeTrigger(), -86400.0);
    QVERIFY(!e.hasChanges());
}

void tst_CalendarStore::readsEveryTaskField()
{
    QTemporaryDir dir;
    makeCalendar(dir, u"todo"_s, "To do");
    writeFile(dir.filePath(u"todo/t1.ics"_s), crlf(R"(BEGIN:VCALENDAR
VERSION:2.0
PRODID:-//Example//Test//EN
BEGIN:VTODO
UID:t1
DTSTAMP:20240301T120000Z
SUMMARY:Buy milk
PRIORITY:1
DUE;VALUE=DATE:20240305
BEGIN:VALARM
ACTION:DISPLAY
TRIGGER:-PT1H
DESCRIPTION:Milk
END:VALARM
END:VTODO
END:VCALENDAR
)"));
    writeFile(dir.filePath(u"todo/t2.ics"_s), crlf(R"(BEGIN:VCALENDAR
VERSION:2.0
PRODID:-//Example//Test//EN
BEGIN:VTODO
UID:t2
DTSTAMP:20240301T120000Z
SUMMARY:Done thing
PRIORITY:9
STATUS:COMPLETED
COMPLETED:20240302T101500Z
DUE:20240302T120000Z
END:VTODO
END:VCALENDAR
)"));
    CalendarStore store(dir.path());
    const CalTask t1 = *store.taskWithUID(u"t1"_s);
    QCOMPARE(t1.title(), u"Buy milk"_s);
    QCOMPARE(t1.priority(), int(CalPriorityHigh));
    QCOMPARE(t1.dueDate(), QDateTime(QDate(2024, 3, 5), QTime(0, 0)));
    QVERIFY(!t1.isCompleted());
    QVERIFY(!t1.completedDate().isValid());
    QCOMPARE(t1.alarms().size(), 1);
    QCOMPARE(t1.alarms()[0].relativeTrigger(), -3600.0);
    const CalTask t2 = *store.taskWithUID(u"t2"_s);
    QCOMPARE(t2.priority(), int(CalPriorityLow));
    QVERIFY(t2.isCompleted());
    QCOMPARE(t2.completedDate(), QDateTime(QDate(2024, 3, 2), QTime(10, 15), Qt::UTC));
    QCOMPARE(t2.dueDate(), QDateTime(QDate(2024, 3, 2), QTime(12, 0), Qt::UTC));

    QCOMPARE(store.tasksWithPredicate(CalendarStore::taskPredicateWithCalendars(store.calendars())).size(), 2);
    const QList<CalTask> open = store.tasksWithPredicate(CalendarStore::taskPredicateWithUncompletedTasks({}));
    QCOMPARE(open.size(), 1);
    QCOMPARE(open[0].uid(), u"t1"_s);
    QVERIFY(!store.eventWithUID(u"t1"_s)); // a to-do is not an event
    QVERIFY(!store.taskWithUID(u"missing"_s));
}

void tst_CalendarStore::writesEveryFieldAndReadsItBack_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::newRow("Berlin") << QByteArray("Europe/Berlin");
    QTest::newRow("Los Angeles") << QByteArray("America/Los_Angeles");
    QTest::newRow("UTC") << QByteArray("UTC");
}

void tst_CalendarStore::writesEveryFieldAndReadsItBack()
{
    QFETCH(QByteArray, zone);
    TimeZoneScope tz(zone);
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
    ev.setRecurrenceRule(CalRecurrenceRule(CalRecurrenceRule::Weekly, 2,
                                           CalRecurrenceEnd::endWithOccurrenceCount(3)));
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
    const QVariantMap wanted = describe(ev);
    QVERIFY(ev.isNew());
    QVERIFY(store.saveEvent(ev, CalSpanThisEvent));
    QVERIFY(!ev.isNew());
    QVERIFY(!ev.uid().isEmpty());
    QVERIFY(!ev.hasChanges());

    const QByteArray file = readFile(dir.filePath(u"cal/"_s + ev.uid() + u".ics"_s));
    QCOMPARE(linesStarting(file, u"DTSTART"_s), QStringList{u"DTSTART;TZID=Asia/Tokyo:20240701T210000"_s});
    QVERIFY(file.contains("BEGIN:VTIMEZONE"));
    QVERIFY(file.contains("TZID:Asia/Tokyo"));

    CalendarStore again(dir.path());
    QVariantMap read = describe(*again.eventWithUID(ev.uid()));
    QVariantMap expected = wanted;
    expected.insert(u"uid"_s, ev.uid());
    QCOMPARE(read, expected);
    QCOMPARE(eventsOf(again, ev.uid()).size(), 3);

    CalTask task = CalTask::task();
    task.setCalendarUid(u"cal"_s);
    task.setTitle(u"File taxes"_s);
    task.setPriority(CalPriorityMedium);
    task.setDueDate(QDateTime(QDate(2025, 4, 15), QTime(17, 0), QTimeZone("America/New_York")));
    task.setAlarms({display});
    task.setIsCompleted(true);
    QVERIFY(task.completedDate().isValid());
    const QDateTime done = QDateTime(QDate(2025, 4, 1), QTime(8, 0), Qt::UTC);
    task.setCompletedDate(done);
    QVERIFY(store.saveTask(task));
    const CalTask readTask = *CalendarStore(dir.path()).taskWithUID(task.uid());
    QVariantMap wantedTask = describe(task);
    QCOMPARE(describe(readTask), wantedTask);
    QCOMPARE(readTask.completedDate(), done);

    // A new event with the same uid is refused, not written over the other.
    CalEvent twin = CalEvent::event();
    twin.setCalendarUid(u"cal"_s);
    twin.setStartDate(QDateTime::currentDateTime());
    QVERIFY(store.saveEvent(twin, CalSpanThisEvent));
    CalEvent copy = CalEvent::event();
    copy.setCalendarUid(u"cal"_s);
    copy.setStartDate(QDateTime::currentDateTime());
    QCOMPARE(store.eventsWithPredicate({}).size(), 0); // a predicate without a range finds nothing
    const auto e = store.eventWithUID(twin.uid());
    QVERIFY(e);
    QCOMPARE(e->endDate(), e->startDate()); // no end: a moment
}

void tst_CalendarStore::editKeepsWhatTheKitDoesNotMap()
{
    QTemporaryDir dir;
    makeCalendar(dir, u"work"_s, "Work");
    const QString path = dir.filePath(u"work/rich-1.ics"_s);
    writeFile(path, kRichEvent);
    CalendarStore store(dir.path());
    CalEvent e = *store.eventWithUID(u"rich-1"_s);
    e.setTitle(u"Planning, revised"_s);
    QList<CalAlarm> alarms = e.alarms();
    alarms[3].setRelativeTrigger(-7200);
    e.setAlarms(alarms);
    QVERIFY(store.saveEvent(e, CalSpanThisEvent));
    QCOMPARE(e.title(), u"Planning, revised"_s);

    const QByteArray after = readFile(path);
    QStringList before = lines(kRichEvent), now = lines(after);
    // Only the title, the changed alarm's trigger and the stamps differ.
    auto strip = [](QStringList l) {
        l.removeIf([](const QString &s) {
            return s.startsWith(u"SUMMARY:Planning"_s) || s.startsWith(u"DTSTAMP"_s)
                   || s.startsWith(u"LAST-MODIFIED"_s) || s == u"TRIGGER:-P1D"_s || s == u"TRIGGER:-PT2H"_s;
        });
        l.sort();
        return l;
    };
    // libical writes equivalent forms of two lines: a list one value a line, and ATTACH
    // without its default value type.
    before.removeOne(u"CATEGORIES:Work,Plans"_s);
    before << u"CATEGORIES:Work"_s << u"CATEGORIES:Plans"_s;
    before.replaceInStrings(u"ATTACH;VALUE=URI:"_s, u"ATTACH:"_s);
    QCOMPARE(strip(now), strip(before));
    QVERIFY(now.contains(u"SUMMARY:Planning\\, revised"_s));
    QVERIFY(now.contains(u"TRIGGER:-PT2H"_s));
    QVERIFY(now.contains(u"X-CUSTOM-THING;X-PARAM=kept:keep me"_s));
    QVERIFY(now.contains(u"X-ALARM-EXTRA:stays"_s));

    // Unknown parameters of an attendee survive an edit of the attendee list.
    QList<CalAttendee> people = e.attendees();
    people[1].setCommonName(u"Robert"_s);
    e.setAttendees(people);
    QVERIFY(store.saveEvent(e, CalSpanThisEvent));
    const QStringList attendees = linesStarting(readFile(path), u"ATTENDEE"_s);
    QCOMPARE(attendees.size(), 2);
    QVERIFY2(attendees[0].contains(u"X-ROLE=x"_s), qPrintable(attendees[0]));
    QVERIFY(attendees[1].contains(u"CN=Robert"_s));
}

void tst_CalendarStore::unchangedItemIsNotRewritten()
{
    QTemporaryDir dir;
    makeCalendar(dir, u"work"_s, "Work");
    const QString path = dir.filePath(u"work/rich-1.ics"_s);
    writeFile(path, kRichEvent);
    CalendarStore store(dir.path());
    CalEvent e = *store.eventWithUID(u"rich-1"_s);
    QVERIFY(store.saveEvent(e, CalSpanThisEvent));
    QCOMPARE(readFile(path), kRichEvent);

    // A write and a second read give the same fields, through the export path as well.
    const CalItemsRead read = CalendarStore::readICalendarData(kRichEvent);
    QCOMPARE(read.events.size(), 1);
    const CalItemsRead again = CalendarStore::readICalendarData(CalendarStore::iCalendarData(read.events[0]));
    QCOMPARE(again.events.size(), 1);
    QCOMPARE(describe(again.events[0]), describe(read.events[0]));
}

void tst_CalendarStore::expandsAcrossDaylightSaving()
{
    QTemporaryDir dir;
    makeCalendar(dir, u"work"_s, "Work");
    writeFile(dir.filePath(u"work/series-1.ics"_s), kSeries);
    CalendarStore store(dir.path());
    const QList<CalEvent> all = allEvents(store);
    QStringList got;
    for (const CalEvent &e : all)
        got << u"%1 %2 %3%4"_s.arg(utc(e.startDate()), utc(e.endDate()), e.title(),
                                   e.isDetached() ? u" detached"_s : QString());
    const QStringList expected = {
        u"2024-03-13T08:00:00Z 2024-03-13T09:00:00Z Standup"_s,
        u"2024-03-20T08:00:00Z 2024-03-20T09:00:00Z Standup"_s,
        // 27 March excluded; from 31 March Berlin is two hours ahead of UTC.
        u"2024-04-03T09:00:00Z 2024-04-03T10:00:00Z Standup (moved) detached"_s,
        u"2024-04-10T07:00:00Z 2024-04-10T08:00:00Z Standup"_s,
    };
    QCOMPARE(got, expected);
    QCOMPARE(all[2].occurrence(), QDateTime(QDate(2024, 4, 3), QTime(7, 0), Qt::UTC));
    QCOMPARE(all[3].occurrence(), all[3].startDate());
    QCOMPARE(all[3].recurrenceRule()->recurrenceType(), CalRecurrenceRule::Weekly);
    QCOMPARE(all[3].recurrenceRule()->recurrenceEnd()->occurrenceCount(), 5);
    QCOMPARE(all[2].recurrenceRule()->recurrenceType(), CalRecurrenceRule::Weekly); // shows its series' rule

    // Ranges: an occurrence overlapping the start counts; one starting at the end does not.
    const auto range = [&](QDateTime from, QDateTime to) {
        return store.eventsWithPredicate(CalendarStore::eventPredicateWithStartDate(from, to, {})).size();
    };
    const QDateTime mar20 = QDateTime(QDate(2024, 3, 20), QTime(8, 30), Qt::UTC);
    QCOMPARE(range(mar20, mar20.addSecs(60)), 1);
    QCOMPARE(range(mar20.addSecs(-3600), mar20.addSecs(-1800)), 0);
    // The moved occurrence is found where it went, not where it was.
    QCOMPARE(range(QDateTime(QDate(2024, 4, 3), QTime(7, 0), Qt::UTC), QDateTime(QDate(2024, 4, 3), QTime(8, 0), Qt::UTC)), 0);
    QCOMPARE(range(QDateTime(QDate(2024, 4, 3), QTime(9, 0), Qt::UTC), QDateTime(QDate(2024, 4, 3), QTime(9, 30), Qt::UTC)), 1);
    // Calendars filter.
    QCOMPARE(store.eventsWithPredicate(CalendarStore::eventPredicateWithStartDate(
                 mar20, mar20.addSecs(60), {CalCalendar::calendar()})).size(), 0);
}

void tst_CalendarStore::longSeriesAreEnteredNearTheRange()
{
    QTemporaryDir dir;
    makeCalendar(dir, u"cal"_s, "Cal");
    writeFile(dir.filePath(u"cal/long.ics"_s), crlf(R"(BEGIN:VCALENDAR
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
)"));
    CalendarStore store(dir.path());
    // The week of the spring change of clocks in 2024, 24 years after the start.
    const QDateTime from(QDate(2024, 3, 25), QTime(0, 0), Qt::UTC);
    const QList<CalEvent> week = store.eventsWithPredicate(
        CalendarStore::eventPredicateWithStartDate(from, from.addDays(8), u"long"_s, {}));
    QStringList got;
    for (const CalEvent &e : week)
        got << utc(e.startDate());
    QCOMPARE(got, (QStringList{u"2024-03-25T23:30:00Z"_s, u"2024-03-29T23:30:00Z"_s,
                               u"2024-04-01T22:30:00Z"_s})); // summer time from 31 March
    // An occurrence that began the day before the range and runs into it is in it.
    QCOMPARE(store.eventsWithPredicate(CalendarStore::eventPredicateWithStartDate(
                 from.addDays(1), from.addDays(1).addSecs(900), u"long"_s, {})).size(), 1);
    // A rule that never ends gives what the range holds, far from its start too.
    const QDateTime later(QDate(2024, 6, 1), QTime(12, 0), Qt::UTC);
    const QList<CalEvent> ticks = store.eventsWithPredicate(
        CalendarStore::eventPredicateWithStartDate(later, later.addSecs(10), u"secondly"_s, {}));
    QCOMPARE(ticks.size(), 10);
    QCOMPARE(ticks.first().startDate(), later);
    QCOMPARE(ticks.last().startDate(), later.addSecs(9));
}

void tst_CalendarStore::eventWithUidFindsOccurrences()
{
    QTemporaryDir dir;
    makeCalendar(dir, u"work"_s, "Work");
    writeFile(dir.filePath(u"work/series-1.ics"_s), kSeries);
    CalendarStore store(dir.path());
    const CalEvent first = *store.eventWithUID(u"series-1"_s);
    QCOMPARE(first.startDate(), QDateTime(QDate(2024, 3, 13), QTime(8, 0), Qt::UTC));
    const QDateTime apr10(QDate(2024, 4, 10), QTime(7, 0), Qt::UTC);
    QCOMPARE(store.eventWithUID(u"series-1"_s, apr10)->startDate(), apr10);
    const auto moved = store.eventWithUID(u"series-1"_s, QDateTime(QDate(2024, 4, 3), QTime(7, 0), Qt::UTC));
    QVERIFY(moved);
    QVERIFY(moved->isDetached());
    QCOMPARE(moved->title(), u"Standup (moved)"_s);
    QVERIFY(!store.eventWithUID(u"series-1"_s, QDateTime(QDate(2024, 3, 27), QTime(8, 0), Qt::UTC))); // excluded
    QVERIFY(!store.eventWithUID(u"series-1"_s, apr10.addSecs(60)));  // not an occurrence
    QVERIFY(!store.eventWithUID(u"series-1"_s, apr10.addDays(7)));   // after the count
}

void tst_CalendarStore::allDayAndFloatingKeepTheirDates_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::newRow("UTC") << QByteArray("UTC");
    QTest::newRow("Honolulu") << QByteArray("Pacific/Honolulu");
    QTest::newRow("Kiritimati") << QByteArray("Pacific/Kiritimati");
    QTest::newRow("Berlin") << QByteArray("Europe/Berlin");
}

void tst_CalendarStore::allDayAndFloatingKeepTheirDates()
{
    QFETCH(QByteArray, zone);
    TimeZoneScope tz(zone);
    QTemporaryDir dir;
    makeCalendar(dir, u"cal"_s, "Cal");
    const QString path = dir.filePath(u"cal/holiday.ics"_s);
    writeFile(path, crlf(R"(BEGIN:VCALENDAR
VERSION:2.0
PRODID:-//Example//Test//EN
BEGIN:VEVENT
UID:holiday
DTSTAMP:20240101T000000Z
DTSTART;VALUE=DATE:20240310
DTEND;VALUE=DATE:20240312
RRULE:FREQ=YEARLY;COUNT=2
SUMMARY:Holiday
BEGIN:VALARM
ACTION:DISPLAY
TRIGGER:-PT12H
DESCRIPTION:x
END:VALARM
END:VEVENT
BEGIN:VEVENT
UID:floating
DTSTAMP:20240101T000000Z
DTSTART:20240310T093000
DTEND:20240310T103000
SUMMARY:Wake up
END:VEVENT
END:VCALENDAR
)"));
    CalendarStore store(dir.path());
    const CalEvent holiday = *store.eventWithUID(u"holiday"_s);
    QVERIFY(holiday.isAllDay());
    QCOMPARE(holiday.startDate(), QDateTime(QDate(2024, 3, 10), QTime(0, 0)));
    QCOMPARE(holiday.endDate(), QDateTime(QDate(2024, 3, 12), QTime(0, 0)));
    const QList<CalEvent> years = eventsOf(store, u"holiday"_s);
    QCOMPARE(years.size(), 2);
    QCOMPARE(years[1].startDate().date(), QDate(2025, 3, 10));
    QCOMPARE(years[1].startDate().time(), QTime(0, 0));
    QCOMPARE(years[1].alarms().value(0).relativeTrigger(), -43200.0);
    const CalEvent wake = *store.eventWithUID(u"floating"_s);
    QCOMPARE(wake.startDate().timeSpec(), Qt::LocalTime);
    QCOMPARE(wake.startDate().date(), QDate(2024, 3, 10));
    QCOMPARE(wake.startDate().time(), QTime(9, 30));

    // Edits keep the dates as dates and floating times floating.
    CalEvent edited = wake;
    edited.setEndDate(QDateTime(QDate(2024, 3, 10), QTime(11, 0)));
    QVERIFY(store.saveEvent(edited, CalSpanThisEvent));
    CalEvent second = *store.eventWithUID(u"holiday"_s, years[1].occurrence());
    second.setTitle(u"Holiday 2025"_s);
    QVERIFY(store.saveEvent(second, CalSpanThisEvent));
    const QByteArray file = readFile(path);
    QVERIFY(linesStarting(file, u"DTEND"_s).contains(u"DTEND:20240310T110000"_s));
    QVERIFY(linesStarting(file, u"RECURRENCE-ID"_s).contains(u"RECURRENCE-ID;VALUE=DATE:20250310"_s));
    QCOMPARE(store.eventWithUID(u"holiday"_s, years[1].occurrence())->title(), u"Holiday 2025"_s);

    // A new all-day event is written as dates of the day it was made for.
    CalEvent fresh = CalEvent::event();
    fresh.setCalendarUid(u"cal"_s);
    fresh.setIsAllDay(true);
    fresh.setStartDate(QDateTime(QDate(2024, 12, 31), QTime(0, 0)));
    fresh.setEndDate(QDateTime(QDate(2025, 1, 1), QTime(0, 0)));
    QVERIFY(store.saveEvent(fresh, CalSpanThisEvent));
    const QByteArray made = readFile(dir.filePath(u"cal/"_s + fresh.uid() + u".ics"_s));
    QCOMPARE(linesStarting(made, u"DTSTART"_s), QStringList{u"DTSTART;VALUE=DATE:20241231"_s});
    QCOMPARE(linesStarting(made, u"DTEND"_s), QStringList{u"DTEND;VALUE=DATE:20250101"_s});
}

void tst_CalendarStore::editingOneOccurrence()
{
    QTemporaryDir dir;
    makeCalendar(dir, u"cal"_s, "Cal");
    const QString path = dir.filePath(u"cal/d.ics"_s);
    writeFile(path, daily("d"));
    CalendarStore store(dir.path());
    QList<CalEvent> days = eventsOf(store, u"d"_s);
    QCOMPARE(days.size(), 5);
    CalEvent third = days[2];
    third.setTitle(u"Special"_s);
    third.setStartDate(third.startDate().addSecs(3600));
    third.setEndDate(third.endDate().addSecs(3600));
    third.setRecurrenceRule(std::nullopt); // ignored for one occurrence
    QVERIFY(store.saveEvent(third, CalSpanThisEvent));
    QVERIFY(third.isDetached());
    QCOMPARE(third.occurrence(), days[2].occurrence());

    days = eventsOf(store, u"d"_s);
    QCOMPARE(days.size(), 5);
    QStringList titles;
    for (const CalEvent &e : days)
        titles << e.title();
    QCOMPARE(titles, (QStringList{u"Daily"_s, u"Daily"_s, u"Special"_s, u"Daily"_s, u"Daily"_s}));
    QCOMPARE(days[2].startDate(), QDateTime(QDate(2024, 5, 3), QTime(13, 0), Qt::UTC));
    QCOMPARE(linesStarting(readFile(path), u"RECURRENCE-ID"_s),
             QStringList{u"RECURRENCE-ID;TZID=America/New_York:20240503T080000"_s});
    QCOMPARE(linesStarting(readFile(path), u"RRULE"_s), QStringList{u"RRULE:FREQ=DAILY;COUNT=5"_s});

    // Editing the detached occurrence again changes it alone.
    third.setLocation(u"Elsewhere"_s);
    QVERIFY(store.saveEvent(third, CalSpanThisEvent));
    QCOMPARE(eventsOf(store, u"d"_s)[2].location(), u"Elsewhere"_s);
    QCOMPARE(eventsOf(store, u"d"_s)[3].location(), QString());
}

void tst_CalendarStore::removingOccurrences()
{
    QTemporaryDir dir;
    makeCalendar(dir, u"cal"_s, "Cal");
    const QString path = dir.filePath(u"cal/d.ics"_s);
    writeFile(path, daily("d"));
    CalendarStore store(dir.path());
    QList<CalEvent> days = eventsOf(store, u"d"_s);
    QVERIFY(store.removeEvent(days[1], CalSpanThisEvent));
    QCOMPARE(linesStarting(readFile(path), u"EXDATE"_s),
             QStringList{u"EXDATE;TZID=America/New_York:20240502T080000"_s});
    QCOMPARE(eventsOf(store, u"d"_s).size(), 4);

    days = eventsOf(store, u"d"_s);
    QCOMPARE(days[2].startDate(), QDateTime(QDate(2024, 5, 4), QTime(12, 0), Qt::UTC));
    QVERIFY(store.removeEvent(days[2], CalSpanFutureEvents));
    days = eventsOf(store, u"d"_s);
    QCOMPARE(days.size(), 2);
    QCOMPARE(days.last().startDate(), QDateTime(QDate(2024, 5, 3), QTime(12, 0), Qt::UTC));

    // From the first occurrence on, the whole event goes with its file.
    QVERIFY(store.removeEvent(days[0], CalSpanFutureEvents));
    QVERIFY(!QFile::exists(path));
    QVERIFY(!store.eventWithUID(u"d"_s));

    // A single event goes whatever the span.
    writeFile(dir.filePath(u"cal/rich.ics"_s), kRichEvent);
    store.refresh();
    QVERIFY(store.removeEvent(*store.eventWithUID(u"rich-1"_s), CalSpanThisEvent));
    QVERIFY(!QFile::exists(dir.filePath(u"cal/rich.ics"_s)));
    // Removing what is gone already succeeds.
    CalEvent gone = CalEvent::event();
    QCOMPARE(store.removeEvent(gone, CalSpanThisEvent).error().code, ZEM_Error::NotFound);
}

void tst_CalendarStore::editingFutureOccurrencesSplitsTheSeries()
{
    QTemporaryDir dir;
    makeCalendar(dir, u"cal"_s, "Cal");
    writeFile(dir.filePath(u"cal/d.ics"_s), daily("d", "EXDATE;TZID=America/New_York:20240505T080000\n"));
    CalendarStore store(dir.path());
    QList<CalEvent> days = eventsOf(store, u"d"_s);
    QCOMPARE(days.size(), 4);
    CalEvent fourth = days[2]; // 3 May
    fourth.setTitle(u"Later"_s);
    QVERIFY(store.saveEvent(fourth, CalSpanFutureEvents));
    QVERIFY(fourth.uid() != u"d"_s);

    const QList<CalEvent> before = eventsOf(store, u"d"_s);
    QCOMPARE(before.size(), 2);
    QCOMPARE(before.last().startDate().date(), QDate(2024, 5, 2));
    const QList<CalEvent> after = eventsOf(store, fourth.uid());
    QCOMPARE(after.size(), 2); // 3 and 4 May; the excluded 5 May stays excluded
    QCOMPARE(after[0].startDate(), QDateTime(QDate(2024, 5, 3), QTime(12, 0), Qt::UTC));
    QCOMPARE(after[1].startDate(), QDateTime(QDate(2024, 5, 4), QTime(12, 0), Qt::UTC));
    QCOMPARE(after[1].title(), u"Later"_s);
    QCOMPARE(after[0].recurrenceRule()->recurrenceEnd()->occurrenceCount(), 3);
    QCOMPARE(allEvents(store).size(), 4);
}

void tst_CalendarStore::splittingTakesDetachedOccurrencesAlong()
{
    QTemporaryDir dir;
    makeCalendar(dir, u"cal"_s, "Cal");
    QByteArray file = daily("d");
    file.replace("END:VCALENDAR", "BEGIN:VEVENT\r\nUID:d\r\nRECURRENCE-ID;TZID=America/New_York:20240504T080000\r\n"
                                  "DTSTART;TZID=America/New_York:20240504T090000\r\n"
                                  "DTEND;TZID=America/New_York:20240504T093000\r\nSUMMARY:Late one\r\n"
                                  "END:VEVENT\r\nEND:VCALENDAR");
    writeFile(dir.filePath(u"cal/d.ics"_s), file);
    CalendarStore store(dir.path());
    CalEvent second = eventsOf(store, u"d"_s)[1];
    second.setLocation(u"Hall"_s);
    QVERIFY(store.saveEvent(second, CalSpanFutureEvents));
    QCOMPARE(eventsOf(store, u"d"_s).size(), 1);
    const QList<CalEvent> rest = eventsOf(store, second.uid());
    QCOMPARE(rest.size(), 4);
    QVERIFY(rest[2].isDetached());
    QCOMPARE(rest[2].title(), u"Late one"_s);
    QCOMPARE(rest[2].startDate(), QDateTime(QDate(2024, 5, 4), QTime(13, 0), Qt::UTC));
    QCOMPARE(rest[3].location(), u"Hall"_s);
}

void tst_CalendarStore::filesHoldingSeveralItems()
{
    QTemporaryDir dir;
    makeCalendar(dir, u"cal"_s, "Cal");
    const QString path = dir.filePath(u"cal/many.ics"_s);
    writeFile(path, crlf(R"(BEGIN:VCALENDAR
VERSION:2.0
PRODID:x
BEGIN:VEVENT
UID:one
DTSTART;VALUE=DATE:20240101
SUMMARY:One
END:VEVENT
BEGIN:VEVENT
UID:two
DTSTART;VALUE=DATE:20240102
SUMMARY:Two
X-KEEP:me
END:VEVENT
BEGIN:VTODO
UID:three
SUMMARY:Three
END:VTODO
END:VCALENDAR
)"));
    CalendarStore store(dir.path());
    QCOMPARE(allEvents(store).size(), 2);
    CalEvent one = *store.eventWithUID(u"one"_s);
    one.setTitle(u"First"_s);
    QVERIFY(store.saveEvent(one, CalSpanThisEvent));
    QCOMPARE(store.eventWithUID(u"two"_s)->title(), u"Two"_s);
    QVERIFY(lines(readFile(path)).contains(u"X-KEEP:me"_s));
    QVERIFY(store.removeEvent(*store.eventWithUID(u"two"_s), CalSpanThisEvent));
    QVERIFY(store.removeTask(*store.taskWithUID(u"three"_s)));
    QVERIFY(QFile::exists(path)); // "one" is still in it
    QCOMPARE(store.eventWithUID(u"one"_s)->title(), u"First"_s);
    QVERIFY(!store.eventWithUID(u"two"_s));
}

void tst_CalendarStore::editingTheWholeSeries()
{
    QTemporaryDir dir;
    makeCalendar(dir, u"cal"_s, "Cal");
    writeFile(dir.filePath(u"cal/d.ics"_s), daily("d"));
    CalendarStore store(dir.path());
    CalEvent first = eventsOf(store, u"d"_s)[0];
    first.setTitle(u"Renamed"_s);
    first.setRecurrenceRule(CalRecurrenceRule(CalRecurrenceRule::Daily, 2,
                                              CalRecurrenceEnd::endWithEndDate(
                                                  QDateTime(QDate(2024, 5, 9), QTime(0, 0), Qt::UTC))));
    QVERIFY(store.saveEvent(first, CalSpanFutureEvents));
    QCOMPARE(first.uid(), u"d"_s);
    const QList<CalEvent> days = eventsOf(store, u"d"_s);
    QStringList got;
    for (const CalEvent &e : days)
        got << e.startDate().date().toString(Qt::ISODate) + u' ' + e.title();
    QCOMPARE(got, (QStringList{u"2024-05-01 Renamed"_s, u"2024-05-03 Renamed"_s, u"2024-05-05 Renamed"_s,
                               u"2024-05-07 Renamed"_s}));
    QCOMPARE(days[0].recurrenceRule()->recurrenceEnd()->endDate(), QDateTime(QDate(2024, 5, 9), QTime(0, 0), Qt::UTC));

    // Invalid rules are refused before anything is written.
    CalEvent bad = days[0];
    bad.setRecurrenceRule(CalRecurrenceRule(CalRecurrenceRule::Daily, 0));
    QCOMPARE(store.saveEvent(bad, CalSpanFutureEvents).error().code, ZEM_Error::InvalidArgument);
    bad = days[0];
    bad.setEndDate(bad.startDate().addSecs(-1));
    QCOMPARE(store.saveEvent(bad, CalSpanFutureEvents).error().code, ZEM_Error::InvalidArgument);
    // Dropping the rule makes the event single.
    CalEvent single = days[0];
    single.setRecurrenceRule(std::nullopt);
    QVERIFY(store.saveEvent(single, CalSpanFutureEvents));
    QCOMPARE(eventsOf(store, u"d"_s).size(), 1);
}

void tst_CalendarStore::tasksSaveAndRemove()
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
    task.setPriority(CalPriorityNone);
    QVERIFY(store.saveTask(task));
    QVERIFY(!store.taskWithUID(task.uid())->isCompleted());
    QVERIFY(!readFile(path).contains("COMPLETED:"));
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
    writeFile(dir.filePath(u"a/series-1.ics"_s), kSeries);
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
    writeFile(ro + u"/.zem-calendar.json"_s, R"({"type": "Subscription", "editable": false})");
    writeFile(ro + u"/rich.ics"_s, kRichEvent);
    CalendarStore store(dir.path());
    CalEvent e = *store.eventWithUID(u"rich-1"_s);
    e.setTitle(u"No"_s);
    QCOMPARE(store.saveEvent(e, CalSpanThisEvent).error().code, ZEM_Error::WriteFailed);
    QCOMPARE(store.removeEvent(e, CalSpanThisEvent).error().code, ZEM_Error::WriteFailed);
    QCOMPARE(readFile(ro + u"/rich.ics"_s), kRichEvent);
}

void tst_CalendarStore::mergesChangesThatDoNotOverlap()
{
    QTemporaryDir dir;
    makeCalendar(dir, u"work"_s, "Work");
    const QString path = dir.filePath(u"work/rich-1.ics"_s);
    writeFile(path, kRichEvent);
    CalendarStore store(dir.path());
    CalEvent e = *store.eventWithUID(u"rich-1"_s);

    QByteArray theirs = kRichEvent;
    theirs.replace("LOCATION;LANGUAGE=de:Room 4", "LOCATION;LANGUAGE=de:Room 5");
    theirs.replace("X-CUSTOM-THING;X-PARAM=kept:keep me", "X-CUSTOM-THING;X-PARAM=kept:theirs");
    writeFile(path, theirs);

    e.setTitle(u"Ours"_s);
    QVERIFY(store.saveEvent(e, CalSpanThisEvent));
    QCOMPARE(e.title(), u"Ours"_s);
    QCOMPARE(e.location(), u"Room 5"_s); // their change, taken in
    const QStringList now = lines(readFile(path));
    QVERIFY(now.contains(u"SUMMARY:Ours"_s));
    QVERIFY(now.contains(u"LOCATION;LANGUAGE=de:Room 5"_s));
    QVERIFY(now.contains(u"X-CUSTOM-THING;X-PARAM=kept:theirs"_s));

    // The same for to-dos, and both sides making the same change is no conflict.
    CalTask t = CalTask::task();
    t.setCalendarUid(u"work"_s);
    t.setTitle(u"T"_s);
    QVERIFY(store.saveTask(t));
    const QString tpath = dir.filePath(u"work/"_s + t.uid() + u".ics"_s);
    QByteArray tfile = readFile(tpath);
    tfile.replace("SUMMARY:T", "SUMMARY:Same\r\nPRIORITY:5");
    writeFile(tpath, tfile);
    t.setTitle(u"Same"_s);
    QVERIFY(store.saveTask(t));
    QCOMPARE(t.priority(), 5);
}

void tst_CalendarStore::refusesOverlappingChanges()
{
    QTemporaryDir dir;
    makeCalendar(dir, u"work"_s, "Work");
    const QString path = dir.filePath(u"work/rich-1.ics"_s);
    writeFile(path, kRichEvent);
    CalendarStore store(dir.path());
    CalEvent e = *store.eventWithUID(u"rich-1"_s);

    QByteArray theirs = kRichEvent;
    theirs.replace("SUMMARY:Planning", "SUMMARY:Theirs");
    writeFile(path, theirs);
    e.setTitle(u"Ours"_s);
    const auto saved = store.saveEvent(e, CalSpanThisEvent);
    QVERIFY(!saved);
    QCOMPARE(saved.error().code, ZEM_Error::Conflict);
    QVERIFY(saved.error().message.contains(u"the title"_s));
    // Both sides are kept: the file as they wrote it, our edit in our item.
    QCOMPARE(readFile(path), theirs);
    QCOMPARE(e.title(), u"Ours"_s);
    QVERIFY(e.hasChanges());

    // Changed there, removed here.
    CalEvent fresh = *CalendarStore(dir.path()).eventWithUID(u"rich-1"_s);
    QByteArray later = theirs;
    later.replace("Room 4", "Room 9");
    writeFile(path, later);
    QCOMPARE(store.removeEvent(fresh, CalSpanThisEvent).error().code, ZEM_Error::Conflict);
    QVERIFY(QFile::exists(path));

    // Removed there, changed here.
    QVERIFY(QFile::remove(path));
    CalEvent orphan = fresh;
    orphan.setTitle(u"Edited"_s);
    QCOMPARE(store.saveEvent(orphan, CalSpanThisEvent).error().code, ZEM_Error::Conflict);
}

void tst_CalendarStore::refreshAnnouncesChanges()
{
    QTemporaryDir dir;
    makeCalendar(dir, u"cal"_s, "Cal");
    writeFile(dir.filePath(u"cal/rich.ics"_s), kRichEvent);
    writeFile(dir.filePath(u"cal/d.ics"_s), daily("d"));
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

    QByteArray changed = kRichEvent;
    changed.replace("Room 4", "Room 6");
    writeFile(dir.filePath(u"cal/rich.ics"_s), changed);
    QVERIFY(QFile::remove(dir.filePath(u"cal/d.ics"_s)));
    writeFile(dir.filePath(u"cal/new.ics"_s), daily("new"));
    writeFile(dir.filePath(u"cal/todo.ics"_s),
              crlf("BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:x\nBEGIN:VTODO\nUID:todo\nSUMMARY:T\nEND:VTODO\nEND:VCALENDAR\n"));
    makeCalendar(dir, u"other"_s, "Other");
    writeFile(dir.filePath(u"cal/color"_s), "#112233");
    store.refresh();
    QCOMPARE(events.size(), 1);
    QCOMPARE(events[0][0].toStringList(), QStringList{u"new"_s});
    QCOMPARE(events[0][1].toStringList(), QStringList{u"rich-1"_s});
    QCOMPARE(events[0][2].toStringList(), QStringList{u"d"_s});
    QCOMPARE(events[0][3].toString(), QString());
    QCOMPARE(tasks.size(), 1);
    QCOMPARE(tasks[0][0].toStringList(), QStringList{u"todo"_s});
    QCOMPARE(calendars.size(), 1);
    QCOMPARE(calendars[0][0].toStringList(), QStringList{u"other"_s});
    QCOMPARE(calendars[0][1].toStringList(), QStringList{u"cal"_s});
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
    writeFile(dir.filePath(u"cal/d.ics"_s), daily("d"));
    QTRY_COMPARE(spy.size(), 1);
    QCOMPARE(spy[0][0].toStringList(), QStringList{u"d"_s});
    writeFile(dir.filePath(u"cal/d.ics"_s), daily("d", "LOCATION:Park\n"));
    QTRY_COMPARE(spy.size(), 2);
    QCOMPARE(spy[1][1].toStringList(), QStringList{u"d"_s});
    QCOMPARE(store.eventWithUID(u"d"_s)->location(), u"Park"_s);
    QVERIFY(QFile::remove(dir.filePath(u"cal/d.ics"_s)));
    QTRY_COMPARE(spy.size(), 3);
    QCOMPARE(spy[2][2].toStringList(), QStringList{u"d"_s});
}

void tst_CalendarStore::badInputIsSkippedOrReadInPart()
{
    QTemporaryDir dir;
    makeCalendar(dir, u"cal"_s, "Cal");
    writeFile(dir.filePath(u"cal/good.ics"_s), daily("good"));
    writeFile(dir.filePath(u"cal/garbage.ics"_s), "this is not a calendar\n\x01\x02");
    writeFile(dir.filePath(u"cal/cut.ics"_s), "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:cut\r\nSUMMARY:x");
    writeFile(dir.filePath(u"cal/empty.ics"_s), "");
    writeFile(dir.filePath(u"cal/picture.jpg"_s), "\xFF\xD8\xFF\xE0 not ics");
    writeFile(dir.filePath(u"cal/zone.ics"_s), crlf(R"(BEGIN:VCALENDAR
VERSION:2.0
PRODID:x
BEGIN:VEVENT
UID:zone
DTSTART;TZID=Nowhere/Atlantis:20240601T100000
DTEND;TZID=Nowhere/Atlantis:20240601T110000
SUMMARY:Lost city
END:VEVENT
END:VCALENDAR
)"));
    const QByteArray badRule = crlf(R"(BEGIN:VCALENDAR
VERSION:2.0
PRODID:x
BEGIN:VEVENT
UID:rule
DTSTART:20240601T100000Z
RRULE:FREQ=WEEKLY;BYDAY=XX
SUMMARY:Odd rule
END:VEVENT
END:VCALENDAR
)");
    writeFile(dir.filePath(u"cal/rule.ics"_s), badRule);
    CalendarStore store(dir.path());
    QVERIFY(store.eventWithUID(u"good"_s));
    QCOMPARE(eventsOf(store, u"good"_s).size(), 5);
    QVERIFY(!store.eventWithUID(u"cut"_s));
    const QString problems = store.problems().join(u'\n');
    QVERIFY2(problems.contains(u"garbage.ics: not an iCalendar file"_s), qPrintable(problems));
    QVERIFY2(problems.contains(u"Nowhere/Atlantis"_s), qPrintable(problems));
    QVERIFY2(problems.contains(u"rule.ics"_s), qPrintable(problems));

    // An unknown zone reads as local time.
    const CalEvent lost = *store.eventWithUID(u"zone"_s);
    QCOMPARE(lost.startDate(), QDateTime(QDate(2024, 6, 1), QTime(10, 0)));
    // A rule libical rejects leaves a single event, and survives an edit of another field.
    CalEvent odd = *store.eventWithUID(u"rule"_s);
    QVERIFY(!odd.recurrenceRule());
    QCOMPARE(eventsOf(store, u"rule"_s).size(), 1);
    odd.setTitle(u"Still odd"_s);
    QVERIFY(store.saveEvent(odd, CalSpanThisEvent));
    QVERIFY(lines(readFile(dir.filePath(u"cal/rule.ics"_s))).contains(u"RRULE:FREQ=WEEKLY;BYDAY=XX"_s));

    // A line libical cannot keep at all: the file as it was is kept beside before the edit.
    const QByteArray dropped = crlf("BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:x\nBEGIN:VEVENT\nUID:odd\n"
                                "DTSTART:20240601T100000Z\nFOOBAR;Q=1:zz\nSUMMARY:Odd\nEND:VEVENT\nEND:VCALENDAR\n");
    writeFile(dir.filePath(u"cal/odd.ics"_s), dropped);
    store.refresh();
    QVERIFY(store.problems().join(u'\n').contains(u"odd.ics: some lines cannot be kept"_s));
    CalEvent oddEvent = *store.eventWithUID(u"odd"_s);
    oddEvent.setTitle(u"Even"_s);
    QVERIFY(store.saveEvent(oddEvent, CalSpanThisEvent));
    QCOMPARE(readFile(dir.filePath(u"cal/.zem-originals/odd.ics"_s)), dropped);
    QCOMPARE(store.eventWithUID(u"odd"_s)->title(), u"Even"_s);
    QVERIFY(!store.calendarWithUID(u".zem-originals"_s));
}

void tst_CalendarStore::corpusLoadsAndRoundTrips_data()
{
    QTest::addColumn<QString>("file");
    const QDir data(QStringLiteral(ZEM_SOURCE_DIR "/tests/platform/data/ics"));
    const QStringList files = data.entryList({u"*.ics"_s}, QDir::Files, QDir::Name);
    QVERIFY(files.size() >= 5);
    for (const QString &f : files)
        QTest::newRow(qPrintable(f)) << data.filePath(f);
}

void tst_CalendarStore::corpusLoadsAndRoundTrips()
{
    QFETCH(QString, file);
    QTemporaryDir dir;
    makeCalendar(dir, u"cal"_s, "Corpus");
    const QString path = dir.filePath(u"cal/item.ics"_s);
    const QByteArray original = readFile(file);
    writeFile(path, original);
    CalendarStore store(dir.path());
    const QList<CalEvent> events = allEvents(store);
    const QList<CalTask> tasks = store.tasksWithPredicate({});
    const CalItemsRead read = CalendarStore::readICalendarData(original);
    if (read.events.isEmpty() && read.tasks.isEmpty())
        return; // a calendar of zones only: loaded without items
    QVERIFY(!events.isEmpty() || !tasks.isEmpty());

    // Exported and read again, every item keeps its fields.
    for (const CalEvent &e : read.events) {
        const CalItemsRead again = CalendarStore::readICalendarData(CalendarStore::iCalendarData(e));
        QCOMPARE(again.events.size(), 1);
        QCOMPARE(describe(again.events[0]), describe(e));
    }
    // Saved unchanged, the file stays; saved with a new title, every other field stays.
    const QString uid = read.events.isEmpty() ? read.tasks[0].uid() : read.events[0].uid();
    if (!read.events.isEmpty()) {
        CalEvent e = *store.eventWithUID(uid);
        QVERIFY(store.saveEvent(e, CalSpanThisEvent));
        QCOMPARE(readFile(path), original);
        const QVariantMap before = describe(e);
        e.setTitle(u"Renamed"_s);
        QVERIFY(store.saveEvent(e, CalSpanFutureEvents));
        QVariantMap after = describe(*CalendarStore(dir.path()).eventWithUID(uid));
        QCOMPARE(after.value(u"title"_s).toString(), u"Renamed"_s);
        after.insert(u"title"_s, before.value(u"title"_s));
        QCOMPARE(after, before);
    }
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


namespace {
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
}

void tst_CalendarStore::newItemWithTakenUidIsRefused()
{
    QTemporaryDir dir;
    makeCalendar(dir, u"cal"_s, "Cal");
    writeFile(dir.filePath(u"cal/rich.ics"_s), kRichEvent);
    CalendarStore store(dir.path());
    // another program adds one after we read
    writeFile(dir.filePath(u"cal/late.ics"_s), daily("late"));
    const auto before = snapshot(dir.path());
    for (const QByteArray &data : {kRichEvent, daily("late")}) {
    CalEvent copy = CalendarStore::readICalendarData(data).events.value(0);
    QVERIFY(copy.isNew());
    copy.setCalendarUid(u"cal"_s);
    copy.setTitle(u"Copy"_s);
    const auto saved = store.saveEvent(copy, CalSpanThisEvent);
    QVERIFY(!saved);
    QCOMPARE(snapshot(dir.path()), before);
    }
}

ZEM_TEST_MAIN(tst_CalendarStore)
#include "tst_CalendarStore.moc"
