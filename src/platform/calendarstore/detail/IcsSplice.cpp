// Lossless writes: the file's own lines are the starting point, and only what the change
// touched is written anew. libical tells what a line means (both the file as read and the
// calendar as changed are its trees); it never prints the file back.
#include "platform/calendarstore/detail/IcsSplice.h"

#include "platform/calendarstore/detail/Ical.h"

#include <QHash>

#include <algorithm>
#include <deque>
#include <map>

namespace platform::detail::ical {

namespace {

// A component as the file writes it: its BEGIN and END lines (indices of logical lines;
// end is -1 when the file never closes it), its property lines and its components.
struct RawComp
{
    QByteArray name;
    int begin = -1, end = -1, last = -1;
    std::vector<int> props;
    std::vector<RawComp *> kids;
};

// The file's text cut into logical lines (a line with its folded continuations).
struct Raw
{
    QByteArray text;
    std::vector<std::pair<qsizetype, qsizetype>> lines; // bytes [from, to), line end included
    std::vector<QByteArray> unfolded;
    std::deque<RawComp> comps; // comps.front() holds the file's top-level components
    QByteArray eol = "\r\n";

    QByteArray bytesOf(int line) const { return text.mid(lines[line].first, lines[line].second - lines[line].first); }
};

QByteArray nameOf(const QByteArray &line)
{
    qsizetype i = 0;
    while (i < line.size() && line[i] != ';' && line[i] != ':')
        ++i;
    return line.left(i).trimmed().toUpper();
}

// Where a property's value begins: the first colon outside quotes.
qsizetype valueColon(const QByteArray &line)
{
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ':' && !quoted)
            return i;
    }
    return -1;
}

Raw cut(const QByteArray &text)
{
    Raw raw;
    raw.text = text;
    bool blank = false;
    for (qsizetype pos = 0; pos < text.size();) {
        const qsizetype nl = text.indexOf('\n', pos);
        const qsizetype to = nl < 0 ? text.size() : nl + 1;
        QByteArray content = text.mid(pos, to - pos);
        while (content.endsWith('\n') || content.endsWith('\r'))
            content.chop(1);
        if (!raw.lines.empty() && !blank && (text[pos] == ' ' || text[pos] == '\t')) {
            raw.lines.back().second = to;
            raw.unfolded.back() += content.mid(1);
        } else {
            raw.lines.push_back({pos, to});
            raw.unfolded.push_back(content);
            blank = content.isEmpty();
        }
        pos = to;
    }
    if (!raw.unfolded.empty() && raw.unfolded[0].startsWith("\xEF\xBB\xBF"))
        raw.unfolded[0].remove(0, 3);
    if (!raw.lines.empty() && !raw.bytesOf(0).endsWith("\r\n") && raw.bytesOf(0).endsWith('\n'))
        raw.eol = "\n";

    raw.comps.emplace_back();
    std::vector<RawComp *> open{&raw.comps.front()};
    const int n = int(raw.lines.size());
    for (int i = 0; i < n; ++i) {
        const QByteArray &line = raw.unfolded[i];
        const QByteArray name = nameOf(line);
        const QByteArray value = line.mid(valueColon(line) + 1).trimmed().toUpper();
        if (name == "BEGIN" && valueColon(line) > 0) {
            RawComp &c = raw.comps.emplace_back();
            c.name = value;
            c.begin = i;
            open.back()->kids.push_back(&c);
            open.push_back(&c);
            continue;
        }
        if (name == "END") {
            auto closes = std::find_if(open.rbegin(), open.rend() - 1, [&](RawComp *c) { return c->name == value; });
            if (closes != open.rend() - 1) {
                // What an END closes without their own END ends with the line before it.
                for (auto it = open.rbegin(); it != closes; ++it)
                    (*it)->last = i - 1;
                (*closes)->end = (*closes)->last = i;
                open.erase(closes.base() - 1, open.end());
                continue;
            }
        }
        if (!line.trimmed().isEmpty())
            open.back()->props.push_back(i);
    }
    for (RawComp *c : open)
        c->last = n - 1;
    return raw;
}

// What is written in place of lines, and before them (before line n: at the end).
struct Edits
{
    std::map<int, QByteArray> replace; // empty: the line goes
    std::map<int, QByteArray> before;
};

QByteArray unfold(QByteArray s)
{
    s.replace("\r\n ", "").replace("\r\n\t", "");
    while (s.endsWith('\n') || s.endsWith('\r'))
        s.chop(1);
    return s;
}

// A content line folded at 75 octets, never inside a UTF-8 sequence.
QByteArray fold(const QByteArray &line, const QByteArray &eol)
{
    QByteArray out;
    qsizetype at = 0, room = 75;
    while (line.size() - at > room) {
        qsizetype cut = at + room;
        while (cut > at + 1 && (uchar(line[cut]) & 0xC0) == 0x80)
            --cut;
        out += line.mid(at, cut - at) + eol + ' ';
        at = cut;
        room = 74;
    }
    return out + line.mid(at) + eol;
}

QByteArray linesOf(icalcomponent *c, const QByteArray &eol)
{
    QByteArray s = asIcal(c);
    if (eol != "\r\n")
        s.replace("\r\n", eol);
    return s;
}

QByteArray propertyName(icalproperty *p)
{
    char *s = icalproperty_get_property_name_r(p);
    const QByteArray name = QByteArray(s ? s : "").toUpper();
    icalmemory_free_buffer(s);
    return name;
}

QByteArray componentName(icalcomponent *c)
{
    return icalcomponent_kind_to_string(icalcomponent_isa(c));
}

// Where a component's new properties and new components go.
int propsEnd(const RawComp &r)
{
    return !r.kids.empty() ? r.kids.front()->begin : r.end >= 0 ? r.end : r.last + 1;
}

int kidsEnd(const RawComp &r)
{
    return r.end >= 0 ? r.end : r.last + 1;
}

// The new line of a property that changed: the file's own name and parameters kept when
// libical reads them as it writes the new ones (so parameters it drops stay), else libical's.
QByteArray rewrite(const Raw &raw, int line, const QByteArray &was, const QByteArray &now)
{
    const qsizetype wasColon = valueColon(was), nowColon = valueColon(now);
    const QByteArray &own = raw.unfolded[line];
    const qsizetype ownColon = valueColon(own);
    if (wasColon > 0 && nowColon > 0 && ownColon > 0 && was.left(wasColon) == now.left(nowColon))
        return fold(own.left(ownColon) + now.mid(nowColon), raw.eol);
    return fold(now, raw.eol);
}

// The longest common subsequence of \a a and \a b as index pairs, in order.
std::vector<std::pair<int, int>> common(const QList<QByteArray> &a, const QList<QByteArray> &b)
{
    const int n = int(a.size()), m = int(b.size());
    std::vector<std::vector<int>> len(n + 1, std::vector<int>(m + 1, 0));
    for (int i = n - 1; i >= 0; --i)
        for (int j = m - 1; j >= 0; --j)
            len[i][j] = a[i] == b[j] ? len[i + 1][j + 1] + 1 : std::max(len[i + 1][j], len[i][j + 1]);
    std::vector<std::pair<int, int>> out;
    for (int i = 0, j = 0; i < n && j < m;) {
        if (a[i] == b[j])
            out.push_back({i++, j++});
        else if (len[i + 1][j] >= len[i][j + 1])
            ++i;
        else
            ++j;
    }
    return out;
}

void diffProps(const Raw &raw, const RawComp &r, icalcomponent *b, icalcomponent *a, Edits &edits)
{
    struct Named
    {
        QList<QByteArray> was, now;
        std::vector<int> lines;
    };
    std::vector<QByteArray> order; // names in the order the changed component has them
    QHash<QByteArray, Named> byName;
    const auto note = [&](const QByteArray &name) -> Named & {
        if (!byName.contains(name))
            order.push_back(name);
        return byName[name];
    };
    for (icalproperty *p = icalcomponent_get_first_property(a, ICAL_ANY_PROPERTY); p;
         p = icalcomponent_get_next_property(a, ICAL_ANY_PROPERTY))
        note(propertyName(p)).now << unfold(asIcal(p));
    for (icalproperty *p = icalcomponent_get_first_property(b, ICAL_ANY_PROPERTY); p;
         p = icalcomponent_get_next_property(b, ICAL_ANY_PROPERTY))
        note(propertyName(p)).was << unfold(asIcal(p));
    for (int line : r.props)
        if (auto it = byName.find(nameOf(raw.unfolded[line])); it != byName.end())
            it->lines.push_back(line);

    for (const QByteArray &name : order) {
        const Named &n = byName[name];
        if (n.was == n.now)
            continue;
        QByteArray added;
        for (const QByteArray &l : n.now)
            added += fold(l, raw.eol);
        // libical reads some lines as several properties (a list of dates, of categories) or
        // none: their lines are then written anew together.
        if (n.lines.size() != size_t(n.was.size())) {
            for (size_t i = 0; i < n.lines.size(); ++i)
                edits.replace[n.lines[i]] = i == 0 ? added : QByteArray();
            if (n.lines.empty())
                edits.before[propsEnd(r)] += added;
            continue;
        }
        std::vector<std::pair<int, int>> kept = common(n.was, n.now);
        kept.push_back({int(n.was.size()), int(n.now.size())});
        int wasAt = 0, nowAt = 0;
        for (const auto &[keptWas, keptNow] : kept) {
            const int gone = keptWas - wasAt, come = keptNow - nowAt;
            for (int k = 0; k < gone; ++k) {
                const int i = wasAt + k;
                edits.replace[n.lines[i]] = k < come ? rewrite(raw, n.lines[i], n.was[i], n.now[nowAt + k]) : QByteArray();
            }
            QByteArray extra;
            for (int k = gone; k < come; ++k)
                extra += fold(n.now[nowAt + k], raw.eol);
            if (!extra.isEmpty()) {
                if (gone > 0)
                    edits.replace[n.lines[keptWas - 1]] += extra;
                else if (keptWas < int(n.lines.size()))
                    edits.before[n.lines[keptWas]] += extra;
                else if (!n.lines.empty())
                    edits.before[n.lines.back() + 1] += extra;
                else
                    edits.before[propsEnd(r)] += extra;
            }
            wasAt = keptWas + 1;
            nowAt = keptNow + 1;
        }
    }
}

bool diffComp(const Raw &raw, const RawComp &r, icalcomponent *b, icalcomponent *a, Edits &edits);

// Which component of the file as read each component of the changed calendar is: an item by
// its UID and RECURRENCE-ID, a zone by its TZID, another by its lines, else by its place.
std::vector<int> match(const std::vector<icalcomponent *> &was, const std::vector<icalcomponent *> &now)
{
    const auto identity = [](icalcomponent *c) -> QByteArray {
        const icalcomponent_kind k = icalcomponent_isa(c);
        if (isItem(c) || k == ICAL_VJOURNAL_COMPONENT) {
            QByteArray id = componentName(c) + '\n' + QByteArray(icalcomponent_get_uid(c) ? icalcomponent_get_uid(c) : "");
            if (icalproperty *rid = icalcomponent_get_first_property(c, ICAL_RECURRENCEID_PROPERTY))
                id += '\n' + unfold(asIcal(rid));
            return id;
        }
        if (k == ICAL_VTIMEZONE_COMPONENT)
            return "VTIMEZONE\n" + textOf(c, ICAL_TZID_PROPERTY).toUtf8();
        return {};
    };
    std::vector<int> out(now.size(), -1);
    std::vector<bool> used(was.size(), false);
    for (int pass = 0; pass < 3; ++pass) {
        std::map<QByteArray, std::deque<int>> free;
        const auto key = [&](icalcomponent *c) -> QByteArray {
            const QByteArray id = identity(c);
            if (pass == 0 || !id.isEmpty())
                return pass == 0 ? id : QByteArray();
            return pass == 1 ? componentName(c) + '\n' + asIcal(c) : componentName(c);
        };
        for (size_t i = 0; i < was.size(); ++i)
            if (const QByteArray k = key(was[i]); !used[i] && !k.isEmpty())
                free[k].push_back(int(i));
        for (size_t j = 0; j < now.size(); ++j) {
            if (out[j] >= 0)
                continue;
            const QByteArray k = key(now[j]);
            auto it = free.find(k);
            if (k.isEmpty() || it == free.end() || it->second.empty())
                continue;
            out[j] = it->second.front();
            used[out[j]] = true;
            it->second.pop_front();
        }
    }
    return out;
}

bool diffKids(const Raw &raw, const RawComp &r, const std::vector<icalcomponent *> &was,
              const std::vector<icalcomponent *> &now, Edits &edits)
{
    // The file's components of each name, paired in order with libical's where it read them
    // all (it drops components it does not know).
    std::vector<const RawComp *> rawOf(was.size(), nullptr);
    QHash<QByteArray, std::vector<int>> wasByName;
    QHash<QByteArray, std::vector<const RawComp *>> rawByName;
    for (size_t i = 0; i < was.size(); ++i)
        wasByName[componentName(was[i])].push_back(int(i));
    for (const RawComp *k : r.kids)
        rawByName[k->name].push_back(k);
    for (auto it = wasByName.cbegin(); it != wasByName.cend(); ++it) {
        const auto &own = rawByName.value(it.key());
        if (own.size() == it->size())
            for (size_t i = 0; i < own.size(); ++i)
                rawOf[(*it)[i]] = own[i];
    }

    const std::vector<int> matched = match(was, now);
    std::vector<bool> kept(was.size(), false);
    for (size_t j = 0; j < now.size(); ++j) {
        const int i = matched[j];
        if (i < 0) {
            edits.before[kidsEnd(r)] += linesOf(now[j], raw.eol);
            continue;
        }
        kept[i] = true;
        if (asIcal(was[i]) == asIcal(now[j]))
            continue;
        if (!rawOf[i] || !diffComp(raw, *rawOf[i], was[i], now[j], edits))
            return false;
    }
    for (size_t i = 0; i < was.size(); ++i) {
        if (kept[i])
            continue;
        if (!rawOf[i])
            return false;
        for (int line = rawOf[i]->begin; line <= rawOf[i]->last; ++line)
            edits.replace[line] = QByteArray();
    }
    return true;
}

bool diffComp(const Raw &raw, const RawComp &r, icalcomponent *b, icalcomponent *a, Edits &edits)
{
    diffProps(raw, r, b, a, edits);
    return diffKids(raw, r, children(b, ICAL_ANY_COMPONENT), children(a, ICAL_ANY_COMPONENT), edits);
}

// What a calendar means, in no particular order of lines; made UIDs left out.
QByteArray meaning(icalcomponent *c)
{
    QList<QByteArray> props, kids;
    for (icalproperty *p = icalcomponent_get_first_property(c, ICAL_ANY_PROPERTY); p;
         p = icalcomponent_get_next_property(c, ICAL_ANY_PROPERTY))
        if (!isMadeUid(p))
            props << unfold(asIcal(p));
    for (icalcomponent *k : children(c, ICAL_ANY_COMPONENT))
        kids << meaning(k);
    std::sort(props.begin(), props.end());
    std::sort(kids.begin(), kids.end());
    return componentName(c) + '{' + props.join('\n') + '\n' + kids.join('\n') + '}';
}

QByteArray meaning(const std::vector<icalcomponent *> &top)
{
    QList<QByteArray> all;
    for (icalcomponent *c : top)
        all << meaning(c);
    std::sort(all.begin(), all.end());
    return all.join('\n');
}

} // namespace

std::optional<QByteArray> splice(const QByteArray &original, const QString &where, icalcomponent *after,
                                 bool afterBare)
{
    bool latin1 = false;
    QByteArray text = utf8Text(original, &latin1);
    if (text.contains('\0'))
        return std::nullopt; // libical never saw what follows
    const Parsed before = parseIcs(original, where);
    if (!before.root)
        return std::nullopt;
    const Raw raw = cut(text);
    Edits edits;
    if (!diffKids(raw, raw.comps.front(), topOf(before.root.get(), before.bare), topOf(after, afterBare), edits))
        return std::nullopt;

    QByteArray out;
    const auto put = [&](const QByteArray &bytes) {
        if (bytes.isEmpty())
            return;
        if (!out.isEmpty() && !out.endsWith('\n'))
            out += raw.eol;
        out += bytes;
    };
    const int n = int(raw.lines.size());
    for (int i = 0; i <= n; ++i) {
        if (const auto b = edits.before.find(i); b != edits.before.end())
            put(b->second);
        if (i == n)
            break;
        const auto r = edits.replace.find(i);
        put(r != edits.replace.end() ? r->second : raw.bytesOf(i));
    }
    // A Latin-1 file stays Latin-1 while what is written fits.
    if (latin1) {
        const QString decoded = QString::fromUtf8(out);
        if (std::all_of(decoded.begin(), decoded.end(), [](QChar c) { return c.unicode() < 256; }))
            out = decoded.toLatin1();
    }

    const Parsed check = parseIcs(out, where);
    if (!check.root || check.bare != afterBare
        || meaning(topOf(check.root.get(), check.bare)) != meaning(topOf(after, afterBare)))
        return std::nullopt;
    return out;
}

} // namespace platform::detail::ical
