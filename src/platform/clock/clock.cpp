#include "platform/clock/clock.h"

#include <ctime>
#include <thread>

namespace ressona {

std::int64_t SystemClock::performanceFrequency() const { return 1'000'000'000; }

std::int64_t SystemClock::performanceCounter() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
}

TimeOfDay SystemClock::timeOfDay() const {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    return {local.tm_sec % 60, static_cast<int>(now.tv_nsec / 10'000'000)};
}

void SystemClock::pause(std::chrono::microseconds duration) { std::this_thread::sleep_for(duration); }

}  // namespace ressona
