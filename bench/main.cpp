// Runs the benchmarks with the usual console table, then prints one plain
// summary line per figure so that runs can be compared line by line:
//   analyseCapture mode=MLS N=2048 us=...
//   fft N=16384 ours_us=... fftw_us=... ratio=...
//   room seconds=2 rate=48000 bands=... analyse_ms=... ratio=...

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
        }
    }

    const double* find(const std::string& name) const {
        const auto found = microseconds_.find(name);
        return found == microseconds_.end() ? nullptr : &found->second;
    }

    // The processor time, which other jobs on a shared machine do not inflate.
    const double* findCpu(const std::string& name) const {
        const auto found = cpuMicroseconds_.find(name);
        return found == cpuMicroseconds_.end() ? nullptr : &found->second;
    }

  private:
    std::map<std::string, double> microseconds_;
    std::map<std::string, double> cpuMicroseconds_;
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
    return 0;
}
