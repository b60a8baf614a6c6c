// GAIN's per-block arithmetic on its own: clock counts and their limits, tick
// detection, steps, the envelope's turn, the next output, and the sample
// loops with their saturation and in-place buffers.
#include "blockSteps.h"

#include <doctest/doctest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

using namespace gain;

namespace {

constexpr double kNaNd = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfd = std::numeric_limits<double>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

bool sameFloat(float a, float b) {
  return (std::isnan(a) && std::isnan(b)) || (a == b && std::signbit(a) == std::signbit(b));
}

} // namespace

TEST_CASE("clock count: position x (32 / division), truncated toward zero, only where int32 holds "
          "it") {
  struct Case {
    double position;
    int32_t division;
    bool usable;
    int32_t count;
  };
  const Case cases[] = {
      {2.0, 4, true, 16},
      {2.124, 4, true, 16},
      {-0.0625, 4, true, 0}, // -0.5 truncates to 0
      {-0.625, 4, true, -5},
      {0.35, 3, true, 3}, // 10 counts per quarter
      {1.0, 1, true, 32}, // 32
      {1.0, 5, true, 6},  // 32 / 5 = 6
      {1.0, 6, true, 5},  // 32 / 6 = 5
      {1.0, 7, true, 4},  // 32 / 7 = 4
      {1.0, 8, true, 4},  // 32 / 8 = 4
      {67108863.96875, 1, true, 2147483647},
      {67108864.0, 1, false, 0}, // 2^31
      {-67108864.0, 1, true, std::numeric_limits<int32_t>::min()},
      {-536870912.2, 7, true, std::numeric_limits<int32_t>::min()}, // -2^31 - 0.8 truncates
      {-536870912.25, 7, false, 0},                                 // -2^31 - 1
      {1e300, 4, false, 0},
      {-1e300, 4, false, 0},
      {kNaNd, 4, false, 0},
      {kInfd, 4, false, 0},
      {-kInfd, 4, false, 0},
  };
  for (const Case &c : cases) {
    CAPTURE(c.position);
    CAPTURE(c.division);
    int32_t count = 12345;
    REQUIRE(clockCount(c.position, c.division, count) == c.usable);
    CHECK(count == (c.usable ? c.count : 12345)); // no count is written without one
  }
}

TEST_CASE("song start: positions that truncate to 0") {
  for (double p : {0.0, -0.0, 0.999999, -0.999999, 1e-310}) {
    CHECK(atSongStart(p));
  }
  for (double p : {1.0, -1.0, 2.5, -7.0, kNaNd, kInfd, -kInfd}) {
    CHECK_FALSE(atSongStart(p));
  }
}

TEST_CASE("tick detection: remainder 0 with an open latch ticks and closes it; remainder 1 opens") {
  struct Case {
    int32_t count;
    int32_t latch;
    bool tick;
    int32_t latchAfter;
  };
  const Case cases[] = {
      {0, 0, true, 1},
      {16, 0, true, 1},
      {16, 1, false, 1},
      {17, 1, false, 0},
      {17, 0, false, 0},
      {18, 1, false, 1},
      {19, 1, false, 1},
      {19, 0, false, 0},
      {-4, 0, true, 1},
      {-4, 1, false, 1},
      {-3, 1, false, 1}, // remainder -3
      {-5, 1, false, 1}, // remainder -1: never opens
      {-15, 1, false, 1},
      {std::numeric_limits<int32_t>::min(), 0, true, 1},
      {std::numeric_limits<int32_t>::max(), 1, false, 1}, // remainder 3
  };
  for (const Case &c : cases) {
    CAPTURE(c.count);
    CAPTURE(c.latch);
    int32_t latch = c.latch;
    CHECK(clockTicks(c.count, latch) == c.tick);
    CHECK(latch == c.latchAfter);
  }
}

TEST_CASE("envelope steps: factor x value, fourfold at exactly 1.0, limited to 0..1") {
  const float factor = stepFactor(0.5f);
  CHECK(factor == 0.079f);
  CHECK(stepFactor(0.0f) == 0.004f);
  CHECK(stepFactor(1.0f) == 0.154f);
  // The factor is rounded to float once, from double precision.
  CHECK(stepFactor(0.3f) == static_cast<float>(static_cast<double>(0.3f) * 0.15 + 0.004));

  struct Case {
    float factor;
    float value;
    float step;
  };
  const Case cases[] = {
      {0.079f, 0.5f, 0.0395f},
      {0.079f, 1.0f, 0.316f},
      {0.079f, 0.99999994f, 0.079f * 0.99999994f}, // no boost just below 1.0
      {0.154f, 1.0f, 0.616f},                      // the largest step from values in 0..1
      {0.079f, 0.0f, 0.0f},
      {0.079f, -0.5f, 0.0f},
      {0.079f, 100.0f, 1.0f},
      {0.079f, FLT_MAX, 1.0f},
      {0.079f, kInf, 1.0f},
      {0.079f, -kInf, 0.0f},
      {0.079f, kNaN, 0.0f},
      {kNaN, 0.5f, 0.0f},
      {-0.146f, 0.5f, 0.0f}, // from a range of -1
  };
  for (const Case &c : cases) {
    CAPTURE(c.factor);
    CAPTURE(c.value);
    CHECK(envelopeStep(c.factor, c.value) == c.step);
  }
}

TEST_CASE("envelope: reaching exactly 1.0 turns it, and the first fall is taken in that block") {
  struct Case {
    float envelope;
    int32_t phase;
    float attack;
    float decay;
    float after;
    int32_t phaseAfter;
  };
  const Case cases[] = {
      {0.5f, 0, 0.25f, 0.125f, 0.75f, 0},   // rising
      {0.75f, 0, 0.25f, 0.125f, 0.875f, 1}, // 1.0: turns, falls
      {0.75f, 0, 0.5f, 0.125f, 1.125f, 1},  // above 1.0: not capped
      {0.5f, 1, 0.25f, 0.125f, 0.375f, 1},  // falling
      {0.125f, 1, 0.25f, 0.125f, 0.0f, 1},  // exactly 0
      {0.0625f, 1, 0.25f, 0.125f, 0.0f, 1}, // below 0: rests at 0
      {0.0f, 1, 0.25f, 0.125f, 0.0f, 1},    // resting
      {0.25f, 0, 0.0f, 0.125f, 0.25f, 0},   // attack 0: never rises
      {1.5f, 1, 0.25f, 0.0f, 1.5f, 1},      // decay 0: stays at the peak
  };
  for (const Case &c : cases) {
    CAPTURE(c.envelope);
    CAPTURE(c.phase);
    float envelope = c.envelope;
    int32_t phase = c.phase;
    advanceEnvelope(envelope, phase, c.attack, c.decay);
    CHECK(envelope == c.after);
    CHECK(phase == c.phaseAfter);
  }
  CHECK(blockLevel(0.25f, 0.5f, 0.5f) == 0.375f);
  CHECK(blockLevel(1.0f, 1.0f, 1.0f) == 2.0f); // not limited
}

TEST_CASE("next output: one up, or first out past last out") {
  CHECK(nextOutput(1, 1, 8) == 2);
  CHECK(nextOutput(8, 1, 8) == 1);
  CHECK(nextOutput(3, 5, 3) == 5); // first above last: to first, and stays there
  CHECK(nextOutput(5, 5, 3) == 5);
  CHECK(nextOutput(4, 1, 2) == 1); // last lowered below the current output
  CHECK(nextOutput(3, 3, 3) == 3);
  CHECK(nextOutput(2, 6, 7) == 3); // a raised first out is met only at the wrap
}

TEST_CASE("overwriting samples: the exact product, saturated beyond the float range") {
  // 11 frames: a whole number of four-frame steps and a remainder.
  const std::vector<float> input = {0.5f,   -0.25f,  3.0f, -0.0f, 0.0f, 1e30f,
                                    -1e30f, FLT_MAX, kNaN, kInf,  1.0f};
  struct Case {
    float level;
    std::vector<float> expected;
  };
  const Case cases[] = {
      {0.5f, {0.25f, -0.125f, 1.5f, -0.0f, 0.0f, 5e29f, -5e29f, FLT_MAX * 0.5f, kNaN, kInf, 0.5f}},
      {-1.0f, {-0.5f, 0.25f, -3.0f, 0.0f, -0.0f, -1e30f, 1e30f, -FLT_MAX, kNaN, -kInf, -1.0f}},
      {4.0f, {2.0f, -1.0f, 12.0f, -0.0f, 0.0f, 4e30f, -4e30f, FLT_MAX, kNaN, FLT_MAX, 4.0f}},
      {1e10f,
       {0.5f * 1e10f, -0.25f * 1e10f, 3.0f * 1e10f, -0.0f, 0.0f, FLT_MAX, -FLT_MAX, FLT_MAX, kNaN,
        FLT_MAX, 1e10f}},
      // A level beyond the float range acts as FLT_MAX: silence stays silent.
      {kInf,
       {0.5f * FLT_MAX, -0.25f * FLT_MAX, FLT_MAX, -0.0f, 0.0f, FLT_MAX, -FLT_MAX, FLT_MAX, kNaN,
        FLT_MAX, FLT_MAX}},
  };
  for (const Case &c : cases) {
    CAPTURE(c.level);
    for (bool inPlace : {false, true}) {
      CAPTURE(inPlace);
      std::vector<float> in = input;
      std::vector<float> out(input.size(), -7.0f);
      float *target = inPlace ? in.data() : out.data();
      scaleBlock(in.data(), target, c.level, static_cast<int32_t>(in.size()));
      for (std::size_t i = 0; i < input.size(); ++i) {
        CAPTURE(i);
        CHECK(sameFloat(target[i], c.expected[i]));
        if (!inPlace) {
          CHECK(sameFloat(in[i], input[i])); // a separate input is only read
        }
      }
    }
  }
}

TEST_CASE("adding samples: sums saturate; the input may be either output, or both outputs one "
          "buffer") {
  const int32_t frames = 9;
  std::vector<float> in(frames);
  for (int32_t i = 0; i < frames; ++i) {
    in[i] = 0.25f * static_cast<float>(i) - 1.0f;
  }
  SUBCASE("separate buffers, and sums beyond the float range") {
    // Sums that overflow become +-FLT_MAX; the others are the plain float sums.
    auto expected = [](float sum) { return std::isinf(sum) ? std::copysign(FLT_MAX, sum) : sum; };
    std::vector<float> first(frames, 1.0f);
    std::vector<float> second(frames, FLT_MAX);
    addScaledBlock(in.data(), first.data(), second.data(), 1e32f, frames);
    int saturated = 0;
    for (int32_t i = 0; i < frames; ++i) {
      CAPTURE(i);
      const float x = in[i] * 1e32f;
      CHECK(first[i] == 1.0f + x);
      CHECK(second[i] == expected(FLT_MAX + x));
      saturated += std::isinf(FLT_MAX + x) ? 1 : 0;
    }
    CHECK(saturated == 4); // the four positive inputs
  }
  SUBCASE("the input as the first or the second output") {
    for (int shared : {0, 1}) {
      CAPTURE(shared);
      std::vector<float> buffer = in;
      std::vector<float> other(frames, 0.5f);
      float *first = shared == 0 ? buffer.data() : other.data();
      float *second = shared == 0 ? other.data() : buffer.data();
      addScaledBlock(buffer.data(), first, second, 0.5f, frames);
      for (int32_t i = 0; i < frames; ++i) {
        CHECK(buffer[i] == in[i] + in[i] * 0.5f);
        CHECK(other[i] == 0.5f + in[i] * 0.5f);
      }
    }
  }
  SUBCASE("one buffer for both outputs receives the product twice, frame by frame") {
    std::vector<float> both(frames, 0.0f);
    addScaledBlock(in.data(), both.data(), both.data(), 3.0f, frames);
    for (int32_t i = 0; i < frames; ++i) {
      CHECK(both[i] == in[i] * 3.0f + in[i] * 3.0f);
    }
  }
  SUBCASE("a level beyond the float range acts as FLT_MAX") {
    std::vector<float> silent(frames, 0.0f);
    std::vector<float> first(frames, 0.5f);
    std::vector<float> second(frames, -0.5f);
    addScaledBlock(silent.data(), first.data(), second.data(), kInf, frames);
    for (int32_t i = 0; i < frames; ++i) {
      CHECK(first[i] == 0.5f);
      CHECK(second[i] == -0.5f);
    }
  }
}

TEST_CASE("routing a block: the active output gets the product, the others +0.0, in place too") {
  // Short blocks are cleared with stores of our own, longer ones with memset.
  for (int32_t frames : {6, 13, kInlineClearFrames, kInlineClearFrames + 5}) {
    for (int32_t active : {0, 3, 7}) {
      for (int shared : {-1, 0, 3, 7}) { // the output that is also the input; -1 for none
        CAPTURE(frames);
        CAPTURE(active);
        CAPTURE(shared);
        std::vector<float> in(frames);
        for (int32_t i = 0; i < frames; ++i) {
          in[i] = (i % 5 == 4) ? -0.0f : static_cast<float>(i % 7) - 2.5f;
        }
        const std::vector<float> original = in;
        std::vector<std::vector<float>> out(8, std::vector<float>(frames, -3.0f));
        float *outputs[8];
        for (int n = 0; n < 8; ++n) {
          outputs[n] = n == shared ? in.data() : out[n].data();
        }
        routeBlock(in.data(), outputs, active, 0.5f, frames);
        for (int n = 0; n < 8; ++n) {
          for (int32_t i = 0; i < frames; ++i) {
            CAPTURE(n);
            CAPTURE(i);
            CHECK(sameFloat(outputs[n][i], n == active ? original[i] * 0.5f : 0.0f));
          }
        }
        if (shared == -1) {
          CHECK(in == original);
        }
      }
    }
  }
}
