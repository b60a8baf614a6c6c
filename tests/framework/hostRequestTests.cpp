// Every host request wrapper against a recording host callback: the request
// number and fields sent, what the answer becomes, and the value returned when
// no callback is stored.
#include "framework/EffectBaseEx.h"

#include <doctest/doctest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <set>

using namespace fw;

namespace {

// A pointer value that needs every bit of a pointer: above 32 bits on 64-bit
// targets, with the sign bit set on 32-bit ones. Never followed.
void *const kWidePointer = reinterpret_cast<void *>(
    static_cast<uintptr_t>(sizeof(void *) == 8 ? UINT64_C(0x123456789ABCDEF0) : 0x89ABCDEFu));
const IntPtr kWideValue = reinterpret_cast<IntPtr>(kWidePointer);

// Records handed to the host; only their addresses matter.
char textBuffer[16];
char keyword[] = "sizeWindow";
int files, task, window, outputArrangement, vendorData;
EventList eventList;

// The host as the callback sees it: a plain C callback reaches file state only.
struct HostRecorder {
  int calls = 0;
  EffectRecord *record = nullptr;
  int32_t code = -1, index = -1;
  IntPtr value = -1;
  void *ptr = nullptr;
  float opt = -1.0f;
  IntPtr answer = 0;
  bool pushSettings = false; // answer requests 16 and 17 by setting them on the effect
};
HostRecorder host;

IntPtr PLUGIN_CALL recordingHost(EffectRecord *record, int32_t code, int32_t index, IntPtr value,
                                 void *ptr, float opt) {
  ++host.calls;
  host.record = record;
  host.code = code;
  host.index = index;
  host.value = value;
  host.ptr = ptr;
  host.opt = opt;
  if (host.pushSettings && code == kHostGetSampleRate) {
    record->dispatchEntry(record, kReqSetSampleRate, 0, 0, nullptr, 96000.0f);
  }
  if (host.pushSettings && code == kHostGetBlockSize) {
    record->dispatchEntry(record, kReqSetBlockSize, 0, 256, nullptr, 0.0f);
  }
  return host.answer;
}

class PlainEffect : public EffectBaseEx {
public:
  explicit PlainEffect(HostCallback h) : EffectBaseEx(h, 16, 2) {}
  void processAdding(float **, float **, int32_t) override {}
};

// How a wrapper turns the host's answer into its result.
enum class Conversion {
  AsIs,
  Version,       // 0 becomes 1
  NonZeroTrue,   // bool
  OneIfNonZero,  // int32 0 or 1
  ZeroMeansTrue, // pin connection
  ExactlyOne,    // sending events
  Pointer,
  NotUsed,
  SampleRateMember,
  BlockSizeMember,
};

struct AnswerCase {
  IntPtr hostAnswer;
  IntPtr result;
};

struct Conversions {
  Conversion kind;
  AnswerCase answers[5];
  int count;
};

const IntPtr kInt32Max = std::numeric_limits<int32_t>::max();
const IntPtr kInt32Min = std::numeric_limits<int32_t>::min();
const IntPtr kBufferAddress = reinterpret_cast<IntPtr>(textBuffer);

const Conversions kConversions[] = {
    {Conversion::AsIs,
     {{0, 0}, {7, 7}, {-5, -5}, {kInt32Max, kInt32Max}, {kInt32Min, kInt32Min}},
     5},
    {Conversion::Version, {{0, 1}, {1, 1}, {2400, 2400}, {-1, -1}}, 4},
    {Conversion::NonZeroTrue, {{0, 0}, {1, 1}, {2, 1}, {-1, 1}}, 4},
    {Conversion::OneIfNonZero, {{0, 0}, {1, 1}, {5, 1}, {-1, 1}}, 4},
    {Conversion::ZeroMeansTrue, {{0, 1}, {1, 0}, {2, 0}, {-1, 0}}, 4},
    {Conversion::ExactlyOne, {{1, 1}, {0, 0}, {2, 0}, {-1, 0}}, 4},
    {Conversion::Pointer, {{0, 0}, {kWideValue, kWideValue}, {kBufferAddress, kBufferAddress}}, 3},
    {Conversion::NotUsed, {{0, 0}, {1, 0}, {-1, 0}}, 3},
    {Conversion::SampleRateMember, {{0, 44100}, {22050, 44100}, {-1, 44100}}, 3},
    {Conversion::BlockSizeMember, {{0, 1024}, {512, 1024}, {-1, 1024}}, 3},
};

const Conversions &conversionsOf(Conversion kind) {
  for (const auto &c : kConversions) {
    if (c.kind == kind) {
      return c;
    }
  }
  FAIL("no answers for this conversion");
  return kConversions[0];
}

IntPtr asResult(bool b) { return b ? 1 : 0; }
IntPtr asResult(const void *p) { return reinterpret_cast<IntPtr>(p); }

// One wrapper: how to call it, what it must send, how the answer converts,
// and what it returns with no callback.
struct WrapperCase {
  const char *name;
  IntPtr (*call)(EffectBaseEx &);
  int32_t code, index;
  IntPtr value;
  void *ptr;
  float opt;
  Conversion conversion;
  IntPtr noCallback;
};

const WrapperCase kWrappers[] = {
    {"setParamValueAndNotify",
     [](EffectBaseEx &e) -> IntPtr {
       e.setParamValueAndNotify(2, 0.25f);
       return 0;
     },
     0, 2, 0, nullptr, 0.25f, Conversion::NotUsed, 0},
    {"hostVersion", [](EffectBaseEx &e) -> IntPtr { return e.hostVersion(); }, 1, 0, 0, nullptr,
     0.0f, Conversion::Version, 1},
    {"hostCurrentUniqueId", [](EffectBaseEx &e) -> IntPtr { return e.hostCurrentUniqueId(); }, 2, 0,
     0, nullptr, 0.0f, Conversion::AsIs, 0},
    {"hostIdle",
     [](EffectBaseEx &e) -> IntPtr {
       e.hostIdle();
       return 0;
     },
     3, 0, 0, nullptr, 0.0f, Conversion::NotUsed, 0},
    {"isInputPinConnected", [](EffectBaseEx &e) { return asResult(e.isInputPinConnected(3)); }, 4,
     3, 0, nullptr, 0.0f, Conversion::ZeroMeansTrue, 1},
    {"isOutputPinConnected", [](EffectBaseEx &e) { return asResult(e.isOutputPinConnected(3)); }, 4,
     3, 1, nullptr, 0.0f, Conversion::ZeroMeansTrue, 1},
    {"requestEvents",
     [](EffectBaseEx &e) -> IntPtr {
       e.requestEvents(1);
       return 0;
     },
     6, 0, 1, nullptr, 0.0f, Conversion::NotUsed, 0},
    {"fetchTransportInfo", [](EffectBaseEx &e) { return asResult(e.fetchTransportInfo(0xE00)); }, 7,
     0, 3584, nullptr, 0.0f, Conversion::Pointer, 0},
    {"sendEventsToHost", [](EffectBaseEx &e) { return asResult(e.sendEventsToHost(&eventList)); },
     8, 0, 0, &eventList, 0.0f, Conversion::ExactlyOne, 0},
    {"hostTempoAtPosition", [](EffectBaseEx &e) -> IntPtr { return e.hostTempoAtPosition(4410); },
     10, 0, 4410, nullptr, 0.0f, Conversion::AsIs, 0},
    {"hostAutomatableCount", [](EffectBaseEx &e) -> IntPtr { return e.hostAutomatableCount(); }, 11,
     0, 0, nullptr, 0.0f, Conversion::AsIs, 0},
    {"hostParamQuantization", [](EffectBaseEx &e) -> IntPtr { return e.hostParamQuantization(); },
     12, 0, 0, nullptr, 0.0f, Conversion::AsIs, 0},
    {"notifyIoChanged", [](EffectBaseEx &e) { return asResult(e.notifyIoChanged()); }, 13, 0, 0,
     nullptr, 0.0f, Conversion::NonZeroTrue, 0},
    {"requestIdleCalls", [](EffectBaseEx &e) { return asResult(e.requestIdleCalls()); }, 14, 0, 0,
     nullptr, 0.0f, Conversion::NonZeroTrue, 0},
    {"resizeEditorWindow", [](EffectBaseEx &e) { return asResult(e.resizeEditorWindow(640, 480)); },
     15, 640, 480, nullptr, 0.0f, Conversion::NonZeroTrue, 0},
    {"refreshSampleRate",
     [](EffectBaseEx &e) { return static_cast<IntPtr>(e.refreshSampleRate()); }, 16, 0, 0, nullptr,
     0.0f, Conversion::SampleRateMember, 44100},
    {"refreshBlockSize", [](EffectBaseEx &e) -> IntPtr { return e.refreshBlockSize(); }, 17, 0, 0,
     nullptr, 0.0f, Conversion::BlockSizeMember, 1024},
    {"hostInputLatency", [](EffectBaseEx &e) -> IntPtr { return e.hostInputLatency(); }, 18, 0, 0,
     nullptr, 0.0f, Conversion::AsIs, 0},
    {"hostOutputLatency", [](EffectBaseEx &e) -> IntPtr { return e.hostOutputLatency(); }, 19, 0, 0,
     nullptr, 0.0f, Conversion::AsIs, 0},
    {"previousEffectInChain", [](EffectBaseEx &e) { return asResult(e.previousEffectInChain()); },
     20, 0, 0, nullptr, 0.0f, Conversion::Pointer, 0},
    {"nextEffectInChain", [](EffectBaseEx &e) { return asResult(e.nextEffectInChain()); }, 21, 0, 0,
     nullptr, 0.0f, Conversion::Pointer, 0},
    {"hostOutputMode", [](EffectBaseEx &e) -> IntPtr { return e.hostOutputMode(); }, 22, 0, 0,
     nullptr, 0.0f, Conversion::AsIs, 0},
    {"hostProcessLevel", [](EffectBaseEx &e) -> IntPtr { return e.hostProcessLevel(); }, 23, 0, 0,
     nullptr, 0.0f, Conversion::AsIs, 0},
    {"hostAutomationState", [](EffectBaseEx &e) -> IntPtr { return e.hostAutomationState(); }, 24,
     0, 0, nullptr, 0.0f, Conversion::AsIs, 0},
    {"hostOfflineStart", [](EffectBaseEx &e) { return asResult(e.hostOfflineStart(&files, 3, 2)); },
     25, 2, 3, &files, 0.0f, Conversion::NonZeroTrue, 0},
    {"hostOfflineRead (source)",
     [](EffectBaseEx &e) { return asResult(e.hostOfflineRead(&task, 4, true)); }, 26, 1, 4, &task,
     0.0f, Conversion::NonZeroTrue, 0},
    {"hostOfflineRead (destination)",
     [](EffectBaseEx &e) { return asResult(e.hostOfflineRead(&task, 4, false)); }, 26, 0, 4, &task,
     0.0f, Conversion::NonZeroTrue, 0},
    {"hostOfflineWrite", [](EffectBaseEx &e) { return asResult(e.hostOfflineWrite(&task, 5)); }, 27,
     0, 5, &task, 0.0f, Conversion::NonZeroTrue, 0},
    {"hostOfflinePass", [](EffectBaseEx &e) -> IntPtr { return e.hostOfflinePass(); }, 28, 0, 0,
     nullptr, 0.0f, Conversion::OneIfNonZero, 0},
    {"hostOfflineMetaPass", [](EffectBaseEx &e) -> IntPtr { return e.hostOfflineMetaPass(); }, 29,
     0, 0, nullptr, 0.0f, Conversion::OneIfNonZero, 0},
    {"setHostOutputRate",
     [](EffectBaseEx &e) -> IntPtr {
       e.setHostOutputRate(96000.0f);
       return 0;
     },
     30, 0, 0, nullptr, 96000.0f, Conversion::NotUsed, 0},
    {"hostSpeakerArrangement",
     [](EffectBaseEx &e) {
       return asResult(e.hostSpeakerArrangement(kWidePointer, &outputArrangement));
     },
     31, 0, kWideValue, &outputArrangement, 0.0f, Conversion::NonZeroTrue, 0},
    {"hostVendorText", [](EffectBaseEx &e) { return asResult(e.hostVendorText(textBuffer)); }, 32,
     0, 0, textBuffer, 0.0f, Conversion::NonZeroTrue, 0},
    {"hostProductText", [](EffectBaseEx &e) { return asResult(e.hostProductText(textBuffer)); }, 33,
     0, 0, textBuffer, 0.0f, Conversion::NonZeroTrue, 0},
    {"hostVendorVersion", [](EffectBaseEx &e) -> IntPtr { return e.hostVendorVersion(); }, 34, 0, 0,
     nullptr, 0.0f, Conversion::AsIs, 0},
    {"hostVendorCall",
     [](EffectBaseEx &e) -> IntPtr { return e.hostVendorCall(7, kWideValue, &vendorData, 1.5f); },
     35, 7, kWideValue, &vendorData, 1.5f, Conversion::AsIs, 0},
    {"askHostCapability", [](EffectBaseEx &e) -> IntPtr { return e.askHostCapability(keyword); },
     37, 0, 0, keyword, 0.0f, Conversion::OneIfNonZero, 0},
    {"hostLanguage", [](EffectBaseEx &e) -> IntPtr { return e.hostLanguage(); }, 38, 0, 0, nullptr,
     0.0f, Conversion::AsIs, 0},
    {"openHostWindow", [](EffectBaseEx &e) { return asResult(e.openHostWindow(&window)); }, 39, 0,
     0, &window, 0.0f, Conversion::Pointer, 0},
    {"closeHostWindow", [](EffectBaseEx &e) { return asResult(e.closeHostWindow(&window)); }, 40, 0,
     0, &window, 0.0f, Conversion::NonZeroTrue, 0},
    {"hostDirectory", [](EffectBaseEx &e) { return asResult(e.hostDirectory()); }, 41, 0, 0,
     nullptr, 0.0f, Conversion::Pointer, 0},
    {"refreshHostDisplay", [](EffectBaseEx &e) { return asResult(e.refreshHostDisplay()); }, 42, 0,
     0, nullptr, 0.0f, Conversion::NonZeroTrue, 0},
};

} // namespace

TEST_CASE("each wrapper sends its request with its fields and converts the answer") {
  for (const auto &w : kWrappers) {
    CAPTURE(w.name);
    const Conversions &conversions = conversionsOf(w.conversion);
    for (int i = 0; i < conversions.count; ++i) {
      const AnswerCase &a = conversions.answers[i];
      CAPTURE(a.hostAnswer);
      host = HostRecorder{};
      host.answer = a.hostAnswer;
      PlainEffect effect(recordingHost);
      CHECK(w.call(effect) == a.result);
      CHECK(host.calls == 1);
      CHECK(host.record == effect.effectRecord());
      CHECK(host.code == w.code);
      CHECK(host.index == w.index);
      CHECK(host.value == w.value);
      CHECK(host.ptr == w.ptr);
      CHECK(host.opt == w.opt);
    }
  }
}

TEST_CASE("with no callback stored each wrapper returns its neutral value") {
  for (const auto &w : kWrappers) {
    CAPTURE(w.name);
    PlainEffect effect(nullptr);
    CHECK(w.call(effect) == w.noCallback);
  }
}

TEST_CASE("the wrappers cover every request number but 5, 9 and 36, up to 42") {
  std::set<int32_t> sent;
  for (const auto &w : kWrappers) {
    sent.insert(w.code);
  }
  std::set<int32_t> expected;
  for (int32_t code = 0; code <= 42; ++code) {
    if (code != 5 && code != 9 && code != 36) {
      expected.insert(code);
    }
  }
  CHECK(sent == expected);
}

TEST_CASE("pointers answered by the host and sent in value keep their full width") {
  if (sizeof(void *) == 8) {
    REQUIRE(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(kWidePointer)) > 0xFFFFFFFFu);
  }
  host = HostRecorder{};
  host.answer = kWideValue;
  PlainEffect effect(recordingHost);
  CHECK(effect.fetchTransportInfo(0xE00) == kWidePointer);
  CHECK(effect.previousEffectInChain() == kWidePointer);
  CHECK(effect.nextEffectInChain() == kWidePointer);
  CHECK(effect.openHostWindow(&window) == kWidePointer);
  CHECK(effect.hostDirectory() == kWidePointer);
  effect.hostSpeakerArrangement(kWidePointer, nullptr);
  CHECK(host.value == kWideValue);
}

TEST_CASE("the transport pointer reaches the caller as the host returned it") {
  TransportInfo info{};
  info.beatPosition = 2.5;
  host = HostRecorder{};
  host.answer = reinterpret_cast<IntPtr>(&info);
  PlainEffect effect(recordingHost);
  const TransportInfo *got = effect.fetchTransportInfo(kRouterTransportMask);
  REQUIRE(got == &info);
  CHECK(got->beatPosition == 2.5);
}

TEST_CASE("sample rate and block size are read after the host has answered") {
  host = HostRecorder{};
  host.answer = 22050;
  host.pushSettings = true;
  PlainEffect effect(recordingHost);
  CHECK(effect.refreshSampleRate() == 96000.0f);
  CHECK(effect.refreshBlockSize() == 256);
  CHECK(host.calls == 2);
}
