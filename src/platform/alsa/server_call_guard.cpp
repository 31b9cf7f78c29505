#include "platform/alsa/server_call_guard.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace ressona {

// One thread taking one call at a time. Its state is shared with the thread,
// so a thread stuck in a call keeps it alive after the guard has let it go.
struct ServerCallGuard::Worker {
    std::mutex mutex;
    std::condition_variable changed;
    std::function<void()> call;  // the call waiting to run, if any
    bool running = false;        // a call is being run
    bool quit = false;
    std::thread thread;

    static void loop(const std::shared_ptr<Worker>& self) {
        std::unique_lock lock(self->mutex);
        for (;;) {
            self->changed.wait(lock, [&] { return self->quit || self->call; });
            if (self->quit) return;
            std::function<void()> call = std::move(self->call);
            self->call = nullptr;
            self->running = true;
            lock.unlock();
            call();
            lock.lock();
            self->running = false;
            self->changed.notify_all();
        }
    }

    static std::shared_ptr<Worker> start() {
        auto worker = std::make_shared<Worker>();
        worker->thread = std::thread([worker] { loop(worker); });
        return worker;
    }
};

ServerCallGuard::ServerCallGuard() : worker_(Worker::start()) {}

ServerCallGuard::~ServerCallGuard() {
    {
        std::lock_guard lock(worker_->mutex);
        worker_->quit = true;
    }
    worker_->changed.notify_all();
    worker_->thread.join();
}

bool ServerCallGuard::run(std::function<void()> call, std::chrono::milliseconds limit) {
    std::unique_lock lock(worker_->mutex);
    worker_->call = std::move(call);
    worker_->changed.notify_all();
    const bool finished =
        worker_->changed.wait_for(lock, limit, [&] { return !worker_->call && !worker_->running; });
    if (finished) return true;
    // Given up: the thread stays in its call (holding its share of the state);
    // later calls get a thread of their own.
    worker_->quit = true;
    worker_->thread.detach();
    lock.unlock();
    worker_ = Worker::start();
    return false;
}

}  // namespace ressona
