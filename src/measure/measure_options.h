#pragma once
// The options of the headless measurer: which device, the panel settings to
// apply, how many passes, what to do afterwards and what to write. Parsed from
// long GNU-style options; every value is checked here so that a bad one is a
// clear error before anything is measured or written.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sweep/log_sweep.h"

namespace ressona {

struct MeasureOptions {
    std::string device;  // empty: the ALSA default if it opens, else the simulated room
    std::uint32_t sampleRate = 22050;
    std::uint32_t sampleLength = 2048;
    std::int32_t excitationMode = 224;  // pulse
    std::uint32_t toneHz = 2000;
    std::uint32_t passes = 1;
    std::optional<std::uint32_t> averageCount;  // "Average" with this count; none: "Single sample"
    bool averageInFrequency = false;
    bool halfHanning = false;
    bool thirdOctave = false;
    bool artificial = false;
    std::int32_t delaySamples = 0;
    std::int32_t lowerCut = 0;
    std::int32_t upperCut = 1000;
    std::optional<std::pair<std::int32_t, std::int32_t>> dbRange;
    bool fixDb = false;
    std::optional<std::pair<std::int32_t, std::int32_t>> hzRange;
    std::int32_t shiftDb = 0;
    std::optional<std::int32_t> waterfallSteps;
    std::int32_t waterfallStart = 0;
    std::int32_t view = 246;  // standard
    bool inputMic = true;
    bool instant = false;
    std::string readFile;
    bool capture = false;
    bool subtract = false;
    std::string saveFile;
    bool json = false;
    bool arrays = false;
    std::string timePng;
    std::string freqPng;
    std::int32_t pictureWidth = 1200;
    std::int32_t pictureHeight = 400;
    bool room = false;     // room parameters of the measured impulse response
    std::string irWav;     // room parameters of this WAV file's response instead of measuring
    std::string decayPng;  // picture of the octave bands' decay curves
    bool help = false;
    // --excitation logsweep: the panel measures with "No Signal" while the
    // sweep is played under its passes (measure/sweep_pass_service.h).
    bool logSweep = false;
    double sweepFromHz = 20.0;
    std::optional<double> sweepToHz;  // none: 20000, or 0.45 x the rate when that is lower
    std::uint32_t sweepSamples = 1u << 16;
    double sweepLevelDbfs = -6.0;
    bool sweepOptionGiven = false;  // any --sweep-... option
    bool distortionTable = false;   // --distortion
    std::string distortionPng;
    // Results for other programs, and a calibration applied before the smoothing.
    std::string exportWav;
    std::string exportFrd;
    std::string exportCsv;
    std::string calibrationFile;
    bool gridGiven = false;  // --rate or --length was on the command line
};

struct ParsedOptions {
    MeasureOptions options;
    std::string error;  // empty when the command line is valid
};

// Parses argv[1..] (without the program name).
ParsedOptions parseMeasureOptions(const std::vector<std::string>& arguments);

// The sweep the options describe.
LogSweepSettings sweepSettingsOf(const MeasureOptions& options);

// The text --help prints.
std::string measureUsage();

}  // namespace ressona
