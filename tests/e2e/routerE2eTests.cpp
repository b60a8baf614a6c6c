// GAIN loaded from its library and driven through our host code, with the
// host's simulated transport as the clock.
#include "PluginFixture.h"

#include "framework/HostRecords.h"
#include "framework/RequestCodes.h"

#include <cmath>
#include <vector>

using namespace fw;

namespace {

// One input and eight outputs of one block each.
struct RouterBuffers {
  std::vector<float> in;
  std::vector<std::vector<float>> out;
  float *inPtrs[1];
  float *outPtrs[8];

  explicit RouterBuffers(int32_t frames) : in(frames), out(8, std::vector<float>(frames)) {
    for (int32_t i = 0; i < frames; ++i) {
      in[i] = 0.5f + 0.25f * std::sin(0.1f * static_cast<float>(i));
    }
    inPtrs[0] = in.data();
    for (int n = 0; n < 8; ++n) {
      outPtrs[n] = out[n].data();
    }
  }
  void fill(float value) {
    for (auto &o : out) {
      std::fill(o.begin(), o.end(), value);
    }
  }
  // The one output (1..8) that holds the input times one level, all others
  // +0.0; 0 when the block is not like that.
  int playedOutput() const {
    int played = 0;
    for (int n = 0; n < 8; ++n) {
      bool silent = true;
      for (float x : out[n]) {
        silent = silent && x == 0.0f && !std::signbit(x);
      }
      if (silent) {
        continue;
      }
      if (played != 0) {
        return 0;
      }
      const float level = out[n][0] / in[0];
      for (std::size_t i = 0; i < in.size(); ++i) {
        if (out[n][i] != in[i] * level) {
          return 0;
        }
      }
      played = n + 1;
    }
    return played;
  }
};

} // namespace

TEST_CASE("GAIN as a host sees it: identity, counts, parameter texts and the shared program name") {
  LoadedPlugin plugin(GAIN_LIBRARY);
  host::PluginInstance &p = *plugin;
  const EffectRecord *record = p.record();
  CHECK(record->magic == fourCharCode('V', 's', 't', 'P'));
  CHECK(record->effectId == 0x656E766F); // 'envo'
  CHECK(record->inputCount == 1);
  CHECK(record->outputCount == 8);
  CHECK(record->programCount == 16);
  CHECK(record->paramCount == 8);
  CHECK(record->flags == 0x18);
  CHECK(p.dispatch(kReqIdentify) == fourCharCode('N', 'v', 'E', 'f'));

  struct Row {
    float value;
    const char *name;
    const char *label;
    const char *display;
  };
  const Row rows[8] = {
      {0.5f, " attack  ", "->up", "0.500000"}, {0.5f, " decay  ", "down<-", "0.500000"},
      {0.5f, " range ", "+ / -", "0.500000"},  {0.0f, "  floor  ", "dB", "  -oo   "},
      {1.0f, "  gain  ", "dB", "0.000000"},    {0.0f, "first out", "x -", "      1"},
      {1.0f, "last out", "  - x", "      8"},  {0.5f, "clock div", "(1/16) / x", "      4"},
  };
  for (int32_t i = 0; i < 8; ++i) {
    CAPTURE(i);
    CHECK(p.getParam(i) == rows[i].value);
    CHECK(p.paramName(i) == rows[i].name);
    CHECK(p.paramLabel(i) == rows[i].label);
    CHECK(p.paramDisplay(i) == rows[i].display);
  }
  p.setParam(5, 0.3f);
  CHECK(p.getParam(5) == 0.3f);
  CHECK(p.paramDisplay(5) == "      3");
  p.setParam(4, 0.5f);
  CHECK(p.paramDisplay(4) == "-6.02059");

  char name[] = "Verse";
  p.dispatch(kReqSetProgramName, 0, 0, name);
  p.dispatch(kReqSetProgram, 0, 9);
  CHECK(p.dispatch(kReqGetProgram) == 9);
  CHECK(p.programName() == "Verse");
  CHECK(p.getParam(5) == 0.3f);
}

TEST_CASE("GAIN routes the song across its outputs, one transport request per block") {
  LoadedPlugin plugin(GAIN_LIBRARY);
  const int32_t frames = 512;
  plugin->setSampleRate(44100.0f);
  plugin->setBlockSize(frames);
  plugin->resume();
  plugin->setParam(3, 0.5f); // floor: a block with a tick still plays
  plugin->transport.tempo = 120.0;
  plugin->transport.startBeat = 0.0;
  plugin->clearRecords();

  // Clock division 4: a tick at every half quarter note. 512 frames at 120 BPM
  // are 0.0232 quarter notes, so every block start sees each clock count and
  // a tick falls in the first block that starts on or after each half quarter.
  RouterBuffers buffers(frames);
  const double quartersPerBlock = frames / 44100.0 * 2.0;
  int expected = 1;
  long lastHalf = -1;
  for (int b = 0; b < 400; ++b) {
    CAPTURE(b);
    const double start = b * quartersPerBlock;
    const long half = static_cast<long>(std::floor(start / 0.5));
    if (start < 1.0) {
      expected = 1; // the song's first quarter note starts on first out
    }
    if (half != lastHalf) {
      expected = expected == 8 ? 1 : expected + 1;
      lastHalf = half;
    }
    buffers.fill(-1.0f);
    plugin->processOverwriting(buffers.inPtrs, buffers.outPtrs, frames);
    CHECK(buffers.playedOutput() == expected);
  }
  CHECK(lastHalf == 18); // the song passed nine quarter notes, wrapping past output 8

  std::size_t transportRequests = 0;
  for (const host::RecordedRequest &r : plugin->requests()) {
    if (r.code == kHostGetTransportInfo) {
      CHECK(r.value == 0xE00);
      CHECK(r.block == static_cast<int64_t>(transportRequests)); // one per block, in order
      ++transportRequests;
    }
  }
  CHECK(transportRequests == 400);
  CHECK(plugin->countRequests(kHostGetTransportInfo) == 400);
}

TEST_CASE("GAIN's processAdding asks the host nothing and adds into outputs 1 and 2 only") {
  LoadedPlugin plugin(GAIN_LIBRARY);
  plugin->setParam(3, 0.25f);
  plugin->clearRecords();
  RouterBuffers buffers(64);
  for (int b = 0; b < 20; ++b) {
    buffers.fill(0.5f);
    plugin->processAdding(buffers.inPtrs, buffers.outPtrs, 64);
    for (int n = 0; n < 8; ++n) {
      CAPTURE(n);
      if (n < 2) {
        CHECK(buffers.out[n][10] > 0.5f);
        CHECK(buffers.out[n][10] == buffers.out[0][10]);
      } else {
        CHECK(buffers.out[n][10] == 0.5f);
      }
    }
  }
  CHECK(plugin->requests().empty());
}

TEST_CASE("GAIN keeps its output when the host has no transport or the song stands still") {
  LoadedPlugin plugin(GAIN_LIBRARY);
  plugin->setParam(3, 0.5f);
  plugin->transport.startBeat = 2.0;
  plugin->transport.playing = false;
  RouterBuffers buffers(256);
  for (int b = 0; b < 10; ++b) { // standing on a tick position: one tick
    plugin->processOverwriting(buffers.inPtrs, buffers.outPtrs, 256);
    CHECK(buffers.playedOutput() == 2);
  }
  plugin->transport.available = false;
  plugin->transport.playing = true;
  plugin->transport.startBeat = 0.0; // would be the song start, if it were known
  for (int b = 0; b < 200; ++b) {
    plugin->processOverwriting(buffers.inPtrs, buffers.outPtrs, 256);
    CHECK(buffers.playedOutput() == 2);
  }
  CHECK(plugin->countRequests(kHostGetTransportInfo) == 210);
}
