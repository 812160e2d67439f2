// Piecewise cubic Hermite interpolation with Fritsch-Carlson slopes: between
// blocks the curve never overshoots the data, so a steady roughness stays
// steady and a local extremum stays where the blocks put it.
#include "ecma/roughness/pchip.h"

#include <algorithm>
#include <cmath>

#include "ecma/band_scale.h"
#include "ecma/roughness/roughness_grid.h"

namespace varnholt {
namespace {

// Slope at each block time for one band (values y_v at stride 53).
void hermite_slopes(const double* y, const double* t, std::uint64_t blocks, double* s) {
  constexpr std::uint64_t stride = ECMA_BAND_COUNT;
  auto width = [t](std::uint64_t v) { return t[v + 1] - t[v]; };
  auto secant = [&](std::uint64_t v) { return (y[(v + 1) * stride] - y[v * stride]) / width(v); };

  s[0] = pchip_end_slope(width(0), width(1), secant(0), secant(1));
  for (std::uint64_t v = 1; v + 1 < blocks; ++v) {
    const double left = secant(v - 1);
    const double right = secant(v);
    s[v] = pchip_inner_slope(width(v - 1), width(v), left, right);
  }
  s[blocks - 1] =
      pchip_end_slope(width(blocks - 2), width(blocks - 3), secant(blocks - 2), secant(blocks - 3));
}

}  // namespace

double pchip_inner_slope(double h_left, double h_right, double d_left, double d_right) noexcept {
  if (d_left * d_right <= 0.0) return 0.0;  // a local extremum or a flat stretch
  // Weighted harmonic mean of the two secants.
  const double p = 2.0 * h_left + h_right;
  const double q = 2.0 * h_right + h_left;
  return (p + q) / (p / d_right + q / d_left);
}

double pchip_value(double tau, double t0, double t1, double y0, double y1, double s0,
                   double s1) noexcept {
  const double w = t1 - t0;
  const double g = (tau - t0) / w;
  const double g2 = g * g;
  const double g3 = g2 * g;
  const double value = (2.0 * g3 - 3.0 * g2 + 1.0) * y0 + (g3 - 2.0 * g2 + g) * w * s0 +
                       (3.0 * g2 - 2.0 * g3) * y1 + (g3 - g2) * w * s1;
  return std::max(0.0, value);
}

double pchip_end_slope(double h0, double h1, double d0, double d1) noexcept {
  const double s = ((2.0 * h0 + h1) * d0 - h0 * d1) / (h0 + h1);
  if (s * d0 <= 0.0) return 0.0;
  if (d0 * d1 <= 0.0 && std::fabs(s) > 3.0 * std::fabs(d0)) return 3.0 * d0;
  return s;
}

void pchip_resample(const double* block_roughness, const double* times, std::uint64_t blocks,
                    std::uint64_t frames, double* slopes, double* out) noexcept {
  constexpr std::uint64_t stride = ECMA_BAND_COUNT;
  for (std::uint64_t b = 0; b < stride; ++b) {
    const double* y = block_roughness + b;
    hermite_slopes(y, times, blocks, slopes);
    std::uint64_t j = 0;
    for (std::uint64_t k = 0; k < frames; ++k) {
      const double tau = static_cast<double>(k) / ECMA_ROUGHNESS_FRAME_RATE_HZ;
      while (j + 2 < blocks && times[j + 1] < tau) ++j;
      out[k * stride + b] = pchip_value(tau, times[j], times[j + 1], y[j * stride],
                                        y[(j + 1) * stride], slopes[j], slopes[j + 1]);
    }
  }
}

}  // namespace varnholt
