#include "ZemTestEnv.h"

#include "platform/store/PersistentObject.h"
#include "platform/store/Predicate.h"
#include "platform/store/StoreContext.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace platform;
using namespace Qt::StringLiterals;
using Op = Predicate::Operator;
using Opt = Predicate::Option;

Q_DECLARE_METATYPE(platform::Predicate::Operator)
Q_DECLARE_METATYPE(platform::Predicate::Options)

namespace {

constexpr qint64 twoTo53 = qint64(1) << 53;

QDateTime utc(const char *iso)
{
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODateWithMs);
}

// One event with the shapes records take: plain values, a to-one map, to-many lists.
QVariantMap sample()
{
    return {
        {u"uid"_s, u"A-1"_s},
        {u"use"_s, 3},
        {u"sound"_s, u"Basso"_s},
        {u"lastName"_s, u"Bauer"_s},
        {u"name"_s, u"Äpfel und Birnen"_s},
        {u"priority"_s, qint64(2)},
        {u"done"_s, false},
        {u"dueDate"_s, utc("2026-12-05T10:00:00.000Z")},
        {u"calendar"_s,
         QVariantMap{{u"title"_s, u"Work"_s}, {u"owner"_s, QVariantMap{{u"name"_s, u"Kim"_s}}}}},
        {u"tags"_s, QStringList{u"home"_s, u"urgent"_s}},
        {u"attendees"_s, QVariantList{QVariantMap{{u"name"_s, u"Ann"_s}, {u"email"_s, u"ann@x"_s}},
                                      QVariantMap{{u"name"_s, u"Bob"_s}}}},
        {u"big"_s, twoTo53 + 1},
        {u"ratio"_s, 0.5},
        {u"blob"_s, QByteArray("\x01\x02", 2)},
        {u"pattern"_s, u"5*"_s},
        {u"in"_s, 1},
    };
}

} // namespace

class tst_Predicate : public QObject
{
    Q_OBJECT
private slots:
    void evaluateMap_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<bool>("expected");

        const QDateTime later = utc("2026-12-06T00:00:00.000Z");
        const QDateTime earlier = utc("2026-12-01T00:00:00.000Z");
        auto row = [](const char *name, const QString &f, const QVariantList &args, bool expected) {
            QTest::newRow(name) << f << args << expected;
        };
        row("uid = %@", u"uid = %@"_s, {u"A-1"_s}, true);
        row("uid = %@ other", u"uid = %@"_s, {u"A-2"_s}, false);
        row("use = %d", u"use = %d"_s, {3}, true);
        row("beginswith[c]", u"lastName BEGINSWITH[c] \"b\""_s, {}, true);
        row("beginswith exact", u"lastName BEGINSWITH \"b\""_s, {}, false);
        row("contains[cd]", u"name CONTAINS[cd] %@"_s, {u"apfel"_s}, true);
        row("contains[c] keeps marks", u"name CONTAINS[c] %@"_s, {u"apfel"_s}, false);
        row("in list", u"priority IN {1, 2}"_s, {}, true);
        row("in list miss", u"priority IN {3}"_s, {}, false);
        row("to-one", u"calendar.title == \"Work\""_s, {}, true);
        row("to-one twice", u"calendar.owner.name == 'Kim'"_s, {}, true);
        row("through a missing map", u"calendar.nothing.name == nil"_s, {}, true);
        row("not and date", u"NOT (done == YES) AND dueDate < %@"_s, {later}, true);
        row("not and date earlier", u"NOT (done == YES) AND dueDate < %@"_s, {earlier}, false);
        row("%K", u"%K == %@"_s, {u"calendar.title"_s, u"Work"_s}, true);
        row("%K compares two keys", u"uid == %K"_s, {u"uid"_s}, true);
        row("to-many any", u"tags == \"urgent\""_s, {}, true);
        row("ANY keyword", u"ANY tags == \"nope\""_s, {}, false);
        row("SOME keyword", u"SOME tags BEGINSWITH \"ur\""_s, {}, true);
        row("to-many of maps", u"attendees.name == \"Bob\""_s, {}, true);
        row("to-many missing value", u"attendees.email == nil"_s, {}, true);
        row("to-many not equal holds for one", u"attendees.name != \"Ann\""_s, {}, true);
        row("value in key path", u"\"urgent\" IN tags"_s, {}, true);
        row("text in text", u"\"gen\" IN \"urgent\""_s, {}, true);
        row("key in text", u"uid IN \"xA-1y\""_s, {}, true);
        row("missing == nil", u"missing == nil"_s, {}, true);
        row("missing != nil", u"missing != nil"_s, {}, false);
        row("present != nil", u"uid != nil"_s, {}, true);
        row("missing ordered", u"missing < 5"_s, {}, false);
        row("missing != value", u"missing != 5"_s, {}, true);
        row("data literal", u"blob == CAST(\"AQI=\", \"NSData\")"_s, {}, true);
        row("date by instant", u"dueDate == CAST(\"2026-12-05T11:00:00+01:00\", \"NSDate\")"_s, {},
            true);
        row("date from seconds", u"dueDate == CAST(1796464800, \"NSDate\")"_s, {}, true);
        row("doubles", u"ratio > 0.25 && ratio < 1"_s, {}, true);
        row("truepredicate", u"TRUEPREDICATE"_s, {}, true);
        row("false or", u"FALSEPREDICATE OR uid == \"A-1\""_s, {}, true);
        row("bang", u"!(uid == \"A-1\")"_s, {}, false);
        row("and before or", u"uid == \"x\" AND use == 3 OR priority == 2"_s, {}, true);
        row("parentheses", u"uid == \"x\" AND (use == 3 OR priority == 2)"_s, {}, false);
        row("not before and", u"NOT uid == \"x\" AND use == 4"_s, {}, false);
        row("like", u"lastName LIKE \"B?u*\""_s, {}, true);
        row("like is exact", u"lastName LIKE \"b*\""_s, {}, false);
        row("like[c]", u"lastName LIKE[c] \"b*R\""_s, {}, true);
        row("like escaped star", u"pattern LIKE \"5\\\\*\""_s, {}, true);
        row("like escaped star is literal", u"sound LIKE \"Bas\\\\*\""_s, {}, false);
        row("matches", u"uid MATCHES \"[A-Z]-\\d\""_s, {}, true);
        row("matches whole text", u"uid MATCHES \"A\""_s, {}, false);
        row("matches[c]", u"lastName MATCHES[c] \"bauer\""_s, {}, true);
        row("text op on number", u"priority CONTAINS \"2\""_s, {}, false);
        row("escaped keyword key", u"#in == 1"_s, {}, true);
        row("keys keep case", u"UID = %@"_s, {u"A-1"_s}, false);
        row("keywords in any case", u"uid == \"A-1\" and use == 3"_s, {}, true);
        row("map is not nil", u"calendar == nil"_s, {}, false);
        row("big exact", u"big == 9007199254740993"_s, {}, true);
        row("alternative operators", u"use => 3 AND use =< 3 AND use <> 4"_s, {}, true);
    }

    void evaluateMap()
    {
        QFETCH(QString, format);
        QFETCH(QVariantList, arguments);
        QFETCH(bool, expected);

        const auto p = Predicate::parse(format, arguments);
        QVERIFY2(p, qPrintable(p ? QString() : p.error().message));
        QCOMPARE(p->evaluate(sample()), expected);
    }

    void errors_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");

        auto row = [](const QString &f, const char *message) {
            QTest::newRow(qPrintable(f)) << f << QVariantList{u"x"_s} << int(ZEM_Error::ParseFailed)
                                         << QString::fromLatin1(message);
        };
        row(u""_s, "expected a key path or value at 0");
        row(u"name =="_s, "expected a key path or value at 7");
        row(u"name"_s, "expected an operator at 4");
        row(u"name === 1"_s, "expected a key path or value at 7");
        row(u"name == 'abc"_s, "unterminated text starting at 8");
        row(u"(a == 1"_s, "expected ')' at 7");
        row(u"a == 1)"_s, "expected AND, OR or the end at 6");
        row(u"a == 1 b == 2"_s, "expected AND, OR or the end at 7");
        row(u"a CONTAINS[x] 'b'"_s, "expected the options c, d or cd at 11");
        row(u"a CONTAINS[c 'b'"_s, "expected ']' at 13");
        row(u"a <[c] 1"_s, "options are not allowed with '<' at 3");
        row(u"a == %q"_s, "unknown argument '%q' at 5");
        row(u"a == {1, 2"_s, "expected ',' or '}' at 10");
        row(u"a == {1, b}"_s, "expected a value at 9");
        row(u"a == 1 AND"_s, "expected a key path or value at 10");
        row(u"a MATCHES '('"_s, "invalid regular expression");
        row(u"a == CAST('x', 'NSDate')"_s, "expected an ISO 8601 date at 10");
        row(u"a == CAST('@@', 'NSData')"_s, "expected base64 data at 10");
        row(u"a == CAST('x', 'Thing')"_s, "unknown type \"Thing\" for CAST at 15");
        row(u"a == CAST(1e13, 'NSDate')"_s, "date out of range at 10");
        row(u"a == 1 @"_s, "unexpected character '@' at 7");
        row(u"a == 1 \u0001"_s, "unexpected character U+0001 at 7");
        row(u"ANY 5 == 1"_s, "expected a key path after ANY at 4");
        row(u"a == ANY b"_s, "expected a key path or value at 5");
        row(u"in == 1"_s, "expected a key path or value at 0");
        row(u"a. == 1"_s, "expected a key after '.' at 3");
        row(u"a == 1e"_s, "expected the digits of an exponent at 7");
        row(u"a == '\\u12'"_s, "expected four hex digits after \\u at 6");
        row(u"a == {%K}"_s, "expected a value, not %K at 6");

        // Arguments that do not fit their placeholders.
        auto argument = [](const char *tag, const QString &f, const QVariantList &args, const QString &message) {
            QTest::newRow(tag) << f << args << int(ZEM_Error::InvalidArgument) << message;
        };
        argument("too few", u"a == %@ OR b == %@"_s, {1}, u"too few arguments: %@ at 16 has no value (1 given)"_s);
        argument("too many", u"a == %@"_s, {1, 2}, u"too many arguments: 2 given, 1 used"_s);
        argument("key not text", u"%K == 1"_s, {5}, u"%K at 0 needs a key path"_s);
        argument("key with space", u"%K == 1"_s, {u"a b"_s}, u"needs a key path text, not \"a b\""_s);
        argument("empty key", u"%K == 1"_s, {u""_s}, u"needs a key path"_s);
        argument("integer from text", u"a == %d"_s, {u"abc"_s}, u"%d at 5 needs an integer"_s);
        argument("integer from nothing", u"a == %i"_s, {QVariant()}, u"needs an integer, not nothing"_s);
        argument("integer from nan", u"a == %d"_s, {std::numeric_limits<double>::quiet_NaN()}, u"needs an integer"_s);
        argument("double from nothing", u"a == %f"_s, {QVariant()}, u"%f at 5 needs a number"_s);
    }

    void errors()
    {
        QFETCH(QString, format);
        QFETCH(QVariantList, arguments);
        QFETCH(int, code);
        QFETCH(QString, message);
        const auto p = Predicate::parse(format, arguments);
        QVERIFY(!p);
        QCOMPARE(int(p.error().code), code);
        QVERIFY2(p.error().message.contains(message), qPrintable(p.error().message));
    }

    void argumentConversion()
    {
        const auto p = Predicate::parse(u"a == %d OR b == %i OR c == %ld OR d == %f OR e == %lf "
                                        "OR f IN %@ OR g == %lu OR h == %@"_s,
                                        {2.9, u"17"_s, true, 3, u"0.25"_s, QStringList{u"x"_s, u"y"_s},
                                         qint64(-4), QByteArray("b")});
        QVERIFY2(p, qPrintable(p ? QString() : p.error().message));
        QVariantList constants;
        QList<int> types;
        for (const auto &child : p->root().children) {
            constants.append(child->rhs.constant);
            types.append(child->rhs.constant.typeId());
        }
        QCOMPARE(constants, (QVariantList{qint64(2), qint64(17), qint64(1), 3.0, 0.25, QVariantList{u"x"_s, u"y"_s},
                                          qint64(-4), QByteArray("b")}));
        const int integer = QMetaType::LongLong, real = QMetaType::Double;
        QCOMPARE(types, (QList<int>{integer, integer, integer, real, real, QMetaType::QVariantList, integer,
                                    QMetaType::QByteArray}));

        // %K becomes a key path, not a constant.
        const auto k = Predicate::parse(u"%K BEGINSWITH 'a'"_s, {u"calendar.title"_s});
        QVERIFY(k);
        QVERIFY(k->root().lhs.isKeyPath);
        QCOMPARE(k->root().lhs.keyPath, u"calendar.title"_s);

        // A percent sign inside a quoted text is text, not an argument.
        const auto text = Predicate::parse(u"a == '100%@'"_s);
        QVERIFY(text);
        QCOMPARE(text->root().rhs.constant, QVariant(u"100%@"_s));
    }

    void nesting()
    {
        auto nested = [](int depth, const QString &open, const QString &close) {
            return open.repeated(depth) + u"a == 1"_s + close.repeated(depth);
        };
        QVERIFY(Predicate::parse(nested(Predicate::maximumDepth, u"("_s, u")"_s)));
        for (const auto &[open, close] :
             {std::pair{u"("_s, u")"_s}, std::pair{u"NOT ("_s, u")"_s}, std::pair{u"!"_s, u""_s}}) {
            const auto tooDeep = Predicate::parse(nested(Predicate::maximumDepth + 1, open, close));
            QVERIFY(!tooDeep);
            QCOMPARE(tooDeep.error().code, ZEM_Error::ParseFailed);
            QVERIFY2(tooDeep.error().message.contains(u"nesting deeper than 256"_s),
                     qPrintable(tooDeep.error().message));
        }
        // Far past the limit the parser stops early instead of running out of stack.
        const auto huge = Predicate::parse(u"("_s.repeated(200000) + u"a == 1"_s);
        QVERIFY(!huge);
        QVERIFY(huge.error().message.contains(u"nesting"_s));
        const auto lists = Predicate::parse(u"a IN "_s + u"{"_s.repeated(100000));
        QVERIFY(!lists);
        QVERIFY(lists.error().message.contains(u"nesting"_s));

        // The deepest accepted NOT chain still formats and evaluates.
        const auto nots = Predicate::parse(u"NOT "_s.repeated(Predicate::maximumDepth) + u"#in == 1"_s);
        QVERIFY(nots);
        QVERIFY(nots->evaluate(sample())); // an even number of NOTs
        QCOMPARE(Predicate::parse(nots->format()).value(), nots.value());
    }

    void longInput()
    {
        QStringList parts;
        for (int i = 0; i < 20000; ++i)
            parts.append(u"k%1 == %1"_s.arg(i));
        const QString format = parts.join(u" OR "_s);
        const auto p = Predicate::parse(format);
        QVERIFY(p);
        QCOMPARE(p->root().kind, Predicate::NodeKind::Or);
        QCOMPARE(p->root().children.size(), 20000);
        QVERIFY(p->evaluate(QVariantMap{{u"k19999"_s, 19999}}));
        QVERIFY(!p->evaluate(QVariantMap{{u"k19999"_s, 1}}));
        QCOMPARE(p->format(), format);

        const QString longText = u"x"_s.repeated(1 << 20);
        const auto t = Predicate::parse(u"a == \""_s + longText + u'"');
        QVERIFY(t);
        QCOMPARE(t->root().rhs.constant.toString().size(), longText.size());
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QVariantList>("arguments");

        auto row = [](const QString &f, const QVariantList &args = {}) {
            QTest::newRow(qPrintable(f)) << f << args;
        };
        row(u"uid == 'A-1' AND use >= 3"_s);
        row(u"ratio == 0.1 OR ratio == 1e300 OR ratio == -0.0 OR ratio == 5e-324"_s);
        row(u"ratio < 1e999 AND ratio > -1e999"_s);
        row(u"ratio != CAST('nan', 'NSNumber')"_s);
        row(u"big < 18446744073709551615 AND big > -9223372036854775808"_s);
        row(u"big < 123456789012345678901234567890"_s);
        row(u"name != \"a\\\"b\\\\c\\n\\t\\u0001\\u007f'\""_s);
        row(u"name CONTAINS[cd] 'Äpfel 😀 ẞ'"_s);
        row(u"#in == 1 AND calendar.#or == 2 AND #TRUE == 3"_s);
        row(u"dueDate == CAST('2026-12-05T10:00:00.123Z', 'NSDate')"_s);
        row(u"dueDate < CAST(-1e11, 'NSDate') OR dueDate > CAST(253402300800.5, 'NSDate')"_s);
        row(u"blob == CAST('AQI=', 'NSData') OR blob == CAST('', 'NSData')"_s);
        row(u"priority IN {1, 2.5, 'x', {TRUE, NIL}, {}}"_s);
        row(u"NOT (a == 1 OR b == 2) AND NOT NOT c == 3 OR !(d == 4)"_s);
        row(u"(a == 1 AND b == 2) AND (c == 3 OR (d == 4 OR e == 5))"_s);
        row(u"TRUEPREDICATE AND NOT FALSEPREDICATE"_s);
        row(u"ANY tags LIKE[c] 'u*\\\\?' AND uid MATCHES[d] '[A-Z]-\\d+'"_s);
        row(u"a BEGINSWITH[d] 'x' AND a ENDSWITH[c] 'y' AND a ==[cd] 'z' AND a !=[c] 'w' AND a IN[c] {'Q'}"_s);
        row(u"%K == %@ AND dueDate < %@ AND blob == %@ AND priority IN %@ AND ratio == %f AND use == %d"_s,
            {u"calendar.title"_s, u"Work"_s, utc("2026-12-06T00:00:00.000Z"), QByteArray("\0\xff", 2),
             QVariantList{1, u"two"_s, 3.5f}, 0.5, 3});
    }

    void roundTrip()
    {
        QFETCH(QString, format);
        QFETCH(QVariantList, arguments);

        const auto p = Predicate::parse(format, arguments);
        QVERIFY2(p, qPrintable(p ? QString() : p.error().message));
        const QString written = p->format();
        const auto again = Predicate::parse(written);
        QVERIFY2(again, qPrintable(written + u" → "_s + (again ? QString() : again.error().message)));
        QVERIFY2(*again == *p, qPrintable(written));
        QCOMPARE(again->format(), written);

        QVariantMap other = sample();
        other[u"ratio"_s] = 0.1;
        other[u"tags"_s] = QStringList{u"U*\\?"_s};
        other[u"a"_s] = u"X"_s;
        for (const QVariantMap &values : {sample(), other, QVariantMap()})
            QCOMPARE(again->evaluate(values), p->evaluate(values));
    }

    void canonicalFormat_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("expected");

        QTest::newRow("symbols") << u"a = 1 && !(b <> 'x') || c =< 2"_s
                                 << u"a == 1 AND NOT b != \"x\" OR c <= 2"_s;
        QTest::newRow("keywords") << u"any tags contains[DC] 'x' and not c in {1,2}"_s
                                  << u"tags CONTAINS[cd] \"x\" AND NOT c IN {1, 2}"_s;
        QTest::newRow("groups") << u"((a == 1 or b == 2)) and c == nil"_s
                                << u"(a == 1 OR b == 2) AND c == NIL"_s;
        QTest::newRow("numbers") << u"a == 2.50 OR a == 1E3 OR a == 7 OR a == yes"_s
                                 << u"a == 2.5 OR a == 1000.0 OR a == 7 OR a == TRUE"_s;
        QTest::newRow("date") << u"d == CAST(\"2026-12-05T11:00:00+01:00\", \"NSDate\")"_s
                              << u"d == CAST(\"2026-12-05T10:00:00.000Z\", \"NSDate\")"_s;
    }

    void canonicalFormat()
    {
        QFETCH(QString, format);
        QFETCH(QString, expected);
        const auto p = Predicate::parse(format);
        QVERIFY2(p, qPrintable(p ? QString() : p.error().message));
        QCOMPARE(p->format(), expected);
    }

    // Predicate::compare: numbers of every kind against each other, then texts, data and dates.
    void compare_data()
    {
        QTest::addColumn<QVariant>("lhs");
        QTest::addColumn<Op>("op");
        QTest::addColumn<QVariant>("rhs");
        QTest::addColumn<Predicate::Options>("options");
        QTest::addColumn<bool>("expected");

        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        const qint64 max = std::numeric_limits<qint64>::max();
        const qint64 min = std::numeric_limits<qint64>::min();
        const quint64 umax = std::numeric_limits<quint64>::max();
        const Predicate::Options none;
        const Predicate::Options c = Opt::CaseInsensitive;
        const Predicate::Options d = Opt::DiacriticInsensitive;
        const Predicate::Options cd = c | d;
        auto row = [](const char *name, QVariant l, Op op, QVariant r, Predicate::Options o, bool e) {
            QTest::newRow(name) << l << op << r << o << e;
        };
        row("2^53+1 == 2^53 double", twoTo53 + 1, Op::Equal, double(twoTo53), none, false);
        row("2^53+1 > 2^53 double", twoTo53 + 1, Op::Greater, double(twoTo53), none, true);
        row("2^53 double < 2^53+1", double(twoTo53), Op::Less, twoTo53 + 1, none, true);
        row("2^53 == 2^53 double", twoTo53, Op::Equal, double(twoTo53), none, true);
        row("max < 2^63 double", max, Op::Less, 9223372036854775808.0, none, true);
        row("min == -2^63 double", min, Op::Equal, -9223372036854775808.0, none, true);
        row("min > -inf", min, Op::Greater, -inf, none, true);
        row("max < inf", max, Op::Less, inf, none, true);
        row("umax > max", umax, Op::Greater, max, none, true);
        row("umax < 2^64 double", umax, Op::Less, 18446744073709551616.0, none, true);
        row("-1 < 1u", qint64(-1), Op::Less, quint64(1), none, true);
        row("-1 != umax", qint64(-1), Op::NotEqual, umax, none, true);
        row("2.5 > 2", 2.5, Op::Greater, 2, none, true);
        row("-2.5 < -2", -2.5, Op::Less, qint64(-2), none, true);
        row("-2.5 > -3", -2.5, Op::Greater, qint64(-3), none, true);
        row("int == qint64", 3, Op::Equal, qint64(3), none, true);
        row("float == double", 0.5f, Op::Equal, 0.5, none, true);
        row("-0.0 == 0", -0.0, Op::Equal, 0, none, true);
        row("true == 1", true, Op::Equal, 1, none, true);
        row("false == 0.0", false, Op::Equal, 0.0, none, true);
        row("true > 0", true, Op::Greater, qint64(0), none, true);
        row("true == '1'", true, Op::Equal, u"1"_s, none, false);
        row("1 == '1'", 1, Op::Equal, u"1"_s, none, false);
        row("1 != '1'", 1, Op::NotEqual, u"1"_s, none, true);
        row("1 < '2'", 1, Op::Less, u"2"_s, none, false);
        row("nan == nan", nan, Op::Equal, nan, none, false);
        row("nan != nan", nan, Op::NotEqual, nan, none, true);
        row("nan < 1", nan, Op::Less, 1, none, false);
        row("nan >= 1", nan, Op::GreaterOrEqual, 1, none, false);
        row("nil == nil", QVariant(), Op::Equal, QVariant(), none, true);
        row("nil == 0", QVariant(), Op::Equal, 0, none, false);
        row("nil <= nil", QVariant(), Op::LessOrEqual, QVariant(), none, false);
        row("1 <= nil", 1, Op::LessOrEqual, QVariant(), none, false);
        row("1 IN {1.0}", 1, Op::In, QVariantList{1.0}, none, true);
        row("list equals list", QVariantList{1, u"a"_s}, Op::Equal, QVariantList{1.0, u"a"_s}, none, true);
        row("Äpfel contains[cd] apf", u"Äpfel"_s, Op::Contains, u"apf"_s, cd, true);
        row("Äpfel contains[c] apf", u"Äpfel"_s, Op::Contains, u"apf"_s, c, false);
        row("Äpfel contains[d] apf", u"Äpfel"_s, Op::Contains, u"apf"_s, d, false);
        row("Äpfel contains[d] Apf", u"Äpfel"_s, Op::Contains, u"Apf"_s, d, true);
        row("STRASSE ==[c] straße", u"STRASSE"_s, Op::Equal, u"straße"_s, c, true);
        row("capital sharp s ==[c] ss", u"ẞ"_s, Op::Equal, u"ss"_s, c, true);
        row("straße == strasse exact", u"straße"_s, Op::Equal, u"strasse"_s, none, false);
        row("ligature ==[c] FILE", u"ﬁle"_s, Op::Equal, u"FILE"_s, c, true);
        row("final sigma", u"ΣΊΣΥΦΟΣ"_s, Op::Equal, u"σίσυφος"_s, c, true);
        row("dotted I beginswith[cd] i", u"İstanbul"_s, Op::BeginsWith, u"istanbul"_s, cd, true);
        row("dotless i stays apart", u"ıstanbul"_s, Op::Equal, u"ISTANBUL"_s, c, false);
        row("i ==[c] I", u"i"_s, Op::Equal, u"I"_s, c, true);
        row("composed ==[c] decomposed", u"\u00e9"_s, Op::Equal, u"E\u0301"_s, c, true);
        row("composed != decomposed exact", u"\u00e9"_s, Op::Equal, u"e\u0301"_s, none, false);
        row("café ==[d] cafe", u"café"_s, Op::Equal, u"cafe"_s, d, true);
        row("café ==[d] CAFE", u"café"_s, Op::Equal, u"CAFE"_s, d, false);
        row("café !=[cd] CAFE", u"café"_s, Op::NotEqual, u"CAFE"_s, cd, false);
        row("endswith[c]", u"Report.PDF"_s, Op::EndsWith, u".pdf"_s, c, true);
        row("contains empty", u"abc"_s, Op::Contains, u""_s, none, true);
        row("text vs data", u"abc"_s, Op::Equal, QByteArray("abc"), none, false);
        row("contains on data", QByteArray("abc"), Op::Contains, QByteArray("b"), none, false);
        row("data bytes unsigned", QByteArray("\xff"), Op::Greater, QByteArray("\x01"), none, true);
        row("data prefix", QByteArray("ab"), Op::Less, QByteArray("abc"), none, true);
        row("dates by instant", utc("2026-01-01T01:00:00+01:00"), Op::Equal,
            utc("2026-01-01T00:00:00Z"), none, true);
        row("dates ordered", utc("2026-01-01T00:00:00Z"), Op::Less, utc("2026-01-01T00:00:00.001Z"),
            none, true);
        row("date vs number", utc("1970-01-01T00:00:00Z"), Op::Equal, 0, none, false);
        row("in[c] list", u"a"_s, Op::In, QVariantList{u"A"_s, u"b"_s}, c, true);
        row("in list exact", u"a"_s, Op::In, QVariantList{u"A"_s, u"b"_s}, none, false);
        row("in string list", u"b"_s, Op::In, QStringList{u"A"_s, u"b"_s}, none, true);
        row("like ? is one character", u"a😀b"_s, Op::Like, u"a?b"_s, none, true);
        row("like star backtracks", u"aXbXc"_s, Op::Like, u"a*b*c"_s, none, true);
        row("like needs whole text", u"abc"_s, Op::Like, u"a*b"_s, none, false);
        row("like[cd]", u"Crème"_s, Op::Like, u"CREME"_s, cd, true);
        row("matches[d]", u"Crème"_s, Op::Matches, u"Cr[a-z]me"_s, d, true);
        row("matches[c] keeps escapes", u"ABC1"_s, Op::Matches, u"[a-z]+\\D"_s, c, false);
        row("bad regex is false", u"a"_s, Op::Matches, u"("_s, none, false);
        row("ordering[c]", u"apple"_s, Op::Less, u"Banana"_s, c, true);
        row("ordering exact", u"apple"_s, Op::Less, u"Banana"_s, none, false);
    }

    void compare()
    {
        QFETCH(QVariant, lhs);
        QFETCH(Op, op);
        QFETCH(QVariant, rhs);
        QFETCH(Predicate::Options, options);
        QFETCH(bool, expected);
        QCOMPARE(Predicate::compare(lhs, op, rhs, options), expected);
    }

    void codePointOrder()
    {
        const QString astral = QString::fromUcs4(U"\U0001F600");
        const QString high = u"\uFF5E"_s;
        // UTF-16 units put the astral character first; code points (and UTF-8) put it last.
        QVERIFY(QString::compare(astral, high) < 0);
        QVERIFY(Predicate::order(astral, high) > 0);
        QVERIFY(Predicate::compare(astral, Op::Greater, high));

        QStringList texts{
            u"b"_s,          astral,       high,        u"a"_s, u"\uE000"_s,
            u"a"_s + astral, u"a\uFFFF"_s, u"\u00e9"_s, u""_s,  QString::fromUcs4(U"\U00010000")};
        QStringList byOrder = texts, byBytes = texts;
        std::sort(byOrder.begin(), byOrder.end(),
                  [](const QString &x, const QString &y) { return Predicate::order(x, y) < 0; });
        std::sort(byBytes.begin(), byBytes.end(),
                  [](const QString &x, const QString &y) { return x.toUtf8() < y.toUtf8(); });
        QCOMPARE(byOrder, byBytes);
    }

    void orderAcrossKinds()
    {
        const QVariantList ascending{QVariant(), std::numeric_limits<double>::quiet_NaN(), -1.5, false, qint64(2),
                                     u"A"_s, u"a"_s, utc("2000-01-01T00:00:00Z"), QByteArray("\x00", 1),
                                     QVariantList{1}};
        for (qsizetype i = 0; i < ascending.size(); ++i) {
            QCOMPARE(Predicate::order(ascending.at(i), ascending.at(i)), 0);
            for (qsizetype j = i + 1; j < ascending.size(); ++j) {
                QVERIFY2(Predicate::order(ascending.at(i), ascending.at(j)) < 0,
                         qPrintable(u"%1 before %2"_s.arg(i).arg(j)));
                QVERIFY(Predicate::order(ascending.at(j), ascending.at(i)) > 0);
            }
        }
        QCOMPARE(Predicate::order(1, 1.0), 0);
        QCOMPARE(Predicate::order(true, 1), 0);
        // Case-insensitive order folds first, then breaks ties exactly so it stays total.
        QVERIFY(Predicate::order(u"a"_s, u"B"_s, false) > 0);
        QVERIFY(Predicate::order(u"a"_s, u"B"_s, true) < 0);
        QVERIFY(Predicate::order(u"a"_s, u"A"_s, true) > 0);
        QVERIFY(Predicate::order(u"A"_s, u"a"_s, true) < 0);
    }

    void sorting()
    {
        const QList<QVariantMap> rows{
            {{u"id"_s, 1}, {u"name"_s, u"bauer"_s}, {u"age"_s, 30}},
            {{u"id"_s, 2}, {u"name"_s, u"Adler"_s}, {u"age"_s, 40}},
            {{u"id"_s, 3}, {u"name"_s, u"Bauer"_s}, {u"age"_s, 30}},
            {{u"id"_s, 4}, {u"name"_s, u"bauer"_s}, {u"age"_s, 50}},
            {{u"id"_s, 5}, {u"age"_s, 20}},
            {{u"id"_s, 6}, {u"name"_s, u"Äbel"_s}, {u"age"_s, 20}},
            {{u"id"_s, 7}, {u"name"_s, u"aaron"_s}, {u"age"_s, 10}},
        };
        auto sorted = [&](const QList<SortDescriptor> &descriptors) {
            QList<QVariantMap> copy = rows;
            std::stable_sort(copy.begin(), copy.end(), [&](const QVariantMap &x, const QVariantMap &y) {
                return SortDescriptor::compare(
                           descriptors, [&](const QString &k) { return x.value(k); },
                           [&](const QString &k) { return y.value(k); }) < 0;
            });
            QList<int> ids;
            for (const QVariantMap &m : copy)
                ids.append(m.value(u"id"_s).toInt());
            return ids;
        };
        // Missing first, exact code points ("B" < "a" < "b" < "Ä"), then age descending.
        QCOMPARE(sorted({{u"name"_s, true, false}, {u"age"_s, false, false}}),
                 (QList<int>{5, 2, 3, 7, 4, 1, 6}));
        // Folded, "aaron" comes first; "Bauer" and "bauer" tie and the exact order breaks the
        // tie before age does.
        QCOMPARE(sorted({{u"name"_s, true, true}, {u"age"_s, false, false}}),
                 (QList<int>{5, 7, 2, 3, 4, 1, 6}));
        QCOMPARE(sorted({{u"age"_s, true, false}, {u"name"_s, false, true}}),
                 (QList<int>{7, 6, 5, 1, 3, 2, 4}));
        // Descending puts missing values last.
        QCOMPARE(sorted({{u"name"_s, false, false}}).last(), 5);

        const SortDescriptor down{u"x"_s, false, false};
        QVERIFY(down.compare(1, 2) > 0);
        QVERIFY(down.compare(u"a"_s, u"a"_s) == 0);
    }

    void factories()
    {
        QVERIFY(Predicate().isTrue());
        QVERIFY(Predicate::andPredicate({}).isTrue());
        QVERIFY(!Predicate::orPredicate({}).evaluate(QVariantMap()));

        const Predicate word =
            Predicate::comparison(u"in"_s, Op::Equal, u"Work"_s, Opt::CaseInsensitive);
        QCOMPARE(word.format(), u"#in ==[c] \"Work\""_s);
        QVERIFY(word.evaluate(QVariantMap{{u"in"_s, u"WORK"_s}}));
        QCOMPARE(Predicate::parse(word.format()).value(), word);

        const Predicate big = Predicate::comparison(u"n"_s, Op::Greater, 2);
        const Predicate both = Predicate::andPredicate({word, Predicate::notPredicate(big)});
        QCOMPARE(both.format(), u"#in ==[c] \"Work\" AND NOT n > 2"_s);
        QVERIFY(both.evaluate(QVariantMap{{u"in"_s, u"work"_s}, {u"n"_s, 2}}));
        QVERIFY(!both.evaluate(QVariantMap{{u"in"_s, u"work"_s}, {u"n"_s, 3}}));
        const Predicate either = Predicate::orPredicate({both, big});
        QVERIFY(either.evaluate(QVariantMap{{u"n"_s, 3}}));
        QCOMPARE(Predicate::parse(either.format()).value(), either);
        QVERIFY(!(either == both));
        QCOMPARE(
            Predicate::comparison(u"t"_s, Op::In, QStringList{u"a"_s}).root().rhs.constant.typeId(),
            QMetaType::QVariantList);
    }

    void records()
    {
        StoreContext context;
        PersistentObject *work = context.insertNewObject(u"Thing"_s);
        work->setValueForKey(u"Work"_s, u"title"_s);
        PersistentObject *event = context.insertNewObject(u"Thing"_s);
        event->setValueForKey(u"Meeting"_s, u"title"_s);
        event->setValueForKey(PersistentObject::toVariant(work), u"calendar"_s);
        PersistentObject *ann = context.insertNewObject(u"Thing"_s);
        ann->setValueForKey(u"Ann"_s, u"name"_s);
        PersistentObject *bob = context.insertNewObject(u"Thing"_s);
        bob->setValueForKey(u"Bob"_s, u"name"_s);
        event->setValueForKey(PersistentObject::toVariant(RecordSet{ann, bob}), u"attendees"_s);

        auto holds = [](const QString &format, PersistentObject *record,
                        const QVariantList &args = {}) {
            const auto p = Predicate::parse(format, args);
            if (!p)
                qWarning() << p.error().message;
            return p && p->evaluate(record);
        };
        QVERIFY(holds(u"calendar.title == \"Work\""_s, event));
        QVERIFY(!holds(u"calendar.title == \"Home\""_s, event));
        QVERIFY(holds(u"calendar == %@"_s, event, {PersistentObject::toVariant(work)}));
        QVERIFY(!holds(u"calendar == %@"_s, event, {PersistentObject::toVariant(ann)}));
        QVERIFY(holds(u"calendar == nil"_s, work));
        QVERIFY(!holds(u"calendar == nil"_s, event));
        QVERIFY(holds(u"attendees.name == 'Bob'"_s, event));
        QVERIFY(!holds(u"attendees.name == 'Cy'"_s, event));
        QVERIFY(holds(u"%@ IN attendees"_s, event, {PersistentObject::toVariant(ann)}));
        QVERIFY(!holds(u"%@ IN attendees"_s, event, {PersistentObject::toVariant(work)}));
        QVERIFY(holds(u"attendees == %@"_s, event, {PersistentObject::toVariant(bob)}));

        // The value is read at evaluation time, through the record.
        work->setValueForKey(u"Home"_s, u"title"_s);
        QVERIFY(holds(u"calendar.title == \"Home\""_s, event));
    }
};

ZEM_TEST_MAIN(tst_Predicate)
#include "tst_Predicate.moc"
