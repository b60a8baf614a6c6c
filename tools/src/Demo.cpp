#include "Demo.h"

#include "DrumLoop.h"
#include "LoadedPlugin.h"
#include "OutputFiles.h"
#include "Plot.h"
#include "Render.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace plughost {

namespace {

void fail(const std::string &message) {
  std::fprintf(stderr, "plughost: error: %s\n", message.c_str());
}

std::string inFolder(const std::string &folder, const char *name) {
  return (fs::path(folder) / name).string();
}

} // namespace

int runDemo(const std::string &folder, std::FILE *out) {
  std::string error;
  const std::string qern = findPluginLibrary("QERN");
  const std::string gain = findPluginLibrary("GAIN");
  if (qern.empty() || gain.empty()) {
    fail(std::string(qern.empty() ? "QERN" : "GAIN") + " was not found beside plughost in " +
         host::executableDirectory() + ": build the plug-ins first");
    return 1;
  }
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec || !fs::is_directory(folder, ec)) {
    fail("cannot create the folder '" + folder + "'");
    return 1;
  }
  std::string plotError;
  const bool canPlot = !findPlotter(plotError).empty();

  // The input: two bars of drums, 16-bit like most loops on disk.
  const std::string loop = inFolder(folder, "drum-loop.wav");
  {
    OutputFiles files;
    std::string temporary;
    if (!files.add(loop, temporary, error) ||
        !writeAudioFile(temporary, loop, makeDrumLoop(), SampleFormat::Pcm16, error) ||
        !files.commit(error)) {
      fail(error);
      return 1;
    }
  }

  // QERN: the loop's level as control changes on controller 74 (cut-off);
  // its gain parameter (index 1) at 0.17 keeps the loudest blocks below 127.
  RenderOptions q;
  q.plugin = qern;
  q.input = loop;
  q.output = inFolder(folder, "qern-output.wav");
  q.midi = inFolder(folder, "qern-control-changes.mid");
  q.csv = inFolder(folder, "qern-timeline.csv");
  q.plot = canPlot ? inFolder(folder, "qern-plot.png") : std::string();
  q.tempo = kDrumLoopTempo;
  q.settings = {"1=0.17"};
  RenderResult qResult;
  if (!renderFile(q, qResult, error)) {
    fail("QERN: " + error);
    return 1;
  }

  // GAIN at 120 BPM: a fast attack (index 0) and a decay (index 1) that
  // closes the envelope just before the next tick, an output every eighth.
  RenderOptions g;
  g.plugin = gain;
  g.input = loop;
  g.output = inFolder(folder, "gain-output.wav");
  g.csv = inFolder(folder, "gain-timeline.csv");
  g.plot = canPlot ? inFolder(folder, "gain-plot.png") : std::string();
  g.tempo = kDrumLoopTempo;
  g.settings = {"0=1", "1=0.6"};
  RenderResult gResult;
  if (!renderFile(g, gResult, error)) {
    fail("GAIN: " + error);
    return 1;
  }

  std::fprintf(out, "Demo: a %.1f s drum loop at %g BPM through QERN and GAIN\n\n",
               static_cast<double>(qResult.frames) / qResult.sampleRate, kDrumLoopTempo);
  std::fprintf(out, "%s\n%s\n", renderSummary(q, qResult).c_str(),
               renderSummary(g, gResult).c_str());
  std::fprintf(out, "Files in %s:\n", folder.c_str());
  const struct {
    const char *name;
    const char *what;
  } kFiles[] = {
      {"drum-loop.wav", "the input: two bars of drums, mono, 16-bit"},
      {"qern-output.wav", "QERN's output (stereo; its audio passes through unchanged)"},
      {"qern-control-changes.mid", "the control changes QERN sent, as a Standard MIDI File"},
      {"qern-timeline.csv", "QERN block by block: input level, events, control-change values"},
      {"qern-plot.png", "picture: input level with the control-change values"},
      {"gain-output.wav", "GAIN's output: eight channels, one per output"},
      {"gain-timeline.csv", "GAIN block by block: input level, which output carries signal"},
      {"gain-plot.png", "picture: input level and the active output over time"},
  };
  for (const auto &file : kFiles) {
    const bool isPlot = std::string(file.name).find("plot") != std::string::npos;
    if (canPlot || !isPlot) {
      std::fprintf(out, "  %-26s %s\n", file.name, file.what);
    }
  }
  if (!canPlot) {
    std::fprintf(out, "No pictures: %s\n", plotError.c_str());
  }
  return 0;
}

} // namespace plughost
