// Band loudness: a chain of compressive power laws from RMS pressure to
// specific loudness, minus the band's threshold in quiet.
#include "ecma/band_loudness.h"

#include <array>
#include <cmath>
#include <limits>

#include "core/checks.h"
#include "core/physical_constants.h"
#include "ecma/band_scale.h"

namespace varnholt {
namespace {

// Log-log slopes of the loudness function below 15 dB and above each of the
// eight threshold levels 15, 25, ..., 85 dB.
constexpr std::array<double, 9> SLOPES = {1.0,    0.6602, 0.0864, 0.6384, 0.0328,
                                          0.4068, 0.2082, 0.3994, 0.6434};

// Threshold in quiet of each band, in sone per band.
constexpr std::array<double, ECMA_BAND_COUNT> THRESHOLD_IN_QUIET = {
    0.331,  0.1625, 0.1051, 0.0757, 0.0576, 0.0453, 0.0365, 0.0298, 0.0247, 0.0207, 0.0176,
    0.0151, 0.0131, 0.0115, 0.0103, 0.0093, 0.0086, 0.0081, 0.0077, 0.0074, 0.0073, 0.0072,
    0.0071, 0.0072, 0.0073, 0.0074, 0.0076, 0.0079, 0.0082, 0.0086, 0.0092, 0.01,   0.0109,
    0.0122, 0.0138, 0.0157, 0.0172, 0.018,  0.018,  0.0177, 0.0176, 0.0177, 0.0182, 0.019,
    0.0202, 0.0217, 0.0237, 0.0263, 0.0296, 0.0339, 0.0398, 0.0485, 0.0622};

constexpr double CALIBRATION = 0.0211668;
constexpr double EXTRA_CALIBRATION = 1.00132;
constexpr double ALPHA = 1.5;

}  // namespace

double ecma_band_loudness(double p_rms, std::size_t b) noexcept {
  constexpr double not_a_number = std::numeric_limits<double>::quiet_NaN();
  if (b >= ECMA_BAND_COUNT || p_rms < 0.0 || !is_finite_value(p_rms)) return not_a_number;
  double n = CALIBRATION * p_rms / REFERENCE_PRESSURE_PA;
  for (std::size_t i = 1; i <= 8; ++i) {
    // Threshold pressure of the i-th slope change, at (10 i + 5) dB.
    const double exponent = (static_cast<double>(i) * 10.0 + 5.0) / 20.0;
    const double p_i = std::pow(10.0, exponent) * REFERENCE_PRESSURE_PA;
    n = n * std::pow(1.0 + std::pow(p_rms / p_i, ALPHA), (SLOPES[i] - SLOPES[i - 1]) / ALPHA);
  }
  n = n * EXTRA_CALIBRATION;
  if (!is_finite_value(n)) return not_a_number;
  return std::fmax(n - THRESHOLD_IN_QUIET[b], 0.0);
}

}  // namespace varnholt
