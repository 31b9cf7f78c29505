#pragma once
// Whether a pass's recording is what a linear, time-invariant system can give
// for the excitation played. A sound server on a busy machine may drop or
// repeat a cycle of samples, or start the playback a cycle or more later than
// its positions say, without reporting anything; the analysis would then show
// a plainly wrong response as a good one.
//
// The played excitation is cut into equal slices and each is found in the
// recording by cross-correlation over lags around the latency (within half a
// period for a periodic excitation, so that an MLS's periods are told apart).
// A slice is judged only when its correlation peak stands well clear of the
// correlation at the other lags (a loopback, a card, a room with a direct
// sound above its noise): a reverberant hall, a buried signal or a slice of
// silence are not judged, so what the system does to the excitation never
// fails a pass. Then:
// - every judged slice must still correlate at the first judged slice's lag
//   with at least half its own peak: a slip moves the later slices' peaks
//   away from there (for the MLS: its periods agree in time);
// - every judged slice must be about as alike to its recording at that lag
//   as the others are: a stretch spoilt in place breaks that likeness;
// - the first judged slice's peak may not lie before the latency: a causal
//   system cannot answer before it is excited;
// - the offset of that peak from the latency must be where the run's first
//   judged pass had it (the same system, the same distance);
// - a periodic excitation's recording must repeat itself a period later
//   through to its end (pass_agreement.h): a slip in the last slice, which
//   no timing sees, spoils the period the MLS response is taken from.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace ressona {

struct MeasurementState;

// How often a pass is played at most while its recording fails the check.
inline constexpr int kPassPlaysAtMost = 3;
inline constexpr std::int64_t kPassCheckSlices = 8;
// Lags searched on each side of the latency: several cycles of a sound server.
inline constexpr std::int64_t kPassCheckSearchSamples = 1024;

struct PassTiming {
    bool judged = false;          // at least one slice stood clear of its noise
    std::int64_t arrival = 0;     // the first judged slice's lag: where sample 0 landed
    std::int64_t judgedSlices = 0;
    std::int64_t slipSamples = 0; // a judged slice's lag against arrival, when it broke away
    bool slipped = false;
    // A periodic excitation judged only in its later periods: the arrival
    // found is a period before the true one.
    bool periodLate = false;
    // The first played sample of a judged slice far less like its recording
    // than the others are, or -1.
    std::int64_t spoiltFrom = -1;
};

// Times the played codes (unsigned 8-bit, rest 128) in the recording, around
// `latency` (the recording's sample where played sample 0 should land);
// `period` is the excitation's period in samples, 0 for none.
PassTiming timePass(std::span<const std::uint8_t> played, std::span<const std::int16_t> recording,
                    std::int64_t latency, std::int64_t period);

// What is wrong with a pass so timed, for people; empty when nothing is.
// `reference` is the offset of the arrival from the latency that the run's
// first judged pass had, if there was one.
std::string passFault(const PassTiming& timing, std::int64_t latency,
                      std::optional<std::int64_t> reference);

// What the check makes of the pass just recorded.
struct PassVerdict {
    std::string fault;                   // why it is not a result; empty when it is
    bool confirming = false;             // the run's first timed recording: play once more
    bool conclusive = false;             // a second play like it cannot mend the fault
    std::int64_t arrival = -1;           // where the excitation was found; -1: not found
};

// The fault of a pass whose recording holds no sound at all.
inline constexpr const char* kSilentRecording =
    "the recording holds no sound (the playback did not reach the input, or the input is muted)";

// The fault of a pass whose reference channel holds no excitation.
inline constexpr const char* kSilentReference =
    "the reference channel holds no excitation (is the output wired back to it?)";

// With a reference channel a slip is found for certain, so a pass may be
// played this often while its reference shows one.
inline constexpr int kReferencePlaysAtMost = 8;

// With state.reference, the pass is timed on the reference channel instead:
// state.latencySamples becomes where the excitation arrived there (a late
// start, a wrong latency are harmless: they move both channels alike), a slip
// or a spoilt stretch there is a fault (through a system with memory a cut
// stream is no response of it), and a reference channel in which the
// excitation cannot be found (silent, unplugged, not the output) is a
// conclusive fault. Otherwise:
// Checks the pass just recorded in state.device against state.passCheck and
// state.latencySamples. The run's first timed recording is not trusted alone:
// a playback that started a cycle late unreported lands every sample a cycle
// late and looks like a longer distance, so a second recording must put the
// excitation at the same place before that place becomes the run's reference.
// With state.passCheck.comparesPasses, last, a recording must agree with the
// one kept from before (pass_agreement.h); the run's first is played once
// more to be compared with.
PassVerdict checkRecordedPass(MeasurementState& state);

}  // namespace ressona
