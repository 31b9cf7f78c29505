// Any bytes as a sensitivity file: what is accepted holds a finite
// sensitivity within its range and calibrator figures within theirs, and
// written out and read back it gives the same figures (to the text's
// rounding).

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "level/sensitivity_file.h"

namespace {

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "sensitivity_file_fuzz: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ressona::Sensitivity read;
    if (!ressona::parseSensitivity(text, read).empty()) return 0;
    if (!std::isfinite(read.dbfsAt94DbSpl) || read.dbfsAt94DbSpl < -200.0 ||
        read.dbfsAt94DbSpl > 50.0)
        finding("a sensitivity outside its range was accepted");
    if (read.calibratorHz && !(*read.calibratorHz >= 1.0 && *read.calibratorHz <= 100000.0))
        finding("a calibrator frequency outside its range was accepted");
    if (read.calibratorDb && !(*read.calibratorDb >= 0.0 && *read.calibratorDb <= 200.0))
        finding("a calibrator level outside its range was accepted");
    ressona::Sensitivity again;
    if (!ressona::parseSensitivity(ressona::sensitivityText(read), again).empty())
        finding("a written sensitivity file was refused");
    if (std::fabs(again.dbfsAt94DbSpl - read.dbfsAt94DbSpl) > 0.0005 ||
        again.calibratorHz.has_value() != read.calibratorHz.has_value() ||
        again.calibratorDb.has_value() != read.calibratorDb.has_value())
        finding("a written sensitivity file read back differently");
    return 0;
}
