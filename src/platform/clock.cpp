#include "platform/clock.h"

#include <thread>

namespace padwright {

Micros SteadyClock::Now() const
{
    return std::chrono::duration_cast<Micros>(std::chrono::steady_clock::now().time_since_epoch());
}

void SteadyClock::Sleep(Micros duration)
{
    if (duration.count() > 0)
        std::this_thread::sleep_for(duration);
}

Micros VirtualClock::Now() const
{
    std::lock_guard lock(mutex_);
    return now_;
}

void VirtualClock::Sleep(Micros duration)
{
    std::lock_guard lock(mutex_);
    sleeps_.push_back(duration);
    now_ += duration;
}

void VirtualClock::Advance(Micros duration)
{
    std::lock_guard lock(mutex_);
    now_ += duration;
}

std::vector<Micros> VirtualClock::Sleeps() const
{
    std::lock_guard lock(mutex_);
    return sleeps_;
}

}  // namespace padwright
