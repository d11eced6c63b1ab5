#include "platform/ImagePosition.h"

#include <QToolButton>
#include <QVariant>

namespace {
const char *const positionProperty = "imagePosition";
} // namespace

namespace platform {

bool isImagePosition(long long value)
{
    return value >= static_cast<long long>(ImagePosition::NoImage) &&
           value <= static_cast<long long>(ImagePosition::ImageOverlaps);
}

void setImagePosition(QObject *control, ImagePosition position)
{
    if (!control)
        return;
    control->setProperty(positionProperty, static_cast<int>(position));
    auto *toolButton = qobject_cast<QToolButton *>(control);
    if (!toolButton)
        return;
    switch (position) {
    case ImagePosition::NoImage:
        toolButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
        break;
    case ImagePosition::ImageOnly:
    case ImagePosition::ImageOverlaps:
        // Qt cannot lay a title over an icon; the icon alone is the closer match.
        toolButton->setToolButtonStyle(Qt::ToolButtonIconOnly);
        break;
    case ImagePosition::ImageLeft:
    case ImagePosition::ImageRight:
        toolButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        break;
    case ImagePosition::ImageBelow:
    case ImagePosition::ImageAbove:
        toolButton->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        break;
    }
}

ImagePosition imagePosition(const QObject *control)
{
    if (!control)
        return ImagePosition::NoImage;
    bool ok = false;
    const int value = control->property(positionProperty).toInt(&ok);
    return ok && isImagePosition(value) ? static_cast<ImagePosition>(value)
                                        : ImagePosition::NoImage;
}

} // namespace platform
