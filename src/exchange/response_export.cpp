#include "exchange/response_export.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

namespace ressona {

namespace {

// Decimals written: a hundred-thousandth of a hertz and of a decibel, a
// ten-thousandth of a degree, well below what any later reading resolves.
constexpr int kFrequencyDecimals = 5;
constexpr int kLevelDecimals = 5;
constexpr int kPhaseDecimals = 4;
constexpr int kExtraDecimals = 9;  // a group delay in seconds to a nanosecond

void appendNumber(std::string& text, double value, int decimals) {
    // Room for the widest finite double in fixed notation.
    char buffer[400];
    // A rounded -0 is written as 0.
    if (value == 0.0 || std::fabs(value) < 0.5 * std::pow(10.0, -decimals)) value = 0.0;
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    text.append(buffer, result.ptr);
}

std::string rows(const ExportedResponse& response, char separator) {
    std::string text;
    text.reserve(response.frequencyHz.size() * 40);
    for (std::size_t i = 0; i < response.frequencyHz.size(); ++i) {
        appendNumber(text, response.frequencyHz[i], kFrequencyDecimals);
        text += separator;
        appendNumber(text, response.levelDb[i], kLevelDecimals);
        text += separator;
        appendNumber(text, response.phaseDeg[i], kPhaseDecimals);
        for (const ExportedColumn& column : response.extraColumns) {
            text += separator;
            const double value = column.values[i];
            if (std::isfinite(value)) {
                appendNumber(text, value, kExtraDecimals);
            } else {
                text += "nan";
            }
        }
        text += '\n';
    }
    return text;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

std::string exportProblem(const ExportedResponse& response) {
    const std::size_t count = response.frequencyHz.size();
    if (response.levelDb.size() != count || response.phaseDeg.size() != count) {
        return "the response's columns differ in length";
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (!std::isfinite(response.frequencyHz[i]) || !std::isfinite(response.levelDb[i]) ||
            !std::isfinite(response.phaseDeg[i])) {
            return "the response holds a value that is not a finite number";
        }
    }
    for (const ExportedColumn& column : response.extraColumns) {
        if (column.values.size() != count) return "the response's columns differ in length";
    }
    return "";
}

std::string frdText(const ExportedResponse& response, std::span<const std::string> comments) {
    std::string text;
    for (const std::string& comment : comments) {
        text += "* ";
        for (const char c : comment) {
            text += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
        }
        text += '\n';
    }
    return text + rows(response, ' ');
}

std::string csvText(const ExportedResponse& response) {
    std::string header = "frequency_hz," + std::string(response.levelColumn) + ",phase_deg";
    for (const ExportedColumn& column : response.extraColumns) header += ',' + column.name;
    return header + '\n' + rows(response, ',');
}

std::string writeTextFile(const std::string& path, std::string_view text) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) return std::string("cannot be created (") + std::strerror(errno) + ")";
    if (std::fwrite(text.data(), 1, text.size(), file.get()) != text.size()) {
        return std::string("cannot be written (") + std::strerror(errno) + ")";
    }
    if (std::fclose(file.release()) != 0) {
        return std::string("cannot be closed (") + std::strerror(errno) + ")";
    }
    return "";
}

}  // namespace ressona
