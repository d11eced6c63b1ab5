// PLACEHOLDER: being written (composition). Replace wholly.
#include "ZEM_A_E_MailDelivery.h"
ZEM_A_MailAttachment::ZEM_A_MailAttachment(QString filename, QByteArray contents)
    : m_filename(std::move(filename)), m_contents(std::move(contents)) {}
ZEM_A_MailAttachment ZEM_A_MailAttachment::fromFile(const QString &, QString *) { return {}; }
QByteArray ZEM_A_E_MailDelivery::mailMessage(const QString &, const QString &, const QString &,
                                             const QString &, const QList<ZEM_A_MailAttachment> &) { return {}; }
QByteArray ZEM_A_E_MailDelivery::header(const QString &, const QString &) { return {}; }
QByteArray ZEM_A_E_MailDelivery::replaceLFWithCRLFforMessage(const QByteArray &m) { return m; }
QByteArray ZEM_A_E_MailDelivery::encodeLeadingPeriods(const QByteArray &m) { return m; }
int ZEM_A_E_MailDelivery::encodingForString(const QString &) { return 18; }
QString ZEM_A_E_MailDelivery::mimeNameForEncoding(int) { return {}; }
const QStringList &ZEM_A_E_MailDelivery::charsetNames() { static const QStringList l; return l; }
QByteArray ZEM_A_E_MailDelivery::bytesForString(const QString &, int) { return {}; }
QByteArray ZEM_A_E_MailDelivery::encodeBase64(const QByteArray &, int) { return {}; }
void base64ChunkFor3Characters(char *, const unsigned char *, int) {}
