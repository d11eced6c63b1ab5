#pragma once

#include "foundation/ZEM_F_B_Securitry.h"
#include "zem_appkit_export.h"

#include <QImage>
#include <QSize>
#include <QString>

/**
 * Images from the foundation image store, sized for the control that shows them.
 *
 * Resizing ignores the aspect ratio and smooths. A key the store does not know, or a size
 * with no area, gives a null image.
 */
class ZEM_APPKIT_EXPORT ZEM_A_E_Image : public ZEM_F_B_Securitry
{
    Q_OBJECT
public:
    static ZEM_A_E_Image *shared();

    /** A clear image of \a size (premultiplied ARGB32); null for a size with no area. */
    Q_INVOKABLE QImage emptyImage(const QSize &size) const;
    /** The stored image \a key at \a size. */
    Q_INVOKABLE QImage getImage(const QString &key, const QSize &size) const;
    /** A deep copy of the stored image \a key at \a size; it shares nothing with the store. */
    Q_INVOKABLE QImage getImageCopy(const QString &key, const QSize &size) const;
    /** A copy of \a image at 12 × 12, the size of a table cell's image; null for no image. */
    Q_INVOKABLE QImage getCellScaledImage(const QImage &image) const;

    /** \a image at \a size as described above; shared by the kit's image code. */
    static QImage resized(const QImage &image, const QSize &size);

    ~ZEM_A_E_Image() override;

private:
    explicit ZEM_A_E_Image(QObject *parent = nullptr);
};
