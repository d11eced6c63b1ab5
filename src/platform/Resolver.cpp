// PLACEHOLDER: being written (resolver). Replace wholly.
#include "Resolver.h"
namespace platform {
bool Resolver::setNameServer(const QString &, quint16) { return false; }
QString Resolver::nameServerAddress() { return {}; }
quint16 Resolver::nameServerPort() { return 53; }
QByteArray Resolver::query(const QString &, int, int) { return {}; }
QList<std::uint32_t> Resolver::ipv4Addresses(const QString &) { return {}; }
}
