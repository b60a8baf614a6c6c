// Our own WAV codec: reads PCM 8/16/24/32-bit and float 32/64-bit files
// (plain and extensible format chunks), writes PCM 16/24/32-bit and float
// 32-bit. Used by the Windows build, where libsndfile is not at hand.
#pragma once

#include "AudioFile.h"

#include <string>

namespace plughost {

enum class WavEncoding { Pcm16, Pcm24, Pcm32, Float32 };

// Both answer false with a one-line reason (without the file name) on failure.
bool readWav(const std::string &path, AudioData &audio, std::string &error);
bool writeWav(const std::string &path, const AudioData &audio, WavEncoding encoding,
              std::string &error);

} // namespace plughost
