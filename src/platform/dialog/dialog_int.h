#pragma once
// Reading and writing whole numbers in edit controls, the way dialog edits
// always have: a number is optional blanks, a '-' when signed, digits, optional
// blanks. Anything else, or a value out of the 32-bit range, is not a number:
// the read fails and gives 0.

#include <cstdint>
#include <string>
#include <string_view>

namespace ressona {

// The value of text as a signed or unsigned 32-bit number (a signed value is
// returned in its two's-complement bits); translated tells whether it was one.
std::uint32_t parseDialogInt(std::string_view text, bool isSigned, bool& translated);

// The decimal text of value, read as signed or unsigned.
std::string formatDialogInt(std::uint32_t value, bool isSigned);

}  // namespace ressona
