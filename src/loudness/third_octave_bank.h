// Coefficients of the 48 kHz third-octave filter bank and a state that advances
// all 28 bands by one sample at once, in a layout the compiler can vectorise.
#pragma once

#include <array>
#include <cstddef>

#include "core/axes.h"

namespace varnholt {

inline constexpr std::size_t THIRD_OCTAVE_SECTIONS = 3;

// Numerators shared by every band: a low-pass, a band-pass and a high-pass
// zero pair (1, 2, 1), (1, 0, -1), (1, -2, 1).
inline constexpr double SECTION_B0[THIRD_OCTAVE_SECTIONS] = {1.0, 1.0, 1.0};
inline constexpr double SECTION_B1[THIRD_OCTAVE_SECTIONS] = {2.0, 0.0, -2.0};
inline constexpr double SECTION_B2[THIRD_OCTAVE_SECTIONS] = {1.0, -1.0, 1.0};

// One band's input gain and the deviations (da1, da2) of each section's
// denominator from the double pole at z = 1 (a1 = -2 - da1, a2 = 1 - da2).
// Storing the small deviations keeps the poles near z = 1 accurate.
struct ThirdOctaveBandCoefficients {
  double input_gain;
  double delta_a1[THIRD_OCTAVE_SECTIONS];
  double delta_a2[THIRD_OCTAVE_SECTIONS];
};

// Bands 0..27, centre frequencies 25 Hz ... 12.5 kHz.
inline constexpr ThirdOctaveBandCoefficients THIRD_OCTAVE_FILTER_COEFFICIENTS[THIRD_OCTAVE_BAND_COUNT] = {
    {4.30764e-11, {-0.00067026, -0.000375071, -0.000306523}, {0.000659453, 0.000361926, 0.000297634}},
    {8.5934e-11, {-0.000847258, -0.000476448, -0.000388773}, {0.000830131, 0.000455616, 0.000374685}},
    {1.71424e-10, {-0.0010721, -0.000606567, -0.000494004}, {0.00104496, 0.000573553, 0.000471677}},
    {3.41944e-10, {-0.00135836, -0.000774327, -0.000629154}, {0.00131535, 0.000722007, 0.000593771}},
    {6.82035e-10, {-0.0017238, -0.00099178, -0.000803529}, {0.00165564, 0.000908866, 0.000747455}},
    {1.36026e-09, {-0.00219188, -0.00127545, -0.00102976}, {0.00208388, 0.00114406, 0.0009409}},
    {2.71261e-09, {-0.00279386, -0.00164828, -0.0013252}, {0.00262274, 0.00144006, 0.00118438}},
    {5.4087e-09, {-0.00357182, -0.00214252, -0.00171397}, {0.00330071, 0.00181258, 0.00149082}},
    {1.07826e-08, {-0.00458305, -0.00280413, -0.00223006}, {0.00415355, 0.00228135, 0.00187646}},
    {2.1491e-08, {-0.00590655, -0.00369947, -0.00292205}, {0.00522622, 0.00287118, 0.00236178}},
    {4.28228e-08, {-0.00765243, -0.0049254, -0.00386007}, {0.00657493, 0.00361318, 0.0029724}},
    {8.54316e-08, {-0.0100023, -0.00663788, -0.00515982}, {0.0082961, 0.00455999, 0.00375306}},
    {1.70009e-07, {-0.013123, -0.00902274, -0.00694543}, {0.010422, 0.00573132, 0.00471734}},
    {3.38215e-07, {-0.0173693, -0.0124176, -0.00946002}, {0.0130947, 0.00720526, 0.00593145}},
    {6.7199e-07, {-0.0231934, -0.0173009, -0.0130358}, {0.0164308, 0.00904761, 0.00744926}},
    {1.33531e-06, {-0.0313292, -0.0244342, -0.0182108}, {0.020637, 0.0113731, 0.00936778}},
    {2.65172e-06, {-0.0428261, -0.0349619, -0.0257855}, {0.0259325, 0.0143046, 0.0117912}},
    {5.25477e-06, {-0.0591733, -0.0506072, -0.0369401}, {0.0325054, 0.0179513, 0.0148094}},
    {1.0378e-05, {-0.0826348, -0.0740348, -0.0534977}, {0.0405894, 0.0224476, 0.0185371}},
    {2.0487e-05, {-0.117018, -0.109516, -0.0785097}, {0.0508116, 0.0281387, 0.0232872}},
    {4.05198e-05, {-0.167714, -0.163378, -0.116419}, {0.0637872, 0.0353729, 0.0293723}},
    {7.97914e-05, {-0.242528, -0.245161, -0.173972}, {0.0798576, 0.044337, 0.0370015}},
    {0.000156511, {-0.353142, -0.369163, -0.261399}, {0.099633, 0.0553535, 0.0465428}},
    {0.000304954, {-0.516316, -0.555473, -0.393998}, {0.124177, 0.0689403, 0.0586715}},
    {0.000599157, {-0.756635, -0.834281, -0.594547}, {0.155023, 0.0858123, 0.074396}},
    {0.00116544, {-1.10165, -1.23939, -0.891666}, {0.191713, 0.105243, 0.0940354}},
    {0.00227488, {-1.58477, -1.80505, -1.325}, {0.239049, 0.128794, 0.121333}},
    {0.00391006, {-2.5063, -2.19464, -1.90231}, {0.142308, 0.27647, 0.147304}},
};

// The same coefficients band-minor: gain[band], a1[section][band],
// a2[section][band], so one section of all bands is one contiguous loop.
struct ThirdOctaveBankCoefficients {
  double gain[THIRD_OCTAVE_BAND_COUNT];
  double a1[THIRD_OCTAVE_SECTIONS][THIRD_OCTAVE_BAND_COUNT];
  double a2[THIRD_OCTAVE_SECTIONS][THIRD_OCTAVE_BAND_COUNT];
};

inline constexpr ThirdOctaveBankCoefficients THIRD_OCTAVE_BANK = [] {
  ThirdOctaveBankCoefficients bank{};
  for (std::size_t k = 0; k < THIRD_OCTAVE_BAND_COUNT; ++k) {
    const ThirdOctaveBandCoefficients& band = THIRD_OCTAVE_FILTER_COEFFICIENTS[k];
    bank.gain[k] = band.input_gain;
    for (std::size_t s = 0; s < THIRD_OCTAVE_SECTIONS; ++s) {
      bank.a1[s][k] = -2.0 - band.delta_a1[s];
      bank.a2[s][k] = 1.0 - band.delta_a2[s];
    }
  }
  return bank;
}();

// The delay values of all 28 bands, zero at construction. step() performs, for
// every band, exactly the operations of that band's own cascade in the same
// order, so its outputs are bit-identical to 28 separate passes.
//
// Each band runs its whole cascade before the next band starts, so the three
// sections' intermediate outputs stay in registers and the loop over bands
// vectorises. The numerators are written out as adds: (1, 2, 1) adds 2 w1 and
// w2, (1, 0, -1) subtracts w2, (1, -2, 1) subtracts 2 w1 and adds w2. Leaving
// out the zero tap changes no finite output (adding a signed zero changes at
// most the sign of a zero result, which no square sees); once a state has
// overflowed, every later output of the band is infinite or NaN either way.
struct ThirdOctaveBankState {
  double w1[THIRD_OCTAVE_SECTIONS][THIRD_OCTAVE_BAND_COUNT] = {};
  double w2[THIRD_OCTAVE_SECTIONS][THIRD_OCTAVE_BAND_COUNT] = {};

  void step(double x, double* __restrict y) noexcept {
    advance(x, [y](std::size_t k, double out) { y[k] = out; });
  }

  // step() without the outputs, for the samples over which the filters settle.
  void settle(double x) noexcept {
    advance(x, [](std::size_t, double) {});
  }

  // step() that adds the square of every band's output to sums[band] as soon
  // as it is formed, so the outputs never pass through memory.
  void step_and_sum_squares(double x, double* __restrict sums) noexcept {
    advance(x, [sums](std::size_t k, double out) { sums[k] += out * out; });
  }

 private:
  // Advances all bands by one sample and hands band k's output to emit(k, y).
  template <typename Emit>
  void advance(double x, Emit emit) noexcept {
    const ThirdOctaveBankCoefficients& c = THIRD_OCTAVE_BANK;
    for (std::size_t k = 0; k < THIRD_OCTAVE_BAND_COUNT; ++k) {
      // Low-pass zero pair (1, 2, 1), with the band's input gain.
      const double p1 = w1[0][k];
      const double p2 = w2[0][k];
      const double u0 = c.gain[k] * x - c.a1[0][k] * p1 - c.a2[0][k] * p2;
      const double y0 = u0 + 2.0 * p1 + p2;
      w2[0][k] = p1;
      w1[0][k] = u0;
      // Band-pass zero pair (1, 0, -1).
      const double q1 = w1[1][k];
      const double q2 = w2[1][k];
      const double u1 = y0 - c.a1[1][k] * q1 - c.a2[1][k] * q2;
      const double y1 = u1 - q2;
      w2[1][k] = q1;
      w1[1][k] = u1;
      // High-pass zero pair (1, -2, 1).
      const double r1 = w1[2][k];
      const double r2 = w2[2][k];
      const double u2 = y1 - c.a1[2][k] * r1 - c.a2[2][k] * r2;
      emit(k, u2 - 2.0 * r1 + r2);
      w2[2][k] = r1;
      w1[2][k] = u2;
    }
  }
};

}  // namespace varnholt
