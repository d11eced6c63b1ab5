#include "platform/Clock.h"

namespace platform {

namespace {
QDateTime &pinned()
{
    static QDateTime *instant = new QDateTime;
    return *instant;
}
} // namespace

QDateTime Clock::now()
{
    const QDateTime &p = pinned();
    return p.isValid() ? p : QDateTime::currentDateTime();
}

QDate Clock::today()
{
    return now().date();
}

void Clock::setNowForTesting(const QDateTime &instant)
{
    pinned() = instant.isValid() ? instant.toLocalTime() : QDateTime();
}

void Clock::reset()
{
    pinned() = QDateTime();
}

bool Clock::isPinned()
{
    return pinned().isValid();
}

} // namespace platform
