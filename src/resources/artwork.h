#pragma once
// The program's pictures as data: the logo bitmap (an impulse-response trace
// above the program's name) and the icon (the same trace on a dark tile). A
// skin paints them from these shapes and colours.

#include <cstdint>
#include <string_view>
#include <vector>

namespace ressona::artwork {

struct Rgb {
    std::uint8_t red = 0, green = 0, blue = 0;
};

struct Point {
    int x = 0, y = 0;
};

// Colours of the 16-colour palette.
inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kNavy{0, 0, 128};
inline constexpr Rgb kGrey{128, 128, 128};
inline constexpr Rgb kYellow{255, 255, 0};
inline constexpr Rgb kWhite{255, 255, 255};

// The logo: 81 x 74 pixels; the trace fills the top, the name the bottom.
inline constexpr int kLogoWidth = 81;
inline constexpr int kLogoHeight = 74;
inline constexpr int kLogoTraceBottom = 48;  // the name is drawn below this row
inline constexpr int kLogoNameBottom = 70;   // and above this one
inline constexpr int kLogoNamePixels = 15;   // height of the name's letters
inline constexpr std::string_view kLogoName = "Ressona";

// The icon's square sides in pixels, smallest first.
inline constexpr int kIconSizes[] = {16, 32, 48};

// A loudspeaker's impulse response as a polyline from x = left to right:
// silence on the baseline, one sharp peak of `amplitude` pixels (upwards),
// then a decaying ring. Rows grow downwards.
std::vector<Point> impulseTrace(int left, int right, int baseline, int amplitude);

// The logo's trace and the icon's trace for a square of `side` pixels.
std::vector<Point> logoTrace();
std::vector<Point> iconTrace(int side);

}  // namespace ressona::artwork
