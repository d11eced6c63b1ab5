#pragma once

#include "ZEM_F_B_Securitry.h"

/**
 * Tells a development machine from a user's: one whose environment sets
 * ZEM_DEBUG_MACHINE=1. Diagnostic logging and debug-only actions are gated on it.
 */
class ZEM_FOUNDATION_EXPORT ZEM_F_E_DebugMachine : public ZEM_F_B_Securitry
{
    Q_OBJECT
public:
    static ZEM_F_E_DebugMachine *shared();

    /** True only when ZEM_DEBUG_MACHINE is "1"; read at every call. */
    Q_INVOKABLE bool checkIsDebugMachine() const;

    explicit ZEM_F_E_DebugMachine(QObject *parent = nullptr);
    ~ZEM_F_E_DebugMachine() override;
};
