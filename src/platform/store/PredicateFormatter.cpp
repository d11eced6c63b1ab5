// The formatter: a predicate as the text parse() reads back into the same tree.

#include "platform/store/Predicate.h"

#include "platform/store/PersistentObject.h"
#include "platform/store/detail/PredicateValues.h"

#include <QDateTime>
#include <QLocale>

#include <cmath>

using namespace Qt::StringLiterals;

namespace platform {

namespace detail {

QString operatorText(Operator op)
{
    switch (op) {
    case Operator::Equal:
        return u"=="_s;
    case Operator::NotEqual:
        return u"!="_s;
    case Operator::Less:
        return u"<"_s;
    case Operator::LessOrEqual:
        return u"<="_s;
    case Operator::Greater:
        return u">"_s;
    case Operator::GreaterOrEqual:
        return u">="_s;
    case Operator::Contains:
        return u"CONTAINS"_s;
    case Operator::BeginsWith:
        return u"BEGINSWITH"_s;
    case Operator::EndsWith:
        return u"ENDSWITH"_s;
    case Operator::Like:
        return u"LIKE"_s;
    case Operator::Matches:
        return u"MATCHES"_s;
    case Operator::In:
        return u"IN"_s;
    }
    return u"=="_s;
}

} // namespace detail

namespace {

using namespace detail;

void appendQuoted(QString &out, const QString &text)
{
    out.append(u'"');
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        switch (u) {
        case '"':
            out.append(u"\\\"");
            break;
        case '\\':
            out.append(u"\\\\");
            break;
        case '\n':
            out.append(u"\\n");
            break;
        case '\r':
            out.append(u"\\r");
            break;
        case '\t':
            out.append(u"\\t");
            break;
        default:
            if (u < 0x20 || u == 0x7F)
                out.append(u"\\u"_s + QString::number(u, 16).rightJustified(4, u'0'));
            else
                out.append(ch);
        }
    }
    out.append(u'"');
}

QString doubleText(double d)
{
    if (std::isnan(d))
        return u"CAST(\"nan\", \"NSNumber\")"_s;
    if (std::isinf(d))
        return d > 0 ? u"1e999"_s : u"-1e999"_s;
    if (d == 0)
        return std::signbit(d) ? u"-0.0"_s : u"0.0"_s;
    QString text = QString::number(d, 'g', QLocale::FloatingPointShortest);
    if (!text.contains(u'.') && !text.contains(u'e'))
        text.append(u".0");
    return text;
}

void appendConstant(QString &out, const QVariant &value)
{
    switch (kindOf(value)) {
    case Kind::Missing:
        out.append(u"NIL");
        return;
    case Kind::Number: {
        if (value.typeId() == QMetaType::Bool) {
            out.append(value.toBool() ? u"TRUE" : u"FALSE");
            return;
        }
        const Number n = numberOf(value);
        if (n.type == Number::Real)
            out.append(doubleText(n.d));
        else if (n.type == Number::Unsigned)
            out.append(QString::number(n.u));
        else
            out.append(QString::number(n.i));
        return;
    }
    case Kind::Text:
        appendQuoted(out, textOf(value));
        return;
    case Kind::Date: {
        const qint64 ms = msecsOf(value);
        const QDateTime utc = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
        QString iso = utc.date().year() >= 0 && utc.date().year() <= 9999
                          ? utc.toString(Qt::ISODateWithMs)
                          : QString();
        out.append(u"CAST(");
        if (!iso.isEmpty()) {
            appendQuoted(out, iso);
        } else {
            // Outside four-digit years ISO text has no form Qt reads back: seconds instead.
            const qint64 whole = ms / 1000, part = ms % 1000;
            if (part == 0)
                out.append(QString::number(whole));
            else
                out.append((ms < 0 ? u"-"_s : QString()) + QString::number(qAbs(whole)) + u'.' +
                           QString::number(qAbs(part)).rightJustified(3, u'0'));
        }
        out.append(u", \"NSDate\")");
        return;
    }
    case Kind::Data:
        out.append(u"CAST(");
        appendQuoted(out, QString::fromLatin1(value.toByteArray().toBase64()));
        out.append(u", \"NSData\")");
        return;
    case Kind::List: {
        out.append(u'{');
        bool first = true;
        for (const QVariant &element : listOf(value)) {
            if (!first)
                out.append(u", ");
            first = false;
            appendConstant(out, element);
        }
        out.append(u'}');
        return;
    }
    case Kind::Object: {
        // No literal can name a live record; this form makes parse() fail loudly.
        auto *record = PersistentObject::fromVariant(value);
        out.append(u"CAST(");
        appendQuoted(out, record ? record->objectID() : QString());
        out.append(u", ");
        appendQuoted(out, record ? record->entityName() : QString::fromLatin1(value.typeName()));
        out.append(u')');
        return;
    }
    case Kind::Other:
        out.append(u"CAST(");
        appendQuoted(out, value.toString());
        out.append(u", ");
        appendQuoted(out, QString::fromLatin1(value.typeName()));
        out.append(u')');
        return;
    }
}

void appendKeyPath(QString &out, const QString &keyPath)
{
    bool first = true;
    for (QStringView segment : QStringView(keyPath).split(u'.')) {
        if (!first)
            out.append(u'.');
        first = false;
        if (isKeyword(segment))
            out.append(u'#');
        out.append(segment);
    }
}

void appendOperand(QString &out, const Predicate::Operand &operand)
{
    if (operand.isKeyPath)
        appendKeyPath(out, operand.keyPath);
    else
        appendConstant(out, operand.constant);
}

void appendNode(QString &out, const Predicate::Node &node);

void appendChild(QString &out, const NodePtr &child, bool parenthesize)
{
    if (!child) {
        out.append(u"TRUEPREDICATE");
        return;
    }
    if (parenthesize)
        out.append(u'(');
    appendNode(out, *child);
    if (parenthesize)
        out.append(u')');
}

void appendNode(QString &out, const Predicate::Node &node)
{
    using NK = Predicate::NodeKind;
    switch (node.kind) {
    case NK::True:
        out.append(u"TRUEPREDICATE");
        return;
    case NK::False:
        out.append(u"FALSEPREDICATE");
        return;
    case NK::Comparison:
        appendOperand(out, node.lhs);
        out.append(u' ');
        out.append(operatorText(node.op));
        if (node.options) {
            out.append(u'[');
            if (node.options & Option::CaseInsensitive)
                out.append(u'c');
            if (node.options & Option::DiacriticInsensitive)
                out.append(u'd');
            out.append(u']');
        }
        out.append(u' ');
        appendOperand(out, node.rhs);
        return;
    case NK::Not: {
        out.append(u"NOT ");
        const NodePtr child = node.children.isEmpty() ? nullptr : node.children.first();
        appendChild(out, child, child && (child->kind == NK::And || child->kind == NK::Or));
        return;
    }
    case NK::And:
    case NK::Or: {
        if (node.children.isEmpty()) {
            out.append(node.kind == NK::And ? u"TRUEPREDICATE" : u"FALSEPREDICATE");
            return;
        }
        bool first = true;
        for (const NodePtr &child : node.children) {
            if (!first)
                out.append(node.kind == NK::And ? u" AND " : u" OR ");
            first = false;
            // Parentheses keep nested groups as they were: AND binds tighter than OR.
            const bool group = child && (child->kind == NK::Or ||
                                         (child->kind == NK::And && node.kind == NK::And));
            appendChild(out, child, group);
        }
        return;
    }
    }
}

} // namespace

QString Predicate::format() const
{
    QString out;
    appendNode(out, *m_root);
    return out;
}

} // namespace platform
