// The critical-band scale of the hearing model: 53 bands half a Bark apart,
// their centre frequencies and bandwidths.
#pragma once

#include <cstddef>

namespace varnholt {

// Bands 0..52 at the critical-band rates 0.5, 1.0, ..., 26.5 Bark.
inline constexpr std::size_t ECMA_BAND_COUNT = 53;

// Centre frequency F_b in Hz of band b (b = 0..52; no range check):
// F_b = sinh(((b + 1) * 0.5) * 0.1618) * 81.9289 / 0.1618.
double ecma_band_centre_hz(std::size_t b) noexcept;

// Bandwidth in Hz of band b: hypot(81.9289, 0.1618 * F_b), about 82 Hz at the
// bottom of the scale and growing in proportion to F_b at the top.
double ecma_bandwidth_hz(std::size_t b) noexcept;

}  // namespace varnholt
