// The room analysis of any impulse response, as --ir-wav hands it one: the
// first four bytes choose the rate (8000 .. 192000 Hz) and, in their top bit,
// whether the samples count as rounded to whole steps; the rest are 32-bit
// float samples of any value. A response is analysed or refused with a
// reason; an analysed one has in every band a time only where its curve gave
// one, finite, and a reliable mark only where no reason speaks against it.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "room/room_analysis.h"

namespace {

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "room_analysis_fuzz: %s\n", what);
    std::abort();
}

void checkTime(const ressona::DecayTime& time) {
    if (time.reliable != (time.evaluated && time.reasons.empty()))
        finding("a reliable mark against its reasons");
    if (time.evaluated && !(std::isfinite(time.seconds) && time.seconds > 0.0))
        finding("an evaluated time that is not a finite positive number");
    if (!time.evaluated && time.reasons.empty()) finding("a missing time without a reason");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    std::uint32_t pick = 0;
    std::memcpy(&pick, data, 4);
    const std::uint32_t rate =
        ressona::kRoomLowestRate +
        (pick & 0x7fffffffu) % (ressona::kRoomHighestRate - ressona::kRoomLowestRate + 1);
    std::vector<double> samples((size - 4) / 4);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        float value = 0.0f;
        std::memcpy(&value, data + 4 + 4 * i, 4);
        samples[i] = value;
    }
    ressona::RoomOptions options;
    options.curvePoints = 50;
    options.roundingStep = (pick & 0x80000000u) != 0 ? 1.0 : 0.0;
    ressona::RoomAnalysis analysis;
    const std::string error = ressona::analyseRoom(samples, rate, options, analysis);
    if (!error.empty()) {
        if (!analysis.bands.empty()) finding("a refused response with bands");
        return 0;
    }
    if (analysis.bands.empty() || analysis.bands.size() > 33) finding("a wrong number of bands");
    for (const ressona::RoomBand& band : analysis.bands) {
        for (const ressona::DecayTime* time : {&band.edt, &band.t20, &band.t30}) checkTime(*time);
        if (band.curveDb.size() > 51) finding("more curve points than asked for");
        for (const float level : band.curveDb) {
            if (!(level <= 1e-3f)) finding("a decay curve above its start");
        }
    }
    return 0;
}
