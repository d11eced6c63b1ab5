// Rich text arrives in notes written by other programs: the reader must refuse bad input
// with a reason, and whatever it accepts must be a well-formed attributed string.
#include "platform/RtfReader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {
[[noreturn]] void failed(const char *what)
{
    std::fprintf(stderr, "fuzz_rtf: %s\n", what);
    std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto result = platform::RtfReader::read(input);
    if (!result) {
        if (result.error().message.isEmpty())
            failed("error without a message");
        return 0;
    }
    const platform::AttributedString &text = *result;
    if (text.isNull())
        failed("accepted input gave no attributed string");
    int covered = 0;
    for (const auto &run : text.runs()) {
        if (run.start != covered || run.length <= 0)
            failed("runs leave gaps or overlap");
        covered += run.length;
    }
    if (covered != text.length())
        failed("runs do not cover the text");
    const int half = text.length() / 2;
    platform::AttributedString joined = text.left(half);
    joined.append(text.mid(half));
    if (joined != text)
        failed("splitting and joining changed the text");
    return 0;
}
