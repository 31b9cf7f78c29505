// The mixer service over ALSA's simple mixer elements, shown as lines and
// controls as alsa_mixer_layout.cpp describes.

#include <alsa/asoundlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/alsa/alsa_mixer_layout.h"
#include "platform/alsa/alsa_sound_card.h"
#include "platform/alsa/server_call_guard.h"

namespace ressona {

namespace {

void quietAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

constexpr std::uint32_t kDestinations = 2;

std::int32_t toInt32(long value) {
    return static_cast<std::int32_t>(std::clamp<long>(value, INT32_MIN, INT32_MAX));
}

template <std::size_t N>
void copyName(char (&field)[N], const std::string& name) {
    std::memset(field, 0, N);
    std::memcpy(field, name.data(), std::min(name.size(), N - 1));
}

using Item = LayoutItem;

struct Control {
    std::uint32_t id = 0;
    std::uint32_t type = 0;
    std::string name;
    std::int32_t minimum = 0;
    std::int32_t maximum = 1;
    snd_mixer_elem_t* element = nullptr;
    Aspect aspect = Aspect::kPlaybackVolume;
    std::size_t shared = 0;  // kShared*: which of the two sources
    std::vector<Item> items;
};

struct Line {
    std::uint32_t id = 0;
    std::uint32_t type = 0;
    std::string name;
    std::vector<Control> controls;
    std::vector<Line> sources;
};

// One opened mixer: ALSA's element list turned into lines and controls.
class OpenMixer {
  public:
    OpenMixer() = default;
    OpenMixer(const OpenMixer&) = delete;
    OpenMixer& operator=(const OpenMixer&) = delete;
    ~OpenMixer() {
        if (mixer_ != nullptr) snd_mixer_close(mixer_);
    }

    int open(const std::string& ctlName) {
        if (const int error = snd_mixer_open(&mixer_, 0); error < 0) return error;
        if (const int error = snd_mixer_attach(mixer_, ctlName.c_str()); error < 0) return error;
        if (const int error = snd_mixer_selem_register(mixer_, nullptr, nullptr); error < 0)
            return error;
        if (const int error = snd_mixer_load(mixer_); error < 0) return error;
        build();
        return 0;
    }

    const std::vector<Line>& destinations() const { return destinations_; }

    const Line* findLine(std::uint32_t id) const {
        for (const Line& destination : destinations_) {
            if (destination.id == id) return &destination;
            for (const Line& source : destination.sources) {
                if (source.id == id) return &source;
            }
        }
        return nullptr;
    }

    const Control* findControl(std::uint32_t id) const {
        for (const Line& destination : destinations_) {
            for (const Control& control : destination.controls) {
                if (control.id == id) return &control;
            }
            for (const Line& source : destination.sources) {
                for (const Control& control : source.controls) {
                    if (control.id == id) return &control;
                }
            }
        }
        return nullptr;
    }

    // The control's values: one, or one per item.
    std::vector<std::int32_t> read(const Control& control) {
        snd_mixer_handle_events(mixer_);
        snd_mixer_elem_t* e = control.element;
        long value = 0;
        int on = 0;
        switch (control.aspect) {
            case Aspect::kPlaybackVolume:
                snd_mixer_selem_get_playback_volume(e, SND_MIXER_SCHN_FRONT_LEFT, &value);
                return {toInt32(value)};
            case Aspect::kPlaybackMute:
                snd_mixer_selem_get_playback_switch(e, SND_MIXER_SCHN_FRONT_LEFT, &on);
                return {on ? 0 : 1};
            case Aspect::kCaptureVolume:
                snd_mixer_selem_get_capture_volume(e, SND_MIXER_SCHN_FRONT_LEFT, &value);
                return {toInt32(value)};
            case Aspect::kCaptureMute:
                snd_mixer_selem_get_capture_switch(e, SND_MIXER_SCHN_FRONT_LEFT, &on);
                return {on ? 0 : 1};
            case Aspect::kCaptureSwitch:
                snd_mixer_selem_get_capture_switch(e, SND_MIXER_SCHN_FRONT_LEFT, &on);
                return {on ? 1 : 0};
            case Aspect::kCaptureEnum: {
                unsigned int index = 0;
                snd_mixer_selem_get_enum_item(e, SND_MIXER_SCHN_FRONT_LEFT, &index);
                std::vector<std::int32_t> values(control.items.size(), 0);
                if (index < values.size()) values[index] = 1;
                return values;
            }
            case Aspect::kSharedVolume:
                snd_mixer_selem_get_capture_volume(e, SND_MIXER_SCHN_FRONT_LEFT, &value);
                // Changed by someone else since: both sources take the element's level.
                if (value != std::max(sharedVolume_[0], sharedVolume_[1]))
                    sharedVolume_.fill(value);
                return {toInt32(sharedVolume_[control.shared])};
            case Aspect::kSharedSwitch:
                snd_mixer_selem_get_capture_switch(e, SND_MIXER_SCHN_FRONT_LEFT, &on);
                if ((on != 0) != (sharedSwitch_[0] || sharedSwitch_[1]))
                    sharedSwitch_.fill(on != 0);
                return {sharedSwitch_[control.shared] ? 1 : 0};
        }
        return {0};
    }

    int write(const Control& control, const std::vector<std::int32_t>& values) {
        snd_mixer_elem_t* e = control.element;
        const std::int32_t value = values.at(0);
        switch (control.aspect) {
            case Aspect::kPlaybackVolume:
                return snd_mixer_selem_set_playback_volume_all(e, value);
            case Aspect::kPlaybackMute:
                return snd_mixer_selem_set_playback_switch_all(e, value ? 0 : 1);
            case Aspect::kCaptureVolume:
                return snd_mixer_selem_set_capture_volume_all(e, value);
            case Aspect::kCaptureMute:
                return snd_mixer_selem_set_capture_switch_all(e, value ? 0 : 1);
            case Aspect::kCaptureSwitch:
                return snd_mixer_selem_set_capture_switch_all(e, value ? 1 : 0);
            case Aspect::kCaptureEnum: {
                const auto first = std::find(values.begin(), values.end(), 1);
                if (first == values.end()) return -EINVAL;
                const auto index = static_cast<unsigned int>(first - values.begin());
                int result = snd_mixer_selem_set_enum_item(e, SND_MIXER_SCHN_FRONT_LEFT, index);
                for (int channel = 1; channel <= SND_MIXER_SCHN_LAST; ++channel) {
                    if (snd_mixer_selem_set_enum_item(
                            e, static_cast<snd_mixer_selem_channel_id_t>(channel), index) < 0)
                        break;
                }
                return result;
            }
            case Aspect::kSharedVolume:
                sharedVolume_[control.shared] = value;
                return snd_mixer_selem_set_capture_volume_all(
                    e, std::max(sharedVolume_[0], sharedVolume_[1]));
            case Aspect::kSharedSwitch:
                sharedSwitch_[control.shared] = value != 0;
                return snd_mixer_selem_set_capture_switch_all(
                    e, sharedSwitch_[0] || sharedSwitch_[1] ? 1 : 0);
        }
        return -EINVAL;
    }

  private:
    // Lays the active elements out and gives every line and control its id,
    // its element and its bounds.
    void build() {
        std::vector<snd_mixer_elem_t*> handles;
        std::vector<ElementTraits> elements;
        for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer_); e != nullptr;
             e = snd_mixer_elem_next(e)) {
            if (!snd_mixer_selem_is_active(e)) continue;
            ElementTraits traits;
            traits.name = snd_mixer_selem_get_name(e);
            traits.playbackVolume = snd_mixer_selem_has_playback_volume(e);
            traits.playbackSwitch = snd_mixer_selem_has_playback_switch(e);
            traits.captureVolume = snd_mixer_selem_has_capture_volume(e);
            traits.captureSwitch = snd_mixer_selem_has_capture_switch(e);
            traits.captureEnum = snd_mixer_selem_is_enum_capture(e);
            if (traits.captureEnum) {
                const int count = snd_mixer_selem_get_enum_items(e);
                for (int i = 0; i < count; ++i) {
                    char itemName[64] = {};
                    snd_mixer_selem_get_enum_item_name(e, static_cast<unsigned>(i),
                                                       sizeof itemName - 1, itemName);
                    traits.enumItems.emplace_back(itemName);
                }
            }
            handles.push_back(e);
            elements.push_back(std::move(traits));
        }
        for (const LayoutLine& destination : layOutMixer(elements)) {
            Line line = makeLine(destination, handles);
            for (const LayoutLine& source : destination.sources)
                line.sources.push_back(makeLine(source, handles));
            destinations_.push_back(std::move(line));
        }
    }

    Line makeLine(const LayoutLine& layout, const std::vector<snd_mixer_elem_t*>& handles) {
        Line line;
        line.id = nextLine_++;
        line.type = layout.type;
        line.name = layout.name;
        for (const LayoutControl& c : layout.controls) {
            Control control;
            control.id = nextControl_++;
            control.type = c.type;
            control.name = c.name;
            control.element = handles.at(c.element);
            control.aspect = c.aspect;
            control.shared = c.shared;
            control.items = c.items;
            long minimum = 0;
            long maximum = 1;
            if (c.aspect == Aspect::kPlaybackVolume)
                snd_mixer_selem_get_playback_volume_range(control.element, &minimum, &maximum);
            if (c.aspect == Aspect::kCaptureVolume || c.aspect == Aspect::kSharedVolume)
                snd_mixer_selem_get_capture_volume_range(control.element, &minimum, &maximum);
            control.minimum = toInt32(minimum);
            control.maximum = toInt32(maximum);
            if (c.aspect == Aspect::kSharedVolume) {
                long volume = 0;
                snd_mixer_selem_get_capture_volume(control.element, SND_MIXER_SCHN_FRONT_LEFT,
                                                   &volume);
                sharedVolume_.fill(volume);
            }
            if (c.aspect == Aspect::kSharedSwitch) {
                int on = 0;
                snd_mixer_selem_get_capture_switch(control.element, SND_MIXER_SCHN_FRONT_LEFT, &on);
                sharedSwitch_.fill(on != 0);
            }
            line.controls.push_back(std::move(control));
        }
        return line;
    }

    snd_mixer_t* mixer_ = nullptr;
    std::vector<Line> destinations_;
    std::uint32_t nextLine_ = 1;
    std::uint32_t nextControl_ = 1;
    std::array<long, 2> sharedVolume_{};
    std::array<bool, 2> sharedSwitch_{};
};

void fillLine(const Line& line, MIXERLINEA& out, std::uint32_t destination, std::uint32_t source) {
    out.dwDestination = destination;
    out.dwSource = source;
    out.dwLineID = line.id;
    out.fdwLine = 1;
    out.dwComponentType = line.type;
    out.cChannels = 1;
    out.cConnections = static_cast<std::uint32_t>(line.sources.size());
    out.cControls = static_cast<std::uint32_t>(line.controls.size());
    copyName(out.szShortName, line.name);
    copyName(out.szName, line.name);
}

// The control device that goes with a PCM name: a card's for hw and plughw
// names, the same name otherwise.
std::string controlNameFor(const std::string& pcmName) {
    for (const char* prefix : {"hw:", "plughw:"}) {
        const std::size_t length = std::strlen(prefix);
        if (pcmName.compare(0, length, prefix) == 0) {
            const std::string card = pcmName.substr(length);
            return "hw:" + card.substr(0, card.find(','));
        }
    }
    return pcmName;
}

// The product name of a control device, or "" when it does not open.
std::string productName(const std::string& ctlName) {
    snd_ctl_t* ctl = nullptr;
    if (snd_ctl_open(&ctl, ctlName.c_str(), SND_CTL_NONBLOCK) < 0) return {};
    snd_ctl_card_info_t* info = nullptr;
    snd_ctl_card_info_alloca(&info);
    std::string name;
    if (snd_ctl_card_info(ctl, info) >= 0) name = snd_ctl_card_info_get_name(info);
    snd_ctl_close(ctl);
    if (name.empty()) name = ctlName;
    return name;
}

class AlsaMixerService final : public MixerService {
  public:
    explicit AlsaMixerService(const std::string& pcmName) {
        snd_lib_error_set_handler(&quietAlsaErrors);
        // The device's own mixer first, then every card's.
        std::string own = controlNameFor(pcmName);
        std::string ownName = productName(own);
        if (ownName.empty() && own != "default") {
            own = "default";
            ownName = productName(own);
        }
        if (!ownName.empty()) devices_.push_back({own, ownName + " (" + own + ")"});
        int card = -1;
        while (snd_card_next(&card) >= 0 && card >= 0) {
            const std::string ctl = "hw:" + std::to_string(card);
            if (ctl == own) continue;
            const std::string name = productName(ctl);
            if (!name.empty()) devices_.push_back({ctl, name});
        }
    }

    UINT mixerGetNumDevs() override { return static_cast<UINT>(devices_.size()); }

    MMRESULT mixerOpen(HMIXER* handle, UINT mixerId, std::uintptr_t, std::uintptr_t,
                       std::uint32_t) override {
        if (handle == nullptr) return MMSYSERR_INVALPARAM;
        *handle = 0;
        if (mixerId >= devices_.size()) return MMSYSERR_BADDEVICEID;
        auto mixer = std::make_unique<OpenMixer>();
        if (const int error = mixer->open(devices_[mixerId].ctlName); error < 0)
            return waveResultForAlsaOpenError(error);
        *handle = nextHandle_++;
        open_[*handle] = std::move(mixer);
        return MMSYSERR_NOERROR;
    }

    MMRESULT mixerClose(HMIXER handle) override {
        if (given_up_.erase(handle) == 1) return MMSYSERR_NOERROR;  // left as it is
        const auto found = open_.find(handle);
        if (found == open_.end()) return MMSYSERR_INVALHANDLE;
        std::shared_ptr<OpenMixer> closing(std::move(found->second));
        open_.erase(found);
        guard_.run([closing]() mutable { closing.reset(); });
        return MMSYSERR_NOERROR;
    }

    MMRESULT mixerGetDevCapsA(std::uintptr_t mixerId, MIXERCAPSA* caps, UINT size) override {
        if (caps == nullptr || size != sizeof(MIXERCAPSA)) return MMSYSERR_INVALPARAM;
        if (mixerId >= devices_.size()) return MMSYSERR_BADDEVICEID;
        *caps = MIXERCAPSA{};
        copyName(caps->szPname, devices_[mixerId].productName);
        caps->cDestinations = kDestinations;
        return MMSYSERR_NOERROR;
    }

    MMRESULT mixerGetLineInfoA(HMIXER handle, MIXERLINEA* line, std::uint32_t flags) override {
        OpenMixer* mixer = find(handle);
        if (mixer == nullptr) return MMSYSERR_INVALHANDLE;
        if (line == nullptr || line->cbStruct != sizeof(MIXERLINEA)) return MMSYSERR_INVALPARAM;
        const std::vector<Line>& destinations = mixer->destinations();
        const std::uint32_t d = line->dwDestination;
        if (d >= destinations.size()) return MIXERR_INVALLINE;
        switch (flags & ~MIXER_OBJECTF_HMIXER) {
            case MIXER_GETLINEINFOF_DESTINATION:
                fillLine(destinations[d], *line, d, 0);
                return 0;
            case MIXER_GETLINEINFOF_SOURCE: {
                const std::uint32_t s = line->dwSource;
                if (s >= destinations[d].sources.size()) return MIXERR_INVALLINE;
                fillLine(destinations[d].sources[s], *line, d, s);
                return MMSYSERR_NOERROR;
            }
            default:
                return MMSYSERR_INVALFLAG;
        }
    }

    MMRESULT mixerGetLineControlsA(HMIXER handle, MIXERLINECONTROLSA* request,
                                   std::uint32_t flags) override {
        OpenMixer* mixer = find(handle);
        if (mixer == nullptr) return MMSYSERR_INVALHANDLE;
        if (request == nullptr || request->cbmxctrl != sizeof(MIXERCONTROLA) ||
            (request->pamxctrl == nullptr && request->cControls > 0) ||
            (flags & ~MIXER_OBJECTF_HMIXER) != MIXER_GETLINECONTROLSF_ALL)
            return MMSYSERR_INVALPARAM;
        const Line* line = mixer->findLine(request->dwLineID);
        if (line == nullptr) return MIXERR_INVALLINE;
        const std::size_t count = std::min<std::size_t>(request->cControls, line->controls.size());
        for (std::size_t c = 0; c < count; ++c) {
            const Control& control = line->controls[c];
            MIXERCONTROLA& out = request->pamxctrl[c];
            out = MIXERCONTROLA{};
            out.dwControlID = control.id;
            out.dwControlType = control.type;
            out.cMultipleItems = static_cast<std::uint32_t>(control.items.size());
            out.fdwControl = control.items.empty() ? 0 : MIXERCONTROL_CONTROLF_MULTIPLE;
            copyName(out.szShortName, control.name);
            copyName(out.szName, control.name);
            out.lMinimum = control.minimum;
            out.lMaximum = control.maximum;
        }
        return MMSYSERR_NOERROR;
    }

    MMRESULT mixerGetControlDetailsA(HMIXER handle, MIXERCONTROLDETAILS* details,
                                     std::uint32_t flags) override {
        OpenMixer* mixer = find(handle);
        if (mixer == nullptr) return MMSYSERR_INVALHANDLE;
        if (details == nullptr) return MMSYSERR_INVALPARAM;
        const Control* control = mixer->findControl(details->dwControlID);
        if (control == nullptr) return MIXERR_INVALCONTROL;
        const std::uint32_t what = flags & ~MIXER_OBJECTF_HMIXER;
        const bool listText = what == MIXER_GETCONTROLDETAILSF_LISTTEXT;
        if (!detailsFit(*control, *details,
                        listText ? sizeof(MIXERCONTROLDETAILS_LISTTEXTA)
                                 : sizeof(MIXERCONTROLDETAILS_SIGNED)) ||
            (what != MIXER_GETCONTROLDETAILSF_VALUE && !listText) ||
            (listText && control->items.empty()))
            return MMSYSERR_INVALPARAM;
        const std::uint32_t count = std::max<std::uint32_t>(details->cMultipleItems, 1);
        if (listText) {
            auto* out = static_cast<MIXERCONTROLDETAILS_LISTTEXTA*>(details->paDetails);
            for (std::uint32_t i = 0; i < count; ++i) {
                out[i] = MIXERCONTROLDETAILS_LISTTEXTA{};
                out[i].dwParam2 = control->items[i].type;
                copyName(out[i].szName, control->items[i].name);
            }
            return MMSYSERR_NOERROR;
        }
        auto read = std::make_shared<std::vector<std::int32_t>>();
        if (!guarded(handle, [mixer, control, read] { *read = mixer->read(*control); }))
            return MMSYSERR_NODRIVER;
        const std::vector<std::int32_t>& values = *read;
        auto* out = static_cast<MIXERCONTROLDETAILS_SIGNED*>(details->paDetails);
        for (std::uint32_t i = 0; i < count; ++i) out[i].lValue = i < values.size() ? values[i] : 0;
        return MMSYSERR_NOERROR;
    }

    MMRESULT mixerSetControlDetails(HMIXER handle, const MIXERCONTROLDETAILS* details,
                                    std::uint32_t flags) override {
        OpenMixer* mixer = find(handle);
        if (mixer == nullptr) return MMSYSERR_INVALHANDLE;
        if (details == nullptr) return MMSYSERR_INVALPARAM;
        const Control* control = mixer->findControl(details->dwControlID);
        if (control == nullptr) return MIXERR_INVALCONTROL;
        if (!detailsFit(*control, *details, sizeof(MIXERCONTROLDETAILS_SIGNED)) ||
            (flags & ~MIXER_OBJECTF_HMIXER) != MIXER_SETCONTROLDETAILSF_VALUE)
            return MMSYSERR_INVALPARAM;
        const std::uint32_t count = std::max<std::uint32_t>(details->cMultipleItems, 1);
        const auto* in = static_cast<const MIXERCONTROLDETAILS_SIGNED*>(details->paDetails);
        std::vector<std::int32_t> values(count);
        for (std::uint32_t i = 0; i < count; ++i) {
            values[i] = in[i].lValue;
            if (values[i] < control->minimum || values[i] > control->maximum)
                return MIXERR_INVALVALUE;
        }
        auto written = std::make_shared<int>(0);
        const bool done = guarded(handle, [mixer, control, values, written]() mutable {
            if (!control->items.empty()) {
                // Items beyond those given keep their values.
                std::vector<std::int32_t> all = mixer->read(*control);
                std::copy(values.begin(), values.end(), all.begin());
                values = std::move(all);
            }
            *written = mixer->write(*control, values);
        });
        if (!done) return MMSYSERR_NODRIVER;
        return *written < 0 ? MMSYSERR_ERROR : MMSYSERR_NOERROR;
    }

  private:
    struct Device {
        std::string ctlName;
        std::string productName;
    };

    static bool detailsFit(const Control& control, const MIXERCONTROLDETAILS& details,
                           std::size_t entrySize) {
        const bool itemsFit =
            control.items.empty()
                ? details.cMultipleItems == 0
                : details.cMultipleItems >= 1 && details.cMultipleItems <= control.items.size();
        return details.cbStruct == sizeof(MIXERCONTROLDETAILS) && details.cChannels == 1 &&
               details.cbDetails == entrySize && details.paDetails != nullptr && itemsFit;
    }

    OpenMixer* find(HMIXER handle) {
        const auto found = open_.find(handle);
        return found == open_.end() ? nullptr : found->second.get();
    }

    // Runs a call that talks to the mixer's server. When it overruns, the
    // server has gone: the mixer is given up with the call still inside it
    // (never freed), and its handle answers nothing more until it is closed.
    bool guarded(HMIXER handle, std::function<void()> call) {
        if (guard_.run(std::move(call))) return true;
        const auto found = open_.find(handle);
        if (found != open_.end()) {
            [[maybe_unused]] OpenMixer* inUse = found->second.release();
            open_.erase(found);
        }
        given_up_.insert(handle);
        return false;
    }

    std::vector<Device> devices_;
    std::map<HMIXER, std::unique_ptr<OpenMixer>> open_;
    std::set<HMIXER> given_up_;
    // Declared last: destroyed first, so its thread is gone before the mixers.
    ServerCallGuard guard_;
    HMIXER nextHandle_ = 0xB1;
};

}  // namespace

std::unique_ptr<MixerService> makeAlsaMixerService(std::string pcmName) {
    return std::make_unique<AlsaMixerService>(std::move(pcmName));
}

}  // namespace ressona
