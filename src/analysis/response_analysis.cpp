#include "analysis/response_analysis.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "analysis/analysis_extras.h"
#include "analysis/fft.h"
#include "analysis/smoothing.h"
#include "state/measurement_state.h"
#include "signals/sample_arrays.h"

namespace ressona {

namespace {

// Nearest integer, halves away from zero, for values known to fit.
std::int32_t nearest(float value) {
    return static_cast<std::int32_t>(std::lround(value));
}

std::int16_t toSample(std::int32_t value) {
    return static_cast<std::int16_t>(std::clamp<std::int32_t>(
        value, std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max()));
}

// An excitation code read as a signed 8-bit value: the rest level 128 is -128.
std::int16_t signedCode(std::uint8_t code) {
    return static_cast<std::int16_t>(static_cast<std::int8_t>(code));
}

bool arraysBuiltFor(const SampleArrays& arrays) {
    const auto n = static_cast<std::size_t>(arrays.pointCount);
    return n >= 4 && arrays.excitationBuffer.size() == 2 * n &&
           arrays.impulseResponse.size() == n && arrays.spectrumWork.size() == n &&
           arrays.timeComplex.size() == n && arrays.timeTrace.size() == n &&
           arrays.averageSum.size() == n && arrays.magnitudeSpectrum.size() == n / 2 &&
           arrays.phaseSpectrum.size() == n / 2;
}

bool mlsTablesBuiltFor(const SampleArrays& arrays) {
    const auto n = static_cast<std::size_t>(arrays.pointCount);
    const MlsTables& mls = arrays.mls;
    return mls.mlsSequence.size() == n && mls.mlsScratch.size() == n &&
           mls.mlsInputTags.size() == n - 1 && mls.mlsOutputTags.size() == n - 1;
}

// Fades the response towards its own mean: w(1) = 1, w(N) close to 0.
void taper(SampleArrays& arrays) {
    const auto n = static_cast<std::size_t>(arrays.pointCount);
    std::int64_t sum = 0;
    for (std::int16_t sample : arrays.impulseResponse.raw()) sum += sample;
    // sum / N exactly (N is a power of two), rounded halves away from zero.
    const auto mean =
        static_cast<std::int32_t>(std::lround(static_cast<double>(sum) / static_cast<double>(n)));
    for (std::size_t i = 1; i <= n; ++i) {
        const float faded =
            static_cast<float>(arrays.impulseResponse[i] - mean) * arrays.taperWindow[i];
        arrays.impulseResponse[i] = toSample(nearest(faded) + mean);
    }
}

// A time cut in milliseconds as a sample position, first position 1.
std::int32_t cutPosition(float milliseconds, float sampleRate, std::int32_t n) {
    const float samples = milliseconds * sampleRate * 0.001f;
    if (!(samples > 0.0f)) return 1;  // also NaN
    if (samples >= static_cast<float>(n)) return n + 1;
    return nearest(samples) + 1;
}

// The MLS response from the latest whole period the recording holds after
// the analysed stretch's start: by then a system with memory has answered the
// repeating sequence for the better part of a period and is in its steady
// response, which the first period after the excitation's arrival is not.
// Any L consecutive samples of the sequence are a cyclic shift of it, so the
// later period correlates to the same response turned by the distance in
// samples; it is turned back, and impulseResponse[1] stays where the stretch
// starts. The period is copied to the capture's first positions for the
// correlation.
void correlateSteadyPeriod(SampleArrays& arrays, std::span<std::int16_t> recordBuffer,
                           std::size_t start, std::size_t recorded) {
    const auto length = static_cast<std::size_t>(arrays.mlsLength);
    const std::size_t latest = recorded >= length ? recorded - length : 0;
    const std::size_t steady = std::max(start, latest);
    if (steady > 0) {
        std::copy(recordBuffer.begin() + static_cast<std::ptrdiff_t>(steady),
                  recordBuffer.begin() + static_cast<std::ptrdiff_t>(steady + length),
                  recordBuffer.begin());
    }
    mlsDeconvolve(arrays, recordBuffer.first(length + 1));
    const std::size_t turn = (steady - start) % length;
    const auto first = arrays.impulseResponse.raw().begin();
    if (turn != 0)
        std::rotate(first, first + static_cast<std::ptrdiff_t>(length - turn),
                    first + static_cast<std::ptrdiff_t>(length));
}

// The reference channel's response to the excitation over the stretch the
// capture's analysis takes (the steady period for the MLS, unrounded; the
// stretch as it is otherwise); empty without a reference channel that holds
// the stretch.
std::vector<double> referenceResponse(const MeasurementState& state, const SampleArrays& arrays,
                                      std::size_t start) {
    const std::vector<std::int16_t>& recording = state.reference.recording;
    const auto count = static_cast<std::size_t>(std::max(arrays.pointCount, 0));
    if (!state.reference.present() || recording.size() < start + count) return {};
    if (arrays.mlsActive) return steadyMlsResponse(arrays, recording, start);
    const auto first = recording.begin() + static_cast<std::ptrdiff_t>(start);
    return {first, first + static_cast<std::ptrdiff_t>(count)};
}

}  // namespace

std::int32_t analyseCapture(MeasurementState& state, SampleArrays& arrays,
                            FourierTransform& transform, std::span<std::int16_t> recordBuffer,
                            std::int32_t recordDelaySamples, bool artificialMode,
                            std::uint32_t sampleCounter, std::int32_t latencySamples,
                            AnalysisExtras* extras) {
    const std::int32_t n = arrays.pointCount;
    const auto count = static_cast<std::size_t>(std::max(n, 0));
    // The stretch must lie inside the source: start + N <= 2N (or what it holds).
    const std::size_t sourceLength =
        artificialMode ? arrays.excitationBuffer.size() : std::min(recordBuffer.size(), 2 * count);
    std::int64_t start = recordDelaySamples;
    if (!artificialMode) start += latencySamples;
    const auto latest = static_cast<std::int64_t>(sourceLength >= count ? sourceLength - count : 0);
    start = std::clamp<std::int64_t>(start, 0, std::min<std::int64_t>(n, latest));
    const auto trigger = static_cast<std::int32_t>(start);
    state.triggerSample = trigger;
    if (!arraysBuiltFor(arrays) || recordBuffer.size() < count) return trigger;

    const auto offset = static_cast<std::size_t>(start);
    std::vector<double> unrounded;
    if (arrays.mlsActive && mlsTablesBuiltFor(arrays)) {
        // The capture's first N positions receive the aligned stretch, which
        // is then correlated with the sequence.
        if (artificialMode) {
            for (std::size_t i = 0; i < count; ++i) {
                recordBuffer[i] = signedCode(arrays.excitationBuffer.raw()[offset + i]);
            }
            mlsDeconvolve(arrays, recordBuffer.first(count));
        } else {
            // The transfer function averages the steady response unrounded.
            if (extras != nullptr && extras->averageImpulses) {
                unrounded = steadyMlsResponse(arrays, recordBuffer, offset);
            }
            correlateSteadyPeriod(arrays, recordBuffer, offset, sourceLength);
        }
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            arrays.impulseResponse.raw()[i] =
                artificialMode ? signedCode(arrays.excitationBuffer.raw()[offset + i])
                               : recordBuffer[offset + i];
        }
    }
    // The average runs over the same captures as computeSpectrum's.
    if (extras != nullptr && extras->averageImpulses) {
        const bool fresh = sampleCounter == 0 || arrays.averagesDone == 0;
        if (unrounded.size() == count) {
            addToImpulseAverage(extras->impulses, unrounded, fresh);
        } else {
            addToImpulseAverage(extras->impulses, arrays, fresh);
        }
        const std::vector<double> reference =
            artificialMode ? std::vector<double>() : referenceResponse(state, arrays, offset);
        if (reference.size() == count) {
            addToImpulseAverage(extras->referenceImpulses, reference, fresh);
        } else {
            extras->referenceImpulses = {};
        }
    }
    if (state.analysisHalfHanning && arrays.taperWindow.size() == count) taper(arrays);
    computeSpectrum(state, arrays, transform, sampleCounter);
    if (extras != nullptr && extras->correction) {
        applySpectrumCorrection(*extras->correction, arrays, arrays.analysisAverageInTime);
    }
    if (state.analysisThirdOctave) smoothSpectrum(arrays, arrays.magnitudeSpectrum.view());
    arrays.resultsReady = true;
    return trigger;
}

std::vector<double> mlsCorrelation(const SampleArrays& arrays,
                                   std::span<const std::int16_t> capture) {
    const auto n = static_cast<std::size_t>(std::max(arrays.pointCount, 0));
    const auto length = static_cast<std::size_t>(std::max(arrays.mlsLength, 0));
    if (!mlsTablesBuiltFor(arrays) || capture.size() < length || length + 1 != n) return {};
    const MlsTables& mls = arrays.mls;
    std::vector<std::int64_t> x(n, 0);
    std::vector<std::int64_t> y(n, 0);
    for (std::size_t j = 1; j <= length; ++j)
        x[static_cast<std::size_t>(mls.mlsInputTags[j])] = capture[j - 1];
    const std::size_t half = n / 2;
    for (std::int32_t pass = 0; pass < arrays.mlsOrder; ++pass) {
        for (std::size_t h = 0; h < half; ++h) {
            y[h] = x[2 * h] + x[2 * h + 1];
            y[h + half] = x[2 * h] - x[2 * h + 1];
        }
        std::swap(x, y);
    }
    std::vector<double> result(length);
    for (std::size_t g = 1; g <= length; ++g) {
        result[g - 1] = static_cast<double>(x[static_cast<std::size_t>(mls.mlsOutputTags[g])]) /
                        static_cast<double>(length);
    }
    return result;
}

std::vector<double> steadyMlsResponse(const SampleArrays& arrays,
                                      std::span<const std::int16_t> recording, std::size_t start) {
    const auto length = static_cast<std::size_t>(std::max(arrays.mlsLength, 0));
    const std::size_t recorded =
        std::min(recording.size(), 2 * static_cast<std::size_t>(std::max(arrays.pointCount, 0)));
    if (length == 0 || recorded < start + length) return {};
    const std::size_t steady = recorded - length;
    const std::vector<double> lags = mlsCorrelation(arrays, recording.subspan(steady, length));
    if (lags.empty()) return {};
    // The later period moves every lag forward by its distance from the start.
    const std::size_t shift = (steady - start) % length;
    std::vector<double> response(length + 1, 0.0);
    for (std::size_t g = 0; g < length; ++g) response[g] = lags[(g + length - shift) % length];
    return response;
}

void mlsDeconvolve(SampleArrays& arrays, std::span<const std::int16_t> capture) {
    const std::int32_t length = arrays.mlsLength;
    const auto n = static_cast<std::size_t>(arrays.pointCount);
    if (!mlsTablesBuiltFor(arrays) || arrays.impulseResponse.size() != n ||
        capture.size() < n - 1) {
        return;
    }
    MlsTables& mls = arrays.mls;
    // Recorded sample j goes to transform position inputTag(j) (0-based here);
    // position 0 is 0.
    std::int32_t* x = mls.mlsSequence.raw().data();
    std::int32_t* y = mls.mlsScratch.raw().data();
    for (std::size_t j = 1; j < n; ++j) x[mls.mlsInputTags[j]] = capture[j - 1];
    x[0] = 0;
    // The fast Hadamard transform, one butterfly pass per register stage:
    // sums into the lower half, differences into the upper half. Each pass
    // writes the other array. The sums stay within 32 bits for N <= 32768;
    // beyond that they wrap instead of invoking undefined behaviour.
    const std::size_t half = n / 2;
    for (std::int32_t pass = 0; pass < arrays.mlsOrder; ++pass) {
        for (std::size_t h = 0; h < half; ++h) {
            const auto a = static_cast<std::uint32_t>(x[2 * h]);
            const auto b = static_cast<std::uint32_t>(x[2 * h + 1]);
            y[h] = static_cast<std::int32_t>(a + b);
            y[h + half] = static_cast<std::int32_t>(a - b);
        }
        std::swap(x, y);
    }
    // Impulse sample g is read from position outputTag(g) and scaled by 1/L.
    const float inverseLength = 1.0f / static_cast<float>(length);
    for (std::int32_t g = 1; g <= length; ++g) {
        const float value = static_cast<float>(x[mls.mlsOutputTags[static_cast<std::size_t>(g)]]);
        arrays.impulseResponse[static_cast<std::size_t>(g)] =
            toSample(nearest(value * inverseLength));
    }
    arrays.impulseResponse[n] = 0;
}

void computeSpectrum(const MeasurementState& state, SampleArrays& arrays,
                     FourierTransform& transform, std::uint32_t sampleCounter) {
    if (!arraysBuiltFor(arrays)) return;
    const std::int32_t n = arrays.pointCount;
    const auto count = static_cast<std::size_t>(n);
    const auto bins = static_cast<std::size_t>(arrays.binCount);
    const bool inTime = arrays.analysisAverageInTime;
    if (sampleCounter == 0) arrays.averagesDone = 0;
    if (arrays.averagesDone == 0) arrays.averageSum.fill(0.0f);
    arrays.averagesDone += 1;
    const float inverse = 1.0f / static_cast<float>(arrays.averagesDone);

    // Kept positions first..last, never outside 1..N and never crossed.
    const std::int32_t first =
        std::min(cutPosition(state.plotLowerCutTime, arrays.analysisSampleRate, n), n);
    const std::int32_t last =
        std::clamp(cutPosition(state.plotUpperCutTime, arrays.analysisSampleRate, n), first, n);
    auto& average = arrays.averageSum;
    for (auto i = static_cast<std::size_t>(first); i <= static_cast<std::size_t>(last); ++i) {
        float x = static_cast<float>(arrays.impulseResponse[i]);
        if (inTime) {
            average[i] = average[i] + x;
            x = inverse * average[i];
        }
        arrays.timeTrace[i] = x;
        arrays.spectrumWork[i] = {x, 0.0f};
    }
    // Outside the cuts the signal holds the nearest kept sample.
    auto hold = [&](std::size_t from, std::size_t to, std::size_t source) {
        for (std::size_t i = from; i <= to; ++i) {
            arrays.timeTrace[i] = arrays.timeTrace[source];
            arrays.spectrumWork[i] = arrays.spectrumWork[source];
            if (inTime) average[i] = average[source];
        }
    };
    hold(1, static_cast<std::size_t>(first) - 1, static_cast<std::size_t>(first));
    hold(static_cast<std::size_t>(last) + 1, count, static_cast<std::size_t>(last));
    std::copy(arrays.spectrumWork.raw().begin(), arrays.spectrumWork.raw().end(),
              arrays.timeComplex.raw().begin());

    fft(transform, arrays.spectrumWork.raw(), n, -1);

    for (std::size_t k = 1; k <= bins; ++k) {
        const ComplexValue v = arrays.spectrumWork[k];
        const float magnitude = std::sqrt(v.re * v.re + v.im * v.im);
        if (inTime) {
            arrays.magnitudeSpectrum[k] = magnitude;
            // A bin with either part exactly 0 is given phase 0.
            arrays.phaseSpectrum[k] =
                (v.re != 0.0f && v.im != 0.0f) ? std::atan2(v.im, v.re) : 0.0f;
        } else {
            average[k] = average[k] + magnitude;
            arrays.magnitudeSpectrum[k] = inverse * average[k];
        }
    }
    if (arrays.averagesDone >= arrays.averagesWanted) arrays.averagesDone = 0;
}

}  // namespace ressona
