#pragma once

#include <QLoggingCategory>

/** Log lines of the contacts subsystem ("zem.contacts"). */
Q_DECLARE_LOGGING_CATEGORY(zemContacts)
