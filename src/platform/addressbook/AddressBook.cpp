#include "platform/addressbook/AddressBook.h"

#include "platform/detail/ItemFiles.h"

#include "platform/PlatformLog.h"
#include "platform/addressbook/VCard.h"

#include "foundation/ZEM_F_E_Notifications.h"
#include "foundation/ZEM_F_HostDelegate.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QMap>
#include <QMimeDatabase>
#include <QSaveFile>
#include <QSet>
#include <QStandardPaths>
#include <QTimeZone>
#include <QUuid>

#include <algorithm>
#include <optional>
#include <vector>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace platform {

using platform::detail::fileNameForUid;
using platform::detail::ownProcessName;
using platform::detail::ownWrites;
using platform::detail::writeFileAtomically;

namespace {

// Values of a record that are not properties a caller names, kept in the same map so that
// change detection and merging treat them like any other property.
const QString kImageKey = u"\u0001Image"_s;     // QByteArray
const QString kMembersKey = u"\u0001Members"_s; // QStringList of member UIDs

// The user's own card: a UID in a dot file, so sync tools leave it alone.
const QString kMeFileName = u".zem-me"_s;
const QString kUrnUuid = u"urn:uuid:"_s;

enum class Kind { Text, Date, Flags, Multi, Image, Members };

struct KeyInfo
{
    Kind kind;
    bool person;
    bool group;
};

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

struct ImService
{
    QString key;
    QString xName;  // 3.0 property
    QString scheme; // IMPP URI scheme, with the colon
};

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

// ---- Value comparison ---------------------------------------------------------------------

// Multi-values are equal when their entries read the same, whatever their identifiers.
bool sameMulti(const ABMultiValue &a, const ABMultiValue &b)
{
    if (a.count() != b.count())
        return false;
    for (int i = 0; i < a.count(); ++i)
        if (a.labelAt(i) != b.labelAt(i) || a.valueAt(i) != b.valueAt(i))
            return false;
    return a.indexForIdentifier(a.primaryIdentifier()) == b.indexForIdentifier(b.primaryIdentifier());
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

// ---- Dates -----------------------------------------------------------------------------------

// The year of a date without one, as address books before vCard 4.0 wrote it.
constexpr int kNoYear = 1604;

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
    return QDateTime(*date, clock, QTimeZone(*offset)).toLocalTime();
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

// ---- Labels --------------------------------------------------------------------------------

bool isV4(const QString &version)
{
    return version == u"4.0";
}

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

QString uriText(const VCardProperty &p)
{
    // Some writers escape the colon of a URI ("http\://").
    QString s = p.rawValue;
    s.replace(u"\\:"_s, u":"_s).replace(u"\\,"_s, u","_s).replace(u"\\;"_s, u";"_s);
    return s.trimmed();
}

// ---- Reading a card into values --------------------------------------------------------------

/**
 * A card read into record values, with the lines each value came from, so that writing a
 * change replaces exactly those lines and keeps every other one.
 */
struct Mapping
{
    QVariantMap values;
    bool group = false;
    QHash<QString, QList<int>> unitLines;                   // unit -> line indices
    QHash<QString, QHash<QString, QList<int>>> entryLines; // multi key -> entry id -> lines
};

bool isGroupCard(const VCard &card)
{
    for (const char *name : {"KIND", "X-ADDRESSBOOKSERVER-KIND"})
        if (const VCardProperty *p = card.first(QString::fromLatin1(name)))
            if (p->text().trimmed().compare(u"group"_s, Qt::CaseInsensitive) == 0)
                return true;
    return false;
}

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
            m.unitLines[u"FN"_s].append(i);
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
    for (auto it = multis.cbegin(); it != multis.cend(); ++it)
        m.values.insert(it.key(), QVariant::fromValue(it.value()));
    return m;
}

// ---- Writing values into a card ---------------------------------------------------------------

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

VCardProperty line(const QString &name, const QString &group = {})
{
    VCardProperty p;
    p.name = name;
    p.group = group;
    return p;
}

/** Rewrites the lines of the changed units of a card, keeping every other line as it is. */
class CardWriter
{
public:
    CardWriter(const VCard &base, const Mapping &baseMap, const QVariantMap &values)
        : m_base(base), m_map(baseMap), m_values(values),
          m_version(isV4(base.version) ? u"4.0"_s : u"3.0"_s)
    {
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

    VCard write(const QString &uid)
    {
        QSet<QString> changed;
        auto keys = m_values.keys();
        keys.append(m_map.values.keys());
        for (const QString &key : keys)
            if (!sameValue(m_values.value(key), m_map.values.value(key)))
                changed.insert(unitOf(key));
        if (!m_map.group) {
            if (changed.contains(u"N"_s) || !m_map.unitLines.contains(u"FN"_s))
                changed.insert(u"FN"_s);
            if (!m_map.unitLines.contains(u"N"_s))
                changed.insert(u"N"_s);
            // The ordering and show-as flags choose the display form.
            if (changed.contains(kABPersonFlags) || changed.contains(u"ORG"_s))
                changed.insert(u"FN"_s);
        } else if (!m_map.unitLines.contains(kABGroupNameProperty)) {
            changed.insert(kABGroupNameProperty);
        }

        VCard out;
        out.version = m_version;
        if (m_base.uid().isEmpty())
            out.properties.append(uidLine(uid));
        // What each owned line of the base is replaced by; owned lines not in it go.
        QHash<int, QList<VCardProperty>> at;
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
            if (hasEntries(unit))
                place(entries(unit), first, at);
            else
                at[first].append(generate(unit));
        }
        for (int i = 0; i < m_base.properties.size(); ++i) {
            if (owned.contains(i))
                out.properties.append(at.value(i));
            else
                out.properties.append(normalized(m_base.properties[i]));
        }
        // A fixed order keeps new cards readable and their bytes stable.
        static const QStringList order = {u"FN"_s, u"N"_s, kABGroupNameProperty};
        std::sort(added.begin(), added.end(), [](const QString &a, const QString &b) {
            const qsizetype ia = order.contains(a) ? order.indexOf(a) : order.size();
            const qsizetype ib = order.contains(b) ? order.indexOf(b) : order.size();
            return ia != ib ? ia < ib : a < b;
        });
        for (const QString &unit : added) {
            if (!hasEntries(unit)) {
                out.properties.append(generate(unit));
                continue;
            }
            for (const EntryOut &e : entries(unit))
                out.properties.append(e.fresh);
        }
        return out;
    }

private:
    static VCardProperty uidLine(const QString &uid)
    {
        VCardProperty p = line(u"UID"_s);
        p.setText(uid);
        return p;
    }

    // A 2.1 line kept as it was, written as 3.0: bare parameters become TYPE values.
    VCardProperty normalized(VCardProperty p) const
    {
        if (m_base.version != u"2.1")
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
            QList<VCardProperty> out;
            if ((flags & kABShowAsMask) == kABShowAsCompany) {
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
    static void place(const QList<EntryOut> &entries, int first, QHash<int, QList<VCardProperty>> &at)
    {
        int lastMain = -1;
        bool ordered = true;
        for (const EntryOut &e : entries) {
            if (e.kept.isEmpty())
                continue;
            ordered = ordered && e.kept.first().first > lastMain;
            lastMain = e.kept.first().first;
        }
        if (!ordered) {
            for (const EntryOut &e : entries) {
                for (const auto &[index, p] : e.kept)
                    at[first].append(p);
                at[first].append(e.fresh);
            }
            return;
        }
        QList<VCardProperty> leading;
        int anchor = -1;
        for (const EntryOut &e : entries) {
            if (!e.kept.isEmpty()) {
                for (const auto &[index, p] : e.kept) {
                    at[index].append(p);
                    anchor = std::max(anchor, index);
                }
            }
            (anchor < 0 ? leading : at[anchor]).append(e.fresh);
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
    QString m_version;
    int m_nextItem = 1;
};

// ---- Files -----------------------------------------------------------------------------------


QString defaultFolderSetting;
std::unique_ptr<AddressBook> sharedBook;

} // namespace

// ---- ABMultiValue ----------------------------------------------------------------------------

QVariant ABMultiValue::valueAt(int index) const
{
    return index >= 0 && index < count() ? m_entries[index].value : QVariant();
}

QString ABMultiValue::labelAt(int index) const
{
    return index >= 0 && index < count() ? m_entries[index].label : QString();
}

QString ABMultiValue::identifierAt(int index) const
{
    return index >= 0 && index < count() ? m_entries[index].identifier : QString();
}

int ABMultiValue::indexForIdentifier(const QString &identifier) const
{
    if (identifier.isEmpty())
        return -1;
    for (int i = 0; i < count(); ++i)
        if (m_entries[i].identifier == identifier)
            return i;
    return -1;
}

QVariant ABMultiValue::valueForIdentifier(const QString &identifier) const
{
    return valueAt(indexForIdentifier(identifier));
}

bool ABMultiValue::setPrimaryIdentifier(const QString &identifier)
{
    if (indexForIdentifier(identifier) < 0)
        return false;
    m_primary = identifier;
    return true;
}

QString ABMultiValue::addValue(const QVariant &value, const QString &label)
{
    if (!value.isValid())
        return {};
    // Numbers handed out in order: two reads of the same card give the same identifiers.
    Entry e{QString::number(m_nextIdentifier++), label, value};
    m_entries.append(e);
    return e.identifier;
}

bool ABMultiValue::replaceValueAtIndex(int index, const QVariant &value)
{
    if (index < 0 || index >= count() || !value.isValid())
        return false;
    m_entries[index].value = value;
    return true;
}

bool ABMultiValue::replaceLabelAtIndex(int index, const QString &label)
{
    if (index < 0 || index >= count())
        return false;
    m_entries[index].label = label;
    return true;
}

bool ABMultiValue::removeValueAtIndex(int index)
{
    if (index < 0 || index >= count())
        return false;
    if (m_entries[index].identifier == m_primary)
        m_primary.clear();
    m_entries.removeAt(index);
    return true;
}

// ---- The book's state ------------------------------------------------------------------------

namespace {

struct CardState
{
    std::unique_ptr<ABRecord> record;
    QString uid;
    QString fileName;
    // The file as last read or written; onDisk false for a card never saved (or whose
    // file another program removed while we held an edit).
    bool onDisk = false;
    QByteArray baseBytes;
    VCard baseCard;
    Mapping baseMap;
    QVariantMap values;

    bool isDirty() const
    {
        if (!onDisk)
            return true;
        QStringList keys = values.keys();
        keys.append(baseMap.values.keys());
        for (const QString &key : keys)
            if (!sameValue(values.value(key), baseMap.values.value(key)))
                return true;
        return false;
    }

    void takeFile(const QByteArray &bytes, const VCard &card, Mapping map)
    {
        onDisk = true;
        baseBytes = bytes;
        baseCard = card;
        baseMap = std::move(map);
        values = baseMap.values;
    }
};

// Gives \a fresh the identifiers \a ours uses for multi-values that read the same, so
// callers' identifiers survive a save or a merge.
void adoptIdentifiers(Mapping &fresh, const QVariantMap &ours)
{
    for (auto it = fresh.values.begin(); it != fresh.values.end(); ++it) {
        if (it.value().metaType() != QMetaType::fromType<ABMultiValue>())
            continue;
        const ABMultiValue mine = multiOf(ours.value(it.key()));
        const ABMultiValue theirs = multiOf(it.value());
        if (!sameMulti(mine, theirs))
            continue;
        const auto lines = fresh.entryLines.value(it.key());
        QHash<QString, QList<int>> rekeyed;
        for (int i = 0; i < mine.count(); ++i)
            rekeyed.insert(mine.identifierAt(i), lines.value(theirs.identifierAt(i)));
        fresh.entryLines.insert(it.key(), rekeyed);
        it.value() = QVariant::fromValue(mine);
    }
}

struct SeenFile
{
    QByteArray bytes;
    QString uniqueId; // empty when the file gave no card
    QStringList problems;
};

} // namespace

class AddressBookPrivate
{
public:
    AddressBook *q = nullptr;
    QString folder;
    std::vector<std::unique_ptr<CardState>> cards;
    // Removed records stay allocated until the book goes, so callers' pointers never dangle.
    std::vector<std::unique_ptr<CardState>> removed;
    // Removed records whose files save() deletes.
    std::vector<CardState *> toDelete;
    QHash<QString, CardState *> byUid;
    QHash<const ABRecord *, CardState *> stateOf;
    QMap<QString, SeenFile> seen; // file name -> what the last scan found
    QString meUid;
    bool meDirty = false;
    bool unsaved = false;
    std::optional<detail::FolderWatcher> watcher;

    QString pathOf(const QString &fileName) const { return QDir(folder).filePath(fileName); }

    CardState *stateFor(const ABRecord *record) const { return stateOf.value(record); }

    bool isLive(const CardState *s) const { return s && byUid.value(s->uid) == s; }

    CardState *addCard(const QString &uid, const QString &fileName, bool group)
    {
        auto s = std::make_unique<CardState>();
        s->uid = uid;
        s->fileName = fileName;
        if (group)
            s->record.reset(new ABGroup(q, uid));
        else
            s->record.reset(new ABPerson(q, uid));
        s->baseMap.group = group;
        CardState *raw = s.get();
        stateOf.insert(raw->record.get(), raw);
        byUid.insert(uid, raw);
        cards.push_back(std::move(s));
        return raw;
    }

    void retire(CardState *s)
    {
        byUid.remove(s->uid);
        auto it = std::find_if(cards.begin(), cards.end(), [s](const auto &c) { return c.get() == s; });
        if (it != cards.end()) {
            removed.push_back(std::move(*it));
            cards.erase(it);
        }
    }

    QList<CardState *> sortedCards() const
    {
        QList<CardState *> list;
        for (const auto &c : cards)
            list.append(c.get());
        std::sort(list.begin(), list.end(),
                  [](const CardState *a, const CardState *b) { return a->fileName < b->fileName; });
        return list;
    }

    QString newUid() const
    {
        QString uid;
        do
            uid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        while (byUid.contains(uid) || QFile::exists(pathOf(fileNameForUid(uid, u".vcf"_s))));
        return uid;
    }

    void scan(bool announce);
    ZEM_Result<void> save();
    void startWatching();
    void watchFiles();
};

void AddressBookPrivate::scan(bool announce)
{
    QDir dir(folder);
    const QStringList files = dir.entryList({u"*.vcf"_s}, QDir::Files, QDir::Name);
    QMap<QString, SeenFile> now;
    QStringList ins[2], upd[2], del[2]; // [0] other programs, [1] this process
    const auto &own = ownWrites();

    for (const QString &fileName : files) {
        const QString path = pathOf(fileName);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            const QString why = u"%1: cannot be read: %2"_s.arg(fileName, file.errorString());
            qCWarning(zemPlatform) << "AddressBook:" << why;
            // Keep what we knew of it: an unreadable file is not a removed card.
            SeenFile kept = seen.value(fileName);
            kept.problems = {why};
            now.insert(fileName, kept);
            continue;
        }
        const QByteArray bytes = file.readAll();
        const auto previous = seen.constFind(fileName);
        if (previous != seen.constEnd() && previous->bytes == bytes) {
            now.insert(fileName, *previous);
            continue;
        }

        SeenFile entry;
        entry.bytes = bytes;
        const VCardReadResult read = readVCards(bytes);
        for (const QString &p : read.problems)
            entry.problems.append(fileName + u": "_s + p);
        if (read.cards.isEmpty()) {
            if (read.problems.isEmpty())
                entry.problems.append(fileName + u": not a vCard"_s);
        } else {
            if (read.cards.size() > 1)
                entry.problems.append(u"%1: holds %2 cards; only the first is read"_s.arg(fileName)
                                          .arg(read.cards.size()));
            const VCard &card = read.cards.first();
            QString uid = card.uid().trimmed();
            if (uid.isEmpty())
                uid = fileName.chopped(4);
            QStringList mapProblems;
            Mapping map = mapCard(card, &mapProblems);
            for (const QString &p : mapProblems)
                entry.problems.append(fileName + u": "_s + p);
            CardState *s = byUid.value(uid);
            const bool removedHere = std::any_of(toDelete.begin(), toDelete.end(),
                                                 [&](const CardState *r) { return r->uid == uid; });
            if (removedHere) {
                // Removed here and not yet saved: save() settles it (a conflict if changed there).
                entry.uniqueId = uid + (map.group ? kABGroupSuffix : kABPersonSuffix);
            } else if (s && s->fileName != fileName) {
                entry.problems.append(u"%1: the same UID as %2; skipped"_s.arg(fileName, s->fileName));
            } else {
                entry.uniqueId = uid + (map.group ? kABGroupSuffix : kABPersonSuffix);
                if (!s) {
                    s = addCard(uid, fileName, map.group);
                    s->takeFile(bytes, card, std::move(map));
                } else if (s->baseMap.group != map.group) {
                    entry.problems.append(u"%1: changed between person and group; skipped"_s.arg(fileName));
                    entry.uniqueId.clear();
                } else if (s->baseBytes != bytes && !s->isDirty()) {
                    Mapping fresh = std::move(map);
                    adoptIdentifiers(fresh, s->values);
                    s->takeFile(bytes, card, std::move(fresh));
                }
            }
        }
        for (const QString &p : entry.problems)
            qCWarning(zemPlatform).noquote() << "AddressBook:" << p;

        const QString oldId = previous != seen.constEnd() ? previous->uniqueId : QString();
        const auto mine = own.constFind(path);
        const int who = mine != own.constEnd() && mine->has_value() && **mine == bytes ? 1 : 0;
        if (!entry.uniqueId.isEmpty()) {
            if (oldId.isEmpty())
                ins[who].append(entry.uniqueId);
            else
                upd[who].append(entry.uniqueId);
        } else if (!oldId.isEmpty()) {
            del[who].append(oldId);
        }
        now.insert(fileName, entry);
    }

    for (auto it = seen.constBegin(); it != seen.constEnd(); ++it) {
        if (now.contains(it.key()))
            continue;
        const QString path = pathOf(it.key());
        const auto mine = own.constFind(path);
        const int who = mine != own.constEnd() && !mine->has_value() ? 1 : 0;
        if (!it->uniqueId.isEmpty())
            del[who].append(it->uniqueId);
        CardState *s = byUid.value(it->uniqueId.section(u':', 0, -2));
        if (s && s->fileName == it.key() && s->onDisk) {
            if (s->isDirty()) {
                // Another program removed a card we hold an edit for: save() writes it again.
                s->onDisk = false;
            } else {
                retire(s);
            }
        }
    }
    seen = now;

    if (!meDirty) {
        QFile me(pathOf(kMeFileName));
        meUid = me.open(QIODevice::ReadOnly) ? QString::fromUtf8(me.readAll()).trimmed() : QString();
    }
    if (watcher)
        watchFiles();

    if (!announce)
        return;
    for (int who = 0; who < 2; ++who) {
        if (ins[who].isEmpty() && upd[who].isEmpty() && del[who].isEmpty())
            continue;
        const QString sender = who ? ownProcessName() : QString();
        QVariantMap info;
        if (!ins[who].isEmpty())
            info.insert(kABInsertedRecords, ins[who]);
        if (!upd[who].isEmpty())
            info.insert(kABUpdatedRecords, upd[who]);
        if (!del[who].isEmpty())
            info.insert(kABDeletedRecords, del[who]);
        info.insert(kABSenderProcessName, sender);
        emit q->changed(ins[who], upd[who], del[who], sender);
        ZEM_F_E_Notifications::shared()->postNotification(
            ZEM_F_Notification{kABDatabaseChangedExternallyNotification, {}, info});
    }
}

void AddressBookPrivate::startWatching()
{
    watcher.emplace(q, [this] { scan(true); });
    watchFiles();
}

void AddressBookPrivate::watchFiles()
{
    // The folder tells of files added, removed and renamed over; a file rewritten in place
    // is only seen by watching the file itself.
    QStringList wanted{folder};
    for (auto it = seen.constBegin(); it != seen.constEnd(); ++it)
        wanted.append(pathOf(it.key()));
    wanted.append(pathOf(kMeFileName));
    watcher->watchOnly(wanted);
}

namespace {

QString cardName(const CardState &s)
{
    const QString name = s.baseMap.group ? s.values.value(kABGroupNameProperty).toString()
                                         : displayName(s.values);
    return name.isEmpty() ? s.fileName : name;
}

// The name a person reads for an internal key.
QString propertyName(const QString &key)
{
    if (key == kImageKey)
        return u"Image"_s;
    if (key == kMembersKey)
        return u"Members"_s;
    return key;
}

ZEM_Error conflict(const CardState &s, const QString &key, const QString &why)
{
    return ZEM_Error::make(ZEM_Error::Conflict,
                           u"“%1” was changed by another program (%2): %3"_s.arg(cardName(s), s.fileName, why),
                           {s.uid, propertyName(key)});
}

} // namespace

ZEM_Result<void> AddressBookPrivate::save()
{
    struct Plan
    {
        CardState *state;
        VCard base;
        Mapping map;
        QVariantMap values;
        std::optional<QByteArray> disk;
    };
    std::vector<Plan> plans;

    // First find out whether every card can be written, so that a conflict writes nothing.
    for (CardState *s : sortedCards()) {
        if (!s->isDirty())
            continue;
        Plan plan{s, s->baseCard, s->baseMap, s->values, std::nullopt};
        QFile file(pathOf(s->fileName));
        if (file.open(QIODevice::ReadOnly))
            plan.disk = file.readAll();
        const bool changedThere = plan.disk && (!s->onDisk || *plan.disk != s->baseBytes);
        if (changedThere) {
            const VCardReadResult read = readVCards(*plan.disk);
            if (read.cards.isEmpty())
                return conflict(*s, {}, u"the file on disk is no longer a vCard"_s);
            Mapping there = mapCard(read.cards.first(), nullptr);
            if (there.group != s->baseMap.group)
                return conflict(*s, {}, u"it is no longer a person or no longer a group"_s);
            // Multi-values the other program left alone keep our identifiers, so their lines
            // are found by the entries we hold.
            adoptIdentifiers(there, s->baseMap.values);
            QVariantMap merged = there.values;
            QStringList keys = s->values.keys() + s->baseMap.values.keys() + there.values.keys();
            keys.removeDuplicates();
            for (const QString &key : keys) {
                const QVariant ancestor = s->baseMap.values.value(key);
                const QVariant ours = s->values.value(key);
                const QVariant theirs = there.values.value(key);
                const bool weChanged = !sameValue(ours, ancestor);
                const bool theyChanged = !sameValue(theirs, ancestor);
                if (weChanged && theyChanged && !sameValue(ours, theirs))
                    return conflict(*s, key, u"both changed %1"_s.arg(propertyName(key)));
                if (weChanged) {
                    if (ours.isValid())
                        merged.insert(key, ours);
                    else
                        merged.remove(key);
                }
            }
            plan.base = read.cards.first();
            plan.map = std::move(there);
            plan.values = merged;
        }
        plans.push_back(std::move(plan));
    }
    for (CardState *s : toDelete) {
        QFile file(pathOf(s->fileName));
        if (file.open(QIODevice::ReadOnly) && file.readAll() != s->baseBytes)
            return conflict(*s, {}, u"it was changed there and removed here"_s);
    }

    if (!QDir().mkpath(folder))
        return ZEM_Error::make(ZEM_Error::WriteFailed,
                               u"Could not create the address book folder %1"_s.arg(folder), {folder});
    for (Plan &plan : plans) {
        CardState *s = plan.state;
        CardWriter writer(plan.base, plan.map, plan.values);
        const VCard card = writer.write(s->uid);
        const QByteArray bytes = writeVCard(card, writer.version());
        const QString path = pathOf(s->fileName);
        if (!plan.disk || *plan.disk != bytes) {
            if (auto written = writeFileAtomically(path, bytes); !written) {
                qCWarning(zemPlatform).noquote() << "AddressBook:" << written.error().message;
                return written.error();
            }
            ownWrites().insert(path, bytes);
        }
        const VCardReadResult reread = readVCards(bytes);
        if (reread.cards.isEmpty()) {
            // Cannot happen with a card we wrote; keep the edit rather than lose it.
            qCWarning(zemPlatform) << "AddressBook: the card written to" << path << "does not read back";
            continue;
        }
        Mapping fresh = mapCard(reread.cards.first(), nullptr);
        adoptIdentifiers(fresh, plan.values);
        s->takeFile(bytes, reread.cards.first(), std::move(fresh));
    }
    while (!toDelete.empty()) {
        CardState *s = toDelete.back();
        const QString path = pathOf(s->fileName);
        if (QFile::exists(path) && !QFile::remove(path))
            return ZEM_Error::make(ZEM_Error::WriteFailed,
                                   u"Could not remove %1"_s.arg(path), {path});
        ownWrites().insert(path, std::nullopt);
        s->onDisk = false;
        toDelete.pop_back();
    }
    if (meDirty) {
        const QString path = pathOf(kMeFileName);
        if (meUid.isEmpty()) {
            if (QFile::exists(path) && !QFile::remove(path))
                return ZEM_Error::make(ZEM_Error::WriteFailed, u"Could not remove %1"_s.arg(path), {path});
        } else if (auto written = writeFileAtomically(path, meUid.toUtf8() + '\n'); !written) {
            return written.error();
        }
        meDirty = false;
    }
    unsaved = false;
    return {};
}

// ---- Records ---------------------------------------------------------------------------------

ABRecord::ABRecord(AddressBook *book, QString uid) : m_book(book), m_uid(std::move(uid)) {}

ABRecord::~ABRecord() = default;

QString ABRecord::uniqueId() const
{
    return m_uid + (isGroup() ? kABGroupSuffix : kABPersonSuffix);
}

QVariant ABRecord::valueForProperty(const QString &property) const
{
    const CardState *s = m_book->d->stateFor(this);
    if (!s || property.startsWith(u'\u0001'))
        return {};
    if (property == kABHomePageProperty) {
        const ABMultiValue urls = multiOf(s->values.value(kABURLsProperty));
        for (int i = 0; i < urls.count(); ++i)
            if (urls.labelAt(i) == kABHomePageLabel)
                return urls.valueAt(i);
        return {};
    }
    return s->values.value(property);
}

namespace {

bool entriesFit(const QString &key, const ABMultiValue &mv)
{
    for (const ABMultiValue::Entry &e : mv.entries()) {
        const QMetaType type = e.value.metaType();
        if (key == kABAddressProperty ? type != QMetaType::fromType<QVariantMap>()
            : key == kABOtherDatesProperty ? type != QMetaType::fromType<QDateTime>()
                                           : type != QMetaType::fromType<QString>())
            return false;
    }
    return true;
}

} // namespace

bool ABRecord::setValue(const QVariant &value, const QString &property)
{
    AddressBookPrivate *d = m_book->d.get();
    CardState *s = d->stateFor(this);
    if (!d->isLive(s))
        return false;
    if (!value.isValid())
        return removeValueForProperty(property);
    if (property == kABHomePageProperty) {
        // The home page is the first web address labelled as one.
        if (isGroup() || value.metaType() != QMetaType::fromType<QString>())
            return false;
        ABMultiValue urls = multiOf(s->values.value(kABURLsProperty));
        int at = -1;
        for (int i = 0; i < urls.count() && at < 0; ++i)
            if (urls.labelAt(i) == kABHomePageLabel)
                at = i;
        if (value.toString().isEmpty()) {
            if (at >= 0)
                urls.removeValueAtIndex(at);
        } else if (at >= 0) {
            urls.replaceValueAtIndex(at, value);
        } else {
            urls.addValue(value, kABHomePageLabel);
        }
        return setValue(urls.isEmpty() ? QVariant() : QVariant::fromValue(urls), kABURLsProperty);
    }
    const auto info = keyTable().constFind(property);
    if (info == keyTable().constEnd() || property.startsWith(u'\u0001')
        || !(isGroup() ? info->group : info->person))
        return false;
    QVariant v = value;
    switch (info->kind) {
    case Kind::Text:
        if (v.metaType() != QMetaType::fromType<QString>())
            return false;
        if (v.toString().isEmpty())
            return removeValueForProperty(property);
        break;
    case Kind::Date:
        if (v.metaType() == QMetaType::fromType<QDate>())
            v = QDateTime(v.toDate(), QTime(0, 0));
        if (v.metaType() != QMetaType::fromType<QDateTime>() || !v.toDateTime().isValid())
            return false;
        break;
    case Kind::Flags: {
        const int id = v.metaType().id();
        if (id != QMetaType::Int && id != QMetaType::UInt && id != QMetaType::LongLong
            && id != QMetaType::Long)
            return false;
        v = v.toInt();
        if (v.toInt() == 0)
            return removeValueForProperty(property);
        break;
    }
    case Kind::Multi:
        if (v.metaType() != QMetaType::fromType<ABMultiValue>() || !entriesFit(property, v.value<ABMultiValue>()))
            return false;
        if (v.value<ABMultiValue>().isEmpty())
            return removeValueForProperty(property);
        break;
    case Kind::Image:
    case Kind::Members:
        return false;
    }
    s->values.insert(property, v);
    d->unsaved = true;
    return true;
}

bool ABRecord::removeValueForProperty(const QString &property)
{
    AddressBookPrivate *d = m_book->d.get();
    CardState *s = d->stateFor(this);
    if (!d->isLive(s))
        return false;
    if (property == kABHomePageProperty)
        return setValue(QString(), property);
    const auto info = keyTable().constFind(property);
    if (info == keyTable().constEnd() || property.startsWith(u'\u0001')
        || !(isGroup() ? info->group : info->person))
        return false;
    s->values.remove(property);
    d->unsaved = true;
    return true;
}

QByteArray ABPerson::imageData() const
{
    const CardState *s = addressBook()->d->stateFor(this);
    return s ? s->values.value(kImageKey).toByteArray() : QByteArray();
}

bool ABPerson::setImageData(const QByteArray &data)
{
    AddressBookPrivate *d = addressBook()->d.get();
    CardState *s = d->stateFor(this);
    if (!d->isLive(s))
        return false;
    if (data.isEmpty())
        s->values.remove(kImageKey);
    else
        s->values.insert(kImageKey, data);
    d->unsaved = true;
    return true;
}

QList<ABGroup *> ABPerson::parentGroups() const
{
    const AddressBookPrivate *d = addressBook()->d.get();
    const CardState *self = d->stateFor(this);
    QList<ABGroup *> out;
    if (!d->isLive(self))
        return out;
    for (CardState *s : d->sortedCards())
        if (s->baseMap.group && s->values.value(kMembersKey).toStringList().contains(self->uid))
            out.append(static_cast<ABGroup *>(s->record.get()));
    return out;
}

QList<ABPerson *> ABGroup::members() const
{
    const AddressBookPrivate *d = addressBook()->d.get();
    const CardState *self = d->stateFor(this);
    QList<ABPerson *> out;
    if (!self)
        return out;
    for (const QString &uid : self->values.value(kMembersKey).toStringList()) {
        const CardState *s = d->byUid.value(uid);
        if (s && !s->baseMap.group)
            out.append(static_cast<ABPerson *>(s->record.get()));
    }
    return out;
}

bool ABGroup::addMember(ABPerson *person)
{
    AddressBookPrivate *d = addressBook()->d.get();
    CardState *self = d->stateFor(this);
    CardState *member = person ? d->stateFor(person) : nullptr;
    if (!d->isLive(self) || !d->isLive(member))
        return false;
    QStringList uids = self->values.value(kMembersKey).toStringList();
    if (uids.contains(member->uid))
        return true;
    uids.append(member->uid);
    self->values.insert(kMembersKey, uids);
    d->unsaved = true;
    return true;
}

bool ABGroup::removeMember(ABPerson *person)
{
    AddressBookPrivate *d = addressBook()->d.get();
    CardState *self = d->stateFor(this);
    CardState *member = person ? d->stateFor(person) : nullptr;
    if (!d->isLive(self) || !member)
        return false;
    QStringList uids = self->values.value(kMembersKey).toStringList();
    if (!uids.removeOne(member->uid))
        return false;
    if (uids.isEmpty())
        self->values.remove(kMembersKey);
    else
        self->values.insert(kMembersKey, uids);
    d->unsaved = true;
    return true;
}

// ---- AddressBook -----------------------------------------------------------------------------

QString AddressBook::defaultFolder()
{
    if (!defaultFolderSetting.isEmpty())
        return defaultFolderSetting;
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
           + u"/contacts/default"_s;
}

void AddressBook::setDefaultFolder(const QString &folder)
{
    defaultFolderSetting = folder;
}

AddressBook *AddressBook::sharedAddressBook()
{
    if (!sharedBook) {
        static bool cleanupAdded = false;
        if (!cleanupAdded) {
            // The book holds a watcher: drop it while the application object still exists.
            qAddPostRoutine(&AddressBook::resetSharedAddressBook);
            cleanupAdded = true;
        }
        sharedBook = std::make_unique<AddressBook>(defaultFolder(), true);
    }
    return sharedBook.get();
}

std::unique_ptr<AddressBook> AddressBook::addressBook()
{
    return std::make_unique<AddressBook>(defaultFolder());
}

void AddressBook::resetSharedAddressBook()
{
    sharedBook.reset();
}

AddressBook::AddressBook(const QString &folder, bool watch, QObject *parent)
    : QObject(parent), d(std::make_unique<AddressBookPrivate>())
{
    d->q = this;
    d->folder = QDir::cleanPath(QDir(folder).absolutePath());
    if (!QDir().mkpath(d->folder))
        qCWarning(zemPlatform) << "AddressBook: cannot create" << d->folder;
    d->scan(false);
    if (watch)
        d->startWatching();
}

AddressBook::~AddressBook() = default;

QString AddressBook::folder() const
{
    return d->folder;
}

QStringList AddressBook::problems() const
{
    QStringList out;
    for (const SeenFile &f : std::as_const(d->seen))
        out.append(f.problems);
    return out;
}

ABRecord *AddressBook::recordForUniqueId(const QString &uniqueId) const
{
    const bool group = uniqueId.endsWith(kABGroupSuffix);
    if (!group && !uniqueId.endsWith(kABPersonSuffix))
        return nullptr;
    const QString uid = uniqueId.chopped(group ? kABGroupSuffix.size() : kABPersonSuffix.size());
    const CardState *s = d->byUid.value(uid);
    return s && s->baseMap.group == group ? s->record.get() : nullptr;
}

QList<ABPerson *> AddressBook::people() const
{
    QList<ABPerson *> out;
    for (CardState *s : d->sortedCards())
        if (!s->baseMap.group)
            out.append(static_cast<ABPerson *>(s->record.get()));
    return out;
}

QList<ABGroup *> AddressBook::groups() const
{
    QList<ABGroup *> out;
    for (CardState *s : d->sortedCards())
        if (s->baseMap.group)
            out.append(static_cast<ABGroup *>(s->record.get()));
    return out;
}

ABPerson *AddressBook::me() const
{
    const CardState *s = d->byUid.value(d->meUid);
    return s && !s->baseMap.group ? static_cast<ABPerson *>(s->record.get()) : nullptr;
}

bool AddressBook::setMe(ABPerson *person)
{
    QString uid;
    if (person) {
        const CardState *s = d->stateFor(person);
        if (!d->isLive(s))
            return false;
        uid = s->uid;
    }
    if (uid == d->meUid && !d->meDirty)
        return true;
    d->meUid = uid;
    d->meDirty = true;
    d->unsaved = true;
    return true;
}

namespace {

CardState *startCard(AddressBookPrivate *d, bool group)
{
    const QString uid = d->newUid();
    CardState *s = d->addCard(uid, fileNameForUid(uid, u".vcf"_s), group);
    VCardProperty uidLine;
    uidLine.name = u"UID"_s;
    uidLine.setText(uid);
    s->baseCard.properties.append(uidLine);
    if (group) {
        VCardProperty kind;
        kind.name = u"X-ADDRESSBOOKSERVER-KIND"_s;
        kind.rawValue = u"group"_s;
        s->baseCard.properties.append(kind);
    }
    s->baseMap = mapCard(s->baseCard, nullptr);
    d->unsaved = true;
    return s;
}

} // namespace

ABPerson *AddressBook::addPerson()
{
    return static_cast<ABPerson *>(startCard(d.get(), false)->record.get());
}

ABGroup *AddressBook::addGroup()
{
    return static_cast<ABGroup *>(startCard(d.get(), true)->record.get());
}

bool AddressBook::removeRecord(ABRecord *record)
{
    CardState *s = record ? d->stateFor(record) : nullptr;
    if (!d->isLive(s))
        return false;
    if (s->onDisk)
        d->toDelete.push_back(s);
    d->retire(s);
    d->unsaved = true;
    return true;
}

bool AddressBook::hasUnsavedChanges() const
{
    return d->unsaved;
}

ZEM_Result<void> AddressBook::save()
{
    return d->save();
}

void AddressBook::refresh()
{
    if (d->watcher)
        d->watcher->cancelPending();
    d->scan(true);
}

} // namespace platform
