#include "platform/alsa/realtime_thread.h"

#include <sched.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace ressona {

int realtimePriorityToAsk(int wanted, long limit) {
    if (limit < 1) return wanted;
    return static_cast<int>(std::min<long>(wanted, limit));
}

ThreadScheduling askForRealtime() {
    ThreadScheduling got;
    got.asked = true;
    rlimit limit{};
    long allowed = -1;
    if (getrlimit(RLIMIT_RTPRIO, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        allowed = static_cast<long>(limit.rlim_cur);
    sched_param parameter{};
    parameter.sched_priority = realtimePriorityToAsk(kDeviceThreadPriority, allowed);
    // pid 0: the calling thread alone.
    if (sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &parameter) == 0) {
        got.realtime = true;
        got.priority = parameter.sched_priority;
        return got;
    }
    const int error = errno;
    got.reason = error == EPERM ? "not permitted (RLIMIT_RTPRIO " +
                                      (allowed < 0 ? std::string("unlimited")
                                                   : std::to_string(allowed)) +
                                      ", no CAP_SYS_NICE)"
                                : std::string("sched_setscheduler: ") + std::strerror(error);
    return got;
}

}  // namespace ressona
