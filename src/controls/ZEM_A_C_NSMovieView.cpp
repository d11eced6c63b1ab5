#include "ZEM_A_C_NSMovieView.h"

ZEM_A_C_NSMovieView::ZEM_A_C_NSMovieView(QWidget *parent) : ZEM_A_C_ToolTipOnly<QLabel>(parent)
{
    setAlignment(Qt::AlignCenter);
}

ZEM_A_C_NSMovieView::~ZEM_A_C_NSMovieView() = default;
