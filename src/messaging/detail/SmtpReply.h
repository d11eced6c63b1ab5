#pragma once
// Reading SMTP replies whole: lines of "ddd-text" ending in one "ddd text" (or "ddd") line,
// possibly arriving in many pieces.

#include "zem_appkit_export.h"

#include <QByteArray>

#include <cstddef>

namespace messaging::detail {

// Exported for its tests and fuzz target; not part of the kit's interface.
class ZEM_APPKIT_EXPORT SmtpReplyReader
{
public:
    enum class State { NeedMore, Complete, Malformed };
    static constexpr std::size_t MaxReplyBytes = 64 * 1024;

    /**
     * Adds received bytes. Complete once a final line has arrived; bytes after it stay for
     * the next reply (takeReply() moves on to them). Malformed for a line without a
     * three-digit code, a continuation line with another code than the first, or a reply
     * longer than MaxReplyBytes; it stays Malformed until reset().
     *
     * Lines end in CR LF or a bare LF. A code is three digits, the first 1 to 5, followed
     * by the line end, a space (final line) or "-" (continuation). A line whose first
     * bytes already rule out a code is Malformed at once, without waiting for its end.
     */
    State feed(const char *data, std::size_t size);
    State state() const { return m_state; }
    /** The code of the complete reply, e.g. 250; 0 when none. */
    int code() const { return m_code; }
    /** The whole complete reply, every line with its line end. */
    QByteArray reply() const { return m_reply; }
    /** The bytes received after the complete reply (all unread bytes while incomplete). */
    QByteArray remainder() const;
    /** Forgets the complete reply and reads on from the bytes kept after it. */
    State takeReply();
    void reset();

private:
    State scan();

    QByteArray m_buffer;      // bytes of the current reply onwards
    QByteArray m_reply;
    std::size_t m_scanned = 0;  // whole lines of the current reply checked so far
    std::size_t m_searched = 0; // no line end before this offset
    int m_firstCode = 0;       // code of the current reply's first line, 0 before it
    int m_code = 0;
    State m_state = State::NeedMore;
};

} // namespace messaging::detail
