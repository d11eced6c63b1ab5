#include "ZEM_A_Y_NSCalendarDate.h"

#include "CalendarLog.h"

namespace {

// QDate's Julian day of 31 December of the year 0 (1 BC), so that 1 January of the year 1
// is day 1 of the common era.
constexpr qint64 dayBeforeCommonEra = 1721425;

constexpr qint64 maximumMonthsToAdd = qint64(12) * 1000000;

// Says which field is wrong, or nothing when all of them name a wall time.
QString fieldError(int year, int month, int day, int hour, int minute, int second)
{
    if (year == 0)
        return QStringLiteral("there is no year 0");
    if (month < 1 || month > 12)
        return QStringLiteral("month %1 is not 1 to 12").arg(month);
    if (!QDate::isValid(year, month, day))
        return QStringLiteral("%1-%2 has no day %3").arg(year).arg(month).arg(day);
    if (!QTime::isValid(hour, minute, second))
        return QStringLiteral("%1:%2:%3 is not a time of day").arg(hour).arg(minute).arg(second);
    return {};
}

// The day count d1 whose d1 / 7 is the ISO week of jdn less one (JDN 0 is a Monday, so
// jdn / 7 * 7 is the Monday that starts jdn's week). Only for supported JDNs, where every
// term stays positive and inside 32 bits (jdn / 7 * 7 + 31741 < 5.4e8).
qint32 isoWeekDays(qint32 jdn)
{
    Q_ASSERT(ZEM_A_Y_NSCalendarDate::isSupportedJulianDayNumber(jdn));
    const qint32 d4 = ((((jdn / 7) * 7 + 31741) % 146097) % 36524) % 1461;
    const qint32 l = d4 / 1460;
    return d4 - 365 * ((d4 - l) / 365);
}

// Year, month and day to JDN, for the supported years (y below 1.47e6, so 365 * y < 5.4e8).
qint32 fieldsToJulianDayNumber(qint32 year, qint32 month, qint32 day)
{
    const qint32 a = (14 - month) / 12;
    const qint32 y = year + 4800 - a;
    const qint32 m = month + 12 * a - 3;
    return day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

// A wall time in the zone kind of \a spec (a named \a zone for Qt::TimeZone, \a offset for
// Qt::OffsetFromUTC). Qt gives an invalid date-time for a wall time that a daylight-saving
// gap skips, and for a repeated one the C library's answer depends on its earlier calls;
// so both are settled here from the offsets in force a day before and a day after: a
// repeated time takes its earlier instant, a skipped one is read with the offset before
// the gap, which moves it forward by the gap's length.
// NOTE: assumes a zone does not change its offset twice within a day.
QDateTime wallTime(QDate date, QTime time, Qt::TimeSpec spec, int offset, const QTimeZone &zone)
{
    switch (spec) {
    case Qt::UTC:
        return QDateTime(date, time, Qt::UTC);
    case Qt::OffsetFromUTC:
        return QDateTime(date, time, Qt::OffsetFromUTC, offset);
    case Qt::LocalTime:
    case Qt::TimeZone:
        break;
    }
    if (!date.isValid() || !time.isValid())
        return {};
    auto inZone = [&](const QDateTime &utc) {
        return spec == Qt::TimeZone ? utc.toTimeZone(zone) : utc.toLocalTime();
    };
    const QDateTime wallAsUtc(date, time, Qt::UTC);
    const int offsetBefore = inZone(wallAsUtc.addSecs(-86400)).offsetFromUtc();
    const int offsetAfter = inZone(wallAsUtc.addSecs(86400)).offsetFromUtc();
    // The larger offset gives the earlier instant.
    for (int candidate : {qMax(offsetBefore, offsetAfter), qMin(offsetBefore, offsetAfter)}) {
        const QDateTime instant = inZone(wallAsUtc.addSecs(-candidate));
        if (instant.date() == date && instant.time() == time)
            return instant;
    }
    const QDateTime plain = spec == Qt::TimeZone ? QDateTime(date, time, zone)
                                                 : QDateTime(date, time, Qt::LocalTime);
    if (plain.isValid())
        return plain;
    const QDateTime forward = inZone(wallAsUtc.addSecs(-offsetBefore));
    if (!forward.isValid())
        qCWarning(zemCalendar) << "No instant for the wall time" << date << time;
    return forward;
}

QDateTime wallTimeLike(QDate date, QTime time, const QDateTime &like)
{
    return wallTime(date, time, like.timeSpec(), like.offsetFromUtc(),
                    like.timeSpec() == Qt::TimeZone ? like.timeZone() : QTimeZone());
}

bool isSupportedYear(int year)
{
    return year >= ZEM_A_Y_NSCalendarDate::FirstYear && year <= ZEM_A_Y_NSCalendarDate::LastYear;
}

} // namespace

ZEM_A_CalendarDate::ZEM_A_CalendarDate() = default;

ZEM_A_CalendarDate::ZEM_A_CalendarDate(int year, int month, int day, int hour, int minute,
                                       int second)
{
    if (fieldError(year, month, day, hour, minute, second).isEmpty())
        m_dateTime = wallTime(QDate(year, month, day), QTime(hour, minute, second),
                              Qt::LocalTime, 0, QTimeZone());
}

ZEM_A_CalendarDate::ZEM_A_CalendarDate(int year, int month, int day, int hour, int minute,
                                       int second, const QTimeZone &zone)
{
    if (zone.isValid() && fieldError(year, month, day, hour, minute, second).isEmpty())
        m_dateTime = wallTime(QDate(year, month, day), QTime(hour, minute, second),
                              Qt::TimeZone, 0, zone);
}

ZEM_A_CalendarDate::ZEM_A_CalendarDate(const QDateTime &dateTime) : m_dateTime(dateTime) {}

ZEM_Result<ZEM_A_CalendarDate> ZEM_A_CalendarDate::fromFields(int year, int month, int day,
                                                              int hour, int minute, int second)
{
    const QString error = fieldError(year, month, day, hour, minute, second);
    if (!error.isEmpty())
        return ZEM_Error::make(ZEM_Error::InvalidArgument,
                               QStringLiteral("Not a calendar date: %1").arg(error), {error});
    return ZEM_A_CalendarDate(year, month, day, hour, minute, second);
}

ZEM_Result<ZEM_A_CalendarDate> ZEM_A_CalendarDate::fromFields(int year, int month, int day,
                                                              int hour, int minute, int second,
                                                              const QTimeZone &zone)
{
    if (!zone.isValid())
        return ZEM_Error::make(ZEM_Error::InvalidArgument,
                               QStringLiteral("Not a calendar date: no such time zone"),
                               {QStringLiteral("no such time zone")});
    const QString error = fieldError(year, month, day, hour, minute, second);
    if (!error.isEmpty())
        return ZEM_Error::make(ZEM_Error::InvalidArgument,
                               QStringLiteral("Not a calendar date: %1").arg(error), {error});
    return ZEM_A_CalendarDate(year, month, day, hour, minute, second, zone);
}

ZEM_A_CalendarDate ZEM_A_CalendarDate::fromDateTime(const QDateTime &dateTime)
{
    return ZEM_A_CalendarDate(dateTime.isValid() ? dateTime : QDateTime());
}

QDateTime ZEM_A_CalendarDate::toDateTime() const { return m_dateTime; }

bool ZEM_A_CalendarDate::isValid() const { return m_dateTime.isValid(); }

// QDate and QTime read 0 for their null values, so an invalid date needs no checks here.
int ZEM_A_CalendarDate::yearOfCommonEra() const { return m_dateTime.date().year(); }
int ZEM_A_CalendarDate::monthOfYear() const { return m_dateTime.date().month(); }
int ZEM_A_CalendarDate::dayOfMonth() const { return m_dateTime.date().day(); }

int ZEM_A_CalendarDate::dayOfWeek() const
{
    // QDate counts Monday 1 to Sunday 7.
    return isValid() ? m_dateTime.date().dayOfWeek() % 7 : 0;
}

qint64 ZEM_A_CalendarDate::dayOfCommonEra() const
{
    return isValid() ? m_dateTime.date().toJulianDay() - dayBeforeCommonEra : 0;
}

int ZEM_A_CalendarDate::hourOfDay() const { return isValid() ? m_dateTime.time().hour() : 0; }
int ZEM_A_CalendarDate::minuteOfHour() const
{
    return isValid() ? m_dateTime.time().minute() : 0;
}
int ZEM_A_CalendarDate::secondOfMinute() const
{
    return isValid() ? m_dateTime.time().second() : 0;
}

QTimeZone ZEM_A_CalendarDate::timeZone() const
{
    return isValid() ? m_dateTime.timeZone() : QTimeZone();
}

ZEM_A_CalendarDate ZEM_A_CalendarDate::dateByAddingYears(int years, int months, int days,
                                                         int hours, int minutes,
                                                         int seconds) const
{
    if (!isValid())
        return {};
    // QDate adds months to its own month and years to its own year in int; a million
    // years is far past any calendar view and keeps both sums well inside it.
    const qint64 totalMonths = qint64(years) * 12 + months;
    if (qAbs(totalMonths) > maximumMonthsToAdd)
        return {};
    const QDate date = m_dateTime.date().addMonths(int(totalMonths)).addDays(days);
    if (!date.isValid())
        return {};
    // The wall time stays, so a day added across a daylight-saving change is a calendar
    // day, not 24 hours.
    QDateTime moved = wallTimeLike(date, m_dateTime.time(), m_dateTime);
    moved = moved.addSecs(qint64(hours) * 3600 + qint64(minutes) * 60 + seconds);
    return fromDateTime(moved);
}

bool operator==(const ZEM_A_CalendarDate &a, const ZEM_A_CalendarDate &b)
{
    if (!a.isValid() || !b.isValid())
        return a.isValid() == b.isValid();
    return a.m_dateTime == b.m_dateTime && a.m_dateTime.timeSpec() == b.m_dateTime.timeSpec()
        && a.m_dateTime.offsetFromUtc() == b.m_dateTime.offsetFromUtc()
        && a.timeZone() == b.timeZone();
}

QDebug operator<<(QDebug debug, const ZEM_A_CalendarDate &date)
{
    QDebugStateSaver saver(debug);
    debug.nospace().noquote();
    if (!date.isValid())
        return debug << "ZEM_A_CalendarDate(invalid)";
    return debug << "ZEM_A_CalendarDate("
                 << date.toDateTime().toString(Qt::ISODate).left(19) << ' '
                 << QString::fromUtf8(date.timeZone().id()) << ')';
}

namespace ZEM_A_Y_NSCalendarDate {

qint32 julianDayNumber(const ZEM_A_CalendarDate &date)
{
    if (!date.isValid())
        return 0;
    if (!isSupportedYear(date.yearOfCommonEra())) {
        qCWarning(zemCalendar) << "No Julian day number for the year" << date.yearOfCommonEra()
                               << "(years" << FirstYear << "to" << LastYear << "only)";
        return 0;
    }
    return fieldsToJulianDayNumber(date.yearOfCommonEra(), date.monthOfYear(),
                                   date.dayOfMonth());
}

ZEM_A_CalendarDate dateWithJulianDayNumber(qint32 jdn)
{
    int year = 0;
    int month = 0;
    int day = 0;
    JulianDayNumberToGregorianDate(jdn, &year, &month, &day);
    if (year == 0)
        return {};
    return ZEM_A_CalendarDate(year, month, day, 0, 0, 0);
}

int weekOfYear(const ZEM_A_CalendarDate &date)
{
    const qint32 jdn = julianDayNumber(date);
    if (jdn == 0)
        return 0;
    return isoWeekDays(jdn) / 7 + 1;
}

ZEM_A_CalendarDate firstDayOfMonth(const ZEM_A_CalendarDate &date)
{
    if (!date.isValid())
        return {};
    return ZEM_A_CalendarDate(date.yearOfCommonEra(), date.monthOfYear(), 1, 12, 0, 0);
}

ZEM_A_CalendarDate lastDayOfMonth(const ZEM_A_CalendarDate &date)
{
    return firstDayOfMonth(date).dateByAddingYears(0, 1, -1, 0, 0, 0);
}

int numberOfDaysInMonth(const ZEM_A_CalendarDate &date)
{
    return lastDayOfMonth(date).dayOfMonth();
}

int weekOfMonth(const ZEM_A_CalendarDate &date)
{
    if (!date.isValid())
        return 0;
    return (date.dayOfMonth() + firstDayOfMonth(date).dayOfWeek() - 1) / 7 + 1;
}

bool isInSameWeekAsDate(const ZEM_A_CalendarDate &date, const ZEM_A_CalendarDate &other)
{
    if (!date.isValid() || !other.isValid())
        return false;
    if (qAbs(date.dayOfCommonEra() - other.dayOfCommonEra()) > 6)
        return false;
    if (date.yearOfCommonEra() == other.yearOfCommonEra()
        && date.monthOfYear() == other.monthOfYear())
        return weekOfMonth(date) == weekOfMonth(other);
    // The two days lie in neighbouring months, at most six days apart: they share a week
    // only across the first or the last row of the receiver's month.
    const int row = weekOfMonth(date);
    if (row == 1)
        return other.dayOfWeek() < date.dayOfWeek();
    if (row == weekOfMonth(lastDayOfMonth(date)))
        return other.dayOfWeek() > date.dayOfWeek();
    return false;
}

ZEM_A_CalendarDate firstDateInWeek(int week, int year)
{
    if (week < 1 || week > 53 || !isSupportedYear(year)) {
        qCWarning(zemCalendar) << "No week" << week << "in the year" << year
                               << "(weeks 1 to 53 of the years" << FirstYear << "to"
                               << LastYear << "only)";
        return {};
    }
    const ZEM_A_CalendarDate newYear(year, 1, 1, 0, 0, 0);
    const int weekday = newYear.dayOfWeek();
    const qint32 newYearJdn = julianDayNumber(newYear);
    const qint32 monday = weekday == 0 ? newYearJdn - 6 : newYearJdn + 1 - weekday;
    // The Monday before 1 January of the year 1 would be out of range, but that day is
    // itself a Monday; every later Monday before a 1 January is in range.
    const qint32 base = isoWeekDays(monday) < 7 ? monday : monday + 7;
    return dateWithJulianDayNumber(base + 7 * week - 7);
}

} // namespace ZEM_A_Y_NSCalendarDate

void JulianDayNumberToGregorianDate(qint32 jdn, int *year, int *month, int *day)
{
    qint32 y = 0;
    qint32 m = 0;
    qint32 d = 0;
    if (ZEM_A_Y_NSCalendarDate::isSupportedJulianDayNumber(jdn)) {
        // 4 * jdn + 128179, the largest term, stays below 2^31 for supported JDNs.
        const qint32 b = (4 * jdn + 128179) / 146097;
        const qint32 c = jdn + 32044 - (146097 * b) / 4;
        const qint32 dd = (4 * c + 3) / 1461;
        const qint32 e = c - (1461 * dd) / 4;
        const qint32 mm = (5 * e + 2) / 153;
        d = e - (153 * mm + 2) / 5 + 1;
        m = mm + 3 - 12 * ((5 * e + 2) / 1530);
        y = 100 * b + dd - 4800 + (5 * e + 2) / 1530;
    } else {
        qCWarning(zemCalendar) << "No calendar date for the Julian day number" << jdn
                               << "(" << ZEM_A_Y_NSCalendarDate::FirstJulianDayNumber << "to"
                               << ZEM_A_Y_NSCalendarDate::LastJulianDayNumber << "only)";
    }
    if (year)
        *year = y;
    if (month)
        *month = m;
    if (day)
        *day = d;
}
