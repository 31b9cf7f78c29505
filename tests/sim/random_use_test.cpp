// A hundred thousand random actions on the panel of a program on the
// simulated card: clicks on any control, scrolls with any code and thumb
// position, any text typed into any edit, drops of missing, garbage and huge
// files, Start, Stop, Reset and Capture Current at any moment, sometimes
// several actions queued before the panel gets to them (a user faster than a
// pass). After every action the settings keep what the record promises, and
// the only files written are the result files the user named.
//
// Seeded and reproducible: the seed is printed; RESSONA_RANDOM_SEED repeats a
// run and RESSONA_RANDOM_ACTIONS sets its length.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "sim/quiet_program.h"
#include "storage/result_file.h"

namespace ressona {
namespace {

namespace fs = std::filesystem;
using testing::QuietProgram;

constexpr std::uint64_t kDefaultSeed = 20240611;
constexpr long kDefaultActions = 100000;

std::uint64_t numberFromEnvironment(const char* name, std::uint64_t otherwise) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 0) : otherwise;
}

// A fresh directory to work in for the length of the test; the working
// directory is put back and the directory removed at the end.
class ScratchDirectory {
  public:
    ScratchDirectory() : previous_(fs::current_path()) {
        std::string pattern = (fs::temp_directory_path() / "ressona-random-use-XXXXXX").string();
        path_ = mkdtemp(pattern.data()) != nullptr ? fs::path(pattern) : fs::path();
        if (!path_.empty()) fs::current_path(path_);
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        fs::current_path(previous_, ignored);
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

  private:
    fs::path previous_;
    fs::path path_;
};

struct FileStamp {
    std::uintmax_t size = 0;
    std::int64_t modified = 0;  // ns
    std::uint64_t inode = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

std::map<std::string, FileStamp> listing(const fs::path& directory) {
    std::map<std::string, FileStamp> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
        struct stat info {};
        if (::lstat(entry.path().c_str(), &info) != 0) continue;
        files[entry.path().filename().string()] = {
            static_cast<std::uintmax_t>(info.st_size),
            static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
            static_cast<std::uint64_t>(info.st_ino)};
    }
    return files;
}

// The name the file functions are given: the stored name up to a zero byte.
std::string openedName(const MeasurementState& state) {
    const std::string path = resultFilePath(state);
    return path.substr(0, path.find('\0'));
}

bool isDropFile(const std::string& name) {
    return name == "garbage.rsn" || name == "empty.rsn" || name == "huge.rsn" ||
           name == "header-only.rsn";
}

// Files the user may drop: made once in the scratch directory.
void makeDropFiles(std::mt19937_64& random) {
    std::ofstream garbage("garbage.rsn", std::ios::binary);
    for (int i = 0; i < 8192; ++i) garbage.put(static_cast<char>(random()));
    std::ofstream("empty.rsn").flush();
    // A file that claims two billion points and holds sixty thousand lines.
    std::ofstream huge("huge.rsn");
    huge << " Ressona saved file\n Samples per second      22050\n"
         << "   Number of points 2147483647\n        Hz   Amplitude     Phase\n";
    for (int k = 1; k <= 60000; ++k) {
        huge << "  " << k % 100000 << ".000     0.01000      0.00\n";
    }
    std::ofstream header("header-only.rsn");
    header << " Ressona saved file\n Samples per second      48000\n   Number of points    -5\n";
}

class RandomUser {
  public:
    RandomUser(std::uint64_t seed, const fs::path& directory)
        : random_(seed), directory_(directory) {
        makeDropFiles(random_);
        files_ = listing(directory_);
        restart();
    }

    // One action (or a few queued together), the messages it leads to, and
    // the checks. Empty when all is well, else what went wrong.
    std::string step(long index) {
        index_ = index;
        actionText_.clear();
        allowedWrites_.clear();
        allowWrite(openedName(state()));

        const int burst = chance(20) ? 2 + pick(3) : 1;
        for (int i = 0; i < burst; ++i) postOneAction();
        remember(actionText_);
        if (std::string failure = pump(pick(3)); !failure.empty()) return failure;

        if (sim_->program->closed()) return closedCleanly();
        if (std::string failure = checkSettings(); !failure.empty()) return failure;
        return checkFiles();
    }

    std::string recentActions() const {
        std::ostringstream text;
        for (const std::string& action : recent_) text << "  " << action << "\n";
        return text.str();
    }
    int restarts() const { return restarts_; }
    long captures() const { return captures_; }
    long saves() const { return saves_; }

  private:
    MeasurementState& state() { return sim_->program->state(); }
    DialogModel& dialog() { return sim_->program->dialog(); }

    void restart() {
        sim_.reset();
        // The room's recording is a long convolution; the loopback is cheap.
        sim_ = std::make_unique<QuietProgram>(chance(15) ? "room" : "loopback");
        sim_->program->start();
        delayExact_ = true;
        ++restarts_;
    }

    bool chance(int percent) { return pick(100) < percent; }
    int pick(int below) { return static_cast<int>(random_() % static_cast<std::uint64_t>(below)); }

    void remember(const std::string& action) {
        recent_.push_back(std::to_string(index_) + ": " + action);
        if (recent_.size() > 12) recent_.pop_front();
    }

    // --- Choosing actions -----------------------------------------------------

    std::vector<int> enabledControls(std::initializer_list<ControlKind> kinds) {
        std::vector<int> found;
        for (const ControlTemplate& control : dialog().dialogTemplate().controls) {
            if (control.id == kNoControlId || !dialog().IsWindowEnabled(control.id)) continue;
            for (ControlKind kind : kinds) {
                if (control.kind == kind) found.push_back(control.id);
            }
        }
        return found;
    }

    void postOneAction() {
        const int what = pick(100);
        if (what < 45) return postClick();
        if (what < 67) return postTyping();
        if (what < 95) return postScroll();
        return postDrop();
    }

    void postClick() {
        const std::vector<int> buttons =
            enabledControls({ControlKind::RadioButton, ControlKind::CheckBox,
                             ControlKind::PushLikeCheckBox, ControlKind::PushButton});
        if (buttons.empty()) return;
        int id = buttons[static_cast<std::size_t>(pick(static_cast<int>(buttons.size())))];
        // Leaving the program is rare; the longest lengths (whose waterfall
        // redraws are slow) are chosen less often than the rest.
        if (id == ids::kExit && !chance(4)) id = ids::kStart;
        if ((id == ids::kLength64 + 7 || id == ids::kLength16384) && !chance(10)) id = ids::kStop;
        if (!dialog().IsWindowEnabled(id)) return;
        sim_->program->click(id);
        actionText_ += "click " + std::to_string(id) + "; ";
    }

    void postTyping() {
        const std::vector<int> edits = enabledControls({ControlKind::Edit});
        if (edits.empty()) return;
        const int id = edits[static_cast<std::size_t>(pick(static_cast<int>(edits.size())))];
        // The waterfall draws one transform per step; steps are mostly kept
        // small so that the long lengths stay affordable.
        const std::string text = id == ids::kFileNameEdit              ? anyFileName()
                                 : id == ids::kStepsEdit && chance(80) ? std::to_string(pick(100))
                                                                       : anyText();
        sim_->program->type(id, text);
        actionText_ += "type " + std::to_string(id) + " \"" + printable(text) + "\"; ";
        // Now and then the user moves on: the edit then shows the value in force.
        if (chance(30)) {
            sim_->program->leave(id);
            actionText_ += "leave " + std::to_string(id) + "; ";
        }
    }

    void postScroll() {
        const std::vector<int> bars =
            enabledControls({ControlKind::HorizontalScrollBar, ControlKind::VerticalScrollBar});
        if (bars.empty()) return;
        const int id = bars[static_cast<std::size_t>(pick(static_cast<int>(bars.size())))];
        const int code = chance(95) ? pick(9) : pick(65536);
        const int thumb =
            chance(20) ? std::vector<int>{-32768, 32767, -1, 0, 1}[pick(5)] : pick(65536) - 32768;
        sim_->program->scroll(id, code, thumb);
        actionText_ += "scroll " + std::to_string(id) + " code " + std::to_string(code) +
                       " thumb " + std::to_string(thumb) + "; ";
    }

    void postDrop() {
        std::vector<std::string> names;
        const int count = chance(10) ? 0 : 1 + (chance(20) ? pick(4) : 0);
        for (int i = 0; i < count; ++i) names.push_back(anyDroppedName());
        const HDROP drop = sim_->program->drops().add(names);
        sim_->program->queue().PostMessageA(sim_->program->panelWindow(), WM_DROPFILES, drop, 0);
        actionText_ += "drop " + std::to_string(names.size()) + " file(s)" +
                       (names.empty() ? "" : " first \"" + printable(names.front()) + "\"") + "; ";
    }

    // --- Text a user might type or drop ------------------------------------------

    std::string garbage(std::size_t length, bool slashes) {
        std::string text;
        for (std::size_t i = 0; i < length; ++i) {
            auto c = static_cast<char>(1 + pick(255));
            if (c == '/' && !slashes) c = '_';
            text.push_back(c);
        }
        return text;
    }

    std::string anyText() {
        const int kind = pick(100);
        if (kind < 25) return std::to_string(pick(3400) - 200);
        if (kind < 40) return std::to_string(static_cast<std::int32_t>(random_()));
        if (kind < 50) {
            return std::vector<std::string>{
                "-2147483648", "2147483647", "4294967295",  "-1",         "0",
                "-0",          "2147483648", "-2147483649", "4294967296", "99999999999999999999",
                " 12 ",        "+5"}[pick(12)];
        }
        if (kind < 58) return std::to_string(static_cast<std::int64_t>(random_()));
        if (kind < 75) return garbage(static_cast<std::size_t>(pick(24)), true);
        if (kind < 80) return "";
        if (kind < 85) return std::string(1000 + pick(100000), static_cast<char>('0' + pick(10)));
        if (kind < 88) return garbage(static_cast<std::size_t>(1000 + pick(50000)), true);
        return std::to_string(pick(100)) + garbage(1 + pick(4), true);
    }

    // Names without a directory: whatever is saved lands in the scratch directory.
    std::string anyFileName() {
        const int kind = pick(100);
        if (kind < 60) return "result" + std::to_string(pick(6)) + ".rsn";
        if (kind < 75) return garbage(static_cast<std::size_t>(1 + pick(30)), false);
        if (kind < 85) return std::string(200 + pick(400), static_cast<char>('a' + pick(26)));
        if (kind < 90) return "  ";
        if (kind < 95) return "result" + std::to_string(pick(6)) + ".rsn   ";
        return std::string("with\0zero.rsn", 13);
    }

    std::string anyDroppedName() {
        const int kind = pick(100);
        if (kind < 30) return "result" + std::to_string(pick(6)) + ".rsn";  // saved or missing
        if (kind < 45) return "garbage.rsn";
        if (kind < 50) return "empty.rsn";
        if (kind < 55) return "header-only.rsn";
        if (kind < 57) return "huge.rsn";
        if (kind < 65) return "missing" + std::to_string(pick(1000)) + ".rsn";
        if (kind < 75) return garbage(static_cast<std::size_t>(1 + pick(300)), false);
        if (kind < 85) return std::string(255 + pick(5000), static_cast<char>('a' + pick(26)));
        if (kind < 90)
            return std::vector<std::string>{"/dev/null", ".", "", "/no/such/dir/x.rsn"}[pick(4)];
        return (directory_ / ("result" + std::to_string(pick(6)) + ".rsn")).string();
    }

    static std::string printable(const std::string& text) {
        std::string shown;
        for (char c : text.substr(0, 40)) {
            shown.push_back(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F ? c : '?');
        }
        if (text.size() > 40) shown += "...(" + std::to_string(text.size()) + " bytes)";
        return shown;
    }

    // --- Handling the messages -----------------------------------------------------

    // Dispatches the queue one message at a time until it is empty, or holds
    // only the completion of a pass once at least `captures` completions have
    // been handled (a run then goes on at the next action). The file name in force before and after
    // each message is the one a save may write; the tone is checked after every edit of it and
    // every Start.
    std::string pump(int captures) {
        MessageQueue& queue = sim_->program->queue();
        const WindowHandle toneSlider = dialog().handleOf(ids::kToneSlider);
        Message message;
        int handled = 0;
        while (queue.PeekMessageA(message, kNoWindow, PM_NOREMOVE) && message.message != WM_QUIT) {
            const bool completion =
                message.message == WM_COMMAND && commandId(message.wParam) == CMD_CAPTURE_DONE;
            // Whatever waits behind a completion was posted after it: the
            // completion is handled first (its drain takes the panel's share).
            if (completion && handled >= captures && queue.pendingCount() == 1) break;
            queue.PeekMessageA(message, kNoWindow, PM_REMOVE);
            queue.DispatchMessageA(message);
            if (completion) {
                ++handled;
                ++captures_;
            }
            if (handled > captures + 50) {
                std::ostringstream out;
                out << "the queue never settles: " << queue.pendingCount()
                    << " messages wait, last " << message.window << "/" << message.message << "/"
                    << message.wParam;
                Message m;
                while (queue.PeekMessageA(m, kNoWindow, PM_REMOVE))
                    out << " [" << m.window << " " << m.message << " " << m.wParam << "]";
                return out.str();
            }
            if (sim_->program->closed()) break;
            allowWrite(openedName(state()));
            noteDelaySource(message);
            const bool toneTouched =
                (message.message == WM_COMMAND && (commandId(message.wParam) == ids::kToneEdit ||
                                                   commandId(message.wParam) == ids::kStart)) ||
                ((message.message == WM_VSCROLL || message.message == WM_HSCROLL) &&
                 static_cast<WindowHandle>(message.lParam) == toneSlider &&
                 (message.wParam & 0xFFFF) != SB_ENDSCROLL);  // the end of a drag moves nothing
            if (toneTouched) {
                const std::uint32_t tone = state().toneFrequency;
                if (tone < 1 || tone > state().sampleRate / 2) {
                    return "tone " + std::to_string(tone) + " Hz outside 1 .. " +
                           std::to_string(state().sampleRate / 2);
                }
            }
        }
        return {};
    }

    // A name a save may write, as the scratch directory lists it.
    void allowWrite(const std::string& name) {
        const fs::path path(name);
        if (path.is_relative()) {
            allowedWrites_.insert(name);
        } else if (path.parent_path() == directory_) {
            allowedWrites_.insert(path.filename().string());
        }
    }

    // A rate or length button (also the one already chosen) keeps the delay
    // in ms and recomputes the samples from it; the delay bar sets both.
    void noteDelaySource(const Message& message) {
        if (message.message == WM_COMMAND) {
            const int id = commandId(message.wParam);
            const bool rate = id == ids::kRate8000 || id == ids::kRate11025 ||
                              id == ids::kRate22050 || id == ids::kRate44100 ||
                              id == ids::kRate48000;
            if (rate || (id >= ids::kLength64 && id <= ids::kLength16384)) delayExact_ = false;
        } else if ((message.message == WM_HSCROLL || message.message == WM_VSCROLL) &&
                   static_cast<WindowHandle>(message.lParam) == dialog().handleOf(ids::kDelayBar) &&
                   (message.wParam & 0xFFFF) != SB_ENDSCROLL) {
            delayExact_ = true;
        }
    }

    // --- Checks -----------------------------------------------------------------------

    std::string checkRadioGroup(int member, std::int64_t setting, const char* what) {
        int checked = 0;
        int checkedId = 0;
        for (int id : dialog().radioGroupOf(member)) {
            if (dialog().IsDlgButtonChecked(id)) {
                ++checked;
                checkedId = id;
            }
        }
        if (checked != 1)
            return std::string(what) + ": " + std::to_string(checked) + " buttons checked";
        if (checkedId != setting) {
            return std::string(what) + ": button " + std::to_string(checkedId) +
                   " checked, setting " + std::to_string(setting);
        }
        return {};
    }

    std::string checkSettings() {
        const MeasurementState& s = state();
        const int rateButton = std::map<std::uint32_t, int>{{8000, ids::kRate8000},
                                                            {11025, ids::kRate11025},
                                                            {22050, ids::kRate22050},
                                                            {44100, ids::kRate44100},
                                                            {48000, ids::kRate48000}}[s.sampleRate];
        int lengthButton = 0;
        for (int id = ids::kLength64; id <= ids::kLength16384; ++id) {
            if ((64u << (id - ids::kLength64)) == s.sampleLength) lengthButton = id;
        }
        for (const std::string& failure :
             {checkRadioGroup(ids::kPulse, s.excitationMode, "excitation"),
              checkRadioGroup(ids::kViewStandardButton, s.analysisView, "view"),
              checkRadioGroup(ids::kRate8000, rateButton, "sample rate"),
              checkRadioGroup(ids::kLength64, lengthButton, "sample length"),
              checkRadioGroup(ids::kAverage, s.averagingOn ? ids::kAverage : ids::kSingleSample,
                              "averaging"),
              checkRadioGroup(ids::kAverageInTime,
                              s.averageInTime ? ids::kAverageInTime : ids::kAverageInFrequency,
                              "averaging domain"),
              checkRadioGroup(ids::kInputMic, s.mixerInputMic ? ids::kInputMic : ids::kInputLine,
                              "input")}) {
            if (!failure.empty()) return failure;
        }
        std::ostringstream out;
        if (!(s.dbLow < s.dbHigh)) out << "dB low " << s.dbLow << " not below high " << s.dbHigh;
        if (!(s.freqLowHz < s.freqHighHz))
            out << "Hz low " << s.freqLowHz << " not below high " << s.freqHighHz;
        if (!(0 <= s.lowerCut && s.lowerCut < s.upperCut && s.upperCut <= 1000))
            out << "cuts " << s.lowerCut << " and " << s.upperCut;
        // The delay in ms is kept across a click on a rate or length button,
        // and the samples follow it rounded down twice (trunc(trunc(N x ms) /
        // span)), so they may lie up to two samples short; a move of the delay
        // bar makes the two agree exactly again.
        const double samplePeriod = 1000.0 / s.sampleRate;
        const double fromSamples = s.recordDelaySamples * samplePeriod;
        const double tolerance =
            delayExact_ ? 1e-5 * (1.0 + std::fabs(fromSamples)) : 2 * samplePeriod;
        if (!(std::fabs(s.recordDelayMs - fromSamples) <= tolerance))
            out << "delay " << s.recordDelayMs << " ms against " << s.recordDelaySamples
                << " samples";
        if (std::abs(s.recordDelaySamples) > static_cast<std::int32_t>(s.sampleLength / 2))
            out << "delay " << s.recordDelaySamples << " samples beyond half the length";
        for (auto [level, maximum] :
             {std::pair{s.micLevel, s.micLevelMax}, std::pair{s.speakerLevel, s.speakerLevelMax},
              std::pair{s.lineLevel, s.lineLevelMax}}) {
            if (level < 0 || level > maximum)
                out << "level " << level << " outside 0 .. " << maximum;
        }
        for (auto [id, flag] : {std::pair{ids::kArtificial, s.artificialMode},
                                std::pair{ids::kHalfHanning, s.halfHanning},
                                std::pair{ids::kThirdOctave, s.thirdOctave},
                                std::pair{ids::kFixDbScale, s.fixDbScale},
                                std::pair{ids::kShowCaptured, s.showCaptured},
                                std::pair{ids::kSubtractCaptured, s.subtractCaptured}}) {
            if (dialog().IsDlgButtonChecked(id) != flag)
                out << "check mark of " << id << " differs from its setting";
        }
        if (fileNameOf(s).size() > kFileNameMaxLength) out << "file name over 254 characters";
        return out.str();
    }

    // Every file that appeared or changed must be one the user named for saving.
    std::string checkFiles() {
        const std::map<std::string, FileStamp> now = listing(directory_);
        std::string failure;
        for (const auto& [name, stamp] : now) {
            const auto before = files_.find(name);
            if (before != files_.end() && before->second == stamp) continue;
            if (allowedWrites_.count(name) == 0) {
                failure = "file \"" + printable(name) + "\" written, not the chosen result file";
                for (const std::string& allowed : allowedWrites_)
                    failure += " \"" + printable(allowed) + "\"";
            } else {
                ++saves_;
            }
        }
        for (const auto& [name, stamp] : files_) {
            if (now.count(name) == 0 && allowedWrites_.count(name) == 0)
                failure = "file \"" + printable(name) + "\" removed";
        }
        // Saves under odd names are checked; keeping them would only make
        // every later listing longer.
        for (const auto& [name, stamp] : now) {
            if (!isDropFile(name) && name.rfind("result", 0) != 0) fs::remove(directory_ / name);
        }
        files_ = listing(directory_);
        return failure;
    }

    std::string closedCleanly() {
        const ProgramState& program = sim_->program->program();
        std::string failure;
        if (program.state.measuring) failure = "closed while measuring";
        if (program.state.device.playMemoryHeld || program.state.device.recordMemoryHeld)
            failure = "device memory held after the close";
        if (program.wave.playDeviceOpen || program.wave.recordDeviceOpen)
            failure = "a wave device open after the close";
        if (sim_->simulatedMixer().openHandles() != 0) failure = "the mixer open after the close";
        if (!sim_->program->queue().quitPosted()) failure = "no quit after the close";
        if (failure.empty()) failure = checkFiles();
        restart();
        return failure;
    }

    std::mt19937_64 random_;
    fs::path directory_;
    std::unique_ptr<QuietProgram> sim_;
    std::map<std::string, FileStamp> files_;
    std::set<std::string> allowedWrites_;
    std::deque<std::string> recent_;
    std::string actionText_;
    long index_ = 0;
    bool delayExact_ = true;
    int restarts_ = -1;  // the first start is no restart
    long captures_ = 0;
    long saves_ = 0;
};

TEST(RandomUseTest, RandomActionsKeepTheSettingsPromisesAndWriteOnlyTheChosenFile) {
    const std::uint64_t seed = numberFromEnvironment("RESSONA_RANDOM_SEED", kDefaultSeed);
    const auto actions =
        static_cast<long>(numberFromEnvironment("RESSONA_RANDOM_ACTIONS", kDefaultActions));
    std::cout << "random use: seed " << seed << ", " << actions
              << " actions (RESSONA_RANDOM_SEED=" << seed << " repeats this run)\n";
    ScratchDirectory scratch;
    ASSERT_FALSE(scratch.path().empty());
    RandomUser user(seed, scratch.path());
    for (long i = 1; i <= actions; ++i) {
        const std::string failure = user.step(i);
        if (!failure.empty()) {
            FAIL() << "action " << i << " (seed " << seed << "): " << failure << "\nlast actions:\n"
                   << user.recentActions();
        }
    }
    std::cout << "random use: " << user.captures() << " captures, " << user.restarts()
              << " restarts after Exit, " << user.saves() << " files saved\n";
}

}  // namespace
}  // namespace ressona
