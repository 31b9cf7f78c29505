// Feeds arbitrary bytes to the saved-file reader as if they were a file, on a
// grid chosen from the input's length, so that every reading path (header,
// data rows, spreading, thinning, joining) meets every kind of content. A file
// refused leaves the captured curve exactly as it was; one accepted leaves
// only finite values that are not negative, or NaN where no row reached.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "state/hand_over.h"
#include "control/program_state.h"
#include "storage/result_file.h"

namespace {

struct Grid {
    std::uint32_t points;
    std::uint32_t rate;
};
constexpr Grid kGrids[] = {{64, 22050}, {256, 8000}, {1024, 48000}, {128, 44100}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Grid grid = kGrids[size % 4];
    auto program = std::make_unique<ressona::ProgramState>();
    if (ressona::allocateSampleArrays(program->state, program->arrays, grid.points, grid.rate, 1,
                                      true) != ressona::kArraysReady) {
        return 0;
    }
    ressona::setStorageFileName(program->state, "fuzzed-input-without-blanks-in-its-title.rsn");
    std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (file == nullptr) return 0;
    auto& captured = program->arrays.capturedSpectrum;
    for (std::size_t k = 1; k <= captured.size(); ++k) captured[k] = static_cast<float>(k);
    const int status = ressona::readResultStream(file, program->state, program->arrays);
    std::fclose(file);
    for (std::size_t k = 1; k <= captured.size(); ++k) {
        const float value = captured[k];
        const bool kept = value == static_cast<float>(k);
        const bool sound = std::isnan(value) || (std::isfinite(value) && value >= 0.0f);
        if (status == ressona::kResultFileDone ? !sound : !kept) std::abort();
    }
    if ((status == ressona::kResultFileDone) != program->state.plotShowCaptured) std::abort();
    return 0;
}
