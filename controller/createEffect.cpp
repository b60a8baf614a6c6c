#include "ControllerEffect.h"
#include "framework/PluginEntry.h"

#include <new>

namespace fw {

EffectBase *createEffect(HostCallback host) {
  try {
    return new qern::ControllerEffect(host);
  } catch (...) { // nothing may cross the host interface as an exception
    return nullptr;
  }
}

} // namespace fw
