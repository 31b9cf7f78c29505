// The transfer function's convention: a wire is a unit impulse and 0 dB, a
// delay turns the phase down, a measured response over the wire's response
// cancels every scale and shift, and a correction or a band hold forms the
// impulse response again.
#include <gtest/gtest.h>

#include <complex>
#include <cmath>
#include <numbers>
#include <vector>

#include "analysis/real_transform.h"
#include "response/transfer_function.h"

namespace ressona {
namespace {

std::vector<double> impulseAt(std::size_t points, std::size_t at, double value) {
    std::vector<double> impulse(points, 0.0);
    impulse[at] = value;
    return impulse;
}

double wrappedDegrees(double degrees) {
    return std::remainder(degrees, 360.0);
}

TEST(TransferFunction, AWireIsZeroDecibelsAndADelayTurnsThePhaseDown) {
    for (const std::size_t points : {4u, 64u, 4096u, 1u << 16}) {
        const TransferFunction wire = transferFunctionOfImpulse(impulseAt(points, 0, 1.0), 48000, 7);
        ASSERT_EQ(wire.spectrum.size(), points / 2 + 1);
        EXPECT_EQ(wire.timeZeroSample, 7);
        EXPECT_DOUBLE_EQ(wire.binWidthHz(), 48000.0 / points);
        for (std::size_t k = 0; k < wire.spectrum.size(); ++k) {
            ASSERT_NEAR(wire.levelDb(k), 0.0, 1e-5) << points << " " << k;
            ASSERT_NEAR(wire.phaseDeg(k), 0.0, 1e-4) << points << " " << k;
        }
    }
    const std::size_t points = 1024;
    const double delay = 3.0;
    const TransferFunction late =
        transferFunctionOfImpulse(impulseAt(points, 3, -0.5), 44100, 0);
    for (std::size_t k = 1; k + 1 < late.spectrum.size(); ++k) {
        ASSERT_NEAR(late.levelDb(k), 20.0 * std::log10(0.5), 1e-4);
        const double expected = -360.0 * late.frequencyHz(k) * delay / 44100.0 + 180.0;
        ASSERT_NEAR(wrappedDegrees(late.phaseDeg(k) - expected), 0.0, 2e-3) << k;
    }
    EXPECT_TRUE(transferFunctionOfImpulse(std::vector<double>(1000, 0.0), 48000, 0).empty());
    EXPECT_TRUE(transferFunctionOfImpulse({}, 48000, 0).empty());
}

TEST(TransferFunction, TheMeasuredOverTheWiresResponseCancelsScaleAndShift) {
    // A wire's response through some analysis: scaled, shifted and offset.
    const std::size_t points = 256;
    std::vector<double> reference(points, 3.0);
    reference[10] = -17408.0;
    // The system: half the level and two samples late, through the same analysis.
    std::vector<double> measured(points, 0.0);
    for (std::size_t i = 0; i < points; ++i) measured[(i + 2) % points] = 0.5 * reference[i];
    const TransferFunction transfer = transferFunctionOfResponses(measured, reference, 8000, 5);
    ASSERT_FALSE(transfer.empty());
    EXPECT_EQ(transfer.timeZeroSample, 5);
    for (std::size_t i = 0; i < points; ++i) {
        ASSERT_NEAR(transfer.impulse[i], i == 2 ? 0.5 : 0.0, 1e-5) << i;
    }
    EXPECT_TRUE(transferFunctionOfResponses(measured, std::vector<double>(points, 0.0), 8000, 0)
                    .empty())
        << "nothing to divide by";
    EXPECT_TRUE(transferFunctionOfResponses(measured, std::vector<double>(128, 1.0), 8000, 0)
                    .empty());
}

TEST(TransferFunction, ACorrectionAndABandHoldFormTheImpulseAgain) {
    const std::size_t points = 512;
    TransferFunction transfer = transferFunctionOfImpulse(impulseAt(points, 0, 1.0), 48000, 0);
    // A microphone 6 dB hot and a quarter turn ahead everywhere.
    const std::vector<std::complex<double>> microphone(
        points / 2 + 1, std::polar(2.0, std::numbers::pi / 2));
    divideByCorrection(transfer, microphone);
    for (std::size_t k = 1; k + 1 < transfer.spectrum.size(); ++k) {
        ASSERT_NEAR(transfer.levelDb(k), -6.0206, 1e-3);
        ASSERT_NEAR(transfer.phaseDeg(k), -90.0, 1e-3);
    }
    EXPECT_NEAR(transfer.levelDb(0), -6.0206, 1e-3) << "0 Hz stays real";
    EXPECT_NEAR(transfer.spectrum[0].imag(), 0.0, 1e-12);
    divideByCorrection(transfer, std::vector<std::complex<double>>(3, 2.0));  // another grid
    EXPECT_NEAR(transfer.levelDb(5), -6.0206, 1e-3);

    // A response measured only from 1 to 10 kHz holds its edges outside.
    TransferFunction band = transferFunctionOfImpulse(impulseAt(points, 0, 1.0), 48000, 0);
    for (std::size_t k = 0; k < band.spectrum.size(); ++k) {
        const double hz = band.frequencyHz(k);
        if (hz < 1000.0 || hz > 10000.0) band.spectrum[k] = 0.001;
    }
    holdOutsideBand(band, 1000.0, 10000.0);
    EXPECT_NEAR(band.impulse[0], 1.0, 1e-5);
    for (std::size_t k = 0; k < band.spectrum.size(); ++k) ASSERT_NEAR(band.levelDb(k), 0.0, 1e-5);
}

// A transform the caller keeps gives the very record the one-off one gives,
// used for both steps; one of another size gives nothing and changes nothing.
TEST(TransferFunction, AKeptTransformGivesTheSameRecord) {
    const std::size_t points = 1024;
    std::vector<double> impulse(points);
    for (std::size_t n = 0; n < points; ++n) impulse[n] = std::exp(-0.01 * n) * std::cos(0.3 * n);
    TransferFunction once = transferFunctionOfImpulse(impulse, 48000, 7);
    holdOutsideBand(once, 500.0, 12000.0);
    RealTransform kept(points);
    TransferFunction twice = transferFunctionOfImpulse(impulse, 48000, 7, kept);
    holdOutsideBand(twice, 500.0, 12000.0, kept);
    EXPECT_EQ(twice.timeZeroSample, 7);
    EXPECT_EQ(twice.spectrum, once.spectrum);
    EXPECT_EQ(twice.impulse, once.impulse);

    RealTransform other(points / 2);
    EXPECT_TRUE(transferFunctionOfImpulse(impulse, 48000, 0, other).empty());
    const std::vector<double> before = twice.impulse;
    twice.spectrum[3] = 0.0;
    holdOutsideBand(twice, 500.0, 12000.0, other);
    EXPECT_EQ(twice.impulse, before) << "left alone";
}

// Over a recorded reference: the measurement over it whatever it holds,
// and where it has no energy H holds the nearest band's value instead of
// dividing noise by noise.
TEST(TransferFunction, OverAReferenceTheEmptyBandsHoldTheNearestValue) {
    const std::size_t points = 512;
    // A reference with energy only in bins 20..100: a sum of their cosines.
    std::vector<double> reference(points, 0.0);
    for (std::size_t k = 20; k <= 100; ++k)
        for (std::size_t n = 0; n < points; ++n)
            reference[n] += std::cos(2.0 * std::numbers::pi * double(k * n) / points + 0.1 * k);
    // The system: 0.25 and three samples late, plus noise where the reference is empty.
    std::vector<double> measured(points, 0.0);
    for (std::size_t n = 0; n < points; ++n)
        measured[(n + 3) % points] = 0.25 * reference[n] + 1e-3 * std::cos(2.9 * double(n));
    const TransferFunction transfer = transferFunctionOverReference(measured, reference, 48000, 9);
    ASSERT_FALSE(transfer.empty());
    EXPECT_EQ(transfer.timeZeroSample, 9);
    const auto exact = [&](std::size_t k) {
        return 0.25 * std::polar(1.0, -2.0 * std::numbers::pi * 3.0 * double(k) / points);
    };
    for (std::size_t k = 20; k <= 100; ++k)
        ASSERT_LT(std::abs(transfer.spectrum[k] - exact(k)), 1e-3) << k;
    for (std::size_t k = 1; k < 20; ++k)
        ASSERT_LT(std::abs(transfer.spectrum[k] - transfer.spectrum[20]), 1e-12) << k;
    for (std::size_t k = 101; k + 1 < transfer.spectrum.size(); ++k)
        ASSERT_LT(std::abs(transfer.spectrum[k] - transfer.spectrum[100]), 1e-12) << k;
    EXPECT_EQ(transfer.spectrum.front().imag(), 0.0);
    EXPECT_TRUE(transferFunctionOverReference(measured, std::vector<double>(points, 0.0), 48000, 0)
                    .empty());
    EXPECT_TRUE(transferFunctionOverReference(measured, std::vector<double>(100, 1.0), 48000, 0)
                    .empty());
}

}  // namespace
}  // namespace ressona
