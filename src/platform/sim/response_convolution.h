#pragma once
// The simulated card's convolution of what it plays with the acoustic
// system's impulse response: plain sums of products (the response is exact),
// eight outputs at a time in vector registers so that a room's response of
// some 20 000 taps stays quick.

#include <span>

namespace ressona {

// out[i] = sum over j of reversed[j] x played[i + j], i = 0 .. out.size() - 1,
// where reversed is the impulse response back to front (reversed[j] = h[taps - 1 - j]).
// played must hold out.size() + reversed.size() - 1 values.
void convolveReversed(std::span<const double> reversed, std::span<const double> played,
                      std::span<double> out);

}  // namespace ressona
