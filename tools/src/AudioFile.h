// The small audio-file interface of the tool. On Linux it reads and writes
// through libsndfile (any format libsndfile knows); in the Windows build it
// uses our own WAV codec (WavFile.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plughost {

// Planar audio: one vector of samples per channel, all of the same length.
struct AudioData {
  double sampleRate = 44100.0;
  std::vector<std::vector<float>> channels;

  int channelCount() const { return static_cast<int>(channels.size()); }
  int64_t frames() const {
    return channels.empty() ? 0 : static_cast<int64_t>(channels.front().size());
  }
};

// How samples are stored in a written file. Default: 32-bit float where the
// file type allows it, otherwise the type's own best choice.
enum class SampleFormat { Default, Float32, Pcm16, Pcm24, Pcm32 };

// Which library reads and writes files in this build.
const char *audioBackendName();

// Reads the whole file. On failure `error` holds one line that names the file.
bool readAudioFile(const std::string &path, AudioData &audio, std::string &error);

// Checks, before any work is done, that a file named `path` can be written in
// `format` (its type follows its extension).
bool checkAudioOutput(const std::string &path, SampleFormat format, std::string &error);

// Writes `audio` to `path` in the type that the extension of `typeName`
// names: the file is written under a temporary name and takes its final
// name, and type, only on success.
bool writeAudioFile(const std::string &path, const std::string &typeName, const AudioData &audio,
                    SampleFormat format, std::string &error);

} // namespace plughost
