#pragma once
// Files dropped on a window: the skin records each drop's names under a drop
// handle and posts WM_DROPFILES with it; the window asks for the names with
// DragQueryFileA, as it always has, and releases the drop with DragFinish.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace ressona {

using HDROP = std::uint32_t;
inline constexpr std::uint32_t kDropFileCount = 0xFFFFFFFF;  // DragQueryFileA: ask for the count

class DroppedFiles {
public:
    // Records a drop and gives its handle (never 0).
    HDROP add(std::vector<std::string> names);
    // With index kDropFileCount: the number of names. Otherwise the length of
    // name `index` (0 when there is none); with a buffer of `size` bytes it
    // copies at most size - 1 characters and a terminating zero and returns
    // how many characters it copied.
    std::uint32_t DragQueryFileA(HDROP drop, std::uint32_t index, char* buffer,
                                 std::uint32_t size) const;
    void DragFinish(HDROP drop);
    std::size_t pendingDrops() const { return drops_.size(); }

private:
    std::map<HDROP, std::vector<std::string>> drops_;
    HDROP next_ = 1;
};

}  // namespace ressona
