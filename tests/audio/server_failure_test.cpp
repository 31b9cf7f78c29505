// A sound server killed in the middle of a long ressona-measure run, on a
// private server of its own (started with the project's script in a fresh
// folder, so the servers the other audio tests share live on): the run must
// end within seconds with the error named on stderr and in the JSON, exit 1,
// and --save must write nothing.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>

#include "audio_server.h"

extern char** environ;

namespace ressona {
namespace {

namespace fs = std::filesystem;
using testing::SoundServer;
using Clock = std::chrono::steady_clock;

fs::path measurer() {
    return fs::read_symlink("/proc/self/exe").parent_path() / "ressona-measure";
}

std::string readFile(const fs::path& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// Runs a shell command and returns what it printed.
std::string shellOutput(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
    pclose(pipe);
    return out;
}

pid_t spawnShell(const std::string& command) {
    pid_t pid = -1;
    const char* argv[] = {"/bin/bash", "-c", command.c_str(), nullptr};
    if (posix_spawn(&pid, "/bin/bash", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        return -1;
    return pid;
}

// Waits for the process at most `limit`; its exit status, or -1 when it was
// still running (it is then killed) or did not exit normally.
int waitAtMost(pid_t pid, std::chrono::milliseconds limit, std::chrono::milliseconds& took) {
    const auto start = Clock::now();
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (took > limit) {
            // Where it hangs, for whoever reads the failure (gdb may be missing).
            std::printf("%s\n", shellOutput("gdb -p " + std::to_string(pid) +
                                             " -batch -ex 'thread apply all bt' 2>&1 | "
                                             "grep -E '^(#|Thread)' | head -80")
                                     .c_str());
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

struct ServerScript {
    const char* script;   // in scripts/
    const char* pidFile;  // of the daemon, inside the folder
    const char* pcm;
};

ServerScript scriptOf(SoundServer server) {
    return server == SoundServer::kPulseAudio
               ? ServerScript{"pulse-test-server.sh", "pulse/server.pid", "ressona_r48000"}
               : ServerScript{"pipewire-test-server.sh", "pipewire/pipewire.pid",
                              "ressona_pipewire"};
}

class ServerKilled : public ::testing::TestWithParam<SoundServer> {};

TEST_P(ServerKilled, ALongRunEndsWithTheFailureNamedAndNothingSaved) {
    const SoundServer server = GetParam();
    RESSONA_NEED_SOUND_SERVER(server);  // the programs are installed
    if (!fs::exists(measurer())) GTEST_SKIP() << "ressona-measure is not built";
    const ServerScript s = scriptOf(server);
    char pattern[] = "/tmp/ressona-killed-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    const std::string script = std::string(RESSONA_SOURCE_DIR) + "/scripts/" + s.script;
    const std::string exports =
        shellOutput("env -u ALSA_CONFIG_PATH bash '" + script + "' start '" + dir.string() + "'");
    ASSERT_NE(exports.find("export"), std::string::npos) << "the private server did not start";

    // 100 passes of 0.17 s: the server goes 3 s into the run.
    const fs::path saved = dir / "result.rsn";
    const std::string run = "unset ALSA_CONFIG_PATH; " + exports + "exec '" + measurer().string() +
                            "' --device alsa:" + s.pcm +
                            " --rate 48000 --length 4096 --excitation mls --passes 100 --json"
                            " --save '" +
                            saved.string() + "' > '" + (dir / "out.json").string() + "' 2> '" +
                            (dir / "err.txt").string() + "'";
    const pid_t measuring = spawnShell(run);
    ASSERT_GT(measuring, 0);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const pid_t daemon = std::stoi(readFile(dir / s.pidFile));
    ASSERT_EQ(kill(daemon, SIGKILL), 0);
    std::chrono::milliseconds took{0};
    const int status = waitAtMost(measuring, std::chrono::seconds(10), took);
    shellOutput("bash '" + script + "' stop '" + dir.string() + "'");

    EXPECT_EQ(status, 1) << readFile(dir / "err.txt");
    EXPECT_LT(took.count(), 5000) << "ms from the kill to the end of the run";
    const std::string err = readFile(dir / "err.txt");
    EXPECT_NE(err.find("Ressona: Error"), std::string::npos) << err;
    EXPECT_NE(err.find("the run stopped after"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(saved)) << "nothing of a broken run is saved";
    const auto json = nlohmann::json::parse(readFile(dir / "out.json"), nullptr, false);
    ASSERT_FALSE(json.is_discarded()) << readFile(dir / "out.json");
    EXPECT_FALSE(json["errors"].empty());
    ASSERT_TRUE(json["deviceFailure"].is_object());
    const auto passes = json["passes"].get<int>();
    EXPECT_GT(passes, 0);
    EXPECT_LT(passes, 100);
    EXPECT_EQ(json["deviceFailure"]["afterPasses"].get<int>(), passes);
    EXPECT_EQ(json["captures"].size(), static_cast<std::size_t>(passes));
    std::printf("[ figures  ] %s killed: exit %d %lld ms after, after %d passes: %s\n",
                testing::serverName(server), status, static_cast<long long>(took.count()), passes,
                json["deviceFailure"]["cause"].get<std::string>().c_str());
    fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Servers, ServerKilled,
                         ::testing::Values(SoundServer::kPulseAudio, SoundServer::kPipeWire),
                         [](const ::testing::TestParamInfo<SoundServer>& info) {
                             return std::string(testing::serverName(info.param));
                         });

}  // namespace
}  // namespace ressona
