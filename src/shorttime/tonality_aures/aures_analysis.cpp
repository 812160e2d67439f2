// Analysis constants, Hann window, critical-band rate and level spectrum of the
// tonality after Aures.
#include "shorttime/tonality_aures/aures_analysis.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/checks.h"
#include "loudness/third_octave.h"

namespace varnholt {

AuresAnalysis aures_analysis_constants(double sample_rate) noexcept {
  AuresAnalysis c{};
  c.frame_length = static_cast<int>(std::floor(0.25 * sample_rate + 0.5));
  c.hop = static_cast<int>(std::floor(0.5 * c.frame_length + 0.5));
  const double n = static_cast<double>(c.frame_length);
  c.bin_spacing = sample_rate / n;
  c.first_bin = std::max(static_cast<int>(std::ceil(20.0 * n / sample_rate + 1.0)) - 1, 0);
  c.last_bin = std::min(static_cast<int>(std::ceil(5000.0 * n / sample_rate + 1.0)) - 1,
                        c.frame_length / 2);
  c.bin_count = c.last_bin - c.first_bin + 1;
  c.near_distance = std::max(static_cast<int>(std::floor(25.0 / c.bin_spacing + 0.5)), 1);
  c.far_distance = std::max(static_cast<int>(std::floor(37.5 / c.bin_spacing + 0.5)), 2);
  return c;
}

void hann_window(int n, double* out) noexcept {
  if (n == 1) {
    out[0] = 1.0;
    return;
  }
  const double span = static_cast<double>(n - 1);
  for (int i = 0; i < n; ++i) {
    out[i] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) / span);
  }
}

WindowSums aures_window_sums(const double* window, int n) noexcept {
  double sum = 0.0;
  double sum_of_squares = 0.0;
  for (int i = 0; i < n; ++i) {
    sum += window[i];
    sum_of_squares += window[i] * window[i];
  }
  WindowSums s{};
  s.mean = sum / static_cast<double>(n);
  s.coherent_gain = s.mean * static_cast<double>(n);
  s.amplitude_scale = std::sqrt(2.0) / s.coherent_gain;
  s.noise_bandwidth = sum_of_squares / (s.coherent_gain * s.mean);
  return s;
}

double bark_from_hz(double frequency_hz) noexcept {
  const double x = frequency_hz / 1000.0;
  const double q = x / 7.5;
  return 3.5 * std::atan(q * q) + 13.0 * std::atan(0.76 * x);
}

namespace {

double bin_power(const std::complex<double>& x) noexcept {
  const double re = x.real();
  const double im = x.imag();
  return re * re + im * im + 1e-99;
}

}  // namespace

void aures_bin_levels(const std::complex<double>* spectrum, int first, int end,
                      double* levels) noexcept {
  for (int k = first; k < end; ++k) {
    levels[k] = 10.0 * std::log10(bin_power(spectrum[k]) / LEVEL_REFERENCE_PA2);
  }
}

bool aures_level_spectrum(const std::complex<double>* spectrum, int n, int count,
                          double* levels) noexcept {
  for (int k = 0; k < n; ++k) {
    if (!is_finite_value(bin_power(spectrum[k]))) return false;
  }
  aures_bin_levels(spectrum, 0, count, levels);
  return true;
}

}  // namespace varnholt
