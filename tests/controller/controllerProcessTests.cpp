// ControllerEffect's processing as sequences of blocks: the pass-through, the
// block level and the control-change message the host receives.
#include "ControllerEffect.h"
#include "RecordingHost.h"

#include <doctest/doctest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

using namespace fw;
using qern::ControllerEffect;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

uint32_t bitsOf(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

enum class Mode { Overwriting, Adding };

// One effect on the recording host, with two input and two output channels.
struct Qern {
  ControllerEffect fx{recordingHost};
  std::vector<float> in[2];
  std::vector<float> out[2];

  explicit Qern(IntPtr sendEventsAnswer = 1) {
    recorder = Recorder{};
    recorder.sendEventsAnswer = sendEventsAnswer;
  }

  // Plays one block with every input sample set to `sample`.
  void play(int32_t frames, float sample, Mode mode = Mode::Overwriting) {
    const std::size_t n = frames > 0 ? static_cast<std::size_t>(frames) : 0;
    for (int c = 0; c < 2; ++c) {
      in[c].assign(n, sample);
      out[c].assign(n, 0.0f);
    }
    playAsIs(frames, mode);
  }

  void playAsIs(int32_t frames, Mode mode = Mode::Overwriting) {
    float *inputs[2] = {in[0].data(), in[1].data()};
    float *outputs[2] = {out[0].data(), out[1].data()};
    if (mode == Mode::Overwriting) {
      fx.processOverwriting(inputs, outputs, frames);
    } else {
      fx.processAdding(inputs, outputs, frames);
    }
  }
};

// The midi bytes of message n.
std::vector<int> bytesOf(std::size_t n) {
  const unsigned char *b = recorder.sent.at(n).event.midiBytes;
  return {b[0], b[1], b[2], b[3]};
}

int32_t offsetOf(std::size_t n) { return recorder.sent.at(n).event.frameOffset; }

} // namespace

TEST_CASE("worked examples: level, bytes and the frame offset at the block's last frame") {
  struct Case {
    float sample;
    float gain;
    int level;
  };
  const Case cases[] = {
      {0.0625f, 1.0f, 111}, // sum 8, x = 889 × 8 / 64 = 111.125
      {0.0625f, 0.5f, 55},  // x = 55.5625
      {0.125f, 1.0f, 127},  // x = 222.25, clipped
  };
  for (Mode mode : {Mode::Overwriting, Mode::Adding}) {
    for (const Case &c : cases) {
      CAPTURE(static_cast<int>(mode));
      CAPTURE(c.sample);
      CAPTURE(c.gain);
      Qern q;
      q.fx.setParamValue(1, c.gain);
      q.play(64, c.sample, mode);
      REQUIRE(recorder.sent.size() == 1);
      CHECK(recorder.count(kHostSendEvents) == 1);
      CHECK(bytesOf(0) == std::vector<int>{0xB0, 74, c.level, 0});
      CHECK(offsetOf(0) == 63);
      CHECK(q.fx.previousLevel() == c.level);
    }
  }
}

TEST_CASE("the message: exact event bytes and list fields") {
  Qern q;
  q.play(64, 0.0625f);
  REQUIRE(recorder.sent.size() == 1);
  const unsigned char expected[32] = {
      1,    0,    0,    0,                         // eventType: MIDI
      24,   0,    0,    0,                         // recordBytes
      63,   0,    0,    0,                         // frameOffset: the last frame of 64
      0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0, 0, // reserved
      0xB0, 0x4A, 0x6F, 0,                         // control change 74, level 111
      0,    0,    0,    0,                         // reserved
  };
  CHECK(std::memcmp(recorder.sent[0].eventBytes, expected, sizeof expected) == 0);
  const EventList &list = recorder.sent[0].list;
  CHECK(list.eventCount == 1);
  CHECK(list.reserved == 0);
  CHECK(list.events[0] != nullptr);
  CHECK(list.events[1] == nullptr);
}

TEST_CASE("a block sequence: silence, equal levels, an empty block, a NaN sample") {
  Qern q;
  q.play(64, 0.0f); // level 0 after construction: nothing to say
  CHECK(recorder.requests.empty());
  CHECK(q.fx.previousLevel() == 0);

  q.play(64, 0.0625f);
  q.play(64, 0.0625f); // the same level again: no second message
  REQUIRE(recorder.sent.size() == 1);
  CHECK(bytesOf(0) == std::vector<int>{0xB0, 74, 111, 0});

  q.play(0, 0.0625f); // no frames: 0 / 0 counts as level 0
  REQUIRE(recorder.sent.size() == 2);
  CHECK(bytesOf(1) == std::vector<int>{0xB0, 74, 0, 0});
  CHECK(offsetOf(1) == 0);

  q.play(1, 0.0625f); // one frame: x = 889 × 0.125 = 111.125, at frame 0
  REQUIRE(recorder.sent.size() == 3);
  CHECK(bytesOf(2) == std::vector<int>{0xB0, 74, 111, 0});
  CHECK(offsetOf(2) == 0);

  q.play(64, 0.0625f);
  q.in[1][17] = kNaN;
  q.playAsIs(64); // a not-a-number sample makes the block's level 0
  REQUIRE(recorder.sent.size() == 4);
  CHECK(bytesOf(3) == std::vector<int>{0xB0, 74, 0, 0});
  CHECK(offsetOf(3) == 63);

  q.play(4096, 0.0625f);
  REQUIRE(recorder.sent.size() == 5);
  CHECK(offsetOf(4) == 4095);
  CHECK(recorder.requests.size() == recorder.sent.size()); // nothing but the messages
}

TEST_CASE("a negative frame count touches no sample and gives level 0") {
  for (Mode mode : {Mode::Overwriting, Mode::Adding}) {
    Qern q;
    q.play(64, 0.0625f, mode);
    q.out[0].assign(8, 5.0f);
    q.out[1].assign(8, 5.0f);
    q.playAsIs(-8, mode);
    CHECK(q.out[0] == std::vector<float>(8, 5.0f));
    CHECK(q.out[1] == std::vector<float>(8, 5.0f));
    REQUIRE(recorder.sent.size() == 2);
    CHECK(bytesOf(1) == std::vector<int>{0xB0, 74, 0, 0});
    CHECK(offsetOf(1) == 0);
  }
}

TEST_CASE("infinite input: level 127 with a gain, 0 with a gain of 0") {
  Qern q;
  q.play(64, 0.0625f);
  q.play(64, 0.0f);
  q.in[0][3] = kInf;
  q.playAsIs(64);
  REQUIRE(recorder.sent.size() == 3);
  CHECK(bytesOf(2)[2] == 127);

  q.fx.setParamValue(1, 0.0f); // 0 × inf is not a number
  q.playAsIs(64);
  REQUIRE(recorder.sent.size() == 4);
  CHECK(bytesOf(3)[2] == 0);
  q.in[0][3] = -kInf;
  q.fx.setParamValue(1, 1.0f);
  q.playAsIs(64);
  REQUIRE(recorder.sent.size() == 5);
  CHECK(bytesOf(4)[2] == 127);
}

TEST_CASE("gains outside 0..1 keep the level inside 0..127") {
  struct Case {
    float gain;
    int level;
  };
  const Case cases[] = {{-0.5f, 0}, {-kInf, 0}, {kNaN, 0}, {50.0f, 127}, {kInf, 127}};
  for (const Case &c : cases) {
    CAPTURE(c.gain);
    Qern q;
    q.play(64, 0.0625f); // level 111 first, so that every outcome is a message
    q.fx.setParamValue(1, c.gain);
    q.play(64, 0.0625f);
    REQUIRE(recorder.sent.size() == 2);
    CHECK(bytesOf(1)[2] == c.level);
  }
}

TEST_CASE("the block sum is rounded to single precision after every frame") {
  // 128 in the first frame, then 2^-17 per frame: each is half a unit of the
  // float 128 and rounds away (to even), so the float sum stays 128. Summed in
  // double, or in another order, the small parts add up to about 0.031 and the
  // level becomes 27 instead of 26.
  Qern q;
  const int32_t frames = 4096;
  q.play(frames, std::ldexp(1.0f, -18));
  q.in[0][0] = 64.0f;
  q.in[1][0] = -64.0f;
  const float gain = 0.97185f;
  q.fx.setParamValue(1, gain);
  const double exact = 128.0 + (frames - 1) * std::ldexp(1.0, -17);
  REQUIRE(static_cast<int>(static_cast<float>(gain * 889.0 * exact / frames)) == 27);
  REQUIRE(static_cast<int>(static_cast<float>(gain * 889.0 * 128.0 / frames)) == 26);
  for (Mode mode : {Mode::Overwriting, Mode::Adding}) {
    q.playAsIs(frames, mode);
    CHECK(q.fx.previousLevel() == 26);
  }
}

TEST_CASE("processOverwriting copies every sample bit for bit") {
  const uint32_t patterns[] = {
      0x00000000, 0x80000000,             // zero, negative zero
      0x7FC00000, 0xFFC00000, 0x7FC12345, // quiet NaNs, with sign and payload
      0x7F800001, 0xFF800001, 0x7FA00000, // signalling NaNs
      0x7F800000, 0xFF800000,             // infinities
      0x00000001, 0x807FFFFF, 0x00400000, // denormals
      0x00800000, 0x7F7FFFFF, 0xFF7FFFFF, // smallest normal, largest finite
      0x3F800000, 0xBE000000,             // 1.0, -0.125
  };
  const std::size_t n = sizeof patterns / sizeof patterns[0];
  Qern q;
  for (int c = 0; c < 2; ++c) {
    q.in[c].resize(n);
    q.out[c].assign(n, 99.0f);
    for (std::size_t i = 0; i < n; ++i) {
      const uint32_t bits = c == 0 ? patterns[i] : patterns[n - 1 - i];
      std::memcpy(&q.in[c][i], &bits, sizeof bits);
    }
  }
  q.playAsIs(static_cast<int32_t>(n));
  for (int c = 0; c < 2; ++c) {
    for (std::size_t i = 0; i < n; ++i) {
      CAPTURE(c);
      CAPTURE(i);
      uint32_t inBits, outBits;
      std::memcpy(&inBits, &q.in[c][i], sizeof inBits);
      std::memcpy(&outBits, &q.out[c][i], sizeof outBits);
      CHECK(outBits == inBits);
    }
  }
  CHECK(q.fx.previousLevel() == 0); // NaN samples in the block
}

TEST_CASE("processAdding adds the input to what the outputs hold") {
  Qern q;
  const float inputs[] = {0.5f, -0.25f, 1e-30f, 3.0f, -0.0f, 1e8f};
  const float before[] = {1.0f, 1.0f, 1.0f, -3.0f, 0.0f, 1.0f};
  const std::size_t n = sizeof inputs / sizeof inputs[0];
  for (int c = 0; c < 2; ++c) {
    q.in[c].assign(inputs, inputs + n);
    q.out[c].assign(before, before + n);
  }
  q.in[1][0] = 2.0f;
  q.playAsIs(static_cast<int32_t>(n), Mode::Adding);
  q.playAsIs(static_cast<int32_t>(n), Mode::Adding); // adds again
  for (int c = 0; c < 2; ++c) {
    for (std::size_t i = 0; i < n; ++i) {
      CAPTURE(c);
      CAPTURE(i);
      const float once = before[i] + q.in[c][i];
      CHECK(bitsOf(q.out[c][i]) == bitsOf(once + q.in[c][i]));
    }
  }
}

TEST_CASE("in-place buffers: the level is measured from the input") {
  for (Mode mode : {Mode::Overwriting, Mode::Adding}) {
    CAPTURE(static_cast<int>(mode));
    Qern q;
    std::vector<float> left(64, 0.0625f), right(64, 0.0625f);
    float *channels[2] = {left.data(), right.data()};
    if (mode == Mode::Overwriting) {
      q.fx.processOverwriting(channels, channels, 64);
    } else {
      q.fx.processAdding(channels, channels, 64);
    }
    const float expected = mode == Mode::Overwriting ? 0.0625f : 0.125f;
    CHECK(left == std::vector<float>(64, expected));
    CHECK(right == std::vector<float>(64, expected));
    REQUIRE(recorder.sent.size() == 1);
    CHECK(bytesOf(0) == std::vector<int>{0xB0, 74, 111, 0});
  }
}

TEST_CASE("a host that refuses the events: the level is kept, nothing is offered again") {
  for (IntPtr refusal : {IntPtr{0}, IntPtr{2}}) {
    CAPTURE(refusal);
    Qern q(refusal);
    q.play(64, 0.0625f);
    CHECK(q.fx.previousLevel() == 111);
    q.play(64, 0.0625f);
    CHECK(recorder.count(kHostSendEvents) == 1);
    q.play(64, 0.125f);
    CHECK(recorder.count(kHostSendEvents) == 2);
    CHECK(q.fx.previousLevel() == 127);
  }

  ControllerEffect withoutHost(nullptr);
  std::vector<float> buffer(64, 0.0625f);
  float *channels[2] = {buffer.data(), buffer.data()};
  withoutHost.processOverwriting(channels, channels, 64);
  CHECK(withoutHost.previousLevel() == 111);
}

TEST_CASE("a new controller number sends nothing by itself and goes out with the next change") {
  Qern q;
  q.play(64, 0.0625f);
  REQUIRE(recorder.sent.size() == 1);
  CHECK(bytesOf(0)[1] == 74);

  q.fx.setParamValue(0, 1.5f / 127.0f);
  REQUIRE(q.fx.currentControllerNumber() == 1);
  q.play(64, 0.0625f);
  q.fx.handleRequest(kReqSuspendResume, 0, 0, nullptr, 0.0f);
  q.fx.handleRequest(kReqSetProgram, 0, 2, nullptr, 0.0f); // program 2: controller 74 again
  q.fx.handleRequest(kReqSetProgram, 0, 0, nullptr, 0.0f); // back to controller 1
  q.play(64, 0.0625f);
  CHECK(recorder.sent.size() == 1);

  q.fx.setParamValue(1, 0.5f);
  q.play(64, 0.0625f);
  REQUIRE(recorder.sent.size() == 2);
  CHECK(bytesOf(1) == std::vector<int>{0xB0, 1, 55, 0});
}

TEST_CASE("the block level at the edges of its steps, for every block size up to 4096") {
  // x = gain × 889 × sum ÷ frames in double, rounded to float, truncated;
  // sums placed on and beside the points where the level steps up.
  auto reference = [](float gain, float sum, int32_t frames) {
    const auto x = static_cast<float>(static_cast<double>(gain) * 889.0 * static_cast<double>(sum) /
                                      static_cast<double>(frames));
    return !(x > 0.0f) ? 0 : x > 127.0f ? 127 : static_cast<int>(x);
  };
  int mismatches = 0;
  for (int32_t frames = 1; frames <= 4096; ++frames) {
    for (int step : {1, 55, 111, 127}) {
      for (float gain : {1.0f, 0.37f}) {
        const auto onStep = static_cast<float>(frames * step / (889.0 * gain));
        for (float sum : {std::nextafter(onStep, 0.0f), onStep, std::nextafter(onStep, 1e9f)}) {
          if (qern::blockLevel(gain, sum, frames) != reference(gain, sum, frames)) {
            ++mismatches;
            CAPTURE(frames);
            CAPTURE(sum);
            CHECK(qern::blockLevel(gain, sum, frames) == reference(gain, sum, frames));
          }
        }
      }
    }
  }
  CHECK(mismatches == 0);
}
