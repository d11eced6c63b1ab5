// vCards arrive from phones, mail attachments and servers that each bend the format their
// own way: reading must never crash or hang, and every card it accepts must come back
// unchanged from a write and a second read, in both versions the kit writes.
#include "platform/addressbook/VCard.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void failed(const char *what, const QByteArray &written)
{
    std::fprintf(stderr, "fuzz_vcard: %s\nwritten:\n%s\n", what, written.constData());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const platform::VCardReadResult result = platform::readVCards(input);

    for (const platform::VCard &card : result.cards) {
        for (const QString &version : {QStringLiteral("3.0"), QStringLiteral("4.0")}) {
            const QByteArray written = platform::writeVCard(card, version);
            const platform::VCardReadResult again = platform::readVCards(written);
            if (!again.problems.isEmpty())
                failed(qPrintable(QStringLiteral("problems reading a written card: ")
                                  + again.problems.join(QStringLiteral("; "))),
                       written);
            if (again.cards.size() != 1)
                failed("a written card did not read back as one card", written);
            platform::VCard expected = card;
            expected.version = version;
            if (!(again.cards.first() == expected))
                failed("card changed in a write and read", written);
            for (const platform::VCardProperty &p : card.properties) {
                (void)p.text();
                (void)p.components();
                (void)p.binary();
            }
        }
    }
    return 0;
}
