// The vCard value types and the text rules of their values; reading is in VCardReader.cpp,
// writing in VCardWriter.cpp.
#include "platform/addressbook/VCard.h"

#include "platform/addressbook/detail/VCardText.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace platform {

namespace detail::vcard {

using Parameter = VCardProperty::Parameter;

bool isListParameter(const QString &name)
{
    return name.isEmpty() || name.compare("TYPE"_L1, Qt::CaseInsensitive) == 0
           || name.compare("PID"_L1, Qt::CaseInsensitive) == 0
           || name.compare("SORT-AS"_L1, Qt::CaseInsensitive) == 0;
}

bool isBase64(const QList<Parameter> &parameters)
{
    for (const Parameter &p : parameters) {
        if (!p.name.isEmpty() && p.name != "ENCODING"_L1)
            continue;
        for (const QString &v : p.values)
            if (v.compare("BASE64"_L1, Qt::CaseInsensitive) == 0
                || (!p.name.isEmpty() && v.compare("B"_L1, Qt::CaseInsensitive) == 0))
                return true;
    }
    return false;
}

QString escapeLineBreaks(const QString &text)
{
    if (!text.contains(u'\r') && !text.contains(u'\n'))
        return text;
    QString out;
    out.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            out += "\\n"_L1;
        } else {
            out += c;
        }
    }
    return out;
}

QString unescapeText(QStringView raw)
{
    QString out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c != u'\\' || i + 1 == raw.size()) {
            out += c;
            continue;
        }
        const QChar n = raw.at(++i);
        // Unknown escapes ("http\://" from some phones) lose the backslash.
        out += (n == u'n' || n == u'N') ? QChar(u'\n') : n;
    }
    return out;
}

QString escapeText(const QString &text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        switch (c.unicode()) {
        case u'\\':
            out += "\\\\"_L1;
            break;
        case u',':
            out += "\\,"_L1;
            break;
        case u';':
            out += "\\;"_L1;
            break;
        case u'\r':
            if (i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            out += "\\n"_L1;
            break;
        case u'\n':
            out += "\\n"_L1;
            break;
        default:
            out += c;
        }
    }
    return out;
}

QByteArray decodeBase64Strict(QByteArrayView text)
{
    QByteArray compact;
    compact.reserve(text.size());
    for (char c : text)
        if (!isWhitespace(c) && c != '\r' && c != '\n')
            compact.append(c);
    auto result = QByteArray::fromBase64Encoding(compact, QByteArray::AbortOnBase64DecodingErrors);
    if (!result)
        return {};
    return result.decoded;
}

} // namespace detail::vcard

using namespace detail::vcard;
using Parameter = VCardProperty::Parameter;

// ---------------------------------------------------------------------------------------
// VCardProperty

QStringList VCardProperty::parameterValues(const QString &parameterName) const
{
    QStringList values;
    const bool type = parameterName.compare("TYPE"_L1, Qt::CaseInsensitive) == 0;
    for (const Parameter &p : parameters)
        if (p.name.compare(parameterName, Qt::CaseInsensitive) == 0 || (type && p.name.isEmpty()))
            values += p.values;
    return values;
}

bool VCardProperty::hasType(const QString &type) const
{
    for (const QString &value : parameterValues(u"TYPE"_s))
        for (QStringView part : QStringView(value).split(u','))
            if (part.trimmed().compare(type, Qt::CaseInsensitive) == 0)
                return true;
    return false;
}

bool VCardProperty::isPreferred() const
{
    for (const QString &value : parameterValues(u"PREF"_s))
        if (value.trimmed() == "1"_L1)
            return true;
    return hasType(u"PREF"_s);
}

QString VCardProperty::text() const
{
    return unescapeText(rawValue);
}

void VCardProperty::setText(const QString &text)
{
    rawValue = escapeText(text);
}

QStringList VCardProperty::components() const
{
    QStringList parts;
    qsizetype start = 0;
    for (qsizetype i = 0; i < rawValue.size(); ++i) {
        const QChar c = rawValue.at(i);
        if (c == u'\\') {
            ++i;
        } else if (c == u';') {
            parts.append(unescapeText(QStringView(rawValue).sliced(start, i - start)));
            start = i + 1;
        }
    }
    parts.append(unescapeText(QStringView(rawValue).sliced(qMin(start, rawValue.size()))));
    return parts;
}

void VCardProperty::setComponents(const QStringList &components)
{
    QStringList escaped;
    escaped.reserve(components.size());
    for (const QString &c : components)
        escaped.append(escapeText(c));
    rawValue = escaped.join(u';');
}

QByteArray VCardProperty::binary() const
{
    if (isBase64(parameters))
        return decodeBase64Strict(rawValue.toLatin1());
    const QString trimmedValue = rawValue.trimmed();
    if (!trimmedValue.startsWith("data:"_L1, Qt::CaseInsensitive))
        return {};
    // Some writers escape the ';' and ',' of the URI as if it were text.
    const QString uri = unescapeText(trimmedValue);
    const qsizetype comma = uri.indexOf(u',');
    if (comma < 0)
        return {};
    const QStringView head = QStringView(uri).sliced(5, comma - 5);
    const QByteArray payload = uri.sliced(comma + 1).toUtf8();
    if (head.endsWith(";base64"_L1, Qt::CaseInsensitive))
        return decodeBase64Strict(payload);
    return QByteArray::fromPercentEncoding(payload);
}

void VCardProperty::setBinary(const QByteArray &data, const QString &mediaType, const QString &version)
{
    // The parameters that described the old data go; the others (e.g. PREF) stay.
    QList<Parameter> kept;
    for (const Parameter &p : std::as_const(parameters)) {
        if (p.name.isEmpty() || p.name == "ENCODING"_L1 || p.name == "VALUE"_L1
            || p.name == "MEDIATYPE"_L1 || p.name == "TYPE"_L1 || p.name == "CHARSET"_L1)
            continue;
        kept.append(p);
    }
    parameters = kept;
    if (version == "4.0"_L1) {
        rawValue = "data:"_L1 + mediaType + ";base64,"_L1 + QString::fromLatin1(data.toBase64());
        return;
    }
    const qsizetype slash = mediaType.indexOf(u'/');
    const QString subtype = (slash >= 0 ? mediaType.sliced(slash + 1) : mediaType).toUpper();
    parameters.append(Parameter{u"ENCODING"_s, {u"b"_s}});
    if (!subtype.isEmpty())
        parameters.append(Parameter{u"TYPE"_s, {subtype}});
    rawValue = QString::fromLatin1(data.toBase64());
}

// ---------------------------------------------------------------------------------------
// VCard

const VCardProperty *VCard::first(const QString &name) const
{
    for (const VCardProperty &p : properties)
        if (p.name.compare(name, Qt::CaseInsensitive) == 0)
            return &p;
    return nullptr;
}

VCardProperty *VCard::first(const QString &name)
{
    for (VCardProperty &p : properties)
        if (p.name.compare(name, Qt::CaseInsensitive) == 0)
            return &p;
    return nullptr;
}

QList<const VCardProperty *> VCard::all(const QString &name) const
{
    QList<const VCardProperty *> found;
    for (const VCardProperty &p : properties)
        if (p.name.compare(name, Qt::CaseInsensitive) == 0)
            found.append(&p);
    return found;
}

QList<const VCardProperty *> VCard::inGroup(const QString &group) const
{
    QList<const VCardProperty *> found;
    if (group.isEmpty())
        return found;
    for (const VCardProperty &p : properties)
        if (p.group.compare(group, Qt::CaseInsensitive) == 0)
            found.append(&p);
    return found;
}

QString VCard::uid() const
{
    const VCardProperty *p = first(u"UID"_s);
    return p ? p->text() : QString();
}

} // namespace platform
