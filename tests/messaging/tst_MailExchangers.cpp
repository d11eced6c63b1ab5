#include "ZemTestEnv.h"

#include "DnsServer.h"
#include "messaging/ZEM_A_E_MailDelivery.h"
#include "platform/Resolver.h"

#include <arpa/inet.h>
#include <arpa/nameser.h>

#include <QSet>

#include <atomic>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

using platform::Resolver;

namespace {

// --- DNS messages by hand ------------------------------------------------------------

QByteArray u16(int v)
{
    const char bytes[] = {char((v >> 8) & 0xff), char(v & 0xff)};
    return QByteArray(bytes, 2);
}

QByteArray u32(quint32 v)
{
    return u16(int(v >> 16)) + u16(int(v & 0xffff));
}

QByteArray header(int questions, int records)
{
    return u16(0x1234) + u16(0x8580) + u16(questions) + u16(records) + u16(0) + u16(0);
}

// "a.b" as labels; an empty \a rest ends the name with the root label, else with \a rest
// (a compression pointer).
QByteArray labels(const QByteArray &dotted, const QByteArray &rest = QByteArray(1, '\0'))
{
    QByteArray b;
    for (const QByteArray &label : dotted.split('.')) {
        b.append(char(label.size()));
        b.append(label);
    }
    return b + rest;
}

QByteArray pointer(int offset)
{
    return u16(0xc000 | offset);
}

constexpr int kQuestionName = 12; // offset of the question's name in every message below

// Header and one question for example.test, type MX.
QByteArray start(int records)
{
    return header(1, records) + labels("example.test") + u16(ns_t_mx) + u16(ns_c_in);
}

QByteArray record(int type, const QByteArray &data, int dataLength = -1,
                  const QByteArray &owner = pointer(kQuestionName))
{
    return owner + u16(type) + u16(ns_c_in) + u32(300)
           + u16(dataLength < 0 ? int(data.size()) : dataLength) + data;
}

QByteArray mx(int preference, const QByteArray &name, int dataLength = -1)
{
    return record(ns_t_mx, u16(preference) + name, dataLength < 0 ? -1 : dataLength);
}

QStringList exchangers(const QByteArray &message)
{
    return ZEM_A_E_MailDelivery::mailServersFromAnswer(
        reinterpret_cast<const unsigned char *>(message.constData()), int(message.size()));
}

bool isSubsequence(const QStringList &part, const QStringList &whole)
{
    qsizetype at = 0;
    for (const QString &s : part) {
        at = whole.indexOf(s, at);
        if (at < 0)
            return false;
        ++at;
    }
    return true;
}

// The preference of the first answer record, read plainly: one question whose name has
// no pointer, an owner name that is a pointer.
int firstPreference(const QByteArray &m)
{
    qsizetype at = kQuestionName;
    while (at < m.size() && m[at] != 0)
        at += 1 + quint8(m[at]);
    at += 1 + 4 + 2 + 10;
    if (at + 2 > m.size())
        return -1;
    return (quint8(m[at]) << 8) | quint8(m[at + 1]);
}

std::uint32_t ipv4(const char *dotted)
{
    return inet_addr(dotted);
}

} // namespace

class tst_MailExchangers : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(!DnsServer::program().isEmpty(), "dnsmasq (dnsmasq-base) is needed");
    }

    void cleanup() { Resolver::setNameServer(QString()); }

    // Against a real name server.
    void nameServerSetting()
    {
        QVERIFY(Resolver::nameServerAddress().isEmpty());
        QVERIFY(Resolver::setNameServer(QStringLiteral("127.0.0.9"), 5300));
        QCOMPARE(Resolver::nameServerAddress(), QStringLiteral("127.0.0.9"));
        QCOMPARE(Resolver::nameServerPort(), quint16(5300));

        for (const char *bad : {"localhost", "127.0.0", "::1", "127.0.0.1 ", "300.0.0.1"}) {
            QVERIFY2(!Resolver::setNameServer(QLatin1String(bad), 53), bad);
            QCOMPARE(Resolver::nameServerAddress(), QStringLiteral("127.0.0.9"));
            QCOMPARE(Resolver::nameServerPort(), quint16(5300));
        }
        QVERIFY(Resolver::setNameServer(QString()));
        QVERIFY(Resolver::nameServerAddress().isEmpty());
    }

    // One name server for every domain and host below: the answers of one are not mixed
    // with another's.
    void exchangersAndAddresses()
    {
        DnsServer dns;
        QVERIFY2(dns.start({{"example.test", "mx1.example.test", 10},
                            {"example.test", "mx2.example.test", 20},
                            {"tie.test", "a.tie.test", 5},
                            {"tie.test", "b.tie.test", 5},
                            {"dup.test", "MX.Dup.test", 10},
                            {"dup.test", "mx.dup.test", 10},
                            {"dup.test", "other.dup.test", 20}},
                           {{"mx1.example.test", "127.0.0.2"},
                            {"nomx.test", "127.0.0.4"},
                            {"multi.test", "127.0.0.5"},
                            {"multi.test", "127.0.0.6"}},
                           {QStringLiteral("--cname=alias.test,mx1.example.test")}),
                 qPrintable(dns.error()));
        QCOMPARE(Resolver::nameServerAddress(), QStringLiteral("127.0.0.1"));
        QCOMPARE(Resolver::nameServerPort(), dns.port());

        // Sorted by preference: the server puts 20 first, so the order below is the lookup's own.
        const QByteArray raw = Resolver::query(QStringLiteral("example.test"), ns_t_mx);
        QCOMPARE(firstPreference(raw), 20);
        ZEM_A_E_MailDelivery delivery;
        const QStringList sorted{u"mx1.example.test."_qs, u"mx2.example.test."_qs};
        QCOMPARE(delivery.mailServersForDomain(QStringLiteral("example.test")), sorted);
        QCOMPARE(delivery.mailServersForDomain(QStringLiteral("EXAMPLE.test")), sorted);
        QCOMPARE(exchangers(raw), sorted);

        // Equal preferences come in either order.
        const QStringList ab{QStringLiteral("a.tie.test."), QStringLiteral("b.tie.test.")};
        QSet<QStringList> seen;
        for (int i = 0; i < 200 && seen.size() < 2; ++i)
            seen.insert(delivery.mailServersForDomain(QStringLiteral("tie.test")));
        QCOMPARE(seen, (QSet<QStringList>{ab, {ab[1], ab[0]}}));

        // The same host once, whatever the case of its name.
        for (int i = 0; i < 20; ++i) {
            const QStringList got = delivery.mailServersForDomain(QStringLiteral("dup.test"));
            QCOMPARE(got.size(), 2);
            QCOMPARE(got[0].toLower(), QStringLiteral("mx.dup.test."));
            QCOMPARE(got[1], QStringLiteral("other.dup.test."));
        }

        // No exchangers: an unknown domain, one with an address only, none, one not ASCII.
        for (const QString &domain : {u"missing.test"_qs, u"nomx.test"_qs, QString(), u"ex\u00e4mple.test"_qs})
            QVERIFY2(delivery.mailServersForDomain(domain).isEmpty(), qPrintable(domain));
        QVERIFY(Resolver::query(QStringLiteral("nomx.test"), ns_t_mx).isEmpty());
        QVERIFY(!Resolver::query(QStringLiteral("nomx.test"), ns_t_a).isEmpty());

        // Addresses, through an alias too; a dotted address is not asked about.
        using List = QList<std::uint32_t>;
        QCOMPARE(Resolver::ipv4Addresses(QStringLiteral("mx1.example.test")), List{ipv4("127.0.0.2")});
        QCOMPARE(Resolver::ipv4Addresses(QStringLiteral("alias.test")), List{ipv4("127.0.0.2")});
        const List multi = Resolver::ipv4Addresses(QStringLiteral("multi.test"));
        QCOMPARE(multi.size(), 2);
        QCOMPARE(QSet<std::uint32_t>(multi.begin(), multi.end()),
                 (QSet{ipv4("127.0.0.5"), ipv4("127.0.0.6")}));
        for (const QString &name : {u"missing.test"_qs, u"m\u00fcx.test"_qs, QString()})
            QVERIFY2(Resolver::ipv4Addresses(name).isEmpty(), qPrintable(name));
        QCOMPARE(Resolver::ipv4Addresses(QStringLiteral("10.1.2.3")), List{ipv4("10.1.2.3")});
    }

    void stoppedServer()
    {
        DnsServer dns;
        QVERIFY2(dns.start({{"example.test", "mx1.example.test", 10}}, {}),
                 qPrintable(dns.error()));
        const quint16 port = dns.port();
        ZEM_A_E_MailDelivery delivery;
        QCOMPARE(delivery.mailServersForDomain(QStringLiteral("example.test")).size(), 1);

        dns.stop();
        QVERIFY(Resolver::nameServerAddress().isEmpty());
        QVERIFY(Resolver::setNameServer(QStringLiteral("127.0.0.1"), port));
        QCOMPARE(delivery.mailServersForDomain(QStringLiteral("example.test")), QStringList());
        QVERIFY(Resolver::ipv4Addresses(QStringLiteral("mx1.example.test")).isEmpty());
    }


    void ipv4AddressesWithoutServer()
    {
        QVERIFY(Resolver::nameServerAddress().isEmpty());
        using List = QList<std::uint32_t>;
        QCOMPARE(Resolver::ipv4Addresses(QStringLiteral("192.0.2.7")), List{ipv4("192.0.2.7")});
        // From the hosts file; no name server is asked.
        const List local = Resolver::ipv4Addresses(QStringLiteral("localhost"));
        QVERIFY(local.contains(ipv4("127.0.0.1")));
        QCOMPARE(QSet<std::uint32_t>(local.begin(), local.end()).size(), local.size());
    }

    void concurrentLookups()
    {
        constexpr int kDomains = 6;
        QList<MxRecord> records;
        QList<HostRecord> hosts;
        for (int d = 0; d < kDomains; ++d) {
            const QString domain = QStringLiteral("d%1.test").arg(d);
            records.append({domain, QStringLiteral("far.") + domain, 50 + d});
            records.append({domain, QStringLiteral("near.") + domain, d});
            hosts.append({QStringLiteral("host.") + domain, QStringLiteral("127.0.1.%1").arg(d + 1)});
        }
        DnsServer dns;
        QVERIFY2(dns.start(records, hosts), qPrintable(dns.error()));

        std::atomic<int> wrong{0};
        std::atomic<int> done{0};
        std::vector<std::thread> threads;
        for (int d = 0; d < kDomains; ++d) {
            threads.emplace_back([d, &wrong, &done] {
                const QString domain = QStringLiteral("d%1.test").arg(d);
                const QStringList expected{QStringLiteral("near.") + domain + QLatin1Char('.'),
                                           QStringLiteral("far.") + domain + QLatin1Char('.')};
                const std::uint32_t address =
                    inet_addr(QStringLiteral("127.0.1.%1").arg(d + 1).toLatin1().constData());
                ZEM_A_E_MailDelivery delivery;
                for (int i = 0; i < 25; ++i) {
                    if (delivery.mailServersForDomain(domain) != expected)
                        ++wrong;
                    if (Resolver::ipv4Addresses(QStringLiteral("host.") + domain)
                        != QList<std::uint32_t>{address})
                        ++wrong;
                    ++done;
                }
            });
        }
        for (std::thread &t : threads)
            t.join();
        QCOMPARE(done.load(), kDomains * 25);
        QCOMPARE(wrong.load(), 0);
    }

    // Answer bytes made by hand.
    void everyTruncationOfARealAnswer()
    {
        DnsServer dns;
        QVERIFY2(dns.start({{"cut.test", "c.cut.test", 30},
                            {"cut.test", "a.cut.test", 10},
                            {"cut.test", "b.cut.test", 20}},
                           {{"a.cut.test", "127.0.0.2"}, {"b.cut.test", "127.0.0.3"}}),
                 qPrintable(dns.error()));
        const QByteArray raw = Resolver::query(QStringLiteral("cut.test"), ns_t_mx);
        dns.stop();
        const QStringList full{u"a.cut.test."_qs, u"b.cut.test."_qs, u"c.cut.test."_qs};
        QCOMPARE(exchangers(raw), full);

        // Copies of exactly the bytes kept, so the address sanitizer sees any read past them.
        QStringList previous;
        for (qsizetype n = 0; n <= raw.size(); ++n) {
            const std::unique_ptr<unsigned char[]> copy(new unsigned char[size_t(qMax<qsizetype>(n, 1))]);
            std::memcpy(copy.get(), raw.constData(), size_t(n));
            const QStringList got = ZEM_A_E_MailDelivery::mailServersFromAnswer(copy.get(), int(n));
            QVERIFY2(isSubsequence(got, full), qPrintable(QString::number(n)));
            for (const QString &name : previous)
                QVERIFY2(got.contains(name), qPrintable(QString::number(n)));
            previous = got;
        }
        QCOMPARE(previous, full);
    }

    // Answers made by hand that a hostile or broken server could send.
    void handMadeAnswers_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QStringList>("expected");
        const QByteArray good = mx(10, labels("good.test"));
        const QByteArray later = mx(1, labels("later.test"));
        const QStringList onlyGood{QStringLiteral("good.test.")};
        const QStringList none;
        const int end = int(start(1).size());
        const int name = end + 2 + 10 + 2; // after the owner pointer, fixed fields, preference
        const QByteArray goodFirst = start(3) + good;
        const int afterGood = int(goodFirst.size()) + 2 + 10 + 2;

        QTest::newRow("owner name points at itself")
            << start(1) + record(ns_t_mx, u16(10) + labels("mx.test"), -1, pointer(end)) << none;
        QTest::newRow("exchanger name points at itself")
            << goodFirst + mx(20, pointer(afterGood)) + mx(5, labels("after.test")) << onlyGood;
        QTest::newRow("two names point at each other")
            << start(1) + mx(10, labels("x", pointer(name + 4)) + labels("y", pointer(name))) << none;
        QTest::newRow("data length past the end")
            << start(2) + good + mx(20, labels("long.test"), 200) << onlyGood;
        QTest::newRow("fixed fields cut short")
            << start(2) + good + pointer(kQuestionName) + u16(ns_t_mx) + u16(1) << onlyGood;
        QTest::newRow("no room for a name") << start(3) + good + record(ns_t_mx, u16(20)) + later
                                            << onlyGood;
        QTest::newRow("name of one byte but no end")
            << start(3) + good + record(ns_t_mx, u16(20) + QByteArray(1, '\0'), 2) + later << onlyGood;
        QTest::newRow("name runs into the next record")
            << start(3) + good + mx(20, labels("spill.test"), 5) + later << onlyGood;
        // A name of exactly its data is fine: the root (a domain that takes no mail).
        QTest::newRow("root") << start(1) + mx(0, QByteArray(1, '\0')) << QStringList{u"."_qs};
        QTest::newRow("more records announced than present") << start(9) + good << onlyGood;
        // An A record whose data would read as an MX record, a CNAME, then the MX records.
        QTest::newRow("other records skipped")
            << start(4) + record(ns_t_a, u16(1) + labels("fake.test"))
                   + record(ns_t_cname, labels("alias.test")) + mx(20, labels("two.test"))
                   + mx(10, labels("one.test", pointer(kQuestionName + 8)))
            << QStringList{u"one.test.test."_qs, u"two.test."_qs};
        QTest::newRow("preference is unsigned")
            << start(4) + mx(0xffff, labels("last.test")) + mx(0x8000, labels("mid.test"))
                   + mx(1, labels("first.test")) + mx(0x7fff, labels("second.test"))
            << QStringList{u"first.test."_qs, u"second.test."_qs, u"mid.test."_qs, u"last.test."_qs};
        const QByteArray answer = mx(10, labels("mx.test", pointer(kQuestionName + 8)));
        QTest::newRow("reserved label type in the question")
            << header(1, 1) + '\x40' + "abc" + '\0' + u16(ns_t_mx) + u16(1) + answer << none;
        QTest::newRow("question label past the end") << header(1, 1) + '\x3f' + "abc" << none;
        QTest::newRow("question type and class cut short")
            << header(1, 1) + labels("example.test") + u16(ns_t_mx) << none;
        QTest::newRow("the same answer behind a good question")
            << start(1) + answer << QStringList{u"mx.test.test."_qs};
        QTest::newRow("header cut short") << (start(1) + mx(10, labels("mx.test"))).left(11) << none;
        QTest::newRow("header alone") << header(0, 0) << none;
        // No question at all is allowed; the record follows the header.
        QTest::newRow("no question")
            << header(0, 1) + record(ns_t_mx, u16(1) + labels("mx.test"), -1, labels("example.test"))
            << QStringList{u"mx.test."_qs};
        QByteArray many = start(120);
        QStringList first99;
        for (int i = 0; i < 120; ++i) {
            many += mx(i, labels("mx" + QByteArray::number(i), pointer(kQuestionName)));
            if (i < 99)
                first99 << u"mx%1.example.test."_qs.arg(i);
        }
        QTest::newRow("at most 99") << many << first99;
    }

    void handMadeAnswers()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QStringList, expected);
        QCOMPARE(exchangers(answer), expected);
    }

    void duplicatesOfThePredecessorDropped()
    {
        // A run of three equal names shrinks to one; a name equal to one further back stays.
        const QByteArray m = start(6) + mx(10, labels("A.test")) + mx(20, labels("b.test"))
                             + mx(30, labels("a.TEST")) + mx(40, labels("c.test"))
                             + mx(40, labels("C.test")) + mx(40, labels("c.Test"));
        const QStringList got = exchangers(m);
        QCOMPARE(got.size(), 4);
        QCOMPARE(got.mid(0, 3), QStringList({u"A.test."_qs, u"b.test."_qs, u"a.TEST."_qs}));
        QCOMPARE(got[3].toLower(), QStringLiteral("c.test."));
    }

    void nameStore_data()
    {
        // Fifty names of 252 characters take 50 * 254 of the 12,799 bytes; 99 are left.
        QTest::addColumn<int>("lastLength");
        QTest::addColumn<int>("expected");
        QTest::newRow("last fills the store exactly") << 97 << 51;
        QTest::newRow("last overfills by its dot") << 98 << 51;
        QTest::newRow("last does not fit") << 99 << 50;
    }

    void nameStore()
    {
        QFETCH(int, lastLength);
        QFETCH(int, expected);

        // The long names share their tail through a pointer, as a hostile answer can.
        QByteArray m = start(53);
        const QByteArray tailLabels = labels(QByteArray(63, 'b') + '.' + QByteArray(63, 'c') + '.'
                                             + QByteArray(60, 'd'));
        int tail = -1;
        for (int i = 0; i < 50; ++i) {
            QByteArray first = QByteArray(60, 'a') + QByteArray::number(100 + i);
            QByteArray name = char(first.size()) + first;
            if (tail < 0) {
                tail = int(m.size()) + 2 + 10 + 2 + int(name.size());
                name += tailLabels;
            } else {
                name += pointer(tail);
            }
            m += mx(i, name);
        }
        // lastLength characters: a 63-character label, a dot, and the rest.
        const QByteArray last = QByteArray(63, 'e') + '.' + QByteArray(lastLength - 64, 'f');
        QCOMPARE(last.size(), qsizetype(lastLength));
        m += mx(50, labels(last));
        m += mx(51, labels("never.test"));
        m += mx(52, labels("never2.test"));

        const QStringList got = exchangers(m);
        QCOMPARE(got.size(), expected);
        QCOMPARE(got.first().size(), 253);
        QCOMPARE(got[49], QString::fromLatin1(QByteArray(60, 'a') + "149." + QByteArray(63, 'b')
                                              + '.' + QByteArray(63, 'c') + '.' + QByteArray(60, 'd')
                                              + '.'));
        if (expected == 51)
            QCOMPARE(got.last(), QString::fromLatin1(last + '.'));
    }

    void tooShort()
    {
        QCOMPARE(ZEM_A_E_MailDelivery::mailServersFromAnswer(nullptr, 0), QStringList());
        QCOMPARE(ZEM_A_E_MailDelivery::mailServersFromAnswer(nullptr, 100), QStringList());
        const unsigned char byte = 0;
        QCOMPARE(ZEM_A_E_MailDelivery::mailServersFromAnswer(&byte, 0), QStringList());
        QCOMPARE(ZEM_A_E_MailDelivery::mailServersFromAnswer(&byte, -5), QStringList());
    }
};

ZEM_TEST_MAIN(tst_MailExchangers)
#include "tst_MailExchangers.moc"
