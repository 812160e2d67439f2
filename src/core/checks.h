// Argument checks shared by every computing export, and the comparator of the
// library's ascending sorts.
#pragma once

#include <cstdint>

#include "varnholt.h"

namespace varnholt {

// The largest finite double, written out so the test reads like the rule.
inline constexpr double MAX_FINITE = 1.7976931348623157e308;

// True for every finite double; NaN (all comparisons false) and both
// infinities give false.
constexpr bool is_finite_value(double x) noexcept { return x >= -MAX_FINITE && x <= MAX_FINITE; }

// Exactly 0 (free field) and 1 (diffuse field); the unsigned view makes every
// negative value fail as well.
constexpr bool is_valid_sound_field(std::int32_t value) noexcept {
  return static_cast<std::uint32_t>(value) < 2U;
}

// a * b with overflow detection; *out is written only when the product fits.
constexpr bool checked_mul(std::uint64_t a, std::uint64_t b, std::uint64_t* out) noexcept {
  if (out == nullptr) return false;
  if (b != 0 && a > UINT64_MAX / b) return false;
  *out = a * b;
  return true;
}

// Largest sample count for which count * 16 bytes still fits in 64 bits.
inline constexpr std::uint64_t MAX_SIGNAL_COUNT = 0x0FFFFFFFFFFFFFFFULL;

// The common signal check: pointer, length, rate, size, then every sample
// from the first; the first failure is returned.
vh_status validate_signal(const double* samples, std::uint64_t count,
                          std::int32_t sample_rate) noexcept;

// The rule of the optional output arrays: a null pointer must come with
// length 0, a non-null pointer with at least `required` elements.
constexpr bool optional_output_fits(const double* out, std::uint64_t len,
                                    std::uint64_t required) noexcept {
  return out == nullptr ? len == 0 : len >= required;
}

// qsort comparator for doubles in ascending order: (a > b) - (a < b).
int compare_ascending(const void* a, const void* b) noexcept;

}  // namespace varnholt
