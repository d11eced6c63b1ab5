// What a message's text or headers hold must never change the message's structure.
#include "messaging/ZEM_A_E_MailDelivery.h"
#include "messaging/detail/MailBoundary.h"

#include <QTest>

#include <cstdlib>

using Mail = ZEM_A_E_MailDelivery;

namespace {

QByteArray boundaryOf(const QByteArray &message)
{
    const qsizetype at = message.indexOf("boundary=\"");
    return at < 0 ? QByteArray() : message.mid(at + 10, message.indexOf('"', at + 10) - at - 10);
}

QByteArray withAttachment(const QString &text, const QString &subject = QStringLiteral("s"))
{
    return Mail::mailMessage(text, subject, QStringLiteral("ann@example.org"), QStringLiteral("bo@example.org"),
                             {ZEM_A_MailAttachment(QStringLiteral("a.bin"), QByteArray(300, '\x7f'))});
}

long drawn = 0;
long counting()
{
    return ++drawn;
}

} // namespace

class tst_MailBoundary : public QObject
{
    Q_OBJECT

private slots:
    // Unseeded, every process drew the C library's default sequence: anyone could write
    // the boundary into a text and inject a part.
    void boundaryIsNotTheUnseededOne()
    {
        ::srandom(1);
        const long first = ::random();
        const long second = ::random();
        const QByteArray predictable = QByteArray("----_=_NextPart_")
                                       + QByteArray::number(qulonglong(second), 16).toUpper().rightJustified(8, '0')
                                       + '_' + QByteArray::number(qulonglong(first), 16).toUpper().rightJustified(8, '0');
        ::srandom(1);
        const QByteArray boundary = boundaryOf(withAttachment(QStringLiteral("x")));
        QVERIFY(QRegularExpression(QStringLiteral("^----_=_NextPart_[0-9A-F]{8}_[0-9A-F]{8}$"))
                    .match(QString::fromLatin1(boundary)).hasMatch());
        QVERIFY(boundary != predictable);
        QVERIFY(boundaryOf(withAttachment(QStringLiteral("x"))) != boundary);
        // The host's own random() sequence is left as it was.
        QCOMPARE(::random(), first);
    }

    void aBoundaryInTheTextIsNotUsed()
    {
        messaging::detail::setBoundarySource(counting);
        const QByteArray message =
            withAttachment(QStringLiteral("Hi\n----_=_NextPart_00000002_00000001\nContent-Type: text/html\n"));
        messaging::detail::setBoundarySource(nullptr);
        // The second value drawn comes first in the text.
        QCOMPARE(boundaryOf(message), QByteArray("----_=_NextPart_00000004_00000003"));
        QCOMPARE(message.count("--" + boundaryOf(message) + "\r\n"), 2);
    }

    void headersCarryNoNul()
    {
        const QByteArray message = withAttachment(QStringLiteral("x"), QStringLiteral("one") + QChar(0) + QStringLiteral("two"));
        QVERIFY(!message.contains('\0'));
        QVERIFY(message.contains("Subject: onetwo\r\n"));
    }
};

QTEST_GUILESS_MAIN(tst_MailBoundary)
#include "tst_MailBoundary.moc"
