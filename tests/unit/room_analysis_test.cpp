// Room parameters of synthetic responses whose answers are known: decaying
// white noise of a given reverberation time over a steady noise floor.

#include "room/room_analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "room/band_filter.h"
#include "room/decay_time.h"
#include "room/energy_decay.h"
#include "room/reliability.h"

namespace ressona {
namespace {

constexpr std::uint32_t kRate = 48000;
const double kLn1000 = 3.0 * std::log(10.0);  // amplitude falls 60 dB in T

// White noise whose amplitude falls by 60 dB in `seconds`, over a steady white
// noise `floorDb` below its start; long enough to show the floor for a while.
std::vector<double> decayingNoise(double seconds, double floorDb, std::uint64_t seed,
                                  std::uint32_t rate = kRate) {
    const double length = seconds * floorDb / 60.0 + std::max(0.3, 0.3 * seconds);
    std::vector<double> response(static_cast<std::size_t>(length * rate));
    std::mt19937_64 random(seed);
    std::normal_distribution<double> normal;
    const double floor = std::pow(10.0, -floorDb / 20.0);
    for (std::size_t n = 0; n < response.size(); ++n) {
        const double decay = std::exp(-kLn1000 * static_cast<double>(n) / (seconds * rate));
        response[n] = decay * normal(random);
        response[n] += floor * normal(random);
    }
    return response;
}

RoomAnalysis analysed(const std::vector<double>& response, bool thirds = false) {
    RoomOptions options;
    options.thirdOctaves = thirds;
    RoomAnalysis analysis;
    EXPECT_EQ(analyseRoom(response, kRate, options, analysis), "");
    return analysis;
}

double analyticClarity(double splitSeconds, double seconds) {
    return 10.0 * std::log10(std::exp(2.0 * kLn1000 * splitSeconds / seconds) - 1.0);
}

// The spread of one noise decay's estimate, relative, in a band of width B:
// ISO 3382-2's for T20 and T30 (integrated impulse response), and for EDT the
// spread measured over 1000 seeds here (19 % at B x T = 80).
struct Spread {
    double edt, t20, t30;
};
Spread spreadFor(double widthTimesTime) {
    const double root = std::sqrt(widthTimesTime);
    return {1.9 / root, 0.96 / root, 0.59 / root};
}

// The check over 10 seeds: T20 and T30 within 2 % and EDT within 5 %
// in every octave band with B x T >= 80 (and broadband), C50 and C80 within
// 0.3 dB. Ten seeds resolve 2 % only where B x T is above about 1000: in the
// narrower bands each tolerance is widened to 2.5 standard deviations of a
// ten-seed mean (the bias itself is checked with 500 seeds below).
TEST(RoomSyntheticDecays, TenSeedsGiveTheirTimeInEveryWideEnoughBand) {
    constexpr int kSeeds = 10;
    int checks = 0, withinStated = 0;
    double worst[3] = {0.0, 0.0, 0.0};  // EDT, T20, T30: the largest relative error
    for (const double seconds : {0.3, 1.0, 5.0}) {
        for (const double floorDb : {80.0, 60.0}) {
            std::vector<Spread> sums;
            double c50 = 0.0, c80 = 0.0;
            RoomAnalysis last;
            for (int seed = 1; seed <= kSeeds; ++seed) {
                last = analysed(decayingNoise(seconds, floorDb, seed));
                sums.resize(last.bands.size(), {0, 0, 0});
                for (std::size_t b = 0; b < last.bands.size(); ++b) {
                    sums[b].edt += last.bands[b].edt.seconds / kSeeds;
                    sums[b].t20 += last.bands[b].t20.seconds / kSeeds;
                    sums[b].t30 += last.bands[b].t30.seconds / kSeeds;
                }
                c50 += last.bands[0].c50Db / kSeeds;
                c80 += last.bands[0].c80Db / kSeeds;
            }
            const std::string where =
                "T " + std::to_string(seconds) + " s, floor " + std::to_string(floorDb) + " dB";
            EXPECT_NEAR(c50, analyticClarity(0.05, seconds), 0.3) << where;
            EXPECT_NEAR(c80, analyticClarity(0.08, seconds), 0.3) << where;
            for (std::size_t b = 0; b < last.bands.size(); ++b) {
                const FrequencyBand& band = last.bands[b].band;
                const bool broadband = band.kind == BandKind::Broadband;
                const double product = band.widthHz() * seconds;
                if (!broadband && product < 80.0) continue;
                const Spread spread = broadband ? Spread{0, 0, 0} : spreadFor(product);
                const double tenSeeds = 2.5 / std::sqrt(kSeeds);
                const std::string at = where + ", " + bandName(band);
                EXPECT_NEAR(sums[b].t20 / seconds, 1.0, std::max(0.02, tenSeeds * spread.t20))
                    << at;
                EXPECT_NEAR(sums[b].t30 / seconds, 1.0, std::max(0.02, tenSeeds * spread.t30))
                    << at;
                EXPECT_NEAR(sums[b].edt / seconds, 1.0, std::max(0.05, tenSeeds * spread.edt))
                    << at;
                const double errors[3] = {sums[b].edt / seconds - 1.0, sums[b].t20 / seconds - 1.0,
                                          sums[b].t30 / seconds - 1.0};
                for (int k = 0; k < 3; ++k) {
                    worst[k] = std::max(worst[k], std::abs(errors[k]));
                    ++checks;
                    withinStated += std::abs(errors[k]) <= (k == 0 ? 0.05 : 0.02);
                }
            }
        }
    }
    std::printf(
        "[ figures  ] 10 seeds: %d of %d times within 5 %% (EDT) or 2 %% (T20, T30); "
        "largest errors EDT %.1f %%, T20 %.1f %%, T30 %.1f %%\n",
        withinStated, checks, 100 * worst[0], 100 * worst[1], 100 * worst[2]);
}

// At the narrow end (B x T = 88, the 125 Hz octave at 1 s) the mean over 2000
// seeds (standard deviations of the mean: EDT 0.4 %, T20 0.2 %, T30 0.12 %) is
// within the stated limits: the estimates carry no bias beyond them. At 8000 Hz,
// which leaves the band as it is and keeps the test quick.
TEST(RoomSyntheticDecays, TwoThousandSeedsShowNoBiasWhereWidthTimesTimeIsEightyEight) {
    constexpr int kSeeds = 2000;
    constexpr std::uint32_t kLowRate = 8000;
    const double seconds = 1.0;
    const double halfBand = std::pow(10.0, 0.15);
    const double centre = 1000.0 * std::pow(10.0, -0.9);  // the 125 Hz octave
    const BandPassFilter filter = designBandPass(centre / halfBand, centre * halfBand, kLowRate);
    double edt = 0.0, t20 = 0.0, t30 = 0.0;
    std::vector<double> after;
    for (int seed = 1; seed <= kSeeds; ++seed) {
        const std::vector<double> response = decayingNoise(seconds, 60.0, 1000 + seed, kLowRate);
        after.resize(response.size() + 1);
        filterBackwardsSummed(filter, response, after);
        const EnergyDecay decay = analyseDecay(after, kLowRate);
        edt += fitDecayTime(decay, kEdtRange).seconds / kSeeds;
        t20 += fitDecayTime(decay, kT20Range).seconds / kSeeds;
        t30 += fitDecayTime(decay, kT30Range).seconds / kSeeds;
    }
    EXPECT_NEAR(edt, seconds, 0.05 * seconds);
    EXPECT_NEAR(t20, seconds, 0.02 * seconds);
    EXPECT_NEAR(t30, seconds, 0.02 * seconds);
    std::printf("[ figures  ] B x T 88, 2000 seeds: EDT %+.2f %%, T20 %+.2f %%, T30 %+.2f %%\n",
                100 * (edt - 1), 100 * (t20 - 1), 100 * (t30 - 1));
}

TEST(RoomSyntheticDecays, NoiseFloorCrosspointAndClarityOfOneDecay) {
    const double seconds = 1.0;
    const RoomAnalysis analysis = analysed(decayingNoise(seconds, 60.0, 3));
    const RoomBand& broadband = analysis.bands[0];
    // 60 dB of decay at 60 dB per second meets the floor after 1 s.
    EXPECT_NEAR(broadband.inrDb, 60.0, 1.5);
    EXPECT_NEAR(broadband.crossSeconds, 1.0, 0.05);
    EXPECT_TRUE(broadband.noiseReached);
    EXPECT_NEAR(broadband.centreTimeSeconds, seconds / (2.0 * kLn1000), 0.02 * seconds / 13.8);
    EXPECT_NEAR(broadband.d50, 1.0 / (1.0 + std::pow(10.0, -broadband.c50Db / 10.0)), 1e-9);
    EXPECT_NEAR(analysis.startSeconds, 0.0, 0.001);
    for (const RoomBand& band : analysis.bands) {
        EXPECT_TRUE(band.hasEnergy);
        EXPECT_TRUE(band.clarityReasons.empty()) << bandName(band.band);
    }
}

// A floor 40 dB down covers T20 (needs 35 dB) but not T30 (needs 45): T30 is
// flagged, with the reason, and T20 stays reliable where the band is wide enough.
TEST(RoomReliability, AShallowFloorFlagsThirtyAndKeepsTwenty) {
    const double seconds = 1.0;
    const RoomAnalysis analysis = analysed(decayingNoise(seconds, 40.0, 4));
    for (const RoomBand& band : analysis.bands) {
        const std::string name = bandName(band.band);
        EXPECT_LT(band.inrDb, 45.0) << name;
        EXPECT_FALSE(band.t30.reliable) << name;
        bool inrReason = false;
        for (const std::string& reason : band.t30.reasons)
            inrReason |= reason.find("impulse-to-noise ratio") != std::string::npos;
        EXPECT_TRUE(inrReason || !band.t30.evaluated) << name;
        if (band.band.kind == BandKind::Broadband || band.band.widthHz() * seconds >= 170.0) {
            EXPECT_TRUE(band.t20.reliable) << name << ": " << band.t20.reasons.size();
            EXPECT_NEAR(band.t20.seconds, seconds, 0.08 * seconds) << name;
        }
    }
}

// A floor 30 dB down: the curve ends above T30's bottom (-35 dB) at the
// crosspoint, so T30 is not fitted at all (the noise beyond would bend it),
// while EDT and T20, whose bottoms are reached, are. The same holds for every
// time of every band: fitted exactly when the curve reaches its bottom.
TEST(RoomReliability, ARangeWhoseBottomTheCurveDoesNotReachIsNotFitted) {
    const RoomAnalysis analysis = analysed(decayingNoise(1.0, 30.0, 8));
    const RoomBand& broadband = analysis.bands[0];
    EXPECT_GT(broadband.t30.lowestDb, kT30Range.bottomDb);
    EXPECT_FALSE(broadband.t30.evaluated);
    EXPECT_FALSE(broadband.t30.reliable);
    EXPECT_TRUE(broadband.edt.evaluated);
    EXPECT_TRUE(broadband.t20.evaluated);
    for (const RoomBand& band : analysis.bands) {
        for (const DecayTime* time : {&band.edt, &band.t20, &band.t30}) {
            if (time->lowestDb > time->range.bottomDb) {
                EXPECT_FALSE(time->evaluated) << bandName(band.band) << " " << time->range.bottomDb;
            }
        }
    }
}

// A response cut off 0.34 s into a decay of 1.3 s (a hall measured with the
// length of a loudspeaker's response) has no noise floor: what the analysis
// takes for one is the decay still falling. Every band says the response is
// too short, and no T20 or T30 passes for reliable; the whole one is long enough.
TEST(RoomReliability, AResponseShorterThanItsDecaySaysSo) {
    const std::vector<double> whole = decayingNoise(1.3, 90.0, 21);
    const std::vector<double> cut(whole.begin(), whole.begin() + 16384);
    for (const RoomBand& band : analysed(cut).bands) {
        const std::string name = bandName(band.band);
        // The cut is read off the decay's slope: said wherever one of the
        // band's slopes is within a factor of two of the decay's own.
        const bool slopeSeen = band.edt.evaluated && band.edt.seconds > 0.65;
        for (const DecayTime* time : {&band.t20, &band.t30}) {
            EXPECT_FALSE(time->reliable) << name;
            bool said = false;
            for (const std::string& reason : time->reasons)
                said |= reason.find("rings longer than the response") != std::string::npos;
            EXPECT_TRUE(said || !slopeSeen) << name << " " << time->range.bottomDb;
        }
    }
    for (const RoomBand& band : analysed(whole, true).bands) {
        for (const DecayTime* time : {&band.edt, &band.t20, &band.t30}) {
            for (const std::string& reason : time->reasons)
                EXPECT_EQ(reason.find("rings longer"), std::string::npos) << bandName(band.band);
        }
    }
}

// The clarity warning about an early noise floor needs the floor to have been
// met: a decay that ends early without meeting it (a short response) is not
// extrapolated, and gets no such warning.
TEST(RoomReliability, ClarityWarnsOfAnEarlyFloorOnlyWhenItWasMet) {
    RoomBand band;
    band.hasEnergy = true;
    band.c50Db = 3.0;
    band.c80Db = 5.0;
    band.crossSeconds = 0.06;
    band.noiseReached = false;
    judgeClarity(band);
    EXPECT_TRUE(band.clarityReasons.empty());
    band.noiseReached = true;
    judgeClarity(band);
    ASSERT_EQ(band.clarityReasons.size(), 1u);
    EXPECT_NE(band.clarityReasons[0].find("noise floor after 60 ms"), std::string::npos);
    band.crossSeconds = 0.09;
    judgeClarity(band);
    EXPECT_TRUE(band.clarityReasons.empty());
}

// A response rounded to whole steps reads zero where its decay sinks below
// half a step: without being told, the analysis sees a silent background
// (300 dB down); told the step, it finds the rounding noise (1/12 step^2 per
// sample, 73 dB below a start of 1000 steps) and measures down to it.
TEST(RoomReliability, RoundedResponsesKeepTheirRoundingNoise) {
    std::vector<double> rounded = decayingNoise(0.5, 200.0, 12);
    rounded.resize(rounded.size() / 2);
    for (double& x : rounded) x = std::nearbyint(1000.0 * x);
    RoomOptions told;
    told.thirdOctaves = false;
    told.roundingStep = 1.0;
    RoomAnalysis plain, stepped;
    ASSERT_EQ(analyseRoom(rounded, kRate, RoomOptions{}, plain), "");
    ASSERT_EQ(analyseRoom(rounded, kRate, told, stepped), "");
    EXPECT_NEAR(plain.bands[0].inrDb, 300.0, 1.0);
    const double expected = 10.0 * std::log10(1e6 / (1.0 / 12.0));
    EXPECT_NEAR(stepped.bands[0].inrDb, expected, 2.0);
    for (const RoomBand& band : stepped.bands) {
        EXPECT_LT(band.inrDb, 100.0) << bandName(band.band);
        if (band.band.kind == BandKind::Broadband || band.band.widthHz() * 0.5 >= 170.0) {
            EXPECT_NEAR(band.t30.seconds, 0.5, 0.04) << bandName(band.band);
        }
    }
}

TEST(RoomReliability, NarrowBandsAndCurvedDecaysSayWhy) {
    // 63 Hz at 0.3 s: B x T = 13.
    const RoomAnalysis narrow = analysed(decayingNoise(0.3, 80.0, 5));
    const RoomBand* low = findBand(narrow, BandKind::Octave, 63);
    ASSERT_NE(low, nullptr);
    ASSERT_TRUE(low->t20.evaluated);
    EXPECT_FALSE(low->t20.reliable);
    EXPECT_NE(low->t20.reasons.back().find("band width x T"), std::string::npos);
    EXPECT_TRUE(findBand(narrow, BandKind::Octave, 4000)->t20.reliable);

    // A double slope: a decay of 0.3 s over one of 2 s 26 dB below it bends the
    // curve at about -17 dB.
    std::vector<double> bent = decayingNoise(0.3, 90.0, 6);
    const std::vector<double> slow = decayingNoise(2.0, 90.0, 7);
    bent.resize(slow.size(), 0.0);
    for (std::size_t n = 0; n < bent.size(); ++n) bent[n] += 0.05 * slow[n];
    const RoomAnalysis bentAnalysis = analysed(bent);
    const RoomBand& broadband = bentAnalysis.bands[0];
    ASSERT_TRUE(broadband.t30.evaluated);
    EXPECT_LT(std::abs(broadband.t30.r), 0.99);
    EXPECT_FALSE(broadband.t30.reliable);
    EXPECT_NE(broadband.t30.reasons.front().find("|r|"), std::string::npos);
}

TEST(RoomAnalysisInput, BadResponsesAreRefusedAndOddOnesReportedNotGuessed) {
    RoomAnalysis analysis;
    const RoomOptions options;
    EXPECT_NE(analyseRoom({}, kRate, options, analysis), "");
    EXPECT_NE(analyseRoom(std::vector<double>(100, 0.0), kRate, options, analysis), "");
    EXPECT_NE(analyseRoom(std::vector<double>{1.0, NAN}, kRate, options, analysis), "");
    EXPECT_NE(analyseRoom(std::vector<double>{1.0, 1e200}, kRate, options, analysis), "");
    EXPECT_NE(analyseRoom(std::vector<double>{1.0, 0.5}, 7999, options, analysis), "");
    EXPECT_NE(analyseRoom(std::vector<double>{1.0, 0.5}, 192001, options, analysis), "");
    EXPECT_TRUE(analysis.bands.empty());

    // Too short, a lone click, junk: analysed without a crash, and whatever has
    // no decay time says why.
    std::mt19937_64 random(8);
    std::uniform_real_distribution<double> junk(-1.0, 1.0);
    std::vector<std::vector<double>> odd = {
        {1.0}, {0.0, 1.0, 0.0}, std::vector<double>(5000), std::vector<double>(700, 1e30)};
    odd[2][2500] = 1.0;
    odd[3][300] = 1e38;  // a click over a steady level 160 dB down
    for (std::size_t size : {7u, 500u, 20000u}) {
        std::vector<double> noise(size);
        for (double& x : noise) x = junk(random);
        odd.push_back(noise);
    }
    for (const std::vector<double>& response : odd) {
        ASSERT_EQ(analyseRoom(response, 8000, options, analysis), "") << response.size();
        for (const RoomBand& band : analysis.bands) {
            for (const DecayTime* time : {&band.edt, &band.t20, &band.t30}) {
                EXPECT_EQ(time->reliable, time->evaluated && time->reasons.empty());
                if (time->evaluated) {
                    EXPECT_TRUE(std::isfinite(time->seconds));
                } else {
                    EXPECT_FALSE(time->reasons.empty()) << response.size();
                }
            }
            const bool bounded = std::isfinite(band.c50Db) && std::isfinite(band.c80Db);
            EXPECT_TRUE(bounded || !band.clarityReasons.empty()) << response.size();
        }
    }
}

TEST(RoomAnalysisInput, LeadingSilenceOnlyMovesTheStart) {
    const std::vector<double> response = decayingNoise(0.5, 60.0, 9);
    std::vector<double> delayed(4800, 0.0);
    delayed.insert(delayed.end(), response.begin(), response.end());
    const RoomAnalysis plain = analysed(response, true);
    const RoomAnalysis later = analysed(delayed, true);
    EXPECT_NEAR(later.startSeconds - plain.startSeconds, 0.1, 1e-9);
    ASSERT_EQ(later.bands.size(), plain.bands.size());
    for (std::size_t b = 0; b < plain.bands.size(); ++b) {
        EXPECT_EQ(later.bands[b].t30.seconds, plain.bands[b].t30.seconds);
        EXPECT_EQ(later.bands[b].c80Db, plain.bands[b].c80Db);
    }
}

}  // namespace
}  // namespace ressona
