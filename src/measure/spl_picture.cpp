#include "measure/spl_picture.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "response/transfer_function.h"
#include "signals/response_scale.h"
#include "signals/sample_arrays.h"
#include "state/measurement_state.h"

namespace ressona {

namespace {

constexpr double kLowestHz = 100.0;
constexpr double kHighestShareOfRate = 0.4;
constexpr double kWithinDbOfHighest = 60.0;

double highestLevel(const TransferFunction& transfer) {
    double highest = -300.0;
    for (std::size_t k = 1; k + 1 < transfer.spectrum.size(); ++k)
        highest = std::max(highest, transfer.levelDb(k));
    return highest;
}

}  // namespace

std::optional<double> panelSplShiftDb(const SampleArrays& arrays, const TransferFunction& transfer,
                                      double splOffsetDb) {
    const auto bins = static_cast<std::size_t>(std::max(arrays.binCount, 0));
    if (transfer.empty() || arrays.magnitudeSpectrum.size() < bins || arrays.binWidth <= 0.0f)
        return std::nullopt;
    const double floorDb = highestLevel(transfer) - kWithinDbOfHighest;
    const auto n = static_cast<float>(arrays.pointCount);
    std::vector<double> differences;
    // Positions 2..M at (k - 1) x binWidth, each against the transfer function's nearest bin.
    for (std::size_t position = 2; position <= bins; ++position) {
        const double hz = positionFrequency(position, arrays.binWidth);
        if (hz < kLowestHz || hz > kHighestShareOfRate * transfer.sampleRate) continue;
        const auto k = static_cast<std::size_t>(std::lround(hz / transfer.binWidthHz()));
        if (k == 0 || k + 1 >= transfer.spectrum.size() || transfer.levelDb(k) < floorDb) continue;
        differences.push_back(transfer.levelDb(k) -
                              levelDecibels(arrays.magnitudeSpectrum[position], n));
    }
    if (differences.empty()) return std::nullopt;
    const auto middle = differences.begin() + differences.size() / 2;
    std::nth_element(differences.begin(), middle, differences.end());
    return splOffsetDb + *middle;
}

SplPicture::SplPicture(MeasurementState& state, double shiftDb)
    : state_(state),
      shiftDb_(state.plotShiftDb),
      dbLow_(state.plotDbLow),
      dbHigh_(state.plotDbHigh) {
    const auto shift = static_cast<float>(shiftDb);
    state.plotShiftDb += shift;
    state.plotDbLow += shift;
    state.plotDbHigh += shift;
    state.plotLevelInSpl = true;
}

SplPicture::~SplPicture() {
    state_.plotShiftDb = shiftDb_;
    state_.plotDbLow = dbLow_;
    state_.plotDbHigh = dbHigh_;
    state_.plotLevelInSpl = false;
}

}  // namespace ressona
