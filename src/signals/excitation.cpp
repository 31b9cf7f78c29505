#include "signals/excitation.h"

#include "state/hand_over.h"
#include "state/measurement_state.h"
#include "state/excitation_mode.h"
#include "signals/generators.h"
#include "signals/mls.h"
#include "signals/sample_arrays.h"

namespace ressona {

int runExcitationGenerator(MeasurementState& state, SampleArrays& arrays, TimeOfDay now) {
    std::span<std::uint8_t> play(state.device.playBuffer);
    switch (state.excitationMode) {
        case kModeMls: return generateMls(arrays, play) == 0 ? 0 : 1;
        case kModeSineWave: return generateSineWave(play, arrays, state.toneFrequency);
        case kModeSquareWave: return generateSquareWave(play, arrays, state.toneFrequency);
        case kModePulse: return generatePulse(play, arrays);
        case kModeWhiteNoise: return generateWhiteNoise(play, arrays, now);
        case kModeNoSignal: return generateSilence(play, arrays);
        case kModeSweep: return generateSweep(play, arrays);
        default: return 0;  // unknown mode: the previous excitation stays
    }
}

int prepareExcitation(MeasurementState& state, SampleArrays& arrays, TimeOfDay now) {
    const std::int32_t passes =
        state.averagingOn ? static_cast<std::int32_t>(state.averageCount) : 1;
    state.buffersPrepared = true;
    handHalfHanning(state, state.halfHanning);
    handThirdOctave(state, state.thirdOctave);

    const int status = allocateSampleArrays(state, arrays, state.sampleLength, state.sampleRate,
                                            passes, state.averageInTime);
    if (status == kArraysImpossibleSize) return kPrepareImpossibleSize;
    if (status != kArraysReady) return kPrepareFailed;
    // The device memory holds 65536 samples; a pass longer than it cannot be played.
    if (state.device.playBuffer.size() < static_cast<std::size_t>(arrays.excitationLength)) {
        return kPrepareFailed;
    }
    return runExcitationGenerator(state, arrays, now) == 0 ? kPrepareDone : kPrepareFailed;
}

void releaseSampleArrays(SampleArrays& arrays) {
    releaseArrayStorage(arrays);
    releaseMlsTables(arrays.mls);
    arrays.resultsReady = false;
}

}  // namespace ressona
