// Pictures of a render's timeline, drawn by gnuplot from the timeline CSV.
#pragma once

#include <string>

namespace plughost {

enum class PlotKind {
  Controller, // input level with the control-change values (a plug-in that sends MIDI)
  Routing,    // input level and the active output over time (more than two outputs)
  Levels,     // input and output levels
};

struct PlotRequest {
  std::string csvPath;
  std::string pngPath;
  std::string title;
  std::string controlLabel; // legend of the control-change line
  PlotKind kind = PlotKind::Levels;
  int outputs = 0;
  double seconds = 0.0;
  double sampleRate = 44100.0;
};

// The gnuplot program, or empty with a one-line reason when there is none.
std::string findPlotter(std::string &error);

// The gnuplot script for the request (exposed for tests and debugging).
std::string plotScript(const PlotRequest &request);

// Draws the PNG; false with a one-line reason on failure.
bool drawPlot(const std::string &plotter, const PlotRequest &request, std::string &error);

} // namespace plughost
