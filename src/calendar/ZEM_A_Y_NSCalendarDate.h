#pragma once

#include "foundation/ZEM_Result.h"
#include "zem_appkit_export.h"

#include <QDateTime>
#include <QDebug>
#include <QTimeZone>

/**
 * A calendar date: an instant seen as Gregorian fields (year, month, day, time of day) in
 * one time zone. A date built without a zone lives in the process's local zone and follows
 * it (the TZ the process runs in), as the kit's other dates do.
 *
 * Fields are those of the date's own zone: the same instant may be 31 December in one zone
 * and 1 January in another. Arithmetic works on those fields, so adding a day across a
 * daylight-saving change keeps the time of day.
 *
 * A wall time that does not exist in the zone (inside a daylight-saving gap) is moved
 * forward by the length of the gap, so 02:30 on the day Berlin springs forward becomes
 * 03:30 the same day; an ambiguous wall time (the hour repeated in autumn) takes the
 * earlier of its two instants, still in summer time.
 *
 * A default-constructed date, or one built from fields that name no date or time, is
 * invalid: isValid() is false and every field reads 0.
 *
 * **Example**
 * \code
 * ZEM_A_CalendarDate due(2010, 7, 31, 9, 30);                   // local zone
 * ZEM_A_CalendarDate tokyo(2010, 7, 31, 9, 30, 0, QTimeZone("Asia/Tokyo"));
 * ZEM_A_CalendarDate later = due.dateByAddingYears(0, 1, 0, 2, 0, 0); // 31 Aug, 11:30
 * qDebug() << later.dayOfWeek();                                 // 2 (Tuesday)
 * \endcode
 */
class ZEM_APPKIT_EXPORT ZEM_A_CalendarDate
{
public:
    /** An invalid date. */
    ZEM_A_CalendarDate();
    /** The given wall time in the process's local zone; invalid when the fields are. */
    ZEM_A_CalendarDate(int year, int month, int day, int hour = 0, int minute = 0,
                       int second = 0);
    /** The given wall time in \a zone; invalid when the fields or the zone are. */
    ZEM_A_CalendarDate(int year, int month, int day, int hour, int minute, int second,
                       const QTimeZone &zone);

    /**
     * Like the constructors, but says what is wrong: InvalidArgument for a month, day,
     * hour, minute or second out of range (30 February, 24:00, ...) or a year 0 (the
     * calendar goes from 1 BC to AD 1). In the process's local zone.
     */
    static ZEM_Result<ZEM_A_CalendarDate> fromFields(int year, int month, int day, int hour,
                                                     int minute, int second);
    /** As above in \a zone; an invalid \a zone is an InvalidArgument too. */
    static ZEM_Result<ZEM_A_CalendarDate> fromFields(int year, int month, int day, int hour,
                                                     int minute, int second,
                                                     const QTimeZone &zone);
    /** \a dateTime seen in its own zone (local time, UTC, an offset or a named zone). */
    static ZEM_A_CalendarDate fromDateTime(const QDateTime &dateTime);
    /** The instant with its zone; a null QDateTime for an invalid date. */
    QDateTime toDateTime() const;

    bool isValid() const;

    int yearOfCommonEra() const;
    /** 1 (January) to 12. */
    int monthOfYear() const;
    /** 1 to 31. */
    int dayOfMonth() const;
    /** 0 (Sunday) to 6 (Saturday). */
    int dayOfWeek() const;
    /** Days since the start of the common era: 1 for 1 January of the year 1. */
    qint64 dayOfCommonEra() const;
    int hourOfDay() const;
    int minuteOfHour() const;
    int secondOfMinute() const;
    /** The date's zone; the system zone for a date in local time. */
    QTimeZone timeZone() const;

    /**
     * A date in the same zone, moved by the given amounts (any of them may be negative).
     * Years and months move together first; a day past the end of the month it lands in
     * becomes that month's last day (31 January plus one month is 28 or 29 February).
     * Then the days move, keeping the wall time. Hours, minutes and seconds are elapsed
     * time, added last. A move by more than a million years, or a result outside the
     * calendar's range, gives an invalid date.
     */
    ZEM_A_CalendarDate dateByAddingYears(int years, int months, int days, int hours,
                                         int minutes, int seconds) const;

    /** Same instant in the same zone (two invalid dates are equal). */
    friend ZEM_APPKIT_EXPORT bool operator==(const ZEM_A_CalendarDate &a,
                                             const ZEM_A_CalendarDate &b);
    friend bool operator!=(const ZEM_A_CalendarDate &a, const ZEM_A_CalendarDate &b)
    {
        return !(a == b);
    }

private:
    explicit ZEM_A_CalendarDate(const QDateTime &dateTime);

    QDateTime m_dateTime; ///< invalid for an invalid date
};

/** Writes "2010-07-31T09:30:00 Europe/Berlin" (or "invalid"). */
ZEM_APPKIT_EXPORT QDebug operator<<(QDebug debug, const ZEM_A_CalendarDate &date);

/**
 * Julian Day Numbers, ISO 8601 weeks and month boundaries for calendar views.
 *
 * A Julian Day Number (JDN) counts days: 2451545 is 1 January 2000, and the number
 * goes up by one at each day, whatever the zone. The arithmetic runs on 32-bit integers
 * and covers every day from 1 January of the year 1 to 31 December 1465101 (JDN
 * FirstJulianDayNumber to LastJulianDayNumber), the last year whose days keep every step
 * inside 32 bits: outside them the JDN operations answer "no date" (0, 0 or an invalid
 * date) and log a warning, instead of a wrong day. The month operations work for any
 * valid date.
 *
 * Two kinds of week appear here: weekOfYear() and firstDateInWeek() use ISO weeks, which
 * start on Monday, and week 1 of a year is the one holding its first Thursday;
 * weekOfMonth() and isInSameWeekAsDate() use rows of a month view, Sunday to Saturday.
 *
 * **Example**
 * \code
 * using namespace ZEM_A_Y_NSCalendarDate;
 * ZEM_A_CalendarDate day(2005, 1, 1);
 * weekOfYear(day);                       // 53: the week belongs to 2004
 * julianDayNumber(day);                  // 2453372
 * firstDateInWeek(1, 2009);              // Monday 29 December 2008, 00:00
 * numberOfDaysInMonth(ZEM_A_CalendarDate(2100, 2, 10)); // 28
 * \endcode
 */
namespace ZEM_A_Y_NSCalendarDate {

/** The JDN of 1 January of the year 1. */
inline constexpr qint32 FirstJulianDayNumber = 1721426;
/**
 * The JDN of 31 December of LastYear. The largest product of the arithmetic is
 * 4 × JDN + 128179 in JulianDayNumberToGregorianDate(), which stays below 2^31 up to JDN
 * 536838867 (18 October 1465102); the year before is the last one wholly inside.
 */
inline constexpr qint32 LastJulianDayNumber = 536838576;
inline constexpr int FirstYear = 1;
inline constexpr int LastYear = 1465101;

/** True for FirstJulianDayNumber to LastJulianDayNumber. */
constexpr bool isSupportedJulianDayNumber(qint32 jdn)
{
    return jdn >= FirstJulianDayNumber && jdn <= LastJulianDayNumber;
}

/**
 * The JDN of the date's year, month and day in its own zone (the time of day does not
 * count); 0 for an invalid date or one outside the years FirstYear to LastYear.
 */
ZEM_APPKIT_EXPORT qint32 julianDayNumber(const ZEM_A_CalendarDate &date);

/**
 * That day at 00:00:00 in the local zone; invalid when \a jdn is outside
 * FirstJulianDayNumber to LastJulianDayNumber.
 */
ZEM_APPKIT_EXPORT ZEM_A_CalendarDate dateWithJulianDayNumber(qint32 jdn);

/**
 * The ISO 8601 week (1 to 53) the date's day falls in; 1 January 2005, a Saturday, is in
 * week 53 (of 2004), 31 December 2008 in week 1 (of 2009). 0 for an invalid date or one
 * outside the years FirstYear to LastYear.
 */
ZEM_APPKIT_EXPORT int weekOfYear(const ZEM_A_CalendarDate &date);

/** The first day of the date's month at 12:00:00 in the local zone. */
ZEM_APPKIT_EXPORT ZEM_A_CalendarDate firstDayOfMonth(const ZEM_A_CalendarDate &date);

/** The last day of the date's month at 12:00:00 in the local zone. */
ZEM_APPKIT_EXPORT ZEM_A_CalendarDate lastDayOfMonth(const ZEM_A_CalendarDate &date);

/** 28 to 31; 0 for an invalid date. */
ZEM_APPKIT_EXPORT int numberOfDaysInMonth(const ZEM_A_CalendarDate &date);

/**
 * The row (1 to 6) the date's day takes in a month view whose weeks start on Sunday;
 * 0 for an invalid date.
 */
ZEM_APPKIT_EXPORT int weekOfMonth(const ZEM_A_CalendarDate &date);

/**
 * True when \a date and \a other share a Sunday-to-Saturday week, by their days in their
 * own zones. False when either is invalid.
 */
ZEM_APPKIT_EXPORT bool isInSameWeekAsDate(const ZEM_A_CalendarDate &date,
                                          const ZEM_A_CalendarDate &other);

/**
 * The Monday, 00:00:00 in the local zone, that starts ISO week \a week of \a year. Week 1
 * of 2009 starts on 29 December 2008. Week 53 of a year that has only 52 gives the
 * Monday after its week 52 (week 53 of 9999 is Monday 3 January 10000). Invalid for a
 * week outside 1 to 53, a year outside FirstYear to LastYear, or a Monday past
 * LastJulianDayNumber.
 */
ZEM_APPKIT_EXPORT ZEM_A_CalendarDate firstDateInWeek(int week, int year);

} // namespace ZEM_A_Y_NSCalendarDate

/**
 * Writes the Gregorian year, month (1 to 12) and day of \a jdn through \a year, \a month
 * and \a day; a null pointer is skipped. For a JDN outside the years FirstYear to LastYear
 * (ZEM_A_Y_NSCalendarDate::isSupportedJulianDayNumber) it writes 0 to all three.
 *
 * **Example**
 * \code
 * int y, m, d;
 * JulianDayNumberToGregorianDate(2451545, &y, &m, &d); // 2000, 1, 1
 * \endcode
 */
ZEM_APPKIT_EXPORT void JulianDayNumberToGregorianDate(qint32 jdn, int *year, int *month,
                                                      int *day);
