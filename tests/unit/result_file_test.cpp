#include "storage/result_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

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
// size limit of 200 bytes, as a full disk would do): that is a failure, not a save.
// A small file fails only when the stream is flushed at the close, a large one
// while its lines are written.
TEST_F(ResultFile, SavingReportsLinesThatCannotBeWritten) {
    for (std::uint32_t n : {64u, 1024u}) {
        auto p = withResult(n, "limited.rsn");
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
        EXPECT_LE(fs::file_size(path("limited.rsn")), 200u) << "the lines written so far stay";
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

// 512 points read at 1024: line k lands on position 2k with half its amplitude;
// positions 2 and 3 rise from 0 to position 4, odd ones are their neighbours' mean.
TEST_F(ResultFile, ASmallerFileIsSpreadOverTheFinerGrid) {
    auto p = withResult(512, "small.rsn");
    ASSERT_EQ(saveResult(p->state, p->arrays), kResultFileDone);
    auto reader = withResult(1024, "small.rsn");
    ASSERT_EQ(readResult(reader->state, reader->arrays), kResultFileDone);
    const auto& written = p->arrays.magnitudeSpectrum;
    const auto& captured = reader->arrays.capturedSpectrum;
    EXPECT_NEAR(captured[1], written[1], 0.5e-5f);
    for (std::size_t k = 2; k <= 256; ++k)
        ASSERT_NEAR(captured[2 * k], 0.5f * written[k], 0.5e-5f) << k;
    EXPECT_NEAR(captured[2], captured[4] / 3.0f, 1e-6f);
    EXPECT_NEAR(captured[3], captured[4] * 2.0f / 3.0f, 1e-6f);
    for (std::size_t k = 5; k < 512; k += 2) {
        ASSERT_FLOAT_EQ(captured[k], (captured[k - 1] + captured[k + 1]) / 2.0f) << k;
    }
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

TEST_F(ResultFile, ShortFilesGapsAndNonPositiveValues) {
    const double bin = 22050.0 / 64.0;
    auto reader = withResult(64, "hand.rsn");
    auto& captured = reader->arrays.capturedSpectrum;

    // The count says 32, the file holds 6 lines: what is there is read, the
    // run up to M holds the last value; zero and negative values from
    // position 3 take their left neighbour's.
    std::string text = header(32) + dataLine(bin, "   2.00000") + dataLine(2 * bin, "   1.00000") +
                       dataLine(3 * bin, "   0.00000") + dataLine(4 * bin, "  -3.00000") +
                       dataLine(6 * bin, "   5.00000") + dataLine(7 * bin, "   6.00000");
    write(path("hand.rsn"), text);
    ASSERT_EQ(readResult(reader->state, reader->arrays), kResultFileDone);
    EXPECT_EQ(captured[1], 2.0f);
    EXPECT_EQ(captured[2], 1.0f);
    EXPECT_EQ(captured[3], 1.0f);
    EXPECT_EQ(captured[4], 1.0f);
    EXPECT_FLOAT_EQ(captured[5], 1.0f) << "between -3 and 5, then raised to its neighbour";
    EXPECT_EQ(captured[6], 5.0f);
    for (std::size_t k = 7; k <= 32; ++k) EXPECT_EQ(captured[k], 6.0f) << k;

    // The same file with CR LF line ends reads the same; a cut in the middle
    // of the last line keeps what precedes it.
    std::string crlf;
    for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    write(path("hand.rsn"), crlf);
    std::fill(captured.raw().begin(), captured.raw().end(), 0.0f);
    ASSERT_EQ(readResult(reader->state, reader->arrays), kResultFileDone);
    EXPECT_EQ(captured[6], 5.0f);
    EXPECT_EQ(captured[20], 6.0f);
    write(path("hand.rsn"), text.substr(0, text.size() - 12));
    ASSERT_EQ(readResult(reader->state, reader->arrays), kResultFileDone);
    EXPECT_EQ(captured[6], 5.0f);
}

TEST_F(ResultFile, EachKindOfBadFileHasItsStatus) {
    auto reader = withResult(64, "bad.rsn");
    EXPECT_EQ(readResult(reader->state, reader->arrays), kResultFileNotOpened) << "missing";

    const std::string good =
        header(32) + dataLine(344.531, "   1.00000") + dataLine(689.062, "   2.00000");
    const std::pair<std::string, int> cases[] = {
        {"", kResultFileBadHeader},
        {" Ressona saved file", kResultFileBadHeader},
        {good.substr(0, 60), kResultFileBadHeader},
        {header(32), kResultFileBadHeader},
        {std::string("\0\xff\x01garbage\n", 12) + std::string(30, '\x80') + "\n\n\n\n",
         kResultFileBadHeader},
        // Blank fields read as 0: a file of empty lines is a file of zeros.
        {"\n\n\n\n\n", kResultFileDone},
        {header(32) + "  garbage!  1.00000\n", kResultFileBadHeader},
        {" t\n Samples per second 9999999999\n" + good.substr(good.find("   Number")),
         kResultFileBadHeader},
        {good, kResultFileDone},
        {good + "   1033.59  1.2.3\n", kResultFileDone},
        {header(32) + "   344.531     1.00000" + std::string(5000, 'z') + "\n", kResultFileDone},
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

}  // namespace
}  // namespace ressona
