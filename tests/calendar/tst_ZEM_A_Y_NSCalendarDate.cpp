#include "calendar/ZEM_A_Y_NSCalendarDate.h"

#include "ZemTestEnv.h"

#include <QProcess>
#include <QStandardPaths>

#include <limits>

using namespace ZEM_A_Y_NSCalendarDate;

namespace {

// Python's proleptic Gregorian calendar, one line per year and per month:
//   Y <year> <JDN of the Monday of ISO week 1> <ISO weeks in the year>
//   M <year> <month> <JDN of day 1> <days in the month> <ISO week of each day, as chr(48 + week)>
// JDN = ordinal + 1721425 (ordinal 1 is 1 January of the year 1).
const char *const referenceScript = R"(
import datetime, sys
D = datetime.date
J = 1721425
out = []
for y in range(1, 10000):
    out.append('Y %d %d %d' % (y, D.fromisocalendar(y, 1, 1).toordinal() + J,
                               D(y, 12, 28).isocalendar()[1]))
    for m in range(1, 13):
        first = D(y, m, 1).toordinal()
        last = D(y, 12, 31).toordinal() if m == 12 else D(y, m + 1, 1).toordinal() - 1
        weeks = ''.join(chr(48 + D.fromordinal(o).isocalendar()[1])
                        for o in range(first, last + 1))
        out.append('M %d %d %d %d %s' % (y, m, first + J, last - first + 1, weeks))
sys.stdout.write('\n'.join(out) + '\n')
)";

// Fields in UTC: no zone lookups, so the sweep over every day stays quick; the JDN and
// week operations only read the date's own fields.
ZEM_A_CalendarDate utcDate(int year, int month, int day)
{
    return ZEM_A_CalendarDate::fromDateTime(
        QDateTime(QDate(year, month, day), QTime(0, 0), Qt::UTC));
}

QString fields(const ZEM_A_CalendarDate &date)
{
    return QString::asprintf("%d-%d-%d %d:%d:%d dow %d", date.yearOfCommonEra(),
                             date.monthOfYear(), date.dayOfMonth(), date.hourOfDay(),
                             date.minuteOfHour(), date.secondOfMinute(), date.dayOfWeek());
}

QString ymd(int year, int month, int day)
{
    return QStringLiteral("%1-%2-%3 0:0:0").arg(year).arg(month).arg(day);
}

} // namespace

class tst_ZEM_A_Y_NSCalendarDate : public QObject
{
    Q_OBJECT

private slots:
    void constructionFields()
    {
        const ZEM_A_CalendarDate date(2010, 7, 31, 9, 30, 15);
        QVERIFY(date.isValid());
        QCOMPARE(fields(date), QStringLiteral("2010-7-31 9:30:15 dow 6"));
        QCOMPARE(date.dayOfCommonEra(), qint64(QDate(2010, 7, 31).toJulianDay() - 1721425));
        QCOMPARE(ZEM_A_CalendarDate(1, 1, 1).dayOfCommonEra(), qint64(1));
        QCOMPARE(date.timeZone().id(), QByteArray("Europe/Berlin"));
        QCOMPARE(date.toDateTime().offsetFromUtc(), 7200);

        // The same instant is another day in Tokyo; fields follow the date's own zone.
        const ZEM_A_CalendarDate tokyo
            = ZEM_A_CalendarDate::fromDateTime(date.toDateTime().addSecs(16 * 3600)
                                                   .toTimeZone(QTimeZone("Asia/Tokyo")));
        QCOMPARE(fields(tokyo), QStringLiteral("2010-8-1 8:30:15 dow 0"));
        QCOMPARE(tokyo.timeZone().id(), QByteArray("Asia/Tokyo"));
        QVERIFY(tokyo != date);
        QCOMPARE(ZEM_A_CalendarDate::fromDateTime(date.toDateTime()), date);
        // Same instant, other zone: not the same calendar date.
        QVERIFY(ZEM_A_CalendarDate::fromDateTime(date.toDateTime().toUTC()) != date);

        auto viaResult = ZEM_A_CalendarDate::fromFields(2010, 7, 31, 9, 30, 15);
        QVERIFY(viaResult);
        QCOMPARE(*viaResult, date);
    }

    void invalidFields_data()
    {
        QTest::addColumn<QList<int>>("f"); // year, month, day, hour, minute, second
        QTest::newRow("30 February") << QList{2010, 2, 30, 0, 0, 0};
        QTest::newRow("month 13") << QList{2010, 13, 1, 0, 0, 0};
        QTest::newRow("day 0") << QList{2010, 1, 0, 0, 0, 0};
        QTest::newRow("year 0") << QList{0, 1, 1, 0, 0, 0};
        QTest::newRow("24:00") << QList{2010, 1, 1, 24, 0, 0};
        QTest::newRow("negative second") << QList{2010, 1, 1, 0, 0, -1};
    }

    void invalidFields()
    {
        QFETCH(QList<int>, f);
        const ZEM_A_CalendarDate date(f[0], f[1], f[2], f[3], f[4], f[5]);
        QVERIFY(!date.isValid());
        QCOMPARE(fields(date), QStringLiteral("0-0-0 0:0:0 dow 0"));
        QVERIFY(!date.toDateTime().isValid());
        QCOMPARE(date, ZEM_A_CalendarDate());

        const auto result = ZEM_A_CalendarDate::fromFields(f[0], f[1], f[2], f[3], f[4], f[5]);
        QVERIFY(!result);
        QCOMPARE(result.error().code, ZEM_Error::InvalidArgument);
        QVERIFY(!result.error().message.isEmpty());

        // Every operation answers "no date" for it.
        QCOMPARE(ZEM_A_Y_NSCalendarDate::julianDayNumber(date), 0);
        QCOMPARE(ZEM_A_Y_NSCalendarDate::weekOfYear(date), 0);
        QCOMPARE(numberOfDaysInMonth(date), 0);
        QCOMPARE(ZEM_A_Y_NSCalendarDate::weekOfMonth(date), 0);
        QVERIFY(!firstDayOfMonth(date).isValid());
        QVERIFY(!lastDayOfMonth(date).isValid());
        QVERIFY(!ZEM_A_Y_NSCalendarDate::isInSameWeekAsDate(date, date));
        QVERIFY(!date.dateByAddingYears(0, 0, 1, 0, 0, 0).isValid());
    }

    void daylightSavingConstruction()
    {
        // 28 March 2010: Berlin skips from 02:00 to 03:00. A skipped wall time moves forward.
        const ZEM_A_CalendarDate gap(2010, 3, 28, 2, 30, 0);
        QVERIFY(gap.isValid());
        QCOMPARE(fields(gap), QStringLiteral("2010-3-28 3:30:0 dow 0"));
        QCOMPARE(gap.toDateTime().offsetFromUtc(), 7200);
        const ZEM_A_CalendarDate named(2010, 3, 28, 2, 30, 0, QTimeZone("Europe/Berlin"));
        QCOMPARE(fields(named), QStringLiteral("2010-3-28 3:30:0 dow 0"));
        QCOMPARE(named.toDateTime(), gap.toDateTime());
        QCOMPARE(fields(ZEM_A_CalendarDate(2010, 3, 28, 0, 0, 0)), ymd(2010, 3, 28) + " dow 0");
        QCOMPARE(fields(ZEM_A_CalendarDate(2010, 3, 28, 3, 0, 0)),
                 QStringLiteral("2010-3-28 3:0:0 dow 0"));

        // 31 October 2010: 02:00 to 03:00 happens twice; the earlier one, in summer time, is
        // taken, however the process asked for local times before.
        for (int round = 0; round < 2; ++round) {
            const ZEM_A_CalendarDate repeated(2010, 10, 31, 2, 30, 0);
            QCOMPARE(fields(repeated), QStringLiteral("2010-10-31 2:30:0 dow 0"));
            QCOMPARE(repeated.toDateTime().offsetFromUtc(), 7200);
            const ZEM_A_CalendarDate named(2010, 10, 31, 2, 30, 0, QTimeZone("Europe/Berlin"));
            QCOMPARE(named.toDateTime(), repeated.toDateTime());
            QCOMPARE(ZEM_A_CalendarDate(2010, 10, 31, 1, 30, 0).dateByAddingYears(0, 0, 0, 1, 0, 0),
                     repeated);
            // Ask about a winter time in between, which sways the C library's guess.
            QVERIFY(ZEM_A_CalendarDate(2010, 12, 1, 2, 30, 0).isValid());
        }

        // Berlin left local mean time (+0:53:28) for +1:00 at midnight on 1 April 1893: that
        // day's midnight never was, and the day starts at 00:06:32.
        const ZEM_A_CalendarDate meanTime(1893, 4, 1, 0, 0, 0);
        QCOMPARE(fields(meanTime), QStringLiteral("1893-4-1 0:6:32 dow 6"));
        QCOMPARE(fields(dateWithJulianDayNumber(2412555)), fields(meanTime));

        // São Paulo skipped its midnight on 4 November 2018: that day starts at 01:00.
        const QTimeZone saoPaulo("America/Sao_Paulo");
        if (!saoPaulo.isValid())
            QSKIP("no America/Sao_Paulo zone data");
        const ZEM_A_CalendarDate midnight(2018, 11, 4, 0, 0, 0, saoPaulo);
        QCOMPARE(fields(midnight), QStringLiteral("2018-11-4 1:0:0 dow 0"));
        QCOMPARE(midnight.timeZone(), saoPaulo);

        const auto badZone = ZEM_A_CalendarDate::fromFields(2010, 1, 1, 0, 0, 0,
                                                            QTimeZone("No/Such_Zone"));
        QVERIFY(!badZone);
        QCOMPARE(badZone.error().code, ZEM_Error::InvalidArgument);
        QVERIFY(!ZEM_A_CalendarDate(2010, 1, 1, 0, 0, 0, QTimeZone("No/Such_Zone")).isValid());
    }

    void dateByAdding_data()
    {
        QTest::addColumn<QDate>("start");
        QTest::addColumn<QList<int>>("amounts"); // years, months, days, hours, minutes, seconds
        QTest::addColumn<QString>("expected");

        QTest::newRow("31 January plus a month") << QDate(2010, 1, 31) << QList{0, 1, 0, 0, 0, 0}
                                                 << "2010-2-28 10:20:30 dow 0";
        QTest::newRow("leap day plus a year") << QDate(2008, 2, 29) << QList{1, 0, 0, 0, 0, 0}
                                              << "2009-2-28 10:20:30 dow 6";
        // Years and months move together, so the day is clamped once, at the end.
        QTest::newRow("leap day plus a year and a month")
            << QDate(2008, 2, 29) << QList{1, 1, 0, 0, 0, 0} << "2009-3-29 10:20:30 dow 0";
        QTest::newRow("first of month plus a month minus a day")
            << QDate(2008, 2, 1) << QList{0, 1, -1, 0, 0, 0} << "2008-2-29 10:20:30 dow 5";
        QTest::newRow("31 March minus a month") << QDate(2010, 3, 31) << QList{0, -1, 0, 0, 0, 0}
                                                << "2010-2-28 10:20:30 dow 0";
        QTest::newRow("time overflows into the next day")
            << QDate(2010, 12, 31) << QList{0, 0, 0, 13, 40, 30} << "2011-1-1 0:1:0 dow 6";
        QTest::newRow("negative time") << QDate(2010, 1, 1) << QList{0, 0, 0, -10, -20, -31}
                                       << "2009-12-31 23:59:59 dow 4";
        QTest::newRow("days across a year") << QDate(2010, 12, 25) << QList{0, 0, 10, 0, 0, 0}
                                            << "2011-1-4 10:20:30 dow 2";
    }

    void dateByAdding()
    {
        QFETCH(QDate, start);
        QFETCH(QList<int>, amounts);
        QFETCH(QString, expected);

        const ZEM_A_CalendarDate date(start.year(), start.month(), start.day(), 10, 20, 30);
        const ZEM_A_CalendarDate moved = date.dateByAddingYears(amounts[0], amounts[1], amounts[2],
                                                                amounts[3], amounts[4], amounts[5]);
        QCOMPARE(fields(moved), expected);
        QCOMPARE(moved.timeZone(), date.timeZone());
    }

    void dateByAddingAcrossDaylightSaving()
    {
        // A day is a calendar day: noon stays noon though the day has 23 or 25 hours.
        const ZEM_A_CalendarDate beforeSpring(2010, 3, 27, 12, 0, 0);
        const ZEM_A_CalendarDate spring = beforeSpring.dateByAddingYears(0, 0, 1, 0, 0, 0);
        QCOMPARE(fields(spring), QStringLiteral("2010-3-28 12:0:0 dow 0"));
        QCOMPARE(beforeSpring.toDateTime().secsTo(spring.toDateTime()), 23 * 3600);
        const ZEM_A_CalendarDate beforeAutumn(2010, 10, 30, 12, 0, 0);
        const ZEM_A_CalendarDate autumn = beforeAutumn.dateByAddingYears(0, 0, 1, 0, 0, 0);
        QCOMPARE(fields(autumn), QStringLiteral("2010-10-31 12:0:0 dow 0"));
        QCOMPARE(beforeAutumn.toDateTime().secsTo(autumn.toDateTime()), 25 * 3600);

        // Hours are elapsed time: one hour after 01:30 on the spring day is 03:30.
        QCOMPARE(fields(ZEM_A_CalendarDate(2010, 3, 28, 1, 30, 0).dateByAddingYears(0, 0, 0, 1, 0, 0)),
                 QStringLiteral("2010-3-28 3:30:0 dow 0"));
        QCOMPARE(fields(ZEM_A_CalendarDate(2010, 10, 31, 1, 30, 0).dateByAddingYears(0, 0, 0, 2, 0, 0)),
                 QStringLiteral("2010-10-31 2:30:0 dow 0"));
        // A day that lands in the gap moves forward like a constructed one.
        QCOMPARE(fields(ZEM_A_CalendarDate(2010, 3, 27, 2, 30, 0).dateByAddingYears(0, 0, 1, 0, 0, 0)),
                 QStringLiteral("2010-3-28 3:30:0 dow 0"));
        // A named zone stays named.
        const QTimeZone tokyo("Asia/Tokyo");
        const ZEM_A_CalendarDate inTokyo(2010, 3, 27, 2, 30, 0, tokyo);
        QCOMPARE(inTokyo.dateByAddingYears(0, 0, 1, 0, 0, 0).timeZone(), tokyo);
        QCOMPARE(inTokyo.dateByAddingYears(0, 0, 1, 0, 0, 0).hourOfDay(), 2);

        // Amounts too large for the calendar give an invalid date, not an overflow.
        const int most = std::numeric_limits<int>::max();
        QVERIFY(!beforeSpring.dateByAddingYears(most, most, 0, 0, 0, 0).isValid());
        QVERIFY(!beforeSpring.dateByAddingYears(-most, -most, 0, 0, 0, 0).isValid());
        const ZEM_A_CalendarDate far = beforeSpring.dateByAddingYears(0, 0, most, most, most, most);
        QVERIFY(far.isValid());
        QVERIFY(far.yearOfCommonEra() > 5000000);
    }

    // The numbers of one day, each checked in the local zone: its JDN, its ISO week, its row
    // in a month of Sunday-to-Saturday weeks and the length of its month. Every day of the
    // years 1 to 9999 is also checked against the reference below (in UTC); these rows are
    // the turns of years and months, the change days, and days past the year 9999.
    void dayNumbers_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<int>("jdn");
        QTest::addColumn<int>("week");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("days");
        QTest::newRow("1 January 2000") << QDate(2000, 1, 1) << 2451545 << 52 << 1 << 31;
        QTest::newRow("first supported") << QDate(1, 1, 1) << FirstJulianDayNumber << 1 << 1 << 31;
        QTest::newRow("31 Dec 2008 (Wednesday)") << QDate(2008, 12, 31) << 2454832 << 1 << 5 << 31;
        // 2009 starts on Thursday: 53 weeks, its 31 December in week 53.
        QTest::newRow("31 Dec 2009 (Thursday)") << QDate(2009, 12, 31) << 2455197 << 53 << 5 << 31;
        QTest::newRow("1 Jan 2010 (Friday)") << QDate(2010, 1, 1) << 2455198 << 53 << 1 << 31;
        QTest::newRow("1 May 2010 (Saturday)") << QDate(2010, 5, 1) << 2455318 << 17 << 1 << 31;
        QTest::newRow("2 May 2010 (Sunday)") << QDate(2010, 5, 2) << 2455319 << 17 << 2 << 31;
        QTest::newRow("30 May 2010: sixth row") << QDate(2010, 5, 30) << 2455347 << 21 << 6 << 31;
        QTest::newRow("31 May 2010") << QDate(2010, 5, 31) << 2455348 << 22 << 6 << 31;
        QTest::newRow("31 July 2010") << QDate(2010, 7, 31) << 2455409 << 30 << 5 << 31;
        QTest::newRow("1 August 2010 (Sunday)") << QDate(2010, 8, 1) << 2455410 << 30 << 1 << 31;
        QTest::newRow("28 Feb 2009: four rows") << QDate(2009, 2, 28) << 2454891 << 9 << 4 << 28;
        QTest::newRow("29 February 2008") << QDate(2008, 2, 29) << 2454526 << 9 << 5 << 29;
        QTest::newRow("1 February 2100") << QDate(2100, 2, 1) << 2488101 << 5 << 1 << 28;
        QTest::newRow("February 1900") << QDate(1900, 2, 10) << 2415061 << 6 << 2 << 28;
        QTest::newRow("spring change day") << QDate(2010, 3, 28) << 2455284 << 12 << 5 << 31;
        QTest::newRow("autumn change day") << QDate(2010, 10, 31) << 2455501 << 43 << 6 << 31;
        // Nothing in the arithmetic stops at the year 9999; 32 bits last until 1465101.
        QTest::newRow("31 Dec 9999 (Friday)") << QDate(9999, 12, 31) << 5373484 << 52 << 5 << 31;
        QTest::newRow("1 Jan 10000 (Saturday)") << QDate(10000, 1, 1) << 5373485 << 52 << 1 << 31;
        QTest::newRow("3 Jan 10000 (Monday)") << QDate(10000, 1, 3) << 5373487 << 1 << 2 << 31;
    }

    void dayNumbers()
    {
        QFETCH(QDate, date);
        QFETCH(int, jdn);
        QFETCH(int, week);
        QFETCH(int, row);
        QFETCH(int, days);
        const auto at = [&date](int hour, int minute = 0, const QTimeZone &zone = {}) {
            const int y = date.year(), m = date.month(), d = date.day();
            return zone.isValid() ? ZEM_A_CalendarDate(y, m, d, hour, minute, 0, zone)
                                  : ZEM_A_CalendarDate(y, m, d, hour, minute, 0);
        };
        QCOMPARE(ZEM_A_Y_NSCalendarDate::julianDayNumber(at(12)), jdn);
        int year = -1, month = -1, day = -1;
        JulianDayNumberToGregorianDate(jdn, &year, &month, &day);
        QCOMPARE(QDate(year, month, day), date);
        const ZEM_A_CalendarDate back = dateWithJulianDayNumber(jdn);
        QCOMPARE(fields(back), ymd(date.year(), date.month(), date.day()) + " dow "
                                   + QString::number(date.dayOfWeek() % 7));
        QCOMPARE(back.timeZone().id(), QByteArray("Europe/Berlin"));

        for (int hour : {0, 12, 23})
            QCOMPARE(ZEM_A_Y_NSCalendarDate::weekOfYear(at(hour)), week);
        QCOMPARE(date.weekNumber(), week); // Qt's own ISO week agrees with the table
        QCOMPARE(ZEM_A_Y_NSCalendarDate::weekOfMonth(at(18)), row);

        // A date in another zone: its own month counts, the results are local noon.
        const auto noon = [&date](int day) {
            return QString::asprintf("%d-%d-%d 12:0:0 dow %d", date.year(), date.month(), day,
                                     QDate(date.year(), date.month(), day).dayOfWeek() % 7);
        };
        const QTimeZone kiritimati("Pacific/Kiritimati");
        for (const ZEM_A_CalendarDate &source : {at(23, 59), at(0, 30, kiritimati)}) {
            const ZEM_A_CalendarDate first = firstDayOfMonth(source);
            QCOMPARE(fields(first), noon(1));
            QCOMPARE(first.timeZone().id(), QByteArray("Europe/Berlin"));
            QCOMPARE(fields(lastDayOfMonth(source)), noon(days));
            QCOMPARE(numberOfDaysInMonth(source), days);
        }
    }

    void julianDayNumberUsesOwnZoneAndIgnoresTime()
    {
        using ZEM_A_Y_NSCalendarDate::julianDayNumber;
        QCOMPARE(julianDayNumber(ZEM_A_CalendarDate(2000, 1, 1, 0, 0, 0)), 2451545);
        QCOMPARE(julianDayNumber(ZEM_A_CalendarDate(2000, 1, 1, 23, 59, 59)), 2451545);
        // 01:00 on 1 January 2000 in Tokyo is still 31 December 1999 in Berlin.
        const ZEM_A_CalendarDate tokyo(2000, 1, 1, 1, 0, 0, QTimeZone("Asia/Tokyo"));
        QCOMPARE(julianDayNumber(tokyo), 2451545);
        QCOMPARE(julianDayNumber(ZEM_A_CalendarDate::fromDateTime(tokyo.toDateTime().toLocalTime())),
                 2451544);
    }

    void julianDayNumberOutOfRange()
    {
        using ZEM_A_Y_NSCalendarDate::julianDayNumber;
        const QRegularExpression warning(QStringLiteral("No Julian day number for the year"));

        QCOMPARE(julianDayNumber(ZEM_A_CalendarDate(1465101, 12, 31, 12, 0, 0)), 536838576);
        QTest::ignoreMessage(QtWarningMsg, warning);
        QCOMPARE(julianDayNumber(ZEM_A_CalendarDate(1465102, 1, 1)), 0);
        QTest::ignoreMessage(QtWarningMsg, warning);
        QCOMPARE(julianDayNumber(ZEM_A_CalendarDate(-1, 12, 31)), 0);
        QTest::ignoreMessage(QtWarningMsg, warning);
        QCOMPARE(ZEM_A_Y_NSCalendarDate::weekOfYear(ZEM_A_CalendarDate(1465102, 1, 1)), 0);
        // A year far beyond 32 bits of days must not overflow.
        const ZEM_A_CalendarDate far = ZEM_A_CalendarDate(2010, 1, 1).dateByAddingYears(
            0, 0, std::numeric_limits<int>::max(), 0, 0, 0);
        QTest::ignoreMessage(QtWarningMsg, warning);
        QCOMPARE(julianDayNumber(far), 0);
        // Month operations do not need JDNs and keep working there.
        QCOMPARE(numberOfDaysInMonth(ZEM_A_CalendarDate(1465104, 2, 3)), 29);
    }

    void gregorianDateOutOfRange_data()
    {
        QTest::addColumn<int>("jdn");
        QTest::newRow("day before the year 1") << FirstJulianDayNumber - 1;
        QTest::newRow("day after the last year") << 536838577;
        QTest::newRow("zero") << 0;
        QTest::newRow("negative") << -32045;
        QTest::newRow("largest") << std::numeric_limits<qint32>::max();
        QTest::newRow("smallest") << std::numeric_limits<qint32>::min();
    }

    void gregorianDateOutOfRange()
    {
        QFETCH(int, jdn);
        const QRegularExpression warning(QStringLiteral("No calendar date for the Julian day"));

        int year = -1, month = -1, day = -1;
        QTest::ignoreMessage(QtWarningMsg, warning);
        JulianDayNumberToGregorianDate(jdn, &year, &month, &day);
        QCOMPARE(QList<int>({year, month, day}), QList<int>({0, 0, 0}));

        QTest::ignoreMessage(QtWarningMsg, warning);
        QVERIFY(!dateWithJulianDayNumber(jdn).isValid());
    }

    // Their dates are dayNumbers' change-day rows.
    void dateWithJulianDayNumberOnDaylightSavingDays()
    {
        // Midnight exists on Berlin's change days; the day starts in the old offset.
        const ZEM_A_CalendarDate spring = dateWithJulianDayNumber(2455284);
        QCOMPARE(spring.toDateTime().offsetFromUtc(), 3600);
        QCOMPARE(dateWithJulianDayNumber(2455501).toDateTime().offsetFromUtc(), 7200);
        QCOMPARE(spring.dateByAddingYears(0, 0, 1, 0, 0, 0), dateWithJulianDayNumber(2455285));

        // Null out-parameters are skipped.
        int year = 0, day = 0;
        JulianDayNumberToGregorianDate(2451545, &year, nullptr, nullptr);
        JulianDayNumberToGregorianDate(2451545, nullptr, nullptr, &day);
        QCOMPARE(QList<int>({year, day}), QList<int>({2000, 1}));
    }

    void firstDateInWeek_data()
    {
        QTest::addColumn<int>("week");
        QTest::addColumn<int>("year");
        QTest::addColumn<QDate>("monday");

        QTest::newRow("week 1 of 2009") << 1 << 2009 << QDate(2008, 12, 29);
        QTest::newRow("week 53 of 2009") << 53 << 2009 << QDate(2009, 12, 28);
        QTest::newRow("week 12 of 2010 (spring change week)") << 12 << 2010 << QDate(2010, 3, 22);
        QTest::newRow("week 53 of 2010, which has 52") << 53 << 2010 << QDate(2011, 1, 3);
        QTest::newRow("week 53 of 9999, which has 52") << 53 << 9999 << QDate(10000, 1, 3);
        QTest::newRow("week 1 of 10000") << 1 << 10000 << QDate(10000, 1, 3);
        QTest::newRow("week 53 of the last year") << 53 << 1465101 << QDate(1465101, 12, 30);
    }

    void firstDateInWeek()
    {
        QFETCH(int, week);
        QFETCH(int, year);
        QFETCH(QDate, monday);

        const ZEM_A_CalendarDate first = ZEM_A_Y_NSCalendarDate::firstDateInWeek(week, year);
        QCOMPARE(fields(first), ymd(monday.year(), monday.month(), monday.day()) + " dow 1");
        QCOMPARE(first.timeZone().id(), QByteArray("Europe/Berlin"));
    }

    void firstDateInWeekRejects_data()
    {
        QTest::addColumn<int>("week");
        QTest::addColumn<int>("year");
        QTest::newRow("week 0") << 0 << 2010;
        QTest::newRow("week 54") << 54 << 2010;
        QTest::newRow("year 0") << 1 << 0;
        QTest::newRow("year after the last") << 1 << 1465102;
        QTest::newRow("largest week") << std::numeric_limits<int>::max() << 2010;
    }

    void firstDateInWeekRejects()
    {
        QFETCH(int, week);
        QFETCH(int, year);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("No week")));
        QVERIFY(!ZEM_A_Y_NSCalendarDate::firstDateInWeek(week, year).isValid());
    }

    void isInSameWeekMatchesSundayWeeks()
    {
        // Day 7 of the common era (7 January of the year 1) is a Sunday, so Sunday-to-Saturday
        // weeks are the days with the same dayOfCommonEra / 7. Every pair up to eight days
        // apart over four years, both ways round, crossing months and a leap year; the times of
        // day differ (09:00 against about 21:00), which must not matter.
        const ZEM_A_CalendarDate start(2007, 12, 20, 9, 0, 0);
        int checked = 0;
        for (int i = 0; i < 4 * 366; ++i) {
            const ZEM_A_CalendarDate a = start.dateByAddingYears(0, 0, i, 0, 0, 0);
            for (int k = -8; k <= 8; ++k) {
                const ZEM_A_CalendarDate b = a.dateByAddingYears(0, 0, k, 12, 0, 0);
                const bool expected = a.dayOfCommonEra() / 7 == b.dayOfCommonEra() / 7;
                if (ZEM_A_Y_NSCalendarDate::isInSameWeekAsDate(a, b) != expected)
                    QFAIL(qPrintable(u"%1 and %2: expected %3"_qs.arg(fields(a), fields(b))
                                         .arg(expected)));
                ++checked;
            }
        }
        QCOMPARE(checked, 4 * 366 * 17);
        // The same row of a later year is another week.
        QVERIFY(!ZEM_A_Y_NSCalendarDate::isInSameWeekAsDate(ZEM_A_CalendarDate(2010, 7, 14, 9, 0, 0),
                                                             ZEM_A_CalendarDate(2011, 7, 13, 21, 0, 0)));
    }

    void everyDayAgainstReference()
    {
        const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
        if (python.isEmpty())
            QSKIP("python3 is not installed");
        QProcess process;
        process.start(python, {QStringLiteral("-c"), QString::fromUtf8(referenceScript)});
        QVERIFY2(process.waitForFinished(100000), "python3 did not finish");
        QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
                 process.readAllStandardError().constData());
        const QList<QByteArray> lines = process.readAllStandardOutput().split('\n');

        int years = 0;
        int months = 0;
        qint64 days = 0;
        qint32 nextJdn = FirstJulianDayNumber;
        for (const QByteArray &line : lines) {
            if (line.isEmpty())
                continue;
            const QList<QByteArray> parts = line.split(' ');
            if (parts[0] == "Y") {
                QCOMPARE(parts.size(), 4);
                const int year = parts[1].toInt();
                const qint32 mondayJdn = parts[2].toInt();
                const int weeks = parts[3].toInt();
                int y = 0, m = 0, d = 0;
                JulianDayNumberToGregorianDate(mondayJdn, &y, &m, &d);
                const ZEM_A_CalendarDate first = ZEM_A_Y_NSCalendarDate::firstDateInWeek(1, year);
                if (fields(first) != ymd(y, m, d) + QStringLiteral(" dow 1"))
                    QFAIL(qPrintable(u"week 1 of %1: %2, expected JDN %3"_qs.arg(year)
                                         .arg(fields(first), QString::number(mondayJdn))));
                // The last week of the year starts (weeks - 1) weeks later.
                const ZEM_A_CalendarDate last = ZEM_A_Y_NSCalendarDate::firstDateInWeek(weeks, year);
                QCOMPARE(ZEM_A_Y_NSCalendarDate::julianDayNumber(last), mondayJdn + 7 * (weeks - 1));
                QCOMPARE(ZEM_A_Y_NSCalendarDate::weekOfYear(last), weeks);
                ++years;
                continue;
            }
            QCOMPARE(parts.size(), 6);
            QCOMPARE(parts[0], QByteArray("M"));
            const int year = parts[1].toInt();
            const int month = parts[2].toInt();
            const qint32 firstJdn = parts[3].toInt();
            const int monthDays = parts[4].toInt();
            const QByteArray &weeks = parts[5];
            QCOMPARE(weeks.size(), monthDays);
            // Consecutive months leave no gap and no overlap of days.
            QCOMPARE(firstJdn, nextJdn);
            nextJdn = firstJdn + monthDays;

            const ZEM_A_CalendarDate middle(year, month, 15, 12, 0, 0);
            if (numberOfDaysInMonth(middle) != monthDays)
                QFAIL(qPrintable(QString::asprintf("%d-%d has %d days, expected %d", year, month,
                                                   numberOfDaysInMonth(middle), monthDays)));
            // Midnight, unless the zone skipped it that day (as Berlin did on 1 April 1893).
            const ZEM_A_CalendarDate fromJdn = dateWithJulianDayNumber(firstJdn);
            const QDate firstDay(year, month, 1);
            const bool skipsMidnight = !QDateTime(firstDay, QTime(0, 0), Qt::LocalTime).isValid();
            if (fromJdn.toDateTime().date() != firstDay
                || fromJdn.dayOfWeek() != firstDay.dayOfWeek() % 7
                || (fromJdn.toDateTime().time() != QTime(0, 0) && !skipsMidnight))
                QFAIL(qPrintable(QStringLiteral("JDN %1 gave %2").arg(firstJdn).arg(fields(fromJdn))));

            for (int day = 1; day <= monthDays; ++day) {
                const qint32 jdn = firstJdn + day - 1;
                const int week = weeks.at(day - 1) - '0';
                int y = 0, m = 0, d = 0;
                JulianDayNumberToGregorianDate(jdn, &y, &m, &d);
                const ZEM_A_CalendarDate date = utcDate(year, month, day);
                const qint32 computedJdn = ZEM_A_Y_NSCalendarDate::julianDayNumber(date);
                const int computedWeek = ZEM_A_Y_NSCalendarDate::weekOfYear(date);
                if (y != year || m != month || d != day || computedJdn != jdn
                    || computedWeek != week)
                    QFAIL(qPrintable(QString::asprintf(
                        "%d-%d-%d (JDN %d, ISO week %d): got %d-%d-%d, JDN %d, week %d", year,
                        month, day, jdn, week, y, m, d, computedJdn, computedWeek)));
                ++days;
            }
            ++months;
        }
        QCOMPARE(years, 9999);
        QCOMPARE(months, 9999 * 12);
        // Python's calendar ends with 9999; the rows across it are checked one by one above.
        QCOMPARE(days, qint64(5373484 - FirstJulianDayNumber + 1));
        QCOMPARE(nextJdn, 5373485);
    }
};

ZEM_TEST_MAIN(tst_ZEM_A_Y_NSCalendarDate)
#include "tst_ZEM_A_Y_NSCalendarDate.moc"
