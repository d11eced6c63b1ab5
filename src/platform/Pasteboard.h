#pragma once

#include "zem_appkit_export.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

class QMimeData;

/**
 * The pasteboard as the kit sees it: named types, each holding a property list (a text,
 * a list of texts or paths, a list of numbers, a map), carried by a QMimeData so that the
 * clipboard and drag and drop of Qt move it.
 *
 * The kit's type names travel as MIME formats other programs read where one fits: the
 * string type as "text/plain;charset=utf-8" (and "text/plain"), file names and the URL as
 * "text/uri-list", RTF as "text/rtf", HTML as "text/html", tabular text as
 * "text/tab-separated-values". Any other type travels as a format of the same name whose
 * bytes are the property list in JSON.
 *
 * Payloads that cannot be serialised (records) stay in this process: the QMimeData then
 * carries only a token naming this process and an entry of an in-process store. A token of
 * another process, an entry that is gone, and any malformed or oversized payload read as
 * absent. An entry lives as long as its QMimeData, and the store holds at most
 * kMaxLocalEntries entries (the oldest go first).
 *
 * **Example**
 * \code
 * auto *mime = new QMimeData;
 * platform::setPropertyList(mime, platform::kFilenamesType, QStringList{path});
 * platform::setLocalPropertyList(mime, u"TABLE_COPIED_ROWS_TYPE"_s, QVariant::fromValue(records));
 * const QStringList types = platform::pasteboardTypes(mime);
 * \endcode
 */
namespace platform {

inline const QString kStringType = QStringLiteral("NSStringPboardType");
inline const QString kFilenamesType = QStringLiteral("NSFilenamesPboardType");
inline const QString kUrlType = QStringLiteral("Apple URL pasteboard type");
inline const QString kRtfType = QStringLiteral("NSRTFPboardType");
inline const QString kRtfdType = QStringLiteral("NSRTFDPboardType");
inline const QString kTabularTextType = QStringLiteral("NSTabularTextPboardType");
inline const QString kHtmlType = QStringLiteral("NSHTMLPboardType");

/** Payloads larger than this (bytes) read as absent. */
constexpr qsizetype kMaxPasteboardPayload = 8 * 1024 * 1024;
/** The in-process store's bound. */
constexpr int kMaxLocalEntries = 64;

/** The MIME formats \a type is written as; the first is the one read first. */
ZEM_APPKIT_EXPORT QStringList mimeFormatsForType(const QString &type);

/** The kit's types \a mime offers, without repeats, in the order of its formats. */
ZEM_APPKIT_EXPORT QStringList pasteboardTypes(const QMimeData *mime);

/**
 * Writes \a propertyList as \a type. The string, RTF, HTML and tabular types take a text;
 * the file-name type takes a list of paths, the URL type a URL or its text; other types any
 * value JSON can hold. Answers false, writing nothing, for a value the type cannot take.
 */
ZEM_APPKIT_EXPORT bool setPropertyList(QMimeData *mime, const QString &type, const QVariant &propertyList);

/** The property list of \a type on \a mime, local or serialised; invalid when absent or unreadable. */
ZEM_APPKIT_EXPORT QVariant propertyList(const QMimeData *mime, const QString &type);

/**
 * Keeps \a value in this process under \a type of \a mime. A QList<QObject *> is held
 * weakly: records deleted meanwhile are left out when read. \a source, also held weakly,
 * is what localSource() answers (the view a drag began in).
 */
ZEM_APPKIT_EXPORT void setLocalPropertyList(QMimeData *mime, const QString &type, const QVariant &value,
                                            QObject *source = nullptr);

/** The source given with \a type's local payload; null when absent, gone or of another process. */
ZEM_APPKIT_EXPORT QObject *localSource(const QMimeData *mime, const QString &type);

/** The number of entries the in-process store holds now. */
ZEM_APPKIT_EXPORT int localEntryCount();

} // namespace platform
