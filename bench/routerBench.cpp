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
// cost. Each of these runs at several placements of the buffers, the effect
// and the stack in memory (see Placement). After the runs it prints
// processOverwriting / floor per block size for each setting, from batches
// of the effect and the floor timed alternately on the same buffers with
// this thread's CPU time, each side judged by its batch at the 1st
// percentile: the median over the placements and their range.
#include "RouterEffect.h"
#include "framework/HostRecords.h"
#include "framework/RequestCodes.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int32_t kMaxFrames = 4096;
constexpr int kRepetitions = 5;
constexpr int kRatioRepetitions = 3; // per placement
constexpr double kAllowedRatio = 1.15;
const std::vector<int64_t> kBlockSizes = {32, 512, 4096};

// Where a host's buffers fall within a memory page, against each other and
// against the effect object, changes the time of a short block by as much as
// a seventh: a load whose address matches a pending store in its low twelve
// bits waits for it (4K aliasing), a block of 32 frames leaves 9 × 128 bytes
// of the page with stores in flight, and the next block begins by loading the
// effect's members. A host puts its buffers and the effect wherever its
// allocator does, so each ratio run uses one of several placements, spread
// evenly, and the report gives the median over them and their range, rather
// than whatever one allocation happened to give.
//
// A placement: where the first buffer starts within a page; how far each
// buffer starts from the one before it, past whole pages (64 bytes: at 32
// frames each buffer shares half its page offsets with the next; 128 bytes:
// the buffers of a 32-frame block one after another, as a host allocating
// them together would; 192 and 320 bytes: no two share page offsets); where
// the effect object starts within its page; and how far the stack of
// the timed loop is moved down (the host's stack, with the effect's and the
// floor's locals on it, is somewhere too). The offsets step through the page
// by different numbers of cache lines (17, 25 and 11), so that no two follow
// each other. Every buffer starts on a 64-byte boundary, as hosts allocate
// them.
struct Placement {
  std::size_t firstOffset;  // bytes
  std::size_t spacing;      // bytes, past whole pages
  std::size_t effectOffset; // bytes
  std::size_t stackShift;   // bytes
};
constexpr int kPlacementCount = 8;
constexpr Placement placementAt(int k) {
  const std::size_t spacings[4] = {64, 128, 192, 320};
  const auto n = static_cast<std::size_t>(k);
  return {n * 17 * 64 % 4096, spacings[n % 4], n * 25 * 64 % 4096, n * 11 * 64 % 4096};
}

// The block buffers of one placement. All placements share one arena,
// allocated once and aligned to a page.
struct Buffers {
  static constexpr std::size_t kPageFloats = 4096 / sizeof(float);
  static constexpr std::size_t kStrideFloats = kMaxFrames + kPageFloats; // room for any spacing
  static constexpr std::size_t kArenaFloats = 10 * kStrideFloats;
  float *inPtrs[1];
  float *outPtrs[8];

  explicit Buffers(const Placement &p) {
    static float *const arena = static_cast<float *>(
        std::aligned_alloc(4096, kArenaFloats * sizeof(float))); // kept for the whole run
    std::fill(arena, arena + kArenaFloats, 0.0f);
    // Buffer n starts n × (kMaxFrames floats + spacing) after the first: a
    // whole number of pages plus n × spacing.
    float *const first = arena + p.firstOffset / sizeof(float);
    const std::size_t step = kMaxFrames + p.spacing / sizeof(float);
    inPtrs[0] = first;
    for (int32_t i = 0; i < kMaxFrames; ++i) {
      first[i] = std::sin(0.01f * static_cast<float>(i));
    }
    for (int n = 0; n < 8; ++n) {
      outPtrs[n] = first + static_cast<std::size_t>(n + 1) * step;
    }
  }
};

// A RouterEffect built at a given offset within a page of its own, and
// destroyed with the holder.
class PlacedEffect {
public:
  PlacedEffect(std::size_t offset, fw::HostCallback host) {
    static_assert(alignof(gain::RouterEffect) <= 64, "offsets are multiples of 64");
    static_assert(sizeof(gain::RouterEffect) <= 4096, "the effect fits after any offset");
    static void *const page = std::aligned_alloc(4096, 8192); // kept for the whole run
    fx = new (static_cast<char *>(page) + offset) gain::RouterEffect(host);
  }
  ~PlacedEffect() { fx->~RouterEffect(); }
  PlacedEffect(const PlacedEffect &) = delete;
  PlacedEffect &operator=(const PlacedEffect &) = delete;
  gain::RouterEffect &effect() { return *fx; }

private:
  gain::RouterEffect *fx;
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
  Buffers b(placementAt(0));
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
  Buffers b(placementAt(0));
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
  Buffers b(placementAt(0));
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
// buffers, at one placement. Arguments: frames; the setting: 0
// processOverwriting with the answering host, 1 processOverwriting without a
// host, 2 GAIN's sample loops alone, 3 the floor plus the transport request
// alone (what the request that every block must make costs, against the
// floor); and the placement. Each side is judged by its batch at the 1st
// percentile: on a busy machine other programs only add time (cache and core
// sharing as well as preemption), so the fast batches show what the code
// itself costs; the percentile, unlike the single fastest batch, ignores the
// rare batch whose CPU time was under-counted.
__attribute__((noinline)) void alternate(benchmark::State &state, const Placement &placement) {
  Buffers b(placement);
  const auto frames = static_cast<int32_t>(state.range(0));
  const int64_t setting = state.range(1);
  PlacedEffect placed(placement.effectOffset, hostFor(setting == 0, frames));
  gain::RouterEffect &fx = placed.effect();
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

// Moves the stack down by the placement's shift, then runs the batches.
void overwritingOverFloor(benchmark::State &state) {
  const Placement placement = placementAt(static_cast<int>(state.range(2)));
  void *const shift = __builtin_alloca(placement.stackShift + 1);
  benchmark::DoNotOptimize(shift);
  alternate(state, placement);
}

// The console report; keeps the median ratio of each alternating run, by
// its arguments ("frames:32/setting:0/placement:1").
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

  // The ratios of one block size and setting, one per placement that ran.
  std::vector<double> placementRatios(int64_t frames, int setting) const {
    std::vector<double> found;
    for (int placement = 0; placement < kPlacementCount; ++placement) {
      const auto at =
          ratios.find("frames:" + std::to_string(frames) + "/setting:" + std::to_string(setting) +
                      "/placement:" + std::to_string(placement));
      if (at != ratios.end()) {
        found.push_back(at->second);
      }
    }
    return found;
  }

private:
  std::map<std::string, double> ratios;
};

} // namespace

BENCHMARK(overwritingFloor)->ArgsProduct({kBlockSizes})->Repetitions(kRepetitions);
BENCHMARK(processOverwriting)->ArgsProduct({kBlockSizes})->Repetitions(kRepetitions);
BENCHMARK(processAdding)->ArgsProduct({kBlockSizes})->Repetitions(kRepetitions);
BENCHMARK(overwritingOverFloor)
    ->ArgNames({"frames", "setting", "placement"})
    ->ArgsProduct({kBlockSizes,
                   {0, 1, 2, 3},
                   benchmark::CreateDenseRange(0, kPlacementCount - 1, 1)})
    ->Repetitions(kRatioRepetitions);

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf(
      "\nprocessOverwriting / floor per block, 1st-percentile batches, median of %d runs "
      "at each of %d placements in memory:\nthe median over the placements [lowest-highest] "
      "(limit %.2f)\n",
      kRatioRepetitions, kPlacementCount, kAllowedRatio);
  const char *const headings[4] = {"host answers transport", "no transport (null answer)",
                                   "sample loops only", "floor + request alone"};
  const int width = 28;
  std::printf("  frames");
  for (const char *heading : headings) {
    std::printf("  %*s", width, heading);
  }
  std::printf("\n");
  for (int64_t frames : kBlockSizes) {
    std::printf("  %6lld", static_cast<long long>(frames));
    for (int setting = 0; setting < 4; ++setting) {
      std::vector<double> found = reporter.placementRatios(frames, setting);
      if (found.empty()) {
        std::printf("  %*s", width, "-");
        continue;
      }
      std::sort(found.begin(), found.end());
      const std::size_t n = found.size();
      const double median = (found[(n - 1) / 2] + found[n / 2]) / 2.0;
      char figure[64];
      std::snprintf(figure, sizeof figure, "%.3f [%.2f-%.2f]%s", median, found.front(),
                    found.back(), setting == 3 || median <= kAllowedRatio ? "" : " (above)");
      std::printf("  %*s", width, figure);
    }
    std::printf("\n");
  }
  return 0;
}
