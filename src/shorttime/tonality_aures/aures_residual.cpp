// The residual spectrum of a frame: its tonal components removed, its noise kept.
#include "shorttime/tonality_aures/aures_residual.h"

#include <algorithm>
#include <cmath>

#include "core/checks.h"
#include "loudness/third_octave.h"

namespace varnholt {
namespace {

double magnitude(const std::complex<double>& x) noexcept { return std::hypot(x.real(), x.imag()); }

// New magnitude, same phase.
void set_magnitude(std::complex<double>& x, double m) noexcept {
  const double phase = std::atan2(x.imag(), x.real());
  x = std::complex<double>(m * std::cos(phase), m * std::sin(phase));
}

}  // namespace

void hermitian_completion(std::complex<double>* spectrum, int n) noexcept {
  for (int k = 1; k < n / 2; ++k) spectrum[n - k] = std::conj(spectrum[k]);
}

void aures_flatten_peaks(std::complex<double>* spectrum, int n, double sample_rate,
                         const double* frequencies, const double* removal_widths,
                         int count) noexcept {
  const int half = n / 2;
  const double dn = static_cast<double>(n);
  const auto f = [&](int k) { return static_cast<double>(k) * sample_rate / dn; };
  const auto first_at_or_above = [&](double frequency, int none) {
    for (int k = 0; k <= half; ++k) {
      if (f(k) >= frequency) return k;
    }
    return none;
  };
  for (int i = 0; i < count; ++i) {
    const double h = removal_widths[i] / 2.0;
    const int lo = first_at_or_above(frequencies[i] - h, 0);
    int hi = first_at_or_above(frequencies[i] + h, half);
    hi = std::min(std::max(hi, lo), half);
    const int below = lo > 0 ? lo - 1 : 0;
    const int above = hi + 1 <= half ? hi + 1 : hi;
    const double m = 0.5 * (magnitude(spectrum[above]) + magnitude(spectrum[below]));
    for (int k = lo; k <= hi; ++k) set_magnitude(spectrum[k], m);
  }
  hermitian_completion(spectrum, n);
  spectrum[0] = std::complex<double>(spectrum[0].real(), 0.0);
  if (n % 2 == 0) spectrum[half] = std::complex<double>(spectrum[half].real(), 0.0);
}

void aures_replace_bands(std::complex<double>* spectrum, const TonalBand* bands, int band_count,
                         double amplitude_scale) noexcept {
  for (int b = 0; b < band_count; ++b) {
    const TonalBand& band = bands[b];
    if (band.lo > band.hi) continue;
    const double d = static_cast<double>(std::max(band.hi - band.lo, 1));
    for (int j = 0; j <= band.hi - band.lo; ++j) {
      const double level =
          static_cast<double>(j) * (band.level_hi - band.level_lo) / d + band.level_lo;
      const double m = std::sqrt(std::pow(10.0, level / 10.0) * LEVEL_REFERENCE_PA2) / amplitude_scale;
      set_magnitude(spectrum[band.lo + j], m);
    }
  }
}

bool aures_residual_levels(const std::complex<double>* spectrum, int n, double amplitude_scale,
                           int first, int end, double* levels) noexcept {
  // The argument of the logarithm is at least 1e-99, so the level is finite
  // exactly when the argument is: only the bins asked for need the logarithm.
  for (int k = 0; k <= n / 2; ++k) {
    const double p = magnitude(spectrum[k]) * amplitude_scale;
    const double power = p * p / LEVEL_REFERENCE_PA2 + 1e-99;
    if (!is_finite_value(power)) return false;
    if (k >= first && k < end) levels[k] = 10.0 * std::log10(power);
  }
  return true;
}

}  // namespace varnholt
