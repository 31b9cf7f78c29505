// The device threads' realtime scheduling: the priority asked for under a
// limit, what a thread gets and says, and that a child of such a thread
// starts under the normal policy.

#include "platform/alsa/realtime_thread.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

namespace ressona {
namespace {

TEST(RealtimeThread, ThePriorityFollowsTheLimitButNeverDropsToNone) {
    EXPECT_EQ(realtimePriorityToAsk(4, -1), 4);  // unlimited
    EXPECT_EQ(realtimePriorityToAsk(4, 99), 4);
    EXPECT_EQ(realtimePriorityToAsk(4, 2), 2);
    // A limit of 0 leaves CAP_SYS_NICE, which grants the priority wanted.
    EXPECT_EQ(realtimePriorityToAsk(4, 0), 4);
}

TEST(RealtimeThread, TheLesserOfTwoSchedulingsIsTheOneLessFavoured) {
    const ThreadScheduling none;
    const ThreadScheduling low{true, true, 2, ""};
    const ThreadScheduling high{true, true, 4, ""};
    const ThreadScheduling refused{true, false, 0, "not permitted"};
    EXPECT_EQ(lesserScheduling(none, high).priority, 4);
    EXPECT_EQ(lesserScheduling(high, none).priority, 4);
    EXPECT_EQ(lesserScheduling(low, high).priority, 2);
    EXPECT_EQ(lesserScheduling(high, low).priority, 2);
    EXPECT_FALSE(lesserScheduling(high, refused).realtime);
    EXPECT_EQ(lesserScheduling(refused, low).reason, "not permitted");
    EXPECT_FALSE(lesserScheduling(none, none).asked);
}

TEST(RealtimeThread, AThreadGetsWhatItSaysAndItsChildrenDoNotInheritIt) {
    ThreadScheduling got;
    int policy = -1;
    int childPolicy = -1;
    std::thread([&] {
        got = askForRealtime();
        policy = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
        const pid_t child = fork();
        if (child == 0) _exit(sched_getscheduler(0) & ~SCHED_RESET_ON_FORK);
        int status = 0;
        if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status))
            childPolicy = WEXITSTATUS(status);
    }).join();
    ASSERT_TRUE(got.asked);
    if (got.realtime) {
        EXPECT_EQ(policy, SCHED_FIFO);
        EXPECT_GE(got.priority, 1);
        EXPECT_LE(got.priority, kDeviceThreadPriority);
    } else {
        EXPECT_EQ(policy, SCHED_OTHER);
        EXPECT_FALSE(got.reason.empty());
    }
    EXPECT_EQ(childPolicy, SCHED_OTHER);
    std::printf("[ figures  ] device thread: %s\n",
                got.realtime ? ("SCHED_FIFO " + std::to_string(got.priority)).c_str()
                             : got.reason.c_str());
}

}  // namespace
}  // namespace ressona
