#include "signals/mls.h"

#include <array>
#include <cassert>

#include "signals/sample_arrays.h"
#include "state/sample_types.h"

namespace ressona {

namespace {

struct TapRow {
    std::int32_t count;
    std::array<std::int32_t, 4> taps;
};

// Feedback taps per register order; each row gives a sequence of period exactly
// 2^p - 1 with the shift rule of fillMlsSequence.
constexpr std::array<TapRow, kMlsMaxOrder + 1> kTapTable = {{
    {0, {}},              // 0: unused
    {0, {}},              // 1: none
    {2, {1, 2}},          // 2
    {2, {1, 3}},          // 3
    {2, {3, 4}},          // 4
    {2, {3, 5}},          // 5
    {2, {5, 6}},          // 6
    {2, {6, 7}},          // 7
    {4, {2, 3, 5, 8}},    // 8
    {2, {5, 9}},          // 9
    {2, {7, 10}},         // 10
    {2, {9, 11}},         // 11
    {4, {6, 8, 11, 12}},  // 12
    {4, {9, 10, 12, 13}}, // 13
    {4, {4, 8, 13, 14}},  // 14
    {2, {14, 15}},        // 15
    {4, {4, 13, 15, 16}}, // 16
    {2, {14, 17}},        // 17
    {2, {11, 18}},        // 18
    {4, {14, 17, 18, 19}},// 19
    {2, {17, 20}},        // 20
}};

// Position m = j - g + 1 taken cyclically in 1..length.
std::int32_t cyclicPosition(std::int32_t j, std::int32_t g, std::int32_t length) {
    std::int32_t m = j - g + 1;
    if (m <= 0) m += length;
    return m;
}

// Input tag of position j: bit g-1 is set when the sequence is -1 at j-g+1.
void buildInputTags(MlsTables& tables, std::int32_t order, std::int32_t length) {
    tables.mlsInputTags.fill(0);
    for (std::int32_t g = 1; g <= order; ++g) {
        for (std::int32_t j = 1; j <= length; ++j) {
            if (tables.mlsSequence[cyclicPosition(j, g, length)] == -1) {
                tables.mlsInputTags[j] |= 1 << (g - 1);
            }
        }
    }
}

// Output tags: for each power of two 2^e, the first position carrying it as
// an input tag defines bit e of every output tag.
void buildOutputTags(MlsTables& tables, std::int32_t order, std::int32_t length) {
    tables.mlsOutputTags.fill(0);
    for (std::int32_t e = 0; e < order; ++e) {
        std::int32_t j = 1;
        while (j <= length && tables.mlsInputTags[j] != (1 << e)) ++j;
        assert(j <= length);  // every power of two occurs once among the input tags
        for (std::int32_t g = 1; g <= length; ++g) {
            if (tables.mlsSequence[cyclicPosition(j, g, length)] == -1) {
                tables.mlsOutputTags[g] |= 1 << e;
            }
        }
    }
}

}  // namespace

bool fillMlsSequence(std::int32_t order, OneBasedSpan<std::int32_t> sequence) {
    assert(order >= kMlsMinOrder && order <= kMlsMaxOrder);
    const std::int32_t length = (1 << order) - 1;
    assert(sequence.size() >= static_cast<std::size_t>(length));
    const TapRow& row = kTapTable[order];
    std::array<std::uint8_t, kMlsMaxOrder + 1> cell{};  // cells 1..order
    for (std::int32_t j = 1; j <= order; ++j) cell[j] = 1;

    for (std::int32_t i = 1; i <= length; ++i) {
        sequence[i] = cell[order] == 1 ? -1 : +1;  // output taken before the shift
        std::uint8_t feedback = 0;
        for (std::int32_t t = 0; t < row.count; ++t) feedback ^= cell[row.taps[t]];
        for (std::int32_t j = order; j >= 2; --j) cell[j] = cell[j - 1];
        cell[1] = feedback;
    }
    for (std::int32_t j = 1; j <= order; ++j) {
        if (cell[j] != 1) return false;
    }
    return true;
}

int allocateMlsTables(SampleArrays& arrays) {
    const auto n = static_cast<std::size_t>(arrays.pointCount);
    MlsTables& tables = arrays.mls;
    AllocationBudget& budget = arrays.allocationBudget;
    const bool allocated = tables.mlsScratch.allocate(n, budget) &&
                           tables.mlsSequence.allocate(n, budget) &&
                           tables.mlsInputTags.allocate(n - 1, budget) &&
                           tables.mlsOutputTags.allocate(n - 1, budget);
    return allocated ? 0 : -1;
}

void releaseMlsTables(MlsTables& tables) {
    tables.mlsScratch.release();
    tables.mlsSequence.release();
    tables.mlsInputTags.release();
    tables.mlsOutputTags.release();
}

int generateMls(SampleArrays& arrays, std::span<std::uint8_t> playBuffer) {
    arrays.mlsActive = true;
    releaseMlsTables(arrays.mls);
    if (allocateMlsTables(arrays) != 0) {
        releaseMlsTables(arrays.mls);
        return -1;
    }
    MlsTables& tables = arrays.mls;
    const std::int32_t order = arrays.mlsOrder;
    const std::int32_t length = arrays.mlsLength;
    fillMlsSequence(order, tables.mlsSequence.view());

    // The pass repeats the sequence with period L: sample i carries value
    // ((i - 1) mod L) + 1, so any L consecutive samples the analysis takes are
    // one full period and correlate to a single clean impulse.
    OneBasedSpan<std::uint8_t> play(playBuffer);
    for (std::int32_t i = 1; i <= arrays.excitationLength; ++i) {
        const std::int32_t k = (i - 1) % length + 1;
        const std::uint8_t code = tables.mlsSequence[k] == -1 ? kSilenceCode : kDriveCode;
        play[i] = code;
        arrays.excitationBuffer[i] = code;
    }
    buildInputTags(tables, order, length);
    buildOutputTags(tables, order, length);
    return 0;
}

}  // namespace ressona
