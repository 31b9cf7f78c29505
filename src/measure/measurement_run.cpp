#include "measure/measurement_run.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <memory>
#include <string_view>

#include "control/program.h"
#include "measure/measure_report.h"
#include "measure/pass_timer.h"
#include "measure/result_exchange.h"
#include "measure/room_measurement.h"
#include "measure/sweep_pass_service.h"
#include "measure/sweep_report.h"
#include "platform/dialog/error_dialog_service.h"
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
void drawPictures(const MeasureBackends& backends, Program& program, const MeasureOptions& o,
                  std::vector<std::string>& failures) {
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
    draw(frequencyPicture(program.state().analysisView), o.freqPng);
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

// The files the user named for the run's results.
std::vector<std::string> outputsAsked(const MeasureOptions& o) {
    std::vector<std::string> outputs;
    for (const std::string& path : {o.saveFile, o.timePng, o.freqPng, o.distortionPng, o.decayPng,
                                    o.exportWav, o.exportFrd, o.exportCsv}) {
        if (!path.empty()) outputs.push_back(path);
    }
    return outputs;
}

// "Save as " as on the panel (the program writes beside the file and renames),
// then the pictures.
void writeOutputs(PanelUser& user, const MeasureBackends& backends, Program& program,
                  const MeasureOptions& o, MeasureOutcome& outcome) {
    if (!o.saveFile.empty()) {
        user.type(ids::kFileNameEdit, o.saveFile);
        user.click(ids::kSaveAs);
    }
    drawPictures(backends, program, o, outcome.failures);
    drawDistortion(backends, o, outcome);
    if (outcome.room) saveDecayPicture(backends, o, *outcome.room, outcome.failures);
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

}  // namespace

int runMeasurement(const MeasureOptions& options, const MeasureBackends& backends,
                   std::ostream& out, std::ostream& err) {
    if (!options.irWav.empty()) return runRoomFile(options, backends, out, err);
    ResultExchange exchange(options);
    if (const std::string reason = exchange.load(); !reason.empty()) {
        err << kName << ": " << reason << '\n';
        return kMeasureBadCommandLine;
    }
    if ((!options.timePng.empty() || !options.freqPng.empty()) && !backends.savePicture) {
        err << kName << ": this build cannot draw pictures\n";
        return kMeasureFailed;
    }
    if ((!options.decayPng.empty() || !options.distortionPng.empty()) && !backends.saveDrawing) {
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
                                                   sweepSettingsOf(options), options.sampleLength);
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
        outcome.deviceFailure = program.deviceFailure();
        if (outcome.deviceFailure != 0) {
            if (sweep) outcome.deviceFailureCause = sweep->failure();
            const std::string cause = outcome.deviceFailureCause.empty()
                                          ? deviceFailureCause(outcome.deviceFailure)
                                          : outcome.deviceFailureCause;
            outcome.failures.push_back(
                "the run stopped after " + std::to_string(outcome.passesCompleted) + " of " +
                std::to_string(options.passes) + " passes: " + cause + " (result code " +
                std::to_string(outcome.deviceFailure) + "); nothing of the broken pass is kept");
        }
        if (count.analysed == options.passes) {
            // Before anything else, while the last capture is still in the record buffer.
            if (options.room) {
                outcome.room = measuredRoom(program, options);
                // A step that failed: no output is written after it.
                if (!outcome.room->error.empty())
                    outcome.failures.push_back("no room parameters: " + outcome.room->error);
            }
            workCapturedCurve(user, program, options);
            if (sweep) outcome.sweep = summariseSweeps(*sweep, options.sampleLength);
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
    }
    for (const ShownError& error : outcome.errors) {
        err << error.title << ": " << error.message << '\n';
    }
    for (const std::string& failure : outcome.failures) err << kName << ": " << failure << '\n';
    for (const std::string& warning : outcome.warnings) err << kName << ": " << warning << '\n';
    return outcome.errors.empty() && outcome.failures.empty() ? kMeasureDone : kMeasureFailed;
}

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
