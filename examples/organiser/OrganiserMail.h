#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

/** A message to send, as asked for on the command line. */
struct MailRequest
{
    QString to;
    QString from;
    QString subject;
    QString server; // empty: the accounts of the mail settings, then the recipient's exchangers
    quint16 port = 25;
    QStringList attachments; // file paths
};

/**
 * Composes a short message with the open to-dos of the sample calendars as its text and the
 * requested files attached, delivers it directly over SMTP on a worker thread, and says
 * whether it was delivered. False when a file cannot be read or delivery failed.
 */
bool sendMail(QTextStream &out, const MailRequest &request);
