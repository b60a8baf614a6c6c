// libFuzzer target: the GAIN plug-in library, driven through host/.
#include "FuzzHarness.h"

namespace {
const fuzz::EffectProfile kProfile{GAIN_LIBRARY, false, true, 80, 9};
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz::loadLibrary(kProfile);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  return fuzz::playInput(kProfile, data, size);
}
