#pragma once
// The waterfall's levels in pixels, remembered per narrow band of magnitudes.
// A slice point's height is nearestPixel((levelDecibels(m) + shift - dbLow) * yScale)
// of its magnitude m (or of the square root of the square the slice holds):
// a logarithm per point, tens of thousands per draw, and the same function for
// every slice of a draw. Every band of magnitudes that share the top 16 bits of
// their float (a band 0.8 % wide) whose two ends, widened by a safety margin,
// round to the same pixel gives that pixel to every magnitude in it, since the
// level only rises with the magnitude; the other bands are worked out point by
// point. The pixels are exactly those of the direct formula.

#include <cstdint>
#include <vector>

namespace ressona {

class LevelOffsets {
  public:
    // How a level is formed; the remembered bands are dropped when any of it changes.
    struct Scale {
        bool squared = false;  // the value is the square of the magnitude
        float points = 1.0f;   // the transform's size N, as levelDecibels() takes it
        float shiftDb = 0.0f;
        float dbLow = 0.0f;
        float pixelsPerDb = 0.0f;
        bool operator==(const Scale&) const = default;
    };

    void prepare(const Scale& scale);
    // nearestPixel((levelDecibels(m, points) + shiftDb - dbLow) * pixelsPerDb) for the value's
    // magnitude m.
    std::int32_t offset(float value);

  private:
    float unrounded(float value) const;
    std::int32_t bandOffset(std::uint32_t band);

    Scale scale_;
    bool prepared_ = false;
    // Per band: its pixel, kUnknown before it is first needed, kMixed when the
    // band spans a pixel boundary.
    std::vector<std::int32_t> bands_;
};

}  // namespace ressona
