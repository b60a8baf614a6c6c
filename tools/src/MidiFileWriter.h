// A small Standard MIDI File writer: format 0, one track, with the tempo, a
// 4/4 time signature and a track name, then the channel messages at their
// times. Times are sample frames from the start of the render.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plughost {

struct TimedMidiMessage {
  int64_t frame;          // sample frame from the start of the render
  unsigned char bytes[3]; // status and up to two data bytes
};

struct MidiFileSettings {
  double sampleRate = 44100.0;
  double tempo = 120.0; // quarter notes per minute, 4 to 999
  int ticksPerQuarter = 960;
  std::string trackName;
};

// The tempo as the file stores it: whole microseconds per quarter note.
uint32_t microsPerQuarter(const MidiFileSettings &settings);
// Frames to ticks at that tempo, rounded to the nearest tick.
int64_t framesToTicks(int64_t frame, const MidiFileSettings &settings);

// The bytes of the file. Messages are written in time order (messages of
// the same time keep their order); system messages and bytes that are not
// a status are left out and counted in `skipped`.
std::vector<unsigned char> buildMidiFile(const std::vector<TimedMidiMessage> &messages,
                                         const MidiFileSettings &settings, int *skipped = nullptr);

} // namespace plughost
