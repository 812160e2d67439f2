// Core loudness after Zwicker: the third-octave levels are grouped into
// critical bands (the eleven bands up to 250 Hz weighted and summed into the
// first three), corrected for ear transmission and sound field, and turned into
// loudness by Zwicker's power law above the threshold in quiet.
#include "loudness/core_loudness.h"

#include <array>
#include <cmath>

namespace varnholt {
namespace {

inline constexpr std::size_t LOW_RANGE_COUNT = 8;
inline constexpr std::size_t CRITICAL_BAND_COUNT = 20;

// Upper limits in dB of the level ranges of the low-band weighting. The last
// one only documents the end of the table; it is never compared.
constexpr double LOW_BAND_RANGE_LIMITS[LOW_RANGE_COUNT] = {45, 55, 65, 71, 80, 90, 100,
                                                           LOW_BAND_MAX_LEVEL_DB};

// Weights in dB of the bands 25...250 Hz per level range: the equal-loudness
// contours flatten as the level rises, so low bands lose less at high levels.
constexpr double LOW_BAND_WEIGHTS[LOW_RANGE_COUNT][LOW_BAND_COUNT] = {
    {-32, -24, -16, -10, -5, 0, -7, -3, 0, -2, 0},
    {-29, -22, -15, -10, -4, 0, -7, -2, 0, -2, 0},
    {-27, -19, -14, -9, -4, 0, -6, -2, 0, -2, 0},
    {-25, -17, -12, -9, -3, 0, -5, -2, 0, -2, 0},
    {-23, -16, -11, -7, -3, 0, -4, -1, 0, -1, 0},
    {-20, -14, -10, -6, -3, 0, -4, -1, 0, -1, 0},
    {-18, -12, -9, -6, -2, 0, -3, -1, 0, -1, 0},
    {-15, -10, -8, -4, -2, 0, -3, -1, 0, -1, 0},
};

// Per critical band, in dB: threshold in quiet, ear transmission (free field,
// frontal), diffuse-field correction and the band-width correction.
constexpr double THRESHOLD_IN_QUIET[CRITICAL_BAND_COUNT] = {30, 18, 12, 8, 7, 6, 5, 4, 3, 3,
                                                            3,  3,  3,  3, 3, 3, 3, 3, 3, 3};
constexpr double EAR_TRANSMISSION[CRITICAL_BAND_COUNT] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -0.5, -1.6, -3.2, -5.4, -5.6, -4.0, -1.5, 2.0, 5.0, 12.0};
constexpr double DIFFUSE_FIELD_CORRECTION[CRITICAL_BAND_COUNT] = {
    0, 0, 0.5, 0.9, 1.2, 1.6, 2.3, 2.8, 3.0, 2.0, 0, -1.4, -2.0, -1.9, -1.0, 0.5, 3.0, 4.0, 4.3, 4.0};
constexpr double BAND_WIDTH_CORRECTION[CRITICAL_BAND_COUNT] = {
    -0.25, -0.6, -0.8, -0.8, -0.5, 0, 0.5, 1.1, 1.5, 1.7, 1.8, 1.8, 1.7, 1.6, 1.4, 1.2, 0.8, 0.5, 0, -0.5};

// Level of a critical band whose intensity sum is zero.
constexpr double SILENT_CRITICAL_BAND_DB = -120.0;

// ln(10) / 10: 10^(L/10) = exp(L * ln(10) / 10).
constexpr double LN10_OVER_10 = 0.23025850929940456840;

// The intensity ratio 10^(L/10) of a level difference L in dB. An exponential
// costs a fraction of a general power and agrees with it to within a few units
// in the last place.
double intensity_ratio(double level_db) { return std::exp(level_db * LN10_OVER_10); }

// Intensity of low band i after the weighting of the level range it falls in.
double weighted_low_band_intensity(double level, std::size_t i) {
  std::size_t c = 0;
  while (c < LOW_RANGE_COUNT - 1 && !(level <= LOW_BAND_RANGE_LIMITS[c] - LOW_BAND_WEIGHTS[c][i])) {
    ++c;
  }
  return intensity_ratio(level + LOW_BAND_WEIGHTS[c][i]);
}

double level_of_intensity(double g) {
  return g > 0.0 ? 10.0 * std::log10(g) : SILENT_CRITICAL_BAND_DB;
}

// Levels of the 20 critical bands: the first three from the weighted
// intensities of 25...80 Hz, 100...160 Hz and 200...250 Hz, the rest one to
// one from the third-octave bands 315 Hz ... 12.5 kHz.
void critical_band_levels(const double* levels, double* critical) {
  double x[LOW_BAND_COUNT];
  for (std::size_t i = 0; i < LOW_BAND_COUNT; ++i) x[i] = weighted_low_band_intensity(levels[i], i);
  const double g0 = x[0] + x[1] + x[2] + x[3] + x[4] + x[5];
  const double g1 = x[6] + x[7] + x[8];
  const double g2 = x[9] + x[10];
  critical[0] = level_of_intensity(g0);
  critical[1] = level_of_intensity(g1);
  critical[2] = level_of_intensity(g2);
  for (std::size_t k = 3; k < CRITICAL_BAND_COUNT; ++k) critical[k] = levels[k + 8];
}

// The factor 0.0635 * 10^(0.025 LTQ) of each band's loudness law, a constant
// of the band: formed once, with the operations the law itself would use.
const std::array<double, CRITICAL_BAND_COUNT>& loudness_law_scales() {
  static const std::array<double, CRITICAL_BAND_COUNT> scales = [] {
    std::array<double, CRITICAL_BAND_COUNT> s{};
    for (std::size_t k = 0; k < CRITICAL_BAND_COUNT; ++k) {
      s[k] = 0.0635 * std::pow(10.0, 0.025 * THRESHOLD_IN_QUIET[k]);
    }
    return s;
  }();
  return scales;
}

}  // namespace

// Zwicker's loudness law per critical band: zero up to the threshold in
// quiet, then the 0.25 power of the excitation above it. The excitation
// ratios come first, one exponential for each audible band; the fourth roots
// follow for all bands at once as two square roots, correctly rounded and
// vectorised.
void core_loudness(const double* levels, vh_sound_field sound_field, double* core) noexcept {
  double critical[CRITICAL_BAND_COUNT];
  critical_band_levels(levels, critical);
  double excitation[CRITICAL_BAND_COUNT];
  double ratio[CRITICAL_BAND_COUNT];
  for (std::size_t k = 0; k < CRITICAL_BAND_COUNT; ++k) {
    excitation[k] = critical[k] - EAR_TRANSMISSION[k];
    if (sound_field == VH_SOUND_FIELD_DIFFUSE) excitation[k] += DIFFUSE_FIELD_CORRECTION[k];
    // The threshold test uses the excitation before the band-width correction.
    const double above_threshold = excitation[k] - BAND_WIDTH_CORRECTION[k] - THRESHOLD_IN_QUIET[k];
    ratio[k] = excitation[k] > THRESHOLD_IN_QUIET[k] ? intensity_ratio(above_threshold) : 0.0;
  }
  const std::array<double, CRITICAL_BAND_COUNT>& scales = loudness_law_scales();
  for (std::size_t k = 0; k < CRITICAL_BAND_COUNT; ++k) {
    const double n = scales[k] * (std::sqrt(std::sqrt(0.75 + 0.25 * ratio[k])) - 1.0);
    const double audible = excitation[k] > THRESHOLD_IN_QUIET[k] ? n : 0.0;
    core[k] = audible < 0.0 ? 0.0 : audible;
  }
  core[CRITICAL_BAND_COUNT] = 0.0;
  // The lowest critical band is heard less loud than its core value at low
  // loudness.
  const double correction = 0.4 + 0.32 * std::pow(core[0], 0.2);
  if (correction <= 1.0) core[0] *= correction;
}

}  // namespace varnholt
