#include "ZEM_A_C_NSSlider.h"

ZEM_A_C_NSSlider::ZEM_A_C_NSSlider(QWidget *parent) : ZEM_A_C_ToolTipOnly<QSlider>(parent) {}

ZEM_A_C_NSSlider::~ZEM_A_C_NSSlider() = default;
