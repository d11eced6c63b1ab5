#pragma once

#include "ZEM_A_C_NSButtonCell.h"

/**
 * The cell of a pop-up button: like the button cell, its title follows the active
 * language and it has no tool tip of its own.
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_NSPopUpButtonCell : public ZEM_A_C_NSButtonCell
{
    Q_OBJECT
public:
    using ZEM_A_C_NSButtonCell::ZEM_A_C_NSButtonCell;
};
