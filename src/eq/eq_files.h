#pragma once
// The fitted filters as the files of the equalisers people use on Linux and
// elsewhere: a PipeWire filter-chain drop-in, a CamillaDSP configuration's
// filters and pipeline step, and Equalizer APO's text. Each holds the filters
// exactly as the fit reports them (the same decimals).

#include <span>
#include <string>

#include "eq/biquad.h"

namespace ressona {

// The gain that keeps the filters' peak at or below 0 dB from 10 Hz to 0.45 x
// the rate: minus their largest level, rounded down to 0.1 dB (0 when they only cut).
double eqPreampDb(std::span<const EqFilter> filters, double sampleRate);

// A drop-in for pipewire.conf.d: a filter-chain module making the sink
// "Ressona EQ" (node ressona_eq, stereo) whose output plays into the default sink.
std::string pipewireFilterChain(std::span<const EqFilter> filters);

// CamillaDSP YAML: a "filters" map (ressona_eq_1 ...) and a "pipeline" with one
// Filter step over channels 0 and 1.
std::string camillaDspFilters(std::span<const EqFilter> filters);

// Equalizer APO: "Preamp: X dB", then "Filter N: ON PK Fc F Hz Gain G dB Q Q" (LSC, HSC
// for the shelves).
std::string apoFilters(std::span<const EqFilter> filters, double sampleRate);

}  // namespace ressona
