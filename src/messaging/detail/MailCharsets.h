#pragma once
// The charsets composed mail is written in, tried in order, and strict conversion into them.

#include <QByteArray>
#include <QString>

#include <optional>

namespace messaging::detail {

inline constexpr int CharsetCount = 19;
inline constexpr int UsAscii = 0;
inline constexpr int HzGb2312 = 16;
inline constexpr int Utf8 = 18;

/** The MIME name of charset \a index, nullptr when out of range. */
const char *charsetMimeName(int index);

/**
 * \a text in charset \a index, or nothing when the charset cannot hold all of it: the
 * conversion must succeed without substitutes and read back as the same text.
 */
std::optional<QByteArray> encodeText(const QString &text, int index);

/** The first charset that holds all of \a text; UTF-8 when none of the others does. */
int firstCharsetHolding(const QString &text);

} // namespace messaging::detail
