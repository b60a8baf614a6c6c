#include "RouterEffect.h"
#include "framework/PluginEntry.h"

#include <new>

namespace fw {

EffectBase *createEffect(HostCallback host) {
  try {
    return new gain::RouterEffect(host);
  } catch (...) { // nothing may cross the host interface as an exception
    return nullptr;
  }
}

} // namespace fw
