#include <gtest/gtest.h>

#include "measure/measure_options.h"

namespace ressona {
namespace {

ParsedOptions parse(std::vector<std::string> arguments) { return parseMeasureOptions(arguments); }

TEST(MeasureOptionsTest, NoArgumentsGiveThePanelDefaults) {
    const ParsedOptions parsed = parse({});
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.options.sampleRate, 22050u);
    EXPECT_EQ(parsed.options.sampleLength, 2048u);
    EXPECT_EQ(parsed.options.excitationMode, 224);
    EXPECT_EQ(parsed.options.passes, 1u);
    EXPECT_FALSE(parsed.options.averageCount.has_value());
    EXPECT_EQ(parsed.options.device, "");
}

TEST(MeasureOptionsTest, ReadsEveryKindOfOption) {
    const ParsedOptions parsed =
        parse({"--device", "sim:loopback", "--excitation=mls", "--length", "4096", "--rate", "48000",
               "--passes", "3", "--json", "--arrays", "--cuts", "250,500", "--db=-60,10", "--line",
               "--average", "4", "--frequency-domain", "--view", "waterfall", "--steps", "40",
               "--size", "800x300", "--delay", "-100", "--save", "out.rsn"});
    ASSERT_EQ(parsed.error, "");
    const MeasureOptions& o = parsed.options;
    EXPECT_EQ(o.device, "sim:loopback");
    EXPECT_EQ(o.excitationMode, 221);
    EXPECT_EQ(o.sampleLength, 4096u);
    EXPECT_EQ(o.sampleRate, 48000u);
    EXPECT_EQ(o.passes, 3u);
    EXPECT_TRUE(o.json && o.arrays && o.averageInFrequency);
    EXPECT_EQ(o.lowerCut, 250);
    EXPECT_EQ(o.upperCut, 500);
    EXPECT_EQ(o.dbRange, std::make_pair(-60, 10));
    EXPECT_FALSE(o.inputMic);
    EXPECT_EQ(o.averageCount, 4u);
    EXPECT_EQ(o.view, 252);
    EXPECT_EQ(o.waterfallSteps, 40);
    EXPECT_EQ(o.pictureWidth, 800);
    EXPECT_EQ(o.pictureHeight, 300);
    EXPECT_EQ(o.delaySamples, -100);
    EXPECT_EQ(o.saveFile, "out.rsn");
}

TEST(MeasureOptionsTest, BadValuesAreClearErrors) {
    const std::vector<std::vector<std::string>> bad = {
        {"--rate", "44000"},        {"--length", "1000"},     {"--length", "32768"},
        {"--excitation", "chirp"},  {"--tone", "0"},          {"--tone", "12000"},
        {"--passes", "0"},          {"--passes", "-1"},       {"--passes", "1e3"},
        {"--cuts", "500,250"},      {"--cuts", "0,1001"},     {"--cuts", "5"},
        {"--db", "3,3"},            {"--hz", "x,100"},        {"--view", "3d"},
        {"--device", "oss"},        {"--device", "alsa:"},    {"--delay", "2000"},
        {"--steps", "2000"},        {"--size", "10x10"},      {"--size", "800"},
        {"--save"},                 {"--save", ""},           {"--bogus"},
        {"--json=yes"},             {"--shift", "61"},        {"--waterfall-start", "4096"},
        {"--passes", "99999999999999999999"},
    };
    for (const auto& arguments : bad) {
        const ParsedOptions parsed = parse(arguments);
        EXPECT_NE(parsed.error, "") << arguments[0] << ' ' << (arguments.size() > 1 ? arguments[1] : "");
    }
    EXPECT_NE(parse({"--rate", "44000"}).error.find("--rate: '44000'"), std::string::npos);
}

TEST(MeasureOptionsTest, LogSweepAndItsSettings) {
    const ParsedOptions plain = parse({"--excitation", "logsweep", "--rate", "48000"});
    ASSERT_EQ(plain.error, "");
    EXPECT_TRUE(plain.options.logSweep);
    EXPECT_EQ(plain.options.excitationMode, 251) << "the panel measures with No Signal";
    const LogSweepSettings defaults = sweepSettingsOf(plain.options);
    EXPECT_EQ(defaults.fromHz, 20.0);
    EXPECT_EQ(defaults.toHz, 20000.0);
    EXPECT_EQ(defaults.samples, 65536u);
    EXPECT_EQ(defaults.levelDbfs, -6.0);
    EXPECT_EQ(defaults.sampleRate, 48000u);
    const ParsedOptions set =
        parse({"--excitation", "logsweep", "--rate", "44100", "--sweep-from", "40.5",
               "--sweep-to", "16000", "--sweep-samples", "262144", "--sweep-level", "-12.5",
               "--distortion", "--distortion-png", "d.png", "--device", "sim:distortion"});
    ASSERT_EQ(set.error, "");
    const LogSweepSettings s = sweepSettingsOf(set.options);
    EXPECT_EQ(s.fromHz, 40.5);
    EXPECT_EQ(s.toHz, 16000.0);
    EXPECT_EQ(s.samples, 262144u);
    EXPECT_EQ(s.levelDbfs, -12.5);
    EXPECT_TRUE(set.options.distortionTable);
    EXPECT_EQ(set.options.distortionPng, "d.png");
    // The default end is 20 kHz, or 0.45 x the rate when that is lower; given, it must fit.
    const ParsedOptions low = parse({"--excitation", "logsweep"});
    ASSERT_EQ(low.error, "");
    EXPECT_EQ(sweepSettingsOf(low.options).toHz, 0.45 * 22050);
    EXPECT_NE(parse({"--excitation", "logsweep", "--sweep-to", "20000"}).error.find("0.45"),
              std::string::npos);
}

TEST(MeasureOptionsTest, LimitsThatDependOnOtherOptions) {
    EXPECT_EQ(parse({"--rate", "8000", "--tone", "4000"}).error, "");
    EXPECT_NE(parse({"--rate", "8000", "--tone", "4001"}).error, "");
    EXPECT_EQ(parse({"--length", "64", "--delay", "-32"}).error, "");
    EXPECT_NE(parse({"--length", "64", "--delay", "33"}).error, "");
    EXPECT_EQ(parse({"--length", "16384", "--steps", "8192"}).error, "");
    EXPECT_TRUE(parse({"--help", "--tone", "1"}).options.help);
    EXPECT_TRUE(parse({"--line", "--mic"}).options.inputMic) << "the last of the two counts";
    EXPECT_FALSE(parse({"--mic", "--line"}).options.inputMic);
    EXPECT_EQ(parse({"--passes", "3", "--passes=4"}).options.passes, 4u);
}

}  // namespace
}  // namespace ressona
