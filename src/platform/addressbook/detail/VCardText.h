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
/**
 * One content line as \a version writes it, ended by \a eol. "3.0" and "4.0" fold at 75
 * octets like writeVCard(); "2.1" writes TYPE values bare, base64 followed by an empty line,
 * and a value that holds a line break, non-ASCII or too much for one line as UTF-8
 * quoted-printable.
 */
QByteArray writeProperty(const VCardProperty &p, const QString &version, QByteArrayView eol);
/** Bytes read as Windows-1252, the superset of Latin-1 that files not in UTF-8 are written in. */
QString decodeWindows1252(QByteArrayView bytes);
/** Base64 with white space and line ends ignored; empty when it is broken. */
QByteArray decodeBase64Strict(QByteArrayView text);

} // namespace platform::detail::vcard
