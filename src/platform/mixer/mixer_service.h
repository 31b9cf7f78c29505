#pragma once
// The audio mixer service: mixer devices numbered 0..n-1, each with
// destination lines (speakers, recording, ...) that have source lines
// connected to them, and controls (volume, mute, switch, select ...) on every
// line. Calls, records, flags and type numbers keep the names and values the
// program's mixer code has always been written against.

#include <cstdint>

#include "platform/wave/wave_service.h"  // MMRESULT, UINT, MMSYSERR_ codes

namespace ressona {

using HMIXER = std::uintptr_t;  // 0 is no mixer

inline constexpr MMRESULT MIXERR_INVALLINE = 1024;
inline constexpr MMRESULT MIXERR_INVALCONTROL = 1025;
inline constexpr MMRESULT MIXERR_INVALVALUE = 1026;

inline constexpr std::uint32_t MIXER_OBJECTF_MIXER = 0x00000000;   // addressed by id
inline constexpr std::uint32_t MIXER_OBJECTF_HMIXER = 0x80000000;  // addressed by handle
inline constexpr std::uint32_t MIXER_GETLINEINFOF_DESTINATION = 0x0;
inline constexpr std::uint32_t MIXER_GETLINEINFOF_SOURCE = 0x1;
inline constexpr std::uint32_t MIXER_GETLINECONTROLSF_ALL = 0x0;
inline constexpr std::uint32_t MIXER_GETCONTROLDETAILSF_VALUE = 0x0;
inline constexpr std::uint32_t MIXER_GETCONTROLDETAILSF_LISTTEXT = 0x1;
inline constexpr std::uint32_t MIXER_SETCONTROLDETAILSF_VALUE = 0x0;

// Component types of lines.
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_DST_UNDEFINED = 0;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_DST_DIGITAL = 1;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_DST_LINE = 2;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_DST_MONITOR = 3;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_DST_SPEAKERS = 4;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_DST_HEADPHONES = 5;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_DST_TELEPHONE = 6;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_DST_WAVEIN = 7;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_DST_VOICEIN = 8;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED = 0x1000;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_DIGITAL = 0x1001;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_LINE = 0x1002;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE = 0x1003;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER = 0x1004;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC = 0x1005;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_TELEPHONE = 0x1006;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_PCSPEAKER = 0x1007;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT = 0x1008;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY = 0x1009;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_ANALOG = 0x100A;

// Control types (class, units and subtype bits combined, as the platform defines them).
inline constexpr std::uint32_t MIXERCONTROL_CONTROLTYPE_SIGNEDMETER = 0x10020000;
inline constexpr std::uint32_t MIXERCONTROL_CONTROLTYPE_ONOFF = 0x20010001;
inline constexpr std::uint32_t MIXERCONTROL_CONTROLTYPE_MUTE = 0x20010002;
inline constexpr std::uint32_t MIXERCONTROL_CONTROLTYPE_VOLUME = 0x50030001;
inline constexpr std::uint32_t MIXERCONTROL_CONTROLTYPE_BASS = 0x50030002;
inline constexpr std::uint32_t MIXERCONTROL_CONTROLTYPE_TREBLE = 0x50030003;
inline constexpr std::uint32_t MIXERCONTROL_CONTROLTYPE_SINGLESELECT = 0x70010000;
inline constexpr std::uint32_t MIXERCONTROL_CONTROLTYPE_MUX = 0x70010001;
inline constexpr std::uint32_t MIXERCONTROL_CONTROLTYPE_MULTIPLESELECT = 0x71010000;
inline constexpr std::uint32_t MIXERCONTROL_CONTROLTYPE_MIXER = 0x71010001;
inline constexpr std::uint32_t MIXERCONTROL_CONTROLF_MULTIPLE = 0x00000002;

inline constexpr std::size_t MAXPNAMELEN = 32;
inline constexpr std::size_t MIXER_SHORT_NAME_CHARS = 16;
inline constexpr std::size_t MIXER_LONG_NAME_CHARS = 64;

struct MIXERCAPSA {
    std::uint16_t wMid = 0;
    std::uint16_t wPid = 0;
    std::uint32_t vDriverVersion = 0;
    char szPname[MAXPNAMELEN] = {};  // product name, zero-terminated
    std::uint32_t fdwSupport = 0;
    std::uint32_t cDestinations = 0;
};

struct MIXERLINEA {
    std::uint32_t cbStruct = sizeof(MIXERLINEA);
    std::uint32_t dwDestination = 0;  // in: destination index
    std::uint32_t dwSource = 0;       // in: source index (source queries)
    std::uint32_t dwLineID = 0;
    std::uint32_t fdwLine = 0;
    std::uintptr_t dwUser = 0;
    std::uint32_t dwComponentType = 0;
    std::uint32_t cChannels = 0;
    std::uint32_t cConnections = 0;  // sources of a destination
    std::uint32_t cControls = 0;
    char szShortName[MIXER_SHORT_NAME_CHARS] = {};
    char szName[MIXER_LONG_NAME_CHARS] = {};  // zero-terminated
};

struct MIXERCONTROLA {
    std::uint32_t cbStruct = sizeof(MIXERCONTROLA);
    std::uint32_t dwControlID = 0;
    std::uint32_t dwControlType = 0;
    std::uint32_t fdwControl = 0;
    std::uint32_t cMultipleItems = 0;  // items of a select control
    char szShortName[MIXER_SHORT_NAME_CHARS] = {};
    char szName[MIXER_LONG_NAME_CHARS] = {};
    std::int32_t lMinimum = 0;  // bounds
    std::int32_t lMaximum = 0;
    std::uint32_t cSteps = 0;
};

struct MIXERLINECONTROLSA {
    std::uint32_t cbStruct = sizeof(MIXERLINECONTROLSA);
    std::uint32_t dwLineID = 0;
    std::uint32_t dwControlID = 0;  // unused by MIXER_GETLINECONTROLSF_ALL
    std::uint32_t cControls = 0;    // entries of pamxctrl to fill
    std::uint32_t cbmxctrl = sizeof(MIXERCONTROLA);
    MIXERCONTROLA* pamxctrl = nullptr;
};

// One value of a control; every kind of value is 4 bytes.
struct MIXERCONTROLDETAILS_SIGNED {
    std::int32_t lValue = 0;  // volumes, switches and select items alike; bounds are signed
};
struct MIXERCONTROLDETAILS_LISTTEXTA {
    std::uint32_t dwParam1 = 0;  // line id of the item's source
    std::uint32_t dwParam2 = 0;  // component type of the item's source
    char szName[MIXER_LONG_NAME_CHARS] = {};
};

struct MIXERCONTROLDETAILS {
    std::uint32_t cbStruct = sizeof(MIXERCONTROLDETAILS);
    std::uint32_t dwControlID = 0;
    std::uint32_t cChannels = 0;       // 1: one value given for all channels
    std::uint32_t cMultipleItems = 0;  // 0 for a plain control, else items to read or write
    std::uint32_t cbDetails = 0;       // size of one entry of paDetails
    void* paDetails = nullptr;         // cChannels x max(1, cMultipleItems) entries
};

// Common rules of every backend: queries address an open mixer by handle with
// MIXER_OBJECTF_HMIXER (mixerGetDevCapsA takes an id); a read of list texts or
// values fills exactly cChannels x max(1, cMultipleItems) entries of the
// caller's array and never more; cMultipleItems may be below the control's
// item count (the first items are read or written, the rest left alone) but
// not above it, and a record whose sizes do not fit is refused with
// MMSYSERR_INVALPARAM. mixerGetLineControlsA fills at most cControls entries.
class MixerService {
  public:
    virtual ~MixerService() = default;

    virtual UINT mixerGetNumDevs() = 0;
    virtual MMRESULT mixerOpen(HMIXER* handle, UINT mixerId, std::uintptr_t callback,
                               std::uintptr_t instance, std::uint32_t flags) = 0;
    virtual MMRESULT mixerClose(HMIXER handle) = 0;
    virtual MMRESULT mixerGetDevCapsA(std::uintptr_t mixerId, MIXERCAPSA* caps, UINT size) = 0;
    virtual MMRESULT mixerGetLineInfoA(HMIXER handle, MIXERLINEA* line, std::uint32_t flags) = 0;
    virtual MMRESULT mixerGetLineControlsA(HMIXER handle, MIXERLINECONTROLSA* controls,
                                           std::uint32_t flags) = 0;
    virtual MMRESULT mixerGetControlDetailsA(HMIXER handle, MIXERCONTROLDETAILS* details,
                                             std::uint32_t flags) = 0;
    virtual MMRESULT mixerSetControlDetails(HMIXER handle, const MIXERCONTROLDETAILS* details,
                                            std::uint32_t flags) = 0;
};

}  // namespace ressona
