#include "ZEM_A_C_NSStepper.h"

ZEM_A_C_NSStepper::ZEM_A_C_NSStepper(QWidget *parent) : ZEM_A_C_ToolTipOnly<QSpinBox>(parent) {}

ZEM_A_C_NSStepper::~ZEM_A_C_NSStepper() = default;
