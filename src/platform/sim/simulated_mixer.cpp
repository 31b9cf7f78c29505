#include "platform/sim/simulated_mixer.h"

#include <algorithm>
#include <cstring>

namespace ressona {

namespace {

bool isSelectType(std::uint32_t type) {
    return type == MIXERCONTROL_CONTROLTYPE_MUX || type == MIXERCONTROL_CONTROLTYPE_MIXER ||
           type == MIXERCONTROL_CONTROLTYPE_SINGLESELECT ||
           type == MIXERCONTROL_CONTROLTYPE_MULTIPLESELECT;
}

// Copies a name into a fixed field; a name that fills the field is left
// without a terminator, as a careless driver would.
template <std::size_t N>
void copyName(char (&field)[N], const std::string& name) {
    std::memset(field, 0, N);
    std::memcpy(field, name.data(), std::min(name.size(), N));
}

void assignIds(SimMixerDevice& device) {
    std::uint32_t nextLine = 1;
    std::uint32_t nextControl = 1;
    auto number = [&](SimLine& line) {
        line.id = nextLine++;
        for (SimControl& control : line.controls) {
            control.id = nextControl++;
            const std::size_t count = isSelectType(control.type) ? control.items.size() : 1;
            control.values.resize(std::max<std::size_t>(count, 1), 0);
        }
    };
    for (SimLine& destination : device.destinations) {
        number(destination);
        for (SimLine& source : destination.sources) number(source);
    }
}

void fillLine(const SimLine& line, MIXERLINEA& out, std::uint32_t destination,
              std::uint32_t source) {
    out.dwDestination = destination;
    out.dwSource = source;
    out.dwLineID = line.id;
    out.fdwLine = 1;  // active
    out.dwComponentType = line.componentType;
    out.cChannels = 1;
    out.cConnections =
        line.claimedConnections.value_or(static_cast<std::uint32_t>(line.sources.size()));
    out.cControls = line.claimedControls.value_or(static_cast<std::uint32_t>(line.controls.size()));
    copyName(out.szShortName, line.name);
    copyName(out.szName, line.name);
}

}  // namespace

SimulatedMixer::SimulatedMixer(std::vector<SimMixerDevice> devices) : devices_(std::move(devices)) {
    for (SimMixerDevice& device : devices_) assignIds(device);
}

void SimulatedMixer::failCall(std::size_t n, MMRESULT result) {
    faultCountdown_ = n;
    faultResult_ = result;
}

bool SimulatedMixer::takeFault(MMRESULT& result) {
    if (faultCountdown_ == 0) return false;
    if (--faultCountdown_ != 0) return false;
    result = faultResult_;
    return true;
}

MMRESULT SimulatedMixer::record(MixerCall call) {
    const MMRESULT result = call.result;
    calls_.push_back(std::move(call));
    return result;
}

std::optional<std::size_t> SimulatedMixer::deviceOf(HMIXER handle) const {
    for (const OpenMixer& entry : open_) {
        if (entry.handle == handle) return entry.device;
    }
    return std::nullopt;
}

std::size_t SimulatedMixer::openHandles() const {
    return open_.size();
}

UINT SimulatedMixer::mixerGetNumDevs() {
    MMRESULT fault = 0;
    const bool failed = takeFault(fault);
    calls_.push_back({"mixerGetNumDevs", 0, {}, failed ? fault : MMSYSERR_NOERROR});
    // A failing count reads as no mixer at all.
    return failed ? 0 : static_cast<UINT>(devices_.size());
}

MMRESULT SimulatedMixer::mixerOpen(HMIXER* handle, UINT mixerId, std::uintptr_t, std::uintptr_t,
                                   std::uint32_t) {
    MixerCall call{"mixerOpen", mixerId, {}, MMSYSERR_NOERROR};
    if (handle == nullptr) {
        call.result = MMSYSERR_INVALPARAM;
        return record(call);
    }
    *handle = 0;
    if (takeFault(call.result)) return record(call);
    if (mixerId >= devices_.size()) {
        call.result = MMSYSERR_BADDEVICEID;
        return record(call);
    }
    *handle = nextHandle_++;
    open_.push_back({*handle, mixerId});
    return record(call);
}

MMRESULT SimulatedMixer::mixerClose(HMIXER handle) {
    MixerCall call{"mixerClose", 0, {}, MMSYSERR_NOERROR};
    if (takeFault(call.result)) return record(call);
    const auto found = std::find_if(open_.begin(), open_.end(),
                                    [&](const OpenMixer& entry) { return entry.handle == handle; });
    if (found == open_.end()) {
        call.result = MMSYSERR_INVALHANDLE;
        return record(call);
    }
    open_.erase(found);
    return record(call);
}

MMRESULT SimulatedMixer::mixerGetDevCapsA(std::uintptr_t mixerId, MIXERCAPSA* caps, UINT size) {
    MixerCall call{"mixerGetDevCapsA", 0, {}, MMSYSERR_NOERROR};
    if (takeFault(call.result)) return record(call);
    if (caps == nullptr || size != sizeof(MIXERCAPSA)) {
        call.result = MMSYSERR_INVALPARAM;
        return record(call);
    }
    if (mixerId >= devices_.size()) {
        call.result = MMSYSERR_BADDEVICEID;
        return record(call);
    }
    const SimMixerDevice& device = devices_[mixerId];
    *caps = MIXERCAPSA{};
    copyName(caps->szPname, device.name);
    caps->cDestinations =
        device.claimedDestinations.value_or(static_cast<std::uint32_t>(device.destinations.size()));
    return record(call);
}

MMRESULT SimulatedMixer::mixerGetLineInfoA(HMIXER handle, MIXERLINEA* line, std::uint32_t flags) {
    MixerCall call{"mixerGetLineInfoA", 0, {}, MMSYSERR_NOERROR};
    if (takeFault(call.result)) return record(call);
    const std::optional<std::size_t> device = deviceOf(handle);
    if (!device) {
        call.result = MMSYSERR_INVALHANDLE;
        return record(call);
    }
    if (line == nullptr || line->cbStruct != sizeof(MIXERLINEA)) {
        call.result = MMSYSERR_INVALPARAM;
        return record(call);
    }
    const std::vector<SimLine>& destinations = devices_[*device].destinations;
    const std::uint32_t d = line->dwDestination;
    const std::uint32_t s = line->dwSource;
    if (d >= destinations.size()) {
        call.result = MIXERR_INVALLINE;
        return record(call);
    }
    switch (flags & ~MIXER_OBJECTF_HMIXER) {
        case MIXER_GETLINEINFOF_DESTINATION:
            fillLine(destinations[d], *line, d, 0);
            break;
        case MIXER_GETLINEINFOF_SOURCE:
            if (s >= destinations[d].sources.size()) {
                call.result = MIXERR_INVALLINE;
                return record(call);
            }
            fillLine(destinations[d].sources[s], *line, d, s);
            break;
        default:
            call.result = MMSYSERR_INVALFLAG;
            break;
    }
    return record(call);
}

const SimLine* SimulatedMixer::findLine(std::size_t device, std::uint32_t lineId) const {
    for (const SimLine& destination : devices_[device].destinations) {
        if (destination.id == lineId) return &destination;
        for (const SimLine& source : destination.sources) {
            if (source.id == lineId) return &source;
        }
    }
    return nullptr;
}

MMRESULT SimulatedMixer::mixerGetLineControlsA(HMIXER handle, MIXERLINECONTROLSA* request,
                                               std::uint32_t flags) {
    MixerCall call{"mixerGetLineControlsA", 0, {}, MMSYSERR_NOERROR};
    if (takeFault(call.result)) return record(call);
    const std::optional<std::size_t> device = deviceOf(handle);
    if (!device) {
        call.result = MMSYSERR_INVALHANDLE;
        return record(call);
    }
    if (request == nullptr || request->cbmxctrl != sizeof(MIXERCONTROLA) ||
        (request->pamxctrl == nullptr && request->cControls > 0) ||
        (flags & ~MIXER_OBJECTF_HMIXER) != MIXER_GETLINECONTROLSF_ALL) {
        call.result = MMSYSERR_INVALPARAM;
        return record(call);
    }
    const SimLine* line = findLine(*device, request->dwLineID);
    if (line == nullptr) {
        call.result = MIXERR_INVALLINE;
        return record(call);
    }
    // Fills what the line has, up to what was asked for.
    const std::size_t count = std::min<std::size_t>(request->cControls, line->controls.size());
    for (std::size_t c = 0; c < count; ++c) {
        const SimControl& control = line->controls[c];
        MIXERCONTROLA& out = request->pamxctrl[c];
        out = MIXERCONTROLA{};
        out.dwControlID = control.id;
        out.dwControlType = control.type;
        out.cMultipleItems =
            isSelectType(control.type) ? static_cast<std::uint32_t>(control.items.size()) : 0;
        out.fdwControl = out.cMultipleItems > 0 ? MIXERCONTROL_CONTROLF_MULTIPLE : 0;
        copyName(out.szShortName, control.name);
        copyName(out.szName, control.name);
        out.lMinimum = control.minimum;
        out.lMaximum = control.maximum;
    }
    return record(call);
}

SimControl* SimulatedMixer::findControlById(std::size_t device, std::uint32_t id) {
    if (device >= devices_.size() || id == 0) return nullptr;
    for (SimLine& destination : devices_[device].destinations) {
        for (SimControl& control : destination.controls) {
            if (control.id == id) return &control;
        }
        for (SimLine& source : destination.sources) {
            for (SimControl& control : source.controls) {
                if (control.id == id) return &control;
            }
        }
    }
    return nullptr;
}

MMRESULT SimulatedMixer::mixerGetControlDetailsA(HMIXER handle, MIXERCONTROLDETAILS* details,
                                                 std::uint32_t flags) {
    MixerCall call{"mixerGetControlDetailsA",
                   details != nullptr ? details->dwControlID : 0,
                   {},
                   MMSYSERR_NOERROR};
    if (takeFault(call.result)) return record(call);
    const std::optional<std::size_t> device = deviceOf(handle);
    if (!device) {
        call.result = MMSYSERR_INVALHANDLE;
        return record(call);
    }
    SimControl* control =
        details != nullptr ? findControlById(*device, details->dwControlID) : nullptr;
    if (control == nullptr) {
        call.result = MIXERR_INVALCONTROL;
        return record(call);
    }
    const bool select = isSelectType(control->type);
    const std::uint32_t items = details->cMultipleItems;
    const std::uint32_t what = flags & ~MIXER_OBJECTF_HMIXER;
    const bool listText = what == MIXER_GETCONTROLDETAILSF_LISTTEXT;
    const std::size_t entrySize =
        listText ? sizeof(MIXERCONTROLDETAILS_LISTTEXTA) : sizeof(MIXERCONTROLDETAILS_SIGNED);
    const bool itemsFit = select ? (items >= 1 && items <= control->items.size()) : items == 0;
    if ((what != MIXER_GETCONTROLDETAILSF_VALUE && !listText) || (listText && !select) ||
        details->cbStruct != sizeof(MIXERCONTROLDETAILS) || details->cChannels != 1 ||
        details->cbDetails != entrySize || details->paDetails == nullptr || !itemsFit) {
        call.result = MMSYSERR_INVALPARAM;
        return record(call);
    }
    const std::uint32_t count = std::max<std::uint32_t>(items, 1);
    if (listText) {
        auto* out = static_cast<MIXERCONTROLDETAILS_LISTTEXTA*>(details->paDetails);
        const SimMixerDevice& mixer = devices_[*device];
        for (std::uint32_t i = 0; i < count; ++i) {
            const SimItem& item = control->items[i];
            out[i] = MIXERCONTROLDETAILS_LISTTEXTA{};
            out[i].dwParam2 = item.sourceType;
            // The item's line: the source of that name on the control's destination.
            for (const SimLine& destination : mixer.destinations) {
                const bool owns =
                    std::any_of(destination.controls.begin(), destination.controls.end(),
                                [&](const SimControl& c) { return c.id == control->id; });
                if (!owns) continue;
                for (const SimLine& source : destination.sources) {
                    if (source.name == item.name) out[i].dwParam1 = source.id;
                }
            }
            copyName(out[i].szName, item.name);
        }
    } else {
        auto* out = static_cast<MIXERCONTROLDETAILS_SIGNED*>(details->paDetails);
        for (std::uint32_t i = 0; i < count; ++i) out[i].lValue = control->values[i];
    }
    return record(call);
}

MMRESULT SimulatedMixer::mixerSetControlDetails(HMIXER handle, const MIXERCONTROLDETAILS* details,
                                                std::uint32_t flags) {
    MixerCall call{"mixerSetControlDetails",
                   details != nullptr ? details->dwControlID : 0,
                   {},
                   MMSYSERR_NOERROR};
    if (details != nullptr && details->paDetails != nullptr &&
        details->cbDetails == sizeof(MIXERCONTROLDETAILS_SIGNED) && details->cChannels == 1 &&
        details->cMultipleItems <= 1024) {
        const auto* in = static_cast<const MIXERCONTROLDETAILS_SIGNED*>(details->paDetails);
        const std::uint32_t count = std::max<std::uint32_t>(details->cMultipleItems, 1);
        for (std::uint32_t i = 0; i < count; ++i) call.written.push_back(in[i].lValue);
    }
    if (takeFault(call.result)) return record(call);
    const std::optional<std::size_t> device = deviceOf(handle);
    if (!device) {
        call.result = MMSYSERR_INVALHANDLE;
        return record(call);
    }
    SimControl* control =
        details != nullptr ? findControlById(*device, details->dwControlID) : nullptr;
    if (control == nullptr) {
        call.result = MIXERR_INVALCONTROL;
        return record(call);
    }
    const bool select = isSelectType(control->type);
    const std::uint32_t items = details->cMultipleItems;
    const bool itemsFit = select ? (items >= 1 && items <= control->items.size()) : items == 0;
    if ((flags & ~MIXER_OBJECTF_HMIXER) != MIXER_SETCONTROLDETAILSF_VALUE ||
        details->cbStruct != sizeof(MIXERCONTROLDETAILS) || details->cChannels != 1 ||
        details->cbDetails != sizeof(MIXERCONTROLDETAILS_SIGNED) || details->paDetails == nullptr ||
        !itemsFit) {
        call.result = MMSYSERR_INVALPARAM;
        return record(call);
    }
    for (std::size_t i = 0; i < call.written.size(); ++i) {
        const std::int32_t value = call.written[i];
        const bool inRange = select ? (value == 0 || value == 1)
                                    : (value >= control->minimum && value <= control->maximum);
        if (!inRange) {
            call.result = MIXERR_INVALVALUE;
            return record(call);
        }
    }
    // A single-select control keeps exactly one item: the first one asked for.
    if (control->type == MIXERCONTROL_CONTROLTYPE_MUX ||
        control->type == MIXERCONTROL_CONTROLTYPE_SINGLESELECT) {
        const auto first = std::find(call.written.begin(), call.written.end(), 1);
        if (first == call.written.end()) {
            call.result = MIXERR_INVALVALUE;
            return record(call);
        }
        std::fill(control->values.begin(), control->values.end(), 0);
        control->values[static_cast<std::size_t>(first - call.written.begin())] = 1;
    } else {
        std::copy(call.written.begin(), call.written.end(), control->values.begin());
    }
    return record(call);
}

SimControl* SimulatedMixer::findControl(std::size_t device, std::string_view destination,
                                        std::string_view source, std::uint32_t type) {
    if (device >= devices_.size()) return nullptr;
    for (SimLine& line : devices_[device].destinations) {
        if (line.name != destination) continue;
        SimLine* target = &line;
        if (!source.empty()) {
            target = nullptr;
            for (SimLine& candidate : line.sources) {
                if (candidate.name == source) target = &candidate;
            }
        }
        if (target == nullptr) return nullptr;
        for (SimControl& control : target->controls) {
            if (control.type == type) return &control;
        }
        return nullptr;
    }
    return nullptr;
}

std::vector<std::int32_t> SimulatedMixer::snapshot() const {
    std::vector<std::int32_t> values;
    for (const SimMixerDevice& device : devices_) {
        for (const SimLine& destination : device.destinations) {
            for (const SimControl& control : destination.controls)
                values.insert(values.end(), control.values.begin(), control.values.end());
            for (const SimLine& source : destination.sources) {
                for (const SimControl& control : source.controls)
                    values.insert(values.end(), control.values.begin(), control.values.end());
            }
        }
    }
    return values;
}

}  // namespace ressona
