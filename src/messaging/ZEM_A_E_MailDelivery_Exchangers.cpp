// PLACEHOLDER: being written (MX lookup). Replace wholly.
#include "ZEM_A_E_MailDelivery.h"
QStringList ZEM_A_E_MailDelivery::mailServersForDomain(const QString &) { return {}; }
QStringList ZEM_A_E_MailDelivery::mailServersFromAnswer(const unsigned char *, int) { return {}; }
