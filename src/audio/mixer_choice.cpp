#include "audio/mixer_choice.h"

#include <algorithm>
#include <span>

#include "audio/mixer_state.h"
#include "platform/dialog/error_dialog_service.h"

namespace ressona {

void runMixerChoiceDialog(MixerState& mixer, DialogService& dialogs, WindowHandle panel) {
    const std::size_t listed = std::min<std::size_t>(mixer.mixerCount, kMaxMixers);
    const std::span<const std::string> names(mixer.mixerNames.data(), listed);
    // The list is not sorted, so a list index is a mixer id.
    const ListChoice choice = dialogs.runListDialog(mixerChoiceTemplate(), panel, names, 0);
    if (choice.end != DialogEnd::kOk) return;
    const bool valid =
        choice.selectedIndex >= 0 && static_cast<std::size_t>(choice.selectedIndex) < listed;
    mixer.mixerIndex = valid ? static_cast<std::uint32_t>(choice.selectedIndex) : 0;
}

}  // namespace ressona
