#pragma once
// The DNS seam: queries go through glibc's resolver with a resolver state of their own per
// call, so lookups on several threads share nothing. The name server asked can be set
// (tests point it at a server on loopback); by default the system's configuration is used.

#include "zem_appkit_export.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

namespace platform {

class ZEM_APPKIT_EXPORT Resolver
{
public:
    /**
     * Ask the IPv4 name server at \a address (dotted form) and \a port instead of the
     * system's; an empty address goes back to the system's configuration. Process-wide and
     * safe to call from any thread; queries already running keep the server they started
     * with. False (and nothing changed) when \a address is not a dotted IPv4 address.
     */
    static bool setNameServer(const QString &address, quint16 port = 53);
    /** The name server set, or an empty text for the system's. */
    static QString nameServerAddress();
    static quint16 nameServerPort();

    /**
     * The raw answer to a query of class IN and type \a type (15 for MX, 1 for A) for
     * \a name, at most \a maxLength bytes; empty on any failure (no such name, no answer,
     * no server, a name that is not ASCII).
     */
    static QByteArray query(const QString &name, int type, int maxLength = 8192);

    /**
     * The IPv4 addresses of \a name in network byte order: a dotted address is taken as it
     * stands; with a name server set, the A records it answers (following a CNAME); else the
     * system's lookup (hosts file, then DNS). Empty when the name is not found.
     */
    static QList<std::uint32_t> ipv4Addresses(const QString &name);
};

} // namespace platform
