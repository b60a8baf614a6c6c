#include "framework/EffectBase.h"

#include <cstring>

namespace fw {

namespace {

// The record's five entries: take the effect from the record and forward.
// Neither the record nor the index is checked here; the operations do that.
IntPtr PLUGIN_CALL entryDispatch(EffectRecord *record, int32_t code, int32_t index, IntPtr value,
                                 void *ptr, float opt) {
  EffectBase *effect = EffectBase::fromRecord(record);
  if (code == kReqClose) {
    effect->handleRequest(code, index, value, ptr, opt);
    delete effect; // the record goes with it
    return 1;
  }
  return effect->handleRequest(code, index, value, ptr, opt);
}

void PLUGIN_CALL entryProcessAdding(EffectRecord *record, float **inputs, float **outputs,
                                    int32_t frames) {
  EffectBase::fromRecord(record)->processAdding(inputs, outputs, frames);
}

void PLUGIN_CALL entryProcessOverwriting(EffectRecord *record, float **inputs, float **outputs,
                                         int32_t frames) {
  EffectBase::fromRecord(record)->processOverwriting(inputs, outputs, frames);
}

void PLUGIN_CALL entrySetParam(EffectRecord *record, int32_t index, float value) {
  EffectBase::fromRecord(record)->setParamValue(index, value);
}

float PLUGIN_CALL entryGetParam(EffectRecord *record, int32_t index) {
  return EffectBase::fromRecord(record)->getParamValue(index);
}

} // namespace

EffectBase::EffectBase(HostCallback host, int32_t programs, int32_t params)
    : hostCallback(host), programCount(programs), paramCount(params) {
  std::memset(&record, 0, sizeof record);
  record.magic = kRecordMagic;
  record.dispatchEntry = entryDispatch;
  record.processEntry = entryProcessAdding;
  record.setParamEntry = entrySetParam;
  record.getParamEntry = entryGetParam;
  record.programCount = programs;
  record.paramCount = params;
  record.inputCount = 1;
  record.outputCount = 2;
  record.inOutRatio = 1.0f;
  record.effectObject = this;
  record.effectId = kDefaultEffectId;
  record.effectVersion = 1;
  record.overwritingEntry = entryProcessOverwriting;
}

EffectBase::~EffectBase() = default;

void EffectBase::setFlag(uint32_t mask, bool on) {
  record.flags = on ? (record.flags | mask) : (record.flags & ~mask);
}

void EffectBase::setParamValue(int32_t, float) {}
float EffectBase::getParamValue(int32_t) { return 0.0f; }

void EffectBase::setParamValueAndNotify(int32_t index, float value) {
  setParamValue(index, value);
  if (hostCallback != nullptr) {
    callHost(kHostParameterChanged, index, 0, nullptr, value);
  }
}

void EffectBase::processOverwriting(float **, float **, int32_t) {}

IntPtr EffectBase::handleRequest(int32_t code, int32_t index, IntPtr value, void *ptr, float opt) {
  char *text = static_cast<char *>(ptr);
  switch (code) {
  case kReqOpen:
    onOpen();
    return 0;
  case kReqClose:
    onClose();
    return 0;
  case kReqSetProgram:
    if (value >= 0 && value < programCount) {
      setProgramIndex(static_cast<int32_t>(value));
    }
    return 0;
  case kReqGetProgram:
    return getProgramIndex();
  case kReqSetProgramName:
    renameProgram(text);
    return 0;
  case kReqGetProgramName:
    copyProgramName(text);
    return 0;
  case kReqParamLabel:
    copyParamLabel(index, text);
    return 0;
  case kReqParamDisplay:
    copyParamDisplay(index, text);
    return 0;
  case kReqParamName:
    copyParamName(index, text);
    return 0;
  case kReqMeterLevel: {
    // Truncation toward zero; a level whose product leaves the int32 range
    // (or is not a number) answers 0 rather than converting out of range.
    const double scaled = static_cast<double>(meterLevel()) * 32767.0;
    if (!(scaled > -2147483648.0 && scaled < 2147483648.0)) {
      return 0;
    }
    return static_cast<int32_t>(scaled);
  }
  case kReqSetSampleRate:
    changeSampleRate(opt);
    return 0;
  case kReqSetBlockSize:
    changeBlockSize(static_cast<int32_t>(value));
    return 0;
  case kReqSuspendResume:
    if (value == 0) {
      onSuspend();
    } else {
      onResume();
    }
    return 0;
  case kReqIdentify:
    return fourCharCode('N', 'v', 'E', 'f');
  case kReqGetStateBlock:
    return saveStateBlock(static_cast<void **>(ptr), index != 0);
  case kReqSetStateBlock:
    return loadStateBlock(ptr, static_cast<int32_t>(value), index != 0);
  default: // editor requests, unused numbers, negative and > 24
    return 0;
  }
}

void EffectBase::onOpen() {}
void EffectBase::onClose() {}
int32_t EffectBase::getProgramIndex() { return currentProgram; }
void EffectBase::setProgramIndex(int32_t program) { currentProgram = program; }
void EffectBase::renameProgram(char *text) { text[0] = '\0'; }
void EffectBase::copyProgramName(char *text) { text[0] = '\0'; }
void EffectBase::copyParamLabel(int32_t, char *text) { text[0] = '\0'; }
void EffectBase::copyParamDisplay(int32_t, char *text) { text[0] = '\0'; }
void EffectBase::copyParamName(int32_t, char *text) { text[0] = '\0'; }
float EffectBase::meterLevel() { return 0.0f; }
int32_t EffectBase::saveStateBlock(void **, bool) { return 0; }
int32_t EffectBase::loadStateBlock(void *, int32_t, bool) { return 0; }
void EffectBase::changeSampleRate(float rate) { sampleRate = rate; }
void EffectBase::changeBlockSize(int32_t frames) { blockSize = frames; }
void EffectBase::onSuspend() {}
void EffectBase::onResume() {}
void EffectBase::setEffectId(int32_t id) { record.effectId = id; }
void EffectBase::setInputCount(int32_t count) { record.inputCount = count; }
void EffectBase::setOutputCount(int32_t count) { record.outputCount = count; }
void EffectBase::declareLevelMeter(bool on) { setFlag(kFlagLevelMeter, on); }
void EffectBase::declareClipMeter(bool on) { setFlag(kFlagClipMeter, on); }
void EffectBase::declareMonoCapable(bool on) { setFlag(kFlagMonoCapable, on); }
void EffectBase::declareOverwriting(bool on) { setFlag(kFlagOverwriting, on); }
void EffectBase::declareStateBlocks(bool on) { setFlag(kFlagStateBlocks, on); }
void EffectBase::setRealtimeQuality(int32_t quality) { record.realtimeQuality = quality; }
void EffectBase::setOfflineQuality(int32_t quality) { record.offlineQuality = quality; }
void EffectBase::setDelaySamples(int32_t samples) { record.delaySamples = samples; }
float EffectBase::currentSampleRate() { return sampleRate; }
int32_t EffectBase::currentBlockSize() { return blockSize; }

int32_t EffectBase::hostVersion() {
  if (hostCallback == nullptr) {
    return 1;
  }
  const auto answer = static_cast<int32_t>(callHost(kHostGetVersion));
  return answer == 0 ? 1 : answer; // a host that answers 0 speaks version 1
}

int32_t EffectBase::hostCurrentUniqueId() {
  return hostCallback == nullptr ? 0 : static_cast<int32_t>(callHost(kHostGetCurrentUniqueId));
}

void EffectBase::hostIdle() {
  if (hostCallback != nullptr) {
    callHost(kHostIdle);
  }
}

// The host answers 0 for a connected pin; with no host every pin counts as connected.
bool EffectBase::isInputPinConnected(int32_t pin) {
  return hostCallback == nullptr || callHost(kHostIsPinConnected, pin, 0) == 0;
}

bool EffectBase::isOutputPinConnected(int32_t pin) {
  return hostCallback == nullptr || callHost(kHostIsPinConnected, pin, 1) == 0;
}

} // namespace fw
