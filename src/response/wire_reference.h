#pragma once
// What the panel's analysis of a capture gives for a wire from the output's
// full scale to the input's: the played codes recorded as they sound, taken
// from the same place in the excitation as the analysed stretch and put
// through the same correlation (MLS) or taken as they are (pulse and the
// rest). The measured transfer function is the measured response over this
// one, so that every scale, offset and shift of the excitation and of the
// analysis cancels, and a wire comes out a unit impulse at time zero.

#include <cstdint>
#include <vector>

namespace ressona {

struct SampleArrays;

// The wire's response to arrays.excitationBuffer for an analysed stretch
// that starts `offset` samples after the excitation's first sample (negative:
// before it, where a wire records silence; the MLS, whose steady period the
// analysis correlates, as if it had always been playing), N samples, in the units the
// analysis gives (16-bit counts, the MLS's correlation unrounded as the
// transfer function's average holds it; in Artificial mode the codes as
// signed bytes, rounded, as that mode analyses them). With the MLS the sequence's tables are
// used as work arrays (as the analysis uses them) and impulseResponse is kept.
// Empty when the arrays are not built for N.
std::vector<double> wireResponse(SampleArrays& arrays, std::int64_t offset, bool artificialMode);

}  // namespace ressona
