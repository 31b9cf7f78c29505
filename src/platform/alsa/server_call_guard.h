#pragma once
// Calls into a sound server's ALSA plugin that may never return: once the
// server has died, PipeWire's control plugin waits for its answer for ever.
// Each call runs on a thread of its own and is waited for a bounded time; a
// call that overruns is given up together with its thread, and what it works
// on must then be given up too (never freed: the call may still be inside it).
// Private to the ALSA backend.

#include <chrono>
#include <functional>
#include <memory>

namespace ressona {

class ServerCallGuard {
  public:
    // How long a call may take before it is given up.
    static constexpr std::chrono::milliseconds kLimit{1000};

    ServerCallGuard();
    ~ServerCallGuard();
    ServerCallGuard(const ServerCallGuard&) = delete;
    ServerCallGuard& operator=(const ServerCallGuard&) = delete;

    // Runs `call` and waits for it at most `limit`; false when it overran.
    // The call must own (capture by value) everything it needs beyond what
    // the caller gives up when it overruns.
    bool run(std::function<void()> call, std::chrono::milliseconds limit = kLimit);

  private:
    struct Worker;
    std::shared_ptr<Worker> worker_;  // shared with its thread, which may outlive it
};

}  // namespace ressona
