// Real-time safety of the real plug-in libraries, end to end: every processing
// call, whatever the host hands it, allocates and frees nothing and asks the
// host only what the effect documents (GAIN: the transport, from
// processOverwriting only; QERN: sending its events).
#include "AllocationCounter.h"
#include "Blocks.h"
#include "PluginFixture.h"

#include <cmath>
#include <limits>
#include <vector>

using namespace fw;
using reliability::AllocationCounts;
using reliability::Blocks;
using reliability::CountingScope;

namespace {

IntPtr PLUGIN_CALL versionOnlyHost(EffectRecord *, int32_t code, int32_t, IntPtr, void *, float) {
  return code == kHostGetVersion ? 2400 : 0;
}

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct Totals {
  int64_t blocks = 0;
  int64_t transportRequests = 0;
  int64_t eventRequests = 0;
};

// One processing call, counted; checks the allocations and the host requests.
void playCountedBlock(host::PluginInstance &p, Blocks &b, int32_t frames, bool overwriting,
                      bool isGain, Totals &totals) {
  p.clearRecords();
  AllocationCounts counts;
  {
    CountingScope scope;
    if (overwriting) {
      p.processOverwriting(b.inputs(), b.outputs(), frames);
    } else {
      p.processAdding(b.inputs(), b.outputs(), frames);
    }
    counts = scope.counts();
  }
  ++totals.blocks;
  CAPTURE(frames);
  CAPTURE(overwriting);
  CHECK(counts.allocations == 0);
  CHECK(counts.frees == 0);
  int transport = 0, events = 0;
  for (const auto &r : p.requests()) {
    CAPTURE(r.code);
    if (isGain) {
      CHECK(r.code == kHostGetTransportInfo);
      transport += r.code == kHostGetTransportInfo ? 1 : 0;
    } else {
      CHECK(r.code == kHostSendEvents);
      events += r.code == kHostSendEvents ? 1 : 0;
    }
  }
  if (isGain) {
    CHECK(transport == (overwriting ? 1 : 0)); // one request per overwriting block
  } else {
    CHECK(events <= 1); // at most one message per block
  }
  totals.transportRequests += transport;
  totals.eventRequests += events;
}

void playHostileSession(const char *library, bool isGain) {
  INFO("library " << library);
  LoadedPlugin plugin(library);
  host::PluginInstance &p = *plugin;
  const int inputs = p.record()->inputCount;
  const int outputs = p.record()->outputCount;
  const int params = p.record()->paramCount;
  p.setSampleRate(48000.0f);
  p.setBlockSize(1024);
  p.resume();

  const int32_t frameCounts[] = {0, 1, 64, 1024, 4096}; // 4096: beyond the announced block size
  const float inputValues[] = {0.0f, 0.0625f, 0.5f, -1.0f, kNaN, kInf, 1e-40f};
  const float paramValues[] = {0.0f, 1.0f, 0.3f, kNaN, -kInf, 1e30f, -2.0f, 0.5f};
  Totals totals;
  int step = 0;
  for (int32_t frames : frameCounts) {
    Blocks b(inputs, outputs, frames);
    for (bool overwriting : {true, false}) {
      for (bool inPlace : {false, true}) {
        b.setInPlace(inPlace);
        for (float input : inputValues) {
          ++step;
          // Between blocks, as a host's other threads would: parameters,
          // programs, answers and transport change.
          p.setParam(step % (params + 1), paramValues[step % 8]);
          if (step % 5 == 0) {
            p.dispatch(kReqSetProgram, 0, step % 16);
          }
          if (step % 11 == 0) {
            for (int i = 0; i < params; ++i) {
              p.setParam(i, 0.5f); // back to ordinary values
            }
          }
          p.answers.sendEvents = step % 3 == 0 ? 0 : 1;
          p.transport.available = step % 4 != 0;
          p.transport.playing = step % 6 != 0;
          b.fillInputs(input);
          playCountedBlock(p, b, frames, overwriting, isGain, totals);
        }
      }
    }
  }
  p.suspend();
  CHECK(totals.blocks == 140);
  // The session exercised the host paths it checks.
  if (isGain) {
    CHECK(totals.transportRequests == 70);
  } else {
    CHECK(totals.eventRequests > 0);
  }
}

} // namespace

TEST_CASE("the counter sees allocations of this program and of a plug-in library") {
  INFO("counting method: " << reliability::countingMethod());
  AllocationCounts own;
  {
    CountingScope scope;
    int *volatile p = new int(7);
    delete p;
    own = scope.counts();
  }
  CHECK(own.allocations >= 1);
  CHECK(own.frees >= 1);

  for (const char *file : {QERN_LIBRARY, GAIN_LIBRARY}) {
    INFO("library " << file);
    std::string error;
    auto library = host::PluginLibrary::load(file, error);
    REQUIRE_MESSAGE(library != nullptr, error);
    EffectRecord *record = nullptr;
    AllocationCounts opening, closing;
    {
      CountingScope scope;
      record = library->mainFunction()(versionOnlyHost);
      opening = scope.counts();
    }
    REQUIRE(record != nullptr);
    {
      CountingScope scope;
      record->dispatchEntry(record, kReqClose, 0, 0, nullptr, 0.0f);
      closing = scope.counts();
    }
    CHECK(opening.allocations >= 1); // the effect object itself, made by the plug-in
    CHECK(closing.frees >= 1);
  }
}

TEST_CASE("QERN processes without allocating and asks the host only to send events") {
  playHostileSession(QERN_LIBRARY, false);
}

TEST_CASE("GAIN processes without allocating and asks the host only for the transport") {
  playHostileSession(GAIN_LIBRARY, true);
}
