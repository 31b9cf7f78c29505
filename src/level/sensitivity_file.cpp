#include "level/sensitivity_file.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string_view>

#include "storage/file_replacement.h"

namespace ressona {

namespace {

constexpr std::size_t kLargestFile = 64 * 1024;
constexpr std::string_view kSensitivityName = "sensitivity_dbfs_at_94_db_spl";
constexpr std::string_view kHzName = "calibrator_hz";
constexpr std::string_view kDbName = "calibrator_db";

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::optional<double> numberIn(std::string_view text, double low, double high) {
    double value = 0.0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value) || value < low ||
        value > high)
        return {};
    return value;
}

struct Field {
    std::string_view name;
    double low;
    double high;
    std::optional<double>* value;
};

}  // namespace

std::string sensitivityText(const Sensitivity& s) {
    char text[256];
    int length = std::snprintf(text, sizeof text, "# Ressona input sensitivity\n%s = %.3f\n",
                               kSensitivityName.data(), s.dbfsAt94DbSpl);
    std::string result(text, static_cast<std::size_t>(length));
    if (s.calibratorHz) {
        length = std::snprintf(text, sizeof text, "%s = %g\n", kHzName.data(), *s.calibratorHz);
        result.append(text, static_cast<std::size_t>(length));
    }
    if (s.calibratorDb) {
        length = std::snprintf(text, sizeof text, "%s = %.2f\n", kDbName.data(), *s.calibratorDb);
        result.append(text, static_cast<std::size_t>(length));
    }
    return result;
}

std::string parseSensitivity(const std::string& text, Sensitivity& sensitivity) {
    sensitivity = {};
    std::optional<double> level, hz, db;
    const Field fields[] = {{kSensitivityName, -200.0, 50.0, &level},
                            {kHzName, 1.0, 100000.0, &hz},
                            {kDbName, 0.0, 200.0, &db}};
    std::string_view rest = text;
    for (int lineNumber = 1; !rest.empty(); ++lineNumber) {
        const auto newline = rest.find('\n');
        std::string_view line = rest.substr(0, newline);
        rest = newline == std::string_view::npos ? std::string_view() : rest.substr(newline + 1);
        line = trimmed(line.substr(0, line.find('#')));
        if (line.empty()) continue;
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) return where + "not \"name = value\"";
        const std::string_view name = trimmed(line.substr(0, equals));
        const std::string_view value = trimmed(line.substr(equals + 1));
        const Field* field = nullptr;
        for (const Field& candidate : fields) {
            if (candidate.name == name) field = &candidate;
        }
        if (field == nullptr) return where + "unknown name '" + std::string(name) + "'";
        if (*field->value) return where + std::string(name) + " is given twice";
        *field->value = numberIn(value, field->low, field->high);
        if (!*field->value) {
            char range[64];
            std::snprintf(range, sizeof range, "%g to %g", field->low, field->high);
            return where + std::string(name) + " must be a number from " + range;
        }
    }
    if (!level) return "no " + std::string(kSensitivityName) + " line";
    sensitivity.dbfsAt94DbSpl = *level;
    sensitivity.calibratorHz = hz;
    sensitivity.calibratorDb = db;
    return "";
}

std::string readSensitivityFile(const std::string& path, Sensitivity& sensitivity) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return "the sensitivity file '" + path + "' cannot be read";
    std::string text(kLargestFile + 1, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    if (file.bad()) return "the sensitivity file '" + path + "' cannot be read";
    if (text.size() > kLargestFile) return "the sensitivity file '" + path + "' is larger than 64 KiB";
    const std::string reason = parseSensitivity(text, sensitivity);
    return reason.empty() ? "" : "the sensitivity file '" + path + "': " + reason;
}

std::string writeSensitivityFile(const std::string& path, const Sensitivity& sensitivity) {
    FileReplacement replacement(path);
    if (replacement.ready()) {
        std::ofstream file(replacement.temporaryPath(), std::ios::binary | std::ios::trunc);
        file << sensitivityText(sensitivity);
        file.close();
        if (file && replacement.commit()) return "";
    }
    return "the sensitivity file '" + path + "' could not be written";
}

}  // namespace ressona
