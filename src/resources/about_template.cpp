#include "resources/about_template.h"

#include <array>

#include "resources/control_ids.h"

namespace ressona {

namespace {

using K = ControlKind;
constexpr int kNone = kNoControlId;

// Every line is centred on the box's middle (66 dialog units), whatever the
// width of the font that draws it.
constexpr std::array kAboutControls = {
    ControlTemplate{kNone, K::Icon, "", 55, 0, 21, 20, 0, "", ids::kProgramIcon},
    ControlTemplate{kNone, K::Text, "Ressona", 50, 24, 32, 10, kCentred, ""},
    ControlTemplate{kNone, K::Text, "Loudspeaker and room response", 10, 36, 110, 10, kCentred, ""},
    ControlTemplate{kNone, K::Text, "measured with a sound card", 14, 48, 102, 10, kCentred, ""},
    ControlTemplate{kNone, K::Text, "Version 4.02", 38, 60, 56, 10, kCentred, ""},
    ControlTemplate{kAboutOkButton, K::PushButton, "OK", 50, 74, 31, 14, kDefaultButton, ""},
};

constexpr DialogTemplate kAbout{ids::kAboutTemplate, "About Ressona", "Sans", 8,
                                10, 10, 132, 90, kAboutControls};

}  // namespace

const DialogTemplate& aboutTemplate() { return kAbout; }

}  // namespace ressona
