// The headless measurer's command line: the input split at zero bytes into
// arguments of any bytes. A command line that is accepted must hold only
// settings the panel could make; one that is refused must say why.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "measure/measure_options.h"

namespace {

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "measure_options_fuzz: %s\n", what);
    std::abort();
}

bool oneOf(std::int64_t value, std::initializer_list<std::int64_t> allowed) {
    for (std::int64_t a : allowed) {
        if (a == value) return true;
    }
    return false;
}

void checkAccepted(const ressona::MeasureOptions& o) {
    if (!oneOf(o.sampleRate, {8000, 11025, 22050, 44100, 48000})) finding("a rate the panel lacks");
    if (!oneOf(o.sampleLength, {64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384}))
        finding("a length the panel lacks");
    if (!oneOf(o.excitationMode, {224, 221, 225, 251, 266, 222, 223}))
        finding("an unknown excitation");
    if (!oneOf(o.view, {246, 252, 253, 265})) finding("an unknown view");
    if (o.toneHz < 1 || o.toneHz > o.sampleRate / 2) finding("a tone outside 1 .. rate/2");
    if (o.lowerCut < 0 || o.lowerCut >= o.upperCut || o.upperCut > 1000)
        finding("cuts out of order");
    if (o.dbRange && o.dbRange->first >= o.dbRange->second) finding("dB range out of order");
    if (o.hzRange && o.hzRange->first >= o.hzRange->second) finding("Hz range out of order");
    if (o.shiftDb < -60 || o.shiftDb > 60) finding("a shift beyond the bar");
    // No passes only to convert a file read: nothing to capture, subtract, save, average or
    // correct.
    if (o.passes < 1 && (o.readFile.empty() || o.capture || o.subtract || !o.saveFile.empty() ||
                         !o.exportWav.empty() || !o.calibrationFile.empty())) {
        finding("no passes without a file to convert");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments;
    std::string current;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            arguments.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    if (!current.empty()) arguments.push_back(current);

    const ressona::ParsedOptions parsed = ressona::parseMeasureOptions(arguments);
    if (parsed.error.empty() && !parsed.options.help) checkAccepted(parsed.options);
    return 0;
}
