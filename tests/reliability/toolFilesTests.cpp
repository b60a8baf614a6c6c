// The command-line tool on malformed audio files: truncated, wrong headers,
// no frames, huge channel counts, non-finite samples. Each either renders or
// fails with one clear line on standard error; it never crashes, and in the
// sanitizer build no sanitizer reports anything.
#include <doctest/doctest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<unsigned char>;

void put16(Bytes &b, uint32_t v) {
  b.push_back(static_cast<unsigned char>(v));
  b.push_back(static_cast<unsigned char>(v >> 8));
}
void put32(Bytes &b, uint32_t v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}
void putTag(Bytes &b, const char *tag) {
  for (int i = 0; i < 4; ++i) {
    b.push_back(static_cast<unsigned char>(tag[i]));
  }
}

// A WAV file whose every header field may lie.
struct Wav {
  uint16_t formatTag = 1; // 1 PCM, 3 float
  uint16_t channels = 2;
  uint32_t rate = 44100;
  uint16_t bits = 16;
  uint16_t blockAlign = 0;         // 0: channels × bits / 8
  uint32_t dataBytes = 0xFFFFFFFF; // 0xFFFFFFFF: the true size
  Bytes data;

  Bytes bytes() const {
    const uint16_t align =
        blockAlign != 0 ? blockAlign : static_cast<uint16_t>(channels * (bits / 8));
    Bytes b;
    putTag(b, "RIFF");
    put32(b, static_cast<uint32_t>(36 + data.size()));
    putTag(b, "WAVE");
    putTag(b, "fmt ");
    put32(b, 16);
    put16(b, formatTag);
    put16(b, channels);
    put32(b, rate);
    put32(b, rate * align);
    put16(b, align);
    put16(b, bits);
    putTag(b, "data");
    put32(b, dataBytes != 0xFFFFFFFF ? dataBytes : static_cast<uint32_t>(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    return b;
  }
};

Bytes pcm16(std::size_t samples) {
  Bytes b;
  for (std::size_t i = 0; i < samples; ++i) {
    put16(b, static_cast<uint32_t>(static_cast<int16_t>((i * 977) % 20000 - 10000)) & 0xFFFF);
  }
  return b;
}

Bytes float32(const std::vector<float> &samples) {
  Bytes b;
  for (float x : samples) {
    uint32_t bits;
    static_assert(sizeof bits == sizeof x, "float size");
    std::memcpy(&bits, &x, sizeof bits);
    put32(b, bits);
  }
  return b;
}

std::string readFile(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Run {
  int status = -1; // exit status, or -1 when the tool did not exit normally
  std::string err;
};

// The tool with its arguments; a sanitizer report exits with 86, not 1.
Run runTool(const fs::path &folder, const std::string &args) {
  const fs::path errFile = folder / "stderr.txt";
  const std::string command = "ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}exitcode=86\" "
                              "UBSAN_OPTIONS=\"${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}exitcode=86\" '" +
                              std::string(PLUGHOST_EXE) + "' " + args + " >/dev/null 2>'" +
                              errFile.string() + "'";
  const int raw = std::system(command.c_str());
  Run run;
  if (raw != -1 && WIFEXITED(raw)) {
    run.status = WEXITSTATUS(raw);
  }
  run.err = readFile(errFile);
  return run;
}

} // namespace

TEST_CASE("the tool on malformed audio files: a render or one clear error, never a crash") {
  const fs::path folder = fs::path(PLUGHOST_WORK) / "malformed-audio";
  fs::remove_all(folder);
  fs::create_directories(folder);

  Wav good;
  good.data = pcm16(2 * 1000);
  const Bytes goodBytes = good.bytes();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();

  struct Case {
    const char *name;
    Bytes bytes;
    const char *plugin;
  };
  std::vector<Case> cases;
  cases.push_back(
      {"data cut off mid-way", Bytes(goodBytes.begin(), goodBytes.begin() + 1001), QERN_LIBRARY});
  cases.push_back(
      {"header cut off", Bytes(goodBytes.begin(), goodBytes.begin() + 30), QERN_LIBRARY});
  cases.push_back(
      {"only the RIFF tag", Bytes(goodBytes.begin(), goodBytes.begin() + 4), QERN_LIBRARY});
  cases.push_back({"empty file", Bytes(), QERN_LIBRARY});
  {
    Bytes b = goodBytes;
    b[8] = 'X'; // WAVX
    cases.push_back({"wrong form type", b, QERN_LIBRARY});
  }
  {
    Bytes b = goodBytes;
    b[0] = 'R', b[1] = 'I', b[2] = 'F', b[3] = 'X'; // big-endian RIFX with little-endian fields
    cases.push_back({"wrong byte-order tag", b, QERN_LIBRARY});
  }
  {
    Wav w = good;
    w.dataBytes = 0x7FFFFFF0; // claims two gigabytes
    cases.push_back({"data size far beyond the file", w.bytes(), QERN_LIBRARY});
  }
  {
    Wav w;
    w.data.clear();
    cases.push_back({"zero frames", w.bytes(), QERN_LIBRARY});
  }
  {
    Wav w = good;
    w.channels = 0;
    w.blockAlign = 4;
    cases.push_back({"zero channels", w.bytes(), QERN_LIBRARY});
  }
  {
    Wav w = good;
    w.bits = 0;
    w.blockAlign = 4;
    cases.push_back({"zero bits per sample", w.bytes(), QERN_LIBRARY});
  }
  {
    Wav w = good;
    w.rate = 0;
    cases.push_back({"zero sample rate", w.bytes(), QERN_LIBRARY});
  }
  {
    Wav w;
    w.channels = 65535;
    w.data = pcm16(65535);
    cases.push_back({"65535 channels", w.bytes(), QERN_LIBRARY});
  }
  {
    Wav w;
    w.channels = 1024;
    w.data = pcm16(1024 * 4);
    cases.push_back({"1024 channels", w.bytes(), QERN_LIBRARY});
  }
  {
    Wav w;
    w.channels = 300;
    w.blockAlign = 2; // lies: one sample per frame
    w.data = pcm16(600);
    cases.push_back({"300 channels, block align of one sample", w.bytes(), QERN_LIBRARY});
  }
  {
    Wav w;
    w.formatTag = 3;
    w.bits = 32;
    w.channels = 2;
    w.data = float32({nan, inf, -inf, 1e38f, -0.0f, 1e-45f, 3.0e38f, nan});
    cases.push_back({"float samples that are not finite", w.bytes(), QERN_LIBRARY});
  }
  {
    Wav w;
    w.formatTag = 3;
    w.bits = 32;
    w.channels = 1;
    w.data = float32({nan, inf, -inf, 1e38f, -0.0f, 1e-45f, 3.0e38f, nan, 0.5f, 0.25f});
    cases.push_back({"mono float samples that are not finite, into GAIN", w.bytes(), GAIN_LIBRARY});
  }

  int rendered = 0, refused = 0;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case &c = cases[i];
    INFO("case: " << c.name);
    const fs::path input = folder / ("input" + std::to_string(i) + ".wav");
    const fs::path output = folder / ("output" + std::to_string(i) + ".wav");
    {
      std::ofstream out(input, std::ios::binary);
      out.write(reinterpret_cast<const char *>(c.bytes.data()),
                static_cast<std::streamsize>(c.bytes.size()));
    }
    const std::string pluginPath = (fs::path(PLUGIN_FOLDER) / c.plugin).string();
    const Run run = runTool(folder, "render -q '" + pluginPath + "' '" + input.string() + "' -o '" +
                                        output.string() + "' --block 64");
    INFO("stderr: " << run.err);
    CHECK(run.err.find("Sanitizer") == std::string::npos);
    CHECK(run.err.find("runtime error") == std::string::npos);
    REQUIRE_MESSAGE((run.status == 0 || run.status == 1), "the tool did not end cleanly");
    if (run.status == 0) {
      ++rendered;
      CHECK(fs::exists(output));
    } else {
      ++refused;
      CHECK(run.err.rfind("plughost: error: ", 0) == 0);
      CHECK(std::count(run.err.begin(), run.err.end(), '\n') == 1);
      CHECK_FALSE(fs::exists(output));
    }
  }
  MESSAGE("rendered " << rendered << ", refused " << refused);
  CHECK(refused >= 8); // most of these files are not usable audio
}
