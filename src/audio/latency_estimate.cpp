#include "audio/latency_estimate.h"

#include <algorithm>
#include <limits>

namespace ressona {

namespace {

// The nearest multiple of step (halves away from zero).
std::int64_t nearestMultiple(std::int64_t value, std::int64_t step) {
    const std::int64_t half = step / 2;
    const std::int64_t shifted = value >= 0 ? value + half : value - half;
    return shifted / step * step;
}

std::int32_t clampToInt32(std::int64_t value) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

void LatencyEstimate::begin(std::int64_t inputAtWrite, std::uint32_t inputStep) {
    count_ = 0;
    seen_ = 0;
    stride_ = 1;
    inputAtWrite_ = inputAtWrite;
    step_ = std::max<std::int64_t>(inputStep, 1);
    haveLast_ = false;
}

void LatencyEstimate::add(std::int64_t input, std::int64_t output) {
    // Differences of positions that fit 62 bits; anything else is no reading.
    constexpr std::int64_t kLimit = std::int64_t{1} << 61;
    if (input > kLimit || input < -kLimit || output > kLimit || output < -kLimit) return;
    const bool moved = haveLast_ && output != lastOutput_ && (step_ > 1 || input != lastInput_);
    lastInput_ = input;
    lastOutput_ = output;
    haveLast_ = true;
    latest_ = input - output;
    if (!moved) return;
    if (seen_++ % stride_ != 0) return;
    if (count_ == kCapacity) {
        for (std::size_t i = 0; i < kCapacity / 2; ++i) offsets_[i] = offsets_[2 * i];
        count_ = kCapacity / 2;
        stride_ *= 2;
        if ((seen_ - 1) % stride_ != 0) return;
    }
    offsets_[count_++] = input - output;
}

std::int32_t LatencyEstimate::result() const {
    if (count_ == 0) {
        if (step_ > 1 || !haveLast_) return clampToInt32(step_ > 1 ? inputAtWrite_ : 0);
        return clampToInt32(std::clamp(latest_, -(std::int64_t{1} << 40), std::int64_t{1} << 40));
    }
    std::array<std::int64_t, kCapacity> sorted = offsets_;
    const auto middle = sorted.begin() + static_cast<std::ptrdiff_t>((count_ - 1) / 2);
    std::nth_element(sorted.begin(), middle, sorted.begin() + static_cast<std::ptrdiff_t>(count_));
    std::int64_t offset = *middle;
    // Limit before the grid arithmetic, which must not overflow.
    constexpr std::int64_t kRange = std::int64_t{1} << 40;
    offset = std::clamp(offset, -kRange, kRange);
    if (step_ > 1) {
        const std::int64_t anchor = std::clamp(inputAtWrite_, -kRange, kRange);
        offset = anchor + nearestMultiple(offset - anchor, step_);
    }
    return clampToInt32(offset);
}

}  // namespace ressona
