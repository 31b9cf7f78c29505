// The built ressona-measure as a user runs it: its real devices and Qt
// pictures, its command line and exit statuses. It sits beside this test's
// binary; the tests skip when it was not built (no Qt or ALSA).

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace ressona {
namespace {

std::filesystem::path measurer() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path() / "ressona-measure";
}

struct Finished {
    int status = -1;
    std::string out;
};

Finished runMeasurer(const std::string& arguments) {
    Finished finished;
    const std::string command = measurer().string() + " " + arguments + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return finished;
    std::array<char, 4096> buffer;
    while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) {
        finished.out.append(buffer.data(), n);
    }
    const int raw = pclose(pipe);
    finished.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return finished;
}

// Width and height from a PNG file's header; 0, 0 when it is no PNG.
std::pair<std::uint32_t, std::uint32_t> pngSize(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::array<unsigned char, 24> head{};
    file.read(reinterpret_cast<char*>(head.data()), head.size());
    const unsigned char signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (!file || !std::equal(std::begin(signature), std::end(signature), head.begin()) ||
        std::string(head.begin() + 12, head.begin() + 16) != "IHDR") {
        return {0, 0};
    }
    auto word = [&](int at) {
        return std::uint32_t(head[at]) << 24 | std::uint32_t(head[at + 1]) << 16 |
               std::uint32_t(head[at + 2]) << 8 | head[at + 3];
    };
    return {word(16), word(20)};
}

class MeasureExecutableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::filesystem::exists(measurer())) GTEST_SKIP() << "ressona-measure is not built";
    }
};

TEST_F(MeasureExecutableTest, WritesBothPicturesAtTheAskedSize) {
    const std::string time = ::testing::TempDir() + "measure_exe_time.png";
    const std::string freq = ::testing::TempDir() + "measure_exe_freq.png";
    std::filesystem::remove(time);
    std::filesystem::remove(freq);
    const Finished run = runMeasurer(
        "--device sim:room --excitation mls --passes 2 --instant --view waterfall --steps 5 "
        "--size 400x220 --json --time-png " +
        time + " --freq-png " + freq);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("\"view\": \"waterfall\""), std::string::npos) << run.out;
    EXPECT_EQ(pngSize(time), std::make_pair(400u, 220u));
    EXPECT_EQ(pngSize(freq), std::make_pair(400u, 220u));
    std::filesystem::remove(time);
    std::filesystem::remove(freq);
}

TEST_F(MeasureExecutableTest, DrawsAMeasurementsPhaseAndEnergyTimeCurve) {
    const std::string phase = ::testing::TempDir() + "measure_exe_phase.png";
    const std::string etc = ::testing::TempDir() + "measure_exe_etc.png";
    const Finished run = runMeasurer("--device sim:filter --excitation mls --instant --size "
                                     "300x200 --phase-png " + phase + " --etc-png " + etc);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(pngSize(phase), std::make_pair(300u, 200u));
    EXPECT_EQ(pngSize(etc), std::make_pair(300u, 200u));
    std::filesystem::remove(phase);
    std::filesystem::remove(etc);

    // The frequency picture in dB SPL, from a sensitivity file.
    const std::string sensitivity = ::testing::TempDir() + "measure_exe_mic.txt";
    const std::string freq = ::testing::TempDir() + "measure_exe_spl.png";
    std::ofstream(sensitivity) << "sensitivity_dbfs_at_94_db_spl = -20\n";
    const Finished spl = runMeasurer("--device sim:filter --excitation logsweep --instant "
                                     "--size 300x200 --export-spl --sensitivity " + sensitivity +
                                     " --freq-png " + freq);
    EXPECT_EQ(spl.status, 0);
    EXPECT_EQ(pngSize(freq), std::make_pair(300u, 200u));
    std::filesystem::remove(freq);
    std::filesystem::remove(sensitivity);
}

TEST_F(MeasureExecutableTest, ABadCommandLineWritesNothing) {
    const std::string time = ::testing::TempDir() + "measure_exe_never.png";
    std::filesystem::remove(time);
    const Finished bad = runMeasurer("--device sim --instant --length 1000 --time-png " + time);
    EXPECT_EQ(bad.status, 2);
    EXPECT_TRUE(bad.out.empty());
    EXPECT_FALSE(std::filesystem::exists(time));

    const Finished unwritable =
        runMeasurer("--device sim --instant --time-png /nonexistent/dir/picture.png");
    EXPECT_EQ(unwritable.status, 1);
}

}  // namespace
}  // namespace ressona
