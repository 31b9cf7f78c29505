#pragma once
// A mixer service over mixers described as plain data: destinations with
// their sources, controls with bounds, values and (for select controls)
// items. Tests build any topology, inject a failing call at any point, and
// read back every value and every call made.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/mixer/mixer_service.h"

namespace ressona {

struct SimItem {
    std::uint32_t sourceType = 0;  // component type of the source the item selects
    std::string name;
};

struct SimControl {
    std::uint32_t type = 0;
    std::string name;
    std::int32_t minimum = 0;
    std::int32_t maximum = 65535;
    std::vector<std::int32_t> values{0};  // one value, or one per item of a select control
    std::vector<SimItem> items;           // select controls only
    std::uint32_t id = 0;                 // given by the mixer; never 0
};

struct SimLine {
    std::uint32_t componentType = 0;
    std::string name;
    std::vector<SimControl> controls;
    std::vector<SimLine> sources;  // a destination's sources
    std::uint32_t id = 0;          // given by the mixer
    // What the line claims, when it should claim something else than it has.
    std::optional<std::uint32_t> claimedControls;
    std::optional<std::uint32_t> claimedConnections;
};

struct SimMixerDevice {
    std::string name;
    std::vector<SimLine> destinations;
    std::optional<std::uint32_t> claimedDestinations;
};

// One call to the service, as the mixer saw it.
struct MixerCall {
    std::string name;                   // e.g. "mixerSetControlDetails"
    std::uint32_t controlId = 0;        // control calls
    std::vector<std::int32_t> written;  // values of a set call
    MMRESULT result = MMSYSERR_NOERROR;
};

class SimulatedMixer final : public MixerService {
  public:
    explicit SimulatedMixer(std::vector<SimMixerDevice> devices);

    UINT mixerGetNumDevs() override;
    MMRESULT mixerOpen(HMIXER* handle, UINT mixerId, std::uintptr_t callback,
                       std::uintptr_t instance, std::uint32_t flags) override;
    MMRESULT mixerClose(HMIXER handle) override;
    MMRESULT mixerGetDevCapsA(std::uintptr_t mixerId, MIXERCAPSA* caps, UINT size) override;
    MMRESULT mixerGetLineInfoA(HMIXER handle, MIXERLINEA* line, std::uint32_t flags) override;
    MMRESULT mixerGetLineControlsA(HMIXER handle, MIXERLINECONTROLSA* controls,
                                   std::uint32_t flags) override;
    MMRESULT mixerGetControlDetailsA(HMIXER handle, MIXERCONTROLDETAILS* details,
                                     std::uint32_t flags) override;
    MMRESULT mixerSetControlDetails(HMIXER handle, const MIXERCONTROLDETAILS* details,
                                    std::uint32_t flags) override;

    // The n-th call from now on (1 = the next one) returns `result` and does nothing.
    void failCall(std::size_t n, MMRESULT result);
    // Every call so far, oldest first.
    const std::vector<MixerCall>& calls() const { return calls_; }
    void clearCalls() { calls_.clear(); }

    // The device as it stands (ids filled in, values current).
    const SimMixerDevice& device(std::size_t index) const { return devices_.at(index); }
    // The control of that type on destination `destination`, or on its source
    // `source` when one is named; nullptr when there is none.
    SimControl* findControl(std::size_t device, std::string_view destination,
                            std::string_view source, std::uint32_t type);
    SimControl* findControlById(std::size_t device, std::uint32_t id);
    // Every control value of every device, in a fixed order (to compare states).
    std::vector<std::int32_t> snapshot() const;
    std::size_t openHandles() const;

  private:
    struct OpenMixer {
        HMIXER handle = 0;
        std::size_t device = 0;
    };
    bool takeFault(MMRESULT& result);
    MMRESULT record(MixerCall call);
    const SimLine* findLine(std::size_t device, std::uint32_t lineId) const;
    std::optional<std::size_t> deviceOf(HMIXER handle) const;

    std::vector<SimMixerDevice> devices_;
    std::vector<OpenMixer> open_;
    HMIXER nextHandle_ = 0x100;
    std::vector<MixerCall> calls_;
    std::size_t faultCountdown_ = 0;
    MMRESULT faultResult_ = MMSYSERR_ERROR;
};

}  // namespace ressona
