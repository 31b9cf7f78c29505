#pragma once
// A scroll bar's range, page and position, in the form the dialog controls take.

#include <cstdint>

namespace ressona {

inline constexpr std::uint32_t SIF_RANGE = 0x1;
inline constexpr std::uint32_t SIF_PAGE = 0x2;
inline constexpr std::uint32_t SIF_POS = 0x4;
inline constexpr std::uint32_t SIF_ALL = SIF_RANGE | SIF_PAGE | SIF_POS;

// Scroll codes carried in the low word of a scroll message's first parameter;
// the high word carries the thumb position for SB_THUMBTRACK and SB_THUMBPOSITION.
inline constexpr int SB_LINEUP = 0;
inline constexpr int SB_LINELEFT = 0;
inline constexpr int SB_LINEDOWN = 1;
inline constexpr int SB_LINERIGHT = 1;
inline constexpr int SB_PAGEUP = 2;
inline constexpr int SB_PAGELEFT = 2;
inline constexpr int SB_PAGEDOWN = 3;
inline constexpr int SB_PAGERIGHT = 3;
inline constexpr int SB_THUMBPOSITION = 4;
inline constexpr int SB_THUMBTRACK = 5;
inline constexpr int SB_TOP = 6;
inline constexpr int SB_BOTTOM = 7;
inline constexpr int SB_ENDSCROLL = 8;

struct SCROLLINFO {
    std::uint32_t fMask = 0;
    std::int32_t nMin = 0;
    std::int32_t nMax = 0;
    std::uint32_t nPage = 0;
    std::int32_t nPos = 0;
};

}  // namespace ressona
