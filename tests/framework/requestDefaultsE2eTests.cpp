// Requests 25 to 58 sent through our host code to the real plug-in libraries:
// what an effect does not override answers the framework's defaults.
#include "PluginFixture.h"

#include "framework/HostRecords.h"
#include "framework/RequestCodes.h"

#include <cstring>
#include <initializer_list>
#include <set>

using namespace fw;

namespace {

struct DefaultCase {
  int32_t code, index;
  IntPtr value;
  float opt;
  IntPtr answer;
};

// Every request from 25 to 58 with the answer of the framework's default.
const DefaultCase kDefaults[] = {
    {25, 0, 0, 0.0f, 0}, {26, 0, 0, 0.0f, 1}, {26, 1000, 0, 0.0f, 1}, {27, 0, 0, 0.0f, 0},
    {28, 0, 0, 0.0f, 1}, {29, 0, 0, 0.0f, 0}, {30, 1, 0, 0.0f, 0},    {31, 0, 1, 0.0f, 1},
    {32, 0, 1, 0.0f, 1}, {33, 0, 0, 0.0f, 0}, {34, 0, 0, 0.0f, 0},    {35, 0, 0, 0.0f, 0},
    {36, 0, 0, 0.0f, 0}, {37, 0, 0, 0.0f, 0}, {38, 1, 1, 0.0f, 0},    {39, 0, 1, 0.0f, 0},
    {40, 0, 1, 0.0f, 0}, {41, 0, 0, 0.0f, 0}, {42, 0, 0, 0.0f, 0},    {43, 0, 512, 48000.0f, 1},
    {44, 0, 1, 0.0f, 0}, {45, 0, 0, 0.0f, 0}, {46, 0, 0, 0.0f, 0},    {47, 0, 0, 0.0f, 0},
    {48, 0, 0, 0.0f, 0}, {49, 0, 0, 0.0f, 0}, {50, 1, 2, 3.0f, 0},    {51, 0, 0, 0.0f, 0},
    {52, 0, 0, 0.0f, 0}, {53, 0, 0, 0.0f, 0}, {54, 0, 0, 0.0f, 0},    {55, 10, 20, 0.0f, 0},
    {56, 0, 0, 0.0f, 0}, {57, 0, 0, 0.0f, 1}, {58, 0, 0, 0.0f, 2},
};

// Sends each default case except the requests the effect answers itself; the
// buffer handed over in ptr must come back untouched.
void checkDefaults(const char *library, const std::set<int32_t> &overridden) {
  LoadedPlugin plugin(library);
  std::set<int32_t> checked;
  for (const auto &c : kDefaults) {
    if (overridden.count(c.code) != 0) {
      continue;
    }
    CAPTURE(library);
    CAPTURE(c.code);
    CAPTURE(c.index);
    // A text that is also a capability keyword, in a buffer large enough for
    // any record a request might carry.
    alignas(8) char buffer[256];
    std::memset(buffer, 0x5A, sizeof buffer);
    std::memcpy(buffer, "sendVstEvents", 14);
    char before[sizeof buffer];
    std::memcpy(before, buffer, sizeof buffer);
    CHECK(plugin->dispatch(c.code, c.index, c.value, buffer, c.opt) == c.answer);
    CHECK(std::memcmp(buffer, before, sizeof buffer) == 0);
    checked.insert(c.code);
  }
  for (int32_t code = 25; code <= 58; ++code) {
    CAPTURE(code);
    CHECK(checked.count(code) + overridden.count(code) == 1);
  }
  CHECK(plugin->close() == 1);
}

} // namespace

TEST_CASE("GAIN answers every request from 25 to 58 with the defaults") {
  checkDefaults(GAIN_LIBRARY, {});
}

TEST_CASE("QERN answers the requests it does not override with the defaults") {
  // Effect name, vendor, product, vendor version and capability are its own.
  checkDefaults(QERN_LIBRARY, {45, 47, 48, 49, 51});
}

TEST_CASE("request 25 with a list of events answers 0 and leaves the list alone") {
  for (const char *library : {GAIN_LIBRARY, QERN_LIBRARY}) {
    CAPTURE(library);
    LoadedPlugin plugin(library);
    MidiEventRecord event{};
    event.eventType = kEventTypeMidi;
    event.recordBytes = kMidiEventRecordBytes;
    event.midiBytes[0] = 0x90;
    event.midiBytes[1] = 60;
    event.midiBytes[2] = 100;
    EventList list{};
    list.eventCount = 1;
    list.events[0] = &event;
    const MidiEventRecord eventBefore = event;
    CHECK(plugin->dispatch(kReqEvents, 0, 0, &list, 0.0f) == 0);
    CHECK(list.eventCount == 1);
    CHECK(list.events[0] == &event);
    CHECK(std::memcmp(&event, &eventBefore, sizeof event) == 0);
  }
}

TEST_CASE("request 43 answers 1 and the effects keep working at the new settings") {
  for (const char *library : {GAIN_LIBRARY, QERN_LIBRARY}) {
    CAPTURE(library);
    LoadedPlugin plugin(library);
    CHECK(plugin->dispatch(kReqBlockSizeAndRate, 0, 512, nullptr, 48000.0f) == 1);
    CHECK(plugin->dispatch(kReqProtocolVersion) == 2);
    CHECK(plugin->dispatch(kReqIdentify) == fourCharCode('N', 'v', 'E', 'f'));
  }
}
