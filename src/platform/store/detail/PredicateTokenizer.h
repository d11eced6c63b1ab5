#pragma once
// Not installed: the tokens of a predicate format, read in one pass for the parser.

#include "foundation/ZEM_Result.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

namespace platform::detail {

struct Token
{
    enum Kind {
        End,
        Word,     // a key or keyword; `escaped` after `#`
        Text,     // a quoted text, unescaped
        Number,   // value holds qint64, quint64 or double
        Argument, // text holds the conversion: "@", "K", "d", "f"
        LParen,
        RParen,
        LBrace,
        RBrace,
        LBracket,
        RBracket,
        Comma,
        Dot,
        Op,  // a comparison symbol in text
        And, // &&
        Or,  // ||
        Not, // !
    };
    Kind kind = End;
    qsizetype pos = 0;
    QString text;
    QVariant value;
    bool escaped = false;
    int argument = -1; // index into the arguments for Argument tokens
};

/** A ParseFailed error naming \a pos, an offset into the format. */
ZEM_Error parseError(const QString &what, qsizetype pos);

class Tokenizer
{
public:
    explicit Tokenizer(const QString &format) : m_s(format) {}

    // Every token in one pass; nullopt with error() set on bad input.
    std::optional<QList<Token>> run();

    const ZEM_Error &error() const { return m_error; }

private:
    QChar at(qsizetype i) const { return i < m_s.size() ? m_s.at(i) : QChar(); }
    void skipSpace();
    bool fail(const QString &what, qsizetype pos);
    bool next(Token &t, int &arguments);
    bool word(Token &t);
    bool number(Token &t);
    bool text(Token &t);
    bool argument(Token &t, int &arguments);

    const QString &m_s;
    qsizetype m_i = 0;
    ZEM_Error m_error;
};

} // namespace platform::detail
