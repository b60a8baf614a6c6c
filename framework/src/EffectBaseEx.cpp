#include "framework/EffectBaseEx.h"

namespace fw {

namespace {
IntPtr asAnswer(bool result) { return result ? 1 : 0; }
IntPtr pointerAnswer(void *pointer) { return reinterpret_cast<IntPtr>(pointer); }
} // namespace

EffectBaseEx::EffectBaseEx(HostCallback host, int32_t programs, int32_t params)
    : EffectBase(host, programs, params) {}

EffectBaseEx::~EffectBaseEx() = default;

IntPtr EffectBaseEx::handleRequest(int32_t code, int32_t index, IntPtr value, void *ptr,
                                   float opt) {
  char *text = static_cast<char *>(ptr);
  const auto value32 = static_cast<int32_t>(value);
  switch (code) {
  case kReqEvents:
    return receiveEvents(static_cast<EventList *>(ptr));
  case kReqIsAutomatable:
    return asAnswer(isParamAutomatable(index));
  case kReqTextToParam:
    return asAnswer(textToParam(index, text));
  case kReqCategoryCount:
    return programCategoryCount();
  case kReqProgramNameAt:
    return asAnswer(programNameAt(value32, index, text));
  case kReqCopyProgram:
    return asAnswer(copyProgramTo(index));
  case kReqInputConnection:
    onInputConnection(index, value != 0);
    return 1;
  case kReqOutputConnection:
    onOutputConnection(index, value != 0);
    return 1;
  case kReqInputPinProps:
    return asAnswer(inputPinProperties(index, ptr));
  case kReqOutputPinProps:
    return asAnswer(outputPinProperties(index, ptr));
  case kReqCategory:
    return effectCategory();
  case kReqAsyncPosition:
    return asyncPosition();
  case kReqAsyncBuffer:
    return pointerAnswer(asyncDestination());
  case kReqOfflineNotify:
    return asAnswer(onOfflineNotify(ptr, value32, index != 0));
  case kReqOfflinePrepare:
    return asAnswer(onOfflinePrepare(ptr, value32));
  case kReqOfflineRun:
    return asAnswer(onOfflineRun(ptr, value32));
  case kReqVariableIo:
    return asAnswer(onVariableIo(ptr));
  case kReqSpeakerArrangement:
    return asAnswer(applySpeakerArrangement(reinterpret_cast<void *>(value), ptr));
  case kReqBlockSizeAndRate:
    setBlockSizeAndRate(value32, opt);
    return 1;
  case kReqBypass:
    return asAnswer(setBypassed(value != 0));
  case kReqEffectName:
    return asAnswer(effectNameText(text));
  case kReqErrorText:
    return asAnswer(errorText(text));
  case kReqVendorText:
    return asAnswer(vendorText(text));
  case kReqProductText:
    return asAnswer(productText(text));
  case kReqVendorVersion:
    return vendorVersion();
  case kReqVendorCall:
    return vendorCall(index, value, ptr, opt);
  case kReqCapability:
    return answerCapability(text);
  case kReqTailSamples:
    return tailSampleCount();
  case kReqIdle:
    return onIdle();
  case kReqIcon:
    return pointerAnswer(iconHandle());
  case kReqEditorPosition:
    return asAnswer(setEditorPosition(index, value32));
  case kReqParamProperties:
    return asAnswer(paramProperties(index, ptr));
  case kReqNeedsKeys:
    return asAnswer(!needsKeys());
  case kReqProtocolVersion:
    return protocolVersion();
  default:
    return EffectBase::handleRequest(code, index, value, ptr, opt);
  }
}

// --- host request wrappers: no callback, no request, a neutral answer ---

void EffectBaseEx::requestEvents(int32_t filter) {
  if (hostCallback != nullptr) {
    callHost(kHostWantEvents, 0, filter);
  }
}

int32_t EffectBaseEx::hostTempoAtPosition(int32_t samplePosition) {
  return hostCallback == nullptr ? 0
                                 : static_cast<int32_t>(callHost(kHostTempoAt, 0, samplePosition));
}

int32_t EffectBaseEx::receiveEvents(EventList *) { return 0; }

int32_t EffectBaseEx::hostAutomatableCount() {
  return hostCallback == nullptr ? 0 : static_cast<int32_t>(callHost(kHostGetAutomatableCount));
}

int32_t EffectBaseEx::hostParamQuantization() {
  return hostCallback == nullptr ? 0 : static_cast<int32_t>(callHost(kHostGetParamQuantization));
}

bool EffectBaseEx::isParamAutomatable(int32_t) { return true; }
bool EffectBaseEx::textToParam(int32_t, char *) { return false; }
float EffectBaseEx::channelParamValue(int32_t, int32_t) { return 0.0f; }
int32_t EffectBaseEx::programCategoryCount() { return 1; }
bool EffectBaseEx::programNameAt(int32_t, int32_t, char *) { return false; }
bool EffectBaseEx::copyProgramTo(int32_t) { return false; }

bool EffectBaseEx::notifyIoChanged() {
  return hostCallback != nullptr && callHost(kHostIoChanged) != 0;
}

bool EffectBaseEx::requestIdleCalls() {
  return hostCallback != nullptr && callHost(kHostNeedIdle) != 0;
}

bool EffectBaseEx::resizeEditorWindow(int32_t width, int32_t height) {
  return hostCallback != nullptr && callHost(kHostResizeWindow, width, height) != 0;
}

// The host may answer by setting the rate or block size on us during the
// call, so the member is read after it.
float EffectBaseEx::refreshSampleRate() {
  if (hostCallback != nullptr) {
    callHost(kHostGetSampleRate);
  }
  return sampleRate;
}

int32_t EffectBaseEx::refreshBlockSize() {
  if (hostCallback != nullptr) {
    callHost(kHostGetBlockSize);
  }
  return blockSize;
}

int32_t EffectBaseEx::hostInputLatency() {
  return hostCallback == nullptr ? 0 : static_cast<int32_t>(callHost(kHostGetInputLatency));
}

int32_t EffectBaseEx::hostOutputLatency() {
  return hostCallback == nullptr ? 0 : static_cast<int32_t>(callHost(kHostGetOutputLatency));
}

EffectRecord *EffectBaseEx::previousEffectInChain() {
  return hostCallback == nullptr
             ? nullptr
             : reinterpret_cast<EffectRecord *>(callHost(kHostGetPreviousEffect));
}

EffectRecord *EffectBaseEx::nextEffectInChain() {
  return hostCallback == nullptr ? nullptr
                                 : reinterpret_cast<EffectRecord *>(callHost(kHostGetNextEffect));
}

void EffectBaseEx::onInputConnection(int32_t, bool) {}
void EffectBaseEx::onOutputConnection(int32_t, bool) {}
bool EffectBaseEx::inputPinProperties(int32_t, void *) { return false; }
bool EffectBaseEx::outputPinProperties(int32_t, void *) { return false; }

int32_t EffectBaseEx::effectCategory() { return (record.flags & kFlagInstrument) != 0 ? 2 : 0; }

int32_t EffectBaseEx::hostOutputMode() {
  return hostCallback == nullptr ? 0 : static_cast<int32_t>(callHost(kHostQueryOutputMode));
}

int32_t EffectBaseEx::hostProcessLevel() {
  return hostCallback == nullptr ? 0 : static_cast<int32_t>(callHost(kHostGetProcessLevel));
}

int32_t EffectBaseEx::hostAutomationState() {
  return hostCallback == nullptr ? 0 : static_cast<int32_t>(callHost(kHostGetAutomationState));
}

void EffectBaseEx::setAsyncFlag(bool on) { setFlag(kFlagAsync, on); }
void EffectBaseEx::setExternalBufferFlag(bool on) { setFlag(kFlagExternalBuffer, on); }
int32_t EffectBaseEx::asyncPosition() { return 0; }
float *EffectBaseEx::asyncDestination() { return nullptr; }

bool EffectBaseEx::hostOfflineRead(void *task, int32_t option, bool readSource) {
  return hostCallback != nullptr &&
         callHost(kHostOfflineRead, readSource ? 1 : 0, option, task) != 0;
}

bool EffectBaseEx::hostOfflineWrite(void *task, int32_t option) {
  return hostCallback != nullptr && callHost(kHostOfflineWrite, 0, option, task) != 0;
}

bool EffectBaseEx::hostOfflineStart(void *files, int32_t fileCount, int32_t newFileCount) {
  return hostCallback != nullptr &&
         callHost(kHostOfflineStart, newFileCount, fileCount, files) != 0;
}

int32_t EffectBaseEx::hostOfflinePass() {
  return hostCallback != nullptr && callHost(kHostOfflineCurrentPass) != 0 ? 1 : 0;
}

int32_t EffectBaseEx::hostOfflineMetaPass() {
  return hostCallback != nullptr && callHost(kHostOfflineCurrentMetaPass) != 0 ? 1 : 0;
}

bool EffectBaseEx::onOfflineNotify(void *, int32_t, bool) { return false; }
bool EffectBaseEx::onOfflinePrepare(void *, int32_t) { return false; }
bool EffectBaseEx::onOfflineRun(void *, int32_t) { return false; }
int32_t EffectBaseEx::offlinePassCount() { return 0; }
int32_t EffectBaseEx::offlineMetaPassCount() { return 0; }

void EffectBaseEx::setHostOutputRate(float rate) {
  if (hostCallback != nullptr) {
    callHost(kHostSetOutputSampleRate, 0, 0, nullptr, rate);
  }
}

bool EffectBaseEx::hostSpeakerArrangement(void *input, void *output) {
  return hostCallback != nullptr &&
         callHost(kHostGetSpeakerArrangement, 0, reinterpret_cast<IntPtr>(input), output) != 0;
}

bool EffectBaseEx::hostVendorText(char *text) {
  return hostCallback != nullptr && callHost(kHostGetVendorText, 0, 0, text) != 0;
}

bool EffectBaseEx::hostProductText(char *text) {
  return hostCallback != nullptr && callHost(kHostGetProductText, 0, 0, text) != 0;
}

int32_t EffectBaseEx::hostVendorVersion() {
  return hostCallback == nullptr ? 0 : static_cast<int32_t>(callHost(kHostGetVendorVersion));
}

int32_t EffectBaseEx::hostVendorCall(int32_t index, IntPtr value, void *ptr, float opt) {
  return hostCallback == nullptr
             ? 0
             : static_cast<int32_t>(callHost(kHostVendorCall, index, value, ptr, opt));
}

int32_t EffectBaseEx::askHostCapability(char *keyword) {
  return hostCallback != nullptr && callHost(kHostQueryCapability, 0, 0, keyword) != 0 ? 1 : 0;
}

void EffectBaseEx::setInstrumentFlag(bool on) { setFlag(kFlagInstrument, on); }
void EffectBaseEx::setSilentInStopFlag(bool on) { setFlag(kFlagSilentInStop, on); }

int32_t EffectBaseEx::hostLanguage() {
  return hostCallback == nullptr ? 0 : static_cast<int32_t>(callHost(kHostGetLanguage));
}

void *EffectBaseEx::openHostWindow(void *window) {
  return hostCallback == nullptr
             ? nullptr
             : reinterpret_cast<void *>(callHost(kHostOpenWindow, 0, 0, window));
}

bool EffectBaseEx::closeHostWindow(void *window) {
  return hostCallback != nullptr && callHost(kHostCloseWindow, 0, 0, window) != 0;
}

void *EffectBaseEx::hostDirectory() {
  return hostCallback == nullptr ? nullptr : reinterpret_cast<void *>(callHost(kHostGetDirectory));
}

bool EffectBaseEx::refreshHostDisplay() {
  return hostCallback != nullptr && callHost(kHostUpdateDisplay) != 0;
}

bool EffectBaseEx::onVariableIo(void *) { return false; }
bool EffectBaseEx::applySpeakerArrangement(void *, void *) { return false; }

// Written directly: an effect's changeSampleRate/changeBlockSize are not told.
void EffectBaseEx::setBlockSizeAndRate(int32_t newBlockSize, float newSampleRate) {
  blockSize = newBlockSize;
  sampleRate = newSampleRate;
}

bool EffectBaseEx::setBypassed(bool) { return false; }
bool EffectBaseEx::effectNameText(char *) { return false; }
bool EffectBaseEx::errorText(char *) { return false; }
bool EffectBaseEx::vendorText(char *) { return false; }
bool EffectBaseEx::productText(char *) { return false; }
int32_t EffectBaseEx::vendorVersion() { return 0; }
int32_t EffectBaseEx::vendorCall(int32_t, IntPtr, void *, float) { return 0; }
int32_t EffectBaseEx::answerCapability(char *) { return 0; }
void *EffectBaseEx::iconHandle() { return nullptr; }
bool EffectBaseEx::setEditorPosition(int32_t, int32_t) { return false; }
int32_t EffectBaseEx::tailSampleCount() { return 0; }
int32_t EffectBaseEx::onIdle() { return 0; }
bool EffectBaseEx::paramProperties(int32_t, void *) { return false; }
bool EffectBaseEx::needsKeys() { return false; }
int32_t EffectBaseEx::protocolVersion() { return 2; }

bool EffectBaseEx::sendEventsToHost(EventList *list) {
  return hostCallback != nullptr && callHost(kHostSendEvents, 0, 0, list) == 1;
}

} // namespace fw
