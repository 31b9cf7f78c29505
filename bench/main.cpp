// Runs the benchmarks with the usual console table, then prints one plain
// summary line per figure so that runs can be compared line by line:
//   analyseCapture mode=MLS N=2048 us=...
//   fft N=16384 ours_us=... fftw_us=... ratio=...
//   room seconds=2 rate=48000 bands=... analyse_ms=... ratio=...
//   waterfall steps=30 N=16384 draw_ms=... fftw_ms=... ratio=...
//   logsweep samples=65536 rate=48000 analyse_ms=... sweep_ms=... ratio=...  (processor time)

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>

#include "room/frequency_bands.h"

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

namespace {

// Remembers each benchmark's time per iteration in microseconds.
class SummaryReporter : public benchmark::ConsoleReporter {
  public:
    SummaryReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type != Run::RT_Iteration && !median) continue;
            std::string name = run.run_name.function_name + "/" + run.run_name.args;
            if (median || microseconds_.count(name) == 0) {
                microseconds_[name] = run.GetAdjustedRealTime();
                cpuMicroseconds_[name] = run.GetAdjustedCPUTime();
            }
            if (median || counters_.count(name) == 0) counters_[name] = run.counters;
        }
    }

    const double* find(const std::string& name) const {
        const auto found = microseconds_.find(name);
        return found == microseconds_.end() ? nullptr : &found->second;
    }
    // The processor time instead: on a shared machine it counts only this program's work.
    const double* findCpu(const std::string& name) const {
        const auto found = cpuMicroseconds_.find(name);
        return found == cpuMicroseconds_.end() ? nullptr : &found->second;
    }

    // A user counter of the benchmark of that name, or nullptr.
    const double* counter(const std::string& name, const std::string& counter) const {
        const auto found = counters_.find(name);
        if (found == counters_.end()) return nullptr;
        const auto value = found->second.find(counter);
        return value == found->second.end() ? nullptr : &value->second.value;
    }

  private:
    std::map<std::string, double> microseconds_;
    std::map<std::string, double> cpuMicroseconds_;
    std::map<std::string, benchmark::UserCounters> counters_;
};

}  // namespace

int main(int argc, char** argv) {
#if defined(__x86_64__) || defined(__i386__)
    // The benchmarks transform the same buffer over and over; the scaled
    // transform shrinks it towards denormal values, whose slow path would time
    // the processor's microcode instead of the transform. Flush them to zero.
    _mm_setcsr(_mm_getcsr() | 0x8040);
#endif
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\n");
    for (const char* mode : {"MLS", "Pulse"}) {
        for (const char* n : {"2048", "16384"}) {
            if (const double* us = reporter.find(std::string("analyseCapture") + mode + "/" + n)) {
                std::printf("analyseCapture mode=%s N=%s us=%.2f\n", mode, n, *us);
            }
        }
    }
    if (const double* us = reporter.findCpu("roomAnalysis/48000/2")) {
        const std::size_t bands = ressona::roomBands(48000, true, true).size();
        std::printf("room seconds=2 rate=48000 bands=%zu analyse_ms=%.2f ratio=%.4f\n", bands,
                    *us / 1000.0, *us / 2e6);
    }
    for (const char* n : {"64", "1024", "4096", "16384"}) {
        const double* ours = reporter.find(std::string("fftOurs/") + n);
        const double* fftw = reporter.find(std::string("fftFftw/") + n);
        if (ours == nullptr || fftw == nullptr) continue;
        std::printf("fft N=%s ours_us=%.3f fftw_us=%.3f ratio=%.2f\n", n, *ours, *fftw,
                    *ours / *fftw);
    }
    for (const char* steps : {"30", "8192"}) {
        const std::string name = std::string("BM_Waterfall/steps:") + steps + "/reduced:1";
        const double* draw = reporter.counter(name, "draw_ms");
        const double* fftw = reporter.counter(name, "fftw_ms");
        const double* ratio = reporter.counter(name, "ratio_to_fftw");
        if (draw == nullptr || fftw == nullptr || ratio == nullptr) continue;
        std::printf("waterfall steps=%s N=16384 draw_ms=%.2f fftw_ms=%.2f ratio=%.2f\n", steps,
                    *draw, *fftw, *ratio);
    }
    for (const char* samples : {"65536", "262144"}) {
        const double* us = reporter.findCpu(std::string("analyseSweep/") + samples);
        if (us == nullptr) continue;
        const double sweepMs = std::stod(samples) * 1000.0 / 48000.0;
        std::printf("logsweep samples=%s rate=48000 analyse_ms=%.2f sweep_ms=%.1f ratio=%.4f\n",
                    samples, *us / 1000.0, sweepMs, *us / 1000.0 / sweepMs);
    }
    return 0;
}
