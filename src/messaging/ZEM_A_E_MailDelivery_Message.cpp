// Composing: charsets, header lines, the MIME layout and base64.
#include "ZEM_A_E_MailDelivery.h"

#include "detail/MailBoundary.h"
#include "detail/MailCharsets.h"
#include "foundation/ZEM_F_E_EmailAddress.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QUuid>

#include <cstdlib>
#include <mutex>
#include <utility>

using namespace messaging::detail;

namespace {

constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr int kAttachmentLineLength = 76;

// Groups of three bytes per line; a positive length under 4 still gets one group a line.
qsizetype groupsPerLine(int lineLength)
{
    if (lineLength <= 0)
        return 0;
    return lineLength < 4 ? 1 : lineLength / 4;
}

qsizetype base64Size(qsizetype bytes, int lineLength)
{
    const qsizetype groups = (bytes + 2) / 3;
    const qsizetype perLine = groupsPerLine(lineLength);
    return groups * 4 + (perLine > 0 ? groups / perLine * 2 : 0);
}

// Appends in place so that a large attachment is written once, straight into the message.
void appendBase64(QByteArray &out, const QByteArray &data, int lineLength)
{
    const qsizetype start = out.size();
    out.resize(start + base64Size(data.size(), lineLength));
    char *o = out.data() + start;
    const auto *in = reinterpret_cast<const unsigned char *>(data.constData());
    const qsizetype fullGroups = data.size() / 3;
    const qsizetype perLine = groupsPerLine(lineLength);
    qsizetype groupInLine = 0;
    for (qsizetype g = 0; g < fullGroups; ++g, in += 3) {
        const unsigned v = unsigned(in[0]) << 16 | unsigned(in[1]) << 8 | in[2];
        o[0] = kBase64Alphabet[v >> 18];
        o[1] = kBase64Alphabet[(v >> 12) & 0x3F];
        o[2] = kBase64Alphabet[(v >> 6) & 0x3F];
        o[3] = kBase64Alphabet[v & 0x3F];
        o += 4;
        if (perLine > 0 && ++groupInLine == perLine) {
            o[0] = '\r';
            o[1] = '\n';
            o += 2;
            groupInLine = 0;
        }
    }
    if (const int rest = int(data.size() % 3); rest > 0) {
        base64ChunkFor3Characters(o, in, rest);
        o += 4;
        if (perLine > 0 && ++groupInLine == perLine) {
            o[0] = '\r';
            o[1] = '\n';
            o += 2;
        }
    }
    Q_ASSERT(o == out.data() + out.size());
}

// CR and LF may only stay as the CR LF of a folded line (followed by a space or a tab);
// any other becomes a space, so a value can neither start a header nor end the headers.
// NUL goes: servers and clients cut a header at it, each in its own way.
QString withoutLineBreaks(const QString &value, bool allowFolding)
{
    QString out = value;
    out.remove(QChar(0));
    for (qsizetype i = 0; i < out.size(); ++i) {
        const QChar c = out.at(i);
        if (c != u'\r' && c != u'\n')
            continue;
        if (allowFolding && c == u'\r' && i + 2 < out.size() && out.at(i + 1) == u'\n'
            && (out.at(i + 2) == u' ' || out.at(i + 2) == u'\t')) {
            i += 2;
            continue;
        }
        out[i] = u' ';
    }
    return out;
}

// Anything outside ASCII becomes "?", one per character.
void appendAscii(QByteArray &out, QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.unicode() < 0x80) {
            out.append(char(c.unicode()));
            continue;
        }
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        out.append('?');
    }
}

// "Sun, 6 Dec 2026 01:40:31 +0100": English names whatever the locale.
QString dateHeaderValue(const QDateTime &now)
{
    static constexpr const char *kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static constexpr const char *kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDate date = now.date();
    const QTime time = now.time();
    const int offsetMinutes = now.offsetFromUtc() / 60;
    const int absMinutes = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    return QString::asprintf("%s, %d %s %04d %02d:%02d:%02d %c%02d%02d",
                             kDays[date.dayOfWeek() - 1], date.day(), kMonths[date.month() - 1],
                             date.year(), time.hour(), time.minute(), time.second(),
                             offsetMinutes < 0 ? '-' : '+', absMinutes / 60, absMinutes % 60);
}

QString messageIdDomain(const QString &from)
{
    const QString sender = ZEM_F_E_EmailAddress::shared()->stripEmail(from);
    const qsizetype at = sender.lastIndexOf(u'@');
    return at < 0 ? sender : sender.mid(at + 1);
}

QString textPartType(int charset)
{
    return QStringLiteral("text/plain; charset=%1; format=flowed")
        .arg(QLatin1String(charsetMimeName(charset)));
}

// The file name inside a quoted parameter: a quote or backslash in it is escaped, so the
// name cannot end the parameter early.
QString quotedName(const ZEM_A_MailAttachment &attachment)
{
    QString name = attachment.filename();
    name.replace(u'\\', QLatin1String("\\\\")).replace(u'"', QLatin1String("\\\""));
    return name;
}

QString transferEncoding(int charset)
{
    return charset == UsAscii ? QStringLiteral("7bit") : QStringLiteral("8bit");
}

} // namespace

// --- Attachments ----------------------------------------------------------------------

ZEM_A_MailAttachment::ZEM_A_MailAttachment(QString filename, QByteArray contents)
    : m_filename(std::move(filename)), m_contents(std::move(contents))
{
}

ZEM_A_MailAttachment ZEM_A_MailAttachment::fromFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return {};
    }
    QByteArray contents = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return {};
    }
    if (error)
        error->clear();
    return ZEM_A_MailAttachment(QFileInfo(path).fileName(), std::move(contents));
}

// --- Charsets -------------------------------------------------------------------------

const QStringList &ZEM_A_E_MailDelivery::charsetNames()
{
    static const QStringList names = [] {
        QStringList list;
        for (int i = 0; i < CharsetCount; ++i)
            list.append(QLatin1String(charsetMimeName(i)));
        return list;
    }();
    return names;
}

int ZEM_A_E_MailDelivery::encodingForString(const QString &text)
{
    return firstCharsetHolding(text);
}

QString ZEM_A_E_MailDelivery::mimeNameForEncoding(int encoding)
{
    const char *name = charsetMimeName(encoding);
    return name ? QString::fromLatin1(name) : QString();
}

QByteArray ZEM_A_E_MailDelivery::bytesForString(const QString &text, int encoding)
{
    return encodeText(text, encoding).value_or(QByteArray());
}

// --- Header lines and text ------------------------------------------------------------

QByteArray ZEM_A_E_MailDelivery::header(const QString &name, const QString &value)
{
    QString safeValue = withoutLineBreaks(value, true);
    if (const int charset = encodingForString(safeValue); charset != UsAscii) {
        QByteArray word = "=?";
        word += charsetMimeName(charset);
        word += "?B?";
        appendBase64(word, bytesForString(safeValue, charset), 0);
        word += "?=";
        safeValue = QString::fromLatin1(word);
    }
    QByteArray line;
    line.reserve(name.size() + safeValue.size() + 4);
    appendAscii(line, withoutLineBreaks(name, false));
    line += ": ";
    appendAscii(line, safeValue);
    line += "\r\n";
    return line;
}

QByteArray ZEM_A_E_MailDelivery::replaceLFWithCRLFforMessage(const QByteArray &message)
{
    qsizetype bare = 0;
    for (qsizetype i = 0; i < message.size(); ++i) {
        if (message.at(i) == '\n' && (i == 0 || message.at(i - 1) != '\r'))
            ++bare;
    }
    if (bare == 0)
        return message;
    QByteArray out;
    out.reserve(message.size() + bare);
    for (qsizetype i = 0; i < message.size(); ++i) {
        const char c = message.at(i);
        if (c == '\n' && (i == 0 || message.at(i - 1) != '\r'))
            out.append('\r');
        out.append(c);
    }
    return out;
}

QByteArray ZEM_A_E_MailDelivery::encodeLeadingPeriods(const QByteArray &message)
{
    QByteArray out;
    out.reserve(message.size() + 16);
    for (qsizetype i = 0; i < message.size(); ++i) {
        const char c = message.at(i);
        if (c == '.' && (i == 0 || (i >= 2 && message.at(i - 1) == '\n' && message.at(i - 2) == '\r')))
            out.append('.');
        out.append(c);
    }
    return out;
}

// --- Base64 ---------------------------------------------------------------------------

QByteArray ZEM_A_E_MailDelivery::encodeBase64(const QByteArray &data, int lineLength)
{
    QByteArray out;
    appendBase64(out, data, lineLength);
    return out;
}

void base64ChunkFor3Characters(char *output, const unsigned char *input, int bytesLeft)
{
    if (bytesLeft <= 0)
        return;
    const unsigned b0 = input[0];
    const unsigned b1 = bytesLeft > 1 ? input[1] : 0;
    const unsigned b2 = bytesLeft > 2 ? input[2] : 0;
    output[0] = kBase64Alphabet[b0 >> 2];
    output[1] = kBase64Alphabet[((b0 & 0x03) << 4) | (b1 >> 4)];
    output[2] = bytesLeft > 1 ? kBase64Alphabet[((b1 & 0x0F) << 2) | (b2 >> 6)] : '=';
    output[3] = bytesLeft > 2 ? kBase64Alphabet[b2 & 0x3F] : '=';
}

// --- The message ----------------------------------------------------------------------

namespace {

// random() seeded once from the system's entropy, with a state of its own: unseeded, every
// process drew the same boundaries, and the host's own random() sequence is not ours to move.
long boundaryRandom()
{
    static std::mutex mutex;
    static random_data state{};
    static char table[64];
    static const bool seeded = [] {
        initstate_r(QRandomGenerator::system()->generate(), table, sizeof table, &state);
        return true;
    }();
    Q_UNUSED(seeded);
    std::lock_guard lock(mutex);
    int32_t value = 0;
    random_r(&state, &value);
    return value;
}

long (*boundarySource)() = nullptr;

} // namespace

namespace messaging::detail {

void setBoundarySource(long (*source)())
{
    boundarySource = source;
}

QByteArray nextPartBoundary()
{
    const auto draw = boundarySource ? boundarySource : boundaryRandom;
    const long first = draw();
    const long second = draw();
    return QByteArray("----_=_NextPart_")
           + QByteArray::number(qulonglong(second) & 0xFFFFFFFFu, 16).toUpper().rightJustified(8, '0') + '_'
           + QByteArray::number(qulonglong(first) & 0xFFFFFFFFu, 16).toUpper().rightJustified(8, '0');
}

} // namespace messaging::detail

QByteArray ZEM_A_E_MailDelivery::mailMessage(const QString &text, const QString &subject,
                                             const QString &to, const QString &from,
                                             const QList<ZEM_A_MailAttachment> &attachments)
{
    const int charset = encodingForString(text);
    const QByteArray body =
        encodeLeadingPeriods(replaceLFWithCRLFforMessage(bytesForString(text, charset)));
    const bool multipart = !attachments.isEmpty();

    QByteArray boundary;
    if (multipart) {
        // A boundary line inside the text would end its part there and start one of the
        // sender's choosing. Attachments are base64, which cannot hold one.
        do
            boundary = messaging::detail::nextPartBoundary();
        while (body.contains(boundary));
    }

    // One allocation for everything: attachments can be many megabytes.
    qsizetype size = 2048 + subject.size() * 4 + to.size() * 4 + from.size() * 4 + body.size();
    for (const ZEM_A_MailAttachment &attachment : attachments)
        size += 512 + attachment.filename().size() * 12
                + base64Size(attachment.regularFileContents().size(), kAttachmentLineLength);
    QByteArray message;
    message.reserve(size);

    message += header(QStringLiteral("Mime-Version"), QStringLiteral("1.0"));
    if (multipart) {
        message += header(QStringLiteral("Content-Type"),
                          QStringLiteral("multipart/mixed; boundary=\"%1\"")
                              .arg(QString::fromLatin1(boundary)));
    } else {
        message += header(QStringLiteral("Content-Transfer-Encoding"), transferEncoding(charset));
        message += header(QStringLiteral("Content-Type"), textPartType(charset));
    }
    message += header(QStringLiteral("Message-ID"),
                      QStringLiteral("<%1@%2>")
                          .arg(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(),
                               messageIdDomain(from)));
    message += header(QStringLiteral("Date"), dateHeaderValue(QDateTime::currentDateTime()));
    message += header(QStringLiteral("Subject"), subject);
    message += header(QStringLiteral("To"), to);
    message += header(QStringLiteral("From"), from);
    message += header(QStringLiteral("X-Mailer"),
                      QStringLiteral("Ferrowatch (v%1)").arg(QLatin1String(ZEM_APPKIT_VERSION)));
    message += "\r\n";

    if (multipart) {
        message += "\r\n--" + boundary + "\r\n";
        message += header(QStringLiteral("Content-Transfer-Encoding"), transferEncoding(charset));
        message += header(QStringLiteral("Content-Type"), textPartType(charset));
        message += "\r\n";
    }
    message += body;
    message += "\r\n";

    for (const ZEM_A_MailAttachment &attachment : attachments) {
        message += "\r\n--" + boundary + "\r\n";
        message += header(QStringLiteral("Content-Type"),
                          QStringLiteral("application/octet-stream;\r\n\tname=\"%1\"")
                              .arg(quotedName(attachment)));
        message += header(QStringLiteral("Content-Disposition"),
                          QStringLiteral("attachment;\r\n\tfilename=\"%1\"").arg(quotedName(attachment)));
        message += header(QStringLiteral("Content-Transfer-Encoding"), QStringLiteral("base64"));
        message += "\r\n";
        appendBase64(message, attachment.regularFileContents(), kAttachmentLineLength);
        message += "\r\n";
    }
    if (multipart)
        message += "\r\n--" + boundary + "--\r\n";
    return message;
}
