#include "exchange/wav_file.h"

#include <sndfile.h>

#include <cmath>
#include <memory>

namespace ressona {

namespace {

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using Sndfile = std::unique_ptr<SNDFILE, SndfileCloser>;

// Longest file read: about 95 minutes at 192 kHz; anything longer is not an impulse response.
constexpr sf_count_t kMostFrames = sf_count_t{1} << 30;

bool acceptedEncoding(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_16:
        case SF_FORMAT_PCM_24:
        case SF_FORMAT_PCM_32:
        case SF_FORMAT_FLOAT:
        case SF_FORMAT_DOUBLE:
            return true;
        default:
            return false;
    }
}

}  // namespace

std::string writeFloatWav(const std::string& path, std::uint32_t sampleRate,
                          std::span<const float> samples) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(sampleRate);
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    if (!sf_format_check(&info)) return "the WAV format was refused";
    Sndfile file(sf_open(path.c_str(), SFM_WRITE, &info));
    if (!file) return sf_strerror(nullptr);
    // Samples beyond full scale are kept as they are: a float WAV holds them.
    sf_command(file.get(), SFC_SET_CLIPPING, nullptr, SF_FALSE);
    const auto count = static_cast<sf_count_t>(samples.size());
    if (sf_write_float(file.get(), samples.data(), count) != count) {
        return sf_strerror(file.get());
    }
    if (sf_close(file.release()) != 0) return "the WAV file could not be closed";
    return "";
}

std::string readWav(const std::string& path, WavSignal& signal) {
    signal = {};
    SF_INFO info{};
    Sndfile file(sf_open(path.c_str(), SFM_READ, &info));
    if (!file) return std::string("cannot read a sound file: ") + sf_strerror(nullptr);
    if ((info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_WAV &&
        (info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_WAVEX) {
        return "not a WAV file";
    }
    if (!acceptedEncoding(info.format)) {
        return "the samples must be 16, 24 or 32-bit integers or floating point";
    }
    if (info.samplerate < static_cast<int>(kWavLowestRate) ||
        info.samplerate > static_cast<int>(kWavHighestRate)) {
        return "the sample rate must lie from 8000 to 192000 Hz";
    }
    if (info.channels < 1 || info.frames < 1) return "the file holds no samples";
    if (info.frames > kMostFrames) return "the file is too long for an impulse response";

    const auto channels = static_cast<std::size_t>(info.channels);
    std::vector<double> frames(static_cast<std::size_t>(info.frames) * channels);
    const sf_count_t read = sf_readf_double(file.get(), frames.data(), info.frames);
    if (read < 1) return "the file holds no samples";
    std::vector<double> first(static_cast<std::size_t>(read));
    for (std::size_t i = 0; i < first.size(); ++i) {
        const double value = frames[i * channels];
        if (!std::isfinite(value)) return "the file holds a sample that is not a finite number";
        first[i] = value;
    }
    signal.sampleRate = static_cast<std::uint32_t>(info.samplerate);
    signal.samples = std::move(first);
    return "";
}

}  // namespace ressona
