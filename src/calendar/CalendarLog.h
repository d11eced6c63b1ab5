#pragma once

#include <QLoggingCategory>

/** Log lines of the calendar subsystem ("zem.calendar"). */
Q_DECLARE_LOGGING_CATEGORY(zemCalendar)
