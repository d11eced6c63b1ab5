#include "ZEM_A_C_SegmentPopUpButton.h"

#include "platform/InterfaceLoader.h"
#include "foundation/ZEM_F_C_StoreGroup.h"

#include <QToolButton>

ZEM_A_C_SegmentPopUpButton::ZEM_A_C_SegmentPopUpButton(QWidget *parent) : ZEM_A_C_SegmentedControl(1, parent) {}

ZEM_A_C_SegmentPopUpButton::~ZEM_A_C_SegmentPopUpButton() = default;

void ZEM_A_C_SegmentPopUpButton::setUpSegment(QMenu *menu, const QString &imageName, const QString &tip)
{
    setCellMenu(menu);
    setCellImage(ZEM_F_C_StoreGroup::shared()->imageForKey(imageName));
    setCellToolTip(tip);
    if (QToolButton *button = segmentButton(0))
        button->setPopupMode(QToolButton::InstantPopup);
}

ZEM_INTERFACE_CLASS(ZEM_A_C_SegmentPopUpButton)
