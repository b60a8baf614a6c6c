#include "RouterEffect.h"

namespace gain {

RouterEffect::RouterEffect(fw::HostCallback host) : EffectBaseEx(host, 16, 8) {
  setInputCount(1);
  setOutputCount(8);
  setEffectId(fw::fourCharCode('e', 'n', 'v', 'o'));
  declareMonoCapable(true);
  declareOverwriting(true);
}

void RouterEffect::processAdding(float **inputs, float **outputs, int32_t frames) {
  for (int32_t i = 0; i < frames; ++i) {
    outputs[0][i] += inputs[0][i];
  }
}

void RouterEffect::processOverwriting(float **inputs, float **outputs, int32_t frames) {
  for (int32_t i = 0; i < frames; ++i) {
    const float x = inputs[0][i];
    for (int n = 0; n < 8; ++n) {
      outputs[n][i] = n == 0 ? x : 0.0f;
    }
  }
}

} // namespace gain
