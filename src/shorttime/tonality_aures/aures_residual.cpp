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

// (|B| a)^2 / 4e-10 + 1e-99, the argument of a residual level's logarithm.
double residual_power(const std::complex<double>& x, double amplitude_scale) noexcept {
  const double p = magnitude(x) * amplitude_scale;
  return p * p / LEVEL_REFERENCE_PA2 + 1e-99;
}

// The same power from the squared parts: a few rounding steps from the exact
// one, or non-finite when a part is. Scaling each part first keeps the
// squares as far from overflow as the exact form.
double rough_power(const std::complex<double>& x, double amplitude_scale) noexcept {
  const double re = x.real() * amplitude_scale;
  const double im = x.imag() * amplitude_scale;
  return (re * re + im * im) / LEVEL_REFERENCE_PA2;
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
  const int bins = n / 2 + 1;
  for (int k = first; k < end; ++k) {
    const double power = residual_power(spectrum[k], amplitude_scale);
    if (!is_finite_value(power)) return false;
    levels[k] = 10.0 * std::log10(power);
  }
  // The other bins only need a finite level. The power is at least 1e-99, so
  // the level is finite exactly when the power is, and a rough power without
  // the square root settles that for a whole stretch at once; any bin it
  // cannot vouch for is judged by its exact power. (With a scale below
  // 1e-150, |B| itself could overflow where the rough power does not.)
  const bool rough_suffices = amplitude_scale >= 1e-150;
  const auto others_finite = [&](int from, int to) {
    bool plainly_finite = rough_suffices;
    for (int k = from; k < to; ++k) plainly_finite &= rough_power(spectrum[k], amplitude_scale) <= 1e300;
    if (plainly_finite) return true;
    for (int k = from; k < to; ++k) {
      if (!is_finite_value(residual_power(spectrum[k], amplitude_scale))) return false;
    }
    return true;
  };
  return others_finite(0, first) && others_finite(end, bins);
}

}  // namespace varnholt
