// Replies come from whatever answers on the other end of a connection. The reader must
// never accept something without a proper code, and how the bytes happen to be split
// across reads must not change what it makes of them.
#include "messaging/detail/SmtpReply.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

using messaging::detail::SmtpReplyReader;
using State = SmtpReplyReader::State;

namespace {

[[noreturn]] void failed(const char *what)
{
    std::fprintf(stderr, "fuzz_smtp_reply: %s\n", what);
    std::abort();
}

struct Outcome
{
    std::vector<std::pair<int, QByteArray>> replies;
    State last = State::NeedMore;
};

void collect(SmtpReplyReader &reader, State state, Outcome &out)
{
    while (state == State::Complete) {
        const int code = reader.code();
        const QByteArray reply = reader.reply();
        if (code < 100 || code > 599)
            failed("complete reply with a code out of range");
        if (reply.size() < 4 || reply.left(3) != QByteArray::number(code) || !reply.endsWith('\n'))
            failed("reply text does not begin with its code or end a line");
        if (static_cast<std::size_t>(reply.size()) > SmtpReplyReader::MaxReplyBytes)
            failed("reply longer than the limit");
        out.replies.emplace_back(code, reply);
        state = reader.takeReply();
    }
    out.last = state;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The first byte says how many of the following bytes give chunk sizes (used in turn);
    // the rest is the stream.
    if (size < 1)
        return 0;
    const std::size_t sizeCount = data[0] % 16;
    if (size < 1 + sizeCount)
        return 0;
    const uint8_t *sizes = data + 1;
    const char *stream = reinterpret_cast<const char *>(data + 1 + sizeCount);
    const std::size_t length = size - 1 - sizeCount;

    Outcome pieces;
    {
        SmtpReplyReader reader;
        std::size_t offset = 0;
        for (std::size_t turn = 0; offset < length && pieces.last != State::Malformed; ++turn) {
            std::size_t chunk = sizeCount ? sizes[turn % sizeCount] : length;
            if (chunk == 0)
                chunk = 1;
            if (chunk > length - offset)
                chunk = length - offset;
            collect(reader, reader.feed(stream + offset, chunk), pieces);
            offset += chunk;
        }
        if (pieces.last == State::Malformed && (reader.code() != 0 || reader.feed("250 x\r\n", 7) != State::Malformed))
            failed("a malformed reader recovered without reset");
    }

    Outcome whole;
    {
        SmtpReplyReader reader;
        collect(reader, reader.feed(stream, length), whole);
    }

    if (pieces.replies != whole.replies)
        failed("replies depend on how the bytes were split");
    if (pieces.last != whole.last)
        failed("final state depends on how the bytes were split");
    return 0;
}
