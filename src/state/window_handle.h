#pragma once
// Window handles: small integers handed out by the window service; 0 is none.

#include <cstdint>

namespace ressona {

using WindowHandle = std::uint32_t;
inline constexpr WindowHandle kNoWindow = 0;

}  // namespace ressona
