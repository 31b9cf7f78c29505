#pragma once
// How the threads that wait on a sound card's devices are scheduled, as a
// wave service reports it (WaveService::deviceThreadScheduling).

#include <string>

namespace ressona {

struct ThreadScheduling {
    bool asked = false;     // a device thread has asked for realtime scheduling
    bool realtime = false;  // and the system granted SCHED_FIFO
    int priority = 0;       // the SCHED_FIFO priority granted
    std::string reason;     // why not, when not granted
};

// The lesser of two threads' schedulings: not realtime when either is not,
// the lower priority when both are; one that never asked counts for nothing.
inline ThreadScheduling lesserScheduling(const ThreadScheduling& a, const ThreadScheduling& b) {
    if (!a.asked) return b;
    if (!b.asked) return a;
    if (!a.realtime) return a;
    if (!b.realtime) return b;
    return a.priority <= b.priority ? a : b;
}

}  // namespace ressona
