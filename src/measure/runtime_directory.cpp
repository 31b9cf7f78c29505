#include "measure/runtime_directory.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace ressona {

namespace {

// The watcher: waits until the measurer's end of the pipe closes (the
// measurer has finished or died), removes the folder and ends. It ignores the
// signals a terminal sends the whole group, so an interrupted measurer is
// still cleaned up after.
[[noreturn]] void watch(int pipeEnd, const std::string& path) {
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE})
        signal(signalNumber, SIG_IGN);
    // Holds nothing open that the measurer's callers wait on.
    const int nothing = open("/dev/null", O_RDWR);
    if (nothing >= 0) {
        for (int fd = 0; fd <= 2; ++fd) dup2(nothing, fd);
        if (nothing > 2) close(nothing);
    }
    char byte = 0;
    while (read(pipeEnd, &byte, 1) != 0) {
        // Nothing is ever written: read returns 0 at the end, or -1 when interrupted.
    }
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
    _exit(0);
}

std::string temporaryParent() {
    const char* tmp = getenv("TMPDIR");
    return tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp";
}

}  // namespace

RuntimeDirectory::RuntimeDirectory() {
    const char* given = getenv("XDG_RUNTIME_DIR");
    if (given != nullptr && given[0] != '\0') return;
    std::string pattern = temporaryParent() + "/ressona-measure-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) return;
    path_ = pattern;
    setenv("XDG_RUNTIME_DIR", path_.c_str(), 1);
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return;
    const pid_t child = fork();
    if (child == 0) {
        close(ends[1]);
        watch(ends[0], path_);
    }
    close(ends[0]);
    if (child < 0) {
        close(ends[1]);
        return;
    }
    watcher_ = child;
    watcherPipe_ = ends[1];
}

RuntimeDirectory::~RuntimeDirectory() {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
    unsetenv("XDG_RUNTIME_DIR");
    if (watcherPipe_ >= 0) close(watcherPipe_);
    if (watcher_ > 0) waitpid(watcher_, nullptr, 0);
}

}  // namespace ressona
