// The frequency weightings as published in IEC 61672-1:2013, Table 3: the
// nominal frequencies, the A and C weightings (design goals rounded to
// 0.1 dB) and the class 1 acceptance limits.
#pragma once

#include <cmath>
#include <limits>

namespace varnholt::test {

struct WeightingTableRow {
  double frequency_hz;
  double a_db;
  double c_db;
  double upper_db;  // class 1 acceptance limits around the weighting
  double lower_db;  // (minus infinity: no lower limit)
};

inline constexpr double NO_LIMIT = std::numeric_limits<double>::infinity();

inline constexpr WeightingTableRow IEC_61672_WEIGHTINGS[] = {
    {10.0, -70.4, -14.3, 3.5, NO_LIMIT}, {12.5, -63.4, -11.2, 3.0, NO_LIMIT},
    {16.0, -56.7, -8.5, 2.5, 4.5},       {20.0, -50.5, -6.2, 2.5, 2.5},
    {25.0, -44.7, -4.4, 2.5, 2.0},       {31.5, -39.4, -3.0, 2.0, 2.0},
    {40.0, -34.6, -2.0, 1.5, 1.5},       {50.0, -30.2, -1.3, 1.5, 1.5},
    {63.0, -26.2, -0.8, 1.5, 1.5},       {80.0, -22.5, -0.5, 1.5, 1.5},
    {100.0, -19.1, -0.3, 1.5, 1.5},      {125.0, -16.1, -0.2, 1.5, 1.5},
    {160.0, -13.4, -0.1, 1.5, 1.5},      {200.0, -10.9, 0.0, 1.5, 1.5},
    {250.0, -8.6, 0.0, 1.4, 1.4},        {315.0, -6.6, 0.0, 1.4, 1.4},
    {400.0, -4.8, 0.0, 1.4, 1.4},        {500.0, -3.2, 0.0, 1.4, 1.4},
    {630.0, -1.9, 0.0, 1.4, 1.4},        {800.0, -0.8, 0.0, 1.4, 1.4},
    {1000.0, 0.0, 0.0, 1.1, 1.1},        {1250.0, 0.6, 0.0, 1.4, 1.4},
    {1600.0, 1.0, -0.1, 1.6, 1.6},       {2000.0, 1.2, -0.2, 1.6, 1.6},
    {2500.0, 1.3, -0.3, 1.6, 1.6},       {3150.0, 1.2, -0.5, 1.6, 1.6},
    {4000.0, 1.0, -0.8, 1.6, 1.6},       {5000.0, 0.5, -1.3, 2.1, 2.1},
    {6300.0, -0.1, -2.0, 2.1, 2.6},      {8000.0, -1.1, -3.0, 2.1, 3.1},
    {10000.0, -2.5, -4.4, 2.6, 3.6},     {12500.0, -4.3, -6.2, 3.0, 6.0},
    {16000.0, -6.6, -8.5, 3.5, 17.0},
};

// The exact frequency a nominal one stands for: 1000 Hz * 10^(n / 10), the
// base-ten third-octave series (12.5 Hz is 12.589 Hz).
inline double exact_frequency_hz(double nominal_hz) {
  const double n = std::round(10.0 * std::log10(nominal_hz / 1000.0));
  return 1000.0 * std::pow(10.0, n / 10.0);
}

// The table rounds to 0.1 dB.
inline constexpr double TABLE_ROUNDING_DB = 0.05;

}  // namespace varnholt::test
