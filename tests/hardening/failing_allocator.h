// A test-only allocator that can make the n-th heap allocation fail.
//
// The test program replaces the global operator new/delete and interposes
// fftw_malloc, the two ways the library takes heap memory. While armed, each
// allocation counts down; the one that reaches zero fails (operator new
// throws std::bad_alloc, fftw_malloc returns null) and every later one
// succeeds, so a sweep over n visits each allocation of a call exactly once.
// Nothing of this lives in the library itself.
#pragma once

#include <cstdint>

namespace varnholt::test {

// Arms the allocator: allocation number `n` (1-based) from now on fails.
void fail_allocation_number(std::uint64_t n);
// Disarms it and returns how many allocations were counted while armed.
std::uint64_t disarm_allocator();
// True when the armed failure actually happened.
bool allocation_failure_happened();

}  // namespace varnholt::test
