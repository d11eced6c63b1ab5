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

void appendFolded(QByteArray &out, QByteArrayView line)
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
        out.append("\r\n ");
        pos = cut;
        room = kFoldOctets - 1;
    }
    out.append(line.sliced(pos));
    out.append("\r\n");
}

QByteArray parameterValue(const QString &value, bool list, bool bare)
{
    const QString v = encodeCarets(value);
    const bool quote = v.isEmpty() || v.contains(u':') || v.contains(u';')
                       || (list && v.contains(u',')) || (bare && v.contains(u'='));
    return quote ? '"' + v.toUtf8() + '"' : v.toUtf8();
}

QByteArray propertyLine(const VCardProperty &p)
{
    QByteArray line;
    if (!p.group.isEmpty()) {
        line += p.group.toUtf8();
        line += '.';
    }
    // Written as the file had it ("X-ABLabel"), so lines the kit did not change stay the same.
    const bool spelled = !p.spelling.isEmpty() && p.spelling.compare(p.name, Qt::CaseInsensitive) == 0;
    line += (spelled ? p.spelling : p.name).toUtf8();
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
            line += parameterValue(param.values.at(i), list, param.name.isEmpty());
        }
    }
    line += ':';
    line += escapeLineBreaks(p.rawValue).toUtf8();
    return line;
}

} // namespace

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
