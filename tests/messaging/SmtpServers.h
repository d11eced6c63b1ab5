#pragma once
// SMTP peers on loopback for the delivery tests and benchmark: the recording server and the
// misbehaving one (tests/messaging/servers/*.py), each a child process stopped when its
// object goes.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <memory>

/** One message as a server kept it. */
struct RecordedMessage
{
    QByteArray content; // as received, after the server's removal of stuffed dots
    QString helo;
    QString mailFrom;   // the server's own notation: aiosmtpd keeps "<>" for the null sender
    QStringList rcptTos;
};

/** A Python SMTP server in a child process, with a folder of its own for what it keeps. */
class SmtpServerProcess
{
public:
    SmtpServerProcess() = default;
    SmtpServerProcess(const SmtpServerProcess &) = delete;
    SmtpServerProcess &operator=(const SmtpServerProcess &) = delete;
    ~SmtpServerProcess() { stop(); }

    quint16 port() const { return m_port; }
    QString folder() const { return m_dir ? m_dir->path() : QString(); }

    void stop()
    {
        if (m_process) {
            m_process->kill();
            m_process->waitForFinished(5000);
            m_process.reset();
        }
        m_port = 0;
    }

    /** Messages kept so far, in the order received (those whose envelope is written). */
    QList<RecordedMessage> messages() const
    {
        QList<RecordedMessage> result;
        for (int n = 1; m_dir; ++n) {
            QFile envelope(QDir(folder()).filePath(QString::number(n) + u".json"_qs));
            QFile content(QDir(folder()).filePath(QString::number(n) + u".eml"_qs));
            if (!envelope.open(QIODevice::ReadOnly) || !content.open(QIODevice::ReadOnly))
                break;
            const QJsonObject json = QJsonDocument::fromJson(envelope.readAll()).object();
            RecordedMessage message{content.readAll(), json.value(u"helo"_qs).toString(),
                                    json.value(u"mail_from"_qs).toString(), {}};
            for (const QJsonValue &to : json.value(u"rcpt_tos"_qs).toArray())
                message.rcptTos.append(to.toString());
            result.append(message);
        }
        return result;
    }

    /** Waits until at least \a count messages are kept; true when they are. */
    bool waitForMessages(int count, int timeoutMs = 10000) const
    {
        QDeadlineTimer deadline(timeoutMs);
        while (messages().size() < count) {
            if (deadline.hasExpired())
                return false;
            QThread::msleep(10);
        }
        return true;
    }

protected:
    bool startScript(const QString &script, const QString &host, quint16 port, QStringList args)
    {
        stop();
        m_dir = std::make_unique<QTemporaryDir>();
        if (!m_dir->isValid())
            return false;
        args = QStringList{QStringLiteral(ZEM_SOURCE_DIR "/tests/messaging/servers/") + script,
                           QStringLiteral("--host"), host, QStringLiteral("--port"),
                           QString::number(port), QStringLiteral("--dir"), m_dir->path()}
               + args;
        m_process = std::make_unique<QProcess>();
        m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process->start(QStringLiteral("/usr/bin/python3"), args);
        // The script prints "READY <port>" once it accepts, or "ERROR ..." and ends; a process
        // that never started, or went, stops the wait at once.
        const QDeadlineTimer deadline(20000);
        while (!m_process->canReadLine()
               && m_process->waitForReadyRead(int(deadline.remainingTime()))) {
        }
        const QByteArray line = m_process->readLine().trimmed();
        m_port = line.startsWith("READY ") ? line.mid(6).toUShort() : 0; // 0 when not a port
        if (m_port == 0)
            stop();
        return m_port != 0;
    }

private:
    std::unique_ptr<QProcess> m_process;
    std::unique_ptr<QTemporaryDir> m_dir;
    quint16 m_port = 0;
};

/** smtp_recorder.py: accepts everything (unless told to refuse) and keeps it. */
struct SmtpRecorderOptions
{
    QStringList refusedRecipients; // answered "550 5.1.1"
    bool failData = false;         // DATA answered "451 4.3.0"
};

class SmtpRecorder : public SmtpServerProcess
{
public:
    using Options = SmtpRecorderOptions;

    bool start(const QString &host, quint16 port = 0, const Options &options = Options())
    {
        QStringList args;
        for (const QString &address : options.refusedRecipients)
            args << QStringLiteral("--refuse-rcpt") << address;
        if (options.failData)
            args << QStringLiteral("--fail-data");
        return startScript(QStringLiteral("smtp_recorder.py"), host, port, args);
    }

    /** Every byte the server received on any connection so far. */
    QByteArray wireLog() const
    {
        QFile f(QDir(folder()).filePath(QStringLiteral("wire.log")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

/** fault_server.py: one kind of misbehaviour (see the script for the modes). */
class FaultServer : public SmtpServerProcess
{
public:
    explicit FaultServer(const QString &mode) : m_mode(mode) {}

    bool start(const QString &host, quint16 port = 0)
    {
        return startScript(QStringLiteral("fault_server.py"), host, port, {u"--mode"_qs, m_mode});
    }

private:
    QString m_mode;
};
