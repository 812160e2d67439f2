// Frame interpolation and the tonal-to-noise weighting of one band, and the
// specific tonality and p-norm combination of tonal and noise loudness of a
// frame.
#include "ecma/tonality/tonal_frames.h"

#include <algorithm>
#include <cmath>

#include "core/checks.h"

namespace varnholt {
namespace {

// Keeps the tonal-to-noise ratio finite when the noise part vanishes.
constexpr double RATIO_FLOOR = 1e-12;

// Tonal-to-noise ratios below 0.07 times the band's threshold count as noise.
constexpr double RATIO_ONSET = 0.07;

// Calibration of the specific tonality in tu per sone of tonal loudness.
constexpr double TONALITY_CALIBRATION = 2.8761365350855073;
// Weight of the noise loudness in the combined loudness.
constexpr double NOISE_WEIGHT = 0.5331;
// Keeps the ratios of the weighting finite in silent frames.
constexpr double WEIGHTING_FLOOR = 1e-12;

}  // namespace

TonalBandFrames::TonalBandFrames(const TonalBandGroup& group, std::size_t band) noexcept
    : band_(band),
      // The tonal-to-noise ratio is judged against a threshold that falls
      // with frequency.
      threshold_(group.a / std::pow(ecma_band_centre_hz(band), group.beta)) {}

void TonalBandFrames::next_frame(const TonalBlockValue& from, const TonalBlockValue& to, double w,
                                 double* frame) noexcept {
  const double tonal_now = (1.0 - w) * from.tonal_loudness + w * to.tonal_loudness;
  const double total_now = (1.0 - w) * from.band_loudness + w * to.band_loudness;
  const double ratio_now = tonal_now / (std::max(0.0, total_now - tonal_now) + RATIO_FLOOR);
  frame[2 * ECMA_BAND_COUNT + band_] = (1.0 - w) * from.frequency_hz + w * to.frequency_hz;
  const double tonal_smooth = tonal_.step(tonal_now);
  const double total_smooth = total_.step(total_now);
  const double ratio_smooth = ratio_.step(ratio_now);
  // The tonal part fades in smoothly above 0.07 of the threshold.
  const double x = ratio_smooth / threshold_;
  const double q = x > RATIO_ONSET ? -std::expm1(-20.0 * (x - RATIO_ONSET)) : 0.0;
  const double tonal = std::max(0.0, q * tonal_smooth);
  frame[band_] = tonal;
  frame[ECMA_BAND_COUNT + band_] = std::max(0.0, total_smooth - tonal);
}

bool tonal_weight_frame(double* frame) noexcept {
  const double* const tonal_plane = frame;
  const double* const noise_plane = frame + ECMA_BAND_COUNT;
  double tonal_max = 0.0;
  double total_max = 0.0;
  double noise_sum = 0.0;
  for (std::size_t b = 0; b < ECMA_BAND_COUNT; ++b) {
    tonal_max = std::max(tonal_max, tonal_plane[b]);
    total_max = std::max(total_max, noise_plane[b] + tonal_plane[b]);
    noise_sum += noise_plane[b];
  }
  // Tonality counts only once the strongest tone stands out from the noise
  // of the whole frame.
  const double rho = tonal_max / (noise_sum + WEIGHTING_FLOOR);
  const double v = rho > 0.003 ? -std::expm1(-35.0 * (rho - 0.003)) : 0.0;
  // Exponent of the combination: near 0.55 for loud frames (close to a sum
  // of loudnesses), larger (closer to a maximum) for faint ones.
  const double p = 0.2918 / (total_max + WEIGHTING_FLOOR) + 0.5459;
  for (std::size_t b = 0; b < ECMA_BAND_COUNT; ++b) {
    const double u = tonal_plane[b];
    const double w = NOISE_WEIGHT * noise_plane[b];
    const double big = std::max(u, w);
    frame[3 * ECMA_BAND_COUNT + b] = v * TONALITY_CALIBRATION * u;
    frame[4 * ECMA_BAND_COUNT + b] =
        big > 0.0 ? big * std::pow(std::pow(w / big, p) + std::pow(u / big, p), 1.0 / p) : 0.0;
  }
  for (std::size_t i = 0; i < TONAL_FRAME_VALUES; ++i) {
    if (!is_finite_value(frame[i])) return false;
  }
  return true;
}

}  // namespace varnholt
