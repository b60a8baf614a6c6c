// The capability keyword tables, and how the defaults answer and ask.
#include "framework/Capabilities.h"
#include "framework/EffectBaseEx.h"

#include <doctest/doctest.h>

#include <cstring>
#include <iterator>
#include <string>

using namespace fw;

namespace {

template <std::size_t N>
void checkTable(const char *const (&table)[N], std::initializer_list<const char *> expected) {
  REQUIRE(N == expected.size());
  std::size_t i = 0;
  for (const char *keyword : expected) {
    CAPTURE(i);
    REQUIRE(table[i] != nullptr);
    CHECK(std::string(table[i]) == keyword);
    ++i;
  }
}

class PlainEffect : public EffectBaseEx {
public:
  explicit PlainEffect(HostCallback h = nullptr) : EffectBaseEx(h, 1, 1) {}
  void processAdding(float **, float **, int32_t) override {}
};

IntPtr capabilityAnswer = 0;
const void *askedKeyword = nullptr;
int32_t askedCode = -1;

IntPtr PLUGIN_CALL capabilityHost(EffectRecord *, int32_t code, int32_t, IntPtr, void *ptr, float) {
  askedCode = code;
  askedKeyword = ptr;
  return capabilityAnswer;
}

} // namespace

TEST_CASE("the host capability keywords, in order") {
  checkTable(kHostCapabilityKeywords,
             {"sendVstEvents", "sendVstMidiEvent", "sendVstTimeInfo", "receiveVstEvents",
              "receiveVstMidiEvent", "receiveVstTimeInfo", "reportConnectionChanges",
              "acceptIOChanges", "sizeWindow", "asyncProcessing", "offline", "supplyIdle",
              "supportShell"});
}

TEST_CASE("the effect capability keywords, in order") {
  checkTable(kEffectCapabilityKeywords, {"sendVstEvents",
                                         "sendVstMidiEvent",
                                         "sendVstTimeInfo",
                                         "receiveVstEvents",
                                         "receiveVstMidiEvent",
                                         "receiveVstTimeInfo",
                                         "offline",
                                         "plugAsChannelInsert",
                                         "plugAsSend",
                                         "mixDryWet",
                                         "noRealTime",
                                         "multipass",
                                         "metapass",
                                         "1in1out",
                                         "1in2out",
                                         "2in1out",
                                         "2in2out",
                                         "2in4out",
                                         "4in2out",
                                         "4in4out",
                                         "4in8out",
                                         "8in4out",
                                         "8in8out"});
}

TEST_CASE("an effect that keeps the default answers 0 to every keyword") {
  PlainEffect effect;
  for (const char *k : kEffectCapabilityKeywords) {
    CAPTURE(k);
    char keyword[32];
    std::strcpy(keyword, k);
    CHECK(effect.handleRequest(kReqCapability, 0, 0, keyword, 0.0f) == 0);
  }
  char other[] = "SendVstEvents";
  CHECK(effect.handleRequest(kReqCapability, 0, 0, other, 0.0f) == 0);
  char empty[] = "";
  CHECK(effect.handleRequest(kReqCapability, 0, 0, empty, 0.0f) == 0);
}

TEST_CASE("asking the host about a keyword sends the keyword itself") {
  char keyword[] = "sizeWindow";
  struct Case {
    IntPtr hostAnswer;
    int32_t result;
  };
  for (const Case c : {Case{1, 1}, Case{-1, 1}, Case{0, 0}, Case{3, 1}}) {
    CAPTURE(c.hostAnswer);
    capabilityAnswer = c.hostAnswer;
    askedKeyword = nullptr;
    PlainEffect effect(capabilityHost);
    CHECK(effect.askHostCapability(keyword) == c.result);
    CHECK(askedCode == kHostQueryCapability);
    CHECK(askedKeyword == keyword);
  }
  PlainEffect alone;
  CHECK(alone.askHostCapability(keyword) == 0);
}
