// QERN through our host code: identity, capabilities, the events request on
// resume, and the control changes the host receives while it processes.
#include "PluginFixture.h"

#include "framework/EffectRecord.h"
#include "framework/RequestCodes.h"

#include <cstdint>
#include <cstring>
#include <vector>

using namespace fw;

namespace {

// Two input and two output channels for one block.
struct StereoBlock {
  std::vector<float> in[2];
  std::vector<float> out[2];
  float *inputs[2]{};
  float *outputs[2]{};

  StereoBlock(int32_t frames, float sample, float outputStart = 0.0f) {
    for (int c = 0; c < 2; ++c) {
      in[c].assign(static_cast<std::size_t>(frames), sample);
      out[c].assign(static_cast<std::size_t>(frames), outputStart);
      inputs[c] = in[c].data();
      outputs[c] = out[c].data();
    }
  }
};

enum class Mode { Overwriting, Adding };

void play(LoadedPlugin &plugin, StereoBlock &block, Mode mode) {
  const auto frames = static_cast<int32_t>(block.in[0].size());
  if (mode == Mode::Overwriting) {
    plugin->processOverwriting(block.inputs, block.outputs, frames);
  } else {
    plugin->processAdding(block.inputs, block.outputs, frames);
  }
}

} // namespace

TEST_CASE("QERN answers its identity texts, version and capabilities") {
  LoadedPlugin plugin(QERN_LIBRARY);
  CHECK(plugin->text(kReqEffectName) == "Wendaro");
  CHECK(plugin->text(kReqVendorText) == "QERN");
  CHECK(plugin->text(kReqProductText) == "Ostrevin");
  CHECK(plugin->dispatch(kReqVendorVersion) == 1);
  CHECK(plugin->programName() == "Init 1");
  CHECK(plugin->paramDisplay(0) == "Cut-off");

  struct Case {
    const char *keyword;
    int32_t answer;
  };
  const Case cases[] = {
      {"sendVstMidiEvent", 1}, {"sendVstEvents", 1},
      {"receiveVstEvents", 1}, {"receiveVstMidiEvent", 1},
      {"sendVstTimeInfo", 0},  {"receivevstmidievent", 0},
      {"offline", 0},          {"receiveVstTimeInfo", 0},
  };
  for (const Case &c : cases) {
    CAPTURE(c.keyword);
    CHECK(plugin->capability(c.keyword) == c.answer);
  }
}

TEST_CASE("QERN asks for events once on every resume and never on suspend") {
  LoadedPlugin plugin(QERN_LIBRARY);
  plugin->setSampleRate(48000.0f);
  plugin->setBlockSize(64);
  CHECK(plugin->countRequests(kHostWantEvents) == 0);
  for (std::size_t n = 1; n <= 3; ++n) {
    plugin->resume();
    CHECK(plugin->countRequests(kHostWantEvents) == n);
    plugin->suspend();
    CHECK(plugin->countRequests(kHostWantEvents) == n);
  }
  for (const host::RecordedRequest &r : plugin->requests()) {
    if (r.code == kHostWantEvents) {
      CHECK(r.value == 1);
      CHECK(r.block == -1);
      CHECK(r.record == plugin->record());
    }
  }
}

TEST_CASE("QERN's control changes reach the host at the last frame of their block") {
  LoadedPlugin plugin(QERN_LIBRARY);
  plugin->resume();
  struct Step {
    int32_t frames;
    float sample;
    Mode mode;
    int level; // -1: no message
  };
  const Step steps[] = {
      {64, 0.0f, Mode::Overwriting, -1},     // silence: level 0, as after construction
      {64, 0.0625f, Mode::Overwriting, 111}, // 889 × 8 / 64
      {64, 0.0625f, Mode::Adding, -1},       // the same level
      {128, 0.125f, Mode::Adding, 127},      // clipped
      {1, 0.0f, Mode::Overwriting, 0},       {0, 0.0f, Mode::Overwriting, -1}, // level 0 again
      {256, 0.0625f, Mode::Adding, 111},     {0, 0.0f, Mode::Adding, 0},
  };
  std::vector<int64_t> expectedBlocks;
  std::vector<int> expectedLevels;
  int64_t block = 0;
  for (const Step &s : steps) {
    StereoBlock audio(s.frames, s.sample);
    play(plugin, audio, s.mode);
    if (s.level >= 0) {
      expectedBlocks.push_back(block);
      expectedLevels.push_back(s.level);
    }
    ++block;
  }

  const std::vector<host::ReceivedEvent> &events = plugin->events();
  REQUIRE(events.size() == expectedLevels.size());
  for (std::size_t n = 0; n < events.size(); ++n) {
    CAPTURE(n);
    const host::ReceivedEvent &e = events[n];
    CHECK(e.block == expectedBlocks[n]);
    CHECK(e.event.eventType == 1);
    CHECK(e.event.recordBytes == 24);
    CHECK(e.event.midiBytes[0] == 0xB0);
    CHECK(e.event.midiBytes[1] == 74);
    CHECK(e.event.midiBytes[2] == expectedLevels[n]);
    CHECK(e.event.midiBytes[3] == 0);
    // Inside the block: its last frame, or 0 for a block without frames.
    CHECK(e.event.frameOffset == (e.blockFrames > 0 ? e.blockFrames - 1 : 0));
    CHECK(e.event.frameOffset >= 0);
    CHECK((e.blockFrames == 0 || e.event.frameOffset < e.blockFrames));
  }
  CHECK(plugin->countRequests(kHostSendEvents) == events.size());
  CHECK(plugin->droppedRecords() == 0);
}

TEST_CASE("QERN follows its parameters: controller number and gain as the host sets them") {
  LoadedPlugin plugin(QERN_LIBRARY);
  plugin->setParam(0, 7.5f / 127.0f); // controller 7, "Volume"
  CHECK(plugin->paramDisplay(0) == "Volume");
  plugin->setParam(1, 0.5f);
  StereoBlock audio(64, 0.0625f);
  play(plugin, audio, Mode::Overwriting);
  REQUIRE(plugin->events().size() == 1);
  CHECK(plugin->events()[0].event.midiBytes[1] == 7);
  CHECK(plugin->events()[0].event.midiBytes[2] == 55);
  CHECK(plugin->getParam(1) == 0.5f);
}

TEST_CASE("QERN's processing entries: overwriting copies, adding adds") {
  LoadedPlugin plugin(QERN_LIBRARY);
  const uint32_t negativeZero = 0x80000000, signallingNaN = 0x7FA00001, denormal = 0x00000003;
  StereoBlock overwrite(8, 0.25f, 7.0f);
  std::memcpy(&overwrite.in[0][1], &negativeZero, 4);
  std::memcpy(&overwrite.in[1][2], &signallingNaN, 4);
  std::memcpy(&overwrite.in[1][3], &denormal, 4);
  play(plugin, overwrite, Mode::Overwriting);
  for (int c = 0; c < 2; ++c) {
    CHECK(std::memcmp(overwrite.out[c].data(), overwrite.in[c].data(), 8 * sizeof(float)) == 0);
  }

  StereoBlock add(8, 0.25f, 1.5f);
  add.in[1][5] = -2.0f;
  play(plugin, add, Mode::Adding);
  for (int c = 0; c < 2; ++c) {
    for (std::size_t i = 0; i < 8; ++i) {
      CAPTURE(c);
      CAPTURE(i);
      CHECK(add.out[c][i] == 1.5f + add.in[c][i]);
    }
  }
}

TEST_CASE("QERN with a host that refuses events offers each level once") {
  host::HostAnswers answers;
  answers.sendEvents = 0;
  LoadedPlugin plugin(QERN_LIBRARY, answers);
  StereoBlock loud(64, 0.0625f);
  play(plugin, loud, Mode::Overwriting);
  play(plugin, loud, Mode::Overwriting);
  CHECK(plugin->countRequests(kHostSendEvents) == 1);
  CHECK(plugin->events().empty());
  plugin->answers.sendEvents = 1;
  play(plugin, loud, Mode::Overwriting); // still level 111: not offered again
  CHECK(plugin->countRequests(kHostSendEvents) == 1);
  StereoBlock quiet(64, 0.0f);
  play(plugin, quiet, Mode::Overwriting);
  REQUIRE(plugin->events().size() == 1);
  CHECK(plugin->events()[0].event.midiBytes[2] == 0);
}
