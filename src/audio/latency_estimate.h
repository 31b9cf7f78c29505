#pragma once
// Where the played excitation starts in the recording, from the devices' own
// clocks: readings of the input's and the output's positions taken together
// while both run. Each reading gives input - output, the recording position
// that the output's current sample lands on less that sample's index, which
// is the offset sought whenever both positions are right. The estimate is
// taken from the first readings that agree: a reading spoilt by a late
// thread or an interpolation hiccup does not count, and neither does what
// happens later in the pass. A server whose graph drops or repeats a cycle
// mid-pass (PipeWire does now and then, most often while the streams of a
// new pass settle) shifts everything played after it by that cycle, and the
// readings from then on say so; but the excitation starts with the playback,
// and its offset is the one the readings agreed on first.
//
// Some sound servers hand samples over in cycles of q samples and say nothing
// reliable between them (PulseAudio's ALSA plugin clamps a monitor's latency
// to zero, and its smoothed playback timing is tens to hundreds of samples
// out while a stream is new). Their input moves in steps of q, the playback
// is written just after a step has arrived, and the server plays the first
// sample at its next cycle, where the recording stands at its count at the
// write: that count is the offset, and the readings are not used.

#include <array>
#include <cstdint>

namespace ressona {

class LatencyEstimate {
  public:
    // Readings kept; beyond that every other one is dropped and only every
    // second later one kept, and so on, so a long pass is still sampled evenly.
    static constexpr std::size_t kCapacity = 256;
    // Readings in a row that must agree before their offset is taken, and by
    // how many samples they may differ: readings of one offset scatter by a
    // sample or two, a dropped or repeated cycle moves them by 16 or more.
    static constexpr std::size_t kSteadyReadings = 5;
    static constexpr std::int64_t kSteadyScatter = 4;

    // Starts a pass whose playback was written when the input stood at
    // `inputAtWrite`, the input moving in steps of `inputStep` samples (1: at
    // any moment).
    void begin(std::int64_t inputAtWrite, std::uint32_t inputStep);
    // One reading: the input's position and the output's, the latter counted
    // from the first sample of this pass's buffer. A reading counts only when
    // both positions have moved since the one before: before a stream really
    // runs, or while its server's timing is stale, its position stands still
    // and the difference means nothing.
    void add(std::int64_t input, std::int64_t output);
    // How many readings count so far.
    std::size_t readings() const { return count_; }
    // The offset in samples, limited to the 32-bit range: for a stepped input
    // its position at the write; otherwise the median of the first
    // kSteadyReadings counting readings in a row that lie within
    // kSteadyScatter of each other, failing that the median of all kept, or
    // with none the last reading offered (0 without any).
    std::int32_t result() const;

  private:
    // Keeps the offset of the first steady run, once there is one.
    void noteSteadiness(std::int64_t offset);

    std::array<std::int64_t, kCapacity> offsets_{};
    std::size_t count_ = 0;
    std::uint64_t seen_ = 0;    // readings offered since begin
    std::uint64_t stride_ = 1;  // keep one in this many
    std::int64_t inputAtWrite_ = 0;
    std::int64_t step_ = 1;
    std::int64_t lastInput_ = 0;
    std::int64_t lastOutput_ = 0;
    std::int64_t latest_ = 0;
    bool haveLast_ = false;
    // The latest counting readings, oldest first, until a steady run is found
    // (before any are dropped to keep within the capacity).
    std::array<std::int64_t, kSteadyReadings> recent_{};
    std::size_t recentCount_ = 0;
    std::int64_t steady_ = 0;
    bool haveSteady_ = false;
};

}  // namespace ressona
