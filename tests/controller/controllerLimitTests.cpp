// ControllerEffect at its limits: the level arithmetic with values no MIDI
// byte can carry, buffers that a host shares between channels, and text
// requests without a buffer.
#include "ControllerEffect.h"
#include "RecordingHost.h"

#include <doctest/doctest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

using namespace fw;
using qern::blockLevel;
using qern::ControllerEffect;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kMax = std::numeric_limits<float>::max();

} // namespace

TEST_CASE("blockLevel: x rounded to single precision, limited to 0..127 before conversion") {
  struct Case {
    const char *what;
    float gain;
    float sum;
    int32_t frames;
    int level;
  };
  const Case cases[] = {
      {"worked example", 1.0f, 8.0f, 64, 111},
      {"half the gain", 0.5f, 8.0f, 64, 55},
      // x = 110.99999794 in double; its float is 111.0, and 111 it is.
      {"rounded before truncation", 1.0f, 112.37345123291016f, 900, 111},
      {"rounds up to 127.0, not clipped", 1.0f, 128.57142639160156f, 900, 127},
      {"exactly 127", 1.0f, 127.0f, 889, 127},
      {"just above 127", 1.0f, 127.00002f, 889, 127},
      {"below 1", 1.0f, 0.9999f, 889, 0},
      {"silence", 1.0f, 0.0f, 64, 0},
      {"gain 0", 0.0f, 8.0f, 64, 0},
      {"negative gain", -1.0f, 8.0f, 64, 0},
      {"huge gain: x far beyond the float range", kMax, kMax, 1, 127},
      {"huge negative gain", -kMax, kMax, 1, 0},
      {"infinite gain", kInf, 8.0f, 64, 127},
      {"infinite gain on silence (not a number)", kInf, 0.0f, 64, 0},
      {"infinite sum", 1.0f, kInf, 64, 127},
      {"infinite sum with gain 0 (not a number)", 0.0f, kInf, 64, 0},
      {"not-a-number gain", kNaN, 8.0f, 64, 0},
      {"not-a-number sum", 1.0f, kNaN, 64, 0},
      {"no frames", 1.0f, 8.0f, 0, 0},
      {"negative frames", 1.0f, 8.0f, -64, 0},
      {"most negative frame count", 1.0f, 8.0f, std::numeric_limits<int32_t>::min(), 0},
      {"a tiny level", 1.0f, 1e-30f, std::numeric_limits<int32_t>::max(), 0},
  };
  for (const Case &c : cases) {
    CAPTURE(c.what);
    CHECK(static_cast<int>(blockLevel(c.gain, c.sum, c.frames)) == c.level);
  }
}

TEST_CASE("huge parameter values reach the message limited") {
  recorder = Recorder{};
  ControllerEffect fx(recordingHost);
  fx.setParamValue(0, kMax); // controller number limited to 127
  fx.setParamValue(1, kMax);
  std::vector<float> left(32, 0.5f), right(32, -0.5f);
  std::vector<float> outLeft(32), outRight(32);
  float *inputs[2] = {left.data(), right.data()};
  float *outputs[2] = {outLeft.data(), outRight.data()};
  fx.processOverwriting(inputs, outputs, 32);
  REQUIRE(recorder.sent.size() == 1);
  const unsigned char *bytes = recorder.sent[0].event.midiBytes;
  CHECK(bytes[0] == 0xB0);
  CHECK(bytes[1] == 127);
  CHECK(bytes[2] == 127);
  CHECK(bytes[3] == 0);
  CHECK(recorder.sent[0].event.frameOffset == 31);
  CHECK(fx.getParamValue(0) == kMax); // stored as set
}

TEST_CASE("shared buffers: each output carries its own input channel") {
  // In place, and crossed (output 0 is input 1's buffer and the other way
  // round): every frame reads both inputs before it writes an output.
  struct Layout {
    const char *what;
    bool crossed;
  };
  for (const Layout layout : {Layout{"in place", false}, Layout{"crossed", true}}) {
    for (bool adding : {false, true}) {
      CAPTURE(layout.what);
      CAPTURE(adding);
      recorder = Recorder{};
      ControllerEffect fx(recordingHost);
      std::vector<float> a(64), b(64);
      for (std::size_t i = 0; i < 64; ++i) {
        a[i] = 0.0625f + static_cast<float>(i) * 0x1p-12f; // a rising left channel
        b[i] = -0.0625f;
      }
      const std::vector<float> left = a, right = b;
      float *inputs[2] = {a.data(), b.data()};
      float *outputs[2] = {a.data(), b.data()};
      if (layout.crossed) {
        outputs[0] = b.data();
        outputs[1] = a.data();
      }
      if (adding) {
        fx.processAdding(inputs, outputs, 64);
      } else {
        fx.processOverwriting(inputs, outputs, 64);
      }
      const std::vector<float> &out0 = layout.crossed ? b : a;
      const std::vector<float> &out1 = layout.crossed ? a : b;
      for (std::size_t i = 0; i < 64; ++i) {
        CAPTURE(i);
        // Adding to a buffer that holds the other channel adds both channels.
        const float base0 = adding ? (layout.crossed ? right[i] : left[i]) : 0.0f;
        const float base1 = adding ? (layout.crossed ? left[i] : right[i]) : 0.0f;
        CHECK(out0[i] == base0 + left[i]);
        CHECK(out1[i] == base1 + right[i]);
      }
      // Sum = 64 × 0.125 + (0 + 1 + ... + 63) / 4096 = 8.4921875;
      // x = 889 × 8.4921875 / 64 = 117.96..., measured from the inputs.
      REQUIRE(recorder.sent.size() == 1);
      CHECK(recorder.sent[0].event.midiBytes[2] == 117);
    }
  }
}

TEST_CASE("text requests without a buffer write nothing and do not fail") {
  recorder = Recorder{};
  ControllerEffect fx(recordingHost);
  for (int32_t code : {kReqSetProgramName, kReqGetProgramName}) {
    CAPTURE(code);
    CHECK(fx.handleRequest(code, 0, 0, nullptr, 0.0f) == 0);
  }
  for (int32_t code : {kReqParamName, kReqParamLabel, kReqParamDisplay}) {
    for (int32_t index : {0, 1}) {
      CAPTURE(code);
      CAPTURE(index);
      CHECK(fx.handleRequest(code, index, 0, nullptr, 0.0f) == 0);
    }
  }
  // The identity texts answer "not given" when there is nowhere to write.
  for (int32_t code : {kReqEffectName, kReqVendorText, kReqProductText}) {
    CAPTURE(code);
    CHECK(fx.handleRequest(code, 0, 0, nullptr, 0.0f) == 0);
  }
  char name[32];
  fx.handleRequest(kReqGetProgramName, 0, 0, name, 0.0f);
  CHECK(std::string(name) == "Init 1");
  CHECK(recorder.requests.empty());
}
