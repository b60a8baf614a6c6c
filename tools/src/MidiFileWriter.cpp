#include "MidiFileWriter.h"

#include <algorithm>
#include <cmath>

namespace plughost {

namespace {

void putVarLength(std::vector<unsigned char> &out, uint64_t value) {
  unsigned char groups[10];
  int n = 0;
  do {
    groups[n++] = static_cast<unsigned char>(value & 0x7F);
    value >>= 7;
  } while (value != 0 && n < 10);
  while (n > 1) {
    out.push_back(static_cast<unsigned char>(groups[--n] | 0x80));
  }
  out.push_back(groups[0]);
}

void putBig(std::vector<unsigned char> &out, uint32_t value, int bytes) {
  for (int b = bytes - 1; b >= 0; --b) {
    out.push_back(static_cast<unsigned char>(value >> (8 * b)));
  }
}

// Bytes in a channel message with this status, 0 for anything else.
int channelMessageLength(unsigned char status) {
  if (status < 0x80 || status >= 0xF0) {
    return 0;
  }
  const unsigned char kind = status & 0xF0;
  return kind == 0xC0 || kind == 0xD0 ? 2 : 3;
}

} // namespace

uint32_t microsPerQuarter(const MidiFileSettings &settings) {
  return static_cast<uint32_t>(std::min(std::lround(60000000.0 / settings.tempo), 0xFFFFFFl));
}

int64_t framesToTicks(int64_t frame, const MidiFileSettings &settings) {
  // Through the tempo as the file stores it (whole microseconds per quarter
  // note), so that each message lands at its time in seconds.
  const double secondsPerTick = microsPerQuarter(settings) / 1.0e6 / settings.ticksPerQuarter;
  return std::llround(static_cast<double>(frame) / settings.sampleRate / secondsPerTick);
}

std::vector<unsigned char> buildMidiFile(const std::vector<TimedMidiMessage> &messages,
                                         const MidiFileSettings &settings, int *skipped) {
  std::vector<TimedMidiMessage> ordered = messages;
  std::stable_sort(
      ordered.begin(), ordered.end(),
      [](const TimedMidiMessage &a, const TimedMidiMessage &b) { return a.frame < b.frame; });

  std::vector<unsigned char> track;
  if (!settings.trackName.empty()) {
    track.push_back(0x00);
    track.push_back(0xFF);
    track.push_back(0x03);
    putVarLength(track, settings.trackName.size());
    track.insert(track.end(), settings.trackName.begin(), settings.trackName.end());
  }
  track.insert(track.end(), {0x00, 0xFF, 0x51, 0x03});
  putBig(track, microsPerQuarter(settings), 3);
  track.insert(track.end(), {0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08}); // 4/4

  int left = 0;
  int64_t lastTick = 0;
  for (const auto &message : ordered) {
    const int length = channelMessageLength(message.bytes[0]);
    if (length == 0) {
      ++left;
      continue;
    }
    const int64_t tick = std::max<int64_t>(framesToTicks(message.frame, settings), lastTick);
    putVarLength(track, static_cast<uint64_t>(tick - lastTick));
    lastTick = tick;
    track.push_back(message.bytes[0]);
    for (int i = 1; i < length; ++i) {
      track.push_back(message.bytes[i] & 0x7F);
    }
  }
  track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});

  std::vector<unsigned char> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1};
  putBig(file, static_cast<uint32_t>(settings.ticksPerQuarter), 2);
  file.insert(file.end(), {'M', 'T', 'r', 'k'});
  putBig(file, static_cast<uint32_t>(track.size()), 4);
  file.insert(file.end(), track.begin(), track.end());
  if (skipped != nullptr) {
    *skipped = left;
  }
  return file;
}

} // namespace plughost
