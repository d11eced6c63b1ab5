#include "MailCharsets.h"

#include <cerrno>
#include <iconv.h>

namespace messaging::detail {

namespace {

// HZ-GB-2312 is not known to iconv: its characters are taken from GB2312 (EUC-CN) and
// wrapped by hand.
constexpr const char *kMimeNames[CharsetCount] = {
    "US-ASCII",    "ISO-8859-1",  "ISO-8859-2",  "ISO-8859-3", "ISO-8859-4",
    "ISO-8859-5",  "ISO-8859-6",  "ISO-8859-7",  "ISO-8859-8", "ISO-8859-9",
    "ISO-8859-10", "ISO-8859-11", "ISO-8859-13", "ISO-8859-14", "ISO-8859-15",
    "KOI8-R",      "HZ-GB-2312",  "ISO-2022-JP", "UTF-8"};

const char *iconvName(int index)
{
    return index == HzGb2312 ? "GB2312" : kMimeNames[index];
}

class Iconv
{
public:
    Iconv(const char *to, const char *from) : m_cd(iconv_open(to, from)) {}
    ~Iconv()
    {
        if (valid())
            iconv_close(m_cd);
    }
    Iconv(const Iconv &) = delete;
    Iconv &operator=(const Iconv &) = delete;

    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Strict: any character the target lacks, or any invalid input, fails the whole text.
    // The shift state is flushed so that stateful charsets end in their initial mode.
    std::optional<QByteArray> convert(const QByteArray &input)
    {
        if (!valid())
            return std::nullopt;
        QByteArray out;
        out.resize(input.size() * 2 + 16);
        char *in = const_cast<char *>(input.constData());
        size_t inLeft = size_t(input.size());
        size_t done = 0;
        bool flushing = false;
        for (;;) {
            char *outPtr = out.data() + done;
            size_t outLeft = size_t(out.size()) - done;
            const size_t r = flushing ? iconv(m_cd, nullptr, nullptr, &outPtr, &outLeft)
                                      : iconv(m_cd, &in, &inLeft, &outPtr, &outLeft);
            done = size_t(outPtr - out.data());
            if (r == size_t(-1)) {
                if (errno != E2BIG)
                    return std::nullopt;
                out.resize(out.size() * 2);
                continue;
            }
            // A non-reversible conversion counts as a substitute.
            if (!flushing && r != 0)
                return std::nullopt;
            if (flushing)
                break;
            flushing = true;
        }
        out.truncate(qsizetype(done));
        return out;
    }

private:
    iconv_t m_cd;
};

bool isAscii(QStringView text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

// RFC 1843: GB characters (two bytes, high bits cleared) between "~{" and "~}", "~" itself
// as "~~", and ASCII mode again before every line end and at the end.
QByteArray hzFromEucCn(const QByteArray &euc)
{
    QByteArray out;
    out.reserve(euc.size() + euc.size() / 2 + 8);
    bool gb = false;
    for (qsizetype i = 0; i < euc.size(); ++i) {
        const auto b = static_cast<unsigned char>(euc.at(i));
        if (b >= 0x80 && i + 1 < euc.size()) {
            if (!gb) {
                out.append("~{", 2);
                gb = true;
            }
            out.append(char(b & 0x7F));
            out.append(char(static_cast<unsigned char>(euc.at(++i)) & 0x7F));
            continue;
        }
        if (gb) {
            out.append("~}", 2);
            gb = false;
        }
        if (b == '~')
            out.append('~');
        out.append(char(b));
    }
    if (gb)
        out.append("~}", 2);
    return out;
}

} // namespace

const char *charsetMimeName(int index)
{
    return index >= 0 && index < CharsetCount ? kMimeNames[index] : nullptr;
}

std::optional<QByteArray> encodeText(const QString &text, int index)
{
    if (index < 0 || index >= CharsetCount)
        return std::nullopt;
    if (index == Utf8)
        return text.toUtf8();
    if (isAscii(text)) {
        // Every charset of the table but ISO-2022-JP and HZ keeps ASCII as it is; in those
        // two only "~" (HZ) needs care, and ISO-2022-JP starts in ASCII.
        if (index == HzGb2312)
            return QByteArray(text.toLatin1()).replace("~", "~~");
        return text.toLatin1();
    }
    if (index == UsAscii || !text.isValidUtf16())
        return std::nullopt;

    const QByteArray utf8 = text.toUtf8();
    Iconv forth(iconvName(index), "UTF-8");
    std::optional<QByteArray> bytes = forth.convert(utf8);
    if (!bytes)
        return std::nullopt;
    // Some converters accept a character they cannot give back; reading back guards that.
    Iconv back("UTF-8", iconvName(index));
    const std::optional<QByteArray> again = back.convert(*bytes);
    if (!again || *again != utf8)
        return std::nullopt;
    if (index == HzGb2312)
        return hzFromEucCn(*bytes);
    return bytes;
}

int firstCharsetHolding(const QString &text)
{
    if (isAscii(text))
        return UsAscii;
    for (int i = UsAscii + 1; i < Utf8; ++i) {
        if (encodeText(text, i))
            return i;
    }
    return Utf8;
}

} // namespace messaging::detail
