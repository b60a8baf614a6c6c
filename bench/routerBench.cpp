// GAIN's processing against its floor: the least work a block of eight
// outputs needs (seven blocks of zero and one block of input × level).
// After the runs, prints processOverwriting / floor per block size from the
// medians of the repetitions.
#include "RouterEffect.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int32_t kMaxFrames = 4096;
constexpr int kRepetitions = 5;
constexpr double kAllowedRatio = 1.15;

struct Buffers {
  std::vector<float> in;
  std::vector<std::vector<float>> out;
  float *inPtrs[1];
  float *outPtrs[8];

  Buffers() : in(kMaxFrames), out(8, std::vector<float>(kMaxFrames, 0.0f)) {
    for (int32_t i = 0; i < kMaxFrames; ++i) {
      in[i] = std::sin(0.01f * static_cast<float>(i));
    }
    inPtrs[0] = in.data();
    for (int n = 0; n < 8; ++n) {
      outPtrs[n] = out[n].data();
    }
  }
};

// The floor: one block of input × level, seven blocks of zero.
__attribute__((noinline)) void floorBlock(const float *input, float *const *outputs, int32_t frames,
                                          float level) {
  float *active = outputs[0];
  for (int32_t i = 0; i < frames; ++i) {
    active[i] = input[i] * level;
  }
  for (int n = 1; n < 8; ++n) {
    std::memset(outputs[n], 0, static_cast<std::size_t>(frames) * sizeof(float));
  }
}

void overwritingFloor(benchmark::State &state) {
  Buffers b;
  const auto frames = static_cast<int32_t>(state.range(0));
  float level = 0.7f;
  for (auto _ : state) {
    benchmark::DoNotOptimize(level);
    floorBlock(b.inPtrs[0], b.outPtrs, frames, level);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * frames);
}

// No host callback: the transport answer is null, so every block runs the
// steps, the envelope and the level, and keeps its output.
void processOverwriting(benchmark::State &state) {
  Buffers b;
  gain::RouterEffect fx(nullptr);
  fw::EffectBase *effect = &fx; // called through the virtual slot, as the entry does
  const auto frames = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    effect->processOverwriting(b.inPtrs, b.outPtrs, frames);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * frames);
}

void processAdding(benchmark::State &state) {
  Buffers b;
  gain::RouterEffect fx(nullptr);
  fw::EffectBase *effect = &fx;
  const auto frames = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    effect->processAdding(b.inPtrs, b.outPtrs, frames);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * frames);
}

// This thread's CPU time in nanoseconds: time spent preempted on a busy
// machine is not counted.
double threadCpuNs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

// processOverwriting and the floor timed in alternating batches on the same
// buffers, so that a change in the machine's load falls on both alike.
void overwritingOverFloor(benchmark::State &state) {
  Buffers b;
  gain::RouterEffect fx(nullptr);
  fw::EffectBase *effect = &fx;
  const auto frames = static_cast<int32_t>(state.range(0));
  const int batch = std::max(16, 65536 / frames); // some microseconds per timed batch
  double floorTime = 0.0;
  double effectTime = 0.0;
  float level = 0.7f;
  bool floorFirst = true;
  for (auto _ : state) {
    for (int pass = 0; pass < 2; ++pass) {
      const bool timingFloor = (pass == 0) == floorFirst;
      const double start = threadCpuNs();
      for (int k = 0; k < batch; ++k) {
        if (timingFloor) {
          benchmark::DoNotOptimize(level);
          floorBlock(b.inPtrs[0], b.outPtrs, frames, level);
        } else {
          effect->processOverwriting(b.inPtrs, b.outPtrs, frames);
        }
        benchmark::ClobberMemory();
      }
      (timingFloor ? floorTime : effectTime) += threadCpuNs() - start;
    }
    floorFirst = !floorFirst;
  }
  const double blocks = static_cast<double>(state.iterations()) * batch;
  state.counters["floor_ns"] = floorTime / blocks;
  state.counters["effect_ns"] = effectTime / blocks;
  state.counters["ratio"] = effectTime / floorTime;
}

// The console report, keeping each benchmark's median CPU time per block.
class RatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &run : runs) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      if ((median || single) && !run.error_occurred) {
        medians[{run.run_name.function_name, run.run_name.args}] = run.GetAdjustedCPUTime();
        const auto ratio = run.counters.find("ratio");
        if (ratio != run.counters.end()) {
          pairedRatios[run.run_name.args] = ratio->second.value;
        }
      }
    }
  }
  std::map<std::pair<std::string, std::string>, double> medians;
  std::map<std::string, double> pairedRatios;
};

} // namespace

BENCHMARK(overwritingFloor)->Arg(32)->Arg(512)->Arg(4096)->Repetitions(kRepetitions);
BENCHMARK(processOverwriting)->Arg(32)->Arg(512)->Arg(4096)->Repetitions(kRepetitions);
BENCHMARK(processAdding)->Arg(32)->Arg(512)->Arg(4096)->Repetitions(kRepetitions);
BENCHMARK(overwritingOverFloor)->Arg(32)->Arg(512)->Arg(4096)->Repetitions(kRepetitions);

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  // Two figures per block size: the ratio of the separate benchmarks' medians,
  // and the median ratio of the alternating batches (the steadier one on a
  // busy machine, and the one held to the limit).
  std::printf("\nprocessOverwriting / floor per block (limit %.2f)\n", kAllowedRatio);
  std::printf("  frames  separate medians  alternating batches\n");
  bool within = true;
  for (const char *frames : {"32", "512", "4096"}) {
    const auto floorTime = reporter.medians.find({"overwritingFloor", frames});
    const auto effectTime = reporter.medians.find({"processOverwriting", frames});
    const auto paired = reporter.pairedRatios.find(frames);
    std::printf("  %6s", frames);
    if (floorTime != reporter.medians.end() && effectTime != reporter.medians.end()) {
      std::printf("  %16.3f", effectTime->second / floorTime->second);
    } else {
      std::printf("  %16s", "-");
    }
    if (paired != reporter.pairedRatios.end()) {
      within = within && paired->second <= kAllowedRatio;
      std::printf("  %19.3f%s\n", paired->second,
                  paired->second <= kAllowedRatio ? "" : "  above the limit");
    } else {
      std::printf("  %19s\n", "-");
    }
  }
  std::printf("%s\n", within ? "processOverwriting is within the limit"
                             : "processOverwriting is ABOVE the limit");
  return 0;
}
