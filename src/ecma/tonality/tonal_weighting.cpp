// Specific tonality weighted by the frame's tonal-to-noise balance, and the
// p-norm combination of tonal and noise loudness.
#include "ecma/tonality/tonal_weighting.h"

#include <algorithm>
#include <cmath>

#include "core/checks.h"
#include "ecma/band_scale.h"

namespace varnholt {
namespace {

// Calibration of the specific tonality in tu per sone of tonal loudness.
constexpr double TONALITY_CALIBRATION = 2.8761365350855073;
// Weight of the noise loudness in the combined loudness.
constexpr double NOISE_WEIGHT = 0.5331;
// Keeps the ratios finite in silent frames.
constexpr double FLOOR = 1e-12;

void weight_frame(const TonalPlanes& planes, std::size_t k) noexcept {
  double tonal_max = 0.0;
  double total_max = 0.0;
  double noise_sum = 0.0;
  for (std::size_t b = 0; b < ECMA_BAND_COUNT; ++b) {
    const double tonal = *planes.at(0, k, b);
    const double noise = *planes.at(1, k, b);
    tonal_max = std::max(tonal_max, tonal);
    total_max = std::max(total_max, noise + tonal);
    noise_sum += noise;
  }
  // Tonality counts only once the strongest tone stands out from the noise
  // of the whole frame.
  const double rho = tonal_max / (noise_sum + FLOOR);
  const double v = rho > 0.003 ? -std::expm1(-35.0 * (rho - 0.003)) : 0.0;
  // Exponent of the combination: near 0.55 for loud frames (close to a sum
  // of loudnesses), larger (closer to a maximum) for faint ones.
  const double p = 0.2918 / (total_max + FLOOR) + 0.5459;
  for (std::size_t b = 0; b < ECMA_BAND_COUNT; ++b) {
    const double u = *planes.at(0, k, b);
    const double w = NOISE_WEIGHT * *planes.at(1, k, b);
    const double big = std::max(u, w);
    *planes.at(3, k, b) = v * TONALITY_CALIBRATION * u;
    *planes.at(4, k, b) =
        big > 0.0 ? big * std::pow(std::pow(w / big, p) + std::pow(u / big, p), 1.0 / p) : 0.0;
  }
}

}  // namespace

vh_status tonal_weighting(const TonalPlanes& planes) noexcept {
  for (std::size_t k = 0; k < planes.frame_count; ++k) weight_frame(planes, k);
  const std::size_t count = TONAL_PLANE_COUNT * ECMA_BAND_COUNT * planes.frame_count;
  for (std::size_t i = 0; i < count; ++i) {
    if (!is_finite_value(planes.values[i])) return VH_ERR_NUMERICAL;
  }
  return VH_OK;
}

}  // namespace varnholt
