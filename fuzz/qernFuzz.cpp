// libFuzzer target: the QERN plug-in library, driven through host/.
#include "FuzzHarness.h"

namespace {
const fuzz::EffectProfile kProfile{QERN_LIBRARY, true, false, 24, 13};
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz::loadLibrary(kProfile);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  return fuzz::playInput(kProfile, data, size);
}
