#pragma once

#include "ZEM_A_C_NSSegmentedControl.h"

#include <QSize>

/**
 * A segmented control that never takes the keyboard focus, with setters that fill its
 * segments in order from lists. A list longer than the control sets only the segments the
 * control has.
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_SegmentedControl : public ZEM_A_C_NSSegmentedControl
{
    Q_OBJECT
public:
    explicit ZEM_A_C_SegmentedControl(int segmentCount = 0, QWidget *parent = nullptr);
    ~ZEM_A_C_SegmentedControl() override;

    /** 36 by 24. */
    static QSize getRegularSize() { return {36, 24}; }
    /** 36 by 20. */
    static QSize getSmallSize() { return {36, 20}; }

    void setCellImages(const QList<QImage> &images);
    void setCellLabels(const QStringList &labels);
    void setCellMenus(const QList<QMenu *> &menus);
    void setCellToolTips(const QStringList &toolTips);
    /** Copies of the image store's images of these names, at 16 by 16; a missing one clears the image. */
    void setCellImageNames(const QStringList &names);
    void setCellImage(const QImage &image) { setCellImages({image}); }
    void setCellImageName(const QString &name) { setCellImageNames({name}); }
    void setCellMenu(QMenu *menu) { setCellMenus({menu}); }
    void setCellToolTip(const QString &toolTip) { setCellToolTips({toolTip}); }

    /** Each segment's tool tip becomes "<label> Tab View" in the active language. */
    void setCellToolTipsFromLabels();
    /** Empties the labels of segments 0, 2, 4, ... and leaves the others. */
    void clearCellLabels();

    /** The image of the store named \a name, 16 by 16; null when the store has none. */
    static QImage cellImageNamed(const QString &name);
};
