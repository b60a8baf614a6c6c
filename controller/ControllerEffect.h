// QERN: passes its stereo input through and turns the block level into MIDI
// control changes. (Bare pass-through until the effect is built.)
#pragma once

#include "framework/EffectBaseEx.h"

namespace qern {

class ControllerEffect : public fw::EffectBaseEx {
public:
  explicit ControllerEffect(fw::HostCallback host);
  void processAdding(float **inputs, float **outputs, int32_t frames) override;
  void processOverwriting(float **inputs, float **outputs, int32_t frames) override;
};

} // namespace qern
