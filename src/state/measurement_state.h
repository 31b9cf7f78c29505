#pragma once
// The one record of the program's state: the user's settings with their
// defaults, the run-time flags of the measurement cycle, the device memory and
// the window handles, and the hand-over copies that the analysis and the plots
// read. Made once by the program's entry point (or a test) and passed by reference.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "state/excitation_mode.h"
#include "state/reference_channel.h"
#include "state/scroll_info.h"
#include "state/wave_header.h"
#include "state/window_handle.h"

namespace ressona {

// The frequency-domain views; each value is the id of the view's radio button.
enum AnalysisView : std::int32_t {
    kViewStandard = 246,
    kViewWaterfall = 252,
    kViewPhase = 253,
    kViewHistogram = 265,
};

inline constexpr std::size_t kFileNameCapacity = 256;  // 254 characters and a zero, with room
inline constexpr std::size_t kFileNameMaxLength = 254;
inline constexpr std::size_t kStorageNameLength = 250;  // blank-padded storage name
inline constexpr std::size_t kCapturedLabelLength = 60;
inline constexpr std::uint32_t kMaxSampleCapacity = 65536;  // samples the device memory holds

// The memory the wave devices play from and record into: allocated once when
// the panel initialises and freed when it closes.
struct DeviceMemory {
    WAVEHDR playHeader;
    WAVEHDR recordHeader;
    std::vector<std::uint8_t> playBuffer;    // kMaxSampleCapacity * 2 codes
    std::vector<std::int16_t> recordBuffer;  // kMaxSampleCapacity * 2 samples (4 bytes each pair)
    std::uint32_t playBytes = 4096;          // 2 * sampleLength
    std::uint32_t recordBytes = 8192;        // 4 * sampleLength
    bool playMemoryHeld = false;
    bool recordMemoryHeld = false;
};

// A scroll bar's last applied range, page and position, and its window.
struct ScrollBarRecord {
    SCROLLINFO info;
    WindowHandle handle = kNoWindow;
};

// The passes' own check of their recordings (audio/pass_check.h) during a run.
struct PassCheckRecord {
    // Set at Start: whether this run's excitation can be timed in its
    // recording (not a tone, not silence), and its period (the MLS's L; 0 for none).
    bool armed = false;
    std::int64_t period = 0;
    // Set by a wave service whose capture is a response it worked out, not
    // a recording of the excitation (the logsweep's): its passes are not checked.
    bool capturesAreResponses = false;
    // Where the excitation landed against the latency in the run's first
    // judged pass; the later passes must agree with it.
    bool hasReference = false;
    std::int64_t referenceOffset = 0;
    std::int64_t referenceSlices = 0;  // the slices judged in the pass that set it
    // The first timed recording's offset, until a second one confirms it.
    std::optional<std::int64_t> firstOffset;
    // The run's first recording had no judged slice and was played once more.
    bool unjudgedReplayed = false;
    // Set at Start for the pulse and the MLS: their recordings are compared
    // with each other, as a slip in the pulse's silence, or in the MLS's
    // first period after its arrival, shows nowhere else. `kept` is the last
    // recording taken for a good one, from where the excitation arrived.
    bool comparesPasses = false;
    std::vector<std::int16_t> kept;
    std::uint32_t passesAccepted = 0;   // this run's passes that passed (or were not checked)
    std::vector<std::string> replays;   // why each pass played again was, for people
    std::string failure;                // why the run's last pass failed its check
    int failedPlays = 0;                // how often that pass was played and failed
};

struct MeasurementState {
    // --- Settings made on the control panel ---
    std::uint32_t sampleRate = 22050;
    std::uint32_t sampleLength = 2048;
    std::int32_t excitationMode = kModePulse;
    std::uint32_t toneFrequency = 2000;
    bool averagingOn = false;
    std::uint32_t averageCount = 100;
    bool averageInTime = true;
    bool halfHanning = false;
    bool thirdOctave = false;
    bool artificialMode = false;
    std::int32_t recordDelaySamples = 0;
    float recordDelayMs = 0.0f;
    std::int32_t lowerCut = 0;     // per mille
    std::int32_t upperCut = 1000;  // per mille
    std::int32_t waterfallStart = 0;
    std::int32_t waterfallSteps = 30;
    std::int32_t dbLow = -90;
    std::int32_t dbHigh = 3;
    bool fixDbScale = false;
    float shiftDb = 0.0f;
    std::int32_t freqLowHz = 10;
    std::int32_t freqHighHz = 30000;
    std::int32_t analysisView = kViewStandard;
    bool capturedValid = false;
    bool showCaptured = false;
    bool subtractCaptured = false;
    bool mixerInputMic = true;
    std::int32_t micLevelMax = 100;
    std::int32_t speakerLevelMax = 100;
    std::int32_t lineLevelMax = 100;
    std::int32_t micLevel = 50;
    std::int32_t speakerLevel = 50;
    std::int32_t lineLevel = 50;
    std::array<char, kFileNameCapacity> fileNameText = {"default.rsn"};

    // --- Run-time flags of the measurement cycle ---
    bool measuring = false;
    std::uint32_t sampleCounter = 0;
    std::int32_t latencySamples = 0;
    std::int32_t triggerSample = 0;
    bool buffersPrepared = false;
    bool editEchoEnabled = true;
    bool panelClosed = false;
    bool panelInitialised = false;
    std::uint32_t lastWaveError = 0;
    PassCheckRecord passCheck;
    ReferenceInput reference;

    // --- Device memory ---
    DeviceMemory device;

    // --- Windows and plot geometry ---
    WindowHandle panelWindow = kNoWindow;
    WindowHandle panelWindowAudio = kNoWindow;
    WindowHandle panelWindowMixer = kNoWindow;
    WindowHandle timePlotWindow = kNoWindow;
    WindowHandle freqPlotWindow = kNoWindow;
    std::int32_t plotWidth = 0;
    std::int32_t plotHeight = 0;
    std::int32_t freqPlotY = 0;

    // --- The panel's scroll bars ---
    ScrollBarRecord delayScroll;      // 236
    ScrollBarRecord toneScroll;       // 240
    ScrollBarRecord lowerCutScroll;   // 248
    ScrollBarRecord upperCutScroll;   // 249
    ScrollBarRecord waterfallScroll;  // 274
    ScrollBarRecord micScroll;        // 243
    ScrollBarRecord speakerScroll;    // 244
    ScrollBarRecord lineScroll;       // 247
    ScrollBarRecord shiftScroll;      // 272

    // --- Hand-over copies read by the analysis and the plots ---
    float plotDbHigh = 0.0f;
    float plotDbLow = 0.0f;
    float plotShiftDb = 0.0f;
    float plotFreqHigh = 0.0f;
    float plotFreqLow = 0.0f;
    bool plotFixDbScale = false;
    bool analysisHalfHanning = false;
    bool analysisThirdOctave = false;
    bool plotShowCaptured = false;
    bool plotSubtractCaptured = false;
    // The headless measurer's pictures in dB SPL: the level axis says so
    // (plotShiftDb then holds the offset from the panel's scale).
    bool plotLevelInSpl = false;
    std::array<char, kCapturedLabelLength + 1> capturedLabel{};  // 60 characters and a zero
    std::int32_t plotWaterfallStart = 0;
    std::int32_t plotWaterfallSteps = 0;
    float plotLowerCutTime = 0.0f;                           // ms
    float plotUpperCutTime = 0.0f;                           // ms
    std::array<char, kStorageNameLength> storageFileName{};  // blank-padded, no terminator
};

// The file name held in fileNameText, up to its terminating zero.
std::string fileNameOf(const MeasurementState& state);

}  // namespace ressona
