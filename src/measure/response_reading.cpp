#include "measure/response_reading.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "state/hand_over.h"
#include "state/measurement_state.h"
#include "exchange/log_interpolation.h"
#include "exchange/response_text.h"
#include "signals/sample_arrays.h"
#include "signals/response_scale.h"
#include "storage/result_file.h"

namespace ressona {

namespace {

constexpr std::uint32_t kPanelRates[] = {8000, 11025, 22050, 44100, 48000};
constexpr std::uint32_t kShortestLength = 64;
constexpr std::uint32_t kLongestLength = 16384;
// The saved file's fixed columns (1-based, inclusive): the header's numbers
// and each data line's phase.
constexpr std::size_t kHeaderNumberFirst = 21;
constexpr std::size_t kHeaderNumberLast = 30;
constexpr std::size_t kPhaseFirst = 25;
constexpr std::size_t kPhaseLast = 32;
constexpr std::size_t kHeaderLines = 4;

// The number in columns first..last of a line, blanks ignored.
std::optional<double> column(const std::string& line, std::size_t first, std::size_t last) {
    std::string digits;
    for (std::size_t i = first - 1; i < last && i < line.size(); ++i) {
        if (line[i] != ' ' && line[i] != '\r') digits += line[i];
    }
    double value = 0.0;
    const char* end = digits.data() + digits.size();
    const auto [ptr, ec] = std::from_chars(digits.data(), end, value);
    if (digits.empty() || ec != std::errc() || ptr != end || !std::isfinite(value)) return {};
    return value;
}

std::string fileName(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

// The file's phase column in radians, one per data line, when it has exactly
// `bins` data lines that all read.
std::vector<float> savedPhases(const std::string& path, std::size_t bins) {
    std::ifstream file(path, std::ios::binary);
    std::string line;
    for (std::size_t i = 0; i < kHeaderLines; ++i) {
        if (!std::getline(file, line)) return {};
    }
    std::vector<float> phases;
    while (phases.size() <= bins && std::getline(file, line)) {
        const auto phase = column(line, kPhaseFirst, kPhaseLast);
        if (!phase || std::fabs(*phase) > 4.0) return {};
        phases.push_back(static_cast<float>(*phase));
    }
    if (phases.size() != bins) return {};
    return phases;
}

int readText(const std::string& path, MeasurementState& state, SampleArrays& arrays,
             std::vector<float>& phases, ResponseReading& reading) {
    if (!std::ifstream(path, std::ios::binary)) {
        reading.problem = path + ": cannot be opened";
        return kResultFileNotOpened;
    }
    ResponseText curve;
    reading.problem = readResponseText(path, curve);
    if (!reading.problem.empty()) return kResultFileBadHeader;
    const auto bins = static_cast<std::size_t>(arrays.binCount);
    std::vector<double> frequencies(bins);
    for (std::size_t k = 1; k <= bins; ++k) {
        frequencies[k - 1] = positionFrequency(k, arrays.binWidth);
    }
    std::vector<double> levels(bins);
    interpolateLogFrequency(curve.frequencyHz, curve.levelDb, frequencies, levels);
    const auto n = static_cast<float>(arrays.pointCount);
    for (std::size_t k = 1; k <= bins; ++k) {
        arrays.capturedSpectrum[k] = magnitudeOfLevel(levels[k - 1], n);
    }
    if (!curve.phaseDeg.empty()) {
        std::vector<double> degrees(bins);
        interpolateLogFrequency(curve.frequencyHz, unwrappedDegrees(curve.phaseDeg), frequencies,
                                degrees);
        // A response text's phase falls with delay; the panel's rises.
        phases.resize(bins);
        for (std::size_t i = 0; i < bins; ++i) {
            phases[i] = static_cast<float>(-wrappedRadians(degrees[i]));
        }
    }
    // The plot's caption is the label up to its first blank: the name, cut to fit.
    setCapturedLabel(state, fileName(path).substr(0, kCapturedLabelLength - 1) + " ");
    state.plotShowCaptured = true;
    return kResultFileDone;
}

}  // namespace

int readResponseFile(MeasurementState& state, SampleArrays& arrays, bool becomesResult,
                     ResponseReading& reading) {
    const std::string path = resultFilePath(state);
    reading = {};
    reading.file = path;
    reading.text = isResponseTextName(path);
    const auto bins = static_cast<std::size_t>(std::max(arrays.binCount, 0));
    if (bins == 0 || arrays.capturedSpectrum.size() != bins ||
        arrays.magnitudeSpectrum.size() != bins || arrays.phaseSpectrum.size() != bins) {
        reading.problem = "no grid to read onto";
        return kResultFileNotOpened;
    }
    std::vector<float> phases;
    int status = kResultFileDone;
    if (reading.text) {
        status = readText(path, state, arrays, phases, reading);
    } else {
        status = readResult(state, arrays);
        if (status != kResultFileDone) {
            reading.problem =
                path + (status == kResultFileNotOpened ? ": cannot be opened"
                                                       : ": not a readable saved file");
        }
        if (status == kResultFileDone && becomesResult) phases = savedPhases(path, bins);
    }
    if (status != kResultFileDone) return status;
    reading.hasPhase = !phases.empty();
    if (becomesResult) {
        for (std::size_t k = 1; k <= bins; ++k) {
            arrays.magnitudeSpectrum[k] = arrays.capturedSpectrum[k];
            arrays.phaseSpectrum[k] = phases.empty() ? 0.0f : phases[k - 1];
        }
        arrays.resultsReady = true;
    }
    return kResultFileDone;
}

std::optional<std::pair<std::uint32_t, std::uint32_t>> savedFileGrid(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::string title;
    std::string rateLine;
    std::string countLine;
    if (!std::getline(file, title) || !std::getline(file, rateLine) ||
        !std::getline(file, countLine)) {
        return {};
    }
    const auto rate = column(rateLine, kHeaderNumberFirst, kHeaderNumberLast);
    const auto count = column(countLine, kHeaderNumberFirst, kHeaderNumberLast);
    if (!rate || !count) return {};
    const bool panelRate =
        std::find(std::begin(kPanelRates), std::end(kPanelRates), *rate) != std::end(kPanelRates);
    for (std::uint32_t n = kShortestLength; n <= kLongestLength; n *= 2) {
        if (panelRate && *count == n / 2) {
            return std::pair{static_cast<std::uint32_t>(*rate), n};
        }
    }
    return {};
}

}  // namespace ressona
