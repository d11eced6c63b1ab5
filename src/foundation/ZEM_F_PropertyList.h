#pragma once

#include "ZEM_F_StringTable.h"
#include "ZEM_Result.h"
#include "zem_foundation_export.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

/**
 * Reader and writer of XML property lists (version 1.0).
 *
 * Values map to Qt types: dict to QVariantMap, array to QVariantList, string to QString,
 * integer to qlonglong (qulonglong above its range), real to double, true/false to bool,
 * date to a QDateTime in UTC, data to QByteArray. Language files need their keys in file
 * order, which QVariantMap loses: readStringTable() keeps it.
 *
 * The reader forgives what cannot change the data (whitespace, comments, a missing
 * DOCTYPE or XML declaration, a bare value without the enclosing plist element) and
 * refuses everything that would: an unknown element, a dict key without a value or
 * repeated, a malformed integer, real, date or base64 block, text where none belongs.
 * Errors are ZEM_Error::ParseFailed with "line L, column C: ..." in the message.
 * Nesting is bounded by MaxDepth so hostile input cannot exhaust the stack.
 *
 * **Example**
 * \code
 * auto table = ZEM_F_PropertyList::readStringTableFile(path);
 * if (!table) qWarning() << table.error().message;
 * \endcode
 */
class ZEM_FOUNDATION_EXPORT ZEM_F_PropertyList
{
public:
    /** Deepest nesting of arrays and dicts the reader accepts. */
    static constexpr int MaxDepth = 512;

    static ZEM_Result<QVariant> read(const QByteArray &xml);
    static ZEM_Result<QVariant> readFile(const QString &path);

    /** A property list whose root is a dict of strings, keys in file order. */
    static ZEM_Result<ZEM_F_StringTable> readStringTable(const QByteArray &xml);
    static ZEM_Result<ZEM_F_StringTable> readStringTableFile(const QString &path);

    /**
     * The property list of \a value, UTF-8. QStringList and QVariantHash are written as
     * array and dict, QDate as a date at midnight UTC, other types through their text
     * form. Characters XML 1.0 cannot carry become U+FFFD: check canWrite() first when
     * that matters.
     */
    static QByteArray write(const QVariant &value);
    static QByteArray writeStringTable(const ZEM_F_StringTable &table);

    /** True when write() gives back exactly \a value on reading (NaN aside). */
    static bool canWrite(const QVariant &value);

    /** Writes atomically: the old file stays whole until the new one is complete. */
    static ZEM_Result<void> writeFile(const QString &path, const QVariant &value);
    static ZEM_Result<void> writeStringTableFile(const QString &path,
                                                 const ZEM_F_StringTable &table);
};
