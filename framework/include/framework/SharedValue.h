// A value that the host's request thread sets while the audio thread may be
// reading it: parameters and the numbers derived from them. Every read and
// every write is whole, as the language promises only for atomics; the order
// relative to other values is not (relaxed), and nothing is locked. On x86 a
// read or a write is one plain load or store. It reads and assigns like the
// value itself.
#pragma once

#include <atomic>

namespace fw {

template <typename T> class SharedValue {
public:
  constexpr SharedValue(T initial) noexcept : value(initial) {} // NOLINT: reads like T
  SharedValue(const SharedValue &) = delete;
  SharedValue &operator=(const SharedValue &) = delete;

  SharedValue &operator=(T next) noexcept {
    value.store(next, std::memory_order_relaxed);
    return *this;
  }
  operator T() const noexcept { return value.load(std::memory_order_relaxed); } // NOLINT

private:
  static_assert(std::atomic<T>::is_always_lock_free, "a shared value must never take a lock");
  std::atomic<T> value;
};

} // namespace fw
