#include "level/sound_level_meter.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ressona {

namespace {

// Samples weighted at once: the scratch blocks stay in the cache.
constexpr std::size_t kBlockSamples = 4096;

// 10 log10(2 x meanSquare): a full-scale sine gives 0 dB.
double levelOf(double sumOfSquares, std::uint64_t samples) {
    if (samples == 0 || sumOfSquares <= 0.0) return -std::numeric_limits<double>::infinity();
    return 10.0 * std::log10(2.0 * sumOfSquares / static_cast<double>(samples));
}

double levelOfSquare(double square) {
    return square > 0.0 ? 10.0 * std::log10(2.0 * square)
                        : -std::numeric_limits<double>::infinity();
}

// The weight of the newest square in an exponential average with time
// constant tau, sampled at rate: 1 - exp(-1 / (tau rate)).
double averagingCoefficient(double tauSeconds, double rate) {
    return -std::expm1(-1.0 / (tauSeconds * rate));
}

const std::vector<FrequencyBand> kNoBands;

}  // namespace

void SoundLevelMeter::Sums::merge(const Sums& other) {
    samples += other.samples;
    z += other.z;
    a += other.a;
    c += other.c;
    fastMax = std::max(fastMax, other.fastMax);
    slowMax = std::max(slowMax, other.slowMax);
    peakSquared = std::max(peakSquared, other.peakSquared);
    for (std::size_t i = 0; i < bands.size(); ++i) bands[i] += other.bands[i];
}

SoundLevelMeter::SoundLevelMeter(std::uint32_t sampleRate, bool thirdOctaves)
    : sampleRate_(sampleRate),
      aFilter_(Weighting::A, sampleRate),
      cFilter_(Weighting::C, sampleRate),
      fastCoefficient_(averagingCoefficient(kFastSeconds, sampleRate)),
      slowCoefficient_(averagingCoefficient(kSlowSeconds, sampleRate)),
      aBlock_(kBlockSamples),
      cBlock_(kBlockSamples) {
    if (thirdOctaves) bank_.emplace(sampleRate);
    past_.bands.assign(bands().size(), 0.0);
    interval_.bands.assign(bands().size(), 0.0);
}

const std::vector<FrequencyBand>& SoundLevelMeter::bands() const {
    return bank_ ? bank_->bands() : kNoBands;
}

void SoundLevelMeter::add(std::span<const double> samples) {
    for (std::size_t at = 0; at < samples.size(); at += kBlockSamples)
        addBlock(samples.subspan(at, std::min(kBlockSamples, samples.size() - at)));
}

void SoundLevelMeter::addBlock(std::span<const double> block) {
    const std::span<double> a(aBlock_.data(), block.size());
    const std::span<double> c(cBlock_.data(), block.size());
    aFilter_.run(block, a);
    cFilter_.run(block, c);
    Sums& sums = interval_;
    double fast = fast_;
    double slow = slow_;
    for (std::size_t i = 0; i < block.size(); ++i) {
        const double a2 = a[i] * a[i];
        const double c2 = c[i] * c[i];
        sums.z += block[i] * block[i];
        sums.a += a2;
        sums.c += c2;
        sums.peakSquared = std::max(sums.peakSquared, c2);
        fast += fastCoefficient_ * (a2 - fast);
        slow += slowCoefficient_ * (a2 - slow);
        sums.fastMax = std::max(sums.fastMax, fast);
        sums.slowMax = std::max(sums.slowMax, slow);
    }
    fast_ = fast;
    slow_ = slow;
    sums.samples += block.size();
    if (bank_) bank_->add(block, sums.bands);
}

LevelFigures SoundLevelMeter::figuresOf(const Sums& sums) const {
    LevelFigures figures;
    figures.seconds = static_cast<double>(sums.samples) / sampleRate_;
    figures.lzeq = levelOf(sums.z, sums.samples);
    figures.laeq = levelOf(sums.a, sums.samples);
    figures.lceq = levelOf(sums.c, sums.samples);
    figures.lafmax = levelOfSquare(sums.fastMax);
    figures.lasmax = levelOfSquare(sums.slowMax);
    figures.lcpeak = levelOfSquare(sums.peakSquared);
    figures.lae = sums.samples == 0 ? figures.laeq
                                    : figures.laeq + 10.0 * std::log10(figures.seconds);
    for (const double band : sums.bands) figures.bandLeqDb.push_back(levelOf(band, sums.samples));
    return figures;
}

LevelFigures SoundLevelMeter::whole() const {
    Sums all = past_;
    all.merge(interval_);
    return figuresOf(all);
}

LevelFigures SoundLevelMeter::takeInterval() {
    const LevelFigures figures = figuresOf(interval_);
    past_.merge(interval_);
    interval_ = Sums{};
    interval_.bands.assign(bands().size(), 0.0);
    return figures;
}

double SoundLevelMeter::currentLafDb() const {
    return levelOfSquare(fast_);
}

}  // namespace ressona
