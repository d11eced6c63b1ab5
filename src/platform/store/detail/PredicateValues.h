#pragma once
// Not installed: how predicates see values and key paths. Shared by the evaluator
// (Predicate.cpp), the parser and the formatter, so that what one writes the others read.

#include "platform/store/Predicate.h"

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <QVariant>
#include <QVariantList>

#include <optional>

namespace platform::detail {

using NodePtr = std::shared_ptr<const Predicate::Node>;
using Operator = Predicate::Operator;
using Option = Predicate::Option;
using Options = Predicate::Options;

// ---------------------------------------------------------------------------------------
// Values

enum class Kind { Missing, Number, Text, Date, Data, List, Object, Other };

bool isRecordSet(const QVariant &v);
Kind kindOf(const QVariant &v);
/** The elements of a list, string list or record set (records as variants). */
QVariantList listOf(const QVariant &v);
/** Lists in one shape (QVariantList) whatever they came as; other values as they are. */
QVariant normalized(const QVariant &v);
QString textOf(const QVariant &v);
qint64 msecsOf(const QVariant &v);

// A number kept as what it is: a double is never widened from or narrowed to an integer.
struct Number
{
    enum Type { Signed, Unsigned, Real } type = Signed;
    qint64 i = 0;
    quint64 u = 0;
    double d = 0;
};

Number numberOf(const QVariant &v);

template <typename T> int threeWay(T a, T b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

/** Exact comparison of two numbers of any type; nullopt when either is NaN. */
std::optional<int> compareNumbers(const Number &a, const Number &b);
/** UTF-16 compared in code point order, the order UTF-8 bytes (and so SQLite) give. */
int compareCodePoints(QStringView a, QStringView b);
int compareBytes(const QByteArray &a, const QByteArray &b);
/** A constant in the one type its kind keeps in a parsed tree. */
QVariant canonicalConstant(const QVariant &v);
bool isText(const QVariant &v);

// ---------------------------------------------------------------------------------------
// Key paths

bool isKeyStart(char32_t c);
bool isKeyPart(char32_t c);
char32_t codePointAt(QStringView s, qsizetype i, qsizetype *length);
bool isKey(QStringView segment);
bool isKeyPathText(const QString &path);
/** A word of the grammar, which a key must be escaped with `#` to use. */
bool isKeyword(QStringView word);

/** How a format spells \a op; defined with the formatter. */
QString operatorText(Operator op);

} // namespace platform::detail
