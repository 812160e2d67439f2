// Energy of the positive half-waves of band signals (half-wave rectification,
// as in the inner ear), from which a block's band loudness follows.
#pragma once

#include <cstddef>

#include "ecma/roughness/roughness_grid.h"

namespace varnholt {

// A block's energy is the sum of the energies of its four quarters (one block
// hop each), each summed in sample order, added in quarter order. Blocks
// overlap by three quarters, so a quarter's energy is formed once and serves
// four blocks.
inline constexpr std::size_t ECMA_ENERGY_QUARTER = ECMA_ROUGHNESS_BLOCK_HOP;
inline constexpr std::size_t ECMA_ENERGY_QUARTERS =
    ECMA_ROUGHNESS_BLOCK_LENGTH / ECMA_ROUGHNESS_BLOCK_HOP;

// Sum of x^2 over the positive samples of one quarter, in sample order.
double quarter_energy(const double* x) noexcept;

// The same for four quarters at once (x[g] for g = 0 ... 3), each result
// bit-identical to quarter_energy(x[g]).
void quarter_energies(const double* const* x, double* energies) noexcept;

// Adds the four quarter energies of a block in quarter order.
inline double block_energy(const double* quarters) noexcept {
  return ((quarters[0] + quarters[1]) + quarters[2]) + quarters[3];
}

// Energy of the 16384-sample block at `block`.
double block_energy_of(const double* block) noexcept;

}  // namespace varnholt
