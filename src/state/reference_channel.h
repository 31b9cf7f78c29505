#pragma once
// The reference channel of a two-channel capture.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ressona {

// The input channel that records the card's output wired straight back (a
// cable from the output to the input), when the capture has two channels.
// The desktop program records one channel; the headless measurer asks for
// two with --reference.
enum class ReferenceChannel : std::int32_t { kNone, kLeft, kRight };

struct ReferenceInput {
    ReferenceChannel channel = ReferenceChannel::kNone;
    // The reference channel of the last pass, as many samples as the
    // capture's measurement channel (which stays in recordBuffer).
    std::vector<std::int16_t> recording;
    bool present() const { return channel != ReferenceChannel::kNone; }
    // The interleaved capture's channel index of the reference (0 or 1).
    std::size_t index() const { return channel == ReferenceChannel::kLeft ? 0 : 1; }
};

}  // namespace ressona
