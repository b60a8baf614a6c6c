// ControllerEffect's programs, parameters, texts, identity and capability
// answers, and the events request on resume.
#include "ControllerEffect.h"
#include "RecordingHost.h"

#include "framework/Capabilities.h"

#include <doctest/doctest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

using namespace fw;
using qern::ControllerEffect;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr uint32_t kBitsNearest74Over127 = 0x3F152A55;

uint32_t bitsOf(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// The text a request writes into a buffer that starts filled with '#', so that
// a buffer left untouched reads back as all '#'.
constexpr std::size_t kBufferBytes = 64;
const std::string kUntouched(kBufferBytes - 1, '#');

std::string requestText(ControllerEffect &fx, int32_t code, int32_t index = 0) {
  char text[kBufferBytes];
  std::memset(text, '#', sizeof text);
  text[sizeof text - 1] = '\0';
  fx.handleRequest(code, index, 0, text, 0.0f);
  return text;
}

std::string display(ControllerEffect &fx, int32_t index) {
  return requestText(fx, kReqParamDisplay, index);
}

void selectProgram(ControllerEffect &fx, int32_t program) {
  fx.handleRequest(kReqSetProgram, 0, program, nullptr, 0.0f);
}

void rename(ControllerEffect &fx, const char *name) {
  std::string copy(name);
  fx.handleRequest(kReqSetProgramName, 0, 0, copy.data(), 0.0f);
}

// The controller names, row by row, as the effect must show them.
const char *const kExpectedNames[127] = {
    // 0 to 15
    "Banksel", "Modulation", "Breath", "#3", "Foot", "Portamento", "DataEntry", "Volume", "Balance",
    "#9", "Pan", "Expression", "GenPurp1", "GenPurp2", "GenPurp3", "GenPurp4",
    // 16 to 31
    "#16", "#17", "#18", "#19", "#20", "#21", "#22", "#23", "#24", "#25", "#26", "#27", "#28",
    "#29", "#30", "#31",
    // 32 to 42
    "BankSelLSB", "Mod LSB", "BreathLSB", "FootLSB", "PortaLSB", "DataEntLSB", "VolumeLSB",
    "BalanceLSB", "#40", "Pan LSB", "Expr LSB",
    // 43 to 63
    "#43", "#44", "#45", "#46", "#47", "#48", "#49", "#50", "#51", "#52", "#53", "#54", "#55",
    "#56", "#57", "#58", "#59", "#60", "#61", "#62", "#63",
    // 64 to 74
    "Sustain", "Porta On/Off", "Sostenuto", "Soft pedal", "Legato fs", "Hold 2", "Sound var",
    "Harmonique", "Release time", "Attack time", "Cut-off",
    // 75 to 84
    "#75", "#76", "#77", "#78", "#79", "GenPurp5", "GenPurp6", "GenPurp7", "GenPurp8", "Porta ",
    // 85 to 101
    "#85", "#86", "#87", "#88", "#89", "#90", "ExtFx1 Depth", "ExtFx2 Depth", "ExtFx3 Depth",
    "ExtFx4 Depth", "ExtFx5 Depth", "Data inc", "Data dec", "Nrpn LSB", "Nrpn MSB", "Rpn LSB",
    "Rpn MSB",
    // 102 to 118
    "#102", "#103", "#104", "#105", "#106", "#107", "#108", "#109", "#110", "#111", "#112", "#113",
    "#114", "#115", "#116", "#117", "#119",
    // 119 to 126
    "AllSound off", "Reset ", "Local ", "AllNotes off", "Omni ON", "Omni OFF", "Mono ON",
    "Poly ON"};

} // namespace

TEST_CASE("construction: parameter values, texts and the record") {
  ControllerEffect fx(nullptr);
  CHECK(bitsOf(fx.getParamValue(0)) == kBitsNearest74Over127);
  CHECK(fx.getParamValue(1) == 1.0f);
  CHECK(fx.currentControllerNumber() == 74);
  CHECK(fx.previousLevel() == 0);
  CHECK(display(fx, 0) == "Cut-off");
  CHECK(display(fx, 1) == "16.90196"); // 20 log10(7): gain 1.0 is the factor 7
  CHECK(requestText(fx, kReqParamLabel, 0).empty());
  CHECK(requestText(fx, kReqParamLabel, 1) == "   dB   ");
  CHECK(requestText(fx, kReqParamName, 0) == "Controler");
  CHECK(requestText(fx, kReqParamName, 1) == " Gain");
  const EffectRecord *r = fx.effectRecord();
  CHECK(r->inputCount == 2);
  CHECK(r->outputCount == 2);
  CHECK(r->programCount == 16);
  CHECK(r->paramCount == 2);
  CHECK(r->flags == 0x18u);
  CHECK(r->effectId == 0x51455232); // 'QER2'
  CHECK(fx.handleRequest(kReqGetProgram, 0, 0, nullptr, 0.0f) == 0);
}

TEST_CASE("program names read back numbered while they are exactly \"Init\"") {
  ControllerEffect fx(nullptr);
  for (int32_t p = 0; p < 16; ++p) {
    CAPTURE(p);
    selectProgram(fx, p);
    CHECK(requestText(fx, kReqGetProgramName) == "Init " + std::to_string(p + 1));
  }

  struct Case {
    const char *typed;
    const char *readBack;
  };
  const Case cases[] = {
      {"Init", "Init 5"}, // typed by the user, still numbered
      {"Init2", "Init2"},
      {"Init 5", "Init 5"},
      {"init", "init"},
      {"Init ", "Init "},
      {"Pad sweep", "Pad sweep"},
      {"", ""},
      {"exactly twenty-three ch", "exactly twenty-three ch"},
  };
  for (const Case &c : cases) {
    CAPTURE(c.typed);
    selectProgram(fx, 4);
    rename(fx, c.typed);
    CHECK(requestText(fx, kReqGetProgramName) == c.readBack);
    selectProgram(fx, 5); // other programs keep their own names
    CHECK(requestText(fx, kReqGetProgramName) == "Init 6");
  }
}

TEST_CASE("a program name longer than 23 characters is shortened inside its 24-byte field") {
  ControllerEffect fx(nullptr);
  // Program 1's record follows program 0's name in the bank: its values act as
  // guard bytes for anything written past program 0's field.
  selectProgram(fx, 1);
  fx.setParamValue(0, 0.25f);
  fx.setParamValue(1, 0.5f);
  selectProgram(fx, 0);
  rename(fx, "A name far longer than the twenty-three characters of the field");

  char text[kBufferBytes];
  std::memset(text, '#', sizeof text);
  fx.copyProgramName(text);
  CHECK(std::string(text) == "A name far longer than ");
  for (std::size_t i = 24; i < sizeof text; ++i) {
    CAPTURE(i);
    CHECK(text[i] == '#');
  }

  selectProgram(fx, 1);
  CHECK(fx.getParamValue(0) == 0.25f);
  CHECK(fx.getParamValue(1) == 0.5f);
  CHECK(requestText(fx, kReqGetProgramName) == "Init 2");
  selectProgram(fx, 0);
  CHECK(requestText(fx, kReqGetProgramName) == "A name far longer than ");
}

TEST_CASE("parameter 0: controller number and display, limited; the value reads back unchanged") {
  struct Case {
    float value;
    int controllerNumber;
    const char *display;
  };
  const Case cases[] = {
      {0.0f, 0, "Banksel"},
      {0.5f, 63, "#63"},
      {1.0f, 127, "Poly ON"}, // no row for 127: the display stops at row 126
      {126.0f / 127.0f, 126, "Poly ON"},
      {0.99f, 125, "Mono ON"},
      {1.0f / 127.0f, 0, "Banksel"}, // nearest float is just below 1/127: truncated to 0
      {1.5f / 127.0f, 1, "Modulation"},
      {118.5f / 127.0f, 118, "#119"},
      {-0.0f, 0, "Banksel"},
      {-0.5f, 0, "Banksel"},
      {-kInf, 0, "Banksel"},
      {kNaN, 0, "Banksel"},
      {1.5f, 127, "Poly ON"},
      {1e30f, 127, "Poly ON"},
      {kInf, 127, "Poly ON"},
  };
  for (const Case &c : cases) {
    CAPTURE(c.value);
    ControllerEffect fx(nullptr);
    fx.setParamValue(0, c.value);
    CHECK(fx.currentControllerNumber() == c.controllerNumber);
    CHECK(display(fx, 0) == c.display);
    CHECK(bitsOf(fx.getParamValue(0)) == bitsOf(c.value));
    CHECK(fx.getParamValue(1) == 1.0f);
  }
}

TEST_CASE("parameter 1: stored as set, shown as decibels of seven times the value") {
  struct Case {
    float value;
    const char *display;
  };
  const Case cases[] = {
      {0.0f, "  -oo   "},
      {1.0f / 7.0f, "0.000000"}, // factor 1 (the float product rounds to exactly 1.0)
      {1.0f, "16.90196"},
  };
  for (const Case &c : cases) {
    CAPTURE(c.value);
    ControllerEffect fx(nullptr);
    fx.setParamValue(1, c.value);
    CHECK(display(fx, 1) == c.display);
    CHECK(fx.getParamValue(1) == c.value);
  }
  for (float odd : {-0.5f, kNaN, 3.0f, kInf, -0.0f}) {
    CAPTURE(odd);
    ControllerEffect fx(nullptr);
    fx.setParamValue(1, odd);
    CHECK(bitsOf(fx.getParamValue(1)) == bitsOf(odd));
    CHECK(fx.currentControllerNumber() == 74);
  }
}

TEST_CASE("the controller-name table, row by row") {
  for (int row = 0; row < 127; ++row) {
    CAPTURE(row);
    CHECK(std::string(qern::controllerNames[row]) == kExpectedNames[row]);
    CHECK(std::strlen(qern::controllerNames[row]) <= 12); // 13 bytes with the zero
    // The display shows the row for a value in the middle of its step.
    ControllerEffect fx(nullptr);
    fx.setParamValue(0, (static_cast<float>(row) + 0.5f) / 127.0f);
    CHECK(fx.currentControllerNumber() == row);
    CHECK(display(fx, 0) == kExpectedNames[row]);
  }
}

TEST_CASE("parameters other than 0 and 1 are ignored and leave the buffers untouched") {
  ControllerEffect fx(nullptr);
  for (int32_t index : {2, 3, -1, 1000}) {
    CAPTURE(index);
    fx.setParamValue(index, 0.3f);
    CHECK(fx.getParamValue(index) == 0.0f);
    CHECK(requestText(fx, kReqParamName, index) == kUntouched);
    CHECK(requestText(fx, kReqParamLabel, index) == kUntouched);
    CHECK(display(fx, index) == kUntouched);
  }
  CHECK(bitsOf(fx.getParamValue(0)) == kBitsNearest74Over127);
  CHECK(fx.getParamValue(1) == 1.0f);
  CHECK(fx.currentControllerNumber() == 74);
}

TEST_CASE("each program keeps its edited values; switching sends nothing and keeps the level") {
  recorder = Recorder{};
  ControllerEffect fx(recordingHost);
  selectProgram(fx, 3);
  fx.setParamValue(0, 0.25f);
  fx.setParamValue(1, 0.5f);
  CHECK(fx.currentControllerNumber() == 31);

  selectProgram(fx, 7);
  CHECK(bitsOf(fx.getParamValue(0)) == kBitsNearest74Over127);
  CHECK(fx.getParamValue(1) == 1.0f);
  CHECK(fx.currentControllerNumber() == 74);
  CHECK(display(fx, 0) == "Cut-off");

  selectProgram(fx, 3);
  CHECK(fx.handleRequest(kReqGetProgram, 0, 0, nullptr, 0.0f) == 3);
  CHECK(fx.getParamValue(0) == 0.25f);
  CHECK(fx.getParamValue(1) == 0.5f);
  CHECK(fx.currentControllerNumber() == 31);
  CHECK(display(fx, 0) == "#31");
  CHECK(recorder.requests.empty());
}

TEST_CASE("identity texts and numbers") {
  ControllerEffect fx(nullptr);
  CHECK(requestText(fx, kReqEffectName) == "Wendaro");
  CHECK(requestText(fx, kReqVendorText) == "QERN");
  CHECK(requestText(fx, kReqProductText) == "Ostrevin");
  char text[kBufferBytes];
  for (int32_t code : {kReqEffectName, kReqVendorText, kReqProductText}) {
    CAPTURE(code);
    CHECK(fx.handleRequest(code, 0, 0, text, 0.0f) == 1);
  }
  CHECK(fx.handleRequest(kReqVendorVersion, 0, 0, nullptr, 0.0f) == 1);
}

TEST_CASE("capability answers: four event keywords, exact and case-sensitive") {
  ControllerEffect fx(nullptr);
  auto answer = [&fx](const char *keyword) {
    std::string copy(keyword);
    return fx.handleRequest(kReqCapability, 0, 0, copy.data(), 0.0f);
  };
  const char *const supported[] = {"sendVstMidiEvent", "sendVstEvents", "receiveVstEvents",
                                   "receiveVstMidiEvent"};
  for (const char *keyword : supported) {
    CAPTURE(keyword);
    CHECK(answer(keyword) == 1);
  }
  auto isSupported = [&supported](const char *keyword) {
    for (const char *s : supported) {
      if (std::strcmp(s, keyword) == 0) {
        return true;
      }
    }
    return false;
  };
  for (const char *keyword : kEffectCapabilityKeywords) {
    CAPTURE(keyword);
    CHECK(answer(keyword) == (isSupported(keyword) ? 1 : 0));
  }
  for (const char *keyword : kHostCapabilityKeywords) {
    CAPTURE(keyword);
    CHECK(answer(keyword) == (isSupported(keyword) ? 1 : 0));
  }
  for (const char *keyword : {"receivevstmidievent", "ReceiveVstMidiEvent", "receiveVstMidiEvent ",
                              "receiveVstMidiEvents", "sendVst", ""}) {
    CAPTURE(keyword);
    CHECK(answer(keyword) == 0);
  }
}

TEST_CASE("every resume asks the host for events once; suspend sends nothing") {
  recorder = Recorder{};
  ControllerEffect fx(recordingHost);
  CHECK(recorder.requests.empty());
  fx.handleRequest(kReqSuspendResume, 0, 0, nullptr, 0.0f);
  CHECK(recorder.requests.empty());
  for (int resume = 1; resume <= 3; ++resume) {
    fx.handleRequest(kReqSuspendResume, 0, 1, nullptr, 0.0f);
    REQUIRE(recorder.requests.size() == static_cast<std::size_t>(resume));
    const Request &r = recorder.requests.back();
    CHECK(r.code == kHostWantEvents);
    CHECK(r.value == 1);
    CHECK(r.index == 0);
    fx.handleRequest(kReqSuspendResume, 0, 0, nullptr, 0.0f);
    CHECK(recorder.requests.size() == static_cast<std::size_t>(resume));
  }
  CHECK(fx.previousLevel() == 0);

  ControllerEffect withoutHost(nullptr); // nothing to ask: no crash
  withoutHost.handleRequest(kReqSuspendResume, 0, 1, nullptr, 0.0f);
}
