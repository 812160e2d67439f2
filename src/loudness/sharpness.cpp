// Sharpness after DIN 45692: the first moment of the specific-loudness pattern
// over critical-band rate, with extra weight above 15.8 Bark.
#include "loudness/sharpness.h"

#include <cmath>
#include <cstddef>

#include "core/axes.h"
#include "core/boundary.h"
#include "core/checks.h"

namespace varnholt {
namespace {

// The weighting g(z): sharp sounds owe their sharpness to the loudness above
// about 16 Bark (3 kHz), which counts exponentially more.
double sharpness_weight(double z) {
  return z <= 15.8 ? 1.0 : 0.15 * std::exp(0.42 * (z - 15.8)) + 0.85;
}

}  // namespace

vh_status sharpness_din(const double* specific, double peak, double* sharpness) noexcept {
  // Dividing by the peak keeps both sums near 1 whatever the level; the
  // 0.1 Bark bandwidth of each entry cancels between numerator and denominator.
  double weighted_moment = 0.0;
  double total = 0.0;
  for (std::size_t n = 0; n < SPECIFIC_LOUDNESS_LENGTH; ++n) {
    const double z = 0.1 * static_cast<double>(n + 1);
    const double relative = specific[n] / peak;
    weighted_moment += sharpness_weight(z) * relative * z;
    total += relative;
  }
  if (total <= 0.0) return VH_ERR_NUMERICAL;
  const double result = 0.11 * weighted_moment / total;
  if (!is_finite_value(result) || result < 0.0) return VH_ERR_NUMERICAL;
  *sharpness = result;
  return VH_OK;
}

}  // namespace varnholt

extern "C" VH_EXPORT vh_status vh_sharpness_din(const double* specific, size_t specific_len,
                                                double* sharpness) {
  using namespace varnholt;
  return guarded_call([&]() -> vh_status {
    if (specific == nullptr || sharpness == nullptr) return VH_ERR_NULL_POINTER;
    if (specific_len != SPECIFIC_LOUDNESS_LENGTH) return VH_ERR_INVALID_ARGUMENT;
    double peak = 0.0;
    for (std::size_t n = 0; n < SPECIFIC_LOUDNESS_LENGTH; ++n) {
      if (!is_finite_value(specific[n])) return VH_ERR_NON_FINITE_INPUT;
      if (specific[n] < 0.0) return VH_ERR_INVALID_ARGUMENT;
      if (specific[n] > peak) peak = specific[n];
    }
    if (peak == 0.0) {
      *sharpness = 0.0;
      return VH_OK;
    }
    return sharpness_din(specific, peak, sharpness);
  });
}
