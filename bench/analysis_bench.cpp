// One analysed capture, as the measurement cycle runs it after every pass:
// a recording of the excitation (correlated for the MLS, taken as it is for
// the pulse), averaged in time, transformed, magnitude and phase formed.

#include <benchmark/benchmark.h>

#include <memory>

#include "analysis/response_analysis.h"
#include "control/device_memory.h"
#include "control/array_hand_over.h"
#include "control/program_state.h"
#include "signals/excitation.h"

namespace {

std::unique_ptr<ressona::ProgramState> recordingOf(std::int32_t mode, std::uint32_t n) {
    auto program = std::make_unique<ressona::ProgramState>();
    ressona::MeasurementState& state = program->state;
    ressona::allocatePlayMemory(state.device, program->arrays.allocationBudget);
    ressona::allocateRecordMemory(state.device, program->arrays.allocationBudget);
    state.excitationMode = mode;
    state.sampleLength = n;
    ressona::prepareExcitation(state, program->arrays, ressona::TimeOfDay{});
    ressona::handTimeCuts(state, program->arrays, 0, 1000);
    for (std::size_t i = 1; i <= 2 * n; ++i) {
        const int code = program->arrays.excitationBuffer[i];
        state.device.recordBuffer[i - 1] =
            static_cast<std::int16_t>((code - 128) * 200 + (i * 7919) % 61);
    }
    return program;
}

void analyse(benchmark::State& bench, std::int32_t mode) {
    auto program = recordingOf(mode, static_cast<std::uint32_t>(bench.range(0)));
    ressona::ProgramState& p = *program;
    std::uint32_t counter = 0;
    for (auto _ : bench) {
        ressona::analyseCapture(p.state, p.arrays, p.transform, p.state.device.recordBuffer, 0,
                                false, counter++, 0);
        benchmark::ClobberMemory();
    }
}

void analyseCaptureMLS(benchmark::State& bench) {
    analyse(bench, ressona::kModeMls);
}
void analyseCapturePulse(benchmark::State& bench) {
    analyse(bench, ressona::kModePulse);
}

}  // namespace

BENCHMARK(analyseCaptureMLS)->Arg(2048)->Arg(16384)->Unit(benchmark::kMicrosecond);
BENCHMARK(analyseCapturePulse)->Arg(2048)->Arg(16384)->Unit(benchmark::kMicrosecond);
