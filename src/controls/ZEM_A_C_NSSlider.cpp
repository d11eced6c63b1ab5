#include "ZEM_A_C_NSSlider.h"

#include "platform/InterfaceLoader.h"
ZEM_A_C_NSSlider::ZEM_A_C_NSSlider(QWidget *parent) : ZEM_A_C_ToolTipOnly<QSlider>(parent) {}

ZEM_A_C_NSSlider::~ZEM_A_C_NSSlider() = default;

ZEM_INTERFACE_CLASS(ZEM_A_C_NSSlider)
