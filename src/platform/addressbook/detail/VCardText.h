#pragma once
// Not installed: the text rules of vCard values that the value type, the reader and the
// writer share.

#include "platform/addressbook/VCard.h"

#include <QByteArrayView>

namespace platform::detail::vcard {

inline bool isWhitespace(char c)
{
    return c == ' ' || c == '\t';
}

/** TYPE, PID and SORT-AS (and a 2.1 bare value) hold comma-separated lists. */
bool isListParameter(const QString &name);
/** ENCODING=b or BASE64 (a bare 2.1 BASE64 too). */
bool isBase64(const QList<VCardProperty::Parameter> &parameters);

/** Line breaks written as "\n"; anything else is kept as written. */
QString escapeLineBreaks(const QString &text);
QString unescapeText(QStringView raw);
QString escapeText(const QString &text);
/** Base64 with white space and line ends ignored; empty when it is broken. */
QByteArray decodeBase64Strict(QByteArrayView text);

} // namespace platform::detail::vcard
