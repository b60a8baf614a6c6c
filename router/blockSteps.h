// GAIN's per-block arithmetic as plain functions of their inputs: the envelope
// steps, the clock, the envelope, the level and the two sample loops.
// RouterEffect's processing operations call them once per block with its
// members. They are inline, so that a short block pays no call for them.
// Real-time code: no allocation, no locks, no exceptions, no system calls.
#pragma once

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 1)
#include <xmmintrin.h>
#define GAIN_HAS_SSE 1
#else
#define GAIN_HAS_SSE 0
#endif

namespace gain {

constexpr int kOutputCount = 8;

// Host value 0..1 to a number 1..8: value × 7 + 1, truncated toward zero.
// Values outside 0..1 and values that are not numbers are limited before the
// conversion, so it is never out of range and a clock division is never 0.
inline int32_t outputNumber(float value) {
  const double n = static_cast<double>(value) * 7.0 + 1.0;
  if (!(n >= 1.0)) { // below the range, or not a number
    return 1;
  }
  return n >= 8.0 ? 8 : static_cast<int32_t>(n);
}

// The step factor from the range: range × 0.15 + 0.004 in double precision,
// stored as a float like the steps it scales.
inline float stepFactor(float range) {
  return static_cast<float>(static_cast<double>(range) * 0.15 + 0.004);
}

// Rise or fall per block: factor × value, four times that when the value is
// exactly 1.0. Limited to 0..1 (values in 0..1 give at most 0.616): a value far
// outside would otherwise leave an envelope that takes forever to come back,
// and one that is not a number would poison it for good.
inline float envelopeStep(float factor, float value) {
  const float step = factor * value * (value == 1.0f ? 4.0f : 1.0f);
  return step > 0.0f ? std::min(step, 1.0f) : 0.0f; // not a number: no step
}

// Clock counts per quarter note: 32 ÷ clock division in integer division,
// for the divisions 1..8 (a table: a division instruction would take longer
// than the rest of the clock).
constexpr int32_t kCountsPerQuarter[9] = {0, 32, 16, 10, 8, 6, 5, 4, 4};

// The clock count of a song position in quarter notes: position × counts per
// quarter, truncated toward zero. False when the position has none: not a
// number, infinite, or a count outside int32 (its conversion would be
// undefined); such a block runs without the clock.
inline bool clockCount(double position, int32_t clockDivision, int32_t &count) {
  const double scaled = position * kCountsPerQuarter[clockDivision]; // clockDivision is 1..8
  if (!(scaled > -2147483649.0 && scaled < 2147483648.0)) {
    return false;
  }
  count = static_cast<int32_t>(scaled);
  return true;
}

// The song's first quarter note: the position truncates to 0.
inline bool atSongStart(double position) { return (position > -1.0) & (position < 1.0); }

// Tick detection from a block's clock count. A tick needs remainder 0 and an
// open latch, and closes the latch; remainder 1 opens it again. The remainder
// has the sign of the count (-3..3), so negative counts never open the latch.
inline bool clockTicks(int32_t count, int32_t &clockLatch) {
  // Written as arithmetic on 0 and 1 rather than as branches: the outcome
  // follows the song position, and a mispredicted branch here would throw
  // away the block's sample work that the processor has already begun.
  // Remainder 0 is a multiple of 4 of either sign; remainder 1 needs a
  // positive count.
  const int32_t atZero = static_cast<int32_t>((count & 3) == 0);
  const int32_t atOne = static_cast<int32_t>(count > 0) & static_cast<int32_t>((count & 3) == 1);
  const int32_t tick = atZero & static_cast<int32_t>(clockLatch == 0);
  clockLatch = tick | (clockLatch & (atOne ^ 1)); // a tick closes, remainder 1 opens
  return tick != 0;
}

// The output after a tick: the next one, or first out past last out.
inline int32_t nextOutput(int32_t current, int32_t firstOutput, int32_t lastOutput) {
  return current + 1 > lastOutput ? firstOutput : current + 1;
}

// One block of the envelope without a tick. Rising (phase 0) adds the attack
// step; once the stored value reaches 1.0 it turns to falling (phase 1), and
// the first fall is taken in the same block. Falling subtracts the decay step
// and rests at 0.0. With steps in 0..1 the envelope stays within 0..2.
inline void advanceEnvelope(float &envelope, int32_t &phase, float attackStep, float decayStep) {
  if (phase == 0) {
    envelope = envelope + attackStep;
    if (envelope >= 1.0f) {
      phase = 1;
    }
  }
  if (phase == 1) {
    envelope = envelope - decayStep;
    if (envelope <= 0.0f) {
      envelope = 0.0f;
    }
  }
}

// The block's level: (floor + envelope) × gain, the sum stored as a float
// before it is multiplied. Not limited: a level above the gain is allowed.
inline float blockLevel(float floorValue, float envelope, float gainValue) {
  const float base = floorValue + envelope;
  return base * gainValue;
}

// A sample beyond the float range becomes ±FLT_MAX rather than infinite, so
// that finite parameters and a finite input always give a finite output.
// Every finite result is left exactly as it is, and not a number passes.
inline float saturate(float x) { return std::min(std::max(x, -FLT_MAX), FLT_MAX); }

#if GAIN_HAS_SSE
// saturate() for four samples. SSE's min and max answer their second operand
// when one is not a number, as saturate() does; the compiler's own vector code
// for saturate() would cost five times as much.
inline __m128 saturate(__m128 x) {
  return _mm_min_ps(_mm_set1_ps(FLT_MAX), _mm_max_ps(_mm_set1_ps(-FLT_MAX), x));
}
#endif

// out[i] = in[i] × level over a block, saturated; `out` may be `in`.
inline void scaleBlock(const float *in, float *out, float level, int32_t frames) {
  if (std::fabs(level) <= 1.0f) {
    // A level within ±1 keeps every finite product within the float range:
    // the plain product, one multiplication per frame.
    for (int32_t i = 0; i < frames; ++i) {
      out[i] = in[i] * level;
    }
    return;
  }
  // A level beyond the float range is applied as ±FLT_MAX, so that a silent
  // input stays silent (0 × infinity would not be a number).
  level = saturate(level);
  int32_t i = 0;
#if GAIN_HAS_SSE
  const __m128 factor = _mm_set1_ps(level);
  for (; i + 4 <= frames; i += 4) {
    _mm_storeu_ps(out + i, saturate(_mm_mul_ps(_mm_loadu_ps(in + i), factor)));
  }
#endif
  for (; i < frames; ++i) {
    out[i] = saturate(in[i] * level);
  }
}

// first[i] += in[i] × level and second[i] += in[i] × level, saturated; each
// input sample is read before either output of its frame is written, so `in`
// may be `first` or `second`.
inline void addScaledBlock(const float *in, float *first, float *second, float level,
                           int32_t frames) {
  level = saturate(level); // as in scaleBlock()
  int32_t i = 0;
#if GAIN_HAS_SSE
  const __m128 factor = _mm_set1_ps(level);
  for (; i + 4 <= frames; i += 4) {
    // `second` is read after `first` is written, as in the frame loop below.
    const __m128 x = _mm_mul_ps(_mm_loadu_ps(in + i), factor);
    _mm_storeu_ps(first + i, saturate(_mm_add_ps(_mm_loadu_ps(first + i), x)));
    _mm_storeu_ps(second + i, saturate(_mm_add_ps(_mm_loadu_ps(second + i), x)));
  }
#endif
  for (; i < frames; ++i) {
    const float x = in[i] * level;
    first[i] = saturate(first[i] + x);
    second[i] = saturate(second[i] + x);
  }
}

// Blocks up to this many frames are cleared with inline stores: for them a
// call to memset and its choice of method cost more than the stores.
constexpr int32_t kInlineClearFrames = 32;

// frames × +0.0f (all-zero bits) into out.
inline void clearBlock(float *out, int32_t frames) {
#if GAIN_HAS_SSE
  if (frames <= kInlineClearFrames) {
    const __m128 zero = _mm_setzero_ps();
    int32_t i = 0;
    for (; i + 8 <= frames; i += 8) {
      _mm_storeu_ps(out + i, zero);
      _mm_storeu_ps(out + i + 4, zero);
    }
    for (; i < frames; ++i) {
      out[i] = 0.0f;
    }
    return;
  }
#endif
  std::memset(out, 0, static_cast<std::size_t>(frames) * sizeof(float));
}

// One block of the overwriting process: input × level into output channel
// `active` (0..7), +0.0 into the seven others. The input may be one of the
// outputs: the active output is written first, each input sample read before
// its own frame is overwritten, and the silent outputs are cleared only after
// the whole input has been read. With separate buffers the input is only read.
inline void routeBlock(const float *input, float *const *outputs, int32_t active, float level,
                       int32_t frames) {
  scaleBlock(input, outputs[active], level, frames);
  for (int32_t n = 0; n < kOutputCount; ++n) {
    if (n != active) {
      clearBlock(outputs[n], frames);
    }
  }
}

// One block of the adding process: input × level added into output channels
// 0 and 1; the input may be either of them.
inline void addBlock(const float *input, float *const *outputs, float level, int32_t frames) {
  addScaledBlock(input, outputs[0], outputs[1], level, frames);
}

} // namespace gain
