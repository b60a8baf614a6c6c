#include "Render.h"

#include "FileNames.h"
#include "LoadedPlugin.h"
#include "MidiFileWriter.h"
#include "OutputFiles.h"
#include "Plot.h"
#include "Progress.h"
#include "Timeline.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace plughost {

namespace {

bool parseValue(const std::string &setting, const std::string &text, float &value,
                std::string &error) {
  const std::string t = trimmed(text);
  char *end = nullptr;
  errno = 0;
  const double v = t.empty() ? 0.0 : std::strtod(t.c_str(), &end);
  if (t.empty() || end == nullptr || *end != '\0' || errno == ERANGE || !std::isfinite(v)) {
    error = "--set " + setting + ": '" + t + "' is not a number";
    return false;
  }
  if (v < 0.0 || v > 1.0) {
    error = "--set " + setting + ": parameter values run from 0 to 1, not " + t;
    return false;
  }
  value = static_cast<float>(v);
  return true;
}

bool isIndex(const std::string &key) {
  return !key.empty() && key.size() < 10 &&
         std::all_of(key.begin(), key.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool resolveSetting(host::PluginInstance &instance, const std::string &setting,
                    ParamSetting &resolved, std::string &error) {
  const auto equals = setting.rfind('=');
  const std::string key = equals == std::string::npos ? "" : trimmed(setting.substr(0, equals));
  if (key.empty()) {
    error = "--set '" + setting + "': expected NAME=VALUE or INDEX=VALUE";
    return false;
  }
  const int32_t count = instance.record()->paramCount;
  if (isIndex(key)) {
    resolved.index = std::atoi(key.c_str());
    if (resolved.index >= count) {
      error = "--set " + setting + ": unknown parameter index " + key + " (the plug-in has " +
              (count > 0 ? std::to_string(count) + " parameters, 0 to " + std::to_string(count - 1)
                         : std::string("no parameters")) +
              ")";
      return false;
    }
  } else {
    const std::string wanted = toLower(key);
    std::vector<int32_t> matches;
    std::string known;
    for (int32_t i = 0; i < count; ++i) {
      const std::string name = trimmed(instance.paramName(i));
      if (toLower(name) == wanted) {
        matches.push_back(i);
      }
      if (!name.empty() && known.size() < 300) {
        known += (known.empty() ? "" : ", ") + name;
      }
    }
    if (matches.empty()) {
      const std::string hint = !known.empty() ? "known: " + known
                               : count > 0    ? "its parameters have no names: use an index"
                                              : "the plug-in has no parameters";
      error = "--set " + setting + ": unknown parameter '" + key + "' (" + hint + ")";
      return false;
    }
    if (matches.size() > 1) {
      error = "--set " + setting + ": several parameters are named '" + key + "' (indices " +
              std::to_string(matches[0]) + " and " + std::to_string(matches[1]) +
              "): use the index";
      return false;
    }
    resolved.index = matches[0];
  }
  return parseValue(setting, setting.substr(equals + 1), resolved.value, error);
}

bool writeBytes(const std::string &path, const std::string &finalName, const void *data,
                std::size_t size, std::string &error) {
  std::ofstream out(path, std::ios::binary);
  out.write(static_cast<const char *>(data), static_cast<std::streamsize>(size));
  out.close();
  if (!out) {
    error = "cannot write '" + finalName + "'";
    return false;
  }
  return true;
}

std::string fileNameOf(const std::string &path) {
  return std::filesystem::path(path).filename().string();
}

} // namespace

bool renderFile(const RenderOptions &options, RenderResult &result, std::string &error) {
  // Everything that can be checked is checked before any work is done.
  if (options.block < 1 || options.block > 65536) {
    error = "--block must be from 1 to 65536 frames";
    return false;
  }
  if (!(options.tempo >= 4.0 && options.tempo <= 999.0)) {
    error = "--tempo must be from 4 to 999 quarter notes per minute";
    return false;
  }
  if (!std::isfinite(options.startBeat)) {
    error = "--start-beat must be a number of quarter notes";
    return false;
  }
  if (!checkAudioOutput(options.output, options.sampleFormat, error)) {
    return false;
  }
  std::string plotter;
  if (!options.plot.empty()) {
    plotter = findPlotter(error);
    if (plotter.empty()) {
      return false;
    }
  }
  AudioData input;
  if (!readAudioFile(options.input, input, error)) {
    return false;
  }
  if (input.frames() == 0) {
    error = "'" + options.input + "' holds no audio frames";
    return false;
  }

  LoadedPlugin plugin;
  if (!loadPlugin(options.plugin, plugin, error)) {
    return false;
  }
  host::PluginInstance &instance = *plugin.instance;
  const fw::EffectRecord *record = instance.record();
  result.pluginFile = plugin.library->path();
  result.effectName = trimmed(instance.text(fw::kReqEffectName));
  if (result.effectName.empty()) {
    result.effectName = std::filesystem::path(result.pluginFile).stem().string();
  }
  result.inputs = record->inputCount;
  result.outputs = record->outputCount;
  result.inputChannels = input.channelCount();
  result.sampleRate = input.sampleRate;
  result.frames = input.frames();

  const std::string what = "'" + options.input + "' has " + std::to_string(input.channelCount()) +
                           (input.channelCount() == 1 ? " channel" : " channels");
  if (result.inputs < 1) {
    error = result.effectName + " takes no audio input, so it cannot render " + options.input;
    return false;
  }
  if (result.outputs < 1 || result.outputs > 256 || result.inputs > 256) {
    error = result.effectName + " declares " + std::to_string(result.inputs) + " inputs and " +
            std::to_string(result.outputs) + " outputs: nothing to render";
    return false;
  }
  // A mono file feeds both inputs of a stereo plug-in; any other difference
  // is the user's to settle.
  const bool monoToStereo = input.channelCount() == 1 && result.inputs == 2;
  if (input.channelCount() != result.inputs && !monoToStereo) {
    error = what + " but " + result.effectName + " takes " + std::to_string(result.inputs) +
            (result.inputs == 1 ? " input" : " inputs") +
            (result.inputs == 1 ? ": give it a mono file" : "");
    return false;
  }
  const bool overwriting =
      (record->flags & fw::kFlagOverwriting) != 0 && record->overwritingEntry != nullptr;
  if (!overwriting && record->processEntry == nullptr) {
    error = result.effectName + " has no processing entry";
    return false;
  }
  result.overwriting = overwriting;

  if (options.program >= 0) {
    if (options.program >= record->programCount) {
      error = "--program " + std::to_string(options.program) + ": " + result.effectName + " has " +
              std::to_string(record->programCount) + " programs" +
              (record->programCount > 0 ? ", 0 to " + std::to_string(record->programCount - 1)
                                        : std::string());
      return false;
    }
    instance.dispatch(fw::kReqSetProgram, 0, options.program);
  }
  std::vector<ParamSetting> settings;
  for (const auto &text : options.settings) {
    ParamSetting setting{};
    if (!resolveSetting(instance, text, setting, error)) {
      return false;
    }
    settings.push_back(setting);
  }
  for (const auto &setting : settings) {
    instance.setParam(setting.index, setting.value);
    result.settings.push_back(
        AppliedSetting{setting.index, trimmed(instance.paramName(setting.index)), setting.value,
                       trimmed(instance.paramDisplay(setting.index))});
  }

  // The files to write, registered now so that a name clash or a missing
  // folder stops the render before it starts.
  OutputFiles files;
  std::vector<std::string> audioTemps;
  std::vector<std::string> audioFinals;
  if (options.split) {
    for (int n = 1; n <= result.outputs; ++n) {
      audioFinals.push_back(numberedName(options.output, n));
    }
  } else {
    audioFinals.push_back(options.output);
  }
  for (const auto &name : audioFinals) {
    std::string temporary;
    if (!files.add(name, temporary, error)) {
      return false;
    }
    audioTemps.push_back(temporary);
  }
  std::string midiTemp, csvTemp, plotTemp;
  if (!options.midi.empty() && !files.add(options.midi, midiTemp, error)) {
    return false;
  }
  if (!options.csv.empty() && !files.add(options.csv, csvTemp, error)) {
    return false;
  }
  if (!options.plot.empty() && !files.add(options.plot, plotTemp, error)) {
    return false;
  }

  // Playing.
  instance.transport.tempo = options.tempo;
  instance.transport.startBeat = options.startBeat;
  instance.setSampleRate(static_cast<float>(input.sampleRate));
  instance.setBlockSize(options.block);
  instance.resume();
  instance.clearRecords();

  const int32_t inputs = result.inputs, outputs = result.outputs;
  const int64_t frames = input.frames();
  std::vector<std::vector<float>> inBuffers(inputs, std::vector<float>(options.block));
  std::vector<std::vector<float>> outBuffers(outputs, std::vector<float>(options.block));
  std::vector<float *> inPointers, outPointers;
  for (auto &b : inBuffers) {
    inPointers.push_back(b.data());
  }
  for (auto &b : outBuffers) {
    outPointers.push_back(b.data());
  }
  AudioData output;
  output.sampleRate = input.sampleRate;
  output.channels.assign(outputs, std::vector<float>(static_cast<std::size_t>(frames)));

  Timeline timeline;
  timeline.sampleRate = input.sampleRate;
  timeline.outputs = outputs;
  std::vector<TimedMidiMessage> midi;
  result.blocksPerOutput.assign(outputs, 0);
  int held = -1;
  int lastLoudest = 0;
  const double beatsPerFrame = options.tempo / 60.0 / input.sampleRate;
  Progress progress(frames, options.progress);

  for (int64_t start = 0; start < frames; start += options.block) {
    const auto n = static_cast<int32_t>(std::min<int64_t>(options.block, frames - start));
    BlockRecord block;
    block.startFrame = start;
    block.frames = n;
    block.seconds = static_cast<double>(start) / input.sampleRate;
    block.beat = options.startBeat + static_cast<double>(start) * beatsPerFrame;
    double sum = 0.0;
    for (const auto &channel : input.channels) {
      for (int32_t i = 0; i < n; ++i) {
        const float a = std::fabs(channel[start + i]);
        block.inputPeak = std::max(block.inputPeak, a);
        sum += a;
      }
    }
    block.inputMean = static_cast<float>(sum / (static_cast<double>(n) * input.channelCount()));
    for (int32_t c = 0; c < inputs; ++c) {
      const auto &source = input.channels[monoToStereo ? 0 : c];
      std::copy(source.begin() + start, source.begin() + start + n, inBuffers[c].begin());
    }
    for (auto &b : outBuffers) {
      std::fill(b.begin(), b.end(), 0.0f);
    }
    if (overwriting) {
      instance.processOverwriting(inPointers.data(), outPointers.data(), n);
    } else {
      instance.processAdding(inPointers.data(), outPointers.data(), n);
    }

    for (const auto &received : instance.events()) {
      const fw::MidiEventRecord &event = received.event;
      TimedMidiMessage message{received.blockStart + event.frameOffset,
                               {event.midiBytes[0], event.midiBytes[1], event.midiBytes[2]}};
      midi.push_back(message);
      ++block.events;
      if ((event.midiBytes[0] & 0xF0) == 0xB0) {
        const int controller = event.midiBytes[1] & 0x7F;
        const int value = event.midiBytes[2] & 0x7F;
        block.controlChanges.push_back(ControlChange{controller, value});
        held = value;
        ++result.controlChanges;
        result.lowestValue = std::min(result.lowestValue, value);
        result.highestValue = std::max(result.highestValue, value);
        if (std::find(result.controllers.begin(), result.controllers.end(), controller) ==
            result.controllers.end()) {
          result.controllers.push_back(controller);
        }
      }
    }
    result.events += block.events;
    block.heldControlValue = held;
    result.droppedEvents += static_cast<int64_t>(instance.droppedRecords());
    instance.clearRecords(); // the host's records stay bounded over long renders

    block.outputPeaks.assign(outputs, 0.0f);
    int loudest = 0;
    float loudestPeak = 0.0f;
    for (int32_t c = 0; c < outputs; ++c) {
      float peak = 0.0f;
      const float *samples = outBuffers[c].data();
      std::copy(samples, samples + n, output.channels[c].begin() + start);
      for (int32_t i = 0; i < n; ++i) {
        peak = std::max(peak, std::fabs(samples[i]));
      }
      block.outputPeaks[c] = peak;
      if (peak > 0.0f) {
        ++result.blocksPerOutput[c];
      }
      if (peak > loudestPeak) {
        loudestPeak = peak;
        loudest = c + 1;
      }
    }
    if (loudest != 0) {
      if (lastLoudest != 0 && loudest != lastLoudest) {
        ++result.outputMoves;
      }
      lastLoudest = loudest;
    }
    timeline.blocks.push_back(std::move(block));
    ++result.blocks;
    progress.update(start + n);
  }
  instance.suspend();
  const bool sendsMidi = instance.capability("sendVstMidiEvent") > 0 ||
                         instance.capability("sendVstEvents") > 0 || result.events > 0;
  plugin.close();

  // Writing, under temporary names.
  for (std::size_t f = 0; f < audioTemps.size(); ++f) {
    AudioData part;
    part.sampleRate = output.sampleRate;
    if (options.split) {
      part.channels.push_back(std::move(output.channels[f]));
    }
    const AudioData &data = options.split ? part : output;
    if (!writeAudioFile(audioTemps[f], audioFinals[f], data, options.sampleFormat, error)) {
      return false;
    }
  }
  if (!options.midi.empty()) {
    MidiFileSettings settings;
    settings.sampleRate = input.sampleRate;
    settings.tempo = options.tempo;
    settings.trackName = result.effectName;
    const auto bytes = buildMidiFile(midi, settings, &result.skippedMidi);
    if (!writeBytes(midiTemp, options.midi, bytes.data(), bytes.size(), error)) {
      return false;
    }
  }
  const std::string csv = timelineCsv(timeline);
  if (!options.csv.empty() && !writeBytes(csvTemp, options.csv, csv.data(), csv.size(), error)) {
    return false;
  }
  if (!options.plot.empty()) {
    PlotRequest request;
    request.csvPath = options.csv.empty() ? plotTemp + ".csv" : csvTemp;
    request.pngPath = plotTemp;
    request.outputs = outputs;
    request.seconds = static_cast<double>(frames) / input.sampleRate;
    request.sampleRate = input.sampleRate;
    request.kind = sendsMidi     ? PlotKind::Controller
                   : outputs > 2 ? PlotKind::Routing
                                 : PlotKind::Levels;
    char tempo[32];
    std::snprintf(tempo, sizeof tempo, "%g BPM", options.tempo);
    request.title = result.effectName + " - " + fileNameOf(options.input) + " at " + tempo;
    if (result.controllers.size() == 1) {
      request.controlLabel = "control change " + std::to_string(result.controllers[0]) + " value";
    } else {
      request.controlLabel =
          result.controllers.empty() ? "control-change value (none sent)" : "control-change value";
    }
    const bool ownCsv = options.csv.empty();
    if (ownCsv && !writeBytes(request.csvPath, options.plot, csv.data(), csv.size(), error)) {
      return false;
    }
    const bool drawn = drawPlot(plotter, request, error);
    if (ownCsv) {
      std::error_code ec;
      std::filesystem::remove(request.csvPath, ec);
    }
    if (!drawn) {
      return false;
    }
  }
  if (!files.commit(error)) {
    return false;
  }
  result.files = files.finalPaths();
  return true;
}

std::string renderSummary(const RenderOptions &options, const RenderResult &result) {
  char line[512];
  std::string out;
  std::snprintf(line, sizeof line,
                "Rendered %s (%.2f s, %g Hz, %d %s) through %s: %lld blocks of up to %d frames, "
                "%s process\n",
                options.input.c_str(), static_cast<double>(result.frames) / result.sampleRate,
                result.sampleRate, result.inputChannels,
                result.inputChannels == 1 ? "channel" : "channels", result.effectName.c_str(),
                static_cast<long long>(result.blocks), options.block,
                result.overwriting ? "overwriting" : "adding");
  out += line;
  for (const auto &setting : result.settings) {
    std::snprintf(line, sizeof line, "  parameter %d%s%s = %g%s%s%s\n", setting.index,
                  setting.name.empty() ? "" : " ", setting.name.c_str(),
                  static_cast<double>(setting.value), setting.display.empty() ? "" : " (",
                  setting.display.c_str(), setting.display.empty() ? "" : ")");
    out += line;
  }
  std::string controllers;
  for (int c : result.controllers) {
    controllers += (controllers.empty() ? "" : ", ") + std::to_string(c);
  }
  if (result.controlChanges > 0) {
    std::snprintf(line, sizeof line,
                  "  events sent: %lld (%lld control changes on controller %s, values %d to %d)\n",
                  static_cast<long long>(result.events),
                  static_cast<long long>(result.controlChanges), controllers.c_str(),
                  result.lowestValue, result.highestValue);
  } else {
    std::snprintf(line, sizeof line, "  events sent: %lld\n",
                  static_cast<long long>(result.events));
  }
  out += line;
  std::string used;
  for (std::size_t n = 0; n < result.blocksPerOutput.size(); ++n) {
    if (result.blocksPerOutput[n] > 0) {
      used += " " + std::to_string(n + 1) + " (" + std::to_string(result.blocksPerOutput[n]) +
              " blocks)";
    }
  }
  std::snprintf(line, sizeof line, "  outputs carrying signal:%s\n",
                used.empty() ? " none" : used.c_str());
  out += line;
  if (result.outputs > 2) {
    std::snprintf(line, sizeof line, "  the signal moved to another output %lld times\n",
                  static_cast<long long>(result.outputMoves));
    out += line;
  }
  if (result.droppedEvents > 0) {
    std::snprintf(line, sizeof line,
                  "  warning: %lld requests or events came beyond what the host records in one "
                  "block and were not kept\n",
                  static_cast<long long>(result.droppedEvents));
    out += line;
  }
  if (result.skippedMidi > 0) {
    std::snprintf(line, sizeof line,
                  "  %d events were not channel messages and were left out of "
                  "the MIDI file\n",
                  result.skippedMidi);
    out += line;
  }
  out += "Wrote";
  for (const auto &file : result.files) {
    out += " " + file;
  }
  return out + "\n";
}

} // namespace plughost
