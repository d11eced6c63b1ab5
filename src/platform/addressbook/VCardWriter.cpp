// Writing vCards: parameters quoted and caret-escaped, lines folded at 75 octets.
#include "platform/addressbook/VCard.h"

#include "platform/addressbook/detail/VCardText.h"

using namespace Qt::StringLiterals;

namespace platform {

namespace {

using namespace detail::vcard;
using Parameter = VCardProperty::Parameter;

// Longest line in octets before a fold, CRLF not counted.
constexpr qsizetype kFoldOctets = 75;

QString encodeCarets(const QString &in)
{
    QString out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        const QChar c = in.at(i);
        if (c == u'^')
            out += "^^"_L1;
        else if (c == u'"')
            out += "^'"_L1;
        else if (c == u'\n')
            out += "^n"_L1;
        else if (c == u'\r') {
            out += "^n"_L1;
            if (i + 1 < in.size() && in.at(i + 1) == u'\n')
                ++i;
        } else
            out += c;
    }
    return out;
}

void appendFolded(QByteArray &out, QByteArrayView line, QByteArrayView eol = "\r\n")
{
    qsizetype pos = 0;
    qsizetype room = kFoldOctets;
    while (line.size() - pos > room) {
        qsizetype cut = pos + room;
        // Back up to the start of a UTF-8 sequence.
        while (cut > pos && (uchar(line[cut]) & 0xC0) == 0x80)
            --cut;
        if (cut == pos)
            cut = pos + room;
        out.append(line.sliced(pos, cut - pos));
        out.append(eol);
        out.append(' ');
        pos = cut;
        room = kFoldOctets - 1;
    }
    out.append(line.sliced(pos));
    out.append(eol);
}

QByteArray parameterValue(const QString &value, bool list, bool bare, bool quoted)
{
    const QString v = encodeCarets(value);
    const bool quote = quoted || v.isEmpty() || v.contains(u':') || v.contains(u';')
                       || (list && v.contains(u',')) || (bare && v.contains(u'='));
    return quote ? '"' + v.toUtf8() + '"' : v.toUtf8();
}

QByteArray propertyName(const VCardProperty &p)
{
    QByteArray line;
    if (!p.group.isEmpty()) {
        line += p.group.toUtf8();
        line += '.';
    }
    // Written as the file had it ("X-ABLabel"), so lines the kit did not change stay the same.
    const bool spelled = !p.spelling.isEmpty() && p.spelling.compare(p.name, Qt::CaseInsensitive) == 0;
    line += (spelled ? p.spelling : p.name).toUtf8();
    return line;
}

QByteArray propertyLine(const VCardProperty &p)
{
    QByteArray line = propertyName(p);
    for (const Parameter &param : p.parameters) {
        if (param.name.isEmpty() && param.values.isEmpty())
            continue;
        line += ';';
        if (!param.name.isEmpty()) {
            line += param.name.toUtf8();
            line += '=';
        }
        const bool list = isListParameter(param.name);
        for (qsizetype i = 0; i < param.values.size(); ++i) {
            if (i > 0)
                line += ',';
            line += parameterValue(param.values.at(i), list, param.name.isEmpty(), param.quoted);
        }
    }
    line += ':';
    line += escapeLineBreaks(p.rawValue).toUtf8();
    return line;
}

// ---- Version 2.1 --------------------------------------------------------------------------

// The text of a value held in the 3.0 form, as 2.1 writes it: only "\\;" is an escape there.
QByteArray textFor21(const QString &raw)
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
        if (n == u'n' || n == u'N')
            out += "\r\n"_L1;
        else if (n == u';')
            out += "\\;"_L1;
        else if (n == u'\\' || n == u',')
            out += n;
        else
            out.append(u'\\').append(n);
    }
    return out.toUtf8();
}

// Quoted-printable with soft breaks, each physical line at most 76 octets.
void appendQuotedPrintable(QByteArray &out, qsizetype used, QByteArrayView value, QByteArrayView eol)
{
    static const char hex[] = "0123456789ABCDEF";
    for (char ch : value) {
        const uchar c = uchar(ch);
        QByteArray unit;
        if (c == '=' || c < 0x20 || c >= 0x7F)
            unit = QByteArray("=") + hex[c >> 4] + hex[c & 15];
        else
            unit = QByteArray(1, ch);
        if (used + unit.size() > 75) {
            out += '=';
            out += eol;
            used = 0;
        }
        out += unit;
        used += unit.size();
    }
    out += eol;
}

QByteArray propertyLine21(const VCardProperty &p, QByteArrayView eol)
{
    QByteArray line = propertyName(p);
    bool base64 = false;
    for (const Parameter &param : p.parameters) {
        const bool bare = param.name.isEmpty() || param.name == "TYPE"_L1;
        for (const QString &value : param.values) {
            if (bare) {
                line += ';' + value.toUtf8();
            } else if (param.name == "ENCODING"_L1 && (value.compare("b"_L1, Qt::CaseInsensitive) == 0
                                                      || value.compare("BASE64"_L1, Qt::CaseInsensitive) == 0)) {
                line += ";ENCODING=BASE64";
                base64 = true;
            } else {
                line += ';' + param.name.toUtf8() + '=' + parameterValue(value, false, false, param.quoted);
            }
        }
        if (!bare && param.values.isEmpty())
            line += ';' + param.name.toUtf8();
    }
    QByteArray out;
    if (base64) {
        // 2.1 readers look for the empty line that ends base64.
        appendFolded(out, line + ':' + p.rawValue.toLatin1(), eol);
        return out + eol.toByteArray();
    }
    const QByteArray value = textFor21(p.rawValue);
    bool plain = line.size() + 1 + value.size() <= kFoldOctets;
    bool ascii = true;
    for (char c : value) {
        plain = plain && uchar(c) >= 0x20 && uchar(c) < 0x7F;
        ascii = ascii && uchar(c) < 0x80;
    }
    if (plain) {
        out = line + ':' + value + eol.toByteArray();
        return out;
    }
    line += ascii ? ";ENCODING=QUOTED-PRINTABLE:" : ";CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:";
    out = line;
    appendQuotedPrintable(out, line.size(), value, eol);
    return out;
}

} // namespace

namespace detail::vcard {

QByteArray writeProperty(const VCardProperty &p, const QString &version, QByteArrayView eol)
{
    if (version == "2.1"_L1)
        return propertyLine21(p, eol);
    QByteArray out;
    appendFolded(out, propertyLine(p), eol);
    return out;
}

} // namespace detail::vcard

QByteArray writeVCard(const VCard &card, const QString &version)
{
    const QByteArray v = version == "4.0"_L1 ? "4.0" : "3.0";
    QByteArray out;
    out += "BEGIN:VCARD\r\nVERSION:" + v + "\r\n";
    for (const VCardProperty &p : card.properties)
        appendFolded(out, propertyLine(p));
    out += "END:VCARD\r\n";
    return out;
}

} // namespace platform
