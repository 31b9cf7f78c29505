#include "measure/room_report.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "room/reliability.h"

namespace ressona {

namespace {

using Json = nlohmann::ordered_json;

const char* kindName(BandKind kind) {
    switch (kind) {
        case BandKind::Octave:
            return "octave";
        case BandKind::ThirdOctave:
            return "third-octave";
        case BandKind::Broadband:
            break;
    }
    return "broadband";
}

Json finite(double value) {
    return std::isfinite(value) ? Json(value) : Json(nullptr);
}

Json decayJson(const DecayTime& time) {
    return {
        {"seconds", time.evaluated ? finite(time.seconds) : Json(nullptr)},
        {"r", time.evaluated ? finite(time.r) : Json(nullptr)},
        {"fromDb", time.range.topDb},
        {"toDb", time.range.bottomDb},
        {"fromSeconds", time.evaluated ? Json(time.fromSeconds) : Json(nullptr)},
        {"toSeconds", time.evaluated ? Json(time.toSeconds) : Json(nullptr)},
        {"reliable", time.reliable},
        {"reasons", time.reasons},
    };
}

Json bandJson(const RoomBand& band) {
    const bool energy = band.hasEnergy;
    Json json = {{"band", bandName(band.band)}, {"kind", kindName(band.band.kind)}};
    if (band.band.kind != BandKind::Broadband) {
        json["centreHz"] = band.band.centreHz;
        json["lowerHz"] = band.band.lowerHz;
        json["upperHz"] = band.band.upperHz;
    }
    json["inrDb"] = energy ? finite(band.inrDb) : Json(nullptr);
    json["noiseReached"] = band.noiseReached;
    json["crossSeconds"] = band.crossSeconds;
    json["edt"] = decayJson(band.edt);
    json["t20"] = decayJson(band.t20);
    json["t30"] = decayJson(band.t30);
    json["c50Db"] = energy ? finite(band.c50Db) : Json(nullptr);
    json["c80Db"] = energy ? finite(band.c80Db) : Json(nullptr);
    json["d50"] = energy ? finite(band.d50) : Json(nullptr);
    json["centreTimeSeconds"] = energy ? finite(band.centreTimeSeconds) : Json(nullptr);
    json["clarityReliable"] = band.clarityReasons.empty();
    json["clarityReasons"] = band.clarityReasons;
    return json;
}

std::string fixed(double value, int width, int decimals) {
    char text[32];
    if (!std::isfinite(value)) {
        std::snprintf(text, sizeof text, "%*s", width, "-");
    } else {
        std::snprintf(text, sizeof text, "%*.*f", width, decimals, value);
    }
    return text;
}

// A reverberation time in its column, with * when it is not reliable.
std::string timeCell(const DecayTime& time) {
    if (!time.evaluated) return "      - ";
    return fixed(time.seconds, 7, 3) + (time.reliable ? " " : "*");
}

std::string label(const RoomBand& band) {
    std::string name = bandName(band.band);
    if (band.band.kind != BandKind::Broadband) name += " Hz";
    name.resize(11, ' ');
    return name;
}

void writeBand(std::ostream& out, const RoomBand& band) {
    const bool energy = band.hasEnergy;
    const double none = NAN;
    const bool clear = band.clarityReasons.empty();
    out << label(band) << timeCell(band.edt) << timeCell(band.t20) << timeCell(band.t30)
        << fixed(band.t30.evaluated ? band.t30.r : none, 8, 4)
        << fixed(energy ? band.c50Db : none, 8, 1) << fixed(energy ? band.c80Db : none, 7, 1)
        << (clear ? " " : "*") << fixed(energy ? band.d50 : none, 6, 2)
        << fixed(energy ? band.centreTimeSeconds * 1000.0 : none, 8, 1)
        << fixed(energy ? band.inrDb : none, 8, 1) << '\n';
}

// "  what: first; second" when there are reasons.
void writeJoined(std::ostream& out, const std::string& what,
                 const std::vector<std::string>& reasons) {
    if (reasons.empty()) return;
    out << "  " << what << ": ";
    for (std::size_t i = 0; i < reasons.size(); ++i) out << (i > 0 ? "; " : "") << reasons[i];
    out << '\n';
}

void writeReasons(std::ostream& out, const RoomBand& band) {
    const std::string name =
        bandName(band.band) + (band.band.kind == BandKind::Broadband ? "" : " Hz");
    for (const auto& [what, time] :
         {std::pair{"EDT", &band.edt}, std::pair{"T20", &band.t20}, std::pair{"T30", &band.t30}}) {
        writeJoined(out, name + ' ' + what, time->reasons);
    }
    writeJoined(out, name + " C50..Ts", band.clarityReasons);
}

}  // namespace

nlohmann::ordered_json roomJson(const RoomOutcome& room) {
    Json json = {{"source", room.source}};
    if (!room.file.empty()) json["file"] = room.file;
    if (!room.error.empty()) {
        json["error"] = room.error;
        return json;
    }
    const RoomAnalysis& analysis = room.analysis;
    json["sampleRate"] = analysis.sampleRate;
    json["durationSeconds"] = analysis.durationSeconds;
    json["startSeconds"] = analysis.startSeconds;
    json["limits"] = {{"leastCorrelation", kLeastCorrelation},
                      {"noiseMarginDb", kNoiseMarginDb},
                      {"leastWidthTimesTime", kLeastWidthTimesTime}};
    Json bands = Json::array();
    for (const RoomBand& band : analysis.bands) bands.push_back(bandJson(band));
    json["bands"] = std::move(bands);
    return json;
}

void writeRoomTable(std::ostream& out, const RoomOutcome& room) {
    out << "room parameters (" << room.source;
    if (!room.file.empty()) out << " '" << room.file << "'";
    if (!room.error.empty()) {
        out << "): none: " << room.error << '\n';
        return;
    }
    const RoomAnalysis& analysis = room.analysis;
    out << ", " << analysis.sampleRate << " Hz, " << fixed(analysis.durationSeconds, 0, 3)
        << " s, start at " << fixed(analysis.startSeconds * 1000.0, 0, 2) << " ms)\n";
    out << "band          EDT s   T20 s   T30 s  r(T30)  C50 dB C80 dB   D50   Ts ms  INR dB\n";
    bool unreliable = false;
    BandKind kind = BandKind::Broadband;
    for (const RoomBand& band : analysis.bands) {
        if (band.band.kind != kind && band.band.kind == BandKind::ThirdOctave)
            out << "third-octave bands:\n";
        kind = band.band.kind;
        writeBand(out, band);
        unreliable = unreliable || !band.edt.reliable || !band.t20.reliable || !band.t30.reliable ||
                     !band.clarityReasons.empty();
    }
    if (!unreliable) return;
    out << "* not reliable, or - not evaluated, because:\n";
    for (const RoomBand& band : analysis.bands) writeReasons(out, band);
}

}  // namespace ressona
