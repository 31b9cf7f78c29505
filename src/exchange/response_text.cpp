#include "exchange/response_text.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>

namespace ressona {

namespace {

bool isSeparator(char c) {
    return c == ' ' || c == '\t' || c == ',' || c == ';';
}

bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isCommentStart(char c) {
    return isAsciiLetter(c) || c == '*' || c == '#' || c == '"' || c == ';' ||
           static_cast<unsigned char>(c) >= 0x80;
}

// A number written with a dot as the decimal sign, optionally signed, taking
// the whole field; from_chars alone does not take a leading '+'.
bool parseNumber(std::string_view field, double& value) {
    if (!field.empty() && field.front() == '+') {
        field.remove_prefix(1);
        if (!field.empty() && (field.front() == '+' || field.front() == '-')) return false;
    }
    if (field.empty()) return false;
    const char* end = field.data() + field.size();
    const auto [ptr, ec] = std::from_chars(field.data(), end, value, std::chars_format::general);
    return ec == std::errc() && ptr == end;
}

// The fields of a data line, at most `most` of them.
std::size_t splitFields(std::string_view line, std::string_view* fields, std::size_t most) {
    std::size_t count = 0;
    std::size_t i = 0;
    while (count < most) {
        while (i < line.size() && isSeparator(line[i])) ++i;
        if (i == line.size()) break;
        const std::size_t start = i;
        while (i < line.size() && !isSeparator(line[i])) ++i;
        fields[count++] = line.substr(start, i - start);
    }
    return count;
}

// Finds "sens" (any case) at the start of a word in a comment and reads the
// number after it: words and blanks ("Factor", "itivity") and one '=' or ':'
// may come between; after it only "dB" or no unit at all.
std::optional<double> sensitivityIn(std::string_view line) {
    for (std::size_t at = 0; at + 4 <= line.size(); ++at) {
        if (at > 0 && isAsciiLetter(line[at - 1])) continue;
        if (lower(line[at]) != 's' || lower(line[at + 1]) != 'e' || lower(line[at + 2]) != 'n' ||
            lower(line[at + 3]) != 's') {
            continue;
        }
        std::size_t i = at + 4;
        while (i < line.size() && (isAsciiLetter(line[i]) || line[i] == ' ' || line[i] == '\t')) {
            ++i;
        }
        if (i < line.size() && (line[i] == '=' || line[i] == ':')) ++i;
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        std::size_t end = i;
        while (end < line.size() && line[end] != '\0' &&
               std::strchr("+-.0123456789eE", line[end]) != nullptr) {
            ++end;
        }
        double value = 0.0;
        if (!parseNumber(line.substr(i, end - i), value) || !std::isfinite(value) ||
            std::fabs(value) > kResponseLargestDb) {
            continue;
        }
        std::size_t unit = end;
        while (unit < line.size() && (line[unit] == ' ' || line[unit] == '\t')) ++unit;
        if (unit + 2 <= line.size() && lower(line[unit]) == 'd' && lower(line[unit + 1]) == 'b') {
            unit += 2;
        }
        if (unit < line.size() && (isAsciiLetter(line[unit]) || line[unit] == '/')) continue;
        return value;
    }
    return std::nullopt;
}

std::string lineReason(std::size_t line, const std::string& what) {
    return "line " + std::to_string(line) + ": " + what;
}

std::string numberText(double value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// Reads one data line into the response; empty, or the reason it cannot be read.
struct DataLines {
    std::size_t count = 0;  // data lines read so far, those at 0 Hz included
    bool phase = false;     // whether they have a phase
};

std::string readDataLine(std::string_view text, std::size_t lineNumber, DataLines& seen,
                         ResponseText& response) {
    std::string_view fields[3];
    const std::size_t count = splitFields(text, fields, 3);
    double frequency = 0.0;
    double level = 0.0;
    double phase = 0.0;
    if (count < 2 || !parseNumber(fields[0], frequency) || !parseNumber(fields[1], level)) {
        return lineReason(lineNumber, "not a frequency in Hz and a level in dB");
    }
    const bool hasPhase = count == 3;
    if (hasPhase && !parseNumber(fields[2], phase)) {
        return lineReason(lineNumber, "the phase is not a number");
    }
    if (!std::isfinite(frequency) || frequency < 0.0 || frequency > kResponseHighestHz) {
        return lineReason(lineNumber, "the frequency must lie from 0 to 10 MHz");
    }
    if (!std::isfinite(level) || std::fabs(level) > kResponseLargestDb) {
        return lineReason(lineNumber, "the level must lie within +-300 dB");
    }
    if (!std::isfinite(phase) || std::fabs(phase) > kResponseLargestDegrees) {
        return lineReason(lineNumber, "the phase must lie within +-1000000 degrees");
    }
    if (seen.count > 0 && hasPhase != seen.phase) {
        return lineReason(lineNumber, hasPhase ? "has a phase, the lines before have none"
                                               : "has no phase, the lines before have one");
    }
    seen.phase = hasPhase;
    ++seen.count;
    if (frequency == 0.0) return "";
    if (!response.frequencyHz.empty() && !(frequency > response.frequencyHz.back())) {
        return lineReason(lineNumber, "the frequency " + numberText(frequency) +
                                          " Hz does not rise above the line before (" +
                                          numberText(response.frequencyHz.back()) + " Hz)");
    }
    if (response.frequencyHz.size() == kResponseTextMostPoints) {
        return lineReason(lineNumber, "more than 1048576 points");
    }
    response.frequencyHz.push_back(frequency);
    response.levelDb.push_back(level);
    if (hasPhase) response.phaseDeg.push_back(phase);
    return "";
}

}  // namespace

std::string parseResponseText(std::string_view text, ResponseText& response) {
    response = {};
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        text.remove_prefix(kByteOrderMark.size());
    }
    DataLines seen;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        if (line.empty()) continue;
        if (isCommentStart(line.front())) {
            if (!response.sensitivityDb) response.sensitivityDb = sensitivityIn(line);
            continue;
        }
        const std::string reason = readDataLine(line, lineNumber, seen, response);
        if (!reason.empty()) {
            response = {};
            return reason;
        }
    }
    if (response.frequencyHz.size() < 2) {
        const std::size_t points = response.frequencyHz.size();
        response = {};
        return "holds " + std::to_string(points) + (points == 1 ? " point" : " points") +
               " above 0 Hz; at least 2 are needed";
    }
    return "";
}

std::string readResponseText(const std::string& path, ResponseText& response) {
    response = {};
    std::ifstream file(path, std::ios::binary);
    if (!file) return path + ": cannot be opened (" + std::strerror(errno) + ")";
    std::string text;
    char buffer[65536];
    while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(file.gcount()));
        if (text.size() > kResponseTextMostBytes) return path + ": larger than 64 MiB";
    }
    if (file.bad()) return path + ": cannot be read";
    const std::string reason = parseResponseText(text, response);
    return reason.empty() ? "" : path + ": " + reason;
}

bool isResponseTextName(std::string_view path) {
    if (path.size() < 4) return false;
    std::string ending;
    for (const char c : path.substr(path.size() - 4)) ending += lower(c);
    return ending == ".frd" || ending == ".txt" || ending == ".csv";
}

}  // namespace ressona
