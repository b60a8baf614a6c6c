#include "WavFile.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

namespace plughost {

namespace {

constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagFloat = 3;
constexpr uint16_t kTagExtensible = 0xFFFE;

// The tail shared by the sub-format GUIDs of PCM and float data.
constexpr unsigned char kGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                         0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

struct FileCloser {
  void operator()(std::FILE *f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

uint16_t le16(const unsigned char *p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t le32(const unsigned char *p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void put16(std::vector<unsigned char> &out, uint32_t v) {
  out.push_back(static_cast<unsigned char>(v));
  out.push_back(static_cast<unsigned char>(v >> 8));
}
void put32(std::vector<unsigned char> &out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}
void putId(std::vector<unsigned char> &out, const char *id) { out.insert(out.end(), id, id + 4); }

struct Format {
  uint16_t tag = 0;
  uint16_t channels = 0;
  uint32_t sampleRate = 0;
  uint16_t blockAlign = 0;
  uint16_t bits = 0;
};

// Decodes one sample of `bytes` bytes in the given encoding to a float.
float decodeSample(const unsigned char *p, int bytes, bool isFloat) {
  if (isFloat) {
    if (bytes == 4) {
      const uint32_t u = le32(p);
      float f;
      std::memcpy(&f, &u, 4);
      return f;
    }
    const uint64_t u = le32(p) | (static_cast<uint64_t>(le32(p + 4)) << 32);
    double d;
    std::memcpy(&d, &u, 8);
    return static_cast<float>(d);
  }
  switch (bytes) {
  case 1:
    return static_cast<float>(static_cast<int>(p[0]) - 128) / 128.0f;
  case 2:
    return static_cast<float>(static_cast<int16_t>(le16(p))) / 32768.0f;
  case 3: {
    const int32_t v = static_cast<int32_t>((static_cast<uint32_t>(p[0]) << 8) |
                                           (static_cast<uint32_t>(p[1]) << 16) |
                                           (static_cast<uint32_t>(p[2]) << 24)) >>
                      8;
    return static_cast<float>(v / 8388608.0);
  }
  default:
    return static_cast<float>(static_cast<int32_t>(le32(p)) / 2147483648.0);
  }
}

// Float to a signed integer of `bits` bits as libsndfile does it, so that
// both builds write the same samples: rounded to 32 bits (scaled by 2^31,
// limited to the range), then shifted down to the width. Not-a-number
// gives 0. Reading divides by 2^(bits-1), as libsndfile does too.
int64_t quantize(float x, int bits) {
  if (std::isnan(x)) {
    return 0;
  }
  const double scaled = static_cast<double>(x) * 2147483648.0;
  int64_t v = scaled >= 2147483647.0    ? 2147483647
              : scaled <= -2147483648.0 ? -2147483647 - 1
                                        : static_cast<int64_t>(std::nearbyint(scaled));
  return v >> (32 - bits); // an arithmetic shift: toward minus infinity
}

} // namespace

bool readWav(const std::string &path, AudioData &audio, std::string &error) {
  File file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    error = std::strerror(errno);
    return false;
  }
  unsigned char header[12];
  if (std::fread(header, 1, 12, file.get()) != 12 || std::memcmp(header, "RIFF", 4) != 0 ||
      std::memcmp(header + 8, "WAVE", 4) != 0) {
    error = "not a WAV file (this build reads WAV files only)";
    return false;
  }
  Format format;
  bool haveFormat = false;
  bool isFloat = false;
  std::vector<unsigned char> data;
  bool haveData = false;
  unsigned char chunk[8];
  while (!haveData && std::fread(chunk, 1, 8, file.get()) == 8) {
    const uint32_t size = le32(chunk + 4);
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (size < 16 || size > 4096) {
        error = "damaged WAV format chunk";
        return false;
      }
      std::vector<unsigned char> fmt(size + (size & 1));
      if (std::fread(fmt.data(), 1, fmt.size(), file.get()) < size) {
        error = "damaged WAV format chunk";
        return false;
      }
      format.tag = le16(&fmt[0]);
      format.channels = le16(&fmt[2]);
      format.sampleRate = le32(&fmt[4]);
      format.blockAlign = le16(&fmt[12]);
      format.bits = le16(&fmt[14]);
      uint16_t tag = format.tag;
      if (tag == kTagExtensible) {
        if (size < 40 || std::memcmp(&fmt[26], kGuidTail, sizeof kGuidTail) != 0) {
          error = "unsupported WAV sub-format";
          return false;
        }
        tag = le16(&fmt[24]);
      }
      isFloat = tag == kTagFloat;
      if (tag != kTagPcm && tag != kTagFloat) {
        error = "unsupported WAV encoding (format tag " + std::to_string(format.tag) +
                "): only PCM and float samples are read";
        return false;
      }
      haveFormat = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (!haveFormat) {
        error = "damaged WAV file: data before the format chunk";
        return false;
      }
      // A size past the end of the file (a stream that was never finished)
      // takes what is there.
      const long start = std::ftell(file.get());
      std::fseek(file.get(), 0, SEEK_END);
      const long end = std::ftell(file.get());
      std::fseek(file.get(), start, SEEK_SET);
      const uint64_t available = end > start ? static_cast<uint64_t>(end - start) : 0;
      const uint64_t take = size < available ? size : available;
      data.resize(static_cast<std::size_t>(take));
      if (take > 0 && std::fread(data.data(), 1, data.size(), file.get()) != data.size()) {
        error = "read error in the WAV data";
        return false;
      }
      haveData = true;
    } else {
      // Chunks we do not read are skipped, with their pad byte.
      const uint64_t skip = static_cast<uint64_t>(size) + (size & 1);
      if (skip > 0x7FFFFFFF || std::fseek(file.get(), static_cast<long>(skip), SEEK_CUR) != 0) {
        break;
      }
    }
  }
  if (!haveFormat || !haveData) {
    error = haveFormat ? "WAV file without data" : "WAV file without a format chunk";
    return false;
  }
  const int channels = format.channels;
  const int bytes = channels > 0 ? format.blockAlign / channels : 0;
  const bool bitsOk = isFloat ? (format.bits == 32 || format.bits == 64) && bytes * 8 == format.bits
                              : format.bits >= 8 && format.bits <= 32 && bytes >= 1 && bytes <= 4 &&
                                    format.bits <= bytes * 8;
  if (channels == 0 || !bitsOk || format.sampleRate == 0) {
    error = "unsupported WAV layout (" + std::to_string(channels) + " channels, " +
            std::to_string(format.bits) + " bits" + (isFloat ? " float" : "") + ")";
    return false;
  }
  const std::size_t frames = data.size() / format.blockAlign;
  audio.sampleRate = format.sampleRate;
  audio.channels.assign(channels, std::vector<float>(frames));
  const unsigned char *p = data.data();
  for (std::size_t i = 0; i < frames; ++i) {
    for (int c = 0; c < channels; ++c, p += bytes) {
      audio.channels[c][i] = decodeSample(p, bytes, isFloat);
    }
  }
  return true;
}

bool writeWav(const std::string &path, const AudioData &audio, WavEncoding encoding,
              std::string &error) {
  const int channels = audio.channelCount();
  const int bits = encoding == WavEncoding::Pcm16 ? 16 : encoding == WavEncoding::Pcm24 ? 24 : 32;
  const bool isFloat = encoding == WavEncoding::Float32;
  const int bytes = bits / 8;
  const uint64_t frames = static_cast<uint64_t>(audio.frames());
  const uint64_t dataBytes = frames * channels * bytes;
  if (channels < 1 || channels > 0xFFFF || dataBytes > 0xFFFFFF00ull - 80) {
    error = channels < 1 ? "no channels to write" : "too much audio for one WAV file";
    return false;
  }
  // Microsoft's rule: the extensible format chunk for more than two channels
  // or more than 16 bits.
  const bool extensible = channels > 2 || bits > 16;
  std::vector<unsigned char> head;
  putId(head, "RIFF");
  put32(head, 0); // filled in below
  putId(head, "WAVE");
  putId(head, "fmt ");
  put32(head, extensible ? 40 : isFloat ? 18 : 16);
  put16(head, extensible ? kTagExtensible : isFloat ? kTagFloat : kTagPcm);
  put16(head, static_cast<uint32_t>(channels));
  const auto rate = static_cast<uint32_t>(std::lround(audio.sampleRate));
  put32(head, rate);
  put32(head, rate * channels * bytes);
  put16(head, static_cast<uint32_t>(channels * bytes));
  put16(head, static_cast<uint32_t>(bits));
  if (extensible) {
    put16(head, 22);
    put16(head, static_cast<uint32_t>(bits));                   // valid bits
    put32(head, channels == 1 ? 0x4 : channels == 2 ? 0x3 : 0); // speaker positions
    put16(head, isFloat ? kTagFloat : kTagPcm);
    head.insert(head.end(), kGuidTail, kGuidTail + sizeof kGuidTail);
  } else if (isFloat) {
    put16(head, 0);
  }
  if (isFloat) {
    putId(head, "fact");
    put32(head, 4);
    put32(head, static_cast<uint32_t>(frames));
  }
  putId(head, "data");
  put32(head, static_cast<uint32_t>(dataBytes));
  const uint64_t riffSize = head.size() - 8 + dataBytes + (dataBytes & 1);
  head[4] = static_cast<unsigned char>(riffSize);
  head[5] = static_cast<unsigned char>(riffSize >> 8);
  head[6] = static_cast<unsigned char>(riffSize >> 16);
  head[7] = static_cast<unsigned char>(riffSize >> 24);

  File file(std::fopen(path.c_str(), "wb"));
  if (!file) {
    error = std::strerror(errno);
    return false;
  }
  bool ok = std::fwrite(head.data(), 1, head.size(), file.get()) == head.size();
  std::vector<unsigned char> block;
  constexpr uint64_t kFramesPerWrite = 4096;
  for (uint64_t start = 0; ok && start < frames; start += kFramesPerWrite) {
    const uint64_t end = start + kFramesPerWrite < frames ? start + kFramesPerWrite : frames;
    block.clear();
    for (uint64_t i = start; i < end; ++i) {
      for (int c = 0; c < channels; ++c) {
        const float x = audio.channels[c][i];
        uint32_t u;
        if (isFloat) {
          std::memcpy(&u, &x, 4);
        } else {
          u = static_cast<uint32_t>(quantize(x, bits));
        }
        for (int b = 0; b < bytes; ++b) {
          block.push_back(static_cast<unsigned char>(u >> (8 * b)));
        }
      }
    }
    ok = std::fwrite(block.data(), 1, block.size(), file.get()) == block.size();
  }
  if (ok && (dataBytes & 1) != 0) {
    ok = std::fputc(0, file.get()) != EOF;
  }
  if (std::fflush(file.get()) != 0) {
    ok = false;
  }
  if (!ok) {
    error = std::string("write error: ") + std::strerror(errno);
    return false;
  }
  return true;
}

} // namespace plughost
