// Narrow-band component search: candidates grow from the highest smoothed
// level to their -3 dB edges and on to the noise floor beside them, and are
// accepted when they are narrower than a critical band, stand 7 dB above both
// neighbouring critical bands and carry intensity above a straight baseline.
#include "shorttime/tonality_aures/aures_bands.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "core/checks.h"
#include "shorttime/tonality_aures/aures_analysis.h"

namespace varnholt {
namespace {

constexpr double UNUSED_LEVEL = -100.0;

// The search mostly stays near 20 Hz..5 kHz, so the smoothed levels and
// intensities are made from bin 0 up as far as it reaches, in stretches of
// this many bins.
constexpr int SMOOTHING_STRETCH = 256;

// Within +-3000 dB every intensity lies between 1e-300 and 1e300, so the sum
// of three is finite and positive and every smoothed level finite.
constexpr double SAFE_LEVEL_DB = 3000.0;

bool levels_within_safe_range(const double* l, int m) noexcept {
  bool safe = true;
  for (int j = 0; j < m; ++j) safe &= l[j] >= -SAFE_LEVEL_DB && l[j] <= SAFE_LEVEL_DB;
  return safe;
}

// Makes the smoothed level S and the intensity of bins up to `last`: S is the
// power mean of the three bins around a bin (the two end bins keep their
// level), the intensity 10^(L/10), which the working levels start from.
void smooth_through(const double* l, BandSearchRows& rows, int last) noexcept {
  if (last < rows.smoothed_end) return;
  const int m = rows.m;
  const int begin = rows.smoothed_end;
  const int end = std::min(std::max(last + 1, begin + SMOOTHING_STRETCH), m);
  double* power = rows.level_intensity.data();
  double* s = rows.smoothed.data();
  // The intensities run one bin ahead: the last smoothed bin needs its upper
  // neighbour.
  const int power_begin = begin == 0 ? 0 : begin + 1;
  const int power_end = std::min(end + 1, m);
  for (int j = power_begin; j < power_end; ++j) power[j] = std::pow(10.0, l[j] / 10.0);
  std::copy(power + begin, power + end, rows.intensity.data() + begin);
  const double log_three = 10.0 * std::log10(3.0);
  for (int j = begin; j < end; ++j) {
    s[j] = j == 0 || j == m - 1
               ? l[j]
               : 10.0 * std::log10(power[j - 1] + power[j] + power[j + 1]) - log_three;
  }
  rows.smoothed_end = end;
}

// Half an approximate critical bandwidth in bins at edge bin k: 100 Hz wide
// below 500 Hz, a fifth of the frequency above.
int edge_extension(int k, double df) noexcept {
  const double f = static_cast<double>(k) * df;
  const double x = f < 500.0 ? 100.0 : 0.2 * f;
  return static_cast<int>(std::floor(x * 0.5 / df + 0.5));
}

// The noise floor beside an edge: the r-th smallest smoothed level of the
// stretch first..last, r = max(floor(0.1 count) - 1, 1).
double floor_level(const double* s, int first, int last, double* scratch) noexcept {
  const int count = last - first + 1;
  std::copy(s + first, s + last + 1, scratch);
  const int r = std::max(static_cast<int>(std::floor(0.1 * static_cast<double>(count))) - 1, 1);
  // Only the r-th value counts, and it is the same whichever way the finite
  // levels are ordered: a selection finds it without sorting the stretch.
  std::nth_element(scratch, scratch + (r - 1), scratch + count);
  return scratch[r - 1];
}

// Critical bandwidth in Hz at a centre frequency in Hz.
double critical_bandwidth(double fc) noexcept {
  const double x = fc / 1000.0;
  return 25.0 + 75.0 * std::pow(1.0 + 1.4 * (x * x), 0.69);
}

// Straight line in dB between the working levels at lo and hi.
double baseline_level(int j, int lo, double level_lo, double level_hi, int d) noexcept {
  return static_cast<double>(j - lo) * (level_hi - level_lo) / static_cast<double>(d) + level_lo;
}

enum class Outcome { accepted, rejected, failed };

// Intensities of the critical band around zc and of its two neighbours.
struct Neighbourhood {
  double centre = 0.0;
  double lower = 0.0;
  double upper = 0.0;
  int lower_count = 0;
  int upper_count = 0;
};

Neighbourhood measure_neighbourhood(const double* levels, BandSearchRows& rows,
                                    double zc) noexcept {
  Neighbourhood n;
  const double* z = rows.rate.data();
  // The rates rise with the bin, so only bins from zc - 1.5 Bark to
  // zc + 1.5 Bark can count.
  const double bottom = zc - 1.5;
  const double top = zc + 1.5;
  const double centre_low = zc - 0.5;
  const double centre_high = zc + 0.5;
  const int first = static_cast<int>(std::lower_bound(z, z + rows.m, bottom) - z);
  int end = first;
  while (end < rows.m && z[end] <= top) ++end;
  smooth_through(levels, rows, end - 1);
  const double* intensity = rows.intensity.data();
  for (int j = first; j < end; ++j) {
    const double p = intensity[j];
    if (z[j] >= centre_low && z[j] <= centre_high) {
      n.centre += p;
    } else if (z[j] >= bottom && z[j] < centre_low) {
      n.lower += p;
      ++n.lower_count;
    } else if (z[j] > centre_high && z[j] <= top) {
      n.upper += p;
      ++n.upper_count;
    }
  }
  return n;
}

// Judges one candidate with bounds lo..hi and -3 dB edges cl..cu: critical
// bandwidth, prominence over its neighbourhood, excess over the baseline; an
// accepted one is measured and flattened in the working levels.
Outcome examine_candidate(const double* levels, BandSearchRows& rows, double df, int cl, int cu,
                          int lo, int hi, TonalBand& band) noexcept {
  double* w = rows.working.data();
  double* intensity = rows.intensity.data();
  const double level_lo = w[lo];
  const double level_hi = w[hi];
  const double fc = std::sqrt((static_cast<double>(cu) * df) * (static_cast<double>(cl) * df));
  const double b3 = static_cast<double>(cu - cl) * df;
  if (fc <= 0.0 || b3 <= 0.0) return Outcome::rejected;
  if (b3 >= critical_bandwidth(fc)) return Outcome::rejected;

  const Neighbourhood n = measure_neighbourhood(levels, rows, bark_from_hz(fc));
  if (!is_finite_value(n.centre) || !is_finite_value(n.lower) || !is_finite_value(n.upper)) {
    return Outcome::failed;
  }
  if (n.lower_count == 0 || n.upper_count == 0) return Outcome::rejected;
  const double centre_db = 10.0 * std::log10(n.centre);
  if (centre_db - 10.0 * std::log10(n.lower) < 7.0) return Outcome::rejected;
  if (centre_db - 10.0 * std::log10(n.upper) < 7.0) return Outcome::rejected;

  double band_intensity = 0.0;
  for (int j = cl; j <= cu; ++j) band_intensity += intensity[j];

  // Intensity above the straight baseline between the two bounds.
  const int d = std::max(hi - lo, 1);
  double* e = rows.excess.data();
  double baseline_in_band = 0.0;
  double excess_sum = 0.0;
  for (int j = lo; j <= hi; ++j) {
    const double u = std::pow(10.0, baseline_level(j, lo, level_lo, level_hi, d) / 10.0);
    e[j] = std::max(intensity[j] - u, 0.0);
    if (j >= cl && j <= cu) baseline_in_band += u;
    excess_sum += e[j];
  }
  if (!is_finite_value(band_intensity) || !is_finite_value(baseline_in_band) ||
      !is_finite_value(excess_sum)) {
    return Outcome::failed;
  }
  if (baseline_in_band >= band_intensity || excess_sum <= 0.0 || hi == lo) {
    return Outcome::rejected;
  }

  // The small ramp keeps the distribution strictly rising.
  double* cumulative = rows.cumulative.data();
  double running = 0.0;
  for (int j = lo; j <= hi; ++j) {
    running += e[j];
    cumulative[j] = running / excess_sum + static_cast<double>(j - lo + 1) * 1e-12;
  }
  const double width = (cumulative_crossing(cumulative, lo, hi, df, 0.95) -
                        cumulative_crossing(cumulative, lo, hi, df, 0.05)) /
                       0.9;
  const double level = 10.0 * std::log10(band_intensity - baseline_in_band);
  if (!is_finite_value(width) || width <= 0.0) return Outcome::failed;
  if (!is_finite_value(level)) return Outcome::failed;

  // Later candidates measure their neighbourhoods without this band.
  for (int j = lo; j <= hi; ++j) {
    w[j] = baseline_level(j, lo, level_lo, level_hi, d);
    intensity[j] = std::pow(10.0, w[j] / 10.0);
  }

  band = TonalBand{lo, hi, fc, width, level, level_lo, level_hi};
  return Outcome::accepted;
}

}  // namespace

BandSearchRows::BandSearchRows(int bins, double bin_spacing)
    : m(bins),
      smoothed(static_cast<std::size_t>(bins)),
      level_intensity(static_cast<std::size_t>(bins)),
      search(static_cast<std::size_t>(bins)),
      working(static_cast<std::size_t>(bins)),
      intensity(static_cast<std::size_t>(bins)),
      rate(static_cast<std::size_t>(bins)),
      scratch(static_cast<std::size_t>(bins)),
      excess(static_cast<std::size_t>(bins)),
      cumulative(static_cast<std::size_t>(bins)),
      marks(static_cast<std::size_t>(bins)) {
  for (int j = 0; j < bins; ++j) {
    rate[static_cast<std::size_t>(j)] = bark_from_hz(static_cast<double>(j) * bin_spacing);
  }
}

double cumulative_crossing(const double* cumulative, int lo, int hi, double bin_spacing,
                           double target) noexcept {
  const double* f = cumulative;
  int k = lo + 1;
  while (k < hi && target > f[k]) ++k;
  if (f[k] == f[k - 1]) return std::numeric_limits<double>::quiet_NaN();
  const double below = static_cast<double>(k - 1) * bin_spacing;
  const double above = static_cast<double>(k) * bin_spacing;
  return below + (above - below) * (target - f[k - 1]) / (f[k] - f[k - 1]);
}

int aures_find_bands(const double* levels, int m, double bin_spacing, BandSearchRows& rows,
                     TonalBand* bands) noexcept {
  const double df = bin_spacing;
  double* s = rows.smoothed.data();
  double* q = rows.search.data();
  double* w = rows.working.data();
  unsigned char* marked = rows.marks.data();
  rows.smoothed_end = 0;
  if (!levels_within_safe_range(levels, m)) {
    // Levels this extreme may leave a smoothed level infinite: make them all
    // and check.
    smooth_through(levels, rows, m - 1);
    for (int j = 0; j < m; ++j) {
      if (!is_finite_value(s[j])) return -1;
    }
  }
  // Candidates are seeded between 20 Hz and 5 kHz only; everywhere else Q is
  // below 0 and can never be the highest level that still counts, so the
  // search for the highest Q need not look there.
  int seed_first = m;
  int seed_last = -1;
  for (int j = 0; j < m; ++j) {
    const double f = static_cast<double>(j) * df;
    if (f >= 20.0 && f <= 5000.0) {
      seed_first = std::min(seed_first, j);
      seed_last = j;
    }
  }
  if (seed_last < seed_first) return 0;
  smooth_through(levels, rows, seed_last);
  for (int j = seed_first; j <= seed_last; ++j) q[j] = s[j];
  std::copy(levels, levels + m, w);
  std::fill(marked, marked + m, static_cast<unsigned char>(0));

  int accepted = 0;
  for (int examined = 0; examined < AURES_MAX_BANDS; ++examined) {
    const int p = static_cast<int>(std::max_element(q + seed_first, q + seed_last + 1) - q);
    const double v = q[p];
    if (v < 0.0) break;

    // -3 dB edges; a side is blocked where it runs into an earlier candidate.
    int cl = 0;
    bool lower_blocked = false;
    for (int k = p - 1; k >= 0; --k) {
      if (v > s[k] + 3.0) {
        cl = k;
        break;
      }
      if (marked[k] != 0) {
        cl = k;
        lower_blocked = true;
        break;
      }
    }
    int cu = m - 1;
    bool upper_blocked = false;
    for (int k = p + 1; k < m; ++k) {
      smooth_through(levels, rows, k);
      if (v > s[k] + 3.0) {
        cu = k;
        break;
      }
      if (marked[k] != 0) {
        cu = k;
        upper_blocked = true;
        break;
      }
    }

    // Bounds: on from each edge down to the noise floor beside it, stopping
    // one bin short of an earlier candidate.
    int lo = cl;
    if (!lower_blocked) {
      const int lo0 = std::max(cl - edge_extension(cl, df), 0);
      const double t = floor_level(s, lo0, cl, rows.scratch.data());
      lo = lo0;
      for (int k = cl; k >= lo0; --k) {
        if (marked[k] != 0) {
          lo = k + 1;
          break;
        }
        if (t >= s[k]) {
          lo = k;
          break;
        }
      }
    }
    int hi = cu;
    if (!upper_blocked) {
      const int reach = cu + edge_extension(cu, df);
      const int hi0 = reach < m ? reach : m - 1;
      smooth_through(levels, rows, hi0);
      const double t = floor_level(s, cu, hi0, rows.scratch.data());
      hi = hi0;
      for (int k = cu; k <= hi0; ++k) {
        if (marked[k] != 0) {
          hi = k - 1;
          break;
        }
        if (t >= s[k]) {
          hi = k;
          break;
        }
      }
    }
    if (lo < 0 || hi >= m || hi < lo) return -1;

    for (int j = lo; j <= hi; ++j) {
      marked[j] = 1;
      q[j] = UNUSED_LEVEL;
    }

    TonalBand band{};
    switch (examine_candidate(levels, rows, df, cl, cu, lo, hi, band)) {
      case Outcome::failed:
        return -1;
      case Outcome::accepted:
        bands[accepted++] = band;
        break;
      case Outcome::rejected:
        break;
    }
  }
  return accepted;
}

}  // namespace varnholt
