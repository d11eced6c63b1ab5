#include "ZEM_F_E_DebugMachine.h"

ZEM_F_E_DebugMachine::ZEM_F_E_DebugMachine(QObject *parent) : ZEM_F_B_Securitry(parent) {}

ZEM_F_E_DebugMachine::~ZEM_F_E_DebugMachine() = default;

ZEM_F_E_DebugMachine *ZEM_F_E_DebugMachine::shared()
{
    static ZEM_F_E_DebugMachine *const engine = new ZEM_F_E_DebugMachine;
    return engine;
}

bool ZEM_F_E_DebugMachine::checkIsDebugMachine() const
{
    return qgetenv("ZEM_DEBUG_MACHINE") == "1";
}
