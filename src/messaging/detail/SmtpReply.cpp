// PLACEHOLDER: being written (SMTP replies). Replace wholly.
#include "SmtpReply.h"
namespace messaging::detail {
SmtpReplyReader::State SmtpReplyReader::feed(const char *, std::size_t) { return m_state; }
SmtpReplyReader::State SmtpReplyReader::takeReply() { return m_state; }
void SmtpReplyReader::reset() {}
SmtpReplyReader::State SmtpReplyReader::scan() { return m_state; }
}
