#pragma once
// Realtime scheduling for the threads that wait on the sound devices. A
// thread under the normal policy waits behind every busy process when the
// machine is loaded (a build beside the measurer delays it by tens of
// milliseconds), and a stream served that late slips. Under SCHED_FIFO, at
// any priority, it runs before every normal thread as soon as it wakes.
//
// The priority asked for is low: above every normal thread is all a device
// thread needs, and staying under the sound servers' own realtime threads
// (PulseAudio asks for 5, PipeWire's data loop for 88) keeps the server
// serving first. The system grants it to a process whose RLIMIT_RTPRIO
// allows that priority, or that holds CAP_SYS_NICE; the limit is used when it
// is lower. Children do not inherit it (SCHED_RESET_ON_FORK). The desktop's
// realtime service over D-Bus is not asked: the measurer links no D-Bus
// client, and the limit is how a distribution grants it to audio users.

#include "platform/wave/thread_scheduling.h"

namespace ressona {

inline constexpr int kDeviceThreadPriority = 4;

// The priority to ask for under a RLIMIT_RTPRIO of `limit` (negative:
// unlimited) when `wanted` would do: the limit when it is lower, but never
// below 1 (a limit of 0 leaves only CAP_SYS_NICE, which grants any).
int realtimePriorityToAsk(int wanted, long limit);

// Asks for SCHED_FIFO for the calling thread and says what it got.
ThreadScheduling askForRealtime();

}  // namespace ressona
