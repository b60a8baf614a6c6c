#include "RouterEffect.h"

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

// The text operations write only for a known index and a buffer to write into.
bool writesText(int32_t index, const char *text) { return isParam(index) && text != nullptr; }

} // namespace

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
// Nothing calls these two: every block's step computation replaces what they store.
void RouterEffect::setAttackStep(float value) { attackStep = static_cast<float>(value * 0.01); }
void RouterEffect::setDecayStep(float value) { decayStep = static_cast<float>(value * 0.01); }

// A name longer than 79 characters is shortened: the field holds 80 bytes.
void RouterEffect::renameProgram(char *text) {
  if (text == nullptr) {
    return;
  }
  std::size_t n = 0;
  while (n + 1 < sizeof programName && text[n] != '\0') {
    programName[n] = text[n];
    ++n;
  }
  programName[n] = '\0';
}

void RouterEffect::copyProgramName(char *text) {
  if (text != nullptr) {
    std::strcpy(text, programName);
  }
}

void RouterEffect::copyParamName(int32_t index, char *text) {
  if (writesText(index, text)) {
    std::strcpy(text, kParams[index].name);
  }
}

void RouterEffect::copyParamLabel(int32_t index, char *text) {
  if (writesText(index, text)) {
    std::strcpy(text, kParams[index].label);
  }
}

void RouterEffect::copyParamDisplay(int32_t index, char *text) {
  if (!writesText(index, text)) {
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

// --- processing: the glue between the members and the per-block steps -----
// The three helpers are inline (used in this file only): with short blocks, a
// call for each would weigh as much as writing the samples.

inline void RouterEffect::computeSteps() {
  const float factor = stepFactor(rangeParam);
  attackStep = envelopeStep(factor, attackParam);
  decayStep = envelopeStep(factor, decayParam);
}

// Clock count, song-start rule and tick detection for one block's position.
// A position without a usable clock count is treated like a null answer.
inline void RouterEffect::runClock(double position) {
  int32_t count = 0;
  if (!clockCount(position, clockDivision, count)) {
    return;
  }
  // A branch: the song start comes and goes rarely, so it is well predicted,
  // and the output the samples go to does not wait on the host's answer.
  if (atSongStart(position)) {
    currentOutput = firstOutput;
  }
  // No branch inside (see clockTicks()): the remainder changes every few blocks.
  tickPending |= static_cast<int32_t>(clockTicks(count, clockLatch));
}

// A tick restarts the envelope at 0, rising; it is not advanced in this block.
inline void RouterEffect::carryOutTick() {
  envelope = 0.0f;
  envelopePhase = 0;
  tickPending = 0;
}

void RouterEffect::processOverwriting(float **inputs, float **outputs, int32_t frames) {
  computeSteps();
  // The envelope step and the level of a block without a tick, worked out
  // before the host is asked: they do not depend on its answer, and the
  // processor computes them while the request is under way. A tick replaces
  // them below. Floor and gain are read once for the block.
  const float floorValue = floorParam;
  const float gainValue = gainParam;
  float nextEnvelope = envelope;
  int32_t nextPhase = envelopePhase;
  advanceEnvelope(nextEnvelope, nextPhase, attackStep, decayStep);
  const float untickedLevel = blockLevel(floorValue, nextEnvelope, gainValue);

  const fw::TransportInfo *transport = fetchTransportInfo(fw::kRouterTransportMask);
  if (transport != nullptr) {
    runClock(transport->beatPosition); // read at once: the record is the host's
  }
  if (tickPending == 1) {
    carryOutTick();
    currentOutput = nextOutput(currentOutput, firstOutput, lastOutput);
    level = blockLevel(floorValue, envelope, gainValue);
  } else {
    envelope = nextEnvelope;
    envelopePhase = nextPhase;
    level = untickedLevel;
  }
  if (frames > 0) {
    // currentOutput stays within 1..8: first and last output are limited to it.
    routeBlock(inputs[0], outputs, currentOutput - 1, level, frames);
  }
}

// The envelope without the clock; currentOutput is neither read nor changed.
void RouterEffect::processAdding(float **inputs, float **outputs, int32_t frames) {
  computeSteps();
  if (tickPending == 1) {
    carryOutTick();
  } else {
    advanceEnvelope(envelope, envelopePhase, attackStep, decayStep);
  }
  level = blockLevel(floorParam, envelope, gainParam);
  if (frames > 0) { // an empty block may come without buffers
    addBlock(inputs[0], outputs, level, frames);
  }
}

} // namespace gain
