// Files that outlast the program: a replacement that never costs the old file,
// and impulse responses as WAV.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "exchange/wav_file.h"
#include "storage/file_replacement.h"

namespace ressona {
namespace {

namespace fs = std::filesystem;

class FileExchange : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("ressona-exchange-" + std::to_string(std::random_device{}()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string path(const std::string& name) const { return (folder_ / name).string(); }
    std::size_t entries() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder_), {}));
    }
    static std::string contents(const std::string& file) {
        std::ifstream in(file);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fs::path folder_;
};

TEST_F(FileExchange, ReplacementTakesThePlaceOnlyWhenCommitted) {
    const std::string target = path("result.rsn");
    std::ofstream(target) << "old";
    {
        FileReplacement abandoned(target);
        ASSERT_TRUE(abandoned.ready());
        std::ofstream(abandoned.temporaryPath()) << "half";
    }
    EXPECT_EQ(contents(target), "old");
    EXPECT_EQ(entries(), 1u) << "an abandoned replacement leaves nothing behind";

    FileReplacement replacement(target);
    std::ofstream(replacement.temporaryPath()) << "new";
    EXPECT_TRUE(replacement.commit());
    EXPECT_FALSE(replacement.commit()) << "a second commit has nothing to move";
    EXPECT_EQ(contents(target), "new");
    EXPECT_EQ(entries(), 1u);

    EXPECT_FALSE(FileReplacement(path("missing-folder/x.rsn")).ready());
    EXPECT_FALSE(FileReplacement("").ready());
    EXPECT_FALSE(FileReplacement(path("missing-folder/x.rsn")).commit());
}

// A target whose name fills a file name's 255 bytes still gets its temporary
// file (a longer name than the file system allows does not).
TEST_F(FileExchange, ReplacementOfATargetWithTheLongestName) {
    const std::string target = path(std::string(255, 'n'));
    FileReplacement replacement(target);
    ASSERT_TRUE(replacement.ready());
    std::ofstream(replacement.temporaryPath()) << "long";
    EXPECT_TRUE(replacement.commit());
    EXPECT_EQ(contents(target), "long");
    EXPECT_FALSE(FileReplacement(path(std::string(256, 'n'))).commit());
}

TEST_F(FileExchange, FloatWavRoundTripsAndBadFilesAreRefused) {
    const std::vector<float> impulse = {1.0f, -0.5f, 0.25f, 1.5f, 0.0f, -1e-6f};
    ASSERT_EQ(writeFloatWav(path("ir.wav"), 48000, impulse), "");
    WavSignal signal;
    ASSERT_EQ(readWav(path("ir.wav"), signal), "");
    EXPECT_EQ(signal.sampleRate, 48000u);
    ASSERT_EQ(signal.samples.size(), impulse.size());
    for (std::size_t i = 0; i < impulse.size(); ++i) EXPECT_EQ(signal.samples[i], impulse[i]);

    std::ofstream(path("text.wav")) << "RIFF but not really";
    EXPECT_NE(readWav(path("text.wav"), signal), "");
    EXPECT_TRUE(signal.samples.empty());
    EXPECT_NE(readWav(path("absent.wav"), signal), "");
    EXPECT_NE(writeFloatWav(path("no-folder/ir.wav"), 48000, impulse), "");
}

TEST_F(FileExchange, IntegerWavReadsItsFirstChannelAtFullScaleOne) {
    SF_INFO info{};
    info.samplerate = 4000;  // below the lowest rate taken
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    const short frames[] = {16384, 1, -32768, 2};
    for (int rate : {4000, 44100}) {
        info.samplerate = rate;
        SNDFILE* file = sf_open(path("pcm.wav").c_str(), SFM_WRITE, &info);
        ASSERT_NE(file, nullptr);
        sf_writef_short(file, frames, 2);
        sf_close(file);
        WavSignal signal;
        const std::string error = readWav(path("pcm.wav"), signal);
        if (rate == 4000) {
            EXPECT_NE(error, "");
            continue;
        }
        ASSERT_EQ(error, "");
        EXPECT_EQ(signal.samples, (std::vector<double>{0.5, -1.0}));
    }
}

}  // namespace
}  // namespace ressona
