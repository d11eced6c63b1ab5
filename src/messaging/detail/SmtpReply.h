#pragma once
// Reading SMTP replies whole: lines of "ddd-text" ending in one "ddd text" (or "ddd") line,
// possibly arriving in many pieces.

#include <QByteArray>

#include <cstddef>

namespace messaging::detail {

class SmtpReplyReader
{
public:
    enum class State { NeedMore, Complete, Malformed };
    static constexpr std::size_t MaxReplyBytes = 64 * 1024;

    /**
     * Adds received bytes. Complete once a final line has arrived; bytes after it stay for
     * the next reply (takeReply() moves on to them). Malformed for a line without a
     * three-digit code, a continuation line with another code than the first, or a reply
     * longer than MaxReplyBytes; it stays Malformed until reset().
     */
    State feed(const char *data, std::size_t size);
    State state() const { return m_state; }
    /** The code of the complete reply, e.g. 250; 0 when none. */
    int code() const { return m_code; }
    /** The whole complete reply, every line with its line end. */
    QByteArray reply() const { return m_reply; }
    /** Forgets the complete reply and reads on from the bytes kept after it. */
    State takeReply();
    void reset();

private:
    State scan();

    QByteArray m_buffer;
    QByteArray m_reply;
    int m_code = 0;
    State m_state = State::NeedMore;
};

} // namespace messaging::detail
