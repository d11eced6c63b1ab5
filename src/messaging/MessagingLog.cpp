#include "MessagingLog.h"

Q_LOGGING_CATEGORY(zemMessaging, "zem.messaging")
