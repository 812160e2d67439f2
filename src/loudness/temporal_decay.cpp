// Coefficients of the nonlinear temporal decay at 48 kHz: a critically damped
// pair of time constants (5 ms and 15 ms) blended by a 75 ms variable one.
#include "loudness/temporal_decay.h"

#include <cmath>
#include <cstring>

#include "core/physical_constants.h"
#include "core/wide_vectors.h"

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

// Lanes in one vector register: two with SSE2, four with AVX2. Arithmetic,
// comparisons and selects act on each lane on its own, exactly as on a single
// double.
typedef double LanePair __attribute__((vector_size(2 * sizeof(double))));
typedef double LaneQuad __attribute__((vector_size(4 * sizeof(double))));

// Lanes travel by reference only: the helpers are always inlined, so no
// vector ever passes through a call.
template <typename Lanes>
VARNHOLT_INLINE_BODY void load_lanes(const double* p, Lanes& x) noexcept {
  std::memcpy(&x, p, sizeof x);
}

template <typename Lanes>
VARNHOLT_INLINE_BODY void store_lanes(const Lanes& x, double* p) noexcept {
  std::memcpy(p, &x, sizeof x);
}

// One step of a lane, or of a register of lanes, from (o, t) = (Uo, U2) on
// the input `in`. Falling (in < o), the output follows the two-pole decay
// while the companion is below it and the single 15 ms decay otherwise, never
// below the input; the companion then falls with the two-pole decay (never
// above the new output) or takes the new output. Rising or holding, the output
// jumps to the input and a companion below it approaches it with 75 ms.
//
// For inputs >= 0 (a loudness) from a zero start both states stay >= 0, and
// then neither decay curve exceeds o, nor does the 75 ms approach cross the
// input: the maxima and minima below give the input itself when rising or
// holding, so each case needs fewer selects than the branches suggest while
// every lane gets exactly the values of its own branching decay.
template <typename Lane>
VARNHOLT_INLINE_BODY void advance(const Lane& in, Lane& o, Lane& t,
                                  const TemporalDecayCoefficients& c) noexcept {
  const Lane two_pole = o * c.b2 - t * c.b3;
  const Lane two_pole_t = o * c.b0 - t * c.b1;
  const Lane one_pole = o * c.b4;
  const Lane approach = in + (t - in) * c.b5;
  const Lane decayed = t < o ? two_pole : one_pole;
  const Lane next_o = in > decayed ? in : decayed;
  const Lane fall_t_candidate = t < o ? two_pole_t : next_o;
  const Lane fall_t = fall_t_candidate < next_o ? fall_t_candidate : next_o;
  const Lane rise_t = approach < in ? approach : in;
  t = in < o ? fall_t : rise_t;
  o = next_o;
}

// step_along over registers of `Lanes`, `block` registers at a time: few
// enough that their states stay in registers, enough to hide each step's
// latency.
template <typename Lanes, std::size_t block>
VARNHOLT_INLINE_BODY void step_along_lanes(double* __restrict uo, double* __restrict u2,
                                           const double* __restrict from,
                                           const double* __restrict to,
                                           std::span<const double> weights,
                                           const TemporalDecayCoefficients& c) noexcept {
  constexpr std::size_t width = sizeof(Lanes) / sizeof(double);
  static_assert(TEMPORAL_DECAY_LANES % (width * block) == 0);
  for (std::size_t first = 0; first < TEMPORAL_DECAY_LANES; first += width * block) {
    Lanes o[block];
    Lanes t[block];
    Lanes start[block];
    Lanes rise[block];
    for (std::size_t p = 0; p < block; ++p) {
      const std::size_t v = first + width * p;
      load_lanes(uo + v, o[p]);
      load_lanes(u2 + v, t[p]);
      load_lanes(from + v, start[p]);
      load_lanes(to + v, rise[p]);
      rise[p] -= start[p];
    }
    for (const double w : weights) {
      for (std::size_t p = 0; p < block; ++p) {
        const Lanes in = start[p] + w * rise[p];
        advance(in, o[p], t[p], c);
      }
    }
    for (std::size_t p = 0; p < block; ++p) {
      const std::size_t v = first + width * p;
      Lanes end;
      load_lanes(to + v, end);
      advance(end, o[p], t[p], c);
      store_lanes(o[p], uo + v);
      store_lanes(t[p], u2 + v);
    }
  }
}

}  // namespace

void TemporalDecayState::step(const double* __restrict x, const TemporalDecayCoefficients& c) noexcept {
  for (std::size_t v = 0; v < TEMPORAL_DECAY_LANES; ++v) advance(x[v], uo[v], u2[v], c);
}

void TemporalDecayState::step_along(const double* __restrict from, const double* __restrict to,
                                    std::span<const double> weights,
                                    const TemporalDecayCoefficients& c) noexcept {
  if (wide_vectors_available()) {
    step_along_wide(from, to, weights, c);
  } else {
    step_along_baseline(from, to, weights, c);
  }
}

void TemporalDecayState::step_along_baseline(const double* __restrict from,
                                             const double* __restrict to,
                                             std::span<const double> weights,
                                             const TemporalDecayCoefficients& c) noexcept {
  step_along_lanes<LanePair, 5>(uo, u2, from, to, weights, c);
}

VARNHOLT_WIDE_TARGET void TemporalDecayState::step_along_wide(
    const double* __restrict from, const double* __restrict to, std::span<const double> weights,
    const TemporalDecayCoefficients& c) noexcept {
#if VARNHOLT_WIDE_VECTORS
  step_along_lanes<LaneQuad, 5>(uo, u2, from, to, weights, c);
#else
  step_along_baseline(from, to, weights, c);
#endif
}

}  // namespace varnholt
