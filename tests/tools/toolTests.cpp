// The real plughost program, run on small generated files. What it writes is
// read back with libsndfile and Debian's mido, and compared with what the
// plug-in computes when our host code drives it directly.
#include "PluginFixture.h"

#include "AudioFile.h"

#include <doctest/doctest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using plughost::AudioData;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr const char *kPython = "/usr/bin/python3"; // Debian's, with mido

struct Run {
  int status = -1;
  std::string out, err;
};

std::string readText(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> lines(const std::string &text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    out.push_back(line);
  }
  return out;
}

std::vector<std::string> split(const std::string &text, char separator) {
  std::vector<std::string> out;
  std::string field;
  std::istringstream in(text);
  while (std::getline(in, field, separator)) {
    out.push_back(field);
  }
  if (!text.empty() && text.back() == separator) {
    out.push_back("");
  }
  return out;
}

// A folder of its own for each test: files/ for what the tool reads and
// writes, the captured output beside it.
struct Work {
  fs::path root, files;
  explicit Work(const std::string &name) : root(fs::path(TEST_WORK_DIR) / name) {
    fs::remove_all(root);
    files = root / "files";
    fs::create_directories(files);
  }
  std::string operator/(const std::string &name) const { return (files / name).string(); }

  std::set<std::string> listing() const {
    std::set<std::string> names;
    for (const auto &entry : fs::directory_iterator(files)) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  // Runs a program with its standard output and error captured; `path`
  // replaces the PATH when given. `foreignCode`: the program loads libraries
  // that are not ours, whose leaks a sanitizer build is not to report.
  Run run(const std::string &program, const std::vector<std::string> &args,
          const std::string &path = std::string(), bool foreignCode = false) const {
    const std::string outFile = (root / "stdout.txt").string();
    const std::string errFile = (root / "stderr.txt").string();
    std::vector<char *> argv{const_cast<char *>(program.c_str())};
    for (const auto &a : args) {
      argv.push_back(const_cast<char *>(a.c_str()));
    }
    argv.push_back(nullptr);
    std::vector<std::string> env;
    std::string sanitizer = "ASAN_OPTIONS=";
    for (char **e = environ; *e != nullptr; ++e) {
      if (std::strncmp(*e, "ASAN_OPTIONS=", 13) == 0) {
        sanitizer = std::string(*e) + ":";
      } else if (path.empty() || std::strncmp(*e, "PATH=", 5) != 0) {
        env.emplace_back(*e);
      }
    }
    if (!path.empty()) {
      env.push_back("PATH=" + path);
    }
    if (foreignCode) {
      env.push_back(sanitizer + "detect_leaks=0");
    } else if (sanitizer != "ASAN_OPTIONS=") {
      env.push_back(sanitizer.substr(0, sanitizer.size() - 1));
    }
    std::vector<char *> envp;
    for (auto &e : env) {
      envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t pid = 0;
    Run result;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) {
      int status = 0;
      waitpid(pid, &status, 0);
      result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    result.out = readText(outFile);
    result.err = readText(errFile);
    return result;
  }

  Run tool(const std::vector<std::string> &args, const std::string &path = std::string(),
           bool foreignCode = false) const {
    return run(PLUGHOST_EXE, args, path, foreignCode);
  }
};

std::string describe(const Run &run) {
  return "exit " + std::to_string(run.status) + "\nstdout:\n" + run.out + "stderr:\n" + run.err;
}

AudioData readAudio(const std::string &path) {
  AudioData audio;
  std::string error;
  REQUIRE_MESSAGE(plughost::readAudioFile(path, audio, error), error);
  return audio;
}

void writeAudio(const std::string &path, const AudioData &audio) {
  std::string error;
  REQUIRE_MESSAGE(
      plughost::writeAudioFile(path, path, audio, plughost::SampleFormat::Float32, error), error);
}

bool sameBits(const std::vector<float> &a, const std::vector<float> &b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// Bursts of tones whose level changes from block to block, with a few
// samples that only a bit-exact copy keeps: negative zero, a subnormal, a
// full-scale peak.
AudioData testSignal(int channels, int64_t frames, double rate = 44100.0) {
  AudioData audio;
  audio.sampleRate = rate;
  for (int c = 0; c < channels; ++c) {
    std::vector<float> samples(static_cast<std::size_t>(frames));
    for (int64_t i = 0; i < frames; ++i) {
      const double t = static_cast<double>(i) / rate;
      const double envelope = std::fabs(std::sin(2.0 * kPi * (1.3 + c) * t));
      samples[i] = static_cast<float>(0.6 * envelope * std::sin(2.0 * kPi * (220.0 + 110 * c) * t));
    }
    samples[10] = -0.0f;
    samples[11] = 1.0e-40f;
    samples[12] = 1.0f;
    audio.channels.push_back(std::move(samples));
  }
  return audio;
}

struct TimedMessage {
  int64_t frame;
  std::string hex; // "b0 07 05"
};

std::string hexBytes(const unsigned char *bytes, int n) {
  std::string out;
  char b[4];
  for (int i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, "%02x", bytes[i]);
    out += (i ? " " : "") + std::string(b);
  }
  return out;
}

int messageLength(unsigned char status) {
  const unsigned char kind = status & 0xF0;
  return kind == 0xC0 || kind == 0xD0 ? 2 : 3;
}

// What a plug-in computes when our host code plays the file to it as the
// tool does: open, parameters, rate and block size, resume, blocks on cleared
// outputs (a mono file feeding both inputs of a stereo plug-in), suspend.
struct DirectRender {
  AudioData output;
  std::vector<TimedMessage> events;
};

DirectRender renderDirectly(const char *library, const AudioData &input, int block, double tempo,
                            double startBeat,
                            const std::vector<std::pair<int, float>> &params = {}) {
  LoadedPlugin plugin(library);
  host::PluginInstance &p = *plugin;
  p.dispatch(fw::kReqOpen);
  for (const auto &param : params) {
    p.setParam(param.first, param.second);
  }
  p.transport.tempo = tempo;
  p.transport.startBeat = startBeat;
  p.setSampleRate(static_cast<float>(input.sampleRate));
  p.setBlockSize(block);
  p.resume();
  const int inputs = p.record()->inputCount, outputs = p.record()->outputCount;
  DirectRender result;
  result.output.sampleRate = input.sampleRate;
  result.output.channels.assign(outputs, std::vector<float>(input.frames()));
  std::vector<std::vector<float>> in(inputs, std::vector<float>(block)),
      out(outputs, std::vector<float>(block));
  std::vector<float *> ip, op;
  for (auto &b : in) {
    ip.push_back(b.data());
  }
  for (auto &b : out) {
    op.push_back(b.data());
  }
  for (int64_t start = 0; start < input.frames(); start += block) {
    const int n = static_cast<int>(std::min<int64_t>(block, input.frames() - start));
    for (int c = 0; c < inputs; ++c) {
      const auto &src = input.channels[input.channelCount() == 1 ? 0 : c];
      std::copy(src.begin() + start, src.begin() + start + n, in[c].begin());
    }
    for (auto &b : out) {
      std::fill(b.begin(), b.end(), 0.0f);
    }
    p.clearRecords();
    if ((p.record()->flags & fw::kFlagOverwriting) != 0) {
      p.processOverwriting(ip.data(), op.data(), n);
    } else {
      p.processAdding(ip.data(), op.data(), n);
    }
    for (const auto &e : p.events()) {
      result.events.push_back({e.blockStart + e.event.frameOffset,
                               hexBytes(e.event.midiBytes, messageLength(e.event.midiBytes[0]))});
    }
    for (int c = 0; c < outputs; ++c) {
      std::copy(out[c].begin(), out[c].begin() + n, result.output.channels[c].begin() + start);
    }
  }
  p.suspend();
  std::stable_sort(result.events.begin(), result.events.end(),
                   [](const TimedMessage &a, const TimedMessage &b) { return a.frame < b.frame; });
  return result;
}

// The MIDI file as mido reads it: the messages with their times in seconds.
struct MidiRead {
  int ticksPerBeat = 0;
  long tempo = 0;
  std::vector<std::pair<double, std::string>> messages;
};

MidiRead readMidiWithMido(const Work &work, const std::string &file) {
  const Run run = work.run(kPython, {READ_MIDI_SCRIPT, file});
  REQUIRE_MESSAGE(run.status == 0, "mido could not read " << file << ": " << describe(run));
  MidiRead read;
  for (const auto &line : lines(run.out)) {
    std::istringstream in(line);
    std::string kind;
    in >> kind;
    if (kind == "file") {
      int type = -1, tracks = 0;
      in >> type >> read.ticksPerBeat >> tracks;
      CHECK(type == 0);
      CHECK(tracks == 1);
    } else if (kind == "tempo") {
      in >> read.tempo;
    } else if (kind == "msg") {
      double seconds = 0.0;
      in >> seconds;
      std::string rest;
      std::getline(in, rest);
      read.messages.emplace_back(seconds, rest.substr(1));
    }
  }
  return read;
}

// The messages in the file are the expected ones, in order, each at its frame
// rounded to the file's tick.
void checkMidiFile(const MidiRead &read, const std::vector<TimedMessage> &expected, double rate,
                   double tempo) {
  CHECK(read.ticksPerBeat == 960);
  CHECK(read.tempo == std::lround(60.0e6 / tempo));
  REQUIRE(read.messages.size() == expected.size());
  // Times go through the tempo as the file stores it, in whole microseconds.
  const double tick = static_cast<double>(read.tempo) / 1.0e6 / 960.0;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    CAPTURE(i);
    const double exact = static_cast<double>(expected[i].frame) / rate;
    CHECK(read.messages[i].second == expected[i].hex);
    CHECK(std::fabs(read.messages[i].first - std::round(exact / tick) * tick) < 2e-9);
    CHECK(std::fabs(read.messages[i].first - exact) <= tick / 2 + 2e-9);
  }
}

void checkPng(const std::string &path) {
  const std::string bytes = readText(path);
  REQUIRE(bytes.size() > 2000); // a picture, not a stub
  CHECK(bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0);
  CHECK(bytes.compare(12, 4, "IHDR") == 0);
  const auto be32 = [&](std::size_t at) {
    return (static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) << 24) |
           (static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 16) |
           (static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 8) |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3]));
  };
  CHECK(be32(16) == 1200);
  CHECK(be32(20) >= 400);
  CHECK(be32(20) <= 800);
  CHECK(bytes.compare(bytes.size() - 8, 4, "IEND") == 0);
}

// The CSV timeline: its header and one row per block, as maps.
std::vector<std::map<std::string, std::string>> readCsv(const std::string &path) {
  const auto rows = lines(readText(path));
  REQUIRE(!rows.empty());
  const auto header = split(rows[0], ',');
  std::vector<std::map<std::string, std::string>> out;
  for (std::size_t r = 1; r < rows.size(); ++r) {
    const auto fields = split(rows[r], ',');
    REQUIRE(fields.size() == header.size());
    std::map<std::string, std::string> row;
    for (std::size_t f = 0; f < header.size(); ++f) {
      row[header[f]] = fields[f];
    }
    out.push_back(row);
  }
  return out;
}

std::string pluginPath(const char *fileName) { return host::executableDirectory() + fileName; }

} // namespace

TEST_CASE("render through QERN: the audio passes bit for bit, the MIDI file holds what it sent") {
  Work work("qern");
  const int block = 256;
  const double tempo = 100.0;
  for (int channels : {2, 1}) {
    CAPTURE(channels);
    const AudioData input = testSignal(channels, 30000);
    writeAudio(work / "in.wav", input);
    const Run run =
        work.tool({"render", pluginPath(QERN_LIBRARY), work / "in.wav", "-o", work / "out.wav",
                   "--block", std::to_string(block), "--tempo", "100", "--midi", work / "out.mid",
                   "--csv", work / "out.csv", "--plot", work / "out.png"});
    REQUIRE_MESSAGE(run.status == 0, describe(run));
    CHECK(run.err.empty());

    const AudioData output = readAudio(work / "out.wav");
    REQUIRE(output.channelCount() == 2);
    CHECK(output.sampleRate == input.sampleRate);
    // The overwriting process copies its inputs; a mono file feeds both.
    CHECK(sameBits(output.channels[0], input.channels[0]));
    CHECK(sameBits(output.channels[1], input.channels[channels - 1]));

    const DirectRender direct = renderDirectly(QERN_LIBRARY, input, block, tempo, 0.0);
    CHECK(sameBits(output.channels[0], direct.output.channels[0]));
    CHECK(sameBits(output.channels[1], direct.output.channels[1]));
    checkMidiFile(readMidiWithMido(work, work / "out.mid"), direct.events, input.sampleRate, tempo);

    const auto rows = readCsv(work / "out.csv");
    CHECK(rows.size() == static_cast<std::size_t>((input.frames() + block - 1) / block));
    long events = 0;
    for (const auto &row : rows) {
      events += std::stol(row.at("events"));
    }
    CHECK(events == static_cast<long>(direct.events.size()));
    checkPng(work / "out.png");
  }
}

TEST_CASE(
    "render through GAIN at 120 BPM: each block's input goes to the output GAIN routes it to") {
  Work work("gain");
  const AudioData input = testSignal(1, 3 * 44100);
  writeAudio(work / "in.wav", input);
  const Run run =
      work.tool({"render", "GAIN", work / "in.wav", "-o", work / "out.wav", "--split", "--tempo",
                 "120", "--csv", work / "out.csv", "--plot", work / "out.png"});
  REQUIRE_MESSAGE(run.status == 0, describe(run));

  const DirectRender direct = renderDirectly(GAIN_LIBRARY, input, 512, 120.0, 0.0);
  std::vector<std::vector<float>> outputs;
  for (int n = 1; n <= 8; ++n) {
    const AudioData part = readAudio(work / ("out-" + std::to_string(n) + ".wav"));
    REQUIRE(part.channelCount() == 1);
    CHECK(sameBits(part.channels[0], direct.output.channels[n - 1]));
    outputs.push_back(part.channels[0]);
  }
  CHECK(!fs::exists(work / "out.wav"));

  // Per block, at most one output holds anything but +0.0: the input times
  // one level (a level of 0 leaves -0.0 where the input is negative). The
  // CSV names the output that carries signal, a sample other than zero.
  const auto rows = readCsv(work / "out.csv");
  REQUIRE(rows.size() == static_cast<std::size_t>((input.frames() + 511) / 512));
  for (std::size_t b = 0; b < rows.size(); ++b) {
    CAPTURE(b);
    const int64_t start = static_cast<int64_t>(b) * 512;
    const int64_t end = std::min<int64_t>(start + 512, input.frames());
    std::vector<int> active;
    int written = 0;
    for (int n = 0; n < 8; ++n) {
      bool carries = false, touched = false;
      for (int64_t i = start; i < end; ++i) {
        carries = carries || outputs[n][i] != 0.0f;
        touched = touched || outputs[n][i] != 0.0f || std::signbit(outputs[n][i]);
      }
      if (carries) {
        active.push_back(n + 1);
      }
      written += touched ? 1 : 0;
    }
    REQUIRE(written <= 1);
    REQUIRE(active.size() <= 1);
    CHECK(rows[b].at("active_outputs") == (active.empty() ? "" : std::to_string(active[0])));
    if (active.empty()) {
      continue;
    }
    double level = 0.0;
    for (int64_t i = start; i < end; ++i) {
      const float x = input.channels[0][i], y = outputs[active[0] - 1][i];
      if (std::fabs(x) > 1e-3f) {
        if (level == 0.0) {
          level = static_cast<double>(y) / x;
        }
        CHECK(static_cast<double>(y) / x == doctest::Approx(level).epsilon(1e-5));
      }
    }
  }
  checkPng(work / "out.png");
}

TEST_CASE("the probe plug-in sees cleared outputs, the transport, its settings, and its events "
          "land at their times") {
  Work work("probe");
  const double tempo = 90.0, startBeat = 3.5, rate = 48000.0;
  const int block = 300;
  const AudioData input = testSignal(2, 10000, rate);
  writeAudio(work / "in.wav", input);
  const Run run = work.tool({"render",
                             PROBE_LIBRARY,
                             work / "in.wav",
                             "-o",
                             work / "out.wav",
                             "--block",
                             "300",
                             "--tempo",
                             "90",
                             "--start-beat",
                             "3.5",
                             "--program",
                             "1",
                             "--set",
                             "  mix LEVEL =0.5",
                             "--set",
                             "1=0.25",
                             "--midi",
                             work / "out.mid",
                             "--csv",
                             work / "out.csv"});
  REQUIRE_MESSAGE(run.status == 0, describe(run));
  CHECK(run.out.find("parameter 0 Mix Level = 0.5 (0.5000)") != std::string::npos);
  CHECK(run.out.find("adding process") != std::string::npos);

  const AudioData output = readAudio(work / "out.wav");
  REQUIRE(output.channelCount() == 3);
  std::vector<TimedMessage> expected;
  int64_t k = 0;
  for (int64_t start = 0; start < input.frames(); start += block, ++k) {
    const int n = static_cast<int>(std::min<int64_t>(block, input.frames() - start));
    const double beat = startBeat + static_cast<double>(start) / rate * tempo / 60.0;
    for (int64_t i = start; i < start + n; ++i) {
      CAPTURE(i);
      REQUIRE(output.channels[0][i] == input.channels[0][i] * 0.5f);
      REQUIRE(output.channels[1][i] == input.channels[1][i] + 0.25f);
      REQUIRE(output.channels[2][i] == doctest::Approx(beat).epsilon(1e-6));
    }
    char value[4];
    std::snprintf(value, sizeof value, "%02x", static_cast<int>(k % 128));
    expected.push_back({start + (37 * k) % n, std::string("b0 07 ") + value});
    if (k % 4 == 0) {
      expected.push_back({start, std::string("c0 ") + value});
    }
    expected.push_back({start + n - 1, "90 3c 64"});
  }
  std::stable_sort(expected.begin(), expected.end(),
                   [](const TimedMessage &a, const TimedMessage &b) { return a.frame < b.frame; });
  checkMidiFile(readMidiWithMido(work, work / "out.mid"), expected, rate, tempo);

  const auto rows = readCsv(work / "out.csv");
  REQUIRE(static_cast<int64_t>(rows.size()) == k);
  for (std::size_t b = 0; b < rows.size(); ++b) {
    CAPTURE(b);
    CHECK(std::stoll(rows[b].at("start_frame")) == static_cast<long long>(b) * block);
    CHECK(std::stod(rows[b].at("beat")) ==
          doctest::Approx(startBeat + b * block / rate * tempo / 60.0).epsilon(1e-6));
    CHECK(std::stoi(rows[b].at("events")) == (b % 4 == 0 ? 3 : 2));
    CHECK(rows[b].at("control_changes") == "7=" + std::to_string(b % 128));
    CHECK(rows[b].at("cc_value") == std::to_string(b % 128));
  }

  // The program was selected before rendering.
  const Run info = work.tool({"info", PROBE_LIBRARY});
  REQUIRE_MESSAGE(info.status == 0, describe(info));
  CHECK(info.out.find("Programs (2, current 0)") != std::string::npos);
  CHECK(info.out.find("    1  Probe 1") != std::string::npos);
}

TEST_CASE("info prints what a host sees, as text and as JSON") {
  Work work("info");
  const std::string script =
      "import json, sys\n"
      "d = json.load(open(sys.argv[1]))\n"
      "print(d['uniqueId'], d['inputs'], d['outputs'], d['flags'], len(d['programs']),\n"
      "      len(d['capabilities']), d['capabilities']['receiveVstMidiEvent'])\n"
      "for p in d['parameters']: print(repr(p['name']), repr(p['label']), repr(p['display']),\n"
      "                               p['value'])\n";
  std::ofstream(work.root / "check.py") << script;
  for (const char *file : {QERN_LIBRARY, GAIN_LIBRARY, "ToolProbe.so"}) {
    CAPTURE(file);
    LoadedPlugin direct(file);
    const fw::EffectRecord *r = direct->record();
    char id[8];
    std::snprintf(id, sizeof id, "%c%c%c%c", (r->effectId >> 24) & 0xFF, (r->effectId >> 16) & 0xFF,
                  (r->effectId >> 8) & 0xFF, r->effectId & 0xFF);
    std::ostringstream expected;
    expected << id << " " << r->inputCount << " " << r->outputCount << " " << r->flags << " "
             << r->programCount << " 23 " << direct->capability("receiveVstMidiEvent") << "\n";

    const Run json = work.tool({"info", file, "--json"});
    REQUIRE_MESSAGE(json.status == 0, describe(json));
    std::ofstream(work / "info.json") << json.out;
    const Run parsed = work.run(kPython, {(work.root / "check.py").string(), work / "info.json"});
    REQUIRE_MESSAGE(parsed.status == 0, describe(parsed));
    const auto got = lines(parsed.out);
    REQUIRE(got.size() == static_cast<std::size_t>(1 + r->paramCount));
    CHECK(got[0] + "\n" == expected.str());
    for (int i = 0; i < r->paramCount; ++i) {
      CAPTURE(i);
      CHECK(got[1 + i].rfind("'" + direct->paramName(i) + "' '" + direct->paramLabel(i) + "' '" +
                                 direct->paramDisplay(i) + "' ",
                             0) == 0);
    }

    const Run text = work.tool({"info", file});
    REQUIRE_MESSAGE(text.status == 0, describe(text));
    CHECK(text.out.find(std::string("Unique id       ") + id) != std::string::npos);
    CHECK(text.out.find("Inputs          " + std::to_string(r->inputCount)) != std::string::npos);
    CHECK(text.out.find("Parameters (" + std::to_string(r->paramCount) + ")") != std::string::npos);
  }
}

TEST_CASE("bad input: one line on standard error, a non-zero exit and no file left behind") {
  Work work("errors");
  writeAudio(work / "stereo.wav", testSignal(2, 2000));
  writeAudio(work / "mono.wav", testSignal(1, 2000));
  std::ofstream(work / "text.wav") << "this is not audio\n";
  std::ofstream(work / "fake.so") << "this is not a library\n";
  fs::create_directories(work.files / "folder.wav");
  AudioData empty;
  empty.channels.assign(1, {});
  writeAudio(work / "empty.wav", empty);

  struct Case {
    const char *name;
    std::vector<std::string> args;
    const char *message;
    int status;
  };
  const std::string q = pluginPath(QERN_LIBRARY);
  const std::string outputs[] = {"-o",    work / "out.wav", "--midi", work / "out.mid",
                                 "--csv", work / "out.csv", "--plot", work / "out.png"};
  const auto render = [&](std::vector<std::string> args) {
    args.insert(args.begin(), "render");
    args.insert(args.end(), std::begin(outputs), std::end(outputs));
    return args;
  };
  const Case cases[] = {
      {"missing input", render({q, work / "missing.wav"}), "no such file", 1},
      {"input is a folder", render({q, work / "folder.wav"}), "is a directory", 1},
      {"input is not audio", render({q, work / "text.wav"}), "is not an audio file", 1},
      {"input without frames", render({q, work / "empty.wav"}), "holds no audio frames", 1},
      {"library that does not load", render({work / "fake.so", work / "stereo.wav"}),
       "cannot load plug-in library", 1},
      {"no such library", render({work / "nothing.so", work / "stereo.wav"}), "cannot load plug-in",
       1},
      {"library without main", render({NO_MAIN_LIBRARY, work / "stereo.wav"}), "exports no 'main'",
       1},
      {"main answers null", render({NULL_MAIN_LIBRARY, work / "stereo.wav"}), "answered null", 1},
      {"unknown parameter name", render({PROBE_LIBRARY, work / "stereo.wav", "--set", "loud=1"}),
       "unknown parameter 'loud'", 1},
      {"unknown parameter index", render({PROBE_LIBRARY, work / "stereo.wav", "--set", "9=1"}),
       "unknown parameter index 9", 1},
      {"ambiguous parameter name", render({PROBE_LIBRARY, work / "stereo.wav", "--set", "twin=1"}),
       "several parameters", 1},
      {"value not a number", render({PROBE_LIBRARY, work / "stereo.wav", "--set", "offset=loud"}),
       "'loud' is not a number", 1},
      {"value out of range", render({PROBE_LIBRARY, work / "stereo.wav", "--set", "0=1.5"}),
       "from 0 to 1", 1},
      {"program out of range", render({PROBE_LIBRARY, work / "stereo.wav", "--program", "2"}),
       "has 2 programs", 1},
      {"stereo into a one-input plug-in", render({"GAIN", work / "stereo.wav"}), "takes 1 input",
       1},
      {"unknown output type",
       {"render", q, work / "stereo.wav", "-o", work / "out.xyz"},
       "cannot tell the audio type",
       1},
      {"output folder missing",
       {"render", q, work / "stereo.wav", "-o", work / "no-folder/out.wav"},
       "does not exist",
       1},
      {"two outputs with one name",
       {"render", q, work / "stereo.wav", "-o", work / "out.wav", "--csv", work / "out.wav"},
       "two outputs",
       1},
      {"info on a library without main", {"info", NO_MAIN_LIBRARY}, "exports no 'main'", 1},
      {"tempo not a number", render({q, work / "stereo.wav", "--tempo", "fast"}), "--tempo", 2},
      {"no output named", {"render", q, work / "stereo.wav"}, "--output is required", 2},
  };
  const auto before = work.listing();
  for (const auto &c : cases) {
    CAPTURE(c.name);
    const Run run = work.tool(c.args);
    CHECK(run.status == c.status);
    CHECK(run.out.empty());
    CHECK(run.err.rfind("plughost: error: ", 0) == 0);
    CHECK(std::count(run.err.begin(), run.err.end(), '\n') == 1);
    CHECK_MESSAGE(run.err.find(c.message) != std::string::npos, run.err);
    CHECK(work.listing() == before);
  }
}

TEST_CASE("a failure after the audio is written still leaves no file behind") {
  Work work("late-failure");
  writeAudio(work / "in.wav", testSignal(2, 4000));
  // A plotter that fails once the audio, the MIDI file and the CSV exist
  // under their temporary names.
  const fs::path bin = work.root / "bin";
  fs::create_directories(bin);
  {
    std::ofstream script(bin / "gnuplot");
    script << "#!/bin/sh\necho 'no fonts today' >&2\nexit 3\n";
  }
  fs::permissions(bin / "gnuplot", fs::perms::owner_all);
  const auto before = work.listing();
  const Run run =
      work.tool({"render", "QERN", work / "in.wav", "-o", work / "out.wav", "--midi",
                 work / "out.mid", "--csv", work / "out.csv", "--plot", work / "out.png"},
                bin.string() + ":/usr/bin:/bin");
  CHECK(run.status == 1);
  CHECK(run.err == "plughost: error: gnuplot could not draw the plot: no fonts today\n");
  CHECK(work.listing() == before);

  // Without any plotter the render stops before it starts.
  fs::remove(bin / "gnuplot");
  const Run none = work.tool(
      {"render", "QERN", work / "in.wav", "-o", work / "out.wav", "--plot", work / "out.png"},
      bin.string());
  CHECK(none.status == 1);
  CHECK(none.err.find("plotting needs gnuplot") != std::string::npos);
  CHECK(work.listing() == before);
}

TEST_CASE("third-party plug-ins from Debian load, report their parameters and process audio") {
  struct ThirdParty {
    const char *package;
    const char *library;
    const char *setting; // NAME=VALUE set by name
  };
  const ThirdParty plugins[] = {
      {"lsp-plugins-vst", "/usr/lib/vst/lsp-plugins/comp-delay-mono.so", "dry=0.5"},
      {"zam-plugins", "/usr/lib/vst/ZamComp-vst.so", "threshold=0.5"},
      {"dpf-plugins-vst", "/usr/lib/vst/MaFreeverb-vst.so", nullptr},
  };
  Work work("third-party");
  int tested = 0;
  for (const auto &plugin : plugins) {
    CAPTURE(plugin.library);
    if (!fs::exists(plugin.library)) {
      MESSAGE("skipped: " << plugin.library << " is not installed (apt-get install "
                          << plugin.package << ")");
      continue;
    }
    ++tested;
    const Run info = work.tool({"info", plugin.library, "--json"}, std::string(), true);
    REQUIRE_MESSAGE(info.status == 0, describe(info));
    std::ofstream(work / "info.json") << info.out;
    const Run parsed = work.run(kPython, {"-c",
                                          "import json, sys; d = json.load(open(sys.argv[1])); "
                                          "print(d['inputs'], d['outputs'], len(d['parameters']), "
                                          "sum(1 for p in d['parameters'] if p['name'].strip()))",
                                          work / "info.json"});
    REQUIRE_MESSAGE(parsed.status == 0, describe(parsed));
    int inputs = 0, outputs = 0, params = 0, named = 0;
    std::istringstream(parsed.out) >> inputs >> outputs >> params >> named;
    CHECK(inputs >= 1);
    CHECK(outputs >= 1);
    CHECK(params > 0);
    CHECK(named == params);

    const AudioData input = testSignal(inputs, 20000);
    writeAudio(work / "in.wav", input);
    std::vector<std::string> args = {"render",         plugin.library, work / "in.wav", "-o",
                                     work / "out.wav", "--csv",        work / "out.csv"};
    if (plugin.setting != nullptr) {
      args.insert(args.end(), {"--set", plugin.setting});
    }
    const Run render = work.tool(args, std::string(), true);
    REQUIRE_MESSAGE(render.status == 0, describe(render));
    const AudioData output = readAudio(work / "out.wav");
    CHECK(output.channelCount() == outputs);
    CHECK(output.frames() == input.frames());
    bool finite = true, nonSilent = false;
    for (const auto &channel : output.channels) {
      for (float x : channel) {
        finite = finite && std::isfinite(x);
        nonSilent = nonSilent || x != 0.0f;
      }
    }
    CHECK(finite);
    CHECK(nonSilent);
  }
  MESSAGE(tested << " third-party plug-ins tested");
}

TEST_CASE("the demo writes its files and writes the same ones on every run") {
  Work work("demo");
  const Run first = work.tool({"demo", "--out", work / "one"});
  REQUIRE_MESSAGE(first.status == 0, describe(first));
  const Run second = work.tool({"demo", "--out", work / "two"});
  REQUIRE_MESSAGE(second.status == 0, describe(second));
  CHECK(first.out.find("Files in") != std::string::npos);

  const AudioData loop = readAudio(work / "one/drum-loop.wav");
  CHECK(loop.channelCount() == 1);
  CHECK(loop.frames() == 4 * 44100); // two bars at 120 BPM
  CHECK(readAudio(work / "one/qern-output.wav").channelCount() == 2);
  const AudioData routed = readAudio(work / "one/gain-output.wav");
  CHECK(routed.channelCount() == 8);
  CHECK(routed.frames() == loop.frames());
  readMidiWithMido(work, work / "one/qern-control-changes.mid");
  checkPng(work / "one/qern-plot.png");
  checkPng(work / "one/gain-plot.png");
  for (const char *name : {"drum-loop.wav", "qern-output.wav", "qern-control-changes.mid",
                           "qern-timeline.csv", "gain-output.wav", "gain-timeline.csv"}) {
    CAPTURE(name);
    CHECK(readText(work / (std::string("one/") + name)) ==
          readText(work / (std::string("two/") + name)));
  }
}
