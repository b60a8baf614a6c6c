// One thread edits (parameters, programs, names) and reads display texts while
// another processes blocks on the same instance, as hosts do with their user
// interface and audio threads. The processing must only ever act on values
// that some thread set whole.
#include "Blocks.h"
#include "PluginFixture.h"

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

using namespace fw;
using reliability::Blocks;

namespace {

using Clock = std::chrono::steady_clock;

// Runs `edit` and `process` on two threads until both have run a while and
// `enough` says the processing saw the edits land (at most ten seconds).
template <typename Edit, typename Process, typename Enough>
void runConcurrently(Edit edit, Process process, Enough enough) {
  std::atomic<bool> stop{false};
  std::atomic<long> edits{0};
  std::thread editor([&] {
    for (long i = 0; !stop.load(std::memory_order_relaxed); ++i) {
      edit(i);
      edits.fetch_add(1, std::memory_order_relaxed);
    }
  });
  const auto start = Clock::now();
  long blocks = 0;
  for (;; ++blocks) {
    process(blocks);
    const auto elapsed = Clock::now() - start;
    if ((elapsed > std::chrono::milliseconds(800) && blocks > 1000 && edits.load() > 1000 &&
         enough()) ||
        elapsed > std::chrono::seconds(10)) {
      break;
    }
  }
  stop = true;
  editor.join();
  MESSAGE("blocks processed: " << blocks << ", edits: " << edits.load());
}

struct ControllerWatch {
  std::set<int> controllers, levels;
  int events = 0;
};

void watchControlChanges(void *context, const host::RecordedRequest &request, void *ptr) {
  if (request.code != kHostSendEvents || ptr == nullptr) {
    return;
  }
  auto &watch = *static_cast<ControllerWatch *>(context);
  const auto *list = static_cast<const EventList *>(ptr);
  for (int32_t i = 0; i < list->eventCount && i < 2; ++i) {
    watch.controllers.insert(list->events[i]->midiBytes[1]); // set inserts allocate: test only
    watch.levels.insert(list->events[i]->midiBytes[2]);
    ++watch.events;
  }
}

} // namespace

TEST_CASE("QERN under concurrent edits sends only controller numbers and levels that were set") {
  LoadedPlugin plugin(QERN_LIBRARY);
  host::PluginInstance &p = *plugin;
  const float controller10 = 10.5f / 127.0f, controller100 = 100.5f / 127.0f;
  p.setParam(0, controller10);
  p.setParam(1, 1.0f);
  p.resume();
  ControllerWatch watch;
  p.observer = watchControlChanges;
  p.observerContext = &watch;

  Blocks blocks(2, 2, 64);
  runConcurrently(
      [&](long i) {
        p.setParam(0, i % 2 == 0 ? controller100 : controller10);
        p.setParam(1, i % 3 == 0 ? 0.5f : 1.0f);
        if (i % 7 == 0) {
          p.dispatch(kReqSetProgram, 0, static_cast<IntPtr>(i / 7 % 4));
        }
        char text[64];
        p.dispatch(kReqParamDisplay, 0, 0, text);
        p.dispatch(kReqParamDisplay, 1, 0, text);
        p.dispatch(kReqGetProgramName, 0, 0, text);
      },
      [&](long block) {
        // Loud and silent blocks alternate, so every block sends a message.
        blocks.fillInputs(block % 2 == 0 ? 0.0625f : 0.0f);
        p.processOverwriting(blocks.inputs(), blocks.outputs(), 64);
      },
      [&] { return watch.controllers.size() >= 2; });

  CHECK(watch.events > 1000);
  // 74 is what every untouched program holds; 10 and 100 are what was set.
  const std::set<int> allowedControllers{10, 74, 100};
  const std::set<int> allowedLevels{0, 55, 111}; // 111 × gain 1.0 or 0.5
  for (int c : watch.controllers) {
    CAPTURE(c);
    CHECK(allowedControllers.count(c) == 1);
  }
  for (int l : watch.levels) {
    CAPTURE(l);
    CHECK(allowedLevels.count(l) == 1);
  }
  CHECK(watch.controllers.size() >= 2); // the edits did land during processing
}

TEST_CASE("GAIN under concurrent edits applies only floor and gain values that were set") {
  LoadedPlugin plugin(GAIN_LIBRARY);
  host::PluginInstance &p = *plugin;
  p.setParam(0, 0.0f); // no attack: the level is floor × gain
  p.setParam(3, 0.25f);
  p.setParam(4, 0.5f);
  p.resume();

  Blocks blocks(1, 8, 64);
  blocks.fillInputs(1.0f);
  // Products of floor 0.25 or 0.5 and gain 0.5 or 1.0, and silence.
  const std::set<float> allowed{0.0f, 0.125f, 0.25f, 0.5f};
  std::set<float> seen;
  int badBlocks = 0;
  runConcurrently(
      [&](long i) {
        const bool first = i % 2 == 0;
        p.setParam(3, first ? 0.25f : 0.5f);
        p.setParam(4, first ? 0.5f : 1.0f);
        if (i % 5 == 0) {
          p.dispatch(kReqSetProgram, 0, static_cast<IntPtr>(i % 16));
        }
        char text[128];
        for (int32_t index = 0; index < 8; ++index) {
          p.dispatch(kReqParamDisplay, index, 0, text);
        }
        p.dispatch(kReqGetProgramName, 0, 0, text);
      },
      [&](long) {
        p.processOverwriting(blocks.inputs(), blocks.outputs(), 64);
        // The level is read once per block: one value over the whole block,
        // on one output at most.
        int live = 0;
        bool ok = true;
        for (const auto &channel : blocks.out) {
          const float v = channel[0];
          for (float x : channel) {
            ok = ok && x == v;
          }
          ok = ok && allowed.count(v) == 1;
          live += v != 0.0f ? 1 : 0;
          seen.insert(v);
        }
        if (!ok || live > 1) {
          ++badBlocks;
        }
      },
      [&] { return seen.size() >= 3; });

  CHECK(badBlocks == 0);
  for (float v : seen) {
    CAPTURE(v);
    CHECK(allowed.count(v) == 1);
  }
  CHECK(seen.size() >= 3); // silence and at least two of the levels
}
