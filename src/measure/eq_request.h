#pragma once
// What the measurer is asked to do with an equaliser: fit filters to the
// measured response against a target, write them for the equalisers people
// use, and measure again through them.

#include <string>

namespace CLI {
class App;
}

namespace ressona {

struct EqRequest {
    bool fit = false;        // --eq
    std::string targetFile;  // --eq-target FILE; empty: flat
    double lowHz = 20.0;     // --eq-range LOW,HIGH
    double highHz = 500.0;
    int filters = 8;          // --eq-filters K
    double maxBoostDb = 3.0;  // --eq-max-boost DB
    double lowestQ = 0.3;     // --eq-q LOW,HIGH
    double highestQ = 10.0;
    bool shelves = false;     // --eq-shelves
    std::string pipewire;     // --eq-pipewire FILE
    std::string camilladsp;   // --eq-camilladsp FILE
    std::string apo;          // --eq-apo FILE
    std::string png;          // --eq-png FILE
    bool verify = false;      // --eq-verify
    bool anyGiven = false;    // any --eq-... option
};

// Adds the --eq options to the parser, into request.
void addEqOptions(CLI::App& app, EqRequest& request);

// Checks of the request that need no measurement: empty, or a one-line reason.
// sampleRate is the measurement's; simulated tells whether the device is a
// simulated card (where --eq-verify puts the filters in front of its room).
std::string checkEqRequest(const EqRequest& request, double sampleRate, double binWidthHz,
                           bool simulated);

// The usage lines of the --eq options.
std::string eqUsage();

}  // namespace ressona
