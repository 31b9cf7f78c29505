#include "audio/latency_estimate.h"

#include <algorithm>
#include <limits>
#include <span>

namespace ressona {

namespace {

// Offsets beyond this are limited before they are turned into 32 bits.
constexpr std::int64_t kRange = std::int64_t{1} << 40;

std::int32_t clampToInt32(std::int64_t value) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// The median of `values`, which it reorders; the lower one of an even count.
std::int64_t medianOf(std::span<std::int64_t> values) {
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>((values.size() - 1) / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

}  // namespace

void LatencyEstimate::begin(std::int64_t inputAtWrite, std::uint32_t inputStep) {
    count_ = 0;
    seen_ = 0;
    stride_ = 1;
    inputAtWrite_ = inputAtWrite;
    step_ = std::max<std::int64_t>(inputStep, 1);
    haveLast_ = false;
    recentCount_ = 0;
    haveSteady_ = false;
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
    if (!haveSteady_) noteSteadiness(input - output);
    if (seen_++ % stride_ != 0) return;
    if (count_ == kCapacity) {
        for (std::size_t i = 0; i < kCapacity / 2; ++i) offsets_[i] = offsets_[2 * i];
        count_ = kCapacity / 2;
        stride_ *= 2;
        if ((seen_ - 1) % stride_ != 0) return;
    }
    offsets_[count_++] = input - output;
}

void LatencyEstimate::noteSteadiness(std::int64_t offset) {
    if (recentCount_ == kSteadyReadings) {
        std::copy(recent_.begin() + 1, recent_.end(), recent_.begin());
        --recentCount_;
    }
    recent_[recentCount_++] = offset;
    if (recentCount_ < kSteadyReadings) return;
    const auto [least, most] = std::minmax_element(recent_.begin(), recent_.end());
    if (*most - *least > kSteadyScatter) return;
    std::array<std::int64_t, kSteadyReadings> run = recent_;
    steady_ = medianOf(run);
    haveSteady_ = true;
}

std::int32_t LatencyEstimate::result() const {
    // A stepped server's readings between its cycles are only estimates, and
    // for a fresh stream they can be several cycles out: the input's count at
    // the write is what tells.
    if (step_ > 1) return clampToInt32(inputAtWrite_);
    if (count_ == 0) return haveLast_ ? clampToInt32(std::clamp(latest_, -kRange, kRange)) : 0;
    if (haveSteady_) return clampToInt32(steady_);
    std::array<std::int64_t, kCapacity> sorted = offsets_;
    return clampToInt32(medianOf(std::span(sorted).first(count_)));
}

}  // namespace ressona
