#pragma once

#include "zem_appkit_export.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <memory>

namespace platform {

/**
 * A named conversion between a stored value and the value a record shows, as a data
 * model names it for a transformable attribute.
 *
 * Built in: "NSUnarchiveFromData", whose transformedValue() unarchives data written by
 * archive() (and whose reverse archives). The archive is the four bytes "ZEMA", one
 * version byte (1), then the value written by QDataStream (Qt 6.4 format, big-endian)
 * as a QVariant.
 *
 * **Example**
 * \code
 * const QByteArray data = platform::ValueTransformer::archive(QVariant(rtfBytes));
 * auto *t = platform::ValueTransformer::valueTransformerForName(u"NSUnarchiveFromData"_s);
 * QByteArray back = t->transformedValue(data).toByteArray();
 * \endcode
 */
class ZEM_APPKIT_EXPORT ValueTransformer
{
public:
    virtual ~ValueTransformer();

    /** The shown value for \a value; an invalid QVariant when it cannot be converted. */
    virtual QVariant transformedValue(const QVariant &value) const = 0;
    virtual bool allowsReverseTransformation() const { return false; }
    /** The stored value for \a value; invalid unless the transformer is reversible. */
    virtual QVariant reverseTransformedValue(const QVariant &value) const;

    /** The transformer registered as \a name, or null. */
    static ValueTransformer *valueTransformerForName(const QString &name);
    /** Registers \a transformer under \a name for the life of the process (replacing one). */
    static void setValueTransformer(const QString &name, std::unique_ptr<ValueTransformer> transformer);

    /** "NSUnarchiveFromData" */
    static QString unarchiveFromDataName();
    /** \a value in the archive form described above. */
    static QByteArray archive(const QVariant &value);
    /** The value archived in \a data; invalid when \a data is no such archive or is damaged. */
    static QVariant unarchive(const QByteArray &data);
};

} // namespace platform
