// Compiled into each plug-in library (not into the static framework library,
// whose members are only pulled in when referenced): the exported entry.
#include "framework/PluginEntry.h"

extern "C" fw::EffectRecord *PLUGIN_CALL pluginMain(fw::HostCallback host) {
  if (host == nullptr || host(nullptr, fw::kHostGetVersion, 0, 0, nullptr, 0.0f) == 0) {
    return nullptr; // no usable host: nothing is created
  }
  fw::EffectBase *effect = fw::createEffect(host);
  return effect == nullptr ? nullptr : effect->effectRecord();
}

#if defined(_WIN32)
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#elif !defined(FW_NO_MAIN_EXPORT)
// Exported as "main" through the version script; g++ refuses a function of
// this signature under that name, so the symbol is an alias. A test program
// that compiles this file defines FW_NO_MAIN_EXPORT to keep its own main.
extern "C" fw::EffectRecord *pluginMainExport(fw::HostCallback host) __asm__("main")
    __attribute__((alias("pluginMain"), visibility("default")));
#endif

#if defined(PLUGIN_OWN_CXX_RUNTIME) && defined(__GLIBCXX__) && !defined(_WIN32)
namespace __gnu_cxx {
void __freeres() noexcept; // libstdc++: releases its emergency exception buffer
}

// The library carries its own copy of the C++ runtime, whose exception buffer
// (about 70 kB, taken when the library is loaded) nothing else releases: a
// host that loads and unloads the plug-in would lose it every time.
__attribute__((destructor)) static void releaseRuntimeBuffers() { __gnu_cxx::__freeres(); }
#endif
