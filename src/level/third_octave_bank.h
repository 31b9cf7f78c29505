#pragma once
// A sound level meter's third-octave bands, 25 Hz to 20 kHz as far as the
// rate allows, on the room analysis's class 1 band-pass filters, run forwards
// over a stream in blocks: each block's sum of squared outputs per band.

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "room/band_filter.h"
#include "room/frequency_bands.h"

namespace ressona {

// A band's upper edge must lie below this share of the rate. Above the room
// analysis's 0.45 so that 48000 Hz keeps its 20 kHz band (upper edge 22387 Hz,
// 0.466 of the rate), which the 8th-order filter still gives to class 1.
inline constexpr double kMeterHighestEdgeShare = 0.47;

class ThirdOctaveBank {
  public:
    explicit ThirdOctaveBank(std::uint32_t sampleRate);

    const std::vector<FrequencyBand>& bands() const { return bands_; }

    // Filters the stream's next block and adds each band's sum of squared
    // outputs to squares[band] (squares holds bands().size() values).
    void add(std::span<const double> block, std::span<double> squares);

  private:
    std::vector<FrequencyBand> bands_;
    std::vector<BandPassFilter> filters_;
    std::vector<BandPassMemory> memories_;
    // Bands run two at a time where their filters have the same count of
    // sections; a band without a partner runs alone (second == first).
    std::vector<std::pair<std::size_t, std::size_t>> runs_;
};

}  // namespace ressona
