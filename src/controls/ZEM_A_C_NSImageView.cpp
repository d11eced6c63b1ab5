#include "ZEM_A_C_NSImageView.h"

#include "platform/InterfaceLoader.h"
ZEM_A_C_NSImageView::ZEM_A_C_NSImageView(QWidget *parent) : ZEM_A_C_ToolTipOnly<QLabel>(parent)
{
    setAlignment(Qt::AlignCenter);
}

ZEM_A_C_NSImageView::~ZEM_A_C_NSImageView() = default;

ZEM_INTERFACE_CLASS(ZEM_A_C_NSImageView)
