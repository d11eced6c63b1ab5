#include "platform/RtfReader.h"

#include <QHash>
#include <QList>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace platform {

namespace {

// Control words that stand for one character; a null QChar for any other word.
QChar symbolForWord(QByteArrayView word)
{
    static const struct
    {
        const char *word;
        char16_t symbol;
    } symbols[] = {
        {"par", u'\n'},        {"line", u'\n'},      {"sect", u'\n'},     {"page", u'\n'},
        {"tab", u'\t'},        {"emdash", 0x2014},    {"endash", 0x2013},   {"bullet", 0x2022},
        {"lquote", 0x2018},    {"rquote", 0x2019},    {"ldblquote", 0x201C}, {"rdblquote", 0x201D},
        {"enspace", u' '},     {"emspace", u' '},     {"qmspace", u' '},
    };
    for (const auto &s : symbols)
        if (word == s.word)
            return QChar(s.symbol);
    return {};
}

// Code page 1252 differs from Latin-1 only in 0x80-0x9F.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    return (c | 0x20) - 'a' + 10;
}

QChar cp1252(unsigned char byte)
{
    if (byte >= 0x80 && byte < 0xA0)
        return QChar(kCp1252High[byte - 0x80]);
    return QChar(char16_t(byte));
}

// Destinations whose content is never text of the document.
bool isSkippedDestination(const QByteArray &word)
{
    static const char *const names[] = {
        "stylesheet", "info",      "pict",      "header",     "headerl",    "headerr",
        "headerf",    "footer",    "footerl",   "footerr",    "footerf",    "footnote",
        "object",     "fldinst",   "themedata", "colorschememapping", "latentstyles",
        "datastore",  "xmlnstbl",  "listtable", "listoverridetable",  "rsidtbl",
        "generator",  "filetbl",   "revtbl",    "pgdsctbl",   "shppict",    "nonshppict",
        "bkmkstart",  "bkmkend",   "xe",        "tc",         "txe",        "template",
        "comment",    "annotation", "atnid",    "atnauthor",  "private",    "operator",
        "author",     "title",     "subject",   "keywords",   "doccomm",    "company",
    };
    for (const char *name : names)
        if (word == name)
            return true;
    return false;
}

enum class Destination { Text, FontTable, ColorTable, Skip };

struct State
{
    Destination destination = Destination::Text;
    int font = -1; // -1: the document's default font
    int halfPoints = 24;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int color = 0;
    int unicodeSkip = 1;

    bool sameLook(const State &o) const
    {
        return font == o.font && halfPoints == o.halfPoints && bold == o.bold && italic == o.italic
            && underline == o.underline && color == o.color;
    }
};

class Parser
{
public:
    explicit Parser(const QByteArray &data)
        : m_p(data.constData()), m_end(data.constData() + data.size())
    {
    }

    ZEM_Result<AttributedString> run()
    {
        // Position on the root group's brace.
        while (m_p < m_end && std::strchr(" \t\r\n", *m_p))
            ++m_p;
        if (m_end - m_p < 5 || std::memcmp(m_p, "{\\rtf", 5) != 0)
            return ZEM_Error::make(ZEM_Error::ParseFailed, QStringLiteral("The data is not rich text."));
        while (m_p < m_end) {
            const char c = *m_p++;
            switch (c) {
            case '{':
                if (m_stack.size() >= RtfReader::maxDepth())
                    return ZEM_Error::make(ZEM_Error::ParseFailed,
                                           QStringLiteral("The rich text nests groups too deeply."));
                m_stack.append(m_state);
                m_skipChars = 0;
                m_ignorable = false;
                break;
            case '}':
                if (m_state.destination == Destination::FontTable)
                    commitFont();
                m_skipChars = 0;
                m_ignorable = false;
                if (m_stack.size() == 1) {
                    // The root group closed: anything after it is not part of the document.
                    flush();
                    return m_result;
                }
                m_state = m_stack.takeLast();
                break;
            case '\\':
                controlSequence();
                break;
            case '\r':
            case '\n':
                break;
            default:
                character(cp1252(static_cast<unsigned char>(c)));
                break;
            }
        }
        return ZEM_Error::make(ZEM_Error::ParseFailed,
                               QStringLiteral("The rich text ends inside an open group."));
    }

private:
    void controlSequence()
    {
        if (m_p >= m_end)
            return;
        const char c = *m_p;
        if (!std::isalpha(static_cast<unsigned char>(c))) {
            ++m_p;
            controlSymbol(c);
            return;
        }
        QByteArray word;
        while (m_p < m_end && std::isalpha(static_cast<unsigned char>(*m_p))) {
            if (word.size() < 32)
                word.append(*m_p);
            ++m_p;
        }
        bool hasParam = false;
        bool negative = false;
        qint64 param = 0;
        if (m_p < m_end && *m_p == '-') {
            negative = true;
            ++m_p;
        }
        while (m_p < m_end && std::isdigit(static_cast<unsigned char>(*m_p))) {
            hasParam = true;
            param = std::min<qint64>(param * 10 + (*m_p - '0'), 1'000'000'000);
            ++m_p;
        }
        if (negative)
            param = -param;
        if (m_p < m_end && *m_p == ' ')
            ++m_p;
        controlWord(word, hasParam, int(param));
    }

    void controlSymbol(char c)
    {
        if (c == '\'') {
            int value = 0;
            int digits = 0;
            for (; digits < 2 && m_p < m_end && std::isxdigit(static_cast<unsigned char>(*m_p)); ++digits, ++m_p)
                value = value * 16 + hexValue(*m_p);
            if (digits == 2)
                character(cp1252(static_cast<unsigned char>(value)));
            return;
        }
        if (m_skipChars > 0) {
            --m_skipChars;
            return;
        }
        switch (c) {
        case '{':
        case '}':
        case '\\':
            character(QChar(char16_t(c)));
            break;
        case '~':
            character(QChar(char16_t(0x00A0)));
            break;
        case '_':
            character(QChar(char16_t(0x2011)));
            break;
        case '\r':
        case '\n':
            character(QLatin1Char('\n'));
            break;
        case '*':
            m_ignorable = true;
            break;
        default: // \- optional hyphen, \| \: index marks and anything unknown
            break;
        }
    }

    void controlWord(const QByteArray &word, bool hasParam, int param)
    {
        if (word == "bin") {
            // Raw bytes follow; they are skipped wherever they are.
            const qint64 n = std::clamp<qint64>(hasParam ? param : 0, 0, m_end - m_p);
            m_p += n;
            return;
        }
        if (m_ignorable) {
            m_ignorable = false;
            m_state.destination = Destination::Skip;
            return;
        }
        if (m_state.destination == Destination::Skip)
            return;
        if (m_skipChars > 0 && word != "u") {
            --m_skipChars;
            return;
        }
        if (isSkippedDestination(word)) {
            m_state.destination = Destination::Skip;
            return;
        }
        const bool on = !hasParam || param != 0;
        if (word == "fonttbl") {
            m_state.destination = Destination::FontTable;
        } else if (word == "colortbl") {
            m_state.destination = Destination::ColorTable;
            m_colorSet = false;
        } else if (word == "deff") {
            m_defaultFont = param;
        } else if (word == "f") {
            if (m_state.destination == Destination::FontTable)
                commitFont();
            m_state.font = param;
        } else if (word == "fs") {
            m_state.halfPoints = param > 0 ? std::min(param, 3276) : 24;
        } else if (word == "b") {
            m_state.bold = on;
        } else if (word == "i") {
            m_state.italic = on;
        } else if (word == "ul") {
            m_state.underline = on;
        } else if (word == "ulnone") {
            m_state.underline = false;
        } else if (word == "plain") {
            m_state.font = -1;
            m_state.halfPoints = 24;
            m_state.bold = m_state.italic = m_state.underline = false;
            m_state.color = 0;
        } else if (word == "cf") {
            m_state.color = std::max(param, 0);
        } else if (word == "red" || word == "green" || word == "blue") {
            const int v = std::clamp(param, 0, 255);
            if (word == "red")
                m_color.setRed(v);
            else if (word == "green")
                m_color.setGreen(v);
            else
                m_color.setBlue(v);
            m_colorSet = true;
        } else if (word == "uc") {
            m_state.unicodeSkip = std::clamp(param, 0, 16);
        } else if (word == "u") {
            character(QChar(char16_t(param < 0 ? param + 65536 : param)));
            m_skipChars = m_state.unicodeSkip;
        } else if (const QChar c = symbolForWord(word); !c.isNull()) {
            character(c);
        }
        // Everything else (document and paragraph attributes) is dropped.
    }

    void character(QChar ch)
    {
        if (m_skipChars > 0) {
            --m_skipChars;
            return;
        }
        switch (m_state.destination) {
        case Destination::Text:
            if (!m_buffer.isEmpty() && !m_state.sameLook(m_bufferState))
                flush();
            if (m_buffer.isEmpty())
                m_bufferState = m_state;
            m_buffer.append(ch);
            break;
        case Destination::FontTable:
            if (ch == QLatin1Char(';'))
                commitFont();
            else
                m_fontName.append(ch);
            break;
        case Destination::ColorTable:
            if (ch == QLatin1Char(';')) {
                m_colors.append(m_colorSet ? m_color : QColor());
                m_color = QColor(0, 0, 0);
                m_colorSet = false;
            }
            break;
        case Destination::Skip:
            break;
        }
    }

    void commitFont()
    {
        const QString name = m_fontName.trimmed();
        m_fontName.clear();
        if (!name.isEmpty() && m_state.font >= 0 && m_fonts.size() < 4096)
            m_fonts.insert(m_state.font, name);
    }

    void flush()
    {
        if (m_buffer.isEmpty())
            return;
        const State &s = m_bufferState;
        AttributedString::Format format;
        const QString family = m_fonts.value(s.font < 0 ? m_defaultFont : s.font);
        if (!family.isEmpty())
            format.font.setFamily(family);
        format.font.setPointSizeF(s.halfPoints / 2.0);
        format.font.setBold(s.bold);
        format.font.setItalic(s.italic);
        format.font.setUnderline(s.underline);
        if (s.color > 0 && s.color < m_colors.size())
            format.foreground = m_colors.at(s.color);
        m_result.append(m_buffer, format);
        m_buffer.clear();
    }

    const char *m_p;
    const char *m_end;
    QList<State> m_stack;
    State m_state;
    State m_bufferState;
    QString m_buffer;
    QHash<int, QString> m_fonts;
    int m_defaultFont = 0;
    QString m_fontName;
    QList<QColor> m_colors;
    QColor m_color{0, 0, 0};
    bool m_colorSet = false;
    int m_skipChars = 0;
    bool m_ignorable = false;
    AttributedString m_result{QStringLiteral("")};
};

} // namespace

ZEM_Result<AttributedString> RtfReader::read(const QByteArray &rtf)
{
    return Parser(rtf).run();
}

bool RtfReader::looksLikeRtf(const QByteArray &data)
{
    const QByteArray trimmed = data.left(64).trimmed();
    return trimmed.startsWith("{\\rtf");
}

} // namespace platform
