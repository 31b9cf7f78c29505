#include "measure/measure_backends.h"

#include "platform/canvas/recording_canvas.h"
#include "platform/sim/simulated_sound_card.h"

namespace ressona {

MeasureBackends simulatedMeasureBackends() {
    MeasureBackends backends;
    backends.makeCard = [](std::string_view name, const SoundCardOptions& options,
                           SoundCard& card) {
        DeviceName parsed;
        if (!parseDeviceName(name, parsed)) return kSoundCardUnknownName;
        if (parsed.backend != "sim") return kSoundCardUnavailable;
        return makeSimulatedSoundCard(parsed.argument, options, card);
    };
    backends.makeDefaultCard = [](const SoundCardOptions& options, SoundCard& card) {
        return makeSimulatedSoundCard("room", options, card);
    };
    backends.makePlotSurface = [](std::int32_t width, std::int32_t height) {
        return std::unique_ptr<WindowSurface>(std::make_unique<RecordingSurface>(width, height));
    };
    return backends;
}

}  // namespace ressona
