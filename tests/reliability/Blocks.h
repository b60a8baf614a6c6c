// Audio buffers for driving a plug-in through the host code: one heap buffer
// per channel, sized exactly to the block (so that sanitizers see any access
// past it), with pointer arrays as the processing entries take them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace reliability {

struct Blocks {
  std::vector<std::vector<float>> in, out;
  std::vector<float *> inPtrs, outPtrs;

  Blocks(int inputs, int outputs, int32_t frames)
      : in(inputs, std::vector<float>(frames > 0 ? frames : 1, 0.0f)),
        out(outputs, std::vector<float>(frames > 0 ? frames : 1, 0.0f)) {
    for (auto &c : in) {
      inPtrs.push_back(c.data());
    }
    for (auto &c : out) {
      outPtrs.push_back(c.data());
    }
  }
  void fillInputs(float value) {
    for (auto &c : in) {
      for (float &x : c) {
        x = value;
      }
    }
  }
  // In place: input channel 0 is also output channel 0; otherwise every output
  // has a buffer of its own.
  void setInPlace(bool inPlace) {
    for (std::size_t o = 0; o < out.size(); ++o) {
      outPtrs[o] = out[o].data();
    }
    if (inPlace) {
      outPtrs[0] = inPtrs[0];
    }
  }
  float **inputs() { return inPtrs.data(); }
  float **outputs() { return outPtrs.data(); }
};

} // namespace reliability
