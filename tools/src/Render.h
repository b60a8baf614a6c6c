// Rendering an audio file through a plug-in, as a host plays it: open, sample
// rate and block size, resume, every block through the processing entry with
// a transport that advances with the audio, suspend, close; then the output
// audio, the events as a MIDI file, the timeline as CSV and its picture.
#pragma once

#include "AudioFile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace plughost {

struct RenderOptions {
  std::string plugin;
  std::string input;
  std::string output;
  bool split = false; // one file per output: OUTPUT-1.wav, OUTPUT-2.wav, ...
  int32_t block = 512;
  double tempo = 120.0;              // quarter notes per minute
  double startBeat = 0.0;            // song position of the first frame
  int32_t program = -1;              // -1: keep the plug-in's own
  std::vector<std::string> settings; // "NAME=VALUE" or "INDEX=VALUE"
  std::string midi, csv, plot;       // empty: not written
  SampleFormat sampleFormat = SampleFormat::Default;
  bool progress = true; // a progress bar when standard error is a terminal
};

struct AppliedSetting {
  int32_t index;
  std::string name;
  float value;
  std::string display; // the plug-in's display text after setting it
};

struct RenderResult {
  std::string effectName;
  std::string pluginFile;
  int32_t inputs = 0, outputs = 0;
  int inputChannels = 0;
  bool overwriting = false;
  double sampleRate = 0.0;
  int64_t frames = 0;
  int64_t blocks = 0;
  int64_t events = 0;
  int64_t controlChanges = 0;
  std::vector<int> controllers; // controller numbers used, in order of first use
  int lowestValue = 127, highestValue = 0;
  std::vector<int64_t> blocksPerOutput; // blocks in which each output carried signal
  int64_t outputMoves = 0;              // blocks whose loudest output differs from the last one's
  int skippedMidi = 0;                  // events a MIDI file cannot hold
  int64_t droppedEvents = 0;            // beyond the host's records in one block
  std::vector<AppliedSetting> settings;
  std::vector<std::string> files; // written, in order
};

// One parameter setting resolved against the open plug-in. Names match after
// trimming spaces, without regard to case; values are numbers from 0 to 1.
struct ParamSetting {
  int32_t index;
  float value;
};

// Renders; on failure `error` holds one line and nothing is written.
bool renderFile(const RenderOptions &options, RenderResult &result, std::string &error);

// A few lines about what the render did.
std::string renderSummary(const RenderOptions &options, const RenderResult &result);

} // namespace plughost
