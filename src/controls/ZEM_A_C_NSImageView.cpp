#include "ZEM_A_C_NSImageView.h"

ZEM_A_C_NSImageView::ZEM_A_C_NSImageView(QWidget *parent) : ZEM_A_C_ToolTipOnly<QLabel>(parent)
{
    setAlignment(Qt::AlignCenter);
}

ZEM_A_C_NSImageView::~ZEM_A_C_NSImageView() = default;
