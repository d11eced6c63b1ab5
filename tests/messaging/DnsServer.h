#pragma once
// A real name server for tests: dnsmasq on 127.0.0.1 and a free port, in its own process,
// answering only the records a test gives it (names under .test it does not know are
// NXDOMAIN; nothing is forwarded). start() points platform::Resolver at it, stop() and the
// destructor stop the process and send the resolver back to the system's configuration.

#include "platform/Resolver.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

struct MxRecord
{
    QString domain;
    QString exchanger;
    int preference = 0;
};

struct HostRecord
{
    QString name;
    QString address; // dotted IPv4
};

class DnsServer
{
public:
    DnsServer() = default;
    DnsServer(const DnsServer &) = delete;
    DnsServer &operator=(const DnsServer &) = delete;
    ~DnsServer() { stop(); }

    /** The dnsmasq program, or an empty text when it is not installed. */
    static QString program()
    {
        const QString inSbin = QStandardPaths::findExecutable(u"dnsmasq"_qs, {u"/usr/sbin"_qs});
        return inSbin.isEmpty() ? QStandardPaths::findExecutable(u"dnsmasq"_qs) : inSbin;
    }

    /**
     * Starts the server with \a mx and \a hosts (and \a extraArgs, e.g. "--cname=a.test,b.test")
     * and waits until it answers a query. False with error() set when it does not.
     */
    bool start(const QList<MxRecord> &mx, const QList<HostRecord> &hosts,
               const QStringList &extraArgs = {})
    {
        stop();
        m_error.clear();
        const QString dnsmasq = program(); // when empty, the start fails and says so
        QStringList records;
        for (const MxRecord &r : mx)
            records << u"--mx-host=%1,%2,%3"_qs.arg(r.domain, r.exchanger).arg(r.preference);
        for (const HostRecord &r : hosts)
            records << QStringLiteral("--host-record=%1,%2").arg(r.name, r.address);

        // The port is free when chosen but may be taken before dnsmasq binds it: retry.
        for (int attempt = 0; attempt < 5; ++attempt) {
            const quint16 port = freePort();
            if (port == 0) {
                m_error = QStringLiteral("no free port on 127.0.0.1");
                continue;
            }
            QStringList args = QStringLiteral("-k -C /dev/null --pid-file= --log-facility=- "
                                              "--listen-address=127.0.0.1 --bind-interfaces "
                                              "--no-resolv --no-hosts --no-poll --local=/test/")
                                   .split(u' ');
            args << QStringLiteral("--port=%1").arg(port) << records << extraArgs;

            auto process = std::make_unique<QProcess>();
            process->setProcessChannelMode(QProcess::MergedChannels);
            process->start(dnsmasq, args);
            if (!process->waitForStarted(5000)) {
                m_error = u"dnsmasq (dnsmasq-base) did not start: "_qs + process->errorString();
                return false;
            }
            m_process = std::move(process);
            m_port = port;

            QElapsedTimer waited;
            waited.start();
            while (waited.elapsed() < 5000) {
                if (m_process->state() == QProcess::NotRunning || m_process->waitForFinished(0))
                    break;
                if (answers()) {
                    platform::Resolver::setNameServer(QStringLiteral("127.0.0.1"), m_port);
                    return true;
                }
                QThread::msleep(20);
            }
            const bool exited = m_process->state() == QProcess::NotRunning;
            const QString output = QString::fromLocal8Bit(m_process->readAll());
            stopProcess();
            m_error = (exited ? u"dnsmasq exited: "_qs : u"dnsmasq does not answer: "_qs)
                      + output.trimmed();
            if (!exited || !output.contains(QLatin1String("in use")))
                return false;
        }
        return false;
    }

    quint16 port() const { return m_port; }
    QString error() const { return m_error; }

    /** Stops the server (SIGTERM, then wait) and resets the resolver to the system's. */
    void stop()
    {
        if (!m_process)
            return;
        stopProcess();
        platform::Resolver::setNameServer(QString());
    }

private:
    void stopProcess()
    {
        if (m_process->state() != QProcess::NotRunning) {
            m_process->terminate();
            if (!m_process->waitForFinished(5000)) {
                m_process->kill();
                m_process->waitForFinished(5000);
            }
        }
        m_process.reset();
        m_port = 0;
    }

    static sockaddr_in loopback(quint16 port)
    {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(port);
        return addr;
    }

    // A UDP port free on 127.0.0.1 when asked; should dnsmasq find it (or its TCP twin) taken,
    // start() tries another.
    static quint16 freePort()
    {
        sockaddr_in addr = loopback(0);
        socklen_t len = sizeof addr;
        const int udp = ::socket(AF_INET, SOCK_DGRAM, 0);
        const bool bound = udp >= 0 && ::bind(udp, reinterpret_cast<sockaddr *>(&addr), len) == 0
                           && ::getsockname(udp, reinterpret_cast<sockaddr *>(&addr), &len) == 0;
        if (udp >= 0)
            ::close(udp);
        return bound ? ntohs(addr.sin_port) : 0;
    }

    // True when the server replies to a query (any reply, NXDOMAIN included).
    bool answers() const
    {
        static const unsigned char probe[] = {
            0x51, 0x7e, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
            5, 'p', 'r', 'o', 'b', 'e', 4, 't', 'e', 's', 't', 0,
            0x00, 0x01, 0x00, 0x01};
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        const sockaddr_in addr = loopback(m_port);
        const auto *to = reinterpret_cast<const sockaddr *>(&addr);
        pollfd p{fd, POLLIN, 0};
        unsigned char reply[512];
        const bool ok = fd >= 0
                        && ::sendto(fd, probe, sizeof probe, 0, to, sizeof addr) == ssize_t(sizeof probe)
                        && ::poll(&p, 1, 200) == 1 && ::recv(fd, reply, sizeof reply, 0) >= 12
                        && reply[0] == probe[0] && reply[1] == probe[1];
        if (fd >= 0)
            ::close(fd);
        return ok;
    }

    std::unique_ptr<QProcess> m_process;
    quint16 m_port = 0;
    QString m_error;
};
