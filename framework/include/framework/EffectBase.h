// Root of every effect class: owns the effect record, keeps what the host
// pushes (sample rate, block size, program) and turns dispatcher requests 0 to
// 24 into calls of overridable operations.
#pragma once

#include "framework/EffectRecord.h"
#include "framework/RequestCodes.h"

#include <cstdint>

namespace fw {

class EffectBase {
public:
  EffectBase(HostCallback host, int32_t programCount, int32_t paramCount);
  virtual ~EffectBase();

  EffectBase(const EffectBase &) = delete;
  EffectBase &operator=(const EffectBase &) = delete;

  virtual void setParamValue(int32_t index, float value);
  virtual float getParamValue(int32_t index);
  virtual void setParamValueAndNotify(int32_t index, float value);
  virtual void processAdding(float **inputs, float **outputs, int32_t frames) = 0;
  virtual void processOverwriting(float **inputs, float **outputs, int32_t frames);
  virtual IntPtr handleRequest(int32_t code, int32_t index, IntPtr value, void *ptr, float opt);
  virtual void onOpen();
  virtual void onClose();
  virtual int32_t getProgramIndex();
  virtual void setProgramIndex(int32_t program);
  virtual void renameProgram(char *text);
  virtual void copyProgramName(char *text);
  virtual void copyParamLabel(int32_t index, char *text);
  virtual void copyParamDisplay(int32_t index, char *text);
  virtual void copyParamName(int32_t index, char *text);
  virtual float meterLevel();
  virtual int32_t saveStateBlock(void **block, bool isPreset);
  virtual int32_t loadStateBlock(void *block, int32_t byteCount, bool isPreset);
  virtual void changeSampleRate(float rate);
  virtual void changeBlockSize(int32_t frames);
  virtual void onSuspend();
  virtual void onResume();
  virtual void setEffectId(int32_t id);
  virtual void setInputCount(int32_t count);
  virtual void setOutputCount(int32_t count);
  virtual void declareLevelMeter(bool on);
  virtual void declareClipMeter(bool on);
  virtual void declareMonoCapable(bool on);
  virtual void declareOverwriting(bool on);
  virtual void declareStateBlocks(bool on);
  virtual void setRealtimeQuality(int32_t quality);
  virtual void setOfflineQuality(int32_t quality);
  virtual void setDelaySamples(int32_t samples);
  virtual float currentSampleRate();
  virtual int32_t currentBlockSize();
  virtual int32_t hostVersion();
  virtual int32_t hostCurrentUniqueId();
  virtual void hostIdle();
  virtual bool isInputPinConnected(int32_t pin);
  virtual bool isOutputPinConnected(int32_t pin);
  virtual void gainToDbText(float gain, char *text);
  virtual void samplesToHzText(float samples, char *text);
  virtual void samplesToMsText(float samples, char *text);
  virtual void numberToText(float value, char *text);
  virtual void integerToText(int32_t value, char *text);

  EffectRecord *effectRecord() { return &record; }
  static EffectBase *fromRecord(EffectRecord *r) {
    return static_cast<EffectBase *>(r->effectObject);
  }

protected:
  // Sends one request to the host; the caller has checked hostCallback.
  IntPtr callHost(int32_t code, int32_t index = 0, IntPtr value = 0, void *ptr = nullptr,
                  float opt = 0.0f) {
    return hostCallback(&record, code, index, value, ptr, opt);
  }
  void setFlag(uint32_t mask, bool on);

  float sampleRate = 44100.0f; // written by the request thread, read by processing
  HostCallback hostCallback;   // set once at construction
  int32_t programCount;
  int32_t paramCount;
  int32_t currentProgram = 0;
  int32_t blockSize = 1024;
  EffectRecord record;
};

} // namespace fw
