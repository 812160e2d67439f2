// Parabolic interpolation of a modulation peak with a bias correction.
//
// The vertex of a parabola through three bins of a Hann-windowed spectrum is
// pulled towards the nearest bin. ECMA_RATE_BIAS holds that error (in Hz) for
// true rates at 1/32-bin steps across one bin; the true rate f solves
// f - bias(f) = vertex, found by linear interpolation between the two
// neighbouring table entries that bracket the solution.
#include "ecma/roughness/modulation_rate.h"

#include <array>
#include <cmath>
#include <cstddef>

#include "ecma/roughness/roughness_grid.h"

namespace varnholt {
namespace {

// Error of the parabolic rate estimate at offsets j / 32 of a bin, j = 0..33:
// zero at whole and half bins, odd about the half bin, repeated zero at the
// end so the bracket can reach one past the last offset.
constexpr std::array<double, 34> ECMA_RATE_BIAS = {
    0.0,     0.0457,  0.0907,  0.1346,  0.1765,  0.2157,  0.2515,  0.2828,  0.3084,
    0.3269,  0.3364,  0.3348,  0.3188,  0.2844,  0.2259,  0.1351,  0.0,     -0.1351,
    -0.2259, -0.2844, -0.3188, -0.3348, -0.3364, -0.3269, -0.3084, -0.2828, -0.2515,
    -0.2157, -0.1765, -0.1346, -0.0907, -0.0457, 0.0,     0.0};

}  // namespace

double refined_modulation_rate(const double* phi, std::uint64_t p) noexcept {
  constexpr double delta = ECMA_MODULATION_BIN_HZ;
  const double a = phi[p - 1];
  const double c = phi[p + 1];
  const double curvature = a - 2.0 * phi[p] + c;
  if (curvature == 0.0) return static_cast<double>(p) * delta;

  const double vertex = ((a - c) * 0.5 / curvature + static_cast<double>(p)) * delta;
  const double base = std::floor(vertex / delta);
  // Residual of f - bias(f) - vertex at each candidate offset; it grows
  // strictly with j, since the table never rises by a full 1/32 bin per step.
  std::array<double, ECMA_RATE_BIAS.size()> residual{};
  for (std::size_t j = 0; j < residual.size(); ++j) {
    residual[j] = (static_cast<double>(j) * 0.03125 + base) * delta - vertex - ECMA_RATE_BIAS[j];
  }
  std::size_t i = 0;
  for (std::size_t j = 1; j <= 32; ++j) {
    if (std::fabs(residual[j]) < std::fabs(residual[i])) i = j;
  }
  if (i == 0 || !(residual[i - 1] * residual[i] < 0.0)) ++i;
  return ECMA_RATE_BIAS[i - 1] + vertex -
         (ECMA_RATE_BIAS[i] - ECMA_RATE_BIAS[i - 1]) * residual[i - 1] /
             (residual[i] - residual[i - 1]);
}

}  // namespace varnholt
