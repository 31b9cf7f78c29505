#include "plots/plot_numbers.h"

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

TEST(PlotNumbers, LogFrequencyLabelsOfTheAxisTable) {
    const std::vector<float> frequencies{10,  20,   30,   50,   100,  200,   300,
                                         500, 1000, 2000, 3000, 5000, 10000, 20000};
    const std::vector<std::string> expected{" 10.  ", " 20.  ", " 30.  ", " 50.  ", "100.  ",
                                            "200.  ", "300.  ", "500.  ", " 1.0k ", " 2.0k ",
                                            " 3.0k ", " 5.0k ", "10k   ", "20k   "};
    for (std::size_t i = 0; i < frequencies.size(); ++i) {
        EXPECT_EQ(formatLogFrequencyLabel(frequencies[i]), expected[i]) << frequencies[i];
    }
    EXPECT_EQ(formatLogFrequencyLabel(299.9f), "300.  ");
    EXPECT_EQ(formatLogFrequencyLabel(91.0f * 299.9f), "27k   ");
    EXPECT_EQ(formatLogFrequencyLabel(1550.0f), " 1.6k ");
}

TEST(PlotNumbers, DbTickStepByRange) {
    EXPECT_FLOAT_EQ(dbTickStep(2.0f), 0.3333f);
    EXPECT_FLOAT_EQ(dbTickStep(0.0f), 0.3333f);
    EXPECT_FLOAT_EQ(dbTickStep(10.0f), 1.0f);
    EXPECT_FLOAT_EQ(dbTickStep(20.0f), 3.0f);
    EXPECT_FLOAT_EQ(dbTickStep(50.0f), 6.0f);
    EXPECT_FLOAT_EQ(dbTickStep(100.0f), 12.0f);
    EXPECT_FLOAT_EQ(dbTickStep(101.0f), 24.0f);
}

}  // namespace
}  // namespace ressona
