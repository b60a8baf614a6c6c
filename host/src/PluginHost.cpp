#include "host/PluginHost.h"

#include <cmath>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace host {

namespace {

// The instance whose main() is running on this thread: a plug-in may call
// back during main, before we could store the instance in its record.
thread_local PluginInstance *tOpening = nullptr;

IntPtr PLUGIN_CALL hostCallback(fw::EffectRecord *record, int32_t code, int32_t index, IntPtr value,
                                void *ptr, float opt) {
  PluginInstance *instance = tOpening;
  if (record != nullptr && record->userData != nullptr) {
    instance = static_cast<PluginInstance *>(record->userData);
  }
  if (instance == nullptr) {
    return code == fw::kHostGetVersion ? 2400 : 0;
  }
  return instance->answer(record, code, index, value, ptr, opt);
}

bool hasDirectory(const std::string &path) {
  return path.find('/') != std::string::npos || path.find('\\') != std::string::npos;
}

void copyText(void *ptr, const std::string &text, std::size_t capacity) {
  if (ptr == nullptr) {
    return;
  }
  const std::size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
  std::memcpy(ptr, text.data(), n);
  static_cast<char *>(ptr)[n] = '\0';
}

// A number answered as an integer: truncated, 0 when it is not a number or
// does not fit (the host's figures may be set to anything by a test).
IntPtr answerNumber(double x) {
  if (!(x > -2147483648.0 && x < 2147483648.0)) {
    return 0;
  }
  return static_cast<IntPtr>(x);
}

} // namespace

std::string executableDirectory() {
#if defined(_WIN32)
  char buffer[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  std::string path(buffer, n);
  const auto slash = path.find_last_of("\\/");
#else
  char buffer[4096];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  std::string path(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
  const auto slash = path.find_last_of('/');
#endif
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::unique_ptr<PluginLibrary> PluginLibrary::load(const std::string &path, std::string &error) {
  const std::string resolved = hasDirectory(path) ? path : executableDirectory() + path;
  std::unique_ptr<PluginLibrary> library(new PluginLibrary());
  library->path_ = resolved;
#if defined(_WIN32)
  HMODULE module = LoadLibraryA(resolved.c_str());
  if (module == nullptr) {
    error = "cannot load plug-in library '" + resolved + "' (Windows error " +
            std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  library->handle_ = module;
  FARPROC entry = GetProcAddress(module, "main");
  if (entry == nullptr) {
    entry = GetProcAddress(module, "VSTPluginMain");
  }
  library->main_ = reinterpret_cast<PluginMain>(reinterpret_cast<void (*)()>(entry));
#else
  void *handle = dlopen(resolved.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char *reason = dlerror();
    error = "cannot load plug-in library: " + std::string(reason != nullptr ? reason : resolved);
    return nullptr;
  }
  library->handle_ = handle;
  void *entry = dlsym(handle, "main");
  if (entry == nullptr) {
    entry = dlsym(handle, "VSTPluginMain");
  }
  library->main_ = reinterpret_cast<PluginMain>(entry);
#endif
  if (library->main_ == nullptr) {
    error = "'" + resolved + "' is not a plug-in: it exports no 'main'";
    return nullptr;
  }
  return library;
}

PluginLibrary::~PluginLibrary() {
#if defined(_WIN32)
  if (handle_ != nullptr) {
    FreeLibrary(static_cast<HMODULE>(handle_));
  }
#else
  if (handle_ != nullptr) {
    dlclose(handle_);
  }
#endif
}

PluginInstance::PluginInstance(std::size_t recordCapacity) {
  // Reserved up front: recording never allocates during processing.
  requests_.reserve(recordCapacity);
  events_.reserve(recordCapacity);
}

std::unique_ptr<PluginInstance> PluginInstance::open(PluginMain main, std::string &error,
                                                     HostAnswers answers,
                                                     std::size_t recordCapacity) {
  std::unique_ptr<PluginInstance> instance(new PluginInstance(recordCapacity));
  instance->answers = std::move(answers);
  PluginInstance *previous = tOpening;
  tOpening = instance.get();
  fw::EffectRecord *record = main(hostCallback);
  tOpening = previous;
  if (record == nullptr) {
    error = "the plug-in's main answered null: no effect was created";
    return nullptr;
  }
  if (record->magic != fw::kRecordMagic) {
    error = "the plug-in's main answered a record without the 'VstP' magic";
    return nullptr;
  }
  record->userData = instance.get();
  instance->record_ = record;
  return instance;
}

PluginInstance::~PluginInstance() {
  if (record_ != nullptr) {
    close();
  }
}

IntPtr PluginInstance::dispatch(int32_t code, int32_t index, IntPtr value, void *ptr, float opt) {
  if (code == fw::kReqClose) {
    return close();
  }
  return record_->dispatchEntry(record_, code, index, value, ptr, opt);
}

IntPtr PluginInstance::close() {
  fw::EffectRecord *record = record_;
  record_ = nullptr;
  return record->dispatchEntry(record, fw::kReqClose, 0, 0, nullptr, 0.0f);
}

void PluginInstance::setParam(int32_t index, float value) {
  record_->setParamEntry(record_, index, value);
}

float PluginInstance::getParam(int32_t index) { return record_->getParamEntry(record_, index); }

void PluginInstance::processAdding(float **inputs, float **outputs, int32_t frames) {
  inProcess_ = true;
  processFrames_ = frames;
  record_->processEntry(record_, inputs, outputs, frames);
  inProcess_ = false;
  ++blockCount;
  samplePosition += frames > 0 ? frames : 0;
}

void PluginInstance::processOverwriting(float **inputs, float **outputs, int32_t frames) {
  inProcess_ = true;
  processFrames_ = frames;
  record_->overwritingEntry(record_, inputs, outputs, frames);
  inProcess_ = false;
  ++blockCount;
  samplePosition += frames > 0 ? frames : 0;
}

void PluginInstance::setSampleRate(float rate) {
  sampleRate = rate;
  dispatch(fw::kReqSetSampleRate, 0, 0, nullptr, rate);
}

void PluginInstance::setBlockSize(int32_t frames) {
  blockSize = frames;
  dispatch(fw::kReqSetBlockSize, 0, frames);
}

std::string PluginInstance::text(int32_t code, int32_t index) {
  char buffer[256] = {};
  dispatch(code, index, 0, buffer);
  return std::string(buffer, strnlen(buffer, sizeof buffer - 1));
}

int32_t PluginInstance::capability(const char *keyword) {
  return static_cast<int32_t>(dispatch(fw::kReqCapability, 0, 0, const_cast<char *>(keyword)));
}

std::size_t PluginInstance::countRequests(int32_t code) const {
  std::size_t n = 0;
  for (const auto &r : requests_) {
    n += r.code == code ? 1 : 0;
  }
  return n;
}

void PluginInstance::clearRecords() {
  requests_.clear();
  events_.clear();
  dropped_ = 0;
}

void PluginInstance::fillTransport() {
  const double beatsPerSecond = transport.tempo / 60.0;
  const double seconds = static_cast<double>(samplePosition) / sampleRate;
  const double beat = transport.startBeat + (transport.playing ? seconds * beatsPerSecond : 0.0);
  const double beatsPerBar = transport.timeSigNumerator * 4.0 /
                             (transport.timeSigDenominator > 0 ? transport.timeSigDenominator : 4);
  transportInfo_ = fw::TransportInfo{};
  transportInfo_.samplePosition = static_cast<double>(samplePosition);
  transportInfo_.sampleRate = sampleRate;
  transportInfo_.beatPosition = beat;
  transportInfo_.tempo = transport.tempo;
  transportInfo_.barStartPosition = std::floor(beat / beatsPerBar) * beatsPerBar;
  transportInfo_.timeSigNumerator = transport.timeSigNumerator;
  transportInfo_.timeSigDenominator = transport.timeSigDenominator;
  transportInfo_.flags = (transport.playing ? fw::kTransportPlaying : 0) |
                         fw::kTransportBeatPositionValid | fw::kTransportTempoValid |
                         fw::kTransportBarStartValid | fw::kTransportTimeSignatureValid;
}

IntPtr PluginInstance::answer(fw::EffectRecord *record, int32_t code, int32_t index, IntPtr value,
                              void *ptr, float opt) {
  const RecordedRequest request{record, code, index, value, ptr, opt, inProcess_ ? blockCount : -1};
  if (observer != nullptr) {
    observer(observerContext, request, ptr);
  }
  if (requests_.size() < requests_.capacity()) {
    requests_.push_back(request);
  } else {
    ++dropped_;
  }
  switch (code) {
  case fw::kHostGetVersion:
    return answers.version;
  case fw::kHostIsPinConnected:
    return answers.pinConnected;
  case fw::kHostWantEvents:
    return 1;
  case fw::kHostGetTransportInfo:
    if (!transport.available) {
      return 0;
    }
    fillTransport();
    return reinterpret_cast<IntPtr>(&transportInfo_);
  case fw::kHostSendEvents: {
    if (answers.sendEvents != 1) {
      return answers.sendEvents; // refused: nothing is taken
    }
    // The list lives only for this call: copy what we keep.
    const auto *list = static_cast<const fw::EventList *>(ptr);
    if (list == nullptr) {
      return 0;
    }
    for (int32_t i = 0; i < list->eventCount; ++i) {
      const fw::MidiEventRecord *event = list->events[i];
      if (event == nullptr || event->eventType != fw::kEventTypeMidi) {
        continue;
      }
      if (events_.size() < events_.capacity()) {
        events_.push_back(ReceivedEvent{blockCount, samplePosition, processFrames_, *event});
      } else {
        ++dropped_;
      }
    }
    return 1;
  }
  case fw::kHostTempoAt:
    return answerNumber(transport.tempo * 10000.0);
  case fw::kHostGetSampleRate:
    return answerNumber(sampleRate);
  case fw::kHostGetBlockSize:
    return blockSize;
  case fw::kHostGetProcessLevel:
    return inProcess_ ? 2 : 1; // realtime while processing, user thread otherwise
  case fw::kHostGetAutomationState:
    return 1;
  case fw::kHostGetVendorText:
    copyText(ptr, answers.vendor, 64);
    return 1;
  case fw::kHostGetProductText:
    copyText(ptr, answers.product, 64);
    return 1;
  case fw::kHostGetVendorVersion:
    return 1;
  case fw::kHostQueryCapability: {
    static const char *const supported[] = {"sendVstEvents", "sendVstMidiEvent", "sendVstTimeInfo",
                                            "receiveVstEvents", "receiveVstMidiEvent"};
    if (ptr == nullptr) {
      return 0;
    }
    for (const char *keyword : supported) {
      if (std::strcmp(keyword, static_cast<const char *>(ptr)) == 0) {
        return 1;
      }
    }
    return 0;
  }
  case fw::kHostGetLanguage:
    return 1;
  default:
    (void)opt;
    (void)value;
    (void)index;
    return 0;
  }
}

} // namespace host
