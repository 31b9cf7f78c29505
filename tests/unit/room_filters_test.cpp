// The room analysis's bands and band-pass filters: which bands a rate gets,
// the filters against the class 1 acceptance limits of IEC 61260-1, and the
// backward filtering.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "room/band_filter.h"
#include "room/frequency_bands.h"

namespace ressona {
namespace {

const double kG = std::pow(10.0, 0.3);

double attenuationDb(const BandPassFilter& filter, double hz, double rate) {
    return -20.0 * std::log10(bandPassGain(filter, hz, rate));
}

TEST(RoomBands, EachRateGetsTheBandsBelowItsEdgeLimit) {
    const std::vector<FrequencyBand> all = roomBands(48000, true, true);
    ASSERT_EQ(all.size(), 1u + 8u + 24u);
    EXPECT_EQ(all[0].kind, BandKind::Broadband);
    EXPECT_EQ(bandName(all[0]), "broadband");
    EXPECT_EQ(bandName(all[1]), "63");
    EXPECT_EQ(bandName(all[5]), "1k");
    EXPECT_EQ(bandName(all[8]), "8k");
    EXPECT_EQ(bandName(all[9]), "50");
    EXPECT_EQ(bandName(all[26]), "2.5k");
    EXPECT_NEAR(all[5].centreHz, 1000.0, 1e-9);
    EXPECT_NEAR(all[5].upperHz / all[5].lowerHz, kG, 1e-12);
    EXPECT_NEAR(all[8].centreHz, 7943.3, 0.1);  // base-ten mid-band of "8k"

    // At 8000 Hz an upper edge must lie below 3600 Hz: octaves up to 2k, thirds up to 3150.
    const std::vector<FrequencyBand> low = roomBands(8000, true, true);
    std::vector<std::string> names;
    for (const FrequencyBand& band : low) names.push_back(bandName(band));
    ASSERT_EQ(low.size(), 1u + 6u + 19u);
    EXPECT_EQ(names[6], "2k");
    EXPECT_EQ(names.back(), "3.15k");
    for (const FrequencyBand& band : low) EXPECT_LT(band.upperHz, 0.45 * 8000);

    EXPECT_EQ(roomBands(22050, true, false).size(), 1u + 7u);
    EXPECT_EQ(roomBands(22050, false, false).size(), 1u);
}

// Relative attenuation limits of class 1 at the breakpoints that bind a
// Butterworth filter: the mid-band frequency, just inside and outside the band
// edges, one and five base-ten octaves out (mapped onto a b-th octave band by
// 1 + (G^(1/2b) - 1) / (G^(1/2) - 1) x (Omega - 1) on the high side, its
// reciprocal on the low side).
TEST(RoomBandFilters, MeetClassOneAtEveryRateAndBand) {
    for (const std::uint32_t rate : {8000u, 22050u, 44100u, 48000u, 96000u}) {
        for (const FrequencyBand& band : roomBands(rate, true, true)) {
            if (band.kind == BandKind::Broadband) continue;
            const int b = band.kind == BandKind::Octave ? 1 : 3;
            const BandPassFilter filter = designBandPass(band.lowerHz, band.upperHz, rate);
            const double fm = band.centreHz;
            const std::string where = bandName(band) + " at " + std::to_string(rate);
            EXPECT_NEAR(attenuationDb(filter, fm, rate), 0.0, 0.4) << where;
            for (const double edge : {band.lowerHz, band.upperHz}) {
                EXPECT_NEAR(attenuationDb(filter, edge, rate), 3.01, 0.05) << where;
            }
            EXPECT_LE(attenuationDb(filter, band.upperHz * 0.999, rate), 5.3) << where;
            EXPECT_GE(attenuationDb(filter, band.upperHz * 1.001, rate), 1.2) << where;
            const double scale = (std::pow(kG, 0.5 / b) - 1.0) / (std::sqrt(kG) - 1.0);
            for (const auto& [omega, least] :
                 {std::pair{kG, 16.6}, std::pair{std::pow(kG, 5), 70.0}}) {
                const double high = 1.0 + scale * (omega - 1.0);
                if (fm * high < rate / 2.0) {
                    EXPECT_GE(attenuationDb(filter, fm * high, rate), least) << where;
                }
                EXPECT_GE(attenuationDb(filter, fm / high, rate), least) << where;
            }
        }
    }
}

TEST(RoomBandFilters, RunBackwardsSummingFromTheEndAndTwoAtOnceAsOne) {
    const double rate = 48000;
    const BandPassFilter a = designBandPass(707.9, 1412.5, rate);
    const BandPassFilter b = designBandPass(44.7, 89.1, rate);
    std::mt19937_64 random(5);
    std::normal_distribution<double> normal;
    std::vector<double> input(3001);
    for (double& x : input) x = normal(random);
    const std::size_t n = input.size();
    std::vector<double> singleA(n + 1), singleB(n + 1), pairA(n + 1), pairB(n + 1);
    filterBackwardsSummed(a, input, singleA);
    filterBackwardsSummed(b, input, singleB);
    filterPairBackwardsSummed(a, b, input, pairA, pairB);
    EXPECT_EQ(pairA, singleA);
    EXPECT_EQ(pairB, singleB);
    EXPECT_EQ(singleA[n], 0.0);
    for (std::size_t i = 0; i < n; ++i) ASSERT_GE(singleA[i], singleA[i + 1]);

    // Backwards: what lies after a sample never depends on what comes before
    // it, and an impulse at the end rings towards the start.
    std::vector<double> changedStart = input;
    changedStart[0] = 100.0;
    filterBackwardsSummed(a, changedStart, pairA);
    for (std::size_t i = 1; i <= n; ++i) ASSERT_EQ(pairA[i], singleA[i]);
    EXPECT_GT(pairA[0] - pairA[1], singleA[0] - singleA[1]);
    std::vector<double> impulse(2000, 0.0);
    impulse.back() = 1.0;
    std::vector<double> sums(impulse.size() + 1);
    filterBackwardsSummed(a, impulse, sums);
    EXPECT_GT(sums[1990] - sums[1991], 0.0);
    // Unit gain at mid-band: the sum of the squared impulse response is the
    // filter's noise bandwidth over half the rate, about (1 + 5 %) x the band's share.
    const double share = (1412.5 - 707.9) / (rate / 2);
    EXPECT_NEAR(sums[0] / share, 1.05, 0.05);
}

}  // namespace
}  // namespace ressona
