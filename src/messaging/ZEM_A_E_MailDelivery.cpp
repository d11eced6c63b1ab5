// The SMTP dialogue with one server, and the order in which servers are tried.
#include "ZEM_A_E_MailDelivery.h"

#include "detail/SmtpReply.h"
#include "foundation/ZEM_F_E_EmailAddress.h"
#include "platform/Resolver.h"

#include <QVariantList>
#include <QVariantMap>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using Clock = std::chrono::steady_clock;
using messaging::detail::SmtpReplyReader;

namespace {

std::mutex &limitsMutex()
{
    static std::mutex mutex;
    return mutex;
}

ZEM_A_E_MailDelivery::TimeLimits &sharedLimits()
{
    static ZEM_A_E_MailDelivery::TimeLimits limits;
    return limits;
}

/** Milliseconds left until \a deadline, for poll(); 0 once it has passed. */
int msLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0)
        return 0;
    return left.count() > 0x7fffffff ? 0x7fffffff : static_cast<int>(left.count());
}

/** Waits until \a fd is ready for \a events; false on timeout or error. */
bool waitFor(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, msLeft(deadline));
        if (n > 0)
            return (p.revents & events) != 0 || (p.revents & (POLLHUP | POLLERR)) != 0;
        if (n == 0)
            return false;
        if (errno != EINTR)
            return false;
    }
}

/**
 * Nothing in an address may end or add a command: control characters and the angle
 * brackets the address is enclosed in are refused.
 */
bool isSafeAddress(const QString &address)
{
    for (const QChar c : address) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7f || u == u'<' || u == u'>')
            return false;
    }
    return true;
}

/**
 * True when \a message holds a line made of a single "." under any line-end convention:
 * some server would take it as the end of the data and read what follows as commands.
 * The start of the message begins a line, and its end is followed by our own CR LF.
 */
bool endsDataEarly(const QByteArray &message)
{
    const qsizetype n = message.size();
    const char *p = message.constData();
    for (qsizetype i = 0; i < n; ++i) {
        if (p[i] != '.')
            continue;
        const bool lineStart = i == 0 || p[i - 1] == '\r' || p[i - 1] == '\n';
        const bool lineEnd = i + 1 == n || p[i + 1] == '\r' || p[i + 1] == '\n';
        if (lineStart && lineEnd)
            return true;
    }
    return false;
}

QByteArray heloName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return QByteArrayLiteral("localhost");
    for (const char *c = name; *c; ++c)
        if (static_cast<unsigned char>(*c) <= 0x20 || *c == 0x7f)
            return QByteArrayLiteral("localhost");
    return QByteArray(name);
}

/**
 * The dialogue on one connected socket: whole replies against a deadline each, writes that
 * never raise SIGPIPE. Bytes a server sends after a reply are kept in \a pending.
 */
class Connection
{
public:
    Connection(int fd, const ZEM_A_E_MailDelivery::TimeLimits &limits, QByteArray &pending)
        : m_fd(fd), m_limits(limits), m_pending(pending)
    {
    }

    /** The code of the next whole reply; 0 on timeout, end of stream or a malformed reply. */
    int readReply()
    {
        SmtpReplyReader reader;
        SmtpReplyReader::State state = SmtpReplyReader::State::NeedMore;
        if (!m_pending.isEmpty()) {
            state = reader.feed(m_pending.constData(), static_cast<std::size_t>(m_pending.size()));
            m_pending.clear();
        }
        const Clock::time_point deadline = Clock::now() + m_limits.reply;
        char buffer[4096];
        while (state == SmtpReplyReader::State::NeedMore) {
            if (!waitFor(m_fd, POLLIN, deadline))
                return 0;
            const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (got == 0)
                return 0;
            if (got < 0) {
                if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                    continue;
                return 0;
            }
            state = reader.feed(buffer, static_cast<std::size_t>(got));
        }
        if (state != SmtpReplyReader::State::Complete)
            return 0;
        m_pending = reader.remainder();
        return reader.code();
    }

    /**
     * Sends all of \a data. The write limit bounds each wait for the server to take more,
     * so a large message on a slow link is not cut off while it still moves.
     */
    bool writeAll(const QByteArray &data)
    {
        const char *p = data.constData();
        qsizetype left = data.size();
        while (left > 0) {
            const ssize_t sent = ::send(m_fd, p, static_cast<size_t>(left), MSG_NOSIGNAL);
            if (sent > 0) {
                p += sent;
                left -= sent;
                continue;
            }
            if (sent < 0 && errno == EINTR)
                continue;
            if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                if (!waitFor(m_fd, POLLOUT, Clock::now() + m_limits.write))
                    return false;
                continue;
            }
            return false;
        }
        return true;
    }

    /** Sends \a command and tells whether the reply's code is one of \a accepted. */
    bool exchange(const QByteArray &command, std::initializer_list<int> accepted)
    {
        if (!writeAll(command))
            return false;
        const int code = readReply();
        for (const int a : accepted)
            if (code == a)
                return true;
        return false;
    }

private:
    int m_fd;
    const ZEM_A_E_MailDelivery::TimeLimits &m_limits;
    QByteArray &m_pending;
};

} // namespace

void ZEM_A_E_MailDelivery::setDefaultTimeLimits(TimeLimits limits)
{
    std::lock_guard<std::mutex> lock(limitsMutex());
    sharedLimits() = limits;
}

ZEM_A_E_MailDelivery::TimeLimits ZEM_A_E_MailDelivery::defaultTimeLimits()
{
    std::lock_guard<std::mutex> lock(limitsMutex());
    return sharedLimits();
}

ZEM_A_E_MailDelivery::ZEM_A_E_MailDelivery(QObject *parent)
    : ZEM_F_B_Securitry(parent), m_limits(defaultTimeLimits())
{
}

ZEM_A_E_MailDelivery::~ZEM_A_E_MailDelivery()
{
    closeConnection();
}

bool ZEM_A_E_MailDelivery::sendMail(const QByteArray &message, const QString &to,
                                    const QString &from, quint16 port)
{
    ZEM_A_E_MailDelivery delivery;
    return delivery.sendMailToFromPort(message, to, from, port);
}

bool ZEM_A_E_MailDelivery::sendMailToFromPort(const QByteArray &message, const QString &to,
                                              const QString &from, quint16 port)
{
    return sendMailSupport(message, to, from, port);
}

bool ZEM_A_E_MailDelivery::sendMail(const QByteArray &message, const QString &to,
                                    const QString &from, const QString &server, quint16 port)
{
    if (server.isEmpty())
        return false;
    return connectToServer(server, port) && writeEnvelopeTo(to, from) && writeContent(message);
}

void ZEM_A_E_MailDelivery::closeConnection()
{
    if (m_socket >= 0) {
        ::shutdown(m_socket, SHUT_RDWR);
        ::close(m_socket);
        m_socket = -1;
    }
    m_connected = false;
    m_pending.clear();
}

bool ZEM_A_E_MailDelivery::sendMailSupport(const QByteArray &message, const QString &to,
                                           const QString &from, quint16 port)
{
    const QVariantList accounts = ZEM_F_E_EmailAddress::shared()
                                      ->getUsersEmailPreferences()
                                      .value(QStringLiteral("DeliveryAccounts"))
                                      .toList();
    for (const QVariant &entry : accounts) {
        const QVariantMap account = entry.toMap();
        if (account.value(QStringLiteral("AccountType")).toString() != QLatin1String("SMTPAccount"))
            continue;
        const QString host = account.value(QStringLiteral("Hostname")).toString().trimmed();
        // The account's own port is for its submission service; the caller's port is used.
        if (!host.isEmpty() && sendMail(message, to, from, host, port))
            return true;
    }

    const QString domain = to.mid(to.lastIndexOf(u'@') + 1);
    if (domain.isEmpty())
        return false;
    const QStringList exchangers = mailServersForDomain(domain);
    for (const QString &exchanger : exchangers)
        if (sendMail(message, to, from, exchanger, port))
            return true;
    return false;
}

bool ZEM_A_E_MailDelivery::connectToServer(const QString &server, quint16 port)
{
    closeConnection();

    in_addr address{};
    const QByteArray ascii = server.toLatin1();
    if (ascii.isEmpty() || server.size() != ascii.size()
        || ::inet_pton(AF_INET, ascii.constData(), &address) != 1) {
        const QList<std::uint32_t> found = platform::Resolver::ipv4Addresses(server);
        if (found.isEmpty())
            return false;
        address.s_addr = found.constFirst(); // already in network order
    }

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    m_socket = fd;
    // Every write is a whole command or the whole message: waiting to coalesce them (Nagle)
    // only meets the server's delayed acknowledgement, 40 ms per message on loopback.
    const int noDelay = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);

    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr = address;
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&peer), sizeof peer) != 0) {
        if (errno != EINPROGRESS && errno != EINTR) {
            closeConnection();
            return false;
        }
        int error = 0;
        socklen_t length = sizeof error;
        if (!waitFor(fd, POLLOUT, Clock::now() + m_limits.connect)
            || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
            closeConnection();
            return false;
        }
    }

    Connection connection(fd, m_limits, m_pending);
    if (connection.readReply() != 220
        || !connection.exchange("HELO " + heloName() + "\r\n", {250})) {
        closeConnection();
        return false;
    }
    m_connected = true;
    return true;
}

bool ZEM_A_E_MailDelivery::writeEnvelopeTo(const QString &to, const QString &from)
{
    if (!m_connected || m_socket < 0 || !isSafeAddress(to) || !isSafeAddress(from))
        return false;
    Connection connection(m_socket, m_limits, m_pending);
    return connection.exchange("MAIL FROM:<" + from.toUtf8() + ">\r\n", {250})
           && connection.exchange("RCPT TO:<" + to.toUtf8() + ">\r\n", {250, 251});
}

bool ZEM_A_E_MailDelivery::writeContent(const QByteArray &message)
{
    if (!m_connected || m_socket < 0 || endsDataEarly(message))
        return false;
    Connection connection(m_socket, m_limits, m_pending);
    return connection.exchange(QByteArrayLiteral("DATA\r\n"), {354})
           && connection.writeAll(message)
           && connection.exchange(QByteArrayLiteral("\r\n.\r\n"), {250});
}
