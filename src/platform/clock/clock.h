#pragma once
// The clock service: a high-resolution performance counter for timing a pass,
// and the local time of day that seeds the noise generator.

#include <chrono>
#include <cstdint>

namespace ressona {

struct TimeOfDay {
    int seconds = 0;     // 0..59
    int hundredths = 0;  // 0..99
};

class Clock {
public:
    virtual ~Clock() = default;
    // Counter ticks per second (never 0).
    virtual std::int64_t performanceFrequency() const = 0;
    // Current tick count; never goes backwards.
    virtual std::int64_t performanceCounter() = 0;
    virtual TimeOfDay timeOfDay() const = 0;
    // Gives the processor away for about the given time (a polling wait's pause).
    virtual void pause(std::chrono::microseconds duration) = 0;
};

// The machine's monotonic clock and local time.
class SystemClock final : public Clock {
public:
    std::int64_t performanceFrequency() const override;
    std::int64_t performanceCounter() override;
    TimeOfDay timeOfDay() const override;
    void pause(std::chrono::microseconds duration) override;
};

// A clock that moves only when told to (or by the length of each pause), for tests.
class ManualClock final : public Clock {
public:
    static constexpr std::int64_t kFrequency = 1'000'000;  // ticks are microseconds

    std::int64_t performanceFrequency() const override { return kFrequency; }
    std::int64_t performanceCounter() override { return ticks_; }
    TimeOfDay timeOfDay() const override { return timeOfDay_; }
    void pause(std::chrono::microseconds duration) override { ticks_ += duration.count(); }

    void advance(std::chrono::microseconds duration) { ticks_ += duration.count(); }
    void setTimeOfDay(TimeOfDay value) { timeOfDay_ = value; }

private:
    std::int64_t ticks_ = 0;
    TimeOfDay timeOfDay_{};
};

}  // namespace ressona
