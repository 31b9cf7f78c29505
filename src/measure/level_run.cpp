#include "measure/level_run.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <vector>

#include "exchange/wav_file.h"
#include "measure/level_input.h"
#include "measure/level_report.h"
#include "measure/measurement_run.h"
#include "storage/file_replacement.h"

namespace ressona {

namespace {

constexpr const char* kName = "ressona-measure";
constexpr std::uint32_t kLiveDefaultRate = 48000;
constexpr double kProgressEverySeconds = 0.5;

// The sound card of the live parts, made once when first needed.
struct LiveInput {
    SoundCard card;
    std::function<bool()> interrupted;
    std::uint32_t rate = kLiveDefaultRate;
    bool made = false;
};

std::string makeLiveInput(const MeasureOptions& o, const MeasureBackends& backends, LiveInput& live) {
    if (live.made) return "";
    // Before the card exists, so that no thread of it takes the interrupt.
    if (backends.watchInterrupt) live.interrupted = backends.watchInterrupt();
    SoundCardOptions options;
    options.instant = o.instant;
    const int made = o.device.empty() ? backends.makeDefaultCard(options, live.card)
                                      : backends.makeCard(o.device, options, live.card);
    if (made != kSoundCardMade)
        return "the device '" + (o.device.empty() ? std::string("default") : o.device) +
               "' is not available in this build";
    live.rate = o.gridGiven ? o.sampleRate : kLiveDefaultRate;
    live.made = true;
    return "";
}

std::uint64_t samplesFor(double seconds, std::uint32_t rate) {
    return static_cast<std::uint64_t>(std::llround(seconds * rate));
}

// The meter with its log and progress, fed block by block.
class MeterSession {
  public:
    MeterSession(const MeasureOptions& o, std::uint32_t rate,
                 const std::optional<Sensitivity>& sensitivity, std::ostream* progress)
        : meter_(rate, !o.splLog.empty()),
          sensitivity_(sensitivity),
          rate_(rate),
          intervalSamples_(std::max<std::uint64_t>(1, samplesFor(o.splIntervalSeconds, rate))),
          progress_(progress) {
        if (o.splLog.empty()) return;
        log_ = std::make_unique<FileReplacement>(o.splLog);
        if (log_->ready()) file_.open(log_->temporaryPath(), std::ios::binary | std::ios::trunc);
        file_ << levelLogHeader(meter_.bands(), sensitivity_);
    }

    void take(std::span<const double> samples) {
        while (!samples.empty()) {
            const std::uint64_t room = intervalSamples_ - meter_.intervalSamples();
            const std::size_t now = static_cast<std::size_t>(std::min<std::uint64_t>(room, samples.size()));
            meter_.add(samples.first(now));
            samples = samples.subspan(now);
            taken_ += now;
            if (meter_.intervalSamples() == intervalSamples_) logInterval();
        }
        showProgress();
    }

    // Ends the run: the log is put in place when nothing failed (a partial
    // last interval is left out of it). False when it could not be written.
    bool finish(bool failed, MeterOutcome& outcome) {
        if (progress_ != nullptr) *progress_ << '\n';
        outcome.sampleRate = rate_;
        outcome.whole = meter_.whole();
        outcome.bands = meter_.bands();
        if (!log_) return true;
        file_.close();
        if (failed || !file_ || !log_->commit()) return failed;
        outcome.logRows = rows_;
        return true;
    }

  private:
    void logInterval() {
        const double start = static_cast<double>(rows_ * intervalSamples_) / rate_;
        const LevelFigures figures = meter_.takeInterval();
        if (log_) file_ << levelLogRow(start, figures, sensitivity_) << std::flush;
        ++rows_;
    }
    void showProgress() {
        if (progress_ == nullptr) return;
        const double seconds = static_cast<double>(taken_) / rate_;
        if (seconds < nextProgress_) return;
        nextProgress_ = seconds + kProgressEverySeconds;
        const double laf = meter_.currentLafDb() + splOffsetDb(sensitivity_);
        char text[96];
        std::snprintf(text, sizeof text, "\r%s: %8.1f s  LAF %6.1f %s ", kName, seconds,
                      std::isfinite(laf) ? laf : -999.0, levelUnit(sensitivity_).c_str());
        *progress_ << text << std::flush;
    }

    SoundLevelMeter meter_;
    std::optional<Sensitivity> sensitivity_;
    std::uint32_t rate_;
    std::uint64_t intervalSamples_;
    std::ostream* progress_;
    std::unique_ptr<FileReplacement> log_;
    std::ofstream file_;
    std::uint64_t taken_ = 0;
    std::size_t rows_ = 0;
    double nextProgress_ = 0.0;
};

// What the files give, before anything is recorded: empty, or why they cannot be used.
std::string readInputs(const MeasureOptions& o, WavSignal& meterSignal, LevelOutcome& outcome) {
    if (!o.calibratorWav.empty()) {
        WavSignal signal;
        std::string reason = readWav(o.calibratorWav, signal);
        CalibratorReading reading;
        if (reason.empty())
            reason = readCalibrator(signal.samples, signal.sampleRate, o.calibratorDb, reading);
        if (!reason.empty()) return "--calibrator-wav '" + o.calibratorWav + "': " + reason;
        outcome.calibrator = reading;
        outcome.calibratorSource = o.calibratorWav;
    }
    if (!o.splWav.empty()) {
        if (std::string reason = readWav(o.splWav, meterSignal); !reason.empty())
            return "--spl-wav '" + o.splWav + "': " + reason;
    }
    if (!o.calibratorWav.empty() || o.calibratorSeconds || o.sensitivityFile.empty()) return "";
    Sensitivity sensitivity;
    if (std::string reason = readSensitivityFile(o.sensitivityFile, sensitivity); !reason.empty())
        return reason;
    outcome.sensitivity = sensitivity;
    outcome.sensitivityFile = o.sensitivityFile;
    return "";
}

// The live calibrator: empty when its tone gave a reading, else why not.
std::string recordCalibrator(const MeasureOptions& o, LiveInput& live, LevelOutcome& outcome) {
    std::vector<double> samples;
    const InputRecording recording =
        recordInput(*live.card.wave, *live.card.clock, live.rate,
                    samplesFor(*o.calibratorSeconds, live.rate), live.interrupted,
                    [&samples](std::span<const double> got) {
                        samples.insert(samples.end(), got.begin(), got.end());
                    });
    if (!recording.failure.empty()) return "the calibrator's recording failed: " + recording.failure;
    if (recording.interrupted) return "the calibrator's recording was interrupted";
    CalibratorReading reading;
    if (std::string reason = readCalibrator(samples, live.rate, o.calibratorDb, reading);
        !reason.empty())
        return reason;
    outcome.calibrator = reading;
    outcome.calibratorSource = live.card.name;
    return "";
}

// The sensitivity from the calibrator's reading, kept in the file when one is named.
void keepSensitivity(const MeasureOptions& o, LevelOutcome& outcome) {
    const CalibratorReading& reading = *outcome.calibrator;
    outcome.sensitivity = Sensitivity{reading.sensitivityDbfs, reading.frequencyHz, reading.calibratorDb};
    if (o.sensitivityFile.empty()) return;
    outcome.sensitivityFile = o.sensitivityFile;
    if (std::string reason = writeSensitivityFile(o.sensitivityFile, *outcome.sensitivity);
        !reason.empty()) {
        outcome.failures.push_back(reason);
        return;
    }
    outcome.sensitivityWritten = true;
}

void runMeter(const MeasureOptions& o, const MeasureBackends& backends, const WavSignal& signal,
              LiveInput& live, LevelOutcome& outcome, std::ostream& err) {
    MeterOutcome meter;
    const bool fromFile = !o.splWav.empty();
    meter.source = fromFile ? "wav" : "input";
    meter.file = fromFile ? o.splWav : live.card.name;
    meter.intervalSeconds = o.splIntervalSeconds;
    const std::uint32_t rate = fromFile ? signal.sampleRate : live.rate;
    std::ostream* progress = !fromFile && backends.errIsTerminal ? &err : nullptr;
    MeterSession session(o, rate, outcome.sensitivity, progress);
    std::string failure;
    if (fromFile) {
        session.take(signal.samples);
    } else {
        const InputRecording recording = recordInput(
            *live.card.wave, *live.card.clock, rate, samplesFor(*o.splMeterSeconds, rate),
            live.interrupted, [&session](std::span<const double> got) { session.take(got); });
        meter.interrupted = recording.interrupted;
        if (!recording.failure.empty()) failure = "the sound level meter stopped: " + recording.failure;
    }
    if (!failure.empty()) outcome.failures.push_back(failure);
    if (!session.finish(!failure.empty(), meter)) {
        outcome.failures.push_back("the log '" + o.splLog + "' could not be written");
    } else if (!o.splLog.empty() && failure.empty()) {
        meter.logFile = o.splLog;
    } else if (!o.splLog.empty()) {
        outcome.failures.push_back("nothing was written ('" + o.splLog + "'): the meter did not run as asked");
    }
    outcome.meter = meter;
}

}  // namespace

int runLevels(const MeasureOptions& o, const MeasureBackends& backends, std::ostream& out,
              std::ostream& err) {
    LevelOutcome outcome;
    WavSignal meterSignal;
    if (std::string reason = readInputs(o, meterSignal, outcome); !reason.empty()) {
        err << kName << ": " << reason << '\n';
        return kMeasureBadCommandLine;
    }
    LiveInput live;
    if (o.calibratorSeconds || o.splMeterSeconds) {
        if (std::string reason = makeLiveInput(o, backends, live); !reason.empty()) {
            err << kName << ": " << reason << '\n';
            return kMeasureFailed;
        }
    }
    if (o.calibratorSeconds) {
        if (std::string reason = recordCalibrator(o, live, outcome); !reason.empty())
            outcome.failures.push_back(reason);
    }
    if (outcome.calibrator) keepSensitivity(o, outcome);
    const bool meterAsked = !o.splWav.empty() || o.splMeterSeconds;
    if (meterAsked && outcome.failures.empty()) runMeter(o, backends, meterSignal, live, outcome, err);

    if (o.json) {
        writeLevelJson(out, outcome);
    } else {
        writeLevelText(out, outcome);
    }
    for (const std::string& failure : outcome.failures) err << kName << ": " << failure << '\n';
    return outcome.failures.empty() ? kMeasureDone : kMeasureFailed;
}

}  // namespace ressona
