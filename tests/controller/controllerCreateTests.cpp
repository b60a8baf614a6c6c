// QERN's entry when memory runs out: main answers null, no exception leaves
// it and nothing allocated on the way is kept. The plug-in's main and
// createEffect are compiled into this program; the global allocation
// functions are replaced so that a test can make them fail and count them.
#include "ControllerEffect.h"

#include "framework/PluginEntry.h"
#include "framework/RequestCodes.h"

#include <doctest/doctest.h>

#include <cstdlib>
#include <initializer_list>
#include <new>

namespace {

// Allocation number (counted from 1 while armed) that fails; 0: none fails.
long failAt = 0;
bool counting = false;
long allocations = 0;
long releases = 0;

void *allocate(std::size_t bytes) {
  if (counting) {
    ++allocations;
    if (allocations == failAt) {
      throw std::bad_alloc();
    }
  }
  void *p = std::malloc(bytes == 0 ? 1 : bytes);
  if (p == nullptr) {
    throw std::bad_alloc();
  }
  return p;
}

void release(void *p) {
  if (p != nullptr && counting) {
    ++releases;
  }
  std::free(p);
}

fw::IntPtr PLUGIN_CALL versionHost(fw::EffectRecord *, int32_t code, int32_t, fw::IntPtr, void *,
                                   float) {
  return code == fw::kHostGetVersion ? 2400 : 0;
}

struct Counting {
  explicit Counting(long fail) {
    failAt = fail;
    allocations = 0;
    releases = 0;
    counting = true;
  }
  ~Counting() {
    counting = false;
    failAt = 0;
  }
};

} // namespace

void *operator new(std::size_t bytes) { return allocate(bytes); }
void *operator new[](std::size_t bytes) { return allocate(bytes); }
void operator delete(void *p) noexcept { release(p); }
void operator delete[](void *p) noexcept { release(p); }
void operator delete(void *p, std::size_t) noexcept { release(p); }
void operator delete[](void *p, std::size_t) noexcept { release(p); }

TEST_CASE("main answers null when an allocation of the effect fails, and keeps nothing") {
  // The effect takes two allocations: the object, then its program array.
  for (long fail : {1L, 2L}) {
    CAPTURE(fail);
    fw::EffectRecord *record = nullptr;
    long taken = 0;
    long given = 0;
    {
      Counting scope(fail);
      record = pluginMain(versionHost);
      taken = allocations;
      given = releases;
    }
    CHECK(record == nullptr);
    CHECK(taken == fail);      // it stopped at the failed allocation
    CHECK(given == taken - 1); // and gave back every one that succeeded
  }
}

TEST_CASE("with memory to spare, main opens the effect and closing gives everything back") {
  fw::EffectRecord *record = nullptr;
  long taken = 0;
  long given = 0;
  {
    Counting scope(0);
    record = pluginMain(versionHost);
    REQUIRE(record != nullptr);
    CHECK(record->dispatchEntry(record, fw::kReqClose, 0, 0, nullptr, 0.0f) == 1);
    taken = allocations;
    given = releases;
  }
  CHECK(taken == 2);
  CHECK(given == taken);
}
