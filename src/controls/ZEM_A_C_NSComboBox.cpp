#include "ZEM_A_C_NSComboBox.h"

#include "platform/InterfaceLoader.h"
ZEM_A_C_NSComboBox::ZEM_A_C_NSComboBox(QWidget *parent) : ZEM_A_C_ToolTipOnly<QComboBox>(parent)
{
    setEditable(true);
}

ZEM_A_C_NSComboBox::~ZEM_A_C_NSComboBox() = default;

ZEM_INTERFACE_CLASS(ZEM_A_C_NSComboBox)
