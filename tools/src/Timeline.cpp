#include "Timeline.h"

#include <cstdio>

namespace plughost {

std::vector<int> Timeline::activeOutputs(const BlockRecord &block) {
  std::vector<int> active;
  for (std::size_t n = 0; n < block.outputPeaks.size(); ++n) {
    if (block.outputPeaks[n] > 0.0f) {
      active.push_back(static_cast<int>(n) + 1);
    }
  }
  return active;
}

std::string timelineCsv(const Timeline &timeline) {
  std::string out = "block,start_frame,time_s,beat,frames,input_peak,input_mean,events,"
                    "control_changes,cc_value,active_outputs";
  for (int n = 1; n <= timeline.outputs; ++n) {
    out += ",out" + std::to_string(n) + "_peak";
  }
  out += "\n";
  char buffer[160];
  for (std::size_t b = 0; b < timeline.blocks.size(); ++b) {
    const BlockRecord &block = timeline.blocks[b];
    std::snprintf(buffer, sizeof buffer, "%lld,%lld,%.6f,%.6f,%d,%.6g,%.6g,%d,",
                  static_cast<long long>(b), static_cast<long long>(block.startFrame),
                  block.seconds, block.beat, block.frames, static_cast<double>(block.inputPeak),
                  static_cast<double>(block.inputMean), block.events);
    out += buffer;
    std::string changes;
    for (const auto &change : block.controlChanges) {
      changes += (changes.empty() ? "" : " ") + std::to_string(change.controller) + "=" +
                 std::to_string(change.value);
    }
    out += changes + ",";
    if (block.heldControlValue >= 0) {
      out += std::to_string(block.heldControlValue);
    }
    out += ",";
    std::string active;
    for (int n : Timeline::activeOutputs(block)) {
      active += (active.empty() ? "" : " ") + std::to_string(n);
    }
    out += active;
    for (float peak : block.outputPeaks) {
      std::snprintf(buffer, sizeof buffer, ",%.6g", static_cast<double>(peak));
      out += buffer;
    }
    out += "\n";
  }
  return out;
}

} // namespace plughost
