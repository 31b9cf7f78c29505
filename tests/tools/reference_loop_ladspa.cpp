// A LADSPA plugin for the private PulseAudio's two-channel loop (scripts/
// pulse-test-server.sh builds and loads it): the left channel goes through a
// peaking section of known response (the audio EQ cookbook's, +6 dB at
// 1 kHz, Q 1, at the host's rate), the right one comes back straight. The
// measurer's --reference right must give the section's response.
#include <ladspa.h>

#include <cmath>
#include <new>
#include <numbers>

namespace {

constexpr double kCentreHz = 1000.0;
constexpr double kQ = 1.0;
constexpr double kGainDb = 6.0;

enum Port : unsigned long { kInLeft, kInRight, kOutLeft, kOutRight, kPorts };

struct Loop {
    LADSPA_Data* ports[kPorts] = {};
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
};

LADSPA_Handle instantiate(const LADSPA_Descriptor*, unsigned long rate) {
    auto* loop = new (std::nothrow) Loop;
    if (loop == nullptr) return nullptr;
    const double a = std::pow(10.0, kGainDb / 40.0);
    const double w0 = 2.0 * std::numbers::pi * kCentreHz / double(rate);
    const double alpha = std::sin(w0) / (2.0 * kQ);
    const double a0 = 1.0 + alpha / a;
    loop->b0 = (1.0 + alpha * a) / a0;
    loop->b1 = -2.0 * std::cos(w0) / a0;
    loop->b2 = (1.0 - alpha * a) / a0;
    loop->a1 = loop->b1;
    loop->a2 = (1.0 - alpha / a) / a0;
    return loop;
}

void connect(LADSPA_Handle handle, unsigned long port, LADSPA_Data* data) {
    if (port < kPorts) static_cast<Loop*>(handle)->ports[port] = data;
}

void activate(LADSPA_Handle handle) {
    Loop& loop = *static_cast<Loop*>(handle);
    loop.x1 = loop.x2 = loop.y1 = loop.y2 = 0.0;
}

void run(LADSPA_Handle handle, unsigned long frames) {
    Loop& loop = *static_cast<Loop*>(handle);
    for (unsigned long i = 0; i < frames; ++i) {
        const double x = loop.ports[kInLeft][i];
        const double y = loop.b0 * x + loop.b1 * loop.x1 + loop.b2 * loop.x2 - loop.a1 * loop.y1 -
                         loop.a2 * loop.y2;
        loop.x2 = loop.x1;
        loop.x1 = x;
        loop.y2 = loop.y1;
        loop.y1 = y;
        loop.ports[kOutLeft][i] = static_cast<LADSPA_Data>(y);
        loop.ports[kOutRight][i] = loop.ports[kInRight][i];
    }
}

void cleanup(LADSPA_Handle handle) {
    delete static_cast<Loop*>(handle);
}

const LADSPA_PortDescriptor kPortKinds[kPorts] = {
    LADSPA_PORT_INPUT | LADSPA_PORT_AUDIO, LADSPA_PORT_INPUT | LADSPA_PORT_AUDIO,
    LADSPA_PORT_OUTPUT | LADSPA_PORT_AUDIO, LADSPA_PORT_OUTPUT | LADSPA_PORT_AUDIO};
const char* const kPortNames[kPorts] = {"Input L", "Input R", "Output L", "Output R"};
const LADSPA_PortRangeHint kPortHints[kPorts] = {};

const LADSPA_Descriptor kDescriptor = {
    0x52455346,  // an id of our own
    "ressona_reference_loop",
    LADSPA_PROPERTY_HARD_RT_CAPABLE,
    "Ressona reference loop (left: +6 dB peaking at 1 kHz, right: straight)",
    "Ressona tests",
    "None",
    kPorts,
    kPortKinds,
    kPortNames,
    kPortHints,
    nullptr,
    instantiate,
    connect,
    activate,
    run,
    nullptr,
    nullptr,
    nullptr,
    cleanup};

}  // namespace

extern "C" const LADSPA_Descriptor* ladspa_descriptor(unsigned long index) {
    return index == 0 ? &kDescriptor : nullptr;
}
