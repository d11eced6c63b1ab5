#pragma once

#include "ZEM_A_C_SegmentedControl.h"

/** A segmented control whose first segment pops up a menu. */
class ZEM_APPKIT_EXPORT ZEM_A_C_SegmentPopUpButton : public ZEM_A_C_SegmentedControl
{
    Q_OBJECT
public:
    /** Starts with one segment. */
    explicit ZEM_A_C_SegmentPopUpButton(QWidget *parent = nullptr);
    ~ZEM_A_C_SegmentPopUpButton() override;

    /**
     * Gives the first segment \a menu (not owned), the image store's image \a imageName and
     * the tool tip \a tip. The menu pops up as soon as the segment is pressed.
     */
    void setUpSegment(QMenu *menu, const QString &imageName, const QString &tip);
};
