#pragma once
// The clock a pass waits on, with the windows repainted during the wait. A
// pass holds the thread for its whole length, so what the plot windows drew
// just before it would otherwise appear only after it (seconds later for long
// passes). Only the long pauses are used, those a wait takes while its buffer
// is far from done: the short pauses near a buffer's end time its completion
// and stay undisturbed. Repainting takes no input.

#include <chrono>
#include <functional>

#include "platform/clock/clock.h"

namespace ressona {

class RepaintingClock final : public Clock {
  public:
    // Pauses at least this long leave room for a repaint.
    static constexpr std::chrono::microseconds kRepaintPause{1000};

    // `inner` keeps the time; `repaint` runs after each long pause.
    RepaintingClock(Clock& inner, std::function<void()> repaint)
        : inner_(inner), repaint_(std::move(repaint)) {}

    std::int64_t performanceFrequency() const override { return inner_.performanceFrequency(); }
    std::int64_t performanceCounter() override { return inner_.performanceCounter(); }
    TimeOfDay timeOfDay() const override { return inner_.timeOfDay(); }
    void pause(std::chrono::microseconds duration) override {
        inner_.pause(duration);
        if (duration >= kRepaintPause && repaint_) repaint_();
    }

  private:
    Clock& inner_;
    std::function<void()> repaint_;
};

}  // namespace ressona
