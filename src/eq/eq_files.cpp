#include "eq/eq_files.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ressona {

namespace {

// A number with a dot whatever the locale, with `decimals` places.
std::string fixed(double value, int decimals) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::string s = text;
    for (char& c : s) c = c == ',' ? '.' : c;
    return s;
}

std::string pipewireLabel(FilterKind kind) {
    switch (kind) {
        case FilterKind::LowShelf:
            return "bq_lowshelf";
        case FilterKind::HighShelf:
            return "bq_highshelf";
        case FilterKind::Peaking:
            break;
    }
    return "bq_peaking";
}

std::string camillaType(FilterKind kind) {
    switch (kind) {
        case FilterKind::LowShelf:
            return "Lowshelf";
        case FilterKind::HighShelf:
            return "Highshelf";
        case FilterKind::Peaking:
            break;
    }
    return "Peaking";
}

std::string apoType(FilterKind kind) {
    switch (kind) {
        case FilterKind::LowShelf:
            return "LSC";
        case FilterKind::HighShelf:
            return "HSC";
        case FilterKind::Peaking:
            break;
    }
    return "PK";
}

}  // namespace

double eqPreampDb(std::span<const EqFilter> filters, double sampleRate) {
    double peak = 0.0;
    for (double f = 10.0; f < 0.45 * sampleRate; f *= std::pow(2.0, 1.0 / 96.0))
        peak = std::max(peak, filtersLevelDb(filters, f, sampleRate));
    return -std::ceil(peak * 10.0 - 1e-9) / 10.0;
}

std::string pipewireFilterChain(std::span<const EqFilter> filters) {
    std::string nodes;
    std::string links;
    for (std::size_t i = 0; i < filters.size(); ++i) {
        const EqFilter& f = filters[i];
        const std::string name = "eq" + std::to_string(i + 1);
        nodes += "                    { type = builtin name = " + name +
                 " label = " + pipewireLabel(f.kind) + " control = { \"Freq\" = " +
                 fixed(f.frequencyHz, 2) + " \"Q\" = " + fixed(f.q, 3) +
                 " \"Gain\" = " + fixed(f.gainDb, 2) + " } }\n";
        if (i > 0) {
            links += "                    { output = \"eq" + std::to_string(i) +
                     ":Out\" input = \"" + name + ":In\" }\n";
        }
    }
    if (filters.empty()) {
        // A graph needs a node: a peaking filter of 0 dB passes the sound unchanged.
        nodes = "                    { type = builtin name = eq1 label = bq_peaking control = "
                "{ \"Freq\" = 1000.00 \"Q\" = 1.000 \"Gain\" = 0.00 } }\n";
    }
    return "# Ressona EQ: room correction fitted by ressona-measure.\n"
           "# A PipeWire drop-in: copy it to ~/.config/pipewire/pipewire.conf.d/ and\n"
           "# restart PipeWire; play into the sink \"Ressona EQ\", which plays into the\n"
           "# default sink.\n"
           "context.modules = [\n"
           "    { name = libpipewire-module-filter-chain\n"
           "        args = {\n"
           "            node.description = \"Ressona EQ\"\n"
           "            media.name = \"Ressona EQ\"\n"
           "            filter.graph = {\n"
           "                nodes = [\n" +
           nodes +
           "                ]\n"
           "                links = [\n" +
           links +
           "                ]\n"
           "            }\n"
           "            audio.channels = 2\n"
           "            audio.position = [ FL FR ]\n"
           "            capture.props = {\n"
           "                node.name = \"ressona_eq\"\n"
           "                media.class = Audio/Sink\n"
           "            }\n"
           "            playback.props = {\n"
           "                node.name = \"ressona_eq.output\"\n"
           "                node.passive = true\n"
           "            }\n"
           "        }\n"
           "    }\n"
           "]\n";
}

std::string camillaDspFilters(std::span<const EqFilter> filters) {
    std::string text = "# Ressona EQ: room correction fitted by ressona-measure.\n";
    text += filters.empty() ? "filters: {}\n" : "filters:\n";
    std::string names;
    for (std::size_t i = 0; i < filters.size(); ++i) {
        const EqFilter& f = filters[i];
        const std::string name = "ressona_eq_" + std::to_string(i + 1);
        text += "  " + name + ":\n    type: Biquad\n    parameters:\n      type: " +
                camillaType(f.kind) + "\n      freq: " + fixed(f.frequencyHz, 2) +
                "\n      gain: " + fixed(f.gainDb, 2) + "\n      q: " + fixed(f.q, 3) + "\n";
        names += "      - " + name + "\n";
    }
    if (filters.empty()) return text + "pipeline: []\n";
    return text + "pipeline:\n  - type: Filter\n    channels: [0, 1]\n    names:\n" + names;
}

std::string apoFilters(std::span<const EqFilter> filters, double sampleRate) {
    std::string text = "Preamp: " + fixed(eqPreampDb(filters, sampleRate), 1) + " dB\n";
    for (std::size_t i = 0; i < filters.size(); ++i) {
        const EqFilter& f = filters[i];
        text += "Filter " + std::to_string(i + 1) + ": ON " + apoType(f.kind) + " Fc " +
                fixed(f.frequencyHz, 2) + " Hz Gain " + fixed(f.gainDb, 2) + " dB Q " +
                fixed(f.q, 3) + "\n";
    }
    return text;
}

}  // namespace ressona
