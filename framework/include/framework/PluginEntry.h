// The library's entry point. Each deliverable supplies createEffect; the
// framework's pluginMain is exported under the name "main".
#pragma once

#include "framework/EffectBase.h"

namespace fw {

// Allocates and constructs the deliverable's effect; null when it cannot.
// Never throws.
EffectBase *createEffect(HostCallback host);

} // namespace fw

extern "C" fw::EffectRecord *PLUGIN_CALL pluginMain(fw::HostCallback host);
