// PLACEHOLDER: being written (SMTP dialogue). Replace wholly.
#include "ZEM_A_E_MailDelivery.h"
void ZEM_A_E_MailDelivery::setDefaultTimeLimits(TimeLimits) {}
ZEM_A_E_MailDelivery::TimeLimits ZEM_A_E_MailDelivery::defaultTimeLimits() { return {}; }
ZEM_A_E_MailDelivery::ZEM_A_E_MailDelivery(QObject *parent) : ZEM_F_B_Securitry(parent) {}
ZEM_A_E_MailDelivery::~ZEM_A_E_MailDelivery() = default;
bool ZEM_A_E_MailDelivery::sendMail(const QByteArray &, const QString &, const QString &, quint16) { return false; }
bool ZEM_A_E_MailDelivery::sendMailToFromPort(const QByteArray &, const QString &, const QString &, quint16) { return false; }
bool ZEM_A_E_MailDelivery::sendMail(const QByteArray &, const QString &, const QString &, const QString &, quint16) { return false; }
void ZEM_A_E_MailDelivery::closeConnection() {}
bool ZEM_A_E_MailDelivery::sendMailSupport(const QByteArray &, const QString &, const QString &, quint16) { return false; }
bool ZEM_A_E_MailDelivery::connectToServer(const QString &, quint16) { return false; }
bool ZEM_A_E_MailDelivery::writeEnvelopeTo(const QString &, const QString &) { return false; }
bool ZEM_A_E_MailDelivery::writeContent(const QByteArray &) { return false; }
