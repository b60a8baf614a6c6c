#include "RouterEffect.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

namespace gain {

namespace {

enum class Display { Number, Decibels, Integer };

struct ParamInfo {
  const char *name;
  const char *label;
  Display display;
};

// One row per parameter, in index order: name, label, display rule.
constexpr ParamInfo kParams[kParamCount] = {
    {" attack  ", "->up", Display::Number},  {" decay  ", "down<-", Display::Number},
    {" range ", "+ / -", Display::Number},   {"  floor  ", "dB", Display::Decibels},
    {"  gain  ", "dB", Display::Decibels},   {"first out", "x -", Display::Integer},
    {"last out", "  - x", Display::Integer}, {"clock div", "(1/16) / x", Display::Integer},
};

bool isParam(int32_t index) { return index >= 0 && index < kParamCount; }

// A step from a host value that is not a number or infinite would poison the
// envelope for good; such a step is taken as no step.
float finiteOrZero(float value) { return std::isfinite(value) ? value : 0.0f; }

} // namespace

int32_t outputNumber(float value) {
  const double n = static_cast<double>(value) * 7.0 + 1.0;
  if (!(n >= 1.0)) { // below range, or not a number
    return 1;
  }
  return n >= 8.0 ? 8 : static_cast<int32_t>(n);
}

bool clockCount(double beatPosition, int32_t clockDivision, int32_t &count) {
  const int32_t countsPerQuarter = 32 / clockDivision;
  const double scaled = beatPosition * countsPerQuarter;
  // Only counts that int32 holds are converted; the rest have no clock.
  if (!(scaled > -2147483649.0 && scaled < 2147483648.0)) {
    return false;
  }
  count = static_cast<int32_t>(scaled);
  return true;
}

RouterEffect::RouterEffect(fw::HostCallback host) : EffectBaseEx(host, kProgramCount, kParamCount) {
  setInputCount(1);
  setOutputCount(kOutputCount);
  setEffectId(fw::fourCharCode('e', 'n', 'v', 'o'));
  declareMonoCapable(true);
  declareOverwriting(true);
}

RouterEffect::~RouterEffect() = default;

void RouterEffect::setParamValue(int32_t index, float value) {
  switch (index) {
  case kAttack:
    attackParam = value;
    break;
  case kDecay:
    decayParam = value;
    break;
  case kRange:
    rangeParam = value;
    break;
  case kFloor:
    floorParam = value;
    break;
  case kGain:
    gainParam = value;
    break;
  case kFirstOut:
    firstOutParam = value;
    setFirstOutput(value);
    break;
  case kLastOut:
    lastOutParam = value;
    setLastOutput(value);
    break;
  case kClockDiv:
    clockDivParam = value;
    setClockDivision(value);
    break;
  default:
    break;
  }
}

float RouterEffect::paramValue(int32_t index) const {
  const float values[kParamCount] = {attackParam, decayParam,    rangeParam,   floorParam,
                                     gainParam,   firstOutParam, lastOutParam, clockDivParam};
  return values[index];
}

float RouterEffect::getParamValue(int32_t index) {
  if (isParam(index)) {
    lastParamRead = paramValue(index);
  }
  return lastParamRead; // an unknown index answers the previous read
}

void RouterEffect::setClockDivision(float value) { clockDivision = outputNumber(value); }
void RouterEffect::setLastOutput(float value) { lastOutput = outputNumber(value); }
void RouterEffect::setFirstOutput(float value) { firstOutput = outputNumber(value); }
void RouterEffect::setAttackStep(float value) { attackStep = value * 0.01f; }
void RouterEffect::setDecayStep(float value) { decayStep = value * 0.01f; }

void RouterEffect::renameProgram(char *text) {
  std::size_t n = 0;
  while (n + 1 < sizeof programName && text[n] != '\0') {
    programName[n] = text[n];
    ++n;
  }
  programName[n] = '\0';
}

void RouterEffect::copyProgramName(char *text) { std::strcpy(text, programName); }

void RouterEffect::copyParamName(int32_t index, char *text) {
  if (isParam(index)) {
    std::strcpy(text, kParams[index].name);
  }
}

void RouterEffect::copyParamLabel(int32_t index, char *text) {
  if (isParam(index)) {
    std::strcpy(text, kParams[index].label);
  }
}

void RouterEffect::copyParamDisplay(int32_t index, char *text) {
  if (!isParam(index)) {
    return;
  }
  const int32_t derived[kParamCount] = {0, 0, 0, 0, 0, firstOutput, lastOutput, clockDivision};
  switch (kParams[index].display) {
  case Display::Number:
    numberToText(paramValue(index), text);
    break;
  case Display::Decibels:
    gainToDbText(paramValue(index), text);
    break;
  case Display::Integer:
    integerToText(derived[index], text);
    break;
  }
}

// --- per-block steps -------------------------------------------------------

// The per-block steps are inlined into both processing operations: with short
// blocks, their calls would weigh as much as writing the samples.
#if defined(__GNUC__)
#define PER_BLOCK_STEP inline __attribute__((always_inline))
#else
#define PER_BLOCK_STEP inline
#endif

// Steps 1 and 2: the rise and fall per block, from range, attack and decay.
PER_BLOCK_STEP void RouterEffect::computeSteps() {
  const auto factor = static_cast<float>(static_cast<double>(rangeParam) * 0.15 + 0.004);
  const float attack = attackParam;
  const float decay = decayParam;
  attackStep = finiteOrZero(factor * attack * (attack == 1.0f ? 4.0f : 1.0f));
  decayStep = finiteOrZero(factor * decay * (decay == 1.0f ? 4.0f : 1.0f));
}

// Steps 3 to 6: song position to clock count, song-start rule, tick detection.
// Without a usable position the block keeps its output and has no tick.
PER_BLOCK_STEP void RouterEffect::runClock() {
  const fw::TransportInfo *info = fetchTransportInfo(fw::kRouterTransportMask);
  if (info == nullptr) {
    return;
  }
  const double position = info->beatPosition; // read at once; the record is the host's
  int32_t count = 0;
  if (!clockCount(position, clockDivision, count)) {
    return;
  }
  if (position > -1.0 && position < 1.0) { // the position truncates to 0: song start
    currentOutput = firstOutput;
  }
  const int32_t remainder = count % 4; // sign of count: -3 .. 3
  if (remainder == 0 && clockLatch == 0) {
    tickPending = 1;
    clockLatch = 1;
  }
  if (remainder == 1) {
    clockLatch = 0;
  }
}

PER_BLOCK_STEP void RouterEffect::restartEnvelope() {
  envelope = 0.0f;
  envelopePhase = 0;
  tickPending = 0;
}

// Rise, and once the peak is reached fall in the same block; rests at 0.
PER_BLOCK_STEP void RouterEffect::stepEnvelope() {
  if (envelopePhase == 0) {
    envelope = std::clamp(envelope + attackStep, -FLT_MAX, FLT_MAX); // never infinite
    if (envelope >= 1.0f) {
      envelopePhase = 1;
    }
  }
  if (envelopePhase == 1) {
    envelope = std::clamp(envelope - decayStep, -FLT_MAX, FLT_MAX);
    if (envelope <= 0.0f) {
      envelope = 0.0f;
    }
  }
}

// The sum is stored as a float before it is multiplied.
PER_BLOCK_STEP void RouterEffect::computeLevel() {
  const float base = floorParam + envelope;
  level = base * gainParam;
}

void RouterEffect::processOverwriting(float **inputs, float **outputs, int32_t frames) {
  // The host request comes before the steps, so that the steps go straight
  // from registers into the envelope instead of being stored and reloaded
  // around the call; they read only parameters, which the request leaves be.
  runClock();
  computeSteps();
  if (tickPending == 1) {
    restartEnvelope(); // the envelope stays at 0 in the block of the tick
    currentOutput = currentOutput + 1 > lastOutput ? firstOutput : currentOutput + 1;
  } else {
    stepEnvelope();
  }
  computeLevel();
  if (frames <= 0) {
    return;
  }

  // currentOutput stays within 1..8: first and last output are limited to it.
  const float gainNow = level;
  const float *input = inputs[0];
  const int32_t activeIndex = currentOutput - 1;
  float *active = outputs[activeIndex];
  // The input may be one of the outputs: the active output is written first,
  // reading each input sample before its own frame is overwritten, and the
  // silent outputs are cleared only after the whole input has been read.
  for (int32_t i = 0; i < frames; ++i) {
    active[i] = input[i] * gainNow;
  }
  const auto bytes = static_cast<std::size_t>(frames) * sizeof(float);
  for (int n = 0; n < kOutputCount; ++n) {
    if (n != activeIndex) {
      std::memset(outputs[n], 0, bytes); // +0.0f is all-zero bits
    }
  }
}

void RouterEffect::processAdding(float **inputs, float **outputs, int32_t frames) {
  computeSteps();
  if (tickPending == 1) {
    restartEnvelope();
  } else {
    stepEnvelope();
  }
  computeLevel();
  if (frames <= 0) { // an empty block may come without buffers
    return;
  }

  const float gainNow = level;
  const float *input = inputs[0];
  float *first = outputs[0];
  float *second = outputs[1];
  for (int32_t i = 0; i < frames; ++i) {
    const float x = input[i] * gainNow; // read before either output is written
    first[i] += x;
    second[i] += x;
  }
}

} // namespace gain
