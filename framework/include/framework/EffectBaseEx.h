// The class every effect derives from: the dispatcher for requests 25 to 58,
// one overridable operation per request, and the wrappers of the extended
// host requests.
#pragma once

#include "framework/EffectBase.h"
#include "framework/HostRecords.h"

namespace fw {

class EffectBaseEx : public EffectBase {
public:
  EffectBaseEx(HostCallback host, int32_t programCount, int32_t paramCount);
  ~EffectBaseEx() override;

  IntPtr handleRequest(int32_t code, int32_t index, IntPtr value, void *ptr, float opt) override;

  virtual void requestEvents(int32_t filter);
  // Inline: an effect that does not override it asks once per block, and a
  // call through the object would weigh on short blocks.
  virtual TransportInfo *fetchTransportInfo(int32_t mask) {
    if (hostCallback == nullptr) {
      return nullptr;
    }
    return reinterpret_cast<TransportInfo *>(callHost(kHostGetTransportInfo, 0, mask));
  }
  virtual int32_t hostTempoAtPosition(int32_t samplePosition);
  virtual int32_t receiveEvents(EventList *list);
  virtual int32_t hostAutomatableCount();
  virtual int32_t hostParamQuantization();
  virtual bool isParamAutomatable(int32_t index);
  virtual bool textToParam(int32_t index, char *text);
  virtual float channelParamValue(int32_t channel, int32_t index);
  virtual int32_t programCategoryCount();
  virtual bool programNameAt(int32_t category, int32_t index, char *text);
  virtual bool copyProgramTo(int32_t destination);
  virtual bool notifyIoChanged();
  virtual bool requestIdleCalls();
  virtual bool resizeEditorWindow(int32_t width, int32_t height);
  virtual float refreshSampleRate();
  virtual int32_t refreshBlockSize();
  virtual int32_t hostInputLatency();
  virtual int32_t hostOutputLatency();
  virtual EffectRecord *previousEffectInChain();
  virtual EffectRecord *nextEffectInChain();
  virtual void onInputConnection(int32_t index, bool connected);
  virtual void onOutputConnection(int32_t index, bool connected);
  virtual bool inputPinProperties(int32_t index, void *properties);
  virtual bool outputPinProperties(int32_t index, void *properties);
  virtual int32_t effectCategory();
  virtual int32_t hostOutputMode();
  virtual int32_t hostProcessLevel();
  virtual int32_t hostAutomationState();
  virtual void setAsyncFlag(bool on);
  virtual void setExternalBufferFlag(bool on);
  virtual int32_t asyncPosition();
  virtual float *asyncDestination();
  virtual bool hostOfflineRead(void *task, int32_t option, bool readSource);
  virtual bool hostOfflineWrite(void *task, int32_t option);
  virtual bool hostOfflineStart(void *files, int32_t fileCount, int32_t newFileCount);
  virtual int32_t hostOfflinePass();
  virtual int32_t hostOfflineMetaPass();
  virtual bool onOfflineNotify(void *files, int32_t fileCount, bool start);
  virtual bool onOfflinePrepare(void *tasks, int32_t count);
  virtual bool onOfflineRun(void *tasks, int32_t count);
  virtual int32_t offlinePassCount();
  virtual int32_t offlineMetaPassCount();
  virtual void setHostOutputRate(float rate);
  virtual bool hostSpeakerArrangement(void *input, void *output);
  virtual bool hostVendorText(char *text);
  virtual bool hostProductText(char *text);
  virtual int32_t hostVendorVersion();
  virtual int32_t hostVendorCall(int32_t index, IntPtr value, void *ptr, float opt);
  virtual int32_t askHostCapability(char *keyword);
  virtual void setInstrumentFlag(bool on);
  virtual void setSilentInStopFlag(bool on);
  virtual int32_t hostLanguage();
  virtual void *openHostWindow(void *window);
  virtual bool closeHostWindow(void *window);
  virtual void *hostDirectory();
  virtual bool refreshHostDisplay();
  virtual bool onVariableIo(void *varIo);
  virtual bool applySpeakerArrangement(void *input, void *output);
  virtual void setBlockSizeAndRate(int32_t newBlockSize, float newSampleRate);
  virtual bool setBypassed(bool bypass);
  virtual bool effectNameText(char *text);
  virtual bool errorText(char *text);
  virtual bool vendorText(char *text);
  virtual bool productText(char *text);
  virtual int32_t vendorVersion();
  virtual int32_t vendorCall(int32_t index, IntPtr value, void *ptr, float opt);
  virtual int32_t answerCapability(char *keyword);
  virtual void *iconHandle();
  virtual bool setEditorPosition(int32_t x, int32_t y);
  virtual int32_t tailSampleCount();
  virtual int32_t onIdle();
  virtual bool paramProperties(int32_t index, void *properties);
  virtual bool needsKeys();
  virtual int32_t protocolVersion();

  // Hands a list to the host; true only when the host answers exactly 1.
  bool sendEventsToHost(EventList *list);
};

} // namespace fw
