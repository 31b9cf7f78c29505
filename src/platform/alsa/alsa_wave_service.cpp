#include <alsa/asoundlib.h>

#include <cerrno>
#include <cstdarg>
#include <map>

#include "platform/alsa/alsa_sound_card.h"
#include "platform/alsa/alsa_stream.h"

namespace ressona {

namespace {

// alsa-lib reports its errors on stderr as well as in its results; the
// results are what the program goes by.
void quietAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

// The wave service over one ALSA device: every open makes a stream with its
// own I/O thread; headers are flagged here and completed by that thread.
class AlsaWaveService final : public WaveService {
  public:
    explicit AlsaWaveService(std::string pcmName) : pcmName_(std::move(pcmName)) {
        snd_lib_error_set_handler(&quietAlsaErrors);
    }

    MMRESULT waveOutOpen(HWAVEOUT* handle, UINT deviceId, const WAVEFORMATEX* format,
                         std::uintptr_t, std::uintptr_t, std::uint32_t) override {
        // 8-bit codes, or 16-bit samples for a sweep.
        const std::uint16_t bits = format != nullptr && format->wBitsPerSample == 16 ? 16 : 8;
        return openStream(handle, deviceId, format, AlsaStream::Direction::kPlayback, bits);
    }
    MMRESULT waveOutPrepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size) override {
        return prepare(handle, header, size);
    }
    MMRESULT waveOutUnprepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size) override {
        return unprepare(handle, header, size);
    }
    MMRESULT waveOutWrite(HWAVEOUT handle, WAVEHDR* header, UINT size) override {
        return enqueue(handle, header, size);
    }
    MMRESULT waveOutReset(HWAVEOUT handle) override { return resetStream(handle); }
    MMRESULT waveOutClose(HWAVEOUT handle) override { return closeStream(handle); }
    MMRESULT waveOutGetPosition(HWAVEOUT handle, MMTIME* time, UINT size) override {
        return position(handle, time, size);
    }

    MMRESULT waveInOpen(HWAVEIN* handle, UINT deviceId, const WAVEFORMATEX* format, std::uintptr_t,
                        std::uintptr_t, std::uint32_t) override {
        return openStream(handle, deviceId, format, AlsaStream::Direction::kCapture, 16);
    }
    MMRESULT waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size) override {
        return prepare(handle, header, size);
    }
    MMRESULT waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size) override {
        return unprepare(handle, header, size);
    }
    MMRESULT waveInAddBuffer(HWAVEIN handle, WAVEHDR* header, UINT size) override {
        return enqueue(handle, header, size);
    }
    MMRESULT waveInStart(HWAVEIN handle) override {
        AlsaStream* stream = find(handle);
        if (stream == nullptr) return MMSYSERR_INVALHANDLE;
        return stream->start();
    }
    MMRESULT waveInReset(HWAVEIN handle) override { return resetStream(handle); }
    MMRESULT waveInClose(HWAVEIN handle) override { return closeStream(handle); }
    MMRESULT waveInGetPosition(HWAVEIN handle, MMTIME* time, UINT size) override {
        return position(handle, time, size);
    }

    ThreadScheduling deviceThreadScheduling() override {
        ThreadScheduling least = closedStreams_;
        for (auto& [handle, stream] : streams_) least = lesserScheduling(least, stream->scheduling());
        return least;
    }

  private:
    MMRESULT openStream(std::uintptr_t* handle, UINT deviceId, const WAVEFORMATEX* format,
                        AlsaStream::Direction direction, std::uint16_t bits) {
        if (handle == nullptr || format == nullptr) return MMSYSERR_INVALPARAM;
        *handle = 0;
        if (deviceId != WAVE_MAPPER && deviceId != 0) return MMSYSERR_BADDEVICEID;
        // Playback is mono; capture one channel, or two for a reference channel.
        const std::uint16_t mostChannels = direction == AlsaStream::Direction::kCapture ? 2 : 1;
        if (format->wFormatTag != WAVE_FORMAT_PCM || format->nChannels < 1 ||
            format->nChannels > mostChannels || format->wBitsPerSample != bits ||
            format->nSamplesPerSec == 0)
            return WAVERR_BADFORMAT;
        std::unique_ptr<AlsaStream> stream;
        if (const MMRESULT result = AlsaStream::open(pcmName_, direction, *format, stream))
            return result;
        *handle = nextHandle_++;
        streams_[*handle] = std::move(stream);
        return MMSYSERR_NOERROR;
    }

    AlsaStream* find(std::uintptr_t handle) {
        const auto found = streams_.find(handle);
        return found == streams_.end() ? nullptr : found->second.get();
    }

    MMRESULT prepare(std::uintptr_t handle, WAVEHDR* header, UINT size) {
        if (find(handle) == nullptr) return MMSYSERR_INVALHANDLE;
        if (header == nullptr || size != kWaveHeaderSize || header->lpData == nullptr ||
            header->dwBufferLength == 0)
            return MMSYSERR_INVALPARAM;
        header->dwFlags.fetch_or(WHDR_PREPARED);
        return MMSYSERR_NOERROR;
    }

    MMRESULT unprepare(std::uintptr_t handle, WAVEHDR* header, UINT size) {
        if (find(handle) == nullptr) return MMSYSERR_INVALHANDLE;
        if (header == nullptr || size != kWaveHeaderSize) return MMSYSERR_INVALPARAM;
        if ((header->dwFlags.load() & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
        header->dwFlags.fetch_and(~WHDR_PREPARED);
        return MMSYSERR_NOERROR;
    }

    MMRESULT enqueue(std::uintptr_t handle, WAVEHDR* header, UINT size) {
        AlsaStream* stream = find(handle);
        if (stream == nullptr) return MMSYSERR_INVALHANDLE;
        if (header == nullptr || size != kWaveHeaderSize) return MMSYSERR_INVALPARAM;
        const std::uint32_t flags = header->dwFlags.load();
        if ((flags & WHDR_PREPARED) == 0) return WAVERR_UNPREPARED;
        if ((flags & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
        header->dwBytesRecorded = 0;
        header->dwFlags.store((flags & ~WHDR_DONE) | WHDR_INQUEUE);
        const MMRESULT result = stream->queue(header);
        if (result != MMSYSERR_NOERROR) header->dwFlags.store(flags);  // not queued after all
        return result;
    }

    MMRESULT position(std::uintptr_t handle, MMTIME* time, UINT size) {
        AlsaStream* stream = find(handle);
        if (stream == nullptr) return MMSYSERR_INVALHANDLE;
        if (time == nullptr || size != kMmTimeSize || time->wType != TIME_SAMPLES)
            return MMSYSERR_INVALPARAM;
        return stream->position(*time);
    }

    MMRESULT resetStream(std::uintptr_t handle) {
        AlsaStream* stream = find(handle);
        if (stream == nullptr) return MMSYSERR_INVALHANDLE;
        stream->reset();
        return MMSYSERR_NOERROR;
    }

    MMRESULT closeStream(std::uintptr_t handle) {
        const auto found = streams_.find(handle);
        if (found == streams_.end()) return MMSYSERR_INVALHANDLE;
        closedStreams_ = lesserScheduling(closedStreams_, found->second->scheduling());
        streams_.erase(found);  // stops the thread and marks queued headers done
        return MMSYSERR_NOERROR;
    }

    std::string pcmName_;
    std::map<std::uintptr_t, std::unique_ptr<AlsaStream>> streams_;
    std::uintptr_t nextHandle_ = 0xA1;
    ThreadScheduling closedStreams_;  // the least favoured of the streams closed
};

}  // namespace

MMRESULT waveResultForAlsaOpenError(int alsaError) {
    switch (-alsaError) {
        case EBUSY:
            return MMSYSERR_ALLOCATED;
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return MMSYSERR_BADDEVICEID;
        case ECONNREFUSED:
        case ECONNRESET:
        case ECONNABORTED:
        case ENOTCONN:
        case EHOSTDOWN:
        case EHOSTUNREACH:
            return MMSYSERR_NODRIVER;
        case ENOMEM:
            return MMSYSERR_NOMEM;
        default:
            return MMSYSERR_ERROR;
    }
}

MMRESULT waveResultForAlsaRunError(int alsaError) {
    switch (-alsaError) {
        case ENODEV:
        case ENXIO:
            return MMSYSERR_BADDEVICEID;
        case ECONNREFUSED:
        case ECONNRESET:
        case ECONNABORTED:
        case ENOTCONN:
        case ESHUTDOWN:
        case EHOSTDOWN:
        case EHOSTUNREACH:
            return MMSYSERR_NODRIVER;
        default:
            return WAVERR_DEVICEFAILED;
    }
}

std::unique_ptr<WaveService> makeAlsaWaveService(std::string pcmName) {
    return std::make_unique<AlsaWaveService>(std::move(pcmName));
}

bool alsaDeviceOpens(const std::string& pcmName) {
    snd_lib_error_set_handler(&quietAlsaErrors);
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, pcmName.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0)
        return false;
    snd_pcm_close(pcm);
    return true;
}

}  // namespace ressona
