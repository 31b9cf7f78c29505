#pragma once
// The options of the headless measurer: which device, the panel settings to
// apply, how many passes, what to do afterwards and what to write. Parsed from
// long GNU-style options; every value is checked here so that a bad one is a
// clear error before anything is measured or written.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "measure/eq_request.h"
#include "response/response_average.h"
#include "state/reference_channel.h"
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
    // --reference left|right: the capture has two channels, this one the
    // output wired straight back; the result is the other over it.
    ReferenceChannel reference = ReferenceChannel::kNone;
    // The level bars, per cent of their travel (0..100); none: the panel's own.
    std::optional<std::int32_t> speakerLevel;
    std::optional<std::int32_t> micLevel;
    std::optional<std::int32_t> lineLevel;
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
    // sweep is played under its passes (sweep/sweep_pass_service.h).
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
    // The equaliser fitted to the result (--eq ...).
    EqRequest eq;

    // Phase and time views of the result, and several measurements combined.
    bool views = false;    // --views: the views in the JSON and as further export columns
    std::string phasePng;  // measured, minimum and excess phase
    std::string etcPng;    // the energy-time curve
    std::vector<std::string> combineFiles;  // --combine: these files, measuring nothing
    AverageKind combineAverage = AverageKind::Rms;
    bool combineAlign = false;        // each one's delay against the first taken out
    bool combineAlignLevels = false;  // and its level
    bool rateGiven = false;           // --rate was on the command line
    bool lengthGiven = false;         // --length was

    // Absolute levels (measure/level_run.h): a calibrator's recording or a
    // live one gives the input's sensitivity, kept in or read from a file;
    // the sound level meter runs over a recording or the input, and logs.
    std::string calibratorWav;
    std::optional<double> calibratorSeconds;
    double calibratorDb = 94.0;
    std::string sensitivityFile;
    // --export-spl: with the sensitivity, the FRD and CSV exports and the
    // frequency picture give levels in dB SPL instead of dB re full scale.
    bool exportSpl = false;
    std::optional<double> splMeterSeconds;
    std::string splWav;
    std::string splLog;
    double splIntervalSeconds = 1.0;

    // A calibration or a sound level meter run, which measures nothing else.
    bool levelRun() const {
        return !calibratorWav.empty() || calibratorSeconds || splMeterSeconds || !splWav.empty();
    }
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
