#include "audio/mixer_control.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <string>

#include "audio/mixer_choice.h"
#include "state/measurement_state.h"
#include "platform/dialog/dialog_item_text.h"

namespace ressona {

namespace {

// What a destination line is for, given the chosen input.
enum class DestinationKind { kOutput, kRecordMic, kRecordLine, kOther };

DestinationKind kindOf(std::uint32_t componentType, bool inputMic) {
    switch (componentType) {
        case MIXERLINE_COMPONENTTYPE_DST_SPEAKERS:
        case MIXERLINE_COMPONENTTYPE_DST_HEADPHONES:
            return DestinationKind::kOutput;
        case MIXERLINE_COMPONENTTYPE_DST_WAVEIN:
        case MIXERLINE_COMPONENTTYPE_DST_VOICEIN:
            return inputMic ? DestinationKind::kRecordMic : DestinationKind::kRecordLine;
        default:
            return DestinationKind::kOther;
    }
}

bool isSelect(std::uint32_t controlType) {
    return controlType == MIXERCONTROL_CONTROLTYPE_MUX ||
           controlType == MIXERCONTROL_CONTROLTYPE_MIXER ||
           controlType == MIXERCONTROL_CONTROLTYPE_SINGLESELECT ||
           controlType == MIXERCONTROL_CONTROLTYPE_MULTIPLESELECT;
}

// An item of a select control that routes the destination's wanted input.
bool isWantedItem(DestinationKind kind, std::uint32_t sourceType) {
    switch (kind) {
        case DestinationKind::kRecordMic:
            return sourceType == MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
        case DestinationKind::kRecordLine:
            return sourceType == MIXERLINE_COMPONENTTYPE_SRC_LINE ||
                   sourceType == MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY;
        case DestinationKind::kOutput:
            return sourceType == MIXERLINE_COMPONENTTYPE_DST_SPEAKERS ||
                   sourceType == MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT;
        case DestinationKind::kOther:
            return false;
    }
    return false;
}

// A name from the service, which need not be zero-terminated within its field.
template <std::size_t N>
std::string boundedName(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

// The source a destination wants to hear: an auxiliary input counts as a line
// input only when its name says so.
bool isWantedSource(DestinationKind kind, const MIXERLINEA& source) {
    switch (kind) {
        case DestinationKind::kOutput:
            return source.dwComponentType == MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT;
        case DestinationKind::kRecordMic:
            return source.dwComponentType == MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
        case DestinationKind::kRecordLine:
            return source.dwComponentType == MIXERLINE_COMPONENTTYPE_SRC_LINE ||
                   (source.dwComponentType == MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY &&
                    boundedName(source.szName).compare(0, 4, "Line") == 0);
        case DestinationKind::kOther:
            return false;
    }
    return false;
}

// The level slot a source's volume control drives, if any.
LevelSlot* slotFor(MixerState& mixer, DestinationKind kind, std::uint32_t sourceType) {
    if (kind == DestinationKind::kOutput && sourceType == MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT)
        return &mixer.outputLevelSlot;
    if (kind == DestinationKind::kRecordMic && sourceType == MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE)
        return &mixer.micLevelSlot;
    if (kind == DestinationKind::kRecordLine &&
        (sourceType == MIXERLINE_COMPONENTTYPE_SRC_LINE ||
         sourceType == MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY))
        return &mixer.lineLevelSlot;
    return nullptr;
}

MIXERCONTROLDETAILS detailsFor(std::uint32_t controlId, std::uint32_t items,
                               std::uint32_t entrySize, void* entries) {
    MIXERCONTROLDETAILS details;
    details.dwControlID = controlId;
    details.cChannels = 1;
    details.cMultipleItems = items;
    details.cbDetails = entrySize;
    details.paDetails = entries;
    return details;
}

// trunc(value) as a 32-bit integer; values beyond its range give its ends.
std::int32_t truncToInt32(float value) {
    if (!(value > -2147483648.0f)) return value != value ? 0 : INT32_MIN;
    if (value >= 2147483648.0f) return INT32_MAX;
    return static_cast<std::int32_t>(value);
}

float clampFraction(float fraction) {
    if (!(fraction > 0.0f)) return 0.0f;  // also NaN
    return std::min(fraction, 1.0f);
}

// One run of openMixer: the walk over the chosen mixer's lines and controls.
// Every helper returns 0 or the failing call's result code.
class MixerSetUp {
  public:
    MixerSetUp(MeasurementState& state, MixerState& mixer, MixerService& service,
               DialogService& dialogs, DialogItemText& panelText)
        : state_(state),
          mixer_(mixer),
          service_(service),
          dialogs_(dialogs),
          panelText_(panelText) {}

    int run() {
        mixer_.restoreCount = 0;
        mixer_.outputRouted = false;
        mixer_.recordRouted = false;

        if (!mixer_.mixerChosen) {
            const int chosen = chooseMixer();
            if (chosen != kMixerDone) return chosen;
        }
        MIXERCAPSA caps;
        if (const MMRESULT r = service_.mixerGetDevCapsA(mixer_.mixerIndex, &caps, sizeof caps))
            return fail(r);
        panelText_.SetDlgItemTextA(state_.panelWindowMixer, kMixerNameLabel,
                                   boundedName(caps.szPname).c_str());

        const std::uint32_t destinations =
            std::min<std::uint32_t>(caps.cDestinations, kMaxLinesWalked);
        for (std::uint32_t d = 0; d < destinations; ++d) {
            if (const MMRESULT r = treatDestination(d)) return fail(r);
        }
        return kMixerDone;
    }

  private:
    int chooseMixer() {
        // A handle left open by an earlier choice that failed half-way.
        if (mixer_.mixerHandle != 0) {
            service_.mixerClose(mixer_.mixerHandle);
            mixer_.mixerHandle = 0;
        }
        mixer_.mixerCount = service_.mixerGetNumDevs();
        if (mixer_.mixerCount < 1) {
            status("No MIXER!");
            return kMixerFailed;
        }
        const std::uint32_t listed = std::min<std::uint32_t>(mixer_.mixerCount, kMaxMixers);
        for (std::uint32_t id = 0; id < listed; ++id) {
            if (const MMRESULT r = openAndName(id)) return fail(r);
            if (mixer_.mixerCount > 1) {
                service_.mixerClose(mixer_.mixerHandle);
                mixer_.mixerHandle = 0;
            }
        }
        // What the enumeration leaves behind: an id no mixer has, so that a
        // choice dialog closed by its close box makes the open below fail.
        mixer_.mixerIndex = mixer_.mixerCount;
        if (mixer_.mixerCount == 1) {
            mixer_.mixerIndex = 0;
        } else {
            runMixerChoiceDialog(mixer_, dialogs_, state_.panelWindowMixer);
            if (const MMRESULT r = openAndName(mixer_.mixerIndex)) return fail(r);
        }
        mixer_.mixerChosen = true;
        return kMixerDone;
    }

    MMRESULT openAndName(std::uint32_t id) {
        mixer_.mixerHandle = 0;
        if (const MMRESULT r =
                service_.mixerOpen(&mixer_.mixerHandle, id, 0, 0, MIXER_OBJECTF_MIXER))
            return r;
        MIXERCAPSA caps;
        if (const MMRESULT r = service_.mixerGetDevCapsA(id, &caps, sizeof caps)) return r;
        if (id < kMaxMixers) mixer_.mixerNames[id] = boundedName(caps.szPname);
        return MMSYSERR_NOERROR;
    }

    MMRESULT treatDestination(std::uint32_t d) {
        MIXERLINEA line;
        line.dwDestination = d;
        if (const MMRESULT r = service_.mixerGetLineInfoA(
                mixer_.mixerHandle, &line, MIXER_GETLINEINFOF_DESTINATION | MIXER_OBJECTF_HMIXER))
            return r;
        const DestinationKind kind = kindOf(line.dwComponentType, state_.mixerInputMic);

        if (line.cControls > 0) {
            std::uint32_t count = 0;
            if (const MMRESULT r = readControls(line, count)) return r;
            for (std::uint32_t c = 0; c < count; ++c) {
                if (const MMRESULT r = treatDestinationControl(controls_[c], kind)) return r;
            }
        }
        const std::uint32_t sources = std::min<std::uint32_t>(line.cConnections, kMaxLinesWalked);
        for (std::uint32_t s = 0; s < sources; ++s) {
            if (const MMRESULT r = treatSource(d, s, kind)) return r;
        }
        return MMSYSERR_NOERROR;
    }

    MMRESULT treatSource(std::uint32_t d, std::uint32_t s, DestinationKind kind) {
        MIXERLINEA source;
        source.dwDestination = d;
        source.dwSource = s;
        if (const MMRESULT r = service_.mixerGetLineInfoA(
                mixer_.mixerHandle, &source, MIXER_GETLINEINFOF_SOURCE | MIXER_OBJECTF_HMIXER))
            return r;
        std::uint32_t count = 0;
        if (const MMRESULT r = readControls(source, count)) return r;
        const bool wanted = isWantedSource(kind, source);
        for (std::uint32_t c = 0; c < count; ++c) {
            const MIXERCONTROLA& control = controls_[c];
            switch (control.dwControlType) {
                case MIXERCONTROL_CONTROLTYPE_VOLUME: {
                    if (!roomInRestoreList()) break;
                    MIXERCONTROLDETAILS_SIGNED value;
                    if (const MMRESULT r = readValue(control, value)) return r;
                    record(control.dwControlID, {&value, 1}, 0);
                    // A level bar drives only a control that is put back at exit:
                    // one whose read failed is not in the restore list.
                    if (LevelSlot* slot = slotFor(mixer_, kind, source.dwComponentType)) {
                        slot->details = detailsFor(control.dwControlID, 0, kValueSize, nullptr);
                        slot->minimum = control.lMinimum;
                        slot->maximum = control.lMaximum;
                        slot->filled = true;
                    }
                    if (const MMRESULT r =
                            writeValue(control, wanted ? control.lMaximum : control.lMinimum))
                        return r;
                    break;
                }
                case MIXERCONTROL_CONTROLTYPE_MUTE: {
                    MIXERCONTROLDETAILS_SIGNED value;
                    if (const MMRESULT r = readValue(control, value)) return r;
                    // A select control has routed: the sources' mutes are left as they are.
                    if (kind != DestinationKind::kOther &&
                        (mixer_.outputRouted || mixer_.recordRouted))
                        return MMSYSERR_NOERROR;
                    if (!record(control.dwControlID, {&value, 1}, 0)) break;
                    if (const MMRESULT r =
                            writeValue(control, wanted ? control.lMinimum : control.lMaximum))
                        return r;
                    break;
                }
                case MIXERCONTROL_CONTROLTYPE_ONOFF:
                    if (!roomInRestoreList()) break;
                    if (const MMRESULT r =
                            change(control, wanted ? control.lMaximum : control.lMinimum))
                        return r;
                    break;
                default:
                    break;  // meters and everything else are left alone
            }
        }
        return MMSYSERR_NOERROR;
    }

    MMRESULT treatDestinationControl(const MIXERCONTROLA& control, DestinationKind kind) {
        if (!roomInRestoreList()) return MMSYSERR_NOERROR;
        if (isSelect(control.dwControlType)) return routeBySelect(control, kind);
        switch (control.dwControlType) {
            case MIXERCONTROL_CONTROLTYPE_VOLUME: {
                MIXERCONTROLDETAILS_SIGNED value;
                if (const MMRESULT r = readValue(control, value)) return r;
                record(control.dwControlID, {&value, 1}, 0);
                // A master volume the user has at zero stays at zero.
                return writeValue(control, value.lValue == 0 ? 0 : control.lMaximum);
            }
            case MIXERCONTROL_CONTROLTYPE_BASS:
            case MIXERCONTROL_CONTROLTYPE_TREBLE:
            case MIXERCONTROL_CONTROLTYPE_ONOFF:  // switched off
                return change(control, control.lMinimum);
            case MIXERCONTROL_CONTROLTYPE_MUTE: {
                // This one read may fail without ending the set-up.
                MIXERCONTROLDETAILS_SIGNED value;
                readValue(control, value);
                record(control.dwControlID, {&value, 1}, 0);
                return writeValue(control, control.lMinimum);  // not muted
            }
            default:
                return MMSYSERR_NOERROR;
        }
    }

    // Selects exactly the items of the wanted inputs; writes nothing when the
    // control has none of them. A control with more items than are read is
    // left alone: its selection could lie beyond them, and could then not be
    // put back.
    MMRESULT routeBySelect(const MIXERCONTROLA& control, DestinationKind kind) {
        const std::uint32_t items = control.cMultipleItems;
        if (items == 0 || items > kMaxSelectItems) return MMSYSERR_NOERROR;
        MIXERCONTROLDETAILS list = detailsFor(control.dwControlID, items,
                                              sizeof(MIXERCONTROLDETAILS_LISTTEXTA), listText_);
        if (const MMRESULT r = service_.mixerGetControlDetailsA(
                mixer_.mixerHandle, &list,
                MIXER_GETCONTROLDETAILSF_LISTTEXT | MIXER_OBJECTF_HMIXER))
            return r;
        MIXERCONTROLDETAILS values = detailsFor(control.dwControlID, items, kValueSize, items_);
        if (const MMRESULT r = service_.mixerGetControlDetailsA(
                mixer_.mixerHandle, &values, MIXER_GETCONTROLDETAILSF_VALUE | MIXER_OBJECTF_HMIXER))
            return r;
        record(control.dwControlID, {items_, items}, items);
        bool anySelected = false;
        for (std::uint32_t i = 0; i < items; ++i) {
            const bool wanted = isWantedItem(kind, listText_[i].dwParam2);
            items_[i].lValue = wanted ? 1 : 0;
            anySelected = anySelected || wanted;
        }
        if (!anySelected) return MMSYSERR_NOERROR;
        if (const MMRESULT r = service_.mixerSetControlDetails(
                mixer_.mixerHandle, &values, MIXER_SETCONTROLDETAILSF_VALUE | MIXER_OBJECTF_HMIXER))
            return r;
        if (kind == DestinationKind::kOutput) mixer_.outputRouted = true;
        if (kind == DestinationKind::kRecordMic || kind == DestinationKind::kRecordLine)
            mixer_.recordRouted = true;
        return MMSYSERR_NOERROR;
    }

    MMRESULT readControls(const MIXERLINEA& line, std::uint32_t& count) {
        count = std::min<std::uint32_t>(line.cControls, kMaxControlsPerLine);
        if (count == 0) return MMSYSERR_NOERROR;
        MIXERLINECONTROLSA request;
        request.dwLineID = line.dwLineID;
        request.cControls = count;
        request.pamxctrl = controls_;
        for (std::uint32_t c = 0; c < count; ++c) controls_[c] = MIXERCONTROLA{};
        return service_.mixerGetLineControlsA(mixer_.mixerHandle, &request,
                                              MIXER_GETLINECONTROLSF_ALL | MIXER_OBJECTF_HMIXER);
    }

    // Read, record, write: the common change of a one-value control.
    MMRESULT change(const MIXERCONTROLA& control, std::int32_t newValue) {
        MIXERCONTROLDETAILS_SIGNED value;
        if (const MMRESULT r = readValue(control, value)) return r;
        record(control.dwControlID, {&value, 1}, 0);
        return writeValue(control, newValue);
    }

    MMRESULT readValue(const MIXERCONTROLA& control, MIXERCONTROLDETAILS_SIGNED& value) {
        value = {};
        MIXERCONTROLDETAILS details = detailsFor(control.dwControlID, 0, kValueSize, &value);
        return service_.mixerGetControlDetailsA(
            mixer_.mixerHandle, &details, MIXER_GETCONTROLDETAILSF_VALUE | MIXER_OBJECTF_HMIXER);
    }

    MMRESULT writeValue(const MIXERCONTROLA& control, std::int32_t newValue) {
        MIXERCONTROLDETAILS_SIGNED value{newValue};
        MIXERCONTROLDETAILS details = detailsFor(control.dwControlID, 0, kValueSize, &value);
        return service_.mixerSetControlDetails(
            mixer_.mixerHandle, &details, MIXER_SETCONTROLDETAILSF_VALUE | MIXER_OBJECTF_HMIXER);
    }

    bool roomInRestoreList() const { return mixer_.restoreCount < kMaxRestoreEntries; }

    // Appends the control's values as read; false when the list is full.
    bool record(std::uint32_t controlId, std::span<const MIXERCONTROLDETAILS_SIGNED> values,
                std::uint32_t items) {
        if (!roomInRestoreList()) return false;
        RestoreEntry& entry = mixer_.restoreList[mixer_.restoreCount++];
        entry.details = detailsFor(controlId, items, kValueSize, nullptr);
        std::copy(values.begin(), values.end(), entry.values.begin());
        return true;
    }

    int fail(MMRESULT result) {
        char text[32];
        std::snprintf(text, sizeof text, "Mixer Error %d", static_cast<int>(result));
        status(text);
        return kMixerFailed;
    }

    void status(const char* text) {
        panelText_.SetDlgItemTextA(state_.panelWindowMixer, kMixerStatusText, text);
    }

    static constexpr std::uint32_t kValueSize = sizeof(MIXERCONTROLDETAILS_SIGNED);

    MeasurementState& state_;
    MixerState& mixer_;
    MixerService& service_;
    DialogService& dialogs_;
    DialogItemText& panelText_;
    MIXERCONTROLA controls_[kMaxControlsPerLine];
    MIXERCONTROLDETAILS_LISTTEXTA listText_[kMaxSelectItems];
    MIXERCONTROLDETAILS_SIGNED items_[kMaxSelectItems];
};

void writeLevel(MixerService& service, HMIXER handle, const LevelSlot& slot, std::int32_t value) {
    MIXERCONTROLDETAILS_SIGNED entry{value};
    MIXERCONTROLDETAILS details = slot.details;
    details.paDetails = &entry;
    service.mixerSetControlDetails(handle, &details,
                                   MIXER_SETCONTROLDETAILSF_VALUE | MIXER_OBJECTF_HMIXER);
}

std::int32_t levelValue(const LevelSlot& slot, float fraction) {
    const float minimum = static_cast<float>(slot.minimum);
    const float maximum = static_cast<float>(slot.maximum);
    return truncToInt32(minimum + (maximum - minimum) * clampFraction(fraction));
}

}  // namespace

int openMixer(MeasurementState& state, MixerState& mixer, MixerService& service,
              DialogService& dialogs, DialogItemText& panelText) {
    // The walk's scratch arrays are large; keep them off the caller's stack.
    auto setUp = std::make_unique<MixerSetUp>(state, mixer, service, dialogs, panelText);
    return setUp->run();
}

int setMixerLevels(const MeasurementState& state, MixerState& mixer, MixerService& service,
                   float micFraction, float outputFraction, float lineFraction) {
    const LevelSlot& mic = mixer.micLevelSlot;
    const LevelSlot& output = mixer.outputLevelSlot;
    const LevelSlot& line = mixer.lineLevelSlot;
    writeLevel(service, mixer.mixerHandle, mic,
               state.mixerInputMic ? levelValue(mic, micFraction) : mic.minimum);
    writeLevel(service, mixer.mixerHandle, output, levelValue(output, outputFraction));
    writeLevel(service, mixer.mixerHandle, line,
               state.mixerInputMic ? line.minimum : levelValue(line, lineFraction));
    return 0;
}

void restoreMixer(MixerState& mixer, MixerService& service) {
    const std::size_t count = std::min(mixer.restoreCount, kMaxRestoreEntries);
    for (std::size_t i = 0; i < count; ++i) {
        RestoreEntry& entry = mixer.restoreList[i];
        MIXERCONTROLDETAILS details = entry.details;
        details.paDetails = entry.values.data();
        service.mixerSetControlDetails(mixer.mixerHandle, &details,
                                       MIXER_SETCONTROLDETAILSF_VALUE | MIXER_OBJECTF_HMIXER);
    }
}

void closeMixer(MixerState& mixer, MixerService& service) {
    if (mixer.mixerHandle != 0) service.mixerClose(mixer.mixerHandle);
    mixer.mixerHandle = 0;
}

}  // namespace ressona
