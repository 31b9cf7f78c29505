#pragma once
// Whether two recordings of the same pulse agree. A pulse sounds for one
// sample and leaves the rest of its pass silent, so a cycle that the sound
// stream drops or repeats in that silence leaves no trace of itself in the
// played excitation's timing, nor on a reference channel wired from the
// output. Through a system with memory it still cuts or doubles the
// response's tail: behind a 1 kHz low-pass a drop 34 samples after the pulse
// put the average of three passes 0.1 dB off. What the same system gives for
// the same pulse twice differs only by the noise, and by a level (a mixer
// moved between the passes); so a stretch in which two recordings differ by
// far more than that, and by a good share of what they hold, is a pass that
// is no response of the system.

#include <cstdint>
#include <span>

namespace ressona {

// Lengths of the stretches compared: short enough that a slip in a tail that
// has died away within tens of samples stands out in its own stretch.
inline constexpr std::int64_t kAgreementBlock = 16;

// Where `recording` departs from `kept`, once scaled to kept's level, by
// more than their noise and their likeness allow. Both start where the
// excitation arrived; the shorter length is compared.
struct PassDeparture {
    std::int64_t from = -1;  // the first sample of the stretch that departs; -1: they agree
    // Whether the two agreed before it on a stretch that holds the sound
    // (the direct sound): then the stream slipped. A recording that departs
    // where its sound begins is the system changed (a microphone moved
    // between passes), which is no fault of the pass.
    bool afterAgreement = false;
};

PassDeparture departureFrom(std::span<const std::int16_t> kept,
                            std::span<const std::int16_t> recording);

// Whether a periodic excitation's recording repeats itself. Once a system
// has answered a repeating sequence for longer than its memory, each period
// of the recording is the one before it again, but for the noise. A cycle the
// stream drops or repeats moves every later sample against the period before,
// to the recording's end (a drop in the last hundred samples of the analysed
// period put a loopback's response 16 dB off, too near the end for the
// excitation's timing to see); a cycle spoilt in place (zeros, or a cycle
// twice over the next) differs for that cycle alone, by about all it holds.
// Compares recording[t] with recording[t + period] from `arrival` on: the
// stretch of t that differs most, after agreeing before it. A system whose
// memory outlasts the comparison (a hall) differs from the start and never
// agreed, so it is not judged.
struct PeriodDeparture {
    std::int64_t from = -1;  // the stretch's first t; -1: the periods agree
    std::int64_t to = -1;    // one past its last
};

PeriodDeparture periodDeparture(std::span<const std::int16_t> recording, std::int64_t arrival,
                                std::int64_t period);

}  // namespace ressona
