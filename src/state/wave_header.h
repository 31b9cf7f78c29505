#pragma once
// The wave header: the block that hands one buffer to a wave device. The
// device (or its stand-in) sets WHDR_DONE in dwFlags once the buffer has been
// played or filled; a backend may do so from its own I/O thread, hence atomic.

#include <atomic>
#include <cstdint>

namespace ressona {

inline constexpr std::uint32_t WHDR_DONE = 0x00000001;
inline constexpr std::uint32_t WHDR_PREPARED = 0x00000002;
inline constexpr std::uint32_t WHDR_INQUEUE = 0x00000010;

struct WAVEHDR {
    std::uint8_t* lpData = nullptr;    // the buffer
    std::uint32_t dwBufferLength = 0;  // its length in bytes
    std::uint32_t dwBytesRecorded = 0;
    std::uintptr_t dwUser = 0;
    std::atomic<std::uint32_t> dwFlags{0};
    std::uint32_t dwLoops = 0;
    WAVEHDR* lpNext = nullptr;
    std::uintptr_t reserved = 0;

    // Every field back to zero, as a freshly allocated header.
    void clear() {
        lpData = nullptr;
        dwBufferLength = 0;
        dwBytesRecorded = 0;
        dwUser = 0;
        dwFlags.store(0);
        dwLoops = 0;
        lpNext = nullptr;
        reserved = 0;
    }
};

}  // namespace ressona
