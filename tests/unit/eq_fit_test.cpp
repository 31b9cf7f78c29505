// The equaliser: the cookbook sections against their defining properties, the
// fit against rooms with a known answer, and the files written for the
// equalisers.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "eq/biquad.h"
#include "eq/eq_files.h"
#include "eq/eq_fit.h"
#include "measure/eq_correction.h"
#include "response/transfer_function.h"

namespace ressona {
namespace {

constexpr double kRate = 11025.0;

// A response on the grid of a 16384-point transform at kRate, through `room`.
EqCurve roomResponse(const std::vector<EqFilter>& room, double levelDb = -6.0) {
    EqCurve curve;
    for (int k = 1; k < 8192; ++k) {
        const double f = k * kRate / 16384.0;
        curve.frequencyHz.push_back(f);
        curve.levelDb.push_back(levelDb + filtersLevelDb(room, f, kRate));
    }
    return curve;
}

TEST(Biquad, SectionsMeetTheirGainsAndAPeakingPairCancels) {
    const EqFilter peak{FilterKind::Peaking, 100.0, 6.0, 4.0};
    EXPECT_NEAR(filtersLevelDb(std::vector{peak}, 100.0, kRate), 6.0, 1e-9);
    EXPECT_NEAR(filtersLevelDb(std::vector{peak}, 5000.0, kRate), 0.0, 0.01);
    const EqFilter undo{FilterKind::Peaking, 100.0, -6.0, 4.0};
    for (double f : {20.0, 90.0, 100.0, 400.0})
        EXPECT_NEAR(filtersLevelDb(std::vector{peak, undo}, f, kRate), 0.0, 1e-9) << f;
    const EqFilter low{FilterKind::LowShelf, 200.0, -5.0, kShelfQ};
    const EqFilter high{FilterKind::HighShelf, 200.0, -5.0, kShelfQ};
    EXPECT_NEAR(filtersLevelDb(std::vector{low}, 5.0, kRate), -5.0, 0.05);
    EXPECT_NEAR(filtersLevelDb(std::vector{low}, 200.0, kRate), -2.5, 0.05);
    EXPECT_NEAR(filtersLevelDb(std::vector{high}, 5000.0, kRate), -5.0, 0.05);
    EXPECT_NEAR(filtersLevelDb(std::vector{high}, 5.0, kRate), 0.0, 0.05);
}

TEST(Biquad, FilteringAnImpulseGivesTheSameLevelsAsTheFormula) {
    const std::vector<EqFilter> filters{{FilterKind::Peaking, 60.0, 8.0, 5.0},
                                        {FilterKind::HighShelf, 1000.0, 3.0, kShelfQ}};
    const std::vector<double> impulse{1.0};
    const std::vector<double> h = filterSignal(filters, kRate, impulse, 1u << 16);
    for (double f : {30.0, 60.0, 500.0, 3000.0}) {
        double re = 0.0, im = 0.0;
        for (std::size_t n = 0; n < h.size(); ++n) {
            re += h[n] * std::cos(2.0 * M_PI * f * n / kRate);
            im -= h[n] * std::sin(2.0 * M_PI * f * n / kRate);
        }
        EXPECT_NEAR(10.0 * std::log10(re * re + im * im), filtersLevelDb(filters, f, kRate), 0.01);
    }
}

TEST(EqFit, CorrectsFourModesWithinTheBoostLimit) {
    const std::vector<EqFilter> modes{{FilterKind::Peaking, 45, 8, 5},
                                      {FilterKind::Peaking, 90, 6, 4},
                                      {FilterKind::Peaking, 150, -6, 3},
                                      {FilterKind::Peaking, 210, 4, 6}};
    EqFitSettings settings;
    settings.sampleRate = kRate;
    settings.filters = 6;
    settings.lowHz = 25.0;
    settings.highHz = 300.0;
    const EqFit fit = fitEqualiser(roomResponse(modes), {}, settings);
    ASSERT_EQ(fit.problem, "");
    EXPECT_LE(fit.filters.size(), 6u);
    EXPECT_GT(fit.before.maxDb, 5.0);
    EXPECT_LT(fit.after.maxDb, 1.0);
    for (double f = 12.5; f < 600.0; f *= 1.01)
        EXPECT_LE(filtersLevelDb(fit.filters, f, kRate), settings.maxBoostDb + 0.05) << f;
    // The prediction is the smoothed response plus exactly the filters reported.
    for (std::size_t i = 0; i < fit.frequencyHz.size(); i += 17)
        EXPECT_NEAR(fit.predictedDb[i] - fit.measuredDb[i],
                    filtersLevelDb(fit.filters, fit.frequencyHz[i], kRate), 1e-9);
}

TEST(EqFit, LeavesNarrowDipsAndFlatResponsesAlone) {
    EqFitSettings settings;
    settings.sampleRate = kRate;
    EXPECT_TRUE(fitEqualiser(roomResponse({}), {}, settings).filters.empty());
    // A deep cancellation at 120 Hz (Q 12) and a level shape the target asks for.
    const EqFit dip = fitEqualiser(roomResponse({{FilterKind::Peaking, 120, -12, 12}}), {}, settings);
    EXPECT_LE(filtersLevelDb(dip.filters, 120.0, kRate), 0.5);
    const EqCurve tilt{{20.0, 500.0}, {6.0, 0.0}};
    const EqFit tilted = fitEqualiser(roomResponse({}), tilt, settings);
    EXPECT_FALSE(tilted.filters.empty());
    EXPECT_LT(tilted.after.maxDb, tilted.before.maxDb / 2.0);
}

// A direct sound and one reflection 55 samples later: dips at 100 and 300 Hz.
// With the reflection the weaker the response is minimum phase and its dip at
// 100 Hz is boosted; with it the stronger the magnitude is the same, but the
// excess phase turns a full circle across each dip, and that one is left alone.
TEST(EqFit, BoostsOnlyTheDipsThatAreMinimumPhase) {
    const auto fitted = [](double direct, double reflection) {
        std::vector<double> impulse(16384, 0.0);
        impulse[0] = direct;
        impulse[55] = reflection;
        const EqCurve response = eqResponseOf(
            transferFunctionOfImpulse(std::move(impulse), static_cast<std::uint32_t>(kRate), 0));
        EqFitSettings settings;
        settings.lowHz = 50.0;
        settings.highHz = 200.0;
        settings.sampleRate = kRate;
        const EqFit fit = fitEqualiser(response, {}, settings);
        EXPECT_EQ(fit.problem, "");
        double boost = 0.0;  // the largest of the filters within half an octave of the dip
        for (const EqFilter& f : fit.filters)
            if (std::fabs(std::log2(f.frequencyHz / 100.2)) < 0.5) boost = std::max(boost, f.gainDb);
        return boost;
    };
    EXPECT_GT(fitted(1.0, 0.5), 3.0) << "the minimum-phase dip is filled";
    EXPECT_EQ(fitted(0.5, 1.0), 0.0) << "the dip with excess phase is not";
}

TEST(EqFit, RefusesWhatCannotBeFitted) {
    EqFitSettings settings;
    settings.sampleRate = kRate;
    EXPECT_EQ(fitEqualiser(roomResponse({}, -200.0), {}, settings).problem,
              "the response holds no energy in the range");
    const EqCurve cliff{{20.0, 100.0, 110.0, 500.0}, {0.0, 0.0, 60.0, 60.0}};
    EXPECT_NE(fitEqualiser(roomResponse({}), cliff, settings).problem, "");
    for (auto change : {+[](EqFitSettings& s) { s.filters = 0; },
                        +[](EqFitSettings& s) { s.filters = kEqMostFilters + 1; },
                        +[](EqFitSettings& s) { s.highHz = 6000.0; },
                        +[](EqFitSettings& s) { s.lowHz = 400.0, s.highHz = 420.0; },
                        +[](EqFitSettings& s) { s.maxBoostDb = -1.0; }}) {
        EqFitSettings bad = settings;
        change(bad);
        EXPECT_NE(checkEqSettings(bad), "");
    }
    EXPECT_EQ(checkEqSettings(settings), "");
}

TEST(EqFiles, HoldTheFiltersAndAPreampThatKeepsThePeakAtZero) {
    const std::vector<EqFilter> filters{{FilterKind::Peaking, 45.06, -7.8, 4.141},
                                        {FilterKind::Peaking, 150.0, 3.0, 2.0},
                                        {FilterKind::LowShelf, 40.0, 2.5, kShelfQ}};
    const double preamp = eqPreampDb(filters, kRate);
    double peak = -100.0;
    for (double f = 10.0; f < 4000.0; f *= 1.001) peak = std::max(peak, filtersLevelDb(filters, f, kRate));
    EXPECT_LE(peak + preamp, 1e-9);
    EXPECT_GT(peak + preamp, -0.1);
    const std::string apo = apoFilters(filters, kRate);
    EXPECT_EQ(apo.substr(0, apo.find('\n')), "Preamp: " + std::string(preamp < 0 ? "-" : "") +
                                                  std::to_string(std::fabs(preamp)).substr(0, 3) +
                                                  " dB");
    EXPECT_NE(apo.find("Filter 1: ON PK Fc 45.06 Hz Gain -7.80 dB Q 4.141\n"), std::string::npos);
    EXPECT_NE(apo.find("Filter 3: ON LSC Fc 40.00 Hz Gain 2.50 dB Q 0.707\n"), std::string::npos);
    const std::string pipewire = pipewireFilterChain(filters);
    EXPECT_NE(pipewire.find("label = bq_lowshelf control = { \"Freq\" = 40.00 \"Q\" = 0.707 "
                            "\"Gain\" = 2.50 }"),
              std::string::npos);
    EXPECT_NE(pipewire.find("{ output = \"eq2:Out\" input = \"eq3:In\" }"), std::string::npos);
    EXPECT_NE(pipewire.find("node.description = \"Ressona EQ\""), std::string::npos);
    const std::string camilla = camillaDspFilters(filters);
    EXPECT_NE(camilla.find("  ressona_eq_3:\n    type: Biquad\n    parameters:\n      type: "
                           "Lowshelf\n      freq: 40.00\n      gain: 2.50\n      q: 0.707\n"),
              std::string::npos);
    EXPECT_NE(camilla.find("      - ressona_eq_3\n"), std::string::npos);
}

}  // namespace
}  // namespace ressona
