// The per-block timeline of a render: when each block played, what came in
// and what the plug-in did with it. Written as CSV and drawn by Plot.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plughost {

struct ControlChange {
  int controller;
  int value;
};

struct BlockRecord {
  int64_t startFrame = 0;
  int32_t frames = 0;
  double seconds = 0.0; // time of the block's first frame
  double beat = 0.0;    // song position of the block's first frame, in quarter notes
  float inputPeak = 0.0f;
  float inputMean = 0.0f; // mean absolute sample over the inputs' channels
  int events = 0;         // events the plug-in sent during the block
  std::vector<ControlChange> controlChanges;
  int heldControlValue = -1; // latest control-change value so far, -1 before any
  std::vector<float> outputPeaks;
};

struct Timeline {
  double sampleRate = 44100.0;
  int outputs = 0;
  std::vector<BlockRecord> blocks;

  // 1-based numbers of the outputs whose block carries signal (a sample
  // other than zero).
  static std::vector<int> activeOutputs(const BlockRecord &block);
};

// The CSV text: a header line, then one line per block.
//   block,start_frame,time_s,beat,frames,input_peak,input_mean,events,
//   control_changes,cc_value,active_outputs,out1_peak,...
// control_changes lists "controller=value" pairs and active_outputs the
// output numbers, each separated by spaces; cc_value is empty before the
// first control change.
std::string timelineCsv(const Timeline &timeline);

} // namespace plughost
