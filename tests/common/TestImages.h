#pragma once
// Images for tests: one colour all over, or opaque red on the left half only.

#include <QColor>
#include <QImage>
#include <QSize>

namespace zemtest {

/** An ARGB32 image of \a size in \a color. */
inline QImage filled(const QSize &size, const QColor &color)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

/** An image of \a size whose left half is opaque red and whose right half is clear. */
inline QImage halfRed(const QSize &size = QSize(4, 4))
{
    QImage image = filled(size, Qt::transparent);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width() / 2; ++x)
            image.setPixelColor(x, y, QColor(255, 0, 0));
    return image;
}

} // namespace zemtest
