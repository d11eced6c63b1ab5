#include "platform/store/detail/SqlBuilder.h"

#include "platform/store/detail/ObjectIDText.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace platform::detail::sqlite {

namespace {

using Node = Predicate::Node;
using NodeKind = Predicate::NodeKind;
using Operator = Predicate::Operator;

// ---------------------------------------------------------------------------------------
// Functions the connection gets

QVariant functionArgument(sqlite3_value *value, int type)
{
    if (type == kBoundVariant) {
        const auto *bound = static_cast<const QVariant *>(sqlite3_value_pointer(value, kVariantPointer));
        return bound ? *bound : QVariant();
    }
    if (type < int(AttributeType::String) || type > int(AttributeType::Binary))
        return {};
    return valueFrom(value, AttributeType(type));
}

// zem_compare(op, options, a, a's type, b, b's type): Predicate::compare() on two values,
// each a column of the given attribute type or a bound QVariant.
// Case-insensitive text tests where both sides are plain ASCII: folding and normalising
// ASCII change nothing but letter case, so a byte comparison gives the same answer as the
// full Unicode path at a fraction of its cost. Answers -1 when the shortcut does not apply.
int asciiTextCompare(Operator op, Predicate::Options options, sqlite3_value *column, int columnType,
                     sqlite3_value *bound, int boundType)
{
    if (!options.testFlag(Predicate::Option::CaseInsensitive) || columnType != int(AttributeType::String)
        || boundType != kBoundVariant || sqlite3_value_type(column) != SQLITE_TEXT)
        return -1;
    if (op != Operator::BeginsWith && op != Operator::Contains && op != Operator::EndsWith
        && op != Operator::Equal && op != Operator::NotEqual)
        return -1;
    const auto *variant = static_cast<const QVariant *>(sqlite3_value_pointer(bound, kVariantPointer));
    if (!variant || variant->typeId() != QMetaType::QString)
        return -1;
    const QString &needle = *static_cast<const QString *>(variant->constData());
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(column));
    const qsizetype size = sqlite3_value_bytes(column);
    const auto ascii = [](char c) { return static_cast<unsigned char>(c) < 0x80; };
    if (!text || !std::all_of(text, text + size, ascii))
        return -1;
    QByteArray folded(needle.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < needle.size(); ++i) {
        const char16_t c = needle.at(i).unicode();
        if (c >= 0x80)
            return -1;
        folded[i] = char(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
    const auto matchAt = [&](qsizetype at) {
        for (qsizetype i = 0; i < folded.size(); ++i)
            if (lower(text[at + i]) != folded[i])
                return false;
        return true;
    };
    const qsizetype n = folded.size();
    switch (op) {
    case Operator::BeginsWith:
        return size >= n && matchAt(0);
    case Operator::EndsWith:
        return size >= n && matchAt(size - n);
    case Operator::Equal:
        return size == n && matchAt(0);
    case Operator::NotEqual:
        return !(size == n && matchAt(0));
    default:
        for (qsizetype at = 0; at + n <= size; ++at)
            if (matchAt(at))
                return 1;
        return 0;
    }
}

} // namespace

void compareFunction(sqlite3_context *context, int, sqlite3_value **argv)
{
    const int op = sqlite3_value_int(argv[0]);
    if (op < int(Operator::Equal) || op > int(Operator::In)) {
        sqlite3_result_int(context, 0);
        return;
    }
    const auto options = Predicate::Options::fromInt(sqlite3_value_int(argv[1]) & 0x3);
    if (const int quick = asciiTextCompare(Operator(op), options, argv[2], sqlite3_value_int(argv[3]), argv[4],
                                           sqlite3_value_int(argv[5]));
        quick >= 0) {
        sqlite3_result_int(context, quick);
        return;
    }
    const QVariant a = functionArgument(argv[2], sqlite3_value_int(argv[3]));
    const QVariant b = functionArgument(argv[4], sqlite3_value_int(argv[5]));
    sqlite3_result_int(context, Predicate::compare(a, Operator(op), b, options) ? 1 : 0);
}

// The ZEM_FOLD collation: texts in the case-insensitive order of Predicate::order().
int foldCollation(void *, int sizeA, const void *a, int sizeB, const void *b)
{
    const QString x = QString::fromUtf8(static_cast<const char *>(a), sizeA);
    const QString y = QString::fromUtf8(static_cast<const char *>(b), sizeB);
    return Predicate::order(x, y, true);
}

namespace {

// ---------------------------------------------------------------------------------------
// Predicates as SQL

// The kinds SQL compares the way Predicate::compare() does; anything else goes through
// zem_compare().
enum class SqlKind { Number, Text, Date, Data };

SqlKind sqlKind(AttributeType type)
{
    switch (type) {
    case AttributeType::Integer:
    case AttributeType::Double:
    case AttributeType::Boolean:
        return SqlKind::Number;
    case AttributeType::String:
        return SqlKind::Text;
    case AttributeType::Date:
        return SqlKind::Date;
    case AttributeType::Binary:
        break;
    }
    return SqlKind::Data;
}

// A constant as SQL binds it for a column of \a kind, when that compares exactly as
// Predicate::compare() would; nullopt for constants of other kinds or with no exact form.
std::optional<Bind> simpleBind(const QVariant &value, SqlKind kind)
{
    Bind b;
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
        if (kind != SqlKind::Number)
            return std::nullopt;
        b.integer = value.toLongLong();
        return b;
    case QMetaType::ULongLong:
        if (kind != SqlKind::Number || value.toULongLong() > quint64(std::numeric_limits<qint64>::max()))
            return std::nullopt;
        b.integer = value.toLongLong();
        return b;
    case QMetaType::Double:
        if (kind != SqlKind::Number || std::isnan(value.toDouble()))
            return std::nullopt;
        b.type = Bind::Real;
        b.real = value.toDouble();
        return b;
    case QMetaType::QString: {
        const QString text = value.toString();
        if (kind != SqlKind::Text || !text.isValidUtf16())
            return std::nullopt;
        b.type = Bind::Text;
        b.text = text.toUtf8();
        return b;
    }
    case QMetaType::QDateTime: {
        const QDateTime date = value.toDateTime();
        if (kind != SqlKind::Date || !date.isValid())
            return std::nullopt;
        b.integer = date.toMSecsSinceEpoch();
        return b;
    }
    default:
        return std::nullopt;
    }
}

// Whether \a value is certainly of another kind than every stored value of \a kind.
bool otherKind(const QVariant &value, SqlKind kind)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return kind != SqlKind::Number;
    case QMetaType::QString:
        return kind != SqlKind::Text;
    case QMetaType::QDateTime:
        return value.toDateTime().isValid() && kind != SqlKind::Date;
    case QMetaType::QByteArray:
        return kind != SqlKind::Data;
    default:
        return false;
    }
}

Operator mirrored(Operator op)
{
    switch (op) {
    case Operator::Less:
        return Operator::Greater;
    case Operator::LessOrEqual:
        return Operator::GreaterOrEqual;
    case Operator::Greater:
        return Operator::Less;
    case Operator::GreaterOrEqual:
        return Operator::LessOrEqual;
    default:
        return op;
    }
}

QByteArray sqlOperator(Operator op)
{
    switch (op) {
    case Operator::Less:
        return "<";
    case Operator::LessOrEqual:
        return "<=";
    case Operator::Greater:
        return ">";
    case Operator::GreaterOrEqual:
        return ">=";
    default:
        return "=";
    }
}

bool isOrdering(Operator op)
{
    return op == Operator::Less || op == Operator::LessOrEqual || op == Operator::Greater
           || op == Operator::GreaterOrEqual;
}

} // namespace

std::optional<QByteArray> SqlBuilder::condition(const Node &node, int entity, const QByteArray &alias)
{
    const qsizetype mark = m_binds.size();
    auto sql = translate(node, entity, alias);
    if (!sql)
        m_binds.resize(mark);
    return sql;
}

std::optional<QByteArray> SqlBuilder::translate(const Node &node, int entity, const QByteArray &alias)
{
    switch (node.kind) {
    case NodeKind::True:
        return QByteArray("1");
    case NodeKind::False:
        return QByteArray("0");
    case NodeKind::Not: {
        if (node.children.isEmpty() || !node.children.first())
            return QByteArray("0");
        const auto inner = condition(*node.children.first(), entity, alias);
        if (!inner)
            return std::nullopt;
        return "(NOT " + *inner + ")";
    }
    case NodeKind::And:
    case NodeKind::Or: {
        QByteArrayList parts;
        for (const auto &child : node.children) {
            if (!child)
                continue;
            const auto part = condition(*child, entity, alias);
            if (!part)
                return std::nullopt;
            parts.append(*part);
        }
        if (parts.isEmpty())
            return QByteArray(node.kind == NodeKind::And ? "1" : "0");
        return "(" + parts.join(node.kind == NodeKind::And ? " AND " : " OR ") + ")";
    }
    case NodeKind::Comparison:
        return comparison(node, entity, alias);
    }
    return std::nullopt;
}

std::optional<QByteArray> SqlBuilder::orderTerm(const SortDescriptor &sort, int entity, const QByteArray &alias)
{
    const auto v = value(entity, alias, sort.keyPath);
    if (!v || v->reference >= 0)
        return std::nullopt;
    const QByteArray direction = sort.ascending ? " ASC" : " DESC";
    switch (v->type) {
    case AttributeType::String:
        return v->sql + (sort.caseInsensitive ? " COLLATE ZEM_FOLD" : "") + direction;
    case AttributeType::Double:
        // Missing first, then NaN (kept as text), then numbers.
        return "CASE typeof(" + v->sql + ") WHEN 'null' THEN 0 WHEN 'text' THEN 1 ELSE 2 END" + direction + ", "
               + v->sql + direction;
    default:
        return v->sql + direction;
    }
}

int SqlBuilder::bind(sqlite3_stmt *statement) const
{
    int rc = SQLITE_OK;
    for (size_t i = 0; i < m_binds.size() && rc == SQLITE_OK; ++i) {
        const Bind &b = m_binds.at(i);
        const int index = int(i) + 1;
        switch (b.type) {
        case Bind::Integer:
            rc = sqlite3_bind_int64(statement, index, b.integer);
            break;
        case Bind::Real:
            rc = sqlite3_bind_double(statement, index, b.real);
            break;
        case Bind::Text:
            rc = sqlite3_bind_text64(statement, index, b.text.constData(), sqlite3_uint64(b.text.size()),
                                     SQLITE_STATIC, SQLITE_UTF8);
            break;
        case Bind::Pointer:
            rc = sqlite3_bind_pointer(statement, index, const_cast<QVariant *>(b.pointer), kVariantPointer, nullptr);
            break;
        }
    }
    return rc;
}

// A key path through to-one relationships as one SQL value, NULL where it has none.
std::optional<SqlBuilder::Value> SqlBuilder::value(int entity, const QByteArray &alias, const QString &keyPath)
{
    const qsizetype dot = keyPath.indexOf(u'.');
    const QString name = dot < 0 ? keyPath : keyPath.left(dot);
    const EntityLayout &e = m_layout.entities.at(entity);
    if (const AttributeColumn *a = e.attribute(name)) {
        if (dot >= 0)
            return std::nullopt;
        return Value{alias + '.' + a->column, a->attribute.type, -1};
    }
    const ToOneColumn *t = e.toOne(name);
    if (!t)
        return std::nullopt;
    const QByteArray column = alias + '.' + t->column;
    if (dot < 0)
        return Value{column, AttributeType::Integer, t->destination};
    const QByteArray inner = "t" + QByteArray::number(++m_aliases);
    const auto rest = value(t->destination, inner, keyPath.mid(dot + 1));
    if (!rest)
        return std::nullopt;
    return Value{"(SELECT " + rest->sql + " FROM " + m_layout.entities.at(t->destination).table + ' ' + inner
                     + " WHERE " + inner + ".\"Z_PK\" = " + column + ")",
                 rest->type, rest->reference};
}

QByteArray SqlBuilder::parameter(Bind b)
{
    m_binds.push_back(std::move(b));
    return "?" + QByteArray::number(qsizetype(m_binds.size()));
}

QByteArray SqlBuilder::variantParameter(const QVariant &v)
{
    m_constants.push_back(v);
    Bind b;
    b.type = Bind::Pointer;
    b.pointer = &m_constants.back();
    return parameter(std::move(b));
}

QByteArray SqlBuilder::exact(const Node &node, const QByteArray &a, int aType, const QByteArray &b, int bType)
{
    return "zem_compare(" + QByteArray::number(int(node.op)) + ", " + QByteArray::number(node.options.toInt()) + ", "
           + a + ", " + QByteArray::number(aType) + ", " + b + ", " + QByteArray::number(bType) + ")";
}

std::optional<QByteArray> SqlBuilder::comparison(const Node &node, int entity, const QByteArray &alias)
{
    const bool keyLeft = node.lhs.isKeyPath, keyRight = node.rhs.isKeyPath;
    if (!keyLeft && !keyRight) {
        const bool holds = Predicate(std::make_shared<Node>(node)).evaluate(Predicate::ValueGetter());
        return QByteArray(holds ? "1" : "0");
    }
    if (keyLeft && keyRight) {
        const auto a = value(entity, alias, node.lhs.keyPath);
        const auto b = value(entity, alias, node.rhs.keyPath);
        if (!a || !b || a->reference >= 0 || b->reference >= 0)
            return std::nullopt;
        return exact(node, a->sql, int(a->type), b->sql, int(b->type));
    }
    const QVariant &constant = keyLeft ? node.rhs.constant : node.lhs.constant;
    // A list on the left is compared element by element.
    if (!keyLeft && (constant.typeId() == QMetaType::QVariantList || constant.typeId() == QMetaType::QStringList))
        return std::nullopt;
    const auto v = value(entity, alias, keyLeft ? node.lhs.keyPath : node.rhs.keyPath);
    if (!v)
        return std::nullopt;
    if (v->reference >= 0)
        return referenceComparison(node, *v, constant, keyLeft);
    if (auto simple = simpleComparison(node, *v, constant, keyLeft))
        return simple;
    const QByteArray c = variantParameter(constant);
    return keyLeft ? exact(node, v->sql, int(v->type), c, kBoundVariant)
                   : exact(node, c, kBoundVariant, v->sql, int(v->type));
}

std::optional<QByteArray> SqlBuilder::simpleComparison(const Node &node, const Value &v, const QVariant &constant, bool keyLeft)
{
    if (node.options)
        return std::nullopt;
    const Operator op = keyLeft ? node.op : mirrored(node.op);
    const bool equality = op == Operator::Equal || op == Operator::NotEqual;
    if (!constant.isValid()) {
        // NIL equals only a missing value; nothing else holds with it.
        if (op == Operator::Equal)
            return "(" + v.sql + " IS NULL)";
        if (op == Operator::NotEqual)
            return "(" + v.sql + " IS NOT NULL)";
        return QByteArray("0");
    }
    const SqlKind kind = sqlKind(v.type);
    if ((equality || isOrdering(op)) && otherKind(constant, kind))
        return QByteArray(op == Operator::NotEqual ? "1" : "0");
    if (equality || isOrdering(op)) {
        const auto b = simpleBind(constant, kind);
        if (!b)
            return std::nullopt;
        const QByteArray p = parameter(*b);
        if (op == Operator::Equal)
            return "(" + v.sql + " IS " + p + ")";
        if (op == Operator::NotEqual)
            return "(" + v.sql + " IS NOT " + p + ")";
        const QByteArray test = v.sql + ' ' + sqlOperator(op) + ' ' + p;
        if (v.type == AttributeType::Double)
            return "coalesce(typeof(" + v.sql + ") = 'real' AND " + test + ", 0)";
        return "coalesce(" + test + ", 0)";
    }
    if (op == Operator::In && keyLeft && constant.typeId() == QMetaType::QVariantList) {
        const QVariantList list = constant.toList();
        if (list.isEmpty() || list.size() > kMaxInListParameters)
            return std::nullopt;
        const qsizetype mark = m_binds.size();
        QByteArrayList parameters;
        for (const QVariant &element : list) {
            const auto b = simpleBind(element, kind);
            if (!b) {
                m_binds.resize(mark);
                return std::nullopt;
            }
            parameters.append(parameter(*b));
        }
        if (v.type == AttributeType::Double)
            return "coalesce(typeof(" + v.sql + ") = 'real' AND " + v.sql + " IN (" + parameters.join(", ") + "), 0)";
        return "coalesce(" + v.sql + " IN (" + parameters.join(", ") + "), 0)";
    }
    return std::nullopt;
}

// A to-one relation compared with NIL or records (as ObjectRefs).
std::optional<QByteArray> SqlBuilder::referenceComparison(const Node &node, const Value &v, const QVariant &constant, bool keyLeft)
{
    const QString &destination = m_layout.entities.at(v.reference).name;
    auto keyOf = [&destination](const QVariant &c) -> qint64 {
        if (c.metaType() != QMetaType::fromType<ObjectRef>())
            return -1;
        const ObjectRef ref = c.value<ObjectRef>();
        QString entity;
        qint64 key = 0;
        if (ref.entityName != destination || !parseObjectID(ref.objectID, &entity, &key) || entity != destination
            || objectIDText(destination, key) != ref.objectID)
            return 0;
        return key;
    };
    if (node.options)
        return std::nullopt;
    if (node.op == Operator::Equal || node.op == Operator::NotEqual) {
        const bool equal = node.op == Operator::Equal;
        if (!constant.isValid())
            return "(" + v.sql + (equal ? " IS NULL)" : " IS NOT NULL)");
        const qint64 key = keyOf(constant);
        if (key < 0)
            return std::nullopt;
        if (key == 0)
            return QByteArray(equal ? "0" : "1");
        Bind b;
        b.integer = key;
        return "(" + v.sql + (equal ? " IS " : " IS NOT ") + parameter(b) + ")";
    }
    if (node.op == Operator::In && keyLeft && constant.typeId() == QMetaType::QVariantList) {
        const QVariantList list = constant.toList();
        if (list.size() > kMaxInListParameters)
            return std::nullopt;
        QList<qint64> keys;
        for (const QVariant &element : list) {
            const qint64 key = keyOf(element);
            if (key < 0)
                return std::nullopt;
            if (key > 0)
                keys.append(key);
        }
        if (keys.isEmpty())
            return QByteArray("0");
        QByteArrayList parameters;
        for (qint64 key : std::as_const(keys)) {
            Bind b;
            b.integer = key;
            parameters.append(parameter(b));
        }
        return "coalesce(" + v.sql + " IN (" + parameters.join(", ") + "), 0)";
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------
// Stored values

QVariant StoredValues::value(int entity, qint64 key, const QString &keyPath)
{
    QVariantMap *row = this->row(entity, key);
    if (!row)
        return {};
    const qsizetype dot = keyPath.indexOf(u'.');
    const QString name = dot < 0 ? keyPath : keyPath.left(dot);
    const QString rest = dot < 0 ? QString() : keyPath.mid(dot + 1);
    const EntityLayout &e = m_layout.entities.at(entity);
    if (e.attribute(name))
        return dot < 0 ? row->value(name) : QVariant();
    if (const ToOneColumn *t = e.toOne(name)) {
        const QVariant ref = row->value(name);
        if (dot < 0 || !ref.isValid())
            return ref;
        QString destination;
        qint64 destinationKey = 0;
        if (!parseObjectID(ref.value<ObjectRef>().objectID, &destination, &destinationKey))
            return {};
        return value(t->destination, destinationKey, rest);
    }
    const ToManyLink *link = e.toMany(name);
    if (!link)
        return {};
    if (!row->contains(name)) {
        ZEM_Result<QList<qint64>> keys = m_readKeys(*link, key);
        if (!keys) {
            if (!error)
                error = keys.error();
            return {};
        }
        row->insert(name, QVariant::fromValue(*keys));
    }
    const QList<qint64> keys = row->value(name).value<QList<qint64>>();
    QVariantList out;
    out.reserve(keys.size());
    const QString &destination = m_layout.entities.at(link->destination).name;
    for (qint64 k : keys) {
        if (dot < 0) {
            out.append(QVariant::fromValue(ObjectRef{destination, objectIDText(destination, k)}));
            continue;
        }
        const QVariant v = value(link->destination, k, rest);
        if (v.typeId() == QMetaType::QVariantList)
            out.append(v.toList());
        else
            out.append(v);
    }
    return out;
}

QVariantMap *StoredValues::row(int entity, qint64 key)
{
    const std::pair<int, qint64> id{entity, key};
    auto it = m_rows.find(id);
    if (it == m_rows.end()) {
        ZEM_Result<std::optional<QVariantMap>> loaded = m_readRow(entity, key);
        if (!loaded) {
            if (!error)
                error = loaded.error();
            return nullptr;
        }
        it = m_rows.insert(id, loaded->value_or(QVariantMap()));
        if (!loaded->has_value())
            m_missing.insert(id);
    }
    return m_missing.contains(id) ? nullptr : &*it;
}

} // namespace platform::detail::sqlite
