#pragma once

#include "zem_appkit_export.h"

#include <QColor>
#include <QImage>
#include <QPoint>

/**
 * Compositing of images by the numbered operations the kit's callers use:
 *
 * | n | operation | | n | operation |
 * |---|---|---|---|---|
 * | 0 | clear | | 7 | destination-in |
 * | 1 | copy | | 8 | destination-out |
 * | 2 | source-over | | 9 | destination-atop |
 * | 3 | source-in | | 10 | xor |
 * | 4 | source-out | | 11 | plus-darker |
 * | 5 | source-atop | | 12 | highlight (drawn as source-over) |
 * | 6 | destination-over | | 13 | plus-lighter |
 *
 * Plus-darker works on premultiplied values (c colour, a alpha, s source, d destination):
 * a = min(1, as + ad) and c = max(0, a - ((as - cs) + (ad - cd))). For opaque pixels this is
 * max(0, 1 - ((1 - S) + (1 - D))), the darkness of both added; over a clear destination the
 * source is left as it is. Plus-lighter adds premultiplied values, clamped at 1.
 */

/** The largest operation number; 0 to this are accepted. */
inline constexpr int ZEM_A_Y_NSImage_LastOperation = 13;

/** True when \a operation is one of the numbers above. */
ZEM_APPKIT_EXPORT bool isCompositingOperation(int operation);

/**
 * Draws \a source into \a destination with its top-left corner at \a origin, combined by
 * \a operation. Only the rectangle the source covers is affected. \a destination is
 * converted to premultiplied ARGB32 when it is in another format. Answers false, and
 * changes nothing, for an unknown operation or a null image.
 */
ZEM_APPKIT_EXPORT bool compositeImage(QImage &destination, const QPoint &origin,
                                      const QImage &source, int operation);

/**
 * A tinted copy of \a image: the image is taken as a stencil, its alpha saying where and
 * how strongly the tint shows (its own colours are not used). Inside the stencil \a color
 * is composited by \a operation onto opaque black ink, and the outcome is weighted by the
 * stencil's alpha. So source-in (3) gives the colour wherever the image is opaque and
 * nothing where it is clear, and plus-lighter (13) or source-over (2) give the colour laid
 * over the ink, opaque, in the image's outline.
 *
 * The copy has the image's size, in premultiplied ARGB32. A null image, an invalid colour
 * or an unknown operation gives a null image.
 */
ZEM_APPKIT_EXPORT QImage composeImageViewWithColor(const QImage &image, const QColor &color,
                                                   int operation);
