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

}  // namespace ressona
