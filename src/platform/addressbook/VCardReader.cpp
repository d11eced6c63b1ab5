// Reading vCards: unfolding, parameters, 2.1 quoted-printable and charsets, and cards
// that are broken in the ways real files are.
#include "platform/addressbook/VCard.h"

#include "platform/addressbook/detail/VCardText.h"

#include <QByteArrayView>
#include <QStringDecoder>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace platform {

namespace {

using namespace detail::vcard;
using Parameter = VCardProperty::Parameter;

// A damaged or hostile file can have a problem on every line; the list stays readable.
constexpr qsizetype kMaxProblems = 500;

// ---------------------------------------------------------------------------------------
// Bytes and characters

bool isNameChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'
           || c == '_';
}

bool isBase64Char(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+'
           || c == '/' || c == '=';
}

char upperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

bool equalsAsciiCi(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (upperAscii(a[i]) != upperAscii(b[i]))
            return false;
    return true;
}

bool startsWithAsciiCi(QByteArrayView s, qsizetype pos, QByteArrayView what)
{
    return pos >= 0 && s.size() - pos >= what.size() && equalsAsciiCi(s.sliced(pos, what.size()), what);
}

QByteArrayView trimmed(QByteArrayView s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && (isWhitespace(s[b]) || s[b] == '\0'))
        ++b;
    while (e > b && (isWhitespace(s[e - 1]) || s[e - 1] == '\0'))
        --e;
    return s.sliced(b, e - b);
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

QByteArray decodeQuotedPrintable(QByteArrayView in)
{
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (c == '=' && i + 2 < in.size() && hexValue(in[i + 1]) >= 0 && hexValue(in[i + 2]) >= 0) {
            out.append(char(hexValue(in[i + 1]) * 16 + hexValue(in[i + 2])));
            i += 2;
        } else if (c == '=' && i + 1 == in.size()) {
            // A soft break with nothing after it.
        } else {
            out.append(c);
        }
    }
    return out;
}

} // namespace

namespace detail::vcard {

// What Windows writes when a file says ISO-8859-1 or US-ASCII: bytes 0x80-0x9F are
// punctuation there, not control characters.
QString decodeWindows1252(QByteArrayView bytes)
{
    static constexpr char16_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString out;
    out.resize(bytes.size());
    QChar *d = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const uchar b = uchar(bytes[i]);
        d[i] = (b >= 0x80 && b < 0xA0) ? QChar(high[b - 0x80]) : QChar(char16_t(b));
    }
    return out;
}

} // namespace detail::vcard

namespace {

// Some decoders (UTF-16, UTF-32) pass broken input through as lone surrogates, which
// UTF-8 cannot carry: they become U+FFFD here rather than '?' when written.
QString replaceLoneSurrogates(QString text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
    return text;
}

enum class Charset { Utf8, Windows1252, Other, Unknown };

Charset classifyCharset(const QString &name)
{
    const QString n = name.trimmed().toUpper();
    if (n.isEmpty() || n == "UTF-8"_L1 || n == "UTF8"_L1)
        return Charset::Utf8;
    if (n == "US-ASCII"_L1 || n == "ASCII"_L1 || n == "ISO-8859-1"_L1 || n == "ISO8859-1"_L1
        || n == "ISO_8859-1"_L1 || n == "LATIN1"_L1 || n == "LATIN-1"_L1 || n == "WINDOWS-1252"_L1
        || n == "CP1252"_L1)
        return Charset::Windows1252;
    QStringDecoder probe(n.toLatin1().constData());
    return probe.isValid() ? Charset::Other : Charset::Unknown;
}

/** Text from \a bytes in \a charset; bytes that are not valid UTF-8 are read as Windows-1252. */
QString decodeText(QByteArrayView bytes, const QString &charset, QString *problem)
{
    switch (classifyCharset(charset)) {
    case Charset::Windows1252:
        return decodeWindows1252(bytes);
    case Charset::Other: {
        QStringDecoder decoder(charset.trimmed().toLatin1().constData(), QStringDecoder::Flag::ConvertInitialBom);
        QString text = replaceLoneSurrogates(decoder.decode(bytes));
        if (!decoder.hasError())
            return text;
        *problem = u"value is not valid %1"_s.arg(charset);
        return text;
    }
    case Charset::Unknown:
        *problem = u"unknown CHARSET %1, read as UTF-8"_s.arg(charset);
        break;
    case Charset::Utf8:
        break;
    }
    // A BOM inside a value is text: only the one at the start of the file is dropped.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    if (problem->isEmpty())
        *problem = u"value is not UTF-8, read as Windows-1252"_s;
    return decodeWindows1252(bytes);
}

// QString::fromUtf8() drops a leading BOM; in a parameter it is text like any other. Bytes
// that are not UTF-8 are read as Windows-1252, as values are, and \a notUtf8 is set.
QString fromUtf8(QByteArrayView bytes, bool *notUtf8 = nullptr)
{
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (!decoder.hasError() || !notUtf8)
        return text;
    *notUtf8 = true;
    return decodeWindows1252(bytes);
}

// ---------------------------------------------------------------------------------------
// Parameters

bool isTypeParameter(const QString &name)
{
    return name.isEmpty() || name.compare("TYPE"_L1, Qt::CaseInsensitive) == 0;
}

QString decodeCarets(const QString &in)
{
    if (!in.contains(u'^'))
        return in;
    QString out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        const QChar c = in.at(i);
        if (c == u'^' && i + 1 < in.size()) {
            const QChar n = in.at(i + 1);
            if (n == u'n' || n == u'N') {
                out += u'\n';
                ++i;
                continue;
            }
            if (n == u'\'') {
                out += u'"';
                ++i;
                continue;
            }
            if (n == u'^') {
                out += u'^';
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

// Some servers write TYPE=&quot;HOME,VOICE&quot; with the quotes HTML-escaped.
QString stripHtmlQuotes(QString value)
{
    static const QLatin1StringView quot("&quot;");
    while (value.startsWith(quot, Qt::CaseInsensitive))
        value.remove(0, quot.size());
    while (value.endsWith(quot, Qt::CaseInsensitive))
        value.chop(quot.size());
    return value;
}

// How a quote that is never closed is read.
enum class OpenQuote {
    Literal,   ///< the '"' is text: the whole line is known
    RunsToEnd, ///< the quote may close on a line still to come
};

// One parameter value from \a pos: a quoted string or bytes up to ';', ':' and, in a
// list, ','. "&quot;" is one unit so its ';' does not end the value.
QByteArray scanValue(QByteArrayView line, qsizetype &pos, bool list, OpenQuote openQuote, bool &quoted)
{
    QByteArray out;
    const qsizetype n = line.size();
    if (pos < n && line[pos] == '"') {
        const qsizetype close = line.indexOf('"', pos + 1);
        if (close >= 0) {
            out = line.sliced(pos + 1, close - pos - 1).toByteArray();
            pos = close + 1;
            quoted = true;
        } else if (openQuote == OpenQuote::RunsToEnd) {
            pos = n;
            return out;
        }
    }
    while (pos < n) {
        const char c = line[pos];
        if (c == '&' && startsWithAsciiCi(line, pos, "&quot;")) {
            out.append(line.sliced(pos, 6));
            pos += 6;
            continue;
        }
        if (c == ';' || c == ':' || (list && c == ','))
            break;
        out.append(c);
        ++pos;
    }
    return out;
}

struct Header
{
    bool complete = false;     ///< the ':' before the value was found
    QString error;             ///< why the line cannot be used, when complete
    bool notUtf8 = false;      ///< a parameter was read as Windows-1252
    QString group;
    QString spelling;
    QString name;
    QList<Parameter> parameters;
    qsizetype valueStart = -1;
};

Header parseHeader(QByteArrayView line, OpenQuote openQuote = OpenQuote::Literal)
{
    Header h;
    const qsizetype n = line.size();
    qsizetype pos = 0;
    while (pos < n && line[pos] != ';' && line[pos] != ':')
        ++pos;
    const QByteArrayView full = line.first(pos);
    const qsizetype dot = full.indexOf('.');
    const QByteArrayView group = dot >= 0 ? full.first(dot) : QByteArrayView();
    const QByteArrayView name = dot >= 0 ? full.sliced(dot + 1) : full;
    bool validName = !name.isEmpty() && (dot < 0 || !group.isEmpty());
    for (char c : name)
        validName = validName && (isNameChar(c) || c == '.');
    for (char c : group)
        validName = validName && isNameChar(c);
    h.group = QString::fromLatin1(group);
    h.spelling = QString::fromLatin1(name);
    h.name = h.spelling.toUpper();

    while (pos < n && line[pos] == ';') {
        ++pos;
        qsizetype q = pos;
        while (q < n && line[q] != '=' && line[q] != ';' && line[q] != ':' && line[q] != '"'
               && line[q] != ',')
            ++q;
        Parameter p;
        if (q < n && line[q] == '=') {
            p.name = fromUtf8(line.sliced(pos, q - pos), &h.notUtf8).toUpper();
            pos = q + 1;
            if (pos >= n || line[pos] == ';' || line[pos] == ':') {
                if (!p.name.isEmpty())
                    h.parameters.append(p);
                continue;
            }
        } else if (pos >= n || line[pos] == ';' || line[pos] == ':') {
            continue; // "TEL;;X" or "NOPARAM;:" - nothing there
        }
        const bool list = isListParameter(p.name);
        const bool type = isTypeParameter(p.name);
        for (;;) {
            QString value = decodeCarets(fromUtf8(scanValue(line, pos, list, openQuote, p.quoted), &h.notUtf8));
            p.values.append(type ? stripHtmlQuotes(value) : value);
            if (list && pos < n && line[pos] == ',') {
                ++pos;
                continue;
            }
            break;
        }
        h.parameters.append(p);
    }
    if (pos >= n || line[pos] != ':')
        return h;
    h.complete = true;
    h.valueStart = pos + 1;
    if (!validName)
        h.error = u"not a property name: \"%1\""_s.arg(QString::fromUtf8(full.first(qMin(full.size(), 40))));
    return h;
}

// Whether a parameter named \a name holds \a value; for TYPE, bare 2.1 values count too.
bool hasParameterValue(const QList<Parameter> &parameters, const QString &name, QLatin1StringView value)
{
    const bool type = isTypeParameter(name);
    for (const Parameter &p : parameters) {
        const bool named = type ? isTypeParameter(p.name) : p.name.compare(name, Qt::CaseInsensitive) == 0;
        if (!named)
            continue;
        for (const QString &v : p.values)
            if (v.compare(value, Qt::CaseInsensitive) == 0)
                return true;
    }
    return false;
}

bool isQuotedPrintableParameter(const Parameter &p)
{
    if (!p.name.isEmpty() && p.name != "ENCODING"_L1)
        return false;
    for (const QString &v : p.values)
        if (v.compare("QUOTED-PRINTABLE"_L1, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

bool isQuotedPrintable(const QList<Parameter> &parameters)
{
    return std::any_of(parameters.cbegin(), parameters.cend(), isQuotedPrintableParameter);
}

// ---------------------------------------------------------------------------------------
// Values

// A 2.1 value knows no escapes but "\;": write it the way 3.0 escapes text.
QString escapeFrom21(const QString &text, bool escapeCommas)
{
    QString out;
    out.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\\') {
            if (i + 1 < text.size() && text.at(i + 1) == u';') {
                out += "\\;"_L1;
                ++i;
            } else {
                out += "\\\\"_L1;
            }
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            out += "\\n"_L1;
        } else if (c == u',' && escapeCommas) {
            out += "\\,"_L1;
        } else {
            out += c;
        }
    }
    return out;
}


// ---------------------------------------------------------------------------------------
// Reading

struct PendingProperty
{
    Header header;
    QByteArray value;
    int line = 0;
    qsizetype start = -1; // where its physical lines lie in the bytes read
    qsizetype end = -1;
};

class Reader
{
public:
    VCardReadResult result;

    void line(QByteArrayView text, int lineNo, qsizetype start, qsizetype end);
    void finish();
    bool inVersion21() const { return m_inCard && m_version == "2.1"_L1; }

private:
    void problem(int lineNo, const QString &what);
    void startCard(int lineNo);
    void endCard();
    VCardProperty convert(PendingProperty &pending, bool from21);

    bool m_inCard = false;
    int m_cardLine = 0;
    int m_skipDepth = 0;
    bool m_strayReported = false;
    bool m_versionSeen = false;
    QString m_version;
    QList<PendingProperty> m_pending;
    qsizetype m_problemCount = 0;
};

void Reader::problem(int lineNo, const QString &what)
{
    ++m_problemCount;
    if (m_problemCount <= kMaxProblems)
        result.problems.append(u"line %1: %2"_s.arg(lineNo).arg(what));
    else if (m_problemCount == kMaxProblems + 1)
        result.problems.append(u"line %1: further problems not listed"_s.arg(lineNo));
}

bool isBeginLine(QByteArrayView text)
{
    return equalsAsciiCi(trimmed(text), "BEGIN:VCARD");
}

bool valueIsVCard(QByteArrayView value)
{
    return equalsAsciiCi(trimmed(value), "VCARD");
}

void Reader::startCard(int lineNo)
{
    m_inCard = true;
    m_cardLine = lineNo;
    m_skipDepth = 0;
    m_versionSeen = false;
    m_version = u"3.0"_s;
    m_pending.clear();
    m_strayReported = false;
}

void Reader::line(QByteArrayView text, int lineNo, qsizetype start, qsizetype end)
{
    if (trimmed(text).isEmpty())
        return;
    if (!m_inCard) {
        if (isBeginLine(text)) {
            startCard(lineNo);
        } else if (!m_strayReported) {
            problem(lineNo, u"text outside a vCard skipped"_s);
            m_strayReported = true;
        }
        return;
    }
    if (m_skipDepth > 0) {
        if (isBeginLine(text))
            ++m_skipDepth;
        else if (equalsAsciiCi(trimmed(text), "END:VCARD"))
            --m_skipDepth;
        return;
    }

    Header h = parseHeader(text);
    if (!h.complete) {
        problem(lineNo, u"no ':' in the line, skipped"_s);
        return;
    }
    if (!h.error.isEmpty()) {
        problem(lineNo, h.error + u", skipped"_s);
        return;
    }
    if (h.notUtf8)
        problem(lineNo, u"parameter is not UTF-8, read as Windows-1252"_s);
    const QByteArrayView value = text.sliced(h.valueStart);
    if (h.name == "BEGIN"_L1 && valueIsVCard(value)) {
        // 2.1 writes an AGENT's card right after an empty AGENT line.
        if (!m_pending.isEmpty() && m_pending.constLast().header.name == "AGENT"_L1
            && trimmed(m_pending.constLast().value).isEmpty()) {
            m_pending.removeLast();
            m_skipDepth = 1;
            problem(lineNo, u"nested AGENT card skipped"_s);
            return;
        }
        problem(lineNo, u"the card from line %1 has no END:VCARD"_s.arg(m_cardLine));
        endCard();
        startCard(lineNo);
        return;
    }
    if (h.name == "END"_L1 && valueIsVCard(value)) {
        endCard();
        return;
    }
    if (h.name == "VERSION"_L1) {
        const QString v = QString::fromUtf8(trimmed(value));
        if (v == "2.1"_L1 || v == "3.0"_L1 || v == "4.0"_L1) {
            m_version = v;
        } else {
            m_version = u"3.0"_s;
            problem(lineNo, u"unknown VERSION \"%1\", read as 3.0"_s.arg(v.left(20)));
        }
        m_versionSeen = true;
        return;
    }
    m_pending.append(PendingProperty{std::move(h), value.toByteArray(), lineNo, start, end});
}

VCardProperty Reader::convert(PendingProperty &pending, bool from21)
{
    Header &h = pending.header;
    VCardProperty p;
    p.group = h.group;
    p.name = h.name;
    p.spelling = h.spelling;
    p.sourceStart = pending.start;
    p.sourceEnd = pending.end;

    QString charset;
    const bool qp = isQuotedPrintable(h.parameters);
    const bool base64 = isBase64(h.parameters);
    p.parameters.reserve(h.parameters.size());
    for (Parameter &param : h.parameters) {
        // The value is stored as text from here on: its transfer encoding and charset
        // no longer describe it.
        if (param.name == "CHARSET"_L1) {
            if (charset.isEmpty())
                charset = param.values.value(0);
            continue;
        }
        if (qp && (param.name == "ENCODING"_L1 || isQuotedPrintableParameter(param)))
            continue;
        p.parameters.append(std::move(param));
    }

    QString problemText;
    const QByteArray bytes = qp ? decodeQuotedPrintable(pending.value) : pending.value;
    QString text = decodeText(bytes, charset, &problemText);
    if (!problemText.isEmpty())
        problem(pending.line, problemText);

    if (from21 && !base64) {
        const bool listOrUri = p.name == "URL"_L1 || p.name == "CATEGORIES"_L1
                               || p.name == "NICKNAME"_L1
                               || hasParameterValue(p.parameters, u"VALUE"_s, "URI"_L1)
                               || hasParameterValue(p.parameters, u"VALUE"_s, "URL"_L1);
        text = escapeFrom21(text, !listOrUri);
    } else if (qp) {
        text = escapeLineBreaks(text);
    }
    p.rawValue = std::move(text);
    return p;
}

void Reader::endCard()
{
    if (!m_versionSeen)
        problem(m_cardLine, u"the card has no VERSION, read as 3.0"_s);
    VCard card;
    card.version = m_version;
    const bool from21 = m_version == "2.1"_L1;
    card.properties.reserve(m_pending.size());
    for (PendingProperty &pending : m_pending)
        card.properties.append(convert(pending, from21));
    result.cards.append(std::move(card));
    m_pending.clear();
    m_inCard = false;
    m_skipDepth = 0;
}

void Reader::finish()
{
    if (!m_inCard)
        return;
    problem(m_cardLine, u"the card has no END:VCARD"_s);
    endCard();
}

// Joins physical lines into content lines: folds, 2.1 quoted-printable soft breaks and
// the unindented base64 lines some 2.1 writers leave behind.
class Unfolder
{
public:
    explicit Unfolder(Reader &reader) : m_reader(reader) {}

    /** One physical line, \a text, lying from \a start to \a end (its line end included). */
    void physical(QByteArrayView text, int lineNo, qsizetype start, qsizetype end)
    {
        if (m_have) {
            if (m_current.endsWith('=') && info().quotedPrintable) {
                m_current.chop(1);
                m_current.append(text);
                m_end = end;
                return;
            }
            if (!text.isEmpty() && isWhitespace(text[0])) {
                m_current.append(text.sliced(1));
                m_end = end;
                m_blankSince = false;
                return;
            }
            // An empty line ends the line before it only when no continuation follows.
            if (text.isEmpty()) {
                m_blankSince = true;
                return;
            }
            // Only 2.1 writers leave such lines; a 3.0 line without ':' can be the first
            // part of a folded line. The empty line 2.1 writes after base64 ends it.
            if (!m_blankSince && m_reader.inVersion21() && info().base64 && looksLikeBase64(text)) {
                m_current.append(text);
                m_end = end;
                return;
            }
            flush();
        }
        m_current = text.toByteArray();
        m_line = lineNo;
        m_start = start;
        m_end = end;
        m_have = true;
        m_blankSince = false;
        m_info = {};
    }

    void flush()
    {
        if (m_have)
            m_reader.line(m_current, m_line, m_start, m_end);
        m_have = false;
        m_current.clear();
    }

private:
    struct Info
    {
        bool known = false;
        bool quotedPrintable = false;
        bool base64 = false;
        qsizetype retryAt = 0;
    };

    static bool looksLikeBase64(QByteArrayView text)
    {
        for (char c : text)
            if (!isBase64Char(c))
                return false;
        return true;
    }

    // Parsed once the header is complete; until then retried only when the line has
    // doubled, so a long header without ':' stays linear. An open quote keeps the header
    // incomplete: what follows may close it.
    const Info &info()
    {
        if (!m_info.known && m_current.size() >= m_info.retryAt) {
            const Header h = parseHeader(m_current, OpenQuote::RunsToEnd);
            if (h.complete) {
                m_info.known = true;
                m_info.quotedPrintable = isQuotedPrintable(h.parameters);
                // Only the 2.1 spelling: 3.0 writers fold their base64 properly.
                m_info.base64 = !m_info.quotedPrintable
                                && (hasParameterValue(h.parameters, u"ENCODING"_s, "BASE64"_L1)
                                    || hasParameterValue(h.parameters, u"TYPE"_s, "BASE64"_L1));
            } else {
                m_info.retryAt = m_current.size() * 2 + 1;
            }
        }
        return m_info;
    }

    Reader &m_reader;
    QByteArray m_current;
    int m_line = 0;
    qsizetype m_start = 0;
    qsizetype m_end = 0;
    bool m_have = false;
    bool m_blankSince = false; // empty lines came after the current line
    Info m_info;
};

} // namespace

VCardReadResult readVCards(const QByteArray &input)
{
    QByteArray converted;
    QByteArrayView data(input);
    qsizetype offset = 0; // of data in input; -1 when data is a conversion of it
    if (data.startsWith("\xEF\xBB\xBF")) {
        data = data.sliced(3);
        offset = 3;
    } else if (data.startsWith("\xFF\xFE") || data.startsWith("\xFE\xFF")) {
        QStringDecoder utf16(data.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        converted = QString(utf16.decode(data.sliced(2))).toUtf8();
        data = converted;
        offset = -1;
    }

    Reader reader;
    Unfolder unfolder(reader);
    const qsizetype n = data.size();
    qsizetype start = 0;
    int lineNo = 1;
    while (start < n) {
        qsizetype end = start;
        while (end < n && data[end] != '\r' && data[end] != '\n')
            ++end;
        qsizetype next = end;
        if (next < n && data[next] == '\r' && next + 1 < n && data[next + 1] == '\n')
            ++next;
        next = std::min(next + 1, n);
        unfolder.physical(data.sliced(start, end - start), lineNo, start, next);
        ++lineNo;
        start = next;
    }
    unfolder.flush();
    reader.finish();
    for (VCard &card : reader.result.cards) {
        for (VCardProperty &p : card.properties) {
            p.sourceStart = offset < 0 ? -1 : p.sourceStart + offset;
            p.sourceEnd = offset < 0 ? -1 : p.sourceEnd + offset;
        }
    }
    if (reader.result.cards.isEmpty() && !input.isEmpty() && reader.result.problems.isEmpty())
        reader.result.problems.append(u"line 1: no vCard found"_s);
    return std::move(reader.result);
}

} // namespace platform
