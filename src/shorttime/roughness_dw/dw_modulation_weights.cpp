// Weightings of the roughness summation over critical-band rate and over
// modulation frequency.
#include "shorttime/roughness_dw/dw_modulation_weights.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <span>

#include "shorttime/roughness_dw/critical_band_tables.h"
#include "shorttime/roughness_dw/dw_roughness.h"

namespace varnholt {

namespace {

// g(z) at z = 0, 1, ..., 24 Bark: roughness is felt most near 9-10 Bark.
constexpr std::array<double, 25> CRITICAL_BAND_WEIGHT_BARK = [] {
  std::array<double, 25> z{};
  for (std::size_t i = 0; i < z.size(); ++i) z[i] = static_cast<double>(i);
  return z;
}();
constexpr std::array<double, 25> CRITICAL_BAND_WEIGHT = {
    0.15, 0.26, 0.38, 0.47, 0.54, 0.65, 0.76, 0.83, 0.9, 0.98, 0.98, 0.9, 0.8,
    0.7,  0.62, 0.54, 0.49, 0.43, 0.39, 0.35, 0.3,  0.3, 0.3,  0.3,  0.3};

// Modulation-frequency weighting curves (Hz -> weight), each ending at 0 at
// its upper frequency F_max. Low channels favour slower modulation, higher
// channels pass faster modulation.
constexpr std::array<double, 15> M1_HZ = {0,  17,  23,  25,  32,  37,  48, 67,
                                          90, 114, 171, 206, 247, 294, 358};
constexpr std::array<double, 15> M1_WEIGHT = {0,   0.8, 0.95, 0.975, 1,   0.975, 0.9, 0.8,
                                              0.7, 0.6, 0.4,  0.3,   0.2, 0.1,   0};
constexpr std::array<double, 14> M2_HZ = {0,   32,  43,  56,  69,  92,  120,
                                          142, 165, 231, 277, 331, 397, 502};
constexpr std::array<double, 14> M2_WEIGHT = {0,   0.8, 0.95, 1,   0.975, 0.9, 0.8,
                                              0.7, 0.6, 0.4,  0.3, 0.2,   0.1, 0};
constexpr std::array<double, 20> M3_HZ = {0,   23.5, 34,  47,  56,  63,  79,  100, 115, 135,
                                          159, 172,  194, 215, 244, 290, 348, 415, 500, 645};
constexpr std::array<double, 20> M3_WEIGHT = {0,    0.4, 0.6, 0.8, 0.9, 0.95, 1,   0.975, 0.95, 0.9,
                                              0.85, 0.8, 0.7, 0.6, 0.5, 0.4,  0.3, 0.2,   0.1,  0};
constexpr std::array<double, 18> M4_HZ = {0,     19,    44,    52.5, 58,  75,  101.5, 114.5, 132.5,
                                          143.5, 165.5, 197.5, 241,  290, 348, 415,   500,   645};
constexpr std::array<double, 18> M4_WEIGHT = {0,   0.4, 0.8, 0.9, 0.95, 1,   0.95, 0.9, 0.85,
                                              0.8, 0.7, 0.6, 0.5, 0.4,  0.3, 0.2,  0.1, 0};
constexpr std::array<double, 19> M5_HZ = {0,   15,  41,  49,  53,  64,  71,  88,  94, 106,
                                          115, 137, 180, 238, 290, 348, 415, 500, 645};
constexpr std::array<double, 19> M5_WEIGHT = {0,   0.4, 0.8, 0.9, 0.965, 0.99, 1,   0.95, 0.9, 0.85,
                                              0.8, 0.7, 0.6, 0.5, 0.4,   0.3,  0.2, 0.1,  0};

struct ModulationCurve {
  std::span<const double> hz;
  std::span<const double> weight;
  int first_channel;  // channels first_channel ... last_channel use this curve
  int last_channel;
};

constexpr std::array<ModulationCurve, 5> MODULATION_CURVES = {{
    {M1_HZ, M1_WEIGHT, 0, 3},
    {M2_HZ, M2_WEIGHT, 4, 14},
    {M3_HZ, M3_WEIGHT, 15, 19},
    {M4_HZ, M4_WEIGHT, 20, 40},
    {M5_HZ, M5_WEIGHT, 41, 46},
}};

// One row of a curve over the n bins of an envelope spectrum.
void fill_row(const ModulationCurve& curve, int n, double fs, double* row) {
  const double f_max = curve.hz.back();
  const int count = static_cast<int>(curve.hz.size());
  // Never into the upper half: the weighted spectrum stays one-sided.
  const int end = std::min(static_cast<int>(std::floor(f_max * n / fs)), n / 2);
  for (int b = 2; b < end; ++b) {
    const double frequency = b * fs / n;
    row[b] = interp_clamped(curve.hz.data(), curve.weight.data(), count, frequency);
  }
}

}  // namespace

double critical_band_weight(double z) {
  return interp_clamped(CRITICAL_BAND_WEIGHT_BARK.data(), CRITICAL_BAND_WEIGHT.data(),
                        static_cast<int>(CRITICAL_BAND_WEIGHT.size()), z);
}

std::vector<double> channel_weights() {
  std::vector<double> g(DW_CHANNEL_COUNT);
  for (int q = 0; q < DW_CHANNEL_COUNT; ++q) {
    g[static_cast<std::size_t>(q)] = critical_band_weight((q + 1) / 2.0);
  }
  return g;
}

std::vector<double> modulation_weight_rows(int n, double fs) {
  const auto row_length = static_cast<std::size_t>(n);
  std::vector<double> rows(row_length * DW_CHANNEL_COUNT, 0.0);
  std::vector<double> row(row_length, 0.0);
  for (const ModulationCurve& curve : MODULATION_CURVES) {
    std::fill(row.begin(), row.end(), 0.0);
    fill_row(curve, n, fs, row.data());
    for (int q = curve.first_channel; q <= curve.last_channel; ++q) {
      std::copy(
          row.begin(), row.end(),
          rows.begin() + static_cast<std::ptrdiff_t>(row_length * static_cast<std::size_t>(q)));
    }
  }
  return rows;
}

}  // namespace varnholt
