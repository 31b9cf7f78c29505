// What a card may record for a pass: any samples, of any length against the
// codes played, at any latency, period and length, also as a reference channel. The
// check must end, name a fault or none, and never read outside either buffer.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "audio/pass_check.h"
#include "audio/wire_check.h"
#include "state/measurement_state.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ressona;
    FuzzedDataProvider in(data, size);
    const auto latency = in.ConsumeIntegralInRange<std::int32_t>(-70000, 70000);
    const auto period = in.ConsumeIntegralInRange<std::int64_t>(0, 40000);
    const auto sampleLength = in.ConsumeIntegralInRange<std::uint32_t>(0, 40000);
    const bool comparesPasses = in.ConsumeBool();
    const auto playedLength = in.ConsumeIntegralInRange<std::size_t>(0, 16384);
    std::vector<std::uint8_t> played = in.ConsumeBytes<std::uint8_t>(playedLength);
    std::vector<std::int16_t> recording;
    while (in.remaining_bytes() >= 2 && recording.size() < 32768)
        recording.push_back(in.ConsumeIntegral<std::int16_t>());

    const PassTiming timing = timePass(played, recording, latency, period);
    (void)passFault(timing, latency, std::int64_t{period % 7});
    // The wire fitted to the recording as a reference, at any arrival (the
    // run reaches it only once a reference is timed).
    (void)wireMismatchFrom(played, recording, latency);

    // The run's own check, twice (the first timing is confirmed by a second),
    // then with the recording turned round (a pulse's recordings are compared).
    MeasurementState state;
    state.sampleLength = sampleLength;
    state.passCheck.comparesPasses = comparesPasses;
    state.latencySamples = latency;
    state.passCheck.armed = true;
    state.passCheck.period = period;
    state.device.playBuffer = played;
    state.device.recordBuffer = recording;
    state.device.playBytes = static_cast<std::uint32_t>(played.size() + period % 3);
    state.device.recordBytes = static_cast<std::uint32_t>(2 * recording.size() + period % 5);
    (void)checkRecordedPass(state);
    (void)checkRecordedPass(state);
    std::reverse(state.device.recordBuffer.begin(), state.device.recordBuffer.end());
    (void)checkRecordedPass(state);

    // The same recording as a reference channel (of whatever length) beside it.
    state.reference.channel = ReferenceChannel::kLeft;
    state.reference.recording = recording;
    (void)checkRecordedPass(state);
    return 0;
}
