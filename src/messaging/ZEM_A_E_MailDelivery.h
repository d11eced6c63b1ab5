#pragma once

#include "foundation/ZEM_F_B_Securitry.h"
#include "foundation/ZEM_Result.h"
#include "zem_appkit_export.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>

/** A file to attach: its name and its bytes. */
class ZEM_APPKIT_EXPORT ZEM_A_MailAttachment
{
public:
    ZEM_A_MailAttachment() = default;
    ZEM_A_MailAttachment(QString filename, QByteArray contents);
    /** The file at \a path under its own name; an empty name when it cannot be read. */
    static ZEM_A_MailAttachment fromFile(const QString &path, QString *error = nullptr);

    QString filename() const { return m_filename; }
    QByteArray regularFileContents() const { return m_contents; }

private:
    QString m_filename;
    QByteArray m_contents;
};

/**
 * Composes a message as MIME text and delivers it over SMTP without a mail program: first
 * through the outgoing servers of the user's mail settings
 * (ZEM_F_E_EmailAddress::getUsersEmailPreferences(), "DeliveryAccounts"), then straight to
 * the mail exchangers of the recipient's domain. Every call answers success or failure;
 * lastError() then says why the delivery failed, and the log (category "zem.messaging")
 * has a line for every server and every message it gives up on, with the server's reply.
 *
 * One delivery uses one instance, on the caller's (worker) thread; the instance closes its
 * connection when it is destroyed. Nothing here touches the user interface.
 *
 * Choices a host developer should know:
 * - Time limits. Connecting, waiting for each reply and each write are limited
 *   (defaultTimeLimits(): 10 s to connect, 30 s per reply or write). A server that never
 *   answers fails that server within its limit and the next one is tried.
 * - Replies are read whole: a multi-line reply ("220-..." lines, then "220 ...") and a reply
 *   that arrives in several pieces are understood; only the reply code is compared. A reply
 *   that is not SMTP (no three-digit code, a continuation with another code, more than
 *   64 KiB) fails the server.
 * - Nothing a caller passes can add a header or an SMTP command: in header() a CR or LF
 *   that does not begin a folded line (CR LF followed by a space or tab) becomes a space;
 *   an address holding a CR, LF or other control character, or "<" or ">", fails the
 *   envelope; message bytes that would end the DATA phase early (a line of a single ".",
 *   whatever its line ends) fail writeContent() without sending them. mailMessage() doubles
 *   a period that begins a line after CR LF or LF, but keeps a lone CR as it is, so a text
 *   with a lone CR next to a line of a single "." ("a\r.\rb") is refused this way (SMTP
 *   smuggling); lastError() says so. Such refusals end the delivery: no other server is
 *   tried.
 * - A domain without MX records yields no exchanger, and delivery then fails unless a
 *   configured account accepted the message (no fall-back to the domain's own address).
 * - Servers are reached over IPv4 (the first address of the name); names are looked up
 *   through platform::Resolver, whose name server can be set.
 * - Lines of the text are not re-wrapped; a server may refuse a line over 998 bytes.
 */
class ZEM_APPKIT_EXPORT ZEM_A_E_MailDelivery : public ZEM_F_B_Securitry
{
    Q_OBJECT
public:
    struct TimeLimits
    {
        std::chrono::milliseconds connect{10000};
        std::chrono::milliseconds reply{30000};
        std::chrono::milliseconds write{30000};
    };
    /** The limits new instances start with; process-wide, safe to set from any thread. */
    static void setDefaultTimeLimits(TimeLimits limits);
    static TimeLimits defaultTimeLimits();

    explicit ZEM_A_E_MailDelivery(QObject *parent = nullptr);
    ~ZEM_A_E_MailDelivery() override;

    void setTimeLimits(TimeLimits limits) { m_limits = limits; }
    TimeLimits timeLimits() const { return m_limits; }

    // --- Composing -------------------------------------------------------------------

    /** The whole message (headers, text, attachments in order) ready for the DATA phase. */
    static QByteArray mailMessage(const QString &text, const QString &subject, const QString &to,
                                  const QString &from,
                                  const QList<ZEM_A_MailAttachment> &attachments = {});

    // --- Delivering ------------------------------------------------------------------

    /** Delivers \a message with a fresh instance: accounts first, then the exchangers. */
    static bool sendMail(const QByteArray &message, const QString &to, const QString &from,
                         quint16 port = 25);
    /** Delivers with this instance: accounts first, then the exchangers (sendMailSupport). */
    bool sendMailToFromPort(const QByteArray &message, const QString &to, const QString &from,
                            quint16 port = 25);
    /**
     * Delivers through \a server only: connect, envelope, content. The connection stays
     * open until the next connect, closeConnection() or destruction. NO at once for an
     * empty server name.
     */
    bool sendMail(const QByteArray &message, const QString &to, const QString &from,
                  const QString &server, quint16 port);
    /** Shuts the socket down both ways and closes it; no QUIT is sent. */
    void closeConnection();

    /**
     * Why the last delivery or step of this instance failed, naming the server and its
     * reply: InvalidArgument for what the instance refuses to send (an unsafe address, a
     * line that would end the data early), NotFound for a name or domain without an
     * address or exchanger, Unavailable for a server that failed or refused. NoError after
     * a delivery that succeeded.
     */
    const ZEM_Error &lastError() const { return m_error; }

    /** The open connection's descriptor, -1 when none. */
    int serverSocket() const { return m_socket; }
    /** True once the current server has answered the greeting and HELO. */
    bool isConnected() const { return m_connected; }

    // --- The steps, for hosts that compose or deliver piecewise, and for tests ---------

    /** "Name: value\r\n" in ASCII; a value outside US-ASCII becomes one B encoded word. */
    static QByteArray header(const QString &name, const QString &value);
    /** Every bare LF becomes CR LF; CR LF pairs and lone CRs stay. */
    static QByteArray replaceLFWithCRLFforMessage(const QByteArray &message);
    /** A period that begins the text or follows CR LF is doubled. */
    static QByteArray encodeLeadingPeriods(const QByteArray &message);
    /** Index in charsetNames() of the first charset that holds all of \a text (UTF-8 last). */
    static int encodingForString(const QString &text);
    /** The MIME name of charset \a encoding ("US-ASCII" ... "UTF-8"); empty when out of range. */
    static QString mimeNameForEncoding(int encoding);
    /** The 19 charsets in the order they are tried. */
    static const QStringList &charsetNames();
    /** \a text in charset \a encoding; empty when it cannot hold the text. */
    static QByteArray bytesForString(const QString &text, int encoding);
    /** RFC 2045 base64; with \a lineLength > 0 a CR LF after every lineLength/4 groups. */
    static QByteArray encodeBase64(const QByteArray &data, int lineLength);

    /** The mail exchangers of \a domain, best first, each ending in "."; empty when none. */
    QStringList mailServersForDomain(const QString &domain);
    /**
     * The exchangers in a DNS answer (the bytes a resolver query returns): sorted by
     * preference, equal preferences in random order, an entry equal to its predecessor in
     * any letter case dropped. Never reads outside the \a length bytes at \a answer.
     */
    static QStringList mailServersFromAnswer(const unsigned char *answer, int length);

    bool sendMailSupport(const QByteArray &message, const QString &to, const QString &from,
                         quint16 port);
    bool connectToServer(const QString &server, quint16 port);
    bool writeEnvelopeTo(const QString &to, const QString &from);
    bool writeContent(const QByteArray &message);

private:
    /** Keeps \a message as lastError() and logs it; false. */
    bool giveUp(int code, const QString &message);

    int m_socket = -1;
    bool m_connected = false;
    TimeLimits m_limits;
    QByteArray m_pending; // bytes received after the last whole reply
    QString m_server;     // "host port N" of the current or last connection
    ZEM_Error m_error;
};

/**
 * Four base64 characters at \a output for the first \a bytesLeft (1, 2, or 3 and more)
 * bytes at \a input, padded with "=".
 */
ZEM_APPKIT_EXPORT void base64ChunkFor3Characters(char *output, const unsigned char *input,
                                                 int bytesLeft);
