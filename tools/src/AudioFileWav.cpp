// The audio-file interface on our own WAV codec (the Windows build).
#include "AudioFile.h"
#include "FileNames.h"
#include "WavFile.h"

namespace plughost {

namespace {

bool isWavName(const std::string &path) {
  const std::string extension = toLower(extensionOf(path));
  return extension == "wav" || extension == "wave";
}

} // namespace

const char *audioBackendName() { return "built-in WAV reader and writer"; }

bool readAudioFile(const std::string &path, AudioData &audio, std::string &error) {
  if (!checkReadable(path, error)) {
    return false;
  }
  std::string reason;
  if (!readWav(path, audio, reason)) {
    error = "'" + path + "' is not an audio file that this build can read (" + reason + ")";
    return false;
  }
  return true;
}

bool checkAudioOutput(const std::string &path, SampleFormat, std::string &error) {
  if (!isWavName(path)) {
    error = "cannot write '" + path + "': this build writes WAV files only (use .wav)";
    return false;
  }
  return true;
}

bool writeAudioFile(const std::string &path, const std::string &typeName, const AudioData &audio,
                    SampleFormat format, std::string &error) {
  if (!checkAudioOutput(typeName, format, error)) {
    return false;
  }
  const WavEncoding encoding = format == SampleFormat::Pcm16   ? WavEncoding::Pcm16
                               : format == SampleFormat::Pcm24 ? WavEncoding::Pcm24
                               : format == SampleFormat::Pcm32 ? WavEncoding::Pcm32
                                                               : WavEncoding::Float32;
  std::string reason;
  if (!writeWav(path, audio, encoding, reason)) {
    error = "cannot write '" + typeName + "' (" + reason + ")";
    return false;
  }
  return true;
}

} // namespace plughost
