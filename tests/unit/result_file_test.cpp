#include "storage/result_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cmath>
#include <csignal>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "analysis_test_support.h"

namespace ressona {
namespace {

namespace fs = std::filesystem;
using testing::preparedProgram;

class ResultFile : public ::testing::Test {
  protected:
    void SetUp() override {
        // Unique per run: the same test may run at once from another build tree.
        directory_ = fs::temp_directory_path() /
                     ("ressona-file-" + std::to_string(std::random_device{}()) + "-" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(directory_);
        fs::create_directories(directory_);
    }
    void TearDown() override { fs::remove_all(directory_); }

    std::string path(const std::string& name) const { return (directory_ / name).string(); }

    static void write(const std::string& file, const std::string& content) {
        std::ofstream(file, std::ios::binary) << content;
    }
    static std::string read(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    }
    static std::vector<std::string> linesOf(const std::string& text) {
        std::vector<std::string> lines;
        std::stringstream in(text);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    // A program of n points whose result is a known spectrum, named to save as `name`.
    std::unique_ptr<ProgramState> withResult(std::uint32_t n, const std::string& name) {
        auto p = preparedProgram({.mode = kModePulse, .n = n});
        for (std::size_t k = 1; k <= n / 2; ++k) {
            p->arrays.magnitudeSpectrum[k] = 0.5f + static_cast<float>(k % 17) * 0.0123456f;
            p->arrays.phaseSpectrum[k] = -3.0f + static_cast<float>(k % 7);
        }
        setStorageFileName(p->state, path(name));
        return p;
    }

    fs::path directory_;
};

TEST_F(ResultFile, SavedFileHasTheFixedColumnsAndReadsBackAtTheSameSize) {
    auto p = withResult(1024, "same.rsn");
    p->arrays.magnitudeSpectrum[1] = 23456.789f;  // a large DC value keeps its 10 columns
    p->arrays.phaseSpectrum[1] = 0.0f;
    ASSERT_EQ(saveResult(p->state, p->arrays), kResultFileDone);

    const auto lines = linesOf(read(path("same.rsn")));
    ASSERT_EQ(lines.size(), 4u + 512u);
    EXPECT_EQ(lines[0], " Ressona saved file");
    EXPECT_EQ(lines[1], " Samples per second      22050");
    EXPECT_EQ(lines[2], "   Number of points        512");
    EXPECT_EQ(lines[3], "        Hz   Amplitude     Phase");
    EXPECT_EQ(lines[4], "    21.533  23456.7891      0.00");
    EXPECT_EQ(lines[5], "    43.066     0.52469     -1.00");
    for (const std::string& line : lines) EXPECT_LE(line.size(), 100u);

    auto reader = withResult(1024, "same.rsn");
    std::fill(reader->arrays.capturedSpectrum.raw().begin(),
              reader->arrays.capturedSpectrum.raw().end(), 9.0f);
    ASSERT_EQ(readResult(reader->state, reader->arrays), kResultFileDone);
    EXPECT_TRUE(reader->state.plotShowCaptured);
    EXPECT_EQ(std::string(reader->state.capturedLabel.data()),
              "Ressona saved file" + std::string(42, ' '));
    EXPECT_NEAR(reader->arrays.capturedSpectrum[1], 23456.789f, 1e-4f);
    for (std::size_t k = 2; k <= 512; ++k) {
        ASSERT_NEAR(reader->arrays.capturedSpectrum[k], p->arrays.magnitudeSpectrum[k], 0.5e-5f)
            << k;
    }
}

TEST_F(ResultFile, SavingReplacesAnOldFileAndReportsWhatCannotBeWritten) {
    auto p = withResult(64, "old.rsn");
    write(path("old.rsn"), std::string(100000, 'x'));
    ASSERT_EQ(saveResult(p->state, p->arrays), kResultFileDone);
    EXPECT_EQ(linesOf(read(path("old.rsn"))).size(), 4u + 32u);
    EXPECT_EQ(read(path("old.rsn")).find('x'), std::string::npos);

    // The name is taken without its blank padding.
    EXPECT_TRUE(fs::exists(path("old.rsn")));
    EXPECT_EQ(resultFilePath(p->state), path("old.rsn"));

    setStorageFileName(p->state, path("no-such-directory/result.rsn"));
    EXPECT_EQ(saveResult(p->state, p->arrays), kResultFileNotOpened);
    fs::create_directories(path("a-directory"));
    setStorageFileName(p->state, path("a-directory"));
    EXPECT_EQ(saveResult(p->state, p->arrays), kResultFileNotOpened);
    EXPECT_TRUE(fs::is_directory(path("a-directory")));
    setStorageFileName(p->state, "");
    EXPECT_EQ(saveResult(p->state, p->arrays), kResultFileNotOpened);
}

// The file can be created but not all its lines reach the disk (here: a file
// size limit of 200 bytes, as a full disk would do): that is a failure, not a
// save, and the file that was there stays as it was, with no trace of the
// attempt beside it. A small file fails only when the stream is flushed at the
// close, a large one while its lines are written.
TEST_F(ResultFile, SavingReportsLinesThatCannotBeWrittenAndKeepsTheOldFile) {
    for (std::uint32_t n : {64u, 1024u}) {
        auto p = withResult(n, "limited.rsn");
        write(path("limited.rsn"), "the old contents\n");
        rlimit saved{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit limited = saved;
        limited.rlim_cur = 200;
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
        const int status = saveResult(p->state, p->arrays);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
        EXPECT_EQ(status, kResultFileNotOpened) << n;
        EXPECT_EQ(read(path("limited.rsn")), "the old contents\n") << n;
        EXPECT_EQ(std::distance(fs::directory_iterator(directory_), fs::directory_iterator{}), 1)
            << n;
    }
}

TEST_F(ResultFile, ValuesTooLargeForAnyLayoutAreAsterisksAndStopTheReading) {
    auto p = withResult(64, "huge.rsn");
    p->arrays.magnitudeSpectrum[1] = 2e9f;
    ASSERT_EQ(saveResult(p->state, p->arrays), kResultFileDone);
    EXPECT_EQ(linesOf(read(path("huge.rsn")))[4], "   344.531  **********     -2.00");
    auto reader = withResult(64, "huge.rsn");
    EXPECT_EQ(readResult(reader->state, reader->arrays), kResultFileBadHeader);
    EXPECT_FALSE(reader->state.plotShowCaptured);
}

// 512 points read at 1024: line k lands on position 2k with half its amplitude
// (line 1 also on position 1 unchanged); odd positions are their neighbours' mean.
TEST_F(ResultFile, ASmallerFileIsSpreadOverTheFinerGrid) {
    auto p = withResult(512, "small.rsn");
    ASSERT_EQ(saveResult(p->state, p->arrays), kResultFileDone);
    auto reader = withResult(1024, "small.rsn");
    ASSERT_EQ(readResult(reader->state, reader->arrays), kResultFileDone);
    const auto& written = p->arrays.magnitudeSpectrum;
    const auto& captured = reader->arrays.capturedSpectrum;
    EXPECT_NEAR(captured[1], written[1], 0.5e-5f);
    for (std::size_t k = 1; k <= 256; ++k)
        ASSERT_NEAR(captured[2 * k], 0.5f * written[k], 0.5e-5f) << k;
    for (std::size_t k = 3; k < 512; k += 2) {
        ASSERT_FLOAT_EQ(captured[k], (captured[k - 1] + captured[k + 1]) / 2.0f) << k;
    }
}

// A file at 11025 Hz read on a 22050 Hz grid of the same size covers the lower
// half of the band: the upper half has no value, rather than a made-up line.
TEST_F(ResultFile, PositionsBeyondTheFilesRowsHaveNoValue) {
    auto p = preparedProgram({.mode = kModePulse, .n = 1024, .rate = 11025});
    for (std::size_t k = 1; k <= 512; ++k) p->arrays.magnitudeSpectrum[k] = 1.0f;
    setStorageFileName(p->state, path("half.rsn"));
    ASSERT_EQ(saveResult(p->state, p->arrays), kResultFileDone);
    auto reader = withResult(1024, "half.rsn");
    ASSERT_EQ(readResult(reader->state, reader->arrays), kResultFileDone);
    const auto& captured = reader->arrays.capturedSpectrum;
    for (std::size_t k = 1; k <= 256; ++k) ASSERT_FLOAT_EQ(captured[k], 1.0f) << k;
    for (std::size_t k = 257; k <= 512; ++k) ASSERT_TRUE(std::isnan(captured[k])) << k;
}

TEST_F(ResultFile, ALargerFileIsThinnedAndScaled) {
    auto p = withResult(2048, "large.rsn");
    ASSERT_EQ(saveResult(p->state, p->arrays), kResultFileDone);
    auto reader = withResult(1024, "large.rsn");
    ASSERT_EQ(readResult(reader->state, reader->arrays), kResultFileDone);
    // Lines 2k and 2k + 1 both map to position k (1023/2048 of a line's
    // index, rounded); the later one wins, its amplitude doubled.
    for (std::size_t k = 2; k < 512; ++k) {
        ASSERT_NEAR(reader->arrays.capturedSpectrum[k],
                    2.0f * p->arrays.magnitudeSpectrum[2 * k + 1], 1e-5f)
            << k;
    }
    EXPECT_NEAR(reader->arrays.capturedSpectrum[512], 2.0f * p->arrays.magnitudeSpectrum[1024],
                1e-5f);
}

std::string header(int count) {
    std::string text = " Ressona saved file\n Samples per second      22050\n";
    std::string countField = std::to_string(count);
    text += "   Number of points " + std::string(10 - countField.size(), ' ') + countField + "\n";
    return text + "        Hz   Amplitude     Phase\n";
}

std::string dataLine(double hz, const std::string& amplitude) {
    char frequency[16];
    std::snprintf(frequency, sizeof frequency, "%10.3f", hz);
    return std::string(frequency) + "  " + amplitude + "    0.00\n";
}

// A file of 32 rows read at 64 points whose rows reach positions 2, 3 and 6:
// 4 and 5 lie on the line between 3 and 6, a zero takes its left neighbour's
// value, and positions after 6 have none. Rows beyond the band count as rows.
TEST_F(ResultFile, GapsBetweenRowsAreJoinedAndZerosTakeTheirNeighbour) {
    const double bin = 22050.0 / 64.0;
    auto reader = withResult(64, "hand.rsn");
    auto& captured = reader->arrays.capturedSpectrum;
    std::string text = header(32) + dataLine(bin, "   2.00000") + dataLine(2 * bin, "   1.00000") +
                       dataLine(3 * bin, "   0.00000") + dataLine(6 * bin, "   6.00000");
    for (int row = 5; row <= 32; ++row) text += dataLine(30000.0 + row, "   7.00000");
    write(path("hand.rsn"), text);
    ASSERT_EQ(readResult(reader->state, reader->arrays), kResultFileDone);
    EXPECT_EQ(captured[1], 2.0f);
    EXPECT_EQ(captured[2], 1.0f);
    EXPECT_EQ(captured[3], 1.0f);
    EXPECT_FLOAT_EQ(captured[4], 2.0f);
    EXPECT_FLOAT_EQ(captured[5], 4.0f);
    EXPECT_EQ(captured[6], 6.0f);
    for (std::size_t k = 7; k <= 32; ++k) EXPECT_TRUE(std::isnan(captured[k])) << k;

    // The same file with CR LF line ends reads the same.
    std::string crlf;
    for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    write(path("hand.rsn"), crlf);
    std::fill(captured.raw().begin(), captured.raw().end(), 0.0f);
    ASSERT_EQ(readResult(reader->state, reader->arrays), kResultFileDone);
    EXPECT_FLOAT_EQ(captured[5], 4.0f);
    EXPECT_TRUE(std::isnan(captured[20]));
}

TEST_F(ResultFile, EachKindOfBadFileHasItsStatus) {
    auto reader = withResult(64, "bad.rsn");
    EXPECT_EQ(readResult(reader->state, reader->arrays), kResultFileNotOpened) << "missing";

    std::string rows;
    for (int k = 2; k <= 32; ++k) rows += dataLine(k * 344.53125, "   2.00000");
    const std::string good = header(32) + dataLine(344.531, "   1.00000") + rows;
    const std::pair<std::string, int> cases[] = {
        {"", kResultFileBadHeader},
        {" Ressona saved file", kResultFileBadHeader},
        {good.substr(0, 60), kResultFileBadHeader},
        {header(32), kResultFileBadHeader},
        {std::string("\0\xff\x01garbage\n", 12) + std::string(30, '\x80') + "\n\n\n\n",
         kResultFileBadHeader},
        {"\n\n\n\n\n", kResultFileBadHeader},
        {header(32) + "  garbage!  1.00000\n" + rows, kResultFileBadHeader},
        {" t\n Samples per second 9999999999\n" + good.substr(good.find("   Number")),
         kResultFileBadHeader},
        {good, kResultFileDone},
        {good + "   1033.59  1.2.3\n", kResultFileDone},
        {header(32) + "   344.531     1.00000" + std::string(5000, 'z') + "\n" + rows,
         kResultFileDone},
        {std::string(200000, 'y') + "\n" + good.substr(good.find('\n') + 1), kResultFileDone},
    };
    int index = 0;
    for (const auto& [content, status] : cases) {
        write(path("bad.rsn"), content);
        reader->state.plotShowCaptured = false;
        EXPECT_EQ(readResult(reader->state, reader->arrays), status) << "case " << index;
        EXPECT_EQ(reader->state.plotShowCaptured, status == kResultFileDone) << "case " << index;
        ++index;
    }
    // A title without any blank gives way to the file's name.
    EXPECT_EQ(std::string(reader->state.capturedLabel.data(), 60),
              path("bad.rsn").substr(0, 60) +
                  std::string(60 - std::min<std::size_t>(60, path("bad.rsn").size()), ' '));
}

// Damaged files: Error 9 and the captured curve, its label and the Show flag
// left exactly as they were.
TEST_F(ResultFile, DamagedFilesAreRefusedAndLoadNothing) {
    auto p = withResult(2048, "good.rsn");
    ASSERT_EQ(saveResult(p->state, p->arrays), kResultFileDone);
    const std::string good = read(path("good.rsn"));
    const std::vector<std::string> lines = linesOf(good);
    const auto joined = [](const std::vector<std::string>& parts, std::size_t count) {
        std::string text;
        for (std::size_t i = 0; i < count && i < parts.size(); ++i) text += parts[i] + "\n";
        return text;
    };
    std::vector<std::string> withCount = lines;
    withCount[2] = "   Number of points  999999999";
    std::vector<std::string> huge = lines;
    huge[10] = "   129.199      1e300      0.00";
    std::vector<std::string> notANumber = lines;
    notANumber[200] = "  4285.547        nan      0.00";
    std::vector<std::string> blankAmplitude = lines;
    blankAmplitude[300] = "  6438.867                 0.00";
    std::vector<std::string> negative = lines;
    negative[40] = "   775.195   -0.50000      0.00";
    std::vector<std::string> threeHundred = lines;
    threeHundred[2] = "   Number of points        300";
    std::vector<std::string> wideFrequency = lines;
    wideFrequency[7] = "1.0000e+10    0.50000      0.00";
    const std::pair<const char*, std::string> damaged[] = {
        {"cut after 6 of 1024 rows", joined(lines, 4 + 6)},
        {"cut inside its last row", good.substr(0, good.size() - 20)},
        {"a count of 999999999", joined(withCount, withCount.size())},
        {"an amplitude of 1e300", joined(huge, huge.size())},
        {"an amplitude that is not a number", joined(notANumber, notANumber.size())},
        {"a blank amplitude", joined(blankAmplitude, blankAmplitude.size())},
        {"a negative amplitude", joined(negative, negative.size())},
        {"a count that is no power of two", joined(threeHundred, threeHundred.size())},
        {"a frequency too wide for its columns", joined(wideFrequency, wideFrequency.size())},
        {"only the header", joined(lines, 4)},
        {"empty lines", "\n\n\n\n\n"},
    };
    auto reader = withResult(2048, "damaged.rsn");
    auto& captured = reader->arrays.capturedSpectrum;
    for (std::size_t k = 1; k <= captured.size(); ++k) captured[k] = 0.25f * static_cast<float>(k);
    setCapturedLabel(reader->state, "Captured ");
    for (const auto& [what, content] : damaged) {
        write(path("damaged.rsn"), content);
        reader->state.plotShowCaptured = false;
        EXPECT_EQ(readResult(reader->state, reader->arrays), kResultFileBadHeader) << what;
        EXPECT_FALSE(reader->state.plotShowCaptured) << what;
        EXPECT_EQ(std::string(reader->state.capturedLabel.data()),
                  "Captured" + std::string(52, ' '))
            << what;
        bool unchanged = true;
        for (std::size_t k = 1; k <= captured.size(); ++k) {
            unchanged = unchanged && captured[k] == 0.25f * static_cast<float>(k);
        }
        EXPECT_TRUE(unchanged) << what;
    }
    // More rows than the count promises: the promised ones are read.
    write(path("damaged.rsn"), good + lines.back() + "\n");
    EXPECT_EQ(readResult(reader->state, reader->arrays), kResultFileDone);
}

// Every rate and length the program offers: what it saves reads back as saved.
TEST_F(ResultFile, EveryFileTheProgramWritesReadsBack) {
    for (std::uint32_t rate : {8000u, 11025u, 22050u, 44100u, 48000u}) {
        for (std::uint32_t n = 64; n <= 16384; n *= 2) {
            auto p = preparedProgram({.mode = kModePulse, .n = n, .rate = rate});
            for (std::size_t k = 1; k <= n / 2; ++k) {
                p->arrays.magnitudeSpectrum[k] = static_cast<float>(k % 101) * 0.731f;
                p->arrays.phaseSpectrum[k] = 0.0f;
            }
            setStorageFileName(p->state, path("every.rsn"));
            ASSERT_EQ(saveResult(p->state, p->arrays), kResultFileDone) << rate << " " << n;
            ASSERT_EQ(readResult(p->state, p->arrays), kResultFileDone) << rate << " " << n;
            for (std::size_t k = 1; k <= n / 2; ++k) {
                const float saved = p->arrays.magnitudeSpectrum[k];
                // Zeros from position 3 on take their left neighbour's value.
                const float expected =
                    saved == 0.0f && k >= 3 ? p->arrays.capturedSpectrum[k - 1] : saved;
                ASSERT_NEAR(p->arrays.capturedSpectrum[k], expected, 0.5e-5f)
                    << rate << " " << n << " " << k;
            }
        }
    }
}

}  // namespace
}  // namespace ressona
