#pragma once
// Whether a reference channel repeats what was played. A reference is the
// output wired back, so every stretch of it is the played codes through the
// wire, scaled, to within its noise. Its slices are timed by only part of
// their samples, and a slip in a stretch between them (near the recording's
// end, inside the MLS period the analysis takes) went unseen behind a filter:
// the response came out 1.6 to 2.7 dB off. So the whole reference is compared,
// block by block, with what the wire makes of the played codes.
//
// A digital loop gives back the codes themselves. A real card's cable loop
// does not: its converters band-limit the codes (their filters cut near 0.45
// of the rate) and delay them by a fraction of a sample, and against the bare
// codes such a loop's blocks are alike only to about 0.9, which refused every
// pass. So the wire's own response is fitted first, over the stretch's first
// samples, and the blocks are compared with the codes through it.

#include <cstdint>
#include <span>

namespace ressona {

// The first played sample from which `reference` (the excitation arriving at
// its sample `arrival`) stops repeating `played` through the wire, by a block
// unlike it or a sample in it far off; -1 when it repeats them all.
std::int64_t wireMismatchFrom(std::span<const std::uint8_t> played,
                              std::span<const std::int16_t> reference, std::int64_t arrival);

}  // namespace ressona
