#include "platform/dialog/dialog_int.h"

#include <limits>

namespace ressona {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::uint32_t parseDialogInt(std::string_view text, bool isSigned, bool& translated) {
    translated = false;
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    bool negative = false;
    if (isSigned && i < text.size() && text[i] == '-') {
        negative = true;
        ++i;
    }
    const std::uint64_t limit = isSigned ? (negative ? 0x80000000ull : 0x7FFFFFFFull)
                                         : std::numeric_limits<std::uint32_t>::max();
    std::uint64_t magnitude = 0;
    const std::size_t firstDigit = i;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(text[i] - '0');
        if (magnitude > limit) return 0;
    }
    if (i == firstDigit) return 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    if (i != text.size()) return 0;
    translated = true;
    const auto bits = static_cast<std::uint32_t>(magnitude);
    return negative ? 0u - bits : bits;
}

std::string formatDialogInt(std::uint32_t value, bool isSigned) {
    if (isSigned) return std::to_string(static_cast<std::int32_t>(value));
    return std::to_string(value);
}

}  // namespace ressona
