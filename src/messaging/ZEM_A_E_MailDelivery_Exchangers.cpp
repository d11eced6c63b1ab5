// Mail exchangers of a domain: the MX query and the reading of its answer.
#include "ZEM_A_E_MailDelivery.h"

#include "platform/Resolver.h"

#include <arpa/nameser.h>
#include <netinet/in.h>
#include <resolv.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace {

constexpr int kMaxExchangers = 99;
// The names of one answer share a store of this size, one byte of it held back.
constexpr int kNameStoreUsable = 12800 - 1;
constexpr int kHeaderSize = 12;     // id, flags, four counts
constexpr int kQuestionTail = 4;    // type, class
constexpr int kRecordFixed = 10;    // type, class, TTL, data length
constexpr int kMxType = 15;
constexpr int kMaxAnswerLength = 8192;

struct Exchanger
{
    QByteArray name;
    quint16 preference = 0;
    std::uint32_t weight = 0;
};

quint16 read16(const unsigned char *p)
{
    return quint16((p[0] << 8) | p[1]);
}

std::uint32_t randomWeight()
{
    thread_local std::mt19937 generator{std::random_device{}()};
    return std::uint32_t(generator());
}

} // namespace

QStringList ZEM_A_E_MailDelivery::mailServersForDomain(const QString &domain)
{
    const QByteArray answer = platform::Resolver::query(domain, kMxType, kMaxAnswerLength);
    return mailServersFromAnswer(reinterpret_cast<const unsigned char *>(answer.constData()),
                                 int(answer.size()));
}

// The answer may come from anyone who can reach the resolver's port, so nothing in it is
// trusted: every field is checked against the end before it is read, names are expanded
// against the real end, and an exchanger's name must lie within its record's data. A record
// that does not fit, or an MX record too short for a preference and a name, ends the
// collection; what was read before it is kept. Equal preferences are ordered by a random
// weight from a generator of the calling thread, so that concurrent lookups neither share
// state nor disturb rand(). After sorting, an entry whose name equals its predecessor's in
// any letter case is dropped; a name that comes back after another one stays, in its place.
QStringList ZEM_A_E_MailDelivery::mailServersFromAnswer(const unsigned char *answer, int length)
{
    if (!answer || length < kHeaderSize)
        return {};
    const unsigned char *const end = answer + length;
    const int questions = read16(answer + 4);
    const int records = read16(answer + 6);

    const unsigned char *cp = answer + kHeaderSize;
    for (int i = 0; i < questions; ++i) {
        if (cp >= end)
            return {};
        const int n = dn_skipname(cp, end);
        if (n < 0 || end - cp < n + kQuestionTail)
            return {};
        cp += n + kQuestionTail;
    }

    std::vector<Exchanger> found;
    int storeLeft = kNameStoreUsable;
    char name[NS_MAXDNAME];
    for (int i = 0; i < records && cp < end && int(found.size()) < kMaxExchangers; ++i) {
        const int ownerLength = dn_expand(answer, end, cp, name, sizeof name);
        if (ownerLength < 0 || end - cp < ownerLength + kRecordFixed)
            break;
        cp += ownerLength;
        const int type = read16(cp);
        const int dataLength = read16(cp + 8);
        cp += kRecordFixed;
        if (end - cp < dataLength)
            break;
        const unsigned char *const dataEnd = cp + dataLength;
        if (type != kMxType) {
            cp = dataEnd;
            continue;
        }
        if (dataLength < 3)
            break;
        const quint16 preference = read16(cp);
        const int nameLength = dn_expand(answer, end, cp + 2, name, sizeof name);
        if (nameLength < 0 || nameLength > dataLength - 2)
            break;
        cp = dataEnd;

        QByteArray exchanger(name);
        if (qsizetype(exchanger.size()) + 1 > storeLeft)
            break; // does not fit the store
        if (!exchanger.endsWith('.'))
            exchanger.append('.'); // the root comes back empty and becomes "."
        storeLeft -= int(exchanger.size()) + 1;
        found.push_back({exchanger, preference, randomWeight()});
        if (storeLeft <= 0)
            break;
    }

    std::sort(found.begin(), found.end(), [](const Exchanger &a, const Exchanger &b) {
        if (a.preference != b.preference)
            return a.preference < b.preference;
        return a.weight < b.weight;
    });

    QStringList result;
    const QByteArray *previous = nullptr;
    for (const Exchanger &e : found) {
        if (previous && previous->compare(e.name, Qt::CaseInsensitive) == 0) // ASCII only
            continue;
        previous = &e.name;
        result.append(QString::fromLatin1(e.name));
    }
    return result;
}
