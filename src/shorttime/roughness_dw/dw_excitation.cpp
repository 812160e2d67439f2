// Roughness model, first stage: frame spectrum, audible lines and their
// excitation in the critical-band channels.
#include "shorttime/roughness_dw/dw_excitation.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>

#include "core/checks.h"
#include "core/physical_constants.h"
#include "shorttime/masking_slopes.h"
#include "shorttime/roughness_dw/critical_band_tables.h"

namespace varnholt {

namespace {

constexpr double ANALYSED_LOW_HZ = 20.0;
constexpr double ANALYSED_HIGH_HZ = 20000.0;
// Level given to a bin of zero magnitude; never above any threshold.
constexpr double SILENT_LEVEL_DB = -400.0;

std::size_t index(int i) { return static_cast<std::size_t>(i); }

// Periodic Blackman window; its sum normalises the spectrum.
std::vector<double> blackman_window(int n) {
  std::vector<double> w(index(n));
  const double two_pi = 2.0 * std::numbers::pi;
  const double four_pi = 4.0 * std::numbers::pi;
  for (int i = 0; i < n; ++i) {
    w[index(i)] = 0.42 - 0.5 * std::cos(two_pi * i / n) + 0.08 * std::cos(four_pi * i / n);
  }
  return w;
}

}  // namespace

DwSpectrumTables make_spectrum_tables(int n, double fs) {
  DwSpectrumTables t;
  t.n = n;
  t.hop = n / 2;
  t.fs = fs;
  t.kmin = static_cast<int>(std::round(ANALYSED_LOW_HZ * n / fs));
  const int k_high = static_cast<int>(std::round(ANALYSED_HIGH_HZ * n / fs));
  t.kmax = k_high >= n / 2 + 1 ? n / 2 : k_high;

  t.window = blackman_window(n);
  double window_sum = 0.0;
  for (const double w : t.window) window_sum += w;
  // A sine of RMS p gives two lines of p * sqrt(2) * S / 2; scaled so that the
  // positive-frequency line reads p / 20 uPa.
  t.scale = 2.0 / (std::sqrt(2.0) * REFERENCE_PRESSURE_PA * window_sum);

  t.bark.assign(index(n / 2 + 1), 0.0);
  t.gain.assign(index(n), 1.0);
  t.threshold.assign(index(t.analysed_bins()), 0.0);
  for (int k = t.kmin; k <= t.kmax; ++k) {
    const double z = bark_of_frequency(k * fs / n);
    t.bark[index(k)] = z;
    t.gain[index(k)] = std::pow(10.0, outer_ear_gain_db(z) / 20.0);
    t.threshold[index(k - t.kmin)] = threshold_in_quiet_db(z);
  }

  // Channel q is centred on the table row at (q + 1)/2 Bark; its threshold
  // is that of the bin nearest the row's frequency. The rows are ascending,
  // so the grid of bins needs no sorting.
  for (int q = 0; q < DW_CHANNEL_COUNT; ++q) {
    const double centre_hz = frequency_of_half_bark_row(q + 1);
    const int bin = std::clamp(static_cast<int>(std::round(n * centre_hz / fs)), t.kmin, t.kmax);
    t.channel_threshold[index(q)] = t.threshold[index(bin - t.kmin)];
  }
  return t;
}

DwFrameExcitation::DwFrameExcitation(const DwSpectrumTables& tables)
    : re(index(tables.n)),
      im(index(tables.n)),
      magnitude(index(tables.analysed_bins())),
      level(index(tables.analysed_bins())),
      component_bin(index(tables.analysed_bins())),
      component_magnitude(index(tables.analysed_bins())),
      lower_channel(index(tables.analysed_bins())),
      upper_channel(index(tables.analysed_bins())),
      upper_slope(index(tables.analysed_bins())),
      excitation(index(tables.analysed_bins()) * DW_CHANNEL_COUNT) {}

void windowed_spectrum(const double* frame, const DwSpectrumTables& tables, ComplexFft& fft,
                       std::complex<double>* spectrum) {
  const double* w = tables.window.data();
  const double a = tables.scale;
  for (int i = 0; i < tables.n; ++i) {
    const double x = w[i] * frame[i];
    spectrum[i] = {a * x, 0.0};
  }
  fft.forward(spectrum, spectrum, 1.0);
}

bool find_audible_components(const std::complex<double>* spectrum, const DwSpectrumTables& tables,
                             DwFrameExcitation& frame) {
  double* re = frame.re.data();
  double* im = frame.im.data();
  const double* gain = tables.gain.data();
  for (int k = 0; k < tables.n; ++k) {
    re[k] = spectrum[k].real() * gain[k];
    im[k] = spectrum[k].imag() * gain[k];
  }
  int count = 0;
  for (int k = tables.kmin; k <= tables.kmax; ++k) {
    const std::size_t i = index(k - tables.kmin);
    const double a = std::sqrt(re[k] * re[k] + im[k] * im[k]);
    if (!is_finite_value(a)) return false;
    const double level = a > 0.0 ? 20.0 * std::log10(a) : SILENT_LEVEL_DB;
    frame.magnitude[i] = a;
    frame.level[i] = level;
    if (level > tables.threshold[i]) frame.component_bin[index(count++)] = k;
  }
  frame.component_count = count;
  return true;
}

void spread_excitation(const DwSpectrumTables& tables, DwFrameExcitation& frame) {
  const std::size_t used = index(frame.component_count) * DW_CHANNEL_COUNT;
  std::fill(frame.excitation.begin(), frame.excitation.begin() + static_cast<std::ptrdiff_t>(used),
            0.0);
  for (int j = 0; j < frame.component_count; ++j) {
    const int k = frame.component_bin[index(j)];
    const double f = k * tables.fs / tables.n;
    const double z = tables.bark[index(k)];
    const double level = frame.level[index(k - tables.kmin)];
    frame.component_magnitude[index(j)] = frame.magnitude[index(k - tables.kmin)];
    // The upper slope flattens with level, but never rises.
    const double slope = std::min(upper_masking_slope_db_per_bark(f, level), 0.0);
    const int lo = static_cast<int>(std::floor(2.0 * z));
    const int hi = static_cast<int>(std::ceil(2.0 * z));
    frame.upper_slope[index(j)] = slope;
    frame.lower_channel[index(j)] = lo;
    frame.upper_channel[index(j)] = hi;

    double* e = frame.excitation.data() + index(j) * DW_CHANNEL_COUNT;
    const int below_end = std::min(lo, DW_CHANNEL_COUNT);
    for (int q = 0; q < below_end; ++q) {
      const double channel_level = level - LOWER_MASKING_SLOPE_DB_PER_BARK * (z - (q + 1) / 2.0);
      if (channel_level > tables.channel_threshold[index(q)]) {
        e[q] = std::pow(10.0, channel_level / 20.0);
      }
    }
    for (int q = std::max(hi - 1, 0); q < DW_CHANNEL_COUNT; ++q) {
      const double channel_level = level + slope * ((q + 1) / 2.0 - z);
      if (channel_level > tables.channel_threshold[index(q)]) {
        e[q] = std::pow(10.0, channel_level / 20.0);
      }
    }
  }
}

}  // namespace varnholt
