// Eight-character display texts. Digits are cut, never rounded; all
// intermediate arithmetic is double precision, the values passed between the
// operations are floats.
#include "framework/EffectBase.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace fw {

namespace {

constexpr char kMinusInfinityText[] = "  -oo   ";
constexpr char kOverflowText[] = " Huge!  ";
constexpr char kNotANumberText[] = "  nan   ";
constexpr int kTextWidth = 8;

void writeText(char *text, const char *source) { std::memcpy(text, source, kTextWidth + 1); }

int digitOf(double n) { return static_cast<int>(std::fmod(n, 10.0)); }

} // namespace

void EffectBase::numberToText(float value, char *text) {
  double d = value;
  if (std::isnan(d)) {
    writeText(text, kNotANumberText);
    return;
  }
  const bool negative = d < 0.0; // -0.0 is not below 0
  int k = 0;
  if (negative) {
    d = -d;
    k = 1;
    if (d > 9999999.0) {
      writeText(text, kOverflowText);
      return;
    }
  } else if (d > 99999999.0) {
    writeText(text, kOverflowText);
    return;
  }

  // Integer part, right to left, ending in '.'. At most 7 digits fit beside
  // the '.'; 6 beside a sign too.
  char integerPart[kTextWidth];
  int pos = kTextWidth;
  integerPart[--pos] = '.';
  ++k;
  double n = std::floor(d);
  integerPart[--pos] = static_cast<char>('0' + digitOf(n));
  n /= 10.0;
  ++k;
  while (n >= 1.0 && k < kTextWidth) {
    integerPart[--pos] = static_cast<char>('0' + digitOf(n));
    n /= 10.0;
    ++k;
  }
  if (n >= 1.0) {
    // The leading digits do not fit in eight characters: showing the others
    // would show a different number.
    writeText(text, kOverflowText);
    return;
  }

  int out = 0;
  if (negative) {
    text[out++] = '-';
  }
  const int integerChars = kTextWidth - pos;
  std::memcpy(text + out, integerPart + pos, static_cast<std::size_t>(integerChars));
  out += integerChars;

  // Fraction: exactly 8 - k digits, produced from the last one to the first.
  const int fractionDigits = kTextWidth - k;
  double f = std::fmod(d, 1.0) * std::pow(10.0, fractionDigits);
  for (int i = fractionDigits - 1; i >= 0; --i) {
    int digit = 0;
    if (f > 0.0) {
      digit = digitOf(f);
      f /= 10.0;
    }
    text[out + i] = static_cast<char>('0' + digit);
  }
  out += fractionDigits;
  text[out] = '\0';
}

void EffectBase::gainToDbText(float gain, char *text) {
  if (gain > 0.0f) {
    numberToText(static_cast<float>(20.0 * std::log10(static_cast<double>(gain))), text);
  } else { // zero, negative or not a number
    writeText(text, kMinusInfinityText);
  }
}

void EffectBase::samplesToHzText(float samples, char *text) {
  const double rate = currentSampleRate();
  if (samples == 0.0f || std::isnan(samples)) {
    numberToText(0.0f, text);
    return;
  }
  numberToText(static_cast<float>(rate / static_cast<double>(samples)), text);
}

void EffectBase::samplesToMsText(float samples, char *text) {
  const double rate = currentSampleRate();
  numberToText(static_cast<float>(static_cast<double>(samples) * 1000.0 / rate), text);
}

void EffectBase::integerToText(int32_t value, char *text) {
  if (value >= 100000000) {
    writeText(text, kOverflowText);
    return;
  }
  char formatted[16];
  std::snprintf(formatted, sizeof formatted, "%7d", static_cast<int>(value));
  formatted[kTextWidth] = '\0'; // cut after the eighth character
  std::strcpy(text, formatted);
}

} // namespace fw
