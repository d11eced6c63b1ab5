#include "SmtpReply.h"

namespace messaging::detail {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

} // namespace

SmtpReplyReader::State SmtpReplyReader::feed(const char *data, std::size_t size)
{
    if (m_state == State::Malformed)
        return m_state;
    if (size > 0)
        m_buffer.append(data, static_cast<qsizetype>(size));
    if (m_state == State::Complete)
        return m_state; // kept for the next reply
    return scan();
}

QByteArray SmtpReplyReader::remainder() const
{
    return m_state == State::Malformed ? QByteArray() : m_buffer;
}

SmtpReplyReader::State SmtpReplyReader::takeReply()
{
    if (m_state != State::Complete)
        return m_state;
    m_reply.clear();
    m_code = 0;
    m_state = State::NeedMore;
    return scan();
}

void SmtpReplyReader::reset()
{
    m_buffer.clear();
    m_reply.clear();
    m_scanned = 0;
    m_searched = 0;
    m_firstCode = 0;
    m_code = 0;
    m_state = State::NeedMore;
}

SmtpReplyReader::State SmtpReplyReader::scan()
{
    const auto malformed = [this] {
        m_buffer.clear();
        m_reply.clear();
        m_code = 0;
        return m_state = State::Malformed;
    };

    for (;;) {
        const auto start = static_cast<qsizetype>(m_scanned);
        const qsizetype newline = m_buffer.indexOf('\n', static_cast<qsizetype>(m_searched));
        const bool whole = newline >= 0;
        qsizetype end = whole ? newline : m_buffer.size();
        // A CR right before the LF belongs to the line end; at the very end of a partial
        // line it may yet become one.
        if (end > start && m_buffer.at(end - 1) == '\r')
            --end;
        const qsizetype length = end - start;
        const char *line = m_buffer.constData() + start;

        // Judge the code as soon as its bytes are here: a server talking nonsense fails at
        // once instead of when its line (if ever) ends.
        if (length >= 1 && (line[0] < '1' || line[0] > '5'))
            return malformed();
        for (qsizetype i = 1; i < length && i < 3; ++i)
            if (!isDigit(line[i]))
                return malformed();
        if (length >= 4 && line[3] != ' ' && line[3] != '-')
            return malformed();
        int code = 0;
        if (length >= 3) {
            code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
            if (m_firstCode != 0 && code != m_firstCode)
                return malformed();
        }

        if (!whole) {
            m_searched = static_cast<std::size_t>(m_buffer.size());
            if (static_cast<std::size_t>(m_buffer.size()) > MaxReplyBytes)
                return malformed();
            return m_state = State::NeedMore;
        }

        const qsizetype next = newline + 1;
        if (length < 3 || static_cast<std::size_t>(next) > MaxReplyBytes)
            return malformed();
        if (m_firstCode == 0)
            m_firstCode = code;
        if (length == 3 || line[3] == ' ') {
            m_reply = m_buffer.left(next);
            m_buffer.remove(0, next);
            m_code = code;
            m_scanned = 0;
            m_searched = 0;
            m_firstCode = 0;
            return m_state = State::Complete;
        }
        m_scanned = static_cast<std::size_t>(next);
        m_searched = m_scanned;
    }
}

} // namespace messaging::detail
