// One file for the composed message, read back by one independent reader: its layout,
// charsets, headers, text and attachments share that reader and the samples.
#include "TestFiles.h"
#include "ZemTestEnv.h"

#include "messaging/ZEM_A_E_MailDelivery.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <ctime>

using Mail = ZEM_A_E_MailDelivery;

namespace {

const QString kChecker = QStringLiteral(ZEM_SOURCE_DIR "/tests/messaging/check_message.py");

struct CharsetSample
{
    const char *tag;
    QString text;
    int index;
};

// For every charset of the table a text that fits it and none before it, plus texts that
// land somewhere surprising because an earlier charset already holds them.
QList<CharsetSample> charsetSamples()
{
    return {
        {"ascii", QStringLiteral("Hello, world ~ tilde"), 0},
        {"german", QStringLiteral("Grüße aus Köln"), 1},
        {"polish", QStringLiteral("Zażółć gęślą jaźń"), 2},
        {"maltese", QStringLiteral("Il-ħobż ta' Malta"), 3},
        {"sami", QStringLiteral("Ŋŋ ĸ Ŧŧ Āā"), 4},
        {"cyrillic", QStringLiteral("Привет, мир"), 5},
        {"arabic", QStringLiteral("مرحبا بالعالم"), 6},
        {"greek", QStringLiteral("Καλημέρα κόσμε"), 7},
        {"hebrew", QStringLiteral("שלום עולם"), 8},
        {"turkish+danish", QStringLiteral("İstanbul ve København"), 9},
        {"sami+icelandic", QStringLiteral("Ŋ þ"), 10},
        {"thai", QStringLiteral("สวัสดีครับ"), 11},
        {"polish+latvian quotes", QStringLiteral("„Łódź“ ir Rīga"), 12},
        {"welsh", QStringLiteral("Ŵyn a ŷ"), 13},
        {"euro+umlauts+oe", QStringLiteral("Grüße, 5 € cœur"), 14},
        // Only what ISO-8859-5 lacks reaches KOI8-R: its maths and box-drawing signs.
        {"cyrillic with ≤ and box line", QStringLiteral("Цена ≤ 100 ─ ok"), 15},
        {"chinese", QStringLiteral("中文邮件 a~b"), 16},
        {"japanese kanji", QStringLiteral("駅で働く"), 17},
        {"emoji and hangul", QStringLiteral("Hi 😀 한국어"), 18},
        // Surprises: ISO-8859-7 has the euro sign, GB2312 has all of kana, ISO-8859-3
        // all of Turkish.
        {"euro alone", QStringLiteral("5 €"), 7},
        {"kana", QStringLiteral("かな カナ"), 16},
        {"turkish", QStringLiteral("Günaydın İstanbul, ğ ş"), 3},
    };
}

const QStringList kTableNames =
    u"US-ASCII ISO-8859-1 ISO-8859-2 ISO-8859-3 ISO-8859-4 ISO-8859-5 ISO-8859-6 ISO-8859-7 "
    "ISO-8859-8 ISO-8859-9 ISO-8859-10 ISO-8859-11 ISO-8859-13 ISO-8859-14 ISO-8859-15 KOI8-R "
    "HZ-GB-2312 ISO-2022-JP UTF-8"_qs.split(u' ');

// Runs the independent reader over \a messages in one interpreter start.
void readWithPython(const QList<QByteArray> &messages, QJsonArray *facts)
{
    QTemporaryDir dir;
    QStringList arguments{kChecker};
    for (qsizetype i = 0; i < messages.size(); ++i) {
        arguments << dir.filePath(QStringLiteral("m%1.eml").arg(i));
        QVERIFY(zemtest::writeFile(arguments.last(), messages.at(i)));
    }
    QProcess python; // its destructor kills it if we leave early
    python.start(QStringLiteral("/usr/bin/python3"), arguments);
    QVERIFY2(python.waitForFinished(60000), "the message checker did not finish");
    QCOMPARE(python.exitCode(), 0);
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(python.readAllStandardOutput(), &error);
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
    *facts = doc.array();
    QCOMPARE(facts->size(), messages.size());
    for (const QJsonValue &one : std::as_const(*facts))
        QVERIFY2(!one.toObject().contains(QStringLiteral("error")),
                 qPrintable(one.toObject().value(QStringLiteral("error")).toString()));
}

// The values of the header \a name in \a facts' list \a field: as sent, or decoded.
QStringList headerValues(const QJsonObject &facts, const QString &name,
                         const QString &field = QStringLiteral("headers"))
{
    QStringList values;
    for (const QJsonValue &pair : facts.value(field).toArray()) {
        if (pair.toArray().at(0).toString().compare(name, Qt::CaseInsensitive) == 0)
            values << pair.toArray().at(1).toString();
    }
    return values;
}

QStringList strings(const QJsonValue &array)
{
    QStringList list;
    for (const QJsonValue &v : array.toArray())
        list << v.toString();
    return list;
}

QJsonObject part(const QJsonObject &facts, int index)
{
    return facts.value(QStringLiteral("parts")).toArray().at(index).toObject();
}

// The header block and the rest of a composed message.
QByteArray bodyOf(const QByteArray &message)
{
    const qsizetype end = message.indexOf("\r\n\r\n");
    return end < 0 ? QByteArray() : message.mid(end + 4);
}

QByteArray headerLine(const QByteArray &message, const QByteArray &name)
{
    const QByteArray block = message.left(message.indexOf("\r\n\r\n") + 2);
    for (const QByteArray &line : block.split('\n')) {
        if (line.startsWith(name + ": "))
            return line.mid(name.size() + 2).chopped(1);
    }
    return {};
}

QByteArray sha256(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
}

QByteArray randomBytes(qsizetype size)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator generator(20240601);
    for (qsizetype i = 0; i < size; ++i)
        data[i] = char(generator.bounded(256));
    return data;
}

// The top header block in the order it is written; @ID@, @DATE@ and @VERSION@ stand for
// the varying values.
QByteArray topHeaders(const QByteArray &content, const QByteArray &subject, const QByteArray &from)
{
    return "Mime-Version: 1.0\r\n" + content
           + "Message-ID: <@ID@@x.org>\r\nDate: @DATE@\r\nSubject: " + subject
           + "\r\nTo: ann@example.org\r\nFrom: " + from
           + "\r\nX-Mailer: Ferrowatch (v@VERSION@)\r\n\r\n";
}

const QRegularExpression kDateFormat(QStringLiteral(
    R"(^(Mon|Tue|Wed|Thu|Fri|Sat|Sun), ([1-9]|[12][0-9]|3[01]) )"
    R"((Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [0-9]{4} )"
    R"([0-2][0-9]:[0-5][0-9]:[0-6][0-9] [+-][0-9]{4}$)"));

} // namespace

class tst_MailMessage : public QObject
{
    Q_OBJECT

private slots:
    // --- Layout ---
    void layout_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QList<ZEM_A_MailAttachment>>("attachments");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("ascii, no attachments")
            << QStringLiteral("Hello\nWorld") << QStringLiteral("Status")
            << QStringLiteral("John <john@x.org>") << QList<ZEM_A_MailAttachment>{}
            << topHeaders("Content-Transfer-Encoding: 7bit\r\n"
                          "Content-Type: text/plain; charset=US-ASCII; format=flowed\r\n",
                          "Status", "John <john@x.org>")
                   + "Hello\r\nWorld\r\n";
        QTest::newRow("latin-1, no attachments")
            << QStringLiteral("Grüße\n.Punkt\n") << QStringLiteral("Straße")
            << QStringLiteral("john@x.org") << QList<ZEM_A_MailAttachment>{}
            << topHeaders("Content-Transfer-Encoding: 8bit\r\n"
                          "Content-Type: text/plain; charset=ISO-8859-1; format=flowed\r\n",
                          "=?ISO-8859-1?B?" + QByteArray("Stra\xdf" "e").toBase64() + "?=", "john@x.org")
                   + "Gr\xfc\xdf" "e\r\n..Punkt\r\n\r\n";

        const QByteArray fiftySeven = randomBytes(57);
        const auto attachment = [](const QByteArray &name, const QByteArray &base64) {
            return "\r\n--@B@\r\nContent-Type: application/octet-stream;\r\n\tname=\"" + name
                   + "\"\r\nContent-Disposition: attachment;\r\n\tfilename=\"" + name
                   + "\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + base64 + "\r\n";
        };
        QTest::newRow("two attachments")
            << QStringLiteral("Hi") << QStringLiteral("Files") << QStringLiteral("john@x.org")
            << QList<ZEM_A_MailAttachment>{ZEM_A_MailAttachment(QStringLiteral("a.txt"), "abcd"),
                                           ZEM_A_MailAttachment(QStringLiteral("b.bin"), fiftySeven)}
            << topHeaders("Content-Type: multipart/mixed; boundary=\"@B@\"\r\n", "Files", "john@x.org")
                   + "\r\n--@B@\r\n"
                     "Content-Transfer-Encoding: 7bit\r\n"
                     "Content-Type: text/plain; charset=US-ASCII; format=flowed\r\n"
                     "\r\n"
                     "Hi\r\n"
                   + attachment("a.txt", "YWJjZA==") + attachment("b.bin", fiftySeven.toBase64())
                   + "\r\n\r\n--@B@--\r\n";
    }

    void layout()
    {
        QFETCH(QString, text);
        QFETCH(QString, subject);
        QFETCH(QString, from);
        QFETCH(QList<ZEM_A_MailAttachment>, attachments);
        QFETCH(QByteArray, expected);

        const QByteArray message =
            Mail::mailMessage(text, subject, QStringLiteral("ann@example.org"), from, attachments);

        // The varying fields are found, checked for their form, and put into the expectation.
        const QByteArray id = headerLine(message, "Message-ID");
        const QRegularExpressionMatch idMatch =
            QRegularExpression(QStringLiteral("^<([0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-"
                                              "[0-9A-F]{12})@x\\.org>$"))
                .match(QString::fromLatin1(id));
        QVERIFY2(idMatch.hasMatch(), id.constData());
        const QByteArray date = headerLine(message, "Date");
        QVERIFY2(kDateFormat.match(QString::fromLatin1(date)).hasMatch(), date.constData());
        const QRegularExpressionMatch version =
            QRegularExpression(QStringLiteral("^Ferrowatch \\(v([0-9]+\\.[0-9]+\\.[0-9]+)\\)$"))
                .match(QString::fromLatin1(headerLine(message, "X-Mailer")));
        QVERIFY(version.hasMatch());

        expected.replace("@ID@", idMatch.captured(1).toLatin1())
            .replace("@DATE@", date)
            .replace("@VERSION@", version.captured(1).toLatin1());
        if (!attachments.isEmpty()) {
            const QRegularExpressionMatch boundary =
                QRegularExpression(QStringLiteral("boundary=\"(----_=_NextPart_[0-9A-F]{8}_[0-9A-F]{8})\""))
                    .match(QString::fromLatin1(headerLine(message, "Content-Type")));
            QVERIFY(boundary.hasMatch());
            expected.replace("@B@", boundary.captured(1).toLatin1());
        } else {
            QVERIFY(!message.contains("NextPart"));
        }

        QCOMPARE(message.split('\n'), expected.split('\n')); // line by line, to show where

    }

    void messageIdDomain_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("domain");
        QTest::newRow("name and address") << QStringLiteral("John Doe <john@x.org>") << QStringLiteral("x.org");
        QTest::newRow("bare address") << QStringLiteral("john@mail.example.net") << QStringLiteral("mail.example.net");
        QTest::newRow("address with comment") << QStringLiteral("john@y.org (John)") << QStringLiteral("y.org");
        QTest::newRow("last @ counts") << QStringLiteral("\"a@b\"@z.org") << QStringLiteral("z.org");
        QTest::newRow("no @") << QStringLiteral("localuser") << QStringLiteral("localuser");
        QTest::newRow("empty") << QString() << QString();
    }

    void messageIdDomain()
    {
        QFETCH(QString, from);
        QFETCH(QString, domain);
        const QByteArray message = Mail::mailMessage(u"x"_qs, u"s"_qs, u"a@b.org"_qs, from);
        const QByteArray id = headerLine(message, "Message-ID");
        QVERIFY2(id.startsWith('<') && id.endsWith('>'), id.constData());
        QCOMPARE(QString::fromLatin1(id.mid(38, id.size() - 39)), domain);
        QCOMPARE(id.at(37), '@');
        // A fresh identifier for every message.
        QVERIFY(headerLine(Mail::mailMessage(u"x"_qs, u"s"_qs, u"a@b.org"_qs, from), "Message-ID") != id);
    }

    void dateIsEnglishLocalTime_data()
    {
        QTest::addColumn<QByteArray>("timeZone");
        QTest::newRow("Berlin") << QByteArray("Europe/Berlin");
        QTest::newRow("half-hour west") << QByteArray("America/St_Johns");
        QTest::newRow("UTC") << QByteArray("UTC");
    }

    void dateIsEnglishLocalTime()
    {
        QFETCH(QByteArray, timeZone);
        const QByteArray previousZone = qgetenv("TZ");
        const QLocale previousLocale;
        qputenv("TZ", timeZone);
        tzset();
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const auto restore = qScopeGuard([&] {
            qputenv("TZ", previousZone);
            tzset();
            QLocale::setDefault(previousLocale);
        });

        const QDateTime before = QDateTime::currentDateTime();
        const QByteArray message = Mail::mailMessage(u"x"_qs, u"s"_qs, u"a@b.org"_qs, u"c@d.org"_qs);
        const QDateTime after = QDateTime::currentDateTime();
        const QString date = QString::fromLatin1(headerLine(message, "Date"));
        QVERIFY2(kDateFormat.match(date).hasMatch(), qPrintable(date));

        const QDateTime parsed = QDateTime::fromString(date, Qt::RFC2822Date);
        QVERIFY(parsed.isValid());
        QVERIFY(parsed.toSecsSinceEpoch() >= before.toSecsSinceEpoch());
        QVERIFY(parsed.toSecsSinceEpoch() <= after.toSecsSinceEpoch());
        QCOMPARE(parsed.offsetFromUtc(), after.offsetFromUtc());
        if (timeZone == "America/St_Johns")
            QVERIFY2(date.endsWith(QLatin1String("30")) && date.contains(QLatin1String(" -0")), qPrintable(date));
        if (timeZone == "UTC")
            QVERIFY(date.endsWith(QLatin1String(" +0000")));
    }

    // --- Charsets ---
    void charsetTable()
    {
        QCOMPARE(Mail::charsetNames(), kTableNames);
        for (int i = 0; i < kTableNames.size(); ++i)
            QCOMPARE(Mail::mimeNameForEncoding(i), kTableNames.at(i));
        QVERIFY(Mail::mimeNameForEncoding(-1).isEmpty());
        QVERIFY(Mail::mimeNameForEncoding(19).isEmpty());
        QVERIFY(Mail::bytesForString(QStringLiteral("x"), -1).isEmpty());
        QVERIFY(Mail::bytesForString(QStringLiteral("x"), 19).isEmpty());
    }

    void charsetChoice_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("index");
        for (const CharsetSample &sample : charsetSamples())
            QTest::newRow(sample.tag) << sample.text << sample.index;
        QTest::newRow("empty") << QString() << 0;
        QTest::newRow("lone surrogate") << (QStringLiteral("Gr") + QChar(0xD800) + QStringLiteral("ü")) << 18;
    }

    void charsetChoice()
    {
        QFETCH(QString, text);
        QFETCH(int, index);
        QCOMPARE(Mail::encodingForString(text), index);
        // "First" means every charset before it cannot hold the text...
        for (int earlier = 0; earlier < index; ++earlier)
            QVERIFY2(Mail::bytesForString(text, earlier).isEmpty(), qPrintable(kTableNames.at(earlier)));
        // ...and the chosen one gives bytes (UTF-8 always does).
        QCOMPARE(Mail::bytesForString(text, index).isEmpty(), text.isEmpty());
    }

    void charsetBytes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("index");
        QTest::addColumn<QByteArray>("bytes");
        // Single-byte charsets and UTF-8 are read back by Python in charsetsReadBackByPython,
        // and charsetChoice sees each charset before the chosen one refuse the text.
        QTest::newRow("hz run and tilde") << u"中文 a~b"_qs << 16 << QByteArray("~{VPND~} a~~b");
        QTest::newRow("hz leaves before line ends") << u"中\n文\r\n"_qs << 16 << QByteArray("~{VP~}\n~{ND~}\r\n");
        QTest::newRow("hz ascii only") << u"a~~b"_qs << 16 << QByteArray("a~~~~b");
        QTest::newRow("hz ends in ascii mode") << u"x文"_qs << 16 << QByteArray("x~{ND~}");
        QTest::newRow("iso-2022-jp ends in ascii") << u"駅a"_qs << 17 << QByteArray("\x1b$B1X\x1b(Ba");
        QTest::newRow("iso-2022-jp shift reset at end") << u"a駅"_qs << 17 << QByteArray("a\x1b$B1X\x1b(B");
        QTest::newRow("emoji not in GB2312") << u"中😀"_qs << 16 << QByteArray();
    }

    void charsetBytes()
    {
        QFETCH(QString, text);
        QFETCH(int, index);
        QFETCH(QByteArray, bytes);
        QCOMPARE(Mail::bytesForString(text, index), bytes);
    }

    void charsetsReadBackByPython()
    {
        // Each sample as the text and the subject of one message; Python's codecs (all 19
        // charsets are known to it) must give back the very text.
        QList<QByteArray> messages;
        const QList<CharsetSample> samples = charsetSamples();
        for (const CharsetSample &sample : samples)
            messages << Mail::mailMessage(sample.text + u"\nline two"_qs, sample.text, u"a@b.org"_qs,
                                          u"c@d.org"_qs);
        QJsonArray facts;
        readWithPython(messages, &facts);
        if (QTest::currentTestFailed())
            return;
        for (qsizetype i = 0; i < samples.size(); ++i) {
            const QJsonObject one = facts.at(i).toObject();
            const QString tag = QString::fromLatin1(samples.at(i).tag);
            QVERIFY2(strings(one.value(QStringLiteral("problems"))).isEmpty(), qPrintable(tag));
            QVERIFY2(strings(one.value(QStringLiteral("defects"))).isEmpty(), qPrintable(tag));
            QCOMPARE(headerValues(one, QStringLiteral("Subject")), QStringList{samples.at(i).text});
            const QJsonObject text = part(one, 0);
            QCOMPARE(text.value(QStringLiteral("charset")).toString(),
                     kTableNames.at(samples.at(i).index).toLower());
            QCOMPARE(text.value(QStringLiteral("text")).toString(),
                     samples.at(i).text + QStringLiteral("\r\nline two\r\n"));
            QCOMPARE(headerValues(one, QStringLiteral("Content-Transfer-Encoding")),
                     QStringList{samples.at(i).index == 0 ? QStringLiteral("7bit") : QStringLiteral("8bit")});
        }
    }

    // --- Headers ---
    void header_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("line");

        // A Subject header and the line it becomes; an encoded word of a charset's bytes.
        const auto subject = [](const char *tag, const QString &value, const QByteArray &line) {
            QTest::newRow(tag) << QStringLiteral("Subject") << value << "Subject: " + line + "\r\n";
        };
        const auto encoded = [](const char *charset, const QByteArray &bytes) {
            return "=?" + QByteArray(charset) + "?B?" + bytes.toBase64() + "?=";
        };
        subject("ascii", u"Hello"_qs, "Hello");
        subject("empty value", QString(), "");
        subject("umlauts", u"Grüße aus Köln"_qs, encoded("ISO-8859-1", "Gr\xfc\xdf" "e aus K\xf6ln"));
        subject("cyrillic", u"Привет"_qs, encoded("ISO-8859-5", "\xbf\xe0\xd8\xd2\xd5\xe2"));
        subject("chinese", u"中文"_qs, encoded("HZ-GB-2312", "~{VPND~}"));
        subject("long value not split", QString(100, QChar(0xE9)),
                encoded("ISO-8859-1", QByteArray(100, '\xe9')));
        QTest::newRow("non-ascii name") << u"Sübject"_qs << u"x"_qs << QByteArray("S?bject: x\r\n");
        QTest::newRow("emoji in name is one ?") << u"X-😀"_qs << u"x"_qs << QByteArray("X-?: x\r\n");
        subject("folded line kept (space)", u"a\r\n b"_qs, "a\r\n b");
        subject("folded line kept (tab)", u"a\r\n\tb"_qs, "a\r\n\tb");
        subject("injected header", u"Hi\r\nBcc: evil@example.org"_qs, "Hi  Bcc: evil@example.org");
        subject("lone CR", u"Hi\rBcc: e@x.org"_qs, "Hi Bcc: e@x.org");
        subject("lone LF", u"Hi\nBcc: e@x.org"_qs, "Hi Bcc: e@x.org");
        subject("LF then space is no fold", u"Hi\n b"_qs, "Hi  b");
        subject("end of headers", u"Hi\r\n\r\nbody"_qs, "Hi    body");
        subject("trailing CRLF", u"Hi\r\n"_qs, "Hi  ");
        subject("blank line before fold", u"a\r\n\r\n b"_qs, "a  \r\n b");
        QTest::newRow("line break in the name") << u"X\r\n Bcc"_qs << u"v"_qs << QByteArray("X   Bcc: v\r\n");
        subject("injection with umlauts is encoded after", u"Grüße\r\nBcc: e@x.org"_qs,
                encoded("ISO-8859-1", "Gr\xfc\xdf" "e  Bcc: e@x.org"));
    }

    void header()
    {
        QFETCH(QString, name);
        QFETCH(QString, value);
        QFETCH(QByteArray, line);
        const QByteArray got = Mail::header(name, value);
        QCOMPARE(got, line);
        // Whatever the value, one header: every inner CR LF continues the line.
        QVERIFY(got.endsWith("\r\n"));
        for (qsizetype i = got.indexOf("\r\n"); i >= 0 && i < got.size() - 2; i = got.indexOf("\r\n", i + 2))
            QVERIFY(got.at(i + 2) == ' ' || got.at(i + 2) == '\t');
        QCOMPARE(got.count('\n'), got.count("\r\n"));
        for (const char c : got)
            QVERIFY(static_cast<unsigned char>(c) < 0x80);
    }

    void injectionSeenByPython()
    {
        const QStringList attempts = {QStringLiteral("Hi\r\nBcc: evil@example.org"),
                                      QStringLiteral("Hi\rBcc: evil@example.org"),
                                      QStringLiteral("Hi\nBcc: evil@example.org"),
                                      QStringLiteral("Hi\r\n\r\nBcc: evil@example.org"),
                                      QStringLiteral("Grüße\nBcc: evil@example.org")};
        QList<QByteArray> messages;
        for (const QString &attempt : attempts) {
            messages << Mail::mailMessage(u"Body"_qs, attempt, u"a@b.org"_qs, u"c@d.org"_qs);
            messages << Mail::mailMessage(u"Body"_qs, u"s"_qs, u"a@b.org"_qs, u"c@d.org"_qs + attempt,
                                          {ZEM_A_MailAttachment(u"f.txt"_qs, "1")});
        }
        QJsonArray facts;
        readWithPython(messages, &facts);
        if (QTest::currentTestFailed())
            return;
        for (qsizetype i = 0; i < facts.size(); ++i) {
            const QJsonObject one = facts.at(i).toObject();
            QVERIFY2(strings(one.value(QStringLiteral("problems"))).isEmpty(), qPrintable(QString::number(i)));
            QVERIFY(headerValues(one, QStringLiteral("Bcc")).isEmpty());
            QCOMPARE(headerValues(one, QStringLiteral("Subject")).size(), 1);
            QCOMPARE(headerValues(one, QStringLiteral("From")).size(), 1);
            QCOMPARE(one.value(QStringLiteral("headers")).toArray().size(), i % 2 == 0 ? 9 : 8);
            QCOMPARE(part(one, 0).value(QStringLiteral("text")).toString(), QStringLiteral("Body\r\n"));
            // The attempt stays inside its own header line, as sent.
            const QString field = i % 2 == 0 ? QStringLiteral("Subject: ") : QStringLiteral("From: ");
            const QStringList carriers = strings(one.value(QStringLiteral("raw_header_lines")))
                                             .filter(QRegularExpression(QLatin1Char('^') + field));
            QCOMPARE(carriers.size(), 1);
            const QString decoded = i % 2 == 0 ? headerValues(one, QStringLiteral("Subject")).value(0) : carriers.at(0);
            QVERIFY2(decoded.contains(QLatin1String("Bcc: evil@example.org"))
                         || carriers.at(0).contains(QLatin1String("=?ISO-8859-1?B?")),
                     qPrintable(decoded));
        }
    }

    // --- Text ---
    // Line ends become CR LF; a period that starts a CR LF line is doubled.
    void lineEndsAndPeriods_data()
    {
        QTest::addColumn<bool>("periods"); // encodeLeadingPeriods, else the line ends
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<QByteArray>("out");
        QTest::newRow("empty") << false << QByteArray() << QByteArray();
        QTest::newRow("bare LF") << false << QByteArray("a\nb") << QByteArray("a\r\nb");
        QTest::newRow("leading and doubled LF") << false << QByteArray("\n\nx\n") << QByteArray("\r\n\r\nx\r\n");
        QTest::newRow("CRLF kept") << false << QByteArray("a\r\nb\r\n") << QByteArray("a\r\nb\r\n");
        QTest::newRow("lone CR kept") << false << QByteArray("a\rb\r") << QByteArray("a\rb\r");
        QTest::newRow("CR CR LF LF") << false << QByteArray("\r\r\n\n") << QByteArray("\r\r\n\r\n");
        QTest::newRow("LF CR") << false << QByteArray("a\n\rb") << QByteArray("a\r\n\rb");
        QTest::newRow("period at the start") << true << QByteArray(".a") << QByteArray("..a");
        QTest::newRow("period alone") << true << QByteArray(".") << QByteArray("..");
        QTest::newRow("period after CRLF") << true << QByteArray("a\r\n.b\r\n.") << QByteArray("a\r\n..b\r\n..");
        QTest::newRow("only the first of several") << true << QByteArray("..\r\n...") << QByteArray("...\r\n....");
        QTest::newRow("period not after lone CR") << true << QByteArray("a\r.b") << QByteArray("a\r.b");
        QTest::newRow("period not after bare LF") << true << QByteArray("a\n.b") << QByteArray("a\n.b");
        QTest::newRow("period not inside a line") << true << QByteArray("a.b.\r\nc.") << QByteArray("a.b.\r\nc.");
        QTest::newRow("periods: empty") << true << QByteArray() << QByteArray();
    }

    void lineEndsAndPeriods()
    {
        QFETCH(bool, periods);
        QFETCH(QByteArray, in);
        QFETCH(QByteArray, out);
        const QByteArray got =
            periods ? Mail::encodeLeadingPeriods(in) : Mail::replaceLFWithCRLFforMessage(in);
        QCOMPARE(got, out);
    }

    void textInMessage_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("multipart");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("period line") << QStringLiteral("a\n.\nb") << false << QByteArray("a\r\n..\r\nb\r\n");
        QTest::newRow("period first") << QStringLiteral(".hidden") << false << QByteArray("..hidden\r\n");
        QTest::newRow("period after bare LF is doubled once repaired") << QStringLiteral("x\n.y") << false << QByteArray("x\r\n..y\r\n");
        QTest::newRow("lone CR kept, period after it not doubled") << QStringLiteral("x\r.y") << false << QByteArray("x\r.y\r\n");
        QTest::newRow("final LF") << QStringLiteral("a\n") << false << QByteArray("a\r\n\r\n");
        QTest::newRow("empty") << QString() << false << QByteArray("\r\n");
        QTest::newRow("no final LF before boundary") << QStringLiteral("end") << true << QByteArray("end\r\n\r\n--");
        QTest::newRow("period and latin-1 before boundary") << QStringLiteral(".ü") << true << QByteArray("..\xfc\r\n\r\n--");
        QTest::newRow("long line not re-wrapped") << QString(1200, u'x') << false << QByteArray(1200, 'x') + "\r\n";
    }

    void textInMessage()
    {
        QFETCH(QString, text);
        QFETCH(bool, multipart);
        QFETCH(QByteArray, body);
        QList<ZEM_A_MailAttachment> attachments;
        if (multipart)
            attachments << ZEM_A_MailAttachment(QStringLiteral("f"), "z");
        const QByteArray message = Mail::mailMessage(text, QStringLiteral("s"), QStringLiteral("a@b.org"),
                                                     QStringLiteral("c@d.org"), attachments);
        if (!multipart) {
            QCOMPARE(bodyOf(message), body);
            return;
        }
        // The text part's body starts after its own headers.
        const QByteArray afterTopHeaders = bodyOf(message);
        const QByteArray textPart = bodyOf(afterTopHeaders.mid(afterTopHeaders.indexOf("\r\n", 2) + 2));
        QVERIFY2(textPart.startsWith(body), textPart.left(40).constData());
    }

    // --- Base64 and attachments ---
    void base64AgreesWithQt()
    {
        const QByteArray data = randomBytes(300);
        for (qsizetype n = 0; n <= data.size(); ++n) {
            const QByteArray input = data.left(n);
            const QByteArray reference = input.toBase64();
            for (const int lineLength : {0, 76, 30, 4, 2}) {
                QByteArray got = Mail::encodeBase64(input, lineLength);
                QVERIFY(lineLength != 0 || !got.contains('\r'));
                got.replace("\r\n", "");
                if (got != reference)
                    QFAIL(qPrintable(QStringLiteral("%1 bytes, line length %2").arg(n).arg(lineLength)));
            }
        }
    }

    void base64LineStructure_data()
    {
        QTest::addColumn<int>("bytes");
        QTest::addColumn<int>("lineLength");
        QTest::addColumn<QList<int>>("lines"); // lengths; -1 marks a final line without CR LF
        QTest::newRow("57 at 76: one line") << 57 << 76 << QList<int>{76};
        QTest::newRow("56 at 76: a short last group ends the line") << 56 << 76 << QList<int>{76};
        QTest::newRow("54 at 76: one short line") << 54 << 76 << QList<int>{-72};
        QTest::newRow("58 at 76") << 58 << 76 << QList<int>{76, -4};
        QTest::newRow("114 at 76: two lines") << 114 << 76 << QList<int>{76, 76};
        QTest::newRow("0 at 76: nothing") << 0 << 76 << QList<int>{};
        QTest::newRow("1 at 76") << 1 << 76 << QList<int>{-4};
        QTest::newRow("at 30: seven groups a line") << 45 << 30 << QList<int>{28, 28, -4};
        QTest::newRow("at 30: last group ends a line") << 42 << 30 << QList<int>{28, 28};
        QTest::newRow("at 0: one line") << 200 << 0 << QList<int>{-268};
        QTest::newRow("at 2: a group a line") << 5 << 2 << QList<int>{4, 4};
    }

    void base64LineStructure()
    {
        QFETCH(int, bytes);
        QFETCH(int, lineLength);
        QFETCH(QList<int>, lines);
        const QByteArray got = Mail::encodeBase64(randomBytes(bytes), lineLength);
        QByteArray expected;
        qsizetype at = 0;
        const QByteArray flat = QByteArray(got).replace("\r\n", "");
        for (const int length : lines) {
            expected += flat.mid(at, qAbs(length));
            at += qAbs(length);
            if (length > 0)
                expected += "\r\n";
        }
        QCOMPARE(at, flat.size());
        QCOMPARE(got, expected);
    }

    void base64Chunk_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("left");
        QTest::addColumn<QByteArray>("output");
        QTest::newRow("three") << QByteArray("Man") << 3 << QByteArray("TWFu");
        QTest::newRow("two") << QByteArray("Ma") << 2 << QByteArray("TWE=");
        QTest::newRow("one") << QByteArray("M") << 1 << QByteArray("TQ==");
        QTest::newRow("more than three") << QByteArray("Many") << 4 << QByteArray("TWFu");
        QTest::newRow("all bits") << QByteArray("\xff\xff\xff") << 3 << QByteArray("////");
        QTest::newRow("plus and slash") << QByteArray("\xfb\xef") << 2 << QByteArray("++8=");
        QTest::newRow("one high byte") << QByteArray("\xff") << 1 << QByteArray("/w==");
    }

    void base64Chunk()
    {
        QFETCH(QByteArray, input);
        QFETCH(int, left);
        QFETCH(QByteArray, output);
        char out[5] = "????";
        base64ChunkFor3Characters(out, reinterpret_cast<const unsigned char *>(input.constData()), left);
        QCOMPARE(QByteArray(out), output);
    }

    void attachmentsSeenByPython()
    {
        QTemporaryDir dir;
        struct File
        {
            QString name;
            QByteArray bytes;
        };
        const QList<File> files = {{QStringLiteral("empty.dat"), QByteArray()},
                                   {QStringLiteral("57.bin"), randomBytes(57)},
                                   {QStringLiteral("random.bin"), randomBytes(1 << 20)},
                                   {QStringLiteral("say \"hi\" \\o.txt"), QByteArray("hi")},
                                   {QStringLiteral("Grüße 😀.txt"), QByteArray("hello\n")}};
        QList<ZEM_A_MailAttachment> attachments;
        for (const File &file : files) {
            QVERIFY(zemtest::writeFile(dir.filePath(file.name), file.bytes));
            QString error;
            attachments << ZEM_A_MailAttachment::fromFile(dir.filePath(file.name), &error);
            QVERIFY2(error.isEmpty(), qPrintable(error));
        }
        // ASCII names in one message, the non-ASCII name alone: its headers are encoded words.
        const QList<QByteArray> messages = {
            Mail::mailMessage(u"Files attached.\n"_qs, u"Files"_qs, u"a@b.org"_qs, u"c@d.org"_qs,
                              attachments.mid(0, 4)),
            Mail::mailMessage(u"Grüße"_qs, u"Datei"_qs, u"a@b.org"_qs, u"c@d.org"_qs, attachments.mid(4))};
        QJsonArray facts;
        readWithPython(messages, &facts);
        if (QTest::currentTestFailed())
            return;

        const QJsonObject ascii = facts.at(0).toObject();
        QCOMPARE(strings(ascii.value(QStringLiteral("problems"))), QStringList());
        QCOMPARE(strings(ascii.value(QStringLiteral("defects"))), QStringList());
        QCOMPARE(ascii.value(QStringLiteral("attachment_count")).toInt(), 4);
        QCOMPARE(part(ascii, 0).value(QStringLiteral("text")).toString(), QStringLiteral("Files attached.\r\n\r\n"));
        QCOMPARE(part(ascii, 0).value(QStringLiteral("charset")).toString(), QStringLiteral("us-ascii"));
        // A quote or backslash in a name is escaped inside the quoted parameter.
        for (int i = 0; i < 4; ++i) {
            const QJsonObject attachment = part(ascii, i + 1);
            QCOMPARE(attachment.value(QStringLiteral("content_type")).toString(), QStringLiteral("application/octet-stream"));
            QCOMPARE(attachment.value(QStringLiteral("filename")).toString(), files.at(i).name);
            QCOMPARE(attachment.value(QStringLiteral("size")).toInt(), int(files.at(i).bytes.size()));
            QCOMPARE(attachment.value(QStringLiteral("sha256")).toString().toLatin1(), sha256(files.at(i).bytes));
        }

        const QJsonObject named = facts.at(1).toObject();
        QCOMPARE(strings(named.value(QStringLiteral("problems"))), QStringList());
        QCOMPARE(part(named, 0).value(QStringLiteral("text")).toString(), QStringLiteral("Grüße\r\n"));
        const QJsonObject attachment = part(named, 1);
        QCOMPARE(attachment.value(QStringLiteral("sha256")).toString().toLatin1(), sha256(files.at(4).bytes));
        const QString decoded = QStringLiteral("headers_decoded");
        QCOMPARE(headerValues(attachment, QStringLiteral("Content-Type"), decoded),
                 QStringList{QStringLiteral("application/octet-stream;\r\n\tname=\"Grüße 😀.txt\"")});
        QCOMPARE(headerValues(attachment, QStringLiteral("Content-Disposition"), decoded),
                 QStringList{QStringLiteral("attachment;\r\n\tfilename=\"Grüße 😀.txt\"")});
    }

    void attachmentFromFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("sub/report.pdf"));
        QVERIFY(zemtest::writeFile(path, QByteArray("%PDF\0binary", 11)));

        QString error = QStringLiteral("stale");
        const ZEM_A_MailAttachment good = ZEM_A_MailAttachment::fromFile(path, &error);
        QCOMPARE(good.filename(), QStringLiteral("report.pdf"));
        QCOMPARE(good.regularFileContents(), QByteArray("%PDF\0binary", 11));
        QVERIFY(error.isEmpty());

        for (const QString &bad : {dir.filePath(QStringLiteral("missing.txt")), dir.filePath(QStringLiteral("sub"))}) {
            error.clear();
            const ZEM_A_MailAttachment none = ZEM_A_MailAttachment::fromFile(bad, &error);
            QVERIFY2(none.filename().isEmpty(), qPrintable(bad));
            QVERIFY(none.regularFileContents().isEmpty());
            QVERIFY2(!error.isEmpty(), qPrintable(bad));
        }
    }
};

ZEM_TEST_MAIN(tst_MailMessage)
#include "tst_MailMessage.moc"
