#include "storage/fixed_fields.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace ressona {
namespace {

TEST(FixedFields, WritesRightAlignedWithAsterisksWhenTooWide) {
    EXPECT_EQ(formatInteger(22050, 10), "     22050");
    EXPECT_EQ(formatInteger(-7, 3), " -7");
    EXPECT_EQ(formatInteger(12345678901, 10), "**********");
    EXPECT_EQ(formatFixed(0.123454, 10, 5), "   0.12345");
    EXPECT_EQ(formatFixed(-1.5, 8, 2), "   -1.50");
    EXPECT_EQ(formatFixed(3.0, 5, 0), "   3.");
    EXPECT_EQ(formatFixed(10000.0, 10, 5), "**********");
    EXPECT_EQ(formatFixed(std::nan(""), 8, 2), "********");
}

TEST(FixedFields, LargeValuesKeepTheirColumnsWithFewerDecimals) {
    EXPECT_EQ(formatFixedFitting(0.5, 10, 5), "   0.50000");
    EXPECT_EQ(formatFixedFitting(10000.0, 10, 5), "10000.0000");
    EXPECT_EQ(formatFixedFitting(123456.789, 10, 5), "123456.789");
    EXPECT_EQ(formatFixedFitting(99999.99999, 10, 5), "100000.000");  // rounding widens it
    EXPECT_EQ(formatFixedFitting(999999999.4, 10, 5), "999999999.");
    EXPECT_EQ(formatFixedFitting(1e9, 10, 5), "**********");
    EXPECT_EQ(formatFixedFitting(-12345678.9, 10, 5), "-12345679.");
    EXPECT_EQ(formatFixedFitting(-1e8, 10, 5), "**********");  // the point does not fit
    EXPECT_EQ(formatFixedFitting(std::numeric_limits<double>::infinity(), 10, 5), "**********");
}

TEST(FixedFields, ReadsRealFieldsWithBlanksSignsExponentsAndImpliedDecimals) {
    struct Case {
        const char* text;
        int implied;
        float value;
    };
    const Case cases[] = {
        {"   0.12345", 5, 0.12345f},
        {"     12345", 5, 0.12345f},
        {" 1 2 3 4 5", 5, 0.12345f},
        {"10000.0000", 5, 10000.0f},
        {"    43.066", 3, 43.066f},
        {"     43066", 3, 43.066f},
        {"    +1.5E2", 5, 150.0f},
        {"  -2.5e-1 ", 5, -0.25f},
        {"   1.5D+01", 5, 15.0f},
        {"     1.5+3", 5, 1500.0f},
        {"   15E2   ", 3, 1.5f},
        {"          ", 5, 0.0f},
        {"", 3, 0.0f},
        {"0000000001", 3, 0.001f},
        {"       1e-99", 5, 0.0f},
        {"        .5", 5, 0.5f},
        {"      1e39", 5, 1e34f},
        {"        7.", 5, 7.0f},
        {"123456789012345678901", 3, 1.23456789e17f},
    };
    for (const Case& c : cases) {
        float value = -99.0f;
        ASSERT_TRUE(readRealField(c.text, c.implied, value)) << "'" << c.text << "'";
        EXPECT_FLOAT_EQ(value, c.value) << "'" << c.text << "'";
    }
    for (const char* bad : {"1.2.3", "abc", "+", "-", ".", "1E", "1E+", "1.5x", "1.0e39", "9.9E+99",
                            "1,5", "0x10", "1 e 2 3 -"}) {
        float value = -99.0f;
        EXPECT_FALSE(readRealField(bad, 5, value)) << "'" << bad << "'";
    }
}

TEST(FixedFields, ReadsIntegerFieldsWithinThirtyTwoBits) {
    std::int32_t value = 0;
    ASSERT_TRUE(readIntegerField("     22050", value));
    EXPECT_EQ(value, 22050);
    ASSERT_TRUE(readIntegerField("  - 1 2", value));
    EXPECT_EQ(value, -12);
    ASSERT_TRUE(readIntegerField("-2147483648", value));
    EXPECT_EQ(value, std::numeric_limits<std::int32_t>::min());
    ASSERT_TRUE(readIntegerField("          ", value));
    EXPECT_EQ(value, 0);
    for (const char* bad : {"9999999999", "2147483648", "12.0", "1e3", "+", "x1", "--1"}) {
        EXPECT_FALSE(readIntegerField(bad, value)) << bad;
    }
}

}  // namespace
}  // namespace ressona
