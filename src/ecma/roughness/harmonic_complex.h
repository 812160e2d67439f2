// Grouping of modulation components into the strongest harmonic complex.
#pragma once

#include <cstddef>

namespace varnholt {

// One accepted modulation component: refined rate and weighted amplitude.
struct ModulationComponent {
  double rate_hz;
  double amplitude;
};

inline constexpr std::size_t MODULATION_COMPONENT_CAPACITY = 10;

// The harmonic complex of greatest summed amplitude. `members` are indices
// into the component list, in the order they joined.
struct HarmonicComplex {
  double amplitude_sum;
  std::size_t fundamental;
  std::size_t members[MODULATION_COMPONENT_CAPACITY];
  std::size_t member_count;
};

// Tries every component as the fundamental; a component belongs to its
// harmonic number when its rate lies within 4 % of that multiple, and of
// several with the same number only the closest counts. Returns the candidate
// with the largest summed amplitude (the earlier one on ties); with every
// sum 0 that is the first candidate with an empty or all-zero complex.
// count is 1 ... MODULATION_COMPONENT_CAPACITY.
HarmonicComplex strongest_harmonic_complex(const ModulationComponent* components,
                                           std::size_t count) noexcept;

}  // namespace varnholt
