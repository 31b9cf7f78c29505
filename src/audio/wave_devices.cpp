#include "audio/wave_devices.h"

#include "state/measurement_state.h"

namespace ressona {

namespace {

WAVEFORMATEX pcmFormat(std::uint32_t sampleRate, std::uint16_t bitsPerSample,
                       std::uint16_t channels) {
    WAVEFORMATEX format;
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = channels;
    format.nSamplesPerSec = sampleRate;
    format.wBitsPerSample = bitsPerSample;
    format.nBlockAlign = static_cast<std::uint16_t>(format.nChannels * bitsPerSample / 8);
    format.nAvgBytesPerSec = format.nBlockAlign * sampleRate;
    format.cbSize = 0;
    return format;
}

// Every field zero except the buffer and its length, as after a fresh allocation.
void pointHeader(WAVEHDR& header, std::uint8_t* data, std::uint32_t length) {
    header.clear();
    header.lpData = data;
    header.dwBufferLength = length;
}

}  // namespace

WAVEFORMATEX playFormatFor(std::uint32_t sampleRate) {
    return pcmFormat(sampleRate, 8, 1);
}
WAVEFORMATEX recordFormatFor(std::uint32_t sampleRate, std::uint16_t channels) {
    return pcmFormat(sampleRate, 16, channels);
}

std::uint16_t recordChannels(const MeasurementState& state) {
    return state.reference.present() ? 2 : 1;
}

int openPlayDevice(MeasurementState& state, WaveDeviceState& devices, WaveService& wave) {
    if (devices.playDeviceOpen) closePlayDevice(state, devices, wave);
    devices.playDeviceOpen = false;
    pointHeader(state.device.playHeader, state.device.playBuffer.data(), state.device.playBytes);
    devices.playFormat = playFormatFor(state.sampleRate);
    devices.waveOutHandle = 0;
    devices.samplesWritten = 0;
    const MMRESULT result = wave.waveOutOpen(&devices.waveOutHandle, WAVE_MAPPER,
                                             &devices.playFormat, 0, 0, CALLBACK_NULL);
    if (result != MMSYSERR_NOERROR) {
        state.lastWaveError = result;
        return static_cast<int>(result);
    }
    devices.playDeviceOpen = true;
    return 0;
}

int openRecordDevice(MeasurementState& state, WaveDeviceState& devices, WaveService& wave) {
    if (devices.recordDeviceOpen) closeRecordDevice(state, devices, wave);
    pointHeader(state.device.recordHeader,
                reinterpret_cast<std::uint8_t*>(state.device.recordBuffer.data()),
                state.device.recordBytes * recordChannels(state));
    devices.recordFormat = recordFormatFor(state.sampleRate, recordChannels(state));
    devices.waveInHandle = 0;
    const MMRESULT result = wave.waveInOpen(&devices.waveInHandle, WAVE_MAPPER,
                                            &devices.recordFormat, 0, 0, CALLBACK_NULL);
    state.lastWaveError = result;
    if (result != MMSYSERR_NOERROR || devices.waveInHandle == 0) return kRecordOpenFailed;
    devices.recordDeviceOpen = true;
    return 0;
}

int closePlayDevice(MeasurementState& state, WaveDeviceState& devices, WaveService& wave) {
    if (devices.playDeviceOpen) {
        wave.waveOutUnprepareHeader(devices.waveOutHandle, &state.device.playHeader,
                                    kWaveHeaderSize);
        wave.waveOutReset(devices.waveOutHandle);
        wave.waveOutClose(devices.waveOutHandle);
    }
    devices.playDeviceOpen = false;
    return 0;
}

int closeRecordDevice(MeasurementState& state, WaveDeviceState& devices, WaveService& wave) {
    if (!state.panelInitialised) return 1;
    if (devices.recordDeviceOpen) {
        wave.waveInUnprepareHeader(devices.waveInHandle, &state.device.recordHeader,
                                   kWaveHeaderSize);
        wave.waveInReset(devices.waveInHandle);
        wave.waveInClose(devices.waveInHandle);
        devices.recordDeviceOpen = false;
    }
    return 0;
}

}  // namespace ressona
