#include "TestFiles.h"
#include "ZemTestEnv.h"

#include "DnsServer.h"
#include "SmtpServers.h"
#include "foundation/ZEM_F_E_EmailAddress.h"
#include "messaging/ZEM_A_E_MailDelivery.h"
#include "platform/Resolver.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QSysInfo>

#include <atomic>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

const ZEM_A_E_MailDelivery::TimeLimits kLimits{1000ms, 1500ms, 1500ms};

const QString kLocal = QStringLiteral("127.0.0.1");
const QString kTo = QStringLiteral("rcpt@example.test");
const QString kFrom = QStringLiteral("sender@example.test");
const QByteArray kMessage("Subject: test\r\nTo: rcpt@example.test\r\n\r\nHello.\r\n");
// What a server keeps of kMessage: the CR LF before the final "." is part of the content.
const QByteArray kKept("Subject: test\r\nTo: rcpt@example.test\r\n\r\nHello.\r\n\r\n");

// Leak checks wait for these counts to come back to at most what they were: a leaked
// descriptor or thread never does, while one released a little late, or others that end
// meanwhile, cannot fail them.
int entriesIn(const char *folder)
{
    return int(QDir(QString::fromLatin1(folder))
                   .entryList(QDir::AllEntries | QDir::System | QDir::Hidden
                              | QDir::NoDotAndDotDot)
                   .size());
}

void writeMailSettings(const QByteArray &ini)
{
    QVERIFY(zemtest::writeFile(ZEM_F_E_EmailAddress::mailSettingsPath(), ini));
}

QByteArray accounts(const QStringList &hosts)
{
    QByteArray ini;
    for (int i = 0; i < hosts.size(); ++i)
        ini += "[Account" + QByteArray::number(i + 1) + "]\nAccountType=SMTPAccount\nHostname="
               + hosts.at(i).toLatin1() + "\nPort=587\n";
    return ini;
}

/**
 * A server on 127.0.0.3 and another on 127.0.0.2 sharing one port, as delivery is given a
 * single port for every server it tries. \a first starts on a free port of 127.0.0.3;
 * \a second must then bind the same port on 127.0.0.2, which may be taken: try again.
 */
template<class Second>
bool startOnSharedPort(SmtpRecorder &first, Second &second)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (!first.start(QStringLiteral("127.0.0.3")))
            return false;
        if (second.start(QStringLiteral("127.0.0.2"), first.port()))
            return true;
        first.stop();
    }
    return false;
}

/** Expects the log line of a delivery that gives up on \a host for \a reason. */
void expectGivingUp(const QString &host, const QString &reason)
{
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QRegularExpression::escape(host) + u".*"_qs
                                            + QRegularExpression::escape(reason)));
}

} // namespace

class tst_ZEM_A_E_MailDelivery : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // Instances take the defaults when made: the silent server's row sees the reply limit.
        ZEM_A_E_MailDelivery::setDefaultTimeLimits(kLimits);
        QVERIFY(m_recorder.start(kLocal));
    }

    void init()
    {
        // No name lookup may leave this machine: point the resolver at a port where no name
        // server listens, so names fail at once (a test's own name server resets it when it goes).
        platform::Resolver::setNameServer(kLocal, 9);
        QFile::remove(ZEM_F_E_EmailAddress::mailSettingsPath());
    }

    void cleanupTestCase() { platform::Resolver::setNameServer(QString()); }

    void deliversThroughOneServer_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QByteArray>("kept");

        QTest::newRow("stuffed dots, 8-bit text")
            << QByteArray("Subject: dots\r\n\r\n..starts with a dot\r\nmiddle . dot\r\n"
                          "...\r\n8-bit \xc3\xa4\r\n")
            << kTo << kFrom
            << QByteArray("Subject: dots\r\n\r\n.starts with a dot\r\nmiddle . dot\r\n"
                          "..\r\n8-bit \xc3\xa4\r\n\r\n");
        QTest::newRow("no final line end") << QByteArray("Subject: x\r\n\r\nno line end") << kTo << kFrom
                                           << QByteArray("Subject: x\r\n\r\nno line end\r\n");
        QTest::newRow("null sender") << kMessage << kTo << QString() << kKept;
        QTest::newRow("UTF-8 addresses")
            << kMessage << u"j\u00f6rg@example.test"_qs << u"\u00e5sa@example.test"_qs << kKept;

        // Large enough that the socket takes it in many partial writes.
        QByteArray big("Subject: big\r\n\r\n");
        for (int i = 0; i < 40000; ++i)
            big += QByteArray::number(i).rightJustified(70, 'x') + "\r\n";
        QTest::newRow("2.8 MB") << big << kTo << kFrom << big + "\r\n";
    }

    void deliversThroughOneServer()
    {
        QFETCH(QByteArray, message);
        QFETCH(QString, to);
        QFETCH(QString, from);
        QFETCH(QByteArray, kept);

        const int before = int(m_recorder.messages().size());
        ZEM_A_E_MailDelivery delivery;
        QVERIFY(delivery.sendMail(message, to, from, kLocal, m_recorder.port()));
        // The connection stays open (no QUIT) until closed.
        QVERIFY(delivery.serverSocket() >= 0);
        QVERIFY(delivery.isConnected());
        delivery.closeConnection();
        QCOMPARE(delivery.serverSocket(), -1);
        QVERIFY(!delivery.isConnected());
        delivery.closeConnection();
        QCOMPARE(delivery.serverSocket(), -1);

        QVERIFY(m_recorder.waitForMessages(before + 1));
        const RecordedMessage got = m_recorder.messages().at(before);
        QCOMPARE(got.content.size(), kept.size());
        QVERIFY(got.content == kept);
        QCOMPARE(got.helo, QSysInfo::machineHostName());
        QCOMPARE(got.mailFrom, from.isEmpty() ? u"<>"_qs : from); // the server's notation
        QCOMPARE(got.rcptTos, QStringList{to});
    }

    void serverRefuses_data()
    {
        QTest::addColumn<bool>("refuseRecipient");
        QTest::newRow("recipient refused (550)") << true;
        QTest::newRow("data refused (451)") << false;
    }

    void serverRefuses()
    {
        QFETCH(bool, refuseRecipient);
        SmtpRecorder server;
        SmtpRecorder::Options options;
        if (refuseRecipient)
            options.refusedRecipients = {kTo};
        else
            options.failData = true;
        QVERIFY(server.start(kLocal, 0, options));

        const QString reply = refuseRecipient ? u"550 5.1.1 No such user"_qs : u"451 4.3.0 Try again later"_qs;
        ZEM_A_E_MailDelivery delivery;
        expectGivingUp(kLocal, reply);
        QVERIFY(!delivery.sendMail(kMessage, kTo, kFrom, kLocal, server.port()));
        QCOMPARE(delivery.lastError().code, ZEM_Error::Unavailable);
        QVERIFY2(delivery.lastError().message.contains(reply), qPrintable(delivery.lastError().message));
        // The server itself answered well; only this message failed.
        QVERIFY(delivery.isConnected());
        QVERIFY(delivery.serverSocket() >= 0);
        QVERIFY(server.messages().isEmpty());
    }

    void unreachableServers()
    {
        ZEM_A_E_MailDelivery delivery;
        QVERIFY(!delivery.sendMail(kMessage, kTo, kFrom, QString(), m_recorder.port()));
        // Nothing listens on 127.0.0.4.
        QVERIFY(!delivery.sendMail(kMessage, kTo, kFrom, QStringLiteral("127.0.0.4"), m_recorder.port()));
        QCOMPARE(delivery.serverSocket(), -1);
        QVERIFY(!delivery.isConnected());
        QVERIFY(!delivery.sendMail(kMessage, kTo, kFrom, QStringLiteral("no-such-host.invalid"), 25));
        // Without a connection, the later steps fail without trying.
        QVERIFY(!delivery.writeEnvelopeTo(kTo, kFrom));
        QVERIFY(!delivery.writeContent(kMessage));

        // An open connection is closed by the next connect, even one that fails.
        QVERIFY(delivery.connectToServer(kLocal, m_recorder.port()));
        QVERIFY(!delivery.connectToServer(QStringLiteral("127.0.0.4"), m_recorder.port()));
        QCOMPARE(delivery.serverSocket(), -1);
        QVERIFY(!delivery.writeEnvelopeTo(kTo, kFrom));
    }

    void faultyServer_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("reason"); // in the log line and the error when refused
        QTest::newRow("silent") << u"silent"_qs << false << u"no reply within 1500 ms"_qs;
        QTest::newRow("greeting 554") << u"greet554"_qs << false << u"554 5.3.2 No service here"_qs;
        QTest::newRow("multi-line greeting 554") << u"greet554-multiline"_qs << false
                                                 << u"554-No service here 554 5.3.2 Go away"_qs;
        QTest::newRow("HELO 421") << u"helo421"_qs << false << u"421 4.3.2 Shutting down"_qs;
        QTest::newRow("hangs up during data") << u"close-during-data"_qs << false
                                              << u"the server closed the connection"_qs;
        QTest::newRow("no reply codes") << u"garbage"_qs << false
                                        << u"not an SMTP reply: \"h"_qs; // as much as arrived
        QTest::newRow("codes of a reply differ") << u"mismatch"_qs << false << u"not an SMTP reply"_qs;
        QTest::newRow("multi-line greeting") << u"multiline-greeting"_qs << true << QString();
        QTest::newRow("replies in pieces") << u"split"_qs << true << QString();
    }

    void faultyServer()
    {
        QFETCH(QString, mode);
        QFETCH(bool, accepted);
        QFETCH(QString, reason);

        SmtpRecorder next;
        FaultServer fault(mode);
        QVERIFY(startOnSharedPort(next, fault));
        const quint16 port = fault.port();
        QCOMPARE(port, next.port());

        ZEM_A_E_MailDelivery delivery;
        if (!accepted)
            expectGivingUp(QStringLiteral("127.0.0.2"), reason);
        QCOMPARE(delivery.sendMail(kMessage, kTo, kFrom, QStringLiteral("127.0.0.2"), port), accepted);
        QVERIFY2(delivery.lastError().message.contains(u"127.0.0.2") != accepted
                     && delivery.lastError().message.contains(reason),
                 qPrintable(delivery.lastError().message));
        if (accepted) {
            QVERIFY(fault.waitForMessages(1));
            QCOMPARE(fault.messages().at(0).content, kKept);
            QCOMPARE(fault.messages().at(0).rcptTos, QStringList{QLatin1String("<") + kTo + u'>'});
        } else if (mode != QLatin1String("close-during-data")) {
            // A server that fails before HELO is done leaves no connection behind.
            QVERIFY(!delivery.isConnected());
            QCOMPARE(delivery.serverSocket(), -1);
        }

        // Through the accounts, a failing first server hands the message to the second.
        writeMailSettings(accounts({QStringLiteral("127.0.0.2"), QStringLiteral("127.0.0.3")}));
        QVERIFY(ZEM_A_E_MailDelivery::sendMail(kMessage, kTo, kFrom, port));
        if (accepted) {
            QVERIFY(fault.waitForMessages(2));
            QVERIFY(next.messages().isEmpty());
        } else {
            QVERIFY(next.waitForMessages(1));
            QCOMPARE(next.messages().at(0).content, kKept);
            QCOMPARE(next.messages().at(0).helo, QSysInfo::machineHostName());
        }
    }

    void accountsInOrder()
    {
        SmtpRecorder wrongType;
        SmtpRecorder right;
        QVERIFY(startOnSharedPort(wrongType, right));

        // Only SMTP accounts with a host name count; the account's own port is not used.
        writeMailSettings("[Account1]\nAccountType=IMAPAccount\nHostname=127.0.0.3\n"
                          "[Account2]\nAccountType=SMTPAccount\nHostname=\n"
                          "[Account3]\nAccountType=SMTPAccount\nPort=1\n"
                          "[Account4]\nAccountType=SMTPAccount\nHostname=127.0.0.2\nPort=1\n"
                          "[Account5]\nAccountType=SMTPAccount\nHostname=127.0.0.3\n");
        ZEM_A_E_MailDelivery delivery;
        QVERIFY(delivery.sendMailToFromPort(kMessage, kTo, kFrom, right.port()));
        QVERIFY(right.waitForMessages(1));
        QVERIFY(wrongType.messages().isEmpty());
        QCOMPARE(right.messages().at(0).rcptTos, QStringList{kTo});

        // Every account failing, and the recipient's domain has no exchanger: NO.
        writeMailSettings(accounts({QStringLiteral("127.0.0.4"), QStringLiteral("127.0.0.5")}));
        QVERIFY(!ZEM_A_E_MailDelivery::sendMail(kMessage, kTo, kFrom, right.port()));
        QFile::remove(ZEM_F_E_EmailAddress::mailSettingsPath());
        QVERIFY(!ZEM_A_E_MailDelivery::sendMail(kMessage, kTo, kFrom, right.port()));
        QVERIFY(!ZEM_A_E_MailDelivery::sendMail(kMessage, u"no-domain@"_qs, kFrom, right.port()));
        QCOMPARE(right.messages().size(), 1);
    }

    void exchangersAfterAccounts()
    {
        // mx1 (preference 10) refuses at its greeting, mx2 (20) takes the message.
        SmtpRecorder mx2;
        FaultServer mx1(QStringLiteral("greet554"));
        QVERIFY(startOnSharedPort(mx2, mx1));
        DnsServer dns;
        QVERIFY2(dns.start({{"example.test", "mx1.example.test", 10},
                            {"example.test", "mx2.example.test", 20}},
                           {{"mx1.example.test", "127.0.0.2"}, {"mx2.example.test", "127.0.0.3"},
                            {"nomx.test", "127.0.0.3"}}),
                 qPrintable(dns.error()));

        writeMailSettings(accounts({QStringLiteral("127.0.0.4")}));
        const bool delivered = ZEM_A_E_MailDelivery::sendMail(kMessage, kTo, kFrom, mx2.port());
        // A domain with an address but no MX record gets nothing, and the caller learns why.
        ZEM_A_E_MailDelivery toNoMxDelivery;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"not delivered to a@nomx.test: .*no mail exchanger"_qs));
        const bool toNoMx = toNoMxDelivery.sendMailToFromPort(kMessage, QStringLiteral("a@nomx.test"),
                                                              kFrom, mx2.port());
        QCOMPARE(toNoMxDelivery.lastError().code, ZEM_Error::NotFound);
        QVERIFY(delivered);
        QVERIFY(mx2.waitForMessages(1));
        QCOMPARE(mx2.messages().at(0).content, kKept);
        QVERIFY(!toNoMx);
        QCOMPARE(mx2.messages().size(), 1);
    }

    void addressInjectionRefused_data()
    {
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("from");
        const QString extra = QStringLiteral(">\r\nRCPT TO:<evil@example.test");
        QTest::newRow("CR LF in recipient") << kTo + extra << kFrom;
        QTest::newRow("CR LF in sender") << kTo << kFrom + extra;
        QTest::newRow("LF in recipient") << QStringLiteral("a@b.test\nRCPT TO:<evil@example.test") << kFrom;
        QTest::newRow("CR in sender") << kTo << QStringLiteral("a@b.test\rDATA");
        QTest::newRow("NUL") << QStringLiteral("a@b.test") + QChar(0) + QStringLiteral("x") << kFrom;
        QTest::newRow("control character") << QStringLiteral("a\x01@b.test") << kFrom;
        QTest::newRow("DEL") << kTo << QStringLiteral("a\x7f@b.test");
        QTest::newRow("angle bracket closes early") << QStringLiteral("a@b.test> NOTIFY=NEVER") << kFrom;
        QTest::newRow("angle bracket in sender") << kTo << QStringLiteral("<a@b.test");
    }

    void addressInjectionRefused()
    {
        QFETCH(QString, to);
        QFETCH(QString, from);
        const int before = int(m_recorder.messages().size());
        ZEM_A_E_MailDelivery delivery;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"address .*could add an SMTP command"_qs));
        QVERIFY(!delivery.sendMail(kMessage, to, from, kLocal, m_recorder.port()));
        QCOMPARE(delivery.lastError().code, ZEM_Error::InvalidArgument);
        QVERIFY(delivery.isConnected());
        const qsizetype wireBefore = m_recorder.wireLog().size();

        // The same connection then carries a clean message; the server must have seen nothing
        // in between.
        QVERIFY(delivery.writeEnvelopeTo(kTo, kFrom));
        QVERIFY(delivery.writeContent(kMessage));
        QVERIFY(m_recorder.waitForMessages(before + 1));
        QCOMPARE(m_recorder.messages().size(), before + 1);
        QCOMPARE(m_recorder.messages().at(before).rcptTos, QStringList{kTo});
        QCOMPARE(m_recorder.wireLog().mid(wireBefore),
                 "MAIL FROM:<" + kFrom.toUtf8() + ">\r\nRCPT TO:<" + kTo.toUtf8() + ">\r\nDATA\r\n"
                     + kMessage + "\r\n.\r\n");
    }

    void earlyEndOfData_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QByteArray>("kept"); // when sent

        const QByteArray tail("MAIL FROM:<x@evil.test>\r\nRCPT TO:<y@evil.test>\r\nDATA\r\nspam\r\n");
        QTest::newRow("LF . LF") << "a\n.\n" + tail << true << QByteArray();
        QTest::newRow("LF . CR LF") << "a\n.\r\n" + tail << true << QByteArray();
        QTest::newRow("CR . CR LF") << "a\r.\r\n" + tail << true << QByteArray();
        QTest::newRow("CR LF . LF") << "a\r\n.\n" + tail << true << QByteArray();
        QTest::newRow("CR LF . CR LF") << "a\r\n.\r\n" + tail << true << QByteArray();
        QTest::newRow("CR . CR") << QByteArray("a\r.\rb") << true << QByteArray();
        QTest::newRow(". CR LF at the start") << ".\r\n" + tail << true << QByteArray();
        QTest::newRow(". LF at the start") << QByteArray(".\nx") << true << QByteArray();
        QTest::newRow("CR LF . at the end") << QByteArray("a\r\n.") << true << QByteArray();
        QTest::newRow("LF . at the end") << QByteArray("a\n.") << true << QByteArray();
        QTest::newRow("a lone dot") << QByteArray(".") << true << QByteArray();

        // A dot that does not stand alone on its line is ordinary text.
        QTest::newRow("stuffed dot") << QByteArray("..\r\nb\r\n") << false << QByteArray(".\r\nb\r\n\r\n");
        QTest::newRow("dot inside a line") << QByteArray("a.b\r\nc .\r\n") << false
                                           << QByteArray("a.b\r\nc .\r\n\r\n");
        QTest::newRow("dot begins a word at the end") << QByteArray("a\r\n.x") << false
                                                      << QByteArray("a\r\nx\r\n");
        QTest::newRow("empty") << QByteArray() << false << QByteArray("\r\n");
    }

    void earlyEndOfData()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, refused);
        QFETCH(QByteArray, kept);

        const int before = int(m_recorder.messages().size());
        ZEM_A_E_MailDelivery delivery;
        QVERIFY(delivery.connectToServer(kLocal, m_recorder.port()));
        QVERIFY(delivery.writeEnvelopeTo(kTo, kFrom));
        const qsizetype wireBefore = m_recorder.wireLog().size();
        if (refused)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"not sent to 127\\.0\\.0\\.1 port \\d+: .*SMTP smuggling"_qs));
        QCOMPARE(delivery.writeContent(content), !refused);
        QCOMPARE(delivery.lastError().code, refused ? ZEM_Error::InvalidArgument : ZEM_Error::NoError);
        if (!refused) {
            QVERIFY(m_recorder.waitForMessages(before + 1));
            QCOMPARE(m_recorder.messages().at(before).content, kept);
            return;
        }
        // Nothing was sent: the same envelope still takes a clean message, and it is all the
        // server received.
        QVERIFY(delivery.writeContent(kMessage));
        QVERIFY(m_recorder.waitForMessages(before + 1));
        QCOMPARE(m_recorder.messages().size(), before + 1);
        QCOMPARE(m_recorder.messages().at(before).content, kKept);
        QCOMPARE(m_recorder.wireLog().mid(wireBefore), "DATA\r\n" + kMessage + "\r\n.\r\n");
    }

    void nothingLeaks()
    {
        // Every server first, so their pipes are counted on both sides.
        std::vector<std::unique_ptr<FaultServer>> faults;
        for (const QString &mode : u"silent greet554 helo421 close-during-data garbage split"_qs.split(u' ')) {
            faults.push_back(std::make_unique<FaultServer>(mode));
            QVERIFY(faults.back()->start(kLocal));
        }
        const int before = int(m_recorder.messages().size());
        const int fds = entriesIn("/proc/self/fd");
        const int tasks = entriesIn("/proc/self/task");

        int delivered = 0;
        {
            ZEM_A_E_MailDelivery reused;
            for (const auto &fault : faults) {
                ZEM_A_E_MailDelivery fresh;
                const bool expected = fault.get() == faults.back().get();
                QCOMPARE(fresh.sendMail(kMessage, kTo, kFrom, kLocal, fault->port()), expected);
                QCOMPARE(reused.sendMail(kMessage, kTo, kFrom, kLocal, fault->port()), expected);
                QVERIFY(reused.sendMail(kMessage, kTo, kFrom, kLocal, m_recorder.port()));
                ++delivered;
                QVERIFY(!reused.sendMail("\r\n.\r\n", kTo, kFrom, kLocal, m_recorder.port()));
                QVERIFY(!reused.sendMail(kMessage, u"a\r\n@b"_qs, kFrom, kLocal, m_recorder.port()));
            }
            QVERIFY(!reused.sendMail(kMessage, kTo, kFrom, QStringLiteral("127.0.0.4"), m_recorder.port()));
            // The last connection of `reused` is left open for its destructor to close.
            QVERIFY(reused.connectToServer(kLocal, m_recorder.port()));
        }
        QVERIFY(m_recorder.waitForMessages(before + delivered));

        QTRY_VERIFY(entriesIn("/proc/self/fd") <= fds);
        QTRY_VERIFY(entriesIn("/proc/self/task") <= tasks);
    }

    void concurrentDeliveries()
    {
        constexpr int threads = 6;
        constexpr int each = 4;
        const int before = int(m_recorder.messages().size());
        const int fds = entriesIn("/proc/self/fd");
        const int tasks = entriesIn("/proc/self/task");
        const quint16 port = m_recorder.port();

        std::atomic<int> failures{0};
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([t, port, &failures] {
                for (int i = 0; i < each; ++i) {
                    ZEM_A_E_MailDelivery delivery;
                    const QByteArray message = "Subject: " + QByteArray::number(t) + "/"
                                               + QByteArray::number(i) + "\r\n\r\nbody\r\n";
                    if (!delivery.sendMail(message, kTo, kFrom, kLocal, port))
                        ++failures;
                }
            });
        }
        for (std::thread &w : workers)
            w.join();
        QCOMPARE(failures.load(), 0);
        QVERIFY(m_recorder.waitForMessages(before + threads * each));

        QSet<QByteArray> subjects;
        const QList<RecordedMessage> all = m_recorder.messages();
        for (qsizetype i = before; i < all.size(); ++i)
            subjects.insert(all.at(i).content.split('\r').first());
        QCOMPARE(subjects.size(), threads * each);
        QVERIFY(subjects.contains("Subject: 5/3"));

        QTRY_VERIFY(entriesIn("/proc/self/fd") <= fds);
        QTRY_VERIFY(entriesIn("/proc/self/task") <= tasks);
    }

private:
    SmtpRecorder m_recorder; // a well-behaved server on 127.0.0.1 for most tests
};

ZEM_TEST_MAIN(tst_ZEM_A_E_MailDelivery)
#include "tst_ZEM_A_E_MailDelivery.moc"
