// Repeat rules and folders that would make the calendar store run away: rules that never
// or rarely match, series that fill a listing, and saves that must not read the folder.
#include "CalendarFixture.h"

#include <QSignalSpy>

using namespace caltest;

namespace {

QByteArray vevent(const QByteArray &uid, const QByteArray &start, const QByteArray &rule, const QByteArray &extra = {})
{
    return "BEGIN:VEVENT\nUID:" + uid + "\nDTSTAMP:20260101T000000Z\nDTSTART:" + start + "\nDTEND:" + start
           + "\nRRULE:" + rule + "\nSUMMARY:" + uid + '\n' + extra + "END:VEVENT\n";
}

QDateTime at(const QString &iso)
{
    return QDateTime::fromString(iso, Qt::ISODate);
}

QList<CalEvent> listed(const CalendarStore &store, const QDateTime &from, const QDateTime &to)
{
    return store.eventsWithPredicate(CalendarStore::eventPredicateWithStartDate(from, to, store.calendars()));
}

QStringList startsOf(const QList<CalEvent> &events)
{
    QStringList out;
    for (const CalEvent &e : events)
        out.append(utc(e.startDate()));
    return out;
}

} // namespace

class tst_CalendarStoreRunaway : public QObject
{
    Q_OBJECT
private slots:
    void rulesAreExpandedWithinBoundedWork_data()
    {
        QTest::addColumn<QByteArray>("rule");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QStringList>("starts"); // the first few listed (a rule that never matches: its DTSTART)
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("problem"); // a line problems() holds, or empty for none

        QTest::newRow("never matches") << "FREQ=SECONDLY;BYMONTH=2;BYMONTHDAY=30"_ba << u"2026-01-01T00:00:00Z"_s
                                       << u"2027-01-01T00:00:00Z"_s << QStringList{u"2026-01-01T10:00:00Z"_s} << 1
                                       << u"repeat rule “FREQ=SECONDLY;BYMONTHDAY=30;BYMONTH=2” finds no occurrence"_s;
        QTest::newRow("matches in leap years") << "FREQ=SECONDLY;BYMONTH=2;BYMONTHDAY=29"_ba << u"2028-02-29T00:00:00Z"_s
                                               << u"2028-02-29T00:00:03Z"_s
                                               << QStringList{u"2028-02-29T00:00:00Z"_s, u"2028-02-29T00:00:01Z"_s,
                                                              u"2028-02-29T00:00:02Z"_s}
                                               << 3 << QString();
        QTest::newRow("hours keep their step far from the start")
            << "FREQ=HOURLY;INTERVAL=5"_ba << u"2026-03-01T00:00:00Z"_s << u"2026-03-02T00:00:00Z"_s
            << QStringList{u"2026-03-01T04:00:00Z"_s, u"2026-03-01T09:00:00Z"_s} << 4 << QString();
        QTest::newRow("seconds keep their step far from the start")
            << "FREQ=SECONDLY;INTERVAL=7"_ba << u"2026-03-01T00:00:00Z"_s << u"2026-03-01T00:00:10Z"_s
            << QStringList{u"2026-03-01T00:00:02Z"_s, u"2026-03-01T00:00:09Z"_s} << 2 << QString();
        QTest::newRow("minutes on chosen seconds and hours")
            << "FREQ=MINUTELY;INTERVAL=30;BYSECOND=5,50;BYHOUR=12"_ba << u"2026-01-02T00:00:00Z"_s
            << u"2026-01-03T00:00:00Z"_s
            << QStringList{u"2026-01-02T12:00:05Z"_s, u"2026-01-02T12:00:50Z"_s, u"2026-01-02T12:30:05Z"_s} << 4
            << QString();
        QTest::newRow("a count walked from the start") << "FREQ=SECONDLY;COUNT=1000000000;BYMINUTE=7"_ba
                                                       << u"2026-01-02T03:07:58Z"_s << u"2026-01-02T03:08:00Z"_s
                                                       << QStringList{u"2026-01-02T03:07:58Z"_s, u"2026-01-02T03:07:59Z"_s}
                                                       << 2 << QString();
    }

    void rulesAreExpandedWithinBoundedWork()
    {
        QFETCH(QByteArray, rule);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QStringList, starts);
        QFETCH(int, count);
        QFETCH(QString, problem);
        OneCalendar dir;
        QVERIFY(writeFile(dir.filePath(u"cal/r.ics"_s), calendar(vevent("r", "20260101T100000Z", rule))));

        CalendarStore store(dir.path());
        const QList<CalEvent> events = listed(store, at(from), at(to));
        QCOMPARE(startsOf(events).mid(0, starts.size()), starts);
        QCOMPARE(events.size(), count);
        const QString problems = store.problems().join(u'\n');
        if (problem.isEmpty())
            QVERIFY2(problems.isEmpty(), qPrintable(problems));
        else
            QVERIFY2(problems.contains(problem), qPrintable(problems));
    }

    // A hundred series of one each second: a day of them is more than a listing holds.
    void aListingIsCutWithAProblem()
    {
        OneCalendar dir;
        QByteArray events;
        for (int i = 0; i < 100; ++i)
            events += vevent("bomb-" + QByteArray::number(i), "20260101T000000Z", "FREQ=SECONDLY");
        QVERIFY(writeFile(dir.filePath(u"cal/bomb.ics"_s), calendar(events)));
        CalendarStore store(dir.path());
        QCOMPARE(store.problems(), QStringList());

        const QDateTime noon = at(u"2026-06-01T12:00:00Z"_s);
        QCOMPARE(listed(store, noon, noon.addSecs(60)).size(), 100 * 60);
        QVERIFY(store.problems().isEmpty());

        const QList<CalEvent> day = listed(store, noon, noon.addDays(1));
        QVERIFY(day.size() < 100 * 86400);
        QVERIFY(!day.isEmpty());
        QCOMPARE(day.first().startDate(), noon);
        QVERIFY2(store.problems().join(u'\n').contains(u"a listing stopped at its first"_s),
                 qPrintable(store.problems().join(u'\n')));
    }

    void exclusionsOfEveryForm()
    {
        OneCalendar dir;
        // Every day at 10:00 UTC in 2026; every other day excluded, some twice, one by its date.
        QByteArray exdates;
        for (int d = 0; d < 365; d += 2) {
            const QByteArray day = QDate(2026, 1, 1).addDays(d).toString(u"yyyyMMdd"_s).toLatin1();
            exdates += "EXDATE:" + day + "T100000Z\n";
            if (d % 10 == 0)
                exdates += "EXDATE:" + day + "T100000Z\n";
        }
        exdates += "EXDATE;VALUE=DATE:20260102\nEXDATE:20260104T100001Z\n";
        QVERIFY(writeFile(dir.filePath(u"cal/x.ics"_s),
                          calendar(vevent("x", "20260101T100000Z", "FREQ=DAILY;COUNT=365", exdates))));
        CalendarStore store(dir.path());

        const QStringList starts = startsOf(listed(store, at(u"2026-01-01T00:00:00Z"_s), at(u"2027-01-01T00:00:00Z"_s)));
        QCOMPARE(starts.size(), 365 / 2 - 1);
        QCOMPARE(starts.mid(0, 2), (QStringList{u"2026-01-04T10:00:00Z"_s, u"2026-01-06T10:00:00Z"_s}));
    }

    // Refusing a UID another program took since is tst_CalendarStoreSaves::newItemWithATakenUidIsRefused.
    void savesReadOnlyTheirOwnItem()
    {
        OneCalendar dir;
        const QString other = dir.filePath(u"cal/other.ics"_s);
        QVERIFY(writeFile(other, calendar(vevent("other", "20260101T100000Z", "FREQ=DAILY"))));
        CalendarStore store(dir.path());

        // Another program adds an item and edits one the store knows, after the store read the folder.
        QVERIFY(writeFile(dir.filePath(u"cal/named.ics"_s), calendar(vevent("named", "20260101T100000Z", "FREQ=DAILY"))));
        QVERIFY(writeFile(other, calendar(vevent("other", "20260101T100000Z", "FREQ=WEEKLY"))));

        QSignalSpy changed(&store, &CalendarStore::eventsChanged);
        CalEvent fresh = CalEvent::event();
        fresh.setCalendarUid(u"cal"_s);
        fresh.setTitle(u"Fresh"_s);
        fresh.setStartDate(at(u"2026-03-01T10:00:00Z"_s));
        QVERIFY(store.saveEvent(fresh, CalSpanThisEvent));
        // The save announces its own item only: the edited file waits for the watcher or a refresh.
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.first().at(0).toStringList(), QStringList{fresh.uid()});
        QCOMPARE(changed.first().at(1).toStringList(), QStringList());
        QCOMPARE(store.eventWithUID(u"other"_s)->recurrenceRule()->recurrenceType(), CalRecurrenceRule::Daily);
        store.refresh();
        QCOMPARE(store.eventWithUID(u"other"_s)->recurrenceRule()->recurrenceType(), CalRecurrenceRule::Weekly);
    }
};

ZEM_TEST_MAIN(tst_CalendarStoreRunaway)
#include "tst_CalendarStoreRunaway.moc"
