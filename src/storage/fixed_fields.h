#pragma once
// Fixed-width number text as the saved file holds it: numbers right-aligned in
// a field of w columns, and the reading of such a field. Independent of the C
// locale, so a comma-decimal locale neither writes nor expects commas.

#include <cstdint>
#include <string>
#include <string_view>

namespace ressona {

// int(w): value right-aligned in width columns; width asterisks when it does not fit.
std::string formatInteger(std::int64_t value, int width);

// fixed(w.d): value with `decimals` decimals and always a point, a zero before
// the point below 1, right-aligned in width columns; width asterisks when it
// does not fit or is not finite.
std::string formatFixed(double value, int width, int decimals);

// As formatFixed, but a value too wide for `decimals` decimals is written with
// as many as fit (down to none, "1234567890." being too wide for 10); only a
// value that fits with no decimal at all, or is not finite, becomes asterisks.
std::string formatFixedFitting(double value, int width, int decimals);

// Reads a real field: blanks are ignored, an all-blank field is 0; then an
// optional sign, digits with at most one point, and an optional exponent
// (E or D with an optional sign, or just a sign, then digits). Without a point
// the last impliedDecimals digits are the fraction. False for anything else,
// and for values beyond the range of a 32-bit float.
bool readRealField(std::string_view field, int impliedDecimals, float& value);

// Reads an integer field: blanks ignored, all blank is 0, an optional sign and
// digits. False for anything else and for values beyond 32 bits.
bool readIntegerField(std::string_view field, std::int32_t& value);

}  // namespace ressona
