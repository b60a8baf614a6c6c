// Lifecycle: thousands of instances come and go, several alive at once, and
// no instance ever sees another's parameters, programs, names or audio.
#include "Blocks.h"
#include "PluginFixture.h"

#include <array>
#include <memory>
#include <string>

using namespace fw;
using reliability::Blocks;

namespace {

std::unique_ptr<host::PluginLibrary> loadLibrary(const char *file) {
  std::string error;
  auto library = host::PluginLibrary::load(file, error);
  REQUIRE_MESSAGE(library != nullptr, error);
  return library;
}

std::unique_ptr<host::PluginInstance> openInstance(host::PluginLibrary &library) {
  std::string error;
  auto instance = host::PluginInstance::open(library.mainFunction(), error, {}, 16);
  REQUIRE_MESSAGE(instance != nullptr, error);
  return instance;
}

// The one parameter both effects store as given: QERN's gain, GAIN's decay.
constexpr int32_t kSharedIndex = 1;

} // namespace

TEST_CASE("10,000 instances opened, driven and closed, eight alive at a time") {
  auto qern = loadLibrary(QERN_LIBRARY);
  auto gain = loadLibrary(GAIN_LIBRARY);
  struct Slot {
    std::unique_ptr<host::PluginInstance> instance;
    float value = 0.0f; // what this instance's shared parameter must read
    int number = 0;
  };
  std::array<Slot, 8> slots;
  Blocks qernBlocks(2, 2, 64), gainBlocks(1, 8, 64);
  qernBlocks.fillInputs(0.25f);
  gainBlocks.fillInputs(0.25f);
  int mismatches = 0;
  auto retire = [&](Slot &slot) {
    if (slot.instance == nullptr) {
      return;
    }
    if (slot.instance->getParam(kSharedIndex) != slot.value) {
      ++mismatches;
      INFO("instance " << slot.number << " lost its own parameter value");
      CHECK(slot.instance->getParam(kSharedIndex) == slot.value);
    }
    CHECK(slot.instance->close() == 1);
    slot.instance.reset();
  };

  for (int i = 0; i < 10000; ++i) {
    Slot &slot = slots[static_cast<std::size_t>(i) % slots.size()];
    retire(slot);
    const bool isQern = i % 2 == 0;
    slot.instance = openInstance(isQern ? *qern : *gain);
    slot.number = i;
    slot.value = static_cast<float>(i % 1000) / 1000.0f;
    host::PluginInstance &p = *slot.instance;
    Blocks &b = isQern ? qernBlocks : gainBlocks;
    p.setSampleRate(48000.0f);
    p.setBlockSize(64);
    if (i % 3 != 0) {
      p.resume(); // a third of them are processed without a resume
    }
    p.dispatch(kReqSetProgram, 0, i % 16); // first: QERN's programs carry their own values
    p.setParam(kSharedIndex, slot.value);
    p.processOverwriting(b.inputs(), b.outputs(), 64);
    p.processAdding(b.inputs(), b.outputs(), 64);
    p.processOverwriting(b.inputs(), b.outputs(), i % 65);
    if (i % 5 == 0) {
      p.suspend();
    }
  }
  for (Slot &slot : slots) {
    retire(slot);
  }
  CHECK(mismatches == 0);
}

TEST_CASE("two QERN instances keep their own programs, names, parameters and messages") {
  LoadedPlugin a(QERN_LIBRARY), b(QERN_LIBRARY);
  const float controller10 = 10.5f / 127.0f, controller20 = 20.5f / 127.0f;
  a->dispatch(kReqSetProgram, 0, 3);
  b->dispatch(kReqSetProgram, 0, 7);
  char nameA[] = "Alpha", nameB[] = "Beta";
  a->dispatch(kReqSetProgramName, 0, 0, nameA);
  b->dispatch(kReqSetProgramName, 0, 0, nameB);
  a->setParam(0, controller10);
  b->setParam(0, controller20);
  a->setParam(1, 1.0f);
  b->setParam(1, 0.5f);

  CHECK(a->dispatch(kReqGetProgram) == 3);
  CHECK(b->dispatch(kReqGetProgram) == 7);
  CHECK(a->programName() == "Alpha");
  CHECK(b->programName() == "Beta");
  CHECK(a->getParam(0) == controller10);
  CHECK(b->getParam(0) == controller20);
  CHECK(a->getParam(1) == 1.0f);
  CHECK(b->getParam(1) == 0.5f);
  // Program 3 of the other instance was never renamed.
  b->dispatch(kReqSetProgram, 0, 3);
  CHECK(b->programName() == "Init 4");
  b->dispatch(kReqSetProgram, 0, 7);
  CHECK(b->programName() == "Beta");

  // Interleaved blocks: 64 frames of 0.0625 on both channels, level 111 × gain.
  Blocks blocks(2, 2, 64);
  for (int round = 0; round < 3; ++round) {
    blocks.fillInputs(round == 1 ? 0.0f : 0.0625f);
    a->processOverwriting(blocks.inputs(), blocks.outputs(), 64);
    b->processOverwriting(blocks.inputs(), blocks.outputs(), 64);
  }
  REQUIRE(a->events().size() == 3);
  REQUIRE(b->events().size() == 3);
  const int expectedA[] = {111, 0, 111}, expectedB[] = {55, 0, 55};
  for (int i = 0; i < 3; ++i) {
    CAPTURE(i);
    CHECK(a->events()[i].event.midiBytes[1] == 10);
    CHECK(a->events()[i].event.midiBytes[2] == expectedA[i]);
    CHECK(b->events()[i].event.midiBytes[1] == 20);
    CHECK(b->events()[i].event.midiBytes[2] == expectedB[i]);
  }
}

TEST_CASE("two GAIN instances keep their own parameters, names and routing") {
  LoadedPlugin a(GAIN_LIBRARY), b(GAIN_LIBRARY);
  // No attack: the envelope stays at 0, so the level is floor × gain.
  for (auto *p : {&a, &b}) {
    (*p)->setParam(0, 0.0f);
    (*p)->setParam(4, 1.0f);
  }
  a->setParam(3, 0.5f);
  b->setParam(3, 0.25f);
  a->setParam(5, 2.5f / 7.0f); // first and last out 3
  a->setParam(6, 2.5f / 7.0f);
  b->setParam(5, 5.5f / 7.0f); // first and last out 6
  b->setParam(6, 5.5f / 7.0f);
  char name[] = "RouterA";
  a->dispatch(kReqSetProgramName, 0, 0, name);

  CHECK(a->programName() == "RouterA");
  CHECK(b->programName() == "Default");
  CHECK(a->getParam(3) == 0.5f);
  CHECK(b->getParam(3) == 0.25f);
  CHECK(a->paramDisplay(5) == "      3");
  CHECK(b->paramDisplay(5) == "      6");

  Blocks ba(1, 8, 64), bb(1, 8, 64);
  ba.fillInputs(1.0f);
  bb.fillInputs(1.0f);
  for (int round = 0; round < 4; ++round) {
    a->processOverwriting(ba.inputs(), ba.outputs(), 64);
    b->processOverwriting(bb.inputs(), bb.outputs(), 64);
    CAPTURE(round);
    for (int o = 0; o < 8; ++o) {
      CAPTURE(o);
      CHECK(ba.out[o][63] == (o == 2 ? 0.5f : 0.0f));
      CHECK(bb.out[o][63] == (o == 5 ? 0.25f : 0.0f));
    }
  }
}
