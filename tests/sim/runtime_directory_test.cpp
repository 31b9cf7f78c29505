// The measurer's private runtime folder: made only when none is named, gone
// with everything the libraries put into it when the run ends, and also when
// the measurer is killed.

#include "measure/runtime_directory.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

namespace ressona {
namespace {

namespace fs = std::filesystem;

// Sets or clears XDG_RUNTIME_DIR for one test and puts it back afterwards.
class RuntimeVariable {
  public:
    explicit RuntimeVariable(const char* value) {
        if (const char* old = getenv("XDG_RUNTIME_DIR")) old_ = old;
        value != nullptr ? setenv("XDG_RUNTIME_DIR", value, 1) : unsetenv("XDG_RUNTIME_DIR");
    }
    ~RuntimeVariable() {
        old_ ? setenv("XDG_RUNTIME_DIR", old_->c_str(), 1) : unsetenv("XDG_RUNTIME_DIR");
    }

  private:
    std::optional<std::string> old_;
};

// What a sound library leaves in a runtime folder.
void fill(const fs::path& folder) {
    fs::create_directories(folder / "pulse" / "deeper");
    std::ofstream(folder / "pulse" / "pid") << "1234\n";
    std::ofstream(folder / "pulse" / "deeper" / "cookie") << "x";
}

TEST(RuntimeDirectory, ANamedFolderIsLeftAlone) {
    RuntimeVariable named("/tmp");
    {
        RuntimeDirectory runtime;
        EXPECT_TRUE(runtime.path().empty());
        EXPECT_STREQ(getenv("XDG_RUNTIME_DIR"), "/tmp");
    }
    EXPECT_STREQ(getenv("XDG_RUNTIME_DIR"), "/tmp");
}

TEST(RuntimeDirectory, AFolderOfItsOwnGoesWithAllItHolds) {
    RuntimeVariable none(nullptr);
    fs::path made;
    {
        RuntimeDirectory runtime;
        made = runtime.path();
        ASSERT_FALSE(made.empty());
        ASSERT_NE(getenv("XDG_RUNTIME_DIR"), nullptr);
        EXPECT_EQ(made, fs::path(getenv("XDG_RUNTIME_DIR")));
        struct stat info {};
        ASSERT_EQ(stat(made.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);
        fill(made);
    }
    EXPECT_FALSE(fs::exists(made));
    EXPECT_EQ(getenv("XDG_RUNTIME_DIR"), nullptr);
}

// A measurer killed outright: its watcher removes the folder.
TEST(RuntimeDirectory, AKilledRunLeavesNothingBehind) {
    RuntimeVariable none(nullptr);
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(ends[0]);
        RuntimeDirectory runtime;
        fill(runtime.path());
        const std::string path = runtime.path() + "\n";
        [[maybe_unused]] const ssize_t written = write(ends[1], path.data(), path.size());
        kill(getpid(), SIGKILL);
        _exit(1);
    }
    close(ends[1]);
    std::string path;
    char c = 0;
    while (read(ends[0], &c, 1) == 1 && c != '\n') path += c;
    close(ends[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_FALSE(path.empty());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (fs::exists(path) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(fs::exists(path)) << path;
}

}  // namespace
}  // namespace ressona
