#include "ZEM_A_E_Icons.h"

#include "ZEM_A_E_Image.h"
#include "ZEM_A_E_ImageEngine.h"
#include "ZEM_A_Y_NSImage.h"
#include "foundation/ZEM_F_C_StoreGroup.h"
#include "foundation/ZEM_F_ClassRegistry.h"
#include "foundation/ZEM_F_HostDelegate.h"
#include "platform/ButtonCell.h"
#include "platform/ImagePosition.h"
#include "platform/Invoke.h"

#include <QAbstractButton>
#include <QAction>
#include <QIcon>
#include <QLoggingCategory>
#include <QPainter>
#include <QPixmap>
#include <QRect>
#include <QWidget>

namespace {
[[maybe_unused]] const bool registered =
    ZEM_F_ClassRegistry::registerShared(QStringLiteral("ZEM_A_E_Icons"), [] {
        return static_cast<QObject *>(ZEM_A_E_Icons::shared());
    });

Q_LOGGING_CATEGORY(zemIcons, "zem.services.icons")

const char *const imageProperty = "image";
const char *const alternateImageProperty = "alternateImage";
constexpr int plusLighter = 13;
constexpr QSize swatchSize(12, 12);

bool isKeepPosition(qint64 pos)
{
    return pos == ZEM_A_E_Icons::keepPosition || pos == qint64(0xFFFFFFFFu);
}

// The height of a menu item's target: its cellSize, else its frame; 0 when it has neither.
int menuTargetHeight(const QAction *item)
{
    QObject *target = item->property("target").value<QObject *>();
    if (!target)
        return 0;
    if (platform::respondsTo(target, "cellSize")) {
        const QVariant size = platform::perform(target, "cellSize");
        if (size.canConvert<QSizeF>())
            return qRound(size.toSizeF().height());
    }
    if (auto *widget = qobject_cast<QWidget *>(target))
        return widget->geometry().height();
    if (platform::respondsTo(target, "frame")) {
        const QVariant frame = platform::perform(target, "frame");
        if (frame.canConvert<QRectF>())
            return qRound(frame.toRectF().height());
        if (frame.canConvert<QSizeF>())
            return qRound(frame.toSizeF().height());
    }
    return 0;
}

// Rebuilds the icon of a button or action from its image properties.
QIcon iconFor(const QObject *control)
{
    QIcon icon;
    const QImage image = control->property(imageProperty).value<QImage>();
    const QImage alternate = control->property(alternateImageProperty).value<QImage>();
    if (!image.isNull())
        icon.addPixmap(QPixmap::fromImage(image), QIcon::Normal, QIcon::Off);
    if (!alternate.isNull()) {
        icon.addPixmap(QPixmap::fromImage(alternate), QIcon::Normal, QIcon::On);
        icon.addPixmap(QPixmap::fromImage(alternate), QIcon::Active, QIcon::On);
    }
    return icon;
}
} // namespace

ZEM_A_E_Icons::ZEM_A_E_Icons(QObject *parent) : ZEM_F_B_Securitry(parent) {}

ZEM_A_E_Icons::~ZEM_A_E_Icons() = default;

ZEM_A_E_Icons *ZEM_A_E_Icons::shared()
{
    static auto *instance = new ZEM_A_E_Icons;
    return instance;
}

void ZEM_A_E_Icons::buttonImage(QObject *control, const QString &main, const QString &alt,
                                qint64 pos)
{
    buttonImageSupport(control, main, alt, pos, true);
}

void ZEM_A_E_Icons::buttonImageNoResize(QObject *control, const QString &main, const QString &alt,
                                        qint64 pos)
{
    buttonImageSupport(control, main, alt, pos, false);
}

void ZEM_A_E_Icons::buttonImageSupport(QObject *control, const QString &main, const QString &alt,
                                       qint64 pos, bool resize)
{
    if (!control)
        return;
    buttonSupport(main, control, false, resize);
    if (!alt.isEmpty())
        buttonSupport(alt, control, true, resize);
    if (!isKeepPosition(pos) && platform::isImagePosition(pos))
        platform::setImagePosition(control, static_cast<platform::ImagePosition>(pos));
}

void ZEM_A_E_Icons::buttonImageWithArray(const QList<QObject *> &controls, const QString &main,
                                         const QString &alt, qint64 pos)
{
    for (QObject *control : controls)
        buttonImage(control, main, alt, pos);
}

bool ZEM_A_E_Icons::buttonSupport(const QString &key, QObject *control, bool alt, bool resize)
{
    if (!control)
        return false;
    QImage image = ZEM_F_C_StoreGroup::shared()->imageForKey(key).copy();
    if (image.isNull()) {
        qCWarning(zemIcons, "%s problem getting image %s", qUtf8Printable(ZEM_F_Host::appName()),
                  qUtf8Printable(key));
        return false;
    }

    const QMetaObject *meta = control->metaObject();
    QSize size;
    if (meta == &platform::ButtonCell::staticMetaObject) {
        size = image.size();
    } else if (auto *button = qobject_cast<QAbstractButton *>(control)) {
        size = button->size();
    } else if (meta == &QAction::staticMetaObject) {
        const int side = menuTargetHeight(static_cast<QAction *>(control)) - 4;
        size = side >= 1 ? QSize(side, side) : image.size();
    } else {
        return false;
    }
    if (resize) {
        const QImage sized = ZEM_A_E_Image::resized(image, size);
        if (!sized.isNull())
            image = sized;
    }

    if (auto *cell = qobject_cast<platform::ButtonCell *>(control)) {
        alt ? cell->setAlternateImage(image) : cell->setImage(image);
        return true;
    }
    control->setProperty(alt ? alternateImageProperty : imageProperty, image);
    const QIcon icon = iconFor(control);
    if (auto *button = qobject_cast<QAbstractButton *>(control)) {
        button->setIcon(icon);
        button->setIconSize(image.size());
    } else {
        static_cast<QAction *>(control)->setIcon(icon);
    }
    return true;
}

void ZEM_A_E_Icons::setUpIconSupport(const QList<QObject *> &controls, const QStringList &names,
                                     const QString &type, const QString &prefix)
{
    const qsizetype count = std::min(controls.size(), names.size());
    for (qsizetype i = 0; i < count; ++i)
        buttonImage(controls.at(i), names.at(i) + prefix + type, QString(),
                    static_cast<qint64>(platform::ImagePosition::ImageOnly));
}

void ZEM_A_E_Icons::setUpIconSupportOnly(const QList<QObject *> &controls, const QStringList &names)
{
    setUpIconSupport(controls, names, QString(), QString());
}

QImage ZEM_A_E_Icons::getImageForColor(const QColor &color) const
{
    if (!color.isValid())
        return {};
    const ZEM_A_E_Image *images = ZEM_A_E_Image::shared();
    QImage swatch = images->getImageCopy(QStringLiteral("BorderCell"), swatchSize);
    const QImage blank = images->getImageCopy(QStringLiteral("BlankCell"), swatchSize);
    if (swatch.isNull() || blank.isNull())
        return {};
    QColor tint = color;
    if (color.toRgb() != QColor(Qt::black).toRgb())
        tint = QColor::fromRgbF(color.redF(), color.greenF(), color.blueF(), 0.8f);
    const QImage tinted =
        ZEM_A_E_ImageEngine::shared()->composeImageNoBackGroundColor(blank, tint, plusLighter);
    compositeImage(swatch, QPoint(0, 0), tinted, 2);
    return swatch;
}

void ZEM_A_E_Icons::setPopUpImage(QAction *item, const QColor &color)
{
    if (!item)
        return;
    const QImage swatch = getImageForColor(color);
    if (swatch.isNull())
        return;
    // A menu item of the kit keeps its state images as properties; they go first, so
    // that the swatch is what stays shown whatever the item's state.
    const QMetaObject *meta = item->metaObject();
    for (const char *stateImage : {"onStateImage", "mixedStateImage"})
        if (meta->indexOfProperty(stateImage) >= 0)
            item->setProperty(stateImage, QImage());
    item->setProperty(imageProperty, swatch);
    item->setProperty(alternateImageProperty, QVariant());
    item->setIcon(QIcon(QPixmap::fromImage(swatch)));
}
