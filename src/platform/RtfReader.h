#pragma once

#include "platform/AttributedString.h"
#include "foundation/ZEM_Result.h"
#include "zem_appkit_export.h"

#include <QByteArray>

namespace platform {

/**
 * Reads rich text (RTF) into an AttributedString.
 *
 * Understood: groups; the font table (\fonttbl with \f numbers and names) and \deff;
 * the colour table (\colortbl, \red \green \blue) with \cf; \f, \fs (half-points), \b,
 * \i, \ul/\ulnone, \plain; \par and \line (a "\n"), \tab; \'hh in code page 1252;
 * \uN with its \ucN fallback characters skipped; \binN; the escapes \{ \} \\ \~ \_ \-;
 * typographic symbols (\emdash, \bullet, \lquote, ...). Destinations marked \* and those
 * that hold no text (\stylesheet, \info, \pict, headers, footers, ...) are skipped.
 * Document attributes (paper size, margins, view settings) are read and dropped.
 *
 * Data that does not begin with "{\rtf", whose groups do not close, or whose groups nest
 * deeper than maxDepth() gives a ParseFailed error; nothing of it is returned.
 */
class ZEM_APPKIT_EXPORT RtfReader
{
public:
    static ZEM_Result<AttributedString> read(const QByteArray &rtf);

    /** True when \a data begins (after white space) with "{\rtf". */
    static bool looksLikeRtf(const QByteArray &data);

    /** The deepest group nesting accepted. */
    static constexpr int maxDepth() { return 256; }
};

} // namespace platform
