#include "plots/plot_numbers.h"

#include <cstdio>

namespace ressona {

std::string fixedText(float value, int width, int decimals) {
    char buffer[64];
    const int length =
        std::snprintf(buffer, sizeof buffer, "%#*.*f", width, decimals, static_cast<double>(value));
    if (length < 0 || length > width) return std::string(static_cast<std::size_t>(width), '*');
    return std::string(buffer, static_cast<std::size_t>(length));
}

std::string intText(std::int32_t value, int width) {
    char buffer[32];
    const int length = std::snprintf(buffer, sizeof buffer, "%*d", width, value);
    if (length < 0 || length > width) return std::string(static_cast<std::size_t>(width), '*');
    return std::string(buffer, static_cast<std::size_t>(length));
}

std::string formatLogFrequencyLabel(float hertz) {
    const std::string whole = fixedText(hertz, 6, 0);
    if (hertz < 1000.0f) return whole.substr(2, 4) + "  ";
    if (hertz < 10000.0f) return fixedText(hertz * 0.001f, 6, 1).substr(2, 4) + "k ";
    return whole.substr(0, 2) + "k   ";
}

float dbTickStep(float range) {
    if (range <= 2.0f) return 0.3333f;
    if (range <= 10.0f) return 1.0f;
    if (range <= 20.0f) return 3.0f;
    if (range <= 50.0f) return 6.0f;
    if (range <= 100.0f) return 12.0f;
    return 24.0f;
}

}  // namespace ressona
