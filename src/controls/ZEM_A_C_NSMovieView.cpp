#include "ZEM_A_C_NSMovieView.h"

#include "platform/InterfaceLoader.h"
ZEM_A_C_NSMovieView::ZEM_A_C_NSMovieView(QWidget *parent) : ZEM_A_C_ToolTipOnly<QLabel>(parent)
{
    setAlignment(Qt::AlignCenter);
}

ZEM_A_C_NSMovieView::~ZEM_A_C_NSMovieView() = default;

ZEM_INTERFACE_CLASS(ZEM_A_C_NSMovieView)
