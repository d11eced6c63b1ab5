// Reading a card into a person's or group's values (vCard 2.1 to 4.0 and the labels,
// groups and extensions address book programs write); writing is in CardWriter.cpp.
#include "platform/addressbook/detail/CardMapping.h"

#include <QTimeZone>

#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

namespace platform::detail::card {

const QHash<QString, KeyInfo> &keyTable()
{
    static const QHash<QString, KeyInfo> table = {
        {kABFirstNameProperty, {Kind::Text, true, false}},
        {kABMiddleNameProperty, {Kind::Text, true, false}},
        {kABLastNameProperty, {Kind::Text, true, false}},
        {kABFirstNamePhoneticProperty, {Kind::Text, true, false}},
        {kABMiddleNamePhoneticProperty, {Kind::Text, true, false}},
        {kABLastNamePhoneticProperty, {Kind::Text, true, false}},
        {kABNicknameProperty, {Kind::Text, true, false}},
        {kABMaidenNameProperty, {Kind::Text, true, false}},
        {kABTitleProperty, {Kind::Text, true, false}},
        {kABSuffixProperty, {Kind::Text, true, false}},
        {kABDepartmentProperty, {Kind::Text, true, false}},
        {kABJobTitleProperty, {Kind::Text, true, false}},
        {kABOrganizationProperty, {Kind::Text, true, false}},
        {kABNoteProperty, {Kind::Text, true, false}},
        {kABBirthdayProperty, {Kind::Date, true, false}},
        {kABCreationDateProperty, {Kind::Date, true, true}},
        {kABModificationDateProperty, {Kind::Date, true, true}},
        {kABPersonFlags, {Kind::Flags, true, false}},
        {kABGroupNameProperty, {Kind::Text, false, true}},
        {kABOtherDatesProperty, {Kind::Multi, true, false}},
        {kABEmailProperty, {Kind::Multi, true, false}},
        {kABPhoneProperty, {Kind::Multi, true, false}},
        {kABURLsProperty, {Kind::Multi, true, false}},
        {kABRelatedNamesProperty, {Kind::Multi, true, false}},
        {kABAIMInstantProperty, {Kind::Multi, true, false}},
        {kABICQInstantProperty, {Kind::Multi, true, false}},
        {kABJabberInstantProperty, {Kind::Multi, true, false}},
        {kABMSNInstantProperty, {Kind::Multi, true, false}},
        {kABYahooInstantProperty, {Kind::Multi, true, false}},
        {kABAddressProperty, {Kind::Multi, true, false}},
        {kImageKey, {Kind::Image, true, false}},
        {kMembersKey, {Kind::Members, false, true}},
    };
    return table;
}

// Simple text properties and the vCard property each one is stored in.
const QHash<QString, QString> &textLines()
{
    static const QHash<QString, QString> table = {
        {kABNicknameProperty, u"NICKNAME"_s},
        {kABNoteProperty, u"NOTE"_s},
        {kABJobTitleProperty, u"TITLE"_s},
        {kABMaidenNameProperty, u"X-MAIDENNAME"_s},
        {kABFirstNamePhoneticProperty, u"X-PHONETIC-FIRST-NAME"_s},
        {kABMiddleNamePhoneticProperty, u"X-PHONETIC-MIDDLE-NAME"_s},
        {kABLastNamePhoneticProperty, u"X-PHONETIC-LAST-NAME"_s},
    };
    return table;
}

const QList<ImService> &imServices()
{
    static const QList<ImService> list = {
        {kABAIMInstantProperty, u"X-AIM"_s, u"aim:"_s},
        {kABICQInstantProperty, u"X-ICQ"_s, u"icq:"_s},
        {kABJabberInstantProperty, u"X-JABBER"_s, u"xmpp:"_s},
        {kABMSNInstantProperty, u"X-MSN"_s, u"msnim:"_s},
        {kABYahooInstantProperty, u"X-YAHOO"_s, u"ymsgr:"_s},
    };
    return list;
}

const ImService *imServiceForKey(const QString &key)
{
    for (const ImService &s : imServices())
        if (s.key == key)
            return &s;
    return nullptr;
}

// ---- Value comparison ---------------------------------------------------------------------

// Multi-values are equal when their entries read the same, whatever their identifiers.
namespace {

// The primary entry's index; without a primary entry, the first entry is the primary one.
int primaryIndex(const ABMultiValue &mv)
{
    const int index = mv.indexForIdentifier(mv.primaryIdentifier());
    return index >= 0 || mv.isEmpty() ? index : 0;
}

} // namespace

bool sameMulti(const ABMultiValue &a, const ABMultiValue &b)
{
    if (a.count() != b.count())
        return false;
    for (int i = 0; i < a.count(); ++i)
        if (a.labelAt(i) != b.labelAt(i) || a.valueAt(i) != b.valueAt(i))
            return false;
    return primaryIndex(a) == primaryIndex(b);
}

bool sameValue(const QVariant &a, const QVariant &b)
{
    if (!a.isValid() || !b.isValid())
        return a.isValid() == b.isValid();
    if (a.metaType() == QMetaType::fromType<ABMultiValue>()
        && b.metaType() == QMetaType::fromType<ABMultiValue>())
        return sameMulti(a.value<ABMultiValue>(), b.value<ABMultiValue>());
    return a == b;
}

ABMultiValue multiOf(const QVariant &v)
{
    return v.metaType() == QMetaType::fromType<ABMultiValue>() ? v.value<ABMultiValue>()
                                                               : ABMultiValue();
}

namespace {

// ---- Dates -----------------------------------------------------------------------------------

std::optional<QDate> parseDatePart(QString s)
{
    if (s.startsWith(u"--")) {
        s.remove(u'-');
        if (s.size() != 4)
            return std::nullopt;
        const QDate d(kNoYear, s.left(2).toInt(), s.mid(2).toInt());
        return d.isValid() ? std::optional(d) : std::nullopt;
    }
    s.remove(u'-');
    if (s.size() != 8)
        return std::nullopt;
    bool ok1 = false, ok2 = false, ok3 = false;
    const QDate d(s.left(4).toInt(&ok1), s.mid(4, 2).toInt(&ok2), s.mid(6, 2).toInt(&ok3));
    return ok1 && ok2 && ok3 && d.isValid() ? std::optional(d) : std::nullopt;
}

// vCard dates and date-times: "1980-05-17", "19800517", "--0517", "2020-01-02T10:11:12Z",
// "20200102T101112+0100", with or without separators and fractions.
QDateTime parseDateTime(const QString &text)
{
    const QString s = text.trimmed();
    const qsizetype t = s.indexOf(u'T', 0, Qt::CaseInsensitive);
    const auto date = parseDatePart(t < 0 ? s : s.left(t));
    if (!date)
        return {};
    if (t < 0)
        return QDateTime(*date, QTime(0, 0));
    QString time = s.mid(t + 1);
    std::optional<int> offset;
    if (time.endsWith(u'Z', Qt::CaseInsensitive)) {
        offset = 0;
        time.chop(1);
    } else {
        const qsizetype sign = std::max(time.lastIndexOf(u'+'), time.lastIndexOf(u'-'));
        if (sign > 0) {
            QString zone = time.mid(sign + 1).remove(u':');
            time.truncate(sign);
            if (zone.size() != 2 && zone.size() != 4)
                return {};
            const int minutes = zone.left(2).toInt() * 60 + zone.mid(2).toInt();
            offset = (s.at(t + 1 + sign) == u'-' ? -minutes : minutes) * 60;
        }
    }
    const qsizetype dot = time.indexOf(u'.');
    if (dot >= 0)
        time.truncate(dot);
    time.remove(u':');
    if (time.size() != 2 && time.size() != 4 && time.size() != 6)
        return {};
    const QTime clock(time.left(2).toInt(), time.mid(2, 2).toInt(), time.mid(4, 2).toInt());
    if (!clock.isValid())
        return {};
    if (!offset)
        return QDateTime(*date, clock);
    // A plain offset, not a QTimeZone built (and allocated) for each value read.
    return QDateTime(*date, clock, Qt::OffsetFromUTC, *offset).toLocalTime();
}

// ---- Labels --------------------------------------------------------------------------------

// The label an entry's TYPE values give, for the multi-value \a key.
QString labelFromTypes(const QString &key, const VCardProperty &p)
{
    if (key == kABPhoneProperty) {
        if (p.hasType(u"FAX"_s)) {
            if (p.hasType(u"HOME"_s))
                return kABPhoneHomeFAXLabel;
            if (p.hasType(u"WORK"_s))
                return kABPhoneWorkFAXLabel;
            return u"_$!<OtherFAX>!$_"_s;
        }
        if (p.hasType(u"CELL"_s) || p.hasType(u"MOBILE"_s) || p.hasType(u"IPHONE"_s))
            return kABPhoneMobileLabel;
        if (p.hasType(u"PAGER"_s))
            return kABPhonePagerLabel;
        if (p.hasType(u"MAIN"_s))
            return kABPhoneMainLabel;
    }
    if (key == kABRelatedNamesProperty) {
        static const QList<std::pair<QString, QString>> related = {
            {u"spouse"_s, kABSpouseLabel},   {u"child"_s, kABChildLabel},
            {u"parent"_s, kABParentLabel},   {u"friend"_s, kABFriendLabel},
            {u"sweetheart"_s, kABPartnerLabel}, {u"agent"_s, kABAssistantLabel},
        };
        for (const auto &[type, label] : related)
            if (p.hasType(type))
                return label;
    }
    if (key == kABURLsProperty && p.hasType(u"HOMEPAGE"_s))
        return kABHomePageLabel;
    if (p.hasType(u"HOME"_s))
        return kABHomeLabel;
    if (p.hasType(u"WORK"_s))
        return kABWorkLabel;
    return kABOtherLabel;
}

QString uriText(const VCardProperty &p)
{
    // Some writers escape the colon of a URI ("http\://").
    QString s = p.rawValue;
    s.replace(u"\\:"_s, u":"_s).replace(u"\\,"_s, u","_s).replace(u"\\;"_s, u";"_s);
    return s.trimmed();
}

// ---- Reading a card into values --------------------------------------------------------------

bool isGroupCard(const VCard &card)
{
    for (const char *name : {"KIND", "X-ADDRESSBOOKSERVER-KIND"})
        if (const VCardProperty *p = card.first(QString::fromLatin1(name)))
            if (p->text().trimmed().compare(u"group"_s, Qt::CaseInsensitive) == 0)
                return true;
    return false;
}

// A card without a name (no N, or an empty one) is shown by its FN, as its writer meant it:
// an organisation's or place's FN is its company name, a person's FN gives the first name
// and the last (its last word). Saving such a card writes no N unless a name part is set.
void nameFromFormattedName(Mapping &m, const QString &fn, bool company)
{
    QVariantMap &values = m.values;
    const QString name = fn.simplified();
    if (name.isEmpty())
        return;
    if (company) {
        m.organizationFromFn = !values.contains(kABOrganizationProperty);
        if (m.organizationFromFn)
            values.insert(kABOrganizationProperty, name);
        return;
    }
    // A company's card written without KIND: its FN is its ORG, which it already shows.
    if (values.value(kABOrganizationProperty).toString() == name)
        return;
    for (const QString &part : {kABFirstNameProperty, kABLastNameProperty, kABMiddleNameProperty, kABTitleProperty,
                                kABSuffixProperty})
        if (values.contains(part))
            return;
    const qsizetype space = name.lastIndexOf(u' ');
    if (space > 0)
        values.insert(kABFirstNameProperty, name.left(space));
    values.insert(kABLastNameProperty, name.mid(space + 1));
    m.namesFromFn = true;
}

} // namespace

Mapping mapCard(const VCard &card, QStringList *problems)
{
    Mapping m;
    m.group = isGroupCard(card);
    const QList<VCardProperty> &props = card.properties;

    QHash<QString, int> labelLine, countryLine; // lower-case group -> line
    for (int i = 0; i < props.size(); ++i) {
        const QString g = props[i].group.toLower();
        if (g.isEmpty())
            continue;
        if (props[i].name == u"X-ABLABEL" && !labelLine.contains(g))
            labelLine.insert(g, i);
        else if (props[i].name == u"X-ABADR" && !countryLine.contains(g))
            countryLine.insert(g, i);
    }

    QHash<QString, ABMultiValue> multis;
    QHash<QString, int> primaryPref; // key -> PREF rank of the primary so far
    auto addEntry = [&](const QString &key, const QVariant &value, int line, const QString &typeLabel,
                        bool withCountry = false) {
        const VCardProperty &p = props[line];
        const QString g = p.group.toLower();
        QList<int> lines{line};
        QString label = typeLabel;
        if (!g.isEmpty() && labelLine.contains(g)) {
            label = props[labelLine[g]].text();
            lines.append(labelLine[g]);
        }
        if (withCountry && !g.isEmpty() && countryLine.contains(g))
            lines.append(countryLine[g]);
        ABMultiValue &mv = multis[key];
        const QString id = mv.addValue(value, label);
        if (id.isEmpty())
            return;
        m.entryLines[key].insert(id, lines);
        m.unitLines[key].append(lines);
        if (p.isPreferred()) {
            bool ok = false;
            int rank = p.parameterValues(u"PREF"_s).value(0).toInt(&ok);
            if (!ok)
                rank = 100;
            if (!primaryPref.contains(key) || rank < primaryPref[key]) {
                primaryPref[key] = rank;
                mv.setPrimaryIdentifier(id);
            }
        }
    };
    int flags = 0;
    int fnLine = -1;
    bool namedAsCompany = false; // an organisation's or a place's card
    for (int i = 0; i < props.size(); ++i) {
        const VCardProperty &p = props[i];
        const QString &name = p.name;
        if (m.group) {
            if (name == u"FN" && !m.unitLines.contains(kABGroupNameProperty)) {
                if (!p.text().isEmpty())
                    m.values.insert(kABGroupNameProperty, p.text());
                m.unitLines[kABGroupNameProperty].append(i);
            } else if (name == u"MEMBER" || name == u"X-ADDRESSBOOKSERVER-MEMBER") {
                const QString v = p.rawValue.trimmed();
                if (v.startsWith(kUrnUuid, Qt::CaseInsensitive)) {
                    const QString uid = v.mid(kUrnUuid.size());
                    QStringList members = m.values.value(kMembersKey).toStringList();
                    if (!members.contains(uid)) {
                        members.append(uid);
                        m.values.insert(kMembersKey, members);
                        m.entryLines[kMembersKey].insert(uid, {i});
                    }
                    m.unitLines[kMembersKey].append(i);
                }
            } else if (name == u"REV" || name == u"X-CREATED" || name == u"CREATED") {
                const QString key = name == u"REV" ? kABModificationDateProperty : kABCreationDateProperty;
                if (!m.unitLines.contains(key)) {
                    const QDateTime dt = parseDateTime(p.text());
                    if (dt.isValid())
                        m.values.insert(key, dt);
                    m.unitLines[key].append(i);
                }
            }
            continue;
        }
        if (name == u"N") {
            if (m.unitLines.contains(u"N"_s))
                continue;
            const QStringList c = p.components();
            const QString keys[] = {kABLastNameProperty, kABFirstNameProperty, kABMiddleNameProperty,
                                    kABTitleProperty, kABSuffixProperty};
            for (int k = 0; k < 5; ++k)
                if (!c.value(k).isEmpty())
                    m.values.insert(keys[k], c.value(k));
            m.unitLines[u"N"_s].append(i);
        } else if (name == u"FN") {
            // Like N, the first one is the name; the others (ALTID alternatives) stay as written.
            if (!m.unitLines.contains(u"FN"_s)) {
                m.unitLines[u"FN"_s].append(i);
                fnLine = i;
            }
        } else if (name == u"KIND") {
            // The records are people and groups: an organisation or a place is a person shown
            // as a company. The line stands for that flag, so it changes only with the flag.
            const QString kind = p.text().trimmed().toLower();
            if ((kind == u"org" || kind == u"location") && !namedAsCompany) {
                namedAsCompany = true;
                flags |= kABShowAsCompany;
                m.unitLines[kABPersonFlags].append(i);
            }
        } else if (name == u"ORG") {
            if (m.unitLines.contains(u"ORG"_s))
                continue;
            const QStringList c = p.components();
            if (!c.value(0).isEmpty())
                m.values.insert(kABOrganizationProperty, c.value(0));
            if (!c.value(1).isEmpty())
                m.values.insert(kABDepartmentProperty, c.value(1));
            m.unitLines[u"ORG"_s].append(i);
        } else if (name == u"BDAY" || name == u"REV" || name == u"X-CREATED" || name == u"CREATED") {
            const QString key = name == u"BDAY"  ? kABBirthdayProperty
                                : name == u"REV" ? kABModificationDateProperty
                                                 : kABCreationDateProperty;
            if (m.unitLines.contains(key))
                continue;
            const QDateTime dt = parseDateTime(p.text());
            if (dt.isValid())
                m.values.insert(key, dt);
            else if (problems)
                problems->append(u"%1: unreadable date \"%2\""_s.arg(name, p.text()));
            m.unitLines[key].append(i);
        } else if (name == u"X-ABSHOWAS") {
            if (p.text().trimmed().compare(u"COMPANY"_s, Qt::CaseInsensitive) == 0)
                flags |= kABShowAsCompany;
            m.unitLines[kABPersonFlags].append(i);
        } else if (name == u"X-ZEM-NAME-ORDER") {
            const QString v = p.text().trimmed().toUpper();
            if (v == u"LAST-FIRST")
                flags |= kABLastNameFirst;
            else if (v == u"FIRST-LAST")
                flags |= kABFirstNameFirst;
            m.unitLines[kABPersonFlags].append(i);
        } else if (name == u"PHOTO") {
            if (m.unitLines.contains(kImageKey))
                continue;
            const QByteArray data = p.binary();
            if (!data.isEmpty())
                m.values.insert(kImageKey, data);
            else if (problems && !p.rawValue.trimmed().isEmpty()
                     && !p.rawValue.startsWith(u"http"_s, Qt::CaseInsensitive))
                problems->append(u"PHOTO: the picture could not be decoded"_s);
            m.unitLines[kImageKey].append(i);
        } else if (name == u"TEL" || name == u"EMAIL") {
            const QString key = name == u"TEL" ? kABPhoneProperty : kABEmailProperty;
            QString v = p.text().trimmed();
            // 4.0 writes numbers as "tel:" URIs; people read and dial the number alone.
            if (name == u"TEL" && v.startsWith(u"tel:"_s, Qt::CaseInsensitive))
                v = v.mid(4);
            if (!v.isEmpty())
                addEntry(key, v, i, labelFromTypes(key, p));
        } else if (name == u"URL") {
            const QString v = uriText(p);
            if (!v.isEmpty())
                addEntry(kABURLsProperty, v, i, labelFromTypes(kABURLsProperty, p));
        } else if (name == u"ADR") {
            const QStringList c = p.components();
            QVariantMap parts;
            QString street = c.value(2);
            if (!c.value(1).isEmpty())
                street = street.isEmpty() ? c.value(1) : street + u'\n' + c.value(1);
            const std::pair<QString, QString> fields[] = {
                {kABAddressStreetKey, street},     {kABAddressCityKey, c.value(3)},
                {kABAddressStateKey, c.value(4)},  {kABAddressZIPKey, c.value(5)},
                {kABAddressCountryKey, c.value(6)}};
            for (const auto &[part, value] : fields)
                if (!value.isEmpty())
                    parts.insert(part, value);
            const QString g = p.group.toLower();
            if (!g.isEmpty() && countryLine.contains(g)) {
                const QString code = props[countryLine[g]].text().trimmed();
                if (!code.isEmpty())
                    parts.insert(kABAddressCountryCodeKey, code);
            }
            if (!parts.isEmpty())
                addEntry(kABAddressProperty, parts, i, labelFromTypes(kABAddressProperty, p), true);
        } else if (name == u"IMPP") {
            const QString v = uriText(p);
            for (const ImService &s : imServices()) {
                if (v.startsWith(s.scheme, Qt::CaseInsensitive)) {
                    const QString handle = v.mid(s.scheme.size());
                    if (!handle.isEmpty())
                        addEntry(s.key, handle, i, labelFromTypes(s.key, p));
                    break;
                }
            }
        } else if (name == u"X-ABRELATEDNAMES" || name == u"RELATED") {
            const QString v = p.text().trimmed();
            if (!v.isEmpty())
                addEntry(kABRelatedNamesProperty, v, i, labelFromTypes(kABRelatedNamesProperty, p));
        } else if (name == u"X-ABDATE" || name == u"ANNIVERSARY" || name == u"X-ANNIVERSARY") {
            const QDateTime dt = parseDateTime(p.text());
            if (dt.isValid())
                addEntry(kABOtherDatesProperty, dt, i,
                         name == u"X-ABDATE" ? kABOtherLabel : kABAnniversaryLabel);
        } else {
            for (auto t = textLines().cbegin(); t != textLines().cend(); ++t) {
                if (t.value() == name) {
                    if (!m.unitLines.contains(t.key())) {
                        const QString v = p.text();
                        if (!v.isEmpty())
                            m.values.insert(t.key(), v);
                        m.unitLines[t.key()].append(i);
                    }
                    break;
                }
            }
            for (const ImService &s : imServices()) {
                if (s.xName == name) {
                    const QString v = p.text().trimmed();
                    if (!v.isEmpty())
                        addEntry(s.key, v, i, labelFromTypes(s.key, p));
                }
            }
        }
    }
    if (flags)
        m.values.insert(kABPersonFlags, flags);
    if (!m.group && fnLine >= 0)
        nameFromFormattedName(m, props[fnLine].text(), namedAsCompany);
    for (auto it = multis.begin(); it != multis.end(); ++it) {
        // With no preferred entry, the first entry is the primary one.
        if (it->primaryIdentifier().isEmpty())
            it->setPrimaryIdentifier(it->identifierAt(0));
        m.values.insert(it.key(), QVariant::fromValue(it.value()));
    }
    return m;
}

// ---- The name a card shows ------------------------------------------------------------------

QString displayName(const QVariantMap &v)
{
    const QString org = v.value(kABOrganizationProperty).toString();
    if ((v.value(kABPersonFlags).toInt() & kABShowAsMask) == kABShowAsCompany && !org.isEmpty())
        return org;
    QStringList parts;
    const bool lastFirst = (v.value(kABPersonFlags).toInt() & kABNameOrderingMask) == kABLastNameFirst;
    const QList<QString> order =
        lastFirst ? QList<QString>{kABTitleProperty, kABLastNameProperty, kABFirstNameProperty,
                                   kABMiddleNameProperty, kABSuffixProperty}
                  : QList<QString>{kABTitleProperty, kABFirstNameProperty, kABMiddleNameProperty,
                                   kABLastNameProperty, kABSuffixProperty};
    for (const QString &key : order)
        if (const QString s = v.value(key).toString(); !s.isEmpty())
            parts.append(s);
    if (!parts.isEmpty())
        return parts.join(u' ');
    if (!org.isEmpty())
        return org;
    if (const QString nick = v.value(kABNicknameProperty).toString(); !nick.isEmpty())
        return nick;
    const ABMultiValue emails = multiOf(v.value(kABEmailProperty));
    return emails.isEmpty() ? QString() : emails.valueAt(0).toString();
}

// Gives \a fresh the identifiers \a ours uses for multi-values that read the same, so
// callers' identifiers survive a save or a merge.
void adoptIdentifiers(Mapping &fresh, const QVariantMap &ours)
{
    for (auto it = fresh.values.begin(); it != fresh.values.end(); ++it) {
        if (it.value().metaType() != QMetaType::fromType<ABMultiValue>())
            continue;
        ABMultiValue mine = multiOf(ours.value(it.key()));
        const ABMultiValue theirs = multiOf(it.value());
        if (!sameMulti(mine, theirs))
            continue;
        // A list given without a primary entry has the one the card reads with.
        mine.setPrimaryIdentifier(mine.identifierAt(primaryIndex(theirs)));
        const auto lines = fresh.entryLines.value(it.key());
        QHash<QString, QList<int>> rekeyed;
        for (int i = 0; i < mine.count(); ++i)
            rekeyed.insert(mine.identifierAt(i), lines.value(theirs.identifierAt(i)));
        fresh.entryLines.insert(it.key(), rekeyed);
        it.value() = QVariant::fromValue(mine);
    }
}

} // namespace platform::detail::card
