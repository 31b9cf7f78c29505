#pragma once
// The integer conversions and fixed-width number texts of the plots' read-outs:
// nearest (halves away from zero), truncate (towards zero), fixed(w.d) and
// int(w). The axes' labels are in plots/plot_axes.h.

#include <cstdint>
#include <limits>
#include <string>

namespace ressona {

// The integer nearest to v, halves away from zero; saturates at the int32 limits, NaN gives 0.
inline std::int32_t nearest(float v) {
    if (!(v > -2147483648.0f && v < 2147483648.0f)) {
        if (v > 0.0f) return std::numeric_limits<std::int32_t>::max();
        if (v < 0.0f) return std::numeric_limits<std::int32_t>::min();
        return 0;
    }
    const auto t = static_cast<std::int32_t>(v);       // towards zero
    const float fraction = v - static_cast<float>(t);  // exact for every float in range
    // Sums of comparisons rather than branches: plots round many thousands of
    // values per draw with fractions no branch predictor can guess.
    return t + static_cast<std::int32_t>(fraction >= 0.5f) -
           static_cast<std::int32_t>(fraction <= -0.5f);
}

// v without its fraction (towards zero); saturates like nearest.
inline std::int32_t truncateToInt(float v) {
    if (!(v > -2147483648.0f && v < 2147483648.0f)) {
        if (v > 0.0f) return std::numeric_limits<std::int32_t>::max();
        if (v < 0.0f) return std::numeric_limits<std::int32_t>::min();
        return 0;
    }
    return static_cast<std::int32_t>(v);
}

// Pixel coordinates far outside any bitmap are held at +-2^24, so that label
// offsets and segment ends never overflow; such points lie off the picture anyway.
inline constexpr std::int32_t kFarOutside = 1 << 24;
inline std::int32_t nearestPixel(float v) {
    const std::int32_t n = nearest(v);
    return n < -kFarOutside ? -kFarOutside : (n > kFarOutside ? kFarOutside : n);
}

// fixed(w.d): right-aligned in `width` characters with `decimals` decimals and
// always a decimal point; `width` asterisks when it does not fit.
std::string fixedText(float value, int width, int decimals);
// int(w): right-aligned in `width` characters; asterisks when it does not fit.
std::string intText(std::int32_t value, int width);

}  // namespace ressona
