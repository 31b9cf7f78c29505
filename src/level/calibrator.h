#pragma once
// The sensitivity of a microphone and its input from a recording of an
// acoustic calibrator: the tone's level in a narrow band around 250 Hz or
// 1 kHz (the two frequencies calibrators give), which must hold nearly all of
// the recording's power and stay steady over it, less the calibrator's level
// above 94 dB SPL.

#include <cstdint>
#include <span>
#include <string>

namespace ressona {

inline constexpr double kReferenceSplDb = 94.0;  // 1 Pa

struct CalibratorReading {
    double frequencyHz = 0.0;      // 250 or 1000: the band the tone was found in
    double toneDbfs = 0.0;         // its level, a full-scale sine 0 dBFS
    double calibratorDb = kReferenceSplDb;
    double sensitivityDbfs = 0.0;  // the level that 94 dB SPL gives
    double seconds = 0.0;          // the length of the recording that was used
};

// Finds the tone in samples (1.0 = full scale) at sampleRate Hz played by a
// calibrator of calibratorDb dB SPL. Empty when found (reading filled in),
// else a one-line reason: too short, silent, no tone that holds most of the
// power in either band, or a tone whose level changes.
std::string readCalibrator(std::span<const double> samples, std::uint32_t sampleRate,
                           double calibratorDb, CalibratorReading& reading);

}  // namespace ressona
