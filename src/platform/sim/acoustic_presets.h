#pragma once
// The acoustic systems the simulated card plays through: the response from
// the played signal (code - 128) x 256 to the recorded 16-bit samples, not
// counting the card's own path delay.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace ressona {

enum class SimPreset {
    kLoopback,    // a cable from output to input: the played signal exactly
    kRoom,        // a small loudspeaker in a room, heard by a microphone
    kDistortion,  // the loopback, then y = x + 0.02 x^2 + 0.01 x^3 (full-scale units)
    kModes,       // the loopback at -6 dB through four room modes (presetImpulseResponse)
    kHall,        // the room's loudspeaker and reflections in a hall that rings far longer
    kLowPass,     // the loopback through a first-order low-pass: a system with memory
};

// A room mode of the modes preset: an audio EQ cookbook peaking section.
struct SimRoomMode {
    double frequencyHz = 0.0;
    double gainDb = 0.0;
    double q = 1.0;
};
// +8 dB at 45 Hz Q 5, +6 dB at 90 Hz Q 4, -6 dB at 150 Hz Q 3, +4 dB at 210 Hz Q 6.
std::span<const SimRoomMode> presetRoomModes();
// The modes preset's overall gain: -6 dB, so that the default sweep (-6 dBFS)
// does not clip at the strongest mode.
inline constexpr double kModesGain = 0.5;

// The room's reverberation time in one octave band: its reverberant sound in
// that band decays by 60 dB in `seconds`.
struct OctaveReverberation {
    double bandHz = 0.0;  // nominal mid-band frequency, 63 .. 8000
    double seconds = 0.0;
};

// The memoryless curve a preset passes its signal through after its
// response: y = x + square x^2 + cube x^3, x and y in units of full scale.
struct SimNonlinearity {
    double square = 0.0;
    double cube = 0.0;
};
SimNonlinearity presetNonlinearity(SimPreset preset);

// The preset's exact impulse response at the sample rate: recorded sample n
// (before the path delay, noise and rounding) is sum over k of h[k] x[n - k].
// Loopback: {1}. Modes: kModesGain through the four peaking sections in
// series, until their ringing is 120 dB down. Room: a small loudspeaker's band-pass (100 Hz second-order
// high-pass, Q 0.9; 9 kHz second-order low-pass, Q 0.7, at most 0.45 of the
// rate) heard directly after 1 ms, through five early reflections (3.4, 6.1,
// 9.3, 13.8 and 19.5 ms later) and through the room's reverberation: from the
// direct sound on, in each octave band (base-ten edges, 63 Hz .. 8 kHz, below
// 0.45 of the rate), a comb of tones about 50 Hz apart (one in the 63 Hz band)
// with equal amplitudes and Schroeder's phases, so that the band's sound is a
// noise-like multitone whose envelope stays flat, decaying by 60 dB in the
// band's time (presetReverberationTimes). In every band it carries as much
// energy as the direct sound. The response ends 90 dB down in its slowest band.
//
// Why tones and not random noise: a random noise in a band of width B,
// decaying in T, has only about B x T independent stretches, so one sample of
// it measures 10 to 30 % away from its envelope's time in the bands where
// B x T is 10 .. 100; the multitone's band energy decays smoothly, so each
// octave band measures its documented time.
std::vector<double> presetImpulseResponse(SimPreset preset, std::uint32_t sampleRate);

// The room preset's response with other reverberation times: its loudspeaker,
// direct sound and reflections, and a multitone reverberation decaying in each
// octave band of `times` (63 Hz first, at most the eight bands above; times
// above zero) as that band's entry says. For rooms the tests make themselves,
// as WAV files.
std::vector<double> reverberantResponse(std::uint32_t sampleRate,
                                        std::span<const OctaveReverberation> times);

// The documented reverberation times of the preset per octave band, 63 Hz
// first (empty for the loopback, the distortion and the low-pass):
//   band (Hz)   63    125   250   500   1000  2000  4000  8000
//   room (s)    0.24  0.22  0.20  0.18  0.17  0.16  0.14  0.12
//   hall (s)    1.7   1.6   1.4   1.3   1.2   1.1   0.9   0.7
std::span<const OctaveReverberation> presetReverberationTimes(SimPreset preset);

// The corner of the low-pass preset in Hz.
double lowPassCornerHz();

// Standard deviation of the recording's noise, in 16-bit steps.
double presetNoiseRms(SimPreset preset);

// "loopback", "room", "distortion", "modes", "hall" or "filter".
std::string_view presetName(SimPreset preset);

}  // namespace ressona
