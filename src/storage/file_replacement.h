#pragma once
// Writing a file so that a failure never costs the old one: the new contents go
// to a temporary file beside the target (same folder, so the final rename stays
// on one file system) and replace the target only when complete. A crash, a
// full disk or an abandoned write leaves the target as it was.

#include <string>

namespace ressona {

class FileReplacement {
  public:
    // Creates an empty temporary file next to target; ready() tells whether that worked.
    explicit FileReplacement(std::string target);
    // Removes the temporary file unless commit() moved it into place.
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    bool ready() const { return !temporaryPath_.empty(); }
    // Where the new contents are to be written (empty when not ready).
    const std::string& temporaryPath() const { return temporaryPath_; }
    const std::string& target() const { return target_; }

    // Flushes the temporary file to the disk and renames it over the target.
    // False (and the target untouched) when not ready or either step fails.
    bool commit();

  private:
    std::string target_;
    std::string temporaryPath_;
    bool committed_ = false;
};

}  // namespace ressona
