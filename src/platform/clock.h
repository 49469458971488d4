#pragma once

#include <chrono>
#include <mutex>
#include <vector>

namespace padwright {

using Micros = std::chrono::microseconds;

// Time as the program sees it. Waits that the program makes on purpose (settle
// times, buttons held disabled) go through here so tests can run them instantly.
class Clock {
public:
    virtual ~Clock() = default;
    virtual Micros Now() const = 0;
    virtual void Sleep(Micros duration) = 0;
    void SleepMs(int ms) { Sleep(std::chrono::milliseconds(ms)); }
};

class SteadyClock final : public Clock {
public:
    Micros Now() const override;
    void Sleep(Micros duration) override;
};

// Advances instantly and remembers every sleep, in order.
class VirtualClock final : public Clock {
public:
    Micros Now() const override;
    void Sleep(Micros duration) override;
    void Advance(Micros duration);
    std::vector<Micros> Sleeps() const;

private:
    mutable std::mutex mutex_;
    Micros now_{0};
    std::vector<Micros> sleeps_;
};

}  // namespace padwright
