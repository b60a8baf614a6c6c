// Counts heap allocations and frees made on the calling thread while a
// CountingScope is alive, whoever makes them: this program, our host code or a
// plug-in library with its own static C++ runtime. Plain builds interpose the C
// allocator (malloc and friends are defined in this program and forward to
// glibc); sanitizer builds, whose runtime owns malloc, use its allocation hooks.
#pragma once

#include <cstdint>

namespace reliability {

struct AllocationCounts {
  int64_t allocations = 0; // malloc, calloc, realloc, aligned variants, operator new
  int64_t frees = 0;       // free and operator delete of a non-null pointer
};

class CountingScope {
public:
  CountingScope();
  ~CountingScope();
  CountingScope(const CountingScope &) = delete;
  CountingScope &operator=(const CountingScope &) = delete;

  // What this thread allocated and freed since the scope began.
  AllocationCounts counts() const;

private:
  AllocationCounts start_;
};

// How allocations are observed in this build, for the test's messages.
const char *countingMethod();

} // namespace reliability
