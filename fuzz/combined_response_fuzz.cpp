// Any bytes as a response text to be combined: once accepted and laid onto a
// grid, its views must hold numbers where they promise them (levels, phases
// within a half turn, a minimum and an excess phase), and its rms, dB and
// vector averages with itself, aligned, must come out of the same size.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "exchange/response_text.h"
#include "measure/response_combination.h"
#include "response/response_views.h"

namespace {

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "combined_response_fuzz: %s\n", what);
    std::abort();
}

constexpr std::uint32_t kRate = 48000;
constexpr std::uint32_t kPoints = 1024;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ressona::ResponseText response;
    if (!ressona::parseResponseText(text, response).empty()) return 0;
    const ressona::Spectrum spectrum = ressona::textResponseOnGrid(response, kRate, kPoints);
    if (spectrum.size() != kPoints / 2 + 1) finding("a grid of the wrong size");
    const ressona::ResponseViews views = ressona::viewsOfSpectrum(spectrum, kRate);
    if (views.frequencyHz.size() != kPoints / 2) finding("views of the wrong size");
    for (std::size_t i = 0; i < views.frequencyHz.size(); ++i) {
        if (!std::isfinite(views.levelDb[i])) finding("a level that is no number");
        if (!(std::fabs(views.phaseDeg[i]) <= 180.0)) finding("a phase beyond a half turn");
        if (!(std::fabs(views.excessPhaseDeg[i]) <= 180.0)) finding("an excess phase");
        if (!std::isfinite(views.minimumPhaseDeg[i])) finding("a minimum phase");
    }
    ressona::Spectrum later = spectrum;
    ressona::removeDelay(later, ressona::delayAgainst(spectrum, later));
    ressona::removeLevel(later, ressona::levelAbove(spectrum, later));
    const std::vector<ressona::Spectrum> both{spectrum, later};
    for (const auto kind :
         {ressona::AverageKind::Rms, ressona::AverageKind::Db, ressona::AverageKind::Vector}) {
        if (ressona::averageResponses(both, kind).size() != spectrum.size())
            finding("an average of the wrong size");
    }
    return 0;
}
