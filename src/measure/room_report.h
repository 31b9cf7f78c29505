#pragma once
// How the measurer reports room parameters: the `room` object of the JSON
// summary and a table for people, both from one analysis with the reasons
// behind every value that cannot be trusted.

#include <nlohmann/json_fwd.hpp>
#include <ostream>
#include <string>

#include "room/room_analysis.h"

namespace ressona {

struct RoomOutcome {
    std::string source;  // "mls", "pulse" or "wav"
    std::string file;    // the WAV file read, for "wav"
    std::string error;   // why nothing was analysed; empty when analysed
    RoomAnalysis analysis;
};

// The `room` object: source, rate, duration, start, and per band its edges,
// impulse-to-noise ratio, crosspoint, EDT, T20 and T30 (seconds or null, r,
// fitted span, reliable, reasons), C50, C80, D50, Ts and their reasons.
nlohmann::ordered_json roomJson(const RoomOutcome& room);

// The table: one line per band (broadband, octaves, third-octaves), unreliable
// values marked with *, their reasons listed below it.
void writeRoomTable(std::ostream& out, const RoomOutcome& room);

}  // namespace ressona
