#include "ZEM_A_Y_NSImage.h"

#include <QPainter>

#include <algorithm>

namespace {

constexpr QImage::Format workFormat = QImage::Format_ARGB32_Premultiplied;

// The one place where operation numbers meet the painter's modes; plus-darker (11) has no
// mode and is drawn by hand.
QPainter::CompositionMode compositionMode(int operation)
{
    switch (operation) {
    case 0:
        return QPainter::CompositionMode_Clear;
    case 1:
        return QPainter::CompositionMode_Source;
    case 3:
        return QPainter::CompositionMode_SourceIn;
    case 4:
        return QPainter::CompositionMode_SourceOut;
    case 5:
        return QPainter::CompositionMode_SourceAtop;
    case 6:
        return QPainter::CompositionMode_DestinationOver;
    case 7:
        return QPainter::CompositionMode_DestinationIn;
    case 8:
        return QPainter::CompositionMode_DestinationOut;
    case 9:
        return QPainter::CompositionMode_DestinationAtop;
    case 10:
        return QPainter::CompositionMode_Xor;
    case 13:
        return QPainter::CompositionMode_Plus;
    case 2:
    case 12:
    default:
        return QPainter::CompositionMode_SourceOver;
    }
}

void plusDarker(QImage &destination, const QPoint &origin, const QImage &source)
{
    const QImage src = source.convertToFormat(workFormat);
    const QRect area = QRect(origin, src.size()).intersected(destination.rect());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        auto *d = reinterpret_cast<QRgb *>(destination.scanLine(y));
        const auto *s = reinterpret_cast<const QRgb *>(src.constScanLine(y - origin.y()));
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb sp = s[x - origin.x()];
            const QRgb dp = d[x];
            const int as = qAlpha(sp);
            const int ad = qAlpha(dp);
            const int a = std::min(255, as + ad);
            auto channel = [&](int cs, int cd) {
                return std::clamp(a - ((as - cs) + (ad - cd)), 0, a);
            };
            d[x] = qRgba(channel(qRed(sp), qRed(dp)), channel(qGreen(sp), qGreen(dp)),
                         channel(qBlue(sp), qBlue(dp)), a);
        }
    }
}

} // namespace

bool isCompositingOperation(int operation)
{
    return operation >= 0 && operation <= ZEM_A_Y_NSImage_LastOperation;
}

bool compositeImage(QImage &destination, const QPoint &origin, const QImage &source, int operation)
{
    if (!isCompositingOperation(operation) || destination.isNull() || source.isNull())
        return false;
    if (destination.format() != workFormat)
        destination.convertTo(workFormat);
    if (operation == 11) {
        plusDarker(destination, origin, source);
        return true;
    }
    QPainter painter(&destination);
    painter.setCompositionMode(compositionMode(operation));
    painter.drawImage(origin, source);
    return true;
}

QImage composeImageViewWithColor(const QImage &image, const QColor &color, int operation)
{
    if (image.isNull() || !color.isValid() || !isCompositingOperation(operation))
        return {};
    QImage tint(image.size(), workFormat);
    tint.fill(Qt::black);
    QImage paint(image.size(), workFormat);
    paint.fill(color);
    compositeImage(tint, QPoint(0, 0), paint, operation);
    // Weighting by the stencil's alpha is destination-in with the image as source.
    compositeImage(tint, QPoint(0, 0), image, 7);
    return tint;
}
