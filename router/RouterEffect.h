// GAIN: cuts one input into a tempo-synced envelope and walks it across eight
// outputs. (Bare pass-through until the effect is built.)
#pragma once

#include "framework/EffectBaseEx.h"

namespace gain {

class RouterEffect : public fw::EffectBaseEx {
public:
  explicit RouterEffect(fw::HostCallback host);
  void processAdding(float **inputs, float **outputs, int32_t frames) override;
  void processOverwriting(float **inputs, float **outputs, int32_t frames) override;
};

} // namespace gain
