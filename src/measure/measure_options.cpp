#include "measure/measure_options.h"

#include <charconv>
#include <functional>
#include <map>

#include "control/measurement_state.h"

namespace ressona {

namespace {

constexpr std::uint32_t kRates[] = {8000, 11025, 22050, 44100, 48000};

bool parseInt(const std::string& text, std::int64_t low, std::int64_t high, std::int64_t& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty() && value >= low && value <= high;
}

bool parsePair(const std::string& text, std::int64_t low, std::int64_t high, std::int64_t& first,
               std::int64_t& second) {
    const auto comma = text.find(',');
    if (comma == std::string::npos) return false;
    return parseInt(text.substr(0, comma), low, high, first) &&
           parseInt(text.substr(comma + 1), low, high, second);
}

bool isPowerOfTwo(std::int64_t n) {
    return n > 0 && (n & (n - 1)) == 0;
}

// Parses one option's value into the options; returns an error text or "".
using ValueParser = std::function<std::string(MeasureOptions&, const std::string&)>;

std::string parseRate(MeasureOptions& o, const std::string& v) {
    std::int64_t rate = 0;
    if (parseInt(v, 0, 1'000'000, rate)) {
        for (std::uint32_t r : kRates) {
            if (rate == r) {
                o.sampleRate = r;
                return "";
            }
        }
    }
    return "must be one of 8000, 11025, 22050, 44100, 48000";
}

std::string parseLength(MeasureOptions& o, const std::string& v) {
    std::int64_t n = 0;
    if (!parseInt(v, 64, 16384, n) || !isPowerOfTwo(n))
        return "must be a power of two from 64 to 16384";
    o.sampleLength = static_cast<std::uint32_t>(n);
    return "";
}

std::string parseExcitation(MeasureOptions& o, const std::string& v) {
    static constexpr std::pair<const char*, std::int32_t> kModes[] = {
        {"pulse", 224}, {"mls", 221},  {"noise", 225}, {"silence", 251},
        {"sweep", 266}, {"sine", 222}, {"square", 223}};
    for (const auto& [name, id] : kModes) {
        if (v == name) {
            o.excitationMode = id;
            return "";
        }
    }
    return "must be pulse, mls, noise, silence, sweep, sine or square";
}

std::string parseView(MeasureOptions& o, const std::string& v) {
    static constexpr std::pair<const char*, std::int32_t> kViews[] = {
        {"standard", 246}, {"phase", 253}, {"histogram", 265}, {"waterfall", 252}};
    for (const auto& [name, id] : kViews) {
        if (v == name) {
            o.view = id;
            return "";
        }
    }
    return "must be standard, phase, histogram or waterfall";
}

std::string parseDevice(MeasureOptions& o, const std::string& v) {
    const bool known = v == "sim" || v == "sim:loopback" || v == "sim:room" || v == "alsa" ||
                       (v.rfind("alsa:", 0) == 0 && v.size() > 5);
    if (!known) return "must be sim, sim:loopback, sim:room, alsa or alsa:PCMNAME";
    o.device = v;
    return "";
}

std::string parseSize(MeasureOptions& o, const std::string& v) {
    const auto x = v.find('x');
    std::int64_t w = 0, h = 0;
    if (x == std::string::npos || !parseInt(v.substr(0, x), 16, 8192, w) ||
        !parseInt(v.substr(x + 1), 16, 8192, h)) {
        return "must be WIDTHxHEIGHT, each 16 to 8192 pixels";
    }
    o.pictureWidth = static_cast<std::int32_t>(w);
    o.pictureHeight = static_cast<std::int32_t>(h);
    return "";
}

// An integer option stored through a setter, checked against [low, high].
ValueParser integer(std::int64_t low, std::int64_t high,
                    std::function<void(MeasureOptions&, std::int64_t)> store) {
    return [=](MeasureOptions& o, const std::string& v) -> std::string {
        std::int64_t n = 0;
        if (!parseInt(v, low, high, n)) {
            return "must be a whole number from " + std::to_string(low) + " to " +
                   std::to_string(high);
        }
        store(o, n);
        return "";
    };
}

// A pair LOW,HIGH with LOW < HIGH, each within [low, high].
ValueParser pair(std::int64_t low, std::int64_t high, const char* what,
                 std::function<void(MeasureOptions&, std::int64_t, std::int64_t)> store) {
    return [=](MeasureOptions& o, const std::string& v) -> std::string {
        std::int64_t a = 0, b = 0;
        if (!parsePair(v, low, high, a, b) || a >= b) {
            return std::string("must be ") + what + " with the first below the second, each from " +
                   std::to_string(low) + " to " + std::to_string(high);
        }
        store(o, a, b);
        return "";
    };
}

ValueParser text(std::string MeasureOptions::*field) {
    return [=](MeasureOptions& o, const std::string& v) -> std::string {
        if (v.empty()) return "must not be empty";
        o.*field = v;
        return "";
    };
}

const std::map<std::string, ValueParser>& valueOptions() {
    using O = MeasureOptions;
    using I = std::int64_t;
    static const std::map<std::string, ValueParser> kOptions = {
        {"--device", parseDevice},
        {"--rate", parseRate},
        {"--length", parseLength},
        {"--excitation", parseExcitation},
        {"--view", parseView},
        {"--size", parseSize},
        {"--tone", integer(1, 24000, [](O& o, I n) { o.toneHz = std::uint32_t(n); })},
        {"--passes", integer(1, 1'000'000, [](O& o, I n) { o.passes = std::uint32_t(n); })},
        {"--average", integer(1, 1'000'000, [](O& o, I n) { o.averageCount = std::uint32_t(n); })},
        {"--delay", integer(-8192, 8192, [](O& o, I n) { o.delaySamples = std::int32_t(n); })},
        {"--shift", integer(-60, 60, [](O& o, I n) { o.shiftDb = std::int32_t(n); })},
        {"--steps", integer(1, 8192, [](O& o, I n) { o.waterfallSteps = std::int32_t(n); })},
        {"--waterfall-start",
         integer(0, 16384, [](O& o, I n) { o.waterfallStart = std::int32_t(n); })},
        {"--cuts",
         pair(0, 1000, "LOWER,UPPER per mille",
              [](O& o, I a, I b) { o.lowerCut = std::int32_t(a), o.upperCut = std::int32_t(b); })},
        {"--db", pair(-9999, 9999, "LOW,HIGH in dB",
                      [](O& o, I a, I b) {
                          o.dbRange = {std::int32_t(a), std::int32_t(b)};
                      })},
        {"--hz", pair(1, 1'000'000, "LOW,HIGH in Hz",
                      [](O& o, I a, I b) {
                          o.hzRange = {std::int32_t(a), std::int32_t(b)};
                      })},
        {"--read", text(&O::readFile)},
        {"--save", text(&O::saveFile)},
        {"--time-png", text(&O::timePng)},
        {"--freq-png", text(&O::freqPng)},
    };
    return kOptions;
}

const std::map<std::string, bool MeasureOptions::*>& flagOptions() {
    using O = MeasureOptions;
    static const std::map<std::string, bool O::*> kFlags = {
        {"--frequency-domain", &O::averageInFrequency},
        {"--hanning", &O::halfHanning},
        {"--third-octave", &O::thirdOctave},
        {"--artificial", &O::artificial},
        {"--fix-db", &O::fixDb},
        {"--instant", &O::instant},
        {"--capture", &O::capture},
        {"--subtract", &O::subtract},
        {"--json", &O::json},
        {"--arrays", &O::arrays},
        {"--help", &O::help},
    };
    return kFlags;
}

// The panel keeps a file's name in a field of kStorageNameLength characters,
// padded with blanks: a longer name, or one ending in a blank, would name
// another file.
std::string checkFileName(const char* option, const std::string& name) {
    if (name.size() > kStorageNameLength) {
        return std::string(option) + " needs a file name of at most " +
               std::to_string(kStorageNameLength) + " characters";
    }
    if (name.back() == ' ')
        return std::string(option) + " needs a file name that does not end in a blank";
    return "";
}

// Checks that need more than one option.
std::string crossCheck(const MeasureOptions& o) {
    for (const auto& [option, name] :
         {std::pair{"--read", &o.readFile}, std::pair{"--save", &o.saveFile}}) {
        if (name->empty()) continue;
        if (std::string error = checkFileName(option, *name); !error.empty()) return error;
    }
    if (!o.readFile.empty() && o.capture) {
        return "--read and --capture both give the captured curve; choose one";
    }
    if (o.subtract && o.readFile.empty() && !o.capture) {
        return "--subtract needs a captured curve: add --read FILE or --capture";
    }
    if (o.toneHz > o.sampleRate / 2) return "--tone must not exceed half the sample rate";
    const auto half = static_cast<std::int32_t>(o.sampleLength / 2);
    if (o.delaySamples < -half || o.delaySamples > half) {
        return "--delay must lie within plus or minus half the sample length";
    }
    if (o.waterfallSteps && *o.waterfallSteps > half) {
        return "--steps must not exceed half the sample length";
    }
    if (o.waterfallStart > static_cast<std::int32_t>(o.sampleLength)) {
        return "--waterfall-start must not exceed the sample length";
    }
    return "";
}

}  // namespace

ParsedOptions parseMeasureOptions(const std::vector<std::string>& arguments) {
    ParsedOptions parsed;
    MeasureOptions& o = parsed.options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::string value;
        bool hasInlineValue = false;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            hasInlineValue = true;
        }
        if (const auto flag = flagOptions().find(name); flag != flagOptions().end()) {
            if (hasInlineValue) return {o, name + " takes no value"};
            o.*(flag->second) = true;
            continue;
        }
        if (name == "--mic" || name == "--line") {
            if (hasInlineValue) return {o, name + " takes no value"};
            o.inputMic = name == "--mic";
            continue;
        }
        const auto option = valueOptions().find(name);
        if (option == valueOptions().end()) return {o, "unknown option '" + arguments[i] + "'"};
        if (!hasInlineValue) {
            if (i + 1 >= arguments.size()) return {o, name + " needs a value"};
            value = arguments[++i];
        }
        if (std::string error = option->second(o, value); !error.empty()) {
            return {o, name + " '" + value + "': " + error};
        }
    }
    if (o.help) return parsed;
    parsed.error = crossCheck(o);
    return parsed;
}

std::string measureUsage() {
    return R"(Usage: ressona-measure [OPTION]...
Runs a measurement without windows, on the same code as the desktop program.

Device and passes:
  --device D            sim (simulated room), sim:loopback, sim:room, alsa, alsa:PCMNAME
                        (default: the ALSA default device if it opens, else sim)
  --passes K            passes to run (default 1)
  --instant             the simulated card runs as fast as it can
Panel settings:
  --rate R              8000, 11025, 22050 (default), 44100 or 48000
  --length N            64 .. 16384, a power of two (default 2048)
  --excitation E        pulse (default), mls, noise, silence, sweep, sine, square
  --tone HZ             tone of sine and square (default 2000)
  --average K           average K captures (default: single sample)
  --frequency-domain    average in frequency instead of time
  --hanning             1/2 Hanning window
  --third-octave        1/3 octave smoothing
  --artificial          analyse the excitation itself
  --delay SAMPLES       sample record delay
  --cuts LOWER,UPPER    time-domain cuts, per mille (default 0,1000)
  --db LOW,HIGH         dB scale the plot starts from
  --fix-db              keep the dB scale fixed (at --db, or the default -90,3)
  --hz LOW,HIGH         frequency range of the plot, 1 Hz and up
  --shift DB            shift plot by dB (-60 .. 60)
  --steps S             waterfall steps;  --waterfall-start P  first waterfall sample
  --view V              standard (default), phase, histogram, waterfall
  --mic | --line        recording input (default mic)
After the passes:
  --read FILE           read FILE as the captured curve
  --capture             capture the current response
  --subtract            turn Subtract on (needs --read or --capture)
  --save FILE           save the result as FILE
  File names: at most 250 characters, not ending in a blank.
Output:
  --json                print a JSON summary on stdout;  --arrays  include the result arrays
  --time-png FILE       picture of the time plot;  --freq-png FILE  of the frequency plot
  --size WxH            picture size in pixels (default 1200x400)
  --help                this text
Error dialogs are printed as "Ressona: Error N: message" on stderr.
Exit status: 0 success; 1 an error dialog was shown, the run stopped early or
an output could not be written; 2 bad command line (nothing is measured).
)";
}

}  // namespace ressona
