// Our own host: loads a plug-in library, resolves "main", answers the
// plug-in's requests and drives the record's entries. It knows a plug-in only
// through the binary interface.
#pragma once

#include "framework/EffectRecord.h"
#include "framework/HostRecords.h"
#include "framework/RequestCodes.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace host {

using fw::IntPtr;
using PluginMain = fw::EffectRecord *(PLUGIN_CALL *)(fw::HostCallback);

// A loaded plug-in library. Unloads on destruction: close every instance first.
class PluginLibrary {
public:
  // Loads the library and resolves "main"; null with a one-line reason in
  // `error` when either fails. A name without a directory is looked up beside
  // the running program.
  static std::unique_ptr<PluginLibrary> load(const std::string &path, std::string &error);
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary &) = delete;
  PluginLibrary &operator=(const PluginLibrary &) = delete;

  PluginMain mainFunction() const { return main_; }
  const std::string &path() const { return path_; }

private:
  PluginLibrary() = default;
  void *handle_ = nullptr;
  PluginMain main_ = nullptr;
  std::string path_;
};

// The folder of the running program, with a trailing separator.
std::string executableDirectory();

// One request the plug-in sent to the host.
struct RecordedRequest {
  const fw::EffectRecord *record;
  int32_t code;
  int32_t index;
  IntPtr value;
  const void *ptr;
  float opt;
  int64_t block; // processing block during which it came, -1 outside processing
};

// One event the plug-in sent, copied during the send request.
struct ReceivedEvent {
  int64_t block;       // index of the processing call
  int64_t blockStart;  // sample position of that block's first frame
  int32_t blockFrames; // frames of that block
  fw::MidiEventRecord event;
};

// The host's transport: a song that advances with the processed audio.
struct SimulatedTransport {
  double tempo = 120.0;   // quarter notes per minute
  double startBeat = 0.0; // song position of sample 0, in quarter notes
  bool playing = true;    // when false the position stays put
  bool available = true;  // when false the transport request answers null
  int32_t timeSigNumerator = 4;
  int32_t timeSigDenominator = 4;
};

// How the host answers the plug-in.
struct HostAnswers {
  IntPtr version = 2400;   // request 1
  IntPtr sendEvents = 1;   // request 8; anything but 1 refuses the events
  IntPtr pinConnected = 0; // request 4 (0 = connected)
  std::string vendor = "qern-gain";
  std::string product = "plughost";
};

class PluginInstance {
public:
  static constexpr std::size_t kRequestCapacity = 1 << 16;
  static constexpr std::size_t kEventCapacity = 1 << 16;

  // Calls the library's main with our callback; null with a reason when main
  // answers null. `answers` may be adjusted before opening (the version probe).
  // `recordCapacity` bounds the recorded requests and events each (reserved
  // up front; programs that open thousands of instances keep it small).
  static std::unique_ptr<PluginInstance> open(PluginMain main, std::string &error,
                                              HostAnswers answers = {},
                                              std::size_t recordCapacity = kRequestCapacity);
  ~PluginInstance(); // closes the effect if still open
  PluginInstance(const PluginInstance &) = delete;
  PluginInstance &operator=(const PluginInstance &) = delete;

  fw::EffectRecord *record() const { return record_; }
  bool isOpen() const { return record_ != nullptr; }

  // Record entries.
  IntPtr dispatch(int32_t code, int32_t index = 0, IntPtr value = 0, void *ptr = nullptr,
                  float opt = 0.0f);
  void setParam(int32_t index, float value);
  float getParam(int32_t index);
  // Processing advances the simulated transport by `frames` afterwards.
  void processAdding(float **inputs, float **outputs, int32_t frames);
  void processOverwriting(float **inputs, float **outputs, int32_t frames);
  // Sends request 1 (close); the record is gone afterwards.
  IntPtr close();

  // Common sequences.
  void setSampleRate(float rate);
  void setBlockSize(int32_t frames);
  void suspend() { dispatch(fw::kReqSuspendResume, 0, 0); }
  void resume() { dispatch(fw::kReqSuspendResume, 0, 1); }
  std::string text(int32_t code, int32_t index = 0); // requests that fill a text buffer
  std::string paramName(int32_t index) { return text(fw::kReqParamName, index); }
  std::string paramLabel(int32_t index) { return text(fw::kReqParamLabel, index); }
  std::string paramDisplay(int32_t index) { return text(fw::kReqParamDisplay, index); }
  std::string programName() { return text(fw::kReqGetProgramName); }
  int32_t capability(const char *keyword);

  // What the plug-in asked of us, in order (bounded, never reallocated).
  const std::vector<RecordedRequest> &requests() const { return requests_; }
  std::size_t countRequests(int32_t code) const;
  const std::vector<ReceivedEvent> &events() const { return events_; }
  void clearRecords();
  std::size_t droppedRecords() const { return dropped_; }

  SimulatedTransport transport;
  HostAnswers answers;
  float sampleRate = 44100.0f;
  int32_t blockSize = 1024;
  int64_t samplePosition = 0; // frames processed so far
  int64_t blockCount = 0;     // processing calls so far
  const fw::TransportInfo &lastTransport() const { return transportInfo_; }

  // Called first for every request the plug-in sends, on the plug-in's thread,
  // with `ptr` as sent (what it points to lives only for the call). Must not
  // allocate when the request comes during processing.
  using RequestObserver = void (*)(void *context, const RecordedRequest &request, void *ptr);
  RequestObserver observer = nullptr;
  void *observerContext = nullptr;

  // Answers one request; public so that a test can call it like a plug-in would.
  IntPtr answer(fw::EffectRecord *record, int32_t code, int32_t index, IntPtr value, void *ptr,
                float opt);

private:
  explicit PluginInstance(std::size_t recordCapacity);
  void fillTransport();

  fw::EffectRecord *record_ = nullptr;
  bool inProcess_ = false;
  int32_t processFrames_ = 0;
  std::vector<RecordedRequest> requests_;
  std::vector<ReceivedEvent> events_;
  std::size_t dropped_ = 0;
  fw::TransportInfo transportInfo_{};
};

} // namespace host
