#include "level/third_octave_bank.h"

namespace ressona {

ThirdOctaveBank::ThirdOctaveBank(std::uint32_t sampleRate)
    : bands_(meterThirdOctaves(sampleRate, kMeterHighestEdgeShare)) {
    for (const FrequencyBand& band : bands_)
        filters_.push_back(designBandPass(band.lowerHz, band.upperHz, sampleRate));
    memories_.resize(bands_.size());
    std::vector<std::size_t> waiting;  // per count of sections, a band without a partner yet
    waiting.assign(kMostSections + 1, bands_.size());
    for (std::size_t i = 0; i < bands_.size(); ++i) {
        std::size_t& partner = waiting[filters_[i].count];
        if (partner == bands_.size()) {
            partner = i;
        } else {
            runs_.emplace_back(partner, i);
            partner = bands_.size();
        }
    }
    for (const std::size_t alone : waiting) {
        if (alone != bands_.size()) runs_.emplace_back(alone, alone);
    }
}

void ThirdOctaveBank::add(std::span<const double> block, std::span<double> squares) {
    for (const auto& [a, b] : runs_) {
        if (a == b) {
            squares[a] += filterForwardSquares(filters_[a], memories_[a], block);
            continue;
        }
        double sumA = 0.0;
        double sumB = 0.0;
        filterPairForwardSquares(filters_[a], filters_[b], memories_[a], memories_[b], block, sumA,
                                 sumB);
        squares[a] += sumA;
        squares[b] += sumB;
    }
}

}  // namespace ressona
