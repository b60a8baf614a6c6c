// QERN ("Wendaro"): passes its stereo input through, measures one level per
// block from both channels and sends it as a MIDI control change whenever it
// changes.
#pragma once

#include "framework/EffectBaseEx.h"
#include "framework/SharedValue.h"

#include <cstdint>
#include <memory>

namespace qern {

constexpr int kProgramCount = 16;
constexpr int kParamCount = 2;
constexpr int kProgramNameBytes = 24;
constexpr int kControllerNameCount = 127;

// The value nearest 74/127: controller 74, "Cut-off".
constexpr float kDefaultControllerValue = 74.0f / 127.0f;

struct ControllerProgram {
  float controllerValue = kDefaultControllerValue;
  float gainValue = 1.0f;
  char name[kProgramNameBytes] = "Init";
};

// Row r names controller r; there is no row for controller 127 (the display
// stops at row 126). Row 118 reads "#119".
extern const char *const controllerNames[kControllerNameCount];

// The level of one block: 127 × (7 × gain) × mean(|L| + |R|), limited to
// 0..127 before it is converted (a not-a-number counts as 0).
uint8_t blockLevel(float gainValue, float sum, int32_t frames);

class ControllerEffect : public fw::EffectBaseEx {
public:
  explicit ControllerEffect(fw::HostCallback host);
  ~ControllerEffect() override;

  void setParamValue(int32_t index, float value) override;
  float getParamValue(int32_t index) override;
  void processAdding(float **inputs, float **outputs, int32_t frames) override;
  void processOverwriting(float **inputs, float **outputs, int32_t frames) override;
  void setProgramIndex(int32_t program) override;
  void renameProgram(char *text) override;
  void copyProgramName(char *text) override;
  void copyParamLabel(int32_t index, char *text) override;
  void copyParamDisplay(int32_t index, char *text) override;
  void copyParamName(int32_t index, char *text) override;
  void onSuspend() override;
  void onResume() override;
  bool effectNameText(char *text) override;
  bool vendorText(char *text) override;
  bool productText(char *text) override;
  int32_t vendorVersion() override;
  int32_t answerCapability(char *keyword) override;

  // Builds one control change in automatic storage and hands it to the host.
  void sendControlChange(uint8_t level, int32_t frameOffset);

  uint8_t currentControllerNumber() const { return controllerNumber; }
  uint8_t previousLevel() const { return lastLevel; }

private:
  void finishBlock(float sum, int32_t frames);

  std::unique_ptr<ControllerProgram[]> programs;
  // Parameters: written by the request thread, read by processing once per
  // block (shared values: each read and write whole).
  fw::SharedValue<float> controllerValue{kDefaultControllerValue};
  fw::SharedValue<float> gainValue{1.0f};
  fw::SharedValue<uint8_t> controllerNumber{74}; // derived from controllerValue, 0..127
  uint8_t lastLevel = 0;                         // audio thread only
};

} // namespace qern
