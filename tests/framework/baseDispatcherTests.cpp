// EffectBase: the dispatcher for requests 0 to 24, the operations' defaults,
// the setup operations and the parameter-change notice.
#include "framework/EffectBase.h"

#include <doctest/doctest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

using namespace fw;

namespace {

// One call of an operation, as the recording effect saw it.
struct Call {
  std::string operation; // empty: nothing was called
  int32_t a = 0;
  int32_t b = 0;
  void *ptr = nullptr;
  float f = 0.0f;
  bool flag = false;
};

bool operator==(const Call &x, const Call &y) {
  return x.operation == y.operation && x.a == y.a && x.b == y.b && x.ptr == y.ptr && x.f == y.f &&
         x.flag == y.flag;
}

doctest::String toString(const Call &c) {
  return (c.operation + "(" + std::to_string(c.a) + ", " + std::to_string(c.b) + ", ptr " +
          (c.ptr ? "set" : "null") + ", " + std::to_string(c.f) + ", " +
          (c.flag ? "true" : "false") + ")")
      .c_str();
}

// Overrides every operation the base dispatcher reaches and records the one call.
class RecordingEffect : public EffectBase {
public:
  RecordingEffect() : EffectBase(nullptr, 16, 2) {}

  int calls = 0;
  Call last;
  float level = 0.0f;

  void processAdding(float **, float **, int32_t) override {}
  void onOpen() override { note({"onOpen"}); }
  void onClose() override { note({"onClose"}); }
  int32_t getProgramIndex() override {
    note({"getProgramIndex"});
    return 9;
  }
  void setProgramIndex(int32_t p) override { note({"setProgramIndex", p}); }
  void renameProgram(char *t) override { note({"renameProgram", 0, 0, t}); }
  void copyProgramName(char *t) override { note({"copyProgramName", 0, 0, t}); }
  void copyParamLabel(int32_t i, char *t) override { note({"copyParamLabel", i, 0, t}); }
  void copyParamDisplay(int32_t i, char *t) override { note({"copyParamDisplay", i, 0, t}); }
  void copyParamName(int32_t i, char *t) override { note({"copyParamName", i, 0, t}); }
  float meterLevel() override {
    note({"meterLevel"});
    return level;
  }
  int32_t saveStateBlock(void **block, bool preset) override {
    note({"saveStateBlock", 0, 0, block, 0.0f, preset});
    return 77;
  }
  int32_t loadStateBlock(void *block, int32_t bytes, bool preset) override {
    note({"loadStateBlock", bytes, 0, block, 0.0f, preset});
    return -3;
  }
  void changeSampleRate(float rate) override { note({"changeSampleRate", 0, 0, nullptr, rate}); }
  void changeBlockSize(int32_t frames) override { note({"changeBlockSize", frames}); }
  void onSuspend() override { note({"onSuspend"}); }
  void onResume() override { note({"onResume"}); }

private:
  void note(const Call &c) {
    ++calls;
    last = c;
  }
};

// Overrides nothing but the one operation every effect must supply.
class PlainEffect : public EffectBase {
public:
  explicit PlainEffect(HostCallback h = nullptr) : EffectBase(h, 16, 2) {}
  void processAdding(float **, float **, int32_t) override {}
  uint32_t flags() const { return record.flags; }
  const EffectRecord &rec() const { return record; }
};

char textBuffer[16];
void *const kText = textBuffer;

} // namespace

TEST_CASE("each base request calls its operation with the request's fields") {
  struct Case {
    int32_t code, index;
    IntPtr value;
    void *ptr;
    float opt;
    Call expected;
    IntPtr answer;
  };
  const Case cases[] = {
      {kReqOpen, 0, 0, nullptr, 0.0f, {"onOpen"}, 0},
      {kReqClose, 0, 0, nullptr, 0.0f, {"onClose"}, 0},
      {kReqSetProgram, 0, 3, nullptr, 0.0f, {"setProgramIndex", 3}, 0},
      {kReqSetProgram, 0, 0, nullptr, 0.0f, {"setProgramIndex", 0}, 0},
      {kReqSetProgram, 0, 15, nullptr, 0.0f, {"setProgramIndex", 15}, 0},
      {kReqGetProgram, 0, 0, nullptr, 0.0f, {"getProgramIndex"}, 9},
      {kReqSetProgramName, 0, 0, kText, 0.0f, {"renameProgram", 0, 0, kText}, 0},
      {kReqGetProgramName, 0, 0, kText, 0.0f, {"copyProgramName", 0, 0, kText}, 0},
      {kReqParamLabel, 1, 0, kText, 0.0f, {"copyParamLabel", 1, 0, kText}, 0},
      {kReqParamDisplay, 5, 0, kText, 0.0f, {"copyParamDisplay", 5, 0, kText}, 0},
      {kReqParamName, -2, 0, kText, 0.0f, {"copyParamName", -2, 0, kText}, 0},
      {kReqMeterLevel, 0, 0, nullptr, 0.0f, {"meterLevel"}, 0},
      {kReqSetSampleRate,
       0,
       7,
       nullptr,
       48000.0f,
       {"changeSampleRate", 0, 0, nullptr, 48000.0f},
       0},
      {kReqSetBlockSize, 0, 512, nullptr, 3.0f, {"changeBlockSize", 512}, 0},
      {kReqSuspendResume, 0, 0, nullptr, 0.0f, {"onSuspend"}, 0},
      {kReqSuspendResume, 0, 1, nullptr, 0.0f, {"onResume"}, 0},
      {kReqSuspendResume, 0, -1, nullptr, 0.0f, {"onResume"}, 0},
      {kReqSuspendResume, 0, 7, nullptr, 0.0f, {"onResume"}, 0},
      {kReqGetStateBlock, 5, 0, kText, 0.0f, {"saveStateBlock", 0, 0, kText, 0.0f, true}, 77},
      {kReqGetStateBlock, 0, 0, kText, 0.0f, {"saveStateBlock", 0, 0, kText, 0.0f, false}, 77},
      {kReqGetStateBlock, -1, 0, kText, 0.0f, {"saveStateBlock", 0, 0, kText, 0.0f, true}, 77},
      {kReqSetStateBlock, 2, 64, kText, 0.0f, {"loadStateBlock", 64, 0, kText, 0.0f, true}, -3},
      {kReqSetStateBlock, 0, 8, kText, 0.0f, {"loadStateBlock", 8, 0, kText, 0.0f, false}, -3},
  };
  for (const auto &c : cases) {
    CAPTURE(c.code);
    CAPTURE(c.value);
    RecordingEffect effect;
    CHECK(effect.handleRequest(c.code, c.index, c.value, c.ptr, c.opt) == c.answer);
    CHECK(effect.calls == 1);
    CHECK(effect.last == c.expected);
  }
}

TEST_CASE("requests the base class does not handle call nothing and answer 0") {
  const int32_t codes[] = {13, 14, 15, 16,   17,
                           18, 19, 20, 21,   25,
                           58, 59, -1, 1000, std::numeric_limits<int32_t>::min()};
  for (int32_t code : codes) {
    CAPTURE(code);
    RecordingEffect effect;
    CHECK(effect.handleRequest(code, 3, 4, kText, 1.0f) == 0);
    CHECK(effect.calls == 0);
  }
}

TEST_CASE("identify answers NvEf whatever the other fields are") {
  RecordingEffect effect;
  CHECK(effect.handleRequest(kReqIdentify, 0, 0, nullptr, 0.0f) == 0x4E764566);
  CHECK(effect.handleRequest(kReqIdentify, -7, 123, kText, -1.5f) == 0x4E764566);
  CHECK(effect.calls == 0);
}

TEST_CASE("set program ignores numbers outside 0 to programCount - 1") {
  const IntPtr outside[] = {16, 17, -1, std::numeric_limits<int32_t>::min(),
                            std::numeric_limits<IntPtr>::max()};
  for (IntPtr value : outside) {
    CAPTURE(value);
    PlainEffect effect;
    effect.handleRequest(kReqSetProgram, 0, 4, nullptr, 0.0f);
    CHECK(effect.handleRequest(kReqSetProgram, 0, value, nullptr, 0.0f) == 0);
    CHECK(effect.handleRequest(kReqGetProgram, 0, 0, nullptr, 0.0f) == 4);
  }
}

TEST_CASE("the defaults: program 0, level 0, no state block, empty texts") {
  PlainEffect effect;
  CHECK(effect.handleRequest(kReqGetProgram, 0, 0, nullptr, 0.0f) == 0);
  CHECK(effect.handleRequest(kReqMeterLevel, 0, 0, nullptr, 0.0f) == 0);
  void *block = kText;
  CHECK(effect.handleRequest(kReqGetStateBlock, 5, 0, &block, 0.0f) == 0);
  CHECK(effect.handleRequest(kReqGetStateBlock, 0, 0, &block, 0.0f) == 0);
  CHECK(effect.handleRequest(kReqSetStateBlock, 0, 16, kText, 0.0f) == 0);
  effect.setParamValue(0, 0.75f); // the default keeps nothing
  CHECK(effect.getParamValue(0) == 0.0f);
  float input[2] = {0.5f, -0.5f}, output[2] = {0.25f, 0.125f};
  float *inputs[1] = {input}, *outputs[1] = {output};
  effect.processOverwriting(inputs, outputs, 2); // the default writes nothing
  CHECK(output[0] == 0.25f);
  CHECK(output[1] == 0.125f);

  const int32_t textRequests[] = {kReqSetProgramName, kReqGetProgramName, kReqParamLabel,
                                  kReqParamDisplay, kReqParamName};
  for (int32_t code : textRequests) {
    CAPTURE(code);
    char text[16] = "left over";
    CHECK(effect.handleRequest(code, 1, 0, text, 0.0f) == 0);
    CHECK(text[0] == '\0');
  }

  // Sample rate and block size: each request changes only its own member.
  CHECK(effect.currentSampleRate() == 44100.0f);
  CHECK(effect.currentBlockSize() == 1024);
  effect.handleRequest(kReqSetSampleRate, 0, 7, nullptr, 48000.0f);
  CHECK(effect.currentSampleRate() == 48000.0f);
  CHECK(effect.currentBlockSize() == 1024);
  effect.handleRequest(kReqSetBlockSize, 0, 512, nullptr, 3.0f);
  CHECK(effect.currentBlockSize() == 512);
  CHECK(effect.currentSampleRate() == 48000.0f);
}

TEST_CASE("the meter level answer is the level times 32767, truncated toward zero") {
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    float level;
    IntPtr answer;
  };
  const Case cases[] = {
      {0.0f, 0},
      {0.5f, 16383},
      {1.0f, 32767},
      {-0.5f, -16383},
      {-1.0f, -32767},
      {0.99999f, 32766},
      {1.0f / 32767.0f * 0.9f, 0},
      {65538.0f, 2147483646},
      {-65538.0f, -2147483646},
      // Products that leave the int32 range, and no number at all, answer 0.
      {65539.0f, 0},
      {-65539.0f, 0},
      {inf, 0},
      {-inf, 0},
      {std::nanf(""), 0},
  };
  for (const auto &c : cases) {
    CAPTURE(c.level);
    RecordingEffect effect;
    effect.level = c.level;
    CHECK(effect.handleRequest(kReqMeterLevel, 0, 0, nullptr, 0.0f) == c.answer);
  }
}

TEST_CASE("each flag operation changes only its own bit") {
  using Setter = void (EffectBase::*)(bool);
  struct Case {
    const char *name;
    Setter set;
    uint32_t mask;
  };
  const Case cases[] = {
      {"declareClipMeter", &EffectBase::declareClipMeter, 0x2},
      {"declareLevelMeter", &EffectBase::declareLevelMeter, 0x4},
      {"declareMonoCapable", &EffectBase::declareMonoCapable, 0x8},
      {"declareOverwriting", &EffectBase::declareOverwriting, 0x10},
      {"declareStateBlocks", &EffectBase::declareStateBlocks, 0x20},
  };
  for (const auto &c : cases) {
    CAPTURE(c.name);
    PlainEffect effect;
    (effect.*c.set)(true);
    CHECK(effect.flags() == c.mask);
    (effect.*c.set)(true); // setting twice keeps it set
    CHECK(effect.flags() == c.mask);
    (effect.*c.set)(false);
    CHECK(effect.flags() == 0u);

    // With every other bit of the five set, only this one moves.
    PlainEffect full;
    for (const auto &other : cases) {
      (full.*other.set)(true);
    }
    CHECK(full.flags() == 0x3Eu);
    (full.*c.set)(false);
    CHECK(full.flags() == (0x3Eu & ~c.mask));
    (full.*c.set)(true);
    CHECK(full.flags() == 0x3Eu);
  }

  PlainEffect effect;
  effect.declareOverwriting(true);
  effect.declareMonoCapable(true);
  CHECK(effect.flags() == 0x18u);
  effect.declareOverwriting(false);
  CHECK(effect.flags() == 0x8u);
}

TEST_CASE("the setup operations store their value in the record") {
  using Setter = void (EffectBase::*)(int32_t);
  struct Case {
    const char *name;
    Setter set;
    int32_t EffectRecord::*field;
    int32_t value;
  };
  const Case cases[] = {
      {"setEffectId", &EffectBase::setEffectId, &EffectRecord::effectId,
       fourCharCode('Q', 'E', 'R', '2')},
      {"setInputCount", &EffectBase::setInputCount, &EffectRecord::inputCount, 2},
      {"setOutputCount", &EffectBase::setOutputCount, &EffectRecord::outputCount, 8},
      {"setRealtimeQuality", &EffectBase::setRealtimeQuality, &EffectRecord::realtimeQuality, 3},
      {"setOfflineQuality", &EffectBase::setOfflineQuality, &EffectRecord::offlineQuality, -4},
      {"setDelaySamples", &EffectBase::setDelaySamples, &EffectRecord::delaySamples, 256},
  };
  for (const auto &c : cases) {
    CAPTURE(c.name);
    PlainEffect effect;
    EffectRecord before;
    std::memcpy(&before, &effect.rec(), sizeof before);
    (effect.*c.set)(c.value);
    CHECK(effect.rec().*c.field == c.value);
    // Nothing else in the record moved.
    EffectRecord after;
    std::memcpy(&after, &effect.rec(), sizeof after);
    after.*c.field = before.*c.field;
    CHECK(std::memcmp(&before, &after, sizeof before) == 0);
  }
}

namespace {

struct NoticeRecorder {
  int calls = 0;
  EffectRecord *record = nullptr;
  int32_t code = -1, index = -1;
  IntPtr value = -1;
  void *ptr = kText;
  float opt = 0.0f;
};
NoticeRecorder notice;

IntPtr PLUGIN_CALL noticeHost(EffectRecord *record, int32_t code, int32_t index, IntPtr value,
                              void *ptr, float opt) {
  ++notice.calls;
  notice.record = record;
  notice.code = code;
  notice.index = index;
  notice.value = value;
  notice.ptr = ptr;
  notice.opt = opt;
  return 99;
}

// Notes how many host notices had arrived when setParamValue ran.
class NotifyingEffect : public EffectBase {
public:
  explicit NotifyingEffect(HostCallback h) : EffectBase(h, 1, 4) {}
  void processAdding(float **, float **, int32_t) override {}
  void setParamValue(int32_t index, float value) override {
    ++sets;
    setIndex = index;
    setValue = value;
    noticesBeforeSet = notice.calls;
  }
  int sets = 0;
  int32_t setIndex = -1;
  float setValue = -1.0f;
  int noticesBeforeSet = -1;
};

} // namespace

TEST_CASE("setParamValueAndNotify sets the value, then tells the host when there is one") {
  notice = NoticeRecorder{};
  NotifyingEffect withHost(noticeHost);
  withHost.setParamValueAndNotify(3, 0.75f);
  CHECK(withHost.sets == 1);
  CHECK(withHost.setIndex == 3);
  CHECK(withHost.setValue == 0.75f);
  CHECK(withHost.noticesBeforeSet == 0);
  CHECK(notice.calls == 1);
  CHECK(notice.record == withHost.effectRecord());
  CHECK(notice.code == kHostParameterChanged);
  CHECK(notice.index == 3);
  CHECK(notice.value == 0);
  CHECK(notice.ptr == nullptr);
  CHECK(notice.opt == 0.75f);

  notice = NoticeRecorder{};
  NotifyingEffect alone(nullptr);
  alone.setParamValueAndNotify(1, 0.5f);
  CHECK(alone.sets == 1);
  CHECK(alone.setIndex == 1);
  CHECK(alone.setValue == 0.5f);
  CHECK(notice.calls == 0);
}
