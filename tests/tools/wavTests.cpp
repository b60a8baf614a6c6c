// The parts of the tool on their own: our WAV codec, checked against
// libsndfile in both directions, and the MIDI file writer's bytes.
#include "AudioFile.h"
#include "MidiFileWriter.h"
#include "WavFile.h"

#include <doctest/doctest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace plughost;

namespace {

fs::path workFolder(const char *name) {
  const fs::path folder = fs::path(TEST_WORK_DIR) / name;
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

// Full scale, beyond it, tiny values and a ramp: what quantizing must get right.
AudioData signal(int channels) {
  AudioData audio;
  audio.sampleRate = 48000.0;
  for (int c = 0; c < channels; ++c) {
    std::vector<float> samples = {0.0f, -0.0f, 1.0f,    -1.0f,    1.5f,      -1.5f,
                                  0.5f, -0.5f, 1.0e-6f, -1.0e-6f, 0.999999f, -0.999999f};
    for (int i = 0; i < 1000; ++i) {
      samples.push_back(static_cast<float>(std::sin(0.01 * i * (c + 1)) * 0.9));
    }
    audio.channels.push_back(samples);
  }
  return audio;
}

std::vector<unsigned char> bytesOf(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The data chunk's bytes.
std::vector<unsigned char> dataChunk(const fs::path &path) {
  const auto bytes = bytesOf(path);
  for (std::size_t at = 12; at + 8 <= bytes.size();) {
    const uint32_t size = bytes[at + 4] | (bytes[at + 5] << 8) | (bytes[at + 6] << 16) |
                          (static_cast<uint32_t>(bytes[at + 7]) << 24);
    if (std::memcmp(&bytes[at], "data", 4) == 0) {
      return {bytes.begin() + at + 8, bytes.begin() + at + 8 + size};
    }
    at += 8 + size + (size & 1);
  }
  return {};
}

} // namespace

TEST_CASE("our WAV files and libsndfile's agree sample for sample, both ways") {
  const fs::path folder = workFolder("wav");
  struct Case {
    WavEncoding ours;
    SampleFormat theirs;
    const char *name;
  };
  const Case cases[] = {{WavEncoding::Float32, SampleFormat::Float32, "float"},
                        {WavEncoding::Pcm16, SampleFormat::Pcm16, "pcm16"},
                        {WavEncoding::Pcm24, SampleFormat::Pcm24, "pcm24"},
                        {WavEncoding::Pcm32, SampleFormat::Pcm32, "pcm32"}};
  for (const auto &c : cases) {
    for (int channels : {1, 2, 8}) {
      CAPTURE(c.name);
      CAPTURE(channels);
      const AudioData audio = signal(channels);
      const std::string ours = (folder / "ours.wav").string();
      const std::string theirs = (folder / "theirs.wav").string();
      std::string error;
      REQUIRE_MESSAGE(writeWav(ours, audio, c.ours, error), error);
      REQUIRE_MESSAGE(writeAudioFile(theirs, theirs, audio, c.theirs, error), error);
      // The same samples written by both.
      CHECK(dataChunk(ours) == dataChunk(theirs));

      // libsndfile reads ours as we read it, and we read libsndfile's as it does.
      AudioData sndfileReadsOurs, weReadOurs, weReadTheirs, sndfileReadsTheirs;
      REQUIRE_MESSAGE(readAudioFile(ours, sndfileReadsOurs, error), error);
      REQUIRE_MESSAGE(readWav(ours, weReadOurs, error), error);
      REQUIRE_MESSAGE(readWav(theirs, weReadTheirs, error), error);
      REQUIRE_MESSAGE(readAudioFile(theirs, sndfileReadsTheirs, error), error);
      REQUIRE(weReadOurs.channelCount() == channels);
      CHECK(weReadOurs.sampleRate == 48000.0);
      CHECK(sndfileReadsOurs.sampleRate == 48000.0);
      for (int ch = 0; ch < channels; ++ch) {
        CHECK(sndfileReadsOurs.channels[ch] == weReadOurs.channels[ch]);
        CHECK(weReadTheirs.channels[ch] == sndfileReadsTheirs.channels[ch]);
      }
      if (c.ours == WavEncoding::Float32) { // floats go through untouched
        CHECK(std::memcmp(weReadOurs.channels[0].data(), audio.channels[0].data(),
                          audio.channels[0].size() * sizeof(float)) == 0);
      }
    }
  }
}

TEST_CASE("the WAV reader refuses what it cannot read, with a reason") {
  const fs::path folder = workFolder("wav-errors");
  const auto write = [&](const char *name, const std::vector<unsigned char> &bytes) {
    std::ofstream(folder / name, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return (folder / name).string();
  };
  std::vector<unsigned char> header = {'R', 'I', 'F', 'F', 0,   0,   0,  0, 'W', 'A',
                                       'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0,   0};
  const auto format = [&](uint16_t tag, uint16_t bits) {
    std::vector<unsigned char> b = header;
    const uint16_t align = static_cast<uint16_t>(bits / 8);
    const unsigned char fmt[16] = {static_cast<unsigned char>(tag),
                                   static_cast<unsigned char>(tag >> 8),
                                   1,
                                   0,
                                   0x44,
                                   0xAC,
                                   0,
                                   0,
                                   0,
                                   0,
                                   0,
                                   0,
                                   static_cast<unsigned char>(align),
                                   0,
                                   static_cast<unsigned char>(bits),
                                   0};
    b.insert(b.end(), fmt, fmt + 16);
    return b;
  };
  // A data chunk that claims more than the file holds gives what is there.
  auto truncated = format(1, 16);
  truncated.insert(truncated.end(), {'d', 'a', 't', 'a', 0xFF, 0xFF, 0, 0, 0x00, 0x40, 0x00, 0xC0});
  AudioData audio;
  std::string error;
  REQUIRE_MESSAGE(readWav(write("short.wav", truncated), audio, error), error);
  REQUIRE(audio.frames() == 2);
  CHECK(audio.channels[0][0] == 0.5f);
  CHECK(audio.channels[0][1] == -0.5f);

  auto mp3 = format(0x55, 16);
  mp3.insert(mp3.end(), {'d', 'a', 't', 'a', 0, 0, 0, 0});
  auto noData = format(1, 16);
  struct Case {
    const char *file;
    std::vector<unsigned char> bytes;
    const char *reason;
  };
  const Case cases[] = {
      {"text.wav", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!'}, "not a WAV file"},
      {"mp3.wav", mp3, "format tag 85"},
      {"nodata.wav", noData, "without data"},
      {"empty.wav", {}, "not a WAV file"},
  };
  for (const auto &c : cases) {
    CAPTURE(c.file);
    error.clear();
    CHECK_FALSE(readWav(write(c.file, c.bytes), audio, error));
    CHECK_MESSAGE(error.find(c.reason) != std::string::npos, error);
  }
  CHECK_FALSE(readWav((folder / "missing.wav").string(), audio, error));
}

TEST_CASE("the MIDI file writer: header, tempo, ordered messages, variable-length deltas") {
  MidiFileSettings settings;
  settings.sampleRate = 48000.0;
  settings.tempo = 120.0; // 500000 microseconds per quarter note
  // Frame 24000 is half a second: one quarter note, 960 ticks (0x87 0x40).
  // A later frame written first keeps its place after sorting; a system
  // message has no place in the file.
  const std::vector<TimedMidiMessage> messages = {{24000 + 48000 * 600, {0x90, 60, 100}},
                                                  {24000, {0xB0, 74, 0x7F}},
                                                  {24000, {0xC1, 5, 0}},
                                                  {30000, {0xF8, 0, 0}}};
  int skipped = 0;
  const auto file = buildMidiFile(messages, settings, &skipped);
  CHECK(skipped == 1);
  const std::vector<unsigned char> expected = {
      'M',  'T',  'h',  'd',  0,    0,    0,    6,
      0,    0,    0,    1,    0x03, 0xC0, // format 0, 1 track, 960 ticks
      'M',  'T',  'r',  'k',  0,    0,    0,    33,
      0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,       // tempo 500000
      0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08, // 4/4
      0x87, 0x40, 0xB0, 74,   0x7F,                   // after 960 ticks
      0x00, 0xC1, 5,                                  // two data bytes less one
      0xC6, 0xA8, 0x00, 0x90, 60,   100,              // 600 s later: 1152000 ticks
      0x00, 0xFF, 0x2F, 0x00};
  CHECK(file == expected);
  CHECK(framesToTicks(24000, settings) == 960);
  CHECK(framesToTicks(13, settings) == 1); // 0.52 ticks
  CHECK(framesToTicks(12, settings) == 0); // 0.48 ticks
}
