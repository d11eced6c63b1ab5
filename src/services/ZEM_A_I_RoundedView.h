#pragma once

#include "zem_appkit_export.h"

#include <QPainterPath>
#include <QWidget>

/**
 * The dark backdrop of the large-type window: its bounds as a rectangle with corners of
 * radius 25, filled with black at alpha 0.35. Outside the corners it draws nothing, so the
 * translucent window shows what lies behind it there.
 */
class ZEM_APPKIT_EXPORT ZEM_A_I_RoundedView : public QWidget
{
    Q_OBJECT
public:
    static constexpr qreal CornerRadius = 25;
    static constexpr qreal FillAlpha = 0.35;

    explicit ZEM_A_I_RoundedView(QWidget *parent = nullptr);
    ~ZEM_A_I_RoundedView() override;

    /** The closed outline filled, for a view of size \a size. */
    static QPainterPath backdropPath(const QSizeF &size);

protected:
    void paintEvent(QPaintEvent *event) override;
};
