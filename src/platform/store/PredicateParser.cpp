// The parser: a format string and its arguments into a predicate's tree. The tokens come
// from detail/PredicateTokenizer; the text form back is the formatter's job.

#include "platform/store/Predicate.h"

#include "platform/store/detail/PredicateTokenizer.h"
#include "platform/store/detail/PredicateValues.h"

#include <QByteArray>
#include <QDateTime>
#include <QRegularExpression>

#include <cmath>
#include <limits>
#include <optional>

using namespace Qt::StringLiterals;

namespace platform {

namespace {

using namespace detail;

class Parser
{
public:
    Parser(QList<Token> tokens, const QVariantList &arguments)
        : m_t(std::move(tokens)), m_args(arguments)
    {
    }

    ZEM_Result<Predicate> run()
    {
        NodePtr root = parseOr();
        if (!root)
            return *m_error;
        if (peek().kind != Token::End)
            return parseError(u"expected AND, OR or the end"_s, peek().pos);
        if (m_used < m_args.size())
            return ZEM_Error::make(
                ZEM_Error::InvalidArgument,
                u"too many arguments: %1 given, %2 used"_s.arg(m_args.size()).arg(m_used),
                {QString::number(m_args.size()), QString::number(m_used)});
        return Predicate(root);
    }

private:
    const Token &peek() const { return m_t.at(m_p); }
    const Token &take() { return m_t.at(m_p < m_t.size() - 1 ? m_p++ : m_p); }

    bool isWord(const Token &t, const char *word) const
    {
        return t.kind == Token::Word && !t.escaped &&
               t.text.compare(QLatin1StringView(word), Qt::CaseInsensitive) == 0;
    }

    std::nullptr_t fail(ZEM_Error error)
    {
        if (!m_error)
            m_error = std::move(error);
        return nullptr;
    }
    std::nullptr_t fail(const QString &what, qsizetype pos) { return fail(parseError(what, pos)); }

    bool enter(qsizetype pos)
    {
        if (++m_depth > Predicate::maximumDepth) {
            fail(u"nesting deeper than %1 levels"_s.arg(Predicate::maximumDepth), pos);
            return false;
        }
        return true;
    }
    void leave() { --m_depth; }

    NodePtr group(Predicate::NodeKind kind, QList<NodePtr> children)
    {
        if (children.size() == 1)
            return children.first();
        auto node = std::make_shared<Predicate::Node>();
        node->kind = kind;
        node->children = std::move(children);
        return node;
    }

    NodePtr parseOr()
    {
        QList<NodePtr> children;
        NodePtr first = parseAnd();
        if (!first)
            return nullptr;
        children.append(first);
        while (peek().kind == Token::Or || isWord(peek(), "OR")) {
            take();
            NodePtr next = parseAnd();
            if (!next)
                return nullptr;
            children.append(next);
        }
        return group(Predicate::NodeKind::Or, std::move(children));
    }

    NodePtr parseAnd()
    {
        QList<NodePtr> children;
        NodePtr first = parseNot();
        if (!first)
            return nullptr;
        children.append(first);
        while (peek().kind == Token::And || isWord(peek(), "AND")) {
            take();
            NodePtr next = parseNot();
            if (!next)
                return nullptr;
            children.append(next);
        }
        return group(Predicate::NodeKind::And, std::move(children));
    }

    NodePtr parseNot()
    {
        if (peek().kind == Token::Not || isWord(peek(), "NOT")) {
            if (!enter(take().pos))
                return nullptr;
            NodePtr child = parseNot();
            leave();
            if (!child)
                return nullptr;
            auto node = std::make_shared<Predicate::Node>();
            node->kind = Predicate::NodeKind::Not;
            node->children.append(child);
            return node;
        }
        return parsePrimary();
    }

    NodePtr parsePrimary()
    {
        const Token &t = peek();
        if (t.kind == Token::LParen) {
            if (!enter(take().pos))
                return nullptr;
            NodePtr inner = parseOr();
            leave();
            if (!inner)
                return nullptr;
            if (peek().kind != Token::RParen)
                return fail(u"expected ')'"_s, peek().pos);
            take();
            return inner;
        }
        if (isWord(t, "TRUEPREDICATE") || isWord(t, "FALSEPREDICATE")) {
            auto node = std::make_shared<Predicate::Node>();
            node->kind =
                isWord(t, "TRUEPREDICATE") ? Predicate::NodeKind::True : Predicate::NodeKind::False;
            take();
            return node;
        }
        return parseComparison();
    }

    std::optional<Operator> comparisonOperator(const Token &t) const
    {
        if (t.kind == Token::Op) {
            if (t.text == u"==")
                return Operator::Equal;
            if (t.text == u"!=")
                return Operator::NotEqual;
            if (t.text == u"<")
                return Operator::Less;
            if (t.text == u"<=")
                return Operator::LessOrEqual;
            if (t.text == u">")
                return Operator::Greater;
            if (t.text == u">=")
                return Operator::GreaterOrEqual;
        }
        static const std::pair<const char *, Operator> words[] = {
            {"CONTAINS", Operator::Contains}, {"BEGINSWITH", Operator::BeginsWith},
            {"ENDSWITH", Operator::EndsWith}, {"LIKE", Operator::Like},
            {"MATCHES", Operator::Matches},   {"IN", Operator::In},
        };
        for (const auto &[word, op] : words)
            if (isWord(t, word))
                return op;
        return std::nullopt;
    }

    NodePtr parseComparison()
    {
        auto node = std::make_shared<Predicate::Node>();
        node->kind = Predicate::NodeKind::Comparison;
        if (!parseOperand(node->lhs, true))
            return nullptr;
        const Token &opToken = peek();
        const std::optional<Operator> op = comparisonOperator(opToken);
        if (!op)
            return fail(u"expected an operator"_s, opToken.pos);
        node->op = *op;
        take();
        if (peek().kind == Token::LBracket) {
            const qsizetype at = take().pos;
            const Token &letters = peek();
            Options options;
            bool good = letters.kind == Token::Word && !letters.escaped;
            for (const QChar c : letters.text) {
                if (c.toLower() == u'c')
                    options |= Option::CaseInsensitive;
                else if (c.toLower() == u'd')
                    options |= Option::DiacriticInsensitive;
                else
                    good = false;
            }
            if (!good)
                return fail(u"expected the options c, d or cd"_s, letters.pos);
            take();
            if (peek().kind != Token::RBracket)
                return fail(u"expected ']'"_s, peek().pos);
            take();
            const bool ordering = *op == Operator::Less || *op == Operator::LessOrEqual ||
                                  *op == Operator::Greater || *op == Operator::GreaterOrEqual;
            if (ordering)
                return fail(u"options are not allowed with '%1'"_s.arg(operatorText(*op)), at);
            node->options = options;
        }
        const qsizetype rhsPos = peek().pos;
        if (!parseOperand(node->rhs, false))
            return nullptr;
        if (node->op == Operator::Matches && !node->rhs.isKeyPath && isText(node->rhs.constant)) {
            const QRegularExpression re(
                QRegularExpression::anchoredPattern(textOf(node->rhs.constant)));
            if (!re.isValid())
                return fail(u"invalid regular expression (%1)"_s.arg(re.errorString()), rhsPos);
        }
        return node;
    }

    // An argument's value, checked against its conversion.
    bool argumentValue(const Token &t, QVariant *value)
    {
        if (t.argument >= m_args.size()) {
            fail(ZEM_Error::make(
                ZEM_Error::InvalidArgument,
                u"too few arguments: %1 at %2 has no value (%3 given)"_s.arg(u'%' + t.text)
                    .arg(t.pos)
                    .arg(m_args.size()),
                {QString::number(t.pos)}));
            return false;
        }
        m_used = qMax(m_used, t.argument + 1);
        const QVariant &given = m_args.at(t.argument);
        auto wrongType = [&](const QString &wanted) {
            fail(ZEM_Error::make(ZEM_Error::InvalidArgument,
                                 u"%1 at %2 needs %3, not %4"_s.arg(u'%' + t.text)
                                     .arg(t.pos)
                                     .arg(wanted, given.isValid()
                                                      ? QString::fromLatin1(given.typeName())
                                                      : u"nothing"_s),
                                 {QString::number(t.pos)}));
            return false;
        };
        if (t.text == u"d") {
            bool ok = false;
            qint64 n = 0;
            if (kindOf(given) == Kind::Number) {
                const Number num = numberOf(given);
                ok = num.type != Number::Real || (std::isfinite(num.d) && std::abs(num.d) < 9.2e18);
                n = num.type == Number::Real     ? qint64(num.d)
                    : num.type == Number::Signed ? num.i
                                                 : qint64(num.u);
            } else if (given.canConvert<qint64>()) {
                n = given.toLongLong(&ok);
            }
            if (!ok)
                return wrongType(u"an integer"_s);
            *value = n;
            return true;
        }
        if (t.text == u"f") {
            bool ok = false;
            const double d = given.canConvert<double>() ? given.toDouble(&ok) : 0;
            if (!ok || kindOf(given) == Kind::Missing)
                return wrongType(u"a number"_s);
            *value = d;
            return true;
        }
        *value = canonicalConstant(given);
        return true;
    }

    bool keyPathArgument(const Token &t, QString *path)
    {
        QVariant given;
        if (t.argument >= m_args.size())
            return argumentValue(t, &given);
        m_used = qMax(m_used, t.argument + 1);
        given = m_args.at(t.argument);
        if (given.typeId() != QMetaType::QString || !isKeyPathText(given.toString())) {
            fail(ZEM_Error::make(ZEM_Error::InvalidArgument,
                                 u"%K at %1 needs a key path text, not %2"_s.arg(t.pos).arg(
                                     given.typeId() == QMetaType::QString
                                         ? u"\"%1\""_s.arg(given.toString())
                                         : QString::fromLatin1(given.typeName())),
                                 {QString::number(t.pos)}));
            return false;
        }
        *path = given.toString();
        return true;
    }

    bool parseKeyPath(QString *path)
    {
        const Token &first = take();
        *path = first.text;
        while (peek().kind == Token::Dot) {
            take();
            if (peek().kind != Token::Word) {
                fail(u"expected a key after '.'"_s, peek().pos);
                return false;
            }
            path->append(u'.');
            path->append(take().text);
        }
        return true;
    }

    bool parseOperand(Predicate::Operand &operand, bool left)
    {
        const Token &t = peek();
        if (isWord(t, "ANY") || isWord(t, "SOME")) {
            if (!left) {
                fail(u"expected a key path or value"_s, t.pos);
                return false;
            }
            take();
            const Token &path = peek();
            if (path.kind == Token::Argument && path.text == u"K") {
                operand.isKeyPath = true;
                return keyPathArgument(take(), &operand.keyPath);
            }
            if (path.kind != Token::Word || (!path.escaped && isKeyword(path.text))) {
                fail(u"expected a key path after ANY"_s, path.pos);
                return false;
            }
            operand.isKeyPath = true;
            return parseKeyPath(&operand.keyPath);
        }
        if (t.kind == Token::Word && (t.escaped || !isKeyword(t.text))) {
            operand.isKeyPath = true;
            return parseKeyPath(&operand.keyPath);
        }
        if (t.kind == Token::Argument && t.text == u"K") {
            operand.isKeyPath = true;
            return keyPathArgument(take(), &operand.keyPath);
        }
        operand.isKeyPath = false;
        return parseValue(&operand.constant);
    }

    bool parseValue(QVariant *value)
    {
        const Token &t = peek();
        switch (t.kind) {
        case Token::Text:
            *value = take().text;
            return true;
        case Token::Number:
            *value = take().value;
            return true;
        case Token::Argument:
            if (t.text == u"K") {
                fail(u"expected a value, not %K"_s, t.pos);
                return false;
            }
            return argumentValue(take(), value);
        case Token::LBrace:
            return parseList(value);
        case Token::Word:
            if (isWord(t, "TRUE") || isWord(t, "YES")) {
                take();
                *value = true;
                return true;
            }
            if (isWord(t, "FALSE") || isWord(t, "NO")) {
                take();
                *value = false;
                return true;
            }
            if (isWord(t, "NIL") || isWord(t, "NULL")) {
                take();
                *value = QVariant();
                return true;
            }
            if (isWord(t, "CAST"))
                return parseCast(value);
            break;
        default:
            break;
        }
        fail(u"expected a key path or value"_s, t.pos);
        return false;
    }

    bool parseList(QVariant *value)
    {
        if (!enter(take().pos))
            return false;
        QVariantList list;
        if (peek().kind != Token::RBrace) {
            while (true) {
                if (peek().kind == Token::Word && (peek().escaped || !isKeyword(peek().text))) {
                    fail(u"expected a value"_s, peek().pos);
                    return false;
                }
                QVariant element;
                if (!parseValue(&element))
                    return false;
                list.append(element);
                if (peek().kind == Token::Comma) {
                    take();
                    continue;
                }
                if (peek().kind == Token::RBrace)
                    break;
                fail(u"expected ',' or '}'"_s, peek().pos);
                return false;
            }
        }
        take();
        leave();
        *value = list;
        return true;
    }

    bool expect(Token::Kind kind, const char *shown)
    {
        if (peek().kind != kind) {
            fail(u"expected %1"_s.arg(QLatin1StringView(shown)), peek().pos);
            return false;
        }
        take();
        return true;
    }

    bool parseCast(QVariant *value)
    {
        take();
        if (!expect(Token::LParen, "'(' after CAST"))
            return false;
        const Token &source = peek();
        if (source.kind != Token::Text && source.kind != Token::Number) {
            fail(u"expected a text or number to cast"_s, source.pos);
            return false;
        }
        take();
        if (!expect(Token::Comma, "','"))
            return false;
        const Token &type = peek();
        if (type.kind != Token::Text) {
            fail(u"expected a type name text"_s, type.pos);
            return false;
        }
        take();
        if (!expect(Token::RParen, "')'"))
            return false;

        if (type.text.compare(u"NSDate"_s, Qt::CaseInsensitive) == 0) {
            if (source.kind == Token::Number) {
                const Number n = numberOf(source.value);
                // Kept within ±2^53 ms so that seconds written back read back exactly.
                constexpr double limit = 1e12;
                const double seconds = n.type == Number::Real     ? n.d
                                       : n.type == Number::Signed ? double(n.i)
                                                                  : double(n.u);
                if (!(std::abs(seconds) <= limit)) {
                    fail(u"date out of range"_s, source.pos);
                    return false;
                }
                const qint64 ms =
                    n.type == Number::Signed ? n.i * 1000 : std::llround(seconds * 1000);
                *value = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
                return true;
            }
            const QDateTime date = QDateTime::fromString(source.text, Qt::ISODateWithMs);
            if (!date.isValid()) {
                fail(u"expected an ISO 8601 date"_s, source.pos);
                return false;
            }
            *value = date.toUTC();
            return true;
        }
        if (type.text.compare(u"NSData"_s, Qt::CaseInsensitive) == 0) {
            const auto decoded = QByteArray::fromBase64Encoding(
                source.text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
            if (source.kind != Token::Text || !decoded) {
                fail(u"expected base64 data"_s, source.pos);
                return false;
            }
            *value = *decoded;
            return true;
        }
        if (type.text.compare(u"NSNumber"_s, Qt::CaseInsensitive) == 0) {
            if (source.kind == Token::Number) {
                *value = source.value;
                return true;
            }
            const QString s = source.text.trimmed().toLower();
            if (s == u"nan" || s == u"inf" || s == u"+inf" || s == u"-inf") {
                const double inf = std::numeric_limits<double>::infinity();
                *value = s == u"nan"          ? std::numeric_limits<double>::quiet_NaN()
                         : s.startsWith(u'-') ? -inf
                                              : inf;
                return true;
            }
            Tokenizer inner(s);
            const auto tokens = inner.run();
            if (!tokens || tokens->size() != 2 || tokens->first().kind != Token::Number) {
                fail(u"expected a number"_s, source.pos);
                return false;
            }
            *value = tokens->first().value;
            return true;
        }
        fail(u"unknown type \"%1\" for CAST"_s.arg(type.text), type.pos);
        return false;
    }

    QList<Token> m_t;
    const QVariantList &m_args;
    qsizetype m_p = 0;
    int m_depth = 0;
    qsizetype m_used = 0;
    std::optional<ZEM_Error> m_error;
};

} // namespace

ZEM_Result<Predicate> Predicate::parse(const QString &format, const QVariantList &arguments)
{
    Tokenizer tokenizer(format);
    auto tokens = tokenizer.run();
    if (!tokens)
        return tokenizer.error();
    return Parser(std::move(*tokens), arguments).run();
}

} // namespace platform
