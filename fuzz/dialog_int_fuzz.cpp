// Feeds arbitrary edit text through the number reading of the dialog edits:
// it must never crash, and whatever it accepts must read back unchanged.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/dialog/dialog_int.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (bool isSigned : {false, true}) {
        bool translated = false;
        const std::uint32_t value = ressona::parseDialogInt(text, isSigned, translated);
        if (!translated && value != 0) std::abort();
        if (translated) {
            bool again = false;
            const auto formatted = ressona::formatDialogInt(value, isSigned);
            if (ressona::parseDialogInt(formatted, isSigned, again) != value || !again) std::abort();
        }
    }
    return 0;
}
