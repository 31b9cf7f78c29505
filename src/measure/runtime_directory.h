#pragma once
// A private runtime folder for one run of the measurer. Qt wants one and warns
// without it, and the sound libraries put their own folders into it (the
// PulseAudio client a "pulse" folder while it looks for a server), so the
// whole folder with all that is in it must go when the run ends: normally, on
// a failure, and when the measurer is interrupted or killed. A small watcher
// process, made before any thread, removes it once the measurer has gone for
// whatever reason.

#include <sys/types.h>
#include <string>

namespace ressona {

class RuntimeDirectory {
  public:
    // When the environment names no XDG_RUNTIME_DIR, makes a fresh folder
    // (mode 700) under TMPDIR or /tmp, names it there and starts its watcher;
    // otherwise does nothing. Call before any thread is started.
    RuntimeDirectory();
    // Removes the folder with everything in it and names none again.
    ~RuntimeDirectory();
    RuntimeDirectory(const RuntimeDirectory&) = delete;
    RuntimeDirectory& operator=(const RuntimeDirectory&) = delete;

    // The folder made; empty when the environment named one.
    const std::string& path() const { return path_; }

  private:
    std::string path_;
    int watcherPipe_ = -1;  // its closing (by us, or by our end) tells the watcher to clean up
    pid_t watcher_ = -1;
};

}  // namespace ressona
