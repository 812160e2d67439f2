// Design of the A and C weighting filters from the analogue pole frequencies
// of IEC 61672-1: A(s) ~ s^4 / ((s + w1)^2 (s + w2) (s + w3) (s + w4)^2) and
// C(s) ~ s^2 / ((s + w1)^2 (s + w4)^2).
#include "levels/frequency_weighting.h"

#include <cmath>
#include <complex>
#include <numbers>

namespace varnholt {
namespace {

constexpr double RATE_HZ = 48000.0;
constexpr double REFERENCE_FREQUENCY_HZ = 1000.0;

// Pole frequencies of the design goals in Hz: f1 and f4 from the defining
// corner frequencies 10^1.5 Hz and 10^3.9 Hz, f2 and f3 of the A weighting's
// mid-frequency pair.
constexpr double F1_HZ = 20.598997;
constexpr double F2_HZ = 107.65265;
constexpr double F3_HZ = 737.86223;
constexpr double F4_HZ = 12194.217;

// Bilinear transform of s / (s + w) with w prewarped so that the digital
// pole sits at the analogue corner frequency: (g (1 - z^-1)) / (1 - p z^-1).
struct FirstOrderHighPass {
  double gain;
  double pole;
};

FirstOrderHighPass bilinear_high_pass(double corner_hz) {
  const double k = 2.0 * RATE_HZ;
  const double w = k * std::tan(std::numbers::pi * corner_hz / RATE_HZ);
  return {k / (k + w), (k - w) / (k + w)};
}

// Two first-order high-passes as one section with its double zero at z = 1.
Biquad high_pass_pair(double corner1_hz, double corner2_hz) {
  const FirstOrderHighPass p = bilinear_high_pass(corner1_hz);
  const FirstOrderHighPass q = bilinear_high_pass(corner2_hz);
  const double g = p.gain * q.gain;
  return {g, -2.0 * g, g, -(p.pole + q.pole), p.pole * q.pole};
}

// w0^2 / (s + w0)^2, a low-pass of Q = 1/2: poles where the impulse response
// puts them (a double pole at exp(-w0 T)), and the two numerator
// coefficients chosen so that the squared magnitude, written in
// phi0 = cos^2(w/2) and phi1 = sin^2(w/2), equals the analogue one at 0 Hz
// (1) and at f0 (Q^2 = 1/4).
Biquad matched_double_pole(double corner_hz) {
  const double w0 = 2.0 * std::numbers::pi * corner_hz / RATE_HZ;
  const double r = std::exp(-w0);
  const double a1 = -2.0 * r;
  const double a2 = r * r;
  const double big_a0 = (1.0 + a1 + a2) * (1.0 + a1 + a2);
  const double big_a1 = (1.0 - a1 + a2) * (1.0 - a1 + a2);
  const double big_a2 = -4.0 * a2;
  const double s = std::sin(0.5 * w0);
  const double phi1 = s * s;
  const double phi0 = 1.0 - phi1;
  const double phi2 = 4.0 * phi0 * phi1;
  constexpr double Q_SQUARED = 0.25;
  const double at_corner = (big_a0 * phi0 + big_a1 * phi1 + big_a2 * phi2) * Q_SQUARED;
  const double big_b0 = big_a0;
  const double big_b1 = (at_corner - big_b0 * phi0) / phi1;
  const double b0 = 0.5 * (std::sqrt(big_b0) + std::sqrt(big_b1));
  const double b1 = std::sqrt(big_b0) - b0;
  return {b0, b1, 0.0, a1, a2};
}

std::complex<double> section_response(const Biquad& q, double frequency_hz) {
  const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * frequency_hz / RATE_HZ);
  const std::complex<double> z2 = z1 * z1;
  return (q.b0 + q.b1 * z1 + q.b2 * z2) / (1.0 + q.a1 * z1 + q.a2 * z2);
}

double unnormalised_gain_db(const WeightingFilterDesign& d, double frequency_hz) {
  std::complex<double> h = 1.0;
  for (std::size_t s = 0; s < d.section_count; ++s)
    h *= section_response(d.sections[s], frequency_hz);
  return 20.0 * std::log10(std::abs(h));
}

// Squared magnitude of w^2 / (w^2 + f^2)-type factors: f^2 / (f^2 + fc^2)
// for a high-pass pole, fc^2 / (f^2 + fc^2) for a low-pass one.
double analogue_gain_db(FrequencyWeighting weighting, double f) {
  const double f2 = f * f;
  const auto high = [f2](double fc) { return 10.0 * std::log10(f2 / (f2 + fc * fc)); };
  const auto low = [f2](double fc) { return 10.0 * std::log10(fc * fc / (f2 + fc * fc)); };
  double g = 2.0 * high(F1_HZ) + 2.0 * low(F4_HZ);
  if (weighting == FrequencyWeighting::a) g += high(F2_HZ) + high(F3_HZ);
  return g;
}

}  // namespace

WeightingFilterDesign weighting_filter_design(FrequencyWeighting weighting) noexcept {
  WeightingFilterDesign d{};
  if (weighting == FrequencyWeighting::a) {
    d.sections[0] = high_pass_pair(F1_HZ, F1_HZ);
    d.sections[1] = high_pass_pair(F2_HZ, F3_HZ);
    d.sections[2] = matched_double_pole(F4_HZ);
    d.section_count = 3;
  } else {
    d.sections[0] = high_pass_pair(F1_HZ, F1_HZ);
    d.sections[1] = matched_double_pole(F4_HZ);
    d.section_count = 2;
  }
  // The normalisation at 1 kHz goes into the first section's numerator.
  const double gain = std::pow(10.0, -unnormalised_gain_db(d, REFERENCE_FREQUENCY_HZ) / 20.0);
  d.sections[0].b0 *= gain;
  d.sections[0].b1 *= gain;
  d.sections[0].b2 *= gain;
  return d;
}

double weighting_filter_gain_db(const WeightingFilterDesign& design, double frequency_hz) noexcept {
  return unnormalised_gain_db(design, frequency_hz);
}

double weighting_design_goal_db(FrequencyWeighting weighting, double frequency_hz) noexcept {
  return analogue_gain_db(weighting, frequency_hz) -
         analogue_gain_db(weighting, REFERENCE_FREQUENCY_HZ);
}

}  // namespace varnholt
