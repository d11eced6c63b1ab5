#include "ZEM_A_C_NSDatePicker.h"

ZEM_A_C_NSDatePicker::ZEM_A_C_NSDatePicker(QWidget *parent) : ZEM_A_C_ToolTipOnly<QDateTimeEdit>(parent) {}

ZEM_A_C_NSDatePicker::~ZEM_A_C_NSDatePicker() = default;
