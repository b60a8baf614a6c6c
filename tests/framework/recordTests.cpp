// main, the record's five entries and the record as constructed. The plug-in
// entry is compiled into this program; createEffect below builds a probe
// effect that records what the entries hand it.
#include "framework/EffectBase.h"
#include "framework/PluginEntry.h"

#include <doctest/doctest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>

using namespace fw;

namespace {

// What the host callback saw; a plain C callback can only reach file state.
struct CallbackRecorder {
  int calls = 0;
  EffectRecord *record = nullptr;
  int32_t code = -1, index = -1;
  IntPtr value = -1;
  void *ptr = reinterpret_cast<void *>(1);
  float opt = -1.0f;
  IntPtr answer = 2400;
};
CallbackRecorder host;

IntPtr PLUGIN_CALL recordingHost(EffectRecord *record, int32_t code, int32_t index, IntPtr value,
                                 void *ptr, float opt) {
  ++host.calls;
  host.record = record;
  host.code = code;
  host.index = index;
  host.value = value;
  host.ptr = ptr;
  host.opt = opt;
  return host.answer;
}

// What the probe effect saw and answers.
struct ProbeState {
  bool refuseCreation = false;
  int created = 0;
  int destroyed = 0;
  EffectBase *lastCreated = nullptr;
  IntPtr requestAnswer = 0;
  int requests = 0;
  int32_t code = -1, index = -1;
  IntPtr value = -1;
  void *ptr = nullptr;
  float opt = -1.0f;
  int32_t paramIndex = -1;
  float paramValue = -1.0f;
  uint32_t getParamBits = 0;
  const char *process = nullptr;
  float **inputs = nullptr;
  float **outputs = nullptr;
  int32_t frames = -1;
};
ProbeState probe;

class ProbeEffect : public EffectBase {
public:
  explicit ProbeEffect(HostCallback h) : EffectBase(h, 16, 2) {}
  ~ProbeEffect() override { ++probe.destroyed; }

  IntPtr handleRequest(int32_t code, int32_t index, IntPtr value, void *ptr, float opt) override {
    ++probe.requests;
    probe.code = code;
    probe.index = index;
    probe.value = value;
    probe.ptr = ptr;
    probe.opt = opt;
    return probe.requestAnswer;
  }
  void setParamValue(int32_t index, float value) override {
    probe.paramIndex = index;
    probe.paramValue = value;
  }
  float getParamValue(int32_t index) override {
    probe.paramIndex = index;
    float value;
    std::memcpy(&value, &probe.getParamBits, sizeof value);
    return value;
  }
  void processAdding(float **inputs, float **outputs, int32_t frames) override {
    noteProcess("adding", inputs, outputs, frames);
  }
  void processOverwriting(float **inputs, float **outputs, int32_t frames) override {
    noteProcess("overwriting", inputs, outputs, frames);
  }

private:
  static void noteProcess(const char *which, float **inputs, float **outputs, int32_t frames) {
    probe.process = which;
    probe.inputs = inputs;
    probe.outputs = outputs;
    probe.frames = frames;
  }
};

// A bare effect for the record as the constructor leaves it.
class BareEffect : public EffectBase {
public:
  BareEffect() : EffectBase(nullptr, 16, 2) {}
  void processAdding(float **, float **, int32_t) override {}
};

// A value that needs every bit of a pointer: above 32 bits on 64-bit targets,
// with the sign bit set on 32-bit ones. Never followed.
const IntPtr kWideValue =
    static_cast<IntPtr>(sizeof(void *) == 8 ? INT64_C(0x123456789ABCDEF0) : INT32_MIN + 0x09ABCDEF);

void resetRecorders(IntPtr versionAnswer) {
  host = CallbackRecorder{};
  host.answer = versionAnswer;
  probe = ProbeState{};
}

int32_t int32At(const EffectRecord *record, std::size_t offset) {
  int32_t v;
  std::memcpy(&v, reinterpret_cast<const unsigned char *>(record) + offset, sizeof v);
  return v;
}

// Opens a probe effect through main; the test closes it.
EffectRecord *openProbe() {
  resetRecorders(1);
  EffectRecord *record = pluginMain(recordingHost);
  REQUIRE(record != nullptr);
  return record;
}

} // namespace

EffectBase *fw::createEffect(HostCallback h) {
  if (probe.refuseCreation) {
    return nullptr;
  }
  ++probe.created;
  probe.lastCreated = new ProbeEffect(h);
  return probe.lastCreated;
}

TEST_CASE("main asks for the host version first and gives up when the answer is 0") {
  resetRecorders(0);
  CHECK(pluginMain(recordingHost) == nullptr);
  CHECK(host.calls == 1);
  CHECK(host.record == nullptr);
  CHECK(host.code == kHostGetVersion);
  CHECK(host.index == 0);
  CHECK(host.value == 0);
  CHECK(host.ptr == nullptr);
  CHECK(host.opt == 0.0f);
  CHECK(probe.created == 0);
}

TEST_CASE("main accepts any non-zero version and returns the new effect's record") {
  for (IntPtr version : {IntPtr{1}, IntPtr{2}, IntPtr{2400}, IntPtr{-1}}) {
    CAPTURE(version);
    resetRecorders(version);
    EffectRecord *record = pluginMain(recordingHost);
    REQUIRE(record != nullptr);
    CHECK(host.calls == 1); // only the version probe
    CHECK(probe.created == 1);
    CHECK(record->magic == 0x56737450);
    CHECK(record->effectObject == probe.lastCreated);
    CHECK(record == probe.lastCreated->effectRecord());
    CHECK(record->dispatchEntry(record, kReqClose, 0, 0, nullptr, 0.0f) == 1);
  }
}

TEST_CASE("main with no callback at all returns null and creates nothing") {
  resetRecorders(1);
  CHECK(pluginMain(nullptr) == nullptr);
  CHECK(probe.created == 0);
}

TEST_CASE("main returns null when the effect cannot be created") {
  resetRecorders(1);
  probe.refuseCreation = true;
  CHECK(pluginMain(recordingHost) == nullptr);
  CHECK(host.calls == 1);
}

TEST_CASE("a fresh record holds the construction values, byte for byte") {
  BareEffect effect;
  const EffectRecord *r = effect.effectRecord();
  const auto *bytes = reinterpret_cast<const unsigned char *>(r);
  const unsigned char magicBytes[4] = {0x50, 0x74, 0x73, 0x56};
  CHECK(std::memcmp(bytes, magicBytes, 4) == 0);

  // Offsets of the int32 fields for 4-byte and 8-byte pointers.
  const bool wide = sizeof(void *) == 8;
  struct Field {
    const char *name;
    std::size_t offset32, offset64;
    int32_t expected;
  };
  const Field fields[] = {
      {"programCount", 20, 40, 16},
      {"paramCount", 24, 44, 2},
      {"inputCount", 28, 48, 1},
      {"outputCount", 32, 52, 2},
      {"flags", 36, 56, 0},
      {"delaySamples", 48, 80, 0},
      {"realtimeQuality", 52, 84, 0},
      {"offlineQuality", 56, 88, 0},
      {"inOutRatio", 60, 92, 0x3F800000},
      {"effectId", 72, 112, 0x4E6F4566},
      {"effectVersion", 76, 116, 1},
  };
  for (const auto &f : fields) {
    CAPTURE(f.name);
    CHECK(int32At(r, wide ? f.offset64 : f.offset32) == f.expected);
  }
  CHECK(r->inOutRatio == 1.0f);
  CHECK(r->reservedA == 0);
  CHECK(r->reservedB == 0);
  CHECK(r->effectObject == &effect);
  CHECK(r->userData == nullptr);
  CHECK((r->dispatchEntry != nullptr));
  CHECK((r->processEntry != nullptr));
  CHECK((r->setParamEntry != nullptr));
  CHECK((r->getParamEntry != nullptr));
  CHECK((r->overwritingEntry != nullptr));
  CHECK(reinterpret_cast<void *>(r->overwritingEntry) != reinterpret_cast<void *>(r->processEntry));

  // The reserved tail (bytes 84 to 143 on the 32-bit layout) is all zero.
  CHECK(reinterpret_cast<const unsigned char *>(r->reservedTail) - bytes == (wide ? 128 : 84));
  CHECK(sizeof(EffectRecord) - (wide ? 128 : 84) == sizeof r->reservedTail);
  for (unsigned char b : r->reservedTail) {
    CHECK(b == 0);
  }
}

TEST_CASE("the dispatcher entry hands every code but close to handleRequest unchanged") {
  EffectRecord *record = openProbe();
  char buffer[4];
  struct Case {
    int32_t code, index;
    IntPtr value;
    void *ptr;
    float opt;
    IntPtr answer;
  };
  const Case cases[] = {
      {0, 0, 0, nullptr, 0.0f, 0},
      {kReqGetProgram, 3, 9, nullptr, 0.5f, 7},
      {kReqParamName, 1, 0, buffer, 0.0f, -1},
      {kReqIdentify, -4, -8, buffer, -2.5f, 0x4E764566},
      {-1, 5, 6, nullptr, 1.0f, -123456},
      {59, 0, 0, nullptr, 0.0f, 0},
      {1000000, 2, 3, buffer, 3.0f, 0x7FFFFFFF},
      // Pointers travel in value and in the answer (requests 42 and 54):
      // the entry keeps their full width.
      {kReqSpeakerArrangement, 0, kWideValue, buffer, 0.0f, 0},
      {kReqIcon, 0, 0, nullptr, 0.0f, kWideValue},
  };
  for (const auto &c : cases) {
    CAPTURE(c.code);
    probe.requests = 0;
    probe.requestAnswer = c.answer;
    CHECK(record->dispatchEntry(record, c.code, c.index, c.value, c.ptr, c.opt) == c.answer);
    CHECK(probe.requests == 1);
    CHECK(probe.code == c.code);
    CHECK(probe.index == c.index);
    CHECK(probe.value == c.value);
    CHECK(probe.ptr == c.ptr);
    CHECK(probe.opt == c.opt);
  }
  CHECK(probe.destroyed == 0);
  record->dispatchEntry(record, kReqClose, 0, 0, nullptr, 0.0f);
}

TEST_CASE("close answers 1 whatever handleRequest answers and destroys the effect") {
  for (IntPtr answer : {IntPtr{0}, IntPtr{1}, IntPtr{5}, IntPtr{-1}}) {
    CAPTURE(answer);
    EffectRecord *record = openProbe();
    probe.requestAnswer = answer;
    char text[2];
    CHECK(record->dispatchEntry(record, kReqClose, 4, 5, text, 6.0f) == 1);
    CHECK(probe.requests == 1); // handleRequest saw the close first
    CHECK(probe.code == kReqClose);
    CHECK(probe.index == 4);
    CHECK(probe.value == 5);
    CHECK(probe.ptr == text);
    CHECK(probe.opt == 6.0f);
    CHECK(probe.destroyed == 1);
  }
}

TEST_CASE("the parameter and processing entries forward their arguments") {
  EffectRecord *record = openProbe();

  record->setParamEntry(record, 1, 0.25f);
  CHECK(probe.paramIndex == 1);
  CHECK(probe.paramValue == 0.25f);
  record->setParamEntry(record, -3, 7.5f); // no range check in the entry
  CHECK(probe.paramIndex == -3);
  CHECK(probe.paramValue == 7.5f);

  float left[4] = {}, right[4] = {};
  float *inputs[2] = {left, right};
  float *outputs[2] = {right, left};
  struct Case {
    ProcessEntry entry;
    const char *operation;
    int32_t frames;
  };
  const Case cases[] = {{record->processEntry, "adding", 4},
                        {record->overwritingEntry, "overwriting", 3}};
  for (const auto &c : cases) {
    CAPTURE(c.operation);
    probe.process = nullptr;
    c.entry(record, inputs, outputs, c.frames);
    REQUIRE(probe.process != nullptr);
    CHECK(std::strcmp(probe.process, c.operation) == 0);
    CHECK(probe.inputs == inputs);
    CHECK(probe.outputs == outputs);
    CHECK(probe.frames == c.frames);
  }
  record->dispatchEntry(record, kReqClose, 0, 0, nullptr, 0.0f);
}

TEST_CASE("the parameter getter entry returns the operation's float bit for bit") {
  EffectRecord *record = openProbe();
  const uint32_t patterns[] = {
      0x3F000000u, // 0.5
      0x80000000u, // -0.0
      0x00000001u, // smallest subnormal
      0x7F7FFFFFu, // largest finite
      0xFF800000u, // -infinity
      0x7FC12345u, // quiet NaN with a payload
  };
  for (uint32_t bits : patterns) {
    CAPTURE(bits);
    probe.getParamBits = bits;
    const float got = record->getParamEntry(record, 7);
    uint32_t gotBits;
    std::memcpy(&gotBits, &got, sizeof gotBits);
    CHECK(gotBits == bits);
    CHECK(probe.paramIndex == 7);
  }
  record->dispatchEntry(record, kReqClose, 0, 0, nullptr, 0.0f);
}

TEST_CASE("several effects from main share nothing") {
  resetRecorders(1);
  EffectRecord *a = pluginMain(recordingHost);
  EffectBase *first = probe.lastCreated;
  EffectRecord *b = pluginMain(recordingHost);
  REQUIRE(a != nullptr);
  REQUIRE(b != nullptr);
  CHECK(a != b);
  CHECK(a->effectObject == first);
  CHECK(b->effectObject == probe.lastCreated);
  CHECK(a->dispatchEntry(a, kReqClose, 0, 0, nullptr, 0.0f) == 1);
  CHECK(probe.destroyed == 1);
  probe.requestAnswer = 42;
  CHECK(b->dispatchEntry(b, kReqGetProgram, 0, 0, nullptr, 0.0f) == 42);
  CHECK(b->dispatchEntry(b, kReqClose, 0, 0, nullptr, 0.0f) == 1);
  CHECK(probe.destroyed == 2);
}
