#include "OrganiserMail.h"

#include <foundation/ZEM_F_E_EmailAddress.h>
#include <messaging/ZEM_A_E_MailDelivery.h>

#include <thread>

bool sendMail(QTextStream &out, const MailRequest &request)
{
    QList<ZEM_A_MailAttachment> attachments;
    for (const QString &path : request.attachments) {
        QString error;
        ZEM_A_MailAttachment file = ZEM_A_MailAttachment::fromFile(path, &error);
        if (file.filename().isEmpty()) {
            out << "Cannot attach " << path << ": " << error << '\n';
            return false;
        }
        out << "  attaching " << file.filename() << " (" << file.regularFileContents().size()
            << " bytes)\n";
        attachments << file;
    }

    QString from = request.from;
    if (from.isEmpty())
        from = ZEM_F_E_EmailAddress::shared()->getMailUserName();
    if (from.isEmpty())
        from = QStringLiteral("organiser@localhost");
    const QString subject = request.subject.isEmpty()
        ? QStringLiteral("From the organiser: %1 file(s)").arg(attachments.size())
        : request.subject;
    QStringList names;
    for (const ZEM_A_MailAttachment &file : std::as_const(attachments))
        names << file.filename();
    const QString text = QStringLiteral("Hello,\n\nthe organiser sends you %1 file(s): %2.\n")
                             .arg(attachments.size())
                             .arg(names.isEmpty() ? QStringLiteral("none")
                                                  : names.join(QStringLiteral(", ")));
    const QByteArray message =
        ZEM_A_E_MailDelivery::mailMessage(text, subject, request.to, from, attachments);

    const QString route = request.server.isEmpty()
        ? QStringLiteral("the configured accounts, then the exchangers of the recipient's domain")
        : QStringLiteral("%1 port %2").arg(request.server).arg(request.port);
    out << "  sending " << message.size() << " bytes from " << from << " to " << request.to
        << " through " << route << '\n';
    out.flush();

    // Delivery blocks on the network, so it runs on a worker thread with its own instance.
    bool delivered = false;
    QString why;
    std::thread worker([&] {
        ZEM_A_E_MailDelivery delivery;
        delivered = request.server.isEmpty()
            ? delivery.sendMailToFromPort(message, request.to, from, request.port)
            : delivery.sendMail(message, request.to, from, request.server, request.port);
        why = delivery.lastError().message;
    });
    worker.join();
    out << (delivered ? "Delivered to " : "NOT delivered to ") << request.to << '\n';
    if (!delivered)
        out << "  " << why << '\n';
    return delivered;
}
