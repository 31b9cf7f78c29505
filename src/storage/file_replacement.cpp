#include "storage/file_replacement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <vector>

namespace ressona {

namespace {

// The mode a new file gets from the process's umask, as fopen would give it:
// mkstemp alone makes the file readable by its owner only.
void applyDefaultMode(int fd) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, static_cast<mode_t>(0666) & ~mask);
}

}  // namespace

FileReplacement::FileReplacement(std::string target) : target_(std::move(target)) {
    if (target_.empty()) return;
    const std::filesystem::path path(target_);
    const std::string name = path.filename().string();
    if (name.empty()) return;
    const std::filesystem::path folder = path.parent_path();
    // The temporary name is the target's with a dot before and a random
    // suffix after, cut so that it stays within a file name's 255 bytes.
    constexpr std::size_t kNameMax = 255;
    constexpr std::size_t kAdded = std::char_traits<char>::length("..XXXXXX");
    const std::string kept = name.substr(0, kNameMax - kAdded);
    std::string pattern = (folder / ("." + kept + ".XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = ::mkstemp(buffer.data());
    if (fd < 0) return;
    applyDefaultMode(fd);
    ::close(fd);
    temporaryPath_.assign(buffer.data());
}

FileReplacement::~FileReplacement() {
    if (!committed_ && ready()) ::unlink(temporaryPath_.c_str());
}

bool FileReplacement::commit() {
    if (!ready() || committed_) return false;
    const int fd = ::open(temporaryPath_.c_str(), O_RDONLY);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    if (!synced || std::rename(temporaryPath_.c_str(), target_.c_str()) != 0) return false;
    committed_ = true;
    return true;
}

}  // namespace ressona
