// GAIN: shapes one input with an attack/decay envelope that restarts on every
// tick of a clock taken from the host's song position, and sends it to one of
// eight outputs at a time, moving on at each tick.
#pragma once

#include "framework/EffectBaseEx.h"

#include <cstdint>

namespace gain {

constexpr int kProgramCount = 16;
constexpr int kParamCount = 8;
constexpr int kOutputCount = 8;
constexpr int kProgramNameBytes = 80;

enum Param : int32_t {
  kAttack = 0,
  kDecay,
  kRange,
  kFloor,
  kGain,
  kFirstOut,
  kLastOut,
  kClockDiv,
};

// Host value 0..1 to a number 1..8 (value × 7 + 1, truncated); values outside
// 0..1 or not numbers are limited, so a clock division is never 0.
int32_t outputNumber(float value);

// The clock count of a song position, or false when the position has none
// (not a number, infinite, or a count beyond int32).
bool clockCount(double beatPosition, int32_t clockDivision, int32_t &count);

class RouterEffect : public fw::EffectBaseEx {
public:
  explicit RouterEffect(fw::HostCallback host);
  ~RouterEffect() override;

  void setParamValue(int32_t index, float value) override;
  float getParamValue(int32_t index) override;
  void processAdding(float **inputs, float **outputs, int32_t frames) override;
  void processOverwriting(float **inputs, float **outputs, int32_t frames) override;
  void renameProgram(char *text) override;
  void copyProgramName(char *text) override;
  void copyParamLabel(int32_t index, char *text) override;
  void copyParamDisplay(int32_t index, char *text) override;
  void copyParamName(int32_t index, char *text) override;

  virtual void setClockDivision(float value);
  virtual void setLastOutput(float value);
  virtual void setFirstOutput(float value);
  virtual void setAttackStep(float value);
  virtual void setDecayStep(float value);

  // State seen by tests.
  float envelopeValue() const { return envelope; }
  int32_t phase() const { return envelopePhase; }
  float blockLevelValue() const { return level; }
  int32_t activeOutput() const { return currentOutput; }
  int32_t latch() const { return clockLatch; }
  float attackStepValue() const { return attackStep; }
  float decayStepValue() const { return decayStep; }

private:
  float paramValue(int32_t index) const;
  void computeSteps();
  void runClock();
  void restartEnvelope();
  void stepEnvelope();
  void computeLevel();

  // Parameters and derived numbers: written by the request thread, read by
  // processing once per block (a change lands whole at the next block).
  float gainParam = 1.0f;
  char programName[kProgramNameBytes] = "Default";
  // Envelope, clock and routing state: audio thread only.
  float envelope = 0.0f;
  int32_t tickPending = 0;
  int32_t envelopePhase = 0; // 0 rising, 1 falling
  float attackStep = 0.0f;
  float decayStep = 0.0f;
  float level = 1.0f;
  float floorParam = 0.0f;
  float attackParam = 0.5f;
  float decayParam = 0.5f;
  float lastParamRead = 0.0f; // request thread only
  float rangeParam = 0.5f;
  int32_t currentOutput = 1; // 1..8
  float clockDivParam = 0.5f;
  float lastOutParam = 1.0f;
  int32_t lastOutput = 8;
  float firstOutParam = 0.0f;
  int32_t firstOutput = 1;
  int32_t clockDivision = 4;
  int32_t clockLatch = 0; // 0 open, 1 closed
};

} // namespace gain
