#include "platform/store/detail/PredicateTokenizer.h"

#include "platform/store/detail/PredicateValues.h"

#include <QByteArray>

#include <charconv>
#include <limits>

using namespace Qt::StringLiterals;

namespace platform::detail {

ZEM_Error parseError(const QString &what, qsizetype pos)
{
    return ZEM_Error::make(ZEM_Error::ParseFailed, u"%1 at %2"_s.arg(what).arg(pos),
                           {QString::number(pos)});
}

namespace {

bool asciiDigit(QChar c) { return c.unicode() >= '0' && c.unicode() <= '9'; }

double parseDouble(const QByteArray &digits)
{
    double d = 0;
    const auto r = std::from_chars(digits.constData(), digits.constData() + digits.size(), d);
    if (r.ec == std::errc::result_out_of_range) {
        const bool negative = digits.startsWith('-');
        const qsizetype e = qMax(digits.indexOf('e'), digits.indexOf('E'));
        const bool tiny = e >= 0 && digits.at(e + 1) == '-';
        d = tiny ? 0.0 : std::numeric_limits<double>::infinity();
        if (negative)
            d = -d;
    }
    return d;
}

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

} // namespace

std::optional<QList<Token>> Tokenizer::run()
{
    QList<Token> tokens;
    int arguments = 0;
    while (true) {
        skipSpace();
        Token t;
        t.pos = m_i;
        if (m_i >= m_s.size()) {
            tokens.append(t);
            return tokens;
        }
        if (!next(t, arguments))
            return std::nullopt;
        tokens.append(std::move(t));
    }
}

void Tokenizer::skipSpace()
{
    while (m_i < m_s.size() && m_s.at(m_i).isSpace())
        ++m_i;
}

bool Tokenizer::fail(const QString &what, qsizetype pos)
{
    m_error = parseError(what, pos);
    return false;
}

bool Tokenizer::next(Token &t, int &arguments)
{
    const QChar c = m_s.at(m_i);
    const char16_t u = c.unicode();
    auto single = [&](Token::Kind kind) {
        t.kind = kind;
        ++m_i;
        return true;
    };
    // The canonical spelling in text; `length` characters of the format are consumed.
    auto symbol = [&](const char16_t *text, Token::Kind kind, qsizetype length) {
        t.kind = kind;
        t.text = QString::fromUtf16(text);
        m_i += length;
        return true;
    };
    switch (u) {
    case '(':
        return single(Token::LParen);
    case ')':
        return single(Token::RParen);
    case '{':
        return single(Token::LBrace);
    case '}':
        return single(Token::RBrace);
    case '[':
        return single(Token::LBracket);
    case ']':
        return single(Token::RBracket);
    case ',':
        return single(Token::Comma);
    case '.':
        return single(Token::Dot);
    case '"':
    case '\'':
        return text(t);
    case '%':
        return argument(t, arguments);
    case '#':
        ++m_i;
        if (!word(t))
            return fail(u"expected a key after '#'"_s, t.pos);
        t.escaped = true;
        return true;
    case '=':
        if (at(m_i + 1) == u'=')
            return symbol(u"==", Token::Op, 2);
        if (at(m_i + 1) == u'<')
            return symbol(u"<=", Token::Op, 2);
        if (at(m_i + 1) == u'>')
            return symbol(u">=", Token::Op, 2);
        return symbol(u"==", Token::Op, 1);
    case '!':
        if (at(m_i + 1) == u'=')
            return symbol(u"!=", Token::Op, 2);
        return single(Token::Not);
    case '<':
        if (at(m_i + 1) == u'=')
            return symbol(u"<=", Token::Op, 2);
        if (at(m_i + 1) == u'>')
            return symbol(u"!=", Token::Op, 2);
        return symbol(u"<", Token::Op, 1);
    case '>':
        if (at(m_i + 1) == u'=')
            return symbol(u">=", Token::Op, 2);
        return symbol(u">", Token::Op, 1);
    case '&':
        if (at(m_i + 1) == u'&')
            return symbol(u"&&", Token::And, 2);
        break;
    case '|':
        if (at(m_i + 1) == u'|')
            return symbol(u"||", Token::Or, 2);
        break;
    case '-':
        if (at(m_i + 1).isDigit() && at(m_i + 1).unicode() < 0x80)
            return number(t);
        break;
    default:
        if (u >= '0' && u <= '9')
            return number(t);
        if (word(t))
            return true;
        break;
    }
    qsizetype len = 0;
    const char32_t cp = codePointAt(m_s, m_i, &len);
    const QString shown = QChar::isPrint(cp)
                              ? u"'"_s + QString::fromUcs4(&cp, 1) + u"'"_s
                              : u"U+%1"_s.arg(uint(cp), 4, 16, QLatin1Char('0')).toUpper();
    return fail(u"unexpected character %1"_s.arg(shown), m_i);
}

bool Tokenizer::word(Token &t)
{
    qsizetype len = 0;
    if (m_i >= m_s.size() || !isKeyStart(codePointAt(m_s, m_i, &len)))
        return false;
    const qsizetype start = m_i;
    m_i += len;
    while (m_i < m_s.size() && isKeyPart(codePointAt(m_s, m_i, &len)))
        m_i += len;
    t.kind = Token::Word;
    t.text = m_s.mid(start, m_i - start);
    return true;
}

bool Tokenizer::number(Token &t)
{
    const qsizetype start = m_i;
    if (at(m_i) == u'-')
        ++m_i;
    while (asciiDigit(at(m_i)))
        ++m_i;
    bool real = false;
    if (at(m_i) == u'.' && asciiDigit(at(m_i + 1))) {
        real = true;
        ++m_i;
        while (asciiDigit(at(m_i)))
            ++m_i;
    }
    if (at(m_i) == u'e' || at(m_i) == u'E') {
        qsizetype j = m_i + 1;
        if (at(j) == u'+' || at(j) == u'-')
            ++j;
        if (!asciiDigit(at(j)))
            return fail(u"expected the digits of an exponent"_s, j);
        real = true;
        m_i = j;
        while (asciiDigit(at(m_i)))
            ++m_i;
    }
    const QByteArray digits = m_s.mid(start, m_i - start).toLatin1();
    t.kind = Token::Number;
    t.text = QString::fromLatin1(digits);
    if (!real) {
        const bool negative = digits.startsWith('-');
        quint64 magnitude = 0;
        const char *first = digits.constData() + (negative ? 1 : 0);
        const auto r = std::from_chars(first, digits.constData() + digits.size(), magnitude);
        if (r.ec == std::errc()) {
            constexpr quint64 limit = quint64(std::numeric_limits<qint64>::max());
            if (!negative && magnitude <= limit)
                t.value = qint64(magnitude);
            else if (!negative)
                t.value = magnitude;
            else if (magnitude <= limit + 1)
                t.value = qint64(0 - magnitude);
            else
                real = true;
        } else {
            real = true; // too large for 64 bits: as a double
        }
    }
    if (real)
        t.value = parseDouble(digits);
    return true;
}

bool Tokenizer::text(Token &t)
{
    const QChar quote = m_s.at(m_i);
    const qsizetype start = m_i++;
    QString value;
    while (true) {
        if (m_i >= m_s.size())
            return fail(u"unterminated text starting"_s, start);
        // Copy the plain run in one go.
        qsizetype j = m_i;
        while (j < m_s.size() && m_s.at(j) != quote && m_s.at(j) != u'\\')
            ++j;
        value.append(QStringView(m_s).mid(m_i, j - m_i));
        m_i = j;
        if (m_i >= m_s.size())
            continue;
        if (m_s.at(m_i) == quote) {
            ++m_i;
            break;
        }
        // A backslash.
        const QChar e = at(m_i + 1);
        switch (e.unicode()) {
        case 'n':
            value.append(u'\n');
            break;
        case 'r':
            value.append(u'\r');
            break;
        case 't':
            value.append(u'\t');
            break;
        case '\\':
        case '"':
        case '\'':
            value.append(e);
            break;
        case 'u': {
            int code = 0;
            for (int k = 0; k < 4; ++k) {
                const int h = hexValue(at(m_i + 2 + k));
                if (h < 0)
                    return fail(u"expected four hex digits after \\u"_s, m_i);
                code = code * 16 + h;
            }
            value.append(QChar(char16_t(code)));
            m_i += 6;
            continue;
        }
        default:
            if (m_i + 1 >= m_s.size())
                return fail(u"unterminated text starting"_s, start);
            // Unknown escapes stay as written, so regular expressions read naturally.
            value.append(u'\\');
            value.append(e);
            break;
        }
        m_i += 2;
    }
    t.kind = Token::Text;
    t.text = std::move(value);
    return true;
}

bool Tokenizer::argument(Token &t, int &arguments)
{
    static const char *const specs[] = {"lld", "lli", "llu", "ld", "li", "lu", "lf",
                                        "@",   "K",   "d",   "i",  "u",  "f"};
    for (const char *spec : specs) {
        const QLatin1StringView s(spec);
        if (QStringView(m_s).mid(m_i + 1).startsWith(s)) {
            t.kind = Token::Argument;
            const char last = spec[qstrlen(spec) - 1];
            t.text = last == 'i' || last == 'u' ? u"d"_s : QString(QLatin1Char(last));
            t.argument = arguments++;
            m_i += 1 + s.size();
            return true;
        }
    }
    const QString shown = at(m_i + 1).isNull() ? u"%"_s : u"%"_s + at(m_i + 1);
    return fail(u"unknown argument '%1'"_s.arg(shown), m_i);
}

} // namespace platform::detail
