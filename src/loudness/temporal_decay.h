// The nonlinear temporal decay of the core loudness in time-varying loudness:
// loudness follows a rise at once but decays slowly after it, the faster
// (about 5 ms) right after a short sound and the slower (15 to 75 ms) after a
// long one, modelling forward masking.
#pragma once

#include <cstddef>

namespace varnholt {

// Coefficients of the decay at 48 kHz, formed at the start of every call.
struct TemporalDecayCoefficients {
  double b0, b1, b2, b3, b4, b5;
};

TemporalDecayCoefficients temporal_decay_coefficients() noexcept;

// Lanes of the decay state: the 21 core-loudness bands, padded to a multiple
// of the vector width. Padding lanes are fed zeros and stay zero.
inline constexpr std::size_t TEMPORAL_DECAY_LANES = 24;

// Per band the pair (Uo, U2): Uo the decayed core loudness (the output), U2 a
// slower companion that remembers how long the sound lasted. All zero at the
// start of a call.
struct TemporalDecayState {
  double uo[TEMPORAL_DECAY_LANES] = {};
  double u2[TEMPORAL_DECAY_LANES] = {};

  // Feeds one input per lane; afterwards uo holds the outputs. Written without
  // branches so all lanes advance together; each lane sees exactly the
  // operations of its own decay.
  void step(const double* __restrict x, const TemporalDecayCoefficients& c) noexcept;

  // The same step on the inputs from[v] + w * rise[v], a point on the
  // straight line between two inputs, formed in the same loop.
  void step_along(const double* __restrict from, const double* __restrict rise, double w,
                  const TemporalDecayCoefficients& c) noexcept;
};

}  // namespace varnholt
