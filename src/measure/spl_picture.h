#pragma once
// The frequency picture in dB SPL (--export-spl): the panel draws a
// pulse's, an MLS's or a logsweep's response on a scale of its own, a
// constant away from the transfer function's dB re full scale. That constant
// comes from the measurement itself, the median of the two levels'
// differences where the transfer function has energy, so a window or a
// smoothing in the panel's curve moves it little.

#include <optional>

namespace ressona {

struct MeasurementState;
struct SampleArrays;
struct TransferFunction;

// What to add to the panel's levels to give dB SPL: splOffsetDb plus the
// median of (transfer level - panel level) over the panel's positions from
// 100 Hz to 0.4 x the rate within 60 dB of the transfer function's highest
// level. Nothing when no position qualifies.
std::optional<double> panelSplShiftDb(const SampleArrays& arrays, const TransferFunction& transfer,
                                      double splOffsetDb);

// Puts the state's plot in dB SPL for one picture (the shift, its dB range
// with it, the axis's label) and back as it was when it goes.
class SplPicture {
  public:
    SplPicture(MeasurementState& state, double shiftDb);
    ~SplPicture();
    SplPicture(const SplPicture&) = delete;
    SplPicture& operator=(const SplPicture&) = delete;

  private:
    MeasurementState& state_;
    float shiftDb_ = 0.0f;
    float dbLow_ = 0.0f;
    float dbHigh_ = 0.0f;
};

}  // namespace ressona
