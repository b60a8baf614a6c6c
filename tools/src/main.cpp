// plughost: a command-line host for plug-ins of this interface. It shows
// what a host sees of a plug-in (info), runs one over an audio file with
// MIDI, timeline and picture (render), and renders the built-in demo (demo).
#include "AudioFile.h"
#include "Demo.h"
#include "LoadedPlugin.h"
#include "OutputFiles.h"
#include "PluginInfo.h"
#include "Render.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <map>
#include <new>
#include <string>

#if defined(_WIN32)
#include <io.h>
#define PLUGHOST_DUP _dup
#define PLUGHOST_DUP2 _dup2
#define PLUGHOST_FDOPEN _fdopen
#else
#include <unistd.h>
#define PLUGHOST_DUP dup
#define PLUGHOST_DUP2 dup2
#define PLUGHOST_FDOPEN fdopen
#endif

namespace {

constexpr const char *kVersion = "1.0";

int fail(const std::string &message) {
  std::fprintf(stderr, "plughost: error: %s\n", message.c_str());
  return 1;
}

// Our own standard output. Plug-ins may print to the process's standard
// output; that is sent to standard error instead, so that what the tool
// prints (JSON above all) stays clean.
std::FILE *ownStandardOutput() {
  std::fflush(stdout);
  const int copy = PLUGHOST_DUP(1);
  if (copy < 0) {
    return stdout;
  }
  std::FILE *out = PLUGHOST_FDOPEN(copy, "w");
  if (out == nullptr) {
    return stdout;
  }
  PLUGHOST_DUP2(2, 1);
  return out;
}

int runInfo(const std::string &pluginName, bool json, std::FILE *out) {
  plughost::LoadedPlugin plugin;
  std::string error;
  if (!plughost::loadPlugin(pluginName, plugin, error)) {
    return fail(error);
  }
  const plughost::PluginInfo info =
      plughost::collectPluginInfo(*plugin.instance, plugin.library->path());
  plugin.close();
  const std::string text = json ? plughost::formatInfoJson(info) : plughost::formatInfoText(info);
  std::fputs(text.c_str(), out);
  return 0;
}

} // namespace

static int runCommandLine(int argc, char **argv) {
  CLI::App app{"plughost: a command-line host for VST 2 plug-ins (QERN, GAIN and any other).\n"
               "Shows what a host sees of a plug-in, renders audio files through it with its "
               "MIDI output, a timeline and a picture, and renders a built-in demo.",
               "plughost"};
  app.set_version_flag("--version", std::string("plughost ") + kVersion +
                                        " (audio files: " + plughost::audioBackendName() + ")");
  app.require_subcommand(1);

  std::string infoPlugin;
  bool infoJson = false;
  CLI::App *info = app.add_subcommand("info", "Print what a host sees of a plug-in");
  info->add_option("PLUGIN", infoPlugin,
                   "Plug-in library (a path, or a name found beside plughost, e.g. QERN)")
      ->required();
  info->add_flag("--json", infoJson, "Print the same as JSON");

  plughost::RenderOptions render;
  std::string sampleFormat = "float";
  bool quiet = false;
  CLI::App *renderCommand =
      app.add_subcommand("render", "Run a plug-in over an audio file and write its output");
  renderCommand->add_option("PLUGIN", render.plugin, "Plug-in library")->required();
  renderCommand->add_option("INPUT", render.input, "Input audio file")->required();
  renderCommand->add_option("-o,--output", render.output, "Output audio file")->required();
  renderCommand->add_flag("--split", render.split,
                          "One file per output: OUTPUT-1.wav, OUTPUT-2.wav, ...");
  renderCommand->add_option("--block", render.block, "Frames per processing block")
      ->default_val(512);
  renderCommand->add_option("--tempo", render.tempo, "Tempo of the simulated transport, in BPM")
      ->default_val(120.0);
  renderCommand
      ->add_option("--start-beat", render.startBeat,
                   "Song position of the first frame, in quarter notes")
      ->default_val(0.0);
  renderCommand->add_option("--program", render.program, "Select this program first (0-based)")
      ->check(CLI::NonNegativeNumber);
  renderCommand
      ->add_option("--set", render.settings,
                   "Set a parameter before rendering: NAME=VALUE or INDEX=VALUE, VALUE from 0 to "
                   "1 (repeatable; names match without regard to case or surrounding spaces)")
      ->expected(1)
      ->take_all();
  renderCommand->add_option("--midi", render.midi,
                            "Write the events the plug-in sends as a Standard MIDI File");
  renderCommand->add_option("--csv", render.csv, "Write the per-block timeline as CSV");
  renderCommand->add_option("--plot", render.plot, "Draw the timeline as a PNG picture (gnuplot)");
  renderCommand
      ->add_option("--sample-format", sampleFormat,
                   "Sample format of the output audio: float, pcm16, pcm24 or pcm32")
      ->check(CLI::IsMember({"float", "pcm16", "pcm24", "pcm32"}))
      ->default_val("float");
  renderCommand->add_flag("-q,--quiet", quiet, "Print no summary and no progress bar");

  std::string demoFolder = "demo-output";
  CLI::App *demo = app.add_subcommand(
      "demo", "Render the built-in drum loop through QERN and GAIN (found beside plughost)");
  demo->add_option("--out", demoFolder, "Folder for the demo's files")->default_val("demo-output");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp &e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp &e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion &e) {
    return app.exit(e);
  } catch (const CLI::ParseError &e) {
    std::fprintf(stderr, "plughost: error: %s (see plughost --help)\n", e.what());
    return 2;
  }

  std::FILE *out = ownStandardOutput();
  int status = 0;
  if (*info) {
    status = runInfo(infoPlugin, infoJson, out);
  } else if (*renderCommand) {
    static const std::map<std::string, plughost::SampleFormat> kFormats = {
        {"float", plughost::SampleFormat::Default},
        {"pcm16", plughost::SampleFormat::Pcm16},
        {"pcm24", plughost::SampleFormat::Pcm24},
        {"pcm32", plughost::SampleFormat::Pcm32}};
    render.sampleFormat = kFormats.at(sampleFormat);
    render.progress = !quiet;
    plughost::RenderResult result;
    std::string error;
    if (!plughost::renderFile(render, result, error)) {
      status = fail(error);
    } else if (!quiet) {
      std::fputs(plughost::renderSummary(render, result).c_str(), out);
    }
  } else if (*demo) {
    status = plughost::runDemo(demoFolder, out);
  }
  std::fflush(out);
  return status;
}

int main(int argc, char **argv) {
  plughost::removeTemporariesOnInterrupt();
  try {
    return runCommandLine(argc, argv);
  } catch (const std::bad_alloc &) {
    return fail("out of memory (the whole input and output are held in memory)");
  } catch (const std::exception &e) {
    return fail(e.what());
  }
}
