// The audio-file interface on libsndfile: reads every format that libsndfile
// knows and writes the type that the output's extension names.
#include "AudioFile.h"
#include "FileNames.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace plughost {

namespace {

struct MajorFormat {
  int format = 0;
  std::string name;
};

// The major format whose usual extension is `extension` (lower case).
bool majorFormatFor(const std::string &extension, MajorFormat &found) {
  std::string wanted = extension;
  if (wanted == "aif") {
    wanted = "aiff";
  } else if (wanted == "wave") {
    wanted = "wav";
  } else if (wanted == "opus") {
    wanted = "ogg";
  }
  int count = 0;
  sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
  for (int i = 0; i < count; ++i) {
    SF_FORMAT_INFO info{};
    info.format = i;
    if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info) != 0 ||
        info.extension == nullptr) {
      continue;
    }
    if (toLower(info.extension) == wanted) {
      found.format = info.format;
      found.name = info.name != nullptr ? info.name : info.extension;
      return true;
    }
  }
  return false;
}

int subtypeOf(SampleFormat format) {
  switch (format) {
  case SampleFormat::Pcm16:
    return SF_FORMAT_PCM_16;
  case SampleFormat::Pcm24:
    return SF_FORMAT_PCM_24;
  case SampleFormat::Pcm32:
    return SF_FORMAT_PCM_32;
  default:
    return SF_FORMAT_FLOAT;
  }
}

// The full libsndfile format for a file named `path`, or 0 with a reason.
int outputFormat(const std::string &path, SampleFormat format, int channels, double rate,
                 std::string &error) {
  MajorFormat major;
  const std::string extension = toLower(extensionOf(path));
  if (extension.empty() || !majorFormatFor(extension, major)) {
    error = "cannot tell the audio type of '" + path +
            "' from its extension (use .wav, .flac, .aiff, .ogg, ...)";
    return 0;
  }
  SF_INFO info{};
  info.channels = channels;
  info.samplerate = static_cast<int>(rate);
  info.format = major.format | subtypeOf(format);
  if (sf_format_check(&info) != 0) {
    return info.format;
  }
  if (format != SampleFormat::Default) {
    error = "'" + path + "': " + major.name + " files cannot hold this sample format";
    return 0;
  }
  // The type cannot hold floats: its own best choice.
  for (int subtype : {SF_FORMAT_PCM_24, SF_FORMAT_PCM_16, SF_FORMAT_VORBIS}) {
    info.format = major.format | subtype;
    if (sf_format_check(&info) != 0) {
      return info.format;
    }
  }
  error = "'" + path + "': " + major.name + " files cannot hold " + std::to_string(channels) +
          " channels at " + std::to_string(info.samplerate) + " Hz";
  return 0;
}

} // namespace

const char *audioBackendName() { return sf_version_string(); }

bool readAudioFile(const std::string &path, AudioData &audio, std::string &error) {
  if (!checkReadable(path, error)) {
    return false;
  }
  SF_INFO info{};
  SNDFILE *file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) {
    error = "'" + path + "' is not an audio file that libsndfile can read (" +
            trimmed(sf_strerror(nullptr)) + ")";
    return false;
  }
  if (info.channels < 1 || info.samplerate < 1) {
    sf_close(file);
    error = "'" + path + "' has no usable audio (" + std::to_string(info.channels) +
            " channels at " + std::to_string(info.samplerate) + " Hz)";
    return false;
  }
  audio.sampleRate = info.samplerate;
  audio.channels.assign(info.channels, {});
  std::vector<float> interleaved(4096 * static_cast<std::size_t>(info.channels));
  for (;;) {
    const sf_count_t got = sf_readf_float(file, interleaved.data(), 4096);
    if (got <= 0) {
      break;
    }
    for (int c = 0; c < info.channels; ++c) {
      auto &channel = audio.channels[c];
      for (sf_count_t i = 0; i < got; ++i) {
        channel.push_back(interleaved[i * info.channels + c]);
      }
    }
  }
  const int status = sf_error(file);
  sf_close(file);
  if (status != SF_ERR_NO_ERROR) {
    error = "read error in '" + path + "' (" + trimmed(sf_error_number(status)) + ")";
    return false;
  }
  return true;
}

bool checkAudioOutput(const std::string &path, SampleFormat format, std::string &error) {
  // Any channel count and rate that most types hold: only the type and the
  // sample format are checked here.
  return outputFormat(path, format, 2, 44100.0, error) != 0;
}

bool writeAudioFile(const std::string &path, const std::string &typeName, const AudioData &audio,
                    SampleFormat format, std::string &error) {
  SF_INFO info{};
  info.channels = audio.channelCount();
  info.samplerate = static_cast<int>(audio.sampleRate);
  info.format = outputFormat(typeName, format, info.channels, audio.sampleRate, error);
  if (info.format == 0) {
    return false;
  }
  SNDFILE *file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) {
    error = "cannot write '" + typeName + "' (" + trimmed(sf_strerror(nullptr)) + ")";
    return false;
  }
  // Samples beyond full scale are clipped, not wrapped, in integer formats;
  // no PEAK chunk, whose time stamp would make every run's file different.
  sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
  const int channels = info.channels;
  const int64_t frames = audio.frames();
  std::vector<float> interleaved(4096 * static_cast<std::size_t>(channels));
  bool ok = true;
  for (int64_t start = 0; ok && start < frames; start += 4096) {
    const int64_t n = std::min<int64_t>(4096, frames - start);
    for (int64_t i = 0; i < n; ++i) {
      for (int c = 0; c < channels; ++c) {
        interleaved[i * channels + c] = audio.channels[c][start + i];
      }
    }
    ok = sf_writef_float(file, interleaved.data(), n) == n;
  }
  if (!ok) {
    error = "cannot write '" + typeName + "' (" + trimmed(sf_strerror(file)) + ")";
  }
  if (sf_close(file) != 0 && ok) {
    error = "cannot finish '" + typeName + "'";
    ok = false;
  }
  return ok;
}

} // namespace plughost
