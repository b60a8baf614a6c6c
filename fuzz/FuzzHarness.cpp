#include "FuzzHarness.h"

#include "framework/HostRecords.h"
#include "framework/RequestCodes.h"
#include "host/PluginHost.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace fuzz {

namespace {

[[noreturn]] void finding(const char *format, ...) {
  std::va_list args;
  va_start(args, format);
  std::fprintf(stderr, "FINDING: ");
  std::vfprintf(stderr, format, args);
  std::fprintf(stderr, "\n");
  va_end(args);
  std::abort();
}

// FUZZ_TRACE=1 in the environment prints every step, to explain a finding.
bool gTrace = false;

void trace(const char *format, ...) {
  if (!gTrace) {
    return;
  }
  std::va_list args;
  va_start(args, format);
  std::fprintf(stderr, "step: ");
  std::vfprintf(stderr, format, args);
  std::fprintf(stderr, "\n");
  va_end(args);
}

// Reads the input front to back; once it runs dry every read answers 0.
class Reader {
public:
  Reader(const uint8_t *data, std::size_t size) : p_(data), end_(data + size) {}
  bool empty() const { return p_ >= end_; }
  uint8_t byte() { return p_ < end_ ? *p_++ : 0; }
  uint16_t u16() {
    const uint16_t low = byte();
    return static_cast<uint16_t>(low | byte() << 8);
  }
  uint32_t u32() {
    const uint32_t low = u16();
    return low | static_cast<uint32_t>(u16()) << 16;
  }
  uint64_t u64() {
    const uint64_t low = u32();
    return low | static_cast<uint64_t>(u32()) << 32;
  }
  std::size_t take(uint8_t *out, std::size_t n) {
    const std::size_t left = static_cast<std::size_t>(end_ - p_);
    const std::size_t k = n < left ? n : left;
    std::memcpy(out, p_, k);
    p_ += k;
    return k;
  }

  // Mostly indices near the valid ones, sometimes any 32-bit number.
  int32_t index() {
    const uint8_t b = byte();
    return b < 224 ? static_cast<int32_t>(b % 20) - 3 : static_cast<int32_t>(u32());
  }
  int32_t number() {
    const uint8_t b = byte();
    return b < 192 ? static_cast<int32_t>(b % 40) - 8 : static_cast<int32_t>(u32());
  }
  // Edge values most of the time, any bit pattern otherwise.
  float anyFloat() {
    static const float kTable[] = {0.0f,
                                   -0.0f,
                                   1.0f,
                                   0.5f,
                                   0.99999994f,
                                   1.0000001f,
                                   1.0f / 7.0f,
                                   6.0f / 7.0f,
                                   74.0f / 127.0f,
                                   1.0f / 127.0f,
                                   0.25f,
                                   0.125f,
                                   -1.0f,
                                   2.0f,
                                   8.0f,
                                   127.0f,
                                   std::numeric_limits<float>::quiet_NaN(),
                                   -std::numeric_limits<float>::quiet_NaN(),
                                   std::numeric_limits<float>::signaling_NaN(),
                                   std::numeric_limits<float>::infinity(),
                                   -std::numeric_limits<float>::infinity(),
                                   std::numeric_limits<float>::max(),
                                   -std::numeric_limits<float>::max(),
                                   std::numeric_limits<float>::min(),
                                   std::numeric_limits<float>::denorm_min(),
                                   -std::numeric_limits<float>::denorm_min(),
                                   1e30f,
                                   -1e30f,
                                   44100.0f,
                                   2147483648.0f,
                                   -2147483904.0f,
                                   1e10f};
    const uint8_t b = byte();
    if (b % 4 == 0) {
      const uint32_t bits = u32();
      float f;
      std::memcpy(&f, &bits, sizeof f);
      return f;
    }
    return kTable[byte() % (sizeof kTable / sizeof kTable[0])];
  }
  double anyDouble() {
    static const double kTable[] = {0.0,
                                    0.5,
                                    1.0,
                                    3.99,
                                    4.0,
                                    -0.5,
                                    -1.0,
                                    -4.0,
                                    1e300,
                                    -1e300,
                                    67108864.0,
                                    2147483648.0 / 32.0,
                                    -2147483648.0 / 32.0,
                                    1e9,
                                    std::numeric_limits<double>::quiet_NaN(),
                                    std::numeric_limits<double>::infinity(),
                                    -std::numeric_limits<double>::infinity(),
                                    std::numeric_limits<double>::denorm_min(),
                                    120.0,
                                    0.0001};
    const uint8_t b = byte();
    if (b % 4 == 0) {
      const uint64_t bits = u64();
      double d;
      std::memcpy(&d, &bits, sizeof d);
      return d;
    }
    return kTable[byte() % (sizeof kTable / sizeof kTable[0])];
  }

private:
  const uint8_t *p_;
  const uint8_t *end_;
};

// xorshift: cheap samples from a seed, so that long blocks cost few input bytes.
struct Noise {
  uint64_t state;
  explicit Noise(uint64_t seed) : state(seed | 1) {}
  uint64_t next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  }
  float ordinary() { // finite, mostly audio-sized
    const uint64_t r = next();
    switch (r % 16) {
    case 0:
      return 0.0f;
    case 1:
      return std::numeric_limits<float>::denorm_min() * static_cast<float>(r >> 40 & 0xff);
    case 2:
      return (r & 0x100) ? 1e30f : -1e30f;
    default:
      return static_cast<float>(static_cast<int64_t>(r >> 32 & 0xffff) - 32768) / 16384.0f;
    }
  }
  float wild() { // anything, non-finite values included
    const uint64_t r = next();
    switch (r % 12) {
    case 0:
      return std::numeric_limits<float>::quiet_NaN();
    case 1:
      return std::numeric_limits<float>::infinity();
    case 2:
      return -std::numeric_limits<float>::infinity();
    case 3: {
      const uint32_t bits = static_cast<uint32_t>(r >> 16);
      float f;
      std::memcpy(&f, &bits, sizeof f);
      return f;
    }
    default:
      return ordinary();
    }
  }
};

// A sample that any effect can take and give back finite: finite and far from
// the float range's end, so that a gain of a few units cannot overflow.
bool isOrdinary(float x) { return std::isfinite(x) && std::fabs(x) <= 1e30f; }

// A text buffer for requests with `ptr`: the host's area with guard bytes
// before it; the plug-in may write only the first `limit` bytes of the area.
class GuardedText {
public:
  static constexpr std::size_t kBefore = 64;
  static constexpr std::size_t kArea = 1024;
  static constexpr uint8_t kGuard = 0xA5;

  GuardedText() : bytes_(kBefore + kArea), saved_(kBefore + kArea) {}

  // Guard pattern everywhere, then `text` and its zero at the area's start.
  void prepare(const uint8_t *text, std::size_t length) {
    std::memset(bytes_.data(), kGuard, bytes_.size());
    if (length > kArea - 1) {
      length = kArea - 1;
    }
    if (length > 0) {
      std::memcpy(bytes_.data() + kBefore, text, length);
    }
    bytes_[kBefore + length] = 0;
    saved_ = bytes_;
  }
  char *area() { return reinterpret_cast<char *>(bytes_.data() + kBefore); }

  void check(int32_t code, int32_t index, std::size_t limit) const {
    for (std::size_t i = 0; i < kBefore; ++i) {
      if (bytes_[i] != saved_[i]) {
        finding("request %d (index %d) wrote %zu bytes before the host's buffer", code, index,
                kBefore - i);
      }
    }
    for (std::size_t i = kBefore + limit; i < bytes_.size(); ++i) {
      if (bytes_[i] != saved_[i]) {
        finding("request %d (index %d) wrote byte %zu of the host's buffer; the limit is %zu", code,
                index, i - kBefore, limit);
      }
    }
  }

  // The text the plug-in left, up to its zero (which must lie within limit).
  std::string text(int32_t code, std::size_t limit) const {
    const char *start = reinterpret_cast<const char *>(bytes_.data() + kBefore);
    const std::size_t n = strnlen(start, kArea);
    if (limit > 0 && n >= limit) {
      finding("request %d left a text of %zu bytes without its zero within %zu", code, n, limit);
    }
    return std::string(start, n);
  }

private:
  std::vector<uint8_t> bytes_;
  std::vector<uint8_t> saved_;
};

// State shared with the host's request observer.
struct Session {
  const EffectProfile *profile = nullptr;
  bool inProcess = false;
  bool overwriting = false;
  int32_t frames = 0;
  int eventRequests = 0;
  int transportRequests = 0;
};

void observeRequest(void *context, const host::RecordedRequest &request, void *ptr) {
  Session &s = *static_cast<Session *>(context);
  if (!s.inProcess) {
    return;
  }
  switch (request.code) {
  case fw::kHostSendEvents: {
    if (!s.profile->sendsEvents) {
      finding("processing sent events (request 8), which this effect never does");
    }
    ++s.eventRequests;
    const auto *list = static_cast<const fw::EventList *>(ptr);
    if (list == nullptr) {
      finding("processing sent a null event list");
    }
    if (list->eventCount < 0 || list->eventCount > 2) {
      finding("event list with %d events", list->eventCount);
    }
    for (int32_t i = 0; i < list->eventCount; ++i) {
      const fw::MidiEventRecord *e = list->events[i];
      if (e == nullptr) {
        finding("event list entry %d is null", i);
      }
      if (e->eventType != fw::kEventTypeMidi) {
        continue;
      }
      if (e->midiBytes[1] > 127 || e->midiBytes[2] > 127) {
        finding("MIDI data byte above 127: %02x %02x %02x %02x", e->midiBytes[0], e->midiBytes[1],
                e->midiBytes[2], e->midiBytes[3]);
      }
      const int32_t last = s.frames > 0 ? s.frames - 1 : 0;
      if (e->frameOffset < 0 || e->frameOffset > last) {
        finding("event frame offset %d outside its block of %d frames", e->frameOffset, s.frames);
      }
    }
    break;
  }
  case fw::kHostGetTransportInfo:
    if (!s.profile->asksTransport || !s.overwriting) {
      finding("processing%s asked for the transport (request 7)",
              s.overwriting ? "Overwriting" : "Adding");
    }
    if (request.value != fw::kRouterTransportMask) {
      finding("transport request with mask %ld", static_cast<long>(request.value));
    }
    ++s.transportRequests;
    break;
  default:
    finding("processing sent host request %d", request.code);
  }
}

// The most bytes a request may write into the host's buffer, zero included.
std::size_t writeLimit(const EffectProfile &profile, int32_t code, std::size_t textBytes) {
  switch (code) {
  case fw::kReqSetProgramName:
  case fw::kReqTextToParam:
  case fw::kReqCapability:
    return textBytes; // texts the host hands in: nothing beyond them
  case fw::kReqGetProgramName:
    return profile.programNameBytes;
  case fw::kReqParamLabel:
    return 11;
  case fw::kReqParamDisplay:
    return profile.paramDisplayBytes;
  case fw::kReqParamName:
    return 10;
  case fw::kReqProgramNameAt:
    return 24;
  case fw::kReqEffectName:
  case fw::kReqErrorText:
    return 32;
  case fw::kReqVendorText:
  case fw::kReqProductText:
    return 64;
  case fw::kReqGetStateBlock:
    return sizeof(void *); // where the block's address goes
  default:
    return 0; // no other request of these effects writes through ptr
  }
}

constexpr int64_t kFrameBudget = 1 << 21; // frames processed per input at most

class Player {
public:
  Player(const EffectProfile &profile, host::PluginInstance &instance, Reader &in)
      : profile_(profile), p_(instance), in_(in) {
    session_.profile = &profile;
    p_.observer = observeRequest;
    p_.observerContext = &session_;
    inputs_ = p_.record()->inputCount;
    outputs_ = p_.record()->outputCount;
    params_ = p_.record()->paramCount;
  }

  // Returns false once the instance is closed.
  bool step() {
    switch (in_.byte() % 12) {
    case 0:
      return dispatchAny();
    case 1: {
      const int32_t index = in_.index();
      const float value = in_.anyFloat();
      trace("setParam(%d, %g)", index, static_cast<double>(value));
      p_.setParam(index, value);
      break;
    }
    case 2: {
      const int32_t index = in_.index();
      trace("getParam(%d) = %g", index, static_cast<double>(p_.getParam(index)));
      break;
    }
    case 3: {
      const int32_t program = in_.number();
      trace("set program %d", program);
      p_.dispatch(fw::kReqSetProgram, 0, program);
      break;
    }
    case 4:
      rename();
      break;
    case 5: {
      const int32_t value = in_.byte() % 3;
      trace("%s", value == 0 ? "suspend" : "resume");
      p_.dispatch(fw::kReqSuspendResume, 0, value);
      break;
    }
    case 6:
      process(1);
      break;
    case 7:
      changeHost();
      break;
    case 8:
      readTexts(in_.index());
      break;
    case 9: {
      const float rate = in_.anyFloat();
      const int32_t frames = in_.number();
      trace("sample rate %g, block size %d", static_cast<double>(rate), frames);
      p_.dispatch(fw::kReqSetSampleRate, 0, 0, nullptr, rate);
      p_.dispatch(fw::kReqSetBlockSize, 0, frames);
      break;
    }
    case 10: {
      const int32_t index = in_.index();
      const float value = in_.anyFloat();
      trace("setParam(%d, %g) and read its texts", index, static_cast<double>(value));
      p_.setParam(index, value);
      readTexts(index);
      break;
    }
    default:
      process(1 + in_.byte() % 64);
      break;
    }
    return true;
  }

private:
  // Any request from -8 to 70 with any fields; `ptr` always points to a
  // guarded buffer holding a text from the input.
  bool dispatchAny() {
    const int32_t code = static_cast<int32_t>(in_.byte() % 79) - 8;
    const int32_t index = in_.index();
    const int32_t value = in_.number();
    const float opt = in_.anyFloat();
    uint8_t text[600];
    const std::size_t length = in_.take(text, in_.u16() % sizeof text);
    trace("dispatch(%d, index %d, value %d, opt %g, text of %zu bytes)", code, index, value,
          static_cast<double>(opt), length);
    if (code == fw::kReqClose) {
      if (p_.close() != 1) {
        finding("close answered other than 1");
      }
      return false; // the record is gone: this is the last step
    }
    guarded_.prepare(text, length);
    const std::size_t textBytes = strnlen(guarded_.area(), GuardedText::kArea) + 1;
    p_.dispatch(code, index, value, guarded_.area(), opt);
    guarded_.check(code, index, writeLimit(profile_, code, textBytes));
    return true;
  }

  void rename() {
    uint8_t text[600];
    const std::size_t length = in_.take(text, in_.u16() % sizeof text);
    guarded_.prepare(text, length);
    const std::size_t textBytes = strnlen(guarded_.area(), GuardedText::kArea) + 1;
    trace("rename program: %zu bytes", textBytes - 1);
    p_.dispatch(fw::kReqSetProgramName, 0, 0, guarded_.area());
    guarded_.check(fw::kReqSetProgramName, 0, textBytes);
    readText(fw::kReqGetProgramName, 0);
  }

  void readText(int32_t code, int32_t index) {
    guarded_.prepare(nullptr, 0);
    p_.dispatch(code, index, 0, guarded_.area());
    const std::size_t limit = writeLimit(profile_, code, 0);
    guarded_.check(code, index, limit);
    (void)guarded_.text(code, limit);
  }

  void readTexts(int32_t index) {
    readText(fw::kReqGetProgramName, index);
    readText(fw::kReqParamName, index);
    readText(fw::kReqParamLabel, index);
    readText(fw::kReqParamDisplay, index);
  }

  void changeHost() {
    switch (in_.byte() % 9) {
    case 0:
      p_.answers.version = in_.byte() % 2 == 0 ? 0 : static_cast<int32_t>(in_.u32());
      trace("host version answer %ld", static_cast<long>(p_.answers.version));
      break;
    case 1: {
      static const fw::IntPtr kAnswers[] = {1, 0, 2, -1};
      p_.answers.sendEvents = kAnswers[in_.byte() % 4];
      trace("host send-events answer %ld", static_cast<long>(p_.answers.sendEvents));
      break;
    }
    case 2:
      p_.transport.available = !p_.transport.available;
      trace("transport %s", p_.transport.available ? "available" : "null");
      break;
    case 3:
      p_.transport.playing = !p_.transport.playing;
      trace("transport %s", p_.transport.playing ? "playing" : "stopped");
      break;
    case 4:
      p_.transport.tempo = in_.anyDouble();
      trace("tempo %g", p_.transport.tempo);
      break;
    case 5:
      p_.transport.startBeat = in_.anyDouble();
      trace("song start position %g", p_.transport.startBeat);
      break;
    case 6:
      p_.sampleRate = in_.anyFloat();
      trace("host sample rate %g", static_cast<double>(p_.sampleRate));
      break;
    case 7:
      p_.transport.timeSigNumerator = in_.number();
      p_.transport.timeSigDenominator = in_.number();
      trace("time signature %d/%d", p_.transport.timeSigNumerator, p_.transport.timeSigDenominator);
      break;
    default:
      p_.samplePosition = static_cast<int64_t>(in_.u64() >> (2 + in_.byte() % 62));
      trace("sample position %lld", static_cast<long long>(p_.samplePosition));
      break;
    }
  }

  int32_t frameCount() {
    static const int32_t kTable[] = {0,   1,    2,    63,   64,   65,   255,   256, 511,
                                     512, 1023, 1024, 1025, 4096, 8192, 16384, -1};
    const uint8_t b = in_.byte();
    if (b < 128) {
      return b;
    }
    if (b < 200) {
      return kTable[b % (sizeof kTable / sizeof kTable[0])];
    }
    return in_.u16() % 16385;
  }

  // `repeat` blocks of one kind: frames, adding or overwriting, in place or
  // not, and how the samples are made.
  void process(int repeat) {
    const uint8_t mode = in_.byte();
    const bool overwriting = (mode & 1) != 0;
    const bool inPlace = (mode & 2) != 0;
    const int style = mode >> 2 & 3;
    const int inPlaceOutput = mode >> 4 & 7;
    const int32_t frames = frameCount();
    const float constant = in_.anyFloat();
    Noise noise(in_.u64());
    const std::size_t n = frames > 0 ? static_cast<std::size_t>(frames) : 0;
    trace("%d × process%s of %d frames%s, samples: %s (constant %g)", repeat,
          overwriting ? "Overwriting" : "Adding", frames, inPlace ? " in place" : "",
          style == 0   ? "ordinary"
          : style == 1 ? "wild"
          : style == 2 ? "from the input"
                       : "constant",
          static_cast<double>(constant));

    for (int r = 0; r < repeat; ++r) {
      if (framesPlayed_ + static_cast<int64_t>(n) > kFrameBudget) {
        return;
      }
      framesPlayed_ += static_cast<int64_t>(n);

      // Exactly sized heap buffers: AddressSanitizer reports any access past them.
      std::vector<std::vector<float>> in(inputs_, std::vector<float>(n));
      std::vector<std::vector<float>> out(outputs_, std::vector<float>(n));
      bool finite = true;
      for (auto &channel : in) {
        for (float &x : channel) {
          switch (style) {
          case 0:
            x = noise.ordinary();
            break;
          case 1:
            x = noise.wild();
            break;
          case 2: {
            const uint32_t bits = in_.u32();
            std::memcpy(&x, &bits, sizeof x);
            break;
          }
          default:
            x = constant;
            break;
          }
          finite = finite && isOrdinary(x);
        }
      }
      for (auto &channel : out) {
        for (float &x : channel) {
          x = noise.ordinary(); // what the host's buffers held before
        }
      }
      std::vector<float *> inPtrs, outPtrs;
      for (auto &c : in) {
        inPtrs.push_back(n > 0 ? c.data() : nullptr);
      }
      for (auto &c : out) {
        outPtrs.push_back(n > 0 ? c.data() : nullptr);
      }
      std::vector<bool> aliased(inputs_, false);
      if (inPlace && n > 0) {
        if (inputs_ == outputs_) {
          for (int c = 0; c < inputs_; ++c) {
            outPtrs[c] = inPtrs[c];
            aliased[c] = true;
          }
        } else {
          outPtrs[inPlaceOutput % outputs_] = inPtrs[0];
          aliased[0] = true;
        }
      }
      if (n == 0) {
        // Zero frames: the host still hands valid pointers.
        for (auto &ptr : inPtrs) {
          ptr = &scratch_[0];
        }
        for (auto &ptr : outPtrs) {
          ptr = &scratch_[1];
        }
      }
      const std::vector<std::vector<float>> inputsBefore = in;

      // Output must be finite when the block's inputs and every parameter are.
      for (int i = 0; i < params_; ++i) {
        finite = finite && std::isfinite(p_.getParam(i));
      }

      p_.clearRecords();
      session_.inProcess = true;
      session_.overwriting = overwriting;
      session_.frames = frames;
      session_.eventRequests = 0;
      session_.transportRequests = 0;
      if (overwriting) {
        p_.processOverwriting(inPtrs.data(), outPtrs.data(), frames);
      } else {
        p_.processAdding(inPtrs.data(), outPtrs.data(), frames);
      }
      session_.inProcess = false;

      if (session_.eventRequests > 1) {
        finding("%d send-events requests in one block", session_.eventRequests);
      }
      if (profile_.asksTransport && overwriting && session_.transportRequests != 1) {
        finding("%d transport requests in one processOverwriting block",
                session_.transportRequests);
      }
      for (int c = 0; c < inputs_; ++c) {
        if (!aliased[c] && n > 0 &&
            std::memcmp(in[c].data(), inputsBefore[c].data(), n * sizeof(float)) != 0) {
          finding("input channel %d, a buffer apart from the outputs, was written", c);
        }
      }
      if (finite) {
        for (int c = 0; c < outputs_; ++c) {
          for (std::size_t i = 0; i < n; ++i) {
            if (!std::isfinite(outPtrs[c][i])) {
              for (int k = 0; k < params_; ++k) {
                std::fprintf(stderr, "parameter %d: %g\n", k, static_cast<double>(p_.getParam(k)));
              }
              finding("output %d frame %zu is %g although inputs and parameters are finite "
                      "(%s, %d frames)",
                      c, i, static_cast<double>(outPtrs[c][i]),
                      overwriting ? "overwriting" : "adding", frames);
            }
          }
        }
      }
    }
  }

  const EffectProfile &profile_;
  host::PluginInstance &p_;
  Reader &in_;
  Session session_;
  GuardedText guarded_;
  int inputs_ = 0, outputs_ = 0, params_ = 0;
  int64_t framesPlayed_ = 0;
  float scratch_[2] = {0.0f, 0.0f};
};

} // namespace

host::PluginLibrary &loadLibrary(const EffectProfile &profile) {
  // Loaded once, before libFuzzer starts, so that the library's coverage
  // counters take part from the first input on.
  static std::unique_ptr<host::PluginLibrary> library = [&profile] {
    std::string error;
    const char *traceSetting = std::getenv("FUZZ_TRACE");
    gTrace = traceSetting != nullptr && traceSetting[0] != '\0' && traceSetting[0] != '0';
    auto loaded = host::PluginLibrary::load(profile.library, error);
    if (loaded == nullptr) {
      finding("%s", error.c_str());
    }
    return loaded;
  }();
  return *library;
}

int playInput(const EffectProfile &profile, const uint8_t *data, std::size_t size) {
  host::PluginLibrary &library = loadLibrary(profile);
  Reader in(data, size);
  host::HostAnswers answers;
  answers.version = in.byte() == 0 ? 0 : 2400;
  std::string error;
  // Few records: the harness checks requests as they come, through the observer.
  auto instance = host::PluginInstance::open(library.mainFunction(), error, answers, 64);
  if (answers.version == 0) {
    if (instance != nullptr) {
      finding("main created an effect although the host answered 0 to the version probe");
    }
    return 0;
  }
  if (instance == nullptr) {
    finding("main answered null: %s", error.c_str());
  }
  Player player(profile, *instance, in);
  while (!in.empty()) {
    if (!player.step()) {
      break;
    }
  }
  instance.reset(); // closes the effect unless the stream did
  return 0;
}

} // namespace fuzz
