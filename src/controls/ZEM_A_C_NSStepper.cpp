#include "ZEM_A_C_NSStepper.h"

#include "platform/InterfaceLoader.h"
ZEM_A_C_NSStepper::ZEM_A_C_NSStepper(QWidget *parent) : ZEM_A_C_ToolTipOnly<QSpinBox>(parent) {}

ZEM_A_C_NSStepper::~ZEM_A_C_NSStepper() = default;

ZEM_INTERFACE_CLASS(ZEM_A_C_NSStepper)
