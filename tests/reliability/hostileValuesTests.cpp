// Values that hosts may send and the effects do not bound: parameters that are
// not numbers, infinite or huge, and song positions likewise. None may reach
// an unlimited conversion to an integer (the sanitizer build aborts on one),
// none may leave a not-a-number behind: once the parameter is finite again,
// the next block's output is finite, and no message carries a byte above 127.
// Display texts of such values stay within the host's buffer.
#include "Blocks.h"
#include "PluginFixture.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

using namespace fw;
using reliability::Blocks;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kMax = std::numeric_limits<float>::max();

const float kHostileParams[] = {
    kNaN,  -kNaN, kInf,   -kInf,         kMax,
    -kMax, 1e30f, -1e30f, 2147483648.0f, -2147483904.0f,
    1e10f, -3.5f, 127.5f, 1.0001f,       std::numeric_limits<float>::denorm_min()};

constexpr double kNaNd = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfd = std::numeric_limits<double>::infinity();

// A text request against a buffer with guard bytes around the host's area.
std::string guardedText(host::PluginInstance &p, int32_t code, int32_t index, std::size_t limit) {
  std::vector<unsigned char> bytes(256, 0xA5);
  char *area = reinterpret_cast<char *>(bytes.data() + 64);
  area[0] = 0;
  p.dispatch(code, index, 0, area);
  for (std::size_t i = 0; i < 64; ++i) {
    CHECK_MESSAGE(bytes[i] == 0xA5, "byte written before the buffer, request " << code);
  }
  for (std::size_t i = 64 + limit; i < bytes.size(); ++i) {
    CHECK_MESSAGE(bytes[i] == 0xA5, "request " << code << " index " << index << " wrote byte "
                                               << i - 64 << " past its limit of " << limit);
  }
  return std::string(area, strnlen(area, limit));
}

bool allFinite(const Blocks &b, int32_t frames) {
  for (std::size_t c = 0; c < b.outPtrs.size(); ++c) {
    for (int32_t i = 0; i < frames; ++i) {
      if (!std::isfinite(b.outPtrs[c][i])) {
        return false;
      }
    }
  }
  return true;
}

bool eventBytesValid(const host::PluginInstance &p) {
  for (const auto &e : p.events()) {
    if (e.event.midiBytes[1] > 127 || e.event.midiBytes[2] > 127) {
      return false;
    }
  }
  return true;
}

struct Profile {
  const char *library;
  std::size_t displayLimit;
};

} // namespace

TEST_CASE("hostile parameter values: no unlimited conversion, no lasting not-a-number") {
  for (const Profile profile : {Profile{QERN_LIBRARY, 13}, Profile{GAIN_LIBRARY, 9}}) {
    INFO("library " << profile.library);
    LoadedPlugin plugin(profile.library);
    host::PluginInstance &p = *plugin;
    const int params = p.record()->paramCount;
    Blocks b(p.record()->inputCount, p.record()->outputCount, 256);
    p.resume();
    for (int32_t index = 0; index < params; ++index) {
      const float ordinary = p.getParam(index);
      REQUIRE(std::isfinite(ordinary));
      for (float hostile : kHostileParams) {
        CAPTURE(index);
        CAPTURE(hostile);
        p.setParam(index, hostile);
        (void)guardedText(p, kReqParamDisplay, index, profile.displayLimit);
        b.fillInputs(0.25f);
        p.processOverwriting(b.inputs(), b.outputs(), 256);
        p.processAdding(b.inputs(), b.outputs(), 256);
        p.processOverwriting(b.inputs(), b.outputs(), 0);
        // Program changes carry QERN's stored values across programs.
        p.dispatch(kReqSetProgram, 0, 1);
        p.dispatch(kReqSetProgram, 0, 0);
        (void)p.dispatch(kReqMeterLevel);

        p.setParam(index, ordinary);
        b.fillInputs(0.25f);
        p.processOverwriting(b.inputs(), b.outputs(), 256);
        CHECK_MESSAGE(allFinite(b, 256), "output not finite in the block after the parameter "
                                         "was set back to "
                                             << ordinary);
        for (auto &c : b.out) {
          std::fill(c.begin(), c.end(), 0.0f);
        }
        p.processAdding(b.inputs(), b.outputs(), 256);
        CHECK(allFinite(b, 256));
        CHECK(eventBytesValid(p));
      }
    }
  }
}

TEST_CASE("GAIN with song positions and tempos that are not numbers, infinite or huge") {
  LoadedPlugin plugin(GAIN_LIBRARY);
  host::PluginInstance &p = *plugin;
  Blocks b(1, 8, 128);
  b.fillInputs(1.0f);
  const double positions[] = {kNaNd,
                              kInfd,
                              -kInfd,
                              1e300,
                              -1e300,
                              67108864.0,
                              -67108864.0,
                              2147483648.0 / 32.0,
                              -2147483648.0 / 32.0 - 1.0,
                              1e-310,
                              -0.99};
  for (int clock : {0, 3, 7}) {
    p.setParam(7, clock / 7.0f);
    for (double position : positions) {
      CAPTURE(clock);
      CAPTURE(position);
      p.transport.startBeat = position;
      p.transport.playing = false;
      p.processOverwriting(b.inputs(), b.outputs(), 128);
      CHECK(allFinite(b, 128));
      p.transport.playing = true;
      p.transport.tempo = position; // the tempo scales the position the host reports
      p.processOverwriting(b.inputs(), b.outputs(), 128);
      p.transport.tempo = 120.0;
      // Whatever the clock did, the signal still goes to one real output.
      p.transport.startBeat = 8.5;
      p.samplePosition = 0;
      p.processOverwriting(b.inputs(), b.outputs(), 128);
      int live = 0;
      for (int o = 0; o < 8; ++o) {
        live += b.out[o][0] != 0.0f ? 1 : 0;
      }
      CHECK(live <= 1);
      CHECK(allFinite(b, 128));
    }
  }
}

TEST_CASE("GAIN's derived numbers from hostile values stay usable: no division by zero") {
  LoadedPlugin plugin(GAIN_LIBRARY);
  host::PluginInstance &p = *plugin;
  Blocks b(1, 8, 64);
  b.fillInputs(1.0f);
  for (float hostile : kHostileParams) {
    CAPTURE(hostile);
    for (int32_t index = 5; index <= 7; ++index) {
      p.setParam(index, hostile);
      (void)guardedText(p, kReqParamDisplay, index, 9);
    }
    for (int block = 0; block < 40; ++block) { // through several ticks
      p.processOverwriting(b.inputs(), b.outputs(), 64);
    }
    CHECK(allFinite(b, 64));
  }
}

TEST_CASE("GAIN: finite parameter values far outside 0 to 1 still give a finite output") {
  struct Case {
    const char *what;
    int32_t index[2];
    float value[2];
    float input;
  };
  const Case cases[] = {
      {"floor and gain at the float maximum, silent input", {3, 4}, {kMax, kMax}, 0.0f},
      {"floor 1.0, gain 1e38, input 4.0", {3, 4}, {1.0f, 1e38f}, 4.0f},
      {"floor 1e30, input 1e10", {3, 3}, {1e30f, 1e30f}, 1e10f},
  };
  for (const Case &c : cases) {
    INFO("case: " << c.what);
    LoadedPlugin plugin(GAIN_LIBRARY);
    host::PluginInstance &p = *plugin;
    p.setParam(c.index[0], c.value[0]);
    p.setParam(c.index[1], c.value[1]);
    Blocks b(1, 8, 64);
    b.fillInputs(c.input);
    p.processOverwriting(b.inputs(), b.outputs(), 64);
    CHECK(allFinite(b, 64));
    p.processAdding(b.inputs(), b.outputs(), 64);
    CHECK(allFinite(b, 64));
  }
}

TEST_CASE("GAIN: a huge attack set back to an ordinary value leaves no runaway envelope") {
  LoadedPlugin plugin(GAIN_LIBRARY);
  host::PluginInstance &p = *plugin;
  p.transport.available = false; // no clock: nothing but the envelope itself brings it down
  Blocks b(1, 8, 64);
  b.fillInputs(8.0f);  // +18 dB: a float sample that plug-ins pass between them
  p.setParam(2, 1.0f); // widest range
  p.setParam(0, kMax); // one block with an attack at the float maximum ...
  p.processOverwriting(b.inputs(), b.outputs(), 64);
  p.setParam(0, 0.5f); // ... then an ordinary one again
  for (int block = 0; block < 100; ++block) {
    CAPTURE(block);
    p.processOverwriting(b.inputs(), b.outputs(), 64);
    REQUIRE(allFinite(b, 64));
  }
}

TEST_CASE("the host answers tempo and sample-rate requests it cannot express with 0") {
  LoadedPlugin plugin(GAIN_LIBRARY);
  host::PluginInstance &p = *plugin;
  // Before the fix these converted NaN and out-of-range figures to integers.
  for (double tempo : {kNaNd, kInfd, 1e300}) {
    p.transport.tempo = tempo;
    CHECK(p.answer(p.record(), kHostTempoAt, 0, 0, nullptr, 0.0f) == 0);
  }
  p.transport.tempo = 120.0;
  CHECK(p.answer(p.record(), kHostTempoAt, 0, 0, nullptr, 0.0f) == 1200000);
  p.sampleRate = kNaN;
  CHECK(p.answer(p.record(), kHostGetSampleRate, 0, 0, nullptr, 0.0f) == 0);
  p.sampleRate = 48000.0f;
  CHECK(p.answer(p.record(), kHostGetSampleRate, 0, 0, nullptr, 0.0f) == 48000);
}
