#pragma once

// The kit's contract with the world outside it, in one include: the foundation engines it
// calls (language, notifications, e-mail checks, image store, colours, process ids, system
// version, development machine) and the host delegate a host installs.

#include "foundation/ZEM_F_B_Language.h"
#include "foundation/ZEM_F_B_Securitry.h"
#include "foundation/ZEM_F_C_StoreGroup.h"
#include "foundation/ZEM_F_ClassRegistry.h"
#include "foundation/ZEM_F_E_Colors.h"
#include "foundation/ZEM_F_E_DebugMachine.h"
#include "foundation/ZEM_F_E_EmailAddress.h"
#include "foundation/ZEM_F_E_GetPID.h"
#include "foundation/ZEM_F_E_Language.h"
#include "foundation/ZEM_F_E_Notifications.h"
#include "foundation/ZEM_F_E_OSVersion.h"
#include "foundation/ZEM_F_HostDelegate.h"
#include "foundation/ZEM_Result.h"
