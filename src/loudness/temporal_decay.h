// The nonlinear temporal decay of the core loudness in time-varying loudness:
// loudness follows a rise at once but decays slowly after it, the faster
// (about 5 ms) right after a short sound and the slower (15 to 75 ms) after a
// long one, modelling forward masking.
#pragma once

#include <cstddef>
#include <span>

namespace varnholt {

// Coefficients of the decay at 48 kHz, formed at the start of every call.
struct TemporalDecayCoefficients {
  double b0, b1, b2, b3, b4, b5;
};

TemporalDecayCoefficients temporal_decay_coefficients() noexcept;

// Lanes of the decay state: the 20 critical bands. The core loudness above
// 24 Bark is always 0, and a decay fed zeros from rest stays at zero, so that
// band needs no lane.
inline constexpr std::size_t TEMPORAL_DECAY_LANES = 20;

// Per band the pair (Uo, U2): Uo the decayed core loudness (the output), U2 a
// slower companion that remembers how long the sound lasted. All zero at the
// start of a call. Inputs are loudness values: finite and >= 0, which the
// branch-free step relies on.
struct TemporalDecayState {
  double uo[TEMPORAL_DECAY_LANES] = {};
  double u2[TEMPORAL_DECAY_LANES] = {};

  // Feeds one input per lane; afterwards uo holds the outputs. Written without
  // branches so all lanes advance together; each lane sees exactly the
  // operations of its own decay.
  void step(const double* __restrict x, const TemporalDecayCoefficients& c) noexcept;

  // Steps through the points from[v] + w * (to[v] - from[v]) of the straight
  // line between two inputs, one step per weight w, and then through to[v]
  // itself. Each lane runs all its steps in registers before the next lanes.
  void step_along(const double* __restrict from, const double* __restrict to,
                  std::span<const double> weights, const TemporalDecayCoefficients& c) noexcept;

  // step_along with two lanes to a register, and with four (AVX2; only where
  // the processor has it). Bit-identical; step_along picks one.
  void step_along_baseline(const double* __restrict from, const double* __restrict to,
                           std::span<const double> weights,
                           const TemporalDecayCoefficients& c) noexcept;
  void step_along_wide(const double* __restrict from, const double* __restrict to,
                       std::span<const double> weights,
                       const TemporalDecayCoefficients& c) noexcept;
};

}  // namespace varnholt
