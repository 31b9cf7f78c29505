#include "plots/level_offsets.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "plots/plot_numbers.h"
#include "signals/response_scale.h"

namespace ressona {

namespace {

constexpr int kBandShift = 16;  // the bits of a float below its band's
constexpr std::uint32_t kBands = std::uint32_t{1} << (32 - kBandShift);
constexpr std::int32_t kUnknown = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMixed = kUnknown + 1;
// The widest a band may lie from a pixel boundary, in dB, for its pixel to be
// trusted: the float rounding of a level is below 1e-4 dB, so every magnitude
// of such a band rounds to the pixel its ends do.
constexpr float kMarginDb = 1e-3f;

}  // namespace

void LevelOffsets::prepare(const Scale& scale) {
    if (prepared_ && scale == scale_) return;
    scale_ = scale;
    bands_.assign(kBands, kUnknown);
    prepared_ = true;
}

float LevelOffsets::unrounded(float value) const {
    const float m = scale_.squared ? std::sqrt(value) : value;
    const float d = levelDecibels(m, scale_.points) + scale_.shiftDb;
    return (d - scale_.dbLow) * scale_.pixelsPerDb;
}

std::int32_t LevelOffsets::offset(float value) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
    // Positive finite magnitudes only; anything else is worked out as it is.
    if (bits < std::bit_cast<std::uint32_t>(std::numeric_limits<float>::infinity())) {
        const std::int32_t pixel = bandOffset(bits >> kBandShift);
        if (pixel != kMixed) return pixel;
    }
    return nearestPixel(unrounded(value));
}

std::int32_t LevelOffsets::bandOffset(std::uint32_t band) {
    std::int32_t& pixel = bands_[band];
    if (pixel != kUnknown) return pixel;
    pixel = kMixed;
    const float first = std::bit_cast<float>(band << kBandShift);
    const float last = std::bit_cast<float>((band << kBandShift) | ((1u << kBandShift) - 1));
    if (!std::isfinite(last)) return pixel;
    const float a = unrounded(first);
    const float b = unrounded(last);
    // The margin outgrows the rounding of each step of the formula by far:
    // the logarithm's, the sums' with the shift and the low limit, the product's.
    constexpr float kRelative = 1.0f / 65536.0f;
    const float terms = std::fabs(scale_.shiftDb) + std::fabs(scale_.dbLow);
    const float margin = std::fabs(scale_.pixelsPerDb) * (kMarginDb + kRelative * terms) +
                         kRelative * std::max(std::fabs(a), std::fabs(b)) + 1e-3f;
    const float low = std::min(a, b) - margin;
    const float high = std::max(a, b) + margin;
    if (!std::isfinite(low) || !std::isfinite(high)) return pixel;
    const std::int32_t lowPixel = nearestPixel(low);
    if (lowPixel == nearestPixel(high)) pixel = lowPixel;
    return pixel;
}

}  // namespace ressona
