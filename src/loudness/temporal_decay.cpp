// Coefficients of the nonlinear temporal decay at 48 kHz: a critically damped
// pair of time constants (5 ms and 15 ms) blended by a 75 ms variable one.
#include "loudness/temporal_decay.h"

#include <cmath>

#include "core/physical_constants.h"

namespace varnholt {
namespace {

// One sample at 48 kHz, in seconds.
constexpr double SAMPLE_PERIOD_S = 1.0 / SAMPLE_RATE_HZ;
// Time constants of the single-pole decay after a long sound and of the
// variable decay, in seconds.
constexpr double T_LONG_S = 0.015;
constexpr double T_VAR_S = 0.075;
// The characteristic equation of the two-pole decay, lambda^2 + P lambda + Q,
// has roots -P/2 +- sqrt(P^2/4 - Q) with P = 240 /s and Q = 2666.67 /s^2.
constexpr double HALF_P = 120.0;
constexpr double DISCRIMINANT = 11733.333333333334;

}  // namespace

TemporalDecayCoefficients temporal_decay_coefficients() noexcept {
  const double root = std::sqrt(DISCRIMINANT);
  const double lambda1 = root - HALF_P;
  const double lambda2 = -HALF_P - root;
  const double e1 = std::exp(lambda1 * SAMPLE_PERIOD_S);
  const double e2 = std::exp(lambda2 * SAMPLE_PERIOD_S);
  const double den = (lambda1 - lambda2) * T_VAR_S;
  TemporalDecayCoefficients c{};
  c.b0 = (e1 - e2) / den;
  c.b1 = ((T_VAR_S * lambda2 + 1.0) * e1 - (T_VAR_S * lambda1 + 1.0) * e2) / den;
  c.b2 = ((T_VAR_S * lambda1 + 1.0) * e1 - (T_VAR_S * lambda2 + 1.0) * e2) / den;
  c.b3 = (T_VAR_S * lambda2 + 1.0) * (T_VAR_S * lambda1 + 1.0) * (e1 - e2) / den;
  // 15 ms and 75 ms single-pole decays: exp(-1/720) and exp(-1/3600) per sample.
  c.b4 = std::exp(-1.0 / (T_LONG_S * SAMPLE_RATE_HZ));
  c.b5 = std::exp(-1.0 / (T_VAR_S * SAMPLE_RATE_HZ));
  return c;
}

namespace {

// One step of every lane on the inputs input(v).
template <typename Input>
inline void advance(TemporalDecayState& s, Input input, const TemporalDecayCoefficients& c) noexcept {
  for (std::size_t v = 0; v < TEMPORAL_DECAY_LANES; ++v) {
    const double in = input(v);
    const double o = s.uo[v];
    const double t = s.u2[v];
    // Falling while the companion is below the output: the two-pole decay.
    const double two_pole = o * c.b2 - t * c.b3;
    const double short_o = in > two_pole ? in : two_pole;
    const double short_t_candidate = o * c.b0 - t * c.b1;
    const double short_t = short_t_candidate < short_o ? short_t_candidate : short_o;
    // Falling otherwise: a single 15 ms decay, the companion following.
    const double one_pole = o * c.b4;
    const double long_o = in > one_pole ? in : one_pole;
    // Rising or holding: the output jumps to the input, the companion
    // approaches it with 75 ms.
    const double approach = in + (t - in) * c.b5;
    const double rise_t = in > t ? approach : in;
    const double fall_o = t < o ? short_o : long_o;
    const double fall_t = t < o ? short_t : long_o;
    s.uo[v] = in < o ? fall_o : in;
    s.u2[v] = in < o ? fall_t : rise_t;
  }
}

}  // namespace

void TemporalDecayState::step(const double* __restrict x, const TemporalDecayCoefficients& c) noexcept {
  advance(*this, [x](std::size_t v) { return x[v]; }, c);
}

void TemporalDecayState::step_along(const double* __restrict from, const double* __restrict rise,
                                    double w, const TemporalDecayCoefficients& c) noexcept {
  advance(*this, [from, rise, w](std::size_t v) { return from[v] + w * rise[v]; }, c);
}

}  // namespace varnholt
