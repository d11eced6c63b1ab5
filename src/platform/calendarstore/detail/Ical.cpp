#include "platform/calendarstore/detail/Ical.h"

#include "platform/calendarstore/detail/IcalZones.h"

#include <QCryptographicHash>
#include <QHash>
#include <QTimeZone>
#include <QUrl>

#include <algorithm>
#include <mutex>

using namespace Qt::StringLiterals;

namespace platform::detail::ical {

void initLibical()
{
    static const bool done = [] {
        // Bad input is ours to report, never a reason to abort the process.
        icalerror_set_errors_are_fatal(0);
        return true;
    }();
    (void)done;
}

// A value as read; a bare carriage return inside it (only a broken file has one) reads as a
// line break, which is how it is written back.
QString text(const char *s)
{
    if (!s)
        return {};
    QString out = QString::fromUtf8(s);
    if (out.contains(u'\r'))
        out.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n');
    return out;
}

QByteArray asIcal(icalcomponent *c)
{
    char *s = icalcomponent_as_ical_string_r(c);
    QByteArray out(s ? s : "");
    icalmemory_free_buffer(s);
    return out;
}

QByteArray asIcal(icalproperty *p)
{
    char *s = icalproperty_as_ical_string_r(p);
    QByteArray out(s ? s : "");
    icalmemory_free_buffer(s);
    return out;
}

// The whole file: several calendars in one file come back as an XROOT we never write.
QByteArray serialize(icalcomponent *root)
{
    if (icalcomponent_isa(root) != ICAL_XROOT_COMPONENT)
        return asIcal(root);
    QByteArray out;
    for (icalcomponent *c = icalcomponent_get_first_component(root, ICAL_ANY_COMPONENT); c;
         c = icalcomponent_get_next_component(root, ICAL_ANY_COMPONENT))
        out += asIcal(c);
    return out;
}

namespace {

// Content lines of a file after unfolding, to tell whether the parser kept them all.
int contentLines(const QByteArray &bytes)
{
    int n = 0;
    bool lineStart = true;
    for (char c : bytes) {
        if (c == '\n' || c == '\r') {
            lineStart = true;
            continue;
        }
        if (lineStart && c != ' ' && c != '\t')
            ++n;
        lineStart = false;
    }
    return n;
}

// The content lines \a c is written as, at least: its BEGIN and END, a line for each
// property (written from its name on, never as a continuation) and its components'.
int leastLines(icalcomponent *c)
{
    int n = 2 + icalcomponent_count_properties(c, ICAL_ANY_PROPERTY);
    for (icalcomponent *child = icalcomponent_get_first_component(c, ICAL_ANY_COMPONENT); child;
         child = icalcomponent_get_next_component(c, ICAL_ANY_COMPONENT))
        n += leastLines(child);
    return n;
}

} // namespace

std::vector<icalcomponent *> children(icalcomponent *parent, icalcomponent_kind kind)
{
    std::vector<icalcomponent *> out;
    for (icalcomponent *c = icalcomponent_get_first_component(parent, kind); c;
         c = icalcomponent_get_next_component(parent, kind))
        out.push_back(c);
    return out;
}

std::vector<icalproperty *> properties(icalcomponent *c, icalproperty_kind kind)
{
    std::vector<icalproperty *> out;
    for (icalproperty *p = icalcomponent_get_first_property(c, kind); p;
         p = icalcomponent_get_next_property(c, kind))
        out.push_back(p);
    return out;
}

namespace {

// Turns the parser's error lines back into what they replaced where it can: a line whose
// value it could not read is kept (as a line of its own name) so that writing the file
// back does not drop it. Returns the problems found.
QStringList restoreErrors(icalcomponent *c)
{
    QStringList problems;
    for (icalproperty *p : properties(c, ICAL_XLICERROR_PROPERTY)) {
        const QString message = text(icalproperty_get_xlicerror(p));
        problems.append(message);
        // "Can't parse as RECUR value in RRULE property. Removing entire property: <value>",
        // "No value for TZID property. Removing entire property:"
        static const QString removing = u" property. Removing entire property:"_s;
        static const QString valueIn = u" value in "_s;
        static const QString noValue = u"No value for "_s;
        const qsizetype r = message.indexOf(removing);
        qsizetype v = message.lastIndexOf(valueIn, r);
        qsizetype nameAt = v + valueIn.size();
        if (v < 0 && message.startsWith(noValue)) {
            v = 0;
            nameAt = noValue.size();
        }
        if (r > 0 && v >= 0 && nameAt < r) {
            const QByteArray name = message.mid(nameAt, r - nameAt).toUtf8();
            const QByteArray value = message.mid(r + removing.size()).trimmed().toUtf8();
            icalproperty *kept = icalproperty_new_x(value.constData());
            icalproperty_set_x_name(kept, name.constData());
            icalcomponent_add_property(c, kept);
        }
        icalcomponent_remove_property(c, p);
        icalproperty_free(p);
    }
    for (icalcomponent *child : children(c, ICAL_ANY_COMPONENT))
        problems += restoreErrors(child);
    return problems;
}

} // namespace

namespace {

// Whether \a bytes are well-formed UTF-8 as far as telling it from Latin-1 goes; checked in
// place, since every file of a folder goes through here.
bool isUtf8(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    const uchar *end = p + bytes.size();
    while (p < end) {
        if (*p < 0x80) {
            ++p;
            continue;
        }
        const int more = *p >= 0xC2 && *p <= 0xDF ? 1 : *p >= 0xE0 && *p <= 0xEF ? 2 : *p >= 0xF0 && *p <= 0xF4 ? 3 : -1;
        if (more < 0 || end - p <= more)
            return false;
        for (int i = 1; i <= more; ++i)
            if ((p[i] & 0xC0) != 0x80)
                return false;
        p += more + 1;
    }
    return true;
}

} // namespace

QByteArray utf8Text(const QByteArray &bytes, bool *latin1)
{
    *latin1 = !isUtf8(bytes);
    return *latin1 ? QString::fromLatin1(bytes).toUtf8() : bytes;
}

namespace {

// Marks a UID the kit made for an item that has none.
const char kMadeUidParameter[] = "X-ZEM-MADE-UID";

// Gives each item without a UID one made from the file and the item's place in it, so that
// it is the same at every read of the same file.
void giveUids(icalcomponent *root, bool bare, const QString &where)
{
    int place = 0;
    for (icalcomponent *cal : bare ? std::vector<icalcomponent *>{root} : calendarsOf(root)) {
        for (icalcomponent *c : children(cal, ICAL_ANY_COMPONENT)) {
            if (!isItem(c))
                continue;
            ++place;
            if (!text(icalcomponent_get_uid(c)).isEmpty())
                continue;
            removeProperties(c, ICAL_UID_PROPERTY);
            const QByteArray seed = (where + u'#' + QString::number(place)).toUtf8();
            const QByteArray uid = "zem-" + QCryptographicHash::hash(seed, QCryptographicHash::Sha1).toHex().left(24);
            icalproperty *p = icalproperty_new_uid(uid.constData());
            icalparameter *mark = icalparameter_new_x("1");
            icalparameter_set_xname(mark, kMadeUidParameter);
            icalproperty_add_parameter(p, mark);
            icalcomponent_add_property(c, p);
        }
    }
}

} // namespace

bool isMadeUid(icalproperty *p)
{
    if (icalproperty_isa(p) != ICAL_UID_PROPERTY)
        return false;
    for (icalparameter *m = icalproperty_get_first_parameter(p, ICAL_X_PARAMETER); m;
         m = icalproperty_get_next_parameter(p, ICAL_X_PARAMETER))
        if (qstrcmp(icalparameter_get_xname(m), kMadeUidParameter) == 0)
            return true;
    return false;
}

void keepUid(icalcomponent *c)
{
    if (icalproperty *p = icalcomponent_get_first_property(c, ICAL_UID_PROPERTY); p && isMadeUid(p))
        icalproperty_remove_parameter_by_name(p, kMadeUidParameter);
}

Parsed parseIcs(QByteArray bytes, const QString &where)
{
    initLibical();
    Parsed out;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    if (bytes.contains('\0'))
        bytes.truncate(bytes.indexOf('\0'));
    bool latin1 = false;
    bytes = utf8Text(bytes, &latin1);
    if (latin1)
        out.problems.append(u"not in UTF-8; read as Latin-1"_s);
    icalcomponent *c = icalparser_parse_string(bytes.constData());
    if (!c) {
        out.problems.append(u"not an iCalendar file"_s);
        return out;
    }
    const icalcomponent_kind kind = icalcomponent_isa(c);
    // Items without a calendar around them: libical gives one alone, or several (and their
    // zones) in an XROOT.
    const auto bareItems = [](icalcomponent *x) {
        const std::vector<icalcomponent *> all = children(x, ICAL_ANY_COMPONENT);
        return std::any_of(all.begin(), all.end(), isItem)
               && std::none_of(all.begin(), all.end(), [](icalcomponent *c) {
                      return icalcomponent_isa(c) == ICAL_VCALENDAR_COMPONENT;
                  });
    };
    if (kind == ICAL_VEVENT_COMPONENT || kind == ICAL_VTODO_COMPONENT
        || (kind == ICAL_XROOT_COMPONENT && bareItems(c))) {
        icalcomponent *cal = icalcomponent_new_vcalendar();
        if (kind == ICAL_XROOT_COMPONENT) {
            for (icalcomponent *item : children(c, ICAL_ANY_COMPONENT)) {
                icalcomponent_remove_component(c, item);
                icalcomponent_add_component(cal, item);
            }
            icalcomponent_free(c);
        } else {
            icalcomponent_add_component(cal, c);
        }
        c = cal;
        out.bare = true;
        out.problems.append(u"no VCALENDAR around the item"_s);
    } else if (kind != ICAL_VCALENDAR_COMPONENT && kind != ICAL_XROOT_COMPONENT) {
        icalcomponent_free(c);
        out.problems.append(u"not an iCalendar file"_s);
        return out;
    }
    out.root.reset(c);
    out.problems += restoreErrors(c);
    ZoneDefinitions::shared().adopt(c); // as the tree now stands: the text is the key
    // Writing the tree to count its lines was a fifth of reading a file: it is done only
    // when the lines the tree writes at least are fewer than the file's.
    const int read = contentLines(bytes);
    int least = 0;
    for (icalcomponent *cal : icalcomponent_isa(c) == ICAL_XROOT_COMPONENT ? children(c, ICAL_ANY_COMPONENT)
                                                           : std::vector<icalcomponent *>{c})
        least += leastLines(cal);
    // Lines libical drops stay in the file when it is written (see IcsSplice.cpp); only a
    // file that cannot be written that way loses them.
    out.lossy = least < read && contentLines(serialize(c)) < read;
    if (!where.isEmpty())
        giveUids(c, out.bare, where);
    return out;
}

std::vector<icalcomponent *> topOf(icalcomponent *root, bool bare)
{
    if (bare || icalcomponent_isa(root) == ICAL_XROOT_COMPONENT)
        return children(root, ICAL_ANY_COMPONENT);
    return {root};
}

// ---- Components ---------------------------------------------------------------------------

// The calendars of a file: the root, or each calendar of a file holding several.
std::vector<icalcomponent *> calendarsOf(icalcomponent *root)
{
    if (icalcomponent_isa(root) == ICAL_XROOT_COMPONENT)
        return children(root, ICAL_VCALENDAR_COMPONENT);
    return {root};
}

bool isItem(icalcomponent *c)
{
    const icalcomponent_kind k = icalcomponent_isa(c);
    return k == ICAL_VEVENT_COMPONENT || k == ICAL_VTODO_COMPONENT;
}

bool hasRecurrenceId(icalcomponent *c)
{
    return icalcomponent_get_first_property(c, ICAL_RECURRENCEID_PROPERTY) != nullptr;
}

// Every component of \a uid, masters and overrides, in file order.
std::vector<icalcomponent *> componentsOf(icalcomponent *root, const QString &uid)
{
    // Compared as the store names items (text()), so that a uid read with a bare carriage
    // return is found again.
    std::vector<icalcomponent *> out;
    for (icalcomponent *cal : calendarsOf(root))
        for (icalcomponent *c : children(cal, ICAL_ANY_COMPONENT))
            if (isItem(c) && text(icalcomponent_get_uid(c)) == uid)
                out.push_back(c);
    return out;
}

icalcomponent *masterOf(const std::vector<icalcomponent *> &comps)
{
    for (icalcomponent *c : comps)
        if (!hasRecurrenceId(c))
            return c;
    return nullptr;
}

icalcomponent *calendarOf(icalcomponent *c)
{
    icalcomponent *parent = icalcomponent_get_parent(c);
    return parent ? parent : c;
}

bool hasItems(icalcomponent *root)
{
    for (icalcomponent *cal : calendarsOf(root))
        for (icalcomponent *c : children(cal, ICAL_ANY_COMPONENT))
            if (isItem(c))
                return true;
    return false;
}

void removeComponent(icalcomponent *c)
{
    icalcomponent_remove_component(icalcomponent_get_parent(c), c);
    icalcomponent_free(c);
}

// A new calendar with the header lines and zones of the calendar holding \a like.
IcalPtr newCalendarLike(icalcomponent *like)
{
    IcalPtr cal(icalcomponent_new_vcalendar());
    icalcomponent *from = calendarOf(like);
    for (icalproperty_kind kind : {ICAL_VERSION_PROPERTY, ICAL_PRODID_PROPERTY, ICAL_CALSCALE_PROPERTY})
        if (icalproperty *p = icalcomponent_get_first_property(from, kind))
            icalcomponent_add_property(cal.get(), icalproperty_new_clone(p));
    if (!icalcomponent_get_first_property(cal.get(), ICAL_VERSION_PROPERTY))
        icalcomponent_add_property(cal.get(), icalproperty_new_version("2.0"));
    for (icalcomponent *z : children(from, ICAL_VTIMEZONE_COMPONENT))
        icalcomponent_add_component(cal.get(), icalcomponent_new_clone(z));
    return cal;
}

// Moves every component of \a uid into a calendar of its own.
IcalPtr extract(icalcomponent *root, const QString &uid)
{
    const std::vector<icalcomponent *> comps = componentsOf(root, uid);
    if (comps.empty())
        return {};
    IcalPtr cal = newCalendarLike(comps.front());
    for (icalcomponent *c : comps) {
        icalcomponent_remove_component(icalcomponent_get_parent(c), c);
        icalcomponent_add_component(cal.get(), c);
    }
    return cal;
}

// ---- Time ---------------------------------------------------------------------------------

namespace {

// The IANA id Qt knows for a TZID: itself, a Windows name's zone, or the tail of a
// prefixed id ("/softwarestudio.org/Olson_20011030_5/Asia/Calcutta").
// Files are read on several threads: both caches below are shared by them.
std::mutex cacheLock;

QByteArray ianaFor(const QByteArray &tzid)
{
    static QHash<QByteArray, QByteArray> cache;
    const std::lock_guard lock(cacheLock);
    const auto hit = cache.constFind(tzid);
    if (hit != cache.constEnd())
        return *hit;
    QByteArray found;
    if (!tzid.isEmpty()) {
        if (QTimeZone::isTimeZoneIdAvailable(tzid)) {
            found = tzid;
        } else if (const QByteArray win = QTimeZone::windowsIdToDefaultIanaId(tzid); !win.isEmpty()) {
            found = win;
        } else {
            for (qsizetype i = tzid.indexOf('/'); i >= 0 && found.isEmpty(); i = tzid.indexOf('/', i + 1)) {
                const QByteArray tail = tzid.mid(i + 1);
                if (!tail.isEmpty() && QTimeZone::isTimeZoneIdAvailable(tail))
                    found = tail;
            }
        }
    }
    cache.insert(tzid, found);
    return found;
}

} // namespace

// Building a zone reads its rules: keep the ones in use.
QTimeZone zoneNamed(const QByteArray &iana)
{
    static QHash<QByteArray, QTimeZone> zones;
    const std::lock_guard lock(cacheLock);
    auto it = zones.find(iana);
    if (it == zones.end())
        it = zones.insert(iana, QTimeZone(iana));
    return *it;
}

bool isUtcId(const QByteArray &id)
{
    return id == "UTC" || id == "Etc/UTC" || id == "Z" || id == "GMT" || id == "Etc/GMT";
}

icaltimezone *zoneFor(icalcomponent *calendar, const QByteArray &tzid)
{
    if (tzid.isEmpty())
        return nullptr;
    if (calendar && icalcomponent_isa(calendar) == ICAL_VCALENDAR_COMPONENT)
        if (icaltimezone *z = icalcomponent_get_timezone(calendar, tzid.constData())) {
            icaltimezone *shared = ZoneDefinitions::shared().zoneOf(icaltimezone_get_component(z));
            return shared ? shared : z;
        }
    if (icaltimezone *z = icaltimezone_get_builtin_timezone(tzid.constData()))
        return z;
    const QByteArray iana = ianaFor(tzid);
    if (!iana.isEmpty())
        return icaltimezone_get_builtin_timezone(iana.constData());
    return nullptr;
}

QByteArray tzidOf(icalproperty *p)
{
    icalparameter *param = icalproperty_get_first_parameter(p, ICAL_TZID_PARAMETER);
    return param && icalparameter_get_tzid(param) ? QByteArray(icalparameter_get_tzid(param)) : QByteArray();
}

// A date-time as Qt holds it: all-day dates and floating times as local times, zoned times
// in their zone (or at their instant in local time when Qt does not know the zone).
TimeRead toQt(icaltimetype t, const QByteArray &tzid, icalcomponent *calendar, QStringList *problems)
{
    TimeRead out;
    if (icaltime_is_null_time(t) || !icaltime_is_valid_time(t))
        return out;
    const QDate date(t.year, t.month, t.day);
    if (!date.isValid())
        return out;
    if (t.is_date) {
        out.value = QDateTime(date, QTime(0, 0));
        out.date = true;
        out.floating = true;
        return out;
    }
    const QTime clock(t.hour, t.minute, std::min(t.second, 59));
    if (icaltime_is_utc(t) || isUtcId(tzid)) {
        out.value = QDateTime(date, clock, Qt::UTC);
        return out;
    }
    if (tzid.isEmpty()) {
        out.value = QDateTime(date, clock);
        out.floating = true;
        return out;
    }
    const QByteArray iana = ianaFor(tzid);
    if (icaltimezone *zone = zoneFor(calendar, tzid)) {
        icaltimetype wall = t;
        wall.zone = nullptr;
        const time_t secs = icaltime_as_timet_with_zone(wall, zone);
        const QDateTime instant = QDateTime::fromSecsSinceEpoch(qint64(secs), Qt::UTC);
        out.value = iana.isEmpty() ? instant.toLocalTime() : instant.toTimeZone(zoneNamed(iana));
        return out;
    }
    if (!iana.isEmpty()) {
        out.value = QDateTime(date, clock, zoneNamed(iana));
        return out;
    }
    if (problems)
        problems->append(u"unknown time zone “%1”: read as local time"_s.arg(QString::fromUtf8(tzid)));
    out.value = QDateTime(date, clock);
    out.floating = true;
    return out;
}

TimeRead timeOf(icalproperty *p, icalcomponent *calendar, QStringList *problems)
{
    if (!p)
        return {};
    icalvalue *v = icalproperty_get_value(p);
    if (!v)
        return {};
    const icalvalue_kind kind = icalvalue_isa(v);
    icaltimetype t;
    if (kind == ICAL_DATE_VALUE)
        t = icalvalue_get_date(v);
    else if (kind == ICAL_DATETIME_VALUE)
        t = icalvalue_get_datetime(v);
    else if (kind == ICAL_DATETIMEPERIOD_VALUE) {
        const icaldatetimeperiodtype dp = icalvalue_get_datetimeperiod(v);
        t = icaltime_is_null_time(dp.time) ? dp.period.start : dp.time;
    } else
        return {};
    return toQt(t, tzidOf(p), calendar, problems);
}

icaltimezone *utcZone()
{
    return icaltimezone_get_utc_timezone();
}

icaltimetype icalDate(const QDate &d)
{
    icaltimetype t = icaltime_null_date();
    t.year = d.year();
    t.month = d.month();
    t.day = d.day();
    return t;
}

icaltimetype icalWall(const QDateTime &dt)
{
    icaltimetype t = icaltime_null_time();
    t.year = dt.date().year();
    t.month = dt.date().month();
    t.day = dt.date().day();
    t.hour = dt.time().hour();
    t.minute = dt.time().minute();
    t.second = dt.time().second();
    t.is_date = 0;
    return t;
}

namespace {

// Adds the definition of zone \a id to the calendar when it has none.
void ensureZone(icalcomponent *calendar, const QByteArray &id, icaltimezone *builtin)
{
    if (!calendar || icalcomponent_get_timezone(calendar, id.constData()))
        return;
    icalcomponent *def = icaltimezone_get_component(builtin);
    if (!def)
        return;
    icalcomponent *copy = icalcomponent_new_clone(def);
    for (icalproperty *p : properties(copy, ICAL_TZID_PROPERTY))
        icalproperty_set_tzid(p, id.constData());
    icalcomponent_add_component(calendar, copy);
}

} // namespace

// How a date is written: a DATE for all-day values, a floating time for values read
// floating, else in the value's zone (the system zone for local times) with its
// definition added to the calendar, or in UTC when libical does not know the zone.
TimeWrite fromQt(const QDateTime &dt, bool allDay, bool floating, icalcomponent *calendar)
{
    TimeWrite out;
    if (!dt.isValid())
        return out;
    if (allDay) {
        out.time = icalDate(dt.date());
        return out;
    }
    if (floating && dt.timeSpec() == Qt::LocalTime) {
        out.time = icalWall(dt);
        return out;
    }
    QByteArray id;
    if (dt.timeSpec() == Qt::TimeZone)
        id = dt.timeZone().id();
    else if (dt.timeSpec() == Qt::LocalTime)
        id = QTimeZone::systemTimeZoneId();
    if (!id.isEmpty() && !isUtcId(id)) {
        if (icaltimezone *zone = icaltimezone_get_builtin_timezone(id.constData())) {
            out.time = icalWall(dt.toTimeZone(QTimeZone(id)));
            out.tzid = id;
            ensureZone(calendar, id, zone);
            return out;
        }
    }
    out.time = icalWall(dt.toUTC());
    out.time.zone = utcZone();
    return out;
}

void setTimeValue(icalproperty *p, const TimeWrite &w)
{
    icalproperty_set_value(p, w.time.is_date ? icalvalue_new_date(w.time) : icalvalue_new_datetime(w.time));
    icalproperty_remove_parameter_by_kind(p, ICAL_TZID_PARAMETER);
    icalproperty_remove_parameter_by_kind(p, ICAL_VALUE_PARAMETER);
    if (!w.tzid.isEmpty())
        icalproperty_add_parameter(p, icalparameter_new_tzid(w.tzid.constData()));
}

// Sets (or with an invalid value removes) a date property, keeping its other parameters.
void setTimeProperty(icalcomponent *c, icalproperty_kind kind, const TimeWrite &w)
{
    std::vector<icalproperty *> props = properties(c, kind);
    if (icaltime_is_null_time(w.time)) {
        for (icalproperty *p : props) {
            icalcomponent_remove_property(c, p);
            icalproperty_free(p);
        }
        return;
    }
    icalproperty *p = props.empty() ? nullptr : props.front();
    if (!p) {
        p = icalproperty_new(kind);
        icalcomponent_add_property(c, p);
    }
    setTimeValue(p, w);
}

void removeProperties(icalcomponent *c, icalproperty_kind kind)
{
    for (icalproperty *p : properties(c, kind)) {
        icalcomponent_remove_property(c, p);
        icalproperty_free(p);
    }
}

void setTextProperty(icalcomponent *c, icalproperty_kind kind, const QVariant &value)
{
    if (!value.isValid()) {
        removeProperties(c, kind);
        return;
    }
    icalproperty *p = icalcomponent_get_first_property(c, kind);
    if (!p) {
        p = icalproperty_new(kind);
        icalcomponent_add_property(c, p);
    }
    const QByteArray utf8 = value.metaType() == QMetaType::fromType<QUrl>()
                                ? value.toUrl().toString(QUrl::FullyEncoded).toUtf8()
                                : value.toString().toUtf8();
    icalproperty_set_value(p, kind == ICAL_URL_PROPERTY ? icalvalue_new_uri(utf8.constData())
                                                        : icalvalue_new_text(utf8.constData()));
}

QString textOf(icalcomponent *c, icalproperty_kind kind)
{
    icalproperty *p = icalcomponent_get_first_property(c, kind);
    if (!p)
        return {};
    icalvalue *v = icalproperty_get_value(p);
    if (!v)
        return {};
    if (icalvalue_isa(v) == ICAL_TEXT_VALUE)
        return text(icalvalue_get_text(v) ? icalvalue_get_text(v) : "");
    return text(icalvalue_as_ical_string(v));
}

void stampChanged(icalcomponent *c)
{
    TimeWrite now;
    now.time = icalWall(QDateTime::currentDateTimeUtc());
    now.time.zone = utcZone();
    setTimeProperty(c, ICAL_DTSTAMP_PROPERTY, now);
    setTimeProperty(c, ICAL_LASTMODIFIED_PROPERTY, now);
}

} // namespace platform::detail::ical
