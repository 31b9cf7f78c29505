// Feeds arbitrary bytes to the saved-file reader as if they were a file, on a
// grid chosen from the input's length, so that every reading path (header,
// data lines, spreading, thinning, gap filling) meets every kind of content.

#include <cstdint>
#include <cstdio>
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
    ressona::readResultStream(file, program->state, program->arrays);
    std::fclose(file);
    return 0;
}
