#include "ControllerEffect.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace qern {

// One row per controller number 0 to 126, used by the display of parameter 0.
constexpr const char *controllerNames[kControllerNameCount] = {
    "Banksel",      "Modulation",   "Breath",       "#3",           "Foot",         "Portamento",
    "DataEntry",    "Volume",       "Balance",      "#9",           "Pan",          "Expression",
    "GenPurp1",     "GenPurp2",     "GenPurp3",     "GenPurp4",     "#16",          "#17",
    "#18",          "#19",          "#20",          "#21",          "#22",          "#23",
    "#24",          "#25",          "#26",          "#27",          "#28",          "#29",
    "#30",          "#31",          "BankSelLSB",   "Mod LSB",      "BreathLSB",    "FootLSB",
    "PortaLSB",     "DataEntLSB",   "VolumeLSB",    "BalanceLSB",   "#40",          "Pan LSB",
    "Expr LSB",     "#43",          "#44",          "#45",          "#46",          "#47",
    "#48",          "#49",          "#50",          "#51",          "#52",          "#53",
    "#54",          "#55",          "#56",          "#57",          "#58",          "#59",
    "#60",          "#61",          "#62",          "#63",          "Sustain",      "Porta On/Off",
    "Sostenuto",    "Soft pedal",   "Legato fs",    "Hold 2",       "Sound var",    "Harmonique",
    "Release time", "Attack time",  "Cut-off",      "#75",          "#76",          "#77",
    "#78",          "#79",          "GenPurp5",     "GenPurp6",     "GenPurp7",     "GenPurp8",
    "Porta ",       "#85",          "#86",          "#87",          "#88",          "#89",
    "#90",          "ExtFx1 Depth", "ExtFx2 Depth", "ExtFx3 Depth", "ExtFx4 Depth", "ExtFx5 Depth",
    "Data inc",     "Data dec",     "Nrpn LSB",     "Nrpn MSB",     "Rpn LSB",      "Rpn MSB",
    "#102",         "#103",         "#104",         "#105",         "#106",         "#107",
    "#108",         "#109",         "#110",         "#111",         "#112",         "#113",
    "#114",         "#115",         "#116",         "#117",         "#119",         "AllSound off",
    "Reset ",       "Local ",       "AllNotes off", "Omni ON",      "Omni OFF",     "Mono ON",
    "Poly ON",
};

namespace {

constexpr int kControllerParam = 0;
constexpr int kGainParam = 1;

enum class Display { ControllerName, Decibels };

// Each parameter described once: its name, its label and how its value is shown.
struct ParamInfo {
  const char *name;
  const char *label;
  Display display;
};
constexpr ParamInfo kParams[kParamCount] = {
    {"Controler", "", Display::ControllerName},
    {" Gain", "   dB   ", Display::Decibels},
};

constexpr const char *kCapabilities[] = {"sendVstMidiEvent", "sendVstEvents", "receiveVstEvents",
                                         "receiveVstMidiEvent"};

constexpr const char *kEffectName = "Wendaro";
constexpr const char *kVendor = "QERN";
constexpr const char *kProduct = "Ostrevin";

// value × 127, truncated toward zero and limited to 0..limit. Host values
// outside 0..1 (or not numbers) never reach an unlimited conversion.
int midiNumber(float value, int limit) {
  const double scaled = static_cast<double>(value) * 127.0;
  if (!(scaled > 0.0)) { // negative, zero or not a number
    return 0;
  }
  return scaled >= limit ? limit : static_cast<int>(scaled);
}

// Copies at most capacity - 1 characters and always terminates.
void copyLimited(char *destination, const char *source, std::size_t capacity) {
  std::size_t n = 0;
  while (n + 1 < capacity && source[n] != '\0') {
    destination[n] = source[n];
    ++n;
  }
  destination[n] = '\0';
}

bool isParam(int32_t index) { return index >= 0 && index < kParamCount; }

// 2^-k for k = 0..31, each exact in double precision.
struct PowerOfTwoReciprocals {
  double values[32];
  constexpr PowerOfTwoReciprocals() : values() {
    double r = 1.0;
    for (double &v : values) {
      v = r;
      r *= 0.5;
    }
  }
};
constexpr PowerOfTwoReciprocals kPowerOfTwoReciprocals;

// total ÷ frames (frames > 0) in double precision. A block of 2^k frames, the
// usual case, multiplies by the exact 2^-k instead: both round the same exact
// quotient once, so the result is identical bit for bit, without the
// division's latency at the end of every block.
double perFrame(double total, int32_t frames) {
  const auto n = static_cast<uint32_t>(frames);
  if ((n & (n - 1)) == 0) {
    return total * kPowerOfTwoReciprocals.values[__builtin_ctz(n)];
  }
  return total / static_cast<double>(frames);
}

// Adds one frame to the block sum: |L| + |R| widened to double, plus the sum,
// rounded back to single precision. The rounding after every frame is part of
// the result, so the chain must stay in order (no reassociation, no vectors).
inline float addFrame(float sum, float left, float right) {
  return static_cast<float>(
      (std::fabs(static_cast<double>(left)) + std::fabs(static_cast<double>(right))) +
      static_cast<double>(sum));
}

// The level of one block (see blockLevel); kept in this file so that the
// processing calls inline it.
inline uint8_t levelOf(float gainValue, float sum, int32_t frames) {
  if (frames <= 0) {
    return 0;
  }
  const double x =
      perFrame(static_cast<double>(gainValue) * 889.0 * static_cast<double>(sum), frames);
  // Limited before any conversion: a huge gain would leave the float range,
  // and a level above 127 or below 0 fits no MIDI data byte.
  if (!(x > 0.0)) { // silence, a negative gain, or not a number (0 × inf, a NaN sample)
    return 0;
  }
  if (x > 127.0) {
    return 127;
  }
  // Rounded to single precision first, then truncated: 110.9999999 becomes 111.
  return static_cast<uint8_t>(static_cast<float>(x));
}

} // namespace

uint8_t blockLevel(float gainValue, float sum, int32_t frames) {
  return levelOf(gainValue, sum, frames);
}

ControllerEffect::ControllerEffect(fw::HostCallback host)
    : EffectBaseEx(host, kProgramCount, kParamCount),
      programs(new ControllerProgram[kProgramCount]) {
  setProgramIndex(0);
  setInputCount(2);
  setOutputCount(2);
  declareOverwriting(true);
  setEffectId(fw::fourCharCode('Q', 'E', 'R', '2'));
  declareMonoCapable(true);
}

ControllerEffect::~ControllerEffect() = default;

void ControllerEffect::setParamValue(int32_t index, float value) {
  ControllerProgram &program = programs[currentProgram];
  switch (index) {
  case kControllerParam:
    program.controllerValue = value;
    controllerValue = value;
    controllerNumber = static_cast<uint8_t>(midiNumber(value, 127));
    break;
  case kGainParam:
    program.gainValue = value;
    gainValue = value;
    break;
  default:
    break;
  }
}

float ControllerEffect::getParamValue(int32_t index) {
  switch (index) {
  case kControllerParam:
    return controllerValue;
  case kGainParam:
    return gainValue;
  default:
    return 0.0f;
  }
}

void ControllerEffect::setProgramIndex(int32_t program) {
  currentProgram = program;
  setParamValue(kControllerParam, programs[program].controllerValue);
  setParamValue(kGainParam, programs[program].gainValue);
}

// Text buffers are the host's; a host that passes none gets nothing written.

void ControllerEffect::renameProgram(char *text) {
  if (text != nullptr) { // longer names are shortened to the 23 characters of the field
    copyLimited(programs[currentProgram].name, text, kProgramNameBytes);
  }
}

void ControllerEffect::copyProgramName(char *text) {
  if (text == nullptr) {
    return;
  }
  const char *name = programs[currentProgram].name;
  if (std::strcmp(name, "Init") == 0) { // read back numbered: "Init 1" .. "Init 16"
    char numbered[kProgramNameBytes + 12];
    std::snprintf(numbered, sizeof numbered, "%s %d", name, static_cast<int>(currentProgram) + 1);
    copyLimited(text, numbered, kProgramNameBytes);
  } else {
    copyLimited(text, name, kProgramNameBytes);
  }
}

void ControllerEffect::copyParamName(int32_t index, char *text) {
  if (isParam(index) && text != nullptr) {
    std::strcpy(text, kParams[index].name);
  }
}

void ControllerEffect::copyParamLabel(int32_t index, char *text) {
  if (isParam(index) && text != nullptr) {
    std::strcpy(text, kParams[index].label);
  }
}

void ControllerEffect::copyParamDisplay(int32_t index, char *text) {
  if (!isParam(index) || text == nullptr) {
    return;
  }
  switch (kParams[index].display) {
  case Display::ControllerName:
    // From the value, not the controller number: 1.0 (controller 127) shows
    // row 126; a negative value shows row 0.
    std::strcpy(text, controllerNames[midiNumber(controllerValue, kControllerNameCount - 1)]);
    break;
  case Display::Decibels: // the gain spans the factors 0 to 7
    gainToDbText(gainValue * 7.0f, text);
    break;
  }
}

void ControllerEffect::onSuspend() {}

void ControllerEffect::onResume() { requestEvents(1); } // every resume; the answer is not used

bool ControllerEffect::effectNameText(char *text) {
  if (text == nullptr) {
    return false;
  }
  std::strcpy(text, kEffectName);
  return true;
}

bool ControllerEffect::vendorText(char *text) {
  if (text == nullptr) {
    return false;
  }
  std::strcpy(text, kVendor);
  return true;
}

bool ControllerEffect::productText(char *text) {
  if (text == nullptr) {
    return false;
  }
  std::strcpy(text, kProduct);
  return true;
}

int32_t ControllerEffect::vendorVersion() { return 1; }

int32_t ControllerEffect::answerCapability(char *keyword) {
  if (keyword == nullptr) {
    return 0;
  }
  for (const char *supported : kCapabilities) {
    if (std::strcmp(keyword, supported) == 0) {
      return 1;
    }
  }
  return 0;
}

// After the block: its level, and a message when the level changed. Inline
// in the processing calls; a private step of theirs.
inline void ControllerEffect::finishBlock(float sum, int32_t frames) {
  const uint8_t level = levelOf(gainValue, sum, frames);
  if (level != lastLevel) {
    // At the block's last frame: hosts read an event's offset as a frame
    // inside the current block (0 .. frames - 1).
    sendControlChange(level, frames > 0 ? frames - 1 : 0);
  }
  lastLevel = level; // whatever the host answered: the same level is not offered again
}

// Real-time: one pass over the block, no allocation, no branch per frame.
// Each frame's input samples are read before its outputs are written, so
// in-place buffers (even crossed channels) are measured from the input. The
// frames are moved into the outputs, or added to them; answers the block sum.
template <bool Adding> inline float passBlock(float **inputs, float **outputs, int32_t frames) {
  const float *left = inputs[0];
  const float *right = inputs[1];
  float *outLeft = outputs[0];
  float *outRight = outputs[1];
  float sum = 0.0f;
  for (int32_t i = 0; i < frames; ++i) {
    const float l = left[i];
    const float r = right[i];
    sum = addFrame(sum, l, r);
    if constexpr (Adding) {
      outLeft[i] += l;
      outRight[i] += r;
    } else {
      // A plain move: SSE loads and stores never change a bit, signalling NaNs
      // included (32-bit builds use SSE, not x87, for exactly this reason).
      outLeft[i] = l;
      outRight[i] = r;
    }
  }
  return sum;
}

void ControllerEffect::processOverwriting(float **inputs, float **outputs, int32_t frames) {
  finishBlock(passBlock<false>(inputs, outputs, frames), frames);
}

void ControllerEffect::processAdding(float **inputs, float **outputs, int32_t frames) {
  finishBlock(passBlock<true>(inputs, outputs, frames), frames);
}

void ControllerEffect::sendControlChange(uint8_t level, int32_t frameOffset) {
  fw::MidiEventRecord event{};
  event.eventType = fw::kEventTypeMidi;
  event.recordBytes = fw::kMidiEventRecordBytes;
  event.frameOffset = frameOffset;
  event.midiBytes[0] = 0xB0; // control change, channel 1
  event.midiBytes[1] = controllerNumber;
  event.midiBytes[2] = level;
  fw::EventList list{};
  list.eventCount = 1;
  list.events[0] = &event;
  sendEventsToHost(&list);
}

} // namespace qern
