// Runs the benchmarks with the usual console table, then prints one plain
// summary line per figure so that runs can be compared line by line:
//   analyseCapture mode=MLS N=2048 us=...
//   processor model="..." extensions=avx,avx2,fma fft_kernel=avx
//   fft N=16384 ours_us=... fftw_us=... ratio=... kernel=avx512f+avx   (the form fft() uses)
//   fft N=16384 ours_us=... fftw_us=... ratio=... kernel=avx   (the AVX form alone, if it differs)
//   room seconds=2 rate=48000 bands=... analyse_ms=... ratio=...
//   waterfall steps=30 N=16384 draw_ms=... fftw_ms=... ratio=...
//   logsweep samples=65536 rate=48000 analyse_ms=... sweep_ms=... ratio=...  (processor time)
//   logsweep whole samples=1048576 rate=48000 result_ms=... sweep_ms=... ratio=...

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>

#include "analysis/fft.h"
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

// The processor's model as the kernel names it, or "unknown".
std::string processorModel() {
    std::ifstream info("/proc/cpuinfo");
    std::string line;
    while (std::getline(info, line)) {
        if (line.rfind("model name", 0) != 0) continue;
        const std::size_t colon = line.find(':');
        if (colon != std::string::npos) return line.substr(line.find_first_not_of(' ', colon + 1));
    }
    return "unknown";
}

// The vector extensions the processor offers, of those a transform could use.
std::string vectorExtensions() {
    std::string list;
#if defined(__x86_64__) || defined(__i386__)
    auto add = [&list](const char* name, bool present) {
        if (!present) return;
        if (!list.empty()) list += ",";
        list += name;
    };
    add("sse2", __builtin_cpu_supports("sse2"));
    add("avx", __builtin_cpu_supports("avx"));
    add("avx2", __builtin_cpu_supports("avx2"));
    add("fma", __builtin_cpu_supports("fma"));
    add("avx512f", __builtin_cpu_supports("avx512f"));
#endif
    return list.empty() ? "none" : list;
}

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
    std::printf("processor model=\"%s\" extensions=%s fft_kernel=%s\n", processorModel().c_str(),
                vectorExtensions().c_str(), ressona::fftKernelName());
    for (const char* n : {"64", "1024", "4096", "16384", "1048576"}) {
        // Processor time of both in alternating turns: on a shared machine the
        // wall clock also counts other programs.
        auto line = [&reporter, n](const char* benchmarkName, const char* kernel) {
            const std::string name = std::string(benchmarkName) + "/" + n;
            const double* ours = reporter.counter(name, "ours_us");
            const double* fftw = reporter.counter(name, "fftw_us");
            const double* ratio = reporter.counter(name, "ratio");
            if (ours == nullptr || fftw == nullptr || ratio == nullptr) return;
            std::printf("fft N=%s ours_us=%.3f fftw_us=%.3f ratio=%.2f kernel=%s\n", n, *ours,
                        *fftw, *ratio, kernel);
        };
        line("fftAgainstFftw", ressona::fftKernelName());
        if (std::string(ressona::fftKernelName()) != "avx") line("fftAvxAgainstFftw", "avx");
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
    if (const double* us = reporter.findCpu("wholeSweepResult/1048576")) {
        const double sweepMs = 1048576.0 * 1000.0 / 48000.0;
        std::printf("logsweep whole samples=1048576 rate=48000 result_ms=%.1f sweep_ms=%.1f "
                    "ratio=%.4f\n",
                    *us / 1000.0, sweepMs, *us / 1000.0 / sweepMs);
    }
    return 0;
}
