#include "room/frequency_bands.h"

#include <cmath>
#include <cstdio>
#include <iterator>

namespace ressona {

namespace {

// The base-ten octave ratio of IEC 61260-1.
const double kOctaveRatio = std::pow(10.0, 0.3);

// Nominal mid-band frequencies: octaves 63 Hz .. 8 kHz are x = -4 .. 3.
constexpr double kOctaveNominals[] = {63, 125, 250, 500, 1000, 2000, 4000, 8000};
constexpr int kFirstOctave = -4;
// Third-octaves 25 Hz .. 20 kHz are x = -16 .. 13; the room's are 50 Hz .. 10 kHz.
constexpr double kThirdNominals[] = {25,    31.5,  40,   50,   63,   80,   100,  125,
                                     160,   200,   250,  315,  400,  500,  630,  800,
                                     1000,  1250,  1600, 2000, 2500, 3150, 4000, 5000,
                                     6300,  8000,  10000, 12500, 16000, 20000};
constexpr int kFirstThird = -16;
constexpr double kRoomLowestThird = 50;
constexpr double kRoomHighestThird = 10000;

FrequencyBand fractionalBand(BandKind kind, double nominal, int x, int fraction) {
    FrequencyBand band;
    band.kind = kind;
    band.nominalHz = nominal;
    band.centreHz = 1000.0 * std::pow(kOctaveRatio, static_cast<double>(x) / fraction);
    const double halfWidth = std::pow(kOctaveRatio, 1.0 / (2.0 * fraction));
    band.lowerHz = band.centreHz / halfWidth;
    band.upperHz = band.centreHz * halfWidth;
    return band;
}

// The third-octaves from lowestNominal to highestNominal whose upper edge lies below highestEdge.
std::vector<FrequencyBand> thirdOctaves(double lowestNominal, double highestNominal,
                                        double highestEdge) {
    std::vector<FrequencyBand> bands;
    int x = kFirstThird;
    for (const double nominal : kThirdNominals) {
        const FrequencyBand band = fractionalBand(BandKind::ThirdOctave, nominal, x++, 3);
        if (nominal >= lowestNominal && nominal <= highestNominal && band.upperHz < highestEdge)
            bands.push_back(band);
    }
    return bands;
}

}  // namespace

std::vector<FrequencyBand> roomBands(std::uint32_t sampleRate, bool octaves, bool thirdOctaves) {
    std::vector<FrequencyBand> bands(1);  // broadband
    const double highestEdge = kHighestEdgeShareOfRate * sampleRate;
    auto addIfBelow = [&](const FrequencyBand& band) {
        if (band.upperHz < highestEdge) bands.push_back(band);
    };
    if (octaves) {
        int x = kFirstOctave;
        for (const double nominal : kOctaveNominals)
            addIfBelow(fractionalBand(BandKind::Octave, nominal, x++, 1));
    }
    if (thirdOctaves) {
        for (const FrequencyBand& band :
             ressona::thirdOctaves(kRoomLowestThird, kRoomHighestThird, highestEdge))
            bands.push_back(band);
    }
    return bands;
}

std::vector<FrequencyBand> meterThirdOctaves(std::uint32_t sampleRate, double highestEdgeShare) {
    return thirdOctaves(kThirdNominals[0], kThirdNominals[std::size(kThirdNominals) - 1],
                        highestEdgeShare * sampleRate);
}

std::string bandName(const FrequencyBand& band) {
    if (band.kind == BandKind::Broadband) return "broadband";
    char text[16];
    if (band.nominalHz >= 1000.0) {
        std::snprintf(text, sizeof text, "%gk", band.nominalHz / 1000.0);
    } else {
        std::snprintf(text, sizeof text, "%g", band.nominalHz);
    }
    return text;
}

}  // namespace ressona
