#include "ZEM_A_E_Image.h"

#include "foundation/ZEM_F_C_StoreGroup.h"
#include "foundation/ZEM_F_ClassRegistry.h"

namespace {
[[maybe_unused]] const bool registered =
    ZEM_F_ClassRegistry::registerShared(QStringLiteral("ZEM_A_E_Image"), [] {
        return static_cast<QObject *>(ZEM_A_E_Image::shared());
    });

constexpr QSize cellImageSize(12, 12);
} // namespace

ZEM_A_E_Image::ZEM_A_E_Image(QObject *parent) : ZEM_F_B_Securitry(parent) {}

ZEM_A_E_Image::~ZEM_A_E_Image() = default;

ZEM_A_E_Image *ZEM_A_E_Image::shared()
{
    static auto *instance = new ZEM_A_E_Image;
    return instance;
}

QImage ZEM_A_E_Image::resized(const QImage &image, const QSize &size)
{
    if (image.isNull() || size.isEmpty())
        return {};
    if (image.size() == size)
        return image;
    return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QImage ZEM_A_E_Image::emptyImage(const QSize &size) const
{
    if (size.isEmpty())
        return {};
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QImage ZEM_A_E_Image::getImage(const QString &key, const QSize &size) const
{
    return resized(ZEM_F_C_StoreGroup::shared()->imageForKey(key), size);
}

QImage ZEM_A_E_Image::getImageCopy(const QString &key, const QSize &size) const
{
    // copy() detaches even when no resizing is needed, so the caller may paint into it.
    return resized(ZEM_F_C_StoreGroup::shared()->imageForKey(key).copy(), size);
}

QImage ZEM_A_E_Image::getCellScaledImage(const QImage &image) const
{
    return resized(image.copy(), cellImageSize);
}
