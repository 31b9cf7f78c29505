#pragma once
// A whole program on the simulated card in instant mode, with recording
// dialogs and recording plot surfaces: what the desktop program runs, minus
// the widgets.

#include <memory>
#include <string>

#include "control/program.h"
#include "platform/canvas/recording_canvas.h"
#include "platform/sim/simulated_card.h"
#include "platform/sim/simulated_mixer.h"
#include "platform/sim/simulated_sound_card.h"
#include "resources/control_ids.h"

namespace ressona::testing {

struct SimulatedProgram {
    explicit SimulatedProgram(const std::string& preset = "loopback") {
        SoundCardOptions options;
        options.instant = true;
        makeSimulatedSoundCard(preset, options, card);
        services = std::make_unique<ProgramServices>(ProgramServices{
            *card.wave, *card.mixer, *card.clock, dialogs, timeSurface, freqSurface, 1024, 768, {}, {}});
        program = std::make_unique<Program>(*services);
    }
    SimulatedCard& simulatedCard() { return dynamic_cast<SimulatedCard&>(*card.wave); }
    SimulatedMixer& simulatedMixer() { return dynamic_cast<SimulatedMixer&>(*card.mixer); }
    // Handles queued messages one by one until `captures` pass completions have
    // been handled (or the queue is empty), then lets the plots draw the last one.
    void runCaptures(int captures) {
        MessageQueue& queue = program->queue();
        Message message;
        int handled = 0;
        while (handled < captures && queue.PeekMessageA(message, kNoWindow, PM_REMOVE)) {
            if (message.message == WM_QUIT) break;
            queue.DispatchMessageA(message);
            if (message.message == WM_COMMAND && commandId(message.wParam) == CMD_CAPTURE_DONE) ++handled;
        }
    }
    std::vector<int> shownTemplates() const {
        std::vector<int> ids;
        for (const ShownDialog& shown : dialogs.shown) ids.push_back(shown.templateId);
        return ids;
    }

    SoundCard card;
    RecordingDialogService dialogs;
    RecordingSurface timeSurface{955, 256};
    RecordingSurface freqSurface{955, 256};
    std::unique_ptr<ProgramServices> services;
    std::unique_ptr<Program> program;
};

}  // namespace ressona::testing
