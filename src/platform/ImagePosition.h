#pragma once

#include "zem_appkit_export.h"

class QObject;

namespace platform {

/**
 * Where a control shows its image beside its title. The numbers are those stored in
 * interface files and settings, so they must not change.
 */
enum class ImagePosition {
    NoImage = 0,
    ImageOnly = 1,
    ImageLeft = 2,
    ImageRight = 3,
    ImageBelow = 4,
    ImageAbove = 5,
    ImageOverlaps = 6,
};

/** True when \a value is one of the numbers of ImagePosition. */
ZEM_APPKIT_EXPORT bool isImagePosition(long long value);

/**
 * Gives \a control the image position \a position: stored as the dynamic property
 * "imagePosition" (an int) so that any control can carry it; a QToolButton also gets the
 * matching tool-button style (image only: icon only; left or right: text beside the icon;
 * below or above: text under the icon; no image: text only). A null control is ignored.
 */
ZEM_APPKIT_EXPORT void setImagePosition(QObject *control, ImagePosition position);

/**
 * The position given to \a control with setImagePosition(), or read from its
 * "imagePosition" property; NoImage when it has none or a null control.
 */
ZEM_APPKIT_EXPORT ImagePosition imagePosition(const QObject *control);

} // namespace platform
