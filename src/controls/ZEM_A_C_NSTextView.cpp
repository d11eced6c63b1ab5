#include "ZEM_A_C_NSTextView.h"

#include "platform/InterfaceLoader.h"
ZEM_A_C_NSTextView::ZEM_A_C_NSTextView(QWidget *parent) : ZEM_A_C_ToolTipOnly<QTextEdit>(parent) {}

ZEM_A_C_NSTextView::~ZEM_A_C_NSTextView() = default;

ZEM_INTERFACE_CLASS(ZEM_A_C_NSTextView)
