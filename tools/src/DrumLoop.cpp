#include "DrumLoop.h"

#include <cmath>
#include <cstdint>

namespace plughost {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Noise from a fixed seed, so the loop never changes.
class Noise {
public:
  float next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return static_cast<float>(static_cast<int32_t>(state_) / 2147483648.0);
  }

private:
  uint32_t state_ = 0x2545F491u;
};

void addKick(std::vector<float> &out, std::size_t at, double rate, float gain) {
  double phase = 0.0;
  const std::size_t length = static_cast<std::size_t>(0.45 * rate);
  for (std::size_t i = 0; i < length && at + i < out.size(); ++i) {
    const double t = static_cast<double>(i) / rate;
    const double frequency = 45.0 + 90.0 * std::exp(-t / 0.03);
    phase += 2.0 * kPi * frequency / rate;
    const double body = std::sin(phase) * std::exp(-t / 0.16);
    const double click = t < 0.003 ? (1.0 - t / 0.003) * 0.5 : 0.0;
    out[at + i] += gain * static_cast<float>(body + click);
  }
}

void addSnare(std::vector<float> &out, std::size_t at, double rate, float gain, Noise &noise) {
  const std::size_t length = static_cast<std::size_t>(0.3 * rate);
  for (std::size_t i = 0; i < length && at + i < out.size(); ++i) {
    const double t = static_cast<double>(i) / rate;
    const double tone = std::sin(2.0 * kPi * 185.0 * t) * std::exp(-t / 0.05);
    const double rattle = noise.next() * std::exp(-t / 0.09);
    out[at + i] += gain * static_cast<float>(0.5 * tone + 0.6 * rattle);
  }
}

void addHat(std::vector<float> &out, std::size_t at, double rate, float gain, double decay,
            Noise &noise) {
  const std::size_t length = static_cast<std::size_t>(decay * 6.0 * rate);
  float previous = 0.0f;
  for (std::size_t i = 0; i < length && at + i < out.size(); ++i) {
    const double t = static_cast<double>(i) / rate;
    const float white = noise.next();
    const float bright = white - previous; // a first difference: only the highs
    previous = white;
    out[at + i] += gain * static_cast<float>(bright * std::exp(-t / decay));
  }
}

} // namespace

AudioData makeDrumLoop(double sampleRate) {
  constexpr int kBars = 2;
  constexpr int kEighthsPerBar = 8;
  const double eighth = 60.0 / kDrumLoopTempo / 2.0 * sampleRate; // frames
  const auto frames = static_cast<std::size_t>(std::lround(eighth * kEighthsPerBar * kBars));
  std::vector<float> mix(frames, 0.0f);
  Noise noise;
  // One bar in eighths: K kick, S snare, h closed hat, o open hat.
  const char *const kPattern[kBars] = {"KhSKKhSh", "KhSKhKSo"};
  for (int bar = 0; bar < kBars; ++bar) {
    for (int step = 0; step < kEighthsPerBar; ++step) {
      const auto at = static_cast<std::size_t>(std::lround((bar * kEighthsPerBar + step) * eighth));
      const char hit = kPattern[bar][step];
      if (hit == 'K') {
        addKick(mix, at, sampleRate, 0.9f);
      } else if (hit == 'S') {
        addSnare(mix, at, sampleRate, 0.7f, noise);
      }
      // Hats on every eighth, under everything else.
      addHat(mix, at, sampleRate, hit == 'o' ? 0.22f : 0.16f, hit == 'o' ? 0.08 : 0.018, noise);
    }
  }
  float peak = 0.0f;
  for (float x : mix) {
    peak = std::fmax(peak, std::fabs(x));
  }
  const float scale = peak > 0.0f ? 0.8f / peak : 1.0f;
  for (float &x : mix) {
    x *= scale;
  }
  AudioData audio;
  audio.sampleRate = sampleRate;
  audio.channels.push_back(std::move(mix));
  return audio;
}

} // namespace plughost
