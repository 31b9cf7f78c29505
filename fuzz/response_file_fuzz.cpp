// Any bytes as the file the measurer's "Read From" is given, named as a
// response text (.frd, .txt, .csv) or as a saved file, read onto one of a few
// grids with and without the curve becoming the result. Whatever the bytes:
// the answer is one of the reader's statuses, a success leaves magnitudes that
// are finite and not negative and phases within -pi..+pi, and a grid taken from
// a saved file's header is one the panel offers.

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "state/hand_over.h"
#include "control/program_state.h"
#include "measure/response_reading.h"

namespace {

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "response_file_fuzz: %s\n", what);
    std::abort();
}

struct Grid {
    std::uint32_t points;
    std::uint32_t rate;
};
constexpr Grid kGrids[] = {{64, 22050}, {256, 8000}, {1024, 48000}, {128, 44100}};
constexpr const char* kEndings[] = {".frd", ".txt", ".csv", ".rsn"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::uint8_t choice = size > 0 ? data[0] : 0;
    const Grid grid = kGrids[choice % 4];
    const bool becomesResult = (choice & 0x10) != 0;
    const std::string path =
        "/tmp/response_file_fuzz." + std::to_string(::getpid()) + kEndings[(choice >> 2) % 4];
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        if (size > 1)
            file.write(reinterpret_cast<const char*>(data + 1), std::streamsize(size - 1));
    }

    if (const auto saved = ressona::savedFileGrid(path)) {
        const std::uint32_t n = saved->second;
        if (n < 64 || n > 16384 || (n & (n - 1)) != 0) finding("a length the panel lacks");
    }

    auto program = std::make_unique<ressona::ProgramState>();
    if (ressona::allocateSampleArrays(program->state, program->arrays, grid.points, grid.rate, 1,
                                      true) != ressona::kArraysReady) {
        return 0;
    }
    ressona::setStorageFileName(program->state, path);
    ressona::ResponseReading reading;
    const int status =
        ressona::readResponseFile(program->state, program->arrays, becomesResult, reading);
    std::remove(path.c_str());
    if (status != 0 && status != -1 && status != -2) finding("a status the reader does not have");
    if (status != 0) {
        if (reading.problem.empty()) finding("a failure without a reason");
        return 0;
    }
    const auto& arrays = program->arrays;
    const std::size_t bins = grid.points / 2;
    for (std::size_t k = 1; k <= bins; ++k) {
        // The saved-file reader keeps its own rules for what it lets through.
        if (reading.text &&
            !(arrays.capturedSpectrum[k] >= 0.0f && std::isfinite(arrays.capturedSpectrum[k]))) {
            finding("a captured magnitude that is negative or not finite");
        }
        if (becomesResult) {
            if (arrays.magnitudeSpectrum[k] != arrays.capturedSpectrum[k] &&
                !(std::isnan(arrays.magnitudeSpectrum[k]) &&
                  std::isnan(arrays.capturedSpectrum[k]))) {
                finding("the result differs from the curve read");
            }
            if (!(std::fabs(arrays.phaseSpectrum[k]) <= 4.0f)) finding("a phase out of range");
        }
    }
    if (becomesResult && !arrays.resultsReady) finding("a result that is not ready");
    return 0;
}
