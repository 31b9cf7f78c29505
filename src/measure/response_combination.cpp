#include "measure/response_combination.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "exchange/log_interpolation.h"
#include "exchange/response_text.h"
#include "exchange/wav_file.h"
#include "measure/measure_options.h"
#include "analysis/real_transform.h"

namespace ressona {

namespace {

constexpr std::uint32_t kTextOnlyRate = 48000;
constexpr std::uint32_t kTextOnlyPoints = 16384;

// One file as read.
struct Input {
    CombinedPart part;
    WavSignal wav;
    ResponseText text;
};

std::string readInput(const std::string& file, Input& input) {
    input.part.file = file;
    if (isResponseTextName(file)) {
        const std::string problem = readResponseText(file, input.text);
        input.part.hasPhase = !input.text.phaseDeg.empty();
        return problem.empty() ? "" : "--combine: " + problem;
    }
    input.part.impulse = true;
    const std::string problem = readWav(file, input.wav);
    return problem.empty() ? "" : "--combine: " + file + ": " + problem;
}

// The rate and P the options and the files call for; a reason when the files disagree.
std::string chooseGrid(const MeasureOptions& o, const std::vector<Input>& inputs,
                       Combination& combination) {
    std::uint32_t rate = 0;
    std::size_t longest = 0;
    const Input* rateSource = nullptr;
    for (const Input& input : inputs) {
        if (!input.part.impulse) continue;
        if (rateSource != nullptr && input.wav.sampleRate != rate) {
            return "--combine: '" + input.part.file + "' is at " +
                   std::to_string(input.wav.sampleRate) + " Hz but '" + rateSource->part.file +
                   "' at " + std::to_string(rate) + " Hz; impulse responses are not resampled";
        }
        rate = input.wav.sampleRate;
        rateSource = &input;
        longest = std::max(longest, input.wav.samples.size());
    }
    if (rateSource != nullptr && o.rateGiven && o.sampleRate != rate) {
        return "--combine: --rate " + std::to_string(o.sampleRate) + " differs from '" +
               rateSource->part.file + "' at " + std::to_string(rate) + " Hz";
    }
    combination.sampleRate = rateSource != nullptr ? rate
                             : o.rateGiven         ? o.sampleRate
                                                   : kTextOnlyRate;
    std::size_t points = rateSource != nullptr ? 16 : kTextOnlyPoints;
    while (points < longest) points *= 2;
    if (o.lengthGiven) points = std::max<std::size_t>(o.sampleLength, 4);
    if (points > kRealTransformLargest || longest > points) {
        return "--combine: the impulse responses are longer than " +
               std::to_string(std::min<std::size_t>(points, kRealTransformLargest)) +
               " samples, the longest grid combined";
    }
    combination.points = static_cast<std::uint32_t>(points);
    return "";
}

Spectrum impulseOnGrid(const WavSignal& wav, std::uint32_t points) {
    std::vector<double> samples = wav.samples;
    samples.resize(points, 0.0);
    return realSpectrum(samples);
}

// The unwrapped phase read at each frequency of `at`, linear in frequency
// between the file's points (a delay's phase is a straight line there, so its
// group delay comes through whole), held outside them.
std::vector<double> phaseAt(const ResponseText& text, const std::vector<double>& at) {
    const std::vector<double> phase = unwrappedDegrees(text.phaseDeg);
    const std::vector<double>& hz = text.frequencyHz;
    std::vector<double> out(at.size());
    std::size_t next = 0;
    for (std::size_t i = 0; i < at.size(); ++i) {
        while (next < hz.size() && hz[next] < at[i]) ++next;
        if (next == 0) {
            out[i] = phase.front();
        } else if (next == hz.size()) {
            out[i] = phase.back();
        } else {
            const double share = (at[i] - hz[next - 1]) / (hz[next] - hz[next - 1]);
            out[i] = phase[next - 1] + share * (phase[next] - phase[next - 1]);
        }
    }
    return out;
}

}  // namespace

Spectrum textResponseOnGrid(const ResponseText& text, std::uint32_t rate, std::uint32_t points) {
    const std::size_t size = points / 2 + 1;
    std::vector<double> hz(size);
    for (std::size_t k = 0; k < size; ++k) hz[k] = static_cast<double>(k) * rate / points;
    std::vector<double> level(size);
    interpolateLogFrequency(text.frequencyHz, text.levelDb, hz, level);
    const std::vector<double> phase =
        text.phaseDeg.empty() ? std::vector<double>(size, 0.0) : phaseAt(text, hz);
    Spectrum spectrum(size);
    for (std::size_t k = 0; k < size; ++k) {
        spectrum[k] =
            std::polar(std::pow(10.0, level[k] / 20.0), phase[k] * std::numbers::pi / 180.0);
    }
    // A real response is real at 0 Hz and at half the rate.
    spectrum.front() = spectrum.front().real();
    spectrum.back() = spectrum.back().real();
    return spectrum;
}

namespace {

// Refusals of what the files cannot give.
std::string checkParts(const MeasureOptions& o, const std::vector<Input>& inputs) {
    for (const Input& input : inputs) {
        if (o.combineAverage == AverageKind::Vector && !input.part.impulse) {
            return "--combine-average vector needs impulse responses (WAV files, from "
                   "--export-wav); '" +
                   input.part.file + "' is a frequency response";
        }
        if (o.combineAlign && !input.part.hasPhase) {
            return "--combine-align needs a phase to find the delay from; '" + input.part.file +
                   "' has none";
        }
    }
    return "";
}

}  // namespace

std::string combineResponses(const MeasureOptions& o, Combination& combination) {
    combination = {};
    std::vector<Input> inputs(o.combineFiles.size());
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        if (std::string problem = readInput(o.combineFiles[i], inputs[i]); !problem.empty())
            return problem;
    }
    if (std::string problem = checkParts(o, inputs); !problem.empty()) return problem;
    if (std::string problem = chooseGrid(o, inputs, combination); !problem.empty()) return problem;
    combination.kind = o.combineAverage;
    combination.aligned = o.combineAlign;
    combination.levelsAligned = o.combineAlignLevels;
    combination.fromImpulses = true;
    std::vector<Spectrum> responses;
    for (Input& input : inputs) {
        responses.push_back(
            input.part.impulse
                ? impulseOnGrid(input.wav, combination.points)
                : textResponseOnGrid(input.text, combination.sampleRate, combination.points));
        combination.fromImpulses = combination.fromImpulses && input.part.impulse;
        Spectrum& response = responses.back();
        if (responses.size() > 1 && combination.aligned) {
            input.part.delaySamples = delayAgainst(responses.front(), response);
            removeDelay(response, input.part.delaySamples);
        }
        if (responses.size() > 1 && combination.levelsAligned) {
            input.part.levelDb = levelAbove(responses.front(), response);
            removeLevel(response, input.part.levelDb);
        }
        combination.parts.push_back(input.part);
    }
    combination.response = averageResponses(responses, combination.kind);
    return "";
}

}  // namespace ressona
