#pragma once
// The equaliser over one run of the measurer: the target read before anything
// is measured, the filters fitted to the measured (or read) response, the
// simulated room measured again with them in front, and the equalisers' files
// written from a run that went as asked.

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "eq/eq_fit.h"
#include "measure/eq_request.h"
#include "plots/response_views_plot.h"
#include "response/transfer_function.h"

namespace ressona {

struct SampleArrays;

// The same response measured again through the filters.
struct EqVerification {
    std::vector<double> measuredDb;  // smoothed, on the fit's grid
    EqDeviation before;              // the first measurement against the target
    EqDeviation after;               // the measurement through the filters
};

struct EqOutcome {
    double sampleRate = 0.0;
    std::string targetFile;  // empty: flat
    EqFit fit;
    std::optional<EqVerification> verification;
    std::vector<std::string> written;  // the files written
};

// The response the fit takes: positions 2..M of the result, at the frequency
// and level the exports give them (a curve read with --passes 0 has no more).
EqCurve eqResponseOf(const SampleArrays& arrays);
// Of a measured transfer function: |H| in dB above 0 Hz, and the excess phase
// that tells a dip the filters can fill from one they cannot.
EqCurve eqResponseOf(const TransferFunction& transfer);
// The transfer function's when the run measured one, else the result's.
EqCurve eqResponseOf(const SampleArrays& arrays, const std::optional<TransferFunction>& transfer);

class EqCorrection {
  public:
    explicit EqCorrection(const EqRequest& request) : request_(request) {}

    // Reads the target file, if one is named. Empty, or a one-line reason.
    std::string load();

    // Fits the filters to the response at sampleRate. Empty, or why it could not.
    std::string fit(const EqCurve& response, double sampleRate, EqOutcome& outcome) const;

    // Compares the response measured through the filters with the fit's.
    void verify(const EqCurve& measuredThrough, EqOutcome& outcome) const;

    // Writes the files asked for, all or none; one line per failure.
    std::vector<std::string> write(EqOutcome& outcome) const;

    // The files asked for.
    std::vector<std::string> files() const;

  private:
    EqFitSettings settings(double sampleRate) const;

    const EqRequest& request_;
    EqCurve target_;  // empty: flat
};

// The filters in front of a simulated room's response (SoundCardOptions::outputFilter).
std::function<std::vector<double>(std::uint32_t, std::vector<double>)> eqOutputFilter(
    std::vector<EqFilter> filters);

// The picture's curves: the target at the level the filters bring the
// response to (the predicted response's mean distance from it).
EqPlotData eqPlotData(const EqOutcome& outcome);

nlohmann::ordered_json eqJson(const EqOutcome& outcome);
void writeEqText(std::ostream& out, const EqOutcome& outcome);

}  // namespace ressona
