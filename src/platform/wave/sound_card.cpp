#include "platform/wave/sound_card.h"

namespace ressona {

bool parseDeviceName(std::string_view text, DeviceName& name) {
    const std::size_t colon = text.find(':');
    const std::string_view backend = text.substr(0, colon);
    const std::string_view argument =
        colon == std::string_view::npos ? std::string_view() : text.substr(colon + 1);
    if (backend != "sim" && backend != "alsa") return false;
    if (colon != std::string_view::npos && argument.empty()) return false;
    name.backend = std::string(backend);
    name.argument = std::string(argument);
    return true;
}

}  // namespace ressona
