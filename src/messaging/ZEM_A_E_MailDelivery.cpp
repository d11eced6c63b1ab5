// The SMTP dialogue with one server, and the order in which servers are tried.
#include "ZEM_A_E_MailDelivery.h"

#include "MessagingLog.h"
#include "detail/SmtpReply.h"
#include "foundation/ZEM_F_E_EmailAddress.h"
#include "platform/Resolver.h"

#include <QVariantList>
#include <QVariantMap>

#include <algorithm>
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
 * The offset of a line made of a single "." under any line-end convention (CR LF, a lone
 * CR or a lone LF), -1 when there is none: some server would take it as the end of the
 * data and read what follows as commands. The start of the message begins a line, and its
 * end is followed by our own CR LF.
 */
qsizetype earlyEndOfData(const QByteArray &message)
{
    const qsizetype n = message.size();
    const char *p = message.constData();
    for (qsizetype i = 0; i < n; ++i) {
        if (p[i] != '.')
            continue;
        const bool lineStart = i == 0 || p[i - 1] == '\r' || p[i - 1] == '\n';
        const bool lineEnd = i + 1 == n || p[i + 1] == '\r' || p[i + 1] == '\n';
        if (lineStart && lineEnd)
            return i;
    }
    return -1;
}

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
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

    /** What went wrong last: no reply, a reply that is not SMTP, a failed write, or the
        server's whole reply on one line. */
    QString problem() const { return m_problem; }

    /** The code of the next whole reply; 0 on timeout, end of stream or a malformed reply. */
    int readReply()
    {
        SmtpReplyReader reader;
        SmtpReplyReader::State state = SmtpReplyReader::State::NeedMore;
        QByteArray start = m_pending.left(kShownReplyBytes); // of what does not parse
        if (!m_pending.isEmpty()) {
            state = reader.feed(m_pending.constData(), static_cast<std::size_t>(m_pending.size()));
            m_pending.clear();
        }
        const Clock::time_point deadline = Clock::now() + m_limits.reply;
        char buffer[4096];
        while (state == SmtpReplyReader::State::NeedMore) {
            if (!waitFor(m_fd, POLLIN, deadline)) {
                m_problem = QStringLiteral("no reply within %1 ms").arg(m_limits.reply.count());
                return 0;
            }
            const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (got == 0) {
                m_problem = QStringLiteral("the server closed the connection");
                return 0;
            }
            if (got < 0) {
                if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                    continue;
                m_problem = QStringLiteral("the server closed the connection (%1)").arg(errnoText(errno));
                return 0;
            }
            if (start.size() < kShownReplyBytes)
                start.append(buffer, std::min<qsizetype>(got, kShownReplyBytes - start.size()));
            state = reader.feed(buffer, static_cast<std::size_t>(got));
        }
        if (state != SmtpReplyReader::State::Complete) {
            m_problem = QStringLiteral("not an SMTP reply: \"%1\"").arg(QString::fromUtf8(start).simplified());
            return 0;
        }
        m_pending = reader.remainder();
        // The whole reply on one line, as the server worded it.
        m_problem = QStringLiteral("answered \"%1\"").arg(QString::fromUtf8(reader.reply()).simplified());
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
                if (!waitFor(m_fd, POLLOUT, Clock::now() + m_limits.write)) {
                    m_problem = QStringLiteral("the server took nothing for %1 ms").arg(m_limits.write.count());
                    return false;
                }
                continue;
            }
            m_problem = errno == EPIPE || errno == ECONNRESET
                ? QStringLiteral("the server closed the connection (%1)").arg(errnoText(errno))
                : QStringLiteral("cannot write: %1").arg(errnoText(errno));
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
    static constexpr qsizetype kShownReplyBytes = 80;

    int m_fd;
    const ZEM_A_E_MailDelivery::TimeLimits &m_limits;
    QByteArray &m_pending;
    QString m_problem;
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
        return giveUp(ZEM_Error::InvalidArgument, QStringLiteral("No server named to deliver to %1").arg(to));
    return connectToServer(server, port) && writeEnvelopeTo(to, from) && writeContent(message);
}

bool ZEM_A_E_MailDelivery::giveUp(int code, const QString &message)
{
    m_error = ZEM_Error::make(ZEM_Error::Code(code), message, {m_server});
    qCWarning(zemMessaging).noquote() << message;
    return false;
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
    m_error = {};
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
        // What we refuse to send, no other server will be given either.
        if (m_error.code == ZEM_Error::InvalidArgument)
            return false;
    }

    const QString domain = to.mid(to.lastIndexOf(u'@') + 1);
    if (domain.isEmpty())
        return giveUp(ZEM_Error::InvalidArgument,
                      QStringLiteral("Message not delivered to %1: the address names no domain").arg(to));
    const QStringList exchangers = mailServersForDomain(domain);
    if (exchangers.isEmpty())
        return giveUp(ZEM_Error::NotFound,
                      QStringLiteral("Message not delivered to %1: %2 has no mail exchanger%3")
                          .arg(to, domain, m_error.code == ZEM_Error::NoError
                                               ? QString()
                                               : QStringLiteral(", and no account took it")));
    for (const QString &exchanger : exchangers) {
        if (sendMail(message, to, from, exchanger, port))
            return true;
        if (m_error.code == ZEM_Error::InvalidArgument)
            return false;
    }
    return giveUp(m_error.code, QStringLiteral("Message not delivered to %1: no account or mail "
                                               "exchanger took it; the last: %2")
                                    .arg(to, m_error.message));
}

bool ZEM_A_E_MailDelivery::connectToServer(const QString &server, quint16 port)
{
    closeConnection();
    m_error = {};
    m_server = QStringLiteral("%1 port %2").arg(server).arg(port);
    const QString cannot = QStringLiteral("Cannot deliver through %1: %2");

    in_addr address{};
    const QByteArray ascii = server.toLatin1();
    if (ascii.isEmpty() || server.size() != ascii.size()
        || ::inet_pton(AF_INET, ascii.constData(), &address) != 1) {
        const QList<std::uint32_t> found = platform::Resolver::ipv4Addresses(server);
        if (found.isEmpty())
            return giveUp(ZEM_Error::NotFound, cannot.arg(m_server, QStringLiteral("the name has no IPv4 address")));
        address.s_addr = found.constFirst(); // already in network order
    }

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return giveUp(ZEM_Error::Unavailable, cannot.arg(m_server, errnoText(errno)));
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
            const int error = errno;
            closeConnection();
            return giveUp(ZEM_Error::Unavailable, cannot.arg(m_server, errnoText(error)));
        }
        int error = 0;
        socklen_t length = sizeof error;
        if (!waitFor(fd, POLLOUT, Clock::now() + m_limits.connect)) {
            closeConnection();
            return giveUp(ZEM_Error::Unavailable,
                          cannot.arg(m_server, QStringLiteral("no connection within %1 ms")
                                                   .arg(m_limits.connect.count())));
        }
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
            closeConnection();
            return giveUp(ZEM_Error::Unavailable, cannot.arg(m_server, errnoText(error ? error : errno)));
        }
    }

    Connection connection(fd, m_limits, m_pending);
    if (connection.readReply() != 220) {
        closeConnection();
        return giveUp(ZEM_Error::Unavailable,
                      cannot.arg(m_server, QStringLiteral("greeting: ") + connection.problem()));
    }
    if (!connection.exchange("HELO " + heloName() + "\r\n", {250})) {
        closeConnection();
        return giveUp(ZEM_Error::Unavailable,
                      cannot.arg(m_server, QStringLiteral("HELO: ") + connection.problem()));
    }
    m_connected = true;
    return true;
}

bool ZEM_A_E_MailDelivery::writeEnvelopeTo(const QString &to, const QString &from)
{
    if (!m_connected || m_socket < 0)
        return giveUp(ZEM_Error::InvalidArgument, QStringLiteral("Cannot write an envelope: not connected"));
    // The address itself is not logged: it may hold the line breaks it is refused for.
    for (const auto &[address, role] : {std::pair{&to, "recipient"}, std::pair{&from, "sender"}})
        if (!isSafeAddress(*address))
            return giveUp(ZEM_Error::InvalidArgument,
                          QStringLiteral("Message not sent to %1: the %2 address holds a control "
                                         "character or an angle bracket, which could add an SMTP command")
                              .arg(m_server, QLatin1String(role)));
    Connection connection(m_socket, m_limits, m_pending);
    if (!connection.exchange("MAIL FROM:<" + from.toUtf8() + ">\r\n", {250}))
        return giveUp(ZEM_Error::Unavailable, QStringLiteral("Cannot deliver through %1: MAIL FROM: %2")
                                                  .arg(m_server, connection.problem()));
    if (!connection.exchange("RCPT TO:<" + to.toUtf8() + ">\r\n", {250, 251}))
        return giveUp(ZEM_Error::Unavailable, QStringLiteral("Cannot deliver through %1: RCPT TO: %2")
                                                  .arg(m_server, connection.problem()));
    return true;
}

bool ZEM_A_E_MailDelivery::writeContent(const QByteArray &message)
{
    if (!m_connected || m_socket < 0)
        return giveUp(ZEM_Error::InvalidArgument, QStringLiteral("Cannot write a message: not connected"));
    // Kept from the server: a line of a lone "." ends the data for some servers and not for
    // others, so what follows it could be run as commands (SMTP smuggling).
    if (const qsizetype at = earlyEndOfData(message); at >= 0)
        return giveUp(ZEM_Error::InvalidArgument,
                      QStringLiteral("Message not sent to %1: at byte %2 it holds a line of a single "
                                     "\".\" set off by a lone CR or LF (or an unstuffed CR LF), which a "
                                     "server could take for the end of the data and run what follows "
                                     "as commands (SMTP smuggling)")
                          .arg(m_server)
                          .arg(at));
    Connection connection(m_socket, m_limits, m_pending);
    if (!connection.exchange(QByteArrayLiteral("DATA\r\n"), {354}))
        return giveUp(ZEM_Error::Unavailable,
                      QStringLiteral("Cannot deliver through %1: DATA: %2").arg(m_server, connection.problem()));
    if (!connection.writeAll(message) || !connection.exchange(QByteArrayLiteral("\r\n.\r\n"), {250}))
        return giveUp(ZEM_Error::Unavailable, QStringLiteral("Cannot deliver through %1: the message: %2")
                                                  .arg(m_server, connection.problem()));
    m_error = {};
    return true;
}
