#pragma once
// What the mixer set-up keeps for the run: the mixer in use, the three level
// slots driven by the panel's scroll bars, and the list of every control the
// last set-up changed with its values from before the change.

#include <array>
#include <cstdint>
#include <string>

#include "platform/mixer/mixer_service.h"

namespace ressona {

inline constexpr std::size_t kMaxMixers = 10;           // names kept for the choice
inline constexpr std::size_t kMaxControlsPerLine = 50;  // controls read per line
inline constexpr std::size_t kMaxSelectItems = 50;      // items read per select control
inline constexpr std::size_t kMaxRestoreEntries = 200;  // controls recorded per set-up
inline constexpr std::size_t kMaxLinesWalked = 50;      // destinations, and sources of each

// One volume control driven by a level scroll bar; all zero until filled.
struct LevelSlot {
    MIXERCONTROLDETAILS details;  // control id, 1 channel, no items, 4-byte value
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
    bool filled = false;
};

// One changed control and its values as read before the change.
struct RestoreEntry {
    MIXERCONTROLDETAILS details;  // paDetails is set when written back
    std::array<MIXERCONTROLDETAILS_SIGNED, kMaxSelectItems> values{};
};

struct MixerState {
    HMIXER mixerHandle = 0;
    std::uint32_t mixerCount = 0;
    std::uint32_t mixerIndex = 0;
    std::array<std::string, kMaxMixers> mixerNames;
    bool mixerChosen = false;

    LevelSlot micLevelSlot;
    LevelSlot outputLevelSlot;
    LevelSlot lineLevelSlot;

    // Set while a select control has done the routing of that side.
    bool outputRouted = false;
    bool recordRouted = false;

    std::array<RestoreEntry, kMaxRestoreEntries> restoreList{};
    std::size_t restoreCount = 0;
};

}  // namespace ressona
