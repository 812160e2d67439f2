// The tonality over a prepared signal: the four band groups, then the
// final weighting.
#pragma once

#include <cstdint>
#include <vector>

#include "varnholt.h"

namespace varnholt {

// Output frames c = ceil(n / 256) + 1 for n input samples, or false when n is
// so large that the output (265 c doubles) or the prepared signal would not
// fit in memory sizes.
bool ecma_tonal_frames(std::uint64_t n, std::uint64_t& frames) noexcept;

// Fills `planes` (265 * frames doubles, zeroed by the caller) with the five
// output planes, from a signal prepared with lead 8192 and padding to 2048.
// Statuses: VH_ERR_ALLOCATION, VH_ERR_SIZE_OVERFLOW for a group's store,
// VH_ERR_NUMERICAL for a failed filter, band loudness, FFT or output.
vh_status ecma_tonal_compute(const std::vector<double>& prepared, std::uint64_t frames,
                             double* planes);

}  // namespace varnholt
