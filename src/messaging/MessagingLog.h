#pragma once

#include <QLoggingCategory>

/** Log lines of mail delivery ("zem.messaging"): every server or message it gives up on. */
Q_DECLARE_LOGGING_CATEGORY(zemMessaging)
