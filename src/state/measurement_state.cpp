#include "state/measurement_state.h"

#include <cstring>

namespace ressona {

std::string fileNameOf(const MeasurementState& state) {
    const char* text = state.fileNameText.data();
    return std::string(text, strnlen(text, state.fileNameText.size()));
}

}  // namespace ressona
