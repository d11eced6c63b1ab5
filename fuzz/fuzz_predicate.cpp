// Predicate formats come from code and from saved searches users keep: the parser must
// refuse bad input cleanly, and whatever it accepts must write out and read back as the
// same predicate that decides every record the same way.
//
// An input starting with a digit and a colon ("3:…") passes that many of the fixed
// arguments below, so the fuzzer can reach the argument paths.
#include "platform/store/Predicate.h"

#include <QDateTime>
#include <QVariant>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

using namespace Qt::StringLiterals;
using platform::Predicate;

namespace {

const QVariantList &argumentPool()
{
    static const QVariantList pool{
        u"name"_s,
        qint64(7),
        2.5,
        u"tags"_s,
        QVariant(QVariantList{1, u"x"_s, true}),
        QDateTime::fromMSecsSinceEpoch(1796464800000, Qt::UTC),
        QByteArray("\0\xff", 2),
        u"Äpfel"_s,
        std::numeric_limits<double>::quiet_NaN(),
    };
    return pool;
}

const QList<QVariantMap> &samples()
{
    static const QList<QVariantMap> maps{
        {
            {u"name"_s, u"Äpfel und Birnen"_s},
            {u"uid"_s, u"A-1"_s},
            {u"a"_s, qint64(9007199254740993)},
            {u"b"_s, 2.5},
            {u"c"_s, true},
            {u"d"_s, QDateTime::fromMSecsSinceEpoch(1796464800000, Qt::UTC)},
            {u"blob"_s, QByteArray("\0\xff", 2)},
            {u"tags"_s, QStringList{u"home"_s, u"urgent"_s, u"u*\\?"_s}},
            {u"calendar"_s, QVariantMap{{u"title"_s, u"Work"_s}}},
            {u"people"_s, QVariantList{QVariantMap{{u"name"_s, u"Ann"_s}}, QVariantMap()}},
            {u"in"_s, u"x"_s},
        },
        {
            {u"name"_s, u"STRASSE"_s},
            {u"a"_s, std::numeric_limits<double>::quiet_NaN()},
            {u"b"_s, qint64(-1)},
            {u"tags"_s, QStringList()},
        },
        {},
    };
    return maps;
}

[[noreturn]] void failed(const char *what, const QString &detail = {})
{
    std::fprintf(stderr, "fuzz_predicate: %s %s\n", what, qPrintable(detail));
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    qsizetype count = 0;
    if (input.size() >= 2 && input.at(0) >= '0' && input.at(0) <= '9' && input.at(1) == ':') {
        count = qMin<qsizetype>(input.at(0) - '0', argumentPool().size());
        input.remove(0, 2);
    }
    const QString format = QString::fromUtf8(input);

    const auto p = Predicate::parse(format, argumentPool().mid(0, count));
    if (!p) {
        if (p.error().message.isEmpty())
            failed("error without a message");
        if (p.error().code != ZEM_Error::ParseFailed &&
            p.error().code != ZEM_Error::InvalidArgument)
            failed("unexpected error code", p.error().message);
        return 0;
    }

    const QString written = p->format();
    const auto again = Predicate::parse(written);
    if (!again)
        failed("written predicate does not parse:", written + u" — "_s + again.error().message);
    if (!(*again == *p))
        failed("predicate changed in a write and parse:", written);
    if (again->format() != written)
        failed("second write differs:", written + u" / "_s + again->format());
    for (const QVariantMap &values : samples())
        if (again->evaluate(values) != p->evaluate(values))
            failed("evaluation changed in a write and parse:", written);
    return 0;
}
