// Shared libFuzzer harness: loads one of our plug-in libraries through host/
// and plays a request stream decoded from the fuzz input against a fresh
// instance, checking after every step what a host relies on. A finding prints
// one line saying what broke and aborts, so libFuzzer keeps the input.
#pragma once

#include <cstddef>
#include <cstdint>

namespace host {
class PluginLibrary;
}

namespace fuzz {

// What the harness needs to know of the effect under test.
struct EffectProfile {
  const char *library;           // file name beside the fuzz program
  bool sendsEvents;              // QERN: control changes from processing
  bool asksTransport;            // GAIN: one transport request per processOverwriting
  std::size_t programNameBytes;  // longest program name written, zero included
  std::size_t paramDisplayBytes; // longest parameter display written, zero included
};

// Loads the effect's library (once); targets call it from LLVMFuzzerInitialize.
host::PluginLibrary &loadLibrary(const EffectProfile &profile);

// Plays one input; returns 0 (libFuzzer's convention) or aborts on a finding.
int playInput(const EffectProfile &profile, const uint8_t *data, std::size_t size);

} // namespace fuzz
