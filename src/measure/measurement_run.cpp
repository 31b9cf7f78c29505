#include "measure/measurement_run.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <memory>
#include <sstream>
#include <string_view>

#include "audio/pass_check.h"
#include "control/program.h"
#include "measure/eq_correction.h"
#include "control/program_state.h"
#include "level/calibrator.h"
#include "level/sensitivity_file.h"
#include "measure/combination_run.h"
#include "measure/level_run.h"
#include "measure/measure_report.h"
#include "measure/pass_timer.h"
#include "measure/response_exports.h"
#include "measure/response_view_outputs.h"
#include "measure/result_exchange.h"
#include "measure/room_measurement.h"
#include "measure/spl_picture.h"
#include "sweep/sweep_pass_service.h"
#include "measure/sweep_report.h"
#include "platform/dialog/error_dialog_service.h"
#include "response/panel_transfer.h"
#include "resources/control_ids.h"
#include "resources/error_dialog_templates.h"
#include "state/scroll_info.h"
#include "storage/file_replacement.h"

namespace ressona {

namespace {

constexpr const char* kName = "ressona-measure";

// The screen on which the program's plot windows (14/15 of the screen's width
// and a third of its height) get the pictures' client size.
std::int32_t screenWidthFor(std::int32_t plotWidth) {
    return (plotWidth * 15 + 13) / 14;
}
std::int32_t screenHeightFor(std::int32_t plotHeight) {
    return plotHeight * 3;
}

int rateButton(std::uint32_t rate) {
    switch (rate) {
        case 8000:
            return ids::kRate8000;
        case 11025:
            return ids::kRate11025;
        case 44100:
            return ids::kRate44100;
        case 48000:
            return ids::kRate48000;
        default:
            return ids::kRate22050;
    }
}

int lengthButton(std::uint32_t length) {
    int id = ids::kLength64;
    for (std::uint32_t n = 64; n < length && id < ids::kLength16384; n *= 2) ++id;
    return id;
}

bool isToneMode(std::int32_t mode) {
    return mode == kModeSineWave || mode == kModeSquareWave;
}

// Works the panel as a user does: only controls that are enabled, each
// action handled before the next one (except where a run must not be pumped).
class PanelUser {
  public:
    PanelUser(Program& program, std::vector<std::string>& failures)
        : program_(program), failures_(failures) {}

    void click(int id) {
        if (press(id)) program_.pumpMessages();
    }
    // Clicks without handling anything yet: the click waits in the queue.
    bool press(int id) {
        if (!available(id)) return false;
        program_.click(id);
        return true;
    }
    void type(int id, const std::string& text) {
        if (!available(id)) return;
        program_.type(id, text);
        program_.pumpMessages();
    }
    void type(int id, std::int64_t number) { type(id, std::to_string(number)); }
    // Drags the bar's thumb to the position.
    void drag(int barId, std::int32_t position) {
        if (!available(barId)) return;
        program_.scroll(barId, SB_THUMBTRACK, position);
        program_.pumpMessages();
    }

  private:
    bool available(int id) {
        if (program_.dialog().IsWindowEnabled(id)) return true;
        failures_.push_back("the panel's control " + std::to_string(id) + " is not available");
        return false;
    }

    Program& program_;
    std::vector<std::string>& failures_;
};

// Enters a LOW,HIGH pair into two edits that each keep their value below the
// other's: first the one whose new value does not cross the other's present one.
void typeRange(PanelUser& user, int lowEdit, int highEdit, std::int32_t presentHigh,
               std::pair<std::int32_t, std::int32_t> range) {
    if (range.first < presentHigh) {
        user.type(lowEdit, range.first);
        user.type(highEdit, range.second);
    } else {
        user.type(highEdit, range.second);
        user.type(lowEdit, range.first);
    }
}

void applySettings(PanelUser& user, Program& program, const MeasureOptions& o) {
    const MeasurementState& state = program.state();
    if (o.sampleRate != state.sampleRate) user.click(rateButton(o.sampleRate));
    if (o.sampleLength != state.sampleLength) user.click(lengthButton(o.sampleLength));
    if (o.excitationMode != state.excitationMode) user.click(o.excitationMode);
    if (isToneMode(o.excitationMode)) user.type(ids::kToneEdit, o.toneHz);
    if (o.averageCount) {
        user.click(ids::kAverage);
        user.type(ids::kAverageEdit, *o.averageCount);
    }
    if (o.averageInFrequency) user.click(ids::kAverageInFrequency);
    if (o.halfHanning != state.halfHanning) user.click(ids::kHalfHanning);
    if (o.thirdOctave != state.thirdOctave) user.click(ids::kThirdOctave);
    if (o.artificial != state.artificialMode) user.click(ids::kArtificial);
    // The delay bar's range follows the sample length, so it comes after the length.
    if (o.delaySamples != state.recordDelaySamples) user.drag(ids::kDelayBar, o.delaySamples);
    if (o.lowerCut != state.lowerCut) user.drag(ids::kLowerCutBar, o.lowerCut);
    if (o.upperCut != state.upperCut) user.drag(ids::kUpperCutBar, o.upperCut);
    // The waterfall's start bar is usable until a view other than the waterfall is chosen.
    if (o.waterfallStart != state.waterfallStart) {
        user.drag(ids::kWaterfallStartBar, o.waterfallStart);
    }
    if (o.view != state.analysisView) user.click(o.view);
    if (o.waterfallSteps) user.type(ids::kStepsEdit, *o.waterfallSteps);
    // The dB edits take typing only while the scale is fixed; a range given
    // without --fix-db is where the automatic scaling starts from.
    if (o.dbRange || o.fixDb) {
        user.click(ids::kFixDbScale);
        if (o.dbRange) typeRange(user, ids::kDbLowEdit, ids::kDbHighEdit, state.dbHigh, *o.dbRange);
        if (!o.fixDb) user.click(ids::kFixDbScale);
    }
    if (o.hzRange) {
        typeRange(user, ids::kFreqLowEdit, ids::kFreqHighEdit, state.freqHighHz, *o.hzRange);
    }
    if (o.shiftDb != static_cast<std::int32_t>(state.shiftDb))
        user.type(ids::kShiftEdit, o.shiftDb);
    if (!o.inputMic && state.mixerInputMic) user.click(ids::kInputLine);
    // The level bars last: choosing the input sets the mixer up again.
    const auto level = [&user](int bar, std::int32_t maximum, std::optional<std::int32_t> percent) {
        if (percent) user.drag(bar, maximum - (*percent * maximum + 50) / 100);
    };
    level(ids::kSpeakerBar, state.speakerLevelMax, o.speakerLevel);
    level(ids::kMicBar, state.micLevelMax, o.micLevel);
    level(ids::kLineBar, state.lineLevelMax, o.lineLevel);
}

bool isCaptureDone(const Message& message, WindowHandle panel) {
    return message.window == panel && message.message == WM_COMMAND &&
           commandId(message.wParam) == CMD_CAPTURE_DONE;
}

// Presses Start and handles the queue's messages one by one until `passes`
// completions have been analysed. Stop is clicked as the last completion
// comes up, so its handling takes the click in its drain and starts no
// further pass. Returns the completions analysed; fewer when the run could
// not start or a pass failed (then nothing more arrives).
struct PassCount {
    std::uint32_t analysed = 0;
    bool stalled = false;  // the run was on when no further completion came
};

// The figures of each capture go to `captures`. With a sweep, each capture's
// response is handed to the program just before it handles the capture
// (sweep may be null).
PassCount runPasses(PanelUser& user, Program& program, std::uint32_t passes,
                    std::vector<CaptureFigures>& captures, const SweepPassService* sweep) {
    MessageQueue& queue = program.queue();
    std::uint32_t analysed = 0;
    if (!user.press(ids::kStart)) return {};
    Message message;
    while (analysed < passes && queue.PeekMessageA(message, kNoWindow, PM_NOREMOVE)) {
        if (message.message == WM_QUIT) break;
        const bool counts =
            isCaptureDone(message, program.panelWindow()) && program.state().measuring;
        if (counts && analysed + 1 == passes) user.press(ids::kStop);
        // The recording as the pass left it: its analysis (and the next pass) reuse the buffer.
        // A sweep's recording is the service's; the program's buffer gets its response.
        CaptureFigures figures;
        if (counts && sweep != nullptr) {
            measureRecording(sweep->lastRecording(), figures);
        } else if (counts) {
            const DeviceMemory& device = program.state().device;
            const std::size_t samples =
                std::min<std::size_t>(device.recordBuffer.size(), device.recordBytes / 2);
            measureRecording({device.recordBuffer.data(), samples}, figures);
        }
        if (sweep != nullptr && isCaptureDone(message, program.panelWindow()))
            sweep->handOver(program.state());
        queue.PeekMessageA(message, kNoWindow, PM_REMOVE);
        queue.TranslateMessage(message);
        queue.DispatchMessageA(message);
        if (counts) {
            figures.pass = ++analysed;
            figures.impulsePeakCounts = peakCounts(program.arrays().impulseResponse.raw());
            captures.push_back(figures);
        }
    }
    const bool stalled = analysed < passes && program.state().measuring;
    if (program.dialog().IsWindowEnabled(ids::kStop)) user.press(ids::kStop);
    program.pumpMessages();  // the plots draw the last capture
    return {analysed, stalled};
}

// Capture Current or Read From, then Subtract: in that order, as the captured
// curve must be there to subtract. Capture Current and Subtract belong to the
// standard view, so it is chosen for them and the view asked for chosen again
// afterwards.
void workCapturedCurve(PanelUser& user, Program& program, const MeasureOptions& o) {
    const std::int32_t view = program.state().analysisView;
    const bool needsStandard = (o.capture || o.subtract) && view != kViewStandard;
    if (needsStandard) user.click(kViewStandard);
    if (o.capture) user.click(ids::kCaptureCurrent);
    if (!o.readFile.empty()) {
        user.type(ids::kFileNameEdit, o.readFile);
        user.click(ids::kReadFrom);
    }
    if (o.subtract && (program.state().capturedValid || program.state().showCaptured)) {
        user.click(ids::kSubtractCaptured);
    }
    if (needsStandard) user.click(view);
}

MeasurePicture frequencyPicture(std::int32_t view) {
    switch (view) {
        case kViewPhase:
            return MeasurePicture::Phase;
        case kViewHistogram:
            return MeasurePicture::Histogram;
        case kViewWaterfall:
            return MeasurePicture::Waterfall;
        default:
            return MeasurePicture::Standard;
    }
}

// Each picture goes to a file beside its target, renamed over it once written.
// With splShiftDb, the frequency picture is drawn in dB SPL.
void drawPictures(const MeasureBackends& backends, Program& program, const MeasureOptions& o,
                  std::optional<double> splShiftDb, std::vector<std::string>& failures) {
    const auto draw = [&](MeasurePicture picture, const std::string& path) {
        if (path.empty()) return;
        FileReplacement replacement(path);
        const bool written =
            replacement.ready() &&
            backends.savePicture(program.state(), program.arrays(), program.spectrumTools(),
                                 picture, o.pictureWidth, o.pictureHeight,
                                 replacement.temporaryPath()) == 0 &&
            replacement.commit();
        if (!written) failures.push_back("the picture '" + path + "' could not be written");
    };
    draw(MeasurePicture::Time, o.timePng);
    if (o.freqPng.empty()) return;
    std::optional<SplPicture> inSpl;
    if (splShiftDb) inSpl.emplace(program.program().state, *splShiftDb);
    draw(frequencyPicture(program.state().analysisView), o.freqPng);
}

// What puts the frequency picture in dB SPL, when --export-spl asks for it;
// a failure when it cannot be found.
std::optional<double> splPictureShift(Program& program, const MeasureOptions& o,
                                      MeasureOutcome& outcome) {
    if (!o.exportSpl || o.freqPng.empty()) return std::nullopt;
    std::optional<double> shift;
    if (outcome.splOffsetDb && outcome.transfer)
        shift = panelSplShiftDb(program.arrays(), *outcome.transfer, *outcome.splOffsetDb);
    if (!shift)
        outcome.failures.push_back("the frequency picture cannot be put in dB SPL: the transfer "
                                   "function has no level where the panel's curve lies");
    return shift;
}

// The sweep's distortion picture, beside its target and renamed over it once written.
void drawDistortion(const MeasureBackends& backends, const MeasureOptions& o,
                    MeasureOutcome& outcome) {
    if (o.distortionPng.empty()) return;
    if (!outcome.sweep || !outcome.sweep->curves) {
        outcome.failures.push_back("no sweep was measured for the picture '" + o.distortionPng +
                                   "'");
        return;
    }
    const DistortionPlotData data = distortionPlotData(*outcome.sweep->curves);
    FileReplacement replacement(o.distortionPng);
    const bool written = replacement.ready() &&
                         backends.saveDrawing(
                             o.pictureWidth, o.pictureHeight,
                             [&data](Canvas& canvas) { drawDistortionPlot(canvas, data); },
                             replacement.temporaryPath()) == 0 &&
                         replacement.commit();
    if (!written)
        outcome.failures.push_back("the picture '" + o.distortionPng + "' could not be written");
}

// The equaliser's picture, beside its target and renamed over it once written.
void drawEqPicture(const MeasureBackends& backends, const MeasureOptions& o,
                   MeasureOutcome& outcome) {
    if (o.eq.png.empty() || !outcome.eq) return;
    const EqPlotData data = eqPlotData(*outcome.eq);
    FileReplacement replacement(o.eq.png);
    const bool written = replacement.ready() &&
                         backends.saveDrawing(
                             o.pictureWidth, o.pictureHeight,
                             [&data](Canvas& canvas) { drawEqPlot(canvas, data); },
                             replacement.temporaryPath()) == 0 &&
                         replacement.commit();
    if (!written) outcome.failures.push_back("the picture '" + o.eq.png + "' could not be written");
}

// The files the user named for the run's results.
std::vector<std::string> outputsAsked(const MeasureOptions& o) {
    std::vector<std::string> outputs;
    for (const std::string& path : {o.saveFile, o.timePng, o.freqPng, o.distortionPng, o.decayPng,
                                    o.phasePng, o.etcPng, o.exportWav, o.exportFrd,
                                    o.exportCsv, o.eq.pipewire, o.eq.camilladsp, o.eq.apo,
                                    o.eq.png}) {
        if (!path.empty()) outputs.push_back(path);
    }
    return outputs;
}

// What a run hands to the run that asked for it.
struct RunHooks {
    // The result, once the passes went as asked and the captured curve is
    // worked, with the transfer function measured.
    std::function<void(const SampleArrays& arrays, const std::optional<TransferFunction>& transfer)>
        result;
};

int runMeasurementWith(const MeasureOptions& options, const MeasureBackends& backends,
                       std::ostream& out, std::ostream& err, const RunHooks& hooks);

// The run again with the filters between the simulated card's output and its
// room, writing and reporting nothing: the response it measured, or a reason.
std::string measureThroughFilters(const MeasureOptions& o, const MeasureBackends& backends,
                                  const std::vector<EqFilter>& filters, EqCurve& measured) {
    MeasureOptions through = o;
    through.eq = {};
    through.json = through.arrays = through.room = through.distortionTable = false;
    through.views = false;
    for (std::string* output : {&through.saveFile, &through.timePng, &through.freqPng,
                                &through.distortionPng, &through.decayPng, &through.phasePng,
                                &through.etcPng, &through.exportWav,
                                &through.exportFrd, &through.exportCsv})
        output->clear();
    const auto filter = eqOutputFilter(filters);
    MeasureBackends filtered = backends;
    filtered.prepare = nullptr;  // what drawing needs runs already, for the first measurement
    filtered.makeCard = [&backends, filter](std::string_view name, const SoundCardOptions& options,
                                            SoundCard& card) {
        SoundCardOptions withFilter = options;
        withFilter.outputFilter = filter;
        return backends.makeCard(name, withFilter, card);
    };
    RunHooks hooks;
    bool measuredOnce = false;
    hooks.result = [&](const SampleArrays& arrays, const std::optional<TransferFunction>& transfer) {
        measured = eqResponseOf(arrays, transfer);
        measuredOnce = true;
    };
    std::ostringstream report;
    std::ostringstream problems;
    const int status = runMeasurementWith(through, filtered, report, problems, hooks);
    if (status == kMeasureDone && measuredOnce) return "";
    std::string first = problems.str();
    first = first.substr(0, first.find('\n'));
    return first.empty() ? "the measurement through the filters did not go as asked" : first;
}

// Fits the equaliser to the result and, when asked, measures through it.
void correct(const MeasureOptions& o, const MeasureBackends& backends, const SampleArrays& arrays,
             const EqCorrection& eq, MeasureOutcome& outcome) {
    outcome.eq.emplace();
    const std::string problem =
        eq.fit(eqResponseOf(arrays, outcome.transfer), o.sampleRate, *outcome.eq);
    if (!problem.empty()) {
        outcome.failures.push_back("no equaliser: " + problem);
        return;
    }
    if (!o.eq.verify) return;
    EqCurve measured;
    const std::string reason = measureThroughFilters(o, backends, outcome.eq->fit.filters, measured);
    if (!reason.empty()) {
        outcome.failures.push_back("the equaliser was not verified: " + reason);
        return;
    }
    eq.verify(measured, *outcome.eq);
}

// "Save as " as on the panel (the program writes beside the file and renames),
// then the pictures.
void writeOutputs(PanelUser& user, const MeasureBackends& backends, Program& program,
                  const MeasureOptions& o, MeasureOutcome& outcome) {
    // Found first: a picture that cannot be drawn as asked stops every output.
    const std::optional<double> splShift = splPictureShift(program, o, outcome);
    if (o.exportSpl && !o.freqPng.empty() && !splShift) return;
    if (!o.saveFile.empty()) {
        user.type(ids::kFileNameEdit, o.saveFile);
        user.click(ids::kSaveAs);
    }
    drawPictures(backends, program, o, splShift, outcome.failures);
    drawDistortion(backends, o, outcome);
    drawEqPicture(backends, o, outcome);
    if (outcome.room) saveDecayPicture(backends, o, *outcome.room, outcome.failures);
    if (outcome.views) drawViewPictures(backends, o, *outcome.views, outcome.failures);
}

// The phase and time views, when asked for: of the transfer function after
// passes, of the curve read with --passes 0 (readPhase: the file gave a phase).
void formViews(const MeasureOptions& o, const ProgramState& made, bool readPhase,
               MeasureOutcome& outcome) {
    if (!o.views && o.phasePng.empty() && o.etcPng.empty()) return;
    if (o.passes == 0) {
        // A reading that failed has said so already.
        if (!made.arrays.resultsReady) return;
        outcome.views = viewsOfConvertedCurve(exportedResponse(made.arrays),
                                              made.state.sampleRate, readPhase);
    } else if (outcome.transfer && !outcome.transfer->empty()) {
        outcome.views = viewsOfImpulse(outcome.transfer->impulse, outcome.transfer->sampleRate);
    }
    if (!outcome.views || outcome.views->frequencyHz.empty()) {
        outcome.views.reset();
        outcome.failures.push_back(
            o.passes == 0 ? "the curve read gives no phase and time views"
                          : "there is no transfer function for the phase and time views (the "
                            "excitation played nothing to divide by)");
    }
}

// The number in a title "Ressona: Error N"; 0 when it has none.
int errorNumber(const std::string& title) {
    const std::size_t space = title.find_last_of(' ');
    if (space == std::string::npos) return 0;
    int number = 0;
    const char* end = title.data() + title.size();
    const auto [ptr, ec] = std::from_chars(title.data() + space + 1, end, number);
    return ec == std::errc() && ptr == end ? number : 0;
}

std::vector<ShownError> errorsShown(const RecordingDialogService& dialogs) {
    std::vector<ShownError> errors;
    for (const ShownDialog& shown : dialogs.shown) {
        const bool numbered = findErrorDialogTemplate(shown.templateId) != nullptr;
        const bool major = shown.templateId == 0 && shown.title.rfind("Ressona: Error", 0) == 0;
        if (numbered || major)
            errors.push_back({errorNumber(shown.title), shown.title, shown.message});
    }
    return errors;
}

// The one rule for every output of the measurer (the result file, the
// pictures, and whatever it exports): it is written only from a run that went
// as asked, one in which no error dialog was shown and no step failed before
// the outputs. Otherwise nothing is written and no file that was there is
// replaced: a result the user did not ask for (a curve not subtracted, a run
// cut short) must not take the place of one.
bool outputsMayBeWritten(const RecordingDialogService& dialogs,
                         const std::vector<std::string>& failures) {
    return errorsShown(dialogs).empty() && failures.empty();
}

void timePasses(const PassTimer& timer, MeasureOutcome& outcome) {
    const std::vector<PassInterval>& passes = timer.passes();
    const std::size_t count = std::min<std::size_t>(passes.size(), outcome.passesCompleted);
    using Seconds = std::chrono::duration<double>;
    for (std::size_t i = 0; i < count; ++i) {
        outcome.passSeconds.push_back(Seconds(passes[i].end - passes[i].begin).count());
        if (i > 0) {
            outcome.processSeconds.push_back(Seconds(passes[i].begin - passes[i - 1].end).count());
        }
    }
}

int makeCard(const MeasureOptions& o, const MeasureBackends& backends, SoundCard& card,
             std::ostream& err) {
    SoundCardOptions options;
    options.instant = o.instant;
    const int made = o.device.empty() ? backends.makeDefaultCard(options, card)
                                      : backends.makeCard(o.device, options, card);
    if (made != kSoundCardMade) {
        err << kName << ": the device '" << (o.device.empty() ? "default" : o.device)
            << "' is not available in this build\n";
        return kMeasureFailed;
    }
    if (o.device.empty()) {
        err << kName << ": no --device given; measuring with " << card.name << " ("
            << card.description << ")\n";
    }
    return kMeasureDone;
}

// ---- Absolute levels. The sensitivity was found with the calibration's
// level at the calibrator's frequency still in the recording; once the
// calibration is taken off the response, the same is taken off the sensitivity.
void noteSpl(const MeasureOptions& options, const Sensitivity& sensitivity,
             const ResultExchange& exchange, MeasureOutcome& outcome) {
    constexpr double kCalibratorHzUnknown = 1000.0;
    outcome.sensitivityFile = options.sensitivityFile;
    outcome.sensitivityDbfs = sensitivity.dbfsAt94DbSpl;
    outcome.calibrationDbAtCalibrator =
        exchange.calibrationDbAt(sensitivity.calibratorHz.value_or(kCalibratorHzUnknown));
    outcome.splOffsetDb =
        kReferenceSplDb - (sensitivity.dbfsAt94DbSpl - outcome.calibrationDbAtCalibrator);
}

}  // namespace

int runMeasurement(const MeasureOptions& options, const MeasureBackends& backends,
                   std::ostream& out, std::ostream& err) {
    return runMeasurementWith(options, backends, out, err, {});
}

namespace {

int runMeasurementWith(const MeasureOptions& options, const MeasureBackends& backends,
                       std::ostream& out, std::ostream& err, const RunHooks& hooks) {
    if (!options.irWav.empty()) return runRoomFile(options, backends, out, err);
    if (options.levelRun()) return runLevels(options, backends, out, err);
    if (!options.combineFiles.empty()) return runCombination(options, backends, out, err);
    ResultExchange exchange(options);
    if (const std::string reason = exchange.load(); !reason.empty()) {
        err << kName << ": " << reason << '\n';
        return kMeasureBadCommandLine;
    }
    EqCorrection eq(options.eq);
    if (options.eq.fit) {
        const MeasureOptions grid = exchange.settings();
        const bool simulated = grid.device.rfind("sim", 0) == 0;
        std::string reason = checkEqRequest(options.eq, grid.sampleRate,
                                            double(grid.sampleRate) / grid.sampleLength, simulated);
        if (reason.empty()) reason = eq.load();
        if (!reason.empty()) {
            err << kName << ": " << reason << '\n';
            return kMeasureBadCommandLine;
        }
    }
    // ---- Absolute levels: the sensitivity that puts the transfer function in dB SPL.
    Sensitivity sensitivity;
    if (!options.sensitivityFile.empty()) {
        if (const std::string reason = readSensitivityFile(options.sensitivityFile, sensitivity);
            !reason.empty()) {
            err << kName << ": " << reason << '\n';
            return kMeasureBadCommandLine;
        }
    }
    if ((!options.timePng.empty() || !options.freqPng.empty()) && !backends.savePicture) {
        err << kName << ": this build cannot draw pictures\n";
        return kMeasureFailed;
    }
    const bool drawings = !options.decayPng.empty() || !options.distortionPng.empty() ||
                          !options.phasePng.empty() || !options.etcPng.empty() ||
                          !options.eq.png.empty();
    if (drawings && !backends.saveDrawing) {
        err << kName << ": this build cannot draw pictures\n";
        return kMeasureFailed;
    }
    if (backends.prepare) backends.prepare();
    const MeasureOptions settings = exchange.settings();
    SoundCard card;
    if (makeCard(settings, backends, card, err) != kMeasureDone) return kMeasureFailed;

    MeasureOutcome outcome;
    outcome.deviceName = card.name;
    outcome.deviceDescription = card.description;
    outcome.deviceSimulated = card.simulated;
    outcome.deviceByDefault = options.device.empty();
    outcome.passesRequested = options.passes;

    // A logsweep is played under the program's passes, between them and the card.
    std::unique_ptr<SweepPassService> sweep;
    if (options.logSweep) {
        sweep = std::make_unique<SweepPassService>(*card.wave, *card.clock,
                                                   sweepSettingsOf(options), options.sampleLength,
                                                   options.reference);
    }
    PassTimer timer(sweep ? static_cast<WaveService&>(*sweep) : *card.wave);
    const std::unique_ptr<WindowSurface> timeSurface =
        backends.makePlotSurface(options.pictureWidth, options.pictureHeight);
    const std::unique_ptr<WindowSurface> freqSurface =
        backends.makePlotSurface(options.pictureWidth, options.pictureHeight);
    RecordingDialogService dialogs;
    ProgramServices services{timer,
                             *card.mixer,
                             *card.clock,
                             dialogs,
                             *timeSurface,
                             *freqSurface,
                             screenWidthFor(options.pictureWidth),
                             screenHeightFor(options.pictureHeight),
                             {},
                             {}};
    services.readResponse = [&exchange](MeasurementState& state, SampleArrays& arrays) {
        return exchange.readResponse(state, arrays);
    };
    Program program(services);
    PanelUser user(program, outcome.failures);
    bool ranAsAsked = false;
    const bool started = program.start();
    // The sweep's passes hand over a response, not a recording of what was played.
    program.state().passCheck.capturesAreResponses = sweep != nullptr;
    // The sweep records the reference under the program's passes; the
    // program's own passes record it otherwise.
    if (!sweep) program.state().reference.channel = options.reference;
    if (started) {
        applySettings(user, program, settings);
        exchange.prepareAnalysis(program.program());
        PassCount count;
        if (outcome.failures.empty() && options.passes > 0) {
            count = runPasses(user, program, options.passes, outcome.captures, sweep.get());
        }
        if (options.passes == 0 &&
            !ResultExchange::prepareWithoutPasses(program.program(), *card.clock)) {
            outcome.failures.push_back("the arrays could not be built for the settings");
        }
        outcome.passesCompleted = count.analysed;
        ranAsAsked = count.analysed == options.passes;
        outcome.warnings = captureWarnings(outcome.captures, program.state().mixerInputMic);
        for (const RepeatedSweep& repeated :
             sweep ? sweep->repeatedSweeps() : std::span<const RepeatedSweep>()) {
            outcome.warnings.push_back("pass " + std::to_string(repeated.pass) + ": " +
                                       repeated.why + "; the sweep was played again");
        }
        outcome.deviceThreads = card.wave->deviceThreadScheduling();
        const PassCheckRecord& check = program.state().passCheck;
        outcome.passesReplayed = static_cast<std::uint32_t>(check.replays.size());
        outcome.warnings.insert(outcome.warnings.end(), check.replays.begin(), check.replays.end());
        outcome.deviceFailure = program.deviceFailure();
        if (outcome.deviceFailure != 0) {
            if (sweep) outcome.deviceFailureCause = sweep->failure();
            if (!check.failure.empty())
                outcome.deviceFailureCause =
                    check.failure + (check.failedPlays == 1
                                         ? std::string()
                                         : " in " + std::to_string(check.failedPlays) +
                                               " plays of the pass");
            const std::string cause = outcome.deviceFailureCause.empty()
                                          ? deviceFailureCause(outcome.deviceFailure)
                                          : outcome.deviceFailureCause;
            outcome.failures.push_back(
                "the run stopped after " + std::to_string(outcome.passesCompleted) + " of " +
                std::to_string(options.passes) + " passes: " + cause + " (result code " +
                std::to_string(outcome.deviceFailure) + "); nothing of the broken pass is kept");
        }
        if (count.analysed == options.passes) {
            // The sweeps' transfer function once, for the room and everything after.
            std::optional<TransferFunction> sweepTransfer;
            if (sweep) sweepTransfer = sweep->transferFunction();
            // Before anything else, while the last capture is still in the record buffer.
            if (options.room) {
                outcome.room = measuredRoom(program, options, sweep.get(),
                                            sweepTransfer ? &*sweepTransfer : nullptr);
                const std::string tooShort = roomLengthWarning(*outcome.room);
                if (!tooShort.empty()) outcome.warnings.push_back(tooShort);
                // A step that failed: no output is written after it.
                if (!outcome.room->error.empty())
                    outcome.failures.push_back("no room parameters: " + outcome.room->error);
            }
            ProgramState& made = program.program();
            outcome.transfer = sweepTransfer
                                   ? std::move(*sweepTransfer)
                                   : panelTransferFunction(made.state, made.arrays,
                                                           made.analysisExtras.impulses,
                                                           made.analysisExtras.referenceImpulses);
            exchange.calibrate(*outcome.transfer);
            if (!options.sensitivityFile.empty()) noteSpl(options, sensitivity, exchange, outcome);
            workCapturedCurve(user, program, options);
            formViews(options, made, exchange.readPhase(), outcome);
            if (sweep) outcome.sweep = summariseSweeps(*sweep, options.sampleLength);
            const bool asAsked = outputsMayBeWritten(dialogs, outcome.failures) &&
                                 program.arrays().resultsReady;
            if (asAsked && hooks.result) hooks.result(program.arrays(), outcome.transfer);
            if (asAsked && options.eq.fit)
                correct(settings, backends, program.arrays(), eq, outcome);
        } else if (count.stalled) {
            outcome.failures.push_back("the run stopped after " +
                                       std::to_string(outcome.passesCompleted) + " of " +
                                       std::to_string(options.passes) +
                                       " passes (the sound card did not complete a pass)");
        }
    }
    const std::vector<std::string> outputs = outputsAsked(options);
    const bool mayWrite = started && ranAsAsked && outputsMayBeWritten(dialogs, outcome.failures);
    if (!outputs.empty()) {
        if (mayWrite) {
            writeOutputs(user, backends, program, options, outcome);
        } else {
            std::string names;
            for (const std::string& path : outputs)
                names += (names.empty() ? "'" : ", '") + path + "'";
            outcome.failures.push_back("nothing was written (" + names +
                                       "): the run did not go as asked");
        }
    }
    timePasses(timer, outcome);
    outcome.errors = errorsShown(dialogs);
    exchange.note(outcome);
    // The exports, by the same rule (and not after an output above has failed).
    if (mayWrite && outputsMayBeWritten(dialogs, outcome.failures)) {
        exchange.finish(program.program(), outcome);
    }
    // The equaliser's files by the same rule.
    if (mayWrite && outcome.eq && outputsMayBeWritten(dialogs, outcome.failures)) {
        const std::vector<std::string> failures = eq.write(*outcome.eq);
        outcome.failures.insert(outcome.failures.end(), failures.begin(), failures.end());
    }
    if (options.room && !outcome.room) {
        outcome.room =
            RoomOutcome{options.logSweep ? "logsweep" : excitationName(options.excitationMode),
                        "",
                        "the run did not complete its passes",
                        {}};
        outcome.failures.push_back("no room parameters: " + outcome.room->error);
    }

    if (sweep && !outcome.sweep) outcome.sweep = summariseSweeps(*sweep, options.sampleLength);
    if (options.json) {
        writeJsonReport(out, options, outcome, program);
    } else {
        writeTextReport(out, outcome, program);
        if (options.distortionTable && outcome.sweep) writeDistortionTable(out, *outcome.sweep);
        if (outcome.room) writeRoomTable(out, *outcome.room);
        if (outcome.eq && outcome.eq->fit.problem.empty()) writeEqText(out, *outcome.eq);
    }
    for (const ShownError& error : outcome.errors) {
        err << error.title << ": " << error.message << '\n';
    }
    for (const std::string& failure : outcome.failures) err << kName << ": " << failure << '\n';
    for (const std::string& warning : outcome.warnings) err << kName << ": " << warning << '\n';
    return outcome.errors.empty() && outcome.failures.empty() ? kMeasureDone : kMeasureFailed;
}

}  // namespace

int measureMain(const std::vector<std::string>& arguments, const MeasureBackends& backends,
                std::ostream& out, std::ostream& err) {
    const ParsedOptions parsed = parseMeasureOptions(arguments);
    if (!parsed.error.empty()) {
        err << kName << ": " << parsed.error << "\nTry '" << kName << " --help'.\n";
        return kMeasureBadCommandLine;
    }
    if (parsed.options.help) {
        out << measureUsage();
        return kMeasureDone;
    }
    return runMeasurement(parsed.options, backends, out, err);
}

}  // namespace ressona
