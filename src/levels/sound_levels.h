// The single-number levels of a sound level meter after IEC 61672-1 over a
// whole signal: Leq with A, C and Z weighting, LAFmax, LASmax and LCpeak.
#pragma once

#include <cstdint>

#include "varnholt.h"

namespace varnholt {

// Mean square added to every level's argument, in Pa^2: the same floor as
// the band levels, so silence reads -26.0206 dB.
inline constexpr double SOUND_LEVEL_FLOOR_PA2 = 1e-12;

// Levels in dB re 20 uPa of count >= 1 finite samples at 48 kHz into
// out[VH_SOUND_LEVEL_COUNT], ordered by the VH_LEVEL_ indices.
// VH_ERR_NUMERICAL (out untouched) when a level is not finite.
vh_status sound_levels(const double* samples, std::uint64_t count, double* out) noexcept;

}  // namespace varnholt
