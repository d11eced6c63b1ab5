#include "platform/calendarstore/detail/ItemCache.h"

#include "platform/calendarstore/detail/Ical.h"

#include <QCryptographicHash>
#include <QIODevice>
#include <QTimeZone>
#include <QUrl>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace platform::detail::itemcache {

namespace {

enum TimeTag : quint8 { Invalid, Utc, Local, Zone, Offset };
enum ValueTag : quint8 { Plain, Time, Alarms, Attendees, Text, Flag, Number, Rule };

constexpr quint32 kItemMagic = 0x5A43490A; // what encodeItem() writes first

void writeAlarms(QDataStream &out, const QList<CalAlarm> &alarms)
{
    out << quint32(alarms.size());
    for (const CalAlarm &a : alarms) {
        const CalAlarmData &d = CalValues::of(a);
        out << d.action << d.emailAddress << d.sound << d.url;
        writeTime(out, d.absoluteTrigger);
        out << d.relativeTrigger << d.source;
    }
}

QList<CalAlarm> readAlarms(QDataStream &in)
{
    quint32 n = 0;
    in >> n;
    QList<CalAlarm> alarms;
    for (quint32 i = 0; i < n && in.status() == QDataStream::Ok; ++i) {
        CalAlarm a;
        CalAlarmData &d = CalValues::of(a);
        in >> d.action >> d.emailAddress >> d.sound >> d.url;
        d.absoluteTrigger = readTime(in);
        in >> d.relativeTrigger >> d.source;
        alarms.append(a);
    }
    return alarms;
}

void writeAttendees(QDataStream &out, const QList<CalAttendee> &attendees)
{
    out << quint32(attendees.size());
    for (const CalAttendee &a : attendees) {
        const CalAttendeeData &d = CalValues::of(a);
        out << d.commonName << d.address << d.status << d.source;
    }
}

QList<CalAttendee> readAttendees(QDataStream &in)
{
    quint32 n = 0;
    in >> n;
    QList<CalAttendee> attendees;
    for (quint32 i = 0; i < n && in.status() == QDataStream::Ok; ++i) {
        CalAttendee a;
        CalAttendeeData &d = CalValues::of(a);
        in >> d.commonName >> d.address >> d.status >> d.source;
        attendees.append(a);
    }
    return attendees;
}

void writeRule(QDataStream &out, const CalRecurrenceRule &rule)
{
    const CalRecurrenceRuleData &d = CalValues::of(rule);
    out << qint32(d.type) << qint32(d.interval) << d.text << bool(d.end);
    if (d.end) {
        out << d.end->usesEndDate() << qint32(d.end->occurrenceCount());
        writeTime(out, d.end->endDate());
    }
}

CalRecurrenceRule readRule(QDataStream &in)
{
    CalRecurrenceRule rule;
    CalRecurrenceRuleData &d = CalValues::of(rule);
    qint32 type = 0;
    qint32 interval = 1;
    bool hasEnd = false;
    in >> type >> interval >> d.text >> hasEnd;
    d.type = CalRecurrenceRule::Type(std::clamp<qint32>(type, CalRecurrenceRule::Daily, CalRecurrenceRule::Other));
    d.interval = interval;
    if (hasEnd) {
        bool usesEndDate = false;
        qint32 count = 0;
        in >> usesEndDate >> count;
        const QDateTime date = readTime(in);
        d.end = usesEndDate ? CalRecurrenceEnd::endWithEndDate(date) : CalRecurrenceEnd::endWithOccurrenceCount(count);
    }
    return rule;
}

} // namespace

QString indexKind()
{
    const QByteArray zone = qgetenv("TZ") + '\0' + QTimeZone::systemTimeZoneId();
    return u"calendar-"_s
           + QString::fromLatin1(QCryptographicHash::hash(zone, QCryptographicHash::Sha256).toHex().left(12));
}

void writeTime(QDataStream &out, const QDateTime &t)
{
    if (!t.isValid()) {
        out << quint8(Invalid);
        return;
    }
    switch (t.timeSpec()) {
    case Qt::UTC:
        out << quint8(Utc) << t.toMSecsSinceEpoch();
        return;
    case Qt::LocalTime:
        // The wall clock: a floating time stays the same reading whatever the zone.
        out << quint8(Local) << t.date().toJulianDay() << t.time().msecsSinceStartOfDay();
        return;
    case Qt::TimeZone:
        out << quint8(Zone) << t.toMSecsSinceEpoch() << t.timeZone().id();
        return;
    case Qt::OffsetFromUTC:
        out << quint8(Offset) << t.toMSecsSinceEpoch() << qint32(t.offsetFromUtc());
        return;
    }
}

QDateTime readTime(QDataStream &in)
{
    quint8 tag = Invalid;
    in >> tag;
    qint64 ms = 0;
    switch (tag) {
    case Utc:
        in >> ms;
        return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
    case Local: {
        qint64 day = 0;
        int clock = 0;
        in >> day >> clock;
        return QDateTime(QDate::fromJulianDay(day), QTime::fromMSecsSinceStartOfDay(clock));
    }
    case Zone: {
        QByteArray id;
        in >> ms >> id;
        return QDateTime::fromMSecsSinceEpoch(ms, ical::zoneNamed(id));
    }
    case Offset: {
        qint32 offset = 0;
        in >> ms >> offset;
        return QDateTime::fromMSecsSinceEpoch(ms, Qt::OffsetFromUTC, offset);
    }
    default:
        if (tag != Invalid)
            in.setStatus(QDataStream::ReadCorruptData);
        return {};
    }
}

bool cacheable(const CalItemData &data)
{
    return !data.values.contains(kRule);
}

QByteArray encodeItem(const CalItemData &data)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << kItemMagic << data.uid;
    writeTime(out, data.dateStamp);
    writeTime(out, data.occurrence);
    out << data.cancelled << data.detached << data.floating << quint32(data.values.size());
    for (auto it = data.values.cbegin(); it != data.values.cend(); ++it) {
        out << it.key();
        const QVariant &v = it.value();
        if (v.metaType() == QMetaType::fromType<QDateTime>()) {
            out << quint8(Time);
            writeTime(out, v.toDateTime());
        } else if (v.metaType() == QMetaType::fromType<QList<CalAlarm>>()) {
            out << quint8(Alarms);
            writeAlarms(out, v.value<QList<CalAlarm>>());
        } else if (v.metaType() == QMetaType::fromType<QList<CalAttendee>>()) {
            out << quint8(Attendees);
            writeAttendees(out, v.value<QList<CalAttendee>>());
        } else if (v.metaType() == QMetaType::fromType<CalRecurrenceRule>()) {
            out << quint8(Rule);
            writeRule(out, v.value<CalRecurrenceRule>());
        } else if (v.metaType() == QMetaType::fromType<QString>()) {
            out << quint8(Text) << v.toString(); // most values: read without the type registry
        } else if (v.metaType() == QMetaType::fromType<bool>()) {
            out << quint8(Flag) << v.toBool();
        } else if (v.metaType() == QMetaType::fromType<int>()) {
            out << quint8(Number) << qint32(v.toInt());
        } else {
            out << quint8(Plain) << v;
        }
    }
    return bytes;
}

bool decodeItem(const QByteArray &bytes, CalItemData &data)
{
    QDataStream in(bytes);
    quint32 magic = 0;
    in >> magic;
    if (magic != kItemMagic)
        return false;
    CalItemData read;
    in >> read.uid;
    read.dateStamp = readTime(in);
    read.occurrence = readTime(in);
    quint32 count = 0;
    in >> read.cancelled >> read.detached >> read.floating >> count;
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        QString key;
        quint8 tag = Plain;
        in >> key >> tag;
        QVariant v;
        switch (tag) {
        case Plain:
            in >> v;
            break;
        case Time:
            v = readTime(in);
            break;
        case Alarms:
            v = QVariant::fromValue(readAlarms(in));
            break;
        case Attendees:
            v = QVariant::fromValue(readAttendees(in));
            break;
        case Rule:
            v = QVariant::fromValue(readRule(in));
            break;
        case Text: {
            QString text;
            in >> text;
            v = text;
            break;
        }
        case Flag: {
            bool flag = false;
            in >> flag;
            v = flag;
            break;
        }
        case Number: {
            qint32 n = 0;
            in >> n;
            v = int(n);
            break;
        }
        default:
            return false;
        }
        read.values.insert(key, v);
    }
    if (in.status() != QDataStream::Ok || !in.atEnd())
        return false;
    data.uid = read.uid;
    data.dateStamp = read.dateStamp;
    data.occurrence = read.occurrence;
    data.cancelled = read.cancelled;
    data.detached = read.detached;
    data.floating = read.floating;
    data.values = read.values;
    data.base = data.values;
    return true;
}

} // namespace platform::detail::itemcache
