#pragma once

#include <QTextStream>

/**
 * Lists, from the sample calendars, the events of the coming week with their occurrences
 * and the open to-dos with their due dates. False when the calendars cannot be read.
 */
bool showCalendar(QTextStream &out);
