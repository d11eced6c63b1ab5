#include "ZEM_A_C_NSScrollView.h"

#include "platform/InterfaceLoader.h"
ZEM_A_C_NSScrollView::ZEM_A_C_NSScrollView(QWidget *parent) : ZEM_A_C_ToolTipOnly<QScrollArea>(parent) {}

ZEM_A_C_NSScrollView::~ZEM_A_C_NSScrollView() = default;

ZEM_INTERFACE_CLASS(ZEM_A_C_NSScrollView)
