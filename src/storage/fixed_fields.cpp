#include "storage/fixed_fields.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace ressona {

namespace {

std::string rightAligned(std::string_view text, int width) {
    const auto columns = static_cast<std::size_t>(width);
    if (text.size() > columns) return std::string(columns, '*');
    return std::string(columns - text.size(), ' ') + std::string(text);
}

// The fixed-point text of value with the given decimals, or empty when it is
// wider than width.
std::string fixedText(double value, int width, int decimals) {
    std::array<char, 400> text{};  // the widest double in fixed notation fits
    const auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), value,
                                            std::chars_format::fixed, decimals);
    if (error != std::errc{}) return {};
    std::string result(text.data(), end);
    if (decimals == 0) result += '.';  // the point is always written
    if (result.size() > static_cast<std::size_t>(width)) return {};
    return result;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Exact powers of ten as doubles: 10^0 .. 10^22.
double powerOfTen(int exponent) {
    constexpr std::array<double, 23> kExact = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                               1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                               1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (exponent <= 22) return kExact[static_cast<std::size_t>(exponent)];
    return std::pow(10.0, exponent);
}

}  // namespace

std::string formatInteger(std::int64_t value, int width) {
    std::array<char, 24> text{};
    const auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{}) return std::string(static_cast<std::size_t>(width), '*');
    return rightAligned(std::string_view(text.data(), static_cast<std::size_t>(end - text.data())),
                        width);
}

std::string formatFixed(double value, int width, int decimals) {
    const std::string text = std::isfinite(value) ? fixedText(value, width, decimals) : "";
    if (text.empty()) return std::string(static_cast<std::size_t>(width), '*');
    return rightAligned(text, width);
}

std::string formatFixedFitting(double value, int width, int decimals) {
    if (std::isfinite(value)) {
        for (int d = decimals; d >= 0; --d) {
            const std::string text = fixedText(value, width, d);
            if (!text.empty()) return rightAligned(text, width);
        }
    }
    return std::string(static_cast<std::size_t>(width), '*');
}

bool readRealField(std::string_view field, int impliedDecimals, float& value) {
    // Blanks carry no meaning anywhere in a field.
    std::string text;
    for (char c : field) {
        if (c != ' ') text += c;
    }
    std::size_t at = 0;
    auto takeSign = [&](bool& negative) {
        negative = false;
        if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
            negative = text[at] == '-';
            ++at;
            return true;
        }
        return false;
    };
    if (text.empty()) {
        value = 0.0f;
        return true;
    }
    bool negative = false;
    takeSign(negative);

    // Up to 18 significant digits are kept exactly; a field has far fewer.
    std::int64_t mantissa = 0;
    int digits = 0;
    int significant = 0;  // digits after the leading zeros
    int fractionDigits = 0;
    int dropped = 0;  // digits before the point beyond the 18 kept
    bool point = false;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (c == '.' && !point) {
            point = true;
        } else if (isDigit(c)) {
            ++digits;
            if (mantissa != 0 || c != '0') ++significant;
            if (significant <= 18) {
                mantissa = mantissa * 10 + (c - '0');
                if (point) ++fractionDigits;
            } else if (!point) {
                ++dropped;
            }
        } else {
            break;
        }
    }
    if (digits == 0) return false;

    int exponent = 0;
    if (at < text.size()) {
        const char c = text[at];
        bool exponentNegative = false;
        if (c == 'E' || c == 'e' || c == 'D' || c == 'd') {
            ++at;
            takeSign(exponentNegative);
        } else if (!takeSign(exponentNegative)) {
            return false;
        }
        if (at == text.size()) return false;
        for (; at < text.size(); ++at) {
            if (!isDigit(text[at])) return false;
            exponent = std::min(exponent * 10 + (text[at] - '0'), 100000);
        }
        if (exponentNegative) exponent = -exponent;
    }
    const int scale = exponent + dropped - (point ? fractionDigits : impliedDecimals);

    double magnitude = 0.0;
    if (mantissa != 0) {
        // Beyond these the value is certainly out of a float's range, or zero.
        if (scale > 60) return false;
        if (scale < -80) {
            magnitude = 0.0;
        } else {
            const auto m = static_cast<double>(mantissa);
            magnitude = scale >= 0 ? m * powerOfTen(scale) : m / powerOfTen(-scale);
        }
    }
    if (magnitude > static_cast<double>(std::numeric_limits<float>::max())) return false;
    value = static_cast<float>(negative ? -magnitude : magnitude);
    return true;
}

bool readIntegerField(std::string_view field, std::int32_t& value) {
    std::string text;
    for (char c : field) {
        if (c != ' ') text += c;
    }
    if (text.empty()) {
        value = 0;
        return true;
    }
    std::size_t at = 0;
    const bool negative = text[0] == '-';
    if (text[0] == '+' || text[0] == '-') at = 1;
    if (at == text.size()) return false;
    std::int64_t magnitude = 0;
    for (; at < text.size(); ++at) {
        if (!isDigit(text[at])) return false;
        magnitude = magnitude * 10 + (text[at] - '0');
        if (magnitude > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) return false;
    }
    const std::int64_t result = negative ? -magnitude : magnitude;
    if (result > std::numeric_limits<std::int32_t>::max()) return false;
    value = static_cast<std::int32_t>(result);
    return true;
}

}  // namespace ressona
