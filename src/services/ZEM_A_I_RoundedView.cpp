#include "ZEM_A_I_RoundedView.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

ZEM_A_I_RoundedView::ZEM_A_I_RoundedView(QWidget *parent) : QWidget(parent)
{
    setAutoFillBackground(false);
    setAttribute(Qt::WA_TranslucentBackground);
}

ZEM_A_I_RoundedView::~ZEM_A_I_RoundedView() = default;

QPainterPath ZEM_A_I_RoundedView::backdropPath(const QSizeF &size)
{
    const QRectF bounds(QPointF(0, 0), size);
    // A view smaller than two radii still gets a closed outline, with tighter corners.
    const qreal r = std::min({CornerRadius, bounds.width() / 2, bounds.height() / 2});
    QPainterPath path;
    if (r <= 0)
        return path;
    // From the middle of the bottom edge round each corner in turn, as the outline was
    // always drawn; the shape is an ordinary rounded rectangle.
    path.moveTo(bounds.center().x(), bounds.bottom());
    path.arcTo(QRectF(bounds.right() - 2 * r, bounds.bottom() - 2 * r, 2 * r, 2 * r), 270, 90);
    path.arcTo(QRectF(bounds.right() - 2 * r, bounds.top(), 2 * r, 2 * r), 0, 90);
    path.arcTo(QRectF(bounds.left(), bounds.top(), 2 * r, 2 * r), 90, 90);
    path.arcTo(QRectF(bounds.left(), bounds.bottom() - 2 * r, 2 * r, 2 * r), 180, 90);
    path.closeSubpath();
    return path;
}

void ZEM_A_I_RoundedView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill(Qt::black);
    fill.setAlphaF(float(FillAlpha));
    painter.fillPath(backdropPath(size()), fill);
}
