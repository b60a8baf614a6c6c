// GAIN: shapes one input with an attack/decay envelope that restarts on every
// tick of a clock taken from the host's song position, and sends it to one of
// eight outputs at a time, moving on at each tick.
#pragma once

#include "blockSteps.h"
#include "framework/EffectBaseEx.h"
#include "framework/SharedValue.h"

#include <cstdint>

namespace gain {

constexpr int kProgramCount = 16;
constexpr int kParamCount = 8;
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
  // Final, so that the request each block makes is a direct, inline call.
  fw::TransportInfo *fetchTransportInfo(int32_t mask) final {
    return EffectBaseEx::fetchTransportInfo(mask);
  }

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
  int32_t firstOutputNumber() const { return firstOutput; }
  int32_t lastOutputNumber() const { return lastOutput; }
  int32_t clockDivisionNumber() const { return clockDivision; }

private:
  float paramValue(int32_t index) const;
  void computeSteps();
  void runClock(double position);
  void carryOutTick();

  // Who writes and reads what. Parameter members and derived numbers: written
  // by the parameter setter on the host's request thread, read by processing
  // on the audio thread once per block (shared values: each read and write
  // whole), so a change lands whole at the next block. The last read: any
  // thread that asks. Envelope, clock and routing state: audio thread only.
  fw::SharedValue<float> gainParam{1.0f};          // parameter 4
  char programName[kProgramNameBytes] = "Default"; // request thread only
  float envelope = 0.0f;                           // audio thread
  int32_t tickPending = 0;                         // audio thread; 1 until a tick is carried out
  int32_t envelopePhase = 0;                       // audio thread; 0 rising, 1 falling
  float attackStep = 0.0f;                         // audio thread; computed every block
  float decayStep = 0.0f;                          // audio thread; computed every block
  float level = 1.0f;                              // audio thread
  fw::SharedValue<float> floorParam{0.0f};         // parameter 3
  fw::SharedValue<float> attackParam{0.5f};        // parameter 0
  fw::SharedValue<float> decayParam{0.5f};         // parameter 1
  fw::SharedValue<float> lastParamRead{0.0f};      // whoever reads
  fw::SharedValue<float> rangeParam{0.5f};         // parameter 2
  int32_t currentOutput = 1;                       // audio thread; 1..8
  fw::SharedValue<float> clockDivParam{0.5f};      // parameter 7
  fw::SharedValue<float> lastOutParam{1.0f};       // parameter 6
  fw::SharedValue<int32_t> lastOutput{8};          // derived from parameter 6, 1..8
  fw::SharedValue<float> firstOutParam{0.0f};      // parameter 5
  fw::SharedValue<int32_t> firstOutput{1};         // derived from parameter 5, 1..8
  fw::SharedValue<int32_t> clockDivision{4};       // derived from parameter 7, 1..8
  int32_t clockLatch = 0;                          // audio thread; 0 open, 1 closed
};

} // namespace gain
