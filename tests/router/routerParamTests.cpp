// RouterEffect's parameters, texts, output-number mapping and program name.
#include "RouterEffect.h"

#include <doctest/doctest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

using namespace fw;
using gain::RouterEffect;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Text written by one of the effect's text operations into a buffer that
// starts filled with a sentinel, so that "left untouched" is visible.
std::string display(RouterEffect &fx, int32_t index) {
  char text[64];
  std::memset(text, '#', sizeof text);
  text[sizeof text - 1] = '\0';
  fx.copyParamDisplay(index, text);
  return text;
}

std::string requestText(RouterEffect &fx, int32_t code, int32_t index = 0) {
  char text[128];
  std::memset(text, '#', sizeof text);
  text[sizeof text - 1] = '\0';
  fx.handleRequest(code, index, 0, text, 0.0f);
  return text;
}

} // namespace

TEST_CASE("construction: values, displays, names and labels of the eight parameters") {
  RouterEffect fx(nullptr);
  struct Row {
    float value;
    const char *display;
    const char *name;
    const char *label;
  };
  const Row rows[8] = {
      {0.5f, "0.500000", " attack  ", "->up"}, {0.5f, "0.500000", " decay  ", "down<-"},
      {0.5f, "0.500000", " range ", "+ / -"},  {0.0f, "  -oo   ", "  floor  ", "dB"},
      {1.0f, "0.000000", "  gain  ", "dB"},    {0.0f, "      1", "first out", "x -"},
      {1.0f, "      8", "last out", "  - x"},  {0.5f, "      4", "clock div", "(1/16) / x"},
  };
  for (int32_t i = 0; i < 8; ++i) {
    CAPTURE(i);
    CHECK(fx.getParamValue(i) == rows[i].value);
    CHECK(display(fx, i) == rows[i].display);
    CHECK(requestText(fx, kReqParamName, i) == rows[i].name);
    CHECK(requestText(fx, kReqParamLabel, i) == rows[i].label);
    // The longest name fits the host's 10 bytes, the longest label its 11.
    CHECK(std::strlen(rows[i].name) < 10);
    CHECK(std::strlen(rows[i].label) < 11);
  }
  CHECK(requestText(fx, kReqGetProgramName) == "Default");
  CHECK(fx.effectRecord()->inputCount == 1);
  CHECK(fx.effectRecord()->outputCount == 8);
  CHECK(fx.effectRecord()->flags == (kFlagMonoCapable | kFlagOverwriting));
  CHECK(fx.effectRecord()->effectId == 0x656E766F);
}

TEST_CASE("first out, last out and clock div map value x 7 + 1, truncated, limited to 1..8") {
  struct Case {
    float value;
    const char *shown;
  };
  const Case cases[] = {
      {0.0f, "      1"},  {0.142857f, "      1"},   {0.1428572f, "      2"}, {0.3f, "      3"},
      {0.5f, "      4"},  {0.99999994f, "      7"}, {1.0f, "      8"},       {-0.0f, "      1"},
      {-0.5f, "      1"}, {-1e30f, "      1"},      {1.5f, "      8"},       {1e30f, "      8"},
      {kNaN, "      1"},  {kInf, "      8"},        {-kInf, "      1"},
  };
  for (int32_t index : {5, 6, 7}) {
    for (const Case &c : cases) {
      CAPTURE(index);
      CAPTURE(c.value);
      RouterEffect fx(nullptr);
      fx.setParamValue(index, c.value);
      CHECK(display(fx, index) == c.shown);
      // The value reads back as it was set, not as the derived number.
      const float read = fx.getParamValue(index);
      if (std::isnan(c.value)) {
        CHECK(std::isnan(read));
      } else {
        CHECK(read == c.value);
      }
    }
  }
}

TEST_CASE("values outside 0..1 are stored and read back unchanged") {
  RouterEffect fx(nullptr);
  const float values[] = {-3.0f, 2.5f, 1e30f, kInf, -kInf};
  for (int32_t index = 0; index < 8; ++index) {
    for (float v : values) {
      fx.setParamValue(index, v);
      CHECK(fx.getParamValue(index) == v);
    }
    fx.setParamValue(index, kNaN);
    CHECK(std::isnan(fx.getParamValue(index)));
  }
}

TEST_CASE("each parameter lands in its own member, and its display follows") {
  RouterEffect fx(nullptr);
  const float values[8] = {0.25f, 0.75f, 0.125f, 1.0f, 0.5f, 0.3f, 0.6f, 0.0f};
  for (int32_t i = 0; i < 8; ++i) {
    fx.setParamValue(i, values[i]);
  }
  for (int32_t i = 0; i < 8; ++i) {
    CAPTURE(i);
    CHECK(fx.getParamValue(i) == values[i]);
  }
  CHECK(display(fx, 0) == "0.250000");
  CHECK(display(fx, 1) == "0.750000");
  CHECK(display(fx, 2) == "0.125000");
  CHECK(display(fx, 3) == "0.000000"); // floor 1.0 is 0 dB
  CHECK(display(fx, 4) == "-6.02059"); // gain 0.5: digits cut, not rounded
  CHECK(display(fx, 5) == "      3");
  CHECK(display(fx, 6) == "      5");
  CHECK(display(fx, 7) == "      1");
}

TEST_CASE("indices outside 0..7: set ignored, texts untouched, read answers the previous read") {
  RouterEffect fx(nullptr);
  fx.setParamValue(4, 0.75f);
  fx.setParamValue(2, 0.125f);
  for (int32_t index : {8, -1, 100, std::numeric_limits<int32_t>::min()}) {
    CAPTURE(index);
    fx.setParamValue(index, 0.9f);
    CHECK(requestText(fx, kReqParamName, index) == std::string(127, '#'));
    CHECK(requestText(fx, kReqParamLabel, index) == std::string(127, '#'));
    CHECK(display(fx, index) == std::string(63, '#'));
    CHECK(fx.getParamValue(4) == 0.75f);
    CHECK(fx.getParamValue(index) == 0.75f);
    CHECK(fx.getParamValue(2) == 0.125f);
    CHECK(fx.getParamValue(index) == 0.125f);
  }
  // The ignored sets changed nothing.
  const float expected[8] = {0.5f, 0.5f, 0.125f, 0.0f, 0.75f, 0.0f, 1.0f, 0.5f};
  for (int32_t i = 0; i < 8; ++i) {
    CHECK(fx.getParamValue(i) == expected[i]);
  }
}

TEST_CASE("the sixteen programs share one name and one set of values") {
  RouterEffect fx(nullptr);
  fx.setParamValue(0, 0.2f);
  fx.setParamValue(5, 0.3f);
  fx.handleRequest(kReqSetProgram, 0, 7, nullptr, 0.0f);
  CHECK(fx.handleRequest(kReqGetProgram, 0, 0, nullptr, 0.0f) == 7);
  CHECK(requestText(fx, kReqGetProgramName) == "Default");
  CHECK(fx.getParamValue(0) == 0.2f);
  CHECK(fx.getParamValue(5) == 0.3f);
  CHECK(display(fx, 5) == "      3");

  char name[] = "Snare gate";
  fx.handleRequest(kReqSetProgramName, 0, 0, name, 0.0f);
  for (int32_t program = 0; program < 16; ++program) {
    fx.handleRequest(kReqSetProgram, 0, program, nullptr, 0.0f);
    CHECK(requestText(fx, kReqGetProgramName) == "Snare gate");
    CHECK(fx.getParamValue(0) == 0.2f);
  }
}

TEST_CASE("a program name is kept up to 79 characters and never written past 80 bytes") {
  for (std::size_t length : {79u, 80u, 200u}) {
    CAPTURE(length);
    RouterEffect fx(nullptr);
    std::string longName(length, 'a');
    for (std::size_t i = 0; i < length; ++i) {
      longName[i] = static_cast<char>('a' + i % 26);
    }
    fx.renameProgram(longName.data());
    // The host's buffer: 80 bytes for the name, then guard bytes.
    char buffer[80 + 32];
    std::memset(buffer, 0x7F, sizeof buffer);
    fx.copyProgramName(buffer);
    CHECK(std::string(buffer) == longName.substr(0, 79));
    for (std::size_t i = 80; i < sizeof buffer; ++i) {
      CHECK(buffer[i] == 0x7F);
    }
  }
  // A shorter name afterwards replaces the whole of the old one.
  RouterEffect fx(nullptr);
  std::string first(100, 'x');
  fx.renameProgram(first.data());
  char shortName[] = "Hi";
  fx.renameProgram(shortName);
  CHECK(requestText(fx, kReqGetProgramName) == "Hi");
}

namespace {

// Records the calls of the five added operations, then runs the originals.
struct RecordingRouter : RouterEffect {
  RecordingRouter() : RouterEffect(nullptr) {}
  std::vector<std::pair<std::string, float>> calls;

  void setClockDivision(float v) override {
    calls.emplace_back("clockDivision", v);
    RouterEffect::setClockDivision(v);
  }
  void setLastOutput(float v) override {
    calls.emplace_back("lastOutput", v);
    RouterEffect::setLastOutput(v);
  }
  void setFirstOutput(float v) override {
    calls.emplace_back("firstOutput", v);
    RouterEffect::setFirstOutput(v);
  }
  void setAttackStep(float v) override {
    calls.emplace_back("attackStep", v);
    RouterEffect::setAttackStep(v);
  }
  void setDecayStep(float v) override {
    calls.emplace_back("decayStep", v);
    RouterEffect::setDecayStep(v);
  }
};

} // namespace

TEST_CASE("setting first out, last out or clock div calls its added operation with the value") {
  RecordingRouter fx;
  for (int32_t index = 0; index < 5; ++index) {
    fx.setParamValue(index, 0.7f);
  }
  CHECK(fx.calls.empty());
  fx.setParamValue(5, 0.3f);
  fx.setParamValue(6, 0.6f);
  fx.setParamValue(7, 2.0f);
  fx.setParamValue(8, 0.1f);
  using Call = std::pair<std::string, float>;
  CHECK(fx.calls ==
        std::vector<Call>{{"firstOutput", 0.3f}, {"lastOutput", 0.6f}, {"clockDivision", 2.0f}});
  CHECK(fx.firstOutputNumber() == 3);
  CHECK(fx.lastOutputNumber() == 5);
  CHECK(fx.clockDivisionNumber() == 8);

  // Processing calls none of the five.
  fx.calls.clear();
  float in[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  float out[8][4];
  float *inPtrs[1] = {in};
  float *outPtrs[8];
  for (int n = 0; n < 8; ++n) {
    outPtrs[n] = out[n];
  }
  fx.processOverwriting(inPtrs, outPtrs, 4);
  fx.processAdding(inPtrs, outPtrs, 4);
  CHECK(fx.calls.empty());
}

TEST_CASE("setAttackStep and setDecayStep store value x 0.01; the next block's steps replace it") {
  for (bool adding : {false, true}) {
    CAPTURE(adding);
    RouterEffect fx(nullptr);
    auto block = [&] {
      if (adding) {
        fx.processAdding(nullptr, nullptr, 0);
      } else {
        fx.processOverwriting(nullptr, nullptr, 0);
      }
    };
    fx.setAttackStep(3.0f);
    fx.setDecayStep(-5.0f);
    CHECK(fx.attackStepValue() == 0.03f);
    CHECK(fx.decayStepValue() == -0.05f);
    CHECK(fx.getParamValue(0) == 0.5f); // the parameters are not touched
    block();
    CHECK(fx.attackStepValue() == 0.0395f);
    CHECK(fx.decayStepValue() == 0.0395f);
    // Also after blocks with the same parameters, one step set at a time.
    block();
    fx.setAttackStep(3.0f);
    block();
    CHECK(fx.attackStepValue() == 0.0395f);
    fx.setDecayStep(3.0f);
    block();
    CHECK(fx.decayStepValue() == 0.0395f);
  }
}

TEST_CASE("a change of range, attack or decay gives new steps in the next block, and only then") {
  struct Case {
    int32_t index;
    float value;
    float attackStep;
    float decayStep;
  };
  const float factor1 = static_cast<float>(1.0 * 0.15 + 0.004); // range 1
  const Case cases[] = {
      {gain::kRange, 1.0f, factor1 * 0.5f, factor1 * 0.5f},
      {gain::kAttack, 0.25f, 0.079f * 0.25f, 0.0395f},
      {gain::kDecay, 1.0f, 0.0395f, 0.079f * 4.0f}, // exactly 1.0: four times
      {gain::kDecay, -0.0f, 0.0395f, 0.0f},         // negative zero: no step, as with 0
  };
  for (const Case &c : cases) {
    CAPTURE(c.index);
    CAPTURE(c.value);
    RouterEffect fx(nullptr);
    fx.processOverwriting(nullptr, nullptr, 0);
    fx.processOverwriting(nullptr, nullptr, 0);
    fx.setParamValue(c.index, c.value);
    CHECK(fx.attackStepValue() == 0.0395f); // not before the block
    fx.processOverwriting(nullptr, nullptr, 0);
    CHECK(fx.attackStepValue() == c.attackStep);
    CHECK(fx.decayStepValue() == c.decayStep);
    fx.setParamValue(c.index, 0.5f); // back to the value at construction
    fx.processAdding(nullptr, nullptr, 0);
    CHECK(fx.attackStepValue() == 0.0395f);
    CHECK(fx.decayStepValue() == 0.0395f);
  }
}

TEST_CASE("text requests without a buffer write nothing and do not fail") {
  RouterEffect fx(nullptr);
  for (int32_t code : {kReqParamName, kReqParamLabel, kReqParamDisplay}) {
    for (int32_t index : {0, 5, 9}) {
      CHECK(fx.handleRequest(code, index, 0, nullptr, 0.0f) == 0);
    }
  }
  CHECK(fx.handleRequest(kReqSetProgramName, 0, 0, nullptr, 0.0f) == 0);
  CHECK(fx.handleRequest(kReqGetProgramName, 0, 0, nullptr, 0.0f) == 0);
  CHECK(requestText(fx, kReqGetProgramName) == "Default");
}
