// Specific-loudness pattern on the 240-point critical-band-rate axis and the
// total loudness, from the core loudness of the 20 critical bands.
#pragma once

namespace varnholt {

// Spreads core[21] (sone/Bark, entry 20 = 0, none negative) along the upper
// masking slopes into out[240] (entry n at 0.1 * (n + 1) Bark) and returns the
// total loudness in sone, the area under the pattern. Fills all 240 entries;
// the caller tests the total for finiteness.
double specific_loudness_from_core(const double* core, double* out) noexcept;

// The same total loudness without sampling the pattern: the segments and the
// running sum of their areas are those of specific_loudness_from_core, so the
// two totals are bit-identical.
double total_loudness_from_core(const double* core) noexcept;

}  // namespace varnholt
