#include "ControllerEffect.h"

namespace qern {

ControllerEffect::ControllerEffect(fw::HostCallback host) : EffectBaseEx(host, 16, 2) {
  setInputCount(2);
  setOutputCount(2);
  declareOverwriting(true);
  setEffectId(fw::fourCharCode('Q', 'E', 'R', '2'));
  declareMonoCapable(true);
}

void ControllerEffect::processAdding(float **inputs, float **outputs, int32_t frames) {
  for (int32_t i = 0; i < frames; ++i) {
    outputs[0][i] += inputs[0][i];
    outputs[1][i] += inputs[1][i];
  }
}

void ControllerEffect::processOverwriting(float **inputs, float **outputs, int32_t frames) {
  for (int32_t i = 0; i < frames; ++i) {
    outputs[0][i] = inputs[0][i];
    outputs[1][i] = inputs[1][i];
  }
}

} // namespace qern
