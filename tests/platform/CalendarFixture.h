#pragma once
// What the calendar store's tests share: calendar folders, sample files, the lines of an
// iCalendar file, and every field of an item for comparing two reads.

#include "TestFiles.h"
#include "ZemTestEnv.h"

#include "platform/calendarstore/CalendarStore.h"

#include <QDirIterator>
#include <QTemporaryDir>

namespace caltest {

using namespace platform;
using namespace Qt::StringLiterals;
using zemtest::crlf;
using zemtest::readFile;
using zemtest::writeFile;

inline QStringList lines(const QByteArray &text)
{
    QStringList out;
    for (const QByteArray &line : zemtest::unfoldedLines(text))
        out.append(QString::fromUtf8(line));
    return out;
}

// The lines of the events and to-dos (not of zones or alarms) that start with one of \a prefixes.
inline QStringList linesStarting(const QByteArray &text, const QStringList &prefixes)
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
inline QString makeCalendar(const QTemporaryDir &dir, const QString &uid, const QByteArray &title,
                     const QByteArray &color = "#3366CC")
{
    const QString path = dir.filePath(uid);
    const bool made = writeFile(path + u"/displayname"_s, title)
                      && (color.isEmpty() || writeFile(path + u"/color"_s, color));
    return made ? path : QString();
}

// A store's folder holding one calendar, "cal".
struct OneCalendar : QTemporaryDir
{
    OneCalendar() { makeCalendar(*this, u"cal"_s, "Cal"); }
};

inline QString utc(const QDateTime &dt)
{
    return dt.toUTC().toString(Qt::ISODate);
}

// Every field of an event or to-do, for comparing two reads.
inline QVariantMap describe(const CalCalendarItem &item)
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

inline QVariantMap describe(const CalEvent &e)
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

inline QVariantMap describe(const CalTask &t)
{
    QVariantMap m = describe(static_cast<const CalCalendarItem &>(t));
    m.insert(u"priority"_s, t.priority());
    m.insert(u"due"_s, t.dueDate().toString(Qt::ISODate));
    m.insert(u"completed"_s, utc(t.completedDate()));
    m.insert(u"isCompleted"_s, t.isCompleted());
    return m;
}

inline QString sample(const QString &name)
{
    return QStringLiteral(ZEM_SOURCE_DIR "/tests/platform/data/ics/") + name;
}

// An event with every field the kit maps and some it does not, and four kinds of alarm.
inline const QByteArray kRichEvent = readFile(sample(u"rich.ics"_s));

// Weekly at 09:00 Berlin time across the spring change of clocks (31 March 2024), with one
// week excluded and one moved.
inline const QByteArray kSeries = readFile(sample(u"series.ics"_s));

// A calendar file holding \a items (VEVENT and VTODO blocks).
inline QByteArray calendar(const QByteArray &items)
{
    return crlf("BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:x\n" + items + "END:VCALENDAR\n");
}

// Daily at 08:00 New York time (12:00 UTC), 1 to 5 May 2024; \a extra goes into the event,
// \a after behind it.
inline QByteArray daily(const QByteArray &uid, const QByteArray &extra = {}, const QByteArray &after = {})
{
    return crlf("BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//Example//Test//EN\nBEGIN:VEVENT\nUID:" + uid
                + "\nDTSTAMP:20240101T000000Z\nDTSTART;TZID=America/New_York:20240501T080000\n"
                  "DTEND;TZID=America/New_York:20240501T083000\nRRULE:FREQ=DAILY;COUNT=5\nSUMMARY:Daily\n"
                + extra + "END:VEVENT\n" + after + "END:VCALENDAR\n");
}

inline QList<CalEvent> eventsOf(const CalendarStore &store, const QString &uid = {})
{
    return store.eventsWithPredicate(CalendarStore::eventPredicateWithStartDate(
        QDateTime(QDate(1990, 1, 1), QTime(0, 0), Qt::UTC), QDateTime(QDate(2040, 1, 1), QTime(0, 0), Qt::UTC),
        uid, store.calendars()));
}

// \a text with the stamps a save wrote at or after \a since shown as "<saved>" (this form of
// a time sorts as the time does).
inline QByteArray maskStamps(const QByteArray &text, const QDateTime &since)
{
    const QByteArray after = since.toUTC().toString(u"yyyyMMdd'T'HHmmss'Z'"_s).toLatin1();
    QList<QByteArray> out = text.split('\n');
    for (QByteArray &line : out) {
        const qsizetype colon = line.indexOf(':');
        const QByteArray value = line.mid(colon + 1).chopped(line.endsWith('\r') ? 1 : 0);
        if ((line.startsWith("DTSTAMP") || line.startsWith("LAST-MODIFIED") || line.startsWith("CREATED"))
            && value.size() == after.size() && value >= after)
            line.replace(colon + 1, value.size(), "<saved>");
    }
    return out.join('\n');
}

// Every file under \a root with its bytes.
inline QMap<QString, QByteArray> snapshot(const QString &root)
{
    QMap<QString, QByteArray> out;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        out.insert(QDir(root).relativeFilePath(path), readFile(path));
    }
    return out;
}

} // namespace caltest
