#include "plots/plot_numbers.h"
#include "plots/plot_axes.h"

#include <gtest/gtest.h>

#include <vector>

namespace ressona {
namespace {

TEST(PlotNumbers, NearestRoundsHalvesAwayFromZeroAndTruncateDropsTheFraction) {
    EXPECT_EQ(nearest(2.5f), 3);
    EXPECT_EQ(nearest(-2.5f), -3);
    EXPECT_EQ(nearest(2.4999998f), 2);
    EXPECT_EQ(nearest(0.49999997f), 0);  // adding 0.5 would round this up to 1
    EXPECT_EQ(nearest(-0.5f), -1);
    EXPECT_EQ(nearest(1e20f), 2147483647);
    EXPECT_EQ(nearest(-1e20f), -2147483647 - 1);
    EXPECT_EQ(nearest(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(truncateToInt(-7.9f), -7);
    EXPECT_EQ(truncateToInt(198.45f), 198);
    EXPECT_EQ(nearestPixel(-1e12f), -kFarOutside);
}

TEST(PlotNumbers, FixedAndIntegerFieldsKeepTheirWidthOrShowAsterisks) {
    EXPECT_EQ(fixedText(200.0f, 5, 0), " 200.");
    EXPECT_EQ(fixedText(0.0f, 5, 2), " 0.00");
    EXPECT_EQ(fixedText(-20.0f, 5, 0), " -20.");
    EXPECT_EQ(fixedText(-3.1415925f, 6, 3), "-3.142");
    EXPECT_EQ(fixedText(123456.0f, 5, 0), "*****");
    EXPECT_EQ(intText(-10000, 6), "-10000");
    EXPECT_EQ(intText(0, 6), "     0");
    EXPECT_EQ(intText(1234567, 6), "******");
}

// The labels keep the axis's old look ("10.", "1.0k", "20k") and show every
// round value exactly ("1.02k", "12.5k", "-69.9").
TEST(PlotNumbers, LabelTextsNameTheirValuesExactly) {
    const std::vector<std::pair<double, std::string>> frequencies{
        {10, "10."},    {500, "500."},   {1000, "1.0k"},  {2000, "2.0k"},
        {10000, "10k"}, {20000, "20k"},  {1020, "1.02k"}, {12500, "12.5k"},
        {1e6, "1M"},    {2.5e9, "2.5G"}, {10.5, "10.5"}};
    for (const auto& [hertz, text] : frequencies) {
        EXPECT_EQ(frequencyText(hertz, 3), text) << hertz;
    }
    EXPECT_EQ(levelText(-20.0, 0), "-20.");
    EXPECT_EQ(levelText(-69.9, 1), "-69.9");
    EXPECT_EQ(levelText(-0.0, 0), "0.");
    EXPECT_EQ(countText(-2000.0, 0), "-2000");
    EXPECT_EQ(timeText(0.0, 0), "0.00");
    EXPECT_EQ(timeText(20.0, 0), "20.0");
    EXPECT_EQ(timeText(200.0, 0), "200.");
    EXPECT_EQ(timeText(12.05, 2), "12.05");
}

TEST(PlotNumbers, RoundStepsAndTicks) {
    EXPECT_DOUBLE_EQ(roundStepAtLeast(0.0834), 0.1);
    EXPECT_DOUBLE_EQ(roundStepAtLeast(7.75), 10.0);
    EXPECT_DOUBLE_EQ(roundStepAtLeast(170.7), 200.0);
    EXPECT_DOUBLE_EQ(roundStepAtLeast(2499), 5000.0);
    EXPECT_EQ(decimalsOf(0.2), 1);
    EXPECT_EQ(decimalsOf(0.05), 2);
    EXPECT_EQ(decimalsOf(5.0), 0);
    EXPECT_EQ(multiplesWithin(-90.4, 2.7, 10.0),
              (std::vector<double>{-90, -80, -70, -60, -50, -40, -30, -20, -10, 0}));

    // Over decades: powers of ten first, then 2 and 5, then 3.
    const std::vector<Tick> wide = logarithmicTicks(10.0, 30000.0);
    std::vector<double> first;
    for (std::size_t i = 0; i < 5; ++i) first.push_back(wide[i].value);
    EXPECT_EQ(first, (std::vector<double>{10, 100, 1000, 10000, 20}));
    EXPECT_EQ(wide.back().value, 30000.0);
    EXPECT_EQ(wide.back().rank, 2);
    // Less than a decade: round steps across it, with the exact decimals.
    const std::vector<Tick> narrow = logarithmicTicks(1000.0, 1001.0);
    EXPECT_EQ(narrow.size(), 11u);
    EXPECT_EQ(frequencyText(narrow.back().value, narrow.back().decimals), "1.0009k");
    EXPECT_EQ(logarithmicGrid(10.0, 30000.0).size(), 30u);
}

}  // namespace
}  // namespace ressona
