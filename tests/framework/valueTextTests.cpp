// The eight-character value texts: the worked examples, the limits and what
// each helper writes into the caller's buffer.
#include "framework/EffectBase.h"

#include <doctest/doctest.h>

#include <cmath>
#include <cstring>
#include <limits>

using namespace fw;

namespace {

class TextEffect : public EffectBase {
public:
  TextEffect() : EffectBase(nullptr, 1, 1) {}
  void processAdding(float **, float **, int32_t) override {}
};

enum class Helper { Number, Gain, Hz, Ms, Integer };

const char *nameOf(Helper h) {
  switch (h) {
  case Helper::Number:
    return "numberToText";
  case Helper::Gain:
    return "gainToDbText";
  case Helper::Hz:
    return "samplesToHzText";
  case Helper::Ms:
    return "samplesToMsText";
  case Helper::Integer:
    return "integerToText";
  }
  return "?";
}

struct TextCase {
  Helper helper;
  double input; // narrowed to the helper's argument type
  const char *text;
};

constexpr std::size_t kBufferBytes = 32;
constexpr unsigned char kGuard = 0xA5;

// Runs one helper on a buffer that held a longer text and guard bytes beyond
// the nine bytes a helper may write.
void runCase(EffectBase &effect, const TextCase &c) {
  CAPTURE(nameOf(c.helper));
  CAPTURE(c.input);
  char buffer[kBufferBytes];
  std::memset(buffer, kGuard, sizeof buffer);
  std::memcpy(buffer, "previous text!", 15); // longer than any helper's text
  const auto value = static_cast<float>(c.input);
  switch (c.helper) {
  case Helper::Number:
    effect.numberToText(value, buffer);
    break;
  case Helper::Gain:
    effect.gainToDbText(value, buffer);
    break;
  case Helper::Hz:
    effect.samplesToHzText(value, buffer);
    break;
  case Helper::Ms:
    effect.samplesToMsText(value, buffer);
    break;
  case Helper::Integer:
    effect.integerToText(static_cast<int32_t>(c.input), buffer);
    break;
  }
  REQUIRE(std::memchr(buffer, '\0', 9) != nullptr); // terminated within nine bytes
  CHECK(doctest::String(buffer) == doctest::String(c.text));
  for (std::size_t i = 9; i < kBufferBytes; ++i) {
    CAPTURE(i);
    CHECK(static_cast<unsigned char>(buffer[i]) == (i < 15 ? "previous text!"[i] : kGuard));
  }
}

} // namespace

TEST_CASE("the worked examples at 44100 Hz") {
  const TextCase cases[] = {
      {Helper::Number, 0.0, "0.000000"},
      {Helper::Number, -0.0, "0.000000"},
      {Helper::Number, 0.5, "0.500000"},
      {Helper::Number, 0.7, "0.699999"},
      {Helper::Number, 1.5, "1.500000"},
      {Helper::Number, 12.25, "12.25000"},
      {Helper::Number, 100.0, "100.0000"},
      {Helper::Number, 44100.0, "44100.00"},
      {Helper::Number, 1234567.0, "1234567."},
      {Helper::Number, 0.000000001, "0.000000"},
      {Helper::Number, -0.25, "-0.25000"},
      {Helper::Number, -3.5, "-3.50000"},
      {Helper::Number, -123456.0, "-123456."},
      {Helper::Number, 100000000.0, " Huge!  "},
      {Helper::Number, -10000000.0, " Huge!  "},
      {Helper::Gain, 1.0, "0.000000"},
      {Helper::Gain, 0.5, "-6.02059"},
      {Helper::Gain, 2.0, "6.020599"},
      {Helper::Gain, 7.0, "16.90196"},
      {Helper::Gain, 10.0, "20.00000"},
      {Helper::Gain, 0.001, "-60.0000"},
      {Helper::Gain, 0.0, "  -oo   "},
      {Helper::Gain, -1.0, "  -oo   "},
      {Helper::Hz, 1.0, "44100.00"},
      {Helper::Hz, 441.0, "100.0000"},
      {Helper::Hz, 1024.0, "43.06640"},
      {Helper::Hz, 0.0, "0.000000"},
      {Helper::Ms, 441.0, "10.00000"},
      {Helper::Ms, 1024.0, "23.21995"},
      {Helper::Ms, 44100.0, "1000.000"},
      {Helper::Integer, 0, "      0"},
      {Helper::Integer, 42, "     42"},
      {Helper::Integer, -7, "     -7"},
      {Helper::Integer, 1234567, "1234567"},
      {Helper::Integer, 12345678, "12345678"},
      {Helper::Integer, -1234567, "-1234567"},
      {Helper::Integer, 99999999, "99999999"},
      {Helper::Integer, 100000000, " Huge!  "},
  };
  TextEffect effect;
  REQUIRE(effect.currentSampleRate() == 44100.0f);
  for (const auto &c : cases) {
    runCase(effect, c);
  }
}

TEST_CASE("limits, overflow and the values the helpers cannot show") {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const TextCase cases[] = {
      // The float nearest to 99,999,999 is 100,000,000: above the limit.
      {Helper::Number, 99999999.0, " Huge!  "},
      {Helper::Number, inf, " Huge!  "},
      {Helper::Number, -inf, " Huge!  "},
      {Helper::Number, -9999999.0, " Huge!  "},
      // The widest values that still fit all their digits.
      {Helper::Number, 9999999.0, "9999999."},
      {Helper::Number, -999999.0, "-999999."},
      {Helper::Number, 999999.5, "999999.5"},
      {Helper::Number, -99999.5, "-99999.5"},
      // From 10,000,000 up, and from -1,000,000 down, the leading digit has no
      // room: the overflow text rather than a different number.
      {Helper::Number, 10000000.0, " Huge!  "},
      {Helper::Number, 12345678.0, " Huge!  "},
      {Helper::Number, 99999992.0, " Huge!  "},
      {Helper::Number, -1000000.0, " Huge!  "},
      {Helper::Number, -1234567.0, " Huge!  "},
      // Not a number.
      {Helper::Number, nan, "  nan   "},
      {Helper::Number, -nan, "  nan   "},
      // Digits are cut, never rounded.
      {Helper::Number, 0.99999994, "0.999999"},
      {Helper::Number, -0.99999994, "-0.99999"},
      {Helper::Number, 1e-7, "0.000000"},
      {Helper::Number, -1e-7, "-0.00000"},
      // Gains: not a number or minus infinity is minus infinity; +inf overflows.
      {Helper::Gain, nan, "  -oo   "},
      {Helper::Gain, -inf, "  -oo   "},
      {Helper::Gain, -0.0, "  -oo   "},
      {Helper::Gain, inf, " Huge!  "},
      // Periods: no number is treated as zero; negative periods keep the sign.
      {Helper::Hz, nan, "0.000000"},
      {Helper::Hz, -0.0, "0.000000"},
      {Helper::Hz, -441.0, "-100.000"},
      {Helper::Hz, inf, "0.000000"},
      {Helper::Ms, 0.0, "0.000000"},
      {Helper::Ms, -441.0, "-10.0000"},
      // Integers: no lower limit, the text is cut after eight characters.
      {Helper::Integer, -9999999, "-9999999"},
      {Helper::Integer, -12345678, "-1234567"},
      {Helper::Integer, std::numeric_limits<int32_t>::min(), "-2147483"},
      {Helper::Integer, std::numeric_limits<int32_t>::max(), " Huge!  "},
  };
  TextEffect effect;
  for (const auto &c : cases) {
    runCase(effect, c);
  }
}

namespace {

// Reports its own sample rate and records what reaches numberToText, to show
// that the helpers call both through the virtual table.
class RateEffect : public EffectBase {
public:
  RateEffect() : EffectBase(nullptr, 1, 1) {}
  void processAdding(float **, float **, int32_t) override {}
  float currentSampleRate() override { return reportedRate; }
  void numberToText(float value, char *text) override {
    ++numberCalls;
    lastNumber = value;
    EffectBase::numberToText(value, text);
  }
  float reportedRate = 48000.0f;
  int numberCalls = 0;
  float lastNumber = 0.0f;
};

} // namespace

TEST_CASE("the helpers read the rate and format the number through overridable operations") {
  RateEffect effect;
  char text[16];

  effect.samplesToMsText(48.0f, text);
  CHECK(doctest::String(text) == "1.000000");
  effect.samplesToHzText(480.0f, text);
  CHECK(doctest::String(text) == "100.0000");
  effect.gainToDbText(2.0f, text);
  CHECK(effect.lastNumber == static_cast<float>(20.0 * std::log10(2.0)));
  CHECK(effect.numberCalls == 3);

  effect.gainToDbText(0.0f, text); // minus infinity is written directly
  CHECK(effect.numberCalls == 3);
  effect.samplesToHzText(0.0f, text); // a zero period shows the number 0
  CHECK(effect.numberCalls == 4);
  CHECK(effect.lastNumber == 0.0f);

  // No check for a zero sample rate: the quotient overflows or is no number.
  effect.reportedRate = 0.0f;
  effect.samplesToMsText(441.0f, text);
  CHECK(doctest::String(text) == " Huge!  ");
  effect.samplesToMsText(0.0f, text);
  CHECK(doctest::String(text) == "  nan   ");
}

TEST_CASE("the helpers follow the sample rate the host set") {
  TextEffect effect;
  effect.handleRequest(kReqSetSampleRate, 0, 0, nullptr, 96000.0f);
  char text[16];
  effect.samplesToHzText(960.0f, text);
  CHECK(doctest::String(text) == "100.0000");
  effect.samplesToMsText(96.0f, text);
  CHECK(doctest::String(text) == "1.000000");
}
