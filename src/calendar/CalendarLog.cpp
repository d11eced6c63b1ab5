#include "CalendarLog.h"

Q_LOGGING_CATEGORY(zemCalendar, "zem.calendar")
