// Answers to MX queries come from the network, from whoever can reach the resolver's port:
// reading them must never crash, read outside the answer or hang, and what it returns must
// be a usable list of exchangers whatever the bytes say.
#include "messaging/ZEM_A_E_MailDelivery.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void failed(const char *what, const QString &name)
{
    std::fprintf(stderr, "fuzz_mx_answer: %s: \"%s\"\n", what, qPrintable(name));
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 65535)
        return 0; // more than any DNS message
    const QStringList names = ZEM_A_E_MailDelivery::mailServersFromAnswer(data, int(size));
    if (names.size() > 99)
        failed("more than 99 exchangers", QString::number(names.size()));
    QString previous;
    for (const QString &name : names) {
        if (name.isEmpty() || !name.endsWith(QLatin1Char('.')))
            failed("name not ending in a dot", name);
        for (const QChar c : name) {
            if (c.unicode() <= 0x20 || c.unicode() >= 0x7f) // the rest comes escaped
                failed("name outside printable ASCII", name);
        }
        if (name.compare(previous, Qt::CaseInsensitive) == 0)
            failed("name listed twice in a row", name);
        previous = name;
    }
    return 0;
}
