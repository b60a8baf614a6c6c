// EffectBaseEx: the dispatcher for requests 25 to 58, the defaults of its
// operations, its hand-over to the base dispatcher and its flag setters.
#include "framework/EffectBaseEx.h"

#include <doctest/doctest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <string>

using namespace fw;

namespace {

// A pointer value that needs every bit of a pointer: above 32 bits on 64-bit
// targets, with the sign bit set on 32-bit ones. Never followed.
void *const kWidePointer = reinterpret_cast<void *>(
    static_cast<uintptr_t>(sizeof(void *) == 8 ? UINT64_C(0x123456789ABCDEF0) : 0x89ABCDEFu));
const IntPtr kWideValue = reinterpret_cast<IntPtr>(kWidePointer);

char textBuffer[16];
void *const kText = textBuffer;

// One call of an operation: its name and its arguments in order.
struct Call {
  std::string operation;
  IntPtr a = 0;
  IntPtr b = 0;
  void *ptr = nullptr;
  float f = 0.0f;
  bool flag = false;
};

bool operator==(const Call &x, const Call &y) {
  return x.operation == y.operation && x.a == y.a && x.b == y.b && x.ptr == y.ptr && x.f == y.f &&
         x.flag == y.flag;
}

doctest::String toString(const Call &c) {
  return (c.operation + "(" + std::to_string(c.a) + ", " + std::to_string(c.b) + ", " +
          std::to_string(reinterpret_cast<uintptr_t>(c.ptr)) + ", " + std::to_string(c.f) + ", " +
          (c.flag ? "true" : "false") + ")")
      .c_str();
}

// Overrides every operation that requests 25 to 58 reach; records the call and
// answers with the result chosen by the test.
class RecordingEffect : public EffectBaseEx {
public:
  RecordingEffect() : EffectBaseEx(nullptr, 16, 2) {}
  void processAdding(float **, float **, int32_t) override {}

  int calls = 0;
  Call last;
  bool boolResult = false;
  int32_t intResult = 0;
  void *pointerResult = nullptr;

  int32_t receiveEvents(EventList *list) override { return noteInt({"receiveEvents", 0, 0, list}); }
  bool isParamAutomatable(int32_t i) override { return noteBool({"isParamAutomatable", i}); }
  bool textToParam(int32_t i, char *t) override { return noteBool({"textToParam", i, 0, t}); }
  int32_t programCategoryCount() override { return noteInt({"programCategoryCount"}); }
  bool programNameAt(int32_t category, int32_t i, char *t) override {
    return noteBool({"programNameAt", category, i, t});
  }
  bool copyProgramTo(int32_t d) override { return noteBool({"copyProgramTo", d}); }
  void onInputConnection(int32_t i, bool on) override {
    note({"onInputConnection", i, 0, nullptr, 0.0f, on});
  }
  void onOutputConnection(int32_t i, bool on) override {
    note({"onOutputConnection", i, 0, nullptr, 0.0f, on});
  }
  bool inputPinProperties(int32_t i, void *p) override {
    return noteBool({"inputPinProperties", i, 0, p});
  }
  bool outputPinProperties(int32_t i, void *p) override {
    return noteBool({"outputPinProperties", i, 0, p});
  }
  int32_t effectCategory() override { return noteInt({"effectCategory"}); }
  int32_t asyncPosition() override { return noteInt({"asyncPosition"}); }
  float *asyncDestination() override {
    note({"asyncDestination"});
    return static_cast<float *>(pointerResult);
  }
  bool onOfflineNotify(void *files, int32_t count, bool start) override {
    return noteBool({"onOfflineNotify", count, 0, files, 0.0f, start});
  }
  bool onOfflinePrepare(void *tasks, int32_t count) override {
    return noteBool({"onOfflinePrepare", count, 0, tasks});
  }
  bool onOfflineRun(void *tasks, int32_t count) override {
    return noteBool({"onOfflineRun", count, 0, tasks});
  }
  bool onVariableIo(void *io) override { return noteBool({"onVariableIo", 0, 0, io}); }
  bool applySpeakerArrangement(void *input, void *output) override {
    return noteBool({"applySpeakerArrangement", reinterpret_cast<IntPtr>(input), 0, output});
  }
  void setBlockSizeAndRate(int32_t frames, float rate) override {
    note({"setBlockSizeAndRate", frames, 0, nullptr, rate});
  }
  bool setBypassed(bool on) override { return noteBool({"setBypassed", 0, 0, nullptr, 0.0f, on}); }
  bool effectNameText(char *t) override { return noteBool({"effectNameText", 0, 0, t}); }
  bool errorText(char *t) override { return noteBool({"errorText", 0, 0, t}); }
  bool vendorText(char *t) override { return noteBool({"vendorText", 0, 0, t}); }
  bool productText(char *t) override { return noteBool({"productText", 0, 0, t}); }
  int32_t vendorVersion() override { return noteInt({"vendorVersion"}); }
  int32_t vendorCall(int32_t i, IntPtr v, void *p, float o) override {
    return noteInt({"vendorCall", i, v, p, o});
  }
  int32_t answerCapability(char *k) override { return noteInt({"answerCapability", 0, 0, k}); }
  void *iconHandle() override {
    note({"iconHandle"});
    return pointerResult;
  }
  bool setEditorPosition(int32_t x, int32_t y) override {
    return noteBool({"setEditorPosition", x, y});
  }
  int32_t tailSampleCount() override { return noteInt({"tailSampleCount"}); }
  int32_t onIdle() override { return noteInt({"onIdle"}); }
  bool paramProperties(int32_t i, void *p) override {
    return noteBool({"paramProperties", i, 0, p});
  }
  bool needsKeys() override { return noteBool({"needsKeys"}); }
  int32_t protocolVersion() override { return noteInt({"protocolVersion"}); }

  // Reached by the base dispatcher.
  void onOpen() override { note({"onOpen"}); }

private:
  void note(const Call &c) {
    ++calls;
    last = c;
  }
  bool noteBool(const Call &c) {
    note(c);
    return boolResult;
  }
  int32_t noteInt(const Call &c) {
    note(c);
    return intResult;
  }
};

// Overrides nothing of EffectBaseEx.
class PlainEffect : public EffectBaseEx {
public:
  explicit PlainEffect(HostCallback h = nullptr) : EffectBaseEx(h, 16, 2) {}
  void processAdding(float **, float **, int32_t) override {}
  uint32_t flags() const { return record.flags; }
  void setFlags(uint32_t f) { record.flags = f; }
};

enum class Result { Bool, Int, Pointer, Always1, Inverted };

// One request: its fields, the call it must make, and how the answer follows
// from the operation's result.
struct RequestCase {
  int32_t code, index;
  IntPtr value;
  void *ptr;
  float opt;
  Call expected;
  Result result;
};

const RequestCase kRequests[] = {
    {25, 0, 0, kText, 0.0f, {"receiveEvents", 0, 0, kText}, Result::Int},
    {26, 1000, 0, nullptr, 0.0f, {"isParamAutomatable", 1000}, Result::Bool},
    {27, 1, 0, kText, 0.0f, {"textToParam", 1, 0, kText}, Result::Bool},
    {28, 0, 0, nullptr, 0.0f, {"programCategoryCount"}, Result::Int},
    {29, 4, 2, kText, 0.0f, {"programNameAt", 2, 4, kText}, Result::Bool},
    {30, 7, 0, nullptr, 0.0f, {"copyProgramTo", 7}, Result::Bool},
    {31, 1, 5, nullptr, 0.0f, {"onInputConnection", 1, 0, nullptr, 0.0f, true}, Result::Always1},
    {31, 1, 0, nullptr, 0.0f, {"onInputConnection", 1, 0, nullptr, 0.0f, false}, Result::Always1},
    {32, 3, -1, nullptr, 0.0f, {"onOutputConnection", 3, 0, nullptr, 0.0f, true}, Result::Always1},
    {32, 3, 0, nullptr, 0.0f, {"onOutputConnection", 3, 0, nullptr, 0.0f, false}, Result::Always1},
    {33, 1, 0, kText, 0.0f, {"inputPinProperties", 1, 0, kText}, Result::Bool},
    {34, 6, 0, kText, 0.0f, {"outputPinProperties", 6, 0, kText}, Result::Bool},
    {35, 0, 0, nullptr, 0.0f, {"effectCategory"}, Result::Int},
    {36, 0, 0, nullptr, 0.0f, {"asyncPosition"}, Result::Int},
    {37, 0, 0, nullptr, 0.0f, {"asyncDestination"}, Result::Pointer},
    {38, 7, 3, kText, 0.0f, {"onOfflineNotify", 3, 0, kText, 0.0f, true}, Result::Bool},
    {38, 0, 3, kText, 0.0f, {"onOfflineNotify", 3, 0, kText, 0.0f, false}, Result::Bool},
    {39, 0, 2, kText, 0.0f, {"onOfflinePrepare", 2, 0, kText}, Result::Bool},
    {40, 0, 4, kText, 0.0f, {"onOfflineRun", 4, 0, kText}, Result::Bool},
    {41, 0, 0, kText, 0.0f, {"onVariableIo", 0, 0, kText}, Result::Bool},
    {42,
     0,
     kWideValue,
     kText,
     0.0f,
     {"applySpeakerArrangement", kWideValue, 0, kText},
     Result::Bool},
    {43,
     0,
     512,
     nullptr,
     48000.0f,
     {"setBlockSizeAndRate", 512, 0, nullptr, 48000.0f},
     Result::Always1},
    {44, 0, 5, nullptr, 0.0f, {"setBypassed", 0, 0, nullptr, 0.0f, true}, Result::Bool},
    {44, 0, 0, nullptr, 0.0f, {"setBypassed", 0, 0, nullptr, 0.0f, false}, Result::Bool},
    {45, 0, 0, kText, 0.0f, {"effectNameText", 0, 0, kText}, Result::Bool},
    {46, 0, 0, kText, 0.0f, {"errorText", 0, 0, kText}, Result::Bool},
    {47, 0, 0, kText, 0.0f, {"vendorText", 0, 0, kText}, Result::Bool},
    {48, 0, 0, kText, 0.0f, {"productText", 0, 0, kText}, Result::Bool},
    {49, 0, 0, nullptr, 0.0f, {"vendorVersion"}, Result::Int},
    {50, 9, kWideValue, kText, 2.5f, {"vendorCall", 9, kWideValue, kText, 2.5f}, Result::Int},
    {51, 0, 0, kText, 0.0f, {"answerCapability", 0, 0, kText}, Result::Int},
    {52, 0, 0, nullptr, 0.0f, {"tailSampleCount"}, Result::Int},
    {53, 0, 0, nullptr, 0.0f, {"onIdle"}, Result::Int},
    {54, 0, 0, nullptr, 0.0f, {"iconHandle"}, Result::Pointer},
    {55, 120, 80, nullptr, 0.0f, {"setEditorPosition", 120, 80}, Result::Bool},
    {56, 1, 0, kText, 0.0f, {"paramProperties", 1, 0, kText}, Result::Bool},
    {57, 0, 0, nullptr, 0.0f, {"needsKeys"}, Result::Inverted},
    {58, 0, 0, nullptr, 0.0f, {"protocolVersion"}, Result::Int},
};

} // namespace

TEST_CASE("requests 25 to 58 call their operation with the request's fields") {
  bool seen[59] = {};
  for (const auto &c : kRequests) {
    CAPTURE(c.code);
    CAPTURE(c.index);
    CAPTURE(c.value);
    seen[c.code] = true;
    RecordingEffect effect;
    effect.handleRequest(c.code, c.index, c.value, c.ptr, c.opt);
    CHECK(effect.calls == 1);
    CHECK(effect.last == c.expected);
  }
  for (int code = 25; code <= 58; ++code) {
    CAPTURE(code);
    CHECK(seen[code]);
  }
}

TEST_CASE("requests 25 to 58 turn the operation's result into the answer") {
  // Per kind of result: what the operation returns, and the answer expected.
  struct Outcome {
    bool boolResult;
    int32_t intResult;
    void *pointerResult;
    IntPtr answer;
  };
  const Outcome boolOutcomes[] = {{true, 0, nullptr, 1}, {false, 0, nullptr, 0}};
  const Outcome intOutcomes[] = {
      {false, 0, nullptr, 0},
      {false, 7, nullptr, 7},
      {false, -123456, nullptr, -123456},
      {false, std::numeric_limits<int32_t>::max(), nullptr, std::numeric_limits<int32_t>::max()}};
  const Outcome pointerOutcomes[] = {{false, 0, nullptr, 0},
                                     {false, 0, kWidePointer, kWideValue},
                                     {false, 0, kText, reinterpret_cast<IntPtr>(kText)}};
  const Outcome always1Outcomes[] = {{false, 0, nullptr, 1}, {true, -5, kText, 1}};
  const Outcome invertedOutcomes[] = {{false, 0, nullptr, 1}, {true, 0, nullptr, 0}};

  for (const auto &c : kRequests) {
    CAPTURE(c.code);
    const Outcome *begin = nullptr;
    std::size_t count = 0;
    switch (c.result) {
    case Result::Bool:
      begin = boolOutcomes, count = std::size(boolOutcomes);
      break;
    case Result::Int:
      begin = intOutcomes, count = std::size(intOutcomes);
      break;
    case Result::Pointer:
      begin = pointerOutcomes, count = std::size(pointerOutcomes);
      break;
    case Result::Always1:
      begin = always1Outcomes, count = std::size(always1Outcomes);
      break;
    case Result::Inverted:
      begin = invertedOutcomes, count = std::size(invertedOutcomes);
      break;
    }
    for (std::size_t i = 0; i < count; ++i) {
      const Outcome &o = begin[i];
      CAPTURE(i);
      RecordingEffect effect;
      effect.boolResult = o.boolResult;
      effect.intResult = o.intResult;
      effect.pointerResult = o.pointerResult;
      CHECK(effect.handleRequest(c.code, c.index, c.value, c.ptr, c.opt) == o.answer);
    }
  }
}

TEST_CASE("pointer answers and the pointer in value keep their full width") {
  if (sizeof(void *) == 8) {
    CHECK(reinterpret_cast<uintptr_t>(kWidePointer) > 0xFFFFFFFFu);
  }
  RecordingEffect effect;
  effect.pointerResult = kWidePointer;
  CHECK(effect.handleRequest(kReqIcon, 0, 0, nullptr, 0.0f) == kWideValue);
  CHECK(effect.handleRequest(kReqAsyncBuffer, 0, 0, nullptr, 0.0f) == kWideValue);
  effect.handleRequest(kReqSpeakerArrangement, 0, kWideValue, kText, 0.0f);
  CHECK(effect.last.a == kWideValue);
}

TEST_CASE("bool fields are true for any non-zero value") {
  // A value whose low 32 bits are zero is still non-zero where value is wide.
  const IntPtr highOnly = sizeof(IntPtr) == 8 ? static_cast<IntPtr>(INT64_C(1) << 40) : 0x40000000;
  const IntPtr values[] = {1, 5, -1, highOnly, std::numeric_limits<IntPtr>::min()};
  for (int32_t code : {31, 32, 44}) {
    for (IntPtr v : values) {
      CAPTURE(code);
      CAPTURE(v);
      RecordingEffect effect;
      effect.handleRequest(code, 0, v, nullptr, 0.0f);
      CHECK(effect.last.flag);
    }
  }
  // Request 38 takes its flag from index.
  for (int32_t index : {1, 7, -1, std::numeric_limits<int32_t>::min()}) {
    CAPTURE(index);
    RecordingEffect effect;
    effect.handleRequest(kReqOfflineNotify, index, 0, nullptr, 0.0f);
    CHECK(effect.last.flag);
  }
}

TEST_CASE("every other request goes to the base dispatcher unchanged") {
  RecordingEffect effect;
  CHECK(effect.handleRequest(kReqOpen, 0, 0, nullptr, 0.0f) == 0);
  CHECK(effect.last.operation == "onOpen");
  CHECK(effect.calls == 1);
  CHECK(effect.handleRequest(kReqIdentify, 0, 0, nullptr, 0.0f) == 0x4E764566);
  for (int32_t code : {59, 60, -1, 24 + 35, std::numeric_limits<int32_t>::max(),
                       std::numeric_limits<int32_t>::min()}) {
    CAPTURE(code);
    CHECK(effect.handleRequest(code, 1, 2, kText, 3.0f) == 0);
  }
  CHECK(effect.calls == 1);

  PlainEffect plain;
  plain.handleRequest(kReqSetProgram, 0, 5, nullptr, 0.0f);
  CHECK(plain.handleRequest(kReqGetProgram, 0, 0, nullptr, 0.0f) == 5);
}

namespace {

// An effect with its own dispatcher that forwards to EffectBaseEx's: the base
// dispatcher must be reached directly, or this would call itself without end.
class ForwardingEffect : public EffectBaseEx {
public:
  ForwardingEffect() : EffectBaseEx(nullptr, 4, 1) {}
  void processAdding(float **, float **, int32_t) override {}
  IntPtr handleRequest(int32_t code, int32_t index, IntPtr value, void *ptr, float opt) override {
    if (++depth > 1) {
      --depth;
      return -999; // re-entered: the hand-over went through the virtual table
    }
    const IntPtr answer = EffectBaseEx::handleRequest(code, index, value, ptr, opt);
    --depth;
    return answer;
  }
  int depth = 0;
};

} // namespace

TEST_CASE("the hand-over to the base dispatcher is a direct call") {
  ForwardingEffect effect;
  CHECK(effect.handleRequest(kReqIdentify, 0, 0, nullptr, 0.0f) == 0x4E764566);
  CHECK(effect.handleRequest(kReqGetProgram, 0, 0, nullptr, 0.0f) == 0);
  CHECK(effect.handleRequest(59, 0, 0, nullptr, 0.0f) == 0);
  CHECK(effect.handleRequest(kReqProtocolVersion, 0, 0, nullptr, 0.0f) == 2);
}

TEST_CASE("the defaults of an effect that overrides nothing") {
  struct Case {
    int32_t code, index;
    IntPtr value;
    IntPtr answer;
  };
  const Case cases[] = {
      {25, 0, 0, 0}, {26, 0, 0, 1}, {26, 1000, 0, 1}, {26, -1, 0, 1}, {27, 0, 0, 0}, {28, 0, 0, 1},
      {29, 0, 0, 0}, {30, 3, 0, 0}, {31, 0, 1, 1},    {32, 0, 1, 1},  {33, 0, 0, 0}, {34, 0, 0, 0},
      {35, 0, 0, 0}, {36, 0, 0, 0}, {37, 0, 0, 0},    {38, 1, 1, 0},  {39, 0, 1, 0}, {40, 0, 1, 0},
      {41, 0, 0, 0}, {42, 0, 0, 0}, {43, 0, 512, 1},  {44, 0, 1, 0},  {45, 0, 0, 0}, {46, 0, 0, 0},
      {47, 0, 0, 0}, {48, 0, 0, 0}, {49, 0, 0, 0},    {50, 1, 2, 0},  {51, 0, 0, 0}, {52, 0, 0, 0},
      {53, 0, 0, 0}, {54, 0, 0, 0}, {55, 10, 20, 0},  {56, 0, 0, 0},  {57, 0, 0, 1}, {58, 0, 0, 2},
  };
  for (const auto &c : cases) {
    CAPTURE(c.code);
    CAPTURE(c.index);
    PlainEffect effect;
    // Texts and records handed over are neither read nor written.
    char buffer[32];
    std::memset(buffer, 0x5A, sizeof buffer);
    std::memcpy(buffer, "sendVstEvents", 14);
    char before[32];
    std::memcpy(before, buffer, sizeof before);
    CHECK(effect.handleRequest(c.code, c.index, c.value, buffer, 48000.0f) == c.answer);
    CHECK(std::memcmp(buffer, before, sizeof buffer) == 0);
  }
}

TEST_CASE("request 35 answers 2 while the instrument flag is set") {
  PlainEffect effect;
  CHECK(effect.handleRequest(kReqCategory, 0, 0, nullptr, 0.0f) == 0);
  effect.setInstrumentFlag(true);
  CHECK(effect.handleRequest(kReqCategory, 0, 0, nullptr, 0.0f) == 2);
  effect.setInstrumentFlag(false);
  CHECK(effect.handleRequest(kReqCategory, 0, 0, nullptr, 0.0f) == 0);
  // Other bits do not make an instrument.
  effect.setFlags(0xFFFFFFFFu & ~kFlagInstrument);
  CHECK(effect.handleRequest(kReqCategory, 0, 0, nullptr, 0.0f) == 0);
}

namespace {

// Counts the base class's change operations, which request 43 bypasses.
class ChangeWatchingEffect : public EffectBaseEx {
public:
  ChangeWatchingEffect() : EffectBaseEx(nullptr, 1, 1) {}
  void processAdding(float **, float **, int32_t) override {}
  void changeSampleRate(float rate) override {
    ++changes;
    EffectBaseEx::changeSampleRate(rate);
  }
  void changeBlockSize(int32_t frames) override {
    ++changes;
    EffectBaseEx::changeBlockSize(frames);
  }
  int changes = 0;
};

} // namespace

TEST_CASE("request 43 stores block size and rate directly") {
  ChangeWatchingEffect effect;
  CHECK(effect.refreshSampleRate() == 44100.0f);
  CHECK(effect.refreshBlockSize() == 1024);
  CHECK(effect.handleRequest(kReqBlockSizeAndRate, 0, 512, nullptr, 48000.0f) == 1);
  CHECK(effect.currentBlockSize() == 512);
  CHECK(effect.currentSampleRate() == 48000.0f);
  CHECK(effect.refreshBlockSize() == 512); // no host: the members as they are
  CHECK(effect.refreshSampleRate() == 48000.0f);
  CHECK(effect.changes == 0);
}

TEST_CASE("the four flag setters change only their own bit") {
  using Setter = void (EffectBaseEx::*)(bool);
  struct Case {
    const char *name;
    Setter set;
    uint32_t mask;
  };
  const Case cases[] = {
      {"setInstrumentFlag", &EffectBaseEx::setInstrumentFlag, 0x100},
      {"setSilentInStopFlag", &EffectBaseEx::setSilentInStopFlag, 0x200},
      {"setAsyncFlag", &EffectBaseEx::setAsyncFlag, 0x400},
      {"setExternalBufferFlag", &EffectBaseEx::setExternalBufferFlag, 0x800},
  };
  for (const auto &c : cases) {
    CAPTURE(c.name);
    PlainEffect effect;
    effect.setFlags(0x18);
    (effect.*c.set)(true);
    CHECK(effect.flags() == (0x18u | c.mask));
    (effect.*c.set)(false);
    CHECK(effect.flags() == 0x18u);
    effect.setFlags(0xFFFFFFFFu);
    (effect.*c.set)(false);
    CHECK(effect.flags() == ~c.mask);
  }
  PlainEffect effect;
  effect.setFlags(0x18);
  effect.setSilentInStopFlag(true);
  CHECK(effect.flags() == 0x218u);
  effect.setSilentInStopFlag(false);
  CHECK(effect.flags() == 0x18u);
}

namespace {

int destroyedEffects = 0;

class ClosingEffect : public EffectBaseEx {
public:
  ClosingEffect() : EffectBaseEx(nullptr, 16, 2) {}
  ~ClosingEffect() override { ++destroyedEffects; }
  void processAdding(float **, float **, int32_t) override {}
  void onClose() override { closedBeforeDestruction = destroyedEffects == 0; }
  static bool closedBeforeDestruction;
};
bool ClosingEffect::closedBeforeDestruction = false;

} // namespace

TEST_CASE("the record's entry reaches the extended dispatcher, and close destroys the effect") {
  // The extended class keeps its state in EffectBase: it adds no data members.
  CHECK(sizeof(EffectBaseEx) == sizeof(EffectBase));

  destroyedEffects = 0;
  ClosingEffect::closedBeforeDestruction = false;
  EffectRecord *record = (new ClosingEffect)->effectRecord();
  CHECK(record->dispatchEntry(record, kReqProtocolVersion, 0, 0, nullptr, 0.0f) == 2);
  CHECK(record->dispatchEntry(record, kReqNeedsKeys, 0, 0, nullptr, 0.0f) == 1);
  CHECK(destroyedEffects == 0);
  CHECK(record->dispatchEntry(record, kReqClose, 0, 0, nullptr, 0.0f) == 1);
  CHECK(ClosingEffect::closedBeforeDestruction);
  CHECK(destroyedEffects == 1);
}

TEST_CASE("the operations no request reaches have their defaults") {
  PlainEffect effect;
  CHECK(effect.channelParamValue(0, 1) == 0.0f);
  CHECK(effect.offlinePassCount() == 0);
  CHECK(effect.offlineMetaPassCount() == 0);
}
