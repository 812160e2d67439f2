// Test-only failing allocator: global operator new/delete replacements and an
// interposed fftw_malloc (see failing_allocator.h).
#include "hardening/failing_allocator.h"

#include <dlfcn.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace varnholt::test {
namespace {

// Atomics keep the counter well-defined if a library thread ever allocates;
// the sweep itself is single-threaded.
std::atomic<bool> armed{false};
std::atomic<std::uint64_t> countdown{0};
std::atomic<std::uint64_t> counted{0};
std::atomic<bool> failed{false};

// True when this allocation is the one that must fail.
bool should_fail() noexcept {
  if (!armed.load(std::memory_order_relaxed)) return false;
  counted.fetch_add(1, std::memory_order_relaxed);
  if (countdown.load(std::memory_order_relaxed) == 0) return false;
  if (countdown.fetch_sub(1, std::memory_order_relaxed) == 1) {
    failed.store(true, std::memory_order_relaxed);
    return true;
  }
  return false;
}

void* allocate(std::size_t size, std::size_t alignment) {
  if (should_fail()) throw std::bad_alloc();
  if (size == 0) size = 1;
  void* p = nullptr;
  if (alignment <= alignof(std::max_align_t)) {
    p = std::malloc(size);
  } else if (posix_memalign(&p, alignment, size) != 0) {
    p = nullptr;
  }
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

}  // namespace

void fail_allocation_number(std::uint64_t n) {
  counted.store(0);
  failed.store(false);
  countdown.store(n);
  armed.store(true);
}

std::uint64_t disarm_allocator() {
  armed.store(false);
  return counted.load();
}

bool allocation_failure_happened() { return failed.load(); }

}  // namespace varnholt::test

using varnholt::test::allocate;

void* operator new(std::size_t size) { return allocate(size, 0); }
void* operator new[](std::size_t size) { return allocate(size, 0); }
void* operator new(std::size_t size, std::align_val_t al) {
  return allocate(size, static_cast<std::size_t>(al));
}
void* operator new[](std::size_t size, std::align_val_t al) {
  return allocate(size, static_cast<std::size_t>(al));
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return allocate(size, 0);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return allocate(size, 0);
  } catch (...) {
    return nullptr;
  }
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

// FFTW's aligned allocator, as the library calls it through the dynamic
// linker. The real one is found behind us in the lookup order.
extern "C" void* fftw_malloc(std::size_t size) {
  using real_fn = void* (*)(std::size_t);
  static const real_fn real = reinterpret_cast<real_fn>(dlsym(RTLD_NEXT, "fftw_malloc"));
  if (varnholt::test::should_fail()) return nullptr;
  return real(size);
}
