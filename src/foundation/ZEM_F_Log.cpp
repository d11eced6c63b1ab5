#include "ZEM_F_Log.h"

Q_LOGGING_CATEGORY(zemFoundation, "zem.foundation")
