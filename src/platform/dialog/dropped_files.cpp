#include "platform/dialog/dropped_files.h"

#include <algorithm>
#include <cstring>

namespace ressona {

HDROP DroppedFiles::add(std::vector<std::string> names) {
    const HDROP handle = next_++;
    if (next_ == 0) next_ = 1;
    drops_[handle] = std::move(names);
    return handle;
}

std::uint32_t DroppedFiles::DragQueryFileA(HDROP drop, std::uint32_t index, char* buffer,
                                           std::uint32_t size) const {
    const auto found = drops_.find(drop);
    if (found == drops_.end()) return 0;
    const std::vector<std::string>& names = found->second;
    if (index == kDropFileCount) return static_cast<std::uint32_t>(names.size());
    if (index >= names.size()) return 0;
    const std::string& name = names[index];
    const auto length = static_cast<std::uint32_t>(std::min<std::size_t>(name.size(), 0xFFFFFFFEu));
    if (buffer == nullptr || size == 0) return length;
    const std::uint32_t copied = std::min(length, size - 1);
    std::memcpy(buffer, name.data(), copied);
    buffer[copied] = '\0';
    return copied;
}

void DroppedFiles::DragFinish(HDROP drop) { drops_.erase(drop); }

}  // namespace ressona
