// Level excess over masking and threshold, and the tonal weight of a frame's
// components.
#include "shorttime/tonality_aures/aures_weighting.h"

#include <algorithm>
#include <cmath>

#include "core/checks.h"
#include "shorttime/masking_slopes.h"
#include "shorttime/tonality_aures/aures_analysis.h"

namespace varnholt {
namespace {

// 1 / 0.29: the three weightings are published as 0.29th powers and combined
// as plain factors.
constexpr double WEIGHT_EXPONENT = 3.4482758620689657;

// Intensity of the residual noise within +-0.5 Bark of rate z, leaving out the
// component's own bin and two bins either side.
double critical_band_noise(const double* residual_levels, const double* bin_rates, int nb,
                           double z, int own_bin) noexcept {
  const double low = z - 0.5;
  const double high = z + 0.5;
  // The rates rise with the bin: start at the first bin inside the band.
  const int first = static_cast<int>(std::lower_bound(bin_rates, bin_rates + nb, low) - bin_rates);
  double intensity = 0.0;
  for (int b = first; b < nb && bin_rates[b] <= high; ++b) {
    if (own_bin >= 0 && b >= own_bin - 2 && b <= own_bin + 2) continue;
    intensity += std::pow(10.0, residual_levels[b] / 10.0);
  }
  return intensity;
}

}  // namespace

void aures_analysis_bin_rates(int k0, int nb, double sample_rate, int n, double* out) noexcept {
  for (int b = 0; b < nb; ++b) {
    out[b] = bark_from_hz(static_cast<double>(k0 + b) * sample_rate / static_cast<double>(n));
  }
}

double threshold_in_quiet(double frequency_hz) noexcept {
  if (frequency_hz <= 0.0) return 130.0;
  const double x = frequency_hz / 1000.0;
  const double d = x - 3.3;
  return 3.64 * std::pow(x, -0.8) - 6.5 * std::exp(-0.6 * (d * d)) + 0.001 * std::pow(x, 4.0);
}

int aures_excess_levels(const double* residual_levels, int nb, const double* bin_rates,
                        const double* frequencies, const double* levels, const int* own_bins,
                        int count, double* component_rates, double* excess) noexcept {
  double* z = component_rates;
  for (int i = 0; i < count; ++i) z[i] = bark_from_hz(frequencies[i]);

  for (int i = 0; i < count; ++i) {
    const double noise = critical_band_noise(residual_levels, bin_rates, nb, z[i], own_bins[i]);

    // Masking by the other components as summed amplitudes: components below
    // spread upwards with a level-dependent slope, those above spread
    // downwards at 27 dB/Bark.
    double below = 1e-99;
    for (int j = 0; j < i; ++j) {
      const double slope = upper_masking_slope_db_per_bark(frequencies[j], levels[j]);
      below += std::pow(10.0, (levels[j] - slope * (z[j] - z[i])) / 20.0);
    }
    double above = 1e-99;
    for (int j = i + 1; j < count; ++j) {
      above += std::pow(10.0, (levels[j] - LOWER_MASKING_SLOPE_DB_PER_BARK * (z[j] - z[i])) / 20.0);
    }
    const double masking = below + above;

    const double threshold = std::pow(10.0, threshold_in_quiet(frequencies[i]) / 10.0);
    const double total = count == 1 ? threshold + noise : threshold + (masking * masking + noise);
    const double delta = levels[i] - 10.0 * std::log10(total);
    if (!is_finite_value(delta)) return -1;
    excess[i] = std::max(delta, 0.0);
  }
  return 0;
}

double aures_tonal_weight(const double* frequencies, const double* bandwidths,
                          const double* excess, const double* window_bandwidths,
                          int count) noexcept {
  const double nan = std::nan("");
  double sum = 0.0;
  for (int i = 0; i < count; ++i) {
    const double f = frequencies[i];
    const double b = bandwidths[i];
    const double dl = excess[i];
    const double p = window_bandwidths[i];
    if (!is_finite_value(f) || !is_finite_value(b) || !is_finite_value(dl) ||
        !is_finite_value(p) || p < 0.0) {
      return nan;
    }
    if (f <= 0.0 || b <= 0.0 || dl <= 0.0) continue;

    // The window's own bandwidth is no part of the sound's.
    const double d = std::sqrt(std::max(b * b - p * p, 0.0));
    const double dz = bark_from_hz(f + d / 2.0) - bark_from_hz(f - d / 2.0);
    const double w1 = 0.13 / (dz + 0.13);
    const double r = 700.0 / f + f / 700.0;
    const double w2 = std::pow(1.0 / std::sqrt(1.0 + 0.2 * (r * r)), 0.29);
    const double w3 = std::pow(1.0 - std::exp(-dl / 15.0), 0.29);
    if (!is_finite_value(w1) || !is_finite_value(w2) || !is_finite_value(w3) || w1 < 0.0 ||
        w2 < 0.0 || w3 < 0.0) {
      return nan;
    }
    const double term = std::pow(w2, WEIGHT_EXPONENT) * std::pow(w1, WEIGHT_EXPONENT) *
                        std::pow(w3, WEIGHT_EXPONENT);
    sum += term * term;
  }
  return std::sqrt(sum);
}

}  // namespace varnholt
