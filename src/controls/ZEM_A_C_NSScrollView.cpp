#include "ZEM_A_C_NSScrollView.h"

ZEM_A_C_NSScrollView::ZEM_A_C_NSScrollView(QWidget *parent) : ZEM_A_C_ToolTipOnly<QScrollArea>(parent) {}

ZEM_A_C_NSScrollView::~ZEM_A_C_NSScrollView() = default;
