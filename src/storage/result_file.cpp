#include "storage/result_file.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <string_view>

#include "state/hand_over.h"
#include "state/measurement_state.h"
#include "signals/sample_arrays.h"
#include "storage/fixed_fields.h"

namespace ressona {

namespace {

constexpr std::string_view kTitle = " Ressona saved file";
constexpr std::string_view kRateLabel = " Samples per second ";
constexpr std::string_view kCountLabel = "   Number of points ";
constexpr std::string_view kHeading = "        Hz   Amplitude     Phase";
constexpr int kFrequencyDecimals = 3;
constexpr int kAmplitudeDecimals = 5;
constexpr float kUnread = -1.0f;  // marks a position no data line has reached

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::int32_t nearest(float value) {
    return static_cast<std::int32_t>(std::lround(value));
}

bool gridBuilt(const SampleArrays& arrays) {
    const auto bins = static_cast<std::size_t>(std::max(arrays.binCount, 0));
    return bins >= 1 && arrays.pointCount == 2 * arrays.binCount &&
           arrays.magnitudeSpectrum.size() == bins && arrays.phaseSpectrum.size() == bins &&
           arrays.capturedSpectrum.size() == bins;
}

bool writeLine(std::FILE* file, const std::string& line) {
    return std::fwrite(line.data(), 1, line.size(), file) == line.size() &&
           std::fputc('\n', file) != EOF;
}

// Reads a file line by line, keeping the first kKept characters of each line
// without its end (LF, or CR LF); the rest of a long line is skipped.
class LineReader {
  public:
    static constexpr std::size_t kKept = 64;

    explicit LineReader(std::FILE* file) : file_(file) {}

    // False at the end of the file, when no character is left for a line.
    bool next() {
        length_ = 0;
        std::size_t total = 0;
        int c = std::getc(file_);
        if (c == EOF) return false;
        for (; c != EOF && c != '\n'; c = std::getc(file_)) {
            if (length_ < kKept) kept_[length_++] = static_cast<char>(c);
            ++total;
        }
        if (total == length_ && length_ > 0 && kept_[length_ - 1] == '\r') --length_;
        return true;
    }

    // Columns from..to (1-based) of the line, blanks where it is shorter.
    std::string columns(std::size_t from, std::size_t to) const {
        std::string text(to - from + 1, ' ');
        for (std::size_t c = from; c <= to && c <= length_; ++c) text[c - from] = kept_[c - 1];
        return text;
    }

  private:
    std::FILE* file_;
    std::array<char, kKept> kept_{};
    std::size_t length_ = 0;
};

bool readIntegerLine(LineReader& lines, std::int32_t& value) {
    return lines.next() && readIntegerField(lines.columns(21, 30), value);
}

bool readDataLine(LineReader& lines, float& frequency, float& amplitude) {
    return lines.next() && readRealField(lines.columns(1, 10), kFrequencyDecimals, frequency) &&
           readRealField(lines.columns(13, 22), kAmplitudeDecimals, amplitude);
}

// The title's columns 2..61; a title without any blank gives way to the file name.
void readLabel(const LineReader& lines, MeasurementState& state) {
    std::string label = lines.columns(2, 61);
    if (label.find(' ') == std::string::npos) {
        label.assign(state.storageFileName.data(), kCapturedLabelLength);
    }
    // The legend is drawn as text: control bytes of a foreign file become blanks.
    for (char& c : label) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) c = ' ';
    }
    setCapturedLabel(state, label);
}

float withinFloatRange(double value) {
    constexpr double kLargest = std::numeric_limits<float>::max();
    return static_cast<float>(std::clamp(value, -kLargest, kLargest));
}

// Positions still unread get values on the straight line from the last known
// value (0.0 before the first) to the next known one; a run that reaches M
// has no next value and holds the last known one.
void fillGaps(OneBasedArray<float>& captured, std::size_t bins) {
    double last = 0.0;
    std::size_t k = 2;
    while (k <= bins) {
        if (captured[k] != kUnread) {
            last = captured[k];
            ++k;
            continue;
        }
        std::size_t run = 0;
        while (k + run <= bins && captured[k + run] == kUnread) ++run;
        if (k + run > bins) {
            for (std::size_t i = 0; i < run; ++i) captured[k + i] = static_cast<float>(last);
            return;
        }
        const double next = captured[k + run];
        const double step = (next - last) / static_cast<double>(run + 1);
        for (std::size_t i = 1; i <= run; ++i) {
            captured[k + i - 1] = withinFloatRange(last + static_cast<double>(i) * step);
        }
        last = next;
        k += run + 1;
    }
}

}  // namespace

std::string resultFilePath(const MeasurementState& state) {
    std::string_view name(state.storageFileName.data(), state.storageFileName.size());
    const std::size_t end = name.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string() : std::string(name.substr(0, end + 1));
}

int saveResult(const MeasurementState& state, const SampleArrays& arrays) {
    const std::string path = resultFilePath(state);
    if (path.empty() || !gridBuilt(arrays)) return kResultFileNotOpened;
    std::error_code ignored;
    if (std::filesystem::is_regular_file(path, ignored) ||
        std::filesystem::is_symlink(path, ignored)) {
        std::filesystem::remove(path, ignored);
    }
    File file(std::fopen(path.c_str(), "wbx"));  // a new file, never an old one reused
    if (!file) return kResultFileNotOpened;

    const auto bins = static_cast<std::size_t>(arrays.binCount);
    bool written =
        writeLine(file.get(), std::string(kTitle)) &&
        writeLine(file.get(), std::string(kRateLabel) +
                                  formatInteger(nearest(arrays.analysisSampleRate), 10)) &&
        writeLine(file.get(), std::string(kCountLabel) + formatInteger(arrays.binCount, 10)) &&
        writeLine(file.get(), std::string(kHeading));
    for (std::size_t k = 1; written && k <= bins; ++k) {
        // A magnitude of 10000 or more keeps its 10 columns with fewer decimals.
        const float frequency = static_cast<float>(k) * arrays.binWidth;
        written =
            writeLine(file.get(),
                      formatFixedFitting(frequency, 10, kFrequencyDecimals) + "  " +
                          formatFixedFitting(arrays.magnitudeSpectrum[k], 10, kAmplitudeDecimals) +
                          "  " + formatFixedFitting(arrays.phaseSpectrum[k], 8, 2));
    }
    // Data held back by the stream can still fail to reach the disk at the close.
    const bool closed = std::fclose(file.release()) == 0;
    return written && closed ? kResultFileDone : kResultFileNotOpened;
}

int readResult(MeasurementState& state, SampleArrays& arrays) {
    const std::string path = resultFilePath(state);
    if (path.empty() || !gridBuilt(arrays)) return kResultFileNotOpened;
    File file(std::fopen(path.c_str(), "rb"));
    if (!file) return kResultFileNotOpened;
    return readResultStream(file.get(), state, arrays);
}

int readResultStream(std::FILE* file, MeasurementState& state, SampleArrays& arrays) {
    if (!gridBuilt(arrays)) return kResultFileNotOpened;
    LineReader lines(file);
    if (!lines.next()) return kResultFileBadHeader;
    readLabel(lines, state);
    std::int32_t sampleRate = 0;  // read for the check only; the grid's rate applies
    std::int32_t pointsInFile = 0;
    if (!readIntegerLine(lines, sampleRate) || !readIntegerLine(lines, pointsInFile) ||
        !lines.next()) {
        return kResultFileBadHeader;
    }
    auto& captured = arrays.capturedSpectrum;
    float frequency = 0.0f;
    float amplitude = 0.0f;
    if (!readDataLine(lines, frequency, amplitude)) return kResultFileBadHeader;
    captured[1] = amplitude;  // the first line goes to position 1 whatever its frequency

    const auto bins = static_cast<std::size_t>(arrays.binCount);
    for (std::size_t k = 2; k <= bins; ++k) captured[k] = kUnread;
    const float scale = static_cast<float>(pointsInFile) / static_cast<float>(arrays.binCount);
    // N - 1, not N: a file of the same size lands every line on its own position.
    const double gridSpan = static_cast<double>(arrays.pointCount - 1);
    const double rate = arrays.analysisSampleRate;
    for (std::int64_t line = 2; line <= pointsInFile; ++line) {
        if (!readDataLine(lines, frequency, amplitude)) break;
        const double position = std::round(gridSpan * static_cast<double>(frequency) / rate);
        if (!(position >= 2.0 && position <= static_cast<double>(bins))) continue;  // also NaN
        captured[static_cast<std::size_t>(position)] =
            withinFloatRange(static_cast<double>(scale) * static_cast<double>(amplitude));
    }

    fillGaps(captured, bins);
    for (std::size_t k = 3; k <= bins; ++k) {
        if (!(captured[k] > 0.0f)) captured[k] = captured[k - 1];  // also NaN
    }
    state.plotShowCaptured = true;
    return kResultFileDone;
}

}  // namespace ressona
