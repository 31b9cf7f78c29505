// The waterfall's remembered levels against the formula they stand for.
#include "plots/level_offsets.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "plots/plot_numbers.h"
#include "signals/response_scale.h"

namespace ressona {
namespace {

std::int32_t direct(const LevelOffsets::Scale& s, float value) {
    const float m = s.squared ? std::sqrt(value) : value;
    const float d = levelDecibels(m, s.points) + s.shiftDb;
    return nearestPixel((d - s.dbLow) * s.pixelsPerDb);
}

TEST(LevelOffsets, EveryValueGetsThePixelOfTheFormula) {
    const LevelOffsets::Scale scales[] = {
        {true, 16384.0f, 0.0f, -60.0f, 5.7f},  {false, 16384.0f, 0.0f, -60.0f, 5.7f},
        {true, 64.0f, 15.0f, -120.0f, 1.9f},   {false, 1024.0f, -60.0f, -9999.0f, 0.04f},
        {true, 16384.0f, 0.0f, -0.5f, 800.0f}, {true, 16384.0f, 60.0f, 9990.0f, 0.02f},
        {false, 2048.0f, 0.0f, -90.0f, -3.0f}, {true, 16384.0f, 0.0f, -60.0f, 0.0f},
    };
    std::mt19937 random(11);
    std::uniform_int_distribution<std::uint32_t> anyBits;
    std::uniform_real_distribution<float> exponent(-30.0f, 30.0f);
    for (const LevelOffsets::Scale& scale : scales) {
        LevelOffsets levels;
        levels.prepare(scale);
        for (int i = 0; i < 200000; ++i) {
            // Magnitudes as measurements give them, and now and then any bits at all.
            const float value = i % 10 == 0 ? std::bit_cast<float>(anyBits(random))
                                            : std::pow(10.0f, exponent(random));
            const std::int32_t expected = direct(scale, value);
            ASSERT_EQ(levels.offset(value), expected)
                << "value " << value << " scale " << scale.dbLow << ", " << scale.pixelsPerDb;
            // Twice: the second answer may come from the remembered band.
            ASSERT_EQ(levels.offset(value), expected);
        }
        for (const float edge :
             {0.0f, -0.0f, -1.0f, std::numeric_limits<float>::infinity(),
              std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::denorm_min(),
              std::numeric_limits<float>::max()}) {
            EXPECT_EQ(levels.offset(edge), direct(scale, edge)) << edge;
        }
    }
}

TEST(LevelOffsets, ANewScaleForgetsTheOldPixels) {
    LevelOffsets levels;
    LevelOffsets::Scale scale{true, 16384.0f, 0.0f, -60.0f, 5.7f};
    levels.prepare(scale);
    const std::int32_t before = levels.offset(1e6f);
    scale.dbLow = -40.0f;
    levels.prepare(scale);
    EXPECT_EQ(levels.offset(1e6f), direct(scale, 1e6f));
    EXPECT_NE(levels.offset(1e6f), before);
}

}  // namespace
}  // namespace ressona
