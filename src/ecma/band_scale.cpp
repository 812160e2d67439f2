// Centre frequencies and bandwidths of the 53 hearing-model bands.
#include "ecma/band_scale.h"

#include <cmath>

namespace varnholt {

double ecma_band_centre_hz(std::size_t b) noexcept {
  // 506.3590852904821 = 81.9289 / 0.1618: the inverse of the critical-band
  // rate z = asinh(F * 0.1618 / 81.9289) / 0.1618.
  const double z = static_cast<double>(b + 1) * 0.5;
  return std::sinh(z * 0.1618) * 506.3590852904821;
}

double ecma_bandwidth_hz(std::size_t b) noexcept {
  return std::hypot(81.9289, 0.1618 * ecma_band_centre_hz(b));
}

}  // namespace varnholt
