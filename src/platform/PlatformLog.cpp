#include "platform/PlatformLog.h"

Q_LOGGING_CATEGORY(zemPlatform, "zem.platform")
