// The demo's input: two bars of a synthesized drum loop (kick, snare and
// hi-hats) at 120 BPM, mono. Deterministic: the same samples on every run.
#pragma once

#include "AudioFile.h"

namespace plughost {

constexpr double kDrumLoopTempo = 120.0;

AudioData makeDrumLoop(double sampleRate = 44100.0);

} // namespace plughost
