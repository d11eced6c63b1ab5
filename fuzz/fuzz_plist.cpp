// Property lists come from language files and settings a user may have edited by hand:
// the reader must refuse bad input cleanly, and whatever it accepts must survive a write
// and a second read unchanged.
#include "foundation/ZEM_F_PropertyList.h"

#include <QDateTime>
#include <QVariant>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstdio>

namespace {

// QVariant's == fails on NaN and treats 1 and 1.0 alike; the round trip must keep both
// the value and its type.
bool same(const QVariant &a, const QVariant &b)
{
    if (a.typeId() != b.typeId())
        return false;
    switch (a.typeId()) {
    case QMetaType::QVariantMap: {
        const QVariantMap x = a.toMap(), y = b.toMap();
        if (x.size() != y.size())
            return false;
        for (auto i = x.cbegin(), j = y.cbegin(); i != x.cend(); ++i, ++j)
            if (i.key() != j.key() || !same(i.value(), j.value()))
                return false;
        return true;
    }
    case QMetaType::QVariantList: {
        const QVariantList x = a.toList(), y = b.toList();
        if (x.size() != y.size())
            return false;
        for (qsizetype i = 0; i < x.size(); ++i)
            if (!same(x.at(i), y.at(i)))
                return false;
        return true;
    }
    case QMetaType::Double: {
        const double x = a.toDouble(), y = b.toDouble();
        return (std::isnan(x) && std::isnan(y))
               || (x == y && std::signbit(x) == std::signbit(y));
    }
    default:
        return a == b;
    }
}

[[noreturn]] void failed(const char *what)
{
    std::fprintf(stderr, "fuzz_plist: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));

    if (auto value = ZEM_F_PropertyList::read(input)) {
        if (!ZEM_F_PropertyList::canWrite(*value))
            failed("a value read cannot be written");
        auto again = ZEM_F_PropertyList::read(ZEM_F_PropertyList::write(*value));
        if (!again)
            failed(qPrintable(QStringLiteral("written value does not read back: ") + again.error().message));
        if (!same(*value, *again))
            failed("value changed in a write and read");
    } else if (value.error().message.isEmpty()) {
        failed("error without a message");
    }

    if (auto table = ZEM_F_PropertyList::readStringTable(input)) {
        auto again = ZEM_F_PropertyList::readStringTable(ZEM_F_PropertyList::writeStringTable(*table));
        if (!again)
            failed("written string table does not read back");
        if (again->keys() != table->keys())
            failed("string table keys changed in a write and read");
        for (const QString &key : table->keys())
            if (again->value(key) != table->value(key))
                failed("string table text changed in a write and read");
    }
    return 0;
}
