#pragma once
// The maximum-length sequence: a p-stage linear feedback shift register gives a
// two-valued sequence of period L = 2^p - 1 (N = 2^p), and two permutation
// tables let the analysis correlate a recorded period with it by a fast
// Hadamard transform (the permutation method of MLS correlation).

#include <cstdint>
#include <span>

#include "signals/allocation_budget.h"
#include "signals/one_based.h"

namespace ressona {

struct SampleArrays;

inline constexpr std::int32_t kMlsMinOrder = 2;
inline constexpr std::int32_t kMlsMaxOrder = 20;

// The four tables, numbered from 1, built only while the excitation is MLS.
struct MlsTables {
    OneBasedArray<std::int32_t> mlsScratch;     // N: the transform's second work array
    OneBasedArray<std::int32_t> mlsSequence;    // N: positions 1..L hold +1/-1 (later reused as work)
    OneBasedArray<std::int32_t> mlsInputTags;   // L: transform position of recorded sample j
    OneBasedArray<std::int32_t> mlsOutputTags;  // L: transform position of impulse sample g
};

// Writes the sequence of the given order (2..20) into positions 1..L of
// sequence as +1/-1 and tells whether the register is back at its all-ones
// seed afterwards (true for every row of the tap table).
bool fillMlsSequence(std::int32_t order, OneBasedSpan<std::int32_t> sequence);

// Allocates the four tables for N = arrays.pointCount. 0 when all four exist, -1 otherwise.
int allocateMlsTables(SampleArrays& arrays);
// Releases whichever of the four tables exist.
void releaseMlsTables(MlsTables& tables);

// Builds the sequence and its tags and writes the 2N-sample pass into
// playBuffer and excitationBuffer. The pass repeats the sequence with period
// L, so every L consecutive samples are a cyclic shift of it. Sets mlsActive.
// 0 on success, -1 when the tables cannot be allocated.
int generateMls(SampleArrays& arrays, std::span<std::uint8_t> playBuffer);

}  // namespace ressona
