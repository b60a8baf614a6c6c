// GAIN's processing against its floor: the least work a block of eight
// outputs needs, seven blocks of zero and one block of input × level.
//
// processOverwriting is timed as a host calls it, through the virtual slot,
// in two settings: with a host that answers the transport request (one
// request per block, the song moving on at 120 BPM, the clock counting and
// ticking), and with no host callback (no request is sent, the transport
// answer is null and the clock is left out); GAIN's sample loops alone, to
// show the per-frame work against the floor; and the floor with the bare
// transport request added, the least that any block making the request can
// cost. After the runs it prints
// processOverwriting / floor per block size for both, from batches of the
// effect and the floor timed alternately on the same buffers with this
// thread's CPU time, each side judged by its batch at the 1st percentile.
#include "RouterEffect.h"
#include "framework/HostRecords.h"
#include "framework/RequestCodes.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int32_t kMaxFrames = 4096;
constexpr int kRepetitions = 5;
constexpr double kAllowedRatio = 1.15;
const std::vector<int64_t> kBlockSizes = {32, 512, 4096};

// The block buffers, each on a 64-byte boundary as hosts allocate them (a
// buffer that starts inside a cache line makes wide stores straddle lines,
// and the floor's memset then measures the buffers' placement), and each
// starting at a different place within a 4 KiB page: buffers a whole number
// of pages apart make the processor take loads of one for stores to another
// (4K aliasing), which would measure their spacing instead of the code.
struct Buffers {
  static constexpr int32_t kStride = kMaxFrames + 16; // 64 bytes more than a buffer
  alignas(64) float storage[9][kStride];
  float *inPtrs[1];
  float *outPtrs[8];

  Buffers() {
    for (auto &buffer : storage) {
      std::fill(buffer, buffer + kStride, 0.0f);
    }
    for (int32_t i = 0; i < kMaxFrames; ++i) {
      storage[0][i] = std::sin(0.01f * static_cast<float>(i));
    }
    inPtrs[0] = storage[0];
    for (int n = 0; n < 8; ++n) {
      outPtrs[n] = storage[n + 1];
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

// GAIN's own sample loops for one block, without the per-block steps: what
// processOverwriting does per frame, next to the floor.
__attribute__((noinline)) void routeOnly(const float *input, float *const *outputs, int32_t frames,
                                         float level) {
  gain::routeBlock(input, outputs, 0, level, frames);
}

// The benchmark's host: answers the transport request with a song that plays
// at 120 BPM and moves on by one block per request.
struct BenchHost {
  fw::TransportInfo info{};
  double quartersPerBlock = 0.0;
};
BenchHost benchHost;

fw::IntPtr PLUGIN_CALL answerHost(fw::EffectRecord *, int32_t code, int32_t, fw::IntPtr, void *,
                                  float) {
  if (code != fw::kHostGetTransportInfo) {
    return 0;
  }
  benchHost.info.beatPosition += benchHost.quartersPerBlock;
  return reinterpret_cast<fw::IntPtr>(&benchHost.info);
}

// The least any block of GAIN adds to the floor: the transport request
// through the host callback, and reading the song position it answers.
__attribute__((noinline)) double requestOnly(fw::HostCallback host, fw::EffectRecord *record) {
  const auto *info = reinterpret_cast<const fw::TransportInfo *>(
      host(record, fw::kHostGetTransportInfo, 0, fw::kRouterTransportMask, nullptr, 0.0f));
  return info != nullptr ? info->beatPosition : 0.0;
}

// The host callback for a run: the answering host with its song at the start,
// or none.
fw::HostCallback hostFor(bool withTransport, int32_t frames) {
  benchHost.info = fw::TransportInfo{};
  benchHost.info.tempo = 120.0;
  benchHost.info.sampleRate = 44100.0;
  benchHost.quartersPerBlock = frames / 44100.0 * 2.0;
  return withTransport ? answerHost : nullptr;
}

void overwritingFloor(benchmark::State &state) {
  const auto buffers = std::make_unique<Buffers>();
  Buffers &b = *buffers;
  const auto frames = static_cast<int32_t>(state.range(0));
  float level = 0.7f;
  for (auto _ : state) {
    benchmark::DoNotOptimize(level);
    floorBlock(b.inPtrs[0], b.outPtrs, frames, level);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * frames);
}

void processOverwriting(benchmark::State &state) {
  const auto buffers = std::make_unique<Buffers>();
  Buffers &b = *buffers;
  const auto frames = static_cast<int32_t>(state.range(0));
  gain::RouterEffect fx(hostFor(true, frames));
  fw::EffectBase *effect = &fx; // through the virtual slot, as the record's entry calls it
  for (auto _ : state) {
    effect->processOverwriting(b.inPtrs, b.outPtrs, frames);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * frames);
}

// processAdding sends no host request.
void processAdding(benchmark::State &state) {
  const auto buffers = std::make_unique<Buffers>();
  Buffers &b = *buffers;
  const auto frames = static_cast<int32_t>(state.range(0));
  gain::RouterEffect fx(hostFor(true, frames));
  fw::EffectBase *effect = &fx;
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

// What a timed batch measures of the clock itself: two reads back to back, at
// the 1st percentile of many.
double clockReadCost() {
  std::vector<double> times(1000);
  for (double &t : times) {
    const double start = threadCpuNs();
    t = threadCpuNs() - start;
  }
  std::nth_element(times.begin(), times.begin() + 10, times.end());
  return times[10];
}

// The 1st percentile of batch times.
double lowPercentile(std::vector<double> &times) {
  if (times.empty()) {
    return 0.0;
  }
  const auto at = times.begin() + static_cast<std::ptrdiff_t>(times.size() / 100);
  std::nth_element(times.begin(), at, times.end());
  return *at;
}

// processOverwriting and the floor in alternating batches on the same
// buffers. Arguments: frames, and the setting: 0 processOverwriting with the
// answering host, 1 processOverwriting without a host, 2 GAIN's sample loops
// alone, 3 the floor plus the transport request alone (what the request that
// every block must make costs, against the floor). Each side is judged by its batch at the 1st
// percentile: on a busy machine other programs only add time (cache and core sharing as well as
// preemption), so the fast batches show what the code itself costs; the
// percentile, unlike the single fastest batch, ignores the rare batch whose
// CPU time was under-counted.
void overwritingOverFloor(benchmark::State &state) {
  const auto buffers = std::make_unique<Buffers>();
  Buffers &b = *buffers;
  const auto frames = static_cast<int32_t>(state.range(0));
  const int64_t setting = state.range(1);
  gain::RouterEffect fx(hostFor(setting == 0, frames));
  fw::EffectBase *effect = &fx;
  // About a tenth of a millisecond per timed batch: reading this thread's CPU
  // time is a system call that can take a microsecond or more.
  const int batch = std::max(16, 262144 / frames);
  std::vector<double> floorTimes;
  std::vector<double> effectTimes;
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
        } else if (setting == 3) {
          benchmark::DoNotOptimize(level);
          floorBlock(b.inPtrs[0], b.outPtrs, frames, level);
          benchmark::DoNotOptimize(requestOnly(answerHost, fx.effectRecord()));
        } else if (setting == 2) {
          benchmark::DoNotOptimize(level);
          routeOnly(b.inPtrs[0], b.outPtrs, frames, level);
        } else {
          effect->processOverwriting(b.inPtrs, b.outPtrs, frames);
        }
        benchmark::ClobberMemory();
      }
      const double elapsed = threadCpuNs() - start;
      (timingFloor ? floorTimes : effectTimes).push_back(elapsed); // outside the timed batch
    }
    floorFirst = !floorFirst;
  }
  // The clock's own cost, taken from both sides.
  const double clockCost = clockReadCost();
  const double floorTime = lowPercentile(floorTimes) - clockCost;
  const double effectTime = lowPercentile(effectTimes) - clockCost;
  state.counters["floor_ns"] = floorTime / batch;
  state.counters["effect_ns"] = effectTime / batch;
  state.counters["ratio"] = effectTime / floorTime;
}

// The console report; keeps the median ratio of each alternating run, by
// frames and setting.
class RatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &run : runs) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      const auto ratio = run.counters.find("ratio");
      if ((median || single) && !run.error_occurred && ratio != run.counters.end()) {
        ratios[run.run_name.args] = ratio->second.value;
      }
    }
  }
  std::map<std::string, double> ratios; // "frames/setting" -> ratio
};

} // namespace

BENCHMARK(overwritingFloor)->ArgsProduct({kBlockSizes})->Repetitions(kRepetitions);
BENCHMARK(processOverwriting)->ArgsProduct({kBlockSizes})->Repetitions(kRepetitions);
BENCHMARK(processAdding)->ArgsProduct({kBlockSizes})->Repetitions(kRepetitions);
BENCHMARK(overwritingOverFloor)
    ->ArgNames({"frames", "setting"})
    ->ArgsProduct({kBlockSizes, {0, 1, 2, 3}})
    ->Repetitions(kRepetitions);

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf(
      "\nprocessOverwriting / floor per block, 1st-percentile batches, median of %d runs (limit "
      "%.2f)\n",
      kRepetitions, kAllowedRatio);
  std::printf("  frames  host answers transport  no transport (null answer)  sample loops only"
              "  floor + request alone\n");
  const int widths[4] = {24, 28, 19, 21};
  for (int64_t frames : kBlockSizes) {
    std::printf("  %6lld", static_cast<long long>(frames));
    for (int setting = 0; setting < 4; ++setting) {
      const std::string key =
          "frames:" + std::to_string(frames) + "/setting:" + std::to_string(setting);
      const auto found = reporter.ratios.find(key);
      if (found == reporter.ratios.end()) {
        std::printf("  %*s", widths[setting], "-");
        continue;
      }
      char figure[64];
      std::snprintf(figure, sizeof figure, "%.3f%s", found->second,
                    setting == 3 || found->second <= kAllowedRatio ? "" : " (above)");
      std::printf("  %*s", widths[setting], figure);
    }
    std::printf("\n");
  }
  return 0;
}
