// Hearing tables of the roughness model over critical-band rate.
#include "shorttime/roughness_dw/critical_band_tables.h"

#include <array>

namespace varnholt {

namespace {

// Critical-band rate, one row every 0.5 Bark from 0 to 24.5 Bark.
constexpr std::array<double, 50> BARK_TABLE_HZ = {
    0,    50,   100,  150,  200,  250,  300,   350,   400,   450,   510,  570,  630,
    700,  770,  840,  920,  1000, 1080, 1170,  1270,  1370,  1480,  1600, 1720, 1850,
    2000, 2150, 2320, 2500, 2700, 2900, 3150,  3400,  3700,  4000,  4400, 4800, 5300,
    5800, 6400, 7000, 7700, 8500, 9500, 10500, 12000, 13500, 15500, 20000};

constexpr std::array<double, 50> BARK_TABLE_BARK = [] {
  std::array<double, 50> z{};
  for (std::size_t i = 0; i < z.size(); ++i) z[i] = 0.5 * static_cast<double>(i);
  return z;
}();

constexpr bool strictly_ascending(const std::array<double, 50>& x) {
  for (std::size_t i = 1; i < x.size(); ++i) {
    if (!(x[i - 1] < x[i])) return false;
  }
  return true;
}
// The lookup needs ascending frequencies; the table is written in that order.
static_assert(strictly_ascending(BARK_TABLE_HZ));

// Threshold in quiet: Bark -> dB SPL; 130 dB outside the audible range.
constexpr std::array<double, 27> THRESHOLD_BARK = {0,  0.01, 0.17, 0.8, 1,  1.5,  2,  3.3,  4,
                                                   5,  6,    8,    10,  12, 13.3, 15, 16,   17,
                                                   18, 19,   20,   21,  22, 23,   24, 24.5, 25};
constexpr std::array<double, 27> THRESHOLD_DB = {130,  70,  60,  30,  25,  20, 15,   10, 8.1,
                                                 6.3,  5,   3.5, 2.5, 1.7, 0,  -2.5, -4, -3.7,
                                                 -1.5, 1.4, 3.8, 5,   7.5, 15, 48,   60, 130};

// Outer-ear transfer function a0: Bark -> dB; the ear canal resonance near
// 3-4 kHz (16.5 Bark) and the steep loss above 10 kHz.
constexpr std::array<double, 22> OUTER_EAR_BARK = {0,    10, 12,   13, 14, 15, 16,   16.5,
                                                   17,   18, 18.5, 19, 20, 21, 21.5, 22,
                                                   22.5, 23, 23.5, 24, 25, 26};
constexpr std::array<double, 22> OUTER_EAR_DB = {
    0, 0,     1.15,  2.31,  3.85,  5.62,  6.92,  7.38, 6.92, 4.23, 2.31,
    0, -1.43, -2.59, -3.57, -5.19, -7.41, -11.3, -20,  -40,  -130, -999};

template <std::size_t N>
double lookup(const std::array<double, N>& xs, const std::array<double, N>& ys, double x) {
  return interp_clamped(xs.data(), ys.data(), static_cast<int>(N), x);
}

}  // namespace

double interp_clamped(const double* xs, const double* ys, int count, double x) {
  if (x <= xs[0]) return ys[0];
  if (x >= xs[count - 1]) return ys[count - 1];
  for (int i = 0; i + 1 < count; ++i) {
    if (xs[i] <= x && x <= xs[i + 1]) {
      return ys[i] + (x - xs[i]) / (xs[i + 1] - xs[i]) * (ys[i + 1] - ys[i]);
    }
  }
  return ys[count - 1];
}

double bark_of_frequency(double hz) { return lookup(BARK_TABLE_HZ, BARK_TABLE_BARK, hz); }

double frequency_of_half_bark_row(int row) { return BARK_TABLE_HZ[static_cast<std::size_t>(row)]; }

// The ends of both tables hold the values beyond them (130 dB, 0 dB and
// -999 dB), so the clamped lookup is the whole rule.
double threshold_in_quiet_db(double z) { return lookup(THRESHOLD_BARK, THRESHOLD_DB, z); }

double outer_ear_gain_db(double z) { return lookup(OUTER_EAR_BARK, OUTER_EAR_DB, z); }

}  // namespace varnholt
