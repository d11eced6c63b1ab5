#include "ZEM_A_C_NSDatePicker.h"

#include "platform/InterfaceLoader.h"
ZEM_A_C_NSDatePicker::ZEM_A_C_NSDatePicker(QWidget *parent) : ZEM_A_C_ToolTipOnly<QDateTimeEdit>(parent) {}

ZEM_A_C_NSDatePicker::~ZEM_A_C_NSDatePicker() = default;

ZEM_INTERFACE_CLASS(ZEM_A_C_NSDatePicker)
