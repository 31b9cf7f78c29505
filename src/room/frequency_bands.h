#pragma once
// The frequency bands room parameters are given in: octaves from 63 Hz to
// 8 kHz and third-octaves from 50 Hz to 10 kHz with base-ten mid-band
// frequencies and edges (IEC 61260-1: G = 10^(3/10), f_m = 1000 G^(x/b),
// edges f_m G^(-1/2b) and f_m G^(1/2b)), plus the broadband response.

#include <cstdint>
#include <string>
#include <vector>

namespace ressona {

enum class BandKind : std::uint8_t { Broadband, Octave, ThirdOctave };

struct FrequencyBand {
    BandKind kind = BandKind::Broadband;
    double nominalHz = 0.0;  // the band's name: 63, 125, ... 8000; 0 for broadband
    double centreHz = 0.0;   // exact mid-band frequency; 0 for broadband
    double lowerHz = 0.0;    // band edges; 0 for broadband
    double upperHz = 0.0;

    double widthHz() const { return upperHz - lowerHz; }
};

// A band's upper edge must lie below this share of the sample rate, so that
// the band filter keeps its shape below the Nyquist frequency.
inline constexpr double kHighestEdgeShareOfRate = 0.45;

// The broadband response first, then the octave bands (when `octaves`), then
// the third-octave bands (when `thirdOctaves`), low to high, each only when its
// upper edge lies below kHighestEdgeShareOfRate x sampleRate.
std::vector<FrequencyBand> roomBands(std::uint32_t sampleRate, bool octaves, bool thirdOctaves);

// A sound level meter's third-octave bands, 25 Hz to 20 kHz, low to high,
// each only when its upper edge lies below highestEdgeShare x sampleRate.
std::vector<FrequencyBand> meterThirdOctaves(std::uint32_t sampleRate, double highestEdgeShare);

// "broadband", "63 Hz", "1 kHz", "31.5 Hz"-style names: "63", "125", "1k", "2.5k".
std::string bandName(const FrequencyBand& band);

}  // namespace ressona
