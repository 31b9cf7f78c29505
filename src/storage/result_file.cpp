#include "storage/result_file.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <string_view>
#include <vector>

#include "signals/sample_arrays.h"
#include "state/hand_over.h"
#include "state/measurement_state.h"
#include "storage/file_replacement.h"
#include "storage/fixed_fields.h"

namespace ressona {

namespace {

constexpr std::string_view kTitle = " Ressona saved file";
constexpr std::string_view kRateLabel = " Samples per second ";
constexpr std::string_view kCountLabel = "   Number of points ";
constexpr std::string_view kHeading = "        Hz   Amplitude     Phase";
constexpr int kFrequencyDecimals = 3;
constexpr int kAmplitudeDecimals = 5;
// A position of the captured curve that no row of the file reached.
constexpr float kNoValue = std::numeric_limits<float>::quiet_NaN();
// The most a data field's ten fixed columns hold: nine digits and the point.
constexpr float kLargestField = 999999999.0f;
// How far a frequency read back may lie from the one written: half the last
// written decimal, and a float's spacing near the top of the band (24 kHz).
constexpr double kWrittenFrequencyTolerance = 0.0025;
constexpr std::int32_t kFewestRows = 32;  // N = 64
constexpr std::int32_t kMostRows = 8192;  // N = 16384

struct DataRow {
    float hertz = 0.0f;
    float amplitude = 0.0f;
};

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

// A number of a data row: written, finite, and within what ten fixed columns
// hold (nine digits and the point).
bool readDataField(std::string_view field, int impliedDecimals, float& value) {
    if (field.find_first_not_of(' ') == std::string_view::npos) return false;
    return readRealField(field, impliedDecimals, value) && std::isfinite(value) &&
           std::fabs(value) <= kLargestField;
}

// A data row: its frequency and amplitude, the amplitude a magnitude (not below 0).
bool readDataRow(LineReader& lines, DataRow& row) {
    return lines.next() && readDataField(lines.columns(1, 10), kFrequencyDecimals, row.hertz) &&
           readDataField(lines.columns(13, 22), kAmplitudeDecimals, row.amplitude) &&
           row.amplitude >= 0.0f;
}

// The counts of data rows the program writes: M = N / 2 for N of 64 .. 16384.
bool writtenRowCount(std::int32_t rows) {
    return rows >= kFewestRows && rows <= kMostRows && (rows & (rows - 1)) == 0;
}

// The title's columns 2..61; a title without any blank gives way to the file name.
std::string labelOf(const LineReader& lines, const MeasurementState& state) {
    std::string label = lines.columns(2, 61);
    if (label.find(' ') == std::string::npos) {
        label.assign(state.storageFileName.data(), kCapturedLabelLength);
    }
    // The legend is drawn as text: control bytes of a foreign file become blanks.
    for (char& c : label) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) c = ' ';
    }
    return label;
}

float withinFloatRange(double value) {
    constexpr double kLargest = std::numeric_limits<float>::max();
    return static_cast<float>(std::clamp(value, -kLargest, kLargest));
}

// Positions between two that rows reached lie on the straight line between
// them. Positions before the first or after the last reached one keep no
// value: the file says nothing about them.
void joinReachedPositions(std::vector<float>& curve) {
    std::size_t last = 0;  // the last reached position, 0 before the first
    for (std::size_t k = 2; k < curve.size(); ++k) {
        if (std::isnan(curve[k])) continue;
        if (last != 0 && k > last + 1) {
            const double from = curve[last];
            const double step = (curve[k] - from) / static_cast<double>(k - last);
            for (std::size_t i = last + 1; i < k; ++i) {
                curve[i] = withinFloatRange(from + static_cast<double>(i - last) * step);
            }
        }
        last = k;
    }
}

// The position a row's frequency lands on. A frequency that is a position's
// own (to the three decimals written, and a float's precision) lands there, so
// a file of the same grid fills every position with its own row; any other
// lands on (N - 1) x f / rate, rounded: of two rows of a file twice as fine,
// the one between two positions goes to the lower. (The (N - 1) rule alone
// tips rows near the top of the band onto their neighbour once the written
// frequency is rounded.)
double gridPosition(float hertz, const SampleArrays& arrays) {
    const double rate = arrays.analysisSampleRate;
    const double binWidth = rate / static_cast<double>(arrays.pointCount);
    const double f = hertz;
    const double nearestPosition = std::round(f / binWidth);
    if (std::fabs(f - nearestPosition * binWidth) <= kWrittenFrequencyTolerance) {
        return nearestPosition;
    }
    return std::round(static_cast<double>(arrays.pointCount - 1) * f / rate);
}

// The captured curve on the grid (positions 1..M, index 0 unused) from the
// file's rows.
std::vector<float> curveOnGrid(const std::vector<DataRow>& rows, const SampleArrays& arrays) {
    const auto bins = static_cast<std::size_t>(arrays.binCount);
    std::vector<float> curve(bins + 1, kNoValue);
    curve[1] = rows.front().amplitude;  // the first row goes to position 1 whatever its frequency
    const double scale = static_cast<double>(rows.size()) / static_cast<double>(bins);
    for (const DataRow& row : rows) {
        const double position = gridPosition(row.hertz, arrays);
        if (!(position >= 2.0 && position <= static_cast<double>(bins))) continue;  // also NaN
        // A later row that lands on the same position replaces the earlier one.
        curve[static_cast<std::size_t>(position)] =
            withinFloatRange(scale * static_cast<double>(row.amplitude));
    }
    joinReachedPositions(curve);
    // A magnitude written as 0 (below the file's resolution) takes its left neighbour's.
    for (std::size_t k = 3; k <= bins; ++k) {
        if (curve[k] == 0.0f) curve[k] = curve[k - 1];
    }
    return curve;
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
    // The result goes to a file beside the target and replaces it only when
    // complete: a full disk or a crash never costs the file that was there.
    FileReplacement replacement(path);
    if (!replacement.ready()) return kResultFileNotOpened;
    File file(std::fopen(replacement.temporaryPath().c_str(), "wb"));
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
    return written && closed && replacement.commit() ? kResultFileDone : kResultFileNotOpened;
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
    const std::string label = labelOf(lines, state);
    std::int32_t sampleRate = 0;  // read for the check only; the grid's rate applies
    std::int32_t rowCount = 0;
    if (!readIntegerLine(lines, sampleRate) || !readIntegerLine(lines, rowCount) ||
        !writtenRowCount(rowCount) || !lines.next()) {
        return kResultFileBadHeader;
    }
    // Every promised row must be there and readable before anything is loaded.
    std::vector<DataRow> rows(static_cast<std::size_t>(rowCount));
    for (DataRow& row : rows) {
        if (!readDataRow(lines, row)) return kResultFileBadHeader;
    }

    const std::vector<float> curve = curveOnGrid(rows, arrays);
    std::copy(curve.begin() + 1, curve.end(), arrays.capturedSpectrum.raw().begin());
    setCapturedLabel(state, label);
    state.plotShowCaptured = true;
    return kResultFileDone;
}

}  // namespace ressona
