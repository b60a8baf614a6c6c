// RouterEffect's processing as sequences of blocks: the clock taken from the
// song position, the envelope, the level and the routing to one of eight outputs.
#include "RouterEffect.h"

#include <doctest/doctest.h>

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

using namespace fw;
using gain::RouterEffect;

namespace {

constexpr float kSentinel = -123.0f;

// The test's host: answers the transport request with a record whose song
// position the test sets before each block, or with null.
struct TestHostState {
  bool answerTransport = true;
  TransportInfo info{};
  int transportRequests = 0;
  IntPtr lastMask = 0;
  int otherRequests = 0;
};
TestHostState hostState;

IntPtr PLUGIN_CALL testHost(EffectRecord *, int32_t code, int32_t, IntPtr value, void *, float) {
  if (code == kHostGetTransportInfo) {
    ++hostState.transportRequests;
    hostState.lastMask = value;
    return hostState.answerTransport ? reinterpret_cast<IntPtr>(&hostState.info) : 0;
  }
  ++hostState.otherRequests;
  return 0;
}

// Host value that selects output number n (1..8).
float outputValue(int n) { return n >= 8 ? 1.0f : (static_cast<float>(n) - 0.5f) / 7.0f; }

// One effect with its buffers: input 1.0 in every frame unless set otherwise,
// and eight output buffers that start each block filled with a sentinel.
struct Router {
  RouterEffect fx{testHost};
  int32_t frames;
  std::vector<float> in;
  std::array<std::vector<float>, 8> out;
  std::array<float *, 8> outPtrs{};
  float *inPtrs[1]{};

  explicit Router(int32_t blockFrames = 16) : frames(blockFrames), in(blockFrames, 1.0f) {
    hostState = TestHostState{};
    for (int n = 0; n < 8; ++n) {
      out[n].assign(blockFrames, kSentinel);
      outPtrs[n] = out[n].data();
    }
    inPtrs[0] = in.data();
  }

  void set(int32_t index, float value) { fx.setParamValue(index, value); }
  void setRange(int first, int last) {
    set(gain::kFirstOut, outputValue(first));
    set(gain::kLastOut, outputValue(last));
  }

  // One overwriting block whose transport answer gives the song position
  // `position` (any double, not a number included).
  void block(double position) {
    hostState.answerTransport = true;
    hostState.info.beatPosition = position;
    for (auto &o : out) {
      std::fill(o.begin(), o.end(), kSentinel);
    }
    fx.processOverwriting(inPtrs, outPtrs.data(), frames);
  }
  // One overwriting block whose transport request is answered with null.
  void nullBlock() {
    hostState.answerTransport = false;
    for (auto &o : out) {
      std::fill(o.begin(), o.end(), kSentinel);
    }
    fx.processOverwriting(inPtrs, outPtrs.data(), frames);
  }

  // The output number that received input × level, after checking that every
  // sample of the block was written: the others +0.0, that one input × level.
  int playedOutput() {
    const int n = fx.activeOutput();
    for (int o = 0; o < 8; ++o) {
      for (int32_t i = 0; i < frames; ++i) {
        const float expected = o == n - 1 ? in[i] * fx.blockLevelValue() : 0.0f;
        if (out[o][i] != expected || std::signbit(out[o][i]) != std::signbit(expected)) {
          FAIL_CHECK("output " << o + 1 << " frame " << i << " holds " << out[o][i] << ", expected "
                               << expected);
          return 0;
        }
      }
    }
    return n;
  }
};

struct Step {
  double position; // song position at the block's start, in quarter notes
  int output;      // output number that plays the block
  bool tick;       // the envelope restarts in this block
};

// Plays the blocks in order and checks each block's output and tick.
void play(Router &r, const std::vector<Step> &steps) {
  for (std::size_t k = 0; k < steps.size(); ++k) {
    CAPTURE(k);
    CAPTURE(steps[k].position);
    r.block(steps[k].position);
    CHECK(r.playedOutput() == steps[k].output);
    // A tick leaves the envelope at 0, rising; no block without one does
    // with the construction attack.
    CHECK((r.fx.envelopeValue() == 0.0f && r.fx.phase() == 0) == steps[k].tick);
  }
}

} // namespace

TEST_CASE(
    "envelope with the construction values rises in 26 blocks, falls and rests from block 51") {
  Router r;
  std::vector<float> trace;
  for (int k = 1; k <= 60; ++k) {
    r.nullBlock(); // no clock: the envelope runs free
    trace.push_back(r.fx.envelopeValue());
    CHECK(r.fx.blockLevelValue() == r.fx.envelopeValue()); // floor 0, gain 1
  }
  CHECK(r.fx.attackStepValue() == 0.0395f);
  CHECK(r.fx.decayStepValue() == 0.0395f);
  CHECK(trace[0] == 0.0395f);
  CHECK(trace[1] == doctest::Approx(0.079).epsilon(1e-6));
  CHECK(trace[24] == doctest::Approx(0.9875).epsilon(1e-5)); // block 25, still rising
  CHECK(trace[25] == doctest::Approx(0.9875).epsilon(1e-5)); // block 26: 1.027, turned, fell
  for (int k = 26; k < 50; ++k) {
    CAPTURE(k);
    CHECK(trace[k] == doctest::Approx(0.9875 - 0.0395 * (k - 25)).epsilon(1e-4));
    CHECK(trace[k] > 0.0f);
  }
  // 26 rises and 26 falls of the 32-bit step leave a rounding residue of
  // about 1e-7 after block 51 (-139 dB); block 52 reaches 0 and it rests there.
  CHECK(trace[50] >= 0.0f);
  CHECK(trace[50] < 1e-6f);
  for (int k = 51; k < 60; ++k) {
    CHECK(trace[k] == 0.0f);
  }
  CHECK(r.fx.phase() == 1);
}

TEST_CASE("envelope traces for the edge settings of attack and decay") {
  SUBCASE("attack exactly 1.0 is boosted fourfold; just below is not") {
    Router r;
    r.set(gain::kAttack, 1.0f);
    r.nullBlock();
    CHECK(r.fx.attackStepValue() == 0.316f);
    CHECK(r.fx.decayStepValue() == 0.0395f);
    r.nullBlock();
    r.nullBlock();
    CHECK(r.fx.phase() == 0);
    r.nullBlock(); // 1.264, turns, falls by 0.0395
    CHECK(r.fx.phase() == 1);
    CHECK(r.fx.envelopeValue() == doctest::Approx(1.2245).epsilon(1e-6));

    r.set(gain::kAttack, 0.99999994f);
    r.set(gain::kDecay, 1.0f);
    r.nullBlock();
    CHECK(r.fx.attackStepValue() == doctest::Approx(0.079).epsilon(1e-6));
    CHECK(r.fx.decayStepValue() == 0.316f);
  }
  SUBCASE("attack 0: the envelope never rises and the level is floor x gain") {
    Router r;
    r.set(gain::kAttack, 0.0f);
    r.set(gain::kFloor, 0.25f);
    r.set(gain::kGain, 0.5f);
    for (int k = 0; k < 40; ++k) {
      r.block(2.0 + k * 0.25); // ticks now and then
      CHECK(r.fx.envelopeValue() == 0.0f);
      CHECK(r.fx.blockLevelValue() == 0.125f);
      REQUIRE(r.playedOutput() != 0);
    }
  }
  SUBCASE("decay 0: the envelope stays at its peak until the next tick") {
    Router r;
    r.set(gain::kDecay, 0.0f);
    r.set(gain::kFloor, 0.5f);
    for (int k = 0; k < 26; ++k) {
      r.nullBlock();
    }
    const float peak = r.fx.envelopeValue();
    CHECK(peak >= 1.0f);
    CHECK(peak == doctest::Approx(1.027).epsilon(1e-5));
    for (int k = 0; k < 100; ++k) {
      r.nullBlock();
      CHECK(r.fx.envelopeValue() == peak);
    }
    // Floor + envelope above 1: the level is not limited.
    CHECK(r.fx.blockLevelValue() == 0.5f + peak);
    r.block(2.0); // a tick
    CHECK(r.fx.envelopeValue() == 0.0f);
    CHECK(r.fx.blockLevelValue() == 0.5f); // a tick block plays input × floor × gain
    CHECK(r.playedOutput() == 2);
  }
  SUBCASE("range 0 and range 1 give the factors 0.004 and 0.154") {
    Router r;
    r.set(gain::kRange, 0.0f);
    r.nullBlock();
    CHECK(r.fx.attackStepValue() == static_cast<float>(0.004f * 0.5f));
    r.set(gain::kRange, 1.0f);
    r.nullBlock();
    CHECK(r.fx.attackStepValue() == static_cast<float>(0.154f * 0.5f));
  }
}

TEST_CASE("song played from position 0, outputs 1 to 8, a tick every half quarter note") {
  Router r;
  r.set(gain::kFloor, 0.5f); // a tick block still plays something
  // Blocks every 1/8 quarter note: the clock count (position × 8) rises by
  // 1 per block, so a tick falls in every fourth block.
  std::vector<Step> steps = {
      {0.0, 2, true}, {0.125, 1, false}, {0.25, 1, false}, {0.375, 1, false}, // song start
      {0.5, 2, true}, {0.625, 1, false}, {0.75, 1, false}, {0.875, 1, false},
      {1.0, 2, true}, {1.125, 2, false}, {1.25, 2, false}, {1.375, 2, false},
      {1.5, 3, true}, {2.0, 4, true},    {2.5, 5, true},   {3.0, 6, true},
      {3.5, 7, true}, {4.0, 8, true},    {4.5, 1, true},   {5.0, 2, true},
  };
  // Between the listed ticks, blocks at remainder 1 open the latch again.
  std::vector<Step> played;
  for (const Step &s : steps) {
    played.push_back(s);
    if (s.position >= 1.5) {
      played.push_back({s.position + 0.125, s.output, false});
    }
  }
  play(r, played);
  CHECK(hostState.transportRequests == static_cast<int>(played.size()));
  CHECK(hostState.lastMask == 0xE00);
  CHECK(hostState.otherRequests == 0);
}

TEST_CASE("routing with first out above last out, and with first equal to last") {
  SUBCASE("first 5, last 3: steps up to 3, then to 5, then stays on 5") {
    Router r;
    r.set(gain::kFloor, 0.5f);
    r.setRange(5, 3);
    play(r, {{2.0, 2, true},
             {2.125, 2, false},
             {2.5, 3, true},
             {2.625, 3, false},
             {3.0, 5, true},
             {3.125, 5, false},
             {3.5, 5, true},
             {3.625, 5, false},
             {4.0, 5, true}});
  }
  SUBCASE("first 3, last 3: after the first tick the output stays on 3") {
    Router r;
    r.set(gain::kFloor, 0.5f);
    r.setRange(3, 3);
    play(r, {{2.0, 2, true},
             {2.125, 2, false},
             {2.5, 3, true},
             {2.625, 3, false},
             {3.0, 3, true},
             {3.125, 3, false},
             {3.5, 3, true}});
  }
  SUBCASE("a new first out meets the output only at the wrap or at the song start") {
    Router r;
    r.set(gain::kFloor, 0.5f);
    play(r, {{2.0, 2, true}, {2.125, 2, false}});
    r.setRange(6, 7);
    play(r, {{2.5, 3, true},
             {2.625, 3, false},
             {3.0, 4, true},
             {3.125, 4, false},
             {3.5, 5, true},
             {3.625, 5, false},
             {4.0, 6, true},
             {4.125, 6, false},
             {4.5, 7, true},
             {4.625, 7, false},
             {5.0, 6, true},
             {5.125, 6, false},
             {0.125, 6, false}}); // song start: forced to first out
    r.setRange(2, 4);
    play(r, {{0.25, 2, false}});
  }
  SUBCASE("last out lowered below the current output: the next tick goes to first out") {
    Router r;
    r.set(gain::kFloor, 0.5f);
    play(r, {{2.0, 2, true}, {2.125, 2, false}, {2.5, 3, true}, {2.625, 3, false}});
    r.setRange(1, 2);
    play(r, {{3.0, 1, true}, {3.125, 1, false}, {3.5, 2, true}});
  }
}

TEST_CASE("clock: pre-roll, jumps, a transport at rest and long blocks") {
  SUBCASE("pre-roll: the tick before the song start keeps the latch closed through position 0") {
    Router r;
    r.set(gain::kFloor, 0.5f);
    play(r, {{-2.0, 2, true},    // count -16: tick
             {-1.875, 2, false}, // count -15, remainder -3: the latch stays closed
             {-1.5, 2, false},   // count -12: closed, no tick
             {-1.0, 2, false},
             {-0.875, 1, false}, // within (-1, 1): song start
             {-0.5, 1, false},
             {0.0, 1, false},   // the song start gets no tick
             {0.125, 1, false}, // remainder 1 opens the latch
             {0.5, 2, true}});
  }
  SUBCASE("a count that truncates to 0 just before the song start can tick") {
    Router r;
    r.set(gain::kFloor, 0.5f);
    play(r, {{-0.0625, 2, true}, {0.0, 1, false}});
  }
  SUBCASE("a jump back to position 0 with the latch closed: no tick, output forced to first out") {
    Router r;
    r.set(gain::kFloor, 0.5f);
    r.setRange(3, 8);
    play(r, {{2.0, 2, true}, {2.125, 2, false}, {2.5, 3, true}, {2.625, 3, false}, {3.0, 4, true}});
    const float envelopeBefore = r.fx.envelopeValue();
    play(r, {{0.0, 3, false}});
    CHECK(r.fx.envelopeValue() > envelopeBefore); // the envelope went on rising
  }
  SUBCASE("transport at rest: at most one tick") {
    struct Rest {
      double position;
      bool latchClosedFirst;
      int ticks;
    };
    const Rest rests[] = {
        {2.0, false, 1},   // multiple of 4, latch open: one tick
        {2.0, true, 0},    // latch closed: none
        {2.125, false, 0}, // remainder 1: none
        {2.25, false, 0},  // remainder 2: none
    };
    for (const Rest &rest : rests) {
      CAPTURE(rest.position);
      CAPTURE(rest.latchClosedFirst);
      Router r;
      r.set(gain::kFloor, 0.5f);
      if (rest.latchClosedFirst) {
        r.block(1.5); // tick: output 2, latch closed
      }
      const int before = r.fx.activeOutput();
      for (int k = 0; k < 20; ++k) {
        r.block(rest.position);
        REQUIRE(r.playedOutput() != 0);
      }
      CHECK(r.fx.activeOutput() - before == rest.ticks);
    }
  }
  SUBCASE("long blocks that skip remainder 1 give no tick until a block at remainder 1") {
    Router r;
    r.set(gain::kFloor, 0.5f);
    play(r, {{2.0, 2, true},    // count 16
             {2.25, 2, false},  // 18
             {2.5, 2, false},   // 20: latch still closed
             {2.75, 2, false},  // 22
             {3.0, 2, false},   // 24
             {3.125, 2, false}, // 25: opens
             {3.5, 3, true}});
  }
  SUBCASE("the clock division sets the tick spacing") {
    struct Division {
      float value;
      double spacing; // quarter notes between ticks
    };
    const Division divisions[] = {{0.0f, 0.125},     {0.15f, 0.25}, {0.3f, 0.4}, {0.45f, 0.5},
                                  {0.6f, 2.0 / 3.0}, {0.75f, 0.8},  {0.9f, 1.0}, {1.0f, 1.0}};
    for (const Division &d : divisions) {
      CAPTURE(d.value);
      Router r;
      r.set(gain::kFloor, 0.5f);
      r.set(gain::kClockDiv, d.value);
      // Blocks of 1/64 quarter note from position 2: count the ticks over 4 quarters.
      int ticks = 0;
      for (int k = 0; k < 256; ++k) {
        const int before = r.fx.activeOutput();
        r.block(2.0 + k / 64.0);
        ticks += r.fx.activeOutput() != before ? 1 : 0;
      }
      CHECK(ticks == static_cast<int>(std::lround(4.0 / d.spacing)));
    }
  }
}

TEST_CASE("a null transport answer: no clock, the output kept, the envelope and level run") {
  Router r;
  r.set(gain::kFloor, 0.25f);
  r.setRange(1, 8);
  play(r, {{2.0, 2, true}, {2.125, 2, false}, {2.5, 3, true}});
  for (int k = 1; k <= 5; ++k) {
    r.nullBlock();
    CHECK(r.playedOutput() == 3);
    CHECK(r.fx.envelopeValue() == doctest::Approx(0.0395 * k).epsilon(1e-5));
    CHECK(r.fx.blockLevelValue() == 0.25f + r.fx.envelopeValue());
  }
  CHECK(hostState.transportRequests == 8);
}

TEST_CASE("without a host callback the effect plays on output 1 with the envelope running") {
  {
    RouterEffect alone(nullptr);
    std::vector<float> in(8, 1.0f);
    std::vector<std::vector<float>> out(8, std::vector<float>(8, kSentinel));
    float *inPtrs[1] = {in.data()};
    float *outPtrs[8];
    for (int n = 0; n < 8; ++n) {
      outPtrs[n] = out[n].data();
    }
    alone.processOverwriting(inPtrs, outPtrs, 8);
    CHECK(out[0][7] == 0.0395f);
    for (int n = 1; n < 8; ++n) {
      CHECK(out[n][7] == 0.0f);
    }
  }
}

TEST_CASE("song positions without a usable clock count are treated like a null answer") {
  const double positions[] = {std::numeric_limits<double>::quiet_NaN(),
                              std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity(),
                              1e300,
                              -1e300,
                              268435456.0,   // × 8 = 2^31: one past int32
                              -268435456.25, // × 8 below -2^31
                              5e9};
  for (double position : positions) {
    CAPTURE(position);
    Router r;
    r.set(gain::kFloor, 0.25f);
    r.setRange(1, 8);
    play(r, {{2.0, 2, true}, {2.125, 2, false}, {2.5, 3, true}});
    const float envelope = r.fx.envelopeValue();
    for (int k = 0; k < 3; ++k) {
      r.block(position);
      CHECK(r.playedOutput() == 3);
    }
    CHECK(r.fx.envelopeValue() == doctest::Approx(envelope + 3 * 0.0395).epsilon(1e-5));
  }
  // The largest counts that fit still run the clock.
  Router r;
  r.set(gain::kFloor, 0.25f);
  r.set(gain::kClockDiv, 0.0f); // 32 counts per quarter
  r.block(-67108864.0);         // count -2^31: remainder 0, a tick
  CHECK(r.playedOutput() == 2);
  r.block(67108863.96875); // count 2^31 - 1: remainder 3
  CHECK(r.playedOutput() == 2);
}

TEST_CASE(
    "parameters that are not numbers or infinite: the output is finite again from the next block") {
  const float bad[] = {std::numeric_limits<float>::quiet_NaN(),
                       std::numeric_limits<float>::infinity(),
                       -std::numeric_limits<float>::infinity()};
  const float good[8] = {0.5f, 0.5f, 0.5f, 0.25f, 1.0f, 0.0f, 1.0f, 0.5f};
  for (int32_t index = 0; index < 8; ++index) {
    for (float value : bad) {
      CAPTURE(index);
      CAPTURE(value);
      Router r;
      for (int32_t i = 0; i < 8; ++i) {
        r.set(i, good[i]);
      }
      r.block(2.0);
      r.set(index, value);
      for (int k = 0; k < 30; ++k) { // the clock runs on: ticks fall as well
        r.block(2.125 + k * 0.125);
      }
      r.set(index, good[index]);
      for (int k = 0; k < 30; ++k) {
        r.block(6.0 + k * 0.125);
        CAPTURE(k);
        const int n = r.fx.activeOutput();
        REQUIRE(n >= 1);
        REQUIRE(n <= 8);
        CHECK(std::isfinite(r.fx.blockLevelValue()));
        CHECK(std::isfinite(r.fx.envelopeValue()));
        CHECK(r.playedOutput() == n);
      }
    }
  }
}

TEST_CASE("processAdding adds input x level into outputs 1 and 2 only and asks the host nothing") {
  Router r;
  r.set(gain::kFloor, 0.25f);
  for (int32_t i = 0; i < r.frames; ++i) {
    r.in[i] = 0.5f + 0.03125f * static_cast<float>(i);
  }
  for (int k = 1; k <= 60; ++k) {
    CAPTURE(k);
    for (int n = 0; n < 8; ++n) {
      std::fill(r.out[n].begin(), r.out[n].end(), 0.125f * static_cast<float>(n + 1));
    }
    r.fx.processAdding(r.inPtrs, r.outPtrs.data(), r.frames);
    const float level = r.fx.blockLevelValue();
    CHECK(level == 0.25f + r.fx.envelopeValue());
    for (int32_t i = 0; i < r.frames; ++i) {
      CHECK(r.out[0][i] == 0.125f + r.in[i] * level);
      CHECK(r.out[1][i] == 0.25f + r.in[i] * level);
      for (int n = 2; n < 8; ++n) {
        CHECK(r.out[n][i] == 0.125f * static_cast<float>(n + 1));
      }
    }
  }
  // The envelope rose and fell once; the level rests at floor × gain.
  CHECK(r.fx.envelopeValue() == 0.0f);
  CHECK(r.fx.blockLevelValue() == 0.25f);
  CHECK(r.fx.activeOutput() == 1);
  CHECK(hostState.transportRequests == 0);
  CHECK(hostState.otherRequests == 0);
}

TEST_CASE("blocks of 0 or fewer frames run the per-block steps and write no sample") {
  for (int32_t frames : {0, -1, -4096}) {
    CAPTURE(frames);
    Router r(4);
    hostState.info.beatPosition = 2.0; // a tick
    r.fx.processOverwriting(r.inPtrs, r.outPtrs.data(), frames);
    CHECK(hostState.transportRequests == 1);
    CHECK(r.fx.activeOutput() == 2);
    hostState.info.beatPosition = 2.125;
    r.fx.processOverwriting(r.inPtrs, r.outPtrs.data(), frames);
    CHECK(r.fx.envelopeValue() == 0.0395f);
    r.fx.processAdding(r.inPtrs, r.outPtrs.data(), frames);
    CHECK(r.fx.envelopeValue() == 0.079f);
    CHECK(r.fx.blockLevelValue() == 0.079f);
    for (const auto &o : r.out) {
      for (float x : o) {
        CHECK(x == kSentinel);
      }
    }
    // A host may pass no buffers at all with an empty block.
    r.fx.processOverwriting(nullptr, nullptr, frames);
    r.fx.processAdding(nullptr, nullptr, frames);
    CHECK(hostState.transportRequests == 3);
  }
}

TEST_CASE("in-place buffers give the same result as separate buffers; separate inputs are never "
          "written") {
  const std::vector<double> positions = {0.0,   0.125, 0.5,   1.0, 1.125, 1.5,
                                         1.625, 2.0,   2.125, 2.5, 3.0};
  const int32_t frames = 37;
  auto signal = [](int32_t i) { return std::sin(0.3f * static_cast<float>(i)) - 0.25f; };

  // Reference: separate buffers. Records each block's outputs and active output.
  std::vector<std::array<std::vector<float>, 8>> reference;
  std::vector<int> active;
  {
    Router r(frames);
    r.set(gain::kFloor, 0.3f);
    r.set(gain::kGain, 0.8f);
    for (double p : positions) {
      for (int32_t i = 0; i < frames; ++i) {
        r.in[i] = signal(i);
      }
      r.block(p);
      for (int32_t i = 0; i < frames; ++i) {
        CHECK(r.in[i] == signal(i)); // the input was only read
      }
      reference.push_back(r.out);
      active.push_back(r.fx.activeOutput());
    }
    CHECK(active.front() == 2);
    CHECK(active.back() != 2);
  }
  // In place: the input buffer is the active output, or a silent one.
  for (int shift : {0, 1, 5}) {
    CAPTURE(shift);
    Router r(frames);
    r.set(gain::kFloor, 0.3f);
    r.set(gain::kGain, 0.8f);
    for (std::size_t k = 0; k < positions.size(); ++k) {
      CAPTURE(k);
      const int shared = (active[k] - 1 + shift) % 8;
      for (int n = 0; n < 8; ++n) {
        r.outPtrs[n] = r.out[n].data();
      }
      r.outPtrs[shared] = r.in.data();
      for (int32_t i = 0; i < frames; ++i) {
        r.in[i] = signal(i);
      }
      r.block(positions[k]);
      for (int n = 0; n < 8; ++n) {
        const float *written = r.outPtrs[n];
        for (int32_t i = 0; i < frames; ++i) {
          CHECK(written[i] == reference[k][n][i]);
        }
      }
    }
  }
  // Adding in place: input as output 1 or 2 equals separate buffers that held the input.
  for (int shared : {0, 1}) {
    CAPTURE(shared);
    Router separate(frames);
    Router inPlace(frames);
    for (int k = 0; k < 5; ++k) {
      for (int32_t i = 0; i < frames; ++i) {
        separate.in[i] = signal(i);
        inPlace.in[i] = signal(i);
        for (int n = 0; n < 8; ++n) {
          separate.out[n][i] = n == shared ? signal(i) : 0.5f;
          inPlace.out[n][i] = 0.5f;
        }
      }
      inPlace.outPtrs[shared] = inPlace.in.data();
      separate.fx.processAdding(separate.inPtrs, separate.outPtrs.data(), frames);
      inPlace.fx.processAdding(inPlace.inPtrs, inPlace.outPtrs.data(), frames);
      for (int n = 0; n < 8; ++n) {
        for (int32_t i = 0; i < frames; ++i) {
          CHECK(inPlace.outPtrs[n][i] == separate.out[n][i]);
        }
      }
      for (int32_t i = 0; i < frames; ++i) {
        CHECK(separate.in[i] == signal(i));
      }
    }
  }
}

TEST_CASE("attack and decay far outside 0..1: the envelope stays within 0..2 and comes back") {
  SUBCASE("one block with a huge attack, then an ordinary one: back to rest in 50 blocks") {
    Router r;
    r.set(gain::kRange, 1.0f);
    r.set(gain::kAttack, 1e30f);
    r.nullBlock();
    CHECK(r.fx.attackStepValue() == 1.0f);
    CHECK(r.fx.envelopeValue() == 1.0f - 0.077f); // rose by the limited step, turned, fell
    r.set(gain::kAttack, 0.5f);
    int blocks = 1;
    while (r.fx.envelopeValue() > 0.0f && blocks < 100) {
      r.nullBlock();
      CHECK(r.fx.envelopeValue() < 1.0f);
      ++blocks;
    }
    CHECK(blocks <= 14); // 0.923 / 0.077 per block
  }
  SUBCASE("a negative attack never moves the envelope; the level is floor x gain") {
    Router r;
    r.set(gain::kAttack, -0.5f);
    r.set(gain::kFloor, 0.25f);
    for (int k = 0; k < 200; ++k) {
      r.nullBlock();
      REQUIRE(r.fx.envelopeValue() == 0.0f);
      REQUIRE(r.fx.blockLevelValue() == 0.25f);
    }
  }
  SUBCASE("a negative decay leaves the envelope at its peak, like decay 0") {
    Router r;
    r.set(gain::kDecay, -3.0f);
    for (int k = 0; k < 26; ++k) {
      r.nullBlock();
    }
    const float peak = r.fx.envelopeValue();
    CHECK(peak == doctest::Approx(1.027).epsilon(1e-5));
    for (int k = 0; k < 50; ++k) {
      r.nullBlock();
    }
    CHECK(r.fx.envelopeValue() == peak);
  }
}

TEST_CASE("finite parameters far outside 0..1 give a finite output: products saturate at FLT_MAX") {
  SUBCASE("gain 1e38 on an input of 4: the played output holds FLT_MAX, the others 0") {
    Router r(8);
    std::fill(r.in.begin(), r.in.end(), 4.0f);
    r.in[3] = -4.0f;
    r.in[5] = 0.0f;
    r.set(gain::kFloor, 1.0f);
    r.set(gain::kGain, 1e38f);
    r.nullBlock();
    CHECK(r.fx.blockLevelValue() == (1.0f + 0.0395f) * 1e38f); // the level itself is not limited
    for (int32_t i = 0; i < r.frames; ++i) {
      CAPTURE(i);
      const float expected = i == 3 ? -FLT_MAX : i == 5 ? 0.0f : FLT_MAX;
      CHECK(r.out[0][i] == expected);
      for (int n = 1; n < 8; ++n) {
        CHECK(r.out[n][i] == 0.0f);
      }
    }
    // Adding into outputs that already hold FLT_MAX stays at FLT_MAX.
    r.fx.processAdding(r.inPtrs, r.outPtrs.data(), r.frames);
    CHECK(r.out[0][0] == FLT_MAX);
    CHECK(r.out[1][0] == FLT_MAX);
    CHECK(r.out[1][3] == -FLT_MAX);
  }
  SUBCASE("floor and gain at FLT_MAX on a silent input: silence, not a not-a-number") {
    Router r(8);
    std::fill(r.in.begin(), r.in.end(), 0.0f);
    r.set(gain::kFloor, FLT_MAX);
    r.set(gain::kGain, FLT_MAX);
    r.nullBlock();
    CHECK(std::isinf(r.fx.blockLevelValue()));
    for (int n = 0; n < 8; ++n) {
      for (float x : r.out[n]) {
        CHECK(x == 0.0f);
      }
    }
    for (auto &o : r.out) {
      std::fill(o.begin(), o.end(), 0.5f);
    }
    r.fx.processAdding(r.inPtrs, r.outPtrs.data(), r.frames);
    CHECK(r.out[0][0] == 0.5f);
    CHECK(r.out[1][0] == 0.5f);
  }
}
