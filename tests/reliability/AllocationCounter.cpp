#include "AllocationCounter.h"

#include <cstddef>
#include <cstdlib>
#include <new>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RELIABILITY_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) && !defined(RELIABILITY_ASAN)
#define RELIABILITY_ASAN 1
#endif

namespace {

// Per thread: another thread's allocations never count against the scope.
thread_local bool tCounting = false;
thread_local int64_t tAllocations = 0;
thread_local int64_t tFrees = 0;

inline void noteAllocation() {
  if (tCounting) {
    ++tAllocations;
  }
}

inline void noteFree(const volatile void *ptr) {
  if (tCounting && ptr != nullptr) {
    ++tFrees;
  }
}

} // namespace

#if defined(RELIABILITY_ASAN)
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void *,
                                                                            std::size_t),
                                                         void (*freeHook)(const volatile void *));

namespace {
void mallocHook(const volatile void *, std::size_t) { noteAllocation(); }
void freeHook(const volatile void *ptr) { noteFree(ptr); }
const int kHooksInstalled = __sanitizer_install_malloc_and_free_hooks(mallocHook, freeHook);
} // namespace

const char *reliability::countingMethod() {
  return kHooksInstalled != 0 ? "sanitizer allocation hooks" : "sanitizer hooks NOT installed";
}
#else
// glibc's own entry points; every allocation in the process reaches ours first,
// the plug-ins' included (this program exports them, see CMakeLists.txt).
extern "C" {
void *__libc_malloc(std::size_t size);
void *__libc_calloc(std::size_t count, std::size_t size);
void *__libc_realloc(void *ptr, std::size_t size);
void *__libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void *ptr);

void *malloc(std::size_t size) {
  noteAllocation();
  return __libc_malloc(size);
}
void *calloc(std::size_t count, std::size_t size) {
  noteAllocation();
  return __libc_calloc(count, size);
}
void *realloc(void *ptr, std::size_t size) {
  noteAllocation();
  return __libc_realloc(ptr, size);
}
void *memalign(std::size_t alignment, std::size_t size) {
  noteAllocation();
  return __libc_memalign(alignment, size);
}
void *aligned_alloc(std::size_t alignment, std::size_t size) {
  noteAllocation();
  return __libc_memalign(alignment, size);
}
int posix_memalign(void **out, std::size_t alignment, std::size_t size) {
  noteAllocation();
  void *p = __libc_memalign(alignment, size);
  if (p == nullptr) {
    return 12; // ENOMEM
  }
  *out = p;
  return 0;
}
void free(void *ptr) {
  noteFree(ptr);
  __libc_free(ptr);
}
}

const char *reliability::countingMethod() { return "interposed malloc"; }
#endif

// operator new and delete of this program go through malloc and free above (or
// the sanitizer's), so they are counted there.
void *operator new(std::size_t size) {
  void *p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) {
    throw std::bad_alloc();
  }
  return p;
}
void *operator new[](std::size_t size) { return operator new(size); }
void *operator new(std::size_t size, const std::nothrow_t &) noexcept {
  return std::malloc(size == 0 ? 1 : size);
}
void *operator new[](std::size_t size, const std::nothrow_t &) noexcept {
  return std::malloc(size == 0 ? 1 : size);
}
void operator delete(void *ptr) noexcept { std::free(ptr); }
void operator delete[](void *ptr) noexcept { std::free(ptr); }
void operator delete(void *ptr, std::size_t) noexcept { std::free(ptr); }
void operator delete[](void *ptr, std::size_t) noexcept { std::free(ptr); }
void operator delete(void *ptr, const std::nothrow_t &) noexcept { std::free(ptr); }
void operator delete[](void *ptr, const std::nothrow_t &) noexcept { std::free(ptr); }

namespace reliability {

CountingScope::CountingScope() {
  start_ = AllocationCounts{tAllocations, tFrees};
  tCounting = true;
}

CountingScope::~CountingScope() { tCounting = false; }

AllocationCounts CountingScope::counts() const {
  return AllocationCounts{tAllocations - start_.allocations, tFrees - start_.frees};
}

} // namespace reliability
