#pragma once
// How far an FRD file written by the measurer lies from a known response:
// the worst level and phase error from 50 Hz to a top frequency.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>

#include "exchange/response_text.h"

namespace ressona::testing {

struct FrdError {
    double levelDb = 0.0;
    double phaseDeg = 0.0;
};

// `exact(hz)` is the known response at hz.
template <typename Exact>
FrdError frdErrorAgainst(const std::string& frd, double topHz, Exact exact) {
    std::ifstream in(frd);
    std::stringstream text;
    text << in.rdbuf();
    ResponseText rows;
    EXPECT_EQ(parseResponseText(text.str(), rows), "") << frd;
    FrdError worst;
    for (std::size_t i = 0; i < rows.frequencyHz.size(); ++i) {
        const double hz = rows.frequencyHz[i];
        if (hz < 50.0 || hz > topHz) continue;
        const std::complex<double> h = exact(hz);
        worst.levelDb =
            std::max(worst.levelDb, std::fabs(rows.levelDb[i] - 20.0 * std::log10(std::abs(h))));
        worst.phaseDeg = std::max(
            worst.phaseDeg, std::fabs(std::remainder(
                                rows.phaseDeg[i] - std::arg(h) * 180.0 / std::numbers::pi, 360.0)));
    }
    return worst;
}

}  // namespace ressona::testing
