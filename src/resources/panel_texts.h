#pragma once
// The texts the control panel shows, with their number formats.

#include <cstdio>
#include <string>

namespace ressona::texts {

// printf-style formats of the monitor and delay texts.
inline constexpr const char* kSampleCount = "Sample %d";
inline constexpr const char* kLatency = "Latency %d Samples";
inline constexpr const char* kTrigger = "Trigger at %d";
inline constexpr const char* kDelay = "Adjust by %5.2f mSecs";
inline constexpr const char* kDefaultFileName = "default.rsn";

template <typename... Args>
std::string format(const char* pattern, Args... args) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, pattern, args...);
    return buffer;
}

}  // namespace ressona::texts
