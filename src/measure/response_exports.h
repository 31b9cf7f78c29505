#pragma once
// The measurer's results written for other programs: the averaged impulse
// response as a WAV file, the frequency response as FRD and CSV text. Every
// file goes first to a temporary file beside its target; the targets are
// replaced only once all of them are complete.

#include <string>
#include <vector>

#include "exchange/response_export.h"

namespace ressona {

struct SampleArrays;
struct TransferFunction;

struct ExportTargets {
    std::string wav;
    std::string frd;
    std::string csv;
    bool any() const { return !wav.empty() || !frd.empty() || !csv.empty(); }
};

// Positions 2..M of magnitudeSpectrum and phaseSpectrum: each at the frequency
// the plot draws it at, its level as the plot forms it (before the plot's
// shift and limits), its phase in degrees turned to the usual sign (the
// panel's phases grow with delay). For curves converted without passes.
ExportedResponse exportedResponse(const SampleArrays& arrays);

// The transfer function at k x rate / P for k = 1..P/2 - 1: level in dB re
// full scale, phase in degrees.
ExportedResponse exportedTransfer(const TransferFunction& transfer);

// Its impulse response from time zero on, in full-scale units.
std::vector<float> transferImpulse(const TransferFunction& transfer);

// Writes the asked files: the WAV from `impulse` at sampleRate Hz, the FRD
// with `comments`, the CSV. Returns what went wrong, one line each; when
// anything did, no target has been touched.
std::vector<std::string> writeExports(const ExportTargets& targets, std::uint32_t sampleRate,
                                      const std::vector<float>& impulse,
                                      const ExportedResponse& response,
                                      const std::vector<std::string>& comments);

}  // namespace ressona
