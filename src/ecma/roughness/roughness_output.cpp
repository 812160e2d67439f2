// Power law and rise/fall smoothing of the specific roughness.
#include "ecma/roughness/roughness_output.h"

#include <cmath>
#include <cstddef>

#include "core/checks.h"
#include "ecma/band_scale.h"
#include "ecma/roughness/roughness_grid.h"

namespace varnholt {
namespace {

// Calibration: a 1 kHz tone of 60 dB SPL, fully amplitude-modulated at 70 Hz,
// has a roughness of 1 asper.
constexpr double ROUGHNESS_CALIBRATION = 0.0180685;

// Time constants of the smoothing in seconds: roughness builds up quickly and
// dies away slowly.
constexpr double RISE_TIME_S = 0.0625;
constexpr double FALL_TIME_S = 0.5;

// Exponent of the power law for a frame: from about 0.59 when the roughness is
// spread evenly over the bands to about 0.96 when it sits in one band.
double concentration_exponent(const double* r) {
  double sum = 0.0;
  double sum_of_squares = 0.0;
  for (std::size_t b = 0; b < ECMA_BAND_COUNT; ++b) {
    sum += r[b];
    sum_of_squares += r[b] * r[b];
  }
  // 1 for an even spread, sqrt(53) for a single band.
  const double concentration =
      sum > 0.0 ? std::sqrt(static_cast<double>(ECMA_BAND_COUNT) * sum_of_squares) / sum : 0.0;
  const double x = std::tanh((concentration - 2.5804) * 1.6407);
  return ((x + 1.0) * 0.37106) * 0.5 + 0.58449;
}

}  // namespace

RoughnessOutputStage::RoughnessOutputStage() noexcept
    : rise_(std::exp(-1.0 / (RISE_TIME_S * ECMA_ROUGHNESS_FRAME_RATE_HZ))),
      fall_(std::exp(-1.0 / (FALL_TIME_S * ECMA_ROUGHNESS_FRAME_RATE_HZ))) {}

bool RoughnessOutputStage::transform(double* r) noexcept {
  const double gamma = concentration_exponent(r);
  for (std::size_t b = 0; b < ECMA_BAND_COUNT; ++b) {
    double value = std::pow(r[b], gamma) * ROUGHNESS_CALIBRATION;
    if (has_previous_) {
      const double p = previous_[b];
      const double alpha = value >= p ? rise_ : fall_;
      value = value * (1.0 - alpha) + alpha * p;
    }
    if (!is_finite_value(value)) return false;
    r[b] = value;
    previous_[b] = value;
  }
  has_previous_ = true;
  return true;
}

vh_status transform_roughness_frames(double* values, std::uint64_t frames) noexcept {
  RoughnessOutputStage stage;
  for (std::uint64_t k = 0; k < frames; ++k) {
    if (!stage.transform(values + k * ECMA_BAND_COUNT)) return VH_ERR_NUMERICAL;
  }
  return VH_OK;
}

}  // namespace varnholt
