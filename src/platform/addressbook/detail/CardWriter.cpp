// Writing a person's or group's values into its card: only the lines of the values that
// changed are rewritten, in the card's own version, line ends and character set; every
// other byte of the card is copied as it was.
#include "platform/addressbook/detail/CardMapping.h"

#include "platform/addressbook/detail/VCardText.h"

#include <QMimeDatabase>
#include <QSet>
#include <QStringDecoder>

#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

namespace platform::detail::card {

namespace {

// Properties written as one vCard line share a unit: changing any of them rewrites it.
QString unitOf(const QString &key)
{
    if (key == kABLastNameProperty || key == kABFirstNameProperty || key == kABMiddleNameProperty
        || key == kABTitleProperty || key == kABSuffixProperty)
        return u"N"_s;
    if (key == kABOrganizationProperty || key == kABDepartmentProperty)
        return u"ORG"_s;
    return key;
}

QString formatDateTime(const QDateTime &dt, const QString &version)
{
    return dt.toUTC().toString(version == u"4.0" ? u"yyyyMMdd'T'HHmmss'Z'"_s
                                                  : u"yyyy-MM-dd'T'HH:mm:ss'Z'"_s);
}

// A day (midnight, local or UTC) is written as a date, anything else as a UTC date-time.
QString formatDate(const QDateTime &dt, const QString &version)
{
    const bool v4 = version == u"4.0";
    if (dt.time() == QTime(0, 0)) {
        const QDate d = dt.date();
        if (v4 && d.year() == kNoYear)
            return d.toString(u"--MMdd"_s);
        return d.toString(v4 ? u"yyyyMMdd"_s : u"yyyy-MM-dd"_s);
    }
    return formatDateTime(dt, version);
}

// The TYPE values that stand for \a label in \a key, or nullopt when the label has none
// (it is then written in an X-ABLabel line). An empty list: the label needs no TYPE.
std::optional<QStringList> typesForLabel(const QString &key, const QString &label,
                                         const QString &version)
{
    const bool v4 = isV4(version);
    auto t = [v4](const char *type) { return v4 ? QString::fromLatin1(type).toLower()
                                                : QString::fromLatin1(type); };
    if (label == kABOtherLabel || label.isEmpty())
        return QStringList();
    if (key == kABOtherDatesProperty || (key == kABRelatedNamesProperty && !v4))
        return std::nullopt;
    if (key == kABRelatedNamesProperty) {
        static const QList<std::pair<QString, QString>> related = {
            {kABSpouseLabel, u"spouse"_s}, {kABChildLabel, u"child"_s},
            {kABParentLabel, u"parent"_s}, {kABFriendLabel, u"friend"_s},
            {kABPartnerLabel, u"sweetheart"_s}, {kABAssistantLabel, u"agent"_s},
        };
        for (const auto &[l, type] : related)
            if (l == label)
                return QStringList{type};
        return std::nullopt;
    }
    if (key == kABPhoneProperty) {
        if (label == kABPhoneMobileLabel)
            return QStringList{t("CELL")};
        if (label == kABPhonePagerLabel)
            return QStringList{t("PAGER")};
        if (label == kABPhoneMainLabel)
            return QStringList{t("MAIN")};
        if (label == kABPhoneHomeFAXLabel)
            return QStringList{t("HOME"), t("FAX")};
        if (label == kABPhoneWorkFAXLabel)
            return QStringList{t("WORK"), t("FAX")};
    }
    if (label == kABHomeLabel)
        return QStringList{t("HOME")};
    if (label == kABWorkLabel)
        return QStringList{t("WORK")};
    return std::nullopt;
}

bool isPrefParameter(const VCardProperty::Parameter &p)
{
    return p.name == u"PREF" || (p.name.isEmpty() && p.values.size() == 1
                                 && p.values.first().compare(u"PREF"_s, Qt::CaseInsensitive) == 0);
}

// Marks \a p as preferred or not, in the form \a version uses.
void setPreferred(VCardProperty &p, bool preferred, const QString &version)
{
    QList<VCardProperty::Parameter> params;
    for (VCardProperty::Parameter param : p.parameters) {
        if (isPrefParameter(param))
            continue;
        if (param.name == u"TYPE") {
            param.values.removeIf([](const QString &v) {
                return v.compare(u"PREF"_s, Qt::CaseInsensitive) == 0;
            });
            if (param.values.isEmpty())
                continue;
        }
        params.append(param);
    }
    if (preferred) {
        if (isV4(version))
            params.append({u"PREF"_s, {u"1"_s}});
        else
            params.append({u"TYPE"_s, {u"PREF"_s}});
    }
    p.parameters = params;
}

VCardProperty line(const QString &name, const QString &group = {})
{
    VCardProperty p;
    p.name = name;
    p.group = group;
    return p;
}

// The line end a card's bytes use ("\r\n" when they have none).
QByteArray lineEndOf(const QByteArray &bytes)
{
    const qsizetype nl = bytes.indexOf('\n');
    if (nl > 0 && bytes[nl - 1] == '\r')
        return "\r\n";
    if (nl >= 0)
        return "\n";
    return bytes.contains('\r') ? "\r" : "\r\n";
}

// Where the END:VCARD line at or after \a from starts, or the end of \a bytes.
qsizetype endLineAt(const QByteArray &bytes, qsizetype from)
{
    for (qsizetype pos = from; pos < bytes.size();) {
        qsizetype eol = pos;
        while (eol < bytes.size() && bytes[eol] != '\r' && bytes[eol] != '\n')
            ++eol;
        if (bytes.sliced(pos, eol - pos).trimmed().compare("END:VCARD", Qt::CaseInsensitive) == 0)
            return pos;
        pos = eol + 1;
    }
    return bytes.size();
}

bool isUtf8(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes); // decodes only when converted
    return !utf8.hasError();
}

// \a utf8 in Windows-1252, or nullopt when it holds a character that has no byte there.
std::optional<QByteArray> toWindows1252(const QByteArray &utf8)
{
    static const QString high = vcard::decodeWindows1252(QByteArray::fromHex("808182838485868788898A8B8C8D8E8F"
                                                                             "909192939495969798999A9B9C9D9E9F"));
    const QString text = QString::fromUtf8(utf8);
    QByteArray out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c.unicode() < 0x80 || (c.unicode() >= 0xA0 && c.unicode() <= 0xFF))
            out.append(char(c.unicode()));
        else if (const qsizetype i = high.indexOf(c); i >= 0)
            out.append(char(0x80 + i));
        else
            return std::nullopt;
    }
    return out;
}

/** Rewrites the lines of the changed units of a card, keeping every other line as it is. */
class CardWriter
{
public:
    CardWriter(const VCard &base, const Mapping &baseMap, const QVariantMap &values, const QByteArray &baseBytes)
        : m_base(base), m_map(baseMap), m_values(values), m_bytes(baseBytes)
    {
        // Lines are copied from the card's bytes when each one knows where it lies in them;
        // otherwise (a new card, a UTF-16 file) the card is written whole, a 2.1 one as 3.0.
        m_lossless = !baseBytes.isEmpty();
        for (const VCardProperty &p : base.properties)
            m_lossless = m_lossless && p.sourceStart >= 0 && p.sourceStart <= p.sourceEnd
                         && p.sourceEnd <= baseBytes.size();
        m_version = isV4(base.version) ? u"4.0"_s
                    : base.version == u"2.1" && m_lossless ? u"2.1"_s
                                                           : u"3.0"_s;
        // A card in Windows-1252 (the reader's guess for bytes that are not UTF-8) gets its
        // new lines in it too, so the file stays in one character set; 2.1 lines say theirs.
        m_windows1252 = m_lossless && m_version != u"2.1" && !isUtf8(baseBytes);
        for (const VCardProperty &p : base.properties) {
            if (p.group.startsWith(u"item"_s, Qt::CaseInsensitive)) {
                bool ok = false;
                const int n = p.group.mid(4).toInt(&ok);
                if (ok)
                    m_nextItem = std::max(m_nextItem, n + 1);
            }
        }
    }

    QString version() const { return m_version; }

    /** An entry's lines: those kept from the base (by index) and new ones after them. */
    struct EntryOut
    {
        QList<std::pair<int, VCardProperty>> kept;
        QList<VCardProperty> fresh;
    };

    /** A line written: where it came from in the base (-1 for a new one) and what it holds. */
    struct Out
    {
        int origin = -1;
        VCardProperty p;
    };

    WrittenCard write(const QString &uid)
    {
        QSet<QString> changed;
        auto keys = m_values.keys();
        keys.append(m_map.values.keys());
        for (const QString &key : keys)
            if (!sameValue(m_values.value(key), m_map.values.value(key)))
                changed.insert(unitOf(key));
        // A new card gets its name lines; a card read without them gets them only when the
        // name changes, since an edit of something else leaves every other line alone.
        const bool newCard = m_base.properties.isEmpty();
        if (!m_map.group) {
            if (changed.contains(u"N"_s) || (newCard && !m_map.unitLines.contains(u"FN"_s)))
                changed.insert(u"FN"_s);
            if (newCard && !m_map.unitLines.contains(u"N"_s))
                changed.insert(u"N"_s);
            // The ordering and show-as flags choose the display form.
            if (changed.contains(kABPersonFlags) || changed.contains(u"ORG"_s))
                changed.insert(u"FN"_s);
            // Values read from FN alone get lines of their own once FN no longer says them.
            if (m_map.organizationFromFn && changed.contains(kABPersonFlags))
                changed.insert(u"ORG"_s);
            if (m_map.namesFromFn && changed.contains(u"FN"_s) && displayName(m_values) != displayName(m_map.values))
                changed.insert(u"N"_s);
        } else if (newCard && !m_map.unitLines.contains(kABGroupNameProperty)) {
            changed.insert(kABGroupNameProperty);
        }

        // What each owned line of the base is replaced by; owned lines not in it go.
        QHash<int, QList<Out>> at;
        QSet<int> owned;
        QStringList added;
        // In a fixed order, so that new "itemN" groups are numbered the same on every run.
        QStringList units(changed.begin(), changed.end());
        units.sort();
        for (const QString &unit : units) {
            const QList<int> lines = m_map.unitLines.value(unit);
            if (lines.isEmpty()) {
                added.append(unit);
                continue;
            }
            for (int l : lines)
                owned.insert(l);
            const int first = *std::min_element(lines.begin(), lines.end());
            if (hasEntries(unit)) {
                place(entries(unit), first, at);
            } else {
                for (const VCardProperty &p : generate(unit))
                    at[first].append({originIn(lines, p), p});
            }
        }
        QList<QList<Out>> byLine; // for each base line, what is written in its place
        for (int i = 0; i < m_base.properties.size(); ++i)
            byLine.append(owned.contains(i) ? at.value(i) : QList<Out>{{i, normalized(m_base.properties[i])}});
        // A fixed order keeps new cards readable and their bytes stable.
        static const QStringList order = {u"FN"_s, u"N"_s, kABGroupNameProperty};
        std::sort(added.begin(), added.end(), [](const QString &a, const QString &b) {
            const qsizetype ia = order.contains(a) ? order.indexOf(a) : order.size();
            const qsizetype ib = order.contains(b) ? order.indexOf(b) : order.size();
            return ia != ib ? ia < ib : a < b;
        });
        QList<VCardProperty> tail;
        for (const QString &unit : added) {
            if (!hasEntries(unit)) {
                tail.append(generate(unit));
                continue;
            }
            for (const EntryOut &e : entries(unit))
                tail.append(e.fresh);
        }

        WrittenCard out;
        out.version = m_version;
        out.card.version = m_version;
        const std::optional<VCardProperty> uidOut = m_base.uid().isEmpty() ? std::optional(uidLine(uid)) : std::nullopt;
        if (uidOut)
            out.card.properties.append(*uidOut);
        for (const QList<Out> &lines : std::as_const(byLine))
            for (const Out &o : lines)
                out.card.properties.append(o.p);
        out.card.properties.append(tail);
        out.bytes = m_lossless ? render(byLine, uidOut, tail) : writeVCard(out.card, m_version);
        return out;
    }

private:
    // The base line of \a lines that \a p was made from: the one of the same name and group.
    int originIn(const QList<int> &lines, const VCardProperty &p) const
    {
        for (int l : lines)
            if (m_base.properties[l].name == p.name && m_base.properties[l].group == p.group)
                return l;
        return -1;
    }

    // The base card's bytes with each line replaced by what is written in its place: a line
    // that reads as it did is copied, with its folds and line end, and so is every byte
    // between lines (BEGIN, VERSION, empty and skipped lines, END). New lines go before END.
    QByteArray render(const QList<QList<Out>> &byLine, const std::optional<VCardProperty> &uid,
                      const QList<VCardProperty> &tail) const
    {
        const QByteArray eol = lineEndOf(m_bytes);
        QByteArray out;
        out.reserve(m_bytes.size() + 256);
        const auto fresh = [&](const VCardProperty &p) {
            if (!out.isEmpty() && !out.endsWith('\n') && !out.endsWith('\r'))
                out += eol;
            const QByteArray line = vcard::writeProperty(p, m_version, eol);
            const std::optional<QByteArray> narrow = m_windows1252 ? toWindows1252(line) : std::nullopt;
            out += narrow ? *narrow : line;
        };
        const auto copy = [&](qsizetype from, qsizetype to) { out += QByteArrayView(m_bytes).sliced(from, to - from); };
        qsizetype pos = 0;
        for (qsizetype i = 0; i < byLine.size(); ++i) {
            const VCardProperty &b = m_base.properties[i];
            copy(pos, b.sourceStart);
            pos = b.sourceEnd;
            if (i == 0 && uid)
                fresh(*uid);
            for (const Out &o : byLine[i]) {
                const VCardProperty *from = o.origin >= 0 ? &m_base.properties[o.origin] : nullptr;
                if (from && *from == o.p)
                    copy(from->sourceStart, from->sourceEnd);
                else
                    fresh(o.p);
            }
        }
        const qsizetype end = endLineAt(m_bytes, pos);
        copy(pos, end);
        if (byLine.isEmpty() && uid)
            fresh(*uid);
        for (const VCardProperty &p : tail)
            fresh(p);
        copy(end, m_bytes.size());
        return out;
    }

    static VCardProperty uidLine(const QString &uid)
    {
        VCardProperty p = line(u"UID"_s);
        p.setText(uid);
        return p;
    }

    // A 2.1 line kept as it was, written as 3.0 when the card is written whole: bare
    // parameters become TYPE values.
    VCardProperty normalized(VCardProperty p) const
    {
        if (m_base.version != u"2.1" || m_version == u"2.1")
            return p;
        for (VCardProperty::Parameter &param : p.parameters) {
            if (param.name.isEmpty())
                param.name = u"TYPE"_s;
            else if (param.name == u"ENCODING" && !param.values.isEmpty()
                     && param.values.first().compare(u"BASE64"_s, Qt::CaseInsensitive) == 0)
                param.values = QStringList{u"b"_s};
        }
        return p;
    }

    const VCardProperty *baseLine(const QString &unit) const
    {
        const QList<int> lines = m_map.unitLines.value(unit);
        return lines.isEmpty() ? nullptr : &m_base.properties[lines.first()];
    }

    VCardProperty startFrom(const QString &unit, const QString &name) const
    {
        const VCardProperty *p = baseLine(unit);
        return p ? normalized(*p) : line(name);
    }

    QString text(const QString &key) const { return m_values.value(key).toString(); }

    QList<VCardProperty> generate(const QString &unit)
    {
        if (unit == u"N") {
            VCardProperty p = startFrom(unit, u"N"_s);
            QStringList c = p.rawValue.isEmpty() ? QStringList() : p.components();
            while (c.size() < 5)
                c.append(QString());
            c[0] = text(kABLastNameProperty);
            c[1] = text(kABFirstNameProperty);
            c[2] = text(kABMiddleNameProperty);
            c[3] = text(kABTitleProperty);
            c[4] = text(kABSuffixProperty);
            p.setComponents(c);
            return {p};
        }
        if (unit == u"FN") {
            VCardProperty p = startFrom(unit, u"FN"_s);
            p.setText(displayName(m_values));
            return {p};
        }
        if (unit == u"ORG") {
            if (text(kABOrganizationProperty).isEmpty() && text(kABDepartmentProperty).isEmpty())
                return {};
            VCardProperty p = startFrom(unit, u"ORG"_s);
            QStringList c = p.rawValue.isEmpty() ? QStringList() : p.components();
            while (c.size() < 2)
                c.append(QString());
            c[0] = text(kABOrganizationProperty);
            c[1] = text(kABDepartmentProperty);
            while (c.size() > 1 && c.last().isEmpty())
                c.removeLast();
            p.setComponents(c);
            return {p};
        }
        if (unit == kABGroupNameProperty) {
            VCardProperty p = startFrom(unit, u"FN"_s);
            p.setText(text(kABGroupNameProperty));
            return {p};
        }
        if (textLines().contains(unit)) {
            if (text(unit).isEmpty())
                return {};
            VCardProperty p = startFrom(unit, textLines().value(unit));
            p.setText(text(unit));
            return {p};
        }
        if (unit == kABBirthdayProperty || unit == kABCreationDateProperty
            || unit == kABModificationDateProperty) {
            const QDateTime dt = m_values.value(unit).toDateTime();
            if (!dt.isValid())
                return {};
            const QString name = unit == kABBirthdayProperty         ? u"BDAY"_s
                                 : unit == kABModificationDateProperty ? u"REV"_s
                                                                       : u"X-CREATED"_s;
            VCardProperty p = startFrom(unit, name);
            p.rawValue = unit == kABBirthdayProperty ? formatDate(dt, m_version)
                                                     : formatDateTime(dt, m_version);
            return {p};
        }
        if (unit == kABPersonFlags) {
            const int flags = m_values.value(kABPersonFlags).toInt();
            const bool company = (flags & kABShowAsMask) == kABShowAsCompany;
            QList<VCardProperty> out;
            // An organisation's or place's KIND line says it is shown as a company: it stays
            // while it is, and says "individual" once it is not.
            const VCardProperty *kind = nullptr;
            for (int l : m_map.unitLines.value(unit))
                if (m_base.properties[l].name == u"KIND")
                    kind = &m_base.properties[l];
            if (kind) {
                VCardProperty p = normalized(*kind);
                if (!company)
                    p.setText(u"individual"_s);
                out.append(p);
            } else if (company) {
                VCardProperty p = line(u"X-ABSHOWAS"_s);
                p.rawValue = u"COMPANY"_s;
                out.append(p);
            }
            const int ordering = flags & kABNameOrderingMask;
            if (ordering == kABLastNameFirst || ordering == kABFirstNameFirst) {
                VCardProperty p = line(u"X-ZEM-NAME-ORDER"_s);
                p.rawValue = ordering == kABLastNameFirst ? u"LAST-FIRST"_s : u"FIRST-LAST"_s;
                out.append(p);
            }
            return out;
        }
        if (unit == kImageKey) {
            const QByteArray data = m_values.value(kImageKey).toByteArray();
            if (data.isEmpty())
                return {};
            VCardProperty p = line(u"PHOTO"_s);
            p.setBinary(data, QMimeDatabase().mimeTypeForData(data).name(), m_version);
            return {p};
        }
        return {};
    }

    static bool hasEntries(const QString &unit)
    {
        return unit == kMembersKey || keyTable().value(unit).kind == Kind::Multi;
    }

    QList<EntryOut> entries(const QString &unit)
    {
        return unit == kMembersKey ? members() : multi(unit);
    }

    // Kept entries stay where they were and new ones follow the entry before them, so a
    // change moves as few lines as it can. Entries the caller reordered are written
    // together, in their new order, where the first of them was.
    static void place(const QList<EntryOut> &entries, int first, QHash<int, QList<Out>> &at)
    {
        int lastMain = -1;
        bool ordered = true;
        for (const EntryOut &e : entries) {
            if (e.kept.isEmpty())
                continue;
            ordered = ordered && e.kept.first().first > lastMain;
            lastMain = e.kept.first().first;
        }
        const auto fresh = [](const QList<VCardProperty> &lines) {
            QList<Out> out;
            for (const VCardProperty &p : lines)
                out.append({-1, p});
            return out;
        };
        if (!ordered) {
            for (const EntryOut &e : entries) {
                for (const auto &[index, p] : e.kept)
                    at[first].append({index, p});
                at[first].append(fresh(e.fresh));
            }
            return;
        }
        QList<Out> leading;
        int anchor = -1;
        for (const EntryOut &e : entries) {
            if (!e.kept.isEmpty()) {
                for (const auto &[index, p] : e.kept) {
                    at[index].append({index, p});
                    anchor = std::max(anchor, index);
                }
            }
            (anchor < 0 ? leading : at[anchor]).append(fresh(e.fresh));
        }
        at[first] = leading + at.value(first);
    }

    QList<EntryOut> members() const
    {
        const QStringList now = m_values.value(kMembersKey).toStringList();
        const auto &lines = m_map.entryLines.value(kMembersKey);
        const bool v3 = !isV4(m_version);
        QList<EntryOut> out;
        for (const QString &uid : now) {
            EntryOut e;
            if (lines.contains(uid)) {
                const int index = lines[uid].first();
                e.kept.append({index, normalized(m_base.properties[index])});
            } else {
                VCardProperty p = line(v3 ? u"X-ADDRESSBOOKSERVER-MEMBER"_s : u"MEMBER"_s);
                p.rawValue = kUrnUuid + uid;
                e.fresh.append(p);
            }
            out.append(e);
        }
        return out;
    }

    QString nextGroup() { return u"item"_s + QString::number(m_nextItem++); }

    // The main line's name for a new entry of \a key.
    QString lineName(const QString &key, const QString &label) const
    {
        const bool v4 = isV4(m_version);
        if (key == kABPhoneProperty)
            return u"TEL"_s;
        if (key == kABEmailProperty)
            return u"EMAIL"_s;
        if (key == kABURLsProperty)
            return u"URL"_s;
        if (key == kABAddressProperty)
            return u"ADR"_s;
        if (key == kABRelatedNamesProperty)
            return v4 ? u"RELATED"_s : u"X-ABRELATEDNAMES"_s;
        if (key == kABOtherDatesProperty)
            return v4 && label == kABAnniversaryLabel ? u"ANNIVERSARY"_s : u"X-ABDATE"_s;
        if (const ImService *s = imServiceForKey(key))
            return v4 ? u"IMPP"_s : s->xName;
        return {};
    }

    // Fills the main line of an entry with its value.
    void setEntryValue(VCardProperty &p, const QString &key, const QVariant &value) const
    {
        if (key == kABAddressProperty) {
            const QVariantMap parts = value.toMap();
            QStringList c = p.rawValue.isEmpty() ? QStringList() : p.components();
            while (c.size() < 7)
                c.append(QString());
            c[1].clear();
            c[2] = parts.value(kABAddressStreetKey).toString();
            c[3] = parts.value(kABAddressCityKey).toString();
            c[4] = parts.value(kABAddressStateKey).toString();
            c[5] = parts.value(kABAddressZIPKey).toString();
            c[6] = parts.value(kABAddressCountryKey).toString();
            p.setComponents(c);
        } else if (key == kABOtherDatesProperty) {
            p.rawValue = formatDate(value.toDateTime(), m_version);
        } else if (key == kABURLsProperty) {
            p.rawValue = value.toString();
        } else if (const ImService *s = imServiceForKey(key); s && p.name == u"IMPP") {
            p.rawValue = s->scheme + value.toString();
        } else if (key == kABPhoneProperty && p.rawValue.startsWith(u"tel:"_s, Qt::CaseInsensitive)) {
            p.rawValue = u"tel:"_s + value.toString();
        } else {
            p.setText(value.toString());
        }
    }

    QList<EntryOut> multi(const QString &key)
    {
        const ABMultiValue now = multiOf(m_values.value(key));
        const ABMultiValue before = multiOf(m_map.values.value(key));
        const auto &lines = m_map.entryLines.value(key);
        QList<EntryOut> out;
        for (int i = 0; i < now.count(); ++i) {
            const ABMultiValue::Entry &e = now.entries()[i];
            const bool primary = !e.identifier.isEmpty() && now.primaryIdentifier() == e.identifier;
            const int old = before.indexForIdentifier(e.identifier);
            const QList<int> oldLines = old >= 0 ? lines.value(e.identifier) : QList<int>();
            EntryOut entry;
            if (oldLines.isEmpty() || before.labelAt(old) != e.label) {
                entry.fresh = newEntry(key, e, primary, oldLines.isEmpty() ? nullptr
                                                        : &m_base.properties[oldLines.first()]);
                out.append(entry);
                continue;
            }
            // The entry came from the card with its label: keep its lines, and rewrite the
            // value and preference only when they changed.
            const bool wasPrimary = before.primaryIdentifier() == e.identifier;
            const QString code = key == kABAddressProperty
                                     ? e.value.toMap().value(kABAddressCountryCodeKey).toString()
                                     : QString();
            bool hasCountryLine = false;
            for (int l : oldLines) {
                VCardProperty p = normalized(m_base.properties[l]);
                if (l == oldLines.first()) {
                    if (before.valueAt(old) != e.value)
                        setEntryValue(p, key, e.value);
                    if (wasPrimary != primary)
                        setPreferred(p, primary, m_version);
                } else if (p.name == u"X-ABADR" && key == kABAddressProperty) {
                    hasCountryLine = true;
                    if (code.isEmpty())
                        continue;
                    if (p.text() != code)
                        p.setText(code);
                }
                entry.kept.append({l, p});
            }
            if (!code.isEmpty() && !hasCountryLine) {
                QString group = entry.kept.first().second.group;
                if (group.isEmpty()) {
                    group = nextGroup();
                    for (auto &kept : entry.kept)
                        kept.second.group = group;
                }
                VCardProperty c = line(u"X-ABADR"_s, group);
                c.setText(code);
                entry.fresh.append(c);
            }
            out.append(entry);
        }
        return out;
    }

    QList<VCardProperty> newEntry(const QString &key, const ABMultiValue::Entry &e, bool primary,
                                  const VCardProperty *old)
    {
        const auto types = typesForLabel(key, e.label, m_version);
        const QString code = key == kABAddressProperty
                                 ? e.value.toMap().value(kABAddressCountryCodeKey).toString()
                                 : QString();
        const QString group = !types || !code.isEmpty() ? nextGroup() : QString();
        VCardProperty p = line(lineName(key, e.label), group);
        if (old && (key == kABAddressProperty || old->name == u"IMPP")) {
            // Keep what the old line held beyond our parts (a post office box, the scheme).
            p.name = old->name;
            p.rawValue = old->rawValue;
        }
        if (types && !types->isEmpty())
            p.parameters.append({u"TYPE"_s, *types});
        if (key == kABRelatedNamesProperty && p.name == u"RELATED")
            p.parameters.append({u"VALUE"_s, {u"text"_s}});
        setEntryValue(p, key, e.value);
        if (primary)
            setPreferred(p, true, m_version);
        QList<VCardProperty> out{p};
        if (!types) {
            VCardProperty l = line(u"X-ABLABEL"_s, group);
            l.setText(e.label);
            out.append(l);
        }
        if (!code.isEmpty()) {
            VCardProperty c = line(u"X-ABADR"_s, group);
            c.setText(code);
            out.append(c);
        }
        return out;
    }

    const VCard &m_base;
    const Mapping &m_map;
    const QVariantMap &m_values;
    const QByteArray &m_bytes;
    bool m_lossless = false;
    bool m_windows1252 = false;
    QString m_version;
    int m_nextItem = 1;
};

} // namespace

WrittenCard writeCard(const VCard &base, const Mapping &baseMap, const QVariantMap &values, const QString &uid,
                      const QByteArray &baseBytes)
{
    return CardWriter(base, baseMap, values, baseBytes).write(uid);
}

} // namespace platform::detail::card
