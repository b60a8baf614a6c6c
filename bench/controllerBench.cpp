// QERN's processing against its floor: the block sum is a chain of dependent
// additions rounded to single precision after every frame, so it cannot be
// reordered; the floor is that exact sum plus copying both channels with
// memcpy. After the runs, a table gives processOverwriting / floor (and
// processAdding / floor) per block size.
//
// The machine is shared: other programs only ever add time, and they come and
// go during a run. So by default the repetitions of all benchmarks are
// interleaved in random order and each is judged by its fastest repetition
// (the "min" aggregate), which is what the code itself costs; the medians are
// printed as well. Flags given on the command line override these defaults.
#include "ControllerEffect.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int64_t kBlockSizes[] = {32, 512, 4096};

// Two channels of a fixed signal (the same every block, so the level does not
// change between blocks) and two output channels.
struct Buffers {
  std::vector<float> in[2];
  std::vector<float> out[2];
  float *inputs[2]{};
  float *outputs[2]{};

  explicit Buffers(int64_t frames) {
    uint32_t seed = 12345;
    for (int c = 0; c < 2; ++c) {
      in[c].resize(static_cast<std::size_t>(frames));
      out[c].assign(static_cast<std::size_t>(frames), 0.0f);
      for (float &sample : in[c]) {
        seed = seed * 1664525u + 1013904223u;
        sample = (static_cast<float>(seed >> 8) / 16777216.0f - 0.5f) * 0.2f;
      }
      inputs[c] = in[c].data();
      outputs[c] = out[c].data();
    }
  }
};

void processOverwriting(benchmark::State &state) {
  const auto frames = static_cast<int32_t>(state.range(0));
  Buffers b(frames);
  qern::ControllerEffect fx(nullptr);
  fx.processOverwriting(b.inputs, b.outputs, frames); // settle the level
  for (auto _ : state) {
    fx.processOverwriting(b.inputs, b.outputs, frames);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * frames);
}

void processAdding(benchmark::State &state) {
  const auto frames = static_cast<int32_t>(state.range(0));
  Buffers b(frames);
  qern::ControllerEffect fx(nullptr);
  fx.processAdding(b.inputs, b.outputs, frames);
  for (auto _ : state) {
    fx.processAdding(b.inputs, b.outputs, frames);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * frames);
}

// The least any pass-through must do: the exact per-frame rounded sum, and the
// two channel copies.
void floor(benchmark::State &state) {
  const auto frames = static_cast<int32_t>(state.range(0));
  Buffers b(frames);
  const auto bytes = static_cast<std::size_t>(frames) * sizeof(float);
  for (auto _ : state) {
    const float *left = b.inputs[0];
    const float *right = b.inputs[1];
    float sum = 0.0f;
    for (int32_t i = 0; i < frames; ++i) {
      sum = static_cast<float>(
          (std::fabs(static_cast<double>(left[i])) + std::fabs(static_cast<double>(right[i]))) +
          static_cast<double>(sum));
    }
    std::memcpy(b.outputs[0], left, bytes);
    std::memcpy(b.outputs[1], right, bytes);
    benchmark::DoNotOptimize(sum);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * frames);
}

double fastest(const std::vector<double> &times) {
  return times.empty() ? 0.0 : *std::min_element(times.begin(), times.end());
}

// Prints as the console reporter does and keeps one time per benchmark name:
// the min aggregate when there is one, else the median, else the plain run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &run : runs) {
      if (run.error_occurred) {
        continue;
      }
      const std::string name = run.run_name.str();
      if (run.run_type == Run::RT_Aggregate) {
        if (run.aggregate_name == "min") {
          minimums[name] = run.GetAdjustedCPUTime();
        } else if (run.aggregate_name == "median") {
          medians[name] = run.GetAdjustedCPUTime();
        }
      } else if (run.repetitions <= 1) {
        plain[name] = run.GetAdjustedCPUTime();
      }
    }
  }

  // Prints the table; answers false when processOverwriting exceeds `limit`.
  bool printRatios(double limit) const {
    const auto &times = !minimums.empty() ? minimums : !medians.empty() ? medians : plain;
    const char *statistic = !minimums.empty()  ? "fastest repetition's"
                            : !medians.empty() ? "median"
                                               : "single-run";
    auto timeOf = [&times](const std::string &name) {
      const auto found = times.find(name);
      return found == times.end() ? -1.0 : found->second;
    };
    bool within = true;
    std::printf("\nQERN processing against its floor (%s CPU time, ns per block)\n", statistic);
    std::printf("%7s %12s %12s %12s %12s %12s\n", "frames", "floor", "overwriting", "adding",
                "overwr/floor", "adding/floor");
    for (int64_t frames : kBlockSizes) {
      const std::string arg = "/" + std::to_string(frames);
      const double floorTime = timeOf("floor" + arg);
      const double overwriting = timeOf("processOverwriting" + arg);
      const double adding = timeOf("processAdding" + arg);
      if (floorTime <= 0.0 || overwriting < 0.0 || adding < 0.0) {
        std::printf("%7lld  (not measured: filtered out)\n", static_cast<long long>(frames));
        continue;
      }
      const double ratio = overwriting / floorTime;
      within = within && ratio <= limit;
      std::printf("%7lld %12.1f %12.1f %12.1f %12.3f %12.3f%s\n", static_cast<long long>(frames),
                  floorTime, overwriting, adding, ratio, adding / floorTime,
                  ratio <= limit ? "" : "  over the limit");
    }
    std::printf("processOverwriting / floor must stay within %.2f: %s\n", limit,
                within ? "yes" : "NO");
    return within;
  }

private:
  std::map<std::string, double> minimums;
  std::map<std::string, double> medians;
  std::map<std::string, double> plain;
};

} // namespace

BENCHMARK(floor)->Arg(32)->Arg(512)->Arg(4096)->ComputeStatistics("min", fastest);
BENCHMARK(processOverwriting)->Arg(32)->Arg(512)->Arg(4096)->ComputeStatistics("min", fastest);
BENCHMARK(processAdding)->Arg(32)->Arg(512)->Arg(4096)->ComputeStatistics("min", fastest);

int main(int argc, char **argv) {
  // Defaults first, so that the same flags given by the user win.
  std::vector<char *> args{argv[0]};
  char interleave[] = "--benchmark_enable_random_interleaving=true";
  char repetitions[] = "--benchmark_repetitions=12";
  char minTime[] = "--benchmark_min_time=0.1";
  char aggregates[] = "--benchmark_display_aggregates_only=true";
  args.insert(args.end(), {interleave, repetitions, minTime, aggregates});
  args.insert(args.end(), argv + 1, argv + argc);
  int count = static_cast<int>(args.size());
  args.push_back(nullptr);
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) {
    return 1;
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return reporter.printRatios(1.15) ? 0 : 1;
}
