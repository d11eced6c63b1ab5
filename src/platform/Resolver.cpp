#include "platform/Resolver.h"

#include <QMutex>
#include <QMutexLocker>

#include <arpa/inet.h>
#include <arpa/nameser.h>
#include <netdb.h>
#include <netinet/in.h>
#include <resolv.h>
#include <sys/socket.h>

#include <cstring>

namespace platform {

namespace {

struct NameServer
{
    QString address; // empty: the system's configuration
    quint16 port = 53;
    in_addr addr{};
};

QMutex &nameServerMutex()
{
    static QMutex mutex;
    return mutex;
}

NameServer &nameServerSetting()
{
    static NameServer setting;
    return setting;
}

NameServer currentNameServer()
{
    QMutexLocker lock(&nameServerMutex());
    return nameServerSetting();
}

// Resolver calls take C strings; a name outside ASCII (or with a NUL) would be mangled
// into some other name, so it is refused instead.
bool asciiName(const QString &name, QByteArray *out)
{
    if (name.isEmpty())
        return false;
    for (const QChar c : name) {
        if (c.unicode() == 0 || c.unicode() > 0x7f)
            return false;
    }
    *out = name.toLatin1();
    return true;
}

bool parseDotted(const QByteArray &text, in_addr *addr)
{
    return inet_pton(AF_INET, text.constData(), addr) == 1;
}

void appendUnique(QList<std::uint32_t> &list, std::uint32_t address)
{
    if (!list.contains(address))
        list.append(address);
}

} // namespace

bool Resolver::setNameServer(const QString &address, quint16 port)
{
    NameServer next;
    if (!address.isEmpty()) {
        QByteArray ascii;
        if (!asciiName(address, &ascii) || !parseDotted(ascii, &next.addr))
            return false;
        next.address = address;
        next.port = port;
    }
    QMutexLocker lock(&nameServerMutex());
    nameServerSetting() = next;
    return true;
}

QString Resolver::nameServerAddress()
{
    return currentNameServer().address;
}

quint16 Resolver::nameServerPort()
{
    return currentNameServer().port;
}

QByteArray Resolver::query(const QString &name, int type, int maxLength)
{
    QByteArray ascii;
    if (maxLength <= 0 || !asciiName(name, &ascii))
        return {};
    const NameServer server = currentNameServer();

    // A state of our own per call: the process-wide _res is shared by every thread.
    struct __res_state state;
    std::memset(&state, 0, sizeof state);
    // A failed res_ninit leaves the state as it was; with a zero descriptor there,
    // res_nclose would close standard input.
    state._vcsock = -1;
    if (res_ninit(&state) != 0) {
        res_nclose(&state);
        return {};
    }
    if (!server.address.isEmpty()) {
        std::memset(&state.nsaddr_list[0], 0, sizeof state.nsaddr_list[0]);
        state.nsaddr_list[0].sin_family = AF_INET;
        state.nsaddr_list[0].sin_addr = server.addr;
        state.nsaddr_list[0].sin_port = htons(server.port);
        state.nscount = 1;
    }
    // A dead server should cost seconds, not the better part of a minute.
    state.retry = 2;
    state.retrans = 2;

    QByteArray answer(maxLength, Qt::Uninitialized);
    const int n = res_nquery(&state, ascii.constData(), ns_c_in, type,
                             reinterpret_cast<unsigned char *>(answer.data()), maxLength);
    res_nclose(&state);
    if (n <= 0)
        return {};
    // A reply larger than the buffer reports its full size; only the buffer holds bytes.
    answer.truncate(qMin(n, maxLength));
    return answer;
}

QList<std::uint32_t> Resolver::ipv4Addresses(const QString &name)
{
    QList<std::uint32_t> result;
    QByteArray ascii;
    if (!asciiName(name, &ascii))
        return result;

    in_addr dotted{};
    if (parseDotted(ascii, &dotted)) {
        result.append(dotted.s_addr);
        return result;
    }

    if (!nameServerAddress().isEmpty()) {
        const QByteArray answer = query(name, ns_t_a);
        if (answer.isEmpty())
            return result;
        ns_msg msg;
        if (ns_initparse(reinterpret_cast<const unsigned char *>(answer.constData()),
                         int(answer.size()), &msg)
            != 0)
            return result;
        // A CNAME chain comes back with the A records of its target in the same section.
        const int count = ns_msg_count(msg, ns_s_an);
        for (int i = 0; i < count; ++i) {
            ns_rr rr;
            if (ns_parserr(&msg, ns_s_an, i, &rr) != 0)
                break;
            if (ns_rr_type(rr) != ns_t_a || ns_rr_class(rr) != ns_c_in || ns_rr_rdlen(rr) != 4)
                continue;
            std::uint32_t address;
            std::memcpy(&address, ns_rr_rdata(rr), 4);
            appendUnique(result, address);
        }
        return result;
    }

    // getaddrinfo is thread-safe, unlike gethostbyname.
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *list = nullptr;
    if (getaddrinfo(ascii.constData(), nullptr, &hints, &list) != 0 || !list)
        return result;
    for (const addrinfo *ai = list; ai; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET || !ai->ai_addr
            || ai->ai_addrlen < socklen_t(sizeof(sockaddr_in)))
            continue;
        const auto *sin = reinterpret_cast<const sockaddr_in *>(ai->ai_addr);
        appendUnique(result, sin->sin_addr.s_addr);
    }
    freeaddrinfo(list);
    return result;
}

} // namespace platform
