// Drops any number of file names of any bytes and any length on a started
// program (idle or measuring, on a grid of any length), then lets the panel
// read the file as "Read From" does. Checks: nothing overruns (the sanitizers),
// the name kept is at most 254 characters with its zero, and the only file
// opened is the one dropped first, for reading.
//
// The program's file opens are answered here: this executable's fopen takes
// over from the C library's while a drop is handled, records the name and
// mode, and gives the file the fuzzer's remaining bytes as its contents, so
// no file outside the fuzzer is ever touched (a name like /dev/zero would
// otherwise hang the reader). Opens for writing are passed on unchanged, so
// that the fuzzer can still write its own crash files.

#include <dlfcn.h>
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "control/program.h"
#include "platform/canvas/recording_canvas.h"
#include "platform/sim/simulated_card.h"
#include "platform/sim/simulated_sound_card.h"
#include "resources/control_ids.h"

namespace {

using namespace ressona;

// What the program opened while a drop was handled. A file-scope record is
// the only way to see calls that reach the C library's fopen.
struct FileWatch {
    bool active = false;
    std::vector<std::string> readNames;
    std::vector<std::string> writtenNames;
    std::string contents;  // what every file read holds
};
FileWatch watch;

using OpenFunction = std::FILE* (*)(const char*, const char*);

std::FILE* watchedOpen(const char* functionName, const char* path, const char* mode) {
    const bool writing = mode != nullptr && std::strpbrk(mode, "wa+") != nullptr;
    if (watch.active && path != nullptr && !writing) {
        watch.readNames.emplace_back(path);
        return fmemopen(watch.contents.data(), watch.contents.size(), "rb");
    }
    if (watch.active && path != nullptr) watch.writtenNames.emplace_back(path);
    auto real = reinterpret_cast<OpenFunction>(dlsym(RTLD_NEXT, functionName));
    return real != nullptr ? real(path, mode) : nullptr;
}

// A name made of one byte repeated, longer than any input could spell out.
std::string hugeName(FuzzedDataProvider& in) {
    const std::size_t length = in.ConsumeIntegralInRange<std::size_t>(240, 70000);
    return std::string(length, static_cast<char>(in.ConsumeIntegral<std::uint8_t>()));
}

std::vector<std::string> droppedNames(FuzzedDataProvider& in) {
    std::vector<std::string> names;
    const std::size_t count = in.ConsumeBool() ? in.ConsumeIntegralInRange<std::size_t>(0, 3)
                                               : in.ConsumeIntegralInRange<std::size_t>(0, 300);
    for (std::size_t i = 0; i < count; ++i) {
        names.push_back(in.ConsumeIntegralInRange(0, 15) == 0 ? hugeName(in)
                                                              : in.ConsumeRandomLengthString(400));
    }
    return names;
}

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "dropped_names_fuzz: %s\n", what);
    std::abort();
}

bool isPrefix(const std::string& part, const std::string& whole) {
    return part.size() <= whole.size() && whole.compare(0, part.size(), part) == 0;
}

// The name is read as dropped when it can be: no zero inside, no trailing
// blank (the stored name is blank-padded) and within the 250 characters the
// stored name holds. Otherwise a shortened form of it, never anything else.
void checkOpens(const std::vector<std::string>& names) {
    if (!watch.writtenNames.empty()) finding("a drop wrote a file");
    if (names.empty()) {
        if (!watch.readNames.empty()) finding("a file read without a drop");
        return;
    }
    const std::string& first = names.front();
    if (watch.readNames.size() > 1) finding("more than one file read for one drop");
    if (watch.readNames.size() == 1) {
        const std::string& opened = watch.readNames.front();
        if (!isPrefix(opened, first) || opened.size() > kStorageNameLength)
            finding("a file other than the dropped one was read");
    }
    const bool plain = !first.empty() && first.size() <= kStorageNameLength &&
                       first.find('\0') == std::string::npos && first.back() != ' ';
    if (plain && (watch.readNames.size() != 1 || watch.readNames.front() != first))
        finding("the dropped file was not read under its name");
}

void checkKeptName(Program& program) {
    const MeasurementState& state = program.state();
    if (std::memchr(state.fileNameText.data(), '\0', kFileNameMaxLength + 1) == nullptr)
        finding("the file name lost its terminating zero");
    if (fileNameOf(state).size() > kFileNameMaxLength) finding("file name over 254 characters");
    if (program.dialog().GetDlgItemTextA(ids::kFileNameEdit).size() > kFileNameMaxLength)
        finding("file name edit over 254 characters");
}

}  // namespace

extern "C" std::FILE* fopen(const char* path, const char* mode) {
    return watchedOpen("fopen", path, mode);
}

extern "C" std::FILE* fopen64(const char* path, const char* mode) {
    return watchedOpen("fopen64", path, mode);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    SoundCardOptions options;
    options.instant = true;
    SoundCard card;
    makeSimulatedSoundCard("loopback", options, card);
    RecordingDialogService dialogs;
    RecordingSurface timeSurface{320, 120};
    RecordingSurface freqSurface{320, 120};
    ProgramServices services{*card.wave,  *card.mixer, *card.clock, dialogs, timeSurface,
                             freqSurface, 480,         360,         {},      {}};
    auto program = std::make_unique<Program>(services);
    if (!program->start()) finding("the program did not start");

    // A grid of any length, and a run going or not, to read the file onto.
    program->click(ids::kLength64 + in.ConsumeIntegralInRange(0, 4));
    const bool measuring = in.ConsumeBool();
    if (measuring) program->click(ids::kStart);
    program->pumpMessages(3);

    const std::vector<std::string> names = droppedNames(in);
    watch = FileWatch{};
    watch.contents = in.ConsumeRemainingBytesAsString();
    watch.active = true;
    const HDROP drop = program->drops().add(names);
    program->queue().PostMessageA(program->panelWindow(), WM_DROPFILES, drop, 0);
    program->pumpMessages(4);
    watch.active = false;

    checkOpens(names);
    checkKeptName(*program);
    if (program->drops().pendingDrops() != 0) finding("a drop was not finished");
    program->click(ids::kExit);
    program->pumpMessages(3);
    if (!program->closed()) finding("the program did not close");
    return 0;
}
